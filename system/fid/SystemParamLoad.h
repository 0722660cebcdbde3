#pragma once
// The parameter-set steps an archive runs around the load of a main nod: before the references
// are read, the nod is bound to the file id that suits the parameter set in force (the file's own
// file id, one of its aliases, or a new alias); after the body, the file id takes the parameters
// the load went by. An archive keeps one CSystemParamLoad for its operation.
#include "core/base/FastBuffer.h"
#include "system/fid/SystemParamSet.h"

class CMwNod;
class CSystemFid;

class CSystemParamLoad {
public:
    CSystemParamLoad() = default;
    CSystemParamLoad(const CSystemParamLoad&) = delete;
    CSystemParamLoad& operator=(const CSystemParamLoad&) = delete;
    ~CSystemParamLoad() { m_UseFileClasses.FreeItems(); }

    // For a file (reference flags 1 or 3): the file id or alias whose set suits the current set
    // is taken; when none does, an alias is made in the file's folder, named "<file name>?<n>"
    // with a process-wide counter, loaded through the shared loader, of the file's content
    // class, with the current set compacted for that class, and the file's own file id becomes
    // a leaf of its folder when it is not one, so that later loads find it and its aliases; the
    // load set then starts as a copy of the default set. Other file ids are used as they are,
    // without a load set. The nod is bound to the file id taken, under that file id's own set
    // (unless a suiting file id already holds a nod). Returns the file id taken.
    CSystemFid* Prepare(CSystemFid* current, CMwNod* nod);
    // After the body, for the file id Prepare gave: without a load set the file id's set becomes
    // a copy of the default set; with one, the load set takes the current set's non-empty
    // "ParamSet" records and, when use-file references were met, its records for their classes;
    // the nod's parameter-set hook runs; a load set that does not inherit takes the current
    // set's records for the content class; compacted for that class, it becomes the file id's
    // set and the load set is forgotten.
    void Complete(CSystemFid* fid, CMwNod* nod);

    // The set the load collects what it went by into; null outside a load of a file.
    CSystemParamSet* GetLoadParamSet() const { return m_LoadSet; }
    // The content class of a use-file reference met while loading (kept once).
    void AddUseFileClass(u32 classId);
    const CFastBuffer<u32>& GetUseFileClasses() const { return m_UseFileClasses; }

    // The number the next alias is named with.
    static u32 GetNextAliasNumber();

private:
    CSystemFid* MakeAlias(CSystemFid* master, const CSystemParamSet& current);

    CSystemParamSet m_OwnSet;
    CSystemParamSet* m_LoadSet = nullptr;
    CFastBuffer<u32> m_UseFileClasses;
};
