// GDI on its own: the colour rule every conversion follows, and a bitmap's life in a memory DC. StretchBlt and
// SetPixel are read through the program's bitmap copy and colour match (test_ddutil).
#include <gtest/gtest.h>

#include "platform/src/platform.h"
#include "platform/testing.h"
#include "tests/bitmap_bytes.h"

#include <array>

namespace {

std::array<PALETTEENTRY, 256> Entries(const std::vector<TestColour>& colours) {
    std::array<PALETTEENTRY, 256> entries{};
    for (int i = 0; i < 256; ++i) {
        entries[i] = {BYTE(colours[i].red), BYTE(colours[i].green), BYTE(colours[i].blue), 0};
    }
    return entries;
}

HBITMAP EightBit(int width, int height, std::vector<uint32_t> colours, std::function<uint32_t(int, int)> pixel) {
    BitmapShape shape;
    shape.width = width, shape.height = height, shape.colours = std::move(colours), shape.pixel = std::move(pixel);
    std::vector<uint8_t> bytes = PackedBitmap(shape);
    return BitmapRead(bytes.data(), bytes.size(), false);
}

}  // namespace

TEST(GdiColourRule, NearestEntryBySquaredDistanceLowestIndexOnTies) {
    auto defaults = Entries(ThreeThreeTwo());
    // 21 is nearer 36 than 0, 141 nearer 145 than 109, 91 nearer 85 than 170: r1 g4 b1.
    EXPECT_EQ(GdiNearestPaletteIndex(defaults.data(), RGB(21, 141, 91)), (1 << 5) | (4 << 2) | 1);
    EXPECT_EQ(GdiNearestPaletteIndex(defaults.data(), RGB(0, 0, 42)), 0);  // blue levels 0 and 85
    EXPECT_EQ(GdiNearestPaletteIndex(defaults.data(), RGB(0, 0, 43)), 1);

    std::vector<TestColour> colours(256, TestColour{200, 200, 200});
    colours[9] = colours[4] = {10, 20, 30};
    colours[30] = {0, 0, 0};
    colours[40] = {2, 0, 0};
    auto ties = Entries(colours);
    EXPECT_EQ(GdiNearestPaletteIndex(ties.data(), RGB(10, 20, 30)), 4);  // two exact matches
    EXPECT_EQ(GdiNearestPaletteIndex(ties.data(), RGB(1, 0, 0)), 30);    // equally far from 30 and 40
    EXPECT_EQ(GdiNearestPaletteIndex(ties.data(), RGB(2, 0, 0)), 40);
    EXPECT_EQ(GdiNearestPaletteIndex(ties.data(), RGB(255, 255, 255)), 0);  // every grey ties; the first wins

    // The whole colour cube sampled against the rule written out in the test, corners included.
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256 + 13; b += 13) {
                const int blue = std::min(b, 255);
                ASSERT_EQ(GdiNearestPaletteIndex(defaults.data(), RGB(r, g, blue)),
                          ExpectedNearest(ThreeThreeTwo(), r, g, blue))
                    << r << "," << g << "," << blue;
            }
        }
    }
}

// The copy of a bitmap into a surface deletes its memory DC with the bitmap still selected, then the bitmap.
TEST(GdiObjects, ASelectedBitmapIsDeletedOnlyOnceItsDCIsGone) {
    const TestLiveObjects before = TestGetLiveObjects();
    HBITMAP bitmap = EightBit(2, 2, {0xFFFFFF}, [](int, int) { return 0u; });
    HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr) << "one DC at a time";
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetPixel(first, 1, 1), RGB(255, 255, 255));
    EXPECT_EQ(TestGetLiveObjects().dcs, before.dcs + 2);
    EXPECT_TRUE(DeleteDC(first));
    EXPECT_TRUE(DeleteDC(second));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(TestGetLiveObjects().dcs, before.dcs);
    EXPECT_EQ(TestGetLiveObjects().bitmaps, before.bitmaps);
}
