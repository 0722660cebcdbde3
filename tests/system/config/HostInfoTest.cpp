#include "system/config/HostInfo.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

OsVersionInfo Version(u32 platformId, u32 major, u32 minor, const char* servicePack = "") {
    OsVersionInfo info = {sizeof(OsVersionInfo), major, minor, 0, platformId, {}};
    std::strncpy(info.CSDVersion, servicePack, sizeof info.CSDVersion - 1);
    return info;
}

TEST(HostInfo, OsClassesAndTheirTexts) {
    struct Case {
        u32 PlatformId, Major, Minor;
        u32 Class;
        const char* Text;
    };
    const Case cases[] = {
        {0, 3, 10, 0, "Microsoft Windows 3.1"},
        {3, 5, 1, 0, "Microsoft Windows 3.1"},
        {1, 4, 0, 1, "Microsoft Windows 95"},
        {1, 4, 9, 1, "Microsoft Windows 95"},
        {1, 4, 10, 2, "Microsoft Windows 98"},
        {1, 4, 89, 2, "Microsoft Windows 98"},
        {1, 4, 90, 3, "Microsoft Windows Me"},
        {2, 3, 51, 4, "Microsoft Windows NT 3.51"},
        {2, 4, 0, 5, "Microsoft Windows NT 4"},
        {2, 5, 0, 6, "Microsoft Windows 2000"},
        {2, 5, 1, 7, "Microsoft Windows XP"},
        {2, 5, 2, 8, "Microsoft Windows Server 2003 familly"},
        {2, 6, 0, 6, "Microsoft Windows 2000"},
        {2, 10, 7, 8, "Microsoft Windows Server 2003 familly"},
    };
    for (const Case& c : cases) {
        const OsVersionInfo info = Version(c.PlatformId, c.Major, c.Minor);
        EXPECT_EQ(ClassifyOsVersion(info), c.Class)
            << c.PlatformId << " " << c.Major << "." << c.Minor;
        EXPECT_EQ(Text(WindowsOsText(c.Class, "")), c.Text);
    }
    // The process's own record is the NT family's version 5.1.
    EXPECT_EQ(ClassifyOsVersion(), kOsClassXp);
    EXPECT_EQ(g_OsVersionInfo.OSVersionInfoSize, 148u);
    // The service pack follows the name without a blank.
    EXPECT_EQ(Text(WindowsOsText(kOsClassXp, "Service Pack 2")),
              "Microsoft Windows XP(Service Pack 2)");
    EXPECT_EQ(Text(WindowsOsText(99, nullptr)), "Microsoft Windows 3.1");
}

