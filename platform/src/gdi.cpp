// GDI on our own objects: device contexts over surfaces and bitmaps, DIB sections, StretchBlt by colour.
#include "platform/src/platform.h"

#include "platform/testing.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <unordered_set>
#include <vector>

// A DIB section. Pixels are kept top-down whatever the source's row order: palettised depths as one
// index byte per pixel into `colours`, deeper ones as 0x00RRGGBB words, so StretchBlt converts either
// by colour without caring how the file packed them.
struct HBITMAP__ {
    GdiObject header;
    int width;
    int height;
    int bitsPerPixel;  // as the source declared it, for GetObjectA
    std::vector<BYTE> indices;
    std::vector<uint32_t> rgb;
    RGBQUAD colours[256];
    int colourCount;
    HDC selectedInto;
};

namespace {

std::unordered_set<const void*> liveGdiObjects;
std::unordered_set<HDC> liveDCs;
int failCompatibleDCs = 0;

// What every memory DC holds before the program selects its own bitmap, and what it selects back.
HBITMAP__ stockBitmap = {{GdiType::Bitmap}, 1, 1, 1, {0}, {}, {{0, 0, 0, 0}, {255, 255, 255, 0}}, 2, nullptr};
// A DC's font before one is selected; HDC__::font stays null while it is in.
GdiObject defaultFont = {GdiType::Font};

bool IsStockObject(const void* object) {
    if (object == &stockBitmap || object == &defaultFont) {
        return true;
    }
    for (int i = 0; i < 20; ++i) {
        if (GetStockObject(i) == object) {
            return true;
        }
    }
    return false;
}

HBITMAP__* LiveBitmap(const void* object) {
    if (object == &stockBitmap) {
        return &stockBitmap;
    }
    if (!GdiIsLive(object) || static_cast<const GdiObject*>(object)->type != GdiType::Bitmap) {
        return nullptr;
    }
    return static_cast<HBITMAP__*>(const_cast<void*>(object));
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
    return NearestPaletteIndex(entries, colour);
}

HDC NewDC() {
    HDC dc = new (std::nothrow) HDC__{};
    if (dc == nullptr) {
        return nullptr;
    }
    dc->textColor = RGB(0, 0, 0);
    dc->bkMode = OPAQUE;
    liveDCs.insert(dc);
    ++liveObjects.dcs;
    return dc;
}

void FreeDC(HDC dc) {
    if (HBITMAP__* bitmap = LiveBitmap(dc->bitmap); bitmap != nullptr && bitmap->selectedInto == dc) {
        bitmap->selectedInto = nullptr;
    }
    liveDCs.erase(dc);
    --liveObjects.dcs;
    delete dc;
}

void FreeBitmap(HBITMAP__* bitmap) {
    GdiUnregister(bitmap);
    --liveObjects.bitmaps;
    delete bitmap;
}

}  // namespace

void GdiRegister(const void* object) { liveGdiObjects.insert(object); }
void GdiUnregister(const void* object) { liveGdiObjects.erase(object); }
bool GdiIsLive(const void* object) { return object != nullptr && liveGdiObjects.count(object) != 0; }

BYTE NearestPaletteIndex(const PALETTEENTRY* palette, COLORREF colour) {
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

// IDirectDrawSurface7::GetDC hands its pixels here; the DC is only valid until ReleaseDC.
HDC GdiCreateSurfaceDC(IDirectDrawSurface7* surface, BYTE* pixels, LONG pitch, int width, int height) {
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
    }
    return dc;
}

void GdiDeleteSurfaceDC(HDC dc) {
    if (GdiIsLiveDC(dc) && dc->surface != nullptr) {
        FreeDC(dc);
    }
}

bool GdiIsLiveDC(HDC dc) { return dc != nullptr && liveDCs.count(dc) != 0; }

void TestFailNextCompatibleDCs(int count) { failCompatibleDCs = std::max(0, count); }

HDC WINAPI CreateCompatibleDC(HDC dc) {
    if (failCompatibleDCs > 0) {
        --failCompatibleDCs;
        return nullptr;
    }
    if (dc != nullptr && !GdiIsLiveDC(dc)) {
        return nullptr;
    }
    HDC memory = NewDC();
    if (memory != nullptr) {
        memory->bitmap = reinterpret_cast<HBITMAP>(&stockBitmap);
    }
    return memory;
}

