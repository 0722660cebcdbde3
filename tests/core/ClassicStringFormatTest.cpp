#include "core/base/ClassicString.h"
#include "core/base/ClassicTokenizer.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;

std::string Text(const CClassicString& s) {
    return std::string(s.GetText(), s.GetLength());
}
std::u16string Text(const CClassicWideString& s) {
    return std::u16string(s.GetText(), s.GetLength());
}
CClassicStringRef Ref(std::string_view s) {
    return CClassicStringRef(s.data(), u32(s.size()));
}
CClassicWideStringRef Ref(std::u16string_view s) {
    return CClassicWideStringRef(s.data(), u32(s.size()));
}
std::string Hex(std::string_view bytes) {
    std::string out;
    char two[3];
    for (char c : bytes) {
        std::snprintf(two, sizeof two, "%02x", u8(c));
        out += two;
    }
    return out;
}
std::string Hex(const std::vector<u8>& bytes) {
    return Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Runs Debian's python3 over `script`, handing it a file of input lines as argv[1]; returns the
// lines it prints.
std::vector<std::string> RunPython(const std::string& script, const std::vector<std::string>& in) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    const std::string tag = std::to_string(::getpid()) + "_" + std::to_string(std::rand());
    const std::filesystem::path scriptPath = dir / ("text_check_" + tag + ".py");
    const std::filesystem::path dataPath = dir / ("text_check_" + tag + ".txt");
    std::ofstream(scriptPath) << script;
    {
        std::ofstream data(dataPath);
        for (const std::string& line : in)
            data << line << '\n';
    }
    const std::string command =
        std::string(ENGINE_TEST_PYTHON) + " " + scriptPath.string() + " " + dataPath.string();
    std::vector<std::string> out;
    FILE* pipe = ::popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe) {
        std::string line;
        int c;
        while ((c = std::fgetc(pipe)) != EOF) {
            if (c == '\n') {
                out.push_back(line);
                line.clear();
            } else {
                line += char(c);
            }
        }
        EXPECT_EQ(::pclose(pipe), 0) << "python failed";
    }
    std::filesystem::remove(scriptPath);
    std::filesystem::remove(dataPath);
    EXPECT_EQ(out.size(), in.size());
    return out;
}

// ---------------------------------------------------------------------------------------------
// printf into strings

TEST(ClassicStringFormat, PrintfAssignsAppendsAndChains) {
    CClassicString s;
    EXPECT_EQ(Text(s.Format("%d-%s", 42, "x").AppendFormat("|%05.1f", 2.25)), "42-x|002.2");
    // The string's own text as an argument is read before it is replaced.
    s.Format("%s!%s", s.GetText(), s.GetText());
    EXPECT_EQ(Text(s), "42-x|002.2!42-x|002.2");

    // Lengths around the 1024-character static buffer.
    for (u32 length : {1023u, 1024u, 1025u, 4000u}) {
        const std::string body(length, 'q');
        s.Format("%s", body.c_str());
        EXPECT_EQ(Text(s), body);
        s.AppendFormat("%s", body.c_str());
        EXPECT_EQ(Text(s), body + body);
    }

    // The wide form formats narrow and widens each byte as it stands (no UTF-8 decoding).
    CClassicWideString w(u"n=");
    w.AppendFormat("%u%s", 7u, "\xC3\xA9");
    EXPECT_EQ(Text(w), u"n=7\u00C3\u00A9");
}

// ---------------------------------------------------------------------------------------------
// Placeholder formatter

struct PlaceholderCase {
    std::u16string_view format;
    std::vector<std::u16string_view> args;
    std::u16string_view expected;
};

TEST(ClassicStringFormat, PlaceholdersFollowTheFormat) {
    const PlaceholderCase cases[] = {
        {u"%1 %%", {u"a"}, u"a %"},
        {u"%2", {u"a"}, u"<XXX>"},
        {u"[%9]", {u"a", u"b", u"c"}, u"[<XXX>]"},
        {u"%3%2%1", {u"a", u"b", u"c"}, u"cba"},
        {u"a%qb%0c", {u"x"}, u"abc"},        // '%' and another character dropped
        {u"end%", {u"x"}, u"end"},           // a trailing '%' ends the text
        {u"ab\0%1"sv, {u"x"}, u"ab"},        // the format ends at its first NUL
        {u"<%1>", {u"xy\0z"sv}, u"<xy>"},    // an argument ends at its first NUL
        {u"%1%1%1", {u"abc"}, u"abcabcabc"}, // past the first estimate
        {u"%1", {u""}, u""},
        {u"%1-%2 %1",
         {u"\u00E9\u20AC", u"\xD83D\xDE00"},
         u"\u00E9\u20AC-\xD83D\xDE00 \u00E9\u20AC"},
    };
    for (const PlaceholderCase& c : cases) {
        CClassicWideString s(u"previous text");
        bool ok = false;
        if (c.args.size() == 1)
            ok = s.Format1(Ref(c.format), Ref(c.args[0]));
        else if (c.args.size() == 2)
            ok = s.Format2(Ref(c.format), Ref(c.args[0]), Ref(c.args[1]));
        else {
            // No wide three-argument form: take the narrow one with an ASCII copy of the format.
            std::string narrow(c.format.begin(), c.format.end());
            ok = s.FormatNarrow3(Ref(narrow), Ref(c.args[0]), Ref(c.args[1]), Ref(c.args[2]));
        }
        EXPECT_TRUE(ok);
        EXPECT_EQ(Text(s), c.expected) << std::string(c.format.begin(), c.format.end());
        EXPECT_EQ(s.GetText()[s.GetLength()], 0);
    }

    // A narrow format's bytes are characters of the same value.
    CClassicWideString s;
    EXPECT_TRUE(s.FormatNarrow1("caf\xE9 %1", u"ok"));
    EXPECT_EQ(Text(s), u"caf\u00E9 ok");
    EXPECT_TRUE(s.FormatNarrow2("%2%1", u"a", u"b"));
    EXPECT_EQ(Text(s), u"ba");
}

