#pragma once
// The operation table: every processing operation by its text ("invert",
// "level:Lines:2", "clip:-1:2.5", "filter:Laplace 2"), with a parse step that reads
// the parameters and an apply step that runs the operation on an image as "Do"
// followed by "Take Over" would. morvane-cli process goes through it (and later the
// processing history and the Python module), so an operation is written once.
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/ImageDoc.h"

// An operation whose name is unknown, or whose parameters cannot be read. The text
// says why; front ends treat it as a usage error.
class EOperationError : public std::invalid_argument {
public:
    explicit EOperationError(const std::string& what) : std::invalid_argument(what) {}
};

// A parsed operation, ready to run on any number of images.
using TOperationApply = std::function<void(TImageDoc&)>;

struct TOperationDef {
    const char* Name;    // text before the first ':'
    const char* Syntax;  // "level:METHOD:ORDER"
    const char* Help;    // one line for usage texts
    // Reads the parameters: the text after "Name:" (HasArgs false when there is no
    // ':' at all). Throws EOperationError with the reason when they cannot be read.
    TOperationApply (*Parse)(const std::string& args, bool hasArgs);
};

const std::vector<TOperationDef>& OperationTable();
// Parses one operation text; throws EOperationError naming an unknown operation or
// giving the reason its parameters cannot be read.
TOperationApply ParseOperation(const std::string& text);
// "invert, level:METHOD:ORDER, ..." for usage messages.
std::string OperationSyntaxList();

// Operations that take a second image (arith) load it through this: channel
// (1-based) of the file at path, or null when it cannot be had (the reason already
// shown). The front end installs it; without one such operations refuse to run.
using TOperandLoader = std::function<std::unique_ptr<TImageDoc>(const std::string& path, int channel)>;
void SetOperandLoader(TOperandLoader loader);

// Helpers for parse steps.
// Splits args at every ':' (an empty args gives one empty field).
std::vector<std::string> SplitOperationArgs(const std::string& args);
// A real number in "." or "," notation (StrToFloatTolerant); throws EOperationError
// "WHAT: 'TEXT' is not a number" otherwise.
double ParseOperationNumber(const std::string& text, const std::string& what);
// A decimal integer; throws EOperationError otherwise.
int ParseOperationInt(const std::string& text, const std::string& what);
