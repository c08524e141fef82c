// Presentation: the scaling rule, the choice of path, frames read back from a real SDL window on both paths, the
// palette, and the pacing of the framebuffer path.
#include "tests/harness.h"

#include "platform/src/platform.h"
#include "tests/soak/soak_script.h"

#include <cstdlib>
#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
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

// Monitors of small and odd sizes, in their own pixels: at a whole desktop scale (1, 2, 3) a full-screen window's
// pixels are the monitor's (the Weston run at scale 2 shows it), so the picture is the same whatever the scale. SDL 2
// asks Wayland for whole scales only: at 1.25 or 1.5 it draws at 2 into a buffer of twice the desktop's units, and the
// compositor shrinks that onto the monitor. Either way the picture is whole (nothing cut), keeps its aspect, and is a
// whole multiple wherever it is twice its size.
TEST(PresentDestination, OnSmallAndOddMonitorsAtEveryScaleInDevicePixels) {
    const struct {
        int width, height;
        RECT expected;
    } monitors[] = {
        {1920, 1080, {320, 60, 1600, 1020}}, {1280, 800, {107, 0, 1173, 800}}, {1366, 768, {171, 0, 1195, 768}},
        {1024, 600, {112, 0, 912, 600}},     {800, 600, {0, 0, 800, 600}},     {1080, 1920, {0, 555, 1080, 1365}},
    };
    const struct {
        int width, height, scalePercent, bufferWidth, bufferHeight;
        RECT expected;
    } fractional[] = {
        {1920, 1080, 125, 3072, 1728, {576, 144, 2496, 1584}}, {1280, 800, 125, 2048, 1280, {384, 160, 1664, 1120}},
        {1366, 768, 125, 2186, 1228, {453, 134, 1733, 1094}},  {1024, 600, 125, 1638, 960, {179, 0, 1459, 960}},
        {800, 600, 125, 1280, 960, {0, 0, 1280, 960}},         {1080, 1920, 125, 1728, 3072, {224, 1056, 1504, 2016}},
        {1920, 1080, 150, 2560, 1440, {320, 0, 2240, 1440}},   {1280, 800, 150, 1706, 1066, {213, 53, 1493, 1013}},
        {1366, 768, 150, 1822, 1024, {271, 32, 1551, 992}},    {1024, 600, 150, 1366, 800, {150, 0, 1216, 800}},
        {800, 600, 150, 1066, 800, {0, 0, 1066, 799}},         {1080, 1920, 150, 1440, 2560, {80, 800, 1360, 1760}},
    };
    auto check = [](int width, int height, const RECT& to, const RECT& expected, const std::string& what) {
        EXPECT_EQ(Tie(to), Tie(expected)) << what;
        const int w = to.right - to.left, h = to.bottom - to.top;
        EXPECT_TRUE(to.left >= 0 && to.top >= 0 && to.right <= width && to.bottom <= height) << what;
        EXPECT_LE(std::abs(w * 3 - h * 4), 4) << what;
        EXPECT_TRUE((w % 640 == 0 && w >= 1280) || w == width || h == height) << what;
    };
    for (const auto& m : monitors) {
        check(m.width, m.height, TestPresentDestination(m.width, m.height), m.expected,
              std::to_string(m.width) + "x" + std::to_string(m.height));
    }
    for (const auto& f : fractional) {
        check(f.bufferWidth, f.bufferHeight, TestPresentDestination(f.bufferWidth, f.bufferHeight), f.expected,
              std::to_string(f.width) + "x" + std::to_string(f.height) + " at " + std::to_string(f.scalePercent) + "%");
    }
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
// with the bars black again, and the one after sends nothing, its picture being the one shown (the renderer's always
// sends it all).
TEST_P(Presentation, AnExposedWindowIsSentWholeWithItsBarsBlackAgain) {
    const bool framebuffer = std::string(GetParam().name) == "framebuffer";
    SDL_Window* window = HarnessWindow()->sdlWindow;
    SDL_SetWindowSize(window, 1920, 1080);
    TestPumpEvents();
    TestCaptureWindow(true);
    const RECT whole = {0, 0, 1920, 1080}, nothing = {0, 0, 0, 0};
    const RECT usual = framebuffer ? nothing : whole;
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

// The soak's script (both scenes, surface losses, minimising, Alt+Enter, window sizes, palette changes) run twice, once
// with every frame converted and sent whole and once sending only what changed: the window, as it stands after each
// present, must be the same in every pixel of every frame. The window is read from what the presenter left in it, so
// a band that damage missed would show the stale pixels of an earlier frame.
struct SoakFilm {
    std::vector<uint64_t> frames;  // per presented frame: its window's size and every pixel, hashed
    uint64_t pixelsSent = 0;
    int status = -1;
    std::string stuck;
    long walks = 0;
    int kindsSeen = 0;  // of losses, minimising, Alt+Enter, resizes and palette changes, those that came twice or more
};

// The standard library's hash of the bytes, which stays fast in a build without optimisation.
uint64_t HashWindow(const std::vector<uint32_t>& pixels, int width, int height) {
    const std::string_view bytes(reinterpret_cast<const char*>(pixels.data()), pixels.size() * sizeof(uint32_t));
    return std::hash<std::string_view>{}(bytes) ^ (uint64_t(width) << 32 | uint32_t(height));
}

// The program keeps its window class and its state for the life of the process, as on Windows, so each run of it
// gets a process of its own: a child that runs the script and hands its film back through a pipe.
void RunScript(SoakFilm& film, bool whole, long frames);

SoakFilm RunSoakScript(bool whole, long frames) {
    int ends[2];
    if (pipe(ends) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(ends[0]);
        SoakFilm film;
        RunScript(film, whole, frames);
        std::string out = std::to_string(film.status) + " " + std::to_string(film.pixelsSent) + " " +
                          std::to_string(film.walks) + " " + std::to_string(film.kindsSeen) + " " +
                          std::to_string(film.frames.size()) + "\n" + film.stuck + "\n";
        out.append(reinterpret_cast<const char*>(film.frames.data()), film.frames.size() * sizeof(uint64_t));
        for (size_t at = 0; at < out.size();) {
            const ssize_t wrote = write(ends[1], out.data() + at, out.size() - at);
            if (wrote <= 0) _exit(1);
            at += size_t(wrote);
        }
        _exit(0);
    }
    close(ends[1]);
    std::string in;
    char buffer[65536];
    for (ssize_t got; (got = read(ends[0], buffer, sizeof buffer)) > 0;) in.append(buffer, size_t(got));
    close(ends[0]);
    int childStatus = -1;
    waitpid(child, &childStatus, 0);
    SoakFilm film;
    size_t count = 0;
    std::istringstream head(in);
    head >> film.status >> film.pixelsSent >> film.walks >> film.kindsSeen >> count;
    head.ignore(1);
    std::getline(head, film.stuck);
    const size_t at = size_t(head.tellg());
    if (!WIFEXITED(childStatus) || WEXITSTATUS(childStatus) != 0 || in.size() != at + count * sizeof(uint64_t)) {
        film.status = -1;
        return film;
    }
    film.frames.resize(count);
    std::memcpy(film.frames.data(), in.data() + at, count * sizeof(uint64_t));
    return film;
}

void RunScript(SoakFilm& film, bool whole, long frames) {
    WindowStartInWindow(false);
    TestPresentWholeFrames(whole);
    TestCaptureWindow(true);
    TestCaptureDebugOutput(true);
    // The frame-rate text changes as it would at 60 frames a second, the same in both runs.
    TestSetClock(500000);
    soak::Soak soak;
    soak.frames = frames;
    soak.Densify(24000 / frames);
    soak.stick = TestAttachJoystick(2, 10, 0);
    uint32_t presents = TestPresentCount();
    const uint64_t sentBefore = TestPresentPixelsSent();
    TestSetSleepHook([&](DWORD) {
        std::vector<uint32_t> pixels;
        int width = 0, height = 0;
        if (TestPresentCount() != presents && TestLastWindowPixels(&pixels, &width, &height))
            film.frames.push_back(HashWindow(pixels, width, height));
        presents = TestPresentCount();
        TestAdvanceClock(16);
        soak.AfterFrame();
    });
    TestSetPumpHook([&] { soak.OnPump(); });
    film.status = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    TestSetSleepHook(nullptr);
    TestSetPumpHook(nullptr);
    TestTakeDebugOutput();
    TestCaptureDebugOutput(false);
    TestDetachJoystick(soak.stick);
    TestClearDisplayHooks();
    film.pixelsSent = TestPresentPixelsSent() - sentBefore;
    film.stuck = soak.stuck;
    film.walks = soak.walksLeft + soak.walksRight;
    for (int kind : {soak::kLoss, soak::kMinimise, soak::kAltEnter, soak::kResize, soak::kPaletteChange})
        film.kindsSeen += soak.due[kind].count >= 2;
}

class PresentDamage : public ::testing::TestWithParam<PathCase> {};

TEST_P(PresentDamage, SendsOnlyWhatChangedAndTheWindowIsEveryFrameAsIfSentWhole) {
    ASSERT_EQ(setenv(GetParam().variable, GetParam().value, 1), 0);
    // Under the sanitizers half the frames, with the faults twice as dense, keep the run within the suite's time.
    const long frames = soak::kSanitized ? 1500 : 3000;
    const SoakFilm whole = RunSoakScript(true, frames);
    const SoakFilm damage = RunSoakScript(false, frames);
    for (const SoakFilm* film : {&whole, &damage}) {
        EXPECT_EQ(film->status, 0);
        EXPECT_EQ(film->stuck, "");
        EXPECT_GE(film->walks, 2) << "both scenes ran";
        EXPECT_EQ(film->kindsSeen, 5);
    }
    ASSERT_GT(whole.frames.size(), size_t(frames) * 9 / 10);
    ASSERT_EQ(damage.frames.size(), whole.frames.size());
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < whole.frames.size(); ++i) {
        if (damage.frames[i] != whole.frames[i] && differing++ == 0) first = i + 1;
    }
    EXPECT_EQ(differing, 0u) << "the first differing frame is presented frame " << first;
    EXPECT_LT(damage.pixelsSent * 10, whole.pixelsSent) << "most of each frame stayed unsent";
}

INSTANTIATE_TEST_SUITE_P(Paths, PresentDamage, ::testing::ValuesIn(kPaths),
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

// A flip takes the next refresh (60 Hz where the mode does not say, as on the dummy driver), as a display with vsync
// would show it: the refreshes tick at exact multiples of 1e9 / 60 ns from the first flip, rounded down to the
// nanosecond, and each frame takes one. A frame is never sent before the refresh the last one took has ended: an
// on-time frame goes exactly on that refresh's end, a late one at once, taking the refresh it landed in, so nothing
// hurries to catch up. The wait falls in the program's Sleep after its flip where there is one, which then rests at
// least as long as asked; else in the next flip, before it sends. Without vsync nobody waits but Sleep.
class PresentPacing : public ::testing::TestWithParam<const char*> {};

TEST_P(PresentPacing, AThousandFlipsOfAnyWorkEachTakeOneOfTheDisplaysRefreshes) {
    constexpr uint64_t kSecond = 1000000000u, kMs = 1000000u;
    const auto tick = [](uint64_t k) { return k * kSecond / 60; };  // from the first flip
    // The refresh a frame sent at t (from the first flip) lands in: the first to end at or after t.
    const auto landsIn = [](uint64_t t) { return (t * 60 + kSecond - 1) / kSecond; };
    const std::string vsync = GetParam();
    ASSERT_EQ(setenv("SDL_RENDER_VSYNC", vsync.c_str(), 1), 0);
    ASSERT_TRUE(HarnessStart()) << HarnessError();
    TestUsePacingClock(true);
    // The work before each flip: nothing, part of a period, exactly up to the next refresh, more than a period; then
    // no Sleep, the program's Sleep(1), or a Sleep longer than a period. The last 181 frames are the program's loop
    // with nothing to do, so the count ends on a run of on-time frames.
    std::mt19937 random(20);
    constexpr uint64_t kUpToTheRefresh = ~uint64_t(0);
    struct Frame {
        uint64_t work;
        DWORD sleep;
        bool sleeps;
    };
    std::vector<Frame> frames;
    for (int i = 0; i < 1000; ++i) {
        const int kind = i >= 819 ? 0 : int(random() % 4);
        const int rest = i >= 819 ? 1 : int(random() % 3);
        frames.push_back({kind == 0   ? 0
                          : kind == 1 ? random() % tick(1)
                          : kind == 2 ? kUpToTheRefresh
                                      : tick(1) + random() % (3 * tick(1)),
                          rest == 2 ? DWORD(30) : DWORD(1), rest != 0});
    }
    uint64_t now = 0, start = 0;
    uint64_t refresh = 0;  // the refresh the last frame took
    uint64_t owed = 0;     // its end, before which the next frame may not be sent
    std::vector<uint64_t> sent, expected;
    int late = 0, onTime = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        uint64_t w = frames[i].work;
        if (w == kUpToTheRefresh)
            w = i == 0 || vsync != "1" || start + tick(refresh + 1) < now ? 0 : start + tick(refresh + 1) - now;
        TestAdvancePacingClock(w);
        ASSERT_EQ(app.primarySurface->Flip(NULL, 0), DD_OK);
        // The display's side of it.
        const uint64_t called = now + w;
        const uint64_t sends = std::max(called, owed);
        if (i == 0) start = sends;
        if (i > 0 && vsync == "1") {
            const uint64_t landed = landsIn(sends - start);
            (landed > refresh + 1 ? late : onTime) += 1;
            refresh = std::max(refresh + 1, landed);
            owed = start + tick(refresh);
        }
        std::vector<uint64_t> waits = TestTakePacingWaits();
        EXPECT_EQ(waits, sends > called ? std::vector<uint64_t>{sends - called} : std::vector<uint64_t>{})
            << "flip " << i;
        now = called;
        for (uint64_t wait : waits) now += wait;
        sent.push_back(now);
        expected.push_back(sends);
        if (!frames[i].sleeps) continue;
        Sleep(frames[i].sleep);
        const uint64_t rests = std::max(now + frames[i].sleep * kMs, owed);
        waits = TestTakePacingWaits();
        EXPECT_EQ(waits, std::vector<uint64_t>{rests - now}) << "the Sleep after flip " << i;
        for (uint64_t wait : waits) now += wait;
    }
    TestUsePacingClock(false);
    HarnessStop();
    EXPECT_EQ(sent, expected);
    if (vsync == "1") {
        EXPECT_GT(late, 100);
        EXPECT_GT(onTime, 500);
        // The last 180 frames went out a refresh apart, each on a refresh's end: 60 in every second, to the nanosecond.
        for (size_t i = sent.size() - 120; i < sent.size(); ++i) {
            ASSERT_EQ(sent[i] - sent[i - 60], kSecond) << "flip " << i;
            ASSERT_EQ(tick(landsIn(sent[i] - start)), sent[i] - start) << "flip " << i << " went off the beat";
        }
    }
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(Vsync, PresentPacing, ::testing::Values("1", "0"),
                         [](const auto& info) { return std::string(info.param) == "1" ? "On" : "Off"; });

// A window that keeps refusing the picture: one line says why until a present goes through again, and the flips
// still take a refresh each, waited out before the next flip sends or in the Sleep after the last. The framebuffer
// path paces every flip; the renderer's vsync paces the shown frames, and the refused ones wait as the framebuffer's
// do.
class PresentRefused : public ::testing::TestWithParam<PathCase> {};

TEST_P(PresentRefused, IsSaidOnceAndTheFlipsStayPaced) {
    // The refreshes from the first paced flip, to the nanosecond.
    const auto period = [](uint64_t k) { return (k + 1) * 1000000000u / 60 - k * 1000000000u / 60; };
    const bool framebuffer = std::string(GetParam().name) == "framebuffer";
    {
        ASSERT_EQ(setenv("SDL_RENDER_VSYNC", "1", 1), 0);
        ASSERT_EQ(setenv(GetParam().variable, GetParam().value, 1), 0);
        ASSERT_TRUE(HarnessStart()) << HarnessError();
        TestUsePacingClock(true);
        testing::internal::CaptureStderr();
        const struct {
            bool refused;
            bool framebufferWaits, rendererWaits;
        } frames[] = {
            {false, false, false},  // the first flip starts the count
            {true, true, false},    // the renderer's first refused flip starts its own count
            {true, true, true},     // still refused: said no more, and waits
            {true, true, true},     //
            {false, true, false},   // shown again
            {true, true, true},     // refused again: said again
        };
        std::vector<uint64_t> waits;
        uint64_t refresh = 0;
        for (const auto& f : frames) {
            TestRefusePresents(f.refused ? 1 : 0);
            EXPECT_EQ(app.primarySurface->Flip(NULL, 0), f.refused ? DDERR_GENERIC : DD_OK);
            if (framebuffer ? f.framebufferWaits : f.rendererWaits) waits.push_back(period(refresh++));
        }
        Sleep(1);  // rests through the refresh the last flip took
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
