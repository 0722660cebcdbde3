// The operations that save and load nods through archive files, memory images and streams, and
// the shared loader of file ids.
#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "system/archive/SystemArchive.h"
#include "system/engine/SystemEngine.h"
#include "system/fid/PlugFileServices.h"
#include "system/fid/SystemFidFactory.h"
#include "system/fid/SystemFidFile.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemParamSet.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "system/file/PathHelpers.h"

#include <memory>
#include <new>

namespace {

bool FullNameOf(CSystemFid* fid, CClassicWideString& out) {
    if (!fid || !fid->IsKindOf(CSystemFidFile::s_ClassId))
        return false;
    static_cast<CSystemFidFile*>(fid)->GetFullFileName(out);
    return true;
}

CSystemFidFile* NewFileFid(CSystemEngine* engine) {
    CSystemFidFile* fid =
        engine && engine->m_FidFactory ? engine->m_FidFactory->NewFileFid() : new CSystemFidFile;
    fid->m_RefFlags = kSystemFidRefFile;
    return fid;
}

// Gives the name a folder: below the folder given (a relative path walks its sub-folders), or
// the local drive's, from its root. False when there is no local drive for the name.
bool PlaceName(CSystemEngine* engine, CSystemFidFile* fid, CClassicWideStringRef name,
               CSystemFids* folder) {
    fid->SetFileName(name);
    if (folder) {
        fid->m_Folder = folder;
        fid->PlaceFromFolder(0);
        return true;
    }
    CSystemFids* drive = engine ? engine->MountLocalDrive(name) : nullptr;
    if (!drive)
        return false;
    fid->m_Folder = drive;
    fid->PlaceFromRoot(0);
    return true;
}

// The binding of a nod to its file id, lifted for a scope and put back at its end.
class CLiftedBinding {
public:
    explicit CLiftedBinding(CMwNod* nod) : m_Fid(nod ? nod->GetFid() : nullptr) {
        if (m_Fid)
            CSystemEngine::DetachNodAndFid(nod, m_Fid);
    }
    CSystemFid* Fid() const { return m_Fid; }
    // Binds the nod (when there is one) to the lifted file id again.
    void PutBack(CMwNod* nod) {
        if (m_Fid && nod)
            CSystemEngine::AttachNodToFid(nod, m_Fid);
        m_Fid = nullptr;
    }

private:
    CSystemFid* m_Fid;
};

class CArchiveFidLinks final : public CSystemFidLinks {
public:
    bool ReadFileHeader(CSystemFid* fid, CClassicBuffer* stream) override {
        CSystemArchive archive;
        archive.SetCurrentFid(fid);
        return archive.ReadFileHeader(kSystemArchiveLoadHeaderOnly, stream);
    }
    CMwNod* GetDummyFidLoader() override { return CSystemDummyFidLoader::Get(); }
};

constinit CArchiveFidLinks s_ArchiveLinks;
constinit CSystemDummyFidLoader* s_DummyLoader = nullptr;

} // namespace

CSystemFidLinks& SystemArchiveFidLinks() {
    return s_ArchiveLinks;
}

// ---------------------------------------------------------------------------------------------
// Loading

i32 CSystemArchive::LoadFid(CMwNod** out) {
    *out = nullptr;
    if (!m_CurrentFid)
        return 0;
    if (CMwNod* loader = m_CurrentFid->GetLoader()) {
        if (CMwNod* bound = m_CurrentFid->GetNodFor(*CurrentParamSet())) {
            *out = bound;
            return 1;
        }
        return loader->LoadFid(out, m_CurrentFid);
    }
    return LoadFromFile(out, false);
}

