// The extraction pass and the enlargement on small pictures whose expected pixels were worked out
// by hand (float32 storage, double evaluation, ties to even) from the rules of the pass.
#include "extract/extraction.h"
#include "extract/processing.h"

#include "engine/extract_fixture.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

using namespace nocturo;
using nocturo::testing_support::Picture;
using nocturo::testing_support::sameImage;

namespace {

constexpr ColorValue kSky = makeColor(20, 20, 20);

struct Px {
    int x, y;
    ColorValue c;
};

ExtractionParams settings(int threshold, int brightness, int saturation, bool enlarge = true) {
    ExtractionParams p;
    p.StarThreshold = threshold;
    p.BrightnessPercent = brightness;
    p.SaturationPercent = saturation;
    p.EnlargeBrightStars = enlarge;
    return p;
}

int drawAll(Picture& pic, const ExtractionParams& params, int strip = 0, std::vector<int>* progress = nullptr) {
    ProgressCallback cb;
    if (progress) cb = [progress](int v) { progress->push_back(v); };
    return ProcessRectangle(pic.images(), fullPictureRect(pic.source, strip), params, cb);
}

// Every pixel of the processed image equals the source except the listed ones, which have the
// listed colours.
void expectChanged(const Picture& pic, const std::vector<Px>& changed) {
    std::set<std::pair<int, int>> listed;
    for (const Px& p : changed) {
        listed.insert({p.x, p.y});
        const ColorValue got = pic.processed.pixel(p.x, p.y);
        EXPECT_EQ(got, p.c) << "at " << p.x << "," << p.y << ": got " << colorRed(got) << "," << colorGreen(got) << ","
                            << colorBlue(got) << " expected " << colorRed(p.c) << "," << colorGreen(p.c) << ","
                            << colorBlue(p.c);
    }
    for (int y = 0; y < pic.processed.height(); ++y)
        for (int x = 0; x < pic.W; ++x)
            if (!listed.count({x, y})) {
                EXPECT_EQ(pic.processed.pixel(x, y), pic.source.pixel(x, y)) << "at " << x << "," << y;
            }
}

std::set<std::pair<int, int>> markedPixels(const Picture& pic) {
    std::set<std::pair<int, int>> s;
    for (int y = 0; y < pic.H; ++y)
        for (int x = 0; x < pic.W; ++x)
            if (pic.marks.pixel(x, y) != kBlack) s.insert({x, y});
    return s;
}

}  // namespace

