// The typed face of TExifInfo: each getter looks one tag up in one collection, converts its
// stored values and reports a missing tag, a wrong type or a bad index through DoError.

#include "exif/exif_info.h"

#include "common/int_parse.h"
#include "common/text_codec.h"

#include <QDate>

#include <cmath>
#include <string_view>

namespace nocturo {

namespace {

// Display-text tables: a value they do not list gives an empty text.
struct CodeText {
    int code;
    const char* text;  // UTF-8
};

template <std::size_t N>
QString lookup(const CodeText (&table)[N], int code) {
    for (const CodeText& entry : table)
        if (entry.code == code) return QString::fromUtf8(entry.text);
    return QString();
}

constexpr CodeText kCompression[] = {{1, "非圧縮"}, {6, "JPEG"}};
constexpr CodeText kPhotometric[] = {{2, "RGB"}, {6, "YCbCr"}};
constexpr CodeText kResolutionUnit[] = {{2, "インチ"}, {3, "センチメートル"}};
constexpr CodeText kColorSpace[] = {{1, "sRGB"}, {65535, "Uncalibrated"}};
constexpr CodeText kExposureProgram[] = {
    {0, "未定義"},           {1, "マニュアル"},         {2, "ノーマルプログラム"},
    {3, "露出優先"},         {4, "シャッタ優先"},       {5, "creativeプログラム"},
    {6, "actionプログラム"}, {7, "ポートレイトモード"}, {8, "ランドスケープモード"}};
constexpr CodeText kLightSource[] = {{1, "昼光"},      {2, "蛍光灯"},    {3, "タングステン"}, {17, "標準光 A"},
                                     {18, "標準光 B"}, {19, "標準光 C"}, {20, "D55"},         {21, "D65"},
                                     {22, "D75"},      {255, "その他"}};
constexpr CodeText kMeteringMode[] = {{1, "平均"},     {2, "中央重点"}, {3, "スポット"}, {4, "マルチスポット"},
                                      {5, "分割測光"}, {6, "部分測光"}, {255, "その他"}};
constexpr CodeText kSensingMethod[] = {{1, "未定義"},
                                       {2, "単チップカラーセンサ"},
                                       {3, "2チップカラーセンサ"},
                                       {4, "3チップカラーセンサ"},
                                       {5, "色順次カラーセンサ"},
                                       {7, "3線リニアセンサ"},
                                       {8, "色順次リニアセンサ"}};

// Every byte becomes the character of the same code (version texts such as 0220).
QString latin1Text(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

TExifUserCommentStyle commentStyle(const QByteArray& value) {
    QString code;
    for (qsizetype i = 0; i < value.size() && i < 8; ++i) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c == 0) continue;
        // Upper-casing of the ASCII letters only.
        code += QChar(c >= 'a' && c <= 'z' ? c - 0x20 : c);
    }
    if (code.isEmpty()) return ucUndefined;
    if (code == u"ASCII") return ucAscii;
    if (code == u"JIS") return ucJIS;
    if (code == u"UNICODE") return ucUnicode;
    return ucUnknown;
}

// Every 16-bit unit is one character, zeros and lone surrogates included.
QString unitsToText(const QByteArray& bytes, bool littleEndian) {
    QString text;
    const qsizetype units = bytes.size() / 2;
    text.reserve(units);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned char a = p[2 * i], b = p[2 * i + 1];
        text += QChar(static_cast<char16_t>(littleEndian ? (a | (b << 8)) : ((a << 8) | b)));
    }
    return text;
}

