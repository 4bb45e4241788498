// Palette files: the three formats read and written, header complaints, partial and
// broken files.
#include <gtest/gtest.h>

#include <sstream>

#include "core/Errors.h"
#include "core/Messages.h"
#include "formats/native_support.h"
#include "palette/PaletteFiles.h"

using native_test::GetFile;
using native_test::PutFile;
using native_test::TScratchDir;

namespace {

// A palette with every byte different from its neighbours: entry i is (i, 255 - i, 7i).
TColours Ramp() {
    TColours c{};
    for (int i = 0; i < 256; ++i) {
        c[3 * i] = static_cast<uint8_t>(i);
        c[3 * i + 1] = static_cast<uint8_t>(255 - i);
        c[3 * i + 2] = static_cast<uint8_t>(7 * i);
    }
    return c;
}

struct TReadOutcome {
    TPaletteRead Read;
    TColours Colours;
    std::vector<std::string> Messages;
};

TReadOutcome ReadFrom(const std::string& bytes, TPaletteKind kind, const TColours& start) {
    TRecordingSink sink;
    TScopedMessageSink scoped(&sink);
    std::istringstream in(bytes);
    TReadOutcome out{{}, start, {}};
    out.Read = ReadPalette(in, kind, out.Colours);
    out.Messages = sink.Texts();
    return out;
}

std::array<int, 3> Entry(const TColours& c, int i) { return {c[3 * i], c[3 * i + 1], c[3 * i + 2]}; }

}  // namespace

TEST(PaletteFiles, KindFollowsTheExtensionWhateverItsCase) {
    const std::vector<std::pair<std::string, TPaletteKind>> cases = {
        {"a.pal", TPaletteKind::Jasc},       {"dir/B.PAL", TPaletteKind::Jasc},
        {"x.Txt", TPaletteKind::Text},       {"x.bin", TPaletteKind::Binary},
        {"noext", TPaletteKind::Binary},     {"dir.pal/raw", TPaletteKind::Binary},
        {"colours.act", TPaletteKind::Binary},
    };
    for (const auto& [name, kind] : cases) EXPECT_EQ(PaletteKindOfName(name), kind) << name;
}

TEST(PaletteFiles, JascIsWrittenWithItsHeaderAndReadsBackIdentically) {
    const TColours c = Ramp();
    const std::string text = BuildPalette(c, TPaletteKind::Jasc);
    ASSERT_EQ(text.substr(0, 23), "JASC-PAL\r\n0100\r\n256\r\n0 ");
    EXPECT_NE(text.find("\r\n12 243 84\r\n"), std::string::npos);  // entry 12
    EXPECT_EQ(text.substr(text.size() - 13), "\r\n255 0 249\r\n");
    size_t lines = 0;
    for (char ch : text) lines += ch == '\n';
    EXPECT_EQ(lines, 259u);

    const TReadOutcome back = ReadFrom(text, TPaletteKind::Jasc, TColours{});
    EXPECT_TRUE(back.Messages.empty());
    EXPECT_EQ(back.Read.Entries, 256);
    EXPECT_FALSE(back.Read.Failed);
    EXPECT_EQ(back.Colours, c);

    const TReadOutcome plain = ReadFrom(BuildPalette(c, TPaletteKind::Text), TPaletteKind::Text, TColours{});
    EXPECT_EQ(plain.Colours, c);
    const std::string bin = BuildPalette(c, TPaletteKind::Binary);
    ASSERT_EQ(bin.size(), 768u);
    EXPECT_EQ(ReadFrom(bin, TPaletteKind::Binary, TColours{}).Colours, c);
}

