// Reading channels: sample order, scale and offset, short and missing data files, and
// the load of the checked channels into documents.
#include <sys/stat.h>

#include <bit>
#include <cmath>
#include <limits>

#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
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
    // The scan information stays, so what is saved reopens with the samples read.
    ASSERT_FALSE(t.Docs[2]->ScanInfo.empty());
    ASSERT_TRUE(WriteNative(*t.Docs[2], dir / "saved.txt", TNativeKind::Sin));
    sink.Clear();
    auto back = std::make_unique<TLoadFiles>(dir / "saved.txt");
    ASSERT_TRUE(back->ReadParamFile());
    TKeepTarget reopened;
    back->LoadChecked(std::vector<bool>(static_cast<size_t>(back->Count()) + 1, true), reopened);
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(reopened.Docs.size(), 1u);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(Row(reopened.Docs[0]->Picture, r), Row(a, r));
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

// ---- exactness of the sample conversion

namespace {

// Scales that put stored value times scale right next to the midpoint between two
// floats, where a product rounded to double first can round to the other float.
std::vector<std::pair<int32_t, double>> NearMidpointPairs(int count, uint64_t seed) {
    std::vector<std::pair<int32_t, double>> out;
    for (int i = 0; i < count; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const float f = 1.0f + static_cast<float>(seed >> 40) * 0x1p-10f;  // 1 .. 2^14
        const double mid = static_cast<double>(f) + std::ldexp(1.0, std::ilogb(f) - 24);
        const int32_t v = static_cast<int32_t>(3 + (seed >> 33) % 2000000000u) * ((seed & 1) ? 1 : -1);
        out.emplace_back(v, mid / v);
    }
    return out;
}

std::string Exact17(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

}  // namespace

TEST_F(NativeChannel, ConversionIsThatOfExtendedPrecision) {
    // 200 channels of 8 values, each channel with its own scale.
    const auto pairs = NearMidpointPairs(200 * 8, 99);
    std::string blocks;
    int doubleDiffers = 0;
    for (int ch = 0; ch < 200; ++ch) {
        std::vector<int32_t> ints;
        std::vector<float> floats;
        const double scale = pairs[static_cast<size_t>(ch) * 8].second;
        for (int k = 0; k < 8; ++k) {
            // Every value of the channel lands near a midpoint with the channel's scale.
            const double mid = pairs[static_cast<size_t>(ch) * 8 + k].second * pairs[static_cast<size_t>(ch) * 8 + k].first;
            const int32_t v = static_cast<int32_t>(std::llround(mid / scale));
            ints.push_back(v);
            floats.push_back(static_cast<float>(v));
            const long double ext = static_cast<long double>(v) * scale;
            if (static_cast<float>(ext) != static_cast<float>(static_cast<double>(v) * scale)) ++doubleDiffers;
        }
        PutFile(dir / ("i" + std::to_string(ch) + ".int"), IntBytes(ints));
        PutFile(dir / ("s" + std::to_string(ch) + ".sin"), FloatBytes(floats));
        blocks += Block("i" + std::to_string(ch) + ".int", {"Scale : " + Exact17(scale)});
        blocks += Block("s" + std::to_string(ch) + ".sin", {"Scale : " + Exact17(scale)});
    }
    ASSERT_GT(doubleDiffers, 0) << "no case where double rounding matters";
    TKeepTarget t;
    LoadAll(CurrentHeader(8, 1) + blocks, t);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Too many files to open! - Skip a few."});
    ASSERT_EQ(t.Docs.size(), 256u);
    for (const auto& d : t.Docs) {
        const std::string bytes = GetFile(dir / d->FileName);
        const bool isInt = d->FileName[0] == 'i';
        const long double s = d->Picture.Para.Scale;
        for (int c = 0; c < 8; ++c) {
            long double stored;
            if (isInt) {
                stored = IntsOf(bytes)[static_cast<size_t>(c)];
            } else {
                float x;
                std::memcpy(&x, bytes.data() + 4 * c, 4);
                stored = x;
            }
            const float want = static_cast<float>(stored * s);
            EXPECT_EQ(std::bit_cast<uint32_t>(d->Picture.Data[0][c]), std::bit_cast<uint32_t>(want))
                << d->FileName << " column " << c;
        }
    }
}

TEST_F(NativeChannel, OffsetIsAddedInExtendedPrecision) {
    PutFile(dir / "a.int", IntBytes({16777217, -16777217, 1, 0, 2147483647, -2147483647 - 1}));
    TKeepTarget t;
    LoadAll(CurrentHeader(6, 1) + Block("a.int", {"Scale : 0.1", "Offset : -1677721.7"}), t);
    ASSERT_EQ(t.Docs.size(), 1u);
    const TQTVPicture& p = t.Docs[0]->Picture;
    for (int c = 0; c < 6; ++c) {
        const long double v = IntsOf(GetFile(dir / "a.int"))[static_cast<size_t>(c)];
        EXPECT_EQ(p.Data[0][c], static_cast<float>(v * static_cast<long double>(p.Para.Scale) +
                                                   static_cast<long double>(p.Para.Offset)));
    }
}

TEST_F(NativeChannel, SpecialFloatsInSinFiles) {
    const float inf = std::numeric_limits<float>::infinity();
    PutFile(dir / "a.sin", FloatBytes({std::numeric_limits<float>::quiet_NaN(), inf, -inf, 1e-40f,
                                       std::numeric_limits<float>::max(), -0.0f, 3, 4}));
    TKeepTarget t;
    LoadAll(CurrentHeader(8, 1) + Block("a.sin", {"Scale : 4"}), t);
    ASSERT_EQ(t.Docs.size(), 1u);
    const float* r = t.Docs[0]->Picture.Data[0];
    EXPECT_TRUE(std::isnan(r[0]));
    EXPECT_EQ(r[1], inf);
    EXPECT_EQ(r[2], -inf);
    EXPECT_EQ(r[3], static_cast<float>(static_cast<long double>(1e-40f) * 4));
    EXPECT_EQ(r[4], inf);  // beyond the float range
    EXPECT_EQ(r[7], 16.0f);
}

TEST_F(NativeChannel, FoldersPipesAndDevicesAreNoDataFiles) {
    std::filesystem::create_directory(dir / "d.int");
    ASSERT_EQ(mkfifo((dir / "p.int").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "z.int");
    TKeepTarget t;
    // The pipe must not make the load wait for a writer.
    LoadAll(CurrentHeader(1, 1) + Block("d.int") + Block("p.int") + Block("z.int"), t);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Error during loading!", "Error during loading!",
                                                 "File d.int not found!"}));
    EXPECT_TRUE(t.Docs.empty());

    sink.Clear();
    ASSERT_EQ(mkfifo((dir / "q.txt").c_str(), 0600), 0);
    TLoadFiles loader(dir / "q.txt");
    EXPECT_FALSE(loader.ReadParamFile());
    EXPECT_EQ(Texts(), std::vector<std::string>{"File not found!"});
}
