// The processing history: what the dialogs record replays bit for bit through the
// operation table, survives Save As and open, and never disturbs the reader's keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/HistoryLines.h"
#include "formats/LoadFiles.h"
#include "formats/NativeWriter.h"
#include "processing/Arithmetic.h"
#include "processing/FFTView.h"
#include "processing/Geometry.h"
#include "processing/Histogram.h"
#include "processing/History.h"
#include "processing/Invert.h"
#include "processing/Kernels.h"
#include "processing/Leveling.h"
#include "processing/Operations.h"
#include "processing/Sphere.h"
#include "processing/WorkingCopy.h"
#include "core/Text.h"
#include "../formats/native_support.h"

using namespace native_test;

namespace {

size_t Count(const TQTVPicture& p) { return static_cast<size_t>(p.Cols) * static_cast<size_t>(p.Rows); }

// A tilted, bowed, noisy scan with a few spikes.
TImageDoc Scan(int cols = 64, int rows = 48, unsigned seed = 3)
{
    TImageDoc doc;
    doc.FileName = "scan.int";
    doc.Picture.SetSize(cols, rows);
    std::mt19937 gen(seed);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            doc.Picture.Data[r][c] = 3.0f + 0.2f * c - 0.1f * r + 0.004f * c * c + noise(gen);
    doc.Picture.Data[10][20] = 40.0f;
    doc.Picture.Data[30][5] = -25.0f;
    doc.Picture.Para.XScanRange = 100;
    doc.Picture.Para.YScanRange = 75;
    doc.Picture.Para.XPhysUnit = doc.Picture.Para.YPhysUnit = "nm";
    doc.Picture.Para.PhysUnit = "nm";
    doc.Picture.Render();
    return doc;
}

TImageDoc Copy(const TImageDoc& d)
{
    TImageDoc c;
    c.FileName = d.FileName;
    c.Picture.SetSize(d.Picture.Cols, d.Picture.Rows);
    std::memcpy(c.Picture.Data.Block(), d.Picture.Data.Block(), Count(d.Picture) * 4);
    c.Picture.Para = d.Picture.Para;
    c.Picture.Render();
    return c;
}

// A processing dialog as the form keeps it: the model's working copy of the source and
// the session of its presses; "Take Over" hands the samples back with the entries.
struct TDialog {
    TImageDoc& Doc;
    TQTVPicture Working;
    TDialogSession Session;

    explicit TDialog(TImageDoc& doc) : Doc(doc) { BeginWorkingCopy(Source(), Working); }
    TQTVPicture& Source() { return Doc.Picture; }
    void Do(const TOperation& op) { ASSERT_TRUE(Session.Do(op, Source(), Working)) << FormatOperation(op); }
    void TakeOver(bool histogram = false, bool zoom = false)
    {
        const std::vector<std::string> entries = Session.TakeOverEntries(Source(), Working, histogram, zoom);
        TakeOverWorkingCopy(Working, Source(), zoom, histogram);
        Doc.History.insert(Doc.History.end(), entries.begin(), entries.end());
        Source().Render();
    }
};

void Replay(TImageDoc& doc, const std::vector<std::string>& entries)
{
    for (const std::string& e : entries) {
        SCOPED_TRACE(e);
        ApplyOperation(ParseOperation(Latin1ToUtf8(e)), doc);
        doc.Picture.Render();
    }
}

void ExpectSame(const TImageDoc& a, const TImageDoc& b)
{
    ASSERT_EQ(a.Picture.Cols, b.Picture.Cols);
    ASSERT_EQ(a.Picture.Rows, b.Picture.Rows);
    EXPECT_EQ(0, std::memcmp(a.Picture.Data.Block(), b.Picture.Data.Block(), Count(a.Picture) * 4));
    EXPECT_EQ(0, std::memcmp(&a.Picture.Min, &b.Picture.Min, 4));
    EXPECT_EQ(0, std::memcmp(&a.Picture.Max, &b.Picture.Max, 4));
    EXPECT_EQ(a.Picture.FixedRange != 0, b.Picture.FixedRange != 0);
    EXPECT_EQ(a.Picture.Para.XScanRange, b.Picture.Para.XScanRange);
    EXPECT_EQ(a.Picture.Para.YScanRange, b.Picture.Para.YScanRange);
    EXPECT_EQ(a.Picture.Para.XPhysUnit, b.Picture.Para.XPhysUnit);
    EXPECT_EQ(a.Picture.Para.PhysUnit, b.Picture.Para.PhysUnit);
}

class History : public ::testing::Test {
protected:
    History() { SetDecimalSeparator('.'); }
    ~History() override { SetOperandLoader(nullptr); }
    TRecordingSink sink;
    TScopedMessageSink scoped{&sink};
};

struct TSession {
    const char* Name;
    std::function<void(TImageDoc&)> Run;  // works on the image as the windows do
};

}  // namespace

