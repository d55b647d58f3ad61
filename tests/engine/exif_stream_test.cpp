// The byte streams under the EXIF reader: a cached file stream must read exactly what the file
// holds wherever its reads and seeks fall, and no stream ever reads outside its data.

#include "exif/byte_stream.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <random>

using namespace nocturo;

namespace {

QByteArray randomBytes(int n, unsigned seed) {
    std::mt19937 rng(seed);
    QByteArray b(n, Qt::Uninitialized);
    for (char& c : b) c = static_cast<char>(rng() & 0xFF);
    return b;
}

QString writeTemp(const QTemporaryDir& dir, const QByteArray& bytes) {
    const QString path = dir.filePath("data.bin");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return path;
}

}  // namespace

TEST(FileStream, RandomReadsAndSeeksMatchTheFile) {
    QTemporaryDir dir;
    const QByteArray data = randomBytes(100'000, 1);
    FileStream s(writeTemp(dir, data));
    EXPECT_EQ(s.size(), data.size());
    std::mt19937 rng(7);
    std::int64_t pos = 0;
    for (int i = 0; i < 3000; ++i) {
        switch (rng() % 4) {
        case 0: pos = rng() % (data.size() + 100); s.seek(pos, SeekOrigin::Beginning); break;
        case 1: {
            const std::int64_t d = static_cast<std::int64_t>(rng() % 2000) - 1000;
            if (pos + d >= 0) pos = s.seek(d, SeekOrigin::Current);
            break;
        }
        case 2: pos = s.seek(-static_cast<std::int64_t>(rng() % 500), SeekOrigin::End); break;
        default: break;
        }
        // Mostly small reads as a marker walk makes, now and then one larger than the cache.
        const int want = rng() % 10 == 0 ? static_cast<int>(rng() % 40'000) : static_cast<int>(rng() % 9);
        QByteArray got(want, '\0');
        const std::int64_t n = s.read(got.data(), want);
        const std::int64_t expect = std::max<std::int64_t>(0, std::min<std::int64_t>(want, data.size() - pos));
        ASSERT_EQ(n, expect) << "step " << i << " at " << pos;
        ASSERT_EQ(got.left(n), data.mid(pos, n)) << "step " << i << " at " << pos;
        pos += n;
        ASSERT_EQ(s.position(), pos);
    }
}

TEST(FileStream, ReadsPastTheEndFailCleanly) {
    QTemporaryDir dir;
    FileStream s(writeTemp(dir, "abcdef"));
    char buf[8];
    s.setPosition(4);
    EXPECT_THROW(s.readBuffer(buf, 3), StreamError);
    s.setPosition(10);
    EXPECT_EQ(s.read(buf, 1), 0);
    EXPECT_EQ(s.remaining(), 0);
    EXPECT_THROW(s.readByte(), StreamError);
    EXPECT_THROW(s.seek(-11, SeekOrigin::Current), StreamError);
    EXPECT_THROW(s.seek(INT64_MAX, SeekOrigin::End), StreamError);  // no wrap-around
    s.setPosition(2);
    EXPECT_EQ(s.readAll(), QByteArray("cdef"));
    EXPECT_THROW(FileStream(dir.filePath("missing")), StreamError);
}

TEST(FileStream, WritesAreReadBack) {
    QTemporaryDir dir;
    const QString path = dir.filePath("new.bin");
    {
        FileStream s(path, FileStream::Mode::Create);
        s.writeBuffer("0123456789", 10);
        s.setPosition(0);
        char four[4];
        s.readBuffer(four, 4);  // fills the cache
        s.setPosition(2);
        s.writeBuffer("ab", 2);
        s.setPosition(0);
        EXPECT_EQ(s.readAll(), QByteArray("01ab456789"));
        EXPECT_EQ(s.size(), 10);
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("01ab456789"));
}

TEST(MemoryStream, GrowsWithZerosAndCopiesIndependently) {
    MemoryStream s(QByteArray("xyz"));
    s.setPosition(5);
    s.writeBuffer("!", 1);
    EXPECT_EQ(s.bytes(), QByteArray("xyz\0\0!", 6));
    MemoryStream copy(s);
    copy.setPosition(0);
    copy.writeBuffer("A", 1);
    EXPECT_EQ(s.bytes().left(1), QByteArray("x"));
    EXPECT_EQ(copy.position(), 1);
    s.setSize(2);
    EXPECT_EQ(s.bytes(), QByteArray("xy"));
    EXPECT_EQ(s.position(), 6);
    char c;
    EXPECT_EQ(s.read(&c, 1), 0);
    EXPECT_THROW(s.seek(-7, SeekOrigin::Current), StreamError);
}

// The byte-order helper: "II" puts the least significant byte first; "MM" and any other mark
// (a damaged header) the most significant one. Read back what was written, in both forms.
TEST(ByteOrder, ValuesOfEveryWidthInBothOrders) {
    struct Case {
        const char* name;
        std::uint16_t order;
        const char* u16;
        const char* u32;
        const char* u64;
    };
    const Case cases[] = {
        {"little", kLittleEndian, "3412", "78563412", "efcdab8967452301"},
        {"big", kBigEndian, "1234", "12345678", "0123456789abcdef"},
        {"unknown mark reads big", 0x2A2A, "1234", "12345678", "0123456789abcdef"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStream s;
        s.writeU16(0x1234, c.order);
        s.writeU32(0x12345678, c.order);
        s.writeU64(0x0123456789ABCDEFULL, c.order);
        EXPECT_EQ(s.bytes().toHex(), QByteArray(c.u16) + c.u32 + c.u64);
        s.setPosition(0);
        EXPECT_EQ(s.readU16(c.order), 0x1234);
        EXPECT_EQ(s.readU32(c.order), 0x12345678u);
        EXPECT_EQ(s.readU64(c.order), 0x0123456789ABCDEFULL);
        // The raw-byte forms agree with the stream forms.
        const auto* b = reinterpret_cast<const std::uint8_t*>(s.bytes().constData());
        EXPECT_EQ(decodeU16(b, c.order), 0x1234);
        EXPECT_EQ(decodeU32(b + 2, c.order), 0x12345678u);
        EXPECT_EQ(decodeU64(b + 6, c.order), 0x0123456789ABCDEFULL);
        std::uint8_t out[4];
        encodeU32(out, 0x12345678, c.order);
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(out), 4).toHex(), QByteArray(c.u32));
    }
}

TEST(ByteOrder, AValueCutShortByTheEndIsAStreamError) {
    MemoryStream s(QByteArray("\x01\x02\x03", 3));
    EXPECT_THROW(s.readU32(kLittleEndian), StreamError);
    s.setPosition(2);
    EXPECT_THROW(s.readU16(kBigEndian), StreamError);
    s.setPosition(1);
    EXPECT_EQ(s.readU16(kBigEndian), 0x0203);
}
