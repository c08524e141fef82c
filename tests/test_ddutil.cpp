// The program's bitmap, palette and colour-key utilities over real off-screen surfaces and files.
#include <gtest/gtest.h>

#include "display/display.h"
#include "platform/src/platform.h"
#include "platform/testing.h"
#include "tests/bitmap_bytes.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace {

class DDUtil : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&directDraw_), IID_IDirectDraw7, nullptr),
                  DD_OK);
        previous_ = std::filesystem::current_path();
        directory_ =
            std::filesystem::temp_directory_path() / ("ddutil-" + std::to_string(::getpid()) + "-" +
                                                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(directory_);
        std::filesystem::current_path(directory_);
        TestCaptureDebugOutput(true);
        before_ = TestGetLiveObjects();
    }
    void TearDown() override {
        for (LPDIRECTDRAWSURFACE7 surface : surfaces_) {
            surface->Release();
        }
        directDraw_->Release();
        TestCaptureDebugOutput(false);
        TestClearDisplayHooks();
        TestResetResources();
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
        const TestLiveObjects after = TestGetLiveObjects();
        EXPECT_EQ(after.dcs, before_.dcs);
        EXPECT_EQ(after.bitmaps, before_.bitmaps);
    }

    LPDIRECTDRAWSURFACE7 Surface(int width, int height, BYTE fill) {
        DDSURFACEDESC2 ddsd = {};
        ddsd.dwSize = sizeof(ddsd);
        ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        ddsd.dwWidth = width;
        ddsd.dwHeight = height;
        LPDIRECTDRAWSURFACE7 surface = nullptr;
        EXPECT_EQ(directDraw_->CreateSurface(&ddsd, &surface, nullptr), DD_OK);
        surfaces_.push_back(surface);
        std::vector<BYTE> pixels(size_t(width) * height, fill);
        Put(surface, pixels);
        TestResetSurfaceCallCounts();
        return surface;
    }
    // The surface's pixels, top row first, and the way back in.
    static std::vector<BYTE> Pixels(LPDIRECTDRAWSURFACE7 surface) {
        DDSURFACEDESC2 ddsd = {};
        ddsd.dwSize = sizeof(ddsd);
        EXPECT_EQ(surface->Lock(nullptr, &ddsd, 0, nullptr), DD_OK);
        std::vector<BYTE> pixels;
        for (DWORD y = 0; y < ddsd.dwHeight; ++y) {
            const BYTE* row = static_cast<const BYTE*>(ddsd.lpSurface) + y * ddsd.lPitch;
            pixels.insert(pixels.end(), row, row + ddsd.dwWidth);
        }
        surface->Unlock(nullptr);
        return pixels;
    }
    static void Put(LPDIRECTDRAWSURFACE7 surface, const std::vector<BYTE>& pixels) {
        DDSURFACEDESC2 ddsd = {};
        ddsd.dwSize = sizeof(ddsd);
        ASSERT_EQ(surface->Lock(nullptr, &ddsd, 0, nullptr), DD_OK);
        for (DWORD y = 0; y < ddsd.dwHeight; ++y) {
            std::memcpy(static_cast<BYTE*>(ddsd.lpSurface) + y * ddsd.lPitch, pixels.data() + y * ddsd.dwWidth,
                        ddsd.dwWidth);
        }
        surface->Unlock(nullptr);
    }
    static void WriteFile(const char* name, const std::vector<uint8_t>& bytes) {
        FILE* file = std::fopen(name, "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::vector<PALETTEENTRY> Palette(LPCSTR name) {
        LPDIRECTDRAWPALETTE palette = DDLoadPalette(directDraw_, name);
        EXPECT_NE(palette, nullptr);
        std::vector<PALETTEENTRY> entries(256);
        if (palette != nullptr) {
            EXPECT_TRUE(TestPaletteGivenEntries(palette, entries.data()));
            palette->Release();
        }
        return entries;
    }

    LPDIRECTDRAW7 directDraw_ = nullptr;
    std::vector<LPDIRECTDRAWSURFACE7> surfaces_;
    std::filesystem::path previous_, directory_;
    TestLiveObjects before_ = {};
};

