#include "processing/Operations.h"

#include <charconv>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "processing/Histogram.h"
#include "processing/Invert.h"
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

}  // namespace

const std::vector<TOperationDef>& OperationTable()
{
    static const std::vector<TOperationDef> table = {
        {"invert", "invert", "negate every sample (Process > Inverse)", &ParseInvert},
        {"level", "level:METHOD:ORDER",
         "leveling (Process > Leveling): METHOD 2Dim, Lines or Cols, ORDER 0, 1 or 2", &ParseLevel},
        {"clip", "clip:LOW:HIGH", "clip the values to LOW..HIGH (Process > Histogram)", &ParseClip},
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
