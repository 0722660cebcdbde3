#include "platform/HostResolve.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace platform {

namespace {

constinit HostResolver s_Resolver = nullptr;

bool SystemResolve(const char* name, std::vector<u32>& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &answer) != 0 || !answer)
        return false;
    std::vector<u32> found;
    for (const addrinfo* a = answer; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || !a->ai_addr)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        const u32 address = ntohl(in->sin_addr.s_addr);
        if (std::find(found.begin(), found.end(), address) == found.end())
            found.push_back(address);
    }
    freeaddrinfo(answer);
    if (found.empty())
        return false;
    out = std::move(found);
    return true;
}

} // namespace

bool ResolveHostIpv4(const char* name, std::vector<u32>& out) {
    return s_Resolver ? s_Resolver(name, out) : SystemResolve(name, out);
}

HostResolver SetHostResolver(HostResolver resolver) {
    const HostResolver old = s_Resolver;
    s_Resolver = resolver;
    return old;
}

} // namespace platform
