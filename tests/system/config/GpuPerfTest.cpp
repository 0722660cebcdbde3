#include "system/config/GpuPerf.h"

#include "platform/HostPath.h"
#include "platform/Process.h"
#include "tests/support/GameStandin.h"
#include "tests/system/config/ConfigTestSupport.h"

#include <clocale>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const std::string kHeader = "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 "
                            "PTexD11 PArith20\r\n";

// A record no table holds, to tell what a read left untouched.
GpuPerf Marked() {
    GpuPerf perf;
    perf.Geom = -1;
    perf.PArith11 = -2;
    perf.PArith20 = -3;
    perf.PTexD11 = -4;
    perf.Aniso1 = -5;
    perf.Aniso2 = -6;
    perf.Aniso4 = -7;
    perf.Aniso8 = -8;
    perf.Aniso16 = -9;
    perf.Flags = 0xF0 | kGpuPerfFound | 0x6;
    return perf;
}

std::vector<f32> Scores(const GpuPerf& perf) {
    return {perf.Geom,    perf.Aniso1,   perf.Aniso2,  perf.Aniso4,  perf.Aniso8,
            perf.Aniso16, perf.PArith11, perf.PTexD11, perf.PArith20};
}

// An adapter of class 3 with the given ids.
GpuInfo Adapter(u32 vendor, u32 device) {
    GpuInfo gpu;
    gpu.VendorId = vendor;
    gpu.DeviceId = device;
    gpu.PixelShaderClass = 3;
    return gpu;
}

class GpuPerfTable : public ::testing::Test {
protected:
    // Reads the folder's table for the adapter into a marked record.
    bool Read(const std::string& text, const GpuInfo& gpu, GpuPerf& perf) {
        WriteWholeFile(m_Data.File("GfxDevicePerfs.txt"), text);
        perf = Marked();
        return ReadGpuPerfTable(m_Data.Engine("GfxDevicePerfs.txt"), gpu, perf);
    }

    CConfigRecords m_Records;
    CDataFolder m_Data;
};

// A header that is not exactly right refuses the whole table, with a log line, and leaves the
// record as it was. Column names are compared ignoring case.
TEST_F(GpuPerfTable, HeaderChecks) {
    const std::string row = "10DE 0322 1 2 3 4 5 6 7 8 9\r\n";
    struct Case {
        const char* Name;
        std::string Text;
        bool Accepted;
        const char* Logged; // part of the refusal's log line
    };
    const Case cases[] = {
        {"the usual header", kHeader + row, true, nullptr},
        {"names in other cases",
         "1\nVENDOR device geom ANISO1 aniso2 Aniso4 aNISO8 aniso16 parith11 ptexd11 PARITH20\n" +
             row,
         true, nullptr},
        {"tabs, blank lines and extra columns",
         "1\r\n\r\n\n\rVendor\tDevice  Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 "
         "PTexD11 PArith20 Notes\n\n" +
             row,
         true, nullptr},
        // The line tokenizer gives the empty text before a leading line end as line 1.
        {"a leading line end", "\r\n" + kHeader + row, false, "line 1 is not the version 1"},
        {"version 2",
         "2\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20\n" +
             row,
         false, "line 1 is not the version 1"},
        {"no PTexD11",
         "1\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PArith20\n" + row,
         false, "line 2 lacks the column \"PTexD11\" in its place"},
        {"columns swapped",
         "1\nDevice Vendor Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20\n" +
             row,
         false, "line 2 lacks the column \"Vendor\""},
        {"no column line", "1\r\n\r\n", false, "it has no column names"},
        {"a version that is no number", "one\r\n" + kHeader.substr(3) + row, false,
         "line 1 is not the version 1"},
        {"exactly 5 bytes", "1\r\nV\n", false, "line 2 lacks the column \"Vendor\""},
        {"4 bytes", "1\r\nV", false, "it is shorter than 5 bytes"},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        GpuPerf perf;
        EXPECT_EQ(Read(c.Text, Adapter(0x10DE, 0x0322), perf), c.Accepted) << c.Name;
        if (c.Accepted) {
            EXPECT_EQ(Scores(perf), (std::vector<f32>{1, 2, 3, 4, 5, 6, 7, 8, 9})) << c.Name;
            EXPECT_EQ(log.Since(), "") << c.Name;
            continue;
        }
        EXPECT_EQ(Scores(perf), Scores(Marked())) << c.Name;
        EXPECT_EQ(perf.Flags, Marked().Flags) << c.Name;
        EXPECT_NE(log.Since().find("[Sys] GPU table Z:\\"), std::string::npos) << c.Name;
        EXPECT_NE(log.Since().find(c.Logged), std::string::npos) << c.Name << ": " << log.Since();
    }
}

