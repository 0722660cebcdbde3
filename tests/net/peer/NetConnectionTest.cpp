// Peer connections on 127.0.0.1: the connect to a listener the test holds, the two roads of a
// form (a datagram to a Python receiver that rebuilds it byte for byte, or a framed buffer in the
// send queue that the same receiver rebuilds from its dump), the queue's ageing order, closing
// and the client's notifications, and the descriptors left behind.
#include "net/peer/NetConnection.h"

#include "NetTestSupport.h"
#include "net/message/NetForms.h"
#include "net/peer/NetClient.h"
#include "tests/support/net/FakeSocketCalls.h"
#include "tests/support/net/LoopbackSockets.h"
#include "tests/support/net/TestNetClient.h"
#include "tests/support/net/TestPythonPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <filesystem>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr u32 kLoopback = kTestLoopback;

// The connection the listener accepts, or -1 when none came in time.
int Accept(int listener) {
    return WaitFor(listener, POLLIN) ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

u32 OpenDescriptors() {
    u32 n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// A server description whose two local addresses are 127.0.0.1 at the ports.
CNetServerInfo* ServerInfo(u16 streamPort, u16 datagramPort) {
    auto* info = new CNetServerInfo;
    info->AddRef();
    info->m_StreamAddress.SetAddress(kLoopback);
    info->m_StreamAddress.SetPort(streamPort);
    info->m_DatagramAddress.SetAddress(kLoopback);
    info->m_DatagramAddress.SetPort(datagramPort);
    return info;
}

// The compact table of the tests: every class it sends, most with a sequence, the admin form
// with a checksum too.
const CNetClassLink kClasses[] = {
    {0x12010000, 1, 1, 1, 0, 0}, {0x12002000, 2, 0, 1, 0, 0}, {0x12021000, 3, 1, 0, 0, 1},
    {0x120F1000, 4, 0, 0, 0, 0}, {0x1201b000, 5, 0, 1, 0, 0},
};

CNetLinkSettings Settings(i32 framing, u32 share = 1) {
    CNetLinkSettings settings;
    settings.m_ShareDatagramSocket = share;
    settings.m_FramingMode = framing;
    settings.m_Classes = kClasses;
    settings.m_ClassCount = u32(std::size(kClasses));
    return settings;
}

std::string Hex(const CClassicBufferMemory& buffer) {
    return TestHex(buffer.GetData(), buffer.GetSize());
}

std::string BodyHex(CNetNod& form) {
    CClassicBufferMemory stream;
    CClassicArchive archive;
    archive.SetBuffer(&stream);
    archive.m_Writing = 1;
    form.Archive(archive);
    archive.DetachBuffer(true);
    return Hex(stream);
}

// Counts the calls and adds up the bytes a callback was given.
struct SSent {
    u32 Calls = 0;
    u32 Bytes = 0;
    CNetSendCallback Callback() {
        return {this, [](void* object, u32 bytes) {
                    auto* sent = static_cast<SSent*>(object);
                    ++sent->Calls;
                    sent->Bytes += bytes;
                }};
    }
};

class NetPeer : public CNetFixture {
protected:
    void SetUp() override {
        CNetFixture::SetUp();
        m_Bind = platform::SetStreamBindAddress(kLoopback);
    }
    void TearDown() override {
        Stop();
        platform::SetStreamBindAddress(m_Bind);
        CNetFixture::TearDown();
    }

    // A client of the settings on a port the system chooses, and a listener with a server
    // description that names it.
    void Start(const CNetLinkSettings& settings, u16 datagramPort = 0) {
        m_Listener = std::make_unique<CHeld>(BoundLoopback(SOCK_STREAM, 0, true));
        ASSERT_GE(m_Listener->Get(), 0);
        m_Info = ServerInfo(LocalPort(m_Listener->Get()), datagramPort);
        m_Client = new CTestNetClient(&settings, 0);
        m_Client->AddRef();
    }
    // The connection to the listener, with a reference of the test's.
    CNetConnection* Connection() {
        CNetConnection* connection =
            m_Client->CreateConnection(m_Info, CClassicString("peer"), nullptr, nullptr, 0, 1, 0);
        connection->AddRef();
        m_Connections.push_back(connection);
        return connection;
    }
    void Stop() {
        for (CNetConnection* connection : m_Connections)
            connection->Release();
        m_Connections.clear();
        if (m_Client)
            m_Client->Release();
        m_Client = nullptr;
        if (m_Info)
            m_Info->Release();
        m_Info = nullptr;
        m_Listener.reset();
    }
    std::unique_ptr<CHeld> m_Listener;
    CNetServerInfo* m_Info = nullptr;
    CTestNetClient* m_Client = nullptr;
    std::vector<CNetConnection*> m_Connections;

private:
    u32 m_Bind = 0;
};

// ---------------------------------------------------------------------------------------------

TEST_F(NetPeer, StateClasses) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CNetConnection* connection = Connection();
    EXPECT_EQ(connection->GetSettings(), &settings);
    struct Case {
        u32 State, Class;
    };
    const Case cases[] = {{0, 0},  {1, 2},   {2, 0},   {4, 0}, {8, 0},  {16, 0},  {32, 1},
                          {64, 1}, {128, 0}, {256, 2}, {3, 2}, {48, 2}, {512, 2}, {0x80000000, 2}};
    for (const Case& c : cases) {
        connection->m_State = c.State;
        EXPECT_EQ(connection->GetStateClass(), c.Class) << c.State;
    }
    connection->m_State = 2;
    Stop();
}

// The connection's starting values, and what a connect sets on it and on the client.
TEST_F(NetPeer, CreateConnectsToTheListener) {
    CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CHeld held(BoundLoopback(SOCK_STREAM, 0));
    const u16 heldPort = LocalPort(held.Get());
    m_Client->m_LocalPort = heldPort;
    m_Client->m_LinkStatistics.m_Quality = 0.25f;
    m_Client->m_LinkStatistics.m_Values[3] = 9;
    m_Client->m_Status.m_Values[2] = 9;

    int data = 0;
    CNetConnection* connection =
        m_Client->CreateConnection(m_Info, CClassicString("first"), &data, &settings, 3, 4, 0x5A);
    EXPECT_EQ(connection->m_State, 2u);
    EXPECT_EQ(connection->GetRefCount(), 1); // the list's
    EXPECT_EQ(m_Info->GetRefCount(), 2);     // the test's and the connection's
    ASSERT_EQ(m_Client->GetConnections().m_Count, 1u);
    EXPECT_EQ(m_Client->GetConnections()[0], connection);
    EXPECT_EQ(connection->GetClient(), m_Client);
    EXPECT_EQ(connection->GetPeerInfo(), m_Info);
    EXPECT_EQ(std::string(connection->GetName().GetText()), "first");
    EXPECT_EQ(connection->m_UserData, &data);
    EXPECT_EQ(connection->m_UserPointer, &settings);
    EXPECT_EQ(connection->m_UserWord3, 3u);
    EXPECT_EQ(connection->m_UserWord4, 4u);
    EXPECT_EQ(connection->m_Option, 0x5A);
    EXPECT_EQ(connection->m_ClientOwned, 1u);
    EXPECT_EQ(connection->m_InitialOne, 1u);
    EXPECT_EQ(connection->GetQueue().m_Count, 0u);
    EXPECT_EQ(connection->GetQueue().m_Capacity, CNetConnection::s_QueueCapacity);
    EXPECT_NE(connection->m_SpareBuffer, nullptr);
    EXPECT_NE(connection->m_DatagramBuffer, nullptr);
    EXPECT_EQ(connection->m_DatagramSocket.m_Socket, platform::kNoSocket); // the client has none
    EXPECT_GE(connection->m_OpenedSocket.m_Socket, 0);
    EXPECT_EQ(connection->m_ConnectedSocket.m_Socket, connection->m_OpenedSocket.m_Socket);
    EXPECT_EQ(m_Client->m_LinkStatistics.m_Quality, 1.0f);
    EXPECT_EQ(m_Client->m_LinkStatistics.m_Values[3], 0u);
    EXPECT_EQ(m_Client->m_Status.m_Values[0], 1u);
    EXPECT_EQ(m_Client->m_Status.m_Values[2], 0u);

    // The held port was passed; the client's port stays where the walk ended.
    const u16 port = LocalPort(connection->m_OpenedSocket.m_Socket);
    EXPECT_GT(port, heldPort);
    EXPECT_EQ(m_Client->m_LocalPort, port);
    CHeld accepted(Accept(m_Listener->Get()));
    EXPECT_GE(accepted.Get(), 0);

    // ss lists the socket with the port Open reported, and nothing once the sockets closed.
    const std::string filter = " '( sport = :" + std::to_string(port) + " )'";
    const std::string listed = RunCommand("ss -tanH" + filter);
    EXPECT_TRUE(listed.find("ESTAB") != std::string::npos ||
                listed.find("SYN-SENT") != std::string::npos)
        << listed;
    EXPECT_NE(listed.find("127.0.0.1:" + std::to_string(port)), std::string::npos) << listed;
    connection->CloseSockets();
    EXPECT_EQ(RunCommand("ss -tanH" + filter), "");

    // Without a data pointer the option byte is not kept; with the no-spare-buffer word there is
    // no spare buffer; with the share flag the client's datagram socket is copied in.
    settings.m_NoSpareBuffer = 1;
    m_Client->m_DatagramSocket = 77;
    CNetConnection* second =
        m_Client->CreateConnection(m_Info, CClassicString(), nullptr, nullptr, 0, 1, 0x5A);
    EXPECT_EQ(second->m_Option, 0);
    EXPECT_EQ(second->m_SpareBuffer, nullptr);
    EXPECT_EQ(second->m_DatagramSocket.m_Socket, 77);
    EXPECT_EQ(m_Client->GetConnections().m_Count, 2u);
    EXPECT_EQ(m_Info->GetRefCount(), 3);
    m_Client->m_DatagramSocket = platform::kNoSocket;
    Stop();
}

// A peer description that is not a server's has no addresses: the connect goes to 0.0.0.0:0.
TEST_F(NetPeer, ClientInfoPeerHasNoAddresses) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    auto* info = new CNetClientInfo;
    info->AddRef();
    CFakeSocketCalls fake;
    std::vector<std::string> targets;
    fake.Connect = [&](int, const sockaddr_in& to) {
        char text[32];
        inet_ntop(AF_INET, &to.sin_addr, text, sizeof text);
        targets.push_back(std::string(text) + ":" + std::to_string(ntohs(to.sin_port)));
        return CFakeSocketCalls::Fail(ECONNREFUSED);
    };
    std::string thrown = Thrown(
        [&] { m_Client->CreateConnection(info, CClassicString(), nullptr, nullptr, 0, 1, 0); });
    EXPECT_EQ(thrown, "0 CNetTcpConnectedSocket::Connect");
    EXPECT_EQ(targets, std::vector<std::string>{"0.0.0.0:0"});
    ASSERT_EQ(m_Client->GetConnections().m_Count, 1u);
    const CNetConnection* connection = m_Client->GetConnections()[0];
    EXPECT_EQ(connection->GetStreamAddress().GetPort(), 0);
    EXPECT_EQ(connection->GetDatagramAddress().GetAddress(), 0u);
    EXPECT_EQ(connection->m_State, 0u); // the throw came before the state
    Stop();
    info->Release();
}

