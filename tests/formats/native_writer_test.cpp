// Saving in the native format: the parameter text, the data files and the round trip
// through the loader.
#include <sys/stat.h>
#include <algorithm>
#include <cmath>
#include <limits>

#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "native_support.h"

using namespace native_test;

namespace {

// A document as a loaded window holds it: samples, parameters, scan information.
std::unique_ptr<TImageDoc> MakeDoc(int cols, int rows, float (*f)(int r, int c)) {
    auto doc = std::make_unique<TImageDoc>();
    doc->Picture.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) doc->Picture.Data[r][c] = f(r, c);
    TScanPara& p = doc->Picture.Para;
    p.XScanRange = 2000;
    p.YScanRange = 1000.5;
    p.XPhysUnit = "nm";
    p.YPhysUnit = "nm";
    p.PhysUnit = "nm";
    p.Scale = 1.0;
    doc->CaptionTag = "Topography Fwd";
    doc->ScanInfo = {";my scan", "Version : 1.12", "XScanRange : 1", "YScanRange : 1",
                     "XPhysUnit : nm", "YPhysUnit : nm", "xPixel : 1", "yPixel : 1", "Bias : 1 V",
                     "FileDescBegin", "FileName : old.int", "FileDescEnd"};
    doc->Picture.Render();
    return doc;
}

float Ramp(int r, int c) { return static_cast<float>(0.37 * r - 1.3 * c + 0.001 * r * c); }

}  // namespace

class NativeWriter : public TNativeTest {
protected:
    // Loads every channel of a parameter file.
    std::vector<std::unique_ptr<TImageDoc>> Load(const std::string& path) {
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        return std::move(t.Docs);
    }
};

TEST_F(NativeWriter, ParameterTextFromTheScanInformation) {
    auto doc = MakeDoc(3, 2, Ramp);
    ASSERT_TRUE(WriteNative(*doc, dir / "out.txt", TNativeKind::Sin));
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(GetFile(dir / "out.txt"),
              CrLf({";my scan", "Version : 1.12", "XScanRange : 2000", "YScanRange : 1000.5",
                    "XPhysUnit : nm", "YPhysUnit : nm", "xPixel     : 3", "yPixel     : 2",
                    "Bias : 1 V", "FileDescBegin", "FileName : out.sin", "Caption  : Topography Fwd",
                    "Scale    : 1", "PhysUnit : nm", "FileDescEnd"}));
    EXPECT_EQ(GetFile(dir / "out.sin").size(), 3u * 2u * 4u);
}

TEST_F(NativeWriter, RangesUseTheDecimalSeparator) {
    auto doc = MakeDoc(1, 1, Ramp);
    SetDecimalSeparator(',');
    ASSERT_TRUE(WriteNative(*doc, dir / "out.txt", TNativeKind::Sin));
    const std::string text = GetFile(dir / "out.txt");
    EXPECT_NE(text.find("\r\nYScanRange : 1000,5\r\n"), std::string::npos);
    // ... and the loader reads them back either way.
    auto back = Load(dir / "out.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_DOUBLE_EQ(back[0]->Picture.Para.YScanRange, 1000.5);
}

TEST_F(NativeWriter, SinRoundTripIsExact) {
    auto doc = MakeDoc(5, 4, [](int r, int c) { return static_cast<float>(std::sin(r * 7 + c) * 1e-3); });
    doc->Picture.Data[0][0] = std::numeric_limits<float>::quiet_NaN();
    doc->Picture.Data[1][1] = -std::numeric_limits<float>::infinity();
    ASSERT_TRUE(WriteNative(*doc, dir / "s.txt", TNativeKind::Sin));
    EXPECT_TRUE(Texts().empty());
    auto back = Load(dir / "s.txt");
    ASSERT_EQ(back.size(), 1u);
    const TQTVPicture& p = back[0]->Picture;
    ASSERT_EQ(p.Cols, 5);
    ASSERT_EQ(p.Rows, 4);
    EXPECT_TRUE(std::isnan(p.Data[0][0]));
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 5; ++c)
            if (r + c > 0) {
                EXPECT_EQ(p.Data[r][c], doc->Picture.Data[r][c]) << r << "," << c;
            }
    EXPECT_EQ(back[0]->Title, "s.sin - Topography Fwd");
    EXPECT_EQ(back[0]->CaptionTag, "Topography Fwd");
    EXPECT_DOUBLE_EQ(p.Para.Scale, 1.0);
}

