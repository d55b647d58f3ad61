// The JPEG encoding of a built thumbnail, shared by the thumbnail getter and the writer.
#pragma once

#include <QByteArray>
#include <QImage>

namespace nocturo {

// Encodes the image as a baseline JPEG at the codec's default quality.
QByteArray encodeThumbnailJpeg(const QImage& image);

}  // namespace nocturo
