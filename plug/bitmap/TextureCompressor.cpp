#include "plug/bitmap/TextureCompressor.h"

#include "core/base/ClassicLog.h"
#include "platform/Endian.h"
#include "plug/bitmap/DxtEncoder.h"
#include "plug/bitmap/PlugFileImg.h"

#include <algorithm>
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

// Why the options ask for something the compressor does not do yet; null when they do not.
const char* UnavailableOption(const TextureCompressorOptions& options, u32 width, u32 height) {
    if (BuildsChain(options))
        return "a mip chain";
    if (options.RescaleRule >= 1 && options.RescaleRule <= 3 &&
        (!IsPowerOfTwo(width) || !IsPowerOfTwo(height)))
        return "rescaling to powers of two";
    if (options.DitherOnLoad || options.DitherEachLevel)
        return "dithering";
    if (options.FormatCode == ETextureCompressorFormat_Palette8)
        return "the palette format";
    return nullptr;
}

// The largest working buffer a call may allocate: the image limit, and the callback's 32-bit
// byte count.
u64 BufferLimit() {
    return std::min<u64>(CPlugFileImg::GetImageLimit(), UINT32_MAX);
}

std::unique_ptr<u8[]> AllocateZeroed(u64 size) {
    return std::unique_ptr<u8[]>(new (std::nothrow) u8[size]());
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
    if (format < ETextureCompressorFormat_Dxt1 || format > ETextureCompressorFormat_Copy32b) {
        ClassicLogFormatLine("TextureCompressor : format code %d is not supported", format);
        return ETextureCompressorResult_BadFormat;
    }
    if (const char* option = UnavailableOption(options, width, height)) {
        ClassicLogFormatLine("TextureCompressor : %s is not available (MipMode %d, MipCount %d, "
                             "RescaleRule %d, %u x %u, dithers %u %u, format %d)",
                             option, options.MipMode, options.MipCount, options.RescaleRule, width,
                             height, options.DitherOnLoad, options.DitherEachLevel, format);
        return ETextureCompressorResult_NotAvailable;
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
    const u32 faceWidth = cube ? source.Width / 6 : source.Width;
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
    if (imageBytes > BufferLimit() || levelBytes > BufferLimit()) {
        LogNotEnoughMemory(image.Width, image.Height, std::max(imageBytes, levelBytes));
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
        FillWorkingImage(context, image, face * source.Channels * faceWidth, faceWidth);
        EncodeLevel(context, image, output.get());
        context.Callback(output.get(), 0, u32(levelBytes));
    }
    return ETextureCompressorResult_Done;
}

void TextureCompressor::FillWorkingImage(const CompressorContext& context,
                                         const CompressorImage& image, u32 sourceOffset,
                                         u32 sourceWidth) {
    const TextureCompressorOptions& options = context.Options;
    const SourceImageDesc& source = context.Source;
    for (u32 y = 0; y < source.Height; ++y) {
        const u8* from = source.Pixels + u64(y) * source.Pitch + sourceOffset;
        u8* to = image.Pixels + u64(y) * image.Width * 4;
        const bool edgeRow = y == 0 || y + 1 == image.Height;
        for (u32 x = 0; x < sourceWidth; ++x, from += source.Channels, to += 4) {
            u8 pixel[4] = {from[0], from[1], from[2], u8(source.Channels == 4 ? from[3] : 255)};
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

void TextureCompressor::EncodeLevel(const CompressorContext& context, const CompressorImage& image,
                                    u8* output) {
    const i16 format = context.Options.FormatCode;
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
        return;
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
        platform::StoreU32Le(header + 76, 32);
        platform::StoreU32Le(header + 80, 4);
        std::memcpy(header + 84, FourCcOf(options.FormatCode), 4);
    }
    platform::StoreU32Le(header + 108, noChainMode ? 0x1000 : 0x401008);
    if (options.TextureKind == kCompressorTextureKindCube)
        platform::StoreU32Le(header + 112, 0xFE00);
    context.Callback(header, 0, sizeof header);
}
