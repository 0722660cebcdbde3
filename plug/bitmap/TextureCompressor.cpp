#include "plug/bitmap/TextureCompressor.h"

#include "core/base/ClassicLog.h"
#include "core/base/Folded.h"
#include "platform/Endian.h"
#include "plug/bitmap/DxtEncoder.h"
#include "plug/bitmap/PlugFileImg.h"
#include "plug/bitmap/TextureDither.h"
#include "plug/bitmap/TextureMipFilters.h"
#include "plug/bitmap/TextureResample.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

namespace {

// The context of the call that runs; null between calls.
constinit CompressorContext* g_CompressorContext = nullptr;
constinit CompressorWriteCallback g_DiscardSinkObserver = nullptr;

// Where the output of a call without callback goes.
i32 DiscardSink(const u8* data, i32 level, u32 byteCount) {
    if (g_DiscardSinkObserver)
        g_DiscardSinkObserver(data, level, byteCount);
    return 0;
}

bool IsPowerOfTwo(u32 side) {
    return side != 0 && (side & (side - 1)) == 0;
}

bool IsBlockFormat(i16 format) {
    return format >= ETextureCompressorFormat_Dxt1 && format <= ETextureCompressorFormat_Dxt5;
}

u32 DxtModeOf(i16 format) {
    switch (format) {
        case ETextureCompressorFormat_Dxt1a:
            return EDxtEncodeMode_AlphaCompare;
        case ETextureCompressorFormat_Dxt3:
            return EDxtEncodeMode_ExplicitAlpha;
        case ETextureCompressorFormat_Dxt5:
            return EDxtEncodeMode_InterpolatedAlpha;
        default:
            return EDxtEncodeMode_Opaque;
    }
}

const char* FourCcOf(i16 format) {
    switch (format) {
        case ETextureCompressorFormat_Dxt3:
            return "DXT3";
        case ETextureCompressorFormat_Dxt5:
            return "DXT5";
        default:
            return "DXT1";
    }
}

u32 BytesPerPixel(i16 format) {
    switch (format) {
        case ETextureCompressorFormat_Palette8:
            return 1;
        case ETextureCompressorFormat_B8G8R8:
            return 3;
        case ETextureCompressorFormat_B8G8R8A8:
        case ETextureCompressorFormat_Copy32a:
        case ETextureCompressorFormat_Copy32b:
            return 4;
        default:
            return 2;
    }
}

// The bytes one level of w x h working pixels takes in the format.
u64 LevelByteSize(i16 format, u32 width, u32 height) {
    if (IsBlockFormat(format))
        return DxtSurfaceSize(width, height, DxtModeOf(format));
    return u64(width) * height * BytesPerPixel(format);
}

// A chain is built unless MipMode is 33, or 31 with no levels.
bool BuildsChain(const TextureCompressorOptions& options) {
    return options.MipMode != kCompressorMipModeNone &&
           !(options.MipMode == kCompressorMipModeCount && options.MipCount == 0);
}

// The largest working buffer a call may allocate: the image limit, and the callback's 32-bit
// byte count.
u64 BufferLimit() {
    return std::min<u64>(CPlugFileImg::GetImageLimit(), UINT32_MAX);
}

std::unique_ptr<u8[]> AllocateZeroed(u64 size) {
    return std::unique_ptr<u8[]>(new (std::nothrow) u8[size]());
}

// Rule 1, 2 or 3 with a side that is not a power of two: the picture is resampled.
bool Rescales(const TextureCompressorOptions& options, u32 width, u32 height) {
    return options.RescaleRule >= 1 && options.RescaleRule <= 3 &&
           (!IsPowerOfTwo(width) || !IsPowerOfTwo(height));
}

// The side the rescale rule chooses; -1 when it has none.
i64 RescaledSide(i32 rule, u32 side) {
    return rule == 1   ? NearestPowerOfTwo(side)
           : rule == 2 ? NextPowerOfTwo(side)
                       : PreviousPowerOfTwo(side);
}

u32 HalfSide(u32 side) {
    return u32((u64(side) + 1) / 2);
}

// A byte from a value already offset by 0.5: truncated, clamped to 0..255, NaN as 0.
u8 TruncToByte(f64 value) {
    if (!(value > 0))
        return 0;
    return u8(std::min(value, 255.0));
}

// The mip count of the discarded header: 0 without a chain, floor(log2(largest side)) + 1 over
// the working image's sides, at most MipCount (and at least 1) with MipMode 31.
u32 ChainLevelCount(const TextureCompressorOptions& options, u32 width, u32 height) {
    if (!BuildsChain(options))
        return 0;
    const bool block = IsBlockFormat(options.FormatCode);
    const u32 side = block ? std::max({width, height, 4u}) : std::max(width, height);
    const u32 levels = u32(std::bit_width(side));
    if (options.MipMode == kCompressorMipModeCount)
        return u32(std::clamp<i32>(options.MipCount, 1, i32(std::max(levels, 1u))));
    return levels;
}

void LogNotEnoughMemory(u32 width, u32 height, u64 bytes) {
    ClassicLogFormatLine("TextureCompressor : Not enough memory for a level of %u x %u (%" PRIu64
                         " bytes, limit %" PRIu64 ")",
                         width, height, bytes, BufferLimit());
}

} // namespace

