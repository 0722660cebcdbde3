// The fid factory, and the System engine's operations on file ids: the drives, the data folder,
// the resource table, the lookups by path and the binding of nods to file ids.
#include "system/fid/SystemFidFactory.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFids.h"
#include "system/file/PathHelpers.h"

#include <iterator>

// The paths keep the letter case they have always had; lookups ignore it, so ".zun" and the
// folders "vsh" and "Vsh" find the files on disk.
constinit const char* const g_SystemResourcePaths[] = {
    nullptr,
    nullptr,
    "Media\\Texture\\HotGrid.Texture.zun",
    "Media\\Texture\\MeshDefault.Texture.zun",
    "Media\\Texture\\NoBitmap.Texture.zun",
    "Media\\Font\\Arial.Font.zun",
    "Media\\Texture\\Light.Texture.zun",
    "Media\\Text\\vsh\\Sprites.vsh.txt",
    "Media\\Text\\vsh\\SpritesOrtho.vsh.txt",
    "Media\\Solid\\Cube.Solid.Zun",
    "Media\\Solid\\BrowsedShader.Solid.Zun",
    "Media\\Solid\\Location.Solid.Zun",
    "Media\\Solid\\Camera.Solid.Zun",
    "Media\\Solid\\LightPoint.Solid.Zun",
    "Media\\Solid\\LightDirectional.Solid.Zun",
    "Media\\Solid\\LightFrustrum.Solid.Zun",
    "Media\\Solid\\Sound.Solid.Zun",
    "Media\\Solid\\Music.Solid.Zun",
    "Media\\Solid\\LinkPortal.Solid.Zun",
    "Media\\Solid\\LinkPath.Solid.Zun",
    "Media\\Solid\\LinkStreet.Solid.Zun",
    "Media\\Text\\vsh\\Blend2.vsh.txt",
    "Media\\Solid\\Field.Solid.Zun",
    "Media\\Texture\\CubeNormalsZPos.Texture.zun",
    "Media\\Texture\\Arial.Texture.zun",
    "Media\\Texture\\WhiteFlare1.Texture.zun",
    "Media\\Texture\\RenderEnv2D1.Texture.zun",
    "Media\\Texture\\RenderEnv2D2.Texture.zun",
    "Media\\Texture\\RenderEnvCube1.Texture.zun",
    "Media\\Shader\\Default.ShaderSprite.zun",
    "Media\\Text\\Vsh\\ShadowSmooth1.vsh.txt",
    "Media\\Text\\Vsh\\Projector1.vsh.txt",
    "Media\\ControlStyle\\Default.ControlStyle.Zun",
    "Media\\Text\\VHlsl\\Common.VHlsl.txt",
    "Media\\Text\\PHlsl\\Common.PHlsl.txt",
    "Media\\Text\\PHlsl\\ShadowBufferSoft.PHlsl.Cry",
    "Media\\Texture\\Arrow.Texture.zun",
    "Required\\Camera.SuperTree.Zun",
    "Required\\LightSpot.SuperTree.Zun",
    "Required\\LightOmni.SuperTree.Zun",
    "Required\\LightDirectional.SuperTree.Zun",
    "Required\\Sprite1.Texture.zun",
    "Required\\preferences.zun",
    "Required\\Locator.Texture.zun",
    nullptr,
};
static_assert(std::size(g_SystemResourcePaths) == kSystemResourceCount);

