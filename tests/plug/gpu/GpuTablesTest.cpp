// The program tables: the engine constants with their register sets, counts and usages, the
// names used in messages, and the semantic tables. The expected values are written out here as
// the groups they were specified in, not computed from the tables.
#include "plug/gpu/GpuTables.h"

#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct SGroup {
    u32 Value;
    std::vector<std::string> Names;
};

// Rows of more than one register, by count.
const SGroup kRegisterGroups[] = {
    {2, {"VisualTcZBufferCustom",  "VisualMadBBox01",       "Light2Dirs_Rgb",
         "Light2Dirs_RgbDblSided", "Light2Dirs_RgbSpec",    "Light2Dirs_RgbReverse",
         "Light2Dirs_DirInV",      "Light2Dirs_DirInW",     "Light2Dirs_DirInCube1",
         "Light2Balls_Rgb_IRad2",  "Light2Balls_Pos_Rad2",  "Light2Spots_Rgb_IRad2",
         "Light2Spots_Pos_ICosR",  "Light2Spots_Dir_CosOt", "VTexCoordToTexCoord",
         "VPositionToTexCoord",    "VNormalToTexCoord",     "VReflectToTexCoord",
         "SamplerBilinearCorners", "VPosToNyb3Foam"}},
    {3, {"VisualPz01Camera",      "VisualToCamera",      "VisualToWorld",
         "WorldToCamera",         "VisualToCube1",       "WorldToCube1",
         "VisualToPlaneReflec",   "WorldToPlaneReflec",  "WorldPz01PlaneReflec",
         "VisualPz01PlaneRefrac", "WorldToPlaneRefrac",  "WorldPz01PlaneRefrac",
         "VisualPz01VDepPlaneY",  "VisualToLightDir",    "VisualPrShadow1",
         "VisualPrProjector1",    "VisualToProjector",   "VisualPz01Projector",
         "VTexCoordToTexCrd3d",   "VTexCoordToTexCrdPz", "VPositionToTexCrd3d",
         "VNormalToTexCrd3d",     "VReflectToTexCrd3d",  "HemiVisualToEye",
         "HemiWorldToEye",        "VisualPz01LightOcc"}},
    {4, {"VisualPrCamera",        "VisualPrCameraPrev",    "WorldPrCamera",
         "CameraProjection",      "Light4Dirs_Rgb",        "Light4Dirs_RgbDblSided",
         "Light4Dirs_RgbSpec",    "Light4Dirs_RgbReverse", "Light4Dirs_DirInV",
         "Light4Dirs_DirInW",     "Light4Dirs_DirInCube1", "Light2Balls",
         "Light4Balls_Rgb_IRad2", "Light4Balls_Pos_Rad2",  "Light4Spots_Rgb_IRad2",
         "Light4Spots_Pos_ICosR", "Light4Spots_Dir_CosOt", "VisualPw01Shadow",
         "VisualPw01ShadowGroup", "ShadowSoftCorners"}},
    {6, {"Light2Dirs_VisualToDir", "Light2Spots"}},
    {8,
     {"Light4Balls", "Light8Balls_Rgb_IRad2", "Light8Balls_Pos_Rad2", "Light8Spots_Rgb_IRad2",
      "Light8Spots_Pos_ICosR", "Light8Spots_Dir_CosOt"}},
    {12, {"Light4Dirs_VisualToDir", "Light4Spots"}},
    {16, {"Light8Balls"}},
    {24, {"Light8Spots"}},
    {30, {"KeyPositions"}},
    {60, {"BonesToWorlds"}},
};

