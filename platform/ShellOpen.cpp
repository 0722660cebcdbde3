#include "platform/ShellOpen.h"

#include "platform/File.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "platform/ui/Backend.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constinit ShellOpener s_Opener = nullptr;

bool VerbIs(std::u16string_view verb, std::u16string_view name) {
    if (verb.size() != name.size())
        return false;
    for (size_t i = 0; i < verb.size(); ++i) {
        const char16_t c = verb[i] >= u'A' && verb[i] <= u'Z' ? char16_t(verb[i] + 32) : verb[i];
        if (c != name[i])
            return false;
    }
    return true;
}

// The first executable regular file of that name in the folders of PATH; empty when none.
std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path)
        return std::string();
    std::string_view folders = path;
    while (true) {
        const size_t colon = folders.find(':');
        std::string folder(folders.substr(0, colon));
        // An empty entry is the current folder.
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            return std::string();
        folders.remove_prefix(colon + 1);
    }
}

int OpenWithXdgOpen(std::string_view /*verb*/, const std::string& hostPath) {
    // xdg-open opens a document with its program and a folder with the file manager, which is
    // what both verbs ask for.
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty())
        return kShellNoOpener;
    Process process;
    ProcessOptions options;
    options.NewSession = true;
    if (process.Start(opener, {hostPath}, std::string(), options) != 0)
        return kShellNoOpener;
    // It ends with a status other than 0 when the desktop has nothing to open the path with. On
    // some desktops it runs the program itself: one still running is taken as opened.
    const std::optional<int> status = process.WaitAtMost(kShellOpenerWaitMs);
    if (status && *status != 0)
        return kShellNoOpener;
    process.Close();
    return kShellOpened;
}

} // namespace

int ShellOpen(std::u16string_view verb, std::u16string_view path) {
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"')
        path = path.substr(1, path.size() - 2);
    if (path.empty())
        return kShellFileNotFound;
    std::string host;
    if (!ResolveHostPath(path, host))
        return kShellPathNotFound;
    if (host[0] != '/') {
        std::string current;
        if (GetCurrentFolder(current) != 0)
            return kShellPathNotFound;
        host = current + (current.back() == '/' ? "" : "/") + host;
    }
    FileInfo info;
    if (GetFileInfo(host, info) != 0) {
        std::string folder = host;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        folder.resize(folder.rfind('/') + 1);
        FileInfo folderInfo;
        return GetFileInfo(folder, folderInfo) == 0 && folderInfo.IsFolder ? kShellFileNotFound
                                                                           : kShellPathNotFound;
    }
    std::string_view hostVerb;
    if (verb.empty() || VerbIs(verb, u"open"))
        hostVerb = "open";
    else if (VerbIs(verb, u"explore"))
        hostVerb = "explore";
    else
        return kShellNoOpener;
    return (s_Opener ? s_Opener : &OpenWithXdgOpen)(hostVerb, host);
}

ShellOpener SetShellOpener(ShellOpener opener) {
    const ShellOpener previous = s_Opener;
    s_Opener = opener;
    return previous;
}

int RecordShellOpen(std::string_view verb, const std::string& hostPath) {
    std::string line = "shell ";
    line += verb;
    line += ' ';
    line += hostPath;
    ui::Trace(line);
    return kShellOpened;
}

} // namespace platform
