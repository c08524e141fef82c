// Whole frames: FrameUpdate in each scene with the page flip and its presentation, the same without the present,
// and the present on its own, each beside a floor of memset/memcpy of the bytes it writes, measured in the same run.
#include <benchmark/benchmark.h>

#include "app/app.h"
#include "bench/floors.h"
#include "bench/rig.h"
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr size_t kScreenBytes = size_t(kWidth) * kHeight;

// The program as start-up leaves it, a virtual pad attached, its frames driven by calling FrameUpdate as the main
// loop does, the frame-rate counter started afresh.
struct ProgramRig : BenchRig {
    ProgramRig() : BenchRig(true) {
        app.nowMs = app.lastFpsMs = GetTickCount();
        app.frameCount = 0;
        app.fpsText[0] = '\0';
    }
};

// The frame-rate text is up within a second of frames; the figures are for frames that draw it, as nearly all do.
void WarmUp() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1100) FrameUpdate();
}

// shown: the flip presents as always; otherwise every flip is refused, so the figure is the scene, the counter
// and the flip call without the present, which is what separates the frame's own work from the presentation.
void FrameInScene(benchmark::State& state, BYTE scene, bool shown, size_t bytesWritten) {
    ProgramRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    app.scene = scene;
    WarmUp();
    if (!shown) TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Flip, DDERR_GENERIC, kTestUntilCleared);
    const uint32_t presents = TestPresentCount();
    for (auto _ : state) FrameUpdate();
    if (app.fpsText[0] == '\0') state.SkipWithError("no frame-rate text was drawn");
    if ((TestPresentCount() != presents) != shown) state.SkipWithError("the flips did not do what was asked");
    TestClearDisplayHooks();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytesWritten));
}

// Bytes a frame of each scene writes. The input-test scene: the clear, the logo, the prompt, the cursor and the
// counter's eight glyphs (the text's ink, a few hundred bytes, is left out); the walk scene: the background, the
// sprite and the glyphs. A shown frame adds what the present writes: the picture's rectangle of the window's
// framebuffer, 32 bits a pixel, scaled to the window (the dummy driver's desktop is 1024 x 768).
constexpr size_t kGlyphBytes = 8 * 8 * 16;
constexpr size_t kTitleWorkBytes = kScreenBytes + 640 * 100 + 640 * 35 + 20 * 20 + kGlyphBytes;
constexpr size_t kWalkWorkBytes = kScreenBytes + 36 * 48 + kGlyphBytes;

size_t PresentBytes() {
    SDL_DisplayMode desktop = {};
    if (!SystemInitVideo() || SDL_GetDesktopDisplayMode(0, &desktop) != 0) return 0;
    const SDL_Rect picture = PresentDestination(desktop.w, desktop.h);
    return size_t(picture.w) * size_t(picture.h) * 4;
}

void BM_FrameUpdateInputTest(benchmark::State& state) {
    FrameInScene(state, SCENE_TITLE_INIT, true, kTitleWorkBytes + PresentBytes());
}
BENCHMARK(BM_FrameUpdateInputTest);

void BM_FrameUpdateWalk(benchmark::State& state) {
    FrameInScene(state, SCENE_GAME_INIT, true, kWalkWorkBytes + PresentBytes());
}
BENCHMARK(BM_FrameUpdateWalk);

void BM_FrameWorkInputTest(benchmark::State& state) { FrameInScene(state, SCENE_TITLE_INIT, false, kTitleWorkBytes); }
BENCHMARK(BM_FrameWorkInputTest);

void BM_FrameWorkWalk(benchmark::State& state) { FrameInScene(state, SCENE_GAME_INIT, false, kWalkWorkBytes); }
BENCHMARK(BM_FrameWorkWalk);

// Copies a width x height rectangle between two 640-wide buffers, row by row as a blit does.
void CopyRect(BYTE* to, const BYTE* from, int width, int height) {
    for (int row = 0; row < height; ++row) {
        std::memcpy(to + size_t(row) * kWidth, from + size_t(row) * kWidth, size_t(width));
    }
}

// The shown frame's floor writes the present's bytes with one memcpy from a picture already of the window's size.
struct FloorBuffers {
    std::vector<BYTE> back = std::vector<BYTE>(kScreenBytes);
    std::vector<BYTE> source = std::vector<BYTE>(size_t(kWidth) * 640, 7);
    std::vector<BYTE> scaled = std::vector<BYTE>(PresentBytes(), 9);
    std::vector<BYTE> window = std::vector<BYTE>(scaled.size());
};

void FloorInputTest(benchmark::State& state, bool shown) {
    FloorBuffers b;
    for (auto _ : state) {
        std::memset(b.back.data(), kTitleClearIndex, kScreenBytes);
        CopyRect(b.back.data() + 100 * kWidth, b.source.data(), 640, 100);
        CopyRect(b.back.data() + 350 * kWidth, b.source.data() + 100 * kWidth, 640, 35);
        CopyRect(b.back.data() + 200 * kWidth + 300, b.source.data() + 400, 20, 20);
        for (int g = 0; g < 8; ++g) CopyRect(b.back.data() + g * 8, b.source.data() + g * 8, 8, 16);
        if (shown) std::memcpy(b.window.data(), b.scaled.data(), b.window.size());
        benchmark::DoNotOptimize(b.window.data());
        benchmark::DoNotOptimize(b.back.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTitleWorkBytes + (shown ? b.window.size() : 0)));
}

void FloorWalk(benchmark::State& state, bool shown) {
    FloorBuffers b;
    for (auto _ : state) {
        std::memcpy(b.back.data(), b.source.data(), kScreenBytes);
        CopyRect(b.back.data() + 400 * kWidth + 386, b.source.data() + 96 * kWidth + 36, 36, 48);
        for (int g = 0; g < 8; ++g) CopyRect(b.back.data() + g * 8, b.source.data() + g * 8, 8, 16);
        if (shown) std::memcpy(b.window.data(), b.scaled.data(), b.window.size());
        benchmark::DoNotOptimize(b.window.data());
        benchmark::DoNotOptimize(b.back.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kWalkWorkBytes + (shown ? b.window.size() : 0)));
}

void BM_FloorInputTestFrame(benchmark::State& state) { FloorInputTest(state, true); }
BENCHMARK(BM_FloorInputTestFrame);
void BM_FloorWalkFrame(benchmark::State& state) { FloorWalk(state, true); }
BENCHMARK(BM_FloorWalkFrame);
void BM_FloorInputTestWork(benchmark::State& state) { FloorInputTest(state, false); }
BENCHMARK(BM_FloorInputTestWork);
void BM_FloorWalkWork(benchmark::State& state) { FloorWalk(state, false); }
BENCHMARK(BM_FloorWalkWork);

// The whole present of one flip: the palette lookup and the scaling into the window's framebuffer, in one pass.
void BM_PresentToWindow(benchmark::State& state) {
    ProgramRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    std::vector<BYTE> frame(kScreenBytes);
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = BYTE(i * 7 + i / kWidth);
    PALETTEENTRY palette[256];
    app.palette->GetEntries(0, 0, 256, palette);
    for (auto _ : state) {
        if (!PresentFrame(frame.data(), kWidth, palette)) state.SkipWithError("present failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PresentBytes()));
}
BENCHMARK(BM_PresentToWindow);

// What the present writes at the least: its bytes of the window, copied once.
void BM_FloorPresentToWindow(benchmark::State& state) { MemcpyFloor(state, PresentBytes()); }
BENCHMARK(BM_FloorPresentToWindow);

}  // namespace
