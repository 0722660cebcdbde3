#include "plug/bitmap/GxImage.h"

#include "core/base/ClassicBuffer.h"
#include "core/base/ClassicLog.h"
#include "platform/Memory.h"
#include "plug/bitmap/PlugFileImg.h"
#include "system/file/ClassicBufferFile.h"

#include <algorithm>
#include <cinttypes>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <new>

namespace {

// ---------------------------------------------------------------------------------------------
// Reading bytes

// Reads exactly n bytes; false when the stream ends first. A strict stream's throw (a memory
// stream read past its end) is a short file too.
bool ReadExact(CClassicBuffer& stream, void* data, u64 n) {
    u8* out = static_cast<u8*>(data);
    while (n > 0) {
        const u32 want = u32(std::min<u64>(n, 0x40000000));
        const u32 got = stream.Read(out, want);
        if (got == 0)
            return false;
        out += got;
        n -= got;
    }
    return true;
}

// Reads and drops n bytes.
bool Skip(CClassicBuffer& stream, u64 n) {
    u8 scratch[4096];
    while (n > 0) {
        const u32 want = u32(std::min<u64>(n, sizeof scratch));
        if (!ReadExact(stream, scratch, want))
            return false;
        n -= want;
    }
    return true;
}

u16 GetU16(const u8* p) {
    return u16(p[0] | (p[1] << 8));
}

void PutU16(u8* p, u32 value) {
    p[0] = u8(value);
    p[1] = u8(value >> 8);
}

void LogTga(const char* reason) {
    ClassicLogFormatLine("GxImage : TGA %s", reason);
}

// The bytes a stream that knows its size still holds; UINT64_MAX for one that does not.
u64 BytesLeft(const CClassicBuffer& stream) {
    if (!stream.CanSeek())
        return UINT64_MAX;
    const u32 size = stream.GetSize();
    const u32 position = stream.GetPosition();
    return size > position ? size - position : 0;
}

// ---------------------------------------------------------------------------------------------
// TGA

constexpr u32 kTgaHeaderSize = 18;

struct STgaHeader {
    u8 IdLength;
    u8 ColourMapType;
    u8 ImageType;
    u16 ColourMapFirst;
    u16 ColourMapLength;
    u8 ColourMapEntrySize;
    u16 Width;
    u16 Height;
    u8 PixelDepth;
    u8 Descriptor;
};

STgaHeader ParseTgaHeader(const u8 (&b)[kTgaHeaderSize]) {
    STgaHeader h;
    h.IdLength = b[0];
    h.ColourMapType = b[1];
    h.ImageType = b[2];
    h.ColourMapFirst = GetU16(b + 3);
    h.ColourMapLength = GetU16(b + 5);
    h.ColourMapEntrySize = b[7];
    // The origin (bytes 8 to 11) is not consulted.
    h.Width = GetU16(b + 12);
    h.Height = GetU16(b + 14);
    h.PixelDepth = b[16];
    h.Descriptor = b[17];
    return h;
}

// The refusal of a header, or null when it can be read.
const char* CheckTgaHeader(const STgaHeader& h) {
    if (h.ColourMapType >= 2)
        return "colour map type is neither 0 nor 1";
    if (h.PixelDepth == 0 || h.PixelDepth > 32)
        return "pixel depth outside 1 to 32";
    if ((h.Descriptor & 0x0F) != 0 && (h.Descriptor & 0x0F) != 8)
        return "alpha bits are neither 0 nor 8";
    if (h.Descriptor & 0xD0)
        return "descriptor bits 4, 6 or 7 set";
    const u32 type = h.ImageType >= 9 ? h.ImageType - 8u : h.ImageType;
    if (type < 1 || type > 3 || (h.ImageType > 3 && h.ImageType < 9) || h.ImageType > 11)
        return "image type unknown";
    if (h.Width == 0 || h.Height == 0)
        return "picture without texels";
    if ((type == 1 || type == 3) && h.PixelDepth != 8)
        return "colour-mapped or grey picture not of 8 bits";
    if (type == 2 && h.PixelDepth != 15 && h.PixelDepth != 16 && h.PixelDepth != 24 &&
        h.PixelDepth != 32)
        return "true-colour depth other than 15, 16, 24, 32";
    if (type == 1) {
        if (h.ColourMapType != 1)
            return "colour-mapped picture without colour map";
        const u8 e = h.ColourMapEntrySize;
        if (e != 15 && e != 16 && e != 24 && e != 32)
            return "colour map entries other than 15, 16, 24, 32 bits";
    }
    return nullptr;
}

// A 5-5-5 pixel (red in bits 10 to 14) as (B << 16) | (G << 8) | R, each value v as v << 3.
u32 PackedFrom555(u32 pixel) {
    const u32 r = ((pixel >> 10) & 31) << 3;
    const u32 g = ((pixel >> 5) & 31) << 3;
    const u32 b = (pixel & 31) << 3;
    return (b << 16) | (g << 8) | r;
}

// Reads the colour map into 256 palette entries: entry i of the map is the colour of index
// first + i; indexes it does not reach stay black.
bool ReadColourMap(CClassicBuffer& stream, const STgaHeader& h, u32* palette) {
    const u32 entryBytes = (h.ColourMapEntrySize + 7u) / 8u;
    u8 entry[4];
    for (u32 i = 0; i < h.ColourMapLength; ++i) {
        if (!ReadExact(stream, entry, entryBytes))
            return false;
        const u32 index = u32(h.ColourMapFirst) + i;
        if (index >= 256)
            continue;
        palette[index] = entryBytes == 2 ? PackedFrom555(GetU16(entry))
                                         : (u32(entry[0]) << 16) | (u32(entry[1]) << 8) | entry[2];
    }
    return true;
}

// Decodes run-length packets into the block: the picture's rows follow each other in file
// order (packets may cross them), row r of the file going to block row rowOf(r).
bool ReadRunLength(CClassicBuffer& stream, u8* block, u32 width, u32 height, u32 pitch,
                   u32 bytesPerPixel, bool topFirst) {
    const u64 total = u64(width) * height;
    u64 done = 0;
    u32 x = 0, fileRow = 0;
    u8* row = block + u64(topFirst ? height - 1 : 0) * pitch;
    u8 pixel[4];
    const auto put = [&](const u8* from) {
        std::memcpy(row + u64(x) * bytesPerPixel, from, bytesPerPixel);
        ++done;
        if (++x == width) {
            x = 0;
            ++fileRow;
            if (fileRow < height)
                row = block + u64(topFirst ? height - 1 - fileRow : fileRow) * pitch;
        }
    };
    while (done < total) {
        u8 packet;
        if (!ReadExact(stream, &packet, 1))
            return false;
        // Pixels past the last one are dropped.
        const u64 count = std::min<u64>((packet & 0x7F) + 1u, total - done);
        if (packet & 0x80) {
            if (!ReadExact(stream, pixel, bytesPerPixel))
                return false;
            for (u64 i = 0; i < count; ++i)
                put(pixel);
        } else {
            for (u64 i = 0; i < count; ++i) {
                if (!ReadExact(stream, pixel, bytesPerPixel))
                    return false;
                put(pixel);
            }
        }
    }
    return true;
}

} // namespace

