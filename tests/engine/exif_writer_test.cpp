// The EXIF writer: setters, user comment and maker note, the directory layout, and the APP1
// block that WriteExif puts into a JPEG file (read back through the reader).

#include "exif/exif_info.h"

#include "common/jpeg_codec.h"
#include "exif_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <bit>
#include <cmath>
#include <functional>

using namespace nocturo;
namespace xt = exif_test;

namespace {

const QString kFixtures = QStringLiteral(NOCTURO_FIXTURES "/exif/");

struct Recorder {
    TExifInfo info;
    std::vector<int> errors;
    Recorder() { info.setOnError([this](TExifInfo*, int code, bool&) { errors.push_back(code); }); }
};

QByteArray hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced).replace(' ', "")); }

// The stored bytes of an entry's first block (ASCII text with its NUL, or the UNDEFINED stream).
QByteArray blockBytes(const TEntryItem& e) {
    const TExifData& d = e.Data(0);
    if (const auto* t = std::get_if<std::unique_ptr<QByteArray>>(&d)) return **t;
    if (const auto* s = std::get_if<std::unique_ptr<MemoryStream>>(&d)) return (*s)->bytes();
    ADD_FAILURE() << "not a text or stream block";
    return {};
}
const TEntryItem* find(const TEntryItems& items, std::uint16_t tag, TExifIFD ifd) {
    const int i = items.IndexOfTag(tag, ifd);
    return i < 0 ? nullptr : items.Items(i);
}

// Two value blocks hold the same value (texts compared up to their first NUL, numbers by bits).
bool sameBlock(const TExifData& a, const TExifData& b) {
    if (a.index() != b.index()) return false;
    if (const auto* t = std::get_if<std::unique_ptr<QByteArray>>(&a)) {
        const QByteArray& u = **std::get_if<std::unique_ptr<QByteArray>>(&b);
        return t->get()->left(t->get()->indexOf('\0') < 0 ? t->get()->size() : t->get()->indexOf('\0')) ==
               u.left(u.indexOf('\0') < 0 ? u.size() : u.indexOf('\0'));
    }
    if (const auto* s = std::get_if<std::unique_ptr<MemoryStream>>(&a))
        return (*s)->bytes() == (*std::get_if<std::unique_ptr<MemoryStream>>(&b))->bytes();
    if (const auto* f = std::get_if<float>(&a)) return std::bit_cast<std::uint32_t>(*f) == std::bit_cast<std::uint32_t>(*std::get_if<float>(&b));
    if (const auto* d = std::get_if<double>(&a))
        return std::bit_cast<std::uint64_t>(*d) == std::bit_cast<std::uint64_t>(*std::get_if<double>(&b));
    return std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::unique_ptr<QByteArray>> || std::is_same_v<T, std::unique_ptr<MemoryStream>>)
                return false;
            else
                return x == *std::get_if<T>(&b);
        },
        a);
}

bool isPointer(const TEntryItem& e) {
    return (e.IFDNumber() == eiTIFF && (e.Tag() == 34665 || e.Tag() == 34853)) ||
           (e.IFDNumber() == eiExif && e.Tag() == 40965);
}

// The entries of a collection by directory, each directory in tag order (the order they are
// written in).
std::vector<const TEntryItem*> byDirectoryAndTag(const TEntryItems& items) {
    std::vector<const TEntryItem*> list;
    for (int i = 0; i < items.Count(); ++i) list.push_back(items.Items(i));
    std::stable_sort(list.begin(), list.end(), [](const TEntryItem* a, const TEntryItem* b) {
        return a->IFDNumber() != b->IFDNumber() ? a->IFDNumber() < b->IFDNumber() : a->Tag() < b->Tag();
    });
    return list;
}

