// The statistics nod: its window of samples, its results, its report and its members. Expected
// numbers were cross-checked with Python's statistics module (fmean, pstdev) on the float
// samples.
#include "core/nod/MwStatsValue.h"

#include "CoreTestSupport.h"
#include "core/nod/MwMemberPath.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace {

const std::vector<f32> kSetA = {12.5f, 3.25f, 7.0f, 9.75f, 15.0f, 1.5f, 8.0f, 11.25f};
const std::vector<f32> kSetB = {10, 11, 9, 10, 12, 10, 50, 9, 11, 10};

class MwStatsValue : public CMwCoreFixture {};

// Adds the samples in order: the last one is the latest.
void Fill(CMwStatsValue& stats, const std::vector<f32>& samples) {
    for (f32 x : samples)
        ASSERT_TRUE(stats.AddSample(x)) << x;
}

std::vector<f32> Window(const CMwStatsValue& stats) {
    std::vector<f32> window;
    for (u32 k = 0; k < stats.GetSampleCount(); ++k)
        window.push_back(stats.GetSample(k));
    return window;
}

std::vector<f32> Items(const CFastArray<f32>& array) {
    return std::vector<f32>(array.m_Items, array.m_Items + array.m_Count);
}

// Element by element, within 4 units in the last place.
void ExpectFloats(const std::vector<f32>& actual, const std::vector<f32>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i)
        EXPECT_FLOAT_EQ(actual[i], expected[i]) << "entry " << i;
}

std::string Text(const CClassicString& text) {
    return std::string(text.GetText(), text.GetLength());
}

std::string Report(CMwStatsValue& stats) {
    CClassicString text;
    stats.Report(text);
    return Text(text);
}

// Reads a member through a parsed path; the value's type is the caller's.
template <class T>
T ReadMember(CMwNod& nod, const char* pathText) {
    CMwMemberPath path;
    EXPECT_EQ(path.ParseFromText(0xFFFFFFFF, &nod, CClassicString(pathText)), 0u) << pathText;
    CMwParamValue value;
    EXPECT_EQ(nod.GetParam(&path, &value), 0u) << pathText;
    return value.Value ? *static_cast<const T*>(value.Value) : T{};
}

