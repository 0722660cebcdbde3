#include "platform/ui/Backend.h"
#include "platform/ui/FileDialog.h"
#include "tests/support/HeadlessUi.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using ui::Script;

TEST(UiFileDialog, PatternsMatchAsciiLettersWithoutCase) {
    struct Case {
        const char* name;
        const char* patterns;
        bool matches;
    };
    const Case cases[] = {
        {"My.Car.TGA", "*.tga;*.jpg", true},
        {"photo.JPG", "*.tga;*.jpg", true},
        {"photo.jpeg", "*.tga;*.jpg", false},
        {"photo.jpg.txt", "*.jpg", false},
        {"archive.tar.gz", "*.gz", true},
        {"song.ogg", " *.mp3 ; *.ogg ", true},
        {"ab.c", "a?.c", true},
        {"a.c", "a?.c", false},
        {"README", "*.*", true},
        {"README", "*", true},
        {"anything", "", true},
        {"anything", " ; ", true},
        {"\xC3\x89T\xC3\x89.tga", "\xC3\xA9t\xC3\xA9.tga", false}, // only ASCII letters fold
        {"x.3ds", "*.3DS", true},
        {"aXbXc", "a*b*c", true},
        {"aXbXd", "a*b*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ui::MatchesPatterns(c.name, c.patterns), c.matches)
            << c.name << " against " << c.patterns;
}

class UiFileDialogFlow : public HeadlessUiTest {
protected:
    void SetUp() override {
        char folder[] = "/tmp/ui_file_dialog_XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        m_Folder = folder;
        for (const char* name : {"My.Car.TGA", "photo.jpg", "notes.txt"})
            std::ofstream(m_Folder + "/" + name) << "x";
        ASSERT_TRUE(std::filesystem::create_directory(m_Folder + "/pics.jpg"));
    }
    void TearDown() override {
        HeadlessUiTest::TearDown();
        std::filesystem::remove_all(m_Folder);
    }

    ui::OpenFileSpec Spec(u32 flags) const {
        return {"Import image as avatar",
                "images files (*.tga,*.jpg)",
                "*.tga;*.jpg",
                "jpg",
                m_Folder,
                flags};
    }

    std::string m_Folder;
};

TEST_F(UiFileDialogFlow, ChoicesRefusalsAndTheBufferLimit) {
    const u32 mustExist = ui::OFN_HIDEREADONLY | ui::OFN_PATHMUSTEXIST | ui::OFN_FILEMUSTEXIST;
    // The longest host path that fits: "Z:" and 257 units.
    const size_t room = 257 - m_Folder.size() - 1 - 4;
    const std::string longest(room, 'a');
    std::string wide; // two bytes, one unit per character
    for (size_t i = 0; i < room; ++i)
        wide += "\xC3\xA9";
    struct Case {
        std::string typed;
        u32 flags;
        std::string answer;  // empty: nothing
        std::string refusal; // the dialog stays open, then the user cancels
    };
    const Case cases[] = {
        {"My.Car.TGA", mustExist, "/My.Car.TGA", ""},
        {"photo", mustExist, "/photo.jpg", ""},
        {m_Folder + "/photo.jpg", mustExist, "/photo.jpg", ""},
        // The patterns choose what the list shows; a typed name they hide is still taken.
        {"notes.txt", mustExist, "/notes.txt", ""},
        {"*.txt", mustExist, "", "the name is a pattern"},
        {"photo?.jpg", 0, "", "the name is a pattern"},
        {"notes", 0, "/notes.jpg", ""},
        {"missing.jpg", mustExist, "", "the file does not exist"},
        {"missing.jpg", 0, "/missing.jpg", ""},
        {"pics", mustExist, "", "the file does not exist"},
        {"nofolder/x.jpg", ui::OFN_PATHMUSTEXIST, "", "the folder does not exist"},
        {"nofolder/x.jpg", 0, "/nofolder/x.jpg", ""},
        {"", mustExist, "", "no file name"},
        {longest + ".jpg", 0, "/" + longest + ".jpg", ""},
        {wide + ".jpg", 0, "/" + wide + ".jpg", ""},
        {longest + "a.jpg", 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        Script script;
        script.ChooseFile(c.typed);
        if (!c.refusal.empty())
            script.CancelFile();
        m_Ui.Play(std::move(script));
        const size_t before = m_Ui.Transcript().size();
        const ui::OpenFileSpec spec = Spec(c.flags);
        const std::optional<std::string> answer = ui::OpenFileDialog(nullptr, spec);
        if (c.answer.empty()) {
            EXPECT_FALSE(answer.has_value());
        } else {
            EXPECT_EQ(answer, m_Folder + c.answer);
        }
        const std::string third = m_Ui.Transcript()[before + 2];
        if (!c.refusal.empty()) {
            EXPECT_EQ(third, "file refused \"" + c.typed + "\": " + c.refusal);
        } else if (c.answer.empty()) {
            EXPECT_EQ(third, "file failed: the path is too long");
        }
    }
}

TEST_F(UiFileDialogFlow, TranscriptNamesEveryField) {
    m_Ui.Play(Script().CancelFile());
    const ui::OpenFileSpec spec = Spec(0x1804);
    EXPECT_FALSE(ui::OpenFileDialog(nullptr, spec).has_value());
    EXPECT_THAT(m_Ui.Transcript(),
                testing::ElementsAre("file title \"Import image as avatar\" filter \"images files "
                                     "(*.tga,*.jpg)\" \"*.tga;*.jpg\" ext \"jpg\" folder \"" +
                                         m_Folder + "\" flags 0x1804",
                                     "> cancel file", "file -> none"));
}

TEST(UiFileDialog, NothingWithoutBackend) {
    ASSERT_EQ(ui::GetBackend(), nullptr);
    EXPECT_FALSE(ui::OpenFileDialog(nullptr, ui::OpenFileSpec{}).has_value());
}

} // namespace
