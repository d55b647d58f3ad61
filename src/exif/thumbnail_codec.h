// The JPEG encoding of a built thumbnail, shared by the thumbnail getter and the writer.
#pragma once

#include <QByteArray>
#include <QImage>

#include "common/work_image.h"

namespace nocturo {

// A picture fitted into 160 x 120 (never enlarged), as a built thumbnail is.
QImage FitThumbnail(const WorkImage& picture);

// Encodes the image as a baseline JPEG at the codec's default quality.
QByteArray encodeThumbnailJpeg(const QImage& image);

}  // namespace nocturo
