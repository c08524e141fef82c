// The committed bitmaps as the program reads them: the shared colour table's roles, the flat side panels, the
// title's two boxes, the glyph strip's characters and the sprite sheet's cursor and figure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <vector>

namespace {

struct Colour {
    int r, g, b;
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A packed 8-bit .bmp as the tests read it, kept apart from the generator's own writer.
struct Bitmap {
    std::vector<uint8_t> file;
    int width = 0, height = 0;
    std::vector<Colour> table;
    uint8_t at(int x, int y) const { return file[1078 + size_t(height - 1 - y) * size_t(width) + size_t(x)]; }
    Colour colour(int x, int y) const { return table[at(x, y)]; }
};

const Bitmap& Get(const std::string& name) {
    static std::map<std::string, Bitmap> cache;
    Bitmap& b = cache[name];
    if (!b.file.empty()) return b;
    std::ifstream in(std::string(DITESSARY_SOURCE_DIR) + "/resources/" + name + ".bmp", std::ios::binary);
    b.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    EXPECT_GE(b.file.size(), 1078u) << name;
    b.file.resize(std::max<size_t>(b.file.size(), 1078));
    b.width = b.file[18] | b.file[19] << 8, b.height = b.file[22] | b.file[23] << 8;
    for (size_t q = 54; q < 1078; q += 4) b.table.push_back({b.file[q + 2], b.file[q + 1], b.file[q]});
    return b;
}

// GDI's rule: nearest by squared RGB distance, lowest index on ties.
int NearestIndex(const std::vector<Colour>& table, Colour c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < int(table.size()); ++i) {
        const long dr = table[i].r - c.r, dg = table[i].g - c.g, db = table[i].b - c.b;
        if (bestDistance < 0 || dr * dr + dg * dg + db * db < bestDistance)
            best = i, bestDistance = dr * dr + dg * dg + db * db;
    }
    return best;
}

constexpr uint8_t kKey = 145;

// The inclusive bounds {left, top, right, bottom} of the non-key pixels in rows [top, bottom].
std::vector<int> Ink(const Bitmap& b, int top, int bottom) {
    std::vector<int> box = {1 << 30, 1 << 30, -1, -1};
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != kKey) box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), y};
    return box;
}

// The program keys by the green, clears to the dark blue, and the Windows check finds the screens by the grey
// panels and the yellow prompt; black and white stand where the display palette keeps them.
TEST(Artwork, ThreeBitmapsShareOneTableWithTheRolesTheProgramDependsOn) {
    const std::vector<Colour>& shared = Get("BACKIMG").table;
    ASSERT_EQ(shared.size(), 256u);
    EXPECT_EQ(Get("STRINGS").table, shared);
    EXPECT_EQ(Get("TITLE").table, shared);
    EXPECT_EQ(shared[kKey], (Colour{21, 141, 91}));
    EXPECT_EQ(std::count(shared.begin(), shared.end(), Colour{21, 141, 91}), 1);
    EXPECT_EQ(shared[128], (Colour{7, 4, 48}));
    EXPECT_EQ(shared[140], (Colour{121, 134, 150}));
    EXPECT_EQ(shared[240], (Colour{251, 254, 16}));
    EXPECT_EQ(shared[0], (Colour{0, 0, 0}));
    EXPECT_EQ(shared[255], (Colour{255, 255, 255}));
}

TEST(Artwork, PanelsFlankThePlayFieldAndTheTitleBoxesHoldTheirInk) {
    const Bitmap& back = Get("BACKIMG");
    ASSERT_EQ(std::make_pair(back.width, back.height), std::make_pair(640, 640));
    for (int y = 0; y < 640; ++y)
        for (int x : {0, 149, 630, 639}) ASSERT_EQ(back.at(x, y), 140) << x << "," << y;
    const Bitmap& title = Get("TITLE");
    EXPECT_EQ(title.at(0, 0), kKey);
    EXPECT_EQ(Ink(title, 0, 99), (std::vector<int>{23, 9, 605, 86})) << "the logo";
    EXPECT_EQ(Ink(title, 100, 134), (std::vector<int>{138, 103, 487, 127})) << "the prompt";
    EXPECT_EQ(Ink(title, 128, 136)[2], -1) << "key green between the prompt and what lies below";
}

TEST(Artwork, GlyphStripHoldsCodes33To94AndKeyGreenEverywhereElse) {
    const Bitmap& b = Get("STRINGS");
    ASSERT_EQ(std::make_pair(b.width, b.height), std::make_pair(600, 96));
    auto ink = [&b](int code) {
        int n = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) n += b.at((code - 32) * 8 + x, y) != kKey;
        return n;
    };
    for (int code = 32; code <= 106; ++code) EXPECT_EQ(ink(code) >= 6, code >= 33 && code <= 94) << "code " << code;
    for (int x = 0; x < 600; ++x) EXPECT_EQ(b.at(x, 0), kKey) << "top row, column " << x;
}

// Every pixel whose display colour equals black's is transparent, so the figure and the cursor may use no colour
// that GDI would turn into black's display index; the cursor block is opaque white and no wider.
TEST(Artwork, AWhiteCursorBlockAndAFigureClearOfTheTransparentColour) {
    const Bitmap& b = Get("CHARA");
    ASSERT_EQ(b.width, 640);
    EXPECT_EQ(b.at(0, 0), 0);
    const std::vector<Colour>& shared = Get("BACKIMG").table;
    const int key = NearestIndex(shared, {0, 0, 0});
    for (int y = 0; y <= 21; ++y)
        for (int x = 398; x <= 421; ++x)
            ASSERT_EQ(b.colour(x, y) == (Colour{255, 255, 255}), x >= 399 && x <= 420 && y <= 20) << x << "," << y;
    int figure = 0;
    for (int y = 96; y < 144; ++y)
        for (int x = 36; x < 72; ++x) {
            if (b.colour(x, y) == (Colour{0, 0, 0})) continue;
            ++figure;
            EXPECT_NE(NearestIndex(shared, b.colour(x, y)), key) << "figure pixel " << x << "," << y;
        }
    EXPECT_GT(figure, 500) << "the walk-scene figure is missing or tiny";
}

}  // namespace
