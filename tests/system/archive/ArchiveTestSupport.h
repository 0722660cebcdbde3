#pragma once
// Helpers of the archive tests: a fixture with the test nod classes registered (and one with an
// engine over a temporary folder), saving a nod to bytes and loading bytes back, and a builder of
// binary archive bytes.
#include "core/base/ClassicBuffer.h"
#include "system/archive/SystemArchive.h"
#include "tests/system/SystemTestSupport.h"
#include "tests/system/archive/ArchiveTestNods.h"
#include "tests/system/engine/EngineTestSupport.h"

#include <filesystem>
#include <string>

class ArchiveFixture : public CSystemFixture {
protected:
    ArchiveFixture() : CSystemFixture(&g_ArchiveTestClassList) {}
};

// The archive fixture with an engine over a temporary install folder whose "GameData" holds the
// folders "Sub", "Parts" and "Cars".
class ArchiveEngineFixture : public CInstallFixture<ArchiveFixture> {
protected:
    void SetUp() override {
        for (const char* folder : {"Sub", "Parts", "Cars"})
            std::filesystem::create_directories(m_Temp.File(std::string("GameData/") + folder));
        CInstallFixture::SetUp();
    }
};

inline std::string BytesOf(const CClassicBufferMemory& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.GetData()), buffer.GetSize());
}

// The archive image of the nod with the save flags, saved for the file id (none: no file id).
inline std::string SaveArchive(CMwNod* nod, u32 flags, CSystemFid* fid = nullptr,
                               bool expectSaved = true) {
    CSystemArchive archive;
    archive.SetCurrentFid(fid);
    archive.SetSaveFlags(flags);
    CClassicBufferMemory out;
    EXPECT_EQ(archive.Save(nod, &out), expectSaved);
    return BytesOf(out);
}

// The nod loaded from the bytes (held by the returned reference), or null.
inline CMwNodRef LoadArchive(const std::string& bytes, CSystemFid* fid = nullptr,
                             u32 mode = kSystemArchiveLoadFull) {
    CClassicBufferMemory in;
    in.Write(bytes.data(), u32(bytes.size()));
    in.Rewind();
    CSystemArchive archive;
    archive.SetCurrentFid(fid);
    archive.SetLoadMode(mode);
    CMwNod* nod = reinterpret_cast<CMwNod*>(1);
    const bool loaded = archive.Load(&in, &nod);
    EXPECT_EQ(loaded, nod != nullptr || mode == kSystemArchiveLoadRawBody);
    return CMwNodRef(nod);
}

// Binary archive bytes, value by value.
class CArchiveBytes {
public:
    CArchiveBytes& Raw(const std::string& bytes) {
        m_Bytes += bytes;
        return *this;
    }
    CArchiveBytes& U32(u32 value) {
        for (int i = 0; i < 4; ++i)
            m_Bytes += char((value >> (8 * i)) & 0xFF);
        return *this;
    }
    CArchiveBytes& F32(f32 value) {
        u32 bits;
        std::memcpy(&bits, &value, 4);
        return U32(bits);
    }
    // A wide string of ASCII text.
    CArchiveBytes& Text(const std::string& text) { return U32(u32(text.size())).Raw(text); }
    // The header of a binary, plain, release archive of version 6 without blob.
    CArchiveBytes& Header(u32 classId, u32 nodeCount) {
        return Raw(std::string("ZUN\x06\x00", 5) + "BUUR").U32(classId).U32(0).U32(nodeCount);
    }
    // The value chunk of a test nod.
    CArchiveBytes& ValueChunk(u32 value, const std::string& name, f32 real) {
        return U32(CArchiveTestNod::s_ValueChunk).U32(value).Text(name).F32(real);
    }
    // The links chunk holding the bytes of its links.
    CArchiveBytes& LinksChunk(u32 count, const std::string& links) {
        return U32(CArchiveTestNod::s_LinksChunk)
            .U32(CMwNod::s_SkipTag)
            .U32(u32(4 + links.size()))
            .U32(count)
            .Raw(links);
    }
    CArchiveBytes& FileChunk(u32 index) { return U32(CArchiveTestNod::s_FileChunk).U32(index); }
    CArchiveBytes& End() { return U32(CMwNod::s_UnknownChunk); }

    const std::string& Bytes() const { return m_Bytes; }

private:
    std::string m_Bytes;
};
