// Fuzzes the GPU performance table reader.
//
// The first four bytes are the adapter's vendor and device ids (little-endian 16-bit words); the
// rest is the table. It is read twice: from its text (header check, then the rows) and from a
// file through ReadGpuPerfTable. Checked: nothing crashes, both roads give the same answer and
// the same record, a refused header leaves the record untouched, and past the header the answer
// is the found bit, bits 1 and 2 are cleared and the higher ones kept, and a read that finds
// nothing leaves every score as it was (a damaged row never leaves part of its scores in the
// record).
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "platform/Endian.h"
#include "platform/HostPath.h"
#include "system/config/GpuPerf.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

GpuPerf Marked() {
    GpuPerf perf;
    f32* scores[] = {&perf.Geom,   &perf.PArith11, &perf.PArith20, &perf.PTexD11, &perf.Aniso1,
                     &perf.Aniso2, &perf.Aniso4,   &perf.Aniso8,   &perf.Aniso16};
    for (u32 i = 0; i < 9; ++i)
        *scores[i] = -1.0f - f32(i);
    perf.Flags = 0xF0 | kGpuPerfFound | 0x6;
    return perf;
}

bool SameRecord(const GpuPerf& a, const GpuPerf& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The table file of this process, written anew for every input.
struct CTableFile {
    CTableFile() {
        const std::filesystem::path folder =
            std::filesystem::temp_directory_path() / ("gpuperf-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        Host = (folder / "GfxDevicePerfs.txt").string();
        const std::u16string engine = platform::FromHostPath(Host);
        Engine = CClassicWideString(CClassicWideStringRef(engine.data(), u32(engine.size())));
    }
    ~CTableFile() {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(Host).parent_path(), ignored);
    }
    void Write(const u8* bytes, size_t size) const {
        FILE* file = std::fopen(Host.c_str(), "wb");
        FUZZ_CHECK(file != nullptr);
        FUZZ_CHECK(std::fwrite(bytes, 1, size, file) == size);
        FUZZ_CHECK(std::fclose(file) == 0);
    }

    std::string Host;
    CClassicWideString Engine;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    if (size < 4 || size > kGfxDevicePerfsMaxSize)
        return 0;
    g_ClassicLog.m_SuspendCount = 1;
    static const CTableFile s_File;

    GpuInfo gpu;
    gpu.VendorId = platform::LoadU16Le(data);
    gpu.DeviceId = platform::LoadU16Le(data + 2);
    gpu.PixelShaderClass = 3;
    const u8* table = data + 4;
    const size_t tableSize = size - 4;
    s_File.Write(table, tableSize);

    GpuPerf fromFile = Marked();
    const bool fileFound = ReadGpuPerfTable(s_File.Engine, gpu, fromFile);
    if (gpu.VendorId == 0 || gpu.DeviceId == 0) {
        FUZZ_CHECK(!fileFound && SameRecord(fromFile, Marked()));
        return 0;
    }

    const CClassicString text(
        CClassicStringRef(reinterpret_cast<const char*>(table), u32(tableSize)));
    CClassicTokenizer lines("\r\n", true);
    GpuPerf fromText = Marked();
    bool textFound = false;
    if (CheckGfxDevicePerfsHeader(text, lines, s_File.Engine)) {
        textFound = ReadGpuPerfRows(text, lines, s_File.Engine, gpu, fromText);
        FUZZ_CHECK(textFound == fromText.IsFound());
        FUZZ_CHECK((fromText.Flags & ~kGpuPerfReadClears) ==
                   (Marked().Flags & ~kGpuPerfReadClears));
        FUZZ_CHECK((fromText.Flags & 0x6) == 0);
        if (!textFound) {
            GpuPerf scoresOnly = fromText;
            scoresOnly.Flags = Marked().Flags;
            FUZZ_CHECK(SameRecord(scoresOnly, Marked()));
        }
    } else {
        FUZZ_CHECK(SameRecord(fromText, Marked()));
    }
    // A file too short to be a table cannot pass the header either.
    FUZZ_CHECK(fileFound == textFound);
    FUZZ_CHECK(SameRecord(fromFile, fromText));
    return 0;
}
