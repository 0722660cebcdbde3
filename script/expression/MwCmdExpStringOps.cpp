#include "script/expression/MwCmdExpStringOps.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/base/ClassicString.h"

#include <bit>

#define CMWCMDEXPSTRINGCONCAT_CHUNKS(X) X(0x00105100, 3)
#define CMWCMDEXPSTRINGTRUNC_CHUNKS(X) X(0x010a3000, 3)
#define CMWCMDEXPSTRINGUPDOWNCASE_CHUNKS(X) X(0x010a7000, 3)
#define CMWCMDEXPENUMCASTEDNUM_CHUNKS(X) X(0x010a9000, 3)
#define CMWCMDEXPNUMCASTEDENUM_CHUNKS(X) X(0x010a8000, 3)

MW_DEFINE_CLASS(CMwCmdExpStringConcat, MwFactory<CMwCmdExpStringConcat>, MW_NO_MEMBERS,
                CMWCMDEXPSTRINGCONCAT_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpStringTrunc, MwFactory<CMwCmdExpStringTrunc>, MW_NO_MEMBERS,
                CMWCMDEXPSTRINGTRUNC_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpStringUpDownCase, MwFactory<CMwCmdExpStringUpDownCase>, MW_NO_MEMBERS,
                CMWCMDEXPSTRINGUPDOWNCASE_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpEnumCastedNum, MwFactory<CMwCmdExpEnumCastedNum>, MW_NO_MEMBERS,
                CMWCMDEXPENUMCASTEDNUM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpNumCastedEnum, MwFactory<CMwCmdExpNumCastedEnum>, MW_NO_MEMBERS,
                CMWCMDEXPNUMCASTEDENUM_CHUNKS);
MW_DEFINE_CLASS(CMwCmdExpClassThis, MwFactory<CMwCmdExpClassThis>, MW_NO_MEMBERS, MW_NO_CHUNKS);

// ---------------------------------------------------------------------------------------------
// Concatenation

void CMwCmdExpStringConcat::Run() {
    if (!HasOperands())
        return;
    m_Value1->Run();
    CClassicString first;
    m_Value1->ToString(first);
    m_Value2->Run();
    m_Value2->ToString(m_String);
    m_String.Prepend(first);
}

void CMwCmdExpStringConcat::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    // The text is computed: its chunk is stored empty.
    if (chunkId != CMwCmdExpString::s_Chunk)
        Super::ArchiveChunk(archive, chunkId);
}

// ---------------------------------------------------------------------------------------------
// Cut at a separator

CMwCmdExpStringTrunc::~CMwCmdExpStringTrunc() {
    ScriptReleaseChild(this, m_Source);
    ScriptReleaseChild(this, m_Separator);
    ScriptReleaseChild(this, m_KeepSeparator);
}

void CMwCmdExpStringTrunc::Run() {
    if (!m_Source || !m_Separator || !m_KeepSeparator)
        return;
    m_Source->Run();
    m_Separator->Run();
    m_KeepSeparator->Run();
    m_String.Assign(m_Source->m_String);
    const CClassicString& separator = m_Separator->m_String;
    const i32 found = m_String.FindSubstring(separator, 0, true);
    if (found < 0)
        return;
    const u32 at = u32(found);
    const bool keep = m_KeepSeparator->m_Value != 0;
    if (m_Before)
        m_String.Truncate(keep ? at + separator.GetLength() : at);
    else
        m_String.KeepRight(m_String.GetLength() - (keep ? at : at + separator.GetLength()));
}

void CMwCmdExpStringTrunc::Bind(CMwCmdScript* parent) {
    Super::Bind(parent);
    for (CMwCmdExp* operand :
         {static_cast<CMwCmdExp*>(m_Source), static_cast<CMwCmdExp*>(m_Separator),
          static_cast<CMwCmdExp*>(m_KeepSeparator)})
        if (operand)
            operand->Bind(parent);
}

void CMwCmdExpStringTrunc::SetThis(CMwNod* nod) {
    for (CMwCmdExp* operand :
         {static_cast<CMwCmdExp*>(m_Source), static_cast<CMwCmdExp*>(m_Separator),
          static_cast<CMwCmdExp*>(m_KeepSeparator)})
        if (operand)
            operand->SetThis(nod);
}

void CMwCmdExpStringTrunc::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case CMwCmdExpString::s_Chunk:
            break;
        case s_TruncChunk: {
            const SScriptChildKind text = ScriptOperandKind<CMwCmdExpString>();
            ScriptArchiveRequiredChild(archive, this, chunkId, m_Source, text);
            ScriptArchiveRequiredChild(archive, this, chunkId, m_Separator, text);
            ScriptArchiveRequiredChild(archive, this, chunkId, m_KeepSeparator,
                                       ScriptOperandKind<CMwCmdExpBool>());
            archive.SerializeBools(&m_Before, 1);
            break;
        }
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

void CMwCmdExpStringTrunc::OnAfterLoad() {
    Super::OnAfterLoad();
    if (!m_Source || !m_Separator || !m_KeepSeparator)
        ScriptInvalidData(this, s_TruncChunk);
}

// ---------------------------------------------------------------------------------------------
// Case change

void CMwCmdExpStringUpDownCase::Run() {
    if (!m_Operand)
        return;
    m_Operand->Run();
    m_String.Assign(m_Operand->m_String);
    if (m_Upper)
        m_String.ToUpper();
    else
        m_String.ToLower();
}

void CMwCmdExpStringUpDownCase::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId == CMwCmdExpString::s_Chunk)
        return;
    Super::ArchiveChunk(archive, chunkId);
    if (chunkId == s_OperandChunk)
        archive.SerializeBools(&m_Upper, 1);
}

// ---------------------------------------------------------------------------------------------
// Casts

void CMwCmdExpEnumCastedNum::Run() {
    if (!m_Operand)
        return;
    m_Operand->Run();
    const u32 word = m_Operand->m_Value;
    if (word < GetNameCount()) {
        m_Value = word;
        return;
    }
    g_ClassicLogLine.Assign("Error in enum cast : trying to set value ");
    g_ClassicLogLine.AppendSignedInt(std::bit_cast<i32>(word)).Append("\r\n");
    ClassicLogWriteLine();
}

void CMwCmdExpNumCastedEnum::Run() {
    if (!m_Operand)
        return;
    m_Operand->Run();
    m_Value = m_Operand->m_Value;
}

void CMwCmdExpNumCastedEnum::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId == CMwCmdExpNum::s_Chunk)
        ArchiveTypeOnly(archive);
    else
        Super::ArchiveChunk(archive, chunkId);
}