TEST_F(History, EveryCommandReplaysBitForBit)
{
    // the second operand of the arithmetic, "loaded" from its file
    const TImageDoc other = Scan(64, 48, 11);
    SetOperandLoader([&](const std::string& path, int channel) -> std::unique_ptr<TImageDoc> {
        EXPECT_EQ("/data/second.txt", path);
        EXPECT_EQ(2, channel);
        auto d = std::make_unique<TImageDoc>(Copy(other));
        return d;
    });

    const std::vector<TSession> sessions = {
        {"kernels, several presses", [](TImageDoc& doc) {
             TDialog d(doc);
             for (int k : {0, 4, 0, 9}) d.Do(TFilterOp{k});
             d.TakeOver();
         }},
        {"bad points twice: the second threshold from the range the dialog started with", [](TImageDoc& doc) {
             TDialog d(doc);
             for (double percent : {5.0, 2.5}) d.Do(d.Session.Noise(percent, d.Source()));
             d.TakeOver();
         }},
        {"Fourier view three times (the second press transforms back)", [](TImageDoc& doc) {
             TDialog d(doc);
             for (bool log : {false, true, false}) d.Do(d.Session.FFT(log, true));
             d.TakeOver();
         }},
        {"leveling: plane, lines of second order with Advanced", [](TImageDoc& doc) {
             TDialog d(doc);
             d.Do(d.Session.Level({1, 1}));
             d.Do(d.Session.Level({2, 2, true}));
             d.TakeOver();
         }},
        {"leveling through histogram bands, then again with the same marks", [](TImageDoc& doc) {
             TDialog d(doc);
             THistogram h;
             d.Working.Render();
             h.Count(d.Working);
             h.Select(20, 80, true);
             h.Select(100, 120, true);
             h.UpdateMarks(d.Working);
             d.Session.SelectBands(h.SelectedBands());
             d.Do(d.Session.Level({3, 1, true}));
             d.Do(d.Session.Level({1, 2, true}));  // marks kept from the selection
             d.TakeOver();
         }},
        {"leveling through an empty selection fits nothing", [](TImageDoc& doc) {
             TDialog d(doc);
             THistogram h;
             h.Count(d.Working);
             h.UpdateMarks(d.Working);
             d.Session.SelectBands(h.SelectedBands());
             d.Do(d.Session.Level({2, 1, true}));
             d.TakeOver();
         }},
        {"Points leveling", [](TImageDoc& doc) {
             TDialog d(doc);
             TLevelOp points;
             points.Method = 0;
             points.Points = {{3, 4}, {60, 7}, {30, 40}, {63, 47}};
             d.Do(d.Session.Level(points));
             d.TakeOver();
         }},
        {"histogram clip, range left to the values", [](TImageDoc& doc) {
             TDialog d(doc);
             d.Working.FixedRange = 0;
             THistogram h;
             h.Count(d.Working);
             h.Select(30, 140, true);
             TClipOp clip;
             h.ClipLimits(clip.Low, clip.High);
             d.Do(clip);
             d.TakeOver(true);
         }},
        {"histogram clip with a typed upper limit: the range stays fixed", [](TImageDoc& doc) {
             TDialog d(doc);
             d.Working.FixedRange = 0;
             d.Working.Max = ReadHistogramLimit("12.345");
             d.Working.FixedRange = 1;
             THistogram h;
             h.Count(d.Working);
             TClipOp clip;
             h.ClipLimits(clip.Low, clip.High);
             d.Do(clip);
             d.Working.Min = ReadHistogramLimit("-1,5");  // typed after the clip
             d.TakeOver(true);
         }},
        {"a fixed range, then released, then bad points", [](TImageDoc& doc) {
             {
                 TDialog d(doc);
                 d.Working.FixedRange = 0;
                 d.Working.Min = 0.1f;
                 d.Working.Max = 7.7f;
                 d.Working.FixedRange = 1;
                 d.TakeOver(true);
             }
             {
                 TDialog d(doc);
                 d.Working.FixedRange = 0;
                 d.TakeOver(true);
             }
             TDialog d(doc);
             d.Do(d.Session.Noise(3, d.Source()));
             d.TakeOver();
         }},
        {"zoom: only the last press counts", [](TImageDoc& doc) {
             TDialog d(doc);
             for (TZoomRect r : {TZoomRect{2, 30, 3, 31}, TZoomRect{5, 37, 9, 41}}) d.Do(TZoomOp{r});
             d.TakeOver(false, true);
         }},
        {"distortion, median and mean", [](TImageDoc& doc) {
             {
                 TDialog d(doc);
                 d.Do(TDistortionOp{0.1, -0.05, 1.0 / 3, 0.02});
                 d.TakeOver();
             }
             for (bool median : {true, false}) {
                 TDialog d(doc);
                 d.Do(median ? TOperation(TMedianOp{}) : TOperation(TMeanOp{}));
                 d.TakeOver();
             }
         }},
        {"sphere highpass, result switched twice", [](TImageDoc& doc) {
             TDialog d(doc);
             const TSphereRadius r = AcceptSphereRadius(7.3, d.Source());
             d.Do(TSphereOp{r.Radius, false, 0});
             for (int k = 1; k <= 2; ++k) d.Session.SwitchSphere(d.Source(), d.Working);
             d.TakeOver();
         }},
        {"inverse, rescale with units, arithmetic", [&](TImageDoc& doc) {
             for (const TOperation& op : {TOperation(TInvertOp{}),
                                          TOperation(TRescaleOp{{123.456, 0.1, 42.0, "\xB5m", "\xB5m", "pA"}, true}),
                                          TOperation(TArithOp{'/', "/data/second.txt", 2})}) {
                 ApplyOperation(op, doc);
                 doc.History.push_back(HistoryEntry(op));
                 doc.Picture.Render();
             }
         }},
    };
    for (const TSession& s : sessions) {
        SCOPED_TRACE(s.Name);
        TImageDoc processed = Scan();
        const TImageDoc original = Copy(processed);
        s.Run(processed);
        ASSERT_FALSE(processed.History.empty());
        TImageDoc replayed = Copy(original);
        Replay(replayed, processed.History);
        ExpectSame(processed, replayed);
        // the same entries read back from a saved file replay the same way
        std::string text;
        for (size_t i = 0; i < processed.History.size(); ++i)
            text += HistoryFileLine(i + 1, processed.History[i]) + "\r\n";
        EXPECT_EQ(processed.History, OperationsFromText(text));
    }
    EXPECT_TRUE(sink.Shown.empty()) << sink.Texts().front();
}