// Refused stream options (SO_DEBUG without the capability) fail the connect: the client is told
// once, or only the flag is set while it defers.
TEST_F(NetPeer, OpenFailureNotifiesOnce) {
    CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    settings.m_SoDebug = 1;
    for (u32 defer : {0u, 1u}) {
        SCOPED_TRACE(defer);
        Start(settings);
        m_Client->m_DeferDisconnections = defer;
        CFakeSocketCalls fake;
        fake.SetOption = [](int, int level, int name, const void*, socklen_t) {
            return level == SOL_SOCKET && name == SO_DEBUG ? CFakeSocketCalls::Fail(EACCES) : 0;
        };
        CNetConnection* connection = Connection();
        EXPECT_EQ(fake.m_Counts.Connect, 0u);
        if (defer) {
            EXPECT_TRUE(m_Client->m_Notifications.empty());
            EXPECT_EQ(connection->m_DisconnectRequested, 1u);
            EXPECT_EQ(connection->m_State, 0u);
        } else {
            ASSERT_EQ(m_Client->m_Notifications.size(), 1u);
            EXPECT_EQ(m_Client->m_Notifications[0].m_Kind, CTestNetClient::Kind::Failed);
            EXPECT_EQ(m_Client->m_Notifications[0].m_Connection, connection);
            EXPECT_EQ(m_Client->m_Notifications[0].m_Message, "Server is unreachable.");
            EXPECT_EQ(connection->m_DisconnectRequested, 0u);
            EXPECT_EQ(connection->GetStateClass(), CNetConnection::s_ClassClosed);
        }
        Stop();
    }
}

