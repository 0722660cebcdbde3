#include "core/base/ClassicString.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <string_view>

namespace {

std::string Text(const CClassicString& s) {
    return std::string(s.GetText(), s.GetLength());
}
std::u16string Text(const CClassicWideString& s) {
    return std::u16string(s.GetText(), s.GetLength());
}

// The capacity header sits just below the text: one byte (narrow) or two bytes (wide) below 128,
// four bytes with the top bit set from 128 on. Each case checks the exact header bytes and that
// the capacity read back equals the reserved length.
TEST(ClassicString, CapacityHeaderFollowsTheBlockRule) {
    for (u32 capacity : {1u, 127u, 128u, 1000u}) {
        CClassicString narrow;
        narrow.SetLength(capacity, true, 'x');
        const u8* t = reinterpret_cast<const u8*>(narrow.GetText());
        EXPECT_EQ(narrow.GetCapacity(), capacity);
        if (capacity < 128) {
            EXPECT_EQ(t[-1], capacity);
        } else {
            EXPECT_EQ(t[-1] & 0x80, 0x80);
            EXPECT_EQ(u32(t[-4] | t[-3] << 8 | t[-2] << 16 | (t[-1] & 0x7F) << 24), capacity);
        }
        EXPECT_EQ(narrow.GetText()[capacity], 0);

        CClassicWideString wide;
        wide.SetLength(capacity, true, u'y');
        const u8* w = reinterpret_cast<const u8*>(wide.GetText());
        EXPECT_EQ(wide.GetCapacity(), capacity);
        if (capacity < 128)
            EXPECT_EQ(w[-1], capacity);
        else
            EXPECT_EQ(w[-1] & 0x80, 0x80);
        EXPECT_EQ(wide.GetText()[capacity], 0);
    }
}

// TryReserve keeps the text across every header size and refuses, unchanged, what cannot be.
TEST(ClassicString, TryReserveKeepsTheTextOrRefuses) {
    for (u32 start : {0u, 5u, 127u, 128u, 5000u}) {
        CClassicString s;
        for (u32 i = 0; i < start; ++i)
            s.AppendChar(char('a' + i % 26));
        const std::string before = Text(s);
        for (u32 n : {start + 1, 127u, 128u, 1000u, 70000u}) {
            ASSERT_TRUE(s.TryReserve(n, true)) << start << ' ' << n;
            EXPECT_GE(s.GetCapacity(), std::max(n, start));
            EXPECT_EQ(Text(s), before);
            EXPECT_EQ(s.GetText()[s.GetLength()], '\0');
        }
        s.SetLength(70000, true, 'x');
        EXPECT_EQ(Text(s).substr(0, start), before);
        const u32 capacity = s.GetCapacity();
        EXPECT_FALSE(s.TryReserve(0x80000000u, true));
        EXPECT_FALSE(s.TryReserve(0xFFFFFFFFu, true));
        EXPECT_EQ(s.GetCapacity(), capacity);
        EXPECT_EQ(s.GetLength(), 70000u);
    }
    CClassicWideString wide(u"wide text");
    ASSERT_TRUE(wide.TryReserve(300, true));
    ASSERT_TRUE(wide.TryReserve(3000, true));
    EXPECT_EQ(Text(wide), u"wide text");
}

// Texts from 2 MB on live in mappings of their own, aligned on a huge page below their 4-byte
// header. The text survives every change of kind and every growth, copies and moves keep it, and
// freeing gives the mapping back.
TEST(ClassicString, LargeTextsKeepTheirTextAcrossEveryGrowth) {
    const auto mapped = [](const void* text) {
        return (reinterpret_cast<uintptr_t>(text) - 4) % (uintptr_t(2) << 20) == 0;
    };
    const auto pattern = [](u32 i) { return char('a' + (i * 7 + i / 4099) % 26); };
    const auto holds = [&](const CClassicString& s, u32 n) {
        for (u32 i = 0; i < n; ++i)
            if (s.GetText()[i] != pattern(i))
                return false;
        return s.GetText()[s.GetLength()] == '\0';
    };
    CClassicString s;
    u32 length = 0;
    for (u32 capacity : {1u << 20, 3u << 20, 5u << 20, 40u << 20}) {
        ASSERT_TRUE(s.TryReserve(capacity, true)) << capacity;
        EXPECT_EQ(s.GetCapacity(), capacity);
        EXPECT_EQ(mapped(s.GetText()), capacity >= (2u << 20)) << capacity;
        EXPECT_TRUE(holds(s, length)) << capacity;
        // Filled to a little below the capacity, as a download fills its body.
        const u32 fill = capacity - 1000;
        s.SetLength(fill);
        for (u32 i = length; i < fill; ++i)
            s.GetText()[i] = pattern(i);
        length = fill;
    }
    CClassicString copy(s);
    EXPECT_TRUE(mapped(copy.GetText()));
    EXPECT_TRUE(holds(copy, length));
    CClassicString moved(std::move(copy));
    EXPECT_TRUE(holds(moved, length));
    moved.Reserve(length + (8u << 20), true);
    EXPECT_TRUE(holds(moved, length));
    moved.SetLength(10);
    EXPECT_TRUE(holds(moved, 10));
    moved.Assign("short");
    EXPECT_EQ(Text(moved), "short");
    s.FreeText();
    EXPECT_EQ(s.GetCapacity(), 0u);

    CClassicWideString wide(u"wide");
    ASSERT_TRUE(wide.TryReserve(1200000, true)); // 2.4 MB of characters
    EXPECT_TRUE(mapped(wide.GetText()));
    wide.SetLength(1200000, true, u'w');
    ASSERT_TRUE(wide.TryReserve(3000000, true));
    EXPECT_EQ(Text(wide).substr(0, 5), u"widew");
    EXPECT_EQ(wide.GetText()[1199999], u'w');
}

TEST(ClassicString, EmptyStringsShareOneTextAndNeverAllocate) {
    CClassicString a, b;
    EXPECT_EQ(a.GetText(), b.GetText());
    EXPECT_EQ(a.GetCapacity(), 0u);
    CClassicString fromNull(static_cast<const char*>(nullptr));
    EXPECT_EQ(fromNull.GetText(), a.GetText());
    EXPECT_EQ(g_ClassicStringEmpty.GetText(), a.GetText());
    CClassicWideString wa, wb;
    EXPECT_EQ(wa.GetText(), wb.GetText());
    EXPECT_EQ(g_ClassicWideStringEmpty.GetLength(), 0u);
}

TEST(ClassicString, SetLengthZeroKeepsTheBlockAndFreeTextReleasesIt) {
    CClassicString s("hello");
    const char* block = s.GetText();
    s.SetLength(0);
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(s.GetCapacity(), 5u);
    EXPECT_STREQ(s.GetText(), "");
    s.FreeText();
    EXPECT_EQ(s.GetText(), CClassicString().GetText());
}

// How many times a string built by 100 000 appends moved to another block.
template <class String, class Append>
u32 BlockMoves(Append append) {
    String s;
    u32 moves = 0;
    for (u32 i = 0; i < 100000; ++i) {
        const void* before = s.GetText();
        append(s, i);
        moves += s.GetText() != before;
    }
    return moves;
}

// Assigning and reserving give exact capacities; appends past the capacity double it (at least
// 64 characters), so a text built a piece at a time moves to a new block a logarithmic number
// of times, whichever append road it takes, narrow and wide.
TEST(ClassicString, AppendsGrowGeometricallyWhereOtherEditsAreExact) {
    CClassicString s("ab");
    EXPECT_EQ(s.GetCapacity(), 2u);
    s.Append("cde");
    EXPECT_EQ(s.GetCapacity(), 64u);
    s.Reserve(100, true);
    EXPECT_EQ(s.GetCapacity(), 100u);
    s.Append(std::string(99, 'x').c_str());
    EXPECT_EQ(s.GetCapacity(), 200u);
    s.Append(std::string(300, 'y').c_str());
    EXPECT_EQ(s.GetCapacity(), 404u);
    EXPECT_EQ(Text(s), "abcde" + std::string(99, 'x') + std::string(300, 'y'));

    using Narrow = CClassicString;
    using Wide = CClassicWideString;
    EXPECT_LE(BlockMoves<Narrow>([](Narrow& t, u32 i) { t.AppendChar(char('a' + i % 26)); }), 20u);
    EXPECT_LE(BlockMoves<Narrow>([](Narrow& t, u32) { t.Append("piece"); }), 20u);
    EXPECT_LE(BlockMoves<Narrow>([](Narrow& t, u32) { t.Append2("pi", "ece"); }), 20u);
    EXPECT_LE(BlockMoves<Narrow>([](Narrow& t, u32 i) { t.AppendInt(i32(i)); }), 20u);
    EXPECT_LE(BlockMoves<Narrow>([](Narrow& t, u32) { t.AppendWide(u"wide"); }), 20u);
    EXPECT_LE(BlockMoves<Wide>([](Wide& t, u32) { t.Append(u"piece"); }), 20u);
    EXPECT_LE(BlockMoves<Wide>([](Wide& t, u32) { t.AppendChar(u'\u00e9'); }), 20u);
    EXPECT_LE(BlockMoves<Wide>([](Wide& t, u32) { t.AppendNarrow("narrow"); }), 20u);
}

TEST(ClassicString, AssignAndAppendOfTheOwnText) {
    CClassicString s("abcdef");
    const char* block = s.GetText();
    s.Assign(s);
    EXPECT_EQ(s.GetText(), block);
    EXPECT_EQ(Text(s), "abcdef");

    // Refs pointing inside the own storage behave as copies of the text they show.
    s.Assign(CClassicStringRef(s.GetText() + 2, 3));
    EXPECT_EQ(Text(s), "cde");
    s.Append(s);
    EXPECT_EQ(Text(s), "cdecde");
    s.Prepend(CClassicStringRef(s.GetText() + 4, 2));
    EXPECT_EQ(Text(s), "decdecde");
    s.Assign(CClassicStringRef(s.GetText(), 3));
    EXPECT_EQ(Text(s), "dec");

    CClassicWideString w(u"xyz");
    w.Append(w);
    EXPECT_EQ(Text(w), u"xyzxyz");
}

TEST(ClassicString, PrependAppendAndChainedBuilding) {
    CClassicString s("world");
    s.Prepend("hello ");
    EXPECT_EQ(Text(s), "hello world");
    s.Prepend("");
    EXPECT_EQ(Text(s), "hello world");

    CClassicString line;
    line.Append("[Sys] ").Append(CClassicString("Os = ")).Append("Linux");
    EXPECT_EQ(Text(line), "[Sys] Os = Linux");
    line.Append2("\r", "\n");
    EXPECT_EQ(Text(line), "[Sys] Os = Linux\r\n");

    CClassicString three("a", "bc", "");
    EXPECT_EQ(Text(three), "abc");
    EXPECT_EQ(three.GetCapacity(), 3u);

    CClassicWideString w(u"b");
    w.Prepend(u"a");
    w.Prepend(CClassicWideStringRef());
    w.AppendChar(u'\u00e9');
    EXPECT_EQ(Text(w), u"ab\u00e9");
}

TEST(ClassicString, MoveFromTakesTheTextAndEmptiesTheSource) {
    CClassicString a("first"), b("second");
    const char* text = b.GetText();
    a.MoveFrom(b);
    EXPECT_EQ(a.GetText(), text);
    EXPECT_EQ(b.GetLength(), 0u);
    EXPECT_EQ(b.GetText(), CClassicString().GetText());
}

TEST(ClassicString, Cutting) {
    struct Case {
        const char* name;
        void (*edit)(CClassicString&);
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        {"Truncate", [](CClassicString& s) { s.Truncate(2); }, "abcd", "ab"},
        {"TruncateBeyond", [](CClassicString& s) { s.Truncate(9); }, "abcd", "abcd"},
        {"KeepRight", [](CClassicString& s) { s.KeepRight(2); }, "abcd", "cd"},
        {"KeepRightBeyond", [](CClassicString& s) { s.KeepRight(4); }, "abcd", "abcd"},
        {"TruncateAtCharDrop", [](CClassicString& s) { s.TruncateAtChar('.', true); },
         "name.ext.zun", "name"},
        {"TruncateAtCharKeep", [](CClassicString& s) { s.TruncateAtChar('.', false); }, "name.ext",
         "name."},
        {"KeepFromCharDrop", [](CClassicString& s) { s.KeepFromChar('=', true); }, "k=v=w", "v=w"},
        {"KeepFromCharKeep", [](CClassicString& s) { s.KeepFromChar('=', false); }, "k=v", "=v"},
        {"TrimLeft", [](CClassicString& s) { s.TrimLeft(" \t"); }, " \t a b ", "a b "},
        {"TrimRight", [](CClassicString& s) { s.TrimRight(" \t"); }, " a b \t ", " a b"},
        {"TrimAll", [](CClassicString& s) { s.TrimRight(" "); }, "   ", ""},
        {"RemoveChars", [](CClassicString& s) { s.RemoveChars("-/"); }, "1-2/3-4", "1234"},
        {"ToUpperRange", [](CClassicString& s) { s.ToUpper(1, 2); }, "abcd", "aBCd"},
        {"ToUpperClipped", [](CClassicString& s) { s.ToUpper(2, 100); }, "ab\xe9z", "ab\xe9Z"},
        {"ToLower", [](CClassicString& s) { s.ToLower(); }, "AbC", "abc"},
        {"ToUpperBeyond", [](CClassicString& s) { s.ToUpper(9); }, "ab", "ab"},
        {"CapitalizeWords", [](CClassicString& s) { s.CapitalizeWords(); }, "  two  words",
         "  Two  Words"},
        {"CapitalizeFromPos", [](CClassicString& s) { s.CapitalizeWords(3); }, "ab cd\tef\r\ngh",
         "ab Cd\tEf\r\nGh"},
    };
    for (const Case& c : cases) {
        CClassicString s(c.input);
        c.edit(s);
        EXPECT_EQ(Text(s), c.expected) << c.name;
        EXPECT_EQ(s.GetText()[s.GetLength()], 0) << c.name;
    }
}

TEST(ClassicString, CutFailuresChangeNothing) {
    CClassicString s("abc");
    EXPECT_FALSE(s.TruncateAtChar('x', true));
    EXPECT_FALSE(s.KeepFromChar('x', true));
    EXPECT_EQ(Text(s), "abc");

    CClassicWideString w(u"abcdef");
    w.KeepAfter(2);
    EXPECT_EQ(Text(w), u"def");
    w.KeepAfter(2);
    EXPECT_EQ(Text(w), u"");
}

TEST(ClassicString, RemovePrefixTrimsOnlyWhereAsked) {
    CClassicString s("  GET /x");
    EXPECT_FALSE(s.RemovePrefix("GET", false, false));
    EXPECT_EQ(Text(s), "  GET /x");
    EXPECT_TRUE(s.RemovePrefix("GET", true, true));
    EXPECT_EQ(Text(s), "/x");

    CClassicString t(" \r\nabc");
    EXPECT_FALSE(t.RemovePrefix("x", true, false));
    EXPECT_EQ(Text(t), "abc"); // the trim before the test is done either way
}

TEST(ClassicString, ReplaceCharCountsReplacements) {
    struct Case {
        const char* input;
        u32 pos, count;
        bool result;
        const char* expected;
    };
    const Case cases[] = {
        {"a/b/c", 0, 0, true, "a\\b/c"},  {"a/b/c", 0, 1, true, "a\\b/c"},
        {"a/b/c", 0, 2, true, "a\\b\\c"}, {"a/b/c", 0, 3, false, "a\\b\\c"},
        {"a/b/c", 2, 1, true, "a/b\\c"},  {"abc", 0, 1, false, "abc"},
    };
    for (const Case& c : cases) {
        CClassicString s(c.input);
        EXPECT_EQ(s.ReplaceChar('/', '\\', c.pos, c.count), c.result) << c.input << c.count;
        EXPECT_EQ(Text(s), c.expected);
    }
}

TEST(ClassicString, ReplaceTexts) {
    struct Case {
        const char* input;
        const char* searched;
        const char* replacement;
        u32 pos, count;
        bool result;
        const char* expected;
    };
    const Case cases[] = {
        {"a.b.c", ".", "::", 0, 0, true, "a::b.c"}, {"a.b.c", ".", "::", 0, 9, true, "a::b::c"},
        {"aaaa", "a", "aa", 0, 3, true, "aaaaaaa"}, // the search resumes after the replacement
        {"xyxy", "xy", "", 0, 5, true, ""},         {"abcabc", "abc", "Z", 1, 2, true, "abcZ"},
        {"abc", "x", "y", 0, 1, false, "abc"},      {"abc", "", "y", 0, 9, false, "abc"},
    };
    for (const Case& c : cases) {
        CClassicString s(c.input);
        EXPECT_EQ(s.Replace(c.searched, c.replacement, c.pos, c.count), c.result) << c.input;
        EXPECT_EQ(Text(s), c.expected) << c.input << " " << c.searched;
    }
}

TEST(ClassicString, ReplaceRange) {
    CClassicString s("0123456789");
    s.ReplaceRange(2, "ab", 5);
    EXPECT_EQ(Text(s), "01ab789");
    s.ReplaceRange(0, "long text", 1);
    EXPECT_EQ(Text(s), "long text1ab789");
    s.ReplaceRange(14, "x", 2);
    EXPECT_EQ(Text(s), "long text1ab789");
    s.ReplaceRange(15, "!", 0);
    EXPECT_EQ(Text(s), "long text1ab789!");
}

TEST(ClassicString, CompareWithLengthLimits) {
    struct Case {
        const char* a;
        const char* b;
        u32 n;
        int sign;
    };
    const Case cases[] =
        {
            {"abcd", "abc", 4, -1}, {"abcd", "abc", 3, 0}, {"abc", "abd", 0, -1},
            {"abd", "abc", 0, 1},   {"ab", "abc", 0, -1},  {"", "", 0, 0},
            {"\xe9", "a", 0, 1}, // bytes compare unsigned
        };
    for (const Case& c : cases) {
        const i32 r = CClassicString(c.a).Compare(c.b, c.n);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " " << c.b << " " << c.n;
    }
    EXPECT_EQ(CClassicString("Hello").CompareNoCase("hELLO"), 0);
    EXPECT_NE(CClassicString("\xe9").CompareNoCase("\xc9"), 0); // only ASCII letters fold
    EXPECT_EQ(CClassicWideString(u"Path").CompareNoCase(u"PATH"), 0);
    EXPECT_EQ(CClassicWideString(u"ab").Compare(u"abc", 3), -1);
    // A ref that is not NUL-terminated at its length compares by its length.
    EXPECT_EQ(CClassicString("ab").Compare(CClassicStringRef("abc", 2)), 0);
}

// Long texts that share a prefix, with and without an embedded NUL, compare as C texts do.
TEST(ClassicString, CompareMatchesCTextOrder) {
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        std::string a(random() % 300, 'a');
        std::string b = random() % 4 ? a : std::string(random() % 300, 'a');
        for (std::string* t : {&a, &b})
            if (!t->empty() && random() % 2)
                (*t)[random() % t->size()] = "bz\0"[random() % 3];
        const CClassicString sa(CClassicStringRef(a.data(), u32(a.size())));
        const int expected = std::strcmp(a.c_str(), b.c_str());
        const i32 r = sa.Compare(CClassicStringRef(b.data(), u32(b.size())));
        ASSERT_EQ((r > 0) - (r < 0), (expected > 0) - (expected < 0)) << round;
        const u32 n = 1 + random() % 300;
        const i32 limited = sa.Compare(CClassicStringRef(b.data(), u32(b.size())), n);
        if (a.size() < n || b.size() < n) {
            ASSERT_EQ(limited, -1);
        } else {
            const int e = std::strncmp(a.c_str(), b.c_str(), n);
            ASSERT_EQ((limited > 0) - (limited < 0), (e > 0) - (e < 0)) << round;
        }
    }
}

