// Bitmap import, bitmap and JPEG export.
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <limits>

#include <jpeglib.h>

#include "formats/ImageWriters.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"
#include "instr_util.h"

using namespace instr_test;

namespace {

struct TRgb {
    uint8_t R, G, B;
};

// File and information header of an uncompressed bitmap; pixel bytes follow at offset.
TBytes BitmapHeader(int32_t width, int32_t height, uint16_t bits, uint32_t paletteEntries, const char* sig = "BM")
{
    const uint32_t offset = 14 + 40 + paletteEntries * 4;
    TBytes b;
    b.Raw(std::string(sig, 2)).U32(0).U16(0).U16(0).U32(offset);
    b.U32(40).U32(static_cast<uint32_t>(width)).U32(static_cast<uint32_t>(height)).U16(1).U16(bits);
    b.U32(0).U32(0).U32(2835).U32(2835).U32(paletteEntries).U32(0);
    return b;
}

// 8-bit bitmap; rows bottom first, each padded with pad bytes to a multiple of 4.
std::string Bitmap8(int32_t width, int32_t height, const std::vector<std::vector<uint8_t>>& rows,
                    const std::vector<TRgb>& palette, uint8_t pad = 0xEE, const char* sig = "BM")
{
    TBytes b = BitmapHeader(width, height, 8, 256, sig);
    for (size_t i = 0; i < 256; ++i) {
        const TRgb c = i < palette.size() ? palette[i] : TRgb{uint8_t(i), uint8_t(i), uint8_t(i)};
        b.U8(c.B).U8(c.G).U8(c.R).U8(0);
    }
    for (const auto& row : rows) {
        for (uint8_t v : row) b.U8(v);
        for (size_t k = row.size(); k % 4; ++k) b.U8(pad);
    }
    return b.Str();
}

std::string Bitmap24(int32_t width, int32_t height, const std::vector<std::vector<TRgb>>& rows, const char* sig = "BM")
{
    TBytes b = BitmapHeader(width, height, 24, 0, sig);
    for (const auto& row : rows) {
        for (const TRgb& c : row) b.U8(c.B).U8(c.G).U8(c.R);
        for (size_t k = row.size() * 3; k % 4; ++k) b.U8(0x5A);
    }
    return b.Str();
}

class BitmapTest : public TInstrTest {
protected:
    void Read(const std::string& bytes, const std::string& name = "pic.bmp")
    {
        TLoadFiles loader(scratch.Write(name, bytes));
        loader.ReadBitmap(doc);
    }
    TImageDoc doc;
};

}  // namespace

TEST_F(BitmapTest, EightBitIndicesBecomeSamplesAndPaddingIsSkipped)
{
    // width 3: every row takes 4 bytes; palette index 0 is white, still sample 0
    Read(Bitmap8(3, 2, {{0, 1, 2}, {3, 4, 255}}, {{255, 255, 255}}));
    ASSERT_TRUE(doc.Picture.HasData());
    ASSERT_EQ(doc.Picture.Cols, 3);
    ASSERT_EQ(doc.Picture.Rows, 2);
    EXPECT_EQ(doc.Picture.At(0, 0), 0.0f);
    EXPECT_EQ(doc.Picture.At(0, 2), 2.0f);
    EXPECT_EQ(doc.Picture.At(1, 0), 3.0f);  // not the padding byte 0xEE
    EXPECT_EQ(doc.Picture.At(1, 2), 255.0f);
    const TScanPara& p = doc.Picture.Para;
    EXPECT_DOUBLE_EQ(p.XScanRange, 3.0);
    EXPECT_DOUBLE_EQ(p.YScanRange, 2.0);
    EXPECT_DOUBLE_EQ(p.Scale, 1.0);
    EXPECT_EQ(p.XPhysUnit, "Pixel");
    EXPECT_EQ(p.YPhysUnit, "Pixel");
    EXPECT_EQ(p.PhysUnit, "Pixel");
    EXPECT_TRUE(Texts().empty());
}

