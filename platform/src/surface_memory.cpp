// A surface's pixels and what is known of them without reading them. Most frames begin by filling the whole back
// buffer, or copying a background over all of it, and then draw a small part of it. So after such a step each row
// keeps the span written since, and the page keeps the steps that wrote it: the presenter compares only where the
// steps of the new picture and of the shown one differ. The same fill or copy again writes nothing at first: the page
// still shows that step and the ones after it, and as long as the frame repeats them one by one nothing needs writing.
// At the first step that differs, or before anything else reads or writes any surface, the page is made right where
// the steps it still shows and the frame has not repeated wrote: the fill or copy again there, and the repeated
// steps over it. A source blitted with its key over and over keeps where in each row the key lets pixels through, so
// the keyed copy skips the rest without looking at it.
#include "platform/src/platform.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

// The keyed runs are found only for a source blitted twice unchanged; one that changes between every blit would pay
// for finding them each time.
constexpr int kKeyedUsesBeforeRuns = 2;
// Pixels the key lets through that lie closer than this go as one run, keyed copy and all: a short gap costs the
// kernel less than another run costs the loop.
constexpr int kKeyedGap = 128;
// A frame takes a few dozen steps; a page written more often than this since its whole fill or copy is compared
// wherever it was written, as if nothing were known of its steps.
constexpr size_t kMaxSteps = 256;

uint64_t lastGeneration = 0;

// The one page whose pixels may lag behind what is known of them, and the steps they still show since its whole fill
// or copy, of which the first `repeated` have been taken again since.
struct Deferred {
    SurfaceMemory* page = nullptr;
    std::vector<DrawStep> shows;
    size_t repeated = 0;
    std::vector<RowSpan> wrong;  // kept between frames, as the steps are, so a frame allocates nothing
};
Deferred deferred;

void Changed(SurfaceMemory& memory) { memory.generation = ++lastGeneration; }

void ForgetRows(SurfaceMemory& memory) {
    memory.written.known = false;
    Changed(memory);
}

// The fill or copy of the whole surface that the page was last written with, made again: only what was written since
// needs writing.
bool Again(SurfaceMemory& memory, const DrawStep& base) {
    Changed(memory);
    return memory.written.known && memory.written.base == base && !WholeFrames();
}

void StartSince(SurfaceMemory& memory, const DrawStep& base) {
    memory.written.known = true;
    memory.written.base = base;
    memory.written.rows.assign(size_t(memory.height), RowSpan{memory.width, 0});
    memory.written.steps.clear();
    memory.written.stepsKnown = true;
}

void Took(SurfaceMemory& memory, const DrawStep& step) {
    WrittenSince& written = memory.written;
    if (!written.known || !written.stepsKnown) return;
    if (written.steps.size() == kMaxSteps) {
        written.stepsKnown = false;
        written.steps.clear();
        return;
    }
    written.steps.push_back(step);
}

// Columns left..right - 1 of row y of the page as one step writes them; the step's source still holds what it held.
void WriteRowOf(const DrawStep& step, BYTE* row, int y, int left, int right) {
    if (step.kind == DrawStep::Kind::Fill) {
        std::memset(row + left, step.value, size_t(right - left));
        return;
    }
    const SurfaceMemory& source = *static_cast<const SurfaceMemory*>(step.source);
    const BYTE* from = source.bytes.data() + ptrdiff_t(step.from.top + y - step.to.top) * source.pitch +
                       (step.from.left - step.to.left);
    if (step.kind == DrawStep::Kind::KeyedCopy) {
        BlitCopyKeyed(row + left, 0, from + left, 0, right - left, 1, step.value, step.span);
    } else {
        std::memcpy(row + left, from + left, size_t(right - left));
    }
}

// The deferred page made right: where the steps it shows and the frame did not repeat wrote, the whole fill or copy
// again, then every repeated step over it in order.
void Catch() {
    SurfaceMemory* page = std::exchange(deferred.page, nullptr);
    if (page == nullptr) return;
    std::vector<RowSpan>& wrong = deferred.wrong;
    wrong.assign(size_t(page->height), RowSpan{page->width, 0});
    for (size_t i = deferred.repeated; i < deferred.shows.size(); ++i) {
        RowsWiden(wrong.data(), page->width, page->height, deferred.shows[i].to);
    }
    for (int y = 0; y < page->height; ++y) {
        const RowSpan& row = wrong[size_t(y)];
        if (row.left >= row.right) continue;
        BYTE* pixels = page->bytes.data() + ptrdiff_t(y) * page->pitch;
        WriteRowOf(page->written.base, pixels, y, row.left, row.right);
        for (size_t i = 0; i < deferred.repeated; ++i) {
            const DrawStep& step = deferred.shows[i];
            const int left = std::max(row.left, int(step.to.left));
            const int right = std::min(row.right, int(step.to.right));
            if (y >= step.to.top && y < step.to.bottom && left < right) WriteRowOf(step, pixels, y, left, right);
        }
    }
    deferred.shows.clear();
}

