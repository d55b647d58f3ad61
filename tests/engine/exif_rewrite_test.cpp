// What WriteExif puts into a file, checked by a TIFF walk of our own in the test (not through the
// reader): pointers and the directories they lead to, tag order, word alignment, the maker
// note's place, the thumbnail directory and ASCII counts.

#include "exif/exif_info.h"

#include "common/jpeg_codec.h"
#include "exif_builder.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <map>

using namespace nocturo;
namespace xt = exif_test;

namespace {

const QString kFixtures = QStringLiteral(NOCTURO_FIXTURES "/exif/");


// One directory entry as it lies in the file.
struct RawEntry {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::uint32_t field = 0;   // the value field as a number
    QByteArray value;          // the value bytes, wherever they lie
    bool outOfLine = false;
};
struct RawDir {
    std::uint32_t offset = 0;
    std::vector<RawEntry> entries;
    const RawEntry* find(std::uint16_t tag) const {
        for (const RawEntry& e : entries)
            if (e.tag == tag) return &e;
        return nullptr;
    }
};

// The TIFF block of the file's Exif APP1, walked as any reader would: IFD0 from the header,
// the Exif, GPS and Interoperability IFDs through their pointers, IFD1 as IFD0's next.
class Walk {
public:
    explicit Walk(const QByteArray& file) {
        qsizetype at = 2;
        while (at + 4 <= file.size() && static_cast<unsigned char>(file[at]) == 0xFF) {
            const int marker = static_cast<unsigned char>(file[at + 1]);
            const int length = (static_cast<unsigned char>(file[at + 2]) << 8) | static_cast<unsigned char>(file[at + 3]);
            if (marker == 0xE1 && file.mid(at + 4, 6) == QByteArray("Exif\0\0", 6)) {
                tiff = file.mid(at + 10, length - 8);
                break;
            }
            if (marker == 0xDA) break;
            at += 2 + length;
        }
        if (tiff.size() < 8) return;
        little = tiff.startsWith("II");
        const auto read = [&](std::uint32_t offset, const char* name) {
            RawDir d = dir(offset);
            dirs[name] = d;
            return d;
        };
        const RawDir ifd0 = read(u32(4), "IFD0");
        if (const RawEntry* p = ifd0.find(34665)) {
            const RawDir exif = read(p->field, "Exif");
            if (const RawEntry* q = exif.find(40965)) read(q->field, "Interop");
        }
        if (const RawEntry* p = ifd0.find(34853)) read(p->field, "GPS");
        if (next0 != 0) read(next0, "IFD1");
    }

    std::uint16_t u16(std::uint32_t at) const {
        if (static_cast<qsizetype>(at) + 2 > tiff.size()) {
            ADD_FAILURE() << "read at " << at << " outside the block";
            return 0;
        }
        const auto b = [&](std::uint32_t k) { return static_cast<unsigned>(static_cast<unsigned char>(tiff[k])); };
        return static_cast<std::uint16_t>(little ? b(at) | b(at + 1) << 8 : b(at) << 8 | b(at + 1));
    }
    std::uint32_t u32(std::uint32_t at) const {
        return little ? u16(at) | static_cast<std::uint32_t>(u16(at + 2)) << 16
                      : static_cast<std::uint32_t>(u16(at)) << 16 | u16(at + 2);
    }

