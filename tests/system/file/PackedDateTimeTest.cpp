// The packed date and time: its bit layout, the kept flag bits, its archive form, and the
// calendar fields checked against Python's datetime in UTC and in several time zones.
#include "system/file/PackedDateTime.h"

#include "tests/system/SystemTestSupport.h"
#include "platform/Clock.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The wall clock the tests set.
struct CFakeWallClock {
    static inline i64 s_Now = 0;
    static i64 Read() { return s_Now; }
};

class PackedDateTimeTest : public ::testing::Test {
protected:
    void SetUp() override { platform::SetWallClockSource(&CFakeWallClock::Read); }
    void TearDown() override { platform::SetWallClockSource(nullptr); }
};

constexpr i64 kSecond = 1000000000;

TEST_F(PackedDateTimeTest, FridayTheFifthOfMarch2010) {
    // 2010-03-05 14:05:09.250 UTC
    CFakeWallClock::s_Now = 1267797909 * kSecond + 250 * 1000000 + 999999;
    PackedDateTime value;
    value.m_Word0 = 0xA0000000;
    value.m_Word1 = 0x48000000;
    value.SetFromSystemTime();
    EXPECT_EQ(value.m_Word0, 0xA0000000u | 2010u | 3u << 16 | 5u << 20 | 5u << 23);
    EXPECT_EQ(value.m_Word1, 0x48000000u | 14u | 5u << 5 | 9u << 11 | 250u << 17);
    value.ClearFlagBits();
    EXPECT_EQ(value.m_Word0, 2010u | 3u << 16 | 5u << 20 | 5u << 23);
    EXPECT_EQ(value.m_Word1, 14u | 5u << 5 | 9u << 11 | 250u << 17);
}

TEST_F(PackedDateTimeTest, FieldsAreMaskedToTheirWidths) {
    PackedDateTime value;
    value.m_Word0 = 0xFFFFFFFF;
    value.m_Word1 = 0xFFFFFFFF;
    value.SetFromCivilTime({70000, 17, 9, 40, 33, 70, 65, 1500});
    EXPECT_EQ(value.m_Word0, 0xF0000000u | (70000u & 0xFFFF) | (17u & 0xF) << 16 | (9u & 7) << 20 |
                                 (40u & 0x1F) << 23);
    EXPECT_EQ(value.m_Word1, 0xF8000000u | (33u & 0x1F) | (70u & 0x3F) << 5 | (65u & 0x3F) << 11 |
                                 (1500u & 0x3FF) << 17);
}

TEST_F(PackedDateTimeTest, ArchivedAsEightLittleEndianBytes) {
    PackedDateTime value;
    value.m_Word0 = 0x04030201;
    value.m_Word1 = 0x08070605;
    CClassicArchive writer;
    writer.SetBuffer(new CClassicBufferMemory);
    writer.m_Writing = 1;
    value.Archive(writer);
    auto* memory = static_cast<CClassicBufferMemory*>(writer.GetBuffer());
    ASSERT_EQ(memory->GetSize(), 8u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(memory->GetData()), 8),
              "\x01\x02\x03\x04\x05\x06\x07\x08");
    memory->Rewind();
    CClassicArchive reader;
    reader.SetBuffer(writer.DetachBuffer(true));
    PackedDateTime back;
    back.Archive(reader);
    EXPECT_EQ(back.m_Word0, value.m_Word0);
    EXPECT_EQ(back.m_Word1, value.m_Word1);
}

// Calendar fields of a time, as "year month weekday day hour minute second millisecond".
std::string Fields(const PackedDateTime& value) {
    std::ostringstream out;
    out << (value.m_Word0 & 0xFFFF) << ' ' << (value.m_Word0 >> 16 & 0xF) << ' '
        << (value.m_Word0 >> 20 & 7) << ' ' << (value.m_Word0 >> 23 & 0x1F) << ' '
        << (value.m_Word1 & 0x1F) << ' ' << (value.m_Word1 >> 5 & 0x3F) << ' '
        << (value.m_Word1 >> 11 & 0x3F) << ' ' << (value.m_Word1 >> 17 & 0x3FF);
    return out.str();
}

TEST_F(PackedDateTimeTest, AgreesWithPythonInUtcAndLocalTime) {
    // Around leap days, year ends, daylight-saving changes, before 1970 and past 2038.
    std::vector<i64> times = {0,          951782399,  951782400,  1267797909, 1301187600,
                              1301191200, 1319936400, 1483228799, 1711846800, 1729990800,
                              2147483647, 2147483648, 4102444800, -1,         -86400 * 366};
    for (i64 t = 946684800; times.size() < 60; t += 31536000 / 3 + 86399)
        times.push_back(t);
    CTempFolder folder;
    std::string list;
    for (size_t k = 0; k < times.size(); ++k) {
        const i64 ms = i64(k * 37 % 1000);
        list += std::to_string(times[k] * 1000 + ms) + "\n";
    }
    WriteWholeFile(folder.File("times.txt"), list);
    const char* script = R"(
import datetime, sys
def fields(d):
    return "%d %d %d %d %d %d %d %d" % (d.year, d.month, d.isoweekday() % 7, d.day, d.hour,
                                        d.minute, d.second, d.microsecond // 1000)
local = sys.argv[2] == "local"
for line in open(sys.argv[1]).read().split():
    ms = int(line)
    if local:
        d = datetime.datetime.fromtimestamp(ms // 1000) + datetime.timedelta(milliseconds=ms % 1000)
    else:
        d = datetime.datetime(1970, 1, 1) + datetime.timedelta(milliseconds=ms)
    print(fields(d))
)";
    const char* savedZone = std::getenv("TZ");
    const std::string saved = savedZone ? savedZone : "";
    for (const char* zone : {"UTC", "Europe/Paris", "America/Sao_Paulo", "Australia/Lord_Howe"}) {
        const bool local = std::string(zone) != "UTC";
        setenv("TZ", zone, 1);
        tzset();
        std::istringstream answers(
            RunPython(folder, script, folder.File("times.txt") + (local ? " local" : " utc")));
        for (size_t k = 0; k < times.size(); ++k) {
            CFakeWallClock::s_Now = times[k] * kSecond + i64(k * 37 % 1000) * 1000000;
            PackedDateTime value;
            if (local)
                value.SetFromLocalTime();
            else
                value.SetFromSystemTime();
            std::string expected;
            ASSERT_TRUE(std::getline(answers, expected));
            EXPECT_EQ(Fields(value), expected) << zone << " at " << times[k];
        }
        // The zone is really in force: 2010-03-05 14:05 UTC is another hour there.
        CFakeWallClock::s_Now = 1267797909 * kSecond;
        PackedDateTime value;
        value.SetFromLocalTime();
        EXPECT_EQ((value.m_Word1 & 0x1F) != 14, local) << zone;
    }
    if (savedZone)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

} // namespace
