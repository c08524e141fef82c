// Draws TITLE: the hiragana logo, the start prompt and the unused lettering below it, rasterised with FreeType.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "art.h"

namespace art {
namespace {

constexpr const char* kMinchoPath = "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf";
constexpr const char* kSansBoldPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr int kHighRes = 320;  // lettering is drawn this large, then reduced to the box it must fill exactly

struct Coverage {
    int width = 0, height = 0;
    std::vector<float> a;
};

struct Ink {
    int width = 0, height = 0;
    std::vector<uint8_t> on;
    bool Get(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height && on[y * width + x]; }
};

FT_Face OpenFace(FT_Library lib, const char* path, const char* package) {
    FT_Face face = nullptr;
    if (FT_New_Face(lib, path, 0, &face) != 0)
        Fail(std::string("cannot open font ") + path + " (install the Debian package " + package + ")");
    return face;
}

// One line of text at kHighRes, antialiased, cropped to its ink; `tracking` widens every gap by that many pixels.
Coverage RenderLine(FT_Face face, const std::u32string& text, double tracking, int embolden) {
    FT_Set_Pixel_Sizes(face, 0, kHighRes);
    const int pad = kHighRes;
    const int width = static_cast<int>(text.size() + 2) * kHighRes * 2, height = kHighRes * 3;
    Coverage canvas{width, height, std::vector<float>(static_cast<size_t>(width) * height, 0.0f)};
    double penX = pad;
    const int baseline = kHighRes * 2;
    for (char32_t ch : text) {
        if (FT_Load_Char(face, ch, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) Fail("font lacks a glyph");
        FT_GlyphSlot slot = face->glyph;
        if (embolden) FT_Outline_Embolden(&slot->outline, embolden * 64);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) Fail("cannot render a glyph");
        const FT_Bitmap& bm = slot->bitmap;
        const int left = static_cast<int>(std::lround(penX)) + slot->bitmap_left, top = baseline - slot->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col) {
                const int x = left + static_cast<int>(col), y = top + static_cast<int>(row);
                if (x < 0 || y < 0 || x >= width || y >= height) continue;
                float& dst = canvas.a[static_cast<size_t>(y) * width + x];
                dst = std::max(dst, bm.buffer[row * bm.pitch + col] / 255.0f);
            }
        penX += slot->advance.x / 64.0 + embolden + tracking;
    }
    int x0 = width, x1 = -1, y0 = height, y1 = -1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (canvas.a[static_cast<size_t>(y) * width + x] > 0.0f) {
                x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0) Fail("lettering rendered no ink");
    Coverage out{x1 - x0 + 1, y1 - y0 + 1, {}};
    out.a.resize(static_cast<size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.a[static_cast<size_t>(y) * out.width + x] = canvas.a[static_cast<size_t>(y + y0) * width + x + x0];
    return out;
}

// Reduces the lettering to exactly width x height with ink touching all four sides: thin
// extremities can fall under the threshold, so the source window is narrowed until they do not.
Ink FitToBox(const Coverage& src, int width, int height) {
    double sx0 = 0, sy0 = 0, sw = src.width, sh = src.height;
    constexpr int kSub = 8;
    for (int attempt = 0; attempt < 12; ++attempt) {
        Ink ink{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height, 0)};
        int bx0 = width, bx1 = -1, by0 = height, by1 = -1;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                double sum = 0;
                for (int j = 0; j < kSub; ++j)
                    for (int i = 0; i < kSub; ++i) {
                        const int px = static_cast<int>(sx0 + (x + (i + 0.5) / kSub) * sw / width);
                        const int py = static_cast<int>(sy0 + (y + (j + 0.5) / kSub) * sh / height);
                        if (px >= 0 && py >= 0 && px < src.width && py < src.height)
                            sum += src.a[static_cast<size_t>(py) * src.width + px];
                    }
                if (sum / (kSub * kSub) >= 0.5) {
                    ink.on[static_cast<size_t>(y) * width + x] = 1;
                    bx0 = std::min(bx0, x), bx1 = std::max(bx1, x), by0 = std::min(by0, y), by1 = std::max(by1, y);
                }
            }
        if (bx1 < 0) Fail("lettering vanished when reduced");
        if (bx0 == 0 && by0 == 0 && bx1 == width - 1 && by1 == height - 1) return ink;
        const double ux = sw / width, uy = sh / height;
        sx0 += bx0 * ux, sw = (bx1 + 1 - bx0) * ux;
        sy0 += by0 * uy, sh = (by1 + 1 - by0) * uy;
    }
    Fail("lettering does not settle into its box");
}

// Gap that gives the line the box's shape without distorting the letters.
double TrackingFor(FT_Face face, const std::u32string& text, int embolden, int boxWidth, int boxHeight) {
    const Coverage plain = RenderLine(face, text, 0, embolden);
    const double wanted = static_cast<double>(boxWidth) / boxHeight * plain.height;
    return std::max(0.0, (wanted - plain.width) / std::max<size_t>(1, text.size() - 1));
}

