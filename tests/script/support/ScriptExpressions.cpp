#include "tests/script/support/ScriptExpressions.h"

#include "core/nod/MwClassInfo.h"
#include "script/expression/MwCmdExpParam.h"
#include "script/expression/MwCmdExpStringOps.h"
#include "tests/script/support/ScriptStatements.h"
#include "tests/script/support/ScriptTestNods.h"

#include <bit>

CMwCmdExpNum* NewNum(u32 type, u32 word) {
    auto* node = new CMwCmdExpNum;
    node->SetNum({type, word});
    return node;
}

CMwCmdExpNum* NewInt(i32 value) {
    return NewNum(CmdExpNum_Int, std::bit_cast<u32>(value));
}

CMwCmdExpNum* NewFloat(f32 value) {
    return NewNum(CmdExpNum_Float, std::bit_cast<u32>(value));
}

CMwCmdExpBool* NewBool(u32 value) {
    auto* node = new CMwCmdExpBool;
    node->m_Value = value;
    return node;
}

CMwCmdExpString* NewString(const char* text) {
    auto* node = new CMwCmdExpString;
    node->m_String.Assign(text);
    return node;
}

CMwCmdExpEnum* NewEnum(u32 index, u32 memberId) {
    auto* node = new CMwCmdExpEnum;
    node->m_Value = index;
    node->SetEnumMemberId(memberId);
    return node;
}

CMwCmdExpClass* NewClass(u32 classId, CMwNod* value) {
    auto* node = new CMwCmdExpClass;
    node->m_ClassId = classId;
    node->m_Value = value;
    return node;
}

CMwCmdExpVec2* NewVec2(CMwCmdExpNum* x, CMwCmdExpNum* y) {
    auto* node = new CMwCmdExpVec2;
    node->m_Exp1 = ScriptHold(x);
    node->m_Exp2 = ScriptHold(y);
    return node;
}

CMwCmdExpVec3* NewVec3(CMwCmdExpNum* x, CMwCmdExpNum* y, CMwCmdExpNum* z) {
    auto* node = new CMwCmdExpVec3;
    node->m_Exp1 = ScriptHold(x);
    node->m_Exp2 = ScriptHold(y);
    node->m_Exp3 = ScriptHold(z);
    return node;
}

CMwCmdExpVec3* NewFloatVec3(f32 x, f32 y, f32 z) {
    return NewVec3(NewFloat(x), NewFloat(y), NewFloat(z));
}

CMwCmdExpIso4* NewIso4(CMwCmdExpVec3* axisX, CMwCmdExpVec3* axisY, CMwCmdExpVec3* axisZ,
                       CMwCmdExpVec3* translation) {
    auto* node = new CMwCmdExpIso4;
    node->m_Exp1 = ScriptHold(axisX);
    node->m_Exp2 = ScriptHold(axisY);
    node->m_Exp3 = ScriptHold(axisZ);
    node->m_Exp4 = ScriptHold(translation);
    return node;
}

CMwCmdExpNumFunction* NewNumFunction(u32 kind, CMwCmdExpNum* argument) {
    auto* node = new CMwCmdExpNumFunction;
    node->m_Kind = kind;
    node->m_Argument = ScriptHold(argument);
    return node;
}

CMwCmdExpStringUpDownCase* NewUpDownCase(CMwCmdExpString* source, u32 upper) {
    auto* node = NewUnary<CMwCmdExpStringUpDownCase>(source);
    node->m_Upper = upper;
    return node;
}

CMwCmdExpClassThis* NewClassThis(u32 classId) {
    auto* node = new CMwCmdExpClassThis;
    node->m_ClassId = classId;
    return node;
}

CMwCmdExpNumIdent* NewNumIdent(const char* name, i32 component) {
    auto* node = NewIdent<CMwCmdExpNumIdent>(name);
    node->m_Component = component;
    return node;
}

const std::vector<u32>& ScriptExpressionClassIds() {
    static const std::vector<u32> ids = {
        0x01046000, 0x01053000, 0x01039000, 0x0104b000, 0x01043000, 0x0103f000, 0x0104a000,
        0x01044000, 0x01055000, 0x0103b000, 0x01054000, 0x0104c000, 0x0104d000, 0x01041000,
        0x01042000, 0x01040000, 0x0103e000, 0x0103a000, 0x01049000, 0x01045000, 0x0105c000,
        0x0105f000, 0x01062000, 0x01085000, 0x01086000, 0x01087000, 0x01088000, 0x01089000,
        0x0108a000, 0x0108b000, 0x0108c000, 0x0108d000, 0x0108e000, 0x0108f000, 0x01090000,
        0x01091000, 0x01092000, 0x0104e000, 0x01059000, 0x01056000, 0x00105100, 0x010a3000,
        0x010a7000, 0x010a9000, 0x010a8000, 0x010a2000, 0x01047000, 0x0103c000, 0x0104f000,
        0x01057000, 0x010a4000, 0x0105d000, 0x01060000, 0x01063000, 0x01048000, 0x0103d000,
        0x01050000, 0x01058000, 0x0105a000, 0x0105e000, 0x01061000, 0x01064000};
    return ids;
}

