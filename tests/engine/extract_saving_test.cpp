// The saved JPEG: the quality that reaches the encoder, the inversion, replacing a file, a
// target that cannot be written, and the source's EXIF that the saved picture carries.
#include "common/jpeg_codec.h"
#include "exif/exif_info.h"
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

// ---- The shooting data of the source ----

namespace {

std::unique_ptr<TExifInfo> readExif(const QString& path) {
    auto info = std::make_unique<TExifInfo>();
    info->setImageFileName(path);
    return info;
}

}  // namespace

TEST(SavedExif, TheSourceBlockMadeOverForTheSavedPicture) {
    struct Case {
        const char* fixture;
        bool keepGps;
    };
    const Case cases[] = {{"Canon_40D.jpg", true}, {"Canon_40D.jpg", false}, {"xmp_no_exif.jpg", true},
                          {"Fujifilm_FinePix6900ZOOM.jpg", true}};
    QTemporaryDir dir;
    WorkImage img(90, 50);
    img.fill(makeColor(10, 200, 60));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.keepGps ? "" : " without GPS"));
        const QString sourcePath = QStringLiteral(NOCTURO_FIXTURES "/exif/") + c.fixture;
        const auto source = readExif(sourcePath);
        SaveExif exif;
        exif.source = source.get();
        exif.keepGps = c.keepGps;
        exif.savedAt = QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6));
        const QString path = dir.filePath("saved.jpg");
        QString problem;
        WriteSavedPicture(img, true, 85, path, exif, &problem);
        EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        const auto saved = readExif(path);
        EXPECT_EQ(saved->Make(), source->Make());
        EXPECT_EQ(saved->DateTimeOriginalText(), source->DateTimeOriginalText());
        EXPECT_EQ(saved->Orientation(), source->Orientation());
        EXPECT_EQ(saved->PixelXDimension(), 90);
        EXPECT_EQ(saved->PixelYDimension(), 50);
        if (source->TagExists(256, eiTIFF)) {
            EXPECT_EQ(saved->ImageWidth(), 90);
            EXPECT_EQ(saved->ImageLength(), 50);
        } else {
            EXPECT_FALSE(saved->TagExists(256, eiTIFF)) << "IFD0 gets no image size it did not have";
        }
        EXPECT_EQ(saved->Software(), SavedSoftwareName());
        EXPECT_EQ(saved->DateTimeText(), "2031:02:03 04:05:06");
        EXPECT_EQ(saved->Entrys().IFDEntryCount(eiGPS) > 0, c.keepGps && source->Entrys().IFDEntryCount(eiGPS) > 0);
        // Every other entry of the source is still there with its type.
        for (int i = 0; i < source->Entrys().Count(); ++i) {
            const TEntryItem* e = source->Entrys().Items(i);
            if (e->IFDNumber() == eiGPS || (e->IFDNumber() == eiTIFF && e->Tag() == 34853)) continue;
            EXPECT_TRUE(saved->TagExists(e->Tag(), e->IFDNumber())) << "tag " << e->Tag();
        }
        // The thumbnail is the saved, inverted picture.
        QImage thumb;
        saved->GetThumbnail(thumb);
        ASSERT_EQ(thumb.width(), 90);
        EXPECT_NEAR(thumb.pixelColor(45, 25).red(), 245, 6);
        EXPECT_NEAR(thumb.pixelColor(45, 25).green(), 55, 6);
        // The picture itself is the inverted one.
        EXPECT_EQ(jpeg::decodeFile(path).width(), 90);
    }
}

TEST(SavedExif, NoSourceBlockNoExifAndAFailedStepSavesThePictureAlone) {
    const WorkImage img = patterned(40, 30);
    TExifInfo empty;
    SaveExif none;
    none.source = &empty;
    QString problem;
    EXPECT_EQ(SavedJpegBytes(img, false, 80, none, &problem), jpeg::encode(img, 80));
    EXPECT_TRUE(problem.isEmpty());
    EXPECT_FALSE(SavedExifChunk(img, none, &problem).has_value());

    // A block with no room left for the thumbnail cannot be written.
    TExifInfo full;
    full.setMake("M");
    MemoryStream note(QByteArray(65400, 'n'));
    full.WriteToMakerNote(note, 0);
    SaveExif tooBig;
    tooBig.source = &full;
    EXPECT_EQ(SavedJpegBytes(img, false, 80, tooBig, &problem), jpeg::encode(img, 80));
    EXPECT_TRUE(problem.startsWith(QStringLiteral("撮影データ (EXIF) を書き込めなかったため"))) << problem.toStdString();
}

TEST(SavedExif, PngChunkCarriesTheTiffBlock) {
    const auto source = readExif(QStringLiteral(NOCTURO_FIXTURES "/exif/Fujifilm_FinePix6900ZOOM.jpg"));
    SaveExif exif;
    exif.source = source.get();
    const std::optional<png::Chunk> chunk = SavedExifChunk(patterned(30, 20), exif);
    ASSERT_TRUE(chunk.has_value());
    EXPECT_EQ(std::string(chunk->type.data(), 4), "eXIf");
    // The TIFF header right away (no "Exif\0\0" in a PNG), in the source's byte order; a JPEG
    // made of the same block reads back to the same camera.
    const QByteArray tiff(reinterpret_cast<const char*>(chunk->data.data()), static_cast<qsizetype>(chunk->data.size()));
    EXPECT_TRUE(tiff.startsWith(QByteArray("MM\0*", 4)));
    const QByteArray body = jpeg::encode(patterned(30, 20), 80);
    const QByteArray app1 = QByteArray("\xFF\xE1", 2) + QByteArray(1, char((tiff.size() + 8) >> 8)) +
                            QByteArray(1, char((tiff.size() + 8) & 0xFF)) + QByteArray("Exif\0\0", 6) + tiff;
    MemoryStream s(body.left(2) + app1 + body.mid(2));
    TExifInfo back;
    back.ReadExifData(s);
    EXPECT_EQ(back.Model(), source->Model());
    EXPECT_EQ(back.PixelXDimension(), 30);
}
