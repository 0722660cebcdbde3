#include "launcher/LauncherText.h"

#include <algorithm>

namespace {

constexpr const char16_t* kLauncherName = u"Brisalde";

} // namespace

CClassicString StripLauncherVersion(CClassicStringRef version) {
    u32 start = 0;
    while (version.m_Length - start >= 2 && version.m_Text[start] == '0' &&
           version.m_Text[start + 1] == '.')
        start += 2;
    return CClassicString(CClassicStringRef(version.m_Text + start, version.m_Length - start));
}

CClassicWideString LauncherTitle(CClassicStringRef version) {
    CClassicWideString title(kLauncherName);
    if (version.m_Length > 0) {
        title.Append(u" ");
        title.AppendNarrow(StripLauncherVersion(version));
    }
    return title;
}

CClassicWideString LauncherTitle(CClassicStringRef version, CClassicStringRef language) {
    CClassicWideString title = LauncherTitle(version);
    title.Append(u" ");
    title.AppendNarrow(language);
    return title;
}

bool PatchReminderKilobytes(CClassicStringRef value, CClassicString& kilobytes) {
    i32 size = 0;
    if (!CClassicString(value).ParseInteger(size) || size <= 0)
        return false;
    const i64 rounded = (i64(size) + 1023) / 1024;
    kilobytes.SetIntEx(i32(rounded), true, 0, false, false, false);
    return true;
}

u32 ReadLeadingDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    u64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min<u64>(value * 10 + u64(text[i] - '0'), 0xFFFFFFFFull);
    return u32(value);
}
