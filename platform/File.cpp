#include "platform/File.h"

#include "platform/HostPath.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr char kTempPrefix[] = "Fbx";
constexpr u32 kTempRandomLength = 6;
constexpr char kTempSuffix[] = ".tmp";
constexpr char kNameAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// Largest single read or write handed to the system.
constexpr u64 kMaxTransfer = u64(1) << 30;

int LastError() {
    return errno != 0 ? errno : EIO;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

u64 RandomWord() {
    u64 word = 0;
    if (getrandom(&word, sizeof word, 0) != sizeof word) {
        // Never expected on Linux; the names are still tried until one is free.
        static u64 s_Fallback = u64(getpid()) * 0x9E3779B97F4A7C15ull;
        s_Fallback = s_Fallback * 6364136223846793005ull + 1442695040888963407ull;
        word = s_Fallback;
    }
    return word;
}

std::string RandomTempName() {
    std::string name = kTempPrefix;
    u64 word = RandomWord();
    for (u32 i = 0; i < kTempRandomLength; ++i) {
        name += kNameAlphabet[word % (sizeof kNameAlphabet - 1)];
        word /= sizeof kNameAlphabet - 1;
    }
    name += kTempSuffix;
    return name;
}

bool IsTempName(std::string_view name) {
    const size_t prefix = sizeof kTempPrefix - 1, suffix = sizeof kTempSuffix - 1;
    if (name.size() != prefix + kTempRandomLength + suffix ||
        name.substr(0, prefix) != kTempPrefix ||
        name.substr(prefix + kTempRandomLength) != kTempSuffix)
        return false;
    for (char c : name.substr(prefix, kTempRandomLength))
        if (!std::strchr(kNameAlphabet, c) || c == 0)
            return false;
    return true;
}

// The file a chain of symbolic links ends at, which need not exist.
std::string FollowLinks(const std::string& path) {
    std::string current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return current;
        std::string link(size_t(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t got = readlink(current.c_str(), link.data(), link.size());
        if (got <= 0 || size_t(got) >= link.size())
            return current;
        link.resize(size_t(got));
        current = link[0] == '/' ? link : Join(FolderOf(current), link);
    }
    return current;
}

u32 CurrentUmask() {
    FILE* status = std::fopen("/proc/self/status", "re");
    u32 mask = 022;
    if (!status)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "Umask:", 6) == 0) {
            u32 value = 0;
            for (const char* p = line + 6; *p; ++p)
                if (*p >= '0' && *p <= '7')
                    value = value * 8 + u32(*p - '0');
            mask = value & 0777;
            break;
        }
    }
    std::fclose(status);
    return mask;
}

void SyncFolder(const std::string& folder) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

// EACCES for an existing read-only file, EISDIR for a folder, EINVAL for anything else that is
// not a regular file (a pipe, a device, a socket), 0 otherwise (a missing file too).
int CheckWritable(const std::string& host) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return 0;
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    return (st.st_mode & S_IWUSR) ? 0 : EACCES;
}

// Opens without waiting (a pipe without a writer or reader would block the open) and keeps the
// descriptor only for a regular file: a pipe or a device would block the transfers or never end.
// EISDIR for a folder, EINVAL for the others.
int OpenRegular(const std::string& host, int flags, int& fd) {
    fd = open(host.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return LastError();
    struct stat st;
    int error = 0;
    if (fstat(fd, &st) != 0)
        error = LastError();
    else if (S_ISDIR(st.st_mode))
        error = EISDIR;
    else if (!S_ISREG(st.st_mode))
        error = EINVAL;
    else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        error = LastError();
    if (error) {
        close(fd);
        fd = -1;
    }
    return error;
}

bool ProcFdUsable() {
    static const bool s_Usable = access("/proc/self/fd", X_OK) == 0;
    return s_Usable;
}

} // namespace

int GetFileInfo(const std::string& host, FileInfo& info) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return LastError();
    info.IsFolder = S_ISDIR(st.st_mode);
    info.IsFile = S_ISREG(st.st_mode);
    info.ReadOnly = (st.st_mode & S_IWUSR) == 0;
    info.Mode = st.st_mode & 07777;
    info.Size = u64(st.st_size);
    info.ModifiedNs = i64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.Device = u64(st.st_dev);
    info.Inode = u64(st.st_ino);
    return 0;
}

