// Builds small EXIF fixtures byte by byte (TIFF directories inside a JPEG APP1 segment), in
// either byte order, so that tests can state exactly what lies where in a file.
#pragma once

#include "exif/byte_stream.h"
#include "exif/exif_info.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <ostream>
#include <utility>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace exif_test {

// One directory entry described by its logical values; encoded when the TIFF is built.
struct Entry {
    Entry(std::uint16_t tag_, std::uint16_t type_, std::uint32_t count_) : tag(tag_), type(type_), count(count_) {}
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::vector<std::uint64_t> nums;     // numbers (rationals as numerator, denominator, ...)
    QByteArray bytes;                    // ASCII and UNDEFINED values, and raw value bytes
    std::optional<std::uint32_t> field;  // a raw 4-byte value field instead of a value
    int pointsTo = -1;                   // a LONG pointer to the directory of this index
};

inline Entry bytes(std::uint16_t tag, std::initializer_list<std::uint8_t> v) {
    Entry e{tag, 1, static_cast<std::uint32_t>(v.size())};
    for (auto x : v) e.bytes.append(static_cast<char>(x));
    return e;
}
inline Entry ascii(std::uint16_t tag, const QByteArray& text) {  // the NUL is added
    Entry e{tag, 2, static_cast<std::uint32_t>(text.size() + 1)};
    e.bytes = text;
    e.bytes.append('\0');
    return e;
}
inline Entry asciiRaw(std::uint16_t tag, const QByteArray& exactBytes) {  // no NUL added
    Entry e{tag, 2, static_cast<std::uint32_t>(exactBytes.size())};
    e.bytes = exactBytes;
    return e;
}
inline Entry undefined(std::uint16_t tag, const QByteArray& v) {
    Entry e{tag, 7, static_cast<std::uint32_t>(v.size())};
    e.bytes = v;
    return e;
}
inline Entry numbers(std::uint16_t tag, std::uint16_t type, std::initializer_list<std::uint64_t> v) {
    Entry e{tag, type, static_cast<std::uint32_t>(v.size())};
    e.nums.assign(v.begin(), v.end());
    return e;
}
inline Entry shorts(std::uint16_t tag, std::initializer_list<std::uint64_t> v) { return numbers(tag, 3, v); }
inline Entry longs(std::uint16_t tag, std::initializer_list<std::uint64_t> v) { return numbers(tag, 4, v); }
// Rationals: pairs numerator, denominator (signed values as their 32-bit patterns).
inline Entry rationals(std::uint16_t tag, std::initializer_list<std::pair<std::int64_t, std::int64_t>> v,
                       std::uint16_t type = 5) {
    Entry e{tag, type, static_cast<std::uint32_t>(v.size())};
    for (auto [n, d] : v) {
        e.nums.push_back(static_cast<std::uint32_t>(n));
        e.nums.push_back(static_cast<std::uint32_t>(d));
    }
    return e;
}
inline Entry srationals(std::uint16_t tag, std::initializer_list<std::pair<std::int64_t, std::int64_t>> v) {
    return rationals(tag, v, 10);
}
// An entry whose 4-byte value field is given as a number; nothing is stored elsewhere.
inline Entry rawField(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    Entry e{tag, type, count};
    e.field = value;
    return e;
}
inline Entry pointer(std::uint16_t tag, int directory) {
    Entry e{tag, 4, 1};
    e.pointsTo = directory;
    return e;
}

class Tiff {
public:
    explicit Tiff(bool littleEndian) : little_(littleEndian) {}

    // A directory; the first one added is IFD0. Returns its index.
    int add(std::vector<Entry> entries) {
        dirs_.push_back({std::move(entries), std::nullopt, -1});
        return static_cast<int>(dirs_.size()) - 1;
    }
    void setNext(int from, int to) { dirs_[static_cast<std::size_t>(from)].next = to; }
    void setNextRaw(int from, std::uint32_t value) { dirs_[static_cast<std::size_t>(from)].nextRaw = value; }
    // Replaces the two byte-order bytes (the values are then written big-endian).
    void setByteOrderBytes(char a, char b) {
        order_ = {a, b};
        little_ = false;
    }
    void setIfd0OffsetRaw(std::uint32_t value) { ifd0Raw_ = value; }

