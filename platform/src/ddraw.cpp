// DirectDraw 7 on software surfaces of 8-bit pixels (the display engineer replaces this first cut).
#include "platform/src/platform.h"

const PALETTEENTRY* DisplayPalette() {
    static PALETTEENTRY defaults[256];
    static bool made = false;
    if (!made) {
        for (int i = 0; i < 256; ++i) {
            defaults[i] = {BYTE(((i >> 5) & 7) * 255 / 7), BYTE(((i >> 2) & 7) * 255 / 7), BYTE((i & 3) * 255 / 3), 0};
        }
        made = true;
    }
    return defaults;
}