TEST_F(NativeWriter, IntRoundTripWithinHalfAStep) {
    auto doc = MakeDoc(7, 5, Ramp);
    doc->Picture.Para.Scale = 0.01;
    doc->Picture.Para.Offset = 3;  // already part of the samples
    ASSERT_TRUE(WriteNative(*doc, dir / "i.txt", TNativeKind::Int));
    EXPECT_TRUE(Texts().empty());
    auto back = Load(dir / "i.txt");
    ASSERT_EQ(back.size(), 1u);
    const TQTVPicture& src = doc->Picture;
    const TQTVPicture& p = back[0]->Picture;
    const double step = (src.Max - src.Min) / 1e6;
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c)
            EXPECT_NEAR(p.Data[r][c], src.Data[r][c], step / 2 * 1.001 + 1e-6 * std::fabs(src.Data[r][c]))
                << r << "," << c;
    EXPECT_DOUBLE_EQ(p.Para.Offset, 0.0);
    // The stored integers span about a million steps.
    const auto ints = IntsOf(GetFile(dir / "i.int"));
    ASSERT_EQ(ints.size(), 35u);
    const auto [lo, hi] = std::minmax_element(ints.begin(), ints.end());
    EXPECT_NEAR(static_cast<double>(*hi) - *lo, 1e6, 2);
    // The first stored value is the top left sample.
    EXPECT_NEAR(ints[0] * p.Para.Scale, src.Data[4][0], step);
}

TEST_F(NativeWriter, IntScaleFactorIsReducedForLargeValues) {
    // Values far from zero compared with their spread: f shrinks in steps of ten until
    // every stored integer stays within 1e9.
    auto doc = MakeDoc(4, 4, [](int r, int c) { return static_cast<float>(5000 + 0.001 * (r * 4 + c)); });
    ASSERT_TRUE(WriteNative(*doc, dir / "i.txt", TNativeKind::Int));
    const auto ints = IntsOf(GetFile(dir / "i.int"));
    for (int32_t n : ints) EXPECT_LE(std::abs(static_cast<long long>(n)), 1000000000LL);
    EXPECT_GT(*std::max_element(ints.begin(), ints.end()), 100000000);
    auto back = Load(dir / "i.txt");
    ASSERT_EQ(back.size(), 1u);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(back[0]->Picture.Data[r][c], doc->Picture.Data[r][c], 1e-3);
}

