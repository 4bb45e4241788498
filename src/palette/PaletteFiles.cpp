#include "palette/PaletteFiles.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "core/Errors.h"
#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/Export.h"
#include "core/Files.h"
#include "core/Text.h"

#include <sys/stat.h>

namespace {

// A line longer than this is not a palette entry of any sensible file; it is refused
// rather than taken into memory whole.
constexpr size_t MaxLineLength = 1 << 20;

// The next line of the stream without its end (CR LF, LF or a lone CR). False at the
// end of the stream (nothing left to read). tooLong: the line was cut after
// MaxLineLength characters (the rest of it is skipped).
bool NextLine(std::istream& in, std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* buf = in.rdbuf();
    using traits = std::char_traits<char>;
    int c = buf->sgetc();
    if (traits::eq_int_type(c, traits::eof())) return false;
    while (!traits::eq_int_type(c, traits::eof())) {
        buf->sbumpc();
        const char ch = traits::to_char_type(c);
        if (ch == '\n') break;
        if (ch == '\r') {
            if (traits::eq_int_type(buf->sgetc(), traits::to_int_type('\n'))) buf->sbumpc();
            break;
        }
        if (line.size() < MaxLineLength)
            line.push_back(ch);
        else
            tooLong = true;
        c = buf->sgetc();
    }
    return true;
}

uint8_t ReadPart(const std::string& text) {
    int v = 0;
    if (!TryStrToInt(text, v)) {
        // the message quotes the part; a zero byte would end it early
        std::string shown = text;
        for (char& c : shown)
            if (c == '\0') c = '?';
        throw EConvertError("'" + shown + "' is not a valid integer value");
    }
    return static_cast<uint8_t>(static_cast<unsigned>(v) & 0xFFu);
}

}  // namespace

TPaletteKind PaletteKindOfName(const std::string& path) {
    const std::string ext = LowerAscii(ExtractFileExt(path));
    if (ext == ".pal") return TPaletteKind::Jasc;
    if (ext == ".txt") return TPaletteKind::Text;
    return TPaletteKind::Binary;
}

std::string PaletteExtension(TPaletteKind kind) {
    switch (kind) {
    case TPaletteKind::Jasc: return "pal";
    case TPaletteKind::Text: return "txt";
    case TPaletteKind::Binary: return "bin";
    case TPaletteKind::None: break;
    }
    return "pal";
}

TColours ColoursOf(const TLogPalette& palette) {
    TColours c{};
    for (int i = 0; i < PaletteEntries; ++i) {
        const TPaletteEntry& e = palette.Entries[static_cast<size_t>(i)];
        c[static_cast<size_t>(3 * i)] = e.Red;
        c[static_cast<size_t>(3 * i + 1)] = e.Green;
        c[static_cast<size_t>(3 * i + 2)] = e.Blue;
    }
    return c;
}

void ApplyColours(const TColours& colours, TLogPalette& palette) {
    for (int i = 0; i < PaletteEntries; ++i) {
        TPaletteEntry& e = palette.Entries[static_cast<size_t>(i)];
        e.Red = colours[static_cast<size_t>(3 * i)];
        e.Green = colours[static_cast<size_t>(3 * i + 1)];
        e.Blue = colours[static_cast<size_t>(3 * i + 2)];
    }
}

TColours DefaultColours() {
    TQTVPicture fresh;
    return ColoursOf(fresh.Palette);
}

void ReadEntryLine(const std::string& line, TColours& colours, int entry) {
    if (entry < 0 || entry >= PaletteEntries) throw ERangeError();
    // red ends at the first blank; a line without one has an empty red part
    const size_t first = line.find(' ');
    const std::string red = first == std::string::npos ? std::string() : line.substr(0, first);
    std::string green, blue;
    if (first != std::string::npos) {
        const size_t second = line.find(' ', first + 1);
        green = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
        if (second != std::string::npos) blue = line.substr(second + 1);
    }
    if (blue.empty()) blue = "0";
    // all three parts are converted before the entry changes
    const uint8_t r = ReadPart(red), g = ReadPart(green), b = ReadPart(blue);
    const size_t at = static_cast<size_t>(3 * entry);
    colours[at] = r;
    colours[at + 1] = g;
    colours[at + 2] = b;
}

TPaletteRead ReadPalette(std::istream& in, TPaletteKind kind, TColours& colours) {
    TPaletteRead result;
    if (kind == TPaletteKind::Binary || kind == TPaletteKind::None) {
        TColours block{};
        in.read(reinterpret_cast<char*>(block.data()), PaletteBytes);
        if (in.gcount() == PaletteBytes) {
            colours = block;
            result.Entries = PaletteEntries;
        }
        return result;
    }

    std::string line;
    bool tooLong = false;
    int lineNo = 0;
    if (kind == TPaletteKind::Jasc) {
        const char* expected[3] = {"JASC-PAL", "0100", "256"};
        const char* complaint[3] = {"Keine JASC-Palette.", "Falsche Version.", "Keine 256-Farben-Palette."};
        for (int k = 0; k < 3; ++k) {
            if (!NextLine(in, line, tooLong)) line.clear();  // past the end: an empty line
            ++lineNo;
            if (tooLong || line != expected[k]) ShowMessage(complaint[k], TMsgKind::Information);
        }
    }
    while (result.Entries < PaletteEntries && NextLine(in, line, tooLong)) {
        ++lineNo;
        try {
            if (tooLong)
                throw EConvertError("Line " + IntToStr(lineNo) + " of the palette file is too long");
            ReadEntryLine(line, colours, result.Entries);
        } catch (const EConvertError& e) {
            result.Failed = true;
            result.FailedLine = lineNo;
            result.Failure = e.what();
            return result;
        }
        ++result.Entries;
    }
    return result;
}

TPaletteRead ReadPaletteFile(const std::string& path, TPaletteKind kind, TColours& colours) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) throw EInOutError("Cannot open file " + path + ": " + std::strerror(errno), path);
    if (S_ISDIR(st.st_mode)) throw EInOutError("Cannot open file " + path + ": " + std::strerror(EISDIR), path);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EInOutError("Cannot open file " + path + ": " + std::strerror(errno), path);
    TPaletteRead result = ReadPalette(in, kind, colours);
    if (in.bad()) throw EInOutError("Cannot read file " + path, path);
    return result;
}

std::string BuildPalette(const TColours& colours, TPaletteKind kind) {
    if (kind == TPaletteKind::Binary || kind == TPaletteKind::None)
        return std::string(reinterpret_cast<const char*>(colours.data()), colours.size());
    std::string text;
    text.reserve(16 + PaletteEntries * 13);
    if (kind == TPaletteKind::Jasc) text += "JASC-PAL\r\n0100\r\n256\r\n";
    for (int i = 0; i < PaletteEntries; ++i) {
        const size_t at = static_cast<size_t>(3 * i);
        text += IntToStr(colours[at]) + ' ' + IntToStr(colours[at + 1]) + ' ' + IntToStr(colours[at + 2]) + "\r\n";
    }
    return text;
}

void WritePaletteFile(const std::string& path, const TColours& colours, TPaletteKind kind) {
    WriteFileBytes(path, BuildPalette(colours, kind));
}
