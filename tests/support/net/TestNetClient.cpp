#include "tests/support/net/TestNetClient.h"

#include "net/http/NetHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

CTestNetClient::~CTestNetClient() {
    if (m_OwnsDatagramSocket)
        close(m_DatagramSocket);
}

bool CTestNetClient::OpenDatagramSocket() {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return false;
    }
    if (m_OwnsDatagramSocket)
        close(m_DatagramSocket);
    m_DatagramSocket = fd;
    m_OwnsDatagramSocket = true;
    return true;
}

void CTestNetClient::OnConnectionFailed(CNetConnection* connection, const char* message) {
    m_Notifications.push_back({Kind::Failed, connection, message ? message : "(null)"});
}

void CTestNetClient::OnConnectionClosed(CNetConnection* connection) {
    m_Notifications.push_back({Kind::Closed, connection, {}});
}

CTestDataServer::CTestDataServer() {
    m_HttpDownloadClient = new CNetHttpClient;
    m_HttpDownloadClient->AddRef();
}

CTestDataServer::~CTestDataServer() {
    // The request goes before its client.
    SetCurrentRequest(nullptr);
    m_HttpDownloadClient->Release();
}
