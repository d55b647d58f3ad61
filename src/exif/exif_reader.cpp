// The segment reader: JPEG marker walk, TIFF header and directories, entry storage, the error
// dispatcher. Every length, count and offset from the file goes through enforce() or a
// checked operation before anything is read or allocated.

#include "exif/exif_info.h"
#include "exif/exif_tags.h"

#include "common/text_codec.h"

#include <QFileInfo>

#include <bit>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

namespace nocturo {

namespace {

constexpr std::array<int, 13> kTypeSize = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

// A malformed block: caught by the guard of ReadApp1 like any stream failure.
[[noreturn]] void fail(const char* reason) { throw StreamError(reason); }
void enforce(bool condition, const char* reason) {
    if (!condition) fail(reason);
}
std::int64_t checkedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    enforce(!__builtin_add_overflow(a, b, &r), "offset overflow");
    return r;
}

std::uint16_t readWord(ByteStream& s, std::uint16_t order) { return s.readU16(order); }
std::uint32_t readLong(ByteStream& s, std::uint16_t order) { return s.readU32(order); }
// Marker and length words are big-endian whatever the TIFF byte order.
std::uint16_t readMarkerWord(ByteStream& s) { return s.readU16(kBigEndian); }

bool isStartOfFrame(std::uint16_t m) {
    return (m >= 0xFFC0 && m <= 0xFFC3) || (m >= 0xFFC5 && m <= 0xFFC7) || (m >= 0xFFC9 && m <= 0xFFCB) ||
           (m >= 0xFFCD && m <= 0xFFCF);
}

// Holds a collection as updating for the length of a scope.
class UpdateScope {
public:
    explicit UpdateScope(TEntryItems& items) : items_(items) { items_.BeginUpdate(); }
    ~UpdateScope() { items_.EndUpdate(); }

private:
    TEntryItems& items_;
};

}  // namespace

int ExifTypeSize(std::uint8_t format) { return format < kTypeSize.size() ? kTypeSize[format] : 0; }

QString ExifErrorText(int ErrCode) {
    switch (ErrCode) {
    case kExifFileNotFound: return QStringLiteral("ファイルが見つかりません");
    case kExifNotExif: return QStringLiteral("Exif、またはDCF形式ではありません");
    case kExifUnknownComment: return QStringLiteral("ユーザコメントは不明な形式です");
    case kExifNotAscii: return QStringLiteral("ASCII文字以外は書き込みできません");
    case kExifInvalidStream: return QStringLiteral("不正なストリーム");
    case kExifInvalidIndex: return QStringLiteral("不正なインデックス");
    case kExifTagNotFound: return QStringLiteral("タグが見つかりません");
    case kExifDateUnknown: return QStringLiteral("日時は不明です");
    case kExifMakerNoteMoved: return QStringLiteral("メーカーノートを元の位置に置けないため移動しました");
    default: return QStringLiteral("不明なエラーです");
    }
}

EExifError::EExifError(const QString& reason)
    : std::runtime_error(("TExifInfo: " + reason).toStdString()), message_("TExifInfo: " + reason) {}

EZeroDivide::EZeroDivide() : std::domain_error("TExifRational: 0 による除算") {}

TExifData CopyExifData(const TExifData& block) {
    return std::visit(
        [](const auto& v) -> TExifData {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::unique_ptr<QByteArray>>)
                return std::make_unique<QByteArray>(v ? *v : QByteArray());
            else if constexpr (std::is_same_v<T, std::unique_ptr<MemoryStream>>)
                return v ? std::make_unique<MemoryStream>(*v) : std::make_unique<MemoryStream>();
            else
                return v;
        },
        block);
}

// ---- TEntryItem ----

TEntryItem::TEntryItem(TEntryItems* Collection) : FCollection(Collection) {}

TEntryItem::~TEntryItem() { Clear(); }

void TEntryItem::Assign(const TEntryItem& Source) {
    if (&Source == this) return;
    Clear();
    FDataOffset = Source.FDataOffset;
    FExifDataCount = Source.FExifDataCount;
    FFormat = Source.FFormat;
    FIFD = Source.FIFD;
    FOffset = Source.FOffset;
    FPosition = Source.FPosition;
    FTag = Source.FTag;
    FDatas.reserve(Source.FDatas.size());
    for (const TExifData& block : Source.FDatas) FDatas.push_back(CopyExifData(block));
    FDataCount = static_cast<int>(FDatas.size());
}