TEST_F(BitmapTest, OtherDepthsGiveRedPlusGreenPlusBlue)
{
    const TRgb white{255, 255, 255}, red{255, 0, 0}, green{0, 255, 0}, mixed{10, 20, 30};
    Read(Bitmap24(2, 2, {{white, red}, {green, mixed}}));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(0, 0), 765.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 255.0f);
    EXPECT_EQ(doc.Picture.At(1, 0), 255.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 60.0f);
    EXPECT_EQ(doc.Picture.Para.PhysUnit, "Pixel");

    // 4 bits per pixel: the palette colours summed
    TBytes b = BitmapHeader(3, 1, 4, 16);
    for (int i = 0; i < 16; ++i) b.U8(uint8_t(i)).U8(uint8_t(2 * i)).U8(uint8_t(3 * i)).U8(0);  // blue, green, red
    b.U8(0x1F).U8(0x20).U8(0).U8(0);  // indices 1, 15, 2
    doc = TImageDoc();
    Read(b.Str());
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(0, 0), 6.0f);
    EXPECT_EQ(doc.Picture.At(0, 1), 90.0f);
    EXPECT_EQ(doc.Picture.At(0, 2), 12.0f);
    EXPECT_TRUE(Texts().empty());
}

TEST_F(BitmapTest, SignatureInEitherCaseOtherwiseRefused)
{
    Read(Bitmap8(1, 1, {{9}}, {}, 0, "bm"));
    EXPECT_EQ(doc.Picture.At(0, 0), 9.0f);
    doc = TImageDoc();
    Read(Bitmap24(1, 1, {{{1, 2, 3}}}, "bM"));
    EXPECT_EQ(doc.Picture.At(0, 0), 6.0f);
    EXPECT_TRUE(Texts().empty());

    for (const std::string& bytes : {std::string("GIF89a"), std::string("B"), std::string()}) {
        sink.Clear();
        doc = TImageDoc();
        Read(bytes);
        EXPECT_FALSE(doc.Picture.HasData());
        ASSERT_EQ(Texts(), std::vector<std::string>{"Not a Bitmap image! Convert canceled"});
        EXPECT_EQ(sink.Shown[0].Kind, TMsgKind::Error);
    }
    sink.Clear();
    TKeepTarget target;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("fake.bmp", "PK\x03\x04"), TFileKind::Bitmap, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Not a Bitmap image! Convert canceled"});
    EXPECT_EQ(target.Discarded, 1);
}

TEST_F(BitmapTest, TopDownBitmapsStartWithTheTopRow)
{
    // a negative height: the first stored line is the top row (row Rows - 1)
    Read(Bitmap8(3, -2, {{1, 2, 3}, {4, 5, 6}}, {}));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_TRUE(Texts().empty());
    ASSERT_EQ(doc.Picture.Rows, 2);
    ASSERT_EQ(doc.Picture.Cols, 3);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(doc.Picture.At(1, c), float(1 + c));
        EXPECT_EQ(doc.Picture.At(0, c), float(4 + c));
    }
    EXPECT_EQ(doc.Picture.Para.YScanRange, 2.0);

    // the same picture stored bottom-up gives the same samples, in every depth
    const std::vector<std::vector<TRgb>> top = {{{255, 0, 0}, {0, 0, 1}}, {{255, 255, 255}, {1, 2, 3}}};
    for (bool down : {true, false}) {
        doc = TImageDoc();
        std::vector<std::vector<TRgb>> stored = top;
        if (!down) std::swap(stored[0], stored[1]);
        Read(Bitmap24(2, down ? -2 : 2, stored));
        ASSERT_TRUE(doc.Picture.HasData()) << down;
        EXPECT_EQ(doc.Picture.At(1, 0), 255.0f) << down;
        EXPECT_EQ(doc.Picture.At(1, 1), 1.0f) << down;
        EXPECT_EQ(doc.Picture.At(0, 0), 765.0f) << down;
        EXPECT_EQ(doc.Picture.At(0, 1), 6.0f) << down;
    }

    // cut after the first stored line: the top row was read, the bottom row stays 0
    sink.Clear();
    doc = TImageDoc();
    const std::string whole = Bitmap8(4, -2, {{9, 8, 7, 6}, {5, 4, 3, 2}}, {});
    Read(whole.substr(0, whole.size() - 4));
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(1, 0), 9.0f);
    EXPECT_EQ(doc.Picture.At(0, 0), 0.0f);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File pic.bmp is truncated: only 4 of 8 samples read"});
}