std::string_view view(const QByteArray& bytes) {
    return std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

// ---- Private accessors ----

TEntryItem* TExifInfo::Find(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing) {
    const int index = Items.IndexOfTag(ATag, AIFD);
    if (index < 0) {
        if (RaiseIfMissing) DoError(kExifTagNotFound);
        return nullptr;
    }
    return Items.Items(index);
}

const TExifData* TExifInfo::GetDataPtr(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing) {
    const TEntryItem* item = Find(*FEntrys, ATag, AIFD, RaiseIfMissing);
    if (!item || item->DataCount() == 0) return nullptr;
    return &item->Data(0);
}

QString TExifInfo::GetString(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing) {
    const TEntryItem* item = Find(Items, ATag, AIFD, RaiseIfMissing);
    return item ? item->GetStringData() : QString();
}

QString TExifInfo::GetThmText(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing) {
    // The text held in the first block; an entry without a text block gives an empty text.
    return GetString(*FThmEntrys, ATag, AIFD, RaiseIfMissing);
}

int TExifInfo::GetByte(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD, bool RaiseIfMissing) {
    const TEntryItem* item = Find(Items, ATag, AIFD, RaiseIfMissing);
    return item ? item->GetUByteData(Index) : 0;
}

int TExifInfo::GetShort(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD,
                        bool RaiseIfMissing) {
    const TEntryItem* item = Find(Items, ATag, AIFD, RaiseIfMissing);
    return item ? item->GetUShortData(Index) : 0;
}

std::uint32_t TExifInfo::GetLong(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD,
                                 bool RaiseIfMissing) {
    const TEntryItem* item = Find(Items, ATag, AIFD, RaiseIfMissing);
    return item ? item->GetULongData(Index) : 0;
}

std::uint32_t TExifInfo::GetShortOrLong(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD,
                                        bool RaiseIfMissing, std::uint32_t Missing) {
    const TEntryItem* item = Find(Items, ATag, AIFD, RaiseIfMissing);
    if (!item) return Missing;
    if (item->Format() == efShort) return item->GetUShortData(Index);
    if (item->Format() == efLong) return item->GetULongData(Index);
    DoError(kExifInvalidStream);
    return 0;
}

TExifRational* TExifInfo::GetRational(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, int Index) {
    const TEntryItem* item = Find(Items, ATag, AIFD, true);
    if (!item) return FRationalValue.get();
    if (Index >= item->DataCount()) {
        // A pair the entry does not have: an index error when the caller chose it, else a
        // value of an unexpected form.
        DoError(Index > 0 ? kExifInvalidIndex : kExifInvalidStream);
        return FRationalValue.get();
    }
    const TExifData& block = item->Data(Index);
    if (const auto* u = std::get_if<TExifURational>(&block))
        FRationalValue->SetValue(*u);
    else if (const auto* s = std::get_if<TExifSRational>(&block))
        FRationalValue->SetValue(*s);
    else
        DoError(kExifInvalidStream);
    return FRationalValue.get();
}

TExifRational* TExifInfo::GetRationalAt(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, int Index,
                                        int MaxIndex) {
    if (Index < 0 || Index > MaxIndex) {
        DoError(kExifInvalidIndex);
        return FRationalValue.get();
    }
    return GetRational(Items, ATag, AIFD, Index);
}

TExifRational* TExifInfo::GetResolution(const TEntryItems& Items, std::uint16_t ATag) {
    if (Items.IndexOfTag(ATag, eiTIFF) < 0) {
        FRationalValue->SetValue(72, 1);
        return FRationalValue.get();
    }
    return GetRational(Items, ATag, eiTIFF);
}

QByteArray TExifInfo::GetUndefined(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing, bool* Found) {
    if (Found) *Found = false;
    const TEntryItem* item = Find(*FEntrys, ATag, AIFD, RaiseIfMissing);
    if (!item) return QByteArray();
    const auto* stream = item->DataCount() > 0 ? std::get_if<std::unique_ptr<MemoryStream>>(&item->Data(0)) : nullptr;
    if (!stream || !*stream) {
        DoError(kExifInvalidStream);
        return QByteArray();
    }
    if (Found) *Found = true;
    return (*stream)->bytes();
}

QChar TExifInfo::GetChar(std::uint16_t ATag, TExifIFD AIFD) {
    const QString text = GetString(*FEntrys, ATag, AIFD, true);
    return text.isEmpty() ? QChar() : text.front();
}

int TExifInfo::GetSubsec(std::uint16_t ATag) {
    const std::optional<int> value = tryParseInt(GetString(*FEntrys, ATag, eiExif, true));
    if (!value) {
        DoError(kExifDateUnknown);
        return 0;
    }
    return *value;
}

TExifSubSampling TExifInfo::SubSampling(const TEntryItems& Items) {
    const TEntryItem* item = Find(Items, 530, eiTIFF, true);
    if (!item) return ssReserved;
    const int h = item->GetUShortData(0), v = item->GetUShortData(1);
    if (h == 2 && v == 1) return ss422;
    if (h == 2 && v == 2) return ss420;
    return ssReserved;
}

double TExifInfo::ParseExifDateTime(const QString& Text) {
    if (!Text.contains(u':')) throw EExifError(ExifErrorText(kExifDateUnknown));
    // YYYY:MM:DD hh:mm:ss, 1-based character positions.
    const auto field = [&](int from, int length) {
        const std::optional<int> v = tryParseInt(Text.mid(from - 1, length).trimmed());
        if (!v) throw EExifError(ExifErrorText(kExifDateUnknown));
        return *v;
    };
    const int year = field(1, 4), month = field(6, 2), day = field(9, 2);
    const int hour = field(12, 2), minute = field(15, 2), second = field(18, 2);
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day) || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 59)
        throw std::out_of_range("日付または時刻の値が範囲外です: " + Text.toStdString());
    const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(year, month, day)));
    const double msecs = static_cast<double>((hour * 3600 + minute * 60 + second) * 1000);
    return days + msecs / 86400000.0;
}