i32 CSystemArchive::LoadFromFile(CMwNod** out, bool reload) {
    *out = nullptr;
    CSystemFid* registered = nullptr;
    if (reload) {
        registered = m_Engine ? m_Engine->FindFidLike(m_CurrentFid) : nullptr;
        if (registered && registered->m_Nod)
            CSystemEngine::DetachNodAndFid(registered->m_Nod, registered);
    } else if (CMwNod* bound = m_CurrentFid->GetNodFor(*CurrentParamSet())) {
        *out = bound;
        return 1;
    }
    CClassicWideString name;
    if (!FullNameOf(m_CurrentFid, name))
        return 0;

    if (!HasZunExtension(name)) {
        // A file of another format: the file-backed nod reads itself.
        CMwNod* nod = PlugFileServices().CreateNodFromFid(m_CurrentFid);
        if (!nod)
            return 0;
        CSystemFid* taken = m_ParamLoad.Prepare(m_CurrentFid, nod);
        if (!PlugFileServices().LoadFromPath(nod, name)) {
            if (nod->GetRefCount() == 0)
                delete nod;
            return 0;
        }
        if (taken)
            m_ParamLoad.Complete(taken, nod);
        KeepForLoadInProgress(nod);
        *out = nod;
        return 1;
    }

    CClassicBufferFile file;
    if (!file.Open(name, false, false, false, false))
        return 0;
    CMwNod* nod = nullptr;
    const bool loaded = Load(&file, &nod);
    file.Close();
    if (!loaded)
        return 0;
    if (reload && registered && registered != m_CurrentFid) {
        CSystemEngine::DetachNodAndFid(nod, m_CurrentFid);
        CSystemEngine::AttachNodToFidWithParamSet(nod, registered, registered->m_ParamSet);
    }
    *out = nod;
    return 1;
}

i32 CSystemArchive::LoadNodFromFile(CClassicWideStringRef name, CMwNod** out, CSystemFids* folder,
                                    u32 mode, bool findInTree) {
    *out = nullptr;
    std::unique_ptr<CSystemFidFile> probe(NewFileFid(m_Engine));
    CSystemFid* current = probe.get();
    CSystemFid* made = nullptr;
    if (findInTree) {
        if (!PlaceName(m_Engine, probe.get(), name, folder))
            return 0;
        CSystemFid* found = m_Engine ? m_Engine->FindFidLike(probe.get())
                                     : CSystemEngine::FindEqualLeaf(probe.get());
        if (found && (found->m_RefFlags & kSystemFidRefResourceLocal)) {
            auto* file = static_cast<CSystemFidFile*>(found);
            return LoadResource(kSystemResourceIdBase | file->m_ResourceIndex, out);
        }
        if (found) {
            current = found;
        } else {
            made = NewFileFid(m_Engine);
            made->CopyFidFrom(probe.get());
            current = made;
        }
    } else {
        probe->SetFileName(name);
    }
    m_CurrentFid = current;
    m_LoadMode = mode;
    const i32 result = LoadFromFile(out, mode & kSystemArchiveLoadReload);
    // A file id made here and left without a nod (a failed load) belongs to nothing.
    if (made && !made->m_Nod && !(made->m_Folder && made->m_Folder->HasLeaf(made))) {
        m_CurrentFid = nullptr;
        delete made;
    }
    if (current == probe.get()) {
        // The file id of a load outside the tree goes with the load: the nod keeps no file id.
        if (*out)
            CSystemEngine::DetachNodAndFid(*out, probe.get());
        m_CurrentFid = nullptr;
    }
    return *out ? result : 0;
}

i32 CSystemArchive::LoadFromStream(CClassicBuffer* stream, CMwNod** out) {
    *out = nullptr;
    if (!m_CurrentFid || !stream)
        return 0;
    if (CMwNod* bound = m_CurrentFid->GetNodFor(*CurrentParamSet())) {
        *out = bound;
        stream->Close();
        return 1;
    }
    if (stream->CanSeek() && stream->GetPosition() != 0)
        stream->SetPosition(0);
    const bool loaded = Load(stream, out);
    stream->Close();
    return loaded ? 1 : 0;
}

i32 CSystemArchive::LoadFromMemoryFid(CMwNod** out) {
    auto* fid = static_cast<CSystemFidMemory*>(m_CurrentFid);
    if (!fid->m_Buffer)
        return 0;
    fid->m_Buffer->Rewind();
    return LoadFromStream(fid->m_Buffer, out);
}