void TextureCompressor::SetDiscardSinkObserver(CompressorWriteCallback observer) {
    g_DiscardSinkObserver = observer;
}

i32 TextureCompressor::CompressImage(const u8* pixels, u32 width, u32 height, u32 pitch,
                                     const TextureCompressorOptions& options, u32 channels,
                                     CompressorWriteCallback callback) {
    const i16 format = options.FormatCode;
    const u32 faceWidth = options.TextureKind == kCompressorTextureKindCube ? width / 6 : width;
    if (!pixels) {
        ClassicLogFormatLine("TextureCompressor : no pixels");
        return ETextureCompressorResult_NoPixels;
    }
    if (channels != 3 && channels != 4) {
        ClassicLogFormatLine("TextureCompressor : %u bytes per pixel, 3 or 4 expected", channels);
        return ETextureCompressorResult_BadChannels;
    }
    if (IsBlockFormat(format) && options.RescaleRule == 0 &&
        (!IsPowerOfTwo(faceWidth) || !IsPowerOfTwo(height))) {
        ClassicLogFormatLine("TextureCompressor : format %d needs sides that are powers of two, "
                             "not %u x %u",
                             format, faceWidth, height);
        return ETextureCompressorResult_NotPowerOfTwo;
    }
    u32 newWidth = width, newHeight = height;
    if (Rescales(options, width, height)) {
        const i64 w = RescaledSide(options.RescaleRule, width);
        const i64 h = RescaledSide(options.RescaleRule, height);
        if (w < 0 || h < 0) {
            ClassicLogFormatLine("TextureCompressor : rescale rule %d has no power of two for "
                                 "%u x %u",
                                 options.RescaleRule, width, height);
            return ETextureCompressorResult_NotPowerOfTwo;
        }
        newWidth = u32(w), newHeight = u32(h);
    }
    if (BuildsChain(options) && options.MipMode != kCompressorMipModeInPicture &&
        options.MipFilter == ETextureMipFilter_FftLowPass) {
        // The low-pass filter transforms rows and columns of the working image's sides.
        const u32 face =
            options.TextureKind == kCompressorTextureKindCube ? newWidth / 6 : newWidth;
        const u32 w = IsBlockFormat(format) ? std::max(face, 4u) : face;
        const u32 h = IsBlockFormat(format) ? std::max(newHeight, 4u) : newHeight;
        if (!IsPowerOfTwo(w) || !IsPowerOfTwo(h)) {
            ClassicLogFormatLine("TextureCompressor : mip filter %d needs sides that are powers "
                                 "of two, not %u x %u",
                                 options.MipFilter, w, h);
            return ETextureCompressorResult_NotPowerOfTwo;
        }
    }
    if (format < ETextureCompressorFormat_Dxt1 || format > ETextureCompressorFormat_Copy32b) {
        ClassicLogFormatLine("TextureCompressor : format code %d is not supported", format);
        return ETextureCompressorResult_BadFormat;
    }
    if (g_CompressorContext) {
        ClassicLogFormatLine("TextureCompressor : refused a call made while another runs");
        return ETextureCompressorResult_Busy;
    }

    std::unique_ptr<CompressorContext> context(new (std::nothrow) CompressorContext());
    if (!context) {
        LogNotEnoughMemory(width, height, sizeof(CompressorContext));
        return ETextureCompressorResult_NoMemory;
    }
    context->Options = options;
    context->Source = {width, height, channels, pixels, pitch};
    context->Callback = callback ? callback : DiscardSink;
    // Sides that are not powers of two, with a rule that chooses them: a resampled copy, freed at
    // the end of the call.
    std::unique_ptr<u8[]> rescaled;
    if (newWidth != width || newHeight != height) {
        const u64 largest = ResampleLargestBuffer(width, height, channels, newWidth, newHeight);
        if (largest <= BufferLimit())
            rescaled = ResampleImage(pixels, width, height, channels, pitch, newWidth, newHeight);
        if (!rescaled) {
            LogNotEnoughMemory(newWidth, newHeight, largest);
            return ETextureCompressorResult_NoMemory;
        }
        context->Source = {newWidth, newHeight, channels, rescaled.get(), newWidth * channels};
    }
    // The global is cleared however the loop ends, also by an exception from the callback.
    struct CContextScope {
        explicit CContextScope(CompressorContext* context) { g_CompressorContext = context; }
        ~CContextScope() { g_CompressorContext = nullptr; }
        CContextScope(const CContextScope&) = delete;
        CContextScope& operator=(const CContextScope&) = delete;
    } scope(context.get());
    return RunLevelLoop(*context);
}

