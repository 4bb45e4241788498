// Binary STL export: two triangles per grid cell, heights above the colour-range minimum.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "formats/Export.h"

namespace {

constexpr size_t HeaderSize = 80;
constexpr size_t TriangleSize = 50;  // normal, three vertices, attribute word

// One triangle as stored: 12 floats and the attribute word 0.
inline void PutTriangle(char* out, const float (&v)[12])
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, v, 48);
    } else {
        for (int i = 0; i < 12; ++i) {
            const uint32_t bits = std::bit_cast<uint32_t>(v[i]);
            for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
        }
    }
    out[48] = 0;
    out[49] = 0;
}

}  // namespace

std::string BuildStl(const TQTVPicture& pic)
{
    // The mesh covers the grid the scan parameters name, never more than the record holds.
    const int64_t rows = std::max<int64_t>(0, std::min<int64_t>(pic.Para.YPixel, pic.HasData() ? pic.Rows : 0));
    const int64_t cols = std::max<int64_t>(0, std::min<int64_t>(pic.Para.XPixel, pic.HasData() ? pic.Cols : 0));
    const uint64_t triangles = rows > 1 && cols > 1 ? static_cast<uint64_t>((rows - 1) * (cols - 1) * 2) : 0;

    std::string out(HeaderSize + 4 + triangles * TriangleSize, '\0');
    static const char title[] = "Velkore StL file";
    std::memcpy(out.data(), title, sizeof title - 1);
    const auto count = static_cast<uint32_t>(triangles);
    for (int b = 0; b < 4; ++b) out[HeaderSize + static_cast<size_t>(b)] = static_cast<char>((count >> (8 * b)) & 0xFF);
    if (triangles == 0) return out;

    const float min = pic.Min;
    std::vector<float> lower(static_cast<size_t>(cols)), upper(static_cast<size_t>(cols));
    for (int64_t c = 0; c < cols; ++c) upper[static_cast<size_t>(c)] = pic.Data[0][c] - min;

    char* p = out.data() + HeaderSize + 4;
    float t[12];
    for (int64_t r = 0; r + 1 < rows; ++r) {
        // z of the sample rows r and r + 1, relative to the minimum
        lower.swap(upper);
        const float* next = pic.Data[static_cast<int32_t>(r + 1)];
        for (int64_t c = 0; c < cols; ++c) upper[static_cast<size_t>(c)] = next[c] - min;

        const float y0 = static_cast<float>(r + 1), y1 = static_cast<float>(r + 2);
        for (int64_t c = 0; c + 1 < cols; ++c) {
            const float x0 = static_cast<float>(c + 1), x1 = static_cast<float>(c + 2);
            const float z00 = lower[static_cast<size_t>(c)];      // P(c+1, r+1)
            const float z10 = lower[static_cast<size_t>(c + 1)];  // P(c+2, r+1)
            const float z01 = upper[static_cast<size_t>(c)];      // P(c+1, r+2)
            const float z11 = upper[static_cast<size_t>(c + 1)];  // P(c+2, r+2)

            // Triangle 1: A = P(c+1, r+2), B = P(c+1, r+1), C = P(c+2, r+1).
            // (B - C) x (B - A) = (zB - zC, zB - zA, 1)
            {
                const float nx = z00 - z10, ny = z00 - z01;
                const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
                t[0] = nx / len; t[1] = ny / len; t[2] = 1.0f / len;
                t[3] = x0; t[4] = y1; t[5] = z01;
                t[6] = x0; t[7] = y0; t[8] = z00;
                t[9] = x1; t[10] = y0; t[11] = z10;
                PutTriangle(p, t);
                p += TriangleSize;
            }
            // Triangle 2: A = P(c+2, r+2), B = P(c+1, r+2), C = P(c+2, r+1).
            // (B - C) x (B - A) = (zB - zA, zC - zA, 1)
            {
                const float nx = z01 - z11, ny = z10 - z11;
                const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
                t[0] = nx / len; t[1] = ny / len; t[2] = 1.0f / len;
                t[3] = x1; t[4] = y1; t[5] = z11;
                t[6] = x0; t[7] = y1; t[8] = z01;
                t[9] = x1; t[10] = y0; t[11] = z10;
                PutTriangle(p, t);
                p += TriangleSize;
            }
        }
    }
    return out;
}
