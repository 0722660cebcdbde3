#pragma once
// The system calls under Socket.h, as a table of functions. Tests install a fake table that
// answers what the network would rarely answer (short counts, EAGAIN, EINTR, ports always taken,
// refused options) and counts the calls; production code never replaces it.
//
// Each function answers as the system call of its name, setting errno when it fails.
#include "platform/Types.h"

#include <cstddef>
#include <netinet/in.h>
#include <sys/socket.h>

namespace platform {

struct SocketCalls {
    int (*Socket)(int domain, int type, int protocol);
    int (*Bind)(int socket, const sockaddr_in& address);
    int (*SetOption)(int socket, int level, int name, const void* value, socklen_t length);
    // fcntl's F_GETFL and F_SETFL.
    int (*GetFlags)(int socket);
    int (*SetFlags)(int socket, int flags);
    int (*Connect)(int socket, const sockaddr_in& address);
    i64 (*SendTo)(int socket, const void* data, size_t length, int flags, const sockaddr_in& to);
    int (*Shutdown)(int socket, int how);
    int (*Close)(int socket);
};

// The system's calls (a fake forwards to them for what it does not change).
const SocketCalls& SystemSocketCalls();

// Replaces the table; null puts the system's back. Returns the table replaced (null for the
// system's).
const SocketCalls* SetSocketCalls(const SocketCalls* calls);

} // namespace platform
