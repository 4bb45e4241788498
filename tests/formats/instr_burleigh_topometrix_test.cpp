// Burleigh and TopoMetrix readers, driven through the loader and the open flow.
#include <limits>

#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"
#include "instr_util.h"

using namespace instr_test;

namespace {

struct TBurleighTrailer {
    uint32_t MaxX = 20000, MaxY = 20001, MaxZ = 3000;
    uint32_t X = 10000, Y = 5000, Z = 1200;
    uint16_t Delay = 3;
    int16_t Zoom = 4;
    int16_t DataType = 1;
    float Bias = 100.5f, Current = 0.25f;
};

std::string Burleigh(int16_t cols, int16_t rows, const std::string& samples, const TBurleighTrailer& t = {})
{
    TBytes b;
    b.U8(0x66).U8(0x66).U8(0x06).U8(0x40).U16(static_cast<uint16_t>(cols)).U16(static_cast<uint16_t>(rows));
    b.Raw(samples);
    b.U32(t.MaxX).U32(t.MaxY).U32(t.MaxZ).U32(t.X).U32(t.Y).U32(t.Z);
    b.U16(t.Delay).U16(static_cast<uint16_t>(t.Zoom)).U16(static_cast<uint16_t>(t.DataType)).U16(0xABCD);
    b.F32(t.Bias).F32(t.Current);
    return b.Str();
}

std::string Counts(std::initializer_list<uint16_t> values)
{
    TBytes b;
    for (uint16_t v : values) b.U16(v);
    return b.Str();
}

class BurleighTest : public TInstrTest {
protected:
    // Reads bytes as a Burleigh file into doc.
    void Read(const std::string& bytes)
    {
        TLoadFiles loader(scratch.Write("scan.img", bytes));
        loader.ReadBurleigh(doc);
    }
    TImageDoc doc;
};

}  // namespace

TEST_F(BurleighTest, RefusesAFileWithoutTheFormatMarkWhateverItsExtension)
{
    std::string bytes = Burleigh(2, 2, Counts({1, 2, 3, 4}));
    bytes[3] = 0x41;
    Read(bytes);
    EXPECT_FALSE(doc.Picture.HasData());
    ASSERT_EQ(Texts(), std::vector<std::string>{"File no valid Burleigh-format!"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);

    sink.Clear();
    Read("");  // nothing at all
    EXPECT_EQ(Texts(), std::vector<std::string>{"File no valid Burleigh-format!"});

    // through the open flow the refused document is dropped without a second message
    sink.Clear();
    TKeepTarget target;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("other.IMG", bytes), TFileKind::Burleigh, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"File no valid Burleigh-format!"});
    EXPECT_TRUE(target.Docs.empty());
    EXPECT_EQ(target.Discarded, 1);
}

TEST_F(BurleighTest, ScanInformationAndParametersComeFromTheTrailer)
{
    Read(Burleigh(2, 3, Counts({0, 0, 0, 0, 0, 0})));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_TRUE(Texts().empty());
    const std::vector<std::string> expected = {
        "max scan range X : 20000 Angstoem",
        "max scan range Y : 20001 Angstoem",
        "max scan range Z : 3000 Angstoem",
        "scan range X : 10000 \xC5",
        "scan range Y : 5000 \xC5",
        "scan range Z : 1200 \xC5",
        "0.15 ms delay between samples",
        "zoom level : 50",
        "data type : Height",
        "bias voltage : 100.5 mV",
        "tnneling current : 0.25 nA",
        "2 * 3 pixel",
    };
    EXPECT_EQ(doc.ScanInfo, expected);
    const TScanPara& p = doc.Picture.Para;
    EXPECT_EQ(p.XPixel, 2);
    EXPECT_EQ(p.YPixel, 3);
    EXPECT_DOUBLE_EQ(p.XScanRange, 200.0);  // 10000 / 50
    EXPECT_DOUBLE_EQ(p.YScanRange, 100.0);
    EXPECT_DOUBLE_EQ(p.Scale, 1200.0);
    EXPECT_EQ(p.XPhysUnit, "\xC5");
    EXPECT_EQ(p.YPhysUnit, "\xC5");
    EXPECT_EQ(p.PhysUnit, "\xC5");
}

