// Display set-up at start-up, the one path that reports a fatal set-up failure, and the display's teardown.
#include "display/display.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

// Called once by WinMain with the program's window. Each step that succeeds writes its line; the first
// that fails is reported to the user and ends set-up with that step's result.
HRESULT InitDirectDraw(HWND window) {
    HRESULT result;
    DDSURFACEDESC2 description;
    DDSCAPS2 caps;

    result = DirectDrawCreateEx(NULL, (LPVOID*)&app.directDraw, IID_IDirectDraw7, NULL);
    if (result != DD_OK) return ReportFatal(window, result, "DirectDrawCreateEx FAILED");
    OutputDebugStringA("DirectDrawCreateEx OK\n");

    result = app.directDraw->SetCooperativeLevel(window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE);
    if (result != DD_OK) return ReportFatal(window, result, "SetCooperativeLevel FAILED");
    OutputDebugStringA("SetCooperativeLevel OK\n");

    result = app.directDraw->SetDisplayMode(640, 480, 8, 0, 0);
    if (result != DD_OK) return ReportFatal(window, result, "SetDisplayMode FAILED");
    OutputDebugStringA("SetDisplayMode OK\n");

    std::memset(&description, 0, sizeof(description));
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
    description.dwBackBufferCount = 1;
    result = app.directDraw->CreateSurface(&description, &app.primarySurface, NULL);
    if (result != DD_OK) return ReportFatal(window, result, "CreateSurface FAILED");
    OutputDebugStringA("CreateSurface OK\n");

    std::memset(&caps, 0, sizeof(caps));
    caps.dwCaps = DDSCAPS_BACKBUFFER;
    result = app.primarySurface->GetAttachedSurface(&caps, &app.backBuffer);
    if (result != DD_OK) return ReportFatal(window, result, "GetAttachedSurface FAILED");
    OutputDebugStringA("GetAttachedSurface OK\n");

    app.palette = DDLoadPalette(app.directDraw, "BACKIMG");
    if (app.palette == NULL) return ReportFatal(window, E_FAIL, "DDLoadPalette FAILED");
    OutputDebugStringA("DDLoadPalette OK\n");

    result = app.primarySurface->SetPalette(app.palette);
    if (result != DD_OK) return ReportFatal(window, result, "SetPalette FAILED");
    OutputDebugStringA("SetPalette OK\n");

    app.backgroundSurface = DDLoadBitmap(app.directDraw, "BACKIMG", 0, 0);
    if (app.backgroundSurface == NULL) return ReportFatal(window, E_FAIL, "DDLoadBitmap BackImage FAILED");
    OutputDebugStringA("DDLoadBitmap BackImage OK\n");

    app.glyphSurface = DDLoadBitmap(app.directDraw, "STRINGS", 0, 0);
    if (app.glyphSurface == NULL) return ReportFatal(window, E_FAIL, "DDLoadBitmap Strings FAILED");
    OutputDebugStringA("DDLoadBitmap Strings OK\n");
    DDApplyColorKey(app.glyphSurface, kColorKeyGreen);

    app.titleSurface = DDLoadBitmap(app.directDraw, "TITLE", 0, 0);
    if (app.titleSurface == NULL) return ReportFatal(window, E_FAIL, "DDLoadBitmap Title FAILED");
    OutputDebugStringA("DDLoadBitmap Title OK\n");
    DDApplyColorKey(app.titleSurface, kColorKeyGreen);

    app.charaSurface = DDLoadBitmap(app.directDraw, "CHARA", 0, 0);
    if (app.charaSurface == NULL) return ReportFatal(window, E_FAIL, "DDLoadBitmap Chara FAILED");
    OutputDebugStringA("DDLoadBitmap Chara OK\n");
    // No colour given: the key is the sprite sheet's own top-left pixel.
    DDApplyColorKey(app.charaSurface, CLR_INVALID);

    return DD_OK;
}

// Called by InitDirectDraw at the first failed step. The display goes before the message box is shown, and
// the window's destroy handling runs inside DestroyWindow; the caller gets its own result back.
HRESULT ReportFatal(HWND window, HRESULT result, const char* format, ...) {
    char text[128];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    ReleaseDisplay();
    MessageBoxA(window, text, "Plinth Tessary", MB_OK);
    DestroyWindow(window);
    return result;
}

// Called on WM_DESTROY after the input is released, and by ReportFatal; a second call finds nothing to do.
// The back buffer goes with the flip chain of the primary surface.
void ReleaseDisplay() {
    if (app.directDraw == NULL) return;
    if (app.primarySurface != NULL) {
        app.primarySurface->Release();
        app.primarySurface = NULL;
    }
    if (app.backgroundSurface != NULL) {
        app.backgroundSurface->Release();
        app.backgroundSurface = NULL;
    }
    if (app.glyphSurface != NULL) {
        app.glyphSurface->Release();
        app.glyphSurface = NULL;
    }
    if (app.titleSurface != NULL) {
        app.titleSurface->Release();
        app.titleSurface = NULL;
    }
    if (app.charaSurface != NULL) {
        app.charaSurface->Release();
        app.charaSurface = NULL;
    }
    if (app.palette != NULL) {
        app.palette->Release();
        app.palette = NULL;
    }
    app.directDraw->Release();
    app.directDraw = NULL;
}
