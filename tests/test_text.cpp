// Fonts, TextOutA and the overlay line: where the ink lands, what it leaves alone, and what it leaves alive.
#include "tests/harness.h"

#include "display/display.h"

#include <climits>
#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>

namespace {

const char kMincho[] = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";  // "ＭＳ 明朝" in code page 932
constexpr BYTE kPaper = 7;
constexpr BYTE kInk = 255;  // white, in the palette below

// Grey ramp, with two blues equally far from RGB(0, 0, 201) so the tie rule shows.
const PALETTEENTRY* TestPalette() {
    static PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) {
        entries[i] = {BYTE(i), BYTE(i), BYTE(i), 0};
    }
    entries[10] = {0, 0, 200, 0};
    entries[20] = {0, 0, 202, 0};
    return entries;
}

LOGFONTA Mincho(LONG height, BYTE italic = 0) {
    LOGFONTA font = {};
    font.lfHeight = height;
    font.lfWeight = FW_NORMAL;
    font.lfItalic = italic;
    font.lfCharSet = SHIFTJIS_CHARSET;
    std::strcpy(font.lfFaceName, kMincho);
    return font;
}

struct Picture {
    int width;
    int height;
    std::vector<BYTE> pixels;
    BYTE at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

class TextTest : public HarnessTest {
protected:
    HarnessOptions Options() const override {
        HarnessOptions options;
        options.palette = TestPalette();
        return options;
    }

    // A fresh surface of `paper`, handed to `draw` as a device context, read back afterwards.
    Picture OnSurface(int width, int height, const std::vector<BYTE>& paper, const std::function<void(HDC)>& draw) {
        LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(width, height, paper);
        EXPECT_NE(surface, nullptr);
        HDC dc = nullptr;
        EXPECT_EQ(surface->GetDC(&dc), DD_OK);
        draw(dc);
        surface->ReleaseDC(dc);
        Picture picture{width, height, HarnessReadPixels(surface)};
        surface->Release();
        return picture;
    }

    Picture Text(int width, int height, int x, int y, const std::string& bytes, const LOGFONTA& logFont = Mincho(10),
                 COLORREF colour = RGB(255, 255, 255), int mode = TRANSPARENT, BYTE paper = kPaper) {
        return OnSurface(width, height, std::vector<BYTE>(size_t(width) * size_t(height), paper), [&](HDC dc) {
            HFONT font = CreateFontIndirectA(&logFont);
            ASSERT_NE(font, nullptr);
            HGDIOBJ previous = SelectObject(dc, font);
            SetBkMode(dc, mode);
            SetTextColor(dc, colour);
            EXPECT_TRUE(TextOutA(dc, x, y, bytes.data(), int(bytes.size())));
            SelectObject(dc, previous);
            DeleteObject(font);
        });
    }
};

std::set<int> InkRows(const Picture& picture, BYTE paper = kPaper) {
    std::set<int> rows;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            if (picture.at(x, y) != paper) rows.insert(y);
        }
    }
    return rows;
}

std::set<std::pair<int, int>> InkPixels(const Picture& picture, int fromX, int toX, BYTE paper = kPaper) {
    std::set<std::pair<int, int>> ink;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = fromX; x < toX; ++x) {
            if (picture.at(x, y) != paper) ink.insert({x, y});
        }
    }
    return ink;
}

// Columns [fromX, toX) of two pictures of the same size, side by side.
bool SameColumns(const Picture& a, const Picture& b, int fromX, int toX) {
    for (int y = 0; y < a.height; ++y) {
        for (int x = fromX; x < toX; ++x) {
            if (a.at(x, y) != b.at(x, y)) return false;
        }
    }
    return true;
}

}  // namespace

TEST_F(TextTest, EmptyStringSucceedsAndDrawsNothing) {
    Picture picture = Text(40, 20, 5, 5, "");
    EXPECT_EQ(InkRows(picture), std::set<int>{});
}

