#include "tests/support/http/TestServers.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// Starts the program with pipes on its standard input and output (either may be skipped).
pid_t Spawn(const std::vector<std::string>& argv, int* stdinWrite, int* stdoutRead) {
    int in[2] = {-1, -1};
    int out[2] = {-1, -1};
    if ((stdinWrite && pipe2(in, O_CLOEXEC) != 0) || (stdoutRead && pipe2(out, O_CLOEXEC) != 0))
        return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // A server outlives no test program that crashed: left running, it would keep the test
        // runner waiting on the output it holds.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        if (stdinWrite)
            dup2(in[0], 0);
        if (stdoutRead)
            dup2(out[1], 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (stdinWrite) {
        close(in[0]);
        *stdinWrite = in[1];
    }
    if (stdoutRead) {
        close(out[1]);
        *stdoutRead = out[0];
    }
    return pid;
}

// Waits for the child at most `ms`; true when it ended.
bool WaitChild(pid_t pid, int ms, int* status = nullptr) {
    for (int waited = 0; waited <= ms; waited += 10) {
        int s = 0;
        const pid_t done = waitpid(pid, &s, WNOHANG);
        if (done == pid) {
            if (status)
                *status = s;
            return true;
        }
        if (done < 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// One line from the descriptor, waiting at most `ms` in all.
std::string ReadLine(int fd, int ms) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}

bool CanConnect(u16 port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

struct CertificateFolder {
    TestFolder Folder;
    CertificateFolder() {
        TestRunProgram({"/bin/sh",
                        std::string(ENGINE_TEST_SOURCE_DIR) + "/tests/net/make_test_certs.sh",
                        Folder.Path()});
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------

TestFolder::TestFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "httptest-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        m_Path = pattern;
}

TestFolder::~TestFolder() {
    std::error_code ignored;
    if (!m_Path.empty())
        std::filesystem::remove_all(m_Path, ignored);
}

const std::string& TestCertificateFolder() {
    static CertificateFolder folder;
    return folder.Folder.Path();
}

u16 TestFreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    close(fd);
    return ntohs(a.sin_port);
}

int TestRunProgram(const std::vector<std::string>& argv, std::string* output) {
    int out = -1;
    const pid_t pid = Spawn(argv, nullptr, output ? &out : nullptr);
    if (pid < 0)
        return -1;
    if (output) {
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(out, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0)
                output->append(buffer, size_t(n));
        close(out);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------------------------
// TestHttpServer

TestHttpServer::TestHttpServer(const Options& options) {
    std::vector<std::string> argv = {ENGINE_TEST_PYTHON,
                                     std::string(ENGINE_TEST_SOURCE_DIR) +
                                         "/tests/net/http_test_server.py",
                                     "--certs",
                                     TestCertificateFolder(),
                                     "--log",
                                     m_Folder.File("server.log")};
    if (!options.ProxyAuth.empty()) {
        argv.push_back("--proxy-auth");
        argv.push_back(options.ProxyAuth);
    }
    if (!options.Routes.empty()) {
        argv.push_back("--routes");
        argv.push_back(options.Routes);
    }
    int out = -1;
    m_Pid = Spawn(argv, &m_Stdin, &out);
    if (m_Pid < 0)
        return;
    // {"http": 33587, "https": 37567, ...}
    const std::string line = ReadLine(out, 30000);
    close(out);
    size_t at = 0;
    while ((at = line.find('"', at)) != std::string::npos) {
        const size_t end = line.find('"', at + 1);
        if (end == std::string::npos)
            break;
        const std::string name = line.substr(at + 1, end - at - 1);
        const size_t colon = line.find(':', end);
        if (colon == std::string::npos)
            break;
        m_Ports[name] = u16(std::atoi(line.c_str() + colon + 1));
        at = colon;
    }
}

TestHttpServer::~TestHttpServer() {
    if (m_Stdin >= 0)
        close(m_Stdin);
    if (m_Pid > 0 && !WaitChild(m_Pid, 10000)) {
        kill(m_Pid, SIGKILL);
        WaitChild(m_Pid, 10000);
    }
}

u16 TestHttpServer::Port(const std::string& listener) const {
    const auto it = m_Ports.find(listener);
    return it == m_Ports.end() ? 0 : it->second;
}

std::vector<std::string> TestHttpServer::Log() const {
    return Lines(ReadFile(m_Folder.File("server.log")));
}

// ---------------------------------------------------------------------------------------------
// TestNginx

TestNginx::TestNginx(const std::string& root, const std::string& locations) {
    // A port that was free may be taken before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5 && !Start(root, locations); ++attempt) {
    }
}

TestNginx::~TestNginx() {
    Stop();
}

bool TestNginx::Start(const std::string& root, const std::string& locations) {
    const std::string dir = m_Folder.Path();
    m_Port = TestFreePort();
    std::filesystem::create_directories(dir + "/tmp");
    std::ofstream conf(dir + "/nginx.conf");
    conf << "daemon off;\n"
            "master_process off;\n"
            "worker_processes 1;\n"
            "error_log "
         << dir << "/error.log info;\n"
         << "pid " << dir << "/nginx.pid;\n"
         << "events { worker_connections 64; }\n"
            "http {\n"
            "  log_format conn '$request $status $connection $connection_requests "
            "$body_bytes_sent';\n"
            "  access_log "
         << dir << "/access.log conn;\n"
         << "  client_body_temp_path " << dir << "/tmp/body;\n"
         << "  proxy_temp_path " << dir << "/tmp/proxy;\n"
         << "  fastcgi_temp_path " << dir << "/tmp/fastcgi;\n"
         << "  uwsgi_temp_path " << dir << "/tmp/uwsgi;\n"
         << "  scgi_temp_path " << dir << "/tmp/scgi;\n"
         << "  default_type application/octet-stream;\n"
            "  types { text/plain txt; text/html html; }\n"
            "  sendfile on;\n"
            "  keepalive_timeout 30;\n"
            "  server {\n"
            "    listen 127.0.0.1:"
         << m_Port << ";\n"
         << "    root " << root << ";\n"
         << "    location /chunked/ {\n"
            "      alias "
         << root << "/;\n"
         << "      sub_filter_types *;\n"
            "      sub_filter 'no such text' 'none';\n"
            "    }\n"
         << locations << "  }\n}\n";
    conf.close();
    m_Pid = Spawn({kNginx, "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, nullptr,
                  nullptr);
    if (m_Pid < 0)
        return false;
    for (int waited = 0; waited < 10000; waited += 20) {
        if (CanConnect(m_Port))
            return true;
        if (WaitChild(m_Pid, 0)) { // it ended: the port was taken, or the set-up is wrong
            m_Pid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    Stop();
    return false;
}

void TestNginx::Stop() {
    if (m_Pid <= 0)
        return;
    kill(m_Pid, SIGQUIT);
    if (!WaitChild(m_Pid, 10000)) {
        kill(m_Pid, SIGKILL);
        WaitChild(m_Pid, 10000);
    }
    m_Pid = -1;
}

std::vector<std::string> TestNginx::AccessLog() const {
    return Lines(ReadFile(m_Folder.File("access.log")));
}

std::string TestNginx::ErrorLog() const {
    return ReadFile(m_Folder.File("error.log"));
}
