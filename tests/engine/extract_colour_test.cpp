// The colour model: hand-worked conversions, rounding and clamping rules, and every 24-bit colour
// checked against a double-precision reference and through the round trip.
#include "extract/colour_model.h"

#include "engine/extract_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>

using namespace nocturo;

namespace {

PixelRegister fromRgb(int r, int g, int b) {
    PixelRegister reg;
    reg.PixelRed = r;
    reg.PixelGreen = g;
    reg.PixelBlue = b;
    reg.RgbToHsv();
    return reg;
}

PixelRegister fromHsv(float h, float s, float v) {
    PixelRegister reg;
    reg.PixelHue = h;
    reg.PixelSaturation = s;
    reg.PixelValue = v;
    reg.HsvToRgb();
    return reg;
}

}  // namespace

TEST(ColourModel, KnownColoursGiveTheirHueSaturationAndValue) {
    struct Case {
        int r, g, b;
        float h, s, v;
    } cases[] = {
        {0, 0, 0, 0, 0, 0},
        {255, 255, 255, 0, 0, 1},
        {128, 128, 128, 0, 0, static_cast<float>(128 / 255.0)},
        {255, 0, 0, 0, 1, 1},
        {0, 255, 0, 120, 1, 1},
        {0, 0, 255, 240, 1, 1},
        {255, 255, 0, 60, 1, 1},
        {0, 255, 255, 180, 1, 1},
        {255, 0, 255, 300, 1, 1},  // -60 raised by 360
        {200, 100, 50, 20, 0.75f, static_cast<float>(200 / 255.0)},
        {50, 100, 200, 220, 0.75f, static_cast<float>(200 / 255.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        const PixelRegister reg = fromRgb(c.r, c.g, c.b);
        EXPECT_NEAR(reg.PixelHue, c.h, 1e-4);
        EXPECT_NEAR(reg.PixelSaturation, c.s, 1e-6);
        EXPECT_FLOAT_EQ(reg.PixelValue, c.v);
        // The channels are left as they were.
        EXPECT_EQ(reg.PixelRed, c.r);
        EXPECT_EQ(reg.PixelGreen, c.g);
        EXPECT_EQ(reg.PixelBlue, c.b);
    }
}

TEST(ColourModel, HsvToRgbRoundsHalvesToEvenAndKeepsOutOfRangeChannels) {
    struct Case {
        float h, s, v;
        int r, g, b;
    } cases[] = {
        {0, 0, 1.5f, 382, 382, 382},      // 382.5: the even neighbour, not 383
        {0, 0, 0.5f, 128, 128, 128},      // 127.5
        {0, 0, -0.5f, -128, -128, -128},  // negative value: negative channels
        {123, 0, 0.25f, 64, 64, 64},      // S = 0: all three Round(V x 255) = Round(63.75)
        {20, 0.75f, static_cast<float>(200 / 255.0), 200, 100, 50},
        {330, 1, 1, 255, 0, 128},         // sector 5: q = 0.5 -> 127.5 -> 128
        {90, 1, 1, 128, 255, 0},          // sector 1: q = 0.5
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.h << "," << c.s << "," << c.v);
        const PixelRegister reg = fromHsv(c.h, c.s, c.v);
        EXPECT_EQ(reg.PixelRed, c.r);
        EXPECT_EQ(reg.PixelGreen, c.g);
        EXPECT_EQ(reg.PixelBlue, c.b);
        EXPECT_EQ(reg.PixelHue, c.h);  // hue, saturation and value untouched
        EXPECT_EQ(reg.PixelValue, c.v);
    }
}

TEST(ColourModel, NegativeHueLeavesTheChannelsAlone) {
    PixelRegister reg;
    reg.PixelRed = 7;
    reg.PixelGreen = 8;
    reg.PixelBlue = 9;
    reg.PixelHue = -90;  // sector -1
    reg.PixelSaturation = 1;
    reg.PixelValue = 1;
    reg.HsvToRgb();
    EXPECT_EQ(reg.PixelRed, 7);
    EXPECT_EQ(reg.PixelGreen, 8);
    EXPECT_EQ(reg.PixelBlue, 9);
}

TEST(ColourModel, HugeNegativeValueSaturatesInsteadOfWrappingToBright) {
    // V x 255 = -3e9 does not fit 32 bits; wrapped it would read as +1294967266, i.e. white.
    const PixelRegister reg = fromHsv(0, 0, -11764706.0f);
    EXPECT_LT(reg.PixelRed, 0);
    EXPECT_EQ(ClampToByte(reg.PixelRed), 0);
}

TEST(ColourModel, ClampToByte) {
    const struct {
        std::int32_t in;
        int out;
    } cases[] = {{-5, 0},    {300, 255}, {128, 128},   {0, 0},        {255, 255},
                 {256, 255}, {-1, 0},    {INT_MIN, 0}, {INT_MAX, 255}};
    for (const auto& c : cases) EXPECT_EQ(ClampToByte(c.in), c.out) << c.in;
}

// The stored H, S and V of every colour against a reference that evaluates in double and stores
// in float. A hue or saturation computed in float arithmetic differs for many colours.
TEST(ColourModel, EveryColourMatchesTheDoublePrecisionReference) {
    long mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const PixelRegister reg = fromRgb(r, g, b);
                const reference::Hsv ref = reference::rgbToHsv(r, g, b);
                if (reg.PixelHue != ref.h || reg.PixelSaturation != ref.s || reg.PixelValue != ref.v) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << r << "," << g << "," << b << ": " << reg.PixelHue << " " << reg.PixelSaturation
                                      << " " << reg.PixelValue << " vs " << ref.h << " " << ref.s << " " << ref.v;
                }
            }
    EXPECT_EQ(mismatches, 0);
}

// The reference above is only worth something if float arithmetic really gives other values:
// a hue evaluated entirely in float must differ from it for some colours.
TEST(ColourModel, FloatArithmeticWouldBeCaught) {
    long differ = 0;
    for (int r = 0; r < 256; r += 3)
        for (int g = 0; g < 256; g += 3)
            for (int b = 0; b < 256; ++b) {
                const float fr = r / 255.0f, fg = g / 255.0f, fb = b / 255.0f;
                const float mx = std::max({fr, fg, fb}), mn = std::min({fr, fg, fb});
                if (mx == mn || mx != fr) continue;
                const float floatHue = (fg - fb) * 60.0f / (mx - mn);
                if (floatHue != fromRgb(r, g, b).PixelHue) ++differ;
            }
    EXPECT_GT(differ, 0);
}

TEST(ColourModel, EveryColourSurvivesTheRoundTrip) {
    long mismatches = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                PixelRegister reg = fromRgb(r, g, b);
                reg.PixelRed = reg.PixelGreen = reg.PixelBlue = -1;
                reg.HsvToRgb();
                if (reg.PixelRed != r || reg.PixelGreen != g || reg.PixelBlue != b) {
                    if (++mismatches <= 5)
                        ADD_FAILURE() << r << "," << g << "," << b << " -> " << reg.PixelRed << "," << reg.PixelGreen
                                      << "," << reg.PixelBlue;
                }
            }
    EXPECT_EQ(mismatches, 0);
}
