// Binary STL export: two triangles per grid cell, heights above the colour-range minimum.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/LargeMemory.h"
#include "core/Threads.h"
#include "formats/Export.h"
#include "formats/NativeWriter.h"

namespace {

constexpr size_t HeaderSize = 80;
constexpr size_t TriangleSize = 50;  // normal, three vertices, attribute word

// Little-endian 32-bit float at out.
inline void PutFloat(char* out, float v)
{
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &v, 4);
    } else {
        const uint32_t bits = std::bit_cast<uint32_t>(v);
        for (int b = 0; b < 4; ++b) out[b] = static_cast<char>((bits >> (8 * b)) & 0xFF);
    }
}

// One triangle as stored: normal, three vertices, the attribute word 0. Each value goes
// straight to its place (no staging array to load back).
inline void PutTriangle(char* out, float nx, float ny, float nz, float ax, float ay, float az, float bx, float by,
                        float bz, float cx, float cy, float cz)
{
    PutFloat(out, nx);
    PutFloat(out + 4, ny);
    PutFloat(out + 8, nz);
    PutFloat(out + 12, ax);
    PutFloat(out + 16, ay);
    PutFloat(out + 20, az);
    PutFloat(out + 24, bx);
    PutFloat(out + 28, by);
    PutFloat(out + 32, bz);
    PutFloat(out + 36, cx);
    PutFloat(out + 40, cy);
    PutFloat(out + 44, cz);
    out[48] = 0;
    out[49] = 0;
}

// Unit normals of the cells between the sample rows lower and upper (z relative to the
// minimum), six arrays of cells values: triangle 1 x, y, z, then triangle 2 x, y, z.
// The normal of a triangle A, B, C is (B - C) x (B - A) divided by its length:
//   triangle 1: A = P(c+1, r+2), B = P(c+1, r+1), C = P(c+2, r+1) -> (zB - zC, zB - zA, 1)
//   triangle 2: A = P(c+2, r+2), B = P(c+1, r+2), C = P(c+2, r+1) -> (zB - zA, zC - zA, 1)
// The length is at least 1, so no division by zero; not-a-number heights give
// not-a-number normals.
void RowNormals(const float* lower, const float* upper, size_t cells, float* n)
{
    float* n1x = n;
    float* n1y = n + cells;
    float* n1z = n + 2 * cells;
    float* n2x = n + 3 * cells;
    float* n2y = n + 4 * cells;
    float* n2z = n + 5 * cells;
    size_t c = 0;
#if defined(__SSE2__)
    // Four cells at a time; square root and division are exactly rounded as in the
    // single-cell loop below, so the results are the same.
    const __m128 one = _mm_set1_ps(1.0f);
    for (; c + 4 <= cells; c += 4) {
        const __m128 z00 = _mm_loadu_ps(lower + c), z10 = _mm_loadu_ps(lower + c + 1);
        const __m128 z01 = _mm_loadu_ps(upper + c), z11 = _mm_loadu_ps(upper + c + 1);
        const __m128 ax = _mm_sub_ps(z00, z10), ay = _mm_sub_ps(z00, z01);
        const __m128 alen = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(ax, ax), _mm_mul_ps(ay, ay)), one));
        _mm_storeu_ps(n1x + c, _mm_div_ps(ax, alen));
        _mm_storeu_ps(n1y + c, _mm_div_ps(ay, alen));
        _mm_storeu_ps(n1z + c, _mm_div_ps(one, alen));
        const __m128 bx = _mm_sub_ps(z01, z11), by = _mm_sub_ps(z10, z11);
        const __m128 blen = _mm_sqrt_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(bx, bx), _mm_mul_ps(by, by)), one));
        _mm_storeu_ps(n2x + c, _mm_div_ps(bx, blen));
        _mm_storeu_ps(n2y + c, _mm_div_ps(by, blen));
        _mm_storeu_ps(n2z + c, _mm_div_ps(one, blen));
    }
#endif
    for (; c < cells; ++c) {
        const float z00 = lower[c], z10 = lower[c + 1], z01 = upper[c], z11 = upper[c + 1];
        const float ax = z00 - z10, ay = z00 - z01;
        const float alen = std::sqrt(ax * ax + ay * ay + 1.0f);
        n1x[c] = ax / alen;
        n1y[c] = ay / alen;
        n1z[c] = 1.0f / alen;
        const float bx = z01 - z11, by = z10 - z11;
        const float blen = std::sqrt(bx * bx + by * by + 1.0f);
        n2x[c] = bx / blen;
        n2y[c] = by / blen;
        n2z[c] = 1.0f / blen;
    }
}

}  // namespace

