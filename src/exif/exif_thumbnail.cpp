// The thumbnail of a picture: IFD1's JPEG when there is one, else the picture itself fitted
// into 160 x 120.

#include "exif/exif_info.h"
#include "exif/exif_tags.h"
#include "exif/thumbnail_codec.h"

#include "common/jpeg_codec.h"
#include "common/work_image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace nocturo {

namespace {

constexpr int kThumbWidth = 160;
constexpr int kThumbHeight = 120;
constexpr int kDefaultJpegQuality = 75;  // libjpeg's own default

std::unique_ptr<FileStream> openRead(const QString& path) {
    try {
        return std::make_unique<FileStream>(path);
    } catch (const StreamError&) {
        throw EExifError(QStringLiteral("ファイルを開けません: ") + path);
    }
}

}  // namespace

QImage FitThumbnail(const WorkImage& picture) {
    const int w = picture.width(), h = picture.height();
    double s = std::min(static_cast<double>(kThumbWidth) / w, static_cast<double>(kThumbHeight) / h);
    if (s > 1.0) s = 1.0;
    // A very long, thin picture keeps at least one pixel across.
    const int tw = std::max(1, static_cast<int>(std::trunc(w * s)));
    const int th = std::max(1, static_cast<int>(std::trunc(h * s)));
    const QImage view = picture.wrap();
    QImage result = view.scaled(tw, th, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // scaled() hands back a shallow copy when the size is unchanged: detach from the picture.
    return result.constBits() == view.constBits() ? view.copy() : result;
}

namespace {

QImage toImage(const WorkImage& picture) { return picture.wrap().copy(); }
QImage fitted(const WorkImage& picture) { return FitThumbnail(picture); }

}  // namespace

QByteArray encodeThumbnailJpeg(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    WorkImage work(bgr.width(), bgr.height());
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(work.row(y), bgr.constScanLine(y), static_cast<std::size_t>(bgr.width()) * 3);
    return jpeg::encode(work, kDefaultJpegQuality);
}

QImage TExifInfo::MakeThumbnail(ByteStream& Source) {
    const QByteArray bytes = Source.readAll();
    const WorkImage picture =
        jpeg::decodeMemory(reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    return fitted(picture);
}

QByteArray TExifInfo::ReadThumbnailSource(ByteStream* Stream, std::int64_t Offset, std::int64_t Length) {
    std::unique_ptr<FileStream> file;
    if (!Stream) {
        file = openRead(FImageFileName);
        Stream = file.get();
    }
    if (Offset < 0 || Offset >= Stream->size()) throw EExifError(ExifErrorText(kExifInvalidStream));
    Stream->setPosition(Offset);
    const std::int64_t available = Stream->remaining();
    // The stated length when it fits, else everything to the end (the decoder stops at EOI).
    const std::int64_t n = Length > 0 && Length <= available ? Length : available;
    if (n > std::numeric_limits<int>::max() / 2) throw EExifError(ExifErrorText(kExifInvalidStream));
    QByteArray bytes(static_cast<qsizetype>(n), Qt::Uninitialized);
    Stream->readBuffer(bytes.data(), n);
    return bytes;
}

bool TExifInfo::ThumbnailLocation(std::int64_t& Offset, std::int64_t& Length) {
    if (!ThmTagExists(kTagCompression, eiTIFF) || ThmCompression() != 6) return false;
    const std::uint32_t offset = ThmJPEGInterchangeFormat();
    if (offset == 0) return false;
    Offset = FOffsetCardinalPoint + offset;
    Length = ThmTagExists(kTagJpegLength, eiTIFF) ? static_cast<std::int64_t>(ThmJPEGInterchangeFormatLength()) : 0;
    return true;
}

QImage TExifInfo::BuildThumbnail(ByteStream* Stream) {
    if (Stream) return MakeThumbnail(*Stream);
    return fitted(jpeg::decodeFile(FImageFileName));
}

void TExifInfo::GetThumbnail(QByteArray& Thumb, ByteStream* Stream) {
    std::int64_t offset = 0, length = 0;
    if (ThumbnailLocation(offset, length))
        Thumb = ReadThumbnailSource(Stream, offset, length);
    else
        Thumb = encodeThumbnailJpeg(BuildThumbnail(Stream));
}

void TExifInfo::GetThumbnail(QImage& Thumb, ByteStream* Stream) {
    std::int64_t offset = 0, length = 0;
    if (ThumbnailLocation(offset, length)) {
        const QByteArray bytes = ReadThumbnailSource(Stream, offset, length);
        Thumb = toImage(jpeg::decodeMemory(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size())));
    } else {
        Thumb = BuildThumbnail(Stream);
    }
}

}  // namespace nocturo
