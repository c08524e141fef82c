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

Region Either(Region a, Region b) {
    return [=](double x, double y) { return a(x, y) || b(x, y); };
}

Region Above(double limit) {
    return [=](double, double y) { return y < limit; };
}

Region Below(double limit) {
    return [=](double, double y) { return y >= limit; };
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

// A feature pixel (eye, mouth, shine) whose colour is not shaded.
void Dot(Work& w, int x, int y, Rgb c) {
    if (w.mat[y][x] == kEmpty) w.mat[y][x] = kSkin;
    w.fixed[y][x] = true;
    w.colour[y][x] = c;
}

// Light caught on a rounded surface, on the pixels of `m` inside the region only.
void Shine(Work& w, Material m, const Region& region, Rgb c) {
    for (int y = 0; y < kCellH; ++y)
        for (int x = 0; x < kCellW; ++x)
            if (w.mat[y][x] == m && region(x + 0.5, y + 0.5)) {
                w.fixed[y][x] = true;
                w.colour[y][x] = c;
            }
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
                if (other > me && w.mat[y + dy][x + dx] == w.mat[y][x]) level = w.mat[y][x] == kHair ? 2 : 3;
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
        if (d.hair == HairStyle::kLong) {
            Paint(w, kHair, Both(Ellipse(18, 15, 9.4, 14.5), Below(12)));
            Paint(w, kHair, Poly({{12, 26}, {16, 27}, {13.5, 31}}));
            Paint(w, kHair, Poly({{20, 27}, {24, 26}, {22.5, 31}}));
            for (int x : {14, 18, 22}) Shine(w, kHair, Box(x, 13 + (x == 18) * 2, x, 27), d.palette.tones[kHair].shade);
        } else {
            Paint(w, kHair, Poly({{10.5, 17}, {15, 18.5}, {12.5, 22}}));
            Paint(w, kHair, Poly({{15.5, 19}, {20.5, 19}, {18, 23}}));
            Paint(w, kHair, Poly({{21, 18.5}, {25.5, 17}, {23.5, 22}}));
        }
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
        // Soft locks along the crown, one cowlick and one flick: a lively outline without a crown of spikes.
        Paint(w, kHair, Ellipse(12, 6.4, 3.6, 3.4));
        Paint(w, kHair, Ellipse(16.6, 5, 3.8, 3));
        Paint(w, kHair, Ellipse(21.6, 4.8, 3.8, 3));
        Paint(w, kHair, Ellipse(25.4, 7.6, 3.2, 3.2));
        Paint(w, kHair, Poly({{18.5, 3.4}, {22, 2.8}, {24.4, 1.8}}));
        Paint(w, kHair, Poly({{9.4, 7}, {10.6, 11}, {6.2, 9.6}}));
    }
    const Rgb shine = d.palette.tones[kHair].light;
    Shine(w, kHair, Without(Ellipse(16.5, 8.6, 6.4, 3.6), Ellipse(16.5, 9.8, 6.4, 3.6)), shine);
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
            Paint(w, kHair, Ellipse(10.4, 9.6, 3.4, 3.4));
            Paint(w, kHair, Ellipse(12.6, 5.6, 3.6, 3.2));
            Paint(w, kHair, Ellipse(17.4, 4.6, 3.8, 3));
            Paint(w, kHair, Poly({{19, 3.4}, {22.5, 3}, {24.6, 1.8}}));
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
    const Rgb white{255, 255, 255};
    switch (kind) {
        case 0: {  // jelly
            Paint(w, kSkin, Both(Ellipse(18, 40, 12.5, 12), Above(45.5)));
            for (int x : {13, 14, 21, 22})
                for (int y = 36; y <= 38; ++y) Dot(w, x, y, p.iris);
            Dot(w, 13, 36, white);
            Dot(w, 21, 36, white);
            for (int x = 16; x <= 19; ++x) Dot(w, x, 41, p.mouth);
            Dot(w, 15, 40, p.mouth);
            Dot(w, 20, 40, p.mouth);
            Shine(w, kSkin, Without(Ellipse(15, 36, 8, 6), Ellipse(16, 37.4, 8, 6)), p.tones[kSkin].light);
            Dot(w, 25, 33, white);
            break;
        }
        case 1: {  // bat
            const Region leftWing = Either(Poly({{14, 25}, {2.5, 19.5}, {4.5, 27}, {13.5, 31}}),
                                           Poly({{4.5, 26}, {7.5, 32}, {13.5, 30.5}}));
            Paint(w, kCape, leftWing);
            Paint(w, kCape, [leftWing](double x, double y) { return leftWing(kCellW - x, y); });
            Paint(w, kSkin,
                  Either(Ellipse(18, 28, 5.6, 5.2), Either(Poly({{13.5, 25}, {14.6, 19.6}, {17, 24}}),
                                                           Poly({{22.5, 25}, {21.4, 19.6}, {19, 24}}))));
            for (int x : {15, 16, 20, 21}) Dot(w, x, 27, p.iris);
            Dot(w, 16, 31, white);
            Dot(w, 20, 31, white);
            for (int x = 16; x <= 20; ++x) Dot(w, x, 30, p.mouth);
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
            Region body = Either(Both(Ellipse(18, 24, 10, 12), Above(27)), Box(8, 26, 27, 37));
            for (double cx : {10.5, 15.5, 20.5, 25.5})
                body = Either(body, Ellipse(cx, 37 + (cx == 15.5 || cx == 25.5), 2.5, 2.5));
            Paint(w, kSkin, body);
            Paint(w, kSkin, Capsule(8, 29, 4.5, 26, 1.6));
            Paint(w, kSkin, Capsule(27, 29, 30.5, 26, 1.6));
            for (int y = 22; y <= 25; ++y) {
                Dot(w, 14, y, p.iris);
                Dot(w, 15, y, p.iris);
                Dot(w, 20, y, p.iris);
                Dot(w, 21, y, p.iris);
            }
            for (int y = 29; y <= 31; ++y) {
                Dot(w, 17, y, p.mouth);
                Dot(w, 18, y, p.mouth);
            }
            Shine(w, kSkin, Without(Ellipse(16, 21, 7, 8), Ellipse(17, 22.2, 7, 8)), p.tones[kSkin].light);
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
                Dot(w, cx, cy, white);
                Dot(w, cx + 1, cy, white);
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

// Two rows of the six props: the first in their usual colours, the second in another set.
std::vector<Palette> PropPalettes() {
    const Palette base = HeroPalette();
    auto with = [&base](Material m, Tones t, Rgb iris, Rgb mouth) {
        Palette p = base;
        p.tones[m] = t;
        p.iris = iris;
        p.mouth = mouth;
        return p;
    };
    std::vector<Palette> out;
    out.push_back(
        with(kSkin, {{180, 220, 255}, {80, 140, 240}, {40, 80, 180}, {30, 46, 120}}, {20, 30, 70}, {30, 46, 120}));
    Palette bat =
        with(kCape, {{190, 140, 240}, {130, 80, 190}, {84, 44, 130}, {50, 26, 80}}, {236, 84, 68}, {84, 44, 130});
    bat.tones[kSkin] = {{150, 100, 210}, {100, 60, 160}, {64, 36, 110}, {40, 22, 70}};
    out.push_back(bat);
    out.push_back(base);
    out.push_back(with(kSkin, {{250, 252, 255}, {210, 214, 240}, {150, 150, 200}, {100, 96, 150}}, {60, 40, 110},
                       {100, 96, 150}));
    Palette crystal = base;
    crystal.tones[kSteel] = {{200, 245, 255}, {110, 210, 230}, {40, 150, 170}, {20, 90, 110}};
    crystal.tones[kGold] = {{240, 252, 255}, {170, 230, 245}, {80, 180, 210}, {40, 120, 150}};
    out.push_back(crystal);
    out.push_back(base);

    out.push_back(
        with(kSkin, {{220, 244, 170}, {120, 190, 80}, {60, 130, 50}, {30, 80, 30}}, {20, 50, 20}, {30, 80, 30}));
    Palette fireBat =
        with(kCape, {{255, 160, 96}, {210, 44, 40}, {130, 24, 30}, {80, 16, 24}}, {255, 236, 80}, {80, 16, 24});
    fireBat.tones[kSkin] = {{170, 100, 80}, {120, 60, 50}, {80, 36, 36}, {50, 24, 30}};
    out.push_back(fireBat);
    Palette silverChest = base;
    silverChest.tones[kLeather] = {{120, 134, 178}, {72, 80, 128}, {50, 54, 96}, {36, 40, 70}};
    silverChest.tones[kGold] = {{250, 252, 255}, {206, 214, 226}, {150, 160, 176}, {100, 108, 124}};
    out.push_back(silverChest);
    out.push_back(
        with(kSkin, {{220, 255, 230}, {150, 220, 170}, {80, 160, 120}, {40, 100, 80}}, {20, 60, 50}, {40, 100, 80}));
    Palette ruby = base;
    ruby.tones[kSteel] = {{255, 200, 210}, {236, 84, 120}, {170, 40, 80}, {110, 24, 60}};
    ruby.tones[kGold] = {{255, 230, 240}, {255, 150, 180}, {200, 80, 120}, {130, 40, 80}};
    out.push_back(ruby);
    Palette blueCap = base;
    blueCap.tones[kCape] = {{150, 200, 255}, {60, 110, 220}, {36, 60, 150}, {24, 36, 96}};
    out.push_back(blueCap);
    return out;
}

// The sheet is drawn in shared-table indices first and given its own table at the end.
void PutCell(Canvas& sheet, const Table& shared, const Cell& cell, int left, int top, int scale = 1) {
    for (int y = 0; y < kCellH * scale; ++y)
        for (int x = 0; x < kCellW * scale; ++x) {
            if (!cell.on[y / scale][x / scale]) continue;
            const int index = NearestIndexExcept(shared, cell.colour[y / scale][x / scale], kKeyGreen);
            if (index == kBlack) Fail("a figure colour would turn transparent");
            At(sheet, left + x, top + y) = static_cast<uint8_t>(index);
        }
}

uint8_t Near(const Table& shared, Rgb c) { return static_cast<uint8_t>(NearestIndexExcept(shared, c, kKeyGreen)); }

// One 16 x 16 ground or wall tile; `kind` picks the pattern and `tint` the time of day it is seen at.
void Tile(Canvas& s, const Table& shared, int kind, int tint, int left, int top, Rng& rng) {
    static const double tints[4][3] = {{1, 1, 1}, {1.12, 0.92, 0.7}, {0.86, 0.72, 1.0}, {0.5, 0.58, 0.9}};
    const uint32_t seed = static_cast<uint32_t>(kind * 31 + 7);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const double n = Fbm((x + kind * 16) / 5.0, (y + tint * 16) / 5.0, 3, seed);
            const double grain = Uniform(rng);
            auto mix = [](Rgb a, Rgb b, double t) {
                t = std::clamp(t, 0.0, 1.0);
                return Rgb{static_cast<uint8_t>(a.r + (b.r - a.r) * t), static_cast<uint8_t>(a.g + (b.g - a.g) * t),
                           static_cast<uint8_t>(a.b + (b.b - a.b) * t)};
            };
            Rgb c{};
            switch (kind) {
                case 0:
                    c = mix({50, 120, 40}, {110, 180, 70}, n * 1.6 - 0.3);
                    break;  // grass
                case 1:     // meadow
                    c = mix({60, 140, 50}, {120, 190, 80}, n * 1.6 - 0.3);
                    if (grain < 0.05) c = {255, 230, 120};
                    if (grain > 0.97) c = {255, 255, 255};
                    break;
                case 2:  // tall grass
                    c = ((x * 5 + y / 6 * 3) % 4 == 0) ? Rgb{150, 210, 90} : mix({30, 90, 30}, {70, 150, 50}, n);
                    break;
                case 3:
                    c = mix({90, 60, 40}, {150, 100, 64}, n * 1.4 - 0.2);
                    break;  // earth
                case 4:
                    c = mix({220, 186, 130}, {246, 220, 170}, n * 1.5 - 0.2);
                    break;  // sand
                case 5:     // water
                    c = mix({30, 100, 180}, {60, 150, 220}, n);
                    if ((x + 3 * (y / 4) + (y % 4 == 0)) % 8 == 0 && y % 4 < 1) c = {196, 242, 255};
                    break;
                case 6:
                    c = mix({10, 40, 90}, {30, 80, 160}, n);
                    break;  // deep water
                case 7:
                case 8: {  // brick, red and grey
                    const bool mortar = y % 5 == 4 || (x + (y / 5) * 4) % 8 == 7;
                    const Rgb brick = kind == 7 ? Rgb{176, 70, 50} : Rgb{130, 136, 150};
                    const Rgb lit = kind == 7 ? Rgb{216, 100, 76} : Rgb{170, 166, 180};
                    c = mortar ? Rgb{210, 200, 180} : mix(brick, lit, n - 0.2);
                    break;
                }
                case 9: {  // flagstones
                    const bool seam = y % 8 == 0 || (x + (y / 8) * 5) % 8 == 0;
                    c = seam ? Rgb{83, 91, 94} : mix({140, 150, 160}, {180, 188, 196}, n);
                    break;
                }
                case 10: {  // cobbles
                    const double cx = (x % 8) - 3.5, cy = (y % 8) - 3.5;
                    c = cx * cx + cy * cy < 11 ? mix({120, 116, 110}, {176, 170, 160}, 1 - (cx + cy) / 8)
                                               : Rgb{60, 56, 56};
                    break;
                }
                case 11:  // planks
                    c = (y % 4 == 3) ? Rgb{100, 58, 30} : mix({150, 92, 48}, {190, 124, 70}, n);
                    if (y % 4 != 3 && (x + (y / 4) * 7) % 16 == 0) c = {100, 58, 30};
                    break;
                case 12:
                case 13: {  // roof tiles, blue and red
                    const Rgb roof = kind == 12 ? Rgb{70, 100, 190} : Rgb{190, 70, 60};
                    const int r = y % 6, col = (x + (y / 6) * 3) % 6;
                    c = r == 5 || col == 5 ? Rgb{static_cast<uint8_t>(roof.r / 3), static_cast<uint8_t>(roof.g / 3),
                                                 static_cast<uint8_t>(roof.b / 3)}
                                           : mix(roof, {255, 255, 255}, r == 0 ? 0.3 : 0.0);
                    break;
                }
                case 14:
                    c = mix({160, 30, 10}, {255, 200, 40}, n * 1.8 - 0.5);
                    break;  // lava
                case 15:    // ice
                    c = mix({170, 210, 240}, {230, 246, 255}, n);
                    if ((x - y + 16) % 7 == 0) c = {255, 255, 255};
                    break;
                case 16:
                    c = grain < 0.08 ? Rgb{170, 200, 230} : mix({225, 235, 245}, {255, 255, 255}, n);
                    break;  // snow
                case 17:    // carpet
                    c = ((x / 4 + y / 4) % 2) ? Rgb{178, 46, 56} : Rgb{150, 34, 50};
                    if (x == 0 || y == 0 || x == 15 || y == 15) c = {216, 162, 52};
                    break;
                case 18: {  // leaves
                    const double cx = (x % 8) - 4, cy = (y % 8) - 4 + (x / 8) * 2;
                    c = mix({30, 90, 30}, {110, 190, 70}, 0.8 - (cx + cy) / 10 + n * 0.3);
                    break;
                }
                default: {  // rock
                    c = mix({90, 84, 80}, {160, 154, 146}, n * 1.5 - 0.2);
                    if (std::abs(n - 0.5) < 0.02) c = {50, 46, 46};
                    break;
                }
            }
            const double* t = tints[tint];
            const Rgb tinted{static_cast<uint8_t>(std::min(255.0, c.r * t[0])),
                             static_cast<uint8_t>(std::min(255.0, c.g * t[1])),
                             static_cast<uint8_t>(std::min(255.0, c.b * t[2]))};
            At(s, left + x, top + y) = Near(shared, tinted);
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
        // A larger view of each character beside the grid, for whoever draws more of them.
        const Facing views[3] = {kFront, kRight, kBack};
        for (int v = 0; v < 3; ++v)
            PutCell(s, shared, DrawCharacter(designs[who], views[v], 1), 232 + who * 100, 36 + v * 104, 2);
    }
    const std::vector<Palette> props = PropPalettes();
    for (int i = 0; i < 12; ++i)
        PutCell(s, shared, DrawProp(i % 6, props[i]), (i % 6) * kCellW, 384 + (i / 6) * kCellH);

    Rng rng{0x7113ba5eULL};
    for (int tint = 0; tint < 4; ++tint)
        for (int kind = 0; kind < 20; ++kind) Tile(s, shared, kind, tint, 228 + kind * 20, 388 + tint * 22, rng);

    FillRect(s, 399, 0, 421, 21, kWhite);
    return OwnTable(s, shared);
}

}  // namespace art
