#include "system/file/PathHelpers.h"

#include "platform/File.h"
#include "platform/HostPath.h"
#include "system/file/FileSystem.h"

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Text = std::u16string;
using View = std::u16string_view;

View ToView(CClassicWideStringRef text) {
    return View(text.m_Text, text.m_Length);
}

CClassicWideStringRef ToRef(View text) {
    return CClassicWideStringRef(text.data(), u32(text.size()));
}

void Assign(CClassicWideString& out, View text) {
    out.Assign(ToRef(text));
}

char16_t Slashed(char16_t c) {
    return c == u'/' ? u'\\' : c;
}

bool EqualsNoCaseAscii(View a, View b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ClassicToLower(a[i]) != ClassicToLower(b[i]))
            return false;
    return true;
}

// Positions of SplitPath's parts in the path with '/' read as '\'.
struct PathParts {
    Text Path;
    size_t FolderStart = 0;
    size_t NameStart = 0;
    size_t ExtensionStart = 0;
};

PathParts Split(CClassicWideStringRef path) {
    PathParts parts;
    parts.Path.assign(path.m_Text, path.m_Length);
    for (char16_t& c : parts.Path)
        c = Slashed(c);
    const Text& p = parts.Path;
    const size_t colon = p.find(u':');
    parts.FolderStart = colon == Text::npos ? 0 : colon + 1;
    const size_t backslash = p.rfind(u'\\');
    const size_t further = p.rfind(u':');
    if (backslash != Text::npos && backslash >= parts.FolderStart)
        parts.NameStart = backslash + 1;
    else if (further != Text::npos && further >= parts.FolderStart)
        parts.NameStart = further + 1;
    else
        parts.NameStart = parts.FolderStart;
    parts.ExtensionStart = std::min(p.find(u'.', parts.NameStart), p.size());
    return parts;
}

// Normalisation's second phase: ".\" components are dropped, "..\" removes the component
// before it. A ".." above the start of a relative path is dropped, or kept with
// kPathKeepDotDotAbove; above a drive or root (which stay) it is always dropped.
Text ResolveDotComponents(const Text& path, u32 flags) {
    size_t root = 0;
    if (path.size() >= 3 && path[1] == u':' && path[2] == u'\\')
        root = 3;
    else if (!path.empty() && path[0] == u'\\')
        root = path.size() >= 2 && path[1] == u'\\' ? 2 : 1;
    Text result = path.substr(0, root);
    std::vector<size_t> starts; // where each removable component begins in result
    size_t position = root;
    while (position < path.size()) {
        const size_t backslash = path.find(u'\\', position);
        if (backslash == Text::npos) {
            result.append(path, position);
            break;
        }
        const View component = View(path).substr(position, backslash + 1 - position);
        position = backslash + 1;
        if (component == u".\\")
            continue;
        if (component == u"..\\") {
            if (!starts.empty()) {
                result.resize(starts.back());
                starts.pop_back();
            } else if (root == 0 && (flags & kPathKeepDotDotAbove)) {
                result += component;
            }
            continue;
        }
        starts.push_back(result.size());
        result += component;
    }
    return result;
}

void ListRecursive(CClassicWideStringRef folder, View prefix, CFastBuffer<CClassicWideString>& out,
                   CClassicWideStringRef pattern, std::set<std::pair<u64, u64>>& visited) {
    std::string host;
    u64 device = 0, inode = 0;
    if (platform::ResolveHostPath(ToView(folder), host) &&
        platform::GetFolderIdentity(host, device, inode) == 0 &&
        !visited.insert({device, inode}).second)
        return;

    CFastBuffer<CClassicWideString> names;
    ListFileNames(folder, names, pattern);
    for (u32 i = 0; i < names.m_Count; ++i) {
        CClassicWideString entry(ToRef(prefix));
        entry.Append(names[i]);
        out.Add(entry);
    }
    ListSubFolderNames(folder, names, u"*.*");
    for (u32 i = 0; i < names.m_Count; ++i) {
        Text subFolder(ToView(folder));
        subFolder += ToView(names[i]);
        subFolder += u'\\';
        Text subPrefix(prefix);
        subPrefix += ToView(names[i]);
        subPrefix += u'\\';
        ListRecursive(ToRef(subFolder), subPrefix, out, pattern, visited);
    }
    names.FreeItems();
}

} // namespace

