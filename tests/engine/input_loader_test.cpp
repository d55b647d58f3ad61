// Loading a file into the working images: scaled sizes, the strip, the quality-100 round trip.
#include "common/jpeg_codec.h"
#include "input/picture_loader.h"
#include "support/gui_app_env.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace nocturo;

namespace {

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new nocturo::testing::GuiAppEnvironment);

QString writeTestJpeg(const QTemporaryDir& dir, const QString& name, int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, makeColor((x * 7) & 255, (y * 5) & 255, ((x + y) * 3) & 255));
    const QString path = dir.filePath(name);
    jpeg::encodeFile(img, path, 95);
    return path;
}

bool imagesEqual(const WorkImage& a, const WorkImage& b) {
    if (a.width() != b.width() || a.height() != b.height()) return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.row(y), b.row(y), static_cast<std::size_t>(a.width()) * 3) != 0) return false;
    return true;
}

bool allColour(const WorkImage& img, int top, int bottom, ColorValue c) {
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != c) return false;
    return true;
}

}  // namespace

TEST(ScaledSize, LongSideFollowsTheOrientation) {
    struct Case { int w0, h0, longSide, w, h; };
    const Case cases[] = {
        {4000, 3000, 1280, 1280, 960},  // landscape
        {3000, 4000, 1280, 960, 1280},  // portrait
        {3000, 3000, 1280, 1280, 1280}, // square takes the portrait branch
        {6000, 4000, 1280, 1280, 853},  // 853.33 truncated
        {800, 600, 1600, 1600, 1200},   // enlarged the same way
        {1286, 820, 640, 640, 408},     // 408.09
        {3, 1000, 100, 0, 100},         // a sliver: the width truncates to 0
    };
    for (const Case& c : cases) {
        int w = -1, h = -1;
        scaledSize(c.w0, c.h0, c.longSide, w, h);
        EXPECT_EQ(w, c.w) << c.w0 << "x" << c.h0 << " L" << c.longSide;
        EXPECT_EQ(h, c.h) << c.w0 << "x" << c.h0 << " L" << c.longSide;
    }
}

TEST(StripLine, ModelIsAppendedOnlyWhenTheCharacterCountAllows) {
    // The line without the model has 18 characters and 16 blanks of separators.
    const StripTexts t{"2024/08/10", "F:2.8", "S", "I", "L", "Cam"};
    const QString base = t.date + "    " + t.fnumber + "    " + t.shutter + "    " + t.iso + "    " + t.lens;
    ASSERT_EQ(base.size(), 34);
    EXPECT_EQ(composeStripLine(t, 57), base + "    Cam");  // 36 < 37
    EXPECT_EQ(composeStripLine(t, 56), base);              // 36 < 36 is false
    EXPECT_EQ(composeStripLine(t, 1286), base + "    Cam");
    // Empty pieces keep their separators.
    EXPECT_EQ(composeStripLine(StripTexts{"", "", "", "", "", "M"}, 10), QString(16, ' '));
}

class LoaderTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString scratch() const { return dir.filePath("tmp1.jpg"); }
};

TEST_F(LoaderTest, DirectLoadWithStripAddsFifteenWhiteRowsWithTheLine) {
    const QString path = writeTestJpeg(dir, "a.jpg", 400, 120);
    LoadOptions opt;
    opt.path = path;
    opt.strip = true;
    opt.stripTexts = StripTexts{"2024/08/10 22:48:30", "F:2.8", "", "", "", "Model"};
    LoadedPicture p = loadPictureFile(opt, scratch());
    EXPECT_EQ(p.stripLine, "2024/08/10 22:48:30    F:2.8                Model");
    EXPECT_EQ(p.workWidth, 400);
    EXPECT_EQ(p.workHeight, 120);
    EXPECT_EQ(p.fileWidth, 400);
    EXPECT_EQ(p.fileHeight, 120);
    EXPECT_EQ(p.source.height(), 135);
    EXPECT_EQ(p.marks.width(), 400);
    EXPECT_EQ(p.marks.height(), 120);
    EXPECT_TRUE(imagesEqual(p.source, p.processed));
    EXPECT_TRUE(allColour(p.marks, 0, 120, kBlack));
    // The picture rows are the decoded file; the strip has black text right-aligned.
    const WorkImage decoded = jpeg::decodeFile(path);
    for (int y = 0; y < 120; ++y) ASSERT_EQ(std::memcmp(decoded.row(y), p.source.row(y), 1200), 0) << y;
    EXPECT_TRUE(allColour(p.source, 120, 121, kWhite));  // the row above the text box
    int dark = 0, rightmost = -1;
    for (int y = 121; y < 135; ++y)
        for (int x = 0; x < 400; ++x)
            if (colorRed(p.source.pixel(x, y)) < 128) {
                ++dark;
                rightmost = std::max(rightmost, x);
            }
    EXPECT_GT(dark, 20);
    // Right-aligned: the text ends 10 pixels before the right edge (a glyph's side bearing apart).
    EXPECT_LT(rightmost, 390);
    EXPECT_GT(rightmost, 380);
}