TEST(HostInfo, MemoryRoundedUpTo16Mb) {
    constexpr u64 kMb = u64(1) << 20;
    struct Case {
        u64 Bytes;
        u32 Mb;
    };
    const Case cases[] = {
        {0, 0},
        {1, 16},
        {1000 * kMb, 1008},
        {1024 * kMb, 1024},
        {1024 * kMb + 1, 1040},
        {16 * kMb - 1, 16},
        {16000000000ull, 15264}, // a 16 GB machine less what the kernel keeps
        {u64(1) << 40, 1048576},
        {~u64(0), 0xFFFFFFF0u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PhysicalMemoryMb(c.Bytes), c.Mb) << c.Bytes;
}

TEST(HostInfo, IntelBrandNames) {
    const char* expected[] = {"Intel ?",
                              "Intel Celeron",
                              "Intel Pentium 3",
                              "Intel Pentium 3 Xeon or Intel Celeron",
                              "Intel Pentium 3",
                              "Intel Future",
                              "Mobile Intel Pentium 3-M",
                              "Mobile Intel Celeron",
                              "Intel Pentium 4",
                              "Intel Pentium 4",
                              "Intel Celeron",
                              "Intel Xeon or Xeon MP",
                              "Intel Xeon MP",
                              "Intel Future",
                              "Mobile Intel Pentium 4 or Intel Xeon",
                              "Mobile Intel Celeron",
                              "Intel Future",
                              "Intel Future",
                              "Intel Future",
                              "Mobile Intel Celeron",
                              "Intel Future",
                              "Intel Future",
                              "Intel Pentium M",
                              "Intel Future",
                              "Intel Future"};
    for (u32 i = 0; i < std::size(expected); ++i)
        EXPECT_STREQ(IntelBrandName(i), expected[i]) << i;
    EXPECT_STREQ(IntelBrandName(255), "Intel Future");
}

platform::ClockSample Sample(u64 t1, u64 t2, u64 t3, u64 t4, i64 q1, i64 q2,
                             i64 frequency = 1000000000) {
    platform::ClockSample sample;
    sample.HasTimeStampCounter = true;
    sample.Tsc1 = t1;
    sample.Tsc2 = t2;
    sample.Tsc3 = t3;
    sample.Tsc4 = t4;
    sample.Counter1 = q1;
    sample.Counter2 = q2;
    sample.CounterFrequency = frequency;
    return sample;
}

TEST(HostInfo, ClockRateOfASample) {
    struct Case {
        const char* Name;
        platform::ClockSample Sample;
        u32 Mhz;
    };
    const u64 base = u64(1) << 50; // an uptime of months: sums of readings still fit
    platform::ClockSample withoutTsc = Sample(0, 10, 145012345, 145012355, 0, 50000000);
    withoutTsc.HasTimeStampCounter = false;
    const Case cases[] = {
        // 145 012 345 cycles between the middles over 50 ms: 2900.2469 MHz.
        {"50 ms", Sample(1000, 1010, 145013345, 145013355, 7, 50000007), 2900},
        {"middles of the pairs", Sample(1000, 3000, 2001500, 2003500, 0, 1000000), 2000},
        {"other frequency",
         Sample(base, base + 2, base + 3000500000, base + 3000500002, 100, 3579645, 3579545), 3000},
        {"no time passed", Sample(1000, 1010, 2000, 2010, 5, 5), 0},
        {"counter went back", Sample(1000, 1010, 2000, 2010, 6, 5), 0},
        {"time-stamp counter went back", Sample(5000, 5010, 1000, 1010, 0, 50000000), 0},
        {"no frequency", Sample(1000, 1010, 2000, 2010, 0, 5, 0), 0},
        {"rate beyond 31 bits", Sample(0, 0, ~u64(0) / 2, ~u64(0) / 2, 0, 1), 0},
        {"no time-stamp counter", withoutTsc, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClockMhz(c.Sample), c.Mhz) << c.Name;
}

platform::HostFacts Facts(u32 architecture, const char* vendor, u32 brandIndex, u32 maxExtended,
                          const char* brand) {
    platform::HostFacts facts;
    facts.PhysicalMemory = u64(1000) << 20;
    facts.ProcessorCount = 4;
    facts.ActiveProcessorMask = 0xF;
    facts.ProcessorArchitecture = architecture;
    facts.CpuVendor = vendor;
    facts.CpuBrandIndex = brandIndex;
    facts.CpuMaxExtendedLeaf = maxExtended;
    facts.CpuBrand = brand;
    facts.Clock = Sample(1000, 1010, 145013345, 145013355, 7, 50000007);
    return facts;
}

TEST(HostInfo, ProcessorVendorAndText) {
    constexpr u32 kIntel = platform::kProcessorArchitectureIntel;
    constexpr u32 kOther = platform::kProcessorArchitectureUnknown;
    struct Case {
        const char* Name;
        OsVersionInfo Version;
        platform::HostFacts Facts;
        u32 Vendor;
        std::string Text;
    };
    const std::string brand48 =
        std::string(" AMD Ryzen 7 5800X 8-Core Processor") + std::string(13, ' ');
    const Case cases[] = {
        {"Intel by brand index", Version(2, 5, 1),
         Facts(kIntel, "GenuineIntel", 9, 0x80000008, "Intel(R) Core"), 2,
         "Intel Pentium 4 at ~ 2 900 MHz"},
        {"current Intel", Version(2, 5, 1),
         Facts(kIntel, "GenuineIntel", 0, 0x80000008, "Intel(R) Core"), 2,
         "Intel ? at ~ 2 900 MHz"},
        {"AMD brand string", Version(2, 5, 1),
         Facts(kIntel, "AuthenticAMD", 0, 0x80000008, "AMD Athlon(tm) 64"), 3,
         "AMD Athlon(tm) 64 at ~ 2 900 MHz"},
        {"AMD brand of 48 characters", Version(2, 5, 1),
         Facts(kIntel, "AuthenticAMD", 0, 0x80000004, brand48.c_str()), 3,
         brand48 + " at ~ 2 900 MHz"},
        {"AMD without brand leaves", Version(2, 5, 1),
         Facts(kIntel, "AuthenticAMD", 0, 0x80000003, "ignored"), 3, "AMD ? at ~ 2 900 MHz"},
        {"other x86 vendor", Version(2, 5, 1), Facts(kIntel, "CentaurHauls", 0, 0x80000004, "VIA"),
         1, "Unknown 80x86 at ~ 2 900 MHz"},
        {"identification refused", Version(2, 5, 1), Facts(kIntel, "", 0, 0, ""), 1,
         "Unknown 80x86 at ~ 2 900 MHz"},
        {"not x86 on NT", Version(2, 5, 1), Facts(kOther, "GenuineIntel", 9, 0, ""), 0,
         "Unknown at ~ 2 900 MHz"},
        {"not x86 on NT 4", Version(2, 4, 0), Facts(kOther, "GenuineIntel", 9, 0, ""), 0,
         "Unknown at ~ 2 900 MHz"},
        // Before NT 4 the processor is always asked.
        {"Windows 98", Version(1, 4, 10), Facts(kOther, "GenuineIntel", 2, 0, ""), 2,
         "Intel Pentium 3 at ~ 2 900 MHz"},
        {"NT 3.51", Version(2, 3, 51), Facts(kOther, "", 0, 0, ""), 1,
         "Unknown 80x86 at ~ 2 900 MHz"},
    };
    for (const Case& c : cases) {
        HostInfo info;
        DescribeHost(c.Version, c.Facts, info);
        EXPECT_EQ(info.CpuVendor, c.Vendor) << c.Name;
        EXPECT_EQ(Text(info.CpuText), c.Text) << c.Name;
        EXPECT_EQ(info.CpuMhz, 2900u) << c.Name;
        EXPECT_EQ(info.PhysicalMemoryMb, 1008u) << c.Name;
        EXPECT_EQ(info.ProcessorCount, 4u) << c.Name;
        EXPECT_EQ(info.ActiveProcessorMask, 0xFu) << c.Name;
    }
}

TEST(HostInfo, ClockRateIsTheKernelsFigureFirst) {
    platform::HostFacts facts =
        Facts(platform::kProcessorArchitectureIntel, "GenuineIntel", 8, 0, "");
    facts.KnownMhz = 2096;
    facts.ReportedMhz = 1234;
    HostInfo info;
    DescribeHost(Version(2, 5, 1), facts, info);
    EXPECT_EQ(info.CpuMhz, 2096u);
    EXPECT_EQ(Text(info.CpuText), "Intel Pentium 4 at ~ 2 096 MHz");
}

TEST(HostInfo, ClockRateFallsBackToTheReportedRate) {
    platform::HostFacts facts =
        Facts(platform::kProcessorArchitectureIntel, "GenuineIntel", 8, 0, "");
    facts.Clock.HasTimeStampCounter = false;
    facts.ReportedMhz = 1234;
    HostInfo info;
    DescribeHost(Version(2, 5, 1), facts, info);
    EXPECT_EQ(info.CpuMhz, 1234u);
    EXPECT_EQ(Text(info.CpuText), "Intel Pentium 4 at ~ 1 234 MHz");

    facts.ReportedMhz = 0;
    DescribeHost(Version(2, 5, 1), facts, info);
    EXPECT_EQ(Text(info.CpuText), "Intel Pentium 4 at ~ 0 MHz");
}

TEST(HostInfo, OsTextOfTheHostOrOfTheVersionRecord) {
    platform::HostFacts facts;
    HostInfo info;
    // Facts without a system name: the version record's text.
    DescribeHost(Version(2, 5, 1, "Service Pack 3"), facts, info);
    EXPECT_EQ(info.OsClass, kOsClassXp);
    EXPECT_EQ(Text(info.OsText), "Microsoft Windows XP(Service Pack 3)");
    // A service-pack text without its NUL is read up to the record's end.
    OsVersionInfo full = Version(1, 4, 90);
    std::memset(full.CSDVersion, 'A', sizeof full.CSDVersion);
    DescribeHost(full, facts, info);
    EXPECT_EQ(Text(info.OsText), "Microsoft Windows Me(" + std::string(128, 'A') + ")");

    facts.SystemName = "Linux";
    facts.SystemRelease = "6.1.0-18-amd64";
    facts.DistributionName = "Debian GNU/Linux 12 (bookworm)";
    DescribeHost(Version(2, 5, 1, "Service Pack 3"), facts, info);
    EXPECT_EQ(info.OsClass, kOsClassXp);
    EXPECT_EQ(Text(info.OsText), "Linux 6.1.0-18-amd64 (Debian GNU/Linux 12 (bookworm))");
    facts.DistributionName.clear();
    DescribeHost(Version(2, 5, 1), facts, info);
    EXPECT_EQ(Text(info.OsText), "Linux 6.1.0-18-amd64");
}

void ChosenFacts(platform::HostFacts& facts) {
    facts = Facts(platform::kProcessorArchitectureIntel, "AuthenticAMD", 0, 0x80000004, "AMD Test");
    facts.SystemName = "Linux";
    facts.SystemRelease = "1.0";
}

platform::ClockSample SampleOf2345Mhz() {
    return Sample(0, 0, 117252500, 117252500, 0, 50000000);
}

TEST(HostInfo, DetectOsAndCpuFillsTheProcessRecord) {
    g_HostInfo = HostInfo();
    platform::SetHostFactsSource(&ChosenFacts);
    DetectOsAndCpu();
    platform::SetHostFactsSource(nullptr);
    EXPECT_EQ(g_HostInfo.OsClass, kOsClassXp);
    EXPECT_EQ(Text(g_HostInfo.OsText), "Linux 1.0");
    EXPECT_EQ(g_HostInfo.PhysicalMemoryMb, 1008u);
    EXPECT_EQ(g_HostInfo.CpuVendor, kCpuVendorAmd);
    EXPECT_EQ(Text(g_HostInfo.CpuText), "AMD Test at ~ 2 900 MHz");

    // The machine's own facts, with the clock measurement replaced so that nothing waits.
    platform::SetClockSampler(&SampleOf2345Mhz);
    DetectOsAndCpu();
    platform::SetClockSampler(nullptr);
    EXPECT_EQ(g_HostInfo.OsClass, kOsClassXp);
    EXPECT_EQ(Text(g_HostInfo.OsText).rfind("Linux ", 0), 0u) << Text(g_HostInfo.OsText);
    EXPECT_GT(g_HostInfo.PhysicalMemoryMb, 0u);
    EXPECT_EQ(g_HostInfo.PhysicalMemoryMb % 16, 0u);
    EXPECT_GE(g_HostInfo.ProcessorCount, 1u);
    EXPECT_EQ(g_HostInfo.CpuMhz, 2345u);
    const std::string cpu = Text(g_HostInfo.CpuText);
    EXPECT_EQ(cpu.substr(cpu.size() - std::strlen(" at ~ 2 345 MHz")), " at ~ 2 345 MHz") << cpu;
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_NE(g_HostInfo.CpuVendor, kCpuVendorUnknown);
#endif
    g_HostInfo = HostInfo();
}

} // namespace
