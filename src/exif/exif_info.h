// TExifInfo: finds the EXIF block of a JPEG, reads its TIFF directories into two entry
// collections (main picture and thumbnail) and offers typed values and Japanese display texts.
#pragma once

#include "exif/byte_stream.h"

#include <QByteArray>
#include <QChar>
#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

namespace nocturo {

class TExifInfo;
class TEntryItems;

// The directory an entry came from.
enum TExifIFD : std::uint8_t { eiTIFF, eiExif, eiGPS, eiInteroperability };

enum TExifOrientation : std::uint8_t {
    eoReserved, eoTopLeft, eoTopRight, eoBottomRight, eoBottomLeft,
    eoLeftTop, eoRightTop, eoRightBottom, eoLeftBottom
};
enum TExifPlanarConfiguration : std::uint8_t { pcReserved, pcChunkey, pcPlanar };
enum TExifSubSampling : std::uint8_t { ssReserved, ss422, ss420 };
enum TExifYCbCrPositioning : std::uint8_t { epReserved, epCentered, epCosited };
enum TExifUserCommentStyle : std::uint8_t { ucAscii, ucJIS, ucUnicode, ucUndefined, ucUnknown };
enum TExifFlashReturn : std::uint8_t { frNoDetector, frUndetect, frDetect, frReserved };

// TIFF field types as the type byte of an entry holds them.
enum TExifFormat : std::uint8_t {
    efByte = 1, efAscii = 2, efShort = 3, efLong = 4, efRational = 5, efSByte = 6,
    efUndefined = 7, efSShort = 8, efSLong = 9, efSRational = 10, efFloat = 11, efDouble = 12
};

// Size of one value in the file, by type byte; 0 for type 0 and for anything above 12.
int ExifTypeSize(std::uint8_t format);

// Error codes of DoError.
enum : int {
    kExifFileNotFound = -1,
    kExifNotExif = -2,
    kExifUnknownComment = -3,
    kExifNotAscii = -4,
    kExifInvalidStream = -5,
    kExifInvalidIndex = -6,
    kExifTagNotFound = -7,
    kExifDateUnknown = -8,
    kExifMakerNoteMoved = -9,
};
// The text of an error code ("不明なエラーです" for a code without one).
QString ExifErrorText(int ErrCode);

// The component's exception. Message() is "TExifInfo: " followed by the reason.
class EExifError : public std::runtime_error {
public:
    explicit EExifError(const QString& reason);
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// A zero denominator met by TExifRational::Value.
class EZeroDivide : public std::domain_error {
public:
    EZeroDivide();
};

// Value blocks of an entry. A RATIONAL value holds its numerator first, as in the file.
struct TExifURational {
    std::uint32_t Numerator = 0;
    std::uint32_t Denominator = 0;
    bool operator==(const TExifURational&) const = default;
};
struct TExifSRational {
    std::int32_t Numerator = 0;
    std::int32_t Denominator = 0;
    bool operator==(const TExifSRational&) const = default;
};
// One block: a number of the entry's type, the count bytes of an ASCII entry, or the memory
// stream of an UNDEFINED entry (positioned at 0 after reading).
using TExifData = std::variant<std::uint8_t,                   // BYTE
                               std::int8_t,                    // SBYTE
                               std::uint16_t,                  // SHORT
                               std::int16_t,                   // SSHORT
                               std::uint32_t,                  // LONG
                               std::int32_t,                   // SLONG
                               TExifURational,                 // RATIONAL
                               TExifSRational,                 // SRATIONAL
                               float,                          // FLOAT
                               double,                         // DOUBLE
                               std::unique_ptr<QByteArray>,    // ASCII
                               std::unique_ptr<MemoryStream>>; // UNDEFINED
// An independent copy of a block (a fresh text buffer or stream with the same bytes).
TExifData CopyExifData(const TExifData& block);

using TExifReadErrorEvent = std::function<void(TExifInfo* Sender, int ErrCode, bool& AllowError)>;
using TNotifyEvent = std::function<void(TExifInfo* Sender)>;

// The numerator and denominator pair that the rational getters return. The numbers are kept in
// 64 bits so that RATIONAL values above 2^31 (such as FFFFFFFF/1, "infinity") keep their sign.
class TExifRational {
public:
    explicit TExifRational(TExifInfo* AOwner = nullptr);
    virtual ~TExifRational();
    TExifRational(const TExifRational&) = delete;
    TExifRational& operator=(const TExifRational&) = delete;