// Rows of more than one usage, by maximum.
const SGroup kUsageGroups[] = {
    {2, {"LightBallRgb", "LightBallRgbIRad2", "LightBallPosRad2"}},
    {4,
     {"LightDirRgb", "LightDirRgbFlare", "LightDirRgbDblSided", "LightDirRgbSpec",
      "LightDirRgbReverse", "LightDirDir", "LightDirDirInCube1", "LightDirDirInWorld",
      "VisualToLightDir", "VisualToFogTex"}},
    {8, {"VisualPw01Shadow",
         "VisualPw01ShadowGroup",
         "VisualToShadowDepthGroup",
         "ShadowSoftCorners",
         "ShadowRgb",
         "ShadowInShaderRgb",
         "ShadowBiasConstSlope",
         "VisualToProjector",
         "VisualPz01Projector",
         "ProjectorHalfScale",
         "ProjectorPos_wInvFarZ2",
         "ProjectorRgb",
         "ProjectorBaseRgb",
         "VTexCoordToTexCoord",
         "VTexCoordToTexCrd3d",
         "VTexCoordToTexCrdPz",
         "VPositionToTexCoord",
         "VPositionToTexCrd3d",
         "VNormalToTexCoord",
         "VNormalToTexCrd3d",
         "VReflectToTexCoord",
         "VReflectToTexCrd3d"}},
    {16,
     {"SamplerGetTexelHalfSize", "SamplerGetTexelSizeU", "SamplerGetTexelSizeV",
      "SamplerBilinearCorners", "Sampler_W_H_0x5_1", "HemiVisualToEye", "HemiWorldToEye",
      "HemiTexToSub_Sxy_Tyx", "VisualPz01LightOcc"}},
};

// Rows in the Int4 register set.
const std::vector<std::string> kInt4Rows = {"Light2DirCount",  "Light4DirCount",  "Light2BallCount",
                                            "Light4BallCount", "Light8BallCount", "Light2SpotCount",
                                            "Light4SpotCount", "Light8SpotCount"};

// Every row not listed in a group has the value 1; a name listed in two groups of one list would
// make the list contradict itself.
std::map<std::string, u32> Expected(const SGroup* groups, size_t count) {
    std::map<std::string, u32> values;
    for (size_t g = 0; g < count; ++g)
        for (const std::string& name : groups[g].Names)
            EXPECT_TRUE(values.emplace(name, groups[g].Value).second) << name << " twice";
    return values;
}

TEST(GpuTables, LoadIds) {
    std::set<std::string> names;
    for (const SGpuLoadId& row : g_GpuLoadIds)
        names.insert(row.Name);
    EXPECT_EQ(names.size(), 173u);

    const struct {
        u32 Index;
        const char* Name;
        u8 Set;
        u8 Registers;
        u8 Usages;
    } rows[] = {
        {0, "VisualPrCamera", GpuRegisterSet_Float4, 4, 1},
        {26, "BonesToWorlds", GpuRegisterSet_Float4, 60, 1},
        {36, "LightAmbient", GpuRegisterSet_Float4, 1, 1},
        {39, "LightDirRgb", GpuRegisterSet_Float4, 1, 4},
        {41, "LightDirRgbDblSided", GpuRegisterSet_Float4, 1, 4},
        {57, "Light2DirCount", GpuRegisterSet_Int4, 1, 1},
        {105, "KeyPositions", GpuRegisterSet_Float4, 30, 1},
        {150, "SamplerBilinearCorners", GpuRegisterSet_Float4, 2, 16},
        {172, "MaterialEmissiveRGB1", GpuRegisterSet_Float4, 1, 1},
    };
    for (const auto& r : rows) {
        const SGpuLoadId& row = g_GpuLoadIds[r.Index];
        EXPECT_STREQ(row.Name, r.Name);
        EXPECT_EQ(row.RegisterSet, r.Set) << r.Name;
        EXPECT_EQ(row.RegisterCount, r.Registers) << r.Name;
        EXPECT_EQ(row.MaxUsages, r.Usages) << r.Name;
    }

    const auto registers = Expected(kRegisterGroups, std::size(kRegisterGroups));
    const auto usages = Expected(kUsageGroups, std::size(kUsageGroups));
    const std::set<std::string> ints(kInt4Rows.begin(), kInt4Rows.end());
    for (const auto& [name, count] : registers)
        EXPECT_TRUE(names.count(name)) << name;
    for (const auto& [name, count] : usages)
        EXPECT_TRUE(names.count(name)) << name;
    for (const SGpuLoadId& row : g_GpuLoadIds) {
        const auto r = registers.find(row.Name);
        const auto u = usages.find(row.Name);
        EXPECT_EQ(row.RegisterCount, r == registers.end() ? 1u : r->second) << row.Name;
        EXPECT_EQ(row.MaxUsages, u == usages.end() ? 1u : u->second) << row.Name;
        EXPECT_EQ(row.RegisterSet,
                  ints.count(row.Name) ? GpuRegisterSet_Int4 : GpuRegisterSet_Float4)
            << row.Name;
    }
}

