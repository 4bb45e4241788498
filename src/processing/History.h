#pragma once
// The processing history of an image: every step that changed its samples, range or
// geometry, written as a morvane-cli process operation ("level:Lines:1",
// "filter:LowPass 1", "zoom:10:12:74:76") with every parameter the result depends on,
// so that replaying the list on the original file gives the same samples bit for bit.
// How a parameter file holds them: formats/HistoryLines.h.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/ImageDoc.h"
#include "processing/Arithmetic.h"
#include "processing/Geometry.h"
#include "processing/Leveling.h"

// ---------------------------------------------------------------- numbers

// The shortest text that the operation parser reads back as exactly v.
std::string ExactNumber(double v);
std::string ExactNumber(float v);

// ---------------------------------------------------------------- entries

// Which samples a leveling fits: all of them, those inside value bands (the
// histogram selection, open intervals), or the marks the previous entry left.
enum class TLevelFitSet { All, Bands, Kept };

using TValueBands = std::vector<std::pair<double, double>>;

std::string LevelEntry(int32_t method, int32_t order, bool advanced, TLevelFitSet fit = TLevelFitSet::All,
                       const TValueBands& bands = {});
std::string LevelPointsEntry(const std::vector<TMarkedPoint>& points);
std::string FilterEntry(int kernel);
// first: the first press since the dialog opened (or since "Undo"); later presses
// take the threshold from the range the dialog started with, written out.
std::string NoiseEntry(double percent, bool first, float min, float max);
std::string FFTEntry(bool log, bool suppZero, bool inverse);
// The histogram clip; fixed: the colour range stays MIN..MAX afterwards.
std::string ClipEntry(float low, float high, bool fixed, float min, float max);
// The colour range fixed to MIN..MAX, or (fixed false) following the values again.
std::string RangeEntry(bool fixed, float min, float max);
std::string ZoomEntry(const TZoomRect& rect);
std::string DistortionEntry(double cx, double dx, double cy, double dy);
// switches: how often the finished result was switched between low- and highpass.
std::string SphereEntry(double radius, bool lowpass, int switches);
std::string ArithEntry(const std::string& op, const std::string& file, int channel);
// A step kept in the history although no replay can compute it again:
// "# " + step + " cannot be replayed: " + why. Replays refuse it ("#" begins no
// operation); the exported script names it.
std::string UnreplayableEntry(const std::string& step, const std::string& why);
// The arithmetic step of a result whose second operand is the image second:
// ArithEntry naming its file and channel, or an unreplayable note when a replay would
// compute something else or nothing: no operator, an image not read from a file, or
// one processed after it was read (its samples are no longer what the file holds;
// steps that only set the colour range do not count).
std::string ArithStepEntry(const std::string& op, const TImageDoc& second);
std::string RescaleEntry(const TRescale& rescale);

// The entries of one processing dialog: "Do" presses since it opened or since the
// last "Undo". A step whose result depends only on the dialog's source (zoom, sphere,
// median, ...) replaces the previous one; the others (kernels, leveling, FFT, bad
// points) compound. "Take Over" hands over Entries(); "Cancel" drops them.
class TDialogHistory {
public:
    void Do(const std::string& entry, bool fromSource);
    void ReplaceLast(const std::string& entry);
    void Undo();
    int Presses() const { return presses_; }
    const std::vector<std::string>& Entries() const { return entries_; }

private:
    std::vector<std::string> entries_;
    int presses_ = 0;
};

// ---------------------------------------------------------------- files and scripts

// A shell script that replays doc's history: morvane-cli process IN OUT with one --op
// per entry (UTF-8); further arguments go to morvane-cli (--channel 2, --data sin).
// Steps that cannot be replayed are named in comment lines at the top, left out of
// the call, and the script stops with that reason instead of computing something else.
std::string ProcessingScript(const TImageDoc& doc);

// The steps of a history that a replay cannot compute, each as
// "Step N (STEP) cannot be replayed: WHY": the unreplayable notes and the entries the
// operation table cannot read. Empty when the whole history replays.
std::vector<std::string> ReplayProblems(const std::vector<std::string>& history);
// What the export says in its message box about those steps; empty without any. names
// gets the files the steps quote (the second images of arithmetic steps), as the file
// system spells them.
std::string ReplayProblemsMessage(const std::vector<std::string>& history, std::vector<std::string>& names);

// The scan-information page's block: "Processing" and one numbered line per entry;
// empty without history.
std::vector<std::string> ProcessingBlock(const std::vector<std::string>& history);

// Latin-1 <-> UTF-8 for entries that leave the program (scripts, command lines).
std::string HistoryLatin1ToUtf8(const std::string& text);
std::string HistoryUtf8ToLatin1(const std::string& text);
