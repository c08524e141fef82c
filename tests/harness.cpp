// The headless display harness: the program's window and DirectDraw set-up without its message loop.
#include "tests/harness.h"

#include "display/display.h"

namespace {

std::string lastError;
HWND window = nullptr;

// Mirrors what the program's window procedure does with the messages the display depends on.
LRESULT CALLBACK HarnessWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ACTIVATE) {
        app.active = HIWORD(wParam) == 0;
        return 0;
    }
    if (message == WM_SETCURSOR) {
        SetCursor(NULL);
        return TRUE;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
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
    const WNDCLASSA windowClass = {CS_HREDRAW | CS_VREDRAW,
                                   HarnessWndProc,
                                   0,
                                   0,
                                   instance,
                                   LoadIconA(NULL, IDI_APPLICATION),
                                   LoadCursorA(NULL, IDC_ARROW),
                                   (HBRUSH)GetStockObject(WHITE_BRUSH),
                                   NULL,
                                   "DITessaryHarness"};
    if (!registered && !RegisterClassA(&windowClass)) return Fail("RegisterClassA", E_FAIL);
    registered = true;
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
    DDSURFACEDESC2 description =
        HarnessDescription(DDSD_CAPS | DDSD_BACKBUFFERCOUNT, DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    description.dwBackBufferCount = 1;
    DDSCAPS2 caps = {DDSCAPS_BACKBUFFER, 0, 0, 0};
    HRESULT r = DD_OK;
    if ((r = DirectDrawCreateEx(NULL, (LPVOID*)&app.directDraw, IID_IDirectDraw7, NULL)) != DD_OK)
        return Fail("DirectDrawCreateEx", r);
    r = app.directDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE);
    if (r != DD_OK) return Fail("SetCooperativeLevel", r);
    if ((r = app.directDraw->SetDisplayMode(640, 480, 8, 0, 0)) != DD_OK) return Fail("SetDisplayMode", r);
    if ((r = app.directDraw->CreateSurface(&description, &app.primarySurface, NULL)) != DD_OK)
        return Fail("CreateSurface", r);
    if ((r = app.primarySurface->GetAttachedSurface(&caps, &app.backBuffer)) != DD_OK)
        return Fail("GetAttachedSurface", r);
    if (options.palette) {
        r = app.directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, const_cast<LPPALETTEENTRY>(options.palette),
                                          &app.palette, NULL);
        if (r != DD_OK) return Fail("CreatePalette", r);
    } else if (!(app.palette = DDLoadPalette(app.directDraw, "BACKIMG"))) {
        return Fail("DDLoadPalette", E_FAIL);
    }
    if ((r = app.primarySurface->SetPalette(app.palette)) != DD_OK) return Fail("SetPalette", r);
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

bool HarnessStart(const HarnessOptions& options) {
    lastError.clear();
    TestClearDisplayHooks();
    TestCaptureFrames(true);
    return CreateHarnessWindow() && BringUpDisplay(options);
}

void HarnessStop() {
    // The program's teardown order: the flip chain (and the back buffer with it), the bitmap surfaces,
    // the palette, then the DirectDraw object.
    if (app.directDraw) {
        for (LPDIRECTDRAWSURFACE7* s :
             {&app.primarySurface, &app.backgroundSurface, &app.glyphSurface, &app.titleSurface, &app.charaSurface})
            ReleaseField(*s);
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

bool HarnessSetSourceKey(LPDIRECTDRAWSURFACE7 surface, DWORD low, DWORD high) {
    DDCOLORKEY key = {low, high};
    return surface->SetColorKey(DDCKEY_SRCBLT, &key) == DD_OK;
}

void HarnessTest::SetUp() { ASSERT_TRUE(HarnessStart(Options())) << HarnessError(); }

void HarnessTest::TearDown() {
    HarnessStop();
    EXPECT_EQ(HarnessLeaks(), "");
}
