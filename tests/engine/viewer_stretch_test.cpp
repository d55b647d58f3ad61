// Nearest-pixel stretching and the two view renders: which source pixel each destination pixel
// takes (enlarging, shrinking, 1:1), inversion, clipping against both images with hostile
// rectangles, and agreement between what is drawn and what the window-to-picture mapping reports.
#include "viewer/stretch.h"

#include "viewer/view_transform.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using nocturo::ColorValue;
using nocturo::StretchRect;
using nocturo::ViewState;
using nocturo::WorkImage;

namespace {

constexpr ColorValue kSentinel = 0x123456;
constexpr std::uint8_t kPadByte = 0xA5;

// Every pixel tells where it came from: red = column, green = row (images up to 256 x 256).
WorkImage coordinateImage(int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, nocturo::makeColor(x, y, 0x5A));
    return img;
}

// A destination filled with the sentinel, its row padding bytes marked so that a write past the
// right edge shows.
WorkImage sentinelImage(int w, int h) {
    WorkImage img(w, h);
    img.fill(kSentinel);
    for (int y = 0; y < h; ++y)
        for (std::size_t b = 3 * static_cast<std::size_t>(w); b < img.stride(); ++b) img.row(y)[b] = kPadByte;
    return img;
}

ColorValue inverted(ColorValue c) { return c ^ 0xFFFFFF; }

// expectedCols[x] / expectedRows[y]: the source column / row that destination pixel (x, y)
// must show, or -1 where the destination must stay untouched.
void expectMapped(const WorkImage& dst, const std::vector<int>& expectedCols,
                  const std::vector<int>& expectedRows, bool invert = false) {
    ASSERT_EQ(static_cast<int>(expectedCols.size()), dst.width());
    ASSERT_EQ(static_cast<int>(expectedRows.size()), dst.height());
    for (int y = 0; y < dst.height(); ++y) {
        for (int x = 0; x < dst.width(); ++x) {
            ColorValue want = kSentinel;
            if (expectedCols[x] >= 0 && expectedRows[y] >= 0) {
                want = nocturo::makeColor(expectedCols[x], expectedRows[y], 0x5A);
                if (invert) want = inverted(want);
            }
            ASSERT_EQ(dst.pixel(x, y), want) << "at (" << x << ", " << y << ")";
        }
        for (std::size_t b = 3 * static_cast<std::size_t>(dst.width()); b < dst.stride(); ++b)
            ASSERT_EQ(dst.row(y)[b], kPadByte) << "padding of row " << y;
    }
}

struct StretchCase {
    const char* name;
    int srcW, srcH;
    StretchRect from;
    int dstW, dstH;
    StretchRect to;
    std::vector<int> cols, rows;
};

