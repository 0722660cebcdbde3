#include "plug/bitmap/TextureMipFilters.h"

#include "plug/bitmap/TextureFft.h"
#include "plug/bitmap/TextureResample.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <new>
#include <numbers>

namespace {

constexpr f32 kByteToFloat = 1.0f / 255.0f;
constexpr u32 kSincKernelCount = 12;

u32 Half(u32 side) {
    return u32((u64(side) + 1) / 2);
}

bool IsPowerOfTwo(u32 side) {
    return side != 0 && (side & (side - 1)) == 0;
}

// trunc(clamp(v, 0, 1) x 255 + 0.5); NaN counts as 0.
u8 FloatToByte(f32 v) {
    if (!(v > 0.0f))
        return 0;
    return u8(std::min(v, 1.0f) * 255.0f + 0.5f);
}

void Resize(FloatImage& image, u32 width, u32 height) {
    image.Width = width;
    image.Height = height;
    for (std::vector<f32>& plane : image.Planes)
        plane.assign(u64(width) * height, 0.0f);
}

void WriteLevel(const FloatImage& image, const MipLevel& level) {
    const u64 count = u64(level.Width) * level.Height;
    for (u32 k = 0; k < 4; ++k)
        for (u64 i = 0; i < count; ++i)
            level.Pixels[i * 4 + k] = FloatToByte(image.Plane(k)[i]);
}

// Each value rounded to a byte, four neighbours (coordinates clamped to the plane) summed and
// divided by 4 with truncation.
void BoxHalve(const FloatImage& from, FloatImage& to) {
    Resize(to, Half(from.Width), Half(from.Height));
    for (u32 k = 0; k < 4; ++k) {
        const f32* in = from.Plane(k);
        f32* out = to.Plane(k);
        for (u32 y = 0; y < to.Height; ++y) {
            const u64 y0 = u64(2 * y), y1 = std::min<u64>(2 * u64(y) + 1, from.Height - 1);
            for (u32 x = 0; x < to.Width; ++x) {
                const u64 x0 = u64(2 * x), x1 = std::min<u64>(2 * u64(x) + 1, from.Width - 1);
                const u32 sum =
                    FloatToByte(in[y0 * from.Width + x0]) + FloatToByte(in[y0 * from.Width + x1]) +
                    FloatToByte(in[y1 * from.Width + x0]) + FloatToByte(in[y1 * from.Width + x1]);
                out[u64(y) * to.Width + x] = f32(sum / 4) * kByteToFloat;
            }
        }
    }
}

// The cubic spline to (w + 1) / 2 x (h + 1) / 2: rows first, then the columns of that.
void CubicHalve(const FloatImage& from, FloatImage& to, CCubicResampler& resampler) {
    Resize(to, Half(from.Width), Half(from.Height));
    std::vector<f32> rows(u64(to.Width) * from.Height);
    for (u32 k = 0; k < 4; ++k) {
        for (u32 y = 0; y < from.Height; ++y)
            resampler.Resample(from.Plane(k) + u64(y) * from.Width, from.Width, 1,
                               &rows[u64(y) * to.Width], to.Width, 1);
        for (u32 x = 0; x < to.Width; ++x)
            resampler.Resample(&rows[x], from.Height, to.Width, to.Plane(k) + x, to.Height,
                               to.Width);
    }
}

// Low-pass in the frequency domain: the coefficients whose column lies in [w / 4, w / 4 + w / 2)
// or whose row lies in [h / 4, h / 4 + h / 2) are zeroed, then every second sample is kept.
void FftHalve(const FloatImage& from, FloatImage& to) {
    const u32 w = from.Width, h = from.Height;
    assert(IsPowerOfTwo(w) && IsPowerOfTwo(h));
    Resize(to, Half(w), Half(h));
    std::vector<f32> re(u64(w) * h), im(u64(w) * h);
    std::vector<f32> lineIn(2 * u64(std::max(w, h))), lineOut(2 * u64(std::max(w, h)));
    f32* inRe = lineIn.data();
    f32* inIm = inRe + std::max(w, h);
    f32* outRe = lineOut.data();
    f32* outIm = outRe + std::max(w, h);
    const auto columns = [&](bool inverse) {
        for (u32 x = 0; x < w; ++x) {
            for (u32 y = 0; y < h; ++y) {
                inRe[y] = re[u64(y) * w + x];
                inIm[y] = im[u64(y) * w + x];
            }
            Fft(h, inverse, inRe, inIm, outRe, outIm);
            for (u32 y = 0; y < h; ++y) {
                re[u64(y) * w + x] = outRe[y];
                im[u64(y) * w + x] = outIm[y];
            }
        }
    };
    for (u32 k = 0; k < 4; ++k) {
        for (u32 y = 0; y < h; ++y)
            Fft(w, false, from.Plane(k) + u64(y) * w, nullptr, &re[u64(y) * w], &im[u64(y) * w]);
        columns(false);
        for (u32 y = 0; y < h; ++y)
            for (u32 x = 0; x < w; ++x)
                if ((x >= w / 4 && x < w / 4 + w / 2) || (y >= h / 4 && y < h / 4 + h / 2))
                    re[u64(y) * w + x] = im[u64(y) * w + x] = 0.0f;
        columns(true);
        for (u32 y = 0; y < h; y += 2) {
            Fft(w, true, &re[u64(y) * w], &im[u64(y) * w], outRe, outIm);
            for (u32 x = 0; x < w; x += 2)
                to.Plane(k)[u64(y / 2) * to.Width + x / 2] = outRe[x];
        }
    }
}

// The index a sample outside 0..n-1 reads: mirrored about the first and last samples
// (-1 is 1, n is n - 2), which repeats with period 2 (n - 1).
u64 Mirror(i64 index, u32 n) {
    if (n == 1)
        return 0;
    const i64 period = 2 * (i64(n) - 1);
    i64 folded = index % period;
    if (folded < 0)
        folded += period;
    return u64(folded < n ? folded : period - folded);
}

// One level of the windowed sinc: the top level filtered with kernel `kernel` and halved, then
// halved `more` times taking every second sample from the second.
void SincLevel(const FloatImage& top, const FilterKernel& kernel, u32 more, FloatImage& to,
               std::vector<f32>& work, std::vector<f32>& ping, std::vector<f32>& pong) {
    static const FilterKernel kSecondSample{{0.0f, 1.0f}};
    u32 w = Half(top.Width), h = Half(top.Height);
    for (u32 i = 0; i < more; ++i)
        w = Half(w), h = Half(h);
    Resize(to, w, h);
    work.resize(u64(Half(top.Width)) * top.Height);
    ping.resize(u64(Half(top.Width)) * Half(top.Height));
    pong.resize(ping.size());
    for (u32 k = 0; k < 4; ++k) {
        u32 width = top.Width, height = top.Height;
        FilterAndHalve(top.Plane(k), width, height, kernel, work.data(), ping.data());
        width = Half(width), height = Half(height);
        for (u32 i = 0; i < more; ++i) {
            FilterAndHalve(ping.data(), width, height, kSecondSample, work.data(), pong.data());
            std::swap(ping, pong);
            width = Half(width), height = Half(height);
        }
        std::copy_n(ping.begin(), u64(w) * h, to.Planes[k].begin());
    }
}

void BuildLevels(MipLevelList& list, const u8* pixels, u32 width, u32 height, i16 filter,
                 MipProgressCallback progress) {
    list.Levels.push_back({width, height, const_cast<u8*>(pixels)});
    for (u32 w = width, h = height; w > 1 || h > 1;) {
        w = Half(w), h = Half(h);
        list.Storage.emplace_back(u64(w) * h * 4, u8(0));
        list.Levels.push_back({w, h, list.Storage.back().data()});
    }

    FloatImage top;
    Resize(top, width, height);
    const u64 count = u64(width) * height;
    for (u32 k = 0; k < 4; ++k)
        for (u64 i = 0; i < count; ++i)
            top.Plane(k)[i] = f32(pixels[i * 4 + k]) * kByteToFloat;

    if (filter == ETextureMipFilter_Sinc || filter == ETextureMipFilter_SincSquared) {
        const bool squared = filter == ETextureMipFilter_SincSquared;
        if (squared)
            for (std::vector<f32>& plane : top.Planes)
                for (f32& v : plane)
                    v *= v;
        std::vector<FilterKernel> kernels;
        for (u32 k = 1; k <= kSincKernelCount; ++k)
            kernels.push_back(MakeSincKernel(k));
        FloatImage level;
        std::vector<f32> work, ping, pong;
        for (u32 L = 1; L + 1 < list.Levels.size(); ++L) {
            // Sides above 8192 would ask for kernels past the twelfth: they take the last one.
            const FilterKernel& kernel = kernels[std::min(L, kSincKernelCount) - 1];
            SincLevel(top, kernel, L - 1, level, work, ping, pong);
            if (squared)
                for (std::vector<f32>& plane : level.Planes)
                    for (f32& v : plane)
                        v = std::sqrt(std::clamp(v, 0.0f, 100.0f));
            WriteLevel(level, list.Levels[L]);
            if (progress)
                progress(i32(L));
        }
        return;
    }

    CCubicResampler resampler;
    if (filter == ETextureMipFilter_BoxOrCubic && !resampler.Reserve(std::max(width, height)))
        throw std::bad_alloc();
    FloatImage previous = std::move(top), next;
    for (u32 L = 1; L < list.Levels.size(); ++L) {
        const bool small = previous.Width < 5 || previous.Height < 5;
        if (filter == ETextureMipFilter_BoxOrCubic && !small)
            CubicHalve(previous, next, resampler);
        else if (filter == ETextureMipFilter_FftLowPass)
            FftHalve(previous, next);
        else
            BoxHalve(previous, next);
        WriteLevel(next, list.Levels[L]);
        if (progress)
            progress(i32(L));
        std::swap(previous, next);
    }
}

} // namespace

