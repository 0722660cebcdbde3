// The master-server records: their member tables read through member paths, the transfer's
// hold on its request, a search page's lists, and a host's login and description.
#include "net/master/NetMasterNods.h"

#include "NetTestSupport.h"
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwMemberPath.h"
#include "net/http/NetHttpResult.h"
#include "tests/support/net/TestMasterHost.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

class NetMasterNods : public CNetFixture {
protected:
    NetMasterNods() : CNetFixture(&g_NetMasterTestClassList) {}
};

// The value of the member that the path text names, read through the nod.
CMwParamValue ReadPath(CMwNod& nod, const char* text) {
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(u32(-1), &nod, CClassicString(text)), 0u) << text;
    CMwParamValue value;
    EXPECT_EQ(nod.GetParam(&path, &value), 0u) << text;
    return value;
}

u32 ReadU32(CMwNod& nod, const char* text) {
    const CMwParamValue value = ReadPath(nod, text);
    u32 n = 0xDEADBEEF;
    if (value.Value)
        std::memcpy(&n, value.Value, sizeof n);
    return n;
}

std::string ReadText(CMwNod& nod, const char* text) {
    const CMwParamValue value = ReadPath(nod, text);
    if (!value.Value)
        return "<none>";
    const auto* s = static_cast<const CClassicString*>(value.Value);
    return std::string(s->GetText(), s->GetLength());
}

const void* ReadNod(CMwNod& nod, const char* text) {
    const CMwParamValue value = ReadPath(nod, text);
    return value.Value; // a nod member's value is the nod itself
}

std::vector<std::string> EnumNames(u32 memberId) {
    const auto* info =
        static_cast<const CMwMemberInfoEnum*>(CMwClassRegistry::GetMemberInfo(memberId));
    std::vector<std::string> names;
    for (u32 i = 0; info && i < info->EnumCount; ++i)
        names.push_back(info->EnumNames[i] ? info->EnumNames[i] : "<null>");
    return names;
}

// Sets the member named by the path text to the u32 value; the answer of SetParam.
u32 SetU32(CMwNod& nod, const char* text, u32 value) {
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(u32(-1), &nod, CClassicString(text)), 0u) << text;
    return nod.SetParam(&path, &value);
}

