// DirectDraw on software surfaces: creation rules, reference counts, blits against an independent oracle,
// locks and DCs, loss and restore, palettes and the fault hooks.
#include "tests/harness.h"

#include <SDL.h>

#include <random>

namespace {

std::vector<BYTE> RandomPixels(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BYTE> pixels(count);
    for (BYTE& p : pixels) p = BYTE(random());
    return pixels;
}

// What a BltFast must leave in the destination, computed pixel by pixel from the source bytes.
std::vector<BYTE> ExpectedBlit(std::vector<BYTE> dest, int destWidth, const std::vector<BYTE>& source, int sourceWidth,
                               RECT rect, int x, int y, bool keyed, int low, int high) {
    for (int row = rect.top; row < rect.bottom; ++row) {
        for (int column = rect.left; column < rect.right; ++column) {
            const BYTE p = source[size_t(row) * sourceWidth + column];
            if (keyed && p >= low && p <= high) continue;
            dest[size_t(y + row - rect.top) * destWidth + (x + column - rect.left)] = p;
        }
    }
    return dest;
}

DDSURFACEDESC2 OffscreenDescription(DWORD width, DWORD height) {
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    description.dwWidth = width;
    description.dwHeight = height;
    return description;
}

DDSURFACEDESC2 ChainDescription(DWORD backBuffers) {
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    description.dwBackBufferCount = backBuffers;
    return description;
}

// The DirectDraw object alone: what needs no window.
class DirectDrawObject : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectDrawCreateEx(NULL, (LPVOID*)&directDraw, IID_IDirectDraw7, NULL), DD_OK); }
    void TearDown() override {
        if (directDraw) directDraw->Release();
        EXPECT_EQ(HarnessLeaks(), "");
    }
    LPDIRECTDRAWSURFACE7 Create(DWORD width, DWORD height, HRESULT* result = nullptr) {
        DDSURFACEDESC2 description = OffscreenDescription(width, height);
        LPDIRECTDRAWSURFACE7 surface = reinterpret_cast<LPDIRECTDRAWSURFACE7>(1);
        const HRESULT r = directDraw->CreateSurface(&description, &surface, NULL);
        if (result) *result = r;
        return surface;
    }
    IDirectDraw7* directDraw = nullptr;
};