TEST_F(History, NumbersAreWrittenShortAndReadBackExactly)
{
    for (double v : {0.0, -0.0, 0.1, 1.0 / 3, -2.5e-300, 4.9e-324, 1.7976931348623157e308, 123456789.125, 1e21}) {
        const std::string t = ExactNumber(v);
        const double back = ParseOperationNumber(t, "v");
        EXPECT_EQ(0, std::memcmp(&back, &v, 8)) << t;
    }
    for (float v : {0.1f, 1e-45f, 3.4028235e38f, -7.77f, 16777217.0f, 1.0f / 3}) {
        const std::string t = ExactNumber(v);
        const float back = static_cast<float>(ParseOperationNumber(t, "v"));
        EXPECT_EQ(0, std::memcmp(&back, &v, 4)) << t;
    }
    EXPECT_EQ("0.1", ExactNumber(0.1));
    EXPECT_EQ("2.5", ExactNumber(2.5f));
}

TEST_F(History, NewOperationsRefuseWhatTheyCannotRun)
{
    for (const char* bad : {"level:Points:1:3:4", "level:Points:2:1:1:2:2", "level:Lines:1:band:1", "level:Lines:1:sideways",
                            "clip:1:2:3", "range", "range:1", "noise:1:2", "fft:inverse:inverse", "sphere:3:switch:low"}) {
        EXPECT_THROW(ParseOperation(bad), EOperationError) << bad;
    }
}

