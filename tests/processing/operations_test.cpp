// The operation table: every operation's text reads back to the same parameters, every
// parser refuses with its own reason, and a dialog session records its presses by the
// rules the replay needs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "core/Numbers.h"
#include "processing/Kernels.h"
#include "processing/Operations.h"
#include "processing/WorkingCopy.h"

namespace {

class Operations : public ::testing::Test {
protected:
    Operations() { SetDecimalSeparator('.'); }
};

// Finite numbers over the whole range of exponents, both signs.
struct TRandom {
    std::mt19937_64 gen{20};
    double Real()
    {
        std::uniform_real_distribution<double> mant(-1.0, 1.0);
        std::uniform_int_distribution<int> exp(-300, 300);
        return std::ldexp(mant(gen), exp(gen) / 10 * (gen() % 4 == 0 ? 10 : 1));
    }
    float Small()
    {
        std::uniform_real_distribution<float> mant(-1.0f, 1.0f);
        std::uniform_int_distribution<int> exp(-120, 120);
        return std::ldexp(mant(gen), exp(gen));
    }
    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    bool Bool() { return gen() % 2 == 0; }
};

TOperation RandomOperation(TRandom& r, size_t which)
{
    switch (which) {
    case 0: return TInvertOp{};
    case 1: {
        TLevelOp op;
        op.Method = r.Int(0, 3);
        if (op.Method == 0) {
            for (int i = r.Int(2, MaxMarkedPoints); i > 0; --i) op.Points.push_back({r.Int(-5, 2100), r.Int(-5, 2100)});
            return op;
        }
        op.Order = r.Int(0, 2);
        op.Advanced = r.Bool();
        op.Fit = static_cast<TLevelFitSet>(r.Int(0, 2));
        if (op.Fit == TLevelFitSet::Bands)
            for (int i = r.Int(0, 4); i > 0; --i) op.Bands.emplace_back(r.Real(), r.Real());
        return op;
    }
    case 2: {
        TClipOp op;
        op.Low = r.Small();
        op.High = r.Small();
        if (op.High < op.Low) std::swap(op.Low, op.High);
        op.Fixed = r.Bool();
        if (op.Fixed) {
            op.Min = r.Small();
            op.Max = r.Small();
        }
        return op;
    }
    case 3: return r.Bool() ? TRangeOp{} : TRangeOp{true, r.Small(), r.Small()};
    case 4: return TFilterOp{r.Int(0, static_cast<int>(KernelNames().size()) - 1)};
    case 5: return r.Bool() ? TNoiseOp{r.Real()} : TNoiseOp{r.Real(), true, r.Small(), r.Small()};
    case 6: return TMedianOp{};
    case 7: return TMeanOp{};
    case 8: {
        TFFTOp op{r.Bool(), r.Bool(), r.Bool()};
        return op;
    }
    case 9: return TZoomOp{{r.Int(-9, 3000), r.Int(-9, 3000), r.Int(-9, 3000), r.Int(-9, 3000)}};
    case 10: return TDistortionOp{r.Real(), r.Real(), r.Real(), r.Real()};
    case 11: return TSphereOp{r.Real(), r.Bool(), r.Int(0, 4)};
    case 12: return TArithOp{"+-*/"[r.Int(0, 3)], r.Bool() ? "/data/a b:7.txt" : "C:\\scan 2.txt", r.Int(1, 12)};
    default: {
        TRescaleOp op;
        op.Rescale = {r.Real(), r.Real(), r.Real(), "\xB5m", "\xC5", "pA"};
        op.Units = r.Bool();
        if (!op.Units) op.Rescale.XUnit = op.Rescale.YUnit = op.Rescale.ZUnit = "";
        return op;
    }
    }
}

}  // namespace