TEST_F(BurleighTest, ZoomCodesAndCurrentData)
{
    const struct {
        int16_t code;
        const char* text;
        double factor;
    } zooms[] = {{1, "1", 1}, {3, "10", 10}, {5, "250", 250}, {0, "unknown", 1}, {6, "unknown", 1}};
    for (const auto& z : zooms) {
        SCOPED_TRACE(z.code);
        TBurleighTrailer t;
        t.Zoom = z.code;
        t.X = 25000;
        t.Y = 12500;
        t.DataType = 2;
        t.Bias = -0.1f;
        doc = TImageDoc();
        Read(Burleigh(1, 1, Counts({7}), t));
        ASSERT_EQ(doc.ScanInfo.size(), 12u);
        EXPECT_EQ(doc.ScanInfo[7], std::string("zoom level : ") + z.text);
        EXPECT_EQ(doc.ScanInfo[8], "data type : Current");
        // a single-precision real shown with all its digits
        EXPECT_EQ(doc.ScanInfo[9], "bias voltage : -0.100000001490116 mV");
        EXPECT_DOUBLE_EQ(doc.Picture.Para.XScanRange, 25000 / z.factor);
        EXPECT_DOUBLE_EQ(doc.Picture.Para.YScanRange, 12500 / z.factor);
        EXPECT_EQ(doc.Picture.Para.PhysUnit, "pA");
    }
}

