#include "input/bicubic_scaler.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <cstring>

namespace nocturo {

void drawScaledBicubic(const WorkImage& picture, WorkImage& target, int dstX, int dstY, int dstW, int dstH) {
    if (picture.isNull() || target.isNull() || dstW <= 0 || dstH <= 0) return;
    WorkImage scaled(dstW, dstH);
    // The three channels are resampled alike, so the blue-green-red order needs no care. Linear
    // colour space: the picture's bytes are resampled as they are, as the platform scaler does.
    stbir_resize_uint8_generic(picture.bits(), picture.width(), picture.height(), static_cast<int>(picture.stride()),
                               scaled.bits(), dstW, dstH, static_cast<int>(scaled.stride()), 3,
                               STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_CATMULLROM,
                               STBIR_COLORSPACE_LINEAR, nullptr);
    const int left = std::max(dstX, 0), right = std::min(dstX + dstW, target.width());
    const int top = std::max(dstY, 0), bottom = std::min(dstY + dstH, target.height());
    if (left >= right) return;
    for (int y = top; y < bottom; ++y)
        std::memcpy(target.row(y) + 3 * left, scaled.row(y - dstY) + 3 * (left - dstX),
                    static_cast<std::size_t>(right - left) * 3);
}

}  // namespace nocturo
