#include "net/socket/NetSocket.h"

namespace {

platform::SocketAddress ToSocketAddress(const CNetAddress& address) {
    platform::SocketAddress out;
    std::memcpy(out.Address, address.m_Address, sizeof out.Address);
    std::memcpy(out.Port, address.m_Port, sizeof out.Port);
    return out;
}

void CloseHandle(platform::SocketHandle& socket) {
    if (socket != platform::kNoSocket)
        platform::CloseSocketHandle(socket);
    socket = platform::kNoSocket;
}

} // namespace

u32 CNetUDP::SendTo(const CNetAddress& to, const CClassicBufferMemory& data) {
    switch (platform::SendDatagram(m_Socket, ToSocketAddress(to), data.GetData(), data.GetSize())) {
        case platform::SocketAnswer::Done:
            return s_Sent;
        case platform::SocketAnswer::TryAgain:
            return s_TryAgain;
        default:
            throw CNetSystem::CNetSystemError(0, "CNetUDP::SendTo");
    }
}

bool CNetTcpSocket::Open(i32 debug, u16& port) {
    m_Socket = platform::CreateStreamSocket();
    if (m_Socket == platform::kNoSocket)
        return false;
    for (u32 attempt = 1;; ++attempt) {
        const platform::SocketAnswer answer = platform::BindStreamSocket(m_Socket, port);
        if (answer == platform::SocketAnswer::Done)
            break;
        if (answer != platform::SocketAnswer::InUse || attempt == s_MaxBindAttempts)
            return false;
        port = u16(port + 1);
    }
    return platform::ConfigureStreamSocket(m_Socket, debug);
}

CNetTcpConnectedSocket CNetTcpConnectedSocket::Connect(const CNetTcpSocket& socket,
                                                       const CNetAddress& to) {
    if (!platform::ConnectSocket(socket.m_Socket, ToSocketAddress(to)))
        throw CNetSystem::CNetSystemError(0, "CNetTcpConnectedSocket::Connect");
    CNetTcpConnectedSocket connected;
    connected.m_Socket = socket.m_Socket;
    return connected;
}

void CNetTcpConnectedSocket::ShutdownSend() {
    if (m_Socket != platform::kNoSocket)
        platform::ShutdownSocketSend(m_Socket);
}

void CloseSocket(CNetUDP& socket) {
    CloseHandle(socket.m_Socket);
}

void CloseSocket(CNetTcpSocket& socket) {
    CloseHandle(socket.m_Socket);
}

void CloseSocket(CNetTcpConnectedSocket& socket) {
    CloseHandle(socket.m_Socket);
}