TEST(PaletteFiles, HeaderComplaintsDoNotStopTheEntries) {
    struct TCase {
        std::string Header;
        std::vector<std::string> Messages;
    };
    const std::vector<TCase> cases = {
        {"JASC-PAL\r\n0200\r\n256\r\n", {"Falsche Version."}},
        {"PAL\r\n0100\r\n256\r\n", {"Keine JASC-Palette."}},
        {"JASC-PAL\r\n0100\r\n16\r\n", {"Keine 256-Farben-Palette."}},
        {"jasc-pal\r\n100\r\n 256\r\n", {"Keine JASC-Palette.", "Falsche Version.", "Keine 256-Farben-Palette."}},
    };
    for (const TCase& t : cases) {
        const TReadOutcome r = ReadFrom(t.Header + "1 2 3\r\n4 5 6\r\n", TPaletteKind::Jasc, TColours{});
        EXPECT_EQ(r.Messages, t.Messages) << t.Header;
        EXPECT_EQ(r.Read.Entries, 2);
        EXPECT_EQ(Entry(r.Colours, 0), (std::array<int, 3>{1, 2, 3}));
        EXPECT_EQ(Entry(r.Colours, 1), (std::array<int, 3>{4, 5, 6}));
    }
    // a file too short for its header complains about every missing line
    EXPECT_EQ(ReadFrom("JASC-PAL", TPaletteKind::Jasc, TColours{}).Messages,
              (std::vector<std::string>{"Falsche Version.", "Keine 256-Farben-Palette."}));
}

TEST(PaletteFiles, EntryLinesAreReadPartByPartModulo256) {
    struct TCase {
        std::string Line;
        std::array<int, 3> Rgb;
    };
    const std::vector<TCase> cases = {
        {"300 20", {44, 20, 0}},     {"1 2 3", {1, 2, 3}},       {"256 512 257", {0, 0, 1}},
        {"-1 0 0", {255, 0, 0}},     {"7 8 ", {7, 8, 0}},        {"007 +8 9  ", {7, 8, 9}},
        {"5 6 7", {5, 6, 7}},        {"10 20 30", {10, 20, 30}},
    };
    for (const TCase& t : cases) {
        TColours c{};
        ReadEntryLine(t.Line, c, 3);
        EXPECT_EQ(Entry(c, 3), t.Rgb) << t.Line;
        EXPECT_EQ(Entry(c, 2), (std::array<int, 3>{0, 0, 0}));
    }
    for (const std::string bad : {"", "12", " 1 2 3", "1  2 3", "a 2 3", "1 2 3 4", "1 2 0x10", "99999999999 0 0"}) {
        TColours c{};
        EXPECT_THROW(ReadEntryLine(bad, c, 0), EConvertError) << '"' << bad << '"';
        EXPECT_EQ(c, TColours{}) << "a refused line changes nothing";
    }
    // the message names the first part that failed; a line without a blank fails on
    // its (empty) red part
    const std::vector<std::pair<std::string, std::string>> messages = {
        {"x", "''"}, {"255", "''"}, {"x 1 2", "'x'"}, {"1 y", "'y'"}, {"1 2 z", "'z'"}, {"1 2 3 4", "'3 4'"}};
    for (const auto& [line, quoted] : messages) {
        TColours c{};
        try {
            ReadEntryLine(line, c, 0);
            ADD_FAILURE() << line;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), quoted + " is not a valid integer value") << line;
        }
    }
}

TEST(PaletteFiles, PartialTextFilesChangeOnlyTheEntriesTheyHold) {
    const TColours start = Ramp();
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += "1 1 1\r\n";
    // the same ten lines with other line ends, the last one unterminated
    std::string mixed = "1 1 1\n1 1 1\r1 1 1\r\n1 1 1\n1 1 1\n1 1 1\n1 1 1\n1 1 1\n1 1 1\n1 1 1";
    for (const std::string& text : {ten, mixed}) {
        const TReadOutcome r = ReadFrom(text, TPaletteKind::Text, start);
        EXPECT_EQ(r.Read.Entries, 10);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(Entry(r.Colours, i), i < 10 ? (std::array<int, 3>{1, 1, 1}) : Entry(start, i)) << i;
    }
    // more than 256 lines: the rest is not looked at, garbage included
    std::string many;
    for (int i = 0; i < 256; ++i) many += "2 2 2\r\n";
    many += "garbage\r\n";
    const TReadOutcome r = ReadFrom(many, TPaletteKind::Text, start);
    EXPECT_FALSE(r.Read.Failed);
    EXPECT_EQ(r.Read.Entries, 256);
}

