#pragma once
// CSystemEngine: the engine object of engine 11 ("System"). One instance exists per process,
// registered in the engine manager's slot 11, through which every other part reaches it
// (GetSystemEngine).
//
// Its construction describes the host (HostInfo, GpuInfo) and writes the "[Sys]" lines of the
// log; its registration installs its per-frame command in command buffer 1. It owns the roots of
// the file-id tree: the local drive, the resource drive with the resource table, the root of the
// memory file ids, and the fid factory that makes folders and file ids. Its file-id operations
// (drives, the data folder, resources, binding nods to file ids) are built in
// system/fid/SystemFidFactory.cpp.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwEngine.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "platform/Types.h"
#include "system/config/GpuPerf.h"

class CClassicBufferMemory;
class CMwCmdFastCall;
class CSystemConfig;
class CSystemFid;
class CSystemFidFactory;
class CSystemFids;
class CSystemFidsDrive;
class CSystemParamSet;

// Resource files are named by resource id kSystemResourceIdBase | index into the resource table.
inline constexpr u32 kSystemResourceIdBase = 0x40000000;
inline constexpr u32 kSystemResourceCount = 45;

// What a new engine reads of its host; empty members leave the process's own sources.
struct SSystemEngineHost {
    // The facts the host description is made of (HostInfo).
    platform::HostFactsSource HostFacts = nullptr;
    // The adapter description (GpuInfo).
    platform::AdapterDescriber Adapter = nullptr;
    // The folder the data folder "GameData" and the resource folder "Resource" are found in,
    // an engine path; empty: the current folder.
    CClassicWideString CurrentFolder;
};

class CSystemEngine : public CMwEngine {
    MW_DECLARE_CLASS(CSystemEngine, CMwEngine, 0x0B000000)
public:
    static constexpr u32 s_EngineId = 0x0B000000;
    static constexpr u32 s_BlockSizeMemberId = 0x0B000001;

    // The fid factory (its data and resource paths taken from the current folder now) and the
    // root of the memory file ids; then the host is described (DetectOsAndCpu, ProbeGpu for
    // adapter 0) and logged (LogSystemInfo). The GPU table finds its data folder through the
    // registered engine from now on.
    explicit CSystemEngine(const SSystemEngineHost& host = {});
    // Clears the buffer pool, deletes the resource table's entry kept outside the tree, the fid
    // factory, the whole trees of the local drive, the resource drive and the memory root, and
    // frees the parameter-set stack.
    ~CSystemEngine() override;
    CSystemEngine(const CSystemEngine&) = delete;
    CSystemEngine& operator=(const CSystemEngine&) = delete;

    // Three nod lists, updated every frame in the order 1, 0, 2.
    u32 GetNodListCount() override { return 3; }
    // Installs OnFrame as a fast call in command buffer 1. 0.
    i32 OnRegistered() override;
    // Uninstalls the per-frame command, then releases the nod lists.
    void Shutdown() override;
    // The System classes by class id, through the class registry: the input nods, the file ids
    // and folders, the fid cache, the configuration and its display part, and the four script
    // commands (which answer once the script library has registered them). Every other id gives
    // null (also in *out), among them the engine's own, the shared fid loader and the pack
    // classes.
    CMwNod* CreateByClassId(u32 classId, CMwNod** out, u32 unused) override;

    // The per-frame work (also the action of the member "SynchUpdate"): the file layer's frame
    // sleep, the Update of every input nod of the nod lists 1, 0 and 2 (nods added during the
    // pass are reached; nods of other classes are passed over), then the file layer's
    // read/written flags of the frame become the analyzer members and are cleared.
    void OnFrame();

    // ------------------------------------------------------------------------------------------
    // File ids, drives and resources (SystemFidFactory.cpp)

    // The data folder, "GameData" of the current folder. The first call mounts the local drive,
    // the data folder and the resource drive with the resource table; a refused drive gives
    // null, and the next call tries again.
    CSystemFids* GetDataFolder();
    // The local drive, made for the drive of the path on first use. A path on another drive is
    // refused with the log line "Cannot use two different drives : < %s > and < %s > at the
    // same time": null.
    CSystemFidsDrive* MountLocalDrive(CClassicWideStringRef path);
    // The folder holding the path's last component, made with the folders above it below the
    // local drive; null when the local drive refuses the path.
    CSystemFids* MountDataFolder(CClassicWideStringRef path);
    // Once: a drive of its own for the resource files, the folder holding the path's last
    // component as the resource folder, and the resource table below it.
    void MountResourceDrive(CClassicWideStringRef path);

    // The file id of a resource id, of a resource file id's index, and the nod loaded from it.
    // Only the indices 2 to 43 name a resource file: every other id gives null.
    CSystemFid* GetResourceFid(u32 resourceId);
    CSystemFid* GetResourceFidOf(CSystemFid* fid);
    CMwNod* GetResourceNod(u32 resourceId);

    // The file id of the path, found or made in the tree (the disk is not consulted): below the
    // folder, or from the local drive's root without one. *created, when given, says whether it
    // was made. Null when the local drive refuses the path.
    CSystemFid* GetFileFid(CSystemFids* folder, CClassicWideStringRef path, u32* created);
    // The first leaf of the file id's folder that the file id's equality test accepts.
    static CSystemFid* FindEqualLeaf(CSystemFid* fid);
    // The file id in the tree that stands for the same file as the probe: the resource table's
    // entry for a resource-local file, the equal leaf of its folder for another file, the first
    // leaf that takes itself for equal to the probe for the other kinds.
    CSystemFid* FindFidLike(CSystemFid* fid);
    // The file id of a full path inside the data folder (ignoring case, '/' read as '\'); with
    // addIfOnDisk what exists on disk is added to the tree. Null for a path outside the data
    // folder.
    CSystemFid* FindFidByFullPath(CClassicWideStringRef path, bool addIfOnDisk);