// ---------------------------------------------------------------------------------------------
// The send queue

TEST_F(NetPeer, EnqueueAgesAndOrders) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CNetConnection* connection = Connection();
    struct Entry {
        char Name;
        u32 Counter;
    };
    struct Case {
        const char* What;
        std::vector<Entry> Before;
        u32 Priority;
        std::vector<Entry> After; // the new entry is 'N'
    };
    const Case cases[] = {
        {"empty queue appends", {}, 5, {{'N', 5}}},
        {"before the first aged counter above it",
         {{'A', 0}, {'B', 7}, {'C', 2}},
         3,
         {{'A', 0}, {'N', 3}, {'B', 6}, {'C', 1}}},
        {"never before the head", {{'A', 5}}, 0, {{'A', 4}, {'N', 0}}},
        {"the head's place moves to 1", {{'A', 5}, {'B', 1}}, 0, {{'A', 4}, {'N', 0}, {'B', 0}}},
        {"equal priorities append after them",
         {{'A', 3}, {'B', 3}},
         2,
         {{'A', 2}, {'B', 2}, {'N', 2}}},
        {"counters at 0 stay 0", {{'A', 0}, {'B', 0}}, 0, {{'A', 0}, {'B', 0}, {'N', 0}}},
        {"the largest priority never overtakes",
         {{'A', 5}, {'B', 0xFFFFFFFF}},
         0xFFFFFFFF,
         {{'A', 4}, {'B', 0xFFFFFFFE}, {'N', 0xFFFFFFFF}}},
    };
    SSent sent;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        std::map<const CClassicBufferMemory*, char> names;
        for (const Entry& e : c.Before) {
            auto* buffer = new CClassicBufferMemory;
            names[buffer] = e.Name;
            connection->m_Queue.Add({buffer, e.Counter, {}});
        }
        auto* added = new CClassicBufferMemory;
        added->Write("abcdef", 6);
        added->SetPosition(4);
        names[added] = 'N';
        connection->Enqueue(added, c.Priority, sent.Callback());
        EXPECT_EQ(added->GetPosition(), 0u);
        const auto& queue = connection->GetQueue();
        ASSERT_EQ(queue.m_Count, c.After.size());
        for (u32 i = 0; i < queue.m_Count; ++i) {
            EXPECT_EQ(names[queue[i].m_Buffer], c.After[i].Name) << i;
            EXPECT_EQ(queue[i].m_Counter, c.After[i].Counter) << i;
            EXPECT_EQ(bool(queue[i].m_Callback), c.After[i].Name == 'N') << i;
        }
        for (u32 i = 0; i < queue.m_Count; ++i)
            delete queue[i].m_Buffer;
        connection->m_Queue.m_Count = 0;
    }
    // The queue grows by the engine array rule: 16, then 24.
    for (u32 i = 0; i < 17; ++i)
        connection->Enqueue(new CClassicBufferMemory, 0, {});
    EXPECT_EQ(connection->GetQueue().m_Capacity, 24u);
    Stop();
}

