#include "common/png_codec.h"

#include <QSaveFile>

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

namespace nocturo::png {

namespace {

// ISA-L's level 1: on a 24 MP night sky within 3 % of libdeflate's level 1 in size and as fast or
// faster on one core; unlike libdeflate it can end a part of the stream on a byte boundary (a sync
// flush), so that parts of one picture are compressed on several cores and joined. Level 2 packs
// 1 % tighter for the same time and twice the state.
constexpr int kCompressionLevel = 1;
// Filter "Up" (each byte minus the byte above it): the cheapest filter that still takes the
// sky's smooth gradient and the mark image's empty rows down to runs of zeros.
constexpr std::uint8_t kFilterUp = 2;

void putBE32(std::uint8_t* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(v >> (24 - 8 * i));
}

void putBE32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t b[4];
    putBE32(b, v);
    out.insert(out.end(), b, b + 4);
}

void putChunk(std::vector<std::uint8_t>& out, const char* type, const std::uint8_t* data, std::size_t n) {
    if (n > 0x7FFFFFFFu) throw PngError("PNG chunk too large");
    putBE32(out, static_cast<std::uint32_t>(n));
    const std::size_t at = out.size();
    out.insert(out.end(), type, type + 4);
    if (n) out.insert(out.end(), data, data + n);
    putBE32(out, crc32_gzip_refl(0, out.data() + at, n + 4));
}

// Filter byte and RGB bytes of rows first..last-1 (each row minus the row above in the file).
void filterRows(const WorkImage& image, int first, int last, std::uint8_t* out) {
    const std::size_t w = static_cast<std::size_t>(image.width());
    const std::size_t rowBytes = 1 + 3 * w;
    for (int y = first; y < last; ++y) {
        std::uint8_t* o = out + rowBytes * static_cast<std::size_t>(y - first);
        const std::uint8_t* s = image.row(y);
        o[0] = kFilterUp;
        ++o;
        if (y == 0) {
            for (std::size_t x = 0; x < w; ++x) {
                o[3 * x] = s[3 * x + 2];
                o[3 * x + 1] = s[3 * x + 1];
                o[3 * x + 2] = s[3 * x];
            }
        } else {
            const std::uint8_t* a = image.row(y - 1);
            for (std::size_t x = 0; x < w; ++x) {
                o[3 * x] = static_cast<std::uint8_t>(s[3 * x + 2] - a[3 * x + 2]);
                o[3 * x + 1] = static_cast<std::uint8_t>(s[3 * x + 1] - a[3 * x + 1]);
                o[3 * x + 2] = static_cast<std::uint8_t>(s[3 * x] - a[3 * x]);
            }
        }
    }
}

// An image of at most four colours (the mark image: black, red, blue, green) goes into the file
// as 2-bit palette indices, four pixels a byte with no filter: a twelfth of the bytes to
// compress, and every reader gives back the same pixels. Returns false, having written part of
// `out` only, as soon as a fifth colour turns up (any photograph, in its first row).
constexpr std::uint8_t kFilterNone = 0;

struct Palette {
    std::uint32_t colour[4];  // blue | green << 8 | red << 16
    int count = 0;
};

bool packFourColours(const WorkImage& image, std::uint8_t* out, Palette& palette) {
    const int w = image.width();
    const std::size_t rowBytes = 1 + (static_cast<std::size_t>(w) + 3) / 4;
    std::uint32_t last = 0xFFFFFFFFu;
    int lastIndex = 0;
    auto indexOf = [&](const std::uint8_t* p, int& index) {
        const std::uint32_t c = p[0] | (static_cast<std::uint32_t>(p[1]) << 8) | (static_cast<std::uint32_t>(p[2]) << 16);
        if (c == last) {
            index = lastIndex;
            return true;
        }
        for (int i = 0; i < palette.count; ++i)
            if (palette.colour[i] == c) {
                last = c;
                index = lastIndex = i;
                return true;
            }
        if (palette.count == 4) return false;
        palette.colour[palette.count] = c;
        last = c;
        index = lastIndex = palette.count++;
        return true;
    };
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* s = image.row(y);
        std::uint8_t* o = out + rowBytes * static_cast<std::size_t>(y);
        *o++ = kFilterNone;
        int x = 0;
        for (; x + 4 <= w; x += 4, ++o) {
            const std::uint8_t* p = s + 3 * static_cast<std::ptrdiff_t>(x);
            // Four pixels of the colour just seen (most of a mark image is black): one test.
            const std::uint8_t same[12] = {p[0], p[1], p[2], p[0], p[1], p[2], p[0], p[1], p[2], p[0], p[1], p[2]};
            if (std::memcmp(p + 3, same, 9) == 0 && last == (p[0] | (static_cast<std::uint32_t>(p[1]) << 8) |
                                                               (static_cast<std::uint32_t>(p[2]) << 16))) {
                *o = static_cast<std::uint8_t>(lastIndex * 0x55);
                continue;
            }
            int packed = 0;
            for (int i = 0; i < 4; ++i) {
                int index = 0;
                if (!indexOf(p + 3 * i, index)) return false;
                packed = (packed << 2) | index;
            }
            *o = static_cast<std::uint8_t>(packed);
        }
        if (x < w) {
            int packed = 0, i = 0;
            for (; x < w; ++x, ++i) {
                int index = 0;
                if (!indexOf(s + 3 * static_cast<std::ptrdiff_t>(x), index)) return false;
                packed = (packed << 2) | index;
            }
            *o = static_cast<std::uint8_t>(packed << (2 * (4 - i)));
        }
    }
    return true;
}