// A star pixel far from the border: it and its four direct neighbours are raised by b + 0.5 e,
// the diagonal ones by b + 0.35 e, all with the star's hue and saturation. The second case has a
// diagonal neighbour (113, 94, 96) whose result differs when 0.35 is taken as a float (246).
TEST(ExtractionPass, IsolatedOverflowStarSpreadsOverItsNeighbourhood) {
    struct Case {
        const char* name;
        int brightness;
        bool enlarge;
        ColorValue star;
        ColorValue row3;  // the row under the star
        std::vector<Px> expected;
    } cases[] = {
        {"standard settings", 30, true, makeColor(200, 180, 160), kSky,
         {{10, 2, makeColor(255, 229, 204)},
          {9, 2, makeColor(107, 97, 86)}, {11, 2, makeColor(107, 97, 86)},
          {10, 1, makeColor(107, 97, 86)}, {10, 3, makeColor(107, 97, 86)},
          {9, 1, makeColor(104, 94, 83)}, {11, 1, makeColor(104, 94, 83)},
          {9, 3, makeColor(104, 94, 83)}, {11, 3, makeColor(104, 94, 83)}}},
        {"enlargement off", 30, false, makeColor(200, 180, 160), kSky, {{10, 2, makeColor(255, 229, 204)}}},
        {"diagonal share in double", 40, true, makeColor(243, 60, 132), makeColor(113, 94, 96),
         {{10, 2, makeColor(255, 63, 139)},
          {9, 2, makeColor(167, 41, 91)}, {11, 2, makeColor(167, 41, 91)},
          {10, 1, makeColor(167, 41, 91)}, {9, 1, makeColor(153, 38, 83)}, {11, 1, makeColor(153, 38, 83)},
          {10, 3, makeColor(255, 63, 139)}, {9, 3, makeColor(247, 61, 134)}, {11, 3, makeColor(247, 61, 134)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Picture pic(40, 5, kSky);  // k = 1: windows of three pixels
        for (int x = 0; x < 40; ++x) pic.set(x, 3, c.row3);
        pic.set(10, 2, c.star);
        EXPECT_EQ(drawAll(pic, settings(10, c.brightness, 0, c.enlarge)), 1);
        expectChanged(pic, c.expected);
        EXPECT_EQ(markedPixels(pic), (std::set<std::pair<int, int>>{{10, 2}}));
        EXPECT_EQ(pic.marks.pixel(10, 2), makeColor(0, 255, 0));
    }
}

// A range draw: a centre in the rectangle's last column (never a star pixel itself, a centre
// because its row is listed) and in its top row changes only the four pixels of its
// neighbourhood inside the rectangle; a star in the first column lists its row but is no centre.
TEST(ExtractionPass, CornerCentreLastColumnAndFirstColumn) {
    Picture pic(40, 5, kSky);
    const ColorValue star = makeColor(200, 180, 160);
    pic.set(12, 1, star);  // in the top row of the rectangle
    pic.set(20, 1, star);  // ProcRight, ProcTop: the corner
    pic.set(5, 2, star);   // ProcLeft
    std::vector<int> progress;
    const int count = ProcessRectangle(pic.images(), rangeRect(5, 1, 20, 3), settings(10, 30, 0),
                                       [&](int v) { progress.push_back(v); });
    EXPECT_EQ(count, 2);
    const ColorValue full = makeColor(255, 229, 204), direct = makeColor(107, 97, 86),
                     diagonal = makeColor(104, 94, 83);
    expectChanged(pic, {{12, 1, full}, {11, 1, direct}, {13, 1, direct}, {12, 2, direct}, {11, 2, diagonal},
                        {13, 2, diagonal}, {5, 2, full}, {20, 1, full}, {19, 1, direct}, {20, 2, direct},
                        {19, 2, diagonal}});
    EXPECT_EQ(markedPixels(pic), (std::set<std::pair<int, int>>{{12, 1}, {5, 2}}));
    // First pass over rows 1..3, then the two listed rows.
    EXPECT_EQ(progress, (std::vector<int>{0, 50, 100, 50, 100}));
}

TEST(ExtractionPass, LastColumnTakesTheSpecifiedColourAndIsNeverMarked) {
    Picture pic(40, 3, kSky);
    pic.set(39, 1, makeColor(250, 250, 250));
    ExtractionParams p = settings(10, 30, 0);
    p.SpecifiedColourMode = true;
    p.ExtractionColor = makeColor(1, 2, 3);
    EXPECT_EQ(drawAll(pic, p), 0);
    EXPECT_EQ(pic.processed.pixel(39, 1), makeColor(1, 2, 3));
    EXPECT_EQ(pic.processed.pixel(0, 0), makeColor(1, 2, 3));
    EXPECT_TRUE(markedPixels(pic).empty());
}

// Strict comparisons against the truncated mean: (10 + 12 + 10) / 3 truncates to 10 (rounding
// would give 11), (10 + 11 + 10) / 3 to 10.
TEST(ExtractionPass, ThresholdIsStrictAgainstTheTruncatedMean) {
    struct Case {
        int threshold;
        std::set<std::pair<int, int>> marked;
    } cases[] = {
        {2, {}},
        {1, {{7, 1}}},
        {0, {{7, 1}, {20, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.threshold);
        Picture pic(40, 3, makeColor(10, 10, 10));
        pic.set(7, 1, makeColor(12, 12, 12));
        pic.set(20, 1, makeColor(11, 11, 11));
        drawAll(pic, settings(c.threshold, 0, 0));
        EXPECT_EQ(markedPixels(pic), c.marked);
    }
}

// The windows the test uses end at pixel W - 2: the picture's last pixel never raises the
// background of the pixels near it (window 36..38 for x = 38 here, mean 46, not 37..39, mean 125).
TEST(ExtractionPass, RightmostPixelIsInNoWindow) {
    Picture pic(40, 3, kSky);
    pic.set(38, 1, makeColor(100, 100, 100));
    pic.set(39, 1, makeColor(255, 255, 255));
    EXPECT_EQ(drawAll(pic, settings(10, 0, 0)), 1);
    EXPECT_EQ(markedPixels(pic), (std::set<std::pair<int, int>>{{38, 1}}));
}

// Narrower than 40 pixels, k = 0: a pixel's background is the pixel itself (the last column uses
// the one before it), so only a negative threshold finds stars.
TEST(ExtractionPass, NarrowPictureNeedsANegativeThreshold) {
    for (int threshold : {0, -1}) {
        SCOPED_TRACE(threshold);
        Picture pic(20, 3, kSky);
        testing_support::paintSky(pic, 7);
        const int count = drawAll(pic, settings(threshold, 0, 0));
        const auto marked = markedPixels(pic);
        if (threshold == 0) {
            EXPECT_EQ(count, 0);
            EXPECT_TRUE(marked.empty());
            EXPECT_TRUE(sameImage(pic.processed, pic.source));
        } else {
            // Columns 0..18 of every row form one region, labelled once from row 1.
            EXPECT_EQ(count, 1);
            EXPECT_EQ(marked.size(), 19u * 3u);
            for (int y = 0; y < 3; ++y) EXPECT_EQ(pic.marks.pixel(19, y), kBlack);
            EXPECT_EQ(pic.marks.pixel(0, 1), makeColor(0, 255, 0));
        }
    }
}

// The window runs over the whole row: a bright pixel just outside a three-column rectangle
// raises the background of the pixels inside it.
TEST(ExtractionPass, WindowReachesOutsideTheRectangle) {
    for (bool brightOutside : {false, true}) {
        SCOPED_TRACE(brightOutside);
        Picture pic(80, 3, kSky);  // k = 2: windows of five pixels
        pic.set(11, 1, makeColor(60, 60, 60));
        if (brightOutside) pic.set(13, 1, makeColor(200, 200, 200));
        // (20 x 4 + 60) / 5 = 28 makes (11, 1) a star; with 200 at x = 13, (20 x 3 + 60 + 200) / 5 = 64.
        const int count = ProcessRectangle(pic.images(), rangeRect(10, 0, 12, 2), settings(10, 0, 0));
        EXPECT_EQ(count, brightOutside ? 0 : 1);
        EXPECT_EQ(pic.processed.pixel(13, 1), pic.source.pixel(13, 1));
    }
}

TEST(ExtractionPass, BrightnessAndSaturationSteps) {
    struct Case {
        int brightness, saturation;
        ColorValue expected;
    } cases[] = {
        {30, 0, makeColor(255, 128, 64)},     // value limited to 1
        {-50, 0, makeColor(73, 36, 18)},      // darker
        {-100, 0, makeColor(0, 0, 0)},        // negative channels stored as 0
        {0, -100, makeColor(200, 200, 200)},  // no colour left: Round(V x 255)
        {0, 100, makeColor(200, 67, 0)},      // fully saturated
        {10, -30, makeColor(226, 158, 124)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.brightness << " " << c.saturation);
        Picture pic(40, 3, kSky);
        pic.set(10, 1, makeColor(200, 100, 50));
        EXPECT_EQ(drawAll(pic, settings(10, c.brightness, c.saturation, false)), 1);
        expectChanged(pic, {{10, 1, c.expected}});
    }
}

// Background-only mode leaves star pixels alone and marks nothing. With "原画に上書き" only the
// pixels darker than background - T in a channel take the colour (here the star's neighbours,
// whose window holds the star, and one dark pixel); with "指定色" every other pixel does.
TEST(ExtractionPass, BackgroundOnlyMode) {
    const ColorValue colour = makeColor(10, 200, 30);
    for (bool specified : {false, true}) {
        SCOPED_TRACE(specified);
        Picture pic(40, 3, makeColor(50, 50, 50));
        pic.set(10, 1, makeColor(200, 180, 160));  // star, overflows at brightness 30
        pic.set(20, 1, makeColor(30, 50, 50));     // mean 43: 43 - 10 > 30
        pic.set(25, 1, makeColor(45, 50, 50));     // mean 48: 48 - 10 > 45 does not hold
        ExtractionParams p = settings(10, 30, 0);
        p.BackgroundOnlyMode = 1;
        p.SpecifiedColourMode = specified;
        p.ExtractionColor = colour;
        EXPECT_EQ(drawAll(pic, p), 0);
        EXPECT_TRUE(markedPixels(pic).empty());
        if (!specified) {
            expectChanged(pic, {{9, 1, colour}, {11, 1, colour}, {20, 1, colour}});
        } else {
            std::vector<Px> all;
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 40; ++x)
                    if (!(x == 10 && y == 1)) all.push_back({x, y, colour});
            expectChanged(pic, all);
        }
    }
}

// The full-picture draw processes the rows above the strip; the block copy gives the strip back
// even when the processed image had been changed there, and star-like strip pixels stay.
TEST(ExtractionPass, StripRowsAreRestoredAndNeverProcessed) {
    Picture pic(40, 5, kSky, kShotDataStripRows);
    pic.source.setPixel(10, 8, kBlack);  // a dark spot next to white would be a star pixel
    pic.source.setPixel(11, 8, makeColor(255, 255, 250));
    pic.processed.fillRect(0, 5, 40, 20, makeColor(9, 9, 9));
    pic.set(10, 2, makeColor(200, 180, 160));
    EXPECT_EQ(drawAll(pic, settings(10, 30, 0), 1), 1);
    for (int y = 5; y < 20; ++y)
        for (int x = 0; x < 40; ++x) ASSERT_EQ(pic.processed.pixel(x, y), pic.source.pixel(x, y)) << x << "," << y;
    EXPECT_EQ(pic.processed.pixel(10, 2), makeColor(255, 229, 204));
}

TEST(ExtractionPass, FullPictureAndRevertRectangles) {
    WorkImage source(40, 20);
    const struct {
        ProcRect r;
        ProcRect expected;
    } cases[] = {
        {fullPictureRect(source, 1), {0, 0, 39, 4, 40, 20}},
        {fullPictureRect(source, 0), {0, 0, 39, 19, 40, 20}},
        {revertRect(source), {0, 0, 39, 19, 40, 20}},
        {rangeRect(3, 4, 10, 6), {3, 4, 10, 6, 8, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.r.ProcLeft, c.expected.ProcLeft);
        EXPECT_EQ(c.r.ProcTop, c.expected.ProcTop);
        EXPECT_EQ(c.r.ProcRight, c.expected.ProcRight);
        EXPECT_EQ(c.r.ProcBottom, c.expected.ProcBottom);
        EXPECT_EQ(c.r.ProcWidth, c.expected.ProcWidth);
        EXPECT_EQ(c.r.ProcHeight, c.expected.ProcHeight);
    }
}

// A picture one pixel wide keeps the background index at 0; a one-row picture reports 100 and
// its star, in row 0, is never counted.
TEST(ExtractionPass, DegeneratePictures) {
    {
        Picture pic(1, 6, kSky);
        testing_support::paintSky(pic, 3);
        std::vector<int> progress;
        EXPECT_EQ(drawAll(pic, settings(-5, 30, 0), 0, &progress), 0);
        EXPECT_TRUE(sameImage(pic.processed, pic.source));
        EXPECT_EQ(progress.front(), 0);
        EXPECT_EQ(progress.back(), 100);
    }
    {
        Picture pic(50, 1, kSky);
        pic.set(20, 0, makeColor(200, 180, 160));
        std::vector<int> progress;
        EXPECT_EQ(drawAll(pic, settings(10, 0, 0), 0, &progress), 0);
        EXPECT_EQ(progress, std::vector<int>{100});
        EXPECT_EQ(pic.marks.pixel(20, 0), makeColor(255, 0, 0));
    }
}

TEST(ExtractionPass, RectangleOutsideThePictureIsRefusedUntouched) {
    const ProcRect bad[] = {rangeRect(-1, 0, 5, 5), rangeRect(0, 0, 40, 5), rangeRect(0, 0, 5, 10),
                            rangeRect(6, 0, 5, 5), rangeRect(0, 3, 5, 2)};
    for (const ProcRect& r : bad) {
        Picture pic(40, 10, kSky);
        pic.set(10, 2, makeColor(200, 180, 160));
        pic.processed.setPixel(0, 0, makeColor(1, 1, 1));
        EXPECT_THROW(ProcessRectangle(pic.images(), r, settings(10, 30, 0)), std::invalid_argument);
        EXPECT_EQ(pic.processed.pixel(0, 0), makeColor(1, 1, 1));
        EXPECT_TRUE(markedPixels(pic).empty());
    }
}
