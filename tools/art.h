// Shared pieces of the artwork generator: colours, 8-bit canvases, the shared colour table and the four drawing passes.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace art {

struct Rgb {
    uint8_t r, g, b;
};
inline bool operator==(Rgb a, Rgb b) { return a.r == b.r && a.g == b.g && a.b == b.b; }

using Table = std::array<Rgb, 256>;

// Indices the program depends on; the rest of the table is the artwork's own.
constexpr uint8_t kBlack = 0;
constexpr uint8_t kWhite = 15;
constexpr uint8_t kLogoGrey = 25;
constexpr uint8_t kClearBlue = 128;
constexpr uint8_t kPanelGrey = 140;
constexpr uint8_t kKeyGreen = 145;
constexpr uint8_t kPromptYellow = 240;

// Top-down 8-bit picture; the BMP writer turns it bottom-up.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};

Canvas MakeCanvas(int width, int height, uint8_t fill);
inline bool Inside(const Canvas& c, int x, int y) { return x >= 0 && y >= 0 && x < c.width && y < c.height; }
inline uint8_t& At(Canvas& c, int x, int y) { return c.pixels[static_cast<size_t>(y) * c.width + x]; }
inline uint8_t At(const Canvas& c, int x, int y) { return c.pixels[static_cast<size_t>(y) * c.width + x]; }
void FillRect(Canvas& c, int x0, int y0, int x1, int y1, uint8_t index);  // x1, y1 exclusive

// Fixed-seed xorshift so every run writes the same bytes.
struct Rng {
    uint64_t state;
};
uint64_t NextRandom(Rng& rng);
double Uniform(Rng& rng);        // [0, 1)
int Below(Rng& rng, int bound);  // [0, bound)

// Smooth value noise in [0, 1], summed over octaves.
double Fbm(double x, double y, int octaves, uint32_t seed);

[[noreturn]] void Fail(const std::string& message);

Table SharedTable();
// Nearest entry by squared RGB distance, lowest index on ties, as GDI's conversion picks it.
int NearestIndex(const Table& table, Rgb colour);
// Same, but never answering `excluded` (the key green must not appear by accident).
int NearestIndexExcept(const Table& table, Rgb colour, int excluded);
int ExactIndex(const Table& table, Rgb colour);

Canvas DrawBackground(const Table& table);
Canvas DrawTitle();
Canvas DrawStrings();

struct Sheet {
    Canvas canvas;  // indices into `table`
    Table table;
};
Sheet DrawChara(const Table& shared);

}  // namespace art
