// DirectDraw on software surfaces and its presentation: blits against an independent oracle, the reserved
// palette entries, the flip chain and its palette, loss and restore, the scaling rule and the window's picture.
#include "tests/harness.h"

#include "platform/src/platform.h"

#include <SDL.h>

#include <cstring>
#include <functional>
#include <random>
#include <tuple>

namespace {

std::vector<BYTE> RandomPixels(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<BYTE> pixels(count);
    for (BYTE& p : pixels) p = BYTE(random());
    return pixels;
}

std::tuple<int, int, int> Colour(const PALETTEENTRY& e) { return {e.peRed, e.peGreen, e.peBlue}; }

// The DirectDraw object alone: what needs no window.
class DirectDrawObject : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(DirectDrawCreateEx(NULL, (LPVOID*)&directDraw, IID_IDirectDraw7, NULL), DD_OK); }
    void TearDown() override {
        for (LPDIRECTDRAWSURFACE7 s : surfaces) s->Release();
        directDraw->Release();
        EXPECT_EQ(HarnessLeaks(), "");
    }
    Image Create(int width, int height, unsigned seed, LPDIRECTDRAWSURFACE7* surface) {
        DDSURFACEDESC2 d = HarnessDescription(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN);
        d.dwWidth = DWORD(width), d.dwHeight = DWORD(height);
        EXPECT_EQ(directDraw->CreateSurface(&d, surface, NULL), DD_OK);
        surfaces.push_back(*surface);
        Image image{width, height, RandomPixels(size_t(width) * height, seed)};
        EXPECT_TRUE(HarnessWritePixels(*surface, image.pixels));
        return image;
    }
    IDirectDraw7* directDraw = nullptr;
    std::vector<LPDIRECTDRAWSURFACE7> surfaces;
};

TEST_F(DirectDrawObject, BltFastCopiesExactlyWithAndWithoutTheSourceKeyRange) {
    LPDIRECTDRAWSURFACE7 source, dest;
    const Image from = Create(37, 23, 1, &source), to = Create(64, 48, 2, &dest);
    const RECT whole = {0, 0, 37, 23};
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
        ASSERT_TRUE(HarnessWritePixels(dest, to.pixels));
        DDCOLORKEY key = {c.low, c.high};
        ASSERT_EQ(source->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        RECT rect = c.rect;
        ASSERT_EQ(dest->BltFast(c.x, c.y, source, rect.right ? &rect : NULL, c.flags), DD_OK);
        Image expected = to;
        const bool keyed = c.flags == DDBLTFAST_SRCCOLORKEY;
        Paste(expected, c.x, c.y, from, rect.right ? rect : whole, keyed ? c.low : 256, keyed ? c.high : 256);
        EXPECT_EQ(HarnessReadPixels(dest), expected.pixels) << "at " << c.x << "," << c.y << " key " << c.low;
    }
}

