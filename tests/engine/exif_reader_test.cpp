// The segment reader: marker walk, TIFF directories, entry storage, errors, on real camera files
// and on fixtures built byte by byte.

#include "exif/exif_info.h"

#include "exif_builder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <bit>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace nocturo;
namespace xt = exif_test;
using xt::Recorder;

namespace {

const QString kFixtures = QStringLiteral(NOCTURO_FIXTURES "/exif/");

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

QString render(const TExifData& block) {
    return std::visit(
        [](const auto& v) -> QString {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::unique_ptr<QByteArray>>)
                return "text:" + QString::fromLatin1(v->toHex());
            else if constexpr (std::is_same_v<T, std::unique_ptr<MemoryStream>>)
                return "stream:" + QString::fromLatin1(v->bytes().toHex()) + "@" + QString::number(v->position());
            else if constexpr (std::is_same_v<T, TExifURational> || std::is_same_v<T, TExifSRational>)
                return QString("%1/%2").arg(v.Numerator).arg(v.Denominator);
            else
                return QString::number(v);
        },
        block);
}

// Everything an entry holds, as one comparable line.
QString describe(const TEntryItem& e) {
    QString s = QString("%1 tag=%2 type=%3 count=%4 offset=%5 n=%6 [")
                    .arg(int(e.IFDNumber())).arg(e.Tag()).arg(e.Format()).arg(e.ExifDataCount())
                    .arg(e.Offset()).arg(e.DataCount());
    for (int i = 0; i < e.DataCount(); ++i) s += (i ? " " : "") + render(e.Data(i));
    return s + "]";
}

std::vector<QString> describeAll(const TEntryItems& items, bool withOffsets = true) {
    std::vector<QString> out;
    for (int i = 0; i < items.Count(); ++i) {
        QString d = describe(*items[i]);
        if (!withOffsets) d.replace(QRegularExpression(" offset=\\d+"), QString());
        out.push_back(d);
    }
    return out;
}

TEntryItem* entry(TEntryItems& items, std::uint16_t tag, TExifIFD ifd) {
    const int i = items.IndexOfTag(tag, ifd);
    return i < 0 ? nullptr : items[i];
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Real camera files against the facts of expected.json

class RealFileTest : public ::testing::TestWithParam<const char*> {
protected:
    static QJsonObject expected(const QString& name) {
        const QJsonDocument doc = QJsonDocument::fromJson(fileBytes(kFixtures + "expected.json"));
        for (const QJsonValue v : doc.object()["files"].toArray())
            if (v.toObject()["file"].toString() == name) return v.toObject();
        return QJsonObject();
    }
};

TEST_P(RealFileTest, CollectionsHoldEveryDirectoryInFileOrder) {
    const QString name = GetParam();
    const QJsonObject exp = expected(name);
    ASSERT_FALSE(exp.isEmpty()) << "no facts for " << name.toStdString();
    Recorder r;
    r.info.setImageFileName(kFixtures + name);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.JpegWidth(), exp["jpeg_width"].toInt());
    EXPECT_EQ(r.info.JpegHeight(), exp["jpeg_height"].toInt());
    EXPECT_EQ(r.info.App1Position(), exp["exif_app1_offset"].toInt());
    EXPECT_EQ(r.info.OffsetCardinalPoint(), exp["tiff_header_offset"].toInt());
    const QByteArray order = exp["byte_order"].toString().toLatin1();
    EXPECT_EQ(r.info.ByteOrder(), std::uint16_t(std::uint8_t(order[0]) | (std::uint8_t(order[1]) << 8)));

    const QJsonObject dirs = exp["dirs"].toObject();
    const auto expectDirs = [&](const TEntryItems& items, std::vector<std::pair<const char*, TExifIFD>> order) {
        int k = 0;
        for (auto [dirName, ifd] : order) {
            for (const QJsonValue ev : dirs[dirName].toObject()["entries"].toArray()) {
                const QJsonArray tc = ev.toArray();
                ASSERT_LT(k, items.Count()) << dirName;
                const TEntryItem& e = *items[k++];
                int type = tc[1].toInt();
                if (tc[0].toInt() == 37510 && ifd == eiExif && type == 2) type = 7;
                EXPECT_EQ(e.IFDNumber(), ifd) << dirName << " #" << k;
                EXPECT_EQ(e.Tag(), tc[0].toInt()) << dirName << " #" << k;
                EXPECT_EQ(e.Format(), type) << dirName << " tag " << e.Tag();
                EXPECT_EQ(e.ExifDataCount(), std::uint32_t(tc[2].toInt())) << dirName << " tag " << e.Tag();
            }
        }
        EXPECT_EQ(k, items.Count());
    };
    expectDirs(r.info.Entrys(), {{"IFD0", eiTIFF}, {"ExifIFD", eiExif}, {"GPS", eiGPS}, {"InteropIFD", eiInteroperability}});
    expectDirs(r.info.ThmEntrys(), {{"IFD1", eiTIFF}});
}

