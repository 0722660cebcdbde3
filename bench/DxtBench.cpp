// The DXT block encoder against stb_dxt (the fastest common encoder) and libsquish (the
// best-known cluster fit), DXT1 and DXT5, on four real pictures decoded once by stb_image:
// - ours: EncodeDxtSurface, modes 0 and 0x200, with equal channel weights and with the
//   perceptual weights of the texture compressor;
// - stb_dxt: stb_compress_dxt_block, STB_DXT_NORMAL and STB_DXT_HIGHQUAL;
// - libsquish: squish::Compress per block (Debian's library would spread CompressImage over
//   several threads), kColourClusterFit and kColourRangeFit, its uniform metric, and its
//   perceptual metric beside our perceptual weights.
// Every encoder reads the same surface (B, G, R, A words; opaque for DXT1) and writes its blocks
// in the same order; a peer gathers each block into R, G, B, A bytes itself, as ours does. Every
// output is judged by one decoder, squish::Decompress. Counters beside BenchPair's:
// project_mpix_s and peer_mpix_s, the RGB RMSE of both sides (8-bit units) and, for DXT5, the
// alpha RMSE, and the share of our blocks by their colour count (one, two, more).
#include "BenchPair.h"
#include "plug/bitmap/DxtEncoder.h"

#include <cmath>
#include <filesystem>
#include <squish.h>
#include <stb/stb_dxt.h>
#include <stb/stb_image.h>
#include <string>
#include <vector>