TEST_F(BurleighTest, FirstLineIsTheTopRowAlsoForOblongImages)
{
    Read(Burleigh(3, 2, Counts({1, 2, 3, 4, 5, 6})));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.Cols, 3);
    EXPECT_EQ(doc.Picture.Rows, 2);
    EXPECT_EQ(doc.Picture.At(1, 0), 1.0f);
    EXPECT_EQ(doc.Picture.At(1, 2), 3.0f);
    EXPECT_EQ(doc.Picture.At(0, 0), 4.0f);
    EXPECT_EQ(doc.Picture.At(0, 2), 6.0f);

    doc = TImageDoc();
    Read(Burleigh(2, 3, Counts({1, 2, 3, 4, 5, 6})));
    EXPECT_EQ(doc.Picture.At(2, 0), 1.0f);
    EXPECT_EQ(doc.Picture.At(2, 1), 2.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 6.0f);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(BurleighTest, ResynchronisesAfterAnOddByteAndCapsAt4095)
{
    // 34 12 05: 0x12 is no high byte, so it is the low byte and 05 the high one.
    // 34 12 20: 0x2012 stays above 4095 after re-synchronising.
    // FF 0F is the largest regular value; 00 10 slips again.
    TBytes s;
    s.U8(0x34).U8(0x12).U8(0x05);
    s.U8(0x34).U8(0x12).U8(0x20);
    s.U8(0xFF).U8(0x0F);
    s.U8(0x00).U8(0x10).U8(0x01);
    Read(Burleigh(4, 1, s.Str()));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(0, 0), 1298.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 4095.0f);
    EXPECT_EQ(doc.Picture.At(0, 2), 4095.0f);
    EXPECT_EQ(doc.Picture.At(0, 3), 0x0110 * 1.0f);
    EXPECT_EQ(sink.Beeps, 1);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(BurleighTest, ShortSampleBlockKeepsWhatWasReadAndSaysSo)
{
    // 2 x 2 image with three samples: the fourth must not repeat the third.
    Read(Burleigh(2, 2, Counts({11, 12, 13})));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(1, 0), 11.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 12.0f);
    EXPECT_EQ(doc.Picture.At(0, 0), 13.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 0.0f);
    ASSERT_EQ(Texts(), std::vector<std::string>{"Read error encountered, process canceled"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);

    // a slip on the last byte before the trailer is a short file as well
    sink.Clear();
    doc = TImageDoc();
    Read(Burleigh(2, 1, TBytes().U8(1).U8(0).U8(0x34).U8(0x12).Str()));
    EXPECT_EQ(doc.Picture.At(0, 0), 1.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 0.0f);
    EXPECT_EQ(Texts(), std::vector<std::string>{"Read error encountered, process canceled"});

    // the open flow shows the partial image with that one message
    sink.Clear();
    TKeepTarget target;
    EXPECT_TRUE(LoadSingleFile(scratch.Write("short.img", Burleigh(2, 2, Counts({11, 12, 13}))), TFileKind::Burleigh, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Read error encountered, process canceled"});
    ASSERT_EQ(target.Docs.size(), 1u);
}

TEST_F(BurleighTest, FileWithoutTrailerOrSamplesIsRefused)
{
    for (const std::string& bytes : {Burleigh(2, 2, Counts({1, 2, 3, 4})).substr(0, 16), Burleigh(2, 2, "")}) {
        sink.Clear();
        Read(bytes);
        EXPECT_FALSE(doc.Picture.HasData());
        EXPECT_EQ(Texts(), std::vector<std::string>{"Read error encountered, process canceled"});
    }
}

TEST_F(BurleighTest, ImpossibleSizesAreRefusedBeforeAnythingIsAllocated)
{
    const struct {
        int16_t cols, rows;
        const char* text;
    } cases[] = {
        {2, -1, "Picture too small!"},
        {0, 5, "Picture too small!"},
        {32767, 2, "Picture too large! 32767 * 2 pixel, at most 2053 * 2053"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        sink.Clear();
        doc = TImageDoc();
        Read(Burleigh(c.cols, c.rows, Counts({1, 2, 3, 4})));
        EXPECT_FALSE(doc.Picture.HasData());
        EXPECT_EQ(Texts(), std::vector<std::string>{c.text});
    }
    // the open flow adds nothing to the reader's message
    sink.Clear();
    TKeepTarget target;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("big.img", Burleigh(3000, 3000, "")), TFileKind::Burleigh, target));
    EXPECT_EQ(Texts().size(), 1u);
    EXPECT_EQ(target.Discarded, 1);
}

// ------------------------------------------------------------------ TopoMetrix

namespace {

struct TTopoHeader {
    std::string Line1 = std::string("First line") + std::string(118, '\0');
    std::string Line2 = std::string(128, 'x');
    std::string Description = "tip 3, constant current";
    int32_t DataOffset = 512;
    int32_t Rows = 2, Cols = 2;
    float XMin = -1.5f, XMax = 2.5f, YMin = 0.0f, YMax = 0.1f;
    float ZScale = 0.5f, ZOffset = 0.0f;
    std::string ZUnit = "nA";
    std::string XYUnit = "nm        ";
};

std::string TopoMetrix(const TTopoHeader& h, const std::string& counts)
{
    TBytes b;
    b.Grow(512);
    b.PutText(0, h.Line1).PutText(128, h.Line2).PutText(300, h.Description);
    b.PutU32(260, static_cast<uint32_t>(h.DataOffset));
    b.PutU32(406, static_cast<uint32_t>(h.Rows)).PutU32(410, static_cast<uint32_t>(h.Cols));
    b.PutF32(418, h.XMin).PutF32(422, h.XMax).PutF32(426, h.YMin).PutF32(430, h.YMax);
    b.PutF32(434, h.ZScale).PutF32(438, h.ZOffset);
    b.PutText(450, h.ZUnit).PutText(460, h.XYUnit);
    b.Grow(static_cast<size_t>(std::max(h.DataOffset, 512)));
    b.Raw(counts);
    return b.Str();
}

class TopoMetrixTest : public TInstrTest {
protected:
    void Read(const std::string& bytes, const std::string& name = "scan.tfp")
    {
        TLoadFiles loader(scratch.Write(name, bytes));
        loader.ReadTopoMetrix(doc);
    }
    TImageDoc doc;
};

}  // namespace

TEST_F(TopoMetrixTest, GroupsAreImageColumnsRunningUpwards)
{
    Read(TopoMetrix(TTopoHeader{}, Counts({1, 2, 3, 4})));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(0, 0), 0.5f);
    EXPECT_EQ(doc.Picture.At(0, 1), 1.5f);
    EXPECT_EQ(doc.Picture.At(1, 0), 1.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 2.0f);
    EXPECT_TRUE(Texts().empty());

    // 3 columns of 2 rows: three groups of two, scale and offset applied
    TTopoHeader h;
    h.Cols = 3;
    h.Rows = 2;
    h.ZScale = 2.0f;
    h.ZOffset = -10.0f;
    doc = TImageDoc();
    Read(TopoMetrix(h, Counts({1, 2, 3, 4, 5, 65535})));
    ASSERT_EQ(doc.Picture.Cols, 3);
    ASSERT_EQ(doc.Picture.Rows, 2);
    EXPECT_EQ(doc.Picture.At(0, 0), -8.0f);
    EXPECT_EQ(doc.Picture.At(1, 0), -6.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), -4.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), -2.0f);
    EXPECT_EQ(doc.Picture.At(0, 2), 0.0f);
    EXPECT_EQ(doc.Picture.At(1, 2), 131060.0f);  // counts are unsigned

}

