// Line profiles: the width averages, the four ways of placing the line, the sample
// steps and the mapping onto a second image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "analysis/LineProfile.h"
#include "analysis_support.h"
#include "thread_support.h"

using namespace analysis_test;

TEST(LineAverage, WidthOneRowProfileIsTheFlippedSourceRow) {
    const TQTVPicture src = Labelled(7, 5);
    TQTVPicture avg;
    AverageRows(src, 1, avg);
    TProfile p;
    for (int R = 0; R < 5; ++R) {
        EXPECT_EQ(ExtractRow(avg, R, p), R);
        ASSERT_EQ(p.Count, 7);
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(p.Z[i], src.Data[4 - R][i]) << R << "," << i;
            EXPECT_EQ(p.X[i], i);
            EXPECT_EQ(p.Y[i], R);
        }
    }
    // out-of-range rows are clamped
    EXPECT_EQ(ExtractRow(avg, -4, p), 0);
    EXPECT_EQ(ExtractRow(avg, 99, p), 4);
    EXPECT_EQ(p.Z[0], src.Data[0][0]);
}

TEST(LineAverage, RowWidthMirrorsAtBothEdges) {
    const TQTVPicture src = Labelled(3, 6);
    TQTVPicture avg;
    AverageRows(src, 3, avg);
    auto displayed = [&](int d, int c) { return static_cast<double>(src.Data[5 - d][c]); };
    for (int c = 0; c < 3; ++c) {
        // top: displayed rows 0, 0, 1 (the edge line counts twice)
        EXPECT_FLOAT_EQ(avg.Data[0][c], (displayed(0, c) + displayed(0, c) + displayed(1, c)) / 3);
        // bottom: displayed rows 4, 5, 4 (mirrored without repeating the edge line)
        EXPECT_FLOAT_EQ(avg.Data[5][c], (displayed(4, c) + displayed(5, c) + displayed(4, c)) / 3);
        EXPECT_FLOAT_EQ(avg.Data[2][c], (displayed(1, c) + displayed(2, c) + displayed(3, c)) / 3);
    }
}

TEST(LineAverage, ColumnWidthMirrorsLeftAndClampsRight) {
    const TQTVPicture src = Labelled(5, 2);
    TQTVPicture avg;
    AverageColumns(src, 3, avg);
    for (int d = 0; d < 2; ++d) {
        const float* s = src.Data[1 - d];
        EXPECT_FLOAT_EQ(avg.Data[d][0], (double(s[1]) + s[0] + s[1]) / 3);
        EXPECT_FLOAT_EQ(avg.Data[d][2], (double(s[1]) + s[2] + s[3]) / 3);
        EXPECT_FLOAT_EQ(avg.Data[d][4], (double(s[3]) + s[4] + s[4]) / 3);
    }
    TProfile p;
    EXPECT_EQ(ExtractColumn(avg, 2, p), 2);
    ASSERT_EQ(p.Count, 2);
    EXPECT_EQ(p.Y[1], 1);
    EXPECT_EQ(p.Z[1], avg.Data[1][2]);
}

TEST(LineAverage, WidthsBeyondTheImageStayInside) {
    const TQTVPicture src = Labelled(4, 3);
    TQTVPicture avg;
    for (int w : {0, -3, 7, 50, 2001}) {
        AverageRows(src, w, avg);
        AverageColumns(src, w, avg);
        AverageArc(src, w % 361, avg);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                EXPECT_GE(avg.Data[r][c], src.Min);
                EXPECT_LE(avg.Data[r][c], src.Max);
            }
    }
}

