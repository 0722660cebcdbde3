#include "core/base/ClassicLog.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwEngine.h"
#include "launcher/MainDlg.h"
#include "platform/SingleInstance.h"
#include "tests/launcher/LauncherTestSupport.h"

#include <sys/stat.h>

namespace {

using ui::Contains;
using ui::Exactly;

class LauncherRun : public CLauncherFixture {};

std::vector<std::string> Codes() {
    std::vector<std::string> codes;
    for (u32 i = 0; i < theApp.m_LanguageCodes.m_Count; ++i)
        codes.push_back(theApp.m_LanguageCodes[i].GetText());
    return codes;
}

TEST_F(LauncherRun, FreshInstallShowsTheMainDialogAndExitStartsNothing) {
    WriteGpuTable(true);
    WriteCatalogue("en", {{"|I18NInternal|English", "English"}});
    WriteRegistry("\"Version\"=\"0.0.1.0\"\n");
    std::vector<u32> engineOrder;
    Run(ui::Script()
            .Expect(
                [&](const ui::View&) {
                    for (u32 i = 0; i < g_MwEngineManager->m_Order.m_Count; ++i)
                        engineOrder.push_back(g_MwEngineManager->m_Order[i]->m_EngineId);
                    return Codes() == std::vector<std::string>{"en"};
                },
                "the catalogue list")
            .Expect(
                [](const ui::View& view) {
                    std::vector<std::string> texts;
                    for (u32 id : {1u, 1027u, 1029u, 1028u, 2u})
                        texts.push_back(view.Item(kMainDlgTemplateId, id)->GetText());
                    return texts ==
                           std::vector<std::string>{"Play", "Configure", "Help", "Update", "Exit"};
                },
                "the buttons' texts")
            .In(kMainDlgTemplateId)
            .Click(ui::IDCANCEL));
    EXPECT_EQ(engineOrder, (std::vector<u32>{0x01000000, 0x0B000000, 0x12000000}));
    const std::vector<std::string> expected = {
        "open 102",
        "caption 102 \"Brisalde 1.0 en\"",
        "picture 102/1024 147 492x203",
        "move 102/1024 1,0 492x203",
    };
    for (const std::string& line : expected)
        EXPECT_TRUE(HasLine(line)) << line << "\n" << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("close 102 -> IDCANCEL"));
    // No box at all: the defaults warn of nothing and were saved.
    for (const std::string& line : Lines())
        EXPECT_NE(line.rfind("box", 0), 0u) << line;
    EXPECT_EQ(ReadWholeFile(ConfigFile()), CFakeConfigFile::Text(CSystemConfig()));
    EXPECT_TRUE(m_Install.LogLines().empty());
    // Everything let go: the engines, the core, the configuration.
    EXPECT_EQ(g_MwEngineManager, nullptr);
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
    EXPECT_EQ(theApp.m_Config, nullptr);
    EXPECT_EQ(theApp.m_Direct3D, nullptr);
}

} // namespace
