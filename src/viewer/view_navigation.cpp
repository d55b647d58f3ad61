#include "viewer/view_navigation.h"

#include <cmath>
#include <cstdint>

namespace nocturo {

namespace {

// Stores a zoom factor computed in double as the 32-bit value the view works with.
float stored(double value) { return static_cast<float>(value); }

float capZoom(float zoomFactor, float fitScale) {
    if (fitScale <= 0.0f) return zoomFactor;
    if (stored(static_cast<double>(zoomFactor) * fitScale) > kMaxViewScale) return stored(kMaxViewScale / fitScale);
    return zoomFactor;
}

// NaN fails the comparison as well, and falls back to the fit.
float floorAtFit(float zoomFactor) { return zoomFactor >= kFitZoom ? zoomFactor : kFitZoom; }

}  // namespace

int ClampSpanStart(int start, int span, int size) {
    if (start < 0) start = 0;
    if (start + span > size) start = size - span;
    return start;
}

void PanShownRegion(ViewState& v, int anchorX, int anchorY, int x, int y) {
    const double s = v.ViewScale;
    const int left = static_cast<int>(std::trunc(v.ViewSrcLeft - (x - anchorX) / s));
    const int top = static_cast<int>(std::trunc(v.ViewSrcTop - (y - anchorY) / s));
    v.ShownSrcLeft = ClampSpanStart(left, v.ViewSrcWidth, v.ViewImageWidth);
    v.ShownSrcTop = ClampSpanStart(top, v.ViewSrcHeight, v.ViewImageHeight);
}

void CentreShownRegionAt(ViewState& v, int px, int py) {
    v.ShownSrcLeft = ClampSpanStart(static_cast<int>(px - v.ViewSrcWidth / 2.0), v.ViewSrcWidth, v.ViewImageWidth);
    v.ShownSrcTop = ClampSpanStart(static_cast<int>(py - v.ViewSrcHeight / 2.0), v.ViewSrcHeight, v.ViewImageHeight);
}

void CommitShownRegion(ViewState& v) {
    v.ViewSrcLeft = v.ShownSrcLeft;
    v.ViewSrcTop = v.ShownSrcTop;
    v.ViewCentreX = static_cast<int>(std::trunc(v.ShownSrcLeft + v.ViewSrcWidth / 2.0));
    v.ViewCentreY = static_cast<int>(std::trunc(v.ShownSrcTop + v.ViewSrcHeight / 2.0));
}

float ZoomInStep(float zoomFactor, float fitScale) { return capZoom(stored(zoomFactor * 1.1), fitScale); }

float ZoomOutStep(float zoomFactor) { return floorAtFit(stored(zoomFactor / 1.1)); }

float WheelZoomStep(float zoomFactor, int delta, float fitScale) {
    const float z = stored(delta > 0 ? zoomFactor * 1.05 : zoomFactor / 1.05);
    return capZoom(floorAtFit(z), fitScale);
}

float OneToOneZoom(const ViewState& v) { return stored(static_cast<double>(v.InverseFitScale) + 0.001); }

ThumbnailPlace PlaceThumbnail(int w, int h, int boxWidth, int boxHeight) {
    ThumbnailPlace p;
    if (w <= 0 || h <= 0) return p;
    if (w > h) {
        p.ThumbWidth = kThumbnailLongSide;
        p.ThumbHeight = static_cast<int>(std::nearbyint(static_cast<double>(kThumbnailLongSide) * h / w));
    } else {
        p.ThumbHeight = kThumbnailLongSide;
        p.ThumbWidth = static_cast<int>(std::nearbyint(static_cast<double>(kThumbnailLongSide) * w / h));
    }
    p.ThumbOffsetX = static_cast<int>(std::nearbyint((boxWidth - p.ThumbWidth) / 2.0));
    p.ThumbOffsetY = static_cast<int>(std::nearbyint((boxHeight - p.ThumbHeight) / 2.0));
    return p;
}

bool NavigatorFrame(const ViewState& v, int thumbWidth, int thumbHeight, int thumbLeft, int thumbTop, FrameRect& f) {
    if (v.ViewImageWidth <= 0 || v.ViewImageHeight <= 0) return false;
    f.width = static_cast<int>(static_cast<double>(thumbWidth * v.ViewSrcWidth) / v.ViewImageWidth);
    f.height = static_cast<int>(static_cast<double>(thumbHeight * v.ViewSrcHeight) / v.ViewImageHeight);
    f.x = static_cast<int>(static_cast<double>(v.ShownSrcLeft) / v.ViewImageWidth * thumbWidth + thumbLeft);
    f.y = static_cast<int>(std::nearbyint(static_cast<double>(v.ShownSrcTop) / v.ViewImageHeight * thumbHeight + thumbTop));
    return true;
}

bool ThumbnailToPicture(const ThumbnailPlace& p, int w, int h, int x, int y, int& px, int& py) {
    if (p.ThumbWidth <= 0 || p.ThumbHeight <= 0 || w <= 0 || h <= 0) return false;
    px = static_cast<int>(static_cast<std::int64_t>(x - p.ThumbOffsetX) * w / p.ThumbWidth);
    py = static_cast<int>(static_cast<std::int64_t>(y - p.ThumbOffsetY) * h / p.ThumbHeight);
    return true;
}

bool ViewShowsWholePicture(const ViewState& v) {
    return v.ViewSrcWidth >= v.ViewImageWidth && v.ViewSrcHeight >= v.ViewImageHeight;
}

}  // namespace nocturo
