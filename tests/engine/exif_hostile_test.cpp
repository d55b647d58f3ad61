// Malformed and hostile EXIF blocks: one regression test per case, each ending in the reader's
// "invalid stream" with the entries read so far, never outside the data, never in a loop.

#include "exif/exif_info.h"

#include "exif_builder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <functional>
#include <new>
#include <stdexcept>

using namespace nocturo;
namespace xt = exif_test;
using xt::Recorder;

namespace {

const std::vector<int> kInvalid{kExifInvalidStream};

// A one-component frame header of 64 x 48: 11 bytes after its marker word.
QByteArray greySof() { return xt::segment(0xFFC0, QByteArray("\x08\x00\x30\x00\x40\x01\x01\x11\x00", 9)); }

// The frame header first and the EXIF block last, so that a truncated block is the end of the
// stream (the byte scan finds the APP1's FF as the 12th byte after the frame header's marker).
QByteArray blockAtEnd(const QByteArray& tiff) {
    return xt::word(0xFFD8) + greySof() + xt::segment(0xFFE1, QByteArray("Exif\0\0", 6) + tiff);
}

// Bytes held in all value blocks of a collection.
std::int64_t heldBytes(const TEntryItems& items) {
    std::int64_t n = 0;
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem& e = *items[i];
        for (int k = 0; k < e.DataCount(); ++k) {
            if (const auto* s = std::get_if<std::unique_ptr<MemoryStream>>(&e.Data(k)))
                n += (*s)->size();
            else if (const auto* t = std::get_if<std::unique_ptr<QByteArray>>(&e.Data(k)))
                n += (*t)->size();
            else
                n += ExifTypeSize(e.Format());
        }
    }
    return n;
}

}  // namespace

TEST(Hostile, CountTimesSizeOverflowing32Bits) {
    // 0x40000001 LONGs are 0x100000004 bytes: 4 in 32-bit arithmetic, which would read
    // "inline" and then allocate a billion values.
    for (auto [type, count] : {std::pair{4, 0x40000001u}, std::pair{5, 0x20000001u}, std::pair{12, 0x20000001u}}) {
        Recorder r;
        r.read(xt::buildJpeg({.ifd0 = {xt::ascii(271, "Kept"), xt::rawField(0x4444, std::uint16_t(type), count, 0x0A0B0C0D),
                                       xt::ascii(272, "Never")}}));
        EXPECT_EQ(r.errors, kInvalid) << type;
        ASSERT_EQ(r.info.Entrys().Count(), 2) << type;
        EXPECT_EQ(r.info.Make(), "Kept");
        // The entry that failed keeps what it got: tag, type, count and offset, no values.
        const TEntryItem& bad = *r.info.Entrys()[1];
        EXPECT_EQ(bad.Tag(), 0x4444);
        EXPECT_EQ(bad.ExifDataCount(), count);
        EXPECT_EQ(bad.Offset(), 0x0A0B0C0Du);
        EXPECT_EQ(bad.DataCount(), 0);
        EXPECT_EQ(r.updates, 1);  // only the start of the read: no notification after a failure
    }
}

TEST(Hostile, ValueOffsetBeyondTheStream) {
    for (std::uint32_t offset : {0xFFFFFFF0u, 0x80000000u, 100000u}) {
        Recorder r;
        r.read(xt::buildJpeg({.ifd0 = {xt::shorts(274, {1}), xt::rawField(271, 2, 20, offset)}}));
        EXPECT_EQ(r.errors, kInvalid) << offset;
        EXPECT_EQ(r.info.Entrys().Count(), 2);
        EXPECT_EQ(r.info.Orientation(), eoTopLeft);
        EXPECT_EQ(r.info.Entrys()[1]->DataCount(), 0);
    }
}

