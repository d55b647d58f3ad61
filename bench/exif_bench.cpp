// Reading the EXIF data of a typical camera JPEG: a 12-megapixel picture (about 5 MB) with the
// EXIF APP1 right after SOI. The reader must touch only the marker headers and the APP1 block.
//
//   build/bench/exif_bench --benchmark_min_time=1

#include "exif/exif_info.h"

#include "bench_support.h"

#include <benchmark/benchmark.h>

#include <QFile>

#include <filesystem>
#include <fstream>

using namespace nocturo;

namespace {

// A stream that counts what is read through it.
class CountingStream final : public ByteStream {
public:
    explicit CountingStream(ByteStream& inner) : inner_(inner) {}
    std::int64_t read(void* buffer, std::int64_t count) override {
        const std::int64_t n = inner_.read(buffer, count);
        bytes += n;
        ++calls;
        return n;
    }
    std::int64_t write(const void* buffer, std::int64_t count) override { return inner_.write(buffer, count); }
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override { return inner_.seek(offset, origin); }
    std::int64_t size() const override { return inner_.size(); }
    std::int64_t bytes = 0;
    std::int64_t calls = 0;

private:
    ByteStream& inner_;
};

// The synthetic night sky with a real camera's EXIF block (Canon 40D) in place of its JFIF APP0.
const std::string& cameraJpegPath() {
    static const std::string path = [] {
        const std::filesystem::path canon =
            std::filesystem::path(__FILE__).parent_path().parent_path() / "tests/fixtures/exif/Canon_40D.jpg";
        std::ifstream in(canon, std::ios::binary);
        const std::string canonBytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (canonBytes.size() < 2500) return std::string();
        const std::string app1 = canonBytes.substr(20, 2 + 2476);  // FF E1, length, "Exif\0\0", TIFF
        const std::vector<std::uint8_t> sky = makeNightSkyJpeg(4000, 3000, 92, 11);
        const std::size_t app0 = 2 + 2 + ((std::size_t{sky[4]} << 8) | sky[5]);  // SOI + JFIF segment
        std::string file(reinterpret_cast<const char*>(sky.data()), 2);
        file += app1;
        file.append(reinterpret_cast<const char*>(sky.data()) + app0, sky.size() - app0);
        const std::string out = "/tmp/nocturo-bench/exif-camera-v1.jpg";
        std::filesystem::create_directories("/tmp/nocturo-bench");
        std::ofstream(out, std::ios::binary | std::ios::trunc).write(file.data(), static_cast<std::streamsize>(file.size()));
        return out;
    }();
    return path;
}

void BM_ImageFileName(benchmark::State& state) {
    const QString path = QString::fromStdString(cameraJpegPath());
    if (path.isEmpty()) {
        state.SkipWithError("Canon_40D.jpg fixture not found");
        return;
    }
    TExifInfo info;
    for (auto _ : state) {
        info.setImageFileName(path);
        benchmark::DoNotOptimize(info.Entrys().Count());
    }
    if (info.Entrys().Count() != 44 || info.JpegWidth() != 4000) state.SkipWithError("unexpected read result");
    state.counters["file_bytes"] = static_cast<double>(QFile(path).size());
}
BENCHMARK(BM_ImageFileName)->Unit(benchmark::kMicrosecond);

// The same read through a counting stream: how much of the file it touches.
void BM_ReadExifDataBytesTouched(benchmark::State& state) {
    const QString path = QString::fromStdString(cameraJpegPath());
    if (path.isEmpty()) {
        state.SkipWithError("Canon_40D.jpg fixture not found");
        return;
    }
    TExifInfo info;
    std::int64_t bytes = 0, calls = 0;
    for (auto _ : state) {
        FileStream file(path);
        CountingStream counting(file);
        info.ReadExifData(counting);
        bytes = counting.bytes;
        calls = counting.calls;
    }
    state.counters["bytes_read"] = static_cast<double>(bytes);
    state.counters["reads"] = static_cast<double>(calls);
}
BENCHMARK(BM_ReadExifDataBytesTouched)->Unit(benchmark::kMicrosecond);

// Reading plus the shooting-data getters the program uses.
void BM_ShootingDataGetters(benchmark::State& state) {
    const QString path = QString::fromStdString(cameraJpegPath());
    if (path.isEmpty()) {
        state.SkipWithError("Canon_40D.jpg fixture not found");
        return;
    }
    TExifInfo info;
    for (auto _ : state) {
        info.setImageFileName(path);
        QString s = info.DateTimeOriginalText() + info.ExposureTime()->Text() + info.FNumber()->Text() +
                    info.FocalLength()->Text() + info.Model();
        for (int i = 0; i < info.ISOSpeedRatingCount(); ++i) s += QString::number(info.ISOSpeedRatings(i));
        benchmark::DoNotOptimize(s);
    }
}
BENCHMARK(BM_ShootingDataGetters)->Unit(benchmark::kMicrosecond);

}  // namespace
