#include "palette/PaletteEdit.h"

#include <algorithm>
#include <cmath>

#include "core/Errors.h"
#include "core/Numbers.h"
#include "core/Files.h"

namespace {

void CheckBlock(int first, int last) {
    if (first < 0 || last >= PaletteEntries || first > last) throw ERangeError();
}

uint8_t& At(TColours& c, int entry, int channel) {
    return c[static_cast<size_t>(3 * entry + channel)];
}
uint8_t At(const TColours& c, int entry, int channel) {
    return c[static_cast<size_t>(3 * entry + channel)];
}

}  // namespace

// ---------------------------------------------------------------- channels

void TChannels::Choose(TChannel c) {
    const size_t k = static_cast<size_t>(c);
    if (!Connect) {
        Active = {false, false, false};
        Active[k] = true;
        return;
    }
    if (Active[k]) {
        const int on = static_cast<int>(Active[0]) + static_cast<int>(Active[1]) + static_cast<int>(Active[2]);
        if (on > 1) Active[k] = false;
    } else {
        Active[k] = true;
    }
}

void TChannels::ToggleConnect() {
    Connect = !Connect;
    if (Connect) {
        Active = {true, true, true};
    } else {
        const size_t keep = Active[0] ? 0 : Active[1] ? 1 : 2;
        Active = {false, false, false};
        Active[keep] = true;
    }
}

bool TPaletteHistory::Undo(TColours& colours) {
    if (list_.empty()) return false;
    colours = list_.back();
    list_.pop_back();
    return true;
}

// ---------------------------------------------------------------- operations

void DrawCurveSegment(TColours& colours, const TChannels& channels, int lastX, int x, int value) {
    if (lastX < 0 || lastX >= PaletteEntries || x < 0 || x >= PaletteEntries) throw ERangeError();
    for (int ch = 0; ch < 3; ++ch) {
        if (!channels[ch]) continue;
        if (x == lastX) {
            At(colours, x, ch) = static_cast<uint8_t>(value);
            continue;
        }
        const int start = At(colours, lastX, ch);
        const int step = x > lastX ? 1 : -1;
        for (int i = lastX;; i += step) {
            const long double t = static_cast<long double>(i - lastX) / static_cast<long double>(x - lastX);
            const long long v = start + RoundHalfEven(t * static_cast<long double>(value - start));
            At(colours, i, ch) = static_cast<uint8_t>(v & 0xFF);
            if (i == x) break;
        }
    }
}

void FillBlock(TColours& colours, int first, int last, uint8_t red, uint8_t green, uint8_t blue) {
    CheckBlock(first, last);
    for (int i = first; i <= last; ++i) {
        At(colours, i, 0) = red;
        At(colours, i, 1) = green;
        At(colours, i, 2) = blue;
    }
}

void GradientBlock(TColours& colours, int first, int last) {
    CheckBlock(first, last);
    for (int i = first + 1; i < last; ++i)
        for (int ch = 0; ch < 3; ++ch) {
            const int a = At(colours, first, ch), b = At(colours, last, ch);
            At(colours, i, ch) = static_cast<uint8_t>(a + (b - a) * (i - first) / (last - first));
        }
}

void MirrorBlock(TColours& colours, int first, int last) {
    CheckBlock(first, last);
    for (int i = first, j = last; i < j; ++i, --j)
        for (int ch = 0; ch < 3; ++ch) std::swap(At(colours, i, ch), At(colours, j, ch));
}

void InvertBlock(TColours& colours, const TChannels& channels, int first, int last) {
    CheckBlock(first, last);
    for (int i = first; i <= last; ++i)
        for (int ch = 0; ch < 3; ++ch)
            if (channels[ch]) At(colours, i, ch) = static_cast<uint8_t>(255 - At(colours, i, ch));
}

void SmoothPalette(TColours& colours, const TChannels& channels) {
    for (int ch = 0; ch < 3; ++ch) {
        if (!channels[ch]) continue;
        for (int i = 5; i <= 250; ++i) {
            int sum = 5;
            for (int k = i - 5; k <= i + 5; ++k) sum += At(colours, k, ch);
            At(colours, i, ch) = static_cast<uint8_t>(sum / 11);
        }
    }
}

int RepeatCount(const TColours& colours) {
    int k = 0;
    for (int i = 0; i < PaletteEntries - 1; ++i)
        for (int j = i + 1; j < PaletteEntries; ++j)
            if (At(colours, i, 0) == At(colours, j, 0) && At(colours, i, 1) == At(colours, j, 1) &&
                At(colours, i, 2) == At(colours, j, 2)) {
                ++k;
                break;
            }
    return k;
}

std::string RepeatMessage(int repeats) {
    return IntToStr(repeats) + " Wiederholungen, d.h. " + IntToStr(PaletteEntries - repeats) +
           " verschiedene Farben.";
}

// ---------------------------------------------------------------- texts and geometry

