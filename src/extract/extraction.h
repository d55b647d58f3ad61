// Star extraction: the row-background test that finds star pixels, their brightening in the
// colour model, the enlargement of bright stars and the star count over the mark image.
#pragma once

#include "common/work_image.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace nocturo {

class StarCollector;

// The processing rectangle: inclusive bounds in picture coordinates, and the size of the block
// copy that gives it the original back (the whole source image, strip included, for the
// full-picture draw).
struct ProcRect {
    int ProcLeft = 0;
    int ProcTop = 0;
    int ProcRight = 0;
    int ProcBottom = 0;
    int ProcWidth = 0;
    int ProcHeight = 0;
};

// What ExtractStars reads from the side panel, already converted to numbers.
struct ExtractionParams {
    std::int32_t StarThreshold = 10;      // T
    std::int32_t BrightnessPercent = 30;  // b = BrightnessPercent / 100
    std::int32_t SaturationPercent = 0;   // s = SaturationPercent / 100
    bool SpecifiedColourMode = false;     // RadioButton2 "指定色" checked
    ColorValue ExtractionColor = kBlack;  // the colour of Panel2
    bool EnlargeBrightStars = true;       // CheckBox2 "明るい星を拡大"
    int BackgroundOnlyMode = 0;           // 1: star pixels are left alone
    // Threads for the first pass: 0 picks by itself (up to two for large rectangles), 1 keeps
    // everything on the calling thread. The result is the same for any value.
    int threads = 0;
    // false keeps the first pass to plain C++ even where the processor offers vector
    // instructions; the result is the same either way.
    bool vectorised = true;
};

// The working images that a run reads and writes.
struct WorkingImages {
    const WorkImage& SourceImage;
    WorkImage& ProcessedImage;
    WorkImage& MarkImage;
    int WorkWidth;
    int WorkHeight;
};

// Progress 0..100, always called on the calling thread, never decreasing within one pass.
using ProgressCallback = std::function<void(int percent)>;

// Wall-clock milliseconds of the phases of one run (for the CLI's --time and the benchmark).
struct PhaseTimes {
    double extractMs = 0;  // block copy and clearing (ProcessRectangle), clearing and first pass
    double enlargeMs = 0;
    double countMs = 0;
};

// The engine of the extraction run from the clearing of the marks on: makes MarkImage black over
// the rectangle, runs the first pass, the enlargement (when enabled, outside background-only
// mode, and when a row overflowed), then CountStars. Returns the star count. Precondition: the
// rectangle lies inside MarkImage and ProcessedImage holds a copy of SourceImage over it; a
// rectangle outside the images throws std::invalid_argument before anything changes.
// stars, when given, receives every star that the count counts (see CountStars).
int ExtractStars(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                 const ProgressCallback& progress = {}, PhaseTimes* times = nullptr, StarCollector* stars = nullptr);

// The lists that the next full-picture draw of a width x height picture on the calling thread
// fills, reserved now; the task returned maps their pages, so that the draw does not take their
// first touch. The task may run on another thread (the other core while a load decodes) but must
// have finished before the next draw on the calling thread starts. An empty task when nothing
// could be reserved.
std::function<void()> PrepareDrawMemory(int width, int height);

// Labels every red region of MarkImage that reaches row 1 or below as one blue star with one
// green seed pixel, and returns the number of green pixels of the whole image. stars, when
// given, receives each counted seed with the pixels its fill reached, so it ends up with as
// many stars as the count returns.
int CountStars(WorkImage& MarkImage, int WorkWidth, int WorkHeight, StarCollector* stars = nullptr);

namespace detail {
// ExtractStars with the block copy of ProcessRectangle done row by row just before each row is
// processed; the result equals copying first and extracting afterwards.
int extractWithCopy(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                    const ProgressCallback& progress, PhaseTimes* times, StarCollector* stars = nullptr);

// How the enlargement of a two-thread draw shares its centres: centres (scan order, as row and
// column) are cut into up to `wanted` bands; band[i] is centre i's band, and band b runs the
// centres of its band among first[b] .. last[b] - 1. Centres of different bands never have
// neighbourhoods that share a pixel, so the bands may run in any order.
struct EnlargementBands {
    std::vector<int> band;
    std::vector<std::size_t> first, last;
};
EnlargementBands CutEnlargementBands(const std::vector<std::pair<int, int>>& rowAndColumn, int wanted);
}  // namespace detail

}  // namespace nocturo
