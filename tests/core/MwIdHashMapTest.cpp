// The id map: probing, growth, removal inside clusters, rebuilding and clearing, over 32-bit ids
// and over 64-bit keys.
#include "core/nod/MwIdHashMap.h"

#include <gtest/gtest.h>
#include <map>
#include <vector>

namespace {

// Every slot's key, empty slots as -1, for comparing layouts.
template <class Map>
std::vector<u64> Layout(const Map& map) {
    std::vector<u64> keys;
    for (u32 i = 0; i < map.GetCapacity(); ++i) {
        const auto key = map.GetSlots()[i].m_Key;
        keys.push_back(key == Map::s_EmptyKey ? ~u64(0) : u64(key));
    }
    return keys;
}

TEST(MwIdHashMap, EmptyMapAnswersAtOnce) {
    CMwIdHashMap map;
    EXPECT_EQ(map.GetCapacity(), 0u);
    EXPECT_EQ(map.GetSlots(), nullptr);
    EXPECT_EQ(map.Find(5), CMwIdHashMap::s_NotFound);
    EXPECT_EQ(map.Get(5), 0u);
    EXPECT_FALSE(map.Remove(5));
    // The first insertion makes the slots.
    const u32 slot = map.Insert(5);
    EXPECT_EQ(map.GetCapacity(), 11u);
    EXPECT_EQ(slot, 5u);
    EXPECT_EQ(map.Find(5), 5u);
    EXPECT_EQ(map.Get(5), 0u); // inserted with value 0
    // The empty key is never found nor stored.
    EXPECT_EQ(map.Find(CMwIdHashMap::s_EmptyKey), CMwIdHashMap::s_NotFound);
    EXPECT_EQ(map.Insert(CMwIdHashMap::s_EmptyKey), CMwIdHashMap::s_NotFound);
    EXPECT_EQ(map.GetCount(), 1u);
}

TEST(MwIdHashMap, CollisionsProbeOnAndWrap) {
    CMwIdHashMap map;
    map.Rehash(0); // 11 slots
    // 10, 21 and 32 share home slot 10: the second wraps to 0, the third goes on to 1.
    EXPECT_EQ(map.Insert(10), 10u);
    EXPECT_EQ(map.Insert(21), 0u);
    EXPECT_EQ(map.Insert(32), 1u);
    EXPECT_EQ(map.Insert(0), 2u); // its home slot is taken
    EXPECT_EQ(map.Find(32), 1u);
    EXPECT_EQ(map.Find(43), CMwIdHashMap::s_NotFound); // stops at the empty slot 3
}

TEST(MwIdHashMap, GrowsBeforePassingThreeQuarters) {
    CMwIdHashMap map;
    map.Rehash(35);
    ASSERT_EQ(map.GetCapacity(), 47u);
    for (u32 key = 0; key < 36; ++key) {
        map.Insert(key * 7);
        map.Set(key * 7, key + 1);
    }
    EXPECT_EQ(map.GetCapacity(), 47u);
    // The 37th entry first rebuilds the table for 2 x 36 + 2 entries.
    map.Insert(1000);
    EXPECT_EQ(map.GetCapacity(), 101u);
    EXPECT_EQ(map.GetCount(), 37u);
    for (u32 key = 0; key < 36; ++key)
        EXPECT_EQ(map.Get(key * 7), key + 1);
}

// Removing from the middle of a cluster moves the entries after it back towards their homes,
// so that no probe stops short of an entry.
TEST(MwIdHashMap, RemovalRepairsItsCluster) {
    CMwIdHashMap map;
    map.Rehash(0);
    // Home 9: 9, 20, 31 at 9, 10, 0; home 10: 10 at 1; home 0: 11 at 2.
    for (const u32 key : {9u, 20u, 31u, 10u, 11u})
        map.Set(key, key + 100);
    const u64 e = ~u64(0);
    EXPECT_EQ(Layout(map), (std::vector<u64>{31, 10, 11, e, e, e, e, e, e, 9, 20}));
    EXPECT_TRUE(map.Remove(20));
    EXPECT_EQ(Layout(map), (std::vector<u64>{10, 11, e, e, e, e, e, e, e, 9, 31}));
    for (const u32 key : {9u, 31u, 10u, 11u})
        EXPECT_EQ(map.Get(key), key + 100) << key;
    EXPECT_EQ(map.GetCount(), 4u);
    // Setting 0 removes.
    map.Set(9, 0);
    EXPECT_EQ(Layout(map), (std::vector<u64>{11, e, e, e, e, e, e, e, e, 31, 10}));
    for (const u32 key : {31u, 10u, 11u})
        EXPECT_EQ(map.Get(key), key + 100) << key;
}

// Many random operations against std::map, over 32-bit ids and over addresses above 4 GB.
template <class Map, class Key>
void CheckAgainstReference(Key base, Key step) {
    Map map;
    std::map<Key, u32> reference;
    u32 state = 12345;
    auto next = [&] {
        state = state * 214013 + 2531011;
        return (state >> 16) & 0x7FFF;
    };
    for (u32 round = 0; round < 20000; ++round) {
        const Key key = Key(base + step * Key(next() % 600));
        const u32 op = next() % 4;
        if (op == 0) {
            map.Set(key, 0);
            reference.erase(key);
        } else {
            const u32 value = next() + 1;
            map.Set(key, value);
            reference[key] = value;
        }
        if (round % 1000 == 0) {
            ASSERT_EQ(map.GetCount(), reference.size());
            for (const auto& [k, v] : reference)
                ASSERT_EQ(map.Get(k), v);
            ASSERT_LE(u64(map.GetCount()) * 4, u64(map.GetCapacity()) * 3 + 4);
        }
    }
    for (u32 i = 0; i < 600; ++i) {
        const Key key = Key(base + step * Key(i));
        const auto found = reference.find(key);
        EXPECT_EQ(map.Get(key), found == reference.end() ? 0u : found->second);
    }
}

TEST(MwIdHashMap, AgreesWithAReferenceMap) {
    CheckAgainstReference<CMwIdHashMap, u32>(3, 11); // many share a home slot
    CheckAgainstReference<TMwIdHashMap<u64, u64>, u64>(u64(0x7F1234560000), 16);
}

TEST(MwIdHashMap, RehashClearAndCopy) {
    CMwIdHashMap map;
    for (u32 key = 1; key <= 20; ++key)
        map.Set(key * 1000, key);
    const u32 grown = map.GetCapacity();
    // Rebuilt for the current count: the entries stay.
    map.Rehash(CMwIdHashMap::s_CurrentCount);
    EXPECT_EQ(map.GetCapacity(), ClassicHashTableSize(20));
    EXPECT_GE(grown, map.GetCapacity());
    for (u32 key = 1; key <= 20; ++key)
        EXPECT_EQ(map.Get(key * 1000), key);
    // Rebuilt smaller than the entries need: the insertions grow it again.
    map.Rehash(1);
    EXPECT_EQ(map.GetCount(), 20u);
    for (u32 key = 1; key <= 20; ++key)
        EXPECT_EQ(map.Get(key * 1000), key);

    // A copy into a given capacity, and one sized for the other's count.
    CMwIdHashMap copy;
    copy.Set(77, 7);
    copy.RehashFrom(map, 211);
    EXPECT_EQ(copy.GetCapacity(), 211u);
    EXPECT_EQ(copy.GetCount(), 20u);
    EXPECT_EQ(copy.Get(77), 0u);
    EXPECT_EQ(copy.Get(5000), 5u);
    copy.RehashFrom(map, CMwIdHashMap::s_CurrentCount);
    EXPECT_EQ(copy.GetCapacity(), ClassicHashTableSize(20));
    EXPECT_EQ(Layout(copy).size(), copy.GetCapacity());
    // A tiny given capacity still takes every entry.
    copy.RehashFrom(map, 1);
    EXPECT_EQ(copy.GetCount(), 20u);
    EXPECT_EQ(copy.Get(20000), 20u);

    // Clear keeps a capacity no larger than asked; -1 keeps the capacity.
    const u32 capacity = map.GetCapacity();
    map.Clear(CMwIdHashMap::s_CurrentCount);
    EXPECT_EQ(map.GetCapacity(), capacity);
    EXPECT_EQ(map.GetCount(), 0u);
    EXPECT_EQ(map.Get(1000), 0u);
    map.Set(3, 4);
    map.Clear(0);
    EXPECT_EQ(map.GetCapacity(), 11u);
    EXPECT_EQ(map.Find(3), CMwIdHashMap::s_NotFound);
    map.Clear(1000); // larger than the capacity: no growth
    EXPECT_EQ(map.GetCapacity(), 11u);
}

} // namespace