// ---------------------------------------------------------------------------------------------
// The two roads of a form

struct SRoad {
    const char* Name;
    std::function<CNetNod*()> Make;
    u32 AlwaysDatagram;
    bool Datagram; // else queued
    u32 Priority;
};

TEST_F(NetPeer, FormsTakeTheirRoadByteForByte) {
    CTestPythonPeer receiver("wirecheck.py");
    const u16 receiverPort = u16(std::stoi("0" + TestJsonField(receiver.ReadLine(), "port")));
    ASSERT_NE(receiverPort, 0);

    const auto admin = [](u32 command, u32 bytes = 600) {
        return [command, bytes] {
            auto* form = new CNetFormConnectionAdmin;
            form->m_Command = command;
            form->m_Version = 2;
            form->m_ClientInfo.m_Text1 = "me";
            form->m_Text1 = "hello";
            form->m_Value1 = 0x10203;
            if (command == 6) {
                form->m_Buffer = new CClassicBufferMemory;
                for (u32 i = 0; i < bytes; ++i) {
                    const u8 b = u8((i * 2654435761u) >> 24);
                    form->m_Buffer->Write(&b, 1);
                }
            }
            return static_cast<CNetNod*>(form);
        };
    };
    const auto server = [] {
        auto* info = new CNetServerInfo;
        info->m_Text1 = "game";
        info->m_Text4 = "track";
        return static_cast<CNetNod*>(info);
    };
    const auto rpc = [] {
        auto* form = new CNetFormRpcCall;
        form->m_Number = 12;
        form->m_Text = "Go";
        form->m_Flag2 = 1;
        return static_cast<CNetNod*>(form);
    };
    const auto data = [] {
        auto* form = new CNetFileTransferForm(6);
        form->m_Data = new CClassicBufferMemory;
        form->m_Data->Write("0123456789", 10);
        return static_cast<CNetNod*>(form);
    };
    const SRoad roads[] = {
        {"admin 2", admin(2), 0, true, 0},
        {"admin 3", admin(3), 0, true, 0},
        {"admin 6", admin(6), 0, false, 0},
        {"admin 6, past the scratch's kept room", admin(6, 100000), 0, false, 0},
        {"admin 6 after it", admin(6), 0, false, 0},
        {"server info", server, 0, false, 0},
        {"server info, always datagram", server, 1, true, 0},
        {"rpc, always datagram", rpc, 1, false, 0},
        {"transfer data", data, 0, false, 32},
    };
    for (i32 framing : {CNetLinkSettings::s_FramingCompact, CNetLinkSettings::s_FramingFull}) {
        SCOPED_TRACE(framing);
        const CNetLinkSettings settings = Settings(framing);
        Start(settings, receiverPort);
        ASSERT_TRUE(m_Client->OpenDatagramSocket());
        CNetConnection* connection = Connection();
        // The queue holds an entry first: datagrams do not wait for it.
        CNetFileTransferForm waiting(9);
        connection->SendForm(waiting);
        ASSERT_EQ(connection->GetQueue().m_Count, 1u);
        u32 meterTotal = 0;
        for (const SRoad& road : roads) {
            SCOPED_TRACE(road.Name);
            CNetNod* form = road.Make();
            form->AddRef();
            connection->m_AlwaysDatagram = road.AlwaysDatagram;
            const u32 datagramBefore = connection->m_DatagramSequence;
            const u32 streamBefore = connection->m_StreamSequence;
            const u32 queuedBefore = connection->GetQueue().m_Count;
            SSent sent;
            connection->SendForm(*form, sent.Callback());

            std::string written;
            if (road.Datagram) {
                EXPECT_EQ(connection->GetQueue().m_Count, queuedBefore);
                written = Hex(*connection->m_DatagramBuffer);
                EXPECT_EQ(sent.Calls, 1u);
                EXPECT_EQ(sent.Bytes, connection->m_DatagramBuffer->GetSize());
                meterTotal += sent.Bytes;
                EXPECT_EQ(connection->m_DatagramBlocked, 0u);
            } else {
                ASSERT_EQ(connection->GetQueue().m_Count, queuedBefore + 1);
                EXPECT_EQ(sent.Calls, 0u);
                const auto& queue = connection->GetQueue();
                // Ageing leaves a new entry of priority 0 behind the waiting ones.
                const CNetConnection::SQueueEntry& entry = queue[queue.m_Count - 1];
                EXPECT_EQ(entry.m_Counter, road.Priority);
                EXPECT_EQ(entry.m_Buffer->GetPosition(), 0u);
                written = Hex(*entry.m_Buffer);
                const u8* bytes = entry.m_Buffer->GetData();
                EXPECT_EQ(u32(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | u32(bytes[3]) << 24),
                          entry.m_Buffer->GetSize() - 4);
            }
            EXPECT_EQ(m_Client->GetSendMeter().GetTotal(), meterTotal);

            const CNetClassLink* record = settings.FindClass(form->GetClassId());
            std::string recordJson = "null";
            if (record)
                recordJson = "{\"id\": " + std::to_string(record->m_ClassId) +
                             ", \"index\": " + std::to_string(record->m_ClassIndex) +
                             ", \"checksum\": " + std::to_string(record->m_Checksum) +
                             ", \"sequence\": " + std::to_string(record->m_Sequence) +
                             ", \"ordered\": " + std::to_string(record->m_Ordered) + "}";
            const u32 counterBefore = road.Datagram ? datagramBefore : streamBefore;
            const std::string request =
                "{\"case\": \"" + std::string(road.Name) +
                "\", \"mode\": " + std::to_string(framing) +
                ", \"class\": " + std::to_string(form->GetClassId()) +
                ", \"record\": " + recordJson + ", \"counter\": " + std::to_string(counterBefore) +
                ", \"body\": \"" + BodyHex(*form) +
                "\", \"compressed\": " + (form->IsCompressed() ? "true" : "false") +
                ", \"start\": 0, \"prefix\": " + (road.Datagram ? "false" : "true") +
                ", \"stream\": \"" + written +
                "\", \"datagram\": " + (road.Datagram ? "true" : "false") + "}";
            ASSERT_TRUE(receiver.WriteLine(request));
            const std::string verdict = receiver.ReadLine();
            EXPECT_EQ(TestJsonField(verdict, "ok"), "true") << verdict;
            // Each road advances its own counter only.
            EXPECT_EQ(TestJsonField(verdict, "counter"),
                      std::to_string(road.Datagram ? connection->m_DatagramSequence
                                                   : connection->m_StreamSequence));
            EXPECT_EQ(road.Datagram ? connection->m_StreamSequence : connection->m_DatagramSequence,
                      road.Datagram ? streamBefore : datagramBefore);
            form->Release();
        }
        Stop();
    }
}

