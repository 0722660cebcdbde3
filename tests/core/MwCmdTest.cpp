// Commands, fast calls, command buffers and the bucket list under them.
#include "core/nod/MwCmd.h"

#include "CoreTestSupport.h"
#include "core/nod/MwBucketList.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwMemberPath.h"

#include <cstddef>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// "AB|C|DE": the elements bucket by bucket.
std::string Layout(const CMwBucketList<char>& list) {
    std::string text;
    for (u32 b = 0; b < list.GetBucketCount(); ++b) {
        if (b)
            text += '|';
        const CMwBucket& bucket = list.m_Buckets.m_Items[b];
        text.append(list.m_Items.m_Items + bucket.m_First, bucket.m_Count);
    }
    return text;
}

// A list holding the layout given as "AB|C|DE".
void Build(CMwBucketList<char>& list, const std::string& layout) {
    u32 buckets = 1;
    for (char c : layout)
        buckets += c == '|';
    list.SetBucketCount(buckets);
    u32 b = 0;
    for (char c : layout) {
        if (c == '|') {
            ++b;
            continue;
        }
        list.m_Items.Add(c);
        ++list.m_Buckets.m_Items[b].m_Count;
        for (u32 k = b + 1; k < buckets; ++k)
            ++list.m_Buckets.m_Items[k].m_First;
    }
}

TEST(MwBucketList, AddRotatesAndRemoveTravelsToTheEnd) {
    struct Case {
        const char* before;
        char op; // '+' adds to the least-filled bucket, '-' removes
        char item;
        const char* after;
    };
    const Case cases[] = {
        {"AB|C|DE", '+', 'X', "AB|CX|ED"}, // bucket 2 gives its first command to its end
        {"AB|CX|ED", '-', 'A', "B|XC|DE"}, // each later bucket gives up its last position
        {"|||", '+', 'A', "A|||"},
        {"A|B|C", '+', 'D', "AD|B|C"}, // ties go to the lowest bucket
        {"AB|C|D", '+', 'X', "AB|CX|D"},
        {"AB|C|D", '-', 'D', "AB|C|"},
        {"AB|C|D", '-', 'B', "A|C|D"},
        {"ABC", '-', 'A', "CB"},
        {"ABC", '+', 'X', "ABCX"},
    };
    for (const Case& c : cases) {
        CMwBucketList<char> list;
        Build(list, c.before);
        ASSERT_EQ(Layout(list), c.before);
        if (c.op == '+') {
            list.AddToBucket(c.item, list.LeastFilledBucket());
        } else {
            u32 bucket = 0, position = 0;
            ASSERT_TRUE(list.Find(c.item, &bucket, &position)) << c.before;
            list.RemoveAt(bucket, position);
        }
        EXPECT_EQ(Layout(list), c.after) << c.before << " " << c.op << c.item;
        list.FreeItems();
    }
}

TEST(MwBucketList, RandomEditsKeepTheBucketsCoveringTheArray) {
    std::mt19937 random(12345);
    CMwBucketList<int> list;
    list.SetBucketCount(5);
    std::map<int, bool> present;
    for (int step = 0; step < 4000; ++step) {
        const int item = int(random() % 40);
        if (!present[item]) {
            list.AddToBucket(item, list.LeastFilledBucket());
            present[item] = true;
        } else {
            u32 bucket = 0, position = 0;
            ASSERT_TRUE(list.Find(item, &bucket, &position));
            list.RemoveAt(bucket, position);
            present[item] = false;
        }
        u32 next = 0;
        for (u32 b = 0; b < list.GetBucketCount(); ++b) {
            ASSERT_EQ(list.m_Buckets.m_Items[b].m_First, next);
            next += list.m_Buckets.m_Items[b].m_Count;
        }
        ASSERT_EQ(next, list.GetCount());
        u32 expected = 0;
        for (const auto& [key, in] : present) {
            expected += in;
            ASSERT_EQ(list.Contains(key), in) << key;
        }
        ASSERT_EQ(list.GetCount(), expected);
    }
    list.FreeItems();
}

