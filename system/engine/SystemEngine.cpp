#include "system/engine/SystemEngine.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "core/nod/MwCmd.h"
#include "platform/Clock.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "system/archive/SystemArchive.h"
#include "system/archive/SystemRefResolve.h"
#include "system/config/GpuInfo.h"
#include "system/config/HostInfo.h"
#include "system/engine/SystemInput.h"
#include "system/fid/SystemFid.h"
#include "system/fid/SystemFidFactory.h"
#include "system/fid/SystemFidLinks.h"
#include "system/fid/SystemFids.h"
#include "system/fid/SystemPack.h"
#include "system/fid/SystemParamSet.h"
#include "system/file/ClassicBufferFile.h"
#include "system/file/FileSystem.h"
#include "system/xml/HdrNod.h"

#include <algorithm>
#include <iterator>
#include <zlib.h>

#define CSYSTEMENGINE_MEMBERS(X)                                                                   \
    X(Action, 0x0B000000, "SynchUpdate", MW_VIRTUAL(""), "Synch update", 0x02, 0x3F80,             \
      &MwThunk<&CSystemEngine::OnFrame>::Call)                                                     \
    X(NaturalRange, 0x0B000001, "m_BlockSize", MW_FIELD(m_BlockSize), "Block size", 0x03, 0x3F80,  \
      1u, 500u)                                                                                    \
    X(Bool, 0x0B000002, "AnalyzerHasReadDuringPreviousFrame",                                      \
      MW_FIELD(m_AnalyzerHasReadDuringPreviousFrame), "AnalyzerHasReadDuringPreviousFrame", 0x03,  \
      0x3F80)                                                                                      \
    X(Bool, 0x0B000003, "AnalyzerHasWrittenDuringPreviousFrame",                                   \
      MW_FIELD(m_AnalyzerHasWrittenDuringPreviousFrame), "AnalyzerHasWrittenDuringPreviousFrame",  \
      0x03, 0x3F80)

MW_DEFINE_CLASS(CSystemEngine, MwFactory<CSystemEngine>, CSYSTEMENGINE_MEMBERS, MW_NO_CHUNKS);

constinit u32 g_SystemExeChecksum = 0;
constinit CClassicString g_SystemVersionText;

