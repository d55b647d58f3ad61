#include "exif/shot_data.h"

#include "common/jpeg_codec.h"
#include "exif/exif_tags.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

namespace nocturo {

namespace {

// from_chars does not look at the process locale, which Qt sets from the environment: a German
// locale must not turn "2.5" into an error.
long double parseNumber(const QString& text) {
    const std::string s = text.trimmed().toStdString();
    const char* first = s.data();
    const char* last = s.data() + s.size();
    if (first != last && *first == '+') ++first;
    long double value = 0;
    const auto [end, ec] = std::from_chars(first, last, value);
    if (first == last || ec != std::errc() || end != last || !std::isfinite(value)) {
        throw std::invalid_argument("'" + s + "' is not a number");
    }
    return value;
}

void fillTags(TExifInfo& exif, ShotData& d) {
    if (exif.TagExists(kTagDateTimeOriginal, eiExif)) {
        const QString raw = exif.DateTimeOriginalText();
        // 2014:08:15 21:30:45 -> 2014/08/15 21:30:45; the text is not validated.
        const QString date = raw.mid(0, 4) + u'/' + raw.mid(5, 2) + u'/' + raw.mid(8, 100);
        d.ShotDateLine = QStringLiteral("日時:") + date;
        d.ShotDateText = date;
        d.HasShotDate = 1;
    }
    if (exif.TagExists(kTagExposureTime, eiExif)) {
        const QString t = exif.ExposureTime()->Text();
        d.ShotShutterLine = QStringLiteral("ｼｬｯﾀｰ：　") + t;
        d.ShotShutterShort = QStringLiteral("ｼｬｯﾀｰ:") + t;
    }
    if (exif.TagExists(kTagFNumber, eiExif)) {
        const QString s = OneDecimalText(exif.FNumber()->Text());
        d.ShotFNumberLine = QStringLiteral("F値 :　") + s;
        d.ShotFNumberShort = QStringLiteral("F:") + s;
    }
    if (exif.TagExists(kTagIsoSpeedRatings, eiExif)) {
        QString iso;
        const int count = exif.ISOSpeedRatingCount();
        for (int i = 0; i < count; ++i) {
            iso += QString::number(exif.ISOSpeedRatings(i));
            iso += u' ';
        }
        d.ShotIsoLine = QStringLiteral("ISO: ") + iso;
        d.ShotIsoShort = QStringLiteral("ISO:") + iso;
    }
    if (exif.TagExists(kTagFocalLength, eiExif)) {
        const QString s = OneDecimalText(exif.FocalLength()->Text());
        d.ShotLensLine = QStringLiteral("Lens: ") + s + QStringLiteral("mm");
        d.ShotLensShort = QStringLiteral("L:") + s + QStringLiteral("mm");
    }
    if (exif.TagExists(kTagModel, eiTIFF)) {
        const QString m = exif.Model();
        d.ShotModelLine = QStringLiteral("機種：") + m;
        d.ShotModel = m;
    }
    if (exif.TagExists(kTagPixelXDimension, eiExif)) d.ShotPixelWidth = QString::number(exif.PixelXDimension());
    if (exif.TagExists(kTagPixelYDimension, eiExif)) d.ShotPixelHeight = QString::number(exif.PixelYDimension());
}

}  // namespace

QString OneDecimalText(const QString& rationalText) {
    const qsizetype p = rationalText.indexOf(u'/');
    if (p < 0) throw std::invalid_argument("'" + rationalText.toStdString() + "' is not a rational text");
    const long double numerator = parseNumber(rationalText.left(p));
    const long double denominator = parseNumber(rationalText.mid(p + 1, 10));
    if (denominator == 0) throw EZeroDivide();

    const long double v = numerator / denominator * 10.0L;
    const long double rounded = std::nearbyintl(v);  // default rounding mode: ties to even
    // Kept in 64 bits: a 32-bit result would wrap for RATIONAL values above 2^31 / 10.
    constexpr long double kLimit = 9.2e18L;
    if (!(rounded > -kLimit && rounded < kLimit)) throw std::invalid_argument("value out of range");
    const QString z = QString::number(static_cast<long long>(rounded));
    return z.left(z.size() - 1) + u'.' + z.right(1);
}

ShotData ReadShotData(TExifInfo& ExifInfo1, const QString& PicturePath) {
    ShotData d;
    ExifInfo1.setImageFileName(PicturePath);
    // The guard takes the failures a picture's values can cause: a zero denominator, a rational
    // text that is not a number, an error the component was asked to raise. Whatever was filled
    // before stays; the rest keeps its reset value.
    try {
        fillTags(ExifInfo1, d);
    } catch (const EZeroDivide&) {
    } catch (const std::invalid_argument&) {
    } catch (const EExifError&) {
    }
    if (d.ShotPixelWidth == u"0") {
        const jpeg::HeaderInfo header = jpeg::readHeader(PicturePath);
        d.ShotPixelWidth = QString::number(header.width);
        d.ShotPixelHeight = QString::number(header.height);
    }
    return d;
}

QJsonObject ShotDataToJson(const ShotData& data) {
    QJsonObject o;
    o.insert(QStringLiteral("HasShotDate"), data.HasShotDate);
    o.insert(QStringLiteral("ShotDateText"), data.ShotDateText);
    o.insert(QStringLiteral("ShotDateLine"), data.ShotDateLine);
    o.insert(QStringLiteral("ShotShutterLine"), data.ShotShutterLine);
    o.insert(QStringLiteral("ShotShutterShort"), data.ShotShutterShort);
    o.insert(QStringLiteral("ShotFNumberLine"), data.ShotFNumberLine);
    o.insert(QStringLiteral("ShotFNumberShort"), data.ShotFNumberShort);
    o.insert(QStringLiteral("ShotIsoLine"), data.ShotIsoLine);
    o.insert(QStringLiteral("ShotIsoShort"), data.ShotIsoShort);
    o.insert(QStringLiteral("ShotLensLine"), data.ShotLensLine);
    o.insert(QStringLiteral("ShotLensShort"), data.ShotLensShort);
    o.insert(QStringLiteral("ShotModelLine"), data.ShotModelLine);
    o.insert(QStringLiteral("ShotModel"), data.ShotModel);
    o.insert(QStringLiteral("ShotPixelWidth"), data.ShotPixelWidth);
    o.insert(QStringLiteral("ShotPixelHeight"), data.ShotPixelHeight);
    return o;
}

}  // namespace nocturo