// The step the deferred page shows next, taken again: nothing to write.
bool Repeated(SurfaceMemory& page, const DrawStep& step) {
    if (deferred.page != &page || deferred.repeated == deferred.shows.size() ||
        !(step == deferred.shows[deferred.repeated])) {
        return false;
    }
    ++deferred.repeated;
    Changed(page);
    RowsWiden(page.written.rows.data(), page.width, page.height, step.to);
    Took(page, step);
    return true;
}

// The whole fill or copy the page shows, taken again: nothing is written until a step differs. A page whose steps are
// not all known rewrites what was written since at once.
bool Defer(SurfaceMemory& page, const DrawStep& base) {
    if (!page.written.stepsKnown) return false;
    deferred.page = &page;
    deferred.shows.swap(page.written.steps);
    deferred.repeated = 0;
    StartSince(page, base);
    return true;
}

void FindKeyedRuns(const SurfaceMemory& source, BYTE low, BYTE span) {
    KeyedRuns& runs = source.keyedRuns;
    runs.runs.clear();
    runs.rowFirst.assign(size_t(source.height) + 1, 0);
    for (int y = 0; y < source.height; ++y) {
        runs.rowFirst[size_t(y)] = uint32_t(runs.runs.size());
        const BYTE* row = source.pixels() + ptrdiff_t(y) * source.pitch;
        int x = 0;
        while (x < source.width) {
            while (x < source.width && BYTE(row[x] - low) <= span) ++x;
            const int left = x;
            while (x < source.width && BYTE(row[x] - low) > span) ++x;
            if (x == left) break;
            const bool near = runs.runs.size() > runs.rowFirst[size_t(y)] && left - runs.runs.back().right < kKeyedGap;
            if (near) {
                runs.runs.back().right = x;
            } else {
                runs.runs.push_back({left, x});
            }
        }
    }
    runs.rowFirst[size_t(source.height)] = uint32_t(runs.runs.size());
}

// The runs of the source for this key, once the source has been blitted with it unchanged often enough; null before.
const KeyedRuns* RunsFor(const SurfaceMemory& source, BYTE low, BYTE span) {
    KeyedRuns& runs = source.keyedRuns;
    if (runs.generation != source.generation || runs.low != low || runs.span != span) {
        runs = {};
        runs.generation = source.generation;
        runs.low = low;
        runs.span = span;
    }
    if (runs.uses < kKeyedUsesBeforeRuns && ++runs.uses == kKeyedUsesBeforeRuns) FindKeyedRuns(source, low, span);
    return runs.uses >= kKeyedUsesBeforeRuns ? &runs : nullptr;
}

// Every write goes through here: the step it was is kept, and the rows it may have changed count as written.
void Wrote(SurfaceMemory& memory, const DrawStep& step) {
    Changed(memory);
    if (!memory.written.known) return;
    RowsWiden(memory.written.rows.data(), memory.width, memory.height, step.to);
    Took(memory, step);
}

}  // namespace

void MemoryCatchUp() { Catch(); }

void MemoryExchange(SurfaceMemory& one, SurfaceMemory& other) {
    Catch();
    std::swap(one, other);
}

void MemoryFree(SurfaceMemory& memory) {
    if (deferred.page == &memory) {
        deferred.page = nullptr;
        deferred.shows.clear();
    }
    Catch();
}

void MemoryMake(SurfaceMemory& memory, int width, int height) {
    memory.width = width;
    memory.height = height;
    // Rows are padded to whole 32-bit words, so reading the first word of any surface stays inside it.
    memory.pitch = (LONG(width) + 3) & ~LONG(3);
    memory.bytes.assign(size_t(memory.pitch) * size_t(height), 0);
    memory.written = {};
    memory.keyedRuns = {};
    Changed(memory);
}

void MemoryWrote(SurfaceMemory& memory, const RECT& area) {
    Catch();
    Wrote(memory, DrawStep{.to = area});
}

void MemoryZero(SurfaceMemory& memory) {
    MemoryFree(memory);
    std::fill(memory.bytes.begin(), memory.bytes.end(), BYTE(0));
    ForgetRows(memory);
}