i32 CSystemArchive::LoadFromMemory(CClassicBufferMemory* buffer, CMwNod** out) {
    *out = nullptr;
    if (!m_Engine || !m_Engine->m_MemoryFids || !buffer)
        return 0;
    std::unique_ptr<CSystemFidMemory> probe(m_Engine->m_FidFactory->NewMemoryFid());
    probe->m_Buffer = buffer;
    probe->m_Folder = m_Engine->m_MemoryFids;
    CSystemFid* found = CSystemEngine::FindEqualLeaf(probe.get());
    CSystemFidMemory* made = nullptr;
    if (found && found->IsKindOf(CSystemFidMemory::s_ClassId)) {
        m_CurrentFid = found;
    } else {
        made = m_Engine->m_FidFactory->NewMemoryFid();
        made->CopyFidFrom(probe.get());
        made->m_Folder = m_Engine->m_MemoryFids;
        m_CurrentFid = made;
    }
    const i32 result = LoadFromMemoryFid(out);
    if (made && !made->m_Nod) {
        m_Engine->m_MemoryFids->RemoveLeaf(made);
        m_CurrentFid = nullptr;
        delete made;
    }
    // Load mode 3 makes no nod: its result is the raw body.
    return *out || m_LoadMode == kSystemArchiveLoadRawBody ? result : 0;
}

i32 CSystemArchive::LoadResource(u32 resourceId, CMwNod** out) {
    *out = nullptr;
    CSystemFid* fid = m_Engine ? m_Engine->GetResourceFid(resourceId) : nullptr;
    if (!fid)
        return 0;
    if (fid->m_Nod) {
        *out = fid->m_Nod;
        return 1;
    }
    m_CurrentFid = fid;
    m_LoadMode = kSystemArchiveLoadFull;
    return LoadFromFile(out, false);
}

bool CSystemArchive::ReadFileHeader(u32 mode, CClassicBuffer* stream) {
    if (!m_CurrentFid)
        return false;
    m_CurrentFid->m_ContentClassId = CSystemFid::s_UnknownClassId;
    m_LoadMode = mode;
    CClassicBufferFile file;
    // An entry of a zip is read through the zip, and closed by it whatever the read answers.
    struct SZipEntry {
        CMwNod* m_Zip = nullptr;
        CClassicBuffer* m_Stream = nullptr;
        ~SZipEntry() {
            if (m_Stream)
                PlugFileServices().CloseZipEntry(m_Zip, m_Stream);
        }
    } entry;
    if (!stream) {
        if (m_CurrentFid->IsKindOf(CSystemFidMemory::s_ClassId)) {
            stream = static_cast<CSystemFidMemory*>(m_CurrentFid)->m_Buffer;
            if (!stream)
                return false;
            stream->SetPosition(0);
        } else {
            CClassicWideString name;
            if (!FullNameOf(m_CurrentFid, name))
                return false;
            if (!HasZunExtension(name)) {
                m_CurrentFid->m_ContentClassId = PlugFileServices().ClassIdFromFid(m_CurrentFid);
                return true;
            }
            if (CMwNod* loader = m_CurrentFid->GetLoader()) {
                // Entries of a container are read by their loader only: a zip opens them.
                entry.m_Zip = loader;
                entry.m_Stream = PlugFileServices().OpenZipEntry(loader, m_CurrentFid);
                if (!entry.m_Stream)
                    return false;
                stream = entry.m_Stream;
            } else {
                if (!file.Open(name, false, false, false, false))
                    return false;
                stream = &file;
            }
        }
    }
    // Only the header and the table are read, in place.
    struct SLent {
        CClassicArchive& m_Archive;
        CClassicBuffer* m_Old;
        ~SLent() {
            m_Archive.DetachBuffer(false);
            m_Archive.SetBuffer(m_Old);
        }
    } lent{*this, DetachBuffer(false)};
    SetBuffer(stream);
    m_HeaderVersionRead = false;
    try {
        if (!ReadHeader())
            return false;
        if (mode != kSystemArchiveLoadHeaderOnly)
            return ReadRefs();
        return true;
    } catch (const CClassicBufferException&) {
    } catch (const std::bad_alloc&) {
    }
    return m_HeaderVersionRead;
}

