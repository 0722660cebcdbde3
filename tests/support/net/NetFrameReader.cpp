#include "tests/support/net/NetFrameReader.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicLog.h"
#include "platform/Endian.h"

#include <algorithm>
#include <cstdarg>
#include <lzo/lzo1x.h>
#include <vector>

namespace {

__attribute__((format(printf, 1, 2))) bool Refuse(const char* format, ...) {
    va_list args;
    va_start(args, format);
    g_ClassicLogLine.Assign("[NetFrame] Frame refused: ");
    CClassicString why;
    why.FormatV(format, args);
    va_end(args);
    g_ClassicLogLine.Append(why).Append("\r\n");
    ClassicLogWriteLine();
    return false;
}

const CNetClassLink* FindClassIndex(const CNetLinkSettings& settings, u8 index) {
    for (u32 i = 0; i < settings.m_ClassCount &&
                    settings.m_Classes[i].m_ClassId != CNetClassLink::s_EndOfTable;
         ++i)
        if (settings.m_Classes[i].m_ClassIndex == index)
            return &settings.m_Classes[i];
    return nullptr;
}

// A form of the class with one reference, or null.
CNetNod* CreateForm(u32 classId) {
    // The registry files a class by its number: an id with member bits names no class.
    const CMwClassInfo* info = CMwClassRegistry::GetClassInfoById(classId);
    if (!info || info->m_ClassId != classId ||
        !CMwClassRegistry::IsClassKindOf(classId, CNetNod::s_ClassId)) {
        Refuse("class 0x%08X is not a form", classId);
        return nullptr;
    }
    CMwNod* nod = CMwClassRegistry::CreateNodById(classId);
    if (!nod) {
        Refuse("class 0x%08X cannot be created", classId);
        return nullptr;
    }
    nod->AddRef();
    return static_cast<CNetNod*>(nod);
}

// Creates the form and reads its body, which must use every byte.
bool ReadForm(u32 classId, const u8* body, u32 size, CNetFrame& frame) {
    CNetNod* form = CreateForm(classId);
    if (!form)
        return false;
    CClassicArchive archive;
    auto* stream = new CClassicBufferMemory;
    archive.SetBuffer(stream);
    if (size != 0)
        stream->Write(body, size);
    stream->Rewind();
    try {
        form->Archive(archive);
    } catch (const CClassicBufferException&) {
        form->Release();
        return Refuse("the body of class 0x%08X cannot be read", classId);
    }
    if (stream->GetPosition() != size) {
        form->Release();
        return Refuse("%u bytes after the body of class 0x%08X", size - stream->GetPosition(),
                      classId);
    }
    frame.m_Form = form;
    frame.m_ClassId = classId;
    return true;
}

// The compact body: u32 n, then LZO1X-1 data that decompresses to exactly n bytes.
bool Decompress(const u8* data, u32 size, u32 limit, std::vector<u8>& out) {
    if (size < 4)
        return Refuse("compressed body without its length");
    const u32 length = platform::LoadU32Le(data);
    if (length > limit)
        return Refuse("compressed body of %u bytes above the limit of %u", length, limit);
    out.resize(std::max<u32>(length, 1));
    lzo_uint got = length;
    const int rc = lzo_init() == LZO_E_OK
                       ? lzo1x_decompress_safe(data + 4, size - 4, out.data(), &got, nullptr)
                       : LZO_E_ERROR;
    if (rc != LZO_E_OK || got != length)
        return Refuse("compressed body damaged: error %d, %u of %u bytes", rc, u32(got), length);
    out.resize(length);
    return true;
}

bool ReadCompact(const u8* data, u32 size, const CNetLinkSettings& settings, CNetFrame& frame,
                 u32 limit) {
    if (size < 2)
        return Refuse("%u bytes are no compact header", size);
    const u8 flags = data[0];
    if (!(flags & CNetNod::s_FlagCompact) || (flags & 0x70))
        return Refuse("flags 0x%02X", flags);
    const CNetClassLink* link = FindClassIndex(settings, data[1]);
    if (!link)
        return Refuse("no class of index %u", data[1]);
    const u8 expected = u8((link->m_Checksum ? CNetNod::s_FlagChecksum : 0) |
                           (link->m_Sequence ? CNetNod::s_FlagSequence : 0) |
                           (link->m_Ordered ? CNetNod::s_FlagOrdered : 0));
    const u8 linkFlags = CNetNod::s_FlagChecksum | CNetNod::s_FlagSequence | CNetNod::s_FlagOrdered;
    if ((flags & linkFlags) != expected)
        return Refuse("flags 0x%02X differ from the record of class 0x%08X", flags,
                      link->m_ClassId);
    u32 at = 2;
    if (flags & (CNetNod::s_FlagSequence | CNetNod::s_FlagOrdered)) {
        if (size - at < 2)
            return Refuse("sequence number cut off");
        frame.m_Sequence = platform::LoadU16Le(data + at);
        at += 2;
    }
    if (flags & CNetNod::s_FlagChecksum) {
        if (size - at < 4)
            return Refuse("checksum cut off");
        const u32 stored = platform::LoadU32Le(data + at);
        std::vector<u8> copy(data, data + size);
        platform::StoreU32Le(copy.data() + at, 0);
        if (NetFrameChecksum(copy.data(), size) != stored)
            return Refuse("checksum 0x%08X does not verify", stored);
        frame.m_Checksum = stored;
        at += 4;
    }
    frame.m_Flags = flags;
    frame.m_ClassIndex = data[1];
    frame.m_Compressed = (flags & CNetNod::s_FlagCompressed) != 0;
    if (!frame.m_Compressed)
        return ReadForm(link->m_ClassId, data + at, size - at, frame);
    std::vector<u8> body;
    return Decompress(data + at, size - at, limit, body) &&
           ReadForm(link->m_ClassId, body.data(), u32(body.size()), frame);
}

bool ReadFull(const u8* data, u32 size, CNetFrame& frame, u32 limit) {
    if (size < 8)
        return Refuse("%u bytes are no full header", size);
    const u32 tag = platform::LoadU32Le(data);
    if (tag == CNetNod::s_FullPlain)
        return ReadForm(platform::LoadU32Le(data + 4), data + 8, size - 8, frame);
    if (tag != CNetNod::s_FullCompressed)
        return Refuse("tag 0x%08X", tag);
    CClassicBufferMemory stream;
    stream.Write(data + 4, size - 4);
    stream.Rewind();
    CClassicBufferMemory* block = nullptr;
    try {
        block = stream.ReadLzoBlock(limit);
    } catch (const CClassicBufferException&) {
    }
    CClassicPooledBuffer payload(block);
    if (!block)
        return Refuse("LZO block unreadable");
    if (stream.GetPosition() != stream.GetSize())
        return Refuse("%u bytes after the LZO block", stream.GetSize() - stream.GetPosition());
    if (payload->GetSize() < 4)
        return Refuse("LZO block without a class id");
    frame.m_Compressed = true;
    return ReadForm(platform::LoadU32Le(payload->GetData()), payload->GetData() + 4,
                    payload->GetSize() - 4, frame);
}

} // namespace

CNetFrame::~CNetFrame() {
    if (m_Form)
        m_Form->Release();
}

bool NetReadFrame(const u8* data, u32 size, const CNetLinkSettings& settings, CNetFrame& frame,
                  u32 limit) {
    CNetFrame read;
    bool ok = false;
    if (settings.m_FramingMode == CNetLinkSettings::s_FramingCompact)
        ok = ReadCompact(data, size, settings, read, limit);
    else if (settings.m_FramingMode == CNetLinkSettings::s_FramingFull)
        ok = ReadFull(data, size, read, limit);
    else
        Refuse("framing mode %d", settings.m_FramingMode);
    if (!ok)
        return false;
    frame.m_Form = read.m_Form;
    read.m_Form = nullptr;
    frame.m_ClassId = read.m_ClassId;
    frame.m_Compressed = read.m_Compressed;
    frame.m_Flags = read.m_Flags;
    frame.m_ClassIndex = read.m_ClassIndex;
    frame.m_Sequence = read.m_Sequence;
    frame.m_Checksum = read.m_Checksum;
    return true;
}
