// Fuzzes the base name of an import's source and the literal match of game file names against it.
//
// The input's first line is the source path, every further line a file name; bytes become 16-bit
// text as host names do (invalid UTF-8 kept as U+DC80..U+DCFF). Every name answered as a match
// must equal the base or begin with the base and a dot, ignoring ASCII case, and every such name
// must be answered: wildcard characters in the base match only themselves.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "launcher/import/CustomDataDlg.h"
#include "platform/HostPath.h"
#include "system/file/PathHelpers.h"

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

std::u16string Lowered(std::u16string text) {
    for (char16_t& c : text)
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c + (u'a' - u'A'));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* bytes, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(bytes), size);
    const size_t firstEnd = std::min(text.find('\n'), text.size());
    const std::u16string source = platform::HostTextToWide(text.substr(0, firstEnd));
    const CClassicWideString sourceText(CClassicWideStringRef(source.data(), u32(source.size())));
    CClassicWideString base;
    GetBaseNameOfPath(sourceText, base);
    const std::u16string baseText(base.GetText(), base.GetLength());
    // The name up to its first dot: no dot, no folder.
    FUZZ_CHECK(baseText.find_first_of(u"./\\") == std::u16string::npos);
    FUZZ_CHECK(source.find(baseText) != std::u16string::npos);

    const std::u16string lowBase = Lowered(baseText);
    text.remove_prefix(std::min(firstEnd + 1, text.size()));
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        const std::u16string name = platform::HostTextToWide(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        const std::u16string lowName = Lowered(name);
        const bool expected = lowName == lowBase || lowName.starts_with(lowBase + u".");
        const bool answered =
            IsImportBaseMatch(CClassicWideStringRef(name.data(), u32(name.size())), base);
        FUZZ_CHECK(answered == expected);
    }
    return 0;
}
