#include "processing/Operations.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "core/Text.h"
#include "processing/FFTView.h"
#include "processing/Arithmetic.h"
#include "processing/Fourier.h"
#include "processing/Histogram.h"
#include "processing/Invert.h"
#include "processing/Kernels.h"
#include "processing/WorkingCopy.h"

namespace {

// ---------------------------------------------------------------- helpers

template <class T>
bool SameBits(T a, T b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

void NoArgs(const char* name, bool hasArgs)
{
    if (hasArgs) throw EOperationError(std::string(name) + " takes no parameters");
}

// A number written with "." as the decimal mark (no ",").
double ParsePointNumber(const std::string& text, const std::string& what)
{
    if (text.find(',') != std::string::npos) throw EOperationError(what + ": '" + text + "' is not a number");
    return ParseOperationNumber(text, what);
}

template <class T>
bool ReadsBackAs(const std::string& text, T v)
{
    try {
        const T back = static_cast<T>(ParseOperationNumber(text, "number"));
        return SameBits(back, v);
    } catch (const EOperationError&) {
        return false;
    }
}

template <class T>
std::string Exact(T v, int digits)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    std::string text(buf, res.ptr);
    if (ReadsBackAs(text, v)) return text;
    std::snprintf(buf, sizeof buf, "%.*g", digits, static_cast<double>(v));
    return buf;
}

// "name" + ":" + field for every field
std::string Join(const char* name, std::initializer_list<std::string> fields)
{
    std::string out = name;
    for (const std::string& f : fields) out += ":" + f;
    return out;
}

// "Do" on a working copy of the document's picture (samples, Transformed, Min, Max
// and FixedRange as the dialog copies them; marks all set), then "Take Over": only
// the samples go back into the document.
template <class Op>
void DoAndTakeOver(const Op& op, TImageDoc& doc)
{
    TQTVPicture& source = doc.Picture;
    if (!source.HasData()) return;
    TQTVPicture working;
    BeginWorkingCopy(source, working);
    op.Do(std::as_const(source), working);
    TakeOverWorkingCopy(working, source, false, false);
}

TOperandLoader& OperandLoader()
{
    static TOperandLoader loader;
    return loader;
}

}  // namespace

std::string ExactNumber(double v) { return Exact(v, 17); }
std::string ExactNumber(float v) { return Exact(v, 9); }

// ---------------------------------------------------------------- invert

TInvertOp TInvertOp::Parse(const std::string&, bool hasArgs)
{
    NoArgs("invert", hasArgs);
    return {};
}

void TInvertOp::Apply(TImageDoc& doc) const { InvertSamples(doc.Picture); }

// ---------------------------------------------------------------- level

// Without a fit set every sample takes part; "band" fits only the samples strictly
// inside one of the value bands (no band at all fits none); "kept" fits the samples the
// previous leveling fitted. "advanced" is the ticked box: second-order lines and
// columns honour the fit set. Points: the plane through at least two marked points
// (column, row from the bottom).
TLevelOp TLevelOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() < 2)
        throw EOperationError("level needs METHOD:ORDER (2Dim, Lines or Cols; 0, 1 or 2) or Points:1:X:ROW:X:ROW...");
    TLevelOp op;
    op.Method = -1;
    for (int32_t m = 0; m < static_cast<int32_t>(LevelMethodNames().size()); ++m)
        if (f[0] == LevelMethodNames()[static_cast<size_t>(m)]) op.Method = m;
    if (op.Method < 0) throw EOperationError("level: unknown method \"" + f[0] + "\" (2Dim, Lines, Cols or Points)");
    op.Order = ParseOperationInt(f[1], "level order");
    if (op.Order < 0 || op.Order > 2) throw EOperationError("level: order must be 0, 1 or 2, not " + f[1]);
    if (op.Method == static_cast<int32_t>(TLevelMethod::Points)) {
        if (op.Order != 1) throw EOperationError("level: Points levels with order 1 only");
        if (f.size() % 2 != 0 || f.size() < 6) throw EOperationError("level:Points:1 needs at least two points X:ROW");
        if ((f.size() - 2) / 2 > static_cast<size_t>(MaxMarkedPoints))
            throw EOperationError("level: at most " + std::to_string(MaxMarkedPoints) + " points");
        for (size_t i = 2; i < f.size(); i += 2) {
            TMarkedPoint p;
            p.X = ParseOperationInt(f[i], "level point X");
            p.Row = ParseOperationInt(f[i + 1], "level point ROW");
            op.Points.push_back(p);
        }
        return op;
    }
    size_t i = 2;
    if (i < f.size() && f[i] == "advanced") {
        op.Advanced = true;
        ++i;
    }
    if (i < f.size() && f[i] == "kept") {
        op.Fit = TLevelFitSet::Kept;
        ++i;
    } else if (i < f.size() && f[i] == "band") {
        op.Fit = TLevelFitSet::Bands;
        ++i;
        if ((f.size() - i) % 2 != 0) throw EOperationError("level: every band needs LOW:HIGH");
        for (; i < f.size(); i += 2)
            op.Bands.emplace_back(ParseOperationNumber(f[i], "level band LOW"),
                                  ParseOperationNumber(f[i + 1], "level band HIGH"));
    }
    if (i != f.size())
        throw EOperationError("level: unknown option \"" + f[i] + "\" (advanced, band:LOW:HIGH..., kept)");
    return op;
}