TEST(Hostile, ValueRunningPastTheEnd) {
    // The value starts inside the stream and its count runs past the end by one byte.
    xt::Tiff t(true);
    t.add({xt::undefined(0x9286, QByteArray(40, 'u'))});
    QByteArray tiff = t.build();
    const std::uint32_t at = 8 + 2 + 12 + 4;  // where the builder put the 40 bytes
    tiff[8 + 2 + 4] = 41;                      // count 41
    Recorder r;
    r.read(blockAtEnd(tiff));
    EXPECT_EQ(r.errors, kInvalid);
    ASSERT_EQ(r.info.Entrys().Count(), 1);
    EXPECT_EQ(r.info.Entrys()[0]->Offset(), at);
    EXPECT_EQ(r.info.Entrys()[0]->DataCount(), 0);
    tiff[8 + 2 + 4] = 40;  // the control: exactly to the end reads
    Recorder ok;
    ok.read(blockAtEnd(tiff));
    EXPECT_TRUE(ok.errors.empty());
    EXPECT_EQ(ok.info.Entrys()[0]->DataCount(), 1);
}

TEST(Hostile, DirectoryCountBeyondTheData) {
    xt::Tiff t(true);
    t.add({xt::ascii(271, "First"), xt::shorts(274, {3})});
    QByteArray tiff = t.build();
    tiff[8] = '\xFF';  // 65535 entries announced, 2 present, then the next-IFD offset and the end
    tiff[9] = '\xFF';
    Recorder r;
    r.read(blockAtEnd(tiff));
    EXPECT_EQ(r.errors, kInvalid);
    // The block ends with the next-IFD offset (0) and "First\0": 10 bytes. The two real entries;
    // a third whose tag and type are the zero offset and whose count is "Firs" (type 0: no
    // value, so nothing more is read); a fourth, added before it is loaded, that meets the end.
    ASSERT_EQ(r.info.Entrys().Count(), 4);
    EXPECT_EQ(r.info.Entrys()[2]->Tag(), 0);
    EXPECT_EQ(r.info.Entrys()[2]->Format(), 0);
    EXPECT_EQ(r.info.Entrys()[2]->ExifDataCount(), 0x73726946u);  // "Firs" read little-endian
    EXPECT_EQ(r.info.Make(), "First");
    EXPECT_EQ(r.info.Orientation(), eoBottomRight);
}

TEST(Hostile, Ifd0OffsetBeyondTheStream) {
    xt::Tiff t(false);
    t.add({xt::ascii(271, "x")});
    t.setIfd0OffsetRaw(0xFFFFFFFF);
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    EXPECT_EQ(r.errors, kInvalid);
    EXPECT_EQ(r.info.Entrys().Count(), 0);
    EXPECT_TRUE(r.info.ByteOrderRead());
}

TEST(Hostile, ExifPointerBeyondTheStreamKeepsIfd0) {
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::ascii(272, "Model"), xt::longs(34665, {0x7FFFFFF0}), xt::shorts(274, {6})},
                          .ifd1 = {xt::shorts(259, {6})}}));
    EXPECT_EQ(r.errors, kInvalid);
    EXPECT_EQ(r.info.Entrys().Count(), 3);
    EXPECT_EQ(r.info.Model(), "Model");
    EXPECT_EQ(r.info.ThmEntrys().Count(), 0);  // the thumbnail directories come later
}

TEST(Hostile, OverlappingValuesCannotMultiplyMemory) {
    // 3000 entries all naming the same 20000-byte value: 60 MB if each were read. A directory
    // may take no more value bytes than the stream holds after the TIFF header.
    std::vector<xt::Entry> entries;
    const std::uint32_t blobAt = 8 + 2 + 12 * 3001 + 4;
    entries.push_back(xt::undefined(0xA000, QByteArray(20000, 'b')));
    for (int i = 0; i < 3000; ++i) entries.push_back(xt::rawField(0xA001, 7, 20000, blobAt));
    xt::Tiff t(true);
    t.add(entries);
    const QByteArray file = blockAtEnd(t.build());
    Recorder r;
    r.read(file);
    EXPECT_EQ(r.errors, kInvalid);
    EXPECT_LE(heldBytes(r.info.Entrys()), file.size());
    EXPECT_GE(r.info.Entrys().Count(), 2);  // the blob itself and one more copy fit the budget
    EXPECT_LT(r.info.Entrys().Count(), 10);
}

