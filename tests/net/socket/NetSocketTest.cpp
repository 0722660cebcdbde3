// The sockets under the peer links, on 127.0.0.1: datagrams to a Python receiver, the stream
// socket's port walk and options, connects to listeners the test holds, the send shutdown and the
// close, the system resolver; the error map and the answers the network rarely gives through the
// fake socket calls.
#include "net/socket/NetSocket.h"

#include "NetTestSupport.h"
#include "platform/HostResolve.h"
#include "tests/support/net/FakeSocketCalls.h"
#include "tests/support/net/LoopbackSockets.h"
#include "tests/support/net/TestPythonPeer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr u32 kLoopback = kTestLoopback;

CNetAddress Loopback(u16 port) {
    CNetAddress address;
    address.SetAddress(kLoopback);
    address.SetPort(port);
    return address;
}

CClassicBufferMemory* Bytes(u32 size, u32 position) {
    auto* buffer = new CClassicBufferMemory;
    for (u32 i = 0; i < size; ++i) {
        const u8 b = u8(i * 7 + 3);
        buffer->Write(&b, 1);
    }
    buffer->SetPosition(position);
    return buffer;
}

// The stream bind address is loopback for every test here.
class NetSocket : public ::testing::Test {
protected:
    void SetUp() override { m_Bind = platform::SetStreamBindAddress(kLoopback); }
    void TearDown() override { platform::SetStreamBindAddress(m_Bind); }

private:
    u32 m_Bind = 0;
};

TEST_F(NetSocket, ErrorMap) {
    using platform::SocketAnswer;
    using platform::SocketCall;
    struct Case {
        SocketCall Call;
        i64 Result;
        int Error;
        u64 Length;
        SocketAnswer Answer;
    };
    const Case cases[] = {
        {SocketCall::SendTo, 10, 0, 10, SocketAnswer::Done},
        {SocketCall::SendTo, 9, 0, 10, SocketAnswer::TryAgain},
        {SocketCall::SendTo, 0, 0, 0, SocketAnswer::TryAgain},
        {SocketCall::SendTo, 0, 0, 10, SocketAnswer::TryAgain},
        {SocketCall::SendTo, -1, EAGAIN, 10, SocketAnswer::TryAgain},
        {SocketCall::SendTo, -1, EWOULDBLOCK, 10, SocketAnswer::TryAgain},
        {SocketCall::SendTo, -1, EINTR, 10, SocketAnswer::Repeat},
        {SocketCall::SendTo, -1, EMSGSIZE, 70000, SocketAnswer::Failed},
        {SocketCall::SendTo, -1, EBADF, 10, SocketAnswer::Failed},
        {SocketCall::SendTo, -1, ENETUNREACH, 10, SocketAnswer::Failed},
        {SocketCall::Connect, 0, 0, 0, SocketAnswer::Done},
        {SocketCall::Connect, -1, EINPROGRESS, 0, SocketAnswer::Done},
        {SocketCall::Connect, -1, EINTR, 0, SocketAnswer::Done},
        {SocketCall::Connect, -1, ECONNREFUSED, 0, SocketAnswer::Failed},
        {SocketCall::Connect, -1, ENETUNREACH, 0, SocketAnswer::Failed},
        {SocketCall::Connect, -1, EBADF, 0, SocketAnswer::Failed},
        {SocketCall::Connect, -1, EAGAIN, 0, SocketAnswer::Failed},
        {SocketCall::Bind, 0, 0, 0, SocketAnswer::Done},
        {SocketCall::Bind, -1, EADDRINUSE, 0, SocketAnswer::InUse},
        {SocketCall::Bind, -1, EACCES, 0, SocketAnswer::Failed},
        {SocketCall::Bind, -1, EINVAL, 0, SocketAnswer::Failed},
        {SocketCall::Other, 0, 0, 0, SocketAnswer::Done},
        {SocketCall::Other, 7, 0, 0, SocketAnswer::Done},
        {SocketCall::Other, -1, EACCES, 0, SocketAnswer::Failed},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::MapSocketAnswer(c.Call, c.Result, c.Error, c.Length), c.Answer)
            << int(c.Call) << " " << c.Result << " " << c.Error;
}

