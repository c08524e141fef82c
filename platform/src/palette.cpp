// DirectDraw palettes: 256 entries with their reference counts, the first and last reserved unless all 256 are asked.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>

namespace {

struct Palette : IDirectDrawPalette {
    ULONG refs = 1;
    bool allow256 = false;  // without DDPCAPS_ALLOW256 entries 0 and 255 stay black and white
    PALETTEENTRY entries[256] = {};
    PALETTEENTRY given[256] = {};  // as the creator gave them, for tests of what the program computed
};

Palette* Find(IDirectDrawPalette* palette) { return ObjectsFind<Palette>(ObjectKind::Palette, palette); }

// DirectDraw reserves the first and last entries for black and white unless the palette may set all 256.
void KeepReservedEntries(Palette* palette) {
    if (palette->allow256) return;
    palette->entries[0] = {0, 0, 0, 0};
    palette->entries[255] = {255, 255, 255, 0};
}

bool EntryRangeValid(DWORD base, DWORD count, const PALETTEENTRY* entries) {
    return entries != nullptr && base < 256 && count <= 256 - base;
}

ULONG Unref(Palette* palette) {
    if (--palette->refs > 0) return palette->refs;
    ObjectsRemove(ObjectKind::Palette, palette);
    delete palette;
    return 0;
}

}  // namespace

// IDirectDraw7::CreatePalette, once its flags are checked.
IDirectDrawPalette* PaletteCreate(const PALETTEENTRY* entries, DWORD flags) {
    Palette* palette = new Palette;
    palette->allow256 = (flags & DDPCAPS_ALLOW256) != 0;
    std::copy(entries, entries + 256, palette->entries);
    std::copy(entries, entries + 256, palette->given);
    KeepReservedEntries(palette);
    ObjectsAdd(ObjectKind::Palette, palette);
    return palette;
}

bool PaletteIsLive(IDirectDrawPalette* palette) { return Find(palette) != nullptr; }

const PALETTEENTRY* PaletteEntries(IDirectDrawPalette* palette) {
    Palette* self = Find(palette);
    return self ? self->entries : nullptr;
}

void PaletteAddRef(IDirectDrawPalette* palette) {
    if (Palette* self = Find(palette)) ++self->refs;
}

void PaletteRelease(IDirectDrawPalette* palette) {
    if (Palette* self = Find(palette)) Unref(self);
}

ULONG IDirectDrawPalette::AddRef() {
    Palette* self = Find(this);
    return self ? ++self->refs : 0;
}

ULONG IDirectDrawPalette::Release() {
    Palette* self = Find(this);
    if (self == nullptr) return 0;
    ObjectsNoteRelease("palette");
    return Unref(self);
}

HRESULT IDirectDrawPalette::GetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) {
    Palette* self = Find(this);
    if (self == nullptr) return DDERR_INVALIDOBJECT;
    if (flags != 0 || !EntryRangeValid(base, count, entries)) return DDERR_INVALIDPARAMS;
    std::copy(self->entries + base, self->entries + base + count, entries);
    return DD_OK;
}

HRESULT IDirectDrawPalette::SetEntries(DWORD flags, DWORD base, DWORD count, LPPALETTEENTRY entries) {
    Palette* self = Find(this);
    if (self == nullptr) return DDERR_INVALIDOBJECT;
    if (flags != 0 || !EntryRangeValid(base, count, entries)) return DDERR_INVALIDPARAMS;
    std::copy(entries, entries + count, self->entries + base);
    std::copy(entries, entries + count, self->given + base);
    KeepReservedEntries(self);
    return DD_OK;
}

bool TestPaletteGivenEntries(IDirectDrawPalette* palette, PALETTEENTRY* entries) {
    Palette* self = Find(palette);
    if (!self) return false;
    std::copy(self->given, self->given + 256, entries);
    return true;
}