TEST(ClassicStringFormat, PlaceholderArgumentsMayBeTheDestination) {
    // The whole string as the argument: its old text is inserted, twice.
    CClassicWideString s(u"old");
    EXPECT_TRUE(s.Format1(u"[%1|%1] and more text to outgrow the old storage", s));
    EXPECT_EQ(Text(s), u"[old|old] and more text to outgrow the old storage");

    // Part of the string, and the format itself taken from the string.
    s = CClassicWideString(u"<%1> tail");
    EXPECT_TRUE(s.Format2(s, CClassicWideStringRef(s.GetText() + 5, 4), u"unused"));
    EXPECT_EQ(Text(s), u"<tail> tail");

    // The destination is the wide scratch string itself.
    g_ClassicWideStringScratch.Assign(u"abc");
    EXPECT_TRUE(g_ClassicWideStringScratch.Format1(u"%1%1", g_ClassicWideStringScratch));
    EXPECT_EQ(Text(g_ClassicWideStringScratch), u"abcabc");

    // Another argument lives in the scratch string while the destination needs a copy.
    g_ClassicWideStringScratch.Assign(u"scratch");
    CClassicWideString d(u"dest");
    EXPECT_TRUE(d.Format2(u"%1+%2", d, g_ClassicWideStringScratch));
    EXPECT_EQ(Text(d), u"dest+scratch");
}

TEST(ClassicStringFormat, PlaceholderOutputGrowthIsBounded) {
    // A format that repeats a long argument grows the string up to 1 Mi characters, then stops
    // and says so; nothing is written beyond the string's storage.
    const std::u16string arg(600000, u'x');
    CClassicWideString s;
    EXPECT_FALSE(s.Format1(u"%1%1%1", Ref(arg)));
    EXPECT_EQ(s.GetLength(), 1u << 20);
    EXPECT_EQ(s.GetText()[s.GetLength()], 0);
    EXPECT_EQ(s.GetText()[s.GetLength() - 1], u'x');
    // A result within the limit is complete.
    EXPECT_TRUE(s.Format1(u"%1|%1", Ref(std::u16string_view(arg).substr(0, 500000))));
    EXPECT_EQ(s.GetLength(), 1000001u);
    EXPECT_EQ(s.GetText()[500000], u'|');

    // 4000 placeholders over a 4 Mi-character argument: the limit is the estimate, the format's
    // length plus the argument's less 2, so the first copy is whole and the second is cut.
    std::u16string format;
    for (u32 i = 0; i < 4000; ++i)
        format += u"%1";
    std::u16string big(4u << 20, u'y');
    big[0] = u'<';
    big.back() = u'>';
    EXPECT_FALSE(s.Format1(Ref(format), Ref(big)));
    ASSERT_EQ(s.GetLength(), 8000u + (4u << 20) - 2);
    EXPECT_EQ(s.GetText()[(4u << 20) - 1], u'>');
    EXPECT_EQ(s.GetText()[4u << 20], u'<');
    EXPECT_EQ(s.GetText()[s.GetLength() - 1], u'y');
    EXPECT_EQ(s.GetText()[s.GetLength()], 0);
}

// ---------------------------------------------------------------------------------------------
// Integers and reals to text

struct IntCase {
    i32 value;
    bool group;
    u32 width;
    bool zeroFill, hex, prefix;
    const char* expected;
};

TEST(ClassicStringFormat, IntegerTextGroupsAndPads) {
    constexpr i32 kMin = std::numeric_limits<i32>::min();
    const IntCase cases[] = {
        {1234567, true, 0, false, false, false, "1 234 567"},
        {-123456, true, 0, false, false, false, "-123 456"},
        {12, true, 0, false, false, false, "12"},
        {123, true, 0, false, false, false, "123"},
        {1000, true, 0, false, false, false, "1 000"},
        {0, true, 0, false, false, false, "0"},
        {kMin, true, 0, false, false, false, "-2 147 483 648"},
        {kMin, false, 0, false, false, false, "-2147483648"},
        {0x12345678, true, 0, false, true, true, "0x1234 5678"},
        {0x12345, true, 0, false, true, false, "1 2345"},
        {-1, false, 0, false, true, false, "FFFFFFFF"},
        {-1, true, 0, false, true, true, "0xFFFF FFFF"},
        {255, false, 0, false, false, true, "255"}, // the prefix flag alone does nothing
        {42, false, 5, false, false, false, "   42"},
        {42, false, 5, true, false, false, "00042"},
        {-42, false, 5, true, false, false, "-0042"},
        {42, false, 6, true, true, true, "0x002A"},
        {123456, true, 4, false, false, false, "123 456"}, // width below the text
        {-5, true, 4, false, false, false, "  -5"},
    };
    for (const IntCase& c : cases) {
        CClassicString s("old");
        s.SetIntEx(c.value, c.group, c.width, c.zeroFill, c.hex, c.prefix);
        EXPECT_EQ(Text(s), c.expected) << c.value;
        if (!c.hex && !c.zeroFill) {
            s.SetInt(c.value, c.group, c.width);
            EXPECT_EQ(Text(s), c.expected) << c.value;
        }
    }

    CClassicString line("n=");
    line.AppendInt(1234567).Append(" ").AppendSignedInt(-12).Append(" ").AppendHex(0xBEEF);
    line.Append(" ").AppendFloat(3.14159f).Append(" ").AppendHex(0xFFFFFFFF);
    EXPECT_EQ(Text(line), "n=1 234 567 -12 0x0000BEEF 3.14 0xFFFFFFFF");
}

