// Picture export: 8-bit Windows bitmap and JPEG of the rendered image.
#include "formats/ImageWriters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include <jpeglib.h>
#include <zlib.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>

#include "core/Display.h"
#include "core/Errors.h"
#include "core/Files.h"

namespace {

// The picture as displayed: the record's bitmap when it matches the grid, otherwise a
// fresh rendering of a copy.
// Whether pic's bitmap shows its samples at their size (as the window painted it).
bool HasCurrentBitmap(const TQTVPicture& pic)
{
    const size_t n = static_cast<size_t>(pic.Cols > 0 ? pic.Cols : 0) * static_cast<size_t>(pic.Rows > 0 ? pic.Rows : 0);
    return n > 0 && pic.BitmapWidth == pic.Cols && pic.BitmapHeight == pic.Rows && pic.Bitmap.size() == n;
}

const TQTVPicture& Rendered(const TQTVPicture& pic, std::optional<TQTVPicture>& fresh)
{
    const size_t n = static_cast<size_t>(pic.Cols > 0 ? pic.Cols : 0) * static_cast<size_t>(pic.Rows > 0 ? pic.Rows : 0);
    if (HasCurrentBitmap(pic)) return pic;
    if (!pic.HasData()) throw EInOutError("The image holds no picture to save");
    TQTVPicture& copy = fresh.emplace();
    copy.CopySamplesFrom(pic);
    copy.Palette = pic.Palette;
    copy.FixedRange = pic.FixedRange;
    copy.Render();
    if (copy.Bitmap.size() != n || copy.BitmapWidth != pic.Cols || copy.BitmapHeight != pic.Rows)
        throw EInOutError("The image could not be rendered");
    return copy;
}

void PutU16(std::string& s, size_t at, uint16_t v)
{
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void PutU32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// ---- JPEG encoding through libjpeg; its errors come back here instead of ending the
// process.
struct TJpegJob {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    std::jmp_buf escape{};
    char message[JMSG_LENGTH_MAX] = {};
    unsigned char* memory = nullptr;
    unsigned long memorySize = 0;
};

void JpegErrorExit(j_common_ptr cinfo)
{
    auto* job = static_cast<TJpegJob*>(cinfo->client_data);
    (*cinfo->err->format_message)(cinfo, job->message);
    std::longjmp(job->escape, 1);
}

void JpegOutputMessage(j_common_ptr) {}  // warnings are not shown

// rgb: width x height pixels of three bytes, lines top-down. Only plain C data lives in
// this frame, so leaving it by longjmp skips no destructor.
bool EncodeJpeg(TJpegJob* job, const unsigned char* rgb, int width, int height, int quality)
{
    job->cinfo.err = jpeg_std_error(&job->jerr);
    job->jerr.error_exit = JpegErrorExit;
    job->jerr.output_message = JpegOutputMessage;
    job->cinfo.client_data = job;
    if (setjmp(job->escape)) {
        jpeg_destroy_compress(&job->cinfo);
        return false;
    }
    jpeg_create_compress(&job->cinfo);
    jpeg_mem_dest(&job->cinfo, &job->memory, &job->memorySize);
    job->cinfo.image_width = static_cast<JDIMENSION>(width);
    job->cinfo.image_height = static_cast<JDIMENSION>(height);
    job->cinfo.input_components = 3;
    job->cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&job->cinfo);
    jpeg_set_quality(&job->cinfo, quality, TRUE);
    jpeg_start_compress(&job->cinfo, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (job->cinfo.next_scanline < job->cinfo.image_height) {
        JSAMPROW line = const_cast<unsigned char*>(rgb + job->cinfo.next_scanline * stride);
        jpeg_write_scanlines(&job->cinfo, &line, 1);
    }
    jpeg_finish_compress(&job->cinfo);
    jpeg_destroy_compress(&job->cinfo);
    return true;
}

}  // namespace

std::string BuildBitmapFile(const TQTVPicture& source)
{
    std::optional<TQTVPicture> copy;
    const TQTVPicture& pic = Rendered(source, copy);
    const auto width = static_cast<size_t>(pic.Cols);
    const auto height = static_cast<size_t>(pic.Rows);
    const size_t stride = (width + 3) & ~size_t{3};
    const size_t offset = 14 + 40 + 256 * 4;
    const size_t imageSize = stride * height;

    std::string out(offset + imageSize, '\0');
    // file header
    out[0] = 'B';
    out[1] = 'M';
    PutU32(out, 2, static_cast<uint32_t>(out.size()));
    PutU32(out, 10, static_cast<uint32_t>(offset));
    // information header
    PutU32(out, 14, 40);
    PutU32(out, 18, static_cast<uint32_t>(width));
    PutU32(out, 22, static_cast<uint32_t>(height));  // positive: rows bottom-up
    PutU16(out, 26, 1);
    PutU16(out, 28, 8);
    PutU32(out, 30, 0);  // no compression
    PutU32(out, 34, static_cast<uint32_t>(imageSize));
    PutU32(out, 46, 256);  // colours used
    // palette: blue, green, red, reserved
    for (size_t i = 0; i < 256; ++i) {
        const TPaletteEntry& e = pic.Palette.Entries[i];
        out[54 + 4 * i] = static_cast<char>(e.Blue);
        out[54 + 4 * i + 1] = static_cast<char>(e.Green);
        out[54 + 4 * i + 2] = static_cast<char>(e.Red);
    }
    // pixel rows, the bottom line first; the padding stays zero
    for (size_t r = 0; r < height; ++r) {
        const uint8_t* line = pic.Bitmap.data() + (height - 1 - r) * width;
        std::memcpy(&out[offset + r * stride], line, width);
    }
    return out;
}

void WriteBitmapFile(const TQTVPicture& pic, const std::string& path)
{
    const std::string bytes = BuildBitmapFile(pic);
    WriteFileReplacing(path, bytes);
}

std::string BuildJpegFile(const TQTVPicture& source, int quality)
{
    std::optional<TQTVPicture> copy;
    const TQTVPicture& pic = Rendered(source, copy);
    const auto width = static_cast<size_t>(pic.Cols);
    const auto height = static_cast<size_t>(pic.Rows);

    // The palette colours as 24-bit pixels.
    std::vector<unsigned char> rgb(width * height * 3);
    for (size_t i = 0; i < width * height; ++i) {
        const TPaletteEntry& e = pic.Palette.Entries[pic.Bitmap[i]];
        rgb[3 * i] = e.Red;
        rgb[3 * i + 1] = e.Green;
        rgb[3 * i + 2] = e.Blue;
    }

    auto job = std::make_unique<TJpegJob>();
    const bool ok = EncodeJpeg(job.get(), rgb.data(), pic.Cols, pic.Rows, quality);
    std::string out;
    if (ok && job->memory) out.assign(reinterpret_cast<const char*>(job->memory), job->memorySize);
    std::free(job->memory);
    if (!ok) throw EInOutError(std::string("JPEG encoding failed: ") + job->message);
    return out;
}

void WriteJpegFile(const TQTVPicture& pic, const std::string& path, int quality)
{
    const std::string bytes = BuildJpegFile(pic, quality);
    WriteFileReplacing(path, bytes);
}

// ---- PNG: 24-bit colour pixels, as the palette shows them

namespace {

void AppendBytes(void* context, void* data, int size)
{
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

std::string EncodePng(const std::vector<unsigned char>& rgb, int width, int height)
{
    std::string out;
    if (!stbi_write_png_to_func(AppendBytes, &out, width, height, 3, rgb.data(), width * 3))
        throw EInOutError("PNG encoding failed");
    return out;
}

void PutColour(std::vector<unsigned char>& rgb, size_t at, const TPaletteEntry& e)
{
    rgb[3 * at] = e.Red;
    rgb[3 * at + 1] = e.Green;
    rgb[3 * at + 2] = e.Blue;
}

void PutBigEndian(std::string& out, uint32_t v)
{
    for (int k = 3; k >= 0; --k) out.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

void PngChunk(std::string& out, const char* type, const std::string& data)
{
    std::string chunk(type, 4);
    chunk += data;
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    out += chunk;
    PutBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(chunk.size()))));
}

// An 8-bit palette PNG of width x height indices (lines top-down): the palette image
// as it is, a third of the colour pixels' size and much quicker to compress.
std::string EncodeIndexedPng(const uint8_t* indices, int width, int height, const TLogPalette& palette)
{
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    std::vector<unsigned char> raw((w + 1) * h);
    for (size_t y = 0; y < h; ++y) {
        raw[y * (w + 1)] = 0;  // no filter: indices are no quantities to predict
        std::memcpy(raw.data() + y * (w + 1) + 1, indices + y * w, w);
    }
    // a fast deflate level: the pictures are for looking at, not for archiving
    uLongf zlen = compressBound(static_cast<uLong>(raw.size()));
    std::string idat(zlen, '\0');
    z_stream zs{};
    if (deflateInit2(&zs, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) throw EInOutError("PNG encoding failed");
    zs.next_in = raw.data();
    zs.avail_in = static_cast<uInt>(raw.size());
    zs.next_out = reinterpret_cast<Bytef*>(idat.data());
    zs.avail_out = static_cast<uInt>(idat.size());
    const int done = deflate(&zs, Z_FINISH);
    zlen = zs.total_out;
    deflateEnd(&zs);
    if (done != Z_STREAM_END) throw EInOutError("PNG encoding failed");
    idat.resize(zlen);
    std::string header;
    PutBigEndian(header, static_cast<uint32_t>(width));
    PutBigEndian(header, static_cast<uint32_t>(height));
    header += std::string("\x08\x03\x00\x00\x00", 5);  // 8 bits, palette, deflate, no filter set, no interlace
    std::string plte;
    for (const TPaletteEntry& e : palette.Entries) {
        plte.push_back(static_cast<char>(e.Red));
        plte.push_back(static_cast<char>(e.Green));
        plte.push_back(static_cast<char>(e.Blue));
    }
    std::string out("\x89PNG\r\n\x1a\n", 8);
    PngChunk(out, "IHDR", header);
    PngChunk(out, "PLTE", plte);
    PngChunk(out, "IDAT", idat);
    PngChunk(out, "IEND", std::string());
    return out;
}

// The rendered picture drawn into a box of width x height at (x0, y0) of a canvas
// canvasWidth pixels wide, each pixel taking the picture pixel under its centre.
void DrawStretched(const TQTVPicture& pic, std::vector<unsigned char>& rgb, int canvasWidth, int x0, int y0,
                   int width, int height)
{
    for (int y = 0; y < height; ++y) {
        const size_t line = static_cast<size_t>((2 * static_cast<int64_t>(y) + 1) * pic.Rows / (2 * height));
        const uint8_t* src = pic.Bitmap.data() + line * static_cast<size_t>(pic.Cols);
        const size_t row = static_cast<size_t>(y0 + y) * static_cast<size_t>(canvasWidth) + static_cast<size_t>(x0);
        for (int x = 0; x < width; ++x) {
            const size_t col = static_cast<size_t>((2 * static_cast<int64_t>(x) + 1) * pic.Cols / (2 * width));
            PutColour(rgb, row + static_cast<size_t>(x), pic.Palette.Entries[src[col]]);
        }
    }
}

}  // namespace

std::string BuildPngFile(const TQTVPicture& source)
{
    std::optional<TQTVPicture> copy;
    const TQTVPicture& pic = Rendered(source, copy);
    return EncodeIndexedPng(pic.Bitmap.data(), pic.Cols, pic.Rows, pic.Palette);
}

void WritePngFile(const TQTVPicture& pic, const std::string& path)
{
    WriteFileReplacing(path, BuildPngFile(pic));
}

std::string BuildThumbnailPng(const TQTVPicture& pic, int maxSide)
{
    const bool rendered = HasCurrentBitmap(pic);
    if (!rendered && !pic.HasData()) throw EInOutError("The image holds no picture to save");
    // every thumbnail pixel is the picture's pixel at the middle of its cell
    const int side = std::max(1, std::min(maxSide, std::max(pic.Cols, pic.Rows)));
    std::vector<size_t> lines(static_cast<size_t>(side)), columns(static_cast<size_t>(side));
    for (int k = 0; k < side; ++k) {
        columns[static_cast<size_t>(k)] = static_cast<size_t>((2 * static_cast<int64_t>(k) + 1) * pic.Cols / (2 * side));
        lines[static_cast<size_t>(k)] = static_cast<size_t>((2 * static_cast<int64_t>(k) + 1) * pic.Rows / (2 * side));
    }
    std::vector<uint8_t> indices(static_cast<size_t>(side) * static_cast<size_t>(side));
    if (rendered) {
        for (size_t y = 0; y < lines.size(); ++y) {
            const uint8_t* src = pic.Bitmap.data() + lines[y] * static_cast<size_t>(pic.Cols);
            uint8_t* dst = indices.data() + y * lines.size();
            for (size_t x = 0; x < columns.size(); ++x) dst[x] = src[columns[x]];
        }
    } else {
        // bitmap line l shows sample row Rows - 1 - l: render just the samples shown
        for (size_t& l : lines) l = static_cast<size_t>(pic.Rows) - 1 - l;
        try {
            pic.RenderSampled(lines, columns, indices.data());
        } catch (const ERangeError&) {  // Rows or Cols out of step with the grid
            throw EInOutError("The image could not be rendered");
        }
    }
    return EncodeIndexedPng(indices.data(), side, side, pic.Palette);
}

std::string BuildComposedPng(const TQTVPicture& source, int height)
{
    std::optional<TQTVPicture> copy;
    const TQTVPicture& pic = Rendered(source, copy);
    const int h = std::max(2, height);
    const int w = 3 * h / 2;  // the window widens itself by half for the bar
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0xFF);
    const int side = ComposedImageSide(w, h, true);
    DrawStretched(pic, rgb, w, 0, 0, side, side);
    const TIntRect bar = ZBarRect(w, h);
    const auto inside = [&](int x, int y) { return x >= 0 && y >= 0 && x < w && y < h; };
    const auto at = [&](int x, int y) { return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x); };
    for (int y = 0; y < bar.Height(); ++y)
        for (int x = 0; x < bar.Width(); ++x)
            if (inside(bar.Left + x, bar.Top + y))
                PutColour(rgb, at(bar.Left + x, bar.Top + y), pic.Palette.Entries[ZBarIndex(y, bar.Height())]);
    // the black frame, one pixel wide, on the bar's edges
    const TPaletteEntry black{0, 0, 0, 1};
    for (int x = bar.Left; x <= bar.Right; ++x)
        for (const int y : {bar.Top, bar.Bottom})
            if (inside(x, y)) PutColour(rgb, at(x, y), black);
    for (int y = bar.Top; y <= bar.Bottom; ++y)
        for (const int x : {bar.Left, bar.Right})
            if (inside(x, y)) PutColour(rgb, at(x, y), black);
    return EncodePng(rgb, w, h);
}
