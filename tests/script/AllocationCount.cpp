// Counting replacements of the global allocation functions of the script test program. Each hands
// the request to malloc (posix_memalign for over-aligned types) and counts it; the matching
// deallocation functions free.
#include "tests/script/AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<u64> s_Allocations{0};

void* Allocate(std::size_t size, std::size_t alignment) {
    s_Allocations.fetch_add(1, std::memory_order_relaxed);
    if (size == 0)
        size = 1;
    void* block = nullptr;
    if (alignment <= alignof(std::max_align_t))
        block = std::malloc(size);
    else if (posix_memalign(&block, alignment, size) != 0)
        block = nullptr;
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

u64 AllocationCount() {
    return s_Allocations.load(std::memory_order_relaxed);
}

void* operator new(std::size_t size) {
    return Allocate(size, 0);
}
void* operator new[](std::size_t size) {
    return Allocate(size, 0);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    return Allocate(size, std::size_t(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return Allocate(size, std::size_t(alignment));
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