// ---- The pixel data: one zlib stream, compressed in parts.

// Below this many raw bytes a part is not worth a thread of its own.
constexpr std::size_t kBytesPerPart = std::size_t{2} << 20;
// Filtered rows are handed to the compressor this many bytes at a time, so that they are still in
// the cache when it reads them and no buffer of the whole picture is needed.
constexpr std::size_t kSliceBytes = std::size_t{256} << 10;
// A piece of compressed bytes is one IDAT chunk, whose length must stay below 2^31.
constexpr std::size_t kMaxPieceBytes = std::size_t{1} << 30;

// Compressed bytes as they go into one IDAT chunk.
struct Piece {
    PooledBuffer bytes;
    std::size_t used = 0;
};

// One part of the zlib stream: its compressed pieces (more than one only where the compressor
// needed more room than the first piece had), and the Adler-32 and length of its raw bytes.
struct Part {
    std::vector<Piece> pieces;
    std::uint32_t adler = 1;
    std::size_t rawBytes = 0;
};

// Deflates the raw bytes of one part as they are handed in. The first part begins with the zlib
// header; a part that is not the last ends with a sync flush (an empty stored block), so that the
// next part's blocks, compressed on their own, start on a byte boundary.
class PartCompressor {
public:
    PartCompressor(Part& part, std::size_t pieceBytes, bool firstPart, bool lastPart)
        : part_(part), pieceBytes_(std::clamp<std::size_t>(pieceBytes, 16, kMaxPieceBytes)), last_(lastPart),
          stream_(std::make_unique<isal_zstream>()), levelBuffer_(new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]) {
        isal_deflate_init(stream_.get());
        stream_->level = kCompressionLevel;
        stream_->level_buf = levelBuffer_.get();
        stream_->level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        stream_->gzip_flag = IGZIP_DEFLATE;
        newPiece();
        if (firstPart) {
            // Deflate with a 32 KiB window, "fastest" (the check bits make 0x7801 a multiple of 31).
            stream_->next_out[0] = 0x78;
            stream_->next_out[1] = 0x01;
            stream_->next_out += 2;
            stream_->avail_out -= 2;
            part_.pieces.back().used = 2;
        }
    }

    // The part's next n raw bytes; `end` with its last ones.
    void add(const std::uint8_t* data, std::size_t n, bool end) {
        part_.adler = isal_adler32(part_.adler, data, n);
        part_.rawBytes += n;
        isal_zstream& z = *stream_;
        z.next_in = const_cast<std::uint8_t*>(data);
        z.avail_in = static_cast<std::uint32_t>(n);
        z.end_of_stream = end && last_;
        z.flush = end && !last_ ? SYNC_FLUSH : NO_FLUSH;
        for (;;) {
            const int result = isal_deflate(&z);
            if (result != COMP_OK) throw PngError("PNG: compression failed (ISA-L error " + std::to_string(result) + ")");
            Piece& piece = part_.pieces.back();
            piece.used = pieceCapacity_ - z.avail_out;
            if (z.avail_out == 0) {
                newPiece();
                continue;
            }
            // Room left and no input left: all of it is out, the final block or the flush too.
            if (z.avail_in == 0) break;
        }
        if (end && last_ && z.internal_state.state != ZSTATE_END) throw PngError("PNG: compression did not finish");
    }

private:
    void newPiece() {
        part_.pieces.push_back({PooledBuffer(pieceBytes_), 0});
        pieceCapacity_ = pieceBytes_;
        stream_->next_out = part_.pieces.back().bytes.data();
        stream_->avail_out = static_cast<std::uint32_t>(pieceCapacity_);
    }

    Part& part_;
    std::size_t pieceBytes_;
    std::size_t pieceCapacity_ = 0;
    bool last_;
    std::unique_ptr<isal_zstream> stream_;
    std::unique_ptr<std::uint8_t[]> levelBuffer_;
};

