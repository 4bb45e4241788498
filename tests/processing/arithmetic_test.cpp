// Image arithmetic and rescale.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/Messages.h"
#include "processing/Arithmetic.h"

namespace {

TQTVPicture Make(int cols, int rows, std::initializer_list<float> values, const std::string& unit = "nm")
{
    TQTVPicture p;
    p.SetSize(cols, rows);
    auto it = values.begin();
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) p.Data[r][c] = it != values.end() ? *it++ : 0.0f;
    p.Para.PhysUnit = unit;
    p.Para.XPhysUnit = p.Para.YPhysUnit = "nm";
    p.Para.XScanRange = 100;
    p.Para.YScanRange = 50;
    p.UpdateMinMax();
    return p;
}

struct Arith : ::testing::Test {
    TRecordingSink sink;
    TScopedMessageSink scoped{&sink};
};

}  // namespace

TEST_F(Arith, EachOperatorSampleBySample)
{
    const TQTVPicture a = Make(2, 2, {1, 2, 3, 4}, "nm");
    const TQTVPicture b = Make(2, 2, {0.5f, -2, 3, 0.1f}, "V");
    struct Case {
        const char* ops;
        float expected[4];
        const char* unit;
    };
    const Case cases[] = {
        {" +", {1.5f, 0, 6, 4 + 0.1f}, "prev"},  // different units: the unit is kept
        {" -", {0.5f, 4, 0, 4 - 0.1f}, "prev"},
        {" *", {0.5f, -4, 9, 4 * 0.1f}, "nm V"},
        {" /", {2, -1, 1, 4 / 0.1f}, "nm/V"},
        {" ", {1, 1, 1, 1}, "prev"},  // no operator: every sample a[0][0]
    };
    for (const Case& k : cases) {
        TQTVPicture r;
        r.Para.PhysUnit = "prev";
        ASSERT_TRUE(ComputeArithmetic(a, b, k.ops, r));
        for (int i = 0; i < 4; ++i) EXPECT_EQ(r.Data[i / 2][i % 2], k.expected[i]) << k.ops << " " << i;
        EXPECT_EQ(r.Para.PhysUnit, k.unit) << k.ops;
    }
    EXPECT_TRUE(sink.Shown.empty());
}

TEST_F(Arith, UnitsSizesAndZeroDivisors)
{
    EXPECT_EQ(ArithmeticUnit(" -", "nm", "nm", "x"), "nm");
    EXPECT_EQ(ArithmeticUnit(" /", "nm", "nm", "x"), "");
    EXPECT_EQ(ArithmeticUnit(" *", "nm", "nm", "x"), "nm nm");

    const TQTVPicture a = Make(3, 1, {1, -1, 0});
    const TQTVPicture z = Make(3, 1, {0, 0, 0});
    TQTVPicture r;
    ASSERT_TRUE(ComputeArithmetic(a, z, " /", r));
    EXPECT_EQ(r.Data[0][0], std::numeric_limits<float>::infinity());
    EXPECT_EQ(r.Data[0][1], -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(r.Data[0][2]));
    ASSERT_TRUE(ComputeArithmetic(a, a, " -", r));
    EXPECT_EQ(r.Data[0][0], 0.0f);
    EXPECT_EQ(r.Para.PhysUnit, "nm");

    const TQTVPicture before = r;
    EXPECT_FALSE(ComputeArithmetic(a, Make(1, 3, {1, 2, 3}), " +", r));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Pictures must have some size!"});
    EXPECT_EQ(r.Data[0][0], before.Data[0][0]);

    TQTVPicture target;
    TScanPara para = a.Para;
    para.PhysUnit = "pA";
    TakeArithmeticResult(r, para, target);
    EXPECT_EQ(target.Para.PhysUnit, "pA");
    EXPECT_EQ(target.Cols, 3);
    EXPECT_EQ(target.Para.XPixel, 3);
}

TEST_F(Arith, RescaleRangesUnitsAndHeights)
{
    TQTVPicture p = Make(2, 2, {-1, 0, 1, 3});  // range 4
    TRescale rs{200, 300, 4.003, "\xB5m", "A", "pm"};
    ASSERT_TRUE(ApplyRescale(p, rs));  // within 0.1 %: the samples stay
    EXPECT_EQ(p.Data[1][1], 3.0f);
    EXPECT_EQ(p.Para.XScanRange, 200);
    EXPECT_EQ(p.Para.YScanRange, 300);
    EXPECT_EQ(p.Para.XPhysUnit, "\xB5m");
    EXPECT_EQ(p.Para.YPhysUnit, "A");
    EXPECT_EQ(p.Para.PhysUnit, "pm");

    rs.ZRange = 8;  // scaled about 0, not about Min
    ASSERT_TRUE(ApplyRescale(p, rs));
    EXPECT_EQ(p.Data[0][0], -2.0f);
    EXPECT_EQ(p.Data[1][1], 6.0f);

    TQTVPicture flat = Make(2, 2, {5, 5, 5, 5});
    rs.ZRange = 0;  // a constant image to range 0 stays as it is
    ASSERT_TRUE(ApplyRescale(flat, rs));
    EXPECT_EQ(flat.Data[0][0], 5.0f);
    EXPECT_TRUE(sink.Shown.empty());
    TQTVPicture flat2 = Make(2, 2, {5, 5, 5, 5});
    rs.ZRange = 10;  // would divide by zero: refused, nothing changed
    EXPECT_FALSE(ApplyRescale(flat2, rs));
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Cannot rescale: all values of this image are equal!"});
    EXPECT_EQ(flat2.Data[1][0], 5.0f);
    EXPECT_EQ(flat2.Para.XScanRange, 100);
    EXPECT_EQ(flat2.Para.PhysUnit, "nm");
}
