#pragma once
// What the Plug library answers the System engine (system/fid/PlugFileServices.h): the class of
// a file from its name (CPlugFile's extension table), and the loading and saving of file-backed
// nods by path. Start-up installs these answers with PlugStart; PlugStop puts the System
// library's defaults back.
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
};

// The library's one services object, installed or not.
CPlugFileClasses& PlugFileClasses();

void PlugStart();
void PlugStop();
