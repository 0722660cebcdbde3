#include "platform/SmallFile.h"

#include "platform/File.h"

#include <algorithm>

namespace platform {

bool ReadSmallFile(const std::string& path, u32 maxBytes, std::string& out) {
    out.clear();
    // Opened without waiting, and only a regular file: a pipe or a device named here would hold
    // the reader forever.
    File file;
    if (file.OpenRead(path) != 0)
        return false;
    char chunk[4096];
    while (out.size() < maxBytes) {
        const u64 want = std::min<u64>(sizeof chunk, maxBytes - out.size());
        const u64 got = file.Read(chunk, want);
        out.append(chunk, size_t(got));
        if (got < want)
            break;
    }
    return file.Error() == 0;
}

std::string ReadFirstLine(const std::string& path) {
    std::string text;
    if (!ReadSmallFile(path, 4096, text))
        return {};
    const size_t end = text.find('\n');
    if (end != std::string::npos)
        text.resize(end);
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

} // namespace platform