TEST(LineAverage, HugeWidthsAreLimited) {
    EXPECT_EQ(EffectiveWidth(TLineMode::Row, 2000000000), MaxLineWidth);
    EXPECT_EQ(EffectiveWidth(TLineMode::Any, -5), 1);
    EXPECT_EQ(EffectiveWidth(TLineMode::Radial, 720), 360);
    EXPECT_EQ(EffectiveWidth(TLineMode::Col, 51), 51);
    const TQTVPicture src = Labelled(6, 5);
    TQTVPicture a, b;
    AverageRows(src, 2000000000, a);  // finishes at once
    AverageRows(src, MaxLineWidth, b);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 6; ++c) EXPECT_EQ(a.Data[r][c], b.Data[r][c]);
    AverageArc(src, 2000000000, a);
    AverageArc(src, 360, b);
    EXPECT_EQ(a.Data[2][3], b.Data[2][3]);
    TAnyLine line{0, 0, 5, 4};
    TProfile p;
    SampleAny(src, line, 2000000000, p);
    EXPECT_EQ(p.Count, 7);
}

TEST(LineAverage, ArcAverageKeepsConstantsAndCopiesOutsideTheDisc) {
    const TQTVPicture flat = MakeImage(32, 32, [](int, int) { return 2.5f; });
    TQTVPicture avg;
    AverageArc(flat, 90, avg);
    for (int r = 0; r < 32; ++r)
        for (int c = 0; c < 32; ++c) EXPECT_EQ(avg.Data[r][c], 2.5f);

    const TQTVPicture src = Labelled(32, 32);
    int calls = 0;
    TThreadScope one(1);  // on one thread every distance reports as it finishes
    AverageArc(src, 40, avg, [&](int done, int total) {
        EXPECT_EQ(total, 15);
        EXPECT_EQ(done, ++calls);
        return true;
    });
    EXPECT_EQ(calls, 15);
    // R0 = 15: corners and the rim lie outside the disc
    EXPECT_EQ(avg.Data[0][0], src.Data[0][0]);
    EXPECT_EQ(avg.Data[16][31], src.Data[16][31]);
    EXPECT_EQ(avg.Data[16][16], src.Data[16][16]);  // the centre only meets itself
    EXPECT_NE(avg.Data[16][26], src.Data[16][26]);  // 10 pixels out: an arc of +-20 degrees

    // non-square images: the disc uses the columns, positions stay in the rows
    for (auto [c, r] : {std::pair{60, 9}, std::pair{9, 60}}) {
        const TQTVPicture odd = Labelled(c, r);
        EXPECT_NO_THROW(AverageArc(odd, 180, avg));
        float angle = 90.0f;
        TProfile p;
        EXPECT_NO_THROW(ExtractRadial(avg, angle, p));
        for (int i = 0; i < p.Count; ++i) {
            EXPECT_GE(p.X[i], 0);
            EXPECT_LT(p.X[i], c);
            EXPECT_GE(p.Y[i], 0);
            EXPECT_LT(p.Y[i], r);
        }
    }
}

// The arc of every pixel, one pixel at a time: start at -W/2 degrees, step 1/(rho+1)
// radians until past +W/2, nearest samples of the rotated position, clamped.
TQTVPicture ArcOnePixelAtATime(const TQTVPicture& src, int W) {
    TQTVPicture out;
    out.SetSize(src.Cols, src.Rows);
    const int cc = src.Cols / 2, rc = src.Rows / 2, R0 = (src.Cols - 1) / 2;
    const double half = (W / 2.0) * 3.14159265358979323846 / 180.0;
    for (int c = 0; c < src.Cols; ++c)
        for (int r = 0; r < src.Rows; ++r) {
            const int dx = c - cc, dy = r - rc;
            const double rho = std::sqrt(double(dx) * dx + double(dy) * dy);
            if (!(rho < R0)) {
                out.Data[r][c] = src.Data[r][c];
                continue;
            }
            double sum = 0, phi = -half;
            int n = 0;
            do {
                const int c2 = std::clamp(int(std::nearbyint(std::cos(phi) * dx + std::sin(phi) * dy)) + cc, 0, src.Cols - 1);
                const int r2 = std::clamp(int(std::nearbyint(std::cos(phi) * dy - std::sin(phi) * dx)) + rc, 0, src.Rows - 1);
                sum += src.Data[r2][c2];
                ++n;
                phi += 1.0 / (rho + 1.0);
            } while (!(phi > half));
            out.Data[r][c] = static_cast<float>(sum / n);
        }
    return out;
}

