// Fuzzes the registry's key files: the parsing of their lines, quoted texts and escapes, and the
// rewrite that stores a value.
//
// Input: three bytes giving the lengths (below 32) of two names and a value, then those texts
// as UTF-16 code units (two bytes each, so lone surrogates and NULs come too), then the key
// file's text. The properties: storing a value under one name leaves what another name reads as
// it was, the value stored reads back, and the lines that are not values stay byte for byte.
#include "FuzzCheck.h"
#include "platform/Registry.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kHeader = "[HKEY_CURRENT_USER\\Software\\Vorel\\Brisalde]";

std::u16string TakeText(const u8*& data, size_t& size, size_t length) {
    std::u16string text;
    for (; length > 0 && size >= 2; --length, data += 2, size -= 2)
        text += char16_t(data[0] | data[1] << 8);
    return text;
}

char16_t Folded(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Folded(x) == Folded(y); });
}

struct Read {
    bool Found;
    std::u16string Value;
    bool operator==(const Read&) const = default;
};

Read ReadValue(std::string_view text, std::u16string_view name) {
    Read read;
    read.Found = platform::FindKeyFileValue(text, name, read.Value);
    return read;
}

// The byte offset of the first line of the text that is a value line of the name, or npos.
size_t ValueLineOffset(std::string_view text, std::u16string_view name) {
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        if (ReadValue(text.substr(start, end - start), name).Found)
            return start;
        start = end + 1;
    }
    return std::string_view::npos;
}

// Stored under the name, the text changed only where the value goes: a header line first when it
// had none, then either its first value line of the name rewritten (every byte around it kept),
// or the whole text with a new value line after it (after an LF, added when it lacked one).
void CheckKeptBytes(std::string_view text, std::string_view stored, std::u16string_view name,
                    std::u16string_view value) {
    std::string_view rest = stored;
    if (text.empty() || text[0] != '[') {
        FUZZ_CHECK(rest.starts_with(kHeader) && rest.substr(kHeader.size()).starts_with('\n'));
        rest.remove_prefix(kHeader.size() + 1);
    }
    const size_t at = ValueLineOffset(text, name);
    if (at == std::string_view::npos) {
        FUZZ_CHECK(rest.starts_with(text));
        rest.remove_prefix(text.size());
        if (!text.empty() && !text.ends_with('\n')) {
            FUZZ_CHECK(rest.starts_with('\n'));
            rest.remove_prefix(1);
        }
        FUZZ_CHECK(rest.ends_with('\n'));
        rest.remove_suffix(1);
        FUZZ_CHECK(rest.find('\n') == std::string_view::npos &&
                   ReadValue(rest, name) == Read{true, std::u16string(value)});
        return;
    }
    const size_t oldEnd = std::min(text.find('\n', at), text.size());
    const size_t newEnd = std::min(rest.find('\n', at), rest.size());
    FUZZ_CHECK(rest.substr(0, at) == text.substr(0, at));
    FUZZ_CHECK(rest.substr(newEnd) == text.substr(oldEnd));
    const std::string_view line = rest.substr(at, newEnd - at);
    FUZZ_CHECK(ReadValue(line, name) == Read{true, std::u16string(value)});
    // CR LF lines stay CR LF lines.
    FUZZ_CHECK(line.ends_with('\r') == text.substr(at, oldEnd - at).ends_with('\r'));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 3)
        return 0;
    const size_t lengths[3] = {size_t(data[0] % 32), size_t(data[1] % 32), size_t(data[2] % 32)};
    data += 3;
    size -= 3;
    const std::u16string first = TakeText(data, size, lengths[0]);
    const std::u16string second = TakeText(data, size, lengths[1]);
    const std::u16string value = TakeText(data, size, lengths[2]);
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const Read before = ReadValue(text, first);
    const std::string stored = platform::SetKeyFileValue(text, kHeader, second, value);
    CheckKeptBytes(text, stored, second, value);
    FUZZ_CHECK(ReadValue(stored, second) == Read{true, value});
    FUZZ_CHECK(SameName(first, second) || ReadValue(stored, first) == before);

    // Storing again under the first name: it reads the new value, the second name keeps its.
    const std::string again = platform::SetKeyFileValue(stored, kHeader, first, second);
    FUZZ_CHECK(ReadValue(again, first) == Read{true, second});
    FUZZ_CHECK(SameName(first, second) || ReadValue(again, second) == Read{true, value});
    return 0;
}