TEST_F(LoaderTest, DirectLoadWithoutStripHasTheFileSize) {
    LoadOptions opt;
    opt.path = writeTestJpeg(dir, "b.jpg", 33, 17);
    LoadedPicture p = loadPictureFile(opt, scratch());
    EXPECT_EQ(p.source.width(), 33);
    EXPECT_EQ(p.source.height(), 17);
    EXPECT_TRUE(imagesEqual(p.source, p.processed));
}

TEST_F(LoaderTest, ScalingLoadRoundTripsThroughTheScratchFileAndRemovesIt) {
    LoadOptions opt;
    opt.path = writeTestJpeg(dir, "c.jpg", 640, 480);
    opt.resize = true;
    opt.longSide = 320;
    opt.strip = true;
    opt.stripTexts.date = "x";
    LoadedPicture p = loadPictureFile(opt, scratch());
    EXPECT_EQ(p.workWidth, 320);
    EXPECT_EQ(p.workHeight, 240);
    EXPECT_EQ(p.fileWidth, 640);
    EXPECT_EQ(p.fileHeight, 480);
    EXPECT_EQ(p.source.height(), 255);
    EXPECT_EQ(p.marks.height(), 240);
    EXPECT_FALSE(QFile::exists(scratch()));
    EXPECT_TRUE(imagesEqual(p.source, p.processed));
    // The picture is drawn one pixel to the left and one row taller: the last strip-less row
    // of the picture is on the first strip row, and the strip below it is white.
    int nonWhite = 0;
    for (int x = 0; x < 320; ++x) nonWhite += p.source.pixel(x, 240) != kWhite;
    EXPECT_GT(nonWhite, 200);
}

TEST_F(LoaderTest, LongSideBelowHundredIsRaised) {
    LoadOptions opt;
    opt.path = writeTestJpeg(dir, "d.jpg", 200, 100);
    opt.resize = true;
    opt.longSide = 50;
    LoadedPicture p = loadPictureFile(opt, scratch());
    EXPECT_EQ(p.longSide, 100);
    EXPECT_EQ(p.workWidth, 100);
    EXPECT_EQ(p.workHeight, 50);
    EXPECT_EQ(p.source.height(), 50);
}

TEST_F(LoaderTest, FailuresThrowBeforeAnythingIsReturned) {
    QFile f(dir.filePath("text.jpg"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is not a picture");
    f.close();
    LoadOptions opt;
    opt.path = f.fileName();
    EXPECT_THROW(loadPictureFile(opt, scratch()), jpeg::JpegError);
    opt.resize = true;
    EXPECT_THROW(loadPictureFile(opt, scratch()), jpeg::JpegError);
    opt.path = dir.filePath("missing.jpg");
    EXPECT_THROW(loadPictureFile(opt, scratch()), jpeg::JpegError);
    // A scaled size of zero (a one-pixel sliver) is refused, not allocated.
    opt.path = writeTestJpeg(dir, "sliver.jpg", 1, 400);
    opt.longSide = 100;
    EXPECT_THROW(loadPictureFile(opt, scratch()), jpeg::JpegError);
}

TEST_F(LoaderTest, BuiltInSampleLoadsAtItsOwnSizeWithTheStrip) {
    LoadOptions opt;
    opt.path = QStringLiteral(NOCTURO_RESOURCES "/sample.jpg");
    opt.strip = true;
    opt.stripTexts.date = "2024/08/10 22:48:30";
    LoadedPicture p = loadPictureFile(opt, scratch());
    EXPECT_EQ(p.workWidth, 1286);
    EXPECT_EQ(p.workHeight, 820);
    EXPECT_EQ(p.source.height(), 835);
}
