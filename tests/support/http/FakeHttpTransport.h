#pragma once
// A scripted HTTP transport and a clock that tests move by hand, shared by every test program
// that drives the engine's HTTP client without a network.
//
//   FakeHttpTransport fake;                      // sessions come from the fake from now on
//   fake.Add("patch/patch.php", {{fake_http::Headers("HTTP/1.1 200 OK\r\n\r\n"),
//                                 fake_http::Data("0;0;up to date"), fake_http::End()}});
//   client.Open("upd.test", 443);
//   client.Get("patch/patch.php", ...);
//   client.WaitForRequests(1000);                // the fake's waits move the fake clock
//
// Each request takes the first unused script added for its path (or for any path, ""), in the
// order added; a request without one fails as a server that cannot be reached (12029). The
// script's steps are taken in order: the send ends with a Headers or a Fail step; reads take
// Data and End steps at once, while DataLater, EndLater and Fail steps first leave the read
// pending and deliver their event at the next pump. An Idle step is a quiet server: the waits
// move the fake clock through it, and the steps after it come once it has passed. A request
// whose steps run out waits for ever.
#include "platform/Clock.h"
#include "platform/http/HttpTransport.h"

#include <string>
#include <vector>

namespace fake_http {

struct Step {
    enum Kind : u8 {
        // The answer's header block: the send completes (event 100, result 1).
        Headers,
        // An event with this error number: ends the send or a pending read.
        Fail,
        // Body bytes read at once.
        Data,
        // Body bytes behind a pending read.
        DataLater,
        // The end of the body, read at once.
        End,
        // The end behind a pending read.
        EndLater,
        // A read that fails at once with this number.
        ReadError,
        // Nothing for this many milliseconds (in Error) of the fake clock.
        Idle,
    };
    Kind Kind;
    std::string Bytes;
    u32 Error = 0;
};

inline Step Headers(std::string block) {
    return {Step::Headers, std::move(block)};
}
inline Step Fail(u32 error) {
    return {Step::Fail, {}, error};
}
inline Step Data(std::string bytes) {
    return {Step::Data, std::move(bytes)};
}
inline Step DataLater(std::string bytes) {
    return {Step::DataLater, std::move(bytes)};
}
inline Step End() {
    return {Step::End, {}};
}
inline Step EndLater() {
    return {Step::EndLater, {}};
}
inline Step ReadError(u32 error) {
    return {Step::ReadError, {}, error};
}
inline Step Idle(u32 ms) {
    return {Step::Idle, {}, ms};
}

struct Script {
    std::vector<Step> Steps;
    // Non-zero: the matching call fails with this number.
    u32 CreateError = 0;
    u32 SendError = 0;
    u32 HeadersError = 0;
    u32 RelaxError = 0;
};

// What one request asked for and how it was treated.
struct Record {
    std::string Host;
    u16 Port = 0;
    bool HasProxyCredentials = false;
    std::string ProxyUser;
    std::string ProxyPassword;
    platform::HttpVerb Verb = platform::HttpVerb::Get;
    std::string Path;
    bool NoCache = false;
    bool Secure = false;
    bool RelaxHostName = false;
    bool AllowRedirect = true;
    u32 RangeStart = 0;
    std::string Body;
    u32 Sends = 0;
    u32 Relaxed = 0;
    bool Closed = false;
};

} // namespace fake_http

// Replaces the platform counter while it lives: time moves only when told.
class FakeClock {
public:
    explicit FakeClock(u32 startMs = 100000);
    ~FakeClock();
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void Advance(u32 ms);
    void SetMs(u32 ms);
    // The fake's existence: FakeHttpTransport waits move it when there is one.
    static FakeClock* Current();

private:
    platform::CounterSource m_Previous;
};

class FakeHttpTransport {
public:
    // Sessions come from the fake until it is destroyed.
    FakeHttpTransport();
    ~FakeHttpTransport();
    FakeHttpTransport(const FakeHttpTransport&) = delete;
    FakeHttpTransport& operator=(const FakeHttpTransport&) = delete;

    void Add(std::string path, fake_http::Script script);
    // Non-zero: opening a session, or connecting it, fails with this number.
    void FailSessions(u32 error) { m_SessionError = error; }
    void FailConnect(u32 error) { m_ConnectError = error; }

    // Every request created, in order.
    const std::vector<fake_http::Record>& Requests() const { return m_Records; }
    u32 GetSessionsOpened() const { return m_SessionsOpened; }
    u32 GetSessionsOpen() const { return m_SessionsOpen; }
    // Waits that had nothing to deliver, and the milliseconds they moved the clock by.
    u32 GetIdleWaits() const { return m_IdleWaits; }
    u64 GetWaitedMs() const { return m_WaitedMs; }

private:
    friend class FakeHttpSession;
    struct SPending {
        std::string Path;
        fake_http::Script Script;
        bool Used = false;
    };

    fake_http::Script TakeScript(const std::string& path);

    // A fake made while another lives stands in for it until it goes.
    FakeHttpTransport* m_PreviousTransport;
    platform::HttpSessionFactory m_PreviousFactory;
    std::vector<SPending> m_Scripts;
    std::vector<fake_http::Record> m_Records;
    u32 m_SessionError = 0;
    u32 m_ConnectError = 0;
    u32 m_SessionsOpened = 0;
    u32 m_SessionsOpen = 0;
    u32 m_IdleWaits = 0;
    u64 m_WaitedMs = 0;
};
