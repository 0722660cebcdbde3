#pragma once
// The HTTP transport under the engine's HTTP client: a session talks to one server and carries
// any number of requests. Nothing runs on a thread of its own: transfers advance only inside
// Pump, which also hands the requests' events to the caller, and Wait blocks until there is
// something to pump (or a time passes).
//
// A request's life, as the client drives it:
//   CreateRequest  queues the handle-created event (60, error 0) for the request's context;
//   Send           starts the transfer; the request-complete event (100) follows once the final
//                  answer's header block is in (error 0), or with the error number when the
//                  transfer failed before;
//   GetHeaders     the final answer's header block;
//   Read           the body in order: data, pending (an event follows once there is more), end,
//                  or an error number (SetReceiveArea can spare it a copy);
//   Close          ends the request; no event is delivered for it afterwards.
//
// Error numbers are those of the engine's HTTP texts (12002 time-out, 12007 name not resolved,
// 12029 cannot connect, 12037/12038/12045 certificate date, name and authority, ...).
#include "platform/Types.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class HttpVerb : u8 { Get, Post, Head };

// Events a request receives, as {status, result, error}.
inline constexpr u32 kHttpEventHandleCreated = 60;
inline constexpr u32 kHttpEventRequestComplete = 100;

// Error numbers the transports answer with besides the mapped transfer errors.
inline constexpr u32 kHttpErrorOutOfMemory = 8;
inline constexpr u32 kHttpErrorClosed = 6;
inline constexpr u32 kHttpErrorTimeout = 12002;
inline constexpr u32 kHttpErrorBadUrl = 12005;
inline constexpr u32 kHttpErrorHeaderNotFound = 12150;
inline constexpr u32 kHttpErrorInvalidAnswer = 12152;
inline constexpr u32 kHttpErrorRedirect = 12156;

struct HttpRequestParams {
    HttpVerb Verb = HttpVerb::Get;
    // The object path as the caller wrote it; the transport makes it a request target.
    std::string_view Path;
    // "Pragma: no-cache" and "Cache-Control: no-cache".
    bool NoCache = false;
    // TLS; the certificate chain and the host name are verified unless relaxed.
    bool Secure = false;
    // The host name is not checked against the certificate (the chain still is).
    bool RelaxHostName = false;
    // Redirects are followed (http and https only, at most 10); otherwise a redirect is the
    // final answer.
    bool AllowRedirect = true;
    // A GET from this byte on ("Range: bytes=N-"); 0 for the whole body.
    u32 RangeStart = 0;
    // The POST body, copied by CreateRequest.
    const u8* Body = nullptr;
    u32 BodyLength = 0;
};

enum class HttpReadResult : u8 { Data, Pending, End, Error };

// Receives one event: the request's context, 60 or 100, the result word and the error number.
using HttpEventSink = void (*)(void* context, u32 status, u32 result, u32 error);

// A request inside its session; 0 is none.
using HttpHandle = u64;

class HttpSession {
public:
    virtual ~HttpSession() = default;

    // The server every request of the session goes to, and the proxy's credentials (null: none).
    // Nothing is sent yet. 0 or an error number.
    virtual u32 Connect(std::string_view host, u16 port, const char* proxyUser,
                        const char* proxyPassword) = 0;
    // 0 and the handle, or an error number.
    virtual u32 CreateRequest(const HttpRequestParams& params, void* context, HttpHandle* out) = 0;
    // Starts (or, after RelaxCertificates, restarts) the transfer: 0 when it is under way, else
    // an error number.
    virtual u32 Send(HttpHandle request) = 0;
    // 0 and the final answer's header block (status line and fields, each line ending in CR LF,
    // then an empty line), valid until the next call for this request; or an error number.
    virtual u32 GetHeaders(HttpHandle request, std::string_view* block) = 0;
    // Up to `size` body bytes into `into`.
    virtual HttpReadResult Read(HttpHandle request, u8* into, u32 size, u32* got, u32* error) = 0;
    // Room in the caller's memory where it reads the body's next bytes: `room` bytes from `at`
    // (null: none). The transport may write arriving bytes straight there, and a Read into the
    // place where the next of them lie answers them without copying them again. The memory must
    // stay where it is until the area is replaced, withdrawn or the request closed; bytes not
    // read yet are kept then. After such a Read the caller may write one byte (a terminator) just
    // after what it got. An offer made while bytes wait unread is declined, and a transport that
    // does not land bytes ignores every offer.
    virtual void SetReceiveArea(HttpHandle /*request*/, u8* /*at*/, size_t /*room*/) {}
    // From the next Send on the certificate is not verified at all. 0 or an error number.
    virtual u32 RelaxCertificates(HttpHandle request) = 0;
    virtual void Close(HttpHandle request) = 0;
    // Runs the transfers and delivers the events that are due, in order.
    virtual void Pump(HttpEventSink sink) = 0;
    // Blocks until a transfer has something to do or an event is due, at most `ms`.
    virtual void Wait(u32 ms) = 0;
};

// Creates a session carrying the user agent, or answers null and an error number.
using HttpSessionFactory = std::unique_ptr<HttpSession> (*)(std::string_view agent, u32* error);

// The libcurl library loaded and set up, once; the first session does it.
void HttpGlobalInit();

// A session from the factory in place: libcurl's, unless a test replaced it.
std::unique_ptr<HttpSession> CreateHttpSession(std::string_view agent, u32* error);
// The libcurl session itself.
std::unique_ptr<HttpSession> CreateCurlHttpSession(std::string_view agent, u32* error);

// Test-only hooks, process-wide; production code never sets them.
//
// Replaces the factory; null puts libcurl's back. Returns the factory replaced.
HttpSessionFactory SetHttpSessionFactory(HttpSessionFactory factory);

struct HttpTestHooks {
    // "host:port:connect-host:connect-port" entries: a fixed host name and port reach another
    // address, with the URL and the Host field unchanged.
    std::vector<std::string> ConnectTo;
    // Certificate authorities to trust instead of the system's store.
    std::string CaFile;
    // Time-outs in place of 30 s to connect and 60 s below 1 byte per second (0 keeps them).
    u32 ConnectTimeoutMs = 0;
    u32 LowSpeedTimeSeconds = 0;
    // The longest blocking wait of the launcher's update road, in place of 60 s (0 keeps it).
    u32 WaitLimitMs = 0;
    // Host names that fail to resolve without a lookup.
    std::vector<std::string> UnresolvableHosts;
    // Body bytes a request keeps before its transfer pauses, in place of 1 MB (0 keeps it).
    u32 ReceiveQueueBytes = 0;
};

// The hooks requests created from now on use; null clears them.
void SetHttpTestHooks(const HttpTestHooks* hooks);
const HttpTestHooks* GetHttpTestHooks();

// ---------------------------------------------------------------------------------------------
// Pure helpers of the transports.

// A host the client may connect to: letters, digits, '-' and '.', or a bracketed IPv6 literal;
// never a user, a port or a path.
bool IsUsableHttpHost(std::string_view host);

// The URL of a request: "https" when secure, else "http"; the host; ":port" unless it is the
// scheme's default; the path with a '/' in front when it has none, and every byte a request
// target cannot carry (controls, blank, '#', bytes from 0x80 on) percent-encoded.
std::string BuildHttpUrl(bool secure, std::string_view host, u16 port, std::string_view path);

// The error number of a failed libcurl transfer (its CURLcode), the certificate verification
// result (CURLINFO_SSL_VERIFYRESULT) deciding between the certificate errors.
u32 HttpErrorFromCurl(i32 curlCode, i64 sslVerifyResult);

} // namespace platform