std::string TLevelOp::Format() const
{
    const auto& names = LevelMethodNames();
    std::string out = "level:";
    out += Method >= 0 && Method < static_cast<int32_t>(names.size()) ? std::string(names[static_cast<size_t>(Method)])
                                                                      : std::to_string(Method);
    out += ":" + std::to_string(Order);
    if (Method == static_cast<int32_t>(TLevelMethod::Points)) {
        for (const TMarkedPoint& p : Points) out += ":" + std::to_string(p.X) + ":" + std::to_string(p.Row);
        return out;
    }
    if (Advanced) out += ":advanced";
    if (Fit == TLevelFitSet::Kept) out += ":kept";
    if (Fit == TLevelFitSet::Bands) {
        out += ":band";
        for (const auto& [lo, hi] : Bands) out += ":" + ExactNumber(lo) + ":" + ExactNumber(hi);
    }
    return out;
}

bool TLevelOp::Do(const TQTVPicture&, TQTVPicture& working) const
{
    std::vector<TMarkedPoint> points = Points;
    if (Method != static_cast<int32_t>(TLevelMethod::Points)) {
        if (Fit == TLevelFitSet::All) working.Marks.Fill(1);
        else if (Fit == TLevelFitSet::Bands) MarkValueBands(working, Bands);
    }
    return RunLeveling(working, Method, Order, Advanced, points);
}

void TLevelOp::Apply(TImageDoc& doc) const
{
    // in place: the leveling reads each sample before it writes it
    if (!Do(doc.Picture, doc.Picture)) throw EAbort("leveling failed");
}

bool TLevelOp::operator==(const TLevelOp& o) const
{
    if (Method != o.Method || Order != o.Order || Advanced != o.Advanced || Fit != o.Fit ||
        Bands.size() != o.Bands.size() || Points.size() != o.Points.size())
        return false;
    for (size_t i = 0; i < Bands.size(); ++i)
        if (!SameBits(Bands[i].first, o.Bands[i].first) || !SameBits(Bands[i].second, o.Bands[i].second)) return false;
    for (size_t i = 0; i < Points.size(); ++i)
        if (Points[i].X != o.Points[i].X || Points[i].Row != o.Points[i].Row) return false;
    return true;
}

// ---------------------------------------------------------------- clip, range

TClipOp TClipOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || (f.size() != 2 && f.size() != 4)) throw EOperationError("clip needs LOW:HIGH or LOW:HIGH:MIN:MAX");
    const double low = ParseOperationNumber(f[0], "clip LOW");
    const double high = ParseOperationNumber(f[1], "clip HIGH");
    if (!(low <= high)) throw EOperationError("clip: LOW (" + f[0] + ") is above HIGH (" + f[1] + ")");
    TClipOp op;
    op.Low = static_cast<float>(low);
    op.High = static_cast<float>(high);
    op.Fixed = f.size() == 4;
    if (op.Fixed) {
        op.Min = static_cast<float>(ParseOperationNumber(f[2], "clip MIN"));
        op.Max = static_cast<float>(ParseOperationNumber(f[3], "clip MAX"));
    }
    return op;
}

std::string TClipOp::Format() const
{
    if (!Fixed) return Join("clip", {ExactNumber(Low), ExactNumber(High)});
    return Join("clip", {ExactNumber(Low), ExactNumber(High), ExactNumber(Min), ExactNumber(Max)});
}

void TClipOp::Do(const TQTVPicture& source, TQTVPicture& working) const { ClipToBand(source, working, Low, High); }

