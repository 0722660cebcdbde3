// The update protocol's texts and rules on their own: request paths, the answers read with their
// bounds, the names a download may be stored under, the percentage, the settings file, and the
// waits of the update road over the scripted HTTP transport.
#include "launcher/UpdateProtocol.h"

#include "core/nod/MwClassInfo.h"
#include "core/nod/MwCoreClasses.h"
#include "core/nod/MwId.h"
#include "launcher/DownloadDlg.h"
#include "launcher/UpdateSettings.h"
#include "net/engine/NetClasses.h"
#include "net/engine/NetTime.h"
#include "net/http/NetHttpResult.h"
#include "system/config/HostInfo.h"
#include "tests/support/http/FakeHttpTransport.h"
#include "tests/system/SystemTestSupport.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

CClassicStringRef Ref(const std::string& text) {
    return CClassicStringRef(text.data(), u32(text.size()));
}

TEST(UpdateProtocol, RequestPaths) {
    EXPECT_EQ(Text(UpdateCheckPath(0, "en", "0.0.1.0", "WinNt2kXp")),
              "patch/patch.php?action=0&game=Brisalde&lang=en&version=0.0.1.0&os=WinNt2kXp"
              "&protocol=2");
    // A '%' of a value is copied, never read as a directive.
    EXPECT_EQ(Text(UpdateCheckPath(1, "xx", "1%s%n%%", "Win9x")),
              "patch/patch.php?action=1&game=Brisalde&lang=xx&version=1%s%n%%&os=Win9x&protocol=2");
    EXPECT_EQ(Text(UpdateProgressPrefix(42)),
              "patch/patch.php?action=2&id_download=42&protocol=2&progress=");
    EXPECT_EQ(Text(UpdateResultPath(3, 42, 68)),
              "patch/patch.php?action=3&id_download=42&protocol=2&time=68");
    EXPECT_EQ(Text(UpdateResultPath(4, -7, 0)),
              "patch/patch.php?action=4&id_download=-7&protocol=2&time=0");
    EXPECT_STREQ(UpdateOsName(kOsPlatformNt), "WinNt2kXp");
    EXPECT_STREQ(UpdateOsName(kOsPlatformWindows), "Win9x");
    EXPECT_STREQ(UpdateOsName(g_OsVersionInfo.PlatformId), "WinNt2kXp");
}

TEST(UpdateProtocol, CheckAnswers) {
    struct Case {
        std::string Body;
        std::optional<i32> Size; // none: refused
        std::string SizeToken = {};
        std::u16string Text = {};
    };
    const std::vector<Case> cases = {
        {"0;0;Nothing new", 0, "0", u"Nothing new"},
        {"0;;;5;text", 5, "5", u"text"},
        {"0;5", 5, "5", u""},
        {"0;5;", 5, "5", u""},
        {"0;5;;;", 5, "5", u""},
        {"0;5;a;b;;c", 5, "5", u"a;b;;c"},
        {" 0 ;1 000;x", 1000, "1 000", u"x"},
        {"0;2147483646;x", 2147483646, "2147483646", u"x"},
        {"0;5;\xEF\xBB\xBF\xC3\xA9t\xC3\xA9", 5, "5", u"\u00E9t\u00E9"},
        {"0;5;\xC3\xA9", 5, "5", u"\u00C3\u00A9"},
        {"", std::nullopt},
        {";0;5;x", std::nullopt},
        {"1;5;x", std::nullopt},
        {"x;5;x", std::nullopt},
        {"-0;5;x", std::nullopt},
        {"0", std::nullopt},
        {"0;", std::nullopt},
        {"0;abc;x", std::nullopt},
        {"0;-5;x", std::nullopt},
        {"0;99999999999;x", std::nullopt},
        // The parser's answer past the range: a size that would never match the file.
        {"0;2147483647;x", std::nullopt},
        {"0;-99999999999;x", std::nullopt},
        {"\xEF\xBB\xBF"
         "0;5;x",
         std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Body);
        SUpdateCheckAnswer answer;
        answer.Size = 99;
        const char* problem = nullptr;
        const bool ok = ParseUpdateCheckAnswer(Ref(c.Body), answer, problem);
        ASSERT_EQ(ok, c.Size.has_value());
        if (!ok) {
            EXPECT_NE(problem, nullptr);
            EXPECT_EQ(answer.Size, 0);
            EXPECT_TRUE(answer.SizeToken.IsEmpty());
            continue;
        }
        EXPECT_EQ(answer.Size, *c.Size);
        EXPECT_EQ(Text(answer.SizeToken), c.SizeToken);
        EXPECT_EQ(std::u16string(answer.Text.GetText(), answer.Text.GetLength()), c.Text);
    }
}

