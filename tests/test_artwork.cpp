// The committed bitmaps: headers, sizes, the shared colour table and the regions the program reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <vector>

namespace {

struct Colour {
    int r, g, b;
    bool operator==(const Colour& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A .bmp file as the tests read it, kept apart from the generator's own writer.
struct Bitmap {
    std::vector<uint8_t> file;
    int width = 0, height = 0;
    std::vector<Colour> table;
    uint8_t at(int x, int y) const {  // y counted from the top
        return file[1078 + size_t(height - 1 - y) * size_t(width) + size_t(x)];
    }
    Colour colour(int x, int y) const { return table[at(x, y)]; }
};

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + size_t(i)];
    return v;
}

Bitmap Load(const std::string& name) {
    std::ifstream in(std::string(DITESSARY_SOURCE_DIR) + "/resources/" + name + ".bmp", std::ios::binary);
    Bitmap bmp;
    bmp.file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (bmp.file.size() < 1078) return bmp;
    bmp.width = int(Le(bmp.file, 18, 4)), bmp.height = int(Le(bmp.file, 22, 4));
    for (size_t q = 54; q < 1078; q += 4) bmp.table.push_back({bmp.file[q + 2], bmp.file[q + 1], bmp.file[q]});
    return bmp;
}

const Bitmap& Get(const std::string& name) {
    static std::map<std::string, Bitmap> cache;
    if (!cache.count(name)) cache[name] = Load(name);
    return cache[name];
}

// GDI's rule: nearest by squared RGB distance, lowest index on ties.
int NearestIndex(const std::vector<Colour>& table, Colour c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < int(table.size()); ++i) {
        const long dr = table[i].r - c.r, dg = table[i].g - c.g, db = table[i].b - c.b;
        const long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) best = i, bestDistance = d;
    }
    return best;
}

constexpr uint8_t kKey = 145;

// The inclusive bounds {left, top, right, bottom} of the non-key pixels in rows [top, bottom], then their
// commonest index.
std::vector<int> Ink(const Bitmap& b, int top, int bottom) {
    std::vector<int> box = {1 << 30, 1 << 30, -1, -1};
    std::map<uint8_t, int> count;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != kKey) {
                ++count[b.at(x, y)];
                box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
            }
    box.push_back(
        std::max_element(count.begin(), count.end(), [](auto& a, auto& c) { return a.second < c.second; })->first);
    return box;
}

TEST(ArtworkFiles, HeadersAreThePackedEightBitLayoutAtTheExactResourceSizes) {
    struct Expect {
        const char* name;
        uint32_t width, height, packed;
    };
    for (const Expect& e : {Expect{"BACKIMG", 640, 640, 410664}, Expect{"STRINGS", 600, 96, 58664},
                            Expect{"TITLE", 640, 480, 308264}, Expect{"CHARA", 640, 480, 308264}}) {
        SCOPED_TRACE(e.name);
        const Bitmap& b = Get(e.name);
        ASSERT_EQ(b.file.size(), e.packed + 14);
        EXPECT_EQ(b.file[0], 'B');
        EXPECT_EQ(b.file[1], 'M');
        const uint32_t p = e.packed + 14, w = e.width, h = e.height;
        const size_t at[] = {2, 6, 10, 14, 18, 22, 30, 34, 38, 42, 46, 50};
        const uint32_t value[] = {p, 0, 1078, 40, w, h, 0, w * h, 0, 0, 0, 0};
        for (int i = 0; i < 12; ++i) EXPECT_EQ(Le(b.file, at[i], 4), value[i]) << "offset " << at[i];
        EXPECT_EQ(Le(b.file, 26, 2), 1u);
        EXPECT_EQ(Le(b.file, 28, 2), 8u);
        for (int i = 0; i < 256; ++i) EXPECT_EQ(b.file[54 + 4 * i + 3], 0) << "reserved byte of entry " << i;
    }
}

TEST(ArtworkFiles, ThreeBitmapsShareOneTableWithTheRolesTheProgramDependsOn) {
    const std::vector<Colour>& shared = Get("BACKIMG").table;
    ASSERT_EQ(shared.size(), 256u);
    EXPECT_EQ(Get("STRINGS").table, shared);
    EXPECT_EQ(Get("TITLE").table, shared);
    EXPECT_EQ(shared[145], (Colour{21, 141, 91}));
    EXPECT_EQ(std::count(shared.begin(), shared.end(), Colour{21, 141, 91}), 1);
    EXPECT_EQ(shared[128], (Colour{7, 4, 48}));
    EXPECT_EQ(shared[140], (Colour{121, 134, 150}));
    EXPECT_EQ(shared[25], (Colour{185, 196, 188}));
    EXPECT_EQ(shared[240], (Colour{251, 254, 16}));
    EXPECT_NE(std::find(shared.begin(), shared.end(), Colour{0, 0, 0}), shared.end());
}

