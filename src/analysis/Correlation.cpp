#include "analysis/Correlation.h"

#include <algorithm>
#include <cstring>

#include "analysis/UnitCell.h"
#include "core/Messages.h"
#include "core/Threads.h"
#include "processing/Fourier.h"

const char* CorrelationSizeText() {
    return "The cross correlation works on images of at most 2048 x 2048 pixels.";
}

bool CrossCorrelate(const TQTVPicture& source, const TQTVPicture& cell, int32_t cellHalf, TQTVPicture& corr,
                    const TRunProgress& progress) {
    const int32_t rows = source.Rows, cols = source.Cols;
    if (rows > MaxCorrelationSize || cols > MaxCorrelationSize) {
        ShowMessage(CorrelationSizeText());
        return false;
    }
    if (!source.HasData() || rows < 1) return false;
    int32_t n = 2, bits = 1;
    while (n < rows || n < cols) {
        n *= 2;
        ++bits;
    }
    TQTVPicture p0, p1, p2, p3;
    p0.SetSize(n, n);
    p1.SetSize(n, n);
    p2.SetSize(n, n);
    p3.SetSize(n, n);

    // the image minus its mean, in the lower-left corner of the work grid
    long double sum = 0;
    for (int32_t r = 0; r < rows; ++r) {
        const float* s = source.Data[r];
        for (int32_t c = 0; c < cols; ++c) sum += s[c];
    }
    const double mean = static_cast<double>(sum / (static_cast<long double>(rows) * cols));
    ParallelFor(rows, GrainFor(rows), [&](int64_t r0, int64_t r1) {
        for (auto r = static_cast<int32_t>(r0); r < r1; ++r) {
            const float* s = source.Data[r];
            float* d = p0.Data[r];
            for (int32_t c = 0; c < cols; ++c) d[c] = static_cast<float>(s[c] - mean);
        }
    });

    // the template keeps its place at the image centre: 2 Half rows, 2 Half + 1 columns
    if (cell.HasData() && cell.Rows == rows && cell.Cols == cols) {
        const int32_t r0 = std::max(0, rows / 2 - cellHalf), r1 = std::min(rows, rows / 2 + cellHalf);
        const int32_t c0 = std::max(0, cols / 2 - cellHalf), c1 = std::min(cols - 1, cols / 2 + cellHalf);
        for (int32_t r = r0; r < r1; ++r) {
            const float* s = cell.Data[r];
            float* d = p2.Data[r];
            for (int32_t c = c0; c <= c1; ++c) d[c] = s[c];
        }
    }

    const TScanPara para = source.Para;

    // From here on only the work grids are read. Steps: the copies 1, each transform
    // 10, the product 2, the result 1.
    constexpr int64_t Transform = 10, Steps = 1 + 3 * Transform + 2 + 1;
    int64_t reached = 1;
    const auto step = [&](int64_t units) { return !progress || progress(reached += units, Steps); };
    if (progress && !progress(reached, Steps)) return false;
    FFT2D(p0, p1, bits, false);
    if (!step(Transform)) return false;
    FFT2D(p2, p3, bits, false);
    if (!step(Transform)) return false;

    // the conjugated image spectrum times the template spectrum
    const size_t total = static_cast<size_t>(n) * n;
    float* a = p0.Data.Block();
    float* b = p1.Data.Block();
    const float* t = p2.Data.Block();
    const float* u = p3.Data.Block();
    const bool productDone = ParallelFor(
        static_cast<int64_t>(total), std::max<int64_t>(n, GrainFor(static_cast<int64_t>(total))),
        [&](int64_t i0, int64_t i1) {
            for (auto i = static_cast<size_t>(i0); i < static_cast<size_t>(i1); ++i) {
                const double re = static_cast<double>(a[i]) * t[i] + static_cast<double>(b[i]) * u[i];
                const double im = static_cast<double>(a[i]) * u[i] - static_cast<double>(b[i]) * t[i];
                a[i] = static_cast<float>(re);
                b[i] = static_cast<float>(im);
            }
        },
        progress ? TTick([&](int64_t done) {
            return progress(reached + 2 * done / static_cast<int64_t>(total), Steps);
        })
                 : TTick());
    if (!productDone || !step(2)) return false;
    FFT2D(p0, p1, bits, true);
    if (!step(Transform)) return false;

    // from here on corr is written
    corr.SetSize(cols, rows);
    corr.Para = para;
    const int32_t dr = (n - rows) / 2, dc = (n - cols) / 2;
    ParallelFor(rows, GrainFor(rows), [&](int64_t r0, int64_t r1) {
        for (auto r = static_cast<int32_t>(r0); r < r1; ++r) std::memcpy(corr.Data[r], p0.Data[r + dr] + dc, static_cast<size_t>(cols) * sizeof(float));
    });
    corr.FixedRange = 0;
    corr.UpdateMinMax();
    return true;
}