GxImage::~GxImage() {
    delete[] m_Pixels;
    delete[] m_Palette;
}

bool GxImage::IsOneBitAlpha(const u8* bgra, u64 texels) {
    for (u64 i = 0; i < texels; ++i) {
        const u8 alpha = bgra[4 * i + 3];
        if (alpha != 0 && alpha != 255)
            return false;
    }
    return true;
}

u8* GxImage::DetachPixels() {
    u8* pixels = m_Pixels;
    m_Pixels = nullptr;
    return pixels;
}

void GxImage::ComputeChannelShifts() {
    const u32 masks[4] = {m_BlueMask, m_GreenMask, m_RedMask, m_AlphaMask};
    for (u32 k = 0; k < 4; ++k) {
        const u32 m = masks[k];
        if (m == 0) {
            m_RightShift[k] = 32;
            m_LeftShift[k] = 8;
            m_ByteOffset[k] = 255;
            continue;
        }
        const u32 right = u32(__builtin_ctz(m));
        const u32 shifted = m >> right;
        const u32 ones = shifted == 0xFFFFFFFF ? 32 : u32(__builtin_ctz(~shifted));
        m_RightShift[k] = u8(right);
        m_LeftShift[k] = u8(8 - ones);
        m_ByteOffset[k] = ones == 8 ? u8(right / 8) : 255;
    }
}

