#include "plug/bitmap/TextureResample.h"

#include <algorithm>
#include <new>

namespace {

constexpr u64 kLargestTableSide = 8192;

bool IsPowerOfTwo(u64 x) {
    return x != 0 && (x & (x - 1)) == 0;
}

// The table's neighbours lo < x < hi of a side that is neither 0, a power of two nor above the
// table: lo is x's highest bit.
u64 LowerNeighbour(u64 x) {
    u64 lo = 1;
    while (lo * 2 < x)
        lo *= 2;
    return lo;
}

bool HasNoChoice(u64 x) {
    return x == 0 || (x > kLargestTableSide && !IsPowerOfTwo(x));
}

} // namespace

i64 NearestPowerOfTwo(u64 x) {
    if (HasNoChoice(x))
        return -1;
    if (IsPowerOfTwo(x))
        return i64(x);
    const u64 lo = LowerNeighbour(x), hi = lo * 2;
    return i64(x - lo < hi - x ? lo : hi);
}

i64 NextPowerOfTwo(u64 x) {
    if (HasNoChoice(x))
        return -1;
    return i64(IsPowerOfTwo(x) ? x : LowerNeighbour(x) * 2);
}

i64 PreviousPowerOfTwo(u64 x) {
    if (HasNoChoice(x))
        return -1;
    return i64(IsPowerOfTwo(x) ? x : LowerNeighbour(x));
}

bool CCubicResampler::Reserve(u32 maxSamples) {
    if (maxSamples <= m_Reserved)
        return true;
    m_Work.reset(new (std::nothrow) f64[u64(maxSamples) * 3]);
    m_Reserved = m_Work ? maxSamples : 0;
    return m_Work != nullptr;
}

void CCubicResampler::Resample(const f32* in, u32 n, u64 inStride, f32* out, u32 m, u64 outStride) {
    if (n == 0 || n == 1 || m == 1) {
        const f32 value = n ? in[0] : 0.0f;
        for (u32 j = 0; j < m; ++j)
            out[j * outStride] = value;
        return;
    }
    f64* s = m_Work.get();
    f64* derivative = s + n;
    f64* upper = derivative + n;
    for (u32 i = 0; i < n; ++i)
        s[i] = in[i * inStride];
    if (n == 2) {
        derivative[0] = derivative[1] = s[1] - s[0];
    } else if (n == 3) {
        // The three rows are linearly dependent here; the parabola through the samples gives the
        // one solution that reproduces a quadratic.
        derivative[0] = (4 * s[1] - 3 * s[0] - s[2]) / 2;
        derivative[1] = (s[2] - s[0]) / 2;
        derivative[2] = (3 * s[2] - 4 * s[1] + s[0]) / 2;
    } else {
        // Rows: 2 D0 + 4 D1 = 4 s1 - 5 s0 + s2; D(i-1) + 4 Di + D(i+1) = 3 (s(i+1) - s(i-1));
        // 4 D(n-2) + 2 D(n-1) = 5 s(n-1) - 4 s(n-2) - s(n-3). Forward elimination keeps the
        // normalised upper diagonal and right-hand side, back substitution gives D.
        upper[0] = 4.0 / 2.0;
        derivative[0] = (4 * s[1] - 5 * s[0] + s[2]) / 2.0;
        for (u32 i = 1; i < n; ++i) {
            const bool last = i == n - 1;
            const f64 below = last ? 4 : 1, diagonal = last ? 2 : 4, above = last ? 0 : 1;
            const f64 rhs = last ? 5 * s[i] - 4 * s[i - 1] - s[i - 2] : 3 * (s[i + 1] - s[i - 1]);
            const f64 pivot = diagonal - below * upper[i - 1];
            upper[i] = above / pivot;
            derivative[i] = (rhs - below * derivative[i - 1]) / pivot;
        }
        for (u32 i = n - 1; i-- > 0;)
            derivative[i] -= upper[i] * derivative[i + 1];
    }
    const f32 step = f32(n - 1) / f32(m - 1);
    f32 position = 0;
    for (u32 j = 0; j < m; ++j, position += step) {
        const u32 i = std::min(u32(position), n - 2);
        const f64 t = f64(position) - i;
        const f64 c = s[i], d = s[i + 1] - c, d0 = derivative[i], d1 = derivative[i + 1];
        out[j * outStride] =
            f32(c + t * (d0 + t * ((3 * d - 2 * d0 - d1) + t * (d0 + d1 - 2 * d))));
    }
}

u64 ResampleLargestBuffer(u32 width, u32 height, u32 channels, u32 newWidth, u32 newHeight) {
    return std::max({u64(newWidth) * newHeight * channels, u64(width) * height * sizeof(f32),
                     u64(newWidth) * height * sizeof(f32), u64(newHeight) * sizeof(f32),
                     u64(std::max({width, height, newHeight})) * 3 * sizeof(f64)});
}

std::unique_ptr<u8[]> ResampleImage(const u8* pixels, u32 width, u32 height, u32 channels,
                                    u32 pitch, u32 newWidth, u32 newHeight) {
    std::unique_ptr<u8[]> result(new (std::nothrow) u8[u64(newWidth) * newHeight * channels]);
    std::unique_ptr<f32[]> plane(new (std::nothrow) f32[u64(width) * height]);
    std::unique_ptr<f32[]> rows(new (std::nothrow) f32[u64(newWidth) * height]);
    std::unique_ptr<f32[]> column(new (std::nothrow) f32[newHeight]);
    CCubicResampler resampler;
    if (!result || !plane || !rows || !column || !resampler.Reserve(std::max(width, height)))
        return nullptr;
    for (u32 c = 0; c < channels; ++c) {
        for (u32 y = 0; y < height; ++y)
            for (u32 x = 0; x < width; ++x)
                plane[u64(y) * width + x] = pixels[u64(y) * pitch + u64(x) * channels + c];
        for (u32 y = 0; y < height; ++y)
            resampler.Resample(&plane[u64(y) * width], width, 1, &rows[u64(y) * newWidth], newWidth,
                               1);
        for (u32 x = 0; x < newWidth; ++x) {
            resampler.Resample(&rows[x], height, newWidth, column.get(), newHeight, 1);
            for (u32 y = 0; y < newHeight; ++y) {
                const f32 v = std::clamp(column[y], 0.0f, 255.0f);
                result[(u64(y) * newWidth + x) * channels + c] = u8(v + 0.5f);
            }
        }
    }
    return result;
}
