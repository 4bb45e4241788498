// The hand-marked cell: corners, the drawn lattice, the constants and the cut-out.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "analysis/UnitCell.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "unitcell_support.h"

using namespace unitcell_test;

namespace {

TQTVPicture Sized(int cols, int rows, double xRange, double yRange, const char* xu = "nm", const char* yu = "nm") {
    TQTVPicture p;
    p.SetSize(cols, rows);
    p.Para.XScanRange = xRange;
    p.Para.YScanRange = yRange;
    p.Para.XPhysUnit = xu;
    p.Para.YPhysUnit = yu;
    return p;
}

}  // namespace

TEST(UnitCellCorners, DefaultsAndMarkerSize) {
    const TCellCorners c = DefaultCorners(256, 256);
    EXPECT_EQ(c.Corner1, (TPointI{109, 146}));
    EXPECT_EQ(c.Corner2, (TPointI{146, 146}));
    EXPECT_EQ(c.Corner3, (TPointI{146, 109}));
    EXPECT_TRUE(CornersValid(c, 256, 256));
    // 2 * round(cols / 256 + 1), half to even: 2.5 rounds to 2
    const std::pair<int, int> sizes[] = {{256, 4}, {384, 4}, {512, 6}, {640, 8}, {1024, 10}, {100, 2}};
    for (auto [cols, size] : sizes) EXPECT_EQ(MarkerSizeFor(cols), size) << cols;
    // non-square: x from the width, y from the height
    const TCellCorners d = DefaultCorners(700, 140);
    EXPECT_EQ(d.Corner1, (TPointI{300, 80}));
    EXPECT_EQ(d.Corner3, (TPointI{400, 60}));
}

TEST(UnitCellCorners, ResetRule) {
    struct Case {
        TCellCorners c;
        bool valid;
    };
    const Case cases[] = {
        {{{100, 100}, {110, 100}, {110, 90}}, true},
        {{{100, 100}, {103, 100}, {103, 97}}, false},   // squared distance 9
        {{{100, 100}, {103, 101}, {106, 102}}, true},   // 10 is enough
        {{{10, 100}, {74, 100}, {70, 95}}, true},       // 64^2 = (256 div 4)^2
        {{{10, 100}, {75, 100}, {75, 90}}, false},      // beyond a quarter of the width
        {{{250, 100}, {256, 100}, {250, 90}}, false},   // x = Cols
        {{{100, 0}, {110, 0}, {110, -10}}, false},      // above the picture
    };
    for (const Case& k : cases) EXPECT_EQ(CornersValid(k.c, 256, 256), k.valid) << k.c.Corner2.x;
}

TEST(UnitCellCorners, DraggingRules) {
    const TCellCorners saved{{100, 100}, {120, 100}, {120, 80}};
    // corner 1 moves the whole cell
    TCellCorners c = DragCorner(saved, 1, {105, 97});
    EXPECT_EQ(c, (TCellCorners{{105, 97}, {125, 97}, {125, 77}}));
    // corner 2 takes corner 3 along (b kept)
    c = DragCorner(saved, 2, {130, 104});
    EXPECT_EQ(c, (TCellCorners{{100, 100}, {130, 104}, {130, 84}}));
    // corner 3 alone
    c = DragCorner(saved, 3, {90, 70});
    EXPECT_EQ(c, (TCellCorners{{100, 100}, {120, 100}, {90, 70}}));
    // no corner: nothing moves
    EXPECT_EQ(DragCorner(saved, 0, {1, 1}), saved);

    // a press closer than 16 pixels picks the nearest corner, farther picks none
    EXPECT_EQ(PickCorner(saved, 115.5, 100), 2);
    EXPECT_EQ(PickCorner(saved, 100, 115.9), 1);
    EXPECT_EQ(PickCorner(saved, 100, 116), 0);
    EXPECT_EQ(PickCorner(saved, 140, 60), 0);
    EXPECT_EQ(PickCorner(saved, 121, 81), 3);
    // mouse to pixels: a 512-pixel image on the 256 control
    EXPECT_DOUBLE_EQ(ControlToPixel(100.5, 512), 201.0);
}

