// The Network page of the advanced settings dialog: the forced server address through the IP
// address control (with a stub resolver, so that no test asks a name server), the cache size in
// megabytes, the advertising opt-out, the texts kept one character per byte, the refusals of the
// data exchange and the page's Reset.
#include "launcher/NetworkTabDlg.h"

#include "platform/HostResolve.h"
#include "tests/launcher/AdvancedDlgTestSupport.h"

#include <sstream>

namespace {

using ui::Exactly;

// ------------------------------------------------------------------------------------------------
// The rules without a dialog

// Python's integers give the megabytes over the whole u32 range, the largest value included.
TEST(NetworkTabRules, CacheSizeInMegabytes) {
    const u32 sizes[] = {0,          1,          1048575,    1048576,    1048577,
                         10485760,   209715200,  2147483647, 2147483648, 4293918720,
                         4293918721, 4294967294, 4294967295};
    std::string arguments;
    for (u32 size : sizes)
        arguments += " " + std::to_string(size);
    CTempFolder folder;
    std::istringstream lines(RunPython(
        folder, "import sys\nfor b in sys.argv[1:]: print((int(b) + 1048575) // 1048576)\n",
        arguments));
    for (u32 size : sizes) {
        u64 expected = 0;
        ASSERT_TRUE(lines >> expected);
        EXPECT_EQ(CacheBytesToMegabytes(size), expected) << size;
    }
    EXPECT_EQ(CacheBytesToMegabytes(4294967295u), 4096u);
}

// ------------------------------------------------------------------------------------------------
// The dialog opened alone, over a configuration of theApp

// Knows one name, "game.example"; every other lookup fails.
bool StubResolver(const char* name, std::vector<u32>& out) {
    if (std::string(name) != "game.example")
        return false;
    out = {0xC0000207}; // 192.0.2.7
    return true;
}

class NetworkAlone : public AdvancedAlone {
protected:
    NetworkAlone() : m_Previous(platform::SetHostResolver(&StubResolver)) {}
    ~NetworkAlone() override { platform::SetHostResolver(m_Previous); }

    // The dialog on the Network page: the page kept as it opened, then the steps.
    int RunNetwork(SAdvancedShown& opened, const std::function<void(ui::Script&)>& steps) {
        ui::Script script;
        script.In(kAdvancedDlgTemplateId)
            .SelectTab(kAdvancedDlgTabId, kAdvancedTabNetwork)
            .Expect(Keep(opened))
            .In(kNetworkTabTemplateId);
        steps(script);
        return RunDialog(std::move(script));
    }

private:
    platform::HostResolver m_Previous;
};

// Each stored address loaded, optionally edited, and saved by OK. A text that is not a dotted
// address is kept while the player leaves the address and its port alone; Python's ipaddress
// gives the texts of the dotted ones.
TEST_F(NetworkAlone, AddressRoundTrip) {
    struct Case {
        const char* Stored;
        std::array<i16, 4> Shown;
        i32 Port;
        // Untouched, a dotted text is written as Python writes what was shown, any other text
        // is kept; edited to 10.0.0.9 and 7, every row writes "10.0.0.9:7".
        bool Dotted;
    };
    const Case cases[] = {
        {"0.0.0.0:0", {0, 0, 0, 0}, 0, true},
        {"10.1.2.3:2350", {10, 1, 2, 3}, 2350, true},
        {"10.1.2.3", {10, 1, 2, 3}, 0, true},
        {"255.255.255.255:65535", {255, 255, 255, 255}, 65535, true},
        {"300.1.1.1:5", {0, 0, 0, 0}, 0, false},
        {"game.example:2350", {0, 0, 0, 0}, 0, false},
        {"game.example", {192, 0, 2, 7}, 0, false},
    };
    // Python's texts of the dotted addresses as shown, with their ports.
    std::string arguments;
    for (const Case& c : cases)
        arguments += " " +
                     std::to_string((u32(c.Shown[0]) << 24) | (u32(c.Shown[1]) << 16) |
                                    (u32(c.Shown[2]) << 8) | u32(c.Shown[3])) +
                     ":" + std::to_string(c.Port);
    CTempFolder folder;
    std::istringstream python(RunPython(folder, R"(
import ipaddress, sys
for arg in sys.argv[1:]:
    address, port = arg.split(':')
    text = str(ipaddress.IPv4Address(int(address)))
    print(text + (':%d' % int(port) if int(port) else ''))
)",
                                        arguments));
    for (const Case& c : cases) {
        std::string dotted;
        ASSERT_TRUE(python >> dotted);
        for (const bool edit : {false, true}) {
            SCOPED_TRACE(std::string(c.Stored) + (edit ? ", edited" : ""));
            NewConfig([&](CSystemConfig& config) {
                config.m_NetworkForceServerAddress.Assign(c.Stored);
            });
            SAdvancedShown opened;
            EXPECT_EQ(RunNetwork(opened,
                                 [&](ui::Script& script) {
                                     if (edit)
                                         script.SetAddress(kNetworkTabServerAddressId, "10.0.0.9")
                                             .SetText(kNetworkTabServerAddressPortId, "7");
                                     script.In(kAdvancedDlgTemplateId).Click(ui::IDOK);
                                 }),
                      ui::IDOK);
            EXPECT_EQ(opened.Network[kNetworkTabServerAddressId].Fields, c.Shown);
            EXPECT_EQ(opened.Network[kNetworkTabServerAddressPortId].Text, std::to_string(c.Port));
            const std::string saved = theApp.m_Config->m_NetworkForceServerAddress.GetText();
            EXPECT_EQ(saved, edit ? "10.0.0.9:7" : c.Dotted ? dotted : c.Stored);
        }
    }
}