// ---- IFD0 ----

QString TExifInfo::Artist() { return GetString(*FEntrys, 315, eiTIFF, false); }

int TExifInfo::BitsPerSample(int Index) {
    const TEntryItem* item = Find(*FEntrys, 258, eiTIFF, true);
    if (!item) return 0;
    if (Index < 0 || Index >= item->DataCount()) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    return item->GetUShortData(Index);
}

int TExifInfo::Compression() { return GetShort(*FEntrys, 259, 0, eiTIFF, true); }
QString TExifInfo::CompressionText() { return lookup(kCompression, Compression()); }
QString TExifInfo::Copyright() { return GetString(*FEntrys, 33432, eiTIFF, false); }
double TExifInfo::DateTime() { return ParseExifDateTime(DateTimeText()); }
QString TExifInfo::DateTimeText() { return GetString(*FEntrys, 306, eiTIFF, false); }
std::uint32_t TExifInfo::ExifIFDPointer() { return GetLong(*FEntrys, 34665, 0, eiTIFF, false); }
std::uint32_t TExifInfo::GPSInfoIFDPointer() { return GetLong(*FEntrys, 34853, 0, eiTIFF, false); }
QString TExifInfo::ImageDescription() { return GetString(*FEntrys, 270, eiTIFF, true); }

int TExifInfo::ImageLength() {
    const TEntryItem* item = Find(*FEntrys, 257, eiTIFF, false);
    if (!item) return FJpegHeight;
    if (item->Format() == efShort) return item->GetUShortData(0);
    if (item->Format() == efLong) return static_cast<int>(item->GetULongData(0));
    return 0;
}

int TExifInfo::ImageWidth() {
    return static_cast<int>(GetShortOrLong(*FEntrys, 256, 0, eiTIFF, false, static_cast<std::uint32_t>(FJpegWidth)));
}

QString TExifInfo::Make() { return GetString(*FEntrys, 271, eiTIFF, false); }
QString TExifInfo::Model() { return GetString(*FEntrys, 272, eiTIFF, false); }

TExifOrientation TExifInfo::Orientation() {
    const TEntryItem* item = Find(*FEntrys, 274, eiTIFF, false);
    if (!item) return eoTopLeft;
    const int v = item->GetUShortData(0);
    return v <= 8 ? static_cast<TExifOrientation>(v) : eoReserved;
}

int TExifInfo::Photometric() { return GetShort(*FEntrys, 262, 0, eiTIFF, true); }
QString TExifInfo::PhotometricText() { return lookup(kPhotometric, Photometric()); }

TExifPlanarConfiguration TExifInfo::PlanarConfiguration() {
    const TEntryItem* item = Find(*FEntrys, 284, eiTIFF, false);
    const int v = item ? item->GetUShortData(0) : 1;
    return v == 1 ? pcChunkey : v == 2 ? pcPlanar : pcReserved;
}

TExifRational* TExifInfo::PrimaryChromaticities(int Index) { return GetRationalAt(*FEntrys, 319, eiTIFF, Index, 5); }
TExifRational* TExifInfo::ReferenceBlackWhite(int Index) { return GetRationalAt(*FEntrys, 532, eiTIFF, Index, 5); }

int TExifInfo::ResolutionUnit() {
    const TEntryItem* item = Find(*FEntrys, 296, eiTIFF, false);
    return item ? item->GetUShortData(0) : 2;
}