void TClipOp::Apply(TImageDoc& doc) const
{
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData()) return;
    ClipToBand(pic, pic, Low, High);  // in place: each sample is read before it is written
    pic.FixedRange = Fixed ? 1 : 0;
    if (Fixed) {
        pic.Min = Min;
        pic.Max = Max;
    }
}

bool TClipOp::operator==(const TClipOp& o) const
{
    return SameBits(Low, o.Low) && SameBits(High, o.High) && Fixed == o.Fixed &&
           (!Fixed || (SameBits(Min, o.Min) && SameBits(Max, o.Max)));
}

TRangeOp TRangeOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (hasArgs && f.size() == 1 && f[0] == "auto") return {};
    if (!hasArgs || f.size() != 2) throw EOperationError("range needs MIN:MAX or auto");
    TRangeOp op;
    op.Fixed = true;
    op.Min = static_cast<float>(ParseOperationNumber(f[0], "range MIN"));
    op.Max = static_cast<float>(ParseOperationNumber(f[1], "range MAX"));
    return op;
}

std::string TRangeOp::Format() const
{
    return Fixed ? Join("range", {ExactNumber(Min), ExactNumber(Max)}) : std::string("range:auto");
}

void TRangeOp::Apply(TImageDoc& doc) const
{
    if (Fixed) {
        doc.Picture.Min = Min;
        doc.Picture.Max = Max;
    }
    doc.Picture.FixedRange = Fixed ? 1 : 0;
}

bool TRangeOp::operator==(const TRangeOp& o) const
{
    return Fixed == o.Fixed && (!Fixed || (SameBits(Min, o.Min) && SameBits(Max, o.Max)));
}

// ---------------------------------------------------------------- neighbourhood filters, FFT

TFilterOp TFilterOp::Parse(const std::string& args, bool hasArgs)
{
    const int kernel = KernelIndex(args);
    if (!hasArgs || kernel < 0) {
        std::string known;
        for (const std::string& name : KernelNames()) known += (known.empty() ? "" : ", ") + name;
        throw EOperationError("filter: unknown kernel \"" + args + "\" (known: " + known + ")");
    }
    return {kernel};
}

std::string TFilterOp::Format() const
{
    const auto& names = KernelNames();
    return "filter:" + (Kernel >= 0 && Kernel < static_cast<int>(names.size()) ? names[static_cast<size_t>(Kernel)]
                                                                               : std::to_string(Kernel));
}

void TFilterOp::Do(const TQTVPicture&, TQTVPicture& working) const { ApplyKernel(working, Kernel); }
void TFilterOp::Apply(TImageDoc& doc) const { DoAndTakeOver(*this, doc); }

TNoiseOp TNoiseOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs) throw EOperationError("noise: the percentage of the z range is missing (noise:PERCENT)");
    if (f.size() != 1 && f.size() != 3) throw EOperationError("noise needs PERCENT or PERCENT:MIN:MAX");
    TNoiseOp op;
    op.Percent = ParseOperationNumber(f[0], "noise");
    op.Given = f.size() == 3;
    if (op.Given) {
        op.Min = static_cast<float>(ParseOperationNumber(f[1], "noise MIN"));
        op.Max = static_cast<float>(ParseOperationNumber(f[2], "noise MAX"));
    }
    return op;
}

std::string TNoiseOp::Format() const
{
    if (!Given) return "noise:" + ExactNumber(Percent);
    return Join("noise", {ExactNumber(Percent), ExactNumber(Min), ExactNumber(Max)});
}

void TNoiseOp::Do(const TQTVPicture& source, TQTVPicture& working) const
{
    RemoveBadPoints(working, Given ? BadPointThreshold(Min, Max, Percent) : BadPointThreshold(source, Percent));
}

void TNoiseOp::Apply(TImageDoc& doc) const { DoAndTakeOver(*this, doc); }

bool TNoiseOp::operator==(const TNoiseOp& o) const
{
    return SameBits(Percent, o.Percent) && Given == o.Given &&
           (!Given || (SameBits(Min, o.Min) && SameBits(Max, o.Max)));
}

TMedianOp TMedianOp::Parse(const std::string&, bool hasArgs)
{
    NoArgs("median", hasArgs);
    return {};
}

void TMedianOp::Do(const TQTVPicture& source, TQTVPicture& working) const { MedianFilter(source, working); }
void TMedianOp::Apply(TImageDoc& doc) const { DoAndTakeOver(*this, doc); }

