// Blitting onto the back buffer, flipping, and recovery from lost surface memory.
#include "display/display.h"

// The frame driver and the scenes draw every rectangle through here. A busy display is asked again at
// once; a lost surface is repaired once, and the rectangle that met the loss stays missing from this frame.
HRESULT BltFastRetry(LPDIRECTDRAWSURFACE7 destination, DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect,
                     DWORD flags) {
    for (;;) {
        HRESULT r = destination->BltFast(x, y, source, sourceRect, flags);
        if (r == DD_OK) return DD_OK;
        if (r == DDERR_SURFACELOST) {
            r = RestoreAllSurfaces();
            if (r != DD_OK) return r;
            return DD_OK;
        }
        if (r != DDERR_WASSTILLDRAWING) return r;
    }
}

// The last step of every frame the frame driver does not abandon. A lost primary is restored but the frame
// is not shown; the bitmap surfaces wait for the next blit that meets the loss.
void FlipPage() {
    for (;;) {
        HRESULT r = app.primarySurface->Flip(NULL, 0);
        if (r == DD_OK) return;
        if (r == DDERR_SURFACELOST) {
            app.primarySurface->Restore();
            return;
        }
        if (r != DDERR_WASSTILLDRAWING) return;
    }
}

// Only BltFastRetry calls this. The result is that of the last Restore, so a failed restore of an earlier
// bitmap surface, or a failed refill, does not show in it.
HRESULT RestoreAllSurfaces() {
    HRESULT r = app.primarySurface->Restore();
    if (r != DD_OK) return r;

    const struct {
        LPDIRECTDRAWSURFACE7 surface;
        LPCSTR name;
    } bitmaps[] = {
        {app.backgroundSurface, "BACKIMG"},
        {app.glyphSurface, "STRINGS"},
        {app.titleSurface, "TITLE"},
        {app.charaSurface, "CHARA"},
    };
    for (const auto& bitmap : bitmaps) {
        r = bitmap.surface->Restore();
        if (r == DD_OK) DDRestoreBitmap(bitmap.surface, bitmap.name);
    }
    return r;
}
