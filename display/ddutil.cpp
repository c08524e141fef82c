// Bitmaps into DirectDraw surfaces through GDI, the display palette from a bitmap, and colour keys.
#include "display/display.h"

// Loads one bitmap as a DIB section at its own size: the program's resource first, then a file whose
// path is the name itself.
static HBITMAP LoadBitmapByName(LPCSTR name, int dx, int dy) {
    HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(NULL), name, IMAGE_BITMAP, dx, dy, LR_CREATEDIBSECTION);
    if (bitmap == NULL) {
        bitmap = (HBITMAP)LoadImageA(NULL, name, IMAGE_BITMAP, dx, dy, LR_CREATEDIBSECTION | LR_LOADFROMFILE);
    }
    return bitmap;
}

// RestoreAllSurfaces refills each bitmap surface this way after a surface loss.
HRESULT DDRestoreBitmap(LPDIRECTDRAWSURFACE7 surface, LPCSTR name) {
    HBITMAP bitmap = LoadBitmapByName(name, 0, 0);
    if (bitmap == NULL) {
        OutputDebugStringA("handle is null\n");
        return E_FAIL;
    }
    HRESULT result = DDCopyBitmap(surface, bitmap, 0, 0, 0, 0);
    if (result != DD_OK) {
        OutputDebugStringA("ddcopybitmap failed\n");
    }
    DeleteObject(bitmap);
    return result;
}

// Scales the area (x, y, dx, dy) of the bitmap over the whole surface; GDI converts each colour to the
// display palette on the way. Without a memory DC there is nothing to copy from, so the copy fails
// rather than report the surface's GetDC as success.
HRESULT DDCopyBitmap(LPDIRECTDRAWSURFACE7 surface, HBITMAP bitmap, int x, int y, int dx, int dy) {
    if (bitmap == NULL || surface == NULL) {
        return E_FAIL;
    }
    surface->Restore();
    HDC imageDC = CreateCompatibleDC(NULL);
    if (imageDC == NULL) {
        OutputDebugStringA("createcompatible dc failed\n");
        return E_FAIL;
    }
    SelectObject(imageDC, bitmap);

    BITMAP bm = {};
    GetObjectA(bitmap, sizeof(bm), &bm);
    dx = dx == 0 ? bm.bmWidth : dx;
    dy = dy == 0 ? bm.bmHeight : dy;

    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    ddsd.dwFlags = DDSD_HEIGHT | DDSD_WIDTH;
    surface->GetSurfaceDesc(&ddsd);

    HDC surfaceDC;
    HRESULT result = surface->GetDC(&surfaceDC);
    if (result == DD_OK) {
        StretchBlt(surfaceDC, 0, 0, ddsd.dwWidth, ddsd.dwHeight, imageDC, x, y, dx, dy, SRCCOPY);
        surface->ReleaseDC(surfaceDC);
    }
    DeleteDC(imageDC);
    return result;
}

// InitDirectDraw makes each bitmap surface here: the surface is the bitmap's size and holds its
// pixels converted to the display palette. A failed copy still hands back the surface.
LPDIRECTDRAWSURFACE7 DDLoadBitmap(LPDIRECTDRAW7 directDraw, LPCSTR name, int dx, int dy) {
    HBITMAP bitmap = LoadBitmapByName(name, dx, dy);
    if (bitmap == NULL) {
        return NULL;
    }
    BITMAP bm = {};
    GetObjectA(bitmap, sizeof(bm), &bm);

    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    ddsd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    ddsd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ddsd.dwWidth = bm.bmWidth;
    ddsd.dwHeight = bm.bmHeight;
    LPDIRECTDRAWSURFACE7 surface = NULL;
    if (directDraw->CreateSurface(&ddsd, &surface, NULL) != DD_OK) {
        DeleteObject(bitmap);
        return NULL;
    }
    DDCopyBitmap(surface, bitmap, 0, 0, 0, 0);
    DeleteObject(bitmap);
    return surface;
}

static DWORD ReadDword(const BYTE* bytes) {
    return DWORD(bytes[0]) | DWORD(bytes[1]) << 8 | DWORD(bytes[2]) << 16 | DWORD(bytes[3]) << 24;
}

// The number of colour-table entries a header offers: 2^bits when it leaves the count at 0, and never
// more than the palette holds, whatever the header claims.
static DWORD ColourCount(DWORD bitCount, DWORD colourUsed) {
    if (bitCount > 8) {
        return 0;
    }
    DWORD n = colourUsed != 0 ? colourUsed : (DWORD(1) << bitCount);
    return n > 256 ? 256 : n;
}

