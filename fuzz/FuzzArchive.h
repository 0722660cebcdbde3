#pragma once
// The archive round of the archive fuzz targets: bytes loaded for a memory file id, and a nod
// saved back in the release form. A broken promise of the archive aborts, so the fuzzer keeps
// the input.
#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"
#include "system/fid/SystemFidFile.h"

#include <cstdlib>
#include <memory>

// Loads the bytes through the archive (kept by the caller: the loaded nod may point at its file
// ids) for the file id given; a load answers success exactly when it hands out a nod.
inline CMwNod* FuzzLoadBytes(CSystemArchive& archive, CSystemFid* fid, const u8* data,
                             size_t size) {
    CClassicBufferMemory in;
    in.Write(data, u32(size));
    in.Rewind();
    archive.SetCurrentFid(fid);
    CMwNod* nod = nullptr;
    const bool loaded = archive.Load(&in, &nod);
    if (loaded != (nod != nullptr))
        std::abort();
    return nod;
}

// Saves a nod the archive just loaded; that save must succeed.
inline void FuzzSaveBytes(CMwNod* nod, CClassicBufferMemory& out) {
    CSystemArchive archive;
    archive.SetSaveFlags(kSystemArchiveSaveRelease);
    if (!archive.Save(nod, &out))
        std::abort();
}

// A loaded nod saves, its save loads again, and that saves to the same bytes.
inline void FuzzCheckSaveReloads(CMwNod* nod) {
    CClassicBufferMemory first, second;
    FuzzSaveBytes(nod, first);
    std::unique_ptr<CSystemFidMemory> againFid(new CSystemFidMemory);
    CSystemArchive again;
    CMwNodRef reloaded(FuzzLoadBytes(again, againFid.get(), first.GetData(), first.GetSize()));
    if (!reloaded.Get())
        std::abort();
    FuzzSaveBytes(reloaded.Get(), second);
    if (!first.IsSameData(second))
        std::abort();
}
