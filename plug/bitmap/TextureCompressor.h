#pragma once
// The texture compressor: turns one 8-bit picture (three or four bytes per pixel, blue first)
// into the data of a texture level (DXT1, DXT1 with one-bit alpha, DXT3, DXT5, four 16-bit
// formats, 24- and 32-bit copies, 8-bit palette indices) and hands every piece of output to the
// caller's write callback. It writes nothing itself. On request it first resamples sides that are
// not powers of two to powers of two, and builds a mip chain itself (filters in
// TextureMipFilters.h, with borders, fades and normal-map renormalisation on every level after the
// first). It can dither the pixels to the format's precision on loading and on every level
// (TextureDither.h).
//
// Each call works on a context of its own, reached through one global pointer: one call runs at
// a time, and a call made while another runs (from inside a callback) is refused. Working
// buffers are bounded by the image limit of CPlugFileImg; one that cannot be had ends the call
// with a failure and a log line, never the process.
#include "platform/Types.h"
#include "plug/bitmap/TexturePalette.h"

// What the compressor is asked to do; read only, copied into the context at the start of every
// call. A plain record in memory, never written to a file.
struct TextureCompressorOptions {
    // A side that is not a power of two: 0 left as it is, 1 nearest power of two, 2 the next
    // power up, 3 the next power down.
    i32 RescaleRule = 0;
    u8 Reserved = 0; // not read
    // 31 builds MipCount levels, 32 the picture holds its own chain, 33 no chain; any other value
    // builds the whole chain down to 1 x 1.
    i16 MipMode = 0;
    i16 MipCount = 0; // levels for MipMode 31; 0 is no chain
    i16 MipFilter = 0;
    u8 OneBitAlpha = 0; // alpha becomes 255 from 127 up, else 0
    u8 NormalMap = 0;
    u8 ScaleFade = 0;
    u8 AlphaBorder = 0;             // alpha 0 on the outer ring of the working image
    u8 ColourBorder = 0;            // BorderColour on that ring
    u8 BorderColour[3] = {0, 0, 0}; // blue, green, red
    u8 FadeColour = 0;
    u8 FadeAlpha = 0;
    u8 FadeToColour[3] = {0, 0, 0};
    i32 FadeToAlpha = 0;
    i32 FadeStartLevel = 0;
    i32 FadeAmount = 0;
    // The ordered dither to the format's precision (TextureDither.h) on every pixel loaded from
    // the source, and on every level of a chain before it is encoded. With the palette format
    // either one diffuses the colours' errors before they are mapped.
    u8 DitherOnLoad = 0;
    u8 DitherEachLevel = 0;
    u8 EqualChannelWeights = 0;  // DXT colour error weights (1, 1, 1) instead of perceptual ones
    u8 Dxt1ForceFourColours = 0; // DXT1 blocks always in the four-colour mode
    i16 TextureKind = 0;         // 80 a 2d picture, 81 a cube map (six faces side by side)
    i16 FormatCode = 0;          // ETextureCompressorFormat
    u8 SwapRedBlue = 0;          // bytes 0 and 2 of every pixel exchanged after loading
};

// FormatCode values.
enum ETextureCompressorFormat : i16 {
    ETextureCompressorFormat_Dxt1 = 10,  // 8 bytes per 4 x 4 block, opaque
    ETextureCompressorFormat_Dxt1a = 11, // 8 bytes per block, transparent texels
    ETextureCompressorFormat_Dxt3 = 12,  // 16 bytes per block, explicit 4-bit alpha
    ETextureCompressorFormat_Dxt5 = 13,  // 16 bytes per block, interpolated alpha
    ETextureCompressorFormat_A4R4G4B4 = 14,
    ETextureCompressorFormat_A1R5G5B5 = 15,
    ETextureCompressorFormat_R5G6B5 = 16,
    ETextureCompressorFormat_B8G8R8A8 = 17, // the pixels as loaded
    ETextureCompressorFormat_B8G8R8 = 18,   // alpha dropped
    ETextureCompressorFormat_X1R5G5B5 = 19,
    ETextureCompressorFormat_Palette8 = 20, // indices into a 256-colour palette
    ETextureCompressorFormat_Copy32a = 21,  // as 17
    ETextureCompressorFormat_Copy32b = 22,  // as 17
};

inline constexpr i16 kCompressorMipModeCount = 31;
inline constexpr i16 kCompressorMipModeInPicture = 32;
inline constexpr i16 kCompressorMipModeNone = 33;
inline constexpr i16 kCompressorTextureKind2d = 80;
inline constexpr i16 kCompressorTextureKindCube = 81;

