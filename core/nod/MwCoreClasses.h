#pragma once
// The classes of the core library, in registration order. The application hands this list to
// CMwClassRegistry::AddClassList before CMwClassRegistry::Init.
#include "core/nod/MwClassInfo.h"

extern const CMwClassList g_MwCoreClassList;