    QByteArray tiff;
    bool little = true;
    std::map<std::string, RawDir> dirs;
    std::uint32_t next0 = 0;

private:
    RawDir dir(std::uint32_t offset) {
        RawDir d;
        d.offset = offset;
        if (offset + 2 > static_cast<std::uint32_t>(tiff.size())) {
            ADD_FAILURE() << "directory at " << offset << " outside the block";
            return d;
        }
        const int n = u16(offset);
        if (offset + 2 + 12 * static_cast<std::uint64_t>(n) + 4 > static_cast<std::uint64_t>(tiff.size())) {
            ADD_FAILURE() << "directory at " << offset << " with " << n << " entries runs past the block";
            return d;
        }
        static const int kSize[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
        for (int i = 0; i < n; ++i) {
            const std::uint32_t e = offset + 2 + 12 * static_cast<std::uint32_t>(i);
            RawEntry r;
            r.tag = u16(e);
            r.type = u16(e + 2);
            r.count = u32(e + 4);
            r.field = u32(e + 8);
            const std::uint32_t bytes = r.type <= 12 ? kSize[r.type] * r.count : 0;
            r.outOfLine = bytes > 4;
            r.value = r.outOfLine ? tiff.mid(r.field, bytes) : tiff.mid(e + 8, bytes);
            d.entries.push_back(r);
        }
        if (d.offset == u32(4)) next0 = u32(offset + 2 + 12 * static_cast<std::uint32_t>(n));
        return d;
    }
};

std::vector<std::uint16_t> tagsOf(const RawDir& d) {
    std::vector<std::uint16_t> tags;
    for (const RawEntry& e : d.entries) tags.push_back(e.tag);
    return tags;
}

// A JPEG that decodes: the thumbnail is built from it.
QByteArray realJpeg(int w = 64, int h = 48) {
    WorkImage image(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w * 3; ++x) image.row(y)[x] = static_cast<std::uint8_t>(x * 7 + y * 3);
    return jpeg::encode(image, 90);
}
// Inserts an APP1 built from the directories right after SOI of a real JPEG.
QByteArray realJpegWith(const xt::Dirs& d, bool little = true) {
    const QByteArray body = realJpeg();
    return body.left(2) + xt::exifApp1(xt::buildTiff(d, little)) + body.mid(2);
}

}  // namespace

// ---- Pointers ----

TEST(RewritePointers, ValuesSetIntoADirectoryThatHadNoPointerAreFoundAgain) {
    struct Case {
        const char* name;
        QByteArray file;
    };
    xt::Dirs ifd0Only;
    ifd0Only.ifd0 = {xt::ascii(271, "Maker")};
    const Case files[] = {{"no EXIF at all", xt::jpeg(xt::jfifApp0())}, {"IFD0 only", xt::buildJpeg(ifd0Only)}};
    for (const Case& f : files) {
        SCOPED_TRACE(f.name);
        QTemporaryDir dir;
        const QString path = writeFile(dir, "p.jpg", f.file);
        TExifInfo info;
        info.setImageFileName(path);
        info.setDateTimeOriginalText("2020:01:02 03:04:05");
        info.WriteUserComment("hello", ucAscii);
        TEntryItem* lat = info.Entrys().AddTag(1);
        lat->setIFDNumber(eiGPS);
        lat->SetText("N");
        TEntryItem* index = info.Entrys().AddTag(1);
        index->setIFDNumber(eiInteroperability);
        index->SetText("R98");
        ASSERT_TRUE(info.WriteExif(path, false));

        TExifInfo back;
        back.setImageFileName(path);
        EXPECT_EQ(back.DateTimeOriginalText(), "2020:01:02 03:04:05");
        EXPECT_EQ(back.UserComment(), "hello");
        EXPECT_EQ(back.GPSLatitudeRef(), QChar('N'));
        EXPECT_EQ(back.InteroperabilityIndex(), "R98");
    }
}

TEST(RewritePointers, InteropAloneBringsAnExifDirectoryWithItsPointer) {
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", xt::jpeg(QByteArray()));
    TExifInfo info;
    TEntryItem* index = info.Entrys().AddTag(1);
    index->setIFDNumber(eiInteroperability);
    index->SetText("R98");
    ASSERT_TRUE(info.WriteExif(path, false));
    const Walk w(readAll(path));
    ASSERT_TRUE(w.dirs.count("Exif"));
    EXPECT_EQ(tagsOf(w.dirs.at("Exif")), std::vector<std::uint16_t>{40965});
    ASSERT_TRUE(w.dirs.count("Interop"));
    EXPECT_EQ(tagsOf(w.dirs.at("Interop")), std::vector<std::uint16_t>{1});
}

TEST(RewritePointers, APointerToADirectoryLeftEmptyIsLeftOut) {
    xt::Dirs d;
    d.ifd0 = {xt::ascii(271, "Maker")};
    d.exif = {xt::shorts(34855, {800})};
    d.gps = {xt::ascii(1, "N")};
    d.interop = {xt::ascii(1, "R98")};
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", xt::buildJpeg(d));
    TExifInfo info;
    info.setImageFileName(path);
    // Empty the GPS and Interoperability directories; their pointers stay in the collection.
    for (int i = info.Entrys().Count() - 1; i >= 0; --i) {
        const TEntryItem* e = info.Entrys().Items(i);
        if (e->IFDNumber() == eiGPS || e->IFDNumber() == eiInteroperability) info.Entrys().Delete(i);
    }
    ASSERT_TRUE(info.WriteExif(path, false));
    const Walk w(readAll(path));
    EXPECT_EQ(tagsOf(w.dirs.at("IFD0")), (std::vector<std::uint16_t>{271, 34665}));
    EXPECT_EQ(tagsOf(w.dirs.at("Exif")), std::vector<std::uint16_t>{34855});
    EXPECT_FALSE(w.dirs.count("GPS"));
}

// ---- Order and alignment ----

TEST(RewriteLayout, DirectoriesInTagOrderAndEverythingOnEvenOffsets) {
    const char* fixtures[] = {"Canon_40D.jpg", "Fujifilm_FinePix6900ZOOM.jpg", "Nikon_D70.jpg", "Pentax_K10D.jpg",
                              "xmp_no_exif.jpg", "orientation_landscape_6.jpg"};
    for (const char* name : fixtures) {
        for (const bool thumbnail : {false, true}) {
            SCOPED_TRACE(std::string(name) + (thumbnail ? " with thumbnail" : ""));
            QTemporaryDir dir;
            const QString path = writeFile(dir, "p.jpg", readAll(kFixtures + name));
            TExifInfo info;
            info.setImageFileName(path);
            // Setters append: the new entries must still land in tag order.
            info.setArtist("Somebody");                 // 315, after 306 and others
            info.setSubsecTimeOriginal(12);           // Exif 37521
            info.setImageDescription("A sky with stars, seen from the hill behind the house");  // 270
            ASSERT_TRUE(info.WriteExif(path, thumbnail));
            const Walk w(readAll(path));
            ASSERT_FALSE(w.dirs.empty());
            for (const auto& [dname, d] : w.dirs) {
                SCOPED_TRACE(dname);
                EXPECT_EQ(d.offset % 2, 0u) << "directory at " << d.offset;
                const std::vector<std::uint16_t> tags = tagsOf(d);
                EXPECT_TRUE(std::is_sorted(tags.begin(), tags.end()));
                EXPECT_EQ(std::adjacent_find(tags.begin(), tags.end()), tags.end()) << "a tag twice";
                for (const RawEntry& e : d.entries) {
                    if (!e.outOfLine) continue;
                    EXPECT_EQ(e.field % 2, 0u) << "tag " << e.tag << " value at " << e.field;
                }
            }
            if (thumbnail) {
                ASSERT_TRUE(w.dirs.count("IFD1"));
                EXPECT_EQ(w.next0 % 2, 0u);
            }
        }
    }
}

// ---- Maker note ----

TEST(RewriteMakerNote, StaysAtItsOffsetByteForByteWhateverElseChanges) {
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", readAll(kFixtures + "Fujifilm_FinePix6900ZOOM.jpg"));
    const Walk before(readAll(path));
    const RawEntry* note0 = before.dirs.at("Exif").find(37500);
    ASSERT_TRUE(note0 && note0->outOfLine);

    struct Change {
        const char* name;
        std::function<void(TExifInfo&)> apply;
    };
    const Change changes[] = {
        {"nothing", [](TExifInfo&) {}},
        {"texts grow", [](TExifInfo& i) {
             i.setImageDescription(QString(300, u'x'));
             i.setArtist("Somebody with a long name");
         }},
        {"texts shrink", [](TExifInfo& i) {
             i.setMake("F");
             i.setModel("M");
             i.setSoftware("S");
         }},
    };
    for (const Change& c : changes) {
        for (const bool thumbnail : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (thumbnail ? " with thumbnail" : ""));
            writeFile(dir, "p.jpg", readAll(kFixtures + "Fujifilm_FinePix6900ZOOM.jpg"));
            std::vector<int> errors;
            TExifInfo info;
            info.setOnError([&](TExifInfo*, int code, bool&) { errors.push_back(code); });
            info.setImageFileName(path);
            c.apply(info);
            ASSERT_TRUE(info.WriteExif(path, thumbnail));
            const Walk after(readAll(path));
            const RawEntry* note = after.dirs.at("Exif").find(37500);
            ASSERT_TRUE(note);
            EXPECT_EQ(note->field, note0->field);
            EXPECT_EQ(note->value, note0->value);
            EXPECT_TRUE(errors.empty());
            // Nothing else overlaps it.
            for (const auto& [dname, d] : after.dirs) {
                const std::uint32_t dirEnd = d.offset + 2 + 12 * static_cast<std::uint32_t>(d.entries.size()) + 4;
                EXPECT_TRUE(dirEnd <= note->field || d.offset >= note->field + note->count) << dname;
                for (const RawEntry& e : d.entries) {
                    if (!e.outOfLine || &e == note) continue;
                    EXPECT_TRUE(e.field + e.value.size() <= note->field || e.field >= note->field + note->count)
                            << dname << " tag " << e.tag;
                }
            }
        }
    }
}

