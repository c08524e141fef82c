// Draws CHARA: four characters in three frames and four facings, more figures, a set of tiles and the white cursor
// block.
#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

#include "art.h"

namespace art {
namespace {

constexpr int kCellW = 36;
constexpr int kCellH = 48;

enum Material : uint8_t { kEmpty, kHair, kSkin, kSteel, kGold, kCape, kTunic, kLeather, kMaterials };

struct Tones {
    Rgb light, base, shade, deep;
};

struct Palette {
    Tones tones[kMaterials];
    Rgb outline, iris, mouth;
};

// One cell being drawn: which material and which painted part covers each pixel. Parts are
// numbered in painting order, so a later part lies in front of an earlier one.
struct Work {
    Material mat[kCellH][kCellW]{};
    int part[kCellH][kCellW]{};
    bool dim[kCellH][kCellW]{};
    bool fixed[kCellH][kCellW]{};
    Rgb colour[kCellH][kCellW]{};
    int nextPart = 1;
};

using Region = std::function<bool(double, double)>;
using Point = std::pair<double, double>;

Region Ellipse(double cx, double cy, double rx, double ry) {
    return [=](double x, double y) {
        const double u = (x - cx) / rx, v = (y - cy) / ry;
        return u * u + v * v <= 1.0;
    };
}

// Convex polygon, either winding.
Region Poly(std::vector<Point> pts) {
    return [pts](double x, double y) {
        int sign = 0;
        for (size_t i = 0; i < pts.size(); ++i) {
            const Point& a = pts[i];
            const Point& b = pts[(i + 1) % pts.size()];
            const double cross = (b.first - a.first) * (y - a.second) - (b.second - a.second) * (x - a.first);
            const int s = cross > 0 ? 1 : (cross < 0 ? -1 : 0);
            if (s == 0) continue;
            if (sign == 0) sign = s;
            if (s != sign) return false;
        }
        return true;
    };
}

// Whole pixels x0..x1, y0..y1 inclusive.
Region Box(int x0, int y0, int x1, int y1) {
    return [=](double x, double y) { return x >= x0 && x < x1 + 1 && y >= y0 && y < y1 + 1; };
}

Region Capsule(double ax, double ay, double bx, double by, double r) {
    return [=](double x, double y) {
        const double dx = bx - ax, dy = by - ay;
        const double t = std::clamp(((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
        const double ex = x - (ax + t * dx), ey = y - (ay + t * dy);
        return ex * ex + ey * ey <= r * r;
    };
}

Region Diamond(double cx, double cy, double r) {
    return [=](double x, double y) { return std::abs(x - cx) + std::abs(y - cy) <= r; };
}

Region Both(Region a, Region b) {
    return [=](double x, double y) { return a(x, y) && b(x, y); };
}

Region Without(Region a, Region b) {
    return [=](double x, double y) { return a(x, y) && !b(x, y); };
}

Region Above(double limit) {
    return [=](double, double y) { return y < limit; };
}

Region Below(double limit) {
    return [=](double, double y) { return y >= limit; };
}

Region Mirror(Region r) {
    return [=](double x, double y) { return r(kCellW - x, y); };
}

void Paint(Work& w, Material m, const Region& region, bool dim = false) {
    const int part = w.nextPart++;
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x)
            if (region(x + 0.5, y + 0.5)) {
                w.mat[y][x] = m;
                w.part[y][x] = part;
                w.dim[y][x] = dim;
                w.fixed[y][x] = false;
            }
}

// A feature pixel (eye, mouth) whose colour is not shaded.
void Dot(Work& w, int x, int y, Rgb c) {
    if (w.mat[y][x] == kEmpty) w.mat[y][x] = kSkin;
    w.fixed[y][x] = true;
    w.colour[y][x] = c;
}

const Rgb& Tone(const Tones& t, int level) {
    switch (level) {
        case 0:
            return t.light;
        case 1:
            return t.base;
        case 2:
            return t.shade;
        default:
            return t.deep;
    }
}

// Light comes from the upper left: each pixel looks at which of its near neighbours belong to
// another part and takes a lighter or darker tone for the side of the part it sits on.
struct Cell {
    bool on[kCellH][kCellW]{};
    Rgb colour[kCellH][kCellW]{};
};

Cell Shade(const Work& w, const Palette& p) {
    Cell cell;
    auto part = [&w](int x, int y) { return x < 0 || y < 0 || x >= kCellW || y >= kCellH ? 0 : w.part[y][x]; };
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x) {
            if (w.mat[y][x] == kEmpty) continue;
            cell.on[y][x] = true;
            if (w.fixed[y][x]) {
                cell.colour[y][x] = w.colour[y][x];
                continue;
            }
            const int me = w.part[y][x];
            double nx = 0, ny = 0;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    if ((dx || dy) && dx * dx + dy * dy <= 4 && part(x + dx, y + dy) != me) nx += dx, ny += dy;
            const double d = -0.6 * nx - 0.8 * ny;
            int level = d >= 2.5 ? 0 : (d <= -6 ? 3 : (d <= -2.5 ? 2 : 1));
            const int above = part(x, y - 1);
            if (above > me && w.mat[y - 1][x] != w.mat[y][x]) level = std::max(level, 2);
            for (const auto& [dx, dy] : {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}}) {
                const int other = part(x + dx, y + dy);
                if (other > me && w.mat[y + dy][x + dx] == w.mat[y][x]) level = 3;
            }
            if (w.dim[y][x]) level = std::min(3, level + 1);
            cell.colour[y][x] = Tone(p.tones[w.mat[y][x]], level);
        }
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x) {
            if (w.mat[y][x] != kEmpty) continue;
            const bool edge = (x > 0 && w.mat[y][x - 1] != kEmpty) || (x + 1 < kCellW && w.mat[y][x + 1] != kEmpty) ||
                              (y > 0 && w.mat[y - 1][x] != kEmpty) || (y + 1 < kCellH && w.mat[y + 1][x] != kEmpty);
            if (edge) {
                cell.on[y][x] = true;
                cell.colour[y][x] = p.outline;
            }
        }
    return cell;
}

enum class HairStyle { kShort, kLong, kHood };

struct Design {
    HairStyle hair;
    bool robe;
    Palette palette;
};

// Rows of a character block, top to bottom.
enum Facing { kBack = 0, kRight = 1, kFront = 2, kLeft = 3 };

void FrontEyes(Work& w, const Palette& p, int lx, int rx) {
    for (int x : {lx, lx + 1, rx, rx + 1}) {
        Dot(w, x, 13, p.outline);
        Dot(w, x, 14, p.iris);
        Dot(w, x, 15, p.iris);
    }
    Dot(w, lx, 14, Rgb{255, 255, 255});
    Dot(w, rx, 14, Rgb{255, 255, 255});
}

// Legs and feet seen from the front or back; `lift` raises a foot for the stepping frames.
void FrontLegs(Work& w, const Design& d, int liftLeft, int liftRight) {
    if (d.robe) {
        Paint(w, kLeather, Box(12, 42 - liftLeft, 16, 45 - liftLeft));
        Paint(w, kLeather, Box(19, 42 - liftRight, 23, 45 - liftRight));
        return;
    }
    Paint(w, kSteel, Box(13, 37, 16, 41 - liftLeft));
    Paint(w, kSteel, Box(19, 37, 22, 41 - liftRight));
    Paint(w, kLeather, Box(12, 42 - liftLeft, 16, 45 - liftLeft));
    Paint(w, kLeather, Box(19, 42 - liftRight, 23, 45 - liftRight));
}

void FrontBody(Work& w, const Design& d, bool back) {
    const Material chest = d.robe ? kTunic : kSteel;
    if (d.robe)
        Paint(w, kTunic, Poly({{12, 31}, {24, 31}, {27.5, 44}, {8.5, 44}}));
    else
        Paint(w, kTunic, Poly({{12, 33}, {24, 33}, {25.5, 38}, {10.5, 38}}));
    Paint(w, chest, Poly({{11, 21}, {25, 21}, {24, 32.5}, {12, 32.5}}));
    if (!back) Paint(w, kGold, Diamond(18, 26.5, 2.6));
    Paint(w, kLeather, Box(12, 31, 23, 32));
    if (!back) Paint(w, kGold, Box(16, 31, 19, 32));
    if (back) Paint(w, kCape, Poly({{11, 21}, {25, 21}, {28, 41.5}, {8, 41.5}}));
}

void FrontArms(Work& w, const Design& d, int swing) {
    const Material sleeve = kTunic, guard = d.robe ? kTunic : kSteel;
    Paint(w, sleeve, Box(7, 24, 10, 28));
    Paint(w, sleeve, Box(25, 24, 28, 28));
    Paint(w, guard, Box(7, 28 + swing, 10, 32 + swing));
    Paint(w, guard, Box(25, 28 - swing, 28, 32 - swing));
    Paint(w, kSkin, Ellipse(8.8, 34.5 + swing, 2.3, 2.0));
    Paint(w, kSkin, Ellipse(27.2, 34.5 - swing, 2.3, 2.0));
    const Material shoulder = d.robe ? kCape : kSteel;
    Paint(w, shoulder, Ellipse(10, 23, 4.6, 3.6));
    Paint(w, shoulder, Ellipse(26, 23, 4.6, 3.6));
    if (!d.robe) {
        Paint(w, kGold, Both(Ellipse(10, 23, 4.6, 3.6), Below(25.2)));
        Paint(w, kGold, Both(Ellipse(26, 23, 4.6, 3.6), Below(25.2)));
    }
}

void FrontHead(Work& w, const Design& d, bool back) {
    Paint(w, kSteel, Box(14, 20, 21, 21));
    Paint(w, kSkin, Ellipse(18, 13, 8, 8));
    const Region skull = Ellipse(18, 11.5, 9.6, 9);
    if (d.hair == HairStyle::kHood) {
        const Region opening = Ellipse(18, 14.6, 6.6, 6.6);
        Paint(w, kCape, back ? Ellipse(18, 12, 10.4, 10) : Without(Ellipse(18, 12, 10.4, 10), opening));
        if (back) {
            Paint(w, kCape, Poly({{13, 18}, {23, 18}, {21, 26}, {18, 28}, {15, 26}}));
        } else {
            Paint(w, kHair, Both(opening, Above(11.2)));
            Paint(w, kHair, Poly({{12.5, 10}, {16.5, 10}, {14, 13.5}}));
            Paint(w, kHair, Poly({{19.5, 10}, {23.5, 10}, {22, 13.5}}));
        }
        return;
    }
    const double sideLength = d.hair == HairStyle::kLong ? 27.5 : 19.5;
    if (back) {
        Paint(w, kHair, skull);
        if (d.hair == HairStyle::kLong)
            Paint(w, kHair, Poly({{10, 14}, {26, 14}, {25, sideLength}, {18, sideLength + 1.5}, {11, sideLength}}));
    } else {
        Paint(w, kHair, Both(skull, Above(10.6)));
        Paint(w, kHair, Poly({{8.6, 8}, {12, 9}, {11.4, sideLength}, {9, sideLength - 1}}));
        Paint(w, kHair, Poly({{27.4, 8}, {24, 9}, {24.6, sideLength}, {27, sideLength - 1}}));
        Paint(w, kHair, Poly({{10.6, 9.5}, {15.2, 9.5}, {12, 14.2}}));
        Paint(w, kHair, Poly({{14.8, 9.5}, {19.5, 9.5}, {16.8, 13.6}}));
        Paint(w, kHair, Poly({{18.5, 9.5}, {23, 9.5}, {21, 13.2}}));
        Paint(w, kHair, Poly({{21.6, 9.5}, {25.6, 9.5}, {24.4, 14.2}}));
    }
    if (d.hair == HairStyle::kShort) {
        Paint(w, kHair, Poly({{9.5, 7}, {13.5, 3.5}, {7.4, 2.6}}));
        Paint(w, kHair, Poly({{15, 3.5}, {21, 3.5}, {19.6, 0.8}}));
        Paint(w, kHair, Poly({{22.5, 3.6}, {26.6, 7}, {28.8, 3.4}}));
    }
}

void DrawFront(Work& w, const Design& d, int frame, bool back) {
    const Palette& p = d.palette;
    if (d.hair == HairStyle::kLong && !back) Paint(w, kHair, Poly({{9, 14}, {27, 14}, {28, 28}, {8, 28}}));
    if (!back) Paint(w, kCape, Poly({{10, 21}, {26, 21}, {28.5, 41.5}, {7.5, 41.5}}));
    const int lift = 2;
    FrontLegs(w, d, frame == 0 ? lift : 0, frame == 2 ? lift : 0);
    FrontBody(w, d, back);
    FrontArms(w, d, frame == 0 ? 1 : (frame == 2 ? -1 : 0));
    FrontHead(w, d, back);
    if (!back) {
        FrontEyes(w, p, 13, 21);
        Dot(w, 17, 18, p.mouth);
        Dot(w, 18, 18, p.mouth);
    }
}

// Facing right; the left-facing row is this picture mirrored.
void DrawSide(Work& w, const Design& d, int frame) {
    const Palette& p = d.palette;
    if (d.hair == HairStyle::kLong) Paint(w, kHair, Poly({{9, 12}, {17, 12}, {16, 30}, {10, 29}}));
    Paint(w, kCape, Poly({{12, 21}, {18, 21}, {15.5, 41}, {6.5, 40}}));

    const double stride = frame == 1 ? 0 : 3.6;
    const bool robe = d.robe;
    if (!robe) {
        Paint(w, kSteel, Capsule(17, 37, 17 - stride, 42, 2.2), true);
        Paint(w, kLeather, Ellipse(17.5 - stride, 44, 3.2, 2.1), true);
        Paint(w, kSteel, Capsule(18.5, 37, 18.5 + stride, 42, 2.2));
        Paint(w, kLeather, Ellipse(20 + stride, 44, 3.4, 2.1));
    } else {
        Paint(w, kLeather, Ellipse(16.5 - stride * 0.6, 44.5, 3.0, 1.8), true);
        Paint(w, kLeather, Ellipse(20 + stride * 0.6, 44.5, 3.2, 1.8));
    }
    if (robe)
        Paint(w, kTunic, Poly({{13, 31}, {23, 31}, {25.5, 44}, {10.5, 44}}));
    else
        Paint(w, kTunic, Poly({{13, 33}, {23, 33}, {24.5, 38}, {11.5, 38}}));
    Paint(w, robe ? kTunic : kSteel, Poly({{13, 21}, {23.5, 21}, {23, 32.5}, {13.5, 32.5}}));
    Paint(w, kLeather, Box(13, 31, 23, 32));
    if (!robe) Paint(w, kGold, Box(21, 31, 22, 32));

    const double swing = frame == 1 ? 0 : (frame == 0 ? 2.5 : -2.5);
    Paint(w, kTunic, Capsule(17.5, 25, 17.5 + swing * 0.4, 28, 1.9));
    Paint(w, robe ? kTunic : kSteel, Capsule(17.5 + swing * 0.4, 28.5, 17.5 + swing, 32, 2.0));
    Paint(w, kSkin, Ellipse(17.6 + swing, 34.2, 2.2, 1.9));
    Paint(w, robe ? kCape : kSteel, Ellipse(17.5, 23, 4.6, 3.6));
    if (!robe) Paint(w, kGold, Both(Ellipse(17.5, 23, 4.6, 3.6), Below(25.2)));

    Paint(w, kSteel, Box(15, 20, 21, 21));
    Paint(w, kSkin, Ellipse(18.6, 13, 8, 8));
    if (d.hair == HairStyle::kHood) {
        Paint(w, kCape, Without(Ellipse(17.6, 12, 10.2, 10), Both(Ellipse(22.5, 14.8, 5.4, 6.4), Below(8.5))));
        Paint(w, kCape, Poly({{11, 17}, {16, 17}, {14.5, 27}, {10, 25}}));
        Paint(w, kHair, Poly({{19, 9.5}, {25, 9.5}, {24, 12.8}}));
    } else {
        Paint(w, kHair, Without(Ellipse(17.6, 11.5, 9.6, 9), Both(Below(10.6), Ellipse(24, 15, 6.4, 7))));
        Paint(w, kHair, Poly({{19, 9}, {26.6, 9.4}, {25, 13.6}}));
        Paint(w, kHair, Poly({{20, 9.5}, {23, 9.5}, {21.2, 12.8}}));
        if (d.hair == HairStyle::kShort) {
            Paint(w, kHair, Poly({{8.6, 7.4}, {11.6, 4.2}, {5.4, 4.4}}));
            Paint(w, kHair, Poly({{8.4, 12}, {10.4, 9}, {5.6, 10.6}}));
            Paint(w, kHair, Poly({{13.6, 3.6}, {19.6, 2.8}, {14.8, 0.8}}));
        }
    }
    for (int y = 13; y <= 15; ++y) Dot(w, 23, y, y == 13 ? p.outline : p.iris);
    Dot(w, 22, 13, p.outline);
    Dot(w, 22, 14, Rgb{255, 255, 255});
    Dot(w, 22, 15, p.iris);
    Dot(w, 24, 18, p.mouth);
}

Cell DrawCharacter(const Design& d, Facing facing, int frame) {
    Work w;
    switch (facing) {
        case kBack:
            DrawFront(w, d, frame, true);
            break;
        case kFront:
            DrawFront(w, d, frame, false);
            break;
        case kRight:
        case kLeft:
            DrawSide(w, d, frame);
            break;
    }
    Cell cell = Shade(w, d.palette);
    if (facing == kLeft)
        for (auto& row : cell.on) std::reverse(std::begin(row), std::end(row));
    if (facing == kLeft)
        for (auto& row : cell.colour) std::reverse(std::begin(row), std::end(row));
    return cell;
}

// Monsters and props of the lower band, drawn with the same shading as the characters.
Cell DrawProp(int kind, const Palette& p) {
    Work w;
    switch (kind) {
        case 0:  // slime
        case 1: {
            Paint(w, kSkin, Both(Ellipse(18, 38, 13, 11), Above(45.5)));
            Paint(w, kSkin, Poly({{14, 30}, {22, 30}, {18.5, 21.5}}));
            for (int x : {12, 13, 21, 22}) {
                Dot(w, x, 35, p.iris);
                Dot(w, x, 36, p.iris);
            }
            Dot(w, 12, 35, Rgb{255, 255, 255});
            Dot(w, 21, 35, Rgb{255, 255, 255});
            for (int x = 16; x <= 19; ++x) Dot(w, x, 40, p.mouth);
            Dot(w, 10, 32, p.tones[kSkin].light);
            Dot(w, 11, 31, p.tones[kSkin].light);
            break;
        }
        case 2: {  // treasure chest
            Paint(w, kLeather, Box(7, 30, 28, 44));
            Paint(w, kLeather, Both(Ellipse(17.5, 31, 11.5, 7), Above(30)));
            for (int x : {9, 24}) Paint(w, kGold, Box(x, 24, x + 2, 44));
            Paint(w, kGold, Box(7, 30, 28, 31));
            Paint(w, kSteel, Box(16, 31, 19, 35));
            Dot(w, 17, 33, p.outline);
            Dot(w, 18, 33, p.outline);
            break;
        }
        case 3: {  // ghost
            Paint(w, kSkin, Both(Ellipse(18, 26, 10, 13), Above(30)));
            Paint(w, kSkin, Poly({{8, 29}, {28, 29}, {29, 42}, {24, 39}, {20, 43}, {16, 39}, {11, 43}, {7, 40}}));
            for (int y = 24; y <= 27; ++y) {
                Dot(w, 14, y, p.iris);
                Dot(w, 21, y, p.iris);
            }
            for (int x = 16; x <= 19; ++x) Dot(w, x, 32, p.mouth);
            break;
        }
        case 4: {  // crystal on a stand
            Paint(w, kLeather, Poly({{11, 44}, {25, 44}, {22, 39}, {14, 39}}));
            Paint(w, kSteel, Poly({{18, 8}, {26, 20}, {18, 38}, {10, 20}}));
            Paint(w, kGold, Poly({{18, 8}, {21, 20}, {18, 36}, {15, 20}}));
            break;
        }
        default: {  // mushroom
            Paint(w, kLeather, Box(14, 30, 21, 44));
            Paint(w, kCape, Both(Ellipse(18, 30, 13, 12), Above(31)));
            for (auto [cx, cy] : {std::pair{12, 25}, std::pair{20, 22}, std::pair{24, 27}, std::pair{16, 28}}) {
                Dot(w, cx, cy, Rgb{255, 255, 255});
                Dot(w, cx + 1, cy, Rgb{255, 255, 255});
                Dot(w, cx, cy + 1, p.tones[kCape].light);
                Dot(w, cx + 1, cy + 1, p.tones[kCape].light);
            }
            Dot(w, 16, 36, p.iris);
            Dot(w, 19, 36, p.iris);
            break;
        }
    }
    return Shade(w, p);
}

// Hero colours sit in the shared table exactly; the others are matched to its nearest entries.
Palette HeroPalette() {
    Palette p{};
    p.tones[kHair] = {{255, 246, 190}, {248, 212, 104}, {212, 150, 60}, {150, 94, 42}};
    p.tones[kSkin] = {{255, 228, 196}, {242, 188, 150}, {204, 136, 108}, {180, 88, 88}};
    p.tones[kSteel] = {{238, 244, 255}, {182, 200, 228}, {118, 134, 178}, {72, 80, 128}};
    p.tones[kGold] = {{255, 224, 104}, {216, 162, 52}, {152, 98, 36}, {108, 68, 46}};
    p.tones[kCape] = {{236, 84, 68}, {178, 46, 56}, {114, 28, 50}, {72, 44, 38}};
    p.tones[kTunic] = {{88, 128, 222}, {54, 80, 164}, {36, 46, 104}, {44, 28, 48}};
    p.tones[kLeather] = {{160, 108, 68}, {108, 68, 46}, {72, 44, 38}, {44, 28, 48}};
    p.outline = {44, 28, 48};
    p.iris = {40, 52, 120};
    p.mouth = {180, 88, 88};
    return p;
}

std::vector<Design> Characters() {
    std::vector<Design> designs;
    designs.push_back({HairStyle::kShort, false, HeroPalette()});

    Palette ranger = HeroPalette();
    ranger.tones[kHair] = {{255, 170, 120}, {226, 90, 56}, {164, 50, 40}, {104, 32, 36}};
    ranger.tones[kSteel] = {{255, 230, 160}, {220, 170, 90}, {160, 110, 50}, {104, 66, 36}};
    ranger.tones[kGold] = {{240, 240, 240}, {190, 196, 204}, {130, 136, 150}, {80, 84, 100}};
    ranger.tones[kCape] = {{120, 200, 100}, {60, 140, 60}, {30, 86, 40}, {20, 50, 30}};
    ranger.tones[kTunic] = {{200, 160, 110}, {150, 104, 70}, {100, 64, 44}, {60, 40, 32}};
    ranger.iris = {30, 100, 60};
    designs.push_back({HairStyle::kLong, false, ranger});

    Palette mage = HeroPalette();
    mage.tones[kHair] = {{120, 110, 160}, {80, 70, 120}, {50, 44, 84}, {36, 30, 60}};
    mage.tones[kCape] = {{190, 140, 240}, {130, 80, 190}, {84, 44, 130}, {50, 26, 80}};
    mage.tones[kTunic] = {{150, 100, 210}, {100, 60, 160}, {64, 36, 110}, {40, 22, 70}};
    mage.tones[kLeather] = {{200, 160, 60}, {150, 110, 40}, {100, 70, 30}, {60, 40, 24}};
    mage.iris = {150, 40, 60};
    designs.push_back({HairStyle::kHood, true, mage});

    Palette cleric = HeroPalette();
    cleric.tones[kHair] = {{250, 252, 255}, {206, 214, 226}, {150, 160, 176}, {100, 108, 124}};
    cleric.tones[kTunic] = {{250, 250, 250}, {214, 218, 226}, {160, 166, 184}, {100, 106, 130}};
    cleric.tones[kCape] = {{120, 190, 250}, {56, 124, 210}, {34, 70, 150}, {24, 40, 96}};
    cleric.iris = {30, 110, 150};
    designs.push_back({HairStyle::kShort, true, cleric});
    return designs;
}

std::vector<Palette> PropPalettes() {
    Palette base = HeroPalette();
    std::vector<Palette> out;
    Palette blueSlime = base;
    blueSlime.tones[kSkin] = {{180, 220, 255}, {80, 140, 240}, {40, 80, 180}, {30, 46, 120}};
    blueSlime.iris = {20, 30, 70};
    blueSlime.mouth = {30, 46, 120};
    out.push_back(blueSlime);
    Palette redSlime = blueSlime;
    redSlime.tones[kSkin] = {{255, 190, 160}, {236, 90, 70}, {170, 44, 50}, {110, 26, 44}};
    redSlime.iris = {70, 16, 30};
    redSlime.mouth = {110, 26, 44};
    out.push_back(redSlime);
    out.push_back(base);
    Palette ghost = base;
    ghost.tones[kSkin] = {{250, 252, 255}, {210, 214, 240}, {150, 150, 200}, {100, 96, 150}};
    ghost.iris = {60, 40, 110};
    ghost.mouth = {100, 96, 150};
    out.push_back(ghost);
    Palette crystal = base;
    crystal.tones[kSteel] = {{200, 245, 255}, {110, 210, 230}, {40, 150, 170}, {20, 90, 110}};
    crystal.tones[kGold] = {{240, 252, 255}, {170, 230, 245}, {80, 180, 210}, {40, 120, 150}};
    out.push_back(crystal);
    out.push_back(base);
    return out;
}

// The sheet is drawn in shared-table indices first and given its own table at the end.
void PutCell(Canvas& sheet, const Table& shared, const Cell& cell, int left, int top) {
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x) {
            if (!cell.on[y][x]) continue;
            const int index = NearestIndexExcept(shared, cell.colour[y][x], kKeyGreen);
            if (index == kBlack) Fail("a figure colour would turn transparent");
            At(sheet, left + x, top + y) = static_cast<uint8_t>(index);
        }
}

