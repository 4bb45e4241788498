#include "processing/FFTView.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "core/Threads.h"
#include "processing/Fourier.h"
#include "processing/Leveling.h"

int32_t FFTViewBits(int32_t rows, int32_t cols)
{
    const int32_t m = std::min(rows, cols);
    if (m < 1) return -1;
    int32_t bits = 0;
    while (bits < 11 && (int32_t{2} << bits) <= m) ++bits;
    return bits;
}

bool FFTView(TQTVPicture& working, bool logarithmic, bool suppressZero, const TRunProgress& progress)
{
    if (!working.HasData()) return true;
    const int32_t bits = FFTViewBits(working.Rows, working.Cols);
    if (bits < 0) {
        if (suppressZero) LevelMean2D(working);
        return true;
    }
    // With a callback the mean goes out of a levelled copy, so that nothing of working
    // changes before the last call.
    TQTVPicture levelled;
    const TQTVPicture* input = &working;
    if (suppressZero) {  // "2Dim", "0. order"
        if (progress) {
            levelled.CopySamplesFrom(working);
            levelled.Marks = working.Marks;
            LevelMean2D(levelled);
            input = &levelled;
        } else {
            LevelMean2D(working);
        }
    }
    const int32_t n = int32_t{1} << bits;
    const size_t nn = static_cast<size_t>(n);
    const bool flag = working.Transformed;
    // both grids are filled by the rows' threads (no zero-filled allocation first)
    std::unique_ptr<float[]> re(new float[nn * nn]), im(new float[nn * nn]);
    std::vector<float*> pr(nn), pi(nn);
    ParallelFor(n, GrainFor(n), [&](int64_t r0, int64_t r1) {
        for (auto r = static_cast<int32_t>(r0); r < r1; ++r) {
            pr[static_cast<size_t>(r)] = re.get() + static_cast<size_t>(r) * nn;
            pi[static_cast<size_t>(r)] = im.get() + static_cast<size_t>(r) * nn;
            std::memcpy(pr[static_cast<size_t>(r)], input->Data[r], nn * sizeof(float));
            std::fill_n(pi[static_cast<size_t>(r)], nn, 0.0f);
        }
    });
    // steps: the copy in 1, the transform 8, the magnitudes 1
    constexpr int64_t Steps = 10;
    if (progress && !progress(1, Steps)) return false;
    FFT2D(pr.data(), pi.data(), bits, flag);
    if (progress && !progress(Steps - 1, Steps)) return false;
    // from here on working is written
    if (input != &working)
        std::memcpy(working.Data.Block(), input->Data.Block(),
                    static_cast<size_t>(working.Rows) * static_cast<size_t>(working.Cols) * sizeof(float));
    working.Transformed = !flag;
    ParallelFor(n, GrainFor(n), [&](int64_t r0, int64_t r1) {
        for (auto r = static_cast<int32_t>(r0); r < r1; ++r) {
            float* row = working.Data[r];
            const float* a = pr[static_cast<size_t>(r)];
            const float* b = pi[static_cast<size_t>(r)];
            for (int32_t c = 0; c < n; ++c) {
                const double x = a[c], y = b[c];
                const double m = std::sqrt(x * x + y * y);
                row[c] = static_cast<float>(logarithmic ? std::log2(m) : m);
            }
        }
    });
    return true;
}
