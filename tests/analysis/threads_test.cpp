// The arc average and the cross correlation give the same bytes for 1, 2, 3 and 8
// threads.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Correlation.h"
#include "analysis/LineProfile.h"
#include "analysis_support.h"
#include "thread_support.h"

using analysis_test::MakeImage;

TEST(Threads, ArcAverageAndCrossCorrelation)
{
    struct TSize {
        int Cols, Rows;
    };
    for (const TSize s : {TSize{1, 9}, TSize{9, 1}, TSize{61, 37}, TSize{131, 257}, TSize{263, 7}}) {
        const TQTVPicture src = MakeImage(s.Cols, s.Rows, [](int c, int r) {
            return static_cast<float>(std::sin(0.37 * c) * std::cos(0.21 * r) + 0.001 * c * r);
        });
        const std::string at = std::to_string(s.Cols) + " x " + std::to_string(s.Rows);
        ExpectSameForEveryThreadCount("arc " + at, [&] {
            TQTVPicture avg, wide;
            AverageArc(src, 30, avg);
            AverageArc(src, 360, wide, [](int32_t, int32_t) { return true; });
            return SampleBytes(avg) + SampleBytes(wide);
        });
        ExpectSameForEveryThreadCount("correlation " + at, [&] {
            TQTVPicture corr;
            EXPECT_TRUE(CrossCorrelate(src, src, 3, corr));
            return SampleBytes(corr);
        });
    }
}
