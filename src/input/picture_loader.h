// Turns a JPEG file into the working images: at its own size or scaled to a long side, with or
// without the 15-row shooting-data strip under it. No windows involved: the main window and the
// CLI both load through here.
#pragma once

#include "common/strip.h"
#include "common/work_image.h"
#include "exif/shot_data.h"

#include <QString>

#include <functional>

namespace nocturo {

// The short shooting-data texts that make up the strip line.
struct StripTexts {
    QString date;     // ShotDateText
    QString fnumber;  // ShotFNumberShort
    QString shutter;  // ShotShutterShort
    QString iso;      // ShotIsoShort
    QString lens;     // ShotLensShort
    QString model;    // ShotModel
};

struct LoadOptions {
    QString path;
    bool resize = false;      // scale so that the long side is longSide
    int longSide = 1280;      // raised to 100 when below 100
    bool strip = false;       // draw the shooting-data strip (the caller clears it without a date)
    StripTexts stripTexts;    // composed into the line with the width of the image drawn on
    // Called on the loading thread with the file's size once its header is read (loads that do
    // not scale); the task it returns runs on the other core while the picture decodes, beside
    // the first touch of the working images. The caller's draw memory goes there.
    std::function<std::function<void()>(int width, int height)> whileDecoding;
};

// Asks for the strip when `wanted` and the picture has a recorded shooting date (a picture
// without one never gets the strip), with the short texts of its shooting data.
void setStripFromShotData(LoadOptions& options, bool wanted, const ShotData& shot);

struct LoadedPicture {
    WorkImage source;     // SourceImage: WorkWidth x (WorkHeight [+ 15 with strip])
    WorkImage processed;  // ProcessedImage: an exact copy of source
    WorkImage marks;      // MarkImage: WorkWidth x WorkHeight, black
    int workWidth = 0;
    int workHeight = 0;
    int fileWidth = 0;    // W0 x H0: the file's own size, as the decoder reports it
    int fileHeight = 0;
    bool strip = false;   // the strip was drawn
    int longSide = 0;     // the long side used by a scaling load (after raising to 100)
    QString stripLine;    // the line drawn in the strip, when there is one
};

// Loads everything into new images; on any failure it throws (jpeg::JpegError for codec and
// file problems, std::bad_alloc for memory) and nothing of the caller's state has changed.
// scratchJpeg is the file used for the quality-100 round trip of a scaling load (deleted after).
LoadedPicture loadPictureFile(const LoadOptions& options, const QString& scratchJpeg);

// The strip line appended under the picture: the model is added only when the character count
// of the line plus 2 is less than the image width minus 20.
QString composeStripLine(const StripTexts& texts, int imageWidth);

// Draws the strip line on the white strip of `image` (rows pictureHeight.. of it).
void drawStripLine(WorkImage& image, int pictureHeight, const QString& line);

// Scaled size of a W0 x H0 picture whose long side becomes L (extended precision, truncated).
void scaledSize(int w0, int h0, int longSide, int& newW, int& newH);

}  // namespace nocturo
