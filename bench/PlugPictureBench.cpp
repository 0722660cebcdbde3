// Pictures loaded by path into the engine's image against the libraries alone, on the same files
// (in the page cache):
// - CPlugFileJpg::LoadFromPath against libjpeg-turbo decoding the file's bytes from memory
//   (jpeg_mem_src, default settings, R, G, B, 16 rows per jpeg_read_scanlines into one new
//   buffer, its memory got as the image's is);
// - CPlugFileTga::LoadFromPath against stb_image's stbi_load.
// The inputs come from Debian packages (bench/install-inputs.sh) and one 2048 x 2048 32-bit TGA
// that ImageMagick makes at start. Counters beside BenchPair's: project_mpix_s, peer_mpix_s.
#include "BenchPair.h"
#include "core/base/ClassicLog.h"
#include "platform/HostPath.h"
#include "platform/Memory.h"
#include "plug/bitmap/PlugFileJpg.h"
#include "plug/bitmap/PlugFileTga.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <jpeglib.h>
#include <stb/stb_image.h>
#include <string>
#include <vector>

namespace {

struct SInput {
    const char* Name;
    const char* Path;
    const char* Package;
};

const SInput kJpegInputs[] = {
    {"earthCylindric_2048x1024_420",
     "/usr/share/assimp/models/LWO/LWO2/MappingModes/earthCylindric.jpg", "assimp-testmodels"},
    {"Kleiber_6028x3391_422", "/usr/share/backgrounds/Kleiber_by_Lukas_Baubkus.jpg",
     "lomiri-wallpapers-20.04"},
    {"InfiniteSea_4096x4096_progressive_444", "/usr/share/backgrounds/Infinite-Sea_by_Aury88.jpg",
     "lomiri-wallpapers-20.04"},
};

const SInput kDuck = {"duckCM_512x512_24", "/usr/share/assimp/models/Collada/duckCM.tga",
                      "assimp-testmodels"};

std::vector<u8> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

CClassicWideString EnginePath(const std::string& host) {
    return CClassicWideString(platform::FromHostPath(host).c_str());
}

// libjpeg-turbo alone: the bytes decoded from memory into one new R, G, B buffer, which gets
// its memory as the engine's image does (a heap block, its huge pages marked); the buffer's
// size is returned.
size_t DecodeWithLibjpeg(const std::vector<u8>& bytes) {
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), bytes.size());
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    const size_t stride = size_t(info.output_width) * info.output_components;
    const size_t size = stride * info.output_height;
    u8* out = new u8[size];
    platform::AdviseHugePagesWithin(out, size);
    JSAMPROW rows[16];
    while (info.output_scanline < info.output_height) {
        const u32 first = info.output_scanline;
        const u32 count = std::min<u32>(16, info.output_height - first);
        for (u32 i = 0; i < count; ++i)
            rows[i] = out + (first + i) * stride;
        jpeg_read_scanlines(&info, rows, count);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    benchmark::DoNotOptimize(out);
    delete[] out;
    return size;
}

void AddRates(benchmark::State& state, double pixels) {
    state.counters["project_mpix_s"] = pixels / state.counters["project_ns"] * 1e3;
    state.counters["peer_mpix_s"] = pixels / state.counters["peer_ns"] * 1e3;
}

bool Missing(benchmark::State& state, const SInput& input) {
    if (std::filesystem::exists(input.Path))
        return false;
    const std::string message = std::string(input.Path) + " is missing: install the package " +
                                input.Package + " (bench/install-inputs.sh)";
    state.SkipWithError(message.c_str());
    return true;
}

void Jpeg(benchmark::State& state, const SInput& input) {
    if (Missing(state, input))
        return;
    const std::vector<u8> bytes = ReadBytes(input.Path);
    const CClassicWideString path = EnginePath(input.Path);
    CPlugFileJpg image;
    size_t peerSize = 0;
    bench::Interleave(
        state, [&] { benchmark::DoNotOptimize(image.LoadFromPath(path)); },
        [&] { peerSize = DecodeWithLibjpeg(bytes); });
    if (!image.IsLoaded() || u64(image.m_Width) * image.m_Height * 3 != peerSize) {
        state.SkipWithError("the two sides decoded different pictures");
        return;
    }
    AddRates(state, double(image.m_Width) * image.m_Height);
}

void Tga(benchmark::State& state, const std::string& file) {
    const CClassicWideString path = EnginePath(file);
    CPlugFileTga image;
    int width = 0, height = 0;
    bench::Interleave(
        state, [&] { benchmark::DoNotOptimize(image.LoadFromPath(path)); },
        [&] {
            int components;
            stbi_uc* pixels = stbi_load(file.c_str(), &width, &height, &components, 0);
            benchmark::DoNotOptimize(pixels);
            stbi_image_free(pixels);
        });
    if (image.HasLoadFailed() || int(image.m_Width) != width || int(image.m_Height) != height) {
        state.SkipWithError("the two sides read different pictures");
        return;
    }
    AddRates(state, double(width) * height);
}

void DuckTga(benchmark::State& state) {
    if (!Missing(state, kDuck))
        Tga(state, kDuck.Path);
}

// A 2048 x 2048 32-bit TGA made by ImageMagick in a temporary folder, removed at exit.
struct CMadeTga {
    CMadeTga() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "picture-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        m_Folder = pattern;
        m_Path = m_Folder + "/made.tga";
        const std::string command =
            "convert -size 2048x2048 gradient:red-blue \\( -size 2048x2048 gradient:white-black "
            "-rotate 90 \\) -alpha off -compose CopyOpacity -composite -depth 8 "
            "-type TrueColorAlpha " +
            m_Path + " 2>&1";
        m_Made = std::system(command.c_str()) == 0 && std::filesystem::exists(m_Path);
    }
    ~CMadeTga() {
        std::error_code ignored;
        std::filesystem::remove_all(m_Folder, ignored);
    }
    std::string m_Folder, m_Path;
    bool m_Made = false;
};

void MadeTga(benchmark::State& state) {
    static CMadeTga made;
    if (!made.m_Made) {
        state.SkipWithError("ImageMagick's convert could not make the 2048 x 2048 TGA");
        return;
    }
    Tga(state, made.m_Path);
}

struct CRegister {
    CRegister() {
        // The log would keep a line per failure of every round.
        g_ClassicLog.m_SuspendCount = 1;
        for (const SInput& input : kJpegInputs) {
            benchmark::RegisterBenchmark((std::string("Jpeg/") + input.Name).c_str(),
                                         [&input](benchmark::State& state) { Jpeg(state, input); })
                ->Unit(benchmark::kMillisecond);
        }
        benchmark::RegisterBenchmark((std::string("Tga/") + kDuck.Name).c_str(), DuckTga)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("Tga/made_2048x2048_32", MadeTga)
            ->Unit(benchmark::kMillisecond);
    }
} s_Register;

} // namespace
