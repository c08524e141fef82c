// The input-test scene's costs: one overlay line per call and one whole scene frame, each beside a floor of
// plain memset and memcpy over the bytes it writes.
#include <benchmark/benchmark.h>

#include "bench/rig.h"
#include "display/display.h"
#include "scenes/scenes.h"

#include <cstring>
#include <vector>

namespace {

const char kFace[] = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";
const char kLongestLine[] = "MousePoint (610, 450) 1 0 1";
// The cell of that line: 27 half-width characters of 5 pixels, 10 rows.
constexpr size_t kLineWidth = 27 * 5;
constexpr size_t kLineRows = 10;

// The input-test scene as its first frame finds it: the program's display and input, keyboard and mouse, no pad.
struct SceneRig : BenchRig {
    SceneRig() : BenchRig(false) {
        if (ok()) TitleInit();
    }
};

void BM_DrawOverlayText(benchmark::State& state) {
    SceneRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the scene could not be set up");
        return;
    }
    for (auto _ : state) {
        DrawOverlayText(200, 70, kLongestLine, 0xFFFFFF, 10, kFace, 0);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kLineWidth * kLineRows));
}
BENCHMARK(BM_DrawOverlayText);

// Filling the line's cell row by row, as the cheapest way to put anything there.
void BM_DrawOverlayTextFloor(benchmark::State& state) {
    std::vector<BYTE> screen(640 * 480);
    for (auto _ : state) {
        for (size_t row = 0; row < kLineRows; ++row) std::memset(&screen[(70 + row) * 640 + 200], 255, kLineWidth);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kLineWidth * kLineRows));
}
BENCHMARK(BM_DrawOverlayTextFloor);

// Clear, logo, prompt, three lines with their device reads, cursor: everything but the flip.
constexpr size_t kFrameBytes = 640 * 480 + 640 * 135 + 3 * kLineWidth * kLineRows + 20 * 20;

void BM_TitleFrame(benchmark::State& state) {
    SceneRig rig;
    if (!rig.ok()) {
        state.SkipWithError("the scene could not be set up");
        return;
    }
    for (auto _ : state) {
        TitleFrame();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_TitleFrame);

// The same bytes written plainly: one full-screen memset, the two title rectangles and the cursor copied
// row by row, the three line cells filled.
void BM_TitleFrameFloor(benchmark::State& state) {
    std::vector<BYTE> screen(640 * 480), title(640 * 480, 25), chara(640 * 480, 255);
    for (auto _ : state) {
        std::memset(screen.data(), kTitleClearIndex, screen.size());
        std::memcpy(&screen[100 * 640], &title[0], 640 * 100);
        std::memcpy(&screen[350 * 640], &title[100 * 640], 640 * 35);
        for (size_t line = 0; line < 3; ++line) {
            for (size_t row = 0; row < kLineRows; ++row) {
                std::memset(&screen[(50 + line * 10 + row) * 640 + 200], 255, kLineWidth);
            }
        }
        for (size_t row = 0; row < 20; ++row)
            std::memcpy(&screen[(300 + row) * 640 + 300], &chara[row * 640 + 400], 20);
        benchmark::DoNotOptimize(screen.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFrameBytes));
}
BENCHMARK(BM_TitleFrameFloor);

}  // namespace
