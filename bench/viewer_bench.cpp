// The view renders on a 6000 x 4000 picture in a 1366 x 700 client with a 145-pixel side panel
// (view area 1176 x 660). Targets: a full redraw (transform + render) within 5 ms, the partial
// redraw of a pan drag at zoom factor 4 within 3 ms.
#include "viewer/stretch.h"
#include "viewer/view_transform.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

constexpr int kPictureW = 6000, kPictureH = 4000;
constexpr int kClientW = 1366, kClientH = 700, kPanelW = 145;

const nocturo::WorkImage& picture() {
    static const nocturo::WorkImage img = [] {
        nocturo::WorkImage p(kPictureW, kPictureH);
        for (int y = 0; y < kPictureH; ++y) {
            std::uint8_t* r = p.row(y);
            for (int x = 0; x < 3 * kPictureW; ++x) r[x] = static_cast<std::uint8_t>(x * 7 + y * 13);
        }
        return p;
    }();
    return img;
}

// RedrawView at the same window size as the previous one: the buffer is reused.
void BM_RedrawView(benchmark::State& state) {
    const bool invert = state.range(0) != 0;
    const nocturo::WorkImage& pic = picture();
    nocturo::ViewState view;
    nocturo::WorkImage buffer;
    for (auto _ : state) {
        nocturo::ComputeViewTransform(view, kClientW, kClientH, kPanelW, kPictureW, kPictureH, 1.0f);
        nocturo::RenderView(pic, invert, view, buffer, kClientW, kClientH);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RedrawView)->ArgName("invert")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// RedrawView during a window drag: every call sees a new size and allocates a new buffer.
void BM_RedrawViewResizing(benchmark::State& state) {
    const nocturo::WorkImage& pic = picture();
    nocturo::ViewState view;
    nocturo::WorkImage buffer;
    int step = 0;
    for (auto _ : state) {
        const int w = kClientW - (step++ & 1);
        nocturo::ComputeViewTransform(view, w, kClientH, kPanelW, kPictureW, kPictureH, 1.0f);
        nocturo::RenderView(pic, false, view, buffer, w, kClientH);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RedrawViewResizing)->Unit(benchmark::kMillisecond);

// DrawShownRegion at zoom factor 4, the shown rectangle moving one column per call as in a drag.
void BM_ShownRegionZoom4(benchmark::State& state) {
    const bool invert = state.range(0) != 0;
    const nocturo::WorkImage& pic = picture();
    nocturo::ViewState view;
    view.ViewCentreX = kPictureW / 2;
    view.ViewCentreY = kPictureH / 2;
    nocturo::ComputeViewTransform(view, kClientW, kClientH, kPanelW, kPictureW, kPictureH, 4.0f);
    nocturo::WorkImage buffer;
    nocturo::RenderView(pic, invert, view, buffer, kClientW, kClientH);
    const int range = kPictureW - view.ViewSrcWidth;
    int shift = 0;
    for (auto _ : state) {
        view.ShownSrcLeft = shift;
        shift = (shift + 1) % (range + 1);
        nocturo::RenderShownRegion(pic, invert, view, buffer);
        benchmark::DoNotOptimize(buffer.bits());
        benchmark::ClobberMemory();
    }
    state.counters["srcW"] = view.ViewSrcWidth;
    state.counters["srcH"] = view.ViewSrcHeight;
}
BENCHMARK(BM_ShownRegionZoom4)->ArgName("invert")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