TEST(PaletteFiles, AnUnreadableLineStopsReadingAndKeepsWhatCameBefore) {
    const TColours start = Ramp();
    const TReadOutcome r =
        ReadFrom("JASC-PAL\r\n0100\r\n256\r\n9 9 9\r\n8 8 8\r\n0 0 blue\r\n7 7 7\r\n", TPaletteKind::Jasc, start);
    EXPECT_TRUE(r.Read.Failed);
    EXPECT_EQ(r.Read.Entries, 2);
    EXPECT_EQ(r.Read.FailedLine, 6);
    EXPECT_EQ(r.Read.Failure, "'blue' is not a valid integer value");
    EXPECT_EQ(Entry(r.Colours, 0), (std::array<int, 3>{9, 9, 9}));
    EXPECT_EQ(Entry(r.Colours, 1), (std::array<int, 3>{8, 8, 8}));
    EXPECT_EQ(Entry(r.Colours, 2), Entry(start, 2));
    EXPECT_EQ(Entry(r.Colours, 3), Entry(start, 3));

    // an empty line has an empty red part
    const TReadOutcome blank = ReadFrom("1 2 3\r\n\r\n4 5 6\r\n", TPaletteKind::Text, start);
    EXPECT_TRUE(blank.Read.Failed);
    EXPECT_EQ(blank.Read.FailedLine, 2);
    EXPECT_EQ(blank.Read.Failure, "'' is not a valid integer value");

    // an endless line is refused without being taken in whole
    const TReadOutcome huge = ReadFrom(std::string(3u << 20, '1') + "\r\n", TPaletteKind::Text, start);
    EXPECT_TRUE(huge.Read.Failed);
    EXPECT_EQ(huge.Colours, start);
}

TEST(PaletteFiles, FilesOnDisk) {
    TScratchDir dir;
    const TColours c = Ramp();
    WritePaletteFile(dir / "p.pal", c, TPaletteKind::Jasc);
    EXPECT_EQ(GetFile(dir / "p.pal"), BuildPalette(c, TPaletteKind::Jasc));
    // writing replaces an older file completely
    PutFile(dir / "p.bin", std::string(5000, 'x'));
    WritePaletteFile(dir / "p.bin", c, TPaletteKind::Binary);
    EXPECT_EQ(GetFile(dir / "p.bin").size(), 768u);

    TColours back{};
    EXPECT_EQ(ReadPaletteFile(dir / "p.pal", TPaletteKind::Jasc, back).Entries, 256);
    EXPECT_EQ(back, c);
    EXPECT_THROW(ReadPaletteFile(dir / "missing.pal", TPaletteKind::Jasc, back), EInOutError);
    EXPECT_THROW(ReadPaletteFile(dir.Path(), TPaletteKind::Binary, back), EInOutError);
    EXPECT_THROW(WritePaletteFile(dir / "no/such/dir.pal", c, TPaletteKind::Jasc), EInOutError);
}

TEST(PaletteFiles, ImagePaletteTransferLeavesTheFlags) {
    TLogPalette pal;
    pal.Entries[4].Flags = 7;
    const TColours c = Ramp();
    ApplyColours(c, pal);
    EXPECT_EQ(pal.Entries[4].Flags, 7);
    EXPECT_EQ(pal.Entries[200].Red, 200);
    EXPECT_EQ(pal.Entries[200].Green, 55);
    EXPECT_EQ(ColoursOf(pal), c);
    const TColours d = DefaultColours();
    EXPECT_EQ(Entry(d, 0), (std::array<int, 3>{12, 0, 24}));
    EXPECT_EQ(Entry(d, 255), (std::array<int, 3>{236, 248, 136}));
}
