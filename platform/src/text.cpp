// Fonts and TextOutA on surface device contexts: fontconfig picks the face, iconv decodes code page 932,
// FreeType draws the glyphs without antialiasing.
#include "platform/src/platform.h"

#include "platform/testing.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <iconv.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

// What Windows draws for bytes that are no character of code page 932: the code page's default
// character, the katakana middle dot.
constexpr uint32_t kReplacement = 0x30FB;
constexpr uint32_t kUndecoded = 0xFFFFFFFF;
constexpr uint32_t kNoCharacter = 0xFFFFFFFE;

// Larger requests are clamped: nothing on the screen needs more, and a glyph's bitmap stays small.
constexpr int kMaxPixels = 1024;
// Bytes of glyph bitmaps kept before the caches start over; the program itself needs a few kilobytes.
constexpr size_t kGlyphBudget = size_t(32) << 20;
// The oblique shear FreeType applies when an italic is asked of a face that has none, as GDI does.
constexpr FT_Fixed kObliqueShear = 0x3333;  // 0.2

// Fontconfig on Debian knows no "ＭＳ 明朝" and would answer with a face that has no kanji; these
// Mincho faces stand in for it, in this order of preference.
constexpr char kSubstitutions[] =
    "<?xml version=\"1.0\"?>\n"
    "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
    "<fontconfig>\n"
    "  <match target=\"pattern\">\n"
    "    <test name=\"family\"><string>\xEF\xBC\xAD\xEF\xBC\xB3 \xE6\x98\x8E\xE6\x9C\x9D</string></test>\n"
    "    <edit name=\"family\" mode=\"prepend\" binding=\"strong\">\n"
    "      <string>IPAMincho</string><string>TakaoMincho</string>\n"
    "      <string>IPAexMincho</string><string>Noto Serif CJK JP</string>\n"
    "    </edit>\n"
    "  </match>\n"
    "  <match target=\"pattern\">\n"
    "    <test name=\"family\"><string>MS Mincho</string></test>\n"
    "    <edit name=\"family\" mode=\"prepend\" binding=\"strong\">\n"
    "      <string>IPAMincho</string><string>TakaoMincho</string>\n"
    "      <string>IPAexMincho</string><string>Noto Serif CJK JP</string>\n"
    "    </edit>\n"
    "  </match>\n"
    "</fontconfig>\n";

struct Glyph {
    int left;  // ink's left edge, from the pen position
    int top;   // rows of ink above the baseline
    int width;
    int rows;
    int pitch;
    int advance;
    std::vector<uint8_t> bits;  // one bit a pixel, most significant first, rows top-down
};

// One font file opened with FreeType, shared by every font that resolves to it.
struct LoadedFace {
    FT_Face ft = nullptr;
    int slant = FC_SLANT_ROMAN;
    int weight = FC_WEIGHT_REGULAR;
};

struct FontSize;

// A face request (name, character set, weight, italic) resolved once: the face, what must be synthesised,
// and the faces that stand in for characters it lacks.
struct FaceChoice {
    std::string familyUtf8;
    bool japanese = false;
    int weight = FC_WEIGHT_REGULAR;
    bool italic = false;
    LoadedFace* face = nullptr;
    bool obliqueSynthesised = false;
    bool boldSynthesised = false;
    std::unordered_map<uint32_t, LoadedFace*> standIns;
    std::vector<std::unique_ptr<FontSize>> sizes;
};

// One height of a face choice: where the baseline lies in the cell, and the glyphs drawn so far.
struct FontSize {
    FaceChoice* choice;
    LONG height;  // lfHeight, clamped: positive a cell height, negative a character height
    int ascent;
    int cellHeight;
    std::unordered_map<uint32_t, Glyph> glyphs;
    const Glyph* ascii[128];  // the glyphs of most text, found without hashing
};

}  // namespace

struct HFONT__ {
    GdiObject header;
    LOGFONTA logFont;
    FontSize* size;
};

