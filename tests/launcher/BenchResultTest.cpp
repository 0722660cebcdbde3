// The bench dialog's pure parts: the result file's rules, the frame rate's text and the game's
// command lines.
#include "launcher/BenchDlg.h"
#include "launcher/LauncherApp.h"
#include "platform/HostPath.h"
#include "platform/Process.h"
#include "tests/system/SystemTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

SBenchResult Parse(const std::string& bytes) {
    return ParseBenchResult(
        std::span<const u8>(reinterpret_cast<const u8*>(bytes.data()), bytes.size()));
}

// The bytes of a literal, NUL bytes included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

TEST(BenchResult, ParseTable) {
    struct Case {
        const char* Name;
        std::string Bytes;
        f32 Fps;
        bool Filtering;
        bool Antialiasing;
    };
    // A comment line, the marker, and the rate "61.27" starting 2 bytes before byte 4096.
    const std::string cut =
        "// " + std::string(4096 - 2 - 16 - 5, 'x') + "\r\n// Average Fps\r\n61.27\r\n";
    const Case cases[] = {
        {"LF", "// Average Fps\n61.27\n", 61.27f, false, false},
        {"CRLF, a comment before", "// bench\r\n// Average Fps\r\n61.27\r\n", 61.27f, false, false},
        {"marker in upper case, blanks in the number", "// AVERAGE FPS\r\n 6 1.5 \r\n", 61.5f,
         false, false},
        {"empty lines before the rate", "// Average Fps\r\n\r\n\n\r72\r\n", 72, false, false},
        {"marker as the last line", "// Average Fps\r\n", 0, false, false},
        {"marker with a trailing blank", "// Average Fps \r\n61\r\n", 0, false, false},
        {"not a number after the marker", "// Average Fps\r\nfast\r\n", 0, false, false},
        {"not a number keeps the earlier rate", "// Average Fps\r\n30\r\n// Average Fps\r\nx\r\n",
         30, false, false},
        {"two markers: the later rate", "// Average Fps\r\n30\r\n// Average Fps\r\n45.5\r\n", 45.5f,
         false, false},
        {"the rate line is only that", "// Average Fps\r\n// Average Fps\r\n12\r\n", 0, false,
         false},
        {"a warning as the rate line", "// Average Fps\r\n// WARNING driver filter\r\n", 0, false,
         false},
        {"both warnings",
         "// Average Fps\r\n60\r\n// WARNING : Texture filtering forced by driver\r\n"
         "// WARNING : antialiasing forced by driver\r\n",
         60, true, true},
        {"one line for both", "// warning Driver forced FILTERING and ALIASing\n", 0, true, true},
        {"WARNINGS still starts with WARNING", "// WARNINGS driver filter\n", 0, true, false},
        {"no driver, no flag", "// WARNING filter alias\n", 0, false, false},
        {"warning not at the start", " // WARNING driver filter\n", 0, false, false},
        {"driver without the warning", "driver filter alias\n", 0, false, false},
        {"a short line", "// WARN\n", 0, false, false},
        {"NUL bytes are ordinary",
         Bytes("// Average Fps\r\n61\0x\r\n// WARNING\0 driver\0 alias\r\n"), 61, false, true},
        {"NUL inside the marker", Bytes("// Average\0Fps\r\n61\r\n"), 0, false, false},
        {"infinite rates are none", "// Average Fps\r\n1e39\r\n", 0, false, false},
        {"infinity keeps the earlier rate", "// Average Fps\r\n30\r\n// Average Fps\r\ninf\r\n", 30,
         false, false},
        {"negative", "// Average Fps\r\n-5\r\n", -5, false, false},
        {"the caller's cut after \"61\"", cut.substr(0, 4096), 61, false, false},
        {"uncut", cut, 61.27f, false, false},
        {"empty", "", 0, false, false},
        {"only line ends", "\r\n\r\r\n\n", 0, false, false},
        {"no line end after the rate", "// Average Fps\r\n99.95", 99.95f, false, false},
    };
    ASSERT_EQ(cut.substr(4096 - 2, 7), "61.27\r\n");
    for (const Case& c : cases) {
        const SBenchResult result = Parse(c.Bytes);
        EXPECT_EQ(result.Fps, c.Fps) << c.Name;
        EXPECT_EQ(result.FilteringForced, c.Filtering) << c.Name;
        EXPECT_EQ(result.AntialiasingForced, c.Antialiasing) << c.Name;
    }
}

