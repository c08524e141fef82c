// The screenshot arithmetic behind the Windows check and the build comparison: window dumps, the glyph strip,
// the frame-rate counter reader, masked differences and the comparison sheet.
#include <gtest/gtest.h>

#include "tests/bitmap_bytes.h"
#include "tools/frameprobe/frame_image.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

void PutBE(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (24 - 8 * i));
}

struct DumpShape {
    int width = 3;
    int height = 2;
    int bitsPerPixel = 32;
    int byteOrder = 0;  // 0 LSBFirst, as Xvfb writes on this machine
    int padding = 4;    // extra bytes at the end of every row
    int colourEntries = 2;
    uint32_t masks[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    std::function<uint32_t(int, int)> pixel = [](int x, int y) { return uint32_t(0x102030 * (x + 1) + y); };
};

// A window dump laid out as xwd writes one: header, window name, colour map entries, rows of pixels.
std::vector<uint8_t> Dump(const DumpShape& shape) {
    const std::string name = "xwdump";
    const uint32_t headerSize = 100 + uint32_t(name.size()) + 1;
    const int step = shape.bitsPerPixel / 8;
    const uint32_t bytesPerLine = uint32_t(shape.width * step + shape.padding);
    std::vector<uint8_t> bytes(headerSize + size_t(shape.colourEntries) * 12 + size_t(bytesPerLine) * shape.height, 0);
    const uint32_t fields[25] = {headerSize,
                                 7,
                                 2,
                                 24,
                                 uint32_t(shape.width),
                                 uint32_t(shape.height),
                                 0,
                                 uint32_t(shape.byteOrder),
                                 32,
                                 uint32_t(shape.byteOrder),
                                 32,
                                 uint32_t(shape.bitsPerPixel),
                                 bytesPerLine,
                                 4,
                                 shape.masks[0],
                                 shape.masks[1],
                                 shape.masks[2],
                                 8,
                                 256,
                                 uint32_t(shape.colourEntries),
                                 uint32_t(shape.width),
                                 uint32_t(shape.height),
                                 0,
                                 0,
                                 0};
    for (int i = 0; i < 25; ++i) PutBE(bytes, size_t(i) * 4, fields[i]);
    std::copy(name.begin(), name.end(), bytes.begin() + 100);
    for (int i = 0; i < shape.colourEntries * 12; ++i) bytes[headerSize + i] = 0xEE;  // never taken for pixels
    const size_t pixelStart = headerSize + size_t(shape.colourEntries) * 12;
    for (int y = 0; y < shape.height; ++y) {
        for (int x = 0; x < shape.width; ++x) {
            const uint32_t p = shape.pixel(x, y);
            uint8_t* at = &bytes[pixelStart + size_t(y) * bytesPerLine + size_t(x) * step];
            for (int b = 0; b < step; ++b) {
                const int shift = shape.byteOrder == 0 ? 8 * b : 8 * (step - 1 - b);
                at[b] = uint8_t(p >> shift);
            }
        }
        for (int b = 0; b < shape.padding; ++b)
            bytes[pixelStart + size_t(y) * bytesPerLine + size_t(shape.width) * step + b] = 0x77;
    }
    return bytes;
}

FrameImage Solid(int width, int height, uint32_t colour) {
    FrameImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(size_t(width) * height, colour);
    return image;
}

TEST(WindowDump, ReadsEveryLayoutXvfbCanWrite) {
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
}

TEST(WindowDump, SpreadsNarrowChannelsOverTheFullRange) {
    DumpShape shape;
    shape.width = 2;
    shape.height = 1;
    shape.masks[0] = 0xF800;  // 5-6-5 in a 32-bit word
    shape.masks[1] = 0x07E0;
    shape.masks[2] = 0x001F;
    shape.pixel = [](int x, int) { return x == 0 ? uint32_t(0xFFFF) : uint32_t(0x8410); };
    FrameImage image;
    std::string error;
    ASSERT_TRUE(ReadXwd(Dump(shape), image, error)) << error;
    EXPECT_EQ(image.pixels[0], 0xFFFFFFu);
    EXPECT_EQ(image.pixels[1], FrameRgb(132, 130, 132));
}

TEST(WindowDump, RefusesDumpsThatDoNotHoldWhatTheyClaim) {
    std::string error;
    FrameImage image;
    std::vector<uint8_t> good = Dump(DumpShape{});
    std::vector<uint8_t> cut(good.begin(), good.end() - 1);
    EXPECT_FALSE(ReadXwd(cut, image, error));
    EXPECT_FALSE(ReadXwd(std::vector<uint8_t>(good.begin(), good.begin() + 99), image, error));

    std::vector<uint8_t> wrongVersion = good;
    PutBE(wrongVersion, 4, 6);
    EXPECT_FALSE(ReadXwd(wrongVersion, image, error));

    std::vector<uint8_t> paletted = good;
    PutBE(paletted, 13 * 4, 3);  // PseudoColor
    EXPECT_FALSE(ReadXwd(paletted, image, error));

    std::vector<uint8_t> narrowLines = good;
    PutBE(narrowLines, 12 * 4, 4);  // fewer bytes per line than three 32-bit pixels need
    EXPECT_FALSE(ReadXwd(narrowLines, image, error));

    std::vector<uint8_t> hugeColourMap = good;
    PutBE(hugeColourMap, 19 * 4, 0x40000000);
    EXPECT_FALSE(ReadXwd(hugeColourMap, image, error));

    std::vector<uint8_t> hugeHeader = good;
    PutBE(hugeHeader, 0, 0xFFFFFFF0u);
    EXPECT_FALSE(ReadXwd(hugeHeader, image, error));
}

TEST(IndexedBitmap, ReadsRowsTopFirstWhicheverWayTheyAreStored) {
    for (int32_t height : {3, -3}) {
        BitmapShape shape;
        shape.width = 5;  // rows padded to 8 bytes in the file
        shape.height = height;
        shape.colourUsed = 4;
        shape.colours = {0x112233, 0x445566, 0x778899, 0xAABBCC};
        shape.pixel = [](int x, int y) { return uint32_t((x + y) % 4); };
        IndexedImage image;
        std::string error;
        ASSERT_TRUE(ReadIndexedBmp(BitmapFile(shape), image, error)) << error;
        ASSERT_EQ(image.width, 5);
        ASSERT_EQ(image.height, 3);
        EXPECT_EQ(image.indices, (std::vector<uint8_t>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2}));
        EXPECT_EQ(image.colours[0], 0x112233u);
        EXPECT_EQ(image.colours[3], 0xAABBCCu);
        EXPECT_EQ(image.colours[4], 0u);  // beyond biClrUsed
    }
}

