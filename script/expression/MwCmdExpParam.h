#pragma once
// The member expressions: one per value kind, each reading a member of a nod reached through a
// member-path operand (CMwCmdParamPath) and able to write its value back there.
//
// A run evaluates the path's index expressions, walks the path (a null nod on the way logs
// "Param Access Failed : Null nod"; a Class form first becomes null) and, when the walk reaches
// the member, reads it and copies it by the class. A walk that fails leaves the value as it was.
// A member whose value is not of the form the class copies (a string for a Vec3 form, a word for
// a String form) copies nothing: the read never takes more bytes than the member has.
//
// The write-back is the path operand's store on the nod the last run reached: 2, nothing written,
// when no run reached one (or it is gone); else the member's check code, or the write's result.
//
// Stored: the plain class's chunk as the identifier forms store it, then the path in its older
// form (read only) or its current one; the Num form adds its kind after the path, the String form
// has a third chunk with the wide flag after the path.
#include "core/nod/MwMemberPath.h"
#include "script/base/ScriptArchive.h"
#include "script/expression/MwCmdExpIdent.h"
#include "script/operand/MwCmdParamPath.h"

#include <cstring>

// A member form over Base, its path stored in OldChunk (older form, read only) or Chunk.
template <class Base, u32 OldChunk, u32 Chunk>
class TMwCmdExpParam : public TMwCmdExpOutside<Base> {
    using Outside = TMwCmdExpOutside<Base>;

public:
    static constexpr u32 s_OldChunk = OldChunk;
    static constexpr u32 s_PathChunk = Chunk;

    TMwCmdExpParam() : m_Param(this) {}

    void Run() override {
        m_Param.RunIndexes();
        Clear();
        if (m_Param.Resolve())
            ReadMember();
    }
    void Bind(CMwCmdScript* parent) override {
        Base::Bind(parent);
        m_Param.Bind(parent);
    }
    void SetThis(CMwNod* nod) override { m_Param.SetThis(nod); }
    u32 WriteBack() override { return m_Param.Store(); }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId == OldChunk)
            m_Param.ArchiveOld(archive, chunkId);
        else if (chunkId == Chunk)
            m_Param.Archive(archive, chunkId);
        else
            Outside::ArchiveChunk(archive, chunkId);
    }
    // A load that gave no path is invalid data.
    void OnAfterLoad() override {
        Base::OnAfterLoad();
        if (m_Param.m_Segments.m_Count == 0)
            ScriptInvalidData(this, Chunk);
    }

    CMwCmdParamPath m_Param;

protected:
    // What the run does before the walk: nothing here.
    virtual void Clear() {}
    // Reads the reached member and copies its value by the class.
    virtual void Copy(const CMwParamValue& value, const CMwTargetInfo& target) = 0;

private:
    void ReadMember() {
        CMwParamValue value;
        CMwTargetInfo target;
        // A nod member holding no nod reads as null: nothing to copy.
        if (m_Param.Read(value, target) && value.Value)
            Copy(value, target);
    }
};

// The forms that copy the first bytes of a member of plain data (a word, floats): the member's
// first word for Bool and Enum, two, three or twelve floats for Vec2, Vec3 and Iso4. A member
// that is not plain data, or has fewer bytes, copies nothing.
template <class Base, u32 OldChunk, u32 Chunk>
class TMwCmdExpPlainParam : public TMwCmdExpParam<Base, OldChunk, Chunk> {
protected:
    void Copy(const CMwParamValue& value, const CMwTargetInfo& target) override {
        if (ScriptPlainSize(target.Get().TypeCode) >= sizeof this->m_Value)
            std::memcpy(&this->m_Value, value.Value, sizeof this->m_Value);
    }
};