// Same tags, directories, types and values; pointer values apart.
void expectSameEntries(const TEntryItems& wasItems, const TEntryItems& nowItems) {
    const auto was = byDirectoryAndTag(wasItems);
    const auto now = byDirectoryAndTag(nowItems);
    ASSERT_EQ(was.size(), now.size());
    for (std::size_t i = 0; i < was.size(); ++i) {
        const TEntryItem& a = *was[i];
        const TEntryItem& b = *now[i];
        SCOPED_TRACE("entry " + std::to_string(i) + " tag " + std::to_string(a.Tag()));
        EXPECT_EQ(a.Tag(), b.Tag());
        EXPECT_EQ(a.IFDNumber(), b.IFDNumber());
        EXPECT_EQ(a.Format(), b.Format());
        if (isPointer(a)) continue;
        ASSERT_EQ(a.DataCount(), b.DataCount());
        for (int k = 0; k < a.DataCount(); ++k) EXPECT_TRUE(sameBlock(a.Data(k), b.Data(k))) << "block " << k;
    }
}

// Position and full size (marker included) of the EXIF APP1 block that the reader finds.
std::pair<qsizetype, qsizetype> exifBlock(const QByteArray& file) {
    TExifInfo info;
    MemoryStream s(file);
    info.ReadExifData(s);
    const qsizetype a = info.App1Position();
    if (a < 0) return {-1, 0};
    const qsizetype length = (static_cast<unsigned char>(file[a + 2]) << 8) | static_cast<unsigned char>(file[a + 3]);
    return {a, 2 + length};
}

// A synthetic file with every value type, in both directories that hold values and GPS and
// Interoperability ones as well.
xt::Dirs allTypes() {
    xt::Dirs d;
    d.ifd0 = {xt::ascii(271, "Maker"), xt::ascii(272, "A long model name"), xt::bytes(1000, {1, 2, 3, 4, 5}),
              xt::numbers(1001, 6, {0xFF, 0x80}), xt::shorts(1002, {7, 65535, 3}),
              xt::numbers(1003, 8, {0xFFFE}), xt::longs(1004, {0xDEADBEEF, 1}),
              xt::numbers(1005, 9, {0xFFFFFF00}), xt::numbers(1006, 11, {0x3FC00000, 0x7FC00001}),
              xt::numbers(1007, 12, {0x400921FB54442D18ULL}), xt::rationals(282, {{72, 1}}),
              xt::srationals(1008, {{-1, 3}, {5, -7}}), xt::undefined(1009, QByteArray("\0\1\2", 3))};
    d.exif = {xt::ascii(36867, "2014:08:15 21:30:45"), xt::undefined(37510, QByteArray("ASCII\0\0\0hello", 13)),
              xt::shorts(34855, {800})};
    d.gps = {xt::bytes(0, {2, 2, 0, 0}), xt::ascii(1, "N"), xt::rationals(2, {{35, 1}, {40, 1}, {1234, 100}})};
    d.interop = {xt::ascii(1, "R98"), xt::undefined(2, "0100")};
    d.ifd1 = {xt::shorts(259, {6}), xt::longs(513, {0}), xt::longs(514, {0})};
    return d;
}

// ---- Writing a file back ----

struct RoundTripCase {
    const char* name;
    QString fixture;   // a file in the fixture folder, or empty for the synthetic one
    bool little;       // byte order of the synthetic file
    std::uint16_t order;
};
void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, WritingTheReadFileKeepsEveryEntryAndThePicture) {
    const RoundTripCase& c = GetParam();
    QTemporaryDir dir;
    const QByteArray original =
        c.fixture.isEmpty() ? xt::buildJpeg(allTypes(), c.little) : readAll(kFixtures + c.fixture);
    const QString path = writeFile(dir, "picture.jpg", original);

    TExifInfo was;
    was.setImageFileName(path);
    ASSERT_EQ(was.ByteOrder(), c.order);
    ASSERT_GT(was.Entrys().Count(), 5);
    ASSERT_TRUE(was.WriteExif(path, false));

    const QByteArray written = readAll(path);
    TExifInfo now;
    now.setImageFileName(path);
    EXPECT_EQ(now.ByteOrder(), c.order);
    expectSameEntries(was.Entrys(), now.Entrys());
    EXPECT_EQ(now.ThmEntrys().Count(), 0) << "IFD1 is dropped without a thumbnail";

    // Everything around the EXIF block is untouched, byte for byte.
    const auto [a0, n0] = exifBlock(original);
    const auto [a1, n1] = exifBlock(written);
    ASSERT_GE(a0, 2);
    ASSERT_EQ(a1, a0);
    EXPECT_EQ(written.left(a1), original.left(a0));
    EXPECT_EQ(written.mid(a1 + n1), original.mid(a0 + n0));
    EXPECT_EQ(a1 + n1, written.size() - (original.size() - a0 - n0));
}

