#include "net/http/HttpHeaders.h"

#include <array>

namespace {

constexpr char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

// The line starting at `at`, without its line end; `at` moves past the line end.
std::string_view NextLine(std::string_view block, size_t& at) {
    const size_t end = block.find('\n', at);
    const size_t stop = end == std::string_view::npos ? block.size() : end;
    std::string_view line = block.substr(at, stop - at);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    at = end == std::string_view::npos ? block.size() : end + 1;
    return line;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads exactly `count` digits.
bool ReadDigits(std::string_view& text, u32 count, u32& value) {
    if (text.size() < count)
        return false;
    value = 0;
    for (u32 i = 0; i < count; ++i) {
        if (!IsDigit(text[i]))
            return false;
        value = value * 10 + u32(text[i] - '0');
    }
    text.remove_prefix(count);
    return true;
}

bool Expect(std::string_view& text, std::string_view what) {
    if (text.substr(0, what.size()) != what)
        return false;
    text.remove_prefix(what.size());
    return true;
}

constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kLongDays = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};

bool ReadMonth(std::string_view& text, u32& month) {
    for (u32 m = 0; m < kMonths.size(); ++m) {
        if (text.substr(0, 3) == kMonths[m]) {
            text.remove_prefix(3);
            month = m + 1;
            return true;
        }
    }
    return false;
}

template <size_t N>
bool ReadName(std::string_view& text, const std::array<std::string_view, N>& names) {
    for (std::string_view name : names)
        if (Expect(text, name))
            return true;
    return false;
}

// "08:49:37"
bool ReadTime(std::string_view& text, platform::CivilTime& t) {
    return ReadDigits(text, 2, t.Hour) && Expect(text, ":") && ReadDigits(text, 2, t.Minute) &&
           Expect(text, ":") && ReadDigits(text, 2, t.Second);
}

bool IsLeapYear(u32 year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

u32 DaysInMonth(u32 year, u32 month) {
    constexpr u32 kDaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDaysIn[month - 1];
}

// 0 = Sunday (Sakamoto's method).
u32 DayOfWeek(u32 year, u32 month, u32 day) {
    constexpr u32 kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3)
        year -= 1;
    return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

bool Finish(platform::CivilTime& t, u32 year) {
    if (year < 1 || year > 9999 || t.Month < 1 || t.Month > 12 || t.Day < 1 ||
        t.Day > DaysInMonth(year, t.Month) || t.Hour > 23 || t.Minute > 59 || t.Second > 59)
        return false;
    t.Year = i32(year);
    t.DayOfWeek = DayOfWeek(year, t.Month, t.Day);
    t.Millisecond = 0;
    return true;
}

// "Sun, 06 Nov 1994 08:49:37 GMT"
bool ReadImfDate(std::string_view text, platform::CivilTime& t) {
    u32 year = 0;
    return ReadName(text, kDays) && Expect(text, ", ") && ReadDigits(text, 2, t.Day) &&
           Expect(text, " ") && ReadMonth(text, t.Month) && Expect(text, " ") &&
           ReadDigits(text, 4, year) && Expect(text, " ") && ReadTime(text, t) &&
           Expect(text, " GMT") && text.empty() && Finish(t, year);
}

// "Sunday, 06-Nov-94 08:49:37 GMT"
bool ReadRfc850Date(std::string_view text, platform::CivilTime& t) {
    u32 year = 0;
    if (!(ReadName(text, kLongDays) && Expect(text, ", ") && ReadDigits(text, 2, t.Day) &&
          Expect(text, "-") && ReadMonth(text, t.Month) && Expect(text, "-") &&
          ReadDigits(text, 2, year) && Expect(text, " ") && ReadTime(text, t) &&
          Expect(text, " GMT") && text.empty()))
        return false;
    return Finish(t, year + (year >= 69 ? 1900 : 2000));
}

// "Sun Nov  6 08:49:37 1994"
bool ReadAsctimeDate(std::string_view text, platform::CivilTime& t) {
    u32 year = 0;
    if (!(ReadName(text, kDays) && Expect(text, " ") && ReadMonth(text, t.Month) &&
          Expect(text, " ")))
        return false;
    if (text.substr(0, 1) == " ") {
        text.remove_prefix(1);
        if (!ReadDigits(text, 1, t.Day))
            return false;
    } else if (!ReadDigits(text, 2, t.Day)) {
        return false;
    }
    return Expect(text, " ") && ReadTime(text, t) && Expect(text, " ") &&
           ReadDigits(text, 4, year) && text.empty() && Finish(t, year);
}

} // namespace

u32 HttpHeaderStatusCode(std::string_view block) {
    size_t at = 0;
    const std::string_view line = NextLine(block, at);
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos)
        return 0;
    std::string_view rest = line.substr(blank + 1);
    u32 code = 0;
    if (!ReadDigits(rest, 3, code) || (!rest.empty() && rest.front() != ' '))
        return 0;
    return code;
}

std::optional<std::string_view> HttpHeaderField(std::string_view block, std::string_view name) {
    size_t at = 0;
    NextLine(block, at); // the status line
    while (at < block.size()) {
        const std::string_view line = NextLine(block, at);
        if (line.empty())
            break;
        const size_t colon = line.find(':');
        if (colon != std::string_view::npos && EqualNoCase(line.substr(0, colon), name))
            return Trim(line.substr(colon + 1));
    }
    return std::nullopt;
}

std::optional<u64> HttpHeaderContentLength(std::string_view block) {
    const std::optional<std::string_view> value = HttpHeaderField(block, "Content-Length");
    if (!value || value->empty())
        return std::nullopt;
    u64 length = 0;
    for (char c : *value) {
        if (!IsDigit(c))
            return std::nullopt;
        const u64 digit = u64(c - '0');
        length = length > (~u64(0) - digit) / 10 ? ~u64(0) : length * 10 + digit;
    }
    return length;
}

bool HttpHeaderContentType(std::string_view block, CClassicString& out) {
    const std::optional<std::string_view> value = HttpHeaderField(block, "Content-Type");
    if (!value || value->size() >= 64)
        return false;
    out.Assign(CClassicStringRef(value->data(), u32(value->size())));
    return true;
}

bool HttpParseDate(std::string_view text, platform::CivilTime& out) {
    platform::CivilTime t{};
    if (ReadImfDate(text, t) || (t = {}, ReadRfc850Date(text, t)) ||
        (t = {}, ReadAsctimeDate(text, t))) {
        out = t;
        return true;
    }
    return false;
}

bool HttpHeaderLastModified(std::string_view block, PackedDateTime& out) {
    const std::optional<std::string_view> value = HttpHeaderField(block, "Last-Modified");
    platform::CivilTime t{};
    if (!value || !HttpParseDate(*value, t))
        return false;
    out.SetFromCivilTime(t);
    return true;
}
