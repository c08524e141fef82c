// The headless display harness: the program's window and DirectDraw set-up without its message loop.
#include "tests/harness.h"

#include "display/display.h"

namespace {

std::string lastError;
HWND window = nullptr;

// Mirrors what the program's window procedure does with the messages the display depends on.
LRESULT CALLBACK HarnessWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            app.active = HIWORD(wParam) == 0;
            return 0;
        case WM_SETCURSOR:
            SetCursor(NULL);
            return TRUE;
        default:
            return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool Fail(const std::string& step, HRESULT result) {
    char code[16];
    std::snprintf(code, sizeof(code), "%08X", unsigned(result));
    lastError = step + " failed: " + code;
    return false;
}

bool CreateHarnessWindow() {
    static bool registered = false;
    HINSTANCE instance = GetModuleHandleA(NULL);
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = HarnessWndProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
        windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
        windowClass.lpszClassName = "DITessaryHarness";
        if (!RegisterClassA(&windowClass)) return Fail("RegisterClassA", E_FAIL);
        registered = true;
    }
    window = CreateWindowExA(WS_EX_TOPMOST, "DITessaryHarness", "DirectInput Tessary", WS_OVERLAPPEDWINDOW, 0, 0, 640,
                             480, NULL, NULL, instance, NULL);
    if (!window) return Fail("CreateWindowExA", E_FAIL);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(window);
    return true;
}

bool LoadBitmapSurface(LPDIRECTDRAWSURFACE7* surface, LPCSTR name, COLORREF key, bool keyed) {
    *surface = DDLoadBitmap(app.directDraw, name, 0, 0);
    if (!*surface) return Fail(std::string("DDLoadBitmap ") + name, E_FAIL);
    if (keyed) DDApplyColorKey(*surface, key);
    return true;
}

bool BringUpDisplay(const HarnessOptions& options) {
    HRESULT r = DirectDrawCreateEx(NULL, (LPVOID*)&app.directDraw, IID_IDirectDraw7, NULL);
    if (r != DD_OK) return Fail("DirectDrawCreateEx", r);
    r = app.directDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE);
    if (r != DD_OK) return Fail("SetCooperativeLevel", r);
    r = app.directDraw->SetDisplayMode(640, 480, 8, 0, 0);
    if (r != DD_OK) return Fail("SetDisplayMode", r);

    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    description.dwBackBufferCount = 1;
    r = app.directDraw->CreateSurface(&description, &app.primarySurface, NULL);
    if (r != DD_OK) return Fail("CreateSurface", r);
    DDSCAPS2 caps = {};
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    r = app.primarySurface->GetAttachedSurface(&caps, &app.backBuffer);
    if (r != DD_OK) return Fail("GetAttachedSurface", r);

    if (options.palette) {
        r = app.directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, const_cast<LPPALETTEENTRY>(options.palette),
                                          &app.palette, NULL);
        if (r != DD_OK) return Fail("CreatePalette", r);
    } else {
        app.palette = DDLoadPalette(app.directDraw, "BACKIMG");
        if (!app.palette) return Fail("DDLoadPalette", E_FAIL);
    }
    r = app.primarySurface->SetPalette(app.palette);
    if (r != DD_OK) return Fail("SetPalette", r);

    if (!options.loadBitmaps) return true;
    return LoadBitmapSurface(&app.backgroundSurface, "BACKIMG", 0, false) &&
           LoadBitmapSurface(&app.glyphSurface, "STRINGS", kColorKeyGreen, true) &&
           LoadBitmapSurface(&app.titleSurface, "TITLE", kColorKeyGreen, true) &&
           LoadBitmapSurface(&app.charaSurface, "CHARA", CLR_INVALID, true);
}

template <typename T>
void ReleaseField(T*& field) {
    if (field) field->Release();
    field = nullptr;
}

}  // namespace

bool HarnessStart(const HarnessOptions& options) {
    lastError.clear();
    TestClearDisplayHooks();
    TestCaptureFrames(true);
    if (!CreateHarnessWindow()) return false;
    return BringUpDisplay(options);
}