namespace {

struct TextSystem {
    bool started = false;
    bool usable = false;
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    iconv_t decoder = reinterpret_cast<iconv_t>(-1);
    uint32_t singleBytes[256];
    std::vector<uint32_t> doubleBytes;  // 60 lead bytes x 256 trail bytes, decoded on first sight
    std::unordered_map<std::string, std::unique_ptr<LoadedFace>> faces;    // by file and index
    std::unordered_map<std::string, std::unique_ptr<FaceChoice>> choices;  // by face request
    std::string lastKey;
    FaceChoice* lastChoice = nullptr;
    FontSize* defaultSize = nullptr;
    size_t glyphBytes = 0;
    PALETTEENTRY matchedPalette[256];
    COLORREF matchedColours[2] = {CLR_INVALID, CLR_INVALID};  // text and background
    BYTE matchedIndices[2] = {};
    bool recording = false;
    std::vector<TestTextCall> calls;
    TestTextStats stats = {};

    // Fonts live in the program only from creation to DeleteObject; the faces behind them live for the
    // process and go here, at exit, so the leak checkers see nothing of FreeType or fontconfig.
    ~TextSystem() {
        choices.clear();
        for (auto& entry : faces) {
            if (entry.second->ft != nullptr) {
                FT_Done_Face(entry.second->ft);
            }
        }
        faces.clear();
        if (library != nullptr) {
            FT_Done_FreeType(library);
        }
        if (config != nullptr) {
            FcConfigDestroy(config);
            FcFini();
        }
        if (decoder != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(decoder);
        }
    }
};

TextSystem text;

// Called on the first font request; false, after one line on standard error, when text cannot be drawn.
bool StartText() {
    if (text.started) {
        return text.usable;
    }
    text.started = true;
    std::fill(std::begin(text.singleBytes), std::end(text.singleBytes), kUndecoded);
    text.doubleBytes.assign(60 * 256, kUndecoded);
    text.decoder = iconv_open("UTF-32LE", "CP932");
    if (text.decoder == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "text: iconv cannot decode CP932\n");
        return false;
    }
    if (FT_Init_FreeType(&text.library) != 0) {
        text.library = nullptr;
        std::fprintf(stderr, "text: FreeType cannot start\n");
        return false;
    }
    text.config = FcInitLoadConfigAndFonts();
    if (text.config == nullptr) {
        std::fprintf(stderr, "text: fontconfig cannot start\n");
        return false;
    }
    // Without the rule fontconfig still answers, only with a poorer face for "ＭＳ 明朝".
    if (!FcConfigParseAndLoadFromMemory(text.config, reinterpret_cast<const FcChar8*>(kSubstitutions), FcTrue)) {
        std::fprintf(stderr, "text: the Mincho substitution rule was refused\n");
    }
    text.usable = true;
    return true;
}

// --- code page 932 ---