// Results of TextureCompressor::CompressImage.
enum ETextureCompressorResult : i32 {
    ETextureCompressorResult_Done = 0,
    ETextureCompressorResult_NoPixels = -1,
    ETextureCompressorResult_BadChannels = -2,
    // A block format with a side not a power of two and no rescale rule; a rescale rule without
    // a power of two for a side (0, or above 8192); the low-pass mip filter on sides that are not
    // powers of two.
    ETextureCompressorResult_NotPowerOfTwo = -3,
    ETextureCompressorResult_NoMemory = -4,  // a working buffer could not be had
    ETextureCompressorResult_BadFormat = -6, // a format code outside 10-22
    ETextureCompressorResult_Busy = -7,      // another call runs
};

// Receives one piece of output: its bytes (valid during the call only), the level index (0 for
// every piece when no chain is built) and the byte count. The result is not read.
using CompressorWriteCallback = i32 (*)(const u8* data, i32 level, u32 byteCount);

// The picture a call compresses: row r at Pixels + r x Pitch, Channels bytes per pixel.
struct SourceImageDesc {
    u32 Width = 0;
    u32 Height = 0;
    u32 Channels = 0;
    const u8* Pixels = nullptr;
    u32 Pitch = 0;
};

// The working image of one level or face: Width x Height pixels of four bytes (blue, green, red,
// alpha), zero-filled before it is loaded. The block formats raise both sides to at least 4.
struct CompressorImage {
    u32 Width = 0;
    u32 Height = 0;
    u8* Pixels = nullptr;
};

struct CompressorContext {
    TextureCompressorOptions Options;
    SourceImageDesc Source;
    // Red, green and blue error weights of the DXT fit, of length 1.
    f32 ColourWeights[3] = {0, 0, 0};
    CompressorWriteCallback Callback = nullptr;
    // The palette format's entries, made from the call's first level and sent before it.
    TexturePalette Palette;
    bool PaletteSent = false;
};

class TextureCompressor {
public:
    // Compresses the picture `pixels` (width x height pixels of `channels` bytes, row r at
    // pixels + r x pitch; for a cube map the six faces side by side, each width / 6 wide) in the
    // options' format and hands the output to `callback`, one piece per face and level (for the
    // palette format the 1024-byte palette, made from the first level, comes first). Without a
    // callback the output, behind a DDS header, goes to an internal sink that drops it. The result
    // is an ETextureCompressorResult: the checks run in the order of its values -1 to -3, then -6,
    // before anything is allocated or called; a refusal writes a log line.
    static i32 CompressImage(const u8* pixels, u32 width, u32 height, u32 pitch,
                             const TextureCompressorOptions& options, u32 channels,
                             CompressorWriteCallback callback);

    // Tests only: a function that sees every piece the internal sink receives (null: none).
    static void SetDiscardSinkObserver(CompressorWriteCallback observer);

private:
    static i32 RunLevelLoop(CompressorContext& context);
    // The levels of one face from its filled working image `top`, each encoded and handed to
    // the callback with its index; `output` holds the top level's bytes.
    static i32 RunChain(CompressorContext& context, const CompressorImage& top, u32 faceStart,
                        u32 faceWidth, u8* output);
    // Loads sourceWidth x sourceHeight source pixels from byte `sourceOffset` of each row into
    // the zero-filled image, with the borders on the image's own ring.
    static void FillWorkingImage(const CompressorContext& context, const CompressorImage& image,
                                 u64 sourceOffset, u32 sourceWidth, u32 sourceHeight);
    // The next level by a 2 x 2 box over 8-bit pixels (coordinates clamped to the level).
    static void BoxHalve(const CompressorContext& context, const CompressorImage& from,
                         const CompressorImage& to);
    static void ApplyBorders(const TextureCompressorOptions& options, const CompressorImage& image);
    static void ApplyFades(const TextureCompressorOptions& options, const CompressorImage& image,
                           f32 fade);
    // A pixel's blue, green and red as a normal's z, y, x, faded by `fade` when `faded`, made
    // of length 1 and written back.
    static void FadeNormal(u8* pixel, f32 fade, bool faded);
    // Encodes the level into `output` (false when the palette format's work areas cannot be
    // had).
    static bool EncodeLevel(CompressorContext& context, const CompressorImage& image, u8* output);
    // Encodes the level and hands it to the callback with index `level`, the palette first when
    // it has not been sent yet.
    static i32 SendLevel(CompressorContext& context, const CompressorImage& image, i32 level,
                         u8* output);
    static void SendDdsHeader(const CompressorContext& context, u32 faceWidth);
};
