// The header readers: status line, fields, Content-Length, Content-Type and the three date forms
// (Python's email.utils as the oracle for the dates).
#include "net/http/HttpHeaders.h"

#include "NetTestSupport.h"

#include <sstream>
#include <vector>

namespace {

TEST(HttpHeaders, StatusCode) {
    const std::pair<const char*, u32> cases[] = {
        {"HTTP/1.1 200 OK\r\n\r\n", 200},
        {"HTTP/1.0 404 Not Found\r\nContent-Length: 3\r\n\r\n", 404},
        {"HTTP/1.1 206\r\n\r\n", 206},
        {"HTTP/1.1 100 Continue\n\n", 100},
        {"HTTP/1.1 2000 OK\r\n\r\n", 0},
        {"HTTP/1.1 20 OK\r\n\r\n", 0},
        {"HTTP/1.1 2x0 OK\r\n\r\n", 0},
        {"HTTP/1.1\r\n200 OK\r\n\r\n", 0},
        {"", 0},
        {"HTTP/1.1 ", 0},
    };
    for (const auto& [block, code] : cases)
        EXPECT_EQ(HttpHeaderStatusCode(block), code) << block;
}

TEST(HttpHeaders, FieldsAndLengths) {
    const std::string block = "HTTP/1.1 200 OK\r\n"
                              "content-TYPE:  text/html; charset=utf-8 \t\r\n"
                              "X-Empty:\r\n"
                              "Content-Type: second/one\r\n"
                              "Location : not a field name\r\n"
                              "\r\n"
                              "Body-Field: after the end\r\n";
    EXPECT_EQ(HttpHeaderField(block, "Content-Type"), "text/html; charset=utf-8");
    EXPECT_EQ(HttpHeaderField(block, "x-empty"), "");
    EXPECT_FALSE(HttpHeaderField(block, "Location"));
    EXPECT_FALSE(HttpHeaderField(block, "Body-Field"));
    EXPECT_FALSE(HttpHeaderField("Content-Type: x\r\n\r\n", "Content-Type")) << "status line";

    const std::pair<const char*, std::optional<u64>> lengths[] = {
        {"12", 12},
        {" 007 ", 7},
        {"0", 0},
        {"4294967296", 4294967296ull},
        {"18446744073709551615", ~0ull},
        {"99999999999999999999999", ~0ull},
        {"", std::nullopt},
        {"-1", std::nullopt},
        {"+12", std::nullopt},
        {"12a", std::nullopt},
        {"1 2", std::nullopt},
        {"0x10", std::nullopt},
        {"1,2", std::nullopt},
    };
    for (const auto& [value, expected] : lengths) {
        const std::string answer =
            std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + value + "\r\n\r\n";
        EXPECT_EQ(HttpHeaderContentLength(answer), expected) << value;
    }
    EXPECT_FALSE(HttpHeaderContentLength("HTTP/1.1 200 OK\r\n\r\n"));

    // The 64-byte query: a value of 63 bytes fits, one of 64 does not.
    for (u32 n : {0u, 63u, 64u, 200u}) {
        const std::string value(n, 't');
        CClassicString type("kept");
        const bool read =
            HttpHeaderContentType("HTTP/1.1 200 OK\r\nContent-Type: " + value + "\r\n\r\n", type);
        EXPECT_EQ(read, n < 64) << n;
        EXPECT_EQ(std::string(type.GetText()), n < 64 ? value : "kept") << n;
    }
}

// Our reading of a date as "year month day hour minute second weekday", or "None".
std::string Describe(const std::string& text) {
    platform::CivilTime t{};
    if (!HttpParseDate(text, t))
        return "None";
    std::ostringstream out;
    out << t.Year << ' ' << t.Month << ' ' << t.Day << ' ' << t.Hour << ' ' << t.Minute << ' '
        << t.Second << ' ' << t.DayOfWeek;
    return out.str();
}

TEST(HttpHeaders, DatesAgainstPython) {
    const std::vector<std::string> dates = {
        "Sun, 06 Nov 1994 08:49:37 GMT",
        "Sunday, 06-Nov-94 08:49:37 GMT",
        "Sun Nov  6 08:49:37 1994",
        "Thu, 01 Jan 1970 00:00:00 GMT",
        "Thu, 29 Feb 1996 23:59:59 GMT",
        "Tue, 29 Feb 2000 12:00:00 GMT",
        "Fri, 31 Dec 9999 23:59:59 GMT",
        "Mon, 01 Jan 2001 00:00:01 GMT",
        "Wednesday, 31-Dec-69 10:00:00 GMT",
        "Monday, 01-Jan-68 10:00:00 GMT",
        "Saturday, 29-Feb-00 01:02:03 GMT",
        "Mon Jan 31 00:00:00 2000",
        "Wed Dec 31 23:59:59 2025",
        // Dates that do not exist.
        "Mon, 29 Feb 1900 00:00:00 GMT",
        "Mon, 31 Apr 2001 00:00:00 GMT",
        "Mon, 01 Jan 2001 24:00:00 GMT",
        "Mon, 01 Jan 2001 23:60:00 GMT",
        "Mon, 01 Jan 2001 23:59:60 GMT",
        "Mon, 00 Jan 2001 00:00:00 GMT",
    };
    std::string input;
    for (const std::string& date : dates)
        input += date + "\n";
    const std::string script = R"(
import sys
from email.utils import parsedate_to_datetime
for line in sys.stdin.read().splitlines():
    try:
        d = parsedate_to_datetime(line)
        print(d.year, d.month, d.day, d.hour, d.minute, d.second, (d.weekday() + 1) % 7)
    except Exception:
        print("None")
)";
    std::istringstream oracle(RunPython(script, input));
    for (const std::string& date : dates) {
        std::string expected;
        std::getline(oracle, expected);
        EXPECT_EQ(Describe(date), expected) << date;
    }
}

TEST(HttpHeaders, OtherDatesRefused) {
    for (const char* date : {"", "Sun, 06 Nov 1994 08:49:37 PST", "06 Nov 1994 08:49:37 GMT",
                             "Sun, 6 Nov 1994 08:49:37 GMT", "Sun, 06 nov 1994 08:49:37 GMT",
                             "Sun, 06 Nov 1994 08:49:37 GMT extra", "Sun Nov 06 08:49:37 1994 ",
                             "Sunday, 06-Nov-1994 08:49:37 GMT", "Sun, 06 Nov 94 08:49:37 GMT"})
        EXPECT_EQ(Describe(date), "None") << date;
}

TEST(HttpHeaders, LastModifiedKeepsFlagBits) {
    PackedDateTime date;
    date.m_Word0 = 0xA0000000;
    date.m_Word1 = 0x48000000;
    ASSERT_TRUE(HttpHeaderLastModified(
        "HTTP/1.1 200 OK\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n\r\n", date));
    // 1994, November, Sunday (0), the 6th; 08:49:37.000.
    EXPECT_EQ(date.m_Word0, 0xA0000000u | 1994u | (11u << 16) | (0u << 20) | (6u << 23));
    EXPECT_EQ(date.m_Word1, 0x48000000u | 8u | (49u << 5) | (37u << 11));

    PackedDateTime untouched;
    untouched.m_Word0 = 5;
    EXPECT_FALSE(HttpHeaderLastModified("HTTP/1.1 200 OK\r\n\r\n", untouched));
    EXPECT_FALSE(
        HttpHeaderLastModified("HTTP/1.1 200 OK\r\nLast-Modified: soon\r\n\r\n", untouched));
    EXPECT_EQ(untouched.m_Word0, 5u);
}

} // namespace
