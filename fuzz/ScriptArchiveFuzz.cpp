// Fuzzes the loading of script trees: any memory image is loaded through the archive's memory
// road with every class of the core, the System engine and the script library registered (and the
// script test nods), so that every chunk reader of every registered class is reached.
//
// A load must end loaded or failed, never in a fault, a hang or an allocation past the limits,
// and leaves no nod behind once released (the folder records of a reference table join the
// engine's folder tree for good, as for a real file). A loaded script node is bound with a null
// parent and run once under a step budget; a loaded expression then gives its text, a copy of
// its value and its comparison with itself, and takes its own value back. The node is then bound
// and run again as a statement of a block under a test root whose object is a test object (with a
// child object in its members), the block declaring a variable of every type, its Class variable
// "c" holding the object: identifiers find variables and member paths reach nods and members. A
// loaded script tree (or variable) saves, loads and saves again to the same bytes.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicString.h"
#include "fuzz/ScriptFuzzWorld.h"
#include "script/base/MwCmdScript.h"
#include "script/base/ScriptRun.h"
#include "script/block/BlockVariable.h"
#include "system/archive/SystemArchive.h"
#include "tests/script/support/ScriptBuilders.h"

#include <cstdio>
#include <cstdlib>

namespace {

CScriptFuzzWorld* s_World = nullptr;

void Check(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "ScriptArchiveFuzz: %s\n", what);
    std::abort();
}

CMwNod* Load(const u8* data, size_t size) {
    CClassicPooledBuffer buffer;
    buffer->Write(data, u32(size));
    buffer->Rewind();
    CMwNod* nod = nullptr;
    const i32 loaded = LoadNodFromMemoryBuffer(buffer.Get(), &nod);
    Check((loaded != 0) == (nod != nullptr), "a load answered against its nod");
    return nod;
}

void Save(CMwNod* nod, CClassicBufferMemory& out) {
    CSystemArchive archive;
    archive.SetSaveFlags(kSystemArchiveSaveRelease);
    Check(archive.Save(nod, &out), "a loaded nod did not save");
}

void Run(CMwCmdScript* node) {
    node->Bind(nullptr);
    script::SetStepBudget(4096);
    node->Run();
    script::SetStepBudget(0);
    if (!node->IsKindOf(CMwCmdExp::s_ClassId))
        return;
    auto* exp = static_cast<CMwCmdExp*>(node);
    CClassicString text;
    exp->ToString(text);
    CmdExpValueRecord record;
    exp->GetValue(record);
    exp->IsEqual(exp);
    exp->SetValue(exp->GetValuePtr());
    Check(exp->GetResultPtr() == exp->GetValuePtr(), "an expression's two value addresses differ");
}

void RunOnObject(CMwCmdScript* node) {
    const TNodRef<CScriptTestObject> object(new CScriptTestObject), child(new CScriptTestObject);
    object->m_Child.Set(child.Get());
    object->m_Children.Add(child.Get());
    object->Keep(child.Get());
    {
        const TNodRef<CScriptTestRoot> root(new CScriptTestRoot);
        root->m_This = object.Get();
        root->m_ThisClassId = CScriptTestObject::s_ClassId;
        DeclareVariables(*root, true, ScriptEveryVariableType());
        for (u32 i = 0; i < root->m_PersistentVariables.m_Count; ++i) {
            CBlockVariable& variable = root->m_PersistentVariables.m_Items[i];
            if (variable.m_Type == BlockVariable_Class)
                variable.SetNod(object.Get());
        }
        root->AddCmd(node);
        root->Bind(nullptr);
        root->SetThis(object.Get());
        script::SetStepBudget(4096);
        root->Run();
        script::SetStepBudget(0);
        node->Bind(nullptr);
    }
    // A script may have linked the objects to each other.
    object->DropLinks();
    child->DropLinks();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    s_World = new CScriptFuzzWorld;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size > (1u << 22))
        return 0;
    const u32 before = CMwNod::GetLiveNodCount() - s_World->CountTreeNods();
    {
        CMwNodRef nod(Load(data, size));
        const bool script = nod && nod->IsKindOf(CMwCmdScript::s_ClassId);
        if (script) {
            Run(static_cast<CMwCmdScript*>(nod.Get()));
            RunOnObject(static_cast<CMwCmdScript*>(nod.Get()));
        }
        if (script || (nod && nod->IsKindOf(CBlockVariable::s_ClassId))) {
            CClassicBufferMemory first, second;
            Save(nod.Get(), first);
            CMwNodRef reloaded(Load(first.GetData(), first.GetSize()));
            Check(reloaded.Get() != nullptr, "a saved nod did not load");
            Save(reloaded.Get(), second);
            Check(first.IsSameData(second), "a reloaded nod saved to other bytes");
        }
    }
    Check(s_World->m_Engine->m_MemoryFids->m_Leaves.m_Count == 0, "a memory file id was left");
    Check(CMwNod::GetLiveNodCount() - s_World->CountTreeNods() == before, "a nod was left alive");
    return 0;
}