void SplitPath(CClassicWideStringRef path, CClassicWideString* drive, CClassicWideString* folder,
               CClassicWideString* name, CClassicWideString* extensions,
               CClassicWideString* classExtension) {
    const PathParts parts = Split(path);
    const View p = parts.Path;
    if (drive)
        Assign(*drive, p.substr(0, parts.FolderStart));
    if (folder)
        Assign(*folder, p.substr(parts.FolderStart, parts.NameStart - parts.FolderStart));
    if (name)
        Assign(*name, p.substr(parts.NameStart, parts.ExtensionStart - parts.NameStart));
    if (extensions)
        Assign(*extensions, p.substr(parts.ExtensionStart));
    if (classExtension) {
        View cls;
        const size_t lastDot = p.rfind(u'.');
        if (lastDot != View::npos && lastDot > parts.ExtensionStart &&
            EqualsNoCaseAscii(p.substr(lastDot), u".zun")) {
            const size_t before = p.rfind(u'.', lastDot - 1);
            cls = p.substr(before + 1, lastDot - before - 1);
        }
        Assign(*classExtension, cls);
    }
}

void GetDriveOfPath(CClassicWideStringRef path, CClassicWideString& out) {
    SplitPath(path, &out, nullptr, nullptr, nullptr, nullptr);
}

void GetFolderOfPath(CClassicWideStringRef path, CClassicWideString& out) {
    const PathParts parts = Split(path);
    Assign(out, View(parts.Path).substr(0, parts.NameStart));
}

void GetFileNameOfPath(CClassicWideStringRef path, CClassicWideString& out) {
    const PathParts parts = Split(path);
    Assign(out, View(parts.Path).substr(parts.NameStart));
}

void GetBaseNameOfPath(CClassicWideStringRef path, CClassicWideString& out) {
    SplitPath(path, nullptr, nullptr, &out, nullptr, nullptr);
}

void RemovePathExtensions(CClassicWideStringRef path, CClassicWideString& out) {
    const PathParts parts = Split(path);
    Assign(out, View(parts.Path).substr(0, parts.ExtensionStart));
}

bool HasZunExtension(CClassicWideStringRef path) {
    const View p = ToView(path);
    return p.size() > 4 && EqualsNoCaseAscii(p.substr(p.size() - 4), u".zun");
}

bool PathEndsWith(CClassicWideStringRef path, const char* suffix) {
    const u32 length = ClassicTextLength(suffix);
    if (length >= path.m_Length)
        return false;
    const char16_t* end = path.m_Text + (path.m_Length - length);
    for (u32 i = 0; i < length; ++i) {
        if (end[i] >= 128 || ClassicToLower(end[i]) != char16_t(ClassicToLower(u8(suffix[i]))))
            return false;
    }
    return true;
}

void RemoveLastExtension(CClassicWideStringRef path, CClassicWideString& out) {
    const View p = ToView(path);
    const size_t dot = p.rfind(u'.');
    if (dot != View::npos && p.find(u'\\', dot) == View::npos)
        Assign(out, p.substr(0, dot));
    else
        Assign(out, p);
}

void NormalizePathFlags(CClassicWideString& path, u32 flags) {
    const View in = ToView(path);
    const size_t n = in.size();
    if (n == 0)
        return;
    Text out;
    out.reserve(n + 1);
    bool prefixWindow = true;
    // Still in the backslashes the path begins with.
    bool leadingRun = true;
    bool dotComponent = false;
    for (size_t i = 0; i < n; ++i) {
        const char16_t c = Slashed(in[i]);
        const bool atEnd = i + 1 == n;
        const char16_t next = atEnd ? 0 : Slashed(in[i + 1]);
        if (i >= 2 || (prefixWindow && c != u'\\' && c != u':' && next != u':'))
            prefixWindow = false;
        leadingRun = leadingRun && c == u'\\';
        switch (c) {
            case u'"':
            case u'*':
            case u'<':
            case u'>':
            case u'|':
                out += u'_';
                break;
            case u':':
                out += (prefixWindow && (flags & kPathKeepPrefix)) ? u':' : u'_';
                break;
            case u'?':
                out += (flags & kPathKeepQuestionMark) ? u'?' : u'_';
                break;
            case u'\\':
                // Without the prefix, the whole leading run goes, not only its first two: what
                // a first pass leaves must be what a second pass leaves.
                if ((prefixWindow || leadingRun) && !(flags & kPathKeepPrefix))
                    break;
                if (!(flags & kPathKeepSeparators)) {
                    out += (atEnd && (flags & kPathTrailingBackslash)) ? u'\\' : u'_';
                } else if (next == u'\\') {
                    if (prefixWindow && (flags & kPathKeepDoubleStart))
                        out += u'\\';
                } else {
                    out += u'\\';
                }
                break;
            case u'.':
                // A final "." is a component too when a trailing backslash is to follow it.
                if ((i == 0 || Slashed(in[i - 1]) == u'\\') &&
                    (next == u'.' || next == u'\\' || (atEnd && (flags & kPathTrailingBackslash))))
                    dotComponent = true;
                out += c;
                break;
            default:
                out += c;
        }
    }
    // An empty result stays empty rather than becoming the root.
    if ((flags & kPathTrailingBackslash) && !out.empty() && out.back() != u'\\')
        out += u'\\';
    if (dotComponent)
        out = ResolveDotComponents(out, flags);
    Assign(path, out);
}