TEST_F(Operations, EveryTextReadsBackAsTheSameParameters)
{
    const size_t kinds = std::variant_size_v<TOperation>;
    ASSERT_EQ(kinds, OperationTable().size());
    TRandom r;
    for (size_t which = 0; which < kinds; ++which) {
        for (int n = 0; n < 300; ++n) {
            const TOperation op = RandomOperation(r, which);
            ASSERT_EQ(which, op.index());
            const std::string text = FormatOperation(op);
            SCOPED_TRACE(text);
            EXPECT_EQ(OperationTable()[which].Name, text.substr(0, text.find(':')));
            TOperation back;
            ASSERT_NO_THROW(back = ParseOperation(text));
            EXPECT_TRUE(back == op);
            EXPECT_EQ(text, FormatOperation(back));
        }
    }
    // the canonical text is the shortest: a typed "1.50" is recorded as "1.5", the
    // channel of arith always written
    EXPECT_EQ("noise:1.5", FormatOperation(ParseOperation("noise:1.50")));
    EXPECT_EQ("sphere:4", FormatOperation(ParseOperation("sphere:4:low")));
    EXPECT_EQ("arith:-:/d/x.txt:1", FormatOperation(ParseOperation("arith:-:/d/x.txt")));
    EXPECT_EQ("rescale:1:2:3:\xC2\xB5m:nm:nm", FormatOperation(ParseOperation("rescale:1.0:2:3:\xC2\xB5m:nm:nm")));
    EXPECT_EQ("rescale:1:2:3:\xB5m:nm:nm", HistoryEntry(ParseOperation("rescale:1.0:2:3:\xC2\xB5m:nm:nm")));
}

TEST_F(Operations, EveryParserSaysWhyItRefuses)
{
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"sharpen", "unknown operation \"sharpen\" (known: "},
        {"invert:1", "invert takes no parameters"},
        {"level", "level needs METHOD:ORDER (2Dim, Lines or Cols; 0, 1 or 2) or Points:1:X:ROW:X:ROW..."},
        {"level:Rows:1", "level: unknown method \"Rows\" (2Dim, Lines, Cols or Points)"},
        {"level:Lines:3", "level: order must be 0, 1 or 2, not 3"},
        {"level:Lines:x", "level order: 'x' is not an integer"},
        {"level:Points:2:1:1:2:2", "level: Points levels with order 1 only"},
        {"level:Points:1:3:4", "level:Points:1 needs at least two points X:ROW"},
        {"level:Lines:1:band:1", "level: every band needs LOW:HIGH"},
        {"level:Lines:1:band:1:z", "level band HIGH: 'z' is not a number"},
        {"level:Lines:1:sideways", "level: unknown option \"sideways\" (advanced, band:LOW:HIGH..., kept)"},
        {"clip:1:2:3", "clip needs LOW:HIGH or LOW:HIGH:MIN:MAX"},
        {"clip:3:2", "clip: LOW (3) is above HIGH (2)"},
        {"range:1", "range needs MIN:MAX or auto"},
        {"range:a:1", "range MIN: 'a' is not a number"},
        {"filter:Blur", "filter: unknown kernel \"Blur\" (known: "},
        {"noise", "noise: the percentage of the z range is missing (noise:PERCENT)"},
        {"noise:1:2", "noise needs PERCENT or PERCENT:MIN:MAX"},
        {"median:3", "median takes no parameters"},
        {"mean:3", "mean takes no parameters"},
        {"fft:inverse:inverse", "fft: unknown option \"inverse\" (fft[:log][:suppzero][:inverse])"},
        {"fft:log:log:log:log", "fft: too many options in \"log:log:log:log\""},
        {"zoom:1:2:3", "zoom needs X1:Y1:X2:Y2 (picture pixels)"},
        {"zoom:1:2:3:4.5", "zoom Y2: '4.5' is not an integer"},
        {"distortion:1:2:3", "distortion needs CX:DX:CY:DY"},
        {"sphere", "sphere needs R or R:high"},
        {"sphere:2,5", "sphere R: '2,5' is not a number"},
        {"sphere:3:switch:low", "sphere: \"low\" is neither low, high nor switch"},
        {"arith:+", "arith needs OP:OTHERFILE[:N] (OP one of + - * /)"},
        {"arith:%:f.txt", "arith: the operator must be one of + - * /, not \"%\""},
        {"arith:+:f.txt:0", "arith: the channel counts from 1"},
        {"arith:+::3", "arith needs the file of the second image"},
        {"rescale:1:2", "rescale needs XRANGE:YRANGE:ZRANGE or XRANGE:YRANGE:ZRANGE:XUNIT:YUNIT:ZUNIT"},
        {"rescale:1:2,5:3", "rescale YRANGE: '2,5' is not a number"},
    };
    for (const auto& c : cases) {
        try {
            ParseOperation(c.Text);
            ADD_FAILURE() << c.Text << " was accepted";
        } catch (const EOperationError& e) {
            EXPECT_EQ(0u, std::string(e.what()).rfind(c.Message, 0)) << c.Text << ": " << e.what();
        }
    }
}

