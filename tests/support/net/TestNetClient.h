#pragma once
// The hosts that the engine leaves to its users, for the net tests: a client that records what
// it is told, and a data server with its own HTTP client (which runs over whatever transport the
// test installed, the scripted one in unit tests).
#include "net/peer/NetClient.h"
#include "net/peer/NetDataServer.h"

#include <string>
#include <vector>

class CTestNetClient : public CNetClient {
public:
    enum class Kind { Failed, Closed };
    struct SNotification {
        Kind m_Kind;
        CNetConnection* m_Connection;
        std::string m_Message; // Failed only
    };

    CTestNetClient(const CNetLinkSettings* settings, u16 localPort,
                   platform::SocketHandle datagramSocket = platform::kNoSocket)
        : CNetClient(settings, localPort, datagramSocket) {}
    // Closes the datagram socket it opened.
    ~CTestNetClient() override;

    // Opens a datagram socket on 127.0.0.1 (a port the system chooses) as the client's own;
    // false when the system refuses.
    bool OpenDatagramSocket();

    void OnConnectionFailed(CNetConnection* connection, const char* message) override;
    void OnConnectionClosed(CNetConnection* connection) override;

    std::vector<SNotification> m_Notifications;

private:
    bool m_OwnsDatagramSocket = false;
};

class CTestDataServer : public CNetDataServer {
public:
    // Makes its HTTP client, closed.
    CTestDataServer();
    // Releases the HTTP client.
    ~CTestDataServer() override;
};
