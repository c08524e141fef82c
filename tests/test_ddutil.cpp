// The program's bitmap, palette and colour-key utilities over real off-screen surfaces, resources and files.
#include "tests/harness.h"

#include "display/display.h"
#include "platform/src/platform.h"
#include "tests/bitmap_bytes.h"

#include <array>

namespace {

using Entry = std::array<int, 4>;  // red, green, blue, flags
using Lines = std::vector<std::string>;

class DDUtil : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&directDraw_), IID_IDirectDraw7, nullptr),
                  DD_OK);
        TestCaptureDebugOutput(true);
    }
    void TearDown() override {
        for (LPDIRECTDRAWSURFACE7 surface : surfaces_) surface->Release();
        directDraw_->Release();
        TestCaptureDebugOutput(false);
        TestClearDisplayHooks();
        TestResetResources();
        EXPECT_EQ(HarnessLeaks(), "");
    }

    // A surface filled with `fill`, its call counts from zero.
    LPDIRECTDRAWSURFACE7 Surface(int width, int height, BYTE fill) {
        DDSURFACEDESC2 ddsd = HarnessDescription(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT, DDSCAPS_OFFSCREENPLAIN);
        ddsd.dwWidth = width, ddsd.dwHeight = height;
        LPDIRECTDRAWSURFACE7 surface = nullptr;
        EXPECT_EQ(directDraw_->CreateSurface(&ddsd, &surface, nullptr), DD_OK);
        surfaces_.push_back(surface);
        HarnessWritePixels(surface, std::vector<BYTE>(size_t(width) * height, fill));
        TestResetSurfaceCallCounts();
        return surface;
    }
    static void ExpectPixels(LPDIRECTDRAWSURFACE7 surface, int width, const std::function<int(int, int)>& expected) {
        std::vector<BYTE> pixels = HarnessReadPixels(surface);
        for (size_t i = 0; i < pixels.size(); ++i)
            ASSERT_EQ(pixels[i], expected(int(i) % width, int(i) / width)) << i % width << "," << i / width;
    }
    // The entries DDLoadPalette gives for that name, checked against expected(i) when given.
    std::vector<PALETTEENTRY> Palette(LPCSTR name, const std::function<Entry(int)>& expected = nullptr) {
        LPDIRECTDRAWPALETTE palette = DDLoadPalette(directDraw_, name);
        std::vector<PALETTEENTRY> entries(256);
        EXPECT_TRUE(palette != nullptr && TestPaletteGivenEntries(palette, entries.data()));
        for (int i = 0; i < 256 && expected; ++i) {
            const PALETTEENTRY& e = entries[i];
            EXPECT_EQ((Entry{e.peRed, e.peGreen, e.peBlue, e.peFlags}), expected(i)) << (name ? name : "null") << i;
        }
        if (palette != nullptr) palette->Release();
        return entries;
    }

    LPDIRECTDRAW7 directDraw_ = nullptr;
    std::vector<LPDIRECTDRAWSURFACE7> surfaces_;
    ScratchDirectory scratch_{std::string("ddutil-") + ::testing::UnitTest::GetInstance()->current_test_info()->name()};
};

// An 8-bit shape whose colours are spread over the cube and never exactly on the 3-3-2 palette.
BitmapShape Shape(int width, int height, std::function<uint32_t(int, int)> pixel) {
    BitmapShape shape;
    shape.width = width, shape.height = height, shape.pixel = std::move(pixel);
    for (uint32_t i = 0; i < 256; ++i)
        shape.colours.push_back(((i * 37 + 11) & 0xFF) << 16 | ((i * 91 + 5) & 0xFF) << 8 | ((i * 13 + 7) & 0xFF));
    return shape;
}

HBITMAP Bitmap(const BitmapShape& shape) {
    std::vector<uint8_t> bytes = PackedBitmap(shape);
    return BitmapRead(bytes.data(), bytes.size(), false);
}

Entry Default(int i) {
    const TestColour c = ThreeThreeTwo()[size_t(i)];
    return {c.red, c.green, c.blue, 0};
}
Entry Colour(uint32_t rgb, int flags = 0) { return {int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF), flags}; }

}  // namespace

