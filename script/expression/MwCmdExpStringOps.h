#pragma once
// The computed String, Enum and Class expressions: the concatenation of the texts of any two
// values, the cut of a text at a separator, the ASCII case change, the casts between Enum and
// Num, and the object the script runs on.
//
// The computed strings store their String chunk empty (their text is recomputed at every run and
// not saved), then their own chunk; the casts store their base kind's chunk (an Enum's index and
// enumeration, a Num's type only), then their operand. Every operand is required: a load that
// gives none, or one of another value kind than the field takes, is invalid data (Concat takes
// expressions of any kind).
#include "script/expression/MwCmdExpClass.h"
#include "script/expression/MwCmdExpEnum.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/expression/MwCmdExpString.h"

// First's text followed by Second's, whatever their kinds (Num, Bool, String, Enum and Class as
// their ToString gives them, vectors in brackets). The second operand writes its text straight
// into the value and the first one's is put in front: an operand that writes no text (an Iso4)
// leaves what the node held there. Registered and stored under 0x00105100, an id of engine 0.
using CMwCmdExpStringConcatOperands =
    TMwCmdExpBinary<CMwCmdExpString, CMwCmdExp, CMwCmdExp, 0x00105100>;
class CMwCmdExpStringConcat : public CMwCmdExpStringConcatOperands {
    MW_DECLARE_CLASS(CMwCmdExpStringConcat, CMwCmdExpStringConcatOperands, 0x00105100)
public:
    void Run() override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
};

// The source's text cut at the first occurrence of the separator (case-sensitive): the part
// before it (before flag set) or after it, with the separator when keep-separator is true. A
// separator that does not occur leaves the whole text; an empty one occurs at 0.
class CMwCmdExpStringTrunc : public CMwCmdExpString {
    MW_DECLARE_CLASS(CMwCmdExpStringTrunc, CMwCmdExpString, 0x010a3000)
public:
    // Source, separator, keep-separator, bool before flag.
    static constexpr u32 s_TruncChunk = 0x010a3000;

    ~CMwCmdExpStringTrunc() override;

    // Runs source, separator and keep-separator in that order, then cuts.
    void Run() override;
    void Bind(CMwCmdScript* parent) override;
    void SetThis(CMwNod* nod) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    void OnAfterLoad() override;

    CMwCmdExpString* m_Source = nullptr;
    CMwCmdExpString* m_Separator = nullptr;
    CMwCmdExpBool* m_KeepSeparator = nullptr;
    u32 m_Before = 0;
};

// The source's text with its ASCII letters in upper case (upper flag set) or lower case; every
// other byte, those of 128 and above included, unchanged.
using CMwCmdExpStringUpDownCaseOperand =
    TMwCmdExpUnary<CMwCmdExpString, CMwCmdExpString, 0x010a7000>;
class CMwCmdExpStringUpDownCase : public CMwCmdExpStringUpDownCaseOperand {
    MW_DECLARE_CLASS(CMwCmdExpStringUpDownCase, CMwCmdExpStringUpDownCaseOperand, 0x010a7000)
public:
    void Run() override;
    // Source, bool upper flag.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_Upper = 0;
};

// The Num operand's word, read as unsigned whatever its type (a Float's word is not converted),
// as the index. A word at or past the enumeration's number of names (every word, without an
// enumeration) keeps the index and logs "Error in enum cast : trying to set value " and the word
// as a signed decimal in groups of three.
using CMwCmdExpEnumCastedNumOperand = TMwCmdExpUnary<CMwCmdExpEnum, CMwCmdExpNum, 0x010a9000>;
class CMwCmdExpEnumCastedNum : public CMwCmdExpEnumCastedNumOperand {
    MW_DECLARE_CLASS(CMwCmdExpEnumCastedNum, CMwCmdExpEnumCastedNumOperand, 0x010a9000)
public:
    void Run() override;
};

// The Enum operand's index as the Num word; the stored type is kept.
using CMwCmdExpNumCastedEnumOperand = TMwCmdExpUnary<CMwCmdExpNum, CMwCmdExpEnum, 0x010a8000>;
class CMwCmdExpNumCastedEnum : public CMwCmdExpNumCastedEnumOperand {
    MW_DECLARE_CLASS(CMwCmdExpNumCastedEnum, CMwCmdExpNumCastedEnumOperand, 0x010a8000)
public:
    void Run() override;
    // The Num chunk holds the type only.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
};

// The object last given by SetThis (no reference held). SetValue changes nothing.
class CMwCmdExpClassThis : public CMwCmdExpClass {
    MW_DECLARE_CLASS(CMwCmdExpClassThis, CMwCmdExpClass, 0x010a2000)
public:
    void Run() override { m_Value = m_This; }
    void SetThis(CMwNod* nod) override { m_This = nod; }
    void SetValue(const void*) override {}

    CMwNod* m_This = nullptr;
};
