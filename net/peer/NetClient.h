#pragma once
// CNetClient: the owner of an engine's links to its peers. It makes connections
// (CreateConnection), starts their connects without waiting (Connect) and drops them
// (Disconnect), and is told through two virtual operations when a connection fails or closes.
//
// No code of the engine makes a client: a host derives from it and constructs it with the link
// settings, the local stream port and its datagram socket (which connections may share and never
// close). The connection list holds one reference on each connection; the client closes every
// listed connection when it goes.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"
#include "net/http/NetRateMeter.h"
#include "net/socket/NetLinkSettings.h"
#include "platform/net/Socket.h"

class CNetConnection;
class CNetNod;

class CNetClient : public CMwNod {
    MW_DECLARE_CLASS(CNetClient, CMwNod, 0x1200D000)
public:
    // The text a failure carries when the caller gives none.
    static constexpr const char* s_Unreachable = "Server is unreachable.";
    // Slots of the send meter at the start.
    static constexpr u32 s_SendMeterSlots = 16;

    struct SLinkStatistics {
        f32 m_Quality = 0;
        u32 m_Values[4] = {};
    };
    struct SLinkStatus {
        u32 m_Values[3] = {};
    };

    CNetClient(const CNetClient&) = delete;
    CNetClient& operator=(const CNetClient&) = delete;
    // Closes each listed connection, cuts it from the client and releases it.
    ~CNetClient() override;

    // Makes a connection to the peer (the connection takes a reference on the peer info), lists
    // it with one reference, stores the name and the creator's values (the option byte only with
    // a data pointer), shares the datagram socket when the settings say so, and connects it.
    CNetConnection* CreateConnection(CNetNod* peerInfo, CClassicStringRef name, void* data,
                                     void* pointer, u32 word3, u32 word4, u8 option);
    // Starts the connect of the connection (null: the current one) in state 0, 1 or 2: 1 when it
    // started, 0 otherwise. A stream socket that cannot be opened disconnects it (notified, no
    // message) and answers 0; a CNetSystemError of the connect passes to the caller. The local
    // port moves up past ports that are taken, and stays moved for the next connection.
    u32 Connect(CNetConnection* connection);
    // Drops the connection (null: the current one). While disconnections are deferred, an
    // unforced call only sets its disconnect-requested flag. Otherwise it is closed, then
    // OnConnectionClosed when it was ready, or OnConnectionFailed (the message, or
    // "Server is unreachable." for null) when it was in progress and notify is set; the current
    // connection is cleared when it was this one. The connection stays listed.
    void Disconnect(CNetConnection* connection, u32 notify, const char* message, u32 forced);

    // Told after Disconnect; nothing in the base.
    virtual void OnConnectionFailed(CNetConnection* connection, const char* message);
    virtual void OnConnectionClosed(CNetConnection* connection);

    const CNetLinkSettings* GetSettings() const { return m_Settings; }
    NetRateMeter& GetSendMeter() { return m_SendMeter; }
    const CFastBuffer<CNetConnection*>& GetConnections() const { return m_Connections; }

    // The next stream socket binds here (or above, when taken).
    u16 m_LocalPort;
    // Counts the bytes the connections send.
    NetRateMeter m_SendMeter;
    // Not owned.
    const CNetLinkSettings* m_Settings;
    // The host's; shared with connections when the settings say so, never closed here.
    platform::SocketHandle m_DatagramSocket;
    CFastBuffer<CNetConnection*> m_Connections;
    CNetConnection* m_CurrentConnection = nullptr;
    // Cleared with the current connection.
    u32 m_CurrentWord = 0;
    // Reset when a connect starts: quality 1.0 and zeros, status {1, 0, 0}.
    SLinkStatistics m_LinkStatistics;
    SLinkStatus m_Status;
    u32 m_DeferDisconnections = 0;
    // Copied by the file transfer into the peer descriptions it builds (texts 2 and 3).
    CClassicString m_InfoText2;
    CClassicString m_InfoText3;

protected:
    // The settings must outlive the client.
    CNetClient(const CNetLinkSettings* settings, u16 localPort,
               platform::SocketHandle datagramSocket);
};