bool GxImage::ReadTga(CClassicBuffer& stream) {
    try {
        u8 bytes[kTgaHeaderSize];
        if (!ReadExact(stream, bytes, kTgaHeaderSize)) {
            LogTga("header cut short");
            return false;
        }
        const STgaHeader h = ParseTgaHeader(bytes);
        if (const char* refusal = CheckTgaHeader(h)) {
            LogTga(refusal);
            return false;
        }
        const bool runLength = h.ImageType >= 9;
        const u32 type = runLength ? h.ImageType - 8u : h.ImageType;
        const bool topFirst = (h.Descriptor & 0x20) != 0;

        const u32 bytesPerPixel = (h.PixelDepth + 7u) / 8u;
        const u64 pitch = u64(h.Width) * bytesPerPixel;
        const u64 size = pitch * h.Height;
        // What the image will hold: three bytes per texel for a colour-mapped picture.
        const u64 imageSize = u64(h.Width) * h.Height * (type == 1 ? 3 : bytesPerPixel);
        if (std::max(size, imageSize) > std::min<u64>(CPlugFileImg::GetImageLimit(), UINT32_MAX)) {
            LogTga("picture larger than the image limit");
            return false;
        }

        if (!Skip(stream, h.IdLength)) {
            LogTga("image ID cut short");
            return false;
        }
        std::unique_ptr<u32[]> palette;
        if (type == 1) {
            palette.reset(new u32[256]());
            if (!ReadColourMap(stream, h, palette.get())) {
                LogTga("colour map cut short");
                return false;
            }
        } else if (h.ColourMapType == 1 &&
                   !Skip(stream, u64(h.ColourMapLength) * ((h.ColourMapEntrySize + 7u) / 8u))) {
            LogTga("colour map cut short");
            return false;
        }

        // A stream that knows its size tells a short file before the block is allocated: raw
        // data needs every byte, a run-length packet of 1 + bytesPerPixel bytes gives at most
        // 128 pixels.
        const u64 left = BytesLeft(stream);
        if (left != UINT64_MAX) {
            const u64 most = runLength ? left / (1 + bytesPerPixel) * 128 * bytesPerPixel : left;
            if (size > most) {
                LogTga("pixel data cut short");
                return false;
            }
        }
        std::unique_ptr<u8[]> block(new (std::nothrow) u8[size]);
        if (!block) {
            LogTga("picture larger than the memory left");
            return false;
        }
        platform::AdviseHugePagesWithin(block.get(), size);
        bool complete;
        if (runLength) {
            complete = ReadRunLength(stream, block.get(), h.Width, h.Height, u32(pitch),
                                     bytesPerPixel, topFirst);
        } else if (topFirst) {
            complete = true;
            for (u32 row = h.Height; complete && row-- > 0;)
                complete = ReadExact(stream, block.get() + row * pitch, pitch);
        } else {
            complete = ReadExact(stream, block.get(), size);
        }
        if (!complete) {
            LogTga("pixel data cut short");
            return false;
        }

        delete[] m_Pixels;
        delete[] m_Palette;
        m_Pixels = block.release();
        m_Palette = palette.release();
        m_PaletteSize = m_Palette ? 256 : 0;
        m_Width = h.Width;
        m_Height = h.Height;
        m_Bits = type == 2 ? h.PixelDepth : 8;
        m_Pitch = u32(pitch);
        m_RedMask = m_GreenMask = m_BlueMask = m_AlphaMask = 0;
        if (m_Bits == 15 || m_Bits == 16) {
            m_RedMask = 0x7C00;
            m_GreenMask = 0x03E0;
            m_BlueMask = 0x001F;
        } else if (m_Bits >= 24) {
            m_RedMask = 0xFF0000;
            m_GreenMask = 0xFF00;
            m_BlueMask = 0xFF;
            m_AlphaMask = m_Bits == 32 ? 0xFF000000 : 0;
        }
        ComputeChannelShifts();
        return true;
    } catch (const CClassicBufferException&) {
        LogTga("file cut short");
        return false;
    }
}