void TEntryItem::Clear() {
    for (int i = static_cast<int>(FDatas.size()) - 1; i >= 0; --i) DeleteData(i);
}

void TEntryItem::DeleteData(int Index) {
    if (Index < 0 || Index >= static_cast<int>(FDatas.size())) throw std::out_of_range("TEntryItem: data index");
    FDatas.erase(FDatas.begin() + Index);
    FDataCount = static_cast<int>(FDatas.size());
}

void TEntryItem::AddData(TExifData Block) {
    FDatas.push_back(std::move(Block));
    FDataCount = static_cast<int>(FDatas.size());
}

TExifInfo* TEntryItem::GetExifInfo() const { return FCollection ? FCollection->Owner() : nullptr; }

void TEntryItem::LoadFromStream(ByteStream& Stream) {
    TExifInfo* info = GetExifInfo();
    const std::uint16_t order = info ? info->FByteOrder : kLittleEndian;
    FTag = readWord(Stream, order);
    FFormat = static_cast<std::uint8_t>(readWord(Stream, order) & 0xFF);
    FExifDataCount = readLong(Stream, order);
    // At most 8 x (2^32 - 1): no overflow in 64 bits.
    const std::uint64_t size = static_cast<std::uint64_t>(ExifTypeSize(FFormat)) * FExifDataCount;
    if (size <= 4) {
        FOffset = 0;
        ReadData(Stream);
        Stream.seek(static_cast<std::int64_t>(4 - size), SeekOrigin::Current);
        return;
    }
    const std::int64_t valueField = Stream.position();
    FOffset = readLong(Stream, order);
    const std::int64_t at = checkedAdd(FCollection ? FCollection->CardinalPoint() : 0, FOffset);
    enforce(at <= Stream.size() && size <= static_cast<std::uint64_t>(Stream.size() - at),
            "entry value outside the stream");
    if (info && info->FReading) info->ChargeValueBytes(size);
    Stream.setPosition(at);
    ReadData(Stream);
    Stream.setPosition(valueField + 4);
}

void TEntryItem::ReadData(ByteStream& Stream) {
    const TExifInfo* info = GetExifInfo();
    const std::uint16_t order = info ? info->FByteOrder : kLittleEndian;
    FDatas.clear();
    FDataCount = 0;
    // A UserComment written as ASCII is kept as the UNDEFINED value it should have been.
    if (FFormat == efAscii && FTag == kTagUserComment && FIFD == eiExif) FFormat = efUndefined;

    const int typeSize = ExifTypeSize(FFormat);
    if (typeSize == 0) return;  // unknown type: tag, type and count are kept, no values
    const std::uint64_t size = static_cast<std::uint64_t>(typeSize) * FExifDataCount;
    // Checked before anything is allocated: the bytes must really be there.
    enforce(size <= static_cast<std::uint64_t>(Stream.remaining()), "entry value runs past the stream");
    enforce(size <= static_cast<std::uint64_t>(std::numeric_limits<int>::max() / 2), "entry value too large");

    QByteArray raw(static_cast<qsizetype>(size), Qt::Uninitialized);
    Stream.readBuffer(raw.data(), static_cast<std::int64_t>(size));
    const auto* p = reinterpret_cast<const std::uint8_t*>(raw.constData());
    const std::uint32_t n = FExifDataCount;

    switch (FFormat) {
    case efAscii:
        if (n > 0) FDatas.emplace_back(std::make_unique<QByteArray>(std::move(raw)));
        break;
    case efUndefined: FDatas.emplace_back(std::make_unique<MemoryStream>(std::move(raw))); break;
    default:
        FDatas.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint8_t* v = p + static_cast<std::size_t>(i) * typeSize;
            switch (FFormat) {
            case efByte: FDatas.emplace_back(std::uint8_t{v[0]}); break;
            case efSByte: FDatas.emplace_back(static_cast<std::int8_t>(v[0])); break;
            case efShort: FDatas.emplace_back(decodeU16(v, order)); break;
            case efSShort: FDatas.emplace_back(static_cast<std::int16_t>(decodeU16(v, order))); break;
            case efLong: FDatas.emplace_back(decodeU32(v, order)); break;
            case efSLong: FDatas.emplace_back(static_cast<std::int32_t>(decodeU32(v, order))); break;
            case efRational: FDatas.emplace_back(TExifURational{decodeU32(v, order), decodeU32(v + 4, order)}); break;
            case efSRational:
                FDatas.emplace_back(TExifSRational{static_cast<std::int32_t>(decodeU32(v, order)),
                                                   static_cast<std::int32_t>(decodeU32(v + 4, order))});
                break;
            case efFloat: FDatas.emplace_back(std::bit_cast<float>(decodeU32(v, order))); break;
            case efDouble: FDatas.emplace_back(std::bit_cast<double>(decodeU64(v, order))); break;
            default: break;
            }
        }
        break;
    }
    FDataCount = static_cast<int>(FDatas.size());
}