TEST_F(TextTest, MinchoNamesResolveToIpaMinchoWhoseInkStaysInRowsOneToNine) {
    LOGFONTA logFont = Mincho(10);
    HFONT font = CreateFontIndirectA(&logFont);
    EXPECT_EQ(TestFontFamily(font), "IPAMincho");
    EXPECT_EQ(TestFontAscent(font), 9);
    DeleteObject(font);
    std::strcpy(logFont.lfFaceName, "MS Mincho");
    font = CreateFontIndirectA(&logFont);
    EXPECT_EQ(TestFontFamily(font), "IPAMincho");
    DeleteObject(font);

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
    // The full-width colon: two dots in one column, and the next character ten pixels on.
    Picture colonX = Text(40, 20, 2, 0, "\x81\x46X");
    EXPECT_EQ(InkPixels(colonX, 0, 12), (std::set<std::pair<int, int>>{{6, 4}, {6, 7}}));
    EXPECT_TRUE(SameColumns(colonX, Text(40, 20, 12, 0, "X"), 12, 40));

    // "無し": two glyphs, twenty pixels, whatever the bytes would be one at a time.
    Picture noneX = Text(60, 20, 0, 0, "\x96\xb3\x82\xb5X");
    EXPECT_TRUE(SameColumns(noneX, Text(60, 20, 20, 0, "X"), 20, 60));
    EXPECT_TRUE(SameColumns(noneX, Text(60, 20, 0, 0, "\x96\xb3\x82\xb5"), 0, 20));
    EXPECT_FALSE(SameColumns(noneX, Text(60, 20, 0, 0, "\x96\xb3"), 10, 20));
}

TEST_F(TextTest, BrokenSequencesDrawTheReplacementGlyph) {
    Picture middleDot = Text(40, 20, 0, 0, "A\x81\x45");  // U+30FB, the code page's default character
    ASSERT_FALSE(InkPixels(middleDot, 5, 15).empty());
    EXPECT_EQ(Text(40, 20, 0, 0, "A\x81").pixels, middleDot.pixels);      // lead byte cut off at the end
    EXPECT_EQ(Text(40, 20, 0, 0, "A\x85\x40").pixels, middleDot.pixels);  // a pair with no character
    // A byte that cannot trail is not swallowed: the lead alone is replaced, the byte drawn after it.
    EXPECT_EQ(Text(40, 20, 0, 0, "\x81 X").pixels, Text(40, 20, 0, 0, "\x81\x45 X").pixels);
}

TEST_F(TextTest, EveryByteSequenceIsDrawnWithoutHarm) {
    Picture picture = OnSurface(64, 16, std::vector<BYTE>(64 * 16, kPaper), [&](HDC dc) {
        LOGFONTA logFont = Mincho(10);
        HFONT font = CreateFontIndirectA(&logFont);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        for (int lead = 0; lead < 256; ++lead) {
            for (int trail = 0; trail < 256; ++trail) {
                const char pair[2] = {char(lead), char(trail)};
                ASSERT_TRUE(TextOutA(dc, 0, 0, pair, 2));
            }
        }
        std::mt19937 random(1);
        for (int i = 0; i < 2000; ++i) {
            std::string bytes(random() % 40, '\0');
            for (char& b : bytes) b = char(random());
            ASSERT_TRUE(
                TextOutA(dc, int(random() % 200) - 100, int(random() % 40) - 20, bytes.data(), int(bytes.size())));
        }
        SelectObject(dc, previous);
        DeleteObject(font);
    });
    EXPECT_EQ(picture.pixels.size(), size_t(64 * 16));
}

