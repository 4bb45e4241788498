// The profile plot: range and scale, cursor selection by mouse and keys, and the
// measurement table.
#include <gtest/gtest.h>

#include "analysis/ProfilePlot.h"
#include "analysis_support.h"
#include "core/Numbers.h"

using namespace analysis_test;

namespace {

TProfile Make(std::vector<float> z, std::vector<float> z2 = {}) {
    TProfile p;
    p.Resize(static_cast<int32_t>(z.size()));
    p.Z = z;
    for (int i = 0; i < p.Count; ++i) {
        p.X[i] = i;
        p.Y[i] = 2 * i;
    }
    if (!z2.empty()) {
        p.Z2 = z2;
        p.HasSecond = true;
    }
    return p;
}

}  // namespace

TEST(ProfilePlot, RangeScaleAndPoints) {
    const TProfile flat = Make({2, 2, 2});
    TPlotScale s = MakePlotScale(flat, 300, 103);
    EXPECT_EQ(s.Scale, 1.0f);
    EXPECT_EQ(s.PointY(2), 1);  // one pixel below the top

    const TProfile p = Make({1, 5, 3, 0}, {7, -1, 2, 2});
    s = MakePlotScale(p, 400, 103);
    EXPECT_EQ(s.Min, -1);
    EXPECT_EQ(s.Max, 7);
    EXPECT_FLOAT_EQ(s.Scale, 12.5f);
    EXPECT_EQ(s.PointY(7), 1);
    EXPECT_EQ(s.PointY(-1), 101);
    EXPECT_EQ(s.PointX(0), 0);
    EXPECT_EQ(s.PointX(1), 100);
    EXPECT_EQ(s.SampleAt(150), 2);  // Round(1.5)
    EXPECT_EQ(s.SampleAt(250), 2);  // Round(2.5)
    EXPECT_EQ(s.SampleAt(399), 3);  // Round(3.99) = 4, limited to 3
    EXPECT_EQ(s.SampleAt(-20), 0);

    SetDecimalSeparator('.');
    EXPECT_EQ(PlotLimitText(12.3456f), "12.35");
    TProfile len = Make({0, 0, 0});
    len.SampleStep = 0.5f;
    EXPECT_EQ(PlotLengthText(len), "1.5");
}

