#pragma once
// CNetNod: the base of every network message ("form"). A form archives its own body and answers
// how it travels (queued or at once, compressed or not, its queue priority); CNetNod::Write turns
// it into one frame, in the framing the link chose:
//
//   compact: u8 flags (0x80 | 0x01 compressed | 0x02 checksum | 0x04 sequence | 0x08 ordered),
//            u8 class index, [u16 sequence], [u32 checksum], then the body, or u32 n and the
//            LZO1X-1 compression of the n body bytes;
//   full:    u32 0x00010000, u32 class id, the body; compressed: u32 0x00010001, then one LZO
//            block (u32 size, u32 compressed size, LZO1X-1 data) of the class id and the body.
//
// All numbers little-endian. The checksum is the HMAC-MD5 (key: NetGetFrameKey) of the frame
// from its flags byte to its end with the checksum still 0, folded to 32 bits by
// NetFrameChecksum.
//
// Writing is single-threaded and not reentrant: compressed bodies go through one process-wide
// scratch stream.
#include "core/base/ClassicBuffer.h"
#include "core/nod/MwNod.h"
#include "net/socket/NetLinkSettings.h"

// Whatever a form's user hangs on it; the form deletes it.
class CNetNodAttachment {
public:
    virtual ~CNetNodAttachment() = default;
};

class CNetNod : public CMwNod {
    MW_DECLARE_CLASS(CNetNod, CMwNod, 0x12001000)
public:
    static constexpr u8 s_FlagCompact = 0x80;
    static constexpr u8 s_FlagCompressed = 0x01;
    static constexpr u8 s_FlagChecksum = 0x02;
    static constexpr u8 s_FlagSequence = 0x04;
    static constexpr u8 s_FlagOrdered = 0x08;
    static constexpr u32 s_FullPlain = 0x00010000;
    static constexpr u32 s_FullCompressed = 0x00010001;

    CNetNod() = default;
    CNetNod(const CNetNod&) = delete;
    CNetNod& operator=(const CNetNod&) = delete;
    ~CNetNod() override;

    // Non-zero: the frame goes through the connection's ordered send queue; zero: it may go out
    // at once as a datagram. Every form answers it.
    virtual u32 NeedsQueue() = 0;
    // Non-zero: the body is LZO-compressed in the frame.
    virtual u32 IsCompressed() { return 0; }
    // A delivery flag and a delivery level of the form's class, kept for the peers; nothing in
    // this system asks for them.
    virtual u32 GetDeliveryFlag() { return 0; }
    // The priority the send queue gets with the frame.
    virtual u32 GetQueuePriority() { return 0; }
    virtual u32 GetDeliveryLevel() { return 8; }
    // Gives back one reference.
    virtual void Dispose() { Release(); }

    // The form's body, written or read through the value archive. Every form class gives its
    // own: the chunk loop of CMwNod is never used for forms. Returns 0 or throws
    // CClassicBufferException.
    u32 Archive(CClassicArchive& archive) override = 0;

    // Appends one frame at the stream's position, the frame start (0 for a datagram, 4 after a
    // length placeholder), in the settings' framing; the stream's size and position end at the
    // frame's end. In compact framing a class whose record asks for a sequence number (or
    // ordering) writes the counter's low 16 bits and advances it modulo 65536. A compact table
    // without the form's class, or an unknown framing mode, writes nothing and leaves the
    // counter alone. An exception of the body passes to the caller, the scratch stream left
    // empty; so does a CClassicBufferException thrown when the stream refuses a byte of the
    // frame or its compressed body (its size limit): the frame is then incomplete and is not to
    // be sent.
    void Write(CClassicBufferMemory& stream, const CNetLinkSettings& settings, u32& sequence);

    // Takes ownership of the attachment; one held before is deleted.
    void SetAttachment(CNetNodAttachment* attachment);
    CNetNodAttachment* GetAttachment() const { return m_Attachment; }

private:
    void WriteCompact(CClassicBufferMemory& stream, const CNetClassLink& link, u32& sequence);
    void WriteFull(CClassicBufferMemory& stream);

    CNetNodAttachment* m_Attachment = nullptr;
};

// The 16-byte key of frame checksums, a constant of the wire format that peers share. It is
// assembled here from its two 8-byte halves.
void NetGetFrameKey(u8 key[16]);

// The checksum of a frame whose checksum field holds 0: the HMAC-MD5 of the bytes with the frame
// key, folded as digest words 0 + 1 + 2 + key word 0 (modulo 2^32, words little-endian).
u32 NetFrameChecksum(const u8* frame, u32 length);
