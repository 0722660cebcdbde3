#include "script/expression/MwCmdExpNum.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/nod/MwVirtualMember.h"

#define CMWCMDEXPNUM_MEMBERS(X)                                                                    \
    X(Natural, 0x01046000, "Type", MW_FIELD(m_Type), "Type", 0x01, 0x380)
#define CMWCMDEXPBOOL_MEMBERS(X) X(Bool, 0x0103b000, "Bool", MW_FIELD(m_Value), "Bool", 0x01, 0x380)
// Value1 and Value2 of the classes whose operands are reflected.
#define OPERAND_PAIR(X, Id1, Id2, Flags, Accepted)                                                 \
    X(Class, Id1, "Value1", MW_FIELD(m_Value1), "Value 1", Flags, 0x380, &Accepted::s_ClassInfo,   \
      0)                                                                                           \
    X(Class, Id2, "Value2", MW_FIELD(m_Value2), "Value 2", Flags, 0x380, &Accepted::s_ClassInfo, 0)
#define CMWCMDEXPNUMBIN_MEMBERS(X) OPERAND_PAIR(X, 0x01053000, 0x01053001, 0x01, CMwCmdExpNum)
#define CMWCMDEXPBOOLBIN_MEMBERS(X) OPERAND_PAIR(X, 0x01054000, 0x01054001, 0x01, CMwCmdExpNum)
// Set through the class's own operation, which counts the references (the Class descriptor would
// store a pointer without one, of any class).
#define CMWCMDEXPEGAL_MEMBERS(X) OPERAND_PAIR(X, 0x01040000, 0x01040001, 0x21, CMwCmdExp)
#define CMWCMDEXPAND_MEMBERS(X) OPERAND_PAIR(X, 0x0103a000, 0x0103a001, 0x01, CMwCmdExpBool)
#define CMWCMDEXPOR_MEMBERS(X) OPERAND_PAIR(X, 0x01049000, 0x01049001, 0x01, CMwCmdExpBool)
#define CMWCMDEXPNEG_MEMBERS(X)                                                                    \
    X(Class, 0x01044000, "Value", MW_FIELD(m_Operand), "Value", 0x01, 0x380,                       \
      &CMwCmdExpNum::s_ClassInfo, 0)

#define CMWCMDEXPNUM_CHUNKS(X) X(0x01046000, 3)
#define CMWCMDEXPNUMBIN_CHUNKS(X) X(0x01053000, 3)
#define CMWCMDEXPNEG_CHUNKS(X) X(0x01044000, 3)
#define CMWCMDEXPNUMFUNCTION_CHUNKS(X) X(0x01055000, 3)
#define CMWCMDEXPBOOL_CHUNKS(X) X(0x0103b000, 3)
#define CMWCMDEXPBOOLBIN_CHUNKS(X) X(0x01054000, 3)
#define CMWCMDEXPEGAL_CHUNKS(X) X(0x01040000, 3)
#define CMWCMDEXPDIFF_CHUNKS(X) X(0x0103e000, 3)
#define CMWCMDEXPAND_CHUNKS(X) X(0x0103a000, 3)
#define CMWCMDEXPOR_CHUNKS(X) X(0x01049000, 3)
#define CMWCMDEXPNOT_CHUNKS(X) X(0x01045000, 3)

MW_DEFINE_CLASS(CMwCmdExpNum, MwFactory<CMwCmdExpNum>, CMWCMDEXPNUM_MEMBERS, CMWCMDEXPNUM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNumBin, MwFactory<CMwCmdExpNumBin>, CMWCMDEXPNUMBIN_MEMBERS,
                CMWCMDEXPNUMBIN_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpAdd, MwFactory<CMwCmdExpAdd>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CMwCmdExpSub, CMwCmdExpNum, MwFactory<CMwCmdExpSub>, MW_NO_MEMBERS,
                            MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpMult, MwFactory<CMwCmdExpMult>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpDiv, MwFactory<CMwCmdExpDiv>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpPower, MwFactory<CMwCmdExpPower>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNeg, MwFactory<CMwCmdExpNeg>, CMWCMDEXPNEG_MEMBERS, CMWCMDEXPNEG_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNumFunction, MwFactory<CMwCmdExpNumFunction>, MW_NO_MEMBERS,
                CMWCMDEXPNUMFUNCTION_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpBool, MwFactory<CMwCmdExpBool>, CMWCMDEXPBOOL_MEMBERS,
                CMWCMDEXPBOOL_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpBoolBin, MwFactory<CMwCmdExpBoolBin>, CMWCMDEXPBOOLBIN_MEMBERS,
                CMWCMDEXPBOOLBIN_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CMwCmdExpSup, CMwCmdExpBool, MwFactory<CMwCmdExpSup>, MW_NO_MEMBERS,
                            MW_NO_CHUNKS);
