#pragma once
// The operation table: every processing operation as one parameter struct with
//   Parse(args, hasArgs)  reads the text after "name:" (throws EOperationError),
//   Format()              the canonical text ("level:Lines:1"): shortest exact numbers;
//                         in the record's Latin-1 it is the history entry,
//   Do(source, working)   the dialog's "Do" on its working copy,
//   Apply(doc)            "Do" on a fresh working copy followed by "Take Over".
// The table lists each once with its name, syntax, parameters and description;
// morvane-cli, the Python module, the history replay and the processing dialog all go
// through it, so an operation is written once. TDialogSession holds the rules by which
// a dialog's presses become history entries.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/ImageDoc.h"
#include "processing/Arithmetic.h"
#include "processing/Fourier.h"
#include "processing/Geometry.h"
#include "processing/Leveling.h"
#include "processing/Sphere.h"

// An operation whose name is unknown, or whose parameters cannot be read. The text
// says why; front ends treat it as a usage error.
class EOperationError : public std::invalid_argument {
public:
    explicit EOperationError(const std::string& what) : std::invalid_argument(what) {}
};

// Which samples a leveling fits: all of them, those inside value bands (the
// histogram selection, open intervals), or the marks the previous leveling left.
enum class TLevelFitSet { All, Bands, Kept };
using TValueBands = std::vector<std::pair<double, double>>;

// ---------------------------------------------------------------- the operations

struct TInvertOp {
    static TInvertOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const { return "invert"; }
    void Apply(TImageDoc& doc) const;
    bool operator==(const TInvertOp&) const = default;
};

// level:METHOD:ORDER[:advanced][:band:LOW:HIGH...|:kept] or level:Points:1:X:ROW...
struct TLevelOp {
    int32_t Method = 1;  // TLevelMethod
    int32_t Order = 1;
    bool Advanced = false;
    TLevelFitSet Fit = TLevelFitSet::All;
    TValueBands Bands;                 // Fit == Bands
    std::vector<TMarkedPoint> Points;  // Method == Points
    static TLevelOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    // the marks of the fit set, then the leveling; false when it could not level
    bool Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TLevelOp& o) const;
};

// clip:LOW:HIGH[:MIN:MAX]: with MIN:MAX the colour range stays fixed there.
struct TClipOp {
    float Low = 0, High = 0;
    bool Fixed = false;
    float Min = 0, Max = 0;
    static TClipOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TClipOp& o) const;
};

// range:MIN:MAX fixes the colour range; range:auto lets it follow the values again.
struct TRangeOp {
    bool Fixed = false;
    float Min = 0, Max = 0;
    static TRangeOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TRangeOp& o) const;
};

struct TFilterOp {
    int Kernel = 0;  // index into KernelNames()
    static TFilterOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TFilterOp&) const = default;
};

// noise:PERCENT[:MIN:MAX]: the threshold is PERCENT % of the z range of the source, or
// of MIN..MAX when given.
struct TNoiseOp {
    double Percent = 0;
    bool Given = false;
    float Min = 0, Max = 0;
    static TNoiseOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TNoiseOp& o) const;
};

struct TMedianOp {
    static TMedianOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const { return "median"; }
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TMedianOp&) const = default;
};

struct TMeanOp {
    static TMeanOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const { return "mean"; }
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TMeanOp&) const = default;
};

// fft[:log][:suppzero][:inverse]; inverse: the working copy is in the transformed
// layout (every second "Do" of one dialog).
struct TFFTOp {
    bool Log = false, SuppZero = false, Inverse = false;
    static TFFTOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    // false: stopped by progress (working as it was; see FFTView)
    bool Do(const TQTVPicture& source, TQTVPicture& working, const TRunProgress& progress = {}) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TFFTOp&) const = default;
};

// zoom:X1:Y1:X2:Y2 in picture pixels (y lines from the top).
struct TZoomOp {
    TZoomRect Rect;
    static TZoomOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    // false when the rectangle holds no pixel
    bool Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TZoomOp& o) const;
};

struct TDistortionOp {
    double CX = 0, DX = 0, CY = 0, DY = 0;
    static TDistortionOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Do(const TQTVPicture& source, TQTVPicture& working) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TDistortionOp& o) const;
};

// sphere:R[:low|:high][:switch...]; R in the lateral unit, cut back as the radius
// field does; Switches: how often the finished result was switched.
struct TSphereOp {
    double Radius = 0;
    bool Lowpass = true;
    int Switches = 0;
    static TSphereOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    // the filter (progress as SphereFilter takes it), then the switches
    TSphereOutcome Do(const TQTVPicture& source, TQTVPicture& working,
                      const std::function<bool(int32_t)>& progress = {}) const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TSphereOp& o) const;
};

// arith:OP:OTHERFILE[:N]: the image OP channel N of OTHERFILE (file name bytes as given).
struct TArithOp {
    char Op = '+';
    std::string File;
    int Channel = 1;
    static TArithOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TArithOp&) const = default;
};

// rescale:XRANGE:YRANGE:ZRANGE[:XUNIT:YUNIT:ZUNIT]; units held in Latin-1.
struct TRescaleOp {
    TRescale Rescale;
    bool Units = false;  // without them the image keeps its own
    static TRescaleOp Parse(const std::string& args, bool hasArgs);
    std::string Format() const;
    void Apply(TImageDoc& doc) const;
    bool operator==(const TRescaleOp& o) const;
};

