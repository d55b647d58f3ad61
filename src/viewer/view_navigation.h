// Moving about the picture: pan clamping and committing, the zoom steps and their caps, and the
// navigator thumbnail's geometry. Plain functions over the view state, so that the main window's
// handlers only call them and the tests check them without a window.
#pragma once

#include "viewer/view_transform.h"

namespace nocturo {

// ---- Pan ----

// The first visible pixel of a span of `span` pixels that would start at `start`, moved so that
// the span lies inside [0, size) as far as it fits (a span wider than the picture starts at
// size - span).
int ClampSpanStart(int start, int span, int size);

// A drag from the anchor (anchorX, anchorY) to (x, y), in window pixels, moves the shown region
// from the committed source rectangle by the drag in picture pixels (truncated), kept inside the
// picture. Only ShownSrcLeft/ShownSrcTop change: the drag is committed on release.
void PanShownRegion(ViewState& view, int anchorX, int anchorY, int x, int y);

// Puts the middle of the shown region at picture point (px, py) as far as the picture allows.
void CentreShownRegionAt(ViewState& view, int px, int py);

// The shown region becomes the committed source rectangle, and its middle the point that zooming
// keeps at the centre.
void CommitShownRegion(ViewState& view);

// ---- Zoom ----

// The zoom factor that fits the whole picture, and the bounds every step keeps: never below the
// fit, never more than 10 window pixels per picture pixel.
constexpr float kFitZoom = 1.0f;
constexpr float kMaxViewScale = 10.0f;

// The + button: 10 % closer, capped.
float ZoomInStep(float zoomFactor, float fitScale);
// The - button: 10 % farther, not below the fit.
float ZoomOutStep(float zoomFactor);
// One wheel notch: 5 % closer (delta > 0) or farther, within both bounds.
float WheelZoomStep(float zoomFactor, int delta, float fitScale);
// The 1:1 button: one window pixel per picture pixel, a hair over so that the view rounds to it.
float OneToOneZoom(const ViewState& view);

// ---- Navigator ----

// The thumbnail inside the navigator box: its long side 128 pixels, centred in the box.
struct ThumbnailPlace {
    int ThumbWidth = 0;
    int ThumbHeight = 0;
    int ThumbOffsetX = 0;   // top-left of the thumbnail inside the box
    int ThumbOffsetY = 0;
    bool operator==(const ThumbnailPlace&) const = default;
};
constexpr int kThumbnailLongSide = 128;
ThumbnailPlace PlaceThumbnail(int pictureWidth, int pictureHeight, int boxWidth, int boxHeight);

// The frame that marks the shown region on the thumbnail whose top-left lies at (thumbLeft,
// thumbTop) in the panel: x, y, width and height of the outline.
struct FrameRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const FrameRect&) const = default;
};
// Returns false when there is no picture to relate the frame to.
bool NavigatorFrame(const ViewState& view, int thumbWidth, int thumbHeight, int thumbLeft, int thumbTop,
                    FrameRect& frame);

// The picture point under a click at (x, y) inside the navigator box; false when there is no
// thumbnail. Products are 64-bit: a click far outside a large picture's thumbnail cannot overflow.
bool ThumbnailToPicture(const ThumbnailPlace& place, int pictureWidth, int pictureHeight, int x, int y, int& px,
                        int& py);

// Whether the whole picture is on screen (nothing to move to).
bool ViewShowsWholePicture(const ViewState& view);

}  // namespace nocturo
