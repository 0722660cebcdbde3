#include "net/http/NetHttpClient.h"

#include "core/base/ClassicBuffer.h"
#include "core/nod/MwCmd.h"
#include "core/nod/MwCmdBufferCore.h"
#include "core/nod/MwVirtualMember.h"
#include "net/engine/NetTime.h"
#include "net/http/HttpHeaders.h"
#include "system/file/PackedDateTime.h"

#include <algorithm>
#include <cstring>

namespace {

// The engine's name, sent as the user agent.
constexpr std::string_view kAgent = "Korvane";

bool IsCertificateError(u32 error) {
    return error == 12037 || error == 12038 || error == 12045;
}

void StoreEvent(void* context, u32 status, u32 result, u32 error) {
    static_cast<CNetHttpResult*>(context)->StoreCallbackStatus(status, result, error);
}

std::string_view View(const CClassicString& text) {
    return {text.GetText(), text.GetLength()};
}

} // namespace

#define CNETHTTPCLIENT_MEMBERS(X)                                                                  \
    X(String, 0x12012000, "Server", MW_FIELD(m_Server), "Server", 0x03, 0x380)                     \
    X(Natural, 0x12012001, "Port", MW_FIELD(m_Port), "Port", 0x03, 0x380)                          \
    X(String, 0x12012002, "UserName", MW_FIELD(m_HttpUserName), "UserName", 0x03, 0x380)           \
    X(String, 0x12012003, "Password", MW_FIELD(m_HttpPassword), "Password", 0x03, 0x380)           \
    X(String, 0x12012004, "LastError", MW_FIELD(m_LastError), "LastError", 0x01, 0x380)            \
    X(Bool, 0x12012005, "Connected", MW_VIRTUAL("m_hHttpConnection"), "Connected", 0x11, 0x380)    \
    X(Buffer, 0x12012006, "Requests", MW_FIELD(m_Requests), "Requests", 0x01, 0x3F82,              \
      MwType_Class, 0x1, "Request", &CNetHttpResult::s_ClassInfo)

MW_DEFINE_CLASS(CNetHttpClient, nullptr, CNETHTTPCLIENT_MEMBERS, MW_NO_CHUNKS);

CNetHttpClient::CNetHttpClient() {
    // The periodic commands need the scheduling core's buffers; the polling road of
    // WaitForRequests works without them.
    const CMwCmdBufferCore* core = CMwCmdBufferCore::GetSingleton();
    if (!core || !core->GetBuffer(2) || !core->GetBuffer(14))
        return;
    m_TrimCmd = MwMakeFastCall<&CNetHttpClient::TrimRateMeter>(this);
    m_UpdateCmd = MwMakeFastCall<&CNetHttpClient::Update>(this);
    m_TrimCmd->AddRef();
    m_UpdateCmd->AddRef();
    m_TrimCmd->SetBuffer(2);
    m_UpdateCmd->SetBuffer(14);
    m_TrimCmd->Install();
    m_UpdateCmd->Install();
}

CNetHttpClient::~CNetHttpClient() {
    Close();
    for (CMwCmdFastCall* cmd : {m_TrimCmd, m_UpdateCmd}) {
        if (cmd) {
            cmd->Uninstall();
            cmd->Release();
        }
    }
    m_Requests.FreeItems();
}

void CNetHttpClient::SetCredentials(u32 useCredentials, CClassicStringRef userName,
                                    CClassicStringRef password) {
    m_UseCredentials = useCredentials;
    m_HttpUserName.Assign(userName);
    m_HttpPassword.Assign(password);
}

