#include "system/file/FileSystem.h"

#include "platform/File.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "system/file/PathHelpers.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using View = std::u16string_view;

View ToView(CClassicWideStringRef text) {
    return View(text.m_Text, text.m_Length);
}

// The host path of an engine path, the names that exist found ignoring case.
bool Host(CClassicWideStringRef path, std::string& host) {
    return platform::ResolveHostPath(ToView(path), host);
}

bool GetInfo(CClassicWideStringRef path, platform::FileInfo& info) {
    std::string host;
    return Host(path, host) && platform::GetFileInfo(host, info) == 0;
}

char16_t FoldCase(char16_t c) {
    return ClassicToLower(c);
}

// '*' and '?' with ASCII letters folded; a '*' that fails to match retries one character later.
bool Glob(View name, View pattern) {
    size_t n = 0, p = 0;
    size_t starPattern = View::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == u'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != View::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

// Fills files and folders (each emptied first, either may be null) in one search.
void ListEntries(CClassicWideStringRef folder, CClassicWideStringRef pattern,
                 CFastBuffer<CClassicWideString>* files, CFastBuffer<CClassicWideString>* folders) {
    for (CFastBuffer<CClassicWideString>* out : {files, folders})
        if (out)
            out->m_Count = 0;
    std::u16string search(ToView(folder));
    search += ToView(pattern);
    const size_t separator = search.find_last_of(u"\\/");
    std::u16string where =
        separator == std::u16string::npos ? u"." : search.substr(0, separator + 1);
    const std::u16string match =
        separator == std::u16string::npos ? search : search.substr(separator + 1);
    std::string host;
    std::vector<platform::FolderEntry> entries;
    if (!platform::ResolveHostPath(where, host) || platform::ListFolder(host, entries) != 0)
        return;
    for (const platform::FolderEntry& entry : entries) {
        CFastBuffer<CClassicWideString>* out = entry.IsFolder ? folders : files;
        if (!out)
            continue;
        const CClassicWideString name(platform::FromHostPath(entry.Name).c_str());
        if (MatchesFilePattern(name, CClassicWideStringRef(match.data(), u32(match.size()))))
            out->Add(name);
    }
}

} // namespace

bool FileExists(CClassicWideStringRef path) {
    platform::FileInfo info;
    return GetInfo(path, info) && !info.IsFolder;
}

bool FolderExists(CClassicWideStringRef path) {
    CClassicWideString query(path);
    u32 hadBackslash = 0;
    HideTrailingBackslash(query, &hadBackslash);
    platform::FileInfo info;
    const bool exists = GetInfo(query.GetText(), info) && info.IsFolder;
    RestoreTrailingBackslash(query, hadBackslash);
    return exists;
}

bool PathsNameOneEntry(CClassicWideStringRef a, CClassicWideStringRef b) {
    if (ToView(a) == ToView(b))
        return true;
    std::string hostA, hostB;
    if (!Host(a, hostA) || !Host(b, hostB) || hostA == hostB)
        return true;
    platform::FileInfo info;
    return platform::GetFileInfo(hostA, info) != 0 && platform::GetFileInfo(hostB, info) != 0;
}

u32 IsFileReadOnly(CClassicWideStringRef path, u32* isAFile) {
    platform::FileInfo info;
    const bool found = GetInfo(path, info);
    if (isAFile)
        *isAFile = found && !info.IsFolder ? 1 : 0;
    return !found || info.ReadOnly ? 1 : 0;
}

u32 CreateFolderPath(CClassicWideStringRef path) {
    CClassicWideString component;
    u32 position = 0;
    if (!NextPathComponent(path, component, &position))
        return kCreateFolderCreated;
    CClassicWideString accumulated(component);
    u32 result = kCreateFolderCreated;
    while (NextPathComponent(path, component, &position)) {
        accumulated.Append(component);
        std::string host;
        const int error = Host(accumulated, host) ? platform::MakeFolder(host) : ENOENT;
        if (error == 0) {
            result = kCreateFolderCreated;
        } else if (error == EEXIST) {
            result = kCreateFolderAlreadyThere;
        } else {
            return kCreateFolderFailed;
        }
    }
    return result;
}

bool RemoveFile(CClassicWideStringRef path, bool clearAttributes) {
    std::string host;
    if (!Host(path, host))
        return false;
    if (clearAttributes)
        platform::SetOwnerWritable(host, true);
    return platform::RemoveFile(host) == 0;
}

