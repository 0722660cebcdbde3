#include "script/expression/MwCmdExpParam.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/nod/MwParam.h"

#include <cstring>

#define CMWCMDEXPNUMPARAM_CHUNKS(X) X(0x01048000, 1) X(0x01048001, 3)
#define CMWCMDEXPBOOLPARAM_CHUNKS(X) X(0x0103d000, 1) X(0x0103d001, 3)
#define CMWCMDEXPSTRINGPARAM_CHUNKS(X) X(0x01050000, 1) X(0x01050001, 1) X(0x01050002, 3)
#define CMWCMDEXPCLASSPARAM_CHUNKS(X) X(0x01058000, 1) X(0x01058001, 3)
#define CMWCMDEXPENUMPARAM_CHUNKS(X) X(0x0105a000, 1) X(0x0105a001, 3)
#define CMWCMDEXPVEC2PARAM_CHUNKS(X) X(0x0105e000, 1) X(0x0105e001, 3)
#define CMWCMDEXPVEC3PARAM_CHUNKS(X) X(0x01061000, 1) X(0x01061001, 3)
#define CMWCMDEXPISO4PARAM_CHUNKS(X) X(0x01064000, 1) X(0x01064001, 3)

MW_DEFINE_CLASS(CMwCmdExpNumParam, MwFactory<CMwCmdExpNumParam>, MW_NO_MEMBERS,
                CMWCMDEXPNUMPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpBoolParam, MwFactory<CMwCmdExpBoolParam>, MW_NO_MEMBERS,
                CMWCMDEXPBOOLPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpStringParam, MwFactory<CMwCmdExpStringParam>, MW_NO_MEMBERS,
                CMWCMDEXPSTRINGPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpClassParam, MwFactory<CMwCmdExpClassParam>, MW_NO_MEMBERS,
                CMWCMDEXPCLASSPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpEnumParam, MwFactory<CMwCmdExpEnumParam>, MW_NO_MEMBERS,
                CMWCMDEXPENUMPARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Param, MwFactory<CMwCmdExpVec2Param>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2PARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Param, MwFactory<CMwCmdExpVec3Param>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3PARAM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpIso4Param, MwFactory<CMwCmdExpIso4Param>, MW_NO_MEMBERS,
                CMWCMDEXPISO4PARAM_CHUNKS);

namespace {

// The kinds of a Num form that read a list's element count.
constexpr u32 kFirstCountKind = 100, kLastCountKind = 102;

// Whether the member is a fixed array, a buffer or a bucket list whose elements a Num form
// counts.
bool IsCountedList(u32 typeCode) {
    switch (MwContainerElementType(typeCode)) {
        case MwType_Bool:
        case MwType_Class:
        case MwType_Integer:
        case MwType_Iso4:
        case MwType_Natural:
        case MwType_Real:
        case MwType_String:
        case MwType_Vec2:
        case MwType_Vec3:
            return true;
        default:
            return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Num

void CMwCmdExpNumParam::Copy(const CMwParamValue& value, const CMwTargetInfo& target) {
    const CMwMemberInfo& member = target.Get();
    if (m_Kind <= 2) {
        if (ScriptPlainSize(member.TypeCode) < sizeof m_Value)
            return;
        std::memcpy(&m_Value, value.Value, sizeof m_Value);
        m_Type = m_Kind == 2 ? CmdExpNum_Float : CmdExpNum_Int;
    } else if (m_Kind >= kFirstCountKind && m_Kind <= kLastCountKind &&
               IsCountedList(member.TypeCode) && member.Param) {
        m_Value = member.Param->GetCount(value);
    }
}

void CMwCmdExpNumParam::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    Super::ArchiveChunk(archive, chunkId);
    if (chunkId == s_OldChunk || chunkId == s_PathChunk)
        archive.SerializeUInts(&m_Kind, 1);
}

// ---------------------------------------------------------------------------------------------
// String

void CMwCmdExpStringParam::Copy(const CMwParamValue& value, const CMwTargetInfo& target) {
    const u32 type = target.Get().TypeCode;
    if (!m_Wide && type == MwType_String)
        m_String.Assign(*static_cast<const CClassicString*>(value.Value));
    else if (m_Wide && type == MwType_StringInt)
        static_cast<const CClassicWideString*>(value.Value)->ToNarrowUtf8(m_String);
}

u32 CMwCmdExpStringParam::WriteBack() {
    if (!m_Wide)
        return Super::WriteBack();
    CClassicWideString wide;
    wide.AssignFromNarrow(m_String);
    return m_Param.Store({SScriptMemberInput::WideString, &wide, 0});
}

void CMwCmdExpStringParam::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_WideChunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    m_Param.Archive(archive, chunkId);
    archive.SerializeBools(&m_Wide, 1);
}

// ---------------------------------------------------------------------------------------------
// Class

void CMwCmdExpClassParam::Copy(const CMwParamValue& value, const CMwTargetInfo& target) {
    if (target.Get().TypeCode != MwType_Class)
        return;
    auto* nod = static_cast<CMwNod*>(value.Value);
    m_Value = CMwNod::IsValidNod(nod) && nod->IsKindOf(m_ClassId) ? nod : nullptr;
}
