// GDI on our own objects: device contexts over surfaces and bitmaps, selection, deletion, the stock objects, and
// StretchBlt and the pixel calls by the one colour rule.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <iterator>
#include <new>
#include <vector>

namespace {

// The stock brushes GetStockObject hands out, by their index; they are never registered or freed.
struct StockBrush {
    COLORREF colour;
};

struct Gdi {
    FaultSite compatibleDCs;  // CreateCompatibleDC, which the tests can make fail
    StockBrush stockBrushes[6] = {{RGB(255, 255, 255)}, {RGB(192, 192, 192)}, {RGB(128, 128, 128)},
                                  {RGB(64, 64, 64)},    {RGB(0, 0, 0)},       {CLR_INVALID}};
    // What every memory DC holds before the program selects its own bitmap, and what it selects back.
    HBITMAP__ stockBitmap = {1, 1, 1, {0}, {}, {{0, 0, 0, 0}, {255, 255, 255, 0}}, 2, nullptr};
    // A DC's font before one is selected; HDC__::font stays null while it is in.
    char defaultFont = 0;
};
Gdi gdi;

bool IsStockObject(const void* object) {
    if (object == &gdi.stockBitmap || object == &gdi.defaultFont) return true;
    for (const StockBrush& brush : gdi.stockBrushes) {
        if (object == &brush) return true;
    }
    return false;
}

bool IsLiveDC(HDC dc) { return ObjectsHas(ObjectKind::DC, dc); }

HBITMAP__* LiveBitmap(const void* object) {
    if (object == &gdi.stockBitmap) return &gdi.stockBitmap;
    return ObjectsFind<HBITMAP__>(ObjectKind::Bitmap, object);
}

COLORREF PaletteColour(const PALETTEENTRY& entry) { return RGB(entry.peRed, entry.peGreen, entry.peBlue); }

COLORREF BitmapPixelColour(const HBITMAP__& bitmap, int x, int y) {
    size_t at = size_t(y) * size_t(bitmap.width) + size_t(x);
    if (!bitmap.indices.empty()) {
        BYTE index = bitmap.indices[at];
        if (index >= bitmap.colourCount) {
            return RGB(0, 0, 0);
        }
        const RGBQUAD& c = bitmap.colours[index];
        return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    uint32_t word = bitmap.rgb[at];
    return RGB((word >> 16) & 0xFF, (word >> 8) & 0xFF, word & 0xFF);
}

BYTE NearestColourIndex(const RGBQUAD* table, int count, COLORREF colour) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < count; ++i) {
        entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    }
    for (int i = count; i < 256; ++i) {
        entries[i] = entries[count - 1];
    }
    return GdiNearestPaletteIndex(entries, colour);
}

HDC NewDC() {
    HDC dc = new (std::nothrow) HDC__{};
    if (dc == nullptr) {
        return nullptr;
    }
    dc->textColor = RGB(0, 0, 0);
    dc->bkMode = OPAQUE;
    ObjectsAdd(ObjectKind::DC, dc);
    return dc;
}

void FreeDC(HDC dc) {
    if (HBITMAP__* bitmap = LiveBitmap(dc->bitmap); bitmap != nullptr && bitmap->selectedInto == dc) {
        bitmap->selectedInto = nullptr;
    }
    ObjectsRemove(ObjectKind::DC, dc);
    delete dc;
}

}  // namespace

BYTE GdiNearestPaletteIndex(const PALETTEENTRY* palette, COLORREF colour) {
    int red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < 256; ++i) {
        int dr = palette[i].peRed - red, dg = palette[i].peGreen - green, db = palette[i].peBlue - blue;
        int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
            if (distance == 0) {
                break;
            }
        }
    }
    return BYTE(best);
}

