// JPEG in and out through libjpeg-turbo, straight into and out of the working image.
#pragma once

#include "common/work_image.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace nocturo::jpeg {

// Any failure of the codec: unreadable file, corrupt or truncated data, refused dimensions,
// an unwritable target. what() is a readable UTF-8 reason.
class JpegError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct HeaderInfo {
    int width = 0;
    int height = 0;
    int components = 0;
};

// Reads the frame header only.
HeaderInfo readHeader(const QString& path);
HeaderInfo readHeader(const std::uint8_t* data, std::size_t size);

// Decodes the whole picture at full size with the decoder's defaults into a new image of
// width x (height + extraRows); the extra rows at the bottom are filled white. Greyscale and
// CMYK files are expanded to colour. Pictures whose working images would not fit into memory
// are refused with JpegError before anything large is allocated.
WorkImage decodeFile(const QString& path, int extraRows = 0);
WorkImage decodeMemory(const std::uint8_t* data, std::size_t size, int extraRows = 0);

// Decodes the file with the decoder's defaults into one reused row buffer and keeps nothing: the
// bare decode that the CLI's --time compares the draw with. Throws JpegError.
void decodeFileRows(const QString& path);

// Throws JpegError when a w x h picture cannot be taken at all: zero size, more than kMaxPixels,
// or three working images that would not fit into the memory the system can give.
void checkDimensions(std::int64_t width, std::int64_t height);

// Encodes a baseline JPEG with the encoder's defaults and the given quality (clamped to 1..100).
QByteArray encode(const WorkImage& image, int quality);
// The same into a file, written to a temporary file beside it and renamed over the target so
// that a failure never leaves a half-written file.
void encodeFile(const WorkImage& image, const QString& path, int quality);

// Upper bound of pixels for which decoding is attempted at all, before asking the memory.
constexpr std::int64_t kMaxPixels = 400'000'000;

}  // namespace nocturo::jpeg
