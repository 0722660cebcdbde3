#include "tests/support/net/TestPythonPeer.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

CTestPythonPeer::CTestPythonPeer(const std::string& script,
                                 const std::vector<std::string>& arguments) {
    int input[2], output[2];
    if (pipe2(input, O_CLOEXEC) != 0)
        return;
    if (pipe2(output, O_CLOEXEC) != 0) {
        close(input[0]);
        close(input[1]);
        return;
    }
    std::vector<std::string> argv = {ENGINE_TEST_PYTHON,
                                     std::string(ENGINE_TEST_SOURCE_DIR) + "/tests/net/" + script};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0)
        m_Pid = pid;
    posix_spawn_file_actions_destroy(&actions);
    close(input[0]);
    close(output[1]);
    m_Input = input[1];
    m_Output = output[0];
}

CTestPythonPeer::~CTestPythonPeer() {
    if (m_Input >= 0)
        close(m_Input);
    if (m_Pid > 0) {
        // The peer ends on the closed input at once; a stuck one is ended after 2 s.
        int status = 0;
        pollfd p{m_Output, POLLIN, 0};
        for (int waited = 0; waited < 2000 && waitpid(m_Pid, &status, WNOHANG) == 0; waited += 20) {
            char drain[4096];
            if (poll(&p, 1, 20) > 0 && read(m_Output, drain, sizeof drain) <= 0)
                p.fd = -1;
        }
        if (waitpid(m_Pid, &status, WNOHANG) == 0) {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, &status, 0);
        }
    }
    if (m_Output >= 0)
        close(m_Output);
}

bool CTestPythonPeer::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(m_Input, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

std::string CTestPythonPeer::ReadLine(int ms) {
    for (;;) {
        const size_t end = m_Pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_Pending.substr(0, end);
            m_Pending.erase(0, end + 1);
            return line;
        }
        pollfd p{m_Output, POLLIN, 0};
        if (m_Output < 0 || poll(&p, 1, ms) <= 0)
            return {};
        char buffer[65536];
        const ssize_t n = read(m_Output, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        m_Pending.append(buffer, size_t(n));
    }
}

std::string TestJsonField(const std::string& line, const std::string& key) {
    const std::string name = "\"" + key + "\":";
    size_t at = line.find(name);
    if (at == std::string::npos)
        return {};
    at += name.size();
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (at < line.size() && line[at] == '"') {
        const size_t end = line.find('"', at + 1);
        return end == std::string::npos ? std::string() : line.substr(at + 1, end - at - 1);
    }
    size_t end = at;
    while (end < line.size() && line[end] != ',' && line[end] != '}')
        ++end;
    return line.substr(at, end - at);
}
