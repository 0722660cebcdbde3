#pragma once
// What file ids and parameter sets ask of the parts of the System engine built over them: the
// archive reader that reads a file's header, and the engine that makes file ids and binds nods to
// them. Each of those parts installs its answers (SetSystemFidLinks) when it starts; until then
// the answers below stand: no header can be read, no file id is made and no loader exists. Tests
// install fakes.
#include "core/base/ClassicString.h"
#include "platform/Types.h"

class CClassicBuffer;
class CMwNod;
class CSystemFid;
class CSystemFids;
class CSystemParamSet;

class CSystemFidLinks {
public:
    constexpr CSystemFidLinks() = default;
    CSystemFidLinks(const CSystemFidLinks&) = delete;
    CSystemFidLinks& operator=(const CSystemFidLinks&) = delete;

    // The archive reader: reads the file id's header (header only) from the stream, or from the
    // file id's own source when the stream is null, setting its content class id, its format
    // flags and its header-chunk blob. False when no header could be read.
    virtual bool ReadFileHeader(CSystemFid*, CClassicBuffer*) { return false; }

    // The engine: the file id of a path in a folder (found or made there, a leaf of the folder
    // the path ends in); the shared loader that loads a file id through the archive.
    virtual CSystemFid* GetFileFid(CSystemFids*, CClassicWideStringRef) { return nullptr; }
    virtual CMwNod* GetDummyFidLoader() { return nullptr; }
    // Binds the nod to the file id under the set, unless the file id or one of its aliases
    // already holds a nod loaded under a set that suits it: the nod leaves the file id it was
    // bound to, the file id takes the nod and a copy of the set, and becomes a leaf of its
    // folder when it is not one.
    virtual void AttachNodToFidWithParamSet(CMwNod* nod, CSystemFid* fid,
                                            const CSystemParamSet& set);

protected:
    // Links are never deleted through this class, and the default ones are never destroyed: a
    // file id that outlives everything at exit may still ask them.
    ~CSystemFidLinks() = default;
};

// The links in force.
CSystemFidLinks& SystemFidLinks();
// Installs links (the caller keeps them alive while they are installed); null puts the default
// answers back.
void SetSystemFidLinks(CSystemFidLinks* links);
