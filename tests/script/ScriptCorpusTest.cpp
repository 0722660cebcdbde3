// The seeds of the script archive fuzz target, replayed as the target does: each loads, binds and
// goes without leaving a nod behind, and the sample tree's seeds are what the writers give today.
#include "script/base/MwCmdScript.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptSamples.h"

#include <cstdio>
#include <filesystem>

namespace {

class ScriptCorpus : public CScriptFixture {};

const std::filesystem::path kCorpus =
    std::filesystem::path(ENGINE_TEST_SOURCE_DIR) / "fuzz" / "corpus" / "ScriptArchiveFuzz";

TEST_F(ScriptCorpus, SeedsLoadBindAndGo) {
    // The drives are mounted once, on first use: not by a seed.
    ASSERT_NE(m_Host->Engine().GetDataFolder(), nullptr);
    u32 seeds = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        const u32 before = CMwNod::GetLiveNodCount();
        {
            const TNodRef<CMwNod> nod = ScriptLoadImage(ReadWholeFile(entry.path().string()));
            ASSERT_TRUE(nod);
            if (nod->IsKindOf(CMwCmdScript::s_ClassId))
                static_cast<CMwCmdScript*>(nod.Get())->Bind(nullptr);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
        ++seeds;
    }
    EXPECT_GE(seeds, 151u);
    const auto upToDate = [](const std::string& name, const std::string& image) {
        EXPECT_EQ(ReadWholeFile((kCorpus / name).string()), image)
            << name << " is out of date: write the corpus again with MakeScriptCorpus";
    };
    const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
    const TNodRef<CMwCmdBlock> expressions = MakeExpressionTree();
    const TNodRef<CMwCmdBlock> statements = MakeStatementTree();
    for (bool text : {false, true}) {
        const std::string suffix = text ? "-text.Zun" : "-binary.Zun";
        upToDate("block-tree" + suffix, ScriptSaveImage(tree.Get(), true, text));
        upToDate("expression-tree" + suffix, ScriptSaveImage(expressions.Get(), true, text));
        upToDate("statement-tree" + suffix, ScriptSaveImage(statements.Get(), true, text));
    }
    // Every expression class has its seed.
    for (u32 classId : ScriptExpressionClassIds()) {
        const TNodRef<CMwCmdExp> sample(NewSampleExpression(classId));
        upToDate(std::string("expression-") + sample->GetClassInfo()->m_Name + ".Zun",
                 ScriptSaveImage(sample.Get(), true, false));
    }
    // And every assignment, member-statement and extern-variable class, and the older chunks.
    for (u32 classId : ScriptStatementClassIds()) {
        const TNodRef<CMwNod> sample(NewSampleStatement(classId));
        upToDate(std::string("statement-") + sample->GetClassInfo()->m_Name + ".Zun",
                 ScriptSaveImage(sample.Get(), true, false));
    }
    for (u32 chunk : kOlderOutsideExpressionChunks) {
        char name[64];
        std::snprintf(name, sizeof name, "expression-older-%08x-binary.Zun", chunk);
        upToDate(name, OlderOutsideExpressionFixture(false, chunk));
    }
    for (u32 chunk : kOlderMemberStatementChunks) {
        char name[64];
        std::snprintf(name, sizeof name, "statement-older-%08x-binary.Zun", chunk);
        upToDate(name, OlderMemberStatementFixture(false, chunk));
    }
}

} // namespace
