#include "platform/ui/Template.h"

#include <cstdio>
#include <map>
#include <set>
#include <vector>

namespace ui {

namespace {

std::map<u32, const DialogTemplate*>& Templates() {
    static std::map<u32, const DialogTemplate*> templates;
    return templates;
}

std::map<u32, std::vector<u8>>& Pictures() {
    static std::map<u32, std::vector<u8>> pictures;
    return pictures;
}

u32 ReadU16(std::span<const u8> bytes, size_t at) {
    return u32(bytes[at]) | u32(bytes[at + 1]) << 8;
}

u32 ReadU32(std::span<const u8> bytes, size_t at) {
    return ReadU16(bytes, at) | ReadU16(bytes, at + 2) << 16;
}

constexpr i64 MaxPictureSide = 16384;

} // namespace

const char* ControlKindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Button:
            return "Button";
        case ControlKind::DefButton:
            return "DefButton";
        case ControlKind::Check:
            return "Check";
        case ControlKind::Label:
            return "Label";
        case ControlKind::GroupBox:
            return "GroupBox";
        case ControlKind::Picture:
            return "Picture";
        case ControlKind::ComboList:
            return "ComboList";
        case ControlKind::Slider:
            return "Slider";
        case ControlKind::Progress:
            return "Progress";
        case ControlKind::Edit:
            return "Edit";
        case ControlKind::EditMultiRO:
            return "EditMultiRO";
        case ControlKind::IpAddress:
            return "IpAddress";
        case ControlKind::Tab:
            return "Tab";
    }
    return "?";
}

bool RegisterTemplate(const DialogTemplate& dialogTemplate) {
    const u32 id = dialogTemplate.TemplateId;
    auto& templates = Templates();
    const auto found = templates.find(id);
    if (found != templates.end()) {
        if (found->second == &dialogTemplate)
            return true;
        std::fprintf(stderr, "[ui] dialog template %u is registered twice\n", id);
        return false;
    }
    if (dialogTemplate.WidthDu <= 0 || dialogTemplate.HeightDu <= 0) {
        std::fprintf(stderr, "[ui] dialog template %u has no size\n", id);
        return false;
    }
    std::set<u32> ids;
    for (const ControlTemplate& control : dialogTemplate.Controls) {
        if (!ids.insert(control.Id).second) {
            std::fprintf(stderr, "[ui] dialog template %u has two controls %u\n", id, control.Id);
            return false;
        }
    }
    templates.emplace(id, &dialogTemplate);
    return true;
}

const DialogTemplate* FindTemplate(u32 templateId) {
    const auto& templates = Templates();
    const auto found = templates.find(templateId);
    return found == templates.end() ? nullptr : found->second;
}

void RegisterPicture(u32 resourceId, std::span<const u8> bytes) {
    Pictures()[resourceId].assign(bytes.begin(), bytes.end());
}

std::span<const u8> FindPicture(u32 resourceId) {
    const auto& pictures = Pictures();
    const auto found = pictures.find(resourceId);
    if (found == pictures.end())
        return {};
    return found->second;
}

bool ReadPictureSize(std::span<const u8> bytes, PictureSize& size, std::string& problem) {
    size = {};
    // File header (14 bytes) and the size field of the info header that follows.
    if (bytes.size() < 18 || bytes[0] != 'B' || bytes[1] != 'M') {
        problem = "not a BMP file";
        return false;
    }
    const u32 headerSize = ReadU32(bytes, 14);
    i64 width = 0;
    i64 height = 0;
    if (headerSize == 12) {
        if (bytes.size() < 14 + 12) {
            problem = "truncated BMP header";
            return false;
        }
        width = ReadU16(bytes, 18);
        height = ReadU16(bytes, 20);
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (bytes.size() < 14 + 40) {
            problem = "truncated BMP header";
            return false;
        }
        width = i32(ReadU32(bytes, 18));
        height = i32(ReadU32(bytes, 22));
        if (height < 0)
            height = -height; // top-down rows
    } else {
        problem = "unknown BMP header size";
        return false;
    }
    if (width <= 0 || height <= 0 || width > MaxPictureSide || height > MaxPictureSide) {
        problem = "BMP size out of range";
        return false;
    }
    size = {i32(width), i32(height)};
    return true;
}