TEST_F(DDUtil, CopyConvertsEveryPixelToTheDisplayIndexOfItsColourAndScalesTheGivenArea) {
    LPDIRECTDRAWSURFACE7 surface = Surface(24, 11, 0);
    const BitmapShape whole = Shape(24, 11, [](int x, int y) { return uint32_t(y * 24 + x) & 0xFF; });
    HBITMAP bitmap = Bitmap(whole);
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DD_OK);
    ExpectPixels(surface, 24, [&](int x, int y) { return ExpectedIndex(whole.colours[(y * 24 + x) & 0xFF]); });
    for (TestSurfaceOp op : {TestSurfaceOp::Restore, TestSurfaceOp::GetDC, TestSurfaceOp::ReleaseDC})
        EXPECT_EQ(TestSurfaceCallCount(surface, op), 1);
    EXPECT_TRUE(DeleteObject(bitmap));  // the copy left it selected nowhere

    surface = Surface(8, 6, 0);
    const BitmapShape tenByTen = Shape(10, 10, [](int x, int y) { return uint32_t(y * 10 + x); });
    bitmap = Bitmap(tenByTen);
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 3, 2, 4, 3), DD_OK);
    ExpectPixels(surface, 8,
                 [&](int x, int y) { return ExpectedIndex(tenByTen.colours[(2 + y / 2) * 10 + 3 + x / 2]); });
    // A zero width or height stands for the bitmap's own: here the whole of it squeezed onto the surface.
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DD_OK);
    std::vector<BYTE> pixels = HarnessReadPixels(surface);
    EXPECT_EQ(pixels[0], ExpectedIndex(tenByTen.colours[0 * 10 + 0]));
    EXPECT_EQ(pixels[5 * 8 + 7], ExpectedIndex(tenByTen.colours[9 * 10 + 9]));
    EXPECT_EQ(pixels[1 * 8 + 4], ExpectedIndex(tenByTen.colours[2 * 10 + 5]));  // centres: 4.5*10/8, 1.5*10/6
    DeleteObject(bitmap);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
}

// Without a memory DC nothing is copied and the copy fails; a failed GetDC is handed back. A missing bitmap
// refills nothing; a file of the name refills the surface.
TEST_F(DDUtil, CopyAndRestoreFailuresSaySoAndCopyNothing) {
    LPDIRECTDRAWSURFACE7 surface = Surface(6, 5, 0x33);
    HBITMAP bitmap = Bitmap(Shape(6, 5, [](int, int) { return 0u; }));
    TestFailNextCompatibleDCs(1);
    EXPECT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{"createcompatible dc failed\n"});
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 0);
    TestFailSurfaceOp(surface, TestSurfaceOp::GetDC, DDERR_SURFACEBUSY);
    EXPECT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DDERR_SURFACEBUSY);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(DDRestoreBitmap(surface, "NOSUCHBITMAP"), E_FAIL);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{"handle is null\n"});
    EXPECT_EQ(HarnessReadPixels(surface), std::vector<BYTE>(30, 0x33));

    const BitmapShape shape = Shape(6, 5, [](int x, int y) { return uint32_t(40 + 7 * y + x); });
    WriteFile("TILES", BitmapFile(shape));
    EXPECT_EQ(DDRestoreBitmap(surface, "TILES"), DD_OK);
    ExpectPixels(surface, 6, [&](int x, int y) { return ExpectedIndex(shape.colours[40 + 7 * y + x]); });
    TestFailSurfaceOp(surface, TestSurfaceOp::GetDC, DDERR_SURFACELOST);
    EXPECT_EQ(DDRestoreBitmap(surface, "TILES"), DDERR_SURFACELOST);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{"ddcopybitmap failed\n"});
}

// The palette file path: the colour table's bytes go straight into the entries.
TEST_F(DDUtil, PaletteFromAFileTakesItsColourTableAndKeepsDefaultsPastItsEnd) {
    Palette(nullptr, Default);  // null name, missing file: the 3-3-2 colours throughout
    Palette("NOSUCHBITMAP", Default);

    const BitmapShape full = Shape(4, 4, [](int x, int y) { return uint32_t(x + y); });
    std::vector<uint8_t> bytes = BitmapFile(full);
    for (int i = 0; i < 256; ++i) bytes[54 + 4 * i + 3] = uint8_t(i ^ 0x5A);  // the reserved byte becomes the flags
    WriteFile("FULL", bytes);
    Palette("FULL", [&](int i) { return Colour(full.colours[i], i ^ 0x5A); });

    // 16 colours: the first 16 exchanged; the rest are whatever bytes follow, the pixels among them.
    BitmapShape sixteen = Shape(64, 16, [](int x, int y) { return uint32_t(x * 3 + y); });
    sixteen.colourUsed = 16;
    bytes = BitmapFile(sixteen);
    WriteFile("SIXTEEN", bytes);
    Palette("SIXTEEN", [&](int i) {
        const uint8_t* raw = bytes.data() + 54 + 4 * i;
        return i < 16 ? Entry{raw[2], raw[1], raw[0], raw[3]} : Entry{raw[0], raw[1], raw[2], raw[3]};
    });

    // A depth without a colour table: nothing exchanged, the raw bytes after byte 54.
    BitmapShape deep = Shape(40, 10, [](int x, int y) { return uint32_t(x * 0x10203 + y * 0x30201); });
    deep.bitCount = 24;
    WriteFile("RAW", bytes = BitmapFile(deep));
    EXPECT_EQ(std::memcmp(Palette("RAW").data(), bytes.data() + 54, 1024), 0);

    // A file that ends inside its colour table: whole entries read are exchanged, a partial one keeps
    // its read bytes over the default, and everything after keeps the defaults.
    bytes = BitmapFile(full);
    bytes.resize(54 + 10 * 4 + 2);
    WriteFile("SHORT", bytes);
    Palette("SHORT", [&](int i) {
        return i < 10 ? Colour(full.colours[i]) : i == 10 ? Entry{bytes[94], bytes[95], Default(10)[2], 0} : Default(i);
    });
    bytes.resize(30);  // shorter than its headers: every entry default
    WriteFile("TINY", bytes);
    Palette("TINY", Default);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
}

