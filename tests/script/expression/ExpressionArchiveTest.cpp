// Expressions in archives: a tree of every class saved in release format loads back equal in
// both encodings; the stored layouts of a computed and a kept value; an Enum whose class is
// missing; the function-call operand's form and its link to the function; and the invalid data a
// load refuses.
#include "tests/script/ScriptTestSupport.h"
#include "tests/script/support/ScriptSamples.h"

namespace {

class ExpressionArchive : public CScriptFixture {};

// Each class's sample alone, then all of them in one block: saved in release format they load
// back equal in both encodings, every operand held once, and run to the same values.
TEST_F(ExpressionArchive, RoundTrips) {
    ExpectSamplesRoundTrip(ScriptExpressionClassIds(),
                           [](u32 classId) { return NewSampleExpression(classId); });
    const TNodRef<CMwCmdBlock> tree = MakeExpressionTree();
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const u32 before = CMwNod::GetLiveNodCount();
        {
            const TNodRef<CMwNod> loaded = ScriptLoadImage(ScriptSaveImage(tree.Get(), true, text));
            CMwCmdBlock* block = ScriptNodAs<CMwCmdBlock>(loaded);
            ASSERT_NE(block, nullptr);
            ASSERT_EQ(block->m_Cmds.m_Count, tree->m_Cmds.m_Count);
            EXPECT_TRUE(ScriptSameTrees(tree.Get(), block, true));
            block->Bind(nullptr);
            block->Run();
            // Run again, the loaded tree saves as the built one.
            EXPECT_TRUE(ScriptSameTrees(tree.Get(), block, true));
            auto* add = static_cast<CMwCmdExpAdd*>(block->m_Cmds.m_Items[2]);
            ASSERT_TRUE(add->IsKindOf(CMwCmdExpAdd::s_ClassId));
            EXPECT_EQ(add->m_Value1->GetRefCount(), 1);
            EXPECT_EQ(add->GetFloat(), 9.5f);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
    }
}

// A computed Num stores its last type and no value; Neg stores both; the classes' writers give
// the layout's bytes, and the stored form loads back.
TEST_F(ExpressionArchive, StoredLayouts) {
    const TNodRef<CMwCmdExp> add(NewSampleExpression(CMwCmdExpAdd::s_ClassId));
    const TNodRef<CMwCmdExp> neg(NewSampleExpression(CMwCmdExpNeg::s_ClassId));
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ScriptSaveImage(add.Get(), true, text), SavedAddFixture(text));
        EXPECT_EQ(ScriptSaveImage(neg.Get(), true, text), SavedNegFixture(text));
        const TNodRef<CMwNod> loaded = ScriptLoadImage(SavedNegFixture(text));
        const auto* node = ScriptNodAs<CMwCmdExpNeg>(loaded);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->GetInt(), 5);
        EXPECT_EQ(node->m_Operand->GetInt(), -5);
        const TNodRef<CMwNod> sum = ScriptLoadImage(SavedAddFixture(text));
        ASSERT_NE(ScriptNodAs<CMwCmdExpAdd>(sum), nullptr);
        EXPECT_EQ(ScriptNodAs<CMwCmdExpAdd>(sum)->m_Type, CmdExpNum_Float);
        EXPECT_EQ(ScriptNodAs<CMwCmdExpAdd>(sum)->m_Value, 0u); // no value stored
    }
    // A text archive writes a comparison's value chunk empty and a Bool's value as a word.
    const TNodRef<CMwCmdExp> sup(NewSampleExpression(CMwCmdExpSup::s_ClassId));
    CScriptFixtureWriter w(true);
    w.Chunk(CMwCmdExpBool::s_Chunk).Chunk(CMwCmdExpBoolBin::s_OperandChunk);
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(1).End();
    w.NewNod(CMwCmdExpNum::s_ClassId).Chunk(CMwCmdExpNum::s_Chunk).U32(1).Float(0.5f).End();
    w.End();
    EXPECT_EQ(ScriptSaveImage(sup.Get(), true, true), w.Image(CMwCmdExpSup::s_ClassId, true));
}

// An Enum whose enumeration's class is not registered loads with none and writes member id 0;
// one whose class is there keeps its member id.
TEST_F(ExpressionArchive, EnumOfAMissingClass) {
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const TNodRef<CMwNod> missing = ScriptLoadImage(EnumFixture(text, 0x01FFF003));
        ASSERT_NE(ScriptNodAs<CMwCmdExpEnum>(missing), nullptr);
        EXPECT_EQ(ScriptNodAs<CMwCmdExpEnum>(missing)->m_Enumeration, nullptr);
        EXPECT_EQ(ScriptNodAs<CMwCmdExpEnum>(missing)->m_Value, 2u);
        EXPECT_EQ(ScriptSaveImage(missing.Get(), true, text), EnumFixture(text, 0));
        const u32 mode = CScriptTestObject::s_ModeMemberId;
        const TNodRef<CMwNod> present = ScriptLoadImage(EnumFixture(text, mode));
        ASSERT_NE(ScriptNodAs<CMwCmdExpEnum>(present), nullptr);
        EXPECT_EQ(ScriptSaveImage(present.Get(), true, text), EnumFixture(text, mode));
    }
}