// A name stored is kept only while the address and the port are as loaded: a port changed, or
// one field blanked, writes the dotted text.
TEST_F(NetworkAlone, StoredNameGivesWayToAnyEdit) {
    struct Case {
        const char* Name;
        std::function<void(ui::Script&)> Edit;
        const char* Saved;
    };
    const Case cases[] = {
        {"same address typed again",
         [](ui::Script& s) {
             s.SetAddress(kNetworkTabServerAddressId, "192.0.2.7")
                 .SetText(kNetworkTabServerAddressPortId, "0");
         },
         "game.example"},
        {"port", [](ui::Script& s) { s.SetText(kNetworkTabServerAddressPortId, "80"); },
         "192.0.2.7:80"},
        {"a blank field",
         [](ui::Script& s) { s.SetAddress(kNetworkTabServerAddressId, "192.0.-.7"); }, "192.0.0.7"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewConfig([](CSystemConfig& config) {
            config.m_NetworkForceServerAddress.Assign("game.example");
        });
        SAdvancedShown opened;
        EXPECT_EQ(RunNetwork(opened,
                             [&](ui::Script& script) {
                                 c.Edit(script);
                                 script.In(kAdvancedDlgTemplateId).Click(ui::IDOK);
                             }),
                  ui::IDOK);
        EXPECT_STREQ(theApp.m_Config->m_NetworkForceServerAddress.GetText(), c.Saved);
    }
}

// The cache size shows in megabytes rounded up and is stored as megabytes x 1048576; a damaged
// size of 4294967295 bytes shows 4096, which OK refuses until the player fixes it.
TEST_F(NetworkAlone, CacheSizes) {
    const std::pair<u32, const char*> shown[] = {
        {1, "1"}, {1048576, "1"}, {1048577, "2"}, {209715200, "200"}, {4294967295u, "4096"}};
    for (const auto& [bytes, megabytes] : shown) {
        SCOPED_TRACE(bytes);
        NewConfig(
            [bytes = bytes](CSystemConfig& config) { config.m_FileTransferMaxCacheSize = bytes; });
        SAdvancedShown opened;
        EXPECT_EQ(RunNetwork(opened,
                             [](ui::Script& script) {
                                 script.In(kAdvancedDlgTemplateId).Click(ui::IDCANCEL);
                             }),
                  ui::IDCANCEL);
        EXPECT_EQ(opened.Network[kNetworkTabCacheSizeId].Text, megabytes);
    }

    NewConfig([](CSystemConfig& config) { config.m_FileTransferMaxCacheSize = 4294967295u; });
    SAdvancedShown opened;
    u32 refused = 0;
    EXPECT_EQ(RunNetwork(opened,
                         [&](ui::Script& script) {
                             script.In(kAdvancedDlgTemplateId)
                                 .Click(ui::IDOK)
                                 .Answer(ui::IDOK, {},
                                         Exactly("Please enter an integer between 10 and 4095."))
                                 .Expect(OnConfig([&](CSystemConfig& config) {
                                     refused = config.m_FileTransferMaxCacheSize;
                                 }))
                                 .In(kNetworkTabTemplateId)
                                 .SetText(kNetworkTabCacheSizeId, "10")
                                 .Key(ui::Key::Enter);
                         }),
              ui::IDOK);
    EXPECT_EQ(refused, 4294967295u);
    EXPECT_EQ(theApp.m_Config->m_FileTransferMaxCacheSize, 10485760u);
}

// The opt-out shows, and can be changed, only when advertising is configurable; otherwise its
// value goes back unchanged.
TEST_F(NetworkAlone, Advertising) {
    for (const u32 enabled : {0u, 1u, 2u}) {
        for (const u32 disabledByUser : {0u, 1u}) {
            SCOPED_TRACE(std::to_string(enabled) + " " + std::to_string(disabledByUser));
            NewConfig([&](CSystemConfig& config) {
                config.m_Advertising_Enabled = enabled;
                config.m_Advertising_DisabledByUser = disabledByUser;
            });
            SAdvancedShown opened;
            EXPECT_EQ(RunNetwork(opened,
                                 [](ui::Script& script) {
                                     script.In(kAdvancedDlgTemplateId).Click(ui::IDOK);
                                 }),
                      ui::IDOK);
            for (u32 id : {kNetworkTabAdvertisingId, kNetworkTabAdvertisingLabelId}) {
                EXPECT_EQ(opened.Network[id].OnScreen, enabled == 1) << id;
                EXPECT_EQ(opened.Network[id].Enabled, enabled == 1) << id;
            }
            EXPECT_EQ(opened.Network[kNetworkTabAdvertisingId].Checked, disabledByUser != 0);
            EXPECT_EQ(theApp.m_Config->m_Advertising_DisabledByUser, disabledByUser);
            EXPECT_EQ(theApp.m_Config->m_Advertising_Enabled, enabled);
        }
    }
}

// Narrow texts show one character per byte and are stored back narrowed, characters above 254
// becoming '_'; the two fields without a member name load and save like the others.
TEST_F(NetworkAlone, TextsAndFlags) {
    NewConfig([](CSystemConfig& config) {
        config.m_NetworkProxyLogin.Assign("caf\xE9");
        config.m_NetworkProxyPassword.Assign("p\xFFss");
        config.m_LocatorBlackListUrl.Assign("http://black.example/list");
        config.m_AutoUpdateLocatorDBUrl.Assign("http://locators.example/db");
        config.m_AutoUpdateAtInternetConnect = 1;
        config.m_NetworkUseProxy = 1;
        config.m_EnableLocators = 0;
    });
    SAdvancedShown opened;
    EXPECT_EQ(RunNetwork(opened,
                         [](ui::Script& script) {
                             script
                                 .SetText(kNetworkTabProxyLoginId, "\xce\xa9mega \xc3\xa9t\xc3\xa9")
                                 .SetText(kNetworkTabBlackListUrlId, "http://other.example/")
                                 .Check(kNetworkTabUpdateAtConnectId, false)
                                 .Check(kNetworkTabLocatorsId, true)
                                 .In(kAdvancedDlgTemplateId)
                                 .Click(ui::IDOK);
                         }),
              ui::IDOK);
    const SDialogShown& page = opened.Network;
    EXPECT_EQ(page[kNetworkTabProxyLoginId].Text, "caf\xc3\xa9");
    EXPECT_EQ(page[kNetworkTabProxyPasswordId].Text, "p\xc3\xbfss");
    EXPECT_EQ(page[kNetworkTabBlackListUrlId].Text, "http://black.example/list");
    EXPECT_EQ(page[kNetworkTabLocatorUrlId].Text, "http://locators.example/db");
    EXPECT_TRUE(page[kNetworkTabUpdateAtConnectId].Checked);
    EXPECT_TRUE(page[kNetworkTabUseProxyId].Checked);
    EXPECT_FALSE(page[kNetworkTabLocatorsId].Checked);
    EXPECT_EQ(page[kNetworkTabServerPortId].Text, "2350");
    EXPECT_EQ(page[kNetworkTabCacheSizeId].Text, "200");
    const CSystemConfig& config = *theApp.m_Config;
    EXPECT_STREQ(config.m_NetworkProxyLogin.GetText(), "_mega \xE9t\xE9");
    // Loaded as U+00FF, which is above 254.
    EXPECT_STREQ(config.m_NetworkProxyPassword.GetText(), "p_ss");
    EXPECT_STREQ(config.m_LocatorBlackListUrl.GetText(), "http://other.example/");
    EXPECT_STREQ(config.m_AutoUpdateLocatorDBUrl.GetText(), "http://locators.example/db");
    EXPECT_EQ(config.m_AutoUpdateAtInternetConnect, 0u);
    EXPECT_EQ(config.m_EnableLocators, 1u);
    EXPECT_EQ(config.m_FileTransferMaxCacheSize, 209715200u);
}

// The page's Reset: it saves the page first, then the network defaults (ports, address, flags)
// come back; the proxy login and the peer-transfer settings keep what the page saved.
TEST_F(NetworkAlone, Reset) {
    NewConfig([](CSystemConfig& config) {
        config.m_NetworkForceServerAddress.Assign("10.1.2.3:99");
        config.m_NetworkForceUseLocalAddress = 1;
    });
    SAdvancedShown opened;
    SAdvancedShown reset;
    EXPECT_EQ(RunNetwork(opened,
                         [&](ui::Script& script) {
                             script.SetText(kNetworkTabServerPortId, "1234")
                                 .SetText(kNetworkTabClientPortId, "4321")
                                 .SetText(kNetworkTabProxyLoginId, "me")
                                 .SetText(kNetworkTabCacheSizeId, "300")
                                 .Click(kAdvancedPageResetId)
                                 .Expect(Keep(reset))
                                 .In(kAdvancedDlgTemplateId)
                                 .Click(ui::IDCANCEL);
                         }),
              ui::IDCANCEL);
    const SDialogShown& page = reset.Network;
    EXPECT_EQ(page[kNetworkTabServerPortId].Text, "2350");
    EXPECT_EQ(page[kNetworkTabClientPortId].Text, "0");
    EXPECT_EQ(page[kNetworkTabServerAddressId].Fields, (std::array<i16, 4>{0, 0, 0, 0}));
    EXPECT_EQ(page[kNetworkTabServerAddressPortId].Text, "0");
    EXPECT_FALSE(page[kNetworkTabLocalAddressId].Checked);
    EXPECT_EQ(page[kNetworkTabProxyLoginId].Text, "me");
    EXPECT_EQ(page[kNetworkTabCacheSizeId].Text, "300");
    // Cancel keeps what the Reset did.
    const CSystemConfig& config = *theApp.m_Config;
    EXPECT_EQ(config.m_NetworkServerPort, 2350u);
    EXPECT_STREQ(config.m_NetworkForceServerAddress.GetText(), "0.0.0.0:0");
    EXPECT_STREQ(config.m_NetworkProxyLogin.GetText(), "me");
    EXPECT_EQ(config.m_FileTransferMaxCacheSize, 300u << 20);
}

// ------------------------------------------------------------------------------------------------
// Flows of a whole launcher run

// A port or a cache size out of range: OK shows the refusal, saves nothing and stays open on the
// Network tab with the field focused.
TEST_F(AdvancedFlow, NetworkRefusals) {
    WriteConfig();
    struct Case {
        u32 Id;
        const char* Text;
        const char* Message;
    };
    const Case cases[] = {
        {kNetworkTabServerPortId, "70000", "Please enter an integer between 0 and 65535."},
        {kNetworkTabCacheSizeId, "5", "Please enter an integer between 10 and 4095."},
    };
    std::vector<SAdvancedShown> refused(std::size(cases));
    std::vector<std::string> before(std::size(cases));
    std::vector<std::string> after(std::size(cases));
    ui::Script script = Open();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        script.In(kAdvancedDlgTemplateId)
            .SelectTab(kAdvancedDlgTabId, kAdvancedTabNetwork)
            .In(kNetworkTabTemplateId)
            .SetText(c.Id, c.Text)
            .In(kAdvancedDlgTemplateId)
            .SelectTab(kAdvancedDlgTabId, kAdvancedTabAudio)
            .Expect(OnConfig(
                [&, i](CSystemConfig& config) { before[i] = CConfigBodyFile::Body(config); }))
            .Click(ui::IDOK)
            .Answer(ui::IDOK, {}, Exactly(c.Message))
            .Expect(Keep(refused[i]))
            .Expect(OnConfig(
                [&, i](CSystemConfig& config) { after[i] = CConfigBodyFile::Body(config); }))
            .In(kAdvancedDlgTemplateId)
            .Click(ui::IDCANCEL)
            .In(kConfigDlgTemplateId)
            .Click(kConfigDlgAdvancedId);
    }
    script.In(kAdvancedDlgTemplateId).Click(ui::IDCANCEL);
    Run(std::move(CloseAll(script)));

    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].Text);
        EXPECT_EQ(refused[i].Dialog[kAdvancedDlgTabId].Selection, kAdvancedTabNetwork);
        EXPECT_EQ(refused[i].PagesShown(), std::vector<u32>{kNetworkTabTemplateId});
        EXPECT_TRUE(refused[i].Network[cases[i].Id].Focused);
        EXPECT_FALSE(before[i].empty());
        EXPECT_EQ(after[i], before[i]);
    }
    EXPECT_TRUE(HasLine("refuse 133/1030 \"70000\"")) << m_Ui.TranscriptText();
    EXPECT_TRUE(HasLine("refuse 133/1088 \"5\"")) << m_Ui.TranscriptText();
}

} // namespace
