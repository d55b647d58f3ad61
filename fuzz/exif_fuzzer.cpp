// libFuzzer entry: ReadExifData over arbitrary bytes, then the getters of every kind over
// whatever was read. Any crash, sanitizer report, leak or hang is a finding; EExifError (a
// stream that ends before its frame header) is an expected outcome.

#include "exif/exif_info.h"
#include "exif/exif_tags.h"

#include <cstddef>
#include <cstdint>

using namespace nocturo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryStream stream(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    TExifInfo info;
    try {
        info.ReadExifData(stream);
    } catch (const EExifError&) {
        return 0;
    }
    // One getter of each accessor kind, in both collections.
    (void)info.Model();
    (void)info.ImageDescription();
    (void)info.ImageWidth();
    (void)info.ImageLength();
    (void)info.BitsPerSample(1);
    (void)info.StripOffsets(3);
    (void)info.ExposureTime()->Text();
    (void)info.GPSLatitude(2)->Text();
    (void)info.XResolution()->Text();
    (void)info.ComponentsConfigurationText();
    (void)info.ComponentsConfiguration(2);
    (void)info.ExifVersion();
    (void)info.UserCommentStyle();
    (void)info.UserComment();
    (void)info.ISOSpeedRatings(0);
    (void)info.GPSVersionID(0);
    (void)info.GPSLatitudeRef();
    (void)info.SubsecTime();
    (void)info.FlashReturn();
    (void)info.YCbCrSubSampling();
    (void)info.ThmModel();
    (void)info.ThmStripByteCounts(1);
    (void)info.ThmYCbCrPositioning();
    try {
        (void)info.DateTimeOriginal();
    } catch (const std::exception&) {
    }
    // The embedded thumbnail's bytes (never the decoder: a hostile frame size is the codec's
    // business, not the reader's).
    if (info.ThmTagExists(kTagCompression, eiTIFF) && info.ThmCompression() == 6 && info.ThmJPEGInterchangeFormat() != 0) {
        QByteArray thumb;
        try {
            info.GetThumbnail(thumb, &stream);
        } catch (const EExifError&) {
        }
    }
    return 0;
}
