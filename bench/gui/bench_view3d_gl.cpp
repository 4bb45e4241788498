// One redraw of the OpenGL 3-D view of a 512 x 512 surface (each paint works out the
// vertices block by block and streams them through the vertex buffer): rendered into
// the panel's framebuffer and read back as an image, as Copy does; against the baseline
// of copying the image's samples once. Also the redraw after a slider move, and opening
// the view on a 2048 x 2048 image with its peak memory. Needs a display:
//
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench_view3d_gl
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench_view3d_gl --benchmark_filter=OpenLarge
//
// paint_ms is the time of the drawing calls alone (to glFinish), as the panel measured it.
// The open is timed on the wall clock; its CPU time is that of every thread of the
// process (the renderer's own threads included).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "app/Form3DSetting.h"

namespace {

constexpr int Side = 512;

const TQTVPicture& Surface() {
    static TQTVPicture p = [] {
        TQTVPicture pic;
        pic.SetSize(Side, Side);
        for (int32_t r = 0; r < Side; ++r)
            for (int32_t c = 0; c < Side; ++c)
                pic.Data[r][c] = 3.0f * std::sin(c * 0.05f) * std::cos(r * 0.07f) + 0.3f * std::floor((c + r) / 60.0f);
        pic.UpdateMinMax();
        return pic;
    }();
    return p;
}

std::unique_ptr<TForm3DSetting> view;  // goes before the application does

TForm3DSetting& View() {
    if (!view) {
        view = std::make_unique<TForm3DSetting>(nullptr);
        view->resize(731, 540);
        view->show();
        view->SetImage(Surface());
        view->View.RotX = 300;
        view->View.RotZ = 30;
        QApplication::processEvents();
        view->RenderedImage();  // uploads the mesh
    }
    return *view;
}

void BM_CopyImage(benchmark::State& state) {
    const TQTVPicture& src = Surface();
    std::vector<float> dst(static_cast<size_t>(Side) * Side);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.Data.Block(), dst.size() * sizeof(float));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

void BM_Redraw(benchmark::State& state) {
    TForm3DSetting& v = View();
    for (auto _ : state) {
        v.View.RotZ += 0.1;
        QImage img = v.RenderedImage();
        benchmark::DoNotOptimize(img.constBits());
    }
    state.counters["paint_ms"] = v.Panel1->LastPaintMs();
}

void BM_RedrawScaleBars(benchmark::State& state) {
    TForm3DSetting& v = View();
    v.CheckBoxSkala->setChecked(true);
    for (auto _ : state) {
        v.View.RotZ += 0.1;
        QImage img = v.RenderedImage();
        benchmark::DoNotOptimize(img.constBits());
    }
    state.counters["paint_ms"] = v.Panel1->LastPaintMs();
    v.CheckBoxSkala->setChecked(false);
}

void BM_SliderMove(benchmark::State& state) {
    TForm3DSetting& v = View();
    int pos = 50;
    for (auto _ : state) {
        pos = pos == 50 ? 51 : 50;
        v.ScrollBar1Change(pos);
        QImage img = v.RenderedImage();
        benchmark::DoNotOptimize(img.constBits());
    }
    state.counters["paint_ms"] = v.Panel1->LastPaintMs();
}

// Peak resident memory of the process so far.
double PeakMB() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A side x side image of gentle waves.
TQTVPicture LargeSurface(int side) {
    TQTVPicture pic;
    pic.SetSize(side, side);
    for (int32_t r = 0; r < side; ++r)
        for (int32_t c = 0; c < side; ++c) pic.Data[r][c] = std::sin(c * 0.01f) * std::cos(r * 0.013f);
    pic.UpdateMinMax();
    return pic;
}

// Opening the view on a large image: normalised samples, colour table, first picture.
void BM_OpenLarge(benchmark::State& state) {
    const TQTVPicture pic = LargeSurface(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        TForm3DSetting v(nullptr);
        v.resize(731, 540);
        v.show();
        QApplication::processEvents();
        state.counters["before_MB"] = PeakMB();  // the application and the image
        v.SetImage(pic);
        QImage img = v.RenderedImage();
        benchmark::DoNotOptimize(img.constBits());
        state.counters["paint_ms"] = v.Panel1->LastPaintMs();
    }
    // run it alone (--benchmark_filter=OpenLarge) for the peak of opening the view
    state.counters["peak_MB"] = PeakMB();
    state.counters["added_MB"] = state.counters["peak_MB"] - state.counters["before_MB"];
}

// Turning the open view of a large image: one redraw and read-back per step.
void BM_RedrawLarge(benchmark::State& state) {
    const TQTVPicture pic = LargeSurface(static_cast<int>(state.range(0)));
    TForm3DSetting v(nullptr);
    v.resize(731, 540);
    v.show();
    v.SetImage(pic);
    v.View.RotX = 300;
    v.RenderedImage();
    for (auto _ : state) {
        v.View.RotZ += 1;
        QImage img = v.RenderedImage();
        benchmark::DoNotOptimize(img.constBits());
    }
    state.counters["paint_ms"] = v.Panel1->LastPaintMs();
}

// The baseline of the large open: one copy of the image's samples.
void BM_CopyLarge(benchmark::State& state) {
    const size_t n = static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(0));
    std::vector<float> src(n, 1.0f), dst(n);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), n * sizeof(float));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_OpenLarge)->Arg(2048)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawLarge)->Arg(2048)->Iterations(5)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyLarge)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Redraw)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawScaleBars)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SliderMove)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    view.reset();
    return 0;
}
