// DirectDraw on software surfaces: creation rules, reference counts, blits against an independent oracle,
// locks and DCs, loss and restore, palettes and the fault hooks.
#include "tests/harness.h"

#include <SDL.h>

#include <random>
#include <tuple>

namespace {

std::vector<BYTE> RandomPixels(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BYTE> pixels(count);
    for (BYTE& p : pixels) p = BYTE(random());
    return pixels;
}

// What a BltFast must leave in the destination, computed pixel by pixel from the source bytes; keys low..high.
std::vector<BYTE> ExpectedBlit(std::vector<BYTE> dest, int destWidth, const std::vector<BYTE>& source, int sourceWidth,
                               RECT rect, int x, int y, int low = 256, int high = 256) {
    for (int row = rect.top; row < rect.bottom; ++row) {
        for (int column = rect.left; column < rect.right; ++column) {
            const BYTE p = source[size_t(row) * sourceWidth + column];
            if (p < low || p > high) dest[size_t(y + row - rect.top) * destWidth + (x + column - rect.left)] = p;
        }
    }
    return dest;
}

DDSURFACEDESC2 Offscreen(DWORD width, DWORD height) {
    DDSURFACEDESC2 description = HarnessDescription(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN);
    description.dwWidth = width;
    description.dwHeight = height;
    return description;
}

DDSURFACEDESC2 Chain(DWORD backBuffers) {
    DDSURFACEDESC2 description =
        HarnessDescription(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    description.dwBackBufferCount = backBuffers;
    return description;
}

std::tuple<int, int, int> Colour(LPDIRECTDRAWPALETTE palette, DWORD index) {
    PALETTEENTRY e = {1, 2, 3, 4};
    EXPECT_EQ(palette->GetEntries(0, index, 1, &e), DD_OK);
    return {e.peRed, e.peGreen, e.peBlue};
}

DDBLTFX FillOf(DWORD colour) {
    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = colour;
    return fx;
}

// The DirectDraw object alone: what needs no window.
class DirectDrawObject : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectDrawCreateEx(NULL, (LPVOID*)&directDraw, IID_IDirectDraw7, NULL), DD_OK); }
    void TearDown() override {
        if (directDraw) directDraw->Release();
        EXPECT_EQ(HarnessLeaks(), "");
    }
    // The new surface, or null with *result; the out pointer is primed so that a refusal must clear it.
    LPDIRECTDRAWSURFACE7 Create(DDSURFACEDESC2 description, HRESULT* result = nullptr) {
        LPDIRECTDRAWSURFACE7 surface = reinterpret_cast<LPDIRECTDRAWSURFACE7>(1);
        const HRESULT r = directDraw->CreateSurface(&description, &surface, NULL);
        if (result) *result = r;
        return surface;
    }
    LPDIRECTDRAWSURFACE7 Create(DWORD width, DWORD height) { return Create(Offscreen(width, height)); }
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
    DDSURFACEDESC2 noHeight = Offscreen(10, 10), shortRecord = Offscreen(10, 10);
    noHeight.dwFlags &= ~DWORD(DDSD_HEIGHT);
    shortRecord.dwSize = 108;
    // No width, too tall, a gigabyte (which is not a bitmap), no height, a record too short.
    for (const DDSURFACEDESC2& d :
         {Offscreen(0, 10), Offscreen(10, 20000), Offscreen(16384, 16384), noHeight, shortRecord}) {
        HRESULT r = DD_OK;
        EXPECT_EQ(Create(d, &r), nullptr);
        EXPECT_EQ(r, DDERR_INVALIDPARAMS);
    }
    EXPECT_EQ(TestGetLiveObjects().surfaces, 0);

    LPDIRECTDRAWSURFACE7 surface = Create(3, 2);
    DDSURFACEDESC2 d = HarnessDescription();
    ASSERT_EQ(surface->GetSurfaceDesc(&d), DD_OK);
    EXPECT_EQ(std::make_tuple(d.dwWidth, d.dwHeight, d.lPitch, d.ddpfPixelFormat.dwRGBBitCount),
              std::make_tuple(3u, 2u, 4, 8u));
    EXPECT_TRUE(d.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8);
    EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_OFFSCREENPLAIN);
    EXPECT_EQ(surface->AddRef(), 2u);
    EXPECT_EQ(surface->Release(), 1u);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 1);
    EXPECT_EQ(surface->Release(), 0u);
}

