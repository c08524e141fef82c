#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus: small bitmaps we make, good and broken, deterministically."""
import os
import struct
import sys


def colour_table(count):
    return b"".join(struct.pack("<BBBB", (i * 13 + 7) & 255, (i * 91 + 5) & 255, (i * 37 + 11) & 255, 0)
                    for i in range(count))


def packed(width, height, bits, pixels, colours=None, used=0, compression=0, header=40, masks=b""):
    stride = (width * bits + 31) // 32 * 4
    rows = abs(height)
    if colours is None:
        colours = (used or (1 << bits)) if bits <= 8 else 0
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, stride * rows, 0, 0, used, 0)
    if header > 40:
        info += (masks + bytes(header - 40))[: header - 40]
        masks = b""
    data = bytearray(stride * rows)
    for y in range(rows):
        row = (y if height < 0 else rows - 1 - y) * stride
        for x in range(width):
            v = pixels(x, y)
            if bits == 1:
                data[row + x // 8] |= (v & 1) << (7 - x % 8)
            elif bits == 4:
                data[row + x // 2] |= (v & 15) << (0 if x % 2 else 4)
            else:
                data[row + x * bits // 8: row + (x + 1) * bits // 8] = (v & ((1 << bits) - 1)).to_bytes(bits // 8, "little")
    return info + masks + colour_table(colours), bytes(data)


def file_of(parts):
    head, pixels = parts
    return b"BM" + struct.pack("<IHHI", 14 + len(head) + len(pixels), 0, 0, 14 + len(head)) + head + pixels


def main(root):
    diagonal = lambda x, y: (x * 7 + y * 3) & 255
    bitmaps = {
        "good8_bottom_up.bmp": file_of(packed(8, 4, 8, diagonal)),
        "good8_top_down_16_colours.bmp": file_of(packed(6, -3, 8, lambda x, y: (x + y) % 16, used=16)),
        "good8_300_colours.bmp": file_of(packed(4, 2, 8, diagonal, used=300)),
        "good1.bmp": file_of(packed(13, 3, 1, lambda x, y: (x + y) & 1)),
        "good4.bmp": file_of(packed(5, 5, 4, lambda x, y: (x * y) & 15)),
        "good24.bmp": file_of(packed(3, 3, 24, lambda x, y: 0x123456 * (x + 1) + 0x10101 * y)),
        "good16_565.bmp": file_of(packed(4, 2, 16, lambda x, y: 0xF800 * (x & 1) | 0x1F * y, compression=3,
                                         masks=struct.pack("<III", 0xF800, 0x07E0, 0x001F))),
        "good32_v5.bmp": file_of(packed(2, 2, 32, lambda x, y: 0xFF102030 * (x + y + 1), compression=3, header=124,
                                        masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF))),
        "rle8.bmp": file_of(packed(4, 4, 8, diagonal, compression=1)),
        "huge_height.bmp": file_of(packed(4, 4, 8, diagonal))[:22] + struct.pack("<i", -0x7FFFFFFF) +
                           file_of(packed(4, 4, 8, diagonal))[26:],
        "pixels_past_end.bmp": file_of(packed(4, 4, 8, diagonal))[:10] + struct.pack("<I", 5000) +
                               file_of(packed(4, 4, 8, diagonal))[14:],
    }
    good = file_of(packed(8, 4, 8, diagonal))
    bitmaps["truncated.bmp"] = good[: len(good) - 9]
    resource_head, resource_pixels = packed(8, 8, 8, diagonal)
    bitmaps["good8_packed.dib"] = resource_head + resource_pixels
    bitmaps["garbage.bin"] = bytes((i * 73 + 41) & 255 for i in range(96))

    palettes = {name: bitmaps[name] for name in ("good8_bottom_up.bmp", "good8_top_down_16_colours.bmp",
                                                  "good8_300_colours.bmp", "good24.bmp", "good32_v5.bmp",
                                                  "truncated.bmp", "good8_packed.dib")}
    palettes["header_only.bmp"] = good[:54]
    palettes["short_table.bmp"] = good[:54 + 42]

    for folder, files in (("bitmap_reader", bitmaps), ("palette_file", palettes)):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(root, folder, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus"))
