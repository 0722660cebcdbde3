#pragma once
// Facts about the host computer: the operating system's name, the physical memory, the
// processors, what the processor's identification instruction answers, and a measurement of the
// time-stamp counter against the monotonic clock. The engine turns them into its host
// description; here they are only gathered. The whole provider, and the clock measurement alone,
// can be replaced, so that tests get chosen facts and never wait for the measurement.
#include "platform/Types.h"

#include <string>
#include <string_view>

namespace platform {

// Processor architectures as the engine's 32-bit program sees them: x86 and x86-64 processes
// both run Intel x86 code.
inline constexpr u32 kProcessorArchitectureIntel = 0;
inline constexpr u32 kProcessorArchitectureUnknown = 0xFFFF;

// Two readings of the time-stamp counter on each side of a wait, and the monotonic counter
// between each pair: t1, q1, t2, wait, t3, q2, t4.
struct ClockSample {
    bool HasTimeStampCounter = false;
    u64 Tsc1 = 0;
    u64 Tsc2 = 0;
    u64 Tsc3 = 0;
    u64 Tsc4 = 0;
    i64 Counter1 = 0;
    i64 Counter2 = 0;
    i64 CounterFrequency = 0; // counter ticks per second
};

struct HostFacts {
    std::string SystemName;       // the kernel's name ("Linux")
    std::string SystemRelease;    // the kernel's release
    std::string DistributionName; // PRETTY_NAME of os-release, empty when unknown
    u64 PhysicalMemory = 0;       // bytes
    u32 ProcessorCount = 0;       // processors online
    u32 ActiveProcessorMask = 0;  // the processors this process may run on, the first 32 only
    u32 ProcessorArchitecture = kProcessorArchitectureUnknown;
    // The identification instruction: the 12 vendor characters of leaf 0 (empty when the
    // instruction gave no answer), the brand index of leaf 1 (low byte of EBX), the highest
    // extended leaf and the brand string of leaves 0x80000002 to 0x80000004 up to its NUL.
    std::string CpuVendor;
    u32 CpuBrandIndex = 0;
    u32 CpuMaxExtendedLeaf = 0;
    std::string CpuBrand;
    ClockSample Clock;
    // The time-stamp rate known without measuring (MHz, truncated): the rate the kernel measured
    // when it started (KernelCalibratedMhz), else the one the processor states
    // (TimeStampMhzFromCpuid); 0 when neither is known. Where it is known, the clock is not
    // measured.
    u32 KnownMhz = 0;
    // The clock rate the system reports (MHz), for processors without a time-stamp counter;
    // 0 when unknown.
    u32 ReportedMhz = 0;
};

// Fills the facts from the current source: the host itself unless replaced.
void GetHostFacts(HostFacts& facts);

// Replaces the whole provider; null puts the host's back. Returns the provider replaced (null
// for the host's).
using HostFactsSource = void (*)(HostFacts& facts);
HostFactsSource SetHostFactsSource(HostFactsSource source);

// The host's facts, read from the system whatever source is set; the clock comes from the
// current clock sampler.
void ReadHostFacts(HostFacts& facts);

// The clock measurement of the host's provider: by default the rate known without measuring
// (KnownMhz), or without one a sample around a 50 ms wait. Replacing it keeps every other fact
// real, and the replacement's sample is taken instead of the kernel's figure. Null puts the default
// back; returns the sampler replaced (null for the default).
using ClockSampler = ClockSample (*)();
ClockSampler SetClockSampler(ClockSampler sampler);

// A sample around a wait of the given length, without raising any priority. Without a
// time-stamp counter only the counter readings are taken.
ClockSample MeasureClock(u32 waitMicroseconds);

// PRETTY_NAME of an os-release text (shell-style quoting and escapes), empty when absent.
std::string OsReleasePrettyName(std::string_view text);
// The first "cpu MHz" value of a /proc/cpuinfo text, truncated; 0 when absent.
u32 CpuInfoMhz(std::string_view text);
// The rate the kernel measured at its start, which its "cpu MHz" shows when nothing follows the
// processor's live rate: the processors keep a constant time-stamp rate ("constant_tsc" among
// the first flags), have no APERF/MPERF counters ("aperfmperf") and no frequency driver
// (hasFrequencyDriver: /sys/devices/system/cpu/cpu0/cpufreq). 0 otherwise, and when the text
// has no rate.
u32 KernelCalibratedMhz(std::string_view cpuInfo, bool hasFrequencyDriver);
// The time-stamp rate the processor states, as the kernel reads it where the processor has it:
// leaf 0x15 of the identification instruction gives the ratio of the time-stamp rate to the
// crystal's (denominator EAX, numerator EBX) and the crystal's rate in Hz (ECX, 0 when not
// stated); without the crystal's rate, the time-stamp counter runs at the base rate of leaf 0x16
// (EAX, MHz). 0 when the highest leaf is below 0x15 or the leaves state no rate.
u32 TimeStampMhzFromCpuid(u32 maxLeaf, u32 denominator, u32 numerator, u32 crystalHz, u32 baseMhz);

} // namespace platform