// Without the client's datagram socket an admin datagram goes to -1: the send throws, nothing
// is counted.
TEST_F(NetPeer, DatagramWithoutSocketThrows) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull, 0);
    Start(settings, 9);
    ASSERT_TRUE(m_Client->OpenDatagramSocket());
    CNetConnection* connection = Connection();
    EXPECT_EQ(connection->m_DatagramSocket.m_Socket, platform::kNoSocket);
    CNetFormConnectionAdmin form;
    form.m_Command = 2;
    SSent sent;
    EXPECT_EQ(Thrown([&] { connection->SendForm(form, sent.Callback()); }), "0 CNetUDP::SendTo");
    EXPECT_EQ(sent.Calls, 0u);
    EXPECT_EQ(m_Client->GetSendMeter().GetTotal(), 0u);
    EXPECT_EQ(m_Client->GetSendMeter().GetCount(), 0u);
    Stop();
}

// A datagram the system does not take at once sets the blocked flag and is still counted.
TEST_F(NetPeer, BlockedDatagramIsCounted) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings, 9);
    ASSERT_TRUE(m_Client->OpenDatagramSocket());
    CNetConnection* connection = Connection();
    CFakeSocketCalls fake;
    bool block = true;
    fake.SendTo = [&](int, const void*, size_t length, const sockaddr_in&) -> i64 {
        return block ? CFakeSocketCalls::Fail(EAGAIN) : i64(length);
    };
    CNetFormConnectionAdmin form;
    form.m_Command = 3;
    SSent sent;
    connection->SendForm(form, sent.Callback());
    EXPECT_EQ(connection->m_DatagramBlocked, 1u);
    EXPECT_EQ(sent.Calls, 1u);
    EXPECT_EQ(m_Client->GetSendMeter().GetTotal(), connection->m_DatagramBuffer->GetSize());
    block = false;
    connection->SendForm(form);
    EXPECT_EQ(connection->m_DatagramBlocked, 0u);
    EXPECT_EQ(m_Client->GetSendMeter().GetCount(), 2u);
    Stop();
}

