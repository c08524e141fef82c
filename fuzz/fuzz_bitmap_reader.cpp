// Fuzzes the bitmap reader behind LoadImageA with the bytes of a whole file and of a packed resource,
// then draws whatever it accepted, so every pixel it stored is read back through GDI.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <cstdlib>

namespace {

IDirectDraw7* directDraw = nullptr;  // kept for the whole run, as the program keeps its own

IDirectDrawSurface7* Target() {
    static IDirectDrawSurface7* surface = [] {
        if (DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&directDraw), IID_IDirectDraw7, nullptr) != DD_OK)
            std::abort();
        DDSURFACEDESC2 ddsd = {};
        ddsd.dwSize = sizeof(ddsd);
        ddsd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        ddsd.dwWidth = 37;
        ddsd.dwHeight = 23;
        IDirectDrawSurface7* made = nullptr;
        if (directDraw->CreateSurface(&ddsd, &made, nullptr) != DD_OK) std::abort();
        return made;
    }();
    return surface;
}

void Draw(HBITMAP bitmap) {
    BITMAP record = {};
    if (GetObjectA(bitmap, sizeof(record), &record) != int(sizeof(record)) || record.bmWidth <= 0 ||
        record.bmHeight <= 0)
        std::abort();
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    for (int y : {0, record.bmHeight / 2, record.bmHeight - 1}) {
        for (int x : {0, record.bmWidth / 2, record.bmWidth - 1}) {
            if (GetPixel(memory, x, y) == CLR_INVALID) std::abort();
        }
    }
    HDC surfaceDC = nullptr;
    if (Target()->GetDC(&surfaceDC) == DD_OK) {
        StretchBlt(surfaceDC, 0, 0, 37, 23, memory, 0, 0, record.bmWidth, record.bmHeight, SRCCOPY);
        StretchBlt(surfaceDC, -5, -5, 50, 50, memory, record.bmWidth / 2, 1, record.bmWidth, 3, SRCCOPY);
        Target()->ReleaseDC(surfaceDC);
    }
    SelectObject(memory, old);
    DeleteDC(memory);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool withFileHeader : {true, false}) {
        HBITMAP bitmap = BitmapRead(data, size, withFileHeader);
        if (bitmap != nullptr) {
            Draw(bitmap);
            if (!DeleteObject(bitmap)) std::abort();
        }
    }
    TestLiveObjects live = TestGetLiveObjects();
    if (live.bitmaps != 0 || live.dcs != 0) std::abort();
    return 0;
}
