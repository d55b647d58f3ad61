// Pan clamping and committing, the zoom steps and caps, and the navigator's geometry, over plain
// view values. Expected values are worked out by hand from the formulas.
#include "viewer/view_navigation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace nocturo;

namespace {

// A 4000 x 3000 picture zoomed so that 2000 x 1500 of it is visible at ViewScale 0.5.
ViewState zoomedView(int srcLeft, int srcTop) {
    ViewState v;
    v.ViewImageWidth = 4000;
    v.ViewImageHeight = 3000;
    v.ViewScale = 0.5f;
    v.ViewSrcWidth = 2000;
    v.ViewSrcHeight = 1500;
    v.ViewSrcLeft = v.ShownSrcLeft = srcLeft;
    v.ViewSrcTop = v.ShownSrcTop = srcTop;
    return v;
}

struct SpanCase {
    const char* name;
    int start, span, size, expected;
};

TEST(ClampSpanStart, KeepsTheSpanInsideThePicture) {
    const SpanCase cases[] = {
        {"inside stays", 10, 100, 400, 10},
        {"negative start goes to 0", -5, 100, 400, 0},
        {"past the end is pulled back", 350, 100, 400, 300},
        {"exactly at the end stays", 300, 100, 400, 300},
        {"a span wider than the picture starts before it", 0, 500, 400, -100},
    };
    for (const SpanCase& c : cases) EXPECT_EQ(ClampSpanStart(c.start, c.span, c.size), c.expected) << c.name;
}

struct PanCase {
    const char* name;
    int srcLeft, srcTop, anchorX, anchorY, x, y;
    int shownLeft, shownTop;
};

TEST(PanShownRegion, MovesByTheDragInPicturePixelsWithinThePicture) {
    const PanCase cases[] = {
        // 10 window pixels right at scale 0.5 are 20 picture pixels left.
        {"drag right shows more of the left", 1000, 700, 100, 100, 110, 100, 980, 700},
        {"drag up shows more of the bottom", 1000, 700, 100, 100, 100, 90, 1000, 720},
        // 3 window pixels are 6 picture pixels; a 1-pixel move is 2, odd moves are exact too.
        {"diagonal", 1000, 700, 50, 50, 47, 53, 1006, 694},
        {"clamped at the left and top", 10, 10, 0, 0, 100, 100, 0, 0},
        {"clamped at the right and bottom", 1990, 1490, 100, 100, 0, 0, 2000, 1500},
    };
    for (const PanCase& c : cases) {
        ViewState v = zoomedView(c.srcLeft, c.srcTop);
        PanShownRegion(v, c.anchorX, c.anchorY, c.x, c.y);
        EXPECT_EQ(v.ShownSrcLeft, c.shownLeft) << c.name;
        EXPECT_EQ(v.ShownSrcTop, c.shownTop) << c.name;
        // Nothing is committed while the drag goes on.
        EXPECT_EQ(v.ViewSrcLeft, c.srcLeft) << c.name;
        EXPECT_EQ(v.ViewSrcTop, c.srcTop) << c.name;
    }
}

TEST(PanShownRegion, TruncatesFractionsTowardZero) {
    // At scale 0.3f one window pixel is 3.33 picture pixels: 1000 - 3.33 = 996.67 -> 996,
    // 1000 + 3.33 = 1003.33 -> 1003.
    ViewState v = zoomedView(1000, 1000);
    v.ViewScale = 0.3f;
    PanShownRegion(v, 10, 10, 11, 9);
    EXPECT_EQ(v.ShownSrcLeft, 996);
    EXPECT_EQ(v.ShownSrcTop, 1003);
}

TEST(CommitShownRegion, MakesTheShownRegionTheViewAndItsMiddleTheCentre) {
    ViewState v = zoomedView(1000, 700);
    v.ViewSrcWidth = 2001;  // an odd span: the middle is truncated
    v.ShownSrcLeft = 33;
    v.ShownSrcTop = 44;
    CommitShownRegion(v);
    EXPECT_EQ(v.ViewSrcLeft, 33);
    EXPECT_EQ(v.ViewSrcTop, 44);
    EXPECT_EQ(v.ViewCentreX, 33 + 1000);
    EXPECT_EQ(v.ViewCentreY, 44 + 750);
}

struct CentreCase {
    const char* name;
    int px, py, shownLeft, shownTop;
};

TEST(CentreShownRegionAt, PutsThePointInTheMiddleAsFarAsThePictureAllows) {
    const CentreCase cases[] = {
        {"middle of the picture", 2000, 1500, 1000, 750},
        {"near the top-left corner", 100, 100, 0, 0},
        {"near the bottom-right corner", 3999, 2999, 2000, 1500},
        {"a click left of the thumbnail", -500, 1500, 0, 750},
    };
    for (const CentreCase& c : cases) {
        ViewState v = zoomedView(0, 0);
        CentreShownRegionAt(v, c.px, c.py);
        EXPECT_EQ(v.ShownSrcLeft, c.shownLeft) << c.name;
        EXPECT_EQ(v.ShownSrcTop, c.shownTop) << c.name;
    }
}

struct ZoomCase {
    const char* name;
    enum { In, Out, WheelUp, WheelDown } step;
    float zoom, fitScale, expected;
};

TEST(ZoomSteps, StepAndStayWithinTheFitAndTheTenfoldCap) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ZoomCase cases[] = {
        {"in: 10 % closer", ZoomCase::In, 1.0f, 0.25f, static_cast<float>(1.0 * 1.1)},
        {"in: capped at 10 window pixels per picture pixel", ZoomCase::In, 39.0f, 0.25f, 40.0f},
        {"in: no fit yet, no cap", ZoomCase::In, 100.0f, 0.0f, static_cast<float>(100.0 * 1.1)},
        {"out: 10 % farther", ZoomCase::Out, 2.0f, 0.25f, static_cast<float>(2.0 / 1.1)},
        {"out: not below the fit", ZoomCase::Out, 1.05f, 0.25f, 1.0f},
        {"out: a broken factor falls back to the fit", ZoomCase::Out, nan, 0.25f, 1.0f},
        {"wheel up: 5 % closer", ZoomCase::WheelUp, 1.0f, 0.25f, static_cast<float>(1.0 * 1.05)},
        {"wheel up: capped", ZoomCase::WheelUp, 39.5f, 0.25f, 40.0f},
        {"wheel down: 5 % farther", ZoomCase::WheelDown, 2.0f, 0.25f, static_cast<float>(2.0 / 1.05)},
        {"wheel down: not below the fit", ZoomCase::WheelDown, 1.0f, 0.25f, 1.0f},
        // A picture shown larger than 10:1 at the fit: the cap wins over the fit.
        {"wheel on a tiny picture: the cap wins", ZoomCase::WheelDown, 1.0f, 20.0f, 0.5f},
    };
    for (const ZoomCase& c : cases) {
        float got = 0;
        switch (c.step) {
            case ZoomCase::In: got = ZoomInStep(c.zoom, c.fitScale); break;
            case ZoomCase::Out: got = ZoomOutStep(c.zoom); break;
            case ZoomCase::WheelUp: got = WheelZoomStep(c.zoom, 120, c.fitScale); break;
            case ZoomCase::WheelDown: got = WheelZoomStep(c.zoom, -120, c.fitScale); break;
        }
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(ZoomSteps, OneToOneIsTheInverseFitAHairOver) {
    ViewState v;
    v.InverseFitScale = 4.5454545f;
    EXPECT_EQ(OneToOneZoom(v), static_cast<float>(static_cast<double>(4.5454545f) + 0.001));
}

struct ThumbCase {
    const char* name;
    int w, h, boxW, boxH;
    ThumbnailPlace expected;
};

TEST(PlaceThumbnail, LongSide128CentredInTheBox) {
    const ThumbCase cases[] = {
        {"landscape 4:3", 1600, 1200, 128, 128, {128, 96, 0, 16}},
        {"portrait 3:4", 1200, 1600, 128, 128, {96, 128, 16, 0}},
        {"square", 500, 500, 128, 128, {128, 128, 0, 0}},
        // 128 * 1215 / 1600 = 97.2 -> 97; (128 - 97) / 2 = 15.5 -> 16 (ties to even).
        {"a strip makes it taller", 1600, 1215, 128, 128, {128, 97, 0, 16}},
        {"wider box", 1600, 1200, 172, 128, {128, 96, 22, 16}},
        {"no picture", 0, 0, 128, 128, {0, 0, 0, 0}},
    };
    for (const ThumbCase& c : cases) EXPECT_EQ(PlaceThumbnail(c.w, c.h, c.boxW, c.boxH), c.expected) << c.name;
}

TEST(NavigatorFrame, OutlinesTheShownRegionOnTheThumbnail) {
    ViewState v = zoomedView(1000, 750);
    FrameRect f;
    ASSERT_TRUE(NavigatorFrame(v, 128, 96, 9, 38, f));
    // Half the picture each way: 64 x 48, starting a quarter in.
    EXPECT_EQ(f, (FrameRect{9 + 32, 38 + 24, 64, 48}));

    ViewState none;
    EXPECT_FALSE(NavigatorFrame(none, 128, 96, 9, 38, f));
}

TEST(ThumbnailToPicture, ScalesTheClickToThePicture) {
    const ThumbnailPlace place{128, 96, 0, 16};
    int px = 0, py = 0;
    ASSERT_TRUE(ThumbnailToPicture(place, 4000, 3000, 64, 16 + 48, px, py));
    EXPECT_EQ(px, 2000);
    EXPECT_EQ(py, 1500);
    // Far outside a huge picture's thumbnail: the product does not overflow 32 bits.
    ASSERT_TRUE(ThumbnailToPicture(place, 100000, 100000, 30000, 16, px, py));
    EXPECT_EQ(px, static_cast<int>(30000LL * 100000 / 128));
    EXPECT_FALSE(ThumbnailToPicture(ThumbnailPlace{}, 4000, 3000, 1, 1, px, py));
}

TEST(ViewShowsWholePicture, OnlyWhenBothSpansCoverThePicture) {
    ViewState v = zoomedView(0, 0);
    EXPECT_FALSE(ViewShowsWholePicture(v));
    v.ViewSrcWidth = 4000;
    EXPECT_FALSE(ViewShowsWholePicture(v));
    v.ViewSrcHeight = 3000;
    EXPECT_TRUE(ViewShowsWholePicture(v));
}

}  // namespace
