#include "script/block/MwCmdBlockMain.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwVirtualMember.h"
#include "script/base/ScriptArchive.h"
#include "script/base/ScriptRun.h"
#include "script/block/MwCmdBlockProcedure.h"
#include "script/statement/MwCmdAffectIdent.h"
#include "script/var/MwCmdScriptVar.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr u32 kExecuteTypes[] = {MwType_Class};
constexpr const char* kExecuteNames[] = {"This"};
constexpr u32 kExecuteFlags[] = {1}; // passed in
} // namespace

#define CMWCMDBLOCKMAIN_MEMBERS(X)                                                                 \
    X(Array, 0x01067000, "Variables", MW_FIELD(m_ExternVariables), "Variables", 0x21, 0x380,       \
      MwType_Class, 0x01, "Variable", &CMwCmdScriptVar::s_ClassInfo)                               \
    X(Proc, 0x01067001, "Execute", MW_VIRTUAL(""), "Execute", 0x22, 0x380, nullptr, kExecuteTypes, \
      kExecuteNames, kExecuteFlags)                                                                \
    X(Array, 0x01067002, "Methods", MW_FIELD(m_Procedures), "Methods", 0x01, 0x380, MwType_Class,  \
      0x01, "Method", &CMwCmdBlockProcedure::s_ClassInfo)
#define CMWCMDBLOCKMAIN_CHUNKS(X)                                                                  \
    X(0x01067000, 1)                                                                               \
    X(0x01067001, 1) X(0x01067002, 1) X(0x01067003, 1) X(0x01067004, 1) X(0x01067005, 3)

MW_DEFINE_CLASS(CMwCmdBlockMain, MwFactory<CMwCmdBlockMain>, CMWCMDBLOCKMAIN_MEMBERS,
                CMWCMDBLOCKMAIN_CHUNKS);

CMwCmdBlockMain::CMwCmdBlockMain() = default;

CMwCmdBlockMain::~CMwCmdBlockMain() {
    for (u32 i = 0; i < m_CallFrames.m_Count; ++i) {
        CMwCmdBlockMainCallFrame* frame = m_CallFrames.m_Items[i];
        ClearCallFrame(*frame);
        delete frame;
    }
    m_CallFrames.FreeItems();
    m_CurrentCallFrame = nullptr;
    // The fast call holds no reference to the root: it leaves its buffer before the root goes.
    if (m_FastCall) {
        m_FastCall->Uninstall();
        m_FastCall->Release();
        m_FastCall = nullptr;
    }
    for (u32 i = m_LooseCreatedNods.m_Count; i-- > 0;)
        m_LooseCreatedNods.m_Items[i]->Release();
    for (u32 i = 0; i < m_ExternVariables.m_Count; ++i)
        ScriptReleaseChild(this, m_ExternVariables.m_Items[i]);
    for (u32 i = 0; i < m_Procedures.m_Count; ++i)
        ScriptReleaseChild(this, m_Procedures.m_Items[i]);
}

// ---------------------------------------------------------------------------------------------
// Executions

u32 CMwCmdBlockMain::ExecuteOn(CMwNod* nod) {
    if (!nod || !nod->IsKindOf(m_ThisClassId))
        return 0;
    SetThis(nod);
    Run();
    return 1;
}

void CMwCmdBlockMain::Run() {
    CMwCmdBlock::Run();
    m_Bits &= ~s_Suspended;
}

void CMwCmdBlockMain::Bind(CMwCmdScript* parent) {
    CMwCmdBlock::Bind(parent);
    for (u32 i = 0; i < m_Procedures.m_Count; ++i)
        Procedure(i)->Bind(this);
    AttachExterns();
}

void CMwCmdBlockMain::AttachExterns() {
    const u32 count = std::min(m_Declarations.m_Count, m_ExternVariables.m_Count);
    for (u32 i = 0; i < count; ++i) {
        CMwCmdAffectIdent* declaration = m_Declarations.m_Items[i];
        CMwCmdScriptVar* variable = Extern(i);
        if (!declaration || !variable)
            continue;
        CMwCmdScript* parent = declaration->m_Parent;
        CBlockVariable* found = nullptr;
        if (parent && parent->IsKindOf(CMwCmdBlock::s_ClassId))
            found =
                static_cast<CMwCmdBlock*>(parent)->FindVariableByName(declaration->m_Ident.m_Name);
        variable->Attach(found);
    }
}

