// The star count over the mark image (4-connected regions, the labelling scan from row 1) and
// the processing operations that keep or remove counted stars: range draws, restores, revert.
#include "extract/extraction.h"
#include "extract/processing.h"

#include "engine/extract_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace nocturo;
using nocturo::testing_support::Picture;
using nocturo::testing_support::sameImage;

namespace {

// '.' black, 'R' red, 'B' blue, 'G' green.
WorkImage marksFrom(const std::vector<std::string>& rows) {
    WorkImage m(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < m.height(); ++y)
        for (int x = 0; x < m.width(); ++x) {
            const char c = rows[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            m.setPixel(x, y,
                       c == 'R'   ? makeColor(255, 0, 0)
                       : c == 'B' ? makeColor(0, 0, 255)
                       : c == 'G' ? makeColor(0, 255, 0)
                                  : kBlack);
        }
    return m;
}

std::vector<std::string> rowsOf(const WorkImage& m) {
    std::vector<std::string> rows;
    for (int y = 0; y < m.height(); ++y) {
        std::string s;
        for (int x = 0; x < m.width(); ++x) {
            const ColorValue c = m.pixel(x, y);
            s += c == makeColor(255, 0, 0)   ? 'R'
                 : c == makeColor(0, 0, 255) ? 'B'
                 : c == makeColor(0, 255, 0) ? 'G'
                 : c == kBlack               ? '.'
                                             : '?';
        }
        rows.push_back(s);
    }
    return rows;
}

ExtractionParams plain() {
    ExtractionParams p;
    p.BrightnessPercent = 0;  // no overflow, no enlargement: only the marks matter here
    return p;
}

}  // namespace

TEST(CountStars, RegionsAreFourConnectedAndLabelledFromRowOne) {
    struct Case {
        const char* name;
        std::vector<std::string> before, after;
        int count;
    } cases[] = {
        {"corner contact is two stars", {"....", ".R..", "..R."}, {"....", ".G..", "..G."}, 2},
        {"an L is one star, seeded at its top-left", {"....", ".RR.", ".R.."}, {"....", ".GB.", ".B.."}, 1},
        {"a region in row 0 alone is never counted", {"RR..", "....", "...."}, {"RR..", "....", "...."}, 0},
        {"a region reaching row 1 is labelled from there", {".RR.", "..R.", "...."}, {".BB.", "..G.", "...."}, 1},
        {"arms joined below are met once", {"....", "R.R.", "RRR."}, {"....", "G.B.", "BBB."}, 1},
        {"earlier stars keep counting", {"G...", ".B..", "..RR"}, {"G...", ".B..", "..GB"}, 2},
        {"empty", {"....", "...."}, {"....", "...."}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorkImage m = marksFrom(c.before);
        EXPECT_EQ(CountStars(m, m.width(), m.height()), c.count);
        EXPECT_EQ(rowsOf(m), c.after);
    }
}

TEST(CountStars, LongRowsUseTheFastSkipCorrectly) {
    // Marks at every offset inside and after the blocks of eight pixels that the scan skips.
    for (int x = 0; x < 21; ++x) {
        WorkImage m(21, 3);
        m.fill(kBlack);
        m.setPixel(x, 1, makeColor(255, 0, 0));
        m.setPixel(20 - x, 2, makeColor(0, 255, 0));
        EXPECT_EQ(CountStars(m, 21, 3), 2) << x;
        EXPECT_EQ(m.pixel(x, 1), makeColor(0, 255, 0));
    }
}

// A vertical star in column 15, rows 2..4, counted by a full draw (seed at row 2), then cut by
// range draws and restores.
TEST(ProcessingCommands, RangeDrawsAndRestoresCountStarsAcrossTheirBorder) {
    auto picture = [] {
        Picture pic(40, 8, makeColor(20, 20, 20));
        for (int y = 2; y <= 4; ++y) pic.set(15, y, makeColor(200, 180, 160));
        pic.set(30, 6, makeColor(200, 180, 160));  // a second star, away from the ranges
        return pic;
    };
    {
        SCOPED_TRACE("full draw");
        Picture pic = picture();
        EXPECT_EQ(ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), plain()), 2);
    }
    {
        SCOPED_TRACE("seed outside the range: outer part and new part count apart");
        Picture pic = picture();
        ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), plain());
        EXPECT_EQ(ProcessRectangle(pic.images(), rangeRect(10, 3, 20, 6), plain()), 3);
    }
    {
        SCOPED_TRACE("seed inside the range: the outer part no longer counts");
        Picture pic = picture();
        ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), plain());
        EXPECT_EQ(ProcessRectangle(pic.images(), rangeRect(10, 0, 20, 3), plain()), 2);
        EXPECT_EQ(pic.marks.pixel(15, 4), makeColor(0, 0, 255));
    }
    for (bool specified : {true, false}) {
        SCOPED_TRACE(specified ? "restore to the specified colour" : "restore to the original");
        Picture pic = picture();
        ExtractionParams p = plain();
        p.SpecifiedColourMode = specified;
        p.ExtractionColor = makeColor(0, 0, 90);
        ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), p);
        const ProcRect range = rangeRect(12, 1, 18, 3);  // holds the seed (15, 2)
        clearMarks(pic.marks, range);
        EXPECT_EQ(RestoreRectangle(pic.images(), range, specified, makeColor(7, 8, 9)), 1);
        for (int y = 1; y <= 3; ++y)
            for (int x = 12; x <= 18; ++x)
                ASSERT_EQ(pic.processed.pixel(x, y), specified ? makeColor(7, 8, 9) : pic.source.pixel(x, y))
                    << x << "," << y;
        // Outside the range the draw's result stays.
        EXPECT_EQ(pic.processed.pixel(11, 1), specified ? makeColor(0, 0, 90) : pic.source.pixel(11, 1));
    }
}

TEST(ProcessingCommands, BackgroundOnlyDrawContributesNoStars) {
    Picture pic(40, 8, makeColor(20, 20, 20));
    pic.set(15, 3, makeColor(200, 180, 160));
    ExtractionParams p = plain();
    EXPECT_EQ(ProcessRectangle(pic.images(), fullPictureRect(pic.source, 0), p), 1);
    p.BackgroundOnlyMode = 1;
    // The range clears the marks under it and adds none.
    EXPECT_EQ(ProcessRectangle(pic.images(), rangeRect(10, 1, 20, 5), p), 0);
    EXPECT_EQ(pic.processed.pixel(15, 3), makeColor(200, 180, 160));
}

TEST(ProcessingCommands, RevertGivesTheOriginalBackAndKeepsTheMarks) {
    Picture pic(40, 6, makeColor(20, 20, 20), kShotDataStripRows);
    pic.set(15, 3, makeColor(200, 180, 160));
    ExtractionParams p = plain();
    p.SpecifiedColourMode = true;
    EXPECT_EQ(ProcessRectangle(pic.images(), fullPictureRect(pic.source, 1), p), 1);
    const WorkImage marksBefore = pic.marks.clone();
    ASSERT_FALSE(sameImage(pic.processed, pic.source));
    RevertPicture(pic.source, pic.processed);
    EXPECT_TRUE(sameImage(pic.processed, pic.source));
    EXPECT_TRUE(sameImage(pic.marks, marksBefore));
}