TEST_P(RealFileTest, FieldValuesDecodeAsStored) {
    const QString name = GetParam();
    const QJsonObject exp = expected(name);
    Recorder r;
    r.info.setImageFileName(kFixtures + name);
    const QJsonObject fields = exp["fields"].toObject();
    int checked = 0;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const QJsonObject f = it.value().toObject();
        if (!f["present"].toBool()) continue;
        const QString dir = f["ifd"].toString();
        const TExifIFD ifd = dir == "ExifIFD" ? eiExif : dir == "GPS" ? eiGPS : dir == "InteropIFD" ? eiInteroperability : eiTIFF;
        TEntryItems& items = dir == "IFD1" ? r.info.ThmEntrys() : r.info.Entrys();
        TEntryItem* e = entry(items, std::uint16_t(f["tag"].toInt()), ifd);
        ASSERT_NE(e, nullptr) << it.key().toStdString();
        EXPECT_EQ(e->Offset(), f["inline"].toBool() ? 0u : std::uint32_t(f["value_pos"].toInt())) << it.key().toStdString();
        if (f.contains("rationals")) {
            const QJsonArray pairs = f["rationals"].toArray();
            ASSERT_EQ(e->DataCount(), pairs.size());
            for (int i = 0; i < pairs.size(); ++i)
                EXPECT_EQ(render(e->Data(i)), QString("%1/%2").arg(pairs[i][0].toInt()).arg(pairs[i][1].toInt()));
        } else if (f["type"].toInt() == 7) {
            const auto& s = std::get<std::unique_ptr<MemoryStream>>(e->Data(0));
            EXPECT_EQ(s->size(), f["count"].toInt());
            if (f.contains("hex")) {
                EXPECT_EQ(s->bytes().toHex(), f["hex"].toString().toLatin1());
            }
            if (f.contains("first8_hex")) {
                EXPECT_EQ(s->bytes().left(8).toHex(), f["first8_hex"].toString().toLatin1());
            }
        } else if (f.contains("text")) {
            EXPECT_EQ(e->GetStringData(), f["text"].toString()) << it.key().toStdString();
        } else if (f.contains("values")) {
            const QJsonArray values = f["values"].toArray();
            ASSERT_EQ(e->DataCount(), values.size());
            for (int i = 0; i < values.size(); ++i)
                EXPECT_EQ(render(e->Data(i)), QString::number(values[i].toInteger())) << it.key().toStdString();
        }
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

class RealThumbnailTest : public RealFileTest {};

TEST_P(RealThumbnailTest, EmbeddedThumbnailIsTheBytesThatIfd1Names) {
    const QString name = GetParam();
    const QJsonObject f = expected(name)["fields"].toObject();
    ASSERT_TRUE(f["ThumbnailOffset"].toObject()["present"].toBool());
    const qint64 at = f["ThumbnailOffset"].toObject()["absolute_file_offset"].toInteger();
    const qint64 length = f["ThumbnailLength"].toObject()["values"].toArray()[0].toInteger();
    const QByteArray file = fileBytes(kFixtures + name);
    TExifInfo info;
    info.setImageFileName(kFixtures + name);
    QByteArray fromFile, fromStream;
    info.GetThumbnail(fromFile);
    MemoryStream s(file);
    info.GetThumbnail(fromStream, &s);
    EXPECT_EQ(fromFile, file.mid(at, length));
    EXPECT_EQ(fromStream, fromFile);
    EXPECT_TRUE(fromFile.startsWith("\xFF\xD8"));
}

INSTANTIATE_TEST_SUITE_P(CameraFiles, RealFileTest,
                         ::testing::Values("Canon_40D.jpg", "Fujifilm_FinePix6900ZOOM.jpg", "Nikon_D70.jpg",
                                           "Pentax_K10D.jpg", "xmp_no_exif.jpg", "orientation_landscape_6.jpg"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

INSTANTIATE_TEST_SUITE_P(CameraFiles, RealThumbnailTest,
                         ::testing::Values("Canon_40D.jpg", "Fujifilm_FinePix6900ZOOM.jpg", "Nikon_D70.jpg",
                                           "Pentax_K10D.jpg"),
                         [](const auto& info) {
                             std::string n = info.param;
                             for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(RealFile, XmpSegmentBeforeExifIsPassedOver) {
    // The first APP1 of this file (offset 20) is an XMP packet; the EXIF APP1 lies at 26586.
    TExifInfo info;
    EXPECT_TRUE(info.IsExif(kFixtures + "xmp_no_exif.jpg"));
    info.setImageFileName(kFixtures + "xmp_no_exif.jpg");
    EXPECT_EQ(info.App1Position(), 26586);
    EXPECT_EQ(info.PixelXDimension(), 322);
    EXPECT_EQ(info.PixelYDimension(), 466);
    EXPECT_EQ(info.ExifVersion(), "0221");
}

TEST(RealFile, TypicalShootingData) {
    TExifInfo info;
    info.setImageFileName(kFixtures + "Canon_40D.jpg");
    EXPECT_EQ(info.Model(), "Canon EOS 40D");
    EXPECT_EQ(info.DateTimeOriginalText(), "2008:05:30 15:56:01");
    EXPECT_EQ(info.ExposureTime()->Text(), "1/160");
    EXPECT_EQ(info.FNumber()->Text(), "71/10");
    EXPECT_EQ(info.FocalLength()->Text(), "135/1");
    ASSERT_EQ(info.ISOSpeedRatingCount(), 1);
    EXPECT_EQ(info.ISOSpeedRatings(0), 100);
    EXPECT_EQ(info.ColorSpaceText(), "sRGB");
    EXPECT_EQ(info.GPSVersionID(0), 2);  // GPS IFD holds GPSVersionID 2.2.0.0
    // Trailing blanks of a padded model text are kept.
    info.setImageFileName(kFixtures + "Pentax_K10D.jpg");
    EXPECT_EQ(info.Model(), "PENTAX K10D        ");
    EXPECT_EQ(info.FocalLength()->Text(), "9000/100");
}

TEST(RealFile, EveryTruncationEndsInAnOrderlyWay) {
    // A real file with its frame header moved in front, so that truncations inside the EXIF
    // block reach the TIFF reader (the byte scan then finds the APP1, 36 bytes on).
    const QByteArray original = fileBytes(kFixtures + "Canon_40D.jpg");
    ASSERT_EQ(original.size(), 7958);
    const QByteArray file = original.left(2) + original.mid(5798, 19) + original.mid(2);
    int previous = 0, invalid = 0;
    for (qsizetype n = 0; n <= 2700; ++n) {
        Recorder r;
        r.info.setSearchBytes(64);
        try {
            r.read(file.left(n));
        } catch (const EExifError&) {
            EXPECT_TRUE(n >= 2 && n < 11) << n;  // FF D8 without a complete frame header
            continue;
        }
        const int count = r.info.Entrys().Count() + r.info.ThmEntrys().Count();
        if (n < 41) {  // the APP1 marker lies at 39
            EXPECT_EQ(r.errors, std::vector<int>{kExifNotExif}) << n;
        } else if (!r.errors.empty()) {
            EXPECT_EQ(r.errors, std::vector<int>{kExifInvalidStream}) << n;
            ++invalid;
        }
        // More of the file never gives fewer entries.
        EXPECT_GE(count, previous) << n;
        previous = count;
    }
    EXPECT_GT(invalid, 1000);  // the directories and values end at 1139 + 49
    EXPECT_EQ(previous, 44 + 6);  // the whole block read
}

// ---------------------------------------------------------------------------------------------
// Built fixtures: layout and storage

namespace {

// One directory of every type, both byte orders: the same logical content.
xt::Dirs everyType() {
    xt::Dirs d;
    d.ifd0 = {xt::bytes(0x1001, {1, 2, 255}),
              xt::ascii(271, "Maker"),
              xt::shorts(0x1003, {1, 65535}),
              xt::shorts(0x1004, {7, 8, 9}),
              xt::longs(0x1005, {0xDEADBEEF}),
              xt::rationals(0x1006, {{1, 250}, {28, 10}}),
              xt::numbers(0x1007, 6, {0x80, 0x7F}),
              xt::undefined(0x1008, QByteArray("\x01\x02\x03\x00\x05", 5)),
              xt::numbers(0x1009, 8, {0xFFFE}),
              xt::numbers(0x100A, 9, {0xFFFFFFFF}),
              xt::srationals(0x100B, {{-1, 3}}),
              xt::numbers(0x100C, 11, {std::bit_cast<std::uint32_t>(1.5f)}),
              xt::numbers(0x100D, 12, {std::bit_cast<std::uint64_t>(-2.25)})};
    d.exif = {xt::rationals(33434, {{1, 200}})};
    return d;
}

}  // namespace

TEST(ReaderLayout, LittleAndBigEndianGiveEqualCollections) {
    Recorder ii, mm;
    ii.read(xt::buildJpeg(everyType(), true));
    mm.read(xt::buildJpeg(everyType(), false));
    EXPECT_TRUE(ii.errors.empty());
    EXPECT_TRUE(mm.errors.empty());
    EXPECT_EQ(ii.info.ByteOrder(), 0x4949);
    EXPECT_EQ(mm.info.ByteOrder(), 0x4D4D);
    EXPECT_EQ(describeAll(ii.info.Entrys()), describeAll(mm.info.Entrys()));
    // And the values are the ones written, decoded into host order.
    const std::vector<QString> expect = {
        "0 tag=4097 type=1 count=3 offset=0 n=3 [1 2 255]",
        "0 tag=271 type=2 count=6 offset=182 n=1 [text:4d616b657200]",
        "0 tag=4099 type=3 count=2 offset=0 n=2 [1 65535]",
        "0 tag=4100 type=3 count=3 offset=188 n=3 [7 8 9]",
        "0 tag=4101 type=4 count=1 offset=0 n=1 [3735928559]",
        "0 tag=4102 type=5 count=2 offset=194 n=2 [1/250 28/10]",
        "0 tag=4103 type=6 count=2 offset=0 n=2 [-128 127]",
        "0 tag=4104 type=7 count=5 offset=210 n=1 [stream:0102030005@0]",
        "0 tag=4105 type=8 count=1 offset=0 n=1 [-2]",
        "0 tag=4106 type=9 count=1 offset=0 n=1 [-1]",
        "0 tag=4107 type=10 count=1 offset=215 n=1 [-1/3]",
        "0 tag=4108 type=11 count=1 offset=0 n=1 [1.5]",
        "0 tag=4109 type=12 count=1 offset=223 n=1 [-2.25]",
        "0 tag=34665 type=4 count=1 offset=0 n=1 [231]",
        "1 tag=33434 type=5 count=1 offset=249 n=1 [1/200]",
    };
    EXPECT_EQ(describeAll(ii.info.Entrys()), expect);
}

TEST(ReaderLayout, InlineValuesUpToFourBytesOthersAtTheirOffset) {
    // IFD0 at 8 with 2 entries: entries 10..33, next offset 34..37, out-of-line data from 38.
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::shorts(0x2001, {5, 6}), xt::shorts(0x2002, {7, 8, 9})}}));
    ASSERT_EQ(r.info.Entrys().Count(), 2);
    EXPECT_EQ(describe(*r.info.Entrys()[0]), "0 tag=8193 type=3 count=2 offset=0 n=2 [5 6]");
    EXPECT_EQ(describe(*r.info.Entrys()[1]), "0 tag=8194 type=3 count=3 offset=38 n=3 [7 8 9]");
}

TEST(ReaderLayout, TextAndUndefinedStorage) {
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::asciiRaw(270, ""), xt::undefined(0x9999, ""), xt::ascii(37510, "in IFD0"),
                                   xt::asciiRaw(305, "NoNul")},
                          .exif = {xt::ascii(37510, "ascii comment")}}));
    ASSERT_TRUE(r.errors.empty());
    TEntryItems& e = r.info.Entrys();
    // ASCII of count 0: no block. UNDEFINED of count 0: one empty stream.
    EXPECT_EQ(describe(*entry(e, 270, eiTIFF)), "0 tag=270 type=2 count=0 offset=0 n=0 []");
    EXPECT_EQ(describe(*entry(e, 0x9999, eiTIFF)), "0 tag=39321 type=7 count=0 offset=0 n=1 [stream:@0]");
    EXPECT_EQ(entry(e, 270, eiTIFF)->GetStringData(), "");
    // UserComment written as ASCII: UNDEFINED in the Exif IFD only.
    EXPECT_EQ(entry(e, 37510, eiTIFF)->Format(), efAscii);
    EXPECT_EQ(entry(e, 37510, eiTIFF)->GetStringData(), "in IFD0");
    TEntryItem* comment = entry(e, 37510, eiExif);
    EXPECT_EQ(comment->Format(), efUndefined);
    EXPECT_EQ(comment->DataCount(), 1);
    EXPECT_EQ(std::get<std::unique_ptr<MemoryStream>>(comment->Data(0))->bytes(), QByteArray("ascii comment\0", 14));
    // A text without NUL is all its count bytes.
    EXPECT_EQ(entry(e, 305, eiTIFF)->GetStringData(), "NoNul");
}

