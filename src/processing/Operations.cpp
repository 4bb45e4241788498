#include "processing/Operations.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "processing/Fourier.h"
#include "processing/Histogram.h"
#include "processing/Invert.h"
#include "processing/Kernels.h"
#include "processing/Leveling.h"

namespace {

void NoArgs(const char* name, bool hasArgs)
{
    if (hasArgs) throw EOperationError(std::string(name) + " takes no parameters");
}

TOperationApply ParseInvert(const std::string&, bool hasArgs)
{
    NoArgs("invert", hasArgs);
    return [](TImageDoc& doc) { InvertSamples(doc.Picture); };
}

// level:METHOD:ORDER, METHOD one of 2Dim, Lines, Cols, ORDER 0, 1 or 2: every sample
// takes part in the fits ("Advanced" off).
TOperationApply ParseLevel(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 2)
        throw EOperationError("level needs METHOD:ORDER (2Dim, Lines or Cols; 0, 1 or 2)");
    int32_t method = -1;
    for (int32_t m = 1; m < static_cast<int32_t>(LevelMethodNames().size()); ++m)
        if (f[0] == LevelMethodNames()[static_cast<size_t>(m)]) method = m;
    if (method < 0) throw EOperationError("level: unknown method \"" + f[0] + "\" (2Dim, Lines or Cols)");
    const int order = ParseOperationInt(f[1], "level order");
    if (order < 0 || order > 2) throw EOperationError("level: order must be 0, 1 or 2, not " + f[1]);
    return [method, order](TImageDoc& doc) {
        std::vector<TMarkedPoint> none;
        doc.Picture.Marks.Fill(1);
        if (!RunLeveling(doc.Picture, method, order, false, none)) throw EAbort("leveling failed");
    };
}

// clip:LOW:HIGH: the histogram's "Do" with the band given as values, then "Take Over".
TOperationApply ParseClip(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 2) throw EOperationError("clip needs LOW:HIGH");
    const double low = ParseOperationNumber(f[0], "clip LOW");
    const double high = ParseOperationNumber(f[1], "clip HIGH");
    if (!(low <= high)) throw EOperationError("clip: LOW (" + f[0] + ") is above HIGH (" + f[1] + ")");
    const float lo = static_cast<float>(low), hi = static_cast<float>(high);
    return [lo, hi](TImageDoc& doc) {
        TQTVPicture& pic = doc.Picture;
        if (!pic.HasData()) return;
        ClipToBand(pic, pic, lo, hi);  // in place: each sample is read before it is written
        pic.FixedRange = 0;
    };
}

// ---------------------------------------------------------------- neighbourhood filters, FFT

// "Do" on a working copy of the document's picture (samples, Transformed, Min, Max
// and FixedRange as the dialog copies them; marks all set), then "Take Over": only
// the samples go back into the document.
template <class F>
void DoAndTakeOver(TImageDoc& doc, F&& action)
{
    TQTVPicture& source = doc.Picture;
    if (!source.HasData()) return;
    TQTVPicture working;
    working.SetSize(source.Cols, source.Rows);
    const size_t n = static_cast<size_t>(source.Rows) * static_cast<size_t>(source.Cols);
    std::copy_n(std::as_const(source).Data.Block(), n, working.Data.Block());
    working.Transformed = source.Transformed;
    working.Min = source.Min;
    working.Max = source.Max;
    working.FixedRange = source.FixedRange;
    action(std::as_const(source), working);
    std::copy_n(std::as_const(working).Data.Block(), n, source.Data.Block());
}

TOperationApply ParseFilter(const std::string& args, bool hasArgs)
{
    const int kernel = KernelIndex(args);
    if (!hasArgs || kernel < 0) {
        std::string known;
        for (const std::string& name : KernelNames()) known += (known.empty() ? "" : ", ") + name;
        throw EOperationError("filter: unknown kernel \"" + args + "\" (known: " + known + ")");
    }
    return [kernel](TImageDoc& doc) {
        DoAndTakeOver(doc, [kernel](const TQTVPicture&, TQTVPicture& w) { ApplyKernel(w, kernel); });
    };
}