TEST_F(MwStatsValue, StatisticsOfSampleSets) {
    struct Case {
        const char* Name;
        std::vector<f32> Samples;
        u32 ReductionRatio;
        f32 StdDevRatio;
        f32 Mean, StdDev, Min, Max, Latest, Median, MedianStdDev, DeviatedMean, MeanInv;
        const char* Summary;
    };
    const Case cases[] = {
        {"A", kSetA, 10, 1.0f, 8.53125f, 4.2782836f, 1.5f, 15.0f, 11.25f, 8.53125f, 4.2782836f,
         9.7f, 117.216118f, "8.53, [1.5,15] s=4.28"},
        {"A trimmed by a quarter", kSetA, 25, 0.5f, 8.53125f, 4.2782836f, 1.5f, 15.0f, 11.25f, 9.0f,
         1.62980056f, 8.25f, 117.216118f, "8.53, [1.5,15] s=4.28"},
        {"B with an outlier", kSetB, 10, 1.0f, 14.2f, 11.9649487f, 9.0f, 50.0f, 10.0f, 10.375f,
         0.85695684f, 10.2222223f, 70.4225388f, "14.2, [9,50] s=12"},
        // Half off each end leaves the middle two samples; any larger ratio too.
        {"B halved", kSetB, 50, 2.0f, 14.2f, 11.9649487f, 9.0f, 50.0f, 10.0f, 10.0f, 0.0f,
         10.2222223f, 70.4225388f, "14.2, [9,50] s=12"},
        {"B largest ratio", kSetB, 0xFFFFFFFF, -1.0f, 14.2f, 11.9649487f, 9.0f, 50.0f, 10.0f, 10.0f,
         0.0f, 0.0f, 70.4225388f, "14.2, [9,50] s=12"},
        {"one sample",
         {-2.5f},
         10,
         1.0f,
         -2.5f,
         0.0f,
         -2.5f,
         -2.5f,
         -2.5f,
         -2.5f,
         0.0f,
         -2.5f,
         -400.0f,
         "-2.5, [-2.5,-2.5] s=0"},
        // No deviation: every sample is within 0 deviations of the mean.
        {"equal samples",
         {4, 4, 4},
         0,
         0.0f,
         4.0f,
         0.0f,
         4.0f,
         4.0f,
         4.0f,
         4.0f,
         0.0f,
         4.0f,
         250.0f,
         "4, [4,4] s=0"},
        // A mean of 0 has no inverse.
        {"mean 0",
         {3, -3},
         10,
         1.0f,
         0.0f,
         3.0f,
         -3.0f,
         3.0f,
         -3.0f,
         0.0f,
         3.0f,
         0.0f,
         0.0f,
         "0, [-3,3] s=3"},
        {"mean near 0",
         {0.0000009f, -0.0000003f},
         0,
         1.0f,
         0.0000003f,
         0.0000006f,
         -0.0000003f,
         0.0000009f,
         -0.0000003f,
         0.0000003f,
         0.0000006f,
         0.0000003f,
         0.0f,
         "3e-07, [-3e-07,9e-07] s=6e-07"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CMwStatsValue stats;
        stats.m_ComputeMedian = 1;
        stats.m_ComputeDeviatedMean = 1;
        stats.m_ReductionRatio = c.ReductionRatio;
        stats.m_StdDevRatio = c.StdDevRatio;
        Fill(stats, c.Samples);
        stats.Compute();
        EXPECT_FLOAT_EQ(stats.m_Mean, c.Mean);
        EXPECT_NEAR(stats.m_StdDev, c.StdDev, 1e-6f * c.StdDev);
        EXPECT_EQ(stats.m_Min, c.Min);
        EXPECT_EQ(stats.m_Max, c.Max);
        EXPECT_EQ(stats.m_Latest, c.Latest);
        EXPECT_FLOAT_EQ(stats.m_Median, c.Median);
        EXPECT_NEAR(stats.m_MedianStdDev, c.MedianStdDev, 1e-6f * c.MedianStdDev);
        EXPECT_FLOAT_EQ(stats.m_DeviatedMean, c.DeviatedMean);
        EXPECT_FLOAT_EQ(stats.m_MeanInv, c.MeanInv);
        EXPECT_EQ(Text(stats.m_Summary), c.Summary);
    }
}

TEST_F(MwStatsValue, WindowKeepsTheLatestSamples) {
    CMwStatsValue stats;
    EXPECT_EQ(stats.GetMaxSamples(), CMwStatsValue::s_DefaultMaxSamples);
    ASSERT_TRUE(stats.SetMaxSamples(3));
    Fill(stats, {1, 2, 3, 4, 5});
    EXPECT_EQ(Window(stats), (std::vector<f32>{5, 4, 3}));
    EXPECT_EQ(stats.GetSample(3), 0.0f);
    stats.Compute();
    EXPECT_EQ(stats.m_Min, 3.0f);
    EXPECT_EQ(stats.m_Latest, 5.0f);
    EXPECT_EQ(stats.m_Mean, 4.0f);

    // Resizing keeps the latest samples, in order.
    ASSERT_TRUE(stats.SetMaxSamples(2));
    EXPECT_EQ(Window(stats), (std::vector<f32>{5, 4}));
    Fill(stats, {6});
    EXPECT_EQ(Window(stats), (std::vector<f32>{6, 5}));
    ASSERT_TRUE(stats.SetMaxSamples(4));
    Fill(stats, {7, 8, 9});
    EXPECT_EQ(Window(stats), (std::vector<f32>{9, 8, 7, 6}));
    stats.Compute();
    EXPECT_EQ(stats.m_Mean, 7.5f);
    EXPECT_EQ(stats.m_Min, 6.0f);

    EXPECT_FALSE(stats.SetMaxSamples(CMwStatsValue::s_MaxSamplesLimit + 1));
    EXPECT_EQ(stats.GetMaxSamples(), 4u);
    EXPECT_EQ(Window(stats), (std::vector<f32>{9, 8, 7, 6}));

    // A window of size 0 takes nothing.
    ASSERT_TRUE(stats.SetMaxSamples(0));
    EXPECT_FALSE(stats.AddSample(1.0f));
    EXPECT_EQ(stats.GetSampleCount(), 0u);
    stats.Compute();
    EXPECT_EQ(stats.m_Mean, 0.0f);
    EXPECT_EQ(stats.m_Latest, 0.0f);
}

TEST_F(MwStatsValue, RefusesSamplesThatAreNotFinite) {
    CMwStatsValue stats;
    Fill(stats, {2, 4});
    for (f32 bad : {std::numeric_limits<f32>::quiet_NaN(), std::numeric_limits<f32>::infinity(),
                    -std::numeric_limits<f32>::infinity()})
        EXPECT_FALSE(stats.AddSample(bad));
    EXPECT_EQ(Window(stats), (std::vector<f32>{4, 2}));
    stats.Compute();
    EXPECT_EQ(stats.m_Mean, 3.0f);
    EXPECT_EQ(stats.m_StdDev, 1.0f);
}

TEST_F(MwStatsValue, EmptyWindowGivesZeros) {
    CMwStatsValue stats;
    stats.m_ComputeMedian = 1;
    stats.m_ComputeDeviatedMean = 1;
    stats.m_ComputeBuckets = 1;
    Fill(stats, kSetA);
    stats.Compute();
    ASSERT_EQ(stats.m_BucketsRatio.m_Count, 1u);
    stats.Clear();
    stats.m_BucketsRanges.SetCount(1);
    stats.m_BucketsRanges[0] = 5.0f;
    // No sample: every result is 0, there are no ratios and the buckets report 0%.
    EXPECT_EQ(Report(stats), "Count= 0\r\nAvg= 0, StdDev= 0\r\nMin= 0, Max= 0\r\n"
                             "Median= 0, MedianStdDev= 0\r\nDeviatedMean= 0, StdDevRatio= 1\r\n"
                             " ]-inf, 5[ = 0%\r\n [5, +inf[ = 0%\r\n");
    for (f32 result : {stats.m_Mean, stats.m_MeanInv, stats.m_StdDev, stats.m_Min, stats.m_Max,
                       stats.m_Latest, stats.m_Median, stats.m_MedianStdDev, stats.m_DeviatedMean})
        EXPECT_EQ(result, 0.0f);
    EXPECT_TRUE(stats.m_Summary.IsEmpty());
    EXPECT_EQ(stats.m_BucketsRatio.m_Count, 0u);
}

// Results follow the settings they depend on, not only new samples.
TEST_F(MwStatsValue, ResultsFollowSettingChanges) {
    CMwStatsValue stats;
    Fill(stats, kSetB);
    stats.Compute();
    EXPECT_EQ(stats.m_Median, 0.0f);
    stats.m_ComputeMedian = 1;
    stats.Compute();
    EXPECT_FLOAT_EQ(stats.m_Median, 10.375f);
    stats.m_ReductionRatio = 50;
    stats.Compute();
    EXPECT_FLOAT_EQ(stats.m_Median, 10.0f);

    stats.m_ComputeDeviatedMean = 1;
    stats.m_StdDevRatio = 4.0f; // now 50 is in as well
    stats.Compute();
    EXPECT_FLOAT_EQ(stats.m_DeviatedMean, 14.2f);

    stats.m_ComputeBuckets = 1;
    stats.m_BucketsRanges.SetCount(1);
    stats.m_BucketsRanges[0] = 10.0f;
    stats.Compute();
    ExpectFloats(Items(stats.m_BucketsRatio), {0.2f, 0.8f});
    stats.m_BucketsRanges[0] = 11.0f;
    stats.Compute();
    ExpectFloats(Items(stats.m_BucketsRatio), {0.6f, 0.4f});
    stats.m_ComputeBuckets = 0;
    stats.Compute();
    EXPECT_EQ(stats.m_BucketsRatio.m_Count, 0u);
}

TEST_F(MwStatsValue, Buckets) {
    struct Case {
        const char* Name;
        std::vector<f32> Samples;
        bool Auto;
        std::vector<f32> Ranges; // the ranges set, or those expected with Auto
        std::vector<f32> Ratios;
    };
    const Case cases[] = {
        {"two boundaries", kSetA, false, {5, 10}, {0.25f, 0.375f, 0.375f}},
        // A sample on a boundary belongs to the bucket above it.
        {"on a boundary", kSetA, false, {8}, {0.375f, 0.625f}},
        {"no boundary", kSetA, false, {}, {1.0f}},
        // Boundaries out of order: each sample goes to the first one it is below.
        {"descending", kSetA, false, {10, 5}, {0.625f, 0.0f, 0.375f}},
        {"automatic A",
         kSetA,
         true,
         {2.85f, 4.2f, 5.55f, 6.9f, 8.25f, 9.6f, 10.95f, 12.3f, 13.65f},
         {0.125f, 0.125f, 0.0f, 0.0f, 0.25f, 0.0f, 0.125f, 0.125f, 0.125f, 0.125f}},
        // The minimum falls in the first bucket, the maximum in the last.
        {"automatic B",
         kSetB,
         true,
         {13.1f, 17.2f, 21.3f, 25.4f, 29.5f, 33.6f, 37.7f, 41.8f, 45.9f},
         {0.9f, 0, 0, 0, 0, 0, 0, 0, 0, 0.1f}},
        // Without spread every boundary is the value itself, so every sample is in the last.
        {"automatic equal",
         {4, 4, 4},
         true,
         {4, 4, 4, 4, 4, 4, 4, 4, 4},
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CMwStatsValue stats;
        stats.m_ComputeBuckets = 1;
        stats.m_AutoBuckets = c.Auto;
        if (!c.Auto) {
            stats.m_BucketsRanges.SetCount(u32(c.Ranges.size()));
            for (u32 i = 0; i < c.Ranges.size(); ++i)
                stats.m_BucketsRanges[i] = c.Ranges[i];
        }
        Fill(stats, c.Samples);
        stats.Compute();
        ExpectFloats(Items(stats.m_BucketsRanges), c.Ranges);
        ExpectFloats(Items(stats.m_BucketsRatio), c.Ratios);
    }
}

TEST_F(MwStatsValue, ReportText) {
    CMwStatsValue stats;
    Fill(stats, kSetA);
    EXPECT_EQ(Report(stats), "Count= 8\r\nAvg= 8.53, StdDev= 4.28\r\nMin= 1.5, Max= 15\r\n");

    stats.m_ComputeMedian = 1;
    stats.m_ComputeDeviatedMean = 1;
    stats.m_ComputeBuckets = 1;
    stats.m_BucketsRanges.SetCount(2);
    stats.m_BucketsRanges[0] = 5.0f;
    stats.m_BucketsRanges[1] = 10.0f;
    EXPECT_EQ(Report(stats), "Count= 8\r\nAvg= 8.53, StdDev= 4.28\r\nMin= 1.5, Max= 15\r\n"
                             "Median= 8.53, MedianStdDev= 4.28\r\n"
                             "DeviatedMean= 9.7, StdDevRatio= 1\r\n"
                             " ]-inf, 5[ = 25%\r\n [5, 10[ = 37.5%\r\n [10, +inf[ = 37.5%\r\n");

    // Two buckets, and one bucket without any boundary.
    stats.m_ComputeMedian = 0;
    stats.m_ComputeDeviatedMean = 0;
    stats.m_BucketsRanges.SetCount(1);
    stats.m_BucketsRanges[0] = 2.5f;
    EXPECT_EQ(Report(stats), "Count= 8\r\nAvg= 8.53, StdDev= 4.28\r\nMin= 1.5, Max= 15\r\n"
                             " ]-inf, 2.5[ = 12.5%\r\n [2.5, +inf[ = 87.5%\r\n");
    stats.m_BucketsRanges.SetCount(0);
    EXPECT_EQ(Report(stats), "Count= 8\r\nAvg= 8.53, StdDev= 4.28\r\nMin= 1.5, Max= 15\r\n"
                             " ]-inf, +inf[ = 100%\r\n");

    // The count is the log's integer form.
    CMwStatsValue many;
    ASSERT_TRUE(many.SetMaxSamples(2000));
    for (u32 i = 0; i < 1234; ++i)
        ASSERT_TRUE(many.AddSample(f32(i % 2)));
    EXPECT_EQ(Report(many), "Count= 1 234\r\nAvg= 0.5, StdDev= 0.5\r\nMin= 0, Max= 1\r\n");
}

TEST_F(MwStatsValue, LogWritesTheReportAsOneLine) {
    CMwStatsValue stats;
    stats.m_ComputeBuckets = 1;
    stats.m_AutoBuckets = 1;
    Fill(stats, kSetB);
    const std::string expected = "Count= 10\r\nAvg= 14.2, StdDev= 12\r\nMin= 9, Max= 50\r\n"
                                 " ]-inf, 13.1[ = 90%\r\n [13.1, 17.2[ = 0%\r\n"
                                 " [17.2, 21.3[ = 0%\r\n [21.3, 25.4[ = 0%\r\n"
                                 " [25.4, 29.5[ = 0%\r\n [29.5, 33.6[ = 0%\r\n"
                                 " [33.6, 37.7[ = 0%\r\n [37.7, 41.8[ = 0%\r\n"
                                 " [41.8, 45.9[ = 0%\r\n [45.9, +inf[ = 10%\r\n\r\n";
    {
        CLogWatch log;
        stats.LogReport();
        EXPECT_EQ(log.Since(), expected);
    }
    // The member Log does the same.
    CLogWatch log;
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &stats, CClassicString("Log")), 0u);
    EXPECT_EQ(stats.SetParam(&path, nullptr), 0u);
    EXPECT_EQ(log.Since(), expected);
}