TEST(MwBucketList, BucketCountChangesAndTheElementBufferOffset) {
    CMwBucketList<char> list;
    Build(list, "AB|C|DE");
    // Fewer buckets: the dropped buckets' elements join the new last bucket.
    ASSERT_TRUE(list.SetBucketCount(2));
    EXPECT_EQ(Layout(list), "AB|CDE");
    EXPECT_EQ(list.m_CursorCurrent, -1);
    EXPECT_EQ(list.m_CursorItems, list.m_Items.m_Items);
    ASSERT_TRUE(list.SetBucketCount(4));
    EXPECT_EQ(Layout(list), "AB|CDE||");
    EXPECT_FALSE(list.SetBucketCount(0));
    EXPECT_FALSE(list.SetBucketCount(CMwBucketList<char>::s_MaxBucketCount + 1));
    EXPECT_EQ(list.GetBucketCount(), 4u);

    // Reflection finds the element buffer at the same offset whatever the element type.
    const auto* raw = reinterpret_cast<const unsigned char*>(&list);
    const auto* items = reinterpret_cast<const CFastBuffer<char>*>(raw + MwBucketListItemsOffset);
    EXPECT_EQ(items->m_Count, 5u);
    EXPECT_EQ(items->m_Items, list.m_Items.m_Items);
    EXPECT_EQ(MwBucketListItemsOffset, offsetof(CMwBucketList<CMwCmd*>, m_Items));
    list.FreeItems();
    EXPECT_EQ(list.GetBucketCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Commands and buffers

class MwCmd : public CMwCoreFixture {
public:
    // A command that records its runs and its destruction, and may act once when it runs.
    class CRecordingCmd : public CMwCmd {
    public:
        CRecordingCmd(char name, MwCmd* test) : m_Name(name), m_Test(test) {}
        ~CRecordingCmd() override { m_Test->m_Destroyed += m_Name; }
        void Run() override {
            m_Test->m_Runs += m_Name;
            std::vector<std::pair<char, char>> actions;
            actions.swap(m_Actions);
            for (const auto& [verb, target] : actions) {
                if (verb == 'X') { // deletes the buffer that runs this command
                    delete m_Test->m_Buffer;
                    m_Test->m_Buffer = nullptr;
                    continue;
                }
                CMwCmd* cmd = m_Test->m_Cmds[target];
                if (verb == 'U')
                    cmd->Uninstall();
                else if (verb == 'I')
                    cmd->Install();
                else
                    delete cmd; // a client mistake the buffer survives
            }
        }

        char m_Name;
        MwCmd* m_Test;
        std::vector<std::pair<char, char>> m_Actions; // done once, at the next run
    };

    void SetUp() override {
        CMwCoreFixture::SetUp();
        m_Buffer = static_cast<CMwCmdBuffer*>(CMwClassRegistry::CreateNodById(0x0101c000));
    }
    void TearDown() override {
        delete m_Buffer;
        for (auto& [name, cmd] : m_Cmds)
            if (m_Destroyed.find(name) == std::string::npos)
                delete cmd;
        CMwCoreFixture::TearDown();
    }

    // Commands A, B, ... attached to the buffer; the test keeps no reference on them.
    CRecordingCmd* Cmd(char name) {
        CMwCmd*& cmd = m_Cmds[name];
        if (!cmd) {
            cmd = new CRecordingCmd(name, this);
            EXPECT_TRUE(cmd->AttachBuffer(m_Buffer));
        }
        return static_cast<CRecordingCmd*>(cmd);
    }

    std::string BufferLayout() const {
        std::string text;
        for (u32 b = 0; b < m_Buffer->GetBucketCount(); ++b) {
            if (b)
                text += '|';
            const CMwBucket& bucket = m_Buffer->m_Cmds.m_Buckets.m_Items[b];
            for (u32 j = 0; j < bucket.m_Count; ++j) {
                auto* cmd = static_cast<CRecordingCmd*>(
                    m_Buffer->m_Cmds.m_Items.m_Items[bucket.m_First + j]);
                // Removal-pending commands in lower case, emptied slots as '_'.
                if (!cmd)
                    text += '_';
                else if (cmd->m_State & CMwCmd::s_RemovalPending)
                    text += char(cmd->m_Name + 32);
                else
                    text += cmd->m_Name;
            }
        }
        return text;
    }

    CMwCmdBuffer* m_Buffer = nullptr;
    std::map<char, CMwCmd*> m_Cmds;
    std::string m_Runs;
    std::string m_Destroyed;
};

TEST_F(MwCmd, ANewBufferAndItsIdentity) {
    ASSERT_NE(m_Buffer, nullptr);
    EXPECT_EQ(m_Buffer->GetClassId(), 0x0101c000u);
    EXPECT_EQ(m_Buffer->m_RunPosition, 0xFFFFFFFFu);
    EXPECT_EQ(m_Buffer->m_RunningBucket, 0xFFFFFFFFu);
    EXPECT_EQ(m_Buffer->m_RunEnd, 0u);
    EXPECT_EQ(m_Buffer->m_RemovalDeferred, 0u);
    EXPECT_EQ(m_Buffer->GetBucketCount(), 1u);
    EXPECT_EQ(m_Buffer->m_Cmds.m_Buckets.m_Capacity, 10u);
    EXPECT_EQ(m_Buffer->m_Cmds.m_Items.m_Capacity, 10u);

    struct Kind {
        CMwNod* nod;
        u32 classId;
        bool expected;
    };
    CMwCmd plain;
    CMwCmdFastCall call(nullptr, nullptr);
    const Kind kinds[] = {
        {&plain, 0x01005000, true}, {&plain, 0x01001000, true},   {&plain, 0x01012000, false},
        {&call, 0x01012000, true},  {&call, 0x01005000, true},    {&call, 0x01001000, true},
        {&call, 0x0101c000, false}, {m_Buffer, 0x0101c000, true}, {m_Buffer, 0x01005000, false},
    };
    for (const Kind& k : kinds)
        EXPECT_EQ(k.nod->IsKindOf(k.classId), k.expected) << std::hex << k.classId;
    EXPECT_EQ(CMwClassRegistry::GetClassInfoById(0x010c0000)->m_Parent, &CMwCmd::s_ClassInfo);
    for (u32 id : {0x01005000u, 0x01012000u, 0x010c0000u})
        EXPECT_EQ(CMwClassRegistry::GetClassInfoById(id)->m_Factory, nullptr) << std::hex << id;
}

TEST_F(MwCmd, InstallationFillsTheLeastFilledBucket) {
    ASSERT_TRUE(m_Buffer->SetBucketCount(3));
    for (char c : std::string("ABCDE"))
        Cmd(c)->Install();
    EXPECT_EQ(BufferLayout(), "AD|BE|C");
    // Installing again, or adding a listed command, changes nothing and takes no reference.
    Cmd('A')->Install();
    m_Buffer->AddCmd(Cmd('B'));
    EXPECT_EQ(BufferLayout(), "AD|BE|C");
    EXPECT_EQ(Cmd('A')->GetRefCount(), 1);
    EXPECT_EQ(Cmd('B')->GetRefCount(), 1);
    EXPECT_EQ(m_Buffer->m_RunEnd, 5u);

    // Running every bucket in turn runs every command once, bucket by bucket.
    for (u32 b = 0; b < 3; ++b)
        m_Buffer->RunBucket(b);
    EXPECT_EQ(m_Runs, "ADBEC");
}

// Install and uninstall calls made by running commands, and the next pass.
TEST_F(MwCmd, PassesWithInstallsAndUninstallsFromRunningCommands) {
    struct Action {
        char runner, verb, target; // verb 'U' uninstall, 'I' install, 'D' delete
    };
    struct Scenario {
        const char* name;
        u32 buckets;
        const char* installed;
        Action actions[2];
        u32 firstBucket;
        const char* firstRuns;
        const char* layoutAfterFirst;
        u32 secondBucket;
        const char* secondRuns;
        const char* layoutAfterSecond;
    };
    const Scenario scenarios[] = {
        {"uninstalls itself", 1, "ABC", {{'B', 'U', 'B'}}, 0, "ABC", "AbC", 0, "AC", "AC"},
        {"uninstalls a later command", 1, "ABC", {{'A', 'U', 'C'}}, 0, "AB", "AB", 0, "AB", "AB"},
        {"uninstalls an earlier command",
         1,
         "ABC",
         {{'C', 'U', 'A'}},
         0,
         "ABC",
         "aBC",
         0,
         "CB",
         "CB"},
        {"uninstalls and reinstalls",
         1,
         "ABC",
         {{'C', 'U', 'A'}, {'C', 'I', 'A'}},
         0,
         "ABC",
         "ABC",
         0,
         "ABC",
         "ABC"},
        {"installs into one bucket", 1, "AB", {{'A', 'I', 'X'}}, 0, "ABX", "ABX", 0, "ABX", "ABX"},
        // With more buckets a new command joins the running bucket: the least-filled bucket
        // (bucket 0 here) would shift the unrun commands of bucket 1 under the run position.
        {"installs during a pass of bucket 1",
         2,
         "ABCD",
         {{'B', 'I', 'X'}},
         1,
         "BDX",
         "AC|BDX",
         0,
         "AC",
         "AC|BDX"},
        {"installs during a pass of bucket 0",
         2,
         "ABCD",
         {{'A', 'I', 'X'}},
         0,
         "ACX",
         "ACX|DB",
         1,
         "DB",
         "ACX|DB"},
        {"uninstalls a command of another bucket",
         2,
         "ABCD",
         {{'A', 'U', 'B'}},
         0,
         "AC",
         "AC|bD",
         1,
         "D",
         "AC|D"},
        {"deletes commands directly",
         1,
         "ABC",
         {{'B', 'D', 'A'}, {'B', 'D', 'C'}},
         0,
         "AB",
         "_B_",
         0,
         "B",
         "B"},
        {"uninstalls a later command of two buckets",
         2,
         "ABCDE",
         {{'A', 'U', 'C'}},
         0,
         "AE",
         "AE|BD",
         0,
         "AE",
         "AE|BD"},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        TearDown();
        m_Cmds.clear();
        m_Runs.clear();
        m_Destroyed.clear();
        SetUp();
        ASSERT_TRUE(m_Buffer->SetBucketCount(s.buckets));
        for (const char* c = s.installed; *c; ++c)
            Cmd(*c)->Install();
        for (const Action& a : s.actions)
            if (a.runner)
                Cmd(a.runner)->m_Actions.push_back({a.verb, Cmd(a.target)->m_Name});
        m_Buffer->RunBucket(s.firstBucket);
        EXPECT_EQ(m_Runs, s.firstRuns);
        EXPECT_EQ(BufferLayout(), s.layoutAfterFirst);
        m_Runs.clear();
        m_Buffer->RunBucket(s.secondBucket);
        EXPECT_EQ(m_Runs, s.secondRuns);
        EXPECT_EQ(BufferLayout(), s.layoutAfterSecond);
        // Purged commands had only the buffer's reference.
        for (const char* c = s.installed; *c; ++c) {
            const bool listed = std::string(s.layoutAfterSecond).find(*c) != std::string::npos;
            EXPECT_EQ(m_Destroyed.find(*c) != std::string::npos, !listed) << *c;
        }
    }
}

TEST_F(MwCmd, CmdCountCountsPendingCommandsUntilThePurge) {
    for (char c : std::string("ABC"))
        Cmd(c)->Install();
    Cmd('B')->AddRef(); // kept by the test beyond its removal
    Cmd('B')->Uninstall();
    Cmd('C')->Uninstall();

    auto countNow = [&] {
        CMwMemberPath path;
        EXPECT_EQ(path.ParseFromText(CMwNod::s_NoClassId, m_Buffer, CClassicString("CmdCount")),
                  0u);
        CMwParamValue value;
        EXPECT_EQ(m_Buffer->GetParam(&path, &value), 0u);
        u32 count = 0;
        if (value.Value)
            std::memcpy(&count, value.Value, sizeof count);
        return count;
    };
    EXPECT_EQ(countNow(), 3u);
    EXPECT_EQ(BufferLayout(), "Abc");
    m_Buffer->RunBucket(0);
    EXPECT_EQ(countNow(), 1u);
    EXPECT_EQ(m_Runs, "A");
    EXPECT_EQ(m_Destroyed, "C");
    // A purged command keeps its buffer and comes back with Install.
    EXPECT_EQ(Cmd('B')->m_Buffer, m_Buffer);
    EXPECT_EQ(Cmd('B')->m_State, CMwCmd::s_RemovalPending);
    Cmd('B')->Install();
    EXPECT_EQ(countNow(), 2u);
    EXPECT_EQ(Cmd('B')->GetRefCount(), 2);
    Cmd('B')->Release();

    // The member table: IdName, Cmds, CmdCount.
    EXPECT_EQ(m_Buffer->MemberCount(), 3u);
    EXPECT_EQ(m_Buffer->MemberIdByIndex(0), 0x01001000u);
    EXPECT_EQ(m_Buffer->MemberIdByIndex(1), 0x0101c000u);
    EXPECT_EQ(m_Buffer->MemberIdByIndex(2), 0x0101c001u);
    const auto* cmds =
        static_cast<const CMwMemberInfoContainer*>(CMwClassRegistry::GetMemberInfo(0x0101c000));
    ASSERT_NE(cmds, nullptr);
    EXPECT_EQ(cmds->TypeCode, 8u); // a bucket list of Class
    EXPECT_STREQ(cmds->ElementName, "Cmd");
    EXPECT_EQ(cmds->ElementClassInfo, &CMwCmd::s_ClassInfo);
    const auto* field = reinterpret_cast<const unsigned char*>(m_Buffer) + cmds->FieldOffset;
    const auto* items =
        reinterpret_cast<const CFastBuffer<CMwNod*>*>(field + MwBucketListItemsOffset);
    EXPECT_EQ(items->m_Count, 2u);
    EXPECT_EQ(items->m_Items[1], Cmd('B'));
}

TEST_F(MwCmd, BadRequestsAreRefusedWithALogLine) {
    Cmd('A')->Install();
    struct Case {
        const char* name;
        bool (*act)(MwCmd& test);
        const char* line;
    };
    const Case cases[] = {
        {"bucket past the count",
         [](MwCmd& t) {
             t.m_Buffer->RunBucket(1);
             return t.m_Runs.empty();
         },
         "[MwCmdBuffer] Bucket 1 of 1 not run\r\n"},
        {"no bucket",
         [](MwCmd& t) { return !t.m_Buffer->SetBucketCount(0) && t.BufferLayout() == "A"; },
         "[MwCmdBuffer] Bucket count 0 refused (1 to 4096, outside a pass)\r\n"},
        {"too many buckets", [](MwCmd& t) { return !t.m_Buffer->SetBucketCount(0x7FFFFFFF); },
         "[MwCmdBuffer] Bucket count 2147483647 refused (1 to 4096, outside a pass)\r\n"},
        {"another buffer while listed",
         [](MwCmd& t) {
             CMwCmdBuffer other;
             return !t.Cmd('A')->AttachBuffer(&other) && t.Cmd('A')->m_Buffer == t.m_Buffer;
         },
         "[MwCmd] A command cannot change buffers while its buffer lists it\r\n"},
        {"install without a buffer",
         [](MwCmd& t) {
             CMwCmd* loose = new CMwCmd;
             loose->Install();
             const bool unchanged = loose->m_State == 0;
             delete loose;
             return unchanged && t.m_Buffer->m_Cmds.GetCount() == 1;
         },
         "[MwCmd] A command without a buffer cannot be installed\r\n"},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        EXPECT_TRUE(c.act(*this)) << c.name;
        EXPECT_EQ(log.Since(), c.line) << c.name;
    }
}

// Runs a pass of the buffer it is given from inside a pass.
struct CNestedPass {
    CMwCmdBuffer* m_Buffer;
    u32 m_Runs = 0;
    void Step() {
        ++m_Runs;
        m_Buffer->RunBucket(0);
    }
};

TEST_F(MwCmd, FastCallsRunTheirTargetsMethod) {
    struct CCounter {
        u32 m_Steps = 0;
        i32 Step() { return i32(++m_Steps); } // the result is ignored
    } counter;
    CMwCmdFastCall* call = MwMakeFastCall<&CCounter::Step>(&counter);
    EXPECT_EQ(call->m_Target, &counter);
    EXPECT_EQ(call->m_Buffer, nullptr);
    EXPECT_EQ(call->m_State, 0u);
    EXPECT_TRUE(call->AttachBuffer(m_Buffer));
    call->Install();
    EXPECT_EQ(call->GetRefCount(), 1);
    m_Buffer->RunBucket(0);
    m_Buffer->RunBucket(0);
    EXPECT_EQ(counter.m_Steps, 2u);

    // A pass inside a pass of the same buffer is refused; the outer pass goes on.
    call->Uninstall();
    CNestedPass nested{m_Buffer};
    CMwCmdFastCall* inner = MwMakeFastCall<&CNestedPass::Step>(&nested);
    inner->AttachBuffer(m_Buffer);
    inner->Install();
    CLogWatch log;
    m_Buffer->RunBucket(0);
    EXPECT_EQ(nested.m_Runs, 1u);
    EXPECT_EQ(counter.m_Steps, 2u); // purged before the pass
    EXPECT_EQ(log.Since(), "[MwCmdBuffer] Bucket 0 of 1 not run (a pass is running)\r\n");
    m_Buffer->RunBucket(0);
    EXPECT_EQ(nested.m_Runs, 2u);
}

TEST_F(MwCmd, ACommandDeletedWhileListedLeavesItsBuffer) {
    for (char c : std::string("ABC"))
        Cmd(c)->Install();
    CLogWatch log;
    delete Cmd('B');
    EXPECT_EQ(log.Since(), "[MwCmdBuffer] A command was destroyed while its buffer listed it\r\n");
    EXPECT_EQ(BufferLayout(), "AC");
    EXPECT_EQ(m_Buffer->m_Cmds.GetCount(), 2u);
    m_Buffer->RunBucket(0);
    EXPECT_EQ(m_Runs, "AC");
    delete m_Buffer;
    m_Buffer = nullptr;
    EXPECT_EQ(m_Destroyed, "BAC");
}

// Deleting a buffer uninstalls and releases its commands; the ones that live on forget it.
TEST_F(MwCmd, CommandsForgetADeletedBuffer) {
    Cmd('A')->Install(); // only the buffer's reference: destroyed with the buffer
    Cmd('B')->Install(); // kept by the test
    Cmd('C');            // attached, never installed
    Cmd('D')->Install(); // uninstalled and purged: no longer listed
    Cmd('E');            // destroyed before the buffer
    for (char c : std::string("BCD"))
        Cmd(c)->AddRef();
    Cmd('D')->Uninstall();
    m_Buffer->RunBucket(0);
    EXPECT_EQ(BufferLayout(), "AB");
    delete Cmd('E');
    m_Cmds.erase('E');
    m_Runs.clear();

    delete m_Buffer;
    m_Buffer = nullptr;
    EXPECT_EQ(m_Destroyed, "EA");
    for (char c : std::string("BCD")) {
        EXPECT_EQ(Cmd(c)->m_Buffer, nullptr) << c;
        EXPECT_EQ(Cmd(c)->GetRefCount(), 1) << c;
    }
    EXPECT_EQ(Cmd('B')->m_State, CMwCmd::s_RemovalPending);

    // Installing them again finds no buffer: a log line, nothing else.
    CLogWatch log;
    Cmd('B')->Install();
    Cmd('D')->Install();
    Cmd('B')->Uninstall();
    EXPECT_EQ(Cmd('B')->m_State, CMwCmd::s_RemovalPending);
    EXPECT_EQ(log.Since(), "[MwCmd] A command without a buffer cannot be installed\r\n"
                           "[MwCmd] A command without a buffer cannot be installed\r\n");
    for (char c : std::string("BCD"))
        Cmd(c)->Release();
    EXPECT_EQ(m_Destroyed, "EABCD");
}

// A command that deletes the buffer running it ends the pass there: the commands after it do not
// run, and it lives until its Run is over even when the buffer held the only reference on it.
TEST_F(MwCmd, ACommandDeletingItsBufferEndsThePass) {
    for (const bool kept : {false, true}) {
        SCOPED_TRACE(kept ? "kept by the test" : "only the buffer's reference");
        TearDown();
        m_Cmds.clear();
        m_Runs.clear();
        m_Destroyed.clear();
        SetUp();
        for (char c : std::string("ABC"))
            Cmd(c)->Install();
        if (kept)
            Cmd('B')->AddRef();
        // B goes on after the deletion and reads its own state again.
        Cmd('B')->m_Actions = {{'X', 'B'}, {'U', 'B'}};
        m_Buffer->RunBucket(0);
        EXPECT_EQ(m_Buffer, nullptr);
        EXPECT_EQ(m_Runs, "AB");
        EXPECT_EQ(m_Destroyed, kept ? "AC" : "ACB");
        if (kept) {
            EXPECT_EQ(Cmd('B')->GetRefCount(), 1);
            EXPECT_EQ(Cmd('B')->m_Buffer, nullptr);
            EXPECT_EQ(Cmd('B')->m_State, CMwCmd::s_RemovalPending);
            Cmd('B')->Release();
            EXPECT_EQ(m_Destroyed, "ACB");
        }
    }
}

} // namespace
