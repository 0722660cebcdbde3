#include "core/nod/MwStatsValue.h"

#include "core/base/ClassicLog.h"
#include "core/nod/MwParam.h"
#include "core/nod/MwVirtualMember.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {
constexpr const char* kNoFieldName = ClassicEmptyText<char>();
}

#define CMWSTATSVALUE_MEMBERS(X)                                                                   \
    X(Natural, 0x01029000, "NbMaxSamples", MW_VIRTUAL("m_NbMaxSamples"), "NbMaxSamples", 0x33,     \
      0x380)                                                                                       \
    X(Bool, 0x01029001, "ComputeDeviatedMean", MW_FIELD(m_ComputeDeviatedMean),                    \
      "ComputeDeviatedMean", 0x03, 0x380)                                                          \
    X(Real, 0x01029002, "StdDevRatio", MW_FIELD(m_StdDevRatio), "StdDevRatio", 0x03, 0x380)        \
    X(Bool, 0x01029003, "ComputeMedian", MW_FIELD(m_ComputeMedian), "ComputeMedian", 0x03, 0x380)  \
    X(Natural, 0x01029004, "ReductionRatio", MW_FIELD(m_ReductionRatio), "ReductionRatio", 0x03,   \
      0x380)                                                                                       \
    X(Bool, 0x01029005, "ComputeBuckets", MW_FIELD(m_ComputeBuckets), "ComputeBuckets", 0x03,      \
      0x380)                                                                                       \
    X(Bool, 0x01029006, "AutoBuckets", MW_FIELD(m_AutoBuckets), "AutoBuckets", 0x03, 0x380)        \
    X(Array, 0x01029007, "BucketsRanges", MW_FIELD(m_BucketsRanges), "BucketsRanges", 0x03, 0x380, \
      MwType_Real, 0xF, "Range")                                                                   \
    X(Action, 0x01029008, "Log", MW_VIRTUAL(kNoFieldName), "Log", 0x02, 0x380,                     \
      &MwThunk<&CMwStatsValue::LogReport>::Call)                                                   \
    X(Natural, 0x01029009, "NbSamples", MW_VIRTUAL("m_NbSamples"), "NbSamples", 0x11, 0x380)       \
    X(String, 0x0102900a, "Summary", MW_FIELD(m_Summary), "Summary", 0x11, 0x380)                  \
    X(Real, 0x0102900b, "MeanInv", MW_FIELD(m_MeanInv), "MeanInv", 0x11, 0x380)                    \
    X(Real, 0x0102900c, "Mean", MW_FIELD(m_Mean), "Mean", 0x11, 0x380)                             \
    X(Real, 0x0102900d, "StdDev", MW_FIELD(m_StdDev), "StdDev", 0x11, 0x380)                       \
    X(Real, 0x0102900e, "Min", MW_FIELD(m_Min), "Min", 0x11, 0x380)                                \
    X(Real, 0x0102900f, "Max", MW_FIELD(m_Max), "Max", 0x11, 0x380)                                \
    X(Real, 0x01029010, "Latest", MW_FIELD(m_Latest), "Latest", 0x11, 0x380)                       \
    X(Real, 0x01029011, "Median", MW_FIELD(m_Median), "Median", 0x11, 0x380)                       \
    X(Real, 0x01029012, "MedianStdDev", MW_FIELD(m_MedianStdDev), "MedianStdDev", 0x11, 0x380)     \
    X(Real, 0x01029013, "DeviatedMean", MW_FIELD(m_DeviatedMean), "DeviatedMean", 0x11, 0x380)     \
    X(Array, 0x01029014, "BucketsRatio", MW_FIELD(m_BucketsRatio), "BucketsRatio", 0x03, 0x380,    \
      MwType_Real, 0xF, "Ratio")

MW_DEFINE_CLASS(CMwStatsValue, nullptr, CMWSTATSVALUE_MEMBERS, MW_NO_CHUNKS);

namespace {

// Ascending, with anything that is not a number last.
bool SampleBefore(f32 a, f32 b) {
    return a < b || (!std::isnan(a) && std::isnan(b));
}

// Mean and standard deviation of n values (n above 0), accumulated in double precision; the
// deviation from the squared distances to the mean, which never goes below 0.
void MeanAndDeviation(const f32* values, u32 n, f32* mean, f32* deviation) {
    f64 sum = 0.0;
    for (u32 i = 0; i < n; ++i)
        sum += values[i];
    const f64 average = sum / n;
    f64 squares = 0.0;
    for (u32 i = 0; i < n; ++i)
        squares += (values[i] - average) * (values[i] - average);
    *mean = f32(average);
    *deviation = f32(std::sqrt(squares / n));
}

void CopyArray(CFastArray<f32>& to, const CFastArray<f32>& from) {
    to.SetCount(from.m_Count);
    if (from.m_Count != 0)
        std::memcpy(to.m_Items, from.m_Items, from.m_Count * sizeof(f32));
}

bool SameArray(const CFastArray<f32>& a, const CFastArray<f32>& b) {
    return a.m_Count == b.m_Count &&
           (a.m_Count == 0 || std::memcmp(a.m_Items, b.m_Items, a.m_Count * sizeof(f32)) == 0);
}

} // namespace