// ---------------------------------------------------------------------------------------------
// Closing

// A closed connection drops forms; closing a connect in progress resets it, closing a ready link
// ends the stream; a connect in state 256 does nothing.
TEST_F(NetPeer, CloseResetsOrShutsDown) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings, 9);
    ASSERT_TRUE(m_Client->OpenDatagramSocket());

    CNetConnection* connecting = Connection();
    CHeld first(Accept(m_Listener->Get()));
    ASSERT_GE(first.Get(), 0);
    connecting->Close();
    EXPECT_EQ(connecting->m_State, 1u);
    EXPECT_EQ(connecting->m_OpenedSocket.m_Socket, platform::kNoSocket);
    EXPECT_EQ(connecting->m_ConnectedSocket.m_Socket, platform::kNoSocket);
    ASSERT_TRUE(WaitFor(first.Get(), POLLIN));
    char byte;
    EXPECT_EQ(recv(first.Get(), &byte, 1, 0), -1);
    EXPECT_EQ(errno, ECONNRESET);

    CNetConnection* ready = Connection();
    CHeld second(Accept(m_Listener->Get()));
    ASSERT_GE(second.Get(), 0);
    ready->m_State = 32;
    ready->Close();
    EXPECT_EQ(ready->m_State, 256u);
    ASSERT_TRUE(WaitFor(second.Get(), POLLIN));
    EXPECT_EQ(recv(second.Get(), &byte, 1, 0), 0);

    CFakeSocketCalls fake;
    EXPECT_EQ(m_Client->Connect(ready), 0u);
    EXPECT_EQ(fake.m_Counts.Socket, 0u);
    EXPECT_EQ(ready->m_State, 256u);

    // Dropped on both closed connections: nothing queued, nothing sent, nothing counted.
    CNetFormConnectionAdmin datagram;
    datagram.m_Command = 2;
    CNetFormRpcCall queued;
    SSent sent;
    for (CNetConnection* closed : {connecting, ready}) {
        closed->SendForm(datagram, sent.Callback());
        closed->SendForm(queued, sent.Callback());
        EXPECT_EQ(closed->GetQueue().m_Count, 0u);
    }
    EXPECT_EQ(fake.m_Counts.SendTo, 0u);
    EXPECT_EQ(sent.Calls, 0u);
    EXPECT_EQ(m_Client->GetSendMeter().GetCount(), 0u);
    Stop();
}

