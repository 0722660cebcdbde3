// A whole engine-core lifetime in one small program, run under valgrind by the tests: the name
// pool and the registry start, nods are created by class id, named, linked as dependants and
// observers and released, nods, command buffers and the scheduling core are deleted from inside
// the passes that run over them, and everything is shut down. Valgrind must find no leak and no
// error.
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"

namespace {

// A dependant that lets go of a released nod while holding a reference of its own, or deletes it
// as an owner would.
class CDependant : public CMwNod {
public:
    explicit CDependant(bool deletes) : m_Deletes(deletes) {}
    void OnDependencyReleased(CMwNod* nod) override {
        if (m_Deletes) {
            delete nod;
            return;
        }
        nod->AddRef();
        nod->RemoveDependant(this);
        nod->Release();
    }
    bool m_Deletes;
};

struct CBufferDeleter {
    CMwCmdBuffer* m_Buffer;
    void Run() { delete m_Buffer; }
};

struct CCoreDeleter {
    void Run() { CMwCmdBufferCore::DeleteSingleton(); }
};

} // namespace

int main() {
    CMwIdTable::Create();
    CMwClassRegistry::AddClassList(g_MwCoreClassList);
    CMwClassRegistry::Init();

    CMwNod* holder = CMwClassRegistry::CreateNodById(0x01001000);
    CMwNod* observer = CMwClassRegistry::CreateNodById(0x01001000);
    CMwNodRef ref(holder);
    for (int i = 0; i < 100; ++i) {
        CMwNod* nod = CMwClassRegistry::CreateNodById(0x01001000);
        nod->AddRef();
        nod->AddDependant(holder);
        nod->AddObserver(observer);
        nod->NotifyObservers(1, 2);
        nod->RemoveObserver(observer);
        nod->SetIdName("name");
        nod->Release();
    }
    // The release pass: the last dependant drops a temporary reference, or deletes the nod.
    for (bool deletes : {false, true}) {
        CMwNod* nod = CMwClassRegistry::CreateNodById(0x01001000);
        CMwNod plain;
        CDependant acting(deletes);
        nod->AddDependant(&plain);
        nod->AddDependant(&acting);
        nod->AddRef();
        nod->Release();
    }

    // A command deletes the buffer that runs it; a timed command deletes the scheduling core.
    CMwCmdBuffer* buffer = new CMwCmdBuffer;
    CBufferDeleter bufferDeleter{buffer};
    CMwCmdFastCall* call = MwMakeFastCall<&CBufferDeleter::Run>(&bufferDeleter);
    call->AttachBuffer(buffer);
    call->Install();
    buffer->RunBucket(0);
    CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
    core->CreateBuffers();
    core->Enable();
    CCoreDeleter coreDeleter;
    CMwCmdFastCall* timed = MwMakeFastCall<&CCoreDeleter::Run>(&coreDeleter);
    timed->AttachBuffer(core->GetTimedBuffer());
    timed->Install();
    CMwCmdBufferCore::Poll(1);
    if (CMwCmdBufferCore::GetSingleton())
        return 1;

    CMwClassRegistry::GetClassInfoById(0x63000000); // writes the not-available line
    CMwId::FromName("pooled");
    ref.Set(nullptr);
    delete observer;

    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return 0;
}