    void Assign(const TExifRational& Source);
    void SetValue(const TExifURational& Pair);
    void SetValue(const TExifSRational& Pair);
    void SetValue(std::int64_t ANamerator, std::int64_t ADenominator);

    std::int64_t Denominator() const { return FDenominator; }
    std::int64_t Namerator() const { return FNamerator; }
    // "%d/%d" of the absolute values, "-" in front when exactly one of them is negative.
    QString Text() const;
    // Numerator / denominator; throws EZeroDivide for a zero denominator.
    double Value() const;
    TExifInfo* Owner() const { return FOwner; }

private:
    std::int64_t FDenominator = 0;
    std::int64_t FNamerator = 0;
    TExifInfo* FOwner = nullptr;
};

// One directory entry with its decoded values.
class TEntryItem {
public:
    explicit TEntryItem(TEntryItems* Collection = nullptr);
    virtual ~TEntryItem();
    TEntryItem(const TEntryItem&) = delete;
    TEntryItem& operator=(const TEntryItem&) = delete;

    // Makes this entry an independent copy of Source (fields and deep copies of its blocks).
    void Assign(const TEntryItem& Source);
    void Clear();
    virtual void DeleteData(int Index);
    // Reads FExifDataCount values of type FFormat at the stream's position.
    virtual void ReadData(ByteStream& Stream);
    // Reads the 12-byte directory entry at the stream's position, with its values, and leaves
    // the stream at the next entry.
    virtual void LoadFromStream(ByteStream& Stream);
    // Appends a block; FDataCount follows.
    void AddData(TExifData Block);

    TExifInfo* GetExifInfo() const;
    TEntryItems* Collection() const { return FCollection; }
    // The text of an ASCII entry (the bytes before the first NUL, ANSI); empty otherwise.
    QString GetStringData() const;
    std::uint8_t GetUByteData(int Index) const;
    std::uint16_t GetUShortData(int Index) const;
    std::uint32_t GetULongData(int Index) const;
    // The block at Index; std::out_of_range outside the list.
    const TExifData& GetDatas(int Index) const;
    const TExifData& Data(int Index) const { return GetDatas(Index); }
    TExifData& Data(int Index);

    int DataCount() const { return FDataCount; }
    std::uint32_t DataOffset() const { return FDataOffset; }
    std::uint32_t ExifDataCount() const { return FExifDataCount; }
    std::uint8_t Format() const { return FFormat; }
    TExifIFD IFDNumber() const { return FIFD; }
    std::uint32_t Offset() const { return FOffset; }
    std::uint32_t Position() const { return FPosition; }
    std::uint16_t Tag() const { return FTag; }

    void setIFDNumber(TExifIFD AIFD) { FIFD = AIFD; }
    void setTag(std::uint16_t ATag) { FTag = ATag; }
    void setFormat(std::uint8_t AFormat) { FFormat = AFormat; }

    // ---- Writing ----

    // Recomputes FExifDataCount from the held values, then gives the bytes the entry takes in a
    // written directory: 12 when the value fits the value field, else 12 + the value bytes.
    // 32 bits wide so that an oversized value cannot wrap into a small one.
    std::uint32_t EntrySize();
    // Makes the entry LONG (cleared, Index + 1 zeros) unless it is, then sets the value at Index;
    // a LONG entry with fewer values grows with zeros.
    void SetLong(int Index, std::uint32_t Value);
    // Makes the entry ASCII with one block: Text in the ANSI code page and a terminating NUL.
    void SetText(const QString& Text);
    // Writes the values in the given byte order; returns the number of bytes written.
    std::int64_t WriteData(ByteStream& Stream, std::uint16_t ByteOrder) const;
    // Writes the 12-byte directory entry in the owning component's byte order ("II" without one).
    void WriteEntry(ByteStream& Stream);
    // Types 1 to 12 have a value layout; an entry of any other type is left out of a written block.
    bool IsWritable() const { return FFormat >= efByte && FFormat <= efDouble; }

private:
    friend class TEntryItems;
    friend class TExifInfo;

