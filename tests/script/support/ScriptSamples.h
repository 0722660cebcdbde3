#pragma once
// Sample script trees and their stored forms, shared by the tests and the fuzz corpus tool.
#include "tests/script/support/ScriptBuilders.h"
#include "tests/script/support/ScriptExpressions.h"
#include "tests/script/support/ScriptFixtureWriter.h"
#include "tests/script/support/ScriptStatements.h"

#include <string>

// A block holding a test statement that sleeps, a nested block (two statements, the second
// returning; an Int persistent variable and a flagged Class frame variable "this") and another
// statement, with variables of every type in both of its lists.
TNodRef<CMwCmdBlock> MakeSampleTree();

// A block whose statements are a sample of every expression class (NewSampleExpression) and a
// function node of an argument (the samples' one calls a function).
TNodRef<CMwCmdBlock> MakeExpressionTree();

// Writes a new test statement's reference and body.
void WriteTestCmd(CScriptFixtureWriter& w, u32 tag, u32 action = CScriptTestCmd::Action_None,
                  u32 argument = 0);
// The image MakeSampleTree's block saves to in release format, written from the stored layout,
// with the main block's body under the chunk given (the current 0x01030004 or the older
// 0x01030003).
std::string SampleTreeFixture(bool text, u32 chunk);
// A block image holding the three empty older chunks, an older body (a persistent variable, no
// statement) and a current one (a statement, a frame variable) that replaces it.
std::string SampleReplacedBodyFixture(bool text);

// The stored forms of three expressions, written from the layout: an Add of Int 7 and Float 2.5
// after its run (its type, Float, and no value, then its operands), a Neg of Int -5 after its run
// (type and value, 5, then its operand), and an Enum of index 2 over the enumeration member id
// given.
std::string SavedAddFixture(bool text);
std::string SavedNegFixture(bool text);
std::string EnumFixture(bool text, u32 memberId);

// A block declaring a variable of every type (ScriptEveryVariableType) whose statements are a
// sample of every assignment and member-statement class (NewSampleStatement).
TNodRef<CMwCmdBlock> MakeStatementTree();

// The stored forms of the member statements' read-only chunks, written from the layout, each with
// its operand in the older form:
// - 0x01033000, a CMwCmdAffectParamNum of Int 42, number kind 0, reserved 9, on the path that
//   starts at the variable "c": Children.<index>.Integer, the index taken from the expression
//   Int 1;
// - 0x01034000, a CMwCmdCall of Touch, at the object;
// - 0x010a0000, a CMwCmdArrayAdd of the Vec3 (4, 5, 6) to Points, at the object;
// - 0x010a1000, a CMwCmdArrayRemove of Int 0 from Points, at the object.
// The chunk id names the fixture.
std::string OlderMemberStatementFixture(bool text, u32 chunk);
inline constexpr u32 kOlderMemberStatementChunks[] = {0x01033000, 0x01034000, 0x010a0000,
                                                      0x010a1000};

// The stored forms of the read-only chunks of the identifier and member expressions, written from
// the layout after their plain chunk (a Num: type Float; a Class: the test object's class id; an
// Enum: index 1 over Mode):
// - 0x01047000, a CMwCmdExpNumIdent of the variable "v3" without component;
// - 0x01048000, a CMwCmdExpNumParam of kind 101 on Points, the path in the older form;
// - the older path of the other member forms, at the object, on the member of their kind (Bool,
//   Name, Child, Mode, Vec2, Vec3, Iso4);
// - 0x01050001, a CMwCmdExpStringParam on Name with the path in its current form and no wide
//   flag.
std::string OlderOutsideExpressionFixture(bool text, u32 chunk);
inline constexpr u32 kOlderOutsideExpressionChunks[] = {
    0x01047000, 0x01048000, 0x0103d000, 0x01050000, 0x01050001,
    0x01058000, 0x0105a000, 0x0105e000, 0x01061000, 0x01064000};