QString TExifInfo::ResolutionUnitText() { return lookup(kResolutionUnit, ResolutionUnit()); }
int TExifInfo::RowsPerStrip() { return static_cast<int>(GetShortOrLong(*FEntrys, 278, 0, eiTIFF, true)); }

int TExifInfo::SamplesPerPixel() {
    const TEntryItem* item = Find(*FEntrys, 277, eiTIFF, false);
    return item ? item->GetUShortData(0) : 3;
}

QString TExifInfo::Software() { return GetString(*FEntrys, 305, eiTIFF, false); }

int TExifInfo::StripByteCounts(int Index) {
    return static_cast<int>(GetShortOrLong(*FEntrys, 279, Index, eiTIFF, true));
}

int TExifInfo::StripByteCountsCount() {
    const TEntryItem* item = Find(*FEntrys, 279, eiTIFF, false);
    return item ? item->DataCount() : 0;
}

std::uint32_t TExifInfo::StripOffsets(int Index) { return GetShortOrLong(*FEntrys, 273, Index, eiTIFF, true); }

int TExifInfo::StripOffsetsCount() {
    const TEntryItem* item = Find(*FEntrys, 273, eiTIFF, false);
    return item ? item->DataCount() : 0;
}

std::uint16_t TExifInfo::TransferFunction(int Index) {
    if (Index < 0 || Index > 767) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    return static_cast<std::uint16_t>(GetShort(*FEntrys, 301, Index, eiTIFF, true));
}

TExifRational* TExifInfo::WhitePoint(int Index) { return GetRationalAt(*FEntrys, 318, eiTIFF, Index, 1); }
TExifRational* TExifInfo::XResolution() { return GetResolution(*FEntrys, 282); }
TExifRational* TExifInfo::YResolution() { return GetResolution(*FEntrys, 283); }
TExifRational* TExifInfo::YCbCrCoefficients(int Index) { return GetRationalAt(*FEntrys, 529, eiTIFF, Index, 2); }

TExifYCbCrPositioning TExifInfo::YCbCrPositioning() {
    const TEntryItem* item = Find(*FEntrys, 531, eiTIFF, false);
    const int v = item ? item->GetUShortData(0) : 1;
    return v == 1 ? epCentered : v == 2 ? epCosited : epReserved;
}

TExifSubSampling TExifInfo::YCbCrSubSampling() { return SubSampling(*FEntrys); }

// ---- Exif IFD ----

TExifRational* TExifInfo::ApertureValue() { return GetRational(*FEntrys, 37378, eiExif); }
TExifRational* TExifInfo::BrightnessValue() { return GetRational(*FEntrys, 37379, eiExif); }
int TExifInfo::ColorSpace() { return GetShort(*FEntrys, 40961, 0, eiExif, true); }
QString TExifInfo::ColorSpaceText() { return lookup(kColorSpace, ColorSpace()); }

int TExifInfo::ComponentsConfiguration(int Index) {
    if (Index < 0 || Index > 3) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    const QByteArray bytes = GetUndefined(37121, eiExif, true);
    return Index < bytes.size() ? static_cast<unsigned char>(bytes[Index]) : 0;
}

QString TExifInfo::ComponentsConfigurationText() {
    static const char* const kNames[] = {" ", "Y", "Cb", "Cr", "R", "G", "B"};
    QString text;
    for (const char c : GetUndefined(37121, eiExif, true)) {
        const auto b = static_cast<unsigned char>(c);
        text += QLatin1String(b <= 6 ? kNames[b] : " ");
    }
    return text;
}

TExifRational* TExifInfo::CompressedBitsPerPixel() { return GetRational(*FEntrys, 37122, eiExif); }
double TExifInfo::DateTimeDigitized() { return ParseExifDateTime(DateTimeDigitizedText()); }
QString TExifInfo::DateTimeDigitizedText() { return GetString(*FEntrys, 36868, eiExif, false); }
double TExifInfo::DateTimeOriginal() { return ParseExifDateTime(DateTimeOriginalText()); }
QString TExifInfo::DateTimeOriginalText() { return GetString(*FEntrys, 36867, eiExif, false); }
QString TExifInfo::ExifVersion() { return latin1Text(GetUndefined(36864, eiExif, true)); }
TExifRational* TExifInfo::ExposureBiasValue() { return GetRational(*FEntrys, 37380, eiExif); }
TExifRational* TExifInfo::ExposureIndex() { return GetRational(*FEntrys, 41493, eiExif); }
int TExifInfo::ExposureProgram() { return GetShort(*FEntrys, 34850, 0, eiExif, true); }
QString TExifInfo::ExposureProgramText() { return lookup(kExposureProgram, ExposureProgram()); }
TExifRational* TExifInfo::ExposureTime() { return GetRational(*FEntrys, 33434, eiExif); }

