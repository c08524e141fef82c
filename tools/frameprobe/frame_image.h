// Screenshot arithmetic for the cross-build checks: X window dumps, the glyph strip, masked differences, pictures.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One picture as 0xRRGGBB words, rows top first.
struct FrameImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// Right and bottom are exclusive, as in the program's RECTs.
struct FrameRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

inline uint32_t FrameRgb(int r, int g, int b) {
    return uint32_t(r & 0xFF) << 16 | uint32_t(g & 0xFF) << 8 | (b & 0xFF);
}

inline bool FrameContains(const FrameRect& rect, int x, int y) {
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

inline uint32_t FrameAt(const FrameImage& image, int x, int y) {
    return image.pixels[size_t(y) * size_t(image.width) + size_t(x)];
}

namespace frame_detail {

inline uint32_t Big32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline uint32_t Little32(const uint8_t* p) {
    return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}
inline uint16_t Little16(const uint8_t* p) { return uint16_t(p[1] << 8 | p[0]); }

// Spreads a channel taken through an X visual mask over 0..255, whatever the mask's width.
inline uint32_t Channel(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask >> shift & 1)) ++shift;
    uint32_t value = (pixel & mask) >> shift;
    uint32_t top = mask >> shift;
    return top == 0xFF ? value : uint32_t((uint64_t(value) * 255 + top / 2) / top);
}

}  // namespace frame_detail

// Reads what `xwd -root` writes: a version 7 ZPixmap dump of a true-colour screen at 24 or 32 bits per pixel.
// The dump comes from outside the program, so every size is checked against the bytes that are there.
inline bool ReadXwd(const std::vector<uint8_t>& bytes, FrameImage& image, std::string& error) {
    using namespace frame_detail;
    constexpr size_t kHeaderFields = 25;
    if (bytes.size() < kHeaderFields * 4) {
        error = "too short for a window dump header";
        return false;
    }
    uint32_t field[kHeaderFields];
    for (size_t i = 0; i < kHeaderFields; ++i) field[i] = Big32(&bytes[i * 4]);
    const uint32_t headerSize = field[0], version = field[1], format = field[2], width = field[4], height = field[5];
    const uint32_t byteOrder = field[7], bitsPerPixel = field[11], bytesPerLine = field[12], visualClass = field[13];
    const uint32_t redMask = field[14], greenMask = field[15], blueMask = field[16], colours = field[19];
    if (version != 7 || format != 2) {
        error = "not a version 7 ZPixmap window dump";
        return false;
    }
    if (visualClass != 4 && visualClass != 5) {
        error = "not a true-colour screen";
        return false;
    }
    if (bitsPerPixel != 24 && bitsPerPixel != 32) {
        error = "unsupported pixel size";
        return false;
    }
    if (width == 0 || height == 0 || width > 16384 || height > 16384 ||
        uint64_t(bytesPerLine) * 8 < uint64_t(width) * bitsPerPixel) {
        error = "absurd picture size";
        return false;
    }
    const uint64_t pixelStart = uint64_t(headerSize) + uint64_t(colours) * 12;
    if (headerSize < kHeaderFields * 4 || pixelStart + uint64_t(bytesPerLine) * height > bytes.size()) {
        error = "the dump is shorter than its header says";
        return false;
    }
    image.width = int(width);
    image.height = int(height);
    image.pixels.assign(size_t(width) * height, 0);
    const size_t step = bitsPerPixel / 8;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = bytes.data() + pixelStart + uint64_t(y) * bytesPerLine;
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* p = row + x * step;
            uint32_t pixel;
            if (step == 4) {
                pixel = byteOrder == 0 ? Little32(p) : Big32(p);
            } else {
                pixel = byteOrder == 0 ? uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]
                                       : uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            }
            image.pixels[size_t(y) * width + x] =
                FrameRgb(int(Channel(pixel, redMask)), int(Channel(pixel, greenMask)), int(Channel(pixel, blueMask)));
        }
    }
    return true;
}

// An 8-bit bitmap file: its indices, rows top first, and its colour table as 0xRRGGBB.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> indices;
    std::vector<uint32_t> colours;
};