// ---------------------------------------------------------------------------------------------
// Saving

void CSystemArchive::TakeFormatFromFid() {
    CSystemFid* fid = m_FormatFid ? m_FormatFid : m_CurrentFid;
    if (m_SaveFlags == 0 && fid)
        SetSaveFlags((fid->IsText() ? kSystemArchiveSaveText : 0) |
                     (fid->IsCompressed() ? kSystemArchiveSaveCompressed : 0));
}

i32 CSystemArchive::SaveNodToFile(CClassicWideStringRef name, CMwNod* nod, CSystemFids* folder,
                                  u32 saveFlags, u32 mode, bool checkChanges, bool registerFid) {
    if (!nod)
        return 0;
    SetSaveFlags(saveFlags);
    std::unique_ptr<CSystemFidFile> temporary;
    // A save for a file id of its own leaves the nod bound to the file id it had.
    CLiftedBinding lifted(registerFid ? nullptr : nod);
    if (registerFid) {
        std::unique_ptr<CSystemFidFile> fresh(NewFileFid(m_Engine));
        if (!PlaceName(m_Engine, fresh.get(), name, folder))
            return 0;
        m_LoadMode = mode;
        if (CSystemFid* old = nod->GetFid()) {
            CClassicWideString oldName, newName;
            FullNameOf(old, oldName);
            fresh->GetFullFileName(newName);
            if (oldName.CompareNoCase(newName) != 0 || !PathsNameOneEntry(oldName, newName)) {
                CSystemEngine::DetachNodAndFid(nod, old);
                ClassicLogFormatLine("Saving %s to %s", oldName.GetNarrow().GetText(),
                                     newName.GetNarrow().GetText());
                // An entry of the resource table stays: the table would name a freed file id.
                if (!m_Engine || m_Engine->GetResourceFidOf(old) != old)
                    CSystemEngine::DeleteFid(old);
                m_CurrentFid = fresh.release();
                CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid,
                                                          CSystemParamSet::s_Default);
            } else {
                m_CurrentFid = old;
            }
        } else if (CSystemFid* same = CSystemEngine::FindEqualLeaf(fresh.get())) {
            m_CurrentFid = same;
        } else {
            m_CurrentFid = fresh.release();
            CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid,
                                                      CSystemParamSet::s_Default);
        }
    } else {
        temporary.reset(NewFileFid(m_Engine));
        temporary->SetFileName(name);
        m_CurrentFid = temporary.get();
    }
    const i32 result = checkChanges ? SaveToFileIfChanged(nod) : SaveToFile(nod);
    if (temporary) {
        if (nod->GetFid() == temporary.get())
            CSystemEngine::DetachNodAndFid(nod, temporary.get());
        m_CurrentFid = nullptr;
        lifted.PutBack(nod);
    }
    return result;
}

i32 CSystemArchive::SaveToFile(CMwNod* nod) {
    TakeFormatFromFid();
    CClassicWideString name;
    if (!FullNameOf(m_CurrentFid->GetMasterFid(), name))
        return 0;
    if (!HasZunExtension(name)) {
        if (!nod->IsKindOf(kSystemArchivePlugFileClassId)) {
            ClassicLogFormatLine("Error, zun without good ext : %s", name.GetNarrow().GetText());
            return 0;
        }
        if (!PlugFileServices().SaveToPath(nod, name))
            return 0;
        CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid, CSystemParamSet::s_Default);
        return 1;
    }
    CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid, CSystemParamSet::s_Default);
    // The whole image first: a reference table that fails leaves the file as it was.
    CClassicPooledBuffer image;
    if (!Save(nod, image.Get()) || !WriteFileImage(name, *image.Get())) {
        CSystemEngine::DetachNodAndFid(nod, m_CurrentFid);
        return 0;
    }
    return 1;
}