TMeanOp TMeanOp::Parse(const std::string&, bool hasArgs)
{
    NoArgs("mean", hasArgs);
    return {};
}

void TMeanOp::Do(const TQTVPicture& source, TQTVPicture& working) const { MeanFilter(source, working); }
void TMeanOp::Apply(TImageDoc& doc) const { DoAndTakeOver(*this, doc); }

TFFTOp TFFTOp::Parse(const std::string& args, bool hasArgs)
{
    TFFTOp op;
    if (!hasArgs) return op;
    const std::vector<std::string> fields = SplitOperationArgs(args);
    if (fields.size() > 3) throw EOperationError("fft: too many options in \"" + args + "\"");
    for (size_t i = 0; i < fields.size(); ++i) {
        if (fields[i] == "log" && i == 0) op.Log = true;
        else if (fields[i] == "suppzero" && !op.SuppZero && !op.Inverse) op.SuppZero = true;
        else if (fields[i] == "inverse" && !op.Inverse) op.Inverse = true;
        else throw EOperationError("fft: unknown option \"" + fields[i] + "\" (fft[:log][:suppzero][:inverse])");
    }
    return op;
}

std::string TFFTOp::Format() const
{
    std::string out = "fft";
    if (Log) out += ":log";
    if (SuppZero) out += ":suppzero";
    if (Inverse) out += ":inverse";
    return out;
}

bool TFFTOp::Do(const TQTVPicture& source, TQTVPicture& working, const TRunProgress& progress) const
{
    // the working copy is in the layout the previous press left
    if (Inverse) working.Transformed = !source.Transformed;
    return FFTView(working, Log, SuppZero, progress);
}

void TFFTOp::Apply(TImageDoc& doc) const { DoAndTakeOver(*this, doc); }

// ---------------------------------------------------------------- geometry

// Corners within 0..Cols and 0..Rows (beyond that they are pulled onto the border).
TZoomOp TZoomOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 4) throw EOperationError("zoom needs X1:Y1:X2:Y2 (picture pixels)");
    TZoomOp op;
    op.Rect.X1 = ParseOperationInt(f[0], "zoom X1");
    op.Rect.Y1 = ParseOperationInt(f[1], "zoom Y1");
    op.Rect.X2 = ParseOperationInt(f[2], "zoom X2");
    op.Rect.Y2 = ParseOperationInt(f[3], "zoom Y2");
    return op;
}

std::string TZoomOp::Format() const
{
    return Join("zoom", {std::to_string(Rect.X1), std::to_string(Rect.Y1), std::to_string(Rect.X2),
                         std::to_string(Rect.Y2)});
}

bool TZoomOp::Do(const TQTVPicture& source, TQTVPicture& working) const { return ZoomCut(source, working, Rect); }

void TZoomOp::Apply(TImageDoc& doc) const
{
    TQTVPicture working;
    if (Do(doc.Picture, working)) ZoomTakeOver(doc.Picture, working);
}

bool TZoomOp::operator==(const TZoomOp& o) const
{
    return Rect.X1 == o.Rect.X1 && Rect.Y1 == o.Rect.Y1 && Rect.X2 == o.Rect.X2 && Rect.Y2 == o.Rect.Y2;
}

TDistortionOp TDistortionOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.size() != 4) throw EOperationError("distortion needs CX:DX:CY:DY");
    TDistortionOp op;
    op.CX = ParseOperationNumber(f[0], "distortion CX");
    op.DX = ParseOperationNumber(f[1], "distortion DX");
    op.CY = ParseOperationNumber(f[2], "distortion CY");
    op.DY = ParseOperationNumber(f[3], "distortion DY");
    return op;
}

std::string TDistortionOp::Format() const
{
    return Join("distortion", {ExactNumber(CX), ExactNumber(DX), ExactNumber(CY), ExactNumber(DY)});
}

void TDistortionOp::Do(const TQTVPicture& source, TQTVPicture& working) const
{
    CorrectDistortion(source, working, CX, DX, CY, DY);
}

void TDistortionOp::Apply(TImageDoc& doc) const
{
    if (const std::string fold = DistortionFoldText(CX, DX, CY, DY); !fold.empty()) {
        ShowMessage(fold);
        throw EAbort("distortion refused");
    }
    DoAndTakeOver(*this, doc);
}

bool TDistortionOp::operator==(const TDistortionOp& o) const
{
    return SameBits(CX, o.CX) && SameBits(DX, o.DX) && SameBits(CY, o.CY) && SameBits(DY, o.DY);
}

