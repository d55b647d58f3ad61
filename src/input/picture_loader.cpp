#include "input/picture_loader.h"

#include "common/jpeg_codec.h"
#include "input/bicubic_scaler.h"

#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include <exception>
#include <thread>

namespace nocturo {

namespace {

// The strip text: the interface's default face at 8 points, which is 11 pixels at 96 dpi.
QFont stripFont() {
    QFont f;
    f.setPixelSize(11);
    return f;
}

void removeScratch(const QString& path) {
    if (!path.isEmpty() && QFile::exists(path)) QFile::remove(path);
}

}  // namespace

void scaledSize(int w0, int h0, int longSide, int& newW, int& newH) {
    // The quotient first, then the product, in extended precision; truncated toward zero.
    if (h0 < w0) {
        newW = longSide;
        newH = static_cast<int>(static_cast<long double>(h0) / static_cast<long double>(w0) * longSide);
    } else {
        newH = longSide;
        newW = static_cast<int>(static_cast<long double>(w0) / static_cast<long double>(h0) * longSide);
    }
}

void setStripFromShotData(LoadOptions& options, bool wanted, const ShotData& shot) {
    options.strip = wanted && shot.HasShotDate != 0;
    options.stripTexts = StripTexts{shot.ShotDateText, shot.ShotFNumberShort, shot.ShotShutterShort,
                                    shot.ShotIsoShort,  shot.ShotLensShort,    shot.ShotModel};
}

QString composeStripLine(const StripTexts& t, int imageWidth) {
    const QString gap = QStringLiteral("    ");
    QString line = t.date + gap + t.fnumber + gap + t.shutter + gap + t.iso + gap + t.lens;
    // A count of characters against a width in pixels, as the program has always compared them.
    if (line.size() + 2 < imageWidth - 20) line += gap + t.model;
    return line;
}

void drawStripLine(WorkImage& image, int pictureHeight, const QString& line) {
    QImage canvas = image.wrap();
    QPainter painter(&canvas);
    const QFont font = stripFont();
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Qt::white);
    const QFontMetrics metrics(font);
    const int x = image.width() - metrics.horizontalAdvance(line) - 10;
    const int y = pictureHeight + 1;
    painter.drawText(QPoint(x, y + metrics.ascent()), line);
}

LoadedPicture loadPictureFile(const LoadOptions& options, const QString& scratchJpeg) {
    LoadedPicture result;
    result.strip = options.strip;
    const int stripRows = options.strip ? kShotDataStripRows : 0;

    if (!options.resize) {
        // Decode straight into the source image (with room for the strip), one copy for the
        // processed image, one clear of the marks: no other full-size pass. While this thread
        // decodes, the other core takes the first touch of the processed image and the marks,
        // which on a fresh process costs about as much as the decode itself.
        const jpeg::HeaderInfo header = jpeg::readHeader(options.path);
        jpeg::checkDimensions(header.width, header.height);
        WorkImage processed, marks;
        std::function<void()> alsoTouch;
        if (options.whileDecoding) alsoTouch = options.whileDecoding(header.width, header.height);
        std::exception_ptr prefaultError;
        std::thread prefault;
        {
            prefault = std::thread([&] {
                try {
                    processed = WorkImage(header.width, header.height + stripRows);
                    touchPages(processed.bits(), processed.byteSize());
                    marks = WorkImage(header.width, header.height);
                    marks.fill(kBlack);
                    if (alsoTouch) alsoTouch();
                } catch (...) {
                    prefaultError = std::current_exception();
                }
            });
        }
        struct Joiner {
            std::thread& t;
            ~Joiner() {
                if (t.joinable()) t.join();
            }
        } joiner{prefault};
        result.source = jpeg::decodeFile(options.path, stripRows);
        if (prefault.joinable()) prefault.join();
        if (prefaultError) std::rethrow_exception(prefaultError);
        result.fileWidth = result.workWidth = result.source.width();
        result.fileHeight = result.workHeight = result.source.height() - stripRows;
        if (options.strip) {
            result.stripLine = composeStripLine(options.stripTexts, result.workWidth);
            drawStripLine(result.source, result.workHeight, result.stripLine);
        }
        if (processed.width() == result.source.width() && processed.height() == result.source.height() &&
            marks.width() == result.workWidth && marks.height() == result.workHeight) {
            processed.copyBlockFrom(result.source, 0, 0, result.source.width(), result.source.height());
            result.processed = std::move(processed);
            result.marks = std::move(marks);
            return result;
        }
    } else {
        const int longSide = std::max(options.longSide, 100);
        result.longSide = longSide;
        WorkImage original = jpeg::decodeFile(options.path);
        result.fileWidth = original.width();
        result.fileHeight = original.height();
        int newW = 0, newH = 0;
        scaledSize(result.fileWidth, result.fileHeight, longSide, newW, newH);
        if (newW <= 0 || newH <= 0)
            throw jpeg::JpegError(QStringLiteral("縮小後の大きさが 0 になります: %1 x %2 (scaled size is zero)")
                                      .arg(newW)
                                      .arg(newH)
                                      .toStdString());
        WorkImage scaled(newW, newH + stripRows);
        scaled.fill(kWhite);
        // One pixel to the left and one row taller: the last scaled row lands on the first strip
        // row (or outside the image when there is no strip).
        drawScaledBicubic(original, scaled, -1, 0, newW + 1, newH + 1);
        original = WorkImage();
        if (options.strip) {
            result.stripLine = composeStripLine(options.stripTexts, newW);
            drawStripLine(scaled, newH, result.stripLine);
        }
        jpeg::encodeFile(scaled, scratchJpeg, 100);
        scaled = WorkImage();
        try {
            result.source = jpeg::decodeFile(scratchJpeg);
        } catch (...) {
            removeScratch(scratchJpeg);
            throw;
        }
        removeScratch(scratchJpeg);
        result.workWidth = newW;
        result.workHeight = newH;
    }
    result.processed = result.source.clone();
    result.marks = WorkImage(result.workWidth, result.workHeight);
    result.marks.fill(kBlack);
    return result;
}

}  // namespace nocturo
