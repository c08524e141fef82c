// Fonts and TextOutA on surface device contexts: the bytes decoded by the font's character set (codepage.cpp), the
// glyphs from fonts.cpp drawn in the one colour of the text.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

enum ColourUse { kTextColour, kBackgroundColour };

struct Text {
    FontSize* defaultSize = nullptr;
    PALETTEENTRY matchedPalette[256] = {};
    COLORREF matchedColours[2] = {CLR_INVALID, CLR_INVALID};  // text and background
    BYTE matchedIndices[2] = {};
    bool recording = false;
    std::vector<TestTextCall> calls;
    bool refusalSaid[256] = {};  // by character set
};
Text text;

bool IsLiveDC(HDC dc) { return ObjectsHas(ObjectKind::DC, dc); }

// A colour as a display palette index, by the one colour rule. The answer is kept while neither the colour nor the
// DC's palette changes, which is every line of every frame.
BYTE PaletteIndexOf(HDC dc, COLORREF colour, ColourUse use) {
    const PALETTEENTRY* palette = dc->palette;
    colour &= 0x00FFFFFF;
    if (std::memcmp(palette, text.matchedPalette, sizeof(text.matchedPalette)) != 0) {
        std::memcpy(text.matchedPalette, palette, sizeof(text.matchedPalette));
        text.matchedColours[kTextColour] = CLR_INVALID;
        text.matchedColours[kBackgroundColour] = CLR_INVALID;
    }
    if (colour != text.matchedColours[use]) {
        text.matchedColours[use] = colour;
        text.matchedIndices[use] = GdiNearestPaletteIndex(palette, colour);
    }
    return text.matchedIndices[use];
}

// The selected font, or the DC's default: the system font of a Japanese Windows, a 16-pixel cell in the default
// Japanese face.
const HFONT__* FontOfDC(HDC dc) {
    static const HFONT__ kSystemFont = [] {
        HFONT__ font = {};
        font.logFont.lfHeight = 16;
        font.logFont.lfWeight = FW_NORMAL;
        font.logFont.lfCharSet = SHIFTJIS_CHARSET;
        return font;
    }();
    if (const HFONT__* selected = ObjectsFind<HFONT__>(ObjectKind::Font, dc->font)) return selected;
    return &kSystemFont;
}

FontSize* SizeOf(const HFONT__* font) {
    if (font->size != nullptr) return font->size;
    if (text.defaultSize == nullptr) text.defaultSize = FontsSizeFor(font->logFont);
    return text.defaultSize;
}

void DrawGlyph(HDC dc, const FontGlyph& glyph, int64_t penX, int64_t baseline, BYTE ink) {
    int64_t left = penX + glyph.left;
    int64_t top = baseline - glyph.top;
    int64_t firstColumn = std::max<int64_t>(0, -left);
    int64_t endColumn = std::min<int64_t>(glyph.width, int64_t(dc->width) - left);
    int64_t firstRow = std::max<int64_t>(0, -top);
    int64_t endRow = std::min<int64_t>(glyph.rows, int64_t(dc->height) - top);
    GdiDrew(dc, left + firstColumn, top + firstRow, left + endColumn, top + endRow);
    for (int64_t row = firstRow; row < endRow; ++row) {
        const uint8_t* bits = glyph.bits.data() + row * glyph.pitch;
        BYTE* target = dc->pixels + (top + row) * int64_t(dc->pitch) + (left + firstColumn);
        for (int64_t column = firstColumn; column < endColumn; ++column) {
            if (bits[column >> 3] & (0x80 >> (column & 7))) {
                target[column - firstColumn] = ink;
            }
        }
    }
}

void FillBackground(HDC dc, int64_t x, int64_t y, int64_t width, int64_t height, BYTE colour) {
    int64_t left = std::max<int64_t>(x, 0);
    int64_t right = std::min<int64_t>(x + width, dc->width);
    int64_t top = std::max<int64_t>(y, 0);
    int64_t bottom = std::min<int64_t>(y + height, dc->height);
    GdiDrew(dc, left, top, right, bottom);
    for (int64_t row = top; row < bottom && left < right; ++row) {
        std::memset(dc->pixels + row * int64_t(dc->pitch) + left, colour, size_t(right - left));
    }
}

