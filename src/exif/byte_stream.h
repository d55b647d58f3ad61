// Seekable byte streams over files and memory, the ground the EXIF component reads and writes on.
// Reads past the end and failed opens throw StreamError; nothing here ever reads outside the data.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace nocturo {

// A failed read, write, seek or open. what() is a UTF-8 reason.
class StreamError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class SeekOrigin { Beginning, Current, End };

// Byte order of a TIFF block, as the two bytes of its header lie in the file (the first in the
// low byte): "II" is little-endian; "MM", and any other mark, big-endian.
inline constexpr std::uint16_t kLittleEndian = 0x4949;
inline constexpr std::uint16_t kBigEndian = 0x4D4D;

// 16-, 32- and 64-bit values in a byte order, from and to raw bytes.
std::uint16_t decodeU16(const std::uint8_t* bytes, std::uint16_t order);
std::uint32_t decodeU32(const std::uint8_t* bytes, std::uint16_t order);
std::uint64_t decodeU64(const std::uint8_t* bytes, std::uint16_t order);
void encodeU16(std::uint8_t* bytes, std::uint16_t value, std::uint16_t order);
void encodeU32(std::uint8_t* bytes, std::uint32_t value, std::uint16_t order);
void encodeU64(std::uint8_t* bytes, std::uint64_t value, std::uint16_t order);

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Reads up to count bytes at the position and moves past them; returns the number read.
    virtual std::int64_t read(void* buffer, std::int64_t count) = 0;
    // Writes count bytes at the position (growing the stream) and moves past them.
    virtual std::int64_t write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; a position past the end is allowed (reads there fail), a negative one
    // is a StreamError. Returns the new position.
    virtual std::int64_t seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual std::int64_t size() const = 0;

    std::int64_t position() { return seek(0, SeekOrigin::Current); }
    void setPosition(std::int64_t pos) { seek(pos, SeekOrigin::Beginning); }
    // Bytes between the position and the end (0 when the position is past the end).
    std::int64_t remaining();

    // Exactly count bytes, or StreamError (the position is then unspecified).
    void readBuffer(void* buffer, std::int64_t count);
    void writeBuffer(const void* buffer, std::int64_t count);
    std::uint8_t readByte();
    // All bytes from the position to the end.
    QByteArray readAll();

    // One value in a byte order (kLittleEndian, else big-endian); StreamError at the end.
    std::uint16_t readU16(std::uint16_t order);
    std::uint32_t readU32(std::uint16_t order);
    std::uint64_t readU64(std::uint16_t order);
    void writeU16(std::uint16_t value, std::uint16_t order);
    void writeU32(std::uint32_t value, std::uint16_t order);
    void writeU64(std::uint64_t value, std::uint16_t order);
};

// A growable stream in memory, positioned at 0 after construction. Copies are independent.
class MemoryStream final : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(QByteArray bytes) : data_(std::move(bytes)) {}

    std::int64_t read(void* buffer, std::int64_t count) override;
    std::int64_t write(const void* buffer, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t size() const override { return data_.size(); }

    // Truncates or extends (with zero bytes); the position is kept.
    void setSize(std::int64_t newSize);
    const QByteArray& bytes() const { return data_; }

private:
    QByteArray data_;
    std::int64_t pos_ = 0;
};

// A file opened as a stream. Reads go through a small block cache, so that the many 1-, 2- and
// 4-byte reads of a marker walk cost no system call each.
class FileStream final : public ByteStream {
public:
    enum class Mode { ReadOnly, ReadWrite, Create };
    // Throws StreamError when the file cannot be opened in that mode.
    explicit FileStream(const QString& path, Mode mode = Mode::ReadOnly);

    std::int64_t read(void* buffer, std::int64_t count) override;
    std::int64_t write(const void* buffer, std::int64_t count) override;
    std::int64_t seek(std::int64_t offset, SeekOrigin origin) override;
    std::int64_t size() const override;

private:
    bool fill(std::int64_t at);

    QFile file_;
    std::int64_t pos_ = 0;
    std::int64_t size_ = 0;  // taken at open, kept up to date by our own writes
    std::vector<char> cache_;
    std::int64_t cacheStart_ = 0;
    std::int64_t cacheLength_ = 0;
};

}  // namespace nocturo