TEST(LineAverage, ArcAverageEqualsThePixelByPixelArcs) {
    uint32_t seed = 12345;
    auto noise = [&](int, int) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    };
    for (auto [cols, rows] : {std::pair{37, 23}, std::pair{24, 41}, std::pair{64, 64}})
        for (int w : {1, 10, 90, 359}) {
            const TQTVPicture src = MakeImage(cols, rows, noise);
            const TQTVPicture want = ArcOnePixelAtATime(src, w);
            TQTVPicture got;
            AverageArc(src, w, got);
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c)
                    ASSERT_EQ(got.Data[r][c], want.Data[r][c]) << cols << "x" << rows << " w" << w << " at " << r << "," << c;
        }
}

TEST(LineRadial, AnglesAreBroughtIntoOneTurn) {
    const std::pair<float, float> cases[] = {{400, 40}, {-30, 330}, {360, 360}, {0, 0},
                                             {720, 0},  {-360, 360}, {-400, 320}, {123.5f, 123.5f}};
    for (auto [in, out] : cases) EXPECT_FLOAT_EQ(NormaliseAngle(in), out) << in;
}

TEST(LineRadial, RayFromTheCentreOutwards) {
    const TQTVPicture src = Labelled(256, 256);
    TQTVPicture avg;
    AverageArc(src, 1, avg);
    TProfile p;
    float angle = -270.0f;  // 90: straight up
    ExtractRadial(avg, angle, p);
    EXPECT_FLOAT_EQ(angle, 90.0f);
    ASSERT_EQ(p.Count, 128);
    for (int i = 0; i < 128; ++i) {
        EXPECT_EQ(p.X[i], 128);
        EXPECT_EQ(p.Y[i], 255 - (128 + i));
        EXPECT_EQ(p.Z[i], avg.Data[128 + i][128]);
    }
    angle = 180.0f;
    ExtractRadial(avg, angle, p);
    EXPECT_EQ(p.X[10], 118);
    EXPECT_EQ(p.Y[10], 127);
    TQTVPicture odd = Labelled(10, 255);
    AverageArc(odd, 1, avg);
    ExtractRadial(avg, angle, p);
    EXPECT_EQ(p.Count, 128);
}

TEST(LineAny, FreeLineWalksNearestSamples) {
    const TQTVPicture src = Labelled(8, 8);
    TAnyLine line{0, 0, 3, 4};
    TProfile p;
    SampleAny(src, line, 1, p);
    ASSERT_EQ(p.Count, 6);  // Round(5 + 1), spaced 5/6 pixel
    const int xs[] = {0, 0, 1, 2, 2, 2};
    const int ys[] = {0, 1, 1, 2, 3, 3};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(p.X[i], xs[i]) << i;
        EXPECT_EQ(p.Y[i], ys[i]) << i;
        EXPECT_EQ(p.Z[i], src.Data[7 - ys[i]][xs[i]]) << i;
    }

    // equal end points: one sample; points outside are clamped and kept so
    TAnyLine dot{-5, -5, -1, 0};
    SampleAny(src, dot, 1, p);
    EXPECT_EQ(p.Count, 1);
    EXPECT_EQ(dot.X1, 0);
    EXPECT_EQ(dot.Y1, 0);
    EXPECT_EQ(dot.X2, 0);
    EXPECT_EQ(p.Z[0], src.Data[7][0]);
}

TEST(LineAny, WidthAveragesAcrossTheLine) {
    // a horizontal line on an image that changes only from row to row
    const TQTVPicture src = MakeImage(9, 9, [](int r, int) { return static_cast<float>(r * r); });
    TAnyLine line{1, 4, 7, 4};
    TProfile p;
    SampleAny(src, line, 3, p);
    for (int i = 0; i < p.Count; ++i) {
        double sum = 0;
        for (double t : {-1.5, -0.5, 0.5}) sum += src.Data[static_cast<int>(std::nearbyint(4 - t))][1];
        EXPECT_FLOAT_EQ(p.Z[i], sum / 3) << i;
    }
    // a wide line near the edge reads only inside
    TAnyLine edge{0, 0, 8, 0};
    EXPECT_NO_THROW(SampleAny(src, edge, 40, p));
}