TEST(ClassicStringFormat, GroupedIntegersReadBack) {
    std::mt19937 random(7);
    std::vector<i32> values = {0,
                               1,
                               -1,
                               999,
                               1000,
                               -1000,
                               std::numeric_limits<i32>::max(),
                               std::numeric_limits<i32>::min()};
    for (int i = 0; i < 2000; ++i)
        values.push_back(i32(random()) >> (random() % 31));
    CClassicString s;
    for (i32 v : values) {
        s.SetInt(v, true, 20);
        i32 back = 7;
        EXPECT_TRUE(s.ParseDecimal(back)) << Text(s);
        EXPECT_EQ(back, v) << Text(s);
        s.SetIntEx(v, true, 0, false, true, true);
        EXPECT_TRUE(s.ParseInteger(back, true)) << Text(s);
        EXPECT_EQ(back, v) << Text(s);
    }
}

TEST(ClassicStringFormat, FloatTextUsesGeneralForm) {
    const struct {
        f32 value;
        u32 digits;
        const char* expected;
    } cases[] = {
        {0.5f, 3, "0.5"},
        {1234567.0f, 3, "1.23e+06"},
        {1.0f / 3, 6, "0.333333"},
        {0.0f, 3, "0"},
        {-2.5f, 1, "-2"},
        {100.0f, 0, "1e+02"},
        {1e-5f, 3, "1e-05"},
        {std::numeric_limits<f32>::infinity(), 3, "inf"},
        {-std::numeric_limits<f32>::infinity(), 3, "-inf"},
        // The smallest float printed exactly; any larger precision prints the same.
        {std::numeric_limits<f32>::denorm_min(), 1000,
         "1.40129846432481707092372958328991613128026194187651577175706828388979108268586060148663"
         "818836212158203125e-45"},
    };
    CClassicString s;
    for (const auto& c : cases) {
        s.SetFloat(c.value, c.digits);
        EXPECT_EQ(Text(s), c.expected) << c.value;
    }
    s.SetFloat(std::numeric_limits<f32>::quiet_NaN(), 3);
    EXPECT_TRUE(Text(s) == "nan" || Text(s) == "-nan") << Text(s);
}

// ---------------------------------------------------------------------------------------------
// Text to numbers

struct IntParseCase {
    std::string_view text;
    bool hex;
    i32 value;
    bool ok;
};