TEST(ClassicString, Searching) {
    const CClassicString s("a,b;c,d");
    EXPECT_EQ(s.Find(','), 1);
    EXPECT_EQ(s.Find(',', 2), 5);
    EXPECT_EQ(s.Find('x'), -1);
    EXPECT_EQ(s.Find('a', 99), -1);
    EXPECT_EQ(s.ReverseFind(','), 5);
    EXPECT_EQ(s.ReverseFind(',', 4), 1);
    EXPECT_EQ(s.ReverseFind('a', 0), 0);
    EXPECT_EQ(CClassicString().ReverseFind('a'), -1);
    EXPECT_EQ(s.FindFirstOf(";,", 2), 3);
    EXPECT_EQ(s.FindFirstOf("xy"), -1);
    EXPECT_EQ(s.FindSubstring("c,d"), 4);
    EXPECT_EQ(s.FindSubstring("C,D", 0, true), -1);
    EXPECT_EQ(s.FindSubstring("C,D", 0, false), 4);
    EXPECT_EQ(s.FindSubstring("a", 1), -1);
    EXPECT_EQ(s.FindSubstring("b;", 99), -1);
    EXPECT_EQ(s.FindSubstring(CClassicStringRef("b;zz", 2)), 2);

    CClassicWideString w(u"x\\y\\z");
    EXPECT_EQ(w.Find(u'\\', 2), 3);
}