TEST_F(History, EscapingLeavesNoKeyAndRestoresTheText)
{
    std::vector<std::string> texts = {"", "level:Lines:1", "100% sure", "%065", "a\r\nb\x01"};
    std::string all;
    for (const std::string& k : NativeReaderKeys()) all += k;
    texts.push_back(all);
    for (const std::string& k : NativeReaderKeys()) {
        std::string lower;
        for (char c : k) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        texts.push_back("x" + lower + "y" + k);
    }
    texts.push_back("XScanRangeXPixel in X :FileDescBeginFileDescEnd");
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int i = 0; i < 200; ++i) {
        std::string t;
        for (int k = 0; k < 30; ++k) t.push_back(static_cast<char>(byte(gen)));
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        const std::string line = HistoryFileLine(7, t);
        std::string upper;
        for (char c : line) upper.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
        for (const std::string& k : NativeReaderKeys()) {
            std::string uk;
            for (char c : k) uk.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
            EXPECT_EQ(std::string::npos, upper.find(uk)) << line;
        }
        for (char c : line) EXPECT_GT(static_cast<unsigned char>(c), 13);
        std::string back;
        ASSERT_TRUE(ReadHistoryFileLine(line, back));
        EXPECT_EQ(t, back);
    }
    std::string entry;
    for (const char* notOurs : {";history 1 = x", "; history = x", "; history 1 x", "; history 1a = x", "Version : 1.12"})
        EXPECT_FALSE(ReadHistoryFileLine(notOurs, entry)) << notOurs;
}

class HistoryFile : public History {
protected:
    TScratchDir dir;

    std::vector<std::unique_ptr<TImageDoc>> Load(const std::string& path)
    {
        TLoadFiles loader(path);
        EXPECT_TRUE(loader.ReadParamFile());
        TKeepTarget t;
        loader.LoadChecked(std::vector<bool>(static_cast<size_t>(loader.Count()) + 1, true), t);
        return std::move(t.Docs);
    }
};

TEST_F(HistoryFile, SaveAsAndOpenKeepTheHistoryAndTheImage)
{
    TImageDoc doc = Scan();
    doc.CaptionTag = "Topo";
    doc.ScanInfo = {";a scan", "Version : 1.12", "XScanRange : 100", "YScanRange : 75", "XPhysUnit : nm",
                    "YPhysUnit : nm", "xPixel : 64", "yPixel : 48"};
    // entries naming every key of the format, in odd cases, and a file path with them
    std::string keys;
    for (const std::string& k : NativeReaderKeys()) keys += k;
    doc.History = {"level:Lines:1", "arith:-:/scans/FileDescBegin/" + keys + "/b.txt:2",
                   "rescale:1:2:3:\xB5m:pixel in x :Version", "filedescend:scale:OFFSET: caption"};
    for (TNativeKind kind : {TNativeKind::Sin, TNativeKind::Int}) {
        const std::string name = dir / (kind == TNativeKind::Sin ? "s.txt" : "i.txt");
        ASSERT_TRUE(WriteNative(doc, name, kind));
        auto docs = Load(name);
        ASSERT_EQ(1u, docs.size()) << (sink.Shown.empty() ? "" : sink.Texts().front());
        const TImageDoc& back = *docs[0];
        EXPECT_EQ(doc.History, back.History);
        EXPECT_EQ("Topo", back.CaptionTag);
        EXPECT_EQ(64, back.Picture.Cols);
        EXPECT_EQ(48, back.Picture.Rows);
        EXPECT_EQ(100, back.Picture.Para.XScanRange);
        EXPECT_EQ(name, back.SourcePath);
        EXPECT_EQ(1, back.SourceChannel);
        for (const std::string& l : back.ScanInfo) EXPECT_EQ(std::string::npos, l.find("history")) << l;
        if (kind == TNativeKind::Sin) {
            EXPECT_EQ(0, std::memcmp(doc.Picture.Data.Block(), back.Picture.Data.Block(), Count(doc.Picture) * 4));
        }
        // saved again: the history once, not twice
        const std::string again = dir / (kind == TNativeKind::Sin ? "s2.txt" : "i2.txt");
        ASSERT_TRUE(WriteNative(back, again, kind));
        auto docs2 = Load(again);
        ASSERT_EQ(1u, docs2.size());
        EXPECT_EQ(doc.History, docs2[0]->History);
    }
    EXPECT_TRUE(sink.Shown.empty()) << sink.Texts().front();
}