TEST(ClassicStringFormat, IntegerParsersFollowTheZeroRule) {
    constexpr i32 kMax = std::numeric_limits<i32>::max();
    constexpr i32 kMin = std::numeric_limits<i32>::min();
    const IntParseCase cases[] = {
        {" 1 000 ", false, 1000, true},
        {"\t-1\r\n2", false, -12, true},
        {"+5", false, 5, true},
        {"0", false, 0, true},
        {"000", false, 0, true},
        {"-0", false, 0, false},
        {"+0", false, 0, false},
        {"abc", false, 0, false},
        {"", false, 0, false},
        {" \t\r\n", false, 0, false},
        {"12abc", false, 12, true},
        {"0abc", false, 0, false},
        {"0x10", false, 0, false},
        {"1\0"
         "2"sv,
         false, 1, true}, // the text ends at its first NUL
        {"2147483647", false, kMax, true},
        {"2147483648", false, kMax, true}, // decimal saturates at the 32-bit limits
        {"99999999999999999999999", false, kMax, true},
        {"-2147483648", false, kMin, true},
        {"-99999999999", false, kMin, true},
        {"FF", true, 255, true},
        {"0xff", true, 255, true},
        {"0XFF", true, 255, true},
        {"12 34", true, 0x1234, true},
        {"-1", true, -1, true},
        {"FFFFFFFF", true, -1, true},
        {"80000000", true, kMin, true},
        {"100000000", true, -1, true}, // hex saturates at 0xFFFFFFFF, never wraps to 0
        {"-100000000", true, -1, true},
        {"0", true, 0, true},
        {"0x0", true, 0, true},
        {"0x00000000", true, 0, true}, // AppendHex(0) reads back
        {"0x", true, 0, false},
        {"-0", true, 0, false},
        {"g", true, 0, false},
        {"0xg", true, 0, false},
    };
    for (const IntParseCase& c : cases) {
        const CClassicString s(Ref(c.text));
        i32 value = 12345;
        EXPECT_EQ(s.ParseInteger(value, c.hex), c.ok) << c.text << " hex " << c.hex;
        EXPECT_EQ(value, c.value) << c.text << " hex " << c.hex;
        if (!c.hex) {
            value = 12345;
            EXPECT_EQ(s.ParseDecimal(value), c.ok) << c.text;
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST(ClassicStringFormat, FloatParserReadsTheGrammar) {
    const f32 inf = std::numeric_limits<f32>::infinity();
    const struct {
        std::string_view text;
        f32 value;
        bool ok;
    } cases[] = {
        {"-0.0e5", 0, true},
        {".", 0, true},
        {"0", 0, true},
        {"0.000", 0, true},
        {"0e999999", 0, true},
        {"1.5", 1.5f, true},
        {" 1 . 5 ", 1.5f, true},
        {"0.1", 0.1f, true},
        {"-.5", -0.5f, true},
        {"+5.", 5, true},
        {"2d3", 2000, true},
        {"2D-1", 0.2f, true},
        {"1E2", 100, true},
        {"1e", 1, true}, // an exponent mark without digits is not read
        {"1e+x", 1, true},
        {"1,5", 1, true}, // a comma is not a decimal point
        {"1.#INF00", 1, true},
        {"3.4028235e38", std::numeric_limits<f32>::max(), true},
        {"1e39", inf, true}, // beyond the float range: an infinity
        {"-1e400", -inf, true},
        {"1e-50", 0, false}, // below the float range: zero, and not written as zero
        {"1e-400", 0, false},
        {"inf", 0, false},
        {"nan", 0, false},
        {"0x1p3", 0, false},
        {"abc", 0, false},
        {"", 0, false},
    };
    for (const auto& c : cases) {
        const CClassicString s(Ref(c.text));
        f32 value = 123;
        EXPECT_EQ(s.ParseFloat(value), c.ok) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }

    // Out-of-range texts whose size shows only in the count of their digits.
    f32 value = 0;
    EXPECT_TRUE(CClassicString(Ref("1" + std::string(400, '0'))).ParseFloat(value));
    EXPECT_EQ(value, inf);
    EXPECT_FALSE(CClassicString(Ref("0." + std::string(400, '0') + "1")).ParseFloat(value));
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(CClassicString(Ref("-0." + std::string(400, '0') + "1e500")).ParseFloat(value));
    EXPECT_EQ(value, -inf);
}

// A locale with a decimal comma must not change what the engine writes or reads.
TEST(ClassicStringFormat, ResultsDoNotDependOnTheProcessLocale) {
    const auto run = [] {
        std::vector<std::string> results;
        CClassicString s;
        for (f32 v : {0.5f, 1234.5678f, -1e-7f, 3.0f}) {
            s.SetFloat(v, 7);
            results.push_back(Text(s));
            s.Assign("x=");
            s.AppendFloat(v);
            results.push_back(Text(s));
            s.Format("%f|%g|%.2e", f64(v), f64(v), f64(v));
            results.push_back(Text(s));
        }
        for (const char* text : {"0.5", "1234.5678", "-1e-7", "2,5", "1d3"}) {
            f32 value = 0;
            const bool ok = CClassicString(text).ParseFloat(value);
            s.Format("%d %a", ok, f64(value));
            results.push_back(Text(s));
        }
        return results;
    };
    const std::vector<std::string> inC = run();
    EXPECT_EQ(inC[2], "0.500000|0.5|5.00e-01");
    EXPECT_EQ(inC[12], "1 0x1p-1");
    EXPECT_EQ(inC[15], "1 0x1p+1"); // "2,5" reads as 2
    const std::string old = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "fr_FR.UTF-8"), nullptr) << "locales-all missing";
    char check[16];
    std::snprintf(check, sizeof check, "%.1f", 0.5);
    EXPECT_STREQ(check, "0,5"); // the comma locale is really in force
    const std::vector<std::string> inFrench = run();
    std::setlocale(LC_ALL, old.c_str());
    EXPECT_EQ(inFrench, inC);
}

// ---------------------------------------------------------------------------------------------
// 8-bit conversions

TEST(ClassicStringFormat, EightBitConversionsMapAboveTwoFiftyFourToUnderscore) {
    const std::u16string_view wide = u"a\u00E9\u00FE\u00FF\u0100\u20AC\0tail"sv;
    const CClassicWideString w(Ref(wide));
    CClassicString n("old");
    w.ToNarrow(n);
    EXPECT_EQ(Text(n), "a\xE9\xFE___");
    EXPECT_EQ(Text(w.GetNarrow()), "a\xE9\xFE___");
    n.Assign("x");
    n.AppendWide(w);
    EXPECT_EQ(Text(n), "xa\xE9\xFE___");
    n.AssignWide(u"\u0041\u00FF");
    EXPECT_EQ(Text(n), "A_");

    EXPECT_TRUE(w.GetAscii(n));
    EXPECT_EQ(Text(n), "a_____");
    EXPECT_FALSE(CClassicWideString(u"plain").GetAscii(n));
    EXPECT_EQ(Text(n), "plain");
    // Into a string of the same length, a longer and a shorter one, and an empty one that owns
    // no block (its shared text is never written).
    EXPECT_FALSE(CClassicWideString(u"PLAIN").GetAscii(n));
    EXPECT_EQ(Text(n), "PLAIN");
    EXPECT_EQ(n.GetText()[5], '\0');
    EXPECT_FALSE(CClassicWideString(u"plain text").GetAscii(n));
    EXPECT_EQ(Text(n), "plain text");
    EXPECT_FALSE(CClassicWideString(u"pl").GetAscii(n));
    EXPECT_EQ(Text(n), "pl");
    CClassicString empty;
    EXPECT_FALSE(CClassicWideString().GetAscii(empty));
    EXPECT_EQ(empty.GetText(), CClassicString().GetText());
    EXPECT_FALSE(CClassicWideString(Ref(u"\0x"sv)).GetAscii(empty));
    EXPECT_EQ(Text(empty), "");
    EXPECT_TRUE(CClassicWideString(u"\u00E9").GetAscii(empty));
    EXPECT_EQ(Text(empty), "_");

    // Widening takes every byte of the ref, NUL included.
    CClassicWideString back(u"<");
    back.AppendNarrow(Ref("\xE9\xFF\0z"sv));
    EXPECT_EQ(Text(back), u"<\u00E9\u00FF\0z"sv);
    back.AssignFromNarrow("\xE9");
    EXPECT_EQ(Text(back), u"\u00E9");
    EXPECT_EQ(Text(CClassicWideString(CClassicStringRef("\xEF\xBB\xBF\xC3\xA9"))), u"\u00E9");
}

TEST(ClassicStringFormat, CompareNoCaseNarrowWidensTheNarrowText) {
    const CClassicWideString w(u"Caf\u00E9 Noir");
    EXPECT_EQ(w.CompareNoCaseNarrow("CAF\xE9 NOIR"), 0);
    EXPECT_EQ(w.CompareNoCaseNarrow("\xEF\xBB\xBF"
                                    "caf\xC3\xA9 noir"),
              0); // UTF-8 behind a BOM
    EXPECT_LT(w.CompareNoCaseNarrow("CAF\xE9 NOIRS"), 0);
    EXPECT_EQ(w.CompareNoCaseNarrow("cafe", 4), u'\u00E9' - u'E');
    EXPECT_EQ(w.CompareNoCaseNarrow("CAF", 3), 0);
    EXPECT_EQ(w.CompareNoCaseNarrow("CA", 3), -1);
    // The scratch string compared with narrow text keeps its own text.
    g_ClassicWideStringScratch.Assign(u"Scratch");
    EXPECT_EQ(g_ClassicWideStringScratch.CompareNoCaseNarrow("SCRATCH"), 0);
    EXPECT_NE(g_ClassicWideStringScratch.CompareNoCaseNarrow("other"), 0);
    EXPECT_EQ(Text(g_ClassicWideStringScratch), u"Scratch");
}

// ---------------------------------------------------------------------------------------------
// UTF-8

TEST(ClassicStringFormat, Utf8DecoderAcceptanceTable) {
    const struct {
        std::string_view bytes;
        std::u16string_view expected;
    } cases[] = {
        {"A", u"A"},
        {"\xC3\xA9", u"\u00E9"},
        {"\xC2\x80", u"\u0080"},
        {"\xDF\xBF", u"\u07FF"},
        {"\xC1\xBF", u""}, // 0x80-0xC1 skipped
        {"\x80z", u"z"},
        {"\xC2", u""}, // continuation missing
        {"\xC2"
         "A",
         u"A"},                // the lead alone is skipped
        {"\xE0\x9F\xBF", u""}, // 0xE0 needs 0xA0 or above
        {"\xE0\xA0\x80", u"\u0800"},
        {"\xEF\xBF\xBF", u"\uFFFF"},
        {"\xED\xA0\x80", u"\xD800"}, // a surrogate unit stands as it is
        {"\xE4\xB8"
         "A",
         u"A"},
        {"\xEF\xBB\xBFx\xEF\xBB\xBFy", u"xy"}, // U+FEFF dropped anywhere
        {"\xF0\x8F\xBF\xBF", u""},             // 0xF0 needs 0x90 or above
        {"\xF0\x9F\x98\x80", u"\xD83D\xDE00"}, // above U+FFFF: a surrogate pair
        {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"\xF4\x90\x80\x80", u"\uFFFD"}, // beyond U+10FFFF
        {"\xF7\xBF\xBF\xBF", u"\uFFFD"},
        {"\xF8\x87\xBF\xBF\xBF", u""}, // 0xF8 needs above 0x87
        {"\xF8\x88\x80\x80\x80", u"\uFFFD"},
        {"\xFB\xBF\xBF\xBF\xBF", u"\uFFFD"},
        {"\xFC\x83\xBF\xBF\xBF\xBF", u""}, // 0xFC needs above 0x83
        {"\xFC\x84\x80\x80\x80\x80", u"\uFFFD"},
        {"\xFD\xBF\xBF\xBF\xBF\xBF", u"\uFFFD"},
        {"\xFE\xFFok", u"ok"},
        {"a\0b"sv, u"a"}, // byte 0 ends the text
        {"\xE2\x82\0\xAC"sv, u""},
    };
    for (const auto& c : cases) {
        CClassicWideString w(u"previous");
        w.AssignUtf8(Ref(c.bytes));
        EXPECT_EQ(Text(w), c.expected) << Hex(c.bytes);
        // The same bytes behind a BOM, through the archive reading path.
        w.AssignFromNarrow(Ref("\xEF\xBB\xBF"s + std::string(c.bytes)));
        EXPECT_EQ(Text(w), c.expected) << Hex(c.bytes);
    }
}

TEST(ClassicStringFormat, Utf8EncoderWritesEachUnit) {
    const struct {
        std::u16string_view text;
        std::string_view utf8;
        std::string_view storage; // ToNarrowUtf8
    } cases[] = {
        {u"abc", "abc", "abc"},
        {u"", "", ""},
        {u"\u00E9", "\xC3\xA9", "\xEF\xBB\xBF\xC3\xA9"},
        {u"\u007F\u0080\u07FF\u0800\uFFFF", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF",
         "\xEF\xBB\xBF\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\xD83D\xDE00", "\xED\xA0\xBD\xED\xB8\x80", "\xEF\xBB\xBF\xED\xA0\xBD\xED\xB8\x80"},
        {u"\uFEFFa\uFEFF", "a", "a"},  // U+FEFF is never written and does not ask for a BOM
        {u"ab\0\u00E9"sv, "ab", "ab"}, // the text ends at its first NUL
    };
    for (const auto& c : cases) {
        const CClassicWideString w(Ref(c.text));
        CClassicString out("old");
        w.ToUtf8(out, false);
        EXPECT_EQ(Text(out), c.utf8);
        w.ToUtf8(out, true);
        EXPECT_EQ(Text(out), w.IsEmpty() ? "" : "\xEF\xBB\xBF"s + std::string(c.utf8));
        w.ToNarrowUtf8(out);
        EXPECT_EQ(Text(out), c.storage);
    }
}

TEST(ClassicStringFormat, StorageFormRoundTripsAnyUnits) {
    std::mt19937 random(11);
    CClassicString stored;
    CClassicWideString back;
    for (int round = 0; round < 500; ++round) {
        std::u16string text;
        const u32 length = random() % 40;
        for (u32 i = 0; i < length; ++i) {
            char16_t c;
            do {
                const u32 range = random() % 4;
                c = char16_t(range == 0   ? random() % 0x80
                             : range == 1 ? 0xD800 + random() % 0x800
                                          : random() % 0x10000);
            } while (c == 0 || c == 0xFEFF);
            text += c;
        }
        CClassicWideString(Ref(text)).ToNarrowUtf8(stored);
        back.AssignFromNarrow(stored);
        EXPECT_EQ(Text(back), text);
    }
}

// ---------------------------------------------------------------------------------------------
// URL encodings

TEST(ClassicStringFormat, UrlEncodingsUseTheirSafeSets) {
    const struct {
        std::string_view text;
        bool stopAtNul;
        std::string_view form, plain;
    } cases[] = {
        {"a b", true, "a+b", "a%20b"},
        {"AZaz09-._", true, "AZaz09-._", "AZaz09-._"},
        {"#%&+,/:=?@", true, "%23%25%26%2b%2c%2f%3a%3d%3f%40", "#%&+,/:=?@"},
        {"~!*'()", true, "%7e%21%2a%27%28%29", "%7e%21%2a%27%28%29"},
        {"\xC3\xA9\xFF", true, "%c3%a9%ff", "%c3%a9%ff"},
        {"\xEF\xBB\xBFx y", true, "x+y", "x%20y"}, // a leading BOM is dropped
        {"a\0b"sv, true, "a", "a"},
        {"a\0b"sv, false, "a%00b", "a%00b"},
        {"", true, "", ""},
    };
    for (const auto& c : cases) {
        CClassicString s(Ref(c.text));
        s.FormUrlEncode(c.stopAtNul);
        EXPECT_EQ(Text(s), c.form) << c.text;
        s.Assign(Ref(c.text));
        s.UrlEncode(c.stopAtNul);
        EXPECT_EQ(Text(s), c.plain) << c.text;
    }

    CClassicString out;
    CClassicWideString(u"\u00E9 \u00FC\uFEFF~").UrlEncodeUtf8(out);
    EXPECT_EQ(Text(out), "%c3%a9+%c3%bc%7e");
    CClassicWideString(Ref(u"\xD83D\xDE00\0x"sv)).UrlEncodeUtf8(out);
    EXPECT_EQ(Text(out), "%ed%a0%bd%ed%b8%80");

    // The narrow scratch string encoded in place.
    g_ClassicStringScratch.Assign("a b");
    g_ClassicStringScratch.UrlEncode();
    EXPECT_EQ(Text(g_ClassicStringScratch), "a%20b");
}

TEST(ClassicStringFormat, KeepSafeCharsReplacesOrDrops) {
    const struct {
        std::string_view text;
        bool stopAtNul;
        char replacement;
        std::string_view expected;
        bool unchanged;
    } cases[] = {
        {"Az09%+-.@_", true, '_', "Az09%+-.@_", true},
        {"a b!c", true, '_', "a_b_c", false},
        {"a b!c", true, 0, "abc", false},
        {"ab\0cd"sv, true, '_', "ab", true},
        {"ab\0cd"sv, false, '_', "ab_cd", false},
        {"\xE9t\xE9", true, 0, "t", false},
    };
    for (const auto& c : cases) {
        CClassicString s(Ref(c.text));
        EXPECT_EQ(s.KeepSafeChars(c.stopAtNul, c.replacement), c.unchanged) << c.text;
        EXPECT_EQ(Text(s), c.expected) << c.text;
    }
}

// ---------------------------------------------------------------------------------------------
// Base 63

TEST(ClassicStringFormat, Base63DigitsComeLeastSignificantFirst) {
    const struct {
        std::vector<u8> bytes;
        const char* text;
    } cases[] = {
        {{1}, "0"},       {{63}, "_0"},  {{62}, "Z"},
        {{64}, "00"},     {{255}, "23"}, // two digits from one byte
        {{0, 0, 0}, ""},  {{}, ""},      {{0xFF, 0xFF, 0xFF}, "_3530"},
        {{1, 0, 0}, "0"},
    };
    CClassicString s;
    for (const auto& c : cases) {
        s.SetBase63(c.bytes.data(), u32(c.bytes.size()));
        EXPECT_EQ(Text(s), c.text) << Hex(c.bytes);
        EXPECT_GE(s.GetCapacity(), s.GetLength());
    }

    // Round trips, with the reservation checked for long inputs of the largest digits.
    std::mt19937 random(5);
    for (u32 length = 1; length < 300; length += 7) {
        std::vector<u8> bytes(length);
        for (u8& b : bytes)
            b = length % 2 ? 0xFF : u8(random());
        bytes.back() |= 1;
        s.SetBase63(bytes.data(), length);
        std::vector<u8> back(length + 4, 0xAA);
        u32 count = length + 4;
        EXPECT_TRUE(s.GetBase63(back.data(), count));
        EXPECT_EQ(count, length);
        back.resize(length);
        EXPECT_EQ(back, bytes);
    }
}

TEST(ClassicStringFormat, GetBase63StaysWithinTheCallersBuffer) {
    // A network token of 255 top digits into the 128 bytes a host record allows: about 190 bytes
    // of number. It is refused and nothing past the buffer is touched.
    const CClassicString token(Ref(std::string(255, 'Z')));
    std::vector<u8> buffer(128 + 16, 0xAA);
    u32 count = 128;
    EXPECT_FALSE(token.GetBase63(buffer.data(), count));
    EXPECT_EQ(count, 0u);
    for (u32 i = 0; i < 128; ++i)
        ASSERT_EQ(buffer[i], 0) << i;
    for (u32 i = 128; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], 0xAA) << i;

    const struct {
        const char* text;
        u32 capacity;
        bool ok;
        std::vector<u8> bytes;
    } cases[] = {
        {"ZZZ", 3, true, {0xBE, 0xD0, 0x03}}, // 250046
        {"ZZZ", 2, false, {}},
        {"0___", 1, true, {1}}, // leading zero digits (at the end) add nothing
        {"", 4, true, {}},
        {"___", 0, true, {}},
        {"ab-", 8, false, {}}, // outside the alphabet
        {"a b", 8, false, {}},
        {"23", 1, true, {255}},
    };
    for (const auto& c : cases) {
        std::vector<u8> out(c.capacity + 1, 0xAA);
        count = c.capacity;
        EXPECT_EQ(CClassicString(c.text).GetBase63(out.data(), count), c.ok) << c.text;
        EXPECT_EQ(count, c.bytes.size()) << c.text;
        EXPECT_EQ(std::vector<u8>(out.begin(), out.begin() + count), c.bytes) << c.text;
        for (u32 i = count; i < c.capacity; ++i)
            EXPECT_EQ(out[i], 0) << c.text;
        EXPECT_EQ(out[c.capacity], 0xAA) << c.text;
    }
}