TEST(ReaderLayout, UnknownTypesKeepTagTypeCountAndTheNextEntriesStillRead) {
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::rawField(0x3001, 0, 5, 0xFFFFFFFF), xt::rawField(0x3002, 13, 1, 8),
                                   xt::rawField(0x3003, 0x00FF, 70000, 0x12345678), xt::shorts(0x3004, {42}),
                                   xt::rawField(0x3005, 0x0103, 1, 7)}}));
    ASSERT_TRUE(r.errors.empty());
    TEntryItems& e = r.info.Entrys();
    ASSERT_EQ(e.Count(), 5);
    EXPECT_EQ(describe(*e[0]), "0 tag=12289 type=0 count=5 offset=0 n=0 []");
    EXPECT_EQ(describe(*e[1]), "0 tag=12290 type=13 count=1 offset=0 n=0 []");
    EXPECT_EQ(describe(*e[2]), "0 tag=12291 type=255 count=70000 offset=0 n=0 []");
    EXPECT_EQ(describe(*e[3]), "0 tag=12292 type=3 count=1 offset=0 n=1 [42]");
    // The type is the low byte of the 16-bit field: 0x0103 reads as SHORT.
    EXPECT_EQ(describe(*e[4]), "0 tag=12293 type=3 count=1 offset=0 n=1 [7]");
}

