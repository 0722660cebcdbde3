#pragma once
// A fake of the socket layer's system calls for the net tests. While it lives, every call of
// platform/net goes through it: a call without a script goes to the system, a scripted one
// answers what the script says (setting errno as the system would). Every call is counted.
#include "platform/net/SocketCalls.h"

#include <functional>
#include <vector>

class CFakeSocketCalls {
public:
    // Installs the fake; one at a time.
    CFakeSocketCalls();
    // Puts back the table it replaced.
    ~CFakeSocketCalls();
    CFakeSocketCalls(const CFakeSocketCalls&) = delete;
    CFakeSocketCalls& operator=(const CFakeSocketCalls&) = delete;

    // Sets errno and answers -1: the body of a scripted failure.
    static int Fail(int error);

    // Scripts; null: the system answers.
    std::function<int(int socket, const sockaddr_in& address)> Bind;
    std::function<int(int socket, int level, int name, const void* value, socklen_t length)>
        SetOption;
    std::function<int(int socket, const sockaddr_in& address)> Connect;
    std::function<i64(int socket, const void* data, size_t length, const sockaddr_in& to)> SendTo;

    struct CCounts {
        u32 Socket = 0;
        u32 Bind = 0;
        u32 SetOption = 0;
        u32 GetFlags = 0;
        u32 SetFlags = 0;
        u32 Connect = 0;
        u32 SendTo = 0;
        u32 Shutdown = 0;
        u32 Close = 0;
    };
    CCounts m_Counts;
    // The ports asked of bind, in host order, in call order.
    std::vector<u16> m_BoundPorts;
    // The descriptors given to shutdown and to close, in call order.
    std::vector<int> m_ShutdownSockets;
    std::vector<int> m_ClosedSockets;

private:
    const platform::SocketCalls* m_Replaced;
};
