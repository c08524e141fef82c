// The input-test scene frame by frame: its picture against one composed from the bitmaps, its read-out
// lines, the cursor and the start rule, driven by real SDL input through the layer.
#include "tests/harness.h"

#include "display/display.h"
#include "input/input.h"
#include "scenes/scenes.h"

#include <SDL.h>

#include <cstring>
#include <string>
#include <tuple>

namespace {

const char kMincho[] = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";
const char kKeyPrefix[] = "Input Key \x81\x46";
const char kJoyPrefix[] = "Joypad \x81\x46";
const std::string kNoStick = std::string(kJoyPrefix) + "\x96\xb3\x82\xb5";
constexpr BYTE kKeyGreen = 145;

std::string MouseLine(int x, int y, int b0 = 0, int b1 = 0, int b2 = 0) {
    char text[80];
    std::snprintf(text, sizeof(text), "MousePoint (%d, %d) %d %d %d", x, y, b0, b1, b2);
    return text;
}

class TitleSceneTest : public HarnessTest {
protected:
    virtual bool WithJoystick() const { return false; }

    void SetUp() override {
        HarnessTest::SetUp();
        if (HasFatalFailure()) return;
        if (WithJoystick()) {
            ASSERT_GE(joystick = TestAttachJoystick(6, 15, 1), 0) << SDL_GetError();
        }
        TestPumpEvents();
        ASSERT_TRUE(InitDirectInput(GetModuleHandleA(nullptr)));
        ASSERT_TRUE(InitKeyboard(HarnessWindow()));
        EXPECT_EQ(InitJoystick(HarnessWindow()), WithJoystick());
        ASSERT_TRUE(InitMouse(HarnessWindow()));
        TestRecordTextOut(true);
    }
    void TearDown() override {
        TestRecordTextOut(false);
        HarnessTest::TearDown();  // the window's destruction releases the input too
        if (joystick >= 0) TestDetachJoystick(joystick);
    }

    // One frame as the frame driver runs the scene: set-up on entry, the scene, the flip.
    TestFrame Frame() {
        TestPumpEvents();
        if (app.scene == SCENE_TITLE_INIT) TitleInit();
        TitleFrame();
        FlipPage();
        return HarnessLastFrame();
    }
    // Line `line` of those a new frame draws, in drawing order.
    std::string FrameLine(size_t line) {
        TestTakeTextOut();
        Frame();
        std::vector<TestTextCall> calls = TestTakeTextOut();
        return line < calls.size() ? calls[line].text : "(not drawn)";
    }

    // The scene's picture composed from the bitmap surfaces: clear, keyed logo and prompt, the three lines in the
    // Mincho stand-in, the keyed cursor on top. With no lines, the logo and prompt alone.
    static Image Expected(const std::vector<std::string>& lines, int cursorX = 10, int cursorY = 10) {
        Image picture{640, 480, std::vector<BYTE>(640 * 480, kTitleClearIndex)};
        const Image title = SurfaceImage(app.titleSurface), chara = SurfaceImage(app.charaSurface);
        Paste(picture, 0, 100, title, {0, 0, 640, 100}, kKeyGreen, kKeyGreen);
        Paste(picture, 0, 350, title, {0, 100, 640, 135}, kKeyGreen, kKeyGreen);
        if (lines.empty()) return picture;
        LPDIRECTDRAWSURFACE7 canvas = HarnessMakeSurface(640, 480, picture.pixels);
        HDC dc = nullptr;
        if (canvas == nullptr || canvas->GetDC(&dc) != DD_OK) return {};
        LOGFONTA logFont = {};
        logFont.lfHeight = 10;
        logFont.lfWeight = FW_NORMAL;
        logFont.lfCharSet = SHIFTJIS_CHARSET;
        std::strcpy(logFont.lfFaceName, kMincho);
        HFONT font = CreateFontIndirectA(&logFont);
        HGDIOBJ previous = SelectObject(dc, font);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        TestRecordTextOut(false);
        for (int i = 0; i < 3; ++i) TextOutA(dc, 200, 50 + 10 * i, lines[i].data(), int(lines[i].size()));
        TestRecordTextOut(true);
        SelectObject(dc, previous);
        canvas->ReleaseDC(dc);
        DeleteObject(font);
        picture.pixels = HarnessReadPixels(canvas);
        canvas->Release();
        Paste(picture, cursorX, cursorY, chara, {400, 0, 420, 20}, chara.at(0, 0), chara.at(0, 0));
        return picture;
    }
    static std::string Matches(const std::vector<std::string>& lines, const TestFrame& frame, int x = 10, int y = 10) {
        return Difference(Expected(lines, x, y), frame);
    }

