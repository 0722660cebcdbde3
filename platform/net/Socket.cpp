#include "platform/net/Socket.h"

#include "platform/net/SocketCalls.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

namespace {

int SystemSocket(int domain, int type, int protocol) {
    return ::socket(domain, type, protocol);
}
int SystemBind(int socket, const sockaddr_in& address) {
    return ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}
int SystemSetOption(int socket, int level, int name, const void* value, socklen_t length) {
    return ::setsockopt(socket, level, name, value, length);
}
int SystemGetFlags(int socket) {
    return ::fcntl(socket, F_GETFL);
}
int SystemSetFlags(int socket, int flags) {
    return ::fcntl(socket, F_SETFL, flags);
}
int SystemConnect(int socket, const sockaddr_in& address) {
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}
i64 SystemSendTo(int socket, const void* data, size_t length, int flags, const sockaddr_in& to) {
    return ::sendto(socket, data, length, flags, reinterpret_cast<const sockaddr*>(&to), sizeof to);
}
int SystemShutdown(int socket, int how) {
    return ::shutdown(socket, how);
}
int SystemClose(int socket) {
    return ::close(socket);
}

constinit const SocketCalls s_SystemCalls = {
    SystemSocket,  SystemBind,   SystemSetOption, SystemGetFlags, SystemSetFlags,
    SystemConnect, SystemSendTo, SystemShutdown,  SystemClose,
};
constinit const SocketCalls* s_Calls = nullptr;
constinit u32 s_StreamBindAddress = INADDR_ANY;

const SocketCalls& Calls() {
    return s_Calls ? *s_Calls : s_SystemCalls;
}

// The address filled field by field: family, port and address as the engine keeps them
// (network order), the padding zero.
sockaddr_in ToSockaddr(const SocketAddress& address) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_port, address.Port, sizeof in.sin_port);
    std::memcpy(&in.sin_addr.s_addr, address.Address, sizeof in.sin_addr.s_addr);
    return in;
}

} // namespace

SocketAnswer MapSocketAnswer(SocketCall call, i64 result, int error, u64 length) {
    switch (call) {
        case SocketCall::SendTo:
            if (result >= 0)
                return u64(result) == length && length != 0 ? SocketAnswer::Done
                                                            : SocketAnswer::TryAgain;
            if (error == EAGAIN || error == EWOULDBLOCK)
                return SocketAnswer::TryAgain;
            return error == EINTR ? SocketAnswer::Repeat : SocketAnswer::Failed;
        case SocketCall::Connect:
            return result == 0 || error == EINPROGRESS || error == EINTR ? SocketAnswer::Done
                                                                         : SocketAnswer::Failed;
        case SocketCall::Bind:
            if (result == 0)
                return SocketAnswer::Done;
            return error == EADDRINUSE ? SocketAnswer::InUse : SocketAnswer::Failed;
        case SocketCall::Other:
            break;
    }
    return result >= 0 ? SocketAnswer::Done : SocketAnswer::Failed;
}

SocketAnswer SendDatagram(SocketHandle socket, const SocketAddress& to, const void* data,
                          u32 length) {
    const sockaddr_in address = ToSockaddr(to);
    for (;;) {
        errno = 0;
        const i64 sent = Calls().SendTo(socket, data, length, 0, address);
        const SocketAnswer answer = MapSocketAnswer(SocketCall::SendTo, sent, errno, length);
        if (answer != SocketAnswer::Repeat)
            return answer;
    }
}

SocketHandle CreateStreamSocket() {
    const int socket = Calls().Socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    return socket >= 0 ? socket : kNoSocket;
}

SocketAnswer BindStreamSocket(SocketHandle socket, u16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(s_StreamBindAddress);
    errno = 0;
    const int result = Calls().Bind(socket, address);
    return MapSocketAnswer(SocketCall::Bind, result, errno, 0);
}

bool ConfigureStreamSocket(SocketHandle socket, i32 debug) {
    const linger noLinger = {1, 0};
    const int debugOption = debug;
    const SocketCalls& calls = Calls();
    if (calls.SetOption(socket, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger) != 0 ||
        calls.SetOption(socket, SOL_SOCKET, SO_DEBUG, &debugOption, sizeof debugOption) != 0)
        return false;
    const int flags = calls.GetFlags(socket);
    return flags >= 0 && calls.SetFlags(socket, flags | O_NONBLOCK) == 0;
}

bool ConnectSocket(SocketHandle socket, const SocketAddress& to) {
    const sockaddr_in address = ToSockaddr(to);
    errno = 0;
    const int result = Calls().Connect(socket, address);
    return MapSocketAnswer(SocketCall::Connect, result, errno, 0) == SocketAnswer::Done;
}

void ShutdownSocketSend(SocketHandle socket) {
    Calls().Shutdown(socket, SHUT_WR);
}

void CloseSocketHandle(SocketHandle socket) {
    // Linux frees the descriptor even when close answers EINTR: it is never closed twice.
    Calls().Close(socket);
}

u32 SetStreamBindAddress(u32 address) {
    const u32 old = s_StreamBindAddress;
    s_StreamBindAddress = address;
    return old;
}

const SocketCalls& SystemSocketCalls() {
    return s_SystemCalls;
}

const SocketCalls* SetSocketCalls(const SocketCalls* calls) {
    const SocketCalls* old = s_Calls;
    s_Calls = calls;
    return old;
}

} // namespace platform
