// Typed access: the property tables (values, defaults, error reports), display texts, date
// parsing, user comments and the shared rational result.

#include "exif/exif_info.h"

#include "exif_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace nocturo;
namespace xt = exif_test;

namespace {

struct Recorder {
    TExifInfo info;
    std::vector<int> errors;
    Recorder() { info.setOnError([this](TExifInfo*, int code, bool&) { errors.push_back(code); }); }
    explicit Recorder(const xt::Dirs& dirs) : Recorder() {
        MemoryStream s(xt::buildJpeg(dirs));
        info.ReadExifData(s);
        EXPECT_TRUE(errors.empty()) << "fixture did not read cleanly";
        errors.clear();
    }
};

// Every result as text, so that one table can hold them all.
QString str(int v) { return QString::number(v); }
QString str(std::uint32_t v) { return QString::number(v); }
QString str(bool v) { return v ? "true" : "false"; }
QString str(double v) { return QString::number(v, 'g', 15); }
QString str(const QString& v) { return v; }
QString str(QChar c) { return c.isNull() ? QString() : QString(c); }
QString str(TExifRational* r) { return r->Text(); }
template <typename E>
    requires std::is_enum_v<E>
QString str(E v) { return QString::number(static_cast<int>(v)); }

using Getter = std::function<QString(TExifInfo&)>;
#define GET(expr) [](TExifInfo& i) { return str(i.expr); }

struct PropCase {
    const char* name;
    Getter get;
    QString expected;
    std::vector<int> errors;
    xt::Dirs dirs = {};
};

void PrintTo(const PropCase& c, std::ostream* os) { *os << c.name; }

std::string caseName(const char* name) {
    std::string n = name;
    for (char& c : n) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return n;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Missing tags: each getter's value and report on a block that holds none of them

class MissingTagTest : public ::testing::TestWithParam<PropCase> {};

TEST_P(MissingTagTest, GivesItsDefaultAndReport) {
    const PropCase& c = GetParam();
    Recorder r({.ifd0 = {xt::ascii(305, "only software")}});
    EXPECT_EQ(c.get(r.info), c.expected);
    EXPECT_EQ(r.errors, c.errors);
}

const std::vector<int> k7{kExifTagNotFound}, k6{kExifInvalidIndex}, kNone{};

INSTANTIATE_TEST_SUITE_P(
    Properties, MissingTagTest,
    ::testing::Values(
        // IFD0
        PropCase{"Artist", GET(Artist()), "", kNone}, PropCase{"BitsPerSample", GET(BitsPerSample(0)), "0", k7},
        PropCase{"Compression", GET(Compression()), "0", k7}, PropCase{"CompressionText", GET(CompressionText()), "", k7},
        PropCase{"Copyright", GET(Copyright()), "", kNone}, PropCase{"DateTimeText", GET(DateTimeText()), "", kNone},
        PropCase{"ExifIFDPointer", GET(ExifIFDPointer()), "0", kNone},
        PropCase{"GPSInfoIFDPointer", GET(GPSInfoIFDPointer()), "0", kNone},
        PropCase{"ImageDescription", GET(ImageDescription()), "", k7},
        PropCase{"ImageLength", GET(ImageLength()), "48", kNone}, PropCase{"ImageWidth", GET(ImageWidth()), "64", kNone},
        PropCase{"Make", GET(Make()), "", kNone}, PropCase{"Model", GET(Model()), "", kNone},
        PropCase{"Orientation", GET(Orientation()), "1", kNone}, PropCase{"Photometric", GET(Photometric()), "0", k7},
        PropCase{"PhotometricText", GET(PhotometricText()), "", k7},
        PropCase{"PlanarConfiguration", GET(PlanarConfiguration()), "1", kNone},
        PropCase{"PrimaryChromaticities", GET(PrimaryChromaticities(5)), "0/0", k7},
        PropCase{"PrimaryChromaticitiesIndex6", GET(PrimaryChromaticities(6)), "0/0", k6},
        PropCase{"ReferenceBlackWhiteIndexMinus1", GET(ReferenceBlackWhite(-1)), "0/0", k6},
        PropCase{"ResolutionUnit", GET(ResolutionUnit()), "2", kNone},
        PropCase{"ResolutionUnitText", GET(ResolutionUnitText()), "インチ", kNone},
        PropCase{"RowsPerStrip", GET(RowsPerStrip()), "0", k7}, PropCase{"SamplesPerPixel", GET(SamplesPerPixel()), "3", kNone},
        PropCase{"StripByteCounts", GET(StripByteCounts(0)), "0", k7},
        PropCase{"StripByteCountsCount", GET(StripByteCountsCount()), "0", kNone},
        PropCase{"StripOffsets", GET(StripOffsets(0)), "0", k7},
        PropCase{"StripOffsetsCount", GET(StripOffsetsCount()), "0", kNone},
        PropCase{"TransferFunction", GET(TransferFunction(0)), "0", k7},
        PropCase{"TransferFunctionIndex768", GET(TransferFunction(768)), "0", k6},
        PropCase{"WhitePoint", GET(WhitePoint(1)), "0/0", k7}, PropCase{"WhitePointIndex2", GET(WhitePoint(2)), "0/0", k6},
        PropCase{"XResolution", GET(XResolution()), "72/1", kNone}, PropCase{"YResolution", GET(YResolution()), "72/1", kNone},
        PropCase{"YCbCrCoefficientsIndex3", GET(YCbCrCoefficients(3)), "0/0", k6},
        PropCase{"YCbCrPositioning", GET(YCbCrPositioning()), "1", kNone},
        PropCase{"YCbCrSubSampling", GET(YCbCrSubSampling()), "0", k7},
        // Exif IFD
        PropCase{"ApertureValue", GET(ApertureValue()), "0/0", k7}, PropCase{"BrightnessValue", GET(BrightnessValue()), "0/0", k7},
        PropCase{"ColorSpace", GET(ColorSpace()), "0", k7}, PropCase{"ColorSpaceText", GET(ColorSpaceText()), "", k7},
        PropCase{"ComponentsConfiguration", GET(ComponentsConfiguration(0)), "0", k7},
        PropCase{"ComponentsConfigurationIndex4", GET(ComponentsConfiguration(4)), "0", k6},
        PropCase{"ComponentsConfigurationText", GET(ComponentsConfigurationText()), "", k7},
        PropCase{"DateTimeOriginalText", GET(DateTimeOriginalText()), "", kNone},
        PropCase{"DateTimeDigitizedText", GET(DateTimeDigitizedText()), "", kNone},
        PropCase{"ExifVersion", GET(ExifVersion()), "", k7}, PropCase{"ExposureIndex", GET(ExposureIndex()), "0/0", k7},
        PropCase{"ExposureProgram", GET(ExposureProgram()), "0", k7},
        PropCase{"ExposureProgramText", GET(ExposureProgramText()), "未定義", k7},
        PropCase{"ExposureTime", GET(ExposureTime()), "0/0", k7}, PropCase{"FileSource", GET(FileSource()), "3", kNone},
        PropCase{"Flash", GET(Flash()), "false", k7}, PropCase{"FlashReturn", GET(FlashReturn()), "0", k7},
        PropCase{"FlashPixVersion", GET(FlashPixVersion()), "", k7}, PropCase{"FNumber", GET(FNumber()), "0/0", k7},
        PropCase{"FocalPlaneResolutionUnit", GET(FocalPlaneResolutionUnit()), "2", kNone},
        PropCase{"FocalPlaneResolutionUnitText", GET(FocalPlaneResolutionUnitText()), "インチ", kNone},
        PropCase{"InteroperabilityIFDPointer", GET(InteroperabilityIFDPointer()), "0", kNone},
        PropCase{"ISOSpeedRatingCount", GET(ISOSpeedRatingCount()), "0", kNone},
        PropCase{"ISOSpeedRatings", GET(ISOSpeedRatings(0)), "0", k7}, PropCase{"LightSource", GET(LightSource()), "0", kNone},
        PropCase{"LightSourceText", GET(LightSourceText()), "", kNone},
        PropCase{"MeteringModeText", GET(MeteringModeText()), "", k7},
        PropCase{"PixelXDimension", GET(PixelXDimension()), "0", k7},
        PropCase{"PixelYDimension", GET(PixelYDimension()), "0", k7},
        PropCase{"RelatedSoundFile", GET(RelatedSoundFile()), "", k7}, PropCase{"SceneType", GET(SceneType()), "1", kNone},
        PropCase{"SensingMethodText", GET(SensingMethodText()), "", k7},
        PropCase{"SpectralSensivity", GET(SpectralSensivity()), "", k7},
        PropCase{"SubjectLocationY", GET(SubjectLocationY()), "0", k7},
        PropCase{"SubsecTime", GET(SubsecTime()), "0", {kExifTagNotFound, kExifDateUnknown}},
        PropCase{"UserComment", GET(UserComment()), "", kNone},
        PropCase{"UserCommentStyle", GET(UserCommentStyle()), "4", kNone},
        // GPS IFD
        PropCase{"GPSVersionID0", GET(GPSVersionID(0)), "2", kNone}, PropCase{"GPSVersionID3", GET(GPSVersionID(3)), "0", kNone},
        PropCase{"GPSVersionID4", GET(GPSVersionID(4)), "0", k6}, PropCase{"GPSLatitudeRef", GET(GPSLatitudeRef()), "", k7},
        PropCase{"GPSLatitude", GET(GPSLatitude(0)), "0/0", k7}, PropCase{"GPSAltitudeRef", GET(GPSAltitudeRef()), "0", kNone},
        PropCase{"GPSAltitude", GET(GPSAltitude()), "0/0", k7}, PropCase{"GPSSatellites", GET(GPSSatellites()), "", k7},
        PropCase{"GPSMapDatum", GET(GPSMapDatum()), "", k7}, PropCase{"GPSDestBearingRef", GET(GPSDestBearingRef()), "", k7},
        // Interoperability IFD
        PropCase{"InteroperabilityIndex", GET(InteroperabilityIndex()), "", k7},
        PropCase{"InteroperabilityVersion", GET(InteroperabilityVersion()), "", k7},
        PropCase{"RelatedImageFileFormat", GET(RelatedImageFileFormat()), "", k7},
        PropCase{"RelatedImageWidth", GET(RelatedImageWidth()), "0", k7},
        // Thumbnail
        PropCase{"ThmArtist", GET(ThmArtist()), "", k7}, PropCase{"ThmBitsPerSample", GET(ThmBitsPerSample(2)), "8", kNone},
        PropCase{"ThmBitsPerSampleIndex3", GET(ThmBitsPerSample(3)), "8", k6},
        PropCase{"ThmCompression", GET(ThmCompression()), "0", k7},
        PropCase{"ThmCompressionText", GET(ThmCompressionText()), "", k7},
        PropCase{"ThmDateTimeText", GET(ThmDateTimeText()), "", kNone},
        PropCase{"ThmExifIFDPointer", GET(ThmExifIFDPointer()), "0", kNone},
        PropCase{"ThmImageWidth", GET(ThmImageWidth()), "0", k7},
        PropCase{"ThmInteroperabilityIFDPointer", GET(ThmInteroperabilityIFDPointer()), "0", kNone},
        PropCase{"ThmInteroperabilityIndex", GET(ThmInteroperabilityIndex()), "", k7},
        PropCase{"ThmJPEGInterchangeFormat", GET(ThmJPEGInterchangeFormat()), "0", k7},
        PropCase{"ThmJPEGInterchangeFormatLength", GET(ThmJPEGInterchangeFormatLength()), "0", k7},
        PropCase{"ThmModel", GET(ThmModel()), "", k7}, PropCase{"ThmOrientation", GET(ThmOrientation()), "1", kNone},
        PropCase{"ThmPhotometric", GET(ThmPhotometric()), "0", k7},
        PropCase{"ThmPlanarConfiguration", GET(ThmPlanarConfiguration()), "1", kNone},
        PropCase{"ThmResolutionUnitText", GET(ThmResolutionUnitText()), "インチ", kNone},
        PropCase{"ThmSamplesPerPixel", GET(ThmSamplesPerPixel()), "3", kNone},
        PropCase{"ThmStripByteCounts", GET(ThmStripByteCounts(0)), "0", k7},
        PropCase{"ThmStripOffsetsCount", GET(ThmStripOffsetsCount()), "0", kNone},
        PropCase{"ThmTransferFunction", GET(ThmTransferFunction(0)), "0", k7},
        PropCase{"ThmTransferFunctionIndexMinus1", GET(ThmTransferFunction(-1)), "0", k6},
        PropCase{"ThmWhitePoint", GET(ThmWhitePoint(0)), "0/0", k7},
        PropCase{"ThmXResolution", GET(ThmXResolution()), "72/1", kNone},
        PropCase{"ThmYCbCrPositioning", GET(ThmYCbCrPositioning()), "0", k7},
        PropCase{"ThmYCbCrSubSampling", GET(ThmYCbCrSubSampling()), "0", k7}),
    [](const auto& info) { return caseName(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Present tags: values, conversions, wrong types and indexes

class PresentTagTest : public ::testing::TestWithParam<PropCase> {};

TEST_P(PresentTagTest, ReadsTheStoredValue) {
    const PropCase& c = GetParam();
    Recorder r(c.dirs);
    EXPECT_EQ(c.get(r.info), c.expected);
    EXPECT_EQ(r.errors, c.errors);
}

const std::vector<int> k5{kExifInvalidStream}, k8{kExifDateUnknown};

INSTANTIATE_TEST_SUITE_P(
    Properties, PresentTagTest,
    ::testing::Values(
        PropCase{"ExposureTime", GET(ExposureTime()), "1/250", kNone, {.exif = {xt::rationals(33434, {{1, 250}})}}},
        PropCase{"ExposureTimeUnreduced", GET(ExposureTime()), "148/8160", kNone, {.exif = {xt::rationals(33434, {{148, 8160}})}}},
        PropCase{"SubjectDistanceInfinity", GET(SubjectDistance()), "4294967295/1", kNone,
                 {.exif = {xt::rationals(37382, {{0xFFFFFFFF, 1}})}}},
        PropCase{"ExposureBiasNegativeNumerator", GET(ExposureBiasValue()), "-1/3", kNone, {.exif = {xt::srationals(37380, {{-1, 3}})}}},
        PropCase{"BrightnessNegativeDenominator", GET(BrightnessValue()), "-1/3", kNone, {.exif = {xt::srationals(37379, {{1, -3}})}}},
        PropCase{"ShutterSpeedBothNegative", GET(ShutterSpeedValue()), "2/4", kNone, {.exif = {xt::srationals(37377, {{-2, -4}})}}},
        PropCase{"RationalOfAShortEntry", GET(ExposureTime()), "0/0", k5, {.exif = {xt::shorts(33434, {250})}}},
        PropCase{"XResolution", GET(XResolution()), "300/1", kNone, {.ifd0 = {xt::rationals(282, {{300, 1}})}}},
        PropCase{"ColorSpaceUncalibrated", GET(ColorSpaceText()), "Uncalibrated", kNone, {.exif = {xt::shorts(40961, {65535})}}},
        PropCase{"ColorSpaceUnlisted", GET(ColorSpaceText()), "", kNone, {.exif = {xt::shorts(40961, {2})}}},
        PropCase{"ComponentsYCbCr", GET(ComponentsConfigurationText()), "YCbCr ", kNone,
                 {.exif = {xt::undefined(37121, QByteArray("\x01\x02\x03\x00", 4))}}},
        PropCase{"ComponentsRGBAndUnknown", GET(ComponentsConfigurationText()), "RGB  ", kNone,
                 {.exif = {xt::undefined(37121, QByteArray("\x04\x05\x06\x07\x00", 5))}}},
        PropCase{"ComponentsIndex0", GET(ComponentsConfiguration(0)), "1", kNone,
                 {.exif = {xt::undefined(37121, QByteArray("\x01\x02\x03\x00", 4))}}},
        PropCase{"ComponentsIndex3", GET(ComponentsConfiguration(3)), "0", kNone,
                 {.exif = {xt::undefined(37121, QByteArray("\x01\x02\x03\x00", 4))}}},
        PropCase{"OrientationReserved", GET(Orientation()), "0", kNone, {.ifd0 = {xt::shorts(274, {9})}}},
        PropCase{"OrientationZero", GET(Orientation()), "0", kNone, {.ifd0 = {xt::shorts(274, {0})}}},
        PropCase{"OrientationRightTop", GET(Orientation()), "6", kNone, {.ifd0 = {xt::shorts(274, {6})}}},
        PropCase{"ThmOrientationZero", GET(ThmOrientation()), "0", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::shorts(274, {0})}}},
        PropCase{"ThmOrientation8", GET(ThmOrientation()), "8", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::shorts(274, {8})}}},
        PropCase{"SubSampling422", GET(YCbCrSubSampling()), "1", kNone, {.ifd0 = {xt::shorts(530, {2, 1})}}},
        PropCase{"SubSampling420", GET(YCbCrSubSampling()), "2", kNone, {.ifd0 = {xt::shorts(530, {2, 2})}}},
        PropCase{"SubSamplingOther", GET(YCbCrSubSampling()), "0", kNone, {.ifd0 = {xt::shorts(530, {1, 1})}}},
        PropCase{"PlanarConfiguration2", GET(PlanarConfiguration()), "2", kNone, {.ifd0 = {xt::shorts(284, {2})}}},
        PropCase{"PlanarConfiguration3", GET(PlanarConfiguration()), "0", kNone, {.ifd0 = {xt::shorts(284, {3})}}},
        PropCase{"YCbCrPositioningCosited", GET(YCbCrPositioning()), "2", kNone, {.ifd0 = {xt::shorts(531, {2})}}},
        PropCase{"YCbCrPositioningZero", GET(YCbCrPositioning()), "0", kNone, {.ifd0 = {xt::shorts(531, {0})}}},
        PropCase{"ThmYCbCrPositioning", GET(ThmYCbCrPositioning()), "1", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::shorts(531, {1})}}},
        PropCase{"FocalPlaneUnitZero", GET(FocalPlaneResolutionUnit()), "2", kNone, {.exif = {xt::shorts(41488, {0})}}},
        PropCase{"FocalPlaneUnitText", GET(FocalPlaneResolutionUnitText()), "センチメートル", kNone, {.exif = {xt::shorts(41488, {3})}}},
        PropCase{"ImageWidthShort", GET(ImageWidth()), "640", kNone, {.ifd0 = {xt::shorts(256, {640})}}},
        PropCase{"ImageWidthLong", GET(ImageWidth()), "70000", kNone, {.ifd0 = {xt::longs(256, {70000})}}},
        PropCase{"ImageWidthRational", GET(ImageWidth()), "0", k5, {.ifd0 = {xt::rationals(256, {{640, 1}})}}},
        PropCase{"ImageLengthRational", GET(ImageLength()), "0", kNone, {.ifd0 = {xt::rationals(257, {{480, 1}})}}},
        PropCase{"PixelXShort", GET(PixelXDimension()), "1280", kNone, {.exif = {xt::shorts(40962, {1280})}}},
        PropCase{"PixelXLong", GET(PixelXDimension()), "5472", kNone, {.exif = {xt::longs(40962, {5472})}}},
        PropCase{"PixelXAscii", GET(PixelXDimension()), "0", k5, {.exif = {xt::ascii(40962, "5472")}}},
        PropCase{"PixelYLong", GET(PixelYDimension()), "3648", kNone, {.exif = {xt::longs(40963, {3648})}}},
        PropCase{"IsoCount", GET(ISOSpeedRatingCount()), "2", kNone, {.exif = {xt::shorts(34855, {100, 200})}}},
        PropCase{"IsoSecond", GET(ISOSpeedRatings(1)), "200", kNone, {.exif = {xt::shorts(34855, {100, 200})}}},
        PropCase{"IsoPastTheValues", GET(ISOSpeedRatings(2)), "0", kNone, {.exif = {xt::shorts(34855, {100, 200})}}},
        PropCase{"IsoOfTypeLong", GET(ISOSpeedRatings(0)), "0", kNone, {.exif = {xt::longs(34855, {1600})}}},
        PropCase{"BitsPerSampleLast", GET(BitsPerSample(2)), "8", kNone, {.ifd0 = {xt::shorts(258, {8, 8, 8})}}},
        PropCase{"BitsPerSamplePastTheValues", GET(BitsPerSample(3)), "0", k6, {.ifd0 = {xt::shorts(258, {8, 8, 8})}}},
        PropCase{"StripByteCountsPastTheValues", GET(StripByteCounts(5)), "0", kNone, {.ifd0 = {xt::longs(279, {10, 20})}}},
        PropCase{"StripOffsetsShort", GET(StripOffsets(1)), "300", kNone, {.ifd0 = {xt::shorts(273, {100, 300})}}},
        PropCase{"StripOffsetsCount", GET(StripOffsetsCount()), "2", kNone, {.ifd0 = {xt::shorts(273, {100, 300})}}},
        PropCase{"ThmStripByteCounts", GET(ThmStripByteCounts(1)), "20", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::longs(279, {10, 20})}}},
        PropCase{"ThmStripByteCountsPastTheValues", GET(ThmStripByteCounts(2)), "0", k6,
                 {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::longs(279, {10, 20})}}},
        PropCase{"ThmStripOffsetsOfTypeRational", GET(ThmStripOffsets(0)), "0", k5,
                 {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::rationals(273, {{1, 1}})}}},
        PropCase{"TransferFunctionPastTheValues", GET(TransferFunction(767)), "0", kNone, {.ifd0 = {xt::shorts(301, {1, 2, 3})}}},
        PropCase{"TransferFunction", GET(TransferFunction(2)), "3", kNone, {.ifd0 = {xt::shorts(301, {1, 2, 3})}}},
        PropCase{"WhitePointSecondPairMissing", GET(WhitePoint(1)), "0/0", k6, {.ifd0 = {xt::rationals(318, {{313, 1000}})}}},
        PropCase{"GPSLatitudeSeconds", GET(GPSLatitude(2)), "3000/100", kNone,
                 {.gps = {xt::rationals(2, {{35, 1}, {40, 1}, {3000, 100}})}}},
        PropCase{"GPSLatitudeRef", GET(GPSLatitudeRef()), "N", kNone, {.gps = {xt::ascii(1, "N")}}},
        PropCase{"GPSLatitudeRefEmpty", GET(GPSLatitudeRef()), "", kNone, {.gps = {xt::asciiRaw(1, "")}}},
        PropCase{"GPSVersionID1", GET(GPSVersionID(1)), "3", kNone, {.gps = {xt::bytes(0, {2, 3, 0, 0})}}},
        PropCase{"GPSAltitudeRef", GET(GPSAltitudeRef()), "1", kNone, {.gps = {xt::bytes(5, {1})}}},
        PropCase{"GPSMapDatum", GET(GPSMapDatum()), "WGS-84", kNone, {.gps = {xt::ascii(18, "WGS-84")}}},
        PropCase{"MinFNumber", GET(MinFNumber()), "2", kNone, {.exif = {xt::rationals(37381, {{2, 1}})}}},
        PropCase{"ShutterSpeedTime", GET(ShutterSpeedTime()), "0.00390625", kNone, {.exif = {xt::srationals(37377, {{8, 1}})}}},
        PropCase{"ExifVersion", GET(ExifVersion()), "0220", kNone, {.exif = {xt::undefined(36864, "0220")}}},
        PropCase{"FlashPixVersion", GET(FlashPixVersion()), "0100", kNone, {.exif = {xt::undefined(40960, "0100")}}},
        PropCase{"ExifVersionOfTypeAscii", GET(ExifVersion()), "", k5, {.exif = {xt::ascii(36864, "022")}}},
        PropCase{"InteroperabilityVersion", GET(InteroperabilityVersion()), "0100", kNone,
                 {.interop = {xt::undefined(2, "0100")}}},
        PropCase{"InteroperabilityIndex", GET(InteroperabilityIndex()), "R98", kNone, {.interop = {xt::ascii(1, "R98")}}},
        PropCase{"RelatedImageWidth", GET(RelatedImageWidth()), "1024", kNone, {.interop = {xt::shorts(4097, {1024})}}},
        PropCase{"FileSource", GET(FileSource()), "1", kNone, {.exif = {xt::undefined(41728, "\x01")}}},
        PropCase{"SceneType", GET(SceneType()), "7", kNone, {.exif = {xt::undefined(41729, "\x07")}}},
        PropCase{"SubsecTime", GET(SubsecTime()), "45", kNone, {.exif = {xt::ascii(37520, "45")}}},
        PropCase{"SubsecTimeOriginalPadded", GET(SubsecTimeOriginal()), "7", kNone, {.exif = {xt::ascii(37521, "  7 ")}}},
        PropCase{"SubsecTimeDigitizedNotANumber", GET(SubsecTimeDigitized()), "0", k8, {.exif = {xt::ascii(37522, "4a")}}},
        PropCase{"SubjectLocationY", GET(SubjectLocationY()), "600", kNone, {.exif = {xt::shorts(41492, {800, 600})}}},
        PropCase{"ModelAsStored", GET(Model()), "PENTAX K10D        ", kNone, {.ifd0 = {xt::ascii(272, "PENTAX K10D        ")}}},
        PropCase{"ModelShiftJis", GET(Model()), "星空カメラ", kNone,
                 {.ifd0 = {xt::ascii(272, QByteArray("\x90\xAF\x8B\xF3\x83\x4A\x83\x81\x83\x89"))}}},
        PropCase{"ModelUtf8", GET(Model()), "星空", kNone, {.ifd0 = {xt::ascii(272, "\xE6\x98\x9F\xE7\xA9\xBA")}}},
        PropCase{"ModelOfTypeShort", GET(Model()), "", kNone, {.ifd0 = {xt::shorts(272, {1})}}},
        PropCase{"ThmMake", GET(ThmMake()), "Thumb Maker", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::ascii(271, "Thumb Maker")}}},
        PropCase{"ThmCompressionText", GET(ThmCompressionText()), "JPEG", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::shorts(259, {6})}}},
        PropCase{"ThmJPEGInterchangeFormat", GET(ThmJPEGInterchangeFormat()), "5000", kNone,
                 {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::longs(513, {5000})}}},
        PropCase{"ThmBitsPerSample", GET(ThmBitsPerSample(1)), "5", kNone, {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::shorts(258, {4, 5, 6})}}},
        PropCase{"ThmDateTimeText", GET(ThmDateTimeText()), "2001:02:03 04:05:06", kNone,
                 {.ifd0 = {xt::ascii(305, "s")}, .ifd1 = {xt::ascii(306, "2001:02:03 04:05:06")}}}),
    [](const auto& info) { return caseName(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Display-text tables

struct TextTable {
    const char* name;
    std::uint16_t tag;
    TExifIFD ifd;
    Getter get;
    std::vector<std::pair<int, const char*>> texts;
};

void PrintTo(const TextTable& t, std::ostream* os) { *os << t.name; }

class DisplayTextTest : public ::testing::TestWithParam<TextTable> {};

TEST_P(DisplayTextTest, EveryCodeGivesItsText) {
    const TextTable& t = GetParam();
    for (auto [code, text] : t.texts) {
        xt::Dirs d;
        (t.ifd == eiTIFF ? d.ifd0 : d.exif).push_back(xt::shorts(t.tag, {std::uint64_t(code)}));
        Recorder r(d);
        EXPECT_EQ(t.get(r.info), QString::fromUtf8(text)) << t.name << " " << code;
        EXPECT_TRUE(r.errors.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, DisplayTextTest,
    ::testing::Values(
        TextTable{"Compression", 259, eiTIFF, GET(CompressionText()), {{1, "非圧縮"}, {6, "JPEG"}, {7, ""}, {0, ""}}},
        TextTable{"Photometric", 262, eiTIFF, GET(PhotometricText()), {{2, "RGB"}, {6, "YCbCr"}, {1, ""}}},
        TextTable{"ResolutionUnit", 296, eiTIFF, GET(ResolutionUnitText()), {{2, "インチ"}, {3, "センチメートル"}, {1, ""}}},
        TextTable{"ColorSpace", 40961, eiExif, GET(ColorSpaceText()), {{1, "sRGB"}, {65535, "Uncalibrated"}, {2, ""}}},
        TextTable{"ExposureProgram", 34850, eiExif, GET(ExposureProgramText()),
                  {{0, "未定義"}, {1, "マニュアル"}, {2, "ノーマルプログラム"}, {3, "露出優先"}, {4, "シャッタ優先"},
                   {5, "creativeプログラム"}, {6, "actionプログラム"}, {7, "ポートレイトモード"},
                   {8, "ランドスケープモード"}, {9, ""}}},
        TextTable{"LightSource", 37384, eiExif, GET(LightSourceText()),
                  {{0, ""}, {1, "昼光"}, {2, "蛍光灯"}, {3, "タングステン"}, {4, ""}, {17, "標準光 A"}, {18, "標準光 B"},
                   {19, "標準光 C"}, {20, "D55"}, {21, "D65"}, {22, "D75"}, {23, ""}, {255, "その他"}}},
        TextTable{"MeteringMode", 37383, eiExif, GET(MeteringModeText()),
                  {{0, ""}, {1, "平均"}, {2, "中央重点"}, {3, "スポット"}, {4, "マルチスポット"}, {5, "分割測光"},
                   {6, "部分測光"}, {7, ""}, {255, "その他"}}},
        TextTable{"SensingMethod", 41495, eiExif, GET(SensingMethodText()),
                  {{0, ""}, {1, "未定義"}, {2, "単チップカラーセンサ"}, {3, "2チップカラーセンサ"}, {4, "3チップカラーセンサ"},
                   {5, "色順次カラーセンサ"}, {6, ""}, {7, "3線リニアセンサ"}, {8, "色順次リニアセンサ"}, {9, ""}}},
        TextTable{"Flash", 37385, eiExif, [](TExifInfo& i) { return str(i.Flash()) + " " + str(i.FlashReturn()); },
                  // bit 0 fires; bits 1-2: 0 no detector, 1 reserved, 2 not detected, 3 detected
                  {{0, "false 0"}, {1, "true 0"}, {2, "false 3"}, {4, "false 1"}, {6, "false 2"}, {7, "true 2"}, {0x19, "true 0"}}}),
    [](const auto& info) { return caseName(info.param.name); });

// ---------------------------------------------------------------------------------------------
// User comments

struct CommentCase {
    const char* name;
    QByteArray value;
    TExifUserCommentStyle style;
    QString text;
};

void PrintTo(const CommentCase& c, std::ostream* os) { *os << c.name; }

class UserCommentTest : public ::testing::TestWithParam<CommentCase> {};

TEST_P(UserCommentTest, StyleAndText) {
    const CommentCase& c = GetParam();
    Recorder r({.exif = {xt::undefined(37510, c.value)}});
    EXPECT_EQ(r.info.UserCommentStyle(), c.style);
    EXPECT_EQ(r.info.UserComment(), c.text);
    EXPECT_TRUE(r.errors.empty());
}

const QByteArray kZeros8(8, '\0');

INSTANTIATE_TEST_SUITE_P(
    Comments, UserCommentTest,
    ::testing::Values(
        CommentCase{"Ascii", QByteArray("ASCII\0\0\0Hello", 13), ucAscii, "Hello"},
        CommentCase{"AsciiLowerCase", QByteArray("ascii\0\0\0x", 9), ucAscii, "x"},
        CommentCase{"AsciiZerosInsideTheCode", QByteArray("ASC\0II\0\0", 8), ucAscii, ""},
        CommentCase{"AsciiKeepsZeros", QByteArray("ASCII\0\0\0a\0b\0", 12), ucAscii, QString::fromUtf8("a\0b\0", 4)},
        // ISO-2022-JP 日本, a zero byte, then bytes that are not part of the text
        CommentCase{"Jis", QByteArray("JIS\0\0\0\0\0\x1B$BF|K\\\x1B(B\0junk", 23), ucJIS, "日本"},
        CommentCase{"UnicodeLittleEndianMark", QByteArray("UNICODE\0\xFF\xFE\x41\x00\x42\x30", 14), ucUnicode, "Aあ"},
        CommentCase{"UnicodeBigEndianMark", QByteArray("UNICODE\0\xFE\xFF\x00\x41\x30\x42", 14), ucUnicode, "Aあ"},
        CommentCase{"UnicodeNoMarkIsBigEndian", QByteArray("UNICODE\0\x00\x41\x00\x00\x30\x42", 14), ucUnicode, QString::fromUtf8("A\0あ", 5)},
        CommentCase{"UnicodeOddByteDropped", QByteArray("UNICODE\0\xFF\xFE\x41\x00\x42", 13), ucUnicode, "A"},
        CommentCase{"UnicodeLoneSurrogateKept", QByteArray("UNICODE\0\xFF\xFE\x00\xD8", 12), ucUnicode, QString(QChar(0xD800))},
        CommentCase{"UndefinedKeepsZeros", kZeros8 + QByteArray("abc\0d", 5), ucUndefined, QString::fromUtf8("abc\0d", 5)},
        CommentCase{"UndefinedShiftJis", kZeros8 + QByteArray("\x90\xAF"), ucUndefined, "星"},
        CommentCase{"UndefinedUtf8", kZeros8 + QByteArray("\xE6\x98\x9F\xE7\xA9\xBA"), ucUndefined, "星空"},
        CommentCase{"AllZeros", QByteArray(264, '\0'), ucUndefined, QString(256, QChar(0))},
        CommentCase{"UnknownCode", QByteArray("XYZ\0\0\0\0\0t", 9), ucUnknown, "t"},
        CommentCase{"Empty", QByteArray(), ucUndefined, ""},
        CommentCase{"ShorterThanTheCode", QByteArray("ASC"), ucUnknown, ""}),
    [](const auto& info) { return caseName(info.param.name); });

TEST(UserComment, AsciiTypedCommentReadsAsUndefined) {
    Recorder r({.exif = {xt::ascii(37510, QByteArray("ASCII\0\0\0typed as text", 21))}});
    EXPECT_EQ(r.info.UserCommentStyle(), ucAscii);
    EXPECT_EQ(r.info.UserComment(), QString::fromUtf8("typed as text\0", 14));
}

// ---------------------------------------------------------------------------------------------
// Dates

namespace {
// Days from 1899-12-30 by the civil-from-days algorithm, independent of any date library.
double serialDay(int y, int m, int d) {
    const auto days = [](int yy, int mm, int dd) {
        yy -= mm <= 2;
        const long era = (yy >= 0 ? yy : yy - 399) / 400;
        const long yoe = yy - era * 400;
        const long doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
        return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy;
    };
    return static_cast<double>(days(y, m, d) - days(1899, 12, 30));
}
}  // namespace

TEST(DateTime, ParsesTheExifLayout) {
    EXPECT_EQ(serialDay(2014, 8, 15), 41866.0);  // the reference itself, checked against a known serial
    const struct {
        const char* text;
        double expected;
    } cases[] = {
        {"2014:08:15 21:30:45", 41866.0 + (21 * 3600 + 30 * 60 + 45) / 86400.0},
        {"1899:12:30 00:00:00", 0.0},
        {"2000:02:29 12:00:00", serialDay(2000, 2, 29) + 0.5},
        {" 999:01:01 00:00:00", serialDay(999, 1, 1)},
        {"2014/08/15 21:30:45", 41866.0 + (21 * 3600 + 30 * 60 + 45) / 86400.0},  // only positions count
    };
    for (const auto& c : cases) EXPECT_NEAR(TExifInfo::ParseExifDateTime(c.text), c.expected, 1e-9) << c.text;
}

TEST(DateTime, UnknownAndInvalidDates) {
    for (const char* text : {"", "2014-08-15", "    :  :     :  :  ", "2014:08:15", "20x4:08:15 21:30:45"}) {
        try {
            TExifInfo::ParseExifDateTime(text);
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const EExifError& e) {
            EXPECT_EQ(e.Message(), QString("TExifInfo: 日時は不明です")) << text;
        }
    }
    for (const char* text : {"2014:13:15 21:30:45", "2014:02:30 00:00:00", "2014:08:15 25:00:00", "0000:01:01 00:00:00",
                             "2014:08:15 21:60:00"})
        EXPECT_THROW(TExifInfo::ParseExifDateTime(text), std::out_of_range) << text;
}

TEST(DateTime, PropertiesParseTheirTexts) {
    Recorder r({.ifd0 = {xt::ascii(306, "2014:08:15 21:30:45")},
                .exif = {xt::ascii(36867, "2008:05:30 15:56:01"), xt::ascii(36868, "    :  :     :  :  ")},
                .ifd1 = {xt::ascii(306, "2001:02:03 04:05:06")}});
    EXPECT_NEAR(r.info.DateTime(), 41866.0 + 77445 / 86400.0, 1e-9);
    EXPECT_NEAR(r.info.DateTimeOriginal(), serialDay(2008, 5, 30) + (15 * 3600 + 56 * 60 + 1) / 86400.0, 1e-9);
    EXPECT_NEAR(r.info.ThmDateTime(), serialDay(2001, 2, 3) + (4 * 3600 + 5 * 60 + 6) / 86400.0, 1e-9);
    EXPECT_THROW(r.info.DateTimeDigitized(), EExifError);
    Recorder none({.ifd0 = {xt::ascii(305, "s")}});
    EXPECT_THROW(none.info.DateTimeOriginal(), EExifError);  // no tag: empty text, no colon
    EXPECT_TRUE(none.errors.empty());                         // and nothing through DoError
}

TEST(TagExists, LooksInTheNamedDirectoryOnly) {
    Recorder r({.ifd0 = {xt::ascii(272, "m")}, .exif = {xt::ascii(36867, "2014:08:15 21:30:45")}, .ifd1 = {xt::shorts(259, {6})}});
    EXPECT_TRUE(r.info.TagExists(36867, eiExif));
    EXPECT_FALSE(r.info.TagExists(36867, eiTIFF));
    EXPECT_TRUE(r.info.TagExists(272, eiTIFF));
    EXPECT_FALSE(r.info.TagExists(259, eiTIFF));
    EXPECT_TRUE(r.info.ThmTagExists(259, eiTIFF));
    EXPECT_FALSE(r.info.ThmTagExists(272, eiTIFF));
}

// ---------------------------------------------------------------------------------------------
// The rational result

TEST(Rational, TextAndValue) {
    const struct {
        std::int64_t n, d;
        const char* text;
    } cases[] = {{1, 200, "1/200"}, {-1, 3, "-1/3"}, {1, -3, "-1/3"}, {-2, -4, "2/4"}, {0, 5, "0/5"}, {0, -5, "-0/5"},
                 {30, 1, "30/1"},   {INT32_MIN, 1, "-2147483648/1"},  {4294967295, 1, "4294967295/1"}};
    for (const auto& c : cases) {
        TExifRational r;
        r.SetValue(c.n, c.d);
        EXPECT_EQ(r.Text(), c.text);
        EXPECT_DOUBLE_EQ(r.Value(), static_cast<double>(c.n) / static_cast<double>(c.d));
    }
    TExifRational zero;
    zero.SetValue(28, 0);
    EXPECT_THROW(zero.Value(), EZeroDivide);
    TExifRational copy;
    copy.Assign(zero);
    EXPECT_EQ(copy.Text(), "28/0");
}

TEST(Rational, OneSharedObjectForEveryGetter) {
    Recorder r({.exif = {xt::rationals(33434, {{1, 250}}), xt::rationals(33437, {{28, 10}})}});
    TExifRational* exposure = r.info.ExposureTime();
    EXPECT_EQ(exposure->Text(), "1/250");
    TExifRational* fnumber = r.info.FNumber();
    EXPECT_EQ(fnumber, exposure);
    EXPECT_EQ(exposure->Text(), "28/10");
    // A missing tag leaves the object as the last getter set it.
    EXPECT_EQ(r.info.FocalLength()->Text(), "28/10");
    EXPECT_EQ(r.errors, k7);
}

TEST(Rational, DestroyingTheSharedObjectGivesANewOne) {
    Recorder r({.exif = {xt::rationals(33434, {{1, 250}})}});
    TExifRational* first = r.info.ExposureTime();
    EXPECT_EQ(first->Owner(), &r.info);
    delete first;
    TExifRational* second = r.info.RationalValue();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Owner(), &r.info);
    EXPECT_EQ(second->Text(), "0/0");
    EXPECT_EQ(r.info.ExposureTime()->Text(), "1/250");
    // An object of our own is not the component's business.
    { TExifRational other(&r.info); }
    EXPECT_EQ(r.info.RationalValue(), second);
}

TEST(Errors, AllowErrorRaisesFromAGetter) {
    Recorder r({.ifd0 = {xt::ascii(305, "s")}});
    r.info.setOnError([](TExifInfo* sender, int code, bool& allow) {
        EXPECT_NE(sender, nullptr);
        allow = code == kExifTagNotFound;
    });
    try {
        r.info.ExposureTime();
        ADD_FAILURE() << "no exception";
    } catch (const EExifError& e) {
        EXPECT_EQ(e.Message(), QString("TExifInfo: タグが見つかりません"));
    }
    EXPECT_EQ(r.info.TransferFunction(1000), 0);  // -6 is not allowed here: silent
}
