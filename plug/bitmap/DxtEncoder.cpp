#include "plug/bitmap/DxtEncoder.h"

#include "core/base/ClassicLog.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <limits>

namespace {

using Vec3 = std::array<double, 3>;

double Dot(const Vec3& a, const Vec3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// A level of `bits` bits expanded to 8 bits by replicating its top bits.
i32 Expand(u32 level, u32 bits) {
    return i32((level << (8 - bits)) | (level >> (2 * bits - 8)));
}

// 5-bit green of a grey block stored on 6 bits by the same replication, so that the decoded
// green stays next to the decoded red and blue (white stays 0xFFFF, black 0x0000).
u32 GreyGreenToSixBits(u32 level) {
    return (level << 1) | (level >> 4);
}

i32 RoundTo8Bits(double channel) {
    return i32(std::floor(255.0 * channel + 0.5));
}

// ---------------------------------------------------------------------------------------------
// Uniform-colour table: for each depth (5 or 6 bits), way and 8-bit value, the pair of levels
// whose combination decodes to that value exactly, the pair with the smallest level difference
// (levels tried from the highest down, the first endpoint in the outer loop, the earlier pair kept
// on equal difference). Way 0 is an endpoint itself, way 1 the midpoint (a + b) / 2, way 2 the
// third (a + 2b + 1) / 3.

struct UniformPair {
    u8 A = 0;
    u8 B = 0;
    bool Present = false;
};

struct UniformTable {
    UniformPair Pairs[2][3][256]; // [depth 5 or 6][way][value]
};

UniformTable BuildUniformTable() {
    UniformTable table;
    for (u32 depthIndex = 0; depthIndex < 2; ++depthIndex) {
        const u32 bits = 5 + depthIndex;
        const i32 top = (1 << bits) - 1;
        for (u32 way = 0; way < 3; ++way) {
            i32 best[256];
            std::fill(std::begin(best), std::end(best), INT32_MAX);
            for (i32 a = top; a >= 0; --a) {
                for (i32 b = top; b >= 0; --b) {
                    const i32 ea = Expand(u32(a), bits), eb = Expand(u32(b), bits);
                    const i32 value = way == 0   ? ea
                                      : way == 1 ? (ea + eb) / 2
                                                 : (ea + 2 * eb + 1) / 3;
                    if (way == 0 && b != a)
                        continue; // an endpoint alone: its partner is itself
                    const i32 difference = std::abs(a - b);
                    if (difference < best[value]) {
                        best[value] = difference;
                        table.Pairs[depthIndex][way][value] = {u8(a), u8(b), true};
                    }
                }
            }
        }
    }
    return table;
}

const UniformTable& GetUniformTable() {
    static const UniformTable table = BuildUniformTable();
    return table;
}

// ---------------------------------------------------------------------------------------------
// The distinct colours of a block (weighted, absolute) with their counts.

struct ColourSet {
    u32 Count = 0;
    Vec3 Colours[16];
    double Counts[16];
    u32 OfTexel[16]; // for each included colour of the block, its distinct colour
    Vec3 Weights;
    bool Grey = false;
};

// One rounding of real endpoints to 5:6:5 with its palette indices.
struct Rounded {
    double Error = 0;
    u32 Mode = 4;
    u32 Levels[2][3] = {};
    u8 IndexOf[16] = {}; // per distinct colour
};

u32 ChannelBits(u32 channel, bool grey) {
    return channel == 1 && !grey ? 6 : 5;
}

// The largest level whose expansion is not above x (level 0 when none is, or x is not a number).
u32 LevelAtOrBelow(double x, u32 bits) {
    const u32 top = (1u << bits) - 1;
    if (!(x >= 0))
        return 0;
    if (x >= 255.0)
        return top;
    u32 level = std::min(u32(x * double(top) / 255.0), top);
    while (level < top && double(Expand(level + 1, bits)) <= x)
        ++level;
    while (level > 0 && double(Expand(level, bits)) > x)
        --level;
    return level;
}

// The exhaustive choice among the 64 roundings of e0 and e1 (weighted, absolute) in `mode`.
//
// The weighted squared distances of every colour to the palette entries are made once per
// channel and candidate level (an endpoint's entry depends on its level alone, an inner entry on
// both). A combination's error is summed colour by colour, each colour's nearest entry taken as
// the smallest of (red + green) + blue over the entries, two entries to an SSE2 register with
// the same operations in the same order as one at a time; a combination stops as soon as its
// partial sum reaches the best error so far, as it could then no longer replace it.
//
// Only an answer below `ceiling` is wanted (the error of a rounding already in hand): when no
// combination can reach below it, the answer is an error of infinity and no levels. Below the
// ceiling the answer is the same first smallest combination as without it.
Rounded RoundEndpoints(const ColourSet& set, const Vec3& e0, const Vec3& e1, u32 mode,
                       double ceiling = std::numeric_limits<double>::infinity()) {
    Rounded none;
    none.Error = std::numeric_limits<double>::infinity();
    none.Mode = mode;
    // The least sums carry a factor that keeps a skip clear of their rounding.
    auto unreachable = [&](double least) { return least * (1.0 - 1e-9) >= ceiling; };
    double leastSoFar = 0;
    const u32 entries = mode == 4 ? 4 : 3;
    const u32 count = set.Count;
    // Per channel: the two candidate levels of each endpoint, and for each of the four
    // combinations the weighted squared distance of every colour to every palette entry (an
    // absent fourth entry at infinity).
    u32 candidates[3][4][2];
    alignas(16) double distance[3][4][16][4];
    double channelLeast[3][4], channelLeastOfAll[3];
    for (u32 c = 0; c < 3; ++c) {
        const u32 bits = ChannelBits(c, set.Grey);
        const u32 top = (1u << bits) - 1;
        const double weight = set.Weights[c];
        u32 lo[2], hi[2];
        const Vec3* ends[2] = {&e0, &e1};
        for (u32 e = 0; e < 2; ++e) {
            const double x = weight > 0 ? 255.0 * ((*ends[e])[c] / weight) : 0.0;
            lo[e] = LevelAtOrBelow(x, bits);
            hi[e] = lo[e] < top ? lo[e] + 1 : lo[e];
        }
        double target[16];
        for (u32 k = 0; k < count; ++k)
            target[k] = 255.0 * set.Colours[k][c];
        // The endpoint entries, once per candidate level.
        double endDistance[2][2][16]; // [endpoint][lo or hi][colour]
        for (u32 e = 0; e < 2; ++e)
            for (u32 h = 0; h < 2; ++h) {
                const double p = double(Expand(h ? hi[e] : lo[e], bits));
                for (u32 k = 0; k < count; ++k) {
                    const double d = weight * p - target[k];
                    endDistance[e][h][k] = d * d;
                }
            }
        for (u32 combo = 0; combo < 4; ++combo) {
            const u32 h0 = combo >> 1 & 1, h1 = combo & 1;
            const u32 l0 = h0 ? hi[0] : lo[0];
            const u32 l1 = h1 ? hi[1] : lo[1];
            candidates[c][combo][0] = l0;
            candidates[c][combo][1] = l1;
            const i32 p0 = Expand(l0, bits), p1 = Expand(l1, bits);
            double inner[2];
            if (mode == 4) {
                inner[0] = double((2 * p0 + p1 + 1) / 3);
                inner[1] = double((p0 + 2 * p1 + 1) / 3);
            } else {
                inner[0] = double((p0 + p1) / 2);
            }
            for (u32 k = 0; k < count; ++k) {
                double* out = distance[c][combo][k];
                out[0] = endDistance[0][h0][k];
                out[1] = endDistance[1][h1][k];
                const double d2 = weight * inner[0] - target[k];
                out[2] = d2 * d2;
                if (mode == 4) {
                    const double d3 = weight * inner[1] - target[k];
                    out[3] = d3 * d3;
                } else {
                    out[3] = c == 0 ? std::numeric_limits<double>::infinity() : 0.0;
                }
            }
            // Each colour's nearest entry in this channel alone: the channel's part of any
            // combination's error is at least this sum.
            double least = 0;
            for (u32 k = 0; k < count; ++k) {
                const double* d = distance[c][combo][k];
                double nearest = std::min(d[0], std::min(d[1], d[2]));
                if (mode == 4)
                    nearest = std::min(nearest, d[3]);
                least += set.Counts[k] * nearest;
            }
            channelLeast[c][combo] = least;
        }
        channelLeastOfAll[c] = *std::min_element(channelLeast[c], channelLeast[c] + 4);
        leastSoFar += channelLeastOfAll[c];
        if (unreachable(leastSoFar))
            return none;
    }

    // The error of a combination, summed until it passes `limit` (or reaches it, with orEqual).
    auto errorOf = [&](u32 r, u32 g, u32 b, double limit, bool orEqual) {
        double error = 0;
        for (u32 k = 0; k < count; ++k) {
            const double* dr = distance[0][r][k];
            const double* dg = distance[1][g][k];
            const double* db = distance[2][b][k];
            const __m128d low =
                _mm_add_pd(_mm_add_pd(_mm_load_pd(dr), _mm_load_pd(dg)), _mm_load_pd(db));
            const __m128d high = _mm_add_pd(_mm_add_pd(_mm_load_pd(dr + 2), _mm_load_pd(dg + 2)),
                                            _mm_load_pd(db + 2));
            const __m128d pair = _mm_min_pd(low, high);
            error += set.Counts[k] * _mm_cvtsd_f64(_mm_min_sd(pair, _mm_unpackhi_pd(pair, pair)));
            if (error > limit || (orEqual && error == limit))
                return error;
        }
        return error;
    };
    // The combination of the nearest levels, summed first, bounds the smallest error: a
    // combination whose partial sum passes it is not the first smallest.
    u32 nearestCombo[3];
    for (u32 c = 0; c < 3; ++c) {
        const u32 bits = ChannelBits(c, set.Grey);
        const double weight = set.Weights[c];
        nearestCombo[c] = 0;
        for (u32 e = 0; e < 2; ++e) {
            const double x = weight > 0 ? 255.0 * ((e ? e1 : e0)[c] / weight) : 0.0;
            const u32 lo = candidates[c][0][e], hi = candidates[c][3][e];
            if (hi != lo && double(Expand(hi, bits)) - x < x - double(Expand(lo, bits)))
                nearestCombo[c] |= e ? 1u : 2u;
        }
    }
    // Summed in full unless it reaches the ceiling (the partial sums only grow).
    const double bound = errorOf(nearestCombo[0], nearestCombo[1], nearestCombo[2], ceiling, true);

    Rounded best;
    best.Mode = mode;
    u32 bestCombo[3] = {0, 0, 0};
    bool first = true;
    if (!(bound < ceiling)) {
        // Only a combination strictly below the ceiling is kept, as if one at the ceiling were
        // in hand.
        first = false;
        best.Error = ceiling;
    }
    // A combination (or a family of them) whose channels' least sums already pass the bound
    // or the best is skipped; the factor keeps the skip clear of the sums' rounding.
    auto beyond = [&](double least) { return least * (1.0 - 1e-9) > (first ? bound : best.Error); };
    for (u32 r = 0; r < 4; ++r) {
        if (beyond(channelLeast[0][r] + channelLeastOfAll[1] + channelLeastOfAll[2]))
            continue;
        for (u32 g = 0; g < 4; ++g) {
            if (beyond(channelLeast[0][r] + channelLeast[1][g] + channelLeastOfAll[2]))
                continue;
            for (u32 b = 0; b < 4; ++b) {
                if (beyond(channelLeast[0][r] + channelLeast[1][g] + channelLeast[2][b]))
                    continue;
                // Past the bound, or (once a combination is kept) at or past the best.
                const double limit = first ? bound : best.Error;
                const double error = errorOf(r, g, b, limit, !first);
                if (error > limit || (!first && error == limit))
                    continue;
                if (first || error < best.Error) {
                    first = false;
                    best.Error = error;
                    bestCombo[0] = r;
                    bestCombo[1] = g;
                    bestCombo[2] = b;
                }
            }
        }
    }
    if (!(best.Error < ceiling))
        return none;
    for (u32 c = 0; c < 3; ++c) {
        best.Levels[0][c] = candidates[c][bestCombo[c]][0];
        best.Levels[1][c] = candidates[c][bestCombo[c]][1];
    }
    for (u32 k = 0; k < count; ++k) {
        double nearest = 0;
        for (u32 i = 0; i < entries; ++i) {
            const double d = distance[0][bestCombo[0]][k][i] + distance[1][bestCombo[1]][k][i] +
                             distance[2][bestCombo[2]][k][i];
            if (i == 0 || d < nearest) {
                nearest = d;
                best.IndexOf[k] = u8(i);
            }
        }
    }
    return best;
}

// ---------------------------------------------------------------------------------------------
// Uniform colour: every included texel has the same colour.

void FitUniform(DxtColourBlock& block, bool grey, u32 mode) {
    const UniformTable& table = GetUniformTable();
    const double n = double(block.Count);
    u8 ends[3][2][3]; // [way][endpoint][channel]
    double errors[3] = {0, 0, 0};
    for (u32 way = 0; way < 3; ++way) {
        for (u32 c = 0; c < 3; ++c) {
            const u32 bits = ChannelBits(c, grey);
            const UniformPair* pairs = table.Pairs[bits - 5][way];
            const double exact = 255.0 * block.Colours[0][c];
            const i32 v = std::clamp(RoundTo8Bits(block.Colours[0][c]), 0, 255);
            // The nearest values at or above and at or below the exact value that decode exactly.
            i32 upper = -1, lower = -1;
            if (pairs[v].Present && exact <= double(v))
                upper = v;
            else
                for (i32 u = v + 1; u < 256 && upper < 0; ++u)
                    if (pairs[u].Present)
                        upper = u;
            if (pairs[v].Present && exact >= double(v))
                lower = v;
            else
                for (i32 l = v - 1; l >= 0 && lower < 0; --l)
                    if (pairs[l].Present)
                        lower = l;
            const double weight = block.Weights[c];
            auto errorOf = [&](i32 value) {
                const double d = weight * (double(value) - exact);
                return n * d * d;
            };
            i32 chosen;
            if (upper < 0)
                chosen = lower;
            else if (lower < 0)
                chosen = upper;
            else {
                const double eu = errorOf(upper), el = errorOf(lower);
                if (eu < el)
                    chosen = upper;
                else if (el < eu)
                    chosen = lower;
                else
                    chosen = v & 1 ? upper : lower;
            }
            errors[way] += errorOf(chosen);
            ends[way][0][c] = pairs[chosen].A;
            ends[way][1][c] = pairs[chosen].B;
        }
    }
    u32 way = 0;
    if (mode == 4) {
        if (!block.ForceFourColours && errors[0] > errors[1])
            way = errors[2] < errors[1] ? 2 : 1;
        else if (errors[2] < errors[0])
            way = 2;
    } else if (errors[1] < errors[0]) {
        way = 1;
    }
    block.ChosenMode = way == 0 ? mode : way == 1 ? 3 : 4;
    for (u32 e = 0; e < 2; ++e) {
        for (u32 c = 0; c < 3; ++c)
            block.Endpoints[e][c] = ends[way][e][c];
        if (grey)
            block.Endpoints[e][1] = u8(GreyGreenToSixBits(block.Endpoints[e][1]));
    }
    for (u32 k = 0; k < block.Count; ++k)
        block.Indices[k] = u8(way + 1);
}

// ---------------------------------------------------------------------------------------------
// Sort-and-split cluster fit over the distinct colours, relative to their mean.

struct SplitFit {
    bool Found = false;
    double Residual = 0;
    Vec3 E0{}, E1{};
    u32 Positions = 4; // 4 or 3 palette positions of the split
};

// The box of representable endpoints relative to the mean: [Low, High] per channel.
struct Box {
    Vec3 Low, High;
};

constexpr double kInverseCount[17] = {0,        1.0 / 1,  1.0 / 2,  1.0 / 3,  1.0 / 4,  1.0 / 5,
                                      1.0 / 6,  1.0 / 7,  1.0 / 8,  1.0 / 9,  1.0 / 10, 1.0 / 11,
                                      1.0 / 12, 1.0 / 13, 1.0 / 14, 1.0 / 15, 1.0 / 16};

// The sums of the least-squares system of a split (count-weighted s^2, s t, t^2, s colour and
// t colour, s = 1 - t), gathered run by run, for its closed-form residual.
struct Moments {
    double Alpha = 0, Beta = 0, Gamma = 0;
    double X0[3] = {0, 0, 0}, X1[3] = {0, 0, 0};

    // Adds the run [from, to) at position t.
    void Add(const double* prefixCount, const Vec3* prefixColour, u32 from, u32 to, double t) {
        const double count = prefixCount[to] - prefixCount[from], s = 1.0 - t;
        Alpha += count * s * s;
        Beta += count * s * t;
        Gamma += count * t * t;
        for (u32 c = 0; c < 3; ++c) {
            const double sum = prefixColour[to][c] - prefixColour[from][c];
            X0[c] += s * sum;
            X1[c] += t * sum;
        }
    }
};

// The sums of a split's last runs for every last boundary but one: entry [k] holds the runs
// from the row's first boundary to k and from k to the end.
struct MomentRow {
    double Alpha[17], Beta[17], Gamma[17], X0[3][17], X1[3][17];

    void Fill(const double* prefixCount, const Vec3* prefixColour, u32 first, u32 end, double t0,
              double t1) {
        for (u32 k = first; k <= end; ++k) {
            Moments m;
            m.Add(prefixCount, prefixColour, first, k, t0);
            m.Add(prefixCount, prefixColour, k, end, t1);
            Alpha[k] = m.Alpha;
            Beta[k] = m.Beta;
            Gamma[k] = m.Gamma;
            for (u32 c = 0; c < 3; ++c) {
                X0[c][k] = m.X0[c];
                X1[c][k] = m.X1[c];
            }
        }
    }

    // Of the splits head + entry [k], k = first + candidates[o], those whose smallest residual
    // (totalSquare less the fitted part) lies below `limit`, as k - first into `open`; their
    // number. A split that puts every texel at one position (determinant 0, else at least 1/9)
    // is left out.
    u32 Reaching(const Moments& head, u32 first, double totalSquare, double limit,
                 const u8* candidates, u32 count, u8* open) const {
        double below[17];
        for (u32 o = 0; o < count; ++o) {
            const u32 k = first + candidates[o];
            const double alpha = head.Alpha + Alpha[k], beta = head.Beta + Beta[k],
                         gamma = head.Gamma + Gamma[k];
            const double det = alpha * gamma - beta * beta;
            double fitted = 0;
            for (u32 c = 0; c < 3; ++c) {
                const double x0 = head.X0[c] + X0[c][k], x1 = head.X1[c] + X1[c][k];
                fitted += gamma * x0 * x0 - 2.0 * beta * x0 * x1 + alpha * x1 * x1;
            }
            // Positive when the split may reach the limit.
            below[o] = det < 1e-3 ? -1.0 : fitted - (totalSquare - limit) * det;
        }
        u32 opened = 0;
        for (u32 o = 0; o < count; ++o)
            if (below[o] > 0)
                open[opened++] = candidates[o];
        return opened;
    }
};

class ClusterFit {
public:
    ClusterFit(const Vec3* centred, const double* counts, u32 count, bool tryFour, bool tryThree)
        : m_Centred(centred), m_Counts(counts), m_Count(count), m_TryFour(tryFour),
          m_TryThree(tryThree) {}

    // At most `rounds` sort-and-split rounds from `axis`; the best split over the rounds.
    SplitFit Pass(Vec3 axis, u32 rounds, const Box* box) {
        SplitFit best;
        m_History = 0;
        for (u32 round = 0; round < rounds; ++round) {
            u8 order[16];
            SortByProjection(axis, false, order);
            if (Repeats(order)) {
                SortByProjection(axis, true, order);
                if (Repeats(order))
                    break;
            }
            Remember(order);
            const SplitFit fit = BestSplit(order, box);
            if (!fit.Found)
                break;
            if (!best.Found || fit.Residual < best.Residual)
                best = fit;
            for (u32 c = 0; c < 3; ++c)
                axis[c] = fit.E1[c] - fit.E0[c];
        }
        return best;
    }

private:
    void SortByProjection(const Vec3& axis, bool reverseTies, u8 (&order)[16]) const {
        double projection[16];
        for (u32 k = 0; k < m_Count && k < 16; ++k) {
            projection[k] = Dot(m_Centred[k], axis);
            order[k] = u8(k);
        }
        std::sort(order, order + m_Count, [&](u8 a, u8 b) {
            if (projection[a] != projection[b])
                return projection[a] < projection[b];
            return reverseTies ? a > b : a < b;
        });
    }

    bool Repeats(const u8* order) const {
        for (u32 h = 0; h < m_History; ++h) {
            const u8* seen = m_Orders[h];
            bool same = true, reversed = true;
            for (u32 k = 0; k < m_Count; ++k) {
                same = same && seen[k] == order[k];
                reversed = reversed && seen[k] == order[m_Count - 1 - k];
            }
            if (same || reversed)
                return true;
        }
        return false;
    }

    // A pass has at most 16 rounds, so the last 16 orders are all of them.
    void Remember(const u8* order) {
        if (m_History < 16)
            std::memcpy(m_Orders[m_History++], order, m_Count);
    }

    // Every split of the ordered list into consecutive runs over the palette positions, in
    // lexicographic order of the run boundaries (four positions first, then three); the first
    // smallest residual wins. The run sums come from running sums in list order.
    //
    // Most splits cannot win, and are skipped without their fit: a split's residual is at least
    // the sum of its runs' scatters about their own means (the fit puts each run at one point),
    // so a split, or a whole family of splits sharing their first runs, whose scatter bound lies
    // above a residual already reached (that of the split with the smallest bound, fitted first,
    // or the best so far) is never the first minimum. The bound is compared with a margin far
    // above the rounding of both sides, so a skipped split could never have tied or won.
    SplitFit BestSplit(const u8* order, const Box* box) const {
        double prefixCount[17] = {0};
        Vec3 prefixColour[17] = {};
        double prefixSquare[17] = {0};
        double totalSquare = 0, spread = 0;
        for (u32 k = 0; k < m_Count; ++k) {
            const u32 i = order[k];
            prefixCount[k + 1] = prefixCount[k] + m_Counts[i];
            for (u32 c = 0; c < 3; ++c) {
                prefixColour[k + 1][c] = prefixColour[k][c] + m_Counts[i] * m_Centred[i][c];
                spread = std::max(spread, std::abs(m_Centred[i][c]));
            }
            const double square = m_Counts[i] * Dot(m_Centred[i], m_Centred[i]);
            totalSquare += square;
            prefixSquare[k + 1] = prefixSquare[k] + square;
        }
        const u32 n = m_Count;
        // scatter[a][b]: the scatter of the run [a, b) about its mean (0 when empty).
        double scatter[17][17];
        for (u32 a = 0; a <= n; ++a) {
            scatter[a][a] = 0;
            for (u32 b = a + 1; b <= n; ++b) {
                Vec3 sum;
                for (u32 c = 0; c < 3; ++c)
                    sum[c] = prefixColour[b][c] - prefixColour[a][c];
                // Counts are whole numbers up to 16: the inverse from a table, whose rounding
                // the margin below covers.
                scatter[a][b] = prefixSquare[b] - prefixSquare[a] -
                                Dot(sum, sum) * kInverseCount[u32(prefixCount[b] - prefixCount[a])];
            }
        }
        // The smallest bound of the runs from a to the end as two runs (rest2) and three (rest3),
        // with the boundaries reaching it.
        double rest2[17], rest3[17];
        u32 rest2At[17], rest3At[17];
        for (u32 a = 0; a <= n; ++a) {
            rest2[a] = scatter[a][a] + scatter[a][n];
            rest2At[a] = a;
            for (u32 b = a + 1; b <= n; ++b)
                if (scatter[a][b] + scatter[b][n] < rest2[a]) {
                    rest2[a] = scatter[a][b] + scatter[b][n];
                    rest2At[a] = b;
                }
        }
        for (u32 a = 0; a <= n; ++a) {
            rest3[a] = scatter[a][a] + rest2[a];
            rest3At[a] = a;
            for (u32 b = a + 1; b <= n; ++b)
                if (scatter[a][b] + rest2[b] < rest3[a]) {
                    rest3[a] = scatter[a][b] + rest2[b];
                    rest3At[a] = b;
                }
        }
        // The rounding of a residual is below 1e-5 x spread^2 (the fit's system has a
        // determinant of at least 1/9 and counts of at most 16); the margin is a hundred times
        // that.
        const double margin = 1e-3 * spread * spread;

        static constexpr double kT4[4] = {0.0, 1.0 / 3.0, 2.0 / 3.0, 1.0};
        static constexpr double kT3[3] = {0.0, 0.5, 1.0};
        // The split of the smallest bound, fitted first, sets the first threshold.
        double threshold = std::numeric_limits<double>::infinity();
        SplitFit probe;
        if (m_TryFour) {
            u32 i = 0;
            for (u32 a = 1; a <= n; ++a)
                if (scatter[0][a] + rest3[a] < scatter[0][i] + rest3[i])
                    i = a;
            const u32 j = rest3At[i], k = rest2At[j];
            const u32 bounds[5] = {0, i, j, k, n};
            if (Fit(bounds, kT4, 4, prefixCount, prefixColour, totalSquare, box, probe))
                threshold = probe.Residual;
        }
        if (m_TryThree) {
            u32 i = 0;
            for (u32 a = 1; a <= n; ++a)
                if (scatter[0][a] + rest2[a] < scatter[0][i] + rest2[i])
                    i = a;
            const u32 bounds[4] = {0, i, rest2At[i], n};
            if (Fit(bounds, kT3, 3, prefixCount, prefixColour, totalSquare, box, probe))
                threshold = std::min(threshold, probe.Residual);
        }

        // A split that survives its scatter bound is tested next by its least-squares residual in
        // closed form, sum of count x |colour|^2 less the fitted part, which no endpoints can beat
        // (those held in the box included); only splits within the margin of the threshold are
        // fitted. The system's sums of a split are those of its first runs (head) plus those of
        // its last runs (tail), each made once per round.
        SplitFit best, candidate;
        auto fit = [&](const u32* bounds, const double* t, u32 positions) {
            if (Fit(bounds, t, positions, prefixCount, prefixColour, totalSquare, box, candidate) &&
                (!best.Found || candidate.Residual < best.Residual)) {
                best = candidate;
                threshold = std::min(threshold, best.Residual);
            }
        };
        auto hopeless = [&](double bound) { return bound - margin >= threshold; };
        MomentRow tails[17];
        bool tailMade[17] = {};
        u8 open[17];
        if (m_TryFour) {
            // Head: [0, i) at 0 and [i, j) at 1/3; tail: [j, k) at 2/3 and [k, n) at 1.
            for (u32 i = 0; i <= n; ++i) {
                if (hopeless(scatter[0][i] + rest3[i]))
                    continue;
                for (u32 j = i; j <= n; ++j) {
                    if (hopeless(scatter[0][i] + scatter[i][j] + rest2[j]))
                        continue;
                    if (!tailMade[j]) {
                        tails[j].Fill(prefixCount, prefixColour, j, n, kT4[2], kT4[3]);
                        tailMade[j] = true;
                    }
                    Moments head;
                    head.Add(prefixCount, prefixColour, 0, i, kT4[0]);
                    head.Add(prefixCount, prefixColour, i, j, kT4[1]);
                    const double headScatter = scatter[0][i] + scatter[i][j];
                    u8 candidates[17];
                    u32 count = 0;
                    for (u32 k = j; k <= n; ++k) {
                        candidates[count] = u8(k - j);
                        count += !hopeless(headScatter + scatter[j][k] + scatter[k][n]);
                    }
                    const u32 opened = tails[j].Reaching(head, j, totalSquare, threshold + margin,
                                                         candidates, count, open);
                    for (u32 o = 0; o < opened; ++o) {
                        const u32 bounds[5] = {0, i, j, j + open[o], n};
                        fit(bounds, kT4, 4);
                    }
                }
            }
        }
        if (m_TryThree) {
            // Head: [0, i) at 0; tail: [i, j) at 1/2 and [j, n) at 1.
            MomentRow tail;
            for (u32 i = 0; i <= n; ++i) {
                if (hopeless(scatter[0][i] + rest2[i]))
                    continue;
                tail.Fill(prefixCount, prefixColour, i, n, kT3[1], kT3[2]);
                Moments head;
                head.Add(prefixCount, prefixColour, 0, i, kT3[0]);
                u8 candidates[17];
                u32 count = 0;
                for (u32 j = i; j <= n; ++j) {
                    candidates[count] = u8(j - i);
                    count += !hopeless(scatter[0][i] + scatter[i][j] + scatter[j][n]);
                }
                const u32 opened = tail.Reaching(head, i, totalSquare, threshold + margin,
                                                 candidates, count, open);
                for (u32 o = 0; o < opened; ++o) {
                    const u32 bounds[4] = {0, i, i + open[o], n};
                    fit(bounds, kT3, 3);
                }
            }
        }
        return best;
    }

    // The least-squares fit of one split: false when every texel sits at one position.
    static bool Fit(const u32* bounds, const double* t, u32 positions, const double* prefixCount,
                    const Vec3* prefixColour, double totalSquare, const Box* box, SplitFit& fit) {
        double alpha = 0, beta = 0, gamma = 0;
        Vec3 x0{}, x1{};
        u32 used = 0;
        for (u32 p = 0; p < positions; ++p) {
            const double count = prefixCount[bounds[p + 1]] - prefixCount[bounds[p]];
            if (bounds[p + 1] == bounds[p])
                continue;
            ++used;
            const double s = 1.0 - t[p];
            alpha += count * s * s;
            beta += count * s * t[p];
            gamma += count * t[p] * t[p];
            for (u32 c = 0; c < 3; ++c) {
                const double sum = prefixColour[bounds[p + 1]][c] - prefixColour[bounds[p]][c];
                x0[c] += s * sum;
                x1[c] += t[p] * sum;
            }
        }
        const double det = alpha * gamma - beta * beta;
        if (used < 2 || !(det > 0))
            return false; // every texel at one position: no unique endpoints
        Vec3 e0, e1;
        for (u32 c = 0; c < 3; ++c) {
            e0[c] = (gamma * x0[c] - beta * x1[c]) / det;
            e1[c] = (alpha * x1[c] - beta * x0[c]) / det;
            if (box)
                HoldInBox(c, alpha, beta, gamma, x0[c], x1[c], *box, e0[c], e1[c]);
        }
        // The residual of the fitted line: sum of count x |colour - (1 - t) e0 - t e1|^2.
        const double residual = totalSquare - 2.0 * (Dot(e0, x0) + Dot(e1, x1)) +
                                alpha * Dot(e0, e0) + 2.0 * beta * Dot(e0, e1) +
                                gamma * Dot(e1, e1);
        fit.Found = true;
        fit.Residual = residual;
        fit.E0 = e0;
        fit.E1 = e1;
        fit.Positions = positions;
        return true;
    }

    // The box refit of one channel: an endpoint outside the box is clamped to it and the other,
    // when inside, solved again by least squares with the first held, then clamped too.
    static void HoldInBox(u32 c, double alpha, double beta, double gamma, double x0, double x1,
                          const Box& box, double& e0, double& e1) {
        const double low = box.Low[c], high = box.High[c];
        const bool out0 = e0 < low || e0 > high, out1 = e1 < low || e1 > high;
        if (out0 && !out1) {
            e0 = std::clamp(e0, low, high);
            e1 = std::clamp((x1 - beta * e0) / gamma, low, high);
        } else if (out1 && !out0) {
            e1 = std::clamp(e1, low, high);
            e0 = std::clamp((x0 - beta * e1) / alpha, low, high);
        } else if (out0 && out1) {
            e0 = std::clamp(e0, low, high);
            e1 = std::clamp(e1, low, high);
        }
    }

    const Vec3* m_Centred;
    const double* m_Counts;
    u32 m_Count;
    bool m_TryFour, m_TryThree;
    u8 m_Orders[16][16] = {};
    u32 m_History = 0;
};

// The direction of largest spread: the covariance scaled by 3.5 / trace and squared four times,
// three times over; the row of the largest diagonal element (the later on ties) over its root.
bool PrincipalAxis(const Vec3* centred, const double* counts, u32 count, Vec3& axis) {
    double m[3][3] = {};
    for (u32 k = 0; k < count; ++k)
        for (u32 i = 0; i < 3; ++i)
            for (u32 j = 0; j < 3; ++j)
                m[i][j] += counts[k] * centred[k][i] * centred[k][j];
    for (u32 round = 0; round < 3; ++round) {
        const double trace = m[0][0] + m[1][1] + m[2][2];
        if (!(trace > 0) || !std::isfinite(trace))
            return false;
        const double scale = 3.5 / trace;
        for (auto& row : m)
            for (double& value : row)
                value *= scale;
        for (u32 square = 0; square < 4; ++square) {
            double product[3][3];
            for (u32 i = 0; i < 3; ++i)
                for (u32 j = 0; j < 3; ++j)
                    product[i][j] = m[i][0] * m[0][j] + m[i][1] * m[1][j] + m[i][2] * m[2][j];
            std::memcpy(m, product, sizeof m);
        }
    }
    u32 largest = 0;
    for (u32 i = 1; i < 3; ++i)
        if (m[i][i] >= m[largest][largest])
            largest = i;
    const double diagonal = m[largest][largest];
    if (!(diagonal > 0) || !std::isfinite(diagonal))
        return false;
    const double root = std::sqrt(diagonal);
    for (u32 c = 0; c < 3; ++c)
        axis[c] = m[largest][c] / root;
    return true;
}

// ---------------------------------------------------------------------------------------------

bool OutsideBox(const Vec3& e, const Box& box) {
    for (u32 c = 0; c < 3; ++c)
        if (e[c] < box.Low[c] || e[c] > box.High[c])
            return true;
    return false;
}

Vec3 Mix(const Vec3& a, double fa, const Vec3& b, double fb) {
    return {fa * a[0] + fb * b[0], fa * a[1] + fb * b[1], fa * a[2] + fb * b[2]};
}

void FitClusters(DxtColourBlock& block, ColourSet& set, u32 mode) {
    // Centre on the count-weighted mean.
    double total = 0;
    Vec3 mean{};
    for (u32 k = 0; k < set.Count; ++k) {
        total += set.Counts[k];
        for (u32 c = 0; c < 3; ++c)
            mean[c] += set.Counts[k] * set.Colours[k][c];
    }
    for (u32 c = 0; c < 3; ++c)
        mean[c] /= total;
    Vec3 centred[16];
    for (u32 k = 0; k < set.Count; ++k)
        for (u32 c = 0; c < 3; ++c)
            centred[k][c] = set.Colours[k][c] - mean[c];

    // The fitted endpoints (absolute) and how they were fitted: 2 clusters, 3 or 4 positions.
    Vec3 e0, e1;
    u32 fitted;
    if (set.Count == 2 && !block.ForceFourColours) {
        e0 = set.Colours[0];
        e1 = set.Colours[1];
        fitted = 2;
    } else {
        // The farthest pair of distinct colours (the first pair on ties) gives the second start.
        double farthest = -1;
        Vec3 pairAxis{};
        for (u32 i = 0; i < set.Count; ++i)
            for (u32 j = i + 1; j < set.Count; ++j) {
                const Vec3 d = Mix(set.Colours[j], 1.0, set.Colours[i], -1.0);
                const double length = Dot(d, d);
                if (length > farthest) {
                    farthest = length;
                    pairAxis = d;
                }
            }
        Vec3 principal;
        if (!PrincipalAxis(centred, set.Counts, set.Count, principal))
            principal = pairAxis;
        ClusterFit fit(centred, set.Counts, set.Count, mode == 4, !block.ForceFourColours);
        SplitFit winner = fit.Pass(principal, 16, nullptr);
        const SplitFit second = fit.Pass(pairAxis, 16, nullptr);
        if (second.Found && (!winner.Found || second.Residual <= winner.Residual))
            winner = second;
        Box box;
        for (u32 c = 0; c < 3; ++c) {
            box.Low[c] = -mean[c];
            box.High[c] = set.Weights[c] - mean[c];
        }
        if (winner.Found && (OutsideBox(winner.E0, box) || OutsideBox(winner.E1, box))) {
            const SplitFit held = fit.Pass(Mix(winner.E1, 1.0, winner.E0, -1.0), 8, &box);
            if (held.Found)
                winner = held;
        }
        if (!winner.Found) {
            // Cannot happen with two or more distinct colours; the extremes keep the fit defined.
            winner.E0 = centred[0];
            winner.E1 = centred[set.Count - 1];
            winner.Positions = mode;
        }
        e0 = Mix(winner.E0, 1.0, mean, 1.0);
        e1 = Mix(winner.E1, 1.0, mean, 1.0);
        fitted = winner.Positions;
    }

    Rounded best = RoundEndpoints(set, e0, e1, fitted == 4 ? 4 : 3);
    auto tryAlternative = [&](const Vec3& a, const Vec3& b, u32 altMode) {
        // No error is below 0: a best error of 0 stays.
        if (altMode > mode || best.Error <= 0)
            return;
        const Rounded candidate = RoundEndpoints(set, a, b, altMode, best.Error);
        if (candidate.Error < best.Error)
            best = candidate;
    };
    if (fitted == 2) {
        tryAlternative(Mix(e0, 2.0, e1, -1.0), e1, 3);
        tryAlternative(e0, Mix(e1, 2.0, e0, -1.0), 3);
        tryAlternative(e0, e1, 4);
        tryAlternative(e0, Mix(e1, 3.0, e0, -2.0), 4);
        tryAlternative(Mix(e0, 3.0, e1, -2.0), e1, 4);
        tryAlternative(Mix(e0, 2.0, e1, -1.0), Mix(e1, 2.0, e0, -1.0), 4);
        tryAlternative(Mix(e0, 1.5, e1, -0.5), e1, 4);
        tryAlternative(e0, Mix(e1, 1.5, e0, -0.5), 4);
    } else if (fitted == 3) {
        tryAlternative(Mix(e0, 1.5, e1, -0.5), e1, 4);
        tryAlternative(e0, Mix(e1, 1.5, e0, -0.5), 4);
    }

    block.ChosenMode = best.Mode;
    for (u32 e = 0; e < 2; ++e)
        for (u32 c = 0; c < 3; ++c) {
            u32 level = best.Levels[e][c];
            if (c == 1 && set.Grey)
                level = GreyGreenToSixBits(level);
            block.Endpoints[e][c] = u8(level);
        }
    for (u32 k = 0; k < block.Count; ++k)
        block.Indices[k] = best.IndexOf[set.OfTexel[k]];
}

// ---------------------------------------------------------------------------------------------
// One-dimensional alpha fit of values to L levels.

struct LineFit {
    i32 Q0 = 0, Q1 = 0;
    double Error = 0;
    u8 Indices[16] = {};
};

// Least squares of y = (1 - s / (L - 1)) e0 + s / (L - 1) e1 over the assignment, each endpoint
// then clamped to [low, high]: the closed-form 2 x 2 solution. False when the system is singular.
bool SolveLine(const double* y, const u32* level, u32 count, u32 levels, double low, double high,
               double& e0, double& e1) {
    double alpha = 0, beta = 0, gamma = 0, x0 = 0, x1 = 0;
    for (u32 k = 0; k < count; ++k) {
        const double t = double(level[k]) / double(levels - 1), s = 1.0 - t;
        alpha += s * s;
        beta += s * t;
        gamma += t * t;
        x0 += s * y[k];
        x1 += t * y[k];
    }
    const double det = alpha * gamma - beta * beta;
    if (!(det > 0))
        return false;
    e0 = std::clamp((gamma * x0 - beta * x1) / det, low, high);
    e1 = std::clamp((alpha * x1 - beta * x0) / det, low, high);
    return true;
}

double LineError(const double* y, const u32* level, u32 count, u32 levels, double e0, double e1) {
    double error = 0;
    for (u32 k = 0; k < count; ++k) {
        const double t = double(level[k]) / double(levels - 1);
        const double d = y[k] - ((1.0 - t) * e0 + t * e1);
        error += d * d;
    }
    return error;
}

// The fit itself. Choices of ours where any method keeping the endpoints inside the data's range
// would do: the update is the closed-form least squares with each endpoint clamped to the range;
// the local improvement, tried when an assignment repeats, moves one value at a time to a
// neighbouring level, values in ascending order (list order among equal values), the lower
// neighbour first, and keeps the first move that lowers the squared error. An empty list has
// error 0 and endpoints 0 and 255.
LineFit FitLine(const double* values, u32 count, u32 levels) {
    LineFit result;
    if (count == 0) {
        result.Q1 = 255;
        return result;
    }
    double mean = 0;
    for (u32 k = 0; k < count; ++k)
        mean += values[k];
    mean /= double(count);
    double y[16];
    double low = 0, high = 0;
    for (u32 k = 0; k < count; ++k) {
        y[k] = values[k] - mean;
        low = k == 0 ? y[k] : std::min(low, y[k]);
        high = k == 0 ? y[k] : std::max(high, y[k]);
    }
    // The values in ascending order, made when the local improvement first needs it.
    u32 valueOrder[16];
    bool ordered = false;

    double e0 = low, e1 = high;
    u32 previous[16];
    bool havePrevious = false;
    for (u32 repetition = 0; repetition < 64; ++repetition) {
        u32 level[16];
        double threshold[7];
        for (u32 t = 0; t + 1 < levels; ++t)
            threshold[t] = (e1 - e0) / double(levels - 1) * (double(t) + 0.5) + e0;
        bool oneLevel = true;
        for (u32 k = 0; k < count; ++k) {
            u32 s = 0;
            for (u32 t = 0; t + 1 < levels; ++t)
                s += threshold[t] <= y[k];
            level[k] = s;
            oneLevel = oneLevel && s == level[0];
        }
        if (oneLevel)
            break;
        if (!SolveLine(y, level, count, levels, low, high, e0, e1))
            break;
        const bool repeated = havePrevious && std::equal(level, level + count, previous);
        std::copy(level, level + count, previous);
        havePrevious = true;
        if (!repeated)
            continue;
        const double current = LineError(y, level, count, levels, e0, e1);
        if (!ordered) {
            for (u32 k = 0; k < count; ++k)
                valueOrder[k] = k;
            std::sort(valueOrder, valueOrder + count,
                      [&](u32 a, u32 b) { return y[a] != y[b] ? y[a] < y[b] : a < b; });
            ordered = true;
        }
        bool improved = false;
        for (u32 v = 0; v < count && !improved; ++v) {
            const u32 k = valueOrder[v];
            for (const i32 step : {-1, 1}) {
                const i32 moved = i32(level[k]) + step;
                if (moved < 0 || moved >= i32(levels))
                    continue;
                u32 trial[16];
                std::copy(level, level + count, trial);
                trial[k] = u32(moved);
                double t0, t1;
                if (!SolveLine(y, trial, count, levels, low, high, t0, t1))
                    continue;
                if (LineError(y, trial, count, levels, t0, t1) < current) {
                    e0 = t0;
                    e1 = t1;
                    std::copy(trial, trial + count, previous);
                    improved = true;
                    break;
                }
            }
        }
        if (!improved)
            break;
    }

    result.Q0 = std::clamp(i32(std::floor((mean + e0) * 255.0 + 0.5)), 0, 255);
    result.Q1 = std::clamp(i32(std::floor((mean + e1) * 255.0 + 0.5)), 0, 255);
    i32 palette[8] = {result.Q0, result.Q1};
    const i32 divisor = i32(levels) - 1, rounding = (i32(levels) - 2) / 2;
    for (i32 i = 2; i < i32(levels); ++i)
        palette[i] = ((i32(levels) - i) * result.Q0 + (i - 1) * result.Q1 + rounding) / divisor;
    for (u32 k = 0; k < count; ++k) {
        const double target = 255.0 * values[k];
        double nearest = 0;
        for (u32 i = 0; i < levels; ++i) {
            const double d = double(palette[i]) - target;
            if (i == 0 || d * d < nearest) {
                nearest = d * d;
                result.Indices[k] = u8(i);
            }
        }
        result.Error += nearest;
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// Block walk and packing.

void PutU16(u8* out, u32 value) {
    out[0] = u8(value);
    out[1] = u8(value >> 8);
}

u32 ReadPixel(const DxtSurfaceDesc& surface, u32 x, u32 y) {
    if (x >= surface.Width || y >= surface.Height)
        return 0;
    const u8* p = surface.Pixels + u64(y) * surface.Pitch + u64(x) * 4;
    return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24;
}

double Channel(u32 pixel, u32 mask) {
    const u32 shift = u32(std::countr_zero(mask));
    return double((pixel & mask) >> shift) / double(mask >> shift);
}

// A channel's value of every pixel, through a table of the same quotients when the channel has
// at most 8 bits.
class ChannelReader {
public:
    explicit ChannelReader(u32 mask)
        : m_Mask(mask), m_Shift(u32(std::countr_zero(mask))), m_Small((mask >> m_Shift) <= 0xFF) {
        if (m_Small)
            for (u32 v = 0; v <= (mask >> m_Shift); ++v)
                m_Table[v] = double(v) / double(mask >> m_Shift);
    }
    double operator()(u32 pixel) const {
        return m_Small ? m_Table[(pixel & m_Mask) >> m_Shift] : Channel(pixel, m_Mask);
    }

private:
    u32 m_Mask, m_Shift;
    bool m_Small;
    double m_Table[256];
};

struct SurfaceChannels {
    ChannelReader Red, Green, Blue, Alpha;
};

void EncodeExplicitAlpha(const double* alpha, const bool* inside, u8* out) {
    for (u32 row = 0; row < 4; ++row) {
        u32 bits = 0;
        for (u32 x = 4; x-- > 0;) {
            const u32 p = row * 4 + x;
            const u32 a4 = inside[p] ? u32(std::floor(alpha[p] * 15.0 + 0.5)) : 0;
            bits = (bits << 4) | (a4 & 0xF);
        }
        PutU16(out + 2 * row, bits);
    }
}

void EncodeInterpolatedAlpha(const double* alpha, const bool* inside, u8* out) {
    float values[16];
    u32 position[16];
    u32 count = 0;
    for (u32 p = 0; p < 16; ++p)
        if (inside[p]) {
            values[count] = float(alpha[p]);
            position[count++] = p;
        }
    i32 a0 = 0, a1 = 1;
    bool sixLevels = true;
    u8 indices[16] = {};
    if (count > 0) {
        const DxtAlphaFit fit = FitAlphaEndpoints(std::span<const float>(values, count));
        a0 = fit.A0;
        a1 = fit.A1;
        sixLevels = fit.Levels == 6;
        for (u32 k = 0; k < count; ++k)
            indices[position[k]] = fit.Indices[k];
        if (a0 == a1) {
            a1 = a1 + 1;
            std::fill(std::begin(indices), std::end(indices), u8(0));
            sixLevels = true;
        }
    }
    if ((a0 > a1) == sixLevels) {
        std::swap(a0, a1);
        for (u32 k = 0; k < count; ++k) {
            u8& index = indices[position[k]];
            if (index < 2)
                index ^= 1;
            else if (!sixLevels)
                index = u8(9 - index);
            else if (index < 6)
                index = u8(7 - index);
        }
    }
    out[0] = u8(std::clamp(a0, 0, 255));
    out[1] = u8(std::clamp(a1, 0, 255));
    u64 bits = 0;
    for (u32 p = 0; p < 16; ++p)
        bits |= u64(indices[p] & 7) << (3 * p);
    for (u32 i = 0; i < 6; ++i)
        out[2 + i] = u8(bits >> (8 * i));
}

u32 PackEndpoint(const u8* e) {
    return (u32(e[0]) << 11) | (u32(e[1]) << 5) | u32(e[2]);
}

void EncodeColour(const DxtSurfaceDesc& surface, const SurfaceChannels& channels, const u32* pixels,
                  const bool* inside, bool alphaCompare, bool force, const double* weights,
                  u8* out) {
    DxtColourBlock block;
    u32 texels = 0;
    for (u32 p = 0; p < 16; ++p) {
        block.TexelColour[p] = -1;
        if (!inside[p])
            continue;
        ++texels;
        // Alpha 129 or more, as an unsigned 32-bit compare of the masked pixel.
        if (alphaCompare && (pixels[p] & surface.AlphaMask) <= (128u << 24))
            continue;
        block.Colours[block.Count][0] = channels.Red(pixels[p]);
        block.Colours[block.Count][1] = channels.Green(pixels[p]);
        block.Colours[block.Count][2] = channels.Blue(pixels[p]);
        block.TexelColour[p] = i32(block.Count++);
    }
    for (u32 c = 0; c < 3; ++c)
        block.Weights[c] = weights[c];
    block.AllowedMode = block.Count == texels ? 4 : 3;
    // Four colours are forced only where every texel is included: an excluded texel's index 3
    // must stay transparent.
    block.ForceFourColours = force && block.AllowedMode == 4;
    block.ChosenMode = block.AllowedMode;
    if (block.Count > 0)
        FitColourEndpoints(block);

    u32 c0 = PackEndpoint(block.Endpoints[0]), c1 = PackEndpoint(block.Endpoints[1]);
    u32 mode = block.ChosenMode;
    if (c0 == c1) {
        if (alphaCompare) {
            c1 = (c1 + 1) & 0xFFFF;
            std::fill(block.Indices, block.Indices + block.Count, u8(0));
            mode = 3;
        } else {
            c0 = (c0 + 1) & 0xFFFF;
            std::fill(block.Indices, block.Indices + block.Count, u8(1));
        }
    }
    if ((c1 < c0) == (mode == 3)) {
        std::swap(c0, c1);
        for (u32 k = 0; k < block.Count; ++k)
            if (mode == 4 || block.Indices[k] < 2)
                block.Indices[k] ^= 1;
    }
    PutU16(out, c0);
    PutU16(out + 2, c1);
    u32 bits = 0;
    for (u32 p = 0; p < 16; ++p) {
        const i32 colour = block.TexelColour[p];
        const u32 index = colour >= 0 ? block.Indices[colour] & 3u : 3u;
        bits |= index << (2 * p);
    }
    PutU16(out + 4, bits & 0xFFFF);
    PutU16(out + 6, bits >> 16);
}

} // namespace

DxtSurfaceDesc MakeDxtSurfaceDesc(const u8* pixels, u32 width, u32 height) {
    DxtSurfaceDesc surface;
    surface.Width = width;
    surface.Height = height;
    surface.Pitch = width * 4;
    surface.Pixels = pixels;
    return surface;
}

u64 DxtSurfaceSize(u32 width, u32 height, u32 mode) {
    const u64 blockBytes = (mode >> 8 & 0xFF) == 0 ? 8 : 16;
    return blockBytes * ((u64(width) + 3) / 4) * ((u64(height) + 3) / 4);
}

bool EncodeDxtSurface(const DxtSurfaceDesc& surface, u32 mode, const double weights[3],
                      std::span<u8> output, bool forceFourColours) {
    const char* problem = nullptr;
    if (mode != EDxtEncodeMode_Opaque && mode != EDxtEncodeMode_AlphaCompare &&
        mode != EDxtEncodeMode_ExplicitAlpha && mode != EDxtEncodeMode_InterpolatedAlpha)
        problem = "unknown mode";
    else if (surface.Width == 0 || surface.Height == 0 || surface.Width > kDxtMaxSide ||
             surface.Height > kDxtMaxSide)
        problem = "side out of range";
    else if (!surface.Pixels || u64(surface.Pitch) < u64(surface.Width) * 4)
        problem = "no pixels or pitch below width x 4";
    else if (surface.RedMask == 0 || surface.GreenMask == 0 || surface.BlueMask == 0 ||
             surface.AlphaMask == 0)
        problem = "empty channel mask";
    else if (!weights)
        problem = "no weights";
    else if (output.data() == nullptr ||
             output.size() < DxtSurfaceSize(surface.Width, surface.Height, mode))
        problem = "output buffer too small";
    double clean[3] = {0, 0, 0};
    for (u32 c = 0; c < 3 && !problem; ++c) {
        if (!std::isfinite(weights[c]) || weights[c] > 1000.0)
            problem = "weight not finite or above 1000";
        else
            clean[c] = std::max(weights[c], 0.0);
    }
    if (problem) {
        ClassicLogFormatLine(
            "DxtEncoder : %s (surface %u x %u, pitch %u, mode 0x%X, output %" PRIu64 " bytes)",
            problem, surface.Width, surface.Height, surface.Pitch, mode, u64(output.size()));
        return false;
    }

    const u32 width = std::max(surface.Width, 4u), height = std::max(surface.Height, 4u);
    const SurfaceChannels channels{ChannelReader(surface.RedMask), ChannelReader(surface.GreenMask),
                                   ChannelReader(surface.BlueMask),
                                   ChannelReader(surface.AlphaMask)};
    const u32 alphaMode = mode & 0xFF00;
    const bool force = alphaMode != 0 || forceFourColours;
    // A block's bytes depend on its pixels alone within one call: the blocks of one colour met
    // recently are kept by colour, and a flat picture encodes each colour once.
    const u32 blockBytes = alphaMode != 0 ? 16 : 8;
    struct FlatBlock {
        u32 Pixel = 0;
        bool Valid = false;
        u8 Bytes[16];
    };
    FlatBlock flat[256];
    u8* out = output.data();
    for (u32 by = 0; by < height; by += 4) {
        for (u32 bx = 0; bx < width; bx += 4) {
            u32 pixels[16];
            bool inside[16];
            double alpha[16];
            bool uniform = true;
            for (u32 p = 0; p < 16; ++p) {
                const u32 x = bx + p % 4, y = by + p / 4;
                inside[p] = x < width && y < height;
                pixels[p] = inside[p] ? ReadPixel(surface, x, y) : 0;
                uniform = uniform && inside[p] && pixels[p] == pixels[0];
            }
            FlatBlock* known = nullptr;
            if (uniform) {
                known = &flat[(pixels[0] * 2654435761u) >> 24];
                if (known->Valid && known->Pixel == pixels[0]) {
                    std::memcpy(out, known->Bytes, blockBytes);
                    out += blockBytes;
                    continue;
                }
            }
            u8* const blockStart = out;
            if (alphaMode != 0)
                for (u32 p = 0; p < 16; ++p)
                    alpha[p] = channels.Alpha(pixels[p]);
            if (alphaMode == EDxtEncodeMode_ExplicitAlpha) {
                EncodeExplicitAlpha(alpha, inside, out);
                out += 8;
            } else if (alphaMode == EDxtEncodeMode_InterpolatedAlpha) {
                EncodeInterpolatedAlpha(alpha, inside, out);
                out += 8;
            }
            EncodeColour(surface, channels, pixels, inside, mode == EDxtEncodeMode_AlphaCompare,
                         force, clean, out);
            out += 8;
            if (known) {
                known->Pixel = pixels[0];
                known->Valid = true;
                std::memcpy(known->Bytes, blockStart, blockBytes);
            }
        }
    }
    return true;
}

void FitColourEndpoints(DxtColourBlock& block) {
    block.Count = std::min(block.Count, 16u);
    const u32 count = block.Count;
    if (count == 0) {
        std::memset(block.Endpoints, 0, sizeof block.Endpoints);
        return;
    }
    // Weights below 0 (or not numbers) count as 0.
    ColourSet set;
    for (u32 c = 0; c < 3; ++c) {
        block.Weights[c] = block.Weights[c] > 0 ? block.Weights[c] : 0.0;
        set.Weights[c] = block.Weights[c];
    }
    if (block.ForceFourColours)
        block.AllowedMode = 4;
    const u32 mode = block.AllowedMode == 4 ? 4 : 3;
    block.ChosenMode = mode;

    // Grey: every texel's 8-bit red, green and blue within 2 of each other.
    set.Grey = true;
    bool uniform = true;
    for (u32 k = 0; k < count; ++k) {
        const double* colour = block.Colours[k];
        const i32 r = RoundTo8Bits(colour[0]), g = RoundTo8Bits(colour[1]),
                  b = RoundTo8Bits(colour[2]);
        if (std::abs(r - g) > 2 || std::abs(r - b) > 2 || std::abs(g - b) > 2)
            set.Grey = false;
        for (u32 c = 0; c < 3; ++c)
            uniform = uniform && colour[c] == block.Colours[0][c];
    }
    if (uniform) {
        FitUniform(block, set.Grey, mode);
        return;
    }

    // Distinct weighted colours with their counts, in order of first appearance.
    for (u32 k = 0; k < count; ++k) {
        Vec3 weighted;
        for (u32 c = 0; c < 3; ++c)
            weighted[c] = block.Colours[k][c] * set.Weights[c];
        u32 found = set.Count;
        for (u32 i = 0; i < set.Count; ++i)
            if (set.Colours[i] == weighted) {
                found = i;
                break;
            }
        if (found == set.Count) {
            set.Colours[found] = weighted;
            set.Counts[found] = 0;
            ++set.Count;
        }
        set.Counts[found] += 1.0;
        set.OfTexel[k] = found;
    }
    if (set.Count == 1) {
        // Colours that differ only in a channel of weight 0 weigh the same: one of them stands for
        // all, with the error of every texel counted.
        FitUniform(block, set.Grey, mode);
        return;
    }
    FitClusters(block, set, mode);
}

DxtAlphaFit FitAlphaEndpoints(std::span<const float> values) {
    DxtAlphaFit fit;
    const u32 count = u32(std::min<size_t>(values.size(), 16));
    // Values outside [0, 1] (or not numbers) are held to it.
    float clean[16];
    bool someZero = false, someOne = false;
    for (u32 k = 0; k < count; ++k) {
        clean[k] = values[k] >= 0.0f ? std::min(values[k], 1.0f) : 0.0f;
        someZero = someZero || clean[k] == 0.0f;
        someOne = someOne || clean[k] == 1.0f;
    }
    // The candidate layouts, in order: which special values leave the list (to indices 6 and 7).
    struct Candidate {
        u32 Levels;
        bool ZeroRule, OneRule, Enabled;
    };
    const Candidate candidates[5] = {
        {8, false, false, true},
        {6, false, false, true},
        {6, true, false, someZero},
        {6, false, true, someOne},
        {6, true, true, someZero || someOne},
    };
    bool haveBest = false;
    double bestError = 0;
    for (const Candidate& candidate : candidates) {
        if (!candidate.Enabled)
            continue;
        double list[16];
        u32 listCount = 0;
        for (u32 k = 0; k < count; ++k) {
            if ((candidate.ZeroRule && clean[k] == 0.0f) || (candidate.OneRule && clean[k] == 1.0f))
                continue;
            list[listCount++] = double(clean[k]);
        }
        const LineFit line = FitLine(list, listCount, candidate.Levels);
        if (haveBest && !(line.Error < bestError))
            continue;
        haveBest = true;
        bestError = line.Error;
        fit.A0 = line.Q0;
        fit.A1 = line.Q1;
        fit.Levels = candidate.Levels;
        u32 next = 0;
        for (u32 k = 0; k < count; ++k) {
            if (candidate.ZeroRule && clean[k] == 0.0f)
                fit.Indices[k] = 6;
            else if (candidate.OneRule && clean[k] == 1.0f)
                fit.Indices[k] = 7;
            else
                fit.Indices[k] = line.Indices[next++];
        }
    }
    return fit;
}
