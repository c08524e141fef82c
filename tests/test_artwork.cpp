// The committed bitmaps: headers, sizes, the shared colour table and the regions the program reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
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
    bmp.width = int(Le(bmp.file, 18, 4));
    bmp.height = int(Le(bmp.file, 22, 4));
    for (int i = 0; i < 256; ++i) {
        const size_t q = 54 + 4 * size_t(i);
        bmp.table.push_back({bmp.file[q + 2], bmp.file[q + 1], bmp.file[q]});
    }
    return bmp;
}

const Bitmap& Get(const std::string& name) {
    static std::map<std::string, Bitmap> cache;
    auto it = cache.find(name);
    if (it == cache.end()) it = cache.emplace(name, Load(name)).first;
    return it->second;
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

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    void Add(int x, int y) {
        left = std::min(left, x), top = std::min(top, y), right = std::max(right, x), bottom = std::max(bottom, y);
    }
};

constexpr uint8_t kKey = 145;

Box InkBox(const Bitmap& b, int top, int bottom) {
    Box box;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != kKey) box.Add(x, y);
    return box;
}

uint8_t CommonestInk(const Bitmap& b, int top, int bottom) {
    std::map<uint8_t, int> count;
    for (int y = top; y <= bottom; ++y)
        for (int x = 0; x < b.width; ++x)
            if (b.at(x, y) != kKey) ++count[b.at(x, y)];
    return std::max_element(count.begin(), count.end(), [](auto& a, auto& c) { return a.second < c.second; })->first;
}

int Luma(Colour c) { return (c.r * 3 + c.g * 6 + c.b) / 10; }

