#pragma once
// Packs: files that other files are found in. A pack is a zip container used as a folder or a
// single file; its descriptor (CSystemPackDesc) names it, says where it is downloaded from and
// when it was last used. The pack manager (CSystemPackManager, one per process, made by the
// System engine's registration) keeps the descriptors, resolves the names that parameter sets
// substitute for referenced files into file ids, and remembers the requesters that were given a
// stand-in file while their pack was missing.
//
// The Net engine's file transfer is the only code that makes descriptors, adds them to the
// manager (AddPackDesc), installs the manager's callbacks, sets its pack folder and calls the
// descriptor operations; without it every resolution runs with no descriptor and no callback,
// which looks a name up by its base name in the data folder.
//
// A locator file is a companion named after a file X with ".loc" appended; it holds the address
// X can be downloaded from.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"
#include "system/file/PackedDateTime.h"

class CSystemFid;
class CSystemFids;
class CSystemPackManager;

// The class of zip containers used as folders (a Plug class).
inline constexpr u32 kPlugFileZipClassId = 0x09084000;

class CSystemPackDesc : public CMwNod {
    MW_DECLARE_CLASS(CSystemPackDesc, CMwNod, 0x0B015000)
public:
    static constexpr u32 s_ChecksumMemberId = 0x0B015001;
    static constexpr u32 s_FileNameMemberId = 0x0B015002;
    static constexpr u32 s_SizeMemberId = 0x0B015003;
    static constexpr u32 s_LocatorFileNameMemberId = 0x0B015004;
    // The state of a pack being transferred.
    static constexpr u32 s_StateTransferring = 1;

    // No file, no folder, not present, nothing pending, the date zero. Made by the Net engine
    // only: no class factory creates descriptors.
    CSystemPackDesc() = default;
    CSystemPackDesc(const CSystemPackDesc&) = delete;
    CSystemPackDesc& operator=(const CSystemPackDesc&) = delete;
    // Lets the zip go (uninstalling its file ids) and stops depending on its file ids.
    ~CSystemPackDesc() override;

    // The pack's file id or its locator file id destroyed: forgotten (with the zip held for it).
    void OnDependencyDestroyed(CMwNod* nod) override;
    // File ids belong to their folders: one reaching count 0 is not let go from here.
    void OnDependencyReleased(CMwNod* nod) override;
    // Checksum (narrow), FileName (the pack file's full name), Size (the byte size in decimal)
    // and LocatorFileName (the locator file's full name); empty texts without a file.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    // Binds the pack to its file (null unbinds). The same file changes nothing. Otherwise the
    // zip held is let go (uninstalled, unless keepZipFolder: then only its reference is given
    // back) and the descriptor stops depending on the old file id. A new file id is refreshed
    // from disk (its five low flag bits set first) and gives the byte size and the folder; the
    // pack lies in the pack folder when the manager's pack folder holds a file id equal to it.
    void SetFid(CSystemFid* fid, u32 keepZipFolder);
    // The date of last use := now, in UTC; the manager notes that a date changed.
    void TouchDate();
    // Whether a nod loaded from the pack is alive: false at once when the pack's file id and its
    // aliases hold no nod (the zip is not loaded for that); otherwise a zip pack is in use when
    // one of the file ids below its folder holds a nod, a single-file pack when its file id
    // does (the date is touched then); a pack with neither is in use while a pending request
    // names it.
    bool IsInUse();
    // The transfer working on the pack, or null (not a reference).
    void SetPendingTransfer(CMwNod* transfer) { m_PendingTransfer = transfer; }
    // The locator file id (null clears); the descriptor depends on it.
    void SetLocatorFid(CSystemFid* fid);

    // Where the pack's files are: without a file id nothing; a zip pack gives its folder (the
    // zip is loaded once, through the shared loader, and its file ids installed beside the pack
    // file) and a single-file pack its file id. A zip that cannot be loaded gives nothing.
    void GetZipFolder(CSystemFids** folder, CSystemFid** fid);
    // Uninstalls the zip's file ids and gives its reference back; nothing without a zip.
    void ReleaseZip();

    // The last use, in UTC.
    PackedDateTime m_Date;
    CClassicWideString m_Name;
    // The download address.
    CClassicString m_Url;
    // Kept for the member Checksum; the Net engine fills it.
    CClassicString m_Checksum;
    // Copied from the pack's file id.
    u64 m_ByteSize = 0;
    // s_StateTransferring while the pack is transferred; the requester callback runs only then.
    u32 m_State = 0;
    // The pack's file, or null; the descriptor is a dependant of it.
    CSystemFid* m_Fid = nullptr;
    // The pack file's folder.
    CSystemFids* m_Folder = nullptr;
    CSystemFid* m_LocatorFid = nullptr;
    // Whether a pack with neither folder nor file can be fetched.
    u32 m_Downloadable = 0;
    u32 m_AutoUpdate = 0;
    // Whether the pack's file id lies in the pack manager's pack folder.
    u32 m_InPackFolder = 0;
    // With the manager's bypass switch: resolution ignores the pack's files.
    u32 m_Bypass = 0;
    // 1 once the pack's file is on disk.
    u32 m_Present = 0;
    CMwNod* m_PendingTransfer = nullptr;
    // The loaded zip container, one reference held.
    CMwNod* m_ZipFolderNod = nullptr;
};

