#pragma once
// Nod classes of the script tests, the benchmark and the script fuzz targets, registered through
// g_ScriptTestClassList (never through the script library's list), under class ids no engine
// class uses:
// - CScriptTestCmd, a statement that records what is asked of it (runs, resumes and their depths,
//   breaks and continues) and on its run can ask its block to return, sleep or wait; it can also
//   stand in a loop's place (a block's m_Loop) to record the Break calls;
// - CScriptTestObject, a nod with a name id, the object scripts work on: an enumeration (member
//   Mode: "Off", "On", a value without name, "Auto") and a member of every other kind a script
//   reads or writes (values, a narrow and a wide text, vectors, a transform, a child object for
//   paths, an action and a procedure that count their calls, a list of Vec3, a list that holds
//   references and is open for adding and removing, and a read-only list);
// - CScriptTestRoot, a block that answers as a script root does until the root class exists: it
//   is of the root's kind, records the Sleep and Wait calls that reach it, and answers GetThis and
//   GetThisClassId with what the test gives it. It has no record of its own.
#include "core/math/Iso.h"
#include "core/math/Vec.h"
#include "core/nod/MwId.h"
#include "core/nod/MwRefBuffer.h"
#include "script/base/MwCmdScript.h"
#include "script/block/MwCmdBlock.h"

#include <string>
#include <vector>

class CScriptTestCmd : public CMwCmdInst {
    MW_DECLARE_CLASS(CScriptTestCmd, CMwCmdInst, 0x01FC0000)
public:
    static constexpr u32 s_Chunk = 0x01FC0000; // u32 tag, u32 action, u32 argument

    // What a run asks of the parent block after recording itself.
    enum EAction : u32 {
        Action_None = 0,
        Action_Return = 1,
        // Sleep for m_Argument milliseconds; Resume moves the block's pc past the statement.
        Action_Sleep = 2,
        // Wait with no condition; Resume moves the block's pc past the statement.
        Action_Wait = 3,
    };

    // Records the run (m_Runs, and the tag in ScriptTestTrace), then does the action.
    void Run() override;
    // Records the depth; a sleeping or waiting statement moves its block's pc past itself.
    void Resume(u32 depth) override;
    void Break(CMwCmdInst* statement) override;
    void Continue(CMwCmdInst* statement) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    u32 m_Tag = 0;
    u32 m_Action = Action_None;
    u32 m_Argument = 0;
    // Not stored.
    u32 m_Runs = 0;
    std::vector<u32> m_ResumeDepths;
    std::vector<CMwCmdInst*> m_Breaks;
    u32 m_Continues = 0;
};

class CScriptTestObject : public CMwNod {
    MW_DECLARE_CLASS(CScriptTestObject, CMwNod, 0x01FC1000)
public:
    static constexpr u32 s_ModeMemberId = 0x01FC1000;
    static constexpr u32 s_ModeNameCount = 4;
    static constexpr u32 s_ChildMemberId = 0x01FC100A;

    // Children accepts test objects only.
    CScriptTestObject();
    // Gives back the references of Child, Children and Kept.
    ~CScriptTestObject() override;

    CMwId* GetIdPtr() override { return &m_Id; }
    // Child is set through the class: a test object (one reference held) or null; 2 for any other
    // nod. A path that goes on sets the member of the child.
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // Touch (an Action member) counts its calls.
    void Touch() { ++m_Touches; }
    // Sum (a Proc member: in Integer A, in Integer B, out Integer Result): Result = A + B
    // (wrapping); 2 when an argument is missing. Counts its calls.
    u32 Sum(CMwMemberPath* path);
    // Keeps the nod in Kept, with a reference.
    void Keep(CScriptTestObject* nod);
    // Lets go of every nod this one holds (Child, Children, Kept), so that objects a script linked
    // to each other in a cycle can go.
    void DropLinks();

    CMwId m_Id;
    u32 m_Mode = 0;
    u32 m_Bool = 0;
    i32 m_Integer = 0;
    u32 m_Natural = 0;
    f32 m_Real = 0;
    CClassicString m_Name;
    CClassicWideString m_WideName;
    Vec2 m_Vec2;
    Vec3 m_Vec3;
    Iso4 m_Iso4;
    CMwNodRef m_Child;
    CFastBuffer<Vec3> m_Points;
    CMwRefBuffer m_Children;
    CFastBuffer<CScriptTestObject*> m_Kept;
    // Not reflected.
    u32 m_Touches = 0;
    u32 m_Sums = 0;
};

class CScriptTestRoot : public CMwCmdBlock {
public:
    bool IsKindOf(u32 classId) override {
        return classId == s_RootClassId || CMwCmdBlock::IsKindOf(classId);
    }
    CMwNod* GetThis() override { return m_This; }
    u32 GetThisClassId() override { return m_ThisClassId; }
    // Recorded, then the block's own suspension (bit 1, the loop asked to stop).
    void Sleep(u32 milliseconds) override;
    void Wait(CMwCmdExp* condition) override;

    CMwNod* m_This = nullptr;
    u32 m_ThisClassId = 0;
    std::vector<u32> m_Sleeps;
    u32 m_Waits = 0;
};

// The tags of the test statements' runs since the last clear, one character per run (the tag as
// a letter: 'a' + tag % 26).
std::string& ScriptTestTrace();

extern const CMwClassList g_ScriptTestClassList;
