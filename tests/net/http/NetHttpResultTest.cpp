// The request record: its reflected rows, its events, and a cancel outside any client.
#include "net/http/NetHttpResult.h"

#include "NetTestSupport.h"
#include "core/nod/MwMemberPath.h"

#include <cstring>
#include <string>

namespace {

class NetHttpResult : public CNetFixture {};

u32 ReadNatural(CMwNod& nod, u32 memberId) {
    CMwParamValue value;
    EXPECT_EQ(nod.GetMemberValue(CMwClassRegistry::GetMemberInfo(memberId), &value), 0u);
    u32 n = 0;
    std::memcpy(&n, value.Value, sizeof n);
    return n;
}

std::string ReadString(CMwNod& nod, u32 memberId) {
    CMwParamValue value;
    EXPECT_EQ(nod.GetMemberValue(CMwClassRegistry::GetMemberInfo(memberId), &value), 0u);
    const auto* text = static_cast<const CClassicString*>(value.Value);
    return std::string(text->GetText(), text->GetLength());
}

TEST_F(NetHttpResult, RowsReadTheRecord) {
    CNetHttpResult request("upd.test", "patch/patch.php", 1);
    EXPECT_EQ(request.MemberCount(), 10u);
    EXPECT_EQ(request.MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(request.MemberIdByIndex(9), 0x12013008u);
    EXPECT_TRUE(request.IsKindOf(0x12013000));
    EXPECT_TRUE(request.IsKindOf(0x01001000));
    EXPECT_EQ(request.m_Status, 4u); // a request no client took in reads as failed

    request.m_ExpectedSize = 123456;
    request.m_ContentType.Assign("text/plain");
    request.m_HttpStatus = 100;
    request.m_HttpError = 12029;
    request.m_Body.Assign("0123456789");

    struct Row {
        u32 Id;
        const char* Name;
        u32 Flags;
    };
    const Row rows[] = {
        {0x12013000, "Server", 0x01},       {0x12013001, "Path", 0x01},
        {0x12013002, "Kind", 0x01},         {0x12013003, "Status", 0x01},
        {0x12013004, "ExpectedSize", 0x01}, {0x12013005, "ContentType", 0x01},
        {0x12013006, "CurrentSize", 0x11},  {0x12013007, "HttpStatus", 0x01},
        {0x12013008, "HttpError", 0x01},
    };
    for (const Row& row : rows) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(member, nullptr) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_STREQ(member->Label, row.Name);
        EXPECT_EQ(member->Flags, row.Flags) << row.Name;
    }
    EXPECT_EQ(ReadString(request, 0x12013000), "upd.test");
    EXPECT_EQ(ReadString(request, 0x12013001), "patch/patch.php");
    EXPECT_EQ(ReadNatural(request, 0x12013002), 1u);
    EXPECT_EQ(ReadNatural(request, 0x12013003), 4u);
    EXPECT_EQ(ReadNatural(request, 0x12013004), 123456u);
    EXPECT_EQ(ReadString(request, 0x12013005), "text/plain");
    EXPECT_EQ(ReadNatural(request, 0x12013006), 10u);
    EXPECT_EQ(ReadNatural(request, 0x12013007), 100u);
    EXPECT_EQ(ReadNatural(request, 0x12013008), 12029u);
    // CurrentSize follows the body.
    request.m_Body.Assign("abc");
    EXPECT_EQ(ReadNatural(request, 0x12013006), 3u);

    const auto* kind =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(0x12013002));
    ASSERT_EQ(kind->EnumCount, 2u);
    EXPECT_STREQ(kind->EnumNames[0], "Download");
    EXPECT_STREQ(kind->EnumNames[1], "Upload");
    const auto* status =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(0x12013003));
    ASSERT_EQ(status->EnumCount, 5u);
    const char* names[] = {"Connecting", "Request", "Downloading", "Done", "Error"};
    for (u32 i = 0; i < 5; ++i)
        EXPECT_STREQ(status->EnumNames[i], names[i]);

    // Every row is read-only: a write by path is refused and changes nothing.
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(u32(-1), &request, CClassicString("ExpectedSize")), 0u);
    const u32 seven = 7;
    EXPECT_EQ(request.SetParam(&path, &seven), 2u);
    EXPECT_EQ(request.m_ExpectedSize, 123456u);
}

TEST_F(NetHttpResult, EventsAndCancel) {
    CNetHttpResult request("upd.test", "a", 0);
    request.m_Status = 2;
    // An operation cancelled while handles close is dropped whole.
    request.StoreCallbackStatus(100, 1, 12017);
    EXPECT_EQ(request.m_Signalled, 0u);
    EXPECT_EQ(request.m_HttpStatus, 0u);
    EXPECT_EQ(request.m_HttpError, 0u);
    request.StoreCallbackStatus(100, 1, 12029);
    EXPECT_EQ(request.m_Signalled, 1u);
    EXPECT_EQ(request.m_HttpStatus, 100u);
    EXPECT_EQ(request.m_CallbackResult, 1u);
    EXPECT_EQ(request.m_HttpError, 12029u);

    // Without a client a cancel only sets the status; no callback runs.
    int calls = 0;
    request.SetCompletionCallback(
        &calls, [](void* object, CNetHttpResult*) { ++*static_cast<int*>(object); });
    request.Cancel();
    EXPECT_EQ(request.m_Status, 6u);
    EXPECT_EQ(calls, 0);
}

} // namespace
