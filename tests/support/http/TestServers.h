#pragma once
// Loopback servers for the tests of the engine's HTTP client: the Python test server (plain and
// TLS listeners, a proxy, logged connections, handshakes and requests; tests/net/
// http_test_server.py) and Debian's nginx run without root. Both bind 127.0.0.1 only and end
// with the object that started them.
#include "platform/Types.h"

#include <map>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

// The folder of the test certificates (ca, server, self, wrong: .pem and .key), made once per
// process with the openssl command line tool and removed at exit.
const std::string& TestCertificateFolder();

// A temporary folder removed with everything in it.
class TestFolder {
public:
    TestFolder();
    ~TestFolder();
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& Path() const { return m_Path; }
    std::string File(std::string_view name) const { return m_Path + "/" + std::string(name); }

private:
    std::string m_Path;
};

class TestHttpServer {
public:
    struct Options {
        // "user:password" the proxy wants; empty: it wants none.
        std::string ProxyAuth;
        // A Python file adding routes (see the server's notes).
        std::string Routes;
    };

    explicit TestHttpServer(const Options& options);
    TestHttpServer() : TestHttpServer(Options{}) {}
    // Closes the server's standard input, which ends it, and waits for it.
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    bool IsRunning() const { return m_Pid > 0 && !m_Ports.empty(); }
    // The port of a listener: "http", "https", "https_self", "https_wrong", "proxy".
    u16 Port(const std::string& listener) const;
    // The log's JSON lines so far.
    std::vector<std::string> Log() const;

private:
    TestFolder m_Folder;
    pid_t m_Pid = -1;
    int m_Stdin = -1;
    std::map<std::string, u16> m_Ports;
};

class TestNginx {
public:
    // Serves `root` on a free loopback port. The access log has one line per request:
    // "$request $status $connection $connection_requests $body_bytes_sent". `locations` is added
    // inside the server block; /chunked/ serves the root with its answers chunked.
    explicit TestNginx(const std::string& root, const std::string& locations = "");
    ~TestNginx();
    TestNginx(const TestNginx&) = delete;
    TestNginx& operator=(const TestNginx&) = delete;

    bool IsRunning() const { return m_Pid > 0; }
    u16 Port() const { return m_Port; }
    std::vector<std::string> AccessLog() const;
    std::string ErrorLog() const;

private:
    bool Start(const std::string& root, const std::string& locations);
    void Stop();

    TestFolder m_Folder;
    pid_t m_Pid = -1;
    u16 m_Port = 0;
};

// A loopback port nothing listens on (bound, then closed).
u16 TestFreePort();

// Runs a program with its arguments, its standard output in *output when asked; the exit code,
// or -1 when it did not run.
int TestRunProgram(const std::vector<std::string>& argv, std::string* output = nullptr);
