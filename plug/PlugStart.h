#pragma once
// What the Plug library answers the System engine (system/fid/PlugFileServices.h): the class of
// a file from its name (CPlugFile's extension table), and the loading and saving of file-backed
// nods by path, and zip containers used as folders. Start-up installs these answers with PlugStart;
// PlugStop puts the System library's defaults back.
#include "system/fid/PlugFileServices.h"

class CPlugFileClasses final : public CPlugFileServices {
public:
    constexpr CPlugFileClasses() = default;

    u32 ClassIdFromFileName(CClassicWideStringRef name) override;
    // For a CPlugFile: true when its LoadFromPath answers non-zero (default content included:
    // the nod's HasLoadFailed() tells that apart); false for any other nod.
    bool LoadFromPath(CMwNod* file, CClassicWideStringRef path) override;
    // For a CPlugFile: its SaveToPath; 0 for any other nod.
    u32 SaveToPath(CMwNod* file, CClassicWideStringRef path) override;
    // Zip containers (CPlugFileZip); other nods get the defaults' answers. InstallZip installs
    // the entries in the sub-folder named after the archive below the folder.
    CSystemFids* InstallZip(CMwNod* zip, CSystemFids* folder) override;
    CSystemFids* GetZipInstallFolder(CMwNod* zip) override;
    void UninstallZip(CMwNod* zip) override;
    CClassicBuffer* OpenZipEntry(CMwNod* zip, CSystemFid* fid) override;
    void CloseZipEntry(CMwNod* zip, CClassicBuffer* stream) override;
};

// The library's one services object, installed or not.
CPlugFileClasses& PlugFileClasses();

void PlugStart();
void PlugStop();