MW_DEFINE_CLASS_WITH_PARENT(CMwCmdExpSupEgal, CMwCmdExpBool, MwFactory<CMwCmdExpSupEgal>,
                            MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpInf, MwFactory<CMwCmdExpInf>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpInfEgal, MwFactory<CMwCmdExpInfEgal>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpEgal, MwFactory<CMwCmdExpEgal>, CMWCMDEXPEGAL_MEMBERS,
                CMWCMDEXPEGAL_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpDiff, MwFactory<CMwCmdExpDiff>, MW_NO_MEMBERS, CMWCMDEXPDIFF_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpAnd, MwFactory<CMwCmdExpAnd>, CMWCMDEXPAND_MEMBERS, CMWCMDEXPAND_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpOr, MwFactory<CMwCmdExpOr>, CMWCMDEXPOR_MEMBERS, CMWCMDEXPOR_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNot, MwFactory<CMwCmdExpNot>, MW_NO_MEMBERS, CMWCMDEXPNOT_CHUNKS);

// ---------------------------------------------------------------------------------------------
// Num

u32 CMwCmdExpNum::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    const auto* num = static_cast<const CMwCmdExpNum*>(other);
    if (num->m_Type != m_Type)
        return 0;
    if (m_Type == CmdExpNum_Int)
        return num->m_Value == m_Value;
    return num->GetFloat() == GetFloat();
}

void CMwCmdExpNum::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpNum::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpNum::ToString(CClassicString& text) {
    if (m_Type == CmdExpNum_Int)
        text.SetInt(GetInt());
    else
        text.SetFloat(GetFloat(), 3);
}

void CMwCmdExpNum::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    ArchiveTypeOnly(archive);
    if (m_Type == CmdExpNum_Int) {
        i32 value = GetInt();
        archive.SerializeInts(&value, 1);
        m_Value = std::bit_cast<u32>(value);
    } else if (m_Type == CmdExpNum_Float) {
        f32 value = GetFloat();
        archive.SerializeFloats(&value, 1);
        m_Value = std::bit_cast<u32>(value);
    }
}

void CMwCmdExpNum::ArchiveTypeOnly(CClassicArchive& archive) {
    archive.SerializeUInts(&m_Type, 1);
}

// ---------------------------------------------------------------------------------------------
// Bool

u32 CMwCmdExpBool::IsEqual(CMwCmdExp* other) {
    if (other->m_ValueKind != s_ValueKind)
        return 0;
    return static_cast<const CMwCmdExpBool*>(other)->m_Value == m_Value;
}

void CMwCmdExpBool::SetValue(const void* value) {
    ScriptCopyValue(m_Value, value);
}

void CMwCmdExpBool::GetValue(CmdExpValueRecord& record) {
    ScriptRecordValue(record, m_Value);
}

void CMwCmdExpBool::ToString(CClassicString& text) {
    text.Assign(m_Value ? "True" : "False");
}

void CMwCmdExpBool::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    archive.SerializeBools(&m_Value, 1);
}

// ---------------------------------------------------------------------------------------------
// Two operands

void CMwCmdExpNumBin::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId == CMwCmdExpNum::s_Chunk)
        ArchiveTypeOnly(archive);
    else
        Super::ArchiveChunk(archive, chunkId);
}

