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