    TEntryItems* FCollection = nullptr;
    int FDataCount = 0;
    std::uint32_t FDataOffset = 0;
    std::vector<TExifData> FDatas;
    std::uint32_t FExifDataCount = 0;
    std::uint8_t FFormat = 0;
    TExifIFD FIFD = eiTIFF;
    std::uint32_t FOffset = 0;
    std::uint32_t FPosition = 0;
    std::uint16_t FTag = 0;
};

// An ordered collection of entries, in the order they were added (file order).
class TEntryItems {
public:
    explicit TEntryItems(TExifInfo* AOwner = nullptr);
    TEntryItems(const TEntryItems&) = delete;
    TEntryItems& operator=(const TEntryItems&) = delete;

    TEntryItem* Add();
    TEntryItem* AddTag(std::uint16_t ATag);
    int Count() const { return static_cast<int>(FItems.size()); }
    // std::out_of_range outside 0..Count-1.
    TEntryItem* Items(int Index) const;
    TEntryItem* operator[](int Index) const { return Items(Index); }
    void setItems(int Index, const TEntryItem& Value);  // Items(Index)->Assign(Value)
    void Delete(int Index);
    void Clear();

    int IFDEntryCount(TExifIFD AIFD) const;
    // The first entry with that tag and directory, in collection order; -1 when there is none.
    int IndexOfTag(std::uint16_t ATag, TExifIFD AIFD) const;
    // FCardinalPoint of Source and copies of its items.
    void Assign(const TEntryItems& Source);

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate() { if (FUpdateCount > 0) --FUpdateCount; }
    int UpdateCount() const { return FUpdateCount; }

    std::int64_t CardinalPoint() const { return FCardinalPoint; }
    void setCardinalPoint(std::int64_t Value) { FCardinalPoint = Value; }
    TExifInfo* Owner() const { return FOwner; }

    // ---- Writing ----

    // The first entry with the tag and directory, or a new one appended, set to Text (ASCII).
    TEntryItem* SetTagText(std::uint16_t ATag, TExifIFD AIFD, const QString& Text);
    // 0 for a directory without (writable) entries, else 6 + the entry sizes.
    std::uint32_t IFDSize(TExifIFD AIFD);
    // IFDSize of the four directories together.
    std::uint32_t DataSize();
    // Lays out and writes the directories eiTIFF, eiExif, eiGPS, eiInteroperability at the
    // stream's position, offsets relative to CardinalPoint(), and fixes the pointer tags up.
    // With WithThumbnail, IFD0's next-directory offset points right after everything written.
    void WriteIFDs(ByteStream& Stream, bool WithThumbnail);

private:
    std::int64_t FCardinalPoint = 0;
    TExifInfo* FOwner = nullptr;
    std::vector<std::unique_ptr<TEntryItem>> FItems;
    int FUpdateCount = 0;
};

class TExifInfo {
public:
    TExifInfo();
    virtual ~TExifInfo();
    TExifInfo(const TExifInfo&) = delete;
    TExifInfo& operator=(const TExifInfo&) = delete;

    // ---- Reading (the component's published properties and operations) ----

    const QString& ImageFileName() const { return FImageFileName; }
    // Reads the named file (an empty name keeps the collections). A file that cannot be opened,
    // or that ends before its JPEG frame header, throws EExifError; everything else is reported
    // through DoError.
    void setImageFileName(const QString& Value);
    // Reads the JPEG that starts at the stream's position. Throws EExifError only when the
    // stream ends before the JPEG frame header.
    void ReadExifData(ByteStream& Stream);
    bool IsExif(ByteStream& Stream);
    bool IsExif(const QString& FileName);

