#include "platform/SingleInstance.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string SingleInstanceLockPath(std::string_view name) {
    std::string file(name);
    for (char& c : file) {
        if (c == '/' || c == '\0')
            c = '_';
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') {
        std::string path = runtime;
        if (path.back() != '/')
            path += '/';
        return path + file + ".lock";
    }
    return "/tmp/" + file + "-" + std::to_string(getuid()) + ".lock";
}

SingleInstance::State SingleInstance::Acquire(std::string_view name) {
    Release();
    m_Path = SingleInstanceLockPath(name);
    int fd;
    do {
        fd = open(m_Path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return State::Unavailable;
    // A file someone else made (in a shared folder) is not ours to trust.
    struct stat info;
    if (fstat(fd, &info) != 0 || info.st_uid != geteuid() || !S_ISREG(info.st_mode)) {
        close(fd);
        return State::Unavailable;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        return error == EWOULDBLOCK ? State::HeldElsewhere : State::Unavailable;
    }
    m_Fd = fd;
    return State::Acquired;
}

void SingleInstance::Release() {
    if (m_Fd >= 0) {
        close(m_Fd);
        m_Fd = -1;
    }
}

} // namespace platform
