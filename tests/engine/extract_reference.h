// A plain, literal re-implementation of the extraction rules for the tests: background arrays
// filled by division, the clamped index computed per pixel, the overflow list, the enlargement
// re-estimating each listed row, and the count as two separate scans with its own flood fill.
// Slow and obvious on purpose, so that the optimised engine can be checked against it.
#pragma once

#include "common/work_image.h"
#include "extract/extraction.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace nocturo::reference {

inline float f32(double v) { return static_cast<float>(v); }

struct Hsv {
    float h = 0, s = 0, v = 0;
};

// Every stored value a float, every expression evaluated in double.
inline Hsv rgbToHsv(int R, int G, int B) {
    const float r = f32(R / 255.0), g = f32(G / 255.0), b = f32(B / 255.0);
    float mx = r > g ? r : g;
    if (b > mx) mx = b;
    float mn = r < g ? r : g;
    if (b < mn) mn = b;
    Hsv o;
    const double range = double(mx) - double(mn);
    if (mx == mn)
        o.h = 0;
    else if (mx == r)
        o.h = f32((double(g) - double(b)) * 60.0 / range);
    else if (mx == g)
        o.h = f32((double(b) - double(r)) * 60.0 / range + 120.0);
    else
        o.h = f32((double(r) - double(g)) * 60.0 / range + 240.0);
    if (o.h < 0) o.h = f32(double(o.h) + 360.0);
    o.s = mx > 0 ? f32(range / double(mx)) : 0.0f;
    o.v = mx;
    return o;
}

struct Rgb {
    long long r = 0, g = 0, b = 0;
};

inline Rgb hsvToRgb(const Hsv& c, Rgb keep = {}) {
    const long long i = static_cast<long long>(std::trunc(double(c.h) / 60.0)) % 6;
    const float f = f32(double(c.h) / 60.0 - double(i));
    const float p = f32((1.0 - double(c.s)) * double(c.v));
    const float q = f32((1.0 - double(f) * double(c.s)) * double(c.v));
    const float t = f32((1.0 - (1.0 - double(f)) * double(c.s)) * double(c.v));
    auto rnd = [](double x) { return static_cast<long long>(std::nearbyint(x)); };
    const long long Pi = rnd(double(p) * 255), Qi = rnd(double(q) * 255), Ti = rnd(double(t) * 255),
                    Vi = rnd(double(c.v) * 255);
    switch (i) {
        case 0: return {Vi, Ti, Pi};
        case 1: return {Qi, Vi, Pi};
        case 2: return {Pi, Vi, Ti};
        case 3: return {Pi, Qi, Vi};
        case 4: return {Ti, Pi, Vi};
        case 5: return {Vi, Pi, Qi};
        default: return keep;
    }
}

inline int clampByte(long long v) { return v > 255 ? 255 : (v < 0 ? 0 : static_cast<int>(v)); }

// The row background, literally: element j is the truncated mean of pixels j .. j + 2k.
struct Background {
    std::vector<int> r, g, b;
    void estimate(const WorkImage& src, int y, int W, int k) {
        r.assign(static_cast<std::size_t>(W - 2 * k + 5), 0);
        g = r;
        b = r;
        long long SR = 0, SG = 0, SB = 0;
        for (int x = 0; x <= 2 * k; ++x) {
            const ColorValue c = src.pixel(x, y);
            SR += colorRed(c);
            SG += colorGreen(c);
            SB += colorBlue(c);
        }
        const long long d = 2 * k + 1;
        r[0] = static_cast<int>(SR / d);
        g[0] = static_cast<int>(SG / d);
        b[0] = static_cast<int>(SB / d);
        for (int j = 1; j <= W - 1 - 2 * k; ++j) {
            const ColorValue out = src.pixel(j - 1, y), in = src.pixel(j + 2 * k, y);
            SR += colorRed(in) - colorRed(out);
            SG += colorGreen(in) - colorGreen(out);
            SB += colorBlue(in) - colorBlue(out);
            r[j] = static_cast<int>(SR / d);
            g[j] = static_cast<int>(SG / d);
            b[j] = static_cast<int>(SB / d);
        }
    }
};

inline int backgroundIndex(int x, int W, int k) {
    int i = x - k;
    if (i < 0) i = 0;
    if (i > W - 2 - 2 * k) i = W - 2 - 2 * k;
    if (i < 0) i = 0;  // a picture one pixel wide
    return i;
}

inline void fill4(WorkImage& img, int x0, int y0, ColorValue target, ColorValue fill) {
    if (img.pixel(x0, y0) != target) return;
    std::vector<std::pair<int, int>> todo{{x0, y0}};
    img.setPixel(x0, y0, fill);
    while (!todo.empty()) {
        const auto [x, y] = todo.back();
        todo.pop_back();
        const int nx[4] = {x - 1, x + 1, x, x}, ny[4] = {y, y, y - 1, y + 1};
        for (int n = 0; n < 4; ++n) {
            if (nx[n] < 0 || ny[n] < 0 || nx[n] >= img.width() || ny[n] >= img.height()) continue;
            if (img.pixel(nx[n], ny[n]) != target) continue;
            img.setPixel(nx[n], ny[n], fill);
            todo.emplace_back(nx[n], ny[n]);
        }
    }
}