TEST(UpdateProtocol, LocationAnswers) {
    struct Case {
        std::string Body;
        bool Ok = false;
        i32 Id = 0;
        std::string Host = {};
        std::string Path = {};
        std::string FileName = {};
    };
    const std::string longName(256, 'a');
    const std::vector<Case> cases = {
        {"0;42;dl.test;files/setup.exe", true, 42, "dl.test", "files/setup.exe", "setup.exe"},
        {"0;42;dl.test;setup.exe;more;tokens", true, 42, "dl.test", "setup.exe", "setup.exe"},
        {"0;;42;;dl.test;;a/b/c.bin", true, 42, "dl.test", "a/b/c.bin", "c.bin"},
        {"0;-7;127.0.0.1;/x", true, -7, "127.0.0.1", "/x", "x"},
        {"0;42;dl.test;files/" + longName.substr(1), true, 42, "dl.test",
         "files/" + longName.substr(1), longName.substr(1)},
        {"1;42;dl.test;f"},
        {"0;0;dl.test;f"},
        {"0;x;dl.test;f"},
        {"0;99999999999;dl.test;f"},
        {"0;42;dl.test@x;f"},
        {"0;42;dl.test:8080;f"},
        {"0;42;dl.test/x;f"},
        {"0;42;dl test;f"},
        {"0;42;dl.test"},
        {"0;42"},
        {"0;42;dl.test;files/"},
        {"0;42;dl.test;a/.."},
        {"0;42;dl.test;."},
        {"0;42;dl.test;files/..\\..\\x.exe"},
        {"0;42;dl.test;c:x.exe"},
        {"0;42;dl.test;a/x*.exe"},
        {"0;42;dl.test;a/x\x01.exe"},
        {"0;42;dl.test;files/" + longName},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Body);
        SUpdateLocation location;
        const char* problem = nullptr;
        ASSERT_EQ(ParseUpdateLocation(Ref(c.Body), location, problem), c.Ok);
        if (!c.Ok) {
            EXPECT_NE(problem, nullptr);
            EXPECT_EQ(location.DownloadId, 0);
            EXPECT_TRUE(location.FileName.IsEmpty());
            continue;
        }
        EXPECT_EQ(location.DownloadId, c.Id);
        EXPECT_EQ(Text(location.Host), c.Host);
        EXPECT_EQ(Text(location.Path), c.Path);
        EXPECT_EQ(Text(location.FileName), c.FileName);
    }
}

TEST(UpdateProtocol, FileNamesThatStayInTheDownloadFolder) {
    for (const std::string& name :
         std::vector<std::string>{"setup.exe", "...", "a b", "Setup-1.2_x64.EXE",
                                  "\xC3\xA9t\xC3\xA9", std::string(255, 'n')}) {
        EXPECT_TRUE(IsSafeDownloadFileName(Ref(name))) << name;
    }
    std::vector<std::string> refused = {
        "", ".", "..", std::string(256, 'n'), "a\tb", "a\x7F", std::string("a\0b", 3)};
    for (const char c : std::string("\\/:*?\"<>|"))
        refused.push_back(std::string("set") + c + "up.exe");
    for (const std::string& name : refused)
        EXPECT_FALSE(IsSafeDownloadFileName(Ref(name))) << name;
}

TEST(UpdateProtocol, PercentageStaysWithinTheBar) {
    struct Case {
        u32 Received;
        u32 Expected;
        i32 Percentage;
    };
    const Case cases[] = {
        {0, 0, 0},
        {5000, 0, 0},
        {0, 100, 0},
        {50, 100, 50},
        {99, 100, 99},
        {1, 3, 33},
        {123455, 123456, 99},
        {123456, 123456, 100},
        // A body past its announced size fills the bar, no more.
        {200, 100, 100},
        {0xFFFFFFFF, 1, 100},
        {0xFFFFFFFF, 0xFFFFFFFF, 100},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DownloadPercentage(c.Received, c.Expected), c.Percentage)
            << c.Received << " of " << c.Expected;
}