// Colours spread over the cube and never exactly on the 3-3-2 palette, so the conversion shows.
std::vector<uint32_t> OddColours() {
    std::vector<uint32_t> colours;
    for (uint32_t i = 0; i < 256; ++i) {
        colours.push_back(((i * 37 + 11) & 0xFF) << 16 | ((i * 91 + 5) & 0xFF) << 8 | ((i * 13 + 7) & 0xFF));
    }
    return colours;
}

int ExpectedIndex(uint32_t rgb) { return ExpectedNearest(ThreeThreeTwo(), rgb >> 16, (rgb >> 8) & 0xFF, rgb & 0xFF); }

HBITMAP Bitmap(const BitmapShape& shape) {
    std::vector<uint8_t> bytes = PackedBitmap(shape);
    return GdiReadBitmap(bytes.data(), bytes.size(), false);
}

std::vector<std::string> Lines(std::initializer_list<const char*> lines) { return {lines.begin(), lines.end()}; }

}  // namespace

TEST_F(DDUtil, CopyWithoutBitmapOrSurfaceFailsAndTouchesNothing) {
    LPDIRECTDRAWSURFACE7 surface = Surface(4, 4, 0x33);
    BitmapShape shape;
    HBITMAP bitmap = Bitmap(shape);
    EXPECT_EQ(DDCopyBitmap(surface, nullptr, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(DDCopyBitmap(nullptr, bitmap, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(Pixels(surface), std::vector<BYTE>(16, 0x33));
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Restore), 0);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 0);
    EXPECT_TRUE(TestTakeDebugOutput().empty());
    DeleteObject(bitmap);
}

TEST_F(DDUtil, CopyConvertsEveryPixelToTheDisplayIndexOfItsColour) {
    LPDIRECTDRAWSURFACE7 surface = Surface(24, 11, 0);
    BitmapShape shape;
    shape.width = 24;
    shape.height = 11;
    shape.colours = OddColours();
    shape.pixel = [](int x, int y) { return uint32_t(y * 24 + x) & 0xFF; };
    HBITMAP bitmap = Bitmap(shape);
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DD_OK);
    std::vector<BYTE> pixels = Pixels(surface);
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 24; ++x) {
            ASSERT_EQ(pixels[y * 24 + x], ExpectedIndex(shape.colours[(y * 24 + x) & 0xFF])) << x << "," << y;
        }
    }
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Restore), 1);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 1);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::ReleaseDC), 1);
    EXPECT_TRUE(TestTakeDebugOutput().empty());
    EXPECT_TRUE(DeleteObject(bitmap));  // the copy left it selected nowhere
}

TEST_F(DDUtil, CopyScalesTheGivenAreaOverTheWholeSurface) {
    LPDIRECTDRAWSURFACE7 surface = Surface(8, 6, 0);
    BitmapShape shape;
    shape.width = 10;
    shape.height = 10;
    shape.colours = OddColours();
    shape.pixel = [](int x, int y) { return uint32_t(y * 10 + x); };
    HBITMAP bitmap = Bitmap(shape);
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 3, 2, 4, 3), DD_OK);
    std::vector<BYTE> pixels = Pixels(surface);
    for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
            ASSERT_EQ(pixels[y * 8 + x], ExpectedIndex(shape.colours[(2 + y / 2) * 10 + 3 + x / 2])) << x << "," << y;
        }
    }
    // A zero width or height stands for the bitmap's own: here the whole of it squeezed onto the surface.
    ASSERT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DD_OK);
    pixels = Pixels(surface);
    EXPECT_EQ(pixels[0], ExpectedIndex(shape.colours[0 * 10 + 0]));
    EXPECT_EQ(pixels[5 * 8 + 7], ExpectedIndex(shape.colours[9 * 10 + 9]));
    EXPECT_EQ(pixels[1 * 8 + 4], ExpectedIndex(shape.colours[2 * 10 + 5]));  // centres: 4.5*10/8, 1.5*10/6
    DeleteObject(bitmap);
}

