// The working image: pixel order, clipping of block operations, and the 4-connected fill.
#include "common/work_image.h"

#include <QImage>

#include <gtest/gtest.h>

using namespace nocturo;

TEST(WorkImage, StoresBlueGreenRedAndAlignsRows) {
    WorkImage img(5, 2);
    EXPECT_EQ(img.stride(), 16u);  // 15 bytes rounded up to a multiple of 4
    img.setPixel(1, 1, makeColor(10, 20, 30));
    const std::uint8_t* p = img.row(1) + 3;
    EXPECT_EQ(p[0], 30);  // blue first
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 10);
    EXPECT_EQ(img.pixel(1, 1), makeColor(10, 20, 30));
    // The QImage view shares the memory and reads the same colour.
    EXPECT_EQ(img.wrap().pixel(1, 1) & 0xFFFFFF, 0x0A141Eu);
}

TEST(WorkImage, FillAndBlockCopyAreClippedToTheImages) {
    WorkImage a(6, 4), b(6, 4);
    a.fill(makeColor(1, 2, 3));
    b.fill(kBlack);
    b.fillRect(-5, -5, 2, 2, kWhite);  // clipped to (0,0)-(2,2)
    EXPECT_EQ(b.pixel(1, 1), kWhite);
    EXPECT_EQ(b.pixel(2, 1), kBlack);
    EXPECT_EQ(b.pixel(1, 2), kBlack);
    b.copyBlockFrom(a, 4, 2, 10, 10);  // clipped to columns 4..5, rows 2..3
    EXPECT_EQ(b.pixel(5, 3), makeColor(1, 2, 3));
    EXPECT_EQ(b.pixel(4, 2), makeColor(1, 2, 3));
    EXPECT_EQ(b.pixel(3, 3), kBlack);
    EXPECT_EQ(b.pixel(5, 1), kBlack);
    const WorkImage c = a.clone();
    EXPECT_EQ(c.pixel(5, 3), makeColor(1, 2, 3));
}

TEST(WorkImage, FloodFillIsFourConnectedAndStopsAtOtherColours) {
    // R = red, . = black, G = green:
    //   R R . R
    //   . R . R
    //   R . G R
    //   R R R R
    const char* rows[] = {"RR.R", ".R.R", "R.GR", "RRRR"};
    WorkImage img(4, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            img.setPixel(x, y, rows[y][x] == 'R' ? makeColor(255, 0, 0) : rows[y][x] == 'G' ? makeColor(0, 255, 0) : kBlack);
    const ColorValue red = makeColor(255, 0, 0), blue = makeColor(0, 0, 255);
    EXPECT_EQ(img.floodFill4(0, 0, red, blue), 3);  // (0,0) (1,0) (1,1); (0,2) touches only diagonally
    EXPECT_EQ(img.pixel(0, 2), red);
    EXPECT_EQ(img.floodFill4(3, 0, red, blue), 8);  // the right column and the bottom row, and (0,2)
    EXPECT_EQ(img.pixel(0, 2), blue);
    EXPECT_EQ(img.pixel(2, 2), makeColor(0, 255, 0));
    EXPECT_EQ(img.floodFill4(2, 2, red, blue), 0);  // not the target colour
}

TEST(WorkImage, ResizeHeightKeepsTheTopRows) {
    WorkImage img(3, 2);
    img.fill(makeColor(9, 9, 9));
    img.resizeHeight(5);
    EXPECT_EQ(img.height(), 5);
    EXPECT_EQ(img.pixel(2, 1), makeColor(9, 9, 9));
}

TEST(WorkImage, WorkingSetOfHostileSizesDoesNotOverflow) {
    EXPECT_EQ(workingSetBytes(0, 100), 0u);
    EXPECT_EQ(workingSetBytes(-3, 100), 0u);
    EXPECT_EQ(workingSetBytes(6000, 4000), 18000ull * 4015 * 3);
    EXPECT_GT(workingSetBytes(65535, 65535), 30'000'000'000ull);
}
