#include "core/base/FastBuffer.h"

#include "core/base/ClassicString.h"

#include <cstring>
#include <gtest/gtest.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

struct Record48 {
    u32 words[12];
};

template <typename T>
std::vector<T> Items(const CFastBuffer<T>& b) {
    return std::vector<T>(b.m_Items, b.m_Items + b.m_Count);
}

std::vector<std::string> Texts(const CFastBuffer<CClassicString>& b) {
    std::vector<std::string> texts;
    for (u32 i = 0; i < b.m_Count; ++i) {
        texts.emplace_back(b[i].GetText(), b[i].GetLength());
    }
    return texts;
}

TEST(FastBuffer, CapacityGrowsByOneAndAHalf) {
    CFastBuffer<u32> b;
    for (u32 n = 1; n <= 5; ++n) {
        b.Reserve(n);
    }
    EXPECT_EQ(b.m_Capacity, 6u);
    b.Reserve(3); // never shrinks
    EXPECT_EQ(b.m_Capacity, 6u);

    CFastBuffer<u32> small;
    small.Reserve(4);
    small.Reserve(100); // far above one and a half times: exactly the request
    EXPECT_EQ(small.m_Capacity, 100u);

    // Single-step appends go through 1, 2, 3, 4, 6, 9, 13, 19, 28 and keep every item.
    std::vector<u32> capacities;
    CFastBuffer<u32> grown;
    for (u32 i = 0; i < 28; ++i) {
        grown.Add(i * 7);
        if (capacities.empty() || capacities.back() != grown.m_Capacity) {
            capacities.push_back(grown.m_Capacity);
        }
    }
    EXPECT_EQ(capacities, (std::vector<u32>{1, 2, 3, 4, 6, 9, 13, 19, 28}));
    for (u32 i = 0; i < 28; ++i) {
        EXPECT_EQ(grown[i], i * 7);
    }
    b.FreeItems();
    small.FreeItems();
    grown.FreeItems();
    EXPECT_EQ(grown.m_Count, 0u);
    EXPECT_EQ(grown.m_Items, nullptr);
    EXPECT_EQ(grown.m_Capacity, 0u);
}

