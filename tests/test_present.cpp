// Presentation: the scaling rule, the choice of path, frames read back from a real SDL window on both paths, the
// palette, and the pacing of the framebuffer path.
#include "tests/harness.h"

#include "platform/src/platform.h"

#include <cstdlib>
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

// A palette whose every entry differs, and the display palette it became (entries 0 and 255 stay black and white).
PALETTEENTRY kPalette[256];
const PALETTEENTRY* DistinctPalette() {
    for (int i = 0; i < 256; ++i) kPalette[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    return kPalette;
}

uint32_t Argb(const PALETTEENTRY& e) { return 0xFF000000u | e.peRed << 16 | e.peGreen << 8 | e.peBlue; }

// Every pixel of the frame tells where it is: 8 x 8 blocks of indices that differ from their neighbours, and a
// diagonal of single pixels that nearest sampling must place exactly.
BYTE Pattern(int x, int y) { return x == y ? BYTE(255) : BYTE((x / 8) * 3 + (y / 8) * 17); }

// The layer's own lines on how it presents, out of everything standard error got.
std::string PresentLines(const std::string& said) {
    std::string lines;
    for (size_t at = 0; at < said.size();) {
        const size_t end = std::min(said.find('\n', at), said.size() - 1) + 1;
        if (said.compare(at, 9, "present: ") == 0) lines += said.substr(at, end - at);
        at = end;
    }
    return lines;
}

// The two paths, each forced through SDL's own variables: the framebuffer by SDL_FRAMEBUFFER_ACCELERATION, the
// renderer by naming SDL's software renderer, which runs on the dummy driver.
struct PathCase {
    const char* name;
    const char* variable;
    const char* value;
    const char* line;  // what the layer says on standard error when it chooses
};
const PathCase kPaths[] = {
    {"framebuffer", "SDL_FRAMEBUFFER_ACCELERATION", "0",
     "present: into the window's framebuffer, since SDL_FRAMEBUFFER_ACCELERATION is 0\n"},
    {"renderer", "SDL_RENDER_DRIVER", "software",
     "present: through an SDL renderer, since SDL_RENDER_DRIVER names the software renderer\n"},
};

void PrintTo(const PathCase& path, std::ostream* out) { *out << path.name; }

class Presentation : public HarnessTest, public ::testing::WithParamInterface<PathCase> {
protected:
    const PALETTEENTRY* Palette() const override { return DistinctPalette(); }
    void SetUp() override {
        ASSERT_EQ(setenv(GetParam().variable, GetParam().value, 1), 0);
        testing::internal::CaptureStderr();
        HarnessTest::SetUp();
        said = PresentLines(testing::internal::GetCapturedStderr());
        ASSERT_EQ(app.palette->GetEntries(0, 0, 256, kPalette), DD_OK);
    }
    void FlipPattern() {
        std::vector<BYTE> pixels(640 * 480);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) pixels[size_t(y) * 640 + x] = Pattern(x, y);
        ASSERT_TRUE(HarnessWritePixels(app.backBuffer, pixels));
        ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    }
    // The window's pixels that differ from the palette colour of the picture pixel under their middle, or from black
    // outside the picture.
    int WrongWindowPixels(int width, int height) {
        std::vector<uint32_t> shown;
        int w = 0, h = 0;
        if (!TestLastWindowPixels(&shown, &w, &h) || w != width || h != height) return -1;
        const RECT to = TestPresentDestination(width, height);
        const int64_t pictureW = to.right - to.left, pictureH = to.bottom - to.top;
        int wrong = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                uint32_t expected = 0xFF000000u;
                if (x >= to.left && x < to.right && y >= to.top && y < to.bottom) {
                    const int sx = int(((x - to.left) * 2 + 1) * int64_t(640) / (pictureW * 2));
                    const int sy = int(((y - to.top) * 2 + 1) * int64_t(480) / (pictureH * 2));
                    expected = Argb(kPalette[Pattern(sx, sy)]);
                }
                wrong += (shown[size_t(y) * width + x] | 0xFF000000u) != expected;
            }
        }
        return wrong;
    }
    std::string said;
};

TEST_P(Presentation, IsChosenAsTheVariableSaysAndSaidInOneLine) {
    EXPECT_EQ(TestPresentPath(), GetParam().name);
    EXPECT_EQ(said, GetParam().line);
}

