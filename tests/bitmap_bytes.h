// Builds .bmp files and packed DIBs byte by byte, so tests can hand the readers exactly what they want.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct BitmapShape {
    int32_t width = 4;
    int32_t height = 4;  // negative: rows stored top-down
    uint16_t bitCount = 8;
    uint16_t planes = 1;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t colourUsed = 0;
    // Entries written to the colour table, as {red, green, blue}; the table holds `tableEntries` of them
    // (default: colourUsed, or 2^bitCount for palettised depths), cycling through `colours`.
    std::vector<uint32_t> colours;
    int tableEntries = -1;
    uint32_t masks[3] = {0, 0, 0};  // written after a 40-byte header, or inside a longer one, for BI_BITFIELDS
    // The raw value of pixel (x, y), y counted from the top; for 24 bits 0xRRGGBB.
    std::function<uint32_t(int x, int y)> pixel = [](int x, int y) { return uint32_t(x + y); };
};

inline void PutLE(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[at + i] = uint8_t(value >> (8 * i));
    }
}

inline int TableEntries(const BitmapShape& shape) {
    if (shape.tableEntries >= 0) {
        return shape.tableEntries;
    }
    if (shape.colourUsed != 0) {
        return int(shape.colourUsed);
    }
    return shape.bitCount <= 8 ? 1 << shape.bitCount : 0;
}

// Header, masks, colour table and pixels, with no file header: what a bitmap resource holds.
inline std::vector<uint8_t> PackedBitmap(const BitmapShape& shape) {
    const int entries = TableEntries(shape);
    const bool masksAfterHeader = shape.compression == 3 && shape.headerSize < 52;
    const size_t tableAt = shape.headerSize + (masksAfterHeader ? 12 : 0);
    const size_t pixelsAt = tableAt + size_t(entries) * 4;
    const int32_t rows = shape.height < 0 ? -shape.height : shape.height;
    const size_t stride = (size_t(shape.width) * shape.bitCount + 31) / 32 * 4;
    std::vector<uint8_t> bytes(pixelsAt + stride * size_t(rows), 0);
    PutLE(bytes, 0, shape.headerSize, 4);
    PutLE(bytes, 4, uint32_t(shape.width), 4);
    PutLE(bytes, 8, uint32_t(shape.height), 4);
    PutLE(bytes, 12, shape.planes, 2);
    PutLE(bytes, 14, shape.bitCount, 2);
    PutLE(bytes, 16, shape.compression, 4);
    PutLE(bytes, 20, uint32_t(stride * size_t(rows)), 4);
    PutLE(bytes, 32, shape.colourUsed, 4);
    if (shape.compression == 3) {
        for (int i = 0; i < 3; ++i) {
            PutLE(bytes, (masksAfterHeader ? shape.headerSize : 40) + 4 * i, shape.masks[i], 4);
        }
    }
    for (int i = 0; i < entries && !shape.colours.empty(); ++i) {
        uint32_t rgb = shape.colours[size_t(i) % shape.colours.size()];
        bytes[tableAt + 4 * i + 0] = uint8_t(rgb);        // blue
        bytes[tableAt + 4 * i + 1] = uint8_t(rgb >> 8);   // green
        bytes[tableAt + 4 * i + 2] = uint8_t(rgb >> 16);  // red
    }
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t storedRow = shape.height < 0 ? y : rows - 1 - y;
        const size_t row = pixelsAt + size_t(storedRow) * stride;
        for (int32_t x = 0; x < shape.width; ++x) {
            const uint32_t value = shape.pixel(x, y);
            switch (shape.bitCount) {
                case 1:
                    bytes[row + x / 8] |= uint8_t((value & 1) << (7 - x % 8));
                    break;
                case 4:
                    bytes[row + x / 2] |= uint8_t((value & 0xF) << (x % 2 ? 0 : 4));
                    break;
                case 8:
                    bytes[row + x] = uint8_t(value);
                    break;
                case 16:
                    PutLE(bytes, row + 2 * size_t(x), value, 2);
                    break;
                case 24:
                    PutLE(bytes, row + 3 * size_t(x), value, 3);
                    break;
                case 32:
                    PutLE(bytes, row + 4 * size_t(x), value, 4);
                    break;
                default:
                    break;
            }
        }
    }
    return bytes;
}

// The same bitmap as a file: a 14-byte file header whose bfOffBits points at the pixels.
inline std::vector<uint8_t> BitmapFile(const BitmapShape& shape) {
    std::vector<uint8_t> packed = PackedBitmap(shape);
    const bool masksAfterHeader = shape.compression == 3 && shape.headerSize < 52;
    const size_t pixelsAt = 14 + shape.headerSize + (masksAfterHeader ? 12 : 0) + size_t(TableEntries(shape)) * 4;
    std::vector<uint8_t> bytes(14 + packed.size(), 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLE(bytes, 2, uint32_t(14 + packed.size()), 4);
    PutLE(bytes, 10, uint32_t(pixelsAt), 4);
    std::copy(packed.begin(), packed.end(), bytes.begin() + 14);
    return bytes;
}

// The display palette while none is attached, built here from its definition rather than taken from
// the layer, and the colour rule the layer must follow: nearest by squared distance, lowest on ties.
struct TestColour {
    int red, green, blue;
};
inline std::vector<TestColour> ThreeThreeTwo() {
    std::vector<TestColour> palette;
    for (int i = 0; i < 256; ++i) {
        palette.push_back({((i >> 5) & 7) * 255 / 7, ((i >> 2) & 7) * 255 / 7, (i & 3) * 255 / 3});
    }
    return palette;
}
inline int ExpectedNearest(const std::vector<TestColour>& palette, int red, int green, int blue) {
    int best = -1;
    long bestDistance = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
        const long d = long(palette[i].red - red) * (palette[i].red - red) +
                       long(palette[i].green - green) * (palette[i].green - green) +
                       long(palette[i].blue - blue) * (palette[i].blue - blue);
        if (best < 0 || d < bestDistance) {
            best = int(i);
            bestDistance = d;
        }
    }
    return best;
}