// Every datagram reaches the Python receiver as the buffer's whole content, whatever its
// position; sizes past what a datagram holds and a missing socket throw.
TEST_F(NetSocket, SendToPythonReceiver) {
    CTestPythonPeer receiver("wirecheck.py");
    const u16 port = u16(std::stoi("0" + TestJsonField(receiver.ReadLine(), "port")));
    ASSERT_NE(port, 0);
    CNetUDP udp;
    udp.m_Socket = BoundLoopback(SOCK_DGRAM, 0);
    ASSERT_GE(udp.m_Socket, 0);

    struct Case {
        u32 Size;
        u32 Position;
        const char* Thrown; // "none" when it answers
        u32 Answer;
    };
    const Case cases[] = {
        {1, 0, "none", 0},
        {300, 0, "none", 0},
        {300, 120, "none", 0},
        {300, 300, "none", 0},
        {65507, 0, "none", 0},
        {65508, 0, "0 CNetUDP::SendTo", 0},
        {70000, 0, "0 CNetUDP::SendTo", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Size);
        std::unique_ptr<CClassicBufferMemory> data(Bytes(c.Size, c.Position));
        u32 answer = 99;
        EXPECT_EQ(Thrown([&] { answer = udp.SendTo(Loopback(port), *data); }), c.Thrown);
        if (std::string(c.Thrown) != "none")
            continue;
        EXPECT_EQ(answer, c.Answer);
        ASSERT_TRUE(receiver.WriteLine("{\"receive\": true}"));
        EXPECT_EQ(TestJsonField(receiver.ReadLine(), "datagram"), TestHex(data->GetData(), c.Size));
        EXPECT_EQ(data->GetPosition(), c.Position);
    }
    // Nothing sent: try again (Linux still delivers an empty datagram; only the answer counts).
    CClassicBufferMemory empty;
    EXPECT_EQ(udp.SendTo(Loopback(port), empty), CNetUDP::s_TryAgain);

    CNetUDP none;
    EXPECT_EQ(Thrown([&] { none.SendTo(Loopback(port), empty); }), "0 CNetUDP::SendTo");
    CloseSocket(udp);
    EXPECT_EQ(udp.m_Socket, -1);
}

TEST_F(NetSocket, SendToAnswersOfTheFake) {
    struct Case {
        const char* Name;
        std::vector<i64> Results; // one per call; -errno for a failure
        u32 Answer;               // 9: throws
    };
    const Case cases[] = {
        {"all bytes", {100}, 0},
        {"short count", {60}, 2},
        {"nothing sent", {0}, 2},
        {"would block", {-EAGAIN}, 2},
        {"interrupted, then sent", {-EINTR, 100}, 0},
        {"interrupted twice, then short", {-EINTR, -EINTR, 1}, 2},
        {"unreachable", {-ENETUNREACH}, 9},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CFakeSocketCalls fake;
        size_t call = 0;
        fake.SendTo = [&](int, const void*, size_t, const sockaddr_in& to) -> i64 {
            EXPECT_EQ(to.sin_family, AF_INET);
            EXPECT_EQ(ntohs(to.sin_port), 4321);
            EXPECT_EQ(ntohl(to.sin_addr.s_addr), 0x0A000102u);
            const i64 result = c.Results[std::min(call++, c.Results.size() - 1)];
            return result >= 0 ? result : CFakeSocketCalls::Fail(int(-result));
        };
        std::unique_ptr<CClassicBufferMemory> data(Bytes(100, 50));
        CNetAddress to;
        to.SetAddress(0x0A000102);
        to.SetPort(4321);
        CNetUDP udp;
        u32 answer = 9;
        const std::string thrown = Thrown([&] { answer = udp.SendTo(to, *data); });
        EXPECT_EQ(thrown, c.Answer == 9 ? "0 CNetUDP::SendTo" : "none");
        EXPECT_EQ(answer, c.Answer);
        EXPECT_EQ(fake.m_Counts.SendTo, c.Results.size());
    }
}

