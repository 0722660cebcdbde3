#pragma once
// CNetAddress: an IPv4 socket address in the system's 16-byte layout (family 2, then the port and
// the address in network byte order, then 8 zero bytes), with its text form "a.b.c.d:port" and
// its 6-byte archive form. ResolveHostName looks a host name up.
#include "core/base/ClassicArchive.h"
#include "core/base/ClassicString.h"
#include "core/base/FastBuffer.h"

struct CNetAddress {
    static constexpr u16 s_FamilyInet = 2;

    // "%d.%d.%d.%d:%d" as the C library's scan reads it (blanks before a number skipped, a sign
    // accepted, the text after the fourth or fifth number ignored): four numbers up to 255 give
    // a.b.c.d and port 0, five with a port up to 65535 give that port (numbers compared
    // unsigned, so a negative one is out of range). Any other text is looked up as a host name
    // whole, the first address taken with port 0; 0.0.0.0:0 when that fails.
    static CNetAddress FromText(const CClassicString& text);
    // The first step of FromText alone: true, with the address and its port, when the text is
    // one of the dotted forms it reads without a lookup; false, address untouched, otherwise.
    static bool FromDottedText(const CClassicString& text, CNetAddress& address);
    // "a.b.c.d:port", or "a.b.c.d" without withPort or when the port is 0.
    void ToText(CClassicString& out, bool withPort) const;
    // The address's four bytes least significant first (d, c, b, a), then the port as a u16;
    // reading sets the family and keeps the padding.
    void Archive(CClassicArchive& archive);

    // In host order: a.b.c.d is a << 24 | b << 16 | c << 8 | d.
    u32 GetAddress() const;
    u16 GetPort() const;
    void SetAddress(u32 address);
    void SetPort(u16 port);

    u16 m_Family = s_FamilyInet;
    u8 m_Port[2] = {};    // network order
    u8 m_Address[4] = {}; // network order: a, b, c, d
    u8 m_Zero[8] = {};
};
static_assert(sizeof(CNetAddress) == 16);

// The IPv4 addresses of the name, each with port 0, into `out` (emptied first); false, with
// `out` untouched, when the lookup fails.
bool ResolveHostName(const CClassicString& name, CFastBuffer<CNetAddress>& out);
