#pragma once
// A small reader of DDS files with DXT1, DXT3 or DXT5 data, for the tests, the benchmark and a
// fuzz target: the engine writes DDS files but has no class that reads them. It checks the
// header, finds each level's span inside the file and hands the blocks to a CPlugFileImg, whose
// GetPixel decodes them. Rows stay in the file's order (row 0 is the top row).
//
// Untrusted bytes: every size is checked against the file before anything is allocated, and
// the image's block is never larger than the data the file holds.
#include "platform/Types.h"

#include <string>
#include <vector>

class CPlugFileImg;

namespace ddsread {

struct DdsInfo {
    u32 Width = 0;
    u32 Height = 0;
    // Levels the file holds (its mip-map count, 1 when 0).
    u32 Levels = 0;
    // "DXT1", "DXT3" or "DXT5" as read.
    char FourCc[5] = {};
    u32 Flags = 0;
    u32 LinearSize = 0;
    u32 Caps = 0;
    // The image format (CPlugFileImg::EFormat_DXT1, 3 or 5) and bytes per 4 x 4 block.
    u32 Format = 0;
    u32 BlockBytes = 0;
    // The bytes of all levels, from offset 128.
    u64 DataBytes = 0;
};

// Reads the header and checks the levels' spans: false with a reason in *error when the bytes
// are no DDS file of a DXT format or hold fewer bytes than their levels need.
bool ReadDdsHeader(const u8* data, u64 size, DdsInfo& info, std::string* error);
// ReadDdsHeader, then the image becomes the file's picture: its size, the DXT format, the
// levels' blocks (a chain when there are several). False, the image untouched, on bad bytes.
bool ReadDds(const u8* data, u64 size, CPlugFileImg& image, DdsInfo& info, std::string* error);
// The texels of a level of an image ReadDds filled, as B | G << 8 | R << 16 | A << 24, row by
// row from the file's first row.
std::vector<u32> DecodeLevel(CPlugFileImg& image, u32 level, u32* width, u32* height);

} // namespace ddsread