// IDirectDrawSurface7::GetDC hands its pixels and the display palette here; the DC is only valid until ReleaseDC.
HDC GdiCreateSurfaceDC(IDirectDrawSurface7* surface, BYTE* pixels, LONG pitch, int width, int height,
                       const PALETTEENTRY* palette) {
    if (surface == nullptr || pixels == nullptr || width <= 0 || height <= 0 || pitch < width) {
        return nullptr;
    }
    HDC dc = NewDC();
    if (dc != nullptr) {
        dc->surface = surface;
        dc->pixels = pixels;
        dc->pitch = pitch;
        dc->width = width;
        dc->height = height;
        std::copy(palette, palette + 256, dc->palette);
    }
    return dc;
}

RECT GdiSurfaceDCDrawn(HDC dc) { return IsLiveDC(dc) ? dc->drawn : RECT{}; }

// Every write through a surface DC widens its drawn rectangle; the caller has clipped the area to the surface.
void GdiDrew(HDC dc, int64_t left, int64_t top, int64_t right, int64_t bottom) {
    if (left >= right || top >= bottom) return;
    RECT& drawn = dc->drawn;
    if (drawn.left >= drawn.right) {
        drawn = {LONG(left), LONG(top), LONG(right), LONG(bottom)};
        return;
    }
    drawn = {std::min(drawn.left, LONG(left)), std::min(drawn.top, LONG(top)), std::max(drawn.right, LONG(right)),
             std::max(drawn.bottom, LONG(bottom))};
}

void GdiDeleteSurfaceDC(HDC dc) {
    if (IsLiveDC(dc) && dc->surface != nullptr) {
        FreeDC(dc);
    }
}

void TestFailNextCompatibleDCs(int count) { gdi.compatibleDCs.Arm(E_FAIL, std::max(0, count)); }

HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (HRESULT ignored; gdi.compatibleDCs.Strike(&ignored)) {
        return nullptr;
    }
    if (dc != nullptr && !IsLiveDC(dc)) {
        return nullptr;
    }
    HDC memory = NewDC();
    if (memory != nullptr) {
        memory->bitmap = &gdi.stockBitmap;
    }
    return memory;
}

// Only memory DCs are ours to delete; a surface's DC goes back through ReleaseDC.
BOOL WINAPI DeleteDC(HDC dc) {
    if (!IsLiveDC(dc) || dc->surface != nullptr) {
        return FALSE;
    }
    FreeDC(dc);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    if (!IsLiveDC(dc) || object == nullptr) {
        return nullptr;
    }
    if (object == &gdi.defaultFont) {
        HGDIOBJ previous = dc->font != nullptr ? static_cast<HGDIOBJ>(dc->font) : &gdi.defaultFont;
        dc->font = nullptr;
        return previous;
    }
    if (HBITMAP__* bitmap = LiveBitmap(object); bitmap != nullptr) {
        // As in Windows a bitmap sits in one memory DC at a time; a surface DC draws into its surface.
        if (dc->surface != nullptr ||
            (bitmap != &gdi.stockBitmap && bitmap->selectedInto != nullptr && bitmap->selectedInto != dc)) {
            return nullptr;
        }
        HBITMAP previous = dc->bitmap;
        if (HBITMAP__* old = LiveBitmap(previous); old != nullptr && old->selectedInto == dc) {
            old->selectedInto = nullptr;
        }
        if (bitmap != &gdi.stockBitmap) {
            bitmap->selectedInto = dc;
        }
        dc->bitmap = bitmap;
        return previous;
    }
    if (HFONT font = ObjectsFind<HFONT__>(ObjectKind::Font, object); font != nullptr) {
        HGDIOBJ previous = dc->font != nullptr ? static_cast<HGDIOBJ>(dc->font) : &gdi.defaultFont;
        dc->font = font;
        return previous;
    }
    return nullptr;
}

