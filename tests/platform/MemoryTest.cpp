#include "platform/Memory.h"

#include "platform/Types.h"

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

size_t PageSize() {
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Two adjacent pages with the given protections, unmapped at the end.
class TwoPages {
public:
    TwoPages(int first, int second) {
        void* p = mmap(nullptr, 2 * PageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                       -1, 0);
        EXPECT_NE(p, MAP_FAILED);
        m_Base = static_cast<char*>(p);
        m_Base[0] = 1;
        m_Base[PageSize()] = 2;
        EXPECT_EQ(mprotect(m_Base, PageSize(), first), 0);
        EXPECT_EQ(mprotect(m_Base + PageSize(), PageSize(), second), 0);
    }
    ~TwoPages() { munmap(m_Base, 2 * PageSize()); }
    TwoPages(const TwoPages&) = delete;
    TwoPages& operator=(const TwoPages&) = delete;

    char* m_Base;
};

int g_Global = 7;

int SomeFunction(int x) {
    return x + g_Global;
}

TEST(Memory, UnmappedPageIsNeitherReadableNorWritable) {
    void* p = mmap(nullptr, PageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(p, MAP_FAILED);
    ASSERT_EQ(munmap(p, PageSize()), 0);
    uintptr_t word = 123;
    EXPECT_FALSE(platform::IsReadable(p, 1));
    EXPECT_FALSE(platform::IsWritable(p, 1));
    EXPECT_FALSE(platform::IsExecutable(p));
    EXPECT_FALSE(platform::ReadWordSafely(p, &word));
    EXPECT_EQ(word, 123u);
}

TEST(Memory, ProtectionsOfAdjacentPages) {
    const size_t page = PageSize();
    struct Case {
        int first, second;
        bool readFirst, readBoth, writeFirst, writeBoth;
    };
    const Case cases[] = {
        {PROT_READ, PROT_READ, true, true, false, false},
        {PROT_READ | PROT_WRITE, PROT_READ, true, true, true, false},
        {PROT_READ | PROT_WRITE, PROT_READ | PROT_WRITE, true, true, true, true},
        {PROT_READ | PROT_WRITE, PROT_NONE, true, false, true, false},
        {PROT_NONE, PROT_READ | PROT_WRITE, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "protections " << c.first << ", " << c.second);
        TwoPages pages(c.first, c.second);
        // The last bytes of the first page, alone and reaching one byte into the second page.
        char* tail = pages.m_Base + page - 8;
        EXPECT_EQ(platform::IsReadable(tail, 8), c.readFirst);
        EXPECT_EQ(platform::IsReadable(tail, 9), c.readBoth);
        EXPECT_EQ(platform::IsReadable(pages.m_Base, 2 * page), c.readBoth);
        EXPECT_EQ(platform::IsWritable(tail, 8), c.writeFirst);
        EXPECT_EQ(platform::IsWritable(tail, 9), c.writeBoth);
        EXPECT_EQ(platform::IsWritable(pages.m_Base, 2 * page), c.writeBoth);
        EXPECT_FALSE(platform::IsExecutable(pages.m_Base));
        uintptr_t word = 0;
        EXPECT_EQ(platform::ReadWordSafely(pages.m_Base, &word), c.readFirst);
        if (c.readFirst) {
            EXPECT_EQ(word & 0xFF, 1u);
        }
    }
}

// Whether the stack or the heap is executable depends on the host (valgrind maps its heap
// executable), so executability is checked on pages the test maps itself.
TEST(Memory, LiveObjectsAreWritableAndCodeIsExecutable) {
    int onStack[4] = {1, 2, 3, 4};
    auto onHeap = std::make_unique<long long[]>(100);
    EXPECT_TRUE(platform::IsWritable(onStack, sizeof onStack));
    EXPECT_TRUE(platform::IsReadable(onStack, sizeof onStack));
    EXPECT_TRUE(platform::IsWritable(onHeap.get(), 100 * sizeof(long long)));
    EXPECT_TRUE(platform::IsWritable(&g_Global, sizeof g_Global));

    const void* code = reinterpret_cast<const void*>(&SomeFunction);
    EXPECT_TRUE(platform::IsExecutable(code));
    EXPECT_TRUE(platform::IsReadable(code, 16));
    EXPECT_FALSE(platform::IsWritable(code, 1));

    uintptr_t word = 0;
    onHeap[3] = 0x1122334455667788;
    ASSERT_TRUE(platform::ReadWordSafely(&onHeap[3], &word));
    EXPECT_EQ(word, 0x1122334455667788u);
}

// Executable means mapped with execute permission, whatever else the page allows.
TEST(Memory, ExecutableFollowsTheMappingsPermission) {
    struct Case {
        int protection;
        bool executable;
    };
    const Case cases[] = {
        {PROT_READ | PROT_WRITE, false},
        {PROT_READ, false},
        {PROT_READ | PROT_EXEC, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "protection " << c.protection);
        TwoPages pages(c.protection, PROT_READ | PROT_WRITE);
        EXPECT_EQ(platform::IsExecutable(pages.m_Base), c.executable);
        EXPECT_EQ(platform::IsExecutable(pages.m_Base + PageSize() - 1), c.executable);
        EXPECT_FALSE(platform::IsExecutable(pages.m_Base + PageSize()));
    }
}

// A freed small block stays mapped (the allocator keeps it), so the word is read; the point is
// that neither a fault nor a sanitizer report happens.
TEST(Memory, FreedHeapBlockIsReadWithoutAFault) {
    auto* block = new uintptr_t[4]{1, 2, 3, 4};
    // Kept in a volatile word: only the address is wanted, not the object.
    const volatile uintptr_t address = reinterpret_cast<uintptr_t>(block);
    delete[] block;
    uintptr_t word = 0;
    EXPECT_TRUE(platform::ReadWordSafely(reinterpret_cast<const void*>(address), &word));
    EXPECT_TRUE(platform::IsReadable(reinterpret_cast<const void*>(address), 4 * sizeof word));
}

TEST(Memory, EdgeRanges) {
    int value = 0;
    // An empty range asks nothing; a range that wraps around the address space is never valid.
    EXPECT_TRUE(platform::IsReadable(nullptr, 0));
    EXPECT_TRUE(platform::IsWritable(nullptr, 0));
    EXPECT_FALSE(platform::IsReadable(&value, SIZE_MAX));
    EXPECT_FALSE(platform::IsWritable(&value, SIZE_MAX));
    EXPECT_FALSE(platform::IsReadable(nullptr, 1));
    EXPECT_FALSE(platform::IsWritable(nullptr, 1));
    EXPECT_FALSE(platform::IsExecutable(nullptr));
    uintptr_t word = 5;
    EXPECT_FALSE(platform::ReadWordSafely(nullptr, &word));
    EXPECT_FALSE(platform::ReadWordSafely(reinterpret_cast<const void*>(UINTPTR_MAX - 3), &word));
    EXPECT_EQ(word, 5u);
}

// The VmFlags line of the mapping that starts at p, from the process's detailed mapping list.
std::string MappingFlags(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    char start[32];
    std::snprintf(start, sizeof start, "%lx-",
                  static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p)));
    bool inMapping = false;
    for (std::string line; std::getline(smaps, line);) {
        if (line.rfind(start, 0) == 0)
            inMapping = true;
        else if (inMapping && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return "";
}

void Fill(u8* p, size_t n, u8 seed) {
    for (size_t i = 0; i < n; i += 4096)
        p[i] = static_cast<u8>(seed + i / 4096);
    p[n - 1] = seed;
}

bool Holds(const u8* p, size_t n, u8 seed) {
    for (size_t i = 0; i < n; i += 4096)
        if (p[i] != static_cast<u8>(seed + i / 4096))
            return false;
    return p[n - 1] == seed;
}

// A large block is aligned on a huge page, marked for huge pages and writable throughout; it
// grows with its bytes kept, in place or, when the address space after it is taken, moved to
// another aligned place.
TEST(Memory, LargeBlocksGrowWithTheirBytes) {
    struct stat sys;
    const bool hugePages = stat("/sys/kernel/mm/transparent_hugepage", &sys) == 0;
    for (const bool neighbour : {false, true}) {
        SCOPED_TRACE(neighbour ? "address space after the block taken" : "free after the block");
        const size_t oldSize = (size_t(3) << 20) + 5;
        auto* block = static_cast<u8*>(platform::AllocLargeBlock(oldSize));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % platform::kLargeBlockAlignment, 0u);
        EXPECT_TRUE(platform::IsWritable(block, oldSize));
        if (hugePages) {
            EXPECT_NE(MappingFlags(block).find(" hg"), std::string::npos);
        }
        Fill(block, oldSize, 7);

        // A page just past the block's last huge page keeps it from growing in place.
        const size_t unit = platform::kLargeBlockAlignment;
        u8* const end = block + ((oldSize + unit - 1) & ~(unit - 1));
        void* taken = MAP_FAILED;
        if (neighbour) {
            taken = mmap(end, PageSize(), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
            ASSERT_EQ(taken, static_cast<void*>(end));
            *static_cast<u8*>(taken) = 99;
        }
        // Growth within the last huge page needs no change of the mapping.
        EXPECT_TRUE(platform::IsWritable(block, size_t(end - block)));
        EXPECT_EQ(platform::GrowLargeBlock(block, oldSize, oldSize - 100), block);
        EXPECT_EQ(platform::GrowLargeBlock(block, oldSize, size_t(end - block)), block);
        const size_t newSize = size_t(9) << 20;
        auto* grown = static_cast<u8*>(platform::GrowLargeBlock(block, oldSize, newSize));
        ASSERT_NE(grown, nullptr);
        if (neighbour) {
            EXPECT_NE(grown, block);
            EXPECT_EQ(*static_cast<u8*>(taken), 99);
            munmap(taken, PageSize());
        }
        EXPECT_EQ(reinterpret_cast<uintptr_t>(grown) % platform::kLargeBlockAlignment, 0u);
        EXPECT_TRUE(Holds(grown, oldSize, 7));
        EXPECT_TRUE(platform::IsWritable(grown, newSize));
        if (hugePages) {
            EXPECT_NE(MappingFlags(grown).find(" hg"), std::string::npos);
        }
        Fill(grown, newSize, 11);
        EXPECT_TRUE(Holds(grown, newSize, 11));
        platform::FreeLargeBlock(grown, newSize);
    }
}

// The block given back last serves the next allocation it can hold, with its pages and cut to
// the new size; a larger request gets a block of its own, and a block above 32 MB is unmapped.
TEST(Memory, LargeBlocksGivenBackServeTheNext) {
    const size_t unit = platform::kLargeBlockAlignment;
    const size_t size = (size_t(5) << 20) + 1; // three huge pages
    auto* block = static_cast<u8*>(platform::AllocLargeBlock(size));
    ASSERT_NE(block, nullptr);
    Fill(block, size, 5);
    platform::FreeLargeBlock(block, size);

    auto* larger = static_cast<u8*>(platform::AllocLargeBlock(size + 3 * unit));
    ASSERT_NE(larger, nullptr);
    EXPECT_NE(larger, block);
    auto* smaller = static_cast<u8*>(platform::AllocLargeBlock(unit + 1)); // two huge pages
    ASSERT_EQ(smaller, block);
    EXPECT_TRUE(Holds(smaller, unit + 1, 5));
    EXPECT_TRUE(platform::IsWritable(smaller, 2 * unit));
    EXPECT_FALSE(platform::IsReadable(smaller + 2 * unit, 1));
    platform::FreeLargeBlock(smaller, unit + 1);

    // Given back, the larger block takes the kept one's place, which is unmapped.
    platform::FreeLargeBlock(larger, size + 3 * unit);
    EXPECT_FALSE(platform::IsReadable(smaller, 1));
    EXPECT_TRUE(platform::IsReadable(larger, 1));

    const size_t huge = size_t(33) << 20;
    auto* beyond = static_cast<u8*>(platform::AllocLargeBlock(huge));
    ASSERT_NE(beyond, nullptr);
    EXPECT_NE(beyond, larger);
    platform::FreeLargeBlock(beyond, huge);
    EXPECT_FALSE(platform::IsReadable(beyond, 1));
    EXPECT_TRUE(platform::IsReadable(larger, 1));
}

// Sizes the address space cannot hold are refused, and the block asked to grow stays as it was.
TEST(Memory, LargeBlocksRefuseWhatCannotBe) {
    const size_t absurd = size_t(1) << 60;
    EXPECT_EQ(platform::AllocLargeBlock(absurd), nullptr);
    EXPECT_EQ(platform::AllocLargeBlock(SIZE_MAX), nullptr);
    const size_t size = size_t(2) << 20;
    auto* block = static_cast<u8*>(platform::AllocLargeBlock(size));
    ASSERT_NE(block, nullptr);
    Fill(block, size, 3);
    EXPECT_EQ(platform::GrowLargeBlock(block, size, absurd), nullptr);
    EXPECT_TRUE(Holds(block, size, 3));
    EXPECT_TRUE(platform::IsWritable(block, size));
    platform::FreeLargeBlock(block, size);
}

} // namespace
