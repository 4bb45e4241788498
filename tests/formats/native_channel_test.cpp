// Reading channels: sample order, scale and offset, short and missing data files, and
// the load of the checked channels into documents.
#include <cmath>

#include "formats/LoadFiles.h"
#include "native_support.h"

using namespace native_test;

class NativeChannel : public TNativeTest {
protected:
    // Writes the parameter file and loads every channel into target.
    std::unique_ptr<TLoadFiles> LoadAll(const std::string& text, TKeepTarget& target) {
        PutFile(dir / "scan.txt", text);
        auto loader = std::make_unique<TLoadFiles>(dir / "scan.txt");
        EXPECT_TRUE(loader->ReadParamFile());
        loader->LoadChecked(std::vector<bool>(static_cast<size_t>(loader->Count()) + 1, true), target);
        return loader;
    }
    static std::vector<float> Row(const TQTVPicture& pic, int r) {
        return std::vector<float>(pic.Data[r], pic.Data[r] + pic.Cols);
    }
};

TEST_F(NativeChannel, IntRowsAreStoredTopDownAndSinRowsBottomUp) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4}));
    PutFile(dir / "b.sin", FloatBytes({1, 2, 3, 4}));
    TKeepTarget t;
    LoadAll(CurrentHeader(2, 2) + Block("a.int") + Block("b.sin"), t);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(t.Docs.size(), 2u);
    // The last channel is loaded first.
    const TQTVPicture& sin = t.Docs[0]->Picture;
    const TQTVPicture& in = t.Docs[1]->Picture;
    EXPECT_EQ(t.Created, (std::vector<std::string>{"b.sin", "a.int"}));
    EXPECT_EQ(Row(in, 1), (std::vector<float>{1, 2}));
    EXPECT_EQ(Row(in, 0), (std::vector<float>{3, 4}));
    EXPECT_EQ(Row(sin, 0), (std::vector<float>{1, 2}));
    EXPECT_EQ(Row(sin, 1), (std::vector<float>{3, 4}));
}

TEST_F(NativeChannel, ScaleOffsetAndUnitOfTheBlock) {
    PutFile(dir / "a.int", IntBytes({-2, 0, 10, 7, 1, 3}));
    PutFile(dir / "b.sin", FloatBytes({1.5f, -2, 0, 4, 8, 16}));
    TKeepTarget t;
    LoadAll(CurrentHeader(3, 2) +
                Block("a.int", {"Caption  : Topo", "Scale    : 0,25", "PhysUnit : \xC5", "Offset   : 100"}) +
                Block("b.sin", {"Scale : 2", "PhysUnit : nA", "Offset : 5"}),
            t);
    ASSERT_EQ(t.Docs.size(), 2u);
    const TQTVPicture& in = t.Docs[1]->Picture;
    EXPECT_DOUBLE_EQ(in.Para.Scale, 0.25);
    EXPECT_DOUBLE_EQ(in.Para.Offset, 100.0);
    EXPECT_EQ(in.Para.PhysUnit, "\xC5");
    EXPECT_EQ(Row(in, 1), (std::vector<float>{99.5f, 100, 102.5f}));
    EXPECT_EQ(Row(in, 0), (std::vector<float>{101.75f, 100.25f, 100.75f}));
    // .sin data never get the offset.
    const TQTVPicture& sin = t.Docs[0]->Picture;
    EXPECT_DOUBLE_EQ(sin.Para.Offset, 5.0);
    EXPECT_EQ(Row(sin, 0), (std::vector<float>{3, -4, 0}));
    EXPECT_EQ(Row(sin, 1), (std::vector<float>{8, 16, 32}));
    EXPECT_EQ(sin.Para.PhysUnit, "nA");
    // Header values reach every channel.
    EXPECT_DOUBLE_EQ(sin.Para.XScanRange, 2000.0);
    EXPECT_EQ(sin.Para.YPhysUnit, "\xB5m");
    EXPECT_EQ(sin.Para.XPixel, 3);
    EXPECT_EQ(sin.Para.YPixel, 2);
    // Rendering computed the range.
    EXPECT_FLOAT_EQ(in.Min, 99.5f);
    EXPECT_FLOAT_EQ(in.Max, 102.5f);
}

