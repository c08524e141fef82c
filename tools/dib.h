// Reads the project's 8-bit BMP files: the file header check and the packed bitmap the resources hold.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The whole file minus its 14-byte file header, after checking that the header describes the
// uncompressed 8-bit bottom-up layout the resources use.
bool ReadPackedBitmap(const std::string& path, std::vector<uint8_t>* packed, std::string* error);

struct Dib {
    int width = 0;
    int height = 0;
    std::array<uint32_t, 256> colours{};  // 0x00RRGGBB
    std::vector<uint8_t> pixels;          // top row first
};

bool DecodePackedBitmap(const std::vector<uint8_t>& packed, Dib* out, std::string* error);
