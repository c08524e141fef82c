#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpus, deterministically: small bitmaps we make, good and broken, and short
scripts of desktop events that take the whole program through both scenes."""
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


# The program fuzzer's steps, in the order of ScriptOp in program_script.h.
(FRAME, FRAMES, KEY_DOWN, KEY_UP, KEY_REPEAT, MOTION, FAR_MOTION, BUTTON, WHEEL, STICK_ATTACH, STICK_DETACH,
 STICK_REPLUG, STICK_AXIS, STICK_BUTTON, STICK_HAT, FOCUS_LOST, FOCUS_GAINED, MINIMISE, RESTORE, ALT_ENTER,
 WINDOW_SIZE, EXPOSE, SURFACE_LOSS, RESTORE_FAIL, BUSY, BLIT_FAIL, READ_FAIL, CLOCK, TEXT, CLOSE) = range(30)
SPACE, RIGHT, LEFT, DOWN, UP = 44, 79, 80, 81, 82


def script(start, *steps):
    return bytes([start]) + b"".join(bytes(step) for step in steps)


def frames(n):
    out = []
    while n > 0:
        out.append([FRAMES, min(n, 256) - 1])
        n -= 256
    return out


def signed16(value):
    return [value & 0xFF, (value >> 8) & 0xFF]


def programs():
    start_walk = [[FRAME], [KEY_DOWN, SPACE], [FRAME], [KEY_UP, SPACE]]
    return {
        "walk_right_to_the_edge": script(8, *start_walk, [KEY_DOWN, RIGHT], *frames(212), [KEY_UP, RIGHT], [FRAME]),
        "walk_left_by_stick": script(8, [STICK_ATTACH, 2, 10, 1, 0], [FRAME], [STICK_BUTTON, 0, 8, 1], [FRAME],
                                     [STICK_BUTTON, 0, 8, 0], [STICK_AXIS, 0, 0, *signed16(-32768)], *frames(240)),
        "title_mouse_keys_focus": script(12, [FRAME], [MOTION, 0xFF, 0xFF], [FRAME], [MOTION, 3, 1], [FRAME],
                                         [FAR_MOTION, 0, 0, 0, 0x40, 0, 0, 0, 0x40], [FRAME], [MOTION, 1, 1], [FRAME],
                                         [FAR_MOTION, 0, 0, 0, 0xC0, 0, 0, 0, 0xC0],
                                         [BUTTON, 0x81], [KEY_DOWN, LEFT], [KEY_DOWN, UP], [FRAME], [FOCUS_LOST],
                                         [KEY_UP, LEFT], [FRAME], [FOCUS_GAINED], [FRAME], [FRAME], [FRAME], [BUTTON, 0x01],
                                         [WHEEL, 3, 0, 1], [KEY_REPEAT, UP], [FRAME], [KEY_DOWN, 0xF1, 0x20], [FRAME]),
        "faults_in_both_scenes": script(1, [FRAME], [SURFACE_LOSS, 0, 0], [FRAME], [RESTORE_FAIL, 2, 0], [FRAME],
                                        [FRAME], [BUSY, 3, 0], [BUSY, 1, 1], [FRAME], [BLIT_FAIL, 1], [FRAME],
                                        [READ_FAIL, 0, 0, 2], [READ_FAIL, 1, 2, 1], [FRAME], [MINIMISE], [FRAME],
                                        [FRAME], [RESTORE], [FRAME], [ALT_ENTER], [FRAME], [WINDOW_SIZE, 9, 0, 8, 0],
                                        [EXPOSE], [FRAME], [KEY_DOWN, SPACE], [FRAME], [KEY_UP, SPACE],
                                        [KEY_DOWN, LEFT], [FRAME], [SURFACE_LOSS, 3, 1], [FRAME],
                                        [SURFACE_LOSS, 1, 0], [FRAME], [RESTORE_FAIL, 3, 3], *frames(8)),
        "sticks_plugged_in_turns": script(8, [STICK_ATTACH, 2, 10, 0, 0], [STICK_ATTACH, 4, 12, 1, 1], [FRAME],
                                          [STICK_AXIS, 0, 0, *signed16(-20000)], [FRAME], [STICK_DETACH, 0], [FRAME],
                                          [STICK_ATTACH, 2, 10, 0, 0], [FRAME], [STICK_AXIS, 1, 1, *signed16(30000)],
                                          [FRAME], [STICK_REPLUG, 1], [FRAME], [STICK_BUTTON, 1, 8, 1], [FRAME],
                                          [STICK_AXIS, 1, 0, *signed16(32767)], *frames(4), [STICK_DETACH, 1],
                                          *frames(3), [STICK_ATTACH, 3, 9, 2, 2], [FRAME]),
        "stick_unplugged_and_another_make_in": script(8, [STICK_ATTACH, 2, 10, 0, 0], [FRAME],
                                                     [STICK_AXIS, 0, 0, *signed16(-32768)], [FRAME], [STICK_DETACH, 0],
                                                     [FRAME], [STICK_ATTACH, 2, 10, 0, 1],
                                                     [STICK_AXIS, 0, 0, *signed16(32767)], [FRAME], [FRAME],
                                                     [STICK_REPLUG, 0], [STICK_AXIS, 0, 1, *signed16(-32768)], [FRAME],
                                                     [STICK_ATTACH, 2, 10, 0, 0], [FRAME], [FRAME]),
        "text_drops_clock_and_a_signal": script(6, [FRAME], [TEXT, 0, 3, 0x41, 0x42, 0x43], [TEXT, 2, 4, 0x2F, 0x61,
                                                0x62, 0x63], [TEXT, 3, 2, 0x68, 0x69], [TEXT, 5], [FRAME], [CLOCK, 4],
                                                [FRAME], [CLOCK, 8], [FRAME], [CLOCK, 3], [FRAME], [CLOSE, 0xC3]),
    }


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

    for folder, files in (("bitmap_reader", bitmaps), ("palette_file", palettes), ("program", programs())):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(root, folder, name), "wb") as out:
                out.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus"))
