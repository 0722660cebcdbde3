#pragma once
// The fid factory: the System engine's maker of folders and file ids, and the keeper of the data
// folder. The data folder is the folder "GameData" of the current folder and the resource folder
// its sibling "Resource"; both are found from a path whose last component only names a file
// inside the folder (current folder + "\GameData\Dummy", current folder + "\Resource\Media").
//
// The factory answers with CMwNod's identity: it has no class of its own. New objects have a
// count of 0 and belong to the folder they are added to.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"
#include "platform/Types.h"

class CSystemEngine;
class CSystemFid;
class CSystemFidFile;
class CSystemFidMemory;
class CSystemFids;

// The resource files, by index, relative to the resource folder; null for the indices that name
// no file (0, 1 and 44).
extern const char* const g_SystemResourcePaths[];

class CSystemFidFactory : public CMwNod {
public:
    // The data and resource paths from the current folder (an engine path without a final
    // backslash).
    CSystemFidFactory(CSystemEngine* engine, CClassicWideStringRef currentFolder);

    // The data folder; the first call (and every call after a refused drive) mounts the local
    // drive, the data folder and the resource drive through the engine.
    virtual CSystemFids* GetDataFolder();
    // A file (reference flags 1) when bit 0 of the kind is set, else a memory image (8).
    virtual CSystemFid* NewFid(u32 kind);
    // A named folder for kind 1, a plain folder for any other.
    virtual CSystemFids* NewFolderOfKind(u32 kind);
    virtual CSystemFids* NewFolder();
    // A file, reference flags 1.
    virtual CSystemFidFile* NewFileFid();
    // A resource file, reference flags 5 (a file named by its resource index).
    virtual CSystemFidFile* NewResourceFid();
    // A memory image, reference flags 8, no buffer.
    virtual CSystemFidMemory* NewMemoryFid();

    CSystemEngine* m_Engine;
    // Null until mounted.
    CSystemFids* m_DataFolder = nullptr;
    CClassicWideString m_DataPath;
    CClassicWideString m_ResourcePath;
};