// The palette resource path: only the colour table the header describes, within the resource's size.
TEST_F(DDUtil, PaletteFromAResourceTakesTheColoursItsHeaderCounts) {
    const BitmapShape full = Shape(4, 4, [](int x, int y) { return uint32_t(x + y); });
    auto check = [&](const char* name, std::vector<uint8_t> bytes, int taken) {
        TestRegisterBitmapResource(name, bytes);
        Palette(name, [&](int i) { return i < taken ? Colour(full.colours[i]) : Default(i); });
    };
    auto with = [&](const std::function<void(BitmapShape&)>& change) {
        BitmapShape shape = full;
        change(shape);
        return PackedBitmap(shape);
    };
    std::vector<uint8_t> flagged = PackedBitmap(full);
    for (int i = 0; i < 256; ++i) flagged[40 + 4 * i + 3] = 0xFF;  // reserved bytes do not become flags here
    check("FULL", flagged, 256);
    check("SIXTEEN", with([](BitmapShape& s) { s.colourUsed = 16; }), 16);
    check("MANY", with([](BitmapShape& s) { s.colourUsed = 300; }), 256);
    check("V5", with([](BitmapShape& s) { s.headerSize = 124; }), 256);  // the table starts biSize bytes in
    // A table is there, but a 24-bit header does not count it.
    check("DEEP", with([](BitmapShape& s) { s.bitCount = 24, s.tableEntries = 256; }), 0);
    std::vector<uint8_t> bytes = PackedBitmap(full);
    PutLE(bytes, 0, 12, 4);
    check("SHORTHEADER", bytes, 0);
    PutLE(bytes, 0, 0xFFFFFFF0u, 4);
    check("HUGEHEADER", bytes, 0);
    // Cut inside its table: only whole entries within the resource are read.
    bytes = PackedBitmap(full);
    bytes.resize(40 + 10 * 4 + 3);
    check("CUT", bytes, 10);
    bytes.resize(39);
    check("STUB", bytes, 0);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});

    // A resource wins over a file of the same name.
    BitmapShape other = full;
    other.colours = {0x010203};
    WriteFile("SIXTEEN", BitmapFile(other));
    Palette("SIXTEEN", [&](int i) { return i < 16 ? Colour(full.colours[i]) : Default(i); });
    // A resource with no bytes at all: LoadResource has nothing to hand out.
    check("EMPTY", {}, 0);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{"lock resource failed\n"});

    TestFailDirectDrawOp(TestDirectDrawOp::CreatePalette, DDERR_OUTOFMEMORY);
    EXPECT_EQ(DDLoadPalette(directDraw_, nullptr), nullptr);
}

