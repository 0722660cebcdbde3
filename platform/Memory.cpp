#include "platform/Memory.h"

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/uio.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

// Copies bytes of the own address space through the kernel, which reports an unreadable source
// as an error instead of raising a fault. Sanitizers check only the local side of this call.
bool CopyThroughKernel(iovec* local, iovec* remote, size_t count, size_t total) {
    ssize_t done = process_vm_readv(getpid(), local, count, remote, count, 0);
    return done >= 0 && static_cast<size_t>(done) == total;
}

// The last address of [p, p + n), or false when the range wraps around the address space.
bool LastAddress(const void* p, size_t n, uintptr_t* last) {
    uintptr_t first = reinterpret_cast<uintptr_t>(p);
    if (n - 1 > UINTPTR_MAX - first) {
        return false;
    }
    *last = first + (n - 1);
    return true;
}

// The process's mapping list, read on demand (mappings change with every allocation).
bool ReadMappingList(std::string* text) {
    int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char chunk[4096];
    bool ok = true;
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        text->append(chunk, static_cast<size_t>(got));
    }
    close(fd);
    return ok;
}

bool ParseHex(const char*& s, const char* end, uintptr_t* value) {
    const char* start = s;
    uintptr_t v = 0;
    for (; s < end; ++s) {
        unsigned digit;
        if (*s >= '0' && *s <= '9') {
            digit = static_cast<unsigned>(*s - '0');
        } else if (*s >= 'a' && *s <= 'f') {
            digit = static_cast<unsigned>(*s - 'a' + 10);
        } else {
            break;
        }
        if (v > (UINTPTR_MAX >> 4)) {
            return false;
        }
        v = (v << 4) | digit;
    }
    *value = v;
    return s != start;
}

struct Mapping {
    uintptr_t begin; // first address
    uintptr_t end;   // one past the last address
    bool writable;
    bool executable;
};

// Parses one line "begin-end perms offset device inode path" of the mapping list.
bool ParseMapping(const char* s, const char* end, Mapping* mapping) {
    if (!ParseHex(s, end, &mapping->begin) || s == end || *s++ != '-' ||
        !ParseHex(s, end, &mapping->end) || end - s < 5 || *s++ != ' ') {
        return false;
    }
    mapping->writable = s[1] == 'w';
    mapping->executable = s[2] == 'x';
    return true;
}

// True when every address of [first, last] lies in a mapping that has the wanted permission.
// The mapping list is sorted by address, so the range is covered when consecutive mappings
// reach past `last` without a gap.
template <typename Permission>
bool RangeHas(uintptr_t first, uintptr_t last, Permission has) {
    std::string text;
    if (!ReadMappingList(&text)) {
        return false;
    }
    uintptr_t cursor = first;
    const char* s = text.data();
    const char* end = s + text.size();
    while (s < end) {
        const char* lineEnd = s;
        while (lineEnd < end && *lineEnd != '\n') {
            ++lineEnd;
        }
        Mapping mapping;
        bool parsed = ParseMapping(s, lineEnd, &mapping);
        s = lineEnd + (lineEnd < end ? 1 : 0);
        if (!parsed || mapping.end <= cursor) {
            continue;
        }
        if (mapping.begin > cursor || !has(mapping)) {
            return false;
        }
        if (mapping.end - 1 >= last) {
            return true;
        }
        cursor = mapping.end;
    }
    return false;
}

// The size in whole huge pages (at least one); 0 when that passes the address space. A block
// that ended inside a huge page would have its tail filled with small pages, and after growing
// the huge page around that tail could not be made whole: every 4 KB of it would fault on its own.
size_t MappedLength(size_t size) {
    const size_t unit = kLargeBlockAlignment;
    if (size > SIZE_MAX - unit) {
        return 0;
    }
    return size == 0 ? unit : (size + unit - 1) & ~(unit - 1);
}

// Address space of `length` bytes starting on a huge-page boundary, not yet backed by memory;
// MAP_FAILED when there is none. The slack taken to align it is given back.
void* MapAligned(size_t length, int protection) {
    const size_t slack = kLargeBlockAlignment;
    if (length > SIZE_MAX - slack) {
        return MAP_FAILED;
    }
    void* raw = mmap(nullptr, length + slack, protection, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) {
        return MAP_FAILED;
    }
    const uintptr_t begin = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = (begin + slack - 1) & ~(slack - 1);
    if (aligned != begin) {
        munmap(raw, aligned - begin);
    }
    const uintptr_t tail = aligned + length;
    if (tail != begin + length + slack) {
        munmap(reinterpret_cast<void*>(tail), begin + length + slack - tail);
    }
    return reinterpret_cast<void*>(aligned);
}

// Asks for huge pages; where the kernel has none to give, the block works with small pages.
void AdviseHugePages(void* block, size_t length) {
    madvise(block, length, MADV_HUGEPAGE);
}

// The block given back last, with its pages, for the next allocation, as the C library's heap
// keeps what is freed: a text made again and again (a document, a generated program) would
// otherwise map its block, have the kernel zero and fault in every page, and unmap it each time.
// Blocks above kKeptLengthLimit are unmapped at once, so that no more than that stays taken.
struct KeptBlock {
    void* Block = nullptr;
    size_t Length = 0;
};
constexpr size_t kKeptLengthLimit = size_t(32) << 20;
constinit std::mutex s_KeptMutex;
constinit KeptBlock s_Kept;