// The file is found by its name ignoring case; a missing file, and an empty path without a data
// folder, fail without a log line.
TEST_F(GpuPerfTable, WhereTheTableIsFound) {
    const GpuInfo gpu = Adapter(0x10DE, 0x0322);
    WriteWholeFile(m_Data.File("gfxdeviceperfs.TXT"), kHeader + "10DE 0322 1 2 3 4 5 6 7 8 9\n");
    GpuPerf perf = Marked();
    {
        CFileSinkWatch files;
        EXPECT_TRUE(ReadGpuPerfTable(u"", gpu, perf));
        // The path as asked for, the folder's spelling from the data folder.
        EXPECT_EQ(files.Text(),
                  "[Sys] GpuPerf found in " + Narrow(m_Data.Engine("GfxDevicePerfs.txt")) + "\r\n");
    }
    EXPECT_EQ(perf.Geom, 1.0f);

    CClassicString text;
    CClassicTokenizer lines("\r\n", true);
    CClassicWideString path;
    EXPECT_TRUE(ReadGfxDevicePerfsHeader(text, lines, path));
    EXPECT_EQ(Narrow(path), Narrow(m_Data.Engine("GfxDevicePerfs.txt")));
    EXPECT_EQ(std::string(lines.m_Token.GetText()).substr(0, 6), "Vendor");

    CLogWatch log;
    perf = Marked();
    EXPECT_FALSE(ReadGpuPerfTable(m_Data.Engine("Other.txt"), gpu, perf));
    const GpuPerfDataFolderSource source = SetGpuPerfDataFolderSource(nullptr);
    path = CClassicWideString();
    EXPECT_FALSE(ReadGfxDevicePerfsHeader(text, lines, path));
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_FALSE(ReadGpuPerfTable(u"", gpu, perf));
    SetGpuPerfDataFolderSource(source);
    EXPECT_EQ(Scores(perf), Scores(Marked()));
    EXPECT_EQ(log.Since(), "");
}

// Rows are searched in their order: rows before the adapter's are passed over, the first row past
// it ends the search. The nine scores land in their fields, whatever the line ends, blanks and
// further tokens.
TEST_F(GpuPerfTable, OrderedSearch) {
    const std::string rows = "1002 4150 9 9 9 9 9 9 9 9 9\r\n"
                             "10DE 0321 8 8 8 8 8 8 8 8 8\n"
                             "\r\n\r\n"
                             "10de 0322\t120.5 11 12 13 14 15 16 17 1.5e2 extra tokens\r\r\n"
                             "10DE 0400 7 7 7 7 7 7 7 7 7\r\n"
                             "8086 2572 6 6 6 6 6 6 6 6 6\r\n";
    GpuPerf perf;
    {
        CFileSinkWatch files;
        EXPECT_TRUE(Read(kHeader + rows, Adapter(0x10DE, 0x0322), perf));
        EXPECT_EQ(files.Text(),
                  "[Sys] GpuPerf found in " + Narrow(m_Data.Engine("GfxDevicePerfs.txt")) + "\r\n");
    }
    EXPECT_EQ(perf.Geom, 120.5f);
    EXPECT_EQ(perf.Aniso1, 11.0f);
    EXPECT_EQ(perf.Aniso2, 12.0f);
    EXPECT_EQ(perf.Aniso4, 13.0f);
    EXPECT_EQ(perf.Aniso8, 14.0f);
    EXPECT_EQ(perf.Aniso16, 15.0f);
    EXPECT_EQ(perf.PArith11, 16.0f);
    EXPECT_EQ(perf.PTexD11, 17.0f);
    EXPECT_EQ(perf.PArith20, 150.0f);
    // Bits 1 and 2 are cleared, the others kept.
    EXPECT_EQ(perf.Flags, 0xF0u | kGpuPerfFound);

    struct Case {
        const char* Name;
        u32 Vendor, Device;
        bool Found;
        f32 Geom;
    };
    const Case cases[] = {
        {"first row", 0x1002, 0x4150, true, 9},
        {"last row", 0x8086, 0x2572, true, 6},
        {"device between two rows", 0x10DE, 0x0323, false, 0},
        {"vendor between two rows", 0x1003, 0x0001, false, 0},
        {"past the last row", 0x8086, 0x2573, false, 0},
        {"before the first row", 0x1002, 0x4149, false, 0},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        CFileSinkWatch files;
        EXPECT_EQ(Read(kHeader + rows, Adapter(c.Vendor, c.Device), perf), c.Found) << c.Name;
        EXPECT_EQ(perf.IsFound(), c.Found) << c.Name;
        EXPECT_EQ(perf.Geom, c.Found ? c.Geom : Marked().Geom) << c.Name;
        EXPECT_EQ(files.Text().empty(), !c.Found) << c.Name;
        EXPECT_EQ(log.Since(), "") << c.Name;
    }

    // A row past the adapter's standing before it ends the search.
    const std::string unordered = "10DE 0400 7 7 7 7 7 7 7 7 7\n"
                                  "10DE 0322 1 2 3 4 5 6 7 8 9\n";
    EXPECT_FALSE(Read(kHeader + unordered, Adapter(0x10DE, 0x0322), perf));
    EXPECT_EQ(perf.Geom, Marked().Geom);
    EXPECT_EQ(perf.Flags, 0xF0u);
}