int TExifInfo::FileSource() {
    bool found = false;
    const QByteArray bytes = GetUndefined(41728, eiExif, false, &found);
    return found && !bytes.isEmpty() ? static_cast<unsigned char>(bytes[0]) : 3;
}

bool TExifInfo::Flash() { return (FlashValue() & 1) != 0; }
TExifRational* TExifInfo::FlashEnergy() { return GetRational(*FEntrys, 41483, eiExif); }
QString TExifInfo::FlashPixVersion() { return latin1Text(GetUndefined(40960, eiExif, true)); }

TExifFlashReturn TExifInfo::FlashReturn() {
    switch ((FlashValue() >> 1) & 3) {
    case 0: return frNoDetector;
    case 1: return frReserved;
    case 2: return frUndetect;
    default: return frDetect;
    }
}

int TExifInfo::FlashValue() { return GetShort(*FEntrys, 37385, 0, eiExif, true); }
TExifRational* TExifInfo::FNumber() { return GetRational(*FEntrys, 33437, eiExif); }
TExifRational* TExifInfo::FocalLength() { return GetRational(*FEntrys, 37386, eiExif); }

int TExifInfo::FocalPlaneResolutionUnit() {
    const int v = GetShort(*FEntrys, 41488, 0, eiExif, false);
    return v == 0 ? 2 : v;
}

QString TExifInfo::FocalPlaneResolutionUnitText() { return lookup(kResolutionUnit, FocalPlaneResolutionUnit()); }
TExifRational* TExifInfo::FocalPlaneXResolution() { return GetRational(*FEntrys, 41486, eiExif); }
TExifRational* TExifInfo::FocalPlaneYResolution() { return GetRational(*FEntrys, 41487, eiExif); }
std::uint32_t TExifInfo::InteroperabilityIFDPointer() { return GetLong(*FEntrys, 40965, 0, eiExif, false); }

int TExifInfo::ISOSpeedRatingCount() {
    const TEntryItem* item = Find(*FEntrys, 34855, eiExif, false);
    return item ? item->DataCount() : 0;
}

int TExifInfo::ISOSpeedRatings(int Index) { return GetShort(*FEntrys, 34855, Index, eiExif, true); }
int TExifInfo::LightSource() { return GetShort(*FEntrys, 37384, 0, eiExif, false); }
QString TExifInfo::LightSourceText() { return lookup(kLightSource, LightSource()); }
TExifRational* TExifInfo::MaxApatureValue() { return GetRational(*FEntrys, 37381, eiExif); }
int TExifInfo::MeteringMode() { return GetShort(*FEntrys, 37383, 0, eiExif, true); }
QString TExifInfo::MeteringModeText() { return lookup(kMeteringMode, MeteringMode()); }
double TExifInfo::MinFNumber() { return std::pow(std::sqrt(2.0), MaxApatureValue()->Value()); }
int TExifInfo::PixelXDimension() { return static_cast<int>(GetShortOrLong(*FEntrys, 40962, 0, eiExif, true)); }
int TExifInfo::PixelYDimension() { return static_cast<int>(GetShortOrLong(*FEntrys, 40963, 0, eiExif, true)); }
QString TExifInfo::RelatedSoundFile() { return GetString(*FEntrys, 40964, eiExif, true); }

int TExifInfo::SceneType() {
    bool found = false;
    const QByteArray bytes = GetUndefined(41729, eiExif, false, &found);
    return found && !bytes.isEmpty() ? static_cast<unsigned char>(bytes[0]) : 1;
}