int SetOwnerWritable(const std::string& host, bool writable) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return LastError();
    const mode_t mode = writable ? (st.st_mode | S_IWUSR) : (st.st_mode & ~mode_t(S_IWUSR));
    return chmod(host.c_str(), mode & 07777) == 0 ? 0 : LastError();
}

int RemoveFile(const std::string& host) {
    struct stat st;
    if (lstat(host.c_str(), &st) != 0)
        return LastError();
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR))
        return EACCES;
    return unlink(host.c_str()) == 0 ? 0 : LastError();
}

int MakeFolder(const std::string& host) {
    return mkdir(host.c_str(), 0777) == 0 ? 0 : LastError();
}

int MoveNoReplace(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0)
        return LastError();
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        SyncFolder(FolderOf(to));
        return 0;
    }
    int error = LastError();
    if (error == EINVAL || error == ENOSYS) {
        // File systems without the no-replace rename: a new link fails when the name is taken.
        if (S_ISDIR(st.st_mode))
            return error;
        if (link(from.c_str(), to.c_str()) != 0)
            return LastError();
        unlink(from.c_str());
        SyncFolder(FolderOf(to));
        return 0;
    }
    if (error == EXDEV && S_ISREG(st.st_mode)) {
        error = CopyFile(from, to, true);
        if (error == 0 && unlink(from.c_str()) != 0)
            error = LastError();
    }
    return error;
}

int MoveReplacing(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0)
        return LastError();
    if (const int error = CheckWritable(to))
        return error;
    if (rename(from.c_str(), to.c_str()) != 0)
        return LastError();
    SyncFolder(FolderOf(to));
    return 0;
}

int CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
    File source;
    if (const int error = source.OpenRead(from))
        return error;
    struct stat st;
    if (fstat(source.GetDescriptor(), &st) != 0)
        return LastError();
    if (failIfExists && access(to.c_str(), F_OK) == 0)
        return EEXIST;
    File target;
    if (const int error = target.OpenReplacing(to))
        return error;
    target.SetFlushOnlyOverFiles();

    // In-kernel copy where the file systems allow it, else through a buffer.
    bool kernelCopy = true;
    std::vector<u8> buffer;
    for (;;) {
        if (kernelCopy) {
            const ssize_t got = copy_file_range(source.GetDescriptor(), nullptr,
                                                target.GetDescriptor(), nullptr, kMaxTransfer, 0);
            if (got > 0)
                continue;
            if (got == 0)
                break;
            const int error = LastError();
            if (error == EINTR)
                continue;
            if (error != EXDEV && error != ENOSYS && error != EINVAL && error != EOPNOTSUPP) {
                target.Discard();
                return error;
            }
            kernelCopy = false;
            buffer.resize(1 << 20);
        }
        const u64 got = source.Read(buffer.data(), buffer.size());
        if (got == 0 || target.Write(buffer.data(), got) != got)
            break;
    }
    if (source.Error()) {
        target.Discard();
        return source.Error();
    }
    target.SetCommitMode(st.st_mode);
    target.SetCommitTime(i64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    return target.Close(failIfExists);
}

int MakeUniqueFile(const std::string& folder, std::string_view prefix, std::string& name) {
    name.clear();
    prefix = prefix.substr(0, std::min<size_t>(prefix.find('\0'), 3));
    if (prefix.find('/') != std::string_view::npos)
        return EINVAL;
    const u32 start = u32(RandomWord() % 0xFFFF);
    for (u32 i = 0; i < 0xFFFF; ++i) {
        char digits[8];
        std::snprintf(digits, sizeof digits, "%X", (start + i) % 0xFFFF + 1);
        std::string candidate(prefix);
        candidate += digits;
        candidate += kTempSuffix;
        const int fd =
            open(Join(folder, candidate).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            name = std::move(candidate);
            return 0;
        }
        if (errno != EEXIST)
            return LastError();
    }
    return EEXIST;
}

int GetCurrentFolder(std::string& host) {
    std::string buffer(256, '\0');
    for (;;) {
        if (getcwd(buffer.data(), buffer.size())) {
            host.assign(buffer.c_str());
            return 0;
        }
        if (errno != ERANGE || buffer.size() > (1u << 20))
            return LastError();
        buffer.resize(buffer.size() * 2);
    }
}

