// Fuzzes the texts the launcher composes at start-up from stored values and the argument rule of
// the game's command line.
//
// The input up to its first line end is a registry version, the next line a language code; the
// whole input is also a "PatchAvailable" value and, widened one character per byte as the
// launcher widens it, the parameters of a game start.
#include "FuzzCheck.h"
#include "core/base/ClassicString.h"
#include "launcher/LauncherText.h"
#include "platform/Process.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void CheckTitle(std::string_view version, std::string_view language) {
    const CClassicStringRef versionRef(version.data(), u32(version.size()));
    const CClassicStringRef languageRef(language.data(), u32(language.size()));
    const CClassicString stripped = StripLauncherVersion(versionRef);
    FUZZ_CHECK(stripped.GetLength() <= version.size() &&
               stripped.GetLength() % 2 == version.size() % 2);
    FUZZ_CHECK(stripped.GetLength() < 2 || stripped[0] != '0' || stripped[1] != '.');
    const CClassicWideString title = LauncherTitle(versionRef, languageRef);
    const u32 expected =
        8 + (version.empty() ? 0 : 1 + stripped.GetLength()) + 1 + u32(language.size());
    FUZZ_CHECK(title.GetLength() == expected);
}

void CheckReminder(const char* data, size_t size) {
    CClassicString kilobytes;
    if (!PatchReminderKilobytes(CClassicStringRef(data, u32(size)), kilobytes))
        return;
    // At most "2 097 152": digits and single blanks between groups of three.
    FUZZ_CHECK(kilobytes.GetLength() >= 1 && kilobytes.GetLength() <= 9);
    for (u32 i = 0; i < kilobytes.GetLength(); ++i) {
        const bool blank = (kilobytes.GetLength() - i) % 4 == 0;
        FUZZ_CHECK(blank ? kilobytes[i] == ' ' : kilobytes[i] >= '0' && kilobytes[i] <= '9');
    }
    FUZZ_CHECK(kilobytes[0] != '0');
}

void CheckArguments(const char* data, size_t size) {
    std::u16string parameters;
    for (size_t i = 0; i < size; ++i)
        parameters += char16_t(u8(data[i]));
    const std::vector<std::u16string> pieces = platform::SplitParameters(parameters);
    size_t cuts = 0;
    size_t total = 0;
    for (size_t at = parameters.find(u" /"); at != std::u16string::npos;
         at = parameters.find(u" /", at + 1))
        ++cuts;
    FUZZ_CHECK(pieces.size() <= cuts + 1);
    for (const std::u16string& piece : pieces) {
        FUZZ_CHECK(!piece.empty());
        total += piece.size();
    }
    FUZZ_CHECK(total <= parameters.size());
    // Nothing dropped: the pieces joined with blanks are the text again.
    if (pieces.size() == cuts + 1) {
        std::u16string joined;
        for (size_t i = 0; i < pieces.size(); ++i)
            joined += (i ? u" " : u"") + pieces[i];
        FUZZ_CHECK(joined == parameters);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* bytes, size_t size) {
    const char* data = reinterpret_cast<const char*>(bytes);
    const std::string_view text(data, size);
    const size_t firstEnd = std::min(text.find('\n'), text.size());
    const std::string_view rest = text.substr(std::min(firstEnd + 1, text.size()));
    CheckTitle(text.substr(0, firstEnd), rest.substr(0, std::min(rest.find('\n'), rest.size())));
    CheckReminder(data, size);
    CheckArguments(data, size);
    return 0;
}
