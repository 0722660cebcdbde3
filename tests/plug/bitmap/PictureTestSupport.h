#pragma once
// Helpers of the picture tests: the committed fixtures (tests/plug/fixtures, made by
// make_pictures.py there), reading TGA bytes through the guarded read, and an image's texels
// in file order for comparison with other readers.
#include "core/base/ClassicBuffer.h"
#include "plug/bitmap/PlugFileJpg.h"
#include "plug/bitmap/PlugFileTga.h"
#include "tests/plug/PlugTestSupport.h"

#include <string>
#include <vector>

inline std::string FixturePath(const std::string& name) {
    return std::string(ENGINE_TEST_SOURCE_DIR) + "/tests/plug/fixtures/" + name;
}

// The engine path of a fixture ("Z:\\...").
inline CClassicWideString FixtureName(const std::string& name) {
    return CClassicWideString(platform::FromHostPath(FixturePath(name)).c_str());
}

inline std::string Fixture(const std::string& name) {
    return ReadWholeFile(FixturePath(name));
}

// A 64 x 64 picture of the DXT corpus in fixtures/dxt (made by make_images.sh there): R, G, B,
// A bytes.
inline std::vector<u8> DxtFixturePicture(const std::string& name) {
    const std::string bytes = Fixture("dxt/" + name + ".rgba");
    EXPECT_EQ(bytes.size(), 64u * 64 * 4) << name;
    std::vector<u8> rgba(bytes.begin(), bytes.end());
    rgba.resize(64 * 64 * 4);
    return rgba;
}

// The guarded read of the bytes, as a load by path gives them: the read's result (1 also for
// the default picture, which HasLoadFailed() then tells).
inline i32 ReadTgaBytes(CPlugFileTga& image, const std::string& bytes) {
    CClassicBufferMemory stream;
    stream.Write(bytes.data(), u32(bytes.size()));
    stream.Rewind();
    return image.ReadStreamOrDefault(stream, u"Z:\\a.tga");
}

// The image's level 0 as the bytes of a file reader: rows top row first, texels R, G, B[, A]
// (grey bytes as they are).
inline std::string TopFirstRgb(const CPlugFileImg& image) {
    const u32 nbComp = image.GetNbComp();
    std::string out;
    if (!image.m_Pixels)
        return out;
    for (u32 row = image.m_Height; row-- > 0;) {
        const u8* texel = image.m_Pixels + u64(row) * image.m_Width * nbComp;
        for (u32 x = 0; x < image.m_Width; ++x, texel += nbComp) {
            if (nbComp < 3) {
                out.append(reinterpret_cast<const char*>(texel), nbComp);
                continue;
            }
            out += char(texel[2]);
            out += char(texel[1]);
            out += char(texel[0]);
            if (nbComp == 4)
                out += char(texel[3]);
        }
    }
    return out;
}

inline std::vector<u8> ImageBytes(const CPlugFileImg& image) {
    return image.m_Pixels ? std::vector<u8>(image.m_Pixels, image.m_Pixels + image.m_ByteSize)
                          : std::vector<u8>();
}

// A fixture's picture as loaded: 24 x 16 texels of nbComp bytes, "BGRA", "2d", no chain, the
// load not failed.
inline void ExpectFixturePicture(const CPlugFileImg& image, u32 nbComp) {
    EXPECT_FALSE(image.HasLoadFailed());
    EXPECT_EQ(image.m_Width, 24u);
    EXPECT_EQ(image.m_Height, 16u);
    EXPECT_EQ(image.GetNbComp(), nbComp);
    EXPECT_EQ(image.GetFormat(), u32(CPlugFileImg::EFormat_BGRA));
    EXPECT_EQ(image.GetDimension(), u32(CPlugFileImg::EDimension_2d));
    EXPECT_FALSE(image.AreMipMapInSystem());
    EXPECT_EQ(image.m_ByteSize, 24u * 16 * nbComp);
}