// Only memory DCs are ours to delete; a surface's DC goes back through ReleaseDC.
BOOL WINAPI DeleteDC(HDC dc) {
    if (!GdiIsLiveDC(dc) || dc->surface != nullptr) {
        return FALSE;
    }
    FreeDC(dc);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
    if (!GdiIsLiveDC(dc) || object == nullptr) {
        return nullptr;
    }
    if (object == &defaultFont) {
        HGDIOBJ previous = dc->font != nullptr ? static_cast<HGDIOBJ>(dc->font) : &defaultFont;
        dc->font = nullptr;
        return previous;
    }
    if (HBITMAP__* bitmap = LiveBitmap(object); bitmap != nullptr) {
        // As in Windows a bitmap sits in one memory DC at a time; a surface DC draws into its surface.
        if (dc->surface != nullptr ||
            (bitmap != &stockBitmap && bitmap->selectedInto != nullptr && bitmap->selectedInto != dc)) {
            return nullptr;
        }
        HBITMAP previous = dc->bitmap;
        if (HBITMAP__* old = LiveBitmap(previous); old != nullptr && old->selectedInto == dc) {
            old->selectedInto = nullptr;
        }
        if (bitmap != &stockBitmap) {
            bitmap->selectedInto = dc;
        }
        dc->bitmap = reinterpret_cast<HBITMAP>(bitmap);
        return previous;
    }
    if (GdiIsLive(object) && static_cast<const GdiObject*>(object)->type == GdiType::Font) {
        HGDIOBJ previous = dc->font != nullptr ? static_cast<HGDIOBJ>(dc->font) : &defaultFont;
        dc->font = static_cast<HFONT>(object);
        return previous;
    }
    return nullptr;
}

// Windows refuses to delete an object still selected into a DC, and so do we: the caller keeps it.
BOOL WINAPI DeleteObject(HGDIOBJ object) {
    if (object == nullptr) {
        return FALSE;
    }
    if (!GdiIsLive(object)) {
        return IsStockObject(object) ? TRUE : FALSE;
    }
    const GdiObject* header = static_cast<const GdiObject*>(object);
    if (header->type == GdiType::Bitmap) {
        HBITMAP__* bitmap = static_cast<HBITMAP__*>(object);
        if (bitmap->selectedInto != nullptr) {
            return FALSE;
        }
        FreeBitmap(bitmap);
        return TRUE;
    }
    if (header->type == GdiType::Font) {
        for (HDC dc : liveDCs) {
            if (dc->font == object) {
                return FALSE;
            }
        }
        TextDeleteFont(static_cast<HFONT>(object));
        return TRUE;
    }
    return FALSE;
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
    if (rop != SRCCOPY || !GdiIsLiveDC(destination) || !GdiIsLiveDC(source) || destination->surface == nullptr) {
        return FALSE;
    }
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0) {
        return FALSE;
    }
    const PALETTEENTRY* palette = DisplayPalette();
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
                map[i] = NearestPaletteIndex(
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
                lastIndex = NearestPaletteIndex(palette, colour);
            }
            out[i] = lastIndex;
        }
    }
    return TRUE;
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y) {
    if (!GdiIsLiveDC(dc)) {
        return CLR_INVALID;
    }
    if (dc->surface != nullptr) {
        if (x < 0 || y < 0 || x >= dc->width || y >= dc->height) {
            return CLR_INVALID;
        }
        return PaletteColour(DisplayPalette()[dc->pixels[size_t(y) * size_t(dc->pitch) + size_t(x)]]);
    }
    const HBITMAP__* bitmap = LiveBitmap(dc->bitmap);
    if (bitmap == nullptr || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
        return CLR_INVALID;
    }
    return BitmapPixelColour(*bitmap, x, y);
}

