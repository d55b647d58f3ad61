// PNG out: a 24-bit working image as a lossless RGB PNG, written for speed (one cheap filter, a
// fast compression level, a large picture compressed on several cores). Extra chunks (EXIF,
// text) can be put in front of the pixel data.
#pragma once

#include "common/work_image.h"

#include <QString>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace nocturo::png {

class PngError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One chunk as it goes into the file: its four-letter type and its data (length and CRC are
// added by the writer). Such chunks are written after IHDR, before the first IDAT.
struct Chunk {
    std::array<char, 4> type;
    std::vector<std::uint8_t> data;
};

// The whole PNG file of `image` (8-bit RGB, no interlace).
std::vector<std::uint8_t> encode(const WorkImage& image, const std::vector<Chunk>& extraChunks = {});

// How the pixel data is cut up: into `parts` compressed side by side (rows cut into bands), and
// IDAT chunks of at most about `pieceBytes`. Zero leaves the choice to the writer (parts by size
// and cores, one chunk per part); the tests reach every cut with small images.
struct Layout {
    int parts = 0;
    std::size_t pieceBytes = 0;
};
std::vector<std::uint8_t> encode(const WorkImage& image, const std::vector<Chunk>& extraChunks, const Layout& layout);

// The same into a file, through a temporary file renamed over the target: a failure never
// leaves a half-written file. Throws PngError.
void encodeFile(const WorkImage& image, const QString& path, const std::vector<Chunk>& extraChunks = {});

}  // namespace nocturo::png