    int SearchBytes() const { return FSearchBytes; }
    void setSearchBytes(int Value) { FSearchBytes = Value < 0 ? 0 : Value; }
    const TExifReadErrorEvent& OnError() const { return FOnError; }
    void setOnError(TExifReadErrorEvent Handler) { FOnError = std::move(Handler); }
    const TNotifyEvent& OnUpdate() const { return FOnUpdate; }
    void setOnUpdate(TNotifyEvent Handler) { FOnUpdate = std::move(Handler); }

    const QString& Name() const { return FName; }
    void setName(const QString& Value) { FName = Value; }

    // What the last read found.
    std::int64_t App1Position() const { return FApp1Position; }
    // The two byte-order bytes of the TIFF header, the first in the low byte ("II" = 0x4949
    // little-endian; any other value big-endian).
    std::uint16_t ByteOrder() const { return FByteOrder; }
    // True once a read has taken the byte-order bytes of a TIFF header into ByteOrder().
    bool ByteOrderRead() const { return FByteOrderRead; }
    std::int32_t JpegWidth() const { return FJpegWidth; }
    std::int32_t JpegHeight() const { return FJpegHeight; }
    std::int64_t OffsetCardinalPoint() const { return FOffsetCardinalPoint; }
    TEntryItems& Entrys() { return *FEntrys; }
    const TEntryItems& Entrys() const { return *FEntrys; }
    TEntryItems& ThmEntrys() { return *FThmEntrys; }
    const TEntryItems& ThmEntrys() const { return *FThmEntrys; }
    bool Destroying() const { return FDestroying; }
    // The one object that every rational getter fills and returns.
    TExifRational* RationalValue() const { return FRationalValue.get(); }

    // Overridable hooks.
    virtual void RationalFreed(TExifRational* R);
    virtual void DoUpdate();
    // Reports ErrCode to OnError; raises EExifError when the handler sets AllowError.
    virtual void DoError(int ErrCode);

    // ---- Typed access ----

    bool TagExists(std::uint16_t ATag, TExifIFD AIFD) const;
    bool ThmTagExists(std::uint16_t ATag, TExifIFD AIFD) const;

    // "YYYY:MM:DD hh:mm:ss" to days since 1899-12-30 (fraction = time of day). A text without
    // ':' or with a field that is not a number throws EExifError ("日時は不明です"); a calendar
    // value out of range throws std::out_of_range.
    static double ParseExifDateTime(const QString& Text);

    // IFD0
    QString Artist();
    int BitsPerSample(int Index);
    int Compression();
    QString CompressionText();
    QString Copyright();
    double DateTime();
    QString DateTimeText();
    std::uint32_t ExifIFDPointer();
    std::uint32_t GPSInfoIFDPointer();
    QString ImageDescription();
    int ImageLength();
    int ImageWidth();
    QString Make();
    QString Model();
    TExifOrientation Orientation();
    int Photometric();
    QString PhotometricText();
    TExifPlanarConfiguration PlanarConfiguration();
    TExifRational* PrimaryChromaticities(int Index);
    TExifRational* ReferenceBlackWhite(int Index);
    int ResolutionUnit();
    QString ResolutionUnitText();
    int RowsPerStrip();
    int SamplesPerPixel();
    QString Software();
    int StripByteCounts(int Index);
    int StripByteCountsCount();
    std::uint32_t StripOffsets(int Index);
    int StripOffsetsCount();
    std::uint16_t TransferFunction(int Index);
    TExifRational* WhitePoint(int Index);
    TExifRational* XResolution();
    TExifRational* YResolution();
    TExifRational* YCbCrCoefficients(int Index);
    TExifYCbCrPositioning YCbCrPositioning();
    TExifSubSampling YCbCrSubSampling();