QString TEntryItem::GetStringData() const {
    if (FFormat != efAscii || FDatas.empty()) return QString();
    const auto* text = std::get_if<std::unique_ptr<QByteArray>>(&FDatas.front());
    if (!text || !*text) return QString();
    const QByteArray& bytes = **text;
    const qsizetype nul = bytes.indexOf('\0');
    const qsizetype length = nul < 0 ? bytes.size() : nul;
    return decodeAnsi(std::string_view(bytes.constData(), static_cast<std::size_t>(length)));
}

namespace {
template <typename T>
T valueAt(const std::vector<TExifData>& datas, std::uint8_t format, std::uint8_t wanted, int index) {
    if (format != wanted || index < 0 || index >= static_cast<int>(datas.size())) return 0;
    const T* v = std::get_if<T>(&datas[static_cast<std::size_t>(index)]);
    return v ? *v : 0;
}
}  // namespace

std::uint8_t TEntryItem::GetUByteData(int Index) const {
    return valueAt<std::uint8_t>(FDatas, FFormat, efByte, Index);
}
std::uint16_t TEntryItem::GetUShortData(int Index) const {
    return valueAt<std::uint16_t>(FDatas, FFormat, efShort, Index);
}
std::uint32_t TEntryItem::GetULongData(int Index) const {
    return valueAt<std::uint32_t>(FDatas, FFormat, efLong, Index);
}

const TExifData& TEntryItem::GetDatas(int Index) const {
    if (Index < 0 || Index >= static_cast<int>(FDatas.size())) throw std::out_of_range("TEntryItem: data index");
    return FDatas[static_cast<std::size_t>(Index)];
}

TExifData& TEntryItem::Data(int Index) {
    if (Index < 0 || Index >= static_cast<int>(FDatas.size())) throw std::out_of_range("TEntryItem: data index");
    return FDatas[static_cast<std::size_t>(Index)];
}

// ---- TEntryItems ----

TEntryItems::TEntryItems(TExifInfo* AOwner) : FOwner(AOwner) {}

TEntryItem* TEntryItems::Add() {
    FItems.push_back(std::make_unique<TEntryItem>(this));
    return FItems.back().get();
}

TEntryItem* TEntryItems::AddTag(std::uint16_t ATag) {
    TEntryItem* item = Add();
    item->FTag = ATag;
    return item;
}

TEntryItem* TEntryItems::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw std::out_of_range("TEntryItems: item index");
    return FItems[static_cast<std::size_t>(Index)].get();
}

void TEntryItems::setItems(int Index, const TEntryItem& Value) { Items(Index)->Assign(Value); }

void TEntryItems::Delete(int Index) {
    Items(Index);  // range check
    FItems.erase(FItems.begin() + Index);
}

void TEntryItems::Clear() { FItems.clear(); }

int TEntryItems::IFDEntryCount(TExifIFD AIFD) const {
    int n = 0;
    for (const auto& item : FItems) n += item->FIFD == AIFD ? 1 : 0;
    return n;
}

int TEntryItems::IndexOfTag(std::uint16_t ATag, TExifIFD AIFD) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->FTag == ATag && FItems[i]->FIFD == AIFD) return static_cast<int>(i);
    return -1;
}

void TEntryItems::Assign(const TEntryItems& Source) {
    if (&Source == this) return;
    FCardinalPoint = Source.FCardinalPoint;
    Clear();
    for (const auto& item : Source.FItems) Add()->Assign(*item);
}