bool CSystemArchive::WriteFileImage(CClassicWideStringRef name, const CClassicBufferMemory& image) {
    CClassicBufferFile file;
    if (m_NewFileMode >= 0)
        file.SetNewFileMode(u32(m_NewFileMode));
    bool saved = file.Open(name, true, true, true, false) != 0;
    const u32 size = image.GetSize();
    saved = saved && (size == 0 || file.Write(image.GetData(), size) == size);
    saved = file.Close() && saved;
    if (!saved)
        return false;
    m_CurrentFid->m_Flags |= kSystemFidRefreshBits;
    m_CurrentFid->Refresh(nullptr);
    return true;
}

i32 CSystemArchive::SaveToFileIfChanged(CMwNod* nod) {
    TakeFormatFromFid();
    CClassicWideString name;
    if (!FullNameOf(m_CurrentFid->GetMasterFid(), name))
        return 0;
    if (!HasZunExtension(name)) {
        if (!nod->IsKindOf(kSystemArchivePlugFileClassId)) {
            ClassicLogFormatLine("Error, zun without good ext : %s", name.GetNarrow().GetText());
            return 0;
        }
        if (!m_CurrentFid->IsWritable() || !PlugFileServices().SaveToPath(nod, name))
            return 0;
        CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid, CSystemParamSet::s_Default);
        return 1;
    }

    // The image the file would get, references made relative to the file's folder.
    CClassicPooledBuffer image;
    {
        CSystemEngine::DetachNodFromFid(nod);
        CSystemArchive memory;
        memory.SetRefFolder(m_CurrentFid->m_Folder);
        memory.m_FormatFid = m_CurrentFid;
        const i32 saved = memory.SaveToMemory(image.Get(), nod, m_SaveFlags);
        if (m_Engine)
            m_Engine->ReleaseMemoryFid(image.Get());
        if (!saved)
            return 0;
    }
    CSystemEngine::AttachNodToFid(nod, m_CurrentFid);
    u32 isAFile = 0;
    const u32 readOnly = IsFileReadOnly(name, &isAFile);
    if (isAFile && FileEquals(name, *image.Get())) {
        ClassicLogFormatLine("no change detected to %s", name.GetNarrow().GetText());
        return 1;
    }
    if (isAFile && readOnly)
        return 0;
    CSystemEngine::AttachNodToFidWithParamSet(nod, m_CurrentFid, CSystemParamSet::s_Default);
    if (!WriteFileImage(name, *image.Get())) {
        CSystemEngine::DetachNodAndFid(nod, m_CurrentFid);
        return 0;
    }
    return 1;
}

bool CSystemArchive::FileEquals(CClassicWideStringRef path, CClassicBufferMemory& image) {
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false))
        return false;
    const bool equal = file.EqualsMemory(image);
    file.Close();
    return equal;
}

