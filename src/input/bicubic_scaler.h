// High-quality bicubic resampling of a whole picture onto a rectangle of another image.
#pragma once

#include "common/work_image.h"

namespace nocturo {

// Draws all of `picture`, resampled to dstW x dstH with a Catmull-Rom cubic whose support widens
// with the reduction factor (no aliasing when shrinking), onto `target` at (dstX, dstY), clipped
// to the target. Throws std::bad_alloc when the intermediate image does not fit.
void drawScaledBicubic(const WorkImage& picture, WorkImage& target, int dstX, int dstY, int dstW, int dstH);

}  // namespace nocturo