i32 TextureCompressor::RunLevelLoop(CompressorContext& context) {
    const TextureCompressorOptions& options = context.Options;
    const SourceImageDesc& source = context.Source;
    const bool cube = options.TextureKind == kCompressorTextureKindCube;
    const bool inPicture = options.MipMode == kCompressorMipModeInPicture;
    // With the chain in the picture each face is twice its width: the top level on the left, the
    // smaller levels after it.
    u32 faceWidth = inPicture ? source.Width / 2 : source.Width;
    if (cube)
        faceWidth /= 6;
    const u32 faceStride = inPicture ? faceWidth * 2 : faceWidth;
    const u32 faceCount = cube ? 6 : 1;

    const double perceptual[3] = {0.309, 0.609, 0.082}, equal[3] = {1, 1, 1};
    const double* weights = options.EqualChannelWeights ? equal : perceptual;
    const double length =
        std::sqrt(weights[0] * weights[0] + weights[1] * weights[1] + weights[2] * weights[2]);
    for (u32 c = 0; c < 3; ++c)
        context.ColourWeights[c] =
            f32(length != 0 && length != 1 ? weights[c] / length : weights[c]);

    const bool block = IsBlockFormat(options.FormatCode);
    CompressorImage image;
    image.Width = block ? std::max(faceWidth, 4u) : faceWidth;
    image.Height = block ? std::max(source.Height, 4u) : source.Height;
    const u64 imageBytes = u64(image.Width) * image.Height * 4;
    const u64 levelBytes = LevelByteSize(options.FormatCode, image.Width, image.Height);
    const u64 paletteBytes = options.FormatCode == ETextureCompressorFormat_Palette8
                                 ? PaletteWorkingBytes(image.Width, image.Height)
                                 : 0;
    if (imageBytes > BufferLimit() || levelBytes > BufferLimit() || paletteBytes > BufferLimit()) {
        LogNotEnoughMemory(image.Width, image.Height,
                           std::max({imageBytes, levelBytes, paletteBytes}));
        return ETextureCompressorResult_NoMemory;
    }

    if (context.Callback == DiscardSink)
        SendDdsHeader(context, faceWidth);
    for (u32 face = 0; face < faceCount; ++face) {
        const std::unique_ptr<u8[]> pixels = AllocateZeroed(imageBytes);
        const std::unique_ptr<u8[]> output = pixels ? AllocateZeroed(levelBytes) : nullptr;
        if (!output) {
            LogNotEnoughMemory(image.Width, image.Height, imageBytes + levelBytes);
            return ETextureCompressorResult_NoMemory;
        }
        image.Pixels = pixels.get();
        const u32 faceStart = face * faceStride;
        FillWorkingImage(context, image, faceStart * source.Channels, faceWidth, source.Height);
        if (!BuildsChain(options)) {
            const i32 result = SendLevel(context, image, 0, output.get());
            if (result != ETextureCompressorResult_Done)
                return result;
            continue;
        }
        const i32 result = RunChain(context, image, faceStart, faceWidth, output.get());
        if (result != ETextureCompressorResult_Done)
            return result;
    }
    return ETextureCompressorResult_Done;
}

