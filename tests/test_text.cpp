// Fonts, TextOutA and the overlay line: where the ink lands, what it leaves alone, and what it leaves alive.
#include "tests/harness.h"

#include "display/display.h"

#include <cstring>
#include <functional>
#include <tuple>
#include <set>
#include <string>

namespace {

const char kMincho[] = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";  // "ＭＳ 明朝" in code page 932
constexpr BYTE kPaper = 7;
constexpr BYTE kInk = 255;  // white, in the palette below

// Grey ramp, with two blues equally far from RGB(0, 0, 201) so the tie rule shows.
const PALETTEENTRY* TestPalette() {
    static PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) entries[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    entries[10] = {0, 0, 200, 0};
    entries[20] = {0, 0, 202, 0};
    return entries;
}

LOGFONTA Mincho(LONG height) {
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = SHIFTJIS_CHARSET;
    std::strcpy(font.lfFaceName, kMincho);
    return font;
}

std::set<int> InkRows(const Image& picture) {
    std::set<int> rows;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.at(x, y) != kPaper) rows.insert(y);
    return rows;
}

// Columns [fromX, toX) of two pictures of one size are the same.
bool SameColumns(const Image& a, const Image& b, int fromX, int toX) {
    for (int y = 0; y < a.height; ++y)
        for (int x = fromX; x < toX; ++x)
            if (a.at(x, y) != b.at(x, y)) return false;
    return true;
}

class TextTest : public HarnessTest {
protected:
    const PALETTEENTRY* Palette() const override { return TestPalette(); }

    // A fresh surface holding `paper`, handed to `draw` as a device context and read back afterwards.
    static Image OnSurface(int width, int height, const std::vector<BYTE>& paper,
                           const std::function<void(HDC)>& draw) {
        LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(width, height, paper);
        HDC dc = nullptr;
        EXPECT_EQ(surface->GetDC(&dc), DD_OK);
        draw(dc);
        surface->ReleaseDC(dc);
        Image picture{width, height, HarnessReadPixels(surface)};
        surface->Release();
        return picture;
    }

    // `bytes` drawn transparently at (x, y) in one font and colour, on `paper` or else on plain kPaper.
    static Image Text(int width, int height, int x, int y, const std::string& bytes,
                      const LOGFONTA& logFont = Mincho(10), COLORREF colour = RGB(255, 255, 255),
                      const std::vector<BYTE>& paper = {}) {
        std::vector<BYTE> background = paper.empty() ? std::vector<BYTE>(size_t(width * height), kPaper) : paper;
        return OnSurface(width, height, background, [&](HDC dc) {
            HFONT font = CreateFontIndirectA(&logFont);
            ASSERT_NE(font, nullptr);
            HGDIOBJ previous = SelectObject(dc, font);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, colour);
            EXPECT_TRUE(TextOutA(dc, x, y, bytes.data(), int(bytes.size())));
            SelectObject(dc, previous);
            DeleteObject(font);
        });
    }
};

}  // namespace

TEST_F(TextTest, MinchoNamesResolveToIpaMinchoWhoseInkStaysInRowsOneToNine) {
    for (const char* name : {kMincho, "MS Mincho"}) {
        LOGFONTA logFont = Mincho(10);
        std::strcpy(logFont.lfFaceName, name);
        HFONT font = CreateFontIndirectA(&logFont);
        EXPECT_EQ(TestFontFamily(font), "IPAMincho") << name;
        EXPECT_EQ(TestFontAscent(font), 9) << name;
        DeleteObject(font);
    }
    // The three read-out lines at their extremes: capitals and brackets reach row 1, descenders row 9.
    for (const char* line :
         {"Input Key \x81\x46Left Right Up Down", "Joypad \x81\x46\x96\xb3\x82\xb5", "MousePoint (610, 450) 1 0 1"}) {
        std::set<int> rows = InkRows(Text(200, 30, 3, 10, line));
        ASSERT_FALSE(rows.empty()) << line;
        EXPECT_EQ(*rows.begin(), 11) << line;
        EXPECT_EQ(*rows.rbegin(), 19) << line;
    }
}

