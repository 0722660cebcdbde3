#include "launcher/LauncherText.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::u16string Text(const CClassicWideString& text) {
    return std::u16string(text.GetText(), text.GetLength());
}

TEST(LauncherText, Title) {
    struct Case {
        const char* Version; // null: not in the registry (read as empty)
        const char* Language;
        std::u16string Title;
    };
    const Case cases[] = {
        {"0.0.1.0", "en", u"Brisalde 1.0 en"},
        {"", "en", u"Brisalde en"},
        {nullptr, "fr", u"Brisalde fr"},
        // Stripped to nothing: the blank before it stays.
        {"0.", "en", u"Brisalde  en"},
        {"0.0.", "en", u"Brisalde  en"},
        {"0.0", "en", u"Brisalde 0 en"},
        {"1.2.0.0", "en", u"Brisalde 1.2.0.0 en"},
        {"10.0.1", "en", u"Brisalde 10.0.1 en"},
        {"0.10.0.1", "en", u"Brisalde 10.0.1 en"},
        {" 0.1", "en", u"Brisalde  0.1 en"},
        // Characters the registry read replaced stay as they are.
        {"0.1_2\x7F", "en", u"Brisalde 1_2\x7F en"},
        {"2.0", "", u"Brisalde 2.0 "},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Text(LauncherTitle(c.Version, c.Language)), c.Title)
            << (c.Version ? c.Version : "(missing)");
    }
    EXPECT_EQ(Text(LauncherTitle("0.0.1.0")), u"Brisalde 1.0");
    EXPECT_EQ(Text(LauncherTitle("")), u"Brisalde");
    EXPECT_EQ(Text(LauncherTitle("0.")), u"Brisalde ");
}

TEST(LauncherText, PatchReminderKilobytes) {
    struct Case {
        const char* Value;
        bool Shown;
        const char* Kilobytes;
    };
    const Case cases[] = {
        {"1", true, "1"},
        {"1024", true, "1"},
        {"1025", true, "2"},
        {"2000000", true, "1 954"},
        {" 20 00 000\r\n", true, "1 954"},
        {"2147483647", true, "2 097 152"},
        // Past the 32-bit range the parser saturates.
        {"99999999999", true, "2 097 152"},
        {"0", false, ""},
        {"", false, ""},
        {nullptr, false, ""},
        {"abc", false, ""},
        {"-5", false, ""},
        {"-2147483648", false, ""},
    };
    for (const Case& c : cases) {
        CClassicString kilobytes("unchanged");
        EXPECT_EQ(PatchReminderKilobytes(c.Value, kilobytes), c.Shown)
            << (c.Value ? c.Value : "(missing)");
        if (c.Shown)
            EXPECT_STREQ(kilobytes.GetText(), c.Kilobytes) << c.Value;
        else
            EXPECT_STREQ(kilobytes.GetText(), "unchanged") << (c.Value ? c.Value : "(missing)");
    }
}

// Refresh rates and block counts typed into edits: the leading digits, never a negative number
// wrapped round nor a signed overflow.
TEST(LauncherText, LeadingDecimal) {
    struct Case {
        const char* Text;
        u32 Value;
    };
    const Case cases[] = {
        {"75", 75},
        {"75Hz", 75},
        {"  60 Hz", 60},
        {"\t120", 120},
        {"", 0},
        {"Hz", 0},
        {"-5", 0},
        {"+5", 0},
        {"007", 7},
        {"1 2", 1},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967295u},
        {"99999999999", 4294967295u},
        {"123456789012345678901234567890", 4294967295u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadLeadingDecimal(c.Text), c.Value) << c.Text;
}

} // namespace
