// Loading a 6000 x 4000 night-sky JPEG at its own size, against what it cannot avoid: a bare
// decode into one reused row buffer plus the first touch of three fresh picture-sized buffers.
//
//   build/bench/load_bench --benchmark_filter=LoadVsBaseline   the ratio, in one run
//   build/bench/load_bench --benchmark_filter=PeakMemory       peak resident memory of a load
//   build/bench/load_bench --benchmark_filter=ReplacingLoad    a load over a shown picture: peak,
//                                                              idle resident memory, time ratio
#include "bench_support.h"

#include "input/picture_loader.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

constexpr int kW = 6000, kH = 4000;

const std::string& picturePath() {
    static const std::string path = [] {
        makeNightSkyJpeg(kW, kH, 90, 1);  // renders and caches the file once
        return nightSkyJpegPath(kW, kH, 90, 1);
    }();
    return path;
}

// Allocate, then fill: the first touch of three buffers of the picture's size, as plain malloc
// gives them (no huge pages).
void firstTouchThree() {
    const std::size_t bytes = static_cast<std::size_t>(kW) * kH * 3;
    for (int i = 0; i < 3; ++i) {
        auto* p = static_cast<unsigned char*>(std::malloc(bytes));
        std::memset(p, i, bytes);
        benchmark::DoNotOptimize(p);
        benchmark::ClobberMemory();
        std::free(p);
    }
}

nocturo::LoadedPicture directLoad() {
    nocturo::LoadOptions options;
    options.path = QString::fromStdString(picturePath());
    return nocturo::loadPictureFile(options, QStringLiteral("/tmp/nocturo-bench/scratch.jpg"));
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// All three figures in every iteration, so that they share the machine's state; the counters
// are means over the iterations.
void BM_LoadVsBaseline(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = makeNightSkyJpeg(kW, kH, 90, 1);
    double decodeMs = 0, touchMs = 0, loadMs = 0, firstLoadMs = -1;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        bareDecode(bytes);
        decodeMs += msSince(t0);
        t0 = std::chrono::steady_clock::now();
        firstTouchThree();
        touchMs += msSince(t0);
        t0 = std::chrono::steady_clock::now();
        {
            nocturo::LoadedPicture p = directLoad();
            benchmark::DoNotOptimize(p.source.bits());
            const double ms = msSince(t0);
            loadMs += ms;
            if (firstLoadMs < 0) firstLoadMs = ms;
        }  // released outside the timed part; the next load reuses their memory
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["bare_decode_ms"] = decodeMs / n;
    state.counters["first_touch3_ms"] = touchMs / n;
    state.counters["load_ms"] = loadMs / n;
    state.counters["load_over_baseline"] = loadMs / (decodeMs + touchMs);
    // The first load of the process has no released memory to reuse: every page is touched fresh.
    state.counters["first_load_ms"] = firstLoadMs;
    state.counters["first_load_over_baseline"] = firstLoadMs / ((decodeMs + touchMs) / n);
}
BENCHMARK(BM_LoadVsBaseline)->Unit(benchmark::kMillisecond)->Iterations(8);

void BM_BareDecode(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = makeNightSkyJpeg(kW, kH, 90, 1);
    for (auto _ : state) bareDecode(bytes);
}
BENCHMARK(BM_BareDecode)->Unit(benchmark::kMillisecond);

void BM_DirectLoad(benchmark::State& state) {
    picturePath();
    for (auto _ : state) {
        nocturo::LoadedPicture p = directLoad();
        benchmark::DoNotOptimize(p.source.bits());
    }
}
BENCHMARK(BM_DirectLoad)->Unit(benchmark::kMillisecond);

// Peak resident memory of one load in this process, above what the process had before it.
// Run it on its own (the filter above) so that no earlier benchmark has raised the peak.
void BM_PeakMemory(benchmark::State& state) {
    picturePath();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    for (auto _ : state) {
        nocturo::LoadedPicture p = directLoad();
        benchmark::DoNotOptimize(p.source.bits());
    }
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    state.counters["peak_MiB"] = static_cast<double>(after.ru_maxrss) / 1024.0;
    state.counters["peak_rise_MiB"] = static_cast<double>(after.ru_maxrss - before.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

namespace {

double residentMiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// The window's replacing load: the shown picture stays until the new one is decoded, then the new
// images move in and what nobody uses any more goes back to the system. Timed from the start of
// the load to the end of that hand-back, against the same baseline as above. Run it on its own
// (the filter in the header) so that the peak is this benchmark's.
void BM_ReplacingLoad(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = makeNightSkyJpeg(kW, kH, 90, 1);
    nocturo::LoadedPicture shown = directLoad();
    nocturo::releaseUnusedPixelMemory();
    const double afterFirstMiB = residentMiB();
    double decodeMs = 0, touchMs = 0, loadMs = 0, idleMiB = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        bareDecode(bytes);
        decodeMs += msSince(t0);
        t0 = std::chrono::steady_clock::now();
        firstTouchThree();
        touchMs += msSince(t0);
        t0 = std::chrono::steady_clock::now();
        nocturo::LoadedPicture next = directLoad();
        shown = std::move(next);
        nocturo::releaseUnusedPixelMemory();
        loadMs += msSince(t0);
        idleMiB = std::max(idleMiB, residentMiB());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double n = static_cast<double>(state.iterations());
    state.counters["load_ms"] = loadMs / n;
    state.counters["baseline_ms"] = (decodeMs + touchMs) / n;
    state.counters["load_over_baseline"] = loadMs / (decodeMs + touchMs);
    state.counters["peak_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
    state.counters["resident_after_first_MiB"] = afterFirstMiB;
    state.counters["resident_idle_MiB"] = idleMiB;
    state.counters["pooled_MiB"] = static_cast<double>(nocturo::pooledPixelBytes()) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ReplacingLoad)->Unit(benchmark::kMillisecond)->Iterations(6);

}  // namespace