TEST_F(DDUtil, LoadBitmapMakesASurfaceOfTheBitmapsSizeFromTheResourceBeforeAFile) {
    const BitmapShape shape = Shape(12, -3, [](int x, int y) { return uint32_t(200 + x + 12 * y) & 0xFF; });
    WriteFile("SHEET", BitmapFile(shape));
    LPDIRECTDRAWSURFACE7 sheet = DDLoadBitmap(directDraw_, "SHEET", 0, 0);
    ASSERT_NE(sheet, nullptr);
    surfaces_.push_back(sheet);
    DDSURFACEDESC2 ddsd = HarnessDescription();
    ASSERT_EQ(sheet->GetSurfaceDesc(&ddsd), DD_OK);
    EXPECT_EQ(std::make_pair(ddsd.dwWidth, ddsd.dwHeight), std::make_pair(12u, 3u));
    ExpectPixels(sheet, 12, [&](int x, int y) { return ExpectedIndex(shape.colours[(200 + x + 12 * y) & 0xFF]); });
    EXPECT_EQ(DDLoadBitmap(directDraw_, "NOSUCHBITMAP", 0, 0), nullptr);

    const BitmapShape resource = Shape(5, 2, [](int x, int y) { return uint32_t(100 + x + 5 * y); });
    TestRegisterBitmapResource("BOTH", PackedBitmap(resource));
    BitmapShape file = resource;
    file.width = 3;
    WriteFile("BOTH", BitmapFile(file));
    LPDIRECTDRAWSURFACE7 surface = DDLoadBitmap(directDraw_, "BOTH", 0, 0);
    ASSERT_NE(surface, nullptr);
    surfaces_.push_back(surface);
    ExpectPixels(surface, 5, [&](int x, int y) { return ExpectedIndex(resource.colours[100 + x + 5 * y]); });
    // A broken resource falls through to the file, which here is smaller than the surface.
    std::vector<uint8_t> broken = PackedBitmap(resource);
    broken.pop_back();
    TestRegisterBitmapResource("BOTH", broken);
    HarnessWritePixels(surface, std::vector<BYTE>(10, 0));
    EXPECT_EQ(DDRestoreBitmap(surface, "BOTH"), DD_OK);
    std::vector<BYTE> pixels = HarnessReadPixels(surface);
    EXPECT_EQ(pixels[0], ExpectedIndex(resource.colours[100]));  // 3 columns stretched over 5
    EXPECT_EQ(pixels[4], ExpectedIndex(resource.colours[102]));

    TestFailDirectDrawOp(TestDirectDrawOp::CreateSurface, DDERR_OUTOFMEMORY);
    EXPECT_EQ(DDLoadBitmap(directDraw_, "SHEET", 0, 0), nullptr);
    EXPECT_EQ(TestTakeDebugOutput(), Lines{});
}

// The value GDI writes for a colour is read back at (0, 0) and the pixel put back; CLR_INVALID reads the pixel
// as it is. A busy surface is asked again until it answers; a lock that fails otherwise gives CLR_INVALID. The
// key set is the matched value at both ends.
TEST_F(DDUtil, MatchColorFindsTheIndexGdiWritesAndApplyColorKeySetsIt) {
    LPDIRECTDRAWSURFACE7 surface = Surface(3, 2, 0);
    const std::vector<BYTE> picture = {77, 1, 2, 3, 4, 5};
    HarnessWritePixels(surface, picture);
    EXPECT_EQ(DDMatchColor(surface, RGB(21, 141, 91)), DWORD(ExpectedIndex(0x158D5B)));
    EXPECT_EQ(DDMatchColor(surface, RGB(255, 255, 255)), 255u);
    EXPECT_EQ(DDMatchColor(surface, CLR_INVALID), 77u);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 4) << "two colours, each written and put back";
    TestResetSurfaceCallCounts();
    TestFailSurfaceOp(surface, TestSurfaceOp::Lock, DDERR_WASSTILLDRAWING, 5);
    EXPECT_EQ(DDMatchColor(surface, RGB(0, 0, 0)), 0u);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Lock), 6);
    TestFailSurfaceOp(surface, TestSurfaceOp::Lock, DDERR_SURFACELOST);
    EXPECT_EQ(DDMatchColor(surface, RGB(0, 0, 0)), CLR_INVALID);
    EXPECT_EQ(HarnessReadPixels(surface), picture);
    // Only the first pixel's bits of the first word count, on a surface of one pixel too.
    LPDIRECTDRAWSURFACE7 row = Surface(4, 1, 0);
    HarnessWritePixels(row, {0xAB, 0xCD, 0xEF, 0x12});
    EXPECT_EQ(DDMatchColor(row, CLR_INVALID), 0xABu);
    EXPECT_EQ(DDMatchColor(Surface(1, 1, 0xC4), CLR_INVALID), 0xC4u);

    for (auto [colour, value] :
         {std::pair<COLORREF, DWORD>{RGB(21, 141, 91), ExpectedIndex(0x158D5B)}, {CLR_INVALID, 77u}}) {
        EXPECT_EQ(DDApplyColorKey(surface, colour), DD_OK);
        DDCOLORKEY key = {};
        ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        EXPECT_EQ(std::make_pair(key.dwColorSpaceLowValue, key.dwColorSpaceHighValue), std::make_pair(value, value));
    }
}
