#include "tests/plug/PlugTestNods.h"

#include "core/base/ClassicArchive.h"
#include "core/base/ClassicBuffer.h"

#include <algorithm>
#include <stdexcept>
#include <string>

MW_DEFINE_CLASS(CPlugTestWav, MwFactory<CPlugTestWav>, MW_NO_MEMBERS, MW_NO_CHUNKS);
#define CPLUGTESTHOLDER_CHUNKS(X) X(0x09FFF000, 3)
MW_DEFINE_CLASS(CPlugTestHolder, MwFactory<CPlugTestHolder>, MW_NO_MEMBERS, CPLUGTESTHOLDER_CHUNKS);

MW_DEFINE_CLASS(CPlugTestVideo, MwFactory<CPlugTestVideo>, MW_NO_MEMBERS, MW_NO_CHUNKS);

namespace {
constinit CMwClassInfo* const s_Classes[] = {
    &CPlugTestWav::s_ClassInfo, &CPlugTestHolder::s_ClassInfo, &CPlugTestVideo::s_ClassInfo};
} // namespace
constinit const CMwClassList g_PlugTestClassList = {s_Classes, 3};

i32 CPlugTestWav::ReadFromArchive(CClassicArchive& archive) {
    archive.SerializeUInts(&m_Value, 1);
    return 1;
}

i32 CPlugTestWav::WriteToArchive(CClassicArchive& archive) {
    archive.SerializeUInts(&m_Value, 1);
    return 1;
}

i32 CPlugTestWav::CreateDefault() {
    m_Value = s_DefaultValue;
    ++m_Defaults;
    return m_DefaultResult;
}

i32 CPlugTestWav::ReadFromStream(CClassicBuffer& stream) {
    ++m_Reads;
    if (m_ReadMode == ReadThrowsText)
        throw std::runtime_error("bad header");
    if (m_ReadMode == ReadThrowsBuffer)
        throw CClassicBufferException(kClassicBufferErrorPastEnd);
    // The memory stream refuses a read past its end: read what is left, no more.
    std::string text(std::min<u32>(stream.GetSize() - stream.GetPosition(), 64), '\0');
    text.resize(stream.Read(text.data(), u32(text.size())));
    if (text.size() < 5 || text.size() > 14 || text.compare(0, 4, "wav ") != 0 ||
        text.find_first_not_of("0123456789", 4) != std::string::npos)
        return 0;
    m_Value = u32(std::stoul(text.substr(4)));
    return 1;
}

i32 CPlugTestWav::WriteToStream(CClassicBuffer& stream) {
    if (m_WriteMode != WriteText) {
        stream.Write("wav", 3);
        if (m_WriteMode == WriteThrows)
            throw std::runtime_error("disk on fire");
        return 0;
    }
    const std::string text = "wav " + std::to_string(m_Value);
    return stream.Write(text.data(), u32(text.size())) == text.size() ? 1 : 0;
}

void CPlugTestHolder::ArchiveChunk(CClassicArchive& archive, u32 chunkId) {
    if (chunkId != s_LinksChunk) {
        Super::ArchiveChunk(archive, chunkId);
        return;
    }
    u32 count = u32(m_Links.size());
    archive.SerializeUInts(&count, 1);
    if (archive.m_Writing) {
        for (CMwNodRef& link : m_Links) {
            CMwNod* nod = link.Get();
            archive.ArchiveNodRef(nod);
        }
        return;
    }
    archive.CheckReadSize(count, 16);
    m_Links.clear();
    for (u32 i = 0; i < count; ++i) {
        CMwNod* nod = nullptr;
        archive.ArchiveNodRef(nod);
        m_Links.emplace_back(nod);
    }
}

i32 CPlugTestVideo::UpdateFrame(CPlugBitmap* bitmap, u32 zero, u32 nbComp, u32 hasAlpha, u8* pixels,
                                u32 pitch) {
    ++m_Frames;
    m_FrameBitmap = bitmap;
    m_FrameArgs[0] = zero;
    m_FrameArgs[1] = nbComp;
    m_FrameArgs[2] = hasAlpha;
    m_FrameArgs[3] = pitch;
    if (!pixels)
        return 0;
    const u64 size = u64(pitch) * m_Height;
    for (u64 i = 0; i < size && i < m_ByteSize; ++i)
        pixels[i] = u8(m_Frames + i);
    return 1;
}

void CPlugTestVideo::Start(u32 timeMode, u32 looping, u32 third) {
    m_Starts.push_back({timeMode, looping, third});
}

void CPlugTestVideo::Stop(u32 flag) {
    m_Stops.push_back(flag);
}

void CPlugTestVideo::Rewind() {
    ++m_Rewinds;
}
