// The processed picture as it leaves the program: a baseline JPEG, inverted when the inverted
// display is on, at the quality of the side panel, carrying the shooting data of its source.
#pragma once

#include "common/png_codec.h"
#include "common/work_image.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <memory>
#include <optional>

namespace nocturo {

class TExifInfo;

// The quality the encoder gets for a quality setting: its low byte, then 0 taken as 1 and
// anything above 100 as 100 (300 gives 44, 256 gives 1).
int SaveJpegQuality(int saveQuality);

// The picture that is encoded: a copy of processed with every channel inverted (v -> 255 - v)
// when invert is set, else a plain copy.
WorkImage SavedPicture(const WorkImage& processed, bool invert);

// "Nocturo" and the program's version: the Software tag of a saved picture.
QString SavedSoftwareName();

// Where the EXIF of a saved picture comes from. A source without entries (or none) gives a
// picture without EXIF.
struct SaveExif {
    const TExifInfo* source = nullptr;
    bool keepGps = true;               // false leaves the GPS directory out
    QDateTime savedAt = QDateTime::currentDateTime();
};

// The source's EXIF made over for a saved picture of width x height: pixel dimensions (and
// IFD0's image size where the source has one), Software and DateTime; everything else as it was,
// the maker note at its place. Null when the source has no EXIF.
std::unique_ptr<TExifInfo> SavedExifInfo(const SaveExif& exif, int width, int height);
// The IFD1 thumbnail of a saved picture (a JPEG fitted into 160 x 120).
QByteArray SavedThumbnail(const WorkImage& saved);

// The saved picture's JPEG file with the source's EXIF. When the EXIF step fails the picture is
// still returned, without EXIF, and exifProblem (when given) receives the reason in Japanese.
QByteArray SavedJpegBytes(const WorkImage& processed, bool invert, int saveQuality, const SaveExif& exif,
                          QString* exifProblem = nullptr);
// The eXIf chunk of a PNG of `saved`, or nothing when the source has no EXIF or it fails (the
// reason then in exifProblem).
std::optional<png::Chunk> SavedExifChunk(const WorkImage& saved, const SaveExif& exif, QString* exifProblem = nullptr);

// Encodes the saved picture and writes it to path, replacing a file of that name atomically
// (one temporary file renamed into place). Throws jpeg::JpegError with the path and the system's
// reason when the file cannot be written.
void WriteSavedPicture(const WorkImage& processed, bool invert, int saveQuality, const QString& path,
                       const SaveExif& exif = {}, QString* exifProblem = nullptr);

}  // namespace nocturo