TEST(DirectDrawCreate, RefusesAWrongInterfaceOrNoOutPointer) {
    const GUID other = {0x6c14db80, 0xa733, 0x11ce, {0xa5, 0x21, 0x00, 0x20, 0xaf, 0x0b, 0xe5, 0x60}};
    LPVOID object = reinterpret_cast<LPVOID>(1);
    EXPECT_EQ(DirectDrawCreateEx(NULL, &object, other, NULL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(DirectDrawCreateEx(NULL, NULL, IID_IDirectDraw7, NULL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(TestGetLiveObjects().directDraws, 0);

    ASSERT_EQ(DirectDrawCreateEx(NULL, &object, IID_IDirectDraw7, NULL), DD_OK);
    EXPECT_EQ(TestGetLiveObjects().directDraws, 1);
    IDirectDraw7* directDraw = static_cast<IDirectDraw7*>(object);
    EXPECT_EQ(directDraw->AddRef(), 2u);
    EXPECT_EQ(directDraw->Release(), 1u);
    EXPECT_EQ(directDraw->Release(), 0u);
    EXPECT_EQ(TestGetLiveObjects().directDraws, 0);
}

TEST_F(DirectDrawObject, OffscreenSurfacesHaveSaneLimitsAndDescribeThemselves) {
    HRESULT r = DD_OK;
    EXPECT_EQ(Create(0, 10, &r), nullptr);
    EXPECT_EQ(r, DDERR_INVALIDPARAMS);
    EXPECT_EQ(Create(10, 20000, &r), nullptr);
    EXPECT_EQ(r, DDERR_INVALIDPARAMS);
    EXPECT_EQ(Create(16384, 16384, &r), nullptr);  // a gigabyte is not a bitmap
    EXPECT_EQ(r, DDERR_INVALIDPARAMS);
    DDSURFACEDESC2 noHeight = OffscreenDescription(10, 10);
    noHeight.dwFlags &= ~DWORD(DDSD_HEIGHT);
    LPDIRECTDRAWSURFACE7 surface = nullptr;
    EXPECT_EQ(directDraw->CreateSurface(&noHeight, &surface, NULL), DDERR_INVALIDPARAMS);
    DDSURFACEDESC2 shortRecord = OffscreenDescription(10, 10);
    shortRecord.dwSize = 108;
    EXPECT_EQ(directDraw->CreateSurface(&shortRecord, &surface, NULL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 0);

    surface = Create(3, 2, &r);
    ASSERT_EQ(r, DD_OK);
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    ASSERT_EQ(surface->GetSurfaceDesc(&description), DD_OK);
    EXPECT_EQ(description.dwWidth, 3u);
    EXPECT_EQ(description.dwHeight, 2u);
    EXPECT_EQ(description.lPitch, 4);
    EXPECT_EQ(description.ddpfPixelFormat.dwRGBBitCount, 8u);
    EXPECT_TRUE(description.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
    EXPECT_TRUE(description.ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN);
    EXPECT_EQ(surface->AddRef(), 2u);
    EXPECT_EQ(surface->Release(), 1u);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 1);
    EXPECT_EQ(surface->Release(), 0u);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 0);
}

TEST_F(DirectDrawObject, ThePrimaryNeedsACooperativeLevel) {
    DDSURFACEDESC2 description = ChainDescription(1);
    LPDIRECTDRAWSURFACE7 surface = nullptr;
    EXPECT_EQ(directDraw->CreateSurface(&description, &surface, NULL), DDERR_NOCOOPERATIVELEVELSET);
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(directDraw->SetCooperativeLevel(NULL, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->SetCooperativeLevel(reinterpret_cast<HWND>(0x1234), DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->SetCooperativeLevel(reinterpret_cast<HWND>(0x1234), DDSCL_NORMAL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->SetCooperativeLevel(NULL, DDSCL_NORMAL | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
    ASSERT_EQ(directDraw->SetCooperativeLevel(NULL, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(directDraw->CreateSurface(&description, &surface, NULL), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(surface, nullptr);
}

TEST_F(DirectDrawObject, PixelStorageCoversTheFirstWordOfEvenTheSmallestSurface) {
    LPDIRECTDRAWSURFACE7 surface = Create(1, 1);
    ASSERT_NE(surface, nullptr);
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    ASSERT_EQ(surface->Lock(NULL, &description, 0, NULL), DD_OK);
    DWORD word = 0xFFFFFFFF;
    std::memcpy(&word, description.lpSurface, sizeof(word));  // the sanitizer build checks this read
    EXPECT_EQ(word & 0xFF, 0u);
    EXPECT_EQ(surface->Unlock(NULL), DD_OK);
    surface->Release();
}

TEST_F(DirectDrawObject, LockAndDeviceContextAreExclusive) {
    LPDIRECTDRAWSURFACE7 surface = Create(8, 4);
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    RECT rect = {2, 1, 5, 3};
    ASSERT_EQ(surface->Lock(&rect, &description, 0, NULL), DD_OK);
    static_cast<BYTE*>(description.lpSurface)[0] = 77;
    EXPECT_EQ(surface->Lock(NULL, &description, 0, NULL), DDERR_SURFACEBUSY);
    HDC dc = NULL;
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACEBUSY);
    EXPECT_EQ(surface->Unlock(NULL), DD_OK);
    EXPECT_EQ(surface->Unlock(NULL), DDERR_NOTLOCKED);
    std::vector<BYTE> pixels = HarnessReadPixels(surface);
    ASSERT_EQ(pixels.size(), 32u);
    EXPECT_EQ(pixels[1 * 8 + 2], 77);  // the rect's corner, reached through the pitch

    RECT outside = {4, 0, 9, 4};
    EXPECT_EQ(surface->Lock(&outside, &description, 0, NULL), DDERR_INVALIDRECT);

    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    EXPECT_EQ(TestGetLiveObjects().dcs, 1);
    HDC second = NULL;
    EXPECT_EQ(surface->GetDC(&second), DDERR_DCALREADYCREATED);
    EXPECT_EQ(surface->Lock(NULL, &description, 0, NULL), DDERR_SURFACEBUSY);
    EXPECT_EQ(surface->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
    EXPECT_EQ(surface->ReleaseDC(dc), DDERR_NODC);

    // A surface released with its DC still out takes the DC with it.
    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    surface->Release();
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
}

TEST_F(DirectDrawObject, BltFastCopiesExactlyWithAndWithoutTheSourceKey) {
    constexpr int kSourceWidth = 37, kSourceHeight = 23, kDestWidth = 64, kDestHeight = 48;
    const std::vector<BYTE> sourcePixels = RandomPixels(kSourceWidth * kSourceHeight, 1);
    const std::vector<BYTE> destPixels = RandomPixels(kDestWidth * kDestHeight, 2);
    LPDIRECTDRAWSURFACE7 source = Create(kSourceWidth, kSourceHeight);
    LPDIRECTDRAWSURFACE7 dest = Create(kDestWidth, kDestHeight);
    ASSERT_TRUE(HarnessWritePixels(source, sourcePixels));

    struct Case {
        RECT rect;
        int x, y;
        DWORD flags;
        DWORD low, high;
    } cases[] = {
        {{0, 0, kSourceWidth, kSourceHeight}, 0, 0, DDBLTFAST_NOCOLORKEY, 0, 0},
        {{5, 3, 30, 20}, 39, 31, DDBLTFAST_NOCOLORKEY, 0, 0},  // flush with the far corner
        {{5, 3, 30, 20}, 11, 7, DDBLTFAST_SRCCOLORKEY, 0x91, 0x91},
        {{0, 0, kSourceWidth, kSourceHeight}, 1, 2, DDBLTFAST_SRCCOLORKEY, 40, 200},
        {{1, 1, 2, 2}, 63, 47, DDBLTFAST_SRCCOLORKEY, 0, 0},
        {{0, 0, 7, 5}, 3, 3, DDBLTFAST_SRCCOLORKEY, 0xFFFFFFFF, 0xFFFFFFFF},  // a key no pixel can hold
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(HarnessWritePixels(dest, destPixels));
        ASSERT_TRUE(HarnessSetSourceKey(source, c.low, c.high));
        RECT rect = c.rect;
        ASSERT_EQ(dest->BltFast(c.x, c.y, source, &rect, c.flags), DD_OK);
        const bool keyed = c.flags == DDBLTFAST_SRCCOLORKEY && c.low <= 255;
        EXPECT_EQ(HarnessReadPixels(dest), ExpectedBlit(destPixels, kDestWidth, sourcePixels, kSourceWidth, c.rect, c.x,
                                                        c.y, keyed, int(c.low), int(std::min<DWORD>(c.high, 255))))
            << "rect " << c.rect.left << "," << c.rect.top << " at " << c.x << "," << c.y << " key " << c.low;
    }

    // A null rectangle is the whole source.
    ASSERT_TRUE(HarnessWritePixels(dest, destPixels));
    ASSERT_EQ(dest->BltFast(4, 4, source, NULL, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(HarnessReadPixels(dest), ExpectedBlit(destPixels, kDestWidth, sourcePixels, kSourceWidth,
                                                    {0, 0, kSourceWidth, kSourceHeight}, 4, 4, false, 0, 0));
    source->Release();
    dest->Release();
}

TEST_F(DirectDrawObject, BltFastWithinOneSurfaceReadsTheSourceBeforeWriting) {
    const std::vector<BYTE> pixels = RandomPixels(32 * 16, 3);
    LPDIRECTDRAWSURFACE7 surface = Create(32, 16);
    ASSERT_TRUE(HarnessWritePixels(surface, pixels));
    RECT rect = {0, 0, 20, 10};
    ASSERT_EQ(surface->BltFast(3, 2, surface, &rect, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), ExpectedBlit(pixels, 32, pixels, 32, rect, 3, 2, false, 0, 0));
    surface->Release();
}

TEST_F(DirectDrawObject, RectanglesOutsideTheSurfacesAreRefusedWithNothingWritten) {
    const std::vector<BYTE> destPixels = RandomPixels(16 * 16, 4);
    LPDIRECTDRAWSURFACE7 source = Create(8, 8);
    LPDIRECTDRAWSURFACE7 dest = Create(16, 16);
    ASSERT_TRUE(HarnessWritePixels(source, RandomPixels(64, 5)));
    ASSERT_TRUE(HarnessWritePixels(dest, destPixels));
    struct Case {
        RECT rect;
        DWORD x, y;
    } cases[] = {
        {{0, 0, 9, 8}, 0, 0},          {{-1, 0, 4, 4}, 0, 0},
        {{0, 0, 0, 4}, 0, 0},          {{4, 4, 2, 6}, 0, 0},
        {{0, 6, 4, 5}, 0, 0},          {{0, 0, 8, 8}, 9, 0},
        {{0, 0, 8, 8}, 0, 9},          {{0, 0, 1, 1}, 16, 0},
        {{0, 0, 1, 1}, 0xFFFFFFFF, 0}, {{0, 0, 2, 2}, 0x7FFFFFFF, 0x7FFFFFFF},
    };
    for (const Case& c : cases) {
        RECT rect = c.rect;
        EXPECT_EQ(dest->BltFast(c.x, c.y, source, &rect, DDBLTFAST_NOCOLORKEY), DDERR_INVALIDRECT)
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom << " at " << c.x << "," << c.y;
    }
    EXPECT_EQ(HarnessReadPixels(dest), destPixels);
    EXPECT_EQ(dest->BltFast(0, 0, NULL, NULL, 0), DDERR_INVALIDPARAMS);
    source->Release();
    dest->Release();
}

TEST_F(DirectDrawObject, ColourFillCoversTheSurfaceOrTheRectangle) {
    LPDIRECTDRAWSURFACE7 surface = Create(10, 6);
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 0x1280;  // only the low byte is a pixel
    ASSERT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), std::vector<BYTE>(60, 0x80));

    fx.dwFillColor = 9;
    RECT rect = {2, 1, 5, 4};
    ASSERT_EQ(surface->Blt(&rect, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);
    std::vector<BYTE> expected(60, 0x80);
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 5; ++x) expected[size_t(y) * 10 + x] = 9;
    EXPECT_EQ(HarnessReadPixels(surface), expected);

    RECT outside = {8, 0, 11, 2};
    EXPECT_EQ(surface->Blt(&outside, NULL, NULL, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
    EXPECT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_WAIT, &fx), DDERR_UNSUPPORTED);
    fx.dwSize = 96;
    EXPECT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
    EXPECT_EQ(HarnessReadPixels(surface), expected);
    surface->Release();
}

TEST_F(DirectDrawObject, ColourKeysAreKeptAsGiven) {
    LPDIRECTDRAWSURFACE7 surface = Create(4, 4);
    DDCOLORKEY key = {};
    EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DDERR_NOCOLORKEY);
    DDCOLORKEY set = {145, 145};
    ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, &set), DD_OK);
    ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(key.dwColorSpaceLowValue, 145u);
    EXPECT_EQ(key.dwColorSpaceHighValue, 145u);
    EXPECT_EQ(surface->SetColorKey(0x40, &set), DDERR_INVALIDPARAMS);
    ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, NULL), DD_OK);
    EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DDERR_NOCOLORKEY);
    surface->Release();
}

TEST_F(DirectDrawObject, PalettesCopyTheirEntriesAndCheckRanges) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 3), 0};
    LPDIRECTDRAWPALETTE palette = nullptr;
    EXPECT_EQ(directDraw->CreatePalette(0, entries, &palette, NULL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, NULL, &palette, NULL), DDERR_INVALIDPARAMS);
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, NULL), DD_OK);
    entries[7].peRed = 1;  // the palette took a copy

    PALETTEENTRY read[4] = {};
    ASSERT_EQ(palette->GetEntries(0, 6, 2, read), DD_OK);
    EXPECT_EQ(read[0].peGreen, 249);
    EXPECT_EQ(read[1].peRed, 7);
    EXPECT_EQ(palette->GetEntries(0, 255, 2, read), DDERR_INVALIDPARAMS);
    EXPECT_EQ(palette->SetEntries(0, 250, 10, entries), DDERR_INVALIDPARAMS);
    EXPECT_EQ(palette->SetEntries(0, 0xFFFFFFFF, 2, entries), DDERR_INVALIDPARAMS);
    // Without DDPCAPS_ALLOW256 the first and last entries stay black and white, whatever is set there.
    ASSERT_EQ(palette->GetEntries(0, 0, 1, read), DD_OK);
    EXPECT_EQ(read[0].peRed + read[0].peGreen + read[0].peBlue, 0);
    PALETTEENTRY red = {255, 0, 0, 0};
    ASSERT_EQ(palette->SetEntries(0, 255, 1, &red), DD_OK);
    ASSERT_EQ(palette->GetEntries(0, 255, 1, read), DD_OK);
    EXPECT_EQ(read[0].peRed, 255);
    EXPECT_EQ(read[0].peBlue, 255);
    LPDIRECTDRAWPALETTE all = nullptr;
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &all, NULL), DD_OK);
    ASSERT_EQ(all->SetEntries(0, 255, 1, &red), DD_OK);
    ASSERT_EQ(all->GetEntries(0, 255, 1, read), DD_OK);
    EXPECT_EQ(read[0].peBlue, 0);
    ASSERT_EQ(all->GetEntries(0, 0, 1, read), DD_OK);
    EXPECT_EQ(read[0].peBlue, 0);
    EXPECT_EQ(read[0].peRed, 0);
    EXPECT_EQ(read[0].peGreen, 255);
    all->Release();
    EXPECT_EQ(TestGetLiveObjects().palettes, 1);
    EXPECT_EQ(palette->Release(), 0u);
    EXPECT_EQ(TestGetLiveObjects().palettes, 0);
}