TEST_F(TextTest, TransparentLeavesThePictureBetweenStrokesAndOpaqueFillsTheCells) {
    std::vector<BYTE> checker(60 * 20);
    for (size_t i = 0; i < checker.size(); ++i) checker[i] = BYTE(30 + (i % 60 + i / 60) % 2);
    auto draw = [&](int mode) {
        return OnSurface(60, 20, checker, [&](HDC dc) {
            LOGFONTA logFont = Mincho(10);
            HFONT font = CreateFontIndirectA(&logFont);
            HGDIOBJ previous = SelectObject(dc, font);
            SetBkMode(dc, mode);
            SetTextColor(dc, RGB(255, 255, 255));
            TextOutA(dc, 4, 5, "\x96\xb3 Up", 5);
            SelectObject(dc, previous);
            DeleteObject(font);
        });
    };
    Picture transparent = draw(TRANSPARENT);
    int inked = 0;
    for (size_t i = 0; i < checker.size(); ++i) {
        if (transparent.pixels[i] != checker[i]) {
            ++inked;
            EXPECT_EQ(transparent.pixels[i], kInk);
        }
    }
    EXPECT_GT(inked, 20);

    // Opaque: the cells (10 + 5 + 5 + 5 pixels wide, 10 high, from (4, 5)) become ink or white; the rest stays.
    Picture opaque = draw(OPAQUE);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 60; ++x) {
            bool inCell = x >= 4 && x < 29 && y >= 5 && y < 15;
            BYTE value = opaque.at(x, y);
            if (inCell) {
                EXPECT_EQ(value, kInk) << x << "," << y;
            } else {
                EXPECT_EQ(value, checker[size_t(y) * 60 + size_t(x)]) << x << "," << y;
            }
        }
    }
}

TEST_F(TextTest, TextColourIsTheNearestPaletteEntryAndFollowsPaletteChanges) {
    auto inkOf = [&](COLORREF colour) {
        std::set<BYTE> values;
        for (BYTE value : Text(30, 16, 0, 0, "\x96\xb3", Mincho(10), colour).pixels) {
            if (value != kPaper) values.insert(value);
        }
        return values;
    };
    EXPECT_EQ(inkOf(RGB(0, 0, 201)), std::set<BYTE>{10});  // 10 and 20 equally near: the lower index
    EXPECT_EQ(inkOf(RGB(90, 91, 92)), std::set<BYTE>{91});
    EXPECT_EQ(inkOf(RGB(0, 0, 203)), std::set<BYTE>{20});

    PALETTEENTRY moved = {60, 60, 60, 0};
    ASSERT_EQ(app.palette->SetEntries(0, 10, 1, &moved), DD_OK);
    EXPECT_EQ(inkOf(RGB(0, 0, 201)), std::set<BYTE>{20});
}

TEST_F(TextTest, ClippedToTheSurfaceAtEveryEdge) {
    const std::string line = "Joypad \x81\x46\x96\xb3\x82\xb5";
    Picture whole = Text(200, 40, 100, 12, line);  // the same text with room all round
    struct Case {
        int x, y;
    };
    for (Case c : {Case{-3, -4}, Case{-40, 2}, Case{10, -8}, Case{18, 3}, Case{2, 5}, Case{-70, -5}}) {
        Picture clipped = Text(24, 8, c.x, c.y, line);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 24; ++x) {
                ASSERT_EQ(clipped.at(x, y), whole.at(x - c.x + 100, y - c.y + 12))
                    << "text at " << c.x << "," << c.y << " pixel " << x << "," << y;
            }
        }
    }
    for (Case c : {Case{INT_MIN, INT_MIN}, Case{INT_MAX, INT_MAX}, Case{INT_MAX - 3, 0}, Case{0, INT_MIN + 2},
                   Case{24, 0}, Case{0, 8}}) {
        EXPECT_EQ(InkRows(Text(24, 8, c.x, c.y, line)), std::set<int>{}) << c.x << "," << c.y;
    }
}

