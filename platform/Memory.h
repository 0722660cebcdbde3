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

// Large blocks: mappings of their own in whole huge pages of 2 MB, aligned on them and marked for
// them, so that filling one costs a fault per 2 MB instead of one per 4 KB page, and growing one
// moves its page tables instead of copying its bytes. Worth it from a few MB on. Only the huge
// pages written into take memory (the last one whole, however little of it is used).
inline constexpr size_t kLargeBlockAlignment = size_t(2) << 20;

// A block of at least `size` bytes, aligned on kLargeBlockAlignment; null when the memory is not
// there.
void* AllocLargeBlock(size_t size);
// The block grown to `newSize` bytes, its first `oldSize` bytes kept (possibly at another address,
// still aligned); null, with the block untouched, when it cannot grow. A size at or below the old
// one answers the block itself.
void* GrowLargeBlock(void* block, size_t oldSize, size_t newSize);
// Gives back a block of AllocLargeBlock or GrowLargeBlock, `size` being what it was asked with.
// The last block given back (up to 32 MB) keeps its pages for the next AllocLargeBlock it can
// serve, as the heap keeps freed memory: a reused block's bytes are not cleared.
void FreeLargeBlock(void* block, size_t size);

// Marks the whole huge pages that lie inside a block of the heap (from new or malloc) for huge
// pages, so that filling a large block for the first time costs a fault per 2 MB instead of one
// per 4 KB page. Nothing for blocks of less than twice kLargeBlockAlignment.
void AdviseHugePagesWithin(void* block, size_t size);

} // namespace platform