    // Exif IFD
    TExifRational* ApertureValue();
    TExifRational* BrightnessValue();
    int ColorSpace();
    QString ColorSpaceText();
    int ComponentsConfiguration(int Index);
    QString ComponentsConfigurationText();
    TExifRational* CompressedBitsPerPixel();
    double DateTimeDigitized();
    QString DateTimeDigitizedText();
    double DateTimeOriginal();
    QString DateTimeOriginalText();
    QString ExifVersion();
    TExifRational* ExposureBiasValue();
    TExifRational* ExposureIndex();
    int ExposureProgram();
    QString ExposureProgramText();
    TExifRational* ExposureTime();
    int FileSource();
    bool Flash();
    TExifRational* FlashEnergy();
    QString FlashPixVersion();
    TExifFlashReturn FlashReturn();
    int FlashValue();
    TExifRational* FNumber();
    TExifRational* FocalLength();
    int FocalPlaneResolutionUnit();
    QString FocalPlaneResolutionUnitText();
    TExifRational* FocalPlaneXResolution();
    TExifRational* FocalPlaneYResolution();
    std::uint32_t InteroperabilityIFDPointer();
    int ISOSpeedRatingCount();
    int ISOSpeedRatings(int Index);
    int LightSource();
    QString LightSourceText();
    TExifRational* MaxApatureValue();
    int MeteringMode();
    QString MeteringModeText();
    double MinFNumber();
    int PixelXDimension();
    int PixelYDimension();
    QString RelatedSoundFile();
    int SceneType();
    int SensingMethod();
    QString SensingMethodText();
    double ShutterSpeedTime();
    TExifRational* ShutterSpeedValue();
    QString SpectralSensivity();
    TExifRational* SubjectDistance();
    int SubjectLocationX();
    int SubjectLocationY();
    int SubsecTime();
    int SubsecTimeDigitized();
    int SubsecTimeOriginal();
    QString UserComment();
    TExifUserCommentStyle UserCommentStyle();

    // GPS IFD
    int GPSVersionID(int Index);
    QChar GPSLatitudeRef();
    TExifRational* GPSLatitude(int Index);
    QChar GPSLongitudeRef();
    TExifRational* GPSLongitude(int Index);
    int GPSAltitudeRef();
    TExifRational* GPSAltitude();
    TExifRational* GPSTimeStamp(int Index);
    QString GPSSatellites();
    QChar GPSStatus();
    QChar GPSMeasureMode();
    TExifRational* GPSDOP();
    QChar GPSSpeedRef();
    TExifRational* GPSSpeed();
    QChar GPSTrackRef();
    TExifRational* GPSTrack();
    QChar GPSImgDirectionRef();
    TExifRational* GPSImgDirection();
    QString GPSMapDatum();
    QChar GPSDestLatitudeRef();
    TExifRational* GPSDestLatitude(int Index);
    QChar GPSDestLongitudeRef();
    TExifRational* GPSDestLongitude(int Index);
    QChar GPSDestBearingRef();
    TExifRational* GPSDestBearing();
    QChar GPSDestDistanceRef();
    TExifRational* GPSDestDistance();

    // Interoperability IFD
    QString InteroperabilityIndex();
    QString InteroperabilityVersion();
    QString RelatedImageFileFormat();
    int RelatedImageWidth();
    int RelatedImageLength();

    // Thumbnail (IFD1 and the directories it points to)
    QString ThmArtist();
    int ThmBitsPerSample(int Index);
    int ThmCompression();
    QString ThmCompressionText();
    QString ThmCopyright();
    double ThmDateTime();
    QString ThmDateTimeText();
    std::uint32_t ThmExifIFDPointer();
    QString ThmImageDescription();
    int ThmImageLength();
    int ThmImageWidth();
    std::uint32_t ThmInteroperabilityIFDPointer();
    QString ThmInteroperabilityIndex();
    std::uint32_t ThmJPEGInterchangeFormat();
    std::uint32_t ThmJPEGInterchangeFormatLength();
    QString ThmMake();
    QString ThmModel();
    TExifOrientation ThmOrientation();
    int ThmPhotometric();
    QString ThmPhotometricText();
    TExifPlanarConfiguration ThmPlanarConfiguration();
    TExifRational* ThmPrimaryChromaticities(int Index);
    int ThmResolutionUnit();
    QString ThmResolutionUnitText();
    int ThmRowsPerStrip();
    int ThmSamplesPerPixel();
    QString ThmSoftware();
    int ThmStripByteCounts(int Index);
    int ThmStripByteCountsCount();
    std::uint32_t ThmStripOffsets(int Index);
    int ThmStripOffsetsCount();
    std::uint16_t ThmTransferFunction(int Index);
    TExifRational* ThmWhitePoint(int Index);
    TExifRational* ThmXResolution();
    TExifRational* ThmYResolution();
    TExifRational* ThmYCbCrCoefficients(int Index);
    TExifYCbCrPositioning ThmYCbCrPositioning();
    TExifSubSampling ThmYCbCrSubSampling();

