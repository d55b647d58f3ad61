#include "common/jpeg_codec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
// jpeglib.h needs size_t and FILE declared before it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <jpeglib.h>
#include <jerror.h>
#include <memory>
#include <new>
#include <vector>

namespace nocturo::jpeg {

namespace {

// libjpeg reports errors through error_exit, which must not return. We longjmp back into the
// function that owns the decompressor, clean up there and throw: no C++ exception ever unwinds
// through libjpeg's C frames.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool truncated = false;
};

void onErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onMessage(j_common_ptr cinfo, int level) {
    // Warnings (level -1) are corrupt-data notes; a file that ends early is the one we refuse,
    // since libjpeg would silently fill the missing part with grey.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) reinterpret_cast<ErrorManager*>(cinfo->err)->truncated = true;
}

void installErrorManager(ErrorManager& em, jpeg_common_struct* cinfo) {
    cinfo->err = jpeg_std_error(&em.pub);
    em.pub.error_exit = onErrorExit;
    em.pub.emit_message = onMessage;
    em.message[0] = '\0';
}

std::uint64_t availableMemory() {
    // MemAvailable is what the kernel can hand out without swapping; with overcommit a plain
    // allocation would succeed and the process would be killed on first touch instead.
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kb = 0;
    std::string unit;
    while (meminfo >> key >> kb >> unit) {
        if (key == "MemAvailable:") return kb * 1024;
    }
    return 0;  // unknown: do not refuse on this ground
}

}  // namespace

void checkDimensions(std::int64_t w, std::int64_t h) {
    if (w <= 0 || h <= 0) throw JpegError("画像の大きさが 0 です (zero picture size)");
    if (w * h > kMaxPixels)
        throw JpegError(QStringLiteral("画像が大きすぎます: %1 x %2 ピクセル (picture too large)").arg(w).arg(h).toStdString());
    const std::uint64_t need = workingSetBytes(w, h);
    // Released pixel blocks that the process keeps are as good as free for the new images.
    const std::uint64_t system = availableMemory();
    const std::uint64_t avail = system ? system + pooledPixelBytes() : 0;
    if (avail && need > avail)
        throw JpegError(QStringLiteral("メモリが足りません: %1 x %2 ピクセルの画像には %3 MB が必要です (not enough memory)")
                            .arg(w)
                            .arg(h)
                            .arg(need >> 20)
                            .toStdString());
}