TEST_F(DirectDrawObject, ThePrimaryNeedsACooperativeLevel) {
    HRESULT r = DD_OK;
    EXPECT_EQ(Create(Chain(1), &r), nullptr);
    EXPECT_EQ(r, DDERR_NOCOOPERATIVELEVELSET);
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);
    const HWND stranger = reinterpret_cast<HWND>(0x1234);
    const std::pair<HWND, DWORD> refused[] = {{NULL, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE},
                                              {stranger, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE},
                                              {stranger, DDSCL_NORMAL},
                                              {NULL, DDSCL_NORMAL | DDSCL_EXCLUSIVE}};
    for (const auto& [window, flags] : refused)
        EXPECT_EQ(directDraw->SetCooperativeLevel(window, flags), DDERR_INVALIDPARAMS) << window << " " << flags;
    ASSERT_EQ(directDraw->SetCooperativeLevel(NULL, DDSCL_NORMAL), DD_OK);
    EXPECT_EQ(Create(Chain(1), &r), nullptr);
    EXPECT_EQ(r, DDERR_NOEXCLUSIVEMODE);
}

TEST_F(DirectDrawObject, PixelStorageCoversTheFirstWordOfEvenTheSmallestSurface) {
    LPDIRECTDRAWSURFACE7 surface = Create(1, 1);
    DDSURFACEDESC2 d = HarnessDescription();
    ASSERT_EQ(surface->Lock(NULL, &d, 0, NULL), DD_OK);
    DWORD word = 0xFFFFFFFF;
    std::memcpy(&word, d.lpSurface, sizeof(word));  // the sanitizer build checks this read
    EXPECT_EQ(word & 0xFF, 0u);
    EXPECT_EQ(surface->Unlock(NULL), DD_OK);
    surface->Release();
}

TEST_F(DirectDrawObject, LockAndDeviceContextAreExclusive) {
    LPDIRECTDRAWSURFACE7 surface = Create(8, 4);
    DDSURFACEDESC2 d = HarnessDescription();
    RECT rect = {2, 1, 5, 3}, outside = {4, 0, 9, 4};
    ASSERT_EQ(surface->Lock(&rect, &d, 0, NULL), DD_OK);
    static_cast<BYTE*>(d.lpSurface)[0] = 77;
    EXPECT_EQ(surface->Lock(NULL, &d, 0, NULL), DDERR_SURFACEBUSY);
    HDC dc = NULL, second = NULL;
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACEBUSY);
    EXPECT_EQ(surface->Unlock(NULL), DD_OK);
    EXPECT_EQ(surface->Unlock(NULL), DDERR_NOTLOCKED);
    std::vector<BYTE> pixels = HarnessReadPixels(surface);
    ASSERT_EQ(pixels.size(), 32u);
    EXPECT_EQ(pixels[1 * 8 + 2], 77);  // the rect's corner, reached through the pitch
    EXPECT_EQ(surface->Lock(&outside, &d, 0, NULL), DDERR_INVALIDRECT);

    ASSERT_EQ(surface->GetDC(&dc), DD_OK);
    EXPECT_EQ(TestGetLiveObjects().dcs, 1);
    EXPECT_EQ(surface->GetDC(&second), DDERR_DCALREADYCREATED);
    EXPECT_EQ(surface->Lock(NULL, &d, 0, NULL), DDERR_SURFACEBUSY);
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
    const RECT whole = {0, 0, kSourceWidth, kSourceHeight};
    const struct {
        RECT rect;  // empty: a null rectangle, which is the whole source
        int x, y;
        DWORD flags, low, high;
    } cases[] = {
        {whole, 0, 0, DDBLTFAST_NOCOLORKEY, 0, 0},
        {{}, 4, 4, DDBLTFAST_NOCOLORKEY, 0, 0},
        {{5, 3, 30, 20}, 39, 31, DDBLTFAST_NOCOLORKEY, 0, 0},  // flush with the far corner
        {{5, 3, 30, 20}, 11, 7, DDBLTFAST_SRCCOLORKEY, 0x91, 0x91},
        {whole, 1, 2, DDBLTFAST_SRCCOLORKEY, 40, 200},
        {{1, 1, 2, 2}, 63, 47, DDBLTFAST_SRCCOLORKEY, 0, 0},
        {{0, 0, 7, 5}, 3, 3, DDBLTFAST_SRCCOLORKEY, 0xFFFFFFFF, 0xFFFFFFFF},  // a key no pixel can hold
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(HarnessWritePixels(dest, destPixels));
        DDCOLORKEY key = {c.low, c.high};
        ASSERT_EQ(source->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        RECT rect = c.rect;
        ASSERT_EQ(dest->BltFast(c.x, c.y, source, rect.right ? &rect : NULL, c.flags), DD_OK);
        const bool keyed = c.flags == DDBLTFAST_SRCCOLORKEY;
        EXPECT_EQ(HarnessReadPixels(dest),
                  ExpectedBlit(destPixels, kDestWidth, sourcePixels, kSourceWidth, rect.right ? rect : whole, c.x, c.y,
                               keyed ? int(std::min<DWORD>(c.low, 256)) : 256, int(std::min<DWORD>(c.high, 256))))
            << "rect " << rect.left << "," << rect.top << " at " << c.x << "," << c.y << " key " << c.low;
    }
    source->Release();
    dest->Release();
}