TEST_F(DDUtil, CopyWithoutAMemoryDCSaysSoCopiesNothingAndFails) {
    LPDIRECTDRAWSURFACE7 surface = Surface(4, 4, 0x33);
    BitmapShape shape;
    shape.colours = {0xFFFFFF};
    HBITMAP bitmap = Bitmap(shape);
    TestFailNextCompatibleDCs(1);
    EXPECT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), E_FAIL);
    EXPECT_EQ(TestTakeDebugOutput(), Lines({"createcompatible dc failed\n"}));
    EXPECT_EQ(Pixels(surface), std::vector<BYTE>(16, 0x33));
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 0);
    DeleteObject(bitmap);
}

TEST_F(DDUtil, CopyReturnsTheSurfaceDCFailureAndCleansUp) {
    LPDIRECTDRAWSURFACE7 surface = Surface(4, 4, 0x33);
    BitmapShape shape;
    HBITMAP bitmap = Bitmap(shape);
    TestFailSurfaceOp(surface, TestSurfaceOp::GetDC, DDERR_SURFACEBUSY);
    EXPECT_EQ(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0), DDERR_SURFACEBUSY);
    EXPECT_EQ(Pixels(surface), std::vector<BYTE>(16, 0x33));
    EXPECT_TRUE(TestTakeDebugOutput().empty());
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST_F(DDUtil, RestoreRefillsFromTheFileOfThatNameOrSaysWhyNot) {
    LPDIRECTDRAWSURFACE7 surface = Surface(6, 5, 0x33);
    EXPECT_EQ(DDRestoreBitmap(surface, "NOSUCHBITMAP"), E_FAIL);
    EXPECT_EQ(TestTakeDebugOutput(), Lines({"handle is null\n"}));
    EXPECT_EQ(Pixels(surface), std::vector<BYTE>(30, 0x33));
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Restore), 0);

    BitmapShape shape;
    shape.width = 6;
    shape.height = 5;
    shape.colours = OddColours();
    shape.pixel = [](int x, int y) { return uint32_t(40 + 7 * y + x); };
    WriteFile("TILES", BitmapFile(shape));
    EXPECT_EQ(DDRestoreBitmap(surface, "TILES"), DD_OK);
    EXPECT_TRUE(TestTakeDebugOutput().empty());
    std::vector<BYTE> pixels = Pixels(surface);
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(pixels[i], ExpectedIndex(shape.colours[40 + 7 * (i / 6) + i % 6])) << i;
    }

    TestFailSurfaceOp(surface, TestSurfaceOp::GetDC, DDERR_SURFACELOST);
    EXPECT_EQ(DDRestoreBitmap(surface, "TILES"), DDERR_SURFACELOST);
    EXPECT_EQ(TestTakeDebugOutput(), Lines({"ddcopybitmap failed\n"}));
}

