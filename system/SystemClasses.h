#pragma once
// The classes of the system library, in registration order. The application hands this list to
// CMwClassRegistry::AddClassList after the core list and before CMwClassRegistry::Init.
#include "core/nod/MwClassInfo.h"

extern const CMwClassList g_SystemClassList;
