#include "extract/processing.h"

#include <algorithm>
#include <cstdint>

namespace nocturo {

ProcRect fullPictureRect(const WorkImage& SourceImage, int ShotDataStrip) {
    const int strip = ShotDataStrip > 0 ? kShotDataStripRows : 0;
    ProcRect r;
    r.ProcLeft = 0;
    r.ProcTop = 0;
    r.ProcRight = SourceImage.width() - 1;
    r.ProcBottom = SourceImage.height() - strip - 1;
    r.ProcWidth = SourceImage.width();
    r.ProcHeight = SourceImage.height();
    return r;
}

ProcRect revertRect(const WorkImage& SourceImage) {
    ProcRect r;
    r.ProcRight = SourceImage.width() - 1;
    r.ProcBottom = SourceImage.height() - 1;
    r.ProcWidth = SourceImage.width();
    r.ProcHeight = SourceImage.height();
    return r;
}

ProcRect rangeRect(int left, int top, int right, int bottom) {
    ProcRect r;
    r.ProcLeft = left;
    r.ProcTop = top;
    r.ProcRight = right;
    r.ProcBottom = bottom;
    r.ProcWidth = right - left + 1;
    r.ProcHeight = bottom - top + 1;
    return r;
}

void clearMarks(WorkImage& MarkImage, const ProcRect& rect) {
    MarkImage.fillRect(rect.ProcLeft, rect.ProcTop, rect.ProcRight + 1, rect.ProcBottom + 1, kBlack);
}

int ProcessRectangle(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                     const ProgressCallback& progress, PhaseTimes* times, StarCollector* stars) {
    // The clearing and the block copy are done row by row inside the pass, each row just before
    // it is processed: one trip through memory instead of three, with the same result.
    return detail::extractWithCopy(images, rect, params, progress, times, stars);
}

int RestoreRectangle(const WorkingImages& images, const ProcRect& rect, bool specifiedColourMode, ColorValue colour) {
    if (!specifiedColourMode)
        images.ProcessedImage.copyBlockFrom(images.SourceImage, rect.ProcLeft, rect.ProcTop, rect.ProcWidth,
                                            rect.ProcHeight);
    else
        images.ProcessedImage.fillRect(rect.ProcLeft, rect.ProcTop, rect.ProcRight + 1, rect.ProcBottom + 1, colour);
    return CountStars(images.MarkImage, images.WorkWidth, images.WorkHeight);
}

void RevertPicture(const WorkImage& SourceImage, WorkImage& ProcessedImage) {
    ProcessedImage.copyBlockFrom(SourceImage, 0, 0, SourceImage.width(), SourceImage.height());
}

}  // namespace nocturo