int TExifInfo::SensingMethod() { return GetShort(*FEntrys, 41495, 0, eiExif, true); }
QString TExifInfo::SensingMethodText() { return lookup(kSensingMethod, SensingMethod()); }
double TExifInfo::ShutterSpeedTime() { return 1.0 / std::pow(2.0, ShutterSpeedValue()->Value()); }
TExifRational* TExifInfo::ShutterSpeedValue() { return GetRational(*FEntrys, 37377, eiExif); }
QString TExifInfo::SpectralSensivity() { return GetString(*FEntrys, 34852, eiExif, true); }
TExifRational* TExifInfo::SubjectDistance() { return GetRational(*FEntrys, 37382, eiExif); }
int TExifInfo::SubjectLocationX() { return GetShort(*FEntrys, 41492, 0, eiExif, true); }
int TExifInfo::SubjectLocationY() { return GetShort(*FEntrys, 41492, 1, eiExif, true); }
int TExifInfo::SubsecTime() { return GetSubsec(37520); }
int TExifInfo::SubsecTimeDigitized() { return GetSubsec(37522); }
int TExifInfo::SubsecTimeOriginal() { return GetSubsec(37521); }

QString TExifInfo::UserComment() {
    bool found = false;
    const QByteArray value = GetUndefined(37510, eiExif, false, &found);
    if (!found) return QString();
    QByteArray rest = value.size() > 8 ? value.mid(8) : QByteArray();
    switch (commentStyle(value)) {
    case ucJIS: {
        const qsizetype nul = rest.indexOf('\0');
        if (nul >= 0) rest.truncate(nul);
        return decodeIso2022Jp(view(rest));
    }
    case ucUnicode: {
        if (rest.size() < 2) return QString();
        const auto a = static_cast<unsigned char>(rest[0]), b = static_cast<unsigned char>(rest[1]);
        if (a == 0xFF && b == 0xFE) return unitsToText(rest.mid(2), true);
        if (a == 0xFE && b == 0xFF) return unitsToText(rest.mid(2), false);
        return unitsToText(rest, false);  // no byte-order mark: big-endian from the first unit
    }
    default: return decodeAnsi(view(rest));
    }
}

TExifUserCommentStyle TExifInfo::UserCommentStyle() {
    bool found = false;
    const QByteArray value = GetUndefined(37510, eiExif, false, &found);
    return found ? commentStyle(value) : ucUnknown;
}

// ---- GPS IFD ----

int TExifInfo::GPSVersionID(int Index) {
    if (Index < 0 || Index > 3) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    const TEntryItem* item = Find(*FEntrys, 0, eiGPS, false);
    if (!item) return Index == 0 ? 2 : 0;
    return item->GetUByteData(Index);
}

QChar TExifInfo::GPSLatitudeRef() { return GetChar(1, eiGPS); }
TExifRational* TExifInfo::GPSLatitude(int Index) { return GetRationalAt(*FEntrys, 2, eiGPS, Index, 2); }
QChar TExifInfo::GPSLongitudeRef() { return GetChar(3, eiGPS); }
TExifRational* TExifInfo::GPSLongitude(int Index) { return GetRationalAt(*FEntrys, 4, eiGPS, Index, 2); }
int TExifInfo::GPSAltitudeRef() { return GetByte(*FEntrys, 5, 0, eiGPS, false); }
TExifRational* TExifInfo::GPSAltitude() { return GetRational(*FEntrys, 6, eiGPS); }
TExifRational* TExifInfo::GPSTimeStamp(int Index) { return GetRationalAt(*FEntrys, 7, eiGPS, Index, 2); }
QString TExifInfo::GPSSatellites() { return GetString(*FEntrys, 8, eiGPS, true); }
QChar TExifInfo::GPSStatus() { return GetChar(9, eiGPS); }
QChar TExifInfo::GPSMeasureMode() { return GetChar(10, eiGPS); }
TExifRational* TExifInfo::GPSDOP() { return GetRational(*FEntrys, 11, eiGPS); }
QChar TExifInfo::GPSSpeedRef() { return GetChar(12, eiGPS); }
TExifRational* TExifInfo::GPSSpeed() { return GetRational(*FEntrys, 13, eiGPS); }
QChar TExifInfo::GPSTrackRef() { return GetChar(14, eiGPS); }
TExifRational* TExifInfo::GPSTrack() { return GetRational(*FEntrys, 15, eiGPS); }
QChar TExifInfo::GPSImgDirectionRef() { return GetChar(16, eiGPS); }
TExifRational* TExifInfo::GPSImgDirection() { return GetRational(*FEntrys, 17, eiGPS); }
QString TExifInfo::GPSMapDatum() { return GetString(*FEntrys, 18, eiGPS, true); }
QChar TExifInfo::GPSDestLatitudeRef() { return GetChar(19, eiGPS); }
TExifRational* TExifInfo::GPSDestLatitude(int Index) { return GetRationalAt(*FEntrys, 20, eiGPS, Index, 2); }
QChar TExifInfo::GPSDestLongitudeRef() { return GetChar(21, eiGPS); }
TExifRational* TExifInfo::GPSDestLongitude(int Index) { return GetRationalAt(*FEntrys, 22, eiGPS, Index, 2); }
QChar TExifInfo::GPSDestBearingRef() { return GetChar(23, eiGPS); }
TExifRational* TExifInfo::GPSDestBearing() { return GetRational(*FEntrys, 24, eiGPS); }
QChar TExifInfo::GPSDestDistanceRef() { return GetChar(25, eiGPS); }
TExifRational* TExifInfo::GPSDestDistance() { return GetRational(*FEntrys, 26, eiGPS); }

