#include "core/Display.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Numbers.h"

namespace {

// Half-to-even rounding into an int, saturating instead of overflowing.
int RoundToInt(long double v) {
    if (std::isnan(v)) return 0;
    constexpr long double lo = std::numeric_limits<int>::min();
    constexpr long double hi = std::numeric_limits<int>::max();
    if (v <= lo) return std::numeric_limits<int>::min();
    if (v >= hi) return std::numeric_limits<int>::max();
    return static_cast<int>(RoundHalfEven(v));
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

}  // namespace

TIntRect ZBarRect(int wf, int hf) {
    TIntRect r;
    r.Left = RoundToInt(0.8L * wf);
    r.Top = RoundToInt(0.25L * hf);
    r.Right = r.Left + 4 * RoundToInt(0.02L * wf);
    r.Bottom = r.Top + 4 * RoundToInt(0.1L * hf);
    return r;
}

unsigned char ZBarIndex(int y, int height) {
    // the frame covers line 0; the lines below it run from 255 down to 0
    if (height <= 2 || y <= 1) return 255;
    if (y >= height - 1) return 0;
    const long double t = static_cast<long double>(y - 1) * 255.0L / (height - 2);
    return static_cast<unsigned char>(255 - RoundToInt(t));
}

std::string RangeText(float value) { return FormatFixed(value, 4, 3); }

TZBarLabels ZBarLabels(float min, float max, bool zeroMax) {
    TZBarLabels l;
    if (zeroMax) {
        l.MinText = "0";
        l.MaxText = FormatSig(3, static_cast<double>(max) - static_cast<double>(min));
    } else {
        l.MinText = FormatSig(3, min);
        l.MaxText = FormatSig(3, max);
    }
    return l;
}

std::string ZBarText(const std::string& number, const std::string& unit) {
    return " " + number + " " + unit + " ";
}

int ComposedImageSide(int w, int h, bool zScaling) {
    if (zScaling) return std::min(RoundToInt(0.7L * w), h);
    return std::min(w, h);
}

int ShapedOuterWidth(int clientHeight, int frameWidth, bool zScaling) {
    if (clientHeight < 2) return -1;
    if (zScaling) return 3 * clientHeight / 2;
    return clientHeight + frameWidth;
}

double ScaleBarLength(double range) {
    long double r = range;
    if (!(r > 0) || !std::isfinite(r)) return 0;
    long double m = 1;
    if (r >= 1) {
        while (r > 10) {
            r /= 10;
            m *= 10;
        }
    } else {
        while (r < 1) {
            r *= 10;
            m /= 10;
        }
    }
    return static_cast<double>(static_cast<long double>(RoundHalfEven(r)) * m / 10);
}

TImageExtent ImageExtent(int side, double xRange, double yRange, bool trueAspect) {
    TImageExtent e{side, side};
    auto usable = [](double r) { return std::isfinite(r) && r > 0; };
    if (!trueAspect || side <= 0 || !usable(xRange) || !usable(yRange) || xRange == yRange) return e;
    // the long side fills the square; the short one follows the ranges' ratio
    const long double ratio = xRange > yRange ? static_cast<long double>(yRange) / xRange
                                              : static_cast<long double>(xRange) / yRange;
    const int shortSide = std::clamp(RoundToInt(side * ratio), 1, side);
    (xRange > yRange ? e.Height : e.Width) = shortSide;
    return e;
}

TScaleBarLayout ScaleBarLayout(int side, double xScanRange, const std::string& xUnit) {
    return ScaleBarLayout(TImageExtent{side, side}, xScanRange, xUnit);
}

TScaleBarLayout ScaleBarLayout(TImageExtent picture, double xScanRange, const std::string& xUnit) {
    TScaleBarLayout b;
    b.Center = RoundToInt(0.8L * picture.Width);
    b.CenterY = RoundToInt(0.8L * picture.Height);
    b.Length = ScaleBarLength(xScanRange);
    if (b.Length <= 0) return b;
    long double p = static_cast<long double>(picture.Width) / xScanRange * b.Length;
    // a bar wider than any window is not drawn
    if (!std::isfinite(p) || p > 1e6L) return b;
    b.Half = RoundToInt(p) / 2;
    b.Text = FormatShortest(b.Length) + " " + xUnit;
    b.Visible = true;
    return b;
}

std::string AxisRangeText(double range) { return " " + FormatShortest(range) + " "; }

int AxisTickOffset(int b, int i) { return b * i / 4; }

std::string SaveAsProposal(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    size_t sep = fileName.find_last_of("/\\");
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return fileName;
    return fileName.substr(0, dot);
}

std::vector<std::string> PreviewCandidates(const std::string& dataPath) {
    std::vector<std::string> names;
    if (dataPath.size() < 3) return names;
    std::string first = dataPath.substr(0, dataPath.size() - 3) + "bmp";
    names.push_back(first);
    if (first.size() > 7) names.push_back(first.substr(0, first.size() - 7) + "  " +
                                          first.substr(first.size() - 7));
    return names;
}

std::vector<std::pair<std::string, std::vector<std::string>>> SplitDialogFilter(
    const std::string& filter) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        size_t bar = filter.find('|', start);
        parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos
                                                                      : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::vector<std::string>>> result;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::vector<std::string> patterns;
        size_t s = 0;
        const std::string& p = parts[i + 1];
        while (s <= p.size()) {
            size_t semi = p.find(';', s);
            std::string one = Trim(p.substr(s, semi == std::string::npos ? std::string::npos
                                                                         : semi - s));
            if (!one.empty()) patterns.push_back(one);
            if (semi == std::string::npos) break;
            s = semi + 1;
        }
        result.emplace_back(parts[i], patterns);
    }
    return result;
}

std::string FilterExtension(const std::vector<std::string>& patterns) {
    for (const std::string& p : patterns) {
        size_t dot = p.rfind('.');
        if (dot == std::string::npos) continue;
        std::string ext = p.substr(dot + 1);
        if (ext.empty() || ext.find_first_of("*?") != std::string::npos) continue;
        return ext;
    }
    return {};
}

std::string EnsureExtension(const std::string& name, const std::string& ext) {
    if (ext.empty() || name.empty()) return name;
    size_t sep = name.find_last_of("/\\");
    std::string base = sep == std::string::npos ? name : name.substr(sep + 1);
    if (base.empty() || base.find('.') != std::string::npos) return name;
    return name + "." + ext;
}
