#pragma once
// The profile and its tables as text: the clipboard text, the fixed-width data file
// and the name rules and checks of saving it.
#include <string>
#include <vector>

#include "analysis/LineProfile.h"

// The 23-character scientific form of the data file: sign position (blank or "-"),
// one digit, the decimal separator, 14 digits (the last rounded half to even on the
// exact binary value), "E", the exponent's sign and 4 exponent digits.
// 1 -> " 1.00000000000000E+0000".
std::string FormatDat(double value);

// One line per sample: i * SampleStep, a tab, the height (and a tab and the second
// height), each line ended by CR LF. The clipboard text uses the shortest form, the
// data file the 23-character form.
std::string ProfileClipboardText(const TProfile& p);
std::string ProfileDatText(const TProfile& p);

// A two-column table: name, a tab, value, CR LF per row.
std::string TableText(const std::vector<std::string>& names, const std::vector<std::string>& values);

// A file name without "." in its name part gets ext (".dat", ".bmp", ".svg").
std::string WithDefaultExt(const std::string& path, const std::string& ext);

enum class TSaveResult { Saved, Exists, Failed };
// Writes bytes to path through a temporary file. An existing file is refused unless
// replace is set ("File exist! Save Canceled!", nothing written); a failed write
// shows "Save not complete!" and leaves any earlier file as it was.
TSaveResult SaveOutputFile(const std::string& path, const std::string& bytes, bool replace);
