// The saved JPEG: the quality that reaches the encoder, the inversion, replacing a file, and a
// target that cannot be written.
#include "common/jpeg_codec.h"
#include "extract/saving.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

using namespace nocturo;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The first quantisation table (luminance) of a JPEG file, in the zigzag order of the file.
std::optional<std::array<int, 64>> firstQuantTable(const QByteArray& bytes) {
    const auto* d = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const std::size_t n = static_cast<std::size_t>(bytes.size());
    std::size_t i = 2;
    while (i + 4 <= n && d[i] == 0xFF) {
        const int marker = d[i + 1];
        const std::size_t len = (static_cast<std::size_t>(d[i + 2]) << 8) | d[i + 3];
        if (marker == 0xDB && i + 5 + 64 <= n && (d[i + 4] >> 4) == 0) {
            std::array<int, 64> q{};
            for (int k = 0; k < 64; ++k) q[static_cast<std::size_t>(k)] = d[i + 5 + static_cast<std::size_t>(k)];
            return q;
        }
        if (marker == 0xDA) break;
        i += 2 + len;
    }
    return std::nullopt;
}

// The standard luminance table scaled as the IJG encoder scales it for a quality, baseline
// limited to 255, listed in zigzag order.
std::array<int, 64> expectedLuminanceTable(int quality) {
    static const int base[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                 14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                 18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
    static const int zigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};
    const long scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    std::array<int, 64> out{};
    for (int k = 0; k < 64; ++k) {
        long v = (base[zigzag[k]] * scale + 50) / 100;
        if (v < 1) v = 1;
        if (v > 255) v = 255;
        out[static_cast<std::size_t>(k)] = static_cast<int>(v);
    }
    return out;
}

WorkImage patterned(int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, makeColor((x * 29 + 7) & 255, (y * 71 + 3) & 255, (x * y * 13) & 255));
    return img;
}

}  // namespace

TEST(SavedJpegQuality, LowByteOfTheSettingClampedToTheCodecRange) {
    struct Case {
        int setting;
        int quality;
    };
    const Case cases[] = {{80, 80}, {300, 44}, {0, 1}, {150, 100}, {100, 100}, {1, 1},
                          {256, 1}, {555, 43}, {-1, 100}, {-156, 100}, {612, 100}};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const WorkImage img = patterned(24, 16);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        EXPECT_EQ(SaveJpegQuality(c.setting), c.quality);
        const QString path = dir.filePath(QStringLiteral("q%1.jpg").arg(c.setting));
        WriteSavedPicture(img, false, c.setting, path);
        const auto table = firstQuantTable(readAll(path));
        ASSERT_TRUE(table.has_value());
        EXPECT_EQ(*table, expectedLuminanceTable(c.quality));
    }
}

TEST(SavedJpegContent, InvertedOnlyWhenAsked) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const WorkImage img = patterned(13, 7);
    WorkImage inverted(13, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const ColorValue c = img.pixel(x, y);
            inverted.setPixel(x, y, makeColor(255 - colorRed(c), 255 - colorGreen(c), 255 - colorBlue(c)));
        }
    const QString plainPath = dir.filePath("plain.jpg"), invertedPath = dir.filePath("inv.jpg");
    WriteSavedPicture(img, false, 90, plainPath);
    WriteSavedPicture(img, true, 90, invertedPath);
    EXPECT_EQ(readAll(plainPath), jpeg::encode(img, 90));
    EXPECT_EQ(readAll(invertedPath), jpeg::encode(inverted, 90));
    // The source is left as it was.
    EXPECT_EQ(img.pixel(3, 2), makeColor((3 * 29 + 7) & 255, (2 * 71 + 3) & 255, (3 * 2 * 13) & 255));

    // A flat colour survives the codec closely enough to see the inversion in the decoded file.
    WorkImage flat(16, 16);
    flat.fill(makeColor(10, 200, 60));
    WriteSavedPicture(flat, true, 100, invertedPath);
    const WorkImage back = jpeg::decodeFile(invertedPath);
    ASSERT_EQ(back.width(), 16);
    ASSERT_EQ(back.height(), 16);
    const ColorValue c = back.pixel(8, 8);
    EXPECT_NEAR(colorRed(c), 245, 3);
    EXPECT_NEAR(colorGreen(c), 55, 3);
    EXPECT_NEAR(colorBlue(c), 195, 3);
}

TEST(SavedJpegFile, ReplacesAnExistingFileAndLeavesNothingElse) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("picture.png");
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    const WorkImage img = patterned(40, 30);
    WriteSavedPicture(img, false, 75, path);
    EXPECT_EQ(readAll(path), jpeg::encode(img, 75));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"picture.png"});
}

TEST(SavedJpegFile, UnwritableTargetThrowsWithThePathAndLeavesNoFile) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("missing/sub/picture.jpg");
    try {
        WriteSavedPicture(patterned(8, 8), false, 80, path);
        FAIL() << "no error for an unwritable target";
    } catch (const jpeg::JpegError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path)) << e.what();
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}