// Windows refuses to delete an object still selected into a DC, and so do we: the caller keeps it.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (object == nullptr) {
        return FALSE;
    }
    if (HBITMAP bitmap = ObjectsFind<HBITMAP__>(ObjectKind::Bitmap, object); bitmap != nullptr) {
        if (bitmap->selectedInto != nullptr) {
            return FALSE;
        }
        ObjectsRemove(ObjectKind::Bitmap, bitmap);
        delete bitmap;
        return TRUE;
    }
    if (HFONT font = ObjectsFind<HFONT__>(ObjectKind::Font, object); font != nullptr) {
        bool selected = false;
        ObjectsEach<HDC__>(ObjectKind::DC, [&](const HDC__* dc) { selected = selected || dc->font == font; });
        if (selected) {
            return FALSE;
        }
        // The face and the glyphs behind the font stay cached for the next font that asks for them.
        ObjectsRemove(ObjectKind::Font, font);
        delete font;
        return TRUE;
    }
    return IsStockObject(object) ? TRUE : FALSE;
}

// Called by the program for a bitmap's size; `size` bounds what is written, as it does on Windows.
// bmBits stays null: our pixels are not laid out as the DIB was, and nothing here reads them directly.
int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer) {
    HBITMAP__* bitmap = LiveBitmap(object);
    if (bitmap == nullptr) {
        return 0;
    }
    if (buffer == nullptr) {
        return int(sizeof(BITMAP));
    }
    if (size <= 0) {
        return 0;
    }
    BITMAP record = {};
    record.bmType = 0;
    record.bmWidth = bitmap->width;
    record.bmHeight = bitmap->height;
    record.bmWidthBytes = LONG((int64_t(bitmap->width) * bitmap->bitsPerPixel + 31) / 32 * 4);
    record.bmPlanes = 1;
    record.bmBitsPixel = WORD(bitmap->bitsPerPixel);
    record.bmBits = nullptr;
    size_t written = std::min(size_t(size), sizeof(record));
    std::memcpy(buffer, &record, written);
    return int(written);
}

// SRCCOPY only, into a surface DC, nearest sampling. The source area keeps its scale even where it
// reaches outside the bitmap: those destination pixels are left as they were rather than read.
BOOL WINAPI StretchBlt(HDC destination, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                       int sourceWidth, int sourceHeight, DWORD rop) {
    if (rop != SRCCOPY || !IsLiveDC(destination) || !IsLiveDC(source) || destination->surface == nullptr) {
        return FALSE;
    }
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) {
        return FALSE;
    }
    const PALETTEENTRY* palette = destination->palette;
    const HBITMAP__* bitmap = nullptr;
    BYTE map[256];
    int sourceW, sourceH;
    if (source->surface != nullptr) {
        sourceW = source->width;
        sourceH = source->height;
        for (int i = 0; i < 256; ++i) {
            map[i] = BYTE(i);
        }
    } else {
        bitmap = LiveBitmap(source->bitmap);
        if (bitmap == nullptr) {
            return FALSE;
        }
        sourceW = bitmap->width;
        sourceH = bitmap->height;
        if (!bitmap->indices.empty()) {
            for (int i = 0; i < 256; ++i) {
                const RGBQUAD& c = bitmap->colours[i < bitmap->colourCount ? i : 0];
                map[i] = GdiNearestPaletteIndex(
                    palette, i < bitmap->colourCount ? RGB(c.rgbRed, c.rgbGreen, c.rgbBlue) : RGB(0, 0, 0));
            }
        }
    }
    int x0 = std::max(0, x), y0 = std::max(0, y);
    int x1 = int(std::min<int64_t>(int64_t(x) + width, destination->width));
    int y1 = int(std::min<int64_t>(int64_t(y) + height, destination->height));
    if (x0 >= x1 || y0 >= y1) {
        return TRUE;
    }
    GdiDrew(destination, x0, y0, x1, y1);
    // The source column of every destination column, worked out once; -1 where it lies off the source.
    std::vector<int> columns;
    try {
        columns.resize(size_t(x1 - x0));
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
    for (int dx = x0; dx < x1; ++dx) {
        int64_t sx = sourceX + ((int64_t(dx) - x) * 2 + 1) * sourceWidth / (int64_t(width) * 2);
        columns[size_t(dx - x0)] = (sx < 0 || sx >= sourceW) ? -1 : int(sx);
    }
    // The common case, a copy at one to one: each row is one run of source columns.
    bool contiguous = columns.front() >= 0;
    for (size_t i = 1; i < columns.size() && contiguous; ++i) {
        contiguous = columns[i] == columns[i - 1] + 1;
    }
    COLORREF lastColour = CLR_INVALID;
    BYTE lastIndex = 0;
    for (int dy = y0; dy < y1; ++dy) {
        int64_t sy = sourceY + ((int64_t(dy) - y) * 2 + 1) * sourceHeight / (int64_t(height) * 2);
        if (sy < 0 || sy >= sourceH) {
            continue;
        }
        BYTE* out = destination->pixels + size_t(dy) * size_t(destination->pitch) + x0;
        if (bitmap == nullptr || !bitmap->indices.empty()) {
            const BYTE* in = bitmap == nullptr ? source->pixels + size_t(sy) * size_t(source->pitch)
                                               : bitmap->indices.data() + size_t(sy) * size_t(sourceW);
            if (contiguous) {
                const BYTE* from = in + columns.front();
                for (size_t i = 0; i < columns.size(); ++i) {
                    out[i] = map[from[i]];
                }
                continue;
            }
            for (size_t i = 0; i < columns.size(); ++i) {
                if (columns[i] >= 0) {
                    out[i] = map[in[columns[i]]];
                }
            }
            continue;
        }
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i] < 0) {
                continue;
            }
            COLORREF colour = BitmapPixelColour(*bitmap, columns[i], int(sy));
            if (colour != lastColour) {
                lastColour = colour;
                lastIndex = GdiNearestPaletteIndex(palette, colour);
            }
            out[i] = lastIndex;
        }
    }
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    if (!IsLiveDC(dc)) {
        return CLR_INVALID;
    }
    if (dc->surface != nullptr) {
        if (x < 0 || y < 0 || x >= dc->width || y >= dc->height) {
            return CLR_INVALID;
        }
        return PaletteColour(dc->palette[dc->pixels[size_t(y) * size_t(dc->pitch) + size_t(x)]]);
    }
    const HBITMAP__* bitmap = LiveBitmap(dc->bitmap);
    if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        return CLR_INVALID;
    }
    return BitmapPixelColour(*bitmap, x, y);
}