INSTANTIATE_TEST_SUITE_P(
    Files, RoundTrip,
    testing::Values(RoundTripCase{"Canon_little_endian", "Canon_40D.jpg", true, 0x4949},
                    RoundTripCase{"Fujifilm_big_endian", "Fujifilm_FinePix6900ZOOM.jpg", false, 0x4D4D},
                    RoundTripCase{"Nikon_little_endian", "Nikon_D70.jpg", true, 0x4949},
                    RoundTripCase{"all_types_little_endian", QString(), true, 0x4949},
                    RoundTripCase{"all_types_big_endian", QString(), false, 0x4D4D}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WriteExif, FileWithoutExifGetsTheBlockAfterItsApp0) {
    QTemporaryDir dir;
    const QByteArray app0 = xt::jfifApp0();
    const QByteArray original = xt::jpeg(app0 + xt::segment(0xFFE2, "ICC"));
    const QString path = writeFile(dir, "jfif.jpg", original);

    TExifInfo info;  // nothing read: no byte order either
    info.setMake("Maker");
    ASSERT_TRUE(info.WriteExif(path, false));
    const QByteArray written = readAll(path);

    EXPECT_EQ(written.left(2), hex("FFD8"));
    EXPECT_EQ(written.mid(2, app0.size()), app0);
    const qsizetype at = 2 + app0.size();
    EXPECT_EQ(written.mid(at, 2), hex("FFE1"));
    EXPECT_EQ(written.mid(at + 4, 8), QByteArray("Exif\0\0MM", 8)) << "no byte order read: big-endian, said so";
    const qsizetype length = (static_cast<unsigned char>(written[at + 2]) << 8) | static_cast<unsigned char>(written[at + 3]);
    EXPECT_EQ(written.mid(at + 2 + length), original.mid(at)) << "the rest follows the new block unchanged";

    TExifInfo back;
    back.setImageFileName(path);
    EXPECT_EQ(back.Make(), "Maker");
}

TEST(WriteExif, XmpBeforeTheExifBlockStaysAndOnlyTheExifBlockIsReplaced) {
    QTemporaryDir dir;
    const QByteArray head = xt::jfifApp0() + xt::xmpApp1();
    xt::Dirs d;
    d.ifd0 = {xt::ascii(271, "Old")};
    const QByteArray oldBlock = xt::exifApp1(xt::buildTiff(d));
    const QByteArray original = xt::jpeg(head + oldBlock);
    const QString path = writeFile(dir, "xmp.jpg", original);

    TExifInfo info;
    info.setImageFileName(path);
    info.setMake("New make");
    ASSERT_TRUE(info.WriteExif(path, false));
    const QByteArray written = readAll(path);

    EXPECT_EQ(written.left(2 + head.size()), original.left(2 + head.size()));
    EXPECT_EQ(written.mid(2 + head.size(), 10), QByteArray("\xFF\xE1\0\0Exif\0\0", 10).replace(2, 2, written.mid(4 + head.size(), 2)));
    EXPECT_EQ(written.count("http://ns.adobe.com/xap/1.0/"), 1);
    EXPECT_EQ(written.count(QByteArray("Exif\0\0", 6)), 1);
    EXPECT_TRUE(written.endsWith(original.mid(2 + head.size() + oldBlock.size())));

    TExifInfo back;
    back.setImageFileName(path);
    EXPECT_EQ(back.Make(), "New make");
}

TEST(WriteExif, ThumbnailDirectoryPointsAtAJpegOfThePicture) {
    for (const char* name : {"Canon_40D.jpg", "xmp_no_exif.jpg"}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        const QString path = writeFile(dir, "t.jpg", readAll(kFixtures + name));
        const jpeg::HeaderInfo picture = jpeg::readHeader(path);

        TExifInfo info;
        info.setImageFileName(path);
        info.setArtist("Somebody");
        ASSERT_TRUE(info.WriteExif(path, true));

        TExifInfo back;
        back.setImageFileName(path);
        EXPECT_EQ(back.Artist(), "Somebody");
        EXPECT_EQ(back.ThmCompression(), 6);
        const std::uint32_t offset = back.ThmJPEGInterchangeFormat();
        const std::uint32_t length = back.ThmJPEGInterchangeFormatLength();
        const QByteArray file = readAll(path);
        const auto [a, n] = exifBlock(file);
        // The thumbnail is the last thing in the block.
        ASSERT_GT(length, 100u);
        EXPECT_EQ(back.OffsetCardinalPoint() + offset + length, a + n);
        const QByteArray thumb = file.mid(back.OffsetCardinalPoint() + offset, length);
        EXPECT_TRUE(thumb.startsWith(hex("FFD8")));
        EXPECT_TRUE(thumb.endsWith(hex("FFD9")));
        const WorkImage image =
            jpeg::decodeMemory(reinterpret_cast<const std::uint8_t*>(thumb.constData()), static_cast<std::size_t>(thumb.size()));
        const double s = std::min({160.0 / picture.width, 120.0 / picture.height, 1.0});
        EXPECT_EQ(image.width(), static_cast<int>(std::trunc(picture.width * s)));
        EXPECT_EQ(image.height(), static_cast<int>(std::trunc(picture.height * s)));
        // The picture itself still decodes.
        EXPECT_EQ(jpeg::decodeFile(path).width(), picture.width);
    }
}

TEST(WriteExif, ABlockOverTheSegmentLimitIsRefusedAndTheFileIsUnchanged) {
    QTemporaryDir dir;
    const QString path = writeFile(dir, "big.jpg", readAll(kFixtures + "Nikon_D70.jpg"));
    const QByteArray before = readAll(path);
    TExifInfo info;
    info.setImageFileName(path);
    MemoryStream note(QByteArray(70000, 'x'));
    ASSERT_EQ(info.WriteToMakerNote(note, 0), 70000);
    EXPECT_THROW(info.WriteExif(path, false), EExifError);
    EXPECT_EQ(readAll(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"big.jpg"}) << "no temporary left";
}

TEST(WriteExif, MissingFileAndNonJpegFile) {
    QTemporaryDir dir;
    TExifInfo info;
    info.setMake("x");
    EXPECT_FALSE(info.WriteExif(dir.filePath("missing.jpg"), false));
    EXPECT_FALSE(QFile::exists(dir.filePath("missing.jpg")));

    const QByteArray text("just some text, not a picture");
    const QString path = writeFile(dir, "text.jpg", text);
    try {
        info.WriteExif(path, false);
        ADD_FAILURE() << "no exception";
    } catch (const EExifError& e) {
        EXPECT_EQ(e.Message(), "TExifInfo: 有効な画像ファイルではありません");
    }
    EXPECT_EQ(readAll(path), text);
}

// ---- Layout ----

TEST(WriteIFDs, LaysOutDirectoriesValuesAndPointers) {
    TExifInfo info;  // byte order 0: big-endian
    info.setMake("AB");          // inline: "AB\0"
    info.setModel("Camera1");    // 8 bytes out of line
    info.Entrys().AddTag(999);   // type 0: left out
    TEntryItem* pointer = info.Entrys().AddTag(34665);
    pointer->setFormat(efShort);  // made LONG before the layout
    info.setSubsecTime(5);       // "5\0" in the Exif IFD
    info.Entrys().AddTag(998)->setIFDNumber(eiGPS);  // type 0 again: no GPS directory at all
    EXPECT_EQ(info.Entrys().IFDSize(eiTIFF), 50u);
    EXPECT_EQ(info.Entrys().IFDSize(eiExif), 18u);
    EXPECT_EQ(info.Entrys().IFDSize(eiGPS), 0u);
    EXPECT_EQ(info.Entrys().DataSize(), 68u);

    for (const bool withThumbnail : {false, true}) {
        MemoryStream m;
        m.writeBuffer("HEADER..", 8);  // the TIFF header at 0
        info.Entrys().setCardinalPoint(0);
        info.Entrys().WriteIFDs(m, withThumbnail);
        const QByteArray expected = hex(
            "0003"
            "010F 0002 00000003 41420000"
            "0110 0002 00000008 00000032"
            "8769 0004 00000001 0000003A") +
            hex(withThumbnail ? "0000004C" : "00000000") + QByteArray("Camera1\0", 8) +
            hex("0001"
                "9290 0002 00000002 35000000"
                "00000000");
        EXPECT_EQ(m.bytes().mid(8).toHex(' '), expected.toHex(' ')) << "with thumbnail " << withThumbnail;
        EXPECT_EQ(find(info.Entrys(), 272, eiTIFF)->DataOffset(), 50u);
        EXPECT_EQ(find(info.Entrys(), 272, eiTIFF)->Position(), 22u);
        EXPECT_EQ(find(info.Entrys(), 37520, eiExif)->Position(), 60u);
    }
}

TEST(WriteIFDs, LittleEndianValuesOfEveryWidth) {
    TExifInfo info;
    MemoryStream s(xt::buildJpeg({.ifd0 = {xt::ascii(271, "M")}}, true));
    info.ReadExifData(s);
    ASSERT_EQ(info.ByteOrder(), 0x4949);
    TEntryItems& items = info.Entrys();
    items.Clear();
    TEntryItem* e = items.AddTag(0x0102);
    e->setFormat(efSShort);
    e->AddData(std::int16_t{-2});
    e = items.AddTag(0x0103);
    e->setFormat(efDouble);
    e->AddData(1.0);
    e = items.AddTag(0x0104);
    e->setFormat(efSRational);
    e->AddData(TExifSRational{-1, 2});
    MemoryStream m;
    items.setCardinalPoint(0);
    m.writeBuffer("12345678", 8);
    items.WriteIFDs(m, false);
    // Entries at 10, 22, 34; values from 50: the double, then the pair.
    const QByteArray expected = hex(
        "0300"
        "0201 0800 01000000 FEFF0000"
        "0301 0C00 01000000 32000000"
        "0401 0A00 01000000 3A000000"
        "00000000"
        "000000000000F03F"
        "FFFFFFFF 02000000");
    EXPECT_EQ(m.bytes().mid(8).toHex(' '), expected.toHex(' '));
}

TEST(EntryItem, SetLongMakesALongEntry) {
    TEntryItems items;
    TEntryItem* e = items.AddTag(1);
    e->setFormat(efShort);
    e->AddData(std::uint16_t{5});
    e->SetLong(2, 9);
    EXPECT_EQ(e->Format(), efLong);
    ASSERT_EQ(e->DataCount(), 3);
    EXPECT_EQ(e->GetULongData(0), 0u);
    EXPECT_EQ(e->GetULongData(2), 9u);
    EXPECT_EQ(e->EntrySize(), 24u);
    EXPECT_EQ(e->ExifDataCount(), 3u);
    e->SetLong(0, 4);  // already LONG: only the value changes
    EXPECT_EQ(e->DataCount(), 3);
    EXPECT_EQ(e->GetULongData(0), 4u);
    EXPECT_EQ(e->GetULongData(2), 9u);
}

// ---- Setters ----

TEST(Setters, DateTextsAreCutOrPaddedTo19Characters) {
    struct Case {
        QString value;
        QByteArray stored;
    } cases[] = {
        {"2014:08:15 21:30:45 and more", "2014:08:15 21:30:45"},
        {"2014:08:15", "2014:08:15         "},
        {"2014:08:15 21:30:4", "2014:08:15 21:30:4 "},
        {"", "                   "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.toStdString());
        TExifInfo info;
        info.setDateTimeOriginalText(c.value);
        const TEntryItem* e = find(info.Entrys(), 36867, eiExif);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->Format(), efAscii);
        EXPECT_EQ(blockBytes(*e), c.stored + '\0');
        EXPECT_EQ(info.DateTimeOriginalText(), QString::fromLatin1(c.stored));
        info.setDateTimeText(c.value);
        EXPECT_EQ(info.DateTimeText(), QString::fromLatin1(c.stored));
        info.setThmDateTimeText(c.value);
        EXPECT_EQ(info.ThmDateTimeText(), QString::fromLatin1(c.stored));
    }
}

