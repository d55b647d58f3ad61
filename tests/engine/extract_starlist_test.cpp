// The star list: one row per counted star, measured on the source picture, in brightness order;
// as many rows as the count gives, whichever way the count runs.
#include "common/jpeg_codec.h"
#include "extract/extraction.h"
#include "extract/processing.h"
#include "extract/star_list.h"

#include "engine/extract_fixture.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <string>
#include <vector>

using namespace nocturo;
using nocturo::testing_support::paintSky;
using nocturo::testing_support::Picture;
using nocturo::testing_support::sameImage;

namespace {

struct Row {
    double x, y;
    std::int64_t pixels, sum;
    int peak, left, top, right, bottom;
};

std::vector<Row> rowsOf(const std::vector<StarRecord>& stars) {
    std::vector<Row> rows;
    for (const StarRecord& s : stars)
        rows.push_back({s.x(), s.y(), s.pixels, s.sum, s.peak, s.left, s.top, s.right, s.bottom});
    return rows;
}

void expectRows(const std::vector<Row>& got, const std::vector<Row>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_DOUBLE_EQ(got[i].x, want[i].x);
        EXPECT_DOUBLE_EQ(got[i].y, want[i].y);
        EXPECT_EQ(got[i].pixels, want[i].pixels);
        EXPECT_EQ(got[i].sum, want[i].sum);
        EXPECT_EQ(got[i].peak, want[i].peak);
        EXPECT_EQ(got[i].left, want[i].left);
        EXPECT_EQ(got[i].top, want[i].top);
        EXPECT_EQ(got[i].right, want[i].right);
        EXPECT_EQ(got[i].bottom, want[i].bottom);
    }
}

ExtractionParams plain() {
    ExtractionParams p;
    p.BrightnessPercent = 0;
    return p;
}

// A dark sky (10, 10, 10) with stars whose pixels, sums and peaks are known. Two pairs have equal
// sums and are met by the count's scan in the opposite order from the one the list wants.
Picture knownSky() {
    Picture pic(200, 60, makeColor(10, 10, 10));
    for (int y = 10; y <= 11; ++y)  // A: 2 x 2, sum 4 x 450
        for (int x = 20; x <= 21; ++x) pic.set(x, y, makeColor(200, 150, 100));
    pic.set(50, 30, makeColor(250, 240, 230));  // B: a plus, centre 720 + 4 arms of 390
    for (auto [x, y] : {std::pair{49, 30}, {51, 30}, {50, 29}, {50, 31}}) pic.set(x, y, makeColor(120, 130, 140));
    // P: 1 x 3 from row 20 (seed first in the scan, mean row 21), Q: one pixel in row 20; both 600.
    for (int y = 20; y <= 22; ++y) pic.set(70, y, makeColor(70, 70, 60));
    pic.set(150, 20, makeColor(200, 200, 200));
    // R: 1 x 4 at column 100 from row 43, S: 1 x 2 at column 60 from row 44; both 300 with mean
    // row 44.5, so the column decides although R's seed comes first.
    for (int y = 43; y <= 46; ++y) pic.set(100, y, makeColor(25, 25, 25));
    for (int y = 44; y <= 45; ++y) pic.set(60, y, makeColor(50, 50, 50));
    return pic;
}

const std::vector<Row> kKnownRows = {
    {50, 30, 5, 720 + 4 * 390, 250, 49, 29, 51, 31},       // B
    {20.5, 10.5, 4, 4 * 450, 200, 20, 10, 21, 11},         // A
    {150, 20, 1, 600, 200, 150, 20, 150, 20},              // Q before P: lower mean row
    {70, 21, 3, 600, 70, 70, 20, 70, 22},                  // P
    {60, 44.5, 2, 300, 50, 60, 44, 60, 45},                // S before R: smaller mean column
    {100, 44.5, 4, 300, 25, 100, 43, 100, 46},             // R
};

}  // namespace

