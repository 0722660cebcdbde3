// The System engine object: registration, the per-frame work, the class factory, the host lines
// of the log and the program's checksum.
#include "system/engine/SystemEngine.h"

#include "EngineTestSupport.h"
#include "core/base/ClassicHash.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "platform/Clock.h"
#include "platform/Process.h"
#include "system/config/GpuPerf.h"
#include "system/engine/SystemInput.h"
#include "system/fid/SystemFidFactory.h"
#include "system/file/ClassicBufferFile.h"
#include "system/xml/HdrNod.h"
#include "tests/system/fid/FidTestSupport.h"

#include <string>
#include <vector>

namespace {

class SystemEngine : public CSystemFixture {
protected:
    explicit SystemEngine(const CMwClassList* extra = nullptr) : CSystemFixture(extra) {}
};

// The lines the log's file sinks receive while it lives.
using CFileLines = CFileSinkWatch;

// One pass over every bucket of the buffer.
void RunBuffer(CMwCmdBuffer* buffer) {
    for (u32 bucket = 0; bucket < buffer->GetBucketCount(); ++bucket)
        buffer->RunBucket(bucket);
}

TEST_F(SystemEngine, RegisteredLikeStartUp) {
    CMwCmdBufferCore* core = CMwCmdBufferCore::CreateSingleton();
    core->CreateBuffers();
    CMwCmdBuffer* frameBuffer = core->GetBuffer(1);
    {
        CEngineHost host;
        CSystemEngine* engine = &host.Engine();
        ASSERT_NE(engine, nullptr);
        EXPECT_EQ(GetSystemEngine(), engine);
        EXPECT_EQ(g_MwEngineManager->GetEngine(11), engine);
        EXPECT_EQ(engine->m_EngineId, 0x0B000000u);
        EXPECT_EQ(engine->m_NodListCount, 3u);
        EXPECT_NE(engine->m_NodLists, nullptr);
        EXPECT_EQ(engine->GetClassId(), 0x0B000000u);
        for (u32 id : {0x0B000000u, 0x01003000u, 0x01001000u})
            EXPECT_TRUE(engine->IsKindOf(id)) << std::hex << id;
        EXPECT_FALSE(engine->IsKindOf(0x0B007000));
        // A second registration keeps the engine of the slot.
        EXPECT_EQ(SystemRegisterEngine(FakeEngineHost()), engine);
        EXPECT_EQ(g_MwEngineManager->m_Order.m_Count, 1u);

        // The per-frame command sits in buffer 1, and running the buffer runs the frame.
        ASSERT_NE(engine->m_FrameCmd, nullptr);
        EXPECT_TRUE(frameBuffer->m_Cmds.Contains(engine->m_FrameCmd));
        CClassicBufferFile::s_WrittenThisFrame = 1;
        RunBuffer(frameBuffer);
        EXPECT_EQ(engine->m_AnalyzerHasWrittenDuringPreviousFrame, 1u);
        EXPECT_EQ(CClassicBufferFile::s_WrittenThisFrame, 0u);
    }
    // Shut down: no engine in the slot, and the command does not run any more.
    EXPECT_EQ(GetSystemEngine(), nullptr);
    CClassicBufferFile::s_WrittenThisFrame = 1;
    RunBuffer(frameBuffer);
    EXPECT_EQ(CClassicBufferFile::s_WrittenThisFrame, 1u);
    CClassicBufferFile::s_WrittenThisFrame = 0;
    CMwCmdBufferCore::DeleteSingleton();
}

TEST_F(SystemEngine, WithoutManagerNoEngine) {
    EXPECT_EQ(SystemRegisterEngine(FakeEngineHost()), nullptr);
    EXPECT_EQ(GetSystemEngine(), nullptr);
}

// Built from the host given: nothing is measured or probed.
TEST_F(SystemEngine, ConstructionDescribesTheHost) {
    CEngineHost host;
    EXPECT_EQ(std::string(g_HostInfo.OsText.GetText()), "Linux 6.1.0-test (Test Linux 1)");
    EXPECT_EQ(g_HostInfo.PhysicalMemoryMb, 8192u);
    EXPECT_EQ(g_HostInfo.CpuMhz, 2900u);
    EXPECT_EQ(g_GpuInfo.VendorId, 0x10DEu);
    EXPECT_EQ(g_GpuInfo.DesktopWidth, 1280u);
    CSystemEngine& engine = host.Engine();
    EXPECT_EQ(engine.m_BlockSize, 5u);
    EXPECT_EQ(engine.m_KeepFolderTotals, 1u);
    EXPECT_EQ(engine.m_AnalyzerHasReadDuringPreviousFrame, 0u);
    ASSERT_NE(engine.m_FidFactory, nullptr);
    EXPECT_EQ(Narrow(engine.m_FidFactory->m_DataPath), "C:\\Game\\GameData\\Dummy");
    ASSERT_NE(engine.m_MemoryFids, nullptr);
    EXPECT_EQ(engine.m_MemoryFids->GetClassId(), CSystemFids::s_ClassId);
    EXPECT_EQ(engine.m_LocalDrive, nullptr);
}

TEST_F(SystemEngine, Members) {
    struct Row {
        u32 Id;
        const char* Name;
        const char* Label;
        u32 TypeCode;
        u32 Flags;
    };
    const Row rows[] = {
        {0x0B000000, "SynchUpdate", "Synch update", MwType_Action, 0x02},
        {0x0B000001, "m_BlockSize", "Block size", MwType_NaturalRange, 0x03},
        {0x0B000002, "AnalyzerHasReadDuringPreviousFrame", "AnalyzerHasReadDuringPreviousFrame",
         MwType_Bool, 0x03},
        {0x0B000003, "AnalyzerHasWrittenDuringPreviousFrame",
         "AnalyzerHasWrittenDuringPreviousFrame", MwType_Bool, 0x03},
    };
    const CMwClassInfo& info = CSystemEngine::s_ClassInfo;
    ASSERT_EQ(info.m_MemberCount, 4u);
    for (u32 i = 0; i < 4; ++i) {
        const CMwMemberInfo& member = *info.m_MemberInfos[i];
        EXPECT_EQ(member.MemberId, rows[i].Id);
        EXPECT_STREQ(member.Name, rows[i].Name);
        EXPECT_STREQ(member.Label, rows[i].Label);
        EXPECT_EQ(member.TypeCode, rows[i].TypeCode) << rows[i].Name;
        EXPECT_EQ(member.Flags, rows[i].Flags) << rows[i].Name;
    }
    const auto& range = static_cast<const CMwMemberInfoNaturalRange&>(*info.m_MemberInfos[1]);
    EXPECT_EQ(range.Min, 1u);
    EXPECT_EQ(range.Max, 500u);

    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    EXPECT_EQ(engine.MemberCount(), 5u);
    u32 value = 0;
    EXPECT_EQ(ReadWord(engine, "m_BlockSize", &value), 0u);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(WriteMember(engine, "m_BlockSize", u32(40)), 0u);
    EXPECT_EQ(engine.m_BlockSize, 40u);
    // The action runs a frame.
    CClassicBufferFile::s_ReadThisFrame = 1;
    CClassicBufferFile::s_WrittenThisFrame = 0;
    EXPECT_EQ(WriteMember(engine, "SynchUpdate", u32(0)), 0u);
    EXPECT_EQ(ReadBool(engine, "AnalyzerHasReadDuringPreviousFrame", &value), 0u);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(CClassicBufferFile::s_ReadThisFrame, 0u);
}

// After a frame in which a file was read and none written the flags say so; the next frame
// without file traffic clears both.
TEST_F(SystemEngine, AnalyzerFlagsFollowTheFileTraffic) {
    CTempFolder temp;
    WriteWholeFile(temp.File("a.txt"), "hello");
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    engine.OnFrame();
    {
        CClassicBufferFile file;
        ASSERT_EQ(file.Open(temp.Engine("a.txt"), false, false, false, false), 1u);
        char bytes[5];
        EXPECT_EQ(file.Read(bytes, 5), 5u);
    }
    engine.OnFrame();
    EXPECT_EQ(engine.m_AnalyzerHasReadDuringPreviousFrame, 1u);
    EXPECT_EQ(engine.m_AnalyzerHasWrittenDuringPreviousFrame, 0u);
    engine.OnFrame();
    EXPECT_EQ(engine.m_AnalyzerHasReadDuringPreviousFrame, 0u);
    EXPECT_EQ(engine.m_AnalyzerHasWrittenDuringPreviousFrame, 0u);
}

// An input nod that writes its name when it is updated, and may add another nod to a list.
class CRecordingInput : public CNodSystem {
public:
    CRecordingInput(std::vector<std::string>* log, std::string name)
        : m_Log(log), m_Name(std::move(name)) {}
    void Update() override {
        m_Log->push_back(m_Name);
        if (m_Adds) {
            m_Adds->AddRef();
            m_AddTo->Add(m_Adds);
            m_Adds = nullptr;
        }
    }