// ---------------------------------------------------------------------------------------------
// Tokenizers

std::vector<std::string> Tokens(const CClassicString& text, CClassicTokenizer& tokenizer) {
    std::vector<std::string> tokens;
    while (text.NextToken(tokenizer)) {
        tokens.push_back(Text(tokenizer.m_Token));
        EXPECT_EQ(std::string_view(text.GetText() + tokenizer.m_TokenStart, tokens.back().size()),
                  tokens.back());
        if (tokens.size() > 100)
            break;
    }
    return tokens;
}

TEST(ClassicStringFormat, TokenizersCollapseOrKeepEmptyTokens) {
    using V = std::vector<std::string>;
    const struct {
        std::string_view text;
        const char* separators;
        V plain, collapsed;
    } cases[] = {
        {"a,,b", ",", V{"a", "", "b"}, V{"a", "b"}},
        {",a", ",", V{"", "a"}, V{"", "a"}},
        {",,a", ",", V{"", "", "a"}, V{"", "a"}},
        {"a,", ",", V{"a"}, V{"a"}},
        {"a,,", ",", V{"a", ""}, V{"a"}},
        {"", ",", V{}, V{}},
        {"ok", ",", V{"ok"}, V{"ok"}},
        {"1; 2\t\r\n3", "; \t\r\n", V{"1", "", "2", "", "", "3"}, V{"1", "2", "3"}},
        {"a,b\0,c"sv, ",", V{"a", "b"}, V{"a", "b"}},
    };
    for (const auto& c : cases) {
        const CClassicString text(Ref(c.text));
        CClassicTokenizer plain(c.separators);
        EXPECT_EQ(Tokens(text, plain), c.plain) << c.text;
        CClassicTokenizer collapsed(c.separators, true);
        EXPECT_EQ(Tokens(text, collapsed), c.collapsed) << c.text;

        const std::u16string wideText(c.text.begin(), c.text.end());
        const std::string separators(c.separators);
        const CClassicWideString wide(Ref(wideText));
        for (bool collapse : {false, true}) {
            CClassicWideTokenizer tokenizer(
                Ref(std::u16string(separators.begin(), separators.end())), collapse);
            V tokens;
            while (wide.NextToken(tokenizer) && tokens.size() < 100)
                tokens.push_back(
                    std::string(tokenizer.m_Token.GetText(),
                                tokenizer.m_Token.GetText() + tokenizer.m_Token.GetLength()));
            EXPECT_EQ(tokens, collapse ? c.collapsed : c.plain) << c.text;
        }
    }
}