TEST(Setters, DateTimeValuesAreFormatted) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {36526.5, "2000:01:01 12:00:00"},
        {0.0, "1899:12:30 00:00:00"},
        {-0.75, "1899:12:29 06:00:00"},
        {41866.0 + (21 * 3600 + 30 * 60 + 45) / 86400.0, "2014:08:15 21:30:45"},
        {2.0 - 0.1 / 86400000.0, "1900:01:01 00:00:00"},  // rounds up into the next day
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TExifInfo info;
        info.setDateTimeOriginal(c.value);
        EXPECT_EQ(info.DateTimeOriginalText(), c.text);
        info.setDateTime(c.value);
        EXPECT_EQ(info.DateTimeText(), c.text);
        info.setDateTimeDigitized(c.value);
        EXPECT_EQ(info.DateTimeDigitizedText(), c.text);
        info.setThmDateTime(c.value);
        EXPECT_EQ(info.ThmDateTimeText(), c.text);
    }
    TExifInfo info;
    EXPECT_THROW(info.setDateTime(std::nan("")), std::out_of_range);
    EXPECT_THROW(info.setDateTime(1e9), std::out_of_range);
}

TEST(Setters, TextCheckRefusesCharactersAboveFF) {
    using Set = void (TExifInfo::*)(const QString&);
    using Get = QString (TExifInfo::*)();
    struct Case {
        const char* name;
        Set set;
        Get get;
        bool checked;
    } cases[] = {
        {"Artist", &TExifInfo::setArtist, &TExifInfo::Artist, true},
        {"Copyright", &TExifInfo::setCopyright, &TExifInfo::Copyright, true},
        {"ImageDescription", &TExifInfo::setImageDescription, &TExifInfo::ImageDescription, true},
        {"Make", &TExifInfo::setMake, &TExifInfo::Make, true},
        {"Model", &TExifInfo::setModel, &TExifInfo::Model, false},
        {"Software", &TExifInfo::setSoftware, &TExifInfo::Software, true},
        {"ThmMake", &TExifInfo::setThmMake, &TExifInfo::ThmMake, true},
        {"ThmModel", &TExifInfo::setThmModel, &TExifInfo::ThmModel, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Recorder r;
        (r.info.*c.set)(QStringLiteral("Caf\u00e9"));  // U+00E9 passes
        EXPECT_EQ((r.info.*c.get)(), QStringLiteral("Caf\u00e9"));
        (r.info.*c.set)(QStringLiteral("星"));
        if (c.checked) {
            EXPECT_EQ(r.errors, std::vector<int>{kExifNotAscii});
            EXPECT_EQ((r.info.*c.get)(), QStringLiteral("Caf\u00e9")) << "nothing changed";
        } else {
            EXPECT_TRUE(r.errors.empty());
            EXPECT_EQ((r.info.*c.get)(), QStringLiteral("星"));
        }
    }
}

TEST(Setters, SubsecTimeAndUndefinedBytes) {
    TExifInfo info;
    info.setSubsecTime(-42);
    info.setSubsecTimeOriginal(7);
    info.setSubsecTimeDigitized(123);
    EXPECT_EQ(blockBytes(*find(info.Entrys(), 37520, eiExif)), QByteArray("-42", 4));
    EXPECT_EQ(info.SubsecTimeOriginal(), 7);
    EXPECT_EQ(info.SubsecTimeDigitized(), 123);

    info.setFileSource(0x103);  // only the low byte
    const TEntryItem* fs = find(info.Entrys(), 41728, eiExif);
    ASSERT_NE(fs, nullptr);
    EXPECT_EQ(fs->Format(), efUndefined);
    EXPECT_EQ(blockBytes(*fs), hex("03"));
    EXPECT_EQ(info.FileSource(), 3);

    // An existing value keeps its other bytes.
    MemoryStream s(xt::buildJpeg({.exif = {xt::undefined(41729, QByteArray("\x01\x02", 2))}}));
    info.ReadExifData(s);
    info.setSceneType(7);
    EXPECT_EQ(blockBytes(*find(info.Entrys(), 41729, eiExif)), hex("0702"));
    EXPECT_EQ(info.SceneType(), 7);
}

// ---- User comment and maker note ----

TEST(UserComment, CodeBytesAndTextOfEachStyle) {
    struct Case {
        TExifUserCommentStyle code;
        QString comment;
        QByteArray bytes;
        TExifUserCommentStyle readStyle;
    } cases[] = {
        {ucUnicode, QStringLiteral("星 ok"), hex("554E49434F444500 FFFE 1F66 2000 6F00 6B00"), ucUnicode},
        {ucAscii, "night sky", QByteArray("ASCII\0\0\0night sky", 17), ucAscii},
        {ucUndefined, "abc", QByteArray("\0\0\0\0\0\0\0\0abc", 11), ucUndefined},
        {ucUnknown, "abc", QByteArray("\0\0\0\0\0\0\0\0abc", 11), ucUndefined},
        // ESC $ B, 星 in JIS X 0208 (EUC-JP C0 B1 less 80 80), back to ASCII with ESC ( B.
        {ucJIS, QStringLiteral("星"), hex("4A49530000000000 1B2442 4031 1B2842"), ucJIS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.comment.toStdString() + " style " + std::to_string(c.code));
        Recorder r;
        r.info.WriteUserComment(c.comment, c.code);
        EXPECT_TRUE(r.errors.empty());
        const TEntryItem* e = find(r.info.Entrys(), 37510, eiExif);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->Format(), efUndefined);
        EXPECT_EQ(blockBytes(*e).toHex(' '), c.bytes.toHex(' '));
        EXPECT_EQ(r.info.UserComment(), c.comment);
        EXPECT_EQ(r.info.UserCommentStyle(), c.readStyle);
    }
}