bool IsLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsTrailByte(uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

uint32_t DecodeWithIconv(const uint8_t* bytes, size_t count) {
    iconv(text.decoder, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(bytes));
    size_t inLeft = count;
    uint8_t out[8];
    char* outAt = reinterpret_cast<char*>(out);
    size_t outLeft = sizeof(out);
    if (iconv(text.decoder, &in, &inLeft, &outAt, &outLeft) == size_t(-1) || inLeft != 0 ||
        outLeft != sizeof(out) - 4) {
        return kNoCharacter;
    }
    return uint32_t(out[0]) | uint32_t(out[1]) << 8 | uint32_t(out[2]) << 16 | uint32_t(out[3]) << 24;
}

// The code point of the character at `at`, moving `at` past it. A lead byte with no trail byte after it,
// or with a byte that cannot trail, is a character of its own: the replacement.
uint32_t NextCharacter(const uint8_t* bytes, size_t length, size_t& at) {
    uint8_t lead = bytes[at];
    uint32_t* slot;
    if (!IsLeadByte(lead)) {
        at += 1;
        slot = &text.singleBytes[lead];
        if (*slot == kUndecoded) {
            *slot = DecodeWithIconv(&lead, 1);
        }
    } else if (at + 1 >= length || !IsTrailByte(bytes[at + 1])) {
        at += 1;
        return kReplacement;
    } else {
        uint8_t pair[2] = {lead, bytes[at + 1]};
        at += 2;
        slot = &text.doubleBytes[(lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31) * 256 + pair[1]];
        if (*slot == kUndecoded) {
            *slot = DecodeWithIconv(pair, 2);
        }
    }
    return *slot == kNoCharacter ? kReplacement : *slot;
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(char(c));
    } else if (c < 0x800) {
        out.push_back(char(0xC0 | c >> 6));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(char(0xE0 | c >> 12));
        out.push_back(char(0x80 | (c >> 6 & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    } else {
        out.push_back(char(0xF0 | c >> 18));
        out.push_back(char(0x80 | (c >> 12 & 0x3F)));
        out.push_back(char(0x80 | (c >> 6 & 0x3F)));
        out.push_back(char(0x80 | (c & 0x3F)));
    }
}

// --- faces ---

LoadedFace* OpenFace(const char* file, int index, FcPattern* match) {
    std::string key = std::string(file) + '\n' + std::to_string(index);
    auto found = text.faces.find(key);
    if (found != text.faces.end()) {
        return found->second->ft != nullptr ? found->second.get() : nullptr;
    }
    auto face = std::make_unique<LoadedFace>();
    ++text.stats.facesOpened;
    if (FT_New_Face(text.library, file, index, &face->ft) != 0) {
        face->ft = nullptr;
    }
    FcPatternGetInteger(match, FC_SLANT, 0, &face->slant);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &face->weight);
    LoadedFace* result = face->ft != nullptr ? face.get() : nullptr;
    text.faces.emplace(std::move(key), std::move(face));
    return result;
}

FcPattern* RequestPattern(const FaceChoice& choice) {
    FcPattern* pattern = FcPatternCreate();
    // The name goes in as a plain string: FcNameParse would read its blanks and punctuation as syntax.
    if (!choice.familyUtf8.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(choice.familyUtf8.c_str()));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, choice.weight);
    FcPatternAddInteger(pattern, FC_SLANT, choice.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (choice.japanese) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    }
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    return pattern;
}

// Takes the pattern; the best face for it, or null. With `mustCover` the face must have that character.
LoadedFace* MatchFace(FcPattern* pattern, uint32_t mustCover) {
    ++text.stats.fontconfigMatches;
    FcConfigSubstitute(text.config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(text.config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return nullptr;
    }
    LoadedFace* face = nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        face = OpenFace(reinterpret_cast<const char*>(file), index, match);
    }
    FcPatternDestroy(match);
    if (face != nullptr && mustCover != 0 && FT_Get_Char_Index(face->ft, mustCover) == 0) {
        return nullptr;
    }
    return face;
}

FaceChoice* ChoiceFor(const LOGFONTA& logFont) {
    size_t nameLength = strnlen(logFont.lfFaceName, LF_FACESIZE);
    LONG weightAsked = logFont.lfWeight <= 0 ? FW_NORMAL : std::min<LONG>(logFont.lfWeight, 1000);
    std::string key(logFont.lfFaceName, nameLength);
    key.push_back('\0');
    key.push_back(char(logFont.lfCharSet));
    key.push_back(char(weightAsked / 100));
    key.push_back(char(weightAsked % 100));
    key.push_back(logFont.lfItalic != 0 ? '1' : '0');
    if (text.lastChoice != nullptr && key == text.lastKey) {
        return text.lastChoice;
    }
    auto found = text.choices.find(key);
    if (found == text.choices.end()) {
        auto choice = std::make_unique<FaceChoice>();
        const uint8_t* name = reinterpret_cast<const uint8_t*>(logFont.lfFaceName);
        for (size_t at = 0; at < nameLength;) {
            AppendUtf8(choice->familyUtf8, NextCharacter(name, nameLength, at));
        }
        choice->japanese = logFont.lfCharSet == SHIFTJIS_CHARSET;
        choice->weight = FcWeightFromOpenType(int(weightAsked));
        choice->italic = logFont.lfItalic != 0;
        choice->face = MatchFace(RequestPattern(*choice), 0);
        if (choice->face != nullptr) {
            choice->obliqueSynthesised = choice->italic && choice->face->slant == FC_SLANT_ROMAN;
            choice->boldSynthesised = choice->weight >= FC_WEIGHT_DEMIBOLD && choice->face->weight < FC_WEIGHT_DEMIBOLD;
        }
        found = text.choices.emplace(key, std::move(choice)).first;
    }
    text.lastKey = std::move(key);
    text.lastChoice = found->second.get();
    return text.lastChoice;
}

LONG ClampedHeight(LONG height) {
    if (height == 0) {
        return -12;  // GDI's "a reasonable default": a 12-pixel character
    }
    int64_t magnitude = std::min<int64_t>(height < 0 ? -int64_t(height) : int64_t(height), kMaxPixels);
    return LONG(height < 0 ? -magnitude : magnitude);
}

// A positive height is the cell (ascent plus descent), a negative one the character's em, as in GDI.
bool ApplySize(FT_Face ft, LONG height) {
    FT_Size_RequestRec request = {};
    request.type = height > 0 ? FT_SIZE_REQUEST_TYPE_REAL_DIM : FT_SIZE_REQUEST_TYPE_NOMINAL;
    request.height = FT_Long(height > 0 ? height : -height) * 64;
    if (FT_Request_Size(ft, &request) == 0) {
        return true;
    }
    // A face of fixed bitmap sizes only: its first size is all there is.
    return ft->num_fixed_sizes > 0 && FT_Select_Size(ft, 0) == 0;
}

FontSize* SizeFor(const LOGFONTA& logFont) {
    FaceChoice* choice = ChoiceFor(logFont);
    if (choice->face == nullptr) {
        return nullptr;
    }
    LONG height = ClampedHeight(logFont.lfHeight);
    for (auto& size : choice->sizes) {
        if (size->height == height) {
            return size.get();
        }
    }
    FT_Face ft = choice->face->ft;
    if (!ApplySize(ft, height)) {
        return nullptr;
    }
    int ascent = int(ft->size->metrics.ascender + 63) / 64;
    int cell = height > 0 ? int(height) : ascent + int(-ft->size->metrics.descender + 63) / 64;
    choice->sizes.push_back(std::make_unique<FontSize>(FontSize{choice, height, ascent, cell, {}, {}}));
    return choice->sizes.back().get();
}

// --- glyphs ---

LoadedFace* StandInFor(FaceChoice& choice, uint32_t c) {
    auto found = choice.standIns.find(c);
    if (found != choice.standIns.end()) {
        return found->second;
    }
    FcPattern* pattern = RequestPattern(choice);
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, c);
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcCharSetDestroy(wanted);
    LoadedFace* face = MatchFace(pattern, c);
    choice.standIns.emplace(c, face);
    return face;
}

