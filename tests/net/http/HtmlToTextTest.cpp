// The tag stripper over small pages and the edges of its rules.
#include "net/http/HtmlToText.h"

#include <cctype>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace {

std::string Strip(const std::string& html, bool collapse) {
    CClassicString text(CClassicStringRef(html.data(), u32(html.size())));
    HtmlToText(text, collapse);
    EXPECT_EQ(text.GetText()[text.GetLength()], '\0');
    return std::string(text.GetText(), text.GetLength());
}

TEST(HtmlToText, Table) {
    struct Case {
        const char* Html;
        bool Collapse;
        const char* Text;
    };
    const Case cases[] = {
        {"", true, ""},
        // The master server's answer page: the head goes, the blanks of the tags before the
        // text fall as leading blanks, the closing tags after it leave one.
        {"<html><head><title>Title</title></head><body>0;OK</body></html>", true, "0;OK "},
        {"<html><head><title>Title</title></head><body>0;OK</body></html>", false, "  0;OK  "},
        {"a  \t b", true, "a b"},
        {"a  \t b", false, "a  \t b"},
        {" \t x", true, "x"},
        {"a\r\n  b\n", true, "a\r\n b\n"},
        {"<HEAD>hidden<BoDy>shown", true, "shown"},
        // Closing tags of head and body change nothing.
        {"<head>x</head>y</body>z", true, ""},
        {"<body>x</body>y", true, "x y"},
        // A '<' near the end compares only the characters that are there.
        {"ab<he", false, "ab "},
        {"ab<", false, "ab "},
        {"<head>x<body", false, " "},
        {"a<b c", true, "a "},
        {"1 < 2 > 0", false, "1   0"},
        // "<header" starts with "head" too and hides what follows: the pages rely on the rule.
        {"<header>z", true, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Strip(c.Html, c.Collapse), c.Text) << '"' << c.Html << '"' << c.Collapse;
}

// A large page of tags collapses to its words.
TEST(HtmlToText, LongPage) {
    std::string html = "<html><body>";
    std::string expected;
    for (int i = 0; i < 20000; ++i) {
        html += "<p class=\"x\">word" + std::to_string(i) + "</p>   \t";
        expected += "word" + std::to_string(i) + " ";
    }
    EXPECT_EQ(Strip(html, true), expected);
}

// The rules read one character at a time, without skipping ahead.
std::string ReadByCharacter(const std::string& html, bool collapse) {
    std::string out;
    bool inTag = false, keep = true, lastWasBlank = true;
    auto startsWith = [&](size_t at, const char* word) {
        for (size_t k = 0; k < 4; ++k)
            if (at + k >= html.size() || std::tolower(u8(html[at + k])) != word[k])
                return false;
        return true;
    };
    for (size_t i = 0; i < html.size(); ++i) {
        char c = html[i];
        if (inTag) {
            inTag = c != '>';
            continue;
        }
        if (c == '<') {
            inTag = true;
            if (startsWith(i + 1, "head"))
                keep = false;
            else if (startsWith(i + 1, "body"))
                keep = true;
            c = ' ';
        }
        if (!keep)
            continue;
        const bool blank = c == ' ' || c == '\t';
        if (collapse && blank && lastWasBlank)
            continue;
        lastWasBlank = blank;
        out += c;
    }
    return out;
}

// Tags and gaps of every length from none to far past the stripper's short scans, with head and
// body switches among them.
TEST(HtmlToText, AgreesWithAReadingByCharacter) {
    std::mt19937 random(7);
    const char* pieces[] = {"<", ">", "<head", "<BODY", " ", "\t", "x", "he", "ad"};
    for (int round = 0; round < 2000; ++round) {
        std::string html;
        const int count = int(random() % 12);
        for (int k = 0; k < count; ++k) {
            const char* piece = pieces[random() % std::size(pieces)];
            html.append(random() % 3 == 0 ? random() % 40 : 1, piece[0]);
            html += piece;
        }
        for (bool collapse : {false, true})
            ASSERT_EQ(Strip(html, collapse), ReadByCharacter(html, collapse))
                << '"' << html << '"' << collapse;
    }
}

} // namespace
