#include "analysis/Roughness.h"

#include <algorithm>
#include <cmath>

#include "core/Numbers.h"

std::array<std::pair<int32_t, int32_t>, 5> RoughSegments(int32_t n) {
    std::array<std::pair<int32_t, int32_t>, 5> seg{};
    double p = 0.0;
    int32_t s = 0;
    for (int k = 0; k < 5; ++k) {
        p += (n - 1) / 5.0;
        const auto e = static_cast<int32_t>(std::nearbyint(p));
        seg[static_cast<size_t>(k)] = {s, e};
        s = e;
    }
    return seg;
}

TRoughness EvaluateRoughness(const float* z, int32_t n) {
    TRoughness out;
    if (n < 1) return out;
    const auto ranges = RoughSegments(n);
    double sumRa = 0.0, sumRt = 0.0, sumP = 0.0, sumV = 0.0, sumRq = 0.0, rmax = 0.0;
    for (size_t k = 0; k < 5; ++k) {
        TRoughSegment& g = out.Segments[k];
        g.First = std::clamp(ranges[k].first, 0, n - 1);
        g.Last = std::clamp(ranges[k].second, g.First, n - 1);
        const double N = g.Last - g.First + 1;
        double sx = 0, sy = 0, sxx = 0, sxy = 0;
        for (int32_t i = g.First; i <= g.Last; ++i) {
            const double x = i, y = z[i];
            sx += x;
            sy += y;
            sxx += x * x;
            sxy += x * y;
        }
        const double den = sxx - sx * sx / N;
        g.B = den != 0.0 ? (sxy - sx * sy / N) / den : 0.0;
        g.A = (sy - sx * g.B) / N;
        double sumAbs = 0, sumSq = 0, peak = 0, valley = 0;
        for (int32_t i = g.First; i <= g.Last; ++i) {
            const double r = z[i] - (g.A + g.B * i);
            sumAbs += std::fabs(r);
            sumSq += r * r;
            if (r > peak) peak = r;
            if (r < valley) valley = r;
        }
        g.Ra = sumAbs / N;
        g.Rq = std::sqrt(sumSq / N);
        g.Peak = peak;
        g.Valley = valley;
        const double rt = peak - valley;
        sumRa += g.Ra;
        sumRt += rt;
        if (rt > rmax) rmax = rt;
        sumP += peak;
        sumV += valley;
        sumRq += g.Rq;
    }
    out.Ra = sumRa / 5;
    out.Rpm = sumP / 5;
    out.Rvm = sumV / 5;
    out.Rz = sumRt / 5;
    out.Rmax = rmax;
    out.Rq = sumRq / 5;
    return out;
}

const std::array<std::string, 6>& RoughnessNames() {
    static const std::array<std::string, 6> names{"Ra", "Rpm", "Rvm", "Rz", "Rmax", "Rq"};
    return names;
}

std::array<std::string, 6> RoughnessTexts(const TRoughness& r, const std::string& unit) {
    std::array<std::string, 6> out;
    const auto f = r.Figures();
    for (size_t i = 0; i < 6; ++i)
        out[i] = unit.empty() ? FormatGeneral(f[i], 4) : FormatWithPrefix(unit, static_cast<float>(f[i]));
    return out;
}

TImageStats ImageStatistics(const TQTVPicture& pic) {
    TImageStats s;
    if (pic.Rows <= 0 || pic.Cols <= 0 || pic.Data.empty()) return s;
    // The spread is summed about the first sample (the variance does not change by a
    // shift), so a constant image gives exactly 0 and large offsets lose no digits.
    const double v0 = pic.Data[0][0];
    double s1 = 0.0, d1 = 0.0, d2 = 0.0;
    for (int32_t r = 0; r < pic.Rows; ++r) {
        const float* d = pic.Data[r];
        for (int32_t c = 0; c < pic.Cols; ++c) {
            const double v = d[c];
            s1 += v;
            const double dv = v - v0;
            d1 += dv;
            d2 += dv * dv;
        }
    }
    const double m = static_cast<double>(pic.Rows) * static_cast<double>(pic.Cols);
    double var = (d2 - d1 * d1 / m) / m;
    if (!(var > 0.0)) var = std::isnan(var) ? var : 0.0;  // a rounding below zero counts as 0
    s.SD = std::sqrt(var);
    s.Mean = s1 / m;
    s.Valid = true;
    return s;
}

std::string ImageStatisticsText(const TImageStats& s, const std::string& unit) {
    return "Mean = " + FormatGeneral(s.Mean, 5) + " " + unit + "\r" + "SD = " + FormatGeneral(s.SD, 5) + " " + unit;
}
