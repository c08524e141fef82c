// GDI on its own: the colour rule, pixels through surface DCs, StretchBlt, and the lives of DCs and objects.
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

// A block of 8-bit pixels with a pitch wider than the picture and guard bytes around it, and a DC over
// it as IDirectDrawSurface7::GetDC makes one. The surface pointer is only the DC's tag here.
struct PixelBlock {
    static constexpr int kGuard = 64;
    int width, height, pitch;
    std::vector<BYTE> bytes;
    HDC dc = nullptr;
    PixelBlock(int w, int h, BYTE fill) : width(w), height(h), pitch(w + 3), bytes(kGuard * 2 + pitch * h, 0xA5) {
        for (int i = 0; i < w * h; ++i) {
            at(i % w, i / w) = fill;
        }
        dc = GdiCreateSurfaceDC(reinterpret_cast<IDirectDrawSurface7*>(this), bytes.data() + kGuard, pitch, w, h);
    }
    ~PixelBlock() { GdiDeleteSurfaceDC(dc); }
    BYTE& at(int x, int y) { return bytes[kGuard + y * pitch + x]; }
    // Everything outside the picture, padding included, still holds the guard pattern.
    bool GuardsIntact() const {
        for (size_t i = 0; i < bytes.size(); ++i) {
            bool inside = i >= size_t(kGuard) && i < size_t(kGuard + pitch * height) && int(i - kGuard) % pitch < width;
            if (!inside && bytes[i] != 0xA5) {
                return false;
            }
        }
        return true;
    }
    // Every pixel against expected(x, y), and the guards.
    void Expect(const std::function<int(int, int)>& expected) {
        for (int i = 0; i < width * height; ++i) {
            ASSERT_EQ(at(i % width, i / width), expected(i % width, i / width)) << i % width << "," << i / width;
        }
        EXPECT_TRUE(GuardsIntact());
    }
};

HBITMAP EightBit(int width, int height, std::vector<uint32_t> colours, std::function<uint32_t(int, int)> pixel) {
    BitmapShape shape;
    shape.width = width, shape.height = height, shape.colours = std::move(colours), shape.pixel = std::move(pixel);
    std::vector<uint8_t> bytes = PackedBitmap(shape);
    return GdiReadBitmap(bytes.data(), bytes.size(), false);
}

}  // namespace

TEST(GdiColourRule, NearestEntryBySquaredDistanceLowestIndexOnTies) {
    auto defaults = Entries(ThreeThreeTwo());
    // 21 is nearer 36 than 0, 141 nearer 145 than 109, 91 nearer 85 than 170: r1 g4 b1.
    EXPECT_EQ(NearestPaletteIndex(defaults.data(), RGB(21, 141, 91)), (1 << 5) | (4 << 2) | 1);
    EXPECT_EQ(NearestPaletteIndex(defaults.data(), RGB(0, 0, 42)), 0);  // blue levels 0 and 85
    EXPECT_EQ(NearestPaletteIndex(defaults.data(), RGB(0, 0, 43)), 1);

    std::vector<TestColour> colours(256, TestColour{200, 200, 200});
    colours[9] = colours[4] = {10, 20, 30};
    colours[30] = {0, 0, 0};
    colours[40] = {2, 0, 0};
    auto ties = Entries(colours);
    EXPECT_EQ(NearestPaletteIndex(ties.data(), RGB(10, 20, 30)), 4);  // two exact matches
    EXPECT_EQ(NearestPaletteIndex(ties.data(), RGB(1, 0, 0)), 30);    // equally far from 30 and 40
    EXPECT_EQ(NearestPaletteIndex(ties.data(), RGB(2, 0, 0)), 40);
    EXPECT_EQ(NearestPaletteIndex(ties.data(), RGB(255, 255, 255)), 0);  // every grey ties; the first wins

    // The whole colour cube sampled against the rule written out in the test, corners included.
    for (int r = 0; r < 256; r += 15) {
        for (int g = 0; g < 256; g += 17) {
            for (int b = 0; b < 256 + 13; b += 13) {
                const int blue = std::min(b, 255);
                ASSERT_EQ(NearestPaletteIndex(defaults.data(), RGB(r, g, blue)),
                          ExpectedNearest(ThreeThreeTwo(), r, g, blue))
                    << r << "," << g << "," << blue;
            }
        }
    }
}

TEST(GdiStretchBlt, ConvertsEachColourOneToOneAndScalesTheSourceArea) {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) {
        colours.push_back(((i * 37) & 0xFF) << 16 | ((i * 91) & 0xFF) << 8 | ((i * 13 + 7) & 0xFF));
    }
    HBITMAP bitmap = EightBit(16, 16, colours, [](int x, int y) { return uint32_t(y * 16 + x); });
    ASSERT_NE(bitmap, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    PixelBlock block(16, 16, 0);
    EXPECT_TRUE(StretchBlt(block.dc, 0, 0, 16, 16, memory, 0, 0, 16, 16, SRCCOPY));
    block.Expect([&](int x, int y) { return ExpectedIndex(colours[y * 16 + x]); });

    SelectObject(memory, old);
    DeleteObject(bitmap);

    // Colours exactly on the 3-3-2 palette, so each pixel's expected index is its own number.
    colours.clear();
    for (const TestColour& c : ThreeThreeTwo()) {
        colours.push_back(uint32_t(c.red) << 16 | uint32_t(c.green) << 8 | uint32_t(c.blue));
    }
    bitmap = EightBit(8, 8, colours, [](int x, int y) { return uint32_t(y * 8 + x + 1); });
    SelectObject(memory, bitmap);
    PixelBlock doubled(8, 8, 0);
    StretchBlt(doubled.dc, 0, 0, 8, 8, memory, 2, 3, 4, 4, SRCCOPY);
    doubled.Expect([](int x, int y) { return (3 + y / 2) * 8 + (2 + x / 2) + 1; });
    PixelBlock halved(4, 2, 0);
    StretchBlt(halved.dc, 0, 0, 4, 2, memory, 0, 0, 8, 8, SRCCOPY);
    halved.Expect([](int x, int y) { return (4 * y + 2) * 8 + 2 * x + 1 + 1; });
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
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
