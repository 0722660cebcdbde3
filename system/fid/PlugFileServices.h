#pragma once
// What the System engine asks of the Plug library's file classes (CPlugFile: nods read from and
// written to files of other formats, chosen by the file name's extension). The Plug library
// stands above the system library, so it installs its answers (SetPlugFileServices) when it
// starts; until then the answers below stand: no extension names a class, nothing is read or
// written. Tests install fakes.
#include "core/base/ClassicString.h"
#include "platform/Types.h"

class CClassicBuffer;
class CMwNod;
class CSystemFid;
class CSystemFids;

class CPlugFileServices {
public:
    constexpr CPlugFileServices() = default;
    CPlugFileServices(const CPlugFileServices&) = delete;
    CPlugFileServices& operator=(const CPlugFileServices&) = delete;

    // The class the name's extension names (an extension matches when the name ends with it,
    // ignoring ASCII case, and is longer than it); 0xFFFFFFFF when none does.
    virtual u32 ClassIdFromFileName(CClassicWideStringRef) { return 0xFFFFFFFF; }
    // Reads the file at the full path into the file-backed nod, logging its own failures;
    // false on failure.
    virtual bool LoadFromPath(CMwNod* /*file*/, CClassicWideStringRef /*path*/) { return false; }
    // Creates the file at the full path and writes the file-backed nod into it; nonzero when
    // written, 0 when the file cannot be created.
    virtual u32 SaveToPath(CMwNod* /*file*/, CClassicWideStringRef /*path*/) { return 0; }

    // Zip containers used as folders (packs). InstallZip creates the file ids of the zip's
    // entries in a folder below the given one and gives that folder; GetZipInstallFolder gives
    // the folder of a zip installed before (null when it is not installed); UninstallZip deletes
    // the entries' file ids.
    virtual CSystemFids* InstallZip(CMwNod* /*zip*/, CSystemFids* /*folder*/) { return nullptr; }
    virtual CSystemFids* GetZipInstallFolder(CMwNod* /*zip*/) { return nullptr; }
    virtual void UninstallZip(CMwNod* /*zip*/) {}
    // The entries of a zip read as streams: OpenZipEntry opens the entry the file id (installed
    // by that zip, its loader) stands for and gives a readable stream, or null; CloseZipEntry
    // closes such a stream (nothing for null).
    virtual CClassicBuffer* OpenZipEntry(CMwNod* /*zip*/, CSystemFid* /*fid*/) { return nullptr; }
    virtual void CloseZipEntry(CMwNod* /*zip*/, CClassicBuffer* /*stream*/) {}

    // The class the file id's name names; 0xFFFFFFFF for a null file id, a file id without a
    // name (a memory image) or an unknown extension.
    u32 ClassIdFromFid(CSystemFid* fid);
    // A new nod of that class (created by class id), or null after the log line
    // "Unrecognized format file <the file's full name>" when the extension is unknown.
    CMwNod* CreateNodFromFid(CSystemFid* fid);

protected:
    // Services are never deleted through this class, and the default ones are never destroyed:
    // a nod that outlives everything at exit may still ask them.
    ~CPlugFileServices() = default;
};

// The services in force.
CPlugFileServices& PlugFileServices();
// Installs services (the caller keeps them alive while they are installed); null puts the
// default answers back.
void SetPlugFileServices(CPlugFileServices* services);
