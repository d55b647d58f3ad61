// The writing side of TExifInfo: setters, the user comment and maker note, the layout of the
// TIFF directories and the new APP1 block that replaces the old one in a JPEG file.

#include "exif/exif_info.h"
#include "exif/exif_tags.h"
#include "exif/thumbnail_codec.h"

#include "common/jpeg_codec.h"
#include "common/text_codec.h"
#include "common/work_image.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace nocturo {

namespace {

constexpr std::int64_t kMaxSegmentLength = 0xFFFF;
constexpr std::int64_t kMakerNoteTail = 12;

constexpr TExifIFD kDirectoryOrder[] = {eiTIFF, eiExif, eiGPS, eiInteroperability};

std::uint16_t byteOrderOf(const TEntryItems* items) {
    const TExifInfo* info = items ? items->Owner() : nullptr;
    return info ? info->ByteOrder() : kLittleEndian;
}

void writeWord(ByteStream& s, std::uint16_t v, std::uint16_t order) { s.writeU16(v, order); }
void writeLong(ByteStream& s, std::uint32_t v, std::uint16_t order) { s.writeU32(v, order); }
void writeQuad(ByteStream& s, std::uint64_t v, std::uint16_t order) { s.writeU64(v, order); }
void writeZeros(ByteStream& s, std::int64_t n) {
    static constexpr std::uint8_t zeros[8] = {};
    while (n > 0) {
        const std::int64_t k = std::min<std::int64_t>(n, 8);
        s.writeBuffer(zeros, k);
        n -= k;
    }
}

// The text bytes of an ASCII block: everything before the first NUL.
const QByteArray* textBlock(const std::vector<TExifData>& datas) {
    if (datas.empty()) return nullptr;
    const auto* p = std::get_if<std::unique_ptr<QByteArray>>(&datas.front());
    return p && *p ? p->get() : nullptr;
}
const MemoryStream* streamBlock(const std::vector<TExifData>& datas) {
    if (datas.empty()) return nullptr;
    const auto* p = std::get_if<std::unique_ptr<MemoryStream>>(&datas.front());
    return p && *p ? p->get() : nullptr;
}

int bytesPerValue(std::uint8_t format) {
    switch (format) {
    case efByte: case efAscii: case efSByte: case efUndefined: return 1;
    case efShort: case efSShort: return 2;
    case efLong: case efSLong: case efFloat: return 4;
    default: return 8;
    }
}

// One numeric block in the entry's type; a block of another kind writes zeros of the type's
// size, so that the layout computed beforehand still holds.
template <typename T>
const T* blockAs(const TExifData& block) {
    return std::get_if<T>(&block);
}

std::uint16_t bigEndian16(const QByteArray& bytes, qsizetype at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

}  // namespace

// ---- TEntryItem ----

std::uint32_t TEntryItem::EntrySize() {
    std::uint64_t count = 0;
    switch (FFormat) {
    case efAscii:
        // The block holds the count bytes as read, or a set text and its NUL: an unchanged
        // text keeps the count it came with.
        if (const QByteArray* text = textBlock(FDatas)) count = static_cast<std::uint64_t>(text->size());
        break;
    case efUndefined:
        if (const MemoryStream* stream = streamBlock(FDatas)) count = static_cast<std::uint64_t>(stream->size());
        break;
    default: count = FDatas.size(); break;
    }
    FExifDataCount = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, std::numeric_limits<std::uint32_t>::max()));
    const std::uint64_t bytes = static_cast<std::uint64_t>(FExifDataCount) * bytesPerValue(FFormat);
    if (bytes <= 4) return 12;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(12 + bytes, std::numeric_limits<std::uint32_t>::max()));
}

void TEntryItem::SetLong(int Index, std::uint32_t Value) {
    if (Index < 0) throw std::out_of_range("TEntryItem: data index");
    if (FFormat != efLong) {
        Clear();
        FFormat = efLong;
    }
    while (static_cast<int>(FDatas.size()) <= Index) AddData(std::uint32_t{0});
    FDatas[static_cast<std::size_t>(Index)] = Value;
}

void TEntryItem::SetText(const QString& Text) {
    Clear();
    FFormat = efAscii;
    QByteArray bytes = encodeAnsi(Text);
    bytes.append('\0');
    AddData(std::make_unique<QByteArray>(std::move(bytes)));
}