TEST(UpdateProtocol, SettingsFile) {
    struct Case {
        std::string Text;
        std::string Host;
        bool Relaxed;
        bool Logged;
    };
    const std::vector<Case> cases = {
        {"", "", false, false},
        {"update_host = upd.test\n", "upd.test", false, false},
        {"\xEF\xBB\xBF# the server\r\n  update_host=upd.test  \r\nupdate_relaxed_certificates = "
         "1\r\n",
         "upd.test", true, false},
        {"update_host = a.test\nupdate_host =\n", "", false, false},
        {"update_relaxed_certificates = yes\n", "", false, true},
        {"a line without its sign\nupdate_host = upd.test\n", "upd.test", false, true},
        {"other = 1\n", "", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        CFileSinkWatch log;
        const SUpdateSettings settings = ParseUpdateSettings(c.Text);
        EXPECT_EQ(Text(settings.Host), c.Host);
        EXPECT_EQ(settings.RelaxedCertificates, c.Relaxed);
        EXPECT_EQ(log.Text().find("[Launcher] LauncherSettings.txt line") != std::string::npos,
                  c.Logged)
            << log.Text();
    }

    // The file beside the program: missing, present, too long.
    CTempFolder folder;
    const CClassicWideString install = folder.Engine();
    EXPECT_TRUE(ReadUpdateSettings(install).Host.IsEmpty());
    WriteWholeFile(folder.File("LauncherSettings.txt"), "update_host = upd.test\n");
    EXPECT_EQ(Text(ReadUpdateSettings(install).Host), "upd.test");
    WriteWholeFile(folder.File("LauncherSettings.txt"),
                   "update_host = upd.test\n" + std::string(kLauncherSettingsLimit, '#'));
    CFileSinkWatch log;
    EXPECT_TRUE(ReadUpdateSettings(install).Host.IsEmpty());
    EXPECT_NE(log.Text().find("longer than 64 KB"), std::string::npos) << log.Text();

    // A host the file names, logged when it cannot be opened, stays on its line.
    CFileSinkWatch hostLog;
    LauncherLogLine("Update: the server %s cannot be opened", "upd.test\r[Launcher] forged");
    EXPECT_EQ(hostLog.Text(),
              "[Launcher] Update: the server upd.test\\x0D[Launcher] forged cannot be opened\r\n");
}

// ---------------------------------------------------------------------------------------------
// The waits, over the scripted transport

using namespace fake_http;

fake_http::Script Ok(const std::string& body) {
    return {
        {Headers("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n"),
         Data(body), End()}};
}

class UpdateWaits : public ::testing::Test {
public:
    void SetUp() override {
        CMwIdTable::Create();
        CMwClassRegistry::AddClassList(g_MwCoreClassList);
        CMwClassRegistry::AddClassList(g_NetClassList);
        CMwClassRegistry::Init();
        m_LiveNods = CMwNod::GetLiveNodCount();
        m_Client.emplace();
        ASSERT_TRUE(m_Client->Open("upd.test", 443));
    }
    void TearDown() override {
        m_Client.reset();
        EXPECT_EQ(CMwNod::GetLiveNodCount(), m_LiveNods) << "nods left alive by the test";
        CMwClassRegistry::Shutdown();
        CMwIdTable::Destroy();
    }

    FakeClock m_Clock;
    FakeHttpTransport m_Fake;
    std::optional<CNetHttpClient> m_Client;
    u32 m_LiveNods = 0;
};

TEST_F(UpdateWaits, GetAndWaitHoldsTheNewRequestAndGivesTheOldOneBack) {
    m_Fake.Add("first", Ok("0;0;x"));
    m_Fake.Add("second", {{Headers("HTTP/1.1 404 Not Found\r\n\r\n")}});
    CNetHttpResult* request = nullptr;
    ASSERT_TRUE(HttpGetAndWait(*m_Client, "first", request));
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(Text(request->m_Body), "0;0;x");
    // The client let it go: the reference is the caller's alone.
    EXPECT_EQ(request->m_Client, nullptr);
    EXPECT_EQ(request->GetRefCount(), 1);
    const u32 withFirst = CMwNod::GetLiveNodCount();
    EXPECT_FALSE(HttpGetAndWait(*m_Client, "second", request));
    EXPECT_EQ(CMwNod::GetLiveNodCount(), withFirst) << "the first request was not given back";
    EXPECT_EQ(request->m_Status, CNetHttpResult::s_StatusError);
    EXPECT_EQ(request->m_HttpError, 404u);
    EXPECT_EQ(m_Fake.Requests().size(), 2u);
    EXPECT_TRUE(m_Fake.Requests()[0].NoCache);
    EXPECT_TRUE(m_Fake.Requests()[0].AllowRedirect);
    EXPECT_EQ(m_Fake.Requests()[0].RangeStart, 0u);
    // A closed client makes none: the old one is given back all the same.
    m_Client->Close();
    EXPECT_FALSE(HttpGetAndWait(*m_Client, "third", request));
    EXPECT_EQ(request, nullptr);
}

TEST_F(UpdateWaits, WaitsEndWhenTheRequestLeavesItsClient) {
    // The answer never comes; another request's end cancels it.
    m_Fake.Add("other", Ok("x"));
    m_Fake.Add("stuck", {{}});
    CNetHttpResult* other = m_Client->Get("other", false, true, 0);
    other->SetCompletionCallback(this, [](void* fixture, CNetHttpResult*) {
        CNetHttpClient& client = *static_cast<UpdateWaits*>(fixture)->m_Client;
        std::vector<CNetHttpResult*> left(client.m_Requests.m_Items,
                                          client.m_Requests.m_Items + client.m_Requests.m_Count);
        for (CNetHttpResult* request : left)
            request->Cancel();
    });
    CNetHttpResult* request = nullptr;
    EXPECT_FALSE(HttpGetAndWait(*m_Client, "stuck", request));
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->m_Status, CNetHttpResult::s_StatusCancelled);
    EXPECT_EQ(request->m_Client, nullptr);
    request->Release();
}

