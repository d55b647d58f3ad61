// The view transform over plain values: the worked example, the edge cases of fitting, zooming and
// clamping, the refusals for a view area too small to draw in, and the window-to-picture mapping.
// Expected values are worked out by hand from the formulas, with the 32-bit float values written
// out where the rounding of a stored float decides the result.
#include "viewer/view_transform.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using nocturo::ComputeViewTransform;
using nocturo::ViewState;

namespace {

struct TransformCase {
    const char* name;
    int clientW, clientH, panelW, picW, picH;
    float zoom;
    int centreX, centreY;  // the remembered centre before the redraw
    // expected
    int areaW, areaH;
    float fitScale, inverseFitScale, viewScale;
    int dispW, dispH, destLeft, destTop;
    int srcLeft, srcTop, srcW, srcH;
    int centreXOut, centreYOut;
};

// Client 1366 x 700 with a 145-pixel panel gives the 1176 x 660 area of most rows.
const TransformCase kCases[] = {
    // fitH = Trunc(1176*1200/1600 + 0.5) = 882 > 660, fitW = 880, FitScale = 0.55f = 0.550000012;
    // drawn at window (20 + 148, 20).
    {"worked example", 1366, 700, 145, 1600, 1200, 1.0f, 0, 0,
     1176, 660, 0.55f, 1.81818175f, 0.55f, 880, 660, 148, 0, 0, 0, 1600, 1200, 800, 600},
    // Smaller than the area: shown pixel for pixel, centred, centre reset to the middle.
    {"small picture centred", 1366, 700, 145, 800, 600, 1.0f, 17, 9,
     1176, 660, 1.0f, 1.0f, 1.0f, 800, 600, 188, 30, 0, 0, 800, 600, 400, 300},
    // Exactly the area's size: the test is strictly smaller, so still FitScale 1.
    {"exactly the area", 1366, 700, 145, 1176, 660, 1.0f, 5, 5,
     1176, 660, 1.0f, 1.0f, 1.0f, 1176, 660, 0, 0, 0, 0, 1176, 660, 588, 330},
    // One column more: fitH = Trunc(1176*660/1177 + 0.5) = 659, FitScale = 1176/1177;
    // dispH = Trunc(660 * 0.99915040) = 659, srcH = Trunc(659 / 0.99915040 + 0.5) = 660.
    {"one column wider", 1366, 700, 145, 1177, 660, 1.0f, 0, 0,
     1176, 660, 0.999150395f, 1.00085032f, 0.999150395f, 1176, 659, 0, 0, 0, 0, 1177, 660, 588, 330},
    // FitScale 0.22f = 0.2199999988: dispW = Trunc(879.99999) = 879, dispH = 659,
    // srcW = Trunc(879 / 0.22 + 0.5) = 3995, srcH = 2995; around (2000, 1500) it starts at (3, 3).
    {"float FitScale hides a border", 1366, 700, 145, 4000, 3000, 1.0f, 2000, 1500,
     1176, 660, 0.22f, 4.5454545f, 0.22f, 879, 659, 148, 0, 3, 3, 3995, 2995, 2000, 1500},
    // Same picture with the centre at the origin: pushed to (0, 0), centre Trunc(0 + 1997.5).
    {"centre pushed in at the origin", 1366, 700, 145, 4000, 3000, 1.0f, 0, 0,
     1176, 660, 0.22f, 4.5454545f, 0.22f, 879, 659, 148, 0, 0, 0, 3995, 2995, 1997, 1497},
    // Zoom 2: ViewScale 0.44f; srcW = Trunc(1176 / 0.44 + 0.5) = 2673, srcH = Trunc(1500.000008 + 0.5)
    // = 1500; srcX = Trunc(2000 - 1336.5 + 0.5) = 664, srcY = 750; the centre stays.
    {"zoom keeps the centre", 1366, 700, 145, 4000, 3000, 2.0f, 2000, 1500,
     1176, 660, 0.22f, 4.5454545f, 0.44f, 1176, 660, 0, 0, 664, 750, 2673, 1500, 2000, 1500},
    {"zoom at the top-left border", 1366, 700, 145, 4000, 3000, 2.0f, 100, 100,
     1176, 660, 0.22f, 4.5454545f, 0.44f, 1176, 660, 0, 0, 0, 0, 2673, 1500, 1336, 750},
    // srcX = 2654 > 4000 - 2673 = 1327; srcY = 2240 > 1500; the centre moves with the rectangle.
    {"zoom at the bottom-right border", 1366, 700, 145, 4000, 3000, 2.0f, 3990, 2990,
     1176, 660, 0.22f, 4.5454545f, 0.44f, 1176, 660, 0, 0, 1327, 1500, 2673, 1500, 2663, 2250},
    // Magnification one on a picture that fits: 1.001f; dispW = Trunc(800.8) = 800,
    // srcW = Trunc(799.2 + 0.5) = 799, srcH = Trunc(599.4 + 0.5) = 599, srcX = Trunc(1.0) = 1.
    {"magnification one on a small picture", 1366, 700, 145, 800, 600, 1.001f, 400, 300,
     1176, 660, 1.0f, 1.0f, 1.001f, 800, 600, 188, 30, 1, 1, 799, 599, 400, 300},
    // Zoom 10 near the bottom-left: srcW = Trunc(117.6 + 0.5) = 118, srcH = Trunc(66.5) = 66;
    // srcX clamps to 0, srcY = Trunc(600 - 33 + 0.5) = 567 > 534.
    {"zoom 10 in a corner", 1366, 700, 145, 800, 600, 10.0f, 0, 600,
     1176, 660, 1.0f, 1.0f, 10.0f, 1176, 660, 0, 0, 0, 534, 118, 66, 59, 567},
    // Portrait: fitH = 1568 > 660, fitW = Trunc(660*3000/4000 + 0.5) = Trunc(495.5) = 495.
    {"portrait", 1366, 700, 145, 3000, 4000, 1.0f, 0, 0,
     1176, 660, 0.165f, 6.06060600f, 0.165f, 495, 660, 340, 0, 0, 0, 3000, 4000, 1500, 2000},
    // Too high only: fitH = 823 > 660, fitW = Trunc(942.857 + 0.5) = 943.
    {"larger in height only", 1366, 700, 145, 1000, 700, 1.0f, 0, 0,
     1176, 660, 0.943f, 1.06044531f, 0.943f, 943, 660, 116, 0, 0, 0, 1000, 700, 500, 350},
    // Another client: area 610 x 560; FitScale 0.38125f; dispW = Trunc(609.99999) = 609,
    // dispH = Trunc(457.49999) = 457, srcW = Trunc(1597.38 + 0.5) = 1597, srcH = 1199.
    {"smaller client", 800, 600, 145, 1600, 1200, 1.0f, 0, 0,
     610, 560, 0.38125f, 2.62295079f, 0.38125f, 609, 457, 0, 51, 0, 0, 1597, 1199, 798, 599},
    // ViewScale lands on 1.0f exactly (0.55f x 1.8181817f = 0.99999998 in double) for a picture
    // larger than the area: a 1:1 rectangle around the centre, not the whole picture squeezed.
    {"scale exactly 1 on a large picture", 1366, 700, 145, 1600, 1200, 1.81818175f, 800, 600,
     1176, 660, 0.55f, 1.81818175f, 1.0f, 1176, 660, 0, 0, 212, 270, 1176, 660, 800, 600},
    {"scale exactly 1 through zoom 2", 1366, 700, 145, 2352, 1320, 2.0f, 1000, 700,
     1176, 660, 0.5f, 2.0f, 1.0f, 1176, 660, 0, 0, 412, 370, 1176, 660, 1000, 700},
    // 3 x 10000: the fitted width Trunc(660*3/10000 + 0.5) is 0; one column is kept, so FitScale
    // is 1/3 and not 0. dispW = Trunc(1.00000003) = 1, srcH = Trunc(1979.99994 + 0.5) = 1980.
    {"sliver of a picture", 1366, 700, 145, 3, 10000, 1.0f, 0, 0,
     1176, 660, 0.333333343f, 3.0f, 0.333333343f, 1, 660, 587, 0, 0, 0, 3, 1980, 1, 990},
    // 25 x 40000: FitScale 0.04f = 0.0399999991, so 25 x FitScale is just below 1; the column is
    // still drawn.
    {"sliver just under one column", 1366, 700, 145, 25, 40000, 1.0f, 0, 0,
     1176, 660, 0.04f, 25.0f, 0.04f, 1, 660, 587, 0, 0, 0, 25, 16500, 12, 8250},
    // The smallest area, 1 x 1: the source rectangle never grows past the picture.
    {"one-pixel area", 191, 41, 145, 1600, 1200, 1.0f, 0, 0,
     1, 1, 0.000625f, 1600.0f, 0.000625f, 1, 1, 0, 0, 0, 0, 1600, 1200, 800, 600},
};

TEST(ViewTransform, CasesTable) {
    for (const TransformCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ViewState v;
        v.ViewCentreX = c.centreX;
        v.ViewCentreY = c.centreY;
        ASSERT_TRUE(ComputeViewTransform(v, c.clientW, c.clientH, c.panelW, c.picW, c.picH, c.zoom));
        EXPECT_EQ(v.ViewAreaWidth, c.areaW);
        EXPECT_EQ(v.ViewAreaHeight, c.areaH);
        EXPECT_EQ(v.ViewOriginX, 20);
        EXPECT_EQ(v.ViewOriginY, 20);
        EXPECT_EQ(v.ViewImageWidth, c.picW);
        EXPECT_EQ(v.ViewImageHeight, c.picH);
        EXPECT_EQ(v.FitScale, c.fitScale);
        EXPECT_EQ(v.InverseFitScale, c.inverseFitScale);
        EXPECT_EQ(v.ViewScale, c.viewScale);
        EXPECT_EQ(v.DispW, c.dispW);
        EXPECT_EQ(v.DispH, c.dispH);
        EXPECT_EQ(v.ViewDestLeft, c.destLeft);
        EXPECT_EQ(v.ViewDestTop, c.destTop);
        EXPECT_EQ(v.ViewSrcLeft, c.srcLeft);
        EXPECT_EQ(v.ViewSrcTop, c.srcTop);
        EXPECT_EQ(v.ShownSrcLeft, c.srcLeft);
        EXPECT_EQ(v.ShownSrcTop, c.srcTop);
        EXPECT_EQ(v.ViewSrcWidth, c.srcW);
        EXPECT_EQ(v.ViewSrcHeight, c.srcH);
        EXPECT_EQ(v.ViewCentreX, c.centreXOut);
        EXPECT_EQ(v.ViewCentreY, c.centreYOut);
    }
}

TEST(ViewTransform, StoredFloatsAreTheRoundedValues) {
    // The two figures the fitted views depend on, spelled out as doubles.
    ViewState v;
    ASSERT_TRUE(ComputeViewTransform(v, 1366, 700, 145, 1600, 1200, 1.0f));
    EXPECT_DOUBLE_EQ(static_cast<double>(v.FitScale), 0.550000011920928955078125);
    ASSERT_TRUE(ComputeViewTransform(v, 1366, 700, 145, 4000, 3000, 1.0f));
    EXPECT_DOUBLE_EQ(static_cast<double>(v.FitScale), 0.2199999988079071044921875);
}

TEST(ViewTransform, PanMovedShownRectangleIsResetByARedraw) {
    ViewState v;
    ASSERT_TRUE(ComputeViewTransform(v, 1366, 700, 145, 4000, 3000, 2.0f));
    v.ShownSrcLeft = 5;  // a pan drag in progress
    v.ShownSrcTop = 6;
    ASSERT_TRUE(ComputeViewTransform(v, 1366, 700, 145, 4000, 3000, 2.0f));
    EXPECT_EQ(v.ShownSrcLeft, v.ViewSrcLeft);
    EXPECT_EQ(v.ShownSrcTop, v.ViewSrcTop);
}

TEST(ViewTransform, RefusesAnEmptyViewAndKeepsThePreviousValues) {
    struct Refusal {
        const char* name;
        int clientW, clientH, panelW, picW, picH;
        float zoom;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Refusal refusals[] = {
        {"width at panel + 45", 190, 700, 145, 1600, 1200, 1.0f},
        {"width below the panel", 100, 700, 145, 1600, 1200, 1.0f},
        {"height at 40", 1366, 40, 145, 1600, 1200, 1.0f},
        {"minimised (0 x 0)", 0, 0, 145, 1600, 1200, 1.0f},
        {"client so wide the area overflows", INT_MAX, 700, -100, 1600, 1200, 1.0f},
        {"no picture width", 1366, 700, 145, 0, 1200, 1.0f},
        {"negative picture height", 1366, 700, 145, 1600, -3, 1.0f},
        {"zoom 0 (before start-up)", 1366, 700, 145, 1600, 1200, 0.0f},
        {"negative zoom", 1366, 700, 145, 1600, 1200, -1.0f},
        {"zoom NaN", 1366, 700, 145, 1600, 1200, nan},
        {"zoom infinite", 1366, 700, 145, 1600, 1200, inf},
        {"zoom so small the scale underflows", 1366, 700, 145, 4000, 3000, 1e-45f},
    };
    ViewState before;
    ASSERT_TRUE(ComputeViewTransform(before, 1366, 700, 145, 4000, 3000, 2.0f));
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        ViewState v = before;
        EXPECT_FALSE(ComputeViewTransform(v, r.clientW, r.clientH, r.panelW, r.picW, r.picH, r.zoom));
        EXPECT_TRUE(v == before);
    }
}

TEST(ViewMapping, WindowPointToPictureWithTiesToEven) {
    // Worked example: picture at window (168, 20), ViewScale 0.550000012.
    ViewState fitted;
    ASSERT_TRUE(ComputeViewTransform(fitted, 1366, 700, 145, 1600, 1200, 1.0f));
    // 1000 x 100 at zoom 2 around (501, 50): ViewScale 2 exactly, source starts at column 207,
    // the picture's rows start at window row 20 + 230. Offsets of half a picture pixel are ties.
    ViewState zoomed;
    zoomed.ViewCentreX = 501;
    zoomed.ViewCentreY = 50;
    ASSERT_TRUE(ComputeViewTransform(zoomed, 1366, 700, 145, 1000, 100, 2.0f));
    ASSERT_EQ(zoomed.ViewSrcLeft, 207);
    ASSERT_EQ(zoomed.ViewDestTop, 230);

    struct Point {
        const ViewState* view;
        int x, y, column, row;
    };
    const Point points[] = {
        {&fitted, 168, 20, 0, 0},
        {&fitted, 169, 21, 2, 2},          // 1 / 0.55 = 1.82
        {&fitted, 167, 19, -2, -2},        // left of and above the picture: callers clamp
        {&fitted, 1047, 679, 1598, 1198},  // 879 / 0.55 = 1598.2, 659 / 0.55 = 1198.2
        {&zoomed, 21, 251, 208, 0},        // 207.5 -> 208, 0.5 -> 0
        {&zoomed, 23, 253, 208, 2},        // 208.5 -> 208, 1.5 -> 2
        {&zoomed, 24, 254, 209, 2},
        {&zoomed, 19, 249, 206, 0},        // 206.5 -> 206, -0.5 -> 0
    };
    for (const Point& p : points) {
        SCOPED_TRACE(testing::Message() << "x=" << p.x << " y=" << p.y);
        EXPECT_EQ(nocturo::PictureColumnAt(*p.view, p.x), p.column);
        EXPECT_EQ(nocturo::PictureRowAt(*p.view, p.y), p.row);
    }
}

TEST(ViewMapping, SaturatesInsteadOfOverflowing) {
    ViewState v;  // never computed: ViewScale 0
    EXPECT_EQ(nocturo::PictureColumnAt(v, 100), INT_MAX);
    EXPECT_EQ(nocturo::PictureColumnAt(v, -100), INT_MIN);
    v.ViewScale = 1e-30f;
    EXPECT_EQ(nocturo::PictureRowAt(v, 1000), INT_MAX);
    EXPECT_EQ(nocturo::PictureRowAt(v, -1000), INT_MIN);
}

TEST(ViewMapping, InversionOnlyForTheProcessedPicture) {
    EXPECT_FALSE(nocturo::ViewShowsInverted(1, 1));
    EXPECT_TRUE(nocturo::ViewShowsInverted(2, 1));
    EXPECT_FALSE(nocturo::ViewShowsInverted(2, 0));
}

}  // namespace