TEST(ReaderLayout, OtherByteOrderValuesReadBigEndian) {
    xt::Tiff t(false);
    t.add({xt::shorts(0x0101, {0x1234}), xt::longs(0x0102, {0x01020304})});
    t.setByteOrderBytes('X', 'Y');
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    ASSERT_EQ(r.info.Entrys().Count(), 2);
    EXPECT_EQ(r.info.ByteOrder(), std::uint16_t('X' | ('Y' << 8)));
    EXPECT_EQ(r.info.Entrys()[0]->GetUShortData(0), 0x1234);
    EXPECT_EQ(r.info.Entrys()[1]->GetULongData(0), 0x01020304u);
}

TEST(ReaderLayout, ThumbnailDirectoriesGoToTheirOwnCollection) {
    xt::Tiff t(true);
    const int ifd0 = t.add({xt::ascii(272, "Main"), xt::pointer(34665, 2)});
    const int ifd1 = t.add({xt::shorts(259, {6}), xt::pointer(34665, 3), xt::ascii(272, "Thumb")});
    t.add({xt::shorts(40961, {1})});                             // 2: main Exif IFD
    t.add({xt::shorts(40961, {65535}), xt::pointer(40965, 4)});  // 3: IFD1's Exif IFD
    t.add({xt::ascii(1, "R98")});                                // 4: its Interoperability IFD
    t.setNext(ifd0, ifd1);
    t.setNextRaw(ifd1, 8);  // an IFD2 is never read (here it would be IFD0 again)
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    ASSERT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.Entrys().Count(), 3);
    EXPECT_EQ(r.info.Entrys().IFDEntryCount(eiTIFF), 2);
    EXPECT_EQ(r.info.Entrys().IFDEntryCount(eiExif), 1);
    EXPECT_EQ(r.info.Model(), "Main");
    const TEntryItems& thm = r.info.ThmEntrys();
    ASSERT_EQ(thm.Count(), 6);
    EXPECT_EQ(thm.IFDEntryCount(eiTIFF), 3);
    EXPECT_EQ(thm.IFDEntryCount(eiExif), 2);
    EXPECT_EQ(thm.IFDEntryCount(eiInteroperability), 1);
    EXPECT_EQ(r.info.ThmModel(), "Thumb");
    EXPECT_EQ(r.info.ThmInteroperabilityIndex(), "R98");
    EXPECT_FALSE(r.info.TagExists(259, eiTIFF));
    EXPECT_TRUE(r.info.ThmTagExists(259, eiTIFF));
}