double ThresholdValue(const TQTVPicture& corr, int32_t position) {
    const double mn = corr.Min, mx = corr.Max;
    return mn + (mx - mn) * position / 100.0;
}

void ApplyThreshold(const TQTVPicture& corr, double t, TQTVPicture& out) {
    out.SetSize(corr.Cols, corr.Rows);
    out.Para = corr.Para;
    for (int32_t r = 0; r < corr.Rows; ++r) {
        const float* s = corr.Data[r];
        float* d = out.Data[r];
        for (int32_t c = 0; c < corr.Cols; ++c) d[c] = s[c] >= t ? s[c] : 0.0f;
    }
}

TRegionResult LabelRegions(const TQTVPicture& corr, double t) {
    TRegionResult result;
    const int32_t W = corr.Cols, H = corr.Rows;
    if (W <= 0 || H <= 0 || !corr.HasData()) return result;
    // label grid [x][y]: 0 above the threshold and not yet taken, -1 elsewhere
    std::vector<int32_t> label(static_cast<size_t>(W) * H, -1);
    std::vector<const float*> row(static_cast<size_t>(H));
    for (int32_t y = 0; y < H; ++y) row[static_cast<size_t>(y)] = corr.Data[y];
    for (int32_t x = 0; x < W; ++x)
        for (int32_t y = 0; y < H; ++y)
            if (row[static_cast<size_t>(y)][x] > t) label[static_cast<size_t>(x) * H + y] = 0;

    std::vector<std::pair<int32_t, int32_t>> stack;
    for (int32_t x = 0; x < W; ++x)
        for (int32_t y = 0; y < H; ++y) {
            if (label[static_cast<size_t>(x) * H + y] != 0) continue;
            const int32_t id = static_cast<int32_t>(result.Matches.size()) + 1;
            double peak = row[static_cast<size_t>(y)][x];
            long double sumX = 0, sumY = 0;
            int32_t count = 0;
            stack.clear();
            stack.emplace_back(x, y);
            label[static_cast<size_t>(x) * H + y] = id;
            // explicit stack; a pixel is labelled when it is pushed, so each counts once
            while (!stack.empty() && count < MaxRegionPixels) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                const double v = row[static_cast<size_t>(py)][px];
                if (v > peak) peak = v;
                sumX += px;
                sumY += py;
                ++count;
                if (count >= MaxRegionPixels) break;
                auto push = [&](int32_t qx, int32_t qy) {
                    int32_t& l = label[static_cast<size_t>(qx) * H + qy];
                    if (l == 0) {
                        l = id;
                        stack.emplace_back(qx, qy);
                    }
                };
                if (px > 0) push(px - 1, py);
                if (px < W - 1) push(px + 1, py);
                if (py > 0) push(px, py - 1);
                if (py < H - 1) push(px, py + 1);
            }
            if (count >= MaxRegionPixels) {
                ShowMessage(TooManyPointsText);
                result.Matches.clear();
                result.TooMany = true;
                return result;
            }
            TUnitCellMatch m;
            m.X = static_cast<double>(sumX / count);
            m.Y = static_cast<double>(sumY / count);
            m.Pixels = count;
            m.Peak = peak;
            result.Matches.push_back(m);
        }
    return result;
}