TEST_F(NativeChannel, OptionalKeysDefaultWithinTheirBlock) {
    PutFile(dir / "a.int", IntBytes({4}));
    PutFile(dir / "b.int", IntBytes({4}));
    TKeepTarget t;
    // The first block has no keys of its own; the second block's must not be borrowed.
    LoadAll(CurrentHeader(1, 1) + Block("a.int") +
                Block("b.int", {"Caption : B", "Scale : 3", "PhysUnit : V", "Offset : 1"}),
            t);
    ASSERT_EQ(t.Docs.size(), 2u);
    const TImageDoc& a = *t.Docs[1];
    EXPECT_EQ(a.Title, "a.int");
    EXPECT_EQ(a.CaptionTag, "");
    EXPECT_DOUBLE_EQ(a.Picture.Para.Scale, 1.0);
    EXPECT_DOUBLE_EQ(a.Picture.Para.Offset, 0.0);
    EXPECT_EQ(a.Picture.Para.PhysUnit, "");
    EXPECT_EQ(a.Picture.Data[0][0], 4.0f);
    const TImageDoc& b = *t.Docs[0];
    EXPECT_EQ(b.Title, "b.int - B");
    EXPECT_EQ(b.CaptionTag, "B");
    EXPECT_EQ(b.Picture.Data[0][0], 13.0f);
}

TEST_F(NativeChannel, KeysOutOfOrderInsideABlockAreMissed) {
    PutFile(dir / "a.int", IntBytes({2}));
    TKeepTarget t;
    // Offset before Scale: the Offset search starts behind the Scale line and misses it.
    LoadAll(CurrentHeader(1, 1) + Block("a.int", {"Offset : 1", "Scale : 10"}), t);
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_DOUBLE_EQ(t.Docs[0]->Picture.Para.Scale, 10.0);
    EXPECT_DOUBLE_EQ(t.Docs[0]->Picture.Para.Offset, 0.0);
    EXPECT_EQ(t.Docs[0]->Picture.Data[0][0], 20.0f);
}

TEST_F(NativeChannel, NamesFoundElsewhereDoNotMixUpTheBlocks) {
    PutFile(dir / "s.int", IntBytes({1}));
    PutFile(dir / "xs.int", IntBytes({1}));
    TKeepTarget t;
    LoadAll(CrLf({";copy of s.int"}) + CurrentHeader(1, 1) + Block("xs.int", {"Scale : 7"}) +
                Block("s.int", {"Scale : 3"}),
            t);
    ASSERT_EQ(t.Docs.size(), 2u);
    EXPECT_EQ(t.Docs[0]->FileName, "s.int");
    EXPECT_EQ(t.Docs[0]->Picture.Data[0][0], 3.0f);
    EXPECT_EQ(t.Docs[1]->Picture.Data[0][0], 7.0f);
}

TEST_F(NativeChannel, ScanInformationHoldsEveryParameterLine) {
    PutFile(dir / "a.int", IntBytes({1}));
    TKeepTarget t;
    const std::string text = CurrentHeader(1, 1) + Block("a.int");
    LoadAll(text, t);
    ASSERT_EQ(t.Docs.size(), 1u);
    const auto& info = t.Docs[0]->ScanInfo;
    ASSERT_GE(info.size(), 11u);
    EXPECT_EQ(info[0], ";test scan");
    EXPECT_EQ(info[1], "Version : 1.12");
    EXPECT_EQ(info[8], "FileDescBegin");
    EXPECT_EQ(info[9], "FileName : a.int");
    EXPECT_EQ(info[10], "FileDescEnd");
}

TEST_F(NativeChannel, OtherExtensionsReadNoSamples) {
    PutFile(dir / "a.INT", IntBytes({5, 6}));
    PutFile(dir / "b.dat", IntBytes({5, 6}));
    TKeepTarget t;
    LoadAll(CurrentHeader(2, 1) + Block("a.INT") + Block("b.dat"), t);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(t.Docs.size(), 2u);
    for (const auto& d : t.Docs) EXPECT_EQ(Row(d->Picture, 0), (std::vector<float>{0, 0}));
}

TEST_F(NativeChannel, ShortDataFileKeepsWhatWasReadAndReportsOnce) {
    // 2 x 3 image, 4 and a half samples present.
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4}) + std::string("\x05\x00", 2));
    PutFile(dir / "b.sin", FloatBytes({1, 2, 3}));
    PutFile(dir / "c.sin", "");
    TKeepTarget t;
    LoadAll(CurrentHeader(2, 3) + Block("a.int", {"Caption : A"}) + Block("b.sin") + Block("c.sin"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"File c.sin to short\n", "File b.sin to short\n",
                                                 "File a.int to short\n"}));
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    ASSERT_EQ(t.Docs.size(), 3u);  // still shown, with the rest at 0
    const TQTVPicture& a = t.Docs[2]->Picture;
    EXPECT_EQ(Row(a, 2), (std::vector<float>{1, 2}));
    EXPECT_EQ(Row(a, 1), (std::vector<float>{3, 4}));
    EXPECT_EQ(Row(a, 0), (std::vector<float>{0, 0}));
    EXPECT_EQ(t.Docs[2]->Title, "a.int - A");
    const TQTVPicture& b = t.Docs[1]->Picture;
    EXPECT_EQ(Row(b, 0), (std::vector<float>{1, 2}));
    EXPECT_EQ(Row(b, 1), (std::vector<float>{3, 0}));
    EXPECT_EQ(Row(b, 2), (std::vector<float>{0, 0}));
    // A short file gets no scan information.
    EXPECT_TRUE(t.Docs[0]->ScanInfo.empty());
}