TEST_F(BitmapTest, OversizedBitmapsAreRefused)
{
    Read(BitmapHeader(100000, 1, 24, 0).Str());
    EXPECT_FALSE(doc.Picture.HasData());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Picture too large! 100000 * 1 pixel, at most 2053 * 2053"});

    sink.Clear();
    Read(BitmapHeader(0, 7, 8, 256).Str());
    EXPECT_EQ(Texts(), std::vector<std::string>{"Picture too small!"});
}

TEST_F(BitmapTest, TruncatedPixelsStayZeroAndAreReported)
{
    // 3 x 2, 8 bits: the second row has only its first byte
    std::string bytes = Bitmap8(3, 2, {{1, 2, 3}, {4, 5, 6}}, {});
    bytes.resize(bytes.size() - 3);
    Read(bytes, "cut.bmp");
    ASSERT_TRUE(doc.Picture.HasData());
    EXPECT_EQ(doc.Picture.At(1, 0), 4.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 0.0f);
    EXPECT_EQ(doc.Picture.At(1, 2), 0.0f);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File cut.bmp is truncated: only 4 of 6 samples read"});

    // 24 bits: the last pixel lacks its red byte
    const TRgb c{100, 100, 100};
    bytes = Bitmap24(2, 2, {{c, c}, {c, c}});
    bytes.resize(bytes.size() - 3);  // padding of 2 bytes and the red byte
    sink.Clear();
    doc = TImageDoc();
    Read(bytes, "cut.bmp");
    EXPECT_EQ(doc.Picture.At(1, 0), 300.0f);
    EXPECT_EQ(doc.Picture.At(1, 1), 0.0f);
    EXPECT_EQ(Texts(), std::vector<std::string>{"File cut.bmp is truncated: only 3 of 4 samples read"});

    // headers only: no image at all
    sink.Clear();
    doc = TImageDoc();
    Read(BitmapHeader(4, 4, 24, 0).Str(), "cut.bmp");
    EXPECT_FALSE(doc.Picture.HasData());
    EXPECT_EQ(Texts(), std::vector<std::string>{"File cut.bmp is truncated: only 0 of 16 samples read"});

    sink.Clear();
    Read("BM\x10\x00", "cut.bmp");
    EXPECT_FALSE(doc.Picture.HasData());
    EXPECT_EQ(Texts(), std::vector<std::string>{"File cut.bmp is truncated: the bitmap header is incomplete"});
}

TEST_F(BitmapTest, UndecodableBitmapEndsTheLoadWithTheLoadError)
{
    // compressed (RLE) pixels cannot be taken as indices or decoded
    TBytes b = BitmapHeader(2, 2, 8, 256);
    b.PutU32(30, 1);
    b.Zeros(256 * 4 + 16);
    TKeepTarget target;
    EXPECT_FALSE(LoadSingleFile(scratch.Write("rle.bmp", b.Str()), TFileKind::Bitmap, target));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Error during loading!"});
    EXPECT_EQ(target.Discarded, 1);
    EXPECT_TRUE(target.Docs.empty());
}

// ------------------------------------------------------------------ export