TEST_F(DDUtil, LoadBitmapMakesASurfaceOfTheBitmapsSize) {
    BitmapShape shape;
    shape.width = 12;
    shape.height = -3;
    shape.colours = OddColours();
    shape.pixel = [](int x, int y) { return uint32_t(200 + x + 12 * y) & 0xFF; };
    WriteFile("SHEET", BitmapFile(shape));
    const int surfacesBefore = TestGetLiveObjects().surfaces;

    LPDIRECTDRAWSURFACE7 surface = DDLoadBitmap(directDraw_, "SHEET", 0, 0);
    ASSERT_NE(surface, nullptr);
    surfaces_.push_back(surface);
    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    ASSERT_EQ(surface->GetSurfaceDesc(&ddsd), DD_OK);
    EXPECT_EQ(ddsd.dwWidth, 12u);
    EXPECT_EQ(ddsd.dwHeight, 3u);
    std::vector<BYTE> pixels = Pixels(surface);
    for (int i = 0; i < 36; ++i) {
        ASSERT_EQ(pixels[i], ExpectedIndex(shape.colours[(200 + i) & 0xFF])) << i;
    }

    EXPECT_EQ(DDLoadBitmap(directDraw_, "NOSUCHBITMAP", 0, 0), nullptr);
    TestFailDirectDrawOp(TestDirectDrawOp::CreateSurface, DDERR_OUTOFMEMORY);
    EXPECT_EQ(DDLoadBitmap(directDraw_, "SHEET", 0, 0), nullptr);
    EXPECT_EQ(TestGetLiveObjects().surfaces, surfacesBefore + 1);
    EXPECT_TRUE(TestTakeDebugOutput().empty());
}

// The palette file path: the colour table's bytes go straight into the entries.
TEST_F(DDUtil, PaletteFromAFileTakesItsColourTableAndKeepsDefaultsPastItsEnd) {
    const std::vector<TestColour> defaults = ThreeThreeTwo();
    auto isDefault = [&](const PALETTEENTRY& e, int i) {
        return e.peRed == defaults[i].red && e.peGreen == defaults[i].green && e.peBlue == defaults[i].blue &&
               e.peFlags == 0;
    };
    // Null name, missing file: the 3-3-2 colours throughout.
    for (LPCSTR name : {static_cast<LPCSTR>(nullptr), "NOSUCHBITMAP"}) {
        std::vector<PALETTEENTRY> entries = Palette(name);
        for (int i = 0; i < 256; ++i) {
            ASSERT_TRUE(isDefault(entries[i], i)) << i;
        }
    }

    BitmapShape full;
    full.colours = OddColours();
    std::vector<uint8_t> bytes = BitmapFile(full);
    for (int i = 0; i < 256; ++i) {
        bytes[54 + 4 * i + 3] = uint8_t(i ^ 0x5A);  // the reserved byte becomes the flags
    }
    WriteFile("FULL", bytes);
    std::vector<PALETTEENTRY> entries = Palette("FULL");
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = full.colours[i];
        ASSERT_EQ(entries[i].peRed, c >> 16) << i;
        ASSERT_EQ(entries[i].peGreen, (c >> 8) & 0xFF) << i;
        ASSERT_EQ(entries[i].peBlue, c & 0xFF) << i;
        ASSERT_EQ(entries[i].peFlags, i ^ 0x5A) << i;
    }

    // 16 colours: the first 16 exchanged; the rest are whatever bytes follow, the pixels among them.
    BitmapShape sixteen;
    sixteen.colourUsed = 16;
    sixteen.width = 64;
    sixteen.height = 16;
    sixteen.colours = OddColours();
    sixteen.pixel = [](int x, int y) { return uint32_t(x * 3 + y); };
    bytes = BitmapFile(sixteen);
    WriteFile("SIXTEEN", bytes);
    entries = Palette("SIXTEEN");
    for (int i = 0; i < 256; ++i) {
        const uint8_t* raw = bytes.data() + 54 + 4 * i;
        const bool exchanged = i < 16;
        ASSERT_EQ(entries[i].peRed, exchanged ? raw[2] : raw[0]) << i;
        ASSERT_EQ(entries[i].peGreen, raw[1]) << i;
        ASSERT_EQ(entries[i].peBlue, exchanged ? raw[0] : raw[2]) << i;
        ASSERT_EQ(entries[i].peFlags, raw[3]) << i;
    }

    // A longer header, or a depth without a colour table: nothing exchanged, raw bytes after byte 54.
    BitmapShape v4 = full;
    v4.headerSize = 108;
    BitmapShape deep;
    deep.bitCount = 24;
    deep.width = 40;
    deep.height = 10;
    deep.pixel = [](int x, int y) { return uint32_t(x * 0x10203 + y * 0x30201); };
    for (const BitmapShape& shape : {v4, deep}) {
        bytes = BitmapFile(shape);
        ASSERT_GE(bytes.size(), 54u + 1024u);
        WriteFile("RAW", bytes);
        entries = Palette("RAW");
        EXPECT_EQ(std::memcmp(entries.data(), bytes.data() + 54, 1024), 0) << shape.headerSize << " " << shape.bitCount;
    }

    // A file that ends inside its colour table: whole entries read are exchanged, a partial one keeps
    // its read bytes over the default, and everything after keeps the defaults.
    bytes = BitmapFile(full);
    bytes.resize(54 + 10 * 4 + 2);
    WriteFile("SHORT", bytes);
    entries = Palette("SHORT");
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(entries[i].peRed, full.colours[i] >> 16) << i;
        ASSERT_EQ(entries[i].peBlue, full.colours[i] & 0xFF) << i;
    }
    EXPECT_EQ(entries[10].peRed, bytes[54 + 40]);
    EXPECT_EQ(entries[10].peGreen, bytes[54 + 41]);
    EXPECT_EQ(entries[10].peBlue, defaults[10].blue);
    for (int i = 11; i < 256; ++i) {
        ASSERT_TRUE(isDefault(entries[i], i)) << i;
    }

    // Shorter than its headers: every entry default.
    bytes.resize(30);
    WriteFile("TINY", bytes);
    entries = Palette("TINY");
    for (int i = 0; i < 256; ++i) {
        ASSERT_TRUE(isDefault(entries[i], i)) << i;
    }
    EXPECT_TRUE(TestTakeDebugOutput().empty());
}

