#include "platform/Language.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace {

TEST(Language, LangIdOfLocaleNames) {
    struct Case {
        const char* Name;
        u16 Expected;
    };
    const Case cases[] = {
        {"C", 0x0409},
        {"POSIX", 0x0409},
        {"C.UTF-8", 0x0409},
        {"en_US.UTF-8", 0x0409},
        {"cs_CZ.UTF-8", 0x0405},
        {"ja_JP.eucJP", 0x0411},
        {"de_DE@euro", 0x0407},
        {"fr", 0x040C},
        {"FR_ca", 0x040C},
        {"zh_TW.Big5", 0x0404},
        {"hi_IN", 0x0439},
        {"pt_BR.UTF-8", 0x0416},
        {"nb_NO", 0x0414},
        {"xx_YY", 0},
        {"fil_PH", 0},
        {"e", 0},
        {"1a_BC", 0},
        {"_US", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::LangIdFromLocaleName(c.Name), c.Expected) << c.Name;
}

// Sets the locale variables for one case and puts the old values back.
class CLocaleVariables {
public:
    CLocaleVariables() {
        for (u32 i = 0; i < 3; ++i) {
            const char* value = std::getenv(kNames[i]);
            if (value)
                m_Saved[i] = value;
        }
    }
    ~CLocaleVariables() {
        for (u32 i = 0; i < 3; ++i)
            Set(i, m_Saved[i] ? m_Saved[i]->c_str() : nullptr);
    }
    void Set(u32 i, const char* value) {
        if (value)
            setenv(kNames[i], value, 1);
        else
            unsetenv(kNames[i]);
    }

    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};

private:
    std::optional<std::string> m_Saved[3];
};

TEST(Language, LocaleVariablesInTheirOrder) {
    struct Case {
        const char* Values[3]; // LC_ALL, LC_MESSAGES, LANG; null: unset
        u16 Expected;
    };
    const Case cases[] = {
        {{"de_DE.UTF-8", "fr_FR", "it_IT"}, 0x0407},
        {{nullptr, "fr_FR", "it_IT"}, 0x040C},
        {{"", "", "it_IT"}, 0x0410},
        {{nullptr, nullptr, "ru_RU.KOI8-R"}, 0x0419},
        {{"C", "fr_FR", "it_IT"}, 0x0409},
        {{nullptr, nullptr, nullptr}, 0x0409},
        {{nullptr, nullptr, "POSIX"}, 0x0409},
    };
    CLocaleVariables variables;
    for (const Case& c : cases) {
        for (u32 i = 0; i < 3; ++i)
            variables.Set(i, c.Values[i]);
        EXPECT_EQ(platform::SystemDefaultLangId(), c.Expected)
            << (c.Values[0] ? c.Values[0] : "-") << " " << (c.Values[1] ? c.Values[1] : "-") << " "
            << (c.Values[2] ? c.Values[2] : "-");
    }
}

} // namespace