// Offsets are floor(i * from / to + 0.5), at most from - 1, worked out by hand.
const StretchCase kRatioCases[] = {
    {"1:1 into a larger buffer", 4, 3, {1, 0, 3, 3}, 5, 4, {0, 0, 3, 3},
     {1, 2, 3, -1, -1}, {0, 1, 2, -1}},
    // 3 -> 7: 0, 0.43, 0.86, 1.29, 1.71, 2.14, 2.57(-> 3, kept at 2); 2 -> 4: 0, 0.5, 1, 1.5.
    {"enlarge", 3, 2, {0, 0, 3, 2}, 7, 4, {0, 0, 7, 4},
     {0, 0, 1, 1, 2, 2, 2}, {0, 1, 1, 1}},
    // 7 -> 3: 0, 2.33, 4.67 + 0.5; 5 -> 2: 0, 2.5 + 0.5.
    {"shrink", 7, 5, {0, 0, 7, 5}, 3, 2, {0, 0, 3, 2},
     {0, 2, 5}, {0, 3}},
    {"shrink from an offset", 9, 6, {2, 1, 7, 5}, 3, 2, {0, 0, 3, 2},
     {2, 4, 7}, {1, 4}},
    // Destination starts left of and above the buffer and runs past it: x = -2 + i shows
    // floor((i + 1) / 2); the visible part is not rescaled.
    {"destination clipped on all sides", 4, 4, {0, 0, 4, 4}, 5, 5, {-2, -1, 8, 8},
     {1, 2, 2, 3, 3}, {1, 1, 2, 2, 3}},
    {"source rectangle past the picture", 4, 3, {2, 1, 4, 4}, 6, 5, {0, 0, 4, 4},
     {2, 3, -1, -1, -1, -1}, {1, 2, -1, -1, -1}},
    {"source rectangle before the picture", 4, 3, {-2, 0, 4, 3}, 4, 3, {0, 0, 4, 3},
     {-1, -1, 0, 1}, {0, 1, 2}},
    // Products of these sizes overflow 32 and nearly 64 bits; the ratio is still 1.
    {"huge equal sizes", 4, 4, {0, 0, INT_MAX, INT_MAX}, 5, 5, {0, 0, INT_MAX, INT_MAX},
     {0, 1, 2, 3, -1}, {0, 1, 2, 3, -1}},
    {"huge offsets", 4, 4, {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, 3, 3, {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
     {-1, -1, -1}, {-1, -1, -1}},
    {"destination far right", 4, 4, {0, 0, 4, 4}, 3, 3, {INT_MAX, 0, INT_MAX, 4},
     {-1, -1, -1}, {-1, -1, -1}},
    {"negative sizes", 4, 4, {0, 0, -4, 4}, 3, 3, {0, 0, 3, -3},
     {-1, -1, -1}, {-1, -1, -1}},
    {"empty source", 4, 4, {0, 0, 0, 0}, 3, 3, {0, 0, 3, 3},
     {-1, -1, -1}, {-1, -1, -1}},
};

TEST(Stretch, ByRatio) {
    for (const StretchCase& c : kRatioCases) {
        SCOPED_TRACE(c.name);
        const WorkImage src = coordinateImage(c.srcW, c.srcH);
        WorkImage dst = sentinelImage(c.dstW, c.dstH);
        nocturo::StretchNearest(src, c.from, dst, c.to, false);
        expectMapped(dst, c.cols, c.rows);
    }
}

TEST(Stretch, InvertsEveryChannelOfTheDrawnPixelsOnly) {
    const WorkImage src = coordinateImage(3, 2);
    WorkImage dst = sentinelImage(6, 5);
    nocturo::StretchNearest(src, {0, 0, 3, 2}, dst, {1, 1, 6, 4}, true);
    // x = 1 + i with 3 -> 6 (offsets 0, 1, 1, 2, 2, 3 -> 2); rows 2 -> 4 (0, 1, 1, 2 -> 1).
    expectMapped(dst, {-1, 0, 1, 1, 2, 2}, {-1, 0, 1, 1, 1}, true);
}

TEST(Stretch, AtScale) {
    struct ScaleCase {
        const char* name;
        StretchRect from;
        StretchRect to;
        double scale;
        std::vector<int> cols, rows;
    };
    // floor(i / s + 0.5) from the rectangle's start, never past its last pixel.
    const ScaleCase cases[] = {
        // s = 2: ties round up, so the first pixel gets one display pixel and the rest two.
        {"scale 2", {1, 1, 3, 3}, {0, 0, 6, 6}, 2.0, {1, 2, 2, 3, 3, 3}, {1, 2, 2, 3, 3, 3}},
        // s = 0.3: 0, 3.33, 6.67 (+ 0.5) -> 0, 3, 7; past the rectangle's last column 5 -> 5.
        {"scale 0.3", {0, 0, 6, 6}, {0, 0, 3, 3}, 0.3, {0, 3, 5}, {0, 3, 5}},
        {"tiny scale keeps the last pixel", {0, 0, 3, 3}, {0, 0, 2, 2}, 1e-300, {0, 2, -1, -1, -1, -1}, {0, 2, -1, -1, -1, -1}},
        {"scale 0 draws nothing", {0, 0, 3, 3}, {0, 0, 3, 3}, 0.0, {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}},
        {"negative scale draws nothing", {0, 0, 3, 3}, {0, 0, 3, 3}, -1.0, {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}},
        {"NaN scale draws nothing", {0, 0, 3, 3}, {0, 0, 3, 3}, std::numeric_limits<double>::quiet_NaN(),
         {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}},
        {"infinite scale draws nothing", {0, 0, 3, 3}, {0, 0, 3, 3}, std::numeric_limits<double>::infinity(),
         {-1, -1, -1, -1, -1, -1}, {-1, -1, -1, -1, -1, -1}},
    };
    const WorkImage src = coordinateImage(6, 6);
    for (const ScaleCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkImage dst = sentinelImage(static_cast<int>(c.cols.size()), static_cast<int>(c.rows.size()));
        nocturo::StretchNearestAtScale(src, c.from, dst, c.to, c.scale, false);
        expectMapped(dst, c.cols, c.rows);
    }
}

TEST(Stretch, NullImagesAreLeftAlone) {
    const WorkImage none;
    WorkImage dst = sentinelImage(2, 2);
    nocturo::StretchNearest(none, {0, 0, 2, 2}, dst, {0, 0, 2, 2}, false);
    expectMapped(dst, {-1, -1}, {-1, -1});
    WorkImage noDst;
    nocturo::StretchNearest(coordinateImage(2, 2), {0, 0, 2, 2}, noDst, {0, 0, 2, 2}, false);
    EXPECT_TRUE(noDst.isNull());
}

// A picture whose pixels are all different (up to 4096 x 4096).
WorkImage patternPicture(int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, nocturo::makeColor(x & 0xFF, y & 0xFF, ((x >> 8) & 0xF) | ((y >> 8) << 4)));
    return img;
}

int clampTo(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// i / s exactly half-way between two pixels: the mapping and the stretch round that tie apart.
bool isTie(int offset, float scale) {
    const double v = offset / static_cast<double>(scale);
    return v - std::floor(v) == 0.5;
}

TEST(RenderView, DrawsWhatTheMouseMappingReports) {
    struct Scene {
        const char* name;
        int picW, picH;
        float zoom;
        int centreX, centreY;
    };
    const Scene scenes[] = {
        {"fitted, shrinking", 1600, 1200, 1.0f, 0, 0},
        {"small picture 1:1 centred", 300, 200, 1.0f, 0, 0},
        {"enlarged 2.5", 1600, 1200, 2.5f, 800, 600},
        {"zoom 10 at a corner", 500, 400, 10.0f, 499, 0},
        {"magnification one", 4000, 3000, 4.5464545f, 1234, 2345},
    };
    const int clientW = 1366, clientH = 700;
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.name);
        const WorkImage picture = patternPicture(s.picW, s.picH);
        ViewState v;
        v.ViewCentreX = s.centreX;
        v.ViewCentreY = s.centreY;
        ASSERT_TRUE(nocturo::ComputeViewTransform(v, clientW, clientH, 145, s.picW, s.picH, s.zoom));
        WorkImage buffer;
        nocturo::RenderView(picture, false, v, buffer, clientW, clientH);
        ASSERT_EQ(buffer.width(), clientW);
        ASSERT_EQ(buffer.height(), clientH);
        const int right = v.ViewDestLeft + v.DispW, bottom = v.ViewDestTop + v.DispH;
        long ties = 0;
        for (int by = 0; by < clientH; ++by) {
            for (int bx = 0; bx < clientW; ++bx) {
                const bool inside = bx >= v.ViewDestLeft && bx < right && by >= v.ViewDestTop && by < bottom;
                if (!inside) {
                    ASSERT_EQ(buffer.pixel(bx, by), nocturo::kWhite) << "margin at (" << bx << ", " << by << ")";
                    continue;
                }
                // The buffer is painted at the view origin: buffer (bx, by) is window (bx + 20, by + 20).
                if (isTie(bx - v.ViewDestLeft, v.ViewScale) || isTie(by - v.ViewDestTop, v.ViewScale)) {
                    ++ties;
                    continue;
                }
                const int col = clampTo(nocturo::PictureColumnAt(v, bx + v.ViewOriginX), v.ViewSrcLeft,
                                        v.ViewSrcLeft + v.ViewSrcWidth - 1);
                const int row = clampTo(nocturo::PictureRowAt(v, by + v.ViewOriginY), v.ViewSrcTop,
                                        v.ViewSrcTop + v.ViewSrcHeight - 1);
                ASSERT_EQ(buffer.pixel(bx, by), picture.pixel(col, row)) << "at (" << bx << ", " << by << ")";
            }
        }
        // Ties are the rule of Stretch.AtScale; they must not be what most of the picture is.
        EXPECT_LT(ties, static_cast<long>(v.DispW) * v.DispH / 4);
    }
}

