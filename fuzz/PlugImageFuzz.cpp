// Fuzzes the in-memory image: an image word, sides, a pixel block of any size and its bytes from
// the input, every accessor at coordinates from the input, then the operations that resample
// and edit the image in place, then the accessors again. No access may leave the recorded block
// (the sanitizers watch every byte), and Sample never writes more bytes than asked for.
//
// Input: u32 image word; width and height (mod 65); depth (low 4 bits, mod 9) and how the
// image is made (bits 4-5: fields set directly, Create with the block, Create allocating); the
// block's size (below 128: the size the word and sides give + s - 64, else (s - 128) x 512); the
// block's bytes; then accessor records and the operations' arguments.
#include "FuzzCheck.h"
#include "core/base/ClassicLog.h"
#include "plug/bitmap/PlugFileImg.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Reads the input; zeros past its end.
struct CReader {
    const u8* Data;
    size_t Size;
    size_t Position = 0;

    u8 Byte() { return Position < Size ? Data[Position++] : 0; }
    u16 U16() { return u16(Byte() | (Byte() << 8)); }
    u32 U32() { return u32(U16()) | (u32(U16()) << 16); }
    bool AtEnd() const { return Position >= Size; }
};

volatile u32 g_Sink;

// Reads every byte of the range, so that the sanitizers see an access outside the block.
void Touch(const u8* bytes, u32 count) {
    u32 sum = 0;
    for (u32 i = 0; i < count; ++i)
        sum += bytes[i];
    g_Sink = g_Sink + sum;
}

// A texture coordinate: a fraction of 256, or a value no image has texels for.
f32 Coordinate(i16 value, u8 kind) {
    switch (kind & 0xC0) {
        case 0x40:
            return std::numeric_limits<f32>::quiet_NaN();
        case 0x80:
            return value < 0 ? -std::numeric_limits<f32>::infinity() : 3e9f;
        default:
            return f32(value) / 256.0f;
    }
}

struct SAccess {
    u8 Kind;
    i16 X, Y;
    u8 Level, Face;
};

void Access(CPlugFileImg& image, const SAccess& a) {
    const u32 level = a.Level & 15;
    const u32 face = a.Face & 7;
    const u32 nbComp = std::max(image.GetNbComp(), 1u);
    switch (a.Kind % 6) {
        case 0: {
            u32 size = 0, width = 0, height = 0;
            if (const u8* bytes = image.GetLevel(face, level, &size, &width, &height))
                Touch(bytes, size);
            break;
        }
        case 1:
            if (const u8* texel = image.GetTexelAddress(u16(a.X), u16(a.Y), level, face))
                Touch(texel, nbComp);
            break;
        case 2:
            if (const u8* texel = image.GetTexelWrapped(a.X, a.Y, face))
                Touch(texel, nbComp);
            break;
        case 3:
            if (const u8* texel =
                    image.GetTexelAtUV(Coordinate(a.X, a.Kind), Coordinate(a.Y, a.Kind << 2), face))
                Touch(texel, nbComp);
            break;
        case 4: {
            // Canaries after the bytes asked for.
            u8 out[16];
            std::memset(out, 0xA5, sizeof out);
            const u32 count = a.Level >> 4;
            image.Sample(out, Coordinate(a.X, a.Kind), Coordinate(a.Y, a.Kind << 2),
                         (a.Face & 8) != 0, count, level, face, (a.Face >> 4) & 3);
            for (u32 i = count; i < sizeof out; ++i)
                FUZZ_CHECK(out[i] == 0xA5);
            break;
        }
        default: {
            u32 pixel = 0;
            image.GetPixel(&pixel, u16(a.X), u16(a.Y), level, face);
            g_Sink = g_Sink + pixel;
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The log would keep every line of every run.
    g_ClassicLog.m_SuspendCount = 1;
    CPlugFileImg::SetImageLimit(u64(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    CReader in{data, size};
    const u32 word = in.U32();
    const u32 width = in.Byte() % 65;
    const u32 height = in.Byte() % 65;
    const u8 depthAndMode = in.Byte();
    const u32 depth = (depthAndMode & 15) % 9;
    const u8 sizeByte = in.Byte();

    CPlugFileImg image;
    image.m_Width = width;
    image.m_Height = height;
    image.m_Depth = depth;
    image.m_ImageWord = word;
    u64 blockSize = sizeByte < 128
                        ? u64(std::max<i64>(0, i64(image.ByteSize(true)) + sizeByte - 64))
                        : u64(sizeByte - 128) * 512;
    blockSize = std::min<u64>(blockSize, 1u << 20);
    u8* block = blockSize ? new u8[blockSize]() : nullptr;
    const size_t given = std::min<size_t>(blockSize, size - std::min(size, in.Position));
    if (given)
        std::memcpy(block, data + in.Position, given);
    in.Position += given;

    const u32 nbComp = (word >> 2) & 7;
    const u32 format = (word >> 5) & 15;
    const bool mips = (word >> 9) & 1;
    const bool oneBit = (word >> 10) & 1;
    switch ((depthAndMode >> 4) & 3) {
        case 1:
            image.Create(width, height, nbComp, format, block, u32(blockSize), mips, oneBit,
                         word & 3, depth);
            break;
        case 2:
            delete[] block;
            image.Create(width, height, nbComp, format, nullptr, 0, mips, oneBit, word & 3, depth);
            break;
        default:
            image.m_Pixels = block;
            image.m_ByteSize = u32(blockSize);
            break;
    }

    SAccess accesses[32];
    const u32 count = std::min<u32>(in.Byte(), 32);
    for (u32 i = 0; i < count; ++i) {
        accesses[i].Kind = in.Byte();
        accesses[i].X = i16(in.U16());
        accesses[i].Y = i16(in.U16());
        accesses[i].Level = in.Byte();
        accesses[i].Face = in.Byte();
        Access(image, accesses[i]);
    }

    const u8 operations = in.Byte();
    const u8 flags = in.Byte();
    const u32 newWidth = in.Byte() % 65;
    const u32 newHeight = in.Byte() % 65;
    const u8 colour[4] = {in.Byte(), in.Byte(), in.Byte(), in.Byte()};
    if (operations & 1)
        image.Resample(newWidth, newHeight, flags & 1, (flags >> 1) & 3);
    if (operations & 2)
        image.ScaleToPowerOfTwo(flags & 8, flags & 16, (flags >> 1) & 3);
    if (operations & 4)
        image.ExpandToFourComponents(colour[3]);
    if (operations & 8)
        image.ApplyBorder(colour, flags & 32, flags & 64);
    if (operations & 16)
        image.MakeFirstTexelTransparent();
    if (operations & 32)
        image.FreePixels();
    if (operations & 64)
        image.EnsurePixelBuffer();
    // The recorded size never exceeds the block.
    if (image.m_Pixels)
        Touch(image.m_Pixels, image.m_ByteSize);

    for (u32 i = 0; i < count; ++i)
        Access(image, accesses[i]);
    return 0;
}
