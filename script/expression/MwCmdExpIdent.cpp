#include "script/expression/MwCmdExpIdent.h"

#include "core/base/ClassicArchive.h"

#include <bit>
#include <cmath>
#include <cstring>

#define CMWCMDEXPNUMIDENT_CHUNKS(X) X(0x01047000, 1) X(0x01047001, 3)
#define CMWCMDEXPBOOLIDENT_CHUNKS(X) X(0x0103c000, 3)
#define CMWCMDEXPSTRINGIDENT_CHUNKS(X) X(0x0104f000, 3)
#define CMWCMDEXPCLASSIDENT_CHUNKS(X) X(0x01057000, 3)
#define CMWCMDEXPENUMIDENT_CHUNKS(X) X(0x010a4000, 3)
#define CMWCMDEXPVEC2IDENT_CHUNKS(X) X(0x0105d000, 3)
#define CMWCMDEXPVEC3IDENT_CHUNKS(X) X(0x01060000, 3)
#define CMWCMDEXPISO4IDENT_CHUNKS(X) X(0x01063000, 3)

MW_DEFINE_CLASS(CMwCmdExpNumIdent, MwFactory<CMwCmdExpNumIdent>, MW_NO_MEMBERS,
                CMWCMDEXPNUMIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpBoolIdent, MwFactory<CMwCmdExpBoolIdent>, MW_NO_MEMBERS,
                CMWCMDEXPBOOLIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpStringIdent, MwFactory<CMwCmdExpStringIdent>, MW_NO_MEMBERS,
                CMWCMDEXPSTRINGIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpClassIdent, MwFactory<CMwCmdExpClassIdent>, MW_NO_MEMBERS,
                CMWCMDEXPCLASSIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpEnumIdent, MwFactory<CMwCmdExpEnumIdent>, MW_NO_MEMBERS,
                CMWCMDEXPENUMIDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec2Ident, MwFactory<CMwCmdExpVec2Ident>, MW_NO_MEMBERS,
                CMWCMDEXPVEC2IDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpVec3Ident, MwFactory<CMwCmdExpVec3Ident>, MW_NO_MEMBERS,
                CMWCMDEXPVEC3IDENT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpIso4Ident, MwFactory<CMwCmdExpIso4Ident>, MW_NO_MEMBERS,
                CMWCMDEXPISO4IDENT_CHUNKS);

// ---------------------------------------------------------------------------------------------
// Num

void CMwCmdExpNumIdent::Run() {
    const CBlockVariable* variable = m_Ident.m_Variable;
    if (!variable)
        return;
    m_Type = CmdExpNum_Float;
    switch (variable->m_Type) {
        case BlockVariable_Int:
            m_Type = CmdExpNum_Int;
            m_Value = variable->GetWord();
            return;
        case BlockVariable_Float:
            m_Value = variable->GetWord();
            return;
        default:
            break;
    }
    const u32 count = BlockVariableFloatCount(variable->m_Type);
    if (count == 0)
        return;
    f32 floats[12];
    variable->ReadFloats(floats, count);
    if (m_Component >= 0 && u32(m_Component) < count) {
        m_Value = std::bit_cast<u32>(floats[m_Component]);
    } else if (m_Component == -1 && count <= 3) {
        f64 sum = 0;
        for (u32 i = 0; i < count; ++i)
            sum = sum + f64(floats[i]) * floats[i];
        m_Value = std::bit_cast<u32>(f32(std::sqrt(sum)));
    }
}

u32 CMwCmdExpNumIdent::WriteBack() {
    CBlockVariable* variable = m_Ident.m_Variable;
    if (!variable)
        return 0;
    if (variable->m_Type == BlockVariable_Int || variable->m_Type == BlockVariable_Float) {
        variable->SetWord(m_Value);
        return 0;
    }
    // A component goes back into that component; a length has nowhere to go.
    if (m_Component >= 0 && u32(m_Component) < BlockVariableFloatCount(variable->m_Type))
        variable->MakeFloats()[m_Component] = script::NumToFloat(GetNum());
    return 0;
}

void CMwCmdExpNumIdent::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_ComponentChunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    m_Ident.Archive(archive);
    u32 component = std::bit_cast<u32>(m_Component);
    archive.SerializeUInts(&component, 1);
    m_Component = std::bit_cast<i32>(component);
}

// ---------------------------------------------------------------------------------------------
// String and Class

void CMwCmdExpStringIdent::Run() {
    const CBlockVariable* variable = m_Ident.m_Variable;
    if (!variable)
        return;
    if (const CClassicString* text = variable->GetString())
        m_String.Assign(*text);
    else
        m_String.SetLength(0);
}

u32 CMwCmdExpStringIdent::WriteBack() {
    if (CBlockVariable* variable = m_Ident.m_Variable)
        variable->MakeString().Assign(m_String);
    return 0;
}

void CMwCmdExpClassIdent::Run() {
    const CBlockVariable* variable = m_Ident.m_Variable;
    if (!variable)
        return;
    CMwNod* nod = variable->GetNod();
    m_Value = nod && CMwNod::IsValidNod(nod) && nod->IsKindOf(m_ClassId) ? nod : nullptr;
}

u32 CMwCmdExpClassIdent::WriteBack() {
    if (CBlockVariable* variable = m_Ident.m_Variable)
        variable->SetNod(CMwNod::IsValidNod(m_Value) ? m_Value : nullptr);
    return 0;
}
