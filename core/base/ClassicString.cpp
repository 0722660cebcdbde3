#include "core/base/ClassicString.h"

#include "platform/Endian.h"
#include "platform/Memory.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

constinit const CClassicString g_ClassicStringEmpty;
constinit const CClassicWideString g_ClassicWideStringEmpty;

namespace {

constexpr u32 kMaxCapacity = 0x7FFFFFFF;
constexpr u32 kLargeHeaderBit = 0x80000000;
// The first block an append makes holds at least this many characters: a string built by
// appending usually goes on growing (a log line, a path), and one allocation fewer on its way
// weighs more than the few bytes it may leave unused.
constexpr u32 kMinAppendCapacity = 64;

[[noreturn]] void StringTooLong() {
    std::fputs("CClassicString: text longer than 2^31 - 1 characters\n", stderr);
    std::abort();
}

u32 AddLengths(u64 a, u64 b) {
    u64 sum = a + b;
    if (sum > kMaxCapacity)
        StringTooLong();
    return static_cast<u32>(sum);
}

// Heap block layout: a capacity header, the text, and room for the NUL.
//   capacity < 128: narrow 1 byte = capacity; wide 2 bytes, the second (just below the text)
//                   = capacity, the first unused.
//   capacity >= 128: 4 bytes, little-endian capacity | 0x80000000 (so the byte just below the
//                   text has its top bit set).
template <class Ch>
size_t BlockBytes(u32 capacity) {
    return (capacity >= 128 ? 4 : sizeof(Ch)) + (size_t(capacity) + 1) * sizeof(Ch);
}

// Blocks of 2 MB and more (a downloaded file, a whole document) are mappings of their own: they
// fill with a fault per huge page instead of one per 4 KB page, and grow without copying. The
// capacity alone tells which kind a block is.
template <class Ch>
bool IsLargeBlock(u32 capacity) {
    return BlockBytes<Ch>(capacity) >= platform::kLargeBlockAlignment;
}

// Null when the capacity passes the limit or the allocation fails.
template <class Ch>
Ch* TryAllocBlock(u32 capacity) {
    if (capacity > kMaxCapacity)
        return nullptr;
    const bool large = capacity >= 128;
    const size_t header = large ? 4 : sizeof(Ch);
    const size_t bytes = BlockBytes<Ch>(capacity);
    u8* block = static_cast<u8*>(IsLargeBlock<Ch>(capacity) ? platform::AllocLargeBlock(bytes)
                                                            : std::malloc(bytes));
    if (!block)
        return nullptr;
    if (large) {
        platform::StoreU32Le(block, capacity | kLargeHeaderBit);
    } else {
        block[0] = 0;
        block[header - 1] = static_cast<u8>(capacity);
    }
    return reinterpret_cast<Ch*>(block + header);
}

template <class Ch>
Ch* AllocBlock(u32 capacity) {
    if (capacity > kMaxCapacity)
        StringTooLong();
    Ch* text = TryAllocBlock<Ch>(capacity);
    if (!text)
        std::abort();
    return text;
}

template <class Ch>
u8* BlockOf(Ch* text) {
    u8* t = reinterpret_cast<u8*>(text);
    return (t[-1] & 0x80) ? t - 4 : t - sizeof(Ch);
}

template <class Ch>
u32 CapacityOf(const Ch* text) {
    if (text == ClassicEmptyText<Ch>())
        return 0;
    const u8* t = reinterpret_cast<const u8*>(text);
    if (t[-1] & 0x80)
        return platform::LoadU32Le(t - 4) & kMaxCapacity;
    return t[-1] & 0x7F;
}

template <class Ch>
void FreeBlock(Ch* text) {
    if (!text || text == ClassicEmptyText<Ch>())
        return;
    const u32 capacity = CapacityOf(text);
    if (IsLargeBlock<Ch>(capacity))
        platform::FreeLargeBlock(BlockOf(text), BlockBytes<Ch>(capacity));
    else
        std::free(BlockOf(text));
}

template <class Ch>
void CopyChars(Ch* to, const Ch* from, u32 n) {
    if (n)
        std::memcpy(to, from, size_t(n) * sizeof(Ch));
}

template <class Ch>
void MoveChars(Ch* to, const Ch* from, u32 n) {
    if (n)
        std::memmove(to, from, size_t(n) * sizeof(Ch));
}

template <class Ch>
auto Unsigned(Ch c) {
    if constexpr (std::same_as<Ch, char>)
        return static_cast<u8>(c);
    else
        return static_cast<u16>(c);
}

template <class Ch>
bool HasNul(const Ch* text, u32 n) {
    if constexpr (std::same_as<Ch, char>)
        return std::memchr(text, 0, n) != nullptr;
    else
        return std::find(text, text + n, Ch(0)) != text + n;
}

template <class Ch, class Fold>
i32 CompareTexts(const Ch* a, u32 aLength, const Ch* b, u32 bLength, u32 n, Fold fold, bool exact) {
    u32 limit;
    if (n == 0) {
        limit = aLength > bLength ? aLength : bLength;
    } else {
        if (aLength < n || bLength < n)
            return -1;
        limit = n;
    }
    u32 i = 0;
    if (exact) {
        // Skips the equal prefix block by block; a NUL inside it ends the texts as equal.
        constexpr u32 kBlock = 64 / sizeof(Ch);
        const u32 common = std::min({limit, aLength, bLength});
        while (i + kBlock <= common && std::memcmp(a + i, b + i, kBlock * sizeof(Ch)) == 0)
            i += kBlock;
        if (HasNul(a, i))
            return 0;
    }
    for (; i < limit; ++i) {
        i32 ca = Unsigned(fold(i < aLength ? a[i] : Ch(0)));
        i32 cb = Unsigned(fold(i < bLength ? b[i] : Ch(0)));
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
    return 0;
}

// Narrow whole-text or first-n comparison with one pass of the C library's strncmp, which stops
// at the first difference or NUL and compares unsigned bytes. `a` is a string's own text, so it
// is NUL-terminated at aLength; `b` is a ref and is read only below bLength.
i32 CompareNarrow(const char* a, u32 aLength, const char* b, u32 bLength, u32 n) {
    if (n != 0) {
        if (aLength < n || bLength < n)
            return -1;
        return std::strncmp(a, b, n);
    }
    // a's own NUL stands for its end, so one more character covers a longer b.
    if (aLength <= bLength)
        return std::strncmp(a, b, aLength < bLength ? aLength + 1 : aLength);
    const i32 r = std::strncmp(a, b, bLength);
    if (r != 0)
        return r;
    // Equal over b's length: a NUL in that part ended both texts, otherwise a's next character
    // stands against the end of b.
    return std::memchr(a, 0, bLength) ? 0 : static_cast<u8>(a[bLength]);
}

bool InSet(char c, CClassicStringRef set) {
    for (u32 i = 0; i < set.m_Length && set.m_Text[i]; ++i)
        if (set.m_Text[i] == c)
            return true;
    return false;
}

constexpr const char* kBlanks = " \t\r\n";

// The searched text of an exact search, NUL-terminated at its length as strstr needs it: the
// ref's own text when a NUL already ends it there, otherwise a copy (on the stack when short).
class CSearchedText {
public:
    explicit CSearchedText(CClassicStringRef text)
        : m_Length(ClassicTextLength(text.m_Text, text.m_Length)) {
        if (m_Length < text.m_Length) {
            m_Text = text.m_Text;
        } else if (m_Length < sizeof(m_Local)) {
            CopyChars(m_Local, text.m_Text, m_Length);
            m_Local[m_Length] = 0;
            m_Text = m_Local;
        } else {
            m_Copy.Assign(CClassicStringRef(text.m_Text, m_Length));
            m_Text = m_Copy.GetText();
        }
    }
    CSearchedText(const CSearchedText&) = delete;
    CSearchedText& operator=(const CSearchedText&) = delete;

    u32 m_Length;
    const char* m_Text;

private:
    char m_Local[128];
    CClassicString m_Copy;
};

// One character of the searched text as the no-case search tests it: a letter matches both of
// its cases through c | 0x20, any other character only itself.
struct SFoldedChar {
    u8 m_Or, m_Value;

    bool Matches(char c) const { return (static_cast<u8>(c) | m_Or) == m_Value; }
};

SFoldedChar Fold(char c) {
    const u8 lower = static_cast<u8>(ClassicToLower(c));
    if (lower >= 'a' && lower <= 'z')
        return {0x20, lower};
    return {0, static_cast<u8>(c)};
}

// Sixteen bytes handled as one value (the compilers turn this into vector instructions).
using Bytes16 = u8 __attribute__((vector_size(16)));
static_assert(std::endian::native == std::endian::little, "lanes are read low byte first");

// Index of the first occurrence at or after pos, ignoring ASCII case, of a needle of n >= 1
// characters without a NUL; -1 when there is none before the text's first NUL after pos. The
// text is NUL-terminated at its length. Candidates are the places where the first two
// characters match, found sixteen at a time; each is then checked in full.
i32 FindNoCase(const char* text, u32 length, u32 pos, const char* needle, u32 n) {
    const SFoldedChar first = Fold(needle[0]);
    // Any character may follow a one-character needle.
    const SFoldedChar second = n > 1 ? Fold(needle[1]) : SFoldedChar{0xFF, 0xFF};
    auto matchesFrom = [&](u32 at) {
        if (u64(at) + n > length)
            return false;
        for (u32 k = 2; k < n; ++k)
            if (ClassicToUpper(text[at + k]) != ClassicToUpper(needle[k]))
                return false;
        return true;
    };
    u32 i = pos;
    // Reads the bytes at i .. i + 16, at most up to the NUL at the length. A lane is all ones
    // where a candidate starts or where the text has a NUL.
    for (; u64(i) + 16 <= length; i += 16) {
        Bytes16 here, next;
        std::memcpy(&here, text + i, 16);
        std::memcpy(&next, text + i + 1, 16);
        const auto hits =
            (((here | first.m_Or) == first.m_Value) & ((next | second.m_Or) == second.m_Value)) |
            (here == 0);
        u64 lanes[2];
        std::memcpy(lanes, &hits, sizeof(lanes));
        for (u32 half = 0; half < 2; ++half) {
            for (u64 bits = lanes[half]; bits != 0;) {
                const int bit = std::countr_zero(bits);
                const u32 at = i + half * 8 + u32(bit) / 8;
                if (text[at] == 0)
                    return -1;
                if (matchesFrom(at))
                    return static_cast<i32>(at);
                bits &= ~(u64(0xFF) << bit);
            }
        }
    }
    for (; i < length && text[i] != 0; ++i)
        if (first.Matches(text[i]) && second.Matches(text[i + 1]) && matchesFrom(i))
            return static_cast<i32>(i);
    return -1;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Common operations

template <class Ch>
TClassicString<Ch>::CHandBack::~CHandBack() {
    FreeBlock(m_Block);
}

template <class Ch>
TClassicString<Ch>::TClassicString(const Ch* text) : TClassicString() {
    Assign(Ref(text));
}

template <class Ch>
TClassicString<Ch>::TClassicString(Ref text) : TClassicString() {
    Assign(text);
}

template <class Ch>
TClassicString<Ch>::TClassicString(const TClassicString& other) : TClassicString() {
    Assign(Ref(other));
}

template <class Ch>
TClassicString<Ch>::TClassicString(TClassicString&& other) noexcept
    : m_Length(other.m_Length), m_Text(other.m_Text) {
    other.m_Length = 0;
    other.m_Text = const_cast<Ch*>(ClassicEmptyText<Ch>());
}

template <class Ch>
TClassicString<Ch>& TClassicString<Ch>::operator=(const TClassicString& other) {
    Assign(Ref(other));
    return *this;
}

template <class Ch>
TClassicString<Ch>& TClassicString<Ch>::operator=(TClassicString&& other) noexcept {
    if (this != &other) {
        FreeText();
        m_Length = other.m_Length;
        m_Text = other.m_Text;
        other.m_Length = 0;
        other.m_Text = const_cast<Ch*>(ClassicEmptyText<Ch>());
    }
    return *this;
}

template <class Ch>
void TClassicString<Ch>::FreeText() {
    FreeBlock(m_Text);
    m_Length = 0;
    m_Text = const_cast<Ch*>(ClassicEmptyText<Ch>());
}

template <class Ch>
void TClassicString<Ch>::ReserveBlock(u32 n, bool keep, CHandBack* handBack) {
    if (handBack) {
        handBack->m_Read = m_Text;
        handBack->m_Block = nullptr;
    }
    if (n <= m_Length || n <= CapacityOf(m_Text))
        return;
    Ch* text = AllocBlock<Ch>(n);
    if (keep)
        CopyChars(text, m_Text, m_Length);
    // Keeps the string terminated at its length until the caller writes its own NUL.
    text[m_Length] = 0;
    if (m_Text != ClassicEmptyText<Ch>()) {
        if (handBack)
            handBack->m_Block = m_Text;
        else
            FreeBlock(m_Text);
    }
    m_Text = text;
}

template <class Ch>
bool TClassicString<Ch>::TryReserve(u32 n, bool keep) {
    const u32 capacity = CapacityOf(m_Text);
    if (n <= m_Length || n <= capacity)
        return true;
    if (n > kMaxCapacity)
        return false;
    if (keep && capacity >= 128 && IsLargeBlock<Ch>(capacity) == IsLargeBlock<Ch>(n)) {
        // Both blocks have the 4-byte header and are of one kind: the block grows where it lies
        // or its pages move, instead of the text being copied. (Small blocks are quicker to
        // copy into a new block than to grow through realloc.)
        u8* old = BlockOf(m_Text);
        u8* block = static_cast<u8*>(
            IsLargeBlock<Ch>(n)
                ? platform::GrowLargeBlock(old, BlockBytes<Ch>(capacity), BlockBytes<Ch>(n))
                : std::realloc(old, BlockBytes<Ch>(n)));
        if (!block)
            return false;
        platform::StoreU32Le(block, n | kLargeHeaderBit);
        m_Text = reinterpret_cast<Ch*>(block + 4);
        return true;
    }
    Ch* text = TryAllocBlock<Ch>(n);
    if (!text)
        return false;
    if (keep)
        CopyChars(text, m_Text, m_Length);
    text[m_Length] = 0;
    FreeBlock(m_Text);
    m_Text = text;
    return true;
}

template <class Ch>
void TClassicString<Ch>::ReserveToAppend(u32 n) {
    const u32 capacity = CapacityOf(m_Text);
    if (n <= capacity)
        return;
    if (n > kMaxCapacity)
        StringTooLong();
    const u64 grown = std::max<u64>({n, u64(capacity) * 2, kMinAppendCapacity});
    if (!TryReserve(u32(std::min<u64>(grown, kMaxCapacity)), true))
        std::abort();
}

template <class Ch>
bool TClassicString<Ch>::HoldsInStorage(const void* p) const {
    if (m_Text == ClassicEmptyText<Ch>())
        return false;
    const auto begin = reinterpret_cast<uintptr_t>(m_Text);
    const auto end = begin + (uintptr_t(CapacityOf(m_Text)) + 1) * sizeof(Ch);
    const auto at = reinterpret_cast<uintptr_t>(p);
    return at >= begin && at < end;
}

template <class Ch>
void TClassicString<Ch>::Assign(Ref text) {
    if (text.m_Text == m_Text) {
        Truncate(text.m_Length);
        return;
    }
    if (HoldsInStorage(text.m_Text)) {
        TClassicString copy(text);
        Assign(Ref(copy));
        return;
    }
    SetLength(text.m_Length);
    CopyChars(m_Text, text.m_Text, text.m_Length);
}

template <class Ch>
void TClassicString<Ch>::AppendGrowing(Ref text) {
    if (text.m_Length == 0)
        return;
    if (HoldsInStorage(text.m_Text)) {
        TClassicString copy(text);
        AppendRef(Ref(copy));
        return;
    }
    const u32 old = m_Length;
    const u32 n = AddLengths(old, text.m_Length);
    ReserveToAppend(n);
    m_Text[n] = 0;
    m_Length = n;
    CopyChars(m_Text + old, text.m_Text, text.m_Length);
}

template <class Ch>
void TClassicString<Ch>::AppendCharGrowing(Ch c) {
    const u32 n = AddLengths(m_Length, 1);
    ReserveToAppend(n);
    m_Text[n] = 0;
    m_Text[m_Length] = c;
    m_Length = n;
}

template <class Ch>
void TClassicString<Ch>::Prepend(Ref text) {
    if (text.m_Length == 0)
        return;
    if (HoldsInStorage(text.m_Text)) {
        TClassicString copy(text);
        Prepend(Ref(copy));
        return;
    }
    const u32 old = m_Length;
    const u32 n = AddLengths(old, text.m_Length);
    CHandBack handBack;
    Reserve(n, false, &handBack);
    MoveChars(m_Text + text.m_Length, handBack.m_Read, old);
    CopyChars(m_Text, text.m_Text, text.m_Length);
    m_Text[n] = 0;
    m_Length = n;
}

template <class Ch>
void TClassicString<Ch>::Truncate(u32 n) {
    if (n >= m_Length)
        return;
    m_Text[n] = 0;
    m_Length = n;
}

template <class Ch>
i32 TClassicString<Ch>::Compare(Ref text, u32 n) const {
    if constexpr (std::same_as<Ch, char>)
        return CompareNarrow(m_Text, m_Length, text.m_Text, text.m_Length, n);
    else
        return CompareTexts(
            m_Text, m_Length, text.m_Text, text.m_Length, n, [](Ch c) { return c; }, true);
}

template <class Ch>
i32 TClassicString<Ch>::CompareNoCase(Ref text, u32 n) const {
    return CompareTexts(
        m_Text, m_Length, text.m_Text, text.m_Length, n, [](Ch c) { return ClassicToUpper(c); },
        false);
}

template <class Ch>
i32 TClassicString<Ch>::Find(Ch c, u32 pos) const {
    for (u32 i = pos; i < m_Length; ++i) {
        if (m_Text[i] == c)
            return static_cast<i32>(i);
        if (m_Text[i] == 0)
            break;
    }
    return -1;
}

template class TClassicString<char>;
template class TClassicString<char16_t>;

// ---------------------------------------------------------------------------------------------
// Narrow operations

CClassicString::CClassicString(CClassicStringRef a, CClassicStringRef b, CClassicStringRef c) {
    const u32 n = AddLengths(AddLengths(a.m_Length, b.m_Length), c.m_Length);
    Reserve(n, false);
    CopyChars(m_Text, a.m_Text, a.m_Length);
    CopyChars(m_Text + a.m_Length, b.m_Text, b.m_Length);
    CopyChars(m_Text + a.m_Length + b.m_Length, c.m_Text, c.m_Length);
    if (n)
        m_Text[n] = 0;
    m_Length = n;
}

CClassicString& CClassicString::Append2(CClassicStringRef text, const char* then) {
    CClassicStringRef second(then);
    if (HoldsInStorage(text.m_Text) || HoldsInStorage(second.m_Text)) {
        CClassicString copy(text, second, CClassicStringRef());
        return Append(copy);
    }
    const u32 old = m_Length;
    const u32 n = AddLengths(AddLengths(old, text.m_Length), second.m_Length);
    ReserveToAppend(n);
    CopyChars(m_Text + old, text.m_Text, text.m_Length);
    CopyChars(m_Text + old + text.m_Length, second.m_Text, second.m_Length);
    if (n)
        m_Text[n] = 0;
    m_Length = n;
    return *this;
}

void CClassicString::MoveFrom(CClassicString& other) {
    *this = static_cast<CClassicString&&>(other);
}

void CClassicString::KeepRight(u32 n) {
    if (n >= m_Length)
        return;
    MoveChars(m_Text, m_Text + (m_Length - n), n);
    m_Text[n] = 0;
    m_Length = n;
}

bool CClassicString::TruncateAtChar(char c, bool drop) {
    const i32 at = Find(c);
    if (at < 0)
        return false;
    Truncate(drop ? u32(at) : u32(at) + 1);
    return true;
}

bool CClassicString::KeepFromChar(char c, bool drop) {
    const i32 at = Find(c);
    if (at < 0)
        return false;
    const u32 start = drop ? u32(at) + 1 : u32(at);
    KeepRight(m_Length - start);
    return true;
}

bool CClassicString::RemovePrefix(const char* prefix, bool trimBefore, bool trimAfter) {
    if (trimBefore)
        TrimLeft(kBlanks);
    const u32 n = ClassicTextLength(prefix);
    if (n > m_Length || (n && std::memcmp(m_Text, prefix, n) != 0))
        return false;
    KeepRight(m_Length - n);
    if (trimAfter)
        TrimLeft(kBlanks);
    return true;
}

void CClassicString::TrimLeft(const char* set) {
    const CClassicStringRef chars(set);
    u32 n = 0;
    while (n < m_Length && InSet(m_Text[n], chars))
        ++n;
    KeepRight(m_Length - n);
}

void CClassicString::TrimRight(const char* set) {
    const CClassicStringRef chars(set);
    u32 n = m_Length;
    while (n > 0 && InSet(m_Text[n - 1], chars))
        --n;
    Truncate(n);
}

void CClassicString::RemoveChars(const char* set) {
    const CClassicStringRef chars(set);
    u32 kept = 0;
    for (u32 i = 0; i < m_Length; ++i)
        if (!InSet(m_Text[i], chars))
            m_Text[kept++] = m_Text[i];
    Truncate(kept);
}

bool CClassicString::ReplaceChar(char from, char to, u32 pos, u32 count) {
    const u32 wanted = count <= 1 ? 1 : count;
    u32 done = 0;
    for (u32 i = pos; i < m_Length && done < wanted; ++i) {
        if (m_Text[i] == from) {
            m_Text[i] = to;
            ++done;
        }
    }
    return done == wanted;
}

// Replaces the n characters at pos (pos + n <= length) by the text, which does not point into
// the string. The old storage stays readable until the tail has moved.
void CClassicString::Splice(u32 pos, u32 n, CClassicStringRef text) {
    const u32 newLength = AddLengths(u64(m_Length) - n, text.m_Length);
    CHandBack handBack;
    Reserve(newLength, false, &handBack);
    const char* old = handBack.m_Read;
    if (m_Text != old)
        CopyChars(m_Text, old, pos);
    MoveChars(m_Text + pos + text.m_Length, old + pos + n, m_Length - pos - n + 1);
    CopyChars(m_Text + pos, text.m_Text, text.m_Length);
    m_Length = newLength;
}

void CClassicString::ReplaceRange(u32 pos, CClassicStringRef text, u32 n) {
    if (u64(pos) + n > m_Length)
        return;
    if (HoldsInStorage(text.m_Text)) {
        CClassicString copy(text);
        ReplaceRange(pos, copy, n);
        return;
    }
    Splice(pos, n, text);
}

bool CClassicString::Replace(CClassicStringRef searched, CClassicStringRef replacement, u32 pos,
                             u32 count) {
    const CSearchedText needle(searched);
    // An empty searched text would match everywhere and never advance.
    if (needle.m_Length == 0 || pos > m_Length)
        return false;
    if (HoldsInStorage(searched.m_Text) || HoldsInStorage(replacement.m_Text)) {
        CClassicString searchedCopy(CClassicStringRef(needle.m_Text, needle.m_Length));
        CClassicString replacementCopy(replacement);
        return Replace(searchedCopy, replacementCopy, pos, count);
    }
    const char* first = std::strstr(m_Text + pos, needle.m_Text);
    if (!first)
        return false;
    if (count <= 1) {
        Splice(u32(first - m_Text), needle.m_Length, replacement);
        return true;
    }
    // Each search starts just after the previous occurrence: in the new text that is just after
    // its replacement, so the replacements themselves are never searched. All occurrences are
    // found in the old text first, then the new text is built in one pass.
    std::vector<u32> hits;
    for (const char* at = first; at && hits.size() < count;
         at = std::strstr(at + needle.m_Length, needle.m_Text))
        hits.push_back(u32(at - m_Text));
    SpliceAll(hits.data(), u32(hits.size()), needle.m_Length, replacement);
    return true;
}

// Replaces the n characters at each of the positions (increasing, at least n apart) by the
// text, which does not point into the string. One reservation for the final length, then every
// character moves once: front to back into a new block or when the text shrinks, back to front
// when it grows inside its own storage.
void CClassicString::SpliceAll(const u32* positions, u32 count, u32 n, CClassicStringRef text) {
    const i64 delta = i64(text.m_Length) - i64(n);
    const i64 newLength = i64(m_Length) + delta * count;
    if (newLength > kMaxCapacity)
        StringTooLong();
    CHandBack handBack;
    Reserve(u32(newLength), false, &handBack);
    const char* old = handBack.m_Read;
    if (m_Text != old || delta <= 0) {
        // In place, the text before the first position stays where it is.
        u32 read = m_Text == old ? positions[0] : 0;
        u32 write = read;
        for (u32 k = 0; k < count; ++k) {
            const u32 at = positions[k];
            MoveChars(m_Text + write, old + read, at - read);
            write += at - read;
            CopyChars(m_Text + write, text.m_Text, text.m_Length);
            write += text.m_Length;
            read = at + n;
        }
        MoveChars(m_Text + write, old + read, m_Length - read + 1);
    } else {
        u64 shift = u64(delta) * count;
        u32 end = m_Length + 1;
        for (u32 k = count; k-- > 0;) {
            const u32 from = positions[k] + n;
            MoveChars(m_Text + from + shift, m_Text + from, end - from);
            shift -= u64(delta);
            CopyChars(m_Text + positions[k] + shift, text.m_Text, text.m_Length);
            end = positions[k];
        }
    }
    m_Length = u32(newLength);
}

void CClassicString::ToUpper(u32 pos, u32 n) {
    if (pos >= m_Length)
        return;
    const u64 end = std::min<u64>(m_Length, u64(pos) + n);
    for (u64 i = pos; i < end; ++i)
        m_Text[i] = ClassicToUpper(m_Text[i]);
}

void CClassicString::ToLower(u32 pos, u32 n) {
    if (pos >= m_Length)
        return;
    const u64 end = std::min<u64>(m_Length, u64(pos) + n);
    for (u64 i = pos; i < end; ++i)
        m_Text[i] = ClassicToLower(m_Text[i]);
}

void CClassicString::CapitalizeWords(u32 pos) {
    const CClassicStringRef separators(kBlanks);
    bool wordStart = true;
    for (u32 i = pos; i < m_Length && m_Text[i]; ++i) {
        if (InSet(m_Text[i], separators)) {
            wordStart = true;
        } else {
            if (wordStart)
                m_Text[i] = ClassicToUpper(m_Text[i]);
            wordStart = false;
        }
    }
}

i32 CClassicString::ReverseFind(char c, u32 pos) const {
    if (m_Length == 0)
        return -1;
    for (i64 i = std::min<u32>(pos, m_Length - 1); i >= 0; --i)
        if (m_Text[i] == c)
            return static_cast<i32>(i);
    return -1;
}

i32 CClassicString::FindFirstOf(CClassicStringRef set, u32 pos) const {
    for (u32 i = pos; i < m_Length && m_Text[i]; ++i)
        if (InSet(m_Text[i], set))
            return static_cast<i32>(i);
    return -1;
}

i32 CClassicString::FindSubstring(CClassicStringRef text, u32 pos, bool caseSensitive) const {
    if (pos > m_Length)
        return -1;
    if (!caseSensitive) {
        const u32 n = ClassicTextLength(text.m_Text, text.m_Length);
        return n ? FindNoCase(m_Text, m_Length, pos, text.m_Text, n) : static_cast<i32>(pos);
    }
    // strstr ends the search at the first NUL after pos, as it must end.
    const CSearchedText needle(text);
    const char* at = std::strstr(m_Text + pos, needle.m_Text);
    return at ? static_cast<i32>(at - m_Text) : -1;
}

bool ClassicGetLine(const CClassicStringRef& text, u32 index, CClassicString& out) {
    const char* chars = text.m_Text;
    const u32 length = ClassicTextLength(chars, text.m_Length);
    u32 start = 0;
    for (u32 line = 0; line < index; ++line) {
        const void* newline = std::memchr(chars + start, '\n', length - start);
        if (!newline) {
            out.SetLength(0);
            return false;
        }
        start = u32(static_cast<const char*>(newline) - chars) + 1;
    }
    if (start >= length) {
        out.SetLength(0);
        return false;
    }
    const void* newline = std::memchr(chars + start, '\n', length - start);
    u32 end = newline ? u32(static_cast<const char*>(newline) - chars) : length;
    // Lines end in "\r\n" or in "\n" alone; only a CR just before the LF belongs to the end.
    if (newline && end > start && chars[end - 1] == '\r')
        --end;
    out.Assign(CClassicStringRef(chars + start, end - start));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Wide operations

void CClassicWideString::KeepAfter(u32 pos) {
    if (u64(pos) + 1 >= m_Length) {
        SetLength(0);
        return;
    }
    const u32 n = m_Length - pos - 1;
    MoveChars(m_Text, m_Text + pos + 1, n);
    m_Text[n] = 0;
    m_Length = n;
}
