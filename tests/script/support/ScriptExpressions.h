#pragma once
// Builders of expression trees for the tests, the benchmark and the fuzz corpus, a sample of every
// expression class, and an archive that keeps referred nods inside the bodies that refer to them.
//
// As with the other builders, a new node has no reference yet; the node it is given to takes one,
// as its chunk reader would.
#include "core/base/ClassicArchive.h"
#include "script/expression/MwCmdExpClass.h"
#include "script/expression/MwCmdExpEnum.h"
#include "script/expression/MwCmdExpIdent.h"
#include "script/expression/MwCmdExpNum.h"
#include "script/expression/MwCmdExpString.h"
#include "script/expression/MwCmdExpStringOps.h"
#include "script/expression/MwCmdExpVec.h"

#include <vector>

// Takes the reference the holder keeps on a child.
template <class T>
T* ScriptHold(T* child) {
    if (child)
        child->AddRef();
    return child;
}

CMwCmdExpNum* NewNum(u32 type, u32 word);
CMwCmdExpNum* NewInt(i32 value);
CMwCmdExpNum* NewFloat(f32 value);
CMwCmdExpBool* NewBool(u32 value);
CMwCmdExpString* NewString(const char* text);
// An Enum constant of the index over the enumeration of the member id.
CMwCmdExpEnum* NewEnum(u32 index, u32 memberId);
CMwCmdExpClass* NewClass(u32 classId, CMwNod* value = nullptr);
CMwCmdExpVec2* NewVec2(CMwCmdExpNum* x, CMwCmdExpNum* y);
CMwCmdExpVec3* NewVec3(CMwCmdExpNum* x, CMwCmdExpNum* y, CMwCmdExpNum* z);
// A Vec3 of Float constants.
CMwCmdExpVec3* NewFloatVec3(f32 x, f32 y, f32 z);
CMwCmdExpIso4* NewIso4(CMwCmdExpVec3* axisX, CMwCmdExpVec3* axisY, CMwCmdExpVec3* axisZ,
                       CMwCmdExpVec3* translation);
CMwCmdExpNumFunction* NewNumFunction(u32 kind, CMwCmdExpNum* argument);

// An operator of class T over its operands.
template <class T, class First, class Second>
T* NewBinary(First* first, Second* second) {
    auto* node = new T;
    node->m_Value1 = ScriptHold(first);
    node->m_Value2 = ScriptHold(second);
    return node;
}
template <class T, class Operand>
T* NewUnary(Operand* operand) {
    auto* node = new T;
    node->m_Operand = ScriptHold(operand);
    return node;
}

// The string operations and the object expression.
CMwCmdExpStringUpDownCase* NewUpDownCase(CMwCmdExpString* source, u32 upper);
CMwCmdExpClassThis* NewClassThis(u32 classId);

// An identifier form of class T naming the variable; the Num one with its component.
template <class T>
T* NewIdent(const char* name) {
    auto* node = new T;
    node->m_Ident.m_Name.Assign(name);
    return node;
}
CMwCmdExpNumIdent* NewNumIdent(const char* name, i32 component = -1);

// The class ids of the expression classes of numbers, Booleans, vectors, matrices, strings,
// enumerations and classes, in registration order.
const std::vector<u32>& ScriptExpressionClassIds();
// A node of the class holding data in every field its chunks store (operands, a value, a call to
// a function with arguments), run once so that computed values and types are there; null for a
// class that is not an expression of that list.
CMwCmdExp* NewSampleExpression(u32 classId);

// An archive whose nod references carry the nod they refer to: the class id (hexadecimal) and the
// body, or 0xFFFFFFFF for none; reading creates the nod by class id. For bodies that refer to
// each nod once (the class-list check of the script classes).
class CScriptInlineArchive : public CClassicArchive {
public:
    void ArchiveNodRef(CMwNod*& nod) override;
};