namespace {

// The classes the engine makes by class id, sorted.
constexpr u32 kSystemClassIds[] = {
    0x0B001000, // CSystemMouse
    0x0B002000, // CSystemKeyboard
    0x0B003000, // CSystemWindow
    0x0B005000, // CSystemConfig
    0x0B007000, // CNodSystem
    0x0B008000, // CSystemFid
    0x0B009000, // CSystemFids
    0x0B00A000, // CSystemFidFile
    0x0B00B000, // CSystemFidsFolder
    0x0B00C000, // CSystemFidsDrive
    0x0B00D000, // CSystemCmdLoadNod
    0x0B00E000, // CSystemFidMemory
    0x0B00F000, // CSystemCmdDuplicateNod
    0x0B010000, // CSystemCmdExec
    0x0B011000, // CSystemCmdAssert
    0x0B013000, // CSystemConfigDisplay
    0x0B016000, // CSystemFidCache
};
static_assert(std::size(kSystemClassIds) == 17);

// The piece a checksum reads at a time.
constexpr u32 kChecksumPieceSize = 65536;

// The GPU table's data folder: the registered engine's.
bool EngineDataFolderPath(CClassicWideString& fullPath) {
    CSystemEngine* engine = GetSystemEngine();
    CSystemFids* folder = engine ? engine->GetDataFolder() : nullptr;
    if (!folder)
        return false;
    folder->GetFullDirName(fullPath);
    return true;
}

// The header texts' data folder: the registered engine's.
CSystemFids* EngineDataFolder() {
    CSystemEngine* engine = GetSystemEngine();
    return engine ? engine->GetDataFolder() : nullptr;
}

// Puts the process's host sources in place of the given ones for a scope.
class CHostSourcesScope {
public:
    explicit CHostSourcesScope(const SSystemEngineHost& host) : m_Host(host) {
        if (m_Host.HostFacts)
            m_OldFacts = platform::SetHostFactsSource(m_Host.HostFacts);
        if (m_Host.Adapter)
            m_OldAdapter = platform::SetAdapterDescriber(m_Host.Adapter);
    }
    ~CHostSourcesScope() {
        if (m_Host.HostFacts)
            platform::SetHostFactsSource(m_OldFacts);
        if (m_Host.Adapter)
            platform::SetAdapterDescriber(m_OldAdapter);
    }
    CHostSourcesScope(const CHostSourcesScope&) = delete;
    CHostSourcesScope& operator=(const CHostSourcesScope&) = delete;

private:
    const SSystemEngineHost& m_Host;
    platform::HostFactsSource m_OldFacts = nullptr;
    platform::AdapterDescriber m_OldAdapter = nullptr;
};

// Calls the Update of every input nod of the list, reading the count anew before each step.
void UpdateList(CFastBuffer<CMwNod*>& list) {
    for (u32 i = 0; i < list.m_Count; ++i) {
        CMwNod* nod = list.m_Items[i];
        if (nod && nod->IsKindOf(CNodSystem::s_ClassId))
            static_cast<CNodSystem*>(nod)->Update();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction

CSystemEngine::CSystemEngine(const SSystemEngineHost& host) {
    CClassicWideString current = host.CurrentFolder;
    if (current.IsEmpty())
        GetCurrentFolder(current);
    m_FidFactory = new CSystemFidFactory(this, current);
    m_MemoryFids = new CSystemFids;
    {
        const CHostSourcesScope sources(host);
        DetectOsAndCpu();
        ProbeGpu(0);
    }
    LogSystemInfo();
    m_OldGpuPerfSource = SetGpuPerfDataFolderSource(&EngineDataFolderPath);
    m_OldHdrSource = SetHdrDataFolderSource(&EngineDataFolder);
    SetSystemFidLinks(&SystemArchiveFidLinks());
}

CSystemEngine::~CSystemEngine() {
    SetSystemFidLinks(nullptr);
    SetHdrDataFolderSource(m_OldHdrSource);
    SetGpuPerfDataFolderSource(m_OldGpuPerfSource);
    g_ClassicBufferPool.Clear();
    if (m_ResourceTable.m_Count == kSystemResourceCount) {
        delete m_ResourceTable.m_Items[kSystemResourceCount - 1];
        m_ResourceTable.m_Items[kSystemResourceCount - 1] = nullptr;
    }
    delete m_FidFactory;
    m_FidFactory = nullptr;
    // Each root with its whole tree.
    const auto deleteTree = [](auto*& root) {
        if (root) {
            root->Clear();
            delete root;
            root = nullptr;
        }
    };
    deleteTree(m_LocalDrive);
    deleteTree(m_ResourceDrive);
    deleteTree(m_MemoryFids);
    m_ResourceFolder = nullptr;
    ClearParamSetStack();
    m_ResourceTable.SetCount(0);
    if (m_FrameCmd) {
        m_FrameCmd->Uninstall();
        m_FrameCmd->Release();
        m_FrameCmd = nullptr;
    }
}

// ---------------------------------------------------------------------------------------------
// The engine's operations

i32 CSystemEngine::OnRegistered() {
    if (!m_FrameCmd) {
        m_FrameCmd = MwMakeFastCall<&CSystemEngine::OnFrame>(this);
        m_FrameCmd->AddRef();
    }
    m_FrameCmd->SetBuffer(1);
    m_FrameCmd->Install();
    if (!g_SystemPackManager)
        g_SystemPackManager = new CSystemPackManager;
    SystemInstallRefResolution(true);
    return 0;
}

void CSystemEngine::Shutdown() {
    SystemInstallRefResolution(false);
    delete g_SystemPackManager;
    g_SystemPackManager = nullptr;
    if (m_FrameCmd)
        m_FrameCmd->Uninstall();
    CMwEngine::Shutdown();
}

CMwNod* CSystemEngine::CreateByClassId(u32 classId, CMwNod** out, u32) {
    CMwNod* nod = nullptr;
    if (std::binary_search(std::begin(kSystemClassIds), std::end(kSystemClassIds), classId))
        nod = CMwClassRegistry::CreateNodById(classId);
    if (out)
        *out = nod;
    return nod;
}

void CSystemEngine::OnFrame() {
    OnFrameSleep();
    for (u32 list : {1u, 0u, 2u})
        if (list < m_NodListCount && m_NodLists)
            UpdateList(m_NodLists[list]);
    m_AnalyzerHasReadDuringPreviousFrame = CClassicBufferFile::s_ReadThisFrame ? 1 : 0;
    m_AnalyzerHasWrittenDuringPreviousFrame = CClassicBufferFile::s_WrittenThisFrame ? 1 : 0;
    CClassicBufferFile::s_ReadThisFrame = 0;
    CClassicBufferFile::s_WrittenThisFrame = 0;
}

// ---------------------------------------------------------------------------------------------
// Registration

CSystemEngine* GetSystemEngine() {
    if (!g_MwEngineManager)
        return nullptr;
    CMwEngine* engine = g_MwEngineManager->GetEngine(CSystemEngine::s_EngineId >> 24);
    return engine && engine->IsKindOf(CSystemEngine::s_ClassId)
               ? static_cast<CSystemEngine*>(engine)
               : nullptr;
}

CSystemEngine* SystemRegisterEngine(const SSystemEngineHost& host) {
    if (!g_MwEngineManager)
        return nullptr;
    const u32 number = CSystemEngine::s_EngineId >> 24;
    if (CMwEngine* engine = g_MwEngineManager->GetEngine(number))
        return engine->IsKindOf(CSystemEngine::s_ClassId) ? static_cast<CSystemEngine*>(engine)
                                                          : nullptr;
    auto* engine = new CSystemEngine(host);
    engine->m_EngineId = CSystemEngine::s_EngineId;
    engine->CreateNodLists();
    g_MwEngineManager->AddEngine(CSystemEngine::s_EngineId, engine);
    return engine;
}

// ---------------------------------------------------------------------------------------------
// The host description in the log, and the program's checksum

void LogSystemInfo() {
    if (!g_ClassicLog.m_SecondarySink)
        return;
    g_ClassicLogLine.Assign("[Sys] Os = ");
    ClassicLogAppendText(g_ClassicLogLine, g_HostInfo.OsText).Append("\r\n");
    ClassicLogWriteLineToFiles();
    g_ClassicLogLine.Assign("[Sys] Cpu = ");
    ClassicLogAppendText(g_ClassicLogLine, g_HostInfo.CpuText).Append("\r\n");
    ClassicLogWriteLineToFiles();
    g_ClassicLogLine.Assign("[Sys] Physical memory = ");
    g_ClassicLogLine.AppendInt(i32(g_HostInfo.PhysicalMemoryMb)).Append(" Mb\r\n");
    ClassicLogWriteLineToFiles();
    g_ClassicLogLine.Assign("[Sys] Windows GDI resolution = ");
    g_ClassicLogLine.AppendInt(i32(g_GpuInfo.DesktopWidth))
        .Append("x")
        .AppendInt(i32(g_GpuInfo.DesktopHeight))
        .Append("x")
        .AppendSignedInt(i32(g_GpuInfo.DesktopBytesPerPixel) * 8)
        .Append("b\r\n");
    ClassicLogWriteLineToFiles();
    // Computed first: its own log line is composed in the same string.
    const u32 checksum = ComputeExeChecksum();
    g_ClassicLogLine.Assign("[Sys] ExeChecksum = ");
    g_ClassicLogLine.AppendHex(checksum).Append("\r\n");
    ClassicLogWriteLineToFiles();
}

u32 ComputeFileChecksum(CClassicWideStringRef path) {
    const i64 start = platform::CounterNow();
    u32 checksum = 0xFFFFFFFF;
    CClassicBufferFile file;
    if (file.Open(path, false, false, false, false)) {
        // Piece by piece: the same CRC as over one buffer of the file's size, without holding
        // the whole file.
        CFastArray<u8> piece;
        piece.SetCount(kChecksumPieceSize);
        uLong crc = crc32(0, Z_NULL, 0);
        for (u32 got; (got = file.Read(piece.m_Items, kChecksumPieceSize)) > 0;)
            crc = crc32(crc, piece.m_Items, got);
        file.Close();
        checksum = u32(crc);
    }
    const i64 ms = (platform::CounterNow() - start) / (platform::CounterFrequency() / 1000);
    g_ClassicLogLine.Assign("Crc Time = ");
    g_ClassicLogLine.AppendInt(i32(std::clamp<i64>(ms, 0, 0x7FFFFFFF))).Append("\r\n");
    ClassicLogWriteLine();
    return checksum;
}

u32 ComputeExeChecksum() {
    if (g_SystemExeChecksum)
        return g_SystemExeChecksum;
    const std::string host = platform::GetExecutablePath();
    const std::u16string path = host.empty() ? std::u16string() : platform::FromHostPath(host);
    g_SystemExeChecksum = ComputeFileChecksum(CClassicWideStringRef(path.data(), u32(path.size())));
    return g_SystemExeChecksum;
}
