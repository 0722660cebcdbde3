#include "system/config/HostInfo.h"

#include <iterator>

constinit OsVersionInfo g_OsVersionInfo = {sizeof(OsVersionInfo), 5, 1, 2600, kOsPlatformNt, {}};
constinit HostInfo g_HostInfo;

namespace {

constexpr const char* kOsClassNames[] = {
    "3.1", "95", "98", "Me", "NT 3.51", "NT 4", "2000", "XP", "Server 2003 familly"};

struct IntelBrand {
    u32 Index;
    const char* Name;
};

constexpr IntelBrand kIntelBrands[] = {
    {0, "Intel ?"},
    {1, "Intel Celeron"},
    {2, "Intel Pentium 3"},
    {3, "Intel Pentium 3 Xeon or Intel Celeron"},
    {4, "Intel Pentium 3"},
    {6, "Mobile Intel Pentium 3-M"},
    {7, "Mobile Intel Celeron"},
    {8, "Intel Pentium 4"},
    {9, "Intel Pentium 4"},
    {10, "Intel Celeron"},
    {11, "Intel Xeon or Xeon MP"},
    {12, "Intel Xeon MP"},
    {14, "Mobile Intel Pentium 4 or Intel Xeon"},
    {15, "Mobile Intel Celeron"},
    {19, "Mobile Intel Celeron"},
    {22, "Intel Pentium M"},
};

// The processor's text before the clock rate.
CClassicString CpuName(u32 vendor, const platform::HostFacts& facts) {
    switch (vendor) {
        case kCpuVendorOther:
            return CClassicString("Unknown 80x86");
        case kCpuVendorIntel:
            return CClassicString(IntelBrandName(facts.CpuBrandIndex));
        case kCpuVendorAmd:
            if (facts.CpuMaxExtendedLeaf < 0x80000004)
                return CClassicString("AMD ?");
            // The brand string is at most 48 characters, up to its NUL.
            return CClassicString(CClassicStringRef(facts.CpuBrand.c_str(),
                                                    ClassicTextLength(facts.CpuBrand.c_str(), 48)));
        default:
            return CClassicString("Unknown");
    }
}

} // namespace

u32 ClassifyOsVersion(const OsVersionInfo& info) {
    if (info.PlatformId == kOsPlatformWindows) {
        if (info.MinorVersion < 10)
            return kOsClassWin95;
        return info.MinorVersion < 90 ? kOsClassWin98 : kOsClassWinMe;
    }
    if (info.PlatformId == kOsPlatformNt) {
        if (info.MajorVersion <= 3)
            return kOsClassNt351;
        if (info.MajorVersion == 4)
            return kOsClassNt4;
        if (info.MinorVersion == 0)
            return kOsClass2000;
        return info.MinorVersion == 1 ? kOsClassXp : kOsClassServer2003;
    }
    return kOsClassWin31;
}

const char* OsClassName(u32 osClass) {
    return osClass < std::size(kOsClassNames) ? kOsClassNames[osClass] : kOsClassNames[0];
}

CClassicString WindowsOsText(u32 osClass, const char* servicePack) {
    CClassicString text("Microsoft Windows ");
    text.Append(OsClassName(osClass));
    if (servicePack && *servicePack)
        text.Append("(").Append(servicePack).Append(")");
    return text;
}

CClassicString HostOsText(const platform::HostFacts& facts) {
    CClassicString text(facts.SystemName.c_str());
    if (!facts.SystemRelease.empty())
        text.Append(" ").Append(facts.SystemRelease.c_str());
    if (!facts.DistributionName.empty())
        text.Append(" (").Append(facts.DistributionName.c_str()).Append(")");
    return text;
}

u32 PhysicalMemoryMb(u64 bytes) {
    constexpr u64 kStep = u64(16) << 20;
    const u64 mb = (bytes / kStep + (bytes % kStep != 0)) * 16;
    return mb > 0xFFFFFFF0u ? 0xFFFFFFF0u : u32(mb);
}

const char* IntelBrandName(u32 brandIndex) {
    for (const IntelBrand& brand : kIntelBrands) {
        if (brand.Index == brandIndex)
            return brand.Name;
    }
    return "Intel Future";
}

u32 ClockMhz(const platform::ClockSample& sample) {
    if (!sample.HasTimeStampCounter || sample.CounterFrequency <= 0 ||
        sample.Counter2 <= sample.Counter1)
        return 0;
    const u64 before = (sample.Tsc1 + sample.Tsc2) / 2;
    const u64 after = (sample.Tsc3 + sample.Tsc4) / 2;
    if (after < before)
        return 0;
    const f64 seconds = f64(sample.Counter2 - sample.Counter1) / f64(sample.CounterFrequency);
    const f64 mhz = f64(after - before) / seconds * 0.000001;
    return mhz < 2147483648.0 ? u32(mhz) : 0;
}

void DescribeHost(const OsVersionInfo& version, const platform::HostFacts& facts, HostInfo& out) {
    out.OsClass = ClassifyOsVersion(version);
    // On a host that names its own system the text says what it runs; the class stays the
    // one the engine's rules are written for.
    if (facts.SystemName.empty()) {
        const u32 length = ClassicTextLength(version.CSDVersion, sizeof version.CSDVersion);
        const CClassicString servicePack(CClassicStringRef(version.CSDVersion, length));
        out.OsText = WindowsOsText(out.OsClass, servicePack.GetText());
    } else {
        out.OsText = HostOsText(facts);
    }
    out.PhysicalMemoryMb = PhysicalMemoryMb(facts.PhysicalMemory);
    out.ProcessorCount = facts.ProcessorCount;
    out.ActiveProcessorMask = facts.ActiveProcessorMask;

    out.CpuVendor = kCpuVendorUnknown;
    if (out.OsClass < kOsClassNt4 ||
        facts.ProcessorArchitecture == platform::kProcessorArchitectureIntel) {
        out.CpuVendor = kCpuVendorOther;
        if (facts.CpuVendor == "GenuineIntel")
            out.CpuVendor = kCpuVendorIntel;
        else if (facts.CpuVendor == "AuthenticAMD")
            out.CpuVendor = kCpuVendorAmd;
    }

    // The rate known without measuring (the kernel's or the processor's own); else the clock
    // measured here; else the rate the system reports.
    out.CpuMhz = facts.KnownMhz ? facts.KnownMhz : ClockMhz(facts.Clock);
    if (out.CpuMhz == 0)
        out.CpuMhz = facts.ReportedMhz;
    out.CpuText = CpuName(out.CpuVendor, facts);
    out.CpuText.Append(" at ~ ").AppendInt(i32(out.CpuMhz)).Append(" MHz");
}

void DetectOsAndCpu() {
    platform::HostFacts facts;
    platform::GetHostFacts(facts);
    DescribeHost(g_OsVersionInfo, facts, g_HostInfo);
}
