#include "processing/Operations.h"

#include <algorithm>
#include <charconv>
#include <utility>
#include <cstring>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "processing/FFTView.h"
#include "processing/Arithmetic.h"
#include "processing/Geometry.h"
#include "processing/Histogram.h"
#include "processing/History.h"
#include "processing/Invert.h"
#include "processing/Kernels.h"
#include "processing/Leveling.h"
#include "processing/WorkingCopy.h"
#include "processing/Sphere.h"

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

// level:METHOD:ORDER[:advanced][:band:LOW:HIGH...|:kept], METHOD 2Dim, Lines or Cols,
// ORDER 0, 1 or 2. Without a fit set every sample takes part; "band" fits only the
// samples strictly inside one of the value bands (the histogram selection under
// "Advanced"; no band at all fits none); "kept" fits the samples the previous
// leveling fitted (a second "Do" with the same selection). "advanced" is the ticked
// box: second-order lines and columns honour the fit set.
// level:Points:1:X:ROW:X:ROW...: the plane through at least two marked points
// (column, row from the bottom).
TOperationApply ParseLevel(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() < 2)
        throw EOperationError("level needs METHOD:ORDER (2Dim, Lines or Cols; 0, 1 or 2) or Points:1:X:ROW:X:ROW...");
    int32_t method = -1;
    for (int32_t m = 0; m < static_cast<int32_t>(LevelMethodNames().size()); ++m)
        if (f[0] == LevelMethodNames()[static_cast<size_t>(m)]) method = m;
    if (method < 0) throw EOperationError("level: unknown method \"" + f[0] + "\" (2Dim, Lines, Cols or Points)");
    const int order = ParseOperationInt(f[1], "level order");
    if (order < 0 || order > 2) throw EOperationError("level: order must be 0, 1 or 2, not " + f[1]);
    if (method == static_cast<int32_t>(TLevelMethod::Points)) {
        if (order != 1) throw EOperationError("level: Points levels with order 1 only");
        if (f.size() % 2 != 0 || f.size() < 6)
            throw EOperationError("level:Points:1 needs at least two points X:ROW");
        if ((f.size() - 2) / 2 > static_cast<size_t>(MaxMarkedPoints))
            throw EOperationError("level: at most " + std::to_string(MaxMarkedPoints) + " points");
        std::vector<TMarkedPoint> points;
        for (size_t i = 2; i < f.size(); i += 2) {
            TMarkedPoint p;
            p.X = ParseOperationInt(f[i], "level point X");
            p.Row = ParseOperationInt(f[i + 1], "level point ROW");
            points.push_back(p);
        }
        return [points](TImageDoc& doc) {
            std::vector<TMarkedPoint> pts = points;
            if (!RunLeveling(doc.Picture, static_cast<int32_t>(TLevelMethod::Points), 1, false, pts))
                throw EAbort("leveling failed");
        };
    }
    size_t i = 2;
    bool advanced = false;
    if (i < f.size() && f[i] == "advanced") {
        advanced = true;
        ++i;
    }
    enum { All, Bands, Kept } fit = All;
    std::vector<std::pair<double, double>> bands;
    if (i < f.size() && f[i] == "kept") {
        fit = Kept;
        ++i;
    } else if (i < f.size() && f[i] == "band") {
        fit = Bands;
        ++i;
        if ((f.size() - i) % 2 != 0) throw EOperationError("level: every band needs LOW:HIGH");
        for (; i < f.size(); i += 2)
            bands.emplace_back(ParseOperationNumber(f[i], "level band LOW"),
                               ParseOperationNumber(f[i + 1], "level band HIGH"));
    }
    if (i != f.size())
        throw EOperationError("level: unknown option \"" + f[i] + "\" (advanced, band:LOW:HIGH..., kept)");
    return [method, order, advanced, fit, bands](TImageDoc& doc) {
        std::vector<TMarkedPoint> none;
        if (fit == All) doc.Picture.Marks.Fill(1);
        else if (fit == Bands) MarkValueBands(doc.Picture, bands);
        if (!RunLeveling(doc.Picture, method, order, advanced, none)) throw EAbort("leveling failed");
    };
}

