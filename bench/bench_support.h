// Shared helpers for the benchmarks: a synthetic night-sky JPEG (cached on disk so repeated runs
// do not render it again) and the bare libjpeg-turbo decode that the engine's speed is measured
// against.
#pragma once

#include "common/jpeg_codec.h"

#include <cstddef>
#include <cstdio>
// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace nocturo_bench_detail {

// libjpeg's default error_exit calls exit(); jump back instead and throw from our own frame.
struct JpegErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorJump*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// A small, fully specified generator so that the picture is the same on every machine.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t state_;
};

// Approximately normal noise (sum of four uniform bytes, mean 0, sigma about 1) from one draw.
inline double cheapGauss(std::uint64_t bits) {
    const int s = static_cast<int>(bits & 0xFF) + static_cast<int>((bits >> 8) & 0xFF) +
                  static_cast<int>((bits >> 16) & 0xFF) + static_cast<int>((bits >> 24) & 0xFF);
    return (s - 510.0) / 147.8;
}

inline std::uint8_t clampByte(double v) {
    if (v <= 0.0) return 0;
    if (v >= 255.0) return 255;
    return static_cast<std::uint8_t>(v + 0.5);
}

// What makes a synthetic sky sparse or dense in star pixels: the sensor noise, the density of
// stars (most of them faint) and a nebulous glow of soft patches narrower than the background
// window, as the Milky Way gives on real photographs.
struct SkyStyle {
    double noise = 1.0;          // scales the luminance and colour noise
    long pixelsPerStar = 8000;   // one star per this many pixels
    int glowPatches = 0;         // soft patches of glow over the picture
    double glowAmplitude = 0.0;  // their peak brightness
};

// Renders a BGR picture: a dark sky with a horizontal glow towards the bottom, sensor noise, and
// by default one star per 8000 pixels with Gaussian profiles, colour tints and a few saturated
// cores.
inline std::vector<std::uint8_t> renderNightSky(int w, int h, std::uint32_t seed, const SkyStyle& style = {}) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(w) * h * 3);
    Rng rng(seed);
    const double n = style.noise;
    for (int y = 0; y < h; ++y) {
        const double fy = h > 1 ? static_cast<double>(y) / (h - 1) : 0.0;
        std::uint8_t* row = bgr.data() + static_cast<std::size_t>(y) * w * 3;
        for (int x = 0; x < w; ++x) {
            const double fx = w > 1 ? static_cast<double>(x) / (w - 1) : 0.0;
            const double glow = fy * fy * (14.0 + 10.0 * std::exp(-8.0 * (fx - 0.3) * (fx - 0.3)));
            const std::uint64_t bits = rng.next();
            const double luma = 1.5 * n * cheapGauss(bits >> 32);
            row[3 * x + 0] = clampByte(26.0 + 0.6 * glow + luma + 2.5 * n * cheapGauss(bits));
            row[3 * x + 1] = clampByte(16.0 + 0.8 * glow + luma + 2.0 * n * cheapGauss(bits >> 8));
            row[3 * x + 2] = clampByte(12.0 + 1.0 * glow + luma + 2.5 * n * cheapGauss(bits >> 16));
        }
    }
    // The glow: patches of 15..75 pixels with a warm tint, added before the stars.
    for (int g = 0; g < style.glowPatches; ++g) {
        const double cx = rng.uniform() * w, cy = rng.uniform() * h;
        const double sigma = 15.0 + 60.0 * rng.uniform();
        const double peak = style.glowAmplitude * (0.5 + rng.uniform());
        const double tint[3] = {0.8, 0.9, 1.1};
        const int radius = static_cast<int>(std::ceil(3.0 * sigma));
        const int x0 = std::max(0, static_cast<int>(cx) - radius), x1 = std::min(w - 1, static_cast<int>(cx) + radius);
        const int y0 = std::max(0, static_cast<int>(cy) - radius), y1 = std::min(h - 1, static_cast<int>(cy) + radius);
        for (int y = y0; y <= y1; ++y) {
            std::uint8_t* row = bgr.data() + static_cast<std::size_t>(y) * w * 3;
            const double dy = y + 0.5 - cy;
            for (int x = x0; x <= x1; ++x) {
                const double dx = x + 0.5 - cx;
                const double a = peak * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                if (a < 0.5) continue;
                for (int c = 0; c < 3; ++c) row[3 * x + c] = clampByte(row[3 * x + c] + a * tint[c]);
            }
        }
    }
    const long stars = std::max<long>(20, static_cast<long>(w) * h / style.pixelsPerStar);
    for (long n = 0; n < stars; ++n) {
        const double cx = rng.uniform() * w, cy = rng.uniform() * h;
        // Many faint stars, few bright ones: the peak follows a steep power law.
        const double u = rng.uniform();
        const double peak = 14.0 + 500.0 * std::pow(u, 6.0);
        const double sigma = 0.55 + 1.6 * std::pow(rng.uniform(), 2.0) + (peak > 200.0 ? 0.8 : 0.0);
        // Colour temperature from blue-white to orange.
        const double temp = rng.uniform();
        const double tint[3] = {1.05 - 0.45 * temp, 0.95 - 0.1 * temp, 0.8 + 0.25 * temp};  // B, G, R
        const int radius = static_cast<int>(std::ceil(3.5 * sigma));
        const int x0 = std::max(0, static_cast<int>(cx) - radius), x1 = std::min(w - 1, static_cast<int>(cx) + radius);
        const int y0 = std::max(0, static_cast<int>(cy) - radius), y1 = std::min(h - 1, static_cast<int>(cy) + radius);
        for (int y = y0; y <= y1; ++y) {
            std::uint8_t* row = bgr.data() + static_cast<std::size_t>(y) * w * 3;
            for (int x = x0; x <= x1; ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double a = peak * std::exp(-(dx * dx + dy * dy) / (2.0 * sigma * sigma));
                if (a < 0.5) continue;
                for (int c = 0; c < 3; ++c) row[3 * x + c] = clampByte(row[3 * x + c] + a * tint[c]);
            }
        }
    }
    return bgr;
}