int ListFolder(const std::string& host, std::vector<FolderEntry>& entries) {
    entries.clear();
    DIR* dir = opendir(host.c_str());
    if (!dir)
        return LastError();
    const int dirFd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        bool isFolder = entry->d_type == DT_DIR;
        bool isFile = entry->d_type == DT_REG;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirFd, entry->d_name, &st, 0) != 0)
                continue;
            isFolder = S_ISDIR(st.st_mode);
            isFile = S_ISREG(st.st_mode);
        }
        if (isFolder || isFile)
            entries.push_back(FolderEntry{std::string(name), isFolder});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return NameLess(a.Name, b.Name); });
    return 0;
}

int GetFolderIdentity(const std::string& host, u64& device, u64& inode) {
    struct stat st;
    if (stat(host.c_str(), &st) != 0)
        return LastError();
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    device = u64(st.st_dev);
    inode = u64(st.st_ino);
    return 0;
}

void RemoveStaleTemporaries(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(dir))
        if (IsTempName(entry->d_name))
            names.emplace_back(entry->d_name);
    const int dirFd = dirfd(dir);
    for (const std::string& name : names) {
        const int fd = openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            continue;
        struct stat held, named;
        // A live writer holds its lock; the name must still be this file when it is removed.
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 &&
            fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino && S_ISREG(held.st_mode))
            unlinkat(dirFd, name.c_str(), 0);
        close(fd);
    }
    closedir(dir);
}

// ---- File ----

File::~File() {
    if (m_Replacing)
        Discard();
    else if (m_Fd >= 0)
        close(m_Fd);
}

void File::Reset() {
    m_Fd = -1;
    m_Error = 0;
    m_Replacing = false;
    m_Unnamed = false;
    m_Named = false;
    m_FlushOnlyOverFiles = false;
    m_HasCommitTime = false;
    m_CommitMode = -1;
    m_NewFileMode = -1;
    m_CommitTime = 0;
    m_Target.clear();
    m_Folder.clear();
    m_TempName.clear();
}

int File::OpenRead(const std::string& host) {
    if (m_Fd >= 0)
        return EBUSY;
    int fd = -1;
    if (const int error = OpenRegular(host, O_RDONLY, fd))
        return error;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Reset();
    m_Fd = fd;
    return 0;
}

int File::OpenWrite(const std::string& host, bool truncate) {
    if (m_Fd >= 0)
        return EBUSY;
    if (const int error = CheckWritable(host))
        return error;
    int fd = -1;
    if (const int error = OpenRegular(host, O_WRONLY | O_CREAT | (truncate ? O_TRUNC : 0), fd))
        return error;
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    Reset();
    m_Fd = fd;
    return 0;
}

int File::OpenReplacing(const std::string& target) {
    if (m_Fd >= 0)
        return EBUSY;
    const std::string real = FollowLinks(target);
    if (const int error = CheckWritable(real))
        return error;
    // An existing target is refused as opening it for writing would refuse it (another user's).
    if (faccessat(AT_FDCWD, real.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return LastError();
    const std::string folder = FolderOf(real);
    RemoveStaleTemporaries(folder);

    int fd = -1;
    bool unnamed = false;
    std::string name;
    if (ProcFdUsable()) {
        fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd >= 0)
            unnamed = true;
        else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            return LastError();
    }
    if (fd < 0) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            name = Join(folder, RandomTempName());
            fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST)
                return LastError();
        }
        if (fd < 0)
            return EEXIST;
    }
    // Marks the temporary file as in use for RemoveStaleTemporaries of other writers.
    flock(fd, LOCK_EX);
    Reset();
    m_Fd = fd;
    m_Replacing = true;
    m_Unnamed = unnamed;
    m_Named = !unnamed;
    m_Target = real;
    m_Folder = folder;
    m_TempName = unnamed ? Join(folder, RandomTempName()) : name;
    return 0;
}

u64 File::Read(void* data, u64 n) {
    u8* to = static_cast<u8*>(data);
    u64 done = 0;
    while (done < n && m_Fd >= 0 && m_Error == 0) {
        const ssize_t got = read(m_Fd, to + done, size_t(std::min(n - done, kMaxTransfer)));
        if (got > 0) {
            done += u64(got);
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            m_Error = LastError();
        }
    }
    return done;
}

