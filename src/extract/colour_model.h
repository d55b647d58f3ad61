// The hue-saturation-value model in which star pixels are brightened and saturated. The exact
// arithmetic (32-bit float storage points, double evaluation, Trunc, Round ties-to-even, the
// order in which equal channels are preferred) decides the output pixels.
#pragma once

#include <cstdint>

namespace nocturo {

// The pixel register: a caller loads the three channels, converts to HSV, changes value and
// saturation (or takes another pixel's hue and saturation) and converts back.
struct PixelRegister {
    std::int32_t PixelRed = 0;
    std::int32_t PixelGreen = 0;
    std::int32_t PixelBlue = 0;
    float PixelHue = 0.0f;         // degrees, 0 <= H < 360 after RgbToHsv
    float PixelSaturation = 0.0f;  // 0..1 after RgbToHsv
    float PixelValue = 0.0f;       // largest channel / 255

    // Reads the channels, writes hue, saturation and value; the channels stay as they are.
    void RgbToHsv();
    // Reads hue, saturation and value, writes the channels unclamped (they leave 0..255 when the
    // value or the saturation lies outside 0..1); hue, saturation and value stay as they are.
    void HsvToRgb();
};

// 255 above 255, 0 below 0, the value itself otherwise.
constexpr std::uint8_t ClampToByte(std::int32_t value) {
    if (value > 255) return 255;
    if (value < 0) return 0;
    return static_cast<std::uint8_t>(value);
}

}  // namespace nocturo
