#pragma once
// CMwStatsValue: a window of the latest float samples and their statistics (mean, extremes,
// standard deviation, a trimmed mean, a deviation-filtered mean and a histogram), reflected as
// members and written to the engine log as a text report.
//
// The window is a ring: the start position holds the latest sample and window order runs from
// it towards older samples. The results are computed on demand: reading a computed member, or
// Compute, Report and LogReport, brings them up to date when a sample came in or a setting
// changed since the last computation. Not reentrant.
#include "core/nod/MwNod.h"

class CMwStatsValue : public CMwNod {
    MW_DECLARE_CLASS(CMwStatsValue, CMwNod, 0x01029000)
public:
    static constexpr u32 s_NbMaxSamplesMemberId = 0x01029000;
    static constexpr u32 s_NbSamplesMemberId = 0x01029009;
    // The largest window; a larger NbMaxSamples is refused.
    static constexpr u32 s_MaxSamplesLimit = 0x00100000;
    static constexpr u32 s_DefaultMaxSamples = 100;

    CMwStatsValue();
    CMwStatsValue(const CMwStatsValue&) = delete;
    CMwStatsValue& operator=(const CMwStatsValue&) = delete;

    // Stores the sample as the latest one; the oldest goes when the window is full. False, with
    // nothing changed, for a sample that is not finite or a window of size 0.
    bool AddSample(f32 value);
    u32 GetSampleCount() const { return m_SampleCount; }
    u32 GetMaxSamples() const { return m_Ring.m_Count; }
    // Sample k of the window (0 the latest); 0 past the count.
    f32 GetSample(u32 k) const;
    // Resizes the window, keeping the latest min(count, n) samples. False, nothing changed,
    // above s_MaxSamplesLimit.
    bool SetMaxSamples(u32 n);
    // Forgets every sample.
    void Clear();

    // Brings the results up to date.
    void Compute();
    // Compute, then the report: one line per statistic, each ending with "\r\n".
    void Report(CClassicString& out);
    // The report as one line of the engine log (the method of the member Log).
    void LogReport();

    // NbMaxSamples and NbSamples, and Compute before the computed members are read.
    u32 GetParamVirtual(CMwMemberPath* path, CMwParamValue* out) override;
    // NbMaxSamples: resizes the window; 2 above s_MaxSamplesLimit.
    u32 SetParamVirtual(CMwMemberPath* path, const void* value) override;

    // Settings.
    u32 m_ComputeMedian = 0;
    u32 m_ComputeDeviatedMean = 0;
    u32 m_ComputeBuckets = 0;
    u32 m_AutoBuckets = 0;
    // Ascending bucket boundaries: bucket 0 lies below boundary 0, the last bucket from the last
    // boundary on.
    CFastArray<f32> m_BucketsRanges;
    // Results.
    f32 m_Min = 0.0f;
    f32 m_Max = 0.0f;
    f32 m_Latest = 0.0f;
    f32 m_Mean = 0.0f;
    // 1000 / mean (a rate from a mean duration in milliseconds); 0 for a mean near 0.
    f32 m_MeanInv = 0.0f;
    f32 m_StdDev = 0.0f;
    // DeviatedMean keeps the samples within this many standard deviations of the mean.
    f32 m_StdDevRatio = 1.0f;
    f32 m_DeviatedMean = 0.0f;
    // Mean and standard deviation of the sorted samples without ReductionRatio percent at each
    // end (at least the middle one or two samples are kept).
    f32 m_Median = 0.0f;
    f32 m_MedianStdDev = 0.0f;
    u32 m_ReductionRatio = 10;
    // "mean, [min,max] s=deviation"; empty without samples.
    CClassicString m_Summary;
    // The fraction of the samples in each bucket (one more entry than boundaries).
    CFastArray<f32> m_BucketsRatio;

private:
    // The settings the results were computed with.
    struct CSettings {
        u32 ComputeMedian;
        u32 ComputeDeviatedMean;
        u32 ComputeBuckets;
        u32 AutoBuckets;
        u32 StdDevRatioBits;
        u32 ReductionRatio;
    };

    CSettings CurrentSettings() const;
    bool IsUpToDate() const;
    // Each works on the samples of the window (sorted by the first).
    void ComputeTrimmed(CFastArray<f32>& window);
    void ComputeDeviatedMean(const CFastArray<f32>& window);
    void ComputeBuckets(const CFastArray<f32>& window);

    u32 m_Dirty = 1;
    u32 m_SampleCount = 0;
    // The ring; its count is the window size.
    CFastArray<f32> m_Ring;
    u32 m_RingStart = 0;
    CSettings m_ComputedSettings = {};
    CFastArray<f32> m_ComputedRanges;
};