    int joystick = -1;
};

class TitleSceneJoystickTest : public TitleSceneTest {
protected:
    bool WithJoystick() const override { return true; }
};

}  // namespace

TEST_F(TitleSceneTest, FirstFrameIsClearLogoPromptThreeLinesAndCursor) {
    TestFrame frame = Frame();
    EXPECT_EQ(app.scene, SCENE_TITLE);
    std::vector<TestTextCall> calls = TestTakeTextOut();
    ASSERT_EQ(calls.size(), 3u);
    const std::vector<std::string> texts = {kKeyPrefix, kNoStick, MouseLine(10, 10)};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(std::tie(calls[i].text, calls[i].x, calls[i].y, calls[i].colour, calls[i].bkMode, calls[i].height),
                  std::make_tuple(texts[i], 200, 50 + 10 * i, COLORREF(RGB(255, 255, 255)), TRANSPARENT, 10));
        EXPECT_EQ(calls[i].face, kMincho);
    }
    // The title's letters are where the logo and prompt go, the key green nowhere.
    EXPECT_EQ(Matches(texts, frame), "");
    for (BYTE value : frame.indices) ASSERT_NE(value, kKeyGreen);
}

TEST_F(TitleSceneTest, ArrowsAreReportedLeftRightUpDownWhateverTheOrderPressedAndSpaceStartsTheWalk) {
    Frame();
    for (SDL_Scancode key : {SDL_SCANCODE_DOWN, SDL_SCANCODE_UP, SDL_SCANCODE_RIGHT, SDL_SCANCODE_LEFT}) {
        TestPushKey(key, true);
        TestPumpEvents();
    }
    const std::string all = std::string(kKeyPrefix) + "Left Right Up Down";
    EXPECT_EQ(FrameLine(0), all);
    EXPECT_EQ(Matches({all, kNoStick, MouseLine(10, 10)}, HarnessLastFrame()), "");
    TestPushKey(SDL_SCANCODE_DOWN, false);
    TestPushKey(SDL_SCANCODE_UP, false);
    EXPECT_EQ(FrameLine(0), std::string(kKeyPrefix) + "Left Right ");
    TestPushKey(SDL_SCANCODE_LEFT, false);
    TestPushKey(SDL_SCANCODE_DOWN, true);
    Frame();
    // Space asks for the walk once the frame it is seen in is complete.
    TestPushKey(SDL_SCANCODE_SPACE, true);
    const std::string rightDown = std::string(kKeyPrefix) + "Right Down";
    EXPECT_EQ(Matches({rightDown, kNoStick, MouseLine(10, 10)}, Frame()), "");
    EXPECT_EQ(app.scene, SCENE_GAME_INIT);
}

TEST_F(TitleSceneJoystickTest, StickDirectionsInKeyboardOrderNothingAtRestAndButtonEightStartsTheWalk) {
    EXPECT_EQ(FrameLine(1), kJoyPrefix);
    TestSetJoystickAxis(joystick, 0, -32768);
    TestSetJoystickAxis(joystick, 1, -32768);
    EXPECT_EQ(FrameLine(1), std::string(kJoyPrefix) + "Left Up ");
    TestSetJoystickAxis(joystick, 0, 32767);
    TestSetJoystickAxis(joystick, 1, 32767);
    EXPECT_EQ(Matches({kKeyPrefix, std::string(kJoyPrefix) + "Right Down", MouseLine(10, 10)}, Frame()), "");
    TestSetJoystickAxis(joystick, 0, 0);
    TestSetJoystickAxis(joystick, 1, 0);
    // Only button eight of the ten starts the walk, once its frame is complete.
    for (int button : {0, 1, 2, 3, 4, 5, 6, 7, 9}) {
        TestSetJoystickButton(joystick, button, true);
        Frame();
        EXPECT_EQ(app.scene, SCENE_TITLE) << "button " << button;
        TestSetJoystickButton(joystick, button, false);
    }
    TestSetJoystickButton(joystick, 8, true);
    EXPECT_EQ(Matches({kKeyPrefix, kJoyPrefix, MouseLine(10, 10)}, Frame()), "");
    EXPECT_EQ(app.scene, SCENE_GAME_INIT);
}