TEST(StarList, KnownStarsGiveTheirPixelsSumsPeaksAndOrder) {
    // The full draw counts through the pixels it marked, a range draw through the scan of the
    // whole mark image: both must give the same list.
    for (bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "full draw" : "range draw");
        Picture pic = knownSky();
        StarCollector stars(pic.source);
        const ProcRect rect = whole ? fullPictureRect(pic.source, 0) : rangeRect(0, 0, 198, 59);
        const int count = ProcessRectangle(pic.images(), rect, plain(), {}, nullptr, &stars);
        EXPECT_EQ(count, 6);
        EXPECT_EQ(stars.stars().size(), 6u);
        expectRows(rowsOf(stars.sortedStars()), kKnownRows);
    }
}

TEST(StarList, CountOverMarksListsSeedsRowZeroPixelsAndEarlierStars) {
    // Marks: '.' black, 'R' red, 'G' a seed left by an earlier count, 'B' its blue pixels.
    const std::vector<std::string> marks = {
        "RR....R.",  // (0..1, 0) reaches row 1 through (1, 1); (6, 0) lies in row 0 only
        ".R..G...",  //
        "....B.RR",  // the earlier star counts as its seed alone
    };
    WorkImage m(8, 3), source(8, 4);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 8; ++x) {
            const char c = marks[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            m.setPixel(x, y, c == 'R' ? makeColor(255, 0, 0) : c == 'G' ? makeColor(0, 255, 0)
                                                         : c == 'B' ? makeColor(0, 0, 255) : kBlack);
        }
    // Source channels R = 10 x, G = 10 y, B = 1: a pixel's sum is 10 (x + y) + 1.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x) source.setPixel(x, y, makeColor(10 * x, 10 * y, 1));
    StarCollector stars(source);
    EXPECT_EQ(CountStars(m, 8, 3, &stars), 3);
    ASSERT_EQ(stars.stars().size(), 3u);
    expectRows(rowsOf(stars.sortedStars()),
               {
                   {6.5, 2, 2, 81 + 91, 70, 6, 2, 7, 2},     // (6, 2), (7, 2)
                   {4, 1, 1, 51, 40, 4, 1, 4, 1},            // the earlier seed (4, 1)
                   {2.0 / 3, 1.0 / 3, 3, 1 + 11 + 21, 10, 0, 0, 1, 1},  // (0, 0), (1, 0), (1, 1)
               });
}

TEST(StarList, RowsEqualTheCountAndTheListChangesNothing) {
    struct Case {
        const char* name;
        WorkImage source;
    };
    std::vector<Case> cases;
    cases.push_back({"built-in sample", jpeg::decodeFile(QStringLiteral(NOCTURO_RESOURCES "/sample.jpg"))});
    {
        Picture dense(640, 400, kBlack);
        paintSky(dense, 7, 60);  // far more stars than a real sky: many touch and merge
        cases.push_back({"dense sky", dense.source.clone()});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int W = c.source.width(), H = c.source.height();
        ExtractionParams params;  // standard settings, enlargement on
        WorkImage procA = c.source.clone(), marksA(W, H), procB = c.source.clone(), marksB(W, H);
        marksA.fill(kBlack);
        marksB.fill(kBlack);
        const int plainCount = ProcessRectangle({c.source, procA, marksA, W, H}, fullPictureRect(c.source, 0), params);
        StarCollector stars(c.source);
        const int listed =
            ProcessRectangle({c.source, procB, marksB, W, H}, fullPictureRect(c.source, 0), params, {}, nullptr, &stars);
        EXPECT_GT(plainCount, 100);
        EXPECT_EQ(listed, plainCount);
        EXPECT_EQ(static_cast<int>(stars.stars().size()), plainCount);
        EXPECT_TRUE(sameImage(procA, procB));
        EXPECT_TRUE(sameImage(marksA, marksB));
        // Every labelled pixel (blue or green) belongs to exactly one listed star.
        std::int64_t labelled = 0, listedPixels = 0;
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const ColorValue v = marksB.pixel(x, y);
                labelled += (v == makeColor(0, 0, 255) || v == makeColor(0, 255, 0)) ? 1 : 0;
            }
        for (const StarRecord& s : stars.stars()) listedPixels += s.pixels;
        EXPECT_EQ(listedPixels, labelled);
        // The recount over the scan of the whole image lists the same stars.
        WorkImage marksC(W, H);
        marksC.fill(kBlack);
        WorkImage procC = c.source.clone();
        StarCollector again(c.source);
        EXPECT_EQ(ProcessRectangle({c.source, procC, marksC, W, H}, rangeRect(0, 0, W - 1, H - 1), params, {}, nullptr,
                                   &again),
                  plainCount);
        ASSERT_EQ(again.stars().size(), stars.stars().size());
        const std::vector<StarRecord> a = stars.sortedStars(), b = again.sortedStars();
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].sum, b[i].sum) << i;
            ASSERT_EQ(a[i].pixels, b[i].pixels) << i;
            ASSERT_EQ(a[i].left, b[i].left) << i;
            ASSERT_EQ(a[i].top, b[i].top) << i;
        }
        // Brightest first.
        for (std::size_t i = 1; i < a.size(); ++i) ASSERT_GE(a[i - 1].sum, a[i].sum) << i;
    }
}

