// Fuzzes the header readers over arbitrary header blocks: every answer lies inside the block,
// Content-Length only ever comes from plain digits, Content-Type stays under 64 bytes, and a date
// that reads is a real date that reads the same once written again in the first form.
#include "FuzzCheck.h"
#include "net/http/HttpHeaders.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool Inside(std::string_view part, std::string_view block) {
    return part.empty() || (part.data() >= block.data() &&
                            part.data() + part.size() <= block.data() + block.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    const std::string copy(reinterpret_cast<const char*>(data), size);
    const std::string_view block(copy);

    const u32 code = HttpHeaderStatusCode(block);
    FUZZ_CHECK(code <= 999);
    for (const char* name : {"Content-Length", "Content-Type", "Last-Modified", "Location", ""}) {
        if (const auto value = HttpHeaderField(block, name))
            FUZZ_CHECK(Inside(*value, block));
    }
    if (const auto length = HttpHeaderContentLength(block)) {
        const auto value = HttpHeaderField(block, "Content-Length");
        FUZZ_CHECK(value && !value->empty());
        for (char c : *value)
            FUZZ_CHECK(c >= '0' && c <= '9');
    }
    CClassicString type("unset");
    if (HttpHeaderContentType(block, type))
        FUZZ_CHECK(type.GetLength() < 64);
    else
        FUZZ_CHECK(std::string(type.GetText()) == "unset");

    platform::CivilTime t{};
    const auto date = HttpHeaderField(block, "Last-Modified");
    if (date && HttpParseDate(*date, t)) {
        FUZZ_CHECK(t.Year >= 1 && t.Year <= 9999 && t.Month >= 1 && t.Month <= 12 && t.Day >= 1 &&
                   t.Day <= 31 && t.Hour <= 23 && t.Minute <= 59 && t.Second <= 59 &&
                   t.DayOfWeek <= 6);
        static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        char again[64];
        std::snprintf(again, sizeof again, "%s, %02u %s %04d %02u:%02u:%02u GMT",
                      kDays[t.DayOfWeek], t.Day, kMonths[t.Month - 1], t.Year, t.Hour, t.Minute,
                      t.Second);
        platform::CivilTime back{};
        FUZZ_CHECK(HttpParseDate(again, back));
        FUZZ_CHECK(back.Year == t.Year && back.Month == t.Month && back.Day == t.Day &&
                   back.Hour == t.Hour && back.Minute == t.Minute && back.Second == t.Second &&
                   back.DayOfWeek == t.DayOfWeek);
        PackedDateTime packed;
        packed.m_Word0 = 0xF0000000;
        packed.m_Word1 = 0xF8000000;
        FUZZ_CHECK(HttpHeaderLastModified(block, packed));
        FUZZ_CHECK((packed.m_Word0 >> 28) == 0xF && (packed.m_Word1 >> 27) == 0x1F);
    }
    return 0;
}