    // Offset of a directory, relative to the TIFF header, after build().
    std::uint32_t offsetOf(int directory) const { return offsets_[static_cast<std::size_t>(directory)]; }

    QByteArray build() {
        // Pass 1: every directory's offset (sizes do not depend on offsets).
        offsets_.clear();
        std::uint32_t at = 8;
        for (const Dir& d : dirs_) {
            offsets_.push_back(at);
            at += 2 + 12 * static_cast<std::uint32_t>(d.entries.size()) + 4;
            for (const Entry& e : d.entries) {
                const auto v = encodeValue(e);
                if (!e.field && e.pointsTo < 0 && v.size() > 4) at += static_cast<std::uint32_t>(v.size());
            }
        }
        // Pass 2: the bytes.
        QByteArray out;
        if (order_) {
            out.append(order_->first);
            out.append(order_->second);
        } else {
            out.append(little_ ? "II" : "MM", 2);
        }
        put16(out, 42);
        put32(out, ifd0Raw_ ? *ifd0Raw_ : (dirs_.empty() ? 0 : offsets_[0]));
        for (std::size_t k = 0; k < dirs_.size(); ++k) {
            const Dir& d = dirs_[k];
            QByteArray data;
            std::uint32_t dataAt = offsets_[k] + 2 + 12 * static_cast<std::uint32_t>(d.entries.size()) + 4;
            put16(out, static_cast<std::uint16_t>(d.entries.size()));
            for (const Entry& e : d.entries) {
                put16(out, e.tag);
                put16(out, e.type);
                put32(out, e.count);
                if (e.field) {
                    put32(out, *e.field);
                } else if (e.pointsTo >= 0) {
                    put32(out, offsets_[static_cast<std::size_t>(e.pointsTo)]);
                } else {
                    QByteArray v = encodeValue(e);
                    if (v.size() <= 4) {
                        v.append(QByteArray(4 - v.size(), '\0'));
                        out.append(v);
                    } else {
                        put32(out, dataAt + static_cast<std::uint32_t>(data.size()));
                        data.append(v);
                    }
                }
            }
            put32(out, d.nextRaw ? *d.nextRaw : d.next >= 0 ? offsets_[static_cast<std::size_t>(d.next)] : 0);
            out.append(data);
        }
        return out;
    }

private:
    struct Dir {
        std::vector<Entry> entries;
        std::optional<std::uint32_t> nextRaw;
        int next;
    };

    void put16(QByteArray& out, std::uint64_t v) const {
        const char b0 = static_cast<char>(v & 0xFF), b1 = static_cast<char>((v >> 8) & 0xFF);
        if (little_) {
            out.append(b0);
            out.append(b1);
        } else {
            out.append(b1);
            out.append(b0);
        }
    }
    void put32(QByteArray& out, std::uint64_t v) const {
        for (int i = 0; i < 4; ++i) {
            const int shift = little_ ? 8 * i : 8 * (3 - i);
            out.append(static_cast<char>((v >> shift) & 0xFF));
        }
    }
    void put64(QByteArray& out, std::uint64_t v) const {
        for (int i = 0; i < 8; ++i) {
            const int shift = little_ ? 8 * i : 8 * (7 - i);
            out.append(static_cast<char>((v >> shift) & 0xFF));
        }
    }
    QByteArray encodeValue(const Entry& e) const {
        if (!e.nums.empty() || e.bytes.isEmpty()) {
            QByteArray v;
            for (std::uint64_t n : e.nums) {
                switch (e.type) {
                case 1: case 2: case 6: case 7: v.append(static_cast<char>(n & 0xFF)); break;
                case 3: case 8: put16(v, n); break;
                case 4: case 5: case 9: case 10: case 11: put32(v, n); break;
                case 12: put64(v, n); break;
                default: break;
                }
            }
            return v;
        }
        return e.bytes;
    }

