// The list of counted stars: each seed that the count labels, with the pixels its fill reached,
// measured on the source picture. The count fills it only when given a collector.
#pragma once

#include "common/work_image.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace nocturo {

struct StarRecord {
    std::int64_t columnSum = 0;  // sum of the x of its pixels
    std::int64_t rowSum = 0;     // sum of the y of its pixels
    std::int64_t pixels = 0;
    std::int64_t sum = 0;  // red + green + blue of the source picture over its pixels
    int peak = 0;          // the highest channel value of the source over its pixels
    int left = 0, top = 0, right = 0, bottom = 0;  // bounding box, inclusive

    double x() const { return static_cast<double>(columnSum) / static_cast<double>(pixels); }
    double y() const { return static_cast<double>(rowSum) / static_cast<double>(pixels); }
};

// Receives the stars while the count labels them, in scan order of their seeds.
class StarCollector {
public:
    // source: the picture the marks were found in; it must cover the mark image.
    explicit StarCollector(const WorkImage& source) : source_(source) {}

    void beginStar(int seedX, int seedY);
    // Pixels left..right of row y, all reached by the current star's fill.
    void addRun(int y, int left, int right);
    // A seed whose fill reached nothing (a mark of another colour, or a seed left by an earlier
    // count) is a star of its one pixel.
    void endStar();

    const WorkImage& source() const { return source_; }
    const std::vector<StarRecord>& stars() const { return stars_; }
    void clear() { stars_.clear(); }

    // Brightest first; equal sums by the mean row, then the mean column (compared exactly), then
    // in the order the count met them.
    std::vector<StarRecord> sortedStars() const;

private:
    const WorkImage& source_;
    std::vector<StarRecord> stars_;
    StarRecord current_;
    int seedX_ = 0, seedY_ = 0;
};

// The list as text: CSV with a header line and "." as the decimal mark, or a JSON array of
// objects; the same fields (x, y, pixels, sum, peak, left, top, right, bottom) either way, x and
// y with four decimals.
QByteArray starListCsv(const std::vector<StarRecord>& stars);
QByteArray starListJson(const std::vector<StarRecord>& stars);

// Whether a path names a list the writer knows (.csv or .json, any letter case).
bool isStarListPath(const QString& path);

// Writes the list as the path's extension says, replacing the file atomically. Throws
// std::runtime_error naming the path and the reason when it cannot.
void writeStarList(const QString& path, const std::vector<StarRecord>& stars);

}  // namespace nocturo
