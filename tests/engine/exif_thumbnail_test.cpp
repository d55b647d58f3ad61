// The thumbnail: IFD1's JPEG when there is one, else the picture fitted into 160 x 120.

#include "exif/exif_info.h"

#include "common/jpeg_codec.h"
#include "exif_builder.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QFile>
#include <QTemporaryDir>

using namespace nocturo;
namespace xt = exif_test;

namespace {

const QString kFixtures = QStringLiteral(NOCTURO_FIXTURES "/exif/");

// A real JPEG of w x h, red on the left half and blue on the right, with `app1` put right after
// SOI when given.
QByteArray picture(int w, int h, const QByteArray& app1 = QByteArray()) {
    WorkImage img(w, h);
    img.fillRect(0, 0, w / 2, h, makeColor(255, 0, 0));
    img.fillRect(w / 2, 0, w, h, makeColor(0, 0, 255));
    const QByteArray jpeg = jpeg::encode(img, 90);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

QSize jpegSize(const QByteArray& bytes) {
    const auto h = jpeg::readHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
    return QSize(h.width, h.height);
}

}  // namespace

TEST(Thumbnail, BuiltFromThePictureFittedInto160By120) {
    const struct {
        int w, h;
        QSize expected;
    } cases[] = {
        {320, 240, {160, 120}},  // 0.5 both ways
        {450, 600, {90, 120}},   // the height limits: 0.2
        {600, 200, {160, 53}},   // the width limits: 53.33 truncated
        {100, 50, {100, 50}},    // never enlarged
        {2000, 4, {160, 1}},     // 0.32 rows would be none: at least one
    };
    for (const auto& c : cases) {
        const QByteArray file = picture(c.w, c.h);
        TExifInfo info;
        MemoryStream s(file);
        info.ReadExifData(s);  // no EXIF: -2, silently
        s.setPosition(0);
        QImage thumb;
        info.GetThumbnail(thumb, &s);
        EXPECT_EQ(thumb.size(), c.expected) << c.w << "x" << c.h;
        s.setPosition(0);
        QByteArray encoded;
        info.GetThumbnail(encoded, &s);
        EXPECT_EQ(jpegSize(encoded), c.expected) << c.w << "x" << c.h;
    }
}

TEST(Thumbnail, BuiltThumbnailShowsThePicture) {
    TExifInfo info;
    MemoryStream s(picture(320, 240));
    QImage thumb;
    info.GetThumbnail(thumb, &s);
    ASSERT_EQ(thumb.size(), QSize(160, 120));
    const QColor left = thumb.pixelColor(30, 60), right = thumb.pixelColor(130, 60);
    EXPECT_GT(left.red(), 200);
    EXPECT_LT(left.blue(), 60);
    EXPECT_GT(right.blue(), 200);
    EXPECT_LT(right.red(), 60);
}

TEST(Thumbnail, FromTheFileWhenNoStreamIsGiven) {
    TExifInfo info;
    info.setImageFileName(kFixtures + "orientation_landscape_6.jpg");  // 450 x 600, no IFD1
    QImage thumb;
    info.GetThumbnail(thumb);
    EXPECT_EQ(thumb.size(), QSize(90, 120));
}

TEST(Thumbnail, EmbeddedJpegIsDecoded) {
    const QByteArray file = [] {
        QFile f(kFixtures + "Canon_40D.jpg");
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QByteArray embedded = file.mid(1120, 1378);  // IFD1's offset 1090 + the TIFF header at 30
    TExifInfo info;
    info.setImageFileName(kFixtures + "Canon_40D.jpg");
    QImage thumb;
    info.GetThumbnail(thumb);
    EXPECT_FALSE(thumb.isNull());
    EXPECT_EQ(thumb.size(), jpegSize(embedded));
    EXPECT_NE(thumb.size(), QSize(100, 68));  // not the picture itself
}

TEST(Thumbnail, Ifd1WithoutAJpegFallsBackToThePicture) {
    // An uncompressed-strip thumbnail, a JPEG one whose offset is 0, and one without tag 259.
    for (const std::vector<xt::Entry>& ifd1 :
         {std::vector<xt::Entry>{xt::shorts(259, {1}), xt::longs(273, {100})},
          std::vector<xt::Entry>{xt::shorts(259, {6}), xt::longs(513, {0}), xt::longs(514, {10})},
          std::vector<xt::Entry>{xt::longs(513, {8}), xt::longs(514, {10})}}) {
        const QByteArray file = picture(320, 240, xt::exifApp1(xt::buildTiff({.ifd0 = {xt::ascii(305, "s")}, .ifd1 = ifd1})));
        TExifInfo info;
        MemoryStream s(file);
        info.ReadExifData(s);
        ASSERT_GT(info.ThmEntrys().Count(), 0);
        s.setPosition(0);
        QImage thumb;
        info.GetThumbnail(thumb, &s);
        EXPECT_EQ(thumb.size(), QSize(160, 120));
    }
}

TEST(Thumbnail, EmbeddedJpegWithoutLengthReadsToTheEnd) {
    // IFD1 names a JPEG but not its length: everything from its offset on, which decodes
    // because the decoder stops at its end marker.
    const QByteArray small = picture(40, 30);
    xt::Tiff t(true);
    t.add({xt::ascii(305, "s")});
    t.add({xt::shorts(259, {6}), xt::longs(513, {0})});
    t.setNext(0, 1);
    QByteArray tiff = t.build();
    const std::uint32_t at = static_cast<std::uint32_t>(tiff.size());
    tiff.append(small);
    tiff[8 + 18 + 2 + 12 + 8] = char(at & 0xFF);  // IFD1 at 26: its second entry's value field
    tiff[8 + 18 + 2 + 12 + 9] = char(at >> 8);
    const QByteArray file = picture(320, 240, xt::exifApp1(tiff));
    TExifInfo info;
    MemoryStream s(file);
    info.ReadExifData(s);
    ASSERT_EQ(info.ThmJPEGInterchangeFormat(), at);
    QByteArray bytes;
    info.GetThumbnail(bytes, &s);
    EXPECT_TRUE(bytes.startsWith(small));
    QImage thumb;
    info.GetThumbnail(thumb, &s);
    EXPECT_EQ(thumb.size(), QSize(40, 30));
}

TEST(Thumbnail, OffsetBeyondTheStreamIsAnError) {
    const QByteArray file = xt::buildJpeg({.ifd0 = {xt::ascii(305, "s")},
                                           .ifd1 = {xt::shorts(259, {6}), xt::longs(513, {900000}), xt::longs(514, {10})}});
    TExifInfo info;
    MemoryStream s(file);
    info.ReadExifData(s);
    QByteArray bytes;
    EXPECT_THROW(info.GetThumbnail(bytes, &s), EExifError);
}

TEST(Thumbnail, BrokenPictureThrowsTheCodecError) {
    TExifInfo info;
    MemoryStream s(xt::jpeg(QByteArray()));  // markers only, no image data
    QImage thumb;
    EXPECT_THROW(info.GetThumbnail(thumb, &s), jpeg::JpegError);
}