// Kind 0 and 1: the member's word as an Int; 2: as a Float; 100, 101 and 102: the element count
// of a fixed array, buffer or bucket list of Bool, Class, Integer, Iso4, Natural, Real, String,
// Vec2 or Vec3 values, the type kept (another member copies nothing); any other kind: nothing.
using CMwCmdExpNumParamBase = TMwCmdExpParam<CMwCmdExpNum, 0x01048000, 0x01048001>;
class CMwCmdExpNumParam : public CMwCmdExpNumParamBase {
    MW_DECLARE_CLASS(CMwCmdExpNumParam, CMwCmdExpNumParamBase, 0x01048000)
public:
    // The path (either form), then u32 kind.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_Kind = 0;

protected:
    void Copy(const CMwParamValue& value, const CMwTargetInfo& target) override;
};

using CMwCmdExpBoolParamBase = TMwCmdExpPlainParam<CMwCmdExpBool, 0x0103d000, 0x0103d001>;
class CMwCmdExpBoolParam : public CMwCmdExpBoolParamBase {
    MW_DECLARE_CLASS(CMwCmdExpBoolParam, CMwCmdExpBoolParamBase, 0x0103d000)
};

// Wide flag 0: the member's narrow text. 1: the member's wide text in UTF-8, EF BB BF first when
// some character is 128 or above (CClassicWideString::ToNarrowUtf8); the write-back turns the
// text back into a wide one (UTF-8 after EF BB BF, else one character per byte).
using CMwCmdExpStringParamBase = TMwCmdExpParam<CMwCmdExpString, 0x01050000, 0x01050001>;
class CMwCmdExpStringParam : public CMwCmdExpStringParamBase {
    MW_DECLARE_CLASS(CMwCmdExpStringParam, CMwCmdExpStringParamBase, 0x01050000)
public:
    // The path, then bool wide flag.
    static constexpr u32 s_WideChunk = 0x01050002;

    u32 WriteBack() override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_Wide = 0;

protected:
    void Copy(const CMwParamValue& value, const CMwTargetInfo& target) override;
};

// The member's nod when it is of the kind of the node's class id, else null (null too before the
// walk).
using CMwCmdExpClassParamBase = TMwCmdExpParam<CMwCmdExpClass, 0x01058000, 0x01058001>;
class CMwCmdExpClassParam : public CMwCmdExpClassParamBase {
    MW_DECLARE_CLASS(CMwCmdExpClassParam, CMwCmdExpClassParamBase, 0x01058000)
protected:
    void Clear() override { m_Value = nullptr; }
    void Copy(const CMwParamValue& value, const CMwTargetInfo& target) override;
};

using CMwCmdExpEnumParamBase = TMwCmdExpPlainParam<CMwCmdExpEnum, 0x0105a000, 0x0105a001>;
class CMwCmdExpEnumParam : public CMwCmdExpEnumParamBase {
    MW_DECLARE_CLASS(CMwCmdExpEnumParam, CMwCmdExpEnumParamBase, 0x0105a000)
};

using CMwCmdExpVec2ParamBase = TMwCmdExpPlainParam<CMwCmdExpVec2, 0x0105e000, 0x0105e001>;
class CMwCmdExpVec2Param : public CMwCmdExpVec2ParamBase {
    MW_DECLARE_CLASS(CMwCmdExpVec2Param, CMwCmdExpVec2ParamBase, 0x0105e000)
};

using CMwCmdExpVec3ParamBase = TMwCmdExpPlainParam<CMwCmdExpVec3, 0x01061000, 0x01061001>;
class CMwCmdExpVec3Param : public CMwCmdExpVec3ParamBase {
    MW_DECLARE_CLASS(CMwCmdExpVec3Param, CMwCmdExpVec3ParamBase, 0x01061000)
};

using CMwCmdExpIso4ParamBase = TMwCmdExpPlainParam<CMwCmdExpIso4, 0x01064000, 0x01064001>;
class CMwCmdExpIso4Param : public CMwCmdExpIso4ParamBase {
    MW_DECLARE_CLASS(CMwCmdExpIso4Param, CMwCmdExpIso4ParamBase, 0x01064000)
};
