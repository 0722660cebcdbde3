#pragma once
// Nod classes of the script tests, the benchmark and the script fuzz targets, registered through
// g_ScriptTestClassList (never through the script library's list), under class ids no engine
// class uses:
// - CScriptTestCmd, a statement that records what is asked of it (runs, resumes and their depths,
//   breaks and continues) and on its run can ask its block to return, sleep or wait; it can also
//   stand in a loop's place (a block's m_Loop) to record the Break calls;
// - CScriptTestObject, a nod with a name id, the object scripts work on, with an enumeration
//   (member Mode: "Off", "On", a value without name, "Auto");
// - CScriptTestRoot, a block that answers as a script root does until the root class exists: it
//   is of the root's kind, records the Sleep and Wait calls that reach it, and answers GetThis and
//   GetThisClassId with what the test gives it. It has no record of its own.
#include "core/nod/MwId.h"
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

    CMwId* GetIdPtr() override { return &m_Id; }

    CMwId m_Id;
    u32 m_Mode = 0;
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
