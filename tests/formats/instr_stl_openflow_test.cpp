// Binary STL export, and the file types and single-file loads of the open command.
#include <cmath>
#include <random>

#include "formats/Export.h"
#include "formats/OpenFlow.h"
#include "instr_util.h"

using namespace instr_test;

namespace {

struct TVec {
    float X, Y, Z;
};
struct TTriangle {
    TVec Normal, A, B, C;
    uint16_t Attribute;
};

float FloatAt(const std::string& s, size_t at)
{
    uint32_t bits = 0;
    for (int i = 3; i >= 0; --i) bits = (bits << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
}

uint32_t CountOf(const std::string& stl)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(stl[80 + static_cast<size_t>(i)]);
    return v;
}

TTriangle TriangleAt(const std::string& stl, size_t index)
{
    const size_t at = 84 + 50 * index;
    auto vec = [&](size_t k) { return TVec{FloatAt(stl, at + k), FloatAt(stl, at + k + 4), FloatAt(stl, at + k + 8)}; };
    return {vec(0), vec(12), vec(24), vec(36),
            static_cast<uint16_t>(static_cast<uint8_t>(stl[at + 48]) | (static_cast<uint8_t>(stl[at + 49]) << 8))};
}

TQTVPicture Grid(int32_t cols, int32_t rows, float (*f)(int32_t r, int32_t c))
{
    TQTVPicture pic;
    pic.SetSize(cols, rows);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) pic.Data[r][c] = f(r, c);
    pic.UpdateMinMax();
    return pic;
}

void ExpectVec(const TVec& v, float x, float y, float z)
{
    EXPECT_FLOAT_EQ(v.X, x);
    EXPECT_FLOAT_EQ(v.Y, y);
    EXPECT_FLOAT_EQ(v.Z, z);
}

}  // namespace

TEST(InstrStl, TwoByTwoImageGivesTwoTrianglesWithHeader)
{
    TQTVPicture pic = Grid(2, 2, [](int32_t r, int32_t c) { return 10.0f + r * 2 + c; });  // 10 11 / 12 13
    const std::string stl = BuildStl(pic);
    ASSERT_EQ(stl.size(), 184u);
    EXPECT_EQ(stl.substr(0, 16), "Velkore StL file");
    EXPECT_EQ(stl.substr(16, 64), std::string(64, '\0'));
    EXPECT_EQ(CountOf(stl), 2u);

    // z above the minimum 10: P(1,1) = 0, P(2,1) = 1, P(1,2) = 2, P(2,2) = 3
    const TTriangle t1 = TriangleAt(stl, 0);
    ExpectVec(t1.A, 1, 2, 2);
    ExpectVec(t1.B, 1, 1, 0);
    ExpectVec(t1.C, 2, 1, 1);
    const TTriangle t2 = TriangleAt(stl, 1);
    ExpectVec(t2.A, 2, 2, 3);
    ExpectVec(t2.B, 1, 2, 2);
    ExpectVec(t2.C, 2, 1, 1);
    EXPECT_EQ(t1.Attribute, 0);
    EXPECT_EQ(t2.Attribute, 0);
    // a plane z = x + 2y: normal (-1, -2, 1) / sqrt 6 for both
    const float n = 1.0f / std::sqrt(6.0f);
    ExpectVec(t1.Normal, -n, -2 * n, n);
    ExpectVec(t2.Normal, -n, -2 * n, n);
}

TEST(InstrStl, FlatImageLiesAtZeroWithUpwardNormals)
{
    TQTVPicture pic = Grid(4, 3, [](int32_t, int32_t) { return 7.25f; });
    const std::string stl = BuildStl(pic);
    ASSERT_EQ(CountOf(stl), 3u * 2 * 2);
    ASSERT_EQ(stl.size(), 84u + 12 * 50);
    for (size_t i = 0; i < 12; ++i) {
        const TTriangle t = TriangleAt(stl, i);
        ExpectVec(t.Normal, 0, 0, 1);
        EXPECT_EQ(t.A.Z, 0.0f);
        EXPECT_EQ(t.B.Z, 0.0f);
        EXPECT_EQ(t.C.Z, 0.0f);
    }
    // rows outside, columns inside: triangle 2k belongs to cell k
    ExpectVec(TriangleAt(stl, 2).B, 2, 1, 0);
    ExpectVec(TriangleAt(stl, 6).B, 1, 2, 0);
}