// Returns the colour actually set: the nearest the surface (or the bitmap's colour table) can show.
COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF colour) {
    if (!IsLiveDC(dc) || colour == CLR_INVALID) {
        return CLR_INVALID;
    }
    colour &= 0x00FFFFFF;
    if (dc->surface != nullptr) {
        if (x < 0 || y < 0 || x >= dc->width || y >= dc->height) {
            return CLR_INVALID;
        }
        const PALETTEENTRY* palette = dc->palette;
        BYTE index = GdiNearestPaletteIndex(palette, colour);
        dc->pixels[size_t(y) * size_t(dc->pitch) + size_t(x)] = index;
        GdiDrew(dc, x, y, x + 1, y + 1);
        return PaletteColour(palette[index]);
    }
    HBITMAP__* bitmap = LiveBitmap(dc->bitmap);
    if (bitmap == nullptr || bitmap == &gdi.stockBitmap || x < 0 || y < 0 || x >= bitmap->width ||
        y >= bitmap->height) {
        return CLR_INVALID;
    }
    size_t at = size_t(y) * size_t(bitmap->width) + size_t(x);
    if (!bitmap->indices.empty()) {
        bitmap->indices[at] = NearestColourIndex(bitmap->colours, bitmap->colourCount, colour);
    } else {
        bitmap->rgb[at] = (uint32_t(GetRValue(colour)) << 16) | (uint32_t(GetGValue(colour)) << 8) | GetBValue(colour);
    }
    return BitmapPixelColour(*bitmap, x, y);
}

HGDIOBJ WINAPI GetStockObject(int object) {
    if (object < 0 || object >= int(std::size(gdi.stockBrushes))) return nullptr;
    return &gdi.stockBrushes[object];
}
