// Draws BACKIMG: the grey side panels and the star field between them (red and blue nebulae, stars, one bright star).
#include <algorithm>
#include <cmath>
#include <vector>

#include "art.h"

namespace art {
namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 640;
constexpr int kFieldLeft = 150;
constexpr int kFieldRight = 630;

struct Light {
    double r = 0, g = 0, b = 0;
};

double SmoothStep(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

// Cloud density inside an ellipse, shaped by warped noise so the edges fray instead of ending in a ring.
double Nebula(double u, double v, double cu, double cv, double ru, double rv, double angle, uint32_t seed) {
    const double du = u - cu, dv = v - cv;
    const double ca = std::cos(angle), sa = std::sin(angle);
    const double eu = (du * ca + dv * sa) / ru, ev = (-du * sa + dv * ca) / rv;
    const double falloff = 1.0 - SmoothStep(0.2, 1.0, std::sqrt(eu * eu + ev * ev));
    if (falloff <= 0) return 0;
    const double s = 1.0 / 90.0;
    const double qx = Fbm(u * s, v * s, 4, seed);
    const double qy = Fbm(u * s + 5.2, v * s + 1.3, 4, seed + 7);
    const double n = Fbm(u * s * 1.6 + 3.0 * qx, v * s * 1.6 + 3.0 * qy, 6, seed + 13);
    return falloff * SmoothStep(0.35, 0.8, n);
}

void Add(Light& l, double r, double g, double b, double k) {
    l.r += r * k;
    l.g += g * k;
    l.b += b * k;
}

// Night sky, nebulae and dust: the soft part that gets dithered.
std::vector<Light> SkyLight(int fieldWidth) {
    std::vector<Light> sky(static_cast<size_t>(fieldWidth) * kHeight);
    for (int v = 0; v < kHeight; ++v) {
        for (int u = 0; u < fieldWidth; ++u) {
            Light l;
            const double depth = static_cast<double>(v) / kHeight;
            const double haze = Fbm(u / 160.0, v / 160.0, 4, 3);
            Add(l, 4 + 4 * depth, 4 + 2 * depth, 18 + 14 * depth, 1);
            Add(l, 10, 6, 26, haze * haze);

            const double red = Nebula(u, v, 140, 360, 190, 120, -0.5, 41);
            Add(l, 140, 10, 22, red);
            Add(l, 170, 36, 30, red * red);
            Add(l, 90, 70, 60, red * red * red * red);

            const double blue = Nebula(u, v, 340, 150, 150, 115, 0.7, 77);
            Add(l, 16, 40, 120, blue);
            Add(l, 50, 90, 130, blue * blue);
            Add(l, 90, 100, 70, blue * blue * blue * blue);

            const double violet = Nebula(u, v, 280, 570, 220, 70, 0.15, 91);
            Add(l, 60, 20, 90, violet);
            Add(l, 60, 50, 90, violet * violet);

            const double dust = SmoothStep(0.55, 0.75, Fbm(u / 70.0 + 9, v / 70.0 - 4, 5, 123));
            const double keep = 1.0 - 0.55 * dust;
            l.r *= keep;
            l.g *= keep;
            l.b *= keep;
            sky[static_cast<size_t>(v) * fieldWidth + u] = l;
        }
    }
    return sky;
}

Rgb ToRgb(const Light& l, double offset) {
    auto channel = [offset](double c) { return static_cast<uint8_t>(std::clamp(std::lround(c + offset), 0L, 255L)); };
    return Rgb{channel(l.r), channel(l.g), channel(l.b)};
}

struct Star {
    int x, y;
    Rgb colour;
};

void PutStar(Canvas& c, const Table& table, int x, int y, Rgb colour) {
    if (x < kFieldLeft || x >= kFieldRight || y < 0 || y >= kHeight) return;
    At(c, x, y) = static_cast<uint8_t>(NearestIndexExcept(table, colour, kKeyGreen));
}

Rgb Scale(Rgb c, double k) {
    return Rgb{static_cast<uint8_t>(std::min(255.0, c.r * k)), static_cast<uint8_t>(std::min(255.0, c.g * k)),
               static_cast<uint8_t>(std::min(255.0, c.b * k))};
}

Rgb StarTint(Rng& rng) {
    static const Rgb tints[] = {{170, 196, 255}, {220, 230, 255}, {255, 255, 255}, {255, 240, 200}, {255, 190, 160}};
    static const int weights[] = {4, 5, 4, 3, 1};
    int pick = Below(rng, 17);
    for (int i = 0; i < 5; ++i) {
        if (pick < weights[i]) return tints[i];
        pick -= weights[i];
    }
    return tints[2];
}

void ScatterStars(Canvas& c, const Table& table) {
    Rng rng{0x5eed0fba5e11ULL};
    auto star = [&](int x, int y) {
        const double brightness = std::pow(Uniform(rng), 2.6);
        const Rgb tint = StarTint(rng);
        PutStar(c, table, x, y, Scale(tint, 0.3 + 0.7 * brightness));
        if (brightness > 0.72) {
            const Rgb arm = Scale(tint, 0.25 + 0.3 * brightness);
            PutStar(c, table, x - 1, y, arm);
            PutStar(c, table, x + 1, y, arm);
            PutStar(c, table, x, y - 1, arm);
            PutStar(c, table, x, y + 1, arm);
        }
    };
    for (int i = 0; i < 1500; ++i) star(kFieldLeft + Below(rng, kFieldRight - kFieldLeft), Below(rng, kHeight));
    // A loose cluster inside the blue nebula.
    for (int i = 0; i < 140; ++i) {
        const double a = Uniform(rng) * 6.2831853, r = 60 * std::sqrt(-std::log(1 - Uniform(rng) * 0.98)) * 0.6;
        star(kFieldLeft + 350 + static_cast<int>(r * std::cos(a) * 1.3), 140 + static_cast<int>(r * std::sin(a)));
    }
}

void BrightStar(Canvas& c, const Table& table, const std::vector<Light>& sky, int cx, int cy) {
    const int fieldWidth = kFieldRight - kFieldLeft;
    for (int y = cy - 34; y <= cy + 34; ++y) {
        for (int x = cx - 34; x <= cx + 34; ++x) {
            if (x < kFieldLeft || x >= kFieldRight || y < 0 || y >= kHeight) continue;
            const double dx = x - cx, dy = y - cy, r = std::sqrt(dx * dx + dy * dy);
            double glow = 1.2 * std::exp(-r / 3.2) + 0.35 * std::exp(-r / 9.0);
            if (std::abs(dy) < 0.5) glow += 0.9 * std::exp(-std::abs(dx) / 9.0);
            if (std::abs(dx) < 0.5) glow += 0.9 * std::exp(-std::abs(dy) / 9.0);
            if (std::abs(std::abs(dx) - std::abs(dy)) < 0.5) glow += 0.3 * std::exp(-r / 5.0);
            if (glow < 0.06) continue;
            Light l = sky[static_cast<size_t>(y) * fieldWidth + (x - kFieldLeft)];
            Add(l, 200, 220, 255, glow);
            At(c, x, y) = static_cast<uint8_t>(NearestIndexExcept(table, ToRgb(l, 0), kKeyGreen));
        }
    }
    FillRect(c, cx - 1, cy - 1, cx + 2, cy + 2, kWhite);
}

}  // namespace

Canvas DrawBackground(const Table& table) {
    Canvas c = MakeCanvas(kWidth, kHeight, kPanelGrey);
    const int fieldWidth = kFieldRight - kFieldLeft;
    const std::vector<Light> sky = SkyLight(fieldWidth);
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = kFieldLeft; x < kFieldRight; ++x) {
            const double offset = (bayer[y & 3][x & 3] - 7.5) * 0.9;
            const Rgb colour = ToRgb(sky[static_cast<size_t>(y) * fieldWidth + (x - kFieldLeft)], offset);
            At(c, x, y) = static_cast<uint8_t>(NearestIndexExcept(table, colour, kKeyGreen));
        }
    }
    ScatterStars(c, table);
    BrightStar(c, table, sky, 452, 96);
    // A faint green star: the background has no colour key, so these key-green pixels show as green.
    const int gx = 586, gy = 412;
    static const int plus[5][2] = {{0, 0}, {-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& d : plus) At(c, gx + d[0], gy + d[1]) = kKeyGreen;
    return c;
}

}  // namespace art
