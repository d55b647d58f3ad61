// The shooting-data texts of a picture (list lines, strip short forms, date text, model, pixel
// size), built from its EXIF data through TExifInfo.
#pragma once

#include "exif/exif_info.h"

#include <QJsonObject>
#include <QString>

namespace nocturo {

struct ShotData {
    int HasShotDate = 0;  // 1 when DateTimeOriginal is recorded
    QString ShotDateLine;
    QString ShotDateText;
    QString ShotShutterLine;
    QString ShotShutterShort;
    QString ShotFNumberLine;
    QString ShotFNumberShort;
    QString ShotIsoLine;
    QString ShotIsoShort;
    QString ShotLensLine;
    QString ShotLensShort;
    QString ShotModelLine;
    QString ShotModel;
    QString ShotPixelWidth = QStringLiteral("0");
    QString ShotPixelHeight = QStringLiteral("0");
};

// Reads PicturePath into ExifInfo1 (its collections hold the picture's entries afterwards) and
// builds the texts. A failure while the tags are read (a zero denominator, a value that is not a
// number, an EExifError the OnError handler asked for) ends that part silently with the texts
// filled so far; memory exhaustion and program faults pass on to the caller; the pixel size then comes from the JPEG
// decoder when EXIF did not give the width.
// Throws EExifError when the file cannot be opened or ends before its JPEG frame header, and
// jpeg::JpegError when the size has to come from the decoder and the decoder cannot read the file
// (a missing file, or one that is not a JPEG).
ShotData ReadShotData(TExifInfo& ExifInfo1, const QString& PicturePath);

// A rational text "n/d" as one-decimal text: n / d x 10 in extended precision, rounded to the
// nearest integer (ties to even), with a point put before its last digit ("28/10" -> "2.8",
// "0/1" -> ".0", "5/4" -> "1.2"). Numbers are read with "." as the decimal point, whatever the
// user's locale. Throws EZeroDivide for a zero denominator and std::invalid_argument for a text
// that is not of that form.
QString OneDecimalText(const QString& rationalText);

// The texts under their own names, for the command-line dump; HasShotDate is the number 0 or 1.
QJsonObject ShotDataToJson(const ShotData& data);

}  // namespace nocturo
