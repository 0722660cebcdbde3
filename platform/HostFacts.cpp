#include "platform/HostFacts.h"

#include "platform/SmallFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <sched.h>
#include <sys/stat.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#define PLATFORM_X86 1
#else
#define PLATFORM_X86 0
#endif

namespace platform {

namespace {

constinit HostFactsSource s_HostFactsSource = nullptr;
constinit ClockSampler s_ClockSampler = nullptr;

// The measurement's wait: long enough for a rate within a fraction of a percent.
constexpr u32 kClockWaitMicroseconds = 50000;

ClockSample DefaultClockSample() {
    return MeasureClock(kClockWaitMicroseconds);
}

i64 RawCounterNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return i64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void Wait(u32 microseconds) {
    timespec left{};
    left.tv_sec = time_t(microseconds / 1000000);
    left.tv_nsec = decltype(left.tv_nsec)(microseconds % 1000000) * 1000;
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// Fills the processor's facts; answers the time-stamp rate the processor states (0 when none).
u32 ReadProcessorFacts(HostFacts& facts) {
#if PLATFORM_X86
    facts.ProcessorArchitecture = kProcessorArchitectureIntel;
    u32 a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(0, &a, &b, &c, &d))
        return 0;
    const u32 maxLeaf = a;
    char vendor[12];
    __builtin_memcpy(vendor, &b, 4);
    __builtin_memcpy(vendor + 4, &d, 4);
    __builtin_memcpy(vendor + 8, &c, 4);
    facts.CpuVendor.assign(vendor, sizeof vendor);
    if (maxLeaf >= 1 && __get_cpuid(1, &a, &b, &c, &d))
        facts.CpuBrandIndex = b & 0xFF;
    facts.CpuMaxExtendedLeaf = __get_cpuid_max(0x80000000, nullptr);
    if (facts.CpuMaxExtendedLeaf >= 0x80000004) {
        char brand[49] = {};
        for (u32 i = 0; i < 3; ++i) {
            __get_cpuid(0x80000002 + i, &a, &b, &c, &d);
            const u32 words[4] = {a, b, c, d};
            __builtin_memcpy(brand + 16 * i, words, 16);
        }
        facts.CpuBrand = brand;
    }
    if (maxLeaf < 0x15)
        return 0;
    u32 denominator = 0, numerator = 0, crystalHz = 0, base = 0;
    __cpuid_count(0x15, 0, denominator, numerator, crystalHz, d);
    if (maxLeaf >= 0x16)
        __cpuid_count(0x16, 0, base, b, c, d);
    return TimeStampMhzFromCpuid(maxLeaf, denominator, numerator, crystalHz, base);
#else
    facts.ProcessorArchitecture = kProcessorArchitectureUnknown;
    return 0;
#endif
}

u32 ReadReportedMhz(std::string_view cpuInfo) {
    if (const u32 mhz = CpuInfoMhz(cpuInfo))
        return mhz;
    // Processors whose cpuinfo has no rate: the frequency driver's highest rate, in kHz.
    const std::string khz = ReadFirstLine("/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq");
    u32 value = 0;
    std::from_chars(khz.data(), khz.data() + khz.size(), value);
    return value / 1000;
}

} // namespace

void GetHostFacts(HostFacts& facts) {
    facts = HostFacts();
    if (s_HostFactsSource)
        s_HostFactsSource(facts);
    else
        ReadHostFacts(facts);
}

HostFactsSource SetHostFactsSource(HostFactsSource source) {
    const HostFactsSource old = s_HostFactsSource;
    s_HostFactsSource = source;
    return old;
}

ClockSampler SetClockSampler(ClockSampler sampler) {
    const ClockSampler old = s_ClockSampler;
    s_ClockSampler = sampler;
    return old;
}

void ReadHostFacts(HostFacts& facts) {
    facts = HostFacts();
    utsname names{};
    if (uname(&names) == 0) {
        facts.SystemName = names.sysname;
        facts.SystemRelease = names.release;
    }
    std::string osRelease;
    if (ReadSmallFile("/etc/os-release", 65536, osRelease) ||
        ReadSmallFile("/usr/lib/os-release", 65536, osRelease))
        facts.DistributionName = OsReleasePrettyName(osRelease);

    struct sysinfo info {};
    if (sysinfo(&info) == 0)
        facts.PhysicalMemory = u64(info.totalram) * u64(info.mem_unit ? info.mem_unit : 1);

    const auto online = sysconf(_SC_NPROCESSORS_ONLN);
    facts.ProcessorCount = online > 0 ? u32(online) : 1;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        for (u32 i = 0; i < 32; ++i) {
            if (CPU_ISSET(i, &set))
                facts.ActiveProcessorMask |= 1u << i;
        }
    }

