#pragma once
// How many blocks the program's global allocation functions have handed out so far: the script
// test program replaces them with counting ones (AllocationCount.cpp), so that a test can tell
// that a road allocates nothing.
#include "platform/Types.h"

u64 AllocationCount();
