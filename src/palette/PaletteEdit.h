#pragma once
// Editing the working palette: the undo history, the channel curves drawn with the
// mouse, the block of entries chosen in the 16 x 16 grid and the operations on it,
// smoothing, the repeat count, the choice of active channels, and the editor state
// with its file commands. The palette editor window only wires its controls to this.
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "palette/PaletteFiles.h"

enum class TChannel { Red = 0, Green = 1, Blue = 2 };

// Which channels editing acts on. Red alone at start.
struct TChannels {
    std::array<bool, 3> Active{true, false, false};
    bool Connect = false;  // more than one channel may be active

    bool operator[](TChannel c) const { return Active[static_cast<size_t>(c)]; }
    bool operator[](int c) const { return Active[static_cast<size_t>(c)]; }
    // Without Connect the channel becomes the only active one; with Connect it is
    // toggled, except that the last active channel stays on.
    void Choose(TChannel c);
    // Toggles Connect. On: all three channels active; off: red alone if red was active,
    // else green alone if green was, else blue.
    void ToggleConnect();
};

// Snapshots of the working palette, newest last; unlimited. Not empty means modified.
class TPaletteHistory {
public:
    void Push(const TColours& colours) { list_.push_back(colours); }
    // Restores the newest snapshot into colours and drops it; false when empty.
    bool Undo(TColours& colours);
    void Clear() { list_.clear(); }
    bool Empty() const { return list_.empty(); }
    size_t Count() const { return list_.size(); }

private:
    std::vector<TColours> list_;
};

// ---- operations on the working palette (entries 0..255, first <= last)

// One step of a curve stroke: in each active channel, entries lastX..x (either
// direction, both included) follow the straight line from the channel's value at lastX
// to value: c[lastX] + round((i - lastX) / (x - lastX) * (value - c[lastX])), half to
// even; at x = lastX entry x becomes value.
void DrawCurveSegment(TColours& colours, const TChannels& channels, int lastX, int x, int value);
// Every entry of the block gets the colour in all three channels.
void FillBlock(TColours& colours, int first, int last, uint8_t red, uint8_t green, uint8_t blue);
// Entries strictly between first and last: c[first] + (c[last] - c[first]) *
// (i - first) div (last - first) in each channel, truncating toward zero.
void GradientBlock(TColours& colours, int first, int last);
// The block's entries in reverse order.
void MirrorBlock(TColours& colours, int first, int last);
// 255 - value in each active channel of the block's entries.
void InvertBlock(TColours& colours, const TChannels& channels, int first, int last);
// In each active channel, for i = 5..250 in increasing order and in place:
// c[i] = (5 + c[i - 5] + ... + c[i + 5]) div 11. Entries 0..4 and 251..255 stay.
void SmoothPalette(TColours& colours, const TChannels& channels);
// The number of entries 0..254 whose colour some later entry repeats.
int RepeatCount(const TColours& colours);
// "k Wiederholungen, d.h. 256-k verschiedene Farben."
std::string RepeatMessage(int repeats);

// ---- texts and geometry of the editor window

// "Paletten-Editor <name>" (name without its path) with "*" when modified;
// "Paletten-Editor" without a file name.
std::string PaletteEditorCaption(const std::string& fileName, bool modified);
// Status panels: "Index n" and "RGB r, g, b" of an entry.
std::string EntryIndexText(int entry);
std::string EntryColourText(const TColours& colours, int entry);
// "Index a bis b ausgewählt (n Einträge)" (Latin-1).
std::string BlockText(int first, int last);
// "Fehler in Zeile n: <reason>" for an entry line that could not be read.
std::string ReadFailureText(const TPaletteRead& read);
// The colour of an entry as the colour dialog takes it: red + 256 green + 65536 blue.
int EntryColourValue(const TColours& colours, int entry);

// The outline of a block in the 257 x 257 grid (16-pixel cells): a rectangle for a
// block within one row, else the polygon around the rows it spans. Closed: the last
// point repeats the first.
std::vector<std::pair<int, int>> BlockOutline(int first, int last);
// The entry of the grid cell under (x, y), both limited to 0..255.
int GridEntryAt(int x, int y);

// The editor without its window: working palette, history, file, channels, block and
// the state of the two mouse gestures.
class TPaletteEditor {
public:
    TColours Colours = DefaultColours();
    TPaletteHistory History;
    std::string FileName = "NewPalette";
    TPaletteKind FileKind = TPaletteKind::None;
    TChannels Channels;
    std::array<bool, 3> Visible{true, true, true};  // curves shown: red, green, blue

    bool Drawing = false;
    int LastX = 0, LastY = 0;
    bool Selecting = false;
    int PressX = 0, PressY = 0;
    int BlockFirst = 0, BlockLast = 0;
    int CurrentEntry = 0;

    bool Modified() const { return !History.Empty(); }
    std::string Caption() const { return PaletteEditorCaption(FileName, Modified()); }
    // Snapshot before an edit.
    void PushUndo() { History.Push(Colours); }
    // Back to the newest snapshot; false when there is none.
    bool Undo() { return History.Undo(Colours); }

    // Channel box, x = entry, 255 - y = value. Press: true when it starts a stroke
    // (left button inside 0..255; a snapshot is pushed). Move: true when it drew.
    bool CurvePress(int x, int y);
    bool CurveMove(int x, int y);
    void CurveRelease() { Drawing = false; }

    // Palette grid. Press: CurrentEntry is the entry under (x, y); a left press that
    // is on another pixel column and row than the previous one starts a block there.
    void GridPress(int x, int y, bool left);
    // Move inside the grid: while selecting, the block spans CurrentEntry and the entry
    // under the mouse (true: the block changed). Returns through `entry` the entry
    // under the mouse, -1 when outside.
    bool GridMove(int x, int y, int& entry);
    void GridRelease() { Selecting = false; }

    // Block operations push their own snapshot.
    // Fill: a one-entry block becomes CurrentEntry; pushes the snapshot and returns the
    // entry whose colour the colour dialog starts with. FillWith then colours the block.
    int PrepareFill();
    void FillWith(uint8_t red, uint8_t green, uint8_t blue);
    void Gradient();
    void Mirror();
    void Invert();
    void Smooth();

    // Open: empties the history, takes the name and kind, reads the file (header
    // messages shown). Entries read before a failure stay. Throws EInOutError.
    TPaletteRead Open(const std::string& path, TPaletteKind kind);
    // Writes FileName in FileKind and empties the history. Throws EInOutError.
    void Write();
    // Save as: the kind chosen, a name without extension gets ".pal", ".txt" or
    // ".bin" by kind; then Write. Returns the name written.
    std::string SaveAs(const std::string& path, TPaletteKind kind);
};
