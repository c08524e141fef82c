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
    // The 3-3-2 palette a display shows until the program attaches its own.
    const std::array<PALETTEENTRY, 256> palette = Entries(ThreeThreeTwo());
    PixelBlock(int w, int h, BYTE fill) : width(w), height(h), pitch(w + 3), bytes(kGuard * 2 + pitch * h, 0xA5) {
        for (int i = 0; i < w * h; ++i) {
            at(i % w, i / w) = fill;
        }
        dc = GdiCreateSurfaceDC(reinterpret_cast<IDirectDrawSurface7*>(this), bytes.data() + kGuard, pitch, w, h,
                                palette.data());
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

TEST(GdiPixels, SetPixelWritesTheNearestIndexAndGetPixelReadsItsColour) {
    PixelBlock block(5, 4, 0);
    ASSERT_NE(block.dc, nullptr);
    const auto palette = ThreeThreeTwo();
    auto shown = [&](int i) { return RGB(palette[i].red, palette[i].green, palette[i].blue); };
    const int green = ExpectedNearest(palette, 21, 141, 91);
    EXPECT_EQ(SetPixel(block.dc, 4, 3, RGB(21, 141, 91)), shown(green));
    EXPECT_EQ(block.at(4, 3), green);
    EXPECT_EQ(GetPixel(block.dc, 4, 3), shown(green));
    block.at(0, 0) = 0xE3;
    EXPECT_EQ(GetPixel(block.dc, 0, 0), shown(0xE3));

    for (auto [x, y] : {std::pair{-1, 0}, {0, -1}, {5, 0}, {0, 4}, {INT32_MIN, INT32_MAX}}) {
        EXPECT_EQ(SetPixel(block.dc, x, y, RGB(255, 255, 255)), CLR_INVALID) << x << "," << y;
        EXPECT_EQ(GetPixel(block.dc, x, y), CLR_INVALID) << x << "," << y;
    }
    EXPECT_TRUE(block.GuardsIntact());
    EXPECT_EQ(GetPixel(nullptr, 0, 0), CLR_INVALID);
    EXPECT_EQ(SetPixel(nullptr, 0, 0, 0), CLR_INVALID);
}

TEST(GdiStretchBlt, ConvertsEachColourOneToOneScalesTheSourceAreaAndNeverWritesOutsideTheSurface) {
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

    PixelBlock untouched(16, 16, 9);
    EXPECT_FALSE(StretchBlt(untouched.dc, 0, 0, 16, 16, memory, 0, 0, 16, 16, 0x00EE0086));  // SRCPAINT
    EXPECT_FALSE(StretchBlt(untouched.dc, 0, 0, 0, 16, memory, 0, 0, 16, 16, SRCCOPY));
    EXPECT_FALSE(StretchBlt(memory, 0, 0, 16, 16, untouched.dc, 0, 0, 16, 16, SRCCOPY));
    untouched.Expect([](int, int) { return 9; });
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
    // An area hanging off the bitmap's right and bottom: what lies beyond is not read, and its share
    // of the destination keeps what it had.
    PixelBlock offEdge(4, 4, 200);
    StretchBlt(offEdge.dc, 0, 0, 4, 4, memory, 6, 6, 4, 4, SRCCOPY);
    offEdge.Expect([](int x, int y) { return (x < 2 && y < 2) ? (6 + y) * 8 + 6 + x + 1 : 200; });

    // A destination area larger than the surface and starting before it is clipped to it.
    PixelBlock clipped(5, 3, 0);
    StretchBlt(clipped.dc, -2, -1, 16, 16, memory, 0, 0, 8, 8, SRCCOPY);
    EXPECT_TRUE(clipped.GuardsIntact());
    EXPECT_EQ(clipped.at(0, 0), 0 * 8 + 1 + 1);  // destination (0,0) is area (2,1): source (1,0)
    EXPECT_EQ(clipped.at(4, 2), 1 * 8 + 3 + 1);  // area (6,3): source (3,1)
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

TEST(GdiObjects, DCsStartWithStockObjectsAndSelectedBitmapsCannotBeDeleted) {
    const TestLiveObjects before = TestGetLiveObjects();
    HBITMAP bitmap = EightBit(2, 2, {0xFFFFFF}, [](int, int) { return 0u; });
    HDC first = CreateCompatibleDC(nullptr);
    HDC second = CreateCompatibleDC(first);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(TestGetLiveObjects().dcs, before.dcs + 2);
    EXPECT_EQ(TestGetLiveObjects().bitmaps, before.bitmaps + 1);

    HGDIOBJ stock = SelectObject(first, bitmap);
    ASSERT_NE(stock, nullptr);
    BITMAP record = {};
    EXPECT_EQ(GetObjectA(stock, sizeof(record), &record), int(sizeof(record)));
    EXPECT_EQ(record.bmWidth, 1);
    EXPECT_EQ(record.bmHeight, 1);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);  // one DC at a time
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(GetPixel(first, 1, 1), RGB(255, 255, 255));

    EXPECT_EQ(SelectObject(first, stock), bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), stock);  // free again once the first let it go
    EXPECT_TRUE(DeleteObject(stock));                // stock objects are never freed
    EXPECT_TRUE(DeleteDC(second));                   // deleting the DC lets the bitmap go too
    EXPECT_FALSE(DeleteDC(second));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(first, bitmap), nullptr);

    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    EXPECT_TRUE(DeleteObject(white));
    EXPECT_EQ(GetStockObject(WHITE_BRUSH), white);
    int notAnObject = 0;
    EXPECT_FALSE(DeleteObject(&notAnObject));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(&notAnObject)), nullptr);

    // A surface DC is given back through its surface, not deleted, and takes no bitmap.
    PixelBlock block(2, 2, 0);
    HBITMAP other = EightBit(2, 2, {0}, [](int, int) { return 0u; });
    EXPECT_EQ(SelectObject(block.dc, other), nullptr);
    EXPECT_FALSE(DeleteDC(block.dc));
    EXPECT_TRUE(DeleteObject(other));

    EXPECT_TRUE(DeleteDC(first));
    EXPECT_EQ(TestGetLiveObjects().dcs, before.dcs + 1);  // the block's own DC
    EXPECT_EQ(TestGetLiveObjects().bitmaps, before.bitmaps);

    // Failures on request: the next two memory DCs are refused, the third is made.
    TestFailNextCompatibleDCs(2);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    HDC third = CreateCompatibleDC(nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_TRUE(DeleteDC(third));
    EXPECT_EQ(TestGetLiveObjects().dcs, before.dcs + 1);
}

TEST(GdiObjects, FontsSwapInAnyDCAndTheDefaultComesBack) {
    // A font as the text layer makes them: a live object of its kind.
    HFONT__ font = {};
    ObjectsAdd(ObjectKind::Font, &font);
    PixelBlock block(2, 2, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    for (HDC dc : {block.dc, memory}) {
        HGDIOBJ previous = SelectObject(dc, &font);
        ASSERT_NE(previous, nullptr);
        EXPECT_EQ(dc->font, reinterpret_cast<HFONT>(&font));
        EXPECT_FALSE(DeleteObject(&font));  // still selected
        EXPECT_EQ(SelectObject(dc, previous), &font);
        EXPECT_EQ(dc->font, nullptr);
        EXPECT_TRUE(DeleteObject(previous));
    }
    DeleteDC(memory);
    ObjectsRemove(ObjectKind::Font, &font);
}