bool CNetHttpClient::Open(CClassicStringRef server, i32 port) {
    Close();
    m_Server.Assign(server);
    m_Port = port == -1 ? 80 : u32(port);
    u32 error = 0;
    m_Session = platform::CreateHttpSession(kAgent, &error);
    if (!m_Session) {
        SetLastError("Failed in call to InternetOpen, Error: ",
                     error ? error : platform::kHttpErrorOutOfMemory);
        Close();
        return false;
    }
    // The host must be a name or an address, never a user, a port or a path in disguise.
    if (m_Port < 1 || m_Port > 65535 || std::memchr(m_Server.GetText(), 0, m_Server.GetLength()) ||
        !platform::IsUsableHttpHost(View(m_Server))) {
        error = platform::kHttpErrorBadUrl;
    } else {
        const bool credentials = m_UseCredentials != 0;
        error = m_Session->Connect(View(m_Server), u16(m_Port),
                                   credentials ? m_HttpUserName.GetText() : nullptr,
                                   credentials ? m_HttpPassword.GetText() : nullptr);
    }
    if (error) {
        SetLastError("Failed in call to InternetConnect, Error: ", error);
        Close();
        return false;
    }
    return true;
}

void CNetHttpClient::Close() {
    m_Closing = 1;
    while (m_Requests.m_Count != 0)
        RemoveRequest(m_Requests.m_Items[0]);
    m_Closing = 0;
    m_Session.reset();
}

CNetHttpResult* CNetHttpClient::Get(CClassicStringRef path, bool allowCache, bool allowRedirect,
                                    u32 rangeStart) {
    return CreateRequest(CNetHttpResult::s_KindGet, path, allowCache, nullptr, 0, allowRedirect,
                         rangeStart);
}

CNetHttpResult* CNetHttpClient::Post(CClassicStringRef path, const u8* data, u32 length) {
    return CreateRequest(CNetHttpResult::s_KindPost, path, false, data, length, true, 0);
}

CNetHttpResult* CNetHttpClient::CreateRequest(u32 kind, CClassicStringRef path, bool allowCache,
                                              const u8* bodyData, u32 bodyLength,
                                              bool allowRedirect, u32 rangeStart) {
    if (!m_Session || m_Closing) {
        SetLastError("Failed in call to HttpOpenRequest, Error: ", platform::kHttpErrorClosed);
        return nullptr;
    }
    auto* request = new CNetHttpResult(m_Server, path, kind);
    request->AddRef();
    request->m_Client = this;
    request->m_Status = CNetHttpResult::s_StatusConnecting;

    platform::HttpRequestParams params;
    params.Verb = kind == CNetHttpResult::s_KindPost   ? platform::HttpVerb::Post
                  : kind == CNetHttpResult::s_KindHead ? platform::HttpVerb::Head
                                                       : platform::HttpVerb::Get;
    params.Path = std::string_view(path.m_Text, path.m_Length);
    params.NoCache = !allowCache;
    params.Secure = m_Port == 443;
    params.RelaxHostName = params.Secure && m_RelaxedCertificates;
    params.AllowRedirect = allowRedirect;
    params.RangeStart = kind == CNetHttpResult::s_KindGet ? rangeStart : 0;
    if (kind == CNetHttpResult::s_KindPost && bodyData) {
        params.Body = bodyData;
        params.BodyLength = bodyLength;
    }
    const u32 error = m_Session->CreateRequest(params, request, &request->m_Handle);
    if (error) {
        SetLastError("Failed in call to HttpOpenRequest, Error: ", error);
        request->m_Status = CNetHttpResult::s_StatusError;
        request->m_Client = nullptr;
        request->Release();
        return nullptr;
    }
    if (bodyData)
        request->m_Body.Assign(
            CClassicStringRef(reinterpret_cast<const char*>(bodyData), bodyLength));
    request->m_AllowRedirect = allowRedirect;
    request->m_RangeStart = rangeStart;
    m_Requests.Add(request);
    return request;
}