// The rendered picture encoded by the program's own codec (baseline, the encoder's defaults).
inline std::vector<std::uint8_t> encodeBgrJpeg(const std::vector<std::uint8_t>& bgr, int w, int h, int quality) {
    nocturo::WorkImage image(w, h);
    for (int y = 0; y < h; ++y)
        std::memcpy(image.row(y), bgr.data() + static_cast<std::size_t>(y) * w * 3, static_cast<std::size_t>(w) * 3);
    const QByteArray jpeg = nocturo::jpeg::encode(image, quality);
    return std::vector<std::uint8_t>(jpeg.begin(), jpeg.end());
}

}  // namespace nocturo_bench_detail

// The benchmarks' 6000 x 4000 skies: index 0 is the sparse one (faint noise, few stars: almost
// no pixel passes the threshold); 1..3 measure 2.0, 5.0 and 12.0 % star pixels at the standard
// settings, as real photographs have (the glow patches set the share).
inline constexpr nocturo_bench_detail::SkyStyle kBenchSkies[] = {
    {},
    {1.0, 2000, 170, 24.0},
    {1.1, 1200, 465, 26.0},
    {1.2, 800, 1335, 28.0},
};
inline constexpr const char* kBenchSkyNames[] = {"sparse", "dense-2%", "dense-5%", "dense-12%"};

// Where the synthetic picture of these parameters is cached (the name carries the generator's
// version, so a changed generator never reuses an old file).
inline std::string nightSkyJpegPath(int w, int h, int quality, std::uint32_t seed,
                                    const nocturo_bench_detail::SkyStyle& style = {}) {
    std::string name = "/tmp/nocturo-bench/nightsky-v1-" + std::to_string(w) + "x" + std::to_string(h) + "-q" +
                       std::to_string(quality) + "-s" + std::to_string(seed);
    const nocturo_bench_detail::SkyStyle plain;
    if (style.noise != plain.noise || style.pixelsPerStar != plain.pixelsPerStar ||
        style.glowPatches != plain.glowPatches || style.glowAmplitude != plain.glowAmplitude)
        name += "-n" + std::to_string(static_cast<int>(style.noise * 100)) + "-p" +
                std::to_string(style.pixelsPerStar) + "-g" + std::to_string(style.glowPatches) + "x" +
                std::to_string(static_cast<int>(style.glowAmplitude * 10));
    return name + ".jpg";
}

// A deterministic synthetic night-sky JPEG of w x h pixels, rendered once and then read from the
// cache under /tmp/nocturo-bench.
inline std::vector<std::uint8_t> makeNightSkyJpeg(int w, int h, int quality, std::uint32_t seed,
                                                  const nocturo_bench_detail::SkyStyle& style = {}) {
    namespace fs = std::filesystem;
    const std::string path = nightSkyJpegPath(w, h, quality, seed, style);
    {
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            // A cached file must at least start and end like a JPEG; anything else is rendered anew.
            if (data.size() > 4 && data[0] == 0xFF && data[1] == 0xD8 && data[data.size() - 2] == 0xFF &&
                data[data.size() - 1] == 0xD9)
                return data;
        }
    }
    const std::vector<std::uint8_t> jpeg =
        nocturo_bench_detail::encodeBgrJpeg(nocturo_bench_detail::renderNightSky(w, h, seed, style), w, h, quality);
    std::error_code ec;
    fs::create_directories(fs::path(path).parent_path(), ec);
    // Written under a private name and renamed, so that two benchmarks started together never
    // read a half-written file.
    const std::string tmp = path + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        if (!out) {
            fs::remove(tmp, ec);
            return jpeg;  // the cache is a convenience only
        }
    }
    fs::rename(tmp, path, ec);
    if (ec) fs::remove(tmp, ec);
    return jpeg;
}

// What `djpeg -outfile /dev/null` does: decode with the default parameters, row by row, into one
// reused row buffer. The time the engine is compared against.
inline void bareDecode(const std::vector<std::uint8_t>& jpeg) {
    jpeg_decompress_struct cinfo;
    nocturo_bench_detail::JpegErrorJump jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = nocturo_bench_detail::jpegErrorExit;
    std::vector<JSAMPLE> row;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        throw std::runtime_error(std::string("JPEG decode failed: ") + jerr.message);
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    row.resize(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}
