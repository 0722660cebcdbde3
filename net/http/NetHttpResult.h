#pragma once
// CNetHttpResult: one request of a CNetHttpClient and, once it ends, its result: what was asked
// (server, path, kind, range), how far it got (Status), what came back (the last transport
// event, the HTTP or transport error, the expected size, the content type, the body) and whom to
// tell when it ends (a completion callback).
//
// The client creates it, drives it and removes it; the client's request array holds the only
// reference, so a user who keeps the pointer past the end takes one of its own.
#include "core/base/ClassicString.h"
#include "core/nod/MwNod.h"
#include "platform/http/HttpTransport.h"

class CClassicBuffer;
class CNetHttpClient;

class CNetHttpResult : public CMwNod {
    MW_DECLARE_CLASS(CNetHttpResult, CMwNod, 0x12013000)
public:
    // Kinds.
    static constexpr u32 s_KindGet = 0;
    static constexpr u32 s_KindPost = 1;
    static constexpr u32 s_KindHead = 2;
    // Status values (5 is not used).
    static constexpr u32 s_StatusConnecting = 0;
    static constexpr u32 s_StatusRequest = 1;
    static constexpr u32 s_StatusDownloading = 2;
    static constexpr u32 s_StatusDone = 3;
    static constexpr u32 s_StatusError = 4;
    static constexpr u32 s_StatusCancelled = 6;

    static constexpr u32 s_CurrentSizeMemberId = 0x12013006;

    // A completion method: called with its object and the request when the client removes it.
    using CompletionMethod = void (*)(void* object, CNetHttpResult* request);

    // Status 4 until a client takes the request in.
    CNetHttpResult(CClassicStringRef server, CClassicStringRef path, u32 kind);
    CNetHttpResult(const CNetHttpResult&) = delete;
    CNetHttpResult& operator=(const CNetHttpResult&) = delete;

    // With no object, nothing is called.
    void SetCompletionCallback(void* object, CompletionMethod method);
    // A member function of the object: SetCompletionCallback<&CThing::OnDone>(thing).
    template <auto Method, class C>
    void SetCompletionCallback(C* object) {
        SetCompletionCallback(object, [](void* o, CNetHttpResult* request) {
            (static_cast<C*>(o)->*Method)(request);
        });
    }
    // Status 6; a request still in its client is removed from it (handle closed, completion
    // callback, the client's reference released): the caller holds its own reference if it
    // reads the request afterwards.
    void Cancel();
    // Stores one transport event: nothing for 12017 (an operation cancelled while handles
    // close), else the three values and then the signalled flag.
    void StoreCallbackStatus(u32 status, u32 result, u32 error);

    // CurrentSize: the body's length.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;

    CClassicString& GetBody() { return m_Body; }
    // The answer's body bytes that came: the body's length, or for a streamed body the bytes
    // written to its stream.
    u32 GetReceived() const { return m_BodyStream ? m_Received : m_Body.GetLength(); }
    CNetHttpClient* GetClient() const { return m_Client; }

    // Before sending, the POST data; after the status line is accepted, the answer as received,
    // NUL-terminated after its length; after a failure, the error text.
    CClassicString m_Body;
    // Set by CNetHttpClient::StreamBody: the body is written to this stream as it arrives, a
    // read slot at a time, instead of kept in m_Body, so that a download of any size takes the
    // same memory. A write that fails ends the request in Error. The stream is the caller's; it
    // is never closed here.
    CClassicBuffer* m_BodyStream = nullptr;
    // Body bytes written to m_BodyStream (those that came before it was set included).
    u32 m_Received = 0;
    // Content-Length of the answer; 0 when unknown.
    u32 m_ExpectedSize = 0;
    CClassicString m_ContentType;
    CClassicString m_Server;
    CClassicString m_Path;
    u32 m_Kind;
    // Free for the request's creator; a HEAD request writes its Last-Modified date into the
    // PackedDateTime it points to (nothing when null).
    void* m_UserData = nullptr;
    u32 m_Status = s_StatusError;
    // The client that drives the request (no reference); null once removed.
    CNetHttpClient* m_Client = nullptr;
    platform::HttpHandle m_Handle = 0;
    u32 m_Signalled = 0;
    // The last stored event: 100 (request complete) or 60 (handle created), its result and its
    // error; HttpError is replaced by the HTTP status code when the client refuses the status
    // line, and by 12156 when it refuses a redirect.
    u32 m_HttpStatus = 0;
    u32 m_CallbackResult = 0;
    u32 m_HttpError = 0;
    // Bytes of the last body read; -1 before the first.
    i32 m_LastRead = -1;
    u32 m_RangeStart = 0;
    // The status code of the final answer, 0 until its header block is read. A ranged GET
    // accepts 200 as well as 206: with 200 the body is the whole file from its first byte, not
    // from the range start, which a resuming caller must tell apart.
    u32 m_StatusCode = 0;
    u32 m_AllowRedirect = 1;
    // Set once the certificate was relaxed and the request sent again.
    u32 m_CertificateRetried = 0;
    CompletionMethod m_CompletionMethod = nullptr;
    void* m_CompletionObject = nullptr;
};