void CMwCmdBlockMain::SetThis(CMwNod* nod) {
    if (nod) {
        if (m_ThisClassId == 0)
            SetThisClassId(nod->GetClassId());
        m_This = nod;
        const u32 count = std::min(m_Declarations.m_Count, m_ExternVariables.m_Count);
        for (u32 i = 0; i < count; ++i) {
            CMwCmdScriptVar* variable = Extern(i);
            if (!variable->m_Variable || !variable->m_Variable->m_Assigned)
                m_Declarations.m_Items[i]->Run();
        }
    } else {
        m_This = nullptr;
    }
    CMwCmdBlock::SetThis(nod);
    // Procedure bodies hold nodes that keep the object too.
    for (u32 i = 0; i < m_Procedures.m_Count; ++i)
        Procedure(i)->SetThis(nod);
}

// ---------------------------------------------------------------------------------------------
// Call frames

void CMwCmdBlockMain::PushFrame() {
    CMwCmdBlock::PushFrame();
    auto* frame = new CMwCmdBlockMainCallFrame;
    frame->m_Object = m_This;
    if (m_This)
        m_This->AddDependant(this);
    m_CallFrames.Add(frame);
    m_CurrentCallFrame = frame;
}

void CMwCmdBlockMain::PopFrames(u32 index, u32 remove) {
    const u32 blockFrames = GetFrameCount();
    CMwCmdBlock::PopFrames(index, remove);
    if (index == 0 || index >= blockFrames || index - 1 >= m_CallFrames.m_Count)
        return;
    CMwCmdBlockMainCallFrame* frame = m_CallFrames.m_Items[index - 1];
    std::memmove(m_CallFrames.m_Items + index - 1, m_CallFrames.m_Items + index,
                 (m_CallFrames.m_Count - index) * sizeof(CMwCmdBlockMainCallFrame*));
    if (remove) {
        --m_CallFrames.m_Count;
        m_CurrentCallFrame = nullptr;
        ClearCallFrame(*frame);
        delete frame;
        return;
    }
    m_CallFrames.m_Items[m_CallFrames.m_Count - 1] = frame;
    m_CurrentCallFrame = frame;
    // The continued execution runs on the object it started with, also when it is the only one.
    SetThis(frame->m_Object);
}

void CMwCmdBlockMain::ClearCallFrame(CMwCmdBlockMainCallFrame& frame) {
    if (frame.m_WaitCondition) {
        frame.m_WaitCondition->Release();
        frame.m_WaitCondition = nullptr;
    }
    for (u32 i = frame.m_CreatedNods.m_Count; i-- > 0;)
        frame.m_CreatedNods.m_Items[i]->Release();
    frame.m_CreatedNods.SetCount(0);
    if (CMwNod* object = frame.m_Object) {
        frame.m_Object = nullptr;
        object->RemoveDependant(this);
    }
}

void CMwCmdBlockMain::AddCreatedNod(CMwNod* nod) {
    if (!nod)
        return;
    nod->AddRef();
    CFastArray<CMwNod*>& list =
        m_CurrentCallFrame ? m_CurrentCallFrame->m_CreatedNods : m_LooseCreatedNods;
    list.Grow(1);
    list.m_Items[list.m_Count - 1] = nod;
}

// ---------------------------------------------------------------------------------------------
// Suspension

u32 CMwCmdBlockMain::GetScriptTime() {
    CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton();
    return core ? *core->GetGameClock()->GetValuePtr() : 0;
}

bool CMwCmdBlockMain::Suspend() {
    if (!m_CurrentCallFrame) {
        ScriptWarning("Sleep or Wait outside an execution, ignored.");
        return false;
    }
    m_Bits |= s_Suspended;
    m_CurrentCallFrame->m_Sleeping = 1;
    return true;
}

void CMwCmdBlockMain::Sleep(u32 milliseconds) {
    if (!Suspend())
        return;
    m_CurrentCallFrame->m_Start = GetScriptTime();
    m_CurrentCallFrame->m_Duration = milliseconds;
    EnsureTick();
}

void CMwCmdBlockMain::Wait(CMwCmdExp* condition) {
    if (!Suspend())
        return;
    if (condition)
        condition->AddRef();
    if (m_CurrentCallFrame->m_WaitCondition)
        m_CurrentCallFrame->m_WaitCondition->Release();
    m_CurrentCallFrame->m_WaitCondition = condition;
    EnsureTick();
}

void CMwCmdBlockMain::EnsureTick() {
    // Without a scheduling core nothing would ever run the tick: none is made.
    if (!CMwCmdBufferCore::GetSingleton())
        return;
    if (!m_FastCall) {
        m_FastCall = MwMakeFastCall<&CMwCmdBlockMain::OnTick>(this);
        m_FastCall->AddRef();
        m_FastCall->SetBuffer(s_TickBuffer);
    }
    m_FastCall->Install();
}

