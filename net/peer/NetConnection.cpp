#include "net/peer/NetConnection.h"

#include "net/message/NetForms.h"
#include "net/message/NetNod.h"
#include "net/peer/NetClient.h"

#include <cstring>
#include <memory>

MW_DEFINE_CLASS(CNetConnection, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

CNetConnection::CNetConnection(CNetClient* client, CNetNod* peerInfo)
    : m_Client(client), m_PeerInfo(peerInfo) {
    if (m_PeerInfo)
        m_PeerInfo->AddRef();
    m_Queue.Reserve(s_QueueCapacity);
    const CNetLinkSettings* settings = GetSettings();
    if (settings && settings->m_NoSpareBuffer == 0)
        m_SpareBuffer = new CClassicBufferMemory;
    m_DatagramBuffer = new CClassicBufferMemory;
}

CNetConnection::~CNetConnection() {
    if (GetStateClass() != s_ClassClosed)
        Close();
    if (m_State != s_StateSocketsClosed)
        CloseSockets();
    if (m_PeerInfo)
        m_PeerInfo->Release();
    delete m_DatagramBuffer;
    delete m_SpareBuffer;
    for (u32 i = 0; i < m_Queue.m_Count; ++i)
        delete m_Queue[i].m_Buffer;
    m_Queue.m_Count = 0;
    m_Queue.FreeItems();
}

u32 CNetConnection::GetStateClass() const {
    if (!m_Client)
        return s_ClassClosed;
    switch (m_State) {
        case 0:
        case 2:
        case 4:
        case 8:
        case 16:
        case 128:
            return s_ClassInProgress;
        case 32:
        case 64:
            return s_ClassReady;
        default:
            return s_ClassClosed;
    }
}

const CNetLinkSettings* CNetConnection::GetSettings() const {
    return m_Client ? m_Client->GetSettings() : nullptr;
}

CNetAddress CNetConnection::GetStreamAddress() const {
    if (m_PeerInfo && m_PeerInfo->IsKindOf(CNetServerInfo::s_ClassId))
        return static_cast<const CNetServerInfo*>(m_PeerInfo)->m_StreamAddress;
    return CNetAddress();
}

CNetAddress CNetConnection::GetDatagramAddress() const {
    if (m_PeerInfo && m_PeerInfo->IsKindOf(CNetServerInfo::s_ClassId))
        return static_cast<const CNetServerInfo*>(m_PeerInfo)->m_DatagramAddress;
    return CNetAddress();
}

void CNetConnection::SendForm(CNetNod& form, CNetSendCallback callback) {
    if (GetStateClass() == s_ClassClosed)
        return;
    const CNetLinkSettings& settings = *GetSettings();
    if (form.NeedsQueue() == 0 &&
        (form.IsKindOf(CNetFormConnectionAdmin::s_ClassId) || m_AlwaysDatagram != 0)) {
        m_DatagramBuffer->Clear();
        form.Write(*m_DatagramBuffer, settings, m_DatagramSequence);
        SendDatagram(*m_DatagramBuffer, callback);
        return;
    }
    // The frame is written into one scratch stream and copied into a buffer of its exact size:
    // one allocation per form instead of one per doubling of a stream that starts empty.
    static std::unique_ptr<CClassicBufferMemory> s_Scratch;
    if (!s_Scratch)
        s_Scratch = std::make_unique<CClassicBufferMemory>();
    CClassicBufferMemory& scratch = *s_Scratch;
    scratch.Clear();
    const u8 zeros[4] = {};
    scratch.Write(zeros, 4);
    form.Write(scratch, settings, m_StreamSequence);
    const u32 size = scratch.GetSize();
    u8* frame = scratch.GetData();
    const u32 length = size - 4;
    frame[0] = u8(length);
    frame[1] = u8(length >> 8);
    frame[2] = u8(length >> 16);
    frame[3] = u8(length >> 24);
    auto buffer = std::make_unique<CClassicBufferMemory>();
    buffer->Reserve(size);
    buffer->Write(frame, size);
    // A large frame does not keep its room for the rest of the run.
    if (scratch.GetCapacity() > s_ScratchKept)
        s_Scratch.reset();
    Enqueue(buffer.release(), form.GetQueuePriority(), callback);
}

void CNetConnection::SendDatagram(const CClassicBufferMemory& buffer, CNetSendCallback callback) {
    m_DatagramBlocked =
        m_DatagramSocket.SendTo(GetDatagramAddress(), buffer) == CNetUDP::s_TryAgain;
    CountSent(buffer.GetSize(), callback);
}

void CNetConnection::CountSent(u32 bytes, CNetSendCallback callback) {
    if (m_Client)
        m_Client->GetSendMeter().AddSample(bytes);
    if (callback)
        callback(bytes);
}

void CNetConnection::Enqueue(CClassicBufferMemory* buffer, u32 priority,
                             CNetSendCallback callback) {
    buffer->Rewind();
    const u32 count = m_Queue.m_Count;
    u32 chosen = count;
    for (u32 i = 0; i < count; ++i) {
        u32& counter = m_Queue[i].m_Counter;
        if (counter > 0)
            --counter;
        if (chosen == count && counter > priority)
            chosen = i;
    }
    // The head may be partly sent: nothing goes before it.
    if (chosen == 0)
        chosen = 1;
    if (chosen > count)
        chosen = count;
    m_Queue.Reserve(count + 1);
    SQueueEntry* items = m_Queue.m_Items;
    if (chosen < count)
        std::memmove(static_cast<void*>(items + chosen + 1), items + chosen,
                     (count - chosen) * sizeof(SQueueEntry));
    items[chosen] = SQueueEntry{buffer, priority, callback};
    ++m_Queue.m_Count;
}

void CNetConnection::Close() {
    if (m_State == s_StateConnecting) {
        CloseSockets();
        return;
    }
    m_State = s_StateSendShutdown;
    m_ConnectedSocket.ShutdownSend();
}

void CNetConnection::CloseSockets() {
    m_State = s_StateSocketsClosed;
    CloseSocket(m_OpenedSocket);
    // The connected socket is the same descriptor: once closed, its number may name another
    // socket at once, which a later shutdown must not reach.
    m_ConnectedSocket.m_Socket = platform::kNoSocket;
    m_TransferCounters[0] = 0;
    m_TransferCounters[1] = 0;
}