    std::vector<std::string>* m_Log;
    std::string m_Name;
    CMwNod* m_Adds = nullptr;
    CFastBuffer<CMwNod*>* m_AddTo = nullptr;
};

TEST_F(SystemEngine, FrameUpdatesTheListsInOrder) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    std::vector<std::string> log;
    auto add = [&](u32 list, CMwNod* nod) {
        nod->AddRef();
        engine.m_NodLists[list].Add(nod);
    };
    add(0, new CRecordingInput(&log, "list 0"));
    add(0, new CMwNod); // not an input nod: passed over
    add(1, new CRecordingInput(&log, "list 1"));
    auto* adder = new CRecordingInput(&log, "list 2");
    adder->m_Adds = new CRecordingInput(&log, "added to list 2");
    adder->m_AddTo = &engine.m_NodLists[2];
    add(2, adder);
    // A real keyboard with its record.
    SSystemKeyboardState keys;
    keys.IsDown[kSystemKeyEnter] = 1;
    auto* keyboard = new CSystemKeyboard;
    keyboard->m_Source = &keys;
    add(0, keyboard);

    engine.OnFrame();
    EXPECT_EQ(log, (std::vector<std::string>{"list 1", "list 0", "list 2", "added to list 2"}));
    EXPECT_EQ(keyboard->m_IsStrokeVkEnter, 1u);
    engine.OnFrame();
    EXPECT_EQ(keyboard->m_IsStrokeVkEnter, 0u);
    // The lists are released at shutdown.
}

