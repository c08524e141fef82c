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
    WrittenSince shownWritten;  // what was known of the shown picture when it came
    RowSpan compare[kHeight];   // where the next picture can differ from the shown one, in whole words
};
Damage damage;

uint64_t Word(const BYTE* at) {
    uint64_t word;
    std::memcpy(&word, at, sizeof word);
    return word;
}

// A row that memcmp found different between words first and last: the first and past-the-last words that differ.
void ChangedSpan(const BYTE* next, const BYTE* shown, int* left, int* right) {
    int first = *left;
    while (Word(next + first) == Word(shown + first)) first += kWord;
    int last = *right;
    while (Word(next + last - kWord) == Word(shown + last - kWord)) last -= kWord;
    *left = first;
    *right = last;
}

bool Knows(const WrittenSince* written) {
    return written != nullptr && written->known && written->rows.size() == size_t(kHeight);
}

// Where the next picture can differ from the shown one: everywhere, unless both were filled or copied over alike.
// Then only where their steps differ, the n-th of one from the n-th of the other, when every step of both is known;
// else wherever either was written since that fill or copy.
void ChooseWhereToCompare(const WrittenSince* written) {
    RowSpan* compare = damage.compare;
    const WrittenSince& shown = damage.shownWritten;
    if (!Knows(written) || !Knows(&shown) || !(written->base == shown.base)) {
        std::fill(compare, compare + kHeight, RowSpan{0, kWidth});
        return;
    }
    std::fill(compare, compare + kHeight, RowSpan{kWidth, 0});
    if (written->stepsKnown && shown.stepsKnown) {
        const size_t count = std::max(written->steps.size(), shown.steps.size());
        for (size_t i = 0; i < count; ++i) {
            const DrawStep* next = i < written->steps.size() ? &written->steps[i] : nullptr;
            const DrawStep* before = i < shown.steps.size() ? &shown.steps[i] : nullptr;
            if (next != nullptr && before != nullptr && *next == *before) continue;
            if (next != nullptr) RowsWiden(compare, kWidth, kHeight, next->to);
            if (before != nullptr) RowsWiden(compare, kWidth, kHeight, before->to);
        }
    } else {
        for (int y = 0; y < kHeight; ++y) {
            compare[y] = {std::min(written->rows[size_t(y)].left, shown.rows[size_t(y)].left),
                          std::max(written->rows[size_t(y)].right, shown.rows[size_t(y)].right)};
        }
    }
    for (RowSpan& row : damage.compare) {
        if (row.left >= row.right) continue;
        row.left = row.left / kWord * kWord;
        row.right = std::min(kWidth, (row.right + kWord - 1) / kWord * kWord);
    }
}

void Remember(const WrittenSince* written) {
    if (Knows(written)) {
        damage.shownWritten = *written;
    } else {
        damage.shownWritten.known = false;
    }
}

}  // namespace

void DamageForget() { damage.known = false; }

// The presenter calls this at every present that may send only part of the picture. The new picture becomes the one
// shown; a present that then fails to reach the window forgets it, so the next one sends everything.
int DamageFind(const BYTE* pixels, LONG pitch, const WrittenSince* written, DamageBand* bands) {
    bands[0] = {0, kHeight, 0, kWidth};
    // The tests' whole frames keep nothing, as presents did before they compared.
    if (damage.off) return 1;
    if (!damage.known) {
        for (int y = 0; y < kHeight; ++y) std::memcpy(damage.shown + y * kWidth, pixels + ptrdiff_t(y) * pitch, kWidth);
        damage.known = true;
        Remember(written);
        return 1;
    }
    ChooseWhereToCompare(written);
    int count = 0;
    for (int y = 0; y < kHeight; ++y) {
        int left = damage.compare[y].left;
        int right = damage.compare[y].right;
        const BYTE* next = pixels + ptrdiff_t(y) * pitch;
        BYTE* shown = damage.shown + y * kWidth;
        if (left >= right || std::memcmp(next + left, shown + left, size_t(right - left)) == 0) continue;
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
    Remember(written);
    return count;
}

bool WholeFrames() { return damage.off; }

void TestPresentWholeFrames(bool whole) {
    damage.off = whole;
    damage.known = false;
}
