#pragma once
// The description of the host computer, filled once when the System engine is built: the
// operating-system class and text, the physical memory, the processors, and the processor's
// vendor, name and clock rate. The rules are pure functions over the operating-system version
// record and the platform's host facts, so that each can be given chosen facts.
#include "core/base/ClassicString.h"
#include "platform/HostFacts.h"
#include "platform/Types.h"

// The operating-system version record in its 8-bit form.
struct OsVersionInfo {
    u32 OSVersionInfoSize;
    u32 MajorVersion;
    u32 MinorVersion;
    u32 BuildNumber;
    u32 PlatformId;       // 0 Win32s, 1 Windows, 2 NT
    char CSDVersion[128]; // the service-pack text
};
static_assert(sizeof(OsVersionInfo) == 148);

inline constexpr u32 kOsPlatformWindows = 1;
inline constexpr u32 kOsPlatformNt = 2;

// The version record of the process: the NT family, version 5.1 (class 7), no service pack, so
// that the file layer's NT roads and the launcher's NT key apply. Tests may change it.
extern constinit OsVersionInfo g_OsVersionInfo;

// Operating-system classes, 0 to 8.
inline constexpr u32 kOsClassWin31 = 0;
inline constexpr u32 kOsClassWin95 = 1;
inline constexpr u32 kOsClassWin98 = 2;
inline constexpr u32 kOsClassWinMe = 3;
inline constexpr u32 kOsClassNt351 = 4;
inline constexpr u32 kOsClassNt4 = 5;
inline constexpr u32 kOsClass2000 = 6;
inline constexpr u32 kOsClassXp = 7;
inline constexpr u32 kOsClassServer2003 = 8;

// Processor vendors.
inline constexpr u32 kCpuVendorUnknown = 0; // no processor query made
inline constexpr u32 kCpuVendorOther = 1;   // another x86 vendor, or the query failed
inline constexpr u32 kCpuVendorIntel = 2;
inline constexpr u32 kCpuVendorAmd = 3;

struct HostInfo {
    u32 OsClass = 0;
    CClassicString OsText;
    u32 PhysicalMemoryMb = 0;
    u32 ProcessorCount = 0;
    u32 ActiveProcessorMask = 0;
    u32 CpuVendor = kCpuVendorUnknown;
    CClassicString CpuText;
    u32 CpuMhz = 0;
};

// The process-wide host description.
extern constinit HostInfo g_HostInfo;

// The class of a version record.
u32 ClassifyOsVersion(const OsVersionInfo& info = g_OsVersionInfo);
// The class's name in the OS text ("XP"); "3.1" for a class out of range.
const char* OsClassName(u32 osClass);
// "Microsoft Windows " + the class's name, then "(" + the service-pack text + ")" when there is
// one.
CClassicString WindowsOsText(u32 osClass, const char* servicePack);
// The text of the host's own system: name and release, then the distribution's name in
// parentheses when known ("Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))").
CClassicString HostOsText(const platform::HostFacts& facts);
// Bytes in MB, rounded up to the next multiple of 16 MB.
u32 PhysicalMemoryMb(u64 bytes);
// The Intel processor name of a brand index.
const char* IntelBrandName(u32 brandIndex);
// The clock rate of a sample in MHz, truncated: the time-stamp cycles between the middles of
// the two pairs of readings over the counter's seconds. 0 when the sample cannot give a rate (no
// time-stamp counter, no time passed, a counter that went back, a rate beyond 31 bits).
u32 ClockMhz(const platform::ClockSample& sample);

// Describes the host from the version record and the facts. The clock rate is the kernel's
// figure, else the measured sample's, else the reported rate.
void DescribeHost(const OsVersionInfo& version, const platform::HostFacts& facts, HostInfo& out);
// Fills g_HostInfo from g_OsVersionInfo and the platform's facts (which include the clock
// measurement).
void DetectOsAndCpu();