void Record(HDC dc, int x, int y, const char* string, int length, const FontSize* size) {
    TestTextCall call;
    call.x = x;
    call.y = y;
    call.text.assign(string, size_t(length));
    call.colour = dc->textColor;
    call.bkMode = dc->bkMode;
    if (const HFONT__* font = ObjectsFind<HFONT__>(ObjectKind::Font, dc->font)) {
        call.face.assign(font->logFont.lfFaceName, strnlen(font->logFont.lfFaceName, LF_FACESIZE));
        call.height = font->logFont.lfHeight;
    } else {
        call.height = size != nullptr ? FontsMetrics(size).height : 0;
    }
    text.calls.push_back(std::move(call));
}

}  // namespace

// DrawOverlayText makes one of these for every line it draws; the face behind it is resolved once per process, so
// creating and deleting fonts costs an allocation and two table look-ups. DeleteObject (gdi.cpp) frees them.
HFONT WINAPI CreateFontIndirectA(const LOGFONTA* logFont) {
    if (logFont == nullptr || !FontsStart()) {
        return nullptr;
    }
    // Drawing the bytes of a set no code page here reads (symbol, Macintosh, an unassigned number) would show
    // characters they do not mean; no font is made, and one line says why.
    if (const BYTE charSet = logFont->lfCharSet; !CodePageKnown(charSet)) {
        if (!text.refusalSaid[charSet]) {
            text.refusalSaid[charSet] = true;
            std::fprintf(stderr, "text: character set %u has no code page here; no font is made for it\n",
                         unsigned(charSet));
        }
        return nullptr;
    }
    FontSize* size = FontsSizeFor(*logFont);
    if (size == nullptr) {
        return nullptr;
    }
    HFONT font = new (std::nothrow) HFONT__{*logFont, size};
    if (font == nullptr) {
        return nullptr;
    }
    ObjectsAdd(ObjectKind::Font, font);
    return font;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    if (!IsLiveDC(dc) || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
    if (!IsLiveDC(dc)) {
        return CLR_INVALID;
    }
    COLORREF previous = dc->textColor;
    dc->textColor = colour;
    return previous;
}

// Draws into surface DCs only: nothing in the program writes text into a bitmap, so a memory DC is refused rather
// than drawn on wrongly. Escapement, underline and strike-out are not drawn for the same reason. OPAQUE fills the
// text's cells with white, the background colour every DC starts with.
BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR string, int length) {
    if (!IsLiveDC(dc) || length < 0 || (length > 0 && string == nullptr) || dc->pixels == nullptr || !FontsStart()) {
        return FALSE;
    }
    FontsKeepWithinBudget();
    const HFONT__* font = FontOfDC(dc);
    FontSize* size = SizeOf(font);
    if (text.recording) {
        Record(dc, x, y, string, length, size);
    }
    if (size == nullptr) {
        return FALSE;
    }
    const BYTE charSet = font->logFont.lfCharSet;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(string);
    const FontMetrics& metrics = FontsMetrics(size);
    int64_t baseline = int64_t(y) + metrics.ascent;
    if (dc->bkMode != TRANSPARENT) {
        int64_t extent = 0;
        for (size_t at = 0; at < size_t(length);) {
            extent += FontsGlyph(size, CodePageNext(charSet, bytes, size_t(length), at)).advance;
        }
        FillBackground(dc, x, y, extent, metrics.cellHeight, PaletteIndexOf(dc, RGB(255, 255, 255), kBackgroundColour));
    }
    BYTE ink = PaletteIndexOf(dc, dc->textColor, kTextColour);
    int64_t penX = x;
    for (size_t at = 0; at < size_t(length);) {
        const FontGlyph& glyph = FontsGlyph(size, CodePageNext(charSet, bytes, size_t(length), at));
        DrawGlyph(dc, glyph, penX, baseline, ink);
        penX += glyph.advance;
    }
    return TRUE;
}

void TestRecordTextOut(bool record) { text.recording = record; }

std::vector<TestTextCall> TestTakeTextOut() {
    std::vector<TestTextCall> calls;
    calls.swap(text.calls);
    return calls;
}
