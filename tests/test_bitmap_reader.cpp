// The bitmap reader behind LoadImageA: what it reads from good bitmaps, and that bad ones are refused.
#include <gtest/gtest.h>

#include "platform/src/platform.h"
#include "platform/testing.h"
#include "tests/bitmap_bytes.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace {

// Every pixel's colour, top row first, read back through a memory DC as the program would.
std::vector<COLORREF> Colours(HBITMAP bitmap) {
    BITMAP record = {};
    EXPECT_EQ(GetObjectA(bitmap, sizeof(record), &record), int(sizeof(record)));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    std::vector<COLORREF> colours;
    for (int y = 0; y < record.bmHeight; ++y) {
        for (int x = 0; x < record.bmWidth; ++x) {
            colours.push_back(GetPixel(dc, x, y));
        }
    }
    SelectObject(dc, old);
    DeleteDC(dc);
    return colours;
}

// Reads from an allocation of exactly the given size, so a read past the end trips the sanitizer.
HBITMAP Read(const std::vector<uint8_t>& bytes, bool withFileHeader) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    return GdiReadBitmap(exact.get(), bytes.size(), withFileHeader);
}

COLORREF Rgb(uint32_t rgb) { return RGB(rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF); }

// A colour table where every entry differs, so a wrong index shows as a wrong colour.
std::vector<uint32_t> DistinctColours() {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) {
        colours.push_back((i << 16) | ((255 - i) << 8) | ((i * 7) & 0xFF));
    }
    return colours;
}

}  // namespace

TEST(BitmapReader, EightBitRowsComeOutTopFirstInEitherStoredOrder) {
    for (int32_t height : {3, -3}) {
        for (bool withFileHeader : {false, true}) {
            BitmapShape shape;
            shape.width = 5;  // rows padded to 8 bytes
            shape.height = height;
            shape.colours = DistinctColours();
            shape.pixel = [](int x, int y) { return uint32_t(10 * y + x); };
            std::vector<uint8_t> bytes = withFileHeader ? BitmapFile(shape) : PackedBitmap(shape);
            HBITMAP bitmap = Read(bytes, withFileHeader);
            ASSERT_NE(bitmap, nullptr) << height << " " << withFileHeader;
            std::vector<COLORREF> colours = Colours(bitmap);
            ASSERT_EQ(colours.size(), 15u);
            for (int y = 0; y < 3; ++y) {
                for (int x = 0; x < 5; ++x) {
                    EXPECT_EQ(colours[y * 5 + x], Rgb(shape.colours[10 * y + x])) << x << "," << y;
                }
            }
            EXPECT_TRUE(DeleteObject(bitmap));
        }
    }
}

TEST(BitmapReader, ColourCountsZeroAndFullGiveTheWholeTableAndShortTablesLeaveBlack) {
    for (uint32_t used : {0u, 256u}) {
        BitmapShape shape;
        shape.colourUsed = used;
        shape.colours = DistinctColours();
        shape.width = 16;
        shape.height = 16;
        shape.pixel = [](int x, int y) { return uint32_t(16 * y + x); };
        HBITMAP bitmap = Read(PackedBitmap(shape), false);
        ASSERT_NE(bitmap, nullptr);
        std::vector<COLORREF> colours = Colours(bitmap);
        for (int i = 0; i < 256; ++i) {
            EXPECT_EQ(colours[i], Rgb(shape.colours[i])) << used << " " << i;
        }
        DeleteObject(bitmap);
    }

    // 16 colours declared: the pixels start right after them, and values past the table read black.
    BitmapShape shortTable;
    shortTable.colourUsed = 16;
    shortTable.colours = DistinctColours();
    shortTable.pixel = [](int x, int) { return x == 0 ? 15u : 200u; };
    HBITMAP bitmap = Read(PackedBitmap(shortTable), false);
    ASSERT_NE(bitmap, nullptr);
    std::vector<COLORREF> colours = Colours(bitmap);
    EXPECT_EQ(colours[0], Rgb(shortTable.colours[15]));
    EXPECT_EQ(colours[1], RGB(0, 0, 0));
    DeleteObject(bitmap);
}