TEST(UserComment, AsciiRefusesOtherTextsAndTheSetterKeepsTheStyle) {
    Recorder r;
    r.info.WriteUserComment("first", ucAscii);
    r.info.WriteUserComment(QStringLiteral("星"), ucAscii);
    EXPECT_EQ(r.errors, std::vector<int>{kExifNotAscii});
    EXPECT_EQ(r.info.UserComment(), "first");

    r.info.WriteUserComment("x", ucUnicode);
    r.info.setUserComment(QStringLiteral("オリオン"));
    EXPECT_EQ(r.info.UserCommentStyle(), ucUnicode);
    EXPECT_EQ(r.info.UserComment(), QStringLiteral("オリオン"));
}

TEST(UserComment, UnicodeCommentSurvivesAWrittenFile) {
    QTemporaryDir dir;
    const QString path = writeFile(dir, "c.jpg", readAll(kFixtures + "Fujifilm_FinePix6900ZOOM.jpg"));
    TExifInfo info;
    info.setImageFileName(path);
    info.WriteUserComment(QStringLiteral("月と金星"), ucUnicode);
    ASSERT_TRUE(info.WriteExif(path, false));
    TExifInfo back;
    back.setImageFileName(path);
    EXPECT_EQ(back.UserCommentStyle(), ucUnicode);
    EXPECT_EQ(back.UserComment(), QStringLiteral("月と金星"));
}

TEST(MakerNote, CopiesInAndOut) {
    Recorder r;
    MemoryStream out;
    EXPECT_EQ(r.info.CopyFromMakerNote(out), 0);
    EXPECT_EQ(r.errors, std::vector<int>{kExifTagNotFound});
    EXPECT_EQ(out.size(), 0);

    MemoryStream source(QByteArray("0123456789", 10));
    source.setPosition(3);
    EXPECT_EQ(r.info.WriteToMakerNote(source, 4), 4);
    EXPECT_EQ(source.position(), 7);
    EXPECT_EQ(r.info.CopyFromMakerNote(out), 4);
    EXPECT_EQ(out.bytes(), "3456");

    // A shorter note replaces a longer one completely; 0 takes the rest of the stream.
    source.setPosition(8);
    EXPECT_EQ(r.info.WriteToMakerNote(source, 0), 2);
    MemoryStream second;
    second.writeBuffer("ab", 2);
    EXPECT_EQ(r.info.CopyFromMakerNote(second), 2);
    EXPECT_EQ(second.bytes(), "ab89");
    EXPECT_EQ(r.errors.size(), 1u);
}

}  // namespace