// ---- TExifRational ----

TExifRational::TExifRational(TExifInfo* AOwner) : FOwner(AOwner) {}

TExifRational::~TExifRational() {
    if (FOwner) FOwner->RationalFreed(this);
}

void TExifRational::Assign(const TExifRational& Source) {
    FNamerator = Source.FNamerator;
    FDenominator = Source.FDenominator;
}

void TExifRational::SetValue(const TExifURational& Pair) { SetValue(Pair.Numerator, Pair.Denominator); }
void TExifRational::SetValue(const TExifSRational& Pair) { SetValue(Pair.Numerator, Pair.Denominator); }
void TExifRational::SetValue(std::int64_t ANamerator, std::int64_t ADenominator) {
    FNamerator = ANamerator;
    FDenominator = ADenominator;
}

QString TExifRational::Text() const {
    const bool negative = (FNamerator < 0) != (FDenominator < 0);
    const auto magnitude = [](std::int64_t v) {
        return v < 0 ? static_cast<std::uint64_t>(0) - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
    };
    return (negative ? QStringLiteral("-") : QString()) + QString::number(magnitude(FNamerator)) + u'/' +
           QString::number(magnitude(FDenominator));
}

double TExifRational::Value() const {
    if (FDenominator == 0) throw EZeroDivide();
    return static_cast<double>(FNamerator) / static_cast<double>(FDenominator);
}

// ---- TExifInfo: life and hooks ----

TExifInfo::TExifInfo()
    : FEntrys(std::make_unique<TEntryItems>(this)),
      FRationalValue(std::make_unique<TExifRational>(this)),
      FThmEntrys(std::make_unique<TEntryItems>(this)) {}

TExifInfo::~TExifInfo() {
    FDestroying = true;
    FEntrys.reset();
    FThmEntrys.reset();
    FRationalValue.reset();
}

void TExifInfo::RationalFreed(TExifRational* R) {
    if (FDestroying || R == nullptr || R != FRationalValue.get()) return;
    // The caller is destroying our shared object: let go of it and take a fresh one at once.
    (void)FRationalValue.release();
    FRationalValue = std::make_unique<TExifRational>(this);
}

void TExifInfo::DoUpdate() {
    if (!FDestroying && FOnUpdate) FOnUpdate(this);
}

void TExifInfo::DoError(int ErrCode) {
    bool allowError = false;
    if (FOnError) FOnError(this, ErrCode, allowError);
    if (allowError) throw EExifError(ExifErrorText(ErrCode));
}

// ---- TExifInfo: reading ----

std::int64_t TExifInfo::FindApp1(ByteStream& Stream) {
    const std::int64_t start = Stream.position();
    std::int64_t result = -1;
    try {
        if (readMarkerWord(Stream) == 0xFFD8) {
            std::uint16_t w = readMarkerWord(Stream);
            if (w >= 0xFFE0 && w <= 0xFFEF) {
                // Any word with a high byte FF is taken as a marker with a length. An FF E1
                // whose payload is not "Exif\0\0" (an XMP packet, say) is passed over.
                while ((w >> 8) == 0xFF) {
                    const std::int64_t markerAt = Stream.position() - 2;
                    const std::uint16_t length = readMarkerWord(Stream);
                    if (w == 0xFFE1) {
                        const std::int64_t payload = Stream.position();
                        char ident[6];
                        Stream.readBuffer(ident, 6);
                        if (std::memcmp(ident, "Exif\0\0", 6) == 0) {
                            result = markerAt;
                            break;
                        }
                        Stream.setPosition(payload);
                    }
                    // Each turn moves on by at least 2 bytes (length - 2 >= -2), so it ends.
                    Stream.seek(static_cast<std::int64_t>(length) - 2, SeekOrigin::Current);
                    w = readMarkerWord(Stream);
                }
            } else {
                std::int64_t counted = 0;
                do {
                    const std::uint8_t b = Stream.readByte();
                    ++counted;
                    if (b == 0xFF) {
                        if (Stream.readByte() == 0xE1) {
                            result = Stream.position() - 2;
                            break;
                        }
                        Stream.seek(-1, SeekOrigin::Current);
                    }
                } while (counted <= FSearchBytes);
            }
        }
    } catch (const StreamError&) {
        // The end of the stream ends the search with the result as it stands.
    }
    Stream.setPosition(start);
    return result;
}

