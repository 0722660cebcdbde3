#pragma once
// The tables every GPU program reads: the engine constants a program binds by name (the LoadId
// rows), the names of the register sets and of the vertex-declaration usages used in messages,
// and the semantic tables that turn a program's {usage, index} pairs into mask bits.
#include "platform/Types.h"

// Register sets of a constant.
enum EGpuRegisterSet : u8 {
    GpuRegisterSet_Bool = 0,
    GpuRegisterSet_Int4 = 1,
    GpuRegisterSet_Float4 = 2,
    GpuRegisterSet_Sampler = 3,
};

// Vertex-declaration usages.
enum EGpuUsage : u8 {
    GpuUsage_Position = 0,
    GpuUsage_BlendWeight = 1,
    GpuUsage_BlendIndices = 2,
    GpuUsage_Normal = 3,
    GpuUsage_PSize = 4,
    GpuUsage_TexCoord = 5,
    GpuUsage_Tangent = 6,
    GpuUsage_Binormal = 7,
    GpuUsage_TessFactor = 8,
    GpuUsage_PositionT = 9,
    GpuUsage_Color = 10,
    GpuUsage_Fog = 11,
    GpuUsage_Depth = 12,
    GpuUsage_Sample = 13,
};

// One engine constant: the name a program gives it after "Zun", its register set, the registers
// one usage of it takes and how many usages exist.
struct SGpuLoadId {
    const char* Name;
    u8 RegisterSet;
    u8 RegisterCount;
    u8 MaxUsages;
};

inline constexpr u32 kGpuLoadIdCount = 173;
extern const SGpuLoadId g_GpuLoadIds[kGpuLoadIdCount];

// "Bool", "Int4", "Float4", "Sampler", by register set.
extern const char* const g_GpuRegisterSetNames[4];
// "POSITION" ... "SAMPLE", by usage.
inline constexpr u32 kGpuUsageCount = 14;
extern const char* const g_GpuUsageNames[kGpuUsageCount];

// A {usage, index} pair and the mask bit it sets.
struct SGpuSemantic {
    u8 Usage;
    u8 Index;
    u32 Mask;
};

// What a vertex program reads: 22 rows; each texture-coordinate set owns two bits, of which the
// table sets the lower one.
inline constexpr u32 kGpuVertexInputCount = 22;
extern const SGpuSemantic g_GpuVertexInputs[kGpuVertexInputCount];
// What a vertex program hands to the pixel program: bit i for row i.
inline constexpr u32 kGpuVertexToPixelCount = 13;
extern const SGpuSemantic g_GpuVertexToPixel[kGpuVertexToPixelCount];
// What a pixel program writes: bit i for row i (COLOR0 to COLOR3, DEPTH0).
inline constexpr u32 kGpuPixelOutputCount = 5;
extern const SGpuSemantic g_GpuPixelOutputs[kGpuPixelOutputCount];

// The mask bit of the pair in the table, or 0 when the table has no such row.
u32 GpuSemanticMask(const SGpuSemantic* table, u32 count, u32 usage, u32 index);
