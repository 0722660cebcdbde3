// The sending half of a peer connection against plain code doing the same work, in alternating
// rounds (see BenchPair.h):
//   StreamRoad      CNetConnection::SendForm of transfer forms (512 data bytes at priority 32,
//                   then a kind-9 form at priority 0) framed behind their length prefix into the
//                   ageing send queue, the queue emptied every 64 forms; the peer writes the same
//                   bytes with memcpy into a fresh std::vector and inserts it by the same walk
//                   into a std::vector of entries.
//   DatagramRoad    SendForm of an admin form (command 2) to a loopback receiver; the peer sends
//                   the same header and body as two iovecs with writev on a connected datagram
//                   socket. Both receivers are drained every 256 sends.
//   Enqueue/n       CNetConnection::Enqueue alone into a queue of n entries (the head taken off
//                   after each, to keep the length) against the same walk over a std::vector.
// Each pair is checked to produce the same bytes (or the same order) before it is timed.
#include "BenchPair.h"
#include "net/message/NetForms.h"
#include "net/peer/NetClient.h"
#include "net/peer/NetConnection.h"
#include "platform/Endian.h"
#include "tests/support/net/LoopbackSockets.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr u32 kLoopback = kTestLoopback;
constexpr u32 kDataBytes = 512;
constexpr u32 kDrainEvery = 64;
constexpr u8 kTransferIndex = 5;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "net_send_bench: %s\n", what);
        std::abort();
    }
}

int LoopbackSocket(int type, bool listening) {
    const int fd = BoundLoopback(type, 0, listening);
    Check(fd >= 0, "no loopback socket");
    return fd;
}

class CBenchClient : public CNetClient {
public:
    CBenchClient(const CNetLinkSettings* settings, platform::SocketHandle datagram)
        : CNetClient(settings, 0, datagram) {}
};

// A client and one ready connection to a loopback listener; the datagram address is the
// receiver's when one is given.
struct CLink {
    explicit CLink(i32 framing, platform::SocketHandle datagram = platform::kNoSocket,
                   u16 receiverPort = 0) {
        m_Record = {CNetFileTransferForm::s_ClassId, kTransferIndex, 0, 0, 0, 0};
        m_Records[0] = m_Record;
        m_Records[1] = {CNetFormConnectionAdmin::s_ClassId, 1, 0, 0, 0, 0};
        m_Settings.m_ShareDatagramSocket = 1;
        m_Settings.m_NoSpareBuffer = 1;
        m_Settings.m_FramingMode = framing;
        m_Settings.m_Classes = m_Records;
        m_Settings.m_ClassCount = 2;
        platform::SetStreamBindAddress(kLoopback);
        m_Listener = LoopbackSocket(SOCK_STREAM, true);
        m_Info = new CNetServerInfo;
        m_Info->AddRef();
        m_Info->m_StreamAddress.SetAddress(kLoopback);
        m_Info->m_StreamAddress.SetPort(LocalPort(m_Listener));
        m_Info->m_DatagramAddress.SetAddress(kLoopback);
        m_Info->m_DatagramAddress.SetPort(receiverPort);
        m_Client = new CBenchClient(&m_Settings, datagram);
        m_Client->AddRef();
        m_Connection =
            m_Client->CreateConnection(m_Info, CClassicString(), nullptr, nullptr, 0, 1, 0);
        m_Connection->m_State = 32;
    }
    ~CLink() {
        Empty();
        m_Client->Release();
        m_Info->Release();
        close(m_Listener);
    }
    // Head first, buffers freed.
    void Empty() {
        auto& queue = m_Connection->m_Queue;
        for (u32 i = 0; i < queue.m_Count; ++i)
            delete queue[i].m_Buffer;
        queue.m_Count = 0;
    }

    CNetClassLink m_Record;
    CNetClassLink m_Records[2];
    CNetLinkSettings m_Settings;
    int m_Listener;
    CNetServerInfo* m_Info;
    CBenchClient* m_Client;
    CNetConnection* m_Connection;
};

// ---------------------------------------------------------------------------------------------
// Stream road

// The same entry as the connection's: the bytes, the counter and the callback.
struct SPlainEntry {
    std::vector<u8> m_Bytes;
    u32 m_Counter;
    CNetSendCallback m_Callback;
};