namespace {

// Expands CMYK scan lines to BGR. Adobe writers store inverted values (0 = full ink), which is
// what saw_Adobe_marker tells; others store plain ink amounts.
void cmykToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, int width, bool inverted) {
    for (int x = 0; x < width; ++x) {
        int c = cmyk[4 * x], m = cmyk[4 * x + 1], y = cmyk[4 * x + 2], k = cmyk[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        bgr[3 * x] = static_cast<std::uint8_t>((y * k + 127) / 255);
        bgr[3 * x + 1] = static_cast<std::uint8_t>((m * k + 127) / 255);
        bgr[3 * x + 2] = static_cast<std::uint8_t>((c * k + 127) / 255);
    }
}

struct FileCloser {
    void operator()(FILE* f) const { if (f) std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

FilePtr openForReading(const QString& path) {
    FilePtr f(std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!f) {
        const int e = errno;
        throw JpegError(QStringLiteral("ファイルを開けません: %1 (%2)").arg(path, QString::fromLocal8Bit(std::strerror(e))).toStdString());
    }
    return f;
}

// The source of a decode: a file or a memory block.
struct Source {
    FILE* file = nullptr;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

void attachSource(jpeg_decompress_struct& cinfo, const Source& src) {
    if (src.file)
        jpeg_stdio_src(&cinfo, src.file);
    else
        jpeg_mem_src(&cinfo, const_cast<unsigned char*>(src.data), static_cast<unsigned long>(src.size));
}

HeaderInfo headerOf(const Source& src) {
    jpeg_decompress_struct cinfo{};
    ErrorManager em;
    installErrorManager(em, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    if (setjmp(em.jump)) {
        jpeg_destroy_decompress(&cinfo);
        throw JpegError(std::string("JPEG として読めません: ") + em.message);
    }
    jpeg_create_decompress(&cinfo);
    attachSource(cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    HeaderInfo info{static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height), cinfo.num_components};
    jpeg_destroy_decompress(&cinfo);
    return info;
}

// Decodes into `out`, which the caller declared before the setjmp so that it stays valid across
// the longjmp. The image is allocated only after the header passed the size checks.
void decodeInto(const Source& src, int extraRows, WorkImage& out, std::string& error) {
    jpeg_decompress_struct cinfo{};
    ErrorManager em;
    installErrorManager(em, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    // Modified after setjmp, so volatile: its value must survive the longjmp.
    std::vector<std::uint8_t>* volatile cmykRow = nullptr;
    if (setjmp(em.jump)) {
        delete cmykRow;
        jpeg_destroy_decompress(&cinfo);
        error = std::string("JPEG として読めません: ") + em.message;
        return;
    }
    jpeg_create_decompress(&cinfo);
    attachSource(cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
    try {
        checkDimensions(cinfo.image_width, cinfo.image_height);
        out = WorkImage(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height) + extraRows);
        if (cmyk) cmykRow = new std::vector<std::uint8_t>(static_cast<std::size_t>(cinfo.image_width) * 4);
    } catch (const JpegError& e) {
        jpeg_destroy_decompress(&cinfo);
        error = e.what();
        return;
    } catch (const std::bad_alloc&) {
        jpeg_destroy_decompress(&cinfo);
        error = "メモリが足りません (not enough memory for the picture)";
        return;
    }
    jpeg_start_decompress(&cinfo);
    const int width = static_cast<int>(cinfo.output_width);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        if (cmyk) {
            JSAMPROW row = cmykRow->data();
            jpeg_read_scanlines(&cinfo, &row, 1);
            cmykToBgr(row, out.row(y), width, cinfo.saw_Adobe_marker);
        } else {
            // Straight into the image's own rows, several at a time where the decoder can.
            JSAMPROW rows[16];
            const int n = std::min<int>(16, static_cast<int>(cinfo.output_height) - y);
            for (int i = 0; i < n; ++i) rows[i] = out.row(y + i);
            jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
        }
        if (em.truncated) break;
    }
    delete cmykRow;
    cmykRow = nullptr;
    if (em.truncated) {
        jpeg_destroy_decompress(&cinfo);
        out = WorkImage();
        error = "JPEG ファイルが途中で終わっています (the file is truncated)";
        return;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (extraRows > 0) out.fillRect(0, out.height() - extraRows, out.width(), out.height(), kWhite);
}

WorkImage decode(const Source& src, int extraRows) {
    WorkImage out;
    std::string error;
    decodeInto(src, extraRows, out, error);
    if (!error.empty()) throw JpegError(error);
    return out;
}

// The plain decode with the decoder's defaults into one reused row buffer, as `djpeg` does:
// what the engine's speed is measured against.
void decodeRowsInto(const Source& src, std::string& error) {
    jpeg_decompress_struct cinfo{};
    ErrorManager em;
    installErrorManager(em, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    std::vector<std::uint8_t>* volatile row = nullptr;
    if (setjmp(em.jump)) {
        delete row;
        jpeg_destroy_decompress(&cinfo);
        error = std::string("JPEG として読めません: ") + em.message;
        return;
    }
    jpeg_create_decompress(&cinfo);
    attachSource(cinfo, src);
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    row = new std::vector<std::uint8_t>(static_cast<std::size_t>(cinfo.output_width) *
                                        static_cast<std::size_t>(cinfo.output_components));
    JSAMPROW rows[1] = {row->data()};
    while (cinfo.output_scanline < cinfo.output_height && !em.truncated) jpeg_read_scanlines(&cinfo, rows, 1);
    delete row;
    row = nullptr;
    if (!em.truncated) jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

}  // namespace

HeaderInfo readHeader(const QString& path) {
    FilePtr f = openForReading(path);
    return headerOf(Source{f.get(), nullptr, 0});
}

HeaderInfo readHeader(const std::uint8_t* data, std::size_t size) {
    if (!data || size == 0) throw JpegError("JPEG として読めません: 空のデータ (empty data)");
    return headerOf(Source{nullptr, data, size});
}

WorkImage decodeFile(const QString& path, int extraRows) {
    FilePtr f = openForReading(path);
    return decode(Source{f.get(), nullptr, 0}, extraRows);
}

void decodeFileRows(const QString& path) {
    FilePtr f = openForReading(path);
    std::string error;
    decodeRowsInto(Source{f.get(), nullptr, 0}, error);
    if (!error.empty()) throw JpegError(error);
}

WorkImage decodeMemory(const std::uint8_t* data, std::size_t size, int extraRows) {
    if (!data || size == 0) throw JpegError("JPEG として読めません: 空のデータ (empty data)");
    return decode(Source{nullptr, data, size}, extraRows);
}

QByteArray encode(const WorkImage& image, int requestedQuality) {
    if (image.isNull()) throw JpegError("空の画像は保存できません (empty image)");
    const int quality = std::clamp(requestedQuality, 1, 100);
    jpeg_compress_struct cinfo{};
    ErrorManager em;
    installErrorManager(em, reinterpret_cast<jpeg_common_struct*>(&cinfo));
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(em.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw JpegError(std::string("JPEG に変換できません: ") + em.message);
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(image.width());
    cinfo.image_height = static_cast<JDIMENSION>(image.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.row(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(buffer), static_cast<qsizetype>(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

void encodeFile(const WorkImage& image, const QString& path, int quality) {
    const QByteArray bytes = encode(image, quality);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw JpegError(QStringLiteral("ファイルを書き込めません: %1 (%2)").arg(path, file.errorString()).toStdString());
    }
}

}  // namespace nocturo::jpeg