TEST(RenderView, InvertsThePictureButNotTheMargins) {
    const WorkImage picture = patternPicture(800, 600);
    ViewState v;
    ASSERT_TRUE(nocturo::ComputeViewTransform(v, 1366, 700, 145, 800, 600, 1.0f));
    WorkImage buffer;
    nocturo::RenderView(picture, true, v, buffer, 1366, 700);
    // 1:1 at (188, 30) in the buffer.
    EXPECT_EQ(buffer.pixel(187, 30), nocturo::kWhite);
    EXPECT_EQ(buffer.pixel(188, 29), nocturo::kWhite);
    EXPECT_EQ(buffer.pixel(188 + 800, 30 + 599), nocturo::kWhite);
    EXPECT_EQ(buffer.pixel(1365, 699), nocturo::kWhite);
    for (const auto& [x, y] : {std::pair{0, 0}, {799, 599}, {300, 257}})
        EXPECT_EQ(buffer.pixel(188 + x, 30 + y), inverted(picture.pixel(x, y)));
}

TEST(RenderView, KeepsTheBufferWhenTheSizeIsUnchanged) {
    const WorkImage picture = patternPicture(300, 200);
    ViewState v;
    ASSERT_TRUE(nocturo::ComputeViewTransform(v, 1366, 700, 145, 300, 200, 1.0f));
    WorkImage buffer;
    nocturo::RenderView(picture, false, v, buffer, 1366, 700);
    const std::uint8_t* first = buffer.bits();
    buffer.fill(kSentinel);
    nocturo::RenderView(picture, false, v, buffer, 1366, 700);
    EXPECT_EQ(buffer.bits(), first);
    EXPECT_EQ(buffer.pixel(0, 0), nocturo::kWhite);  // refilled although reused

    ASSERT_TRUE(nocturo::ComputeViewTransform(v, 1000, 500, 145, 300, 200, 1.0f));
    nocturo::RenderView(picture, false, v, buffer, 1000, 500);
    EXPECT_EQ(buffer.width(), 1000);
    EXPECT_EQ(buffer.height(), 500);

    nocturo::RenderView(picture, false, v, buffer, 0, 500);  // minimised: nothing happens
    EXPECT_EQ(buffer.width(), 1000);
}

