// Name ids and the name pool.
#include "core/nod/MwId.h"

#include "CoreTestSupport.h"
#include "core/base/ClassicHash.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class MwId : public ::testing::Test {
protected:
    void SetUp() override { CMwIdTable::Create(); }
    void TearDown() override { CMwIdTable::Destroy(); }
};

std::string Text(CMwId id) {
    CClassicString text;
    id.GetText(text);
    return std::string(text.GetText(), text.GetLength());
}

TEST_F(MwId, KindsAndTexts) {
    struct Case {
        CMwId id;
        const char* text;
    };
    const Case cases[] = {
        {CMwId::FromValue(0), "Id0"},
        {CMwId::FromValue(0x3FFFFFFF), "Id1073741823"},
        {CMwId(), "Unassigned"},
        {CMwId::FromValue(0xC0000001), "Unassigned"},
        {CMwId::FromName("Unassigned"), "Unassigned"},
        {CMwId::FromName(""), "Unassigned"},
        {CMwId::FromName(nullptr), "Unassigned"},
        {CMwId::FromName("unassigned"), "unassigned"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Text(c.id), c.text) << std::hex << c.id.m_Value;
    EXPECT_EQ(CMwId::FromName("").m_Value, 0xFFFFFFFFu);
    EXPECT_EQ(CMwId::FromName("unassigned").GetKind(), CMwId::KindName);
    EXPECT_EQ(CMwId::FromValue(7).GetChars(), nullptr);
    EXPECT_EQ(CMwId().ToString().GetLength(), 10u);
}

TEST_F(MwId, InterningGivesOneIdPerName) {
    const CMwId a = CMwId::FromName("A"), b = CMwId::FromName("B");
    EXPECT_EQ(CMwId::FromName("A"), a);
    EXPECT_NE(a, b);
    EXPECT_EQ(Text(a), "A");
    EXPECT_EQ(Text(b), "B");
    // The first level has 10007 slots; a name's place is its hash modulo that.
    u32 length = 0;
    EXPECT_EQ(a.m_Value, 0x40000000u | (ClassicHashPjw("A", &length) % 10007));
}

TEST_F(MwId, NameCharactersStayValidWhilePoolGrows) {
    const CMwId first = CMwId::FromName("first-name");
    const char* chars = first.GetChars();
    std::vector<CMwId> ids;
    for (int i = 0; i < 20000; ++i)
        ids.push_back(CMwId::FromName(("some-rather-long-name-" + std::to_string(i)).c_str()));
    EXPECT_EQ(first.GetChars(), chars);
    EXPECT_STREQ(chars, "first-name");
    for (int i = 0; i < 20000; i += 997)
        EXPECT_EQ(Text(ids[i]), "some-rather-long-name-" + std::to_string(i));
    // Names that collide in the first level spill into further levels.
    EXPECT_NE(ids.back().m_Value & 0x3FFF0000, 0u);
}

// Names with one hash share their whole probe sequence: 32 levels of 5 probes hold 160 of them,
// and the next can be placed nowhere. It stays unassigned and the log says so.
TEST_F(MwId, AFullProbeSequenceLeavesTheNameUnassigned) {
    std::vector<std::string> names;
    const int target = ((64 * 16 + 64) * 16 + 64) * 16 + 64;
    for (int a = 60; a <= 68 && names.size() < 161; ++a)
        for (int b = 1; b <= 127 && names.size() < 161; ++b)
            for (int c = 1; c <= 127 && names.size() < 161; ++c) {
                const int d = target - ((a * 16 + b) * 16 + c) * 16;
                if (d >= 1 && d <= 127)
                    names.push_back(std::string{char(a), char(b), char(c), char(d)});
            }
    ASSERT_EQ(names.size(), 161u);
    for (size_t i = 0; i < 160; ++i)
        ASSERT_TRUE(CMwId::FromName(names[i].c_str()).IsName()) << i;
    CLogWatch log;
    EXPECT_EQ(CMwId::FromName(names[160].c_str()).m_Value, CMwId::Unassigned);
    EXPECT_NE(log.Since().find("[MwId] Name pool full"), std::string::npos);
    EXPECT_EQ(Text(CMwId::FromName(names[10].c_str())), names[10]);
}

TEST_F(MwId, AnIdOutsideThePoolReadsAsEmpty) {
    CLogWatch log;
    EXPECT_EQ(Text(CMwId::FromValue(0x4005FFFF)), ""); // level 5 is not in use
    EXPECT_EQ(CMwId::FromValue(0x80000003).GetChars(), nullptr);
    EXPECT_NE(log.Since().find("[MwId] Name id 0x4005ffff is not in the name pool"),
              std::string::npos);
}

TEST(MwIdTable, HooksAreToldOfCreationAndDestruction) {
    static std::vector<int> calls;
    static CMwIdTable::CHook first, second;
    CMwIdTable::AddHook(&first, [](int created) { calls.push_back(created ? 1 : 0); });
    CMwIdTable::AddHook(&second, [](int created) { calls.push_back(created ? 11 : 10); });
    CMwIdTable::Create();
    EXPECT_TRUE(CMwIdTable::IsCreated());
    CMwIdTable::Destroy();
    EXPECT_FALSE(CMwIdTable::IsCreated());
    EXPECT_EQ(calls, (std::vector<int>{11, 1, 10, 0}));
    EXPECT_EQ(CMwId::FromName("no pool").m_Value, CMwId::Unassigned);
}

} // namespace
