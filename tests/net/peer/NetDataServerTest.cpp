// The data server's reflected members, and its two operations over the scripted HTTP transport:
// cancelling the request under way (once) and the reset with a real temporary file.
#include "net/peer/NetDataServer.h"

#include "NetTestSupport.h"
#include "core/nod/MwMemberInfo.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "platform/HostPath.h"
#include "tests/support/http/FakeHttpTransport.h"
#include "tests/support/net/TestNetClient.h"

#include <filesystem>

namespace {

class NetDataServer : public CNetFixture {};

TEST_F(NetDataServer, MemberRows) {
    CTestDataServer server;
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 Flags;
        i32 Offset;
    };
    const Row rows[] = {
        {0x1201F000, "ServerAddr", "ServerAddr", 0x03, i32(offsetof(CNetDataServer, m_ServerAddr))},
        {0x1201F001, "ServerPort", "ServerPort", 0x03, i32(offsetof(CNetDataServer, m_ServerPort))},
        {0x1201F002, "ServerPrefix", "ServerPrefix", 0x03,
         i32(offsetof(CNetDataServer, m_ServerPrefix))},
        {0x1201F003, "ProxyLogin", "ProxyLogin", 0x03, i32(offsetof(CNetDataServer, m_ProxyLogin))},
        {0x1201F004, "ProxyPass", "ProxyPass", 0x03, i32(offsetof(CNetDataServer, m_ProxyPass))},
        {0x1201F005, "UseProxy", "UseProxy", 0x03, i32(offsetof(CNetDataServer, m_UseProxy))},
        {0x1201F006, "m_HttpDownloadClient", "HttpClient", 0x01,
         i32(offsetof(CNetDataServer, m_HttpDownloadClient))},
    };
    EXPECT_EQ(CNetDataServer::s_ClassInfo.m_MemberCount, std::size(rows));
    for (const Row& row : rows) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(member, nullptr) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Label);
        EXPECT_EQ(member->Flags, row.Flags) << row.Name;
        EXPECT_EQ(member->FieldOffset, row.Offset) << row.Name;
    }
    const auto* client =
        static_cast<const CMwMemberInfoClass*>(CMwClassRegistry::GetMemberInfo(0x1201F006));
    EXPECT_EQ(client->ClassInfo, &CNetHttpClient::s_ClassInfo);
    EXPECT_EQ(client->TakesReference, 0u);
}

// A pending request is cancelled to Status 6 and taken out of its client; the server lets it go,
// so a second cancel (or a reset) does not reach the freed request.
TEST_F(NetDataServer, CancelRequestOnce) {
    FakeClock clock;
    FakeHttpTransport fake;
    fake.Add("files/a.dat", {{fake_http::Headers("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n"),
                              fake_http::Idle(60000)}});
    fake.Add("files/b.dat", {{fake_http::Headers("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n"),
                              fake_http::Idle(60000)}});
    CTestDataServer server;
    CNetHttpClient& client = *server.m_HttpDownloadClient;
    ASSERT_TRUE(client.Open(CClassicString("data.test"), 80));

    // The test keeps its own reference on the first request to look at it afterwards.
    CNetHttpResult* held = client.Get(CClassicString("files/a.dat"), true, true, 0);
    ASSERT_NE(held, nullptr);
    held->AddRef();
    server.SetCurrentRequest(held);
    client.Update();
    EXPECT_EQ(client.GetRequestCount(), 1u);
    EXPECT_EQ(held->GetRefCount(), 3);
    server.CancelRequest();
    EXPECT_EQ(held->m_Status, CNetHttpResult::s_StatusCancelled);
    EXPECT_EQ(held->GetClient(), nullptr);
    EXPECT_EQ(client.GetRequestCount(), 0u);
    EXPECT_EQ(server.m_CurrentRequest, nullptr);
    EXPECT_EQ(held->GetRefCount(), 1);
    held->Release();

    // Without a reference of the test's, the request goes with the cancel; the second cancel and
    // a reset find nothing to touch.
    const u32 live = CMwNod::GetLiveNodCount();
    server.SetCurrentRequest(client.Get(CClassicString("files/b.dat"), true, true, 0));
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live + 1);
    server.CancelRequest();
    EXPECT_EQ(CMwNod::GetLiveNodCount(), live);
    server.CancelRequest();
    server.Reset();
    EXPECT_EQ(client.GetRequestCount(), 0u);
    client.Close();
}

// Reset deletes the temporary file and empties its path, and zeroes the words it points to.
TEST_F(NetDataServer, ResetDeletesTheTemporaryFile) {
    CNetTempFolder folder;
    const std::string file = folder.File("part.tmp");
    WriteFileBytes(file, "partial");
    CTestDataServer server;
    const std::u16string enginePath = platform::FromHostPath(file);
    server.m_TempPath =
        CClassicWideString(CClassicWideStringRef(enginePath.data(), u32(enginePath.size())));
    u32 received = 5, total = 9;
    server.m_ReceivedBytes = &received;
    server.m_TotalBytes = &total;
    server.m_ResetWord = 3;
    server.Reset();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(server.m_TempPath.IsEmpty());
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(server.m_ResetWord, 0u);

    // A path whose file is gone stays; no progress words is fine.
    server.m_TempPath =
        CClassicWideString(CClassicWideStringRef(enginePath.data(), u32(enginePath.size())));
    server.m_ReceivedBytes = nullptr;
    server.m_TotalBytes = nullptr;
    server.Reset();
    EXPECT_FALSE(server.m_TempPath.IsEmpty());
}

} // namespace
