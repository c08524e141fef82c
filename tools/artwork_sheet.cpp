// Writes docs/artwork.png: the four bitmaps side by side with the regions the program reads outlined.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dib.h"
#include "png_write.h"

namespace {

constexpr int kGap = 24;
constexpr int kTop = 36;
constexpr uint32_t kBackdrop = 0x202028;
constexpr uint32_t kFrame = 0xff40ff;

struct Rect {
    int left, top, right, bottom;
};

struct Picture {
    const char* name;
    std::vector<Rect> regions;
    Dib dib;
};

struct Board {
    int width, height;
    std::vector<uint32_t> px;
    void Set(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < width && y < height) px[static_cast<size_t>(y) * width + x] = c;
    }
};

// The rectangle just outside the region, so the region's own pixels stay visible.
void Outline(Board& b, int ox, int oy, const Rect& r) {
    for (int x = r.left - 1; x <= r.right; ++x) {
        b.Set(ox + x, oy + r.top - 1, kFrame);
        b.Set(ox + x, oy + r.bottom, kFrame);
    }
    for (int y = r.top - 1; y <= r.bottom; ++y) {
        b.Set(ox + r.left - 1, oy + y, kFrame);
        b.Set(ox + r.right, oy + y, kFrame);
    }
}

// Labels are set in the glyph strip itself, keyed as the program keys it.
void Label(Board& b, const Dib& strings, int left, int top, const std::string& text) {
    const uint8_t key = strings.pixels[0];
    for (size_t i = 0; i < text.size(); ++i) {
        const int cell = (static_cast<unsigned char>(text[i]) - 32) * 8;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) {
                const uint8_t v = strings.pixels[static_cast<size_t>(y) * strings.width + cell + x];
                if (v != key) b.Set(left + static_cast<int>(i) * 8 + x, top + y, strings.colours[v]);
            }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: artwork_sheet <resources-directory> <output.png>\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::vector<Picture> pictures = {
        {"BACKIMG", {{0, 0, 640, 480}}, {}},
        {"TITLE", {{0, 0, 640, 100}, {0, 100, 640, 135}}, {}},
        {"STRINGS", {{0, 0, 600, 16}}, {}},
        {"CHARA", {{36, 96, 72, 144}, {400, 0, 420, 20}}, {}},
    };
    int width = kGap, height = 0;
    for (Picture& p : pictures) {
        std::vector<uint8_t> packed;
        std::string error;
        if (!ReadPackedBitmap(dir + "/" + p.name + ".bmp", &packed, &error) ||
            !DecodePackedBitmap(packed, &p.dib, &error)) {
            std::fprintf(stderr, "artwork_sheet: %s\n", error.c_str());
            return 1;
        }
        width += p.dib.width + kGap;
        height = std::max(height, p.dib.height);
    }
    height += kTop + kGap;

    Board board{width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, kBackdrop)};
    int left = kGap;
    for (const Picture& p : pictures) {
        for (int y = 0; y < p.dib.height; ++y)
            for (int x = 0; x < p.dib.width; ++x)
                board.Set(left + x, kTop + y, p.dib.colours[p.dib.pixels[static_cast<size_t>(y) * p.dib.width + x]]);
        for (const Rect& r : p.regions) Outline(board, left, kTop, r);
        Label(board, pictures[2].dib, left, 10, p.name);
        left += p.dib.width + kGap;
    }
    if (!WritePng(argv[2], width, height, board.px.data())) {
        std::fprintf(stderr, "artwork_sheet: cannot write %s\n", argv[2]);
        return 1;
    }
    std::printf("artwork_sheet: wrote %s (%dx%d)\n", argv[2], width, height);
    return 0;
}
