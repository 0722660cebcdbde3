#pragma once
// The game configuration's file: a ".Zun" archive whose body is the configuration's chunks. It is
// loaded and saved by the archive operations (CSystemArchive::LoadNodFromFile and SaveNodToFile);
// tests may install other operations in their place (SetSystemConfigArchiveOps).
#include "core/base/ClassicString.h"
#include "platform/Types.h"

class CMwNod;
class CSystemConfig;
class CSystemFids;

// The full load of an archive: header, references with their files, body.
inline constexpr u32 kSystemConfigLoadMode = 7;
// The permissions of a new configuration file: it holds passwords in clear, so only its owner
// reads it. An existing file keeps its own.
inline constexpr u32 kSystemConfigNewFileMode = 0600;

// The operations the configuration's file goes through. The answers of this class itself load
// nothing and save nothing.
class CSystemConfigArchiveOps {
public:
    constexpr CSystemConfigArchiveOps() = default;
    CSystemConfigArchiveOps(const CSystemConfigArchiveOps&) = delete;
    CSystemConfigArchiveOps& operator=(const CSystemConfigArchiveOps&) = delete;

    // Loads the nod of the named file (relative to the folder, or through the local drive
    // without one; with findInTree the file id is looked up in the folder tree first): 1 and the
    // nod in *nod, or 0 and null.
    virtual u32 LoadNodFromFile(CClassicWideStringRef /*name*/, CMwNod** nod,
                                CSystemFids* /*folder*/, u32 /*mode*/, bool /*findInTree*/) {
        *nod = nullptr;
        return 0;
    }
    // Saves the nod to the named file (save flags 0: the format the file id gives); with
    // checkChanges only when the bytes differ, with registerFid bound to the file's id; a new
    // file gets kSystemConfigNewFileMode. 1 when saved or unchanged.
    virtual u32 SaveNodToFile(CClassicWideStringRef /*name*/, CMwNod* /*nod*/,
                              CSystemFids* /*folder*/, u32 /*saveFlags*/, u32 /*mode*/,
                              bool /*checkChanges*/, bool /*registerFid*/) {
        return 0;
    }

protected:
    // Never deleted through this class; the default ones are never destroyed.
    ~CSystemConfigArchiveOps() = default;
};

// The operations in force.
CSystemConfigArchiveOps& SystemConfigArchiveOps();
// Installs operations (the caller keeps them alive while they are installed); null puts the
// archive operations back.
void SetSystemConfigArchiveOps(CSystemConfigArchiveOps* ops);

// The configuration of the named file, loaded with find in tree and the full load mode. A missing
// or damaged file, or one holding a nod of another class, gives a new configuration with its
// defaults instead (*loaded, when given, says which). The result holds one reference for the
// caller.
CSystemConfig* LoadSystemConfig(CClassicWideStringRef name, CSystemFids* folder, bool* loaded);
// Saves the configuration to the named file: the format its file id gives (text for a new file),
// written only when its bytes change, the file id registered. True when saved or unchanged.
bool SaveSystemConfig(CSystemConfig* config, CClassicWideStringRef name, CSystemFids* folder);
