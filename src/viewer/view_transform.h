// The view transform: the numbers that relate window pixels to picture pixels, computed from
// plain values so that the main window and the tests share one arithmetic.
#pragma once

namespace nocturo {

// The view values of the main window. Scale values are stored as 32-bit floats and every
// expression is evaluated in double from the stored values, so that the exact-1.0 test and the
// clipping of the source rectangle come out as they do on screen.
struct ViewState {
    int ViewAreaWidth = 0;    // size of the view area in window pixels
    int ViewAreaHeight = 0;
    int ViewOriginX = 0;      // top-left of the view area in the client area (20, 20)
    int ViewOriginY = 0;
    int ViewImageWidth = 0;   // size of SourceImage, strip included
    int ViewImageHeight = 0;
    float FitScale = 0.0f;         // display pixels per picture pixel at zoom factor 1
    float InverseFitScale = 0.0f;  // 1 / FitScale
    float ViewScale = 0.0f;        // FitScale x ZoomFactor
    int DispW = 0;            // drawn size of the picture inside the view area
    int DispH = 0;
    int ViewDestLeft = 0;     // offset of the drawn picture inside the view area (centring)
    int ViewDestTop = 0;
    int ViewSrcLeft = 0;      // committed top-left of the visible source rectangle
    int ViewSrcTop = 0;
    int ViewSrcWidth = 0;     // size of the visible source rectangle in picture pixels
    int ViewSrcHeight = 0;
    int ShownSrcLeft = 0;     // top-left actually on screen; differs from ViewSrc* during a pan
    int ShownSrcTop = 0;
    int ViewCentreX = 0;      // picture point kept at the centre of the view while zooming
    int ViewCentreY = 0;

    bool operator==(const ViewState&) const = default;
};

// The margin around the view area and the gap between the usable width and the side panel.
constexpr int kViewMargin = 20;
constexpr int kPanelGap = 5;

// Recomputes the transform (the view area, the fitted and zoomed scales, the drawn size, the
// centring and the source rectangle around the remembered centre) for a client area of
// clientWidth x clientHeight, a side panel panelWidth wide and a picture of pictureWidth x
// pictureHeight at zoomFactor.
//
// Returns false and leaves the state untouched when there is nothing sensible to show: a view
// area of zero or negative size (client width at or below panelWidth + 45, height at or below
// 40), no picture, or a zoom factor that is not a positive finite number. The caller then skips
// the drawing and keeps the previous view.
//
// Beyond the plain formulas the result always satisfies: FitScale > 0; 1 <= DispW <= area width
// and 1 <= DispH <= area height; 1 <= ViewSrcWidth <= pictureWidth, likewise for the height; the
// source rectangle lies inside the picture. At ViewScale exactly 1.0 the whole picture becomes
// the source (and the centre its middle) only when it is drawn whole; a picture larger than the
// area keeps a 1:1 rectangle around the remembered centre, so that what is drawn and what the
// mouse mapping reports stay at the same scale.
bool ComputeViewTransform(ViewState& view, int clientWidth, int clientHeight, int panelWidth,
                          int pictureWidth, int pictureHeight, float zoomFactor);

// Window-to-picture mapping of a client-area point: Round((X - ViewOriginX - ViewDestLeft) /
// ViewScale + ViewSrcLeft), ties to even; rows likewise. The result can lie outside the picture
// (the white margin); each caller clamps it to its own bounds. Saturates at the int range.
int PictureColumnAt(const ViewState& view, int x);
int PictureRowAt(const ViewState& view, int y);

// The inversion applies to the processed picture only (DisplayMode 2), never to the original.
constexpr bool ViewShowsInverted(int displayMode, int invertDisplay) {
    return displayMode != 1 && invertDisplay > 0;
}

}  // namespace nocturo