bool DecodePicture(std::span<const u8> bytes, PicturePixels& pixels, std::string& problem) {
    pixels = {};
    PictureSize size;
    if (!ReadPictureSize(bytes, size, problem))
        return false;
    if (i64(size.Width) * size.Height > MaxPicturePixels) {
        problem = "BMP too large to show";
        return false;
    }
    const u32 headerSize = ReadU32(bytes, 14);
    const bool core = headerSize == 12;
    const u32 bitCount = ReadU16(bytes, core ? 24 : 28);
    const u32 compression = core ? 0 : ReadU32(bytes, 30);
    const bool topDown = !core && i32(ReadU32(bytes, 22)) < 0;
    if (compression != 0) {
        problem = "compressed BMP is not supported";
        return false;
    }
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32) {
        problem = "unsupported BMP bit count";
        return false;
    }

    // The palette follows the info header: 3 bytes an entry after the core header, else 4.
    std::vector<u8> palette; // 3 bytes an entry, red first
    if (bitCount <= 8) {
        const size_t entrySize = core ? 3 : 4;
        size_t entries = size_t(1) << bitCount;
        if (!core) {
            const u32 used = ReadU32(bytes, 46);
            if (used != 0 && used < entries)
                entries = used;
        }
        const size_t start = 14 + size_t(headerSize);
        if (start + entries * entrySize > bytes.size()) {
            problem = "truncated BMP palette";
            return false;
        }
        palette.assign((size_t(1) << bitCount) * 3, 0);
        for (size_t i = 0; i < entries; ++i) {
            const size_t at = start + i * entrySize;
            palette[i * 3] = bytes[at + 2];
            palette[i * 3 + 1] = bytes[at + 1];
            palette[i * 3 + 2] = bytes[at];
        }
    }

    const u32 offset = ReadU32(bytes, 10);
    const size_t stride = (size_t(size.Width) * bitCount + 31) / 32 * 4;
    if (offset > bytes.size() || stride * size_t(size.Height) > bytes.size() - offset) {
        problem = "truncated BMP pixels";
        return false;
    }

    pixels.Width = size.Width;
    pixels.Height = size.Height;
    pixels.Rgb.resize(size_t(size.Width) * size_t(size.Height) * 3);
    for (i32 y = 0; y < size.Height; ++y) {
        const i32 fileRow = topDown ? y : size.Height - 1 - y;
        const u8* row = bytes.data() + offset + stride * size_t(fileRow);
        u8* out = pixels.Rgb.data() + size_t(y) * size_t(size.Width) * 3;
        for (i32 x = 0; x < size.Width; ++x, out += 3) {
            const size_t ux = size_t(x);
            switch (bitCount) {
                case 1:
                case 4:
                case 8: {
                    const size_t bit = ux * bitCount;
                    const u32 index =
                        (row[bit / 8] >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
                    out[0] = palette[index * 3];
                    out[1] = palette[index * 3 + 1];
                    out[2] = palette[index * 3 + 2];
                    break;
                }
                case 16: {
                    // 5-5-5, each part widened to 8 bits.
                    const u32 value = ReadU16({row, stride}, ux * 2);
                    const auto widen = [](u32 part) { return u8(part << 3 | part >> 2); };
                    out[0] = widen(value >> 10 & 0x1F);
                    out[1] = widen(value >> 5 & 0x1F);
                    out[2] = widen(value & 0x1F);
                    break;
                }
                default: {
                    const u8* pixel = row + ux * (bitCount / 8);
                    out[0] = pixel[2];
                    out[1] = pixel[1];
                    out[2] = pixel[0];
                    break;
                }
            }
        }
    }
    return true;
}

} // namespace ui