// clip:LOW:HIGH[:MIN:MAX]: the histogram's "Do" with the band given as values, then
// "Take Over"; with MIN:MAX the colour range stays fixed there (limits typed under
// the histogram), otherwise it follows the values.
TOperationApply ParseClip(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || (f.size() != 2 && f.size() != 4)) throw EOperationError("clip needs LOW:HIGH or LOW:HIGH:MIN:MAX");
    const double low = ParseOperationNumber(f[0], "clip LOW");
    const double high = ParseOperationNumber(f[1], "clip HIGH");
    if (!(low <= high)) throw EOperationError("clip: LOW (" + f[0] + ") is above HIGH (" + f[1] + ")");
    const float lo = static_cast<float>(low), hi = static_cast<float>(high);
    const bool fixed = f.size() == 4;
    const float min = fixed ? static_cast<float>(ParseOperationNumber(f[2], "clip MIN")) : 0.0f;
    const float max = fixed ? static_cast<float>(ParseOperationNumber(f[3], "clip MAX")) : 0.0f;
    return [lo, hi, fixed, min, max](TImageDoc& doc) {
        TQTVPicture& pic = doc.Picture;
        if (!pic.HasData()) return;
        ClipToBand(pic, pic, lo, hi);  // in place: each sample is read before it is written
        pic.FixedRange = fixed ? 1 : 0;
        if (fixed) {
            pic.Min = min;
            pic.Max = max;
        }
    };
}

// range:MIN:MAX fixes the colour range (a histogram limit typed, then "Take Over");
// range:auto lets it follow the values again (View > Refresh).
TOperationApply ParseRange(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (hasArgs && f.size() == 1 && f[0] == "auto")
        return [](TImageDoc& doc) { doc.Picture.FixedRange = 0; };
    if (!hasArgs || f.size() != 2) throw EOperationError("range needs MIN:MAX or auto");
    const float min = static_cast<float>(ParseOperationNumber(f[0], "range MIN"));
    const float max = static_cast<float>(ParseOperationNumber(f[1], "range MAX"));
    return [min, max](TImageDoc& doc) {
        doc.Picture.Min = min;
        doc.Picture.Max = max;
        doc.Picture.FixedRange = 1;
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
    BeginWorkingCopy(source, working);
    action(std::as_const(source), working);
    TakeOverWorkingCopy(working, source, false, false);
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

// noise:PERCENT[:MIN:MAX]: the threshold is PERCENT % of the image's z range, or of
// MIN..MAX (a later "Do" in one dialog measures the range the dialog started with).
TOperationApply ParseNoise(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs) throw EOperationError("noise: the percentage of the z range is missing (noise:PERCENT)");
    if (f.size() != 1 && f.size() != 3) throw EOperationError("noise needs PERCENT or PERCENT:MIN:MAX");
    const double percent = ParseOperationNumber(f[0], "noise");
    const bool given = f.size() == 3;
    const float min = given ? static_cast<float>(ParseOperationNumber(f[1], "noise MIN")) : 0.0f;
    const float max = given ? static_cast<float>(ParseOperationNumber(f[2], "noise MAX")) : 0.0f;
    return [percent, given, min, max](TImageDoc& doc) {
        DoAndTakeOver(doc, [=](const TQTVPicture& s, TQTVPicture& w) {
            RemoveBadPoints(w, given ? BadPointThreshold(min, max, percent) : BadPointThreshold(s, percent));
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
    // "inverse": the transform a second "Do" in one dialog runs (the working copy is
    // in the transformed layout then)
    bool log = false, suppZero = false, inverse = false;
    if (hasArgs) {
        const std::vector<std::string> fields = SplitOperationArgs(args);
        if (fields.size() > 3) throw EOperationError("fft: too many options in \"" + args + "\"");
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i] == "log" && i == 0) log = true;
            else if (fields[i] == "suppzero" && !suppZero && !inverse) suppZero = true;
            else if (fields[i] == "inverse" && !inverse) inverse = true;
            else throw EOperationError("fft: unknown option \"" + fields[i] + "\" (fft[:log][:suppzero][:inverse])");
        }
    }
    return [log, suppZero, inverse](TImageDoc& doc) {
        DoAndTakeOver(doc, [log, suppZero, inverse](const TQTVPicture&, TQTVPicture& w) {
            if (inverse) w.Transformed = !w.Transformed;
            FFTView(w, log, suppZero);
        });
    };
}

TOperandLoader& OperandLoader()
{
    static TOperandLoader loader;
    return loader;
}

// A number written with "." as the decimal mark (no ",").
double ParsePointNumber(const std::string& text, const std::string& what)
{
    if (text.find(',') != std::string::npos) throw EOperationError(what + ": '" + text + "' is not a number");
    return ParseOperationNumber(text, what);
}

// UTF-8 text from the command line as the Latin-1 the records hold ("\xC2\xB5m" -> "\xB5m");
// other bytes pass unchanged.
std::string Utf8ToLatin1(const std::string& text) { return HistoryUtf8ToLatin1(text); }

// zoom:X1:Y1:X2:Y2 in picture pixels (y lines from the top), corners within 0..Cols
// and 0..Rows (beyond that they are pulled onto the border); "Do", then "Take Over".
TOperationApply ParseZoom(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 4) throw EOperationError("zoom needs X1:Y1:X2:Y2 (picture pixels)");
    TZoomRect rect;
    rect.X1 = ParseOperationInt(f[0], "zoom X1");
    rect.Y1 = ParseOperationInt(f[1], "zoom Y1");
    rect.X2 = ParseOperationInt(f[2], "zoom X2");
    rect.Y2 = ParseOperationInt(f[3], "zoom Y2");
    return [rect](TImageDoc& doc) {
        TQTVPicture working;
        if (ZoomCut(doc.Picture, working, rect)) ZoomTakeOver(doc.Picture, working);
    };
}

