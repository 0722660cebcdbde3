#pragma once
// GxImage, the picture codecs' own record: a size, a bit depth, a row pitch, one pixel block and
// the masks that say where each channel lies in a pixel read as a little-endian number. The TGA
// reader and writer and the JPEG reader fill it; CPlugFileImg::FromCodecImage turns it into
// the engine's image (B, G, R, A bytes, rows bottom-up).
//
// Every file these readers see may come from a player: each count and size is checked against
// the bytes left and the image limit of CPlugFileImg before anything is allocated, and a file
// that cannot be read whole fails with a log line (never a picture of uninitialised bytes).
#include "core/base/ClassicString.h"
#include "platform/Types.h"

class CClassicBuffer;

class GxImage {
public:
    GxImage() = default;
    GxImage(const GxImage&) = delete;
    GxImage& operator=(const GxImage&) = delete;
    // Frees the pixel block (delete[]) and the palette.
    virtual ~GxImage();

    // Per channel B, G, R, A (in that order) from the masks: mask 0 gives right shift 32, left
    // shift 8, byte offset 255; otherwise the right shift is the mask's trailing zeros, the left
    // shift 8 minus the run of ones that follows, and the byte offset right shift / 8 when that
    // run is exactly 8 bits, else 255.
    void ComputeChannelShifts();

    // Reads a TGA picture: types 1 (colour-mapped), 2 (true colour: 15, 16, 24, 32 bits), 3
    // (grey) and their run-length forms 9, 10, 11, stored bottom row first or top row first.
    // The block holds the file's pixels with row 0 the picture's bottom row; a colour-mapped
    // picture keeps its indexes and a 256-entry palette. False (with a log line) for a header
    // outside those rules, a side of 0, a picture above the image limit or a short file.
    bool ReadTga(CClassicBuffer& stream);
    // Writes an uncompressed 24- or 32-bit true-colour TGA, bottom row first. False, writing
    // nothing, for other depths, no pixels or a side of 0 or above 65535; false when the stream
    // takes fewer bytes than given.
    bool WriteTga(CClassicBuffer& stream) const;
    // Reads the JPEG file at the path (through the engine's file stream) into 24-bit B, G, R
    // pixels (8-bit for a grey picture), rows bottom-up. False after the log line "File Error"
    // when the file cannot be opened or decoded.
    bool LoadJpg(CClassicWideStringRef path);
    // The same from JPEG bytes in memory (what LoadJpg runs once the file is read). False,
    // with a log line from the decoder, when they cannot be decoded.
    bool DecodeJpg(const u8* data, u64 size);

    // The conversions into a block of width x height texels of 1, 3 or 4 bytes, rows in block
    // order: grey bytes; B, G, R (from 24-bit, palette or 15/16-bit pixels); B, G, R, A (from
    // 32-bit or 15/16-bit pixels, oneBitAlpha true unless some alpha byte is neither 0 nor 255).
    void CopyToGrey(u8* destination) const;
    void CopyToBGR(u8* destination) const;
    void CopyToBGRA(u8* destination, bool* oneBitAlpha) const;

    // True unless some alpha byte of the B, G, R, A texels is neither 0 nor 255.
    static bool IsOneBitAlpha(const u8* bgra, u64 texels);

    // Gives the pixel block to the caller (who frees it with delete[]); the image keeps none.
    u8* DetachPixels();

    u32 m_Width = 0;
    u32 m_Height = 0;
    u32 m_Bits = 0;
    u32 m_Pitch = 0;
    u8* m_Pixels = nullptr;
    u32 m_RedMask = 0;
    u32 m_GreenMask = 0;
    u32 m_BlueMask = 0;
    u32 m_AlphaMask = 0;
    u32 m_PaletteSize = 0;
    // Entries (B << 16) | (G << 8) | R, indexed by the pixel value.
    u32* m_Palette = nullptr;
    // Per channel B, G, R, A.
    u8 m_LeftShift[4] = {};
    u8 m_RightShift[4] = {};
    u8 m_ByteOffset[4] = {};
};

// Layouts the JPEG decoder writes: R, G, B rows top row first, or B, G, R rows bottom row first
// (the image's). A grey picture is one byte per texel in both.
enum class EJpegLayout : u32 { RgbTopFirst, BgrBottomFirst };

// Decodes JPEG bytes from memory with libjpeg's default settings into a new block (delete[]) of
// width x height x (bits / 8) bytes without row padding. Refused (false, a log line): pictures
// whose output is not 1 or 3 components (CMYK, YCCK), larger than the image limit, needing
// more decoder memory than twice that limit, or progressive with more scans than the scan
// limit. Warnings (corrupt data, a premature end) are logged once and the picture decodes.
bool GxJpegDecode(const u8* data, u64 size, EJpegLayout layout, u8** pixels, u32* width,
                  u32* height, u32* bits);
// The JPEG file at the path, read through the engine's file stream, decoded as R, G, B rows
// top row first. False when it cannot be opened or decoded.
bool GxJpegRead(CClassicWideStringRef path, u8** pixels, u32* width, u32* height, u32* bits);
// The most scans a progressive picture may have (500 unless set); tests lower it.
u32 GxJpegGetScanLimit();
void GxJpegSetScanLimit(u32 scans);