TEST(InstrStl, NormalsAreTheCrossProductOfTheWrittenVertices)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-3.0f, 3.0f);
    TQTVPicture pic;
    pic.SetSize(5, 4);
    for (int32_t r = 0; r < 4; ++r)
        for (int32_t c = 0; c < 5; ++c) pic.Data[r][c] = dist(rng);
    pic.Min = -10.0f;  // the record's minimum as it stands, not recomputed
    const std::string stl = BuildStl(pic);
    ASSERT_EQ(CountOf(stl), 3u * 4 * 2);
    ExpectVec(TriangleAt(stl, 0).B, 1, 1, pic.Data[0][0] + 10.0f);
    for (size_t i = 0; i < 24; ++i) {
        SCOPED_TRACE(i);
        const TTriangle t = TriangleAt(stl, i);
        const TVec u{t.B.X - t.C.X, t.B.Y - t.C.Y, t.B.Z - t.C.Z};
        const TVec v{t.B.X - t.A.X, t.B.Y - t.A.Y, t.B.Z - t.A.Z};
        TVec n{u.Y * v.Z - u.Z * v.Y, u.Z * v.X - u.X * v.Z, u.X * v.Y - u.Y * v.X};
        const float len = std::sqrt(n.X * n.X + n.Y * n.Y + n.Z * n.Z);
        EXPECT_NEAR(t.Normal.X, n.X / len, 1e-5);
        EXPECT_NEAR(t.Normal.Y, n.Y / len, 1e-5);
        EXPECT_NEAR(t.Normal.Z, n.Z / len, 1e-5);
        EXPECT_GT(t.Normal.Z, 0.0f);  // counter-clockwise from above
        // every vertex is a grid point with its sample
        for (const TVec& p : {t.A, t.B, t.C})
            EXPECT_FLOAT_EQ(p.Z, pic.Data[static_cast<int32_t>(p.Y) - 1][static_cast<int32_t>(p.X) - 1] + 10.0f);
    }
}

TEST(InstrStl, DegenerateGridsGiveOnlyTheHeader)
{
    for (auto size : {std::pair{5, 1}, std::pair{1, 5}, std::pair{1, 1}}) {
        TQTVPicture pic = Grid(size.first, size.second, [](int32_t, int32_t) { return 1.0f; });
        const std::string stl = BuildStl(pic);
        EXPECT_EQ(stl.size(), 84u);
        EXPECT_EQ(CountOf(stl), 0u);
    }
    TQTVPicture empty;
    EXPECT_EQ(BuildStl(empty).size(), 84u);
    // scan parameters naming more than the grid holds never reach outside it
    TQTVPicture pic = Grid(3, 3, [](int32_t r, int32_t c) { return float(r + c); });
    pic.Para.XPixel = 2000;
    pic.Para.YPixel = 2;
    const std::string stl = BuildStl(pic);
    EXPECT_EQ(CountOf(stl), 4u);
    EXPECT_EQ(stl.size(), 84u + 4 * 50);
    pic.Para.XPixel = -3;
    pic.Para.YPixel = -3;
    EXPECT_EQ(CountOf(BuildStl(pic)), 0u);
}

// ------------------------------------------------------------------ open flow

