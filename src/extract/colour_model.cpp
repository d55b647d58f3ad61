#include "extract/colour_model.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace nocturo {

namespace {

// Round to nearest, ties to even (the default rounding mode), kept inside the 32-bit channel:
// a value far out of range (a brightness of minus a million percent) saturates instead of
// wrapping around to a bright channel.
std::int32_t roundChannel(double v) {
    // Adding and taking away 1.5 x 2^52 leaves an integer rounded to nearest, ties to even
    // (the default rounding mode), as std::nearbyint does, without a library call.
    const double r = std::fabs(v) < 0x1p51 ? (v + 0x1.8p52) - 0x1.8p52 : std::nearbyint(v);
    if (!(r >= static_cast<double>(std::numeric_limits<std::int32_t>::min())))
        return std::numeric_limits<std::int32_t>::min();
    if (r > static_cast<double>(std::numeric_limits<std::int32_t>::max()))
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(r);
}

}  // namespace

void PixelRegister::RgbToHsv() {
    // Every named intermediate is stored as a float; each expression is evaluated in double.
    const float r = static_cast<float>(static_cast<double>(PixelRed) / 255.0);
    const float g = static_cast<float>(static_cast<double>(PixelGreen) / 255.0);
    const float b = static_cast<float>(static_cast<double>(PixelBlue) / 255.0);
    float max = r > g ? r : g;
    if (b > max) max = b;
    float min = r < g ? r : g;
    if (b < min) min = b;

    const double range = static_cast<double>(max) - static_cast<double>(min);
    // The equality tests in this order: red wins over green, green over blue.
    if (max == min)
        PixelHue = 0.0f;
    else if (max == r)
        PixelHue = static_cast<float>((static_cast<double>(g) - static_cast<double>(b)) * 60.0 / range);
    else if (max == g)
        PixelHue = static_cast<float>((static_cast<double>(b) - static_cast<double>(r)) * 60.0 / range + 120.0);
    else
        PixelHue = static_cast<float>((static_cast<double>(r) - static_cast<double>(g)) * 60.0 / range + 240.0);
    if (PixelHue < 0.0f) PixelHue = static_cast<float>(static_cast<double>(PixelHue) + 360.0);

    PixelSaturation = max > 0.0f ? static_cast<float>(range / static_cast<double>(max)) : 0.0f;
    PixelValue = max;
}

void PixelRegister::HsvToRgb() {
    const double h = static_cast<double>(PixelHue);
    const double s = static_cast<double>(PixelSaturation);
    const double v = static_cast<double>(PixelValue);
    const double sectorReal = h / 60.0;
    // A hue too large for a 64-bit sector (only possible for a value set by hand) is treated
    // like any other hue outside 0..360: the channels are left alone.
    if (!(std::fabs(sectorReal) < 9.0e18)) return;
    const std::int64_t i = static_cast<std::int64_t>(std::trunc(sectorReal)) % 6;
    const float f = static_cast<float>(sectorReal - static_cast<double>(i));
    const double fd = static_cast<double>(f);
    const float p = static_cast<float>((1.0 - s) * v);
    const float q = static_cast<float>((1.0 - fd * s) * v);
    const float t = static_cast<float>((1.0 - (1.0 - fd) * s) * v);
    const std::int32_t pi = roundChannel(static_cast<double>(p) * 255.0);
    const std::int32_t qi = roundChannel(static_cast<double>(q) * 255.0);
    const std::int32_t ti = roundChannel(static_cast<double>(t) * 255.0);
    const std::int32_t vi = roundChannel(v * 255.0);
    switch (i) {
        case 0: PixelRed = vi; PixelGreen = ti; PixelBlue = pi; break;
        case 1: PixelRed = qi; PixelGreen = vi; PixelBlue = pi; break;
        case 2: PixelRed = pi; PixelGreen = vi; PixelBlue = ti; break;
        case 3: PixelRed = pi; PixelGreen = qi; PixelBlue = vi; break;
        case 4: PixelRed = ti; PixelGreen = pi; PixelBlue = vi; break;
        case 5: PixelRed = vi; PixelGreen = pi; PixelBlue = qi; break;
        default: break;  // a negative hue: the channels keep their values
    }
}

}  // namespace nocturo