// The kept block when it holds `length` bytes, cut to them; null otherwise.
void* TakeKeptBlock(size_t length) {
    KeptBlock kept;
    {
        std::lock_guard lock(s_KeptMutex);
        if (!s_Kept.Block || s_Kept.Length < length)
            return nullptr;
        kept = s_Kept;
        s_Kept = {};
    }
    if (kept.Length > length)
        munmap(static_cast<char*>(kept.Block) + length, kept.Length - length);
    return kept.Block;
}

} // namespace

void* AllocLargeBlock(size_t size) {
    const size_t length = MappedLength(size);
    if (length == 0)
        return nullptr;
    if (void* kept = TakeKeptBlock(length))
        return kept;
    void* block = MapAligned(length, PROT_READ | PROT_WRITE);
    if (block == MAP_FAILED) {
        return nullptr;
    }
    AdviseHugePages(block, length);
    return block;
}

void* GrowLargeBlock(void* block, size_t oldSize, size_t newSize) {
    const size_t oldLength = MappedLength(oldSize);
    const size_t newLength = MappedLength(newSize);
    if (newSize <= oldSize || newLength == oldLength) {
        return block;
    }
    if (newLength == 0) {
        return nullptr;
    }
    // In place when the address space after the block is free.
    if (mremap(block, oldLength, newLength, 0) != MAP_FAILED) {
        AdviseHugePages(block, newLength);
        return block;
    }
    // Else the pages move to an aligned place reserved for them, so huge pages stay whole.
    void* target = MapAligned(newLength, PROT_NONE);
    if (target == MAP_FAILED) {
        return nullptr;
    }
    void* moved = mremap(block, oldLength, newLength, MREMAP_MAYMOVE | MREMAP_FIXED, target);
    if (moved == MAP_FAILED) {
        // The kernel may have dropped the reservation before it failed, and another thread may
        // have mapped something there since: unmapping it now could take that away. What stays
        // is address space without memory, and only when the failure came first.
        return nullptr;
    }
    AdviseHugePages(moved, newLength);
    return moved;
}

void AdviseHugePagesWithin(void* block, size_t size) {
    if (!block || size < 2 * kLargeBlockAlignment) {
        return;
    }
    const uintptr_t begin = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (begin + kLargeBlockAlignment - 1) & ~(kLargeBlockAlignment - 1);
    const uintptr_t last = (begin + size) & ~(kLargeBlockAlignment - 1);
    if (last > first) {
        AdviseHugePages(reinterpret_cast<void*>(first), last - first);
    }
}

void FreeLargeBlock(void* block, size_t size) {
    if (!block) {
        return;
    }
    KeptBlock unmapped{block, MappedLength(size)};
    if (unmapped.Length <= kKeptLengthLimit) {
        std::lock_guard lock(s_KeptMutex);
        std::swap(unmapped, s_Kept);
    }
    if (unmapped.Block) {
        munmap(unmapped.Block, unmapped.Length);
    }
}

bool IsReadable(const void* p, size_t n) {
    uintptr_t last;
    if (n == 0) {
        return true;
    }
    if (!LastAddress(p, n, &last)) {
        return false;
    }
    // Readability is decided page by page, so one byte of every page touched answers for the
    // whole range. The probes are sent in batches.
    const uintptr_t pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    constexpr size_t kBatch = 64;
    char sink[kBatch];
    iovec local[kBatch];
    iovec remote[kBatch];
    uintptr_t address = reinterpret_cast<uintptr_t>(p);
    for (;;) {
        size_t count = 0;
        bool more = true;
        while (count < kBatch && more) {
            local[count] = {&sink[count], 1};
            remote[count] = {reinterpret_cast<void*>(address), 1};
            ++count;
            uintptr_t nextPage = (address | (pageSize - 1)) + 1;
            more = nextPage != 0 && nextPage <= last;
            address = nextPage;
        }
        if (!CopyThroughKernel(local, remote, count, count)) {
            return false;
        }
        if (!more) {
            return true;
        }
    }
}

bool IsWritable(const void* p, size_t n) {
    uintptr_t last;
    if (n == 0) {
        return true;
    }
    if (!LastAddress(p, n, &last)) {
        return false;
    }
    return RangeHas(reinterpret_cast<uintptr_t>(p), last,
                    [](const Mapping& mapping) { return mapping.writable; });
}

bool IsExecutable(const void* p) {
    uintptr_t address = reinterpret_cast<uintptr_t>(p);
    return RangeHas(address, address, [](const Mapping& mapping) { return mapping.executable; });
}

bool ReadWordSafely(const void* p, uintptr_t* out) {
    uintptr_t word;
    iovec local{&word, sizeof word};
    iovec remote{const_cast<void*>(p), sizeof word};
    if (!CopyThroughKernel(&local, &remote, 1, sizeof word)) {
        return false;
    }
    *out = word;
    return true;
}

} // namespace platform