TEST(RewriteMakerNote, ANoteThatCannotStayIsMovedAndSaidSo) {
    // IFD0 grows over the place where the note lay: it must move, and the error list says so.
    xt::Dirs d;
    d.ifd0 = {xt::ascii(271, "M")};
    d.exif = {xt::undefined(37500, QByteArray("NOTE-BYTES-HERE!", 16))};
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", xt::buildJpeg(d));
    std::vector<int> errors;
    TExifInfo info;
    info.setOnError([&](TExifInfo*, int code, bool&) { errors.push_back(code); });
    info.setImageFileName(path);
    for (std::uint16_t tag = 1000; tag < 1010; ++tag) info.Entrys().SetTagText(tag, eiTIFF, "x");
    ASSERT_TRUE(info.WriteExif(path, false));
    EXPECT_EQ(errors, std::vector<int>{kExifMakerNoteMoved});
    TExifInfo back;
    back.setImageFileName(path);
    MemoryStream out;
    back.CopyFromMakerNote(out);
    EXPECT_EQ(out.bytes(), QByteArray("NOTE-BYTES-HERE!", 16));
}

TEST(RewriteMakerNote, ANoteFarBeyondTheSegmentIsMovedNotKeptThere) {
    // The reader takes the note 70,000 bytes on, in a later segment: keeping it there would ask
    // for a block no segment can hold.
    const auto build = [](std::uint32_t noteOffset) {
        xt::Dirs d;
        d.ifd0 = {xt::ascii(271, "M")};
        d.exif = {xt::rawField(37500, 7, 16, noteOffset)};
        return xt::buildTiff(d);
    };
    const qsizetype tiffSize = build(0).size();
    const qsizetype fillerPayload = 40000;
    // File: SOI, APP1 (TIFF at byte 12), two APP2 fillers, an APP2 whose payload is the note.
    const qsizetype noteInFile = 2 + (4 + 6 + tiffSize) + 2 * (4 + fillerPayload) + 4;
    const QByteArray note("FAR-AWAY-NOTE!!!", 16);
    const QByteArray segments = xt::exifApp1(build(static_cast<std::uint32_t>(noteInFile - 12))) +
                                xt::segment(0xFFE2, QByteArray(fillerPayload, 'f')) +
                                xt::segment(0xFFE2, QByteArray(fillerPayload, 'g')) + xt::segment(0xFFE2, note);
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", xt::jpeg(segments));
    std::vector<int> errors;
    TExifInfo info;
    info.setOnError([&](TExifInfo*, int code, bool&) { errors.push_back(code); });
    info.setImageFileName(path);
    ASSERT_TRUE(errors.empty());
    ASSERT_TRUE(info.WriteExif(path, false));
    EXPECT_EQ(errors, std::vector<int>{kExifMakerNoteMoved});
    TExifInfo back;
    back.setImageFileName(path);
    MemoryStream out;
    back.CopyFromMakerNote(out);
    EXPECT_EQ(out.bytes(), note);
}

