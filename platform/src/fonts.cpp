// Fonts: fontconfig picks the face for a font request, FreeType draws its glyphs without antialiasing; faces, sizes
// and glyphs are kept for the process, so a font made and deleted for every line costs two look-ups.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

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

// One font file opened with FreeType, shared by every font that resolves to it.
struct LoadedFace {
    FT_Face ft = nullptr;
    int slant = FC_SLANT_ROMAN;
    int weight = FC_WEIGHT_REGULAR;
};

// A face request (name, character set, weight, italic) resolved once: the face, what must be synthesised,
// and the faces that stand in for characters it lacks.
struct FaceChoice {
    std::string familyUtf8;
    const char* language = nullptr;  // what the character set's script needs of a face; null: anything
    int weight = FC_WEIGHT_REGULAR;
    bool italic = false;
    LoadedFace* face = nullptr;
    bool obliqueSynthesised = false;
    bool boldSynthesised = false;
    std::unordered_map<uint32_t, LoadedFace*> standIns;
    std::vector<std::unique_ptr<FontSize>> sizes;
};

}  // namespace

// One height of a face choice: where the baseline lies in the cell, and the glyphs drawn so far.
struct FontSize {
    FaceChoice* choice;
    FontMetrics metrics;
    std::unordered_map<uint32_t, FontGlyph> glyphs;
    const FontGlyph* ascii[128];  // the glyphs of most text, found without hashing
};

namespace {

struct Fonts {
    bool started = false;
    bool usable = false;
    bool noFontSaid = false;
    FT_Library library = nullptr;
    FcConfig* config = nullptr;
    std::unordered_map<std::string, std::unique_ptr<LoadedFace>> faces;    // by file and index
    std::unordered_map<std::string, std::unique_ptr<FaceChoice>> choices;  // by face request
    std::string lastKey;
    FaceChoice* lastChoice = nullptr;
    size_t glyphBytes = 0;
    TestTextStats stats = {};

    // Fonts live in the program only from creation to DeleteObject; the faces behind them live for the process and
    // go here, at exit, so the leak checkers see nothing of FreeType or fontconfig. Only our own configuration goes:
    // fontconfig's shared caches may still be held by another library in the process (libdecor's title bars on
    // Wayland), and FcFini would abort the exit on them.
    ~Fonts() {
        choices.clear();
        for (auto& entry : faces) {
            if (entry.second->ft != nullptr) FT_Done_Face(entry.second->ft);
        }
        faces.clear();
        if (library != nullptr) FT_Done_FreeType(library);
        if (config != nullptr) FcConfigDestroy(config);
    }
};
Fonts fonts;

// --- faces ---

LoadedFace* OpenFace(const char* file, int index, FcPattern* match) {
    std::string key = std::string(file) + '\n' + std::to_string(index);
    auto found = fonts.faces.find(key);
    if (found != fonts.faces.end()) {
        return found->second->ft != nullptr ? found->second.get() : nullptr;
    }
    auto face = std::make_unique<LoadedFace>();
    ++fonts.stats.facesOpened;
    if (FT_New_Face(fonts.library, file, index, &face->ft) != 0) {
        face->ft = nullptr;
    }
    FcPatternGetInteger(match, FC_SLANT, 0, &face->slant);
    FcPatternGetInteger(match, FC_WEIGHT, 0, &face->weight);
    LoadedFace* result = face->ft != nullptr ? face.get() : nullptr;
    fonts.faces.emplace(std::move(key), std::move(face));
    return result;
}

// The request as fontconfig reads it: all of it, then each half alone when no face answers all of it.
enum class Asking { NameAndScript, Script, Name };

FcPattern* RequestPattern(const FaceChoice& choice, Asking asking = Asking::NameAndScript) {
    FcPattern* pattern = FcPatternCreate();
    // The name goes in as a plain string: FcNameParse would read its blanks and punctuation as syntax.
    if (!choice.familyUtf8.empty() && asking != Asking::Script) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(choice.familyUtf8.c_str()));
    }
    FcPatternAddInteger(pattern, FC_WEIGHT, choice.weight);
    FcPatternAddInteger(pattern, FC_SLANT, choice.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (choice.language != nullptr && asking != Asking::Name) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(choice.language));
    }
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    return pattern;
}

bool HasLanguage(FcPattern* match, const char* language) {
    FcLangSet* languages = nullptr;
    return FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
           FcLangSetHasLang(languages, reinterpret_cast<const FcChar8*>(language)) == FcLangEqual;
}