TEST(ClassicString, SearchesStopAtAnEmbeddedNul) {
    CClassicString s("ab");
    s.AppendChar('\0');
    s.Append("cd");
    EXPECT_EQ(s.GetLength(), 5u);
    EXPECT_EQ(s.Find('c'), -1);
    EXPECT_EQ(s.FindSubstring("cd"), -1);
    EXPECT_EQ(s.FindFirstOf("c"), -1);
    EXPECT_EQ(s.Compare("ab"), 0);
}

TEST(ClassicString, GetLineHandlesCrLfAndLfEndings) {
    struct Case {
        const char* text;
        u32 index;
        bool found;
        const char* line;
    };
    const Case cases[] = {
        {"one\r\ntwo\r\n", 0, true, "one"},
        {"one\r\ntwo\r\n", 1, true, "two"},
        {"one\r\ntwo\r\n", 2, false, ""},
        {"one\ntwo", 0, true, "one"},
        {"one\ntwo", 1, true, "two"},
        {"one\ntwo", 2, false, ""},
        {"\n\nx", 1, true, ""},
        {"a\r\n\r\nb", 1, true, ""},
        {"last\r", 0, true, "last\r"},
        {"", 0, false, ""},
    };
    for (const Case& c : cases) {
        CClassicString out("stale");
        EXPECT_EQ(CClassicStringRef(c.text).GetLine(c.index, out), c.found)
            << c.text << " " << c.index;
        EXPECT_EQ(Text(out), c.line) << c.index;
    }
}