TEST_F(Operations, ADialogSessionRecordsItsPressesByTheReplayRules)
{
    TQTVPicture source;
    source.SetSize(16, 16);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c) source.Data[r][c] = static_cast<float>(r * c % 7) - 2.5f;
    source.Para.XScanRange = source.Para.YScanRange = 16;
    source.Render();
    TQTVPicture working;
    BeginWorkingCopy(source, working);
    auto entries = [&](const TDialogSession& s, bool histogram = false, bool zoomed = false) {
        return s.TakeOverEntries(source, working, histogram, zoomed);
    };
    using V = std::vector<std::string>;

    TDialogSession s;
    // compounding presses; the first noise press measures the source, later ones write it out
    s.Do(s.Noise(2, source), source, working);
    s.Do(s.Noise(3, source), source, working);
    s.Do(TFilterOp{0}, source, working);
    EXPECT_EQ((V{"noise:2", "noise:3:-2.5:3.5", "filter:" + KernelNames()[0]}), entries(s));
    // FFT presses alternate between the transform and its inverse
    s.Undo();
    for (int i = 0; i < 3; ++i) s.Do(s.FFT(true, false), source, working);
    EXPECT_EQ((V{"fft:log", "fft:log:inverse", "fft:log"}), entries(s));
    // bands selected since the last press, then the marks that leveling left
    s.Undo();
    s.SelectBands({{-1, 0.5}});
    s.Do(s.Level({2, 1, true}), source, working);
    s.Do(s.Level({3, 2}), source, working);
    EXPECT_EQ((V{"level:Lines:1:advanced:band:-1:0.5", "level:Cols:2:kept"}), entries(s));
    s.Undo();
    s.Do(s.Level({1, 0}), source, working);
    EXPECT_EQ((V{"level:2Dim:0"}), entries(s));
    // steps from the source: the last press only; the sphere's switches go into its entry
    s.Undo();
    s.Do(TMedianOp{}, source, working);
    s.Do(TSphereOp{1.5, true, 0}, source, working);
    s.SwitchSphere(source, working);
    EXPECT_EQ((V{"sphere:1.5:switch"}), entries(s));
    // a zoom of no pixel is not recorded
    s.Undo();
    EXPECT_FALSE(s.Do(TZoomOp{{3, 3, 3, 3}}, source, working));
    EXPECT_TRUE(entries(s).empty());
    // the histogram: the last clip with the range as Take Over leaves it, or the range alone
    s.Undo();
    BeginWorkingCopy(source, working);
    s.Do(TClipOp{-1, 1}, source, working);
    s.Do(TClipOp{-2, 2}, source, working);
    working.FixedRange = 1;
    working.Max = 9;
    EXPECT_EQ((V{"clip:-2:2:-2:9"}), entries(s, true));
    s.Undo();
    EXPECT_EQ((V{"range:-2:9"}), entries(s, true));
    working.FixedRange = 0;
    EXPECT_TRUE(entries(s, true).empty());
    source.FixedRange = 1;
    EXPECT_EQ((V{"range:auto"}), entries(s, true));
}