// distortion:CX:DX:CY:DY, "." or "," as the decimal mark.
TOperationApply ParseDistortion(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 4) throw EOperationError("distortion needs CX:DX:CY:DY");
    const double cx = ParseOperationNumber(f[0], "distortion CX");
    const double dx = ParseOperationNumber(f[1], "distortion DX");
    const double cy = ParseOperationNumber(f[2], "distortion CY");
    const double dy = ParseOperationNumber(f[3], "distortion DY");
    return [=](TImageDoc& doc) {
        if (const std::string fold = DistortionFoldText(cx, dx, cy, dy); !fold.empty()) {
            ShowMessage(fold);
            throw EAbort("distortion refused");
        }
        if (!doc.Picture.HasData()) return;
        TQTVPicture working;
        CorrectDistortion(doc.Picture, working, cx, dx, cy, dy);
        std::memcpy(doc.Picture.Data.Block(), working.Data.Block(),
                    static_cast<size_t>(working.Rows) * static_cast<size_t>(working.Cols) * sizeof(float));
    };
}

// sphere:R or sphere:R:high, R in the image's lateral unit (cut back to a quarter of
// the width as the radius field does).
TOperationApply ParseSphere(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.empty()) throw EOperationError("sphere needs R or R:high");
    const double radius = ParsePointNumber(f[0], "sphere R");
    bool lowpass = true;
    size_t i = 1;
    if (i < f.size() && (f[i] == "high" || f[i] == "low")) lowpass = f[i++] == "low";
    // ":switch" once per switch of the finished result between low- and highpass
    int switches = 0;
    for (; i < f.size(); ++i) {
        if (f[i] != "switch") throw EOperationError("sphere: \"" + f[i] + "\" is neither low, high nor switch");
        ++switches;
    }
    return [radius, lowpass, switches](TImageDoc& doc) {
        TQTVPicture& pic = doc.Picture;
        if (!pic.HasData()) return;
        const TSphereRadius accepted = AcceptSphereRadius(radius, pic);
        TQTVPicture working;
        if (SphereFilter(pic, working, accepted.Radius, lowpass) != TSphereOutcome::Done)
            throw EAbort("sphere filter failed");
        for (int k = 0; k < switches; ++k) SwitchSphereResult(pic, working);
        std::memcpy(pic.Data.Block(), working.Data.Block(),
                    static_cast<size_t>(pic.Rows) * static_cast<size_t>(pic.Cols) * sizeof(float));
    };
}

// arith:OP:OTHERFILE[:N]: the image OP channel N (default 1) of OTHERFILE, with the
// image's own scan parameters.
TOperationApply ParseArith(const std::string& args, bool hasArgs)
{
    const size_t colon = args.find(':');
    if (!hasArgs || colon == std::string::npos)
        throw EOperationError("arith needs OP:OTHERFILE[:N] (OP one of + - * /)");
    const std::string op = args.substr(0, colon);
    if (op.size() != 1 || std::string(ArithmeticOperators).find(op[0]) == std::string::npos)
        throw EOperationError("arith: the operator must be one of + - * /, not \"" + op + "\"");
    std::string file = args.substr(colon + 1);
    int channel = 1;
    const size_t last = file.rfind(':');
    if (last != std::string::npos && last + 1 < file.size() &&
        file.find_first_not_of("0123456789", last + 1) == std::string::npos) {
        channel = ParseOperationInt(file.substr(last + 1), "arith channel");
        file.resize(last);
        if (channel < 1) throw EOperationError("arith: the channel counts from 1");
    }
    if (file.empty()) throw EOperationError("arith needs the file of the second image");
    return [op, file, channel](TImageDoc& doc) {
        if (!OperandLoader()) {
            ShowMessage("No second image can be loaded here.");
            throw EAbort("no operand loader");
        }
        const std::unique_ptr<TImageDoc> other = OperandLoader()(file, channel);
        if (!other) throw EAbort("second image not loaded");
        TQTVPicture result;
        if (!ComputeArithmetic(doc.Picture, other->Picture, op, result)) throw EAbort("sizes differ");
        TakeArithmeticResult(result, doc.Picture.Para, doc.Picture);
    };
}

