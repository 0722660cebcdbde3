#include "platform/MessageBox.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> s_Shown;

void Record(const char* text, const char* caption) {
    s_Shown.push_back(std::string(caption) + "|" + text);
}

TEST(MessageBox, HandlerGetsUtf8) {
    EXPECT_EQ(platform::SetMessageBoxHandler(&Record), nullptr);
    s_Shown.clear();
    platform::ShowMessageBox(u"Impossible de trouver DirectX9 \u00e9\U0001F600", u"Erreur");
    const char16_t lone[] = {u'a', char16_t(0xD800), u'b', char16_t(0xDC00), 0};
    platform::ShowMessageBox(lone, nullptr);
    EXPECT_EQ(platform::SetMessageBoxHandler(nullptr), &Record);
    ASSERT_EQ(s_Shown.size(), 2u);
    EXPECT_EQ(s_Shown[0], "Erreur|Impossible de trouver DirectX9 \xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(s_Shown[1], "|a\xEF\xBF\xBD"
                          "b\xEF\xBF\xBD");
}

} // namespace