TEST_F(MwStatsValue, ClassRecordAndMemberTable) {
    const CMwClassInfo& info = CMwStatsValue::s_ClassInfo;
    EXPECT_EQ(CMwClassRegistry::GetClassInfoById(0x01029000), &info);
    EXPECT_EQ(info.m_Parent, &CMwNod::s_ClassInfo);
    EXPECT_EQ(info.m_Factory, nullptr);
    EXPECT_EQ(info.m_ChunkCount, 0u);
    EXPECT_EQ(CMwClassRegistry::CreateNodById(0x01029000), nullptr);

    struct Row {
        const char* Name;
        u32 TypeCode;
        u32 Flags;
        i32 Offset; // -1 without a field
    };
    const Row rows[] = {
        {"NbMaxSamples", MwType_Natural, 0x33, -1},
        {"ComputeDeviatedMean", MwType_Bool, 0x03, offsetof(CMwStatsValue, m_ComputeDeviatedMean)},
        {"StdDevRatio", MwType_Real, 0x03, offsetof(CMwStatsValue, m_StdDevRatio)},
        {"ComputeMedian", MwType_Bool, 0x03, offsetof(CMwStatsValue, m_ComputeMedian)},
        {"ReductionRatio", MwType_Natural, 0x03, offsetof(CMwStatsValue, m_ReductionRatio)},
        {"ComputeBuckets", MwType_Bool, 0x03, offsetof(CMwStatsValue, m_ComputeBuckets)},
        {"AutoBuckets", MwType_Bool, 0x03, offsetof(CMwStatsValue, m_AutoBuckets)},
        {"BucketsRanges", MwType_Real + MwTypeArray, 0x03,
         offsetof(CMwStatsValue, m_BucketsRanges)},
        {"Log", MwType_Action, 0x02, -1},
        {"NbSamples", MwType_Natural, 0x11, -1},
        {"Summary", MwType_String, 0x11, offsetof(CMwStatsValue, m_Summary)},
        {"MeanInv", MwType_Real, 0x11, offsetof(CMwStatsValue, m_MeanInv)},
        {"Mean", MwType_Real, 0x11, offsetof(CMwStatsValue, m_Mean)},
        {"StdDev", MwType_Real, 0x11, offsetof(CMwStatsValue, m_StdDev)},
        {"Min", MwType_Real, 0x11, offsetof(CMwStatsValue, m_Min)},
        {"Max", MwType_Real, 0x11, offsetof(CMwStatsValue, m_Max)},
        {"Latest", MwType_Real, 0x11, offsetof(CMwStatsValue, m_Latest)},
        {"Median", MwType_Real, 0x11, offsetof(CMwStatsValue, m_Median)},
        {"MedianStdDev", MwType_Real, 0x11, offsetof(CMwStatsValue, m_MedianStdDev)},
        {"DeviatedMean", MwType_Real, 0x11, offsetof(CMwStatsValue, m_DeviatedMean)},
        {"BucketsRatio", MwType_Real + MwTypeArray, 0x03, offsetof(CMwStatsValue, m_BucketsRatio)},
    };
    ASSERT_EQ(info.m_MemberCount, std::size(rows));
    for (u32 i = 0; i < std::size(rows); ++i) {
        const CMwMemberInfo& member = *info.m_MemberInfos[i];
        SCOPED_TRACE(rows[i].Name);
        EXPECT_EQ(member.MemberId, 0x01029000u + i);
        EXPECT_STREQ(member.Name, rows[i].Name);
        EXPECT_STREQ(member.Label, rows[i].Name);
        EXPECT_EQ(member.TypeCode, rows[i].TypeCode);
        EXPECT_EQ(member.Flags, rows[i].Flags);
        EXPECT_EQ(member.FieldOffset, rows[i].Offset);
        EXPECT_NE(member.Param, nullptr);
    }
    CMwStatsValue stats;
    EXPECT_EQ(stats.MemberCount(), 22u);
    EXPECT_EQ(stats.MemberIdByIndex(21), 0x01029014u);
}

