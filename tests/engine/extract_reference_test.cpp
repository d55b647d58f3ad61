// The optimised engine against the literal reference of the extraction rules, bit for bit, on
// noisy skies of awkward sizes, over sequences of draws, range draws and restores with varied
// settings; on one thread, split over two, and without vector instructions.
#include "extract/extraction.h"
#include "extract/processing.h"

#include "engine/extract_fixture.h"
#include "engine/extract_reference.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <thread>
#include <vector>

using namespace nocturo;
using nocturo::testing_support::Picture;
using nocturo::testing_support::sameImage;

namespace {

struct Size {
    int w, h, strip;
};

void expectSame(const Picture& engine, const Picture& ref, const char* what) {
    int x = -1, y = -1;
    EXPECT_TRUE(sameImage(engine.processed, ref.processed, &x, &y))
        << what << ": processed differs at " << x << "," << y;
    EXPECT_TRUE(sameImage(engine.marks, ref.marks, &x, &y)) << what << ": marks differ at " << x << "," << y;
}

// Draws r over three copies of `unprocessed` (ref before the reference drew it) on one thread,
// on two, and without vector instructions: each gives the reference's count and pixels.
void expectEveryWayMatches(const Picture& unprocessed, const Picture& ref, const ProcRect& r, ExtractionParams p,
                           int expected) {
    Picture one = unprocessed.clone(), two = unprocessed.clone(), plain = unprocessed.clone();
    p.threads = 1;
    EXPECT_EQ(ProcessRectangle(one.images(), r, p), expected);
    p.threads = 2;
    EXPECT_EQ(ProcessRectangle(two.images(), r, p), expected);
    p.threads = 1;
    p.vectorised = false;
    EXPECT_EQ(ProcessRectangle(plain.images(), r, p), expected);
    expectSame(one, ref, "one thread");
    expectSame(two, ref, "two threads");
    expectSame(plain, ref, "no vector instructions");
}

ExtractionParams randomParams(std::mt19937& rng) {
    const int thresholds[] = {-2, 0, 3, 10, 25};
    const int brightness[] = {-60, 0, 15, 30, 70, 200};
    const int saturation[] = {-100, -40, 0, 35, 100};
    ExtractionParams p;
    p.StarThreshold = thresholds[rng() % 5];
    p.BrightnessPercent = brightness[rng() % 6];
    p.SaturationPercent = saturation[rng() % 5];
    p.EnlargeBrightStars = rng() % 4 != 0;
    p.BackgroundOnlyMode = rng() % 4 == 0 ? 1 : 0;
    p.SpecifiedColourMode = rng() % 3 == 0;
    p.ExtractionColor =
        makeColor(static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256));
    return p;
}

ProcRect randomRange(std::mt19937& rng, int w, int h) {
    const int l = static_cast<int>(rng() % w), r = l + static_cast<int>(rng() % (w - l));
    const int t = static_cast<int>(rng() % h), b = t + static_cast<int>(rng() % (h - t));
    return rangeRect(l, t, r, b);
}

}  // namespace

