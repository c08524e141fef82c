// The screenshot arithmetic behind the Windows check and the build comparison: window dumps, the frame-rate
// counter read with the program's glyph strip, masked differences and colour counts.
#include <gtest/gtest.h>

#include <functional>
#include "tools/frameprobe/frame_image.h"

#include <fstream>
#include <iterator>

namespace {

void PutBE(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (24 - 8 * i));
}

struct DumpShape {
    int width = 3, height = 2, bitsPerPixel = 32;
    int byteOrder = 0;  // 0 LSBFirst, as Xvfb writes on this machine
    uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    std::function<uint32_t(int, int)> pixel = [](int x, int y) { return uint32_t(0x102030 * (x + 1) + y); };
};

// A window dump laid out as xwd writes one: header, window name, two colour map entries, padded rows of pixels.
std::vector<uint8_t> Dump(const DumpShape& s) {
    const uint32_t hs = 100 + 7, step = uint32_t(s.bitsPerPixel / 8), bpl = uint32_t(s.width) * step + 4;
    const uint32_t w = uint32_t(s.width), h = uint32_t(s.height), o = uint32_t(s.byteOrder), bpp = step * 8;
    std::vector<uint8_t> bytes(hs + 2 * 12 + size_t(bpl) * h, 0x77);  // padding bytes stay 0x77
    const uint32_t fields[25] = {hs, 7,          2,          24,         w, h,   0, o, 32, o, 32, bpp, bpl,
                                 4,  s.masks[0], s.masks[1], s.masks[2], 8, 256, 2, w, h,  0, 0,  0};
    for (int i = 0; i < 25; ++i) PutBE(bytes, size_t(i) * 4, fields[i]);
    std::fill(bytes.begin() + 100, bytes.begin() + hs + 24, 0xEE);  // name and colour map, never taken for pixels
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            for (uint32_t b = 0; b < step; ++b)
                bytes[hs + 24 + y * bpl + x * step + b] =
                    uint8_t(s.pixel(int(x), int(y)) >> (o == 0 ? 8 * b : 8 * (step - 1 - b)));
    return bytes;
}

FrameImage Solid(int width, int height, uint32_t colour) {
    return {width, height, std::vector<uint32_t>(size_t(width) * height, colour)};
}

TEST(WindowDump, ReadsEveryLayoutXvfbCanWriteAndRefusesDumpsThatDoNotHoldWhatTheyClaim) {
    for (int bits : {32, 24}) {
        for (int order : {0, 1}) {
            DumpShape shape;
            shape.bitsPerPixel = bits;
            shape.byteOrder = order;
            FrameImage image;
            std::string error;
            ASSERT_TRUE(ReadXwd(Dump(shape), image, error)) << bits << " bits, order " << order << ": " << error;
            ASSERT_EQ(image.width, 3);
            ASSERT_EQ(image.height, 2);
            EXPECT_EQ(image.pixels, (std::vector<uint32_t>{0x102030, 0x204060, 0x306090, 0x102031, 0x204061, 0x306091}))
                << bits << " bits, order " << order;
        }
    }
    FrameImage image;
    std::string error;
    // Short by a byte, version 6, PseudoColor, fewer bytes per line than three pixels need, a huge colour map.
    const std::vector<uint8_t> good = Dump(DumpShape{});
    EXPECT_FALSE(ReadXwd(std::vector<uint8_t>(good.begin(), good.end() - 1), image, error));
    for (auto [field, value] : {std::pair<size_t, uint32_t>{1, 6}, {13, 3}, {12, 4}, {19, 0x40000000}}) {
        std::vector<uint8_t> bad = good;
        PutBE(bad, field * 4, value);
        EXPECT_FALSE(ReadXwd(bad, image, error)) << "field " << field;
    }
}

constexpr uint32_t kKey = 0x158D5B;
constexpr uint32_t kBackground = 0x070430;

// Draws text as the frame driver does: one cell per character from (0, 0), key green left out.
FrameImage Shot(const IndexedImage& strip, const std::string& text, FrameImage shot = Solid(640, 480, kBackground)) {
    for (size_t i = 0; i < text.size(); ++i)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) {
                const uint32_t colour =
                    strip.colours[strip.indices[size_t(y) * strip.width + size_t((text[i] - 32) * 8 + x)]];
                if (colour != kKey) shot.pixels[size_t(y) * shot.width + i * 8 + x] = colour;
            }
    return shot;
}

