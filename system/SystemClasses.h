#pragma once
// The classes of the system library, in registration order. Start-up hands this list to
// CMwClassRegistry::AddClassList after the core list, before CMwClassRegistry::Init.
#include "core/nod/MwClassInfo.h"

extern const CMwClassList g_SystemClassList;