TEST(UnitCellLattice, SegmentsCoverEveryLatticePointOnce) {
    const TCellCorners c{{5, 5}, {15, 5}, {15, 0}};  // a = (10, 0), b = (0, -5)
    const int cols = 40, rows = 20;
    const auto grid = LatticeSegments(c, cols, rows, true);
    const auto lines = LatticeSegments(c, cols, rows, false);
    // points x = 5, 15, 25, 35 and y = 0, 5, 10, 15: 16 points
    std::set<std::pair<int, int>> starts;
    for (const auto& s : grid) starts.insert({s.From.x, s.From.y});
    EXPECT_EQ(starts.size(), 16u);
    EXPECT_EQ(grid.size(), 64u);
    EXPECT_EQ(lines.size(), 32u);
    for (const auto& s : lines) EXPECT_EQ(s.From.y, s.To.y);  // only the a-lines in "lines" mode
    for (const auto& s : grid) {
        const int dx = std::abs(s.To.x - s.From.x), dy = std::abs(s.To.y - s.From.y);
        EXPECT_TRUE((dx == 10 && dy == 0) || (dx == 0 && dy == 5));
    }
    // a start outside the picture draws nothing
    EXPECT_TRUE(LatticeSegments({{-1, 5}, {9, 5}, {9, 0}}, cols, rows, true).empty());
}

TEST(UnitCellLattice, ConstantsInPhysicalUnits) {
    SetDecimalSeparator('.');
    // dx = 0.1, dy = 0.2: a = (30, 0) px = 3 nm, b = (0, -10) px = 2 nm, at right angles
    TQTVPicture p = Sized(100, 50, 10.0, 10.0);
    const TCellCorners c{{10, 30}, {40, 30}, {40, 20}};
    TLatticeConstants k = LatticeConstants(c, p);
    EXPECT_DOUBLE_EQ(k.A, 3.0);
    EXPECT_DOUBLE_EQ(k.B, 2.0);
    EXPECT_DOUBLE_EQ(k.Phi, M_PI / 2);
    EXPECT_NEAR(k.Spacing, 2.0, 1e-12);
    EXPECT_EQ(k.Unit, "nm");
    EXPECT_EQ(LatticeNumberText(k.Phi * 180 / M_PI), "90");
    EXPECT_EQ(LatticeNumberText(1.0 / 3.0), "0.33333");
    // a 45 degree b: the line spacing is |b| sin(phi)
    const TCellCorners d{{10, 30}, {40, 30}, {50, 25}};  // b = (1 nm, -1 nm)
    k = LatticeConstants(d, p);
    EXPECT_NEAR(k.Phi, M_PI / 4, 1e-12);
    EXPECT_NEAR(k.Spacing, 1.0, 1e-12);
    // different units: no unit shown
    EXPECT_EQ(LatticeConstants(c, Sized(100, 50, 10, 10, "nm", "µm")).Unit, "");
}

TEST(UnitCellLattice, TypedConstants) {
    SetDecimalSeparator('.');
    TQTVPicture p = Sized(100, 100, 10.0, 10.0);  // 0.1 nm per pixel
    // one half typed either way sets |a| to 0.5 nm: 5 pixels along a
    for (const char* text : {"0.5", "0,5"}) {
        TCellCorners c{{10, 30}, {40, 30}, {40, 20}};
        ASSERT_TRUE(SetLengthA(c, p, static_cast<double>(StrToFloatTolerant(text))));
        EXPECT_EQ(c.Corner2, (TPointI{15, 30}));
        EXPECT_EQ(c.Corner3, (TPointI{40, 20}));
    }
    TCellCorners c{{10, 30}, {40, 30}, {40, 20}};
    ASSERT_TRUE(SetLengthB(c, p, 2.0));
    EXPECT_EQ(c.Corner3, (TPointI{40, 10}));
    // the angle: b turned from a to the typed value on its side, |b| kept
    for (double deg : {60.0, 120.0, 90.0, 30.0}) {
        TCellCorners e{{10, 50}, {50, 50}, {50, 10}};
        ASSERT_TRUE(SetAngle(e, p, deg));
        const TLatticeConstants k = LatticeConstants(e, p);
        EXPECT_NEAR(k.Phi * 180 / M_PI, deg, 1.0) << deg;
        EXPECT_NEAR(k.B, 4.0, 0.06);
        EXPECT_LT(e.Corner3.y, 50);  // still above a
    }
    // a zero scan range leaves everything alone
    TQTVPicture flat = Sized(100, 100, 0.0, 10.0);
    TCellCorners f{{10, 30}, {40, 30}, {40, 20}};
    EXPECT_FALSE(SetLengthA(f, flat, 1.0));
    EXPECT_FALSE(SetAngle(f, flat, 60.0));
    EXPECT_EQ(f, (TCellCorners{{10, 30}, {40, 30}, {40, 20}}));
}

TEST(UnitCellCut, CornerOutsideRefusesWithTheMessage) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture p = Constant(64, 64, 1.0f);
    TCellCut cut;
    EXPECT_FALSE(ExtractCell(p, {{60, 30}, {64, 30}, {64, 20}}, cut));
    ASSERT_EQ(sink.Texts().size(), 1u);
    EXPECT_EQ(sink.Texts()[0], "Please check unitcell !");
    EXPECT_FALSE(cut.Valid);
    for (int v : cut.Mask) EXPECT_EQ(v, 0);
}