TEST(InstrOpenFlow, FileTypeByTheThreeCharactersAfterTheDot)
{
    const struct {
        const char* path;
        TFileKind kind;
    } cases[] = {
        {"a.bmp", TFileKind::Bitmap},       {"/x/y/scan.img", TFileKind::Burleigh},
        {"scan.IMG", TFileKind::Burleigh},  {"scan.Img", TFileKind::Unknown},
        {"m.par", TFileKind::Omicron},      {"m.txt", TFileKind::Native},
        {"m.TXT", TFileKind::Unknown},      {"t.tfp", TFileKind::TopoMetrix},
        {"t.2fp", TFileKind::TopoMetrix},   {"t.3fp", TFileKind::TopoMetrix},
        {"t.zfp", TFileKind::TopoMetrix},   {"t.tFP", TFileKind::Unknown},
        {"a.BMP", TFileKind::Unknown},      {"a.bm", TFileKind::Unknown},
        {"a.fp", TFileKind::Unknown},       {"noext", TFileKind::Unknown},
        {"a.", TFileKind::Unknown},         {"dir.bmp/file", TFileKind::Unknown},
        {"a.b.c.img", TFileKind::Burleigh}, {"C:\\data.bmp\\scan.par", TFileKind::Omicron},
        {"", TFileKind::Unknown},
    };
    for (const auto& c : cases) EXPECT_EQ(FileKindOf(c.path), c.kind) << c.path;
    EXPECT_STREQ(FileKindName(TFileKind::Native), "native");
    EXPECT_STREQ(FileKindName(TFileKind::Burleigh), "burleigh");
    EXPECT_STREQ(FileKindName(TFileKind::TopoMetrix), "topometrix");
    EXPECT_STREQ(FileKindName(TFileKind::Bitmap), "bitmap");
    EXPECT_STREQ(FileKindName(TFileKind::Omicron), "omicron");
}

namespace {

std::string SmallBitmap()
{
    TBytes b;
    b.Raw("BM").U32(0).U32(0).U32(1078).U32(40).U32(2).U32(1).U16(1).U16(8).Zeros(24).Zeros(1024);
    b.U8(5).U8(6).U8(0).U8(0);
    return b.Str();
}

class OpenFlowTest : public TInstrTest {
protected:
    TKeepTarget target;
};

}  // namespace

TEST_F(OpenFlowTest, LoadedFileBecomesOneFinishedDocument)
{
    const std::string path = scratch.Write("grey.bmp", SmallBitmap());
    EXPECT_TRUE(LoadSingleFile(path, TFileKind::Bitmap, target));
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(target.Docs.size(), 1u);
    EXPECT_EQ(target.Requested, std::vector<std::string>{"grey.bmp"});
    const TImageDoc& doc = *target.Docs[0];
    EXPECT_EQ(doc.FileName, "grey.bmp");
    EXPECT_EQ(doc.Title, "grey.bmp");
    EXPECT_EQ(doc.CaptionTag, "");
    EXPECT_EQ(doc.Picture.At(0, 1), 6.0f);
    EXPECT_EQ(target.Discarded, 0);
}

TEST_F(OpenFlowTest, MissingFileUnknownTypeAndLoadFailures)
{
    EXPECT_FALSE(LoadSingleFile(scratch.Path("gone.img"), TFileKind::Burleigh, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"File gone.img not found!"});
    EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Information);
    EXPECT_TRUE(target.Requested.empty());

    // a folder is no file
    sink.Clear();
    std::filesystem::create_directory(scratch.Path("dir.bmp"));
    EXPECT_FALSE(LoadSingleFile(scratch.Path("dir.bmp"), TFileKind::Bitmap, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"File dir.bmp not found!"});

    sink.Clear();
    EXPECT_FALSE(LoadSingleFile(scratch.Path("x.doc"), TFileKind::Unknown, target));
    ASSERT_EQ(Texts(), std::vector<std::string>{"Unknown file type"});
    EXPECT_EQ(sink.Shown[0].Title, "Error");

    // the target refusing a new document (too many windows)
    sink.Clear();
    target.Limit = 0;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("ok.bmp", SmallBitmap()), TFileKind::Bitmap, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Error during loading!"});
    EXPECT_TRUE(target.Docs.empty());
}
