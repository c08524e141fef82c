// Minimal PNG writer (8-bit RGB or RGBA, zlib-compressed) for the artwork sheet, the icons and test screenshots.
#pragma once

#include <cstdint>

// Pixels are 0xAARRGGBB or 0x00RRGGBB words, row by row from the top; alpha is dropped.
bool WritePng(const char* path, int w, int h, const uint32_t* rgba_or_xrgb_pixels);

// The same words with their alpha kept, for pictures with transparent parts.
bool WritePngWithAlpha(const char* path, int w, int h, const uint32_t* argb_pixels);
