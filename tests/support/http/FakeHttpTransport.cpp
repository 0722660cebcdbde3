#include "tests/support/http/FakeHttpTransport.h"

#include "platform/Clock.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <memory>

namespace {

constinit FakeClock* s_Clock = nullptr;
constinit i64 s_NowNs = 0;
constinit FakeHttpTransport* s_Transport = nullptr;

i64 FakeCounter() {
    return s_NowNs;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// FakeClock

FakeClock::FakeClock(u32 startMs) {
    s_NowNs = i64(startMs) * 1000000;
    m_Previous = platform::SetCounterSource(&FakeCounter);
    s_Clock = this;
}

FakeClock::~FakeClock() {
    platform::SetCounterSource(m_Previous);
    s_Clock = nullptr;
}

void FakeClock::Advance(u32 ms) {
    s_NowNs += i64(ms) * 1000000;
}

void FakeClock::SetMs(u32 ms) {
    s_NowNs = i64(ms) * 1000000;
}

FakeClock* FakeClock::Current() {
    return s_Clock;
}

// ---------------------------------------------------------------------------------------------
// The session

class FakeHttpSession final : public platform::HttpSession {
public:
    explicit FakeHttpSession(FakeHttpTransport& owner) : m_Owner(owner) {
        ++m_Owner.m_SessionsOpened;
        ++m_Owner.m_SessionsOpen;
    }
    ~FakeHttpSession() override {
        for (auto& r : m_Requests)
            m_Owner.m_Records[r->Record].Closed = true;
        --m_Owner.m_SessionsOpen;
    }

    u32 Connect(std::string_view host, u16 port, const char* proxyUser,
                const char* proxyPassword) override {
        m_Host = host;
        m_Port = port;
        m_HasProxyCredentials = proxyUser != nullptr;
        m_ProxyUser = proxyUser ? proxyUser : "";
        m_ProxyPassword = proxyPassword ? proxyPassword : "";
        return m_Owner.m_ConnectError;
    }

    u32 CreateRequest(const platform::HttpRequestParams& p, void* context,
                      platform::HttpHandle* out) override {
        fake_http::Record record;
        record.Host = m_Host;
        record.Port = m_Port;
        record.HasProxyCredentials = m_HasProxyCredentials;
        record.ProxyUser = m_ProxyUser;
        record.ProxyPassword = m_ProxyPassword;
        record.Verb = p.Verb;
        record.Path = std::string(p.Path);
        record.NoCache = p.NoCache;
        record.Secure = p.Secure;
        record.RelaxHostName = p.RelaxHostName;
        record.AllowRedirect = p.AllowRedirect;
        record.RangeStart = p.RangeStart;
        if (p.Body)
            record.Body.assign(reinterpret_cast<const char*>(p.Body), p.BodyLength);
        fake_http::Script script = m_Owner.TakeScript(record.Path);
        m_Owner.m_Records.push_back(std::move(record));
        if (script.CreateError) {
            m_Owner.m_Records.back().Closed = true;
            return script.CreateError;
        }
        auto r = std::make_unique<SRequest>();
        r->Handle = ++m_LastHandle;
        r->Context = context;
        r->Script = std::move(script);
        r->Record = m_Owner.m_Records.size() - 1;
        *out = r->Handle;
        m_Events.push_back({r->Handle, context, platform::kHttpEventHandleCreated, 0, 0});
        m_Requests.push_back(std::move(r));
        return 0;
    }

    u32 Send(platform::HttpHandle handle) override {
        SRequest* r = Find(handle);
        if (!r)
            return platform::kHttpErrorClosed;
        if (r->Script.SendError)
            return r->Script.SendError;
        ++m_Owner.m_Records[r->Record].Sends;
        r->AwaitSend = true;
        r->AwaitRead = false;
        return 0;
    }

    u32 GetHeaders(platform::HttpHandle handle, std::string_view* block) override {
        SRequest* r = Find(handle);
        if (!r)
            return platform::kHttpErrorClosed;
        if (r->Script.HeadersError)
            return r->Script.HeadersError;
        if (!r->HasHeaders)
            return platform::kHttpErrorHeaderNotFound;
        *block = r->Headers;
        return 0;
    }

    platform::HttpReadResult Read(platform::HttpHandle handle, u8* into, u32 size, u32* got,
                                  u32* error) override {
        using fake_http::Step;
        *got = 0;
        *error = 0;
        SRequest* r = Find(handle);
        if (!r) {
            *error = platform::kHttpErrorClosed;
            return platform::HttpReadResult::Error;
        }
        while (Step* step = r->Current()) {
            switch (step->Kind) {
                case Step::Data: {
                    const size_t left = step->Bytes.size() - r->Offset;
                    if (left == 0) {
                        r->Next();
                        continue;
                    }
                    const size_t n = std::min<size_t>(left, size);
                    std::memcpy(into, step->Bytes.data() + r->Offset, n);
                    r->Offset += n;
                    if (r->Offset == step->Bytes.size())
                        r->Next();
                    *got = u32(n);
                    return platform::HttpReadResult::Data;
                }
                case Step::End:
                    return platform::HttpReadResult::End;
                case Step::ReadError:
                    *error = step->Error;
                    return platform::HttpReadResult::Error;
                default:
                    r->AwaitRead = true;
                    return platform::HttpReadResult::Pending;
            }
        }
        r->AwaitRead = true;
        return platform::HttpReadResult::Pending;
    }

    u32 RelaxCertificates(platform::HttpHandle handle) override {
        SRequest* r = Find(handle);
        if (!r)
            return platform::kHttpErrorClosed;
        ++m_Owner.m_Records[r->Record].Relaxed;
        return r->Script.RelaxError;
    }

    void Close(platform::HttpHandle handle) override {
        const auto it = std::find_if(m_Requests.begin(), m_Requests.end(),
                                     [&](const auto& r) { return r->Handle == handle; });
        if (it == m_Requests.end())
            return;
        m_Owner.m_Records[(*it)->Record].Closed = true;
        m_Requests.erase(it);
        std::erase_if(m_Events, [&](const SEvent& e) { return e.Handle == handle; });
    }

    void Pump(platform::HttpEventSink sink) override {
        for (auto& r : m_Requests)
            Advance(*r);
        while (!m_Events.empty()) {
            const SEvent e = m_Events.front();
            m_Events.pop_front();
            sink(e.Context, e.Status, e.Result, e.Error);
        }
    }

    void Wait(u32 ms) override {
        if (!m_Events.empty())
            return;
        // The wait ends early when a quiet server speaks again.
        u32 quiet = ms;
        for (auto& r : m_Requests) {
            const fake_http::Step* step = r->AwaitSend || r->AwaitRead ? r->Current() : nullptr;
            if (step && step->Kind != fake_http::Step::Idle)
                return;
            if (step)
                quiet = std::min(quiet, step->Error);
        }
        ++m_Owner.m_IdleWaits;
        m_Owner.m_WaitedMs += quiet;
        if (FakeClock* clock = FakeClock::Current())
            clock->Advance(quiet);
        for (auto& r : m_Requests) {
            fake_http::Step* step = r->AwaitSend || r->AwaitRead ? r->Current() : nullptr;
            if (step && (step->Error -= quiet) == 0)
                r->Next();
        }
    }

private:
    struct SRequest {
        platform::HttpHandle Handle = 0;
        void* Context = nullptr;
        fake_http::Script Script;
        size_t Record = 0;
        size_t Index = 0;
        size_t Offset = 0;
        std::string Headers;
        bool HasHeaders = false;
        bool AwaitSend = false;
        bool AwaitRead = false;

        fake_http::Step* Current() {
            return Index < Script.Steps.size() ? &Script.Steps[Index] : nullptr;
        }
        void Next() {
            ++Index;
            Offset = 0;
        }
    };
    struct SEvent {
        platform::HttpHandle Handle;
        void* Context;
        u32 Status;
        u32 Result;
        u32 Error;
    };

    SRequest* Find(platform::HttpHandle handle) {
        for (auto& r : m_Requests)
            if (r->Handle == handle)
                return r.get();
        return nullptr;
    }

    void Event(SRequest& r, u32 result, u32 error) {
        m_Events.push_back(
            {r.Handle, r.Context, platform::kHttpEventRequestComplete, result, error});
    }

    // The event an outstanding send or read is owed, when its step is there.
    void Advance(SRequest& r) {
        using fake_http::Step;
        Step* step = r.Current();
        if (!step || !(r.AwaitSend || r.AwaitRead) || step->Kind == Step::Idle)
            return;
        r.AwaitSend = false;
        r.AwaitRead = false;
        switch (step->Kind) {
            case Step::Fail:
                r.Next();
                Event(r, 0, step->Error);
                return;
            case Step::Headers:
                r.Headers = step->Bytes;
                r.HasHeaders = true;
                r.Next();
                Event(r, 1, 0);
                return;
            case Step::DataLater:
                step->Kind = Step::Data;
                break;
            case Step::EndLater:
                step->Kind = Step::End;
                break;
            default:
                break;
        }
        // A send answered by a body step has no header block: its query fails.
        Event(r, 1, 0);
    }

    FakeHttpTransport& m_Owner;
    std::string m_Host;
    u16 m_Port = 0;
    bool m_HasProxyCredentials = false;
    std::string m_ProxyUser;
    std::string m_ProxyPassword;
    platform::HttpHandle m_LastHandle = 0;
    std::vector<std::unique_ptr<SRequest>> m_Requests;
    std::deque<SEvent> m_Events;
};

// ---------------------------------------------------------------------------------------------
// FakeHttpTransport

FakeHttpTransport::FakeHttpTransport() : m_PreviousTransport(s_Transport) {
    s_Transport = this;
    m_PreviousFactory = platform::SetHttpSessionFactory(
        [](std::string_view, u32* error) -> std::unique_ptr<platform::HttpSession> {
            *error = s_Transport->m_SessionError;
            if (*error)
                return nullptr;
            return std::make_unique<FakeHttpSession>(*s_Transport);
        });
}

FakeHttpTransport::~FakeHttpTransport() {
    platform::SetHttpSessionFactory(m_PreviousFactory);
    s_Transport = m_PreviousTransport;
}

void FakeHttpTransport::Add(std::string path, fake_http::Script script) {
    m_Scripts.push_back({std::move(path), std::move(script)});
}

fake_http::Script FakeHttpTransport::TakeScript(const std::string& path) {
    for (SPending& pending : m_Scripts) {
        if (!pending.Used && (pending.Path.empty() || pending.Path == path)) {
            pending.Used = true;
            return pending.Script;
        }
    }
    return {{fake_http::Fail(12029)}};
}