TEST(IndexedBitmap, RefusesWhatIsNotAnUncompressed8BitFileOfItsSize) {
    BitmapShape shape;
    IndexedImage image;
    std::string error;
    std::vector<uint8_t> good = BitmapFile(shape);
    ASSERT_TRUE(ReadIndexedBmp(good, image, error));
    EXPECT_FALSE(ReadIndexedBmp(std::vector<uint8_t>(good.begin(), good.end() - 1), image, error));
    EXPECT_FALSE(ReadIndexedBmp(PackedBitmap(shape), image, error));  // no file header
    BitmapShape deep = shape;
    deep.bitCount = 24;
    EXPECT_FALSE(ReadIndexedBmp(BitmapFile(deep), image, error));
    BitmapShape packed = shape;
    packed.compression = 1;
    EXPECT_FALSE(ReadIndexedBmp(BitmapFile(packed), image, error));
    std::vector<uint8_t> farPixels = good;
    PutLE(farPixels, 10, 0x7FFFFFFF, 4);
    EXPECT_FALSE(ReadIndexedBmp(farPixels, image, error));
}

constexpr uint32_t kKey = 0x158D5B;
constexpr uint32_t kBackground = 0x070430;

// A strip like the program's: 8 x 16 cells from code 32 on key green. Each character gets its own pattern in
// colours that change by row; '8' is '0' with more pixels, so one glyph's pixels are a subset of another's.
IndexedImage Strip() {
    IndexedImage strip;
    strip.width = 75 * 8;
    strip.height = 16;
    strip.colours.assign(256, 0);
    strip.colours[145] = kKey;
    for (int row = 0; row < 16; ++row) strip.colours[size_t(10 + row)] = FrameRgb(40, 60 + 10 * row, 250);
    strip.indices.assign(size_t(strip.width) * strip.height, 145);
    auto set = [&](char code, int x, int y) {
        strip.indices[size_t(y) * strip.width + size_t((code - 32) * 8 + x)] = uint8_t(10 + y);
    };
    for (char code = '!'; code <= 'Z'; ++code) {
        for (int y = 1; y < 15; ++y) {
            for (int x = 1; x < 7; ++x) {
                if ((uint32_t(x * 131 + y * 31 + code * 17) * 2654435761u >> 13) % 3 == 0) set(code, x, y);
            }
        }
    }
    for (int i = 0; i < 8 * 16; ++i) {
        const int x = i % 8, y = i / 8;
        strip.indices[size_t(y) * strip.width + size_t(('8' - 32) * 8 + x)] =
            strip.indices[size_t(y) * strip.width + size_t(('0' - 32) * 8 + x)];
    }
    for (int y = 6; y < 9; ++y) set('8', 3, y);
    return strip;
}