namespace {

struct SInput {
    const char* Name;
    const char* Path;
};

constexpr const char* kPackage = "assimp-testmodels";
const SInput kInputs[] = {
    {"atlas_2048x2048", "/usr/share/assimp/models/glTF/CesiumMilkTruck/CesiumMilkTruck.png"},
    {"photo_2048x1024", "/usr/share/assimp/models/LWO/LWO2/MappingModes/earthCylindric.jpg"},
    {"duck_512x512", "/usr/share/assimp/models/Collada/duckCM.tga"},
    {"render_rgba_640x480", "/usr/share/assimp/models/Collada/teapots_reference.png"},
};

// One picture as the encoders read it: B, G, R, A bytes, row by row, and an opaque copy.
struct SSurface {
    u32 Width = 0, Height = 0;
    std::vector<u8> Bgra, OpaqueBgra;
    bool Loaded = false;
    std::string Error;
};

const SSurface& Surface(const SInput& input) {
    static SSurface surfaces[std::size(kInputs)];
    SSurface& surface = surfaces[&input - kInputs];
    if (surface.Loaded || !surface.Error.empty())
        return surface;
    if (!std::filesystem::exists(input.Path)) {
        surface.Error = std::string(input.Path) + " is missing: install the package " + kPackage +
                        " (bench/install-inputs.sh)";
        return surface;
    }
    int width = 0, height = 0, components = 0;
    stbi_uc* rgba = stbi_load(input.Path, &width, &height, &components, 4);
    if (!rgba || width % 4 != 0 || height % 4 != 0) {
        surface.Error = std::string(input.Path) + ": stb_image could not read it as whole blocks";
        stbi_image_free(rgba);
        return surface;
    }
    surface.Width = u32(width);
    surface.Height = u32(height);
    surface.Bgra.resize(size_t(width) * height * 4);
    for (size_t i = 0; i < surface.Bgra.size(); i += 4) {
        surface.Bgra[i] = rgba[i + 2];
        surface.Bgra[i + 1] = rgba[i + 1];
        surface.Bgra[i + 2] = rgba[i];
        surface.Bgra[i + 3] = rgba[i + 3];
    }
    surface.OpaqueBgra = surface.Bgra;
    for (size_t i = 3; i < surface.OpaqueBgra.size(); i += 4)
        surface.OpaqueBgra[i] = 255;
    stbi_image_free(rgba);
    surface.Loaded = true;
    return surface;
}

// The texture compressor's two weight settings, as the floats it stores.
constexpr double kEqual[3] = {0.5773502588272095, 0.5773502588272095, 0.5773502588272095};
constexpr double kPerceptual[3] = {0.44925037026405334, 0.8854157328605652, 0.11921854317188263};
float g_SquishPerceptual[3] = {0.2126f, 0.7152f, 0.0722f};

enum class EPeer { StbNormal, StbHighQual, SquishCluster, SquishRange, SquishClusterPerceptual };

struct SPeer {
    const char* Name;
    EPeer Kind;
};

// Block (bx, by) of a B, G, R, A surface as 16 R, G, B, A texels.
void GatherRgba(const u8* bgra, u32 width, u32 bx, u32 by, u8 (&rgba)[64]) {
    for (u32 y = 0; y < 4; ++y) {
        const u8* row = bgra + (size_t(by * 4 + y) * width + bx * 4) * 4;
        for (u32 x = 0; x < 4; ++x) {
            u8* texel = rgba + (y * 4 + x) * 4;
            texel[0] = row[x * 4 + 2];
            texel[1] = row[x * 4 + 1];
            texel[2] = row[x * 4];
            texel[3] = row[x * 4 + 3];
        }
    }
}

void EncodeWithPeer(EPeer peer, bool dxt5, const u8* bgra, u32 width, u32 height, u8* out) {
    const u32 blockBytes = dxt5 ? 16 : 8;
    const int squishFormat = dxt5 ? squish::kDxt5 : squish::kDxt1;
    for (u32 by = 0; by < height / 4; ++by)
        for (u32 bx = 0; bx < width / 4; ++bx) {
            u8 rgba[64];
            GatherRgba(bgra, width, bx, by, rgba);
            switch (peer) {
                case EPeer::StbNormal:
                    stb_compress_dxt_block(out, rgba, dxt5, STB_DXT_NORMAL);
                    break;
                case EPeer::StbHighQual:
                    stb_compress_dxt_block(out, rgba, dxt5, STB_DXT_HIGHQUAL);
                    break;
                case EPeer::SquishCluster:
                    squish::Compress(rgba, out, squishFormat | squish::kColourClusterFit);
                    break;
                case EPeer::SquishRange:
                    squish::Compress(rgba, out, squishFormat | squish::kColourRangeFit);
                    break;
                case EPeer::SquishClusterPerceptual:
                    squish::Compress(rgba, out, squishFormat | squish::kColourClusterFit,
                                     g_SquishPerceptual);
                    break;
            }
            out += blockBytes;
        }
}

struct SQuality {
    double RgbRmse = 0, AlphaRmse = 0;
};

// Every block decoded by libsquish and compared with the surface.
SQuality Judge(const std::vector<u8>& blocks, bool dxt5, const u8* bgra, u32 width, u32 height) {
    const u32 blockBytes = dxt5 ? 16 : 8;
    double rgb = 0, alpha = 0;
    const u8* block = blocks.data();
    for (u32 by = 0; by < height / 4; ++by)
        for (u32 bx = 0; bx < width / 4; ++bx, block += blockBytes) {
            u8 source[64], decoded[64];
            GatherRgba(bgra, width, bx, by, source);
            squish::Decompress(decoded, block, dxt5 ? squish::kDxt5 : squish::kDxt1);
            for (u32 p = 0; p < 16; ++p) {
                for (u32 c = 0; c < 3; ++c) {
                    const double d = double(decoded[p * 4 + c]) - source[p * 4 + c];
                    rgb += d * d;
                }
                const double d = double(decoded[p * 4 + 3]) - source[p * 4 + 3];
                alpha += d * d;
            }
        }
    const double pixels = double(width) * height;
    return {std::sqrt(rgb / (3 * pixels)), std::sqrt(alpha / pixels)};
}

// The share of blocks with one colour, two colours and more (R, G, B; every texel included).
void CountBlockKinds(benchmark::State& state, const u8* bgra, u32 width, u32 height) {
    double kinds[3] = {0, 0, 0};
    for (u32 by = 0; by < height / 4; ++by)
        for (u32 bx = 0; bx < width / 4; ++bx) {
            u8 rgba[64];
            GatherRgba(bgra, width, bx, by, rgba);
            u32 distinct[16], count = 0;
            for (u32 p = 0; p < 16; ++p) {
                const u32 colour =
                    u32(rgba[p * 4]) | u32(rgba[p * 4 + 1]) << 8 | u32(rgba[p * 4 + 2]) << 16;
                if (std::find(distinct, distinct + count, colour) == distinct + count)
                    distinct[count++] = colour;
            }
            kinds[std::min(count, 3u) - 1] += 1;
        }
    const double blocks = double(width / 4) * (height / 4);
    state.counters["blocks_one_colour"] = kinds[0] / blocks;
    state.counters["blocks_two_colours"] = kinds[1] / blocks;
    state.counters["blocks_more_colours"] = kinds[2] / blocks;
}

void Pair(benchmark::State& state, const SInput& input, bool dxt5, bool perceptual,
          const SPeer& peer) {
    const SSurface& surface = Surface(input);
    if (!surface.Loaded) {
        state.SkipWithError(surface.Error.c_str());
        return;
    }
    const u8* bgra = dxt5 ? surface.Bgra.data() : surface.OpaqueBgra.data();
    const u32 width = surface.Width, height = surface.Height;
    const u32 mode = dxt5 ? EDxtEncodeMode_InterpolatedAlpha : EDxtEncodeMode_Opaque;
    const DxtSurfaceDesc desc = MakeDxtSurfaceDesc(bgra, width, height);
    const double* weights = perceptual ? kPerceptual : kEqual;
    std::vector<u8> ours(DxtSurfaceSize(width, height, mode));
    std::vector<u8> theirs(ours.size());
    bool encoded = true;
    bench::Interleave(
        state, [&] { encoded = EncodeDxtSurface(desc, mode, weights, ours, false) && encoded; },
        [&] { EncodeWithPeer(peer.Kind, dxt5, bgra, width, height, theirs.data()); });
    if (!encoded) {
        state.SkipWithError("the encoder refused the surface");
        return;
    }
    const double pixels = double(width) * height;
    state.counters["project_mpix_s"] = pixels / state.counters["project_ns"] * 1e3;
    state.counters["peer_mpix_s"] = pixels / state.counters["peer_ns"] * 1e3;
    const SQuality ourQuality = Judge(ours, dxt5, bgra, width, height);
    const SQuality theirQuality = Judge(theirs, dxt5, bgra, width, height);
    state.counters["rmse_rgb"] = ourQuality.RgbRmse;
    state.counters["peer_rmse_rgb"] = theirQuality.RgbRmse;
    if (dxt5) {
        state.counters["rmse_alpha"] = ourQuality.AlphaRmse;
        state.counters["peer_rmse_alpha"] = theirQuality.AlphaRmse;
    }
    CountBlockKinds(state, bgra, width, height);
}

const SPeer kEqualPeers[] = {
    {"stb_normal", EPeer::StbNormal},
    {"stb_highqual", EPeer::StbHighQual},
    {"squish_cluster", EPeer::SquishCluster},
    {"squish_range", EPeer::SquishRange},
};
const SPeer kPerceptualPeer = {"squish_cluster", EPeer::SquishClusterPerceptual};

struct CRegister {
    CRegister() {
        for (const bool dxt5 : {false, true})
            for (const SInput& input : kInputs) {
                const std::string prefix = std::string(dxt5 ? "DXT5/" : "DXT1/") + input.Name + "/";
                auto add = [&](bool perceptual, const SPeer& peer) {
                    const std::string name =
                        prefix + (perceptual ? "perceptual/" : "equal/") + peer.Name;
                    benchmark::RegisterBenchmark(name.c_str(), [&input, dxt5, perceptual,
                                                                &peer](benchmark::State& state) {
                        Pair(state, input, dxt5, perceptual, peer);
                    })->Unit(benchmark::kMillisecond);
                };
                for (const SPeer& peer : kEqualPeers)
                    add(false, peer);
                add(true, kPerceptualPeer);
            }
    }
} s_Register;

} // namespace