CMwStatsValue::CMwStatsValue() {
    SetMaxSamples(s_DefaultMaxSamples);
}

// ---------------------------------------------------------------------------------------------
// The window

f32 CMwStatsValue::GetSample(u32 k) const {
    if (k >= m_SampleCount)
        return 0.0f;
    u32 position = m_RingStart + k;
    if (position >= m_Ring.m_Count)
        position -= m_Ring.m_Count;
    return m_Ring.m_Items[position];
}

bool CMwStatsValue::AddSample(f32 value) {
    if (!std::isfinite(value) || m_Ring.m_Count == 0)
        return false;
    m_RingStart = (m_RingStart == 0 ? m_Ring.m_Count : m_RingStart) - 1;
    m_Ring.m_Items[m_RingStart] = value;
    if (m_SampleCount < m_Ring.m_Count)
        ++m_SampleCount;
    m_Dirty = 1;
    return true;
}

bool CMwStatsValue::SetMaxSamples(u32 n) {
    if (n > s_MaxSamplesLimit)
        return false;
    if (n == m_Ring.m_Count)
        return true;
    // The kept samples move to positions 0 .. kept - 1 in window order.
    CFastArray<f32> ring;
    ring.SetCount(n);
    const u32 kept = std::min(m_SampleCount, n);
    for (u32 k = 0; k < kept; ++k)
        ring.m_Items[k] = GetSample(k);
    std::swap(ring.m_Items, m_Ring.m_Items);
    std::swap(ring.m_Count, m_Ring.m_Count);
    m_SampleCount = kept;
    m_RingStart = 0;
    m_Dirty = 1;
    return true;
}

void CMwStatsValue::Clear() {
    m_SampleCount = 0;
    m_RingStart = 0;
    m_Dirty = 1;
}

// ---------------------------------------------------------------------------------------------
// Statistics

CMwStatsValue::CSettings CMwStatsValue::CurrentSettings() const {
    return {m_ComputeMedian,
            m_ComputeDeviatedMean,
            m_ComputeBuckets,
            m_AutoBuckets,
            std::bit_cast<u32>(m_StdDevRatio),
            m_ReductionRatio};
}

bool CMwStatsValue::IsUpToDate() const {
    const CSettings current = CurrentSettings();
    return !m_Dirty && std::memcmp(&current, &m_ComputedSettings, sizeof current) == 0 &&
           SameArray(m_BucketsRanges, m_ComputedRanges);
}

void CMwStatsValue::Compute() {
    if (IsUpToDate())
        return;
    m_Dirty = 0;
    m_Mean = m_MeanInv = m_StdDev = m_Min = m_Max = m_Latest = 0.0f;
    m_Median = m_MedianStdDev = m_DeviatedMean = 0.0f;
    m_Summary.SetLength(0);
    if (m_SampleCount == 0) {
        m_BucketsRatio.SetCount(0);
    } else {
        // Window order, so that Min and Max start from sample 0.
        CFastArray<f32> window;
        window.SetCount(m_SampleCount);
        for (u32 k = 0; k < m_SampleCount; ++k)
            window.m_Items[k] = GetSample(k);
        m_Min = m_Max = window.m_Items[0];
        for (u32 k = 1; k < m_SampleCount; ++k) {
            m_Min = std::min(m_Min, window.m_Items[k]);
            m_Max = std::max(m_Max, window.m_Items[k]);
        }
        MeanAndDeviation(window.m_Items, m_SampleCount, &m_Mean, &m_StdDev);
        m_Summary.Format("%.3g, [%.3g,%.3g] s=%.3g", f64(m_Mean), f64(m_Min), f64(m_Max),
                         f64(m_StdDev));
        m_MeanInv = std::fabs(m_Mean) > 0.000001f ? 1000.0f / m_Mean : 0.0f;
        m_Latest = window.m_Items[0];
        if (m_ComputeDeviatedMean)
            ComputeDeviatedMean(window);
        if (m_ComputeBuckets)
            ComputeBuckets(window);
        else
            m_BucketsRatio.SetCount(0);
        if (m_ComputeMedian)
            ComputeTrimmed(window); // sorts the window
    }
    m_ComputedSettings = CurrentSettings();
    CopyArray(m_ComputedRanges, m_BucketsRanges);
}

void CMwStatsValue::ComputeTrimmed(CFastArray<f32>& window) {
    const u32 n = window.m_Count;
    std::sort(window.m_Items, window.m_Items + n, SampleBefore);
    // ReductionRatio percent off each end, never past the middle one or two samples.
    const u32 cut = u32(std::min<u64>(u64(m_ReductionRatio) * n / 100, (n - 1) / 2));
    MeanAndDeviation(window.m_Items + cut, n - 2 * cut, &m_Median, &m_MedianStdDev);
}