TEST_F(UpdateWaits, FirstBytes) {
    struct Case {
        const char* Name;
        fake_http::Script Script;
        bool Result;
        u32 Status;
        u32 Received;
    };
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n";
    const std::vector<Case> cases = {
        // It returns once more than 1000 bytes are in, while the rest still comes.
        {"more than 1000",
         {{Headers(head), DataLater(std::string(600, 'a')), DataLater(std::string(600, 'b'))}},
         true,
         CNetHttpResult::s_StatusDownloading,
         1200},
        {"exactly 1000 is not enough",
         {{Headers(head), DataLater(std::string(1000, 'a')), DataLater(std::string(1, 'b'))}},
         true,
         CNetHttpResult::s_StatusDownloading,
         1001},
        {"a small file, whole", Ok("12345"), true, CNetHttpResult::s_StatusDone, 5},
        {"an error before",
         {{Headers(head), DataLater(std::string(500, 'a')), ReadError(12031)}},
         false,
         CNetHttpResult::s_StatusError,
         0},
        {"refused",
         {{Headers("HTTP/1.1 404 Not Found\r\n\r\n")}},
         false,
         CNetHttpResult::s_StatusError,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        m_Fake.Add(c.Name, c.Script);
        CNetHttpResult* request = nullptr;
        EXPECT_EQ(HttpGetAndWaitFirstBytes(*m_Client, c.Name, request, 1000), c.Result);
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->m_Status, c.Status);
        if (c.Status != CNetHttpResult::s_StatusError) {
            EXPECT_EQ(request->m_Body.GetLength(), c.Received);
        }
        m_Client->RemoveRequest(request);
        request->Release();
    }
}

// A server that drips its answer, a byte a second, passes the transport's low-speed check: the
// wait ends the request itself once the limit has passed since its creation.
TEST_F(UpdateWaits, DrippedAnswersEndAtTheLimit) {
    Script drip{{Headers("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")}};
    for (int i = 0; i < 200; ++i) {
        drip.Steps.push_back(Idle(1000));
        drip.Steps.push_back(DataLater("x"));
    }
    for (const bool firstBytes : {false, true}) {
        SCOPED_TRACE(firstBytes ? "first bytes" : "whole answer");
        m_Fake.Add("drip", drip);
        const u32 start = NetGetTimeMs();
        CNetHttpResult* request = nullptr;
        EXPECT_FALSE(firstBytes ? HttpGetAndWaitFirstBytes(*m_Client, "drip", request, 1000)
                                : HttpGetAndWait(*m_Client, "drip", request));
        const u32 waited = NetGetTimeMs() - start;
        EXPECT_GE(waited, kHttpWaitLimitMs);
        EXPECT_LE(waited, kHttpWaitLimitMs + 200);
        // Bytes were still coming at the end.
        EXPECT_GE(m_Client->GetRateMeter().GetTotal(), 4u);
        ASSERT_NE(request, nullptr);
        EXPECT_EQ(request->m_Status, CNetHttpResult::s_StatusError);
        EXPECT_EQ(Text(request->m_Body), "Failed in async operation, Error: 12 002");
        EXPECT_EQ(Text(m_Client->GetLastError()), "Failed in async operation, Error: 12 002");
        EXPECT_EQ(request->m_HttpError, 12002u);
        EXPECT_EQ(request->m_Client, nullptr);
        EXPECT_TRUE(m_Fake.Requests().back().Closed);
        request->Release();
    }
}

} // namespace
