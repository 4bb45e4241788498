// The long runs a window can stop (the FFT view, the cross correlation, the arc
// average): a callback that never says stop changes no bit of the result, and a stop
// at any call leaves the inputs and the outputs exactly as they were, even when the
// inputs are freed during the call that says stop.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "analysis/Correlation.h"
#include "analysis/LineProfile.h"
#include "analysis/UnitCell.h"
#include "analysis_support.h"
#include "processing/FFTView.h"
#include "thread_support.h"

using analysis_test::MakeImage;

namespace {

// What one run works on: A and B are read, Out is written (the FFT view writes A):
// a wavy image with one unmarked sample and its transform flag set, a cell cut out of
// it, and what an earlier run left in the output.
struct TFixture {
    TQTVPicture A, B, Out;
    TFixture(int cols, int rows) {
        A.CopySamplesFrom(MakeImage(cols, rows, [](int c, int r) {
            return static_cast<float>(std::sin(0.41 * c) * std::cos(0.23 * r) + 0.002 * c * r);
        }));
        A.Para.XPhysUnit = "nm";
        A.Marks[3][4] = 0;
        A.Transformed = true;
        TCellCut cut;
        EXPECT_TRUE(ExtractCell(A, {{20, 20}, {28, 20}, {28, 12}}, cut));
        B.CopySamplesFrom(cut.Cell);
        Out.CopySamplesFrom(MakeImage(5, 3, [](int c, int r) { return static_cast<float>(c - r); }));
    }
};

std::string Bytes(const TQTVPicture& p) {
    return SampleBytes(p) + std::to_string(p.Cols) + "x" + std::to_string(p.Rows) + (p.Transformed ? "T" : "-") +
           p.Para.XPhysUnit;
}

struct TCase {
    std::string Name;
    int Cols, Rows;
    std::function<bool(TFixture&, const TRunProgress&)> Run;
    bool WritesA = false;
};

const TCase Cases[] = {
    {"fft view, log, mean suppressed, centred input", 67, 45,
     [](TFixture& f, const TRunProgress& p) { return FFTView(f.A, true, true, p); }, true},
    {"cross correlation", 67, 45,
     [](TFixture& f, const TRunProgress& p) { return CrossCorrelate(f.A, f.B, 6, f.Out, p); }},
    {"arc average", 61, 37,
     [](TFixture& f, const TRunProgress& p) {
         return AverageArc(f.A, 50, f.Out, p ? TArcProgress([&](int32_t d, int32_t t) { return p(d, t); })
                                              : TArcProgress());
     }},
};

}  // namespace

TEST(Stopping, GoingOnChangesNoBitAndAStopAtAnyCallChangesNothing) {
    for (const TCase& c : Cases) {
        for (const int threads : {1, 3}) {
            TThreadScope scope(threads);
            const std::string what = c.Name + ", " + std::to_string(threads) + " threads";
            TFixture plain(c.Cols, c.Rows);
            ASSERT_TRUE(c.Run(plain, {})) << what;

            // never stopped: the same bits; the calls count up to their total
            TFixture watched(c.Cols, c.Rows);
            int calls = 0;
            int64_t last = 0;
            ASSERT_TRUE(c.Run(watched, [&](int64_t done, int64_t total) {
                EXPECT_GE(done, last) << what;
                EXPECT_LE(done, total) << what;
                last = done;
                ++calls;
                return true;
            })) << what;
            EXPECT_TRUE(Bytes(watched.A) == Bytes(plain.A)) << what;
            EXPECT_TRUE(Bytes(watched.Out) == Bytes(plain.Out)) << what;
            ASSERT_GE(calls, threads == 1 ? 2 : 1) << what;

            // stopped at call k: nothing changed; or the inputs freed as it says stop
            for (int k = 1; k <= calls; ++k)
                for (const bool drop : {false, true}) {
                    TFixture f(c.Cols, c.Rows);
                    const std::string a = Bytes(f.A), b = Bytes(f.B), out = Bytes(f.Out);
                    int seen = 0;
                    const bool finished = c.Run(f, [&](int64_t, int64_t) {
                        if (++seen < k) return true;
                        if (drop) {
                            f.B.Clear();
                            if (!c.WritesA) f.A.Clear();
                        }
                        return false;
                    });
                    const std::string at = what + ", stop at call " + std::to_string(k) + (drop ? ", freed" : "");
                    // with several threads the pool's calls come as the rows finish
                    if (finished) {
                        EXPECT_TRUE(threads > 1 && k > 1 && seen < k) << at;
                        EXPECT_TRUE(Bytes(f.Out) == Bytes(plain.Out) && Bytes(f.A) == Bytes(plain.A)) << at;
                        continue;
                    }
                    EXPECT_EQ(seen, k) << at;  // no call after a stop
                    if (!drop || c.WritesA) EXPECT_TRUE(Bytes(f.A) == a) << at;
                    if (!drop) EXPECT_TRUE(Bytes(f.B) == b) << at;
                    EXPECT_TRUE(Bytes(f.Out) == out) << at;
                }
        }
    }
}
