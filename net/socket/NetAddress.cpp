#include "net/socket/NetAddress.h"

#include "platform/HostResolve.h"

#include <climits>
#include <cstdio>
#include <vector>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One "%d" of a scan: blanks, an optional sign, at least one digit; values past the int range
// stay at its limits. False when no number stands there.
bool ScanInt(const char*& p, const char* end, i32& value) {
    while (p < end && IsSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || *p < '0' || *p > '9')
        return false;
    i64 magnitude = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        magnitude = std::min<i64>(magnitude * 10 + (*p - '0'), i64(INT_MAX) + 1);
    const i64 signedValue = negative ? -magnitude : magnitude;
    value = i32(std::clamp<i64>(signedValue, INT_MIN, INT_MAX));
    return true;
}

// How many of "%d.%d.%d.%d:%d" the text gives.
u32 ScanAddress(const CClassicString& text, i32 (&numbers)[5]) {
    const char* p = text.GetText();
    // The scan stops at the first NUL, as a C text would.
    const char* const end = p + ClassicTextLength(p, text.GetLength());
    constexpr char kSeparators[] = {0, '.', '.', '.', ':'};
    u32 fields = 0;
    for (; fields < 5; ++fields) {
        if (fields > 0) {
            if (p == end || *p != kSeparators[fields])
                break;
            ++p;
        }
        if (!ScanInt(p, end, numbers[fields]))
            break;
    }
    return fields;
}

} // namespace

bool CNetAddress::FromDottedText(const CClassicString& text, CNetAddress& address) {
    i32 n[5] = {};
    const u32 fields = ScanAddress(text, n);
    if ((fields != 4 && fields != 5) || u32(n[0]) > 255 || u32(n[1]) > 255 || u32(n[2]) > 255 ||
        u32(n[3]) > 255 || (fields == 5 && u32(n[4]) > 65535))
        return false;
    address.m_Family = s_FamilyInet;
    address.SetAddress(u32(n[0]) << 24 | u32(n[1]) << 16 | u32(n[2]) << 8 | u32(n[3]));
    address.SetPort(fields == 5 ? u16(n[4]) : 0);
    return true;
}

CNetAddress CNetAddress::FromText(const CClassicString& text) {
    CNetAddress address;
    if (FromDottedText(text, address))
        return address;
    CFastBuffer<CNetAddress> found;
    if (ResolveHostName(text, found) && found.m_Count != 0)
        address = found.m_Items[0];
    found.FreeItems();
    return address;
}

void CNetAddress::ToText(CClassicString& out, bool withPort) const {
    const u32 a = GetAddress();
    if (withPort && GetPort() != 0)
        out.Format("%u.%u.%u.%u:%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF,
                   u32(GetPort()));
    else
        out.Format("%u.%u.%u.%u", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
}

void CNetAddress::Archive(CClassicArchive& archive) {
    u8 bytes[4] = {m_Address[3], m_Address[2], m_Address[1], m_Address[0]};
    u16 port = GetPort();
    archive.SerializeBytes(bytes, 4);
    archive.SerializeShorts(&port, 1);
    if (!archive.m_Writing) {
        m_Family = s_FamilyInet;
        SetAddress(u32(bytes[3]) << 24 | u32(bytes[2]) << 16 | u32(bytes[1]) << 8 | bytes[0]);
        SetPort(port);
    }
}

u32 CNetAddress::GetAddress() const {
    return u32(m_Address[0]) << 24 | u32(m_Address[1]) << 16 | u32(m_Address[2]) << 8 |
           m_Address[3];
}

u16 CNetAddress::GetPort() const {
    return u16(m_Port[0] << 8 | m_Port[1]);
}

void CNetAddress::SetAddress(u32 address) {
    m_Address[0] = u8(address >> 24);
    m_Address[1] = u8(address >> 16);
    m_Address[2] = u8(address >> 8);
    m_Address[3] = u8(address);
}

void CNetAddress::SetPort(u16 port) {
    m_Port[0] = u8(port >> 8);
    m_Port[1] = u8(port);
}

bool ResolveHostName(const CClassicString& name, CFastBuffer<CNetAddress>& out) {
    std::vector<u32> addresses;
    if (!platform::ResolveHostIpv4(name.GetText(), addresses) || addresses.empty())
        return false;
    out.m_Count = 0;
    for (u32 a : addresses) {
        CNetAddress address;
        address.SetAddress(a);
        out.Add(address);
    }
    return true;
}
