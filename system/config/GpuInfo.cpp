#include "system/config/GpuInfo.h"

#include "core/base/ClassicLog.h"
#include "core/base/ClassicTranslator.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <bit>

constinit GpuInfo g_GpuInfo;

namespace {

using platform::D3dFormat;

constexpr u64 kMb = u64(1) << 20;

// The number of formats accepted in turn, up to the first refusal.
template <class Accepts>
u32 CountAccepted(std::initializer_list<u32> candidates, Accepts accepts) {
    u32 count = 0;
    for (u32 candidate : candidates) {
        if (!accepts(candidate))
            break;
        ++count;
    }
    return count;
}

u16 RoundUpToMb(u64 bytes) {
    const u64 mb = bytes / kMb + (bytes % kMb != 0);
    return u16(std::min<u64>(mb, 0xFFFF));
}

} // namespace

bool GpuInfo::IsDriverAtLeast(u32 a, u32 b, u32 c, u32 d) const {
    const u32 high = a << 16 | (b & 0xFFFF);
    const u32 low = c << 16 | (d & 0xFFFF);
    return DriverVersionHigh > high || (DriverVersionHigh == high && DriverVersionLow >= low);
}

u8 BytesPerPixelOfFormat(D3dFormat format) {
    switch (format) {
        case D3dFormat::R8G8B8:
            return 3;
        case D3dFormat::R5G6B5:
        case D3dFormat::X1R5G5B5:
        case D3dFormat::A1R5G5B5:
            return 2;
        default:
            return 4;
    }
}

PixelShaderClass ClassifyPixelShader(bool hardwareTnl, bool projectedTextures, u32 ps, u32 vs,
                                     u32 floatTargets) {
    if ((!hardwareTnl && ps < 0x0101) || !projectedTextures)
        return {0, 0};
    if (ps < 0x0101)
        return {1, 0};
    if (ps >= 0x0200 && vs >= 0x0200 && floatTargets == 2)
        return {3, u16(ps - 0x0200)};
    return {2, u16(ps < 0x0200 ? ps & 0xFF : 0xFFFF)};
}

u16 VideoMemoryMb(u32 vendorId, u32 ps, u64 localBytes, u32 width, u32 height, u32 bytesPerPixel) {
    u64 total = localBytes + u64(width) * height * bytesPerPixel;
    if (vendorId == 0x1002 && ps >= 0x0200 && total < 100 * kMb)
        total = 128 * kMb;
    return RoundUpToMb(total);
}

u32 QueryVideoMemory(const platform::Adapter* adapter, u32& nonLocal) {
    nonLocal = 0;
    if (!adapter)
        return 0;
    using Kind = platform::VideoMemoryKind;
    u32 local = 0;
    for (Kind kind :
         {Kind::Local3DTextures, Kind::LocalTextures, Kind::LocalOffscreenPlain, Kind::Local}) {
        u32 total = 0;
        if (adapter->GetAvailableVideoMemory(kind, total) && total != 0 && total != 0xFFFFFFFF &&
            (local == 0 || total < local))
            local = total;
    }
    if (!adapter->GetAvailableVideoMemory(Kind::NonLocalTextures, nonLocal))
        nonLocal = 0;
    return local;
}

u32 QueryVideoMemory(u32& nonLocal) {
    platform::Adapter adapter;
    std::string problem;
    const bool described =
        platform::DescribeAdapter(adapter, problem) != platform::AdapterSource::None;
    return QueryVideoMemory(described ? &adapter : nullptr, nonLocal);
}

void DescribeGpu(const platform::Adapter& adapter, u32 localBytes, u32 nonLocalBytes,
                 GpuInfo& out) {
    out.VendorId = adapter.VendorId;
    out.DeviceId = adapter.DeviceId;
    out.DriverVersionLow = adapter.DriverVersionLow;
    out.DriverVersionHigh = adapter.DriverVersionHigh;
    out.Description.Assign(CClassicStringRef(
        adapter.Description.c_str(), u32(std::min<size_t>(adapter.Description.size(), 511))));

    const D3dFormat desktop = adapter.Desktop.Format;
    out.DesktopWidth = adapter.Desktop.Width;
    out.DesktopHeight = adapter.Desktop.Height;
    out.DesktopBytesPerPixel = BytesPerPixelOfFormat(desktop);

    u8 caps = 0;
    if (adapter.AnisotropicFiltering && adapter.MaxAnisotropy != 0) {
        const u32 highestBit = u32(std::bit_width(adapter.MaxAnisotropy)) - 1;
        caps |= u8(std::min<u32>(highestBit, 7) << kGpuCapsAnisotropyShift);
    }
    const u32 multisample = CountAccepted({2, 4, 6, 8}, [&](u32 type) {
        return adapter.CheckMultisample(D3dFormat::X8R8G8B8, false, type);
    });
    caps |= u8(multisample << kGpuCapsMultisampleShift);
    const u32 floatTargets =
        CountAccepted({u32(D3dFormat::G16R16F), u32(D3dFormat::A16B16G16R16F)}, [&](u32 format) {
            return adapter.CheckFormat(platform::FormatUsage::RenderTargetTexture, desktop,
                                       D3dFormat(format));
        });

    const u32 ps = adapter.PixelShaderVersion & 0xFFFF;
    const u32 vs = adapter.VertexShaderVersion & 0xFFFF;
    const PixelShaderClass shader = ClassifyPixelShader(
        adapter.HardwareTransformAndLight, adapter.ProjectedTextures, ps, vs, floatTargets);
    out.PixelShaderClass = shader.Class;
    out.PixelShaderSubVersion = shader.SubVersion;

    out.VideoMemoryMb = VideoMemoryMb(adapter.VendorId, ps, localBytes, out.DesktopWidth,
                                      out.DesktopHeight, out.DesktopBytesPerPixel);
    out.NonLocalMemoryMb = RoundUpToMb(nonLocalBytes);

    const u32 dxt = CountAccepted({u32(D3dFormat::DXT1), u32(D3dFormat::DXT2), u32(D3dFormat::DXT3),
                                   u32(D3dFormat::DXT4), u32(D3dFormat::DXT5)},
                                  [&](u32 format) {
                                      return adapter.CheckFormat(platform::FormatUsage::Texture,
                                                                 desktop, D3dFormat(format));
                                  });
    if (dxt == 5)
        caps |= kGpuCapsAllDxt;
    if (adapter.VendorId == 0x10DE && (shader.Class == 2 || shader.Class == 3) &&
        adapter.CheckFormat(platform::FormatUsage::DepthStencilTexture, desktop, D3dFormat::D24X8))
        caps |= kGpuCapsDepthTexture;
    out.Caps = caps;
}

void ProbeGpu(u32 adapter) {
    platform::Adapter answers;
    std::string problem;
    const platform::AdapterSource source = platform::DescribeAdapter(answers, problem);
    if (!problem.empty())
        ClassicLogFormatLine("[Sys] %s", problem.c_str());
    u32 nonLocal = 0;
    const bool found = source != platform::AdapterSource::None && adapter == 0;
    const u32 local = QueryVideoMemory(found ? &answers : nullptr, nonLocal);
    if (!found)
        return;
    if (!answers.Present) {
        platform::ShowMessageBox(g_ClassicTranslator.Translate(u"Could not find DirectX9"),
                                 g_ClassicTranslator.Translate(u"Error"));
        return;
    }
    DescribeGpu(answers, local, nonLocal, g_GpuInfo);
}
