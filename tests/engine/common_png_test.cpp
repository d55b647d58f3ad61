// The PNG writer: every pixel comes back through Qt's own PNG reader, extra chunks sit before the
// pixel data, and an unwritable target leaves nothing behind.
#include "common/png_codec.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace nocturo;

namespace {

QImage decodeWithQt(const std::vector<std::uint8_t>& bytes) {
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    return image;
}

void expectSamePixels(const WorkImage& image, const QImage& decoded) {
    ASSERT_EQ(decoded.width(), image.width());
    ASSERT_EQ(decoded.height(), image.height());
    int wrong = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((decoded.pixel(x, y) & 0xFFFFFF) != ((colorRed(image.pixel(x, y)) << 16) |
                                                      (colorGreen(image.pixel(x, y)) << 8) | colorBlue(image.pixel(x, y))))
                ++wrong;
    EXPECT_EQ(wrong, 0);
}

// Noise over the full byte range with a few flat rows, so that every filtered difference wraps
// around somewhere.
WorkImage noisyImage(int w, int h, unsigned seed) {
    WorkImage image(w, h);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = image.row(y);
        for (int i = 0; i < 3 * w; ++i) row[i] = (y % 7 == 3) ? 200 : static_cast<std::uint8_t>(rng());
    }
    return image;
}

}  // namespace

TEST(PngWriter, EveryPixelComesBackThroughAnIndependentReader) {
    // Widths whose rows are padded in memory (1, 5, 7), a single row, and a larger picture.
    const struct {
        int w, h;
    } sizes[] = {{1, 1}, {5, 3}, {7, 1}, {1, 9}, {640, 480}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
        const WorkImage image = noisyImage(s.w, s.h, static_cast<unsigned>(s.w * 31 + s.h));
        expectSamePixels(image, decodeWithQt(png::encode(image)));
    }
}

// Images of at most four colours (the mark image) are written with a palette; a fifth colour
// anywhere, even in the last pixel, keeps the RGB form. Widths that leave a part-filled last byte
// of indices, and the four colours in every position of a byte.
TEST(PngWriter, FewColoursComeBackExactlyWithOrWithoutAPalette) {
    const ColorValue colours[] = {kBlack, makeColor(255, 0, 0), makeColor(0, 0, 255), makeColor(0, 255, 0),
                                  makeColor(1, 2, 3)};
    const struct {
        int w, h, colourCount;
        bool palette;
    } cases[] = {{1, 1, 1, true}, {3, 2, 2, true}, {6, 5, 4, true}, {37, 11, 4, true}, {37, 11, 5, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << ", " << c.colourCount << " colours");
        WorkImage image(c.w, c.h);
        std::mt19937 rng(static_cast<unsigned>(c.w * 7 + c.colourCount));
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                image.setPixel(x, y, colours[(y % 3 == 1 && x < c.w / 2) ? 0 : rng() % (c.colourCount > 4 ? 4 : c.colourCount)]);
        // Long runs of one colour, as in a mark image.
        for (int x = 0; x < c.w; ++x) image.setPixel(x, c.h - 1, colours[c.colourCount - 1 > 3 ? 3 : c.colourCount - 1]);
        if (c.colourCount == 5) image.setPixel(c.w - 1, c.h - 1, colours[4]);
        const std::vector<std::uint8_t> bytes = png::encode(image);
        ASSERT_GT(bytes.size(), 26u);
        EXPECT_EQ(bytes[24], c.palette ? 2 : 8) << "bit depth";
        EXPECT_EQ(bytes[25], c.palette ? 3 : 2) << "colour type";
        expectSamePixels(image, decodeWithQt(bytes));
    }
}

TEST(PngWriter, ChannelOrderIsRedGreenBlueInTheFile) {
    WorkImage image(2, 1);
    image.setPixel(0, 0, makeColor(255, 0, 0));
    image.setPixel(1, 0, makeColor(0, 0, 255));
    const QImage decoded = decodeWithQt(png::encode(image));
    EXPECT_EQ(decoded.pixel(0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(decoded.pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(PngWriter, ExtraChunksComeAfterTheHeaderAndBeforeThePixels) {
    const WorkImage image = noisyImage(16, 4, 3);
    png::Chunk text{{'t', 'E', 'X', 't'}, {}};
    const char payload[] = "Comment\0night sky";
    text.data.assign(payload, payload + sizeof payload - 1);
    const std::vector<std::uint8_t> bytes = png::encode(image, {text});
    auto find = [&](const char* type) {
        for (std::size_t i = 8; i + 4 <= bytes.size(); ++i)
            if (std::memcmp(bytes.data() + i, type, 4) == 0) return static_cast<long>(i);
        return -1L;
    };
    ASSERT_GT(find("tEXt"), find("IHDR"));
    ASSERT_LT(find("tEXt"), find("IDAT"));
    // The reader checks the chunk's CRC and hands its text back.
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "png");
    EXPECT_EQ(reader.text(QStringLiteral("Comment")), QStringLiteral("night sky"));
    expectSamePixels(image, reader.read());
}

TEST(PngWriter, FileIsWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const WorkImage image = noisyImage(33, 17, 5);
    const QString good = dir.filePath(QStringLiteral("out.png"));
    png::encodeFile(image, good);
    QImage back(good);
    expectSamePixels(image, back);
    const QString bad = dir.filePath(QStringLiteral("missing/out.png"));
    EXPECT_THROW(png::encodeFile(image, bad), png::PngError);
    EXPECT_FALSE(QFile::exists(bad));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("out.png")});
}
