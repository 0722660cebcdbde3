#include "core/base/ClassicString.h"

#include "platform/Endian.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

constinit const CClassicString g_ClassicStringEmpty;
constinit const CClassicWideString g_ClassicWideStringEmpty;

namespace {

constexpr u32 kMaxCapacity = 0x7FFFFFFF;
constexpr u32 kLargeHeaderBit = 0x80000000;

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
Ch* AllocBlock(u32 capacity) {
    if (capacity > kMaxCapacity)
        StringTooLong();
    const bool large = capacity >= 128;
    const size_t header = large ? 4 : sizeof(Ch);
    u8* block = static_cast<u8*>(std::malloc(header + (size_t(capacity) + 1) * sizeof(Ch)));
    if (!block)
        std::abort();
    if (large) {
        platform::StoreU32Le(block, capacity | kLargeHeaderBit);
    } else {
        block[0] = 0;
        block[header - 1] = static_cast<u8>(capacity);
    }
    return reinterpret_cast<Ch*>(block + header);
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
    if (text && text != ClassicEmptyText<Ch>())
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

bool InSet(char c, CClassicStringRef set) {
    for (u32 i = 0; i < set.m_Length && set.m_Text[i]; ++i)
        if (set.m_Text[i] == c)
            return true;
    return false;
}

constexpr const char* kBlanks = " \t\r\n";

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
u32 TClassicString<Ch>::GetCapacity() const {
    return CapacityOf(m_Text);
}

template <class Ch>
void TClassicString<Ch>::FreeText() {
    FreeBlock(m_Text);
    m_Length = 0;
    m_Text = const_cast<Ch*>(ClassicEmptyText<Ch>());
}

template <class Ch>
void TClassicString<Ch>::Reserve(u32 n, bool keep, CHandBack* handBack) {
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
void TClassicString<Ch>::SetLength(u32 n, bool fill, Ch fillChar) {
    if (n == m_Length)
        return;
    Reserve(n, true);
    const u32 old = m_Length;
    m_Text[n] = 0;
    m_Length = n;
    if (fill)
        for (u32 i = old; i < n; ++i)
            m_Text[i] = fillChar;
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
void TClassicString<Ch>::AppendRef(Ref text) {
    if (text.m_Length == 0)
        return;
    if (HoldsInStorage(text.m_Text)) {
        TClassicString copy(text);
        AppendRef(Ref(copy));
        return;
    }
    const u32 old = m_Length;
    const u32 n = AddLengths(old, text.m_Length);
    Reserve(n, true);
    m_Text[n] = 0;
    m_Length = n;
    CopyChars(m_Text + old, text.m_Text, text.m_Length);
}

template <class Ch>
void TClassicString<Ch>::AppendChar(Ch c) {
    const u32 n = AddLengths(m_Length, 1);
    Reserve(n, true);
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
    Reserve(n, true);
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
    const u32 searchedLength = ClassicTextLength(searched.m_Text, searched.m_Length);
    // An empty searched text would match everywhere and never advance.
    if (searchedLength == 0)
        return false;
    if (HoldsInStorage(searched.m_Text) || HoldsInStorage(replacement.m_Text)) {
        CClassicString searchedCopy(CClassicStringRef(searched.m_Text, searchedLength));
        CClassicString replacementCopy(replacement);
        return Replace(searchedCopy, replacementCopy, pos, count);
    }
    const CClassicStringRef needle(searched.m_Text, searchedLength);
    i32 at = FindSubstring(needle, pos, true);
    if (at < 0)
        return false;
    const u32 wanted = count <= 1 ? 1 : count;
    for (u32 done = 0; at >= 0 && done < wanted; ++done) {
        Splice(u32(at), searchedLength, replacement);
        at = FindSubstring(needle, u32(at) + replacement.m_Length, true);
    }
    return true;
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
    const u32 needleLength = ClassicTextLength(text.m_Text, text.m_Length);
    const std::string_view haystack(m_Text + pos, m_Length - pos);
    size_t at = std::string_view::npos;
    if (caseSensitive) {
        at = haystack.find(std::string_view(text.m_Text, needleLength));
    } else {
        for (size_t i = 0; at == std::string_view::npos && i + needleLength <= haystack.size();
             ++i) {
            u32 k = 0;
            while (k < needleLength &&
                   ClassicToUpper(haystack[i + k]) == ClassicToUpper(text.m_Text[k]))
                ++k;
            if (k == needleLength)
                at = i;
        }
    }
    // The search stops at the first NUL after pos: a match beyond it does not count.
    if (at == std::string_view::npos || std::memchr(haystack.data(), 0, at))
        return -1;
    return static_cast<i32>(pos + at);
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
