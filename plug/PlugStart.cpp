#include "plug/PlugStart.h"

#include "plug/bitmap/PlugFile.h"
#include "plug/bitmap/PlugFileZip.h"

namespace {

constinit CPlugFileClasses s_FileClasses;

CPlugFile* AsPlugFile(CMwNod* nod) {
    return nod && nod->IsKindOf(CPlugFile::s_ClassId) ? static_cast<CPlugFile*>(nod) : nullptr;
}

CPlugFileZip* AsZip(CMwNod* nod) {
    return nod && nod->IsKindOf(CPlugFileZip::s_ClassId) ? static_cast<CPlugFileZip*>(nod)
                                                         : nullptr;
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

CSystemFids* CPlugFileClasses::InstallZip(CMwNod* zip, CSystemFids* folder) {
    CPlugFileZip* plugZip = AsZip(zip);
    if (!plugZip)
        return nullptr;
    plugZip->InstallFids(folder, true);
    return plugZip->GetInstallFolder();
}

CSystemFids* CPlugFileClasses::GetZipInstallFolder(CMwNod* zip) {
    CPlugFileZip* plugZip = AsZip(zip);
    return plugZip ? plugZip->GetInstallFolder() : nullptr;
}

void CPlugFileClasses::UninstallZip(CMwNod* zip) {
    if (CPlugFileZip* plugZip = AsZip(zip))
        plugZip->UninstallFids();
}

CClassicBuffer* CPlugFileClasses::OpenZipEntry(CMwNod* zip, CSystemFid* fid) {
    CPlugFileZip* plugZip = AsZip(zip);
    return plugZip ? plugZip->OpenEntry(fid) : nullptr;
}

void CPlugFileClasses::CloseZipEntry(CMwNod* zip, CClassicBuffer* stream) {
    // Only streams this zip opened come back here.
    if (CPlugFileZip* plugZip = AsZip(zip))
        plugZip->CloseEntry(static_cast<ZipEntryStream*>(stream));
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
