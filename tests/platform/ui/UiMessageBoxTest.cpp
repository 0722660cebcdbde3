#include "platform/MessageBox.h"
#include "platform/ui/Backend.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/Headless.h"
#include "platform/ui/MessageBox.h"
#include "tests/support/HeadlessUi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <map>

namespace {

using testing::ElementsAre;
using ui::Key;
using ui::Script;

TEST(UiMessageBox, ButtonRules) {
    enum class Input { Enter, Escape, CloseBox, Answer };
    struct Case {
        u32 type;
        Input input;
        int answer;   // for Answer
        int expected; // the box's result
        bool ignored; // the platform ignores the input: the box then takes IDNO
        bool fails;   // not a button of the box: the flow fails and the box gives its
                      // negative answer
    };
    const Case cases[] = {
        {ui::MB_OK, Input::Enter, 0, ui::IDOK, false, false},
        {ui::MB_OK, Input::Escape, 0, ui::IDOK, false, false},
        {ui::MB_OK, Input::CloseBox, 0, ui::IDOK, false, false},
        {ui::MB_OK, Input::Answer, ui::IDOK, ui::IDOK, false, false},
        {ui::MB_OK, Input::Answer, ui::IDCANCEL, ui::IDOK, false, true},
        {ui::MB_OKCANCEL, Input::Enter, 0, ui::IDOK, false, false},
        {ui::MB_OKCANCEL, Input::Escape, 0, ui::IDCANCEL, false, false},
        {ui::MB_OKCANCEL, Input::CloseBox, 0, ui::IDCANCEL, false, false},
        {ui::MB_OKCANCEL, Input::Answer, ui::IDCANCEL, ui::IDCANCEL, false, false},
        {ui::MB_OKCANCEL, Input::Answer, ui::IDYES, ui::IDCANCEL, false, true},
        {ui::MB_YESNO, Input::Enter, 0, ui::IDYES, false, false},
        {ui::MB_YESNO, Input::Escape, 0, ui::IDNO, true, false},
        {ui::MB_YESNO, Input::CloseBox, 0, ui::IDNO, true, false},
        {ui::MB_YESNO, Input::Answer, ui::IDYES, ui::IDYES, false, false},
        {ui::MB_YESNO, Input::Answer, ui::IDOK, ui::IDNO, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "type " << c.type << " input " << int(c.input) << " answer " << c.answer);
        std::vector<std::string> failures;
        ui::HeadlessOptions options;
        options.OnFailure = [&](const std::string& message, const std::string&) {
            failures.push_back(message);
        };
        ui::HeadlessBackend backend(options);
        Script script;
        switch (c.input) {
            case Input::Enter:
                script.BoxKey(Key::Enter);
                break;
            case Input::Escape:
                script.BoxKey(Key::Escape);
                break;
            case Input::CloseBox:
                script.BoxClose();
                break;
            case Input::Answer:
                script.Answer(c.answer);
                break;
        }
        if (c.ignored)
            script.Answer(ui::IDNO);
        backend.Play(std::move(script));
        EXPECT_EQ(ui::MessageBox(nullptr, "Text", "Caption", c.type), c.expected);
        EXPECT_EQ(failures.size(), c.fails ? 1u : 0u);
        EXPECT_EQ(backend.Transcript()[2] == "ignored", c.ignored);
        EXPECT_EQ(backend.Finish(), !c.fails);
    }
}

std::string French(std::string_view text) {
    static const std::map<std::string_view, std::string> catalogue = {
        {"OK", "D'accord"}, {"Cancel", "Annuler"}, {"Yes", "Oui"}};
    const auto found = catalogue.find(text);
    return found == catalogue.end() ? std::string(text) : found->second;
}

class UiMessageBoxFlow : public HeadlessUiTest {};

TEST_F(UiMessageBoxFlow, TranscriptLineBreaksAndTranslatedButtons) {
    const std::string text = "one\r\ntwo\nthree\rfour \"quoted\"";
    m_Ui.Play(Script()
                  .Answer(ui::IDOK, ui::Exactly("Caption"), ui::Exactly(text))
                  .Answer(ui::IDNO, ui::Contains("Down"), ui::Contains("update")));
    // Before any dialog exists.
    EXPECT_EQ(ui::MessageBox(nullptr, text, "Caption", ui::MB_OKCANCEL), ui::IDOK);
    EXPECT_EQ(ui::SetTranslationHook(&French), nullptr);
    EXPECT_EQ(
        ui::MessageBox(nullptr, "Do you want to download the update ?", "Download ?", ui::MB_YESNO),
        ui::IDNO);
    EXPECT_EQ(ui::SetTranslationHook(nullptr), &French);
    EXPECT_THAT(
        m_Ui.Transcript(),
        ElementsAre(
            "box \"Caption\" \"one\\r\\ntwo\\nthree\\rfour \\\"quoted\\\"\" MB_OKCANCEL OK|Cancel",
            "> answer IDOK", "box -> IDOK",
            "box \"Download ?\" \"Do you want to download the update ?\" MB_YESNO Oui|No",
            "> answer IDNO", "box -> IDNO"));
}

// The error sign is a flag beside the buttons: the buttons and their rules come from the low four
// bits, the transcript names the sign after the type, and any other bit is a misuse that shows a
// plain OK box.
TEST(UiMessageBox, ErrorSignBesideTheButtons) {
    struct Case {
        u32 type;
        int answer;        // scripted
        const char* shown; // the box line's end: the type and the buttons; null for a misuse
    };
    const Case cases[] = {
        {ui::MB_OK | ui::MB_ICONERROR, ui::IDOK, "MB_OK|MB_ICONERROR OK"},
        {ui::MB_YESNO | ui::MB_ICONERROR, ui::IDYES, "MB_YESNO|MB_ICONERROR Yes|No"},
        {ui::MB_OKCANCEL | ui::MB_ICONERROR, ui::IDCANCEL, "MB_OKCANCEL|MB_ICONERROR OK|Cancel"},
        {ui::MB_OK | 0x20, ui::IDOK, nullptr},
        {ui::MB_ICONERROR | 3, ui::IDOK, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        std::vector<std::string> failures;
        ui::HeadlessOptions options;
        options.OnFailure = [&](const std::string& message, const std::string&) {
            failures.push_back(message);
        };
        ui::HeadlessBackend backend(options);
        backend.Play(Script().Answer(c.answer));
        const int answer = ui::MessageBox(nullptr, "Failed", "Import", c.type);
        if (!c.shown) {
            ASSERT_EQ(failures.size(), 1u);
            EXPECT_THAT(failures[0], testing::HasSubstr("message box of type"));
            continue;
        }
        EXPECT_EQ(answer, c.answer);
        EXPECT_THAT(backend.Transcript(),
                    ElementsAre(std::string("box \"Import\" \"Failed\" ") + c.shown,
                                "> answer " + ui::ResultName(c.answer),
                                "box -> " + ui::ResultName(c.answer)));
        EXPECT_TRUE(backend.Finish());
        EXPECT_TRUE(failures.empty());
    }
    // Without a backend the line is the one of a box without the sign.
    ASSERT_EQ(ui::GetBackend(), nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ui::MessageBox(nullptr, "Failed to convert music", "Music conversion",
                             ui::MB_OK | ui::MB_ICONERROR),
              ui::IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Music conversion: Failed to convert music\n");
}

TEST(UiMessageBox, LinesOfAText) {
    struct Case {
        std::string_view text;
        std::vector<std::string_view> lines;
    };
    const Case cases[] = {
        {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\n", {"a", ""}},
        {"\n\r", {"", "", ""}},
        {"", {""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::SplitLines(c.text), c.lines) << c.text;
}

TEST(UiMessageBox, WithoutBackendWritesOneLineAndAnswersNegatively) {
    ASSERT_EQ(ui::GetBackend(), nullptr);
    struct Case {
        u32 type;
        int answer;
    };
    for (const Case c : {Case{ui::MB_OK, ui::IDOK}, Case{ui::MB_OKCANCEL, ui::IDCANCEL},
                         Case{ui::MB_YESNO, ui::IDNO}}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(ui::MessageBox(nullptr, "first\r\nsecond\nthird", "Warning", c.type), c.answer);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Warning: first second third\n");
    }
}

TEST(UiMessageBox, EngineMessagesGoThroughTheLayer) {
    testing::internal::CaptureStderr();
    platform::ShowMessageBox(u"Could not find DirectX9", u"Brisalde");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Brisalde: Could not find DirectX9\n");

    ui::HeadlessBackend backend(GTestHeadlessOptions());
    backend.Play(Script().Answer(ui::IDOK, ui::Exactly("Brisalde")));
    platform::ShowMessageBox(u"Could not find DirectX9", u"Brisalde");
    EXPECT_THAT(backend.Transcript(),
                ElementsAre("box \"Brisalde\" \"Could not find DirectX9\" MB_OK OK",
                            "> answer IDOK", "box -> IDOK"));
    EXPECT_TRUE(backend.Finish());
}

} // namespace
