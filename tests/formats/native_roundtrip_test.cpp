// Every readable format saved in the native format opens again with the same samples,
// ranges and units; file names are kept as the file system's bytes.
#include <cmath>

#include "broken_support.h"
#include "core/Errors.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "formats/OpenFlow.h"
#include "native_support.h"

using namespace native_test;
using broken_support::Corpus;

namespace {

class NativeRoundTrip : public TNativeTest {
protected:
    std::vector<std::unique_ptr<TImageDoc>> Open(const std::string& path, TFileKind kind) {
        TKeepTarget t;
        if (kind == TFileKind::Omicron) {
            sink.DefaultAnswer = TMsgResult::Yes;
            LoadOmicron(path, t);
        } else {
            LoadSingleFile(path, kind, t);
        }
        return std::move(t.Docs);
    }
    std::vector<std::unique_ptr<TImageDoc>> LoadNative(const std::string& path) {
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        return std::move(t.Docs);
    }
    // Saves doc both ways and checks what opens again.
    void ExpectRoundTrip(const TImageDoc& doc, const std::string& label) {
        static int n = 0;
        const TQTVPicture& a = doc.Picture;
        for (TNativeKind kind : {TNativeKind::Sin, TNativeKind::Int}) {
            const std::string name = dir / ("saved" + std::to_string(++n) + ".txt");
            sink.Clear();
            ASSERT_TRUE(WriteNative(doc, name, kind)) << label;
            const auto back = LoadNative(name);
            EXPECT_TRUE(Texts().empty()) << label << ": " << (Texts().empty() ? "" : Texts()[0]);
            ASSERT_EQ(back.size(), 1u) << label;
            const TQTVPicture& b = back[0]->Picture;
            ASSERT_EQ(b.Cols, a.Cols) << label;
            ASSERT_EQ(b.Rows, a.Rows) << label;
            EXPECT_DOUBLE_EQ(b.Para.XScanRange, a.Para.XScanRange) << label;
            EXPECT_DOUBLE_EQ(b.Para.YScanRange, a.Para.YScanRange) << label;
            EXPECT_EQ(b.Para.XPhysUnit, a.Para.XPhysUnit) << label;
            EXPECT_EQ(b.Para.YPhysUnit, a.Para.YPhysUnit) << label;
            EXPECT_EQ(b.Para.PhysUnit, a.Para.PhysUnit) << label;
            EXPECT_EQ(back[0]->CaptionTag, doc.CaptionTag) << label;
            // .sin holds the samples themselves; .int about a million steps over the range
            const double tol = kind == TNativeKind::Sin ? 0.0 : (a.Max - a.Min) / 2e6 * 1.001 + 1e-12;
            int bad = 0;
            for (int r = 0; r < a.Rows; ++r)
                for (int c = 0; c < a.Cols; ++c)
                    if (!(std::fabs(double(b.Data[r][c]) - double(a.Data[r][c])) <= tol)) ++bad;
            EXPECT_EQ(bad, 0) << label << (kind == TNativeKind::Sin ? " .sin" : " .int");
        }
    }
};

}  // namespace

TEST_F(NativeRoundTrip, EveryInstrumentFormatOpensAgainWithTheSameImage) {
    const struct {
        const char* path;
        TFileKind kind;
        size_t images;
    } inputs[] = {
        {"burleigh/ok.img", TFileKind::Burleigh, 1},      {"topometrix/ok.tfp", TFileKind::TopoMetrix, 1},
        {"bitmap/ok8.bmp", TFileKind::Bitmap, 1},         {"bitmap/ok24.bmp", TFileKind::Bitmap, 1},
        {"bitmap/top-down8.bmp", TFileKind::Bitmap, 1},   {"omicron/ok.par", TFileKind::Omicron, 5},
    };
    for (const auto& in : inputs) {
        const auto docs = Open(Corpus + in.path, in.kind);
        ASSERT_EQ(docs.size(), in.images) << in.path;
        for (const auto& d : docs) {
            // the instrument's scan information has no header the loader could use
            EXPECT_FALSE(HasCurrentHeader(d->ScanInfo)) << in.path;
            ExpectRoundTrip(*d, in.path);
        }
    }
}