Glyph Render(LoadedFace& face, FT_UInt index, const FontSize& size) {
    Glyph glyph = {};
    FT_Face ft = face.ft;
    if (!ApplySize(ft, size.height)) {
        return glyph;
    }
    FT_Matrix shear = {0x10000, kObliqueShear, 0, 0x10000};
    FT_Set_Transform(ft, size.choice->obliqueSynthesised ? &shear : nullptr, nullptr);
    bool embolden = size.choice->boldSynthesised;
    if (FT_Load_Glyph(ft, index, FT_LOAD_TARGET_MONO | (embolden ? 0 : FT_LOAD_RENDER)) != 0) {
        return glyph;
    }
    FT_GlyphSlot slot = ft->glyph;
    if (embolden && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        FT_Pos strength = std::max<FT_Pos>(64, FT_MulFix(ft->units_per_EM, ft->size->metrics.y_scale) / 24);
        FT_Outline_EmboldenXY(&slot->outline, strength, 0);
        slot->advance.x += strength;
    }
    if (slot->format != FT_GLYPH_FORMAT_BITMAP && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) {
        return glyph;
    }
    ++text.stats.glyphsRendered;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.advance = int((slot->advance.x + 32) >> 6);
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        return glyph;  // colour bitmaps have no place on an 8-bit palette screen: an advance, no ink
    }
    glyph.width = int(bitmap.width);
    glyph.rows = int(bitmap.rows);
    glyph.pitch = (glyph.width + 7) / 8;
    glyph.bits.assign(size_t(glyph.pitch) * size_t(glyph.rows), 0);
    int sourcePitch = bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch;
    for (int row = 0; row < glyph.rows; ++row) {
        int sourceRow = bitmap.pitch < 0 ? glyph.rows - 1 - row : row;
        const uint8_t* source = bitmap.buffer + size_t(sourceRow) * size_t(sourcePitch);
        uint8_t* target = glyph.bits.data() + size_t(row) * size_t(glyph.pitch);
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
            std::memcpy(target, source, size_t(glyph.pitch));
        } else {
            for (int column = 0; column < glyph.width; ++column) {
                if (source[column] >= 128) {
                    target[column >> 3] |= uint8_t(0x80 >> (column & 7));
                }
            }
        }
    }
    return glyph;
}