// ---- Thumbnail directory ----

TEST(RewriteThumbnail, IFD1IsACompleteJpegDirectory) {
    xt::Dirs withStrips;
    withStrips.ifd0 = {xt::ascii(271, "M"), xt::rationals(282, {{300, 1}}), xt::rationals(283, {{300, 1}}),
                       xt::shorts(296, {2})};
    withStrips.ifd1 = {xt::shorts(256, {8}),  xt::shorts(257, {8}),      xt::shorts(258, {8, 8, 8}),
                       xt::shorts(259, {1}),  xt::shorts(262, {2}),      xt::longs(273, {0}),
                       xt::shorts(277, {3}),  xt::shorts(278, {8}),      xt::longs(279, {192}),
                       xt::shorts(284, {1}),  xt::ascii(305, "Camera")};
    xt::Dirs noIfd1;
    noIfd1.ifd0 = {xt::ascii(271, "M")};
    struct Case {
        const char* name;
        QByteArray file;
        std::uint32_t resolution;
    };
    const Case cases[] = {{"uncompressed thumbnail before", realJpegWith(withStrips), 300},
                          {"no IFD1 before", realJpegWith(noIfd1), 72},
                          {"no EXIF before", realJpeg(), 72}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = writeFile(dir, "p.jpg", c.file);
        TExifInfo info;
        info.setImageFileName(path);
        ASSERT_TRUE(info.WriteExif(path, true));
        const Walk w(readAll(path));
        ASSERT_TRUE(w.dirs.count("IFD1"));
        const RawDir& d = w.dirs.at("IFD1");
        std::vector<std::uint16_t> expected = {259, 282, 283, 296, 513, 514};
        if (std::string(c.name) == "uncompressed thumbnail before") expected.insert(expected.begin() + 4, 305);
        EXPECT_EQ(tagsOf(d), expected);
        EXPECT_EQ(w.u16(d.offset + 2 + 8), 6) << "Compression 6";
        const RawEntry* x = d.find(282);
        ASSERT_TRUE(x);
        EXPECT_EQ(w.u32(x->field), c.resolution);
        const QByteArray thumb = w.tiff.mid(d.find(513)->field, d.find(514)->field);
        EXPECT_NO_THROW(jpeg::decodeMemory(reinterpret_cast<const std::uint8_t*>(thumb.constData()),
                                           static_cast<std::size_t>(thumb.size())));
    }
}

