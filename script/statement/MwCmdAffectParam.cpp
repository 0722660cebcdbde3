#include "script/statement/MwCmdAffectParam.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "script/expression/MwCmdExpNum.h"

#include <bit>
#include <cstring>

#define CMWCMDAFFECTPARAM_CHUNKS(X) X(0x01033000, 1) X(0x01033001, 3)

MW_DEFINE_CLASS(CMwCmdAffectParam, MwFactory<CMwCmdAffectParam>, MW_NO_MEMBERS,
                CMWCMDAFFECTPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamBool, MwFactory<CMwCmdAffectParamBool>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamClass, MwFactory<CMwCmdAffectParamClass>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamEnum, MwFactory<CMwCmdAffectParamEnum>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamIso4, MwFactory<CMwCmdAffectParamIso4>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamNum, MwFactory<CMwCmdAffectParamNum>, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamString, MwFactory<CMwCmdAffectParamString>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamVec2, MwFactory<CMwCmdAffectParamVec2>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdAffectParamVec3, MwFactory<CMwCmdAffectParamVec3>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);

CMwCmdAffectParam::~CMwCmdAffectParam() {
    ScriptReleaseChild(this, m_Value);
}

void CMwCmdAffectParam::Run() {
    if (m_Value)
        m_Value->Run();
    if (m_Param.RunIndexes() && m_Param.Resolve())
        Store();
}

void CMwCmdAffectParam::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    if (m_Value)
        m_Value->Bind(parent);
    m_Param.Bind(parent);
}

void CMwCmdAffectParam::SetThis(CMwNod* nod) {
    if (m_Value)
        m_Value->SetThis(nod);
    m_Param.SetThis(nod);
}

void CMwCmdAffectParam::SetValueExp(CMwCmdExp* value) {
    if (value)
        value->AddRef();
    ScriptReleaseChild(this, m_Value);
    m_Value = value;
}

void CMwCmdAffectParam::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_OldChunk && chunkId != s_Chunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    if (chunkId == s_Chunk)
        m_Param.Archive(archive, chunkId);
    else
        m_Param.ArchiveOld(archive, chunkId);
    ScriptArchiveRequiredChild(archive, this, chunkId, m_Value,
                               {CMwCmdExp::s_ClassId, GetValueKind()});
    archive.SerializeUInts(&m_NumberKind, 1);
    archive.SerializeUInts(&m_Reserved, 1);
}

void CMwCmdAffectParam::OnAfterLoad() {
    Super::OnAfterLoad();
    if (m_Param.m_Segments.m_Count == 0 || !m_Value)
        ScriptInvalidData(this, s_Chunk);
}

CMwCmdExp* CMwCmdAffectParam::GetStoreValue() {
    return m_Value && m_Value->m_ValueKind == GetValueKind() ? m_Value : nullptr;
}

void CMwCmdAffectParam::StorePlain(u32 size) {
    CMwCmdExp* value = GetStoreValue();
    if (!value)
        return;
    // A copy: the member's write may reach the value's own node.
    alignas(Iso4) u8 copy[sizeof(Iso4)];
    std::memcpy(copy, value->GetValuePtr(), size);
    m_Param.Write(CMwCmdParamPath::Write_Set, SScriptMemberInput::Bytes(copy, size));
}

void CMwCmdAffectParamBool::Store() {
    StorePlain(sizeof(u32));
}

void CMwCmdAffectParamEnum::Store() {
    StorePlain(sizeof(u32));
}

void CMwCmdAffectParamIso4::Store() {
    StorePlain(sizeof(Iso4));
}

void CMwCmdAffectParamVec2::Store() {
    StorePlain(sizeof(Vec2));
}

void CMwCmdAffectParamVec3::Store() {
    StorePlain(sizeof(Vec3));
}

void CMwCmdAffectParamClass::Store() {
    if (CMwCmdExp* value = GetStoreValue())
        m_Param.Write(CMwCmdParamPath::Write_Set, SScriptMemberInput::ValueOf(value));
}

void CMwCmdAffectParamNum::Store() {
    auto* value = static_cast<CMwCmdExpNum*>(GetStoreValue());
    if (!value)
        return;
    const script::SNum num = value->GetNum();
    u32 word;
    switch (m_NumberKind) {
        case 0:
        case 1:
            word = std::bit_cast<u32>(script::NumToInt(num));
            break;
        case 2:
            word = script::NumToFloatWord(num);
            break;
        default:
            return;
    }
    m_Param.Write(CMwCmdParamPath::Write_Set, SScriptMemberInput::Bytes(&word, sizeof word));
}

void CMwCmdAffectParamString::Store() {
    CMwCmdExp* value = GetStoreValue();
    if (!value)
        return;
    const auto& text = *static_cast<const CClassicString*>(value->GetValuePtr());
    if (m_NumberKind == s_WideStringKind) {
        CClassicWideString wide;
        wide.AssignFromNarrow(text);
        m_Param.Write(CMwCmdParamPath::Write_Set, {SScriptMemberInput::WideString, &wide, 0});
        return;
    }
    const CClassicString copy(text);
    m_Param.Write(CMwCmdParamPath::Write_Set, {SScriptMemberInput::String, &copy, 0});
}
