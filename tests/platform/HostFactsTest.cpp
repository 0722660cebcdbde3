#include "platform/HostFacts.h"

#include "platform/SmallFile.h"

#include <gtest/gtest.h>

namespace {

TEST(HostFacts, PrettyNameOfOsRelease) {
    struct Case {
        const char* Text;
        const char* Expected;
    };
    const Case cases[] = {
        {"NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nID=debian\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Single quoted \\ kept'\n", "Single quoted \\ kept"},
        {"PRETTY_NAME=\"Escaped \\\"quote\\\" and \\\\ \\$x\"", "Escaped \"quote\" and \\ $x"},
        {"PRETTY_NAME=Plain # comment\n", "Plain"},
        {"  PRETTY_NAME=\"Indented\"\r\n", "Indented"},
        {"PRETTY_NAME=\"Unterminated", "Unterminated"},
        {"X_PRETTY_NAME=\"Not this\"\nNAME=Other\n", ""},
        {"PRETTY_NAME=\n", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::OsReleasePrettyName(c.Text), c.Expected) << c.Text;
}

TEST(HostFacts, ReportedRateOfCpuInfo) {
    struct Case {
        const char* Text;
        u32 Expected;
    };
    const Case cases[] = {
        {"processor\t: 0\nmodel name\t: X\ncpu MHz\t\t: 2899.998\ncache size\t: 1 KB\n"
         "processor\t: 1\ncpu MHz\t\t: 1200.000\n",
         2899},
        {"cpu MHz : 800\n", 800},
        {"cpu MHz\t\t: unknown\ncpu MHz\t\t: 1500.5\n", 1500},
        {"cpu MHz\n", 0},
        {"BogoMIPS\t: 48.00\n", 0},
        {"", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::CpuInfoMhz(c.Text), c.Expected) << c.Text;
}

// The kernel's start-up figure is taken only where cpuinfo cannot show a live rate.
TEST(HostFacts, KernelRateOnlyWhereNothingFollowsTheLiveRate) {
    const std::string steady = "processor\t: 0\ncpu MHz\t\t: 2096.041\nflags\t\t: fpu tsc "
                               "constant_tsc nonstop_tsc cpuid\nprocessor\t: 1\ncpu MHz\t\t: "
                               "2096.041\nflags\t\t: fpu tsc constant_tsc aperfmperf\n";
    struct Case {
        std::string Text;
        bool Driver;
        u32 Expected;
    };
    const Case cases[] = {
        {steady, false, 2096},
        {steady, true, 0}, // a frequency driver shows its current rate
        {"cpu MHz : 1400.000\nflags : fpu constant_tsc aperfmperf\n", false, 0},
        {"cpu MHz : 1400.000\nflags : fpu tsc nonstop_tsc\n", false, 0},
        {"cpu MHz : 1400.000\nflags : constant_tsc_like\n", false, 0},
        {"cpu MHz : 1400.000\nflags\t: constant_tsc\n", false, 1400},
        {"flags : constant_tsc\n", false, 0},
        {"cpu MHz : 1400.000\n", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::KernelCalibratedMhz(c.Text, c.Driver), c.Expected) << c.Text;
}

// The rate of leaf 0x15 (crystal times ratio), else the base rate of leaf 0x16 where the crystal
// is not stated; nothing without the ratio or the leaves.
TEST(HostFacts, TimeStampRateTheProcessorStates) {
    struct Case {
        u32 MaxLeaf, Denominator, Numerator, CrystalHz, BaseMhz, Expected;
    };
    const Case cases[] = {
        {0x1B, 2, 188, 38400000, 0x0A8C, 3609},  // crystal stated: 38.4 MHz * 188 / 2
        {0x16, 2, 300, 24000000, 2700, 3600},    // the crystal's figure wins over the base rate
        {0x16, 2, 300, 0, 0x10000 | 2700, 2700}, // the base rate is the low 16 bits
        {0x15, 2, 300, 0, 2700, 0},              // no leaf 0x16 to read it from
        {0x16, 0, 300, 24000000, 2700, 0},       // no ratio
        {0x16, 2, 0, 24000000, 2700, 0},
        {0x14, 2, 300, 24000000, 2700, 0},       // leaves not there
        {0x16, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0, 0}, // past any rate
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::TimeStampMhzFromCpuid(c.MaxLeaf, c.Denominator, c.Numerator,
                                                  c.CrystalHz, c.BaseMhz),
                  c.Expected)
            << c.MaxLeaf << " " << c.Denominator << " " << c.Numerator << " " << c.CrystalHz;
}

// A clock sample without waiting, counting its calls.
u32 s_SamplerCalls = 0;
platform::ClockSample FakeSample() {
    ++s_SamplerCalls;
    platform::ClockSample sample;
    sample.HasTimeStampCounter = true;
    sample.Tsc1 = 7;
    sample.Counter2 = 99;
    return sample;
}

TEST(HostFacts, HostFactsWithAReplacedClock) {
    EXPECT_EQ(platform::SetClockSampler(&FakeSample), nullptr);
    s_SamplerCalls = 0;
    platform::HostFacts facts;
    platform::GetHostFacts(facts);
    EXPECT_EQ(platform::SetClockSampler(nullptr), &FakeSample);

    EXPECT_EQ(s_SamplerCalls, 1u);
    EXPECT_EQ(facts.KnownMhz, 0u) << "the replaced sampler stands for the whole measurement";
    EXPECT_EQ(facts.Clock.Tsc1, 7u);
    EXPECT_EQ(facts.Clock.Counter2, 99);
    EXPECT_EQ(facts.SystemName, "Linux");
    EXPECT_FALSE(facts.SystemRelease.empty());
    std::string osRelease;
    if (platform::ReadSmallFile("/etc/os-release", 65536, osRelease)) {
        EXPECT_EQ(facts.DistributionName, platform::OsReleasePrettyName(osRelease));
        EXPECT_FALSE(facts.DistributionName.empty());
    }
    EXPECT_GT(facts.PhysicalMemory, u64(64) << 20);
    EXPECT_GE(facts.ProcessorCount, 1u);
    EXPECT_NE(facts.ActiveProcessorMask, 0u);
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_EQ(facts.ProcessorArchitecture, platform::kProcessorArchitectureIntel);
    EXPECT_EQ(facts.CpuVendor.size(), 12u);
    EXPECT_GE(facts.CpuMaxExtendedLeaf, 0x80000000u);
    EXPECT_LE(facts.CpuBrand.size(), 48u);
#else
    EXPECT_EQ(facts.ProcessorArchitecture, platform::kProcessorArchitectureUnknown);
#endif
}

void ChosenFacts(platform::HostFacts& facts) {
    facts.SystemName = "Chosen";
    facts.PhysicalMemory = 12345;
}

TEST(HostFacts, ReplacedProvider) {
    EXPECT_EQ(platform::SetHostFactsSource(&ChosenFacts), nullptr);
    platform::HostFacts facts;
    facts.ProcessorCount = 77; // replaced by the source's record
    platform::GetHostFacts(facts);
    EXPECT_EQ(platform::SetHostFactsSource(nullptr), &ChosenFacts);
    EXPECT_EQ(facts.SystemName, "Chosen");
    EXPECT_EQ(facts.PhysicalMemory, 12345u);
    EXPECT_EQ(facts.ProcessorCount, 0u);
}

// The measurement without a wait: the readings come in their order.
TEST(HostFacts, ClockMeasurementReadsInOrder) {
    const platform::ClockSample sample = platform::MeasureClock(0);
    EXPECT_EQ(sample.CounterFrequency, 1000000000);
    EXPECT_GT(sample.Counter1, 0);
    EXPECT_LE(sample.Counter1, sample.Counter2);
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_TRUE(sample.HasTimeStampCounter);
    EXPECT_LE(sample.Tsc1, sample.Tsc2);
    EXPECT_LE(sample.Tsc2, sample.Tsc3);
    EXPECT_LE(sample.Tsc3, sample.Tsc4);
#endif
}

} // namespace
