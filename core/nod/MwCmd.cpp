#include "core/nod/MwCmd.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwVirtualMember.h"

#include <cstring>

MW_DEFINE_CLASS(CMwCmd, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdFastCall, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);
MW_DEFINE_CLASS(CMwCmdFastCallUser, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

#define CMWCMDBUFFER_MEMBERS(X)                                                                    \
    X(BucketList, 0x0101c000, "Cmds", MW_FIELD(m_Cmds), "Cmds", 0x01, 0x380, MwType_Class, 0x01,   \
      "Cmd", &CMwCmd::s_ClassInfo)                                                                 \
    X(Natural, 0x0101c001, "CmdCount", MW_VIRTUAL("m_CmdCount"), "CmdCount", 0x11, 0x380)

MW_DEFINE_CLASS(CMwCmdBuffer, MwFactory<CMwCmdBuffer>, CMWCMDBUFFER_MEMBERS, MW_NO_CHUNKS);

namespace {

constexpr u32 kCmdCountMemberId = 0x0101c001;

} // namespace

// ---------------------------------------------------------------------------------------------
// CMwCmd

CMwCmd::~CMwCmd() {
    if (!m_Buffer)
        return;
    m_Buffer->RemoveDependant(this);
    m_Buffer->ForgetCmd(this);
}

void CMwCmd::Install() {
    if (!m_Buffer) {
        ClassicLogFormatLine("[MwCmd] A command without a buffer cannot be installed");
        return;
    }
    if (!(m_State & s_Installed))
        m_Buffer->AddCmd(this);
    m_State = (m_State | s_Installed) & ~s_RemovalPending;
}

void CMwCmd::Uninstall() {
    if (!(m_State & s_Installed))
        return;
    m_State = (m_State & ~s_Installed) | s_RemovalPending;
    // Last: the removal may release the buffer's reference, and with it this command.
    if (m_Buffer)
        m_Buffer->RemoveCmd(this);
}

bool CMwCmd::SetBuffer(u32 index) {
    CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton();
    CMwCmdBuffer* buffer = core ? core->GetBuffer(index) : nullptr;
    if (!buffer) {
        ClassicLogFormatLine("[MwCmd] No command buffer %u%s", index,
                             core ? "" : " (the scheduling core does not exist)");
        return false;
    }
    return AttachBuffer(buffer);
}

bool CMwCmd::AttachBuffer(CMwCmdBuffer* buffer) {
    if (buffer == m_Buffer)
        return true;
    // A command still listed by its buffer would be listed twice, and its removal would go to
    // the wrong buffer.
    if (m_Buffer && m_Buffer->m_Cmds.Contains(this)) {
        ClassicLogFormatLine("[MwCmd] A command cannot change buffers while its buffer lists it");
        return false;
    }
    if (m_Buffer)
        m_Buffer->RemoveDependant(this);
    m_Buffer = buffer;
    if (m_Buffer)
        m_Buffer->AddDependant(this);
    return true;
}

void CMwCmd::OnDependencyDestroyed(CMwNod* nod) {
    if (nod == m_Buffer)
        m_Buffer = nullptr;
    Super::OnDependencyDestroyed(nod);
}

// ---------------------------------------------------------------------------------------------
// CMwCmdFastCall

void CMwCmdFastCall::Run() {
    if (m_Function)
        m_Function(m_Target);
}

// ---------------------------------------------------------------------------------------------
// CMwCmdBuffer

// A pass of RunBucket. The buffer points at it while it runs, so that a destructor run by one of
// the commands tells the pass, which then stops touching the buffer.
struct CMwCmdBuffer::SPass {
    explicit SPass(CMwCmdBuffer* buffer) : m_Buffer(buffer) { buffer->m_Pass = this; }
    // Also when a command throws.
    ~SPass() {
        if (!m_BufferGone)
            m_Buffer->m_Pass = nullptr;
        else if (m_Held)
            m_Held->Release();
    }
    SPass(const SPass&) = delete;
    SPass& operator=(const SPass&) = delete;

    CMwCmdBuffer* m_Buffer;
    // The command whose Run is under way.
    CMwCmd* m_Running = nullptr;
    // The same command once the buffer is gone: the buffer's reference, handed over so that the
    // command outlives its own Run.
    CMwCmd* m_Held = nullptr;
    bool m_BufferGone = false;
};

CMwCmdBuffer::CMwCmdBuffer() {
    // Ten zeroed bucket records, of which one stays in use: the array keeps its capacity.
    m_Cmds.m_Buckets.Reserve(10);
    std::memset(m_Cmds.m_Buckets.m_Items, 0, 10 * sizeof(CMwBucket));
    m_Cmds.m_Buckets.m_Count = 10;
    m_Cmds.SetBucketCount(1);
    m_Cmds.m_Items.Reserve(10);
}

CMwCmdBuffer::~CMwCmdBuffer() {
    if (m_Pass)
        m_Pass->m_BufferGone = true;
    // Every removal is deferred, so the array does not change while the commands go.
    m_RunPosition = m_Cmds.GetCount();
    for (u32 i = 0; i < m_Cmds.GetCount(); ++i) {
        CMwCmd* cmd = m_Cmds.m_Items.m_Items[i];
        if (!cmd)
            continue;
        cmd->Uninstall();
        // Unlisted first: the release may destroy the command.
        m_Cmds.m_Items.m_Items[i] = nullptr;
        if (m_Pass && cmd == m_Pass->m_Running)
            m_Pass->m_Held = cmd;
        else
            cmd->Release();
    }
    m_Cmds.FreeItems();
    // The commands that are still alive forget this buffer when the nod base tells its
    // dependants.
}

bool CMwCmdBuffer::SetBucketCount(u32 n) {
    if (!m_Pass && m_Cmds.SetBucketCount(n))
        return true;
    ClassicLogFormatLine("[MwCmdBuffer] Bucket count %u refused (1 to %u, outside a pass)", n,
                         CMwBucketList<CMwCmd*>::s_MaxBucketCount);
    return false;
}

void CMwCmdBuffer::AddCmd(CMwCmd* cmd) {
    if (!cmd || m_Cmds.Contains(cmd))
        return;
    // A command added by a running command joins the running bucket, after the run position,
    // so that the commands not yet run keep their positions and it runs in this pass.
    const u32 target = m_Pass ? m_RunningBucket : m_Cmds.LeastFilledBucket();
    m_Cmds.AddToBucket(cmd, target);
    cmd->AddRef();
    ++m_RunEnd;
}

void CMwCmdBuffer::RemoveCmd(CMwCmd* cmd) {
    u32 bucket, position;
    if (!cmd || !m_Cmds.Find(cmd, &bucket, &position))
        return;
    if (bucket == m_RunningBucket && position > m_RunPosition) {
        RemoveAt(bucket, position);
        --m_RunEnd;
        return;
    }
    m_RemovalDeferred = 1;
}

void CMwCmdBuffer::RemoveAt(u32 bucket, u32 position) {
    CMwCmd* cmd = m_Cmds.m_Items.m_Items[m_Cmds.m_Buckets.m_Items[bucket].m_First + position];
    // Out of the array before the release, which may destroy the command.
    m_Cmds.RemoveAt(bucket, position);
    if (cmd)
        cmd->Release();
}

void CMwCmdBuffer::ForgetCmd(CMwCmd* cmd) {
    u32 bucket, position;
    if (!m_Cmds.Find(cmd, &bucket, &position))
        return;
    ClassicLogFormatLine("[MwCmdBuffer] A command was destroyed while its buffer listed it");
    if (m_Pass) {
        // Nothing may move under a pass: the slot is emptied, and purged by the next pass.
        m_Cmds.m_Items.m_Items[m_Cmds.m_Buckets.m_Items[bucket].m_First + position] = nullptr;
        m_RemovalDeferred = 1;
    } else {
        m_Cmds.RemoveAt(bucket, position);
    }
}

void CMwCmdBuffer::Purge() {
    for (u32 b = 0; b < m_Cmds.GetBucketCount(); ++b) {
        for (u32 j = 0; j < m_Cmds.m_Buckets.m_Items[b].m_Count;) {
            const CMwCmd* cmd = m_Cmds.m_Items.m_Items[m_Cmds.m_Buckets.m_Items[b].m_First + j];
            if (!cmd || (cmd->m_State & CMwCmd::s_RemovalPending))
                RemoveAt(b, j); // another command now stands at j
            else
                ++j;
        }
    }
    m_RemovalDeferred = 0;
}

void CMwCmdBuffer::RunBucket(u32 bucket) {
    if (bucket >= m_Cmds.GetBucketCount() || m_Pass) {
        ClassicLogFormatLine("[MwCmdBuffer] Bucket %u of %u not run%s", bucket,
                             m_Cmds.GetBucketCount(), m_Pass ? " (a pass is running)" : "");
        return;
    }
    if (m_RemovalDeferred)
        Purge();
    // The pass ends with the loop, with an exception out of a command, or with the buffer.
    SPass pass(this);
    m_RunningBucket = bucket;
    m_RunEnd = m_Cmds.m_Buckets.m_Items[bucket].m_Count;
    // Running commands may install and uninstall commands: first and run end are read again
    // for every command.
    for (m_RunPosition = 0; m_RunPosition < m_RunEnd; ++m_RunPosition) {
        const CMwBucket& running = m_Cmds.m_Buckets.m_Items[bucket];
        if (m_RunPosition >= running.m_Count)
            break;
        CMwCmd* cmd = m_Cmds.m_Items.m_Items[running.m_First + m_RunPosition];
        if (!cmd)
            continue;
        pass.m_Running = cmd;
        cmd->Run();
        if (pass.m_BufferGone)
            return; // deleted by the command: nothing of it may be read
    }
}

u32 CMwCmdBuffer::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != kCmdCountMemberId)
            return MwNotOwnMember;
        return MwAnswerValue(out, m_Cmds.GetCount());
    });
}
