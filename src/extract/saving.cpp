#include "extract/saving.h"

#include "common/jpeg_codec.h"
#include "exif/exif_info.h"
#include "exif/exif_tags.h"
#include "exif/thumbnail_codec.h"

#include <QSaveFile>

#include <algorithm>
#include <exception>

namespace nocturo {

namespace {

constexpr std::uint16_t kTagImageWidth = 256, kTagImageLength = 257;

// Sets a dimension, keeping the entry's SHORT type while the value fits it.
void setDimension(TEntryItems& items, std::uint16_t tag, TExifIFD ifd, int value, bool create) {
    const int index = items.IndexOfTag(tag, ifd);
    if (index < 0 && !create) return;
    TEntryItem* item = index >= 0 ? items.Items(index) : items.AddTag(tag);
    item->setIFDNumber(ifd);
    const auto v = static_cast<std::uint32_t>(std::max(value, 0));
    if (item->Format() == efShort && v <= 0xFFFF) {
        item->Clear();
        item->AddData(static_cast<std::uint16_t>(v));
    } else {
        item->Clear();
        item->SetLong(0, v);
    }
}

QString exifFailureText(const QString& reason) {
    return QStringLiteral("撮影データ (EXIF) を書き込めなかったため、EXIFなしで保存しました: %1").arg(reason);
}

QString currentReason() {
    try {
        throw;
    } catch (const EExifError& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("不明なエラーです");
    }
}

}  // namespace

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

QString SavedSoftwareName() { return QStringLiteral("Nocturo " NOCTURO_VERSION); }

std::unique_ptr<TExifInfo> SavedExifInfo(const SaveExif& exif, int width, int height) {
    if (!exif.source || exif.source->Entrys().Count() == 0) return nullptr;
    auto info = std::make_unique<TExifInfo>();
    info->AssignEntries(*exif.source);
    TEntryItems& items = info->Entrys();
    if (!exif.keepGps)
        for (int i = items.Count() - 1; i >= 0; --i) {
            const TEntryItem* e = items.Items(i);
            if (e->IFDNumber() == eiGPS || (e->IFDNumber() == eiTIFF && e->Tag() == kTagGpsPointer)) items.Delete(i);
        }
    // The Exif IFD states the size of the picture it describes; one without the tags gets them.
    const bool hasExifIfd = items.IFDEntryCount(eiExif) > 0;
    setDimension(items, kTagPixelXDimension, eiExif, width, hasExifIfd);
    setDimension(items, kTagPixelYDimension, eiExif, height, hasExifIfd);
    setDimension(items, kTagImageWidth, eiTIFF, width, false);
    setDimension(items, kTagImageLength, eiTIFF, height, false);
    info->setSoftware(SavedSoftwareName());
    info->setDateTimeText(exif.savedAt.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss")));
    return info;
}

QByteArray SavedThumbnail(const WorkImage& saved) { return encodeThumbnailJpeg(FitThumbnail(saved)); }

QByteArray SavedJpegBytes(const WorkImage& processed, bool invert, int saveQuality, const SaveExif& exif,
                          QString* exifProblem) {
    const int quality = SaveJpegQuality(saveQuality);
    const WorkImage inverted = invert ? SavedPicture(processed, true) : WorkImage();
    const WorkImage& saved = invert ? inverted : processed;
    const QByteArray bare = jpeg::encode(saved, quality);
    try {
        std::unique_ptr<TExifInfo> info = SavedExifInfo(exif, saved.width(), saved.height());
        if (!info) return bare;
        return info->InsertExif(bare, SavedThumbnail(saved));
    } catch (...) {
        if (exifProblem) *exifProblem = exifFailureText(currentReason());
        return bare;
    }
}

std::optional<png::Chunk> SavedExifChunk(const WorkImage& saved, const SaveExif& exif, QString* exifProblem) {
    try {
        std::unique_ptr<TExifInfo> info = SavedExifInfo(exif, saved.width(), saved.height());
        if (!info) return std::nullopt;
        const QByteArray tiff = info->MakeTiffBlock(SavedThumbnail(saved));
        png::Chunk chunk{{'e', 'X', 'I', 'f'}, {}};
        chunk.data.assign(reinterpret_cast<const std::uint8_t*>(tiff.constData()),
                          reinterpret_cast<const std::uint8_t*>(tiff.constData()) + tiff.size());
        return chunk;
    } catch (...) {
        if (exifProblem) *exifProblem = exifFailureText(currentReason());
        return std::nullopt;
    }
}

void WriteSavedPicture(const WorkImage& processed, bool invert, int saveQuality, const QString& path,
                       const SaveExif& exif, QString* exifProblem) {
    const QByteArray bytes = SavedJpegBytes(processed, invert, saveQuality, exif, exifProblem);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw jpeg::JpegError(QStringLiteral("ファイルを書き込めません: %1 (%2)").arg(path, file.errorString()).toStdString());
}

}  // namespace nocturo