    bool little_;
    std::optional<std::pair<char, char>> order_;
    std::optional<std::uint32_t> ifd0Raw_;
    std::vector<Dir> dirs_;
    std::vector<std::uint32_t> offsets_;
};

// ---- JPEG framing ----

inline QByteArray word(std::uint16_t v) {
    QByteArray b;
    b.append(static_cast<char>(v >> 8));
    b.append(static_cast<char>(v & 0xFF));
    return b;
}
// A marker segment: marker, big-endian length (payload + 2), payload.
inline QByteArray segment(std::uint16_t marker, const QByteArray& payload) {
    return word(marker) + word(static_cast<std::uint16_t>(payload.size() + 2)) + payload;
}
inline QByteArray exifApp1(const QByteArray& tiff) { return segment(0xFFE1, QByteArray("Exif\0\0", 6) + tiff); }
inline QByteArray xmpApp1() {
    return segment(0xFFE1, QByteArray("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>", 42));
}
inline QByteArray jfifApp0() { return segment(0xFFE0, QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14)); }
inline QByteArray sof0(int width, int height) {
    QByteArray p;
    p.append('\x08');
    p += word(static_cast<std::uint16_t>(height)) + word(static_cast<std::uint16_t>(width));
    p.append("\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01", 10);
    return segment(0xFFC0, p);
}
inline QByteArray dqt() { return segment(0xFFDB, QByteArray(65, '\x01')); }

// SOI, the given segments, a frame header of width x height, a stub scan and EOI. Not
// decodable: the reader looks at the marker headers only.
inline QByteArray jpeg(const QByteArray& segments, int width = 64, int height = 48) {
    return word(0xFFD8) + segments + dqt() + sof0(width, height) +
           segment(0xFFDA, QByteArray("\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00", 10)) +
           QByteArray("\x12\x34\x56", 3) + word(0xFFD9);
}

// The usual layout: IFD0 (with the pointers the others need), Exif, GPS, Interoperability,
// and IFD1 as IFD0's next directory. Empty lists leave a directory out.
struct Dirs {
    std::vector<Entry> ifd0 = {}, exif = {}, gps = {}, interop = {}, ifd1 = {};
};

inline QByteArray buildTiff(const Dirs& d, bool little = true) {
    int next = 1;
    const int iExif = !d.exif.empty() || !d.interop.empty() ? next++ : -1;
    const int iGps = !d.gps.empty() ? next++ : -1;
    const int iInterop = !d.interop.empty() ? next++ : -1;
    const int i1 = !d.ifd1.empty() ? next++ : -1;
    std::vector<Entry> ifd0 = d.ifd0;
    std::vector<Entry> exif = d.exif;
    if (iExif >= 0) ifd0.push_back(pointer(34665, iExif));
    if (iGps >= 0) ifd0.push_back(pointer(34853, iGps));
    if (iInterop >= 0) exif.push_back(pointer(40965, iInterop));
    Tiff t(little);
    t.add(ifd0);
    if (iExif >= 0) t.add(exif);
    if (iGps >= 0) t.add(d.gps);
    if (iInterop >= 0) t.add(d.interop);
    if (i1 >= 0) {
        t.add(d.ifd1);
        t.setNext(0, i1);
    }
    return t.build();
}

inline QByteArray buildJpeg(const Dirs& d, bool little = true) { return jpeg(exifApp1(buildTiff(d, little))); }

// A component whose error reports and update notifications are recorded.
struct Recorder {
    nocturo::TExifInfo info;
    std::vector<int> errors;
    int updates = 0;
    Recorder() {
        info.setOnError([this](nocturo::TExifInfo*, int code, bool&) { errors.push_back(code); });
        info.setOnUpdate([this](nocturo::TExifInfo*) { ++updates; });
    }
    void read(const QByteArray& bytes) {
        nocturo::MemoryStream s(bytes);
        info.ReadExifData(s);
    }
};

}  // namespace exif_test
