#include "platform/DisplayModes.h"

#include <algorithm>
#include <string>

namespace platform {

namespace {

constexpr DisplaySize kCommonSizes[] = {
    {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},
    {1280, 800},  {1280, 960},  {1280, 1024}, {1360, 768},  {1366, 768},
    {1440, 900},  {1600, 900},  {1600, 1200}, {1680, 1050}, {1920, 1080},
    {1920, 1200}, {2560, 1440}, {2560, 1600}, {3840, 2160},
};

constexpr u32 kCommonRefreshRate = 60;

bool SameSize(const DisplayMode& mode, const DisplaySize& size) {
    return mode.Width == size.Width && mode.Height == size.Height;
}

} // namespace

std::span<const DisplaySize> CommonDisplaySizes() {
    return kCommonSizes;
}

std::vector<DisplayMode> DisplayModesOf(const Adapter& adapter, D3dFormat format) {
    std::vector<DisplayMode> modes;
    std::vector<DisplaySize> sizes;
    for (const DisplayMode& mode : adapter.Modes) {
        if (mode.Format != format)
            continue;
        modes.push_back(mode);
        if (std::none_of(sizes.begin(), sizes.end(),
                         [&](const DisplaySize& size) { return SameSize(mode, size); }))
            sizes.push_back({mode.Width, mode.Height});
    }
    if (sizes.size() >= 2 || (format != D3dFormat::X8R8G8B8 && format != D3dFormat::R5G6B5))
        return modes;

    DisplaySize limit = {adapter.Desktop.Width, adapter.Desktop.Height};
    if (limit.Width == 0 || limit.Height == 0)
        limit = sizes.empty() ? DisplaySize{0, 0} : sizes.front();
    for (const DisplaySize& size : kCommonSizes) {
        if (size.Width > limit.Width || size.Height > limit.Height)
            continue;
        if (std::any_of(sizes.begin(), sizes.end(), [&](const DisplaySize& listed) {
                return listed.Width == size.Width && listed.Height == size.Height;
            }))
            continue;
        modes.push_back({size.Width, size.Height, kCommonRefreshRate, format});
    }
    return modes;
}

bool DisplayModes::Open() {
    Close();
    std::string problem;
    if (DescribeAdapter(m_Adapter, problem) == AdapterSource::None) {
        m_Adapter = Adapter();
        return false;
    }
    for (const DisplayMode& mode : m_Adapter.Modes) {
        if (mode.Format != D3dFormat::X8R8G8B8 && mode.Format != D3dFormat::R5G6B5)
            m_Modes.push_back(mode);
    }
    for (D3dFormat format : {D3dFormat::X8R8G8B8, D3dFormat::R5G6B5}) {
        const std::vector<DisplayMode> modes = DisplayModesOf(m_Adapter, format);
        m_Modes.insert(m_Modes.end(), modes.begin(), modes.end());
    }
    m_Open = true;
    return true;
}

void DisplayModes::Close() {
    m_Open = false;
    m_Adapter = Adapter();
    m_Modes.clear();
}

u32 DisplayModes::Count(D3dFormat format) const {
    return u32(std::count_if(m_Modes.begin(), m_Modes.end(),
                             [format](const DisplayMode& mode) { return mode.Format == format; }));
}

bool DisplayModes::Enum(D3dFormat format, u32 index, DisplayMode& mode) const {
    for (const DisplayMode& candidate : m_Modes) {
        if (candidate.Format != format)
            continue;
        if (index == 0) {
            mode = candidate;
            return true;
        }
        --index;
    }
    return false;
}

} // namespace platform