std::string PaletteEditorCaption(const std::string& fileName, bool modified) {
    if (fileName.empty()) return "Paletten-Editor";
    return "Paletten-Editor <" + ExtractFileName(fileName) + ">" + (modified ? "*" : "");
}

std::string EntryIndexText(int entry) { return "Index " + IntToStr(entry); }

std::string EntryColourText(const TColours& colours, int entry) {
    if (entry < 0 || entry >= PaletteEntries) throw ERangeError();
    return "RGB " + IntToStr(At(colours, entry, 0)) + ", " + IntToStr(At(colours, entry, 1)) + ", " +
           IntToStr(At(colours, entry, 2));
}

std::string BlockText(int first, int last) {
    return "Index " + IntToStr(first) + " bis " + IntToStr(last) + " ausgew\xE4hlt (" +
           IntToStr(last - first + 1) + " Eintr\xE4ge)";
}

std::string ReadFailureText(const TPaletteRead& read) {
    return "Fehler in Zeile " + IntToStr(read.FailedLine) + ": " + read.Failure;
}

int EntryColourValue(const TColours& colours, int entry) {
    if (entry < 0 || entry >= PaletteEntries) throw ERangeError();
    return At(colours, entry, 0) + 256 * At(colours, entry, 1) + 65536 * At(colours, entry, 2);
}

std::vector<std::pair<int, int>> BlockOutline(int first, int last) {
    CheckBlock(first, last);
    const int x1 = 16 * (first % 16), y1 = 16 * (first / 16);
    const int x2 = 16 * (last % 16) + 16, y2 = 16 * (last / 16);
    if (y1 == y2) return {{x1, y1}, {x2, y1}, {x2, y1 + 16}, {x1, y1 + 16}, {x1, y1}};
    return {{x1, y1}, {256, y1}, {256, y2}, {x2, y2}, {x2, y2 + 16},
            {0, y2 + 16}, {0, y1 + 16}, {x1, y1 + 16}, {x1, y1}};
}

int GridEntryAt(int x, int y) {
    x = std::clamp(x, 0, 255);
    y = std::clamp(y, 0, 255);
    return x / 16 + 16 * (y / 16);
}

// ---------------------------------------------------------------- the editor

bool TPaletteEditor::CurvePress(int x, int y) {
    if (x < 0 || x > 255 || y < 0 || y > 255) return false;
    PushUndo();
    Drawing = true;
    LastX = x;
    LastY = y;
    return true;
}

bool TPaletteEditor::CurveMove(int x, int y) {
    if (!Drawing || x < 0 || x > 255 || y < 0 || y > 255) return false;
    DrawCurveSegment(Colours, Channels, LastX, x, 255 - y);
    LastX = x;
    LastY = y;
    return true;
}

void TPaletteEditor::GridPress(int x, int y, bool left) {
    CurrentEntry = GridEntryAt(x, y);
    if (left && x != PressX && y != PressY) {
        PressX = x;
        PressY = y;
        BlockFirst = BlockLast = CurrentEntry;
        Selecting = true;
    } else {
        Selecting = false;
    }
}

bool TPaletteEditor::GridMove(int x, int y, int& entry) {
    if (x <= 0 || x >= 255 || y <= 0 || y >= 255) {
        entry = -1;
        return false;
    }
    entry = GridEntryAt(x, y);
    if (!Selecting) return false;
    BlockFirst = std::min(CurrentEntry, entry);
    BlockLast = std::max(CurrentEntry, entry);
    return true;
}

int TPaletteEditor::PrepareFill() {
    PushUndo();
    if (BlockFirst == BlockLast) BlockFirst = BlockLast = CurrentEntry;
    return (BlockFirst + BlockLast) / 2;
}

void TPaletteEditor::FillWith(uint8_t red, uint8_t green, uint8_t blue) {
    FillBlock(Colours, BlockFirst, BlockLast, red, green, blue);
}

void TPaletteEditor::Gradient() {
    PushUndo();
    GradientBlock(Colours, BlockFirst, BlockLast);
}

void TPaletteEditor::Mirror() {
    PushUndo();
    MirrorBlock(Colours, BlockFirst, BlockLast);
}

void TPaletteEditor::Invert() {
    PushUndo();
    InvertBlock(Colours, Channels, BlockFirst, BlockLast);
}

void TPaletteEditor::Smooth() {
    PushUndo();
    SmoothPalette(Colours, Channels);
}

TPaletteRead TPaletteEditor::Open(const std::string& path, TPaletteKind kind) {
    History.Clear();
    FileName = path;
    FileKind = kind;
    return ReadPaletteFile(path, kind, Colours);
}

void TPaletteEditor::Write() {
    WritePaletteFile(FileName, Colours, FileKind);
    // only a palette that reached its file stops counting as modified
    History.Clear();
}

std::string TPaletteEditor::SaveAs(const std::string& path, TPaletteKind kind) {
    std::string name = path;
    if (ExtractFileExt(name).empty()) name += "." + PaletteExtension(kind);
    FileKind = kind;
    FileName = name;
    Write();
    return name;
}