TEST(ClassicStringFormat, TokenizerStateAfterEachCall) {
    const CClassicString text("ab,cd");
    CClassicTokenizer t(",");
    EXPECT_EQ(t.m_Flags, 0u);
    EXPECT_TRUE(text.NextToken(t));
    EXPECT_EQ(t.m_TokenStart, 0);
    EXPECT_EQ(t.m_TokenCount, 1u);
    EXPECT_EQ(t.m_Position, 3u);
    EXPECT_EQ(t.m_Flags & kClassicTokenizerAtEnd, 0u);
    EXPECT_TRUE(text.NextToken(t));
    EXPECT_EQ(Text(t.m_Token), "cd");
    EXPECT_EQ(t.m_TokenStart, 3);
    EXPECT_EQ(t.m_Position, 5u);
    EXPECT_EQ(t.m_Flags & kClassicTokenizerAtEnd, kClassicTokenizerAtEnd);
    const char* storage = t.m_Token.GetText();
    EXPECT_FALSE(text.NextToken(t));
    EXPECT_EQ(t.m_Flags, 0u);
    EXPECT_EQ(t.m_TokenStart, -1);
    EXPECT_EQ(t.m_TokenCount, 0u);
    EXPECT_EQ(t.m_Position, 0u);
    EXPECT_EQ(t.m_Token.GetLength(), 0u);
    EXPECT_EQ(t.m_Token.GetText(), storage); // emptied, storage kept
    // A reset tokenizer starts over, also on another text.
    EXPECT_TRUE(CClassicString("x,y").NextToken(t));
    EXPECT_EQ(Text(t.m_Token), "x");
}

