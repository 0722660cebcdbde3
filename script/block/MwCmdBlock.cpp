#include "script/block/MwCmdBlock.h"

#include "core/base/ClassicArchive.h"
#include "core/nod/MwVirtualMember.h"
#include "script/base/ScriptArchive.h"
#include "script/base/ScriptRun.h"
#include "script/block/MwCmdBlockMain.h"

#include <algorithm>
#include <cstring>

#define CMWCMDBLOCK_MEMBERS(X)                                                                     \
    X(Array, 0x01030000, "Cmds", MW_FIELD(m_Cmds), "Cmds", 0x01, 0x380, MwType_Class, 0x01, "Cmd", \
      &CMwCmdScript::s_ClassInfo)                                                                  \
    X(Bool, 0x01030001, "IsSleeping", MW_VIRTUAL(""), "Is Sleeping", 0x33, 0x380)
#define CMWCMDBLOCK_CHUNKS(X)                                                                      \
    X(0x01030000, 1) X(0x01030001, 1) X(0x01030002, 1) X(0x01030003, 1) X(0x01030004, 3)

MW_DEFINE_CLASS(CMwCmdBlock, MwFactory<CMwCmdBlock>, CMWCMDBLOCK_MEMBERS, CMWCMDBLOCK_CHUNKS);

CMwCmdBlock::CMwCmdBlock() {
    m_Frames.Add(new CMwCmdBlockFrame);
}

CMwCmdBlock::~CMwCmdBlock() {
    for (u32 i = 0; i < m_Cmds.m_Count; ++i)
        ScriptReleaseChild(this, m_Cmds.m_Items[i]);
    for (u32 i = 0; i < m_Frames.m_Count; ++i)
        delete m_Frames.m_Items[i];
    m_Frames.FreeItems();
}

// ---------------------------------------------------------------------------------------------
// Running

void CMwCmdBlock::Run() {
    const u32 count = m_Cmds.m_Count;
    if (!(m_Bits & s_Suspended) && (m_Bits & s_OwnFrame))
        PushFrame();
    else
        m_Bits &= ~s_Suspended;
    m_Bits &= ~s_Leave;
    while (m_Pc < count) {
        if (!script::TakeStep()) {
            m_Bits |= s_Leave;
            break;
        }
        m_Cmds.m_Items[m_Pc]->Run();
        if (m_Bits & (s_Suspended | s_Leave))
            break;
        GetTopFrame().m_SavedPc = ++m_Pc;
    }
    if (m_Bits & s_Suspended) {
        if (m_Bits & s_OwnFrame)
            SaveFrame();
        return;
    }
    m_Pc = 0;
    if (m_Bits & s_OwnFrame)
        EndOwnFrame();
}

void CMwCmdBlock::Bind(CMwCmdScript* parent) {
    RebuildLiveTable();
    m_Parent = parent;
    for (u32 i = 0; i < m_Cmds.m_Count; ++i)
        m_Cmds.m_Items[i]->Bind(this);
}

void CMwCmdBlock::SetThis(CMwNod* nod) {
    for (u32 i = 0; i < m_Cmds.m_Count; ++i)
        m_Cmds.m_Items[i]->SetThis(nod);
}

CMwNod* CMwCmdBlock::GetThis() {
    return m_Parent ? m_Parent->GetThis() : nullptr;
}

u32 CMwCmdBlock::GetThisClassId() {
    CMwCmdBlock* parent = GetParentBlock();
    return parent ? parent->GetThisClassId() : 0;
}

void CMwCmdBlock::Return(CMwCmdExp* value) {
    m_Bits |= s_Leave;
    if (m_Loop)
        m_Loop->Break(nullptr);
    if (CMwCmdBlock* parent = GetParentBlock())
        parent->Return(value);
}

void CMwCmdBlock::Sleep(u32 milliseconds) {
    if (!Suspend())
        return;
    if (CMwCmdBlock* parent = GetParentBlock())
        parent->Sleep(milliseconds);
}

void CMwCmdBlock::Wait(CMwCmdExp* condition) {
    if (!Suspend())
        return;
    if (CMwCmdBlock* parent = GetParentBlock())
        parent->Wait(condition);
}

bool CMwCmdBlock::Suspend() {
    // Every block up the chain asks the same question of the same root, so the answer holds for
    // the whole chain before the first bit is set.
    CMwCmdScript* root = GetRoot();
    if (!root->IsKindOf(s_RootClassId)) {
        ScriptWarning("Sleep or Wait outside a script, ignored.");
        return false;
    }
    // A statement run by itself has no execution to suspend.
    const auto* main = dynamic_cast<CMwCmdBlockMain*>(root);
    if (main && !main->m_CurrentCallFrame) {
        ScriptWarning("Sleep or Wait outside an execution, ignored.");
        return false;
    }
    m_Bits |= s_Suspended;
    if (m_Loop)
        m_Loop->Break(nullptr);
    return true;
}