// The walk of the send queue over a std::vector.
template <class Entry>
void PlainInsert(std::vector<Entry>& queue, Entry&& entry, u32 priority) {
    size_t chosen = queue.size();
    for (size_t i = 0; i < queue.size(); ++i) {
        u32& counter = queue[i].m_Counter;
        if (counter > 0)
            --counter;
        if (chosen == queue.size() && counter > priority)
            chosen = i;
    }
    if (chosen == 0)
        chosen = 1;
    if (chosen < queue.size())
        queue.insert(queue.begin() + std::ptrdiff_t(chosen), std::move(entry));
    else
        queue.push_back(std::move(entry));
}

// Writes the framed transfer form of kind 6 (with the data) or 9 as the stream road does.
struct CPlainStream {
    CPlainStream(i32 framing, const std::vector<u8>& data) : m_Framing(framing), m_Data(data) {}

    void Send(u32 kind) {
        const bool withData = kind == 6;
        const u32 body = withData ? 4 + 4 + 2 + 2 + 4 + 4 + kDataBytes : 4 + 4 + 2 + 2;
        const u32 header = m_Framing == CNetLinkSettings::s_FramingCompact ? 2 : 8;
        std::vector<u8> bytes(4 + header + body);
        u8* out = bytes.data();
        platform::StoreU32Le(out, header + body);
        out += 4;
        if (header == 2) {
            out[0] = 0x80;
            out[1] = kTransferIndex;
        } else {
            platform::StoreU32Le(out, CNetNod::s_FullPlain);
            platform::StoreU32Le(out + 4, CNetFileTransferForm::s_ClassId);
        }
        out += header;
        platform::StoreU32Le(out, kind);
        std::memset(out + 4, 0, 8); // checksum bytes, then the two ids (0)
        if (withData) {
            platform::StoreU32Le(out + 12, 0);
            platform::StoreU32Le(out + 16, kDataBytes);
            std::memcpy(out + 20, m_Data.data(), kDataBytes);
        }
        PlainInsert(m_Queue, SPlainEntry{std::move(bytes), withData ? 32u : 0u, {}},
                    withData ? 32u : 0u);
    }

    i32 m_Framing;
    const std::vector<u8>& m_Data;
    std::vector<SPlainEntry> m_Queue;
};

void StreamRoad(benchmark::State& state, i32 framing) {
    std::vector<u8> data(kDataBytes);
    for (u32 i = 0; i < kDataBytes; ++i)
        data[i] = u8(i * 31 + 7);
    CLink link(framing);
    CNetFileTransferForm withData(6), plain(9);
    withData.m_Data = new CClassicBufferMemory;
    withData.m_Data->Write(data.data(), kDataBytes);
    CPlainStream peer(framing, data);

    // The same queue, byte for byte, after a round of both.
    for (u32 i = 0; i < kDrainEvery; ++i) {
        link.m_Connection->SendForm(i % 2 ? plain : withData);
        peer.Send(i % 2 ? 9 : 6);
    }
    const auto& queue = link.m_Connection->GetQueue();
    Check(queue.m_Count == peer.m_Queue.size(), "queue lengths differ");
    for (u32 i = 0; i < queue.m_Count; ++i) {
        const std::vector<u8>& bytes = peer.m_Queue[i].m_Bytes;
        Check(queue[i].m_Buffer->GetSize() == bytes.size() &&
                  std::memcmp(queue[i].m_Buffer->GetData(), bytes.data(), bytes.size()) == 0 &&
                  queue[i].m_Counter == peer.m_Queue[i].m_Counter,
              "queued frames differ");
    }
    link.Empty();
    peer.m_Queue.clear();

    u32 ours = 0, theirs = 0;
    bench::Interleave(
        state,
        [&] {
            link.m_Connection->SendForm(ours % 2 ? static_cast<CNetNod&>(plain) : withData);
            if (++ours % kDrainEvery == 0)
                link.Empty();
        },
        [&] {
            peer.Send(theirs % 2 ? 9 : 6);
            if (++theirs % kDrainEvery == 0)
                peer.m_Queue.clear();
        });
    state.SetLabel(framing == CNetLinkSettings::s_FramingCompact ? "compact" : "full");
}

// ---------------------------------------------------------------------------------------------
// Datagram road

