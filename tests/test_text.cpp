// Fonts, TextOutA and the overlay line: where the ink lands, what it leaves alone, and what it leaves alive.
#include "tests/harness.h"

#include "display/display.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
    // Between the two ranges lie the half-width katakana, 0xA1 to 0xDF: single bytes, half a cell each, drawn one by
    // one among the ASCII around them.
    Image mixed = Text(60, 20, 0, 0,
                       "A\xb1\xdf"
                       "B");
    EXPECT_TRUE(SameColumns(mixed, Text(60, 20, 0, 0, "A"), 0, 5));
    EXPECT_TRUE(SameColumns(mixed, Text(60, 20, 5, 0, "\xb1"), 5, 10));
    EXPECT_TRUE(SameColumns(mixed, Text(60, 20, 10, 0, "\xdf"), 10, 15));
    EXPECT_TRUE(SameColumns(mixed, Text(60, 20, 15, 0, "B"), 15, 60));
    EXPECT_FALSE(SameColumns(mixed, Text(60, 20, 0, 0, "A"), 5, 15)) << "the katakana have ink";
}

// OPAQUE fills the text's cell first: exactly lfHeight rows and the advance of the whole text, in white.
TEST_F(TextTest, OpaqueTextFillsExactlyTheCellHeightAndTheTextsWidth) {
    auto filled = [](const std::string& bytes) {
        const Image picture = OnSurface(80, 40, std::vector<BYTE>(80 * 40, kPaper), [&](HDC dc) {
            LOGFONTA logFont = Mincho(16);
            HFONT font = CreateFontIndirectA(&logFont);
            HGDIOBJ previous = SelectObject(dc, font);
            SetBkMode(dc, OPAQUE);
            SetTextColor(dc, RGB(0, 0, 0));
            EXPECT_TRUE(TextOutA(dc, 6, 9, bytes.data(), int(bytes.size())));
            SelectObject(dc, previous);
            DeleteObject(font);
        });
        // The white's extent: ink may reach past the cell, and the cell is what was filled.
        int left = 80, right = -1, top = 40, bottom = -1, other = 0;
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 80; ++x) {
                other += picture.at(x, y) != kPaper && picture.at(x, y) != 255 && picture.at(x, y) != 0;
                if (picture.at(x, y) != 255) continue;
                left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                bottom = std::max(bottom, y);
            }
        }
        EXPECT_EQ(other, 0) << "only the white cell and the black ink";
        return std::make_tuple(left, top, right + 1 - left, bottom + 1 - top);
    };
    const auto [x, y, width, height] = filled("A\x96\xb3");
    EXPECT_EQ(std::make_tuple(x, y, height), std::make_tuple(6, 9, 16));
    EXPECT_EQ(width, std::get<2>(filled("A")) + std::get<2>(filled("\x96\xb3")));
    EXPECT_EQ(std::get<2>(filled("A")), 8) << "half of the 16-pixel cell";
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

// --- character sets and fontconfig set-ups ---

namespace {

// Windows' numbers for the character sets our windows.h leaves out: the program asks for Shift-JIS alone.
constexpr BYTE kSymbol = 2, kMac = 77, kHangul = 129, kJohab = 130, kGb2312 = 134, kBig5 = 136, kGreek = 161,
               kTurkish = 162, kVietnamese = 163, kHebrew = 177, kArabic = 178, kBaltic = 186, kRussian = 204,
               kThai = 222, kEastEurope = 238, kOem = 255;

LOGFONTA Face(BYTE charSet, const char* name) {
    LOGFONTA font = Mincho(10);
    font.lfCharSet = charSet;
    std::strcpy(font.lfFaceName, name);
    return font;
}

std::string FamilyFor(const LOGFONTA& logFont) {
    HFONT font = CreateFontIndirectA(&logFont);
    std::string family = TestFontFamily(font);
    DeleteObject(font);
    return family;
}

// Two byte strings in two character sets, both in IPAMincho: the same characters draw the same picture.
struct Reading {
    BYTE setA;
    const char* a;
    BYTE setB;
    const char* b;
    bool same;
};

class CharacterSetTest : public OverlayTest {
protected:
    std::filesystem::path folder;

    void TearDown() override {
        OverlayTest::TearDown();
        unsetenv("FONTCONFIG_FILE");
        if (!folder.empty()) std::filesystem::remove_all(folder);
    }

    static void ExpectReadings(const std::vector<Reading>& readings) {
        for (const Reading& r : readings) {
            const LOGFONTA fontA = Face(r.setA, "IPAMincho"), fontB = Face(r.setB, "IPAMincho");
            ASSERT_EQ(FamilyFor(fontA), "IPAMincho") << int(r.setA);
            ASSERT_EQ(FamilyFor(fontB), "IPAMincho") << int(r.setB);
            const bool same = Text(60, 14, 1, 2, r.a, fontA).pixels == Text(60, 14, 1, 2, r.b, fontB).pixels;
            EXPECT_EQ(same, r.same) << "set " << int(r.setA) << " " << testing::PrintToString(std::string(r.a))
                                    << " against set " << int(r.setB) << " "
                                    << testing::PrintToString(std::string(r.b));
        }
    }

