#pragma once
// Commands and command buffers. A command is a nod with one operation, Run, that a command buffer
// calls. A buffer keeps its commands in buckets and runs one bucket per call, so that work spread
// over several buckets is spread over several calls. CMwCmdFastCall turns an object and one of
// its member functions into a command: that is how a subsystem registers periodic work.
//
// Usage: make the fast call, pick its buffer by index, install it; uninstall it before the target
// goes away (the fast call does not keep its target alive):
//
//     m_FrameCmd = MwMakeFastCall<&CThing::OnFrame>(this);
//     m_FrameCmd->SetBuffer(1);
//     m_FrameCmd->Install();
//     ...
//     m_FrameCmd->Uninstall();
//
// The buffers belong to the scheduling core (MwCmdBufferCore.h), which hands them out by index.
#include "core/nod/MwBucketList.h"
#include "core/nod/MwNod.h"

class CMwCmdBuffer;

class CMwCmd : public CMwNod {
    MW_DECLARE_CLASS(CMwCmd, CMwNod, 0x01005000)
public:
    // State bits.
    static constexpr u32 s_Installed = 1;
    static constexpr u32 s_RemovalPending = 2;

    CMwCmd() = default;
    CMwCmd(const CMwCmd&) = delete;
    CMwCmd& operator=(const CMwCmd&) = delete;
    ~CMwCmd() override;

    virtual void Run() {}
    // Adds the command to its buffer unless it is installed already; then it is installed. A
    // command without a buffer is left as it is (and the log says so).
    virtual void Install();
    // Marks an installed command removal pending and asks its buffer to remove it: at once, or
    // at the buffer's next pass when the command has run in the current one. The command may be
    // destroyed by the removal.
    virtual void Uninstall();

    // Chooses the buffer: 0 to 32 designate the scheduling core's first buffers, 128 to 145 its
    // second ones. Refused, with a log line, when the index designates no buffer, when the core
    // or its buffers do not exist, and while the command still sits in another buffer; a refusal
    // leaves the buffer as it was.
    bool SetBuffer(u32 index);
    // Chooses a buffer given directly (the core's timed buffer, a buffer of one's own); null
    // detaches. Refused, with a log line, while the command still sits in another buffer.
    bool AttachBuffer(CMwCmdBuffer* buffer);

    // The buffer tells its commands when it is destroyed; they forget it.
    void OnDependencyDestroyed(CMwNod* nod) override;
    // The buffer's owner, not its reference count, decides when it goes.
    void OnDependencyReleased(CMwNod*) override {}

    // Not referenced: the command is registered as a dependant of its buffer and forgets the
    // buffer when it is destroyed, so the pointer never dangles.
    CMwCmdBuffer* m_Buffer = nullptr;
    u32 m_State = 0;
};

// A command that calls a function on a target. The target is a plain pointer: no reference is
// held, so the owner of the target uninstalls the command first.
class CMwCmdFastCall : public CMwCmd {
    MW_DECLARE_CLASS(CMwCmdFastCall, CMwCmd, 0x01012000)
public:
    using Function = void (*)(void* target);

    CMwCmdFastCall(void* target, Function function) : m_Function(function), m_Target(target) {}

    void Run() override;

    Function m_Function;
    void* m_Target;
};

// Makes a fast call of a member function taking no argument (its result is ignored):
// MwMakeFastCall<&CThing::Update>(thing).
template <auto Method>
struct MwFastCallThunk;
template <class C, class R, R (C::*Method)()>
struct MwFastCallThunk<Method> {
    using Class = C;
    static void Call(void* target) { (static_cast<C*>(target)->*Method)(); }
};

template <auto Method>
CMwCmdFastCall* MwMakeFastCall(typename MwFastCallThunk<Method>::Class* target) {
    return new CMwCmdFastCall(target, &MwFastCallThunk<Method>::Call);
}

// Only its class record exists: nothing creates one.
class CMwCmdFastCallUser : public CMwCmd {
    MW_DECLARE_CLASS(CMwCmdFastCallUser, CMwCmd, 0x010c0000)
};

class CMwCmdBuffer : public CMwNod {
    MW_DECLARE_CLASS(CMwCmdBuffer, CMwNod, 0x0101c000)
public:
    // One empty bucket, room for 10 buckets and 10 commands.
    CMwCmdBuffer();
    CMwCmdBuffer(const CMwCmdBuffer&) = delete;
    CMwCmdBuffer& operator=(const CMwCmdBuffer&) = delete;
    // Uninstalls and releases every command; the commands that survive forget this buffer. A
    // command may delete the buffer that runs it: the pass ends with its Run, and the buffer's
    // reference on it is given back only then.
    ~CMwCmdBuffer() override;

    // New buckets are empty and placed at the end; fewer buckets hand their commands to the new
    // last bucket. 0 and more than CMwBucketList's limit are refused with a log line.
    bool SetBucketCount(u32 n);
    u32 GetBucketCount() const { return m_Cmds.GetBucketCount(); }
    // Adds the command, with a reference, to the least-filled bucket (the lowest of equals).
    // While a pass runs, a new command joins the running bucket instead, at its end, and runs in
    // the same pass. A command already listed is left in its place.
    void AddCmd(CMwCmd* cmd);
    // Removes the command at once when it lies after the run position in the running bucket of
    // a pass (it will not run in this pass); otherwise the removal waits for the next pass.
    void RemoveCmd(CMwCmd* cmd);
    // Removes the commands whose removal is pending, then runs every command of the bucket once,
    // in array order. A bucket past the bucket count, or a pass inside a pass of this buffer,
    // is refused with a log line.
    void RunBucket(u32 bucket);

    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    u32 m_RunPosition = 0xFFFFFFFF;
    u32 m_RunningBucket = 0xFFFFFFFF;
    // How many commands the current pass visits.
    u32 m_RunEnd = 0;
    // The member Cmds: one reference held on each command. A slot is null only from a listed
    // command destroyed during a pass (see ForgetCmd) to the next pass.
    CMwBucketList<CMwCmd*> m_Cmds;
    u32 m_RemovalDeferred = 0;

private:
    friend class CMwCmd;
    // Releases the command at that place after taking it out of the array.
    void RemoveAt(u32 bucket, u32 position);
    // Takes out the commands whose removal is pending, and the emptied slots.
    void Purge();
    // A listed command is being destroyed without the buffer's reference having been given back
    // (deleted directly): it is taken out without a release, or, during a pass, its slot is
    // emptied until the next pass. The log says so.
    void ForgetCmd(CMwCmd* cmd);

    // The pass of RunBucket that is running, if any; it lives on RunBucket's stack.
    struct SPass;
    SPass* m_Pass = nullptr;
};
