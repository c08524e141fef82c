// The blit kernels on 8-bit rows: the plain copy, the keyed copy and the fill (bench/bench_display.cpp measures them).
#include "platform/src/platform.h"

#include <cstring>

namespace {

// The keyed copy skips source pixels inside the key range; writing the destination back where a pixel is skipped
// keeps the loop free of branches. A run of a fixed 16 pixels between pointers that cannot alias is what lets the
// compiler vectorise it at -O2 (an open-ended row loop needs alias checks and a scalar tail, which its cheap cost
// model refuses); the keyed title logo took 35 times a memcpy of its bytes before.
constexpr int kKeyedRun = kBlitKeyedStep;

void CopyKeyedRun(BYTE* __restrict d, const BYTE* __restrict s, BYTE low, BYTE span) {
    for (int i = 0; i < kKeyedRun; ++i) {
        const BYTE p = s[i];
        const BYTE old = d[i];
        d[i] = BYTE(p - low) <= span ? old : p;
    }
}

}  // namespace

void BlitCopy(BYTE* dest, LONG destPitch, const BYTE* source, LONG sourcePitch, int width, int height) {
    for (int row = 0; row < height; ++row) {
        std::memcpy(dest + ptrdiff_t(row) * destPitch, source + ptrdiff_t(row) * sourcePitch, size_t(width));
    }
}

void BlitCopyKeyed(BYTE* dest, LONG destPitch, const BYTE* source, LONG sourcePitch, int width, int height, BYTE low,
                   BYTE span) {
    for (int row = 0; row < height; ++row) {
        BYTE* d = dest + ptrdiff_t(row) * destPitch;
        const BYTE* s = source + ptrdiff_t(row) * sourcePitch;
        int i = 0;
        for (; i + kKeyedRun <= width; i += kKeyedRun) CopyKeyedRun(d + i, s + i, low, span);
        // The last few pixels of a row as one more run that ends with it: a pixel copied twice comes out the same.
        if (i < width && width >= kKeyedRun) {
            CopyKeyedRun(d + width - kKeyedRun, s + width - kKeyedRun, low, span);
            continue;
        }
        for (; i < width; ++i) {
            const BYTE p = s[i];
            d[i] = BYTE(p - low) <= span ? d[i] : p;
        }
    }
}

void BlitFill(BYTE* dest, LONG pitch, int width, int height, BYTE value) {
    for (int row = 0; row < height; ++row) std::memset(dest + ptrdiff_t(row) * pitch, value, size_t(width));
}
