// The PNG writer: every pixel comes back through Qt's own PNG reader, the pixel data is one valid
// zlib stream however it was cut into parts and chunks, extra chunks sit before the pixel data,
// and an unwritable target leaves nothing behind.
#include "common/png_codec.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

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
            if ((decoded.pixel(x, y) & 0xFFFFFF) != static_cast<QRgb>((colorRed(image.pixel(x, y)) << 16) |
                                                                       (colorGreen(image.pixel(x, y)) << 8) |
                                                                       colorBlue(image.pixel(x, y))))
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

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

// The file walked chunk by chunk with zlib's own CRC; the IDAT chunks' data inflated by zlib,
// which checks the stream's Adler-32 too. Returns the inflated bytes.
std::vector<std::uint8_t> inflatePixelData(const std::vector<std::uint8_t>& bytes, int& idatChunks) {
    idatChunks = 0;
    std::vector<std::uint8_t> stream;
    std::size_t at = 8;
    bool idatEnded = false;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t n = be32(&bytes[at]);
        EXPECT_LE(at + 12 + n, bytes.size());
        if (at + 12 + n > bytes.size()) return {};
        const std::uint8_t* type = &bytes[at + 4];
        EXPECT_EQ(crc32(0, type, n + 4), be32(type + 4 + n)) << "CRC of the chunk at " << at;
        if (std::memcmp(type, "IDAT", 4) == 0) {
            EXPECT_FALSE(idatEnded) << "IDAT chunks not consecutive";
            stream.insert(stream.end(), type + 4, type + 4 + n);
            ++idatChunks;
        } else if (idatChunks) {
            idatEnded = true;
        }
        at += 12 + n;
    }
    EXPECT_EQ(at, bytes.size());
    std::vector<std::uint8_t> out(1 << 20);
    z_stream z{};
    inflateInit(&z);
    z.next_in = stream.data();
    z.avail_in = static_cast<uInt>(stream.size());
    int result = Z_OK;
    std::size_t produced = 0;
    while (result == Z_OK) {
        if (produced == out.size()) out.resize(2 * out.size());
        z.next_out = out.data() + produced;
        z.avail_out = static_cast<uInt>(out.size() - produced);
        result = inflate(&z, Z_FINISH);
        produced = out.size() - z.avail_out;
        if (result == Z_BUF_ERROR && z.avail_out == 0) result = Z_OK;
    }
    EXPECT_EQ(result, Z_STREAM_END) << (z.msg ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the stream";
    inflateEnd(&z);
    out.resize(produced);
    return out;
}

}  // namespace

// However the rows are cut into parts compressed side by side and the compressed bytes into
// chunks (down to a few bytes each), the file is one zlib stream of all rows, and every pixel comes
// back. More parts than rows, rows that do not divide evenly, the four-colour form.
TEST(PngWriter, PartsAndChunksJoinIntoOneStream) {
    const struct {
        int w, h, parts;
        std::size_t pieceBytes;
        bool fourColours;
    } cases[] = {
        {640, 480, 2, 0, false}, {333, 101, 3, 0, false}, {50, 9, 4, 40, false}, {7, 2, 7, 0, false},
        {5, 1, 3, 16, false},    {200, 50, 1, 100, false}, {301, 77, 2, 25, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h << ", " << c.parts << " parts, pieces of " << c.pieceBytes);
        WorkImage image = noisyImage(c.w, c.h, static_cast<unsigned>(c.w + c.h));
        if (c.fourColours)
            for (int y = 0; y < c.h; ++y)
                for (int x = 0; x < c.w; ++x)
                    image.setPixel(x, y, (x * y) % 5 == 1 ? makeColor(255, 0, 0) : (x + y) % 9 == 0 ? kBlack : makeColor(0, 0, 255));
        const std::vector<std::uint8_t> bytes = png::encode(image, {}, png::Layout{c.parts, c.pieceBytes});
        int chunks = 0;
        const std::vector<std::uint8_t> raw = inflatePixelData(bytes, chunks);
        const std::size_t rowBytes = c.fourColours ? 1 + (static_cast<std::size_t>(c.w) + 3) / 4 : 1 + 3 * static_cast<std::size_t>(c.w);
        EXPECT_EQ(raw.size(), rowBytes * static_cast<std::size_t>(c.h));
        if (c.pieceBytes) {
            EXPECT_GT(chunks, 1);
        }
        expectSamePixels(image, decodeWithQt(bytes));
    }
}

// A picture large enough for the writer to cut it on its own.
TEST(PngWriter, LargePictureComesBackWhole) {
    const WorkImage image = noisyImage(1700, 1000, 11);
    const std::vector<std::uint8_t> bytes = png::encode(image);
    int chunks = 0;
    EXPECT_EQ(inflatePixelData(bytes, chunks).size(), (1 + 3 * std::size_t{1700}) * 1000);
    expectSamePixels(image, decodeWithQt(bytes));
}

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
