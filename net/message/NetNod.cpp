#include "net/message/NetNod.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicMd5.h"
#include "platform/Endian.h"

#include <cassert>
#include <cstring>

MW_DEFINE_CLASS(CNetNod, nullptr, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {

// The two halves of the frame key, first then second.
constexpr u8 kFrameKeyFirst[8] = {0x3A, 0x91, 0x5C, 0x07, 0xE2, 0x48, 0xB6, 0x1D};
constexpr u8 kFrameKeySecond[8] = {0x74, 0xC9, 0x0F, 0xA3, 0x58, 0x2E, 0xD1, 0x66};

// Receives the bodies that are compressed before they join their frame.
constinit CClassicBufferMemory s_Scratch;
// Set while a frame is being written: the scratch stream and the LZO work memory serve one
// frame at a time.
constinit bool s_Writing = false;

// Marks the writer busy for its scope, and leaves the scratch stream empty behind it, also when a
// body throws.
class CWriting {
public:
    CWriting() {
        assert(!s_Writing && "CNetNod::Write called from inside a body being written");
        s_Writing = true;
    }
    ~CWriting() {
        s_Scratch.Clear();
        s_Writing = false;
    }
    CWriting(const CWriting&) = delete;
    CWriting& operator=(const CWriting&) = delete;
};

// A binary archive that writes into a stream it is lent: the stream is taken back (with the
// archive's name-id table freed) before the archive goes, so the archive never frees it.
class CLentArchive {
public:
    explicit CLentArchive(CClassicBuffer& target) {
        m_Archive.SetBuffer(&target);
        m_Archive.m_Writing = 1;
    }
    ~CLentArchive() { m_Archive.DetachBuffer(true); }
    CLentArchive(const CLentArchive&) = delete;
    CLentArchive& operator=(const CLentArchive&) = delete;

    CClassicArchive& Get() { return m_Archive; }

private:
    CClassicArchive m_Archive;
};

// The bytes the writer adds around the body. A stream that refuses them (its size limit has
// logged why) fails the frame as a refused write of the body archive does, instead of leaving a
// frame with a piece missing.
void WriteFrameBytes(CClassicBufferMemory& stream, const void* data, u32 n) {
    if (stream.WriteInline(data, n) != n)
        throw CClassicBufferException(kClassicBufferErrorWriteRefused,
                                      u"Frame bytes refused by the stream");
}

void RequireCompressed(bool written) {
    if (!written)
        throw CClassicBufferException(kClassicBufferErrorWriteRefused,
                                      u"Compressed body refused by the stream");
}

} // namespace

CNetNod::~CNetNod() {
    delete m_Attachment;
}

void CNetNod::SetAttachment(CNetNodAttachment* attachment) {
    if (attachment == m_Attachment)
        return;
    delete m_Attachment;
    m_Attachment = attachment;
}

void CNetNod::Write(CClassicBufferMemory& stream, const CNetLinkSettings& settings, u32& sequence) {
    CWriting writing;
    if (settings.m_FramingMode == CNetLinkSettings::s_FramingCompact) {
        if (const CNetClassLink* link = settings.FindClass(GetClassId()))
            WriteCompact(stream, *link, sequence);
    } else if (settings.m_FramingMode == CNetLinkSettings::s_FramingFull) {
        WriteFull(stream);
    }
}

void CNetNod::WriteCompact(CClassicBufferMemory& stream, const CNetClassLink& link, u32& sequence) {
    const u32 frameStart = stream.GetPosition();
    const bool compressed = IsCompressed() != 0;
    const bool sequenced = link.m_Sequence != 0 || link.m_Ordered != 0;
    u8 header[8];
    header[0] = u8(s_FlagCompact | (compressed ? s_FlagCompressed : 0) |
                   (link.m_Checksum ? s_FlagChecksum : 0) | (link.m_Sequence ? s_FlagSequence : 0) |
                   (link.m_Ordered ? s_FlagOrdered : 0));
    header[1] = link.m_ClassIndex;
    u32 headerSize = 2;
    if (sequenced) {
        platform::StoreU16Le(header + headerSize, u16(sequence));
        sequence = (sequence + 1) & 0xFFFF;
        headerSize += 2;
    }
    const u32 checksumAt = frameStart + headerSize;
    if (link.m_Checksum) {
        platform::StoreU32Le(header + headerSize, 0);
        headerSize += 4;
    }
    WriteFrameBytes(stream, header, headerSize);

    if (!compressed) {
        CLentArchive body(stream);
        Archive(body.Get());
    } else {
        s_Scratch.Clear();
        {
            CLentArchive body(s_Scratch);
            Archive(body.Get());
        }
        u8 length[4];
        platform::StoreU32Le(length, s_Scratch.GetSize());
        WriteFrameBytes(stream, length, sizeof length);
        RequireCompressed(stream.WriteLzoRaw(s_Scratch));
    }

    if (link.m_Checksum) {
        u8* frame = stream.GetData() + frameStart;
        platform::StoreU32Le(stream.GetData() + checksumAt,
                             NetFrameChecksum(frame, stream.GetPosition() - frameStart));
    }
}

void CNetNod::WriteFull(CClassicBufferMemory& stream) {
    u32 classId = GetClassId();
    if (!IsCompressed()) {
        CLentArchive frame(stream);
        u32 header[2] = {s_FullPlain, classId};
        frame.Get().WriteUInts(header, 2);
        Archive(frame.Get());
        return;
    }
    u8 tag[4];
    platform::StoreU32Le(tag, s_FullCompressed);
    WriteFrameBytes(stream, tag, sizeof tag);
    s_Scratch.Clear();
    {
        CLentArchive body(s_Scratch);
        body.Get().WriteUInts(&classId, 1);
        Archive(body.Get());
    }
    RequireCompressed(stream.WriteLzoBlock(s_Scratch));
}

void NetGetFrameKey(u8 key[16]) {
    std::memcpy(key, kFrameKeyFirst, sizeof kFrameKeyFirst);
    std::memcpy(key + sizeof kFrameKeyFirst, kFrameKeySecond, sizeof kFrameKeySecond);
}

u32 NetFrameChecksum(const u8* frame, u32 length) {
    CClassicHmacMd5Request request;
    request.data = frame;
    request.length = length;
    NetGetFrameKey(request.key);
    ClassicHmacMd5(request);
    return platform::LoadU32Le(request.digest) + platform::LoadU32Le(request.digest + 4) +
           platform::LoadU32Le(request.digest + 8) + platform::LoadU32Le(request.key);
}