void CNetHttpClient::Update() {
    if (m_Session) {
        LendReceiveAreas();
        m_Session->Pump(&StoreEvent);
    }
    for (i64 i = 0; i < i64(m_Requests.m_Count); ++i) {
        CNetHttpResult* request = m_Requests.m_Items[i];
        if (!request->m_Signalled || request->m_Status == CNetHttpResult::s_StatusError)
            continue;
        request->m_Signalled = 0;
        if (Step(request)) {
            // The request that moves into this place is examined next.
            RemoveRequest(request);
            --i;
        }
    }
    for (u32 i = 0; i < m_Requests.m_Count; ++i)
        TakeBackReceiveArea(m_Requests.m_Items[i]);
    TrimRateMeter();
}

void CNetHttpClient::LendReceiveAreas() {
    for (u32 i = 0; i < m_Requests.m_Count; ++i) {
        CNetHttpResult* request = m_Requests.m_Items[i];
        CClassicString& body = request->m_Body;
        const u32 room = body.GetCapacity() - body.GetLength();
        if (request->m_Status == CNetHttpResult::s_StatusDownloading && request->m_Handle && room)
            m_Session->SetReceiveArea(
                request->m_Handle, reinterpret_cast<u8*>(body.GetText()) + body.GetLength(), room);
    }
}

void CNetHttpClient::TakeBackReceiveArea(CNetHttpResult* request) {
    if (!m_Session || !request->m_Handle)
        return;
    m_Session->SetReceiveArea(request->m_Handle, nullptr, 0);
    // Bytes that landed but were not read lay over the body's terminator.
    CClassicString& body = request->m_Body;
    if (body.GetCapacity() != 0)
        body.GetText()[body.GetLength()] = 0;
}

bool CNetHttpClient::Step(CNetHttpResult* request) {
    // A certificate the transport refused: with the switch on, the request goes out once more
    // without verification, in this same pass.
    if (IsCertificateError(request->m_HttpError) && m_RelaxedCertificates &&
        !request->m_CertificateRetried) {
        request->m_CertificateRetried = 1;
        if (const u32 error = m_Session->RelaxCertificates(request->m_Handle))
            SetLastError("Failed in call to InternetQueryOption, Error: ", error);
        request->m_Status = CNetHttpResult::s_StatusConnecting;
        request->m_HttpError = 0;
    }
    if (request->m_HttpError != 0 && request->m_HttpStatus != platform::kHttpEventHandleCreated) {
        SetLastError("Failed in async operation, Error: ", request->m_HttpError);
        Fail(request);
        return true;
    }
    switch (request->m_Status) {
        case CNetHttpResult::s_StatusConnecting:
            request->m_Status = CNetHttpResult::s_StatusRequest;
            if (request->m_Kind > CNetHttpResult::s_KindHead)
                return false; // no verb to send: the request waits
            if (const u32 error = m_Session->Send(request->m_Handle)) {
                SetLastError("Failed in call to HttpSendRequest, Error: ", error);
                Fail(request);
                return true;
            }
            return false;
        case CNetHttpResult::s_StatusRequest:
            return ReadStatusLine(request);
        case CNetHttpResult::s_StatusDownloading:
            return ReadBody(request);
        default:
            return false;
    }
}

