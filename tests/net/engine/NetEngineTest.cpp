// The Net engine object as start-up registers it, the net class list, and its census.
#include "net/engine/NetEngine.h"

#include "NetTestSupport.h"
#include "core/nod/MwEngine.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "tests/support/MwClassListCheck.h"

#include <set>

namespace {

class NetEngine : public CNetFixture {};

TEST_F(NetEngine, RegisteredLikeStartUp) {
    auto* manager = new CMwEngineManager;
    manager->AddRef();
    ASSERT_EQ(manager->GetEngine(18), nullptr);
    CMwEngine* engine = NetRegisterEngine();
    ASSERT_NE(engine, nullptr);
    EXPECT_EQ(manager->GetEngine(18), engine);
    EXPECT_EQ(engine->m_EngineId, 0x12000000u);
    EXPECT_EQ(engine->m_NodListCount, 0u);
    EXPECT_EQ(engine->m_NodLists, nullptr);
    // It answers with the engine base's identity.
    EXPECT_EQ(engine->GetClassId(), CMwEngine::s_ClassId);
    EXPECT_EQ(engine->GetClassInfo(), &CMwEngine::s_ClassInfo);
    // A second registration keeps the engine in the slot.
    EXPECT_EQ(NetRegisterEngine(), engine);
    EXPECT_EQ(manager->m_Order.m_Count, 1u);

    // Only the forms with a factory are built here; every other id gives null.
    for (u32 id : {0x12001000u, 0x12004000u, 0x12015000u, 0x12016000u, 0x12017000u, 0x12019000u,
                   0x12012000u, 0x12013000u, 0x12021000u, 0u}) {
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(engine->CreateByClassId(id, &out, 0), nullptr) << std::hex << id;
        EXPECT_EQ(out, nullptr);
    }

    manager->ShutdownEngines();
    EXPECT_EQ(manager->GetEngine(18), nullptr);
    manager->Release();
}

TEST_F(NetEngine, NoManagerNoEngine) {
    EXPECT_EQ(NetRegisterEngine(), nullptr);
}

// Every record of the net library is filed once in engine 18, with member ids that fit its
// class.
TEST_F(NetEngine, NetCensus) {
    std::set<u32> ids;
    u32 perEngine[256] = {};
    for (u32 i = 0; i < g_NetClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_NetClassList.m_Classes[i];
        EXPECT_TRUE(ids.insert(info->m_ClassId).second) << info->m_Name;
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(info->m_ClassId), info) << info->m_Name;
        ++perEngine[info->m_ClassId >> 24];
        for (u32 m = 0; m < info->m_MemberCount; ++m)
            EXPECT_EQ(info->m_MemberInfos[m]->MemberId, info->m_ClassId | m) << info->m_Name;
    }
    EXPECT_EQ(g_NetClassList.m_Count, 21u);
    EXPECT_EQ(perEngine[18], 21u);
    struct Row {
        u32 Id;
        const char* Name;
        u32 Parent;
        bool Factory;
    };
    const Row rows[] = {
        {0x12001000, "CNetNod", CMwNod::s_ClassId, false},
        {0x12002000, "CNetServerInfo", 0x12001000, true},
        {0x12003000, "CNetClientInfo", 0x12001000, true},
        {0x12004000, "CNetFormTimed", 0x12001000, false},
        {0x12007000, "CNetFormQuerrySessions", 0x12001000, true},
        {0x12008000, "CNetFormEnumSessions", 0x12001000, true},
        {0x12009000, "CNetFormPing", 0x12004000, true},
        {0x1200a000, "CNetFormNodsContainer", 0x12001000, true},
        {0x1200d000, "CNetClient", CMwNod::s_ClassId, false},
        {0x1200e000, "CNetFormModelerPlugin", 0x12001000, true},
        {0x1200f000, "CNetConnection", CMwNod::s_ClassId, false},
        {0x12010000, "CNetFormConnectionAdmin", 0x12001000, true},
        {0x12012000, "CNetHttpClient", CMwNod::s_ClassId, false},
        {0x12013000, "CNetHttpResult", CMwNod::s_ClassId, false},
        {0x12015000, "CNetMasterHost", CMwNod::s_ClassId, false},
        {0x12016000, "CNetMasterServerFileTransfer", CMwNod::s_ClassId, false},
        {0x12017000, "CNetMasterServerSearchResult", CMwNod::s_ClassId, false},
        {0x12019000, "CNetMasterServerInfo", CMwNod::s_ClassId, false},
        {0x1201b000, "CNetFileTransferForm", 0x12001000, true},
        {0x1201f000, "CNetDataServer", CMwNod::s_ClassId, false},
        {0x12021000, "CNetFormRpcCall", 0x12001000, true},
    };
    ASSERT_EQ(std::size(rows), g_NetClassList.m_Count);
    for (u32 i = 0; i < g_NetClassList.m_Count; ++i) {
        const CMwClassInfo* info = g_NetClassList.m_Classes[i];
        EXPECT_EQ(info->m_ClassId, rows[i].Id) << i; // registration order
        EXPECT_STREQ(info->m_Name, rows[i].Name);
        EXPECT_EQ(info->m_Parent->m_ClassId, rows[i].Parent) << rows[i].Name;
        EXPECT_EQ(info->m_Factory != nullptr, rows[i].Factory) << rows[i].Name;
        if (rows[i].Factory)
            EXPECT_EQ(info->m_MemberCount, 0u) << rows[i].Name;
    }
}

// The ten forms with a factory are created, and their default bodies round-trip in both
// encodings.
TEST_F(NetEngine, ClassListCheck) {
    const CMwClassListCheckCounts counts = MwCheckClassList(g_NetClassList);
    EXPECT_EQ(counts.Created, 10u);
}

TEST_F(NetEngine, ClientRows) {
    CNetHttpClient client;
    EXPECT_EQ(client.MemberCount(), 8u);
    EXPECT_TRUE(client.IsKindOf(0x12012000));
    struct Row {
        u32 Id;
        const char* Name;
        u32 Flags;
    };
    const Row rows[] = {
        {0x12012000, "Server", 0x03},    {0x12012001, "Port", 0x03},
        {0x12012002, "UserName", 0x03},  {0x12012003, "Password", 0x03},
        {0x12012004, "LastError", 0x01}, {0x12012005, "Connected", 0x11},
        {0x12012006, "Requests", 0x01},
    };
    for (const Row& row : rows) {
        const CMwMemberInfo* member = CMwClassRegistry::GetMemberInfo(row.Id);
        ASSERT_NE(member, nullptr) << row.Name;
        EXPECT_STREQ(member->Name, row.Name);
        EXPECT_EQ(member->Flags, row.Flags) << row.Name;
    }
    const auto* requests =
        static_cast<const CMwMemberInfoContainer*>(CMwClassRegistry::GetMemberInfo(0x12012006));
    EXPECT_STREQ(requests->ElementName, "Request");
    EXPECT_EQ(requests->ElementClassInfo, &CNetHttpResult::s_ClassInfo);
    EXPECT_EQ(client.m_Port, 80u);

    CMwParamValue value;
    ASSERT_EQ(client.GetMemberValue(CMwClassRegistry::GetMemberInfo(0x12012005), &value), 0u);
    EXPECT_EQ(*static_cast<const u32*>(value.Value), 0u);
}

} // namespace
