#pragma once
// The working palette (256 entries of red, green, blue: 768 bytes in one block) and
// its three file formats:
//   JASC  "JASC-PAL", "0100", "256", then one "r g b" line per entry, lines ended by
//         CR LF;
//   text  the 256 entry lines alone;
//   binary the 768 bytes as they are.
#include <array>
#include <cstdint>
#include <istream>
#include <string>

#include "core/Picture.h"

constexpr int PaletteEntries = 256;
constexpr int PaletteBytes = 3 * PaletteEntries;  // 768

// Entry i is bytes 3i (red), 3i + 1 (green), 3i + 2 (blue).
using TColours = std::array<uint8_t, PaletteBytes>;

enum class TPaletteKind : uint8_t { None = 0, Jasc = 1, Text = 2, Binary = 3 };

// The kind a file name stands for, by its extension whatever its case: ".pal" JASC,
// ".txt" text, anything else (or none) binary.
TPaletteKind PaletteKindOfName(const std::string& path);
// The extension (without the dot) a file of this kind gets when its name has none:
// "pal", "txt", "bin".
std::string PaletteExtension(TPaletteKind kind);

// The red, green and blue bytes of an image palette, and back (flags untouched).
TColours ColoursOf(const TLogPalette& palette);
void ApplyColours(const TColours& colours, TLogPalette& palette);
// The colours of the built-in palette every new image starts with.
TColours DefaultColours();

// What reading a palette did. Entries before a failure keep their new colours.
struct TPaletteRead {
    int Entries = 0;       // entry lines (or binary entries) taken into the palette
    bool Failed = false;   // an entry line could not be read; reading stopped there
    int FailedLine = 0;    // its line number in the file, 1-based
    std::string Failure;   // why ("'x' is not a valid integer value")
};

// Reads one entry line into entry `entry`: red is the text before the first blank
// (empty in a line without one), green the text up to the second blank, blue the rest
// (empty counts as 0); each a
// decimal integer, stored modulo 256. Throws EConvertError for a part that is not one.
void ReadEntryLine(const std::string& line, TColours& colours, int entry);

// Reads a palette of `kind` from the stream into colours, which keep what is not
// read. JASC header lines that do not match show "Keine JASC-Palette.", "Falsche
// Version." or "Keine 256-Farben-Palette." (information) and reading goes on. At most
// 256 entries are read; a last line without its line end counts. A binary stream
// shorter than 768 bytes changes nothing; a longer one gives its first 768 bytes.
// Lines end with CR LF, LF or a lone CR.
TPaletteRead ReadPalette(std::istream& in, TPaletteKind kind, TColours& colours);
// The same from a file. Throws EInOutError when the file cannot be opened or read.
TPaletteRead ReadPaletteFile(const std::string& path, TPaletteKind kind, TColours& colours);

// The file bytes of a palette in kind (JASC, text or binary).
std::string BuildPalette(const TColours& colours, TPaletteKind kind);
// Writes them through a temporary file (an existing file is replaced only when the
// new one is complete). Throws EInOutError.
void WritePaletteFile(const std::string& path, const TColours& colours, TPaletteKind kind);
