#include "platform/http/HttpTransport.h"

#include <curl/curl.h>
#include <mutex>

namespace platform {

namespace {

constinit HttpSessionFactory s_Factory = nullptr;

// The hooks in force; empty unless a test set them.
HttpTestHooks& HooksStorage() {
    static HttpTestHooks hooks;
    return hooks;
}
constinit bool s_HooksSet = false;

bool IsHostChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.';
}

bool IsIpv6LiteralChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
           c == '.';
}

// Bytes a request target cannot carry as they are.
bool NeedsEncoding(u8 c) {
    return c <= 0x20 || c == 0x7F || c == '#' || c >= 0x80;
}

} // namespace

void HttpGlobalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::unique_ptr<HttpSession> CreateHttpSession(std::string_view agent, u32* error) {
    if (s_Factory)
        return s_Factory(agent, error);
    return CreateCurlHttpSession(agent, error);
}

HttpSessionFactory SetHttpSessionFactory(HttpSessionFactory factory) {
    const HttpSessionFactory old = s_Factory;
    s_Factory = factory;
    return old;
}

void SetHttpTestHooks(const HttpTestHooks* hooks) {
    HooksStorage() = hooks ? *hooks : HttpTestHooks{};
    s_HooksSet = hooks != nullptr;
}

const HttpTestHooks* GetHttpTestHooks() {
    return s_HooksSet ? &HooksStorage() : nullptr;
}

bool IsUsableHttpHost(std::string_view host) {
    if (host.empty() || host.size() > 253)
        return false;
    if (host.front() == '[') {
        if (host.size() < 4 || host.back() != ']')
            return false;
        for (char c : host.substr(1, host.size() - 2))
            if (!IsIpv6LiteralChar(c))
                return false;
        return true;
    }
    for (char c : host)
        if (!IsHostChar(c))
            return false;
    return true;
}

std::string BuildHttpUrl(bool secure, std::string_view host, u16 port, std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = secure ? "https://" : "http://";
    url += host;
    if (port != (secure ? 443 : 80)) {
        url += ':';
        url += std::to_string(port);
    }
    if (path.empty() || path.front() != '/')
        url += '/';
    url.reserve(url.size() + path.size());
    for (char ch : path) {
        const u8 c = u8(ch);
        if (NeedsEncoding(c)) {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        } else {
            url += ch;
        }
    }
    return url;
}

u32 HttpErrorFromCurl(i32 curlCode, i64 sslVerifyResult) {
    switch (curlCode) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return 12007;
        case CURLE_COULDNT_CONNECT:
            return 12029;
        case CURLE_OPERATION_TIMEDOUT:
            return kHttpErrorTimeout;
        case CURLE_PEER_FAILED_VERIFICATION:
            // OpenSSL's verification result: 9 not yet valid, 10 expired. A chain that passed
            // and a host name that did not leaves libcurl's mark of an unverified peer, 1 (or 0
            // with other TLS libraries); OpenSSL's own chain errors are 2 and above.
            if (sslVerifyResult == 9 || sslVerifyResult == 10)
                return 12037;
            if (sslVerifyResult == 0 || sslVerifyResult == 1)
                return 12038;
            return 12045;
        case CURLE_SSL_CACERT_BADFILE:
            // No authority could be read: nothing is trusted.
            return 12045;
        case CURLE_SSL_CONNECT_ERROR:
            return 12157;
        case CURLE_SEND_ERROR:
            return 12030;
        case CURLE_RECV_ERROR:
        case CURLE_PARTIAL_FILE:
            return 12031;
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return kHttpErrorInvalidAnswer;
        case CURLE_TOO_MANY_REDIRECTS:
            return kHttpErrorRedirect;
        case CURLE_URL_MALFORMAT:
            return kHttpErrorBadUrl;
        case CURLE_UNSUPPORTED_PROTOCOL:
            return 12006;
        default:
            return 12004;
    }
}

} // namespace platform
