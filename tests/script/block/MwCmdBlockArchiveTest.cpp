// Blocks in archives: round trips in both encodings, the release flag, the older body chunk, the
// stored layout against the fixture writer, and the invalid data a load refuses.
#include "script/block/MwCmdBlock.h"
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptSamples.h"

#include <string>

namespace {

class MwCmdBlockArchive : public CScriptFixture {};

constexpr u32 kBlock = CMwCmdBlock::s_ClassId;

CMwCmdBlock* AsBlock(const TNodRef<CMwNod>& nod) {
    return nod && nod->IsKindOf(kBlock) ? static_cast<CMwCmdBlock*>(nod.Get()) : nullptr;
}

// Saved in release format, a tree of blocks, statements and variables of every type loads back
// equal in both encodings, its statements held once each and its live table rebuilt.
TEST_F(MwCmdBlockArchive, RoundTrips) {
    const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const std::string image = ScriptSaveImage(tree.Get(), true, text);
        ASSERT_FALSE(image.empty());
        const TNodRef<CMwNod> loaded = ScriptLoadImage(image);
        CMwCmdBlock* block = AsBlock(loaded);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(ScriptSameTrees(tree.Get(), block, true));
        ASSERT_EQ(block->m_Cmds.m_Count, 3u);
        for (u32 i = 0; i < 3; ++i)
            EXPECT_EQ(block->m_Cmds.m_Items[i]->GetRefCount(), 1);
        EXPECT_EQ(block->m_LiveVariables.m_Count, 20u);
        const CBlockVariable* c = block->FindLocalVariable("c");
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->m_Type, u32(BlockVariable_Class));
        EXPECT_EQ(c->m_Id, CScriptTestObject::s_ClassId);
        auto* nested = static_cast<CMwCmdBlock*>(block->m_Cmds.m_Items[1]);
        ASSERT_TRUE(nested->IsKindOf(kBlock));
        EXPECT_EQ(nested->GetFrameVariables().m_Items[0].m_Flag, 1u);
        // The loaded tree runs as the built one does.
        block->Bind(nullptr);
        block->Run();
    }
    EXPECT_EQ(ScriptTestTrace(), "abcabc");
}

// The classes' writers and the fixture writer give the same bytes for the same content; a
// variable record carries its id only for Class and Enum variables, in hexadecimal in text.
TEST_F(MwCmdBlockArchive, StoredLayout) {
    const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const std::string fixture = SampleTreeFixture(text, CMwCmdBlock::s_BodyChunk);
        EXPECT_EQ(ScriptSaveImage(tree.Get(), true, text), fixture);
        if (text) {
            EXPECT_NE(fixture.find("c\r\nFalse\r\n4\r\n1fc1000\r\n"), std::string::npos);
            EXPECT_NE(fixture.find("e\r\nFalse\r\n5\r\n1030001\r\n"), std::string::npos);
            EXPECT_NE(fixture.find("f\r\nFalse\r\n2\r\ns\r\n"), std::string::npos);
        }
    }
}

// Without the release flag the body chunk is written empty: the block loads without statements
// or variables.
TEST_F(MwCmdBlockArchive, WithoutTheReleaseFlag) {
    const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const TNodRef<CMwNod> loaded = ScriptLoadImage(ScriptSaveImage(tree.Get(), false, text));
        CMwCmdBlock* block = AsBlock(loaded);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(block->m_Cmds.m_Count, 0u);
        EXPECT_EQ(block->m_PersistentVariables.m_Count, 0u);
        EXPECT_EQ(block->GetFrameVariables().m_Count, 0u);
        EXPECT_EQ(block->m_LiveVariables.m_Count, 0u);
    }
    CScriptFixtureWriter w(false);
    w.Chunk(CMwCmdBlock::s_BodyChunk).End();
    EXPECT_EQ(ScriptSaveImage(tree.Get(), false, false), w.Image(kBlock, false));
}