f64 BesselI0(f64 z) {
    f64 term = 1, sum = 1;
    for (u32 k = 1;; ++k) {
        term = term * (z / 2) / k;
        sum += term * term;
        if (term * term <= sum * 1e-16)
            return sum;
    }
}

FilterKernel MakeSincKernel(u32 k) {
    const u32 n = 10u << (k - 1), half = n / 2;
    const f32 scale = std::ldexp(1.0f, -i32(k));
    const f64 alpha = 4.0, window = BesselI0(alpha);
    FilterKernel kernel;
    kernel.Taps.resize(n);
    f64 sum = 0;
    for (u32 i = 0; i < n; ++i) {
        const f32 x = (f32(i) - f32(half) + 0.5f) * scale;
        const f64 pix = std::numbers::pi * x;
        const f64 sinc = x == 0.0f ? 1.0 : std::sin(pix) / pix;
        const f64 r = f64(x) / half;
        const f64 tap = BesselI0(alpha * std::sqrt(std::max(0.0, 1 - r * r))) / window * sinc;
        kernel.Taps[i] = f32(tap);
        sum += kernel.Taps[i];
    }
    if (sum != 0)
        for (f32& tap : kernel.Taps)
            tap = f32(tap / sum);
    return kernel;
}

void FilterAndHalve(const f32* plane, u32 width, u32 height, const FilterKernel& kernel,
                    f32* rowsWork, f32* out) {
    const u32 n = u32(kernel.Taps.size());
    const i64 offset = 1 - i64(n / 2);
    const u32 halfWidth = Half(width);
    for (u32 y = 0; y < height; ++y) {
        const f32* row = plane + u64(y) * width;
        for (u32 j = 0; j < width; j += 2) {
            f64 sum = 0;
            for (u32 t = 0; t < n; ++t)
                sum += f64(kernel.Taps[t]) * row[Mirror(i64(j) + offset + t, width)];
            rowsWork[u64(y) * halfWidth + j / 2] = f32(sum);
        }
    }
    for (u32 x = 0; x < halfWidth; ++x)
        for (u32 i = 0; i < height; i += 2) {
            f64 sum = 0;
            for (u32 t = 0; t < n; ++t)
                sum += f64(kernel.Taps[t]) *
                       rowsWork[Mirror(i64(i) + offset + t, height) * halfWidth + x];
            out[u64(i / 2) * halfWidth + x] = f32(sum);
        }
}

std::unique_ptr<MipLevelList> BuildMipChain(const u8* pixels, u32 width, u32 height, i16 filter,
                                            MipProgressCallback progress) {
    std::unique_ptr<MipLevelList> list(new (std::nothrow) MipLevelList());
    if (!list)
        return nullptr;
    try {
        BuildLevels(*list, pixels, width, height, filter, progress);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return list;
}
