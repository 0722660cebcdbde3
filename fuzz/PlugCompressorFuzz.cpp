// Fuzzes the texture compressor's entry: every option, the sides, channels, pitch and pixels come
// from the input, with the compressor's own chains (every filter and MipMode) and rescaling.
// Each piece handed to the callback (or, without callback, to the internal sink) must come in
// the order of faces and levels with the level index and the size of its format's formula over
// the level's sides (for the palette format after the palette, sent once: with three channels its
// used entries end with 255, the rest are zero, and every index names a used entry), a call must
// answer the result its checks give, and a call made from inside a callback must be refused
// without disturbing the first.
//
// Input: the options record field by field, little-endian (45 bytes: i32 RescaleRule, u8
// Reserved, i16 MipMode, MipCount, MipFilter, u8 OneBitAlpha, NormalMap, ScaleFade, AlphaBorder,
// ColourBorder, 3 x u8 BorderColour, u8 FadeColour, FadeAlpha, 3 x u8 FadeToColour, i32
// FadeToAlpha, FadeStartLevel, FadeAmount, u8 DitherOnLoad, DitherEachLevel,
// EqualChannelWeights, Dxt1ForceFourColours, i16 TextureKind, FormatCode, u8 SwapRedBlue);
// width and height (each byte mod 65, mod 33 when a chain is built; a cube strip counts whole);
// channels (a byte); the pitch
// (width x channels plus the next byte read as signed, at least 0); a flags byte (bit 0 null
// pixels, bit 1 no callback, bit 2 a second call from the callback, bits 3-7 the image limit in
// units of 256 bytes, 0 for the default); then the pixel rows (zeros past the input's end).
// Inputs stay below 1100 bytes (PlugCompressorFuzz.options): pixels past them are zeros, cheap
// to encode, while a block of random colours costs the DXT encoder a millisecond here.
#include "fuzz/FuzzReader.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/bitmap/TextureCompressor.h"
#include "plug/bitmap/TexturePalette.h"
#include "plug/bitmap/TextureResample.h"

#include <vector>