// Draws text as the frame driver does: one cell per character from (0, 0), key green left out.
void DrawText(FrameImage& shot, const IndexedImage& strip, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 8; ++x) {
                const uint32_t colour =
                    strip.colours[strip.indices[size_t(y) * strip.width + size_t((text[i] - 32) * 8 + x)]];
                if (colour != kKey) shot.pixels[size_t(y) * shot.width + i * 8 + x] = colour;
            }
        }
    }
}

TEST(FrameCounter, ReadsWhatTheFrameDriverDraws) {
    const IndexedImage strip = Strip();
    const std::vector<Glyph> glyphs = CutGlyphs(strip, "0123456789 FPS", kKey);
    ASSERT_EQ(glyphs.size(), 14u);
    EXPECT_TRUE(glyphs[10].offsets.empty());  // the blank draws nothing
    for (std::string text : {"0060 FPS", "0808 FPS", "0001 FPS", "12345 FPS", "9999 FPS"}) {
        FrameImage shot = Solid(640, 480, kBackground);
        DrawText(shot, strip, text);
        std::string read;
        EXPECT_EQ(ReadFrameCounter(shot, glyphs, &read), std::stol(text)) << text << " read as " << read;
    }
}

TEST(FrameCounter, ReadsThroughTheCursorAndThePanelsBehindIt) {
    const IndexedImage strip = Strip();
    const std::vector<Glyph> glyphs = CutGlyphs(strip, "0123456789 FPS", kKey);
    FrameImage shot = Solid(640, 480, FrameRgb(121, 134, 150));
    for (int y = 10; y < 30; ++y) {
        for (int x = 10; x < 30; ++x) shot.pixels[size_t(y) * 640 + x] = 0xFFFFFF;  // the cursor, under the text
    }
    DrawText(shot, strip, "0208 FPS");
    EXPECT_EQ(ReadFrameCounter(shot, glyphs), 208);
}

TEST(FrameCounter, GivesMinusOneWhereNoCounterStands) {
    const IndexedImage strip = Strip();
    const std::vector<Glyph> glyphs = CutGlyphs(strip, "0123456789 FPS", kKey);
    FrameImage empty = Solid(640, 480, kBackground);
    std::string read;
    EXPECT_EQ(ReadFrameCounter(empty, glyphs, &read), -1);
    EXPECT_EQ(read, std::string(16, ' '));

    FrameImage threeDigits = Solid(640, 480, kBackground);
    DrawText(threeDigits, strip, "060 FPS");
    EXPECT_EQ(ReadFrameCounter(threeDigits, glyphs), -1);

    FrameImage otherWord = Solid(640, 480, kBackground);
    DrawText(otherWord, strip, "0060 FPX");
    EXPECT_EQ(ReadFrameCounter(otherWord, glyphs, &read), -1);
    EXPECT_EQ(read.substr(0, 8), "0060 FP ");  // an unknown glyph reads as the blank, which fits anywhere

    FrameImage narrow = Solid(20, 16, kBackground);
    EXPECT_EQ(ReadFrameCounter(narrow, glyphs), -1);
}