Ink Dilate(const Ink& ink, int radius) {
    Ink out{ink.width, ink.height, std::vector<uint8_t>(ink.on.size(), 0)};
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x) {
            bool hit = false;
            for (int dy = -radius; dy <= radius && !hit; ++dy)
                for (int dx = -radius; dx <= radius && !hit; ++dx)
                    if (dx * dx + dy * dy <= radius * radius + 1 && ink.Get(x + dx, y + dy)) hit = true;
            out.on[static_cast<size_t>(y) * ink.width + x] = hit;
        }
    return out;
}

Ink Grow(const Ink& ink, int margin) {
    Ink out{ink.width + 2 * margin, ink.height + 2 * margin, {}};
    out.on.assign(static_cast<size_t>(out.width) * out.height, 0);
    for (int y = 0; y < ink.height; ++y)
        for (int x = 0; x < ink.width; ++x)
            out.on[static_cast<size_t>(y + margin) * out.width + x + margin] = ink.Get(x, y);
    return out;
}

struct Style {
    uint8_t fill, highlight, shade, outline, shadow;
    int outlineRadius, shadowOffset;
};

// Lettering whose fill fills the box inset by the outline; outline and shadow reach the box's edges.
void Stamp(Canvas& c, const Ink& fill, int left, int top, const Style& s) {
    const int m = s.outlineRadius;
    const Ink body = Grow(fill, m);
    const Ink outline = Dilate(body, m);
    const int ox = left, oy = top;
    auto put = [&](int x, int y, uint8_t v) {
        if (Inside(c, ox + x, oy + y)) At(c, ox + x, oy + y) = v;
    };
    for (int y = 0; y < outline.height; ++y)
        for (int x = 0; x < outline.width; ++x)
            if (outline.Get(x, y)) put(x + s.shadowOffset, y + s.shadowOffset, s.shadow);
    for (int y = 0; y < outline.height; ++y)
        for (int x = 0; x < outline.width; ++x)
            if (outline.Get(x, y)) put(x, y, s.outline);
    for (int y = 0; y < body.height; ++y)
        for (int x = 0; x < body.width; ++x) {
            if (!body.Get(x, y)) continue;
            uint8_t v = s.fill;
            if (!body.Get(x, y + 1) || !body.Get(x, y + 2)) v = s.shade;
            if (!body.Get(x, y - 1)) v = s.highlight;
            put(x, y, v);
        }
}

// Draws `text` so that its ink, outline and shadow together span exactly {left..right} x {top..bottom}.
void Lettering(Canvas& c, FT_Face face, const std::u32string& text, int embolden, int left, int top, int right,
               int bottom, const Style& s) {
    const int inset = s.outlineRadius;
    const int w = right - left + 1 - 2 * inset - s.shadowOffset, h = bottom - top + 1 - 2 * inset - s.shadowOffset;
    const double tracking = TrackingFor(face, text, embolden, w, h);
    Stamp(c, FitToBox(RenderLine(face, text, tracking, embolden), w, h), left, top, s);
}

// Menu words keep their natural shape at a given height.
void Word(Canvas& c, FT_Face face, const std::u32string& text, int embolden, int left, int top, int height,
          const Style& s) {
    const Coverage line = RenderLine(face, text, kHighRes * 0.04, embolden);
    const int width =
        std::max(1, static_cast<int>(std::lround(static_cast<double>(line.width) * height / line.height)));
    Stamp(c, FitToBox(line, width, height), left, top, s);
}

void Pointer(Canvas& c, int left, int top, int size) {
    for (int y = 0; y < size; ++y) {
        const int reach = std::min(y, size - 1 - y);
        for (int x = 0; x <= reach; ++x) At(c, left + x, top + y) = x == reach ? 247 : kPromptYellow;
    }
}

}  // namespace

Canvas DrawTitle() {
    FT_Library lib = nullptr;
    if (FT_Init_FreeType(&lib) != 0) Fail("FreeType did not start");
    FT_Face mincho = OpenFace(lib, kMinchoPath, "fonts-ipafont-mincho");
    FT_Face sans = OpenFace(lib, kSansBoldPath, "fonts-dejavu-core");

    Canvas c = MakeCanvas(640, 480, kKeyGreen);
    const Style logo{kLogoGrey, 29, 22, 16, 129, 2, 2};
    Lettering(c, mincho, U"ぷりんすてっさり", 14, 23, 9, 605, 86, logo);

    const Style prompt{kPromptYellow, kPromptYellow, kPromptYellow, 249, 252, 1, 1};
    Lettering(c, sans, U"PUSH SPACE KEY", 0, 138, 103, 487, 127, prompt);
    const Style promptAlt{220, 222, 218, 209, 254, 1, 1};
    Lettering(c, sans, U"PUSH SPACE KEY", 0, 138, 137, 487, 161, promptAlt);

    const Style menu{28, 31, 24, 16, 129, 1, 1};
    const std::u32string latin[] = {U"START", U"CONTINUE", U"OPTION", U"EXIT"};
    const std::u32string kana[] = {U"はじめる", U"つづける", U"せってい", U"おわる"};
    for (int i = 0; i < 4; ++i) {
        Word(c, sans, latin[i], 0, 176, 200 + i * 36, 18, menu);
        Word(c, mincho, kana[i], 10, 372, 197 + i * 36, 24, menu);
    }
    Pointer(c, 156, 202, 15);

    FT_Done_Face(sans);
    FT_Done_Face(mincho);
    FT_Done_FreeType(lib);
    return c;
}

}  // namespace art
