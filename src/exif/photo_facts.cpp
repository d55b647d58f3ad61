#include "exif/photo_facts.h"

#include <QDate>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <cmath>
#include <variant>

namespace nocturo {

namespace {

constexpr std::uint16_t kTagModel = 272;
constexpr std::uint16_t kTagExposureTime = 33434;
constexpr std::uint16_t kTagFNumber = 33437;
constexpr std::uint16_t kTagIso = 34855;
constexpr std::uint16_t kTagDateTimeOriginal = 36867;
constexpr std::uint16_t kTagFocalLength = 37386;
constexpr std::uint16_t kTagGpsLatitudeRef = 1;
constexpr std::uint16_t kTagGpsLatitude = 2;
constexpr std::uint16_t kTagGpsLongitudeRef = 3;
constexpr std::uint16_t kTagGpsLongitude = 4;

const TEntryItem* entry(const TExifInfo& exif, std::uint16_t tag, TExifIFD ifd) {
    const int i = exif.Entrys().IndexOfTag(tag, ifd);
    return i < 0 ? nullptr : exif.Entrys().Items(i);
}

// Value number index of an entry of any numeric type; a zero denominator or a missing value
// gives nothing.
std::optional<double> number(const TExifInfo& exif, std::uint16_t tag, TExifIFD ifd, int index = 0) {
    const TEntryItem* item = entry(exif, tag, ifd);
    if (!item || index >= item->DataCount()) return std::nullopt;
    const TExifData& block = item->Data(index);
    std::optional<double> v;
    std::visit(
        [&v](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, TExifURational> || std::is_same_v<T, TExifSRational>) {
                if (x.Denominator != 0) v = static_cast<double>(x.Numerator) / static_cast<double>(x.Denominator);
            } else if constexpr (std::is_arithmetic_v<T>) {
                v = static_cast<double>(x);
            }
        },
        block);
    if (v && !std::isfinite(*v)) return std::nullopt;
    return v;
}

QString text(const TExifInfo& exif, std::uint16_t tag, TExifIFD ifd) {
    const TEntryItem* item = entry(exif, tag, ifd);
    return item ? item->GetStringData().trimmed() : QString();
}

QString isoDate(const QString& exifDate) {
    static const QRegularExpression form(QStringLiteral("^(\\d{4}):(\\d{2}):(\\d{2}) (\\d{2}):(\\d{2}):(\\d{2})$"));
    const QRegularExpressionMatch m = form.match(exifDate);
    if (!m.hasMatch()) return {};
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) return {};
    return date.toString(QStringLiteral("yyyy-MM-dd")) + u'T' + time.toString(QStringLiteral("HH:mm:ss"));
}

// Degrees, minutes and seconds with their reference letter; nothing when any part is missing.
std::optional<double> coordinate(const TExifInfo& exif, std::uint16_t refTag, std::uint16_t valueTag,
                                 QChar positive, QChar negative, double limit) {
    const QString ref = text(exif, refTag, eiGPS).toUpper();
    if (ref != QString(positive) && ref != QString(negative)) return std::nullopt;
    const std::optional<double> d = number(exif, valueTag, eiGPS, 0), m = number(exif, valueTag, eiGPS, 1),
                                s = number(exif, valueTag, eiGPS, 2);
    if (!d || !m || !s) return std::nullopt;
    const double deg = *d + *m / 60.0 + *s / 3600.0;
    if (deg < 0 || deg > limit) return std::nullopt;
    return ref == QString(negative) ? -deg : deg;
}

}  // namespace

PhotoFacts ReadPhotoFacts(const TExifInfo& exif) {
    PhotoFacts f;
    f.dateIso = isoDate(text(exif, kTagDateTimeOriginal, eiExif));
    f.exposureSeconds = number(exif, kTagExposureTime, eiExif);
    f.fNumber = number(exif, kTagFNumber, eiExif);
    if (const std::optional<double> iso = number(exif, kTagIso, eiExif)) f.iso = static_cast<int>(*iso);
    f.focalLengthMm = number(exif, kTagFocalLength, eiExif);
    f.camera = text(exif, kTagModel, eiTIFF);
    const std::optional<double> lat = coordinate(exif, kTagGpsLatitudeRef, kTagGpsLatitude, u'N', u'S', 90.0);
    const std::optional<double> lon = coordinate(exif, kTagGpsLongitudeRef, kTagGpsLongitude, u'E', u'W', 180.0);
    if (lat && lon) f.position = GeoPosition{*lat, *lon};
    return f;
}

QString degreesText(double degrees) {
    QString t = QString::number(degrees, 'f', 6);
    if (t.startsWith(u'-') && t.mid(1).toDouble() == 0.0) t.remove(0, 1);  // no "-0.000000"
    return t;
}

QString decimalText(double value) { return QString::number(value, 'f', QLocale::FloatingPointShortest); }

}  // namespace nocturo
