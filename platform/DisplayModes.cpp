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

} // namespace

std::span<const DisplaySize> CommonDisplaySizes() {
    return kCommonSizes;
}

std::vector<DisplayMode> DisplayModesOf(const Adapter& adapter, D3dFormat format) {
    std::vector<DisplayMode> modes;
    for (const DisplayMode& mode : adapter.Modes) {
        if (mode.Format == format)
            modes.push_back(mode);
    }
    std::stable_sort(modes.begin(), modes.end(), [](const DisplayMode& a, const DisplayMode& b) {
        if (a.Width != b.Width)
            return a.Width < b.Width;
        if (a.Height != b.Height)
            return a.Height < b.Height;
        return a.RefreshRate < b.RefreshRate;
    });
    if (!modes.empty() || (format != D3dFormat::X8R8G8B8 && format != D3dFormat::R5G6B5))
        return modes;

    for (const DisplaySize& size : kCommonSizes) {
        if (size.Width <= adapter.Desktop.Width && size.Height <= adapter.Desktop.Height)
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