// Once its sockets are closed, a connection never shuts down the number it held: Linux hands it
// to the next socket at once.
TEST_F(NetPeer, ClosedSocketsAreNotShutDownLater) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CNetConnection* connection = Connection();
    const int number = connection->m_OpenedSocket.m_Socket;
    CFakeSocketCalls fake;
    connection->CloseSockets();
    EXPECT_EQ(fake.m_ClosedSockets, std::vector<int>{number});
    // Another socket takes the number.
    CHeld reused(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    EXPECT_EQ(reused.Get(), number);
    m_Client->Disconnect(connection, 1, nullptr, 0);
    EXPECT_EQ(connection->m_State, 256u);
    EXPECT_EQ(fake.m_Counts.Shutdown, 0u);
    EXPECT_TRUE(m_Client->m_Notifications.empty()); // it was closed already
    Stop();
}

// A second connect while the first is in progress closes the first socket.
TEST_F(NetPeer, ReconnectLeaksNoDescriptor) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CNetConnection* connection = Connection();
    const u32 afterOne = OpenDescriptors();
    EXPECT_EQ(m_Client->Connect(connection), 1u);
    EXPECT_EQ(connection->m_State, 2u);
    EXPECT_EQ(OpenDescriptors(), afterOne);
    EXPECT_EQ(connection->m_ConnectedSocket.m_Socket, connection->m_OpenedSocket.m_Socket);
    // Null is the current connection; with none, nothing happens.
    EXPECT_EQ(m_Client->Connect(nullptr), 0u);
    m_Client->m_CurrentConnection = connection;
    connection->CloseSockets();
    EXPECT_EQ(m_Client->Connect(nullptr), 1u);
    EXPECT_EQ(OpenDescriptors(), afterOne);
    Stop();
}

