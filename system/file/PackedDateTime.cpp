#include "system/file/PackedDateTime.h"

#include "platform/Endian.h"

namespace {

void SetFromWallClock(PackedDateTime& value, bool local) {
    platform::CivilTime time{};
    if (platform::ToCivilTime(platform::WallClockNow(), local, time))
        value.SetFromCivilTime(time);
}

} // namespace

void PackedDateTime::SetFromSystemTime() {
    SetFromWallClock(*this, false);
}

void PackedDateTime::SetFromLocalTime() {
    SetFromWallClock(*this, true);
}

void PackedDateTime::SetFromCivilTime(const platform::CivilTime& time) {
    m_Word0 = (m_Word0 & kWord0FlagBits) | (u32(time.Year) & 0xFFFF) | ((time.Month & 0xF) << 16) |
              ((time.DayOfWeek & 0x7) << 20) | ((time.Day & 0x1F) << 23);
    m_Word1 = (m_Word1 & kWord1FlagBits) | (time.Hour & 0x1F) | ((time.Minute & 0x3F) << 5) |
              ((time.Second & 0x3F) << 11) | ((time.Millisecond & 0x3FF) << 17);
}

void PackedDateTime::ClearFlagBits() {
    m_Word0 &= ~kWord0FlagBits;
    m_Word1 &= ~kWord1FlagBits;
}

void PackedDateTime::Archive(CClassicArchive& archive) {
    u8 block[8];
    platform::StoreU32Le(block, m_Word0);
    platform::StoreU32Le(block + 4, m_Word1);
    archive.SerializeRaw(block, sizeof block);
    if (!archive.m_Writing) {
        m_Word0 = platform::LoadU32Le(block);
        m_Word1 = platform::LoadU32Le(block + 4);
    }
}
