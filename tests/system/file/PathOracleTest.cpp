// Normalisation and drive splitting checked against Python's ntpath on random paths made of the
// parts where the two sets of rules agree: drives, roots, separators of both kinds and doubled,
// "." and ".." anywhere but at the end. The engine's own rules are left out of the inputs: the
// invalid-character replacement, network starts, and a last component "." or ".." (which the
// engine leaves as it is). Python gives "." for an empty result.
#include "tests/system/SystemTestSupport.h"
#include "system/file/PathHelpers.h"

#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> MakeInputs(u32 count) {
    const char* roots[] = {"", "", "C:\\", "c:/", "\\", "/"};
    const char* names[] = {"a", "Bc", "d1", "..", ".", "x.y", "...", "\xC3\xA9t\xC3\xA9", ".."};
    const char* separators[] = {"\\", "/", "\\\\", "//", "\\/"};
    std::mt19937 random(1234);
    std::vector<std::string> inputs;
    while (inputs.size() < count) {
        std::string path = roots[random() % std::size(roots)];
        const u32 parts = 1 + random() % 6;
        std::string last;
        for (u32 k = 0; k < parts; ++k) {
            if (k != 0)
                path += separators[random() % std::size(separators)];
            last = names[random() % std::size(names)];
            path += last;
        }
        if (last != "." && last != "..")
            inputs.push_back(path);
    }
    return inputs;
}

TEST(PathOracle, NormalisationAndDrivesAgreeWithNtpath) {
    CTempFolder folder;
    const std::vector<std::string> inputs = MakeInputs(3000);
    std::string lines;
    for (const std::string& input : inputs)
        lines += input + "\n";
    WriteWholeFile(folder.File("inputs.txt"), lines);
    const std::string output = RunPython(folder, R"(
import ntpath, sys
with open(sys.argv[1], encoding="utf-8") as f:
    for line in f.read().split("\n")[:-1]:
        sys.stdout.buffer.write((ntpath.normpath(line) + "\t" + ntpath.splitdrive(line)[0] + "\n").encode("utf-8"))
)",
                                         folder.File("inputs.txt"));
    std::istringstream answers(output);
    u32 compared = 0, kept = 0;
    for (const std::string& input : inputs) {
        std::string answer;
        ASSERT_TRUE(std::getline(answers, answer)) << input;
        const size_t tab = answer.find('\t');
        ASSERT_NE(tab, std::string::npos) << answer;
        const std::string normal = answer.substr(0, tab), drive = answer.substr(tab + 1);

        // With the ".." above the start kept, the rules are Python's.
        CClassicWideString path = Wide(input);
        NormalizePathFlags(path, kPathFlagsFile | kPathKeepDotDotAbove);
        const std::string ours = Narrow(path).empty() ? "." : Narrow(path);
        EXPECT_EQ(ours, normal) << input;

        // Without it, wherever Python's answer climbs nowhere above the start.
        if (normal.rfind("..", 0) != 0) {
            path = Wide(input);
            NormalizePathFlags(path, kPathFlagsFile);
            EXPECT_EQ(Narrow(path).empty() ? "." : Narrow(path), normal) << input;
            ++kept;
        }

        CClassicWideString ourDrive;
        GetDriveOfPath(Wide(input), ourDrive);
        EXPECT_EQ(Narrow(ourDrive), drive) << input;
        ++compared;
    }
    EXPECT_EQ(compared, inputs.size());
    EXPECT_GT(kept, inputs.size() / 2);
}

} // namespace