void HarnessStop() {
    // The program's teardown order: the flip chain (and the back buffer with it), the bitmap surfaces,
    // the palette, then the DirectDraw object.
    if (app.directDraw) {
        ReleaseField(app.primarySurface);
        ReleaseField(app.backgroundSurface);
        ReleaseField(app.glyphSurface);
        ReleaseField(app.titleSurface);
        ReleaseField(app.charaSurface);
        ReleaseField(app.palette);
        ReleaseField(app.directDraw);
    }
    app.backBuffer = nullptr;
    if (window) DestroyWindow(window);
    window = nullptr;
    TestClearDisplayHooks();
}

const std::string& HarnessError() { return lastError; }

HWND HarnessWindow() { return window; }

std::string HarnessLeaks() {
    const TestLiveObjects live = TestGetLiveObjects();
    const std::pair<const char*, int> counts[] = {
        {"directDraws", live.directDraws},   {"surfaces", live.surfaces},
        {"palettes", live.palettes},         {"dcs", live.dcs},
        {"bitmaps", live.bitmaps},           {"fonts", live.fonts},
        {"directInputs", live.directInputs}, {"inputDevices", live.inputDevices},
        {"windows", live.windows},
    };
    std::string leaks;
    for (const auto& [name, count] : counts) {
        if (count == 0) continue;
        if (!leaks.empty()) leaks += ' ';
        leaks += std::string(name) + "=" + std::to_string(count);
    }
    return leaks;
}

TestFrame HarnessLastFrame() {
    TestFrame frame;
    if (!TestLastFrame(&frame)) frame.indices.clear();
    return frame;
}

LPDIRECTDRAWSURFACE7 HarnessMakeSurface(int width, int height, const std::vector<BYTE>& pixels) {
    if (!app.directDraw) return nullptr;
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    description.dwWidth = DWORD(width);
    description.dwHeight = DWORD(height);
    LPDIRECTDRAWSURFACE7 surface = nullptr;
    if (app.directDraw->CreateSurface(&description, &surface, NULL) != DD_OK) return nullptr;
    if (!pixels.empty() && !HarnessWritePixels(surface, pixels)) {
        surface->Release();
        return nullptr;
    }
    return surface;
}

std::vector<BYTE> HarnessReadPixels(LPDIRECTDRAWSURFACE7 surface) {
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    if (surface->Lock(NULL, &description, 0, NULL) != DD_OK) return {};
    std::vector<BYTE> pixels(size_t(description.dwWidth) * description.dwHeight);
    const BYTE* from = static_cast<const BYTE*>(description.lpSurface);
    for (DWORD row = 0; row < description.dwHeight; ++row) {
        std::memcpy(&pixels[size_t(row) * description.dwWidth], from + ptrdiff_t(row) * description.lPitch,
                    description.dwWidth);
    }
    surface->Unlock(NULL);
    return pixels;
}

bool HarnessWritePixels(LPDIRECTDRAWSURFACE7 surface, const std::vector<BYTE>& pixels) {
    DDSURFACEDESC2 description = {};
    description.dwSize = sizeof(description);
    if (surface->Lock(NULL, &description, 0, NULL) != DD_OK) return false;
    const bool fits = pixels.size() == size_t(description.dwWidth) * description.dwHeight;
    BYTE* to = static_cast<BYTE*>(description.lpSurface);
    for (DWORD row = 0; fits && row < description.dwHeight; ++row) {
        std::memcpy(to + ptrdiff_t(row) * description.lPitch, &pixels[size_t(row) * description.dwWidth],
                    description.dwWidth);
    }
    surface->Unlock(NULL);
    return fits;
}

bool HarnessSetSourceKey(LPDIRECTDRAWSURFACE7 surface, DWORD low, DWORD high) {
    DDCOLORKEY key = {low, high};
    return surface->SetColorKey(DDCKEY_SRCBLT, &key) == DD_OK;
}

void HarnessTest::SetUp() { ASSERT_TRUE(HarnessStart(Options())) << HarnessError(); }

void HarnessTest::TearDown() {
    HarnessStop();
    EXPECT_EQ(HarnessLeaks(), "");
}