// The port walk from a port the test holds with its two neighbours, and the socket's options.
TEST_F(NetSocket, OpenWalksPastHeldPorts) {
    CHeld held[3];
    u16 first = 0;
    for (int attempt = 0; attempt < 20 && first == 0; ++attempt) {
        held[0].Reset(BoundLoopback(SOCK_STREAM, 0));
        const u16 port = LocalPort(held[0].Get());
        if (port > 65533)
            continue;
        held[1].Reset(BoundLoopback(SOCK_STREAM, u16(port + 1)));
        held[2].Reset(BoundLoopback(SOCK_STREAM, u16(port + 2)));
        if (held[1].Get() >= 0 && held[2].Get() >= 0)
            first = port;
    }
    ASSERT_NE(first, 0) << "no three free neighbouring ports";

    CNetTcpSocket socket;
    u16 port = first;
    ASSERT_TRUE(socket.Open(0, port));
    EXPECT_GT(port, first + 2);
    EXPECT_EQ(LocalPort(socket.m_Socket), port);

    linger lingerValue{};
    int debug = -1;
    socklen_t length = sizeof lingerValue;
    getsockopt(socket.m_Socket, SOL_SOCKET, SO_LINGER, &lingerValue, &length);
    EXPECT_EQ(lingerValue.l_onoff, 1);
    EXPECT_EQ(lingerValue.l_linger, 0);
    length = sizeof debug;
    getsockopt(socket.m_Socket, SOL_SOCKET, SO_DEBUG, &debug, &length);
    EXPECT_EQ(debug, 0);
    EXPECT_TRUE(fcntl(socket.m_Socket, F_GETFL) & O_NONBLOCK);
    EXPECT_TRUE(fcntl(socket.m_Socket, F_GETFD) & FD_CLOEXEC);
    CloseSocket(socket);
}

TEST_F(NetSocket, OpenOnPortZeroLetsTheSystemChoose) {
    CNetTcpSocket socket;
    u16 port = 0;
    ASSERT_TRUE(socket.Open(0, port));
    EXPECT_EQ(port, 0);
    EXPECT_NE(LocalPort(socket.m_Socket), 0);
    CloseSocket(socket);
}

