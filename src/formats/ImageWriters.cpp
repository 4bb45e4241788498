// Picture export: 8-bit Windows bitmap and JPEG of the rendered image.
#include "formats/ImageWriters.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "core/Errors.h"
#include "core/Files.h"

namespace {

// The picture as displayed: the record's bitmap when it matches the grid, otherwise a
// fresh rendering of a copy.
const TQTVPicture& Rendered(const TQTVPicture& pic, TQTVPicture& copy)
{
    const size_t n = static_cast<size_t>(pic.Cols > 0 ? pic.Cols : 0) * static_cast<size_t>(pic.Rows > 0 ? pic.Rows : 0);
    if (n > 0 && pic.BitmapWidth == pic.Cols && pic.BitmapHeight == pic.Rows && pic.Bitmap.size() == n) return pic;
    if (!pic.HasData()) throw EInOutError("The image holds no picture to save");
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
    TQTVPicture copy;
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
    TQTVPicture copy;
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