TEST(ProfileCursors, SelectionByMouse) {
    const TProfile p = Make({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    const TPlotScale s = MakePlotScale(p, 100, 93);  // scale 10
    TCursors k;
    EXPECT_EQ(k.MouseDown(p, s, 20, 0), 0);  // cursor 0 is free
    EXPECT_TRUE(k.C[0].Active);
    EXPECT_EQ(k.C[0].Sample, 2);
    EXPECT_EQ(k.C[0].Y, 70);  // (9 - 2) * 10
    EXPECT_EQ(k.MouseDown(p, s, 23, 0), 0);  // within 3 pixels of cursor 0
    EXPECT_EQ(k.C[0].X, 23);
    EXPECT_EQ(k.MouseDown(p, s, 60, 0), 1);  // cursor 1 is free
    EXPECT_EQ(k.MouseDown(p, s, 40, 0), -1);  // far from both active cursors
    EXPECT_FALSE(k.MouseMove(p, s, 40));
    EXPECT_EQ(k.MouseDown(p, s, 57, 0), 1);
    EXPECT_EQ(k.C[1].Sample, 6);  // Round(5.7)
    k.Reset();
    EXPECT_EQ(k.Selected, -1);
    EXPECT_FALSE(k.C[0].Active || k.C[1].Active);
}

TEST(ProfileCursors, CurveChoiceAndKeys) {
    const TProfile p = Make({0, 0, 0, 0}, {10, 10, 10, 10});
    const TPlotScale s = MakePlotScale(p, 40, 13);  // scale 1, max 10
    TCursors k;
    k.MouseDown(p, s, 10, 1);  // the second curve lies at row 0, the first at 10
    EXPECT_EQ(k.C[0].Curve, 1);
    EXPECT_EQ(k.Value(p, 0), 10);
    EXPECT_TRUE(k.Key(p, s, TCursorKey::Down));
    EXPECT_EQ(k.C[0].Curve, 0);
    EXPECT_EQ(k.C[0].Y, 10);
    EXPECT_TRUE(k.Key(p, s, TCursorKey::Right));
    EXPECT_EQ(k.C[0].Sample, 2);
    EXPECT_EQ(k.C[0].X, 20);
    k.Key(p, s, TCursorKey::Right);
    k.Key(p, s, TCursorKey::Right);
    EXPECT_EQ(k.C[0].Sample, 3);  // limited
    EXPECT_TRUE(k.Key(p, s, TCursorKey::Space));
    EXPECT_EQ(k.Selected, 1);

    // without a second curve Up/Down put both cursors on the first and stop
    const TProfile one = Make({1, 2});
    TCursors m;
    EXPECT_FALSE(m.Key(one, s, TCursorKey::Left));  // nothing selected
    m.MouseDown(one, s, 0, 0);
    m.C[1].Curve = 1;
    EXPECT_FALSE(m.Key(one, s, TCursorKey::Up));
    EXPECT_EQ(m.C[1].Curve, 0);
}

TEST(ProfileTable, RowsForOneAndTwoCursors) {
    SetDecimalSeparator('.');
    TQTVPicture src = Labelled(11, 21);  // 10 nm / 10 steps, 20 nm / 20 steps: 1 nm each
    src.Para.XScanRange = 10;
    src.Para.YScanRange = 20;
    TProfile p = Make({1, 2, 3, 4.5f});
    const TPlotScale s = MakePlotScale(p, 40, 20);
    TCursors k;
    k.MouseDown(p, s, 10, 0);
    auto rows = MeasurementValues(p, k, src);
    EXPECT_EQ(rows[0], "1.000 nm");
    EXPECT_EQ(rows[1], "2.000 nm");
    EXPECT_EQ(rows[2], "2.000 nm");
    for (int i = 3; i < 11; ++i) EXPECT_EQ(rows[i], "") << i;
    k.MouseDown(p, s, 30, 0);
    rows = MeasurementValues(p, k, src);
    EXPECT_EQ(rows[3], "3.000 nm");
    EXPECT_EQ(rows[6], "2.000 nm");   // dX
    EXPECT_EQ(rows[7], "4.000 nm");   // dY
    EXPECT_EQ(rows[8], "2.500 nm");   // dZ
    EXPECT_EQ(rows[9], "4.472 nm");   // sqrt(20)
    EXPECT_EQ(rows[10], "5.123 nm");  // sqrt(26.25)
    src.Para.PhysUnit = "V";
    rows = MeasurementValues(p, k, src);
    EXPECT_EQ(rows[8], "2.500 V");
    EXPECT_EQ(rows[10], "5.123");
    src.Para.YPhysUnit = "s";  // pixel units, no lateral unit on dXY
    rows = MeasurementValues(p, k, src);
    EXPECT_EQ(rows[6], "2.000 nm");
    EXPECT_EQ(rows[9], "4.472");
    EXPECT_EQ(MeasurementNames()[10], "dXYZ");
}

TEST(ProfileLayout, LabelsStayOutOfTheLeftColumnAndPicturesInTheWindow) {
    // with room to spare the pictures are centred in the width right of the left column
    TProfileLayout l = ProfileWindowLayout(600, 500, false, 40);
    EXPECT_EQ(l.Left, 145 + 102);  // round(102.5), half to even
    EXPECT_EQ(l.PlotHeight, 500 - 75 - 250);
    // a dual window at its minimum size: the height labels would reach into the tables
    l = ProfileWindowLayout(600, 500, true, 60);
    EXPECT_EQ(l.Left, 145 + 70);
    EXPECT_EQ(l.Side, 165);
    for (bool dual : {false, true})
        for (int cw = 600; cw <= 1700; cw += 37)
            for (int ch = 500; ch <= 1300; ch += 53)
                for (int label : {0, 35, 80, 140}) {
                    const TProfileLayout k = ProfileWindowLayout(cw, ch, dual, label);
                    SCOPED_TRACE(testing::Message() << dual << " " << cw << "x" << ch << " " << label);
                    EXPECT_GE(k.Left - 10 - label, ProfileLeftColumn);
                    EXPECT_LE(k.Left + k.PlotWidth, cw);
                    EXPECT_EQ(k.PlotWidth, dual ? 2 * k.Side + 50 : k.Side);
                    EXPECT_GE(k.Side, 20);
                    EXPECT_EQ(k.PlotTop, k.Side + k.Side / 5);
                    EXPECT_LE(k.Top + k.Side, k.PlotTop);
                }
}