i32 TextureCompressor::RunChain(CompressorContext& context, const CompressorImage& top,
                                u32 faceStart, u32 faceWidth, u8* output) {
    const TextureCompressorOptions& options = context.Options;
    const SourceImageDesc& source = context.Source;
    const bool inPicture = options.MipMode == kCompressorMipModeInPicture;
    std::unique_ptr<MipLevelList> chain;
    if (!inPicture) {
        chain = BuildMipChain(top.Pixels, top.Width, top.Height, options.MipFilter,
                              &FoldedReturnZero<i32>);
        if (!chain) {
            LogNotEnoughMemory(top.Width, top.Height, u64(top.Width) * top.Height * 4);
            return ETextureCompressorResult_NoMemory;
        }
    }
    // The level being emitted and the one made from it; the top level is the working image.
    const u64 topBytes = u64(top.Width) * top.Height * 4;
    const std::unique_ptr<u8[]> buffers[2] = {AllocateZeroed(topBytes), AllocateZeroed(topBytes)};
    if (!buffers[0] || !buffers[1]) {
        LogNotEnoughMemory(top.Width, top.Height, topBytes * 2);
        return ETextureCompressorResult_NoMemory;
    }
    CompressorImage level = top, next;
    // Where the level lies in the picture with MipMode 32: its column from the face's start and
    // its sides there.
    u32 column = 0, pictureWidth = faceWidth, pictureHeight = source.Height;
    f32 fade = 1.0f - f32(options.FadeAmount) / 100.0f;
    for (u32 k = 0;; ++k) {
        if (options.DitherEachLevel) {
            for (u32 y = 0; y < level.Height; ++y)
                for (u32 x = 0; x < level.Width; ++x)
                    DitherPixel(level.Pixels + (u64(y) * level.Width + x) * 4, x, y,
                                options.FormatCode);
        }
        const i32 result = SendLevel(context, level, i32(k), output);
        if (result != ETextureCompressorResult_Done)
            return result;
        if (level.Width <= 1 && level.Height <= 1)
            break;
        if (options.MipMode == kCompressorMipModeCount && i64(k) + 1 >= options.MipCount)
            break;

        next.Width = HalfSide(level.Width);
        next.Height = HalfSide(level.Height);
        next.Pixels = buffers[k % 2].get();
        const u64 nextBytes = u64(next.Width) * next.Height * 4;
        if (inPicture) {
            column += pictureWidth;
            pictureWidth = HalfSide(pictureWidth);
            pictureHeight = HalfSide(pictureHeight);
            // Reads stay inside the face's part of the picture; what lies beyond stays 0.
            const u32 room = column < faceWidth * 2 ? faceWidth * 2 - column : 0;
            std::memset(next.Pixels, 0, nextBytes);
            FillWorkingImage(context, next, (faceStart + column) * source.Channels,
                             std::min({next.Width, pictureWidth, room}),
                             std::min(next.Height, pictureHeight));
        } else if (level.Width < 3 || level.Height < 3) {
            BoxHalve(context, level, next);
        } else {
            std::memcpy(next.Pixels, chain->Levels[k + 1].Pixels, nextBytes);
        }
        level = next;
        ApplyBorders(options, level);
        if (i64(k) + 1 >= options.FadeStartLevel) {
            ApplyFades(options, level, fade);
            fade *= 1.0f - f32(options.FadeAmount) / 100.0f;
        }
        if (options.NormalMap) {
            for (u64 i = 0, count = u64(level.Width) * level.Height; i < count; ++i)
                FadeNormal(level.Pixels + i * 4, 1.0f, false);
        }
    }
    return ETextureCompressorResult_Done;
}

