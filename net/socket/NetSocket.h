#pragma once
// The sockets under the peer links: a datagram socket that sends one memory buffer, a stream
// socket opened non-blocking on a local port (moving up while the port is taken), the same socket
// once its connect has started, the send-side shutdown and the close.
//
// Each type holds one descriptor and nothing else: copying one copies the number, and closing is
// always explicit (CloseSocket). Sending and connecting report failure by throwing
// CNetSystem::CNetSystemError; opening reports it by answering false. Nothing here waits.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "net/socket/NetAddress.h"
#include "platform/net/Socket.h"

class CNetSystem {
public:
    // Thrown by value, caught by reference. Code is always 0; CallName names the operation that
    // failed ("CNetUDP::SendTo" or "CNetTcpConnectedSocket::Connect"). Copies own their text.
    class CNetSystemError {
    public:
        CNetSystemError(i32 code, const char* callName) : Code(code), CallName(callName) {}

        i32 Code;
        CClassicString CallName;
    };
};

class CNetUDP {
public:
    static constexpr u32 s_Sent = 0;
    static constexpr u32 s_TryAgain = 2;

    // Sends the buffer's whole content (from its start, whatever its position) as one datagram:
    // s_Sent when every byte went, s_TryAgain when fewer or none went or the socket would block
    // (an empty buffer answers it too). Any other failure throws {0, "CNetUDP::SendTo"}.
    u32 SendTo(const CNetAddress& to, const CClassicBufferMemory& data);

    platform::SocketHandle m_Socket = platform::kNoSocket;
};

class CNetTcpSocket {
public:
    // The most binds one Open tries: then every port was taken once.
    static constexpr u32 s_MaxBindAttempts = 65536;

    // Creates a stream socket and binds it to `port`; while the port is taken, the caller's port
    // moves up by one (65535 wraps to 0, where the system chooses) and the bind is tried again,
    // s_MaxBindAttempts times at most. Then linger {1, 0}, SO_DEBUG = debug and non-blocking.
    // False at the first step that fails; a socket created stays in the object for its owner to
    // close. SO_DEBUG 1 needs CAP_NET_ADMIN on Linux: without it Open answers false.
    bool Open(i32 debug, u16& port);

    platform::SocketHandle m_Socket = platform::kNoSocket;
};

class CNetTcpConnectedSocket {
public:
    // Starts a connect of the opened socket without waiting. Made at once or going on in the
    // background, it answers a connected socket holding the same descriptor; any other failure
    // throws {0, "CNetTcpConnectedSocket::Connect"}.
    static CNetTcpConnectedSocket Connect(const CNetTcpSocket& socket, const CNetAddress& to);
    // Shuts the send side down when there is a descriptor; failures are not reported and the
    // descriptor stays.
    void ShutdownSend();

    platform::SocketHandle m_Socket = platform::kNoSocket;
};

// Closes the descriptor when there is one; the handle is kNoSocket afterwards in every case, so a
// second call does nothing.
void CloseSocket(CNetUDP& socket);
void CloseSocket(CNetTcpSocket& socket);
void CloseSocket(CNetTcpConnectedSocket& socket);
