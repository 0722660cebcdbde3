// The transport's pure helpers: usable hosts, request URLs, the numbers of libcurl's errors and
// the transfer codings an answer may name.
#include "platform/http/HttpTransport.h"

#include "platform/http/CurlRequest.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

TEST(HttpTransport, UsableHosts) {
    for (const char* host :
         {"upd.test", "127.0.0.1", "a-b.c", "LOCALHOST", "[::1]", "[fe80::1:2]", "x"})
        EXPECT_TRUE(platform::IsUsableHttpHost(host)) << host;
    for (const char* host :
         {"", "user@upd.test", "upd.test:80", "upd.test/path", "upd test", "upd.test?x",
          "upd.test#x", "[::1", "[]", "[::1]:80", "[g::1]", "h\xC3\xA9.test", "a\\b", "%41"})
        EXPECT_FALSE(platform::IsUsableHttpHost(host)) << host;
    EXPECT_FALSE(platform::IsUsableHttpHost(std::string(254, 'a')));
    EXPECT_FALSE(platform::IsUsableHttpHost(std::string_view("a\0b", 3)));
}

TEST(HttpTransport, Urls) {
    struct Case {
        bool Secure;
        const char* Host;
        u16 Port;
        std::string_view Path;
        const char* Url;
    };
    const Case cases[] = {
        {true, "upd.test", 443, "patch/patch.php?action=0&game=X",
         "https://upd.test/patch/patch.php?action=0&game=X"},
        {false, "upd.test", 80, "/a", "http://upd.test/a"},
        {false, "upd.test", 8080, "", "http://upd.test:8080/"},
        {false, "127.0.0.1", 443, "x", "http://127.0.0.1:443/x"},
        {true, "[::1]", 443, "/", "https://[::1]/"},
        {false, "h", 80, "a b#c%20d\x7F\x80\xFF/~!$'()*+,;=:@[]",
         "http://h/a%20b%23c%20d%7F%80%FF/~!$'()*+,;=:@[]"},
        {false, "h", 80, std::string_view("\0\t\r\n", 4), "http://h/%00%09%0D%0A"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::BuildHttpUrl(c.Secure, c.Host, c.Port, c.Path), c.Url) << c.Url;
}

TEST(HttpTransport, ErrorNumbers) {
    struct Case {
        CURLcode Code;
        long VerifyResult;
        u32 Number;
    };
    const Case cases[] = {
        {CURLE_COULDNT_RESOLVE_HOST, 0, 12007},
        {CURLE_COULDNT_RESOLVE_PROXY, 0, 12007},
        {CURLE_COULDNT_CONNECT, 0, 12029},
        {CURLE_OPERATION_TIMEDOUT, 0, 12002},
        {CURLE_PEER_FAILED_VERIFICATION, 9, 12037},
        {CURLE_PEER_FAILED_VERIFICATION, 10, 12037},
        {CURLE_PEER_FAILED_VERIFICATION, 0, 12038},
        {CURLE_PEER_FAILED_VERIFICATION, 1, 12038},
        {CURLE_PEER_FAILED_VERIFICATION, 18, 12045},
        {CURLE_PEER_FAILED_VERIFICATION, 20, 12045},
        {CURLE_SSL_CACERT_BADFILE, 0, 12045},
        {CURLE_SSL_CONNECT_ERROR, 0, 12157},
        {CURLE_SEND_ERROR, 0, 12030},
        {CURLE_RECV_ERROR, 0, 12031},
        {CURLE_PARTIAL_FILE, 0, 12031},
        {CURLE_GOT_NOTHING, 0, 12152},
        {CURLE_WEIRD_SERVER_REPLY, 0, 12152},
        {CURLE_TOO_MANY_REDIRECTS, 0, 12156},
        {CURLE_URL_MALFORMAT, 0, 12005},
        {CURLE_UNSUPPORTED_PROTOCOL, 0, 12006},
        {CURLE_WRITE_ERROR, 0, 12004},
        {CURLE_OUT_OF_MEMORY, 0, 12004},
        {CURLE_ABORTED_BY_CALLBACK, 0, 12004},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::HttpErrorFromCurl(c.Code, c.VerifyResult), c.Number)
            << c.Code << ' ' << c.VerifyResult;
}

// Only chunked is read; any other coding, wherever the field puts it, refuses the answer.
TEST(HttpTransport, TransferCodings) {
    struct Case {
        const char* Block;
        bool OnlyChunked;
    };
    const Case cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\ntransfer-encoding:\t Chunked , ,chunked\t\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding:\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", false},
        {"HTTP/1.1 200 OK\nTransfer-Encoding: chunked\nTRANSFER-ENCODING: deflate\n\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked;x=1\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: identity\r\n\r\n", false},
        // A folded line goes on with the field above it.
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\t, gzip\r\n\r\n", false},
        {"HTTP/1.1 200 OK\r\nX-Other: a\r\n\t, gzip\r\n\r\n", true},
        // Not the field.
        {"HTTP/1.1 200 OK\r\nX-Transfer-Encoding: gzip\r\nContent-Encoding: gzip\r\n\r\n", true},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding : gzip\r\n\r\n", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::curl_http::OnlyChunkedCoding(c.Block), c.OnlyChunked) << c.Block;
}

} // namespace