// The palette resource path: only the colour table the header describes, within the resource's size.
TEST_F(DDUtil, PaletteFromAResourceTakesTheColoursItsHeaderCounts) {
    const std::vector<TestColour> defaults = ThreeThreeTwo();
    auto check = [&](const char* name, int taken, const std::vector<uint32_t>& colours) {
        std::vector<PALETTEENTRY> entries = Palette(name);
        for (int i = 0; i < 256; ++i) {
            const bool fromTable = i < taken;
            ASSERT_EQ(entries[i].peRed, fromTable ? int(colours[i] >> 16) : defaults[i].red) << name << " " << i;
            ASSERT_EQ(entries[i].peGreen, fromTable ? int((colours[i] >> 8) & 0xFF) : defaults[i].green) << name << i;
            ASSERT_EQ(entries[i].peBlue, fromTable ? int(colours[i] & 0xFF) : defaults[i].blue) << name << " " << i;
            ASSERT_EQ(entries[i].peFlags, 0) << name << " " << i;
        }
    };
    BitmapShape full;
    full.colours = OddColours();
    std::vector<uint8_t> bytes = PackedBitmap(full);
    for (int i = 0; i < 256; ++i) {
        bytes[40 + 4 * i + 3] = 0xFF;  // reserved bytes do not become flags on this path
    }
    TestRegisterBitmapResource("FULL", bytes);
    check("FULL", 256, full.colours);
    full.colourUsed = 256;
    TestRegisterBitmapResource("FULL256", PackedBitmap(full));
    check("FULL256", 256, full.colours);

    BitmapShape sixteen = full;
    sixteen.colourUsed = 16;
    TestRegisterBitmapResource("SIXTEEN", PackedBitmap(sixteen));
    check("SIXTEEN", 16, full.colours);

    BitmapShape many = full;
    many.colourUsed = 300;
    TestRegisterBitmapResource("MANY", PackedBitmap(many));
    check("MANY", 256, full.colours);

    // The table starts biSize bytes in, wherever that is.
    BitmapShape v5 = full;
    v5.headerSize = 124;
    TestRegisterBitmapResource("V5", PackedBitmap(v5));
    check("V5", 256, full.colours);

    BitmapShape deep = full;
    deep.bitCount = 24;
    deep.tableEntries = 256;  // a table is there, but a 24-bit header does not count it
    TestRegisterBitmapResource("DEEP", PackedBitmap(deep));
    check("DEEP", 0, full.colours);

    bytes = PackedBitmap(full);
    PutLE(bytes, 0, 12, 4);
    TestRegisterBitmapResource("SHORTHEADER", bytes);
    check("SHORTHEADER", 0, full.colours);
    PutLE(bytes, 0, 0xFFFFFFF0u, 4);
    TestRegisterBitmapResource("HUGEHEADER", bytes);
    check("HUGEHEADER", 0, full.colours);

    // Cut inside its table: only whole entries within the resource are read.
    bytes = PackedBitmap(full);
    bytes.resize(40 + 10 * 4 + 3);
    TestRegisterBitmapResource("CUT", bytes);
    check("CUT", 10, full.colours);
    bytes.resize(39);
    TestRegisterBitmapResource("STUB", bytes);
    check("STUB", 0, full.colours);
    EXPECT_TRUE(TestTakeDebugOutput().empty());

    // A resource wins over a file of the same name.
    BitmapShape other = full;
    other.colours = {0x010203};
    WriteFile("SIXTEEN", BitmapFile(other));
    check("SIXTEEN", 16, full.colours);
}