// ---- IFD0 of a new block ----

TEST(RewriteNewBlock, IFD0GetsTheRequiredResolutionTags) {
    QTemporaryDir dir;
    const QString path = writeFile(dir, "p.jpg", xt::jpeg(xt::jfifApp0()));
    TExifInfo info;
    info.setImageFileName(path);
    info.setDateTimeOriginalText("2020:01:02 03:04:05");
    ASSERT_TRUE(info.WriteExif(path, false));
    const Walk w(readAll(path));
    EXPECT_EQ(tagsOf(w.dirs.at("IFD0")), (std::vector<std::uint16_t>{282, 283, 296, 531, 34665}));
    const RawDir& ifd0 = w.dirs.at("IFD0");
    ASSERT_TRUE(ifd0.find(282) && ifd0.find(296));
    EXPECT_EQ(w.u32(ifd0.find(282)->field), 72u);
    EXPECT_EQ(w.u32(ifd0.find(282)->field + 4), 1u);
    EXPECT_EQ(ifd0.find(296)->value, QByteArray("\x00\x02", 2)) << "inches, big-endian";
}

// ---- ASCII counts ----

TEST(RewriteAscii, AnUnchangedTextKeepsItsCountAChangedOneGetsLengthPlusOne) {
    xt::Dirs d;
    d.ifd0 = {xt::asciiRaw(271, "NoNul"), xt::ascii(272, "Model   "), xt::asciiRaw(305, QByteArray("ab\0\0\0\0", 6))};
    d.gps = {xt::asciiRaw(16, QByteArray("\0\0", 2)), xt::ascii(18, "WGS-84")};
    for (const bool little : {true, false}) {
        QTemporaryDir dir;
        const QString path = writeFile(dir, "p.jpg", xt::buildJpeg(d, little));
        TExifInfo info;
        info.setImageFileName(path);
        info.setArtist("Me");
        ASSERT_TRUE(info.WriteExif(path, false));
        const Walk w(readAll(path));
        const std::pair<std::uint16_t, std::uint32_t> ifd0[] = {{271, 5}, {272, 9}, {305, 6}, {315, 3}};
        for (auto [tag, count] : ifd0) {
            ASSERT_TRUE(w.dirs.at("IFD0").find(tag)) << tag;
            EXPECT_EQ(w.dirs.at("IFD0").find(tag)->count, count) << "tag " << tag;
        }
        EXPECT_EQ(w.dirs.at("IFD0").find(271)->value, "NoNul");
        EXPECT_EQ(w.dirs.at("IFD0").find(305)->value, QByteArray("ab\0\0\0\0", 6));
        EXPECT_EQ(w.dirs.at("GPS").find(16)->count, 2u);
        EXPECT_EQ(w.dirs.at("GPS").find(18)->count, 7u);
    }
}

// ---- JIS user comment ----

TEST(RewriteUserComment, JisCommentsReadBackAsWritten) {
    struct Case {
        const char* text;
        const char* back;
    };
    const Case cases[] = {{"星空", "星空"},
                          {"星ｱ空", "星ア空"},
                          {"ｶﾞｲﾄﾞ ｽﾀｰ", "ガイド スター"},
                          {"a星😀b空c", "a星?b空c"},
                          {"北斗七星 2024", "北斗七星 2024"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QTemporaryDir dir;
        const QString path = writeFile(dir, "p.jpg", xt::jpeg(QByteArray()));
        TExifInfo info;
        info.WriteUserComment(QString::fromUtf8(c.text), ucJIS);
        ASSERT_TRUE(info.WriteExif(path, false));
        TExifInfo back;
        back.setImageFileName(path);
        EXPECT_EQ(back.UserCommentStyle(), ucJIS);
        EXPECT_EQ(back.UserComment(), QString::fromUtf8(c.back));
    }
}