namespace {

// A rendered record of cols x rows with distinct values.
TQTVPicture Ramp(int32_t cols, int32_t rows)
{
    TQTVPicture pic;
    pic.SetSize(cols, rows);
    for (int32_t r = 0; r < rows; ++r)
        for (int32_t c = 0; c < cols; ++c) pic.Data[r][c] = static_cast<float>(r * cols + c) * 0.37f - 2.0f;
    pic.Render();
    return pic;
}

struct TDecodedJpeg {
    int Width = 0, Height = 0, Components = 0;
    bool Progressive = true;
    std::vector<uint8_t> Pixels;
};

TDecodedJpeg DecodeJpeg(const std::string& bytes)
{
    TDecodedJpeg out;
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.Progressive = cinfo.progressive_mode;
    jpeg_start_decompress(&cinfo);
    out.Width = static_cast<int>(cinfo.output_width);
    out.Height = static_cast<int>(cinfo.output_height);
    out.Components = cinfo.output_components;
    out.Pixels.resize(static_cast<size_t>(out.Width) * out.Height * out.Components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.Pixels.data() + static_cast<size_t>(cinfo.output_scanline) * out.Width * out.Components;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return out;
}

uint32_t U32At(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}

}  // namespace

TEST_F(BitmapTest, WrittenBitmapReadsBackWithTheSameIndices)
{
    TQTVPicture pic = Ramp(5, 3);
    pic.Palette.Entries[7] = {1, 2, 3, 1};
    const std::string bytes = BuildBitmapFile(pic);
    // 8 bits, 40-byte information header, 256 palette entries, rows of 8 bytes
    ASSERT_EQ(bytes.size(), 14u + 40 + 1024 + 8 * 3);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(U32At(bytes, 2), bytes.size());
    EXPECT_EQ(U32At(bytes, 10), 1078u);
    EXPECT_EQ(U32At(bytes, 14), 40u);
    EXPECT_EQ(U32At(bytes, 26), 1u | (8u << 16));
    EXPECT_EQ(U32At(bytes, 54 + 7 * 4), 0x00010203u);  // blue, green, red, 0 of entry 7

    const std::string path = scratch.Path("out.bmp");
    WriteBitmapFile(pic, path);
    EXPECT_EQ(ReadAll(path), bytes);
    Read(bytes);
    ASSERT_TRUE(doc.Picture.HasData());
    ASSERT_EQ(doc.Picture.Cols, 5);
    ASSERT_EQ(doc.Picture.Rows, 3);
    for (int32_t r = 0; r < 3; ++r)
        for (int32_t c = 0; c < 5; ++c)
            EXPECT_EQ(doc.Picture.At(r, c), pic.Bitmap[static_cast<size_t>((2 - r) * 5 + c)]) << r << "," << c;
    EXPECT_EQ(doc.Picture.At(0, 0), 0.0f);  // the lowest sample
    EXPECT_EQ(doc.Picture.At(2, 4), 255.0f);
}

TEST_F(BitmapTest, UnrenderedRecordIsRenderedOnACopy)
{
    TQTVPicture pic;
    pic.SetSize(2, 1);
    pic.Data[0][0] = 1.0f;
    pic.Data[0][1] = 3.0f;
    pic.Bitmap.clear();  // as if never drawn
    const std::string bytes = BuildBitmapFile(pic);
    ASSERT_EQ(bytes.size(), 1078u + 4);
    EXPECT_EQ(static_cast<uint8_t>(bytes[1078]), 0);
    EXPECT_EQ(static_cast<uint8_t>(bytes[1079]), 255);
    EXPECT_TRUE(pic.Bitmap.empty());

    TQTVPicture empty;
    EXPECT_THROW(BuildBitmapFile(empty), EInOutError);
    EXPECT_THROW(BuildJpegFile(empty), EInOutError);
}

TEST_F(BitmapTest, ThumbnailOfAnUnrenderedRecordIsThatOfTheRenderedOne)
{
    // smaller than the thumbnail, larger in one direction, larger in both; with a
    // not-a-number sample and a fixed range
    for (const auto& [cols, rows] : {std::pair{5, 3}, std::pair{700, 40}, std::pair{300, 515}})
        for (const bool fixed : {false, true}) {
            TQTVPicture pic;
            pic.SetSize(cols, rows);
            for (int r = 0; r < rows; ++r)
                for (int c = 0; c < cols; ++c) pic.Data[r][c] = static_cast<float>((r * 31 + c * 17) % 97) - 40.0f;
            pic.Data[rows - 1][0] = std::numeric_limits<float>::quiet_NaN();
            if (fixed) {
                pic.FixedRange = 1;
                pic.Min = -10.0f;
                pic.Max = 30.0f;
            }
            pic.Bitmap.clear();
            const std::string thumb = BuildThumbnailPng(pic, 256);
            EXPECT_TRUE(pic.Bitmap.empty());
            pic.Render();
            EXPECT_EQ(thumb, BuildThumbnailPng(pic, 256)) << cols << "x" << rows << " " << fixed;
        }
    TQTVPicture empty;
    EXPECT_THROW(BuildThumbnailPng(empty, 256), EInOutError);
}

TEST_F(BitmapTest, JpegDecodesToTheRenderedColoursAtFullSize)
{
    TQTVPicture pic;
    pic.SetSize(40, 24);  // flat: every pixel palette entry 0
    pic.Render();
    pic.Palette.Entries[0] = {200, 40, 90, 1};
    const std::string path = scratch.Path("out.jpg");
    WriteJpegFile(pic, path);
    const TDecodedJpeg jpg = DecodeJpeg(ReadAll(path));
    EXPECT_EQ(jpg.Width, 40);
    EXPECT_EQ(jpg.Height, 24);
    EXPECT_EQ(jpg.Components, 3);
    EXPECT_FALSE(jpg.Progressive);
    for (size_t i = 0; i < jpg.Pixels.size(); i += 3) {
        EXPECT_NEAR(jpg.Pixels[i], 200, 6);
        EXPECT_NEAR(jpg.Pixels[i + 1], 40, 6);
        EXPECT_NEAR(jpg.Pixels[i + 2], 90, 6);
    }

    // an oblong ramp keeps its size and orientation: top line bright, bottom dark
    TQTVPicture ramp = Ramp(7, 33);
    const TDecodedJpeg r = DecodeJpeg(BuildJpegFile(ramp));
    EXPECT_EQ(r.Width, 7);
    EXPECT_EQ(r.Height, 33);
    const uint32_t top = ramp.PaletteColor(255), bottom = ramp.PaletteColor(0);
    EXPECT_NEAR(r.Pixels[(32 * 7 + 0) * 3 + 2], bottom & 0xFF, 16);
    EXPECT_NEAR(r.Pixels[(0 * 7 + 6) * 3 + 1], (top >> 8) & 0xFF, 16);
}

TEST_F(BitmapTest, WritesReplaceOnlyWhenCompleteAndFailuresThrow)
{
    TQTVPicture pic = Ramp(3, 3);
    const std::string path = scratch.Write("old.bmp", std::string(5000, 'x'));
    chmod(path.c_str(), 0640);
    WriteBitmapFile(pic, path);
    EXPECT_EQ(ReadAll(path), BuildBitmapFile(pic));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // nothing else is left in the folder
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(scratch.Dir())) files += e.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 1);

    // a record without picture leaves the existing file alone
    TQTVPicture empty;
    EXPECT_THROW(WriteJpegFile(empty, path), EInOutError);
    EXPECT_EQ(ReadAll(path), BuildBitmapFile(pic));

    EXPECT_THROW(WriteBitmapFile(pic, scratch.Path("no/such/folder/x.bmp")), EInOutError);
    EXPECT_THROW(WriteJpegFile(pic, scratch.Path("no/such/folder/x.jpg")), EInOutError);
    EXPECT_THROW(WriteBitmapFile(pic, scratch.Dir()), EInOutError);  // a folder, not a file
    EXPECT_TRUE(std::filesystem::is_directory(scratch.Dir()));
}