// Random edits checked against std::string, so that the sanitizers see every reallocation path.
TEST(ClassicString, RandomEditsMatchStdString) {
    std::mt19937 random(7);
    CClassicString s;
    std::string model;
    auto piece = [&] {
        std::string p(random() % 6, 'a');
        for (char& c : p)
            c = "ab/."[random() % 4];
        return p;
    };
    for (int step = 0; step < 4000; ++step) {
        const std::string p = piece();
        switch (random() % 6) {
            case 0:
                s.Append(p.c_str());
                model += p;
                break;
            case 1:
                s.Prepend(p.c_str());
                model = p + model;
                break;
            case 2: {
                const u32 n = random() % (model.size() + 2);
                s.Truncate(n);
                model = model.substr(0, std::min<size_t>(n, model.size()));
                break;
            }
            case 3: {
                const std::string searched = p.empty() ? "a" : p.substr(0, 2);
                const std::string with = piece();
                s.Replace(searched.c_str(), with.c_str(), 0, 1);
                const size_t at = model.find(searched);
                if (at != std::string::npos)
                    model.replace(at, searched.size(), with);
                break;
            }
            case 4: {
                const u32 pos = random() % (model.size() + 1);
                const u32 n = random() % (model.size() - pos + 1);
                s.ReplaceRange(pos, p.c_str(), n);
                model.replace(pos, n, p);
                break;
            }
            case 5:
                if (model.size() > 64) {
                    s.KeepRight(16);
                    model = model.substr(model.size() - 16);
                }
                break;
        }
        ASSERT_EQ(Text(s), model) << "step " << step;
        ASSERT_EQ(s.GetText()[s.GetLength()], 0);
    }
}