TEST_F(TextTest, DoubleByteCharactersDrawAsOneFullWidthGlyphEach) {
    // The full-width colon is two dots in one column, and the next character comes ten pixels on.
    Image colonX = Text(40, 20, 2, 0, "\x81\x46X");
    std::set<std::pair<int, int>> colon;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 12; ++x)
            if (colonX.at(x, y) != kPaper) colon.insert({x, y});
    EXPECT_EQ(colon, (std::set<std::pair<int, int>>{{6, 4}, {6, 7}}));
    EXPECT_TRUE(SameColumns(colonX, Text(40, 20, 12, 0, "X"), 12, 40));

    Image noneX = Text(60, 20, 0, 0, "\x96\xb3\x82\xb5X");  // "無し" then X twenty pixels on
    EXPECT_TRUE(SameColumns(noneX, Text(60, 20, 20, 0, "X"), 20, 60));
    EXPECT_FALSE(SameColumns(noneX, Text(60, 20, 0, 0, "\x96\xb3"), 10, 20));
    // Lead bytes run from 0x81 to 0x9F and from 0xE0 to 0xFC: each of the four ends leads one character.
    for (const char* pair : {"\x81\x40", "\x9f\x40", "\xe0\x40", "\xfc\x40"}) {
        Image one = Text(40, 20, 0, 0, std::string(pair) + "X");
        EXPECT_TRUE(SameColumns(one, Text(40, 20, 10, 0, "X"), 10, 40)) << int(BYTE(pair[0]));
    }
}

TEST_F(TextTest, BrokenSequencesDrawTheReplacementNoBytesDoHarmAndThePictureStaysBetweenStrokes) {
    Image middleDot = Text(40, 20, 0, 0, "A\x81\x45");  // U+30FB, the code page's default character
    EXPECT_NE(middleDot.pixels, Text(40, 20, 0, 0, "A").pixels);
    EXPECT_EQ(Text(40, 20, 0, 0, "A\x81").pixels, middleDot.pixels);      // a lead byte cut off at the end
    EXPECT_EQ(Text(40, 20, 0, 0, "A\x85\x40").pixels, middleDot.pixels);  // a pair with no character
    // A byte that cannot trail is not swallowed: the lead alone is replaced and the byte drawn after it.
    EXPECT_EQ(Text(40, 20, 0, 0, "\x81 X").pixels, Text(40, 20, 0, 0, "\x81\x45 X").pixels);

    OnSurface(64, 16, {}, [&](HDC dc) {
        LOGFONTA logFont = Mincho(10);
        HFONT font = CreateFontIndirectA(&logFont);
        HGDIOBJ previous = SelectObject(dc, font);
        for (int pair = 0; pair < 65536; ++pair) {
            const char bytes[2] = {char(pair >> 8), char(pair)};
            ASSERT_TRUE(TextOutA(dc, 0, 0, bytes, 2));
        }
        SelectObject(dc, previous);
        DeleteObject(font);
    });
    // Transparent: the picture stays between the strokes.
    std::vector<BYTE> checker(60 * 20);
    for (size_t i = 0; i < checker.size(); ++i) checker[i] = BYTE(30 + (i % 60 + i / 60) % 2);
    Image transparent = Text(60, 20, 4, 5, "\x96\xb3 Up", Mincho(10), RGB(255, 255, 255), checker);
    int inked = 0;
    for (size_t i = 0; i < checker.size(); ++i) {
        if (transparent.pixels[i] == checker[i]) continue;
        ++inked;
        EXPECT_EQ(transparent.pixels[i], kInk);
    }
    EXPECT_GT(inked, 20);
}

TEST_F(TextTest, TextColourIsTheNearestPaletteEntryAndFollowsPaletteChanges) {
    auto inkOf = [&](COLORREF colour) {
        std::set<BYTE> values;
        for (BYTE value : Text(30, 16, 0, 0, "\x96\xb3", Mincho(10), colour).pixels)
            if (value != kPaper) values.insert(value);
        return values;
    };
    EXPECT_EQ(inkOf(RGB(0, 0, 201)), std::set<BYTE>{10});  // 10 and 20 equally near: the lower index
    EXPECT_EQ(inkOf(RGB(90, 91, 92)), std::set<BYTE>{91});
    EXPECT_EQ(inkOf(RGB(0, 0, 203)), std::set<BYTE>{20});
    PALETTEENTRY moved = {60, 60, 60, 0};
    ASSERT_EQ(app.palette->SetEntries(0, 10, 1, &moved), DD_OK);
    EXPECT_EQ(inkOf(RGB(0, 0, 201)), std::set<BYTE>{20});
}

