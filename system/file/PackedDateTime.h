#pragma once
// The engine's date and time value: 8 bytes, two little-endian 32-bit words.
//   word 0: year (bits 0-15), month 1-12 (16-19), day of week 0-6 with 0 = Sunday (20-22),
//           day of month (23-27), four flag bits (28-31);
//   word 1: hour (bits 0-4), minute (5-10), second (11-16), millisecond (17-26), five flag
//           bits (27-31).
// Filling the value from the clock never touches the flag bits. Archives keep it as an 8-byte
// raw block.
#include "core/base/ClassicArchive.h"
#include "platform/Clock.h"
#include "platform/Types.h"

struct PackedDateTime {
    static constexpr u32 kWord0FlagBits = 0xF0000000;
    static constexpr u32 kWord1FlagBits = 0xF8000000;

    // From the wall clock, in UTC.
    void SetFromSystemTime();
    // From the wall clock, in the local time zone.
    void SetFromLocalTime();
    // The fields, each masked to its width; the flag bits stay.
    void SetFromCivilTime(const platform::CivilTime& time);
    // Clears bits 28-31 of word 0 and bits 27-31 of word 1.
    void ClearFlagBits();

    // The 8-byte block, word 0 first, both little-endian.
    void Archive(CClassicArchive& archive);

    u32 m_Word0 = 0;
    u32 m_Word1 = 0;
};
