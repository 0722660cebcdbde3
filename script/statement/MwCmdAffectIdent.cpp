#include "script/statement/MwCmdAffectIdent.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "script/block/BlockVariable.h"
#include "script/expression/MwCmdExpNum.h"

#include <bit>
#include <cstring>

#define CMWCMDAFFECTIDENT_MEMBERS(X)                                                               \
    X(Class, 0x01032000, "Value", MW_FIELD(m_Value), "Value", 0x01, 0x380,                         \
      &CMwCmdExp::s_ClassInfo, 0)
#define CMWCMDAFFECTIDENT_CHUNKS(X) X(0x01032000, 3)
#define CMWCMDAFFECTIDENTNUM_CHUNKS(X) X(0x01074000, 3)

MW_DEFINE_CLASS(CMwCmdAffectIdent, MwFactory<CMwCmdAffectIdent>, CMWCMDAFFECTIDENT_MEMBERS,
                CMWCMDAFFECTIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentBool, MwFactory<CMwCmdAffectIdentBool>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentClass, MwFactory<CMwCmdAffectIdentClass>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentIso4, MwFactory<CMwCmdAffectIdentIso4>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentNum, MwFactory<CMwCmdAffectIdentNum>, MW_NO_MEMBERS,
                CMWCMDAFFECTIDENTNUM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentString, MwFactory<CMwCmdAffectIdentString>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentVec2, MwFactory<CMwCmdAffectIdentVec2>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentVec3, MwFactory<CMwCmdAffectIdentVec3>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectIdentEnum, MwFactory<CMwCmdAffectIdentEnum>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);

CMwCmdAffectIdent::~CMwCmdAffectIdent() {
    ScriptReleaseChild(this, m_Value);
}

void CMwCmdAffectIdent::Run() {
    CBlockVariable* variable = m_Ident.m_Variable;
    if (!variable)
        return;
    if (m_HasOnce) {
        if (m_Once || variable->m_Assigned)
            return;
        m_Once = 1;
    }
    if (m_Evaluate && m_Value)
        m_Value->Run();
    Store();
}

void CMwCmdAffectIdent::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    if (m_Value)
        m_Value->Bind(parent);
    m_Ident.Bind(parent);
}

void CMwCmdAffectIdent::SetThis(CMwNod* nod) {
    if (m_Value)
        m_Value->SetThis(nod);
}

void CMwCmdAffectIdent::SetValueExp(CMwCmdExp* value) {
    if (value)
        value->AddRef();
    ScriptReleaseChild(this, m_Value);
    m_Value = value;
}

void CMwCmdAffectIdent::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    m_Ident.Archive(archive);
    ScriptArchiveOptionalChild(archive, this, chunkId, m_Value,
                               {CMwCmdExp::s_ClassId, GetValueKind()});
    archive.SerializeBools(&m_HasOnce, 1);
    if (!archive.m_Writing)
        m_Once = 0;
}

bool CMwCmdAffectIdent::GetStoreOperands(CBlockVariable*& variable, CMwCmdExp*& value) {
    variable = m_Ident.m_Variable;
    value = m_Value;
    return variable && value && value->m_ValueKind == GetValueKind();
}

void CMwCmdAffectIdent::StoreWord() {
    CBlockVariable* variable;
    CMwCmdExp* value;
    if (!GetStoreOperands(variable, value))
        return;
    u32 word;
    std::memcpy(&word, value->GetValuePtr(), sizeof word);
    variable->SetWord(word);
    variable->m_Assigned = 1;
}

void CMwCmdAffectIdent::StoreFloats(u32 count) {
    CBlockVariable* variable;
    CMwCmdExp* value;
    if (!GetStoreOperands(variable, value))
        return;
    std::memcpy(variable->MakeFloats(), value->GetValuePtr(), count * sizeof(f32));
    variable->m_Assigned = 1;
}

void CMwCmdAffectIdentClass::Store() {
    CBlockVariable* variable;
    CMwCmdExp* value;
    if (!GetStoreOperands(variable, value))
        return;
    CMwNod* nod = *static_cast<CMwNod* const*>(value->GetValuePtr());
    variable->SetNod(CMwNod::IsValidNod(nod) ? nod : nullptr);
    variable->m_Assigned = 1;
}

void CMwCmdAffectIdentString::Store() {
    CBlockVariable* variable;
    CMwCmdExp* value;
    if (!GetStoreOperands(variable, value))
        return;
    variable->MakeString().Assign(*static_cast<const CClassicString*>(value->GetValuePtr()));
    variable->m_Assigned = 1;
}

void CMwCmdAffectIdentNum::Store() {
    CBlockVariable* variable;
    CMwCmdExp* value;
    if (!GetStoreOperands(variable, value))
        return;
    const script::SNum num = static_cast<CMwCmdExpNum*>(value)->GetNum();
    if (m_Component == -1) {
        if (variable->m_Type == BlockVariable_Int)
            variable->SetInt(script::NumToInt(num));
        else
            variable->SetWord(script::NumToFloatWord(num));
    } else {
        const u32 components = BlockVariableFloatCount(variable->m_Type);
        if (m_Component >= 0 && u32(m_Component) < components)
            variable->MakeFloats()[m_Component] = script::NumToFloat(num);
    }
    variable->m_Assigned = 1;
}

void CMwCmdAffectIdentNum::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ComponentChunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    u32 component = std::bit_cast<u32>(m_Component);
    archive.SerializeUInts(&component, 1);
    m_Component = std::bit_cast<i32>(component);
}
