// The bitmap reader behind LoadImageA: what it reads from good bitmaps, and that bad ones are refused.
#include <gtest/gtest.h>

#include "platform/src/platform.h"
#include "platform/testing.h"
#include "tests/bitmap_bytes.h"

namespace {

// Every pixel's colour, top row first, read back through a memory DC as the program would.
std::vector<COLORREF> Colours(HBITMAP bitmap) {
    BITMAP record = {};
    EXPECT_EQ(GetObjectA(bitmap, sizeof(record), &record), int(sizeof(record)));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::vector<COLORREF> colours;
    for (int i = 0; i < record.bmWidth * record.bmHeight; ++i) {
        colours.push_back(GetPixel(dc, i % record.bmWidth, i / record.bmWidth));
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return colours;
}

// Reads from an allocation of exactly the given size, so a read past the end trips the sanitizer.
HBITMAP Read(const std::vector<uint8_t>& bytes, bool withFileHeader) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return BitmapRead(exact.get(), bytes.size(), withFileHeader);
}

COLORREF Rgb(uint32_t rgb) { return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A shape whose colour table entries all differ, so a wrong index shows as a wrong colour.
BitmapShape Shape(int width, int height, std::function<uint32_t(int, int)> pixel) {
    BitmapShape shape;
    shape.width = width, shape.height = height, shape.pixel = std::move(pixel);
    for (uint32_t i = 0; i < 256; ++i) shape.colours.push_back((i << 16) | ((255 - i) << 8) | ((i * 7) & 0xFF));
    return shape;
}

// Reads the shape packed and as a file, and checks its depth and every pixel's colour.
void ExpectReads(const BitmapShape& shape, const std::function<COLORREF(int, int)>& colour) {
    for (bool withFileHeader : {false, true}) {
        HBITMAP bitmap = Read(withFileHeader ? BitmapFile(shape) : PackedBitmap(shape), withFileHeader);
        ASSERT_NE(bitmap, nullptr) << withFileHeader;
        BITMAP record = {};
        GetObjectA(bitmap, sizeof(record), &record);
        EXPECT_EQ(record.bmBitsPixel, 8);
        const int rows = std::abs(shape.height);
        std::vector<COLORREF> colours = Colours(bitmap);
        ASSERT_EQ(colours.size(), size_t(shape.width * rows));
        for (int i = 0; i < shape.width * rows; ++i) {
            const int x = i % shape.width, y = i / shape.width;
            EXPECT_EQ(colours[i], colour(x, y)) << withFileHeader << " " << x << "," << y;
        }
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

}  // namespace

TEST(BitmapReader, EightBitTablesOfEverySizeRowsTopFirstInEitherStoredOrder) {
    for (int32_t height : {3, -3}) {  // rows of 5 padded to 8 bytes
        BitmapShape shape = Shape(5, height, [](int x, int y) { return uint32_t(10 * y + x); });
        ExpectReads(shape, [&](int x, int y) { return Rgb(shape.colours[10 * y + x]); });
    }
    for (uint32_t used : {0u, 256u}) {
        BitmapShape shape = Shape(16, 16, [](int x, int y) { return uint32_t(16 * y + x); });
        shape.colourUsed = used;
        ExpectReads(shape, [&](int x, int y) { return Rgb(shape.colours[16 * y + x]); });
    }
    // 16 colours declared: the pixels start right after them, and values past the table read black.
    BitmapShape shortTable = Shape(4, 4, [](int x, int) { return x == 0 ? 15u : 200u; });
    shortTable.colourUsed = 16;
    ExpectReads(shortTable, [&](int x, int) { return x == 0 ? Rgb(shortTable.colours[15]) : RGB(0, 0, 0); });
    // More than 256: the first 256 are taken, and the declared table places the pixels.
    BitmapShape many = Shape(4, 4, [](int x, int y) { return uint32_t(250 + (x + y) % 6); });
    many.colourUsed = 300;
    ExpectReads(many, [&](int x, int y) { return Rgb(many.colours[250 + (x + y) % 6]); });
}

// What the program's fallback reads when a bitmap file stands in place of a resource: LoadImageA from the file,
// every depth and layout the reader takes, each pixel held against the colour the test works out from the bytes it
// wrote. Widths leave rows padded; short tables leave values without a colour, which read black.
TEST(BitmapReader, EveryDepthAndLayoutReadsBackFromAFileAsTheFallbackLoadsIt) {
    struct Layout {
        const char* name;
        uint16_t bits;
        int32_t width, height;  // negative: top-down
        uint32_t colourUsed;
        std::vector<uint32_t> masks;
        std::function<uint32_t(int, int)> pixel;
        std::function<COLORREF(const BitmapShape&, int, int)> colour;  // null: the table's colour of the pixel
    };
    // Channels either off or full, so each reads 0 or 255 whatever the rule for widening a channel.
    auto bits = [](int x, int y, int n) { return ((x + 2 * y) >> n) & 1; };
    auto rgb16 = [bits](int x, int y) {
        return uint32_t(bits(x, y, 0) * 0x7C00 | bits(x, y, 1) * 0x03E0 | bits(x, y, 2) * 0x001F);
    };
    auto rgb565 = [bits](int x, int y) {
        return uint32_t(bits(x, y, 0) * 0xF800 | bits(x, y, 1) * 0x07E0 | bits(x, y, 2) * 0x001F);
    };
    auto full = [bits](const BitmapShape&, int x, int y) {
        return COLORREF(RGB(255 * bits(x, y, 0), 255 * bits(x, y, 1), 255 * bits(x, y, 2)));
    };
    const Layout layouts[] = {
        {"1-bit-bottom-up-13-wide", 1, 13, 3, 0, {}, [](int x, int y) { return uint32_t(x * 3 + y) & 1; }, nullptr},
        {"1-bit-top-down-one-colour", 1, 9, -2, 1, {}, [](int x, int y) { return uint32_t(x + y) & 1; }, nullptr},
        {"4-bit-bottom-up-5-wide", 4, 5, 4, 0, {}, [](int x, int y) { return uint32_t(x + 5 * y) % 16; }, nullptr},
        {"4-bit-top-down-6-colours", 4, 7, -3, 6, {}, [](int x, int y) { return uint32_t(x + 7 * y) % 16; }, nullptr},
        {"8-bit-bottom-up-5-wide", 8, 5, 3, 0, {}, [](int x, int y) { return uint32_t(50 * y + x); }, nullptr},
        {"8-bit-top-down-16-colours", 8, 6, -4, 16, {}, [](int x, int y) { return uint32_t(5 * x + y); }, nullptr},
        {"24-bit-bottom-up-3-wide",
         24,
         3,
         3,
         0,
         {},
         [](int x, int y) { return 0x123456u * uint32_t(x + 1) + 0x10101u * uint32_t(y); },
         [](const BitmapShape& s, int x, int y) { return Rgb(s.pixel(x, y) & 0xFFFFFF); }},
        {"24-bit-top-down-4-wide",
         24,
         4,
         -2,
         0,
         {},
         [](int x, int y) { return 0xFEDCBAu - 0x0F0F0Fu * uint32_t(x + 4 * y); },
         [](const BitmapShape& s, int x, int y) { return Rgb(s.pixel(x, y) & 0xFFFFFF); }},
        {"16-bit-5-5-5-3-wide", 16, 3, 3, 0, {}, rgb16, full},
        {"16-bit-5-6-5-bit-fields-top-down", 16, 5, -2, 0, {0xF800, 0x07E0, 0x001F}, rgb565, full},
        {"32-bit-bottom-up",
         32,
         3,
         2,
         0,
         {},
         [](int x, int y) { return 0xAB000000u | (0x203040u * uint32_t(x + 3 * y + 1)); },
         [](const BitmapShape& s, int x, int y) { return Rgb(s.pixel(x, y) & 0xFFFFFF); }},
        {"32-bit-bit-fields-red-low",
         32,
         2,
         -3,
         0,
         {0x0000FF, 0x00FF00, 0xFF0000},
         [](int x, int y) { return 0x00102030u * uint32_t(x + 2 * y + 1); },
         [](const BitmapShape& s, int x, int y) {
             const uint32_t p = s.pixel(x, y);
             return COLORREF(RGB(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF));
         }},
    };
    ScratchDirectory scratch("bitmap-depths");
    for (const Layout& layout : layouts) {
        BitmapShape shape = Shape(layout.width, layout.height, layout.pixel);
        shape.bitCount = layout.bits;
        shape.colourUsed = layout.colourUsed;
        shape.masks = layout.masks;
        shape.compression = layout.masks.empty() ? 0 : 3;
        const std::string file = std::string(layout.name) + ".bmp";
        WriteFile(file.c_str(), BitmapFile(shape));
        HBITMAP bitmap =
            HBITMAP(LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE));
        ASSERT_NE(bitmap, nullptr) << layout.name;
        const int rows = std::abs(layout.height), entries = TableEntries(shape);
        const std::vector<COLORREF> colours = Colours(bitmap);
        ASSERT_EQ(colours.size(), size_t(layout.width * rows)) << layout.name;
        for (int i = 0; i < layout.width * rows; ++i) {
            const int x = i % layout.width, y = i / layout.width;
            const uint32_t value = shape.pixel(x, y) & ((1u << std::min<int>(layout.bits, 31)) - 1);
            const COLORREF expected = layout.colour          ? layout.colour(shape, x, y)
                                      : int(value) < entries ? Rgb(shape.colours[value])
                                                             : RGB(0, 0, 0);
            ASSERT_EQ(colours[size_t(i)], expected) << layout.name << " at " << x << "," << y;
        }
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

// Each of these must come back null with nothing left alive; under the sanitizers, also with no read
// outside the bytes given. Random bytes are the fuzz target's (make fuzz).
TEST(BitmapReader, RefusesMalformedAndUnsupportedBitmaps) {
    const int bitmapsBefore = TestGetLiveObjects().bitmaps;
    const BitmapShape good = Shape(4, 4, [](int x, int y) { return uint32_t(x + y); });
    const std::vector<uint8_t> file = BitmapFile(good), packed = PackedBitmap(good);
    HBITMAP intact = Read(file, true);  // the base every case below breaks one way
    ASSERT_NE(intact, nullptr);
    ASSERT_EQ(TestGetLiveObjects().bitmaps, bitmapsBefore + 1);
    DeleteObject(intact);

    for (size_t length = 0; length < file.size(); ++length) {
        EXPECT_EQ(Read({file.begin(), file.begin() + length}, true), nullptr) << "file cut at " << length;
        if (length < packed.size()) {
            EXPECT_EQ(Read({packed.begin(), packed.begin() + length}, false), nullptr) << "packed cut at " << length;
        }
    }
    // Written at an offset of the file, or of the packed bitmap when negative; some write a second field.
    struct Case {
        const char* what;
        int at;
        uint32_t value;
        int count, at2 = 0;
        uint32_t value2 = 0;
    };
    const Case cases[] = {{"not BM", 0, 'M', 1},
                          {"pixels past the end", 10, uint32_t(file.size() - 4), 4},
                          {"pixel offset wraps", 10, 0xFFFFFFF0u, 4},
                          {"header longer than the file", 14, uint32_t(file.size()), 4},
                          {"header size huge", 14, 0xFFFFFFFFu, 4},
                          {"header too short", 14, 12, 4},
                          {"width zero", 18, 0, 4},
                          {"width negative", 18, uint32_t(-4), 4},
                          {"height zero", 22, 0, 4},
                          {"height most negative", 22, 0x80000000u, 4},
                          {"height too large", 22, 0x7FFFFFFFu, 4},
                          {"width times height overflows", 18, 0x10000, 4, 22, 0x10000},
                          {"rows beyond the data", 22, 5, 4},
                          {"two planes", 26, 2, 2},
                          {"zero bits", 28, 0, 2},
                          {"seven bits", 28, 7, 2},
                          {"RLE8", 30, 1, 4},
                          {"RLE4", 28, 4, 2, 30, 2},
                          {"bit fields at 8 bits", 30, 3, 4},
                          {"JPEG", 30, 4, 4},
                          {"PNG", 30, 5, 4},
                          {"colour table past the end", 14, uint32_t(file.size() - 14 - 1000), 4},
                          {"packed: more colours than carried", -32, 4096, 4},
                          {"packed: colour count huge", -32, 0xFFFFFFFFu, 4}};
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = c.at < 0 ? packed : file;
        PutLE(bytes, size_t(std::abs(c.at)), c.value, c.count);
        if (c.at2 != 0) {
            PutLE(bytes, size_t(c.at2), c.value2, 4);
        }
        EXPECT_EQ(Read(bytes, c.at >= 0), nullptr) << c.what;
    }

    EXPECT_EQ(Read({}, true), nullptr);
    EXPECT_EQ(BitmapRead(nullptr, 100, false), nullptr);
    EXPECT_EQ(TestGetLiveObjects().bitmaps, bitmapsBefore);
}

TEST(BitmapReader, GetObjectDescribesTheBitmapAsReadTopDown) {
    HBITMAP bitmap = Read(PackedBitmap(Shape(13, -7, [](int, int) { return 0u; })), false);
    ASSERT_NE(bitmap, nullptr);
    BITMAP record;
    EXPECT_EQ(GetObjectA(bitmap, sizeof(BITMAP), &record), int(sizeof(BITMAP)));
    EXPECT_EQ(std::vector<LONG>({record.bmType, record.bmWidth, record.bmHeight, record.bmWidthBytes, record.bmPlanes,
                                 record.bmBitsPixel}),
              std::vector<LONG>({0, 13, 7, 16, 1, 8}));
    DeleteObject(bitmap);
    EXPECT_EQ(GetObjectA(bitmap, sizeof(record), &record), 0);
}
