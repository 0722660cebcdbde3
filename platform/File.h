#pragma once
// Files and folders of the host, named by host paths (see HostPath.h for engine paths).
//
// The read-only attribute of the engine is the owner's write bit. It is checked here, explicitly,
// before every write, deletion, replacing move and copy over a file: a process running as root
// passes every permission check of the system, so the system's own checks would never refuse.
//
// Saving never truncates a file in place: a replacing write (File::OpenReplacing) goes to a
// temporary file in the target's folder, which Close flushes to disk, gives the target's
// permissions and renames over the target. Temporary files have no name while they are written
// (where the file system allows it); a name "Fbx" + 6 letters or digits + ".tmp" exists only for
// the instant between linking and renaming, or for the whole write on file systems without
// unnamed files. Each writer holds a lock on its temporary file, so that temporaries of writers
// that died are recognised and removed by the next replacing write in that folder.
//
// Only regular files are read or written: a pipe, a device or a socket is refused (EINVAL) without
// waiting, since opening or reading one may block or never end.
//
// Every function answers 0 on success, else the errno of the failure.
#include "platform/Types.h"

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// What the engine knows of a file or folder. Symbolic links are followed.
struct FileInfo {
    bool IsFolder = false;
    // A regular file.
    bool IsFile = false;
    // The owner's write bit is clear.
    bool ReadOnly = false;
    u32 Mode = 0;
    u64 Size = 0;
    // Last modification, in nanoseconds since 1970-01-01 UTC.
    i64 ModifiedNs = 0;
    u64 Device = 0;
    u64 Inode = 0;
};

int GetFileInfo(const std::string& host, FileInfo& info);

// Sets or clears the owner's write bit, following links.
int SetOwnerWritable(const std::string& host, bool writable);

// Deletes a file (a symbolic link itself, not its target). EACCES for a read-only file, EISDIR
// for a folder.
int RemoveFile(const std::string& host);

// Creates a folder (mode 0777 before the umask). EEXIST when anything has that name.
int MakeFolder(const std::string& host);

// Moves a file or folder; EEXIST when the target exists. A file moves across file systems by a
// copy and a deletion.
int MoveNoReplace(const std::string& from, const std::string& to);

// Moves a file over another in one step (rename) and flushes the target's folder. EACCES when
// the target is read-only, EISDIR when it is a folder, EINVAL when it is another kind of
// non-regular file, EXDEV across file systems.
int MoveReplacing(const std::string& from, const std::string& to);

// Copies a file's bytes, permissions and modification time. The copy is written beside the
// target and renamed over it (flushed to disk first when it replaces a file); with failIfExists
// it is linked to the target's name only when that name is free (EEXIST otherwise). EACCES over
// a read-only target.
int CopyFile(const std::string& from, const std::string& to, bool failIfExists);

// Creates an empty file named prefix (its first 3 characters) + 1 to 4 hex digits + ".tmp" in
// the folder, choosing digits no file has; `name` receives the file name alone.
int MakeUniqueFile(const std::string& folder, std::string_view prefix, std::string& name);

int GetCurrentFolder(std::string& host);

struct FolderEntry {
    std::string Name;
    bool IsFolder = false;
};

// The folders and regular files of a folder, links followed (broken links, devices, sockets and
// pipes are left out, and so are "." and ".."), sorted by NameLess.
int ListFolder(const std::string& host, std::vector<FolderEntry>& entries);

// The identity of a folder (device and inode), to recognise a folder reached twice.
int GetFolderIdentity(const std::string& host, u64& device, u64& inode);

// Removes the temporary files ("Fbx" + 6 letters or digits + ".tmp") of writers that died in
// the folder: those nobody holds locked.
void RemoveStaleTemporaries(const std::string& folder);

// An open file: read, written, or written to replace another.
class File {
public:
    File() = default;
    // Closes the file; a replacing write that was not closed is discarded.
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens an existing file for reading (sequential-read hint). EISDIR for a folder, EINVAL for
    // what is not a regular file.
    int OpenRead(const std::string& host);
    // Opens for writing at offset 0, creating a missing file, emptying it with truncate.
    // EACCES for a read-only file, EISDIR for a folder, EINVAL for what is not a regular file.
    int OpenWrite(const std::string& host, bool truncate);
    // Opens a temporary file in the folder of `target` (of the file a symbolic link points to)
    // that Close puts in its place; the target itself is only looked at, a missing one is not
    // created. EACCES when the target is read-only or this process may not write it, ENOENT when
    // its folder is missing. Removes stale temporaries of that folder first.
    int OpenReplacing(const std::string& target);

    // Up to n bytes; fewer only at the end of the file or after an error.
    u64 Read(void* data, u64 n);
    // All n bytes, or the bytes written before an error.
    u64 Write(const void* data, u64 n);
    int Seek(u64 offset);
    // The file's size; 0 when it cannot be read.
    u64 Size() const;

    // The first error of a read, write or seek; it stays until Close.
    int Error() const { return m_Error; }
    bool IsOpen() const { return m_Fd >= 0; }
    bool IsReplacing() const { return m_Replacing; }
    // The temporary file's name as it appears while it is renamed (host path), empty when not
    // replacing.
    const std::string& GetTemporaryName() const { return m_TempName; }
    int GetDescriptor() const { return m_Fd; }

    // Permissions and modification time a replacing write gives its file instead of the
    // target's permissions and the current time.
    void SetCommitMode(u32 mode) { m_CommitMode = int(mode & 07777); }
    void SetCommitTime(i64 modifiedNs) {
        m_CommitTime = modifiedNs;
        m_HasCommitTime = true;
    }
    // Permissions a replacing write gives its file when the target does not exist (instead of
    // 0666 less the umask); an existing target's are kept.
    void SetNewFileMode(u32 mode) { m_NewFileMode = int(mode & 07777); }
    // A replacing write to a name that has no file yet skips the flush to disk: nothing stored
    // is at risk if the new file is lost.
    void SetFlushOnlyOverFiles() { m_FlushOnlyOverFiles = true; }

    // Closes. A replacing write commits: it fails, and is discarded, when a read or write
    // failed, the flush fails, the target became read-only or the rename fails; with noReplace
    // the file only takes the target's name when it is free (EEXIST).
    int Close(bool noReplace = false);
    // Closes without committing: the temporary file goes and the target stays as it was.
    void Discard();

private:
    int Commit(bool noReplace);
    int LinkTemporary();
    void Reset();

    int m_Fd = -1;
    int m_Error = 0;
    bool m_Replacing = false;
    // The temporary file has no name until it is linked.
    bool m_Unnamed = false;
    bool m_Named = false;
    bool m_FlushOnlyOverFiles = false;
    bool m_HasCommitTime = false;
    int m_CommitMode = -1;
    int m_NewFileMode = -1;
    i64 m_CommitTime = 0;
    std::string m_Target;
    std::string m_Folder;
    std::string m_TempName;
};

} // namespace platform