TOperationApply ParseNoise(const std::string& args, bool hasArgs)
{
    if (!hasArgs) throw EOperationError("noise: the percentage of the z range is missing (noise:PERCENT)");
    const double percent = ParseOperationNumber(args, "noise");
    return [percent](TImageDoc& doc) {
        DoAndTakeOver(doc, [percent](const TQTVPicture& s, TQTVPicture& w) {
            RemoveBadPoints(w, BadPointThreshold(s, percent));
        });
    };
}

TOperationApply ParseMedian(const std::string&, bool hasArgs)
{
    NoArgs("median", hasArgs);
    return [](TImageDoc& doc) { DoAndTakeOver(doc, [](const TQTVPicture& s, TQTVPicture& w) { MedianFilter(s, w); }); };
}

TOperationApply ParseMean(const std::string&, bool hasArgs)
{
    NoArgs("mean", hasArgs);
    return [](TImageDoc& doc) { DoAndTakeOver(doc, [](const TQTVPicture& s, TQTVPicture& w) { MeanFilter(s, w); }); };
}

TOperationApply ParseFFT(const std::string& args, bool hasArgs)
{
    bool log = false, suppZero = false;
    if (hasArgs) {
        const std::vector<std::string> fields = SplitOperationArgs(args);
        if (fields.size() > 2) throw EOperationError("fft: too many options in \"" + args + "\"");
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] == "log" && i == 0) log = true;
            else if (fields[i] == "suppzero" && !suppZero) suppZero = true;
            else throw EOperationError("fft: unknown option \"" + fields[i] + "\" (fft, fft:log, fft:suppzero, fft:log:suppzero)");
        }
    }
    return [log, suppZero](TImageDoc& doc) {
        DoAndTakeOver(doc, [log, suppZero](const TQTVPicture&, TQTVPicture& w) { FFTView(w, log, suppZero); });
    };
}

}  // namespace

const std::vector<TOperationDef>& OperationTable()
{
    static const std::vector<TOperationDef> table = {
        {"invert", "invert", "negate every sample (Process > Inverse)", &ParseInvert},
        {"level", "level:METHOD:ORDER",
         "leveling (Process > Leveling): METHOD 2Dim, Lines or Cols, ORDER 0, 1 or 2", &ParseLevel},
        {"clip", "clip:LOW:HIGH", "clip the values to LOW..HIGH (Process > Histogram)", &ParseClip},
        {"filter", "filter:NAME", "one pass of a 3 x 3 kernel (Process > Simple Filter), NAME as the kernel list shows it", &ParseFilter},
        {"noise", "noise:PERCENT", "bad-point removal, threshold PERCENT % of the z range (Process > Noise)", &ParseNoise},
        {"median", "median", "3 x 3 median filter (Process > Median Filter)", &ParseMedian},
        {"mean", "mean", "3 x 3 mean filter (Process > Mean Filter)", &ParseMean},
        {"fft", "fft[:log][:suppzero]", "magnitude spectrum of the lower-left power-of-two block (Process > FFT)", &ParseFFT},
    };
    return table;
}

TOperationApply ParseOperation(const std::string& text)
{
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    for (const TOperationDef& def : OperationTable())
        if (name == def.Name)
            return def.Parse(colon == std::string::npos ? std::string() : text.substr(colon + 1),
                             colon != std::string::npos);
    throw EOperationError("unknown operation \"" + text + "\" (known: " + OperationSyntaxList() + ")");
}

std::string OperationSyntaxList()
{
    std::string out;
    for (const TOperationDef& def : OperationTable()) {
        if (!out.empty()) out += ", ";
        out += def.Syntax;
    }
    return out;
}

std::vector<std::string> SplitOperationArgs(const std::string& args)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t colon = args.find(':', start);
        out.push_back(args.substr(start, colon - start));
        if (colon == std::string::npos) return out;
        start = colon + 1;
    }
}

double ParseOperationNumber(const std::string& text, const std::string& what)
{
    try {
        return static_cast<double>(StrToFloatTolerant(text));
    } catch (const EConvertError&) {
        throw EOperationError(what + ": '" + text + "' is not a number");
    }
}

int ParseOperationInt(const std::string& text, const std::string& what)
{
    int v = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || p != end)
        throw EOperationError(what + ": '" + text + "' is not an integer");
    return v;
}
