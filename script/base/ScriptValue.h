#pragma once
// The two value codings of the script VM and the record in which an expression hands out a copy
// of its value.
//
// An expression has a value kind (CmdExpValueType), fixed by its class and never stored; a script
// variable has a type (BlockVariableType), stored with it. An expression of a kind reads and
// writes the variables of the matching type: Bool 0 and 0, Class 1 and 4, Enum 2 and 5, Iso4 3
// and 8, Num 4 and Int 1 or Float 2 (a Num's own type word says which: 0 Int, 1 Float), String 5
// and 3, Vec2 6 and 6, Vec3 7 and 7.
#include "core/math/Iso.h"
#include "platform/Types.h"

#include <cstring>
#include <type_traits>

class CMwNod;

enum CmdExpValueType : i32 {
    // The abstract expression's kind.
    CmdExpValue_None = -1,
    CmdExpValue_Bool = 0,
    CmdExpValue_Class = 1,
    CmdExpValue_Enum = 2,
    CmdExpValue_Iso4 = 3,
    CmdExpValue_Num = 4,
    CmdExpValue_String = 5,
    CmdExpValue_Vec2 = 6,
    CmdExpValue_Vec3 = 7,
};

enum BlockVariableType : u32 {
    BlockVariable_Bool = 0,
    BlockVariable_Int = 1,
    BlockVariable_Float = 2,
    BlockVariable_String = 3,
    BlockVariable_Class = 4,
    BlockVariable_Enum = 5,
    BlockVariable_Vec2 = 6,
    BlockVariable_Vec3 = 7,
    BlockVariable_Iso4 = 8,
    // A fresh variable: no value.
    BlockVariable_Unset = 9,
};

// The type word of a Num value.
enum CmdExpNumType : u32 {
    CmdExpNum_Int = 0,
    CmdExpNum_Float = 1,
};

// One pair of matching codes: the value kind and the variable type it reads and writes.
struct SScriptValueCoding {
    CmdExpValueType Kind;
    BlockVariableType Type;
};

// The mapping, one row per variable type that holds a value (Num twice: Int and Float).
inline constexpr SScriptValueCoding kScriptValueCodings[] = {
    {CmdExpValue_Bool, BlockVariable_Bool},   {CmdExpValue_Num, BlockVariable_Int},
    {CmdExpValue_Num, BlockVariable_Float},   {CmdExpValue_String, BlockVariable_String},
    {CmdExpValue_Class, BlockVariable_Class}, {CmdExpValue_Enum, BlockVariable_Enum},
    {CmdExpValue_Vec2, BlockVariable_Vec2},   {CmdExpValue_Vec3, BlockVariable_Vec3},
    {CmdExpValue_Iso4, BlockVariable_Iso4},
};

// The value kind that reads and writes variables of the type; CmdExpValue_None for the unset
// type and for numbers past it.
constexpr CmdExpValueType ScriptValueKindOfVariable(u32 variableType) {
    for (const SScriptValueCoding& row : kScriptValueCodings)
        if (row.Type == variableType)
            return row.Kind;
    return CmdExpValue_None;
}

// The variable type that holds a value of the kind: a Num gives Int for its type word 0 and Float
// for 1; BlockVariable_Unset for a kind that has none (or a Num of another type word).
constexpr BlockVariableType ScriptVariableTypeOfValue(i32 valueKind, u32 numType = CmdExpNum_Int) {
    if (valueKind == CmdExpValue_Num)
        return numType == CmdExpNum_Int     ? BlockVariable_Int
               : numType == CmdExpNum_Float ? BlockVariable_Float
                                            : BlockVariable_Unset;
    for (const SScriptValueCoding& row : kScriptValueCodings)
        if (row.Kind == valueKind)
            return row.Type;
    return BlockVariable_Unset;
}

// What CMwCmdExp::GetValue fills. Value is made to point at a copy of the expression's value that
// stays valid until the expression runs again: the record's own storage (which Value designates
// from construction on, so a word-sized value is simply written there), or a value that lives
// elsewhere (a String expression's second string). A Class value is a CMwNod pointer.
struct CmdExpValueRecord {
    CmdExpValueRecord() = default;
    // Value may designate Storage: a copy would point into the original.
    CmdExpValueRecord(const CmdExpValueRecord&) = delete;
    CmdExpValueRecord& operator=(const CmdExpValueRecord&) = delete;

    void* Value = Storage;
    // As large as, and aligned for, the largest value: an Iso4's 12 floats (or a nod pointer).
    alignas(alignof(Iso4) > alignof(CMwNod*) ? alignof(Iso4)
                                             : alignof(CMwNod*)) u8 Storage[48] = {};
};
static_assert(sizeof(Iso4) == sizeof(CmdExpValueRecord::Storage));

// SetValue's copy: the value at the address into the node's value. The address may be the value
// itself (a node given its own value back).
template <class T>
void ScriptCopyValue(T& value, const void* from) {
    std::memmove(&value, from, sizeof value);
}

// GetValue of a value that fits the record: a copy in the record's own storage, which the record
// then designates.
template <class T>
void ScriptRecordValue(CmdExpValueRecord& record, const T& value) {
    static_assert(sizeof value <= sizeof record.Storage && std::is_trivially_copyable_v<T>);
    std::memcpy(record.Storage, &value, sizeof value);
    record.Value = record.Storage;
}