// A row that does not parse ends the read with a log line; the adapter's row is stored only when
// all nine scores parse, so the record keeps what it held before.
TEST_F(GpuPerfTable, DamagedRows) {
    struct Case {
        const char* Name;
        std::string Rows;
        const char* Logged;
    };
    const Case cases[] = {
        {"fifth score", "10DE 0322 1 2 3 4 x 6 7 8 9", "row 1: Aniso8 does not parse"},
        {"last score missing", "10DE 0322 1 2 3 4 5 6 7 8", "row 1: PArith20 does not parse"},
        {"first score", "10DE 0322 n/a 2 3 4 5 6 7 8 9", "row 1: Geom does not parse"},
        {"vendor id of an earlier row", "1002 4150 1 1 1 1 1 1 1 1 1\nzz 1 1\n",
         "row 2: the vendor id does not parse"},
        {"device id of the adapter's vendor", "10DE 0321 1 1 1 1 1 1 1 1 1\n10DE\n",
         "row 2: the device id does not parse"},
        {"a row led by a blank", "10DE 0321 1 1 1 1 1 1 1 1 1\n 10DE 0322 1 2 3 4 5 6 7 8 9\n",
         "row 2: the vendor id does not parse"},
    };
    for (const Case& c : cases) {
        CLogWatch log;
        CFileSinkWatch files;
        GpuPerf perf;
        EXPECT_FALSE(Read(kHeader + c.Rows + "\n", Adapter(0x10DE, 0x0322), perf)) << c.Name;
        EXPECT_EQ(Scores(perf), Scores(Marked())) << c.Name;
        EXPECT_FALSE(perf.IsFound()) << c.Name;
        EXPECT_NE(log.Since().find(c.Logged), std::string::npos) << c.Name << ": " << log.Since();
        EXPECT_EQ(files.Text(), "") << c.Name;
    }
}

// Without pixel shaders the adapter gets a found record of zeros, table or not; an adapter
// without ids never gets one. Both are decided before any file is looked at.
TEST_F(GpuPerfTable, AdaptersDecidedWithoutTable) {
    m_Data.WriteTable({"0000 0000 1 2 3 4 5 6 7 8 9", "10DE 0322 1 2 3 4 5 6 7 8 9"});
    struct Case {
        const char* Name;
        std::string Description;
        bool Found;
    };
    const Case cases[] = {
        {"class 0", "vendor = 0x10DE\ndevice = 0x0322\n", true},
        {"class 0 of a device without row", "vendor = 0x10DE\ndevice = 0x0999\n", true},
        {"vendor 0", "device = 0x0322\n" + ShaderClassLines(3), false},
        {"device 0", "vendor = 0x10DE\n" + ShaderClassLines(3), false},
        {"class 3", "vendor = 0x10DE\ndevice = 0x0322\n" + ShaderClassLines(3), true},
    };
    for (const Case& c : cases) {
        DescribeAdapter("desktop = 1024x768x32\n" + c.Description);
        g_GpuPerf = Marked();
        EXPECT_EQ(ReadGpuPerfTable(u""), c.Found) << c.Name;
        if (!c.Found) {
            EXPECT_EQ(Scores(g_GpuPerf), Scores(Marked())) << c.Name;
            EXPECT_EQ(g_GpuPerf.Flags, Marked().Flags) << c.Name;
        } else if (g_GpuInfo.PixelShaderClass == 0) {
            EXPECT_EQ(Scores(g_GpuPerf), std::vector<f32>(9, 0.0f)) << c.Name;
            EXPECT_EQ(g_GpuPerf.Flags, 0xF0u | kGpuPerfFound) << c.Name;
        } else {
            EXPECT_EQ(Scores(g_GpuPerf), (std::vector<f32>{1, 2, 3, 4, 5, 6, 7, 8, 9})) << c.Name;
        }
    }
    // Class 0 needs no table at all.
    std::filesystem::remove(m_Data.File("GfxDevicePerfs.txt"));
    DescribeAdapter("vendor = 0x10DE\ndevice = 0x0322\n");
    g_GpuPerf = Marked();
    EXPECT_TRUE(ReadGpuPerfTable(u""));
    EXPECT_EQ(Scores(g_GpuPerf), std::vector<f32>(9, 0.0f));
}