TEST(Hostile, PointerLoopThroughEveryDirectoryEnds) {
    // Every pointer of every directory names IFD0, whose next directory is IFD0 as well.
    xt::Tiff t(false);
    t.add({xt::pointer(34665, 0), xt::pointer(34853, 0), xt::pointer(40965, 0), xt::undefined(0xB000, QByteArray(300, 'v'))});
    t.setNext(0, 0);
    Recorder r;
    r.read(xt::jpeg(xt::exifApp1(t.build())));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.Entrys().Count(), 4 * 4);      // IFD0, Exif, GPS, Interoperability
    EXPECT_EQ(r.info.ThmEntrys().Count(), 3 * 4);   // IFD1, its Exif and Interoperability
}

TEST(Hostile, ExifHeaderWithoutTwoZeroBytes) {
    // The header skip reads until two zero bytes and a non-zero one: here it meets the end.
    const QByteArray file = xt::word(0xFFD8) + greySof() + xt::word(0xFFE1) + QByteArray(5000, 'E');
    Recorder r;
    r.read(file);
    EXPECT_EQ(r.errors, kInvalid);
    EXPECT_FALSE(r.info.ByteOrderRead());
}

TEST(Hostile, StreamEndsInsideAnEntry) {
    xt::Tiff t(true);
    t.add({xt::shorts(274, {8}), xt::ascii(271, "Whole")});
    const QByteArray tiff = t.build().left(8 + 2 + 12 + 3);  // the second entry: tag and half its type
    Recorder r;
    r.read(blockAtEnd(tiff));
    EXPECT_EQ(r.errors, kInvalid);
    ASSERT_EQ(r.info.Entrys().Count(), 2);
    EXPECT_EQ(r.info.Orientation(), eoLeftBottom);
    EXPECT_EQ(r.info.Entrys()[1]->Tag(), 271);  // got its tag before the end
    EXPECT_EQ(r.info.Entrys()[1]->Format(), 0);
    EXPECT_EQ(r.info.Make(), "");
}

TEST(Hostile, StreamEndsInsideTheTiffHeader) {
    for (int keep : {0, 1, 2, 5, 7}) {
        Recorder r;
        r.read(blockAtEnd(QByteArray("II\x2A\x00\x08\x00\x00\x00", 8).left(keep)));
        EXPECT_EQ(r.errors, kInvalid) << keep;
        EXPECT_EQ(r.info.Entrys().Count(), 0);
    }
}

TEST(Hostile, FrameWalkWithZeroLengthsEnds) {
    // Lengths 0 and 1 step back into the segment: the walk still moves on and ends.
    QByteArray file = xt::word(0xFFD8);
    for (int i = 0; i < 200; ++i) file += xt::word(0xFFE5) + xt::word(std::uint16_t(i % 2));
    Recorder r;
    EXPECT_THROW(r.read(file), EExifError);
}

TEST(Hostile, UnknownTypeWithHugeCountAllocatesNothing) {
    Recorder r;
    r.read(xt::buildJpeg({.ifd0 = {xt::rawField(0x5000, 0xFF, 0xFFFFFFFF, 0), xt::rawField(0x5001, 0, 0xFFFFFFFF, 0),
                                   xt::ascii(271, "After")}}));
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.info.Entrys().Count(), 3);
    EXPECT_EQ(r.info.Make(), "After");
}

// Inputs that once made the reader misbehave (from the fuzzer), each a test of its own.
class RegressionFile : public ::testing::TestWithParam<QString> {};

