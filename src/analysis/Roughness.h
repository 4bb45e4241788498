#pragma once
// Roughness figures of a profile (five equal segments, each against its own
// least-squares mean line) and the statistics of a whole image.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Picture.h"

// One segment: samples First..Last (neighbours share their boundary sample), its mean
// line a + b * i and its largest and smallest residuals (Peak >= 0 >= Valley).
struct TRoughSegment {
    int32_t First = 0, Last = 0;
    double A = 0.0, B = 0.0;
    double Ra = 0.0, Rq = 0.0, Peak = 0.0, Valley = 0.0;
};

struct TRoughness {
    std::array<TRoughSegment, 5> Segments{};
    double Ra = 0.0, Rpm = 0.0, Rvm = 0.0, Rz = 0.0, Rmax = 0.0, Rq = 0.0;
    // The six figures in table order: Ra, Rpm, Rvm, Rz, Rmax, Rq.
    std::array<double, 6> Figures() const { return {Ra, Rpm, Rvm, Rz, Rmax, Rq}; }
};

// The five closed index ranges of a profile of n samples (n >= 1).
std::array<std::pair<int32_t, int32_t>, 5> RoughSegments(int32_t n);
// Evaluates z[0..n-1]. A segment whose mean line is not defined (one sample) takes
// the flat line through its mean, so every figure is a number for finite samples.
TRoughness EvaluateRoughness(const float* z, int32_t n);
inline TRoughness EvaluateRoughness(const std::vector<float>& z, int32_t n) {
    return EvaluateRoughness(z.data(), std::min<int32_t>(n, static_cast<int32_t>(z.size())));
}

// Table names and the formatted values (FormatWithPrefix with the height unit).
const std::array<std::string, 6>& RoughnessNames();
std::array<std::string, 6> RoughnessTexts(const TRoughness& r, const std::string& unit);

// Mean and population standard deviation of all samples (a negative variance from
// rounding counts as 0). Valid is false for an image without samples.
struct TImageStats {
    bool Valid = false;
    double Mean = 0.0, SD = 0.0;
};
TImageStats ImageStatistics(const TQTVPicture& pic);
// "Mean = m unit" CR "SD = s unit", general format with 5 digits.
std::string ImageStatisticsText(const TImageStats& s, const std::string& unit);
