#include "platform/Crt.h"

#include "platform/Endian.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Formatted(platform::FormattedText t) {
    return std::string(t.text, t.length);
}

// A locale with a decimal comma must not change what the engine writes.
class CommaLocale {
public:
    CommaLocale() : m_Old(std::setlocale(LC_ALL, nullptr)) {
        EXPECT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "locales-all missing";
    }
    ~CommaLocale() { std::setlocale(LC_ALL, m_Old.c_str()); }

private:
    std::string m_Old;
};

TEST(Crt, FormatIgnoresTheProcessLocale) {
    CommaLocale comma;
    char check[32];
    std::snprintf(check, sizeof check, "%.1f", 0.5);
    EXPECT_STREQ(check, "0,5"); // the locale is really in force
    EXPECT_EQ(Formatted(platform::Format("%f %g %.3g", 0.5, 1.25, 1e7)), "0.500000 1.25 1e+07");
    char buffer[16];
    EXPECT_EQ(platform::FormatTo(buffer, sizeof buffer, "%.2f", 3.25), 4u);
    EXPECT_STREQ(buffer, "3.25");
}

TEST(Crt, FormatGrowsPastTheStaticBuffer) {
    for (u32 length : {0u, 1u, 1023u, 1024u, 1025u, 5000u}) {
        const std::string text(length, 'x');
        platform::FormattedText t = platform::Format("%s|%d", text.c_str(), 42);
        EXPECT_EQ(Formatted(t), text + "|42") << length;
        EXPECT_EQ(t.text[t.length], 0);
    }
}

TEST(Crt, FormatToTruncatesAndReportsTheWholeLength) {
    char buffer[4];
    EXPECT_EQ(platform::FormatTo(buffer, sizeof buffer, "%s", "abcdef"), 6u);
    EXPECT_STREQ(buffer, "abc");
}

TEST(Crt, RandomFollowsTheLinearCongruentialRecurrence) {
    platform::RandomSetState(1);
    EXPECT_EQ(platform::Random15(), 41u);
    EXPECT_EQ(platform::Random15(), 18467u);
    EXPECT_EQ(platform::Random15(), 6334u);
    EXPECT_EQ(platform::RandomGetState(),
              1u * 214013u * 214013u * 214013u + 2531011u * (214013u * 214013u + 214013u + 1u));
    platform::RandomSetState(0xFFFFFFFF);
    for (int i = 0; i < 1000; ++i)
        EXPECT_LE(platform::Random15(), 0x7FFFu);
}

TEST(Endian, LoadsAndStoresAreLittleEndian) {
    u8 bytes[8];
    platform::StoreU32Le(bytes, 0x11223344);
    EXPECT_EQ(bytes[0], 0x44);
    EXPECT_EQ(bytes[3], 0x11);
    EXPECT_EQ(platform::LoadU32Le(bytes), 0x11223344u);
    platform::StoreU16Le(bytes, 0xBEEF);
    EXPECT_EQ(platform::LoadU16Le(bytes), 0xBEEF);
    platform::StoreU64Le(bytes, 0x0102030405060708ull);
    EXPECT_EQ(bytes[0], 0x08);
    EXPECT_EQ(platform::LoadU64Le(bytes), 0x0102030405060708ull);
    platform::StoreF32Le(bytes, 1.0f);
    EXPECT_EQ(platform::LoadU32Le(bytes), 0x3F800000u);
    EXPECT_EQ(platform::LoadF32Le(bytes), 1.0f);
}

} // namespace
