// The full-picture draw (block copy and clearing, first pass, enlargement, count) on 6000 x 4000
// night skies at the standard settings, against a bare libjpeg-turbo decode of the same file in
// the same iteration. The skies range from sparse (faint noise, few stars: almost no pixel passes
// the threshold) to dense ones with 2, 5 and 12 % star pixels, as real photographs have; the share
// of star pixels is measured on the draw's own mark image and printed beside each figure.
// Targets: draw <= 0.5 x decode at 5 %, <= 0.8 x at 12 %.
//
//   build/bench/extract_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "bench_support.h"

#include "common/jpeg_codec.h"
#include "extract/extraction.h"
#include "extract/processing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 90;
constexpr std::uint32_t kSeed = 1;


struct Picture {
    std::vector<std::uint8_t> jpeg;
    nocturo::WorkImage source, processed, marks;
};

// The working images exist before a draw runs (a load made them), so they are made and touched
// once here.
Picture& picture(int sky) {
    static std::map<int, Picture> pictures;
    auto it = pictures.find(sky);
    if (it != pictures.end()) return it->second;
    Picture q;
    q.jpeg = makeNightSkyJpeg(kWidth, kHeight, kQuality, kSeed, kBenchSkies[sky]);
    q.source = nocturo::jpeg::decodeMemory(q.jpeg.data(), q.jpeg.size());
    q.processed = q.source.clone();
    q.marks = nocturo::WorkImage(q.source.width(), q.source.height());
    q.marks.fill(nocturo::kBlack);
    return pictures.emplace(sky, std::move(q)).first->second;
}

// Pixels that the first pass brightened: every pixel the draw marked (red, blue or green).
double starShare(const Picture& p) {
    std::int64_t marked = 0;
    for (int y = 0; y < p.marks.height(); ++y) {
        const std::uint8_t* row = p.marks.row(y);
        for (int x = 0; x < p.marks.width(); ++x)
            marked += (row[3 * x] | row[3 * x + 1] | row[3 * x + 2]) != 0 ? 1 : 0;
    }
    return 100.0 * static_cast<double>(marked) / (static_cast<double>(p.marks.width()) * p.marks.height());
}

// On a shared machine the smallest of the repetitions is the figure least disturbed by others.
double smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

nocturo::ExtractionParams standardSettings(int threads) {
    nocturo::ExtractionParams params;  // threshold 10, brightness 30, saturation 0, enlarge on
    params.threads = threads;
    return params;
}

int fullDraw(Picture& p, int threads, nocturo::PhaseTimes* times) {
    nocturo::WorkingImages images{p.source, p.processed, p.marks, p.source.width(), p.source.height()};
    return nocturo::ProcessRectangle(
        images, nocturo::fullPictureRect(p.source, 0), standardSettings(threads), [](int) {}, times);
}

void BM_BareDecode(benchmark::State& state) {
    Picture& p = picture(0);
    for (auto _ : state) bareDecode(p.jpeg);
    state.SetLabel("6000x4000 q90");
}
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", smallest);

// Decode and draw in the same iteration, so that the ratio is taken under the same machine load;
// the argument picks the sky.
void BM_DrawOverDecode(benchmark::State& state) {
    const int sky = static_cast<int>(state.range(0));
    Picture& p = picture(sky);
    double decodeMs = 0, drawMs = 0;
    nocturo::PhaseTimes times;
    int stars = 0;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        bareDecode(p.jpeg);
        const auto t1 = Clock::now();
        stars = fullDraw(p, 0, &times);
        const auto t2 = Clock::now();
        decodeMs += std::chrono::duration<double, std::milli>(t1 - t0).count();
        drawMs += std::chrono::duration<double, std::milli>(t2 - t1).count();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["star_pixels_pct"] = starShare(p);
    state.counters["stars"] = stars;
    state.counters["decode_ms"] = decodeMs / n;
    state.counters["draw_ms"] = drawMs / n;
    state.counters["extract_ms"] = times.extractMs / n;
    state.counters["enlarge_ms"] = times.enlargeMs / n;
    state.counters["count_ms"] = times.countMs / n;
    state.counters["draw_over_decode"] = drawMs / decodeMs;
    state.SetLabel(kBenchSkyNames[sky]);
}
BENCHMARK(BM_DrawOverDecode)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", smallest);

// The phases of the draw on each sky on the calling thread alone (threads 1) and on two
// (threads 0): what each costs, and what the second core gives back.
void BM_DrawPhases(benchmark::State& state) {
    const int sky = static_cast<int>(state.range(0));
    Picture& p = picture(sky);
    nocturo::PhaseTimes times;
    int stars = 0;
    for (auto _ : state) stars = fullDraw(p, static_cast<int>(state.range(1)), &times);
    const double n = static_cast<double>(state.iterations());
    state.counters["stars"] = stars;
    state.counters["extract_ms"] = times.extractMs / n;
    state.counters["enlarge_ms"] = times.enlargeMs / n;
    state.counters["count_ms"] = times.countMs / n;
    state.SetLabel(kBenchSkyNames[sky]);
}
BENCHMARK(BM_DrawPhases)
    ->ArgsProduct({{0, 2, 3}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", smallest);

}  // namespace