TEST(ClassicStringFormat, GetNthTokenSkipsRunsOfSeparators) {
    const struct {
        const char* text;
        u32 index;
        bool ok;
        const char* token;
    } cases[] = {
        {"a,,b", 0, true, "a"}, {"a,,b", 1, true, "b"},  {"a,,b", 2, false, ""},
        {",a", 0, true, ""},    {",a", 1, true, "a"},    {"a,", 1, false, ""},
        {"", 0, false, ""},     {"x y;z", 2, true, "z"},
    };
    for (const auto& c : cases) {
        u32 index = c.index;
        CClassicString token("old");
        EXPECT_EQ(CClassicString(c.text).GetNthToken(index, token, ", ;"), c.ok) << c.text;
        EXPECT_EQ(Text(token), c.token) << c.text;
        EXPECT_EQ(index, c.index + (c.ok ? 1 : 0));
    }

    // With runs collapsed, NextToken gives the same sequence.
    std::mt19937 random(3);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (u32 i = random() % 12; i > 0; --i)
            text += "ab,;"[random() % 4];
        const CClassicString s(text.c_str());
        CClassicTokenizer tokenizer(",;", true);
        std::vector<std::string> nth;
        CClassicString token;
        for (u32 index = 0; s.GetNthToken(index, token, ",;");)
            nth.push_back(Text(token));
        EXPECT_EQ(Tokens(s, tokenizer), nth) << text;
    }
}

// ---------------------------------------------------------------------------------------------
// Cross-checks against python3

TEST(ClassicStringFormat, FloatTextMatchesPython) {
    std::vector<f32> values = {
        0.0f,          -0.0f,           1.0f,
        0.1f,          123456.0f,       999.5f,
        0.9995f,       1e-5f,           1e10f,
        3.4028235e38f, 1.17549435e-38f, 1e-45f,
        99.95f,        -2.5f,           std::numeric_limits<f32>::infinity()};
    std::mt19937 random(17);
    while (values.size() < 400) {
        const f32 v = std::bit_cast<f32>(u32(random()));
        if (!std::isnan(v))
            values.push_back(v);
    }
    std::vector<std::string> lines;
    std::vector<std::string> ours;
    CClassicString s;
    for (f32 v : values) {
        const u32 digits = 1 + random() % 9;
        char repr[64];
        *std::to_chars(repr, repr + sizeof repr - 1, f64(v)).ptr = 0;
        lines.push_back(std::to_string(digits) + " " + repr);
        s.Assign("");
        s.AppendFloat(v);
        std::string line = Text(s) + " ";
        s.SetFloat(v, digits);
        ours.push_back(line + Text(s));
    }
    const std::vector<std::string> python = RunPython(R"(
import sys
for line in open(sys.argv[1]):
    digits, value = line.split()
    print('%.3g' % float(value), '%.*g' % (int(digits), float(value)))
)",
                                                      lines);
    for (size_t i = 0; i < python.size(); ++i)
        EXPECT_EQ(ours[i], python[i]) << lines[i];
}

