// Writes the desktop icons, dist/icons/<size>x<size>.png: the knight standing and facing the viewer, as the walk
// scene shows him, taken from CHARA with its key colour transparent.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dib.h"
#include "png_write.h"

namespace {

// The walk scene's sprite frame within CHARA.
constexpr int kFrameLeft = 36;
constexpr int kFrameTop = 96;
constexpr int kFrameWidth = 36;
constexpr int kFrameHeight = 48;

constexpr int kSizes[] = {16, 24, 32, 48, 64, 128, 256};

// Below 48 pixels the whole figure would have to shrink, and nearest sampling would lose the face, so those icons
// show a square of the frame at 1:1 instead: head and shoulders at 32 and 24, the face alone at 16.
struct Crop {
    int size, left, top;  // left and top within the frame
};
constexpr Crop kCrops[] = {{32, 2, 0}, {24, 6, 1}, {16, 10, 4}};

struct Box {
    int left, top, right, bottom;  // right and bottom exclusive
};

struct Frame {
    const Dib* sheet;
    uint8_t key;
    bool Opaque(int x, int y) const {
        return x >= 0 && y >= 0 && x < kFrameWidth && y < kFrameHeight && Index(x, y) != key;
    }
    uint8_t Index(int x, int y) const {
        return sheet->pixels[static_cast<size_t>(kFrameTop + y) * sheet->width + kFrameLeft + x];
    }
};

Box FigureBounds(const Frame& frame) {
    Box b{kFrameWidth, kFrameHeight, 0, 0};
    for (int y = 0; y < kFrameHeight; ++y)
        for (int x = 0; x < kFrameWidth; ++x)
            if (frame.Opaque(x, y))
                b = {std::min(b.left, x), std::min(b.top, y), std::max(b.right, x + 1), std::max(b.bottom, y + 1)};
    return b;
}

// The part of the frame an icon shows and the whole factor it is enlarged by; the part is centred in the icon.
struct Layout {
    Box source;
    int factor;
};

Layout LayOut(int size, const Box& figure) {
    for (const Crop& c : kCrops)
        if (c.size == size) return {{c.left, c.top, c.left + size, c.top + size}, 1};
    const int factor = std::min(size / (figure.right - figure.left), size / (figure.bottom - figure.top));
    return {figure, factor};
}

std::vector<uint32_t> Draw(const Frame& frame, int size, const Layout& layout) {
    std::vector<uint32_t> icon(static_cast<size_t>(size) * size, 0);  // transparent black
    const int w = layout.source.right - layout.source.left, h = layout.source.bottom - layout.source.top;
    const int offsetX = (size - w * layout.factor) / 2, offsetY = (size - h * layout.factor) / 2;
    for (int y = 0; y < h * layout.factor; ++y)
        for (int x = 0; x < w * layout.factor; ++x) {
            const int fx = layout.source.left + x / layout.factor, fy = layout.source.top + y / layout.factor;
            if (!frame.Opaque(fx, fy)) continue;
            icon[static_cast<size_t>(offsetY + y) * size + offsetX + x] =
                0xff000000u | frame.sheet->colours[frame.Index(fx, fy)];
        }
    return icon;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: icongen <CHARA.bmp> <output-directory>\n");
        return 2;
    }
    std::vector<uint8_t> packed;
    Dib sheet;
    std::string error;
    if (!ReadPackedBitmap(argv[1], &packed, &error) || !DecodePackedBitmap(packed, &sheet, &error)) {
        std::fprintf(stderr, "icongen: %s\n", error.c_str());
        return 1;
    }
    if (sheet.width < kFrameLeft + kFrameWidth || sheet.height < kFrameTop + kFrameHeight) {
        std::fprintf(stderr, "icongen: %s is too small to hold the sprite frame\n", argv[1]);
        return 1;
    }
    // The program keys CHARA by its top-left pixel; so do the icons.
    const Frame frame{&sheet, sheet.pixels[0]};
    const Box figure = FigureBounds(frame);
    if (figure.right <= figure.left) {
        std::fprintf(stderr, "icongen: the sprite frame is empty\n");
        return 1;
    }
    for (int size : kSizes) {
        const std::string path =
            std::string(argv[2]) + "/" + std::to_string(size) + "x" + std::to_string(size) + ".png";
        if (!WritePngWithAlpha(path.c_str(), size, size, Draw(frame, size, LayOut(size, figure)).data())) {
            std::fprintf(stderr, "icongen: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::printf("icongen: wrote %zu icons to %s\n", std::size(kSizes), argv[2]);
    return 0;
}
