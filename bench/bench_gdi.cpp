// The bitmap path of set-up and surface recovery: reading BACKIMG, and copying it into its surface by
// colour, each beside a memcpy of the same pixel bytes.
#include <benchmark/benchmark.h>

#include "display/display.h"
#include "platform/src/platform.h"

#include <cstring>
#include <vector>

namespace {

constexpr size_t kBackgroundBytes = 640 * 640;

void BM_ReadBackgroundBitmap(benchmark::State& state) {
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (!ResourceFindBitmap("BACKIMG", &data, &size)) {
        state.SkipWithError("BACKIMG is not among the resources");
        return;
    }
    for (auto _ : state) {
        HBITMAP bitmap = BitmapRead(data, size, false);
        benchmark::DoNotOptimize(bitmap);
        DeleteObject(bitmap);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBackgroundBytes));
}
BENCHMARK(BM_ReadBackgroundBitmap);

// DDCopyBitmap as RestoreAllSurfaces makes it: whole bitmap, whole 640 x 640 surface, 8-bit source.
void BM_CopyBackgroundBitmap(benchmark::State& state) {
    LPDIRECTDRAW7 directDraw = nullptr;
    DirectDrawCreateEx(nullptr, reinterpret_cast<LPVOID*>(&directDraw), IID_IDirectDraw7, nullptr);
    HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), "BACKIMG", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ddsd.dwWidth = 640;
    ddsd.dwHeight = 640;
    LPDIRECTDRAWSURFACE7 surface = nullptr;
    if (directDraw == nullptr || bitmap == nullptr || directDraw->CreateSurface(&ddsd, &surface, nullptr) != DD_OK) {
        state.SkipWithError("no surface or no BACKIMG");
    } else {
        for (auto _ : state) {
            benchmark::DoNotOptimize(DDCopyBitmap(surface, bitmap, 0, 0, 0, 0));
        }
        state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBackgroundBytes));
    }
    if (surface != nullptr) surface->Release();
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (directDraw != nullptr) directDraw->Release();
}
BENCHMARK(BM_CopyBackgroundBitmap);

void BM_MemcpyBackground(benchmark::State& state) {
    std::vector<BYTE> from(kBackgroundBytes, 1), to(kBackgroundBytes);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), kBackgroundBytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBackgroundBytes));
}
BENCHMARK(BM_MemcpyBackground);

}  // namespace