// One request for a file that was answered with a stand-in: kind 1 when the file given was found
// outside the pack, 0 when it was the caller's fallback.
struct SSystemPackPending {
    CSystemPackDesc* m_Desc = nullptr;
    CClassicString m_Name;
    u32 m_ClassId = 0;
    CSystemFid* m_Fid = nullptr;
    CMwNod* m_Requester = nullptr;
    u32 m_Kind = 0;
};

class CSystemPackManager : public CMwNod {
    MW_DECLARE_CLASS(CSystemPackManager, CMwNod, 0x0B014000)
public:
    using DescCallback = void (*)(CSystemPackDesc* desc);
    using PackNeededCallback = void (*)(CSystemPackDesc* desc, CSystemFid* fid);
    using RequesterCallback = void (*)(CMwNod* object, CSystemPackDesc* desc, CMwNod* requester);

    // Every list empty, every callback null, waiting for packs.
    CSystemPackManager() = default;
    CSystemPackManager(const CSystemPackManager&) = delete;
    CSystemPackManager& operator=(const CSystemPackManager&) = delete;
    // Clears the pending requests, then the descriptors (with their callbacks).
    ~CSystemPackManager() override;

    // A requester destroyed: its first pending request goes. A requester released to 0: its
    // first pending request goes and the manager stops depending on it once (one record per
    // notification). Other nods: the base behaviour.
    void OnDependencyDestroyed(CMwNod* nod) override;
    void OnDependencyReleased(CMwNod* nod) override;

    // The first descriptor whose file id is fid; null for null or none.
    CSystemPackDesc* GetPackDescOfFid(CSystemFid* fid);
    // Whether a pending request names the descriptor.
    bool IsPackDescPending(CSystemPackDesc* desc);
    // Writes the bytes to path through a temporary file that replaces it when everything was
    // written. False when the file cannot be opened, a write fails or the replacement fails;
    // the file on disk is then as it was.
    static bool WriteBufferToFile(CClassicStringRef text, CClassicWideStringRef path);

    // The file called name (its base name, content a kind of classId): in the pack's folder or
    // file, or in the data folder without a descriptor. *missing says whether the file counts as
    // missing; inside a pack that is awaited (insidePack, waiting for packs, not present) nothing
    // is found and nothing is missing.
    CSystemFid* LookUp(CSystemPackDesc* desc, CClassicStringRef name, u32 classId, u32* missing,
                       u32 insidePack);
    // The file that a substitution names: found in the pack; else found again without waiting
    // for the pack and given to a requester with a pending request (kind 1); else the fallback,
    // with a pending request of kind 0 when the file was not counted missing in the pack. The
    // callbacks hear of packs to fetch and of requesters of packs being transferred. Virtual so
    // that tests of the reference resolution can stand in for the manager.
    virtual CSystemFid* ResolveFid(CSystemPackDesc* desc, CClassicStringRef name, u32 classId,
                                   CSystemFid* fallbackFid, CMwNod* requester);
    // Drops the requester's first pending request (the last one takes its place), telling the
    // pending-removed callback; false when it has none.
    bool RemovePendingOf(CMwNod* requester);
    // From the last pending request to the first: the manager stops depending on the requester,
    // the pending-removed callback hears of it, the record goes.
    void ClearPending();
    // For each descriptor in order: the release callback, then its reference given back.
    void ClearPackDescs();

    // The Net engine's side.
    // Adds the descriptor with one reference, unless it is listed.
    void AddPackDesc(CSystemPackDesc* desc);
    // The folder packs are stored in (not a reference), or null.
    void SetPackFolder(CSystemFids* folder) { m_PackFolder = folder; }
    CSystemFids* GetPackFolder() const { return m_PackFolder; }
    const CFastBuffer<CSystemPackDesc*>& GetPackDescs() const { return m_Descs; }
    const CFastBuffer<SSystemPackPending>& GetPending() const { return m_Pending; }

    // With a descriptor's bypass flag: resolution gives the fallback.
    u32 m_Bypass = 0;
    DescCallback m_DescReleaseCallback = nullptr;
    DescCallback m_PendingRemovedCallback = nullptr;
    PackNeededCallback m_PackNeededCallback = nullptr;
    RequesterCallback m_RequesterCallback = nullptr;
    CMwNod* m_RequesterCallbackObject = nullptr;
    // A file of the pack folder that the Net engine's cache cleaner spares.
    CClassicWideString m_FileName;
    // Set whenever a descriptor's date changes.
    u32 m_Changed = 0;
    // While set, a file asked for inside a pack that is not present is neither found nor missing.
    u32 m_WaitForPacks = 1;

private:
    void AddPending(CSystemPackDesc* desc, CClassicStringRef name, u32 classId, CSystemFid* fid,
                    CMwNod* requester, u32 kind);

    CFastBuffer<SSystemPackPending> m_Pending;
    CFastBuffer<CSystemPackDesc*> m_Descs;
    CSystemFids* m_PackFolder = nullptr;
};

// The one pack manager, made when the System engine is registered and deleted when it shuts
// down; null before and after.
extern CSystemPackManager* g_SystemPackManager;

// The date as the decimal number year * 10^13 + month * 10^11 + day * 10^9 + hour * 10^7 +
// minute * 10^5 + second * 10^3 + millisecond (the day of the week and the flag bits left out).
u64 PackDateKey(const PackedDateTime& date);
// Sort order of descriptors by date, oldest first: -1 when a is older, 1 when newer, 0 equal.
i32 ComparePackDescDates(const CSystemPackDesc* a, const CSystemPackDesc* b);
// True when the id is 0.
bool IsZeroId(u32 id);
