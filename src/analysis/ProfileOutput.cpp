#include "analysis/ProfileOutput.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Files.h"
#include "formats/NativeWriter.h"

std::string FormatDat(double value) {
    if (std::isnan(value)) return " NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : " INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14E", std::fabs(value));
    // buf: d.ddddddddddddddE±xx(x)
    std::string s(buf);
    const size_t e = s.find('E');
    std::string mant = s.substr(0, e);
    const char expSign = s[e + 1];
    const int expo = std::atoi(s.c_str() + e + 2);
    mant[1] = DecimalSeparator();
    char ex[16];
    std::snprintf(ex, sizeof ex, "E%c%04d", expSign, expo);
    return std::string(1, value < 0 ? '-' : ' ') + mant + ex;
}

namespace {

std::string ProfileText(const TProfile& p, std::string (*fmt)(double)) {
    std::string out;
    const double step = p.SampleStep;
    for (int32_t i = 0; i < p.Count; ++i) {
        const auto k = static_cast<size_t>(i);
        out += fmt(static_cast<double>(i) * step);
        out += '\t';
        out += fmt(p.Z[k]);
        if (p.HasSecond) {
            out += '\t';
            out += fmt(p.Z2[k]);
        }
        out += "\r\n";
    }
    return out;
}

std::string Shortest(double v) { return FormatShortest(v); }

}  // namespace

std::string ProfileClipboardText(const TProfile& p) { return ProfileText(p, Shortest); }

std::string ProfileDatText(const TProfile& p) { return ProfileText(p, FormatDat); }

std::string TableText(const std::vector<std::string>& names, const std::vector<std::string>& values) {
    std::string out;
    for (size_t i = 0; i < names.size(); ++i)
        out += names[i] + "\t" + (i < values.size() ? values[i] : std::string()) + "\r\n";
    return out;
}

std::string WithDefaultExt(const std::string& path, const std::string& ext) {
    if (ExtractFileName(path).find('.') != std::string::npos) return path;
    return path + ext;
}

TSaveResult SaveOutputFile(const std::string& path, const std::string& bytes, bool replace) {
    if (!replace && FileExists(path)) {
        ShowMessage("File exist! Save Canceled!", TMsgKind::Error);
        return TSaveResult::Exists;
    }
    try {
        if (!CommitFile(path, bytes, replace)) {
            ShowMessage("File exist! Save Canceled!", TMsgKind::Error);
            return TSaveResult::Exists;
        }
    } catch (const std::exception&) {
        ShowMessage("Save not complete!");
        return TSaveResult::Failed;
    }
    return TSaveResult::Saved;
}
