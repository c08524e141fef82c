// The headless display harness: the program's own window and display set-up and teardown, without its loop.
#include "tests/harness.h"

#include "app/app.h"
#include "display/display.h"

#include <cstdio>
#include <cstring>

namespace {

std::string lastError;
HWND window = nullptr;

// Copies between a surface, locked whole, and rows of pixels top-down; false when the lock or the size fails.
bool CopyPixels(LPDIRECTDRAWSURFACE7 surface, std::vector<BYTE>* pixels, bool toSurface) {
    DDSURFACEDESC2 d = HarnessDescription();
    if (surface->Lock(NULL, &d, 0, NULL) != DD_OK) return false;
    const size_t width = d.dwWidth;
    if (!toSurface) pixels->resize(width * d.dwHeight);
    const bool fits = pixels->size() == width * d.dwHeight;
    for (DWORD row = 0; fits && row < d.dwHeight; ++row) {
        BYTE* line = static_cast<BYTE*>(d.lpSurface) + ptrdiff_t(row) * d.lPitch;
        if (toSurface)
            std::memcpy(line, &(*pixels)[row * width], width);
        else
            std::memcpy(&(*pixels)[row * width], line, width);
    }
    surface->Unlock(NULL);
    return fits;
}

}  // namespace

bool HarnessStart(const PALETTEENTRY* palette) {
    lastError.clear();
    TestClearDisplayHooks();
    TestCaptureFrames(true);
    // A failed step's message box names the step.
    TestCaptureMessageBoxes(true);
    window = InitWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
    const HRESULT result = window ? InitDirectDraw(window) : E_FAIL;
    const std::vector<TestMessageBox> boxes = TestTakeMessageBoxes();
    TestCaptureMessageBoxes(false);
    if (result != DD_OK) {
        lastError = window == nullptr ? "InitWindow failed" : boxes.empty() ? "InitDirectDraw failed" : boxes[0].text;
        window = nullptr;  // a failed display set-up destroys the window
        return false;
    }
    if (palette && app.palette->SetEntries(0, 0, 256, const_cast<LPPALETTEENTRY>(palette)) != DD_OK) {
        lastError = "SetEntries failed";
        return false;
    }
    return true;
}

void HarnessStop() {
    if (window) DestroyWindow(window);
    window = nullptr;
    MSG quit;
    while (PeekMessageA(&quit, NULL, 0, 0, PM_REMOVE)) {
    }
    TestClearDisplayHooks();
}

const std::string& HarnessError() { return lastError; }

HWND HarnessWindow() { return window; }

std::string HarnessLeaks(const TestLiveObjects& live) {
    const std::pair<const char*, int> counts[] = {
        {"directDraws", live.directDraws},   {"surfaces", live.surfaces},
        {"palettes", live.palettes},         {"dcs", live.dcs},
        {"bitmaps", live.bitmaps},           {"fonts", live.fonts},
        {"directInputs", live.directInputs}, {"inputDevices", live.inputDevices},
        {"windows", live.windows},
    };
    std::string leaks;
    for (const auto& [name, count] : counts)
        if (count) leaks += std::string(leaks.empty() ? "" : " ") + name + "=" + std::to_string(count);
    return leaks;
}

TestFrame HarnessLastFrame() {
    TestFrame frame;
    if (!TestLastFrame(&frame)) frame.indices.clear();
    return frame;
}

DDSURFACEDESC2 HarnessDescription(DWORD flags, DWORD caps) {
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = flags;
    description.ddsCaps.dwCaps = caps;
    return description;
}

LPDIRECTDRAWSURFACE7 HarnessMakeSurface(int width, int height, const std::vector<BYTE>& pixels) {
    if (!app.directDraw) return nullptr;
    DDSURFACEDESC2 description = HarnessDescription(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, DDSCAPS_OFFSCREENPLAIN);
    description.dwWidth = DWORD(width);
    description.dwHeight = DWORD(height);
    LPDIRECTDRAWSURFACE7 surface = nullptr;
    if (app.directDraw->CreateSurface(&description, &surface, NULL) != DD_OK) return nullptr;
    if (pixels.empty() || HarnessWritePixels(surface, pixels)) return surface;
    surface->Release();
    return nullptr;
}

std::vector<BYTE> HarnessReadPixels(LPDIRECTDRAWSURFACE7 surface) {
    std::vector<BYTE> pixels;
    return CopyPixels(surface, &pixels, false) ? pixels : std::vector<BYTE>{};
}

bool HarnessWritePixels(LPDIRECTDRAWSURFACE7 surface, const std::vector<BYTE>& pixels) {
    return CopyPixels(surface, const_cast<std::vector<BYTE>*>(&pixels), true);
}

DWORD SourceKey(LPDIRECTDRAWSURFACE7 surface) {
    DDCOLORKEY key = {};
    if (surface == nullptr || surface->GetColorKey(DDCKEY_SRCBLT, &key) != DD_OK) return 0xFFFFFFFFu;
    return key.dwColorSpaceLowValue;
}

Image SurfaceImage(LPDIRECTDRAWSURFACE7 surface) {
    DDSURFACEDESC2 description = HarnessDescription();
    if (surface == nullptr || surface->GetSurfaceDesc(&description) != DD_OK) return {};
    Image image{int(description.dwWidth), int(description.dwHeight), HarnessReadPixels(surface)};
    return image.pixels.size() == size_t(image.width) * size_t(image.height) ? image : Image{};
}

void Paste(Image& destination, int x, int y, const Image& source, const RECT& rect, DWORD low, DWORD high) {
    for (int row = rect.top; row < rect.bottom; ++row) {
        for (int column = rect.left; column < rect.right; ++column) {
            const int toX = x + column - rect.left, toY = y + row - rect.top;
            if (column < 0 || row < 0 || column >= source.width || row >= source.height || toX < 0 || toY < 0 ||
                toX >= destination.width || toY >= destination.height)
                continue;
            const BYTE pixel = source.at(column, row);
            if (pixel < low || pixel > high) destination.pixels[size_t(toY) * destination.width + toX] = pixel;
        }
    }
}

std::string Difference(const Image& expected, const TestFrame& frame) {
    if (frame.indices.size() != 640u * 480u) return "no frame";
    if (expected.width != 640 || expected.height != 480) return "no picture to compare";
    if (expected.pixels == frame.indices) return "";
    size_t at = 0;
    while (expected.pixels[at] == frame.indices[at]) ++at;
    char where[96];
    std::snprintf(where, sizeof(where), "(%d, %d): expected %d, shown %d", int(at % 640), int(at / 640),
                  expected.pixels[at], frame.indices[at]);
    return where;
}

void HarnessTest::SetUp() { ASSERT_TRUE(HarnessStart(Palette())) << HarnessError(); }

void HarnessTest::TearDown() {
    HarnessStop();
    EXPECT_EQ(HarnessLeaks(), "");
}
