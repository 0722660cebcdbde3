// The HTTP transport over libcurl's multi interface: one multi handle per session (its
// connection cache gives keep-alive between the session's requests), one easy handle per
// request, everything driven from Pump on the caller's thread.
#include "platform/http/CurlRequest.h"
#include "platform/http/HttpTransport.h"

#include <algorithm>
#include <curl/curl.h>
#include <deque>

namespace platform {

namespace {

using curl_http::CurlRequest;
using curl_http::OnBody;
using curl_http::OnHeader;

// libcurl's receive buffer.
constexpr long kReceiveBuffer = 256 * 1024;
constexpr long kMaxRedirects = 10;
constexpr long kConnectTimeoutMs = 30000;
constexpr long kLowSpeedTimeSeconds = 60;

struct CurlEvent {
    HttpHandle Handle;
    void* Context;
    u32 Status;
    u32 Result;
    u32 Error;
};

void Resume(CurlRequest& r) {
    r.Paused = false;
    // The saved bytes may come back through OnBody at once, and pause the transfer again.
    curl_easy_pause(r.Easy, CURLPAUSE_CONT);
}

int OnResolverStart(void*, void*, void* user) {
    // A non-zero answer makes the transfer fail as a name that does not resolve.
    return static_cast<CurlRequest*>(user)->Unresolvable ? 1 : 0;
}

class CurlSession final : public HttpSession {
public:
    CurlSession(std::string_view agent, CURLM* multi) : m_Agent(agent), m_Multi(multi) {}
    ~CurlSession() override {
        for (auto& r : m_Requests)
            Release(*r);
        curl_multi_cleanup(m_Multi);
    }
    CurlSession(const CurlSession&) = delete;
    CurlSession& operator=(const CurlSession&) = delete;

    u32 Connect(std::string_view host, u16 port, const char* proxyUser,
                const char* proxyPassword) override {
        m_Host = host;
        m_Port = port;
        m_HasProxyCredentials = proxyUser != nullptr;
        m_ProxyUser = proxyUser ? proxyUser : "";
        m_ProxyPassword = proxyPassword ? proxyPassword : "";
        return 0;
    }

    u32 CreateRequest(const HttpRequestParams& params, void* context, HttpHandle* out) override {
        *out = 0;
        auto r = std::make_unique<CurlRequest>();
        r->Context = context;
        r->AllowRedirect = params.AllowRedirect;
        r->Easy = curl_easy_init();
        if (!r->Easy)
            return kHttpErrorOutOfMemory;
        if (!Configure(*r, params)) {
            Release(*r);
            return kHttpErrorOutOfMemory;
        }
        r->Handle = ++m_LastHandle;
        *out = r->Handle;
        m_Events.push_back({r->Handle, context, kHttpEventHandleCreated, u32(r->Handle), 0});
        m_Requests.push_back(std::move(r));
        return 0;
    }

    u32 Send(HttpHandle handle) override {
        CurlRequest* r = Find(handle);
        if (!r)
            return kHttpErrorClosed;
        if (r->InMulti) {
            curl_multi_remove_handle(m_Multi, r->Easy);
            r->InMulti = false;
        }
        r->ResetAnswer();
        if (curl_multi_add_handle(m_Multi, r->Easy) != CURLM_OK)
            return 12004;
        r->InMulti = true;
        r->AwaitSend = true;
        return 0;
    }

    u32 GetHeaders(HttpHandle handle, std::string_view* block) override {
        CurlRequest* r = Find(handle);
        if (!r)
            return kHttpErrorClosed;
        if (!r->FinalKnown)
            return kHttpErrorHeaderNotFound;
        *block = r->Final;
        return 0;
    }

    HttpReadResult Read(HttpHandle handle, u8* into, u32 size, u32* got, u32* error) override {
        *got = 0;
        *error = 0;
        CurlRequest* r = Find(handle);
        if (!r) {
            *error = kHttpErrorClosed;
            return HttpReadResult::Error;
        }
        if (const size_t n = r->ReadBody(into, size, &Resume)) {
            *got = u32(n);
            return HttpReadResult::Data;
        }
        if (r->Done && r->Error == 0)
            return HttpReadResult::End;
        if (r->Done) {
            if (r->ErrorReported) {
                *error = r->Error;
                return HttpReadResult::Error;
            }
            // The failure reaches the client as the event of this pending read.
            r->ErrorReported = true;
            m_Events.push_back({r->Handle, r->Context, kHttpEventRequestComplete, 0, r->Error});
            return HttpReadResult::Pending;
        }
        r->AwaitRead = true;
        return HttpReadResult::Pending;
    }