// Reference models of the comparing, searching and replacing roads, written straight from their
// rules, one character at a time.
using namespace std::string_view_literals;

int Sign(int v) {
    return (v > 0) - (v < 0);
}

// Characters compare as unsigned bytes, a position past a length reads as NUL, and a NUL at the
// same place in both texts ends them as equal.
int ModelCompare(std::string_view a, std::string_view b, u32 n) {
    size_t limit = std::max(a.size(), b.size());
    if (n != 0) {
        if (a.size() < n || b.size() < n)
            return -1;
        limit = n;
    }
    for (size_t i = 0; i < limit; ++i) {
        const int ca = i < a.size() ? u8(a[i]) : 0, cb = i < b.size() ? u8(b[i]) : 0;
        if (ca != cb)
            return Sign(ca - cb);
        if (ca == 0)
            return 0;
    }
    return 0;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 32) : c;
}

// The searched text ends at its first NUL; the search ends at the text's first NUL after pos.
// Without case, both are upper-cased first (ASCII letters only).
int ModelFind(std::string_view text, u32 pos, std::string_view searched, bool caseSensitive) {
    if (pos > text.size())
        return -1;
    std::string hay(text), needle(searched.substr(0, searched.find('\0')));
    if (!caseSensitive) {
        std::transform(hay.begin(), hay.end(), hay.begin(), Upper);
        std::transform(needle.begin(), needle.end(), needle.begin(), Upper);
    }
    const size_t end = std::min(hay.find('\0', pos), hay.size());
    for (size_t i = pos; i + needle.size() <= end; ++i)
        if (hay.compare(i, needle.size(), needle) == 0)
            return int(i);
    return -1;
}