TEST_F(DirectDrawObject, InjectedFaultsCountDownAndEveryCallIsCounted) {
    LPDIRECTDRAWSURFACE7 surface = Create(4, 4);
    ASSERT_TRUE(TestFailSurfaceOp(surface, TestSurfaceOp::BltFast, DDERR_WASSTILLDRAWING, 2));
    EXPECT_EQ(surface->BltFast(0, 0, surface, NULL, 0), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(surface->BltFast(0, 0, surface, NULL, 0), DDERR_WASSTILLDRAWING);
    EXPECT_EQ(surface->BltFast(0, 0, surface, NULL, 0), DD_OK);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::BltFast), 3);

    ASSERT_TRUE(TestFailSurfaceOp(surface, TestSurfaceOp::Restore, DDERR_WRONGMODE, kTestUntilCleared));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(surface->Restore(), DDERR_WRONGMODE);
    TestClearDisplayHooks();
    EXPECT_EQ(surface->Restore(), DD_OK);
    EXPECT_EQ(TestSurfaceCallCount(surface, TestSurfaceOp::Restore), 1);

    TestFailDirectDrawOp(TestDirectDrawOp::CreateSurface, DDERR_OUTOFMEMORY, 1, 1);
    HRESULT r = DD_OK;
    LPDIRECTDRAWSURFACE7 first = Create(2, 2, &r);
    EXPECT_EQ(r, DD_OK);
    EXPECT_EQ(Create(2, 2, &r), nullptr);
    EXPECT_EQ(r, DDERR_OUTOFMEMORY);
    LPDIRECTDRAWSURFACE7 third = Create(2, 2, &r);
    EXPECT_EQ(r, DD_OK);
    EXPECT_EQ(TestDirectDrawCallCount(TestDirectDrawOp::CreateSurface), 3);
    first->Release();
    third->Release();
    surface->Release();
    EXPECT_FALSE(TestFailSurfaceOp(surface, TestSurfaceOp::Flip, E_FAIL));
}

