// Builds .bmp files and packed DIBs byte by byte, so tests can hand the readers exactly what they want.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
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
    // Entries written to the colour table, as 0xRRGGBB; the table holds `tableEntries` of them
    // (default: colourUsed, or 2^bitCount for palettised depths), cycling through `colours`.
    std::vector<uint32_t> colours;
    int tableEntries = -1;
    // Channel masks written between a 40-byte header and the colour table, as BI_BITFIELDS places them.
    std::vector<uint32_t> masks;
    // The raw value of pixel (x, y), y counted from the top: a table index, or for 24 bits 0xRRGGBB, or the 16- or
    // 32-bit word. Below 8 bits the pixels fill each byte from its high bits.
    std::function<uint32_t(int x, int y)> pixel = [](int x, int y) { return uint32_t(x + y); };
};

inline void PutLE(std::vector<uint8_t>& bytes, size_t at, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        bytes[at + i] = uint8_t(value >> (8 * i));
    }
}

inline int TableEntries(const BitmapShape& shape) {
    return shape.tableEntries >= 0 ? shape.tableEntries
           : shape.colourUsed != 0 ? int(shape.colourUsed)
                                   : (shape.bitCount <= 8 ? 1 << shape.bitCount : 0);
}

// Header, masks, colour table and pixels, with no file header: what a bitmap resource holds.
inline std::vector<uint8_t> PackedBitmap(const BitmapShape& shape) {
    const size_t tableAt = shape.headerSize + shape.masks.size() * 4;
    const size_t pixelsAt = tableAt + size_t(TableEntries(shape)) * 4;
    const int32_t rows = shape.height < 0 ? -shape.height : shape.height;
    const size_t stride = (size_t(shape.width) * shape.bitCount + 31) / 32 * 4;
    std::vector<uint8_t> bytes(pixelsAt + stride * size_t(rows), 0);
    for (auto [at, value] : {std::pair<size_t, uint32_t>{0, shape.headerSize},
                             {4, uint32_t(shape.width)},
                             {8, uint32_t(shape.height)},
                             {12, shape.planes | uint32_t(shape.bitCount) << 16},
                             {16, shape.compression},
                             {20, uint32_t(stride * size_t(rows))},
                             {32, shape.colourUsed}})
        PutLE(bytes, at, value, 4);
    for (size_t i = 0; i < shape.masks.size(); ++i) PutLE(bytes, shape.headerSize + 4 * i, shape.masks[i], 4);
    for (int i = 0; i < TableEntries(shape) && !shape.colours.empty(); ++i)  // blue, green, red
        PutLE(bytes, tableAt + 4 * size_t(i), shape.colours[size_t(i) % shape.colours.size()], 3);
    for (int32_t y = 0; y < rows; ++y) {
        const size_t row = pixelsAt + size_t(shape.height < 0 ? y : rows - 1 - y) * stride;
        for (int32_t x = 0; x < shape.width; ++x) {
            const uint32_t value = shape.pixel(x, y);
            if (shape.bitCount == 1) {
                bytes[row + size_t(x) / 8] |= uint8_t((value & 1) << (7 - x % 8));
            } else if (shape.bitCount == 4) {
                bytes[row + size_t(x) / 2] |= uint8_t((value & 15) << (x % 2 ? 0 : 4));
            } else {
                PutLE(bytes, row + size_t(x) * shape.bitCount / 8, value, shape.bitCount / 8);
            }
        }
    }
    return bytes;
}

// The same bitmap as a file: a 14-byte file header whose bfOffBits points at the pixels.
inline std::vector<uint8_t> BitmapFile(const BitmapShape& shape) {
    const std::vector<uint8_t> packed = PackedBitmap(shape);
    const int32_t rows = shape.height < 0 ? -shape.height : shape.height;
    const size_t pixelBytes = (size_t(shape.width) * shape.bitCount + 31) / 32 * 4 * size_t(rows);
    // Sized up front: GCC 12 wrongly warns about an insert that grows a 14-byte vector.
    std::vector<uint8_t> bytes(14 + packed.size(), 0);
    std::copy(packed.begin(), packed.end(), bytes.begin() + 14);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutLE(bytes, 2, uint32_t(bytes.size()), 4);
    PutLE(bytes, 10, uint32_t(bytes.size() - pixelBytes), 4);
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
        const long dr = palette[i].red - red, dg = palette[i].green - green, db = palette[i].blue - blue;
        if (best < 0 || dr * dr + dg * dg + db * db < bestDistance) {
            best = int(i);
            bestDistance = dr * dr + dg * dg + db * db;
        }
    }
    return best;
}
// The nearest 3-3-2 index of a 0xRRGGBB colour.
inline int ExpectedIndex(uint32_t rgb) {
    return ExpectedNearest(ThreeThreeTwo(), int(rgb >> 16), int((rgb >> 8) & 0xFF), int(rgb & 0xFF));
}

// A fresh working directory for the life of one test, removed afterwards.
struct ScratchDirectory {
    std::filesystem::path previous = std::filesystem::current_path(), path;
    explicit ScratchDirectory(const std::string& name)
        : path(std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path);
        std::filesystem::current_path(path);
    }
    ~ScratchDirectory() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(path);
    }
};
inline void WriteFile(const char* name, const std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(name, "wb");
    if (file == nullptr) {
        return;  // the read that follows fails
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