void CMwCmdBlock::Resume(u32 depth) {
    const u64 index = u64(depth) + 1;
    for (CMwCmdBlock* block = this;;) {
        if (index >= block->m_FrameCount) {
            ScriptWarning("Resume of a missing frame, ignored.");
            return;
        }
        block->PopFrames(u32(index), 0);
        block->m_Bits |= s_Suspended;
        if (block->m_Pc >= block->m_Cmds.m_Count)
            return;
        CMwCmdScript* cmd = block->m_Cmds.m_Items[block->m_Pc];
        if (cmd->IsKindOf(s_ClassId)) {
            block = static_cast<CMwCmdBlock*>(cmd);
            continue;
        }
        if (cmd->IsKindOf(CMwCmdInst::s_ClassId))
            static_cast<CMwCmdInst*>(cmd)->Resume(depth);
        return;
    }
}

// ---------------------------------------------------------------------------------------------
// Frames

void CMwCmdBlock::PushFrame() {
    SaveFrame();
    if (m_FrameCount == m_Frames.m_Count)
        m_Frames.Add(new CMwCmdBlockFrame);
    CFastArray<CBlockVariable>& idle = GetFrameVariables();
    CMwCmdBlockFrame& frame = *m_Frames.m_Items[m_FrameCount++];
    // A spare slot keeps its variables unless frame 0's count changed.
    if (frame.m_Variables.m_Count != idle.m_Count) {
        frame.m_Variables.SetCount(0);
        frame.m_Variables.SetCount(idle.m_Count);
    }
    for (u32 i = 0; i < idle.m_Count; ++i)
        frame.m_Variables.m_Items[i].Assign(idle.m_Items[i]);
    frame.m_SavedPc = 0;
    LoadFrame(frame);
    m_Pc = 0;
}

void CMwCmdBlock::PopFrames(u32 index, u32 remove) {
    if (index == 0 || index >= m_FrameCount)
        return;
    CMwCmdBlockFrame* frame = m_Frames.m_Items[index];
    // A removed frame lets go of everything it holds, as destruction would: its Class variables
    // (those named "this" whose flag is clear among them) leave their nods, its value objects are
    // freed. Its slot moves to the top and becomes spare.
    if (remove) {
        for (u32 i = 0; i < frame->m_Variables.m_Count; ++i)
            frame->m_Variables.m_Items[i].ClearValue();
    }
    const u32 top = m_FrameCount - 1;
    std::memmove(m_Frames.m_Items + index, m_Frames.m_Items + index + 1,
                 (top - index) * sizeof(CMwCmdBlockFrame*));
    m_Frames.m_Items[top] = frame;
    if (remove)
        --m_FrameCount;
    LoadFrame(GetTopFrame());
}

void CMwCmdBlock::SaveFrame() {
    CMwCmdBlockFrame& top = GetTopFrame();
    const u32 base = m_PersistentVariables.m_Count;
    const u32 live = m_LiveVariables.m_Count > base ? m_LiveVariables.m_Count - base : 0;
    const u32 count = std::min(top.m_Variables.m_Count, live);
    for (u32 i = 0; i < count; ++i)
        top.m_Variables.m_Items[i].Assign(m_LiveVariables.m_Items[base + i]);
    top.m_SavedPc = m_Pc;
}

void CMwCmdBlock::LoadFrame(CMwCmdBlockFrame& frame) {
    const u32 base = m_PersistentVariables.m_Count;
    const u32 live = m_LiveVariables.m_Count > base ? m_LiveVariables.m_Count - base : 0;
    const u32 count = std::min(frame.m_Variables.m_Count, live);
    for (u32 i = 0; i < count; ++i)
        m_LiveVariables.m_Items[base + i].Assign(frame.m_Variables.m_Items[i]);
    m_Pc = frame.m_SavedPc;
}

void CMwCmdBlock::EndOwnFrame() {
    PopFrames(m_FrameCount - 1, 1);
    m_Bits &= ~s_Leave;
}

void CMwCmdBlock::RebuildLiveTable() {
    const u32 persistent = m_PersistentVariables.m_Count;
    const u32 count = persistent + GetFrameVariables().m_Count;
    if (m_LiveVariables.m_Count != count) {
        m_LiveVariables.SetCount(0);
        m_LiveVariables.SetCount(count);
    }
    for (u32 i = 0; i < count; ++i)
        m_LiveVariables.m_Items[i].ClearValue();
    for (u32 i = 0; i < persistent; ++i)
        m_LiveVariables.m_Items[i].Assign(m_PersistentVariables.m_Items[i]);
    LoadFrame(GetFrame(0));
}