struct CReceiver {
    CReceiver() {
        m_Socket = LoopbackSocket(SOCK_DGRAM, false);
        const int size = 8 << 20;
        setsockopt(m_Socket, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    ~CReceiver() { close(m_Socket); }
    void Drain() {
        char slot[2048];
        while (recv(m_Socket, slot, sizeof slot, MSG_DONTWAIT) > 0) {
        }
    }
    int m_Socket;
};

void DatagramRoad(benchmark::State& state) {
    CReceiver ours, theirs;
    const int sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    CLink link(CNetLinkSettings::s_FramingFull, sender, LocalPort(ours.m_Socket));
    CNetFormConnectionAdmin form;
    form.m_Version = 2;
    form.m_Command = 2;
    form.m_Value1 = 0x00C0FFEE;

    // The peer: the full frame's header and the admin body, on a connected socket.
    const int peer = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(LocalPort(theirs.m_Socket));
    to.sin_addr.s_addr = htonl(kLoopback);
    Check(connect(peer, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0, "no peer socket");
    u8 header[8], body[12];
    platform::StoreU32Le(header, CNetNod::s_FullPlain);
    platform::StoreU32Le(header + 4, CNetFormConnectionAdmin::s_ClassId);
    platform::StoreU32Le(body, form.m_Version);
    platform::StoreU32Le(body + 4, form.m_Command);
    platform::StoreU32Le(body + 8, form.m_Value1);
    const iovec parts[2] = {{header, sizeof header}, {body, sizeof body}};

    link.m_Connection->SendForm(form);
    Check(writev(peer, parts, 2) == 20, "the peer's datagram was not sent");
    u8 a[64], b[64];
    Check(recv(ours.m_Socket, a, sizeof a, 0) == 20 &&
              recv(theirs.m_Socket, b, sizeof b, 0) == 20 && std::memcmp(a, b, 20) == 0,
          "the datagrams differ");

    u32 sentOurs = 0, sentTheirs = 0;
    bench::Interleave(
        state,
        [&] {
            link.m_Connection->SendForm(form);
            if (++sentOurs % 256 == 0)
                ours.Drain();
        },
        [&] {
            benchmark::DoNotOptimize(writev(peer, parts, 2));
            if (++sentTheirs % 256 == 0)
                theirs.Drain();
        });
    Check(link.m_Connection->m_DatagramBlocked == 0, "the receiver fell behind");
    close(peer);
    close(sender);
}

// ---------------------------------------------------------------------------------------------
// Enqueue alone

struct SPlainSlot {
    CClassicBufferMemory* m_Buffer;
    u32 m_Counter;
    CNetSendCallback m_Callback;
};

void Enqueue(benchmark::State& state) {
    const u32 length = u32(state.range(0));
    CLink link(CNetLinkSettings::s_FramingFull);
    auto& queue = link.m_Connection->m_Queue;
    std::vector<SPlainSlot> plain;
    for (u32 i = 0; i < length; ++i) {
        link.m_Connection->Enqueue(new CClassicBufferMemory, i % 64, {});
        PlainInsert(plain, SPlainSlot{nullptr, i % 64, {}}, i % 64);
    }
    // The head goes, its buffer comes back as the next insertion.
    u32 ours = 0, theirs = 0;
    const auto ourStep = [&] {
        CClassicBufferMemory* buffer = queue[0].m_Buffer;
        std::memmove(&queue[0], &queue[1], (queue.m_Count - 1) * sizeof queue[0]);
        --queue.m_Count;
        link.m_Connection->Enqueue(buffer, (ours++ * 37) % 64, {});
    };
    const auto theirStep = [&] {
        SPlainSlot head = plain.front();
        plain.erase(plain.begin());
        head.m_Counter = (theirs++ * 37) % 64;
        PlainInsert(plain, std::move(head), head.m_Counter);
    };
    for (u32 i = 0; i < 1000; ++i) {
        ourStep();
        theirStep();
    }
    for (u32 i = 0; i < length; ++i)
        Check(queue[i].m_Counter == plain[i].m_Counter, "the queues' orders differ");
    bench::Interleave(state, ourStep, theirStep);
    link.Empty();
}

} // namespace

BENCHMARK_CAPTURE(StreamRoad, compact, CNetLinkSettings::s_FramingCompact);
BENCHMARK_CAPTURE(StreamRoad, full, CNetLinkSettings::s_FramingFull);
BENCHMARK(DatagramRoad);
BENCHMARK(Enqueue)->Arg(16)->Arg(256)->Arg(4096);