void CMwStatsValue::ComputeDeviatedMean(const CFastArray<f32>& window) {
    const f32 limit = m_StdDevRatio * m_StdDev;
    f64 sum = 0.0;
    u32 count = 0;
    for (u32 k = 0; k < window.m_Count; ++k) {
        if (std::fabs(window.m_Items[k] - m_Mean) <= limit) {
            sum += window.m_Items[k];
            ++count;
        }
    }
    m_DeviatedMean = count != 0 ? f32(sum / count) : 0.0f;
}

void CMwStatsValue::ComputeBuckets(const CFastArray<f32>& window) {
    if (m_AutoBuckets) {
        const f32 step = (m_Max - m_Min) * 0.1f;
        m_BucketsRanges.SetCount(9);
        f32 boundary = m_Min;
        for (u32 i = 0; i < 9; ++i) {
            boundary += step;
            m_BucketsRanges.m_Items[i] = boundary;
        }
    }
    const u32 boundaries = m_BucketsRanges.m_Count;
    m_BucketsRatio.SetCount(boundaries + 1);
    std::fill_n(m_BucketsRatio.m_Items, boundaries + 1, 0.0f);
    for (u32 k = 0; k < window.m_Count; ++k) {
        u32 j = 0;
        while (j < boundaries && !(window.m_Items[k] < m_BucketsRanges.m_Items[j]))
            ++j;
        m_BucketsRatio.m_Items[j] += 1.0f;
    }
    const f32 scale = 1.0f / f32(window.m_Count);
    for (u32 j = 0; j <= boundaries; ++j)
        m_BucketsRatio.m_Items[j] *= scale;
}

// ---------------------------------------------------------------------------------------------
// Reports

void CMwStatsValue::Report(CClassicString& out) {
    Compute();
    out.SetLength(0);
    out.Append("Count= ").AppendInt(i32(m_SampleCount)).Append("\r\n");
    out.Append("Avg= ").AppendFloat(m_Mean).Append(", StdDev= ").AppendFloat(m_StdDev);
    out.Append("\r\n");
    out.Append("Min= ").AppendFloat(m_Min).Append(", Max= ").AppendFloat(m_Max).Append("\r\n");
    if (m_ComputeMedian) {
        out.Append("Median= ").AppendFloat(m_Median).Append(", MedianStdDev= ");
        out.AppendFloat(m_MedianStdDev).Append("\r\n");
    }
    if (m_ComputeDeviatedMean) {
        out.Append("DeviatedMean= ").AppendFloat(m_DeviatedMean).Append(", StdDevRatio= ");
        out.AppendFloat(m_StdDevRatio).Append("\r\n");
    }
    if (!m_ComputeBuckets)
        return;
    const u32 boundaries = m_BucketsRanges.m_Count;
    const f32* bounds = m_BucketsRanges.m_Items;
    for (u32 i = 0; i <= boundaries; ++i) {
        if (boundaries == 0)
            out.Append(" ]-inf, +inf[");
        else if (i == 0)
            out.Append(" ]-inf, ").AppendFloat(bounds[0]).Append("[");
        else if (i == boundaries)
            out.Append(" [").AppendFloat(bounds[i - 1]).Append(", +inf[");
        else
            out.Append(" [")
                .AppendFloat(bounds[i - 1])
                .Append(", ")
                .AppendFloat(bounds[i])
                .Append("[");
        // No entries without samples.
        const f32 ratio = i < m_BucketsRatio.m_Count ? m_BucketsRatio.m_Items[i] : 0.0f;
        out.Append(" = ").AppendFloat(100.0f * ratio).Append("%\r\n");
    }
}

void CMwStatsValue::LogReport() {
    CClassicString report;
    Report(report);
    g_ClassicLogLine.SetLength(0);
    g_ClassicLogLine.Append(report).Append("\r\n");
    ClassicLogWriteLine();
}

// ---------------------------------------------------------------------------------------------
// Member access

u32 CMwStatsValue::GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) {
    return MwGetParamVirtual(this, path, out, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if ((member.MemberId & 0xFFFFF000) != s_ClassId)
            return MwNotOwnMember;
        // Naturals and reals have no components.
        if (member.MemberId == s_NbMaxSamplesMemberId || member.MemberId == s_NbSamplesMemberId) {
            if (path->HasCurrent())
                return MwParam_NotFound;
            return MwAnswerValue(out, member.MemberId == s_NbSamplesMemberId ? m_SampleCount
                                                                             : GetMaxSamples());
        }
        if (!member.Param || member.FieldOffset < 0)
            return MwParam_NotFound;
        Compute();
        return member.Param->Get(reinterpret_cast<u8*>(this) + member.FieldOffset, path, out);
    });
}

u32 CMwStatsValue::SetParamVirtual(CMwMemberPath* path, const void* value) {
    return MwSetParamVirtual(this, path, value, [&](CMwMemberInfo& member) -> MwOwnAnswer {
        if (member.MemberId != s_NbMaxSamplesMemberId)
            return MwNotOwnMember;
        if (path->HasCurrent() || !value)
            return MwParam_NotFound;
        u32 n = 0;
        std::memcpy(&n, value, sizeof n);
        return SetMaxSamples(n) ? MwParam_Ok : MwParam_NotFound;
    });
}