TEST(ExtractionReference, SequencesOfOperationsMatchBitForBit) {
    const Size sizes[] = {{1, 5, 0}, {2, 4, 0}, {3, 7, 15}, {39, 9, 0}, {40, 10, 15}, {41, 12, 0},
                          {83, 17, 0}, {160, 90, 15}, {257, 64, 0}};
    std::mt19937 rng(2024);
    for (const Size& s : sizes) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " strip " << s.strip << " round " << round);
            Picture ref(s.w, s.h, kBlack, s.strip);
            testing_support::paintSky(ref, static_cast<std::uint32_t>(rng()), 10 + round * 15);
            Picture one = ref.clone(), two = ref.clone(), plain = ref.clone();
            for (int step = 0; step < 4; ++step) {
                ExtractionParams p = randomParams(rng);
                SCOPED_TRACE(testing::Message()
                             << "step " << step << " T " << p.StarThreshold << " b " << p.BrightnessPercent << " s "
                             << p.SaturationPercent << " enlarge " << p.EnlargeBrightStars << " bg-only "
                             << p.BackgroundOnlyMode << " specified " << p.SpecifiedColourMode);
                int expected = 0, got1 = 0, got2 = 0, got3 = 0;
                auto runAll = [&](const ProcRect& r, ExtractionParams q) {
                    q.threads = 1;
                    got1 = ProcessRectangle(one.images(), r, q);
                    q.threads = 2;
                    got2 = ProcessRectangle(two.images(), r, q);
                    q.threads = 1;
                    q.vectorised = false;
                    got3 = ProcessRectangle(plain.images(), r, q);
                };
                if (step == 0 || rng() % 3 == 0) {
                    const ProcRect r = fullPictureRect(ref.source, s.strip ? 1 : 0);
                    expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
                    runAll(r, p);
                } else if (rng() % 3 != 0) {
                    const ProcRect r = randomRange(rng, s.w, s.h);
                    expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
                    runAll(r, p);
                } else {
                    const ProcRect r = randomRange(rng, s.w, s.h);
                    const bool specified = rng() % 2 == 0;
                    for (Picture* pic : {&ref, &one, &two, &plain}) clearMarks(pic->marks, r);
                    if (specified)
                        ref.processed.fillRect(r.ProcLeft, r.ProcTop, r.ProcRight + 1, r.ProcBottom + 1,
                                               p.ExtractionColor);
                    else
                        for (int y = r.ProcTop; y <= r.ProcBottom; ++y)
                            for (int x = r.ProcLeft; x <= r.ProcRight; ++x)
                                ref.processed.setPixel(x, y, ref.source.pixel(x, y));
                    expected = reference::countStars(ref.marks, ref.W, ref.H);
                    got1 = RestoreRectangle(one.images(), r, specified, p.ExtractionColor);
                    got2 = RestoreRectangle(two.images(), r, specified, p.ExtractionColor);
                    got3 = RestoreRectangle(plain.images(), r, specified, p.ExtractionColor);
                }
                EXPECT_EQ(got1, expected);
                EXPECT_EQ(got2, expected);
                EXPECT_EQ(got3, expected);
                expectSame(one, ref, "one thread");
                expectSame(two, ref, "two threads");
                expectSame(plain, ref, "no vector instructions");
                if (HasFailure()) return;
            }
        }
    }
}

// A picture large enough to be cut into many chunks for the two threads, at the standard
// settings and with enlargement: the same result as one thread and as the reference, and the
// progress still climbs from 0 to 100 on the calling thread before the enlargement's values.
TEST(ExtractionReference, SplitRunEqualsPlainRun) {
    Picture ref(640, 300, kBlack);
    testing_support::paintSky(ref, 99, 20);
    Picture one = ref.clone(), two = ref.clone(), plain = ref.clone();
    ExtractionParams p;  // 10, 30, 0, enlarge
    const ProcRect r = fullPictureRect(ref.source, 0);
    const int expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
    ASSERT_GT(expected, 100);
    std::vector<int> progress1, progress2;
    p.threads = 1;
    EXPECT_EQ(ProcessRectangle(one.images(), r, p, [&](int v) { progress1.push_back(v); }), expected);
    p.threads = 2;
    const std::thread::id caller = std::this_thread::get_id();
    bool otherThread = false;
    EXPECT_EQ(ProcessRectangle(two.images(), r, p,
                               [&](int v) {
                                   if (std::this_thread::get_id() != caller) otherThread = true;
                                   progress2.push_back(v);
                               }),
              expected);
    expectSame(one, ref, "one thread");
    expectSame(two, ref, "two threads");
    EXPECT_FALSE(otherThread);
    p.threads = 1;
    p.vectorised = false;
    EXPECT_EQ(ProcessRectangle(plain.images(), r, p), expected);
    expectSame(plain, ref, "no vector instructions");
    for (const std::vector<int>* prog : {&progress1, &progress2}) {
        ASSERT_FALSE(prog->empty());
        EXPECT_EQ(prog->front(), 0);
        EXPECT_EQ(prog->back(), 100);
        // Climbs through the first pass to 100, then once more through the enlargement.
        int drops = 0;
        for (std::size_t i = 1; i < prog->size(); ++i)
            if ((*prog)[i] < (*prog)[i - 1]) {
                ++drops;
                EXPECT_EQ((*prog)[i - 1], 100);
            }
        EXPECT_EQ(drops, 1);
    }
    // On one thread the first pass reports every percent once (300 rows: 0, 1, ..., 100).
    std::vector<int> percents(101);
    for (int i = 0; i <= 100; ++i) percents[static_cast<std::size_t>(i)] = i;
    ASSERT_GT(progress1.size(), percents.size());
    EXPECT_EQ(std::vector<int>(progress1.begin(), progress1.begin() + 101), percents);
}

