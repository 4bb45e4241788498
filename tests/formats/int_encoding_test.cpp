// The .int data of the native writer: every stored integer is the sample times the
// factor, rounded half to even in extended precision, whatever way the writer takes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "formats/NativeWriter.h"
#include "native_support.h"

using namespace native_test;

namespace {

// The integers as extended precision gives them, row order as stored.
std::vector<int32_t> Reference(const TQTVPicture& pic, float f)
{
    long double scale = pic.Para.Scale;
    if (scale == 0.0L || !std::isfinite(scale)) scale = 1.0L;
    const long double k = static_cast<long double>(f) / scale;
    std::vector<int32_t> out;
    for (int r = pic.Rows - 1; r >= 0; --r)
        for (int c = 0; c < pic.Cols; ++c) {
            const float v = pic.Data[r][c];
            if (std::isnan(v)) {
                out.push_back(0);
                continue;
            }
            const long double x = std::nearbyint(static_cast<long double>(v) * k);
            out.push_back(x <= std::numeric_limits<int32_t>::min()   ? std::numeric_limits<int32_t>::min()
                          : x >= std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                                     : static_cast<int32_t>(x));
        }
    return out;
}

TQTVPicture Picture(const std::vector<float>& values, double scale, int cols)
{
    TQTVPicture p;
    p.SetSize(cols, static_cast<int>(values.size()) / cols);
    for (size_t i = 0; i < values.size(); ++i) p.Data.Block()[i] = values[i];
    p.Para.Scale = scale;
    return p;
}

}  // namespace

TEST(IntEncoding, HalfStepsRoundToEvenAndEveryOtherSampleAsInExtendedPrecision)
{
    // range 0..1e6 with scale 1: the factor is 1 and these samples lie exactly on ties
    const std::vector<float> ties = {0, 1e6f, 2.5f, 3.5f, 0.5f, 1.5f, 999999.5f, 12.25f, 7.5f, 4.5f};
    const TQTVPicture tiePic = Picture(ties, 1.0, 5);
    const TIntData tieData = EncodeIntData(tiePic);
    ASSERT_EQ(1.0f, tieData.Factor);
    EXPECT_EQ((std::vector<int32_t>{2, 1000000, 12, 8, 4, 0, 1000000, 2, 4, 0}), IntsOf(tieData.Bytes));

    std::mt19937 gen(17);
    std::uniform_real_distribution<double> mag(-30, 30), unit(-1, 1);
    for (int round = 0; round < 40; ++round) {
        const double spread = std::pow(10.0, mag(gen) / 3);
        std::vector<float> v(64 * 16);
        for (float& x : v) x = static_cast<float>(unit(gen) * spread);
        v[5] = std::numeric_limits<float>::quiet_NaN();
        v[9] = std::numeric_limits<float>::infinity();
        const double scale = round % 5 == 0 ? 0.0 : std::pow(10.0, mag(gen) / 5);
        const TQTVPicture p = Picture(v, scale, 64);
        const TIntData d = EncodeIntData(p);
        EXPECT_EQ(Reference(p, d.Factor), IntsOf(d.Bytes)) << "round " << round;
        EXPECT_FALSE(d.ValuesOk);
    }
}