    static std::string SystemFile(const std::string& family) {
        std::string file;
        if (FILE* fcMatch = popen(("fc-match -f '%{file}' '" + family + "'").c_str(), "r")) {
            char buffer[512];
            while (std::fgets(buffer, sizeof buffer, fcMatch) != nullptr) file += buffer;
            pclose(fcMatch);
        }
        return file;
    }

    // A fonts.conf of the test's own, holding the system's files of these families and a cache beside them.
    // fontconfig reads FONTCONFIG_FILE once, at the layer's first text call: ctest gives every test a process of its
    // own, and a test that follows another's text calls in one process is skipped.
    void UseFonts(const std::vector<std::string>& families) {
        if (TestFontsStarted()) GTEST_SKIP() << "text was drawn before in this process; run the test alone";
        std::string name = (std::filesystem::path(testing::TempDir()) / "ditessary-fonts.XXXXXX").string();
        ASSERT_NE(mkdtemp(name.data()), nullptr);
        folder = name;
        std::filesystem::create_directory(folder / "fonts");
        for (const std::string& family : families) {
            const std::string file = SystemFile(family);
            ASSERT_TRUE(std::filesystem::exists(file)) << family << ": tools/install-deps.sh installs its package";
            const std::filesystem::path real = std::filesystem::canonical(file);
            std::filesystem::create_symlink(real, folder / "fonts" / real.filename());
        }
        std::ofstream(folder / "fonts.conf")
            << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n<fontconfig>\n"
            << "  <dir>" << (folder / "fonts").string() << "</dir>\n"
            << "  <cachedir>" << (folder / "cache").string() << "</cachedir>\n</fontconfig>\n";
        setenv("FONTCONFIG_FILE", (folder / "fonts.conf").c_str(), 1);
    }
};

}  // namespace

// With IPAMincho the only face every character set gets it, so all of them compare in one face.
TEST_F(CharacterSetTest, EachWindowsCharacterSetReadsItsOwnCodePage) {
    UseFonts({"IPAMincho"});
    if (IsSkipped() || HasFatalFailure()) return;
    ExpectReadings({
        {SHIFTJIS_CHARSET, "\x82\xa0", ANSI_CHARSET, "\x82\xa0", false},  // one hiragana, or a quote and a space
        {ANSI_CHARSET, "\x93\xd7\xb0", SHIFTJIS_CHARSET, "\x81\x67\x81\x7e\x81\x8b", true},  // the same three
        {DEFAULT_CHARSET, "\x93\xd7\xb0", ANSI_CHARSET, "\x93\xd7\xb0", true},
        {kOem, "\xf8\x82\x9c", ANSI_CHARSET, "\xb0\xe9\xa3", true},
        {kRussian, "\xc0\xe0", SHIFTJIS_CHARSET, "\x84\x40\x84\x70", true},
        {kEastEurope, "\xa3", ANSI_CHARSET, "\xa3", false},  // a Polish letter and the pound sign
        {ANSI_CHARSET, "\x81", ANSI_CHARSET, "?", true},     // no character: the code page's default
        {kGreek, "\xc1\xe1", SHIFTJIS_CHARSET, "\x83\x9f\x83\xbf", true},
        {kTurkish, "\xde", kEastEurope, "\xaa", true},
        {kTurkish, "\xde", ANSI_CHARSET, "\xde", false},
        {kVietnamese, "\xc3", ANSI_CHARSET, "\xc3", false},
        {kVietnamese, "e\xe9", ANSI_CHARSET, "e\xe9", true},
        {kHebrew, "\xaa", ANSI_CHARSET, "\xd7", true},
        {kArabic, "\x80\xd7", ANSI_CHARSET, "\x80\xd7", true},
        {kBaltic, "\xa8", ANSI_CHARSET, "\xd8", true},
        {kThai, "\x85", ANSI_CHARSET, "\x85", true},
        {kHangul, "\xaa\xa2", SHIFTJIS_CHARSET, "\x82\xa0", true},
        {kJohab, "\xdd\xa2", SHIFTJIS_CHARSET, "\x82\xa0", true},
        {kGb2312, "\xa4\xa2", SHIFTJIS_CHARSET, "\x82\xa0", true},
        {kBig5, "\xa3\x44", SHIFTJIS_CHARSET, "\x83\x9f", true},
        // Bytes that are no character draw the default character: the middle dot for the East Asian pages.
        {kGreek, "\xaa", kGreek, "?", true},
        {kThai, "\xdb", kThai, "?", true},
        {kHangul, "A\xb0", SHIFTJIS_CHARSET, "A\x81\x45", true},
        {kBig5, "\xa3\x20", SHIFTJIS_CHARSET, "\x81\x45 ", true},
    });
}