    // The thumbnail: the JPEG of IFD1 when there is one, else the main picture fitted into
    // 160 x 120 (never enlarged). Stream null means the file ImageFileName(). The JPEG form
    // encodes a built thumbnail with the codec's default quality. Failures throw (EExifError,
    // jpeg::JpegError).
    void GetThumbnail(QByteArray& Thumb, ByteStream* Stream = nullptr);
    void GetThumbnail(QImage& Thumb, ByteStream* Stream = nullptr);
    // The main picture decoded from the source's position, fitted into 160 x 120.
    static QImage MakeThumbnail(ByteStream& Source);

    // ---- Writing ----

    // Copies of Source's entries, both collections, and its byte order: a component to change
    // and write without touching Source.
    void AssignEntries(const TExifInfo& Source);

    // No character above U+00FF.
    static bool IsAnsiText(const QString& Text);
    // Texts refused by the character check report -4 and change nothing.
    void setArtist(const QString& Value);
    void setCopyright(const QString& Value);
    void setImageDescription(const QString& Value);
    void setMake(const QString& Value);
    void setModel(const QString& Value);  // no character check
    void setSoftware(const QString& Value);
    // Date texts are cut or padded with spaces to 19 characters.
    void setDateTimeText(const QString& Value);
    void setDateTimeOriginalText(const QString& Value);
    void setDateTimeDigitizedText(const QString& Value);
    // Days since 1899-12-30, written as "YYYY:MM:DD hh:mm:ss".
    void setDateTime(double Value);
    void setDateTimeOriginal(double Value);
    void setDateTimeDigitized(double Value);
    void setSubsecTime(int Value);
    void setSubsecTimeOriginal(int Value);
    void setSubsecTimeDigitized(int Value);
    // The low byte of Value becomes the first byte of the UNDEFINED value.
    void setFileSource(int Value);
    void setSceneType(int Value);
    // Keeps the present comment style.
    void setUserComment(const QString& Value);
    void setThmArtist(const QString& Value);
    void setThmCopyright(const QString& Value);
    void setThmImageDescription(const QString& Value);
    void setThmMake(const QString& Value);
    void setThmModel(const QString& Value);
    void setThmSoftware(const QString& Value);
    void setThmDateTimeText(const QString& Value);
    void setThmDateTime(double Value);
    // "%.4d:%.2d:%.2d %.2d:%.2d:%.2d" of a date-time value.
    static QString FormatExifDateTime(double Value);

    // Tag 37510: the 8 code bytes of Code, then Comment (ANSI, ISO-2022-JP, or FF FE and UTF-16LE).
    void WriteUserComment(const QString& Comment, TExifUserCommentStyle Code);
    // The maker note (37500) becomes ASize bytes from Stream's position (ASize <= 0: the rest of
    // Stream, or fewer when Stream ends first). Returns the number of bytes copied.
    std::int64_t WriteToMakerNote(ByteStream& Stream, std::int64_t ASize);
    // Appends the maker note to Stream; -7 and 0 when there is none.
    std::int64_t CopyFromMakerNote(ByteStream& Stream);
    // Replaces the EXIF block of the file (or inserts one) with the collections, optionally with
    // a thumbnail rebuilt from the picture. False when the file does not exist. A file that is
    // not a JPEG, a block over 65,535 bytes or a failed save throws EExifError; the file is then
    // unchanged.
    bool WriteExif(const QString& DestFileName, bool IncludeThumbnail);
    // The TIFF block (header, directories and, when Thumbnail is not empty, IFD1 and the
    // thumbnail JPEG) that an EXIF APP1 segment or a PNG eXIf chunk carries.
    QByteArray MakeTiffBlock(const QByteArray& Thumbnail);
    // File (a JPEG) with its EXIF block replaced by, or given, the collections' block. Throws
    // EExifError for a file that is not a JPEG or a block over 65,535 bytes.
    QByteArray InsertExif(const QByteArray& File, const QByteArray& Thumbnail);

private:
    friend class TEntryItem;

