#include "extract/saving.h"

#include "common/jpeg_codec.h"

#include <algorithm>

namespace nocturo {

int SaveJpegQuality(int saveQuality) {
    // The quality is a byte-sized setting: only the low byte of the typed number reaches the codec.
    const int lowByte = static_cast<int>(static_cast<unsigned>(saveQuality) & 0xFFu);
    return std::clamp(lowByte, 1, 100);
}

WorkImage SavedPicture(const WorkImage& processed, bool invert) {
    WorkImage out = processed.clone();
    if (!invert) return out;
    const std::size_t rowBytes = static_cast<std::size_t>(out.width()) * 3;
    for (int y = 0; y < out.height(); ++y) {
        std::uint8_t* p = out.row(y);
        for (std::size_t i = 0; i < rowBytes; ++i) p[i] = static_cast<std::uint8_t>(255 - p[i]);
    }
    return out;
}

void WriteSavedPicture(const WorkImage& processed, bool invert, int saveQuality, const QString& path) {
    const int quality = SaveJpegQuality(saveQuality);
    if (!invert) {
        jpeg::encodeFile(processed, path, quality);
        return;
    }
    jpeg::encodeFile(SavedPicture(processed, true), path, quality);
}

}  // namespace nocturo