// The program's own strip: every counter character told from every other on both backgrounds, the cursor under
// the text included; no counter, a short one or an unknown glyph reads as -1.
TEST(FrameCounter, ReadsWhatTheFrameDriverDrawsWithTheProgramsStripAndMinusOneWhereNoCounterStands) {
    std::ifstream in(std::string(DITESSARY_SOURCE_DIR) + "/resources/STRINGS.bmp", std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    IndexedImage strip;
    std::string error, read;
    ASSERT_TRUE(ReadIndexedBmp(bytes, strip, error)) << error;
    const std::vector<Glyph> glyphs = CutGlyphs(strip, "0123456789 FPS", kKey);
    ASSERT_EQ(glyphs.size(), 14u);
    EXPECT_TRUE(glyphs[10].offsets.empty());  // the blank draws nothing
    for (uint32_t background : {kBackground, FrameRgb(121, 134, 150)}) {
        for (std::string text : {"0123 FPS", "4567 FPS", "8989 FPS", "10000 FPS", "0060 FPS"}) {
            EXPECT_EQ(ReadFrameCounter(Shot(strip, text, Solid(640, 480, background)), glyphs, &read), std::stol(text))
                << text << " read as " << read;
        }
    }
    FrameImage cursor = Solid(640, 480, FrameRgb(121, 134, 150));  // the panel, with the cursor under the text
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x) cursor.pixels[size_t(y) * 640 + x] = 0xFFFFFF;
    EXPECT_EQ(ReadFrameCounter(Shot(strip, "0208 FPS", cursor), glyphs), 208);
    EXPECT_EQ(ReadFrameCounter(Shot(strip, ""), glyphs, &read), -1);
    EXPECT_EQ(read, std::string(16, ' '));
    EXPECT_EQ(ReadFrameCounter(Shot(strip, "060 FPS"), glyphs), -1);
    EXPECT_EQ(ReadFrameCounter(Shot(strip, "0060 FPX"), glyphs), -1);
    EXPECT_EQ(ReadFrameCounter(Solid(20, 16, kBackground), glyphs), -1);
}

TEST(FrameDiff, CountsEachDifferenceOnceInTheFirstMaskThatHoldsIt) {
    FrameImage a = Solid(640, 480, kBackground), b = a;
    // Counter and its last pixel, just right of it; text lines and their last pixel, just right of them; text
    // lines and the extra mask (the text lines come first); the extra mask only; the far corner.
    for (auto [x, y] :
         {std::pair{0, 0}, {63, 15}, {64, 15}, {200, 50}, {459, 79}, {460, 79}, {300, 60}, {400, 420}, {639, 479}})
        b.pixels[size_t(y) * 640 + x] = 0xFFFFFF;
    const std::vector<FrameRect> masks = {{200, 50, 460, 80}, {0, 0, 64, 16}, {150, 400, 630, 448}};
    FrameDiff diff = DiffFrames(a, b, masks);
    EXPECT_EQ(diff.outside, 3);
    EXPECT_EQ(diff.inMask, (std::vector<long>{3, 2, 1}));
    EXPECT_EQ(DiffFrames(a, a, masks).outside, 0);
    EXPECT_EQ(DiffFrames(a, Solid(640, 400, kBackground), masks).outside, -1);
}

TEST(ColourCount, CountsOnlyWithinTheRectangleAndThePicture) {
    FrameImage image = Solid(10, 10, 0x123456);
    image.pixels[5 * 10 + 5] = 0;
    EXPECT_EQ(CountColour(image, 0x123456, {0, 0, 10, 10}), 99);
    EXPECT_EQ(CountColour(image, 0x123456, {5, 5, 6, 6}), 0);
    EXPECT_EQ(CountColour(image, 0, {-5, -5, 100, 100}), 1);
    EXPECT_EQ(CountColour(image, 0x123456, {8, 8, 20, 20}), 4);
    EXPECT_EQ(CountColour(image, 0x123456, {20, 20, 30, 30}), 0);
}

}  // namespace
