// Presentation: the scaling rule, frames read back from a real SDL window, the palette table and vsync.
#include "tests/harness.h"

#include "platform/src/platform.h"

#include <tuple>

namespace {

auto Tie(const RECT& r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); }

TEST(PresentDestination, WholeFactorsFromTwoUpElseFittedAndCentred) {
    const struct {
        int width, height;
        RECT expected;
    } cases[] = {
        {640, 480, {0, 0, 640, 480}},          // fitted at 1:1
        {1280, 960, {0, 0, 1280, 960}},        // 2x exactly
        {1920, 1080, {320, 60, 1600, 1020}},   // 2x with bars all round
        {3840, 2160, {640, 120, 3200, 2040}},  // 4x
        {800, 600, {0, 0, 800, 600}},          // below 2x: fitted
        {1366, 768, {171, 0, 1195, 768}},      // fitted to the height, bars left and right
        {700, 480, {30, 0, 670, 480}},
        {640, 800, {0, 160, 640, 640}},  // fitted to the width, bars above and below
        {320, 240, {0, 0, 320, 240}},    // smaller than the picture: shrunk to fit
        {0, 0, {0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Tie(TestPresentDestination(c.width, c.height)), Tie(c.expected)) << c.width << "x" << c.height;
}

PALETTEENTRY kPalette[256];
const PALETTEENTRY* DistinctPalette() {
    for (int i = 0; i < 256; ++i) kPalette[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    kPalette[0] = {0, 0, 0, 0};  // the display palette keeps its first and last entries black and white
    kPalette[255] = {255, 255, 255, 0};
    return kPalette;
}

uint32_t Argb(const PALETTEENTRY& e) { return 0xFF000000u | e.peRed << 16 | e.peGreen << 8 | e.peBlue; }

// Every pixel of the frame tells where it is: 8 x 8 blocks of indices that differ from their neighbours.
BYTE Pattern(int x, int y) { return BYTE((x / 8) * 3 + (y / 8) * 17); }

class Presentation : public HarnessTest {
protected:
    const PALETTEENTRY* Palette() const override { return DistinctPalette(); }
    void FlipPattern() {
        std::vector<BYTE> pixels(640 * 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) pixels[size_t(y) * 640 + x] = Pattern(x, y);
        ASSERT_TRUE(HarnessWritePixels(app.backBuffer, pixels));
        ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    }
};

TEST_F(Presentation, AFlipShowsTheBackBufferAndSwapsThePages) {
    const uint32_t before = TestPresentCount();
    FlipPattern();
    EXPECT_EQ(TestPresentCount(), before + 1);
    TestFrame frame = HarnessLastFrame();
    ASSERT_EQ(frame.indices.size(), 640u * 480u);
    int wrong = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) wrong += frame.at(x, y) != Pattern(x, y);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(frame.palette[77].peBlue, BYTE(77 * 7));
    // The front buffer now holds the picture; the back buffer has the page that was shown before.
    EXPECT_EQ(HarnessReadPixels(app.backBuffer), std::vector<BYTE>(640 * 480, 0));
    EXPECT_EQ(HarnessReadPixels(app.primarySurface), frame.indices);
}

TEST_F(Presentation, TheWindowShowsEachSourcePixelAsABlockOfItsPaletteColourAndPaletteChanges) {
    SDL_Window* window = PlatformSdlWindow(HarnessWindow());
    ASSERT_NE(window, nullptr);
    SDL_SetWindowSize(window, 1920, 1080);
    TestPumpEvents();
    TestCaptureWindow(true);
    FlipPattern();
    std::vector<uint32_t> shown;
    int width = 0, height = 0;
    ASSERT_TRUE(TestLastWindowPixels(&shown, &width, &height));
    ASSERT_EQ(std::make_pair(width, height), std::make_pair(1920, 1080));
    EXPECT_EQ(Tie(TestLastPresentDestination()), std::make_tuple(320, 60, 1600, 1020));
    int wrong = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool inside = x >= 320 && x < 1600 && y >= 60 && y < 1020;
            const uint32_t expected = inside ? Argb(kPalette[Pattern((x - 320) / 2, (y - 60) / 2)]) : 0xFF000000u;
            wrong += (shown[size_t(y) * width + x] | 0xFF000000u) != expected;
        }
    }
    EXPECT_EQ(wrong, 0);

    // A palette change reaches the next frame: the picture's (160, 210) is the window's (640, 480).
    PALETTEENTRY teal = {0, 128, 128, 0};
    const BYTE index = Pattern(160, 210);
    ASSERT_EQ(app.palette->SetEntries(0, index, 1, &teal), DD_OK);
    FlipPattern();
    ASSERT_TRUE(TestLastWindowPixels(&shown, &width, &height));
    EXPECT_EQ(shown[size_t(60 + 2 * 210) * width + 320 + 2 * 160] | 0xFF000000u, 0xFF008080u);
    EXPECT_EQ(HarnessLastFrame().palette[index].peGreen, 128);
}

}  // namespace