bool CNetHttpClient::ReadStatusLine(CNetHttpResult* request) {
    request->m_Status = CNetHttpResult::s_StatusDownloading;
    std::string_view block;
    if (const u32 error = m_Session->GetHeaders(request->m_Handle, &block)) {
        SetLastError("Failed in call to HttpQueryInfo for HTTP query status code, Error: ", error);
        Fail(request);
        return true;
    }
    const u32 code = HttpHeaderStatusCode(block);
    request->m_StatusCode = code;
    // A forbidden redirect is never followed: its answer comes back instead.
    if (!request->m_AllowRedirect && code >= 300 && code < 400 &&
        HttpHeaderField(block, "Location")) {
        m_LastError.Assign("Redirect not allowed.");
        request->m_HttpError = platform::kHttpErrorRedirect;
        Fail(request);
        return true;
    }
    if (!(code == 100 || code == 200 || (code == 206 && request->m_RangeStart != 0))) {
        SetLastError(code == 401 || code == 407 ? "Proxy Error: " : "Request unknown Error: ",
                     code);
        request->m_HttpError = code;
        Fail(request);
        return true;
    }

    const bool isHead = request->m_Kind == CNetHttpResult::s_KindHead;
    request->m_ExpectedSize = 0;
    if (const std::optional<u64> length = HttpHeaderContentLength(block)) {
        // A HEAD answer names the size of a body it does not carry.
        if (!isHead && *length > m_BodyLimit) {
            SetLastError("Failed in call to InternetReadFile, Error: ",
                         platform::kHttpErrorOutOfMemory);
            Fail(request);
            return true;
        }
        request->m_ExpectedSize = u32(std::min<u64>(*length, 0xFFFFFFFF));
    }
    request->m_ContentType.Assign(CClassicStringRef());
    HttpHeaderContentType(block, request->m_ContentType);

    if (isHead) {
        auto* date = static_cast<PackedDateTime*>(request->m_UserData);
        PackedDateTime value = date ? *date : PackedDateTime{};
        if (!HttpHeaderLastModified(block, value)) {
            SetLastError("Failed in call to HttpQueryInfo, Error: ",
                         platform::kHttpErrorHeaderNotFound);
            Fail(request);
            return true;
        }
        if (date)
            *date = value;
        request->m_Status = CNetHttpResult::s_StatusDone;
        return true;
    }
    // The POST data is gone from here on.
    request->m_Body.FreeText();
    request->m_LastRead = -1;
    return ReadBody(request);
}

bool CNetHttpClient::MakeRoom(CNetHttpResult* request) {
    CClassicString& body = request->m_Body;
    const u32 length = body.GetLength();
    const u64 needed = u64(length) + (request->m_BodyStream ? s_StreamSlot : s_ReadSlot);
    if (needed <= body.GetCapacity())
        return true;
    if (needed > 0xFFFFFFFF)
        return false;
    u64 capacity = 0;
    if (request->m_BodyStream) {
        // One slot, used again for every read.
        capacity = needed;
    } else if (length == 0 && request->m_ExpectedSize > 0) {
        // Once, from the announced size, never more than 64 MB of trust in it.
        capacity = u64(std::min(request->m_ExpectedSize, s_MaxPreallocation)) + s_ReadSlot;
    } else {
        // Geometric growth: an answer of unknown size costs linear copying.
        capacity = u64(body.GetCapacity()) * 2;
    }
    capacity = std::min(capacity, u64(m_BodyLimit) + s_ReadSlot);
    capacity = std::min<u64>(std::max(capacity, needed), 0xFFFFFFFF);
    // The block may move: the transport must not land bytes in the old one.
    TakeBackReceiveArea(request);
    if (body.TryReserve(u32(capacity), true))
        return true;
    return capacity > needed && body.TryReserve(u32(needed), true);
}

bool CNetHttpClient::ReadBody(CNetHttpResult* request) {
    for (;;) {
        if (!MakeRoom(request)) {
            SetLastError("Failed in call to InternetReadFile, Error: ",
                         platform::kHttpErrorOutOfMemory);
            Fail(request);
            return true;
        }
        CClassicString& body = request->m_Body;
        CClassicBuffer* const stream = request->m_BodyStream;
        const u32 length = body.GetLength();
        const u32 slot = stream ? s_StreamSlot : s_ReadSlot;
        u8* const into = reinterpret_cast<u8*>(body.GetText()) + length;
        u32 got = 0;
        u32 error = 0;
        const platform::HttpReadResult result =
            m_Session->Read(request->m_Handle, into, slot, &got, &error);
        switch (result) {
            case platform::HttpReadResult::Data:
                got = std::min(got, slot);
                request->m_LastRead = i32(got);
                if (got == 0) { // a read of nothing is the end
                    request->m_Status = CNetHttpResult::s_StatusDone;
                    return true;
                }
                if (u64(request->GetReceived()) + got > m_BodyLimit) {
                    SetLastError("Failed in call to InternetReadFile, Error: ",
                                 platform::kHttpErrorOutOfMemory);
                    Fail(request);
                    return true;
                }
                if (!stream) {
                    body.SetLength(length + got);
                } else if (stream->Write(into, got) == got) {
                    request->m_Received += got;
                } else {
                    SetLastError("Failed in call to InternetReadFile, Error: ", s_ErrorWriteFault);
                    Fail(request);
                    return true;
                }
                m_RateMeter.AddSample(got);
                break;
            case platform::HttpReadResult::End:
                request->m_LastRead = 0;
                request->m_Status = CNetHttpResult::s_StatusDone;
                return true;
            case platform::HttpReadResult::Pending:
                return false;
            case platform::HttpReadResult::Error:
                SetLastError("Failed in call to InternetReadFile, Error: ", error);
                Fail(request);
                return true;
        }
    }
}

