#pragma once
// One running instance per user and name: a lock file named after the name, locked with flock.
// The lock file lives in $XDG_RUNTIME_DIR (a folder of the logged-in user) or, when that is not
// set to an absolute path, in /tmp with the user id in its name. It is created with mode 0600 and
// never deleted: deleting it would race with another instance opening it. The kernel drops the
// lock when its holder ends; the descriptor is close-on-exec, so that a program the holder starts
// does not keep the lock after the holder ended.
#include "platform/Types.h"

#include <string>
#include <string_view>

namespace platform {

// The lock file of a name: "<XDG_RUNTIME_DIR>/<name>.lock", else "/tmp/<name>-<uid>.lock"; '/'
// in the name becomes '_'.
std::string SingleInstanceLockPath(std::string_view name);

class SingleInstance {
public:
    enum class State : u8 {
        Acquired,      // this object holds the lock
        HeldElsewhere, // another holder (another process, or another object) has it
        Unavailable,   // no lock file could be opened: another instance cannot be told apart
    };

    SingleInstance() = default;
    // Releases the lock; the file stays.
    ~SingleInstance() { Release(); }
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Opens the name's lock file and takes the lock without waiting. A lock file that is a
    // symbolic link or belongs to another user is not used (Unavailable).
    State Acquire(std::string_view name);
    void Release();

    bool IsHeld() const { return m_Fd >= 0; }
    // The lock file of the last Acquire.
    const std::string& GetPath() const { return m_Path; }

private:
    int m_Fd = -1;
    std::string m_Path;
};

} // namespace platform