void MemoryFill(SurfaceMemory& memory, const RECT& area, BYTE value) {
    const bool whole = area.left == 0 && area.top == 0 && area.right == memory.width && area.bottom == memory.height;
    if (!whole && Repeated(memory, DrawStep{.kind = DrawStep::Kind::Fill, .value = value, .to = area})) return;
    Catch();
    if (!whole) {
        BlitFill(memory.pixels() + ptrdiff_t(area.top) * memory.pitch + area.left, memory.pitch, area.right - area.left,
                 area.bottom - area.top, value);
        Wrote(memory, DrawStep{.kind = DrawStep::Kind::Fill, .value = value, .to = area});
        return;
    }
    const DrawStep base = {.kind = DrawStep::Kind::Fill, .value = value, .to = area};
    if (Again(memory, base)) {
        if (Defer(memory, base)) return;
        for (int y = 0; y < memory.height; ++y) {
            const RowSpan& row = memory.written.rows[size_t(y)];
            if (row.left < row.right) {
                std::memset(memory.pixels() + ptrdiff_t(y) * memory.pitch + row.left, value,
                            size_t(row.right - row.left));
            }
        }
    } else {
        BlitFill(memory.pixels(), memory.pitch, memory.width, memory.height, value);
    }
    StartSince(memory, base);
}

void MemoryCopy(SurfaceMemory& dest, int x, int y, const SurfaceMemory& source, const RECT& rect, bool keyed, BYTE low,
                BYTE span) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // A copy within one surface depends on what the surface held, which no step says.
    DrawStep step = {.to = RECT{x, y, x + width, y + height}};
    if (&source != &dest) {
        step.kind = keyed ? DrawStep::Kind::KeyedCopy : DrawStep::Kind::Copy;
        step.value = keyed ? low : 0;
        step.span = keyed ? span : 0;
        step.source = &source;
        step.sourceGeneration = source.generation;
        step.from = rect;
    }
    if (Repeated(dest, step)) return;
    Catch();
    const BYTE* from = source.pixels() + ptrdiff_t(rect.top) * source.pitch + rect.left;
    LONG fromPitch = source.pitch;
    std::vector<BYTE> overlap;
    if (&source == &dest) {
        // A copy within one surface may overlap itself; take the source rows aside first.
        overlap.resize(size_t(width) * size_t(height));
        BlitCopy(overlap.data(), width, from, fromPitch, width, height);
        from = overlap.data();
        fromPitch = width;
    }
    BYTE* to = dest.pixels() + ptrdiff_t(y) * dest.pitch + x;
    if (step.kind == DrawStep::Kind::Copy && x == 0 && y == 0 && width == dest.width && height == dest.height) {
        if (Again(dest, step)) {
            if (Defer(dest, step)) return;
            for (int row = 0; row < height; ++row) {
                const RowSpan& written = dest.written.rows[size_t(row)];
                if (written.left >= written.right) continue;
                std::memcpy(to + ptrdiff_t(row) * dest.pitch + written.left,
                            from + ptrdiff_t(row) * fromPitch + written.left, size_t(written.right - written.left));
            }
        } else {
            BlitCopy(to, dest.pitch, from, fromPitch, width, height);
        }
        StartSince(dest, step);
        return;
    }
    const KeyedRuns* runs = keyed && &source != &dest && !WholeFrames() ? RunsFor(source, low, span) : nullptr;
    if (runs == nullptr) {
        if (keyed) {
            BlitCopyKeyed(to, dest.pitch, from, fromPitch, width, height, low, span);
        } else {
            BlitCopy(to, dest.pitch, from, fromPitch, width, height);
        }
        Wrote(dest, step);
        return;
    }
    // Only the runs are written, so only they count as written: a keyed copy over a filled page leaves the rest of
    // it as the fill left it.
    Changed(dest);
    Took(dest, step);
    for (int row = 0; row < height; ++row) {
        const BYTE* sourceRow = source.pixels() + ptrdiff_t(rect.top + row) * source.pitch;
        BYTE* destRow = to + ptrdiff_t(row) * dest.pitch - rect.left;
        int first = int(rect.right);
        int last = int(rect.left);
        const uint32_t end = runs->rowFirst[size_t(rect.top + row) + 1];
        for (uint32_t i = runs->rowFirst[size_t(rect.top + row)]; i < end; ++i) {
            const int left = std::max(runs->runs[i].left, int(rect.left));
            const int right = std::min(runs->runs[i].right, int(rect.right));
            if (left >= right) continue;
            // A run narrower than the kernel's step widens to one step inside the copy, over pixels the key keeps.
            int start = left;
            if (right - left < kBlitKeyedStep && width >= kBlitKeyedStep) {
                start = std::max(int(rect.left), std::min(left, int(rect.right) - kBlitKeyedStep));
            }
            const int stop = std::max(right, std::min(start + kBlitKeyedStep, int(rect.right)));
            BlitCopyKeyed(destRow + start, 0, sourceRow + start, 0, stop - start, 1, low, span);
            first = std::min(first, left);
            last = std::max(last, right);
        }
        if (dest.written.known && first < last) {
            const RECT written = {x + first - rect.left, y + row, x + last - rect.left, y + row + 1};
            RowsWiden(dest.written.rows.data(), dest.width, dest.height, written);
        }
    }
}