TEST_F(NativeWriter, FlatImageKeepsItsScale) {
    auto doc = MakeDoc(3, 3, [](int, int) { return 2.5f; });
    doc->Picture.Para.Scale = 0.5;
    ASSERT_TRUE(WriteNative(*doc, dir / "f.txt", TNativeKind::Int));
    EXPECT_NE(GetFile(dir / "f.txt").find("\r\nScale    : 0.5\r\n"), std::string::npos);
    for (int32_t n : IntsOf(GetFile(dir / "f.int"))) EXPECT_EQ(n, 5);
    auto back = Load(dir / "f.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Picture.Data[1][1], 2.5f);
}

TEST_F(NativeWriter, ZeroScaleStillRestoresTheValues) {
    auto doc = MakeDoc(3, 2, Ramp);
    doc->Picture.Para.Scale = 0;
    ASSERT_TRUE(WriteNative(*doc, dir / "z.txt", TNativeKind::Int));
    EXPECT_TRUE(Texts().empty());
    auto back = Load(dir / "z.txt");
    ASSERT_EQ(back.size(), 1u);
    const double step = (doc->Picture.Max - doc->Picture.Min) / 1e6;
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(back[0]->Picture.Data[r][c], doc->Picture.Data[r][c], step);
}

TEST_F(NativeWriter, SamplesBeyondAFixedRangeSaturate) {
    auto doc = MakeDoc(3, 1, [](int, int c) { return c == 0 ? 1e6f : c == 1 ? -1e6f : 0.5f; });
    doc->Picture.FixedRange = 1;
    doc->Picture.Min = 0;
    doc->Picture.Max = 1;
    ASSERT_TRUE(WriteNative(*doc, dir / "x.txt", TNativeKind::Int));
    EXPECT_TRUE(Texts().empty());
    const auto ints = IntsOf(GetFile(dir / "x.int"));
    ASSERT_EQ(ints.size(), 3u);
    EXPECT_EQ(ints[0], std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ints[1], std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ints[2], 500000);
}

TEST_F(NativeWriter, NonFiniteSamplesAreReportedButTheFilesAreComplete) {
    auto doc = MakeDoc(3, 1, Ramp);
    doc->Picture.Data[0][0] = std::numeric_limits<float>::quiet_NaN();
    doc->Picture.Data[0][1] = std::numeric_limits<float>::infinity();
    ASSERT_TRUE(WriteNative(*doc, dir / "n.txt", TNativeKind::Int));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Error during saving data-file!"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    const auto ints = IntsOf(GetFile(dir / "n.int"));
    ASSERT_EQ(ints.size(), 3u);
    EXPECT_EQ(ints[0], 0);
    EXPECT_EQ(ints[1], std::numeric_limits<int32_t>::max());
    EXPECT_TRUE(FileExists(dir / "n.txt"));
}

TEST_F(NativeWriter, ExistingFilesAreNeverReplaced) {
    auto doc = MakeDoc(2, 2, Ramp);
    PutFile(dir / "a.txt", "keep");
    EXPECT_FALSE(WriteNative(*doc, dir / "a.txt", TNativeKind::Int));
    EXPECT_EQ(Texts(), std::vector<std::string>{dir / "a.txt" + " already exists! Abort!"});
    EXPECT_EQ(GetFile(dir / "a.txt"), "keep");
    EXPECT_FALSE(FileExists(dir / "a.int"));

    sink.Clear();
    PutFile(dir / "b.sin", "data");
    EXPECT_FALSE(WriteNative(*doc, dir / "b.txt", TNativeKind::Sin));
    EXPECT_EQ(Texts(), std::vector<std::string>{dir / "b.sin" + " already exists! Abort!"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    EXPECT_FALSE(FileExists(dir / "b.txt"));
    EXPECT_EQ(GetFile(dir / "b.sin"), "data");
    // The other kind's data file is no obstacle.
    sink.Clear();
    EXPECT_TRUE(WriteNative(*doc, dir / "b.txt", TNativeKind::Int));
    EXPECT_TRUE(Texts().empty());
}

TEST_F(NativeWriter, NothingIsLeftBehindWhenTheFolderIsMissing) {
    auto doc = MakeDoc(2, 2, Ramp);
    EXPECT_FALSE(WriteNative(*doc, dir / "no/such/a.txt", TNativeKind::Int));
    ASSERT_EQ(sink.Shown.size(), 1u);
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

// Both kinds of temporary file: a new name is written, an existing one kept or
// replaced as asked, a failing source leaves nothing, and no temporary file remains.
TEST_F(NativeWriter, CommittedFilesWithUnnamedAndNamedTemporaries) {
    for (const bool unnamed : {true, false}) {
        UnnamedTempFiles = unnamed;
        const std::string sub = dir / (unnamed ? "unnamed" : "named");
        std::filesystem::create_directory(sub);
        const std::string a = sub + "/a.bin", b = sub + "/b.bin";
        EXPECT_TRUE(CommitFile(a, "first", false));
        EXPECT_FALSE(CommitFile(a, "second", false));
        EXPECT_EQ(GetFile(a), "first");
        EXPECT_TRUE(CommitFile(a, "third", true));
        EXPECT_EQ(GetFile(a), "third");
        EXPECT_THROW(CommitStreamed(b, [](const TBlockSink& put) {
                         put("half", 4);
                         throw EInOutError("source failed");
                     }, false),
                     EInOutError);
        EXPECT_TRUE(CommitStreamed(b, [](const TBlockSink& put) { put("one ", 4), put("two", 3); }, false));
        EXPECT_EQ(GetFile(b), "one two");
        EXPECT_THROW(CommitFile(sub + "/missing/c.bin", "x", false), EInOutError);
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(sub)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"a.bin", "b.bin"})) << unnamed;
        // files are made with the usual permissions
        struct stat st {};
        ASSERT_EQ(::stat(a.c_str(), &st), 0);
        const mode_t mask = ::umask(0);
        ::umask(mask);
        EXPECT_EQ(st.st_mode & 0777, 0666 & ~mask) << unnamed;
    }
    UnnamedTempFiles = true;
}

TEST_F(NativeWriter, DataFileNames) {
    EXPECT_EQ(NativeDataFileName("/d/scan.txt", TNativeKind::Int), "/d/scan.int");
    EXPECT_EQ(NativeDataFileName("/d/scan.v2.txt", TNativeKind::Sin), "/d/scan.v2.sin");
    EXPECT_EQ(NativeDataFileName("/d/scan.", TNativeKind::Sin), "/d/scan.sin");
    // Without an extension the data file still gets one the reader knows.
    EXPECT_EQ(NativeDataFileName("/d.x/scan", TNativeKind::Int), "/d.x/scan.int");
}

TEST_F(NativeWriter, NameWithoutExtensionLoadsBack) {
    auto doc = MakeDoc(2, 2, Ramp);
    ASSERT_TRUE(WriteNative(*doc, dir / "plain", TNativeKind::Sin));
    // Only the two files, no temporary ones.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"plain", "plain.sin"}));
    EXPECT_NE(GetFile(dir / "plain").find("FileName : plain.sin\r\n"), std::string::npos);
    std::filesystem::rename(dir / "plain", dir / "plain.txt");
    auto back = Load(dir / "plain.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Picture.Data[1][1], doc->Picture.Data[1][1]);
}

TEST_F(NativeWriter, WithoutHeaderLinesAHeaderIsWrittenFromTheRecord) {
    auto doc = MakeDoc(2, 2, Ramp);
    doc->ScanInfo.clear();
    ASSERT_TRUE(WriteNative(*doc, dir / "h.txt", TNativeKind::Sin));
    EXPECT_EQ(GetFile(dir / "h.txt"),
              CrLf({"Version : 1.12", "XScanRange : 2000", "YScanRange : 1000.5", "XPhysUnit : nm",
                    "YPhysUnit : nm", "xPixel : 2", "yPixel : 2", "FileDescBegin", "FileName : h.sin",
                    "Caption  : Topography Fwd", "Scale    : 1", "PhysUnit : nm", "FileDescEnd"}));
    auto back = Load(dir / "h.txt");
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Picture.Data[1][0], doc->Picture.Data[1][0]);
}

TEST_F(NativeWriter, SavedPixelCountsFollowTheImage) {
    // A loaded image that was later resized keeps its old header lines; the counts are
    // written anew.
    auto doc = MakeDoc(4, 3, Ramp);
    ASSERT_TRUE(WriteNative(*doc, dir / "r.txt", TNativeKind::Int));
    auto back = Load(dir / "r.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Picture.Cols, 4);
    EXPECT_EQ(back[0]->Picture.Rows, 3);
    EXPECT_DOUBLE_EQ(back[0]->Picture.Para.XScanRange, 2000.0);
    // Saving the loaded image again keeps its header and caption.
    ASSERT_TRUE(WriteNative(*back[0], dir / "r2.txt", TNativeKind::Int));
    const std::string first = GetFile(dir / "r.txt"), second = GetFile(dir / "r2.txt");
    EXPECT_EQ(first.substr(0, first.find("FileDescBegin")), second.substr(0, second.find("FileDescBegin")));
    EXPECT_NE(second.find("FileName : r2.int\r\nCaption  : Topography Fwd\r\n"), std::string::npos);
}