TEST(BitmapReader, MoreThan256ColoursTakeTheFirst256AndTheDeclaredTablePlacesThePixels) {
    BitmapShape shape;
    shape.colourUsed = 300;
    shape.colours = DistinctColours();
    shape.pixel = [](int x, int y) { return uint32_t(250 + (x + y) % 6); };
    for (bool withFileHeader : {false, true}) {
        HBITMAP bitmap = Read(withFileHeader ? BitmapFile(shape) : PackedBitmap(shape), withFileHeader);
        ASSERT_NE(bitmap, nullptr);
        std::vector<COLORREF> colours = Colours(bitmap);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                EXPECT_EQ(colours[y * 4 + x], Rgb(shape.colours[250 + (x + y) % 6]));
            }
        }
        DeleteObject(bitmap);
    }
}

TEST(BitmapReader, OtherDepthsConvertToTheirColours) {
    BitmapShape one;
    one.bitCount = 1;
    one.width = 11;
    one.colours = {0x102030, 0xF0E0D0};
    one.pixel = [](int x, int y) { return uint32_t((x * 3 + y) % 2); };
    BitmapShape four;
    four.bitCount = 4;
    four.width = 7;
    four.colours = DistinctColours();
    four.pixel = [](int x, int y) { return uint32_t((x + 5 * y) % 16); };
    BitmapShape rgb24;
    rgb24.bitCount = 24;
    rgb24.width = 3;
    rgb24.pixel = [](int x, int y) { return uint32_t(0x123456 * (x + 1) + 0x10101 * y) & 0xFFFFFF; };
    BitmapShape rgb32;
    rgb32.bitCount = 32;
    rgb32.pixel = [](int x, int y) { return 0xAB000000u | uint32_t(0x0A0B0C * (x + 4 * y)); };
    BitmapShape rgb555;
    rgb555.bitCount = 16;
    rgb555.pixel = [](int x, int y) { return uint32_t(0x7C00 * (x % 2) | 0x03E0 * (y % 2) | 0x1F * (x == y)); };
    BitmapShape rgb565;
    rgb565.bitCount = 16;
    rgb565.compression = 3;
    rgb565.masks[0] = 0xF800, rgb565.masks[1] = 0x07E0, rgb565.masks[2] = 0x001F;
    rgb565.pixel = [](int x, int y) { return uint32_t(0xF800 * (x % 2) | 0x07E0 * (y % 2) | 0x10 * (x == y)); };
    BitmapShape bgr32v5 = rgb32;  // masks inside a 124-byte header, blue in the high byte
    bgr32v5.compression = 3;
    bgr32v5.headerSize = 124;
    bgr32v5.masks[0] = 0x000000FF, bgr32v5.masks[1] = 0x0000FF00, bgr32v5.masks[2] = 0x00FF0000;

    auto expect = [](const BitmapShape& shape, std::function<COLORREF(int, int)> colour) {
        for (bool withFileHeader : {false, true}) {
            HBITMAP bitmap = Read(withFileHeader ? BitmapFile(shape) : PackedBitmap(shape), withFileHeader);
            ASSERT_NE(bitmap, nullptr) << shape.bitCount;
            BITMAP record = {};
            GetObjectA(bitmap, sizeof(record), &record);
            EXPECT_EQ(record.bmBitsPixel, shape.bitCount);
            std::vector<COLORREF> colours = Colours(bitmap);
            for (int y = 0; y < 4; ++y) {
                for (int x = 0; x < shape.width; ++x) {
                    EXPECT_EQ(colours[y * shape.width + x], colour(x, y)) << shape.bitCount << " " << x << "," << y;
                }
            }
            DeleteObject(bitmap);
        }
    };
    expect(one, [&](int x, int y) { return Rgb(one.colours[(x * 3 + y) % 2]); });
    expect(four, [&](int x, int y) { return Rgb(four.colours[(x + 5 * y) % 16]); });
    expect(rgb24, [&](int x, int y) { return Rgb(rgb24.pixel(x, y)); });
    expect(rgb32, [&](int x, int y) { return Rgb(rgb32.pixel(x, y) & 0xFFFFFF); });
    expect(rgb555, [](int x, int y) { return RGB(255 * (x % 2), 255 * (y % 2), 255 * (x == y)); });
    expect(rgb565, [](int x, int y) { return RGB(255 * (x % 2), 255 * (y % 2), (x == y) ? 16 * 255 / 31 : 0); });
    expect(bgr32v5, [&](int x, int y) {
        uint32_t p = bgr32v5.pixel(x, y);
        return RGB(p & 0xFF, (p >> 8) & 0xFF, (p >> 16) & 0xFF);
    });
}