TEST_P(RegressionFile, ReadsToADefinedEnd) {
    QFile f(QStringLiteral(NOCTURO_FIXTURES "/exif/regress/") + GetParam());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    Recorder r;
    try {
        r.read(bytes);
    } catch (const EExifError& e) {
        EXPECT_TRUE(e.Message().startsWith("TExifInfo: "));
        return;
    }
    for (int code : r.errors) EXPECT_TRUE(code == kExifNotExif || code == kExifInvalidStream) << code;
    EXPECT_LE(heldBytes(r.info.Entrys()), 8 * bytes.size());
    // The getters cope with whatever was read.
    (void)r.info.UserComment();
    (void)r.info.ComponentsConfigurationText();
    (void)r.info.ExposureTime()->Text();
    QByteArray thumb;
    MemoryStream s(bytes);
    try {
        r.info.GetThumbnail(thumb, &s);
    } catch (const std::exception&) {
        // a broken thumbnail may fail, but only by an exception
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RegressionFile);
INSTANTIATE_TEST_SUITE_P(Fuzz, RegressionFile,
                         ::testing::ValuesIn([] {
                             std::vector<QString> names;
                             for (const QString& n : QDir(QStringLiteral(NOCTURO_FIXTURES "/exif/regress")).entryList(QDir::Files))
                                 names.push_back(n);
                             return names;
                         }()),
                         [](const auto& info) {
                             std::string n = info.param.toStdString();
                             for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

namespace {

// A stream over bytes that fails with a chosen exception once a read reaches a given position:
// a fault inside the reader itself rather than a malformed block.
class FaultingStream final : public ByteStream {
public:
    FaultingStream(QByteArray bytes, std::int64_t faultAt, std::function<void()> fault)
        : inner_(std::move(bytes)), faultAt_(faultAt), fault_(std::move(fault)) {}
    std::int64_t read(void* buffer, std::int64_t count) override {
        if (inner_.position() + count > faultAt_) fault_();
        return inner_.read(buffer, count);
    }
    std::int64_t write(const void* buffer, std::int64_t count) override { return inner_.write(buffer, count); }
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override { return inner_.seek(offset, origin); }
    std::int64_t size() const override { return inner_.size(); }

private:
    MemoryStream inner_;
    std::int64_t faultAt_;
    std::function<void()> fault_;
};

}  // namespace

TEST(Hostile, OnlyStreamFailuresBecomeAnInvalidStream) {
    xt::Tiff t(true);
    t.add({xt::ascii(271, "Mk"), xt::shorts(274, {3})});
    const QByteArray file = blockAtEnd(t.build());
    // The frame header and the marker search lie before the TIFF directory; the fault hits the
    // directory's second entry, which only ReadApp1 reads.
    const std::int64_t directory = file.indexOf(QByteArray("Exif\0\0", 6)) + 6 + 8;
    const std::int64_t secondEntry = directory + 2 + 12;

    struct Case {
        const char* name;
        std::function<void()> fault;
        std::function<void(FaultingStream&, TExifInfo&)> expect;
    };
    const Case cases[] = {
        {"a stream failure is the invalid-stream error", [] { throw StreamError("gone"); },
         [](FaultingStream& s, TExifInfo& info) { EXPECT_NO_THROW(info.ReadExifData(s)); }},
        {"memory exhaustion passes on", [] { throw std::bad_alloc(); },
         [](FaultingStream& s, TExifInfo& info) { EXPECT_THROW(info.ReadExifData(s), std::bad_alloc); }},
        {"a program fault passes on", [] { throw std::logic_error("bug"); },
         [](FaultingStream& s, TExifInfo& info) { EXPECT_THROW(info.ReadExifData(s), std::logic_error); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultingStream stream(file, secondEntry, c.fault);
        Recorder r;
        c.expect(stream, r.info);
        if (std::string(c.name).starts_with("a stream")) EXPECT_EQ(r.errors, kInvalid);
        else EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(r.info.Make(), "Mk");  // the (inline) entry before the fault was read
    }
}