TEST(ReaderLayout, PointerLoopsReadEachDirectoryOnceAndEnd) {
    // IFD0's Exif pointer points back at IFD0, the Exif IFD's Interoperability pointer at the
    // Exif IFD (IFD0 again), IFD0's next directory at itself.
    xt::Tiff t(true);
    t.add({xt::ascii(271, "Loop"), xt::pointer(34665, 0), xt::pointer(40965, 0)});
    t.setNext(0, 0);
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.Entrys().IFDEntryCount(eiTIFF), 3);
    EXPECT_EQ(r.info.Entrys().IFDEntryCount(eiExif), 3);
    EXPECT_EQ(r.info.Entrys().IFDEntryCount(eiInteroperability), 3);
    EXPECT_EQ(r.info.ThmEntrys().IFDEntryCount(eiTIFF), 3);
    EXPECT_EQ(r.info.ThmEntrys().IFDEntryCount(eiExif), 3);
    EXPECT_EQ(r.info.ThmEntrys().IFDEntryCount(eiInteroperability), 3);
    EXPECT_EQ(r.info.Entrys().Count(), 9);
}

TEST(ReaderLayout, PointerOfAnotherTypeIsNotFollowed) {
    // As in a real file whose Exif IFD pointer has type ASCII.
    xt::Tiff t(true);
    t.add({xt::rawField(34665, 2, 4, 26), xt::rawField(34853, 3, 1, 26)});
    t.add({xt::shorts(40961, {1})});
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.Entrys().Count(), 2);
    EXPECT_EQ(r.info.ExifIFDPointer(), 0u);
}