// Each of these must come back null with nothing left alive; under the sanitizers, also with no read
// outside the bytes given.
TEST(BitmapReader, RefusesMalformedAndUnsupportedBitmaps) {
    const int bitmapsBefore = TestGetLiveObjects().bitmaps;
    BitmapShape good;
    good.colours = DistinctColours();
    const std::vector<uint8_t> file = BitmapFile(good);
    const std::vector<uint8_t> packed = PackedBitmap(good);
    HBITMAP intact = Read(file, true);  // the base every case below breaks one way
    ASSERT_NE(intact, nullptr);
    ASSERT_EQ(TestGetLiveObjects().bitmaps, bitmapsBefore + 1);
    DeleteObject(intact);

    for (size_t length = 0; length < file.size(); ++length) {
        EXPECT_EQ(Read({file.begin(), file.begin() + length}, true), nullptr) << "file cut at " << length;
    }
    for (size_t length = 0; length < packed.size(); ++length) {
        EXPECT_EQ(Read({packed.begin(), packed.begin() + length}, false), nullptr) << "packed cut at " << length;
    }

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> breakIt;
    };
    const Case cases[] = {
        {"not BM", [](auto& b) { b[0] = 'M'; }},
        {"pixels past the end", [](auto& b) { PutLE(b, 10, uint32_t(b.size() - 4), 4); }},
        {"pixel offset wraps", [](auto& b) { PutLE(b, 10, 0xFFFFFFF0u, 4); }},
        {"header longer than the file", [](auto& b) { PutLE(b, 14, uint32_t(b.size()), 4); }},
        {"header size huge", [](auto& b) { PutLE(b, 14, 0xFFFFFFFFu, 4); }},
        {"header too short", [](auto& b) { PutLE(b, 14, 12, 4); }},
        {"width zero", [](auto& b) { PutLE(b, 18, 0, 4); }},
        {"width negative", [](auto& b) { PutLE(b, 18, uint32_t(-4), 4); }},
        {"height zero", [](auto& b) { PutLE(b, 22, 0, 4); }},
        {"height most negative", [](auto& b) { PutLE(b, 22, 0x80000000u, 4); }},
        {"height too large", [](auto& b) { PutLE(b, 22, 0x7FFFFFFFu, 4); }},
        {"width times height overflows", [](auto& b) { PutLE(b, 18, 0x10000, 4), PutLE(b, 22, 0x10000, 4); }},
        {"rows beyond the data", [](auto& b) { PutLE(b, 22, 5, 4); }},
        {"two planes", [](auto& b) { PutLE(b, 26, 2, 2); }},
        {"zero bits", [](auto& b) { PutLE(b, 28, 0, 2); }},
        {"seven bits", [](auto& b) { PutLE(b, 28, 7, 2); }},
        {"RLE8", [](auto& b) { PutLE(b, 30, 1, 4); }},
        {"RLE4", [](auto& b) { PutLE(b, 28, 4, 2), PutLE(b, 30, 2, 4); }},
        {"bit fields at 8 bits", [](auto& b) { PutLE(b, 30, 3, 4); }},
        {"JPEG", [](auto& b) { PutLE(b, 30, 4, 4); }},
        {"PNG", [](auto& b) { PutLE(b, 30, 5, 4); }},
        {"colour table past the end", [](auto& b) { PutLE(b, 14, uint32_t(b.size() - 14 - 1000), 4); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = file;
        c.breakIt(bytes);
        EXPECT_EQ(Read(bytes, true), nullptr) << c.what;
    }

    // A packed bitmap claiming more colours than it carries has its pixels past the end.
    std::vector<uint8_t> claims = packed;
    PutLE(claims, 32, 4096, 4);
    EXPECT_EQ(Read(claims, false), nullptr);
    PutLE(claims, 32, 0xFFFFFFFFu, 4);
    EXPECT_EQ(Read(claims, false), nullptr);

    std::mt19937 random(1041);
    for (int i = 0; i < 2000; ++i) {
        std::vector<uint8_t> garbage(random() % 200);
        for (uint8_t& byte : garbage) {
            byte = uint8_t(random());
        }
        if (i % 2 == 0 && garbage.size() >= 2) {
            garbage[0] = 'B', garbage[1] = 'M';
        }
        HBITMAP bitmap = Read(garbage, i % 4 < 2);
        if (bitmap != nullptr) {
            Colours(bitmap);
            DeleteObject(bitmap);
        }
    }
    EXPECT_EQ(Read({}, true), nullptr);
    EXPECT_EQ(GdiReadBitmap(nullptr, 100, false), nullptr);
    EXPECT_EQ(TestGetLiveObjects().bitmaps, bitmapsBefore);
}

TEST(BitmapReader, GetObjectDescribesTheBitmapAndWritesNoMoreThanAsked) {
    BitmapShape shape;
    shape.width = 13;
    shape.height = -7;
    HBITMAP bitmap = Read(PackedBitmap(shape), false);
    ASSERT_NE(bitmap, nullptr);
    BITMAP record;
    std::memset(&record, 0xEE, sizeof(record));
    EXPECT_EQ(GetObjectA(bitmap, sizeof(record), &record), int(sizeof(record)));
    EXPECT_EQ(record.bmType, 0);
    EXPECT_EQ(record.bmWidth, 13);
    EXPECT_EQ(record.bmHeight, 7);
    EXPECT_EQ(record.bmWidthBytes, 16);
    EXPECT_EQ(record.bmPlanes, 1);
    EXPECT_EQ(record.bmBitsPixel, 8);

    unsigned char bytes[sizeof(BITMAP) + 4];
    std::memset(bytes, 0xEE, sizeof(bytes));
    EXPECT_EQ(GetObjectA(bitmap, 8, bytes), 8);
    EXPECT_EQ(bytes[4], 13);
    for (size_t i = 8; i < sizeof(bytes); ++i) {
        EXPECT_EQ(bytes[i], 0xEE) << i;
    }
    EXPECT_EQ(GetObjectA(bitmap, 0, bytes), 0);
    EXPECT_EQ(GetObjectA(bitmap, 0, nullptr), int(sizeof(BITMAP)));
    DeleteObject(bitmap);
    EXPECT_EQ(GetObjectA(bitmap, sizeof(record), &record), 0);
}

class LoadImageFromFiles : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        directory_ = std::filesystem::temp_directory_path() /
                     ("gdi-load-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }
    static void Write(const char* name, const std::vector<uint8_t>& bytes) {
        FILE* file = std::fopen(name, "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::filesystem::path previous_, directory_;
};

TEST_F(LoadImageFromFiles, ReadsTheFileByItsNameAndScalesToAnAskedSize) {
    BitmapShape shape;
    shape.width = 2;
    shape.height = 2;
    shape.colours = DistinctColours();
    shape.pixel = [](int x, int y) { return uint32_t(1 + x + 2 * y); };
    Write("PICTURE", BitmapFile(shape));

    HBITMAP own = (HBITMAP)LoadImageA(nullptr, "PICTURE", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_LOADFROMFILE);
    ASSERT_NE(own, nullptr);
    EXPECT_EQ(Colours(own), (std::vector<COLORREF>{Rgb(shape.colours[1]), Rgb(shape.colours[2]), Rgb(shape.colours[3]),
                                                   Rgb(shape.colours[4])}));
    DeleteObject(own);

    HBITMAP scaled = (HBITMAP)LoadImageA(nullptr, "PICTURE", IMAGE_BITMAP, 4, 4, LR_LOADFROMFILE);
    ASSERT_NE(scaled, nullptr);
    std::vector<COLORREF> expected;
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            expected.push_back(Rgb(shape.colours[1 + x / 2 + 2 * (y / 2)]));
        }
    }
    EXPECT_EQ(Colours(scaled), expected);
    DeleteObject(scaled);

    EXPECT_EQ(LoadImageA(nullptr, "MISSING", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, "PICTURE", 1, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(LoadImageA(nullptr, "PICTURE", IMAGE_BITMAP, -1, 0, LR_LOADFROMFILE), nullptr);
    // Without LR_LOADFROMFILE the name is a resource name, and no resource has it.
    EXPECT_EQ(LoadImageA(GetModuleHandleA(nullptr), "PICTURE", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);

    std::vector<uint8_t> cut = BitmapFile(shape);
    cut.pop_back();
    Write("CUT", cut);
    EXPECT_EQ(LoadImageA(nullptr, "CUT", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(TestGetLiveObjects().bitmaps, 0);
}