    // Binds the nod to the file id; a file id the nod was bound to before lets it go first.
    static void AttachNodToFid(CMwNod* nod, CSystemFid* fid);
    // Binds the nod to the file id under the set, unless the file id or one of its aliases
    // already holds a nod loaded under a set that suits it: the file id takes a copy of the set
    // and becomes a leaf of its folder when it is not one.
    static void AttachNodToFidWithParamSet(CMwNod* nod, CSystemFid* fid,
                                           const CSystemParamSet& set);
    // Unbinds the two (the file id no longer a dependant of the nod); the nod's own file id.
    static void DetachNodAndFid(CMwNod* nod, CSystemFid* fid);
    static void DetachNodFromFid(CMwNod* nod);
    // Takes the file id out of its folder and unbinds its nod.
    static void RemoveFid(CSystemFid* fid);
    // Removes and deletes the file id's aliases, then the file id itself. Nothing for null.
    static void DeleteFid(CSystemFid* fid);
    // Removes and deletes the memory file id of the buffer, when the memory root has one.
    void ReleaseMemoryFid(CClassicBufferMemory* buffer);

    // ------------------------------------------------------------------------------------------
    // Languages (system/config/SystemTranslation.cpp)
    //
    // Catalogues are the ".mo" files of the data folder's "Translations" folder (the class
    // kTranslationCatalogueClassId), directly in it or in a sub-folder named like a code.

    // The catalogues' names (file names without their last extension, characters of 128 or
    // above as '_'), each once, in listing order. With rescan the folder is read from disk
    // again first. Empty without data folder or "Translations" folder.
    void ListTranslations(CFastBuffer<CClassicString>& list, bool rescan);
    // Loads the catalogue of the code. A null or empty code, "**" and "xx" (any case) unload the
    // catalogue: true. Otherwise, with N the code and L its first two letters, the first of
    // N\N.mo, N.mo, L\N.mo (true when loaded) and L\L.mo, L.mo (false when loaded) found in
    // "Translations" is loaded under the code. When none is there, "en" is loaded instead and the
    // result is false. A code holding anything but ASCII letters, digits, '_', '-' and '@' names
    // no catalogue (it could lead out of the folder): it is logged and counts as not found.
    // Without "Translations", or when the file is refused, no catalogue stays loaded: false.
    bool LoadTranslation(const char* code);
    // Loads one catalogue file under the code: false for a file id that is not a file, or a
    // file that cannot be opened or is refused (its error text logged once).
    bool LoadTranslationFile(CSystemFid* fid, const char* code);
    // LoadTranslation of the configuration's language code; false without a configuration.
    bool LoadConfigTranslation(CSystemConfig* config);
    // The current code ("xx" without a catalogue); valid until the next load.
    const char* GetLanguageCode();

    // The per-frame command, made by OnRegistered (a reference held until the engine goes).
    CMwCmdFastCall* m_FrameCmd = nullptr;
    u32 m_BlockSize = 5;
    // While nonzero, folders keep their size and flag totals up to date. Nothing changes it.
    u32 m_KeepFolderTotals = 1;
    u32 m_AnalyzerHasReadDuringPreviousFrame = 0;
    u32 m_AnalyzerHasWrittenDuringPreviousFrame = 0;
    // kSystemResourceCount entries once mounted: null at 0 and 1, leaves of the resource folder
    // from 2 to 43, and at 44 an empty-named file id outside the tree.
    CFastArray<CSystemFid*> m_ResourceTable;
    CSystemFidsDrive* m_LocalDrive = nullptr;
    CSystemFidsDrive* m_ResourceDrive = nullptr;
    CSystemFids* m_ResourceFolder = nullptr;
    // The root of the memory file ids.
    CSystemFids* m_MemoryFids = nullptr;
    // The local drive's root and a backslash; empty until the drive is mounted.
    CClassicWideString m_LocalDrivePath;
    CSystemFidFactory* m_FidFactory = nullptr;

private:
    // The data folder's "Translations" folder, added to the tree when it exists on disk.
    CSystemFids* GetTranslationsFolder();
    // Makes the 45 entries of the resource table below the resource folder.
    void InitResourceTable();
    // The table's entry for a resource index that names a file, else null.
    CSystemFid* GetResourceEntry(u32 index);

    GpuPerfDataFolderSource m_OldGpuPerfSource = nullptr;
    CSystemFids* (*m_OldHdrSource)() = nullptr;
};

// The System engine of the engine manager's slot 11; null without a manager or before the engine
// is registered.
CSystemEngine* GetSystemEngine();

// Start-up: when the engine manager's slot 11 is empty, makes the engine (described from the
// host's sources as given), lets it create its nod lists and registers it. Returns the engine in
// the slot (null without an engine manager).
CSystemEngine* SystemRegisterEngine(const SSystemEngineHost& host = {});

// The "[Sys]" lines of the host description, with the program's checksum, to the log's
// secondary and file sinks; nothing when the log has no secondary sink.
void LogSystemInfo();

// The CRC-32 of the file (zlib's, initial value 0), read in pieces; 0xFFFFFFFF when it cannot be
// opened. Writes "Crc Time = " and the milliseconds it took to the log.
u32 ComputeFileChecksum(CClassicWideStringRef path);
// The checksum of the program file (the executable this process runs), computed once and kept
// in g_SystemExeChecksum.
u32 ComputeExeChecksum();
// 0 until the program's checksum is computed.
extern u32 g_SystemExeChecksum;

// The version text the Net engine's identification request sends; empty, nothing here sets it.
extern CClassicString g_SystemVersionText;