TEST_F(TextTest, ModeAndColourCallsReturnWhatWasSetBefore) {
    OnSurface(8, 8, {}, [&](HDC dc) {
        EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
        EXPECT_EQ(SetBkMode(dc, 5), 0);
        EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
        EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
        EXPECT_EQ(SetTextColor(dc, RGB(4, 5, 6)), RGB(1, 2, 3));
        EXPECT_FALSE(TextOutA(dc, 0, 0, "A", -1));
        EXPECT_FALSE(TextOutA(dc, 0, 0, nullptr, 3));
    });
    HDC dead = nullptr;
    OnSurface(8, 8, {}, [&](HDC dc) { dead = dc; });
    EXPECT_EQ(SetBkMode(dead, TRANSPARENT), 0);
    EXPECT_EQ(SetTextColor(dead, RGB(1, 2, 3)), CLR_INVALID);
    EXPECT_FALSE(TextOutA(dead, 0, 0, "A", 1));
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
}

TEST_F(TextTest, OddFontRequestsStillGiveAFontThatDrawsSafely) {
    LOGFONTA unterminated = Mincho(10);
    std::memset(unterminated.lfFaceName, 'A', sizeof(unterminated.lfFaceName));
    LOGFONTA weights = Mincho(10);
    weights.lfWeight = 5000;
    LOGFONTA negativeWeight = Mincho(10);
    negativeWeight.lfWeight = -7;
    for (const LOGFONTA& logFont : {Mincho(INT_MIN), Mincho(INT_MAX), Mincho(0), Mincho(1), unterminated, weights,
                                    negativeWeight, Mincho(10, 1)}) {
        HFONT font = CreateFontIndirectA(&logFont);
        ASSERT_NE(font, nullptr) << logFont.lfHeight;
        DeleteObject(font);
        Text(50, 20, 0, 0, "Up\x96\xb3", logFont);
    }
    // IPAMincho's cell is its em, so a cell of 10 and a character of 10 are the same size.
    EXPECT_EQ(Text(50, 20, 0, 0, "Up\x96\xb3", Mincho(-10)).pixels, Text(50, 20, 0, 0, "Up\x96\xb3").pixels);
    EXPECT_NE(Text(50, 20, 0, 0, "Up\x96\xb3", Mincho(10, 1)).pixels, Text(50, 20, 0, 0, "Up\x96\xb3").pixels);
}

TEST_F(TextTest, FontsMadeAndDeletedPerLineReuseOneFaceAndItsGlyphs) {
    const std::string line = "MousePoint (610, 450) 1 0 1";
    LPDIRECTDRAWSURFACE7 surface = HarnessMakeSurface(320, 20, {});
    ASSERT_NE(surface, nullptr);
    TestTextStats afterFirst = {};
    for (int i = 0; i < 10000; ++i) {
        LOGFONTA logFont = Mincho(10);
        HFONT font = CreateFontIndirectA(&logFont);
        HDC dc = nullptr;
        ASSERT_EQ(surface->GetDC(&dc), DD_OK);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 0, 0, line.data(), int(line.size()));
        SelectObject(dc, previous);
        surface->ReleaseDC(dc);
        ASSERT_TRUE(DeleteObject(font));
        if (i == 0) afterFirst = TestGetTextStats();
    }
    TestTextStats afterAll = TestGetTextStats();
    EXPECT_EQ(afterAll.fontconfigMatches, afterFirst.fontconfigMatches);
    EXPECT_EQ(afterAll.facesOpened, afterFirst.facesOpened);
    EXPECT_EQ(afterAll.glyphsRendered, afterFirst.glyphsRendered);
    surface->Release();
    EXPECT_EQ(TestGetLiveObjects().fonts, 0);
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
}

class OverlayTest : public TextTest {
protected:
    void SetUp() override {
        TextTest::SetUp();
        ClearBackBuffer(kPaper);
        TestRecordTextOut(true);
    }
    void TearDown() override {
        TestRecordTextOut(false);
        TextTest::TearDown();
    }
    static void ClearBackBuffer(BYTE index) {
        DDBLTFX fill = {};
        fill.dwSize = sizeof(fill);
        fill.dwFillColor = index;
        ASSERT_EQ(app.backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill), DD_OK);
    }
    static Picture BackBuffer() { return Picture{640, 480, HarnessReadPixels(app.backBuffer)}; }
};

