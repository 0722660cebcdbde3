#pragma once
// The reading side of CNetNod::Write, for tests and fuzzing (the system itself receives
// nothing): one frame back into a form of its class, created through the class registry.
#include "net/message/NetNod.h"

// The largest body a frame may carry unless the caller gives another limit.
inline constexpr u32 kNetFrameReadLimit = 1u << 20;

// One frame read back: its form and its header.
struct CNetFrame {
    CNetFrame() = default;
    // Gives back the form's reference.
    ~CNetFrame();
    CNetFrame(const CNetFrame&) = delete;
    CNetFrame& operator=(const CNetFrame&) = delete;

    // The form with one reference held by the frame.
    CNetNod* m_Form = nullptr;
    u32 m_ClassId = 0;
    bool m_Compressed = false;
    // Compact framing only.
    u8 m_Flags = 0;
    u8 m_ClassIndex = 0;
    u16 m_Sequence = 0;
    u32 m_Checksum = 0;
};

// Reads the frame that fills `data` in the settings' framing into `frame` (which must be empty).
// Refused, with a log line and `frame` left empty: a frame shorter than its header; in compact
// framing a flags byte without 0x80, with unknown bits or with checksum, sequence or ordered bits
// that differ from the class record, an index no record has, a checksum that does not verify; in
// full framing an unknown tag; an LZO body whose size is above `limit` or that does not
// decompress to exactly its size, using every byte; a class that is not a registered form with a
// factory; a body its form cannot read, or that its form does not read to its end.
bool NetReadFrame(const u8* data, u32 size, const CNetLinkSettings& settings, CNetFrame& frame,
                  u32 limit = kNetFrameReadLimit);