// Face names are bytes of the font's character set too: "IPA明朝" in Shift-JIS names IPAMincho, and not in 1252.
TEST_F(CharacterSetTest, TheFaceNameIsReadInTheSameCharacterSet) {
    EXPECT_EQ(FamilyFor(Face(SHIFTJIS_CHARSET, "IPA\x96\xbe\x92\xa9")), "IPAMincho");
    const std::string ansi = FamilyFor(Face(ANSI_CHARSET, "IPA\x96\xbe\x92\xa9"));
    EXPECT_NE(ansi, "IPAMincho");
    EXPECT_NE(ansi, "");
}

// Sets no code page here reads make no font, with one line each however often they are asked for.
TEST_F(CharacterSetTest, SymbolMacintoshAndUnassignedSetsMakeNoFontAndSaySoOnce) {
    testing::internal::CaptureStderr();
    for (int round = 0; round < 2; ++round) {
        for (BYTE set : {kSymbol, kMac, BYTE(3)}) {
            LOGFONTA logFont = Face(set, "IPAMincho");
            EXPECT_EQ(CreateFontIndirectA(&logFont), nullptr) << int(set);
        }
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "text: character set 2 has no code page here; no font is made for it\n"
              "text: character set 77 has no code page here; no font is made for it\n"
              "text: character set 3 has no code page here; no font is made for it\n");
    ExpectNothingLeft();
}

namespace {

struct FontRequest {
    BYTE charSet;
    const char* face;
    const char* family;  // the face it gets, "" for no font
};
struct FontSetUp {
    const char* name;
    std::vector<std::string> families;
    std::vector<FontRequest> requests;  // the first one the read-out lines' own
    const char* said;                   // standard error's whole text
};
void PrintTo(const FontSetUp& setUp, std::ostream* out) { *out << setUp.name; }

class FontSetUpTest : public CharacterSetTest, public ::testing::WithParamInterface<FontSetUp> {};

const char* const kReadOut[] = {"Input Key \x81\x46Up ", "Joypad \x81\x46\x96\xb3\x82\xb5",
                                "MousePoint (610, 450) 1 0 1"};

}  // namespace

// The face is the Mincho face, else one that covers Japanese (even for a Latin face's name, as GDI puts the
// character set first), else any face; with none, one line, and the read-out lines are not drawn.
TEST_P(FontSetUpTest, ChoosesTheFaceStepByStepAndSaysOnceWhenThereIsNone) {
    UseFonts(GetParam().families);
    if (IsSkipped() || HasFatalFailure()) return;
    testing::internal::CaptureStderr();
    for (const FontRequest& request : GetParam().requests) {
        EXPECT_EQ(FamilyFor(Face(request.charSet, request.face)), request.family) << request.face;
    }
    for (int i = 0; i < 3; ++i) DrawOverlayText(200, 50 + 10 * i, kReadOut[i], RGB(255, 255, 255), 10, kMincho, 0);
    const Image lines = BackBuffer();
    bool drawn = true;
    OnSurface(8, 8, {}, [&](HDC dc) { drawn = TextOutA(dc, 0, 0, "Up", 2); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), GetParam().said);

    const std::string face = GetParam().requests[0].family;
    EXPECT_EQ(drawn, !face.empty());
    Image expected{640, 480, std::vector<BYTE>(640 * 480, kPaper)};
    if (!face.empty()) {
        for (int i = 0; i < 3; ++i) {
            expected = Text(640, 480, 200, 50 + 10 * i, kReadOut[i], Face(SHIFTJIS_CHARSET, face.c_str()),
                            RGB(255, 255, 255), expected.pixels);
        }
        EXPECT_GE(InkRows(expected).size(), 24u) << "every line has ink in most rows of its cell";
    }
    EXPECT_EQ(lines.pixels, expected.pixels);
    ExpectNothingLeft();
}

INSTANTIATE_TEST_SUITE_P(FontSetUps, FontSetUpTest,
                         ::testing::Values(FontSetUp{"MinchoFace",
                                                     {"DejaVu Sans", "IPAPMincho", "IPAMincho"},
                                                     {{SHIFTJIS_CHARSET, kMincho, "IPAMincho"},
                                                      {ANSI_CHARSET, "DejaVu Sans", "DejaVu Sans"}},
                                                     ""},
                                           FontSetUp{"JapaneseFaceButNoMincho",
                                                     {"DejaVu Sans", "IPAPMincho"},
                                                     {{SHIFTJIS_CHARSET, kMincho, "IPAPMincho"},
                                                      {SHIFTJIS_CHARSET, "DejaVu Sans", "IPAPMincho"},
                                                      {ANSI_CHARSET, "DejaVu Sans", "DejaVu Sans"}},
                                                     ""},
                                           FontSetUp{"LatinFaceOnly",
                                                     {"DejaVu Sans"},
                                                     {{SHIFTJIS_CHARSET, kMincho, "DejaVu Sans"},
                                                      {ANSI_CHARSET, "IPAMincho", "DejaVu Sans"}},
                                                     ""},
                                           FontSetUp{
                                               "NoFontAtAll",
                                               {},
                                               {{SHIFTJIS_CHARSET, kMincho, ""}, {ANSI_CHARSET, "DejaVu Sans", ""}},
                                               "text: fontconfig finds no font; text is not drawn\n"}),
                         [](const auto& info) { return std::string(info.param.name); });
