// The processing commands over the working images: the full-picture and revert rectangles, and
// the two operations every caller uses, ProcessRectangle (original back, then extraction) and
// RestoreRectangle (background back, then recount).
#pragma once

#include "common/strip.h"
#include "common/work_image.h"
#include "extract/extraction.h"

namespace nocturo {

// The full-picture draw: the bounds leave out the shooting-data strip, while the block copy
// covers the whole source image, strip included.
ProcRect fullPictureRect(const WorkImage& SourceImage, int ShotDataStrip);

// The revert: the whole of SourceImage, strip included.
ProcRect revertRect(const WorkImage& SourceImage);

// A dragged range: inclusive bounds, ProcWidth and ProcHeight from them.
ProcRect rangeRect(int left, int top, int right, int bottom);

// Makes MarkImage black over the rectangle (the range gestures do it at once, before deciding
// whether the range is large enough to run an operation).
void clearMarks(WorkImage& MarkImage, const ProcRect& rect);

// Clears the marks over the rectangle, copies ProcWidth x ProcHeight of SourceImage at
// (ProcLeft, ProcTop) onto ProcessedImage and extracts stars in the rectangle. Returns the count.
// stars, when given, receives the counted stars (CountStars).
int ProcessRectangle(const WorkingImages& images, const ProcRect& rect, const ExtractionParams& params,
                     const ProgressCallback& progress = {}, PhaseTimes* times = nullptr,
                     StarCollector* stars = nullptr);

// The caller has made MarkImage black over the rectangle. Original mode copies the block back
// from SourceImage; specified-colour mode fills the rectangle with `colour`. Then the stars are
// counted again; returns the count.
int RestoreRectangle(const WorkingImages& images, const ProcRect& rect, bool specifiedColourMode, ColorValue colour);

// The revert: ProcessedImage takes the whole of SourceImage again.
void RevertPicture(const WorkImage& SourceImage, WorkImage& ProcessedImage);

}  // namespace nocturo
