#include "extract/star_list.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace nocturo {

void StarCollector::beginStar(int seedX, int seedY) {
    current_ = StarRecord{};
    current_.left = current_.right = seedX;
    current_.top = current_.bottom = seedY;
    seedX_ = seedX;
    seedY_ = seedY;
}

void StarCollector::addRun(int y, int left, int right) {
    const std::uint8_t* p = source_.row(y) + 3 * static_cast<std::ptrdiff_t>(left);
    std::int64_t sum = 0;
    int peak = current_.peak;
    for (int x = left; x <= right; ++x, p += 3) {
        sum += p[0] + p[1] + p[2];
        peak = std::max({peak, static_cast<int>(p[0]), static_cast<int>(p[1]), static_cast<int>(p[2])});
    }
    const std::int64_t n = right - left + 1;
    current_.sum += sum;
    current_.peak = peak;
    current_.pixels += n;
    current_.rowSum += n * y;
    // left + ... + right
    current_.columnSum += (static_cast<std::int64_t>(left) + right) * n / 2;
    current_.left = std::min(current_.left, left);
    current_.right = std::max(current_.right, right);
    current_.top = std::min(current_.top, y);
    current_.bottom = std::max(current_.bottom, y);
}

void StarCollector::endStar() {
    if (current_.pixels == 0) addRun(seedY_, seedX_, seedX_);
    stars_.push_back(current_);
}

std::vector<StarRecord> StarCollector::sortedStars() const {
    std::vector<StarRecord> sorted = stars_;
    // a / n < b / m  <=>  a m < b n for positive counts; the products fit in 128 bits.
    auto less = [](std::int64_t a, std::int64_t n, std::int64_t b, std::int64_t m) {
        return static_cast<__int128>(a) * m < static_cast<__int128>(b) * n;
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const StarRecord& a, const StarRecord& b) {
        if (a.sum != b.sum) return a.sum > b.sum;
        if (less(a.rowSum, a.pixels, b.rowSum, b.pixels)) return true;
        if (less(b.rowSum, b.pixels, a.rowSum, a.pixels)) return false;
        return less(a.columnSum, a.pixels, b.columnSum, b.pixels);
    });
    return sorted;
}

namespace {

QString fourDecimals(double v) { return QString::number(v, 'f', 4); }

}  // namespace

QByteArray starListCsv(const std::vector<StarRecord>& stars) {
    QByteArray out = "x,y,pixels,sum,peak,left,top,right,bottom\n";
    for (const StarRecord& s : stars) {
        out += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9\n")
                   .arg(fourDecimals(s.x()), fourDecimals(s.y()))
                   .arg(s.pixels)
                   .arg(s.sum)
                   .arg(s.peak)
                   .arg(s.left)
                   .arg(s.top)
                   .arg(s.right)
                   .arg(s.bottom)
                   .toLatin1();
    }
    return out;
}

QByteArray starListJson(const std::vector<StarRecord>& stars) {
    QJsonArray array;
    // Rounded to four decimals, so that the shortest form of the number shows at most four.
    auto rounded = [](double v) { return std::round(v * 10000.0) / 10000.0; };
    for (const StarRecord& s : stars) {
        QJsonObject o;
        o.insert(QStringLiteral("x"), rounded(s.x()));
        o.insert(QStringLiteral("y"), rounded(s.y()));
        o.insert(QStringLiteral("pixels"), static_cast<qint64>(s.pixels));
        o.insert(QStringLiteral("sum"), static_cast<qint64>(s.sum));
        o.insert(QStringLiteral("peak"), s.peak);
        o.insert(QStringLiteral("left"), s.left);
        o.insert(QStringLiteral("top"), s.top);
        o.insert(QStringLiteral("right"), s.right);
        o.insert(QStringLiteral("bottom"), s.bottom);
        array.append(o);
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

bool isStarListPath(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("csv") || suffix == QLatin1String("json");
}

void writeStarList(const QString& path, const std::vector<StarRecord>& stars) {
    auto fail = [&](const QString& reason) {
        throw std::runtime_error(QStringLiteral("cannot write the star list %1: %2").arg(path, reason).toStdString());
    };
    if (!isStarListPath(path)) fail(QStringLiteral("the name must end in .csv or .json"));
    const bool json = QFileInfo(path).suffix().toLower() == QLatin1String("json");
    const QByteArray bytes = json ? starListJson(stars) : starListCsv(stars);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(reason);
    }
    if (!file.commit()) fail(file.errorString());
}

}  // namespace nocturo