namespace {

struct TStlShape {
    int64_t Rows = 0, Cols = 0;
    uint64_t Triangles = 0;
    size_t RowBytes = 0;  // the triangles of one row of cells
};

TStlShape ShapeOf(const TQTVPicture& pic)
{
    // The mesh covers the grid the scan parameters name, never more than the record holds.
    TStlShape s;
    s.Rows = std::max<int64_t>(0, std::min<int64_t>(pic.Para.YPixel, pic.HasData() ? pic.Rows : 0));
    s.Cols = std::max<int64_t>(0, std::min<int64_t>(pic.Para.XPixel, pic.HasData() ? pic.Cols : 0));
    s.Triangles = s.Rows > 1 && s.Cols > 1 ? static_cast<uint64_t>((s.Rows - 1) * (s.Cols - 1) * 2) : 0;
    s.RowBytes = s.Cols > 1 ? static_cast<size_t>(s.Cols - 1) * 2 * TriangleSize : 0;
    return s;
}

void PutHeader(const TStlShape& s, char* head)
{
    std::memset(head, 0, HeaderSize + 4);
    static const char title[] = "Velkore StL file";
    std::memcpy(head, title, sizeof title - 1);
    const auto count = static_cast<uint32_t>(s.Triangles);
    for (int b = 0; b < 4; ++b) head[HeaderSize + static_cast<size_t>(b)] = static_cast<char>((count >> (8 * b)) & 0xFF);
}

// The triangles of the cell rows r0 .. r1 - 1 (between sample rows r and r + 1), in
// the order they are stored, from dst on.
void CellRows(const TQTVPicture& pic, const TStlShape& s, int64_t r0, int64_t r1, char* dst)
{
    const int64_t cols = s.Cols;
    const float min = pic.Min;
    std::vector<float> lower(static_cast<size_t>(cols)), upper(static_cast<size_t>(cols));
    // Per row: the unit normals of both triangles of every cell (a loop the compiler can
    // run on several cells at once), then the triangles in the order they are stored.
    const size_t cells = static_cast<size_t>(cols - 1);
    std::vector<float> normals(6 * cells);
    for (int64_t r = r0; r < r1; ++r) {
        // z of the sample rows r and r + 1, relative to the minimum
        const float* here = pic.Data[static_cast<int32_t>(r)];
        const float* next = pic.Data[static_cast<int32_t>(r + 1)];
        for (int64_t c = 0; c < cols; ++c) {
            lower[static_cast<size_t>(c)] = here[c] - min;
            upper[static_cast<size_t>(c)] = next[c] - min;
        }
        RowNormals(lower.data(), upper.data(), cells, normals.data());

        const float* n1x = normals.data();
        const float* n1y = n1x + cells;
        const float* n1z = n1y + cells;
        const float* n2x = n1z + cells;
        const float* n2y = n2x + cells;
        const float* n2z = n2y + cells;
        const float y0 = static_cast<float>(r + 1), y1 = static_cast<float>(r + 2);
        char* p = dst + static_cast<size_t>(r - r0) * s.RowBytes;
        for (size_t c = 0; c < cells; ++c) {
            const float x0 = static_cast<float>(c + 1), x1 = static_cast<float>(c + 2);
            const float z00 = lower[c];      // P(c+1, r+1)
            const float z10 = lower[c + 1];  // P(c+2, r+1)
            const float z01 = upper[c];      // P(c+1, r+2)
            const float z11 = upper[c + 1];  // P(c+2, r+2)
            // Triangle 1: P(c+1, r+2), P(c+1, r+1), P(c+2, r+1)
            PutTriangle(p, n1x[c], n1y[c], n1z[c], x0, y1, z01, x0, y0, z00, x1, y0, z10);
            p += TriangleSize;
            // Triangle 2: P(c+2, r+2), P(c+1, r+2), P(c+2, r+1)
            PutTriangle(p, n2x[c], n2y[c], n2z[c], x1, y1, z11, x0, y1, z01, x1, y0, z10);
            p += TriangleSize;
        }
    }
}

// The cell rows r0 .. r1 - 1 built on the pool, rows as units, into dst.
void CellRowsOnPool(const TQTVPicture& pic, const TStlShape& s, int64_t r0, int64_t r1, char* dst)
{
    const int64_t n = r1 - r0;
    ParallelFor(n, std::max<int64_t>(1, GrainFor(n)), [&](int64_t k0, int64_t k1) {
        CellRows(pic, s, r0 + k0, r0 + k1, dst + static_cast<size_t>(k0) * s.RowBytes);
    });
}

}  // namespace

std::string BuildStl(const TQTVPicture& pic)
{
    const TStlShape s = ShapeOf(pic);
    std::string out;
    out.reserve(HeaderSize + 4 + s.Triangles * TriangleSize);
    // a mesh of a large image is hundreds of megabytes: large pages make filling it
    // cost fewer page faults
    if (out.capacity() >= (size_t{8} << 20)) AdviseLargePages(out.data(), out.capacity());
    out.resize(HeaderSize + 4 + s.Triangles * TriangleSize);
    PutHeader(s, out.data());
    if (s.Triangles) CellRowsOnPool(pic, s, 0, s.Rows - 1, out.data() + HeaderSize + 4);
    return out;
}

void StreamStl(const TQTVPicture& pic, const TBlockSink& put, size_t blockBytes)
{
    const TStlShape s = ShapeOf(pic);
    char head[HeaderSize + 4];
    PutHeader(s, head);
    put(head, sizeof head);
    if (s.Triangles == 0) return;
    const int64_t cellRows = s.Rows - 1;
    const int64_t perBlock = std::clamp<int64_t>(static_cast<int64_t>(blockBytes / s.RowBytes), 1, cellRows);
    std::vector<char> block(static_cast<size_t>(perBlock) * s.RowBytes);
    for (int64_t r0 = 0; r0 < cellRows; r0 += perBlock) {
        const int64_t r1 = std::min(cellRows, r0 + perBlock);
        CellRowsOnPool(pic, s, r0, r1, block.data());
        put(block.data(), static_cast<size_t>(r1 - r0) * s.RowBytes);
    }
}

void WriteStlFile(const std::string& path, const TQTVPicture& pic)
{
    CommitStreamed(path, [&](const TBlockSink& put) { StreamStl(pic, put); }, true);
}
