// Whole frames: FrameUpdate in each scene with the page flip and its presentation (every frame sent whole, and only
// what changed, back to back and each after resting out a refresh), the same without the present, and the present on
// its own (whole, unchanged, a moved cursor), each beside a floor of memset/memcpy/memcmp of the bytes it writes or
// compares, measured in the same run.
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

constexpr Uint32 kRestMs = 15;

// What the program's loop leaves between frames: the rest of a refresh, asleep.
void Rest(benchmark::State& state) {
    state.PauseTiming();
    SDL_Delay(kRestMs);
    state.ResumeTiming();
}

// shown: the flip presents as always; otherwise every flip is refused, so the figure is the scene, the counter
// and the flip call without the present, which is what separates the frame's own work from the presentation.
// whole: every present converts and sends the whole picture, as before presents sent only what changed.
// rested: each frame comes after resting out the rest of a refresh, as the program's loop does, so it finds what
// other processes left in the caches rather than its own bytes.
void FrameInScene(benchmark::State& state, BYTE scene, bool shown, size_t bytesWritten, bool whole = true,
                  bool rested = false) {
    ProgramRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    TestPresentWholeFrames(whole);
    app.scene = scene;
    WarmUp();
    if (!shown) TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Flip, DDERR_GENERIC, kTestUntilCleared);
    const uint32_t presents = TestPresentCount();
    for (auto _ : state) {
        if (rested) Rest(state);
        FrameUpdate();
    }
    if (app.fpsText[0] == '\0') state.SkipWithError("no frame-rate text was drawn");
    if ((TestPresentCount() != presents) != shown) state.SkipWithError("the flips did not do what was asked");
    TestClearDisplayHooks();
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytesWritten));
}

// A frame compares the picture with the one shown last before it sends anything.
constexpr size_t kCompareBytes = 2 * kScreenBytes;

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

// The frames as they run now: the input-test screen at rest and the walk scene standing, nothing to send but the
// counter once a second.
void BM_FrameUpdateInputTestDamage(benchmark::State& state) {
    FrameInScene(state, SCENE_TITLE_INIT, true, kTitleWorkBytes + kCompareBytes, false);
}
BENCHMARK(BM_FrameUpdateInputTestDamage);

void BM_FrameUpdateWalkDamage(benchmark::State& state) {
    FrameInScene(state, SCENE_GAME_INIT, true, kWalkWorkBytes + kCompareBytes, false);
}
BENCHMARK(BM_FrameUpdateWalkDamage);

// The same, each frame after the rest of a refresh.
void BM_FrameUpdateInputTestRested(benchmark::State& state) {
    FrameInScene(state, SCENE_TITLE_INIT, true, kTitleWorkBytes + kCompareBytes, false, true);
}
BENCHMARK(BM_FrameUpdateInputTestRested)->Iterations(300);

void BM_FrameUpdateWalkRested(benchmark::State& state) {
    FrameInScene(state, SCENE_GAME_INIT, true, kWalkWorkBytes + kCompareBytes, false, true);
}
BENCHMARK(BM_FrameUpdateWalkRested)->Iterations(300);

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
    std::vector<BYTE> shown;
};

// The floor of a frame that sends nothing adds one comparison of the picture with the same one shown before, which
// has to read both to the end.
void DrawInputTestFloor(FloorBuffers& b) {
    std::memset(b.back.data(), kTitleClearIndex, kScreenBytes);
    CopyRect(b.back.data() + 100 * kWidth, b.source.data(), 640, 100);
    CopyRect(b.back.data() + 350 * kWidth, b.source.data() + 100 * kWidth, 640, 35);
    CopyRect(b.back.data() + 200 * kWidth + 300, b.source.data() + 400, 20, 20);
    for (int g = 0; g < 8; ++g) CopyRect(b.back.data() + g * 8, b.source.data() + g * 8, 8, 16);
}

int CompareFloor(const FloorBuffers& b) { return std::memcmp(b.back.data(), b.shown.data(), kScreenBytes); }

void FloorInputTest(benchmark::State& state, bool shown, bool compared = false, bool rested = false) {
    FloorBuffers b;
    DrawInputTestFloor(b);
    b.shown = b.back;
    for (auto _ : state) {
        if (rested) Rest(state);
        DrawInputTestFloor(b);
        if (shown) std::memcpy(b.window.data(), b.scaled.data(), b.window.size());
        if (compared) benchmark::DoNotOptimize(CompareFloor(b));
        benchmark::DoNotOptimize(b.window.data());
        benchmark::DoNotOptimize(b.back.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kTitleWorkBytes + (shown ? b.window.size() : 0)));
}