TEST(ReaderLayout, StreamPositionsAreAbsoluteInTheStreamGiven) {
    const QByteArray prefix(100, 'x');
    const QByteArray picture = xt::jpeg(xt::exifApp1(xt::buildTiff({.ifd0 = {xt::ascii(272, "Offset")}})));
    MemoryStream s(prefix + picture);
    s.setPosition(100);
    TExifInfo info;
    info.ReadExifData(s);
    EXPECT_EQ(info.App1Position(), 102);
    EXPECT_EQ(info.OffsetCardinalPoint(), 112);
    EXPECT_EQ(info.Entrys().CardinalPoint(), 112);
    EXPECT_EQ(info.Model(), "Offset");
    EXPECT_EQ(info.JpegWidth(), 64);
}

TEST(ReaderLayout, EntryCopiesAreIndependent) {
    Recorder r;
    r.read(xt::buildJpeg(everyType()));
    TEntryItems copy;
    copy.Assign(r.info.Entrys());
    EXPECT_EQ(copy.CardinalPoint(), r.info.Entrys().CardinalPoint());
    EXPECT_EQ(describeAll(copy), describeAll(r.info.Entrys()));
    auto& stream = std::get<std::unique_ptr<MemoryStream>>(copy[7]->Data(0));
    stream->write("\x09", 1);
    EXPECT_EQ(render(r.info.Entrys()[7]->Data(0)), "stream:0102030005@0");
    copy[0]->DeleteData(0);
    EXPECT_EQ(copy[0]->DataCount(), 2);
    EXPECT_EQ(r.info.Entrys()[0]->DataCount(), 3);
    EXPECT_THROW(copy[0]->Data(2), std::out_of_range);
}

