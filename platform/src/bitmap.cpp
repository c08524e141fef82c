// DIB sections from bitmap bytes: the bitmap reader, and LoadImageA from the program's resources or from a file.
// Written here rather than on SDL_LoadBMP_RW: SDL refuses an 8-bit bitmap whose short colour table (biClrUsed 16,
// say) leaves pixel values without a colour, which Windows loads; it decodes RLE, which we refuse; and a packed
// resource needs its header parsed anyway to place the synthesised file header.
#include "platform/src/platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

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

// Every offset and size comes from outside, so each is checked against the span in 64-bit arithmetic before anything
// is read; anything we do not read refuses the whole bitmap.
HBITMAP BitmapRead(const uint8_t* data, size_t size, bool withFileHeader) {
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
    ObjectsAdd(ObjectKind::Bitmap, bitmap.get());
    return bitmap.release();
}

namespace {

void FreeBitmap(HBITMAP bitmap) {
    ObjectsRemove(ObjectKind::Bitmap, bitmap);
    delete bitmap;
}

// Nearest sampling to the size LoadImageA was asked for; the colour table comes along unchanged. The source is
// freed either way.
HBITMAP ScaleBitmap(HBITMAP source, int width, int height) {
    if (int64_t(width) * height > kMaxPixels || width > kMaxSide || height > kMaxSide) {
        FreeBitmap(source);
        return nullptr;
    }
    std::unique_ptr<HBITMAP__> scaled(new (std::nothrow) HBITMAP__{});
    if (!scaled) {
        FreeBitmap(source);
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
        FreeBitmap(source);
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
    FreeBitmap(source);
    ObjectsAdd(ObjectKind::Bitmap, scaled.get());
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
    return BitmapRead(bytes.data(), bytes.size(), true);
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
            bitmap = BitmapRead(data, size, false);
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