void DrawWalkFloor(FloorBuffers& b) {
    std::memcpy(b.back.data(), b.source.data(), kScreenBytes);
    CopyRect(b.back.data() + 400 * kWidth + 386, b.source.data() + 96 * kWidth + 36, 36, 48);
    for (int g = 0; g < 8; ++g) CopyRect(b.back.data() + g * 8, b.source.data() + g * 8, 8, 16);
}

void FloorWalk(benchmark::State& state, bool shown, bool compared = false, bool rested = false) {
    FloorBuffers b;
    DrawWalkFloor(b);
    b.shown = b.back;
    for (auto _ : state) {
        if (rested) Rest(state);
        DrawWalkFloor(b);
        if (shown) std::memcpy(b.window.data(), b.scaled.data(), b.window.size());
        if (compared) benchmark::DoNotOptimize(CompareFloor(b));
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
void BM_FloorInputTestCompared(benchmark::State& state) { FloorInputTest(state, false, true); }
BENCHMARK(BM_FloorInputTestCompared);
void BM_FloorWalkCompared(benchmark::State& state) { FloorWalk(state, false, true); }
BENCHMARK(BM_FloorWalkCompared);
void BM_FloorInputTestRested(benchmark::State& state) { FloorInputTest(state, false, true, true); }
BENCHMARK(BM_FloorInputTestRested)->Iterations(300);
void BM_FloorWalkRested(benchmark::State& state) { FloorWalk(state, false, true, true); }
BENCHMARK(BM_FloorWalkRested)->Iterations(300);

// The frame the presents below show, and the program's palette.
struct PresentRig : ProgramRig {
    PresentRig() {
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = BYTE(i * 7 + i / kWidth);
        app.palette->GetEntries(0, 0, 256, palette);
    }
    std::vector<BYTE> frame = std::vector<BYTE>(kScreenBytes);
    PALETTEENTRY palette[256];
};

// The whole present of one flip: the palette lookup and the scaling into the window's framebuffer, in one pass.
void BM_PresentToWindow(benchmark::State& state) {
    PresentRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    TestPresentWholeFrames(true);
    for (auto _ : state) {
        if (!PresentFrame(rig.frame.data(), kWidth, rig.palette)) state.SkipWithError("present failed");
    }
    TestPresentWholeFrames(false);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(PresentBytes()));
}
BENCHMARK(BM_PresentToWindow);

// What the present writes at the least: its bytes of the window, copied once.
void BM_FloorPresentToWindow(benchmark::State& state) { MemcpyFloor(state, PresentBytes()); }
BENCHMARK(BM_FloorPresentToWindow);

// A flip of the picture shown last: the comparison finds nothing, and nothing is converted or sent.
void BM_PresentUnchanged(benchmark::State& state) {
    PresentRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    PresentFrame(rig.frame.data(), kWidth, rig.palette);
    const uint64_t sent = TestPresentPixelsSent();
    for (auto _ : state) {
        if (!PresentFrame(rig.frame.data(), kWidth, rig.palette)) state.SkipWithError("present failed");
    }
    if (TestPresentPixelsSent() != sent) state.SkipWithError("an unchanged flip sent pixels");
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kCompareBytes));
}
BENCHMARK(BM_PresentUnchanged);

// A flip in which the input test's 20 x 20 cursor moved: its old and new squares converted and sent.
void BM_PresentCursorMoved(benchmark::State& state) {
    PresentRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the program could not start");
        return;
    }
    std::vector<BYTE> moved = rig.frame;
    for (int y = 230; y < 250; ++y) std::memset(&moved[size_t(y) * kWidth + 300], 255, 20);
    int i = 0;
    for (auto _ : state) {
        const BYTE* pixels = (i++ % 2 ? moved : rig.frame).data();
        if (!PresentFrame(pixels, kWidth, rig.palette)) state.SkipWithError("present failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kCompareBytes));
}
BENCHMARK(BM_PresentCursorMoved);

// The least an unchanged flip can do: compare the picture with the one shown last.
void BM_FloorCompareFrame(benchmark::State& state) {
    std::vector<BYTE> a(kScreenBytes, 3), b(kScreenBytes, 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::memcmp(a.data(), b.data(), kScreenBytes));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kCompareBytes));
}
BENCHMARK(BM_FloorCompareFrame);

}  // namespace