namespace {

// The transform of the axes (0, 1, 0), (-1, 0, 0), (0, 0, 1) and the translation (5, 6, 7).
CMwCmdExpIso4* NewSampleIso4() {
    return NewIso4(NewFloatVec3(0, 1, 0), NewFloatVec3(-1, 0, 0), NewFloatVec3(0, 0, 1),
                   NewFloatVec3(5, 6, 7));
}

CMwCmdExpVec2* NewSampleVec2() {
    return NewVec2(NewInt(1), NewFloat(2.5f));
}

CMwCmdExpVec3* NewSampleVec3() {
    return NewVec3(NewInt(1), NewFloat(2.5f), NewInt(3));
}

// A function-call operand: a function (a block) and arguments of three kinds, one missing.
CMwCmdExpNumFunction* NewSampleCall() {
    CMwCmdExpNumFunction* node = NewNumFunction(script::NumFunction_Call, nullptr);
    node->m_Type = CmdExpNum_Float;
    node->m_Call.SetFunction(new CMwCmdBlock);
    node->m_Call.AddArgument(NewInt(3));
    node->m_Call.AddArgument(nullptr);
    node->m_Call.AddArgument(NewString("x"));
    return node;
}

CMwCmdExpStringTrunc* NewSampleTrunc() {
    auto* node = new CMwCmdExpStringTrunc;
    node->m_Source = ScriptHold(NewString("a.b.c"));
    node->m_Separator = ScriptHold(NewString("."));
    node->m_KeepSeparator = ScriptHold(NewBool(1));
    node->m_Before = 1;
    return node;
}

// The member forms' samples: where the path starts (the object, a variable, a start expression),
// several segments and index expressions, and the fields after the path.
CMwCmdExp* NewSampleParam(u32 classId) {
    constexpr u32 kChildrenId = 0x01FC100E;
    switch (classId) {
        case CMwCmdExpNumParam::s_ClassId: {
            auto* node = NewParam<CMwCmdExpNumParam>("Points");
            node->m_Kind = 101;
            node->m_Type = CmdExpNum_Float;
            return node;
        }
        case CMwCmdExpBoolParam::s_ClassId:
            return NewParam<CMwCmdExpBoolParam>("Bool");
        case CMwCmdExpStringParam::s_ClassId: {
            auto* node = NewParam<CMwCmdExpStringParam>("WideName");
            node->m_Wide = 1;
            return node;
        }
        case CMwCmdExpClassParam::s_ClassId: {
            auto* node = NewParam<CMwCmdExpClassParam>("Child");
            node->m_ClassId = CScriptTestObject::s_ClassId;
            return node;
        }
        case CMwCmdExpEnumParam::s_ClassId: {
            auto* node = NewParam<CMwCmdExpEnumParam>("Mode");
            node->SetEnumMemberId(CScriptTestObject::s_ModeMemberId);
            return node;
        }
        case CMwCmdExpVec2Param::s_ClassId: {
            auto* node = new CMwCmdExpVec2Param;
            StartAtVariable(node->m_Param, "c");
            AddPathSegment(node->m_Param, "Child");
            AddPathSegment(node->m_Param, "Vec2");
            return node;
        }
        case CMwCmdExpVec3Param::s_ClassId: {
            auto* node = new CMwCmdExpVec3Param;
            node->m_Param.AddSegment(NewElementSegment(kChildrenId, 0));
            node->m_Param.AddIndex(NewInt(1));
            AddPathSegment(node->m_Param, "Vec3");
            return node;
        }
        case CMwCmdExpIso4Param::s_ClassId: {
            auto* node = new CMwCmdExpIso4Param;
            node->m_Param.m_This = 0;
            node->m_Param.SetStart(NewClass(CScriptTestObject::s_ClassId));
            AddPathSegment(node->m_Param, "Iso4");
            return node;
        }
        default:
            return nullptr;
    }
}

CMwCmdExp* NewSample(u32 classId) {
    switch (classId) {
        case CMwCmdExpNum::s_ClassId:
            return NewFloat(2.5f);
        case CMwCmdExpNumBin::s_ClassId:
            return NewBinary<CMwCmdExpNumBin>(NewInt(7), NewFloat(2.5f));
        case CMwCmdExpAdd::s_ClassId:
            return NewBinary<CMwCmdExpAdd>(NewInt(7), NewFloat(2.5f));
        case CMwCmdExpSub::s_ClassId:
            return NewBinary<CMwCmdExpSub>(NewInt(7), NewInt(9));
        case CMwCmdExpMult::s_ClassId:
            return NewBinary<CMwCmdExpMult>(NewFloat(1.5f), NewInt(-3));
        case CMwCmdExpDiv::s_ClassId:
            return NewBinary<CMwCmdExpDiv>(NewInt(-7), NewInt(2));
        case CMwCmdExpPower::s_ClassId:
            return NewBinary<CMwCmdExpPower>(NewInt(3), NewInt(4));
        case CMwCmdExpNeg::s_ClassId:
            return NewUnary<CMwCmdExpNeg>(NewInt(-5));
        case CMwCmdExpNumFunction::s_ClassId:
            return NewSampleCall();
        case CMwCmdExpBool::s_ClassId:
            return NewBool(1);
        case CMwCmdExpBoolBin::s_ClassId:
            return NewBinary<CMwCmdExpBoolBin>(NewInt(1), NewFloat(0.5f));
        case CMwCmdExpSup::s_ClassId:
            return NewBinary<CMwCmdExpSup>(NewInt(1), NewFloat(0.5f));
        case CMwCmdExpSupEgal::s_ClassId:
            return NewBinary<CMwCmdExpSupEgal>(NewInt(16777217), NewFloat(16777216.0f));
        case CMwCmdExpInf::s_ClassId:
            return NewBinary<CMwCmdExpInf>(NewFloat(-0.75f), NewInt(0));
        case CMwCmdExpInfEgal::s_ClassId:
            return NewBinary<CMwCmdExpInfEgal>(NewInt(2), NewInt(2));
        case CMwCmdExpEgal::s_ClassId:
            return NewBinary<CMwCmdExpEgal>(NewString("abc"), NewString("abc"));
        case CMwCmdExpDiff::s_ClassId:
            return NewBinary<CMwCmdExpDiff>(NewInt(1), NewFloat(1.0f));
        case CMwCmdExpAnd::s_ClassId:
            return NewBinary<CMwCmdExpAnd>(NewBool(1), NewBool(1));
        case CMwCmdExpOr::s_ClassId:
            return NewBinary<CMwCmdExpOr>(NewBool(0), NewBool(1));
        case CMwCmdExpNot::s_ClassId:
            return NewUnary<CMwCmdExpNot>(NewBool(0));
        case CMwCmdExpVec2::s_ClassId:
            return NewSampleVec2();
        case CMwCmdExpVec3::s_ClassId:
            return NewSampleVec3();
        case CMwCmdExpIso4::s_ClassId:
            return NewSampleIso4();
        case CMwCmdExpVec2Add::s_ClassId:
            return NewBinary<CMwCmdExpVec2Add>(NewSampleVec2(), NewSampleVec2());
        case CMwCmdExpVec2Sub::s_ClassId:
            return NewBinary<CMwCmdExpVec2Sub>(NewSampleVec2(), NewVec2(NewInt(4), NewInt(8)));
        case CMwCmdExpVec2Neg::s_ClassId:
            return NewUnary<CMwCmdExpVec2Neg>(NewSampleVec2());
        case CMwCmdExpVec2Mult::s_ClassId:
            return NewBinary<CMwCmdExpVec2Mult>(NewFloat(0.5f), NewVec2(NewInt(4), NewInt(8)));
        case CMwCmdExpVec3Add::s_ClassId:
            return NewBinary<CMwCmdExpVec3Add>(NewSampleVec3(), NewSampleVec3());
        case CMwCmdExpVec3Sub::s_ClassId:
            return NewBinary<CMwCmdExpVec3Sub>(NewSampleVec3(), NewFloatVec3(4, 5, 6));
        case CMwCmdExpVec3Neg::s_ClassId:
            return NewUnary<CMwCmdExpVec3Neg>(NewSampleVec3());
        case CMwCmdExpVec3Mult::s_ClassId:
            return NewBinary<CMwCmdExpVec3Mult>(NewInt(2), NewFloatVec3(1, 2, 3));
        case CMwCmdExpVec3MultIso::s_ClassId:
            return NewBinary<CMwCmdExpVec3MultIso>(NewFloatVec3(1, 0, 0), NewSampleIso4());
        case CMwCmdExpVec3Product::s_ClassId:
            return NewBinary<CMwCmdExpVec3Product>(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0));
        case CMwCmdExpIso4Mult::s_ClassId:
            return NewBinary<CMwCmdExpIso4Mult>(
                NewIso4(NewFloatVec3(1, 0, 0), NewFloatVec3(0, 1, 0), NewFloatVec3(0, 0, 1),
                        NewFloatVec3(1, 0, 0)),
                NewSampleIso4());
        case CMwCmdExpIso4Inverse::s_ClassId:
            return NewUnary<CMwCmdExpIso4Inverse>(NewSampleIso4());
        case CMwCmdExpNumDotProduct2::s_ClassId: {
            auto* node =
                NewBinary<CMwCmdExpNumDotProduct2>(NewSampleVec2(), NewVec2(NewInt(4), NewInt(8)));
            node->m_Type = CmdExpNum_Float;
            return node;
        }
        case CMwCmdExpNumDotProduct3::s_ClassId: {
            auto* node =
                NewBinary<CMwCmdExpNumDotProduct3>(NewFloatVec3(1, 2, 3), NewFloatVec3(4, 5, 6));
            node->m_Type = CmdExpNum_Float;
            return node;
        }
        case CMwCmdExpString::s_ClassId:
            return NewString("Hello, World");
        case CMwCmdExpEnum::s_ClassId:
            return NewEnum(3, CScriptTestObject::s_ModeMemberId);
        case CMwCmdExpClass::s_ClassId:
            return NewClass(CScriptTestObject::s_ClassId);
        case CMwCmdExpStringConcat::s_ClassId:
            return NewBinary<CMwCmdExpStringConcat>(NewString("abc"), NewInt(42));
        case CMwCmdExpStringTrunc::s_ClassId:
            return NewSampleTrunc();
        case CMwCmdExpStringUpDownCase::s_ClassId:
            return NewUpDownCase(NewString("Hello, World"), 1);
        case CMwCmdExpEnumCastedNum::s_ClassId: {
            auto* node = NewUnary<CMwCmdExpEnumCastedNum>(NewInt(1));
            node->SetEnumMemberId(CScriptTestObject::s_ModeMemberId);
            return node;
        }
        case CMwCmdExpNumCastedEnum::s_ClassId:
            return NewUnary<CMwCmdExpNumCastedEnum>(NewEnum(3, CScriptTestObject::s_ModeMemberId));
        case CMwCmdExpClassThis::s_ClassId:
            return NewClassThis(CScriptTestObject::s_ClassId);
        case CMwCmdExpNumIdent::s_ClassId:
            return NewNumIdent("v3", 1);
        case CMwCmdExpBoolIdent::s_ClassId:
            return NewIdent<CMwCmdExpBoolIdent>("b");
        case CMwCmdExpStringIdent::s_ClassId:
            return NewIdent<CMwCmdExpStringIdent>("s");
        case CMwCmdExpClassIdent::s_ClassId: {
            auto* node = NewIdent<CMwCmdExpClassIdent>("c");
            node->m_ClassId = CScriptTestObject::s_ClassId;
            return node;
        }
        case CMwCmdExpEnumIdent::s_ClassId: {
            auto* node = NewIdent<CMwCmdExpEnumIdent>("e");
            node->SetEnumMemberId(CScriptTestObject::s_ModeMemberId);
            return node;
        }
        case CMwCmdExpVec2Ident::s_ClassId:
            return NewIdent<CMwCmdExpVec2Ident>("v2");
        case CMwCmdExpVec3Ident::s_ClassId:
            return NewIdent<CMwCmdExpVec3Ident>("v3");
        case CMwCmdExpIso4Ident::s_ClassId:
            return NewIdent<CMwCmdExpIso4Ident>("m");
        default:
            return NewSampleParam(classId);
    }
}

} // namespace

CMwCmdExp* NewSampleExpression(u32 classId) {
    CMwCmdExp* node = NewSample(classId);
    if (node)
        node->Run();
    return node;
}

void CScriptInlineArchive::ArchiveNodRef(CMwNod*& nod) {
    u32 classId = nod ? nod->GetClassId() : CMwNod::s_NoClassId;
    SerializeUIntsHex(&classId, 1);
    if (m_Writing) {
        if (nod)
            nod->Archive(*this);
        return;
    }
    nod = nullptr;
    if (classId == CMwNod::s_NoClassId)
        return;
    nod = CMwClassRegistry::CreateNodById(classId);
    if (!nod)
        throw CClassicBufferException(kClassicBufferErrorBadData, u"No class of that id");
    nod->Archive(*this);
}