namespace {

// The last entry of the resource table is kept outside the tree and names no file.
constexpr u32 kResourceOutsideTree = kSystemResourceCount - 1;

bool StartsWithNoCase(CClassicWideStringRef text, const CClassicWideString& prefix) {
    if (text.m_Length < prefix.GetLength())
        return false;
    for (u32 i = 0; i < prefix.GetLength(); ++i)
        if (ClassicToLower(text.m_Text[i]) != ClassicToLower(prefix[i]))
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// CSystemFidFactory

CSystemFidFactory::CSystemFidFactory(CSystemEngine* engine, CClassicWideStringRef currentFolder)
    : m_Engine(engine), m_DataPath(currentFolder), m_ResourcePath(currentFolder) {
    m_DataPath.Append(u"\\GameData\\Dummy");
    m_ResourcePath.Append(u"\\Resource\\Media");
}

CSystemFids* CSystemFidFactory::GetDataFolder() {
    if (!m_DataFolder) {
        m_Engine->MountLocalDrive(m_DataPath);
        m_DataFolder = m_Engine->MountDataFolder(m_DataPath);
        m_Engine->MountResourceDrive(m_ResourcePath);
    }
    return m_DataFolder;
}

CSystemFid* CSystemFidFactory::NewFid(u32 kind) {
    if (kind & kSystemFidRefFile)
        return NewFileFid();
    return NewMemoryFid();
}

CSystemFids* CSystemFidFactory::NewFolderOfKind(u32 kind) {
    if (kind == 1)
        return NewFolder();
    return new CSystemFids;
}

CSystemFids* CSystemFidFactory::NewFolder() {
    return new CSystemFidsFolder;
}

CSystemFidFile* CSystemFidFactory::NewFileFid() {
    return new CSystemFidFile;
}

CSystemFidFile* CSystemFidFactory::NewResourceFid() {
    auto* fid = new CSystemFidFile;
    fid->m_RefFlags = kSystemFidRefFile | kSystemFidRefResourceLocal;
    return fid;
}

CSystemFidMemory* CSystemFidFactory::NewMemoryFid() {
    return new CSystemFidMemory;
}

// ---------------------------------------------------------------------------------------------
// Drives and the data folder

CSystemFids* CSystemEngine::GetDataFolder() {
    return m_FidFactory ? m_FidFactory->GetDataFolder() : nullptr;
}

CSystemFidsDrive* CSystemEngine::MountLocalDrive(CClassicWideStringRef path) {
    CClassicWideString drive;
    GetDriveOfPath(path, drive);
    if (m_LocalDrive) {
        const CClassicWideString& root = m_LocalDrive->m_Root;
        if (!root.IsEmpty() && !StartsWithNoCase(path, root)) {
            ClassicLogFormatLine(
                "Cannot use two different drives : < %s > and < %s > at the same time",
                root.GetNarrow().GetText(), drive.GetNarrow().GetText());
            return nullptr;
        }
        return m_LocalDrive;
    }
    m_LocalDrive = new CSystemFidsDrive;
    m_LocalDrive->m_Root = drive;
    m_LocalDrivePath = drive;
    m_LocalDrivePath.AppendChar(u'\\');
    return m_LocalDrive;
}

CSystemFids* CSystemEngine::MountDataFolder(CClassicWideStringRef path) {
    CSystemFidsDrive* drive = MountLocalDrive(path);
    if (!drive)
        return nullptr;
    CSystemFidFile probe;
    probe.SetFileName(path);
    if (!drive->AdoptFid(&probe))
        return nullptr;
    probe.PlaceFromFolder(0);
    CSystemFids* folder = probe.m_Folder;
    probe.m_Folder = nullptr;
    return folder;
}

void CSystemEngine::MountResourceDrive(CClassicWideStringRef path) {
    if (m_ResourceFolder)
        return;
    if (!m_ResourceDrive) {
        m_ResourceDrive = new CSystemFidsDrive;
        GetDriveOfPath(path, m_ResourceDrive->m_Root);
    }
    CSystemFidFile probe;
    probe.m_RefFlags = kSystemFidRefFile | kSystemFidRefResourceLocal;
    probe.SetFileName(path);
    probe.m_Folder = m_ResourceDrive;
    probe.PlaceFromRoot(0);
    m_ResourceFolder = probe.m_Folder;
    probe.m_Folder = nullptr;
    InitResourceTable();
}

void CSystemEngine::InitResourceTable() {
    m_ResourceTable.SetCount(kSystemResourceCount);
    for (u32 i = 0; i < kSystemResourceCount; ++i) {
        const char* name = g_SystemResourcePaths[i];
        CSystemFidFile* fid = nullptr;
        if (name || i == kResourceOutsideTree) {
            fid = m_FidFactory->NewResourceFid();
            fid->m_ResourceIndex = i;
        }
        if (name) {
            // The name as it stands: widened, not normalised.
            fid->m_FileName.AssignFromNarrow(name);
            fid->m_Folder = m_ResourceFolder;
            fid->OnNameChanged();
            fid->PlaceFromFolder(1);
            // The table keeps the file id whether its file exists or not: no refresh from disk
            // may drop it or its folders.
            if (fid->m_Folder)
                fid->m_Folder->Pin();
        }
        m_ResourceTable.m_Items[i] = fid;
    }
}

// ---------------------------------------------------------------------------------------------
// Resources

CSystemFid* CSystemEngine::GetResourceEntry(u32 index) {
    // The entry kept outside the tree names no file either.
    if (index >= kResourceOutsideTree || index >= m_ResourceTable.m_Count)
        return nullptr;
    return m_ResourceTable.m_Items[index];
}

CSystemFid* CSystemEngine::GetResourceFid(u32 resourceId) {
    return GetResourceEntry(resourceId ^ kSystemResourceIdBase);
}

CSystemFid* CSystemEngine::GetResourceFidOf(CSystemFid* fid) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return nullptr;
    // The index itself is checked: one with high bits set (from a damaged archive) must not
    // name an entry through the resource id it would make.
    return GetResourceEntry(static_cast<CSystemFidFile*>(fid)->m_ResourceIndex);
}

CMwNod* CSystemEngine::GetResourceNod(u32 resourceId) {
    CSystemFid* fid = GetResourceFid(resourceId);
    return fid ? fid->m_Nod : nullptr;
}

// ---------------------------------------------------------------------------------------------
// Lookups

CSystemFid* CSystemEngine::GetFileFid(CSystemFids* folder, CClassicWideStringRef path,
                                      u32* created) {
    if (created)
        *created = 0;
    CSystemFidsDrive* drive = folder ? nullptr : MountLocalDrive(path);
    if (!folder && !drive)
        return nullptr;
    CSystemFidFile* fid = m_FidFactory->NewFileFid();
    fid->SetFileName(path);
    if (folder) {
        fid->m_Folder = folder;
        fid->PlaceFromFolder(0);
    } else {
        fid->m_Folder = drive;
        fid->PlaceFromRoot(0);
    }
    if (CSystemFid* found = FindEqualLeaf(fid)) {
        delete fid;
        return found;
    }
    if (created)
        *created = 1;
    fid->m_Folder->AddLeaf(fid);
    fid->OnChanged();
    return fid;
}

CSystemFid* CSystemEngine::FindEqualLeaf(CSystemFid* fid) {
    CSystemFids* folder = fid ? fid->m_Folder : nullptr;
    return folder ? folder->FindEqualLeaf(fid) : nullptr;
}

CSystemFid* CSystemEngine::FindFidLike(CSystemFid* fid) {
    if (!fid)
        return nullptr;
    if (fid->m_RefFlags & kSystemFidRefFile) {
        if (fid->m_RefFlags & kSystemFidRefResourceLocal)
            return GetResourceFidOf(fid);
        return FindEqualLeaf(fid);
    }
    CSystemFids* folder = fid->m_Folder;
    if (!folder)
        return nullptr;
    for (u32 i = 0; i < folder->m_Leaves.m_Count; ++i)
        if (folder->m_Leaves.m_Items[i]->IsEqual(fid))
            return folder->m_Leaves.m_Items[i];
    return nullptr;
}

CSystemFid* CSystemEngine::FindFidByFullPath(CClassicWideStringRef path, bool addIfOnDisk) {
    CSystemFids* data = GetDataFolder();
    if (!data)
        return nullptr;
    CClassicWideString base, rest;
    data->GetFullDirName(base);
    if (!MakeRelativePath(path, base, rest))
        return nullptr;
    return data->FindFid(rest, addIfOnDisk);
}

// ---------------------------------------------------------------------------------------------
// Nods and file ids

void CSystemEngine::AttachNodToFid(CMwNod* nod, CSystemFid* fid) {
    if (!nod || !fid)
        return;
    if (CSystemFid* old = nod->GetFid())
        DetachNodAndFid(nod, old);
    fid->SetNod(nod);
}

void CSystemEngine::AttachNodToFidWithParamSet(CMwNod* nod, CSystemFid* fid,
                                               const CSystemParamSet& set) {
    if (!nod || !fid || fid->GetNodFor(set))
        return;
    AttachNodToFid(nod, fid);
    fid->m_ParamSet.Assign(set);
    if (fid->m_Folder)
        fid->m_Folder->AddLeafIfAbsent(fid);
}

void CSystemEngine::DetachNodAndFid(CMwNod* nod, CSystemFid* fid) {
    if (!nod || !fid)
        return;
    nod->RemoveDependantIfPresent(fid);
    fid->ClearNod(nod);
}

void CSystemEngine::DetachNodFromFid(CMwNod* nod) {
    if (nod)
        DetachNodAndFid(nod, nod->GetFid());
}

void CSystemEngine::RemoveFid(CSystemFid* fid) {
    if (!fid)
        return;
    if (fid->m_Folder)
        fid->m_Folder->RemoveLeaf(fid);
    DetachNodAndFid(fid->m_Nod, fid);
}

void CSystemEngine::DeleteFid(CSystemFid* fid) {
    if (!fid)
        return;
    // The aliases leave the list first: each deletion then touches no list of the master.
    CFastBuffer<CSystemFid*> aliases = fid->m_Aliases;
    fid->m_Aliases = CFastBuffer<CSystemFid*>();
    for (u32 i = 0; i < aliases.m_Count; ++i) {
        CSystemFid* alias = aliases.m_Items[i];
        alias->m_Master = nullptr;
        RemoveFid(alias);
        delete alias;
    }
    aliases.FreeItems();
    RemoveFid(fid);
    delete fid;
}

void CSystemEngine::ReleaseMemoryFid(CClassicBufferMemory* buffer) {
    if (!m_MemoryFids || !buffer)
        return;
    CFastBuffer<CSystemFid*>& leaves = m_MemoryFids->m_Leaves;
    for (u32 i = 0; i < leaves.m_Count; ++i) {
        CSystemFid* fid = leaves.m_Items[i];
        if (!fid->IsKindOf(CSystemFidMemory::s_ClassId) ||
            static_cast<CSystemFidMemory*>(fid)->m_Buffer != buffer)
            continue;
        RemoveFid(fid);
        delete fid;
        return;
    }
}
