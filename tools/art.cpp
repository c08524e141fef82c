// The artwork generator's toolkit: canvases, the seeded random numbers and noise, and the shared colour table with
// its lookups, which every picture's drawing uses.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "art.h"

namespace art {

Canvas MakeCanvas(int width, int height, uint8_t fill) {
    Canvas c;
    c.width = width;
    c.height = height;
    c.pixels.assign(static_cast<size_t>(width) * height, fill);
    return c;
}

void FillRect(Canvas& c, int x0, int y0, int x1, int y1, uint8_t index) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (Inside(c, x, y)) At(c, x, y) = index;
}

uint64_t NextRandom(Rng& rng) {
    uint64_t x = rng.state;
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    rng.state = x;
    return x;
}

double Uniform(Rng& rng) { return static_cast<double>(NextRandom(rng) >> 11) / 9007199254740992.0; }

int Below(Rng& rng, int bound) { return static_cast<int>(NextRandom(rng) % static_cast<uint64_t>(bound)); }

namespace {

double LatticeValue(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8da6b343u ^ static_cast<uint32_t>(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return (h & 0xffffff) / 16777215.0;
}

double ValueNoise(double x, double y, uint32_t seed) {
    const int xi = static_cast<int>(std::floor(x));
    const int yi = static_cast<int>(std::floor(y));
    double fx = x - xi, fy = y - yi;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const double a = LatticeValue(xi, yi, seed), b = LatticeValue(xi + 1, yi, seed);
    const double c = LatticeValue(xi, yi + 1, seed), d = LatticeValue(xi + 1, yi + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

void Ramp(Table& t, int from, int to, Rgb a, Rgb b) {
    for (int i = from; i <= to; ++i) {
        const double f = to == from ? 0.0 : static_cast<double>(i - from) / (to - from);
        t[i] = Rgb{static_cast<uint8_t>(std::lround(a.r + (b.r - a.r) * f)),
                   static_cast<uint8_t>(std::lround(a.g + (b.g - a.g) * f)),
                   static_cast<uint8_t>(std::lround(a.b + (b.b - a.b) * f))};
    }
}

long Distance(Rgb a, Rgb b) {
    const long dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return dr * dr + dg * dg + db * db;
}

}  // namespace

double Fbm(double x, double y, int octaves, uint32_t seed) {
    double sum = 0, amplitude = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += ValueNoise(x, y, seed + i * 101) * amplitude;
        total += amplitude;
        x = x * 2.03 + 17.1;
        y = y * 2.03 - 5.3;
        amplitude *= 0.5;
    }
    return sum / total;
}

void Fail(const std::string& message) {
    std::fprintf(stderr, "artgen: %s\n", message.c_str());
    std::exit(1);
}

// The sprite colours of the first character sit in the shared table exactly, so the
// walk-scene sprite shows its own colours once GDI has converted it to the display palette.
Table SharedTable() {
    Table t{};
    for (int i = 0; i < 15; ++i)
        t[i] = Rgb{static_cast<uint8_t>(i * 17), static_cast<uint8_t>(i * 17), static_cast<uint8_t>(i * 17)};
    Ramp(t, 16, 25, {36, 40, 48}, {185, 196, 188});
    Ramp(t, 25, 31, {185, 196, 188}, {250, 252, 248});
    Ramp(t, 32, 47, {5, 6, 24}, {44, 64, 160});
    Ramp(t, 48, 63, {50, 84, 180}, {214, 232, 255});
    Ramp(t, 64, 73, {26, 6, 36}, {170, 44, 140});
    Ramp(t, 73, 79, {170, 44, 140}, {246, 178, 236});
    Ramp(t, 80, 88, {36, 6, 14}, {210, 44, 40});
    Ramp(t, 88, 93, {210, 44, 40}, {255, 160, 96});
    Ramp(t, 93, 95, {255, 160, 96}, {255, 230, 200});
    Ramp(t, 96, 104, {20, 10, 48}, {116, 72, 186});
    Ramp(t, 104, 111, {116, 72, 186}, {216, 196, 252});
    Ramp(t, 112, 119, {10, 40, 16}, {96, 176, 64});
    Ramp(t, 119, 127, {96, 176, 64}, {220, 244, 170});
    t[128] = {7, 4, 48};
    Ramp(t, 129, 139, {16, 14, 62}, {108, 120, 138});
    t[140] = {121, 134, 150};
    t[141] = {148, 160, 174};
    t[142] = {176, 186, 200};
    t[143] = {206, 214, 226};
    t[144] = {8, 44, 34};
    t[145] = {21, 141, 91};
    Ramp(t, 146, 152, {44, 24, 14}, {168, 96, 48});
    Ramp(t, 152, 159, {168, 96, 48}, {246, 214, 160});
    Ramp(t, 160, 167, {10, 18, 84}, {44, 92, 230});
    Ramp(t, 167, 175, {44, 92, 230}, {236, 246, 255});
    const Rgb sprite[] = {
        {44, 28, 48},                                                      // outline
        {255, 246, 190}, {248, 212, 104}, {212, 150, 60},  {150, 94, 42},  // fair hair
        {255, 228, 196}, {242, 188, 150}, {204, 136, 108},                 // skin
        {40, 52, 120},   {180, 88, 88},                                    // eyes, mouth
        {238, 244, 255}, {182, 200, 228}, {118, 134, 178}, {72, 80, 128},  // steel
        {255, 224, 104}, {216, 162, 52},  {152, 98, 36},                   // gold trim
        {236, 84, 68},   {178, 46, 56},   {114, 28, 50},                   // red cape
        {88, 128, 222},  {54, 80, 164},   {36, 46, 104},                   // blue tunic
        {160, 108, 68},  {108, 68, 46},   {72, 44, 38},                    // leather
        {20, 90, 110},   {40, 150, 170},  {120, 210, 220}, {70, 30, 90},   // teal and plum accents
        {150, 70, 170},  {210, 150, 230},
    };
    for (int i = 0; i < 32; ++i) t[176 + i] = sprite[i];
    Ramp(t, 208, 215, {4, 28, 52}, {32, 124, 196});
    Ramp(t, 215, 223, {32, 124, 196}, {196, 242, 255});
    Ramp(t, 224, 231, {90, 30, 60}, {255, 180, 200});
    Ramp(t, 232, 239, {60, 50, 10}, {230, 210, 120});
    const Rgb warm[] = {{251, 254, 16}, {255, 250, 150}, {255, 236, 80}, {255, 214, 40}, {250, 186, 20}, {236, 150, 10},
                        {210, 116, 8},  {176, 84, 8},    {140, 60, 10},  {108, 44, 12},  {80, 32, 14},   {58, 24, 14},
                        {40, 18, 12},   {30, 14, 20},    {22, 12, 30},   {14, 10, 22}};
    for (int i = 0; i < 15; ++i) t[240 + i] = warm[i];
    // DirectDraw keeps a palette's entries 0 and 255 black and white unless it is made with DDPCAPS_ALLOW256, which
    // the program does not ask for; the table puts them there itself, so the pictures look the same everywhere.
    t[15] = warm[15];
    t[255] = {255, 255, 255};

    for (int i = 0; i < 256; ++i)
        for (int j = i + 1; j < 256; ++j)
            if (t[i] == t[j])
                Fail("shared table repeats a colour at " + std::to_string(i) + " and " + std::to_string(j));
    return t;
}

int NearestIndex(const Table& table, Rgb colour) { return NearestIndexExcept(table, colour, -1); }

int NearestIndexExcept(const Table& table, Rgb colour, int excluded) {
    int best = -1;
    long bestDistance = 0;
    for (int i = 0; i < 256; ++i) {
        if (i == excluded) continue;
        const long d = Distance(table[i], colour);
        if (best < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

int ExactIndex(const Table& table, Rgb colour) {
    for (int i = 0; i < 256; ++i)
        if (table[i] == colour) return i;
    Fail("colour " + std::to_string(colour.r) + "," + std::to_string(colour.g) + "," + std::to_string(colour.b) +
         " is not in the shared table");
}

}  // namespace art