std::int64_t TEntryItem::WriteData(ByteStream& Stream, std::uint16_t ByteOrder) const {
    const std::int64_t start = Stream.position();
    switch (FFormat) {
    case efAscii:
        if (const QByteArray* text = textBlock(FDatas)) Stream.writeBuffer(text->constData(), text->size());
        break;
    case efUndefined:
        if (const MemoryStream* stream = streamBlock(FDatas))
            Stream.writeBuffer(stream->bytes().constData(), stream->bytes().size());
        break;
    case efByte:
    case efSByte:
        for (const TExifData& block : FDatas) {
            std::uint8_t b = 0;
            if (const auto* u = blockAs<std::uint8_t>(block)) b = *u;
            else if (const auto* s = blockAs<std::int8_t>(block)) b = static_cast<std::uint8_t>(*s);
            Stream.writeBuffer(&b, 1);
        }
        break;
    case efShort:
    case efSShort:
        for (const TExifData& block : FDatas) {
            std::uint16_t v = 0;
            if (const auto* u = blockAs<std::uint16_t>(block)) v = *u;
            else if (const auto* s = blockAs<std::int16_t>(block)) v = static_cast<std::uint16_t>(*s);
            writeWord(Stream, v, ByteOrder);
        }
        break;
    case efLong:
    case efSLong:
    case efFloat:
        for (const TExifData& block : FDatas) {
            std::uint32_t v = 0;
            if (const auto* u = blockAs<std::uint32_t>(block)) v = *u;
            else if (const auto* s = blockAs<std::int32_t>(block)) v = static_cast<std::uint32_t>(*s);
            else if (const auto* f = blockAs<float>(block)) v = std::bit_cast<std::uint32_t>(*f);
            writeLong(Stream, v, ByteOrder);
        }
        break;
    case efRational:
    case efSRational:
        for (const TExifData& block : FDatas) {
            std::uint32_t n = 0, d = 0;
            if (const auto* u = blockAs<TExifURational>(block)) {
                n = u->Numerator;
                d = u->Denominator;
            } else if (const auto* s = blockAs<TExifSRational>(block)) {
                n = static_cast<std::uint32_t>(s->Numerator);
                d = static_cast<std::uint32_t>(s->Denominator);
            }
            writeLong(Stream, n, ByteOrder);
            writeLong(Stream, d, ByteOrder);
        }
        break;
    case efDouble:
        for (const TExifData& block : FDatas) {
            const auto* v = blockAs<double>(block);
            writeQuad(Stream, v ? std::bit_cast<std::uint64_t>(*v) : 0, ByteOrder);
        }
        break;
    default: break;  // no value layout for this type
    }
    return Stream.position() - start;
}

void TEntryItem::WriteEntry(ByteStream& Stream) {
    const std::uint16_t order = byteOrderOf(FCollection);
    const std::uint32_t size = EntrySize();
    writeWord(Stream, FTag, order);
    writeWord(Stream, FFormat, order);
    writeLong(Stream, FExifDataCount, order);
    if (size > 12) {
        writeLong(Stream, FDataOffset, order);
    } else {
        // Every inline value field is 4 bytes, also for a count of 0, so entries stay 12 bytes.
        const std::int64_t n = IsWritable() ? WriteData(Stream, order) : 0;
        writeZeros(Stream, 4 - n);
    }
}

// ---- TEntryItems ----

TEntryItem* TEntryItems::SetTagText(std::uint16_t ATag, TExifIFD AIFD, const QString& Text) {
    const int index = IndexOfTag(ATag, AIFD);
    TEntryItem* item = index >= 0 ? Items(index) : AddTag(ATag);
    item->FIFD = AIFD;
    item->SetText(Text);
    return item;
}