// ---- Interoperability IFD ----

QString TExifInfo::InteroperabilityIndex() { return GetString(*FEntrys, 1, eiInteroperability, true); }
QString TExifInfo::InteroperabilityVersion() { return latin1Text(GetUndefined(2, eiInteroperability, true)); }
QString TExifInfo::RelatedImageFileFormat() { return GetString(*FEntrys, 4096, eiInteroperability, true); }
int TExifInfo::RelatedImageWidth() {
    return static_cast<int>(GetShortOrLong(*FEntrys, 4097, 0, eiInteroperability, true));
}
int TExifInfo::RelatedImageLength() {
    return static_cast<int>(GetShortOrLong(*FEntrys, 4098, 0, eiInteroperability, true));
}

// ---- Thumbnail ----

QString TExifInfo::ThmArtist() { return GetThmText(315, eiTIFF, true); }

int TExifInfo::ThmBitsPerSample(int Index) {
    if (Index < 0 || Index > 2) {
        DoError(kExifInvalidIndex);
        return 8;
    }
    const TEntryItem* item = Find(*FThmEntrys, 258, eiTIFF, false);
    return item ? item->GetUShortData(Index) : 8;
}

int TExifInfo::ThmCompression() { return GetShort(*FThmEntrys, 259, 0, eiTIFF, true); }
QString TExifInfo::ThmCompressionText() { return lookup(kCompression, ThmCompression()); }
QString TExifInfo::ThmCopyright() { return GetThmText(33432, eiTIFF, true); }
double TExifInfo::ThmDateTime() { return ParseExifDateTime(ThmDateTimeText()); }
QString TExifInfo::ThmDateTimeText() { return GetThmText(306, eiTIFF, false); }
std::uint32_t TExifInfo::ThmExifIFDPointer() { return GetLong(*FThmEntrys, 34665, 0, eiTIFF, false); }
QString TExifInfo::ThmImageDescription() { return GetThmText(270, eiTIFF, true); }
int TExifInfo::ThmImageLength() { return static_cast<int>(GetShortOrLong(*FThmEntrys, 257, 0, eiTIFF, true)); }
int TExifInfo::ThmImageWidth() { return static_cast<int>(GetShortOrLong(*FThmEntrys, 256, 0, eiTIFF, true)); }
std::uint32_t TExifInfo::ThmInteroperabilityIFDPointer() { return GetLong(*FThmEntrys, 40965, 0, eiExif, false); }
QString TExifInfo::ThmInteroperabilityIndex() { return GetThmText(1, eiInteroperability, true); }
std::uint32_t TExifInfo::ThmJPEGInterchangeFormat() { return GetLong(*FThmEntrys, 513, 0, eiTIFF, true); }
std::uint32_t TExifInfo::ThmJPEGInterchangeFormatLength() { return GetLong(*FThmEntrys, 514, 0, eiTIFF, true); }
QString TExifInfo::ThmMake() { return GetThmText(271, eiTIFF, true); }
QString TExifInfo::ThmModel() { return GetThmText(272, eiTIFF, true); }