const Glyph& GlyphFor(FontSize& size, uint32_t c) {
    if (c < 128 && size.ascii[c] != nullptr) {
        return *size.ascii[c];
    }
    auto found = size.glyphs.find(c);
    if (found != size.glyphs.end()) {
        return found->second;
    }
    LoadedFace* face = size.choice->face;
    FT_UInt index = FT_Get_Char_Index(face->ft, c);
    // Control characters have no glyph anywhere; they draw the face's own missing-glyph shape.
    if (index == 0 && c >= 0x20 && c != 0x7F) {
        if (LoadedFace* standIn = StandInFor(*size.choice, c); standIn != nullptr) {
            face = standIn;
            index = FT_Get_Char_Index(face->ft, c);
        }
    }
    Glyph glyph = Render(*face, index, size);
    text.glyphBytes += glyph.bits.size() + sizeof(Glyph) + 32;
    const Glyph& kept = size.glyphs.emplace(c, std::move(glyph)).first->second;
    if (c < 128) {
        size.ascii[c] = &kept;
    }
    return kept;
}

void ForgetGlyphsWhenOverBudget() {
    if (text.glyphBytes <= kGlyphBudget) {
        return;
    }
    for (auto& choice : text.choices) {
        for (auto& size : choice.second->sizes) {
            size->glyphs.clear();
            std::fill(std::begin(size->ascii), std::end(size->ascii), nullptr);
        }
    }
    text.glyphBytes = 0;
}

// --- drawing ---

enum ColourUse { kTextColour, kBackgroundColour };

// A colour as a display palette index, by the one colour rule. The answer is kept while neither the
// colour nor the palette changes, which is every line of every frame.
BYTE PaletteIndexOf(COLORREF colour, ColourUse use) {
    const PALETTEENTRY* palette = DisplayPalette();
    colour &= 0x00FFFFFF;
    if (std::memcmp(palette, text.matchedPalette, sizeof(text.matchedPalette)) != 0) {
        std::memcpy(text.matchedPalette, palette, sizeof(text.matchedPalette));
        text.matchedColours[kTextColour] = CLR_INVALID;
        text.matchedColours[kBackgroundColour] = CLR_INVALID;
    }
    if (colour != text.matchedColours[use]) {
        text.matchedColours[use] = colour;
        text.matchedIndices[use] = NearestPaletteIndex(palette, colour);
    }
    return text.matchedIndices[use];
}

FontSize* SizeOfDC(HDC dc) {
    HFONT font = dc->font;
    if (font != nullptr && GdiIsLive(font) && font->header.type == GdiType::Font) {
        return font->size;
    }
    if (text.defaultSize == nullptr) {
        // The system font of a Japanese Windows: a 16-pixel cell in the default Japanese face.
        LOGFONTA system = {};
        system.lfHeight = 16;
        system.lfWeight = FW_NORMAL;
        system.lfCharSet = SHIFTJIS_CHARSET;
        text.defaultSize = SizeFor(system);
    }
    return text.defaultSize;
}