// With the window: the exclusive level, the mode and the flip chain.
class FlipChain : public HarnessTest {};

TEST_F(FlipChain, ModeAndChainFollowTheRules) {
    EXPECT_EQ(app.directDraw->SetDisplayMode(800, 600, 8, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(app.directDraw->SetDisplayMode(640, 480, 16, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(app.directDraw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);

    DDSURFACEDESC2 description = ChainDescription(1);
    LPDIRECTDRAWSURFACE7 second = nullptr;
    EXPECT_EQ(app.directDraw->CreateSurface(&description, &second, NULL), DDERR_PRIMARYSURFACEALREADYEXISTS);
    EXPECT_EQ(second, nullptr);

    DDSURFACEDESC2 front = {};
    front.dwSize = sizeof(front);
    ASSERT_EQ(app.primarySurface->GetSurfaceDesc(&front), DD_OK);
    EXPECT_EQ(front.dwWidth, 640u);
    EXPECT_EQ(front.dwHeight, 480u);
    EXPECT_EQ(front.dwBackBufferCount, 1u);
    EXPECT_TRUE(front.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
    DDSURFACEDESC2 back = {};
    back.dwSize = sizeof(back);
    ASSERT_EQ(app.backBuffer->GetSurfaceDesc(&back), DD_OK);
    EXPECT_TRUE(back.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER);
    EXPECT_EQ(app.backBuffer->Flip(NULL, 0), DDERR_NOTFLIPPABLE);
}

TEST_F(FlipChain, BackBufferCountsOtherThanOneAreRefused) {
    app.primarySurface->Release();
    app.primarySurface = app.backBuffer = nullptr;
    for (DWORD count : {0u, 2u}) {
        DDSURFACEDESC2 description = ChainDescription(count);
        LPDIRECTDRAWSURFACE7 surface = nullptr;
        EXPECT_EQ(app.directDraw->CreateSurface(&description, &surface, NULL), DDERR_INVALIDPARAMS) << count;
    }
    EXPECT_EQ(TestGetLiveObjects().surfaces, 0);
}

TEST_F(FlipChain, TheChainEndsWithThePrimaryAndHoldsItsPalette) {
    DDSCAPS2 caps = {DDSCAPS_BACKBUFFER, 0, 0, 0};
    LPDIRECTDRAWSURFACE7 again = nullptr;
    ASSERT_EQ(app.primarySurface->GetAttachedSurface(&caps, &again), DD_OK);
    EXPECT_EQ(again, app.backBuffer);
    EXPECT_EQ(again->Release(), 1u);  // the harness's reference from set-up remains
    DDSCAPS2 other = {DDSCAPS_OFFSCREENPLAIN, 0, 0, 0};
    EXPECT_EQ(app.primarySurface->GetAttachedSurface(&other, &again), DDERR_NOTFOUND);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 2);

    // The palette stays alive while attached, whoever else lets go of it.
    EXPECT_EQ(app.palette->Release(), 1u);
    app.palette = nullptr;
    EXPECT_EQ(TestGetLiveObjects().palettes, 1);
    LPDIRECTDRAWPALETTE attached = nullptr;
    ASSERT_EQ(app.primarySurface->GetPalette(&attached), DD_OK);
    EXPECT_EQ(attached->Release(), 1u);

    LPDIRECTDRAWSURFACE7 back = app.backBuffer;
    EXPECT_EQ(app.primarySurface->Release(), 0u);
    app.primarySurface = app.backBuffer = nullptr;
    EXPECT_EQ(TestGetLiveObjects().surfaces, 0);
    EXPECT_EQ(TestGetLiveObjects().palettes, 0);
    EXPECT_EQ(back->IsLost(), DDERR_INVALIDOBJECT);  // a dead interface is refused, not followed
}

TEST_F(FlipChain, TheDisplayPaletteIsTheAttachedOneElseThreeThreeTwo) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(i / 2), BYTE(255 - i), 0};
    LPDIRECTDRAWPALETTE palette = nullptr;
    ASSERT_EQ(app.directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, NULL), DD_OK);
    ASSERT_EQ(app.primarySurface->SetPalette(palette), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    TestFrame frame = HarnessLastFrame();
    ASSERT_EQ(frame.indices.size(), 640u * 480u);
    EXPECT_EQ(frame.palette[200].peGreen, 100);
    EXPECT_EQ(frame.palette[200].peBlue, 55);

    ASSERT_EQ(app.primarySurface->SetPalette(NULL), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    frame = HarnessLastFrame();
    for (int i : {0, 1, 0x1F, 0x9A, 255}) {
        EXPECT_EQ(frame.palette[i].peRed, ((i >> 5) & 7) * 255 / 7) << i;
        EXPECT_EQ(frame.palette[i].peGreen, ((i >> 2) & 7) * 255 / 7) << i;
        EXPECT_EQ(frame.palette[i].peBlue, (i & 3) * 255 / 3) << i;
    }
    palette->Release();
}

TEST_F(FlipChain, LossTakesThePixelsAndRestoreGivesZeroedSurfacesBack) {
    LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(8, 8, RandomPixels(64, 6));
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 33;
    ASSERT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);

    TestLoseAllSurfaces();
    for (LPDIRECTDRAWSURFACE7 s : {app.primarySurface, app.backBuffer, surface})
        EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
    HDC dc = NULL;
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Lock(NULL, &description, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(app.backBuffer->BltFast(0, 0, surface, NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DDERR_SURFACELOST);
    EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DDERR_SURFACELOST);

    // Restoring the primary restores its chain; other surfaces are restored one by one.
    ASSERT_EQ(app.primarySurface->Restore(), DD_OK);
    EXPECT_EQ(app.backBuffer->IsLost(), DD_OK);
    EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    ASSERT_EQ(surface->Restore(), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), std::vector<BYTE>(64, 0));
    surface->Release();
}

TEST_F(FlipChain, AMinimisedWindowKeepsTheSurfacesLostUntilItIsRestored) {
    TestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    TestPumpEvents();
    EXPECT_EQ(app.backBuffer->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(app.primarySurface->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(app.primarySurface->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(app.backBuffer->IsLost(), DDERR_SURFACELOST);

    TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    TestPumpEvents();
    EXPECT_EQ(app.primarySurface->Restore(), DD_OK);
    EXPECT_EQ(app.backBuffer->IsLost(), DD_OK);
}

TEST_F(FlipChain, ARendererResetLosesEverySurfaceAndPresentsAgainAfterRestore) {
    SDL_Event event = {};
    event.type = SDL_RENDER_DEVICE_RESET;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
    TestPumpEvents();
    EXPECT_EQ(app.primarySurface->IsLost(), DDERR_SURFACELOST);
    ASSERT_EQ(app.primarySurface->Restore(), DD_OK);
    const uint32_t before = TestPresentCount();
    EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(TestPresentCount(), before + 1);
}

}  // namespace