TEST_F(TitleSceneTest, CursorMovesTwoPixelsPerCountInsideItsBoundsOverTheTextAndReportsTheButtons) {
    TestPushMouseMotion(3, 1);
    EXPECT_EQ(Matches({kKeyPrefix, kNoStick, MouseLine(16, 12)}, Frame(), 16, 12), "");
    // Clamped inside its bounds; counts that would wrap a 32-bit position once doubled still end at the edge
    // they push towards.
    TestPushMouseMotion(-500, -500);
    EXPECT_EQ(FrameLine(2), MouseLine(10, 10));
    TestPushMouseMotion(5000, 5000);
    EXPECT_EQ(Matches({kKeyPrefix, kNoStick, MouseLine(610, 450)}, Frame(), 610, 450), "");
    TestPushMouseMotion(1 << 30, 1 << 30);
    EXPECT_EQ(FrameLine(2), MouseLine(610, 450));
    TestPushMouseMotion(-(1 << 30), -(1 << 30));
    TestPushMouseMotion(-(1 << 30), -(1 << 30));
    EXPECT_EQ(FrameLine(2), MouseLine(10, 10));
    TestPushMouseButton(SDL_BUTTON_LEFT, true);
    TestPushMouseButton(SDL_BUTTON_MIDDLE, true);
    EXPECT_EQ(FrameLine(2), MouseLine(10, 10, 1, 0, 1));
    TestPushMouseButton(SDL_BUTTON_LEFT, false);
    TestPushMouseButton(SDL_BUTTON_MIDDLE, false);
    TestPushMouseButton(SDL_BUTTON_RIGHT, true);
    EXPECT_EQ(FrameLine(2), MouseLine(10, 10, 0, 1, 0));
    // A new entry into the scene puts the cursor back.
    TestPushMouseButton(SDL_BUTTON_RIGHT, false);
    TestPushMouseMotion(5, 5);
    Frame();
    app.scene = SCENE_TITLE_INIT;
    EXPECT_EQ(FrameLine(2), MouseLine(10, 10));
    // A cursor in an index of its own, so it can be told from the white text beneath it.
    std::vector<BYTE> chara = HarnessReadPixels(app.charaSurface);
    for (int y = 0; y < 20; ++y) std::memset(&chara[size_t(y) * 640 + 400], 77, 20);
    ASSERT_TRUE(HarnessWritePixels(app.charaSurface, chara));
    TestPushMouseMotion(95, 25);  // (10, 10) + 2 x (95, 25) = (200, 60), on the joystick and mouse lines
    TestFrame over = Frame();
    for (int y = 60; y < 80; ++y)
        for (int x = 200; x < 220; ++x) ASSERT_EQ(over.at(x, y), 77) << x << "," << y;
    EXPECT_EQ(Matches({kKeyPrefix, kNoStick, MouseLine(200, 60)}, over, 200, 60), "");
}

TEST_F(TitleSceneTest, AFailedLogoOrPromptBlitLeavesNoLinesNoCursorAndIgnoresSpace) {
    Frame();
    TestPushKey(SDL_SCANCODE_SPACE, true);
    TestPushMouseMotion(10, 0);
    ASSERT_TRUE(TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::BltFast, DDERR_GENERIC));
    EXPECT_EQ(FrameLine(0), "(not drawn)");
    EXPECT_EQ(HarnessLastFrame().indices, std::vector<BYTE>(640 * 480, kTitleClearIndex));
    EXPECT_EQ(app.scene, SCENE_TITLE);
    EXPECT_EQ(app.cursorX, 10);

    // A prompt rectangle the title cannot give makes the second blit fail: the logo alone.
    RECT prompt = app.promptRect;
    app.promptRect = {0, 470, 640, 505};
    Image logoOnly = Expected({});
    std::fill(logoOnly.pixels.begin() + 350 * 640, logoOnly.pixels.begin() + 385 * 640, kTitleClearIndex);
    EXPECT_EQ(FrameLine(0), "(not drawn)");
    EXPECT_EQ(Difference(logoOnly, HarnessLastFrame()), "");
    EXPECT_EQ(app.scene, SCENE_TITLE);

    app.promptRect = prompt;
    EXPECT_EQ(FrameLine(2), MouseLine(30, 10));
    EXPECT_EQ(app.scene, SCENE_GAME_INIT);
}