// Reads an uncompressed 8-bit bitmap file such as the program's resources, bottom-up or top-down.
inline bool ReadIndexedBmp(const std::vector<uint8_t>& bytes, IndexedImage& image, std::string& error) {
    using namespace frame_detail;
    if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') {
        error = "not a bitmap file";
        return false;
    }
    const uint32_t pixelOffset = Little32(&bytes[10]), infoSize = Little32(&bytes[14]);
    const int32_t width = int32_t(Little32(&bytes[18])), rawHeight = int32_t(Little32(&bytes[22]));
    const uint16_t bitCount = Little16(&bytes[28]);
    const uint32_t compression = Little32(&bytes[30]);
    uint32_t used = Little32(&bytes[46]);
    if (bitCount != 8 || compression != 0) {
        error = "not an uncompressed 8-bit bitmap";
        return false;
    }
    if (width <= 0 || width > 16384 || rawHeight == 0 || rawHeight < -16384 || rawHeight > 16384) {
        error = "absurd bitmap size";
        return false;
    }
    if (used == 0 || used > 256) used = 256;
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;
    const uint64_t tableStart = 14 + uint64_t(infoSize), stride = (uint64_t(width) + 3) / 4 * 4;
    if (infoSize < 40 || tableStart + used * 4 > bytes.size() || pixelOffset + stride * height > bytes.size()) {
        error = "the bitmap is shorter than its header says";
        return false;
    }
    image.width = width;
    image.height = height;
    image.colours.assign(256, 0);
    for (uint32_t i = 0; i < used; ++i) {
        const uint8_t* q = &bytes[tableStart + i * 4];
        image.colours[i] = FrameRgb(q[2], q[1], q[0]);
    }
    image.indices.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const int stored = rawHeight < 0 ? y : height - 1 - y;
        std::copy_n(bytes.begin() + std::ptrdiff_t(pixelOffset + stride * stored), width,
                    image.indices.begin() + std::ptrdiff_t(size_t(y) * width));
    }
    return true;
}

// One character of the glyph strip: the pixels it covers on screen and their colours; key-green pixels are left out.
struct Glyph {
    char code = ' ';
    std::vector<int> offsets;  // y * 8 + x inside the 8 x 16 cell
    std::vector<uint32_t> colours;
};

// Cuts the cells of the wanted characters out of the strip's first band, as the frame driver's blits pick them.
inline std::vector<Glyph> CutGlyphs(const IndexedImage& strip, const std::string& codes, uint32_t keyColour) {
    std::vector<Glyph> glyphs;
    for (char code : codes) {
        const int left = (int(code) - 32) * 8;
        if (left < 0 || left + 8 > strip.width || strip.height < 16) continue;
        Glyph glyph;
        glyph.code = code;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 8; ++x) {
                uint32_t colour = strip.colours[strip.indices[size_t(y) * strip.width + size_t(left + x)]];
                if (colour == keyColour) continue;
                glyph.offsets.push_back(y * 8 + x);
                glyph.colours.push_back(colour);
            }
        }
        glyphs.push_back(std::move(glyph));
    }
    return glyphs;
}

// The character whose every drawn pixel is on screen in the cell at (left, top). Where several fit (one glyph's
// pixels can be a subset of another's), the one drawing the most pixels wins; a blank fits everywhere and so loses
// to any glyph that fits. Zero when nothing fits or the cell leaves the picture.
inline char MatchGlyph(const FrameImage& shot, int left, int top, const std::vector<Glyph>& glyphs) {
    if (left < 0 || top < 0 || left + 8 > shot.width || top + 16 > shot.height) return 0;
    const Glyph* best = nullptr;
    for (const Glyph& glyph : glyphs) {
        bool fits = true;
        for (size_t i = 0; i < glyph.offsets.size() && fits; ++i) {
            const int x = left + glyph.offsets[i] % 8, y = top + glyph.offsets[i] / 8;
            fits = FrameAt(shot, x, y) == glyph.colours[i];
        }
        if (fits && (!best || glyph.offsets.size() > best->offsets.size())) best = &glyph;
    }
    return best ? best->code : 0;
}

// The frame-rate counter in the top-left corner ("0060 FPS", five digits and more written in full): its number,
// or -1 when the corner does not read as a counter. The text read is left in `text` for messages.
inline long ReadFrameCounter(const FrameImage& shot, const std::vector<Glyph>& glyphs, std::string* text = nullptr) {
    std::string read;
    for (int cell = 0; cell * 8 + 8 <= shot.width && cell < 16; ++cell) {
        char c = MatchGlyph(shot, cell * 8, 0, glyphs);
        read.push_back(c ? c : '?');
    }
    if (text) *text = read;
    size_t digits = 0;
    while (digits < read.size() && read[digits] >= '0' && read[digits] <= '9') ++digits;
    if (digits < 4 || digits > 9 || read.compare(digits, 4, " FPS") != 0) return -1;
    return std::stol(read.substr(0, digits));
}

