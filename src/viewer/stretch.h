// Nearest-pixel stretching of a working image into another (each destination pixel takes one
// source pixel: rows and columns are repeated or dropped, nothing is averaged), plain or with
// every channel inverted, and the two view renders built on it.
#pragma once

#include "common/work_image.h"
#include "viewer/view_transform.h"

namespace nocturo {

struct StretchRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Sampling. Destination column i (counted from the destination rectangle's left edge, 0 <= i <
// width) shows source column
//     from.left + min(floor(i / s + 0.5), from.width - 1)
// where s is the scale in destination pixels per source pixel; rows likewise. This is the
// window-to-picture mapping of the view (Round(i / ViewScale + ViewSrcLeft)), so the pixel that
// the position readout and the Shift-drag rectangle name is the one drawn under the pointer. The
// two differ only where i / s lands exactly on a half: the mapping rounds that tie to even, the
// stretch always up, so that at a whole-number magnification every picture pixel gets the same
// number of display pixels. (Sampling at pixel centres, floor((i + 0.5) / s), would make the
// readout name the neighbouring pixel over half of every enlarged pixel.)
//
// Clipping: destination pixels outside `dst`, and those whose source pixel lies outside `src`,
// are left untouched; clipping never changes which source pixel the remaining ones take. Empty or
// negative rectangles and a non-positive or non-finite scale draw nothing. No value of the
// arguments makes it read or write outside the two images.

// The scale is width / from.width for columns and height / from.height for rows, taken
// exactly in integers: floor((2 i from.width + width) / (2 width)).
void StretchNearest(const WorkImage& src, StretchRect from, WorkImage& dst, StretchRect to,
                    bool invert);

// One given scale for both directions, as the view uses it (s = ViewScale).
void StretchNearestAtScale(const WorkImage& src, StretchRect from, WorkImage& dst, StretchRect to,
                           double scale, bool invert);

// The full redraw into the back buffer: the buffer becomes clientWidth x clientHeight (the
// allocation is kept when the size is unchanged; nothing is done for an empty size), is filled
// white, and the source rectangle (ViewSrcLeft, ViewSrcTop, ViewSrcWidth, ViewSrcHeight) of the
// picture is stretched onto (ViewDestLeft, ViewDestTop, DispW, DispH) at ViewScale. The buffer
// is painted at (ViewOriginX, ViewOriginY), so buffer pixel (bx, by) is window point
// (bx + ViewOriginX, by + ViewOriginY). `invert` is ViewShowsInverted(DisplayMode, InvertDisplay).
void RenderView(const WorkImage& picture, bool invert, const ViewState& view, WorkImage& viewBuffer,
                int clientWidth, int clientHeight);

// The partial redraw of a pan drag or a navigator click: the rectangle at (ShownSrcLeft,
// ShownSrcTop) of size ViewSrcWidth x ViewSrcHeight onto (ViewDestLeft, ViewDestTop) with size
// Trunc(ViewSrcWidth x ViewScale) x Trunc(ViewSrcHeight x ViewScale), without clearing the
// buffer first and without resizing it.
void RenderShownRegion(const WorkImage& picture, bool invert, const ViewState& view,
                       WorkImage& viewBuffer);

}  // namespace nocturo
