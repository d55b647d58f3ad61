// Small pictures for the extraction tests: a source image, its processed copy and a black mark
// image, with an optional 15-row strip under the picture.
#pragma once

#include "common/work_image.h"
#include "extract/extraction.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace nocturo::testing_support {

struct Picture {
    WorkImage source, processed, marks;
    int W = 0, H = 0;

    Picture(int w, int h, ColorValue background, int stripRows = 0)
        : source(w, h + stripRows), processed(w, h + stripRows), marks(w, h), W(w), H(h) {
        source.fill(background);
        if (stripRows > 0) source.fillRect(0, h, w, h + stripRows, kWhite);
        processed.copyBlockFrom(source, 0, 0, w, h + stripRows);
        marks.fill(kBlack);
    }
    WorkingImages images() { return {source, processed, marks, W, H}; }
    // Sets a pixel of the picture as loaded (source and its processed copy).
    void set(int x, int y, ColorValue c) {
        source.setPixel(x, y, c);
        processed.setPixel(x, y, c);
    }
    // A deep copy, for runs that must start from the same state.
    Picture clone() const {
        Picture p(1, 1, kBlack);
        p.source = source.clone();
        p.processed = processed.clone();
        p.marks = marks.clone();
        p.W = W;
        p.H = H;
        return p;
    }
};

inline bool sameImage(const WorkImage& a, const WorkImage& b, int* firstX = nullptr, int* firstY = nullptr) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) {
                if (firstX) *firstX = x;
                if (firstY) *firstY = y;
                return false;
            }
    return true;
}

// A noisy sky with stars of varied size and colour, some saturated; deterministic per seed.
inline void paintSky(Picture& p, std::uint32_t seed, int starsPerThousand = 8) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> noise(0, 12);
    for (int y = 0; y < p.H; ++y)
        for (int x = 0; x < p.W; ++x)
            p.set(x, y, makeColor(20 + noise(rng), 22 + noise(rng), 30 + noise(rng)));
    const long stars = 1 + static_cast<long>(p.W) * p.H * starsPerThousand / 1000;
    std::uniform_int_distribution<int> px(0, p.W - 1), py(0, p.H - 1), level(40, 255), size(0, 2);
    for (long n = 0; n < stars; ++n) {
        const int cx = px(rng), cy = py(rng), r = size(rng);
        const int R = level(rng), G = level(rng), B = level(rng);
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x) {
                if (x < 0 || y < 0 || x >= p.W || y >= p.H) continue;
                const int fall = (std::abs(x - cx) + std::abs(y - cy)) * 40;
                p.set(x, y, makeColor(std::max(R - fall, 25), std::max(G - fall, 25), std::max(B - fall, 35)));
            }
    }
}

}  // namespace nocturo::testing_support
