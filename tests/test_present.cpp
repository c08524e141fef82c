// Presentation: the scaling rule, frames read back from a real SDL window, the palette table and vsync.
#include "tests/harness.h"

#include "platform/src/platform.h"

#include <cstdlib>

namespace {

struct Size {
    int width, height;
};

TEST(PresentDestination, WholeFactorsFromTwoUpElseFittedAndCentred) {
    struct Case {
        Size window;
        RECT expected;
    } cases[] = {
        {{640, 480}, {0, 0, 640, 480}},         // fitted at 1:1
        {{1280, 960}, {0, 0, 1280, 960}},       // 2x exactly
        {{1920, 1080}, {320, 60, 1600, 1020}},  // 2x with bars all round
        {{1920, 1200}, {320, 120, 1600, 1080}},
        {{3840, 2160}, {640, 120, 3200, 2040}},  // 4x
        {{800, 600}, {0, 0, 800, 600}},          // below 2x: fitted
        {{1024, 768}, {0, 0, 1024, 768}},
        {{1366, 768}, {171, 0, 1195, 768}},  // fitted to the height, bars left and right
        {{700, 480}, {30, 0, 670, 480}},
        {{640, 800}, {0, 160, 640, 640}},  // fitted to the width, bars above and below
        {{320, 240}, {0, 0, 320, 240}},    // smaller than the picture: shrunk to fit
        {{0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const RECT r = TestPresentDestination(c.window.width, c.window.height);
        EXPECT_EQ(r.left, c.expected.left) << c.window.width << "x" << c.window.height;
        EXPECT_EQ(r.top, c.expected.top) << c.window.width << "x" << c.window.height;
        EXPECT_EQ(r.right, c.expected.right) << c.window.width << "x" << c.window.height;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.window.width << "x" << c.window.height;
    }
}

PALETTEENTRY kPalette[256];
const PALETTEENTRY* DistinctPalette() {
    for (int i = 0; i < 256; ++i) kPalette[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    return kPalette;
}

uint32_t Argb(const PALETTEENTRY& e) { return 0xFF000000u | e.peRed << 16 | e.peGreen << 8 | e.peBlue; }

// Every pixel of the frame tells where it is: 8 x 8 blocks of indices that differ from their neighbours.
BYTE Pattern(int x, int y) { return BYTE((x / 8) * 3 + (y / 8) * 17); }

void DrawPattern(LPDIRECTDRAWSURFACE7 surface) {
    std::vector<BYTE> pixels(640 * 480);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) pixels[size_t(y) * 640 + x] = Pattern(x, y);
    ASSERT_TRUE(HarnessWritePixels(surface, pixels));
}

class Presentation : public HarnessTest {
protected:
    HarnessOptions Options() const override {
        HarnessOptions options;
        options.palette = DistinctPalette();
        return options;
    }
};

TEST_F(Presentation, AFlipShowsTheBackBufferAndSwapsThePages) {
    const uint32_t before = TestPresentCount();
    DrawPattern(app.backBuffer);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(TestPresentCount(), before + 1);

    TestFrame frame = HarnessLastFrame();
    ASSERT_EQ(frame.indices.size(), 640u * 480u);
    bool same = true;
    for (int y = 0; y < 480 && same; ++y)
        for (int x = 0; x < 640 && same; ++x) same = frame.at(x, y) == Pattern(x, y);
    EXPECT_TRUE(same);
    EXPECT_EQ(frame.palette[77].peBlue, BYTE(77 * 7));

    // The front buffer now holds the picture; the back buffer has the page that was shown before.
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(HarnessReadPixels(app.primarySurface), frame.indices);
}

TEST_F(Presentation, TheWindowShowsEachSourcePixelAsABlockOfItsPaletteColour) {
    SDL_Window* window = PlatformSdlWindow(HarnessWindow());
    ASSERT_NE(window, nullptr);
    SDL_SetWindowSize(window, 1920, 1080);
    TestPumpEvents();

    TestCaptureWindow(true);
    DrawPattern(app.backBuffer);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    std::vector<uint32_t> shown;
    int width = 0, height = 0;
    ASSERT_TRUE(TestLastWindowPixels(&shown, &width, &height));
    ASSERT_EQ(width, 1920);
    ASSERT_EQ(height, 1080);
    const RECT destination = TestLastPresentDestination();
    EXPECT_EQ(destination.left, 320);
    EXPECT_EQ(destination.top, 60);
    EXPECT_EQ(destination.right, 1600);
    EXPECT_EQ(destination.bottom, 1020);

    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= 320 && x < 1600 && y >= 60 && y < 1020;
            const uint32_t expected = inside ? Argb(kPalette[Pattern((x - 320) / 2, (y - 60) / 2)]) : 0xFF000000u;
            if ((shown[size_t(y) * width + x] | 0xFF000000u) != expected) ++wrong;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(Presentation, APaletteChangeReachesTheNextFrame) {
    SDL_Window* window = PlatformSdlWindow(HarnessWindow());
    ASSERT_NE(window, nullptr);
    SDL_SetWindowSize(window, 1280, 960);
    TestPumpEvents();
    TestCaptureWindow(true);

    DDBLTFX fx = {};
    fx.dwSize = sizeof(fx);
    fx.dwFillColor = 5;
    ASSERT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    std::vector<uint32_t> shown;
    int width = 0, height = 0;
    ASSERT_TRUE(TestLastWindowPixels(&shown, &width, &height));
    EXPECT_EQ(shown[size_t(500) * width + 700] | 0xFF000000u, Argb(kPalette[5]));

    PALETTEENTRY teal = {0, 128, 128, 0};
    ASSERT_EQ(app.palette->SetEntries(0, 5, 1, &teal), DD_OK);
    ASSERT_EQ(app.backBuffer->Blt(NULL, NULL, NULL, DDBLT_COLORFILL, &fx), DD_OK);
    ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    ASSERT_TRUE(TestLastWindowPixels(&shown, &width, &height));
    EXPECT_EQ(shown[size_t(500) * width + 700] | 0xFF000000u, 0xFF008080u);
    EXPECT_EQ(HarnessLastFrame().palette[5].peGreen, 128);
}

TEST_F(Presentation, NothingIsPresentedOnceTheWindowIsGone) {
    DestroyWindow(HarnessWindow());
    const uint32_t before = TestPresentCount();
    EXPECT_NE(app.primarySurface->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(TestPresentCount(), before);
}

TEST(PresentVsync, OnByDefaultAndTheEnvironmentCanTurnItOff) {
    ASSERT_EQ(unsetenv("SDL_RENDER_VSYNC"), 0);
    ASSERT_TRUE(HarnessStart()) << HarnessError();
    const char* hint = SDL_GetHint(SDL_HINT_RENDER_VSYNC);
    ASSERT_NE(hint, nullptr);
    EXPECT_STREQ(hint, "1");
    HarnessStop();

    ASSERT_EQ(setenv("SDL_RENDER_VSYNC", "0", 1), 0);
    ASSERT_TRUE(HarnessStart()) << HarnessError();
    hint = SDL_GetHint(SDL_HINT_RENDER_VSYNC);
    ASSERT_NE(hint, nullptr);
    EXPECT_STREQ(hint, "0");
    HarnessStop();
    EXPECT_EQ(HarnessLeaks(), "");
}

}  // namespace
