// The JPEG codec: colour expansion, baseline output, and refusal of broken or hostile files.
#include "common/jpeg_codec.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <jpeglib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace nocturo;

namespace {

// A JPEG written with plain libjpeg in any colour space, so that the decoder's expansion of
// greyscale and CMYK files is checked against pixels we chose ourselves.
QByteArray encodeRaw(int w, int h, J_COLOR_SPACE space, int components, const std::vector<std::uint8_t>& pixels) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buf = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buf, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * w * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray out(reinterpret_cast<char*>(buf), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buf);
    return out;
}

WorkImage gradient(int w, int h) {
    WorkImage img(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, makeColor(x * 255 / (w - 1), y * 255 / (h - 1), 128));
    return img;
}

int maxChannelDifference(const WorkImage& a, const WorkImage& b) {
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 3 * a.width(); ++x) worst = std::max(worst, std::abs(a.row(y)[x] - b.row(y)[x]));
    return worst;
}

const std::uint8_t* bytesOf(const QByteArray& a) { return reinterpret_cast<const std::uint8_t*>(a.constData()); }

}  // namespace

TEST(JpegCodec, QualityHundredRoundTripKeepsSizeAndIsNearlyLossless) {
    const WorkImage original = gradient(64, 48);
    const QByteArray bytes = jpeg::encode(original, 100);
    const WorkImage back = jpeg::decodeMemory(bytesOf(bytes), static_cast<std::size_t>(bytes.size()));
    ASSERT_EQ(back.width(), 64);
    ASSERT_EQ(back.height(), 48);
    // 4:2:0 chroma subsampling of a smooth gradient costs a few levels at most.
    EXPECT_LE(maxChannelDifference(original, back), 6);
}

TEST(JpegCodec, EncoderWritesBaselineFrames) {
    const QByteArray bytes = jpeg::encode(gradient(16, 16), 80);
    EXPECT_TRUE(bytes.contains(QByteArray("\xFF\xC0", 2)));   // baseline DCT frame
    EXPECT_FALSE(bytes.contains(QByteArray("\xFF\xC2", 2)));  // never progressive
}

TEST(JpegCodec, ExtraRowsAreWhiteAndPictureRowsUntouched) {
    const WorkImage original = gradient(20, 10);
    const QByteArray bytes = jpeg::encode(original, 100);
    const WorkImage plain = jpeg::decodeMemory(bytesOf(bytes), static_cast<std::size_t>(bytes.size()));
    const WorkImage tall = jpeg::decodeMemory(bytesOf(bytes), static_cast<std::size_t>(bytes.size()), 15);
    ASSERT_EQ(tall.height(), 25);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(tall.pixel(x, y), plain.pixel(x, y));
    for (int y = 10; y < 25; ++y)
        for (int x = 0; x < 20; ++x) ASSERT_EQ(tall.pixel(x, y), kWhite);
}

TEST(JpegCodec, GreyscaleFileBecomesEqualChannelColour) {
    std::vector<std::uint8_t> grey(8 * 8);
    for (int i = 0; i < 64; ++i) grey[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 4);
    const QByteArray bytes = encodeRaw(8, 8, JCS_GRAYSCALE, 1, grey);
    const WorkImage img = jpeg::decodeMemory(bytesOf(bytes), static_cast<std::size_t>(bytes.size()));
    ASSERT_EQ(img.width(), 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const ColorValue c = img.pixel(x, y);
            EXPECT_EQ(colorRed(c), colorGreen(c));
            EXPECT_EQ(colorGreen(c), colorBlue(c));
            EXPECT_NEAR(colorRed(c), grey[static_cast<std::size_t>(y * 8 + x)], 2);
        }
}

TEST(JpegCodec, AdobeCmykFileBecomesRgb) {
    // libjpeg writes an Adobe marker for CMYK, and Adobe files hold inverted inks (255 = no ink).
    // Per pixel (C', M', Y', K'): red = no cyan, full magenta and yellow ink, no black.
    struct Case { std::uint8_t c, m, y, k; int r, g, b; };
    const Case cases[] = {
        {255, 0, 0, 255, 255, 0, 0},        // red
        {0, 255, 255, 255, 0, 255, 255},    // cyan
        {255, 255, 255, 255, 255, 255, 255},// white
        {255, 255, 255, 0, 0, 0, 0},        // black ink only
        {255, 255, 255, 128, 128, 128, 128},// half black
    };
    std::vector<std::uint8_t> cmyk;
    const int w = 8 * static_cast<int>(std::size(cases));
    for (int y = 0; y < 8; ++y)
        for (const Case& c : cases)
            for (int i = 0; i < 8; ++i) cmyk.insert(cmyk.end(), {c.c, c.m, c.y, c.k});
    const QByteArray bytes = encodeRaw(w, 8, JCS_CMYK, 4, cmyk);
    const WorkImage img = jpeg::decodeMemory(bytesOf(bytes), static_cast<std::size_t>(bytes.size()));
    ASSERT_EQ(img.width(), w);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const ColorValue px = img.pixel(static_cast<int>(8 * i + 4), 4);
        EXPECT_NEAR(colorRed(px), cases[i].r, 3) << "case " << i;
        EXPECT_NEAR(colorGreen(px), cases[i].g, 3) << "case " << i;
        EXPECT_NEAR(colorBlue(px), cases[i].b, 3) << "case " << i;
    }
}

TEST(JpegCodec, BrokenInputIsRefusedWithAReason) {
    const QByteArray good = jpeg::encode(gradient(32, 32), 90);
    QByteArray hugeFrame = good;
    // Patch the frame header to 65000 x 65000: refused before any pixel memory is taken.
    const qsizetype sof = hugeFrame.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    hugeFrame[sof + 5] = char(0xFD);
    hugeFrame[sof + 6] = char(0xE8);
    hugeFrame[sof + 7] = char(0xFD);
    hugeFrame[sof + 8] = char(0xE8);
    QByteArray zeroFrame = good;
    zeroFrame[sof + 5] = 0;
    zeroFrame[sof + 6] = 0;
    struct Case { const char* name; QByteArray bytes; };
    const Case cases[] = {
        {"not a JPEG", QByteArray("plain text, not a picture")},
        {"only SOI", QByteArray("\xFF\xD8", 2)},
        {"truncated in the scan", good.left(good.size() / 2)},
        {"truncated in the header", good.left(40)},
        {"huge frame", hugeFrame},
        {"zero height", zeroFrame},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            jpeg::decodeMemory(bytesOf(c.bytes), static_cast<std::size_t>(c.bytes.size()));
            ADD_FAILURE() << "decoded without an error";
        } catch (const jpeg::JpegError& e) {
            EXPECT_STRNE(e.what(), "");
        }
    }
}

TEST(JpegCodec, FilesThatCannotBeReadOrWrittenThrow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_THROW(jpeg::decodeFile(dir.filePath("missing.jpg")), jpeg::JpegError);
    EXPECT_THROW(jpeg::readHeader(dir.filePath("missing.jpg")), jpeg::JpegError);
    EXPECT_THROW(jpeg::encodeFile(gradient(4, 4), dir.filePath("no/such/folder/x.jpg"), 80), jpeg::JpegError);

    const QString target = dir.filePath("small.jpg");
    jpeg::encodeFile(gradient(8, 8), target, 80);
    EXPECT_THROW(jpeg::encode(WorkImage(), 80), jpeg::JpegError);
    const jpeg::HeaderInfo info = jpeg::readHeader(target);
    EXPECT_EQ(info.width, 8);
    EXPECT_EQ(info.height, 8);
    EXPECT_EQ(info.components, 3);
}