TEST(ArtworkFiles, HeadersAreThePackedEightBitLayoutAtTheExactResourceSizes) {
    struct Expect {
        const char* name;
        int width, height;
        size_t packed;
    };
    for (const Expect& e : {Expect{"BACKIMG", 640, 640, 410664}, Expect{"STRINGS", 600, 96, 58664},
                            Expect{"TITLE", 640, 480, 308264}, Expect{"CHARA", 640, 480, 308264}}) {
        SCOPED_TRACE(e.name);
        const Bitmap& b = Get(e.name);
        ASSERT_EQ(b.file.size(), e.packed + 14);
        EXPECT_EQ(b.file[0], 'B');
        EXPECT_EQ(b.file[1], 'M');
        EXPECT_EQ(Le(b.file, 2, 4), e.packed + 14);
        EXPECT_EQ(Le(b.file, 6, 4), 0u);
        EXPECT_EQ(Le(b.file, 10, 4), 1078u);
        EXPECT_EQ(Le(b.file, 14, 4), 40u);
        EXPECT_EQ(b.width, e.width);
        EXPECT_EQ(b.height, e.height);
        EXPECT_EQ(Le(b.file, 26, 2), 1u);
        EXPECT_EQ(Le(b.file, 28, 2), 8u);
        EXPECT_EQ(Le(b.file, 30, 4), 0u);
        EXPECT_EQ(Le(b.file, 34, 4), uint32_t(e.width * e.height));
        for (size_t field = 38; field < 54; field += 4) EXPECT_EQ(Le(b.file, field, 4), 0u) << "offset " << field;
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

TEST(ArtworkBackground, SidePanelsAreFlatGreyAndTheStarFieldBetweenThemIsADarkSkyWithStars) {
    const Bitmap& b = Get("BACKIMG");
    ASSERT_EQ(b.width, 640);
    for (int y = 0; y < 640; ++y) {
        for (int x = 0; x < 150; ++x) ASSERT_EQ(b.at(x, y), 140) << x << "," << y;
        for (int x = 630; x < 640; ++x) ASSERT_EQ(b.at(x, y), 140) << x << "," << y;
    }
    int stars = 0, keyGreen = 0;
    std::vector<int> lumas;
    for (int x = 150; x < 630; ++x) {
        std::set<uint8_t> shown, hidden;
        for (int y = 0; y < 480; ++y) shown.insert(b.at(x, y));
        for (int y = 480; y < 640; ++y) hidden.insert(b.at(x, y));
        EXPECT_GE(shown.size(), 3u) << "column " << x << " of the play field is nearly flat";
        EXPECT_GE(hidden.size(), 2u) << "column " << x << " below the play field is flat";
        for (int y = 0; y < 480; ++y) {
            const int l = Luma(b.colour(x, y));
            lumas.push_back(l);
            keyGreen += b.at(x, y) == kKey;
            // A star: a point clearly brighter than the sky on all four sides.
            if (x > 150 && x < 629 && y > 0 && y < 479 && l > 90) {
                const int around = std::max(std::max(Luma(b.colour(x - 1, y)), Luma(b.colour(x + 1, y))),
                                            std::max(Luma(b.colour(x, y - 1)), Luma(b.colour(x, y + 1))));
                stars += l >= around + 30;
            }
        }
    }
    std::nth_element(lumas.begin(), lumas.begin() + lumas.size() / 2, lumas.end());
    EXPECT_LT(lumas[lumas.size() / 2], 40) << "the sky should be dark";
    EXPECT_GT(stars, 400) << "too few stars";
    EXPECT_LT(stars, 4000) << "stars should be scattered, not a haze";
    EXPECT_GE(keyGreen, 1);
    EXPECT_LE(keyGreen, 16) << "only a few key-green pixels belong in the star field";
}

TEST(ArtworkTitle, LogoAndPromptInkFillTheirBoxesExactlyWithKeyGreenAround) {
    const Bitmap& b = Get("TITLE");
    ASSERT_EQ(b.height, 480);
    EXPECT_EQ(b.at(0, 0), kKey);

    const Box logo = InkBox(b, 0, 99);
    EXPECT_EQ(logo.left, 23);
    EXPECT_EQ(logo.right, 605);
    EXPECT_EQ(logo.top, 9);
    EXPECT_EQ(logo.bottom, 86);
    EXPECT_EQ(CommonestInk(b, 0, 99), 25) << "the logo is light grey";

    const Box prompt = InkBox(b, 100, 134);
    EXPECT_EQ(prompt.left, 138);
    EXPECT_EQ(prompt.right, 487);
    EXPECT_EQ(prompt.top, 103);
    EXPECT_EQ(prompt.bottom, 127);
    EXPECT_EQ(CommonestInk(b, 100, 134), 240) << "the prompt is yellow";

    for (int y = 128; y <= 136; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(b.at(x, y), kKey) << x << "," << y;

    const Box copy = InkBox(b, 137, 170);
    EXPECT_EQ(copy.top, 137) << "the second prompt starts right below the gap";
    EXPECT_NE(CommonestInk(b, 137, 170), 240) << "the second prompt has another colour";
    EXPECT_GT(InkBox(b, 171, 479).bottom, 171) << "the menu words are missing";
}

TEST(ArtworkGlyphs, BandOneHoldsGlyphsForCodes33To94AndKeyGreenEverywhereElse) {
    const Bitmap& b = Get("STRINGS");
    ASSERT_EQ(b.width, 600);
    ASSERT_EQ(b.height, 96);
    EXPECT_EQ(b.at(0, 0), kKey);
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

TEST(ArtworkGlyphs, FrameRateCharactersAreDistinctAndLightInTheMiddleRows) {
    const Bitmap& b = Get("STRINGS");
    auto cell = [&b](int code) {
        std::vector<uint8_t> v;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) v.push_back(b.at((code - 32) * 8 + x, y) != kKey);
        return v;
    };
    const std::vector<int> used = {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'F', 'P', 'S'};
    std::set<std::vector<uint8_t>> shapes;
    for (int code : used) shapes.insert(cell(code));
    EXPECT_EQ(shapes.size(), used.size()) << "two characters of the frame-rate text look alike";

    // Blue lettering that lightens towards the middle rows: the lightest lettering pixel of each row.
    bool blue = true;
    auto lightest = [&](int top, int bottom) {
        int best = 0;
        for (int code : {'0', '8', 'F', 'P', 'S'})
            for (int y = top; y <= bottom; ++y)
                for (int x = 0; x < 8; ++x) {
                    const int px = (code - 32) * 8 + x;
                    if (b.at(px, y) == kKey) continue;
                    const Colour c = b.colour(px, y);
                    if (c.b < c.r || c.b < c.g) blue = false;
                    best = std::max(best, Luma(c));
                }
        return best;
    };
    const int top = lightest(1, 3), middle = lightest(6, 8), bottom = lightest(12, 14);
    EXPECT_TRUE(blue);
    EXPECT_GT(middle, 220) << "the middle rows should be near white";
    EXPECT_GT(middle, top + 40);
    EXPECT_GT(middle, bottom + 40);
}

TEST(ArtworkSprites, OwnTableBlackCornerAndAnOpaqueWhiteCursorBlock) {
    const Bitmap& b = Get("CHARA");
    ASSERT_EQ(b.width, 640);
    EXPECT_EQ(b.table[0], (Colour{0, 0, 0}));
    EXPECT_EQ(b.table[255], (Colour{255, 255, 255}));
    EXPECT_NE(b.table, Get("BACKIMG").table);
    EXPECT_GT(std::count(b.table.begin(), b.table.end(), Colour{0, 0, 0}), 10);
    EXPECT_EQ(b.at(0, 0), 0);

    const Colour white{255, 255, 255};
    for (int y = 0; y <= 20; ++y)
        for (int x = 399; x <= 420; ++x) ASSERT_EQ(b.colour(x, y), white) << x << "," << y;
    for (int y = 0; y <= 21; ++y) {
        EXPECT_NE(b.colour(398, y), white) << "row " << y;
        EXPECT_NE(b.colour(421, y), white) << "row " << y;
    }
    for (int x = 399; x <= 420; ++x) EXPECT_NE(b.colour(x, 21), white) << "column " << x;
}

// Every pixel whose display colour equals black's is transparent, so the figure and the cursor
// may use no colour that GDI would turn into black's display index.
TEST(ArtworkSprites, FigureAndCursorKeepClearOfTheTransparentColour) {
    const Bitmap& chara = Get("CHARA");
    const std::vector<Colour>& shared = Get("BACKIMG").table;
    const int key = NearestIndex(shared, {0, 0, 0});
    const Colour black{0, 0, 0};

    int figure = 0, hair = 0;
    for (int y = 96; y < 144; ++y)
        for (int x = 36; x < 72; ++x) {
            const Colour c = chara.colour(x, y);
            if (c == black) continue;
            ++figure;
            EXPECT_NE(NearestIndex(shared, c), key) << "figure pixel " << x << "," << y;
            hair += y < 112 && c.r > 200 && c.g > 140 && c.b < 150;
        }
    EXPECT_GT(figure, 500) << "the walk-scene figure is missing or tiny";
    EXPECT_GT(hair, 60) << "the figure should be fair-haired";
    for (int y = 0; y < 20; ++y)
        for (int x = 400; x < 420; ++x) EXPECT_NE(NearestIndex(shared, chara.colour(x, y)), key);
}

TEST(ArtworkSprites, EveryCellOfTheGridHoldsAFigureThatStaysInsideIt) {
    const Bitmap& b = Get("CHARA");
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 6; ++col) {
            int ink = 0, border = 0;
            for (int y = row * 48; y < row * 48 + 48; ++y)
                for (int x = col * 36; x < col * 36 + 36; ++x) {
                    ink += b.at(x, y) != 0;
                    const bool edge = y == row * 48 || y == row * 48 + 47 || x == col * 36 || x == col * 36 + 35;
                    border += edge && b.at(x, y) != 0;
                }
            EXPECT_GT(ink, 400) << "cell " << col << "," << row;
            EXPECT_EQ(border, 0) << "cell " << col << "," << row << " touches its neighbours";
        }
    int below = 0;
    for (int y = 384; y < 480; ++y)
        for (int x = 0; x < 640; ++x) below += b.at(x, y) != 0;
    EXPECT_GT(below, 10000) << "figures and tiles belong below the grid";
}

}  // namespace
