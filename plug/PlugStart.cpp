#include "plug/PlugStart.h"

#include "plug/bitmap/PlugFile.h"

namespace {

constinit CPlugFileClasses s_FileClasses;

CPlugFile* AsPlugFile(CMwNod* nod) {
    return nod && nod->IsKindOf(CPlugFile::s_ClassId) ? static_cast<CPlugFile*>(nod) : nullptr;
}

} // namespace

u32 CPlugFileClasses::ClassIdFromFileName(CClassicWideStringRef name) {
    return CPlugFile::ClassIdFromFileName(name);
}

bool CPlugFileClasses::LoadFromPath(CMwNod* file, CClassicWideStringRef path) {
    CPlugFile* plugFile = AsPlugFile(file);
    return plugFile && plugFile->LoadFromPath(path) != 0;
}

u32 CPlugFileClasses::SaveToPath(CMwNod* file, CClassicWideStringRef path) {
    CPlugFile* plugFile = AsPlugFile(file);
    return plugFile ? u32(plugFile->SaveToPath(path)) : 0;
}

CPlugFileClasses& PlugFileClasses() {
    return s_FileClasses;
}

void PlugStart() {
    SetPlugFileServices(&s_FileClasses);
}

void PlugStop() {
    SetPlugFileServices(nullptr);
}
