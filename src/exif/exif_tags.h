// Tag numbers the EXIF reader, writer and the shooting-data summary refer to by name (the typed
// getters keep their numbers beside their names, as in the tag tables).
#pragma once

#include <cstdint>

namespace nocturo {

inline constexpr std::uint16_t kTagCompression = 259;
inline constexpr std::uint16_t kTagModel = 272;
inline constexpr std::uint16_t kTagJpegOffset = 513;
inline constexpr std::uint16_t kTagJpegLength = 514;
inline constexpr std::uint16_t kTagExposureTime = 33434;
inline constexpr std::uint16_t kTagFNumber = 33437;
inline constexpr std::uint16_t kTagExifPointer = 34665;
inline constexpr std::uint16_t kTagGpsPointer = 34853;
inline constexpr std::uint16_t kTagIsoSpeedRatings = 34855;
inline constexpr std::uint16_t kTagDateTimeOriginal = 36867;
inline constexpr std::uint16_t kTagFocalLength = 37386;
inline constexpr std::uint16_t kTagMakerNote = 37500;
inline constexpr std::uint16_t kTagUserComment = 37510;
inline constexpr std::uint16_t kTagPixelXDimension = 40962;
inline constexpr std::uint16_t kTagPixelYDimension = 40963;
inline constexpr std::uint16_t kTagInteropPointer = 40965;

}  // namespace nocturo