TEST_F(NetPeer, DisconnectNotifications) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    struct Case {
        const char* What;
        u32 State;
        u32 Notify;
        const char* Message;
        u32 Forced;
        u32 Defer;
        const char* Told; // "closed", the failure's message, or "" for nothing
        u32 StateAfter;
        u32 Requested;
    };
    const Case cases[] = {
        {"ready", 32, 0, "x", 0, 0, "closed", 256, 0},
        {"ready, 64", 64, 1, nullptr, 0, 0, "closed", 256, 0},
        {"in progress", 2, 1, "Bad version.", 0, 0, "Bad version.", 1, 0},
        {"in progress, no message", 2, 1, nullptr, 0, 0, "Server is unreachable.", 1, 0},
        {"later step, no notify", 16, 0, nullptr, 0, 0, "", 256, 0},
        {"already closed", 1, 1, "x", 0, 0, "", 256, 0},
        {"send side shut", 256, 1, nullptr, 0, 0, "", 256, 0},
        {"deferred", 32, 1, nullptr, 0, 1, "", 32, 1},
        {"deferred, forced", 32, 1, nullptr, 1, 1, "closed", 256, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        Start(settings);
        CNetConnection* connection = Connection();
        m_Client->m_CurrentConnection = connection;
        m_Client->m_CurrentWord = 5;
        m_Client->m_DeferDisconnections = c.Defer;
        if (c.State != 2)
            connection->m_State = c.State;
        m_Client->Disconnect(nullptr, c.Notify, c.Message, c.Forced);
        EXPECT_EQ(connection->m_State, c.StateAfter);
        EXPECT_EQ(connection->m_DisconnectRequested, c.Requested);
        const std::string told = c.Told;
        if (told.empty()) {
            EXPECT_TRUE(m_Client->m_Notifications.empty());
        } else {
            ASSERT_EQ(m_Client->m_Notifications.size(), 1u);
            const auto& n = m_Client->m_Notifications[0];
            EXPECT_EQ(n.m_Connection, connection);
            EXPECT_EQ(n.m_Kind, told == "closed" ? CTestNetClient::Kind::Closed
                                                 : CTestNetClient::Kind::Failed);
            if (told != "closed") {
                EXPECT_EQ(n.m_Message, told);
            }
        }
        const bool cleared = !c.Defer || c.Forced;
        EXPECT_EQ(m_Client->m_CurrentConnection, cleared ? nullptr : connection);
        EXPECT_EQ(m_Client->m_CurrentWord, cleared ? 0u : 5u);
        EXPECT_EQ(m_Client->GetConnections().m_Count, 1u); // stays listed
        Stop();
    }
    // Deferred with no connection at all: nothing.
    Start(settings);
    m_Client->m_DeferDisconnections = 1;
    m_Client->Disconnect(nullptr, 1, nullptr, 0);
    m_Client->m_DeferDisconnections = 0;
    m_Client->Disconnect(nullptr, 1, nullptr, 0);
    EXPECT_TRUE(m_Client->m_Notifications.empty());
    Stop();
}

// The client closes its connections when it goes; one the test still holds is closed and drops
// what it is given.
TEST_F(NetPeer, ClientDestructionClosesConnections) {
    const CNetLinkSettings settings = Settings(CNetLinkSettings::s_FramingFull);
    Start(settings);
    CNetConnection* kept = Connection();
    CNetConnection* ready =
        m_Client->CreateConnection(m_Info, CClassicString(), nullptr, nullptr, 0, 1, 0);
    ready->AddRef();
    ready->m_State = 32;
    CHeld a(Accept(m_Listener->Get()));
    CHeld b(Accept(m_Listener->Get()));
    const u32 before = OpenDescriptors();
    m_Client->Release();
    m_Client = nullptr;
    EXPECT_EQ(OpenDescriptors(), before - 1); // the connect in progress was closed
    EXPECT_EQ(kept->m_State, 1u);
    EXPECT_EQ(ready->m_State, 256u);
    for (CNetConnection* connection : {kept, ready}) {
        EXPECT_EQ(connection->GetClient(), nullptr);
        EXPECT_EQ(connection->GetStateClass(), CNetConnection::s_ClassClosed);
        EXPECT_EQ(connection->GetSettings(), nullptr);
        EXPECT_EQ(connection->GetRefCount(), 1);
        CNetFormRpcCall form;
        connection->SendForm(form);
        EXPECT_EQ(connection->GetQueue().m_Count, 0u);
    }
    ready->Release(); // closes its socket as it goes
    EXPECT_EQ(OpenDescriptors(), before - 2);
    Stop();
}

} // namespace
