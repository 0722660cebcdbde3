#pragma once
// The extern variable nods: small nods through which any code that works with member paths reads
// and writes a script's variables. Each typed class has one member, named after its type, with no
// field: its reads and writes go to the script variable the nod is attached to. The script root
// publishes them in its Variables list and attaches each to its variable whenever it is bound;
// they have no chunks of their own.
//
// Attached: the nod keeps the variable (a record of a block's live table, which the nod depends
// on: when the record goes, the nod forgets it) and takes the variable's name as its name id. A
// read or a write of a nod that is attached to no variable answers 2 and changes nothing.
//
// Reads (the member consumed): Bool, Int, Float the value word, copied; String the address of the
// variable's string; Vec2, Vec3 the address of the floats, or with one more item the address of a
// component (0 to 1, 0 to 2) or for -1 the length (computed in double, given as a float); Iso4
// the address of the 12 floats, or of one of them (0 to 11); Class the nod held, or with further
// items the rest of the path read on that nod. A value object a read needs is made (empty or
// zero-filled) when the variable has none. Another index answers 2.
//
// Writes: Bool, Int, Float the word; String the text; Vec2, Vec3, Iso4 the whole value (further
// items are not looked at); Class the nod held (CBlockVariable::SetNod), or with further items
// the member of the held nod, the variable left as it is. Every write into the variable sets its
// assigned flag. Class adds and removes with further items go to the held nod and answer 0;
// without, they do nothing. A Class path going on through a variable that holds no nod answers 2.
#include "core/base/FastBuffer.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"

class CBlockVariable;

class CMwCmdScriptVar : public CMwNod {
    MW_DECLARE_CLASS(CMwCmdScriptVar, CMwNod, 0x01068000)
public:
    // Leaves the variable's dependants.
    ~CMwCmdScriptVar() override;

    CMwId* GetIdPtr() override { return &m_Id; }
    // Keeps the variable (null: none) and, for a variable, takes its name as the name id.
    virtual void Attach(CBlockVariable* variable);

    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;

    // Unassigned until the first attachment.
    CMwId m_Id;
    CBlockVariable* m_Variable = nullptr;
};

// Member Bool: the value word.
class CMwCmdScriptVarBool : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarBool, CMwCmdScriptVar, 0x01069000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Float (a Real member): the value word.
class CMwCmdScriptVarFloat : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarFloat, CMwCmdScriptVar, 0x0106b000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Int (an Integer member): the value word.
class CMwCmdScriptVarInt : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarInt, CMwCmdScriptVar, 0x0106c000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Iso4: the 12 floats, or one of them.
class CMwCmdScriptVarIso4 : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarIso4, CMwCmdScriptVar, 0x0106d000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member String: the text.
class CMwCmdScriptVarString : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarString, CMwCmdScriptVar, 0x0106e000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Vec2: the 2 floats, one of them or the length.
class CMwCmdScriptVarVec2 : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarVec2, CMwCmdScriptVar, 0x0106f000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Vec3: the 3 floats, one of them or the length.
class CMwCmdScriptVarVec3 : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarVec3, CMwCmdScriptVar, 0x01070000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
};

// Member Class: the nod held, or the members of that nod.
class CMwCmdScriptVarClass : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarClass, CMwCmdScriptVar, 0x0106a000)
public:
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 AddParamVirtual(CMwMemberPath* path, const void* value) override;
    u32 SubParamVirtual(CMwMemberPath* path, const void* value) override;
};

// The extern variable of an Enum variable. Its member reads hand out the address of the
// variable's word and its writes copy a word into it. Attaching also fills the list of the
// enumeration's value names, from the Enum member whose id the variable keeps (an empty list
// when no registered class has an Enum member of that id).
class CMwCmdScriptVarEnum : public CMwCmdScriptVar {
    MW_DECLARE_CLASS(CMwCmdScriptVarEnum, CMwCmdScriptVar, 0x010a6000)
public:
    void Attach(CBlockVariable* variable) override;
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // The enumeration's names, a null name as empty text.
    CFastArray<CClassicString> m_Names;
};
