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

} // namespace ui