TEST_F(TopoMetrixTest, ScanInformationLinesRangesAndUnits)
{
    Read(TopoMetrix(TTopoHeader{}, Counts({1, 2, 3, 4})));
    const std::vector<std::string> expected = {
        "First line",
        std::string(128, 'x'),
        "description : tip 3, constant current",
        "X min  : -1.5nm        ",
        "X max  : 2.5nm        ",
        "Y min  : 0nm        ",
        "Y max  : 0.100000001490116nm        ",
        "Z unit : nA",
    };
    EXPECT_EQ(doc.ScanInfo, expected);
    EXPECT_EQ(doc.Picture.Para.XPixel, 2);
    EXPECT_EQ(doc.Picture.Para.YPixel, 2);
    // the ranges are the extents of the header, the units its unit fields
    EXPECT_EQ(doc.Picture.Para.XScanRange, 4.0);
    EXPECT_EQ(doc.Picture.Para.YScanRange, static_cast<double>(0.1f));
    EXPECT_EQ(doc.Picture.Para.XPhysUnit, "nm");
    EXPECT_EQ(doc.Picture.Para.YPhysUnit, "nm");
    EXPECT_EQ(doc.Picture.Para.PhysUnit, "nA");

    // max below min still gives the extent; unreadable bounds give no range
    TTopoHeader h;
    h.XMin = 10.0f;
    h.XMax = 4.0f;
    h.YMax = std::numeric_limits<float>::infinity();
    doc = TImageDoc();
    Read(TopoMetrix(h, Counts({1, 2, 3, 4})));
    EXPECT_EQ(doc.Picture.Para.XScanRange, 6.0);
    EXPECT_EQ(doc.Picture.Para.YScanRange, 0.0);
}

TEST_F(TopoMetrixTest, TruncatedSampleBlockKeepsWhatWasReadAndSaysSo)
{
    Read(TopoMetrix(TTopoHeader{}, Counts({1, 2, 3}) + "\x07"), "cut.tfp");
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(0, 1), 1.5f);
    EXPECT_EQ(doc.Picture.At(1, 1), 0.0f);  // not a repeat of the last value
    ASSERT_EQ(Texts(), std::vector<std::string>{"File cut.tfp is truncated: only 3 of 4 samples read"});

    // through the open flow: shown with the message, no second one
    sink.Clear();
    TKeepTarget target;
    EXPECT_TRUE(LoadSingleFile(scratch.Write("cut.2fp", TopoMetrix(TTopoHeader{}, Counts({1}))), TFileKind::TopoMetrix, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"File cut.2fp is truncated: only 1 of 4 samples read"});
    EXPECT_EQ(target.Docs.size(), 1u);
}

TEST_F(TopoMetrixTest, NothingToReadGivesNoImage)
{
    // samples beyond the end of the file, before its start, or no full header
    TTopoHeader beyond;
    beyond.DataOffset = 100000;
    TTopoHeader negative;
    negative.DataOffset = -4;
    const std::string files[] = {TopoMetrix(beyond, ""), TopoMetrix(negative, Counts({1, 2, 3, 4})).substr(0, 514),
                                 TopoMetrix(TTopoHeader{}, "")};
    for (const std::string& bytes : files) {
        sink.Clear();
        doc = TImageDoc();
        Read(bytes, "none.tfp");
        EXPECT_FALSE(doc.Picture.HasData());
        EXPECT_EQ(Texts(), std::vector<std::string>{"File none.tfp is truncated: only 0 of 4 samples read"});
    }
    sink.Clear();
    Read(std::string(300, '\0'), "none.tfp");
    EXPECT_FALSE(doc.Picture.HasData());
    EXPECT_EQ(Texts(), std::vector<std::string>{"File none.tfp is truncated: the 512-byte header is incomplete"});

    sink.Clear();
    TKeepTarget target;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("none.3fp", TopoMetrix(beyond, "")), TFileKind::TopoMetrix, target));
    EXPECT_EQ(Texts().size(), 1u);
    EXPECT_EQ(target.Discarded, 1);
}

TEST_F(TopoMetrixTest, ImpossibleSizesAreRefused)
{
    const struct {
        int32_t cols, rows;
        const char* text;
    } cases[] = {
        {2, -5, "Picture too small!"},
        {2, 2147483647, "Picture too large! 2 * 2147483647 pixel, at most 2053 * 2053"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        TTopoHeader h;
        h.Cols = c.cols;
        h.Rows = c.rows;
        sink.Clear();
        doc = TImageDoc();
        Read(TopoMetrix(h, Counts({1, 2, 3, 4})));
        EXPECT_FALSE(doc.Picture.HasData());
        EXPECT_EQ(Texts(), std::vector<std::string>{c.text});
    }
}