TEST_F(HistoryFile, HistoryLinesChangeNothingTheReaderFinds)
{
    // Files whose searches run to the end: a header without ranges, a block without
    // caption, scale and offset, a second block after the first. The same file with
    // history lines full of key names reads exactly as the file without them.
    PutFile(dir / "a.sin", FloatBytes({1, 2, 3, 4}));
    PutFile(dir / "b.sin", FloatBytes({5, 6, 7, 8}));
    std::string keys;
    for (const std::string& k : NativeReaderKeys()) keys += k + " ";
    std::string history;
    for (size_t i = 0; i < 3; ++i) history += HistoryFileLine(i + 1, keys + "a.sin b.sin " + std::to_string(i)) + "\r\n";
    const std::vector<std::string> bodies = {
        CurrentHeader(2, 2) + Block("a.sin", {"Caption : one", "Scale : 2"}) + Block("b.sin"),
        CrLf({"Version : 1.12", "xPixel : 2", "yPixel : 2"}) + Block("a.sin"),
        CrLf({"Version : 1.12", "XScanRange : 5", "YScanRange : 5", "XPhysUnit : nm", "YPhysUnit : nm", "xPixel : 2",
              "yPixel : 2"}) + Block("b.sin", {"PhysUnit : pA"}),
        CrLf({"Version : 1.01", "ScanRange [nm]: 20", "Pixel in X : 2", "Pixel in Y : 2", "Files", "a.sin", "one",
              "2", "nm", ""}),
        CrLf({"no version at all"}),
    };
    for (size_t i = 0; i < bodies.size(); ++i) {
        SCOPED_TRACE(i);
        PutFile(dir / "plain.txt", bodies[i]);
        PutFile(dir / "hist.txt", bodies[i] + history);
        sink.Clear();
        auto plain = Load(dir / "plain.txt");
        const std::vector<std::string> plainMessages = sink.Texts();
        sink.Clear();
        auto hist = Load(dir / "hist.txt");
        EXPECT_EQ(plainMessages, sink.Texts());
        ASSERT_EQ(plain.size(), hist.size());
        for (size_t k = 0; k < plain.size(); ++k) {
            const TImageDoc &p = *plain[k], &h = *hist[k];
            EXPECT_TRUE(p.History.empty());
            EXPECT_EQ(3u, h.History.size());
            EXPECT_EQ(p.ScanInfo, h.ScanInfo);
            EXPECT_EQ(p.CaptionTag, h.CaptionTag);
            EXPECT_EQ(p.Picture.Para.Scale, h.Picture.Para.Scale);
            EXPECT_EQ(p.Picture.Para.PhysUnit, h.Picture.Para.PhysUnit);
            EXPECT_EQ(p.Picture.Para.XScanRange, h.Picture.Para.XScanRange);
            EXPECT_EQ(p.Picture.Para.XPhysUnit, h.Picture.Para.XPhysUnit);
            ASSERT_EQ(p.Picture.Cols, h.Picture.Cols);
            EXPECT_EQ(0, std::memcmp(p.Picture.Data.Block(), h.Picture.Data.Block(), Count(p.Picture) * 4));
        }
    }
}

TEST_F(HistoryFile, OldFilesReadAsBeforeWithEveryLineInTheScanInformation)
{
    PutFile(dir / "a.int", IntBytes({1, 2, 3, 4}));
    const std::string text = CurrentHeader(2, 2) + Block("a.int", {"Scale : 1"}) + CrLf({"; history of the sample: annealed"});
    PutFile(dir / "old.txt", text);
    auto docs = Load(dir / "old.txt");
    ASSERT_EQ(1u, docs.size());
    EXPECT_TRUE(docs[0]->History.empty());
    const auto& info = docs[0]->ScanInfo;
    EXPECT_NE(info.end(), std::find(info.begin(), info.end(), "; history of the sample: annealed"));
    EXPECT_NE(info.end(), std::find(info.begin(), info.end(), "FileDescEnd"));
}

