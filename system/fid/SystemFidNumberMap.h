#pragma once
// The fid number map: one process-wide map from the address of a folder or file id to a nonzero
// value, which the archive's reference table uses while it writes or reads a file (a folder's
// mark, use count or number, or the folder it stands for). Keys and values are pointer-sized:
// the numbers handed out are u32, but a value may be an address. A value of 0 means absent, and
// setting 0 removes the key. Every folder and file id leaves the map when it is destroyed.
//
// The map is made on first use with room for 50 entries and freed when its last entry goes.
#include "core/nod/MwIdHashMap.h"

#include <cstdint>

class CMwNod;

using CSystemFidNumberMap = TMwIdHashMap<uintptr_t, uintptr_t>;

// The map, or null while it holds nothing.
const CSystemFidNumberMap* GetFidNumberMap();
uintptr_t FidNumberMapGet(const CMwNod* key);
void FidNumberMapSet(const CMwNod* key, uintptr_t value);