// One occurrence at a time, each search starting just after the last replacement.
bool ModelReplace(std::string& text, std::string_view searched, std::string_view replacement,
                  u32 pos, u32 count) {
    const std::string_view needle = searched.substr(0, searched.find('\0'));
    if (needle.empty())
        return false;
    int at = ModelFind(text, pos, needle, true);
    if (at < 0)
        return false;
    for (u32 done = 0; at >= 0 && done < std::max(count, 1u); ++done) {
        text.replace(size_t(at), needle.size(), replacement);
        at = ModelFind(text, u32(at + replacement.size()), needle, true);
    }
    return true;
}

// A string holding exactly the text (its block has no room past the NUL), so that the sanitizers
// catch any read beyond it.
CClassicString Exact(std::string_view text) {
    return CClassicString(CClassicStringRef(text.data(), u32(text.size())));
}

// A ref over a heap copy of exactly the text's characters, without a NUL after them.
struct UnterminatedRef {
    explicit UnterminatedRef(std::string_view text) : m_Chars(new char[text.size()]) {
        std::copy(text.begin(), text.end(), m_Chars.get());
        m_Ref = CClassicStringRef(m_Chars.get(), u32(text.size()));
    }
    std::unique_ptr<char[]> m_Chars;
    CClassicStringRef m_Ref;
};