namespace {

// One piece the call is to hand over: its level index and byte count.
struct CPiece {
    i32 Level = 0;
    u64 Bytes = 0;
    bool Palette = false;
};

struct CCall {
    TextureCompressorOptions Options;
    u32 Width = 0;
    u32 Height = 0;
    u32 Channels = 0;
    // After any rescaling.
    u32 NewWidth = 0;
    u32 NewHeight = 0;
    bool RescaleImpossible = false;
    u32 FaceWidth = 0;
    u32 Faces = 1;
    std::vector<CPiece> Expected; // every face's pieces in order
    bool CallAgain = false;
    const u8* Pixels = nullptr;
    u32 Pitch = 0;
    u32 Pieces = 0;
    bool HeaderSeen = false;
    // Palette entries in use, as the palette piece of a three-channel call shows them.
    u32 UsedEntries = 256;
};
CCall g_Call;

bool IsPowerOfTwo(u32 side) {
    return side != 0 && (side & (side - 1)) == 0;
}

// The bytes of one piece by the format table: blocks over sides raised to 4, or bytes per pixel.
u64 ExpectedPieceSize(i16 format, u32 width, u32 height) {
    const u64 blocks = (u64(std::max(width, 4u)) + 3) / 4 * ((u64(std::max(height, 4u)) + 3) / 4);
    switch (format) {
        case 10:
        case 11:
            return 8 * blocks;
        case 12:
        case 13:
            return 16 * blocks;
        case 18:
            return 3 * u64(width) * height;
        case 20:
            return u64(width) * height;
        case 17:
        case 21:
        case 22:
            return 4 * u64(width) * height;
        default: // 14, 15, 16, 19
            return 2 * u64(width) * height;
    }
}

i32 Callback(const u8* data, i32 level, u32 byteCount);

void CheckPiece(const u8* data, i32 level, u32 byteCount) {
    FUZZ_CHECK(data != nullptr);
    FUZZ_CHECK(g_Call.Pieces < g_Call.Expected.size());
    FUZZ_CHECK(level == g_Call.Expected[g_Call.Pieces].Level);
    FUZZ_CHECK(byteCount == g_Call.Expected[g_Call.Pieces].Bytes);
    if (g_Call.Expected[g_Call.Pieces].Palette && g_Call.Channels == 3) {
        u32 used = 0;
        while (used < 256 && data[used * 4 + 3] == 255)
            ++used;
        FUZZ_CHECK(used > 0 || g_Call.FaceWidth == 0 || g_Call.NewHeight == 0);
        for (u32 i = used * 4; i < kPaletteBytes; ++i)
            FUZZ_CHECK(data[i] == 0);
        g_Call.UsedEntries = used;
    } else if (g_Call.Options.FormatCode == 20) {
        for (u32 i = 0; i < byteCount; ++i)
            FUZZ_CHECK(data[i] < g_Call.UsedEntries);
    }
    ++g_Call.Pieces;
    if (g_Call.CallAgain) {
        // The same call again: refused while the first runs.
        FUZZ_CHECK(TextureCompressor::CompressImage(g_Call.Pixels, g_Call.Width, g_Call.Height,
                                                    g_Call.Pitch, g_Call.Options, g_Call.Channels,
                                                    Callback) == ETextureCompressorResult_Busy);
    }
}

i32 Callback(const u8* data, i32 level, u32 byteCount) {
    CheckPiece(data, level, byteCount);
    return 0;
}

i32 ObserveSink(const u8* data, i32 level, u32 byteCount) {
    if (!g_Call.HeaderSeen) {
        FUZZ_CHECK(byteCount == 128 && data[0] == 'D' && data[3] == ' ');
        g_Call.HeaderSeen = true;
        return 0;
    }
    CheckPiece(data, level, byteCount);
    return 0;
}

bool BuildsChain(const TextureCompressorOptions& o) {
    return o.MipMode != 33 && !(o.MipMode == 31 && o.MipCount == 0);
}

bool IsBlock(i16 format) {
    return format >= 10 && format <= 13;
}

// The sides after the rescale rule, the face width, and the pieces of every face: the working
// image's sides (raised to 4 for the block formats) halved rounding up down to 1 x 1, or to
// MipCount levels with MipMode 31.
void PlanCall(CCall& call) {
    const TextureCompressorOptions& o = call.Options;
    call.NewWidth = call.Width;
    call.NewHeight = call.Height;
    if (o.RescaleRule >= 1 && o.RescaleRule <= 3 &&
        (!IsPowerOfTwo(call.Width) || !IsPowerOfTwo(call.Height))) {
        const auto rule = [&](u32 side) {
            return o.RescaleRule == 1   ? NearestPowerOfTwo(side)
                   : o.RescaleRule == 2 ? NextPowerOfTwo(side)
                                        : PreviousPowerOfTwo(side);
        };
        call.RescaleImpossible = rule(call.Width) < 0 || rule(call.Height) < 0;
        if (!call.RescaleImpossible) {
            call.NewWidth = u32(rule(call.Width));
            call.NewHeight = u32(rule(call.Height));
        }
    }
    const bool cube = o.TextureKind == kCompressorTextureKindCube;
    u32 face = o.MipMode == 32 && BuildsChain(o) ? call.NewWidth / 2 : call.NewWidth;
    call.FaceWidth = cube ? face / 6 : face;
    call.Faces = cube ? 6 : 1;
    const bool block = IsBlock(o.FormatCode);
    u32 w = block ? std::max(call.FaceWidth, 4u) : call.FaceWidth;
    u32 h = block ? std::max(call.NewHeight, 4u) : call.NewHeight;
    std::vector<CPiece> facePieces;
    for (i32 k = 0;; ++k) {
        facePieces.push_back({k, ExpectedPieceSize(o.FormatCode, w, h)});
        if (!BuildsChain(o) || (w <= 1 && h <= 1) || (o.MipMode == 31 && k + 1 >= o.MipCount))
            break;
        w = (w + 1) / 2, h = (h + 1) / 2;
    }
    if (o.FormatCode == 20)
        call.Expected.push_back({0, kPaletteBytes, true});
    for (u32 f = 0; f < call.Faces; ++f)
        call.Expected.insert(call.Expected.end(), facePieces.begin(), facePieces.end());
}

// The answer of the entry's checks, in their order; 0 when the call is to compress.
i32 ExpectedResult(const CCall& call, u64 imageLimit) {
    const TextureCompressorOptions& o = call.Options;
    const bool block = IsBlock(o.FormatCode);
    const u32 faceWidth = o.TextureKind == kCompressorTextureKindCube ? call.Width / 6 : call.Width;
    if (!call.Pixels)
        return -1;
    if (call.Channels != 3 && call.Channels != 4)
        return -2;
    if (block && o.RescaleRule == 0 && (!IsPowerOfTwo(faceWidth) || !IsPowerOfTwo(call.Height)))
        return -3;
    if (call.RescaleImpossible)
        return -3;
    if (BuildsChain(o) && o.MipMode != 32 && o.MipFilter == 135) {
        const u32 w = block ? std::max(call.FaceWidth, 4u) : call.FaceWidth;
        const u32 h = block ? std::max(call.NewHeight, 4u) : call.NewHeight;
        if (!IsPowerOfTwo(w) || !IsPowerOfTwo(h))
            return -3;
    }
    if (o.FormatCode < 10 || o.FormatCode > 22)
        return -6;
    if ((call.NewWidth != call.Width || call.NewHeight != call.Height) &&
        ResampleLargestBuffer(call.Width, call.Height, call.Channels, call.NewWidth,
                              call.NewHeight) > imageLimit)
        return -4;
    const u32 w = block ? std::max(call.FaceWidth, 4u) : call.FaceWidth;
    const u32 h = block ? std::max(call.NewHeight, 4u) : call.NewHeight;
    if (u64(w) * h * 4 > imageLimit || ExpectedPieceSize(o.FormatCode, w, h) > imageLimit ||
        (o.FormatCode == 20 && PaletteWorkingBytes(w, h) > imageLimit))
        return -4;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const u8* data, size_t size) {
    CFuzzReader in{data, size};
    CCall call;
    TextureCompressorOptions& o = call.Options;
    auto i16Of = [&] { return i16(u16(in.Byte() | in.Byte() << 8)); };
    o.RescaleRule = i32(in.Word());
    o.Reserved = in.Byte();
    o.MipMode = i16Of();
    o.MipCount = i16Of();
    o.MipFilter = i16Of();
    o.OneBitAlpha = in.Byte();
    o.NormalMap = in.Byte();
    o.ScaleFade = in.Byte();
    o.AlphaBorder = in.Byte();
    o.ColourBorder = in.Byte();
    for (u8& c : o.BorderColour)
        c = in.Byte();
    o.FadeColour = in.Byte();
    o.FadeAlpha = in.Byte();
    for (u8& c : o.FadeToColour)
        c = in.Byte();
    o.FadeToAlpha = i32(in.Word());
    o.FadeStartLevel = i32(in.Word());
    o.FadeAmount = i32(in.Word());
    o.DitherOnLoad = in.Byte();
    o.DitherEachLevel = in.Byte();
    o.EqualChannelWeights = in.Byte();
    o.Dxt1ForceFourColours = in.Byte();
    o.TextureKind = i16Of();
    o.FormatCode = i16Of();
    o.SwapRedBlue = in.Byte();

    // The windowed sinc filters every level from the top level: chains stay small.
    const u32 sides = BuildsChain(o) ? 33 : 65;
    call.Width = in.Byte() % sides;
    call.Height = in.Byte() % sides;
    call.Channels = in.Byte();
    const i32 pitch = i32(call.Width * call.Channels) + i8(in.Byte());
    call.Pitch = u32(std::max(pitch, 0));
    const u8 flags = in.Byte();
    call.CallAgain = flags & 4;

    // Rows as the compressor reads them: row r at r x pitch, width x channels bytes long.
    const u64 rowBytes = u64(call.Width) * std::min(call.Channels, 4u);
    const u64 extent = call.Height ? u64(call.Height - 1) * call.Pitch + rowBytes : 0;
    std::vector<u8> pixels(std::max<u64>(extent, 1), 0);
    const std::string rest = in.Bytes(pixels.size());
    std::copy(rest.begin(), rest.end(), pixels.begin());
    call.Pixels = flags & 1 ? nullptr : pixels.data();
    PlanCall(call);

    const u64 oldLimit = CPlugFileImg::GetImageLimit();
    const u64 limit = flags >> 3 ? u64(flags >> 3) * 256 : oldLimit;
    CPlugFileImg::SetImageLimit(limit);
    const bool withCallback = !(flags & 2);
    g_Call = call;
    TextureCompressor::SetDiscardSinkObserver(ObserveSink);
    const i32 result =
        TextureCompressor::CompressImage(call.Pixels, call.Width, call.Height, call.Pitch, o,
                                         call.Channels, withCallback ? Callback : nullptr);
    TextureCompressor::SetDiscardSinkObserver(nullptr);
    CPlugFileImg::SetImageLimit(oldLimit);

    FUZZ_CHECK(result == ExpectedResult(call, std::min<u64>(limit, UINT32_MAX)));
    FUZZ_CHECK(g_Call.Pieces == (result == 0 ? call.Expected.size() : 0));
    FUZZ_CHECK(g_Call.HeaderSeen == (result == 0 && !withCallback));
    return 0;
}