// A resource's colour table, read within the resource's size only.
static void ReadResourcePalette(HRSRC resource, PALETTEENTRY* entries) {
    HGLOBAL handle = LoadResource(NULL, resource);
    const BYTE* data = handle != NULL ? (const BYTE*)LockResource(handle) : NULL;
    if (data == NULL) {
        OutputDebugStringA("lock resource failed\n");
        return;
    }
    DWORD size = SizeofResource(NULL, resource);
    if (size < sizeof(BITMAPINFOHEADER)) {
        return;
    }
    DWORD headerSize = ReadDword(data);
    DWORD bitCount = DWORD(data[14]) | DWORD(data[15]) << 8;
    if (headerSize < sizeof(BITMAPINFOHEADER) || headerSize > size) {
        return;
    }
    DWORD n = ColourCount(bitCount, ReadDword(data + 32));
    DWORD inside = (size - headerSize) / sizeof(RGBQUAD);
    n = n < inside ? n : inside;
    const BYTE* table = data + headerSize;
    for (DWORD i = 0; i < n; ++i) {
        entries[i].peRed = table[4 * i + 2];
        entries[i].peGreen = table[4 * i + 1];
        entries[i].peBlue = table[4 * i + 0];
        entries[i].peFlags = 0;
    }
}

// A file's colour table goes straight into the entries, as many bytes as the file has; only entries
// whose four bytes all came from the file have red and blue exchanged.
static void ReadFilePalette(HFILE file, PALETTEENTRY* entries) {
    BITMAPFILEHEADER fileHeader = {};
    BITMAPINFOHEADER infoHeader = {};
    _lread(file, &fileHeader, sizeof(fileHeader));
    _lread(file, &infoHeader, sizeof(infoHeader));
    UINT got = _lread(file, entries, 256 * sizeof(PALETTEENTRY));
    _lclose(file);
    if (got == (UINT)HFILE_ERROR) {
        got = 0;
    }
    DWORD n = 0;
    if (infoHeader.biSize == sizeof(BITMAPINFOHEADER)) {
        n = ColourCount(infoHeader.biBitCount, infoHeader.biClrUsed);
    }
    DWORD whole = got / sizeof(PALETTEENTRY);
    n = n < whole ? n : whole;
    for (DWORD i = 0; i < n; ++i) {
        BYTE red = entries[i].peBlue;
        entries[i].peBlue = entries[i].peRed;
        entries[i].peRed = red;
    }
}

// InitDirectDraw builds the display palette here from BACKIMG's colour table; entries the bitmap does
// not supply keep the 3-3-2 colours.
LPDIRECTDRAWPALETTE DDLoadPalette(LPDIRECTDRAW7 directDraw, LPCSTR name) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) {
        entries[i].peRed = BYTE(((i >> 5) & 7) * 255 / 7);
        entries[i].peGreen = BYTE(((i >> 2) & 7) * 255 / 7);
        entries[i].peBlue = BYTE((i & 3) * 255 / 3);
        entries[i].peFlags = 0;
    }
    if (name != NULL) {
        HRSRC resource = FindResourceA(NULL, name, RT_BITMAP);
        if (resource != NULL) {
            ReadResourcePalette(resource, entries);
        } else {
            HFILE file = _lopen(name, OF_READ);
            if (file != HFILE_ERROR) {
                ReadFilePalette(file, entries);
            }
        }
    }
    LPDIRECTDRAWPALETTE palette = NULL;
    if (directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, NULL) != DD_OK) {
        return NULL;
    }
    return palette;
}

// The surface value a colour becomes, found by letting GDI write it at (0, 0) and reading the pixel
// back; CLR_INVALID reads the top-left pixel as it is. The pixel is put back by its colour.
DWORD DDMatchColor(LPDIRECTDRAWSURFACE7 surface, COLORREF colour) {
    DWORD result = CLR_INVALID;
    COLORREF saved = CLR_INVALID;
    bool haveSaved = false;
    HDC dc;
    if (colour != CLR_INVALID && surface->GetDC(&dc) == DD_OK) {
        saved = GetPixel(dc, 0, 0);
        SetPixel(dc, 0, 0, colour);
        surface->ReleaseDC(dc);
        haveSaved = true;
    }

    DDSURFACEDESC2 ddsd = {};
    ddsd.dwSize = sizeof(ddsd);
    HRESULT locked;
    while ((locked = surface->Lock(NULL, &ddsd, 0, NULL)) == DDERR_WASSTILLDRAWING) {
    }
    if (locked == DD_OK) {
        const BYTE* first = (const BYTE*)ddsd.lpSurface;
        result = ReadDword(first);
        DWORD bits = ddsd.ddpfPixelFormat.dwRGBBitCount;
        if (bits < 32) {
            result &= (DWORD(1) << bits) - 1;
        }
        surface->Unlock(NULL);
    }

    if (haveSaved && surface->GetDC(&dc) == DD_OK) {
        SetPixel(dc, 0, 0, saved);
        surface->ReleaseDC(dc);
    }
    return result;
}

// InitDirectDraw keys TITLE and STRINGS by their green and CHARA by its top-left pixel.
HRESULT DDApplyColorKey(LPDIRECTDRAWSURFACE7 surface, COLORREF colour) {
    DDCOLORKEY key;
    key.dwColorSpaceLowValue = DDMatchColor(surface, colour);
    key.dwColorSpaceHighValue = key.dwColorSpaceLowValue;
    return surface->SetColorKey(DDCKEY_SRCBLT, &key);
}