    void SetReceiveArea(HttpHandle handle, u8* at, size_t room) override {
        if (CurlRequest* r = Find(handle))
            r->SetArea(at, room);
    }

    u32 RelaxCertificates(HttpHandle handle) override {
        CurlRequest* r = Find(handle);
        if (!r)
            return kHttpErrorClosed;
        curl_easy_setopt(r->Easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(r->Easy, CURLOPT_SSL_VERIFYHOST, 0L);
        return 0;
    }

    void Close(HttpHandle handle) override {
        const auto it = std::find_if(m_Requests.begin(), m_Requests.end(),
                                     [&](const auto& r) { return r->Handle == handle; });
        if (it == m_Requests.end())
            return;
        Release(**it);
        m_Requests.erase(it);
        std::erase_if(m_Events, [&](const CurlEvent& e) { return e.Handle == handle; });
    }

    void Pump(HttpEventSink sink) override {
        int running = 0;
        curl_multi_perform(m_Multi, &running);
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(m_Multi, &left)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            CurlRequest* r = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &r);
            if (r)
                Finish(*r, message->data.result);
        }
        for (auto& request : m_Requests)
            OweEvents(*request);
        // The sink only stores the event in its request: nothing it does changes the queue.
        while (!m_Events.empty()) {
            const CurlEvent e = m_Events.front();
            m_Events.pop_front();
            sink(e.Context, e.Status, e.Result, e.Error);
        }
    }

    void Wait(u32 ms) override {
        if (!m_Events.empty())
            return;
        for (auto& r : m_Requests)
            if (EventDue(*r))
                return;
        curl_multi_poll(m_Multi, nullptr, 0, int(std::min<u32>(ms, 0x7FFFFFFF)), nullptr);
    }

private:
    CurlRequest* Find(HttpHandle handle) {
        for (auto& r : m_Requests)
            if (r->Handle == handle)
                return r.get();
        return nullptr;
    }

    void Release(CurlRequest& r) {
        if (r.Easy) {
            if (r.InMulti)
                curl_multi_remove_handle(m_Multi, r.Easy);
            curl_easy_cleanup(r.Easy);
            r.Easy = nullptr;
        }
        curl_slist_free_all(r.Headers);
        curl_slist_free_all(r.ConnectTo);
        r.Headers = nullptr;
        r.ConnectTo = nullptr;
        r.InMulti = false;
    }

    bool AddHeader(CurlRequest& r, const char* line) {
        curl_slist* list = curl_slist_append(r.Headers, line);
        if (!list)
            return false;
        r.Headers = list;
        return true;
    }