bool MakeTempFileName(CClassicWideString& out, CClassicWideStringRef folder, const char* prefix) {
    std::string host, name;
    if (!Host(folder, host) || platform::MakeUniqueFile(host, prefix ? prefix : "", name) != 0) {
        out.Assign(CClassicWideStringRef());
        return false;
    }
    std::u16string path(ToView(folder));
    if (!path.empty() && path.back() != u'\\' && path.back() != u'/')
        path += u'\\';
    path += platform::FromHostPath(name);
    out.Assign(CClassicWideStringRef(path.data(), u32(path.size())));
    return true;
}

bool CopyFileTo(CClassicWideStringRef source, CClassicWideStringRef target, bool failIfExists) {
    std::string from, to;
    return Host(source, from) && Host(target, to) &&
           platform::CopyFile(from, to, failIfExists) == 0;
}

bool ClearReadOnlyAttribute(CClassicWideStringRef path) {
    std::string host;
    return Host(path, host) && platform::SetOwnerWritable(host, true) == 0;
}

bool SetReadOnlyAttribute(CClassicWideStringRef path) {
    std::string host;
    return Host(path, host) && platform::SetOwnerWritable(host, false) == 0;
}

bool MoveFileReplacing(CClassicWideStringRef source, CClassicWideStringRef target, bool plain) {
    std::string from, to;
    if (!Host(source, from) || !Host(target, to))
        return false;
    return (plain ? platform::MoveNoReplace(from, to) : platform::MoveReplacing(from, to)) == 0;
}

u64 GetPathFileSize(CClassicWideStringRef path) {
    std::string host;
    platform::File file;
    if (!Host(path, host) || file.OpenRead(host) != 0)
        return 0;
    return file.Size();
}

void ListSubFolderNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& out,
                        CClassicWideStringRef pattern) {
    ListEntries(folder, pattern, nullptr, &out);
}

void ListFileNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& out,
                   CClassicWideStringRef pattern) {
    ListEntries(folder, pattern, &out, nullptr);
}

void ListFolderNames(CClassicWideStringRef folder, CFastBuffer<CClassicWideString>& files,
                     CFastBuffer<CClassicWideString>& folders, CClassicWideStringRef pattern) {
    ListEntries(folder, pattern, &files, &folders);
}

bool MatchesFilePattern(CClassicWideStringRef name, CClassicWideStringRef pattern) {
    const View n = ToView(name), p = ToView(pattern);
    if (Glob(n, p))
        return true;
    return p.size() >= 2 && p.substr(p.size() - 2) == u".*" && Glob(n, p.substr(0, p.size() - 2));
}

void GetFirstCommandLineToken(CClassicWideStringRef commandLine, CClassicWideString& out) {
    const View line = ToView(commandLine);
    size_t start = 0;
    while (start < line.size() && (line[start] == u' ' || line[start] == u'\t'))
        ++start;
    size_t end;
    if (start < line.size() && line[start] == u'"') {
        ++start;
        end = std::min(line.find(u'"', start), line.size());
    } else {
        end = std::min(line.find(u' ', start), line.size());
    }
    const View token = line.substr(start, end - start);
    out.Assign(CClassicWideStringRef(token.data(), u32(token.size())));
}

void GetProgramPath(CClassicWideString& out) {
    const std::u16string& line = platform::GetCommandLine();
    GetFirstCommandLineToken(CClassicWideStringRef(line.data(), u32(line.size())), out);
}

void GetCurrentFolder(CClassicWideString& out) {
    std::string host;
    if (platform::GetCurrentFolder(host) != 0) {
        out.Assign(CClassicWideStringRef());
        return;
    }
    const std::u16string path = platform::FromHostPath(host);
    out.Assign(CClassicWideStringRef(path.data(), u32(path.size())));
}

i32 CheckUnicodeLayer() {
    // Wide text reaches the system through the platform's conversions: they must give back a
    // text beyond ASCII and a host name that is not UTF-8.
    const std::u16string wide = u"t\u00E9st \u4E2D\U0001F600";
    const std::string bytes = "n\xFF\xC3";
    if (platform::HostTextToWide(platform::WideToHostText(wide)) == wide &&
        platform::WideToHostText(platform::HostTextToWide(bytes)) == bytes) {
        // What a comparison of "test" with "toast" answers: less than.
        return 1;
    }
    std::fputs("Error: Unicode support unavailable.\nCouldn't load 'unicows.dll'.\n", stderr);
    std::exit(1);
}
