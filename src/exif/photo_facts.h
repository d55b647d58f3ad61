// The shooting facts as numbers (date, exposure, aperture, ISO, focal length, camera, position),
// for batch summaries and the star-chart program's arguments. Read straight from the entries
// that ReadShotData left in a TExifInfo; a fact that is missing or malformed is simply absent.
#pragma once

#include "exif/exif_info.h"

#include <QString>

#include <optional>

namespace nocturo {

struct GeoPosition {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
};

struct PhotoFacts {
    QString dateIso;  // DateTimeOriginal as "YYYY-MM-DDThh:mm:ss"; empty when absent or invalid
    std::optional<double> exposureSeconds;
    std::optional<double> fNumber;
    std::optional<int> iso;
    std::optional<double> focalLengthMm;
    QString camera;  // Model without its padding
    std::optional<GeoPosition> position;
};

// Never throws for what a file holds; reads nothing but the entries already in ExifInfo1.
PhotoFacts ReadPhotoFacts(const TExifInfo& ExifInfo1);

// Decimal degrees for an argument or a table cell: six decimals, "-" for south and west.
QString degreesText(double degrees);

// A number as its shortest exact decimal form ("0.004", "2.8", "90").
QString decimalText(double value);

}  // namespace nocturo