    bool Configure(CurlRequest& r, const HttpRequestParams& p) {
        CURL* e = r.Easy;
        const HttpTestHooks* hooks = GetHttpTestHooks();
        const std::string url = BuildHttpUrl(p.Secure, m_Host, m_Port, p.Path);
        bool ok = curl_easy_setopt(e, CURLOPT_URL, url.c_str()) == CURLE_OK;
        curl_easy_setopt(e, CURLOPT_PRIVATE, &r);
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_PATH_AS_IS, 1L);
        curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, p.AllowRedirect ? 1L : 0L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBuffer);
        curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader);
        curl_easy_setopt(e, CURLOPT_HEADERDATA, &r);
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &r);
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_FUNCTION, &OnResolverStart);
        curl_easy_setopt(e, CURLOPT_RESOLVER_START_DATA, &r);
        const long connectMs =
            hooks && hooks->ConnectTimeoutMs ? long(hooks->ConnectTimeoutMs) : kConnectTimeoutMs;
        const long lowSpeedS = hooks && hooks->LowSpeedTimeSeconds
                                   ? long(hooks->LowSpeedTimeSeconds)
                                   : kLowSpeedTimeSeconds;
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, lowSpeedS);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, p.RelaxHostName ? 0L : 2L);
        if (m_HasProxyCredentials) {
            // To the proxy only: the origin server never gets them.
            curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, m_ProxyUser.c_str());
            curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, m_ProxyPassword.c_str());
        }
        if (hooks) {
            if (hooks->ReceiveQueueBytes)
                r.QueueBound = hooks->ReceiveQueueBytes;
            if (!hooks->CaFile.empty())
                curl_easy_setopt(e, CURLOPT_CAINFO, hooks->CaFile.c_str());
            for (const std::string& entry : hooks->ConnectTo) {
                curl_slist* list = curl_slist_append(r.ConnectTo, entry.c_str());
                ok = ok && list;
                if (list)
                    r.ConnectTo = list;
            }
            if (r.ConnectTo)
                curl_easy_setopt(e, CURLOPT_CONNECT_TO, r.ConnectTo);
            r.Unresolvable =
                std::find(hooks->UnresolvableHosts.begin(), hooks->UnresolvableHosts.end(),
                          m_Host) != hooks->UnresolvableHosts.end();
        }

        ok = ok && AddHeader(r, ("User-Agent: " + m_Agent).c_str());
        ok = ok && AddHeader(r, "Accept: text/*, application/binary");
        if (p.NoCache) {
            ok = ok && AddHeader(r, "Pragma: no-cache");
            ok = ok && AddHeader(r, "Cache-Control: no-cache");
        }
        switch (p.Verb) {
            case HttpVerb::Post:
                curl_easy_setopt(e, CURLOPT_POST, 1L);
                curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE, long(p.BodyLength));
                ok = ok && curl_easy_setopt(e, CURLOPT_COPYPOSTFIELDS,
                                            p.Body ? reinterpret_cast<const char*>(p.Body) : "") ==
                               CURLE_OK;
                ok = ok && AddHeader(r, "Content-Type: application/binary");
                // No "Expect: 100-continue" before a large body.
                ok = ok && AddHeader(r, "Expect:");
                break;
            case HttpVerb::Head:
                curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
                break;
            case HttpVerb::Get:
                if (p.RangeStart != 0)
                    curl_easy_setopt(e, CURLOPT_RANGE,
                                     (std::to_string(p.RangeStart) + "-").c_str());
                break;
        }
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, r.Headers);
        return ok;
    }

    void Finish(CurlRequest& r, CURLcode result) {
        r.Done = true;
        if (result == CURLE_OK)
            return;
        if (r.Refusal) {
            r.Error = r.Refusal;
            return;
        }
        long connectCode = 0;
        curl_easy_getinfo(r.Easy, CURLINFO_HTTP_CONNECTCODE, &connectCode);
        if (!r.FinalKnown && connectCode != 0 && (connectCode < 200 || connectCode >= 300)) {
            // The proxy refused the tunnel: its answer is the request's answer.
            r.Final = "HTTP/1.1 " + std::to_string(connectCode) + " \r\n\r\n";
            r.FinalKnown = true;
            return;
        }
        long verifyResult = 0;
        curl_easy_getinfo(r.Easy, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
        r.Error = HttpErrorFromCurl(i32(result), i64(verifyResult));
    }

    // Whether the request's owed event can be delivered now.
    static bool EventDue(const CurlRequest& r) {
        if (r.AwaitSend)
            return r.FinalKnown || r.Done;
        if (r.AwaitRead)
            return r.Queued() != 0 || r.Done;
        return false;
    }

    void OweEvents(CurlRequest& r) {
        if (!EventDue(r))
            return;
        if (r.AwaitSend) {
            r.AwaitSend = false;
            // A transfer that ended well on a redirect it did not follow: that is the answer.
            if (!r.FinalKnown && r.Done && r.Error == 0 && !r.Final.empty())
                r.FinalKnown = true;
            if (r.FinalKnown) {
                m_Events.push_back({r.Handle, r.Context, kHttpEventRequestComplete, 1, 0});
            } else {
                r.ErrorReported = true;
                m_Events.push_back({r.Handle, r.Context, kHttpEventRequestComplete, 0,
                                    r.Error ? r.Error : kHttpErrorInvalidAnswer});
            }
            return;
        }
        r.AwaitRead = false;
        if (r.Queued() != 0 || r.Error == 0) {
            m_Events.push_back({r.Handle, r.Context, kHttpEventRequestComplete, 1, 0});
        } else {
            r.ErrorReported = true;
            m_Events.push_back({r.Handle, r.Context, kHttpEventRequestComplete, 0, r.Error});
        }
    }

    std::string m_Agent;
    CURLM* m_Multi;
    std::string m_Host;
    u16 m_Port = 80;
    bool m_HasProxyCredentials = false;
    std::string m_ProxyUser;
    std::string m_ProxyPassword;
    HttpHandle m_LastHandle = 0;
    std::vector<std::unique_ptr<CurlRequest>> m_Requests;
    std::deque<CurlEvent> m_Events;
};

} // namespace

std::unique_ptr<HttpSession> CreateCurlHttpSession(std::string_view agent, u32* error) {
    HttpGlobalInit();
    CURLM* multi = curl_multi_init();
    if (!multi) {
        *error = kHttpErrorOutOfMemory;
        return nullptr;
    }
    *error = 0;
    return std::make_unique<CurlSession>(agent, multi);
}

} // namespace platform