class OverlayTest : public TextTest {
protected:
    void SetUp() override {
        TextTest::SetUp();
        DDBLTFX fill = {};
        fill.dwSize = sizeof(fill);
        fill.dwFillColor = kPaper;
        ASSERT_EQ(app.backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill), DD_OK);
        TestRecordTextOut(true);
    }
    void TearDown() override {
        TestRecordTextOut(false);
        TextTest::TearDown();
    }
    static Image BackBuffer() { return Image{640, 480, HarnessReadPixels(app.backBuffer)}; }
    static void ExpectNothingLeft() {
        EXPECT_EQ(TestGetLiveObjects().fonts, 0);
        EXPECT_EQ(TestGetLiveObjects().dcs, 0);
    }
};

TEST_F(OverlayTest, DrawsOneTransparentLineInTheNamedFaceAndNothingForNoContext) {
    DrawOverlayText(200, 50, "Input Key \x81\x46Up ", RGB(255, 255, 255), 10, kMincho, 0);
    std::vector<TestTextCall> calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(
        std::tie(calls[0].x, calls[0].y, calls[0].text, calls[0].colour, calls[0].bkMode, calls[0].height),
        std::make_tuple(200, 50, std::string("Input Key \x81\x46Up "), COLORREF(RGB(255, 255, 255)), TRANSPARENT, 10));
    EXPECT_EQ(calls[0].face, kMincho);
    EXPECT_EQ(BackBuffer().pixels, Text(640, 480, 200, 50, "Input Key \x81\x46Up ").pixels);
    ExpectNothingLeft();

    TestTakeTextOut();
    DrawOverlayText(0, 0, "x", RGB(255, 255, 255), 10, std::string(40, 'F').c_str(), 0);
    const Image before = BackBuffer();
    DrawOverlayText(200, 60, "", RGB(255, 255, 255), 10, kMincho, 0);
    calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].face, std::string(31, 'F'));
    EXPECT_EQ(calls[1].text, "");
    ASSERT_TRUE(TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::GetDC, DDERR_SURFACEBUSY));
    DrawOverlayText(200, 70, "MousePoint (10, 10) 0 0 0", RGB(255, 255, 255), 10, kMincho, 0);
    EXPECT_TRUE(TestTakeTextOut().empty());
    EXPECT_EQ(BackBuffer().pixels, before.pixels);
    ExpectNothingLeft();
}

// Three lines a frame for a long while: every font goes, and the face and glyphs are found only once.
TEST_F(OverlayTest, TenThousandLinesReuseOneFaceAndLeaveNothingBehind) {
    TestRecordTextOut(false);
    const char* line = "Joypad \x81\x46\x96\xb3\x82\xb5";
    DrawOverlayText(200, 60, line, RGB(255, 255, 255), 10, kMincho, 0);
    const TestTextStats afterFirst = TestGetTextStats();
    for (int i = 1; i < 10000; ++i) DrawOverlayText(200, 60 + i % 3 * 10, line, RGB(255, 255, 255), 10, kMincho, 0);
    const TestTextStats afterAll = TestGetTextStats();
    EXPECT_EQ(afterAll.fontconfigMatches, afterFirst.fontconfigMatches);
    EXPECT_EQ(afterAll.facesOpened, afterFirst.facesOpened);
    EXPECT_EQ(afterAll.glyphsRendered, afterFirst.glyphsRendered);
    ExpectNothingLeft();
    Image expected;
    for (int y : {60, 70, 80}) expected = Text(640, 480, 200, y, line, Mincho(10), RGB(255, 255, 255), expected.pixels);
    EXPECT_EQ(BackBuffer().pixels, expected.pixels);
}