TEST(UnitCellCut, MaskMeanAndHalf) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    // rising ramp in x: the mean of the cell is the mean of its columns
    TQTVPicture p;
    p.SetSize(64, 64);
    for (int r = 0; r < 64; ++r)
        for (int c = 0; c < 64; ++c) p.Data[r][c] = static_cast<float>(c);
    TCellCut cut;
    // a = (10, 0), b = (0, -10): edges from (20,40) to (30,30); every edge pixel takes
    // its diagonal neighbour (x + 1, y + 1) along, so the top line runs 20..30, the
    // bottom line 21..31 and the lines between 20..31
    ASSERT_TRUE(ExtractCell(p, {{20, 40}, {30, 40}, {30, 30}}, cut));
    EXPECT_TRUE(sink.Shown.empty());
    int count = 0;
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 64; ++y) {
            const int first = y == 41 ? 21 : 20, last = y == 30 ? 30 : 31;
            const bool in = y >= 30 && y <= 41 && x >= first && x <= last;
            EXPECT_EQ(cut.MaskAt(x, y), in) << x << "," << y;
            count += in;
        }
    EXPECT_EQ(count, 142);
    EXPECT_EQ(cut.BoxLeft, 20);
    EXPECT_EQ(cut.BoxRight, 31);
    EXPECT_EQ(cut.BoxTop, 30);
    EXPECT_EQ(cut.BoxBottom, 41);
    EXPECT_DOUBLE_EQ(cut.Mean, 25.5);
    // round(11 * 2/3 + 1) = round(8.33) = 8
    EXPECT_EQ(cut.Half, 8);
    EXPECT_EQ(cut.Size(), 17);
    // the centroid (column 25.5, sample row 27.5) goes to the centre (32, 32):
    // offsets round(-6.5) = -6 and round(-4.5) = -4, half to even
    EXPECT_EQ(cut.ColOffset, -6);
    EXPECT_EQ(cut.RowOffset, -4);
    EXPECT_FLOAT_EQ(cut.Cell.Data[27 + 4][20 + 6], 20 - 25.5f);
    EXPECT_FLOAT_EQ(cut.Cell.Data[27 + 4][31 + 6], 31 - 25.5f);
    EXPECT_FLOAT_EQ(cut.Cell.Data[0][0], 0.0f);
    // the view: 17 x 17 around the centre, top line = highest sample row
    const TQTVPicture view = CellView(cut, p);
    EXPECT_EQ(view.Cols, 17);
    EXPECT_EQ(view.Rows, 17);
    EXPECT_FLOAT_EQ(view.Data[0][8], cut.Cell.Data[32 - 8][32]);
    EXPECT_EQ(CellCentrePixel(cut), (TPointI{26, 63 - 28}));
}

TEST(UnitCellCut, NonSquareImageCentresOnRowsAndColumns) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    // 200 columns, 80 rows; one bright pixel inside the cell
    TQTVPicture p;
    p.SetSize(200, 80);
    p.Data[80 - 1 - 25][55] = 10.0f;
    TCellCut cut;
    ASSERT_TRUE(ExtractCell(p, {{50, 30}, {60, 30}, {60, 20}}, cut));  // mask 50..61 x 20..31
    // centroid column 55.5, sample row 80 - 1 - 25.5 = 53.5 go to column 100, row 40
    EXPECT_EQ(cut.ColOffset, RoundHalfEven(55.5L - 100));
    EXPECT_EQ(cut.RowOffset, RoundHalfEven(53.5L - 40));
    const float peak = cut.Cell.Data[80 - 1 - 25 - cut.RowOffset][55 - cut.ColOffset];
    EXPECT_GT(peak, 9.0f);
    // the bright pixel lies in the template window the correlation uses
    const TQTVPicture view = CellView(cut, p);
    float best = 0;
    for (int r = 0; r < view.Rows; ++r)
        for (int c = 0; c < view.Cols; ++c) best = std::max(best, view.Data[r][c]);
    EXPECT_FLOAT_EQ(best, peak);
}

TEST(UnitCellCut, FourthCornerOutsideIsClipped) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TQTVPicture p = Constant(40, 40, 2.0f);
    TCellCut cut;
    // Corner1 + b = (36, -5) lies outside: the mask stays inside the picture
    ASSERT_TRUE(ExtractCell(p, {{35, 20}, {38, 30}, {39, 5}}, cut));
    EXPECT_TRUE(cut.Valid);
    EXPECT_DOUBLE_EQ(cut.Mean, 2.0);
    EXPECT_TRUE(sink.Shown.empty());
}
