#pragma once
// The settings of a client's links to its peers: how connections share the client's datagram
// socket and set up their stream sockets, and how forms are framed on the wire (the framing mode
// and, for the compact framing, the table of the message classes both peers agreed on).
#include "platform/Types.h"

// One message class of the peers' table.
struct CNetClassLink {
    // Ends the table where it stands before the count does.
    static constexpr u32 s_EndOfTable = 0xFFFFFFFF;

    u32 m_ClassId = s_EndOfTable;
    // The class's one-byte name in compact frames.
    u8 m_ClassIndex = 0;
    // Non-zero: frames of the class carry a checksum / a sequence number / are ordered (which
    // also makes them carry a sequence number).
    u32 m_Checksum = 0;
    u32 m_Sequence = 0;
    // Kept with the peers' table; the framing does not read it.
    u32 m_Reserved = 0;
    u32 m_Ordered = 0;
};

struct CNetLinkSettings {
    static constexpr i32 s_FramingFull = 1;
    static constexpr i32 s_FramingCompact = 2;

    // The record of the class in the table: the first of the m_ClassCount records with that id,
    // before any record whose id is CNetClassLink::s_EndOfTable; null when there is none.
    const CNetClassLink* FindClass(u32 classId) const {
        for (u32 i = 0; i < m_ClassCount && m_Classes[i].m_ClassId != CNetClassLink::s_EndOfTable;
             ++i)
            if (m_Classes[i].m_ClassId == classId)
                return &m_Classes[i];
        return nullptr;
    }

    // Non-zero: a connection sends its datagrams on the client's datagram socket.
    u32 m_ShareDatagramSocket = 0;
    // Non-zero: a connection makes no spare stream buffer.
    u32 m_NoSpareBuffer = 0;
    // SO_DEBUG of the stream sockets.
    i32 m_SoDebug = 0;
    // s_FramingFull or s_FramingCompact; any other value frames nothing.
    i32 m_FramingMode = s_FramingFull;
    // The peers' class table (not owned) and its record count.
    const CNetClassLink* m_Classes = nullptr;
    u32 m_ClassCount = 0;
};