using TOperation = std::variant<TInvertOp, TLevelOp, TClipOp, TRangeOp, TFilterOp, TNoiseOp, TMedianOp, TMeanOp,
                                TFFTOp, TZoomOp, TDistortionOp, TSphereOp, TArithOp, TRescaleOp>;

// ---------------------------------------------------------------- the table

// One parameter as the Python functions take it. Type: text, int, float (one field
// each, left out when None); bool (":WORD" when true); count (":WORD" that many
// times); pair (two numbers, left out when None); bands (":WORD" and LOW:HIGH for
// each); file (a file name or another image).
struct TOperationParam {
    const char* Name;
    const char* Type;
    const char* Default = nullptr;  // Python literal; nullptr: required
    const char* Word = nullptr;
};

struct TOperationDef {
    const char* Name;         // text before the first ':'
    const char* Syntax;       // "level:METHOD:ORDER..."
    const char* Description;  // one line
    std::vector<TOperationParam> Params;
    // The text after "Name:" when no parameter writes a field ("auto" for range); nullptr:
    // the bare name.
    const char* Bare = nullptr;
};

const std::vector<TOperationDef>& OperationTable();

// Reads one operation text (UTF-8, as a command line gives it); throws
// EOperationError naming an unknown operation or why its parameters cannot be read.
TOperation ParseOperation(const std::string& text);
// The canonical text (UTF-8): ParseOperation(FormatOperation(op)) == op.
std::string FormatOperation(const TOperation& op);
// The history entry of op: its canonical text in the record's Latin-1.
std::string HistoryEntry(const TOperation& op);
// Runs op on doc as "Do" then "Take Over" would; EAbort when refused (told already).
void ApplyOperation(const TOperation& op, TImageDoc& doc);
// "invert, level:METHOD:ORDER, ..." for usage messages.
std::string OperationSyntaxList();

// Operations that take a second image (arith) load it through this: channel
// (1-based) of the file at path, or null when it cannot be had (the reason already
// shown). The front end installs it; without one such operations refuse to run.
using TOperandLoader = std::function<std::unique_ptr<TImageDoc>(const std::string& path, int channel)>;
void SetOperandLoader(TOperandLoader loader);

// Helpers for parse steps.
std::vector<std::string> SplitOperationArgs(const std::string& args);
// A real number in "." or "," notation (StrToFloatTolerant); throws EOperationError
// "WHAT: 'TEXT' is not a number" otherwise.
double ParseOperationNumber(const std::string& text, const std::string& what);
// A decimal integer; throws EOperationError otherwise.
int ParseOperationInt(const std::string& text, const std::string& what);
// The shortest text that the operation parser reads back as exactly v.
std::string ExactNumber(double v);
std::string ExactNumber(float v);

// ---------------------------------------------------------------- a dialog session

// What one processing dialog records: the "Do" presses since it opened or since the
// last "Undo". A step whose result depends only on the dialog's source (zoom, sphere,
// median, mean, distortion, clip) replaces the previous one; the others (kernels,
// leveling, FFT, bad points) compound. The session completes a tool's struct with
// what depends on the presses before it, and "Take Over" hands over its entries.
class TDialogSession {
public:
    // The histogram selection changed: the next leveling fits these value bands, the
    // ones after it the marks that leveling left.
    void SelectBands(TValueBands bands);
    // op with its fit set as the selection made so far decides
    TLevelOp Level(TLevelOp op) const;
    // the first press measures the source's z range, later ones write it out
    TNoiseOp Noise(double percent, const TQTVPicture& source) const;
    // every second press transforms back
    TFFTOp FFT(bool log, bool suppZero) const;

    // Runs op's "Do" on working and records it. False (nothing recorded) when the
    // operation could not run (a zoom of no pixel, a leveling that failed).
    bool Do(const TOperation& op, const TQTVPicture& source, TQTVPicture& working);
    // Records a "Do" that the tool ran itself (the sphere filter with its progress).
    void Record(const TOperation& op);
    // Switches a finished sphere result between low- and highpass, recorded in its entry.
    void SwitchSphere(const TQTVPicture& source, TQTVPicture& working);
    void Undo();

    int Presses() const { return presses_; }
    const std::vector<TOperation>& Steps() const { return steps_; }
    // The steps put the values on a new scale (a spectrum, a kernel whose coefficients
    // do not add up to 1): "Take Over" lets the image's colour range follow them.
    bool NewScale() const;
    // The entries "Take Over" appends to the history. histogram: the last clip and the
    // colour range as Take Over leaves it; zoomed: a zoom without a press records the
    // whole picture where the scan ranges change.
    std::vector<std::string> TakeOverEntries(const TQTVPicture& source, const TQTVPicture& working, bool histogram,
                                             bool zoomed) const;

private:
    std::vector<TOperation> steps_;
    int presses_ = 0;
    TLevelFitSet levelFit_ = TLevelFitSet::All;
    TValueBands bands_;
    bool bandsFresh_ = false;
};
