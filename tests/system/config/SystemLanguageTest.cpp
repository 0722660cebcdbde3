#include "system/config/SystemLanguage.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

TEST(SystemLanguage, CodesOfLanguageIds) {
    struct Case {
        u32 LangId;
        const char* Code;
    };
    const Case cases[] = {
        {0x0404, "zh"}, {0x0804, "zh"}, {0x0405, "cz"}, {0x0407, "de"}, {0x0C0A, "es"},
        {0x040C, "fr"}, {0x0C0C, "fr"}, {0x040E, "hu"}, {0x0410, "it"}, {0x0411, "jp"},
        {0x0412, "ko"}, {0x0415, "pl"}, {0x0419, "ru"}, {0x041E, "th"}, {0x0439, "hi"},
        {0x0409, "en"}, {0x0416, "en"}, {0x0816, "en"}, {0x0413, "en"}, {0x0000, "en"},
        {0x0005, "cz"}, {0xFC07, "de"},
    };
    for (const Case& c : cases)
        EXPECT_STREQ(LanguageCodeOfLangId(c.LangId), c.Code) << std::hex << c.LangId;
}

TEST(SystemLanguage, FollowsTheLocaleVariables) {
    const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved[3];
    for (u32 i = 0; i < 3; ++i) {
        if (const char* value = std::getenv(names[i]))
            saved[i] = value;
    }
    struct Case {
        const char* Values[3]; // null: unset
        const char* Code;
    };
    const Case cases[] = {
        {{nullptr, nullptr, "cs_CZ.UTF-8"}, "cz"},
        {{nullptr, nullptr, "ja_JP.UTF-8"}, "jp"},
        {{nullptr, "zh_CN.GB18030", "de_DE"}, "zh"},
        {{"fr_CA.UTF-8", "de_DE", "it_IT"}, "fr"},
        {{"", "", "ko_KR.EUC-KR"}, "ko"},
        {{"C", "de_DE", "de_DE"}, "en"},
        {{nullptr, "POSIX", "de_DE"}, "en"},
        {{nullptr, nullptr, "pt_PT"}, "en"},
        {{nullptr, nullptr, nullptr}, "en"},
    };
    for (const Case& c : cases) {
        for (u32 i = 0; i < 3; ++i) {
            if (c.Values[i])
                setenv(names[i], c.Values[i], 1);
            else
                unsetenv(names[i]);
        }
        EXPECT_STREQ(SystemLanguageCode(), c.Code) << (c.Values[2] ? c.Values[2] : "-");
    }
    for (u32 i = 0; i < 3; ++i) {
        if (saved[i])
            setenv(names[i], saved[i]->c_str(), 1);
        else
            unsetenv(names[i]);
    }
}

} // namespace