// Numbers are read by the engine's own parsers, whatever the process locale says.
TEST_F(GpuPerfTable, ScoresIgnoreTheLocale) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
    GpuPerf perf;
    const bool found =
        Read(kHeader + "10DE 0322 1.25 2.5d1 3e-1 4 5 6 7 8 9\n", Adapter(0x10DE, 0x0322), perf);
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_TRUE(found);
    EXPECT_EQ(perf.Geom, 1.25f);
    EXPECT_EQ(perf.Aniso1, 25.0f);
    EXPECT_EQ(perf.Aniso2, 0.3f);
}

// A table made by another program: rows of many vendors and devices, sorted as `sort` sorts the
// fixed-width hexadecimal keys, each row found with the scores Python reads from its text.
TEST_F(GpuPerfTable, TableWrittenByAnotherProgram) {
    const std::string table = m_Data.File("GfxDevicePerfs.txt");
    const std::string script = R"(import random, struct, sys
random.seed(7)
keys = sorted({(random.choice([0x1002, 0x10DE, 0x8086, 0x5333]), random.randrange(1, 0x10000))
               for _ in range(400)})
with open(sys.argv[1], 'w', newline='') as table:
    table.write('1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 PArith20\r\n')
    for vendor, device in keys:
        scores = ['%.6g' % random.uniform(0, 2000) for _ in range(9)]
        table.write('%04X %04X %s\r\n' % (vendor, device, ' '.join(scores)))
        bits = [struct.unpack('<I', struct.pack('<f', float(s)))[0] for s in scores]
        print('%d %d %s' % (vendor, device, ' '.join(str(b) for b in bits)))
)";
    const std::string expected = RunPython(m_Data, script, table);
    RunCommand("tail -n +3 " + table + " | LC_ALL=C sort -c");

    std::istringstream lines(expected);
    u32 vendor = 0, device = 0, checked = 0;
    while (lines >> vendor >> device) {
        std::vector<f32> scores(9);
        for (f32& score : scores) {
            u32 bits = 0;
            lines >> bits;
            std::memcpy(&score, &bits, sizeof score);
        }
        GpuPerf perf = Marked();
        ASSERT_TRUE(
            ReadGpuPerfTable(m_Data.Engine("GfxDevicePerfs.txt"), Adapter(vendor, device), perf))
            << std::hex << vendor << " " << device;
        EXPECT_EQ(Scores(perf), scores) << std::hex << vendor << " " << device;
        ++checked;
    }
    EXPECT_GT(checked, 300u);
}

// The row the stand-in game's bench writes is the one the reader finds for the adapter.
TEST(GpuPerfStandin, BenchRowIsFound) {
    CGameInstall install;
    install.SetBehaviour("gpu_vendor = 0x1234\ngpu_device = 0x0042\n");
    platform::Process game;
    ASSERT_EQ(game.Start(install.Game(), {"/bench"}, install.Path().string()), 0);
    EXPECT_EQ(game.Wait(), 0);
    const std::u16string table =
        platform::FromHostPath(install.File("GameData/GfxDevicePerfs.txt"));
    GpuPerf perf = Marked();
    EXPECT_TRUE(ReadGpuPerfTable(CClassicWideString(table.c_str()), Adapter(0x1234, 0x42), perf));
    EXPECT_EQ(Scores(perf), (std::vector<f32>{100, 400, 380, 340, 280, 220, 300, 420, 260}));
    perf = Marked();
    EXPECT_FALSE(ReadGpuPerfTable(CClassicWideString(table.c_str()), Adapter(0x1234, 0x43), perf));
}

} // namespace