// A page filled whole, or copied over whole, remembers where it has been written since, and the same fill or copy
// again rewrites only there; a source blitted with its key again and again remembers where the key lets pixels
// through. Each way of writing a surface must be seen by both, or a stale pixel outlives the fill or the copy, or a
// keyed copy misses a new one.
TEST_F(DirectDrawObject, EveryWayOfWritingIsSeenByTheNextWholeFillAndTheNextKeyedCopy) {
    constexpr int kW = 300, kH = 20;
    // Opaque islands, short and far apart, on the key 0; the writes below land in the gap between the first two.
    std::vector<BYTE> islands(size_t(kW) * kH, 0);
    for (int y = 0; y < kH; ++y) {
        for (int x : {0, 1, 2, 150, 151, 152}) islands[size_t(y) * kW + x] = BYTE(1 + x % 7);
        for (int x = 290; x < kW; ++x) islands[size_t(y) * kW + x] = BYTE(x - 280);
    }
    LPDIRECTDRAWSURFACE7 page, source, dest, other, background;
    Create(kW, kH, 1, &page);
    const Image backgroundBefore = Create(kW, kH, 5, &background);
    Create(kW, kH, 2, &source);
    const Image destBefore = Create(kW, kH, 3, &dest);
    Create(kW, kH, 4, &other);
    const RECT gap = {40, 2, 60, 10};
    const auto fill = [](LPDIRECTDRAWSURFACE7 s, const RECT* rect, DWORD value) {
        DDBLTFX fx = {};
        fx.dwSize = sizeof fx;
        fx.dwFillColor = value;
        RECT r = rect ? *rect : RECT{};
        return s->Blt(rect ? &r : NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    };
    const auto withDC = [](LPDIRECTDRAWSURFACE7 s, const std::function<void(HDC)>& draw) {
        HDC dc = NULL;
        ASSERT_EQ(s->GetDC(&dc), DD_OK);
        draw(dc);
        ASSERT_EQ(s->ReleaseDC(dc), DD_OK);
    };
    const struct {
        const char* name;
        std::function<void(LPDIRECTDRAWSURFACE7)> write;
    } writes[] = {
        {"keyed BltFast",
         [&](LPDIRECTDRAWSURFACE7 s) {
             DDCOLORKEY key = {0x80, 0xFF};
             ASSERT_EQ(other->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
             RECT from = {0, 0, 20, 8};
             for (int i = 0; i < 3; ++i) ASSERT_EQ(s->BltFast(40, 2, other, &from, DDBLTFAST_SRCCOLORKEY), DD_OK);
         }},
        {"BltFast",
         [&](LPDIRECTDRAWSURFACE7 s) { ASSERT_EQ(s->BltFast(40, 2, other, const_cast<RECT*>(&gap), 0), DD_OK); }},
        {"colour fill of a part", [&](LPDIRECTDRAWSURFACE7 s) { ASSERT_EQ(fill(s, &gap, 9), DD_OK); }},
        {"Lock of a part",
         [&](LPDIRECTDRAWSURFACE7 s) {
             DDSURFACEDESC2 d = HarnessDescription();
             RECT r = gap;
             ASSERT_EQ(s->Lock(&r, &d, DDLOCK_WAIT, NULL), DD_OK);
             static_cast<BYTE*>(d.lpSurface)[d.lPitch * 3 + 5] = 77;
             ASSERT_EQ(s->Unlock(NULL), DD_OK);
         }},
        {"Lock of the whole",
         [&](LPDIRECTDRAWSURFACE7 s) {
             DDSURFACEDESC2 d = HarnessDescription();
             ASSERT_EQ(s->Lock(NULL, &d, DDLOCK_WAIT, NULL), DD_OK);
             static_cast<BYTE*>(d.lpSurface)[d.lPitch * gap.top + gap.left] = 78;
             ASSERT_EQ(s->Unlock(NULL), DD_OK);
         }},
        {"SetPixel", [&](LPDIRECTDRAWSURFACE7 s) { withDC(s, [](HDC dc) { SetPixel(dc, 45, 4, RGB(255, 0, 0)); }); }},
        {"TextOutA",
         [&](LPDIRECTDRAWSURFACE7 s) {
             withDC(s, [](HDC dc) {
                 SetBkMode(dc, TRANSPARENT);
                 SetTextColor(dc, RGB(255, 255, 255));
                 TextOutA(dc, 40, 2, "Hi", 2);
             });
         }},
        {"TextOutA on its cells",
         [&](LPDIRECTDRAWSURFACE7 s) { withDC(s, [](HDC dc) { TextOutA(dc, 40, 2, " ", 1); }); }},
        {"StretchBlt",
         [&](LPDIRECTDRAWSURFACE7 s) {
             HDC from = NULL;
             ASSERT_EQ(other->GetDC(&from), DD_OK);
             withDC(s, [&](HDC dc) { EXPECT_TRUE(StretchBlt(dc, 40, 2, 20, 8, from, 0, 0, 40, 16, SRCCOPY)); });
             ASSERT_EQ(other->ReleaseDC(from), DD_OK);
         }},
    };
    const auto copyOver = [&] { ASSERT_EQ(page->BltFast(0, 0, background, NULL, DDBLTFAST_NOCOLORKEY), DD_OK); };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.name);
        for (DWORD value : {5u, 5u, 6u}) {
            ASSERT_EQ(fill(page, NULL, 5), DD_OK);
            w.write(page);
            ASSERT_EQ(fill(page, NULL, value), DD_OK);
            EXPECT_EQ(HarnessReadPixels(page), std::vector<BYTE>(size_t(kW) * kH, BYTE(value)));
        }
        // The same copy again, and then one whose source was written in between.
        ASSERT_TRUE(HarnessWritePixels(background, backgroundBefore.pixels));
        for (bool sourceWritten : {false, false, true}) {
            copyOver();
            w.write(sourceWritten ? background : page);
            copyOver();
            EXPECT_EQ(HarnessReadPixels(page), HarnessReadPixels(background)) << "source written " << sourceWritten;
        }

        ASSERT_TRUE(HarnessWritePixels(source, islands));
        DDCOLORKEY key = {0, 0};
        ASSERT_EQ(source->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
        for (const RECT& rect :
             {RECT{0, 0, kW, kH}, RECT{1, 0, 295, kH}, RECT{148, 2, 160, 18}, RECT{5, 5, 6, 6}, RECT{30, 1, 70, 12}}) {
            for (int i = 0; i < 3; ++i) {
                ASSERT_TRUE(HarnessWritePixels(dest, destBefore.pixels));
                RECT r = rect;
                ASSERT_EQ(dest->BltFast(rect.left, rect.top, source, &r, DDBLTFAST_SRCCOLORKEY), DD_OK);
                Image expected = destBefore;
                Paste(expected, rect.left, rect.top, Image{kW, kH, HarnessReadPixels(source)}, rect, 0, 0);
                EXPECT_EQ(HarnessReadPixels(dest), expected.pixels) << rect.left << "," << rect.top << " copy " << i;
                if (i == 1 && rect.left == 30) w.write(source);
            }
        }
    }
}

// The destination is wider than it is tall, so a bottom edge held against the width would let a blit through.
TEST_F(DirectDrawObject, RectanglesOutsideTheSurfacesAreRefusedWithNothingWritten) {
    LPDIRECTDRAWSURFACE7 source, dest;
    Create(8, 8, 5, &source);
    const Image before = Create(24, 16, 4, &dest);
    const struct {
        RECT rect;
        DWORD x, y;
    } cases[] = {
        {{0, 0, 9, 8}, 0, 0},
        {{-1, 0, 4, 4}, 0, 0},
        {{0, 0, 0, 4}, 0, 0},
        {{4, 4, 2, 6}, 0, 0},
        {{0, 6, 4, 5}, 0, 0},
        {{0, 0, 8, 8}, 17, 0},
        {{0, 0, 8, 8}, 0, 9},
        {{0, 0, 1, 1}, 24, 0},
        {{0, 0, 2, 2}, 0, 15},
        {{0, 0, 1, 1}, 0xFFFFFFFF, 0},
        {{0, 0, 2, 2}, 0x7FFFFFFF, 0x7FFFFFFF},
    };
    for (const auto& c : cases) {
        RECT rect = c.rect;
        EXPECT_EQ(dest->BltFast(c.x, c.y, source, &rect, DDBLTFAST_NOCOLORKEY), DDERR_INVALIDRECT)
            << rect.left << "," << rect.top << "," << rect.right << "," << rect.bottom << " at " << c.x << "," << c.y;
    }
    EXPECT_EQ(HarnessReadPixels(dest), before.pixels);
}

// A released object answers every call with DDERR_INVALIDOBJECT (AddRef and Release with 0) and touches nothing: no
// pixel of a live surface, no out-parameter, nothing alive.
TEST_F(DirectDrawObject, ReleasedObjectsRefuseEveryCallAndTouchNothing) {
    LPDIRECTDRAWSURFACE7 released, dest;
    Create(8, 8, 1, &released);
    const Image before = Create(8, 8, 2, &dest);
    PALETTEENTRY entries[256] = {};
    LPDIRECTDRAWPALETTE palette = nullptr;
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, NULL), DD_OK);
    IDirectDraw7* other = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(NULL, (LPVOID*)&other, IID_IDirectDraw7, NULL), DD_OK);
    surfaces.erase(surfaces.begin());
    for (ULONG left : {released->Release(), palette->Release(), other->Release()}) ASSERT_EQ(left, 0u);
    const std::string alive = HarnessLeaks();

    PALETTEENTRY got[256];
    std::memset(got, 0xAB, sizeof got);
    EXPECT_EQ(palette->GetEntries(0, 0, 256, got), DDERR_INVALIDOBJECT);
    EXPECT_EQ(got[0].peRed, 0xAB);
    EXPECT_EQ(palette->SetEntries(0, 0, 1, entries), DDERR_INVALIDOBJECT);
    DDBLTFX fill = {};
    fill.dwSize = sizeof fill;
    EXPECT_EQ(released->BltFast(0, 0, dest, NULL, 0), DDERR_INVALIDOBJECT);
    EXPECT_EQ(dest->BltFast(0, 0, released, NULL, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(released->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fill), DDERR_INVALIDOBJECT);
    EXPECT_EQ(dest->SetPalette(palette), DDERR_INVALIDPARAMS);
    HDC dc = reinterpret_cast<HDC>(1);
    EXPECT_EQ(released->GetDC(&dc), DDERR_INVALIDOBJECT);
    EXPECT_EQ(dc, reinterpret_cast<HDC>(1));
    DDSURFACEDESC2 d = HarnessDescription(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN);
    d.dwWidth = d.dwHeight = 8;
    LPDIRECTDRAWSURFACE7 made = reinterpret_cast<LPDIRECTDRAWSURFACE7>(1);
    EXPECT_EQ(other->CreateSurface(&d, &made, NULL), DDERR_INVALIDOBJECT);
    EXPECT_EQ(made, reinterpret_cast<LPDIRECTDRAWSURFACE7>(1));
    EXPECT_EQ(other->SetCooperativeLevel(NULL, DDSCL_NORMAL), DDERR_INVALIDOBJECT);
    for (ULONG count : {released->AddRef(), released->Release(), palette->AddRef(), palette->Release(), other->AddRef(),
                        other->Release()})
        EXPECT_EQ(count, 0u);
    EXPECT_EQ(HarnessReadPixels(dest), before.pixels);
    EXPECT_EQ(HarnessLeaks(), alive);
}

