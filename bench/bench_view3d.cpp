// The 3-D views' model on synthetic images: the mesh data of the OpenGL view (the
// vertices of every column, positions, normals and colours, as each paint works them
// out a block of columns at a time; and the set-up from an image), the relief of the
// simple view, against the baseline of copying the image's samples once.
//
//   build/bench_view3d
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "view3d/A3D.h"
#include "view3d/S3D.h"

namespace {

const TQTVPicture& Surface(int side) {
    static std::map<int, TQTVPicture> cache;
    auto it = cache.find(side);
    if (it != cache.end()) return it->second;
    TQTVPicture& p = cache[side];
    p.SetSize(side, side);
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c)
            p.Data[r][c] = 3.0f * std::sin(c * 0.013f) * std::cos(r * 0.021f) + 0.001f * static_cast<float>(r) +
                           0.3f * std::floor((c + r) / 97.0f);
    p.UpdateMinMax();
    return p;
}

void BM_CopyImage(benchmark::State& state) {
    const TQTVPicture& src = Surface(static_cast<int>(state.range(0)));
    std::vector<float> dst(static_cast<size_t>(src.Rows) * static_cast<size_t>(src.Cols));
    for (auto _ : state) {
        std::memcpy(dst.data(), src.Data.Block(), dst.size() * sizeof(float));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

// The vertices of one paint: every column, in blocks of about 2 MB, at alternating gains.
void BM_MeshVertices(benchmark::State& state) {
    TSurfaceMesh mesh;
    mesh.SetImage(Surface(static_cast<int>(state.range(0))));
    const int32_t rows = mesh.Rows(), cols = mesh.Cols();
    const int32_t block = std::max<int32_t>(1, static_cast<int32_t>((size_t(2) << 20) / (sizeof(TSurfaceMesh::TVertex) * rows)));
    std::vector<TSurfaceMesh::TVertex> out(static_cast<size_t>(block) * static_cast<size_t>(rows));
    int gain = 50;
    for (auto _ : state) {
        gain = gain == 50 ? 51 : 50;
        mesh.SetGain(gain);
        for (int32_t x0 = 0; x0 < cols; x0 += block - 1) {
            mesh.Columns(x0, x0 + block, out.data());
            benchmark::ClobberMemory();
        }
    }
}

// Opening the view: copy, normalise, colour table.
void BM_MeshFromImage(benchmark::State& state) {
    const TQTVPicture& src = Surface(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TSurfaceMesh mesh;
        mesh.SetImage(src);
        benchmark::DoNotOptimize(mesh.Normalised(1, 1));
    }
}

void BM_Relief(benchmark::State& state) {
    const TQTVPicture& src = Surface(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TRelief r = DrawRelief(src, 40, 30);
        benchmark::DoNotOptimize(r.Pixels.data());
    }
}

}  // namespace

BENCHMARK(BM_CopyImage)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshVertices)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshFromImage)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Relief)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