void DrawGlyph(HDC dc, const Glyph& glyph, int64_t penX, int64_t baseline, BYTE ink) {
    int64_t left = penX + glyph.left;
    int64_t top = baseline - glyph.top;
    int64_t firstColumn = std::max<int64_t>(0, -left);
    int64_t endColumn = std::min<int64_t>(glyph.width, int64_t(dc->width) - left);
    int64_t firstRow = std::max<int64_t>(0, -top);
    int64_t endRow = std::min<int64_t>(glyph.rows, int64_t(dc->height) - top);
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
    if (dc->font != nullptr && GdiIsLive(dc->font)) {
        call.face.assign(dc->font->logFont.lfFaceName, strnlen(dc->font->logFont.lfFaceName, LF_FACESIZE));
        call.height = dc->font->logFont.lfHeight;
    } else {
        call.height = size != nullptr ? size->height : 0;
    }
    text.calls.push_back(std::move(call));
}

}  // namespace

// DrawOverlayText makes one of these for every line it draws; the face behind it is resolved once per
// process, so creating and deleting fonts costs an allocation and two table look-ups.
HFONT WINAPI CreateFontIndirectA(const LOGFONTA* logFont) {
    if (logFont == nullptr || !StartText()) {
        return nullptr;
    }
    FontSize* size = SizeFor(*logFont);
    if (size == nullptr) {
        return nullptr;
    }
    HFONT font = new (std::nothrow) HFONT__{{GdiType::Font}, *logFont, size};
    if (font == nullptr) {
        return nullptr;
    }
    GdiRegister(font);
    ++liveObjects.fonts;
    return font;
}

// DeleteObject hands a live font here once no DC holds it.
void TextDeleteFont(HFONT font) {
    if (font == nullptr || font->header.type != GdiType::Font) {
        return;
    }
    GdiUnregister(font);
    --liveObjects.fonts;
    delete font;
}

int WINAPI SetBkMode(HDC dc, int mode) {
    if (!GdiIsLiveDC(dc) || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
    if (!GdiIsLiveDC(dc)) {
        return CLR_INVALID;
    }
    COLORREF previous = dc->textColor;
    dc->textColor = colour;
    return previous;
}

// Draws into surface DCs only: nothing in the program writes text into a bitmap, so a memory DC is
// refused rather than drawn on wrongly. Escapement, underline and strike-out are not drawn for the same
// reason. OPAQUE fills the text's cells with white, the background colour every DC starts with.
BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR string, int length) {
    if (!GdiIsLiveDC(dc) || length < 0 || (length > 0 && string == nullptr) || dc->pixels == nullptr || !StartText()) {
        return FALSE;
    }
    ForgetGlyphsWhenOverBudget();
    FontSize* size = SizeOfDC(dc);
    if (text.recording) {
        Record(dc, x, y, string, length, size);
    }
    if (size == nullptr) {
        return FALSE;
    }
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(string);
    int64_t baseline = int64_t(y) + size->ascent;
    if (dc->bkMode != TRANSPARENT) {
        int64_t extent = 0;
        for (size_t at = 0; at < size_t(length);) {
            extent += GlyphFor(*size, NextCharacter(bytes, size_t(length), at)).advance;
        }
        FillBackground(dc, x, y, extent, size->cellHeight, PaletteIndexOf(RGB(255, 255, 255), kBackgroundColour));
    }
    BYTE ink = PaletteIndexOf(dc->textColor, kTextColour);
    int64_t penX = x;
    for (size_t at = 0; at < size_t(length);) {
        const Glyph& glyph = GlyphFor(*size, NextCharacter(bytes, size_t(length), at));
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

TestTextStats TestGetTextStats() { return text.stats; }

std::string TestFontFamily(HFONT font) {
    if (font == nullptr || !GdiIsLive(font) || font->header.type != GdiType::Font) {
        return "";
    }
    const char* family = font->size->choice->face->ft->family_name;
    return family != nullptr ? family : "";
}

int TestFontAscent(HFONT font) {
    if (font == nullptr || !GdiIsLive(font) || font->header.type != GdiType::Font) {
        return -1;
    }
    return font->size->ascent;
}