void CMwCmdExpBoolBin::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    // The Bool chunk is stored empty: a comparison's value is not kept.
    if (chunkId != CMwCmdExpBool::s_Chunk)
        Super::ArchiveChunk(archive, chunkId);
}

// ---------------------------------------------------------------------------------------------
// One operand

void CMwCmdExpNeg::Run() {
    if (!m_Operand)
        return;
    m_Operand->Run();
    SetNum(script::NegateNum(m_Operand->GetNum()));
}

CMwCmdExpNumFunction::~CMwCmdExpNumFunction() {
    ScriptReleaseChild(this, m_Argument);
}

void CMwCmdExpNumFunction::Run() {
    if (!m_Argument)
        return;
    m_Argument->Run();
    script::SNum value = GetNum();
    if (script::ApplyNumFunction(m_Kind, m_Argument->GetNum(), value))
        SetNum(value);
}

void CMwCmdExpNumFunction::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    if (m_Argument)
        m_Argument->Bind(parent);
    else
        m_Call.Bind(parent);
}

void CMwCmdExpNumFunction::SetThis(CMwNod* nod) {
    if (m_Argument)
        m_Argument->SetThis(nod);
    else
        m_Call.SetThis(nod);
}

void CMwCmdExpNumFunction::OnDependencyDestroyed(CMwNod* nod) {
    if (!m_Call.ForgetFunction(nod, false))
        Super::OnDependencyDestroyed(nod);
}

void CMwCmdExpNumFunction::OnDependencyReleased(CMwNod* nod) {
    if (!m_Call.ForgetFunction(nod, true))
        Super::OnDependencyReleased(nod);
}

void CMwCmdExpNumFunction::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case CMwCmdExpNum::s_Chunk:
            ArchiveTypeOnly(archive);
            break;
        case s_FunctionChunk:
            ScriptArchiveOptionalChild(archive, this, chunkId, m_Argument,
                                       ScriptOperandKind<CMwCmdExpNum>());
            archive.SerializeUInts(&m_Kind, 1);
            if (m_Kind == script::NumFunction_Call)
                m_Call.Archive(archive, chunkId);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

// ---------------------------------------------------------------------------------------------
// Equality and logic

void CMwCmdExpEgal::Run() {
    if (!HasOperands())
        return;
    m_Value1->Run();
    m_Value2->Run();
    m_Value = m_Value1->IsEqual(m_Value2);
}

u32 CMwCmdExpEgal::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        CMwCmdExp** slot = member.MemberId == s_Value1MemberId   ? &m_Value1
                           : member.MemberId == s_Value2MemberId ? &m_Value2
                                                                 : nullptr;
        if (!slot)
            return MwNotOwnMember;
        if (path->HasCurrent())
            return *slot ? (*slot)->SetParam(path, value) : MwParam_NotFound;
        auto* nod = static_cast<CMwNod*>(const_cast<void*>(value));
        if (!nod || !nod->IsKindOf(CMwCmdExp::s_ClassId))
            return MwParam_NotFound;
        nod->AddRef();
        ScriptReleaseChild(this, *slot);
        *slot = static_cast<CMwCmdExp*>(nod);
        return MwParam_Ok;
    });
}

void CMwCmdExpDiff::Run() {
    if (!HasOperands())
        return;
    m_Value1->Run();
    m_Value2->Run();
    m_Value = m_Value1->IsEqual(m_Value2) ? 0 : 1;
}

void CMwCmdExpAnd::Run() {
    if (!HasOperands())
        return;
    m_Value1->Run();
    if (m_Value1->m_Value == 0) {
        m_Value = 0;
        return;
    }
    m_Value2->Run();
    m_Value = m_Value2->m_Value;
}

void CMwCmdExpOr::Run() {
    if (!HasOperands())
        return;
    m_Value1->Run();
    if (m_Value1->m_Value != 0) {
        m_Value = 1;
        return;
    }
    m_Value2->Run();
    m_Value = m_Value2->m_Value;
}

void CMwCmdExpNot::Run() {
    if (!m_Operand)
        return;
    m_Operand->Run();
    m_Value = m_Operand->m_Value == 0 ? 1 : 0;
}
