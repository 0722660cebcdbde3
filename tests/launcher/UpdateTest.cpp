// The update road as the player meets it: whole launcher runs on the headless backend against
// the loopback test server, which serves "patch/patch.php" (update_routes.py) on its TLS
// listener as "upd.test" and the file on its plain listener as "dl.test" through the HTTP
// layer's connect-to hook, with the test authority's certificate fully verified. The counter is
// the real clock plus an offset the test moves, so the HTTP waits end and the timers fire while
// minutes of dialog time pass in an instant.
#include "core/nod/MwNod.h"
#include "launcher/DownloadDlg.h"
#include "launcher/MainDlg.h"
#include "platform/ShellOpen.h"
#include "platform/http/HttpTransport.h"
#include "tests/launcher/LauncherTestSupport.h"
#include "tests/support/http/TestServers.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <optional>
#include <sys/stat.h>

namespace {

using ui::Contains;
using ui::Exactly;

// ---------------------------------------------------------------------------------------------
// The counter: the monotonic clock plus an offset.

i64 s_Offset = 0;

i64 RealNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return i64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

i64 MovingCounter() {
    return RealNow() + s_Offset;
}

void MoveCounterTo(i64 counter) {
    const i64 now = MovingCounter();
    if (counter > now)
        s_Offset += counter - now;
}

void MoveMs(i64 ms) {
    s_Offset += ms * 1000000;
}

ui::HeadlessOptions MovingCounterOptions() {
    ui::HeadlessOptions options = GTestHeadlessOptions();
    options.MoveCounterTo = &MoveCounterTo;
    return options;
}

// ---------------------------------------------------------------------------------------------
// Texts

const std::string kFailed = "Check of Brisalde update failed !";

std::string Offer(const std::string& kilobytes, const std::string& text) {
    return "A new version of the game is available (" + kilobytes + " kBytes).\n" + text +
           "\nDo you want to download the update and upgrade the game ?\n";
}

std::string Success(const std::string& path) {
    return "The new version of the game has been downloaded with success (in " + path +
           ").\nThe installation of this updgrade will begin now.";
}

// A text as the transcript quotes it.
std::string Quote(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        switch (c) {
            case '\n':
                quoted += "\\n";
                break;
            case '\r':
                quoted += "\\r";
                break;
            case '"':
                quoted += "\\\"";
                break;
            case '\\':
                quoted += "\\\\";
                break;
            default:
                quoted += c;
        }
    }
    return quoted + "\"";
}