    const u32 statedMhz = ReadProcessorFacts(facts);
    std::string cpuInfo;
    ReadSmallFile("/proc/cpuinfo", 1 << 20, cpuInfo);
    if (s_ClockSampler) {
        facts.Clock = s_ClockSampler();
    } else {
        struct stat driver {};
        facts.KnownMhz = KernelCalibratedMhz(
            cpuInfo, stat("/sys/devices/system/cpu/cpu0/cpufreq", &driver) == 0);
        if (facts.KnownMhz == 0)
            facts.KnownMhz = statedMhz;
        if (facts.KnownMhz == 0)
            facts.Clock = DefaultClockSample();
    }
    facts.ReportedMhz = ReadReportedMhz(cpuInfo);
}

ClockSample MeasureClock(u32 waitMicroseconds) {
    ClockSample sample;
    sample.CounterFrequency = 1000000000;
#if PLATFORM_X86
    sample.HasTimeStampCounter = true;
    sample.Tsc1 = __rdtsc();
    sample.Counter1 = RawCounterNow();
    sample.Tsc2 = __rdtsc();
    Wait(waitMicroseconds);
    sample.Tsc3 = __rdtsc();
    sample.Counter2 = RawCounterNow();
    sample.Tsc4 = __rdtsc();
#else
    sample.Counter1 = RawCounterNow();
    Wait(waitMicroseconds);
    sample.Counter2 = RawCounterNow();
#endif
    return sample;
}

std::string OsReleasePrettyName(std::string_view text) {
    constexpr std::string_view key = "PRETTY_NAME=";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        if (line.substr(0, key.size()) != key)
            continue;
        line.remove_prefix(key.size());
        // Shell-style words: double quotes with backslash escapes, single quotes taken as
        // they stand, unquoted text up to a blank or a comment.
        std::string value;
        char quote = 0;
        for (size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (quote == '\'') {
                if (c == '\'')
                    quote = 0;
                else
                    value += c;
            } else if (c == '\\' && i + 1 < line.size()) {
                value += line[++i];
            } else if (quote == '"') {
                if (c == '"')
                    quote = 0;
                else
                    value += c;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '#') {
                break;
            } else {
                value += c;
            }
        }
        return value;
    }
    return {};
}

u32 CpuInfoMhz(std::string_view text) {
    constexpr std::string_view key = "cpu MHz";
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (line.substr(0, key.size()) != key)
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        line.remove_prefix(colon + 1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        u32 value = 0;
        const auto result = std::from_chars(line.data(), line.data() + line.size(), value);
        if (result.ec == std::errc())
            return value;
    }
    return 0;
}

u32 KernelCalibratedMhz(std::string_view cpuInfo, bool hasFrequencyDriver) {
    if (hasFrequencyDriver)
        return 0;
    // The flags of the first processor, as whole words.
    constexpr std::string_view key = "flags";
    for (size_t pos = 0; pos < cpuInfo.size();) {
        size_t end = cpuInfo.find('\n', pos);
        if (end == std::string_view::npos)
            end = cpuInfo.size();
        std::string_view line = cpuInfo.substr(pos, end - pos);
        pos = end + 1;
        const size_t colon = line.find(':');
        if (line.substr(0, key.size()) != key || colon == std::string_view::npos)
            continue;
        bool constantRate = false;
        for (size_t at = colon + 1; at < line.size();) {
            while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
                ++at;
            const size_t wordEnd = std::min(line.find_first_of(" \t", at), line.size());
            const std::string_view word = line.substr(at, wordEnd - at);
            if (word == "aperfmperf")
                return 0;
            constantRate = constantRate || word == "constant_tsc";
            at = wordEnd;
        }
        return constantRate ? CpuInfoMhz(cpuInfo) : 0;
    }
    return 0;
}

u32 TimeStampMhzFromCpuid(u32 maxLeaf, u32 denominator, u32 numerator, u32 crystalHz, u32 baseMhz) {
    if (maxLeaf < 0x15 || denominator == 0 || numerator == 0)
        return 0;
    if (crystalHz != 0) {
        const u64 mhz = u64(crystalHz) * numerator / denominator / 1000000;
        return mhz <= 0xFFFFFFFF ? u32(mhz) : 0;
    }
    return maxLeaf >= 0x16 ? baseMhz & 0xFFFF : 0;
}

} // namespace platform