std::int64_t TExifInfo::FindApp1(const QString& FileName) {
    std::unique_ptr<FileStream> file;
    try {
        file = std::make_unique<FileStream>(FileName);
    } catch (const StreamError&) {
        throw EExifError(QStringLiteral("ファイルを開けません: ") + FileName);
    }
    return FindApp1(*file);
}

void TExifInfo::ReadJpegSize(ByteStream& Stream) {
    FJpegWidth = 0;
    FJpegHeight = 0;
    const std::int64_t start = Stream.position();
    std::uint8_t soi[2];
    // Fewer than two bytes cannot start with FF D8: such a stream is simply not a JPEG.
    if (Stream.read(soi, 2) == 2 && soi[0] == 0xFF && soi[1] == 0xD8) {
        try {
            while (true) {
                const std::uint16_t marker = readMarkerWord(Stream);
                const std::uint16_t length = readMarkerWord(Stream);
                if (isStartOfFrame(marker)) break;
                Stream.seek(static_cast<std::int64_t>(length) - 2, SeekOrigin::Current);
            }
            Stream.seek(1, SeekOrigin::Current);  // sample precision
            const std::uint16_t lines = readMarkerWord(Stream);
            const std::uint16_t samples = readMarkerWord(Stream);
            FJpegHeight = lines;
            FJpegWidth = samples;
        } catch (const StreamError&) {
            Stream.setPosition(start);
            throw EExifError(QStringLiteral("JPEGのフレームヘッダの前でストリームが終わっています"));
        }
    }
    Stream.setPosition(start);
}

void TExifInfo::SkipExifHeader(ByteStream& Stream) {
    int zeros = 0;
    while (true) {
        const std::uint8_t b = Stream.readByte();
        if (b == 0) {
            if (zeros < 2) ++zeros;
        } else if (zeros >= 2) {
            break;
        }
    }
    Stream.seek(-1, SeekOrigin::Current);
}

std::uint32_t TExifInfo::ReadTiffHeader(ByteStream& Stream) {
    std::uint8_t order[2];
    Stream.readBuffer(order, 2);
    // The two bytes as they lie in the file, the first in the low byte: "II" and "MM" read the
    // same either way.
    FByteOrder = static_cast<std::uint16_t>(order[0] | (order[1] << 8));
    FByteOrderRead = true;
    Stream.seek(2, SeekOrigin::Current);  // 42, not checked
    return readLong(Stream, FByteOrder);
}

void TExifInfo::ChargeValueBytes(std::uint64_t Bytes) {
    enforce(Bytes <= FDirectoryBudget, "directory values exceed the stream");
    FDirectoryBudget -= Bytes;
}

std::uint32_t TExifInfo::ReadDirectory(TEntryItems& Items, ByteStream& Stream, TExifIFD AIFD) {
    const std::uint16_t count = readWord(Stream, FByteOrder);
    const std::int64_t after = Stream.size() - Items.CardinalPoint();
    FDirectoryBudget = after > 0 ? static_cast<std::uint64_t>(after) : 0;
    for (int i = 0; i < count; ++i) {
        // The entry is added first: one that fails half-way stays with what it got.
        TEntryItem* item = Items.Add();
        item->FIFD = AIFD;
        item->LoadFromStream(Stream);
    }
    return readLong(Stream, FByteOrder);
}

std::uint32_t TExifInfo::ReadIFD(ByteStream& Stream, TExifIFD AIFD) { return ReadDirectory(*FEntrys, Stream, AIFD); }

std::uint32_t TExifInfo::ReadThmIFD(ByteStream& Stream, TExifIFD AIFD) {
    return ReadDirectory(*FThmEntrys, Stream, AIFD);
}