// Whole factors 1 to 4, with and without bars, and pictures fitted below twice their size. SDL's renderer does its
// own stretching, whose rounding of fitted sizes is its business; whole factors it must get exactly right.
TEST_P(Presentation, EveryWindowPixelIsThePaletteColourOfItsPicturePixelAndTheBarsAreBlack) {
    const bool framebuffer = std::string(GetParam().name) == "framebuffer";
    SDL_Window* window = HarnessWindow()->sdlWindow;
    TestCaptureWindow(true);
    const std::pair<int, int> sizes[] = {{640, 480},   {1280, 960}, {1920, 1080}, {1920, 1440},
                                         {2560, 1920}, {1000, 750}, {1366, 768},  {700, 900}};
    for (const auto& [width, height] : sizes) {
        const RECT to = TestPresentDestination(width, height);
        if (!framebuffer && (to.right - to.left) % 640 != 0) continue;
        SDL_SetWindowSize(window, width, height);
        TestPumpEvents();
        FlipPattern();
        EXPECT_EQ(WrongWindowPixels(width, height), 0) << width << "x" << height;
        EXPECT_EQ(Tie(TestLastPresentDestination()), Tie(to));
    }

    // A palette change reaches the next frame: at 2x the picture's (160, 210) is the window's (640, 480).
    SDL_SetWindowSize(window, 1920, 1080);
    TestPumpEvents();
    PALETTEENTRY teal = {0, 128, 128, 0};
    const BYTE index = Pattern(160, 210);
    ASSERT_EQ(app.palette->SetEntries(0, index, 1, &teal), DD_OK);
    FlipPattern();
    kPalette[index] = teal;
    EXPECT_EQ(WrongWindowPixels(1920, 1080), 0);
    EXPECT_EQ(HarnessLastFrame().palette[index].peGreen, 128);
}

// Another window covered part of the program's, the bars included, and went: the next present sends the whole window
// with the bars black again, and the one after sends the picture alone again (the renderer's always sends it all).
TEST_P(Presentation, AnExposedWindowIsSentWholeWithItsBarsBlackAgain) {
    const bool framebuffer = std::string(GetParam().name) == "framebuffer";
    SDL_Window* window = HarnessWindow()->sdlWindow;
    SDL_SetWindowSize(window, 1920, 1080);
    TestPumpEvents();
    TestCaptureWindow(true);
    const RECT whole = {0, 0, 1920, 1080}, picture = {320, 60, 1600, 1020};
    const RECT usual = framebuffer ? picture : whole;
    FlipPattern();
    EXPECT_EQ(Tie(TestLastPresentUpdate()), Tie(whole)) << "a new window surface";
    FlipPattern();
    EXPECT_EQ(Tie(TestLastPresentUpdate()), Tie(usual));

    SDL_Surface* surface = SDL_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr);
    const SDL_Rect left = {0, 0, 320, 1080}, top = {320, 0, 1280, 60};
    SDL_FillRect(surface, &left, SDL_MapRGB(surface->format, 255, 0, 0));
    SDL_FillRect(surface, &top, SDL_MapRGB(surface->format, 0, 255, 0));
    TestPushWindowEvent(SDL_WINDOWEVENT_EXPOSED);
    TestPumpEvents();
    FlipPattern();
    EXPECT_EQ(Tie(TestLastPresentUpdate()), Tie(whole)) << "exposed";
    EXPECT_EQ(WrongWindowPixels(1920, 1080), 0);
    FlipPattern();
    EXPECT_EQ(Tie(TestLastPresentUpdate()), Tie(usual)) << "after the exposed frame";
}

INSTANTIATE_TEST_SUITE_P(Paths, Presentation, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PresentPath, WithoutTheVariablesTheDummyDriverGetsTheFramebuffer) {
    testing::internal::CaptureStderr();
    ASSERT_TRUE(HarnessStart()) << HarnessError();
    EXPECT_EQ(PresentLines(testing::internal::GetCapturedStderr()),
              "present: into the window's framebuffer, since SDL's dummy driver has no GPU\n");
    EXPECT_EQ(TestPresentPath(), "framebuffer");
    HarnessStop();
    EXPECT_EQ(HarnessLeaks(), "");
}