TSphereOp TSphereOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || f.empty()) throw EOperationError("sphere needs R or R:high");
    TSphereOp op;
    op.Radius = ParsePointNumber(f[0], "sphere R");
    size_t i = 1;
    if (i < f.size() && (f[i] == "high" || f[i] == "low")) op.Lowpass = f[i++] == "low";
    // ":switch" once per switch of the finished result between low- and highpass
    for (; i < f.size(); ++i) {
        if (f[i] != "switch") throw EOperationError("sphere: \"" + f[i] + "\" is neither low, high nor switch");
        ++op.Switches;
    }
    return op;
}

std::string TSphereOp::Format() const
{
    std::string out = "sphere:" + ExactNumber(Radius) + (Lowpass ? "" : ":high");
    for (int i = 0; i < Switches; ++i) out += ":switch";
    return out;
}

TSphereOutcome TSphereOp::Do(const TQTVPicture& source, TQTVPicture& working,
                             const std::function<bool(int32_t)>& progress) const
{
    const TSphereRadius accepted = AcceptSphereRadius(Radius, source);
    const TSphereOutcome outcome = SphereFilter(source, working, accepted.Radius, Lowpass, progress);
    if (outcome == TSphereOutcome::Done)
        for (int k = 0; k < Switches; ++k) SwitchSphereResult(source, working);
    return outcome;
}

void TSphereOp::Apply(TImageDoc& doc) const
{
    TQTVPicture& pic = doc.Picture;
    if (!pic.HasData()) return;
    TQTVPicture working;
    BeginWorkingCopy(pic, working);
    if (Do(pic, working) != TSphereOutcome::Done) throw EAbort("sphere filter failed");
    TakeOverWorkingCopy(working, pic, false, false);
}

bool TSphereOp::operator==(const TSphereOp& o) const
{
    return SameBits(Radius, o.Radius) && Lowpass == o.Lowpass && Switches == o.Switches;
}

// ---------------------------------------------------------------- two images, rescale

TArithOp TArithOp::Parse(const std::string& args, bool hasArgs)
{
    const size_t colon = args.find(':');
    if (!hasArgs || colon == std::string::npos) throw EOperationError("arith needs OP:OTHERFILE[:N] (OP one of + - * /)");
    const std::string op = args.substr(0, colon);
    if (op.size() != 1 || std::string(ArithmeticOperators).find(op[0]) == std::string::npos)
        throw EOperationError("arith: the operator must be one of + - * /, not \"" + op + "\"");
    TArithOp out;
    out.Op = op[0];
    out.File = args.substr(colon + 1);
    const size_t last = out.File.rfind(':');
    if (last != std::string::npos && last + 1 < out.File.size() &&
        out.File.find_first_not_of("0123456789", last + 1) == std::string::npos) {
        out.Channel = ParseOperationInt(out.File.substr(last + 1), "arith channel");
        out.File.resize(last);
        if (out.Channel < 1) throw EOperationError("arith: the channel counts from 1");
    }
    if (out.File.empty()) throw EOperationError("arith needs the file of the second image");
    return out;
}

std::string TArithOp::Format() const
{
    // the channel always written, so that a file name ending in ":N" reads back
    return Join("arith", {std::string(1, Op), File, std::to_string(Channel < 1 ? 1 : Channel)});
}

void TArithOp::Apply(TImageDoc& doc) const
{
    if (!OperandLoader()) {
        ShowMessage("No second image can be loaded here.");
        throw EAbort("no operand loader");
    }
    const std::unique_ptr<TImageDoc> other = OperandLoader()(File, Channel);
    if (!other) throw EAbort("second image not loaded");
    TQTVPicture result;
    if (!ComputeArithmetic(doc.Picture, other->Picture, std::string(1, Op), result)) throw EAbort("sizes differ");
    TakeArithmeticResult(result, doc.Picture.Para, doc.Picture);
}

// Numbers with "."; the rescale dialog's "OK".
TRescaleOp TRescaleOp::Parse(const std::string& args, bool hasArgs)
{
    const std::vector<std::string> f = SplitOperationArgs(args);
    if (!hasArgs || (f.size() != 3 && f.size() != 6))
        throw EOperationError("rescale needs XRANGE:YRANGE:ZRANGE or XRANGE:YRANGE:ZRANGE:XUNIT:YUNIT:ZUNIT");
    TRescaleOp op;
    op.Rescale.XRange = ParsePointNumber(f[0], "rescale XRANGE");
    op.Rescale.YRange = ParsePointNumber(f[1], "rescale YRANGE");
    op.Rescale.ZRange = ParsePointNumber(f[2], "rescale ZRANGE");
    op.Units = f.size() == 6;
    if (op.Units) {
        op.Rescale.XUnit = Utf8ToLatin1(f[3]);
        op.Rescale.YUnit = Utf8ToLatin1(f[4]);
        op.Rescale.ZUnit = Utf8ToLatin1(f[5]);
    }
    return op;
}