void TextureCompressor::FillWorkingImage(const CompressorContext& context,
                                         const CompressorImage& image, u64 sourceOffset,
                                         u32 sourceWidth, u32 sourceHeight) {
    const TextureCompressorOptions& options = context.Options;
    const SourceImageDesc& source = context.Source;
    for (u32 y = 0; y < sourceHeight; ++y) {
        const u8* from = source.Pixels + u64(y) * source.Pitch + sourceOffset;
        u8* to = image.Pixels + u64(y) * image.Width * 4;
        const bool edgeRow = y == 0 || y + 1 == image.Height;
        for (u32 x = 0; x < sourceWidth; ++x, from += source.Channels, to += 4) {
            u8 pixel[4] = {from[0], from[1], from[2], u8(source.Channels == 4 ? from[3] : 255)};
            if (options.DitherOnLoad)
                DitherPixel(pixel, x, y, options.FormatCode);
            const bool ring = edgeRow || x == 0 || x + 1 == image.Width;
            if (ring && options.AlphaBorder)
                pixel[3] = 0;
            if (ring && options.ColourBorder)
                std::memcpy(pixel, options.BorderColour, 3);
            if (options.OneBitAlpha)
                pixel[3] = pixel[3] >= 127 ? 255 : 0;
            if (options.SwapRedBlue)
                std::swap(pixel[0], pixel[2]);
            std::memcpy(to, pixel, 4);
        }
    }
}

void TextureCompressor::BoxHalve(const CompressorContext& context, const CompressorImage& from,
                                 const CompressorImage& to) {
    for (u32 y = 0; y < to.Height; ++y) {
        const u64 y0 = u64(y) * 2, y1 = std::min<u64>(y0 + 1, from.Height - 1);
        for (u32 x = 0; x < to.Width; ++x) {
            const u64 x0 = u64(x) * 2, x1 = std::min<u64>(x0 + 1, from.Width - 1);
            const u8* a = from.Pixels + (y0 * from.Width + x0) * 4;
            const u8* b = from.Pixels + (y0 * from.Width + x1) * 4;
            const u8* c = from.Pixels + (y1 * from.Width + x0) * 4;
            const u8* d = from.Pixels + (y1 * from.Width + x1) * 4;
            u8* out = to.Pixels + (u64(y) * to.Width + x) * 4;
            for (u32 i = 0; i < 4; ++i)
                out[i] = u8((a[i] + b[i] + c[i] + d[i]) >> 2);
            if (context.Options.OneBitAlpha)
                out[3] = out[3] >= 127 ? 255 : 0;
        }
    }
}

void TextureCompressor::ApplyBorders(const TextureCompressorOptions& options,
                                     const CompressorImage& image) {
    if (!options.AlphaBorder && !options.ColourBorder)
        return;
    for (u32 y = 0; y < image.Height; ++y)
        for (u32 x = 0; x < image.Width; ++x) {
            if (y != 0 && y + 1 != image.Height && x != 0 && x + 1 != image.Width)
                continue;
            u8* pixel = image.Pixels + (u64(y) * image.Width + x) * 4;
            if (options.AlphaBorder)
                pixel[3] = 0;
            if (options.ColourBorder)
                std::memcpy(pixel, options.BorderColour, 3);
        }
}