// The automatic choice against each kind of server, as SDL's driver, the X server's extensions, /dev/dri and the
// window's pixel size would answer; SDL's own variables win over all of them. The choice is then taken: the display
// attaches and frames are shown on the path it named.
struct ServerCase {
    const char* name;
    TestPathAnswers answers;
    const char* variable;  // null: none set
    const char* value;
    const char* path;
    const char* line;
};
const ServerCase kServers[] = {
    {"X11DriAndARenderNode",
     {"x11", {"DRI3", "DRI2"}, true},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since the X server offers DRI and a GPU render node opens\n"},
    {"X11Dri2AndARenderNode",
     {"x11", {"DRI2"}, true},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since the X server offers DRI and a GPU render node opens\n"},
    {"X11NvidiaGlx",
     {"x11", {"NV-GLX"}, false},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since the X server offers NVIDIA's OpenGL\n"},
    {"X11DriWithoutARenderNode",
     {"x11", {"DRI3", "DRI2"}, false},
     nullptr,
     nullptr,
     "framebuffer",
     "present: into the window's framebuffer, since no GPU render node opens\n"},
    {"X11Neither",
     {"x11", {}, true},
     nullptr,
     nullptr,
     "framebuffer",
     "present: into the window's framebuffer, since the X server offers no DRI, so OpenGL would be a software "
     "rasteriser\n"},
    {"X11NeitherPacked24Bits",
     {"x11", {}, false, 3},
     nullptr,
     nullptr,
     "renderer",
     "present: through SDL's software renderer, since the X server offers no DRI, so OpenGL would be a software "
     "rasteriser, and the window's pixels are 3 bytes, which SDL's software renderer converts\n"},
    {"X11DriAndARenderNode8Bits",
     {"x11", {"DRI3"}, true, 1},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since the X server offers DRI and a GPU render node opens\n"},
    {"WaylandWithARenderNode",
     {"wayland", {}, true},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since a GPU render node opens\n"},
    {"WaylandWithoutARenderNode",
     {"wayland", {}, false},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since SDL's Wayland windows draw only through EGL, here Mesa's\n"},
    {"AnotherDriver",
     {"kmsdrm", {}, false},
     nullptr,
     nullptr,
     "renderer",
     "present: through an SDL renderer, since the kmsdrm driver draws through its own renderer\n"},
    {"Dummy",
     {"dummy", {}, true},
     nullptr,
     nullptr,
     "framebuffer",
     "present: into the window's framebuffer, since SDL's dummy driver has no GPU\n"},
    {"Offscreen",
     {"offscreen", {}, true},
     nullptr,
     nullptr,
     "framebuffer",
     "present: into the window's framebuffer, since SDL's offscreen driver has no GPU\n"},
    {"RenderDriverOnX11Neither",
     {"x11", {}, false},
     "SDL_RENDER_DRIVER",
     "software",
     "renderer",
     "present: through an SDL renderer, since SDL_RENDER_DRIVER names the software renderer\n"},
    {"FramebufferAccelerationOnX11Dri",
     {"x11", {"DRI3"}, true},
     "SDL_FRAMEBUFFER_ACCELERATION",
     "0",
     "framebuffer",
     "present: into the window's framebuffer, since SDL_FRAMEBUFFER_ACCELERATION is 0\n"},
    {"FramebufferAccelerationOnWayland",
     {"wayland", {}, true},
     "SDL_FRAMEBUFFER_ACCELERATION",
     "0",
     "framebuffer",
     "present: into the window's framebuffer, since SDL_FRAMEBUFFER_ACCELERATION is 0\n"},
    {"FramebufferAccelerationPacked24Bits",
     {"x11", {}, false, 3},
     "SDL_FRAMEBUFFER_ACCELERATION",
     "0",
     "renderer",
     "present: through SDL's software renderer, since SDL_FRAMEBUFFER_ACCELERATION is 0, and the window's pixels are "
     "3 bytes, which SDL's software renderer converts\n"},
};

void PrintTo(const ServerCase& server, std::ostream* out) { *out << server.name; }

class PresentChoice : public ::testing::TestWithParam<ServerCase> {};

TEST_P(PresentChoice, IsMadeByTheServerAndTakenForTheFrames) {
    const ServerCase& c = GetParam();
    if (c.variable != nullptr) {
        ASSERT_EQ(setenv(c.variable, c.value, 1), 0);
    }
    TestSetPathAnswers(&c.answers);
    testing::internal::CaptureStderr();
    const bool started = HarnessStart();
    const std::string said = PresentLines(testing::internal::GetCapturedStderr());
    ASSERT_TRUE(started) << HarnessError();
    EXPECT_EQ(said, c.line);
    EXPECT_EQ(TestPresentPath(), c.path);
    const uint32_t shown = TestPresentCount();
    for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
    EXPECT_EQ(TestPresentCount(), shown + 3);
    HarnessStop();
    TestSetPathAnswers(nullptr);
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(Servers, PresentChoice, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

// A flip waits for the next refresh (60 Hz where the mode does not say, as on the dummy driver); a frame that overran
// is shown at once and the count starts again from it, so nothing hurries to catch up; without vsync nobody waits.
class PresentPacing : public ::testing::TestWithParam<const char*> {};

TEST_P(PresentPacing, FlipsWaitForTheNextRefreshAndLateFramesNeverBurst) {
    constexpr uint64_t kPeriod = 1000000000u / 60;
    constexpr uint64_t kMs = 1000000;
    const std::string vsync = GetParam();
    {
        ASSERT_EQ(setenv("SDL_RENDER_VSYNC", vsync.c_str(), 1), 0);
        ASSERT_TRUE(HarnessStart()) << HarnessError();
        TestUsePacingClock(true);
        const struct {
            uint64_t work;  // the frame's own time before its flip
            uint64_t wait;  // with vsync
        } frames[] = {
            {0, 0},                        // the first flip starts the count
            {5 * kMs, kPeriod - 5 * kMs},  // early: waits out the refresh
            {kPeriod, 0},                  // exactly on the refresh
            {kPeriod + 4 * kMs, 0},        // overran: shown at once
            {kMs, kPeriod - kMs},          // the next refresh counts from the late one
            {3 * kPeriod, 0},              // long stall: still one frame, no catching up
            {0, kPeriod},                  // and then the usual wait
        };
        std::vector<uint64_t> expected;
        for (const auto& f : frames) {
            TestAdvancePacingClock(f.work);
            ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
            if (f.wait > 0 && vsync == "1") expected.push_back(f.wait);
        }
        EXPECT_EQ(TestTakePacingWaits(), expected) << "SDL_RENDER_VSYNC=" << vsync;
        TestUsePacingClock(false);
        HarnessStop();
    }
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(Vsync, PresentPacing, ::testing::Values("1", "0"),
                         [](const auto& info) { return std::string(info.param) == "1" ? "On" : "Off"; });

// A window that keeps refusing the picture: one line says why until a present goes through again, and the flips
// still wait for the refresh. The framebuffer path paces every flip; the renderer's vsync paces the shown frames, and
// the refused ones wait as the framebuffer's do.
class PresentRefused : public ::testing::TestWithParam<PathCase> {};

TEST_P(PresentRefused, IsSaidOnceAndTheFlipsStayPaced) {
    constexpr uint64_t kPeriod = 1000000000u / 60;
    const bool framebuffer = std::string(GetParam().name) == "framebuffer";
    {
        ASSERT_EQ(setenv("SDL_RENDER_VSYNC", "1", 1), 0);
        ASSERT_EQ(setenv(GetParam().variable, GetParam().value, 1), 0);
        ASSERT_TRUE(HarnessStart()) << HarnessError();
        TestUsePacingClock(true);
        testing::internal::CaptureStderr();
        const struct {
            bool refused;
            uint64_t framebufferWait, rendererWait;  // 0: none
        } frames[] = {
            {false, 0, 0},             // the first flip starts the count
            {true, kPeriod, 0},        // the renderer's first refused flip starts its own count
            {true, kPeriod, kPeriod},  // still refused: said no more, and waits
            {true, kPeriod, kPeriod},  //
            {false, kPeriod, 0},       // shown again
            {true, kPeriod, kPeriod},  // refused again: said again
        };
        std::vector<uint64_t> waits;
        for (const auto& f : frames) {
            TestRefusePresents(f.refused ? 1 : 0);
            EXPECT_EQ(app.primarySurface->Flip(NULL, 0), f.refused ? DDERR_GENERIC : DD_OK);
            const uint64_t wait = framebuffer ? f.framebufferWait : f.rendererWait;
            if (wait > 0) waits.push_back(wait);
        }
        const std::string refused = "present: the picture does not reach the window: a test refused it\n";
        EXPECT_EQ(PresentLines(testing::internal::GetCapturedStderr()), refused + refused);
        EXPECT_EQ(TestTakePacingWaits(), waits);
        TestUsePacingClock(false);
        HarnessStop();
    }
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(Paths, PresentRefused, ::testing::ValuesIn(kPaths),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
