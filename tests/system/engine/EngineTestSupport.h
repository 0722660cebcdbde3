#pragma once
// Engines for tests: a host with chosen facts and adapter, so that building an engine neither
// measures the clock nor probes the machine, and an engine manager with the System engine
// registered while it lives.
#include "core/nod/MwEngine.h"
#include "platform/Adapter.h"
#include "platform/HostFacts.h"
#include "system/engine/SystemEngine.h"
#include "system/file/PathHelpers.h"
#include "tests/system/config/ConfigTestSupport.h"

#include <filesystem>
#include <memory>
#include <string>

// A host running "Linux 6.1.0-test" with 8 GB and one processor at 2 900 MHz.
inline void FakeHostFacts(platform::HostFacts& facts) {
    facts = platform::HostFacts();
    facts.SystemName = "Linux";
    facts.SystemRelease = "6.1.0-test";
    facts.DistributionName = "Test Linux 1";
    facts.PhysicalMemory = u64(8) << 30;
    facts.ProcessorCount = 1;
    facts.ActiveProcessorMask = 1;
    facts.ProcessorArchitecture = platform::kProcessorArchitectureIntel;
    facts.CpuVendor = "AuthenticAMD";
    facts.CpuMaxExtendedLeaf = 0x80000004;
    facts.CpuBrand = "Test Processor";
    facts.ReportedMhz = 2900;
}

// An adapter with a 1280 x 1024 desktop in 32 bits.
inline platform::AdapterSource FakeAdapter(platform::Adapter& out, std::string&) {
    out = platform::Adapter();
    out.Present = true;
    out.VendorId = 0x10DE;
    out.DeviceId = 0x0042;
    out.Description = "Test Adapter";
    out.Desktop = {1280, 1024, 60, platform::D3dFormat::X8R8G8B8};
    return platform::AdapterSource::File;
}

// The fake host, with the current folder given (an engine path).
inline SSystemEngineHost
FakeEngineHost(const CClassicWideString& currentFolder = CClassicWideString(u"C:\\Game")) {
    SSystemEngineHost host;
    host.HostFacts = &FakeHostFacts;
    host.Adapter = &FakeAdapter;
    host.CurrentFolder = currentFolder;
    return host;
}

// The program's checksum taken as known (0: not computed), so that engines built in tests do not
// read the program file; put back at the end.
class CKnownExeChecksum {
public:
    explicit CKnownExeChecksum(u32 value) : m_Old(g_SystemExeChecksum) {
        g_SystemExeChecksum = value;
    }
    ~CKnownExeChecksum() { g_SystemExeChecksum = m_Old; }
    CKnownExeChecksum(const CKnownExeChecksum&) = delete;
    CKnownExeChecksum& operator=(const CKnownExeChecksum&) = delete;

private:
    u32 m_Old;
};

// An engine manager with the System engine registered from the host while it lives; the host
// records are put back at the end. A checksum not known yet is taken as 0x12345678.
class CEngineHost {
public:
    explicit CEngineHost(const SSystemEngineHost& host = FakeEngineHost())
        : m_Checksum(g_SystemExeChecksum ? g_SystemExeChecksum : 0x12345678),
          m_Manager(new CMwEngineManager) {
        m_Manager->AddRef();
        m_Engine = SystemRegisterEngine(host);
    }
    ~CEngineHost() {
        if (g_MwEngineManager == m_Manager)
            m_Manager->ShutdownEngines();
        m_Manager->Release();
    }
    CEngineHost(const CEngineHost&) = delete;
    CEngineHost& operator=(const CEngineHost&) = delete;

    CSystemEngine& Engine() { return *m_Engine; }

private:
    CConfigRecords m_Records;
    CKnownExeChecksum m_Checksum;
    CMwEngineManager* m_Manager;
    CSystemEngine* m_Engine = nullptr;
};

// A test fixture (the registry fixture it extends) with an engine whose current folder is a
// temporary install folder holding "GameData", from SetUp to TearDown.
template <class Fixture>
class CInstallFixture : public Fixture {
protected:
    void SetUp() override {
        Fixture::SetUp();
        std::filesystem::create_directories(m_Temp.File("GameData"));
        CClassicWideString current = m_Temp.Engine();
        StripTrailingSlashes(current);
        m_Host = std::make_unique<CEngineHost>(FakeEngineHost(current));
        ASSERT_NE(Engine().GetDataFolder(), nullptr);
    }
    void TearDown() override {
        m_Host.reset();
        Fixture::TearDown();
    }

    CSystemEngine& Engine() { return m_Host->Engine(); }
    // Engine path and host path of a name in the data folder.
    CClassicWideString Name(const std::string& name) const {
        return m_Temp.Engine("GameData/" + name);
    }
    std::string HostFile(const std::string& name) const { return m_Temp.File("GameData/" + name); }

    CTempFolder m_Temp;
    std::unique_ptr<CEngineHost> m_Host;
};