// Dense skies, where a large share of the pixels are star pixels (as on Milky Way photographs):
// runs of star pixels in every colour, brightened and saturated in both directions, with
// enlargement and the count's regions touching across the threads' rows. Every way of running
// the engine gives the reference's pixels and count.
TEST(ExtractionReference, DenseSkiesMatchBitForBit) {
    struct Case {
        int w, h, starsPerThousand;
        int threshold, brightness, saturation;
    };
    const Case cases[] = {
        {700, 160, 60, 10, 30, 0},     {700, 160, 150, 10, 30, 0},  {700, 160, 400, 10, 30, 0},
        {523, 131, 250, 0, 70, 100},   {523, 131, 250, 3, -40, -100}, {301, 97, 400, -2, 200, 35},
        {1031, 257, 120, 10, 30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " density " << c.starsPerThousand << " T "
                                        << c.threshold << " b " << c.brightness << " s " << c.saturation);
        Picture ref(c.w, c.h, kBlack);
        testing_support::paintSky(ref, static_cast<std::uint32_t>(c.w * 7 + c.starsPerThousand), c.starsPerThousand);
        const Picture unprocessed = ref.clone();
        ExtractionParams p;
        p.StarThreshold = c.threshold;
        p.BrightnessPercent = c.brightness;
        p.SaturationPercent = c.saturation;
        const ProcRect r = fullPictureRect(ref.source, 0);
        const int expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
        // The sky must really be dense: at least 3 % of its pixels marked.
        long marked = 0;
        for (int y = 0; y < ref.H; ++y)
            for (int x = 0; x < ref.W; ++x) marked += ref.marks.pixel(x, y) != kBlack ? 1 : 0;
        EXPECT_GT(marked * 100, 3L * ref.W * ref.H);
        expectEveryWayMatches(unprocessed, ref, r, p, expected);
        if (HasFailure()) return;
    }
}

// Shapes that the draw's count and enlargement must follow across the blocks of rows that the
// engine works in: a U, a V and an N whose arms meet only below the first rows they cross, a
// run of row 0 that links two stars of row 1, and columns of small blobs whose bright pixels
// interact over long chains of rows though their marks never touch. Every way of running gives
// the reference's pixels and count.
TEST(ExtractionReference, StarsAcrossRowBlocksMatchBitForBit) {
    Picture ref(400, 96, kBlack);
    const ColorValue star = makeColor(230, 215, 200);
    auto bar = [&](int x, int y0, int y1) {
        for (int y = y0; y <= y1; ++y) ref.set(x, y, star);
    };
    auto run = [&](int y, int x0, int x1) {
        for (int x = x0; x <= x1; ++x) ref.set(x, y, star);
    };
    bar(10, 5, 24), bar(13, 5, 24), run(24, 10, 13);              // U over rows 5..24
    bar(40, 18, 25), bar(43, 18, 25), run(25, 40, 43);            // V inside rows 16..31
    bar(60, 2, 20), bar(63, 12, 35), run(20, 60, 63);             // N over three blocks
    bar(66, 30, 50), run(34, 63, 66), bar(69, 3, 47), run(47, 66, 69);
    run(0, 100, 104), ref.set(100, 1, star), ref.set(104, 1, star);  // linked through row 0
    run(0, 120, 122);                                              // row 0 alone
    // Blobs of alternating hues, so that the order in which two of them raise a pixel shows.
    const ColorValue hues[] = {makeColor(240, 190, 120), makeColor(150, 200, 245), makeColor(235, 235, 160)};
    for (int i = 0; i < 45; ++i)
        for (int y = 30, j = 0; y + 1 < 96; y += 3, ++j)
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) ref.set(130 + 6 * i + dx, y + dy, hues[(i + j) % 3]);
    bar(399, 40, 60), bar(398, 44, 46);                            // the last column
    const Picture unprocessed = ref.clone();
    ExtractionParams p;
    const ProcRect r = fullPictureRect(ref.source, 0);
    const int expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
    ASSERT_GT(expected, 45 * 20);
    expectEveryWayMatches(unprocessed, ref, r, p, expected);
}

