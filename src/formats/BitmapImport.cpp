// Windows bitmaps as height images: 8-bit images give their palette indices, every
// other depth the sum red + green + blue of the decoded colour.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>

#include "core/Messages.h"
#include "core/Numbers.h"
#include "formats/LoadFiles.h"
#include "formats/OpenFlow.h"

// The decoder of the other bit depths; its symbols stay private to this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 2053
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

static_assert(STBI_MAX_DIMENSIONS == MaxPixels, "the decoder's limit is the record's");

namespace {

uint32_t U32(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t U16(const std::string& s, size_t at)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

struct TBitmapHeader {
    uint32_t PixelOffset = 0;
    uint32_t HeaderSize = 0;
    int64_t Width = 0, Height = 0;
    uint16_t Planes = 0, BitCount = 0;
    uint32_t Compression = 0;
};

// Samples present in the file, counted row by row from the pixel array: a sample
// counts when all its bits lie inside the file.
int64_t SamplesPresent(const TBitmapHeader& h, size_t fileSize)
{
    const int64_t stride = ((h.Width * h.BitCount + 31) / 32) * 4;
    int64_t present = 0;
    for (int64_t r = 0; r < h.Height; ++r) {
        const int64_t rowStart = static_cast<int64_t>(h.PixelOffset) + r * stride;
        const int64_t bytesLeft = static_cast<int64_t>(fileSize) - rowStart;
        if (bytesLeft <= 0) break;
        const int64_t inRow = std::min<int64_t>(h.Width, bytesLeft * 8 / h.BitCount);
        present += inRow;
        if (inRow < h.Width) break;
    }
    return present;
}

struct TStbFree {
    void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

}  // namespace

void TLoadFiles::ReadBitmap(TImageDoc& doc)
{
    std::string file;
    if (!ReadWholeFile(filePath_, file)) throw EInOutError("Cannot read file " + filePath_, filePath_);
    const std::string name = ExtractFileName(filePath_);

    if (file.size() < 2 || (file[0] != 'B' && file[0] != 'b') || (file[1] != 'M' && file[1] != 'm')) {
        ShowMessage("Not a Bitmap image! Convert canceled", TMsgKind::Error, TMsgButtons::OK);
        return;
    }

    TBitmapHeader h;
    if (file.size() >= 18) {
        h.PixelOffset = U32(file, 10);
        h.HeaderSize = U32(file, 14);
    }
    const size_t headerEnd = h.HeaderSize == 12 ? 26 : 34;
    if (file.size() < headerEnd) {
        ShowFileMessage("File " + name + " is truncated: the bitmap header is incomplete", {name}, TMsgKind::Error,
                    TMsgButtons::OK);
        return;
    }
    if (h.HeaderSize == 12) {  // the old core header: 16-bit sizes
        h.Width = U16(file, 18);
        h.Height = static_cast<int16_t>(U16(file, 20));
        h.Planes = U16(file, 22);
        h.BitCount = U16(file, 24);
    } else {
        h.Width = static_cast<int32_t>(U32(file, 18));
        h.Height = static_cast<int32_t>(U32(file, 22));
        h.Planes = U16(file, 26);
        h.BitCount = U16(file, 28);
        h.Compression = U32(file, 30);
    }
    // A negative height marks a top-down bitmap: its first stored line is the top row.
    const bool topDown = h.Height < 0 && h.HeaderSize != 12;
    if (topDown) h.Height = -h.Height;
    if (!CheckPictureSize(h.Width, h.Height)) return;
    const auto cols = static_cast<int32_t>(h.Width);
    const auto rows = static_cast<int32_t>(h.Height);
    const bool indexed = h.Planes == 1 && h.BitCount == 8;

    if (h.BitCount == 0 || h.BitCount > 32) throw EInOutError("Bitmap of " + IntToStr(h.BitCount) + " bits per pixel");
    if (h.Compression != 0 && !(h.Compression == 3 && (h.BitCount == 16 || h.BitCount == 32)))
        throw EInOutError("Compressed bitmaps cannot be read");

    const int64_t expected = static_cast<int64_t>(cols) * rows;
    const int64_t present = SamplesPresent(h, file.size());
    if (present == 0) {
        ShowFileMessage(TruncatedText(name, 0, expected), {name}, TMsgKind::Error);
        return;
    }

    if (indexed) {
        doc.CreateImage(cols, rows);
        if (!doc.Picture.HasData()) return;
        // Rows bottom first (top first in a top-down bitmap), each padded to a multiple
        // of 4 bytes; the index itself is the sample, whatever colour the palette gives it.
        const size_t stride = (static_cast<size_t>(cols) + 3) & ~size_t{3};
        const auto* pixels = reinterpret_cast<const unsigned char*>(file.data()) + h.PixelOffset;
        int64_t n = 0;
        for (int32_t k = 0; k < rows && n < present; ++k) {
            float* row = doc.Picture.Data[topDown ? rows - 1 - k : k];
            const unsigned char* src = pixels + static_cast<size_t>(k) * stride;
            for (int32_t c = 0; c < cols && n < present; ++c, ++n) row[c] = src[c];
        }
    } else {
        if (file.size() > static_cast<size_t>(INT_MAX)) throw EInOutError("Bitmap file too large");
        // The decoder insists on an upper-case signature.
        std::string& bytes = file;
        bytes[0] = 'B';
        bytes[1] = 'M';
        int width = 0, height = 0, channels = 0;
        std::unique_ptr<stbi_uc, TStbFree> rgb(stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                                                      static_cast<int>(bytes.size()), &width, &height,
                                                                      &channels, 3));
        if (!rgb) throw EInOutError(std::string("Bitmap not decoded: ") + stbi_failure_reason());
        if (width != cols || height != rows) throw EInOutError("Bitmap decoded with another size");
        doc.CreateImage(cols, rows);
        if (!doc.Picture.HasData()) return;
        // The decoder's lines run top-down. Samples beyond the end of a short file
        // (counted in the file's line order) stay 0.
        int64_t n = 0;
        for (int32_t k = 0; k < rows && n < present; ++k) {
            const int32_t r = topDown ? rows - 1 - k : k;
            float* row = doc.Picture.Data[r];
            const stbi_uc* src = rgb.get() + static_cast<size_t>(rows - 1 - r) * static_cast<size_t>(cols) * 3;
            for (int32_t c = 0; c < cols && n < present; ++c, ++n)
                row[c] = static_cast<float>(src[3 * c] + src[3 * c + 1] + src[3 * c + 2]);
        }
    }

    TScanPara& para = doc.Picture.Para;
    para.XScanRange = cols;
    para.YScanRange = rows;
    para.Scale = 1;
    para.XPhysUnit = "Pixel";
    para.YPhysUnit = "Pixel";
    para.PhysUnit = "Pixel";
    if (present < expected) ShowFileMessage(TruncatedText(name, present, expected), {name}, TMsgKind::Error);
}