// The call operand of a function node: the function is held by a dependant link, the arguments
// by a reference each; a form other than 0 ends the operand; everything goes with the node.
TEST_F(ExpressionArchive, FunctionCallOperand) {
    const TNodRef<CMwCmdExp> sample(NewSampleExpression(CMwCmdExpNumFunction::s_ClassId));
    for (bool text : {false, true}) {
        SCOPED_TRACE(text);
        const u32 before = CMwNod::GetLiveNodCount();
        {
            const TNodRef<CMwNod> loaded =
                ScriptLoadImage(ScriptSaveImage(sample.Get(), true, text));
            const auto* node = ScriptNodAs<CMwCmdExpNumFunction>(loaded);
            ASSERT_NE(node, nullptr);
            ASSERT_NE(node->m_Call.m_Function, nullptr);
            EXPECT_EQ(node->m_Call.m_Function->GetRefCount(), 0);
            EXPECT_EQ(node->m_Call.m_Function->GetDependantCount(), 1u);
            ASSERT_EQ(node->m_Call.m_Arguments.m_Count, 3u);
            EXPECT_EQ(node->m_Call.m_Arguments.m_Items[0]->GetRefCount(), 1);
            EXPECT_EQ(node->m_Call.m_Arguments.m_Items[1], nullptr);
            EXPECT_EQ(node->m_Call.m_Arguments.m_Items[2]->m_ValueKind, CmdExpValue_String);
        }
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before);

        CScriptFixtureWriter w(text);
        w.Chunk(CMwCmdExpNum::s_Chunk).U32(1);
        w.Chunk(CMwCmdExpNumFunction::s_FunctionChunk).NullRef().U32(11).U32(1).End();
        const TNodRef<CMwNod> other =
            ScriptLoadImage(w.Image(CMwCmdExpNumFunction::s_ClassId, true));
        ASSERT_NE(ScriptNodAs<CMwCmdExpNumFunction>(other), nullptr);
        EXPECT_EQ(ScriptNodAs<CMwCmdExpNumFunction>(other)->m_Call.m_Function, nullptr);
        CScriptFixtureWriter saved(text);
        saved.Chunk(CMwCmdExpNum::s_Chunk).U32(1);
        saved.Chunk(CMwCmdExpNumFunction::s_FunctionChunk).NullRef().U32(11).U32(0).NullRef();
        saved.U32(0).End();
        EXPECT_EQ(ScriptSaveImage(other.Get(), true, text),
                  saved.Image(CMwCmdExpNumFunction::s_ClassId, true));
    }
}

// The link to the function: released to zero elsewhere, the function lets the node forget it and
// goes; held elsewhere, it outlives the node; held by nothing else, it goes with the node.
TEST_F(ExpressionArchive, FunctionLink) {
    const u32 before = CMwNod::GetLiveNodCount();
    {
        TNodRef<CMwCmdBlock> function = MakeBlock({});
        const TNodRef<CMwCmdExpNumFunction> node(NewNumFunction(script::NumFunction_Call, nullptr));
        node->m_Call.SetFunction(function.Get());
        function.Reset();
        EXPECT_EQ(node->m_Call.m_Function, nullptr);
        EXPECT_EQ(CMwNod::GetLiveNodCount(), before + 1);
    }
    {
        const TNodRef<CMwCmdBlock> function = MakeBlock({});
        {
            const TNodRef<CMwCmdExpNumFunction> node(
                NewNumFunction(script::NumFunction_Call, nullptr));
            node->m_Call.SetFunction(function.Get());
        }
        EXPECT_EQ(function->GetDependantCount(), 0u);
        EXPECT_EQ(function->GetRefCount(), 1);
    }
    {
        // A function whose body calls it: both go when the last reference is given back.
        TNodRef<CMwCmdBlock> function = MakeBlock({});
        CMwCmdExpNumFunction* node = NewNumFunction(script::NumFunction_Call, nullptr);
        function->AddCmd(node);
        node->m_Call.SetFunction(function.Get());
        function.Reset();
    }
    EXPECT_EQ(CMwNod::GetLiveNodCount(), before);
}

