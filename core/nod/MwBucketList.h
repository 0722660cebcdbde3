#pragma once
// A bucket list: one array of elements divided into consecutive buckets, so that a scheduler can
// visit one bucket per call and spread its work over several calls. The command buffers keep
// their commands in one; a reflected bucket-list member designates one.
//
// Layout: the bucket records { first, count } (a CFastBuffer), then the element buffer (a
// CFastBuffer), then an enumeration cursor. Reflection reads only the element buffer, through
// MwBucketListItemsOffset (the same for every element type), and never changes the list.
//
// Invariants: the buckets cover the element array in index order without gaps (bucket 0 starts
// at 0, bucket i + 1 starts where bucket i ends, the last bucket ends at the element count).
// There is always at least one bucket once SetBucketCount has run.
#include "core/base/FastBuffer.h"

#include <cassert>
#include <cstddef>
#include <utility>

struct CMwBucket {
    u32 m_First; // index in the element array of the bucket's first element
    u32 m_Count;
};

template <typename T>
struct CMwBucketList {
    // No scheduler needs more than a handful of buckets; larger requests are refused.
    static constexpr u32 s_MaxBucketCount = 4096;

    CFastBuffer<CMwBucket> m_Buckets;
    CFastBuffer<T> m_Items;
    // The enumeration cursor: reset whenever the bucket count goes down and when the list is
    // freed.
    u32 m_CursorIndex = 0;
    i32 m_CursorCurrent = -1;
    T* m_CursorItems = nullptr;

    u32 GetBucketCount() const { return m_Buckets.m_Count; }
    u32 GetCount() const { return m_Items.m_Count; }

    // New buckets are empty and placed at the end. A smaller count hands the elements of the
    // dropped buckets to the new last bucket, so that none is lost, and resets the cursor.
    // 0 and counts above s_MaxBucketCount are refused (false, nothing changes).
    bool SetBucketCount(u32 n) {
        if (n == 0 || n > s_MaxBucketCount)
            return false;
        const u32 old = m_Buckets.m_Count;
        if (n > old) {
            m_Buckets.Reserve(n);
            for (u32 b = old; b < n; ++b)
                m_Buckets.m_Items[b] = CMwBucket{m_Items.m_Count, 0};
            m_Buckets.m_Count = n;
            return true;
        }
        if (n < old) {
            CMwBucket& last = m_Buckets.m_Items[n - 1];
            last.m_Count = m_Items.m_Count - last.m_First;
            m_Buckets.m_Count = n;
            ResetCursor();
        }
        return true;
    }

    // Finds the element: its bucket and its position inside that bucket. False when absent.
    bool Find(const T& item, u32* bucket, u32* position) const {
        for (u32 b = 0; b < m_Buckets.m_Count; ++b) {
            const CMwBucket& bk = m_Buckets.m_Items[b];
            for (u32 j = 0; j < bk.m_Count; ++j) {
                if (m_Items.m_Items[bk.m_First + j] == item) {
                    *bucket = b;
                    *position = j;
                    return true;
                }
            }
        }
        return false;
    }

    bool Contains(const T& item) const {
        u32 bucket, position;
        return Find(item, &bucket, &position);
    }

    // The bucket with the fewest elements; ties go to the lowest index.
    u32 LeastFilledBucket() const {
        u32 best = 0;
        for (u32 b = 1; b < m_Buckets.m_Count; ++b)
            if (m_Buckets.m_Items[b].m_Count < m_Buckets.m_Items[best].m_Count)
                best = b;
        return best;
    }

    // Appends the element to bucket `target` (below the bucket count): it joins the end of the
    // element array, in the last bucket, and moves down one bucket at a time. Each bucket it
    // passes gives its first element to its own end, so every other bucket keeps its elements.
    void AddToBucket(const T& item, u32 target) {
        assert(target < m_Buckets.m_Count);
        m_Items.Add(item);
        u32 k = m_Buckets.m_Count - 1;
        ++m_Buckets.m_Items[k].m_Count;
        for (; k > target; --k) {
            CMwBucket& bk = m_Buckets.m_Items[k];
            // The new element is just past bucket k's former range.
            std::swap(m_Items.m_Items[bk.m_First], m_Items.m_Items[bk.m_First + bk.m_Count - 1]);
            ++bk.m_First;
            --bk.m_Count;
            ++m_Buckets.m_Items[k - 1].m_Count;
        }
    }

    // Removes the element at `position` of `bucket`. It travels to the end of the array: each
    // bucket on the way gives up its last position, and the removed element's slot is taken by
    // the former last element of its bucket.
    void RemoveAt(u32 bucket, u32 position) {
        u32 index = m_Buckets.m_Items[bucket].m_First + position;
        const u32 last = m_Buckets.m_Count - 1;
        for (u32 b = bucket; b < last; ++b) {
            CMwBucket& bk = m_Buckets.m_Items[b];
            const u32 end = bk.m_First + bk.m_Count - 1;
            if (index != end)
                std::swap(m_Items.m_Items[index], m_Items.m_Items[end]);
            --bk.m_Count;
            CMwBucket& next = m_Buckets.m_Items[b + 1];
            --next.m_First;
            ++next.m_Count;
            index = next.m_First;
        }
        CMwBucket& bk = m_Buckets.m_Items[last];
        const u32 end = bk.m_First + bk.m_Count - 1;
        if (index != end)
            std::swap(m_Items.m_Items[index], m_Items.m_Items[end]);
        --bk.m_Count;
        --m_Items.m_Count;
    }

    void ResetCursor() {
        m_CursorIndex = 0;
        m_CursorCurrent = -1;
        m_CursorItems = m_Items.m_Items;
    }

    // Frees both arrays; the list has no bucket afterwards.
    void FreeItems() {
        m_Buckets.FreeItems();
        m_Items.FreeItems();
        ResetCursor();
    }
};

// Where the element buffer lies inside any bucket list.
inline constexpr size_t MwBucketListItemsOffset = offsetof(CMwBucketList<void*>, m_Items);
static_assert(MwBucketListItemsOffset == sizeof(CFastBuffer<CMwBucket>));