TEST(GpuTables, Names) {
    const std::vector<std::string> sets = {"Bool", "Int4", "Float4", "Sampler"};
    for (u32 i = 0; i < 4; ++i)
        EXPECT_EQ(g_GpuRegisterSetNames[i], sets[i]);
    const std::vector<std::string> usages = {
        "POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL", "PSIZE", "TEXCOORD", "TANGENT",
        "BINORMAL", "TESSFACTOR",  "POSITIONT",    "COLOR",  "FOG",   "DEPTH",    "SAMPLE"};
    for (u32 i = 0; i < kGpuUsageCount; ++i)
        EXPECT_EQ(g_GpuUsageNames[i], usages[i]);
}

// {usage, index, mask} of each table, and a pair that is in none.
TEST(GpuTables, Semantics) {
    const struct {
        const SGpuSemantic* Table;
        u32 Count;
        std::vector<std::vector<u32>> Rows;
    } tables[] = {
        {g_GpuVertexInputs,
         kGpuVertexInputCount,
         {{0, 0, 0x1},        {0, 1, 0x2},       {9, 0, 0x4},       {1, 0, 0x8},
          {2, 0, 0x20},       {3, 0, 0x40},      {3, 1, 0x80},      {4, 0, 0x100},
          {10, 0, 0x200},     {10, 1, 0x400},    {5, 0, 0x800},     {5, 1, 0x2000},
          {5, 2, 0x8000},     {5, 3, 0x20000},   {5, 4, 0x80000},   {5, 5, 0x200000},
          {5, 6, 0x800000},   {5, 7, 0x2000000}, {6, 0, 0x8000000}, {6, 1, 0x10000000},
          {7, 0, 0x20000000}, {7, 1, 0x40000000}}},
        {g_GpuVertexToPixel,
         kGpuVertexToPixelCount,
         {{10, 0, 0x1},
          {10, 1, 0x2},
          {11, 0, 0x4},
          {0, 0, 0x8},
          {4, 0, 0x10},
          {5, 0, 0x20},
          {5, 1, 0x40},
          {5, 2, 0x80},
          {5, 3, 0x100},
          {5, 4, 0x200},
          {5, 5, 0x400},
          {5, 6, 0x800},
          {5, 7, 0x1000}}},
        {g_GpuPixelOutputs,
         kGpuPixelOutputCount,
         {{10, 0, 0x1}, {10, 1, 0x2}, {10, 2, 0x4}, {10, 3, 0x8}, {12, 0, 0x10}}},
    };
    for (const auto& t : tables) {
        ASSERT_EQ(t.Count, t.Rows.size());
        for (u32 i = 0; i < t.Count; ++i) {
            EXPECT_EQ(t.Table[i].Usage, t.Rows[i][0]) << i;
            EXPECT_EQ(t.Table[i].Index, t.Rows[i][1]) << i;
            EXPECT_EQ(t.Table[i].Mask, t.Rows[i][2]) << i;
            EXPECT_EQ(GpuSemanticMask(t.Table, t.Count, t.Rows[i][0], t.Rows[i][1]), t.Rows[i][2]);
        }
        EXPECT_EQ(GpuSemanticMask(t.Table, t.Count, GpuUsage_Sample, 0), 0u);
    }
}

} // namespace