TEST_F(DirectDrawObject, BltFastWithinOneSurfaceReadsTheSourceBeforeWriting) {
    const std::vector<BYTE> pixels = RandomPixels(32 * 16, 3);
    LPDIRECTDRAWSURFACE7 surface = Create(32, 16);
    ASSERT_TRUE(HarnessWritePixels(surface, pixels));
    RECT rect = {0, 0, 20, 10};
    ASSERT_EQ(surface->BltFast(3, 2, surface, &rect, DDBLTFAST_NOCOLORKEY), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), ExpectedBlit(pixels, 32, pixels, 32, rect, 3, 2));
    surface->Release();
}

TEST_F(DirectDrawObject, RectanglesOutsideTheSurfacesAreRefusedWithNothingWritten) {
    const std::vector<BYTE> destPixels = RandomPixels(16 * 16, 4);
    LPDIRECTDRAWSURFACE7 source = Create(8, 8);
    LPDIRECTDRAWSURFACE7 dest = Create(16, 16);
    ASSERT_TRUE(HarnessWritePixels(source, RandomPixels(64, 5)));
    ASSERT_TRUE(HarnessWritePixels(dest, destPixels));
    const struct {
        RECT rect;
        DWORD x, y;
    } cases[] = {
        {{0, 0, 9, 8}, 0, 0},          {{-1, 0, 4, 4}, 0, 0},
        {{0, 0, 0, 4}, 0, 0},          {{4, 4, 2, 6}, 0, 0},
        {{0, 6, 4, 5}, 0, 0},          {{0, 0, 8, 8}, 9, 0},
        {{0, 0, 8, 8}, 0, 9},          {{0, 0, 1, 1}, 16, 0},
        {{0, 0, 1, 1}, 0xFFFFFFFF, 0}, {{0, 0, 2, 2}, 0x7FFFFFFF, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
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
    DDBLTFX fx = FillOf(0x1280);  // only the low byte is a pixel
    ASSERT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), std::vector<BYTE>(60, 0x80));
    fx.dwFillColor = 9;
    RECT rect = {2, 1, 5, 4}, outside = {8, 0, 11, 2};
    ASSERT_EQ(surface->Blt(&rect, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);
    std::vector<BYTE> expected(60, 0x80);
    for (int y = 1; y < 4; ++y)
        for (int x = 2; x < 5; ++x) expected[size_t(y) * 10 + x] = 9;
    EXPECT_EQ(HarnessReadPixels(surface), expected);
    EXPECT_EQ(surface->Blt(&outside, NULL, NULL, DDBLT_COLORFILL, &fx), DDERR_INVALIDRECT);
    EXPECT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_WAIT, &fx), DDERR_UNSUPPORTED);
    fx.dwSize = 96;
    EXPECT_EQ(surface->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DDERR_INVALIDPARAMS);
    EXPECT_EQ(HarnessReadPixels(surface), expected);
    surface->Release();
}

TEST_F(DirectDrawObject, ColourKeysAreKeptAsGiven) {
    LPDIRECTDRAWSURFACE7 surface = Create(4, 4);
    DDCOLORKEY key = {}, set = {145, 146};
    EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DDERR_NOCOLORKEY);
    ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, &set), DD_OK);
    ASSERT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    EXPECT_EQ(std::make_pair(key.dwColorSpaceLowValue, key.dwColorSpaceHighValue), std::make_pair(145u, 146u));
    EXPECT_EQ(surface->SetColorKey(0x40, &set), DDERR_INVALIDPARAMS);
    ASSERT_EQ(surface->SetColorKey(DDCKEY_SRCBLT, NULL), DD_OK);
    EXPECT_EQ(surface->GetColorKey(DDCKEY_SRCBLT, &key), DDERR_NOCOLORKEY);
    surface->Release();
}