// Without DDPCAPS_ALLOW256 the first and last entries stay black and white, whatever is set there.
TEST_F(DirectDrawObject, PalettesCopyTheirEntriesAndKeepTheReservedOnesUnlessAllowedAll) {
    PALETTEENTRY entries[256], red = {255, 0, 0, 0}, read[3] = {};
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 3), 0};
    LPDIRECTDRAWPALETTE reserved = nullptr, all = nullptr;
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &reserved, NULL), DD_OK);
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &all, NULL), DD_OK);
    entries[7].peRed = 1;  // the palettes took copies
    for (LPDIRECTDRAWPALETTE palette : {reserved, all}) {
        ASSERT_EQ(palette->SetEntries(0, 254, 1, &red), DD_OK);
        ASSERT_EQ(palette->SetEntries(0, 255, 1, &red), DD_OK);
        ASSERT_EQ(palette->GetEntries(0, 6, 2, read), DD_OK);
        EXPECT_EQ(Colour(read[1]), std::make_tuple(7, 248, 21));
        ASSERT_EQ(palette->GetEntries(0, 254, 2, read), DD_OK);
        ASSERT_EQ(palette->GetEntries(0, 0, 1, &read[2]), DD_OK);
        const bool allowed = palette == all;
        EXPECT_EQ(Colour(read[0]), std::make_tuple(255, 0, 0));
        EXPECT_EQ(Colour(read[1]), allowed ? std::make_tuple(255, 0, 0) : std::make_tuple(255, 255, 255));
        EXPECT_EQ(Colour(read[2]), allowed ? std::make_tuple(0, 255, 0) : std::make_tuple(0, 0, 0));
        EXPECT_EQ(palette->Release(), 0u);
    }
}