// A JSON string.
std::string Json(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u8(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u8(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Answers of the scenario file.
std::string Answer(const std::string& body, int code = 200) {
    return "{\"code\": " + std::to_string(code) + ", \"body\": " + Json(body) + "}";
}
std::string Stall(int seconds) {
    return "{\"stall\": " + std::to_string(seconds) + "}";
}
std::string Download(u32 n, std::optional<u32> length, u32 piece, u32 delayMs,
                     std::optional<u32> cutAt = std::nullopt, u32 cutDelayMs = 0) {
    std::string file = "{\"n\": " + std::to_string(n) + ", \"piece\": " + std::to_string(piece) +
                       ", \"delay_ms\": " + std::to_string(delayMs);
    if (length)
        file += ", \"length\": " + std::to_string(*length);
    if (cutAt)
        file += ", \"cut_at\": " + std::to_string(*cutAt) +
                ", \"cut_delay_ms\": " + std::to_string(cutDelayMs);
    return file + "}";
}

std::string Pattern(u32 n) {
    std::string bytes(n, '\0');
    for (u32 i = 0; i < n; ++i)
        bytes[i] = char(i % 251);
    return bytes;
}

// ---------------------------------------------------------------------------------------------
// The server's request log

// The value of a JSON string that follows `key` in the line, unescaped (\uXXXX below 0x80).
std::string JsonField(const std::string& line, const std::string& key) {
    const size_t at = line.find(key);
    if (at == std::string::npos)
        return {};
    std::string value;
    for (size_t i = at + key.size(); i < line.size() && line[i] != '"'; ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            value += line[i];
            continue;
        }
        const char escaped = line[++i];
        if (escaped == 'u' && i + 4 < line.size()) {
            value += char(std::stoi(line.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else {
            value += escaped == 'n' ? '\n' : escaped;
        }
    }
    return value;
}

struct SLogged {
    std::string Listener;
    std::string Target;
    std::string Host;
};

class UpdateFlow : public CLauncherFixture {
protected:
    static void SetUpTestSuite() {
        for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                                 "ALL_PROXY", "HTTP_PROXY", "NO_PROXY"})
            unsetenv(name);
        setenv("no_proxy", "*", 1);
        s_Folder = new TestFolder;
        const std::string routes = s_Folder->File("routes.py");
        WriteWholeFile(routes, "SCENARIO_FILE = " + Json(s_Folder->File("scenario.json")) + "\n" +
                                   ReadWholeFile(std::string(ENGINE_TEST_SOURCE_DIR) +
                                                 "/tests/launcher/update_routes.py"));
        WriteWholeFile(s_Folder->File("scenario.json"), "{}");
        s_Server = new TestHttpServer(TestHttpServer::Options{"", routes});
    }
    static void TearDownTestSuite() {
        delete s_Server;
        s_Server = nullptr;
        delete s_Folder;
        s_Folder = nullptr;
    }

    UpdateFlow() : CLauncherFixture(MovingCounterOptions()) {
        // Well above a minute, so that the first tick of a download reports.
        s_Offset = 1000 * i64(1000000000);
        m_PreviousCounter = platform::SetCounterSource(&MovingCounter);
        g_DownloadLastReportCounter = 0;
        m_Hooks.CaFile = TestCertificateFolder() + "/ca.pem";
        m_Hooks.UnresolvableHosts = {"nowhere.test"};
        m_Hooks.ConnectTimeoutMs = 5000;
        ConnectUpdateServerTo("https");
        m_PreviousOpener = platform::SetShellOpener(&platform::RecordShellOpen);
        WriteGpuTable(true);
        WriteSettings("update_host = upd.test\n");
        m_LogStart = s_Server->Log().size();
    }
    ~UpdateFlow() override {
        platform::SetHttpTestHooks(nullptr);
        platform::SetShellOpener(m_PreviousOpener);
        platform::SetCounterSource(m_PreviousCounter);
        g_DownloadLastReportCounter = 0;
    }

    void SetUp() override { ASSERT_TRUE(s_Server && s_Server->IsRunning()); }

    // "upd.test" on 443 reaches this listener (or a port when a number is given); "dl.test" on
    // 80 the plain one.
    void ConnectUpdateServerTo(const std::string& listener, u16 port = 0) {
        m_Hooks.ConnectTo = {"upd.test:443:127.0.0.1:" +
                                 std::to_string(port ? port : s_Server->Port(listener)),
                             "dl.test:80:127.0.0.1:" + std::to_string(s_Server->Port("http"))};
        platform::SetHttpTestHooks(&m_Hooks);
    }

    void WriteSettings(const std::string& text) const {
        WriteWholeFile(m_Install.File("LauncherSettings.txt"), text);
    }

    static void SetScenario(const std::string& a0, const std::string& a1 = "null",
                            const std::string& download = "null") {
        WriteWholeFile(s_Folder->File("scenario.json"),
                       "{\"a0\": " + a0 + ", \"a1\": " + a1 + ", \"download\": " + download + "}");
    }

    // A launcher run; every nod made during it is gone at its end.
    void RunFlow(ui::Script script) {
        const u32 nods = CMwNod::GetLiveNodCount();
        Run(std::move(script));
        EXPECT_EQ(CMwNod::GetLiveNodCount(), nods) << "nods left alive by the run";
    }

    // The requests the server logged since the test began (or since `since`).
    std::vector<SLogged> Requests(size_t since = 0) const {
        std::vector<SLogged> requests;
        const std::vector<std::string> lines = s_Server->Log();
        for (size_t i = std::max(since, m_LogStart); i < lines.size(); ++i) {
            if (lines[i].find("\"event\": \"request\"") == std::string::npos)
                continue;
            requests.push_back({JsonField(lines[i], "\"listener\": \""),
                                JsonField(lines[i], "\"target\": \""),
                                JsonField(lines[i], "[\"Host\", \"")});
        }
        return requests;
    }
    size_t LogSize() const { return s_Server->Log().size(); }
    // The targets of the update script, on the TLS listener as "upd.test".
    std::vector<std::string> PatchTargets(size_t since = 0) const {
        std::vector<std::string> targets;
        for (const SLogged& request : Requests(since)) {
            if (request.Target.rfind("/patch/patch.php", 0) != 0)
                continue;
            EXPECT_EQ(request.Host, "upd.test") << request.Target;
            targets.push_back(request.Target);
        }
        return targets;
    }
    // The action numbers of those requests, in the order the server saw them.
    std::vector<std::string> Actions(size_t since = 0) const {
        std::vector<std::string> actions;
        for (const std::string& target : PatchTargets(since))
            actions.push_back(target.substr(std::strlen("/patch/patch.php?action="), 1));
        return actions;
    }
    // The GETs of the file, each checked to be on the plain listener as "dl.test".
    size_t Downloads(size_t since = 0) const {
        size_t count = 0;
        for (const SLogged& request : Requests(since)) {
            if (request.Target != "/files/setup.exe")
                continue;
            EXPECT_EQ(request.Listener, "http");
            EXPECT_EQ(request.Host, "dl.test");
            ++count;
        }
        return count;
    }

    std::string DownloadFile() const { return m_Install.File("GameData/Download/setup.exe"); }
    std::vector<std::string> DownloadFolderNames() const {
        std::vector<std::string> names;
        std::error_code ignored;
        for (const auto& entry :
             std::filesystem::directory_iterator(m_Install.File("GameData/Download"), ignored))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    const std::vector<std::string>& Transcript() const { return m_Ui.Transcript(); }
    // The lines are in the transcript in this order, others between them.
    void ExpectInOrder(const std::vector<std::string>& lines) const {
        size_t at = 0;
        for (const std::string& line : lines) {
            const auto found =
                std::find(Transcript().begin() + std::ptrdiff_t(at), Transcript().end(), line);
            ASSERT_NE(found, Transcript().end()) << line << "\n" << m_Ui.TranscriptText();
            at = size_t(found - Transcript().begin());
        }
    }

    static TestHttpServer* s_Server;
    static TestFolder* s_Folder;
    platform::HttpTestHooks m_Hooks;
    platform::CounterSource m_PreviousCounter = nullptr;
    platform::ShellOpener m_PreviousOpener = nullptr;
    size_t m_LogStart = 0;
};

TestHttpServer* UpdateFlow::s_Server = nullptr;
TestFolder* UpdateFlow::s_Folder = nullptr;

struct SBox {
    int Answer;
    std::string Caption;
    std::string Text;
};

// The Update click, the boxes answered in order, then Exit when the main dialog still runs.
ui::Script UpdateScript(const std::vector<SBox>& boxes, bool exit = true) {
    ui::Script script;
    script.In(kMainDlgTemplateId).Click(kMainDlgUpdateId);
    for (const SBox& box : boxes)
        script.Answer(box.Answer, Exactly(box.Caption), Exactly(box.Text));
    if (exit)
        script.In(kMainDlgTemplateId).Click(ui::IDCANCEL);
    return script;
}

// ---------------------------------------------------------------------------------------------
// Answers of the update server, up to the download

TEST_F(UpdateFlow, AnswersAreReadWithTheirRules) {
    const std::string longText(70000, 'x');
    const std::string location = Answer("0;42;dl.test;files/setup.exe");
    struct Case {
        const char* Name;
        std::string A0;
        std::string A1;
        std::string File;
        std::vector<SBox> Boxes;
        std::string Patch; // "PatchAvailable" afterwards, empty for none
        std::vector<std::string> Actions;
        size_t Downloads;
        // The limit of the waits in place of 60 s; 0 keeps it.
        u32 WaitLimitMs = 0;
    };
    const SBox failed = {ui::IDOK, "Error", kFailed};
    const auto failedWith = [](const std::string& detail) {
        return SBox{ui::IDOK, "Error", kFailed + "\n" + detail};
    };
    const auto declined = [](const std::string& kilobytes, const std::string& text) {
        return SBox{ui::IDNO, "Download ?", Offer(kilobytes, text)};
    };
    const auto accepted = [](const std::string& kilobytes, const std::string& text) {
        return SBox{ui::IDYES, "Download ?", Offer(kilobytes, text)};
    };
    const std::vector<Case> cases = {
        {"no update",
         Answer("0;0;Nothing new"),
         "null",
         "null",
         {{ui::IDOK, "Information (no download needed)", "Nothing new"}},
         "0",
         {"0"},
         0},
        {"runs of separators collapse",
         Answer("0;;;5;text"),
         "null",
         "null",
         {declined("1", "text")},
         "5",
         {"0"},
         0},
        {"declined",
         Answer("0;123456;New cars"),
         "null",
         "null",
         {declined("121", "New cars")},
         "123456",
         {"0"},
         0},
        {"the text keeps its separators, UTF-8 after EF BB BF",
         Answer("0;0;\xEF\xBB\xBFVoitures; neuves \xC3\xA9t\xC3\xA9"),
         "null",
         "null",
         {{ui::IDOK, "Information (no download needed)", "Voitures; neuves \xC3\xA9t\xC3\xA9"}},
         "0",
         {"0"},
         0},
        {"without EF BB BF one character per byte",
         Answer("0;0;caf\xC3\xA9"),
         "null",
         "null",
         {{ui::IDOK, "Information (no download needed)", "caf\xC3\x83\xC2\xA9"}},
         "0",
         {"0"},
         0},
        {"status 1", Answer("1;5;x"), "null", "null", {failed}, "", {"0"}, 0},
        {"size not a number", Answer("0;abc;x"), "null", "null", {failed}, "", {"0"}, 0},
        {"negative size", Answer("0;-5;x"), "null", "null", {failed}, "", {"0"}, 0},
        {"size past 32 bits", Answer("0;99999999999;x"), "null", "null", {failed}, "", {"0"}, 0},
        {"no size", Answer("0"), "null", "null", {failed}, "", {"0"}, 0},
        {"answer longer than 64 KB",
         Answer("0;0;" + longText),
         "null",
         "null",
         {failed},
         "",
         {"0"},
         0},
        {"404",
         Answer("gone", 404),
         "null",
         "null",
         {failedWith("not connected to internet")},
         "",
         {"0"},
         0},
        {"407",
         Answer("proxy", 407),
         "null",
         "null",
         {failedWith("bad proxy configuration")},
         "",
         {"0"},
         0},
        {"500",
         Answer("broken", 500),
         "null",
         "null",
         {failedWith("Request unknown Error: 500")},
         "",
         {"0"},
         0},
        // Only the check speaks of the connection in the player's words.
        {"location 404",
         Answer("0;5;x"),
         Answer("gone", 404),
         "null",
         {accepted("1", "x"), failedWith("Request unknown Error: 404")},
         "5",
         {"0", "1"},
         0},
        {"location status 1",
         Answer("0;5;x"),
         Answer("1;42;dl.test;files/setup.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"identifier 0",
         Answer("0;5;x"),
         Answer("0;0;dl.test;f.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"identifier past 32 bits",
         Answer("0;5;x"),
         Answer("0;99999999999;dl.test;f.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"host with a user",
         Answer("0;5;x"),
         Answer("0;42;dl.test@x;files/setup.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"host that does not resolve",
         Answer("0;5;x"),
         Answer("0;42;nowhere.test;files/setup.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"name leading out of the folder",
         Answer("0;5;x"),
         Answer("0;42;dl.test;files/..\\..\\x.exe"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"empty name",
         Answer("0;5;x"),
         Answer("0;42;dl.test;files/"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"name ..",
         Answer("0;5;x"),
         Answer("0;42;dl.test;a/.."),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        {"no path",
         Answer("0;5;x"),
         Answer("0;42;dl.test"),
         "null",
         {accepted("1", "x"), failed},
         "5",
         {"0", "1"},
         0},
        // The download fails before its first 1000 bytes: nothing is reported.
        {"cut before 1000 bytes",
         Answer("0;123456;x"),
         location,
         Download(123456, 123456, 100, 0, 500),
         {accepted("121", "x"), failed},
         "123456",
         {"0", "1"},
         1},
        // A server dripping a byte a second passes the transport's low-speed check: the waits
        // end at their limit instead of freezing the main dialog for hours.
        {"the check dripped",
         R"({"drip": "0;0;up to date", "delay_ms": 1000})",
         "null",
         "null",
         {failedWith("Failed in async operation, Error: 12 002")},
         "",
         {"0"},
         0,
         1500},
        {"the first bytes of the download dripped",
         Answer("0;123456;x"),
         location,
         Download(123456, 123456, 1, 1000),
         {accepted("121", "x"), failed},
         "123456",
         {"0", "1"},
         1,
         1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteRegistry("");
        SetScenario(c.A0, c.A1, c.File);
        m_Hooks.WaitLimitMs = c.WaitLimitMs;
        platform::SetHttpTestHooks(&m_Hooks);
        const size_t since = LogSize();
        const size_t lines = Transcript().size();
        const i64 start = RealNow();
        RunFlow(UpdateScript(c.Boxes));
        if (c.WaitLimitMs) {
            EXPECT_LT(RealNow() - start, i64(10) * 1000000000);
        }
        EXPECT_EQ(RegistryValue("PatchAvailable"), c.Patch);
        EXPECT_EQ(Actions(since), c.Actions);
        EXPECT_EQ(Downloads(since), c.Downloads);
        for (size_t i = lines; i < Transcript().size(); ++i) {
            EXPECT_NE(Transcript()[i].rfind("open 140", 0), 0u) << "the download dialog opened";
            EXPECT_NE(Transcript()[i].rfind("shell", 0), 0u) << Transcript()[i];
        }
    }
    EXPECT_FALSE(std::filesystem::exists(m_Install.File("GameData/Download")));
    EXPECT_TRUE(m_Install.LogLines().empty()) << "the game was started";
}

// Failures of the connection itself, and the settings.
TEST_F(UpdateFlow, ConnectionFailuresAndSettings) {
    const SBox failed = {ui::IDOK, "Error", kFailed};
    const auto failedWith = [](const std::string& detail) {
        return SBox{ui::IDOK, "Error", kFailed + "\n" + detail};
    };
    struct Case {
        const char* Name;
        std::string Settings;
        std::string Listener; // where upd.test:443 leads; empty: a closed port
        u32 LowSpeedSeconds;
        std::string A0;
        std::vector<SBox> Boxes;
        size_t Requests;
        std::string Patch;
    };
    const std::vector<Case> cases = {
        {"no host", "update_host =\n", "https", 0, Answer("0;0;x"), {}, 0, ""},
        {"no settings file", "", "https", 0, Answer("0;0;x"), {}, 0, ""},
        {"a host that is no host name",
         "update_host = upd.test/x\n",
         "https",
         0,
         Answer("0;0;x"),
         {failed},
         0,
         ""},
        {"12007",
         "update_host = nowhere.test\n",
         "https",
         0,
         Answer("0;0;x"),
         {failedWith("not connected to internet")},
         0,
         ""},
        {"12029",
         "update_host = upd.test\n",
         "",
         0,
         Answer("0;0;x"),
         {failedWith("bad proxy configuration")},
         0,
         ""},
        {"self-signed",
         "update_host = upd.test\n",
         "https_self",
         0,
         Answer("0;0;x"),
         {failedWith("Failed in async operation, Error: 12 045")},
         0,
         ""},
        {"self-signed, relaxed",
         "update_host = upd.test\nupdate_relaxed_certificates = 1\n",
         "https_self",
         0,
         Answer("0;0;fine"),
         {{ui::IDOK, "Information (no download needed)", "fine"}},
         1,
         "0"},
        {"stalled",
         "update_host = upd.test\n",
         "https",
         1,
         Stall(20),
         {failedWith("Failed in async operation, Error: 12 002")},
         1,
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteRegistry("");
        if (c.Settings.empty())
            std::filesystem::remove(m_Install.File("LauncherSettings.txt"));
        else
            WriteSettings(c.Settings);
        m_Hooks.LowSpeedTimeSeconds = c.LowSpeedSeconds;
        ConnectUpdateServerTo(c.Listener, c.Listener.empty() ? TestFreePort() : 0);
        SetScenario(c.A0);
        const size_t since = LogSize();
        const size_t lines = Transcript().size();
        RunFlow(UpdateScript(c.Boxes));
        EXPECT_EQ(Requests(since).size(), c.Requests);
        if (c.Boxes.empty()) {
            for (size_t i = lines; i < Transcript().size(); ++i)
                EXPECT_NE(Transcript()[i].rfind("box", 0), 0u) << Transcript()[i];
        }
        EXPECT_EQ(RegistryValue("PatchAvailable"), c.Patch);
    }
}

// The exact request strings: values go in raw, a '%' of the stored version is no directive.
TEST_F(UpdateFlow, CheckRequestsCarryTheValuesRaw) {
    struct Case {
        const char* Registry;
        const char* Version; // as the server receives it
    };
    const Case cases[] = {
        {"", "0.0.1.0"},
        {"\"Version\"=\"0.0.1.0\"\n", "0.0.1.0"},
        {"\"Version\"=\"1%s\"\n", "1%s"},
        {"\"Version\"=\"1%d%n\"\n", "1%d%n"},
        // A blank is no byte of a request target: the HTTP layer encodes it.
        {"\"Version\"=\"2.5 beta&x=y\"\n", "2.5%20beta&x=y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Registry);
        WriteRegistry(c.Registry);
        SetScenario(Answer("0;5;x"), Answer("gone", 404));
        const size_t since = LogSize();
        RunFlow(UpdateScript({{ui::IDYES, "Download ?", Offer("1", "x")},
                              {ui::IDOK, "Error", kFailed + "\nRequest unknown Error: 404"}}));
        const std::string tail =
            std::string("&game=Brisalde&lang=en&version=") + c.Version + "&os=WinNt2kXp&protocol=2";
        EXPECT_EQ(PatchTargets(since), (std::vector<std::string>{
                                           "/patch/patch.php?action=0" + tail,
                                           "/patch/patch.php?action=1" + tail,
                                       }));
    }
}

// The reminder of the main dialog leads into the same road.
TEST_F(UpdateFlow, TheReminderRunsTheCheck) {
    const std::string reminder = "Last time you connected to game server, an update (121 kBytes) "
                                 "was available.\nDo you want to check for this update now ?";
    for (const bool yes : {true, false}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        WriteRegistry("\"PatchAvailable\"=\"123456\"\n");
        SetScenario(Answer("0;0;Nothing new"));
        const size_t since = LogSize();
        ui::Script script;
        script.Answer(yes ? ui::IDYES : ui::IDNO, Exactly("Brisalde"), Exactly(reminder));
        if (yes)
            script.Answer(ui::IDOK, Exactly("Information (no download needed)"),
                          Exactly("Nothing new"));
        script.In(kMainDlgTemplateId).Click(ui::IDCANCEL);
        RunFlow(std::move(script));
        EXPECT_EQ(Actions(since), yes ? std::vector<std::string>{"0"} : std::vector<std::string>{});
        EXPECT_EQ(RegistryValue("PatchAvailable"), yes ? "0" : "123456");
    }
}

// ---------------------------------------------------------------------------------------------
// The download

TEST_F(UpdateFlow, UpdateIsDownloadedStoredReportedAndHandedToTheDesktop) {
    const u32 size = 123456;
    SetScenario(Answer("0;123456;New cars"), Answer("0;42;dl.test;files/setup.exe"),
                Download(size, size, 8192, 150));
    // An earlier download, read-only, is replaced.
    std::filesystem::create_directories(m_Install.File("GameData/Download"));
    WriteWholeFile(DownloadFile(), "an earlier installer");
    chmod(DownloadFile().c_str(), 0444);

    const std::string path = DownloadFile();
    i64 opened = 0;
    i64 lastSeenOpen = 0;
    i64 closedSeen = 0;
    std::vector<i32> positions;
    std::string patchWhileOpen;
    ui::Script script;
    script.In(kMainDlgTemplateId)
        .Click(kMainDlgUpdateId)
        .Answer(ui::IDYES, Exactly("Download ?"), Exactly(Offer("121", "New cars")))
        .Expect(
            [&](const ui::View& view) {
                opened = MovingCounter();
                patchWhileOpen = RegistryValue("PatchAvailable");
                const ui::Dialog* dialog = view.Find(kDownloadDlgTemplateId);
                return dialog &&
                       dialog->GetWindowText() == "Download in progress, please wait..." &&
                       view.Item(kDownloadDlgTemplateId, kDownloadDlgSizeTextId)->GetText() ==
                           "File size is 121 kBytes." &&
                       view.Item(kDownloadDlgTemplateId, kDownloadDlgDescriptionId)->GetText() ==
                           "New cars" &&
                       view.Item(kDownloadDlgTemplateId, ui::IDCANCEL)->GetText() == "Cancel" &&
                       view.Item(kDownloadDlgTemplateId, kDownloadDlgProgressId)->GetRangeMax() ==
                           100;
            },
            "the download dialog's texts")
        // Seven seconds pass at once; the first tick reports, as the first report of the run.
        .Expect(
            [](const ui::View&) {
                MoveMs(7000);
                return true;
            },
            "7 s pass")
        .RunTimers(1)
        // A minute later the next tick reports again; the ticks between do not.
        .Expect(
            [](const ui::View&) {
                MoveMs(61000);
                return true;
            },
            "61 s pass")
        .RunTimers(1)
        .RunTimersUntil(
            [&](const ui::View& view) {
                if (const ui::Control* bar =
                        view.Item(kDownloadDlgTemplateId, kDownloadDlgProgressId)) {
                    lastSeenOpen = MovingCounter();
                    if (positions.empty() || positions.back() != bar->GetPos())
                        positions.push_back(bar->GetPos());
                    return false;
                }
                closedSeen = MovingCounter();
                return true;
            },
            600000, "the download ends")
        .Answer(ui::IDOK, Exactly("Download done"), Exactly(Success(path)));
    RunFlow(std::move(script));

    EXPECT_EQ(patchWhileOpen, "123456");
    EXPECT_EQ(RegistryValue("PatchAvailable"), "0");
    // The file as served, checked by tools of the system too.
    const std::string served = Pattern(size);
    EXPECT_EQ(ReadWholeFile(path), served);
    WriteWholeFile(m_Install.File("served.bin"), served);
    RunCommand("cmp " + m_Install.File("served.bin") + " " + path);
    const std::string sums = RunCommand("sha256sum " + m_Install.File("served.bin") + " " + path);
    EXPECT_EQ(sums.substr(0, 64), sums.substr(sums.find('\n') + 1, 64)) << sums;
    EXPECT_EQ(DownloadFolderNames(), std::vector<std::string>{"setup.exe"});

    // What the player saw, in order, and the desktop's part.
    const std::vector<std::string> expected = {
        "box \"Download ?\" " + Quote(Offer("121", "New cars")) + " MB_YESNO Yes|No",
        "open 140 owner 102",
        "caption 140 \"Download in progress, please wait...\"",
        "timer 140 set 0 500ms",
        "close 140 -> IDOK",
        "box owner 102 \"Download done\" " + Quote(Success(path)) + " MB_OK OK",
        "shell open " + path,
        "close 102 -> IDCANCEL",
    };
    ExpectInOrder(expected);
    EXPECT_TRUE(m_Install.LogLines().empty()) << "the game was started";

    // The bar rose over several ticks and never went back.
    ASSERT_GE(positions.size(), 3u) << "too few ticks to see the bar rise";
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GT(positions.back(), 0);

    // The requests: the check, the location, the file, two reports a minute apart, the end.
    const std::string tail = "&game=Brisalde&lang=en&version=0.0.1.0&os=WinNt2kXp&protocol=2";
    const std::vector<std::string> targets = PatchTargets();
    ASSERT_GE(targets.size(), 3u);
    EXPECT_EQ(targets[0], "/patch/patch.php?action=0" + tail);
    EXPECT_EQ(targets[1], "/patch/patch.php?action=1" + tail);
    EXPECT_EQ(Downloads(), 1u);
    std::vector<i32> reported;
    std::string finished;
    for (size_t i = 2; i < targets.size(); ++i) {
        const std::string report = "/patch/patch.php?action=2&id_download=42&protocol=2&progress=";
        if (targets[i].rfind(report, 0) == 0)
            reported.push_back(std::stoi(targets[i].substr(report.size())));
        else
            finished = targets[i];
    }
    EXPECT_EQ(reported.size(), 2u);
    for (const i32 percent : reported)
        EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;
    const std::string end = "/patch/patch.php?action=3&id_download=42&protocol=2&time=";
    ASSERT_EQ(finished.rfind(end, 0), 0u) << finished;
    // The seconds the dialog was open: the 68 s moved, the ticks' moves and the real time.
    const i64 seconds = std::stoll(finished.substr(end.size()));
    EXPECT_GE(seconds, 68);
    EXPECT_GE(seconds, (lastSeenOpen - opened) / 1000000000);
    EXPECT_LE(seconds, (closedSeen - opened) / 1000000000 + 1);

    // Python reads the queries with the same keys in the same order.
    std::string input;
    for (const std::string& target : targets)
        input += target + "\n";
    CTempFolder python;
    WriteWholeFile(python.File("targets"), input);
    const std::string parsed =
        RunPython(python,
                  "import sys, urllib.parse\n"
                  "for line in open(sys.argv[1]):\n"
                  "    query = urllib.parse.urlsplit(line.strip()).query\n"
                  "    pairs = urllib.parse.parse_qsl(query, strict_parsing=True)\n"
                  "    print(','.join(k + '=' + v for k, v in pairs))\n",
                  python.File("targets"));
    EXPECT_EQ(parsed.substr(0, parsed.find('\n', parsed.find('\n') + 1) + 1),
              "action=0,game=Brisalde,lang=en,version=0.0.1.0,os=WinNt2kXp,protocol=2\n"
              "action=1,game=Brisalde,lang=en,version=0.0.1.0,os=WinNt2kXp,protocol=2\n");
    EXPECT_NE(parsed.find("action=3,id_download=42,protocol=2,time=" + std::to_string(seconds)),
              std::string::npos)
        << parsed;

    // curl replays the logged requests and gets what the scenario serves.
    const std::string connect =
        " --connect-to upd.test:443:127.0.0.1:" + std::to_string(s_Server->Port("https")) +
        " --cacert " + TestCertificateFolder() + "/ca.pem";
    EXPECT_EQ(RunCommand("curl -sS" + connect + " 'https://upd.test" + targets[0] + "'"),
              "0;123456;New cars");
    EXPECT_EQ(RunCommand("curl -sS" + connect + " 'https://upd.test" + targets[1] + "'"),
              "0;42;dl.test;files/setup.exe");
    RunCommand(
        "curl -sS --connect-to dl.test:80:127.0.0.1:" + std::to_string(s_Server->Port("http")) +
        " -o " + m_Install.File("curl.bin") + " http://dl.test/files/setup.exe");
    RunCommand("cmp " + m_Install.File("served.bin") + " " + m_Install.File("curl.bin"));
}

// Every way the dialog can end without a stored file: the report is action 4, nothing is written
// over what was there, nothing is handed to the desktop and the main dialog stays.
TEST_F(UpdateFlow, DownloadsThatEndWithoutAFile) {
    const std::string offer = Offer("121", "New cars");
    const std::string slow = Download(123456, 123456, 2000, 200);
    enum class End : u8 { Cancel, Escape, Enter, Runs };
    enum class Before : u8 { Nothing, File, ReadOnlyFile, Folder };
    struct Case {
        const char* Name;
        std::string File;
        End How;
        Before There;
        const char* Closed;      // the dialog's end
        std::vector<SBox> After; // boxes after it
        i64 MovedMs;             // moved while it is open
        const char* Log;         // a part of the launcher's log, or null
    };
    const std::string folderPath = DownloadFile();
    const std::vector<Case> cases = {
        {"Cancel", slow, End::Cancel, Before::Nothing, "close 140 -> IDCANCEL", {}, 5000, nullptr},
        {"Escape", slow, End::Escape, Before::File, "close 140 -> IDCANCEL", {}, 9000, nullptr},
        {"Enter before the end",
         slow,
         End::Enter,
         Before::Nothing,
         "close 140 -> IDOK",
         {},
         3000,
         nullptr},
        {"cut after the first 1000 bytes",
         Download(123456, 123456, 2000, 0, 2000, 2500),
         End::Runs,
         Before::File,
         "close 140 -> IDCANCEL",
         {},
         0,
         nullptr},
        {"fewer bytes than announced by the check",
         Download(100000, 100000, 8192, 20),
         End::Runs,
         Before::ReadOnlyFile,
         "close 140 -> IDOK",
         {{ui::IDOK, "Error", kFailed}},
         0,
         "100000 bytes came, 123456 were announced"},
        {"a folder in the file's place",
         Download(123456, 123456, 65536, 0),
         End::Runs,
         Before::Folder,
         "close 140 -> IDOK",
         {{ui::IDOK, "Error", kFailed + "\n" + folderPath}},
         0,
         "cannot be stored as Z:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteRegistry("");
        SetScenario(Answer("0;123456;New cars"), Answer("0;42;dl.test;files/setup.exe"), c.File);
        std::filesystem::remove_all(m_Install.File("GameData/Download"));
        std::filesystem::create_directories(m_Install.File("GameData/Download"));
        if (c.There == Before::File || c.There == Before::ReadOnlyFile)
            WriteWholeFile(DownloadFile(), "an earlier installer");
        if (c.There == Before::ReadOnlyFile)
            chmod(DownloadFile().c_str(), 0444);
        else if (c.There == Before::Folder)
            std::filesystem::create_directories(DownloadFile());
        const size_t since = LogSize();
        const size_t lines = Transcript().size();

        ui::Script script;
        script.In(kMainDlgTemplateId)
            .Click(kMainDlgUpdateId)
            .Answer(ui::IDYES, Exactly("Download ?"), Exactly(offer));
        if (c.How == End::Runs) {
            script.RunTimersUntil([](const ui::View& view) { return !view.Find(140); }, 600000,
                                  "the dialog ends");
        } else {
            script
                .Expect(
                    [&c](const ui::View&) {
                        MoveMs(c.MovedMs);
                        return true;
                    },
                    "time passes")
                .RunTimers(1)
                .In(kDownloadDlgTemplateId);
            if (c.How == End::Cancel)
                script.Click(ui::IDCANCEL);
            else
                script.Key(c.How == End::Escape ? ui::Key::Escape : ui::Key::Enter);
        }
        for (const SBox& box : c.After)
            script.Answer(box.Answer, Exactly(box.Caption), Exactly(box.Text));
        // The main dialog is still there.
        script.In(kMainDlgTemplateId).Click(ui::IDCANCEL);
        CFileSinkWatch log;
        RunFlow(std::move(script));
        if (c.Log) {
            EXPECT_NE(log.Text().find(c.Log), std::string::npos) << log.Text();
        }

        const std::vector<std::string> taken(Transcript().begin() + std::ptrdiff_t(lines),
                                             Transcript().end());
        EXPECT_NE(std::find(taken.begin(), taken.end(), c.Closed), taken.end())
            << m_Ui.TranscriptText();
        for (const std::string& line : taken)
            EXPECT_NE(line.rfind("shell", 0), 0u) << line;
        EXPECT_EQ(RegistryValue("PatchAvailable"), "123456");
        const std::vector<std::string> targets = PatchTargets(since);
        ASSERT_FALSE(targets.empty());
        const std::string end = "/patch/patch.php?action=4&id_download=42&protocol=2&time=";
        ASSERT_EQ(targets.back().rfind(end, 0), 0u) << targets.back();
        EXPECT_GE(std::stoll(targets.back().substr(end.size())), c.MovedMs / 1000);
        for (const std::string& target : targets)
            EXPECT_EQ(target.find("action=3"), std::string::npos) << target;
        // What was there stays, and no temporary file is left.
        switch (c.There) {
            case Before::Nothing:
                EXPECT_TRUE(DownloadFolderNames().empty());
                break;
            case Before::File:
            case Before::ReadOnlyFile:
                EXPECT_EQ(DownloadFolderNames(), std::vector<std::string>{"setup.exe"});
                EXPECT_EQ(ReadWholeFile(DownloadFile()), "an earlier installer");
                EXPECT_EQ(std::filesystem::status(DownloadFile()).permissions() &
                              std::filesystem::perms::owner_write,
                          c.There == Before::File ? std::filesystem::perms::owner_write
                                                  : std::filesystem::perms::none);
                break;
            case Before::Folder:
                EXPECT_EQ(DownloadFolderNames(), std::vector<std::string>{"setup.exe"});
                EXPECT_TRUE(std::filesystem::is_directory(DownloadFile()));
                break;
        }
    }
    EXPECT_TRUE(m_Install.LogLines().empty()) << "the game was started";
}

// A server that announces no size: the bar stays empty, the file is still stored whole.
TEST_F(UpdateFlow, WithoutAnAnnouncedSizeTheBarStaysEmpty) {
    SetScenario(Answer("0;60000;x"), Answer("0;7;dl.test;files/setup.exe"),
                Download(60000, std::nullopt, 4000, 100));
    std::vector<i32> positions;
    ui::Script script;
    script.In(kMainDlgTemplateId)
        .Click(kMainDlgUpdateId)
        .Answer(ui::IDYES, Exactly("Download ?"), Exactly(Offer("59", "x")))
        .RunTimersUntil(
            [&](const ui::View& view) {
                const ui::Control* bar = view.Item(kDownloadDlgTemplateId, kDownloadDlgProgressId);
                if (bar)
                    positions.push_back(bar->GetPos());
                return !bar;
            },
            600000, "the download ends")
        .Answer(ui::IDOK, Exactly("Download done"), Exactly(Success(DownloadFile())));
    RunFlow(std::move(script));
    EXPECT_GE(positions.size(), 2u);
    for (const i32 position : positions)
        EXPECT_EQ(position, 0);
    EXPECT_EQ(ReadWholeFile(DownloadFile()), Pattern(60000));
    EXPECT_EQ(PatchTargets().back().rfind("/patch/patch.php?action=3&id_download=7&", 0), 0u);
}

// A desktop that has nothing to open the installer with: the player is told where the file lies,
// so that it can be run by hand, and the launcher still ends without starting the game.
TEST_F(UpdateFlow, AnInstallerTheDesktopCannotOpenIsNamed) {
    platform::SetShellOpener([](std::string_view verb, const std::string& hostPath) {
        platform::RecordShellOpen(verb, hostPath);
        return platform::kShellNoOpener;
    });
    SetScenario(Answer("0;5;x"), Answer("0;7;dl.test;files/setup.exe"), Download(5, 5, 5, 0));
    ui::Script script;
    script.In(kMainDlgTemplateId)
        .Click(kMainDlgUpdateId)
        .Answer(ui::IDYES, Exactly("Download ?"), Exactly(Offer("1", "x")))
        .RunTimersUntil([](const ui::View& view) { return !view.Find(kDownloadDlgTemplateId); },
                        600000, "the download ends")
        .Answer(ui::IDOK, Exactly("Download done"), Exactly(Success(DownloadFile())))
        .Answer(ui::IDOK, Exactly("Error"),
                Exactly("Unknow ShellExecute error (31)\n" + DownloadFile()));
    RunFlow(std::move(script));
    EXPECT_EQ(ReadWholeFile(DownloadFile()), Pattern(5));
    const std::vector<std::string> expected = {
        "shell open " + DownloadFile(),
        "box owner 102 \"Error\" " + Quote("Unknow ShellExecute error (31)\n" + DownloadFile()) +
            " MB_OK OK",
        "close 102 -> IDCANCEL",
    };
    ExpectInOrder(expected);
    EXPECT_TRUE(m_Install.LogLines().empty()) << "the game was started";
}

// Every text of the road comes from the catalogue, the friendly details too, unchanged through
// their EF BB BF form.
TEST_F(UpdateFlow, EveryTextIsTranslated) {
    const std::vector<std::string> keys = {
        "Check of %1 update failed !",
        "Error",
        "not connected to internet",
        "bad proxy configuration",
        "Information (no download needed)",
        Offer("%1", "%2"),
        "Download ?",
        "Download in progress, please wait...",
        "Cancel",
        "File size is %1 kBytes.",
        Success("%1"),
        "Download done",
    };
    // Marked with non-ASCII letters at both ends; a final line end stays last, as msgfmt wants.
    const auto marked = [](const std::string& text) {
        const bool end = !text.empty() && text.back() == '\n';
        return "\xC3\x84 " + text.substr(0, text.size() - (end ? 1 : 0)) + " \xC3\x96" +
               (end ? "\n" : "");
    };
    const auto po = [](std::string text) {
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
            text.replace(at, 1, "\\n");
        return text;
    };
    std::vector<std::pair<std::string, std::string>> messages = {
        {"|I18NInternal|English", "English"}};
    for (const std::string& key : keys)
        messages.push_back({po(key), po(marked(key))});
    WriteCatalogue("en", messages);
    const std::string failed = marked("Check of Brisalde update failed !");
    const std::string download = Download(5, 5, 5, 0);
    ui::Script script;
    const auto click = [&script](std::string a0, std::string a1 = "null",
                                 std::string file = "null") {
        script
            .Expect(
                [a0, a1, file](const ui::View&) {
                    SetScenario(a0, a1, file);
                    return true;
                },
                "the scenario")
            .In(kMainDlgTemplateId)
            .Click(kMainDlgUpdateId);
    };
    click(Answer("gone", 404));
    script.Answer(ui::IDOK, Exactly(marked("Error")),
                  Exactly(failed + "\n" + marked("not connected to internet")));
    click(Answer("proxy", 407));
    script.Answer(ui::IDOK, Exactly(marked("Error")),
                  Exactly(failed + "\n" + marked("bad proxy configuration")));
    click(Answer("0;0;fine"));
    script.Answer(ui::IDOK, Exactly(marked("Information (no download needed)")), Exactly("fine"));
    click(Answer("0;5;x"), Answer("0;42;dl.test;files/setup.exe"), download);
    script.Answer(ui::IDYES, Exactly(marked("Download ?")), Exactly(marked(Offer("1", "x"))))
        .Expect(
            [&marked](const ui::View& view) {
                return view.Find(kDownloadDlgTemplateId)->GetWindowText() ==
                           marked("Download in progress, please wait...") &&
                       view.Item(kDownloadDlgTemplateId, ui::IDCANCEL)->GetText() ==
                           marked("Cancel") &&
                       view.Item(kDownloadDlgTemplateId, kDownloadDlgSizeTextId)->GetText() ==
                           marked("File size is 1 kBytes.");
            },
            "the dialog's texts")
        .RunTimersUntil([](const ui::View& view) { return !view.Find(kDownloadDlgTemplateId); },
                        600000, "the download ends")
        .Answer(ui::IDOK, Exactly(marked("Download done")),
                Exactly(marked(Success(DownloadFile()))));
    RunFlow(std::move(script));
    EXPECT_EQ(ReadWholeFile(DownloadFile()), Pattern(5));
}

} // namespace