// rescale:XRANGE:YRANGE:ZRANGE[:XU:YU:ZU], numbers with ".": the rescale dialog's "OK".
TOperationApply ParseRescale(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || (f.size() != 3 && f.size() != 6))
        throw EOperationError("rescale needs XRANGE:YRANGE:ZRANGE or XRANGE:YRANGE:ZRANGE:XUNIT:YUNIT:ZUNIT");
    TRescale rs;
    rs.XRange = ParsePointNumber(f[0], "rescale XRANGE");
    rs.YRange = ParsePointNumber(f[1], "rescale YRANGE");
    rs.ZRange = ParsePointNumber(f[2], "rescale ZRANGE");
    const bool units = f.size() == 6;
    if (units) {
        rs.XUnit = Utf8ToLatin1(f[3]);
        rs.YUnit = Utf8ToLatin1(f[4]);
        rs.ZUnit = Utf8ToLatin1(f[5]);
    }
    return [rs, units](TImageDoc& doc) {
        TRescale r = rs;
        if (!units) {
            r.XUnit = doc.Picture.Para.XPhysUnit;
            r.YUnit = doc.Picture.Para.YPhysUnit;
            r.ZUnit = doc.Picture.Para.PhysUnit;
        }
        if (!ApplyRescale(doc.Picture, r)) throw EAbort("rescale refused");
    };
}

}  // namespace

void SetOperandLoader(TOperandLoader loader) { OperandLoader() = std::move(loader); }

const std::vector<TOperationDef>& OperationTable()
{
    static const std::vector<TOperationDef> table = {
        {"invert", "invert", "negate every sample (Process > Inverse)", &ParseInvert},
        {"level", "level:METHOD:ORDER[:advanced][:band:LOW:HIGH...|:kept]",
         "leveling (Process > Leveling): METHOD 2Dim, Lines or Cols, ORDER 0, 1 or 2; level:Points:1:X:ROW:X:ROW...",
         &ParseLevel},
        {"clip", "clip:LOW:HIGH[:MIN:MAX]",
         "clip the values to LOW..HIGH, colour range fixed to MIN..MAX if given (Process > Histogram)", &ParseClip},
        {"range", "range:MIN:MAX|auto", "fix the colour range to MIN..MAX, or let it follow the values", &ParseRange},
        {"filter", "filter:NAME", "one pass of a 3 x 3 kernel (Process > Simple Filter), NAME as the kernel list shows it", &ParseFilter},
        {"noise", "noise:PERCENT[:MIN:MAX]", "bad-point removal, threshold PERCENT % of the z range (Process > Noise)", &ParseNoise},
        {"median", "median", "3 x 3 median filter (Process > Median Filter)", &ParseMedian},
        {"mean", "mean", "3 x 3 mean filter (Process > Mean Filter)", &ParseMean},
        {"fft", "fft[:log][:suppzero][:inverse]", "magnitude spectrum of the lower-left power-of-two block (Process > FFT)", &ParseFFT},
        {"zoom", "zoom:X1:Y1:X2:Y2",
         "cut out columns X1..X2-1 and picture lines Y1..Y2-1 (from the top), ranges scaled (Process > Zoom)",
         &ParseZoom},
        {"distortion", "distortion:CX:DX:CY:DY", "distortion correction (Process > Distortion)", &ParseDistortion},
        {"sphere", "sphere:R[:high][:switch]", "sphere filter of radius R, lowpass or highpass (Process > Sphere)",
         &ParseSphere},
        {"arith", "arith:OP:OTHERFILE[:N]",
         "the image OP (+ - * /) channel N of OTHERFILE (Process > Arithmetic)", &ParseArith},
        {"rescale", "rescale:XRANGE:YRANGE:ZRANGE[:XUNIT:YUNIT:ZUNIT]",
         "new scan ranges, z range and units (Process > Rescale)", &ParseRescale},
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