// The real glyph strip: every character the counter uses must be told from every other on both backgrounds.
TEST(FrameCounter, TellsApartEveryCounterGlyphOfTheProgramsStrip) {
    const std::filesystem::path path = std::filesystem::path(DITESSARY_SOURCE_DIR) / "resources" / "STRINGS.bmp";
    std::ifstream in(path, std::ios::binary);
    ASSERT_TRUE(in) << path;
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    IndexedImage strip;
    std::string error;
    ASSERT_TRUE(ReadIndexedBmp(bytes, strip, error)) << error;
    const std::vector<Glyph> glyphs = CutGlyphs(strip, "0123456789 FPS", kKey);
    for (uint32_t background : {FrameRgb(7, 4, 48), FrameRgb(121, 134, 150)}) {
        for (std::string text : {"0123 FPS", "4567 FPS", "8989 FPS", "10000 FPS"}) {
            FrameImage shot = Solid(640, 480, background);
            DrawText(shot, strip, text);
            std::string read;
            EXPECT_EQ(ReadFrameCounter(shot, glyphs, &read), std::stol(text)) << text << " read as " << read;
        }
    }
}

TEST(FrameDiff, CountsEachDifferenceOnceInTheFirstMaskThatHoldsIt) {
    FrameImage a = Solid(640, 480, kBackground), b = a;
    auto poke = [&](int x, int y) { b.pixels[size_t(y) * 640 + x] = 0xFFFFFF; };
    poke(0, 0);      // counter
    poke(63, 15);    // counter, last pixel
    poke(64, 15);    // just right of the counter
    poke(200, 50);   // text lines
    poke(459, 79);   // text lines, last pixel
    poke(460, 79);   // just right of them
    poke(300, 60);   // text lines and the extra mask: the text lines come first
    poke(400, 420);  // extra mask only
    poke(639, 479);
    const std::vector<FrameRect> masks = {{200, 50, 460, 80}, {0, 0, 64, 16}, {150, 400, 630, 448}};
    FrameDiff diff = DiffFrames(a, b, masks);
    EXPECT_EQ(diff.outside, 3);
    EXPECT_EQ(diff.inMask, (std::vector<long>{3, 2, 1}));
    EXPECT_EQ(DiffFrames(a, a, masks).outside, 0);
    EXPECT_EQ(DiffFrames(a, Solid(640, 400, kBackground), masks).outside, -1);
}

TEST(FrameDiff, PictureMarksDifferencesMasksAndEqualPixels) {
    FrameImage a = Solid(8, 6, FrameRgb(90, 90, 90)), b = a;
    b.pixels[0] = 0;          // inside the mask
    b.pixels[5 * 8 + 7] = 0;  // outside
    const std::vector<FrameRect> masks = {{0, 0, 4, 3}};
    FrameImage picture = DifferencePicture(a, b, masks);
    EXPECT_EQ(FrameAt(picture, 0, 0), FrameRgb(255, 176, 0));
    EXPECT_EQ(FrameAt(picture, 7, 5), FrameRgb(255, 0, 0));
    EXPECT_EQ(FrameAt(picture, 3, 1), FrameRgb(0, 200, 220));  // the mask's right edge
    EXPECT_EQ(FrameAt(picture, 1, 1), FrameRgb(30, 30, 30));   // equal inside: dimmed, not outlined
    EXPECT_EQ(FrameAt(picture, 5, 4), FrameRgb(30, 30, 30));
}

TEST(ComparisonSheet, LaysRowsOutWithGapsAndWritesAPixmap) {
    FrameImage red = Solid(2, 1, 0xFF0000), green = Solid(1, 2, 0x00FF00), blue = Solid(3, 1, 0x0000FF);
    FrameImage sheet = Tile({{&red, &green}, {&blue}}, 1);
    ASSERT_EQ(sheet.width, 4);
    ASSERT_EQ(sheet.height, 4);
    EXPECT_EQ(sheet.pixels, (std::vector<uint32_t>{0xFF0000, 0xFF0000, 0, 0x00FF00,  //
                                                   0, 0, 0, 0x00FF00,                //
                                                   0, 0, 0, 0,                       //
                                                   0x0000FF, 0x0000FF, 0x0000FF, 0}));
    const std::vector<uint8_t> ppm = EncodePpm(red);
    EXPECT_EQ(ppm,
              (std::vector<uint8_t>{'P', '6', '\n', '2', ' ', '1', '\n', '2', '5', '5', '\n', 255, 0, 0, 255, 0, 0}));
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
