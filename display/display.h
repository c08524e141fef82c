// The display subsystem: set-up and teardown, bitmaps and palette, blitting and flipping, text.
#pragma once

#include "state/app_state.h"

// Set-up and teardown.
HRESULT InitDirectDraw(HWND window);
void ReleaseDisplay();
HRESULT ReportFatal(HWND window, HRESULT result, const char* format, ...);

// Blitting, flipping and surface recovery.
HRESULT BltFastRetry(LPDIRECTDRAWSURFACE7 destination, DWORD x, DWORD y, LPDIRECTDRAWSURFACE7 source, LPRECT sourceRect,
                     DWORD flags);
void FlipPage();
HRESULT RestoreAllSurfaces();
HRESULT DDRestoreBitmap(LPDIRECTDRAWSURFACE7 surface, LPCSTR name);
HRESULT DDCopyBitmap(LPDIRECTDRAWSURFACE7 surface, HBITMAP bitmap, int x, int y, int dx, int dy);

// Bitmap surfaces, palette and colour keys.
LPDIRECTDRAWSURFACE7 DDLoadBitmap(LPDIRECTDRAW7 directDraw, LPCSTR name, int dx, int dy);
LPDIRECTDRAWPALETTE DDLoadPalette(LPDIRECTDRAW7 directDraw, LPCSTR name);
DWORD DDMatchColor(LPDIRECTDRAWSURFACE7 surface, COLORREF colour);
HRESULT DDApplyColorKey(LPDIRECTDRAWSURFACE7 surface, COLORREF colour);

// Text overlay.
void DrawOverlayText(int x, int y, const char* text, COLORREF colour, int height, const char* face, BYTE italic);
