#pragma once
// CMwCmdBlockMain: the root of a script tree, and the script as the rest of the engine sees it.
// It holds the top-level statements and global variables (as a block), the procedures and
// functions (Methods), the extern variable nods through which code outside reads and writes the
// script's variables (Variables), and the class of object the script runs on.
//
// Executions. Executing the script on an object runs the root block with that object: each
// execution has a block frame of the root and, beside it, a call frame (CMwCmdBlockMainCallFrame)
// that records its object, its suspension and the nods its commands created. Block frame 0 is
// the idle frame and has no call frame: the call frame of the execution in block frame i is at
// index i - 1. A Sleep or Wait suspends the running execution into its call frame; a fast call
// in command buffer 13 of the scheduling core (OnTick) continues those that are due. Several
// executions can be suspended at once. The script time is the value word of the clock the
// scheduling core designates; without a core it reads 0 and no tick is made, so suspended
// executions stay suspended.
//
// Chunks: 0x01067000 to 0x01067004 read only (000 to 002 empty; 003 and 004 older layouts),
// 0x01067005 read and written: the name id, this class id, then in a release-format archive the
// procedures, the declaring statements and the extern variable nods; without the release flag the
// source text, which is logged, and a bool.
#include "core/nod/MwId.h"
#include "script/block/MwCmdBlock.h"

class CMwCmdFastCall;
class CMwCmdScriptVar;
class CMwCmdAffectIdent;
class CMwCmdBlockProcedure;

struct CMwCmdBlockMainCallFrame {
    u32 m_Sleeping = 0;
    u32 m_Start = 0;
    u32 m_Duration = 0;
    // The condition of a Wait, one reference held; null for a Sleep.
    CMwCmdExp* m_WaitCondition = nullptr;
    // One reference held on each.
    CFastArray<CMwNod*> m_CreatedNods;
    // The root is a dependant of it; cleared when it goes.
    CMwNod* m_Object = nullptr;
};

class CMwCmdBlockMain : public CMwCmdBlock {
    MW_DECLARE_CLASS(CMwCmdBlockMain, CMwCmdBlock, 0x01067000)
public:
    static constexpr u32 s_VariablesMemberId = 0x01067000;
    static constexpr u32 s_ExecuteMemberId = 0x01067001;
    static constexpr u32 s_MethodsMemberId = 0x01067002;
    static constexpr u32 s_CurrentChunk = 0x01067005;
    // The command buffer whose fast call continues suspended executions.
    static constexpr u32 s_TickBuffer = 13;

    CMwCmdBlockMain();
    ~CMwCmdBlockMain() override;

    CMwId* GetIdPtr() override { return &m_IdName; }

    // 0 for a null nod or one not of kind this class id (so a script whose class id is still 0
    // cannot run this way); else SetThis, Run, 1.
    u32 ExecuteOn(CMwNod* nod);
    // The block run, then bit 1 cleared: a suspended execution leaves the root idle.
    void Run() override;
    // The statements, the procedures with the root as parent, then every extern attached to the
    // variable its declaring statement names.
    void Bind(CMwCmdScript* parent) override;
    // With a nod: this class id taken from it when 0, the nod kept, the initialisers of the
    // externs that are unbound or unassigned run, then the statements and the procedures given
    // the nod. With null: this null, the statements and procedures given null.
    void SetThis(CMwNod* nod) override;
    CMwNod* GetThis() override { return m_This; }
    u32 GetThisClassId() override { return m_ThisClassId; }
    virtual void SetThisClassId(u32 classId) { m_ThisClassId = classId; }

    // A fresh execution: the block push, then a call frame on this object, made current.
    void PushFrame() override;
    void PopFrames(u32 index, u32 remove) override;
    // The running execution suspends into its call frame; the tick is ensured. Without a current
    // call frame (a statement run by itself) nothing changes and the log says so.
    void Sleep(u32 milliseconds) override;
    void Wait(CMwCmdExp* condition) override;
    // The nod a command created is kept (one reference) until the execution ends; without an
    // execution, until the root goes.
    void AddCreatedNod(CMwNod* nod);
    // Run by buffer 13: continues the suspended executions that are due.
    void OnTick();
    // The script time: the designated clock's value word, 0 without a scheduling core.
    static u32 GetScriptTime();

    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;

    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Building: one reference taken on each (the declaring statement is not counted: its block
    // holds it).
    void AddProcedure(CMwCmdBlockProcedure* procedure);
    void AddExtern(CMwCmdAffectIdent* declaration, CMwCmdScriptVar* variable);

    u32 GetCallFrameCount() const { return m_CallFrames.m_Count; }
    CMwCmdBlockMainCallFrame& GetCallFrame(u32 index) { return *m_CallFrames.m_Items[index]; }
    CMwCmdFastCall* GetFastCall() const { return m_FastCall; }
    CMwCmdBlockProcedure* Procedure(u32 index) const;
    CMwCmdScriptVar* Extern(u32 index) const;

    CMwId m_IdName;
    // The member lists are read by the core's list descriptors as arrays of nods: typed access
    // goes through Procedure and Extern.
    CFastArray<CMwNod*> m_Procedures;
    CFastArray<CMwCmdAffectIdent*> m_Declarations;
    CFastArray<CMwNod*> m_ExternVariables;
    CMwCmdFastCall* m_FastCall = nullptr;
    CMwCmdBlockMainCallFrame* m_CurrentCallFrame = nullptr;
    CFastBuffer<CMwCmdBlockMainCallFrame*> m_CallFrames;
    CMwNod* m_This = nullptr;
    u32 m_ThisClassId = 0;
    // Nods created while no execution was current: kept until the root goes.
    CFastArray<CMwNod*> m_LooseCreatedNods;

private:
    // The externs, procedures and declaring statements: the lists of chunks 003 to 005.
    void ArchiveLists(CClassicArchive& archive, u32 chunkId, bool procedures);
    // Chunks 003 and 004 end with this: without the release flag a string and a bool dropped,
    // then the name id and the bind.
    void ArchiveOldTail(CClassicArchive& archive);
    void ArchiveCurrent(CClassicArchive& archive, u32 chunkId);
    void AttachExterns();
    void EnsureTick();
    // The frame lets go of its wait condition, its created nods (last first) and its object.
    void ClearCallFrame(CMwCmdBlockMainCallFrame& frame);
    // The current call frame flagged sleeping and bit 1; false, logged, without one.
    bool Suspend();
};
