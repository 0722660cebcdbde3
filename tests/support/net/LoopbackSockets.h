#pragma once
// Plain sockets on 127.0.0.1 for the net tests and benchmarks: descriptors of the test's own,
// bound (and listening) with the system's calls, their ports, bounded waits, and the text of a
// CNetSystemError a call threw.
#include "net/socket/NetSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

inline constexpr u32 kTestLoopback = 0x7F000001;
// The longest any test waits for the network.
inline constexpr int kTestCeilingMs = 2000;

// A descriptor of the test's own, closed with the object.
class CHeld {
public:
    explicit CHeld(int fd = -1) : m_Fd(fd) {}
    ~CHeld() { Reset(); }
    CHeld(const CHeld&) = delete;
    CHeld& operator=(const CHeld&) = delete;

    int Get() const { return m_Fd; }
    void Reset(int fd = -1) {
        if (m_Fd >= 0)
            close(m_Fd);
        m_Fd = fd;
    }

private:
    int m_Fd;
};

// A socket of the kind bound to 127.0.0.1:port (0: the system chooses), listening when asked;
// -1 when the system refuses.
inline int BoundLoopback(int type, u16 port, bool listening = false) {
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(kTestLoopback);
    if (fd >= 0 && (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                    (listening && listen(fd, 8) != 0))) {
        close(fd);
        return -1;
    }
    return fd;
}

inline u16 LocalPort(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// Whether the events came within the ceiling.
inline bool WaitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, kTestCeilingMs) == 1;
}

// The error's two fields, or "none" when the call did not throw.
template <class Call>
std::string Thrown(Call call) {
    try {
        call();
    } catch (const CNetSystem::CNetSystemError& error) {
        return std::to_string(error.Code) + " " + error.CallName.GetText();
    }
    return "none";
}