// The parser reads only the bytes it is given: a line cut by the end of the span is cut.
TEST(BenchResult, ReadsNothingPastTheSpan) {
    const std::string bytes = "// Average Fps\r\n61.27";
    for (size_t size = 0; size <= bytes.size(); ++size) {
        std::vector<u8> exact(bytes.begin(), bytes.begin() + std::ptrdiff_t(size));
        const SBenchResult result = ParseBenchResult(exact);
        EXPECT_TRUE(std::isfinite(result.Fps)) << size;
        if (size == bytes.size()) {
            EXPECT_EQ(result.Fps, 61.27f);
        } else if (size == bytes.size() - 3) {
            EXPECT_EQ(result.Fps, 61.0f);
        }
    }
}

// The output's "%.3g fps" of a rate read from a file, checked against Python's formatting of
// the same 32-bit float.
TEST(BenchResult, RateTextAsPythonFormatsTheFloat) {
    struct Case {
        const char* Line;
        const char* Expected;
    };
    const Case cases[] = {
        {"61.27", "61.3"}, {"60", "60"},      {"1234.5", "1.23e+03"},    {"99.95", "99.9"},
        {"0.5", "0.5"},    {"123.45", "123"}, {"0.0001234", "0.000123"}, {"999.5", "1e+03"},
    };
    CTempFolder folder;
    std::string values;
    std::vector<std::string> ours;
    for (const Case& c : cases) {
        const SBenchResult result = Parse(std::string("// Average Fps\r\n") + c.Line + "\r\n");
        CClassicString text;
        text.Format("%.3g fps", double(result.Fps));
        ours.emplace_back(text.GetText());
        EXPECT_EQ(ours.back(), std::string(c.Expected) + " fps") << c.Line;
        values += std::string(" ") + c.Line;
    }
    const std::string python =
        RunPython(folder,
                  "import struct, sys\n"
                  "for v in sys.argv[1:]:\n"
                  "    f = struct.unpack('f', struct.pack('f', float(v)))[0]\n"
                  "    print('%.3g fps' % f)\n",
                  values);
    std::istringstream lines(python);
    for (const std::string& text : ours) {
        std::string line;
        ASSERT_TRUE(std::getline(lines, line));
        EXPECT_EQ(text, line);
    }
}

class BenchNames : public CSystemFixture {};

// Every construction of the dialog names the preset entries after the presets; the file names
// drop the context and keep the blanks.
TEST_F(BenchNames, CommandLinesOfTheSixEntries) {
    const CBenchDlg dialog;
    const char* const names[kBenchConfigCount] = {
        "|Config|Current",
        "|DisplayPreset|Minimum Quality",
        "|DisplayPreset|Low Quality",
        "|DisplayPreset|Medium Quality",
        "|DisplayPreset|VeryHigh Quality",
        "|Config|Automatic",
    };
    const u32 presets[kBenchConfigCount] = {6, 1, 2, 3, 5, 6};
    const char* const replay[kBenchConfigCount] = {
        "/bench=Bench.Replay.Zun /out=Bench_Current.txt",
        "/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_Minimum Quality.txt",
        "/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_Low Quality.txt",
        "/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_Medium Quality.txt",
        "/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_VeryHigh Quality.txt",
        "/bench=Bench.Replay.Zun /config=Bench.SystemConfig.Zun /out=Bench_Automatic.txt",
    };
    for (u32 i = 0; i < kBenchConfigCount; ++i) {
        EXPECT_STREQ(g_BenchConfigs[i].Name, names[i]) << i;
        EXPECT_EQ(g_BenchConfigs[i].Preset, presets[i]) << i;
        EXPECT_STREQ(BenchCommandLine(i, false).GetText(), replay[i]) << i;
        std::string list = replay[i];
        list.replace(0, std::string("/bench=Bench.Replay.Zun").size(),
                     "/list_benchs=BenchList.txt");
        EXPECT_STREQ(BenchCommandLine(i, true).GetText(), list.c_str()) << i;
    }
    // The game gets each option as one argument, blanks and all.
    CClassicWideString wide;
    wide.AppendNarrow(BenchCommandLine(3, false));
    EXPECT_EQ(
        platform::SplitParameters(std::u16string_view(wide.GetText(), wide.GetLength())),
        (std::vector<std::u16string>{u"/bench=Bench.Replay.Zun", u"/config=Bench.SystemConfig.Zun",
                                     u"/out=Bench_Medium Quality.txt"}));
    // A name without a context is taken whole.
    EXPECT_STREQ(BenchResultFileName({6, "Plain"}).GetText(), "Bench_Plain.txt");
    EXPECT_STREQ(BenchResultFileName({6, "|Open"}).GetText(), "Bench_|Open.txt");
}

} // namespace