u64 File::Write(const void* data, u64 n) {
    const u8* from = static_cast<const u8*>(data);
    u64 done = 0;
    while (done < n && m_Fd >= 0 && m_Error == 0) {
        const ssize_t put = write(m_Fd, from + done, size_t(std::min(n - done, kMaxTransfer)));
        if (put > 0)
            done += u64(put);
        else if (put == 0)
            m_Error = EIO;
        else if (errno != EINTR)
            m_Error = LastError();
    }
    if (m_Fd < 0 && n != 0 && m_Error == 0)
        m_Error = EBADF;
    return done;
}

int File::Seek(u64 offset) {
    if (m_Fd < 0)
        return EBADF;
    if (offset > u64(INT64_MAX) || lseek(m_Fd, off_t(offset), SEEK_SET) < 0) {
        const int error = offset > u64(INT64_MAX) ? EINVAL : LastError();
        if (m_Error == 0)
            m_Error = error;
        return error;
    }
    return 0;
}

u64 File::Size() const {
    struct stat st;
    if (m_Fd < 0 || fstat(m_Fd, &st) != 0)
        return 0;
    return u64(st.st_size);
}

int File::LinkTemporary() {
    const std::string source = "/proc/self/fd/" + std::to_string(m_Fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, m_TempName.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
            m_Named = true;
            return 0;
        }
        if (errno != EEXIST)
            return LastError();
        m_TempName = Join(m_Folder, RandomTempName());
    }
    return EEXIST;
}

int File::Commit(bool noReplace) {
    if (m_Error)
        return m_Error;
    struct stat target;
    const bool targetExists = stat(m_Target.c_str(), &target) == 0;
    if (targetExists && noReplace)
        return EEXIST;
    if (targetExists && S_ISDIR(target.st_mode))
        return EISDIR;
    if (targetExists && !(target.st_mode & S_IWUSR))
        return EACCES;

    if ((targetExists || !m_FlushOnlyOverFiles) && fsync(m_Fd) != 0)
        return LastError();
    const mode_t mode = m_CommitMode >= 0    ? mode_t(m_CommitMode)
                        : targetExists       ? (target.st_mode & 07777)
                        : m_NewFileMode >= 0 ? mode_t(m_NewFileMode)
                                             : mode_t(0666 & ~CurrentUmask());
    if (fchmod(m_Fd, mode) != 0)
        return LastError();
    // A replaced file keeps its owner when this process may give it (root may).
    if (targetExists && (target.st_uid != geteuid() || target.st_gid != getegid()))
        (void)!fchown(m_Fd, target.st_uid, target.st_gid);
    if (m_HasCommitTime) {
        const timespec times[2] = {
            {0, UTIME_OMIT}, {time_t(m_CommitTime / 1000000000), long(m_CommitTime % 1000000000)}};
        if (futimens(m_Fd, times) != 0)
            return LastError();
    }

    if (noReplace && m_Unnamed) {
        const std::string source = "/proc/self/fd/" + std::to_string(m_Fd);
        if (linkat(AT_FDCWD, source.c_str(), AT_FDCWD, m_Target.c_str(), AT_SYMLINK_FOLLOW) != 0)
            return LastError();
    } else {
        if (m_Unnamed)
            if (const int error = LinkTemporary())
                return error;
        if (!noReplace) {
            if (rename(m_TempName.c_str(), m_Target.c_str()) != 0)
                return LastError();
        } else if (renameat2(AT_FDCWD, m_TempName.c_str(), AT_FDCWD, m_Target.c_str(),
                             RENAME_NOREPLACE) != 0) {
            // File systems without the no-replace rename: a new link fails when the name is
            // taken, and the temporary name goes with Discard's unlink or here.
            if ((errno != EINVAL && errno != ENOSYS) ||
                link(m_TempName.c_str(), m_Target.c_str()) != 0)
                return LastError();
            unlink(m_TempName.c_str());
        }
    }
    m_Named = false;
    SyncFolder(m_Folder);
    return 0;
}

int File::Close(bool noReplace) {
    if (m_Fd < 0) {
        Reset();
        return 0;
    }
    int error = m_Error;
    if (m_Replacing) {
        error = Commit(noReplace);
        if (error) {
            Discard();
            return error;
        }
    }
    if (close(m_Fd) != 0 && error == 0 && !m_Replacing)
        error = LastError();
    Reset();
    return error;
}

void File::Discard() {
    if (m_Named && !m_TempName.empty())
        unlink(m_TempName.c_str());
    if (m_Fd >= 0)
        close(m_Fd);
    Reset();
}

} // namespace platform