// The arithmetic step of a result replays only where the second image is what its file
// holds; otherwise the history keeps a note, and the script and the export name it.
TEST_F(History, ArithmeticStepsThatCannotBeReplayedAreNamed)
{
    TImageDoc second;
    second.Title = "scan.txt - Current";
    second.SourcePath = "/data/scan.txt";
    second.SourceChannel = 2;
    EXPECT_EQ(ArithStepEntry("-", second), "arith:-:/data/scan.txt:2");
    // steps read with a saved file, or ones that only set the colour range, keep it replayable
    second.History = {"median", "range:auto"};
    second.HistoryInFile = 1;
    EXPECT_EQ(ArithStepEntry("/", second), "arith:/:/data/scan.txt:2");
    second.History.push_back("filter:LowPass");
    const std::string processed = ArithStepEntry("/", second);
    EXPECT_EQ(processed, UnreplayableEntry("arith:/:/data/scan.txt:2",
                                           "the second image \"scan.txt - Current\" was processed after it was "
                                           "read from /data/scan.txt (filter:LowPass), and the file holds it "
                                           "unprocessed"));
    EXPECT_EQ(ArithStepEntry("", TImageDoc{}).rfind("# arith::", 0), 0u);
    TImageDoc calc;
    calc.FileName = calc.Title = "Calculus";
    EXPECT_NE(ArithStepEntry("+", calc).find("\"Calculus\" was not read from a file"), std::string::npos);

    // the replay refuses the note; the problems name the step, its text and why
    TImageDoc doc;
    doc.Title = "Calculus";
    doc.History = {"invert", processed, "median", "arith::x.txt:1"};
    EXPECT_THROW(ParseOperation(processed), EOperationError);
    const std::vector<std::string> problems = ReplayProblems(doc.History);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].rfind("Step 2 (arith:/:/data/scan.txt:2) cannot be replayed: the second image", 0), 0u);
    EXPECT_EQ(problems[1].rfind("Step 4 (arith::x.txt:1) cannot be replayed: arith: the operator", 0), 0u);
    EXPECT_TRUE(ReplayProblems({"invert", "median"}).empty());
    std::vector<std::string> names;
    EXPECT_TRUE(ReplayProblemsMessage({"invert"}, names).empty());
    EXPECT_NE(ReplayProblemsMessage(doc.History, names).find(problems[1]), std::string::npos);
    EXPECT_EQ(names, std::vector<std::string>{"/data/scan.txt"});

    // the script: a comment line per step, the note left out of the call, and it stops
    const std::string s = ProcessingScript(doc);
    EXPECT_NE(s.find("\n# " + problems[0] + ".\n"), std::string::npos);
    EXPECT_EQ(s.find("--op '# arith"), std::string::npos);
    EXPECT_NE(s.find("--op 'median'"), std::string::npos);
    EXPECT_LT(s.find("exit 1\n"), s.find("exec "));
}

TEST_F(History, OperationsFromAPlainListOrAParameterFile)
{
    EXPECT_EQ((std::vector<std::string>{"invert", "level:Lines:1", "filter:HighPass 1"}),
              OperationsFromText("# my pipeline\r\n  invert  \n\nlevel:Lines:1\n; a note\nfilter:HighPass 1"));
    const std::string param = CurrentHeader(2, 2) + Block("a.int") + HistoryFileLine(1, "median") + "\r\n" +
                              HistoryFileLine(2, "zoom:0:0:1:1") + "\r\n";
    EXPECT_EQ((std::vector<std::string>{"median", "zoom:0:0:1:1"}), OperationsFromText(param));
}

TEST_F(History, TheScriptCallsTheToolWithEveryEntryQuoted)
{
    TImageDoc doc;
    doc.Title = "demo_0.int - Topography";
    doc.SourcePath = "/scans/demo.txt";
    doc.SourceChannel = 2;
    doc.History = {"filter:HighPass 1", "rescale:1:1:1:\xB5m:it's:nm"};
    const std::string s = ProcessingScript(doc);
    EXPECT_EQ(0u, s.find("#!/bin/sh\n"));
    EXPECT_NE(std::string::npos, s.find("/scans/demo.txt, channel 2"));
    EXPECT_NE(std::string::npos, s.find("process \"$IN\" \"$OUT\""));
    EXPECT_NE(std::string::npos, s.find("--op 'filter:HighPass 1'"));
    EXPECT_NE(std::string::npos, s.find("--op 'rescale:1:1:1:\xC2\xB5m:it'\\''s:nm'"));
    doc.History.clear();
    EXPECT_NE(std::string::npos, ProcessingScript(doc).find(" convert \"$IN\" \"$OUT\""));
    EXPECT_EQ((std::vector<std::string>{"Processing", "1  invert", "2  median"}), ProcessingBlock({"invert", "median"}));
    EXPECT_TRUE(ProcessingBlock({}).empty());
}