TEST(ClassicString, CompareEdgeCasesMatchTheModel) {
    struct Case {
        std::string_view a, b;
        u32 n;
        int sign;
    };
    const Case cases[] = {
        {"", "", 0, 0},
        {"", "a", 0, -1},
        {"a", "", 0, 1},
        {"abc", "abc", 0, 0},
        {"abx", "ab", 0, 1},
        {"ab", "abx", 0, -1},
        {"ab\0x"sv, "ab\0y"sv, 0, 0}, // a NUL in both ends the texts
        {"ab\0x"sv, "ab", 0, 0},      // the longer one's NUL stands for the other's end
        {"ab", "ab\0x"sv, 0, 0},
        {"a\0bc"sv, "a", 0, 0}, // a NUL inside the longer one's extra part
        {"xy\0z"sv, "x", 0, 1},
        {"x", "xy\0z"sv, 0, -1},
        {"a\0b"sv, "a\0c"sv, 3, 0},
        {"abcd", "abc", 4, -1}, // a length below n
        {"abc", "abcd", 4, -1},
        {"abcd", "abc", 3, 0},
        {"abc", "abd", 2, 0},
        {"abc", "abd", 3, -1},
        {"", "", 1, -1},
        {"\xe9", "a", 0, 1}, // bytes compare unsigned
        {"a", "\xe9", 0, -1},
        {"A", "a", 0, -1}, // case counts
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ModelCompare(c.a, c.b, c.n), c.sign);
        const UnterminatedRef b(c.b);
        EXPECT_EQ(Sign(Exact(c.a).Compare(b.m_Ref, c.n)), c.sign)
            << testing::PrintToString(std::string(c.a)) << " "
            << testing::PrintToString(std::string(c.b)) << " " << c.n;
    }
}

TEST(ClassicString, FindSubstringEdgeCasesMatchTheModel) {
    struct Case {
        std::string_view text, searched;
        u32 pos;
        bool caseSensitive;
        int expected;
    };
    const std::string padded = std::string(15, '.') + "Needle" + std::string(20, '.');
    const std::string endOfBlock = std::string(30, 'n') + "nE";
    const std::string nulAfterBlocks = std::string(40, 'a') + std::string("\0a", 2);
    const Case cases[] = {
        {"abcabc", "bc", 0, true, 1},
        {"abcabc", "bc", 2, true, 4},
        {"aaaa", "aa", 1, true, 1}, // occurrences overlap
        {"aaa", "aa", 2, true, -1},
        {"ab\0cd"sv, "cd", 0, true, -1},    // the search ends at a NUL
        {"ab\0cd"sv, "cd", 3, true, 3},     // ... after pos
        {"ab\0cd"sv, "b\0c"sv, 0, true, 1}, // the searched text ends at its NUL
        {"abc", "", 2, true, 2},
        {"abc", "", 3, false, 3},
        {"", "", 0, true, 0},
        {"", "a", 0, false, -1},
        {"abc", "a", 4, true, -1},
        {"ab", "abc", 0, false, -1},
        {"xxab", "ab", 0, true, 2},
        {"ABC", "abc", 0, true, -1},
        {"Hello World", "WORLD", 0, false, 6},
        {"xyzA", "a", 0, false, 3},
        {"caf\xc9", "\xe9", 0, false, -1}, // only ASCII letters fold
        {"caf\xe9", "\xe9", 0, false, 3},
        {"a{b", "[", 0, false, -1},
        {"`", "@", 0, false, -1},
        {"ab\0AB"sv, "ab", 1, false, -1},
        {"ab\0AB"sv, "AB", 3, false, 3},
        {padded, "nEEDLE", 0, false, 15}, // across sixteen-character blocks
        {padded, "Needle", 16, true, -1},
        {endOfBlock, "NE", 0, false, 30}, // candidates at every n, the match in the tail
        {endOfBlock, "nE", 1, true, 30},
        {nulAfterBlocks, "aa", 39, false, -1},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(ModelFind(c.text, c.pos, c.searched, c.caseSensitive), c.expected);
        const UnterminatedRef searched(c.searched);
        EXPECT_EQ(Exact(c.text).FindSubstring(searched.m_Ref, c.pos, c.caseSensitive), c.expected)
            << testing::PrintToString(std::string(c.text)) << " "
            << testing::PrintToString(std::string(c.searched)) << " " << c.pos << " "
            << c.caseSensitive;
    }
}