std::string TRescaleOp::Format() const
{
    const TRescale& r = Rescale;
    if (!Units) return Join("rescale", {ExactNumber(r.XRange), ExactNumber(r.YRange), ExactNumber(r.ZRange)});
    return Join("rescale", {ExactNumber(r.XRange), ExactNumber(r.YRange), ExactNumber(r.ZRange),
                            Latin1ToUtf8(r.XUnit), Latin1ToUtf8(r.YUnit), Latin1ToUtf8(r.ZUnit)});
}

void TRescaleOp::Apply(TImageDoc& doc) const
{
    TRescale r = Rescale;
    if (!Units) {
        r.XUnit = doc.Picture.Para.XPhysUnit;
        r.YUnit = doc.Picture.Para.YPhysUnit;
        r.ZUnit = doc.Picture.Para.PhysUnit;
    }
    if (!ApplyRescale(doc.Picture, r)) throw EAbort("rescale refused");
}

bool TRescaleOp::operator==(const TRescaleOp& o) const
{
    const TRescale &a = Rescale, &b = o.Rescale;
    return SameBits(a.XRange, b.XRange) && SameBits(a.YRange, b.YRange) && SameBits(a.ZRange, b.ZRange) &&
           Units == o.Units && (!Units || (a.XUnit == b.XUnit && a.YUnit == b.YUnit && a.ZUnit == b.ZUnit));
}

// ---------------------------------------------------------------- the table

void SetOperandLoader(TOperandLoader loader) { OperandLoader() = std::move(loader); }

namespace {

using TParser = TOperation (*)(const std::string& args, bool hasArgs);

template <class Op>
TOperation ParseAs(const std::string& args, bool hasArgs)
{
    return Op::Parse(args, hasArgs);
}

struct TEntry {
    TOperationDef Def;
    TParser Parse;
};

const std::vector<TEntry>& Entries()
{
    static const std::vector<TEntry> table = {
        {{"invert", "invert", "Negates every sample (Process > Inverse).", {}}, &ParseAs<TInvertOp>},
        {{"level", "level:METHOD:ORDER[:advanced][:band:LOW:HIGH...|:kept]",
          "Leveling (Process > Leveling): METHOD 2Dim, Lines or Cols, ORDER 0, 1 or 2; advanced: the ticked box; "
          "bands: fit only the samples strictly inside these (low, high) value bands; kept: fit the samples the "
          "previous leveling fitted; level:Points:1:X:ROW:X:ROW... levels through marked points.",
          {{"method", "text", "'2Dim'"},
           {"order", "int", "1"},
           {"advanced", "bool", "False", "advanced"},
           {"bands", "bands", "None", "band"},
           {"kept", "bool", "False", "kept"}}},
         &ParseAs<TLevelOp>},
        {{"clip", "clip:LOW:HIGH[:MIN:MAX]",
          "Clips the values to LOW..HIGH (Process > Histogram); the colour range stays fixed at MIN..MAX if given.",
          {{"low", "float"}, {"high", "float"}, {"fixed", "pair", "None"}}},
         &ParseAs<TClipOp>},
        {{"range", "range:MIN:MAX|auto",
          "Fixes the colour range to MIN..MAX; without them (auto) the range follows the values again.",
          {{"low", "float", "None"}, {"high", "float", "None"}},
          "auto"},
         &ParseAs<TRangeOp>},
        {{"filter", "filter:NAME",
          "One pass of a 3 x 3 kernel (Process > Simple Filter), NAME as the kernel list shows it.",
          {{"name", "text"}}},
         &ParseAs<TFilterOp>},
        {{"noise", "noise:PERCENT[:MIN:MAX]",
          "Bad-point removal (Process > Noise) with a threshold of PERCENT % of the z range, or of MIN..MAX if given.",
          {{"percent", "float"}, {"z_range", "pair", "None"}}},
         &ParseAs<TNoiseOp>},
        {{"median", "median", "3 x 3 median filter (Process > Median Filter).", {}}, &ParseAs<TMedianOp>},
        {{"mean", "mean", "3 x 3 mean filter (Process > Mean Filter).", {}}, &ParseAs<TMeanOp>},
        {{"fft", "fft[:log][:suppzero][:inverse]",
          "Magnitude spectrum of the lower-left power-of-two block (Process > FFT); inverse: the transform a second "
          "\"Do\" in one dialog runs.",
          {{"log", "bool", "False", "log"}, {"suppzero", "bool", "False", "suppzero"}, {"inverse", "bool", "False", "inverse"}}},
         &ParseAs<TFFTOp>},
        {{"zoom", "zoom:X1:Y1:X2:Y2",
          "Cuts out columns X1..X2-1 and picture lines Y1..Y2-1 (counted from the top), ranges scaled "
          "(Process > Zoom).",
          {{"x1", "int"}, {"y1", "int"}, {"x2", "int"}, {"y2", "int"}}},
         &ParseAs<TZoomOp>},
        {{"distortion", "distortion:CX:DX:CY:DY", "Distortion correction (Process > Distortion).",
          {{"cx", "float"}, {"dx", "float"}, {"cy", "float"}, {"dy", "float"}}},
         &ParseAs<TDistortionOp>},
        {{"sphere", "sphere:R[:low|:high][:switch...]",
          "Sphere filter of radius R in the lateral unit, lowpass or highpass (Process > Sphere); switches: how often "
          "the result was switched between low- and highpass afterwards.",
          {{"radius", "float"}, {"highpass", "bool", "False", "high"}, {"switches", "count", "0", "switch"}}},
         &ParseAs<TSphereOp>},
        {{"arith", "arith:OP:OTHERFILE[:N]",
          "The image OP (+ - * /) channel N of OTHERFILE, or of another image (Process > Arithmetic).",
          {{"op", "text"}, {"other", "file"}, {"channel", "int", "1"}}},
         &ParseAs<TArithOp>},
        {{"rescale", "rescale:XRANGE:YRANGE:ZRANGE[:XUNIT:YUNIT:ZUNIT]",
          "New scan ranges, z range and (optionally) units (Process > Rescale).",
          {{"x_range", "float"},
           {"y_range", "float"},
           {"z_range", "float"},
           {"x_unit", "text", "None"},
           {"y_unit", "text", "None"},
           {"z_unit", "text", "None"}}},
         &ParseAs<TRescaleOp>},
    };
    return table;
}

}  // namespace