uint8_t Near(const Table& shared, Rgb c) { return static_cast<uint8_t>(NearestIndexExcept(shared, c, kKeyGreen)); }

void Tile(Canvas& s, const Table& shared, int kind, int left, int top, Rng& rng) {
    auto put = [&](int x, int y, Rgb c) { At(s, left + x, top + y) = Near(shared, c); };
    auto jitter = [&](Rgb c, int amount) {
        const int j = Below(rng, 2 * amount + 1) - amount;
        auto ch = [j](int v) { return static_cast<uint8_t>(std::clamp(v + j, 0, 255)); };
        return Rgb{ch(c.r), ch(c.g), ch(c.b)};
    };
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            Rgb c{};
            switch (kind % 12) {
                case 0:
                    c = jitter({70, 150, 50}, 22);
                    break;  // grass
                case 1:
                    c = (Below(rng, 9) == 0) ? Rgb{255, 230, 120} : jitter({80, 160, 60}, 18);
                    break;  // meadow
                case 2:
                    c = jitter({40, 124, 196}, 10);
                    if ((x + y * 3 + kind) % 11 == 0) c = {196, 242, 255};
                    break;  // water
                case 3:
                    c = jitter({230, 200, 140}, 14);
                    break;  // sand
                case 4: {   // brick
                    const bool mortar = y % 8 == 7 || (x + (y / 8) * 4) % 8 == 7;
                    c = mortar ? Rgb{200, 190, 170} : jitter({176, 70, 50}, 12);
                    break;
                }
                case 5: {  // flagstones
                    const bool seam = y % 8 == 0 || (x + (y / 8) * 5) % 8 == 0;
                    c = seam ? Rgb{83, 91, 94} : jitter({150, 160, 170}, 12);
                    break;
                }
                case 6:
                    c = (y % 4 == 3) ? Rgb{100, 58, 30} : jitter({168, 104, 56}, 10);
                    break;  // planks
                case 7:
                    c = jitter({250, 120, 20}, 30);
                    if (Below(rng, 6) == 0) c = {255, 236, 80};
                    break;  // lava
                case 8:
                    c = jitter({200, 230, 250}, 10);
                    if ((x - y + 16) % 7 == 0) c = {255, 255, 255};
                    break;  // ice
                case 9:
                    c = jitter({110, 80, 56}, 16);
                    break;  // earth
                case 10:
                    c = ((x / 4 + y / 4) % 2) ? Rgb{178, 46, 56} : Rgb{150, 34, 50};
                    if (x == 0 || y == 0 || x == 15 || y == 15) c = {216, 162, 52};
                    break;  // carpet
                default:
                    c = (y % 5 == 4) ? Rgb{30, 46, 120} : jitter({70, 100, 190}, 10);
                    break;  // roof
            }
            if (kind >= 12)
                c = Rgb{static_cast<uint8_t>(c.r * 0.7), static_cast<uint8_t>(c.g * 0.7),
                        static_cast<uint8_t>(c.b * 0.8)};
            put(x, y, c);
        }
}