// A count from a damaged file must not slip past the growth (a signed comparison would skip it
// for requests 2^31 above the capacity, and the caller would then write past the block).
TEST(FastBuffer, AbsurdReservationFailsLoudlyAndKeepsTheItems) {
    CFastBuffer<u8> bytes;
    bytes.Add(9);
    EXPECT_THROW(bytes.Reserve(0x80000005u), std::bad_alloc);
    EXPECT_THROW(bytes.Reserve(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(bytes.m_Capacity, 1u);
    EXPECT_EQ(bytes[0], 9);

    CFastBuffer<Record48> records;
    EXPECT_THROW(records.Reserve(0x10000000u), std::bad_alloc);
    EXPECT_EQ(records.m_Items, nullptr);

    CFastArray<u32> array;
    array.SetCount(2);
    EXPECT_THROW(array.Grow(0xFFFFFFFFu), std::bad_alloc);
    EXPECT_EQ(array.m_Count, 2u);
    bytes.FreeItems();
}

TEST(FastBuffer, ZeroFilledBufferIsEmptyAndUsable) {
    alignas(CFastBuffer<u32>) unsigned char storage[sizeof(CFastBuffer<u32>)];
    std::memset(storage, 0, sizeof storage);
    auto* b = reinterpret_cast<CFastBuffer<u32>*>(storage);
    b->FreeItems();
    b->Add(5);
    b->Add(6);
    EXPECT_EQ(Items(*b), (std::vector<u32>{5, 6}));
    b->FreeItems();
}

TEST(FastBuffer, FastRemoveFillsTheGapFromTheEnd) {
    struct Case {
        u32 index, n;
        std::vector<u32> expected;
    };
    const Case cases[] = {
        {0, 1, {50, 20, 30, 40}}, // the last item moves first
        {4, 1, {10, 20, 30, 40}}, // the last item: nothing moves
        {1, 2, {10, 40, 50}},         {0, 3, {40, 50}}, {2, 3, {10, 20}}, {0, 5, {}},
        {3, 0, {10, 20, 30, 40, 50}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << ", n " << c.n);
        CFastBuffer<u32> b;
        for (u32 v : {10, 20, 30, 40, 50}) {
            b.Add(v);
        }
        b.FastRemove(c.index, c.n);
        EXPECT_EQ(Items(b), c.expected);
        EXPECT_EQ(b.m_Capacity, 6u);
        b.FreeItems();
    }
}

// A range past the end is a caller's error: debug builds stop on it, other builds remove only
// the items that exist and never write outside the block.
TEST(FastBufferDeathTest, FastRemovePastTheEnd) {
    CFastBuffer<u32> b;
    for (u32 v : {10, 20, 30}) {
        b.Add(v);
    }
#ifdef NDEBUG
    b.FastRemove(2, 5);
    EXPECT_EQ(Items(b), (std::vector<u32>{10, 20}));
    b.FastRemove(7, 1);
    EXPECT_EQ(Items(b), (std::vector<u32>{10, 20}));
#else
    EXPECT_DEATH(b.FastRemove(2, 5), "");
    EXPECT_DEATH(b.FastRemove(0xFFFFFFFFu, 2), "");
#endif
    b.FreeItems();
}

TEST(FastBuffer, StringElementsSurviveGrowthAndRemoval) {
    CFastBuffer<CClassicString> b;
    std::vector<std::string> expected;
    for (u32 i = 0; i < 19; ++i) { // the capacity is then 19: full
        std::string text = "item " + std::to_string(i) + std::string(i, '#');
        b.Add(CClassicString(text.c_str()));
        expected.push_back(text);
    }
    EXPECT_EQ(Texts(b), expected);

    // Adding one of the buffer's own items while the buffer is full reallocates under it.
    ASSERT_EQ(b.m_Count, b.m_Capacity);
    b.Add(b[3]);
    expected.push_back(expected[3]);
    EXPECT_EQ(Texts(b), expected);

    b.FastRemove(0, 1);
    expected[0] = expected.back();
    expected.pop_back();
    EXPECT_EQ(Texts(b), expected);
    b.FastRemove(1, 2);
    expected[1] = expected[expected.size() - 2];
    expected[2] = expected[expected.size() - 1];
    expected.resize(expected.size() - 2);
    EXPECT_EQ(Texts(b), expected);
    b.FreeItems(); // the leak checker sees every text freed

    CFastBuffer<CClassicWideString> wide;
    for (const char16_t* text : {u"zéro", u"un", u"deux", u"trois"}) {
        wide.Add(CClassicWideString(text));
    }
    wide.FastRemove(1, 1);
    ASSERT_EQ(wide.m_Count, 3u);
    EXPECT_EQ(std::u16string(wide[0].GetText()), u"zéro");
    EXPECT_EQ(std::u16string(wide[1].GetText()), u"trois");
    EXPECT_EQ(std::u16string(wide[2].GetText()), u"deux");
    wide.FreeItems();
}

TEST(FastArray, SetCountGrowAndShrinkKeepTheFirstItems) {
    CFastArray<u32> a;
    a.SetCount(0);
    EXPECT_EQ(a.m_Items, nullptr);
    a.SetCount(3);
    ASSERT_NE(a.m_Items, nullptr);
    EXPECT_EQ(a.m_Count, 3u);
    for (u32 i = 0; i < 3; ++i) {
        a[i] = 100 + i;
    }
    a.SetCount(5);
    a[3] = 103;
    a[4] = 104;
    a.Grow(2);
    EXPECT_EQ(a.m_Count, 7u);
    a.Shrink(4);
    ASSERT_EQ(a.m_Count, 3u);
    EXPECT_EQ(std::vector<u32>(a.m_Items, a.m_Items + 3), (std::vector<u32>{100, 101, 102}));
    a.SetCount(1);
    EXPECT_EQ(a[0], 100u);
    a.SetCount(0);
    EXPECT_EQ(a.m_Count, 0u);
    EXPECT_EQ(a.m_Items, nullptr);

    CFastArray<CClassicString> strings;
    strings.SetCount(2);
    strings[0].Assign("first");
    strings[1].Assign("second");
    strings.Grow(1);
    EXPECT_TRUE(strings[2].IsEmpty());
    strings.Shrink(2);
    ASSERT_EQ(strings.m_Count, 1u);
    EXPECT_STREQ(strings[0].GetText(), "first");
}

class Polymorphic {
public:
    virtual ~Polymorphic() = default;
    virtual int Value() const { return m_Value; }
    int m_Value = 3;
};

TEST(ClassicIsValidObjectPointer, LiveObjectsOnly) {
    auto onHeap = std::make_unique<Polymorphic>();
    Polymorphic onStack;
    CFastArray<u8> array;
    EXPECT_TRUE(ClassicIsValidObjectPointer(onHeap.get(), sizeof(Polymorphic)));
    EXPECT_TRUE(ClassicIsValidObjectPointer(&onStack, sizeof onStack));
    EXPECT_TRUE(ClassicIsValidObjectPointer(&array, sizeof array));

    // Zero-filled memory, and a first word that points at data instead of a table of code.
    alignas(void*) unsigned char zeros[32] = {};
    EXPECT_FALSE(ClassicIsValidObjectPointer(zeros, sizeof zeros));
    const void* dataTable[2] = {zeros, zeros};
    const void* fakeObject[2] = {dataTable, nullptr};
    EXPECT_FALSE(ClassicIsValidObjectPointer(fakeObject, sizeof fakeObject));

    // Read-only memory and an unmapped page, without a fault.
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    void* p = mmap(nullptr, page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    new (p) Polymorphic();
    EXPECT_TRUE(ClassicIsValidObjectPointer(p, sizeof(Polymorphic)));
    ASSERT_EQ(mprotect(p, page, PROT_READ), 0);
    EXPECT_FALSE(ClassicIsValidObjectPointer(p, sizeof(Polymorphic)));
    ASSERT_EQ(munmap(p, page), 0);
    EXPECT_FALSE(ClassicIsValidObjectPointer(p, sizeof(Polymorphic)));
    EXPECT_FALSE(ClassicIsValidObjectPointer(nullptr, sizeof(Polymorphic)));
}

} // namespace
