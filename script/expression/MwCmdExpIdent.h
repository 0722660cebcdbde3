#pragma once
// The identifier expressions: one per value kind, each reading a script variable found by name
// when the tree is bound (CMwCmdIdentRef) and able to write its value back into it (the procedure
// call does so for arguments passed by reference). They keep their plain class's value,
// comparison, text and copies, and are never constant: their value may be referenced in place.
//
// An identifier bound to no variable (the unknown-variable warning at bind) keeps its value when
// it runs and writes nothing back.
//
// Stored: the plain class's chunk (a Num its type only, a Class its class id, an Enum its index
// and enumeration, the other kinds an empty body), then the identifier's name in the class's own
// chunk; a Num adds the component after it (its older chunk has the name only: component -1).
#include "script/block/BlockVariable.h"
#include "script/expression/MwCmdExpClass.h"
#include "script/expression/MwCmdExpEnum.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/expression/MwCmdExpString.h"
#include "script/expression/MwCmdExpVec.h"
#include "script/operand/MwCmdIdentRef.h"

#include <type_traits>

// What the identifier and member forms share over the plain class Base: never constant, and the
// plain class's chunk with the part of its body that is not a value (the Num type, the Class id,
// the Enum index and enumeration; nothing for the other kinds).
template <class Base>
class TMwCmdExpOutside : public Base {
public:
    u32 IsConstant() override { return 0; }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId != Base::s_Chunk)
            Base::ArchiveChunk(archive, chunkId);
        else if constexpr (std::is_same_v<Base, CMwCmdExpNum>)
            this->ArchiveTypeOnly(archive);
        else if constexpr (std::is_same_v<Base, CMwCmdExpClass> ||
                           std::is_same_v<Base, CMwCmdExpEnum>)
            Base::ArchiveChunk(archive, chunkId);
    }
};

// An identifier form over Base, its name stored in IdentChunk.
template <class Base, u32 IdentChunk>
class TMwCmdExpIdent : public TMwCmdExpOutside<Base> {
    using Outside = TMwCmdExpOutside<Base>;

public:
    static constexpr u32 s_IdentChunk = IdentChunk;

    TMwCmdExpIdent() : m_Ident(this) {}

    // The plain class's binding, then the variable found from the block.
    void Bind(CMwCmdScript* parent) override {
        Base::Bind(parent);
        m_Ident.Bind(parent);
    }
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override {
        if (chunkId == IdentChunk)
            m_Ident.Archive(archive);
        else
            Outside::ArchiveChunk(archive, chunkId);
    }

    CMwCmdIdentRef m_Ident;
};

// The forms whose value is the variable's word (Bool, Enum), or its floats (Vec2, Vec3, Iso4: zeros
// while it has none), read and written back as they are.
template <class Base, u32 IdentChunk>
class TMwCmdExpWordIdent : public TMwCmdExpIdent<Base, IdentChunk> {
public:
    void Run() override {
        if (const CBlockVariable* variable = this->m_Ident.m_Variable)
            this->m_Value = variable->GetWord();
    }
    u32 WriteBack() override {
        if (CBlockVariable* variable = this->m_Ident.m_Variable)
            variable->SetWord(this->m_Value);
        return 0;
    }
};

template <class Base, u32 IdentChunk>
class TMwCmdExpFloatsIdent : public TMwCmdExpIdent<Base, IdentChunk> {
    static constexpr u32 s_Floats = sizeof(Base::m_Value) / sizeof(f32);

public:
    void Run() override {
        if (const CBlockVariable* variable = this->m_Ident.m_Variable)
            variable->ReadFloats(&this->m_Value, s_Floats);
    }
    u32 WriteBack() override {
        if (CBlockVariable* variable = this->m_Ident.m_Variable)
            variable->WriteFloats(&this->m_Value, s_Floats);
        return 0;
    }
};

// The variable's value as a number: Int and Float variables their word (the node Int for an Int,
// else Float); a vector or matrix variable the component selected (0 to 1, 2 or 11, in storage
// order) or, with -1, a vector's length (in double, rounded once); any other variable, component
// or type leaves the value as it was, the node Float.
using CMwCmdExpNumIdentBase = TMwCmdExpIdent<CMwCmdExpNum, 0x01047000>;
class CMwCmdExpNumIdent : public CMwCmdExpNumIdentBase {
    MW_DECLARE_CLASS(CMwCmdExpNumIdent, CMwCmdExpNumIdentBase, 0x01047000)
public:
    // The name and the component.
    static constexpr u32 s_ComponentChunk = 0x01047001;

    void Run() override;
    // An Int or Float variable takes the word, unconverted; a vector or matrix variable takes the
    // value as a float into the component the node selects (none after a length); nothing else
    // is written. 0.
    u32 WriteBack() override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    i32 m_Component = -1;
};

using CMwCmdExpBoolIdentBase = TMwCmdExpWordIdent<CMwCmdExpBool, 0x0103c000>;
class CMwCmdExpBoolIdent : public CMwCmdExpBoolIdentBase {
    MW_DECLARE_CLASS(CMwCmdExpBoolIdent, CMwCmdExpBoolIdentBase, 0x0103c000)
};

// A copy of the variable's text (empty while it has none); written back as a copy.
using CMwCmdExpStringIdentBase = TMwCmdExpIdent<CMwCmdExpString, 0x0104f000>;
class CMwCmdExpStringIdent : public CMwCmdExpStringIdentBase {
    MW_DECLARE_CLASS(CMwCmdExpStringIdent, CMwCmdExpStringIdentBase, 0x0104f000)
public:
    void Run() override;
    u32 WriteBack() override;
};

// The variable's nod when it is of the kind of the node's class id, else null; written back with
// CBlockVariable::SetNod (a nod that is gone as null).
using CMwCmdExpClassIdentBase = TMwCmdExpIdent<CMwCmdExpClass, 0x01057000>;
class CMwCmdExpClassIdent : public CMwCmdExpClassIdentBase {
    MW_DECLARE_CLASS(CMwCmdExpClassIdent, CMwCmdExpClassIdentBase, 0x01057000)
public:
    void Run() override;
    u32 WriteBack() override;
};

using CMwCmdExpEnumIdentBase = TMwCmdExpWordIdent<CMwCmdExpEnum, 0x010a4000>;
class CMwCmdExpEnumIdent : public CMwCmdExpEnumIdentBase {
    MW_DECLARE_CLASS(CMwCmdExpEnumIdent, CMwCmdExpEnumIdentBase, 0x010a4000)
};

using CMwCmdExpVec2IdentBase = TMwCmdExpFloatsIdent<CMwCmdExpVec2, 0x0105d000>;
class CMwCmdExpVec2Ident : public CMwCmdExpVec2IdentBase {
    MW_DECLARE_CLASS(CMwCmdExpVec2Ident, CMwCmdExpVec2IdentBase, 0x0105d000)
};

using CMwCmdExpVec3IdentBase = TMwCmdExpFloatsIdent<CMwCmdExpVec3, 0x01060000>;
class CMwCmdExpVec3Ident : public CMwCmdExpVec3IdentBase {
    MW_DECLARE_CLASS(CMwCmdExpVec3Ident, CMwCmdExpVec3IdentBase, 0x01060000)
};

using CMwCmdExpIso4IdentBase = TMwCmdExpFloatsIdent<CMwCmdExpIso4, 0x01063000>;
class CMwCmdExpIso4Ident : public CMwCmdExpIso4IdentBase {
    MW_DECLARE_CLASS(CMwCmdExpIso4Ident, CMwCmdExpIso4IdentBase, 0x01063000)
};
