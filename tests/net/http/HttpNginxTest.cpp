// The HTTP client against Debian's nginx, a server nobody on the team wrote: lengths, ranges,
// HEAD dates, chunked answers, kept-alive connections and 404.
#include "NetTestSupport.h"
#include "net/http/NetHttpClient.h"
#include "net/http/NetHttpResult.h"
#include "system/file/PackedDateTime.h"
#include "tests/support/http/TestServers.h"

#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr u32 kFileSize = 200000;

std::string Pattern(u32 n) {
    std::string bytes(n, '\0');
    for (u32 i = 0; i < n; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

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

private:
    CNetHttpResult* m_Request;
};

// 2001-09-09 01:46:40 UTC, a Sunday.
constexpr i64 kModified = 1000000000;

class HttpNginx : public CNetFixture {
protected:
    static void SetUpTestSuite() {
        s_Root = new TestFolder;
        WriteFileBytes(s_Root->File("file.bin"), Pattern(kFileSize));
        const timespec times[2] = {{kModified, 0}, {kModified, 0}};
        utimensat(AT_FDCWD, s_Root->File("file.bin").c_str(), times, 0);
        s_Nginx = new TestNginx(s_Root->Path());
    }
    static void TearDownTestSuite() {
        delete s_Nginx;
        delete s_Root;
    }
    void SetUp() override {
        CNetFixture::SetUp();
        ASSERT_TRUE(s_Nginx->IsRunning()) << s_Nginx->ErrorLog();
        ASSERT_TRUE(m_Client.Open("127.0.0.1", s_Nginx->Port()));
        m_Logged = s_Nginx->AccessLog().size();
    }
    void TearDown() override {
        m_Client.Close();
        CNetFixture::TearDown();
    }

    // Waits for the client's requests, then for the access log's lines of every request the test
    // made: nginx writes a line after its answer has gone, so it can come after the client ends.
    void Finish(size_t requests = 1) {
        for (int i = 0; i < 30 && m_Client.GetRequestCount() != 0; ++i)
            m_Client.WaitForRequests(1000);
        EXPECT_EQ(m_Client.GetRequestCount(), 0u);
        m_Requests += requests;
        for (int i = 0; i < 1000 && s_Nginx->AccessLog().size() < m_Logged + m_Requests; ++i)
            usleep(10000);
        EXPECT_EQ(s_Nginx->AccessLog().size(), m_Logged + m_Requests);
    }
    // The access log's last line: "$request $status $connection $connection_requests $bytes".
    static std::vector<std::string> LastAccess(size_t back = 0) {
        const std::vector<std::string> log = s_Nginx->AccessLog();
        std::vector<std::string> fields;
        if (log.size() <= back)
            return fields;
        std::istringstream in(log[log.size() - 1 - back]);
        for (std::string f; in >> f;)
            fields.push_back(f);
        return fields; // GET /x HTTP/1.1 status connection requests bytes
    }

    CNetHttpClient m_Client;
    size_t m_Logged = 0;   // access log lines when the test began
    size_t m_Requests = 0; // requests the test made since
    static TestFolder* s_Root;
    static TestNginx* s_Nginx;
};

TestFolder* HttpNginx::s_Root = nullptr;
TestNginx* HttpNginx::s_Nginx = nullptr;

TEST_F(HttpNginx, WholeAndRanged) {
    CHeld whole(m_Client.Get("file.bin", true, true, 0));
    Finish();
    EXPECT_EQ(whole->m_Status, 3u);
    EXPECT_EQ(whole->m_ExpectedSize, kFileSize);
    EXPECT_TRUE(Text(whole->m_Body) == Pattern(kFileSize));
    EXPECT_EQ(LastAccess().at(3), "200");

    CHeld ranged(m_Client.Get("file.bin", true, true, 150000));
    Finish();
    EXPECT_EQ(ranged->m_Status, 3u);
    EXPECT_EQ(ranged->m_ExpectedSize, kFileSize - 150000);
    EXPECT_TRUE(Text(ranged->m_Body) == Pattern(kFileSize).substr(150000));
    EXPECT_EQ(LastAccess().at(3), "206");
}

TEST_F(HttpNginx, HeadDate) {
    PackedDateTime date;
    CHeld head(m_Client.CreateRequest(2, "file.bin", true, nullptr, 0, true, 0));
    head->m_UserData = &date;
    Finish();
    EXPECT_EQ(head->m_Status, 3u);
    EXPECT_EQ(head->m_ExpectedSize, kFileSize);
    EXPECT_EQ(date.m_Word0, 2001u | (9u << 16) | (0u << 20) | (9u << 23));
    EXPECT_EQ(date.m_Word1, 1u | (46u << 5) | (40u << 11));
    EXPECT_EQ(LastAccess().at(0), "HEAD");
}

TEST_F(HttpNginx, ChunkedAnswer) {
    // curl first tells that the answer really is chunked.
    std::string headers;
    ASSERT_EQ(TestRunProgram(
                  {"/usr/bin/curl", "-s", "-D", "-", "-o", "/dev/null",
                   "http://127.0.0.1:" + std::to_string(s_Nginx->Port()) + "/chunked/file.bin"},
                  &headers),
              0);
    EXPECT_NE(headers.find("Transfer-Encoding: chunked"), std::string::npos) << headers;
    EXPECT_EQ(headers.find("Content-Length"), std::string::npos) << headers;

    CHeld chunked(m_Client.Get("chunked/file.bin", true, true, 0));
    Finish(2); // curl's request and ours
    EXPECT_EQ(chunked->m_Status, 3u);
    EXPECT_EQ(chunked->m_ExpectedSize, 0u);
    EXPECT_TRUE(Text(chunked->m_Body) == Pattern(kFileSize));
}

TEST_F(HttpNginx, KeepAliveAndNotFound) {
    CHeld first(m_Client.Get("file.bin", true, true, 0));
    Finish();
    CHeld second(m_Client.Get("file.bin", true, true, 100));
    Finish();
    const std::vector<std::string> a = LastAccess(1);
    const std::vector<std::string> b = LastAccess();
    ASSERT_EQ(a.size(), 7u);
    ASSERT_EQ(b.size(), 7u);
    EXPECT_EQ(a[4], b[4]) << "one connection";
    EXPECT_EQ(a[5], "1");
    EXPECT_EQ(b[5], "2");

    CHeld missing(m_Client.Get("missing.bin", true, true, 0));
    Finish();
    EXPECT_EQ(missing->m_Status, 4u);
    EXPECT_EQ(Text(missing->m_Body), "Request unknown Error: 404");
    EXPECT_EQ(missing->m_HttpError, 404u);
}

} // namespace
