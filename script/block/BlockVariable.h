#pragma once
// CBlockVariable: one script variable. Blocks keep their variables by value (CMwCmdBlock); a
// variable is also a nod of its own class, archived by itself with its name, flag and type.
//
// The value follows the type (BlockVariableType): Bool, Int, Float and Enum keep a 32-bit word
// (an Enum also the member id of its enumeration); String, Vec2, Vec3 and Iso4 keep a value object
// the variable owns (a string, or 2, 3 or 12 floats), made by the first store and absent until
// then; a Class variable keeps its nod through a dependant link (no reference: when the nod is
// released to zero or destroyed the variable forgets it) and the class id. The three are kept
// apart: no address is ever kept in 32 bits.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"
#include "script/base/ScriptValue.h"

#include <bit>

// The floats a variable of the type keeps in its value object: 2, 3 or 12 for Vec2, Vec3 and
// Iso4; 0 for the other types.
constexpr u32 BlockVariableFloatCount(u32 type) {
    switch (type) {
        case BlockVariable_Vec2:
            return 2;
        case BlockVariable_Vec3:
            return 3;
        case BlockVariable_Iso4:
            return 12;
        default:
            return 0;
    }
}

class CBlockVariable : public CMwNod {
    MW_DECLARE_CLASS(CBlockVariable, CMwNod, 0x01080000)
public:
    static constexpr u32 s_Chunk = 0x01080000;

    CBlockVariable() = default;
    // Copies are Assign: the copy keeps the nod through a link of its own.
    CBlockVariable(const CBlockVariable& other) : CMwNod() { Assign(other); }
    CBlockVariable& operator=(const CBlockVariable& other) {
        Assign(other);
        return *this;
    }
    // Frees the value object, or leaves the nod's dependants.
    ~CBlockVariable() override;

    // Copies name, assigned, flag and type, then the value by type: the word (with the id for an
    // Enum); the nod through SetNod, with the id; for String, Vec2, Vec3 and Iso4 a deep copy of
    // the other's value object into this one's (made when missing), or, when the other has none,
    // this one's freed. An unset type leaves the value as it was. Parts of the value another
    // type keeps (a nod, an object) are let go.
    void Assign(const CBlockVariable& other);
    // Writes the value to the destination in the form of the matching expression kind: the word
    // (a u32) for Bool, Int, Float and Enum; the nod (a CMwNod*) for Class; a string assignment
    // (a CClassicString) for String; 8, 12 or 48 bytes for Vec2, Vec3, Iso4 (zeros, or an empty
    // string, while there is no value object). Nothing for an unset variable.
    void GetValue(void* destination) const;
    // Leaves the old nod's dependants, joins the new one's (when not null), keeps the nod.
    void SetNod(CMwNod* nod);
    // Lets go of the value as destruction would: the nod link removed, the value object freed,
    // the word 0. Name, flag, type and id stay.
    void ClearValue();

    // The value.
    u32 GetWord() const { return m_Word; }
    void SetWord(u32 word) { m_Word = word; }
    // The word itself, for readers that take a value by its address.
    u32* GetWordPtr() { return &m_Word; }
    i32 GetInt() const { return std::bit_cast<i32>(m_Word); }
    void SetInt(i32 value) { m_Word = std::bit_cast<u32>(value); }
    f32 GetFloat() const { return std::bit_cast<f32>(m_Word); }
    void SetFloat(f32 value) { m_Word = std::bit_cast<u32>(value); }
    CMwNod* GetNod() const { return m_Nod; }
    // The value object's string or floats; null while the variable has no value object.
    CClassicString* GetString() const { return m_Object ? &m_Object->m_String : nullptr; }
    f32* GetFloats() const { return m_Object ? m_Object->m_Floats : nullptr; }
    // The same, the object made (empty, zero-filled) when missing.
    CClassicString& MakeString() { return MakeObject().m_String; }
    f32* MakeFloats() { return MakeObject().m_Floats; }
    bool HasValueObject() const { return m_Object != nullptr; }
    // Copies the value object's first `count` floats (at most 12) out, zeros while there is none;
    // and in, the object made when missing.
    void ReadFloats(void* out, u32 count) const;
    void WriteFloats(const void* in, u32 count);

    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;

    // Chunk 0x01080000: name, flag, type; a type past 9 read is invalid data.
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;
    // The record of the variable inside block chunks: name, flag, type, and for a Class or Enum
    // variable the id (hexadecimal in text archives). Reading leaves the variable without value;
    // `owner` and `chunkId` name the chunk in the invalid-data line.
    void ArchiveRecord(CClassicArchive& archive, CMwNod* owner, u32 chunkId);

    // Compared byte for byte, case included.
    CClassicString m_Name;
    // 1 once a store wrote the variable.
    u32 m_Assigned = 0;
    // Stored with the variable (a bool); with it a Class variable named "this" was meant to keep
    // its nod when its frame is removed.
    u32 m_Flag = 0;
    // A BlockVariableType.
    u32 m_Type = BlockVariable_Unset;
    // The class id of a Class variable, the member id of an Enum variable's enumeration; else 0.
    u32 m_Id = 0;

private:
    struct SValueObject {
        CClassicString m_String;
        f32 m_Floats[12] = {};
    };

    SValueObject& MakeObject();
    void FreeObject();
    void ArchiveHead(CClassicArchive& archive, CMwNod* owner, u32 chunkId);

    u32 m_Word = 0;
    SValueObject* m_Object = nullptr;
    // A dependant link, no reference.
    CMwNod* m_Nod = nullptr;
};