TEST(ArtworkBackground, SidePanelsAreFlatGreyAndEveryStarFieldColumnBetweenThemVaries) {
    const Bitmap& b = Get("BACKIMG");
    ASSERT_EQ(b.width, 640);
    int keyGreen = 0;
    for (int x = 0; x < 640; ++x) {
        std::set<uint8_t> shown, hidden;
        for (int y = 0; y < 640; ++y) {
            if (x < 150 || x >= 630) {
                ASSERT_EQ(b.at(x, y), 140) << x << "," << y;
            }
            (y < 480 ? shown : hidden).insert(b.at(x, y));
            keyGreen += y < 480 && b.at(x, y) == kKey;
        }
        if (x < 150 || x >= 630) continue;
        EXPECT_GE(shown.size(), 3u) << "column " << x << " of the play field is nearly flat";
        EXPECT_GE(hidden.size(), 2u) << "column " << x << " below the play field is flat";
    }
    EXPECT_GE(keyGreen, 1);
    EXPECT_LE(keyGreen, 16) << "only a few key-green pixels belong in the star field";
}

TEST(ArtworkTitle, LogoAndPromptInkFillTheirBoxesExactlyWithKeyGreenAround) {
    const Bitmap& b = Get("TITLE");
    ASSERT_EQ(b.height, 480);
    EXPECT_EQ(b.at(0, 0), kKey);
    EXPECT_EQ(Ink(b, 0, 99), (std::vector<int>{23, 9, 605, 86, 25})) << "the logo, light grey";
    EXPECT_EQ(Ink(b, 100, 134), (std::vector<int>{138, 103, 487, 127, 240})) << "the prompt, yellow";
    for (int y = 128; y <= 136; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(b.at(x, y), kKey) << x << "," << y;
}

TEST(ArtworkGlyphs, BandOneHoldsGlyphsForCodes33To94AndKeyGreenEverywhereElse) {
    const Bitmap& b = Get("STRINGS");
    ASSERT_EQ(b.width, 600);
    ASSERT_EQ(b.height, 96);
    auto ink = [&b](int code) {
        int n = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) n += b.at((code - 32) * 8 + x, y) != kKey;
        return n;
    };
    for (int x = 0; x < 600; ++x) EXPECT_EQ(b.at(x, 0), kKey) << "top row, column " << x;
    EXPECT_EQ(ink(32), 0);
    for (int code = 95; code <= 106; ++code) EXPECT_EQ(ink(code), 0) << "code " << code;
    for (int code = 33; code <= 94; ++code) EXPECT_GE(ink(code), 6) << "code " << code;
}

// Every pixel whose display colour equals black's is transparent, so the figure and the cursor may use no colour
// that GDI would turn into black's display index; the cursor block is opaque white and no wider.
TEST(ArtworkSprites, AWhiteCursorBlockAndAFigureClearOfTheTransparentColour) {
    const Bitmap& b = Get("CHARA");
    ASSERT_EQ(b.width, 640);
    EXPECT_EQ(b.table[0], (Colour{0, 0, 0}));
    EXPECT_EQ(b.table[255], (Colour{255, 255, 255}));
    EXPECT_NE(b.table, Get("BACKIMG").table);
    EXPECT_EQ(b.at(0, 0), 0);
    const std::vector<Colour>& shared = Get("BACKIMG").table;
    const int key = NearestIndex(shared, {0, 0, 0});
    const Colour white{255, 255, 255};
    for (int y = 0; y <= 21; ++y)
        for (int x = 398; x <= 421; ++x) {
            const bool inside = x >= 399 && x <= 420 && y <= 20;
            ASSERT_EQ(b.colour(x, y) == white, inside) << x << "," << y;
            if (inside) {
                EXPECT_NE(NearestIndex(shared, b.colour(x, y)), key);
            }
        }
    int figure = 0;
    for (int y = 96; y < 144; ++y)
        for (int x = 36; x < 72; ++x) {
            if (b.colour(x, y) == Colour{0, 0, 0}) continue;
            ++figure;
            EXPECT_NE(NearestIndex(shared, b.colour(x, y)), key) << "figure pixel " << x << "," << y;
        }
    EXPECT_GT(figure, 500) << "the walk-scene figure is missing or tiny";
}

TEST(ArtworkSprites, EveryCellOfTheGridHoldsAFigureThatStaysInsideIt) {
    const Bitmap& b = Get("CHARA");
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 6; ++col) {
            int ink = 0, border = 0;
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 36; ++x) {
                    const bool set = b.at(col * 36 + x, row * 48 + y) != 0;
                    ink += set;
                    border += set && (y == 0 || y == 47 || x == 0 || x == 35);
                }
            EXPECT_GT(ink, 400) << "cell " << col << "," << row;
            EXPECT_EQ(border, 0) << "cell " << col << "," << row << " touches its neighbours";
        }
}

}  // namespace
