#pragma once
// CMwIdHashMap: a small open-addressing map from 32-bit ids to 32-bit values, the engine's id
// tables (unique node ids of a solid and the like). Slots {key, value}; the key 0xFFFFFFFF (the
// unassigned id) marks an empty slot. A key's home slot is key modulo the capacity; collisions
// go to the next slots (linear probing, wrapping to slot 0). Capacities come from
// ClassicHashTableSize and the table is rebuilt before it passes three quarters full, so an
// empty slot always ends a probe.
//
// TMwIdHashMap is the same map over other key and value types: the map of the folder tree keys
// addresses and holds addresses too, so both are pointer-sized there.
#include "core/base/ClassicHash.h"
#include "platform/Types.h"

#include <cstdint>
#include <type_traits>

template <class Key, class Value>
class TMwIdHashMap {
    static_assert(std::is_unsigned_v<Key> && std::is_unsigned_v<Value>);

public:
    struct SSlot {
        Key m_Key;
        Value m_Value;
    };
    static constexpr Key s_EmptyKey = Key(~Key(0));
    // What Find answers for a key the map does not hold.
    static constexpr u32 s_NotFound = 0xFFFFFFFF;
    // The argument of Rehash, RehashFrom and Clear that stands for "the current count".
    static constexpr u32 s_CurrentCount = 0xFFFFFFFF;

    // No slots, count 0, capacity 0.
    constexpr TMwIdHashMap() = default;
    TMwIdHashMap(const TMwIdHashMap&) = delete;
    TMwIdHashMap& operator=(const TMwIdHashMap&) = delete;
    virtual ~TMwIdHashMap() { delete[] m_Slots; }

    // The slot holding the key, or s_NotFound at the first empty slot (at once on an empty map,
    // and always for the empty key itself).
    u32 Find(Key key) const {
        if (m_Count == 0 || key == s_EmptyKey)
            return s_NotFound;
        u32 i = Home(key);
        for (u32 probes = 0; probes < m_Capacity; ++probes) {
            const Key held = m_Slots[i].m_Key;
            if (held == key)
                return i;
            if (held == s_EmptyKey)
                return s_NotFound;
            i = Next(i);
        }
        return s_NotFound;
    }

    // Stores the key with value 0 in the first empty slot of its probe and returns that slot.
    // When 4 x count > 3 x capacity beforehand (or there are no slots yet), the table is first
    // rebuilt for 2 x count + 2 entries. No search for an equal key is made: callers Find first.
    // The empty key cannot be stored: s_NotFound, nothing changes.
    u32 Insert(Key key) {
        if (key == s_EmptyKey)
            return s_NotFound;
        if (m_Capacity == 0 || u64(m_Count) * 4 > u64(m_Capacity) * 3)
            Rehash(2 * m_Count + 2);
        return Place(key, 0);
    }

    // A new slot array of ClassicHashTableSize(n) slots (of the current count for
    // s_CurrentCount); every entry is inserted again, in slot order, growing as Insert does.
    void Rehash(u32 n) { Rebuild(ClassicHashTableSize(n == s_CurrentCount ? m_Count : n)); }

    // Empties this map, gives it `capacity` slots (ClassicHashTableSize of the other's count
    // for s_CurrentCount) and inserts the other's entries as Rehash does.
    void RehashFrom(const TMwIdHashMap& other, u32 capacity) {
        if (&other == this)
            return Rehash(capacity);
        const u32 size =
            capacity == s_CurrentCount ? ClassicHashTableSize(other.m_Count) : capacity;
        SSlot* slots = NewSlots(size);
        delete[] m_Slots;
        m_Slots = slots;
        m_Capacity = size;
        m_Count = 0;
        for (u32 i = 0; i < other.m_Capacity; ++i)
            if (other.m_Slots[i].m_Key != s_EmptyKey)
                Reinsert(other.m_Slots[i]);
    }

    // Every key becomes empty and the count 0. When n is not s_CurrentCount and
    // ClassicHashTableSize(n) is below the capacity, the slots shrink to that size.
    void Clear(u32 n) {
        if (n != s_CurrentCount && ClassicHashTableSize(n) < m_Capacity) {
            const u32 size = ClassicHashTableSize(n);
            SSlot* slots = NewSlots(size);
            delete[] m_Slots;
            m_Slots = slots;
            m_Capacity = size;
        }
        for (u32 i = 0; i < m_Capacity; ++i)
            m_Slots[i].m_Key = s_EmptyKey;
        m_Count = 0;
    }

    // The value kept for the key; 0 when the key is absent.
    Value Get(Key key) const {
        const u32 i = Find(key);
        return i == s_NotFound ? Value(0) : m_Slots[i].m_Value;
    }

    // Keeps the value for the key; 0 removes the key.
    void Set(Key key, Value value) {
        if (value == 0) {
            Remove(key);
            return;
        }
        u32 i = Find(key);
        if (i == s_NotFound)
            i = Insert(key);
        if (i != s_NotFound)
            m_Slots[i].m_Value = value;
    }

    // Empties the key's slot, then inserts again every following entry of its cluster that is
    // not in its home slot, so that no probe stops short of an entry. False when absent.
    bool Remove(Key key) {
        const u32 at = Find(key);
        if (at == s_NotFound)
            return false;
        m_Slots[at].m_Key = s_EmptyKey;
        --m_Count;
        u32 i = at;
        for (u32 probes = 0; probes < m_Capacity; ++probes) {
            i = Next(i);
            const SSlot slot = m_Slots[i];
            if (slot.m_Key == s_EmptyKey)
                break;
            if (Home(slot.m_Key) == i)
                continue;
            m_Slots[i].m_Key = s_EmptyKey;
            --m_Count;
            Place(slot.m_Key, slot.m_Value);
        }
        return true;
    }

    u32 GetCount() const { return m_Count; }
    u32 GetCapacity() const { return m_Capacity; }
    const SSlot* GetSlots() const { return m_Slots; }

protected:
    SSlot* m_Slots = nullptr;
    u32 m_Count = 0;
    u32 m_Capacity = 0;

private:
    u32 Home(Key key) const { return u32(key % m_Capacity); }
    u32 Next(u32 i) const { return i + 1 == m_Capacity ? 0 : i + 1; }

    static SSlot* NewSlots(u32 capacity) {
        SSlot* slots = new SSlot[capacity];
        for (u32 i = 0; i < capacity; ++i)
            slots[i] = {s_EmptyKey, 0};
        return slots;
    }

    // Stores the entry in the first empty slot from its home; the table has one.
    u32 Place(Key key, Value value) {
        u32 i = Home(key);
        while (m_Slots[i].m_Key != s_EmptyKey)
            i = Next(i);
        m_Slots[i] = {key, value};
        ++m_Count;
        return i;
    }

    void Rebuild(u32 capacity) {
        SSlot* old = m_Slots;
        const u32 oldCapacity = m_Capacity;
        m_Slots = NewSlots(capacity);
        m_Capacity = capacity;
        m_Count = 0;
        for (u32 i = 0; i < oldCapacity; ++i)
            if (old[i].m_Key != s_EmptyKey)
                Reinsert(old[i]);
        delete[] old;
    }

    // Inserts the entry, growing as Insert does (the slots may move: the index comes first).
    void Reinsert(const SSlot& entry) {
        const u32 at = Insert(entry.m_Key);
        m_Slots[at].m_Value = entry.m_Value;
    }
};

class CMwIdHashMap : public TMwIdHashMap<u32, u32> {};
static_assert(sizeof(CMwIdHashMap::SSlot) == 8);
