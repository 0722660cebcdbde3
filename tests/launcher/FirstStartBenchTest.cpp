// The first start's quick bench run on the stand-in game: the GPU table row it writes is what
// the launcher and Python read, and the new configuration follows its scores.
#include "launcher/MainDlg.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <string>
#include <vector>

namespace {

using ui::Exactly;

class FirstStartBench : public CLauncherFixture {};

// Checks the table with Python: the version line, the eleven column names, rows in the order
// sorted() gives by (vendor, device) with no pair twice; prints the row of the pair asked for.
std::string PythonRow(const CTempFolder& folder, const std::string& table, const std::string& ids) {
    return RunPython(
        folder,
        "import sys\n"
        "lines = [l for l in open(sys.argv[1], 'rb').read().decode('ascii')"
        ".replace('\\r', '\\n').split('\\n') if l]\n"
        "assert lines[0] == '1', lines[0]\n"
        "assert lines[1].split() == ['Vendor', 'Device', 'Geom', 'Aniso1', 'Aniso2',"
        " 'Aniso4', 'Aniso8', 'Aniso16', 'PArith11', 'PTexD11', 'PArith20'], lines[1]\n"
        "rows = [l.split() for l in lines[2:]]\n"
        "keys = [(int(r[0], 16), int(r[1], 16)) for r in rows]\n"
        "assert keys == sorted(keys) and len(set(keys)) == len(keys), keys\n"
        "assert all(len(r) == 11 for r in rows)\n"
        "want = tuple(int(x, 16) for x in sys.argv[2].split(':'))\n"
        "print(' '.join(rows[keys.index(want)]))\n",
        table + " " + ids);
}

TEST_F(FirstStartBench, TheRowTheGameWritesDrivesTheNewConfiguration) {
    // Rows on both sides of the adapter's; the game ends with status 3, which changes nothing.
    WriteWholeFile(m_Install.File("GameData/GfxDevicePerfs.txt"),
                   "1\r\nVendor Device Geom Aniso1 Aniso2 Aniso4 Aniso8 Aniso16 PArith11 PTexD11 "
                   "PArith20\r\n10DE 0322 75.5 260 240 200 160 120 150 220 0\r\n"
                   "5A5A 0100 10 1 1 1 1 1 1 1 1\r\n5A5A 0102 20 2 2 2 2 2 2 2 2\r\n");
    m_Install.SetBehaviour("gpu_vendor = 0x5A5A\ngpu_device = 0x0101\n"
                           "scores = 120 400 380 340 280 220 300 420 260\nexit_code = 3\n");
    u32 maxOpponents = 0;
    u32 autoScale = 9;
    Run(ui::Script()
            .Answer(ui::IDOK, Exactly("Brisalde"),
                    Exactly("Your video card performance has not been found.\r\nA quick bench "
                            "will be run."))
            .Expect(
                [&](const ui::View&) {
                    maxOpponents = theApp.m_Config->m_QrMaxOpponents;
                    autoScale = theApp.m_Config->GetActiveDisplay()->m_AutoScale;
                    return true;
                },
                "the new configuration")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(autoScale, 1u);
    EXPECT_EQ(maxOpponents, 16u);
    // The only box was the first; one start with the single argument, in the install folder.
    for (const std::string& line : Lines())
        EXPECT_EQ(line.find("Could not retrieve"), std::string::npos) << line;
    EXPECT_EQ(m_Install.LogLines(),
              (std::vector<std::string>{"start \"" + m_Install.Path().string() + "\" \"/bench\"",
                                        "end 3"}));

    CTempFolder python;
    const std::string table = m_Install.File("GameData/GfxDevicePerfs.txt");
    EXPECT_EQ(PythonRow(python, table, "5A5A:0101"),
              "5A5A 0101 120 400 380 340 280 220 300 420 260\n");
    // A second bench replaces the row.
    m_Install.SetBehaviour("gpu_vendor = 0x5A5A\ngpu_device = 0x0101\n"
                           "scores = 64.5 1 2 3 4 5 6 7 8\n");
    platform::Process game;
    ASSERT_EQ(game.Start(m_Install.Game(), {"/bench"}, m_Install.Path().string()), 0);
    EXPECT_EQ(game.Wait(), 0);
    EXPECT_EQ(PythonRow(python, table, "5A5A:0101"), "5A5A 0101 64.5 1 2 3 4 5 6 7 8\n");
    EXPECT_EQ(PythonRow(python, table, "5A5A:0102"), "5A5A 0102 20 2 2 2 2 2 2 2 2\n");

    // The System engine's reader finds it.
    GpuInfo gpu;
    gpu.VendorId = 0x5A5A;
    gpu.DeviceId = 0x0101;
    gpu.PixelShaderClass = 3; // an adapter of the lowest class needs no row
    GpuPerf perf;
    ASSERT_TRUE(
        ReadGpuPerfTable(CClassicWideString(platform::FromHostPath(table).c_str()), gpu, perf));
    EXPECT_TRUE(perf.IsFound());
    EXPECT_EQ(perf.Geom, 64.5f);
    EXPECT_EQ(perf.PArith20, 8.0f);
}

} // namespace
