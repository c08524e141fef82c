// The display's hot paths, each beside a memcpy of the same bytes: the renderer path's conversion of a frame into its
// texture, a full-screen unkeyed BltFast and the keyed title-logo blit (the kernels of blit.cpp).
#include <benchmark/benchmark.h>

#include "bench/floors.h"
#include "bench/rig.h"
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <array>
#include <random>
#include <vector>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

std::vector<BYTE> RandomIndices(size_t count) {
    std::mt19937 random(7);
    std::vector<BYTE> pixels(count);
    for (BYTE& p : pixels) p = BYTE(random());
    return pixels;
}

void BM_PresentConvert(benchmark::State& state) {
    const std::vector<BYTE> frame = RandomIndices(kWidth * kHeight);
    std::array<PALETTEENTRY, 256> greys;
    for (int i = 0; i < 256; ++i) greys[size_t(i)] = {BYTE(i), BYTE(i), BYTE(i), 0};
    uint32_t table[256];
    PresentBuildTable(greys.data(), table);
    std::vector<uint32_t> argb(kWidth * kHeight);
    for (auto _ : state) {
        PresentConvertFrame(frame.data(), kWidth, table, argb.data(), kWidth * 4);
        benchmark::DoNotOptimize(argb.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_PresentConvert);

void BM_MemcpyArgbFrame(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * kHeight * 4); }
BENCHMARK(BM_MemcpyArgbFrame);

// The background as the walk scene draws it: the copy itself. A page that already shows the same copy writes nothing
// (the walk scene's frame rows in bench_frame.cpp), so the shortcuts are off here.
void BM_BltFastFullScreen(benchmark::State& state) {
    BenchRig rig(false);
    if (!rig.ok()) {
        state.SkipWithError("no display");
        return;
    }
    TestPresentWholeFrames(true);
    for (auto _ : state) {
        if (app.backBuffer->BltFast(0, 0, app.backgroundSurface, &app.backgroundRect, DDBLTFAST_NOCOLORKEY) != DD_OK) {
            state.SkipWithError("BltFast failed");
        }
    }
    TestPresentWholeFrames(false);
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
}
BENCHMARK(BM_BltFastFullScreen);

void BM_MemcpyScreen(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * kHeight); }
BENCHMARK(BM_MemcpyScreen);

// The title logo from the TITLE surface, keyed by its green, as the input-test scene draws it.
void BM_BltFastKeyedLogo(benchmark::State& state) {
    BenchRig rig(false);
    if (!rig.ok()) {
        state.SkipWithError("no display");
        return;
    }
    RECT logo = {0, 0, kWidth, 100};
    for (auto _ : state) {
        if (app.backBuffer->BltFast(0, 100, app.titleSurface, &logo, DDBLTFAST_SRCCOLORKEY) != DD_OK) {
            state.SkipWithError("BltFast failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * 100);
}
BENCHMARK(BM_BltFastKeyedLogo);

void BM_MemcpyLogo(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * 100); }
BENCHMARK(BM_MemcpyLogo);

}  // namespace