// Gives the sheet its own table: black at 0, white at 255, the used colours in between, unused entries black.
Sheet OwnTable(const Canvas& drawn, const Table& shared) {
    int remap[256];
    std::fill(std::begin(remap), std::end(remap), -1);
    remap[kBlack] = 0;
    remap[kWhite] = 255;
    Sheet sheet{MakeCanvas(drawn.width, drawn.height, 0), {}};
    sheet.table.fill(Rgb{0, 0, 0});
    sheet.table[255] = {255, 255, 255};
    int next = 1;
    for (int index = 0; index < 256; ++index) {
        if (remap[index] >= 0) continue;
        if (std::find(drawn.pixels.begin(), drawn.pixels.end(), index) == drawn.pixels.end()) continue;
        if (next == 255) Fail("the sprite sheet uses too many colours");
        remap[index] = next;
        sheet.table[next++] = shared[index];
    }
    for (size_t i = 0; i < drawn.pixels.size(); ++i)
        sheet.canvas.pixels[i] = static_cast<uint8_t>(remap[drawn.pixels[i]]);
    return sheet;
}

}  // namespace

Sheet DrawChara(const Table& shared) {
    Canvas s = MakeCanvas(640, 480, kBlack);
    const std::vector<Design> designs = Characters();
    for (int who = 0; who < 4; ++who) {
        const int blockX = (who % 2) * 3 * kCellW, blockY = (who / 2) * 4 * kCellH;
        for (int facing = 0; facing < 4; ++facing)
            for (int frame = 0; frame < 3; ++frame)
                PutCell(s, shared, DrawCharacter(designs[who], static_cast<Facing>(facing), frame),
                        blockX + frame * kCellW, blockY + facing * kCellH);
    }
    const std::vector<Palette> props = PropPalettes();
    for (int kind = 0; kind < 6; ++kind) PutCell(s, shared, DrawProp(kind, props[kind]), kind * kCellW, 384 + 24);

    Rng rng{0x7113ba5eULL};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 20; ++col) {
            const int kind = (row * 20 + col) % 24;
            Tile(s, shared, kind, 228 + col * 20, 392 + row * 22, rng);
        }

    FillRect(s, 399, 0, 421, 21, kWhite);
    return OwnTable(s, shared);
}

}  // namespace art
