// What changed between the picture shown last and the next one, so that the presenter converts and sends only that.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
// Rows that differ with fewer unchanged rows between them go as one band: converting a few unchanged rows costs
// less than another rectangle for the display server to take.
constexpr int kJoinGap = 8;
// Spans are whole words of the picture, which the search steps through anyway.
constexpr int kWord = sizeof(uint64_t);

struct Damage {
    bool known = false;  // false: nothing is known to be on screen, so everything counts as changed
    bool off = false;    // the tests' whole frames
    BYTE shown[kWidth * kHeight] = {};
};
Damage damage;

uint64_t Word(const BYTE* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// A row that memcmp found different: the first and past-the-last of its words that differ.
void ChangedSpan(const BYTE* next, const BYTE* shown, int* left, int* right) {
    int first = 0;
    while (Word(next + first) == Word(shown + first)) first += kWord;
    int last = kWidth;
    while (Word(next + last - kWord) == Word(shown + last - kWord)) last -= kWord;
    *left = first;
    *right = last;
}

}  // namespace

void DamageForget() { damage.known = false; }

// The presenter calls this at every present that may send only part of the picture. The new picture becomes the one
// shown; a present that then fails to reach the window forgets it, so the next one sends everything.
int DamageFind(const BYTE* pixels, LONG pitch, DamageBand* bands) {
    bands[0] = {0, kHeight, 0, kWidth};
    // The tests' whole frames keep nothing, as presents did before they compared.
    if (damage.off) return 1;
    if (!damage.known) {
        for (int y = 0; y < kHeight; ++y) std::memcpy(damage.shown + y * kWidth, pixels + ptrdiff_t(y) * pitch, kWidth);
        damage.known = true;
        return 1;
    }
    int count = 0;
    for (int y = 0; y < kHeight; ++y) {
        const BYTE* next = pixels + ptrdiff_t(y) * pitch;
        BYTE* shown = damage.shown + y * kWidth;
        if (std::memcmp(next, shown, kWidth) == 0) continue;
        int left = 0;
        int right = 0;
        ChangedSpan(next, shown, &left, &right);
        std::memcpy(shown + left, next + left, size_t(right - left));
        DamageBand* last = count > 0 ? &bands[count - 1] : nullptr;
        if (last && (y - last->bottom < kJoinGap || count == kDamageMaxBands)) {
            last->bottom = y + 1;
            last->left = std::min(last->left, left);
            last->right = std::max(last->right, right);
        } else {
            bands[count++] = {y, y + 1, left, right};
        }
    }
    return count;
}

void TestPresentWholeFrames(bool whole) {
    damage.off = whole;
    damage.known = false;
}