// The older body chunk, read in any archive, loads as the same body under the current chunk; the
// three empty older chunks read nothing; a later body replaces the variables of an earlier one.
TEST_F(MwCmdBlockArchive, OlderChunks) {
    const TNodRef<CMwCmdBlock> tree = MakeSampleTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const TNodRef<CMwNod> old =
            ScriptLoadImage(SampleTreeFixture(text, CMwCmdBlock::s_OldBodyChunk));
        ASSERT_NE(AsBlock(old), nullptr);
        EXPECT_TRUE(ScriptSameTrees(tree.Get(), old.Get(), true));

        const u32 before = CMwNod::GetLiveNodCount();
        {
            const TNodRef<CMwNod> loaded = ScriptLoadImage(SampleReplacedBodyFixture(text));
            CMwCmdBlock* block = AsBlock(loaded);
            ASSERT_NE(block, nullptr);
            ASSERT_EQ(block->m_Cmds.m_Count, 1u);
            EXPECT_EQ(static_cast<CScriptTestCmd*>(block->m_Cmds.m_Items[0])->m_Tag, 9u);
            EXPECT_NE(block->FindLocalVariable("late"), nullptr);
            EXPECT_EQ(block->FindLocalVariable("early"), nullptr);
            // The block, its statement and "late" in frame 0 and in the live table.
            EXPECT_EQ(CMwNod::GetLiveNodCount(), before + 4);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
}

// Invalid data fails the load with one line naming the class and the chunk, and leaves nothing
// behind: required children that are null, not statements, part of a cycle or held twice; a
// variable type past 9; counts beyond what the data holds.
TEST_F(MwCmdBlockArchive, InvalidDataIsRefused) {
    using FWrite = void (*)(CScriptFixtureWriter&);
    struct SCase {
        const char* Name;
        FWrite Write;
        u32 MainClassId = kBlock;
        const char* Line = "Script Warning : Invalid script data in CMwCmdBlock, chunk 0x01030004";
    };
    const SCase cases[] = {
        {"null statement",
         [](CScriptFixtureWriter& w) { w.Chunk(0x01030004).U32(1).NullRef().U32(0).U32(0).End(); }},
        {"not a statement",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(1).NewNod(CScriptTestObject::s_ClassId).End();
             w.U32(0).U32(0).End();
         }},
        {"variable type past 9",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(0).U32(1).Variable("v", 0, 10).U32(0).End();
         }},
        {"statement count past the data",
         [](CScriptFixtureWriter& w) { w.Chunk(0x01030004).U32(1000).U32(0).U32(0).End(); }},
        {"record count past the data",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(0).U32(0).U32(100).Variable("v", 0, 1).End();
         }},
        {"statement count past the limit",
         [](CScriptFixtureWriter& w) { w.Chunk(0x01030004).U32(0x80000000).End(); }},
        {"the block in its own list",
         [](CScriptFixtureWriter& w) { w.Chunk(0x01030004).U32(1).Ref(0).U32(0).U32(0).End(); }},
        {"an ancestor in a nested list",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(1).NewNod(kBlock);
             w.Chunk(0x01030004).U32(1).Ref(0).U32(0).U32(0).End();
             w.U32(0).U32(0).End();
         }},
        {"one statement twice",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(2);
             WriteTestCmd(w, 1);
             w.Ref(1).U32(0).U32(0).End();
         }},
        {"one statement in two blocks",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030004).U32(2).NewNod(kBlock).Chunk(0x01030004).U32(1);
             WriteTestCmd(w, 1); // node 2
             w.U32(0).U32(0).End();
             w.NewNod(kBlock).Chunk(0x01030004).U32(1).Ref(2).U32(0).U32(0).End();
             w.U32(0).U32(0).End();
         }},
        {"a second body over statements",
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01030003).U32(1);
             WriteTestCmd(w, 1);
             w.U32(0).U32(0).Chunk(0x01030004).U32(1).Ref(1).U32(0).U32(0).End();
         }},
        {"variable nod of type 10",
         [](CScriptFixtureWriter& w) { w.Chunk(0x01080000).String("v").Bool(0).U32(10).End(); },
         CBlockVariable::s_ClassId,
         "Script Warning : Invalid script data in CBlockVariable, chunk 0x01080000"},
    };
    for (const SCase& c : cases) {
        for (bool text : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Name << (text ? " (text)" : " (binary)"));
            CScriptFixtureWriter w(text);
            c.Write(w);
            ExpectScriptLoadRefused(w.Image(c.MainClassId, true), c.Line);
        }
    }
}

} // namespace