// How many pixels of the rectangle (clipped to the picture) have exactly this colour.
inline long CountColour(const FrameImage& image, uint32_t colour, FrameRect rect) {
    rect.left = std::max(rect.left, 0);
    rect.top = std::max(rect.top, 0);
    rect.right = std::min(rect.right, image.width);
    rect.bottom = std::min(rect.bottom, image.height);
    long count = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) count += FrameAt(image, x, y) == colour;
    }
    return count;
}

// Differing pixels of two same-sized pictures: those inside each mask (a pixel counts for the first mask that holds
// it) and those outside every mask. `outside` is -1 when the sizes differ.
struct FrameDiff {
    long outside = 0;
    std::vector<long> inMask;
};

inline FrameDiff DiffFrames(const FrameImage& a, const FrameImage& b, const std::vector<FrameRect>& masks) {
    FrameDiff diff;
    diff.inMask.assign(masks.size(), 0);
    if (a.width != b.width || a.height != b.height) {
        diff.outside = -1;
        return diff;
    }
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            if (FrameAt(a, x, y) == FrameAt(b, x, y)) continue;
            size_t m = 0;
            while (m < masks.size() && !FrameContains(masks[m], x, y)) ++m;
            if (m < masks.size()) {
                ++diff.inMask[m];
            } else {
                ++diff.outside;
            }
        }
    }
    return diff;
}

// The third picture of a comparison row: equal pixels as a dim grey of the first picture, differing pixels red
// outside the masks and amber inside them, the masks outlined in cyan.
inline FrameImage DifferencePicture(const FrameImage& a, const FrameImage& b, const std::vector<FrameRect>& masks) {
    FrameImage out;
    out.width = a.width;
    out.height = a.height;
    out.pixels.assign(a.pixels.size(), 0);
    for (int y = 0; y < a.height; ++y) {
        for (int x = 0; x < a.width; ++x) {
            const uint32_t pa = FrameAt(a, x, y);
            const bool inside =
                std::any_of(masks.begin(), masks.end(), [&](const FrameRect& r) { return FrameContains(r, x, y); });
            const bool edge = std::any_of(masks.begin(), masks.end(), [&](const FrameRect& r) {
                return FrameContains(r, x, y) && (x == r.left || y == r.top || x == r.right - 1 || y == r.bottom - 1);
            });
            uint32_t colour;
            if (x < b.width && y < b.height && pa != FrameAt(b, x, y)) {
                colour = inside ? FrameRgb(255, 176, 0) : FrameRgb(255, 0, 0);
            } else if (edge) {
                colour = FrameRgb(0, 200, 220);
            } else {
                const int luma = int((pa >> 16 & 0xFF) * 3 + (pa >> 8 & 0xFF) * 6 + (pa & 0xFF)) / 10;
                colour = FrameRgb(luma / 3, luma / 3, luma / 3);
            }
            out.pixels[size_t(y) * out.width + x] = colour;
        }
    }
    return out;
}

// Puts pictures into one sheet, row after row, each row left to right; gaps stay black.
inline FrameImage Tile(const std::vector<std::vector<const FrameImage*>>& rows, int gap) {
    FrameImage sheet;
    for (const auto& row : rows) {
        int width = 0, height = 0;
        for (const FrameImage* image : row) {
            width += image->width + gap;
            height = std::max(height, image->height);
        }
        sheet.width = std::max(sheet.width, width - gap);
        sheet.height += height + gap;
    }
    sheet.height = std::max(sheet.height - gap, 0);
    sheet.pixels.assign(size_t(sheet.width) * sheet.height, 0);
    int top = 0;
    for (const auto& row : rows) {
        int left = 0, height = 0;
        for (const FrameImage* image : row) {
            for (int y = 0; y < image->height; ++y) {
                std::copy_n(image->pixels.begin() + std::ptrdiff_t(size_t(y) * image->width), image->width,
                            sheet.pixels.begin() + std::ptrdiff_t(size_t(top + y) * sheet.width + left));
            }
            left += image->width + gap;
            height = std::max(height, image->height);
        }
        top += height + gap;
    }
    return sheet;
}

// A binary portable pixmap, which ImageMagick turns into the PNG the README shows.
inline std::vector<uint8_t> EncodePpm(const FrameImage& image) {
    const std::string header = "P6\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.reserve(bytes.size() + image.pixels.size() * 3);
    for (uint32_t p : image.pixels) {
        bytes.push_back(uint8_t(p >> 16));
        bytes.push_back(uint8_t(p >> 8));
        bytes.push_back(uint8_t(p));
    }
    return bytes;
}