inline int countStars(WorkImage& marks, int W, int H) {
    for (int y = 1; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const ColorValue c = marks.pixel(x, y);
            if (colorRed(c) > 128 && colorGreen(c) < 128) {
                fill4(marks, x, y, makeColor(255, 0, 0), makeColor(0, 0, 255));
                marks.setPixel(x, y, makeColor(0, 255, 0));
            }
        }
    int n = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const ColorValue c = marks.pixel(x, y);
            if (colorGreen(c) > 128 && colorRed(c) < 128) ++n;
        }
    return n;
}

inline int extractStars(const WorkImage& src, WorkImage& proc, WorkImage& marks, int WH, const ProcRect& rc,
                        const ExtractionParams& prm) {
    const long long T = prm.StarThreshold;
    const float b = f32(prm.BrightnessPercent / 100.0), s = f32(prm.SaturationPercent / 100.0);
    for (int y = rc.ProcTop; y <= rc.ProcBottom; ++y)
        for (int x = rc.ProcLeft; x <= rc.ProcRight; ++x) marks.setPixel(x, y, kBlack);
    const int W = proc.width(), k = W / 40;
    const int cr = colorRed(prm.ExtractionColor), cg = colorGreen(prm.ExtractionColor),
              cb = colorBlue(prm.ExtractionColor);
    Background bg;
    std::vector<int> overflowRows;
    for (int y = rc.ProcTop; y <= rc.ProcBottom; ++y) {
        bool overflow = false;
        bg.estimate(src, y, W, k);
        for (int x = rc.ProcLeft; x <= rc.ProcRight; ++x) {
            const ColorValue c = src.pixel(x, y);
            const int R = colorRed(c), G = colorGreen(c), B = colorBlue(c);
            const int i = backgroundIndex(x, W, k);
            const bool star = bg.r[i] + T < R && bg.g[i] + T < G && bg.b[i] + T < B && x < rc.ProcRight;
            if (star) {
                if (prm.BackgroundOnlyMode == 1) continue;
                Hsv h = rgbToHsv(R, G, B);
                h.v = f32(double(h.v) + double(b));
                if (h.v > 1) {
                    h.v = 1;
                    overflow = true;
                }
                h.s = f32(double(h.s) + double(s));
                if (h.s > 1) h.s = 1;
                if (h.s < 0) h.s = 0;
                const Rgb o = hsvToRgb(h);
                proc.setPixel(x, y, makeColor(clampByte(o.r), clampByte(o.g), clampByte(o.b)));
                marks.setPixel(x, y, makeColor(255, 0, 0));
            } else {
                if (prm.BackgroundOnlyMode == 1 && (bg.r[i] - T > R || bg.g[i] - T > G || bg.b[i] - T > B))
                    proc.setPixel(x, y, makeColor(cr, cg, cb));
                if (prm.SpecifiedColourMode) proc.setPixel(x, y, makeColor(cr, cg, cb));
            }
        }
        if (overflow) overflowRows.push_back(y);
    }
    if (prm.EnlargeBrightStars && prm.BackgroundOnlyMode == 0 && !overflowRows.empty()) {
        for (int y : overflowRows) {
            bg.estimate(src, y, W, k);
            for (int x = rc.ProcLeft + 1; x <= rc.ProcRight; ++x) {
                const ColorValue c = src.pixel(x, y);
                const int R = colorRed(c), G = colorGreen(c), B = colorBlue(c);
                const int i = backgroundIndex(x, W, k);
                if (!(bg.r[i] + T < R && bg.g[i] + T < G && bg.b[i] + T < B)) continue;
                Hsv h = rgbToHsv(R, G, B);
                h.v = f32(double(h.v) + double(b));
                const float hc = h.h;
                const float e = f32(double(h.v) - 1.0);
                float sc = f32(double(h.s) + double(s));
                if (sc > 1) sc = 1;
                if (sc < 0) sc = 0;
                if (!(e > 0)) continue;
                const int l = std::max(x - 1, rc.ProcLeft), r = std::min(x + 1, rc.ProcRight);
                const int t = std::max(y - 1, rc.ProcTop), bt = std::min(y + 1, rc.ProcBottom);
                for (int cx = l; cx <= r; ++cx)
                    for (int ry = t; ry <= bt; ++ry) {
                        const ColorValue pc = proc.pixel(cx, ry);
                        Hsv n = rgbToHsv(colorRed(pc), colorGreen(pc), colorBlue(pc));
                        const double share = (cx == x || ry == y) ? 0.5 : 0.35;
                        n.v = f32(double(n.v) + double(b) + double(e) * share);
                        if (n.v > 1) n.v = 1;
                        n.s = sc;
                        n.h = hc;
                        const Rgb o = hsvToRgb(n);
                        proc.setPixel(cx, ry, makeColor(int(o.r & 0xFF), int(o.g & 0xFF), int(o.b & 0xFF)));
                    }
            }
        }
    }
    return countStars(marks, W, WH);
}

inline int processRectangle(const WorkImage& src, WorkImage& proc, WorkImage& marks, int WH, const ProcRect& rc,
                            const ExtractionParams& prm) {
    for (int y = rc.ProcTop; y <= rc.ProcBottom; ++y)
        for (int x = rc.ProcLeft; x <= rc.ProcRight; ++x) marks.setPixel(x, y, kBlack);
    for (int y = rc.ProcTop; y < rc.ProcTop + rc.ProcHeight && y < src.height(); ++y)
        for (int x = rc.ProcLeft; x < rc.ProcLeft + rc.ProcWidth && x < src.width(); ++x)
            proc.setPixel(x, y, src.pixel(x, y));
    return extractStars(src, proc, marks, WH, rc, prm);
}

}  // namespace nocturo::reference