TEST_F(DirectDrawObject, PalettesCopyTheirEntriesAndCheckRanges) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 3), 0};
    LPDIRECTDRAWPALETTE palette = nullptr, all = nullptr;
    EXPECT_EQ(directDraw->CreatePalette(0, entries, &palette, NULL), DDERR_INVALIDPARAMS);
    EXPECT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, NULL, &palette, NULL), DDERR_INVALIDPARAMS);
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, NULL), DD_OK);
    entries[7].peRed = 1;  // the palette took a copy
    PALETTEENTRY read[2] = {};
    ASSERT_EQ(palette->GetEntries(0, 6, 2, read), DD_OK);
    EXPECT_EQ(read[0].peGreen, 249);
    EXPECT_EQ(read[1].peRed, 7);
    EXPECT_EQ(palette->GetEntries(0, 255, 2, read), DDERR_INVALIDPARAMS);
    EXPECT_EQ(palette->SetEntries(0, 250, 10, entries), DDERR_INVALIDPARAMS);
    EXPECT_EQ(palette->SetEntries(0, 0xFFFFFFFF, 2, entries), DDERR_INVALIDPARAMS);
    // Without DDPCAPS_ALLOW256 the first and last entries stay black and white, whatever is set there.
    PALETTEENTRY red = {255, 0, 0, 0};
    EXPECT_EQ(Colour(palette, 0), std::make_tuple(0, 0, 0));
    ASSERT_EQ(palette->SetEntries(0, 255, 1, &red), DD_OK);
    EXPECT_EQ(Colour(palette, 255), std::make_tuple(255, 255, 255));
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &all, NULL), DD_OK);
    ASSERT_EQ(all->SetEntries(0, 255, 1, &red), DD_OK);
    EXPECT_EQ(Colour(all, 255), std::make_tuple(255, 0, 0));
    EXPECT_EQ(Colour(all, 0), std::make_tuple(0, 255, 0));
    all->Release();
    EXPECT_EQ(TestGetLiveObjects().palettes, 1);
    EXPECT_EQ(palette->Release(), 0u);
}

// With the window: the exclusive level, the mode and the flip chain.
class FlipChain : public HarnessTest {};

TEST_F(FlipChain, ModeAndChainFollowTheRules) {
    EXPECT_EQ(app.directDraw->SetDisplayMode(800, 600, 8, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(app.directDraw->SetDisplayMode(640, 480, 16, 0, 0), DDERR_INVALIDMODE);
    EXPECT_EQ(app.directDraw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
    DDSURFACEDESC2 description = Chain(1);
    LPDIRECTDRAWSURFACE7 second = nullptr;
    EXPECT_EQ(app.directDraw->CreateSurface(&description, &second, NULL), DDERR_PRIMARYSURFACEALREADYEXISTS);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(app.backBuffer->Flip(NULL, 0), DDERR_NOTFLIPPABLE);

    // Back buffer counts other than one are refused.
    app.primarySurface->Release();
    app.primarySurface = app.backBuffer = nullptr;
    for (DWORD count : {0u, 2u}) {
        description = Chain(count);
        EXPECT_EQ(app.directDraw->CreateSurface(&description, &second, NULL), DDERR_INVALIDPARAMS) << count;
    }
    EXPECT_EQ(TestGetLiveObjects().surfaces, 4) << "the four bitmap surfaces";
}

TEST_F(FlipChain, TheChainEndsWithThePrimaryAndHoldsItsPalette) {
    DDSCAPS2 caps = {DDSCAPS_BACKBUFFER, 0, 0, 0}, other = {DDSCAPS_OFFSCREENPLAIN, 0, 0, 0};
    LPDIRECTDRAWSURFACE7 again = nullptr;
    ASSERT_EQ(app.primarySurface->GetAttachedSurface(&caps, &again), DD_OK);
    EXPECT_EQ(again, app.backBuffer);
    EXPECT_EQ(again->Release(), 1u);  // the harness's reference from set-up remains
    EXPECT_EQ(app.primarySurface->GetAttachedSurface(&other, &again), DDERR_NOTFOUND);
    EXPECT_EQ(TestGetLiveObjects().surfaces, 6);

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
    EXPECT_EQ(TestGetLiveObjects().surfaces, 4);
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
    EXPECT_EQ(std::make_pair(frame.palette[200].peGreen, frame.palette[200].peBlue),
              std::make_pair(BYTE(100), BYTE(55)));
    ASSERT_EQ(app.primarySurface->SetPalette(NULL), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    frame = HarnessLastFrame();
    for (int i : {0, 1, 0x1F, 0x9A, 255}) {
        const PALETTEENTRY& e = frame.palette[i];
        EXPECT_EQ(std::make_tuple(int(e.peRed), int(e.peGreen), int(e.peBlue)),
                  std::make_tuple(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3))
            << i;
    }
    palette->Release();
}

TEST_F(FlipChain, LossTakesThePixelsAndRestoreGivesZeroedSurfacesBack) {
    LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(8, 8, RandomPixels(64, 6));
    DDBLTFX fx = FillOf(33);
    ASSERT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);
    TestLoseAllSurfaces();
    for (LPDIRECTDRAWSURFACE7 s : {app.primarySurface, app.backBuffer, surface})
        EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
    HDC dc = NULL;
    DDSURFACEDESC2 d = HarnessDescription();
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Lock(NULL, &d, 0, NULL), DDERR_SURFACELOST);
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
    for (int i = 0; i < 2; ++i) EXPECT_EQ(app.primarySurface->Restore(), DDERR_WRONGMODE);
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