// Takes the pattern; the best face for it, or null. With `mustCover` the face must have that character; with
// `language`, fontconfig must count that language among the face's.
LoadedFace* MatchFace(FcPattern* pattern, uint32_t mustCover, const char* language = nullptr) {
    ++fonts.stats.fontconfigMatches;
    FcConfigSubstitute(fonts.config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(fonts.config, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return nullptr;
    }
    LoadedFace* face = nullptr;
    FcChar8* file = nullptr;
    int index = 0;
    if ((language == nullptr || HasLanguage(match, language)) &&
        FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        face = OpenFace(reinterpret_cast<const char*>(file), index, match);
    }
    FcPatternDestroy(match);
    if (face != nullptr && mustCover != 0 && FT_Get_Char_Index(face->ft, mustCover) == 0) {
        return nullptr;
    }
    return face;
}

// Said once, by the first text call that finds nothing to draw with: the program runs on without its text.
void SayNoFont() {
    if (fonts.noFontSaid) return;
    fonts.noFontSaid = true;
    std::fprintf(stderr, "text: fontconfig finds no font; text is not drawn\n");
}

// The named face (the Mincho stand-ins for "ＭＳ 明朝") when it has the character set's script, as GDI puts the
// character set before the name; else the best face that has the script; else the best face for the name, which is
// any face there is. A system without Japanese fonts still shows its Latin text, and boxes for what it cannot draw.
LoadedFace* FaceFor(const FaceChoice& choice) {
    LoadedFace* face = MatchFace(RequestPattern(choice), 0, choice.language);
    if (face == nullptr && choice.language != nullptr) {
        face = MatchFace(RequestPattern(choice, Asking::Script), 0, choice.language);
        if (face == nullptr) face = MatchFace(RequestPattern(choice, Asking::Name), 0);
    }
    if (face == nullptr) SayNoFont();
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
    if (fonts.lastChoice != nullptr && key == fonts.lastKey) {
        return fonts.lastChoice;
    }
    auto found = fonts.choices.find(key);
    if (found == fonts.choices.end()) {
        auto choice = std::make_unique<FaceChoice>();
        choice->familyUtf8 = CodePageToUtf8(logFont.lfCharSet, logFont.lfFaceName, nameLength);
        choice->language = CodePageLanguage(logFont.lfCharSet);
        choice->weight = FcWeightFromOpenType(int(weightAsked));
        choice->italic = logFont.lfItalic != 0;
        choice->face = FaceFor(*choice);
        if (choice->face != nullptr) {
            choice->obliqueSynthesised = choice->italic && choice->face->slant == FC_SLANT_ROMAN;
            choice->boldSynthesised = choice->weight >= FC_WEIGHT_DEMIBOLD && choice->face->weight < FC_WEIGHT_DEMIBOLD;
        }
        found = fonts.choices.emplace(key, std::move(choice)).first;
    }
    fonts.lastKey = std::move(key);
    fonts.lastChoice = found->second.get();
    return fonts.lastChoice;
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
        if (size->metrics.height == height) {
            return size.get();
        }
    }
    FT_Face ft = choice->face->ft;
    if (!ApplySize(ft, height)) {
        return nullptr;
    }
    int ascent = int(ft->size->metrics.ascender + 63) / 64;
    int cell = height > 0 ? int(height) : ascent + int(-ft->size->metrics.descender + 63) / 64;
    choice->sizes.push_back(std::make_unique<FontSize>(FontSize{choice, {height, ascent, cell}, {}, {}}));
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

FontGlyph Render(LoadedFace& face, FT_UInt index, const FontSize& size) {
    FontGlyph glyph = {};
    FT_Face ft = face.ft;
    if (!ApplySize(ft, size.metrics.height)) {
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
    ++fonts.stats.glyphsRendered;
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

const FontGlyph& GlyphFor(FontSize& size, uint32_t c) {
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
    FontGlyph glyph = Render(*face, index, size);
    fonts.glyphBytes += glyph.bits.size() + sizeof(FontGlyph) + 32;
    const FontGlyph& kept = size.glyphs.emplace(c, std::move(glyph)).first->second;
    if (c < 128) {
        size.ascii[c] = &kept;
    }
    return kept;
}

}  // namespace

// Called on the first font request; false, after one line on standard error, when text cannot be drawn.
bool FontsStart() {
    if (fonts.started) return fonts.usable;
    fonts.started = true;
    if (FT_Init_FreeType(&fonts.library) != 0) {
        fonts.library = nullptr;
        std::fprintf(stderr, "text: FreeType cannot start\n");
        return false;
    }
    fonts.config = FcInitLoadConfigAndFonts();
    if (fonts.config == nullptr) {
        std::fprintf(stderr, "text: fontconfig cannot start\n");
        return false;
    }
    // Without the rule fontconfig still answers, only with a poorer face for "ＭＳ 明朝".
    if (!FcConfigParseAndLoadFromMemory(fonts.config, reinterpret_cast<const FcChar8*>(kSubstitutions), FcTrue)) {
        std::fprintf(stderr, "text: the Mincho substitution rule was refused\n");
    }
    // A minimal system or a container may have no font at all; every text call then fails quietly after one line.
    int known = 0;
    for (FcSetName set : {FcSetSystem, FcSetApplication}) {
        if (const FcFontSet* found = FcConfigGetFonts(fonts.config, set)) known += found->nfont;
    }
    if (known == 0) {
        SayNoFont();
        return false;
    }
    fonts.usable = true;
    return true;
}

FontSize* FontsSizeFor(const LOGFONTA& logFont) { return SizeFor(logFont); }

const FontMetrics& FontsMetrics(const FontSize* size) { return size->metrics; }

const FontGlyph& FontsGlyph(FontSize* size, uint32_t codePoint) { return GlyphFor(*size, codePoint); }

void FontsKeepWithinBudget() {
    if (fonts.glyphBytes <= kGlyphBudget) return;
    for (auto& choice : fonts.choices) {
        for (auto& size : choice.second->sizes) {
            size->glyphs.clear();
            std::fill(std::begin(size->ascii), std::end(size->ascii), nullptr);
        }
    }
    fonts.glyphBytes = 0;
}

TestTextStats TestGetTextStats() { return fonts.stats; }

std::string TestFontFamily(HFONT font) {
    const HFONT__* live = ObjectsFind<HFONT__>(ObjectKind::Font, font);
    if (live == nullptr) return "";
    const char* family = live->size->choice->face->ft->family_name;
    return family != nullptr ? family : "";
}

bool TestFontsStarted() { return fonts.started; }

int TestFontAscent(HFONT font) {
    const HFONT__* live = ObjectsFind<HFONT__>(ObjectKind::Font, font);
    return live != nullptr ? live->size->metrics.ascent : -1;
}
