// Editing the working palette: strokes, block operations, smoothing, repeats, channel
// choice, the undo history and the editor's file commands.
#include <gtest/gtest.h>

#include "core/Errors.h"
#include "core/Messages.h"
#include "formats/native_support.h"
#include "palette/PaletteEdit.h"

using native_test::GetFile;
using native_test::PutFile;
using native_test::TScratchDir;

namespace {

TColours Filled(int r, int g, int b) {
    TColours c{};
    for (int i = 0; i < 256; ++i) {
        c[3 * i] = static_cast<uint8_t>(r);
        c[3 * i + 1] = static_cast<uint8_t>(g);
        c[3 * i + 2] = static_cast<uint8_t>(b);
    }
    return c;
}

std::vector<int> Channel(const TColours& c, int ch, int from, int to) {
    std::vector<int> v;
    for (int i = from; i <= to; ++i) v.push_back(c[3 * i + ch]);
    return v;
}

TChannels Only(TChannel c) {
    TChannels ch;
    ch.Choose(c);
    return ch;
}

TChannels All() {
    TChannels ch;
    ch.ToggleConnect();
    return ch;
}

}  // namespace

TEST(PaletteCurves, AStrokeFollowsTheLineWithHalfToEvenRounding) {
    TPaletteEditor ed;
    ed.Colours = Filled(0, 50, 60);
    ASSERT_TRUE(ed.CurvePress(10, 255));
    ASSERT_TRUE(ed.CurveMove(20, 155));  // value 100
    EXPECT_EQ(Channel(ed.Colours, 0, 10, 20), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(Channel(ed.Colours, 1, 10, 20), std::vector<int>(11, 50)) << "only red is active";
    EXPECT_EQ(ed.Colours[3 * 9], 0);
    EXPECT_EQ(ed.Colours[3 * 21], 0);
    EXPECT_TRUE(ed.Modified());

    // backwards, and halves: from entry 4 (value 0) to entry 0 with value 3 gives
    // 0, 0.75, 1.5, 2.25, 3 -> 0, 1, 2, 2, 3 counted from entry 4
    ed.Colours = Filled(0, 0, 0);
    ed.CurvePress(4, 0);
    ed.CurveMove(0, 252);
    EXPECT_EQ(Channel(ed.Colours, 0, 0, 4), (std::vector<int>{3, 2, 2, 1, 0}));
    // 0.5 -> 0, 2.5 -> 2
    ed.Colours = Filled(0, 0, 0);
    ed.CurvePress(0, 0);
    ed.CurveMove(2, 254);
    EXPECT_EQ(Channel(ed.Colours, 0, 0, 2), (std::vector<int>{0, 0, 1}));
    ed.Colours = Filled(0, 0, 0);
    ed.CurvePress(0, 0);
    ed.CurveMove(2, 250);
    EXPECT_EQ(Channel(ed.Colours, 0, 0, 2), (std::vector<int>{0, 2, 5}));

    // a move on the same column sets that entry; the stroke continues from there
    ed.Colours = Filled(0, 0, 0);
    ed.CurvePress(30, 0);
    ed.CurveMove(30, 55);   // value 200
    ed.CurveMove(32, 255);  // down to 0
    EXPECT_EQ(Channel(ed.Colours, 0, 30, 32), (std::vector<int>{200, 100, 0}));
}

TEST(PaletteCurves, StrokesNeedAPressInsideTheBox) {
    TPaletteEditor ed;
    const TColours before = ed.Colours;
    EXPECT_FALSE(ed.CurveMove(5, 5)) << "no stroke without a press";
    EXPECT_FALSE(ed.CurvePress(256, 3));
    EXPECT_FALSE(ed.CurvePress(3, -1));
    EXPECT_FALSE(ed.Modified());
    ASSERT_TRUE(ed.CurvePress(255, 255));
    EXPECT_FALSE(ed.CurveMove(256, 0));
    ed.CurveRelease();
    EXPECT_FALSE(ed.CurveMove(100, 0));
    EXPECT_EQ(ed.Colours, before);
}

TEST(PaletteCurves, ConnectedChannelsChangeAlike) {
    TPaletteEditor ed;
    ed.Channels = All();
    ed.Colours = Filled(0, 0, 0);
    ed.CurvePress(0, 255);
    ed.CurveMove(10, 155);
    for (int ch = 0; ch < 3; ++ch)
        EXPECT_EQ(Channel(ed.Colours, ch, 0, 10), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
}

TEST(PaletteBlocks, MirrorGradientFillInvert) {
    TColours c = Filled(0, 0, 0);
    for (int i = 0; i < 256; ++i) c[3 * i] = static_cast<uint8_t>(i);
    TColours m = c;
    MirrorBlock(m, 10, 13);
    EXPECT_EQ(Channel(m, 0, 9, 14), (std::vector<int>{9, 13, 12, 11, 10, 14}));
    m = c;
    MirrorBlock(m, 10, 14);
    EXPECT_EQ(Channel(m, 0, 10, 14), (std::vector<int>{14, 13, 12, 11, 10}));
    m = c;
    MirrorBlock(m, 7, 7);
    EXPECT_EQ(m, c);

    TColours g = Filled(128, 5, 9);
    g[0] = g[1] = g[2] = 0;
    g[765] = g[766] = g[767] = 255;
    GradientBlock(g, 0, 255);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(Channel(g, 0, i, i)[0] + Channel(g, 2, i, i)[0], 2 * i) << i;
    // downwards truncates toward zero: 10 + (0 - 10) * 1 div 3 = 10 - 3
    TColours d = Filled(0, 0, 0);
    d[3 * 20] = 10;
    GradientBlock(d, 20, 23);
    EXPECT_EQ(Channel(d, 0, 20, 23), (std::vector<int>{10, 7, 4, 0}));

    TColours f = c;
    FillBlock(f, 3, 5, 1, 2, 3);
    EXPECT_EQ(Channel(f, 0, 2, 6), (std::vector<int>{2, 1, 1, 1, 6}));
    EXPECT_EQ(Channel(f, 2, 2, 6), (std::vector<int>{0, 3, 3, 3, 0}));

    TColours inv = Filled(10, 20, 30);
    InvertBlock(inv, Only(TChannel::Blue), 0, 255);
    EXPECT_EQ(inv, Filled(10, 20, 225));
    inv = Filled(10, 20, 30);
    InvertBlock(inv, All(), 100, 100);
    EXPECT_EQ(Channel(inv, 1, 99, 101), (std::vector<int>{20, 235, 20}));

    EXPECT_THROW(MirrorBlock(c, 5, 256), ERangeError);
    EXPECT_THROW(GradientBlock(c, 9, 8), ERangeError);
}

TEST(PaletteBlocks, SmoothingWorksInPlace) {
    TColours c = Filled(77, 0, 0);
    c[3 * 100 + 1] = 255;  // spike in green
    SmoothPalette(c, Only(TChannel::Green));
    EXPECT_EQ(Channel(c, 0, 0, 255), std::vector<int>(256, 77));
    EXPECT_EQ(Channel(c, 1, 90, 94), std::vector<int>(5, 0));
    EXPECT_EQ(Channel(c, 1, 95, 100), (std::vector<int>{23, 25, 28, 30, 33, 36}));
    EXPECT_EQ(Channel(c, 1, 101, 115),
              (std::vector<int>{14, 13, 11, 10, 8, 5, 4, 3, 3, 2, 2, 1, 1, 1, 1}));

    TColours ends = Filled(0, 0, 0);
    for (int i : {0, 4, 251, 255}) ends[3 * i] = 200;
    SmoothPalette(ends, Only(TChannel::Red));
    EXPECT_EQ(ends[0], 200);
    EXPECT_EQ(ends[3 * 4], 200);
    EXPECT_EQ(ends[3 * 251], 200);
    EXPECT_EQ(ends[3 * 5], (5 + 400) / 11);
}

TEST(PaletteBlocks, RepeatsCountEntriesSeenAgainLater) {
    EXPECT_EQ(RepeatCount(Filled(3, 3, 3)), 255);
    EXPECT_EQ(RepeatMessage(255), "255 Wiederholungen, d.h. 1 verschiedene Farben.");
    TColours distinct{};
    for (int i = 0; i < 256; ++i) distinct[3 * i + 1] = static_cast<uint8_t>(i);
    EXPECT_EQ(RepeatCount(distinct), 0);
    distinct[3 * 200 + 1] = 3;   // 200 repeats 3
    distinct[3 * 250 + 1] = 3;   // 3 and 200 are seen again, 250 is the last of them
    distinct[3 * 251 + 1] = 4;   // (0, 4, 1) differs from entry 4 in blue only
    distinct[3 * 251 + 2] = 1;
    EXPECT_EQ(RepeatCount(distinct), 2);
}

TEST(PaletteChannels, ChoiceFollowsTheConnectRules) {
    using A = std::array<bool, 3>;
    TChannels ch;
    EXPECT_EQ(ch.Active, (A{true, false, false}));
    ch.Choose(TChannel::Green);
    EXPECT_EQ(ch.Active, (A{false, true, false}));
    ch.Choose(TChannel::Green);
    EXPECT_EQ(ch.Active, (A{false, true, false}));
    ch.ToggleConnect();
    EXPECT_EQ(ch.Active, (A{true, true, true}));
    ch.Choose(TChannel::Red);
    ch.Choose(TChannel::Blue);
    EXPECT_EQ(ch.Active, (A{false, true, false}));
    ch.Choose(TChannel::Green);  // the last one stays on
    EXPECT_EQ(ch.Active, (A{false, true, false}));
    ch.Choose(TChannel::Blue);
    EXPECT_EQ(ch.Active, (A{false, true, true}));
    ch.ToggleConnect();  // off: green before blue
    EXPECT_EQ(ch.Active, (A{false, true, false}));
    ch.ToggleConnect();
    ch.ToggleConnect();  // off with all on: red
    EXPECT_EQ(ch.Active, (A{true, false, false}));
    ch.Choose(TChannel::Blue);
    ch.ToggleConnect();
    ch.Choose(TChannel::Red);
    ch.Choose(TChannel::Green);
    ch.ToggleConnect();
    EXPECT_EQ(ch.Active, (A{false, false, true}));
}

TEST(PaletteEditorModel, UndoMarksTheCaption) {
    TPaletteEditor ed;
    const TColours start = ed.Colours;
    EXPECT_EQ(ed.Caption(), "Paletten-Editor <NewPalette>");
    ed.BlockFirst = 0;
    ed.BlockLast = 9;
    ed.Mirror();
    EXPECT_EQ(ed.Caption(), "Paletten-Editor <NewPalette>*");
    const TColours mirrored = ed.Colours;
    ed.Invert();
    EXPECT_EQ(ed.History.Count(), 2u);
    EXPECT_TRUE(ed.Undo());
    EXPECT_EQ(ed.Colours, mirrored);
    EXPECT_EQ(ed.Caption(), "Paletten-Editor <NewPalette>*");
    EXPECT_TRUE(ed.Undo());
    EXPECT_EQ(ed.Colours, start);
    EXPECT_EQ(ed.Caption(), "Paletten-Editor <NewPalette>");
    EXPECT_FALSE(ed.Undo());
    EXPECT_EQ(PaletteEditorCaption("/a/b/warm.pal", true), "Paletten-Editor <warm.pal>*");
    EXPECT_EQ(PaletteEditorCaption("", true), "Paletten-Editor");
}

TEST(PaletteEditorModel, GridSelectionAndTexts) {
    TPaletteEditor ed;
    ed.GridPress(40, 20, true);  // column 2, row 1
    EXPECT_EQ(ed.CurrentEntry, 18);
    EXPECT_TRUE(ed.Selecting);
    int entry = -1;
    EXPECT_TRUE(ed.GridMove(5, 60, entry));  // entry 48
    EXPECT_EQ(entry, 48);
    EXPECT_EQ(ed.BlockFirst, 18);
    EXPECT_EQ(ed.BlockLast, 48);
    EXPECT_TRUE(ed.GridMove(8, 8, entry));
    EXPECT_EQ(ed.BlockFirst, 0);
    EXPECT_EQ(ed.BlockLast, 18);
    EXPECT_FALSE(ed.GridMove(0, 8, entry));
    EXPECT_EQ(entry, -1);
    ed.GridRelease();
    EXPECT_FALSE(ed.GridMove(100, 100, entry));
    EXPECT_EQ(entry, 6 * 16 + 6);
    EXPECT_EQ(ed.BlockLast, 18);
    // a press on the same column starts no block
    ed.GridPress(40, 200, true);
    EXPECT_FALSE(ed.Selecting);
    EXPECT_EQ(ed.CurrentEntry, 12 * 16 + 2);
    EXPECT_EQ(GridEntryAt(256, 256), 255);

    EXPECT_EQ(BlockText(18, 48), "Index 18 bis 48 ausgew\xE4hlt (31 Eintr\xE4ge)");
    TColours c{};
    c[3 * 7] = 1;
    c[3 * 7 + 1] = 2;
    c[3 * 7 + 2] = 3;
    EXPECT_EQ(EntryIndexText(7), "Index 7");
    EXPECT_EQ(EntryColourText(c, 7), "RGB 1, 2, 3");
    EXPECT_EQ(EntryColourValue(c, 7), 1 + 2 * 256 + 3 * 65536);

    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(BlockOutline(18, 20), (P{{32, 16}, {80, 16}, {80, 32}, {32, 32}, {32, 16}}));
    EXPECT_EQ(BlockOutline(18, 48),
              (P{{32, 16}, {256, 16}, {256, 48}, {16, 48}, {16, 64}, {0, 64}, {0, 32}, {32, 32}, {32, 16}}));
}

TEST(PaletteEditorModel, FillUsesTheCurrentEntryForAOneEntryBlock) {
    TPaletteEditor ed;
    ed.GridPress(40, 20, true);
    ed.GridRelease();
    EXPECT_EQ(ed.PrepareFill(), 18);
    ed.FillWith(1, 2, 3);
    EXPECT_EQ(Channel(ed.Colours, 2, 17, 19), (std::vector<int>{ed.Colours[3 * 17 + 2], 3, ed.Colours[3 * 19 + 2]}));
    ed.BlockFirst = 10;
    ed.BlockLast = 13;
    EXPECT_EQ(ed.PrepareFill(), 11);
    ed.FillWith(9, 9, 9);
    EXPECT_EQ(Channel(ed.Colours, 1, 10, 13), std::vector<int>(4, 9));
    EXPECT_EQ(ed.History.Count(), 2u);
}

TEST(PaletteEditorModel, OpenAndSaveEmptyTheHistory) {
    TScratchDir dir;
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    TPaletteEditor ed;
    ed.Smooth();
    const struct {
        TPaletteKind Kind;
        std::string Given, Written;
        size_t Size;
    } cases[] = {
        {TPaletteKind::Jasc, "a", "a.pal", 0},
        {TPaletteKind::Text, "b", "b.txt", 0},
        {TPaletteKind::Binary, "c", "c.bin", 768},
        {TPaletteKind::Binary, "d.pal", "d.pal", 768},
    };
    for (const auto& t : cases) {
        ed.BlockFirst = 0;
        ed.BlockLast = 255;
        ed.Mirror();
        ASSERT_TRUE(ed.Modified());
        EXPECT_EQ(ed.SaveAs(dir / t.Given, t.Kind), dir / t.Written);
        EXPECT_FALSE(ed.Modified());
        EXPECT_EQ(ed.FileName, dir / t.Written);
        EXPECT_EQ(ed.Caption(), "Paletten-Editor <" + t.Written + ">");
        const std::string bytes = GetFile(dir / t.Written);
        EXPECT_EQ(bytes, BuildPalette(ed.Colours, t.Kind));
        if (t.Size) {
            EXPECT_EQ(bytes.size(), t.Size);
        }
    }
    // a write that fails leaves the palette modified
    ed.Invert();
    ed.FileName = dir / "no/such/x.pal";
    EXPECT_THROW(ed.Write(), EInOutError);
    EXPECT_TRUE(ed.Modified());

    const TColours saved = [&] {
        TColours c{};
        ReadPaletteFile(dir / "a.pal", TPaletteKind::Jasc, c);
        return c;
    }();
    PutFile(dir / "half.pal", "JASC-PAL\r\n0101\r\n256\r\n1 1 1\r\n2 2 2\r\n1 zz\r\n");
    ed.Colours = saved;
    const TPaletteRead r = ed.Open(dir / "half.pal", TPaletteKind::Jasc);
    EXPECT_FALSE(ed.Modified());
    EXPECT_EQ(sink.Texts(), (std::vector<std::string>{"Falsche Version."}));
    EXPECT_EQ(ReadFailureText(r), "Fehler in Zeile 6: 'zz' is not a valid integer value");
    EXPECT_EQ(Channel(ed.Colours, 0, 0, 2), (std::vector<int>{1, 2, saved[6]}));
    EXPECT_EQ(ed.Caption(), "Paletten-Editor <half.pal>");
    EXPECT_EQ(ed.FileKind, TPaletteKind::Jasc);
}