TEST(ReaderLayout, EntryWithoutComponentReadsLittleEndian) {
    const QByteArray bytes("\x0F\x01\x03\x00\x01\x00\x00\x00\x34\x12\x00\x00", 12);
    MemoryStream s(bytes);
    TEntryItem item;
    item.LoadFromStream(s);
    EXPECT_EQ(describe(item), "0 tag=271 type=3 count=1 offset=0 n=1 [4660]");
    EXPECT_EQ(s.position(), 12);
    EXPECT_EQ(item.GetExifInfo(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Finding the APP1 segment

namespace {
const QByteArray kTiny = xt::buildTiff({.ifd0 = {xt::ascii(272, "Found")}});
QByteArray soi() { return xt::word(0xFFD8); }
}  // namespace

struct WalkCase {
    const char* name;
    QByteArray file;
    int searchBytes;
    std::int64_t app1;  // -1: not found
};

void PrintTo(const WalkCase& c, std::ostream* os) { *os << c.name; }

class App1SearchTest : public ::testing::TestWithParam<WalkCase> {};

TEST_P(App1SearchTest, FindsTheMarkerWhereTheWalkOrScanReaches) {
    const WalkCase& c = GetParam();
    Recorder r;
    r.info.setSearchBytes(c.searchBytes);
    MemoryStream s(c.file);
    EXPECT_EQ(r.info.IsExif(s), c.app1 > 0);
    EXPECT_EQ(s.position(), 0);
    r.info.ReadExifData(s);
    EXPECT_EQ(r.info.App1Position(), c.app1);
    if (c.app1 < 0) {
        EXPECT_EQ(r.errors, std::vector<int>{kExifNotExif});
        EXPECT_EQ(r.info.Entrys().Count(), 0);
    } else {
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(r.info.Model(), "Found");
    }
}

namespace {
// A first segment that is not an APPn (a DQT of `gap` bytes), then the EXIF APP1 at 6 + gap. The
// scan starts at the DQT's length word, so the APP1's FF is scanned byte number gap + 3.
QByteArray scanFile(int gap) {
    return soi() + xt::segment(0xFFDB, QByteArray(gap, '\x11')) + xt::exifApp1(kTiny) + xt::sof0(64, 48);
}
// A first marker word followed straight by `after`: the frame-size walk takes the two bytes after
// the marker as its length, so the frame header is put where that length leads (4 + length).
QByteArray bareMarker(const QByteArray& after) {
    QByteArray f = soi() + xt::word(0xFFDB) + after;
    const int length = (std::uint8_t(f[4]) << 8) | std::uint8_t(f[5]);
    f.append(QByteArray(4 + length - f.size(), '\0'));
    return f + xt::sof0(64, 48);
}
const QByteArray kApp1 = xt::exifApp1(kTiny);
}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Cases, App1SearchTest,
    ::testing::Values(
        WalkCase{"App1RightAfterSoi", soi() + xt::exifApp1(kTiny) + xt::sof0(8, 8), 16, 2},
        WalkCase{"JfifThenExif", soi() + xt::jfifApp0() + xt::exifApp1(kTiny) + xt::sof0(8, 8), 16, 20},
        WalkCase{"IccBeforeExif", soi() + xt::jfifApp0() + xt::segment(0xFFE2, QByteArray(300, 'c')) + xt::exifApp1(kTiny) + xt::sof0(8, 8), 16, 324},
        WalkCase{"XmpApp1BeforeExif", soi() + xt::jfifApp0() + xt::xmpApp1() + xt::exifApp1(kTiny) + xt::sof0(8, 8), 16, 66},
        WalkCase{"OnlyXmpApp1", soi() + xt::xmpApp1() + xt::sof0(8, 8), 16, -1},
        // The walk takes any word with a high byte FF as a marker with a length: a DQT
        // between APPn segments is walked over too.
        WalkCase{"WalkPassesAnyMarker", soi() + xt::jfifApp0() + xt::dqt() + xt::exifApp1(kTiny) + xt::sof0(8, 8), 16, 89},
        // A word 00 00 ends the walk; for the frame-size walk it is a marker of length 2.
        WalkCase{"WalkStopsAtNonMarker", soi() + xt::jfifApp0() + QByteArray("\x00\x00\x00\x02", 4) + kApp1 + xt::sof0(8, 8), 16, -1},
        WalkCase{"ScanFindsAtFirstByte", bareMarker(kApp1), 16, 4},
        WalkCase{"ScanFindsFFAtByte17", scanFile(14), 16, 20},
        WalkCase{"ScanMissesFFAtByte18", scanFile(15), 16, -1},
        WalkCase{"ScanRereadsFFAfterFF", bareMarker(QByteArray(5, '\xFF') + kApp1), 16, 9},
        WalkCase{"ScanZeroExaminesOneByte", bareMarker(kApp1), 0, 4},
        WalkCase{"ScanZeroMissesSecondByte", bareMarker("\x11" + kApp1), 0, -1},
        WalkCase{"NegativeSearchBytesIsZero", bareMarker("\x11" + kApp1), -5, -1},
        WalkCase{"ScanLargerWindow", scanFile(100), 200, 106},
        WalkCase{"NotAJpeg", QByteArray("GIF89a") + xt::exifApp1(kTiny), 16, -1},
        WalkCase{"EmptyStream", QByteArray(), 16, -1},
        WalkCase{"OneByte", QByteArray("\xFF", 1), 16, -1},
        // Length 0 steps back onto the length word, which is no marker: the walk ends. (The
        // frame-size walk then reads 00 00 as a marker with the length FF E1: 8 + 65503.)
        WalkCase{"WalkLengthZeroEnds", [] {
            QByteArray f = soi() + xt::word(0xFFE0) + xt::word(0) + kApp1;
            return f + QByteArray(8 + 0xFFE1 - 2 - f.size(), '\0') + xt::sof0(8, 8);
        }(), 16, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(App1Search, NegativeSearchBytesIsStoredAsZero) {
    TExifInfo info;
    EXPECT_EQ(info.SearchBytes(), 16);
    info.setSearchBytes(-3);
    EXPECT_EQ(info.SearchBytes(), 0);
}

// ---------------------------------------------------------------------------------------------
// Reading through ImageFileName, errors and notifications

TEST(ReaderErrors, JpegWithoutApp1KeepsFrameSize) {
    Recorder r;
    r.read(xt::jpeg(xt::jfifApp0(), 640, 480));
    EXPECT_EQ(r.errors, std::vector<int>{kExifNotExif});
    EXPECT_EQ(r.info.JpegWidth(), 640);
    EXPECT_EQ(r.info.JpegHeight(), 480);
    EXPECT_EQ(r.info.Entrys().Count(), 0);
    EXPECT_EQ(r.info.ImageWidth(), 640);  // no tag 256: the frame header's width
    EXPECT_EQ(r.info.ImageLength(), 480);
}

TEST(ReaderErrors, NotAJpegHasNoSize) {
    Recorder r;
    r.read(QByteArray("plain text, no picture"));
    EXPECT_EQ(r.errors, std::vector<int>{kExifNotExif});
    EXPECT_EQ(r.info.JpegWidth(), 0);
    EXPECT_EQ(r.info.JpegHeight(), 0);
}

TEST(ReaderErrors, StreamEndingBeforeTheFrameHeaderIsAComponentError) {
    for (const QByteArray& file : {soi(), soi() + xt::jfifApp0(), soi() + xt::exifApp1(kTiny)}) {
        Recorder r;
        r.read(xt::buildJpeg({.ifd0 = {xt::ascii(272, "Before")}}));
        ASSERT_EQ(r.info.Entrys().Count(), 1);
        try {
            r.read(file);
            ADD_FAILURE() << "no error for " << file.toHex().toStdString();
        } catch (const EExifError& e) {
            EXPECT_TRUE(e.Message().startsWith("TExifInfo: ")) << e.what();
        }
        EXPECT_EQ(r.info.Entrys().Count(), 0);
        EXPECT_EQ(r.info.JpegWidth(), 0);
    }
}

TEST(ReaderErrors, FileNotFoundReportsAndNotifies) {
    Recorder r;
    r.info.setImageFileName(kFixtures + "Canon_40D.jpg");
    ASSERT_GT(r.info.Entrys().Count(), 0);
    r.updates = 0;
    r.info.setImageFileName(kFixtures + "no such file.jpg");
    EXPECT_EQ(r.errors, std::vector<int>{kExifFileNotFound});
    EXPECT_EQ(r.updates, 1);
    EXPECT_EQ(r.info.Entrys().Count(), 0);
    EXPECT_EQ(r.info.ThmEntrys().Count(), 0);
    EXPECT_EQ(r.info.JpegWidth(), 0);
    EXPECT_EQ(r.info.ImageFileName(), kFixtures + "no such file.jpg");
}

TEST(ReaderErrors, EmptyNameKeepsTheEntries) {
    Recorder r;
    r.info.setImageFileName(kFixtures + "Canon_40D.jpg");
    const int n = r.info.Entrys().Count();
    r.info.setImageFileName(QString());
    EXPECT_EQ(r.info.Entrys().Count(), n);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.ImageFileName(), QString());
}

TEST(ReaderErrors, UnopenableFileIsAComponentError) {
    // A socket exists and is no folder, but cannot be opened as a file (even by root).
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray path = dir.filePath("socket.jpg").toLocal8Bit();
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<std::size_t>(path.size()), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    Recorder r;
    EXPECT_THROW(r.info.setImageFileName(QString::fromLocal8Bit(path)), EExifError);
    EXPECT_THROW(r.info.IsExif(QString::fromLocal8Bit(path)), EExifError);
    EXPECT_TRUE(r.errors.empty());
    ::close(fd);
}

TEST(ReaderErrors, UpdateNotifications) {
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::ascii(272, "x")}}));
    EXPECT_EQ(r.updates, 2);  // at the start of ReadExifData, after the block was read
    r.updates = 0;
    r.read(xt::jpeg(xt::jfifApp0()));
    EXPECT_EQ(r.updates, 1);  // only the start
    QTemporaryDir dir;
    const QString noApp1 = dir.filePath("plain.jpg");
    {
        QFile f(noApp1);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(xt::jpeg(xt::jfifApp0()));
    }
    r.updates = 0;
    r.info.setImageFileName(noApp1);
    EXPECT_EQ(r.updates, 0);  // no APP1 through ImageFileName: no notification
}