std::uint32_t TEntryItems::IFDSize(TExifIFD AIFD) {
    std::uint64_t size = 0;
    bool any = false;
    for (const auto& item : FItems) {
        if (item->FIFD != AIFD || !item->IsWritable()) continue;
        any = true;
        size += item->EntrySize();
    }
    // IFD0 is always written, so that the header's offset 8 finds a directory.
    if (!any && AIFD != eiTIFF) return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(6 + size, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t TEntryItems::DataSize() {
    std::uint64_t size = 0;
    for (const TExifIFD d : kDirectoryOrder) size += IFDSize(d);
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(size, std::numeric_limits<std::uint32_t>::max()));
}

namespace {

bool isPointerTag(std::uint16_t tag, TExifIFD ifd) {
    return (ifd == eiTIFF && (tag == kTagExifPointer || tag == kTagGpsPointer)) ||
           (ifd == eiExif && tag == kTagInteropPointer);
}

std::int64_t even(std::int64_t p) { return p + (p & 1); }

// Places the pieces of a TIFF block one after another on even offsets (TIFF word alignment),
// around one range that must stay where it is.
class Allocator {
public:
    Allocator(std::int64_t start, std::int64_t keepFrom, std::int64_t keepTo)
        : next_(start), keepFrom_(keepFrom), keepTo_(keepTo) {}
    std::int64_t place(std::int64_t length) {
        std::int64_t p = even(next_);
        if (keepTo_ > keepFrom_ && p < keepTo_ && p + length > keepFrom_) p = even(keepTo_);
        next_ = p + length;
        return p;
    }
    std::int64_t end() const { return even(std::max(next_, keepTo_)); }

private:
    std::int64_t next_;
    std::int64_t keepFrom_, keepTo_;
};

}  // namespace

void TEntryItems::WriteIFDs(ByteStream& Stream, bool WithThumbnail) {
    const std::uint16_t order = byteOrderOf(this);
    struct Pointer {
        std::uint16_t tag;
        TExifIFD in;
    };
    constexpr Pointer kPointers[] = {{kTagJpegOffset, eiTIFF},
                                     {kTagExifPointer, eiTIFF},
                                     {kTagGpsPointer, eiTIFF},
                                     {kTagInteropPointer, eiExif}};
    // Pointer entries become one LONG before sizes are taken, so that fixing them up afterwards
    // cannot change the size of an entry already laid out.
    for (const Pointer& p : kPointers)
        if (const int index = IndexOfTag(p.tag, p.in); index >= 0) {
            TEntryItem* item = Items(index);
            item->SetLong(0, item->GetULongData(0));
        }

    // Which directories are written: a directory with entries of its own, and the Exif IFD also
    // when it only carries the Interoperability pointer. A directory with entries gets the
    // pointer that leads to it, or no reader would find them.
    std::array<int, 4> own{};
    for (const auto& item : FItems)
        if (item->IsWritable() && item->FIFD <= eiInteroperability && !isPointerTag(item->FTag, item->FIFD))
            ++own[item->FIFD];
    std::array<bool, 4> written{};
    written[eiTIFF] = true;
    written[eiInteroperability] = own[eiInteroperability] > 0;
    written[eiExif] = own[eiExif] > 0 || written[eiInteroperability];
    written[eiGPS] = own[eiGPS] > 0;
    const auto ensurePointer = [&](std::uint16_t tag, TExifIFD in) {
        if (IndexOfTag(tag, in) >= 0) return;
        TEntryItem* item = AddTag(tag);
        item->FIFD = in;
        item->SetLong(0, 0);
    };
    if (written[eiInteroperability]) ensurePointer(kTagInteropPointer, eiExif);
    if (written[eiExif]) ensurePointer(kTagExifPointer, eiTIFF);
    if (written[eiGPS]) ensurePointer(kTagGpsPointer, eiTIFF);
    const auto target = [](std::uint16_t tag) {
        return tag == kTagExifPointer ? eiExif : tag == kTagGpsPointer ? eiGPS : eiInteroperability;
    };

    // Each directory in ascending tag order, as TIFF asks; a pointer to a directory that is not
    // written is left out rather than pointing at nothing.
    std::array<std::vector<TEntryItem*>, 4> entries;
    for (const auto& item : FItems) {
        if (!item->IsWritable() || item->FIFD > eiInteroperability) continue;
        if (isPointerTag(item->FTag, item->FIFD) && !written[target(item->FTag)]) continue;
        entries[item->FIFD].push_back(item.get());
    }
    for (auto& list : entries)
        std::stable_sort(list.begin(), list.end(), [](const TEntryItem* a, const TEntryItem* b) { return a->FTag < b->FTag; });

    // A maker note stays at the offset it had in the block it was read from: many makers store
    // offsets inside it that count from the TIFF header, and those must still hold.
    const std::int64_t base = Stream.position() - FCardinalPoint;
    TEntryItem* makerNote = nullptr;
    std::int64_t keepFrom = 0, keepTo = 0;
    if (FOwner && &FOwner->Entrys() == this)
        for (TEntryItem* item : entries[eiExif])
            if (item->FTag == kTagMakerNote && item->FOffset != 0 && item->EntrySize() > 12) {
                const std::int64_t length = item->EntrySize() - 12;
                // IFD0 must stay where the header says, right at the start.
                const std::int64_t ifd0End = base + 2 + 12 * static_cast<std::int64_t>(entries[eiTIFF].size()) + 4;
                // A note read from beyond any EXIF segment (the reader takes offsets anywhere in
                // the file) is not worth a block of that size.
                if (item->FOffset >= ifd0End && item->FOffset + length + kMakerNoteTail <= kMaxSegmentLength) {
                    makerNote = item;
                    keepFrom = item->FOffset;
                    // Some notes (Nikon's) point just past their end at an empty directory: a
                    // few zero bytes after the note keep that reading as empty.
                    keepTo = keepFrom + length + kMakerNoteTail;
                } else {
                    FOwner->DoError(kExifMakerNoteMoved);
                }
                break;
            }

    // Layout pass.
    Allocator space(base, keepFrom, keepTo);
    std::array<std::int64_t, 4> start{};
    for (const TExifIFD d : kDirectoryOrder) {
        if (!written[d]) continue;
        const auto n = static_cast<std::int64_t>(entries[d].size());
        start[d] = space.place(2 + 12 * n + 4);
        std::int64_t p = start[d] + 2;
        for (TEntryItem* item : entries[d]) {
            item->FPosition = static_cast<std::uint32_t>(p);
            const std::uint32_t size = item->EntrySize();
            if (size == 12)
                item->FDataOffset = 0;
            else if (item == makerNote)
                item->FDataOffset = static_cast<std::uint32_t>(keepFrom);
            else
                item->FDataOffset = static_cast<std::uint32_t>(space.place(size - 12));
            p += 12;
        }
    }
    const std::int64_t end = space.end();
    if (end > std::numeric_limits<std::uint32_t>::max())
        throw EExifError(QStringLiteral("EXIFデータが大きすぎて書き込めません"));

    // Pointer fix-ups.
    const auto fix = [&](std::uint16_t tag, TExifIFD in, std::int64_t value) {
        if (const int index = IndexOfTag(tag, in); index >= 0) Items(index)->SetLong(0, static_cast<std::uint32_t>(value));
    };
    fix(kTagJpegOffset, eiTIFF, end);
    if (written[eiExif]) fix(kTagExifPointer, eiTIFF, start[eiExif]);
    if (written[eiGPS]) fix(kTagGpsPointer, eiTIFF, start[eiGPS]);
    if (written[eiInteroperability]) fix(kTagInteropPointer, eiExif, start[eiInteroperability]);

    // Writing pass, into a block of the laid-out size whose gaps stay zero.
    MemoryStream block;
    block.setSize(end - base);
    const auto at = [&](std::int64_t offset) { block.setPosition(offset - base); };
    for (const TExifIFD d : kDirectoryOrder) {
        if (!written[d]) continue;
        at(start[d]);
        writeWord(block, static_cast<std::uint16_t>(entries[d].size()), order);
        for (TEntryItem* item : entries[d]) item->WriteEntry(block);
        writeLong(block, d == eiTIFF && WithThumbnail ? static_cast<std::uint32_t>(end) : 0, order);
        for (TEntryItem* item : entries[d])
            if (item->FDataOffset != 0) {
                at(item->FDataOffset);
                item->WriteData(block, order);
            }
    }
    Stream.writeBuffer(block.bytes().constData(), block.bytes().size());
}

// ---- TExifInfo: setters ----

void TExifInfo::AssignEntries(const TExifInfo& Source) {
    if (&Source == this) return;
    FEntrys->Assign(*Source.FEntrys);
    FThmEntrys->Assign(*Source.FThmEntrys);
    FByteOrder = Source.FByteOrder;
    FByteOrderRead = Source.FByteOrderRead;
}

bool TExifInfo::IsAnsiText(const QString& Text) {
    return std::all_of(Text.cbegin(), Text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

void TExifInfo::SetCheckedText(TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, const QString& Text) {
    if (!IsAnsiText(Text)) {
        DoError(kExifNotAscii);
        return;
    }
    Items.SetTagText(ATag, AIFD, Text);
}

void TExifInfo::SetDateText(TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, const QString& Text) {
    Items.SetTagText(ATag, AIFD, Text.size() >= 20 ? Text.left(19) : Text.leftJustified(19, u' '));
}

QString TExifInfo::FormatExifDateTime(double Value) {
    // The years 1 to 9999, as the date texts are read.
    constexpr double kFirst = -693593.0, kPastLast = 2958466.0;
    if (!std::isfinite(Value) || Value < kFirst || Value >= kPastLast)
        throw std::out_of_range("日付の値が範囲外です");
    auto day = static_cast<std::int64_t>(std::floor(Value));
    auto ms = static_cast<std::int64_t>(std::llround((Value - static_cast<double>(day)) * 86400000.0));
    if (ms >= 86400000) {
        ++day;
        ms -= 86400000;
    }
    const QDate date = QDate(1899, 12, 30).addDays(day);
    const std::int64_t seconds = ms / 1000;
    return QString::asprintf("%.4d:%.2d:%.2d %.2d:%.2d:%.2d", date.year(), date.month(), date.day(),
                             static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
                             static_cast<int>(seconds % 60));
}

void TExifInfo::setArtist(const QString& Value) { SetCheckedText(*FEntrys, 315, eiTIFF, Value); }
void TExifInfo::setCopyright(const QString& Value) { SetCheckedText(*FEntrys, 33432, eiTIFF, Value); }
void TExifInfo::setImageDescription(const QString& Value) { SetCheckedText(*FEntrys, 270, eiTIFF, Value); }
void TExifInfo::setMake(const QString& Value) { SetCheckedText(*FEntrys, 271, eiTIFF, Value); }
void TExifInfo::setModel(const QString& Value) { FEntrys->SetTagText(kTagModel, eiTIFF, Value); }
void TExifInfo::setSoftware(const QString& Value) { SetCheckedText(*FEntrys, 305, eiTIFF, Value); }
void TExifInfo::setDateTimeText(const QString& Value) { SetDateText(*FEntrys, 306, eiTIFF, Value); }
void TExifInfo::setDateTimeOriginalText(const QString& Value) { SetDateText(*FEntrys, 36867, eiExif, Value); }
void TExifInfo::setDateTimeDigitizedText(const QString& Value) { SetDateText(*FEntrys, 36868, eiExif, Value); }
void TExifInfo::setDateTime(double Value) { setDateTimeText(FormatExifDateTime(Value)); }
void TExifInfo::setDateTimeOriginal(double Value) { setDateTimeOriginalText(FormatExifDateTime(Value)); }
void TExifInfo::setDateTimeDigitized(double Value) { setDateTimeDigitizedText(FormatExifDateTime(Value)); }
void TExifInfo::setSubsecTime(int Value) { FEntrys->SetTagText(37520, eiExif, QString::number(Value)); }
void TExifInfo::setSubsecTimeOriginal(int Value) { FEntrys->SetTagText(37521, eiExif, QString::number(Value)); }
void TExifInfo::setSubsecTimeDigitized(int Value) { FEntrys->SetTagText(37522, eiExif, QString::number(Value)); }
void TExifInfo::setFileSource(int Value) { SetUndefinedByte(41728, Value); }
void TExifInfo::setSceneType(int Value) { SetUndefinedByte(41729, Value); }
void TExifInfo::setUserComment(const QString& Value) { WriteUserComment(Value, UserCommentStyle()); }
void TExifInfo::setThmArtist(const QString& Value) { SetCheckedText(*FThmEntrys, 315, eiTIFF, Value); }
void TExifInfo::setThmCopyright(const QString& Value) { SetCheckedText(*FThmEntrys, 33432, eiTIFF, Value); }
void TExifInfo::setThmImageDescription(const QString& Value) { SetCheckedText(*FThmEntrys, 270, eiTIFF, Value); }
void TExifInfo::setThmMake(const QString& Value) { SetCheckedText(*FThmEntrys, 271, eiTIFF, Value); }
void TExifInfo::setThmModel(const QString& Value) { SetCheckedText(*FThmEntrys, kTagModel, eiTIFF, Value); }
void TExifInfo::setThmSoftware(const QString& Value) { SetCheckedText(*FThmEntrys, 305, eiTIFF, Value); }
void TExifInfo::setThmDateTimeText(const QString& Value) { SetDateText(*FThmEntrys, 306, eiTIFF, Value); }
void TExifInfo::setThmDateTime(double Value) { setThmDateTimeText(FormatExifDateTime(Value)); }

MemoryStream& TExifInfo::EmptyUndefined(std::uint16_t ATag) {
    const int index = FEntrys->IndexOfTag(ATag, eiExif);
    TEntryItem* item = index >= 0 ? FEntrys->Items(index) : FEntrys->AddTag(ATag);
    item->FIFD = eiExif;
    item->Clear();
    item->FFormat = efUndefined;
    auto stream = std::make_unique<MemoryStream>();
    MemoryStream& result = *stream;
    item->AddData(std::move(stream));
    return result;
}

void TExifInfo::SetUndefinedByte(std::uint16_t ATag, int Value) {
    const int index = FEntrys->IndexOfTag(ATag, eiExif);
    TEntryItem* item = index >= 0 ? FEntrys->Items(index) : nullptr;
    MemoryStream* stream = nullptr;
    if (item && item->FFormat == efUndefined && !item->FDatas.empty())
        if (auto* p = std::get_if<std::unique_ptr<MemoryStream>>(&item->FDatas.front()); p && *p) stream = p->get();
    if (!stream) stream = &EmptyUndefined(ATag);  // also turns an entry of another type into UNDEFINED
    const auto byte = static_cast<std::uint8_t>(Value & 0xFF);
    stream->setPosition(0);
    stream->writeBuffer(&byte, 1);
    stream->setPosition(0);
}

// ---- TExifInfo: user comment and maker note ----

void TExifInfo::WriteUserComment(const QString& Comment, TExifUserCommentStyle Code) {
    if (Code == ucAscii && !IsAnsiText(Comment)) {
        DoError(kExifNotAscii);
        return;
    }
    if (Code != ucAscii && Code != ucJIS && Code != ucUnicode) Code = ucUndefined;
    static constexpr char kCodes[4][8] = {
        {'A', 'S', 'C', 'I', 'I', 0, 0, 0}, {'J', 'I', 'S', 0, 0, 0, 0, 0},
        {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0}, {0, 0, 0, 0, 0, 0, 0, 0}};
    QByteArray value(kCodes[Code], 8);
    switch (Code) {
    case ucJIS: value += encodeIso2022Jp(Comment); break;
    case ucUnicode:
        value.append('\xFF').append('\xFE');
        for (const QChar c : Comment) {
            value.append(static_cast<char>(c.unicode() & 0xFF));
            value.append(static_cast<char>(c.unicode() >> 8));
        }
        break;
    default: value += encodeAnsi(Comment); break;
    }
    MemoryStream& stream = EmptyUndefined(kTagUserComment);
    stream.writeBuffer(value.constData(), value.size());
    stream.setPosition(0);
}

std::int64_t TExifInfo::WriteToMakerNote(ByteStream& Stream, std::int64_t ASize) {
    const std::int64_t available = Stream.remaining();
    const std::int64_t n = ASize <= 0 ? available : std::min(ASize, available);
    if (n > std::numeric_limits<int>::max() / 2) throw EExifError(ExifErrorText(kExifInvalidStream));
    // Read first: a failing source leaves the maker note as it was.
    QByteArray bytes(static_cast<qsizetype>(n), Qt::Uninitialized);
    Stream.readBuffer(bytes.data(), n);
    MemoryStream& note = EmptyUndefined(kTagMakerNote);
    note.writeBuffer(bytes.constData(), n);
    note.setPosition(0);
    return n;
}

std::int64_t TExifInfo::CopyFromMakerNote(ByteStream& Stream) {
    const TEntryItem* item = Find(*FEntrys, kTagMakerNote, eiExif, true);
    if (!item) return 0;
    const MemoryStream* note = item->FFormat == efUndefined ? streamBlock(item->FDatas) : nullptr;
    if (!note) {
        DoError(kExifInvalidStream);
        return 0;
    }
    Stream.writeBuffer(note->bytes().constData(), note->bytes().size());
    return note->size();
}

// ---- TExifInfo: the new EXIF block ----

namespace {

TEntryItem* entryOf(TEntryItems& items, std::uint16_t tag, TExifIFD ifd) {
    const int index = items.IndexOfTag(tag, ifd);
    if (index >= 0) return items.Items(index);
    TEntryItem* item = items.AddTag(tag);
    item->setIFDNumber(ifd);
    return item;
}

void setShort(TEntryItem* item, std::uint16_t value) {
    item->Clear();
    item->setFormat(efShort);
    item->AddData(value);
}

void setRational(TEntryItem* item, TExifURational value) {
    item->Clear();
    item->setFormat(efRational);
    item->AddData(value);
}

// Copies IFD0's value of a tag into IFD1, or the given one when IFD0 has none.
void copyOrSet(const TEntryItems& main, TEntryItems& thm, std::uint16_t tag, const std::function<void(TEntryItem*)>& fallback) {
    if (thm.IndexOfTag(tag, eiTIFF) >= 0) return;
    TEntryItem* item = entryOf(thm, tag, eiTIFF);
    if (const int index = main.IndexOfTag(tag, eiTIFF); index >= 0)
        item->Assign(*main.Items(index));
    else
        fallback(item);
}

constexpr std::uint16_t kTagXResolution = 282, kTagYResolution = 283, kTagResolutionUnit = 296,
                        kTagYCbCrPositioning = 531;

}  // namespace

QByteArray TExifInfo::MakeTiffBlock(const QByteArray& Thumbnail) {
    // TIFF asks every IFD0 for its resolution: a block built from nothing gets 72 dpi (and the
    // YCbCr positioning EXIF asks of a JPEG).
    bool ownIfd0 = false;
    for (int i = 0; i < FEntrys->Count(); ++i) {
        const TEntryItem* e = FEntrys->Items(i);
        if (e->IFDNumber() == eiTIFF && e->IsWritable() && !isPointerTag(e->Tag(), eiTIFF)) ownIfd0 = true;
    }
    if (!ownIfd0) {
        setRational(entryOf(*FEntrys, kTagXResolution, eiTIFF), {72, 1});
        setRational(entryOf(*FEntrys, kTagYResolution, eiTIFF), {72, 1});
        setShort(entryOf(*FEntrys, kTagResolutionUnit, eiTIFF), 2);
        setShort(entryOf(*FEntrys, kTagYCbCrPositioning, eiTIFF), 1);  // centred, as our encoder samples
    }

    MemoryStream m;
    FEntrys->setCardinalPoint(0);
    FThmEntrys->setCardinalPoint(0);
    const bool little = FByteOrder == kLittleEndian;
    // Values are written big-endian for any mark other than "II": say so in the header.
    m.writeBuffer(little ? "II" : "MM", 2);
    const std::uint16_t order = little ? kLittleEndian : kBigEndian;
    writeWord(m, 42, order);
    writeLong(m, 8, order);
    const bool withThumbnail = !Thumbnail.isEmpty();
    FEntrys->WriteIFDs(m, withThumbnail);

    if (withThumbnail) {
        TEntryItems& thm = *FThmEntrys;
        // The new thumbnail is a JPEG: the tags that described an uncompressed one (its strips,
        // size and sample layout) would only mislead a reader.
        static constexpr std::uint16_t kStale[] = {256, 257, 258, 262, 273, 277, 278, 279, 284, 530};
        for (int i = thm.Count() - 1; i >= 0; --i) {
            const TEntryItem* e = thm.Items(i);
            if (e->IFDNumber() == eiTIFF && std::find(std::begin(kStale), std::end(kStale), e->Tag()) != std::end(kStale))
                thm.Delete(i);
        }
        setShort(entryOf(thm, kTagCompression, eiTIFF), 6);
        copyOrSet(*FEntrys, thm, kTagXResolution, [](TEntryItem* e) { setRational(e, {72, 1}); });
        copyOrSet(*FEntrys, thm, kTagYResolution, [](TEntryItem* e) { setRational(e, {72, 1}); });
        copyOrSet(*FEntrys, thm, kTagResolutionUnit, [](TEntryItem* e) { setShort(e, 2); });
        entryOf(thm, kTagJpegLength, eiTIFF)->SetLong(0, static_cast<std::uint32_t>(Thumbnail.size()));
        entryOf(thm, kTagJpegOffset, eiTIFF);
        thm.WriteIFDs(m, false);
        m.writeBuffer(Thumbnail.constData(), Thumbnail.size());
    }
    return m.bytes();
}

QByteArray TExifInfo::InsertExif(const QByteArray& File, const QByteArray& Thumbnail) {
    const qsizetype size = File.size();
    MemoryStream stream(File);
    // Where the old EXIF block lies, if there is one: its APP1 must carry the Exif identifier and
    // end inside the file, else what the marker search found is not taken for one.
    const std::int64_t a = FindApp1(stream);
    qsizetype headEnd = 2, copyFrom = 2;
    bool replacing = false;
    if (a >= 2 && a + 10 <= size && std::memcmp(File.constData() + a + 4, "Exif\0\0", 6) == 0) {
        const std::int64_t length = bigEndian16(File, static_cast<qsizetype>(a) + 2);
        if (length >= 8 && a + 2 + length <= size) {
            headEnd = static_cast<qsizetype>(a);
            copyFrom = static_cast<qsizetype>(a + 2 + length);
            replacing = true;
        }
    }
    if (!replacing) {
        if (size < 2 || static_cast<unsigned char>(File[0]) != 0xFF || static_cast<unsigned char>(File[1]) != 0xD8)
            throw EExifError(QStringLiteral("有効な画像ファイルではありません"));
        // A JFIF APP0 must stay right after the start of image: the new block goes after it.
        qsizetype at = 2;
        while (at + 4 <= size && static_cast<unsigned char>(File[at]) == 0xFF &&
               static_cast<unsigned char>(File[at + 1]) == 0xE0) {
            const qsizetype length = bigEndian16(File, at + 2);
            if (length < 2 || at + 2 + length > size) break;
            at += 2 + length;
        }
        headEnd = copyFrom = at;
    }

    const QByteArray tiff = MakeTiffBlock(Thumbnail);
    const std::int64_t blockLength = 2 + 6 + tiff.size();
    if (blockLength > kMaxSegmentLength)
        throw EExifError(QStringLiteral("EXIFブロックが %1 バイトになり、上限の 65535 バイトを超えるため書き込めません")
                             .arg(blockLength));
    QByteArray out;
    out.reserve(size + blockLength + 2);
    out.append("\xFF\xD8", 2);
    if (headEnd > 2) out.append(File.constData() + 2, headEnd - 2);
    out.append("\xFF\xE1", 2);
    out.append(static_cast<char>(blockLength >> 8));
    out.append(static_cast<char>(blockLength & 0xFF));
    out.append("Exif\0\0", 6);
    // Offsets in the block count from the TIFF header, wherever the block lands.
    FEntrys->setCardinalPoint(out.size());
    FThmEntrys->setCardinalPoint(out.size());
    out.append(tiff);
    out.append(File.constData() + copyFrom, size - copyFrom);
    return out;
}

bool TExifInfo::WriteExif(const QString& DestFileName, bool IncludeThumbnail) {
    const QFileInfo info(DestFileName);
    if (!info.exists() || info.isDir()) return false;

    QFile source(DestFileName);
    if (!source.open(QIODevice::ReadOnly)) throw EExifError(QStringLiteral("ファイルを開けません: ") + DestFileName);
    const QByteArray file = source.readAll();
    source.close();

    QByteArray thumbnail;
    if (IncludeThumbnail) {
        try {
            MemoryStream picture(file);
            thumbnail = encodeThumbnailJpeg(MakeThumbnail(picture));
        } catch (const jpeg::JpegError&) {
            thumbnail.clear();  // a picture the codec cannot take: written as without a thumbnail
        } catch (const StreamError&) {
            thumbnail.clear();
        }
    }
    const QByteArray written = InsertExif(file, thumbnail);

    // Written beside the target and renamed over it: a failure never leaves a half-written file.
    QSaveFile target(DestFileName);
    if (!target.open(QIODevice::WriteOnly) || target.write(written) != written.size() || !target.commit())
        throw EExifError(QStringLiteral("ファイルを書き込めません: ") + DestFileName);
    return true;
}

}  // namespace nocturo
