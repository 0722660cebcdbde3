// A whole engine-core lifetime in one small program, run under valgrind by the tests: the name
// pool and the registry start, nods are created by class id, named, linked as dependants and
// observers and released, and everything is shut down. Valgrind must find no leak and no error.
#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "core/nod/MwNod.h"

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
    CMwClassRegistry::GetClassInfoById(0x63000000); // writes the not-available line
    CMwId::FromName("pooled");
    ref.Set(nullptr);
    delete observer;

    CMwClassRegistry::Shutdown();
    CMwIdTable::Destroy();
    return 0;
}
