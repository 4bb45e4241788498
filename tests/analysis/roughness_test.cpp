// Roughness figures of a profile and the image statistics.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Roughness.h"
#include "analysis_support.h"
#include "core/Numbers.h"

using namespace analysis_test;

TEST(RoughnessSegments, BoundariesRoundHalfToEven) {
    using Seg = std::array<std::pair<int32_t, int32_t>, 5>;
    EXPECT_EQ(RoughSegments(11), (Seg{{{0, 2}, {2, 4}, {4, 6}, {6, 8}, {8, 10}}}));
    EXPECT_EQ(RoughSegments(8), (Seg{{{0, 1}, {1, 3}, {3, 4}, {4, 6}, {6, 7}}}));
    EXPECT_EQ(RoughSegments(1), (Seg{{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}}));
}

TEST(RoughnessFigures, ZigZagByHand) {
    // every segment is 0, 1, 0: mean line 1/3, residuals -1/3, 2/3, -1/3
    const std::vector<float> z{0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
    const TRoughness r = EvaluateRoughness(z, 11);
    EXPECT_NEAR(r.Ra, 4.0 / 9, 1e-12);
    EXPECT_NEAR(r.Rpm, 2.0 / 3, 1e-12);
    EXPECT_NEAR(r.Rvm, -1.0 / 3, 1e-12);
    EXPECT_NEAR(r.Rz, 1.0, 1e-12);
    EXPECT_NEAR(r.Rmax, 1.0, 1e-12);
    EXPECT_NEAR(r.Rq, std::sqrt(2.0) / 3, 1e-12);
    EXPECT_EQ(r.Segments[2].First, 4);
    EXPECT_NEAR(r.Segments[2].A, 1.0 / 3 - 0.0, 1e-9 + 4 * std::fabs(r.Segments[2].B));

    SetDecimalSeparator('.');
    const auto t = RoughnessTexts(r, "nm");
    EXPECT_EQ(t[0], "444.4 pm");
    EXPECT_EQ(t[2], "-333.3 pm");
    EXPECT_EQ(t[4], "1.000 nm");
    EXPECT_EQ(RoughnessNames()[5], "Rq");
}

TEST(RoughnessFigures, StraightTiltedProfileGivesZero) {
    std::vector<float> z;
    for (int i = 0; i < 200; ++i) z.push_back(0.25f * i - 3);
    const TRoughness r = EvaluateRoughness(z, 200);
    for (double f : r.Figures()) EXPECT_NEAR(f, 0.0, 1e-9);
}

TEST(RoughnessFigures, ShortProfilesFinishWithNumbers) {
    const std::vector<float> z{3, -1, 4, 1, 5};
    for (int n = 1; n <= 5; ++n) {
        const TRoughness r = EvaluateRoughness(z, n);
        for (double f : r.Figures()) EXPECT_TRUE(std::isfinite(f)) << n;
    }
    // two samples: every segment is one sample or the line through two
    const TRoughness two = EvaluateRoughness(z, 2);
    for (double f : two.Figures()) EXPECT_EQ(f, 0.0);
}

TEST(ImageStatistics, MeanAndPopulationSD) {
    SetDecimalSeparator('.');
    const TQTVPicture p = MakeImage(2, 2, [](int r, int c) { return static_cast<float>(1 + 2 * r + c); });
    const TImageStats s = ImageStatistics(p);
    ASSERT_TRUE(s.Valid);
    EXPECT_DOUBLE_EQ(s.Mean, 2.5);
    EXPECT_DOUBLE_EQ(s.SD, std::sqrt(1.25));
    EXPECT_EQ(ImageStatisticsText(s, "nm"), "Mean = 2.5 nm\rSD = 1.118 nm");

    // constant images: SD 0, never NaN from a rounding below zero
    for (float v : {0.1f, 3.3f, 1234.567f, -0.7f}) {
        const TQTVPicture c = MakeImage(37, 29, [v](int, int) { return v; });
        const TImageStats k = ImageStatistics(c);
        EXPECT_EQ(k.SD, 0.0) << v;
    }
    EXPECT_FALSE(ImageStatistics(TQTVPicture()).Valid);
}