TEST_F(NetMasterNods, FileTransferReadsEveryMemberAndRefusesWrites) {
    auto* request = new CNetHttpResult("ms.test", "put.php", CNetHttpResult::s_KindPost);
    request->AddRef();
    auto* transfer = new CNetMasterServerFileTransfer;
    transfer->AddRef();
    EXPECT_EQ(transfer->MemberCount(), 8u);
    EXPECT_EQ(transfer->MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(transfer->GetHttpResult(), nullptr);
    EXPECT_EQ(transfer->m_CompletionMethod, nullptr);
    EXPECT_EQ(transfer->m_CompletionObject, nullptr);

    transfer->m_Mode = CNetMasterServerFileTransfer::s_ModePut;
    transfer->m_Err = CNetMasterServerFileTransfer::s_ErrHttpError;
    transfer->m_Type.Assign("devicecaps");
    transfer->m_Id.Assign("pc-1");
    transfer->m_Name.Assign("Caps");
    transfer->m_Size = 1234;
    transfer->SetHttpResult(request);
    EXPECT_EQ(request->m_RefCount, 2);

    EXPECT_EQ(ReadU32(*transfer, "Mode"), 1u);
    EXPECT_EQ(ReadU32(*transfer, "Err"), 6u);
    EXPECT_EQ(ReadNod(*transfer, "HttpResult"), request);
    EXPECT_EQ(ReadText(*transfer, "Type"), "devicecaps");
    EXPECT_EQ(ReadText(*transfer, "Id"), "pc-1");
    EXPECT_EQ(ReadText(*transfer, "Name"), "Caps");
    EXPECT_EQ(ReadU32(*transfer, "Size"), 1234u);
    // Through the request to its own members.
    EXPECT_EQ(ReadText(*transfer, "HttpResult.Server"), "ms.test");

    EXPECT_EQ(EnumNames(0x12016000), (std::vector<std::string>{"Get", "Put"}));
    EXPECT_EQ(EnumNames(0x12016001),
              (std::vector<std::string>{"Ok", "SameChecksum", "", "DoesntExist", "Internal",
                                        "IllFormedAnswer", "HttpError", "CouldNotSave"}));
    for (const char* name : {"Mode", "Err", "Size"})
        EXPECT_EQ(SetU32(*transfer, name, 0), 2u) << name;
    EXPECT_EQ(transfer->m_Mode, 1u);
    EXPECT_EQ(transfer->m_Err, 6u);
    EXPECT_EQ(transfer->m_Size, 1234u);

    // Gone while its request is out: the request no longer points back, one count lower.
    request->m_UserData = transfer;
    transfer->Release();
    EXPECT_EQ(request->m_UserData, nullptr);
    EXPECT_EQ(request->m_RefCount, 1);
    request->Release();
}

TEST_F(NetMasterNods, FileTransferCallsItsCompletionWithItself) {
    CNetMasterServerFileTransfer transfer;
    std::vector<CNetMasterServerFileTransfer*> calls;
    transfer.m_CompletionObject = &calls;
    transfer.m_CompletionMethod = [](void* object, CNetMasterServerFileTransfer* t) {
        static_cast<std::vector<CNetMasterServerFileTransfer*>*>(object)->push_back(t);
    };
    transfer.m_CompletionMethod(transfer.m_CompletionObject, &transfer);
    EXPECT_EQ(calls, (std::vector<CNetMasterServerFileTransfer*>{&transfer}));
}

TEST_F(NetMasterNods, SearchResultListsAndRows) {
    auto* request = new CNetHttpResult("ms.test", "search.php", CNetHttpResult::s_KindGet);
    request->AddRef();
    {
        CNetMasterServerSearchResult page;
        EXPECT_EQ(page.MemberCount(), 8u);
        page.m_Type.Assign("hosts");
        page.m_PageNum = 3;
        page.m_NbPerPage = 20;
        page.m_Err = CNetMasterServerSearchResult::s_ErrIllFormedAnswer;
        for (const char* name : {"race", "flags"})
            page.m_PropertyNames.Add(CClassicString(name));
        for (const char* id : {"h1", "h2", "h3"})
            page.m_Ids.Add(CClassicString(id));
        page.m_HttpResult.Set(request);
        EXPECT_EQ(request->m_RefCount, 2);

        EXPECT_EQ(ReadU32(page, "Err"), 3u);
        EXPECT_EQ(ReadU32(page, "PageNum"), 3u);
        EXPECT_EQ(ReadU32(page, "NbPerPage"), 20u);
        EXPECT_EQ(ReadText(page, "Type"), "hosts");
        EXPECT_EQ(ReadText(page, "PropertyNames[1]"), "flags");
        EXPECT_EQ(ReadText(page, "Ids[2]"), "h3");
        EXPECT_EQ(ReadNod(page, "HttpResult"), request);
        EXPECT_EQ(EnumNames(0x12017000),
                  (std::vector<std::string>{"Ok", "", "Internal", "IllFormedAnswer", "HttpError"}));
        const auto* names =
            static_cast<const CMwMemberInfoContainer*>(CMwClassRegistry::GetMemberInfo(0x12017004));
        EXPECT_STREQ(names->ElementName, "PropertyName");
        const auto* ids =
            static_cast<const CMwMemberInfoContainer*>(CMwClassRegistry::GetMemberInfo(0x12017005));
        EXPECT_STREQ(ids->ElementName, "Id");
        EXPECT_EQ(SetU32(page, "PageNum", 9), 2u);
        EXPECT_EQ(page.m_PageNum, 3u);
    }
    // The page gave its reference back and freed its lists (the leak checker sees the rest).
    EXPECT_EQ(request->m_RefCount, 1);
    request->Release();
}

TEST_F(NetMasterNods, ServerInfoReadsAndWrites) {
    CNetMasterServerInfo info;
    EXPECT_EQ(info.MemberCount(), 8u);
    info.m_Addr.Assign("10.0.0.1");
    info.m_Prefix.Assign("/ms/");
    info.m_Name.Assign("Europe");
    info.m_Level = CNetMasterServerInfo::s_LevelExpert;
    info.m_NbOnline = 41;
    info.m_NbServer = 7;
    info.m_NbBuddy = 2;
    EXPECT_EQ(ReadText(info, "Addr"), "10.0.0.1");
    EXPECT_EQ(ReadText(info, "Prefix"), "/ms/");
    EXPECT_EQ(ReadText(info, "Name"), "Europe");
    EXPECT_EQ(ReadU32(info, "Level"), 2u);
    EXPECT_EQ(EnumNames(0x12019003), (std::vector<std::string>{"Beginner", "Normal", "Expert"}));
    struct Row {
        const char* Path;
        u32* Field;
    };
    const Row rows[] = {{"Level", &info.m_Level},
                        {"NbOnline", &info.m_NbOnline},
                        {"NbServer", &info.m_NbServer},
                        {"NbBuddy", &info.m_NbBuddy}};
    for (const Row& row : rows) {
        EXPECT_EQ(SetU32(info, row.Path, 1), 0u) << row.Path;
        EXPECT_EQ(*row.Field, 1u) << row.Path;
        EXPECT_EQ(ReadU32(info, row.Path), 1u) << row.Path;
    }
    EXPECT_EQ(info.SetParamFromText(CClassicString("Name"), CClassicWideString(u"Asia")), 0u);
    EXPECT_EQ(ReadText(info, "Name"), "Asia");
}

TEST_F(NetMasterNods, HostLoginAndDescription) {
    CTestMasterHost host;
    EXPECT_TRUE(host.IsKindOf(0x12015000));
    EXPECT_EQ(host.MemberCount(), 2u);
    // HostName is set before the subclass hears of it, once per login.
    host.SetLogin("player_one");
    EXPECT_EQ(host.m_LoginChanges, 1u);
    EXPECT_EQ(std::string(host.m_LoginSeen.GetText()), "player_one");
    EXPECT_EQ(ReadText(host, "HostName"), "player_one");
    EXPECT_EQ(host.SetParamFromText(CClassicString("HostName"), CClassicWideString(u"p2")), 0u);
    EXPECT_EQ(std::string(host.m_HostName.GetText()), "p2");
    EXPECT_EQ(host.m_LoginChanges, 1u);

    // The description round-trips, a spare word of 0 ending it in zero bytes.
    host.m_Race = 7;
    host.m_Flags = CTestMasterHost::s_FlagHosting | CTestMasterHost::s_FlagFull;
    host.m_Server.Assign("srv");
    CClassicBufferMemory stream;
    {
        CClassicArchive archive;
        archive.SetBuffer(&stream);
        archive.m_Writing = 1;
        host.ArchiveDescription(archive);
        archive.DetachBuffer(true);
    }
    const std::string bytes = TestHex(stream.GetData(), stream.GetSize());
    EXPECT_EQ(bytes, "484f5354"
                     "07000000"
                     "05"
                     "03000000"
                     "737276"
                     "00000000");
    stream.SetPosition(0);
    CTestMasterHost copy;
    copy.m_Marker = 0;
    {
        CClassicArchive archive;
        archive.SetBuffer(&stream);
        archive.m_Writing = 0;
        copy.ArchiveDescription(archive);
        archive.DetachBuffer(true);
    }
    EXPECT_TRUE(copy.IsValid());
    EXPECT_TRUE(copy.IsHosting());
    EXPECT_FALSE(copy.IsPrivate());
    EXPECT_TRUE(copy.IsFull());
    EXPECT_EQ(copy.GetRace(), 7u);
    EXPECT_STREQ(copy.GetServer(), "srv");
    copy.m_Marker = 1;
    EXPECT_FALSE(copy.IsValid());
}

// The base host answers nothing: a subclass that gives no answers of its own.
class CSilentHost : public CNetMasterHost {};

TEST_F(NetMasterNods, BaseHostAnswersNothing) {
    CSilentHost host;
    EXPECT_FALSE(host.IsValid());
    EXPECT_FALSE(host.IsHosting());
    EXPECT_FALSE(host.IsPrivate());
    EXPECT_FALSE(host.IsFull());
    EXPECT_EQ(host.GetRace(), 0u);
    EXPECT_EQ(host.GetHostWord(), 0u);
    EXPECT_EQ(host.GetServer(), nullptr);
    CClassicBufferMemory stream;
    CClassicArchive archive;
    archive.SetBuffer(&stream);
    archive.m_Writing = 1;
    host.ArchiveDescription(archive);
    archive.DetachBuffer(true);
    EXPECT_EQ(stream.GetSize(), 0u);
}

} // namespace