TEST(LineSteps, PhysicalStepByMode) {
    TQTVPicture src = Labelled(200, 100);
    src.Para.XScanRange = 50;
    src.Para.YScanRange = 25;
    TProfile p;
    SetRowStep(src, p);
    EXPECT_FLOAT_EQ(p.SampleStep, 0.25f);
    EXPECT_EQ(p.XLabel, "[nm]");
    SetColumnStep(src, p);
    EXPECT_FLOAT_EQ(p.SampleStep, 0.25f);
    SetFreeStep(src, p);  // ranges differ
    EXPECT_EQ(p.SampleStep, 1.0f);
    EXPECT_EQ(p.XLabel, "");
    src.Para.YScanRange = 50;
    SetFreeStep(src, p);
    EXPECT_FLOAT_EQ(p.SampleStep, 0.25f);
    EXPECT_EQ(p.XLabel, "[nm]");
    src.Para.YPhysUnit = "µm";
    SetFreeStep(src, p);  // units differ
    EXPECT_EQ(p.SampleStep, 1.0f);
}

TEST(LineDual, SecondImageFollowsTheLine) {
    const TQTVPicture a = Labelled(8, 8);
    const TQTVPicture big = Labelled(16, 16);
    TQTVPicture avgA, avgB;
    AverageRows(a, 1, avgA);
    AverageRows(big, 1, avgB);
    TProfile p;
    ExtractRow(avgA, 3, p, &avgB);
    ASSERT_TRUE(p.HasSecond);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p.Z2[i], avgB.Data[6][i]);  // row Round(2 * 3)

    // a smaller second image: rows and columns mapped and clamped
    const TQTVPicture small = Labelled(3, 5);
    AverageColumns(a, 1, avgA);
    AverageColumns(small, 1, avgB);
    ExtractColumn(avgA, 7, p, &avgB);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p.Z2[i], avgB.Data[std::min(i, 4)][2]);
    EXPECT_EQ(MapIndex(7, 8, 3), 2);  // Round(2.625) = 3, limited to 2
    EXPECT_EQ(MapIndex(5, 10, 3), 2);  // Round(1.5) = 2
    EXPECT_EQ(MapIndex(1, 4, 2), 0);   // Round(0.5) = 0

    // mode any on an equal image samples the same pixels
    TAnyLine line{1, 6, 7, 0};
    SampleAny(a, line, 3, p, &a);
    for (int i = 0; i < p.Count; ++i) EXPECT_EQ(p.Z2[i], p.Z[i]);
    SampleAny(a, line, 5, p, &small);
    for (int i = 0; i < p.Count; ++i) {
        EXPECT_GE(p.Z2[i], small.Min);
        EXPECT_LE(p.Z2[i], small.Max);
    }

    // radial onto a smaller image
    AverageArc(a, 10, avgA);
    AverageArc(small, 10, avgB);
    float angle = 45;
    EXPECT_NO_THROW(ExtractRadial(avgA, angle, p, &avgB));
    EXPECT_TRUE(p.HasSecond);
}

TEST(LineCompute, OneCallMatchesTheSteps) {
    const TQTVPicture src = Labelled(12, 10);
    TProfileRequest req;
    req.Mode = TLineMode::Row;
    req.Width = 0;
    req.Index = 40;
    TProfile p;
    ComputeProfile(src, req, p);
    EXPECT_EQ(req.Width, 1);
    EXPECT_EQ(req.Index, 9);
    EXPECT_EQ(p.Z[5], src.Data[0][5]);
    req.Mode = TLineMode::Radial;
    req.Angle = 400;
    ComputeProfile(src, req, p);
    EXPECT_FLOAT_EQ(req.Angle, 40);
    EXPECT_EQ(p.Count, 5);
}
