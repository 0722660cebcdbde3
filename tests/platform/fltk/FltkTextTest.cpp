#include "platform/ui/fltk/FltkText.h"

#include "platform/ui/FileDialog.h"

#include <FL/filename.H>
#include <gtest/gtest.h>
#include <string>

namespace {

// Labels keep '&' (the widget decides whether it underlines), double '@' (FLTK draws symbols)
// and break lines at "\r\n", "\r" and "\n"; drop-down entries show '&' as it stands.
TEST(FltkText, LabelsAndEntries) {
    struct Case {
        const char* text;
        const char* label;
        const char* entry;
    };
    const Case cases[] = {
        {"OK", "OK", "OK"},
        {"&Save", "&Save", "&&Save"},
        {"Fish && Chips", "Fish && Chips", "Fish &&&& Chips"},
        {"2 Frames & Half", "2 Frames & Half", "2 Frames && Half"},
        {"@home", "@@home", "@@home"},
        {"mail@host.com @", "mail@@host.com @@", "mail@@host.com @@"},
        {"one\r\ntwo\rthree\nfour", "one\ntwo\nthree\nfour", "one\ntwo\nthree\nfour"},
        {"\r\n\r\n", "\n\n", "\n\n"},
        {"a/b_c\td|e", "a/b_c\td|e", "a/b_c\td|e"},
        {"Fran\xC3\xA7"
         "ais",
         "Fran\xC3\xA7"
         "ais",
         "Fran\xC3\xA7"
         "ais"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ui::fltk::Label(c.text), c.label);
        EXPECT_EQ(ui::fltk::MenuItem(c.text), c.entry);
    }
}

// The chooser's filter: the description (parentheses as brackets, since FLTK's chooser reads
// the pattern from the first '('), a tab, the patterns free of case.
TEST(FltkText, FilterForTheChooser) {
    struct Case {
        const char* description;
        const char* patterns;
        const char* filter;
    };
    const Case cases[] = {
        {"images files (*.tga,*.jpg)", "*.tga;*.jpg",
         "images files [*.tga,*.jpg]\t{*.[tT][gG][aA],*.[jJ][pP][gG]}"},
        {"Replays", " *.Replay.Zun ", "Replays\t*.[rR][eE][pP][lL][aA][yY].[zZ][uU][nN]"},
        {"All", "*.*", "All\t*"},
        {"Any", "*.txt;*.*", "Any\t*"},
        {"None", ";;", "None\t*"},
        {"Odd {x}", "a{b},c|d[e]\\f/g&h(i)",
         "Odd {x}\t[aA]?[bB]??[cC]?[dD]?[eE]??[fF]?[gG]?[hH]?[iI]?"},
        {"A/B & C|D @x", "*.1",
         "A/B && C\xC2\xA6"
         "D @@x\t*.1"},
        {"_lead \\ back_", "x?", " _lead / back_\t[xX]?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        EXPECT_EQ(ui::fltk::Filter(c.description, c.patterns), c.filter);
    }
}

// FLTK's own matcher takes the converted patterns as the layer takes the originals: ASCII
// letters in any case, '*' and '?', "*.*" for every name. Where a reserved character became
// '?', FLTK shows at least what the layer accepts.
TEST(FltkText, PatternsMatchThroughFltk) {
    struct Case {
        const char* patterns;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*.tga;*.jpg", "a.tga", true},
        {"*.tga;*.jpg", "a.TGA", true},
        {"*.tga;*.jpg", "Photo.JpG", true},
        {"*.tga;*.jpg", "x.tGa", true},
        {"*.tga;*.jpg", "d.png", false},
        {"*.tga;*.jpg", "e.tga.bak", false},
        {"*.tga;*.jpg", "tga", false},
        {"*.tga;*.jpg", "f.jpeg", false},
        {"*.Replay.Zun", "Bench.replay.ZUN", true},
        {"*.Replay.Zun", "Bench.Replay.Zun.old", false},
        {"ab?.txt", "ABC.TXT", true},
        {"ab?.txt", "ab.txt", false},
        {"*.*", "README", true},
        {"*.*", "a.b", true},
        {"", "anything", true},
        {"*.\xC3\xA9t\xC3\xA9", "x.\xC3\xA9T\xC3\xA9", true},
        {"*.\xC3\xA9t\xC3\xA9", "x.\xC3\x89t\xC3\xA9", false}, // only ASCII letters fold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.patterns) + " / " + c.name);
        const std::string pattern = ui::fltk::Patterns(c.patterns);
        EXPECT_EQ(fl_filename_match(c.name, pattern.c_str()) != 0, c.match) << pattern;
        EXPECT_EQ(ui::MatchesPatterns(c.name, c.patterns), c.match);
    }
    const struct {
        const char* patterns;
        const char* name;
    } reserved[] = {
        {"a{b}.x", "a{b}.x"}, {"a,b.x", "A,B.X"},   {"[x].y", "[x].y"},
        {"a\\b", "a\\b"},     {"a&b(1)", "A&B(1)"},
    };
    for (const auto& c : reserved) {
        SCOPED_TRACE(c.patterns);
        ASSERT_TRUE(ui::MatchesPatterns(c.name, c.patterns));
        EXPECT_TRUE(fl_filename_match(c.name, ui::fltk::Patterns(c.patterns).c_str()));
    }
}

} // namespace
