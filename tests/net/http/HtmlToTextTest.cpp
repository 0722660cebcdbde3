// The tag stripper over small pages and the edges of its rules.
#include "net/http/HtmlToText.h"

#include <gtest/gtest.h>
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

} // namespace
