#pragma once
// The classes of the plug library, in registration order. Start-up hands this list to
// CMwClassRegistry::AddClassList after the core and system lists, before CMwClassRegistry::Init.
#include "core/nod/MwClassInfo.h"

extern const CMwClassList g_PlugClassList;
