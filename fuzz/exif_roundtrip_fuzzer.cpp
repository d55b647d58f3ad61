// libFuzzer entry: whatever ReadExifData takes from arbitrary bytes, written back into a JPEG
// by InsertExif and read again, gives the same entries: tag, directory, type and values, each
// directory in tag order. Pointers are the writer's own, and entries without a value layout
// (type 0 or above 12) are left out by design. A block too large for a segment (EExifError) is
// an expected outcome; any other difference aborts.

#include "exif/exif_info.h"
#include "exif/exif_tags.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace nocturo;

namespace {

bool isLayoutTag(const TEntryItem& e) {
    return (e.IFDNumber() == eiTIFF &&
            (e.Tag() == kTagExifPointer || e.Tag() == kTagGpsPointer || e.Tag() == kTagJpegOffset)) ||
           (e.IFDNumber() == eiExif && e.Tag() == kTagInteropPointer);
}

std::vector<const TEntryItem*> comparable(const TEntryItems& items) {
    std::vector<const TEntryItem*> list;
    for (int i = 0; i < items.Count(); ++i) {
        const TEntryItem* e = items.Items(i);
        if (e->IsWritable() && !isLayoutTag(*e)) list.push_back(e);
    }
    std::stable_sort(list.begin(), list.end(), [](const TEntryItem* a, const TEntryItem* b) {
        return a->IFDNumber() != b->IFDNumber() ? a->IFDNumber() < b->IFDNumber() : a->Tag() < b->Tag();
    });
    return list;
}

// The bytes a block stands for, so that NaNs and texts compare exactly.
QByteArray blockBytes(const TExifData& block) {
    return std::visit(
        [](const auto& v) -> QByteArray {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::unique_ptr<QByteArray>>)
                return v ? *v : QByteArray();
            else if constexpr (std::is_same_v<T, std::unique_ptr<MemoryStream>>)
                return v ? v->bytes() : QByteArray();
            else
                return QByteArray(reinterpret_cast<const char*>(&v), sizeof v);
        },
        block);
}

QByteArray valueBytes(const TEntryItem& e) {
    QByteArray bytes;
    for (int k = 0; k < e.DataCount(); ++k) bytes += blockBytes(e.Data(k));
    return bytes;
}

[[noreturn]] void differ(const char* what, const TEntryItem& e) {
    std::fprintf(stderr, "round trip changed %s of tag %u in directory %d\n", what, e.Tag(), int(e.IFDNumber()));
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    TExifInfo was;
    QByteArray written;
    try {
        MemoryStream stream(input);
        was.ReadExifData(stream);
        if (was.Entrys().Count() == 0) return 0;
        // A minimal JPEG to carry the block: the writer needs no picture without a thumbnail.
        written = was.InsertExif(QByteArray("\xFF\xD8\xFF\xC0\x00\x0B\x08\x00\x01\x00\x01\x01\x01\x11\x00\xFF\xD9", 17),
                                 QByteArray());
    } catch (const EExifError&) {
        return 0;
    }
    TExifInfo now;
    now.setOnError([](TExifInfo*, int code, bool&) {
        std::fprintf(stderr, "the written block does not read back: error %d\n", code);
        std::abort();
    });
    MemoryStream back(written);
    now.ReadExifData(back);

    const auto a = comparable(was.Entrys());
    const auto b = comparable(now.Entrys());
    if (a.size() != b.size()) {
        std::fprintf(stderr, "round trip changed the entry count: %zu -> %zu\n", a.size(), b.size());
        std::abort();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const TEntryItem& x = *a[i];
        const TEntryItem& y = *b[i];
        if (x.Tag() != y.Tag() || x.IFDNumber() != y.IFDNumber()) differ("the place", x);
        if (x.Format() != y.Format()) differ("the type", x);
        // An UNDEFINED entry left without its stream by a failed read is written empty and
        // reads back as an empty stream: the same value.
        if (x.Format() != efUndefined && x.DataCount() != y.DataCount()) differ("the value count", x);
        if (valueBytes(x) != valueBytes(y)) differ("a value", x);
    }
    return 0;
}