// Returns the colour actually set: the nearest the surface (or the bitmap's colour table) can show.
COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF colour) {
    if (!GdiIsLiveDC(dc) || colour == CLR_INVALID) {
        return CLR_INVALID;
    }
    colour &= 0x00FFFFFF;
    if (dc->surface != nullptr) {
        if (x < 0 || y < 0 || x >= dc->width || y >= dc->height) {
            return CLR_INVALID;
        }
        const PALETTEENTRY* palette = DisplayPalette();
        BYTE index = NearestPaletteIndex(palette, colour);
        dc->pixels[size_t(y) * size_t(dc->pitch) + size_t(x)] = index;
        return PaletteColour(palette[index]);
    }
    HBITMAP__* bitmap = LiveBitmap(dc->bitmap);
    if (bitmap == nullptr || bitmap == &stockBitmap || x < 0 || y < 0 || x >= bitmap->width || y >= bitmap->height) {
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

// The bitmap reader. Every offset and size comes from outside, so each is checked against the span
// in 64-bit arithmetic before anything is read; anything we do not read refuses the whole bitmap.
// Written here rather than on SDL_LoadBMP_RW: SDL refuses an 8-bit bitmap whose short colour table
// (biClrUsed 16, say) leaves pixel values without a colour, which Windows loads; it decodes RLE, which
// we refuse; and a packed resource needs its header parsed anyway to place the synthesised file header.
namespace {

constexpr int64_t kMaxPixels = int64_t(1) << 24;
constexpr int64_t kMaxSide = 1 << 15;
constexpr uint32_t kBiBitfields = 3;

uint32_t Read32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// One colour channel of a masked pixel, scaled to 0..255.
uint32_t MaskedChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    uint32_t max = mask >> shift;
    return uint32_t(uint64_t((pixel & mask) >> shift) * 255 / max);
}

}  // namespace

HBITMAP GdiReadBitmap(const uint8_t* data, size_t size, bool withFileHeader) {
    if (data == nullptr) {
        return nullptr;
    }
    uint64_t headerAt = 0;
    uint64_t pixelsAt = 0;
    if (withFileHeader) {
        if (size < 14 || data[0] != 'B' || data[1] != 'M') {
            return nullptr;
        }
        headerAt = 14;
        pixelsAt = Read32(data + 10);
    }
    if (size < headerAt + 40) {
        return nullptr;
    }
    const uint8_t* header = data + headerAt;
    uint32_t headerSize = Read32(header);
    int64_t width = int32_t(Read32(header + 4));
    int64_t height = int32_t(Read32(header + 8));
    uint16_t planes = Read16(header + 12);
    uint16_t bitCount = Read16(header + 14);
    uint32_t compression = Read32(header + 16);
    uint32_t colourUsed = Read32(header + 32);
    if (headerSize < 40 || headerAt + headerSize > size || planes != 1) {
        return nullptr;
    }
    bool topDown = height < 0;
    height = topDown ? -height : height;
    if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide || width * height > kMaxPixels) {
        return nullptr;
    }
    bool palettised = bitCount == 1 || bitCount == 4 || bitCount == 8;
    if (!palettised && bitCount != 16 && bitCount != 24 && bitCount != 32) {
        return nullptr;
    }
    if (compression != BI_RGB && !(compression == kBiBitfields && (bitCount == 16 || bitCount == 32))) {
        return nullptr;
    }

    uint64_t tableAt = headerAt + headerSize;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bitCount == 32) {
        masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
    }
    if (compression == kBiBitfields) {
        uint64_t masksAt = headerSize >= 52 ? headerAt + 40 : tableAt;
        if (masksAt + 12 > size) {
            return nullptr;
        }
        for (int i = 0; i < 3; ++i) {
            masks[i] = Read32(data + masksAt + 4 * i);
        }
        if (headerSize < 52) {
            tableAt += 12;
        }
    }
    // The declared count places the pixels of a packed bitmap; at most 256 colours are taken.
    uint64_t declaredColours = colourUsed != 0 ? colourUsed : (palettised ? uint64_t(1) << bitCount : 0);
    int colourCount = palettised ? int(std::min<uint64_t>(declaredColours, 256)) : 0;
    if (tableAt + uint64_t(colourCount) * 4 > size) {
        return nullptr;
    }
    if (!withFileHeader) {
        pixelsAt = tableAt + declaredColours * 4;
    }
    uint64_t stride = (uint64_t(width) * bitCount + 31) / 32 * 4;
    if (pixelsAt > size || stride * uint64_t(height) > size - pixelsAt) {
        return nullptr;
    }

    std::unique_ptr<HBITMAP__> bitmap(new (std::nothrow) HBITMAP__{});
    if (!bitmap) {
        return nullptr;
    }
    bitmap->header.type = GdiType::Bitmap;
    bitmap->width = int(width);
    bitmap->height = int(height);
    bitmap->bitsPerPixel = bitCount;
    bitmap->colourCount = colourCount;
    for (int i = 0; i < colourCount; ++i) {
        const uint8_t* q = data + tableAt + 4 * i;
        bitmap->colours[i] = {q[0], q[1], q[2], 0};
    }
    size_t pixels = size_t(width) * size_t(height);
    try {
        if (palettised) {
            bitmap->indices.resize(pixels);
        } else {
            bitmap->rgb.resize(pixels);
        }
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    for (int64_t row = 0; row < height; ++row) {
        const uint8_t* in = data + pixelsAt + stride * uint64_t(topDown ? row : height - 1 - row);
        size_t out = size_t(row) * size_t(width);
        if (bitCount == 8) {
            std::memcpy(bitmap->indices.data() + out, in, size_t(width));
            continue;
        }
        for (int64_t x = 0; x < width; ++x) {
            switch (bitCount) {
                case 1:
                    bitmap->indices[out + x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
                    break;
                case 4:
                    bitmap->indices[out + x] = (in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
                    break;
                case 24:
                    bitmap->rgb[out + x] = uint32_t(in[3 * x + 2]) << 16 | uint32_t(in[3 * x + 1]) << 8 | in[3 * x];
                    break;
                default: {
                    uint32_t p = bitCount == 16 ? Read16(in + 2 * x) : Read32(in + 4 * x);
                    bitmap->rgb[out + x] =
                        MaskedChannel(p, masks[0]) << 16 | MaskedChannel(p, masks[1]) << 8 | MaskedChannel(p, masks[2]);
                    break;
                }
            }
        }
    }
    GdiRegister(bitmap.get());
    ++liveObjects.bitmaps;
    return bitmap.release();
}

namespace {

// Nearest sampling to the size LoadImageA was asked for; the colour table comes along unchanged.
HBITMAP ScaleBitmap(HBITMAP source, int width, int height) {
    if (int64_t(width) * height > kMaxPixels || width > kMaxSide || height > kMaxSide) {
        DeleteObject(source);
        return nullptr;
    }
    std::unique_ptr<HBITMAP__> scaled(new (std::nothrow) HBITMAP__{});
    if (!scaled) {
        DeleteObject(source);
        return nullptr;
    }
    *scaled = *source;
    scaled->width = width;
    scaled->height = height;
    scaled->selectedInto = nullptr;
    bool palettised = !source->indices.empty();
    try {
        if (palettised) {
            scaled->indices.assign(size_t(width) * size_t(height), 0);
        } else {
            scaled->rgb.assign(size_t(width) * size_t(height), 0);
        }
    } catch (const std::bad_alloc&) {
        DeleteObject(source);
        return nullptr;
    }
    for (int y = 0; y < height; ++y) {
        size_t sy = size_t((int64_t(y) * 2 + 1) * source->height / (int64_t(height) * 2));
        for (int x = 0; x < width; ++x) {
            size_t sx = size_t((int64_t(x) * 2 + 1) * source->width / (int64_t(width) * 2));
            size_t from = sy * size_t(source->width) + sx, to = size_t(y) * size_t(width) + size_t(x);
            if (palettised) {
                scaled->indices[to] = source->indices[from];
            } else {
                scaled->rgb[to] = source->rgb[from];
            }
        }
    }
    DeleteObject(source);
    GdiRegister(scaled.get());
    ++liveObjects.bitmaps;
    return scaled.release();
}

constexpr long kMaxBitmapFile = 256L << 20;

HBITMAP ReadBitmapFile(const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t got;
    bool tooBig = false;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) > 0) {
        if (bytes.size() + got > size_t(kMaxBitmapFile)) {
            tooBig = true;
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(file);
    if (tooBig) {
        return nullptr;
    }
    return GdiReadBitmap(bytes.data(), bytes.size(), true);
}

}  // namespace

// Bitmaps only: from the program's own resources by name, or from a file with LR_LOADFROMFILE. Every
// bitmap is a DIB section here, with or without LR_CREATEDIBSECTION; a non-zero size scales it.
HANDLE WINAPI LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int width, int height, UINT flags) {
    if (type != IMAGE_BITMAP || name == nullptr || IS_INTRESOURCE(name) || width < 0 || height < 0) {
        return nullptr;
    }
    HBITMAP bitmap = nullptr;
    if (flags & LR_LOADFROMFILE) {
        bitmap = ReadBitmapFile(name);
    } else if (instance != nullptr && instance == GetModuleHandleA(nullptr)) {
        const uint8_t* data = nullptr;
        uint32_t size = 0;
        if (ResourceFindBitmap(name, &data, &size)) {
            bitmap = GdiReadBitmap(data, size, false);
        }
    }
    if (bitmap == nullptr) {
        return nullptr;
    }
    int wantWidth = width != 0 ? width : bitmap->width;
    int wantHeight = height != 0 ? height : bitmap->height;
    if (wantWidth != bitmap->width || wantHeight != bitmap->height) {
        bitmap = ScaleBitmap(bitmap, wantWidth, wantHeight);
    }
    return bitmap;
}
