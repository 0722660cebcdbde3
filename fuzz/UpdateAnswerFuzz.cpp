// Fuzzes the update server's answers as the launcher reads them: the input is the body of the
// check answer and of the location answer. Every field read must come from inside the input,
// and a file name that passes must be one that stays in the download folder.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "launcher/UpdateProtocol.h"

#include <cstdlib>
#include <string_view>

namespace {

bool Inside(std::string_view input, const CClassicString& field) {
    return input.find(std::string_view(field.GetText(), field.GetLength())) !=
           std::string_view::npos;
}

void CheckAnswer(std::string_view input) {
    SUpdateCheckAnswer answer;
    const char* problem = nullptr;
    if (!ParseUpdateCheckAnswer(CClassicStringRef(input.data(), u32(input.size())), answer,
                                problem)) {
        FUZZ_CHECK(problem != nullptr && answer.Size == 0 && answer.SizeToken.IsEmpty());
        return;
    }
    FUZZ_CHECK(answer.Size >= 0 && answer.Size < 0x7FFFFFFF);
    FUZZ_CHECK(!answer.SizeToken.IsEmpty() && Inside(input, answer.SizeToken));
    // One character per byte at most, whichever way the text was decoded.
    FUZZ_CHECK(answer.Text.GetLength() <= input.size());
    CClassicString kilobytes;
    kilobytes.SetIntEx(i32((i64(answer.Size) + 1023) / 1024), true, 0, false, false, false);
    FUZZ_CHECK(kilobytes.GetLength() <= 9);
}

void CheckLocation(std::string_view input) {
    SUpdateLocation location;
    const char* problem = nullptr;
    if (!ParseUpdateLocation(CClassicStringRef(input.data(), u32(input.size())), location,
                             problem)) {
        FUZZ_CHECK(problem != nullptr && location.DownloadId == 0 && location.FileName.IsEmpty());
        return;
    }
    FUZZ_CHECK(location.DownloadId != 0);
    FUZZ_CHECK(Inside(input, location.Host) && Inside(input, location.Path));
    const std::string_view name(location.FileName.GetText(), location.FileName.GetLength());
    const std::string_view path(location.Path.GetText(), location.Path.GetLength());
    FUZZ_CHECK(!name.empty() && name.size() <= kUpdateFileNameLimit && name != "." && name != "..");
    FUZZ_CHECK(path.size() >= name.size() && path.substr(path.size() - name.size()) == name);
    for (const char c : name)
        FUZZ_CHECK(u8(c) >= 0x20 && c != 0x7F &&
                   std::string_view("\\/:*?\"<>|").find(c) == std::string_view::npos);
    FUZZ_CHECK(IsSafeDownloadFileName(CClassicStringRef(name.data(), u32(name.size()))));
    for (const char c : std::string_view(location.Host.GetText(), location.Host.GetLength()))
        FUZZ_CHECK(c != '@' && c != '/' && c != ';' && u8(c) > 0x20);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* bytes, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    CheckAnswer(input);
    CheckLocation(input);
    return 0;
}