TEST(RenderShownRegion, DrawsTheShiftedRectangleWithoutClearing) {
    // 1600 x 1200 at zoom 2: ViewScale 1.10000002, source 1069 x 600 at (266, 300); the partial
    // redraw is Trunc(1069 x 1.10000002) = 1175 wide and Trunc(600 x 1.10000002) = 660 high, one
    // column narrower than the full redraw.
    const WorkImage picture = patternPicture(1600, 1200);
    ViewState v;
    v.ViewCentreX = 800;
    v.ViewCentreY = 600;
    ASSERT_TRUE(nocturo::ComputeViewTransform(v, 1366, 700, 145, 1600, 1200, 2.0f));
    ASSERT_EQ(v.ViewSrcWidth, 1069);
    ASSERT_EQ(v.ViewSrcLeft, 266);
    WorkImage buffer = sentinelImage(1366, 700);
    v.ShownSrcLeft = 100;  // as a pan drag leaves it
    v.ShownSrcTop = 40;
    nocturo::RenderShownRegion(picture, false, v, buffer);
    EXPECT_EQ(buffer.pixel(0, 0), picture.pixel(100, 40));
    EXPECT_EQ(buffer.pixel(1174, 659), picture.pixel(100 + 1067, 40 + 599));  // 1174 / 1.1 = 1067.3, 659 / 1.1 = 599.1
    EXPECT_EQ(buffer.pixel(1175, 0), kSentinel);
    EXPECT_EQ(buffer.pixel(0, 660), kSentinel);
    EXPECT_EQ(buffer.pixel(1365, 699), kSentinel);
}

TEST(RenderShownRegion, StaysInsideBothImagesWithHostileValues) {
    const WorkImage picture = coordinateImage(8, 8);
    struct Hostile {
        const char* name;
        int shownLeft, shownTop, srcW, srcH, destLeft, destTop;
        float scale;
        std::vector<int> cols, rows;
    };
    const Hostile cases[] = {
        // Shown rectangle half outside the picture: only the existing columns and rows are drawn.
        {"shown past the picture", 6, 5, 4, 4, 0, 0, 1.0f, {6, 7, -1, -1, -1}, {5, 6, 7, -1}},
        {"shown before the picture", -3, -1, 4, 3, 0, 0, 1.0f, {-1, -1, -1, 0, -1}, {-1, 0, 1, -1}},
        // 8 x 8 at scale 2 is 16 x 16, far larger than the 5 x 4 buffer, and starts above-left of it.
        {"destination larger than the buffer", 0, 0, 8, 8, -3, -2, 2.0f, {2, 2, 3, 3, 4}, {1, 2, 2, 3}},
        {"extreme values", INT_MIN, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MIN, 1e30f,
         {-1, -1, -1, -1, -1}, {-1, -1, -1, -1}},
    };
    for (const Hostile& c : cases) {
        SCOPED_TRACE(c.name);
        ViewState v;
        v.ShownSrcLeft = c.shownLeft;
        v.ShownSrcTop = c.shownTop;
        v.ViewSrcWidth = c.srcW;
        v.ViewSrcHeight = c.srcH;
        v.ViewDestLeft = c.destLeft;
        v.ViewDestTop = c.destTop;
        v.ViewScale = c.scale;
        WorkImage buffer = sentinelImage(5, 4);
        nocturo::RenderShownRegion(picture, false, v, buffer);
        expectMapped(buffer, c.cols, c.rows);
    }
}

}  // namespace