void NormalizeFilePath(CClassicWideString& path, bool trailingBackslash) {
    NormalizePathFlags(path, trailingBackslash ? kPathFlagsFolder : kPathFlagsFile);
}

bool MakeRelativePath(CClassicWideStringRef path, CClassicWideStringRef base,
                      CClassicWideString& out) {
    CClassicWideString normalised(path);
    NormalizePathFlags(normalised, kPathFlagsFile);
    const View p = ToView(normalised), b = ToView(base);
    if (p.size() >= b.size() && EqualsNoCaseAscii(p.substr(0, b.size()), b)) {
        Assign(out, p.substr(b.size()));
        return true;
    }
    Assign(out, p);
    return false;
}

bool NextPathComponent(CClassicWideStringRef path, CClassicWideString& out, u32* position) {
    const View p = ToView(path);
    const size_t start = std::min<size_t>(*position, p.size());
    const size_t search =
        (start == 0 && p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') ? 2 : start;
    const size_t backslash = p.find(u'\\', search);
    if (backslash == View::npos) {
        Assign(out, p.substr(start));
        return false;
    }
    Assign(out, p.substr(start, backslash + 1 - start));
    size_t after = backslash + 1;
    while (after < p.size() && p[after] == u'\\')
        ++after;
    *position = u32(after);
    return true;
}

void TakeFirstComponent(CClassicWideString& path, CClassicWideString& out) {
    const Text p(ToView(path));
    const size_t search = (p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\') ? 2 : 0;
    const size_t backslash = p.find(u'\\', search);
    if (backslash == Text::npos) {
        out.Assign(CClassicWideStringRef());
        return;
    }
    size_t end = backslash + 1;
    while (end < p.size() && p[end] == u'\\')
        ++end;
    Assign(out, View(p).substr(0, end));
    Assign(path, View(p).substr(backslash + 1));
}

void PopLastPathComponent(CClassicWideString& path, CClassicWideString& out) {
    const Text p(ToView(path));
    size_t end = p.size();
    while (end > 0 && p[end - 1] == u'\\')
        --end;
    const size_t backslash = end == 0 ? Text::npos : p.rfind(u'\\', end - 1);
    if (backslash == Text::npos) {
        Assign(out, p);
        path.Assign(CClassicWideStringRef());
        return;
    }
    Text component = p.substr(backslash + 1, end - backslash - 1);
    component += u'\\';
    Assign(out, component);
    path.Truncate(u32(backslash + 1));
}

void AppendFolderToPath(CClassicWideString& path, CClassicWideStringRef folder) {
    const View f = ToView(folder);
    Text joined(ToView(path));
    joined += f;
    if (f.empty() || f.back() != u'\\')
        joined += u'\\';
    Assign(path, joined);
}

void StripTrailingSlashes(CClassicWideString& path) {
    u32 length = path.GetLength();
    while (length > 0 && (path[length - 1] == u'\\' || path[length - 1] == u'/'))
        --length;
    path.Truncate(length);
}

void HideTrailingBackslash(CClassicWideString& path, u32* hadBackslash) {
    const u32 length = path.GetLength();
    if (length > 1 && path[length - 1] == u'\\') {
        path.GetText()[length - 1] = 0;
        *hadBackslash = 1;
    } else {
        path.AppendChar(0);
        *hadBackslash = 0;
    }
}

void RestoreTrailingBackslash(CClassicWideString& path, u32 hadBackslash) {
    const u32 length = path.GetLength();
    if (length == 0)
        return;
    if (hadBackslash)
        path.GetText()[length - 1] = u'\\';
    else
        path.Truncate(length - 1);
}

void ListFilesRecursive(CClassicWideStringRef folderPath, CFastBuffer<CClassicWideString>& out,
                        CClassicWideStringRef pattern) {
    std::set<std::pair<u64, u64>> visited;
    ListRecursive(folderPath, View(), out, pattern, visited);
}