TEST_F(NetSocket, OpenAnswersOfTheFake) {
    struct Case {
        const char* Name;
        u16 Port;
        int BindError;  // 0: the system binds
        bool AlsoZero;  // the bind error also for port 0 (else the system binds port 0)
        int DebugError; // SO_DEBUG's answer; 0: the system's
        bool Opened;
        u32 Binds;
        u16 PortAfter;
    };
    const Case cases[] = {
        {"taken up to the wrap", 65534, EADDRINUSE, false, 0, true, 3, 0},
        {"every port taken", 5000, EADDRINUSE, true, 0, false, 65536, 4999},
        {"bind refused", 5000, EACCES, false, 0, false, 1, 5000},
        {"debug refused", 0, 0, false, EACCES, false, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CFakeSocketCalls fake;
        const platform::SocketCalls& system = platform::SystemSocketCalls();
        fake.Bind = [&](int socket, const sockaddr_in& address) {
            if (c.BindError && (c.AlsoZero || address.sin_port != 0))
                return CFakeSocketCalls::Fail(c.BindError);
            return system.Bind(socket, address);
        };
        fake.SetOption = [&](int socket, int level, int name, const void* value, socklen_t size) {
            if (c.DebugError && name == SO_DEBUG)
                return CFakeSocketCalls::Fail(c.DebugError);
            return system.SetOption(socket, level, name, value, size);
        };
        CNetTcpSocket socket;
        u16 port = c.Port;
        EXPECT_EQ(socket.Open(0, port), c.Opened);
        EXPECT_EQ(fake.m_Counts.Bind, c.Binds);
        EXPECT_EQ(port, c.PortAfter);
        EXPECT_EQ(fake.m_BoundPorts.front(), c.Port);
        if (c.Binds == 3) {
            EXPECT_EQ(fake.m_BoundPorts, (std::vector<u16>{65534, 65535, 0}));
        }
        // A failed open leaves its socket open for its owner to close.
        ASSERT_GE(socket.m_Socket, 0);
        EXPECT_NE(fcntl(socket.m_Socket, F_GETFD), -1);
        EXPECT_EQ(fake.m_Counts.SetFlags, c.Opened ? 1u : 0u);
        const int number = socket.m_Socket;
        CloseSocket(socket);
        CloseSocket(socket);
        EXPECT_EQ(socket.m_Socket, -1);
        EXPECT_EQ(fake.m_ClosedSockets, std::vector<int>{number});
    }
}

// SO_DEBUG 1 needs CAP_NET_ADMIN: a child without it (setpriv drops it from a process that has
// it) cannot open with the flag and opens without it.
TEST_F(NetSocket, DebugFlagNeedsNetAdmin) {
    std::ifstream status("/proc/self/status");
    std::string line;
    u64 effective = 0;
    while (std::getline(status, line))
        if (line.rfind("CapEff:", 0) == 0)
            effective = std::stoull(line.substr(7), nullptr, 16);
    const bool hasNetAdmin = effective & (u64(1) << 12);
    std::string command =
        hasNetAdmin ? "setpriv --bounding-set=-net_admin --inh-caps=-net_admin " : "";
    command += NET_SOCKET_PROBE;
    int exitStatus = -1;
    EXPECT_EQ(RunCommand(command, &exitStatus), "debug 1: 0\ndebug 0: 1\n");
    EXPECT_EQ(exitStatus, 0);
}

TEST_F(NetSocket, ConnectShutdownAndResetAgainstAHeldListener) {
    CHeld listener(BoundLoopback(SOCK_STREAM, 0));
    ASSERT_EQ(listen(listener.Get(), 4), 0);
    const CNetAddress to = Loopback(LocalPort(listener.Get()));
    // Opens and connects `socket` without waiting; the listener accepts within the ceiling.
    auto connect = [&](CNetTcpSocket& socket, CHeld& accepted) {
        u16 port = 0;
        ASSERT_TRUE(socket.Open(0, port));
        const CNetTcpConnectedSocket connected = CNetTcpConnectedSocket::Connect(socket, to);
        EXPECT_EQ(connected.m_Socket, socket.m_Socket);
        ASSERT_TRUE(WaitFor(listener.Get(), POLLIN));
        accepted.Reset(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_GE(accepted.Get(), 0);
    };
    char byte = 0;

    // The send side shut down: the listener reads the end of the stream; the handle stays.
    CNetTcpSocket first;
    CHeld firstAccepted;
    connect(first, firstAccepted);
    CNetTcpConnectedSocket connected{first.m_Socket};
    connected.ShutdownSend();
    EXPECT_EQ(connected.m_Socket, first.m_Socket);
    ASSERT_TRUE(WaitFor(firstAccepted.Get(), POLLIN));
    EXPECT_EQ(recv(firstAccepted.Get(), &byte, 1, 0), 0);
    CloseSocket(first);

    // The close resets the connection at once (linger {1, 0}).
    CNetTcpSocket second;
    CHeld secondAccepted;
    connect(second, secondAccepted);
    CloseSocket(second);
    EXPECT_EQ(second.m_Socket, -1);
    ASSERT_TRUE(WaitFor(secondAccepted.Get(), POLLIN));
    errno = 0;
    EXPECT_EQ(recv(secondAccepted.Get(), &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);

    CNetTcpConnectedSocket none;
    none.ShutdownSend();
    CloseSocket(none);
    EXPECT_EQ(none.m_Socket, -1);
}

TEST_F(NetSocket, ConnectToAPortNobodyHolds) {
    CHeld probe(BoundLoopback(SOCK_STREAM, 0));
    const u16 free = LocalPort(probe.Get());
    probe.Reset();
    CNetTcpSocket socket;
    u16 port = 0;
    ASSERT_TRUE(socket.Open(0, port));
    // Loopback refuses at once or a moment later; both are right.
    try {
        CNetTcpConnectedSocket::Connect(socket, Loopback(free));
        ASSERT_TRUE(WaitFor(socket.m_Socket, POLLOUT));
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(socket.m_Socket, SOL_SOCKET, SO_ERROR, &error, &length);
        EXPECT_EQ(error, ECONNREFUSED);
    } catch (const CNetSystem::CNetSystemError& error) {
        EXPECT_EQ(error.Code, 0);
        EXPECT_STREQ(error.CallName.GetText(), "CNetTcpConnectedSocket::Connect");
    }
    CloseSocket(socket);
}

TEST_F(NetSocket, ConnectAnswersOfTheFake) {
    struct Case {
        int Error; // 0: the connect is made
        bool Throws;
    };
    const Case cases[] = {{0, false},           {EINPROGRESS, false}, {EINTR, false},
                          {ECONNREFUSED, true}, {ENETUNREACH, true},  {EBADF, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Error);
        CFakeSocketCalls fake;
        fake.Connect = [&](int socket, const sockaddr_in& address) {
            EXPECT_EQ(socket, 42);
            EXPECT_EQ(address.sin_family, AF_INET);
            EXPECT_EQ(ntohs(address.sin_port), 2350);
            EXPECT_EQ(ntohl(address.sin_addr.s_addr), 0x01020304u);
            for (u8 zero : address.sin_zero)
                EXPECT_EQ(zero, 0);
            return c.Error ? CFakeSocketCalls::Fail(c.Error) : 0;
        };
        CNetTcpSocket socket;
        socket.m_Socket = 42;
        CNetTcpConnectedSocket connected;
        const std::string thrown = Thrown([&] {
            connected = CNetTcpConnectedSocket::Connect(
                socket, CNetAddress::FromText(CClassicString("1.2.3.4:2350")));
        });
        EXPECT_EQ(thrown, c.Throws ? "0 CNetTcpConnectedSocket::Connect" : "none");
        EXPECT_EQ(connected.m_Socket, c.Throws ? -1 : 42);
    }
    // A real connect on no socket.
    CNetTcpSocket none;
    EXPECT_EQ(Thrown([&] { CNetTcpConnectedSocket::Connect(none, Loopback(9)); }),
              "0 CNetTcpConnectedSocket::Connect");
}

TEST_F(NetSocket, ErrorsCopyTheirText) {
    std::optional<CNetSystem::CNetSystemError> copy;
    {
        CNetSystem::CNetSystemError error(0, "CNetUDP::SendTo");
        copy.emplace(error);
        error.CallName.Assign(CClassicStringRef("changed"));
    }
    EXPECT_STREQ(copy->CallName.GetText(), "CNetUDP::SendTo");
}

// The system resolver gives localhost as getent lists it: 127.0.0.1, once.
TEST_F(NetSocket, ResolveLocalhostThroughTheSystem) {
    const platform::HostResolver previous = platform::SetHostResolver(nullptr);
    CFastBuffer<CNetAddress> found;
    EXPECT_TRUE(ResolveHostName(CClassicString("localhost"), found));
    platform::SetHostResolver(previous);

    std::istringstream listed(RunCommand("getent ahostsv4 localhost"));
    std::vector<std::string> expected;
    for (std::string line; std::getline(listed, line);) {
        const std::string address = line.substr(0, line.find(' '));
        if (std::find(expected.begin(), expected.end(), address) == expected.end())
            expected.push_back(address);
    }
    std::vector<std::string> got;
    for (u32 i = 0; i < found.m_Count; ++i) {
        CClassicString text;
        found.m_Items[i].ToText(text, true);
        got.push_back(text.GetText());
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(got, std::vector<std::string>{"127.0.0.1"});
    found.FreeItems();
}

} // namespace