    std::int64_t FindApp1(ByteStream& Stream);
    std::int64_t FindApp1(const QString& FileName);
    void ReadJpegSize(ByteStream& Stream);
    bool ReadApp1(ByteStream& Stream);
    void SkipExifHeader(ByteStream& Stream);
    std::uint32_t ReadTiffHeader(ByteStream& Stream);
    std::uint32_t ReadIFD(ByteStream& Stream, TExifIFD AIFD);
    std::uint32_t ReadThmIFD(ByteStream& Stream, TExifIFD AIFD);
    std::uint32_t ReadDirectory(TEntryItems& Items, ByteStream& Stream, TExifIFD AIFD);
    void ReadStream(ByteStream& Stream);
    // Charges the out-of-line value bytes of one entry to the directory being read.
    void ChargeValueBytes(std::uint64_t Bytes);

    // Typed accessors on one collection.
    TEntryItem* Find(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing);
    const TExifData* GetDataPtr(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing);
    QString GetString(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing);
    QString GetThmText(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing);
    int GetByte(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD, bool RaiseIfMissing);
    int GetShort(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD, bool RaiseIfMissing);
    std::uint32_t GetLong(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD,
                          bool RaiseIfMissing);
    // SHORT or LONG at Index; another type reports -5, a missing tag -7 when asked to.
    std::uint32_t GetShortOrLong(const TEntryItems& Items, std::uint16_t ATag, int Index, TExifIFD AIFD,
                                 bool RaiseIfMissing, std::uint32_t Missing = 0);
    TExifRational* GetRational(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, int Index = 0);
    TExifRational* GetRationalAt(const TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, int Index,
                                 int MaxIndex);
    TExifRational* GetResolution(const TEntryItems& Items, std::uint16_t ATag);
    QByteArray GetUndefined(std::uint16_t ATag, TExifIFD AIFD, bool RaiseIfMissing, bool* Found = nullptr);
    QChar GetChar(std::uint16_t ATag, TExifIFD AIFD);
    int GetSubsec(std::uint16_t ATag);
    TExifSubSampling SubSampling(const TEntryItems& Items);
    QByteArray ReadThumbnailSource(ByteStream* Stream, std::int64_t Offset, std::int64_t Length);
    // Where IFD1's JPEG lies (stream position and length, 0 = to the end), when it has one.
    bool ThumbnailLocation(std::int64_t& Offset, std::int64_t& Length);
    QImage BuildThumbnail(ByteStream* Stream);

    // Writing helpers.
    void SetCheckedText(TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, const QString& Text);
    void SetDateText(TEntryItems& Items, std::uint16_t ATag, TExifIFD AIFD, const QString& Text);
    void SetUndefinedByte(std::uint16_t ATag, int Value);
    // The UNDEFINED entry of the tag in eiExif (created or turned into one), its stream emptied.
    MemoryStream& EmptyUndefined(std::uint16_t ATag);

    QString FName;
    bool FDestroying = false;

    std::int64_t FApp1Position = -1;
    std::uint16_t FByteOrder = 0;
    bool FByteOrderRead = false;
    std::unique_ptr<TEntryItems> FEntrys;
    QString FImageFileName;
    std::int32_t FJpegHeight = 0;
    std::int32_t FJpegWidth = 0;
    std::int64_t FOffsetCardinalPoint = 0;
    TExifReadErrorEvent FOnError;
    TNotifyEvent FOnUpdate;
    std::unique_ptr<TExifRational> FRationalValue;
    std::int32_t FSearchBytes = 16;
    std::unique_ptr<TEntryItems> FThmEntrys;

    // Bytes of out-of-line values the directory being read may still take (the stream bytes
    // after the TIFF header), so overlapping offsets cannot multiply the memory a file costs.
    std::uint64_t FDirectoryBudget = 0;
    bool FReading = false;
};

}  // namespace nocturo
