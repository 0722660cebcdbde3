#include "net/peer/NetClient.h"

#include "net/message/NetNod.h"
#include "net/peer/NetConnection.h"

MW_DEFINE_CLASS(CNetClient, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

CNetClient::CNetClient(const CNetLinkSettings* settings, u16 localPort,
                       platform::SocketHandle datagramSocket)
    : m_LocalPort(localPort), m_SendMeter(s_SendMeterSlots), m_Settings(settings),
      m_DatagramSocket(datagramSocket) {}

CNetClient::~CNetClient() {
    for (u32 i = 0; i < m_Connections.m_Count; ++i) {
        CNetConnection* connection = m_Connections[i];
        if (connection->GetStateClass() != CNetConnection::s_ClassClosed)
            connection->Close();
        connection->m_Client = nullptr;
        connection->Release();
    }
    m_Connections.m_Count = 0;
    m_Connections.FreeItems();
}

CNetConnection* CNetClient::CreateConnection(CNetNod* peerInfo, CClassicStringRef name, void* data,
                                             void* pointer, u32 word3, u32 word4, u8 option) {
    auto* connection = new CNetConnection(this, peerInfo);
    connection->AddRef();
    m_Connections.Add(connection);
    connection->m_Name = CClassicString(name);
    connection->m_UserData = data;
    connection->m_UserPointer = pointer;
    connection->m_UserWord3 = word3;
    connection->m_UserWord4 = word4;
    connection->m_Option = data ? option : 0;
    if (m_Settings->m_ShareDatagramSocket)
        connection->m_DatagramSocket.m_Socket = m_DatagramSocket;
    Connect(connection);
    return connection;
}

u32 CNetClient::Connect(CNetConnection* connection) {
    if (!connection)
        connection = m_CurrentConnection;
    if (!connection || connection->m_State > CNetConnection::s_StateConnecting)
        return 0;
    // A connect in progress gives way to the new one: its socket is closed, not left behind.
    if (connection->m_State == CNetConnection::s_StateConnecting) {
        CloseSocket(connection->m_OpenedSocket);
        connection->m_ConnectedSocket.m_Socket = platform::kNoSocket;
    }
    if (!connection->m_OpenedSocket.Open(m_Settings->m_SoDebug, m_LocalPort)) {
        Disconnect(connection, 1, nullptr, 0);
        return 0;
    }
    connection->m_ConnectedSocket =
        CNetTcpConnectedSocket::Connect(connection->m_OpenedSocket, connection->GetStreamAddress());
    connection->m_State = CNetConnection::s_StateConnecting;
    connection->m_LinkCounters[2] = 0;
    connection->m_LinkCounters[3] = 0;
    connection->m_LinkCounters[4] = 0;
    m_LinkStatistics = SLinkStatistics{1.0f, {}};
    m_Status = SLinkStatus{{1, 0, 0}};
    return 1;
}

void CNetClient::Disconnect(CNetConnection* connection, u32 notify, const char* message,
                            u32 forced) {
    if (!connection)
        connection = m_CurrentConnection;
    if (m_DeferDisconnections && !forced) {
        if (connection)
            connection->m_DisconnectRequested = 1;
        return;
    }
    const u32 stateClass =
        connection ? connection->GetStateClass() : u32(CNetConnection::s_ClassClosed);
    if (connection)
        connection->Close();
    if (stateClass == CNetConnection::s_ClassReady)
        OnConnectionClosed(connection);
    else if (stateClass != CNetConnection::s_ClassClosed && notify)
        OnConnectionFailed(connection, message ? message : s_Unreachable);
    if (connection && connection == m_CurrentConnection) {
        m_CurrentConnection = nullptr;
        m_CurrentWord = 0;
    }
}

void CNetClient::OnConnectionFailed(CNetConnection*, const char*) {}

void CNetClient::OnConnectionClosed(CNetConnection*) {}