void CMwCmdBlockMain::OnTick() {
    // What the continued executions run may release the root: it stays until the scan ends.
    AddRef();
    u32 n = m_CallFrames.m_Count;
    for (u32 j = 0; j < n && j < m_CallFrames.m_Count;) {
        CMwCmdBlockMainCallFrame* frame = m_CallFrames.m_Items[j];
        if (!frame->m_Sleeping) {
            ++j;
            continue;
        }
        bool due;
        if (CMwCmdExp* condition = frame->m_WaitCondition) {
            condition->Run();
            u32 value = 0;
            std::memcpy(&value, condition->GetValuePtr(), sizeof value);
            due = value != 0;
        } else {
            due = u32(GetScriptTime() - frame->m_Start) >= frame->m_Duration;
        }
        if (!due) {
            ++j;
            continue;
        }
        if (frame->m_WaitCondition) {
            frame->m_WaitCondition->Release();
            frame->m_WaitCondition = nullptr;
        }
        frame->m_Sleeping = 0;
        const u32 before = m_CallFrames.m_Count;
        m_Bits |= s_Suspended;
        Resume(j);
        Run();
        if (m_CallFrames.m_Count < before)
            --n;
        else
            ++j;
    }
    bool sleeping = false;
    for (u32 j = 0; j < n && j < m_CallFrames.m_Count; ++j)
        sleeping = sleeping || m_CallFrames.m_Items[j]->m_Sleeping;
    if (!sleeping && m_FastCall) {
        CMwCmdFastCall* call = m_FastCall;
        m_FastCall = nullptr;
        call->Uninstall();
        call->Release();
    }
    Release();
}

// ---------------------------------------------------------------------------------------------
// Dependants

void CMwCmdBlockMain::OnDependencyDestroyed(CMwNod* nod) {
    for (u32 i = 0; i < m_CallFrames.m_Count; ++i)
        if (m_CallFrames.m_Items[i]->m_Object == nod)
            m_CallFrames.m_Items[i]->m_Object = nullptr;
    if (m_This == nod)
        m_This = nullptr;
    CMwCmdBlock::OnDependencyDestroyed(nod);
}

void CMwCmdBlockMain::OnDependencyReleased(CMwNod* nod) {
    // The links of every frame on the object go; the last removal lets the object be deleted.
    u32 links = 0;
    for (u32 i = 0; i < m_CallFrames.m_Count; ++i) {
        if (m_CallFrames.m_Items[i]->m_Object == nod) {
            m_CallFrames.m_Items[i]->m_Object = nullptr;
            ++links;
        }
    }
    if (m_This == nod)
        m_This = nullptr;
    if (links == 0) {
        CMwCmdBlock::OnDependencyReleased(nod);
        return;
    }
    while (--links)
        nod->RemoveDependant(this);
    nod->RemoveDependantAndRelease(this);
}

// ---------------------------------------------------------------------------------------------
// Building

CMwCmdBlockProcedure* CMwCmdBlockMain::Procedure(u32 index) const {
    return static_cast<CMwCmdBlockProcedure*>(m_Procedures.m_Items[index]);
}

CMwCmdScriptVar* CMwCmdBlockMain::Extern(u32 index) const {
    return static_cast<CMwCmdScriptVar*>(m_ExternVariables.m_Items[index]);
}

void CMwCmdBlockMain::AddProcedure(CMwCmdBlockProcedure* procedure) {
    if (!procedure)
        return;
    procedure->AddRef();
    m_Procedures.Grow(1);
    m_Procedures.m_Items[m_Procedures.m_Count - 1] = procedure;
}

void CMwCmdBlockMain::AddExtern(CMwCmdAffectIdent* declaration, CMwCmdScriptVar* variable) {
    if (!declaration || !variable)
        return;
    variable->AddRef();
    m_Declarations.Grow(1);
    m_Declarations.m_Items[m_Declarations.m_Count - 1] = declaration;
    m_ExternVariables.Grow(1);
    m_ExternVariables.m_Items[m_ExternVariables.m_Count - 1] = variable;
}

// ---------------------------------------------------------------------------------------------
// Members

