// Minimal PNG writer: one IHDR, one IDAT compressed by zlib, one IEND.
#include "png_write.h"

#include <zlib.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void PutBig32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}

void Chunk(std::string& out, const char* type, const std::string& data) {
    PutBig32(out, static_cast<uint32_t>(data.size()));
    std::string body(type, 4);
    body += data;
    out += body;
    PutBig32(out, static_cast<uint32_t>(
                      crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

bool Write(const char* path, int w, int h, const uint32_t* pixels, bool alpha) {
    if (w <= 0 || h <= 0 || !pixels) return false;
    const size_t channels = alpha ? 4 : 3;
    std::vector<unsigned char> raw;
    raw.reserve(static_cast<size_t>(h) * (1 + channels * static_cast<size_t>(w)));
    for (int y = 0; y < h; ++y) {
        raw.push_back(0);  // no filter: the sheet compresses well enough without one
        for (int x = 0; x < w; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * w + x];
            raw.push_back(static_cast<unsigned char>((p >> 16) & 0xff));
            raw.push_back(static_cast<unsigned char>((p >> 8) & 0xff));
            raw.push_back(static_cast<unsigned char>(p & 0xff));
            if (alpha) raw.push_back(static_cast<unsigned char>(p >> 24));
        }
    }
    uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedSize, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                  9) != Z_OK)
        return false;
    packed.resize(packedSize);

    std::string header;
    PutBig32(header, static_cast<uint32_t>(w));
    PutBig32(header, static_cast<uint32_t>(h));
    header.push_back(8);                       // bits a channel
    header.push_back(alpha ? 6 : 2);           // RGBA or RGB
    header += std::string("\x00\x00\x00", 3);  // deflate, no filter, no interlace

    std::string file("\x89PNG\r\n\x1a\n", 8);
    Chunk(file, "IHDR", header);
    Chunk(file, "IDAT", packed);
    Chunk(file, "IEND", "");

    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace

bool WritePng(const char* path, int w, int h, const uint32_t* pixels) { return Write(path, w, h, pixels, false); }

bool WritePngWithAlpha(const char* path, int w, int h, const uint32_t* pixels) {
    return Write(path, w, h, pixels, true);
}
