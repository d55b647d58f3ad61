#include "exif/byte_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace nocturo {

namespace {

constexpr std::int64_t kCacheSize = 16 * 1024;

std::int64_t resolve(std::int64_t offset, SeekOrigin origin, std::int64_t pos, std::int64_t size) {
    std::int64_t base = 0;
    switch (origin) {
    case SeekOrigin::Beginning: base = 0; break;
    case SeekOrigin::Current: base = pos; break;
    case SeekOrigin::End: base = size; break;
    }
    // Overflow-checked: a hostile offset must not wrap into a valid position.
    std::int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        throw StreamError("seek before the start of the stream");
    return target;
}

template <int N>
std::uint64_t decode(const std::uint8_t* b, std::uint16_t order) {
    std::uint64_t v = 0;
    for (int i = 0; i < N; ++i) v = (v << 8) | b[order == kLittleEndian ? N - 1 - i : i];
    return v;
}
template <int N>
void encode(std::uint8_t* b, std::uint64_t v, std::uint16_t order) {
    for (int i = 0; i < N; ++i) b[order == kLittleEndian ? i : N - 1 - i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

std::uint16_t decodeU16(const std::uint8_t* bytes, std::uint16_t order) {
    return static_cast<std::uint16_t>(decode<2>(bytes, order));
}
std::uint32_t decodeU32(const std::uint8_t* bytes, std::uint16_t order) {
    return static_cast<std::uint32_t>(decode<4>(bytes, order));
}
std::uint64_t decodeU64(const std::uint8_t* bytes, std::uint16_t order) { return decode<8>(bytes, order); }
void encodeU16(std::uint8_t* bytes, std::uint16_t value, std::uint16_t order) { encode<2>(bytes, value, order); }
void encodeU32(std::uint8_t* bytes, std::uint32_t value, std::uint16_t order) { encode<4>(bytes, value, order); }
void encodeU64(std::uint8_t* bytes, std::uint64_t value, std::uint16_t order) { encode<8>(bytes, value, order); }

std::uint16_t ByteStream::readU16(std::uint16_t order) {
    std::uint8_t b[2];
    readBuffer(b, 2);
    return decodeU16(b, order);
}
std::uint32_t ByteStream::readU32(std::uint16_t order) {
    std::uint8_t b[4];
    readBuffer(b, 4);
    return decodeU32(b, order);
}
std::uint64_t ByteStream::readU64(std::uint16_t order) {
    std::uint8_t b[8];
    readBuffer(b, 8);
    return decodeU64(b, order);
}
void ByteStream::writeU16(std::uint16_t value, std::uint16_t order) {
    std::uint8_t b[2];
    encodeU16(b, value, order);
    writeBuffer(b, 2);
}
void ByteStream::writeU32(std::uint32_t value, std::uint16_t order) {
    std::uint8_t b[4];
    encodeU32(b, value, order);
    writeBuffer(b, 4);
}
void ByteStream::writeU64(std::uint64_t value, std::uint16_t order) {
    std::uint8_t b[8];
    encodeU64(b, value, order);
    writeBuffer(b, 8);
}

std::int64_t ByteStream::remaining() {
    const std::int64_t left = size() - position();
    return left > 0 ? left : 0;
}

void ByteStream::readBuffer(void* buffer, std::int64_t count) {
    if (count < 0) throw StreamError("negative read");
    if (count == 0) return;
    if (read(buffer, count) != count) throw StreamError("read past the end of the stream");
}

void ByteStream::writeBuffer(const void* buffer, std::int64_t count) {
    if (count < 0) throw StreamError("negative write");
    if (count == 0) return;
    if (write(buffer, count) != count) throw StreamError("stream write failed");
}

std::uint8_t ByteStream::readByte() {
    std::uint8_t b = 0;
    readBuffer(&b, 1);
    return b;
}

QByteArray ByteStream::readAll() {
    const std::int64_t n = remaining();
    if (n > std::numeric_limits<int>::max() / 2) throw StreamError("stream too large to hold in memory");
    QByteArray bytes(static_cast<qsizetype>(n), Qt::Uninitialized);
    readBuffer(bytes.data(), n);
    return bytes;
}

// ---- MemoryStream ----

std::int64_t MemoryStream::read(void* buffer, std::int64_t count) {
    if (count <= 0 || pos_ >= data_.size()) return 0;
    const std::int64_t n = std::min<std::int64_t>(count, data_.size() - pos_);
    std::memcpy(buffer, data_.constData() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
}

std::int64_t MemoryStream::write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t end = 0;
    if (__builtin_add_overflow(pos_, count, &end) || end > std::numeric_limits<qsizetype>::max() / 2)
        throw StreamError("memory stream too large");
    if (end > data_.size()) setSize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<std::size_t>(count));
    pos_ = end;
    return count;
}

std::int64_t MemoryStream::seek(std::int64_t offset, SeekOrigin origin) {
    pos_ = resolve(offset, origin, pos_, data_.size());
    return pos_;
}

void MemoryStream::setSize(std::int64_t newSize) {
    if (newSize < 0) throw StreamError("negative stream size");
    const qsizetype old = data_.size();
    data_.resize(static_cast<qsizetype>(newSize));
    if (newSize > old) std::memset(data_.data() + old, 0, static_cast<std::size_t>(newSize - old));
}

// ---- FileStream ----

FileStream::FileStream(const QString& path, Mode mode) : file_(path) {
    QIODevice::OpenMode flags = QIODevice::ReadOnly;
    if (mode == Mode::ReadWrite) flags = QIODevice::ReadWrite;
    if (mode == Mode::Create) flags = QIODevice::ReadWrite | QIODevice::Truncate;
    // Our own cache replaces Qt's buffering, which would be flushed by every seek.
    if (!file_.open(flags | QIODevice::Unbuffered))
        throw StreamError("cannot open " + path.toStdString() + ": " + file_.errorString().toStdString());
    size_ = file_.size();
}

std::int64_t FileStream::size() const { return size_; }

bool FileStream::fill(std::int64_t at) {
    cache_.resize(kCacheSize);
    cacheStart_ = at;
    cacheLength_ = 0;
    if (!file_.seek(at)) return false;
    const qint64 n = file_.read(cache_.data(), kCacheSize);
    if (n < 0) throw StreamError("read error: " + file_.errorString().toStdString());
    cacheLength_ = n;
    return n > 0;
}

std::int64_t FileStream::read(void* buffer, std::int64_t count) {
    auto* out = static_cast<char*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        if (pos_ < cacheStart_ || pos_ >= cacheStart_ + cacheLength_) {
            const std::int64_t left = count - done;
            if (left >= kCacheSize) {
                // A large read goes straight to the file.
                if (!file_.seek(pos_)) break;
                const qint64 n = file_.read(out + done, left);
                if (n < 0) throw StreamError("read error: " + file_.errorString().toStdString());
                done += n;
                pos_ += n;
                break;
            }
            if (!fill(pos_)) break;
        }
        const std::int64_t inCache = cacheStart_ + cacheLength_ - pos_;
        const std::int64_t n = std::min(inCache, count - done);
        std::memcpy(out + done, cache_.data() + (pos_ - cacheStart_), static_cast<std::size_t>(n));
        done += n;
        pos_ += n;
    }
    return done;
}

std::int64_t FileStream::write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    cacheLength_ = 0;
    if (!file_.seek(pos_)) throw StreamError("seek failed: " + file_.errorString().toStdString());
    const qint64 n = file_.write(static_cast<const char*>(buffer), count);
    if (n < 0) throw StreamError("write error: " + file_.errorString().toStdString());
    pos_ += n;
    size_ = std::max(size_, pos_);
    return n;
}

std::int64_t FileStream::seek(std::int64_t offset, SeekOrigin origin) {
    pos_ = resolve(offset, origin, pos_, size_);
    return pos_;
}

}  // namespace nocturo
