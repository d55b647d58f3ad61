// Writing a 6000 x 4000 picture as PNG (the processed night sky after a full-picture draw, and its
// mark image) against a bare libjpeg-turbo decode of the same picture, on the sparse sky and the
// dense ones (2, 5 and 12 % star pixels). Target: the picture's write takes at most three times
// the decode.
//
//   build/bench/png_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "bench_support.h"

#include "common/jpeg_codec.h"
#include "common/png_codec.h"
#include "extract/extraction.h"
#include "extract/processing.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>

namespace {

struct Drawn {
    std::vector<std::uint8_t> jpeg;
    nocturo::WorkImage source, processed, marks;
};

Drawn& drawn(int sky) {
    static std::map<int, Drawn> made;
    auto it = made.find(sky);
    if (it != made.end()) return it->second;
    Drawn d = [&] {
        Drawn q;
        q.jpeg = makeNightSkyJpeg(6000, 4000, 90, 1, kBenchSkies[sky]);
        q.source = nocturo::jpeg::decodeMemory(q.jpeg.data(), q.jpeg.size());
        q.processed = q.source.clone();
        q.marks = nocturo::WorkImage(q.source.width(), q.source.height());
        q.marks.fill(nocturo::kBlack);
        nocturo::WorkingImages images{q.source, q.processed, q.marks, q.source.width(), q.source.height()};
        nocturo::ProcessRectangle(images, nocturo::fullPictureRect(q.source, 0), nocturo::ExtractionParams{});
        return q;
    }();
    return made.emplace(sky, std::move(d)).first->second;
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Argument 0: the sky; argument 1: 0 the processed picture, 1 the mark image. Decode and write in
// the same iteration.
void BM_PngWriteOverDecode(benchmark::State& state) {
    const int sky = static_cast<int>(state.range(0));
    Drawn& d = drawn(sky);
    const bool marks = state.range(1) != 0;
    const nocturo::WorkImage& image = marks ? d.marks : d.processed;
    double decodeMs = 0, writeMs = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        bareDecode(d.jpeg);
        decodeMs += msSince(t0);
        t0 = std::chrono::steady_clock::now();
        bytes = nocturo::png::encode(image).size();
        writeMs += msSince(t0);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = decodeMs / n;
    state.counters["png_ms"] = writeMs / n;
    state.counters["png_over_decode"] = writeMs / decodeMs;
    state.counters["png_MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.SetLabel(std::string(kBenchSkyNames[sky]) + (marks ? " marks" : " picture"));
}
BENCHMARK(BM_PngWriteOverDecode)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4);

}  // namespace