TEST(ReaderErrors, AllowErrorRaisesTheCodesText) {
    TExifInfo info;
    info.setOnError([](TExifInfo*, int, bool& allow) { allow = true; });
    MemoryStream s(xt::jpeg(xt::jfifApp0()));
    try {
        info.ReadExifData(s);
        ADD_FAILURE() << "no exception";
    } catch (const EExifError& e) {
        EXPECT_EQ(e.Message(), QString("TExifInfo: Exif、またはDCF形式ではありません"));
        EXPECT_STREQ(e.what(), "TExifInfo: Exif、またはDCF形式ではありません");
    }
}

TEST(ReaderErrors, ErrorTexts) {
    const std::pair<int, const char*> cases[] = {
        {-1, "ファイルが見つかりません"},       {-2, "Exif、またはDCF形式ではありません"},
        {-3, "ユーザコメントは不明な形式です"}, {-4, "ASCII文字以外は書き込みできません"},
        {-5, "不正なストリーム"},               {-6, "不正なインデックス"},
        {-7, "タグが見つかりません"},           {-8, "日時は不明です"},
        {-9, "メーカーノートを元の位置に置けないため移動しました"}, {-10, "不明なエラーです"},               {0, "不明なエラーです"},
    };
    for (auto [code, text] : cases) EXPECT_EQ(ExifErrorText(code), QString::fromUtf8(text)) << code;
}

TEST(ReaderErrors, IsExifLeavesCollectionsAndPosition) {
    Recorder r;
    r.info.setImageFileName(kFixtures + "Canon_40D.jpg");
    const auto before = describeAll(r.info.Entrys());
    MemoryStream s(xt::buildJpeg({.ifd0 = {xt::ascii(272, "Other")}}));
    s.setPosition(0);
    EXPECT_TRUE(r.info.IsExif(s));
    EXPECT_EQ(s.position(), 0);
    EXPECT_FALSE(r.info.IsExif(kFixtures + "ATTRIBUTION.md"));
    EXPECT_EQ(describeAll(r.info.Entrys()), before);
}
