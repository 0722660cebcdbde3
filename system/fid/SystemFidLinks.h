#pragma once
// What file ids and parameter sets ask of the archive operations built over them: reading a
// file's header, and the shared loader that loads a file id through the archive. The archive
// operations install their answers (SetSystemFidLinks) when they start; until then the answers
// below stand: no header can be read and no loader exists. Tests install fakes.
#include "platform/Types.h"

class CClassicBuffer;
class CMwNod;
class CSystemFid;

class CSystemFidLinks {
public:
    constexpr CSystemFidLinks() = default;
    CSystemFidLinks(const CSystemFidLinks&) = delete;
    CSystemFidLinks& operator=(const CSystemFidLinks&) = delete;

    // The archive reader: reads the file id's header (header only) from the stream, or from the
    // file id's own source when the stream is null, setting its content class id, its format
    // flags and its header-chunk blob. False when no header could be read.
    virtual bool ReadFileHeader(CSystemFid*, CClassicBuffer*) { return false; }
    // The shared loader that loads a file id through the archive.
    virtual CMwNod* GetDummyFidLoader() { return nullptr; }

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