void CMwCmdBlock::DropFrames() {
    for (u32 f = 1; f < m_FrameCount; ++f) {
        CFastArray<CBlockVariable>& variables = m_Frames.m_Items[f]->m_Variables;
        for (u32 i = 0; i < variables.m_Count; ++i)
            variables.m_Items[i].ClearValue();
    }
    m_FrameCount = 1;
}

// ---------------------------------------------------------------------------------------------
// Variables

CBlockVariable* CMwCmdBlock::FindLocalVariable(CClassicStringRef name) {
    for (u32 i = 0; i < m_LiveVariables.m_Count; ++i) {
        CBlockVariable& variable = m_LiveVariables.m_Items[i];
        if (variable.m_Name.GetLength() == name.m_Length &&
            std::memcmp(variable.m_Name.GetText(), name.m_Text, name.m_Length) == 0)
            return &variable;
    }
    return nullptr;
}

CBlockVariable* CMwCmdBlock::FindVariableByName(CClassicStringRef name) {
    for (CMwCmdBlock* block = this; block; block = block->GetParentBlock())
        if (CBlockVariable* variable = block->FindLocalVariable(name))
            return variable;
    return nullptr;
}

u32 CMwCmdBlock::FindVariable(CBlockVariable& variable) {
    const CBlockVariable* found = FindVariableByName(variable.m_Name);
    if (!found)
        return 0;
    variable.Assign(*found);
    return 1;
}

CMwCmdBlock* CMwCmdBlock::GetParentBlock() const {
    return m_Parent && m_Parent->IsKindOf(s_ClassId) ? static_cast<CMwCmdBlock*>(m_Parent)
                                                     : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Building

void CMwCmdBlock::AddCmd(CMwCmdScript* cmd) {
    if (!cmd)
        return;
    cmd->AddRef();
    m_Cmds.Grow(1);
    m_Cmds.m_Items[m_Cmds.m_Count - 1] = cmd;
}

CBlockVariable& CMwCmdBlock::AddVariable(bool persistent) {
    if (!persistent)
        DropFrames();
    CFastArray<CBlockVariable>& list = persistent ? m_PersistentVariables : GetFrameVariables();
    list.Grow(1);
    return list.m_Items[list.m_Count - 1];
}

// ---------------------------------------------------------------------------------------------
// Members and chunks

u32 CMwCmdBlock::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_IsSleepingMemberId)
            return MwNotOwnMember;
        return MwAnswerValue(out, u32(m_Bits & s_Suspended));
    });
}

u32 CMwCmdBlock::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_IsSleepingMemberId)
            return MwNotOwnMember;
        return MwParam_Ok;
    });
}

void CMwCmdBlock::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x01030000:
        case 0x01030001:
        case 0x01030002:
            break;
        case s_OldBodyChunk:
            ArchiveBody(archive, chunkId);
            break;
        case s_BodyChunk:
            if (archive.m_Release)
                ArchiveBody(archive, chunkId);
            break;
        default:
            Super::ArchiveChunk(archive, chunkId);
    }
}

void CMwCmdBlock::ArchiveBody(CClassicArchive& archive, u32 chunkId) {
    const bool reading = !archive.m_Writing;
    u32 count = m_Cmds.m_Count;
    ScriptArchiveCount(archive, this, chunkId, count, 1);
    if (reading) {
        // A body read after another one must not let go of statements the archive may still
        // name: one body per block.
        if (m_Cmds.m_Count != 0)
            ScriptInvalidData(this, chunkId);
        m_Cmds.SetCount(count);
        std::fill_n(m_Cmds.m_Items, count, nullptr);
    }
    for (u32 i = 0; i < count; ++i)
        ScriptArchiveRequiredChild(archive, this, chunkId, m_Cmds.m_Items[i]);

    // Records carry name, flag, type and id: at least three values each.
    count = m_PersistentVariables.m_Count;
    ScriptArchiveCount(archive, this, chunkId, count, 3);
    if (reading) {
        m_PersistentVariables.SetCount(0);
        m_PersistentVariables.SetCount(count);
    }
    for (u32 i = 0; i < count; ++i)
        m_PersistentVariables.m_Items[i].ArchiveRecord(archive, this, chunkId);

    CFastArray<CBlockVariable>& idle = GetFrameVariables();
    count = idle.m_Count;
    ScriptArchiveCount(archive, this, chunkId, count, 3);
    if (reading) {
        DropFrames();
        idle.SetCount(0);
        idle.SetCount(count);
    }
    for (u32 i = 0; i < count; ++i)
        idle.m_Items[i].ArchiveRecord(archive, this, chunkId);
    if (reading)
        RebuildLiveTable();
}
