#pragma once
// The engine's two array templates.
//
// CFastBuffer<T> { count, items, capacity }: a growable array whose capacity grows to the larger
// of the request and one and a half times the old capacity. No virtual table, valid when
// zero-filled; its owner frees it with FreeItems.
//
// CFastArray<T> { virtual table, count, items }: an exact-size array that reallocates on every
// size change and frees its block in its destructor.
//
// Plain (trivially copyable) elements are copied bit for bit and never constructed or destroyed.
// Other elements (strings) live in blocks of constructed elements: every slot of a block, up to
// its capacity, is constructed when the block is allocated and destroyed when it is freed, and
// elements are copied with their assignment operator.
#include "platform/Types.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>

namespace fast_array_detail {

template <typename T>
inline constexpr bool kPlain = std::is_trivially_copyable_v<T>;

// The largest block an array may own. The engine's arrays never come near it, so a larger
// request is a corrupt count (for example one read from a damaged file) and fails loudly.
inline constexpr u64 kMaxBlockBytes = u64(1) << 31;

template <typename T>
inline constexpr u32 kMaxItems = u32(kMaxBlockBytes / sizeof(T));

// A block of n elements, non-plain ones default-constructed. Throws std::bad_alloc above the
// block limit.
template <typename T>
T* Allocate(u64 n) {
    if (n > kMaxItems<T>) {
        throw std::bad_alloc();
    }
    void* raw = ::operator new(size_t(n) * sizeof(T), std::align_val_t(alignof(T)));
    T* block = static_cast<T*>(raw);
    if constexpr (!kPlain<T>) {
        try {
            std::uninitialized_default_construct_n(block, size_t(n));
        } catch (...) {
            ::operator delete(raw, std::align_val_t(alignof(T)));
            throw;
        }
    }
    return block;
}

// Frees a block of n elements (null is allowed), destroying non-plain ones first.
template <typename T>
void Free(T* block, u32 n) {
    if (!block) {
        return;
    }
    if constexpr (!kPlain<T>) {
        std::destroy_n(block, n);
    }
    ::operator delete(block, std::align_val_t(alignof(T)));
}

// Copies n elements into the constructed (or plain) slots of another block before the source
// block is freed.
template <typename T>
void Transfer(T* to, T* from, u32 n) {
    if constexpr (kPlain<T>) {
        if (n != 0) {
            std::memcpy(static_cast<void*>(to), from, size_t(n) * sizeof(T));
        }
    } else {
        for (u32 i = 0; i < n; ++i) {
            to[i] = std::move(from[i]);
        }
    }
}

} // namespace fast_array_detail

template <typename T>
struct CFastBuffer {
    u32 m_Count = 0;
    T* m_Items = nullptr;
    u32 m_Capacity = 0;

    T& operator[](u32 index) {
        assert(index < m_Count);
        return m_Items[index];
    }
    const T& operator[](u32 index) const {
        assert(index < m_Count);
        return m_Items[index];
    }

    // Grows the capacity to n, or to one and a half times the old capacity when that is more
    // (from 0, single steps give 1, 2, 3, 4, 6, 9, 13, 19, ...). Never shrinks. Throws
    // std::bad_alloc when the block would pass the array size limit; one and a half times stops
    // at that limit.
    void Reserve(u32 n) {
        namespace detail = fast_array_detail;
        if (n <= m_Capacity) {
            return;
        }
        if (n > detail::kMaxItems<T>) {
            throw std::bad_alloc();
        }
        u32 capacity = n;
        if (n - m_Capacity <= m_Capacity / 2) {
            capacity = std::min<u32>(m_Capacity + m_Capacity / 2, detail::kMaxItems<T>);
        }
        T* items = detail::Allocate<T>(capacity);
        detail::Transfer(items, m_Items, m_Count);
        detail::Free(m_Items, m_Capacity);
        m_Items = items;
        m_Capacity = capacity;
    }

    // Appends a copy of the item. The item may be one of the buffer's own elements.
    void Add(const T& item) {
        const T* source = &item;
        if (m_Count == m_Capacity && m_Items && !std::less<const T*>()(source, m_Items) &&
            std::less<const T*>()(source, m_Items + m_Capacity)) {
            u32 index = u32(source - m_Items);
            Reserve(m_Count + 1);
            source = m_Items + index;
        } else {
            Reserve(m_Count + 1);
        }
        m_Items[m_Count] = *source;
        ++m_Count;
    }

    // Removes n items at index and fills the gap with the last items (the order is not kept).
    // The range must lie within the count; outside debug builds a range past the end is cut to
    // the items that exist.
    void FastRemove(u32 index, u32 n) {
        assert(u64(index) + n <= m_Count);
        if (index >= m_Count) {
            return;
        }
        n = std::min(n, m_Count - index);
        u32 moved = std::min(n, m_Count - index - n);
        for (u32 i = 0; i < moved; ++i) {
            m_Items[index + i] = m_Items[m_Count - moved + i];
        }
        m_Count -= n;
    }

    // Destroys the elements and frees the block; the buffer is empty again.
    void FreeItems() {
        fast_array_detail::Free(m_Items, m_Capacity);
        m_Count = 0;
        m_Items = nullptr;
        m_Capacity = 0;
    }
};

template <typename T>
class CFastArray {
public:
    CFastArray() = default;
    virtual ~CFastArray() { fast_array_detail::Free(m_Items, m_Count); }
    // The array owns its block: a copy would free it twice.
    CFastArray(const CFastArray&) = delete;
    CFastArray& operator=(const CFastArray&) = delete;

    T& operator[](u32 index) {
        assert(index < m_Count);
        return m_Items[index];
    }
    const T& operator[](u32 index) const {
        assert(index < m_Count);
        return m_Items[index];
    }

    // Resizes to exactly n items, keeping the first min(count, n); plain new items are
    // uninitialised. 0 frees the block.
    void SetCount(u32 n) {
        if (n != m_Count) {
            Reallocate(n, std::min(n, m_Count));
        }
    }
    // Adds k items at the end (plain ones uninitialised).
    void Grow(u32 k) { Reallocate(u64(m_Count) + k, m_Count); }
    // Removes the last k items; k must not pass the count (outside debug builds it is cut to
    // the count).
    void Shrink(u32 k) {
        assert(k <= m_Count);
        u32 count = m_Count - std::min(k, m_Count);
        Reallocate(count, count);
    }

    u32 m_Count = 0;
    T* m_Items = nullptr;

private:
    // Moves to a block of exactly n items holding the first `keep` current ones.
    void Reallocate(u64 n, u32 keep) {
        namespace detail = fast_array_detail;
        T* items = n != 0 ? detail::Allocate<T>(n) : nullptr;
        detail::Transfer(items, m_Items, keep);
        detail::Free(m_Items, m_Count);
        m_Items = items;
        m_Count = u32(n);
    }
};

// True when the object looks alive: its first size bytes are writable memory, its first word
// (the virtual table pointer) points at readable memory, and the table's first entry points at
// executable code. Never faults, even on unmapped or freed memory.
bool ClassicIsValidObjectPointer(const void* object, size_t size);