const std::vector<TOperationDef>& OperationTable()
{
    static const std::vector<TOperationDef> defs = [] {
        std::vector<TOperationDef> out;
        for (const TEntry& e : Entries()) out.push_back(e.Def);
        return out;
    }();
    return defs;
}

TOperation ParseOperation(const std::string& text)
{
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    for (const TEntry& e : Entries())
        if (name == e.Def.Name)
            return e.Parse(colon == std::string::npos ? std::string() : text.substr(colon + 1),
                           colon != std::string::npos);
    throw EOperationError("unknown operation \"" + text + "\" (known: " + OperationSyntaxList() + ")");
}

std::string FormatOperation(const TOperation& op)
{
    return std::visit([](const auto& o) { return o.Format(); }, op);
}

std::string HistoryEntry(const TOperation& op) { return Utf8ToLatin1(FormatOperation(op)); }

void ApplyOperation(const TOperation& op, TImageDoc& doc)
{
    std::visit([&doc](const auto& o) { o.Apply(doc); }, op);
}

std::string OperationSyntaxList()
{
    std::string out;
    for (const TEntry& e : Entries()) {
        if (!out.empty()) out += ", ";
        out += e.Def.Syntax;
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

// ---------------------------------------------------------------- a dialog session

namespace {

// steps whose result depends only on the dialog's source: the last press replaces the one before
bool FromSource(const TOperation& op)
{
    return std::holds_alternative<TZoomOp>(op) || std::holds_alternative<TSphereOp>(op) ||
           std::holds_alternative<TMedianOp>(op) || std::holds_alternative<TMeanOp>(op) ||
           std::holds_alternative<TDistortionOp>(op) || std::holds_alternative<TClipOp>(op);
}

}  // namespace

void TDialogSession::SelectBands(TValueBands bands)
{
    bands_ = std::move(bands);
    bandsFresh_ = true;
}

TLevelOp TDialogSession::Level(TLevelOp op) const
{
    if (op.Method == static_cast<int32_t>(TLevelMethod::Points)) {
        op.Advanced = false;
        op.Fit = TLevelFitSet::All;
        op.Bands.clear();
        return op;
    }
    op.Points.clear();
    op.Fit = bandsFresh_ ? TLevelFitSet::Bands : levelFit_;
    op.Bands = op.Fit == TLevelFitSet::Bands ? bands_ : TValueBands();
    return op;
}

TNoiseOp TDialogSession::Noise(double percent, const TQTVPicture& source) const
{
    TNoiseOp op;
    op.Percent = percent;
    op.Given = presses_ > 0;
    if (op.Given) {
        op.Min = source.Min;
        op.Max = source.Max;
    }
    return op;
}

TFFTOp TDialogSession::FFT(bool log, bool suppZero) const { return {log, suppZero, presses_ % 2 == 1}; }

bool TDialogSession::Do(const TOperation& op, const TQTVPicture& source, TQTVPicture& working)
{
    bool done = true;
    std::visit(
        [&](const auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, TLevelOp> || std::is_same_v<T, TZoomOp>) {
                done = o.Do(source, working);
            } else if constexpr (std::is_same_v<T, TSphereOp>) {
                done = o.Do(source, working) == TSphereOutcome::Done;
            } else if constexpr (requires { o.Do(source, working); }) {
                o.Do(source, working);
            } else {
                done = false;  // no step of a processing dialog
            }
        },
        op);
    if (done) Record(op);
    return done;
}

void TDialogSession::Record(const TOperation& op)
{
    if (FromSource(op)) steps_.clear();
    if (const auto* level = std::get_if<TLevelOp>(&op); level && level->Method != static_cast<int32_t>(TLevelMethod::Points)) {
        if (level->Fit == TLevelFitSet::Bands) levelFit_ = TLevelFitSet::Kept;
        bandsFresh_ = false;
    }
    steps_.push_back(op);
    ++presses_;
}

void TDialogSession::SwitchSphere(const TQTVPicture& source, TQTVPicture& working)
{
    SwitchSphereResult(source, working);
    if (!steps_.empty())
        if (auto* sphere = std::get_if<TSphereOp>(&steps_.back())) ++sphere->Switches;
}

bool TDialogSession::NewScale() const
{
    for (const TOperation& op : steps_) {
        if (std::holds_alternative<TFFTOp>(op)) return true;
        if (const auto* f = std::get_if<TFilterOp>(&op); f && KernelChangesScale(f->Kernel)) return true;
    }
    return false;
}

void TDialogSession::Undo()
{
    steps_.clear();
    presses_ = 0;
    levelFit_ = TLevelFitSet::All;
    bands_.clear();
    bandsFresh_ = false;
}

std::vector<std::string> TDialogSession::TakeOverEntries(const TQTVPicture& source, const TQTVPicture& working,
                                                         bool histogram, bool zoomed) const
{
    std::vector<std::string> out;
    if (zoomed && steps_.empty()) {
        if (!source.HasData() || !working.HasData()) return out;
        // the whole picture taken over: only the scan ranges can change (by the last bit)
        const double x = source.Para.XScanRange / source.Cols * working.Cols;
        const double y = source.Para.YScanRange / source.Rows * working.Rows;
        if (SameBits(x, source.Para.XScanRange) && SameBits(y, source.Para.YScanRange)) return out;
        TZoomOp whole;
        whole.Rect.X2 = working.Cols;
        whole.Rect.Y2 = working.Rows;
        out.push_back(HistoryEntry(whole));
        return out;
    }
    if (!histogram) {
        for (const TOperation& op : steps_) out.push_back(HistoryEntry(op));
        // values on a new scale: a fixed colour range is let go
        if (NewScale() && source.FixedRange != 0) out.push_back(HistoryEntry(TRangeOp{}));
        return out;
    }
    // the histogram: the last clip, and the colour range as "Take Over" leaves it
    const bool fixed = working.FixedRange != 0;
    if (!steps_.empty()) {
        if (const auto* clip = std::get_if<TClipOp>(&steps_.back())) {
            TClipOp c = *clip;
            c.Fixed = fixed;
            c.Min = fixed ? working.Min : 0.0f;
            c.Max = fixed ? working.Max : 0.0f;
            out.push_back(HistoryEntry(c));
            return out;
        }
    }
    if (fixed) out.push_back(HistoryEntry(TRangeOp{true, working.Min, working.Max}));
    else if (source.FixedRange != 0) out.push_back(HistoryEntry(TRangeOp{}));
    return out;
}