// Stand-ins of the classes other libraries register under the System engine's ids.
#define SYSTEM_STAND_IN(Class, Id)                                                                 \
    class Class : public CMwNod {                                                                  \
        MW_DECLARE_CLASS(Class, CMwNod, Id)                                                        \
    };                                                                                             \
    MW_DEFINE_CLASS(Class, MwFactory<Class>, MW_NO_MEMBERS, MW_NO_CHUNKS);
SYSTEM_STAND_IN(CLoadNodStandIn, 0x0B00D000)
SYSTEM_STAND_IN(CDuplicateNodStandIn, 0x0B00F000)
SYSTEM_STAND_IN(CExecStandIn, 0x0B010000)
SYSTEM_STAND_IN(CAssertStandIn, 0x0B011000)
SYSTEM_STAND_IN(CPackManagerStandIn, 0x0B014000)
SYSTEM_STAND_IN(CPackDescStandIn, 0x0B015000)
#undef SYSTEM_STAND_IN

constinit CMwClassInfo* const s_StandIns[] = {
    &CLoadNodStandIn::s_ClassInfo,     &CDuplicateNodStandIn::s_ClassInfo,
    &CExecStandIn::s_ClassInfo,        &CAssertStandIn::s_ClassInfo,
    &CPackManagerStandIn::s_ClassInfo, &CPackDescStandIn::s_ClassInfo,
};
constinit const CMwClassList s_StandInList = {s_StandIns, 6};

class SystemEngineFactory : public SystemEngine {
protected:
    SystemEngineFactory() : SystemEngine(&s_StandInList) {}
};