// Invalid data fails the load with one line naming the class and the chunk, and leaves nothing
// behind: operands that are null, missing, of another value kind, not expressions, part of a
// cycle or held twice; a function that is not a block; a call operand stored twice; a count past
// the data.
TEST_F(ExpressionArchive, InvalidDataIsRefused) {
    using FWrite = void (*)(CScriptFixtureWriter&);
    constexpr u32 kNum = CMwCmdExpNum::s_ClassId;
    struct SCase {
        const char* Name;
        u32 MainClassId;
        FWrite Write;
        const char* Line;
    };
    static constexpr auto Int = [](CScriptFixtureWriter& w, i32 value) {
        w.NewNod(kNum).Chunk(CMwCmdExpNum::s_Chunk).U32(0).Int(value).End();
    };
    static constexpr auto Text = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpString::s_ClassId).Chunk(CMwCmdExpString::s_Chunk).String("x").End();
    };
    static constexpr auto Vec2 = [](CScriptFixtureWriter& w) {
        w.NewNod(CMwCmdExpVec2::s_ClassId).Chunk(CMwCmdExpVec2::s_Chunk).NullRef().NullRef().End();
    };
    const SCase cases[] = {
        {"a null operand", CMwCmdExpAdd::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01053000).NullRef();
             Int(w, 1);
             w.End();
         },
         "CMwCmdExpAdd, chunk 0x01053000"},
        {"an operand of another kind", CMwCmdExpSub::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01053000);
             Int(w, 1);
             Text(w);
             w.End();
         },
         "CMwCmdExpSub, chunk 0x01053000"},
        {"a Num under And", CMwCmdExpAnd::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x0103b000).Bool(0).Chunk(0x0103a000);
             Int(w, 1);
             Int(w, 1);
             w.End();
         },
         "CMwCmdExpAnd, chunk 0x0103A000"},
        {"a block under Egal", CMwCmdExpEgal::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01040000).NewNod(CMwCmdBlock::s_ClassId).End();
             Int(w, 1);
             w.End();
         },
         "CMwCmdExpEgal, chunk 0x01040000"},
        {"no operand chunk", CMwCmdExpMult::s_ClassId,
         [](CScriptFixtureWriter& w) { w.Chunk(0x01046000).U32(0).End(); },
         "CMwCmdExpMult, chunk 0x01053000"},
        {"no operand chunk, one operand", CMwCmdExpNot::s_ClassId,
         [](CScriptFixtureWriter& w) { w.Chunk(0x0103b000).Bool(1).End(); },
         "CMwCmdExpNot, chunk 0x01045000"},
        {"the node as its own operand", CMwCmdExpDiv::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01053000).Ref(0);
             Int(w, 1);
             w.End();
         },
         "CMwCmdExpDiv, chunk 0x01053000"},
        {"one operand twice", CMwCmdExpPower::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01053000);
             Int(w, 1);
             w.Ref(1).End();
         },
         "CMwCmdExpPower, chunk 0x01053000"},
        {"a component of another kind", CMwCmdExpVec2::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x0105c000);
             Text(w);
             w.NullRef().End();
         },
         "CMwCmdExpVec2, chunk 0x0105C000"},
        {"a Vec2 among an Iso4's operands", CMwCmdExpIso4::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01062000).NullRef();
             Vec2(w);
             w.NullRef().NullRef().End();
         },
         "CMwCmdExpIso4, chunk 0x01062000"},
        {"a Vec2 where MultIso takes an Iso4", CMwCmdExpVec3MultIso::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x0105f000).Chunk(0x0108d000);
             w.NewNod(CMwCmdExpVec3::s_ClassId).Chunk(0x0105f000).NullRef().NullRef().NullRef();
             w.End();
             Vec2(w);
             w.End();
         },
         "CMwCmdExpVec3MultIso, chunk 0x0108D000"},
        {"a null under Iso4Inverse", CMwCmdExpIso4Inverse::s_ClassId,
         [](CScriptFixtureWriter& w) { w.Chunk(0x01063000).NullRef().End(); },
         "CMwCmdExpIso4Inverse, chunk 0x01063000"},
        {"a Vec2 under DotProduct3", CMwCmdExpNumDotProduct3::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01055000);
             Vec2(w);
             Vec2(w);
             w.End();
         },
         "CMwCmdExpNumDotProduct3, chunk 0x01055000"},
        {"a String argument of a function", CMwCmdExpNumFunction::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01055000);
             Text(w);
             w.U32(1).End();
         },
         "CMwCmdExpNumFunction, chunk 0x01055000"},
        {"a function that is not a block", CMwCmdExpNumFunction::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01055000).NullRef().U32(11).U32(0);
             Int(w, 1);
             w.U32(0).End();
         },
         "CMwCmdExpNumFunction, chunk 0x01055000"},
        {"a call stored twice", CMwCmdExpNumFunction::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01055000).NullRef().U32(11).U32(0).NewNod(CMwCmdBlock::s_ClassId).End();
             w.U32(0);
             w.Chunk(0x01055000).NullRef().U32(11).U32(0).NullRef().U32(0).End();
         },
         "CMwCmdExpNumFunction, chunk 0x01055000"},
        {"an argument count past the data", CMwCmdExpNumFunction::s_ClassId,
         [](CScriptFixtureWriter& w) {
             w.Chunk(0x01055000).NullRef().U32(11).U32(0).NullRef().U32(5000).End();
         },
         "CMwCmdExpNumFunction, chunk 0x01055000"},
    };
    for (const SCase& c : cases) {
        for (bool text : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.Name << (text ? " (text)" : " (binary)"));
            CScriptFixtureWriter w(text);
            c.Write(w);
            ExpectScriptLoadRefused(w.Image(c.MainClassId, true),
                                    std::string("Script Warning : Invalid script data in ") +
                                        c.Line);
        }
    }
}

} // namespace