bool CNetHttpClient::StreamBody(CNetHttpResult* request, CClassicBuffer* stream) {
    if (!request || !stream || request->m_BodyStream || request->m_Client != this ||
        request->m_Kind != CNetHttpResult::s_KindGet ||
        request->m_Status > CNetHttpResult::s_StatusDownloading)
        return false;
    // Before the answer, the body may hold what a request sends; it is not the answer's.
    if (request->m_Status != CNetHttpResult::s_StatusDownloading) {
        request->m_BodyStream = stream;
        return true;
    }
    CClassicString& body = request->m_Body;
    const u32 length = body.GetLength();
    if (length != 0 && stream->Write(body.GetText(), length) != length)
        return false;
    request->m_Received = length;
    request->m_BodyStream = stream;
    // The room made from the announced size goes: a slot takes its place at the next read.
    body.FreeText();
    return true;
}

void CNetHttpClient::WaitForRequests(u32 ms) {
    const u32 start = NetGetTimeMs();
    Update();
    while (m_Requests.m_Count != 0 && m_Session && NetGetTimeMs() - start <= ms) {
        m_Session->Wait(s_WaitStepMs);
        Update();
    }
}

void CNetHttpClient::RemoveRequest(CNetHttpResult* request) {
    if (!request || request->m_Client != this)
        return;
    CNetHttpResult** const begin = m_Requests.m_Items;
    CNetHttpResult** const end = begin + m_Requests.m_Count;
    CNetHttpResult** const at = std::find(begin, end, request);
    if (at == end)
        return;
    if (request->m_Handle && m_Session) {
        TakeBackReceiveArea(request);
        m_Session->Close(request->m_Handle);
    }
    request->m_Handle = 0;
    request->m_Client = nullptr;
    std::copy(at + 1, end, at);
    --m_Requests.m_Count;
    if (request->m_CompletionObject && request->m_CompletionMethod)
        request->m_CompletionMethod(request->m_CompletionObject, request);
    request->Release();
}

void CNetHttpClient::TrimRateMeter() {
    const u32 now = NetGetTimeMs();
    if (now >= s_RateWindowMs)
        m_RateMeter.DropOlderThan(now - s_RateWindowMs);
}

void CNetHttpClient::FailRequest(CNetHttpResult* request, u32 error) {
    if (!request || request->m_Client != this)
        return;
    SetLastError("Failed in async operation, Error: ", error);
    request->m_HttpError = error;
    Fail(request);
    RemoveRequest(request);
}

u32 CNetHttpClient::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId == s_ConnectedMemberId)
            return MwAnswerValue(out, u32(m_Session != nullptr));
        return MwNotOwnMember;
    });
}

void CNetHttpClient::SetLastError(const char* text, u32 number) {
    m_LastError.Assign(text);
    m_LastError.AppendInt(i32(number));
}

void CNetHttpClient::Fail(CNetHttpResult* request) {
    TakeBackReceiveArea(request);
    request->m_Status = CNetHttpResult::s_StatusError;
    request->m_Body.Assign(m_LastError);
}