TEST_F(SystemEngineFactory, CreatesTheSystemClassesByClassId) {
    CEngineHost host;
    CSystemEngine& engine = host.Engine();
    struct Case {
        u32 Id;
        bool Made;
    };
    const Case cases[] = {
        {0x0B001000, true},
        {0x0B002000, true},
        {0x0B003000, true},
        {0x0B005000, true},
        {0x0B007000, true},
        {0x0B008000, true},
        {0x0B009000, true},
        {0x0B00A000, true},
        {0x0B00B000, true},
        {0x0B00C000, true},
        {0x0B00D000, true},
        {0x0B00E000, true},
        {0x0B00F000, true},
        {0x0B010000, true},
        {0x0B011000, true},
        {0x0B013000, true},
        {0x0B016000, true},
        // The engine itself, the shared loader and the pack classes have records with factories,
        // but the engine does not make them; nor ids without a class.
        {0x0B000000, false},
        {0x0B012000, false},
        {0x0B014000, false},
        {0x0B015000, false},
        {0x0B004000, false},
        {0x0B017000, false},
        {0x0B001001, false},
        {0x01001000, false},
    };
    for (const Case& c : cases) {
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        CMwNod* nod = engine.CreateByClassId(c.Id, &out, 0);
        EXPECT_EQ(out, nod) << std::hex << c.Id;
        EXPECT_EQ(nod != nullptr, c.Made) << std::hex << c.Id;
        if (!nod)
            continue;
        EXPECT_EQ(nod->GetClassId(), c.Id);
        EXPECT_EQ(nod->GetRefCount(), 0);
        delete nod;
    }
    // The memory file id comes as the memory kind.
    CMwNod* memory = engine.CreateByClassId(0x0B00E000, nullptr, 0);
    EXPECT_EQ(static_cast<CSystemFidMemory*>(memory)->m_RefFlags, 8u);
    EXPECT_EQ(static_cast<CSystemFidMemory*>(memory)->m_Buffer, nullptr);
    delete memory;
}

// Without the script library's records, the script commands cannot be made.
TEST_F(SystemEngine, ScriptCommandsNeedTheirLibrary) {
    CEngineHost host;
    for (u32 id : {0x0B00D000u, 0x0B00F000u, 0x0B010000u, 0x0B011000u}) {
        CMwNod* out = reinterpret_cast<CMwNod*>(1);
        EXPECT_EQ(host.Engine().CreateByClassId(id, &out, 0), nullptr) << std::hex << id;
        EXPECT_EQ(out, nullptr);
    }
}

// The five host lines reach the file sinks, in order, with the integers grouped.
TEST_F(SystemEngine, HostLinesOfTheLog) {
    CFileLines files;
    CKnownExeChecksum checksum(0x00C0FFEE);
    CEngineHost host;
    EXPECT_EQ(files.Text(), "[Sys] Os = Linux 6.1.0-test (Test Linux 1)\r\n"
                            "[Sys] Cpu = Test Processor at ~ 2 900 MHz\r\n"
                            "[Sys] Physical memory = 8 192 Mb\r\n"
                            "[Sys] Windows GDI resolution = 1 280x1 024x32b\r\n"
                            "[Sys] ExeChecksum = 0x00C0FFEE\r\n");
}

// Without a secondary sink no host line is written, while the first checksum still writes its
// time; a second checksum neither reads the file nor logs.
TEST_F(SystemEngine, NoSecondarySinkNoHostLines) {
    std::ostream* secondary = g_ClassicLog.m_SecondarySink;
    g_ClassicLog.m_SecondarySink = nullptr;
    CFileLines files;
    CKnownExeChecksum unknown(0);
    {
        CConfigRecords records;
        CLogWatch log;
        CSystemEngine engine(FakeEngineHost());
        EXPECT_EQ(files.Text(), "");
        EXPECT_EQ(log.Since(), "");
        const u32 first = ComputeExeChecksum();
        EXPECT_NE(first, 0u);
        EXPECT_EQ(log.Since().rfind("Crc Time = ", 0), 0u) << log.Since();
        CLogWatch second;
        EXPECT_EQ(ComputeExeChecksum(), first);
        EXPECT_EQ(second.Since(), "");
    }
    g_ClassicLog.m_SecondarySink = secondary;
}