TEST_F(DDUtil, PaletteFromAResourceThatCannotBeReachedSaysSo) {
    // A resource with no bytes at all: LoadResource has nothing to hand out.
    TestRegisterBitmapResource("EMPTY", {});
    std::vector<PALETTEENTRY> entries = Palette("EMPTY");
    EXPECT_EQ(TestTakeDebugOutput(), Lines({"lock resource failed\n"}));
    const std::vector<TestColour> defaults = ThreeThreeTwo();
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(entries[i].peRed, defaults[i].red);
        ASSERT_EQ(entries[i].peGreen, defaults[i].green);
        ASSERT_EQ(entries[i].peBlue, defaults[i].blue);
    }
}

TEST_F(DDUtil, BitmapsComeFromTheProgramsResourceBeforeAFile) {
    BitmapShape resource;
    resource.width = 5;
    resource.height = 2;
    resource.colours = OddColours();
    resource.pixel = [](int x, int y) { return uint32_t(100 + x + 5 * y); };
    TestRegisterBitmapResource("BOTH", PackedBitmap(resource));
    BitmapShape file = resource;
    file.width = 3;
    WriteFile("BOTH", BitmapFile(file));

    LPDIRECTDRAWSURFACE7 surface = DDLoadBitmap(directDraw_, "BOTH", 0, 0);
    ASSERT_NE(surface, nullptr);
    surfaces_.push_back(surface);
    std::vector<BYTE> pixels = Pixels(surface);
    ASSERT_EQ(pixels.size(), 10u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(pixels[i], ExpectedIndex(resource.colours[100 + i])) << i;
    }
    Put(surface, std::vector<BYTE>(10, 0));
    EXPECT_EQ(DDRestoreBitmap(surface, "BOTH"), DD_OK);
    EXPECT_EQ(Pixels(surface), pixels);

    // A broken resource falls through to the file, which here is smaller than the surface.
    std::vector<uint8_t> broken = PackedBitmap(resource);
    broken.resize(broken.size() - 1);
    TestRegisterBitmapResource("BOTH", broken);
    Put(surface, std::vector<BYTE>(10, 0));
    EXPECT_EQ(DDRestoreBitmap(surface, "BOTH"), DD_OK);
    pixels = Pixels(surface);
    EXPECT_EQ(pixels[0], ExpectedIndex(resource.colours[100]));  // 3 columns stretched over 5
    EXPECT_EQ(pixels[4], ExpectedIndex(resource.colours[102]));
    EXPECT_TRUE(TestTakeDebugOutput().empty());
}

