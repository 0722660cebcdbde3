#pragma once
// Memory probes that never fault: they answer whether an address range can be read, written or
// executed without touching it through a plain load, so they are safe on unmapped or freed memory
// (and under AddressSanitizer).
#include <cstddef>
#include <cstdint>

namespace platform {

// True when the n bytes at p can all be read. An empty range is readable.
bool IsReadable(const void* p, size_t n);

// True when the n bytes at p all lie in writable mappings. An empty range is writable.
bool IsWritable(const void* p, size_t n);

// True when p lies in an executable mapping.
bool IsExecutable(const void* p);

// Copies the pointer-sized word at p into *out; false (and *out untouched) when it cannot be read.
bool ReadWordSafely(const void* p, uintptr_t* out);

} // namespace platform