i32 CSystemArchive::SaveToMemory(CClassicBufferMemory* buffer, CMwNod* nod, u32 saveFlags) {
    SetSaveFlags(saveFlags);
    if (!m_Engine || !m_Engine->m_MemoryFids || !buffer || !nod)
        return 0;
    CSystemFidMemory* fid = m_Engine->m_FidFactory->NewMemoryFid();
    fid->m_Buffer = buffer;
    fid->m_Folder = m_Engine->m_MemoryFids;
    if (CSystemEngine::FindEqualLeaf(fid)) {
        fid->m_Folder = nullptr;
        delete fid;
        return 0;
    }
    if (m_FormatFid)
        fid->SetFormat(m_FormatFid->IsText(), m_FormatFid->IsCompressed());
    CSystemEngine::DetachNodFromFid(nod);
    CSystemEngine::AttachNodToFidWithParamSet(nod, fid, CSystemParamSet::s_Default);
    m_CurrentFid = fid;
    TakeFormatFromFid();
    buffer->Clear();
    if (!Save(nod, buffer)) {
        CSystemEngine::DetachNodAndFid(nod, fid);
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Memory images, copies and comparisons

i32 SaveNodToMemoryBuffer(CClassicBufferMemory* buffer, CMwNod* nod, u32 saveFlags) {
    CSystemArchive archive;
    archive.m_MemoryCopy = true;
    CLiftedBinding lifted(nod);
    const i32 result = archive.SaveToMemory(buffer, nod, saveFlags);
    if (CSystemEngine* engine = archive.GetEngine())
        engine->ReleaseMemoryFid(buffer);
    lifted.PutBack(nod);
    return result;
}

namespace {

// LoadNodFromMemoryBuffer, for an image of any origin or for one this engine made.
i32 LoadMemoryImage(CClassicBufferMemory* buffer, CMwNod** nod, bool engineImage) {
    CLiftedBinding lifted(*nod);
    CSystemArchive archive;
    archive.SetLoadMode(kSystemArchiveLoadFull);
    archive.SetEngineImage(engineImage);
    CMwNod* loaded = nullptr;
    archive.LoadFromMemory(buffer, &loaded);
    if (CSystemEngine* engine = archive.GetEngine())
        engine->ReleaseMemoryFid(buffer);
    // A load that failed leaves the file id with the nod it had.
    lifted.PutBack(loaded ? loaded : *nod);
    *nod = loaded;
    return loaded ? 1 : 0;
}

} // namespace

i32 LoadNodFromMemoryBuffer(CClassicBufferMemory* buffer, CMwNod** nod) {
    return LoadMemoryImage(buffer, nod, false);
}

i32 DuplicateNod(CMwNod** nod, bool keepFid) {
    CClassicPooledBuffer buffer;
    CMwCmdBufferCore::Poll(1);
    const i32 saved = SaveNodToMemoryBuffer(buffer.Get(), *nod, kSystemArchiveSaveRelease);
    CMwCmdBufferCore::Poll(1);
    // The image of a failed save is partial: it is not read.
    if (!saved) {
        *nod = nullptr;
        return 0;
    }
    // The copy's references are those of the original, wherever they lie.
    if (keepFid)
        return LoadMemoryImage(buffer.Get(), nod, true);
    CMwNod* copy = nullptr;
    LoadMemoryImage(buffer.Get(), &copy, true);
    *nod = copy;
    return copy ? 1 : 0;
}

i32 CompareNods(CMwNod* a, CMwNod* b, u32* equal) {
    CClassicPooledBuffer first, second;
    const bool saved = SaveNodToMemoryBuffer(first.Get(), a, 0) == 1 &&
                       SaveNodToMemoryBuffer(second.Get(), b, 0) == 1;
    *equal = saved && first->IsSameData(*second.Get()) ? 1 : 0;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The shared loader

MW_DEFINE_CLASS(CSystemDummyFidLoader, MwFactory<CSystemDummyFidLoader>, MW_NO_MEMBERS,
                MW_NO_CHUNKS);

CSystemDummyFidLoader::~CSystemDummyFidLoader() {
    if (s_DummyLoader == this)
        s_DummyLoader = nullptr;
}

CSystemDummyFidLoader* CSystemDummyFidLoader::Get() {
    if (!s_DummyLoader)
        s_DummyLoader = new CSystemDummyFidLoader;
    return s_DummyLoader;
}

i32 CSystemDummyFidLoader::LoadFid(CMwNod** nod, CSystemFid* fid) {
    if (!fid)
        return 0;
    CSystemFid* master = fid->GetMasterFid();
    if (*nod && (*nod)->GetFid() == fid && (*nod)->IsKindOf(kSystemArchivePlugFileClassId) &&
        master->IsKindOf(CSystemFidFile::s_ClassId)) {
        if (CMwNod* loader = master->GetLoader()) {
            CMwNod* same = *nod;
            return loader->LoadFid(&same, master) && same == *nod;
        }
        CClassicWideString name;
        static_cast<CSystemFidFile*>(master)->GetFullFileName(name);
        return PlugFileServices().LoadFromPath(*nod, name) ? 1 : 0;
    }
    CSystemArchive archive;
    archive.SetCurrentFid(master);
    archive.SetLoadMode(kSystemArchiveLoadFull);
    return archive.LoadFromFile(nod, false);
}