TEST_F(NativeRoundTrip, InstrumentLinesFollowAFullHeader) {
    TImageDoc doc;
    doc.Picture.SetSize(3, 2);
    doc.Picture.Para.XScanRange = 12.5;
    doc.Picture.Para.YScanRange = 7;
    doc.Picture.Para.XPhysUnit = "\xC5";
    doc.Picture.Para.YPhysUnit = "\xC5";
    doc.Picture.Para.PhysUnit = "pA";
    doc.ScanInfo = {"scan range X : 25 \xC5", "Version: 3 of the firmware", "3 * 2 pixel"};
    doc.Picture.Render();
    ASSERT_TRUE(WriteNative(doc, dir / "b.txt", TNativeKind::Sin));
    EXPECT_EQ(GetFile(dir / "b.txt"),
              CrLf({"Version : 1.12", "XScanRange : 12.5", "YScanRange : 7", "XPhysUnit : \xC5",
                    "YPhysUnit : \xC5", "xPixel : 3", "yPixel : 2", "scan range X : 25 \xC5",
                    "Version: 3 of the firmware", "3 * 2 pixel", "FileDescBegin", "FileName : b.sin",
                    "Caption  : ", "Scale    : 1", "PhysUnit : pA", "FileDescEnd"}));

    // an old-generation header cannot carry the channel block: it is written anew too
    doc.ScanInfo = {"Version : 1.01", "ScanRange [nm]: 2000", "Pixel in X : 3", "Pixel in Y : 2", "Files"};
    ASSERT_TRUE(WriteNative(doc, dir / "o.txt", TNativeKind::Sin));
    const auto back = LoadNative(dir / "o.txt");
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->Picture.Para.XScanRange, 12.5);
    EXPECT_EQ(back[0]->Picture.Para.PhysUnit, "pA");

    // a current header is kept as it is
    EXPECT_TRUE(HasCurrentHeader({"Version : 1.11", "XScanRange : 1", "YScanRange : 1", "XPhysUnit : nm",
                                  "YPhysUnit : nm", "xPixel : 3", "yPixel : 2"}));
    // ... but one missing a key, or behind a channel block, is not one
    EXPECT_FALSE(HasCurrentHeader({"Version : 1.12", "XScanRange : 1", "XPhysUnit : nm", "YPhysUnit : nm",
                                   "xPixel : 3", "yPixel : 2"}));
    EXPECT_FALSE(HasCurrentHeader({"FileDescBegin", "Version : 1.12", "XScanRange : 1", "YScanRange : 1",
                                   "XPhysUnit : nm", "YPhysUnit : nm", "xPixel : 3", "yPixel : 2"}));
}

TEST_F(NativeRoundTrip, FileNamesStayTheFileSystemsBytes) {
    // "Messung_ü" as this platform writes it: UTF-8
    const std::string name = "Messung_\xC3\xBC";
    TImageDoc doc;
    doc.Picture.SetSize(2, 2);
    doc.Picture.Data[1][1] = 3;
    doc.Picture.Render();
    ASSERT_TRUE(WriteNative(doc, dir / (name + ".txt"), TNativeKind::Int));
    EXPECT_TRUE(FileExists(dir / (name + ".int")));
    EXPECT_NE(GetFile(dir / (name + ".txt")).find("FileName : " + name + ".int\r\n"), std::string::npos);
    const auto back = LoadNative(dir / (name + ".txt"));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0]->FileName, name + ".int");
    EXPECT_EQ(back[0]->Picture.Data[1][1], 3.0f);
}

namespace {
// Room for `room` documents; the next request is refused as the main window refuses
// a 33rd window: "Too many Data!" once, then ETooManyWindows.
class TFullTarget : public TLoadTarget {
public:
    explicit TFullTarget(int room) : room_(room) {}
    int Requests = 0;
    std::vector<std::unique_ptr<TImageDoc>> Docs;
    TImageDoc* NewDocument(const std::string& fileName) override {
        ++Requests;
        if (static_cast<int>(Docs.size()) >= room_) {
            ShowMessage("Too many Data!");
            throw ETooManyWindows();
        }
        Docs.push_back(std::make_unique<TImageDoc>());
        Docs.back()->FileName = fileName;
        return Docs.back().get();
    }
    void Finished(TImageDoc*) override {}
    void Discard(TImageDoc* doc) override {
        std::erase_if(Docs, [doc](const auto& d) { return d.get() == doc; });
    }

private:
    int room_;
};
}  // namespace

TEST_F(NativeRoundTrip, NoRoomForMoreWindowsIsSaidOnceAndEndsTheLoad) {
    PutFile(dir / "a.sin", FloatBytes({1, 2, 3, 4}));
    std::string text = CurrentHeader(2, 2);
    for (int i = 0; i < 6; ++i) text += Block("a.sin");
    PutFile(dir / "many.txt", text);
    TLoadFiles loader(dir / "many.txt");
    ASSERT_TRUE(loader.ReadParamFile());
    ASSERT_EQ(loader.Count(), 6);
    TFullTarget target(2);
    loader.LoadChecked(std::vector<bool>(7, true), target);
    EXPECT_EQ(target.Docs.size(), 2u);
    EXPECT_EQ(target.Requests, 3);  // the channels after the refused one are not tried
    EXPECT_EQ(Texts(), std::vector<std::string>{"Too many Data!"});

    // the single-file and Omicron loads say it once too
    sink.Clear();
    TFullTarget none(0);
    EXPECT_FALSE(LoadSingleFile(Corpus + "bitmap/ok8.bmp", TFileKind::Bitmap, none));
    EXPECT_EQ(LoadOmicron(Corpus + "omicron/ok.par", none), 0);
    EXPECT_EQ(none.Requests, 2);
    EXPECT_EQ(Texts(), (std::vector<std::string>{"Too many Data!",
                                                 "Found 2 topographic and1 spectroscopic image(s)\r"
                                                 "       Read spectroscopy data?",
                                                 "Too many Data!"}));
}
