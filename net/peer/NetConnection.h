#pragma once
// CNetConnection: one link from this engine to a peer. It owns a stream socket that it opens and
// connects without waiting, may send on its client's datagram socket, and sends each form one of
// two ways: a form that needs no queue goes out at once as one datagram (connection-admin forms,
// or every such form once the always-datagram flag is set); every other form is framed into a
// memory buffer of its own behind a u32 length prefix and joins the send queue, which orders by
// priority with ageing (Enqueue).
//
// This is the sending half only: nothing here reads the sockets or drains the queue. The
// receive side moves the state through its later values (4, 8, 16, 32, 64, 128) by setting
// m_State; callers test the state's class (GetStateClass).
//
// Only CNetClient::CreateConnection makes a connection. The client's list holds one reference;
// once the client is gone the connection is closed and drops whatever it is given.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"
#include "net/socket/NetAddress.h"
#include "net/socket/NetLinkSettings.h"
#include "net/socket/NetSocket.h"

class CNetClient;
class CNetNod;

// Called after a form was counted as sent, with its byte count. A plain function and its
// object, copied with each queued entry; null (no function) for none.
struct CNetSendCallback {
    using Method = void (*)(void* object, u32 bytes);

    void* m_Object = nullptr;
    Method m_Method = nullptr;

    explicit operator bool() const { return m_Method != nullptr; }
    void operator()(u32 bytes) const { m_Method(m_Object, bytes); }
};

class CNetConnection : public CMwNod {
    MW_DECLARE_CLASS(CNetConnection, CMwNod, 0x1200F000)
    friend class CNetClient;

public:
    // State values.
    static constexpr u32 s_StateCreated = 0;
    static constexpr u32 s_StateSocketsClosed = 1;
    static constexpr u32 s_StateConnecting = 2;
    static constexpr u32 s_StateSendShutdown = 256;
    // State classes.
    static constexpr u32 s_ClassInProgress = 0;
    static constexpr u32 s_ClassReady = 1;
    static constexpr u32 s_ClassClosed = 2;

    static constexpr u32 s_QueueCapacity = 16;
    // The room that the frame scratch keeps between forms.
    static constexpr u32 s_ScratchKept = 64 * 1024;

    // One framed form waiting in the send queue: the buffer (owned, its position where sending
    // goes on), its ageing counter (the priority it came with, lowered by each later insertion)
    // and its callback.
    struct SQueueEntry {
        CClassicBufferMemory* m_Buffer;
        u32 m_Counter;
        CNetSendCallback m_Callback;
    };

    CNetConnection(const CNetConnection&) = delete;
    CNetConnection& operator=(const CNetConnection&) = delete;
    // Closes what is still open, gives back the peer info and frees every buffer.
    ~CNetConnection() override;

    // 0 in progress (0, 2, 4, 8, 16, 128), 1 ready (32, 64), 2 closed (1, 256, any other value,
    // and any connection whose client is gone).
    u32 GetStateClass() const;
    // The client's link settings; null once the client is gone.
    const CNetLinkSettings* GetSettings() const;
    // The peer's addresses: a CNetServerInfo's local stream and datagram addresses, 0.0.0.0:0
    // for a peer info of any other class.
    CNetAddress GetStreamAddress() const;
    CNetAddress GetDatagramAddress() const;

    // Sends one form as described above; on a closed connection the form is dropped. A
    // CNetSystemError of the datagram send passes to the caller, and so does an exception of
    // the form's body (nothing is sent or queued then).
    void SendForm(CNetNod& form, CNetSendCallback callback = {});
    // Sends the buffer whole on the datagram socket to the peer's datagram address; the blocked
    // flag tells whether the system took it. Counted whatever the answer; a CNetSystemError
    // passes to the caller uncounted.
    void SendDatagram(const CClassicBufferMemory& buffer, CNetSendCallback callback);
    // Adds the count to the client's send meter, then calls the callback with it.
    void CountSent(u32 bytes, CNetSendCallback callback);
    // Takes the buffer into the queue, rewound. Walking from the head, every counter above 0 is
    // lowered by one and the first entry whose lowered counter is above the priority (unsigned)
    // is where the buffer goes, never before the head (which may be partly sent); with no such
    // entry it goes last.
    void Enqueue(CClassicBufferMemory* buffer, u32 priority, CNetSendCallback callback);

    // A connect in progress closes the sockets at once; any other state shuts the send side
    // down (state 256) and waits for the peer.
    void Close();
    // State 1, the stream socket closed, the transfer counters 0.
    void CloseSockets();

    CClassicString& GetName() { return m_Name; }
    CNetClient* GetClient() const { return m_Client; }
    CNetNod* GetPeerInfo() const { return m_PeerInfo; }
    const CFastBuffer<SQueueEntry>& GetQueue() const { return m_Queue; }

    // A copy of the client's datagram socket when the settings share it (never closed here).
    CNetUDP m_DatagramSocket;
    // The opened socket's descriptor once its connect started.
    CNetTcpConnectedSocket m_ConnectedSocket;
    // Owned.
    CNetTcpSocket m_OpenedSocket;
    u32 m_State = s_StateCreated;
    CClassicString m_Name;
    // 1 when the last datagram could not be sent at once.
    u32 m_DatagramBlocked = 0;
    u32 m_Reserved1 = 0;
    // The receive side's; the last three are cleared when a connect starts.
    u32 m_LinkCounters[5] = {};
    // Kept only when a data pointer was given.
    u8 m_Option = 0;
    CFastBuffer<SQueueEntry> m_Queue;
    // Owned; made when the settings' no-spare-buffer word is 0.
    CClassicBufferMemory* m_SpareBuffer = nullptr;
    // The receive side's.
    CClassicBufferMemory m_ReceiveBuffer;
    // Owned; every datagram form is written into it.
    CClassicBufferMemory* m_DatagramBuffer = nullptr;
    u32 m_Reserved2 = 0;
    // Cleared whenever the sockets close.
    u32 m_TransferCounters[2] = {};
    u32 m_InitialOne = 1;
    // The creator's values, stored, not interpreted.
    void* m_UserData = nullptr;
    void* m_UserPointer = nullptr;
    u32 m_UserWord3 = 0;
    u32 m_UserWord4 = 0;
    // Set: every form that needs no queue goes as a datagram, not only admin forms.
    u32 m_AlwaysDatagram = 0;
    u32 m_Reserved3 = 0;
    // Set by CNetClient::Disconnect instead of disconnecting while the client defers.
    u32 m_DisconnectRequested = 0;
    // Always 1: the settings, the meter and the datagram address are the client's and the peer
    // info's (connections of another kind of owner do not exist here).
    u32 m_ClientOwned = 1;

private:
    // The connection holds a reference on the peer info; the client holds none.
    CNetConnection(CNetClient* client, CNetNod* peerInfo);

    CNetClient* m_Client;
    CNetNod* m_PeerInfo;

public:
    // The frame writer's sequence counters, and four words of the receive side.
    u32 m_DatagramSequence = 0;
    u32 m_StreamSequence = 0;
    u32 m_LinkWords[4] = {};
};
