// Reading the parameter file: versions, headers of both generations, the channel list.
#include "core/Errors.h"
#include "formats/LoadFiles.h"
#include "native_support.h"

using namespace native_test;

class NativeHeader : public TNativeTest {
protected:
    // Writes the parameter file and reads it.
    std::unique_ptr<TLoadFiles> Read(const std::string& text, const std::string& name = "scan.txt") {
        PutFile(dir / name, text);
        auto loader = std::make_unique<TLoadFiles>(dir / name);
        EXPECT_TRUE(loader->ReadParamFile());
        return loader;
    }
};

TEST_F(NativeHeader, MissingFileIsReported) {
    TLoadFiles loader(dir / "none.txt");
    EXPECT_FALSE(loader.ReadParamFile());
    ASSERT_EQ(sink.Shown.size(), 1u);
    EXPECT_EQ(sink.Shown[0].Text, "File not found!");
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    EXPECT_EQ(loader.Count(), 0);
}

TEST_F(NativeHeader, CurrentGenerationHeaderAndBlocks) {
    auto l = Read(CurrentHeader(64, 32, "1.11") + Block("a.int", {"Caption  : Topography Fwd"}) +
                  Block("b.sin", {"Scale : 2"}));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(l->Version(), "1.11");
    EXPECT_FALSE(l->OldGeneration());
    EXPECT_DOUBLE_EQ(l->Para().XScanRange, 2000.0);
    EXPECT_DOUBLE_EQ(l->Para().YScanRange, 1000.0);
    EXPECT_EQ(l->Para().XPhysUnit, "nm");
    EXPECT_EQ(l->Para().YPhysUnit, "\xB5m");
    EXPECT_EQ(l->Para().XPixel, 64);
    EXPECT_EQ(l->Para().YPixel, 32);
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Files()[1], "a.int");
    EXPECT_EQ(l->Files()[2], "b.sin");
    EXPECT_EQ(l->Caption(1), "Topography Fwd");
    // A block without a caption offers its file name, never another block's caption.
    EXPECT_EQ(l->Caption(2), "b.sin");
    EXPECT_EQ(l->DataPath(2), dir / "b.sin");
}

TEST_F(NativeHeader, CaptionAfterTheBlockEndBelongsToTheNextBlock) {
    auto l = Read(CurrentHeader(4, 4) + Block("a.int") + Block("b.int", {"Caption : second"}));
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Caption(1), "a.int");
    EXPECT_EQ(l->Caption(2), "second");
}

TEST_F(NativeHeader, EveryCurrentVersionIsAccepted) {
    for (const char* v : {"1.10", "1.11", "1.12"}) {
        auto l = Read(CurrentHeader(4, 4, v) + Block("a.int"));
        EXPECT_EQ(l->Count(), 1) << v;
    }
    EXPECT_TRUE(Texts().empty());
}

TEST_F(NativeHeader, KeysMatchWithoutRegardToCase) {
    auto l = Read(CrLf({"VERSION : 1.12", "xscanrange: 5", "YSCANRANGE: 6", "xphysunit : nm",
                        "YPHYSUNIT : nm", "XPIXEL : 64", "ypixel:  8", "filedescbegin",
                        "FILENAME : a.int", "CAPTION : c", "filedescend"}));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(l->Para().XPixel, 64);
    EXPECT_EQ(l->Para().YPixel, 8);
    EXPECT_DOUBLE_EQ(l->Para().YScanRange, 6.0);
    ASSERT_EQ(l->Count(), 1);
    EXPECT_EQ(l->Caption(1), "c");
}

TEST_F(NativeHeader, UnsupportedOrMissingVersion) {
    for (const std::string& text :
         {CurrentHeader(4, 4, "1.2") + Block("a.int"), CurrentHeader(4, 4, "1.12 ") + Block("a.int"),
          CrLf({"XScanRange : 1", "xPixel : 4", "yPixel : 4"}) + Block("a.int"), std::string()}) {
        sink.Clear();
        auto l = Read(text);
        EXPECT_EQ(l->Count(), 0);
        ASSERT_EQ(sink.Shown.size(), 1u);
        EXPECT_EQ(sink.Shown[0].Text, "This File-Version is not supported!");
        EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    }
}

