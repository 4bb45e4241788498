#include "processing/History.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "processing/Kernels.h"
#include "processing/Operations.h"

// ---------------------------------------------------------------- numbers

namespace {

template <class T>
bool ReadsBackAs(const std::string& text, T v)
{
    try {
        const T back = static_cast<T>(ParseOperationNumber(text, "number"));
        return std::memcmp(&back, &v, sizeof(T)) == 0;
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

// out + ":" + field (appended piece by piece)
void Field(std::string& out, const std::string& field)
{
    out.push_back(':');
    out.append(field);
}

std::string Join(const std::vector<std::string>& fields)
{
    std::string out;
    for (size_t i = 0; i < fields.size(); ++i) out += (i ? ":" : "") + fields[i];
    return out;
}

}  // namespace

std::string ExactNumber(double v) { return Exact(v, 17); }
std::string ExactNumber(float v) { return Exact(v, 9); }

// ---------------------------------------------------------------- entries

std::string LevelEntry(int32_t method, int32_t order, bool advanced, TLevelFitSet fit, const TValueBands& bands)
{
    const auto& names = LevelMethodNames();
    const std::string m = method >= 0 && method < static_cast<int32_t>(names.size())
                              ? names[static_cast<size_t>(method)]
                              : std::to_string(method);
    std::string out = "level:" + m;
    Field(out, std::to_string(order));
    if (advanced) out += ":advanced";
    if (fit == TLevelFitSet::Kept) out += ":kept";
    if (fit == TLevelFitSet::Bands) {
        out += ":band";
        for (const auto& [lo, hi] : bands) {
            Field(out, ExactNumber(lo));
            Field(out, ExactNumber(hi));
        }
    }
    return out;
}

std::string LevelPointsEntry(const std::vector<TMarkedPoint>& points)
{
    std::string out = "level:Points:1";
    for (const TMarkedPoint& p : points) {
        Field(out, std::to_string(p.X));
        Field(out, std::to_string(p.Row));
    }
    return out;
}

std::string FilterEntry(int kernel)
{
    const auto& names = KernelNames();
    return "filter:" + (kernel >= 0 && kernel < static_cast<int>(names.size()) ? names[static_cast<size_t>(kernel)]
                                                                               : std::to_string(kernel));
}

std::string NoiseEntry(double percent, bool first, float min, float max)
{
    std::string out = "noise:" + ExactNumber(percent);
    if (!first) {
        Field(out, ExactNumber(min));
        Field(out, ExactNumber(max));
    }
    return out;
}

std::string FFTEntry(bool log, bool suppZero, bool inverse)
{
    std::string out = "fft";
    if (log) out += ":log";
    if (suppZero) out += ":suppzero";
    if (inverse) out += ":inverse";
    return out;
}

std::string ClipEntry(float low, float high, bool fixed, float min, float max)
{
    std::vector<std::string> f = {"clip", ExactNumber(low), ExactNumber(high)};
    if (fixed) {
        f.push_back(ExactNumber(min));
        f.push_back(ExactNumber(max));
    }
    return Join(f);
}

std::string RangeEntry(bool fixed, float min, float max)
{
    return fixed ? Join({"range", ExactNumber(min), ExactNumber(max)}) : std::string("range:auto");
}

std::string ZoomEntry(const TZoomRect& r)
{
    return Join({"zoom", std::to_string(r.X1), std::to_string(r.Y1), std::to_string(r.X2), std::to_string(r.Y2)});
}

std::string DistortionEntry(double cx, double dx, double cy, double dy)
{
    return Join({"distortion", ExactNumber(cx), ExactNumber(dx), ExactNumber(cy), ExactNumber(dy)});
}

std::string SphereEntry(double radius, bool lowpass, int switches)
{
    std::string out = "sphere:" + ExactNumber(radius) + (lowpass ? "" : ":high");
    for (int i = 0; i < switches; ++i) out += ":switch";
    return out;
}

std::string ArithEntry(const std::string& op, const std::string& file, int channel)
{
    return Join({"arith", op, file, std::to_string(channel < 1 ? 1 : channel)});
}

namespace {

constexpr const char* NoteMark = "# ";
constexpr const char* NoteMiddle = " cannot be replayed: ";

// The text of an unreplayable note split into step and reason; false for other entries.
bool ReadNote(const std::string& entry, std::string& step, std::string& why)
{
    if (entry.rfind(NoteMark, 0) != 0) return false;
    const size_t mid = entry.find(NoteMiddle);
    if (mid == std::string::npos) {
        step = entry.substr(2);
        why.clear();
        return true;
    }
    step = entry.substr(2, mid - 2);
    why = entry.substr(mid + std::strlen(NoteMiddle));
    return true;
}

}  // namespace

std::string UnreplayableEntry(const std::string& step, const std::string& why)
{
    return NoteMark + step + NoteMiddle + why;
}

std::string ArithStepEntry(const std::string& op, const TImageDoc& second)
{
    const std::string file = second.SourcePath.empty() ? second.FileName : second.SourcePath;
    const int channel = second.SourcePath.empty() ? 1 : second.SourceChannel;
    const std::string step = ArithEntry(op, file, channel);
    const std::string name = "the second image \"" + (second.Title.empty() ? second.FileName : second.Title) + "\"";
    if (op.empty()) return UnreplayableEntry(step, "no operator was chosen");
    if (second.SourcePath.empty()) return UnreplayableEntry(step, name + " was not read from a file");
    std::vector<std::string> since;
    for (size_t i = std::min(second.HistoryInFile, second.History.size()); i < second.History.size(); ++i)
        if (second.History[i].rfind("range:", 0) != 0) since.push_back(second.History[i]);
    if (since.empty()) return step;
    std::string list;
    for (const std::string& e : since) list += (list.empty() ? "" : ", ") + e;
    return UnreplayableEntry(step, name + " was processed after it was read from " + second.SourcePath + " (" +
                                       list + "), and the file holds it unprocessed");
}

std::vector<std::string> ReplayProblems(const std::vector<std::string>& history)
{
    std::vector<std::string> out;
    for (size_t i = 0; i < history.size(); ++i) {
        std::string step, why;
        if (!ReadNote(history[i], step, why)) {
            step = history[i];
            try {
                ParseOperation(step);
                continue;
            } catch (const EOperationError& e) {
                why = e.what();
            }
        }
        out.push_back("Step " + std::to_string(i + 1) + " (" + step + ") cannot be replayed: " + why);
    }
    return out;
}

std::string ReplayProblemsMessage(const std::vector<std::string>& history, std::vector<std::string>& names)
{
    const std::vector<std::string> problems = ReplayProblems(history);
    names.clear();
    if (problems.empty()) return {};
    // arith:OP:FILE:N: the file between the operator and the channel
    for (const std::string& entry : history) {
        std::string step, why;
        if (!ReadNote(entry, step, why) || step.rfind("arith:", 0) != 0) continue;
        const size_t op = step.find(':', 6), last = step.rfind(':');
        if (op != std::string::npos && last > op) names.push_back(step.substr(op + 1, last - op - 1));
    }
    std::string text;
    for (const std::string& p : problems) text += p + ".\n";
    return text + "The script names " + (problems.size() == 1 ? "this step" : "these steps") +
           " and stops before computing anything else.";
}

std::string RescaleEntry(const TRescale& rs)
{
    return Join({"rescale", ExactNumber(rs.XRange), ExactNumber(rs.YRange), ExactNumber(rs.ZRange), rs.XUnit,
                 rs.YUnit, rs.ZUnit});
}

void TDialogHistory::Do(const std::string& entry, bool fromSource)
{
    if (fromSource) entries_.clear();
    entries_.push_back(entry);
    ++presses_;
}

void TDialogHistory::ReplaceLast(const std::string& entry)
{
    if (entries_.empty()) entries_.push_back(entry);
    else entries_.back() = entry;
}

void TDialogHistory::Undo()
{
    entries_.clear();
    presses_ = 0;
}

// ---------------------------------------------------------------- files and scripts

namespace {

std::string ShellQuoted(const std::string& s)
{
    std::string out = "'";
    for (const char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A comment line's text: no line breaks.
std::string CommentText(const std::string& latin1)
{
    std::string out;
    for (const char c : HistoryLatin1ToUtf8(latin1)) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    return out;
}

}  // namespace

std::string HistoryLatin1ToUtf8(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (b >> 6)));
            out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return out;
}

std::string HistoryUtf8ToLatin1(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b == 0xC2 || b == 0xC3) && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
            out.push_back(static_cast<char>(((b & 0x03) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F)));
            ++i;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

std::string ProcessingScript(const TImageDoc& doc)
{
    std::string s = "#!/bin/sh\n";
    s += "# Processing of \"" + CommentText(doc.Title.empty() ? doc.FileName : doc.Title) +
         "\", recorded by Morvane: every step in order.\n";
    if (!doc.SourcePath.empty())
        s += "# The image was read from " + CommentText(doc.SourcePath) +
             (doc.SourceChannel > 0 ? ", channel " + std::to_string(doc.SourceChannel) : std::string()) + ".\n";
    s += "# Usage: sh SCRIPT IN OUT [morvane-cli options, e.g. --channel 2 --data sin]\n";
    s += "# MORVANE_CLI names the program when it is not on the PATH.\n";
    s += "set -e\n";
    s += "if [ $# -lt 2 ]; then\n  echo \"usage: $0 IN OUT [morvane-cli options]\" >&2\n  exit 2\nfi\n";
    s += "IN=$1\nOUT=$2\nshift 2\n";
    const std::vector<std::string> problems = ReplayProblems(doc.History);
    if (!problems.empty()) {
        for (const std::string& p : problems) s += "# " + CommentText(p) + ".\n";
        s += "# Mend or remove these steps, then delete the two lines below.\n";
        s += "echo \"$0: the processing cannot be replayed: " + std::to_string(problems.size()) +
             (problems.size() == 1 ? " step is" : " steps are") + " named at the top of this script\" >&2\n";
        s += "exit 1\n";
    }
    if (doc.History.empty()) {
        s += "# no processing: the image as read\n";
        s += "exec \"${MORVANE_CLI:-morvane-cli}\" convert \"$IN\" \"$OUT\" \"$@\"\n";
        return s;
    }
    s += "exec \"${MORVANE_CLI:-morvane-cli}\" process \"$IN\" \"$OUT\" \\\n";
    for (const std::string& entry : doc.History) {
        std::string step, why;
        if (ReadNote(entry, step, why)) continue;  // named at the top
        s += "  --op " + ShellQuoted(HistoryLatin1ToUtf8(entry)) + " \\\n";
    }
    s += "  \"$@\"\n";
    return s;
}

std::vector<std::string> ProcessingBlock(const std::vector<std::string>& history)
{
    std::vector<std::string> out;
    if (history.empty()) return out;
    out.push_back("Processing");
    for (size_t i = 0; i < history.size(); ++i) out.push_back(std::to_string(i + 1) + "  " + history[i]);
    return out;
}
