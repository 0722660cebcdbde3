// The HTTP client's state machine over the scripted transport: every failure text, the status
// and body rules, the certificate switch, forbidden redirects, request lifetimes, the wait loop
// and the bounds on answers.
#include "net/http/NetHttpClient.h"

#include "NetTestSupport.h"
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "net/http/NetHttpResult.h"
#include "system/file/PackedDateTime.h"
#include "tests/support/http/FakeHttpTransport.h"

#include <functional>
#include <string>
#include <vector>

namespace {

using namespace fake_http;

// Holds a reference on a request for the test's scope.
class CHeld {
public:
    explicit CHeld(CNetHttpResult* request) : m_Request(request) {
        if (m_Request)
            m_Request->AddRef();
    }
    ~CHeld() {
        if (m_Request)
            m_Request->Release();
    }
    CHeld(const CHeld&) = delete;
    CHeld& operator=(const CHeld&) = delete;
    CNetHttpResult* operator->() const { return m_Request; }
    CNetHttpResult* Get() const { return m_Request; }

private:
    CNetHttpResult* m_Request;
};

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

std::string Answer(const std::string& statusLine, const std::string& fields = "") {
    return "HTTP/1.1 " + statusLine + "\r\n" + fields + "\r\n";
}

Script Ok(const std::string& body) {
    return {{Headers(Answer("200 OK", "Content-Length: " + std::to_string(body.size()) + "\r\n")),
             Data(body), End()}};
}

class NetHttpClient : public CNetFixture {
protected:
    FakeClock m_Clock;
    FakeHttpTransport m_Fake;
};

// ---------------------------------------------------------------------------------------------
// Texts

TEST_F(NetHttpClient, EveryFailureText) {
    struct Case {
        const char* Name;
        std::function<void(FakeHttpTransport&, CNetHttpClient&)> Arrange;
        // The request made after Open; none when Open itself is to fail.
        std::function<CNetHttpResult*(CNetHttpClient&)> Make;
        const char* LastError;
        u32 Status;
        u32 HttpError;
    };
    const auto get = [](CNetHttpClient& c) { return c.Get("p", true, true, 0); };
    const auto noRedirect = [](CNetHttpClient& c) { return c.Get("p", true, false, 0); };
    const auto head = [](CNetHttpClient& c) {
        return c.CreateRequest(2, "p", true, nullptr, 0, true, 0);
    };
    const Case cases[] = {
        {"open", [](auto& f, auto&) { f.FailSessions(8); }, nullptr,
         "Failed in call to InternetOpen, Error: 8", 0, 0},
        {"connect", [](auto& f, auto&) { f.FailConnect(12029); }, nullptr,
         "Failed in call to InternetConnect, Error: 12 029", 0, 0},
        {"create",
         [](auto& f, auto&) {
             f.Add("", {{}, 12004});
         },
         get, "Failed in call to HttpOpenRequest, Error: 12 004", 0, 0},
        {"send",
         [](auto& f, auto&) {
             f.Add("", {{}, 0, 12029});
         },
         get, "Failed in call to HttpSendRequest, Error: 12 029", 4, 0},
        {"status query",
         [](auto& f, auto&) {
             f.Add("", {{Headers(Answer("200 OK"))}, 0, 0, 12150});
         },
         get, "Failed in call to HttpQueryInfo for HTTP query status code, Error: 12 150", 4, 0},
        {"date query", [](auto& f, auto&) { f.Add("", {{Headers(Answer("200 OK"))}}); }, head,
         "Failed in call to HttpQueryInfo, Error: 12 150", 4, 0},
        // The flags cannot be read: the request goes out again all the same, and succeeds.
        {"security flags",
         [](auto& f, auto& c) {
             c.SetRelaxedCertificates(true);
             f.Add("", {{Fail(12038), Headers(Answer("200 OK")), End()}, 0, 0, 0, 87});
         },
         get, "Failed in call to InternetQueryOption, Error: 87", 3, 0},
        {"read",
         [](auto& f, auto&) {
             f.Add("", {{Headers(Answer("200 OK")), ReadError(12031)}});
         },
         get, "Failed in call to InternetReadFile, Error: 12 031", 4, 0},
        {"async", [](auto& f, auto&) { f.Add("", {{Fail(12029)}}); }, get,
         "Failed in async operation, Error: 12 029", 4, 12029},
        {"proxy 401", [](auto& f, auto&) { f.Add("", {{Headers(Answer("401 No"))}}); }, get,
         "Proxy Error: 401", 4, 401},
        {"proxy 407", [](auto& f, auto&) { f.Add("", {{Headers(Answer("407 Auth"))}}); }, get,
         "Proxy Error: 407", 4, 407},
        {"unknown", [](auto& f, auto&) { f.Add("", {{Headers(Answer("404 Not Found"))}}); }, get,
         "Request unknown Error: 404", 4, 404},
        {"redirect",
         [](auto& f, auto&) {
             f.Add("", {{Headers(Answer("302 Found", "Location: http://elsewhere.test/\r\n"))}});
         },
         noRedirect, "Redirect not allowed.", 4, 12156},
        {"limit",
         [](auto& f, auto& c) {
             c.SetBodyLimit(4);
             f.Add("", Ok("12345"));
         },
         get, "Failed in call to InternetReadFile, Error: 8", 4, 0},
    };
    for (const Case& c : cases) {
        FakeHttpTransport fake;
        CNetHttpClient client;
        c.Arrange(fake, client);
        const bool opened = client.Open("upd.test", 80);
        EXPECT_EQ(opened, c.Make != nullptr) << c.Name;
        if (c.Make) {
            CHeld request(c.Make(client));
            if (request.Get()) {
                client.WaitForRequests(5000);
                EXPECT_EQ(request->m_Status, c.Status) << c.Name;
                EXPECT_EQ(Text(request->m_Body), c.Status == 4 ? c.LastError : "") << c.Name;
                EXPECT_EQ(request->m_HttpError, c.HttpError) << c.Name;
                EXPECT_EQ(client.GetRequestCount(), 0u) << c.Name;
            }
        }
        EXPECT_EQ(Text(client.m_LastError), c.LastError) << c.Name;
    }
}

TEST_F(NetHttpClient, UnusableHostsAndPorts) {
    for (const auto& [host, port] : std::vector<std::pair<const char*, i32>>{{"user@upd.test", 80},
                                                                             {"upd.test:81", 80},
                                                                             {"upd.test/x", 80},
                                                                             {"", 80},
                                                                             {"upd test", 80},
                                                                             {"upd.test", 0},
                                                                             {"upd.test", 70000},
                                                                             {"upd.test", -2}}) {
        CNetHttpClient client;
        EXPECT_FALSE(client.Open(host, port)) << host << ' ' << port;
        EXPECT_EQ(Text(client.m_LastError), "Failed in call to InternetConnect, Error: 12 005");
        EXPECT_FALSE(client.IsConnected());
        EXPECT_EQ(client.Get("p", true, true, 0), nullptr);
        EXPECT_EQ(Text(client.m_LastError), "Failed in call to HttpOpenRequest, Error: 6");
    }
    for (const char* host : {"upd.test", "127.0.0.1", "[::1]", "a-b.c"}) {
        CNetHttpClient client;
        EXPECT_TRUE(client.Open(host, -1)) << host;
        EXPECT_EQ(client.m_Port, 80u);
    }
    EXPECT_EQ(m_Fake.GetSessionsOpen(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Status lines and bodies

TEST_F(NetHttpClient, StatusTable) {
    struct Case {
        const char* StatusLine;
        u32 RangeStart;
        u32 Status;
        const char* Body;
        u32 HttpError;
    };
    const Case cases[] = {
        {"100 Continue", 0, 3, "body", 0},
        {"200 OK", 0, 3, "body", 0},
        {"206 Partial Content", 5, 3, "body", 0},
        {"206 Partial Content", 0, 4, "Request unknown Error: 206", 206},
        {"401 Unauthorized", 0, 4, "Proxy Error: 401", 401},
        {"404 Not Found", 0, 4, "Request unknown Error: 404", 404},
        {"407 Proxy Authentication Required", 0, 4, "Proxy Error: 407", 407},
        {"500 Internal Server Error", 0, 4, "Request unknown Error: 500", 500},
        {"204 No Content", 0, 4, "Request unknown Error: 204", 204},
        // A redirect that was allowed but not followed is a refused status.
        {"302 Found", 0, 4, "Request unknown Error: 302", 302},
    };
    for (const Case& c : cases) {
        m_Fake.Add("", {{Headers(Answer(c.StatusLine, "Location: http://upd.test/b\r\n")),
                         Data("body"), End()}});
        CNetHttpClient client;
        ASSERT_TRUE(client.Open("upd.test", 80));
        CHeld request(client.Get("p", true, true, c.RangeStart));
        client.WaitForRequests(1000);
        EXPECT_EQ(request->m_Status, c.Status) << c.StatusLine;
        EXPECT_EQ(Text(request->m_Body), c.Body) << c.StatusLine;
        EXPECT_EQ(request->m_HttpError, c.HttpError) << c.StatusLine;
        EXPECT_EQ(request->m_StatusCode, u32(std::stoul(c.StatusLine))) << c.StatusLine;
        if (c.Status == 4) {
            EXPECT_EQ(Text(client.m_LastError), c.Body);
        }
    }
    EXPECT_EQ(m_Fake.Requests()[2].RangeStart, 5u);
    EXPECT_EQ(m_Fake.Requests()[3].RangeStart, 0u);
}

// One Update at a time: a pending read adds nothing to the body, a synchronous one is consumed
// at once, and the request leaves the array in the pass in which it ends.
TEST_F(NetHttpClient, BodyStepByStep) {
    m_Fake.Add("", {{Headers(Answer("200 OK", "Content-Type: text/plain\r\n")), DataLater("abc"),
                     Data("de"), DataLater("f"), EndLater()}});
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld request(client.Get("p", true, true, 0));
    EXPECT_EQ(request->m_Status, 0u);
    struct Step {
        u32 Status;
        u32 CurrentSize;
        u32 Requests;
    };
    const Step steps[] = {
        {1, 0, 1}, // the handle-created event: sent
        {2, 0, 1}, // the headers: the read pends
        {2, 5, 1}, // "abc" after the pending read, "de" at once, then pending again
        {2, 6, 1}, // "f"
        {3, 6, 0}, // the end
    };
    for (const Step& step : steps) {
        client.Update();
        EXPECT_EQ(request->m_Status, step.Status);
        EXPECT_EQ(request->m_Body.GetLength(), step.CurrentSize);
        EXPECT_EQ(request->m_Body.GetText()[request->m_Body.GetLength()], '\0');
        EXPECT_EQ(client.GetRequestCount(), step.Requests);
    }
    EXPECT_EQ(Text(request->m_Body), "abcdef");
    EXPECT_EQ(request->m_ExpectedSize, 0u);
    EXPECT_EQ(Text(request->m_ContentType), "text/plain");
    EXPECT_EQ(request->m_LastRead, 0);
    EXPECT_EQ(request->GetClient(), nullptr);
    EXPECT_EQ(client.GetRateMeter().GetTotal(), 6u);
}

TEST_F(NetHttpClient, BodyTable) {
    const std::string big(100000, 'z');
    struct Case {
        const char* Name;
        Script Answer;
        std::string Body;
        u32 ExpectedSize;
    };
    const Case cases[] = {
        {"known length", Ok("hello"), "hello", 5},
        {"empty", Ok(""), "", 0},
        {"unknown length", {{Headers(Answer("200 OK")), Data(big), End()}}, big, 0},
        {"pieces later",
         {{Headers(Answer("200 OK", "Content-Length: 4\r\n")), DataLater("ab"), DataLater("cd"),
           EndLater()}},
         "abcd",
         4},
        {"empty data pieces",
         {{Headers(Answer("200 OK")), Data(""), Data("x"), Data(""), End()}},
         "x",
         0},
        {"longer than announced",
         {{Headers(Answer("200 OK", "Content-Length: 2\r\n")), Data(big), End()}},
         big,
         2},
        {"not a length",
         {{Headers(Answer("200 OK", "Content-Length: -5\r\n")), Data("ab"), End()}},
         "ab",
         0},
    };
    for (const Case& c : cases) {
        m_Fake.Add("", c.Answer);
        CNetHttpClient client;
        ASSERT_TRUE(client.Open("upd.test", 80));
        CHeld request(client.Get("p", true, true, 0));
        client.WaitForRequests(1000);
        EXPECT_EQ(request->m_Status, 3u) << c.Name;
        EXPECT_EQ(Text(request->m_Body), c.Body) << c.Name;
        EXPECT_EQ(request->m_ExpectedSize, c.ExpectedSize) << c.Name;
        EXPECT_EQ(client.GetRateMeter().GetTotal(), c.Body.size()) << c.Name;
    }
}

// Content-Length sizes the body once, never past 64 MB; without it the body grows geometrically.
TEST_F(NetHttpClient, BodyRoom) {
    const std::string piece(0x4000, 'p');
    Script unknown{{Headers(Answer("200 OK"))}};
    for (int i = 0; i < 64; ++i)
        unknown.Steps.push_back(Data(piece));
    unknown.Steps.push_back(End());
    m_Fake.Add("unknown", unknown);
    m_Fake.Add("known",
               {{Headers(Answer("200 OK", "Content-Length: 1000000\r\n")), DataLater("x")}});
    m_Fake.Add("huge",
               {{Headers(Answer("200 OK", "Content-Length: 4000000000\r\n")), DataLater("x")}});

    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld known(client.Get("known", true, true, 0));
    CHeld huge(client.Get("huge", true, true, 0));
    client.Update();
    client.Update();
    EXPECT_EQ(known->m_Body.GetCapacity(), 1000000u + 0x4000);
    EXPECT_EQ(huge->m_Body.GetCapacity(), (64u << 20) + 0x4000);
    EXPECT_EQ(huge->m_ExpectedSize, 4000000000u);
    client.Close();

    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld grown(client.Get("unknown", true, true, 0));
    client.WaitForRequests(1000);
    EXPECT_EQ(grown->m_Body.GetLength(), 64u * 0x4000);
    // Doubling from one slot: 2, 4, 8 ... 64 slots, then one more for the read of the end.
    EXPECT_EQ(grown->m_Body.GetCapacity(), 128u * 0x4000);
}

// A stream that keeps what it is given, up to a number of bytes: past them it refuses.
class CCollectStream : public CClassicBuffer {
public:
    explicit CCollectStream(size_t limit = size_t(-1)) : m_Limit(limit) {}
    u32 Read(void*, u32) override { return 0; }
    u32 Write(const void* data, u32 n) override {
        const size_t taken = std::min<size_t>(n, m_Limit - m_Bytes.size());
        m_Bytes.append(static_cast<const char*>(data), taken);
        return u32(taken);
    }
    bool Close() override { return true; }
    u32 GetPosition() const override { return u32(m_Bytes.size()); }
    u32 GetSize() const override { return u32(m_Bytes.size()); }

    size_t m_Limit;
    std::string m_Bytes;
};

// A body handed to a stream while it comes: what came before goes there first, the rest as it
// comes, a slot at a time in place of a body sized from the announced length; a stream that
// refuses a write ends the request.
TEST_F(NetHttpClient, StreamedBody) {
    std::string whole(3 * CNetHttpClient::s_StreamSlot + 12345, '\0');
    for (size_t i = 0; i < whole.size(); ++i)
        whole[i] = char(i % 251);
    const std::string first = whole.substr(0, 1000);
    const Script answer{
        {Headers(Answer("200 OK", "Content-Length: " + std::to_string(whole.size()) + "\r\n")),
         Data(first), DataLater(whole.substr(1000, 700000)), Data(whole.substr(701000)),
         EndLater()}};
    struct Case {
        const char* Name;
        size_t Limit;
        u32 Status;
    };
    const Case cases[] = {
        {"whole", size_t(-1), 3},
        {"the stream refuses the first bytes", 999, 4},
        {"the stream refuses later", 500000, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        m_Fake.Add("", answer);
        CNetHttpClient client;
        ASSERT_TRUE(client.Open("upd.test", 80));
        CHeld request(client.Get("p", true, true, 0));
        CCollectStream stream(c.Limit);
        client.Update();
        client.Update();
        ASSERT_EQ(request->m_Status, 2u);
        ASSERT_EQ(Text(request->m_Body), first);
        if (c.Limit < first.size()) {
            // Nothing changes but what the stream took: the body stays in memory.
            EXPECT_FALSE(client.StreamBody(request.Get(), &stream));
            EXPECT_EQ(request->m_BodyStream, nullptr);
            client.WaitForRequests(1000);
            EXPECT_EQ(request->m_Status, 3u);
            EXPECT_EQ(Text(request->m_Body), whole);
            continue;
        }
        ASSERT_TRUE(client.StreamBody(request.Get(), &stream));
        EXPECT_FALSE(client.StreamBody(request.Get(), &stream)) << "a second stream";
        EXPECT_EQ(stream.m_Bytes, first);
        EXPECT_EQ(request->GetReceived(), first.size());
        client.WaitForRequests(1000);
        EXPECT_EQ(request->m_Status, c.Status);
        EXPECT_FALSE(client.StreamBody(request.Get(), &stream)) << "an ended request";
        // Never more than one slot in memory.
        EXPECT_LE(request->m_Body.GetCapacity(), CNetHttpClient::s_StreamSlot + 1);
        if (c.Status == 3) {
            EXPECT_EQ(stream.m_Bytes, whole);
            EXPECT_EQ(request->GetReceived(), whole.size());
            EXPECT_EQ(client.GetRateMeter().GetTotal(), whole.size());
        } else {
            EXPECT_EQ(Text(request->m_Body), "Failed in call to InternetReadFile, Error: 29");
            EXPECT_EQ(stream.m_Bytes, whole.substr(0, c.Limit));
        }
    }
    // Handed over before the answer came: every byte goes to the stream.
    m_Fake.Add("", answer);
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld request(client.Get("p", true, true, 0));
    CCollectStream stream;
    ASSERT_TRUE(client.StreamBody(request.Get(), &stream));
    client.WaitForRequests(1000);
    EXPECT_EQ(request->m_Status, 3u);
    EXPECT_EQ(stream.m_Bytes, whole);
    EXPECT_LE(request->m_Body.GetCapacity(), CNetHttpClient::s_StreamSlot + 1);
}

TEST_F(NetHttpClient, BodyLimits) {
    struct Case {
        const char* Name;
        Script Answer;
        u32 Limit;
        u32 Status;
    };
    const Case cases[] = {
        {"at the limit", {{Headers(Answer("200 OK")), Data("0123456789"), End()}}, 10, 3},
        {"past the limit",
         {{Headers(Answer("200 OK")), Data("01234567"), Data("89a"), End()}},
         10,
         4},
        {"announced past the limit", Ok("01234567890"), 10, 4},
        {"announced at the limit", Ok("0123456789"), 10, 3},
        {"announced past 64 bits",
         {{Headers(Answer("200 OK", "Content-Length: 99999999999999999999\r\n"))}},
         CNetHttpClient::s_DefaultBodyLimit,
         4},
    };
    for (const Case& c : cases) {
        m_Fake.Add("", c.Answer);
        CNetHttpClient client;
        EXPECT_EQ(client.GetBodyLimit(), 0xFFFFC000u);
        client.SetBodyLimit(c.Limit);
        ASSERT_TRUE(client.Open("upd.test", 80));
        CHeld request(client.Get("p", true, true, 0));
        client.WaitForRequests(1000);
        EXPECT_EQ(request->m_Status, c.Status) << c.Name;
        if (c.Status == 4) {
            EXPECT_EQ(Text(request->m_Body), "Failed in call to InternetReadFile, Error: 8")
                << c.Name;
            EXPECT_LT(request->m_Body.GetCapacity(), 1u << 20) << c.Name;
        }
    }
}

TEST_F(NetHttpClient, FailuresBeforeAndDuringTheBody) {
    m_Fake.Add("before", {{Fail(12002)}});
    m_Fake.Add("during",
               {{Headers(Answer("200 OK", "Content-Length: 10\r\n")), Data("abc"), Fail(12031)}});
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld before(client.Get("before", true, true, 0));
    CHeld during(client.Get("during", true, true, 0));
    client.WaitForRequests(1000);
    EXPECT_EQ(before->m_Status, 4u);
    EXPECT_EQ(Text(before->m_Body), "Failed in async operation, Error: 12 002");
    EXPECT_EQ(before->m_HttpError, 12002u);
    EXPECT_EQ(during->m_Status, 4u);
    EXPECT_EQ(Text(during->m_Body), "Failed in async operation, Error: 12 031");
    EXPECT_EQ(during->m_HttpError, 12031u);
    EXPECT_EQ(Text(client.m_LastError), "Failed in async operation, Error: 12 031");
}

// ---------------------------------------------------------------------------------------------
// Certificates and redirects

TEST_F(NetHttpClient, CertificateSwitch) {
    struct Case {
        const char* Name;
        bool Relaxed;
        std::vector<Step> Steps;
        u32 Status;
        const char* Body;
        u32 Sends;
        u32 Relaxes;
    };
    const Case cases[] = {
        {"off",
         false,
         {Fail(12045), Headers(Answer("200 OK")), End()},
         4,
         "Failed in async operation, Error: 12 045",
         1,
         0},
        {"on, once",
         true,
         {Fail(12045), Headers(Answer("200 OK")), Data("ok"), End()},
         3,
         "ok",
         2,
         1},
        {"on, date", true, {Fail(12037), Headers(Answer("200 OK")), End()}, 3, "", 2, 1},
        {"on, twice",
         true,
         {Fail(12045), Fail(12038), Headers(Answer("200 OK")), End()},
         4,
         "Failed in async operation, Error: 12 038",
         2,
         1},
        {"on, other error",
         true,
         {Fail(12029)},
         4,
         "Failed in async operation, Error: 12 029",
         1,
         0},
    };
    for (const Case& c : cases) {
        FakeHttpTransport fake;
        fake.Add("", {c.Steps});
        CNetHttpClient client;
        client.SetRelaxedCertificates(c.Relaxed);
        ASSERT_TRUE(client.Open("upd.test", 443));
        CHeld request(client.Get("p", true, true, 0));
        client.WaitForRequests(1000);
        EXPECT_EQ(request->m_Status, c.Status) << c.Name;
        EXPECT_EQ(Text(request->m_Body), c.Body) << c.Name;
        ASSERT_EQ(fake.Requests().size(), 1u);
        EXPECT_EQ(fake.Requests()[0].Sends, c.Sends) << c.Name;
        EXPECT_EQ(fake.Requests()[0].Relaxed, c.Relaxes) << c.Name;
        EXPECT_TRUE(fake.Requests()[0].Secure);
        // The switch leaves the host name unchecked from the start.
        EXPECT_EQ(fake.Requests()[0].RelaxHostName, c.Relaxed) << c.Name;
    }
}

TEST_F(NetHttpClient, ForbiddenRedirects) {
    m_Fake.Add("a", {{Headers(Answer("301 Moved", "location: /elsewhere\r\n")), End()}});
    m_Fake.Add("b", {{Headers(Answer("304 Not Modified")), End()}});
    m_Fake.Add("c", {{Headers(Answer("200 OK", "Location: /x\r\n")), Data("ok"), End()}});
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld a(client.Get("a", true, false, 0));
    CHeld b(client.Get("b", true, false, 0));
    CHeld c(client.Get("c", true, false, 0));
    client.WaitForRequests(1000);
    EXPECT_EQ(Text(a->m_Body), "Redirect not allowed.");
    EXPECT_EQ(a->m_HttpError, 12156u);
    EXPECT_EQ(Text(b->m_Body), "Request unknown Error: 304");
    EXPECT_EQ(Text(c->m_Body), "ok");
    for (const Record& record : m_Fake.Requests())
        EXPECT_FALSE(record.AllowRedirect);
}

// ---------------------------------------------------------------------------------------------
// What the transport is asked for

TEST_F(NetHttpClient, RequestsAsAsked) {
    CNetHttpClient client;
    client.SetCredentials(1, "proxyuser", "secret");
    ASSERT_TRUE(client.Open("upd.test", 443));
    const u8 data[] = {'a', 0, 'b'};
    m_Fake.Add("", Ok(""));
    m_Fake.Add("", Ok(""));
    m_Fake.Add("", Ok(""));
    CHeld get(client.Get("g", false, true, 100));
    CHeld post(client.Post("post/here", data, 3));
    CHeld head(client.CreateRequest(2, "h", true, nullptr, 0, true, 100));
    EXPECT_EQ(Text(post->m_Body), std::string("a\0b", 3));
    client.WaitForRequests(1000);
    const std::vector<Record>& r = m_Fake.Requests();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Host, "upd.test");
    EXPECT_EQ(r[0].Port, 443u);
    EXPECT_TRUE(r[0].HasProxyCredentials);
    EXPECT_EQ(r[0].ProxyUser, "proxyuser");
    EXPECT_EQ(r[0].ProxyPassword, "secret");
    EXPECT_EQ(r[0].Verb, platform::HttpVerb::Get);
    EXPECT_EQ(r[0].Path, "g");
    EXPECT_TRUE(r[0].NoCache);
    EXPECT_EQ(r[0].RangeStart, 100u);
    EXPECT_EQ(r[1].Verb, platform::HttpVerb::Post);
    EXPECT_EQ(r[1].Body, std::string("a\0b", 3));
    EXPECT_TRUE(r[1].NoCache);
    EXPECT_EQ(r[2].Verb, platform::HttpVerb::Head);
    EXPECT_FALSE(r[2].NoCache);
    EXPECT_EQ(r[2].RangeStart, 0u);
    // The POST data is gone once the answer is accepted.
    EXPECT_EQ(post->m_Status, 3u);
    EXPECT_EQ(Text(post->m_Body), "");

    // Without the flag the credentials stay home.
    CNetHttpClient plain;
    plain.SetCredentials(0, "proxyuser", "secret");
    ASSERT_TRUE(plain.Open("upd.test", 8080));
    m_Fake.Add("", Ok(""));
    CHeld other(plain.Get("x", true, true, 0));
    EXPECT_FALSE(m_Fake.Requests().back().HasProxyCredentials);
    EXPECT_FALSE(m_Fake.Requests().back().Secure);
    plain.Close();
}

TEST_F(NetHttpClient, HeadFillsTheDate) {
    const std::string answer =
        Answer("200 OK", "Last-Modified: Tue, 15 Nov 1994 12:45:26 GMT\r\nContent-Length: "
                         "99999999999\r\n");
    m_Fake.Add("", {{Headers(answer)}});
    m_Fake.Add("", {{Headers(answer)}});
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    PackedDateTime date;
    date.m_Word0 = 0x30000000;
    date.m_Word1 = 0x08000000;
    CHeld withDate(client.CreateRequest(2, "f", true, nullptr, 0, true, 0));
    withDate->m_UserData = &date;
    CHeld withoutDate(client.CreateRequest(2, "f", true, nullptr, 0, true, 0));
    client.WaitForRequests(1000);
    EXPECT_EQ(withDate->m_Status, 3u);
    EXPECT_EQ(withoutDate->m_Status, 3u);
    // 1994-11-15 was a Tuesday (2).
    EXPECT_EQ(date.m_Word0, 0x30000000u | 1994u | (11u << 16) | (2u << 20) | (15u << 23));
    EXPECT_EQ(date.m_Word1, 0x08000000u | 12u | (45u << 5) | (26u << 11));
    EXPECT_EQ(withDate->m_ExpectedSize, 0xFFFFFFFFu);
}

// ---------------------------------------------------------------------------------------------
// Lifetimes

struct CCompletions {
    std::vector<CNetHttpResult*> Seen;
    void OnDone(CNetHttpResult* request) { Seen.push_back(request); }
};

TEST_F(NetHttpClient, CloseCompletesEachOnce) {
    CCompletions done;
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    std::vector<CNetHttpResult*> requests;
    for (int i = 0; i < 3; ++i) {
        m_Fake.Add("", {{}}); // never answers
        requests.push_back(client.Get("p", true, true, 0));
        requests.back()->AddRef();
        requests.back()->SetCompletionCallback<&CCompletions::OnDone>(&done);
    }
    client.Update();
    client.Close();
    EXPECT_EQ(done.Seen, requests);
    EXPECT_EQ(client.GetRequestCount(), 0u);
    EXPECT_FALSE(client.IsConnected());
    for (const Record& record : m_Fake.Requests())
        EXPECT_TRUE(record.Closed);
    // Nothing is released twice afterwards.
    client.Close();
    for (CNetHttpResult* r : requests) {
        r->Cancel();
        client.RemoveRequest(r);
        EXPECT_EQ(r->GetRefCount(), 1);
        r->Release();
    }
    EXPECT_EQ(done.Seen.size(), 3u);
}

TEST_F(NetHttpClient, RemovalGuards) {
    CCompletions done;
    CNetHttpClient client, other;
    ASSERT_TRUE(client.Open("upd.test", 80));
    ASSERT_TRUE(other.Open("upd.test", 80));
    m_Fake.Add("", Ok("x"));
    m_Fake.Add("", {{}});
    CHeld finished(client.Get("p", true, true, 0));
    CHeld pending(client.Get("p", true, true, 0));
    finished->SetCompletionCallback<&CCompletions::OnDone>(&done);
    pending->SetCompletionCallback<&CCompletions::OnDone>(&done);
    client.WaitForRequests(0);
    ASSERT_EQ(finished->m_Status, 3u);
    EXPECT_EQ(done.Seen.size(), 1u);

    // After Done: a cancel only sets the status; removals release nothing.
    finished->Cancel();
    EXPECT_EQ(finished->m_Status, 6u);
    client.RemoveRequest(finished.Get());
    EXPECT_EQ(finished->GetRefCount(), 1);

    // Another client, or nothing, removes nothing.
    other.RemoveRequest(pending.Get());
    client.RemoveRequest(nullptr);
    EXPECT_EQ(client.GetRequestCount(), 1u);
    EXPECT_EQ(pending->GetRefCount(), 2);

    // A request that says it is this client's but is not in the array is left alone.
    CNetHttpResult stray("upd.test", "p", 0);
    stray.m_Client = &client;
    stray.AddRef();
    client.RemoveRequest(&stray);
    EXPECT_EQ(stray.GetRefCount(), 1);
    stray.m_Client = nullptr;

    pending->Cancel();
    EXPECT_EQ(pending->m_Status, 6u);
    EXPECT_EQ(pending->GetRefCount(), 1);
    client.RemoveRequest(pending.Get());
    EXPECT_EQ(pending->GetRefCount(), 1);
    EXPECT_EQ(done.Seen.size(), 2u);
    EXPECT_EQ(client.GetRequestCount(), 0u);
}

// Completion callbacks that create requests and close the client while Update runs.
struct CReentrant {
    CNetHttpClient* Client = nullptr;
    int Created = 0;
    int Closed = 0;
    std::vector<std::string> Seen;
    void CreateAnother(CNetHttpResult* request) {
        Seen.push_back(Text(request->m_Path));
        if (Created++ == 0) {
            CNetHttpResult* next = Client->Get("second", true, true, 0);
            next->SetCompletionCallback<&CReentrant::CreateAnother>(this);
        }
    }
    void CloseClient(CNetHttpResult* request) {
        Seen.push_back(Text(request->m_Path));
        if (Closed++ == 0) {
            Client->Close();
            // Nothing may be made while the client closes or once it is closed.
            EXPECT_EQ(Client->Get("refused", true, true, 0), nullptr);
        }
    }
};

TEST_F(NetHttpClient, CallbacksMayCreateAndClose) {
    CNetHttpClient client;
    CReentrant hooks;
    hooks.Client = &client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    m_Fake.Add("first", Ok("1"));
    m_Fake.Add("second", Ok("2"));
    client.Get("first", true, true, 0)->SetCompletionCallback<&CReentrant::CreateAnother>(&hooks);
    client.WaitForRequests(1000);
    EXPECT_EQ(hooks.Seen, (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(client.GetRequestCount(), 0u);

    hooks.Seen.clear();
    m_Fake.Add("a", Ok("a"));
    m_Fake.Add("b", {{}});
    m_Fake.Add("c", {{}});
    for (const char* path : {"a", "b", "c"})
        client.Get(path, true, true, 0)->SetCompletionCallback<&CReentrant::CloseClient>(&hooks);
    client.WaitForRequests(1000);
    EXPECT_EQ(hooks.Seen, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(client.GetRequestCount(), 0u);
}

TEST_F(NetHttpClient, DestructionClosesAndOpenReplaces) {
    CCompletions done;
    {
        CNetHttpClient client;
        ASSERT_TRUE(client.Open("upd.test", 80));
        m_Fake.Add("", {{}});
        client.Get("p", true, true, 0)->SetCompletionCallback<&CCompletions::OnDone>(&done);
        // Opening again closes what was open.
        ASSERT_TRUE(client.Open("dl.test", 80));
        EXPECT_EQ(done.Seen.size(), 1u);
        EXPECT_EQ(m_Fake.GetSessionsOpen(), 1u);
        m_Fake.Add("", {{}});
        client.Get("p", true, true, 0)->SetCompletionCallback<&CCompletions::OnDone>(&done);
    }
    EXPECT_EQ(done.Seen.size(), 2u);
    EXPECT_EQ(m_Fake.GetSessionsOpen(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Waiting

TEST_F(NetHttpClient, WaitForRequestsBounds) {
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    // Nothing to wait for: back at once.
    client.WaitForRequests(5000);
    EXPECT_EQ(m_Fake.GetIdleWaits(), 0u);

    m_Fake.Add("", {{}}); // never answers
    CHeld request(client.Get("p", true, true, 0));
    // 0 ms: one Update, then one wait and one Update while the clock reads the entry time.
    client.WaitForRequests(0);
    EXPECT_EQ(m_Fake.GetIdleWaits(), 1u);
    EXPECT_EQ(m_Fake.GetWaitedMs(), 200u);
    EXPECT_EQ(request->m_Status, 1u);

    // 1000 ms: waits until the clock is past the deadline, at most 200 ms late.
    client.WaitForRequests(1000);
    EXPECT_EQ(m_Fake.GetIdleWaits(), 7u);
    EXPECT_EQ(m_Fake.GetWaitedMs(), 1400u);
    client.Close();
}

// The transport's events are taken without waiting: a long answer in many pieces ends within
// one call without the clock moving.
TEST_F(NetHttpClient, ActivityDoesNotWait) {
    Script script{{Headers(Answer("200 OK"))}};
    for (int i = 0; i < 20; ++i)
        script.Steps.push_back(DataLater("x"));
    script.Steps.push_back(EndLater());
    m_Fake.Add("", script);
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    CHeld request(client.Get("p", true, true, 0));
    client.WaitForRequests(0);
    EXPECT_EQ(request->m_Status, 3u);
    EXPECT_EQ(request->m_Body.GetLength(), 20u);
    EXPECT_EQ(m_Fake.GetIdleWaits(), 0u);
}

TEST_F(NetHttpClient, RateMeterWindow) {
    m_Fake.Add("", Ok("12345"));
    CNetHttpClient client;
    ASSERT_TRUE(client.Open("upd.test", 80));
    client.Get("p", true, true, 0);
    client.WaitForRequests(1000);
    EXPECT_EQ(client.GetRateMeter().GetTotal(), 5u);
    client.TrimRateMeter();
    EXPECT_EQ(client.GetRateMeter().GetTotal(), 5u);
    m_Clock.Advance(5001);
    client.TrimRateMeter();
    EXPECT_EQ(client.GetRateMeter().GetTotal(), 0u);

    // Without a scheduling core nothing runs the trim command: every pass trims.
    m_Fake.Add("", Ok("678"));
    client.Get("p", true, true, 0);
    client.WaitForRequests(1000);
    EXPECT_EQ(client.GetRateMeter().GetCount(), 1u);
    m_Clock.Advance(5001);
    client.Update();
    EXPECT_EQ(client.GetRateMeter().GetCount(), 0u);
    EXPECT_EQ(client.GetRateMeter().GetTotal(), 0u);
}

// With a scheduling core the client installs its two commands (trim on buffer 2, update on 14),
// and running the update buffer advances its requests.
TEST_F(NetHttpClient, CommandsWithACore) {
    CMwCmdBufferCore::CreateSingleton();
    CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton();
    core->CreateBuffers();
    {
        CNetHttpClient client;
        EXPECT_EQ(core->GetBuffer(2)->m_Cmds.GetCount(), 1u);
        EXPECT_EQ(core->GetBuffer(14)->m_Cmds.GetCount(), 1u);
        auto* update = static_cast<CMwCmdFastCall*>(core->GetBuffer(14)->m_Cmds.m_Items.m_Items[0]);
        EXPECT_EQ(update->m_Target, &client);
        m_Fake.Add("", Ok("x"));
        ASSERT_TRUE(client.Open("upd.test", 80));
        CHeld request(client.Get("p", true, true, 0));
        for (int i = 0; i < 4; ++i)
            core->GetBuffer(14)->RunBucket(0);
        EXPECT_EQ(request->m_Status, 3u);
    }
    CMwCmdBufferCore::DeleteSingleton();

    CNetHttpClient withoutCore;
    EXPECT_EQ(CMwCmdBufferCore::GetSingleton(), nullptr);
}

} // namespace