TEST_F(DDUtil, PaletteCreationFailureGivesNull) {
    TestFailDirectDrawOp(TestDirectDrawOp::CreatePalette, DDERR_OUTOFMEMORY);
    EXPECT_EQ(DDLoadPalette(directDraw_, nullptr), nullptr);
    EXPECT_EQ(TestGetLiveObjects().palettes, 0);
}

TEST_F(DDUtil, MatchColorFindsTheIndexGdiWritesAndPutsThePixelBack) {
    LPDIRECTDRAWSURFACE7 surface = Surface(3, 2, 0);
    const std::vector<BYTE> picture = {77, 1, 2, 3, 4, 5};
    Put(surface, picture);
    EXPECT_EQ(DDMatchColor(surface, RGB(21, 141, 91)), DWORD(ExpectedIndex(0x158D5B)));
    EXPECT_EQ(DDMatchColor(surface, RGB(255, 255, 255)), 255u);
    EXPECT_EQ(Pixels(surface), picture);

    TestResetSurfaceCallCounts();
    EXPECT_EQ(DDMatchColor(surface, CLR_INVALID), 77u);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::GetDC), 0);
    EXPECT_EQ(Pixels(surface), picture);

    // A busy surface is asked again until it answers.
    TestResetSurfaceCallCounts();
    TestFailSurfaceOp(surface, TestSurfaceOp::Lock, DDERR_WASSTILLDRAWING, 5);
    EXPECT_EQ(DDMatchColor(surface, RGB(0, 0, 0)), 0u);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Lock), 6);
    EXPECT_EQ(Pixels(surface), picture);

    // A lock that fails otherwise gives CLR_INVALID; the pixel still goes back.
    TestFailSurfaceOp(surface, TestSurfaceOp::Lock, DDERR_SURFACELOST);
    EXPECT_EQ(DDMatchColor(surface, RGB(0, 0, 0)), CLR_INVALID);
    EXPECT_EQ(Pixels(surface), picture);
}

TEST_F(DDUtil, MatchColorKeepsOnlyThePixelsBitsOfTheFirstWord) {
    LPDIRECTDRAWSURFACE7 surface = Surface(4, 1, 0);
    Put(surface, {0xAB, 0xCD, 0xEF, 0x12});
    EXPECT_EQ(DDMatchColor(surface, CLR_INVALID), 0xABu);
    LPDIRECTDRAWSURFACE7 tiny = Surface(1, 1, 0xC4);
    EXPECT_EQ(DDMatchColor(tiny, CLR_INVALID), 0xC4u);
}

TEST_F(DDUtil, ApplyColorKeySetsTheMatchedValueAsTheSourceKey) {
    LPDIRECTDRAWSURFACE7 surface = Surface(2, 2, 0x91);
    EXPECT_EQ(DDApplyColorKey(surface, CLR_INVALID), DD_OK);
    DDCOLORKEY key = {};
    ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 0x91u);
    EXPECT_EQ(key.dwColorSpaceHighValue, 0x91u);

    EXPECT_EQ(DDApplyColorKey(surface, RGB(21, 141, 91)), DD_OK);
    ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, DWORD(ExpectedIndex(0x158D5B)));
    EXPECT_EQ(key.dwColorSpaceHighValue, DWORD(ExpectedIndex(0x158D5B)));

    TestFailSurfaceOp(surface, TestSurfaceOp::Lock, DDERR_SURFACELOST);
    EXPECT_EQ(DDApplyColorKey(surface, CLR_INVALID), DD_OK);
    ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 0xFFFFFFFFu);
    EXPECT_EQ(key.dwColorSpaceHighValue, 0xFFFFFFFFu);
}