void TextureCompressor::ApplyFades(const TextureCompressorOptions& options,
                                   const CompressorImage& image, f32 fade) {
    if (!options.FadeColour && !options.FadeAlpha)
        return;
    const f64 p = fade;
    for (u64 i = 0, count = u64(image.Width) * image.Height; i < count; ++i) {
        u8* pixel = image.Pixels + i * 4;
        if (options.FadeColour && options.NormalMap) {
            FadeNormal(pixel, fade, true);
        } else if (options.FadeColour && options.ScaleFade) {
            for (u32 c = 1; c < 3; ++c)
                pixel[c] = TruncToByte(pixel[c] * (2.0 / 255.0) * p * 127.5 + 0.5);
        } else if (options.FadeColour) {
            for (u32 c = 0; c < 3; ++c)
                pixel[c] = TruncToByte(pixel[c] * p + options.FadeToColour[c] * (1 - p) + 0.5);
        }
        if (options.FadeAlpha)
            pixel[3] = TruncToByte(pixel[3] * p + options.FadeToAlpha * (1 - p) + 0.5);
    }
}

void TextureCompressor::FadeNormal(u8* pixel, f32 fade, bool faded) {
    f64 x = pixel[2] * 2 / 255.0 - 1, y = pixel[1] * 2 / 255.0 - 1, z = pixel[0] * 2 / 255.0 - 1;
    if (faded) {
        x *= fade;
        y *= fade;
        z *= 1 - f64(fade);
    }
    const f64 squared = x * x + y * y + z * z;
    if (squared > 1e-12) {
        const f64 length = std::sqrt(squared);
        x /= length, y /= length, z /= length;
    }
    pixel[2] = TruncToByte((x + 1) * 127.5);
    pixel[1] = TruncToByte((y + 1) * 127.5);
    pixel[0] = TruncToByte((z + 1) * 127.5);
}

i32 TextureCompressor::SendLevel(CompressorContext& context, const CompressorImage& image,
                                 i32 level, u8* output) {
    if (!EncodeLevel(context, image, output)) {
        LogNotEnoughMemory(image.Width, image.Height,
                           PaletteWorkingBytes(image.Width, image.Height));
        return ETextureCompressorResult_NoMemory;
    }
    if (context.Options.FormatCode == ETextureCompressorFormat_Palette8 && !context.PaletteSent) {
        u8 palette[kPaletteBytes];
        WritePaletteBytes(context.Palette, palette);
        context.Callback(palette, 0, kPaletteBytes);
        context.PaletteSent = true;
    }
    context.Callback(output, level,
                     u32(LevelByteSize(context.Options.FormatCode, image.Width, image.Height)));
    return ETextureCompressorResult_Done;
}