TEST_F(NativeChannel, LongerDataFileReadsOnlyTheImage) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4, 5, 6, 7}));
    TKeepTarget t;
    LoadAll(CurrentHeader(2, 2) + Block("a.int"), t);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(Row(t.Docs[0]->Picture, 0), (std::vector<float>{3, 4}));
}

TEST_F(NativeChannel, MissingDataFileSkipsTheChannel) {
    PutFile(dir / "b.int", IntBytes({1}));
    TKeepTarget t;
    LoadAll(CurrentHeader(1, 1) + Block("a.int") + Block("b.int") + Block("c.int"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"File c.int not found!", "File a.int not found!"}));
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(t.Docs[0]->FileName, "b.int");
    EXPECT_EQ(t.Created.size(), 1u);
}

TEST_F(NativeChannel, ADirectoryIsNoDataFile) {
    std::filesystem::create_directory(dir / "d.int");
    TKeepTarget t;
    LoadAll(CurrentHeader(1, 1) + Block("d.int"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"File d.int not found!"}));
    EXPECT_TRUE(t.Docs.empty());
}

TEST_F(NativeChannel, FailingDocumentIsReportedAndTheLoadGoesOn) {
    PutFile(dir / "a.int", IntBytes({1}));
    PutFile(dir / "b.int", IntBytes({2}));
    TKeepTarget t;
    t.ThrowOnNew = 0;  // the first document requested (b.int) cannot be made
    LoadAll(CurrentHeader(1, 1) + Block("a.int") + Block("b.int"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Error during loading!"}));
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(t.Docs[0]->FileName, "a.int");
    EXPECT_EQ(t.Discarded, 0);
}

TEST_F(NativeChannel, UnreadableDataFileDiscardsTheDocument) {
    PutFile(dir / "a.int", IntBytes({1}));
    std::filesystem::permissions(dir / "a.int", std::filesystem::perms::none);
    std::string probe;
    if (ReadWholeFile(dir / "a.int", probe)) GTEST_SKIP() << "running with rights to read anything";
    TKeepTarget t;
    LoadAll(CurrentHeader(1, 1) + Block("a.int"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Error during loading!"}));
    EXPECT_EQ(t.Discarded, 1);
    EXPECT_TRUE(t.Docs.empty());
}

TEST_F(NativeChannel, OnlyCheckedChannelsAreLoaded) {
    for (const char* n : {"a.int", "b.int", "c.int"}) PutFile(dir / n, IntBytes({1}));
    PutFile(dir / "scan.txt", CurrentHeader(1, 1) + Block("a.int") + Block("b.int", {"Caption : B"}) +
                                  Block("c.int"));
    TLoadFiles loader(dir / "scan.txt");
    ASSERT_TRUE(loader.ReadParamFile());
    std::vector<int> loading;
    struct TOrder : TKeepTarget {
        TLoadFiles* l = nullptr;
        std::vector<int>* seen = nullptr;
        TImageDoc* NewDocument(const std::string& n) override {
            seen->push_back(l->LoadingChannel());
            return TKeepTarget::NewDocument(n);
        }
    } t;
    t.l = &loader;
    t.seen = &loading;
    loader.LoadChecked({true, false, true}, t);  // entry 3 is missing: unchecked
    EXPECT_EQ(loader.Count(), 1);
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(t.Docs[0]->Title, "b.int - B");
    EXPECT_EQ(loading, (std::vector<int>{2}));
    EXPECT_EQ(loader.LoadingChannel(), 0);
}

TEST_F(NativeChannel, ReadChannelRejectsIndicesOutsideTheList) {
    PutFile(dir / "a.int", IntBytes({1}));
    PutFile(dir / "scan.txt", CurrentHeader(1, 1) + Block("a.int"));
    TLoadFiles loader(dir / "scan.txt");
    ASSERT_TRUE(loader.ReadParamFile());
    TImageDoc doc;
    EXPECT_THROW(loader.ReadChannel(doc, 0), ERangeError);
    EXPECT_THROW(loader.ReadChannel(doc, 2), ERangeError);
    loader.ReadChannel(doc, 1);
    EXPECT_EQ(doc.Picture.Data[0][0], 1.0f);
}

TEST_F(NativeChannel, LargestImageLoads) {
    const int n = 2053;
    std::vector<int32_t> v(static_cast<size_t>(n) * n);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<int32_t>(i % 1000);
    PutFile(dir / "big.int", IntBytes(v));
    TKeepTarget t;
    LoadAll(CurrentHeader(n, n) + Block("big.int"), t);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(t.Docs.size(), 1u);
    const TQTVPicture& p = t.Docs[0]->Picture;
    EXPECT_EQ(p.Data[n - 1][0], 0.0f);                                         // first stored
    EXPECT_EQ(p.Data[0][n - 1], static_cast<float>((v.size() - 1) % 1000));  // last stored
}

// ---- old generation

TEST_F(NativeChannel, OldGenerationReadsScaleUnitAndCaptionLines) {
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4}));
    PutFile(dir / "b.sin", FloatBytes({1, 2, 3, 4}));
    TKeepTarget t;
    LoadAll(CrLf({"Version : 1.01", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2", "Files",
                  "a.int", "Topo", "0.5", "nm", "b.sin", "", "2", "nA", ""}),
            t);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(t.Docs.size(), 2u);
    const TImageDoc& a = *t.Docs[1];
    EXPECT_EQ(a.Title, "a.int - Topo");
    EXPECT_EQ(a.CaptionTag, "Topo");
    EXPECT_DOUBLE_EQ(a.Picture.Para.Scale, 0.5);
    EXPECT_EQ(a.Picture.Para.PhysUnit, "nm");
    EXPECT_DOUBLE_EQ(a.Picture.Para.XScanRange, 20.0);
    EXPECT_EQ(Row(a.Picture, 1), (std::vector<float>{0.5f, 1}));
    EXPECT_EQ(Row(a.Picture, 0), (std::vector<float>{1.5f, 2}));
    const TImageDoc& b = *t.Docs[0];
    EXPECT_EQ(b.Title, "b.sin");
    EXPECT_EQ(Row(b.Picture, 0), (std::vector<float>{2, 4}));
    EXPECT_EQ(b.Picture.Para.PhysUnit, "nA");
    EXPECT_FALSE(b.ScanInfo.empty());
}

TEST_F(NativeChannel, OldGenerationShortFileIsNeverReadPastItsEnd) {
    PutFile(dir / "a.int", IntBytes({7, 8, 9}));
    PutFile(dir / "b.int", "");
    TKeepTarget t;
    LoadAll(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2", "Files",
                  "a.int", "1", "nm", "b.int", "1", "nm"}),
            t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"File b.int to short\n", "File a.int to short\n"}));
    ASSERT_EQ(t.Docs.size(), 2u);
    EXPECT_EQ(Row(t.Docs[1]->Picture, 1), (std::vector<float>{7, 8}));
    EXPECT_EQ(Row(t.Docs[1]->Picture, 0), (std::vector<float>{9, 0}));
    EXPECT_EQ(Row(t.Docs[0]->Picture, 0), (std::vector<float>{0, 0}));
}

TEST_F(NativeChannel, OldGenerationOffsetIsNeverApplied) {
    PutFile(dir / "a.int", IntBytes({3}));
    TKeepTarget t;
    LoadAll(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 1", "Pixel in Y : 1", "Files",
                  "a.int", "2", "nm", "", "Offset : 5"}),
            t);
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(t.Docs[0]->Picture.Data[0][0], 6.0f);
    EXPECT_DOUBLE_EQ(t.Docs[0]->Picture.Para.Offset, 0.0);
}

TEST_F(NativeChannel, OldGenerationUnreadableScaleIsAssumedOne) {
    PutFile(dir / "a.int", IntBytes({3}));
    TKeepTarget t;
    LoadAll(CrLf({"Version : 1", "ScanRange [nm]: 20", "Pixel in X : 1", "Pixel in Y : 1", "Files",
                  "a.int", "x2", "nm"}),
            t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"\"x2\" is no valid float!\n 1 is assumed!"}));
    ASSERT_EQ(t.Docs.size(), 1u);
    EXPECT_EQ(t.Docs[0]->Picture.Data[0][0], 3.0f);
}
