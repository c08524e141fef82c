// Checks and decodes the 8-bit BMP layout of resources/*.bmp for the host tools.
#include "dib.h"

#include <cstdio>

namespace {

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr size_t kColourTable = 1024;

bool CheckInfo(const std::vector<uint8_t>& packed, std::string* error) {
    auto fail = [error](const std::string& why) {
        *error = why;
        return false;
    };
    if (packed.size() < kInfoHeader + kColourTable) return fail("too short for a header and a colour table");
    const uint8_t* h = packed.data();
    const int32_t width = static_cast<int32_t>(Le32(h + 4)), height = static_cast<int32_t>(Le32(h + 8));
    if (Le32(h) != 40) return fail("biSize is not 40");
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return fail("width or height out of range");
    if (width % 4 != 0) return fail("width is not a multiple of 4");
    if (Le16(h + 12) != 1) return fail("biPlanes is not 1");
    if (Le16(h + 14) != 8) return fail("biBitCount is not 8");
    if (Le32(h + 16) != 0) return fail("biCompression is not BI_RGB");
    const uint32_t pixels = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    if (Le32(h + 20) != pixels) return fail("biSizeImage is not width x height");
    if (Le32(h + 32) != 0) return fail("biClrUsed is not 0");
    if (packed.size() != kInfoHeader + kColourTable + pixels) return fail("size does not match the header");
    return true;
}

}  // namespace

bool ReadPackedBitmap(const std::string& path, std::vector<uint8_t>* packed, std::string* error) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        *error = path + ": cannot open";
        return false;
    }
    std::vector<uint8_t> file;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) file.insert(file.end(), buffer, buffer + got);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) {
        *error = path + ": read error";
        return false;
    }
    if (file.size() < kFileHeader || file[0] != 'B' || file[1] != 'M') {
        *error = path + ": not a BMP file";
        return false;
    }
    if (Le32(&file[2]) != file.size()) {
        *error = path + ": file size field does not match the file";
        return false;
    }
    if (Le32(&file[10]) != kFileHeader + kInfoHeader + kColourTable) {
        *error = path + ": pixel offset is not right after the colour table";
        return false;
    }
    packed->assign(file.begin() + kFileHeader, file.end());
    std::string why;
    if (!CheckInfo(*packed, &why)) {
        *error = path + ": " + why;
        return false;
    }
    return true;
}

bool DecodePackedBitmap(const std::vector<uint8_t>& packed, Dib* out, std::string* error) {
    if (!CheckInfo(packed, error)) return false;
    out->width = static_cast<int>(Le32(&packed[4]));
    out->height = static_cast<int>(Le32(&packed[8]));
    for (int i = 0; i < 256; ++i) {
        const uint8_t* q = &packed[kInfoHeader + 4 * i];
        out->colours[i] = (static_cast<uint32_t>(q[2]) << 16) | (q[1] << 8) | q[0];
    }
    out->pixels.resize(static_cast<size_t>(out->width) * out->height);
    const uint8_t* bits = &packed[kInfoHeader + kColourTable];
    for (int y = 0; y < out->height; ++y)
        for (int x = 0; x < out->width; ++x)
            out->pixels[static_cast<size_t>(y) * out->width + x] =
                bits[static_cast<size_t>(out->height - 1 - y) * out->width + x];
    return true;
}