TEST(ClassicStringFormat, Base63MatchesPythonDivmod) {
    std::mt19937 random(23);
    std::vector<std::string> lines;
    std::vector<std::string> ours;
    CClassicString s;
    for (int i = 0; i < 300; ++i) {
        std::vector<u8> bytes(random() % 200);
        const u32 kind = random() % 3;
        for (u8& b : bytes)
            b = kind == 0 ? 0xFF : kind == 1 ? 0 : u8(random());
        lines.push_back(Hex(bytes));
        s.SetBase63(bytes.data(), u32(bytes.size()));
        ours.push_back("=" + Text(s));
    }
    const std::vector<std::string> python = RunPython(R"(
import sys
alphabet = '_0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ'
for line in open(sys.argv[1]):
    n = int.from_bytes(bytes.fromhex(line.strip()), 'little')
    digits = ''
    while n:
        n, r = divmod(n, 63)
        digits += alphabet[r]
    print('=' + digits)
)",
                                                      lines);
    for (size_t i = 0; i < python.size(); ++i)
        EXPECT_EQ(ours[i], python[i]) << lines[i];
}

TEST(ClassicStringFormat, UrlEncodingsMatchPythonQuote) {
    std::mt19937 random(29);
    const std::string_view interesting = " -._~#%&+,/:=?@!*'()\"<>\\^`{|}";
    std::vector<std::string> lines;
    std::vector<std::string> ours;
    CClassicString s;
    for (int i = 0; i < 300; ++i) {
        std::string text;
        for (u32 n = random() % 30; n > 0; --n) {
            const u32 kind = random() % 3;
            text += kind == 0   ? interesting[random() % interesting.size()]
                    : kind == 1 ? char('a' + random() % 26)
                                : char(1 + random() % 255);
        }
        if (text.rfind("\xEF\xBB\xBF", 0) == 0)
            text[0] = 'x';
        lines.push_back(Hex(text));
        s.Assign(Ref(text));
        s.FormUrlEncode();
        std::string line = Text(s) + " ";
        s.Assign(Ref(text));
        s.UrlEncode();
        ours.push_back(line + Text(s));
    }
    // Python writes upper-case hex and never encodes '~'; the engine writes lower case and does.
    const std::vector<std::string> python = RunPython(R"(
import re, sys
from urllib.parse import quote, quote_plus
def engine(text):
    text = re.sub('%[0-9A-F]{2}', lambda m: m.group(0).lower(), text)
    return text.replace('~', '%7e')
for line in open(sys.argv[1]):
    data = bytes.fromhex(line.strip())
    print(engine(quote_plus(data, safe='-._')), engine(quote(data, safe='#%&+,-./:=?@_')))
)",
                                                      lines);
    for (size_t i = 0; i < python.size(); ++i)
        EXPECT_EQ(ours[i], python[i]) << lines[i];
}

TEST(ClassicStringFormat, Utf8MatchesPython) {
    std::mt19937 random(31);
    // Units to UTF-8, each surrogate on its own (python's surrogatepass).
    std::vector<std::string> lines;
    std::vector<std::string> ours;
    CClassicString out;
    for (int i = 0; i < 300; ++i) {
        std::u16string text;
        for (u32 n = random() % 20; n > 0; --n) {
            char16_t c;
            do
                c = char16_t(random() % 3 == 0 ? 0xD800 + random() % 0x800 : random() % 0x10000);
            while (c == 0 || c == 0xFEFF);
            text += c;
        }
        std::string units;
        for (char16_t c : text)
            units += std::to_string(u32(c)) + ",";
        lines.push_back(units + "0");
        CClassicWideString(Ref(text)).ToUtf8(out, false);
        ours.push_back("=" + Hex(Text(out)));
    }
    std::vector<std::string> python = RunPython(R"(
import sys
for line in open(sys.argv[1]):
    units = [int(u) for u in line.split(',')][:-1]
    print('=' + ''.join(map(chr, units)).encode('utf-8', 'surrogatepass').hex())
)",
                                                lines);
    for (size_t i = 0; i < python.size(); ++i)
        EXPECT_EQ(ours[i], python[i]) << lines[i];

    // Well-formed UTF-8 of any code point back to UTF-16, pairs included.
    lines.clear();
    std::vector<std::string> points;
    for (int i = 0; i < 300; ++i) {
        std::string line;
        for (u32 n = random() % 12; n > 0; --n) {
            u32 c;
            do
                c = random() % 2 ? 0x10000 + random() % 0x100000 : 1 + random() % 0xFFFF;
            while ((c >= 0xD800 && c < 0xE000) || c == 0xFEFF);
            line += std::to_string(c) + ",";
        }
        lines.push_back(line + "0");
    }
    python = RunPython(R"(
import sys
for line in open(sys.argv[1]):
    text = ''.join(map(chr, [int(u) for u in line.split(',')][:-1]))
    print(text.encode('utf-8').hex() + '=' + text.encode('utf-16-le').hex())
)",
                       lines);
    CClassicWideString wide;
    for (const std::string& line : python) {
        const size_t at = line.find('=');
        std::string utf8;
        for (size_t k = 0; k < at; k += 2)
            utf8 += char(std::stoi(line.substr(k, 2), nullptr, 16));
        wide.AssignUtf8(Ref(utf8));
        std::string utf16;
        for (char16_t c : Text(wide))
            utf16 += Hex(std::string{char(c & 0xFF), char(c >> 8)});
        EXPECT_EQ(utf16, line.substr(at + 1)) << line;
    }
}

} // namespace
