#pragma once
// The description of the graphics adapter, filled once when the System engine is built: its
// identity and driver version, the pixel-shader class the engine's quality rules use, its video
// memory, the desktop mode and a few capabilities. The answers come from the platform's adapter
// description; the rules that turn them into this record are pure functions.
#include "core/base/ClassicString.h"
#include "platform/Adapter.h"
#include "platform/Types.h"

// Capability bits.
inline constexpr u8 kGpuCapsAllDxt = 0x01;         // DXT1 to DXT5 textures
inline constexpr u8 kGpuCapsDepthTexture = 0x02;   // depth textures (D24X8)
inline constexpr u32 kGpuCapsAnisotropyShift = 2;  // bits 2-4: log2 of the highest anisotropy
inline constexpr u32 kGpuCapsMultisampleShift = 5; // bits 5-7: multisample types accepted

struct GpuInfo {
    u32 VendorId = 0;
    u32 DeviceId = 0;
    u32 DriverVersionLow = 0;  // sub-version << 16 | build
    u32 DriverVersionHigh = 0; // product << 16 | version
    u16 PixelShaderClass = 0;  // 0 to 3
    u16 PixelShaderSubVersion = 0;
    u16 VideoMemoryMb = 0;
    u16 NonLocalMemoryMb = 0;
    CClassicString Description;
    // Not filled by the probe; a report names the vendor with it instead of the id when set.
    CClassicString VendorName;
    u32 DesktopWidth = 0;
    u32 DesktopHeight = 0;
    u8 DesktopBytesPerPixel = 0;
    u8 Caps = 0;

    // Whether the driver version is at least a.b.c.d (b and d taken as 16-bit values).
    bool IsDriverAtLeast(u32 a, u32 b, u32 c, u32 d) const;

    bool HasAllDxt() const { return (Caps & kGpuCapsAllDxt) != 0; }
    bool HasDepthTextures() const { return (Caps & kGpuCapsDepthTexture) != 0; }
    u32 AnisotropySteps() const { return (Caps >> kGpuCapsAnisotropyShift) & 7; }
    u32 MultisampleSteps() const { return (Caps >> kGpuCapsMultisampleShift) & 7; }
};

// The process-wide adapter description: all zero and both texts empty until probed.
extern constinit GpuInfo g_GpuInfo;

// The desktop's bytes per pixel: 3 for R8G8B8, 2 for the 16-bit formats, 4 for every other.
u8 BytesPerPixelOfFormat(platform::D3dFormat format);

struct PixelShaderClass {
    u16 Class;
    u16 SubVersion;
};
// The class from the device's transform and lighting, projected textures, the pixel and vertex
// shader versions (major << 8 | minor) and the number of float render-target formats accepted.
PixelShaderClass ClassifyPixelShader(bool hardwareTnl, bool projectedTextures, u32 ps, u32 vs,
                                     u32 floatTargets);

// Video memory in MB: the local memory and the desktop surface, rounded up to whole MB; an
// adapter of vendor 0x1002 with pixel shader 2.0 or more and less than 100 MB counts 128 MB.
u16 VideoMemoryMb(u32 vendorId, u32 ps, u64 localBytes, u32 width, u32 height, u32 bytesPerPixel);

// Local video memory in bytes: the least of the non-zero totals answered for the four local
// surface kinds, 0 when none; nonLocal gets the non-local total, 0 when not answered. A null
// adapter is a machine without the memory query.
u32 QueryVideoMemory(const platform::Adapter* adapter, u32& nonLocal);
// The same for the platform's adapter.
u32 QueryVideoMemory(u32& nonLocal);

// Fills out from the adapter's answers and the memory totals; the vendor name is left as it is.
void DescribeGpu(const platform::Adapter& adapter, u32 localBytes, u32 nonLocalBytes, GpuInfo& out);

// Fills g_GpuInfo for the adapter (this system describes the default adapter, 0). Without a 3D
// interface g_GpuInfo keeps its values; when one exists but no device can be made, the message
// "Could not find DirectX9" (translated) is shown and g_GpuInfo keeps its values as well.
void ProbeGpu(u32 adapter);
