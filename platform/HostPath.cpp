#include "platform/HostPath.h"

#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace platform {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;
// A backslash inside a host name: the engine would read a plain one as a separator.
constexpr char16_t kEscapedBackslash = 0xDC5C;

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

bool IsLetter(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

// Decodes one strict UTF-8 sequence at text[i] (no overlong forms, no surrogates, at most
// U+10FFFF). Returns its length, 0 when the bytes there are not one.
u32 DecodeUtf8(std::string_view text, size_t i, u32& code) {
    const u8 b0 = u8(text[i]);
    if (b0 < 0x80) {
        code = b0;
        return 1;
    }
    u32 length;
    u32 min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        code = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        code = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        code = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (u32 k = 1; k < length; ++k) {
        const u8 b = u8(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (b & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string& out, u32 code) {
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

// Splits at '/' (runs count as one), leaving out empty components.
std::vector<std::string_view> SplitHost(std::string_view host) {
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < host.size()) {
        if (host[i] == '/') {
            ++i;
            continue;
        }
        const size_t end = std::min(host.find('/', i), host.size());
        parts.push_back(host.substr(i, end - i));
        i = end;
    }
    return parts;
}

bool Exists(const std::string& host) {
    struct stat st;
    return lstat(host.c_str(), &st) == 0;
}

// A folder, or a link to one.
bool IsFolder(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The name of the folder that equals `name` ignoring ASCII case, the smallest in byte order
// when several do; empty when none does. With wantFolder a folder comes before the files: a
// component with more path after it must name a folder. `folder` is empty or ends with '/'.
std::string FindNoCase(const std::string& folder, std::string_view name, bool wantFolder) {
    std::string found;
    bool foundFolder = false;
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return found;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view candidate(entry->d_name);
        if (!NameEqualsNoCase(candidate, name))
            continue;
        const bool isFolder = wantFolder && IsFolder(folder + std::string(candidate));
        if (found.empty() || (isFolder && !foundFolder) ||
            (isFolder == foundFolder && candidate < found)) {
            found = candidate;
            foundFolder = isFolder;
        }
    }
    closedir(dir);
    return found;
}

} // namespace

std::u16string HostTextToWide(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        u32 code = 0;
        const u32 length = DecodeUtf8(text, i, code);
        if (length == 0) {
            out += char16_t(kEscapeBase + u8(text[i]));
            ++i;
            continue;
        }
        if (code >= 0x10000) {
            out += char16_t(0xD800 + ((code - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += char16_t(code);
        }
        i += length;
    }
    return out;
}

std::string WideToHostText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((u32(c) - 0xD800) << 10) + (u32(text[i + 1]) - 0xDC00));
            ++i;
        } else if ((c >= 0xDC80 && c <= 0xDCFF) || c == kEscapedBackslash) {
            out += char(c & 0xFF);
        } else {
            // Other lone surrogates keep their 3-byte form: never a byte with a meaning.
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool ToHostPath(std::u16string_view path, std::string& host) {
    host.clear();
    path = path.substr(0, std::min(path.find(u'\0'), path.size()));
    if (path.empty())
        return false;
    size_t i = 0;
    bool rooted = false;
    if (path.size() >= 2 && path[1] == u':' && IsLetter(path[0])) {
        if (path[0] != u'z' && path[0] != u'Z')
            return false;
        i = 2;
        rooted = i < path.size() && IsSeparator(path[i]);
    } else if (IsSeparator(path[0])) {
        if (path.size() >= 2 && IsSeparator(path[1]))
            return false;
        rooted = true;
    }

    std::vector<std::u16string_view> parts;
    bool trailing = false;
    while (i < path.size()) {
        if (IsSeparator(path[i])) {
            trailing = true;
            ++i;
            continue;
        }
        trailing = false;
        size_t end = i;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        const std::u16string_view part = path.substr(i, end - i);
        i = end;
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!parts.empty() && parts.back() != u"..")
                parts.pop_back();
            else if (!rooted)
                parts.push_back(part);
            continue;
        }
        parts.push_back(part);
    }

    // host is empty here.
    if (rooted)
        host += '/';
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k != 0)
            host += '/';
        host += WideToHostText(parts[k]);
    }
    if (parts.empty() && !rooted)
        host += '.';
    if (trailing && !parts.empty())
        host += '/';
    return true;
}

std::u16string FromHostPath(std::string_view host) {
    std::u16string out;
    if (!host.empty() && host[0] == '/')
        out = u"Z:\\";
    const std::vector<std::string_view> parts = SplitHost(host);
    for (size_t k = 0; k < parts.size(); ++k) {
        if (k != 0)
            out += u'\\';
        for (char16_t c : HostTextToWide(parts[k]))
            out += c == u'\\' ? kEscapedBackslash : c;
    }
    if (!parts.empty() && host.back() == '/')
        out += u'\\';
    return out;
}

bool ResolveHostPath(std::u16string_view path, std::string& host) {
    if (!ToHostPath(path, host))
        return false;
    ResolveHostNames(host);
    return true;
}

void ResolveHostNames(std::string& host) {
    if (host.empty() || Exists(host))
        return;
    const bool rooted = host[0] == '/';
    const bool trailing = host.size() > 1 && host.back() == '/';
    const std::vector<std::string_view> parts = SplitHost(host);
    std::string resolved = rooted ? "/" : "";
    size_t k = 0;
    for (; k < parts.size(); ++k) {
        // A component with more after it names a folder: a file of the same folded name (even
        // one spelled exactly) does not hide a folder.
        const bool wantFolder = k + 1 < parts.size() || trailing;
        std::string candidate = resolved;
        candidate += parts[k];
        const bool exact = Exists(candidate);
        if (parts[k] == ".." || parts[k] == "." ||
            (exact && (!wantFolder || IsFolder(candidate)))) {
            resolved = std::move(candidate);
        } else {
            const std::string match = FindNoCase(resolved, parts[k], wantFolder);
            if (match.empty())
                break;
            // No folder of that name: the name as written when it exists.
            if (exact && !IsFolder(resolved + match))
                resolved = std::move(candidate);
            else
                resolved += match;
        }
        resolved += '/';
    }
    // The rest as written.
    for (; k < parts.size(); ++k) {
        resolved += parts[k];
        resolved += '/';
    }
    if (!trailing && resolved.size() > 1)
        resolved.pop_back();
    host = std::move(resolved);
}

bool NameEqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

bool NameLess(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const u8 x = u8(FoldAscii(a[i])), y = u8(FoldAscii(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    // Equal ignoring case: byte order decides.
    return a < b;
}

} // namespace platform