bool TextureCompressor::EncodeLevel(CompressorContext& context, const CompressorImage& image,
                                    u8* output) {
    const i16 format = context.Options.FormatCode;
    if (format == ETextureCompressorFormat_Palette8) {
        const TextureCompressorOptions& options = context.Options;
        return QuantiseToPalette(image.Pixels, image.Width, image.Height, context.Palette,
                                 options.DitherOnLoad || options.DitherEachLevel,
                                 context.Source.Channels == 3, output);
    }
    const u64 pixelCount = u64(image.Width) * image.Height;
    const u8* pixel = image.Pixels;
    if (IsBlockFormat(format)) {
        const u32 mode = DxtModeOf(format);
        const bool force = format == ETextureCompressorFormat_Dxt1
                               ? context.Options.Dxt1ForceFourColours != 0
                               : format != ETextureCompressorFormat_Dxt1a;
        const double weights[3] = {context.ColourWeights[0], context.ColourWeights[1],
                                   context.ColourWeights[2]};
        // The encoder takes sides up to kDxtMaxSide: a wider image goes one row of blocks at a
        // time, in pieces of at most that width; the blocks come out in the same order.
        const u32 bandHeight = image.Width <= kDxtMaxSide ? kDxtMaxSide : 4;
        u8* out = output;
        for (u32 y = 0; y < image.Height; y += bandHeight) {
            for (u32 x = 0; x < image.Width; x += kDxtMaxSide) {
                DxtSurfaceDesc surface = MakeDxtSurfaceDesc(pixel + (u64(y) * image.Width + x) * 4,
                                                            std::min(image.Width - x, kDxtMaxSide),
                                                            std::min(image.Height - y, bandHeight));
                surface.Pitch = image.Width * 4;
                const u64 bytes = DxtSurfaceSize(surface.Width, surface.Height, mode);
                [[maybe_unused]] const bool encoded =
                    EncodeDxtSurface(surface, mode, weights, std::span<u8>(out, bytes), force);
                assert(encoded);
                out += bytes;
            }
        }
        return true;
    }
    for (u64 i = 0; i < pixelCount; ++i, pixel += 4) {
        const u32 b = pixel[0], g = pixel[1], r = pixel[2], a = pixel[3];
        switch (format) {
            case ETextureCompressorFormat_A4R4G4B4:
                platform::StoreU16Le(output,
                                     u16((a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4));
                output += 2;
                break;
            case ETextureCompressorFormat_A1R5G5B5:
            case ETextureCompressorFormat_X1R5G5B5: {
                const u32 top = format == ETextureCompressorFormat_A1R5G5B5 ? a >> 7 : 0;
                platform::StoreU16Le(output,
                                     u16(top << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3));
                output += 2;
                break;
            }
            case ETextureCompressorFormat_R5G6B5:
                platform::StoreU16Le(output, u16((r >> 3) << 11 | (g >> 2) << 5 | b >> 3));
                output += 2;
                break;
            case ETextureCompressorFormat_B8G8R8:
                std::memcpy(output, pixel, 3);
                output += 3;
                break;
            default: // 17, 21, 22: the pixel as loaded
                std::memcpy(output, pixel, 4);
                output += 4;
                break;
        }
    }
    return true;
}

void TextureCompressor::SendDdsHeader(const CompressorContext& context, u32 faceWidth) {
    const TextureCompressorOptions& options = context.Options;
    const bool noChainMode = options.MipMode == kCompressorMipModeNone;
    u8 header[128] = {};
    std::memcpy(header, "DDS ", 4);
    platform::StoreU32Le(header + 4, 124);
    platform::StoreU32Le(header + 8, noChainMode ? 0x81007 : 0xA1007);
    platform::StoreU32Le(header + 12, context.Source.Height);
    platform::StoreU32Le(header + 16, faceWidth);
    std::memcpy(header + 32, "DDSX", 4); // the first three reserved words
    platform::StoreU32Le(header + 36, 0xFFFFFFFF);
    platform::StoreU32Le(header + 40, 0xFFFFFFFF);
    if (IsBlockFormat(options.FormatCode)) {
        // The level is the working image: sides raised to 4. Without a chain the mip count is 0.
        platform::StoreU32Le(header + 20,
                             u32(LevelByteSize(options.FormatCode, std::max(faceWidth, 4u),
                                               std::max(context.Source.Height, 4u))));
        platform::StoreU32Le(header + 28,
                             ChainLevelCount(options, faceWidth, context.Source.Height));
        platform::StoreU32Le(header + 76, 32);
        platform::StoreU32Le(header + 80, 4);
        std::memcpy(header + 84, FourCcOf(options.FormatCode), 4);
    }
    platform::StoreU32Le(header + 108, noChainMode ? 0x1000 : 0x401008);
    if (options.TextureKind == kCompressorTextureKindCube)
        platform::StoreU32Le(header + 112, 0xFE00);
    context.Callback(header, 0, sizeof header);
}