// The checksum is zlib's CRC-32 of the program file, as Python's zlib module computes it.
TEST_F(SystemEngine, ExeChecksumIsTheCrcOfTheProgramFile) {
    CKnownExeChecksum unknown(0);
    CTempFolder temp;
    const std::string program = platform::GetExecutablePath();
    ASSERT_FALSE(program.empty());
    const std::string python = RunPython(
        temp, "import sys, zlib\nprint('%08X' % zlib.crc32(open(sys.argv[1], 'rb').read()))\n",
        "'" + program + "'");
    char ours[16];
    std::snprintf(ours, sizeof ours, "%08X\n", ComputeExeChecksum());
    EXPECT_EQ(python, ours);
    EXPECT_EQ(g_SystemExeChecksum, ComputeExeChecksum());
}

i64 s_Now = 0;
i64 SteppingCounter() {
    const i64 now = s_Now;
    s_Now += 1500000000; // 1.5 s per reading
    return now;
}

TEST_F(SystemEngine, FileChecksumAndItsTime) {
    CTempFolder temp;
    const std::string bytes = "123456789" + std::string(200000, 'x');
    WriteWholeFile(temp.File("data.bin"), bytes);
    platform::SetCounterSource(&SteppingCounter);
    CLogWatch log;
    EXPECT_EQ(ComputeFileChecksum(temp.Engine("data.bin")),
              ClassicCrc32(bytes.data(), u32(bytes.size())));
    EXPECT_EQ(log.Since(), "Crc Time = 1 500\r\n");
    // A file that cannot be read: all bits set, and the time all the same.
    CLogWatch missing;
    EXPECT_EQ(ComputeFileChecksum(temp.Engine("missing.bin")), 0xFFFFFFFFu);
    EXPECT_EQ(ComputeFileChecksum(temp.Engine("")), 0xFFFFFFFFu);
    EXPECT_EQ(missing.Since(), "Crc Time = 1 500\r\nCrc Time = 1 500\r\n");
    platform::SetCounterSource(nullptr);
    EXPECT_EQ(ComputeFileChecksum(temp.Engine("empty.bin")), 0xFFFFFFFFu);
    WriteWholeFile(temp.File("empty.bin"), "");
    EXPECT_EQ(ComputeFileChecksum(temp.Engine("empty.bin")), 0u);
}

// The GPU table and the texts of XML headers are found in the registered engine's data folder.
TEST_F(SystemEngine, GpuTableAndHeadersInTheDataFolder) {
    CTempFolder temp;
    std::filesystem::create_directories(temp.File("GameData"));
    WriteWholeFile(temp.File("GameData/GfxDevicePerfs.txt"),
                   "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 "
                   "PArith20\r\n10DE 42 1 2 3 4 5 6 7 8 9\r\n");
    GpuInfo gpu;
    gpu.VendorId = 0x10DE;
    gpu.DeviceId = 0x42;
    gpu.PixelShaderClass = 2;
    GpuPerf perf;
    EXPECT_FALSE(ReadGpuPerfTable(u"", gpu, perf)); // no engine, no data folder
    EXPECT_EQ(HdrDataFolder(), nullptr);
    {
        CClassicWideString current = temp.Engine();
        StripTrailingSlashes(current);
        CEngineHost host(FakeEngineHost(current));
        ASSERT_NE(host.Engine().GetDataFolder(), nullptr);
        EXPECT_EQ(HdrDataFolder(), host.Engine().GetDataFolder());
        EXPECT_TRUE(ReadGpuPerfTable(u"", gpu, perf));
        EXPECT_EQ(perf.Geom, 1.0f);
        EXPECT_EQ(perf.PArith20, 9.0f);
    }
    perf = GpuPerf();
    EXPECT_FALSE(ReadGpuPerfTable(u"", gpu, perf));
    EXPECT_EQ(HdrDataFolder(), nullptr);
}

} // namespace