// Room for a part's compressed bytes: stored blocks add 5 bytes to every 64 KiB, the rest is margin.
std::size_t pieceBytesFor(std::size_t rawBytes, const Layout& layout) {
    if (layout.pieceBytes) return layout.pieceBytes;
    return std::min(rawBytes + rawBytes / 64 + (std::size_t{64} << 10), kMaxPieceBytes);
}

// Rows first..last-1 of the RGB picture, filtered a slice at a time and compressed as one part.
void compressRows(const WorkImage& image, int first, int last, bool lastPart, const Layout& layout, Part& part) {
    const std::size_t rowBytes = 1 + 3 * static_cast<std::size_t>(image.width());
    const int rows = last - first;
    const int rowsPerSlice = static_cast<int>(std::clamp<std::size_t>(kSliceBytes / rowBytes, 1, static_cast<std::size_t>(rows)));
    std::unique_ptr<std::uint8_t[]> slice(new std::uint8_t[rowBytes * static_cast<std::size_t>(rowsPerSlice)]);
    PartCompressor compressor(part, pieceBytesFor(rowBytes * static_cast<std::size_t>(rows), layout), first == 0, lastPart);
    for (int y = first; y < last; y += rowsPerSlice) {
        const int n = std::min(rowsPerSlice, last - y);
        filterRows(image, y, y + n, slice.get());
        compressor.add(slice.get(), rowBytes * static_cast<std::size_t>(n), y + n == last);
    }
}

