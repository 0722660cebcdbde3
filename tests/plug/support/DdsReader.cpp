#include "tests/plug/support/DdsReader.h"

#include "plug/bitmap/PlugFileImg.h"

#include <cstring>
#include <new>

namespace ddsread {

namespace {

u32 U32At(const u8* data, u64 offset) {
    return u32(data[offset]) | u32(data[offset + 1]) << 8 | u32(data[offset + 2]) << 16 |
           u32(data[offset + 3]) << 24;
}

bool Fail(std::string* error, const char* why) {
    if (error)
        *error = why;
    return false;
}

u32 Half(u32 side) {
    return side > 1 ? side / 2 : 1;
}

u64 LevelBytes(u32 w, u32 h, u32 blockBytes) {
    return u64((w + 3) / 4) * ((h + 3) / 4) * blockBytes;
}

u32 FullChain(u32 w, u32 h) {
    u32 levels = 1;
    for (u32 side = w > h ? w : h; side > 1; side /= 2)
        ++levels;
    return levels;
}

} // namespace

bool ReadDdsHeader(const u8* data, u64 size, DdsInfo& info, std::string* error) {
    constexpr u64 kDataOffset = 128;
    if (size < kDataOffset)
        return Fail(error, "shorter than a DDS header");
    if (std::memcmp(data, "DDS ", 4) != 0)
        return Fail(error, "no \"DDS \" magic");
    if (U32At(data, 4) != 124)
        return Fail(error, "header size not 124");
    if (U32At(data, 76) != 32)
        return Fail(error, "pixel format size not 32");
    if (!(U32At(data, 80) & 4))
        return Fail(error, "no four-character code");
    DdsInfo read;
    read.Flags = U32At(data, 8);
    read.Height = U32At(data, 12);
    read.Width = U32At(data, 16);
    read.LinearSize = U32At(data, 20);
    read.Caps = U32At(data, 108);
    std::memcpy(read.FourCc, data + 84, 4);
    if (std::memcmp(read.FourCc, "DXT1", 4) == 0) {
        read.Format = CPlugFileImg::EFormat_DXT1;
        read.BlockBytes = 8;
    } else if (std::memcmp(read.FourCc, "DXT3", 4) == 0) {
        read.Format = CPlugFileImg::EFormat_DXT3;
        read.BlockBytes = 16;
    } else if (std::memcmp(read.FourCc, "DXT5", 4) == 0) {
        read.Format = CPlugFileImg::EFormat_DXT5;
        read.BlockBytes = 16;
    } else {
        return Fail(error, "not DXT1, DXT3 or DXT5");
    }
    // Sides up to 2^16: the largest texture any reader of these files takes.
    if (read.Width == 0 || read.Height == 0 || read.Width > 65536 || read.Height > 65536)
        return Fail(error, "a side of 0 or above 65536");
    const u32 mipCount = U32At(data, 28);
    read.Levels = mipCount ? mipCount : 1;
    if (read.Levels > FullChain(read.Width, read.Height))
        return Fail(error, "more levels than the chain has");
    u32 w = read.Width, h = read.Height;
    for (u32 level = 0; level < read.Levels; ++level) {
        read.DataBytes += LevelBytes(w, h, read.BlockBytes);
        w = Half(w);
        h = Half(h);
    }
    if (read.DataBytes > size - kDataOffset)
        return Fail(error, "the levels need more bytes than the file holds");
    info = read;
    return true;
}

bool ReadDds(const u8* data, u64 size, CPlugFileImg& image, DdsInfo& info, std::string* error) {
    DdsInfo read;
    if (!ReadDdsHeader(data, size, read, error))
        return false;
    const u32 fullChain = FullChain(read.Width, read.Height);
    // The image addresses a chain only when it is whole; a partial one gives its first level.
    const bool chain = read.Levels > 1 && read.Levels == fullChain;
    const u64 bytes = chain ? read.DataBytes : LevelBytes(read.Width, read.Height, read.BlockBytes);
    if (bytes > UINT32_MAX)
        return Fail(error, "more than 4 GB of blocks");
    u8* block = new (std::nothrow) u8[bytes];
    if (!block)
        return Fail(error, "no memory for the blocks");
    std::memcpy(block, data + 128, bytes);
    image.Create(read.Width, read.Height, 4, read.Format, block, u32(bytes), chain, false,
                 CPlugFileImg::EDimension_2d, 1);
    info = read;
    return true;
}

std::vector<u32> DecodeLevel(CPlugFileImg& image, u32 level, u32* width, u32* height) {
    u32 w = 0, h = 0;
    std::vector<u32> texels;
    if (image.GetLevel(0, level, nullptr, &w, &h)) {
        texels.resize(u64(w) * h);
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x)
                image.GetPixel(&texels[u64(y) * w + x], x, y, level, 0);
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    return texels;
}

} // namespace ddsread
