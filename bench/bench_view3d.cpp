// The 3-D views' model on synthetic images: the mesh data of the OpenGL view (heights,
// vertex normals and colours for a new gain, as a slider move recomputes them; and the
// whole set-up from an image), the relief of the simple view, against the baseline of
// copying the image's samples once.
//
//   build/bench_view3d
#include <benchmark/benchmark.h>

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

// A slider move: heights, normals and colours for a new gain.
void BM_MeshGain(benchmark::State& state) {
    TSurfaceMesh mesh;
    mesh.SetImage(Surface(static_cast<int>(state.range(0))));
    int gain = 50;
    for (auto _ : state) {
        gain = gain == 50 ? 51 : 50;
        mesh.SetGain(gain);
        benchmark::DoNotOptimize(mesh.Normal(1, 1));
    }
}

// Opening the view: copy, normalise, colour table, then heights, normals and colours.
void BM_MeshFromImage(benchmark::State& state) {
    const TQTVPicture& src = Surface(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TSurfaceMesh mesh;
        mesh.SetImage(src);
        benchmark::DoNotOptimize(mesh.Normal(1, 1));
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
BENCHMARK(BM_MeshGain)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeshFromImage)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Relief)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
