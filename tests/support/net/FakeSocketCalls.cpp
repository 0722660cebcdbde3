#include "tests/support/net/FakeSocketCalls.h"

#include <arpa/inet.h>
#include <cassert>
#include <cerrno>

namespace {

CFakeSocketCalls* s_Fake = nullptr;

const platform::SocketCalls& System() {
    return platform::SystemSocketCalls();
}

int FakeSocket(int domain, int type, int protocol) {
    ++s_Fake->m_Counts.Socket;
    return System().Socket(domain, type, protocol);
}

int FakeBind(int socket, const sockaddr_in& address) {
    ++s_Fake->m_Counts.Bind;
    s_Fake->m_BoundPorts.push_back(ntohs(address.sin_port));
    return s_Fake->Bind ? s_Fake->Bind(socket, address) : System().Bind(socket, address);
}

int FakeSetOption(int socket, int level, int name, const void* value, socklen_t length) {
    ++s_Fake->m_Counts.SetOption;
    return s_Fake->SetOption ? s_Fake->SetOption(socket, level, name, value, length)
                             : System().SetOption(socket, level, name, value, length);
}

int FakeGetFlags(int socket) {
    ++s_Fake->m_Counts.GetFlags;
    return System().GetFlags(socket);
}

int FakeSetFlags(int socket, int flags) {
    ++s_Fake->m_Counts.SetFlags;
    return System().SetFlags(socket, flags);
}

int FakeConnect(int socket, const sockaddr_in& address) {
    ++s_Fake->m_Counts.Connect;
    return s_Fake->Connect ? s_Fake->Connect(socket, address) : System().Connect(socket, address);
}

i64 FakeSendTo(int socket, const void* data, size_t length, int flags, const sockaddr_in& to) {
    ++s_Fake->m_Counts.SendTo;
    return s_Fake->SendTo ? s_Fake->SendTo(socket, data, length, to)
                          : System().SendTo(socket, data, length, flags, to);
}

int FakeShutdown(int socket, int how) {
    ++s_Fake->m_Counts.Shutdown;
    s_Fake->m_ShutdownSockets.push_back(socket);
    return System().Shutdown(socket, how);
}

int FakeClose(int socket) {
    ++s_Fake->m_Counts.Close;
    s_Fake->m_ClosedSockets.push_back(socket);
    return System().Close(socket);
}

constinit const platform::SocketCalls s_FakeCalls = {
    FakeSocket,  FakeBind,   FakeSetOption, FakeGetFlags, FakeSetFlags,
    FakeConnect, FakeSendTo, FakeShutdown,  FakeClose,
};

} // namespace

CFakeSocketCalls::CFakeSocketCalls() {
    assert(!s_Fake);
    s_Fake = this;
    m_Replaced = platform::SetSocketCalls(&s_FakeCalls);
}

CFakeSocketCalls::~CFakeSocketCalls() {
    platform::SetSocketCalls(m_Replaced);
    s_Fake = nullptr;
}

int CFakeSocketCalls::Fail(int error) {
    errno = error;
    return -1;
}
