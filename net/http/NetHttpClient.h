#pragma once
// CNetHttpClient: the engine's HTTP client. One client talks to one server (host and port)
// through an HTTP transport session (platform/http/HttpTransport.h) and carries any number of
// concurrent requests, each a CNetHttpResult. It never blocks inside the transport: requests
// advance only when the client is polled, by Update (also the body of a periodic engine command
// when a scheduling core exists) or by WaitForRequests, on the owner's one thread.
//
// Failures are texts, not exceptions: LastError gets "Failed in call to <step>, Error: " and the
// number (grouped as "12 029"), "Proxy Error: " or "Request unknown Error: " and the HTTP code,
// "Redirect not allowed.", or "Failed in async operation, Error: " and the transport's number;
// a failed request has Status 4 and that text as its body.
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"
#include "core/nod/MwNod.h"
#include "net/http/NetHttpResult.h"
#include "net/http/NetRateMeter.h"
#include "platform/http/HttpTransport.h"

#include <memory>

class CMwCmdFastCall;

class CNetHttpClient : public CMwNod {
    MW_DECLARE_CLASS(CNetHttpClient, CMwNod, 0x12012000)
public:
    static constexpr u32 s_ConnectedMemberId = 0x12012005;
    // The answer is read in slots of this size; a streamed body (CNetHttpResult::m_BodyStream)
    // in slots of the transport's receive buffer, each written to its stream whole.
    static constexpr u32 s_ReadSlot = 0x4000;
    static constexpr u32 s_StreamSlot = 0x40000;
    // The error of a streamed request whose stream refused a write.
    static constexpr u32 s_ErrorWriteFault = 29;
    static constexpr u32 s_WaitStepMs = 200;
    static constexpr u32 s_RateWindowMs = 5000;
    // The largest body by default: the u32 body length less one read slot.
    static constexpr u32 s_DefaultBodyLimit = 0xFFFFFFFF - s_ReadSlot + 1;
    // Room made from Content-Length before the first read, at most.
    static constexpr u32 s_MaxPreallocation = 64u << 20;

    // Closed, port 80; the update and trim commands are made when a scheduling core with its
    // buffers exists.
    CNetHttpClient();
    CNetHttpClient(const CNetHttpClient&) = delete;
    CNetHttpClient& operator=(const CNetHttpClient&) = delete;
    ~CNetHttpClient() override;

    // The proxy's credentials, used by the next Open when the flag is set. They go to the proxy
    // only, never to the server.
    void SetCredentials(u32 useCredentials, CClassicStringRef userName, CClassicStringRef password);
    // Opens a session to the server (port -1 means 80; a secure one on 443). Nothing is sent yet.
    // An open client is closed first.
    bool Open(CClassicStringRef server, i32 port);
    // Removes every request (each completion callback fires once), then closes the session.
    void Close();

    CNetHttpResult* Get(CClassicStringRef path, bool allowCache, bool allowRedirect,
                        u32 rangeStart);
    CNetHttpResult* Post(CClassicStringRef path, const u8* data, u32 length);
    // Kind 0 GET, 1 POST, 2 HEAD. The client's array holds the only reference to the new request;
    // null on failure.
    CNetHttpResult* CreateRequest(u32 kind, CClassicStringRef path, bool allowCache,
                                  const u8* bodyData, u32 bodyLength, bool allowRedirect,
                                  u32 rangeStart);

    // Pumps the transport, then moves every signalled request one step on. Requests that end
    // leave the array in this pass, and their completion callbacks run from inside it: a
    // callback may create requests or close the client. Last, the rate meter drops its samples
    // older than 5000 ms, so that it stays bounded where no command trims it.
    void Update();
    // Update, then while requests remain and the clock has not passed ms after the entry: waits
    // for the transport (at most 200 ms, earlier on activity) and updates again.
    void WaitForRequests(u32 ms);
    u32 GetRequestCount() const { return m_Requests.m_Count; }
    // Does nothing unless the request is this client's and in its array; else closes its
    // transfer, takes it out, calls its completion callback and releases the array's reference.
    void RemoveRequest(CNetHttpResult* request);
    // Drops the rate meter's samples older than 5000 ms.
    void TrimRateMeter();
    // From now on the body of the request (a GET) goes to the stream as it comes
    // (CNetHttpResult::m_BodyStream), the bytes that came before written there first and let
    // go. Between polls only, before the request ended and once only. False, with nothing
    // changed but the bytes the stream took, when those bytes cannot be written.
    bool StreamBody(CNetHttpResult* request, CClassicBuffer* stream);
    // Ends a request of this client that has not ended as a failure of the transport with this
    // number: LastError "Failed in async operation, Error: " and the number, HttpError the
    // number, Status 4 with the text as its body; it then leaves the array as any failed request
    // does (transfer closed, completion callback, the array's reference released). Nothing for a
    // request that is not in the array.
    void FailRequest(CNetHttpResult* request, u32 error);

    // The certificate of a secure server is verified fully (chain and host name) unless this
    // switch is on: then the host name is not checked, and on a certificate error a request is
    // sent once more with no verification at all.
    void SetRelaxedCertificates(bool on) { m_RelaxedCertificates = on; }
    // Answers whose body would pass this many bytes fail ("Failed in call to InternetReadFile,
    // Error: 8").
    void SetBodyLimit(u32 bytes) { m_BodyLimit = bytes; }
    u32 GetBodyLimit() const { return m_BodyLimit; }
    NetRateMeter& GetRateMeter() { return m_RateMeter; }
    const CClassicString& GetLastError() const { return m_LastError; }
    bool IsConnected() const { return m_Session != nullptr; }

    // Connected: whether the session is open.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    u32 m_UseCredentials = 0;
    CClassicString m_HttpUserName;
    CClassicString m_HttpPassword;
    // The text of the most recent failure; never cleared on success.
    CClassicString m_LastError;
    CClassicString m_Server;
    u32 m_Port = 80;
    CFastBuffer<CNetHttpResult*> m_Requests;

private:
    // LastError = text + the number in grouped decimal.
    void SetLastError(const char* text, u32 number);
    // Status 4, and the request's body becomes LastError.
    void Fail(CNetHttpResult* request);
    // One step of a signalled request; true when it ended and must be removed.
    bool Step(CNetHttpResult* request);
    bool ReadStatusLine(CNetHttpResult* request);
    // Reads what the transport has; true when the request ended (Done, or failed with its body
    // set).
    bool ReadBody(CNetHttpResult* request);
    // Makes room for one more read slot after the body; false when it cannot grow.
    bool MakeRoom(CNetHttpResult* request);
    // For the length of a pass, each downloading request lends the free room after its body to
    // the transport, which lands arriving bytes there instead of keeping them for a copy. The
    // room is taken back before the body's block may move or change, and at the end of the pass,
    // so that between passes the body is the request's alone.
    void LendReceiveAreas();
    void TakeBackReceiveArea(CNetHttpResult* request);

    std::unique_ptr<platform::HttpSession> m_Session;
    NetRateMeter m_RateMeter{50};
    CMwCmdFastCall* m_UpdateCmd = nullptr;
    CMwCmdFastCall* m_TrimCmd = nullptr;
    u32 m_RelaxedCertificates = 0;
    u32 m_BodyLimit = s_DefaultBodyLimit;
    // Set while Close removes the requests: no request may be created then.
    u32 m_Closing = 0;
};