// Black skies with scattered grey points of random level: most bytes that enter and leave the
// background windows are 0, so a pixel's window sum is often as small as a bound taken over its
// neighbours can be, and many pixels sit exactly on the threshold (thresholds swept around the
// points' levels). Widths that are no multiple of the vector blocks. Every way of running gives
// the reference's pixels and count.
TEST(ExtractionReference, SparsePointsOnTheThresholdMatchBitForBit) {
    struct Case {
        int w, h, pointsPerHundred, maxLevel;
    };
    // 1500 wide: the rows' ends, where the window stays put, are wider than a vector block.
    const Case cases[] = {{333, 40, 5, 40}, {451, 33, 20, 90}, {1000, 24, 2, 255}, {97, 50, 35, 30}, {1500, 12, 10, 60}};
    for (const Case& c : cases) {
        for (int threshold : {0, 1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " points " << c.pointsPerHundred << " max "
                                            << c.maxLevel << " T " << threshold);
            Picture ref(c.w, c.h, kBlack);
            std::mt19937 rng(static_cast<std::uint32_t>(c.w * 31 + threshold));
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    if (static_cast<int>(rng() % 100) < c.pointsPerHundred) {
                        const int v = static_cast<int>(rng() % static_cast<unsigned>(c.maxLevel + 1));
                        ref.set(x, y, makeColor(v, v, v));
                    }
            const Picture unprocessed = ref.clone();
            ExtractionParams p;
            p.StarThreshold = threshold;
            const ProcRect r = fullPictureRect(ref.source, 0);
            const int expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, p);
            expectEveryWayMatches(unprocessed, ref, r, p, expected);
            if (HasFailure()) return;
        }
    }
}

// Memory for the next draw prepared on another thread (as a load does while it decodes), for the
// picture's own size, a smaller and a larger one: the draws that follow give the reference's
// pixels and count, also when earlier draws left their lists filled.
TEST(ExtractionReference, DrawsAfterPreparedMemoryMatchBitForBit) {
    Picture ref(700, 160, kBlack);
    testing_support::paintSky(ref, 91, 400);
    const Picture unprocessed = ref.clone();
    const ProcRect r = fullPictureRect(ref.source, 0);
    const int expected = reference::processRectangle(ref.source, ref.processed, ref.marks, ref.H, r, ExtractionParams{});
    const struct {
        int w, h;
    } sizes[] = {{700, 160}, {100, 20}, {1400, 330}, {1, 1}, {0, 0}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << "prepared for " << s.w << " x " << s.h);
        std::function<void()> touch = PrepareDrawMemory(s.w, s.h);
        EXPECT_EQ(static_cast<bool>(touch), s.w > 0 && s.h > 0);
        if (touch) std::thread(touch).join();
        expectEveryWayMatches(unprocessed, ref, r, ExtractionParams{}, expected);
    }
}