TEST(StarList, CsvAndJsonCarryTheFieldsWithFourDecimals) {
    Picture pic = knownSky();
    StarCollector stars(pic.source);
    ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), plain(), {}, nullptr, &stars);
    const std::vector<StarRecord> sorted = stars.sortedStars();

    const QList<QByteArray> lines = starListCsv(sorted).split('\n');
    ASSERT_EQ(lines.size(), 8);  // header, six rows, the empty text after the last line end
    EXPECT_EQ(lines[0], "x,y,pixels,sum,peak,left,top,right,bottom");
    EXPECT_EQ(lines[1], "50.0000,30.0000,5,2280,250,49,29,51,31");
    EXPECT_EQ(lines[2], "20.5000,10.5000,4,1800,200,20,10,21,11");
    EXPECT_EQ(lines[7], "");

    const QJsonArray array = QJsonDocument::fromJson(starListJson(sorted)).array();
    ASSERT_EQ(array.size(), 6);
    const QJsonObject first = array[0].toObject();
    EXPECT_EQ(first.keys(), (QStringList{"bottom", "left", "peak", "pixels", "right", "sum", "top", "x", "y"}));
    EXPECT_EQ(array[3].toObject()[QStringLiteral("y")].toDouble(), 21.0);
    EXPECT_EQ(array[1].toObject()[QStringLiteral("x")].toDouble(), 20.5);
    EXPECT_EQ(array[5].toObject()[QStringLiteral("top")].toInt(), 43);

    // A mean with more decimals is rounded to four in both forms.
    WorkImage m(4, 4), src(4, 4);
    m.fill(kBlack);
    src.fill(makeColor(1, 2, 3));
    for (auto [x, y] : {std::pair{0, 1}, {1, 1}, {1, 2}}) m.setPixel(x, y, makeColor(255, 0, 0));
    StarCollector third(src);
    CountStars(m, 4, 4, &third);
    EXPECT_TRUE(starListCsv(third.sortedStars()).contains("\n0.6667,1.3333,3,18,3,0,1,1,2\n"));
    EXPECT_EQ(QJsonDocument::fromJson(starListJson(third.sortedStars())).array()[0].toObject()["x"].toDouble(), 0.6667);
}

TEST(StarList, WriterRefusesUnknownExtensionsAndKeepsTheOldFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_THROW(writeStarList(dir.filePath("list.txt"), {}), std::runtime_error);
    EXPECT_FALSE(QFile::exists(dir.filePath("list.txt")));
    EXPECT_THROW(writeStarList(dir.filePath("missing/list.csv"), {}), std::runtime_error);
    writeStarList(dir.filePath("LIST.JSON"), {});
    QFile f(dir.filePath("LIST.JSON"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QJsonDocument::fromJson(f.readAll()).isArray());
}
