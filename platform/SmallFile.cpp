#include "platform/SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool ReadSmallFile(const std::string& path, u32 maxBytes, std::string& out) {
    out.clear();
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    char chunk[4096];
    while (out.size() < maxBytes) {
        const size_t want = std::min<size_t>(sizeof chunk, maxBytes - out.size());
        const ssize_t got = read(fd, chunk, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        out.append(chunk, size_t(got));
    }
    close(fd);
    return ok;
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