TEST(ClassicString, ReplaceEdgeCasesMatchTheModel) {
    struct Case {
        std::string_view text;
        u32 spare; // capacity beyond the text
        std::string_view searched, replacement;
        u32 pos, count;
        bool result;
        std::string_view expected;
    };
    const Case cases[] = {
        {"aaaa", 0, "aa", "b", 0, 9, true, "bb"}, // occurrences overlap
        {"aaa", 0, "aa", "b", 0, 9, true, "ba"},
        {"aaaa", 0, "aa", "aaa", 0, 9, true, "aaaaaa"},
        {"abab", 0, "ab", "abab", 0, 9, true, "abababab"},     // replacements are not searched
        {"a.b\0.c"sv, 0, ".", "::", 0, 9, true, "a::b\0.c"sv}, // the search ends at a NUL
        {"a.b\0.c"sv, 0, ".", "::", 4, 9, true, "a.b\0::c"sv},
        {"a.b.c", 0, ".", "\0"sv, 0, 9, true, "a\0b\0c"sv},   // NULs in the replacement
        {"ab\0c"sv, 0, "b\0x"sv, "Y", 0, 9, true, "aY\0c"sv}, // the searched text ends at its NUL
        {"", 0, "a", "b", 0, 9, false, ""},
        {"", 4, "a", "b", 0, 9, false, ""},
        {"a--b--c", 0, "--", "", 0, 9, true, "abc"},
        {"a.b.c.d", 0, ".", "::", 0, 2, true, "a::b::c.d"},
        {"a.b", 0, ".", "::", 0, 5, true, "a::b"},
        {"a.b", 0, ".", "::", 4, 5, false, "a.b"},
        {"x.y.z", 10, ".", "::", 0, 9, true, "x::y::z"}, // grows inside its block
        {"x.y.z", 1, ".", "::", 0, 9, true, "x::y::z"},  // needs a new block
        {"x::y::z", 3, "::", ".", 0, 9, true, "x.y.z"},  // shrinks in place
        {"x::y::z", 0, "::", "..", 1, 9, true, "x..y..z"},
    };
    for (const Case& c : cases) {
        std::string model(c.text);
        ASSERT_EQ(ModelReplace(model, c.searched, c.replacement, c.pos, c.count), c.result);
        ASSERT_EQ(model, c.expected);

        CClassicString s = Exact(std::string(c.text) + std::string(c.spare, '#'));
        s.Truncate(u32(c.text.size()));
        const u32 capacity = s.GetCapacity();
        const UnterminatedRef searched(c.searched), replacement(c.replacement);
        EXPECT_EQ(s.Replace(searched.m_Ref, replacement.m_Ref, c.pos, c.count), c.result)
            << testing::PrintToString(std::string(c.text));
        EXPECT_EQ(Text(s), c.expected) << testing::PrintToString(std::string(c.text));
        EXPECT_EQ(s.GetText()[s.GetLength()], 0);
        // The block changes only when the text outgrows it, and then holds exactly the text.
        EXPECT_EQ(s.GetCapacity(), std::max(capacity, s.GetLength()));
    }
}

// Random texts over a small alphabet with both cases and NULs, long enough for the searches'
// sixteen-character steps, against the models.
TEST(ClassicString, SearchAndReplaceMatchTheModelsOnRandomTexts) {
    std::mt19937 random(11);
    auto text = [&](size_t length, const char* alphabet, size_t letters) {
        std::string t(length, ' ');
        for (char& c : t)
            c = alphabet[random() % letters];
        return t;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string hay = text(random() % 90, "aAbB.\0", random() % 4 ? 5 : 6);
        const std::string needle = text(random() % 4, "aAbB.\0", random() % 4 ? 5 : 6);
        const u32 pos = u32(random() % (hay.size() + 2));
        const CClassicString s = Exact(hay);
        for (bool caseSensitive : {true, false})
            ASSERT_EQ(s.FindSubstring(UnterminatedRef(needle).m_Ref, pos, caseSensitive),
                      ModelFind(hay, pos, needle, caseSensitive))
                << round << " " << testing::PrintToString(hay) << " "
                << testing::PrintToString(needle) << " " << pos;
        ASSERT_EQ(Sign(s.Compare(UnterminatedRef(needle).m_Ref)), ModelCompare(hay, needle, 0));

        const std::string replacement = text(random() % 5, "xy\0", 3);
        const u32 count = std::array<u32, 5>{0, 1, 2, 3, 1000}[random() % 5];
        CClassicString r = Exact(hay + std::string(random() % 40, '#'));
        r.Truncate(u32(hay.size()));
        std::string model = hay;
        ASSERT_EQ(r.Replace(UnterminatedRef(needle).m_Ref, UnterminatedRef(replacement).m_Ref, pos,
                            count),
                  ModelReplace(model, needle, replacement, pos, count))
            << round;
        ASSERT_EQ(Text(r), model) << round;
    }
}

} // namespace
