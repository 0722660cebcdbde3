// Fuzzes the bench result file's parser: any bytes give a finite rate (or none) and two flags,
// the same as a plain reading of the rules that splits the lines one byte at a time. The parser
// is given exactly the input's bytes, so a read past them is caught by the sanitizer.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "launcher/BenchDlg.h"

#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    return out;
}

SBenchResult Plain(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start)
                lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    SBenchResult result;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string lower = Lower(lines[i]);
        if (lower == "// average fps") {
            if (i + 1 < lines.size()) {
                f32 fps = 0;
                const CClassicString rate(
                    CClassicStringRef(lines[i + 1].data(), u32(lines[i + 1].size())));
                if (rate.ParseFloat(fps) && std::isfinite(fps))
                    result.Fps = fps;
            }
            ++i;
        } else if (lower.starts_with("// warning") && lower.find("driver") != std::string::npos) {
            result.FilteringForced |= lower.find("filter") != std::string::npos;
            result.AntialiasingForced |= lower.find("alias") != std::string::npos;
        }
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* bytes, size_t size) {
    const SBenchResult result = ParseBenchResult(std::span<const u8>(bytes, size));
    FUZZ_CHECK(std::isfinite(result.Fps));
    const SBenchResult plain = Plain(std::string_view(reinterpret_cast<const char*>(bytes), size));
    FUZZ_CHECK(result.Fps == plain.Fps);
    FUZZ_CHECK(result.FilteringForced == plain.FilteringForced);
    FUZZ_CHECK(result.AntialiasingForced == plain.AntialiasingForced);
    // The caller's cut: the first 4096 bytes parse as well.
    if (size > kBenchResultReadLimit)
        FUZZ_CHECK(
            std::isfinite(ParseBenchResult(std::span<const u8>(bytes, kBenchResultReadLimit)).Fps));
    return 0;
}