// The RGB picture's rows cut into parts of about equal height, each compressed on its own thread
// (the last on the calling one).
std::vector<Part> compressPicture(const WorkImage& image, const Layout& layout) {
    const std::size_t rawBytes = (1 + 3 * static_cast<std::size_t>(image.width())) * static_cast<std::size_t>(image.height());
    int count = layout.parts;
    if (count <= 0) {
        const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 2, 4);
        count = static_cast<int>(std::clamp<std::size_t>(rawBytes / kBytesPerPart, 1, cores));
    }
    count = std::min(count, image.height());
    std::vector<Part> parts(static_cast<std::size_t>(count));
    std::vector<std::exception_ptr> errors(parts.size());
    auto run = [&](int i) {
        try {
            const int first = static_cast<int>(static_cast<std::int64_t>(image.height()) * i / count);
            const int last = static_cast<int>(static_cast<std::int64_t>(image.height()) * (i + 1) / count);
            compressRows(image, first, last, i == count - 1, layout, parts[static_cast<std::size_t>(i)]);
        } catch (...) {
            errors[static_cast<std::size_t>(i)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i + 1 < count; ++i) {
        try {
            threads.emplace_back(run, i);
        } catch (const std::system_error&) {
            run(i);  // no thread to be had: this part here, in turn
        }
    }
    run(count - 1);
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
    return parts;
}

// Bytes appended to a part's last piece, or to a new piece where it is full.
void appendToPart(Part& part, const std::uint8_t* data, std::size_t n) {
    Piece* piece = &part.pieces.back();
    if (piece->bytes.size() - piece->used < n) {
        part.pieces.push_back({PooledBuffer(n), 0});
        piece = &part.pieces.back();
    }
    std::memcpy(piece->bytes.data() + piece->used, data, n);
    piece->used += n;
}

// The file in pieces, so that the compressed pixels are written where the compressor put them:
// everything up to the first IDAT, the IDAT chunks (length and type, pixel data, CRC), and IEND.
struct Encoded {
    std::vector<std::uint8_t> head;
    std::vector<Part> parts;
    struct ChunkFrame {
        std::uint8_t lengthAndType[8];
        std::uint8_t crc[4];
    };
    std::vector<ChunkFrame> frames;  // one per piece, in order
    std::vector<std::uint8_t> tail;

    template <class Put>
    bool writeTo(Put put) const {
        if (!put(head.data(), head.size())) return false;
        std::size_t k = 0;
        for (const Part& part : parts)
            for (const Piece& piece : part.pieces) {
                const ChunkFrame& f = frames[k++];
                if (!put(f.lengthAndType, 8) || !put(piece.bytes.data(), piece.used) || !put(f.crc, 4))
                    return false;
            }
        return put(tail.data(), tail.size());
    }
};

Encoded encodeParts(const WorkImage& image, const std::vector<Chunk>& extraChunks, const Layout& layout) {
    if (image.isNull()) throw PngError("PNG: empty image");
    Encoded e;
    // The four-colour form first: it gives up at once on a picture.
    Palette palette;
    {
        const std::size_t indexedBytes = (1 + (static_cast<std::size_t>(image.width()) + 3) / 4) *
                                         static_cast<std::size_t>(image.height());
        PooledBuffer raw(indexedBytes);
        if (packFourColours(image, raw.data(), palette)) {
            e.parts.resize(1);
            PartCompressor compressor(e.parts[0], pieceBytesFor(indexedBytes, layout), true, true);
            for (std::size_t at = 0; at < indexedBytes;) {
                const std::size_t n = std::min(indexedBytes - at, kMaxPieceBytes);
                compressor.add(raw.data() + at, n, at + n == indexedBytes);
                at += n;
            }
        }
    }
    const bool indexed = !e.parts.empty();
    if (!indexed) e.parts = compressPicture(image, layout);

    // The zlib stream's check value closes the last part.
    std::uint32_t adler = e.parts[0].adler;
    for (std::size_t i = 1; i < e.parts.size(); ++i)
        adler = static_cast<std::uint32_t>(adler32_combine(adler, e.parts[i].adler, static_cast<z_off_t>(e.parts[i].rawBytes)));
    std::uint8_t trailer[4];
    putBE32(trailer, adler);
    appendToPart(e.parts.back(), trailer, 4);

    static const std::uint8_t idat[4] = {'I', 'D', 'A', 'T'};
    const std::uint32_t idatCrc = crc32_gzip_refl(0, idat, 4);
    for (Part& part : e.parts)
        for (Piece& piece : part.pieces) {
            Encoded::ChunkFrame f;
            putBE32(f.lengthAndType, static_cast<std::uint32_t>(piece.used));
            std::memcpy(f.lengthAndType + 4, idat, 4);
            putBE32(f.crc, crc32_gzip_refl(idatCrc, piece.bytes.data(), piece.used));
            e.frames.push_back(f);
        }

    std::vector<std::uint8_t>& out = e.head;
    static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    out.insert(out.end(), signature, signature + 8);
    std::uint8_t ihdr[13];
    putBE32(ihdr, static_cast<std::uint32_t>(image.width()));
    putBE32(ihdr + 4, static_cast<std::uint32_t>(image.height()));
    ihdr[8] = indexed ? 2 : 8;  // bits per index or per channel
    ihdr[9] = indexed ? 3 : 2;  // colour type palette or RGB
    ihdr[10] = 0;  // deflate
    ihdr[11] = 0;  // adaptive filtering
    ihdr[12] = 0;  // no interlace
    putChunk(out, "IHDR", ihdr, sizeof ihdr);
    if (indexed) {
        std::uint8_t plte[12];
        for (int i = 0; i < palette.count; ++i) {
            plte[3 * i] = static_cast<std::uint8_t>(palette.colour[i] >> 16);  // red
            plte[3 * i + 1] = static_cast<std::uint8_t>(palette.colour[i] >> 8);
            plte[3 * i + 2] = static_cast<std::uint8_t>(palette.colour[i]);
        }
        putChunk(out, "PLTE", plte, 3 * static_cast<std::size_t>(palette.count));
    }
    for (const Chunk& c : extraChunks) putChunk(out, c.type.data(), c.data.data(), c.data.size());
    putChunk(e.tail, "IEND", nullptr, 0);
    return e;
}

}  // namespace

std::vector<std::uint8_t> encode(const WorkImage& image, const std::vector<Chunk>& extraChunks, const Layout& layout) {
    const Encoded e = encodeParts(image, extraChunks, layout);
    std::size_t bytes = 0;
    e.writeTo([&](const std::uint8_t*, std::size_t n) {
        bytes += n;
        return true;
    });
    std::vector<std::uint8_t> out;
    out.reserve(bytes);
    e.writeTo([&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
    });
    return out;
}

std::vector<std::uint8_t> encode(const WorkImage& image, const std::vector<Chunk>& extraChunks) {
    return encode(image, extraChunks, Layout{});
}

void encodeFile(const WorkImage& image, const QString& path, const std::vector<Chunk>& extraChunks) {
    const Encoded e = encodeParts(image, extraChunks, Layout{});
    QSaveFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && e.writeTo([&](const std::uint8_t* p, std::size_t n) {
        return file.write(reinterpret_cast<const char*>(p), static_cast<qint64>(n)) == static_cast<qint64>(n);
    }) && file.commit();
    if (!written) throw PngError(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()).toStdString());
}

}  // namespace nocturo::png
