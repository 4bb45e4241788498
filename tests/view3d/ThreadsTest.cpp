// The OpenGL view's mesh (heights, normals, colours) and the relief give the same
// bytes for 1, 2, 3 and 8 threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <algorithm>
#include <limits>
#include <utility>

#include "thread_support.h"
#include "view3d/A3D.h"
#include "view3d/S3D.h"

namespace {

TQTVPicture Wavy(int cols, int rows) {
    TQTVPicture p;
    p.SetSize(cols, rows);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c)
            p.Data[r][c] = static_cast<float>(std::sin(0.3 * c) * 40 + std::cos(0.17 * r) * 25 + 0.01 * r * c);
    if (cols * rows > 20) p.Data[rows / 2][cols / 3] = std::numeric_limits<float>::quiet_NaN();
    p.UpdateMinMax();
    return p;
}

template <class T>
std::string Bytes(const std::vector<T>& v) {
    return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
}

}  // namespace

TEST(Threads, MeshAndRelief) {
    struct TSize {
        int Cols, Rows;
    };
    for (const TSize s : {TSize{1, 9}, TSize{9, 1}, TSize{3, 3}, TSize{61, 37}, TSize{257, 131}, TSize{1031, 5}}) {
        const TQTVPicture pic = Wavy(s.Cols, s.Rows);
        const std::string at = std::to_string(s.Cols) + " x " + std::to_string(s.Rows);
        ExpectSameForEveryThreadCount("mesh " + at, [&] {
            TSurfaceMesh mesh;
            mesh.SetImage(pic);
            mesh.SetGain(73);
            std::string out;
            std::vector<TSurfaceMesh::TVertex> strip;
            for (int32_t k = 0; k < mesh.StripCount(); ++k) {
                mesh.Strip(k, strip);
                out += Bytes(strip);
            }
            // the blocks a paint fills, whole and cut at the edges
            for (const auto& [x0, x1] : {std::pair{0, s.Cols}, std::pair{-3, 2}, std::pair{s.Cols / 2, s.Cols + 4}}) {
                std::vector<TSurfaceMesh::TVertex> block(static_cast<size_t>(std::max(0, std::min(x1, s.Cols) - std::max(x0, 0))) *
                                                         static_cast<size_t>(s.Rows));
                mesh.Columns(x0, x1, block.data());
                out += Bytes(block);
            }
            for (int32_t y = 0; y < mesh.Rows(); ++y)
                for (int32_t x = 0; x < mesh.Cols(); ++x) {
                    const double z = mesh.Z(x, y);
                    out.append(reinterpret_cast<const char*>(&z), sizeof z);
                    out.append(reinterpret_cast<const char*>(mesh.Normal(x, y).data()), sizeof(TVec3f));
                }
            return out;
        });
        for (const int shift : {-300, 0, 45}) {
            ExpectSameForEveryThreadCount("relief " + at, [&] {
                const TRelief r = DrawRelief(pic, 60, shift);
                return Bytes(r.Pixels);
            });
        }
    }
}