TEST_F(OverlayTest, DrawsOneTransparentLineInTheNamedFaceAtItsPosition) {
    DrawOverlayText(200, 50, "Input Key \x81\x46Up ", RGB(255, 255, 255), 10, kMincho, 0);

    std::vector<TestTextCall> calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].x, 200);
    EXPECT_EQ(calls[0].y, 50);
    EXPECT_EQ(calls[0].text, "Input Key \x81\x46Up ");
    EXPECT_EQ(calls[0].colour, RGB(255, 255, 255));
    EXPECT_EQ(calls[0].bkMode, TRANSPARENT);
    EXPECT_EQ(calls[0].face, kMincho);
    EXPECT_EQ(calls[0].height, 10);

    Picture expected = Text(640, 480, 200, 50, "Input Key \x81\x46Up ");
    Picture drawn = BackBuffer();
    EXPECT_EQ(drawn.pixels, expected.pixels);
    EXPECT_EQ(*InkRows(drawn).begin(), 51);
    EXPECT_EQ(*InkRows(drawn).rbegin(), 59);
    EXPECT_EQ(TestGetLiveObjects().fonts, 0);
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
}

TEST_F(OverlayTest, ItalicFlagReachesTheFont) {
    DrawOverlayText(0, 0, "Left", RGB(255, 255, 255), 10, kMincho, 1);
    EXPECT_EQ(BackBuffer().pixels, Text(640, 480, 0, 0, "Left", Mincho(10, 1)).pixels);
}

TEST_F(OverlayTest, EmptyTextMakesAndDeletesTheFontAndDrawsNothing) {
    DrawOverlayText(200, 60, "", RGB(255, 255, 255), 10, kMincho, 0);
    std::vector<TestTextCall> calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].text, "");
    EXPECT_EQ(InkRows(BackBuffer()), std::set<int>{});
    EXPECT_EQ(TestGetLiveObjects().fonts, 0);
}

TEST_F(OverlayTest, WithoutTheBackBuffersContextNothingIsDrawnAndNoFontStays) {
    ASSERT_TRUE(TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::GetDC, DDERR_SURFACEBUSY));
    DrawOverlayText(200, 70, "MousePoint (10, 10) 0 0 0", RGB(255, 255, 255), 10, kMincho, 0);
    EXPECT_TRUE(TestTakeTextOut().empty());
    EXPECT_EQ(InkRows(BackBuffer()), std::set<int>{});
    EXPECT_EQ(TestGetLiveObjects().fonts, 0);
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
}

TEST_F(OverlayTest, AFaceNameOfMoreThan31BytesIsCutTo31) {
    const std::string longName(40, 'F');
    DrawOverlayText(0, 0, "x", RGB(255, 255, 255), 10, longName.c_str(), 0);
    std::vector<TestTextCall> calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].face, std::string(31, 'F'));
}

TEST_F(OverlayTest, TenThousandLinesLeaveNoFontOrContextBehind) {
    TestRecordTextOut(false);
    const char* line = "Joypad \x81\x46\x96\xb3\x82\xb5";
    for (int i = 0; i < 10000; ++i) {
        DrawOverlayText(200, 60 + i % 3 * 10, line, RGB(255, 255, 255), 10, kMincho, 0);
    }
    EXPECT_EQ(TestGetLiveObjects().fonts, 0);
    EXPECT_EQ(TestGetLiveObjects().dcs, 0);
    Picture expected = OnSurface(640, 480, std::vector<BYTE>(640 * 480, kPaper), [&](HDC dc) {
        LOGFONTA logFont = Mincho(10);
        HFONT font = CreateFontIndirectA(&logFont);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        for (int y : {60, 70, 80}) TextOutA(dc, 200, y, line, int(std::strlen(line)));
        SelectObject(dc, previous);
        DeleteObject(font);
    });
    EXPECT_EQ(BackBuffer().pixels, expected.pixels);
}
