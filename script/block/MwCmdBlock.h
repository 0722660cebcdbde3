#pragma once
// CMwCmdBlock: the unit of execution of the script VM. A block holds an ordered list of
// statements (nested blocks among them), the variables declared in it, a program counter and a
// stack of frames. It serves for nested blocks and the bodies of control statements, and is the
// base of the script root, of procedure and function bodies and of the cast blocks.
//
// Variables. The persistent variables are shared by all activations of the block. The frame
// variables belong to one activation: a frame (CMwCmdBlockFrame) holds their values and the pc of
// one activation, so that a block can be entered again while an earlier activation lives (a
// recursive procedure, two suspended executions of one script) and a suspended activation can go
// on later where it stopped. Frame 0 is the idle frame: it holds the values the frame variables
// have between activations, and every new frame starts as a copy of it. The live table holds the
// persistent variables followed by the variables of the top frame: names are looked up there when
// the tree is bound, and identifier operands keep pointers into it.
//
// Frames without churn: frames and their variables are kept and reused. A removed frame lets go of
// its values as destruction would, but its slot and its variable nods stay for the next push, and
// the live table is sized only when it is rebuilt (at bind): a push or a pop moves no variable, so
// the pointers identifier operands keep stay valid until the next bind, and a run whose frame
// variables hold numbers allocates nothing once the block has run before.
//
// Bits: 1 suspended (the activation stopped inside, its frame saved, pc on the statement that
// suspended), 2 own frame (the block pushes a frame for every run and removes it at the end; set
// in a new block), 4 leave (stop running the statements).
#include "core/base/FastBuffer.h"
#include "script/base/MwCmdScript.h"
#include "script/block/BlockVariable.h"

// One activation: the pc it stopped at and the values of the block's frame variables.
struct CMwCmdBlockFrame {
    u32 m_SavedPc = 0;
    CFastArray<CBlockVariable> m_Variables;
};

class CMwCmdBlock : public CMwCmdScript {
    MW_DECLARE_CLASS(CMwCmdBlock, CMwCmdScript, 0x01030000)
public:
    static constexpr u32 s_CmdsMemberId = 0x01030000;
    static constexpr u32 s_IsSleepingMemberId = 0x01030001;
    // The older full body, read only, and the current one, whose body is present only in a
    // release-format archive. Chunks 0x01030000 to 0x01030002 are read with an empty body.
    static constexpr u32 s_OldBodyChunk = 0x01030003;
    static constexpr u32 s_BodyChunk = 0x01030004;

    static constexpr u32 s_Suspended = 1;
    static constexpr u32 s_OwnFrame = 2;
    static constexpr u32 s_Leave = 4;

    // The script root's class (CMwCmdBlockMain): Sleep and Wait suspend only under one.
    static constexpr u32 s_RootClassId = 0x01067000;

    // Frame 0 exists from construction on; bit 2 set.
    CMwCmdBlock();
    // Gives back the statements' references; the variables leave the nods they hold.
    ~CMwCmdBlock() override;

    // Runs the statements from pc on. Unless the block continues a suspended activation (bit 1,
    // cleared then), a block with its own frame pushes one; a statement that suspends the
    // activation or asks the block to leave stops the run with pc on it. At the end of a run that
    // was not suspended pc goes back to 0 and the own frame is removed. Every statement takes a
    // step of the step budget; once it is spent the block leaves before its next statement.
    void Run() override;
    // Rebuilds the live table, stores the parent, then binds every statement with this block.
    void Bind(CMwCmdScript* parent) override;
    // Gives the nod to every statement, in order.
    void SetThis(CMwNod* nod) override;
    // Asked of the parent: the script root answers. Null at the top of a chain without root.
    CMwNod* GetThis() override;

