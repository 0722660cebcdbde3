#pragma once
// Host-name lookup: the IPv4 addresses of a name. Tests replace the resolver, so that no test
// sends a query.
#include "platform/Types.h"

#include <vector>

namespace platform {

// The addresses of the name (getaddrinfo, IPv4 only) in the order the system gives them,
// duplicates dropped, each in host order (a.b.c.d is a << 24 | b << 16 | c << 8 | d). False, with
// `out` untouched, when the lookup fails or finds nothing.
bool ResolveHostIpv4(const char* name, std::vector<u32>& out);

// Replaces the resolver; null puts the system's back. Returns the resolver replaced (null for
// the system's).
using HostResolver = bool (*)(const char* name, std::vector<u32>& out);
HostResolver SetHostResolver(HostResolver resolver);

} // namespace platform
