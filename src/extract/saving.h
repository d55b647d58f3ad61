// The processed picture as it leaves the program: a baseline JPEG, inverted when the inverted
// display is on, at the quality of the side panel.
#pragma once

#include "common/work_image.h"

#include <QString>

namespace nocturo {

// The quality the encoder gets for a quality setting: its low byte, then 0 taken as 1 and
// anything above 100 as 100 (300 gives 44, 256 gives 1).
int SaveJpegQuality(int saveQuality);

// The picture that is encoded: a copy of processed with every channel inverted (v -> 255 - v)
// when invert is set, else a plain copy.
WorkImage SavedPicture(const WorkImage& processed, bool invert);

// Encodes the saved picture and writes it to path, replacing a file of that name atomically.
// Throws jpeg::JpegError with the path and the system's reason when the file cannot be written.
void WriteSavedPicture(const WorkImage& processed, bool invert, int saveQuality, const QString& path);

}  // namespace nocturo