    // Saves the current frame, appends one whose variables are copies of frame 0's, loads it,
    // pc 0.
    virtual void PushFrame();
    // remove 1: frame index lets go of its values and leaves the stack, the frames above moving
    // down; remove 0: frame index is taken out and put back on top (how a suspended activation
    // comes back). Then the new top frame is loaded. An index that is not a frame above frame 0
    // changes nothing.
    virtual void PopFrames(u32 index, u32 remove);
    // Looks the given variable's name up as FindVariableByName does and, when found, copies the
    // variable found into the given one (CBlockVariable::Assign); 1 when found, else 0.
    virtual u32 FindVariable(CBlockVariable& variable);
    // The class id the script's object must have: asked of the parent, the root answers; 0 at
    // the top of a chain without root.
    virtual u32 GetThisClassId();
    // The activation leaves: bit 4, the loop whose body this block is is asked to stop (Break
    // with null), and the parent block is told the same. The chain stops at a block without
    // parent; procedure bodies end it themselves.
    virtual void Return(CMwCmdExp* value);
    // The execution suspends: bit 1 on every block from here to the root, each block's loop asked
    // to stop, and the root records the suspension. Under a chain whose top is not a script root
    // nothing changes and the log says "Script Warning : Sleep or Wait outside a script,
    // ignored.".
    virtual void Sleep(u32 milliseconds);
    virtual void Wait(CMwCmdExp* condition);

    // The top frame takes the live frame variables and pc.
    void SaveFrame();
    // The live table takes the frame's variables (after the persistent ones) and pc its pc.
    void LoadFrame(CMwCmdBlockFrame& frame);
    // The own frame ends: PopFrames (top, 1), then bit 4 cleared.
    void EndOwnFrame();
    // The live table: the persistent variables, then frame 0's (sized again only when the counts
    // changed).
    void RebuildLiveTable();
    // Continues the suspended execution whose call frame has index depth in the root: frame
    // depth + 1 of this block and of every block on the execution's path (the statement at pc,
    // block after block) is brought back on top and the block marked suspended; the statement the
    // path ends at is resumed. A block of the walk without that frame stops it, with "Script
    // Warning : Resume of a missing frame, ignored.".
    void Resume(u32 depth);

    // The first variable of the live table with that name (equal length, then equal bytes), else
    // null.
    CBlockVariable* FindLocalVariable(CClassicStringRef name);
    // The same search in this block, then in each block up the parent chain; null when none has
    // it. Used when nodes are bound.
    CBlockVariable* FindVariableByName(CClassicStringRef name);

    // The parent when it is a block.
    CMwCmdBlock* GetParentBlock() const;

    // Appends a statement, taking one reference on it (as the chunk readers do).
    void AddCmd(CMwCmdScript* cmd);
    // Declares one more persistent or frame variable and returns it to be named and typed. Frames
    // above frame 0 are dropped when a frame variable is added; the live table follows at the
    // next bind.
    CBlockVariable& AddVariable(bool persistent);

    u32 GetFrameCount() const { return m_FrameCount; }
    CMwCmdBlockFrame& GetFrame(u32 index) { return *m_Frames.m_Items[index]; }
    CMwCmdBlockFrame& GetTopFrame() { return *m_Frames.m_Items[m_FrameCount - 1]; }
    CFastArray<CBlockVariable>& GetFrameVariables() { return GetFrame(0).m_Variables; }

    // IsSleeping: reading gives bit 1; writing answers success and changes nothing.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;
    void ArchiveChunk(CClassicArchive& archive, u32 chunkId) override;

    // Member Cmds. One reference held on each statement (the block counts them itself: the list
    // descriptors do not).
    CFastArray<CMwCmdScript*> m_Cmds;
    CFastArray<CBlockVariable> m_PersistentVariables;
    CFastArray<CBlockVariable> m_LiveVariables;
    u32 m_Pc = 0;
    u32 m_Bits = s_OwnFrame;
    // The loop statement whose body this block is, set by the loop; not counted (the loop clears
    // it when it lets go of the block).
    CMwCmdInst* m_Loop = nullptr;

private:
    // Chunks 0x01030003 and 0x01030004: u32 n and n statement references, u32 m and m records of
    // persistent variables, u32 k and k records of frame 0's variables. A second body replaces
    // the variables of the first; one over statements read before is invalid data.
    void ArchiveBody(CClassicArchive& archive, u32 chunkId);
    // Frames above frame 0 let go of their values and leave the stack.
    void DropFrames();
    // This block's part of a Sleep or Wait: under a script root, bit 1 and the loop asked to stop;
    // false, with a warning and nothing changed, when the chain ends elsewhere or the root runs no
    // execution (a statement run by itself).
    bool Suspend();

    // The frame slots: the first m_FrameCount are the stack (never empty), the others spare.
    CFastBuffer<CMwCmdBlockFrame*> m_Frames;
    u32 m_FrameCount = 1;
};