TEST_F(NativeHeader, VersionWithoutValueIsReportedTwice) {
    auto l = Read("Version\r\nxPixel 4");
    EXPECT_EQ(l->Count(), 0);
    ASSERT_EQ(sink.Shown.size(), 2u);
    EXPECT_EQ(sink.Shown[0].Text, "No File-Version-Entry is found!");
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    EXPECT_EQ(sink.Shown[1].Text, "This File-Version is not supported!");
}

TEST_F(NativeHeader, MissingHeaderKeysStopTheHeader) {
    // Without XScanRange the search runs to the end and the column count is missed.
    auto l = Read(CrLf({"Version : 1.12", "YScanRange : 1", "XPhysUnit : nm", "YPhysUnit : nm",
                        "xPixel : 4", "yPixel : 4"}) + Block("a.int"));
    EXPECT_EQ(l->Count(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No Pixel in X found!\nLoad aborted"});

    sink.Clear();
    l = Read(CrLf({"Version : 1.12", "XScanRange : 1", "YScanRange : 1", "XPhysUnit : nm",
                   "YPhysUnit : nm", "xPixel : 4"}) + Block("a.int"));
    EXPECT_EQ(l->Count(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No Pixel in Y found!\nLoad aborted"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);

    sink.Clear();
    l = Read(CurrentHeader(0, 4) + Block("a.int"));
    EXPECT_EQ(l->Count(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No Pixel in X found!\nLoad aborted"});
}

TEST_F(NativeHeader, PixelCountsOutsideTheImageLimitsAreRefused) {
    for (const auto& [cols, rows, axis] : {std::tuple{2054, 4, "X"}, std::tuple{-3, 4, "X"},
                                           std::tuple{4, 2054, "Y"}, std::tuple{4, -1, "Y"},
                                           std::tuple{4, 2147483647, "Y"}}) {
        sink.Clear();
        auto l = Read(CurrentHeader(cols, rows) + Block("a.int"));
        EXPECT_EQ(l->Count(), 0);
        EXPECT_EQ(Texts(), std::vector<std::string>{std::string("Pixel in ") + axis +
                                                    " out of range (1..2053)!\nLoad aborted"});
        // Nothing of the refused size is offered to the selection dialog.
        EXPECT_LE(l->Para().XPixel, 2053);
        EXPECT_LE(l->Para().YPixel, 2053);
        EXPECT_GE(l->Para().XPixel, 0);
        EXPECT_GE(l->Para().YPixel, 0);
    }
    auto l = Read(CurrentHeader(2053, 2053) + Block("a.int"));
    EXPECT_EQ(l->Count(), 1);
}

TEST_F(NativeHeader, PixelCountThatIsNoIntegerEndsTheOpen) {
    for (const std::string count : {"12.5", "abc", "99999999999"}) {
        PutFile(dir / "bad.txt", CrLf({"Version : 1.12", "XScanRange : 1", "YScanRange : 1",
                                       "XPhysUnit : nm", "YPhysUnit : nm", "xPixel : " + count,
                                       "yPixel : 4"}));
        TLoadFiles loader(dir / "bad.txt");
        try {
            loader.ReadParamFile();
            ADD_FAILURE() << "no conversion error for " << count;
        } catch (const EConvertError& e) {
            EXPECT_EQ(std::string(e.what()), "' " + count + "' is not a valid integer value");
        }
    }
}

TEST_F(NativeHeader, UnreadableRangeIsAssumedOne) {
    auto l = Read(CrLf({"Version : 1.12", "XScanRange : wide", "YScanRange : 3,5", "XPhysUnit : nm",
                        "YPhysUnit : nm", "xPixel : 4", "yPixel : 4"}) + Block("a.int"));
    EXPECT_EQ(Texts(), std::vector<std::string>{"\" wide\" is no valid float!\n 1 is assumed!"});
    EXPECT_DOUBLE_EQ(l->Para().XScanRange, 1.0);
    EXPECT_DOUBLE_EQ(l->Para().YScanRange, 3.5);
    EXPECT_EQ(l->Count(), 1);
}

TEST_F(NativeHeader, BlockWithoutFileNameTakesTheNextName) {
    auto l = Read(CurrentHeader(4, 4) + CrLf({"FileDescBegin", "Caption : x", "FileDescEnd"}) +
                  Block("b.int"));
    ASSERT_EQ(l->Count(), 1);
    EXPECT_EQ(l->Files()[1], "b.int");
}

TEST_F(NativeHeader, AtMost256ChannelsAreOffered) {
    std::string blocks;
    for (int i = 1; i <= 256; ++i) blocks += Block("c" + std::to_string(i) + ".int");
    auto l = Read(CurrentHeader(4, 4) + blocks);
    EXPECT_EQ(l->Count(), 256);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Too many files to open! - Skip a few."});
    EXPECT_EQ(l->Files()[256], "c256.int");

    sink.Clear();
    l = Read(CurrentHeader(4, 4) + blocks + Block("c257.int") + Block("c258.int"));
    EXPECT_EQ(l->Count(), 256);
    EXPECT_EQ(l->Files().size(), 257u);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Too many files to open! - Skip a few."});

    sink.Clear();
    l = Read(CurrentHeader(4, 4) + Block("a.int"));
    EXPECT_TRUE(Texts().empty());
}

// ---- old generation

TEST_F(NativeHeader, OldGenerationVersionOne) {
    auto l = Read(CrLf({"Version : 1", "ScanRange [nm]: 2000", "Pixel in X : 3", "Pixel in Y : 2",
                        "Files", "a.int", "0.5", "nm", "b.sin", "1", "pA", "", "trailing.int"}));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(l->OldGeneration());
    EXPECT_DOUBLE_EQ(l->Para().XScanRange, 2000.0);
    EXPECT_DOUBLE_EQ(l->Para().YScanRange, 2000.0);
    EXPECT_EQ(l->Para().XPhysUnit, "nm");
    EXPECT_EQ(l->Para().YPhysUnit, "nm");
    EXPECT_EQ(l->Para().XPixel, 3);
    EXPECT_EQ(l->Para().YPixel, 2);
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Files()[1], "a.int");
    EXPECT_EQ(l->Files()[2], "b.sin");
    // Old files carry no captions for the selection dialog.
    EXPECT_EQ(l->Caption(1), "");
}

TEST_F(NativeHeader, OldGenerationWithCaptionLinesAndSemicolonEnd) {
    auto l = Read(CrLf({"Version : 1.01", "ScanRange [\xC5" "A]: 40", "Pixel in X : 3",
                        "Pixel in Y : 2", "Files", "a.int", "Topo", "0.5", "nm", "b.int", "Curr",
                        "1", "nA", ";end", "c.int"}));
    EXPECT_EQ(l->Para().XPhysUnit, "\xC5" "A");
    ASSERT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Files()[2], "b.int");
}

TEST_F(NativeHeader, OldGenerationWithoutScanRange) {
    auto l = Read(CrLf({"Pixel in X : 3", "Version : 1", "Pixel in Y : 2", "Files", "a.int",
                        "1", "nm"}));
    // The search restarts at the file start: the pixel line before the version counts.
    EXPECT_DOUBLE_EQ(l->Para().XScanRange, 1.0);
    EXPECT_DOUBLE_EQ(l->Para().YScanRange, 1.0);
    EXPECT_EQ(l->Para().XPhysUnit, "");
    EXPECT_EQ(l->Para().XPixel, 3);
    EXPECT_EQ(l->Para().YPixel, 2);
    EXPECT_EQ(l->Count(), 1);
}

TEST_F(NativeHeader, OldGenerationPixelMessagesAndLimits) {
    auto l = Read(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in Y : 2", "Files", "a.int"}));
    EXPECT_EQ(l->Count(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"No Pixel in X found!\nLoad aborted"});
    sink.Clear();
    l = Read(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 4", "Pixel in Y : 5000",
                   "Files", "a.int"}));
    EXPECT_EQ(l->Count(), 0);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Pixel in Y out of range (1..2053)!\nLoad aborted"});
}

TEST_F(NativeHeader, OldGenerationListIsCappedAt256) {
    std::string text = CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2", "Files"});
    for (int i = 1; i <= 300; ++i) text += CrLf({"f" + std::to_string(i) + ".int", "1", "nm"});
    auto l = Read(text);
    EXPECT_EQ(l->Count(), 256);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Too many files to open! - Skip a few."});
}

TEST_F(NativeHeader, OldGenerationWithoutListOffersNothing) {
    auto l = Read(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2", "Files"}));
    EXPECT_EQ(l->Count(), 0);
    l = Read(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2"}));
    EXPECT_EQ(l->Count(), 0);
}
