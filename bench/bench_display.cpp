// The display's hot paths, each beside a memcpy of the same bytes: presenting a frame (conversion alone,
// and conversion with the texture upload), a full-screen unkeyed BltFast and the keyed title-logo blit.
#include <benchmark/benchmark.h>

#include "bench/floors.h"

#include "display/display.h"
#include "platform/src/platform.h"

#include <array>
#include <cstring>
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

// A palette of greys, which any present converts through as well as through the program's own.
std::array<PALETTEENTRY, 256> GreyPalette() {
    std::array<PALETTEENTRY, 256> palette;
    for (int i = 0; i < 256; ++i) palette[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    return palette;
}

// The program's display as set-up makes it: window, exclusive level, 640 x 480 x 8, flip chain.
struct Display {
    HWND window = nullptr;
    LPDIRECTDRAW7 directDraw = nullptr;
    LPDIRECTDRAWSURFACE7 primary = nullptr;
    LPDIRECTDRAWSURFACE7 back = nullptr;

    Display() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "DITessaryBench";
        static const bool registered = RegisterClassA(&windowClass) != 0;
        if (!registered) return;
        window = CreateWindowExA(0, "DITessaryBench", "bench", WS_OVERLAPPEDWINDOW, 0, 0, kWidth, kHeight, NULL, NULL,
                                 windowClass.hInstance, NULL);
        ShowWindow(window, SW_SHOWNORMAL);
        if (DirectDrawCreateEx(NULL, (LPVOID*)&directDraw, IID_IDirectDraw7, NULL) != DD_OK) return;
        directDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE);
        directDraw->SetDisplayMode(kWidth, kHeight, 8, 0, 0);
        DDSURFACEDESC2 description = {};
        description.dwSize = sizeof(description);
        description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        description.dwBackBufferCount = 1;
        if (directDraw->CreateSurface(&description, &primary, NULL) != DD_OK) return;
        DDSCAPS2 caps = {DDSCAPS_BACKBUFFER, 0, 0, 0};
        primary->GetAttachedSurface(&caps, &back);
    }
    ~Display() {
        if (primary) primary->Release();
        if (directDraw) directDraw->Release();
        if (window) DestroyWindow(window);
    }
    bool ok() const { return back != nullptr; }

    LPDIRECTDRAWSURFACE7 Offscreen(int width, int height, const std::vector<BYTE>& pixels) {
        DDSURFACEDESC2 description = {};
        description.dwSize = sizeof(description);
        description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        description.dwWidth = DWORD(width);
        description.dwHeight = DWORD(height);
        LPDIRECTDRAWSURFACE7 surface = nullptr;
        if (directDraw->CreateSurface(&description, &surface, NULL) != DD_OK) return nullptr;
        DDSURFACEDESC2 locked = {};
        locked.dwSize = sizeof(locked);
        surface->Lock(NULL, &locked, 0, NULL);
        for (int row = 0; row < height; ++row) {
            std::memcpy(static_cast<BYTE*>(locked.lpSurface) + ptrdiff_t(row) * locked.lPitch,
                        &pixels[size_t(row) * width], size_t(width));
        }
        surface->Unlock(NULL);
        return surface;
    }
};

void BM_PresentConvert(benchmark::State& state) {
    const std::vector<BYTE> frame = RandomIndices(kWidth * kHeight);
    uint32_t table[256];
    PresentBuildTable(GreyPalette().data(), table);
    std::vector<uint32_t> argb(kWidth * kHeight);
    for (auto _ : state) {
        PresentConvertFrame(frame.data(), kWidth, table, argb.data(), kWidth * 4);
        benchmark::DoNotOptimize(argb.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_PresentConvert);

void BM_PresentConvertAndUpload(benchmark::State& state) {
    Display display;
    if (!display.ok()) {
        state.SkipWithError("no display");
        return;
    }
    const std::vector<BYTE> frame = RandomIndices(kWidth * kHeight);
    for (auto _ : state) {
        if (!PresentUpload(frame.data(), kWidth, GreyPalette().data())) state.SkipWithError("upload failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_PresentConvertAndUpload);

void BM_MemcpyArgbFrame(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * kHeight * 4); }
BENCHMARK(BM_MemcpyArgbFrame);

void BM_BltFastFullScreen(benchmark::State& state) {
    Display display;
    if (!display.ok()) {
        state.SkipWithError("no display");
        return;
    }
    LPDIRECTDRAWSURFACE7 background = display.Offscreen(kWidth, 640, RandomIndices(size_t(kWidth) * 640));
    RECT rect = {0, 0, kWidth, kHeight};
    for (auto _ : state) {
        if (display.back->BltFast(0, 0, background, &rect, DDBLTFAST_NOCOLORKEY) != DD_OK) {
            state.SkipWithError("BltFast failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * kHeight);
    background->Release();
}
BENCHMARK(BM_BltFastFullScreen);

void BM_MemcpyScreen(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * kHeight); }
BENCHMARK(BM_MemcpyScreen);

// The title logo: the real TITLE bitmap and its key when the build carries it, else lettering-like stripes.
void BM_BltFastKeyedLogo(benchmark::State& state) {
    Display display;
    if (!display.ok()) {
        state.SkipWithError("no display");
        return;
    }
    LPDIRECTDRAWSURFACE7 title = DDLoadBitmap(display.directDraw, "TITLE", 0, 0);
    if (title) {
        DDApplyColorKey(title, kColorKeyGreen);
    } else {
        std::vector<BYTE> pixels(size_t(kWidth) * kHeight, 145);
        for (size_t i = 0; i < pixels.size(); ++i)
            if ((i / 7) % 3 == 0) pixels[i] = 25;
        title = display.Offscreen(kWidth, kHeight, pixels);
        DDCOLORKEY key = {145, 145};
        title->SetColorKey(DDCKEY_SRCBLT, &key);
    }
    RECT logo = {0, 0, kWidth, 100};
    for (auto _ : state) {
        if (display.back->BltFast(0, 100, title, &logo, DDBLTFAST_SRCCOLORKEY) != DD_OK) {
            state.SkipWithError("BltFast failed");
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kWidth * 100);
    title->Release();
}
BENCHMARK(BM_BltFastKeyedLogo);

void BM_MemcpyLogo(benchmark::State& state) { MemcpyFloor(state, size_t(kWidth) * 100); }
BENCHMARK(BM_MemcpyLogo);

}  // namespace