bool TExifInfo::ReadApp1(ByteStream& Stream) {
    struct ReadingFlag {
        bool& flag;
        explicit ReadingFlag(bool& f) : flag(f) { flag = true; }
        ~ReadingFlag() { flag = false; }
    } reading(FReading);

    // The LONG value of a pointer tag; missing or of another type counts as 0.
    const auto pointer = [](const TEntryItems& items, std::uint16_t tag, TExifIFD ifd) -> std::uint32_t {
        const int index = items.IndexOfTag(tag, ifd);
        return index < 0 ? 0 : items.Items(index)->GetULongData(0);
    };
    try {
        Stream.setPosition(FApp1Position);
        Stream.seek(2, SeekOrigin::Current);
        SkipExifHeader(Stream);
        const std::int64_t base = Stream.position();
        FEntrys->setCardinalPoint(base);
        FThmEntrys->setCardinalPoint(base);
        FOffsetCardinalPoint = base;
        const std::uint32_t ifd0 = ReadTiffHeader(Stream);
        Stream.setPosition(checkedAdd(base, ifd0));

        // Each directory is read once, in this fixed order: pointer loops cannot make us loop.
        std::uint32_t next = 0;
        {
            UpdateScope updating(*FEntrys);
            next = ReadIFD(Stream, eiTIFF);
            if (const std::uint32_t p = pointer(*FEntrys, kTagExifPointer, eiTIFF); p > 0) {
                Stream.setPosition(checkedAdd(base, p));
                ReadIFD(Stream, eiExif);
            }
            if (const std::uint32_t p = pointer(*FEntrys, kTagGpsPointer, eiTIFF); p > 0) {
                Stream.setPosition(checkedAdd(base, p));
                ReadIFD(Stream, eiGPS);
            }
            if (const std::uint32_t p = pointer(*FEntrys, kTagInteropPointer, eiExif); p > 0) {
                Stream.setPosition(checkedAdd(base, p));
                ReadIFD(Stream, eiInteroperability);
            }
        }
        if (next > 0) {
            UpdateScope updating(*FThmEntrys);
            Stream.setPosition(checkedAdd(base, next));
            ReadThmIFD(Stream, eiTIFF);
            if (const std::uint32_t p = pointer(*FThmEntrys, kTagExifPointer, eiTIFF); p > 0) {
                Stream.setPosition(checkedAdd(base, p));
                ReadThmIFD(Stream, eiExif);
            }
            if (const std::uint32_t p = pointer(*FThmEntrys, kTagInteropPointer, eiExif); p > 0) {
                Stream.setPosition(checkedAdd(base, p));
                ReadThmIFD(Stream, eiInteroperability);
            }
        }
    } catch (const StreamError&) {
        // A malformed or truncated block (every check above throws StreamError): the caller
        // reports it as an invalid stream. Memory exhaustion and program faults pass on.
        return false;
    }
    DoUpdate();
    return true;
}

void TExifInfo::ReadStream(ByteStream& Stream) {
    ReadJpegSize(Stream);
    FApp1Position = FindApp1(Stream);
    if (FApp1Position == -1)
        DoError(kExifNotExif);
    else if (!ReadApp1(Stream))
        DoError(kExifInvalidStream);
}

void TExifInfo::setImageFileName(const QString& Value) {
    FImageFileName = Value;
    if (Value.isEmpty()) return;
    FEntrys->Clear();
    FThmEntrys->Clear();
    const QFileInfo info(Value);
    if (info.exists() && !info.isDir()) {
        std::unique_ptr<FileStream> file;
        try {
            file = std::make_unique<FileStream>(Value);
        } catch (const StreamError&) {
            throw EExifError(QStringLiteral("ファイルを開けません: ") + Value);
        }
        ReadStream(*file);
    } else {
        FJpegWidth = 0;
        FJpegHeight = 0;
        DoUpdate();
        DoError(kExifFileNotFound);
    }
}

void TExifInfo::ReadExifData(ByteStream& Stream) {
    FEntrys->Clear();
    FThmEntrys->Clear();
    DoUpdate();
    ReadStream(Stream);
}

bool TExifInfo::IsExif(ByteStream& Stream) { return FindApp1(Stream) > 0; }

bool TExifInfo::IsExif(const QString& FileName) { return FindApp1(FileName) > 0; }

bool TExifInfo::TagExists(std::uint16_t ATag, TExifIFD AIFD) const { return FEntrys->IndexOfTag(ATag, AIFD) >= 0; }

bool TExifInfo::ThmTagExists(std::uint16_t ATag, TExifIFD AIFD) const {
    return FThmEntrys->IndexOfTag(ATag, AIFD) >= 0;
}

}  // namespace nocturo
