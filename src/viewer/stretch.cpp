#include "viewer/stretch.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace nocturo {

namespace {

// Which source index every destination index of one direction takes, for the destination
// indices that survive clipping. Monotone in the destination index.
struct AxisMap {
    int dstFirst = 0;           // first destination index drawn (in destination image coordinates)
    std::vector<int> src;       // source index for dstFirst, dstFirst + 1, ...
};

// offsetOf(i) gives floor(i / s + 0.5) for i >= 0, at most fromLen - 1 once clamped here.
template <class OffsetOf>
bool buildAxis(int fromPos, int fromLen, int srcLimit, int toPos, int toLen, int dstLimit,
               OffsetOf offsetOf, AxisMap& out) {
    out.src.clear();
    if (fromLen <= 0 || toLen <= 0 || srcLimit <= 0 || dstLimit <= 0) return false;
    const std::int64_t iBegin = std::max<std::int64_t>(0, -std::int64_t{toPos});
    const std::int64_t iEnd = std::min<std::int64_t>(toLen, std::int64_t{dstLimit} - toPos);
    if (iBegin >= iEnd) return false;
    out.src.reserve(static_cast<std::size_t>(iEnd - iBegin));
    for (std::int64_t i = iBegin; i < iEnd; ++i) {
        const std::int64_t off = std::min<std::int64_t>(offsetOf(i), fromLen - 1);
        const std::int64_t s = fromPos + off;
        if (s < 0) continue;          // source before the image: leading entries only
        if (s >= srcLimit) break;     // past its end: trailing entries only
        if (out.src.empty()) out.dstFirst = static_cast<int>(toPos + i);
        out.src.push_back(static_cast<int>(s));
    }
    return !out.src.empty();
}

bool buildAxisAtScale(int fromPos, int fromLen, int srcLimit, int toPos, int toLen, int dstLimit,
                      double scale, AxisMap& out) {
    const double maxOffset = fromLen - 1.0;
    return buildAxis(fromPos, fromLen, srcLimit, toPos, toLen, dstLimit,
                     [scale, maxOffset](std::int64_t i) {
                         const double v = std::floor(static_cast<double>(i) / scale + 0.5);
                         return static_cast<std::int64_t>(std::min(v, maxOffset));
                     },
                     out);
}

bool buildAxisByRatio(int fromPos, int fromLen, int srcLimit, int toPos, int toLen, int dstLimit,
                      AxisMap& out) {
    // i < 2^31 and fromLen < 2^31, so the numerator stays below 2^64.
    const std::uint64_t num = static_cast<std::uint64_t>(std::max(fromLen, 0));
    const std::uint64_t den = static_cast<std::uint64_t>(std::max(toLen, 1));
    return buildAxis(fromPos, fromLen, srcLimit, toPos, toLen, dstLimit,
                     [num, den](std::int64_t i) {
                         const std::uint64_t q = (2 * static_cast<std::uint64_t>(i) * num + den) / (2 * den);
                         return static_cast<std::int64_t>(std::min<std::uint64_t>(q, INT_MAX));
                     },
                     out);
}

template <bool Invert>
void copyMapped(const WorkImage& src, WorkImage& dst, const AxisMap& cols, const AxisMap& rows) {
    const std::size_t n = cols.src.size();
    std::vector<std::uint32_t> byteOffset(n);
    for (std::size_t j = 0; j < n; ++j) byteOffset[j] = 3u * static_cast<std::uint32_t>(cols.src[j]);
    const std::uint32_t* offs = byteOffset.data();
    const std::size_t rowBytes = 3 * n;

    const std::uint8_t* previous = nullptr;
    int previousSource = -1;
    for (std::size_t k = 0; k < rows.src.size(); ++k) {
        std::uint8_t* d = dst.row(rows.dstFirst + static_cast<int>(k)) + 3 * static_cast<std::size_t>(cols.dstFirst);
        const int sourceRow = rows.src[k];
        if (sourceRow == previousSource) {  // an enlarged row repeats the one above it
            std::memcpy(d, previous, rowBytes);
            continue;
        }
        const std::uint8_t* s = src.row(sourceRow);
        for (std::size_t j = 0; j < n; ++j) {
            const std::uint8_t* p = s + offs[j];
            if constexpr (Invert) {
                d[3 * j] = static_cast<std::uint8_t>(~p[0]);
                d[3 * j + 1] = static_cast<std::uint8_t>(~p[1]);
                d[3 * j + 2] = static_cast<std::uint8_t>(~p[2]);
            } else {
                d[3 * j] = p[0];
                d[3 * j + 1] = p[1];
                d[3 * j + 2] = p[2];
            }
        }
        previous = d;
        previousSource = sourceRow;
    }
}

void copyMapped(const WorkImage& src, WorkImage& dst, const AxisMap& cols, const AxisMap& rows, bool invert) {
    if (invert)
        copyMapped<true>(src, dst, cols, rows);
    else
        copyMapped<false>(src, dst, cols, rows);
}

int truncToNonNegative(double v) {
    if (!(v > 0)) return 0;
    if (v >= INT_MAX) return INT_MAX;
    return static_cast<int>(v);
}

}  // namespace

void StretchNearest(const WorkImage& src, StretchRect from, WorkImage& dst, StretchRect to, bool invert) {
    if (src.isNull() || dst.isNull()) return;
    AxisMap cols, rows;
    if (!buildAxisByRatio(from.left, from.width, src.width(), to.left, to.width, dst.width(), cols)) return;
    if (!buildAxisByRatio(from.top, from.height, src.height(), to.top, to.height, dst.height(), rows)) return;
    copyMapped(src, dst, cols, rows, invert);
}

void StretchNearestAtScale(const WorkImage& src, StretchRect from, WorkImage& dst, StretchRect to,
                           double scale, bool invert) {
    if (src.isNull() || dst.isNull() || !(scale > 0) || !std::isfinite(scale)) return;
    AxisMap cols, rows;
    if (!buildAxisAtScale(from.left, from.width, src.width(), to.left, to.width, dst.width(), scale, cols)) return;
    if (!buildAxisAtScale(from.top, from.height, src.height(), to.top, to.height, dst.height(), scale, rows)) return;
    copyMapped(src, dst, cols, rows, invert);
}

void RenderView(const WorkImage& picture, bool invert, const ViewState& view, WorkImage& viewBuffer,
                int clientWidth, int clientHeight) {
    if (clientWidth <= 0 || clientHeight <= 0) return;
    if (viewBuffer.width() != clientWidth || viewBuffer.height() != clientHeight)
        viewBuffer = WorkImage(clientWidth, clientHeight);
    viewBuffer.fill(kWhite);
    StretchNearestAtScale(picture, {view.ViewSrcLeft, view.ViewSrcTop, view.ViewSrcWidth, view.ViewSrcHeight},
                          viewBuffer, {view.ViewDestLeft, view.ViewDestTop, view.DispW, view.DispH},
                          view.ViewScale, invert);
}

void RenderShownRegion(const WorkImage& picture, bool invert, const ViewState& view, WorkImage& viewBuffer) {
    const double scale = view.ViewScale;
    const int dw = truncToNonNegative(view.ViewSrcWidth * scale);
    const int dh = truncToNonNegative(view.ViewSrcHeight * scale);
    StretchNearestAtScale(picture, {view.ShownSrcLeft, view.ShownSrcTop, view.ViewSrcWidth, view.ViewSrcHeight},
                          viewBuffer, {view.ViewDestLeft, view.ViewDestTop, dw, dh}, scale, invert);
}

}  // namespace nocturo