bool GxImage::WriteTga(CClassicBuffer& stream) const {
    if ((m_Bits != 24 && m_Bits != 32) || !m_Pixels || m_Width == 0 || m_Height == 0 ||
        m_Width > 0xFFFF || m_Height > 0xFFFF || m_Pitch < u64(m_Width) * (m_Bits / 8)) {
        LogTga("picture that cannot be written");
        return false;
    }
    u8 header[kTgaHeaderSize] = {};
    header[2] = 2;
    PutU16(header + 12, m_Width);
    PutU16(header + 14, m_Height);
    header[16] = u8(m_Bits);
    if (stream.Write(header, kTgaHeaderSize) != kTgaHeaderSize)
        return false;
    const u32 rowBytes = m_Width * (m_Bits / 8);
    for (u32 row = 0; row < m_Height; ++row) {
        if (stream.Write(m_Pixels + u64(row) * m_Pitch, rowBytes) != rowBytes)
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Conversions

namespace {

// Channel k of a 15/16-bit pixel: (pixel >> right shift) << left shift, cut to 8 bits; 0 for a
// channel without mask.
inline u8 Channel(const GxImage& image, u32 pixel, u32 k) {
    const u32 right = image.m_RightShift[k];
    return right >= 32 ? 0 : u8((pixel >> right) << (image.m_LeftShift[k] & 31));
}

// Byte k of a pixel from its byte offset; 0 for a channel that is not a whole byte.
inline u8 ByteAt(const GxImage& image, const u8* pixel, u32 k) {
    const u32 offset = image.m_ByteOffset[k];
    return offset < image.m_Bits / 8 ? pixel[offset] : 0;
}

bool IsIdentityLayout(const GxImage& image, u32 bytes) {
    for (u32 k = 0; k < bytes; ++k) {
        if (image.m_ByteOffset[k] != k)
            return false;
    }
    return true;
}

} // namespace

void GxImage::CopyToGrey(u8* destination) const {
    if (!m_Pixels)
        return;
    for (u32 y = 0; y < m_Height; ++y)
        std::memcpy(destination + u64(y) * m_Width, m_Pixels + u64(y) * m_Pitch, m_Width);
}

void GxImage::CopyToBGR(u8* destination) const {
    if (!m_Pixels)
        return;
    const u64 rowBytes = u64(m_Width) * 3;
    if (m_Bits == 24 && IsIdentityLayout(*this, 3) && m_Pitch == rowBytes) {
        std::memcpy(destination, m_Pixels, rowBytes * m_Height);
        return;
    }
    for (u32 y = 0; y < m_Height; ++y) {
        const u8* from = m_Pixels + u64(y) * m_Pitch;
        u8* to = destination + u64(y) * rowBytes;
        for (u32 x = 0; x < m_Width; ++x, to += 3) {
            if (m_Bits == 24) {
                const u8* pixel = from + u64(x) * 3;
                for (u32 k = 0; k < 3; ++k)
                    to[k] = ByteAt(*this, pixel, k);
            } else if (m_Bits == 8) {
                const u32 entry = m_Palette ? m_Palette[from[x]] : 0;
                to[0] = u8(entry >> 16);
                to[1] = u8(entry >> 8);
                to[2] = u8(entry);
            } else {
                const u32 pixel = GetU16(from + u64(x) * 2);
                for (u32 k = 0; k < 3; ++k)
                    to[k] = Channel(*this, pixel, k);
            }
        }
    }
}

void GxImage::CopyToBGRA(u8* destination, bool* oneBitAlpha) const {
    if (!m_Pixels)
        return;
    const u64 rowBytes = u64(m_Width) * 4;
    if (m_Bits == 32 && IsIdentityLayout(*this, 4) && m_Pitch == rowBytes) {
        std::memcpy(destination, m_Pixels, rowBytes * m_Height);
    } else {
        for (u32 y = 0; y < m_Height; ++y) {
            const u8* from = m_Pixels + u64(y) * m_Pitch;
            u8* to = destination + u64(y) * rowBytes;
            for (u32 x = 0; x < m_Width; ++x, to += 4) {
                if (m_Bits == 32) {
                    for (u32 k = 0; k < 4; ++k)
                        to[k] = ByteAt(*this, from + u64(x) * 4, k);
                } else {
                    const u32 pixel = GetU16(from + u64(x) * 2);
                    for (u32 k = 0; k < 4; ++k)
                        to[k] = Channel(*this, pixel, k);
                }
            }
        }
    }
    if (oneBitAlpha)
        *oneBitAlpha = IsOneBitAlpha(destination, u64(m_Width) * m_Height);
}

// ---------------------------------------------------------------------------------------------
// JPEG

namespace {

constinit u32 s_JpegScanLimit = 500;

// The decoder's error manager; libjpeg's pointer to it is a pointer to its first member.
struct SJpegError {
    jpeg_error_mgr Manager;
    jmp_buf Jump;
    u32 ScanLimit;
};

// Everything one decode changes, kept out of the function that calls setjmp, so that nothing
// it holds is a local changed between setjmp and longjmp. Plain C data only.
struct SJpegJob {
    jpeg_decompress_struct Info;
    SJpegError Error;
    jpeg_progress_mgr Progress;
    const u8* Data;
    u64 Size;
    EJpegLayout Layout;
    u64 Limit;
    u8* Pixels;
    u32 Width, Height, Components;
};

void JpegOutputMessage(j_common_ptr info) {
    char text[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, text);
    ClassicLogFormatLine("GxImage : %s", text);
}

[[noreturn]] void JpegErrorExit(j_common_ptr info) {
    (*info->err->output_message)(info);
    std::longjmp(reinterpret_cast<SJpegError*>(info->err)->Jump, 1);
}

// Stops a progressive picture that keeps adding scans (each may cost a pass over the whole
// coefficient buffer).
void JpegProgress(j_common_ptr info) {
    if (!info->is_decompressor)
        return;
    SJpegError* error = reinterpret_cast<SJpegError*>(info->err);
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > i32(error->ScanLimit)) {
        ClassicLogFormatLine("GxImage : progressive picture of more than %u scans",
                             error->ScanLimit);
        std::longjmp(error->Jump, 1);
    }
}

// The libjpeg calls, in one function that holds no C++ object: a fatal error of the library
// jumps back to its setjmp.
bool RunJpegDecode(SJpegJob* job) {
    job->Info.err = jpeg_std_error(&job->Error.Manager);
    job->Error.Manager.error_exit = JpegErrorExit;
    job->Error.Manager.output_message = JpegOutputMessage;
    job->Error.ScanLimit = s_JpegScanLimit;
    job->Pixels = nullptr;
    if (setjmp(job->Error.Jump)) {
        jpeg_destroy_decompress(&job->Info);
        delete[] job->Pixels;
        job->Pixels = nullptr;
        return false;
    }
    jpeg_create_decompress(&job->Info);
    jpeg_decompress_struct& info = job->Info;
    // Coefficient buffers of a progressive picture are bounded; beyond, the library fails
    // (there is no backing store) instead of allocating.
    info.mem->max_memory_to_use =
        long(2 * std::min<u64>(job->Limit, u64(1) << 40) + (u64(64) << 20));
    job->Progress.progress_monitor = JpegProgress;
    info.progress = &job->Progress;
    jpeg_mem_src(&info, job->Data, static_cast<unsigned long>(job->Size));
    jpeg_read_header(&info, TRUE);

    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    const bool colour = info.num_components == 3 &&
                        (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_RGB);
    if (!grey && !colour) {
        ClassicLogFormatLine("GxImage : JPEG of %d components in colour space %d refused",
                             info.num_components, i32(info.jpeg_color_space));
        jpeg_destroy_decompress(&info);
        return false;
    }
    if (colour)
        info.out_color_space = job->Layout == EJpegLayout::BgrBottomFirst ? JCS_EXT_BGR : JCS_RGB;
    jpeg_calc_output_dimensions(&info);
    const u64 stride = u64(info.output_width) * u32(info.output_components);
    const u64 bytes = stride * info.output_height;
    if (bytes == 0 || bytes > std::min<u64>(job->Limit, UINT32_MAX)) {
        ClassicLogFormatLine("GxImage : JPEG of %u x %u texels larger than the image limit",
                             info.output_width, info.output_height);
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_start_decompress(&info);
    job->Pixels = new (std::nothrow) u8[bytes];
    if (!job->Pixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    platform::AdviseHugePagesWithin(job->Pixels, bytes);
    const u32 height = info.output_height;
    const bool bottomFirst = job->Layout == EJpegLayout::BgrBottomFirst;
    JSAMPROW rows[16];
    while (info.output_scanline < height) {
        const u32 first = info.output_scanline;
        const u32 count = std::min<u32>(16, height - first);
        for (u32 i = 0; i < count; ++i)
            rows[i] = job->Pixels + (bottomFirst ? height - 1 - (first + i) : first + i) * stride;
        jpeg_read_scanlines(&info, rows, count);
    }
    job->Width = info.output_width;
    job->Height = height;
    job->Components = u32(info.output_components);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

// The whole file at the path, read through the engine's file stream; null (size 0) with a log
// line when it cannot be opened or read, or is larger than the image limit.
std::unique_ptr<u8[]> ReadJpegFile(CClassicWideStringRef path, u64* size) {
    *size = 0;
    CClassicBufferFile file;
    if (!file.Open(path, false, false, false, false)) {
        g_ClassicLogLine.Assign("GxImage : Unable to open ");
        ClassicLogAppendWideText(g_ClassicLogLine, path);
        g_ClassicLogLine.Append("\r\n");
        ClassicLogWriteLine();
        return nullptr;
    }
    const u64 bytes = file.GetSize();
    std::unique_ptr<u8[]> data;
    if (bytes <= CPlugFileImg::GetImageLimit())
        data.reset(new (std::nothrow) u8[std::max<u64>(bytes, 1)]);
    if (!data || !ReadExact(file, data.get(), bytes)) {
        ClassicLogFormatLine("GxImage : JPEG file of %" PRIu64 " bytes not read", bytes);
        return nullptr;
    }
    *size = bytes;
    return data;
}

void LogFileError() {
    g_ClassicLogLine.Assign("File Error\r\n");
    ClassicLogWriteLine();
}

} // namespace

u32 GxJpegGetScanLimit() {
    return s_JpegScanLimit;
}

void GxJpegSetScanLimit(u32 scans) {
    s_JpegScanLimit = scans;
}

bool GxJpegDecode(const u8* data, u64 size, EJpegLayout layout, u8** pixels, u32* width,
                  u32* height, u32* bits) {
    SJpegJob job{};
    job.Data = data;
    job.Size = size;
    job.Layout = layout;
    job.Limit = CPlugFileImg::GetImageLimit();
    if (!RunJpegDecode(&job))
        return false;
    *pixels = job.Pixels;
    *width = job.Width;
    *height = job.Height;
    *bits = 8 * job.Components;
    return true;
}

bool GxJpegRead(CClassicWideStringRef path, u8** pixels, u32* width, u32* height, u32* bits) {
    u64 size;
    const std::unique_ptr<u8[]> data = ReadJpegFile(path, &size);
    return data &&
           GxJpegDecode(data.get(), size, EJpegLayout::RgbTopFirst, pixels, width, height, bits);
}

bool GxImage::DecodeJpg(const u8* data, u64 size) {
    u8* pixels;
    u32 width, height, bits;
    if (!GxJpegDecode(data, size, EJpegLayout::BgrBottomFirst, &pixels, &width, &height, &bits))
        return false;
    delete[] m_Pixels;
    delete[] m_Palette;
    m_Palette = nullptr;
    m_PaletteSize = 0;
    m_Pixels = pixels;
    m_Width = width;
    m_Height = height;
    m_Bits = bits;
    m_Pitch = width * (bits / 8);
    m_RedMask = bits == 24 ? 0xFF0000 : 0;
    m_GreenMask = bits == 24 ? 0xFF00 : 0;
    m_BlueMask = bits == 24 ? 0xFF : 0;
    m_AlphaMask = 0;
    ComputeChannelShifts();
    return true;
}

bool GxImage::LoadJpg(CClassicWideStringRef path) {
    u64 size;
    const std::unique_ptr<u8[]> data = ReadJpegFile(path, &size);
    if (data && DecodeJpg(data.get(), size))
        return true;
    LogFileError();
    return false;
}