PALETTEENTRY kPalette[256];
const PALETTEENTRY* DistinctPalette() {
    for (int i = 0; i < 256; ++i) kPalette[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    kPalette[0] = {0, 0, 0, 0};  // the display palette keeps its first and last entries black and white
    kPalette[255] = {255, 255, 255, 0};
    return kPalette;
}

// Every pixel of the frame tells where it is: 8 x 8 blocks of indices that differ from their neighbours.
BYTE Pattern(int x, int y) { return BYTE((x / 8) * 3 + (y / 8) * 17); }

// The program's display, its palette's entries made distinct.
class Display : public HarnessTest {
protected:
    const PALETTEENTRY* Palette() const override { return DistinctPalette(); }
    std::vector<BYTE> FlipPattern() {
        std::vector<BYTE> pixels(640 * 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) pixels[size_t(y) * 640 + x] = Pattern(x, y);
        EXPECT_TRUE(HarnessWritePixels(app.backBuffer, pixels));
        EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
        return pixels;
    }
};

TEST_F(Display, AFlipShowsTheBackBufferInTheAttachedPaletteElseThreeThreeTwoAndSwapsThePages) {
    const uint32_t before = TestPresentCount();
    const std::vector<BYTE> pattern = FlipPattern();
    EXPECT_EQ(TestPresentCount(), before + 1);
    TestFrame frame = HarnessLastFrame();
    EXPECT_EQ(frame.indices, pattern);
    for (int i = 0; i < 256; ++i) EXPECT_EQ(Colour(frame.palette[i]), Colour(kPalette[i])) << i;
    // The front buffer now holds the picture; the back buffer has the page that was shown before.
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(HarnessReadPixels(app.primarySurface), pattern);

    ASSERT_EQ(app.primarySurface->SetPalette(NULL), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    frame = HarnessLastFrame();
    for (int i : {0, 1, 0x1F, 0x9A, 255})
        EXPECT_EQ(Colour(frame.palette[i]),
                  std::make_tuple(((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3))
            << i;
}

// A page filled or copied over as the one it shows writes nothing until a step differs, and a flip sends only where
// the steps of the two pictures differ; whatever the steps cannot vouch for must still reach the window: a source
// written under an equal step, a step moved (over an equal one before it) or gone, a lock, another fill, a background
// copied over all of it and then written, text drawn where the page still shows a step. The window is the same, frame
// by frame, as when every frame goes whole.
TEST_F(Display, TheWindowShowsEveryFrameAsIfSentWholeWhateverTheStepsOfThePages) {
    LPDIRECTDRAWSURFACE7 sprite = HarnessMakeSurface(64, 32, RandomPixels(64 * 32, 8));
    LPDIRECTDRAWSURFACE7 background = HarnessMakeSurface(640, 480, RandomPixels(640 * 480, 9));
    ASSERT_TRUE(sprite && background);
    DDCOLORKEY key = {0x10, 0x40};
    ASSERT_EQ(sprite->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
    const auto poke = [](LPDIRECTDRAWSURFACE7 s, int x, int y, BYTE value) {
        DDSURFACEDESC2 d = HarnessDescription();
        ASSERT_EQ(s->Lock(NULL, &d, DDLOCK_WAIT, NULL), DD_OK);
        static_cast<BYTE*>(d.lpSurface)[d.lPitch * y + x] = value;
        ASSERT_EQ(s->Unlock(NULL), DD_OK);
    };
    const auto frame = [&](int step, BYTE fillValue) {
        DDBLTFX fx = {};
        fx.dwSize = sizeof fx;
        fx.dwFillColor = fillValue;
        if (step >= 10) {
            ASSERT_EQ(app.backBuffer->BltFast(0, 0, background, NULL, DDBLTFAST_NOCOLORKEY), DD_OK);
        } else {
            ASSERT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
        }
        if (step == 4) poke(sprite, 5, 5, 0xEE);  // under an equal step
        ASSERT_EQ(app.backBuffer->BltFast(100, 100, sprite, NULL, DDBLTFAST_SRCCOLORKEY), DD_OK);
        if (step == 8) {  // text where the page still shows the second sprite
            HDC dc = NULL;
            ASSERT_EQ(app.backBuffer->GetDC(&dc), DD_OK);
            TextOutA(dc, 140, 115, "Hi", 2);
            ASSERT_EQ(app.backBuffer->ReleaseDC(dc), DD_OK);
        } else if (step != 6) {
            ASSERT_EQ(app.backBuffer->BltFast(step == 5 ? 131 : 130, 110, sprite, NULL, DDBLTFAST_SRCCOLORKEY), DD_OK);
        }
        if (step == 7) poke(app.backBuffer, 300, 300, 0x77);  // gone again in the next frame
        if (step == 12) poke(background, 0, 479, 0x55);
        ASSERT_EQ(app.primarySurface->Flip(NULL, DDFLIP_WAIT), DD_OK);
    };
    TestCaptureWindow(true);
    std::vector<std::vector<uint32_t>> films[2];
    for (bool whole : {true, false}) {
        TestPresentWholeFrames(whole);
        ASSERT_TRUE(HarnessWritePixels(sprite, RandomPixels(64 * 32, 8)));
        ASSERT_TRUE(HarnessWritePixels(background, RandomPixels(640 * 480, 9)));
        for (int step : {1, 1, 1, 4, 5, 6, 1, 7, 1, 1, 8, 9, 10, 10, 10, 12, 10}) {
            frame(step, step == 9 ? 3 : 0);
            std::vector<uint32_t> pixels;
            int width = 0, height = 0;
            ASSERT_TRUE(TestLastWindowPixels(&pixels, &width, &height));
            films[whole].push_back(std::move(pixels));
        }
    }
    TestPresentWholeFrames(false);
    TestCaptureWindow(false);
    ASSERT_EQ(films[0].size(), films[1].size());
    for (size_t i = 0; i < films[0].size(); ++i) EXPECT_TRUE(films[0][i] == films[1][i]) << "frame " << i + 1;
    sprite->Release();
    background->Release();
}

// A renderer reset loses every surface's pixels; restoring the primary restores its chain, other surfaces are
// restored one by one, zeroed. A minimised window keeps them lost until it is restored.
TEST_F(Display, LossTakesThePixelsAndRestoreGivesZeroedSurfacesBackOnceTheWindowIsBack) {
    LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(8, 8, RandomPixels(64, 6));
    SDL_Event reset = {};
    reset.type = SDL_RENDER_DEVICE_RESET;
    ASSERT_EQ(SDL_PushEvent(&reset), 1);
    TestPumpEvents();
    for (LPDIRECTDRAWSURFACE7 s : {app.primarySurface, app.backBuffer, surface})
        EXPECT_EQ(s->IsLost(), DDERR_SURFACELOST);
    HDC dc = NULL;
    DDSURFACEDESC2 d = HarnessDescription();
    EXPECT_EQ(surface->GetDC(&dc), DDERR_SURFACELOST);
    EXPECT_EQ(surface->Lock(NULL, &d, 0, NULL), DDERR_SURFACELOST);
    EXPECT_EQ(app.backBuffer->BltFast(0, 0, surface, NULL, 0), DDERR_SURFACELOST);
    EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DDERR_SURFACELOST);
    ASSERT_EQ(app.primarySurface->Restore(), DD_OK);
    EXPECT_EQ(app.backBuffer->IsLost(), DD_OK);
    EXPECT_EQ(surface->IsLost(), DDERR_SURFACELOST);
    ASSERT_EQ(surface->Restore(), DD_OK);
    EXPECT_EQ(HarnessReadPixels(surface), std::vector<BYTE>(64, 0));
    const uint32_t before = TestPresentCount();
    EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(TestPresentCount(), before + 1);
    surface->Release();

    TestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    TestPumpEvents();
    for (int i = 0; i < 2; ++i) EXPECT_EQ(app.primarySurface->Restore(), DDERR_WRONGMODE);
    EXPECT_EQ(app.backBuffer->IsLost(), DDERR_SURFACELOST);
    TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    TestPumpEvents();
    EXPECT_EQ(app.primarySurface->Restore(), DD_OK);
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
}

}  // namespace
