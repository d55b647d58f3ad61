#include "viewer/view_transform.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace nocturo {

namespace {

// Trunc of a value already known to lie inside [lo, hi] after clamping, so that no conversion
// of an out-of-range double to int can happen whatever the inputs.
int truncClamped(double v, int lo, int hi) {
    if (!(v >= lo)) return lo;  // also catches NaN
    if (v > hi) return hi;
    return static_cast<int>(std::trunc(v));
}

int roundSaturated(double v) {
    const double r = std::nearbyint(v);  // ties to even under the default rounding mode
    if (!(r >= INT_MIN)) return INT_MIN;
    if (r > INT_MAX) return INT_MAX;
    return static_cast<int>(r);
}

}  // namespace

bool ComputeViewTransform(ViewState& view, int clientWidth, int clientHeight, int panelWidth,
                          int pictureWidth, int pictureHeight, float zoomFactor) {
    const std::int64_t usable = std::int64_t{clientWidth} - panelWidth - kPanelGap;
    const std::int64_t areaW64 = usable - 2 * kViewMargin;
    const std::int64_t areaH64 = std::int64_t{clientHeight} - 2 * kViewMargin;
    if (areaW64 <= 0 || areaH64 <= 0 || areaW64 > INT_MAX || areaH64 > INT_MAX) return false;
    if (pictureWidth <= 0 || pictureHeight <= 0) return false;
    if (!std::isfinite(zoomFactor) || zoomFactor <= 0.0f) return false;

    const int W = pictureWidth, H = pictureHeight;
    ViewState v = view;
    v.ViewAreaWidth = static_cast<int>(areaW64);
    v.ViewAreaHeight = static_cast<int>(areaH64);
    v.ViewOriginX = static_cast<int>((usable - areaW64) / 2);
    v.ViewOriginY = static_cast<int>((clientHeight - areaH64) / 2);
    v.ViewImageWidth = W;
    v.ViewImageHeight = H;
    const int areaW = v.ViewAreaWidth, areaH = v.ViewAreaHeight;

    // Fitted width: the area's width, or the width that the area's height allows. The products
    // are exact in 64 bits; the rounding is Trunc(x + 0.5).
    int fitW = areaW;
    const double fitH = std::trunc(static_cast<double>(std::int64_t{fitW} * H) / W + 0.5);
    if (fitH > areaH) fitW = truncClamped(static_cast<double>(std::int64_t{areaH} * W) / H + 0.5, 0, areaW);
    // A picture far narrower than the area is high would round its fitted width to 0, making
    // FitScale 0 and its inverse infinite; one column is the least that can be shown.
    fitW = std::max(fitW, 1);

    if (areaW < W || areaH < H)
        v.FitScale = static_cast<float>(static_cast<double>(fitW) / W);
    else
        v.FitScale = 1.0f;
    v.InverseFitScale = static_cast<float>(1.0 / static_cast<double>(v.FitScale));
    v.ViewScale = static_cast<float>(static_cast<double>(v.FitScale) * static_cast<double>(zoomFactor));
    const double scale = v.ViewScale;
    if (!(scale > 0.0) || !std::isfinite(scale)) return false;  // zoom so small or large that the float gave up

    // Drawn size, at least one pixel so that a sliver of a picture never vanishes.
    v.DispW = truncClamped(W * scale, 1, areaW);
    v.DispH = truncClamped(H * scale, 1, areaH);
    int srcW = truncClamped(v.DispW / scale + 0.5, 1, W);
    int srcH = truncClamped(v.DispH / scale + 0.5, 1, H);
    v.ViewDestLeft = (areaW - v.DispW) / 2;  // both non-negative: Trunc of the half
    v.ViewDestTop = (areaH - v.DispH) / 2;

    int srcX, srcY;
    if (v.ViewScale == 1.0f && v.DispW == W && v.DispH == H) {
        srcX = 0;
        srcY = 0;
        srcW = W;
        srcH = H;
        v.ViewCentreX = W / 2;
        v.ViewCentreY = H / 2;
    } else {
        // Around the remembered centre, pushed back inside the picture at its borders; the
        // centre then follows the clamped rectangle.
        srcX = truncClamped(v.ViewCentreX - srcW / 2.0 + 0.5, 0, W - srcW);
        srcY = truncClamped(v.ViewCentreY - srcH / 2.0 + 0.5, 0, H - srcH);
        v.ViewCentreX = static_cast<int>(std::trunc(srcX + srcW / 2.0));
        v.ViewCentreY = static_cast<int>(std::trunc(srcY + srcH / 2.0));
    }
    v.ViewSrcLeft = v.ShownSrcLeft = srcX;
    v.ViewSrcTop = v.ShownSrcTop = srcY;
    v.ViewSrcWidth = srcW;
    v.ViewSrcHeight = srcH;
    view = v;
    return true;
}

int PictureColumnAt(const ViewState& view, int x) {
    const double offset = static_cast<double>(x) - view.ViewOriginX - view.ViewDestLeft;
    return roundSaturated(offset / static_cast<double>(view.ViewScale) + view.ViewSrcLeft);
}

int PictureRowAt(const ViewState& view, int y) {
    const double offset = static_cast<double>(y) - view.ViewOriginY - view.ViewDestTop;
    return roundSaturated(offset / static_cast<double>(view.ViewScale) + view.ViewSrcTop);
}

}  // namespace nocturo
