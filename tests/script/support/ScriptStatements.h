#pragma once
// Builders of the statements that assign variables and members and act on members, of their
// operands, and of the extern variable nods, for the tests, the benchmark and the fuzz corpus; a
// sample of every such class.
//
// As with the other builders, a new node has no reference yet; the node it is given to takes one,
// as its chunk reader would.
#include "script/statement/MwCmdAffectIdent.h"
#include "script/statement/MwCmdAffectParam.h"
#include "script/statement/MwCmdCall.h"
#include "script/var/MwCmdScriptVar.h"
#include "tests/script/support/ScriptExpressions.h"
#include "tests/script/support/ScriptTestNods.h"

#include <vector>

// A member path parsed from the text against the class (the test object's by default), for
// instance "Child.Integer" or "Points.0". A text that does not parse stops the program: it is a
// mistake in the caller.
CMwMemberPath* NewSegment(const char* text, u32 classId = CScriptTestObject::s_ClassId);
// The member of that id followed by an element index item (the text parser does not take a
// RefBuffer member such as Children).
CMwMemberPath* NewElementSegment(u32 memberId, u32 index);
// Appends a segment parsed from the text, and its index expression (null: none) to the operand.
void AddPathSegment(CMwCmdParamPath& param, const char* text, CMwCmdExpNum* index = nullptr,
                    u32 classId = CScriptTestObject::s_ClassId);
// The access starts at the variable of that name (the this flag cleared).
void StartAtVariable(CMwCmdParamPath& param, const char* name);

// An assignment of the value to the variable; with `once`, an initialising one.
template <class T>
T* NewAffectIdent(const char* name, CMwCmdExp* value, bool once = false) {
    auto* node = new T;
    node->m_Ident.m_Name.Assign(name);
    node->SetValueExp(value);
    node->m_HasOnce = once ? 1 : 0;
    return node;
}
// A member expression of class T over a path of one segment, parsed against the test object's
// class, that starts at the script's object.
template <class T>
T* NewParam(const char* path) {
    auto* node = new T;
    AddPathSegment(node->m_Param, path);
    return node;
}

CMwCmdAffectIdentNum* NewAffectIdentNum(const char* name, CMwCmdExp* value, i32 component = -1);

// The statements over a member path of one segment, parsed against the test object's class, that
// starts at the script's object.
template <class T>
T* NewAffectParam(const char* path, CMwCmdExp* value, u32 numberKind = 0xFFFFFFFF) {
    auto* node = new T;
    AddPathSegment(node->m_Param, path);
    node->SetValueExp(value);
    node->m_NumberKind = numberKind;
    return node;
}
CMwCmdCall* NewCall(const char* path);
CMwCmdArrayAdd* NewArrayAdd(const char* path, CMwCmdExp* value);
CMwCmdArrayRemove* NewArrayRemove(const char* path, CMwCmdExp* value);

// The class ids of the assignment, member-statement and extern-variable classes, in registration
// order.
const std::vector<u32>& ScriptStatementClassIds();
// A node of the class holding data in every field its chunks store (an identifier, a value, the
// once flag, a selector; member paths of several segments with index expressions, starting at the
// object, at a variable or at a start expression); null for a class that is not of that list.
CMwNod* NewSampleStatement(u32 classId);
