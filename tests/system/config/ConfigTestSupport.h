#pragma once
// Shared set-up of the configuration tests: the adapter described by a description file, the
// host given chosen memory and clock, a data folder holding a GPU table, and the lines written
// to the log's file sinks (SystemTestSupport.h). Each helper puts the process-wide records back
// when it goes.
#include "platform/HostFacts.h"
#include "system/config/GpuInfo.h"
#include "system/config/GpuPerf.h"
#include "system/config/HostInfo.h"
#include "tests/system/SystemTestSupport.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

// g_GpuInfo, g_GpuPerf and g_HostInfo as a test found them, put back at its end.
class CConfigRecords {
public:
    CConfigRecords() : m_Gpu(g_GpuInfo), m_Perf(g_GpuPerf), m_Host(g_HostInfo) {}
    ~CConfigRecords() {
        g_GpuInfo = m_Gpu;
        g_GpuPerf = m_Perf;
        g_HostInfo = m_Host;
    }
    CConfigRecords(const CConfigRecords&) = delete;
    CConfigRecords& operator=(const CConfigRecords&) = delete;

private:
    GpuInfo m_Gpu;
    GpuPerf m_Perf;
    HostInfo m_Host;
};

// Describes the adapter of a description file into g_GpuInfo (cleared first).
inline void DescribeAdapter(const std::string& description) {
    CTempFolder folder;
    const std::string path = folder.File("GfxAdapter.txt");
    WriteWholeFile(path, description);
    setenv("BRISALDE_ADAPTER_FILE", path.c_str(), 1);
    g_GpuInfo = GpuInfo();
    ProbeGpu(0);
    unsetenv("BRISALDE_ADAPTER_FILE");
}

// Description lines of the pixel-shader classes 0 to 3.
inline std::string ShaderClassLines(u32 shaderClass) {
    switch (shaderClass) {
        case 0:
            return "";
        case 1:
            return "hwtnl = 1\nprojected = 1\n";
        case 2:
            return "hwtnl = 1\nprojected = 1\nps = 1.4\nvs = 1.1\n";
        default:
            return "hwtnl = 1\nprojected = 1\nps = 2.0\nvs = 2.0\n"
                   "rendertargets = G16R16F A16B16G16R16F\n";
    }
}

// Describes the host with the given physical memory and processor clock into g_HostInfo.
inline void DescribeHostWith(u64 memoryBytes, u32 mhz) {
    static u64 s_Memory;
    static u32 s_Mhz;
    s_Memory = memoryBytes;
    s_Mhz = mhz;
    platform::SetHostFactsSource([](platform::HostFacts& facts) {
        facts = platform::HostFacts();
        facts.SystemName = "Linux";
        facts.PhysicalMemory = s_Memory;
        facts.ProcessorCount = 1;
        facts.ReportedMhz = s_Mhz;
    });
    DetectOsAndCpu();
    platform::SetHostFactsSource(nullptr);
}

// A data folder that the GPU table's default path leads to while it lives.
class CDataFolder : public CTempFolder {
public:
    CDataFolder() {
        s_FullPath() = Engine();
        m_Old = SetGpuPerfDataFolderSource([](CClassicWideString& fullPath) {
            fullPath = s_FullPath();
            return true;
        });
    }
    ~CDataFolder() {
        SetGpuPerfDataFolderSource(m_Old);
        s_FullPath() = CClassicWideString();
    }

    // Writes "GfxDevicePerfs.txt" with the version, the column names and the rows (one per
    // string), lines ended by CR LF.
    void WriteTable(const std::vector<std::string>& rows) const {
        std::string text = "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 "
                           "PTexD11 PArith20\r\n";
        for (const std::string& row : rows)
            text += row + "\r\n";
        WriteWholeFile(File("GfxDevicePerfs.txt"), text);
    }

private:
    static CClassicWideString& s_FullPath() {
        static CClassicWideString path;
        return path;
    }
    GpuPerfDataFolderSource m_Old = nullptr;
};