u32 CMwCmdBlockMain::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        switch (member.MemberId) {
            case s_ExecuteMemberId: {
                i32 start = -1;
                const MwPathValue* argument = path->GetArgument(0, MwPathItem_ArgumentNod, &start);
                ExecuteOn(argument ? reinterpret_cast<CMwNod*>(*argument) : nullptr);
                return MwParam_Ok;
            }
            case s_VariablesMemberId: {
                // The list counts its references itself: a write may only go on into an element.
                u32 index = 0;
                if (!path->TakeIndex(&index) || index >= m_ExternVariables.m_Count ||
                    !path->HasCurrent())
                    return MwParam_NotFound;
                return Extern(index)->SetParam(path, value);
            }
            default:
                return MwNotOwnMember;
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Chunks

void CMwCmdBlockMain::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    switch (chunkId) {
        case 0x01067000:
        case 0x01067001:
        case 0x01067002:
            break;
        case 0x01067003:
        case 0x01067004:
            archive.SerializeUInts(&m_ThisClassId, 1);
            ArchiveLists(archive, chunkId, chunkId == 0x01067004);
            if (!archive.m_Writing)
                AttachExterns();
            if (!archive.m_Release) {
                CClassicString source;
                u32 flag = 0;
                archive.SerializeStrings(&source, 1);
                archive.SerializeBools(&flag, 1);
            }
            m_IdName.Archive(archive);
            if (!archive.m_Writing)
                Bind(nullptr);
            break;
        case s_CurrentChunk:
            ArchiveCurrent(archive, chunkId);
            break;
        default:
            CMwCmdBlock::ArchiveChunk(archive, chunkId);
    }
}

void CMwCmdBlockMain::ArchiveCurrent(CClassicArchive& archive, u32 chunkId) {
    m_IdName.Archive(archive);
    archive.SerializeUInts(&m_ThisClassId, 1);
    if (archive.m_Release) {
        ArchiveLists(archive, chunkId, true);
    } else {
        CClassicString source;
        archive.SerializeStrings(&source, 1);
        if (!archive.m_Writing) {
            CClassicString name;
            m_IdName.GetText(name);
            static const char kDashes[] = "--------------------------------------------------------"
                                          "----------------------------";
            static_assert(sizeof kDashes == 85);
            ClassicLogFormatLine("Error : script %s hasn't been archived in release format => ",
                                 name.GetText());
            ClassicLogFormatLine("%s", kDashes);
            ClassicLogFormatLine("%s", source.GetText());
            ClassicLogFormatLine("%s", kDashes);
        }
        u32 flag = 1;
        archive.SerializeBools(&flag, 1);
    }
    if (!archive.m_Writing)
        Bind(nullptr);
}

void CMwCmdBlockMain::ArchiveLists(CClassicArchive& archive, u32 chunkId, bool procedures) {
    const bool reading = !archive.m_Writing;
    // A list is read once: the archive may still name the nods of the first one.
    if (reading && (m_Procedures.m_Count || m_Declarations.m_Count || m_ExternVariables.m_Count))
        ScriptInvalidData(this, chunkId);
    if (procedures) {
        u32 count = m_Procedures.m_Count;
        ScriptArchiveCount(archive, this, chunkId, count, 1);
        if (reading) {
            m_Procedures.SetCount(count);
            std::fill_n(m_Procedures.m_Items, count, nullptr);
        }
        for (u32 i = 0; i < count; ++i)
            ScriptArchiveRequiredChild(archive, this, chunkId, m_Procedures.m_Items[i],
                                       {CMwCmdBlockProcedure::s_ClassId});
    }
    // The declaring statements stand in the tree, held by their blocks: they are named, not held.
    u32 count = m_Declarations.m_Count;
    ScriptArchiveCount(archive, this, chunkId, count, 1);
    if (reading) {
        m_Declarations.SetCount(count);
        std::fill_n(m_Declarations.m_Items, count, nullptr);
    }
    for (u32 i = 0; i < count; ++i) {
        CMwNod* nod = m_Declarations.m_Items[i];
        archive.ArchiveNodRef(nod);
        if (reading) {
            if (!nod || !nod->IsKindOf(CMwCmdAffectIdent::s_ClassId) || nod->GetRefCount() == 0)
                ScriptInvalidData(this, chunkId);
            m_Declarations.m_Items[i] = static_cast<CMwCmdAffectIdent*>(nod);
        }
    }
    u32 externs = m_ExternVariables.m_Count;
    ScriptArchiveCount(archive, this, chunkId, externs, 1);
    if (reading) {
        if (externs != count)
            ScriptInvalidData(this, chunkId);
        m_ExternVariables.SetCount(externs);
        std::fill_n(m_ExternVariables.m_Items, externs, nullptr);
    }
    for (u32 i = 0; i < externs; ++i)
        ScriptArchiveRequiredChild(archive, this, chunkId, m_ExternVariables.m_Items[i],
                                   {CMwCmdScriptVar::s_ClassId});
}