TEST_F(MwStatsValue, MembersByPath) {
    CMwStatsValue stats;
    // The window size through the class's reader and writer.
    EXPECT_EQ(stats.SetParamFromText(CClassicString("NbMaxSamples"), u"4"), 0u);
    EXPECT_EQ(stats.GetMaxSamples(), 4u);
    EXPECT_EQ(ReadMember<u32>(stats, "NbMaxSamples"), 4u);
    {
        CLogWatch log;
        EXPECT_EQ(stats.SetParamFromText(CClassicString("NbMaxSamples"), u"2000000"), 2u);
        EXPECT_NE(log.Since().find("NbMaxSamples"), std::string::npos);
    }
    EXPECT_EQ(stats.GetMaxSamples(), 4u);

    Fill(stats, {1, 2, 3, 4, 6});
    EXPECT_EQ(ReadMember<u32>(stats, "NbSamples"), 4u);
    // Computed members are brought up to date by the read.
    EXPECT_EQ(ReadMember<f32>(stats, "Mean"), 3.75f);
    EXPECT_EQ(ReadMember<f32>(stats, "Latest"), 6.0f);
    EXPECT_EQ(Text(ReadMember<CClassicString>(stats, "Summary")), "3.75, [2,6] s=1.48");
    ASSERT_TRUE(stats.AddSample(10.0f));
    EXPECT_EQ(ReadMember<f32>(stats, "Max"), 10.0f);
    EXPECT_FLOAT_EQ(ReadMember<f32>(stats, "MeanInv"), 1000.0f / 5.75f);

    // Settings written by path change the results read next.
    EXPECT_EQ(stats.SetParamFromText(CClassicString("ComputeMedian"), u"1"), 0u);
    EXPECT_EQ(stats.SetParamFromText(CClassicString("ReductionRatio"), u"25"), 0u);
    EXPECT_EQ(ReadMember<f32>(stats, "Median"), 5.0f);
    const f32 boundary = 4.5f;
    CMwMemberPath path;
    ASSERT_EQ(path.ParseFromText(0xFFFFFFFF, &stats, CClassicString("BucketsRanges")), 0u);
    // The boundaries are read and written along paths, but not appended to: their flags have no
    // Add. The owner's code places them.
    EXPECT_EQ(stats.AddParam(&path, &boundary), 2u);
    EXPECT_EQ(stats.m_BucketsRanges.m_Count, 0u);
    stats.m_BucketsRanges.SetCount(1);
    stats.m_BucketsRanges.m_Items[0] = boundary;
    EXPECT_EQ(stats.SetParamFromText(CClassicString("ComputeBuckets"), u"1"), 0u);
    EXPECT_FLOAT_EQ(ReadMember<f32>(stats, "StdDev"), 2.6809514f);
    EXPECT_EQ(ReadMember<f32>(stats, "BucketsRatio.1"), 0.5f);

    // Read-only members refuse writes and change nothing.
    const u32 count = 1;
    for (const char* text : {"NbSamples", "Mean"}) {
        CMwMemberPath readOnly;
        ASSERT_EQ(readOnly.ParseFromText(0xFFFFFFFF, &stats, CClassicString(text)), 0u);
        EXPECT_EQ(stats.SetParam(&readOnly, &count), 2u) << text;
    }
    EXPECT_EQ(stats.GetSampleCount(), 4u);
    EXPECT_EQ(stats.m_Mean, 5.75f);
}

} // namespace
