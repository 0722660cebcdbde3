#pragma once
// IPv4 datagram and stream sockets for the engine's peer links: a datagram sent to an address, a
// non-blocking stream socket bound and configured, a connect that never waits, the send-side
// shutdown and the close. Only this layer includes the system's socket headers; the system
// calls go through a table that tests replace (SocketCalls.h).
//
// Nothing here receives or waits: the engine's sending half never blocks. Every socket is
// created close-on-exec, so a program the launcher starts inherits none.
//
// A stream send, when one is added, must pass MSG_NOSIGNAL: a peer's reset would otherwise end
// the process with SIGPIPE. Datagram sends never raise it.
#include "platform/Types.h"

namespace platform {

// A descriptor; kNoSocket for none.
using SocketHandle = i32;
inline constexpr SocketHandle kNoSocket = -1;

// An IPv4 address and port, both in network byte order, as the engine's address value keeps
// them.
struct SocketAddress {
    u8 Address[4];
    u8 Port[2];
};

// What an answer of a system call means for the layer.
enum class SocketAnswer : u8 {
    Done,     // the call did what was asked (a connect: started or made)
    TryAgain, // sendto: fewer bytes than asked, none, or the socket would block
    Repeat,   // interrupted before anything happened: make the same call again
    InUse,    // bind: the port is taken
    Failed,   // any other failure
};

// The calls whose answers the layer reads.
enum class SocketCall : u8 { SendTo, Connect, Bind, Other };

// The one error map: the meaning of `result` (the call's return value) and `error` (errno after
// a failure) for the call; `length` is the byte count given to sendto.
//   sendto:  all bytes -> Done; fewer, 0 or EAGAIN/EWOULDBLOCK -> TryAgain; EINTR -> Repeat.
//   connect: 0, EINPROGRESS (the non-blocking answer) and EINTR (the connect goes on in the
//            background) -> Done.
//   bind:    0 -> Done; EADDRINUSE -> InUse.
//   others:  0 or more -> Done.
// Every other failure is Failed.
SocketAnswer MapSocketAnswer(SocketCall call, i64 result, int error, u64 length);

// Sends the bytes as one datagram (flags 0): Done, TryAgain or Failed. An interrupted call is
// made again.
SocketAnswer SendDatagram(SocketHandle socket, const SocketAddress& to, const void* data,
                          u32 length);

// A new IPv4 stream socket, kNoSocket when the system refuses one.
SocketHandle CreateStreamSocket();
// Binds the socket to the stream bind address (below) and the port (host order): Done, InUse or
// Failed.
SocketAnswer BindStreamSocket(SocketHandle socket, u16 port);
// Linger {1, 0} (a close resets the connection at once), SO_DEBUG = debug, non-blocking; false at
// the first of them that fails. SO_DEBUG 1 needs CAP_NET_ADMIN on Linux: without it the
// system refuses (EACCES), and this answers false.
bool ConfigureStreamSocket(SocketHandle socket, i32 debug);
// Starts a connect: true when it is made or goes on in the background.
bool ConnectSocket(SocketHandle socket, const SocketAddress& to);
// Shuts the send side down (the peer reads the end of the stream); failures are not reported.
void ShutdownSocketSend(SocketHandle socket);
void CloseSocketHandle(SocketHandle socket);

// The local address stream sockets bind to, host order: 0 (any, the system's) unless a test
// sets another (127.0.0.1, so that no test listens beyond loopback). Returns the one replaced.
u32 SetStreamBindAddress(u32 address);

} // namespace platform
