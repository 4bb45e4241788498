#include "processing/Operations.h"

#include <charconv>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "processing/Invert.h"

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

}  // namespace

const std::vector<TOperationDef>& OperationTable()
{
    static const std::vector<TOperationDef> table = {
        {"invert", "invert", "negate every sample (Process > Inverse)", &ParseInvert},
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