TExifOrientation TExifInfo::ThmOrientation() {
    const TEntryItem* item = Find(*FThmEntrys, 274, eiTIFF, false);
    if (!item) return eoTopLeft;
    const int v = item->GetUShortData(0);
    return v >= 1 && v <= 8 ? static_cast<TExifOrientation>(v) : eoReserved;
}

int TExifInfo::ThmPhotometric() { return GetShort(*FThmEntrys, 262, 0, eiTIFF, true); }
QString TExifInfo::ThmPhotometricText() { return lookup(kPhotometric, ThmPhotometric()); }

TExifPlanarConfiguration TExifInfo::ThmPlanarConfiguration() {
    const TEntryItem* item = Find(*FThmEntrys, 284, eiTIFF, false);
    if (!item) return pcChunkey;
    const int v = item->GetUShortData(0);
    return v == 1 ? pcChunkey : v == 2 ? pcPlanar : pcReserved;
}

TExifRational* TExifInfo::ThmPrimaryChromaticities(int Index) {
    return GetRationalAt(*FThmEntrys, 319, eiTIFF, Index, 5);
}

int TExifInfo::ThmResolutionUnit() {
    const TEntryItem* item = Find(*FThmEntrys, 296, eiTIFF, false);
    return item ? item->GetUShortData(0) : 2;
}

QString TExifInfo::ThmResolutionUnitText() { return lookup(kResolutionUnit, ThmResolutionUnit()); }
int TExifInfo::ThmRowsPerStrip() { return static_cast<int>(GetShortOrLong(*FThmEntrys, 278, 0, eiTIFF, true)); }

int TExifInfo::ThmSamplesPerPixel() {
    const TEntryItem* item = Find(*FThmEntrys, 277, eiTIFF, false);
    return item ? item->GetUShortData(0) : 3;
}

QString TExifInfo::ThmSoftware() { return GetThmText(305, eiTIFF, true); }

int TExifInfo::ThmStripByteCounts(int Index) {
    const TEntryItem* item = Find(*FThmEntrys, 279, eiTIFF, true);
    if (!item) return 0;
    if (Index < 0 || Index >= item->DataCount()) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    return static_cast<int>(GetShortOrLong(*FThmEntrys, 279, Index, eiTIFF, true));
}

int TExifInfo::ThmStripByteCountsCount() {
    const TEntryItem* item = Find(*FThmEntrys, 279, eiTIFF, false);
    return item ? item->DataCount() : 0;
}

std::uint32_t TExifInfo::ThmStripOffsets(int Index) {
    const TEntryItem* item = Find(*FThmEntrys, 273, eiTIFF, true);
    if (!item) return 0;
    if (Index < 0 || Index >= item->DataCount()) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    return GetShortOrLong(*FThmEntrys, 273, Index, eiTIFF, true);
}

int TExifInfo::ThmStripOffsetsCount() {
    const TEntryItem* item = Find(*FThmEntrys, 273, eiTIFF, false);
    return item ? item->DataCount() : 0;
}

std::uint16_t TExifInfo::ThmTransferFunction(int Index) {
    if (Index < 0 || Index > 767) {
        DoError(kExifInvalidIndex);
        return 0;
    }
    return static_cast<std::uint16_t>(GetShort(*FThmEntrys, 301, Index, eiTIFF, true));
}

TExifRational* TExifInfo::ThmWhitePoint(int Index) { return GetRationalAt(*FThmEntrys, 318, eiTIFF, Index, 1); }
TExifRational* TExifInfo::ThmXResolution() { return GetResolution(*FThmEntrys, 282); }
TExifRational* TExifInfo::ThmYResolution() { return GetResolution(*FThmEntrys, 283); }
TExifRational* TExifInfo::ThmYCbCrCoefficients(int Index) {
    return GetRationalAt(*FThmEntrys, 529, eiTIFF, Index, 2);
}

TExifYCbCrPositioning TExifInfo::ThmYCbCrPositioning() {
    const TEntryItem* item = Find(*FThmEntrys, 531, eiTIFF, true);
    if (!item) return epReserved;
    const int v = item->GetUShortData(0);
    return v == 1 ? epCentered : v == 2 ? epCosited : epReserved;
}

TExifSubSampling TExifInfo::ThmYCbCrSubSampling() { return SubSampling(*FThmEntrys); }

}  // namespace nocturo
