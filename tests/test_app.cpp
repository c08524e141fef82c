// The application core in the running program: start-up order and its failures, the frame-rate counter, the
// main loop's pause while minimised, the close keys and the teardown, the hidden pointer.
#include "tests/program_harness.h"

#include "input/input.h"

#include "platform/src/platform.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace {

using Lines = std::vector<std::string>;

// Takes the program into the walk scene with no key held, so the sprite stands at 386 and every picture is
// known; `each` sees the walk scene's frames, counted from 1, with a painter for the expected picture.
int RunStandingWalk(const std::function<bool(int, const ProgramFrame&, const WalkPainter&)>& each) {
    std::unique_ptr<WalkPainter> painter;
    return RunProgram([&](const ProgramFrame& frame) {
        if (frame.number == 1) PressKey(SDL_SCANCODE_SPACE);
        if (frame.number == 2) ReleaseKey(SDL_SCANCODE_SPACE);
        if (frame.number < 3) return true;
        if (!painter) painter = std::make_unique<WalkPainter>();
        return each(frame.number - 2, frame, *painter);
    });
}

// The first program message of that kind, entered (returned false) or left.
std::vector<ProgramMessage>::const_iterator Find(const std::vector<ProgramMessage>& messages, UINT message,
                                                 bool returned = false) {
    return std::find_if(messages.begin(), messages.end(),
                        [&](const auto& m) { return m.message == message && m.returned == returned; });
}

long Entered(UINT message) {
    std::vector<ProgramMessage> messages = ProgramMessages();
    return std::count_if(messages.begin(), messages.end(),
                         [&](const auto& m) { return m.message == message && !m.returned; });
}

bool StopAfter(int frames, const ProgramFrame& frame) { return frame.number < frames; }

// No stick, or one that cannot be created, is one debug line after the eleven set-up lines; an attached stick
// writes none. Losing the focus at frame 2 without minimising keeps the program active and drawing.
enum class Stick { None, Attached, Uncreatable };
class StartupWithStick : public ::testing::TestWithParam<Stick> {};

TEST_P(StartupWithStick, TheFirstFrameSetsUpTheInputTestSceneAndAMissingStickIsOneDebugLine) {
    const Stick stick = GetParam();
    const int pad = stick == Stick::None ? -1 : TestAttachJoystick(2, 10, 0);
    ASSERT_TRUE(stick == Stick::None || pad >= 0) << SDL_GetError();
    if (stick == Stick::Uncreatable) TestMakeJoystickUncreatable(0, E_FAIL);
    std::vector<ProgramFrame> frames;
    int status = RunProgram([&](const ProgramFrame& frame) {
        EXPECT_EQ(app.active, 1) << "frame " << frame.number;
        if (frame.number == 2) TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
        frames.push_back(frame);
        return StopAfter(4, frame);
    });
    EXPECT_EQ(status, 0);
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].sceneAfter, SCENE_TITLE);
    EXPECT_TRUE(frames[0].presented);
    EXPECT_TRUE(frames[3].presented) << "still drawn after the focus went";
    EXPECT_EQ(frames[0].picture.at(639, 479), kTitleClearIndex);
    EXPECT_EQ(frames[0].picture.at(320, 250), kTitleClearIndex);
    Lines lines = ProgramDebugLines();
    ASSERT_EQ(lines.size(), stick == Stick::Attached ? 11u : 12u);
    EXPECT_EQ(lines[10], "DDLoadBitmap Chara OK\n");
    EXPECT_EQ(lines.back(), stick == Stick::Attached ? lines[10] : "Joypad Not Found\n");
    EXPECT_TRUE(ProgramMessageBoxes().empty());
    EXPECT_EQ(HarnessLeaks(), "");
    if (pad >= 0) TestDetachJoystick(pad);
}

INSTANTIATE_TEST_SUITE_P(NoneAttachedOrUncreatable, StartupWithStick,
                         ::testing::Values(Stick::None, Stick::Attached, Stick::Uncreatable));

TEST(Startup, AWindowThatCannotBeMadeEndsWithStatusOneAndNothingShown) {
    WNDCLASSA taken = {};
    taken.lpfnWndProc = DefWindowProcA;
    taken.lpszClassName = "DITessary";
    ASSERT_NE(RegisterClassA(&taken), 0);
    EXPECT_EQ(RunProgram([](const ProgramFrame&) { return false; }), 1);
    EXPECT_EQ(ProgramFrames(), 0);
    EXPECT_TRUE(ProgramMessageBoxes().empty());
    EXPECT_TRUE(ProgramDebugLines().empty());
    EXPECT_EQ(HarnessLeaks(), "");
}

struct InputFailure {
    const char* name;
    TestInputObject object;
    int devicesAliveAfter;  // devices made before the failing one, left for the process end
};

void PrintTo(const InputFailure& failure, std::ostream* out) { *out << failure.name; }

class StartupInputFailure : public ::testing::TestWithParam<InputFailure> {};

TEST_P(StartupInputFailure, EndsWithStatusOneWithoutAMessageAndLeavesTheRestToTheProcessEnd) {
    TestFailInputOp(GetParam().object, TestInputOp::Create, E_FAIL, 1);
    EXPECT_EQ(RunProgram([](const ProgramFrame&) { return false; }), 1);
    EXPECT_EQ(ProgramFrames(), 0);
    EXPECT_TRUE(ProgramMessageBoxes().empty());
    TestLiveObjects live = TestGetLiveObjects();
    EXPECT_EQ((std::vector<int>{live.directDraws, live.windows, live.inputDevices}),
              (std::vector<int>{1, 1, GetParam().devicesAliveAfter}))
        << "WinMain returns without releasing";
    ProgramCleanUp();
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(EachDevice, StartupInputFailure,
                         ::testing::Values(InputFailure{"DirectInput", TestInputObject::DirectInput, 0},
                                           InputFailure{"Keyboard", TestInputObject::Keyboard, 0},
                                           InputFailure{"Mouse", TestInputObject::Mouse, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

class CloseKey : public ::testing::TestWithParam<SDL_Scancode> {};

TEST_P(CloseKey, ClosesWithStatusZeroReleasingInputThenDisplayInsideTheDestroy) {
    int status = RunProgram([](const ProgramFrame& frame) {
        if (frame.number == 3) TapKey(GetParam());
        EXPECT_LE(frame.number, 3) << "no frame after the close key";
        return true;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ProgramFrames(), 3);

    std::vector<ProgramMessage> messages = ProgramMessages();
    auto close = Find(messages, WM_CLOSE), entered = Find(messages, WM_DESTROY),
         left = Find(messages, WM_DESTROY, true);
    ASSERT_NE(close, messages.end());
    ASSERT_NE(entered, messages.end());
    ASSERT_NE(left, messages.end());
    EXPECT_LT(close, entered) << "the close request comes first";
    const TestLiveObjects &in = entered->live, &out = left->live;
    EXPECT_EQ((std::vector<int>{in.directInputs, in.inputDevices, in.directDraws, in.surfaces}),
              (std::vector<int>{1, 2, 1, 6}));
    EXPECT_EQ(out.directInputs + out.inputDevices + out.directDraws + out.surfaces + out.palettes, 0);
    EXPECT_EQ(TestTakeReleaseLog(), (Lines{"keyboard", "mouse", "DirectInput", "surface", "surface", "surface",
                                           "surface", "surface", "palette", "DirectDraw"}))
        << "input first, then the display in its own order";
    EXPECT_EQ(HarnessLeaks(), "");
}

INSTANTIATE_TEST_SUITE_P(EscapeAndF12, CloseKey, ::testing::Values(SDL_SCANCODE_ESCAPE, SDL_SCANCODE_F12),
                         [](const auto& info) { return std::string(SDL_GetScancodeName(info.param)); });

TEST(Pointer, IsNeverShownOverTheWindow) {
    bool everShown = false;
    RunProgram([&](const ProgramFrame& frame) {
        everShown = everShown || TestPointerShown() || SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
        TestPushMouseMotion(5, 3);
        return StopAfter(5, frame);
    });
    EXPECT_FALSE(everShown);
    EXPECT_GE(Entered(WM_SETCURSOR), 5);
}

TEST(FrameRate, EmptyUntilTheFirstUpdateThenTheFramesSinceTheLastOverTheScene) {
    const std::map<int, DWORD> advance{{4, 999}, {5, 1}, {9, 1000}, {10, 1500}};
    const std::map<int, const char*> counter{{6, "0006 FPS"}, {10, "0004 FPS"}, {11, "12345 FPS"}};
    std::vector<std::string> texts;
    RunStandingWalk([&](int walkFrame, const ProgramFrame& frame, const WalkPainter& painter) {
        texts.push_back(app.fpsText);
        int number = frame.number;
        if (number <= 5 || counter.count(number)) {
            Image expected = counter.count(number) ? WithCounter(painter.At(386), counter.at(number)) : painter.At(386);
            EXPECT_EQ(Difference(expected, frame.picture), "") << "frame " << number;
        }
        if (number == 10) app.frameCount = 12344;
        if (advance.count(number)) TestAdvanceClock(advance.at(number));
        return walkFrame < 9;
    });
    EXPECT_EQ(texts, (Lines{"", "", "", "0006 FPS", "0006 FPS", "0006 FPS", "0006 FPS", "0004 FPS", "12345 FPS"}));
}

TEST(FrameRate, TheDifferenceIsTakenAcrossTheClockWrapping) {
    std::vector<std::string> texts;
    RunProgram(
        [&](const ProgramFrame& frame) {
            texts.push_back(app.fpsText);
            if (frame.number <= 2) TestAdvanceClock(frame.number == 1 ? 999 : 1);
            return StopAfter(3, frame);
        },
        0xFFFFFE0Cu);
    EXPECT_EQ(texts, (Lines{"", "", "0003 FPS"}));
}

TEST(FrameRate, AMultimediaTimeBelowTheStartValueUpdatesInTheFirstFrame) {
    TestSetMultimediaClockSkew(DWORD(-1));
    std::string first;
    RunProgram([&](const ProgramFrame&) {
        first = app.fpsText;
        return false;
    });
    EXPECT_EQ(first, "0001 FPS");
}

TEST(FrameRate, AnUnknownSceneGivesFramesWithOnlyTheCounter) {
    std::vector<TestFrame> pictures;
    std::vector<std::string> differences;
    int blits = -1;
    RunStandingWalk([&](int walkFrame, const ProgramFrame& frame, const WalkPainter&) {
        pictures.push_back(frame.picture);
        if (walkFrame == 2) {
            app.scene = 99;
            TestAdvanceClock(1000);
            TestResetSurfaceCallCounts();
        }
        if (walkFrame == 3) {
            blits = TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast);
            EXPECT_EQ(frame.sceneAfter, 99);
        }
        // The flips swap the pages, so the back buffer holds the picture of the frame before last.
        if (walkFrame >= 3) {
            Image left{640, 480, pictures[size_t(walkFrame) - 3].indices};
            differences.push_back(Difference(WithCounter(left, "0005 FPS"), frame.picture));
        }
        return walkFrame < 4;
    });
    EXPECT_EQ(blits, 8) << "the eight glyphs of 0005 FPS and nothing else";
    EXPECT_EQ(differences, (Lines{"", ""}));
}

TEST(MainLoop, MinimisingStopsFramesAndRestoringResumesWithTheSurfacesRepaired) {
    int framesWhenMinimised = -1, framesWhenRestored = -1, pumps = 0;
    bool lostWhileMinimised = false;
    std::vector<std::string> texts;
    RunStandingWalk([&](int walkFrame, const ProgramFrame& frame, const WalkPainter& painter) {
        texts.push_back(app.fpsText);
        if (walkFrame == 1) TestAdvanceClock(1000);
        if (walkFrame == 2) {
            framesWhenMinimised = ProgramFrames();
            TestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
            TestSetPumpHook([&] {
                if (++pumps != 200) return;
                EXPECT_EQ(app.active, 0);
                lostWhileMinimised = app.primarySurface->IsLost() == DDERR_SURFACELOST &&
                                     app.charaSurface->IsLost() == DDERR_SURFACELOST;
                framesWhenRestored = ProgramFrames();
                TestAdvanceClock(60000);
                TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
            });
        }
        if (walkFrame == 3) TestSetPumpHook(nullptr);
        if (walkFrame == 4) {
            EXPECT_EQ(Difference(WithCounter(painter.At(386), "0001 FPS"), frame.picture), "")
                << "complete again the frame after the repair";
        }
        return walkFrame < 4;
    });
    EXPECT_EQ(framesWhenRestored, framesWhenMinimised) << "no frame while minimised";
    EXPECT_GE(pumps, 200) << "the loop kept pumping";
    EXPECT_TRUE(lostWhileMinimised);
    EXPECT_EQ(texts, (Lines{"", "0004 FPS", "0001 FPS", "0001 FPS"}));
}

// Alt+Enter changes the presentation alone: the surfaces keep their pixels, no activation message arrives, and the
// devices stay acquired, so a key held in the window still reads. The dummy display is 1024 x 768 and all of it is
// usable, so the window is the picture's own size in the middle. With --window the program starts in the window.
class AltEnter : public ::testing::TestWithParam<bool> {};

TEST_P(AltEnter, SwitchesBetweenFullScreenAndAWindowWithoutLosingSurfacesFocusOrInput) {
    using Shape = std::tuple<bool, int, int, int, int>;
    const Shape full = {true, 0, 0, 1024, 768}, window = {false, 192, 144, 640, 480};
    WindowStartInWindow(GetParam());
    auto altEnter = [] {
        SDL_SetModState(KMOD_LALT);
        TestPushKey(SDL_SCANCODE_RETURN, true);
        TestPushKey(SDL_SCANCODE_RETURN, false);
        SDL_SetModState(KMOD_NONE);
    };
    auto shape = [] {
        int x = 0, y = 0, w = 0, h = 0;
        SDL_GetWindowPosition(SDL_GetWindowFromID(1), &x, &y);
        SDL_GetWindowSize(SDL_GetWindowFromID(1), &w, &h);
        return Shape{TestWindowFullScreen(), x, y, w, h};
    };
    std::vector<Shape> shapes;
    bool leftRead = false;
    int status = RunProgram([&](const ProgramFrame& frame) {
        if (frame.number == 1 || frame.number == 5) {
            shapes.push_back(shape());
            TestResetInputCalls();
            TestResetSurfaceCallCounts();
            altEnter();
        }
        if (frame.number == 3 || frame.number == 7) shapes.push_back(shape());
        if (frame.number == 3) PressKey(SDL_SCANCODE_LEFT);
        if (frame.number == 4) {
            leftRead = (app.keys[DIK_LEFT] & 0x80) != 0;
            ReleaseKey(SDL_SCANCODE_LEFT);
            const RECT to = TestLastPresentDestination(),
                       fills = TestPresentDestination(std::get<3>(shapes.back()), std::get<4>(shapes.back()));
            EXPECT_EQ(std::tie(to.left, to.top, to.right, to.bottom),
                      std::tie(fills.left, fills.top, fills.right, fills.bottom));
        }
        EXPECT_TRUE(frame.presented) << "frame " << frame.number;
        return frame.number < 7;
    });
    EXPECT_EQ(status, 0);
    const std::vector<Shape> expected =
        GetParam() ? std::vector<Shape>{window, full, full, window} : std::vector<Shape>{full, window, window, full};
    EXPECT_EQ(shapes, expected);
    EXPECT_TRUE(leftRead) << "the keyboard stayed acquired";
    EXPECT_EQ(Entered(WM_ACTIVATE), 1) << "only the activation when the window was first shown";
    EXPECT_EQ(TestInputCalls(TestInputObject::Keyboard, TestInputOp::Acquire), 0);
    EXPECT_EQ(TestInputCalls(TestInputObject::Mouse, TestInputOp::Acquire), 0);
}

INSTANTIATE_TEST_SUITE_P(Start, AltEnter, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InAWindow" : "FullScreen"; });

// The window's inside on usable desktops of several sizes, with the frames window managers put around it (IceWM's:
// 5 left, right and below, 24 above), none, and huge ones: the largest whole multiple of the picture that fits with
// its frame, at least the picture itself, else the picture's shape fitted; the framed window in the middle.
TEST(WindowShape, TheWindowIsTheLargestWholeMultipleTheUsableDesktopHoldsWithItsFrame) {
    const RECT none = {0, 0, 0, 0}, icewm = {5, 24, 5, 5};
    const struct {
        RECT usable, frame, inside;
    } cases[] = {
        {{0, 0, 1280, 998}, icewm, {320, 268, 960, 748}},  // IceWM on 1280 x 1024: twice the picture would not fit
        {{0, 0, 1280, 1024}, none, {0, 32, 1280, 992}},
        {{0, 0, 1920, 1054}, icewm, {320, 56, 1600, 1016}},  // IceWM on 1920 x 1080
        {{0, 0, 1920, 1080}, none, {320, 60, 1600, 1020}},
        {{0, 30, 1920, 1080}, none, {320, 75, 1600, 1035}},  // a panel above
        {{0, 0, 1366, 742}, icewm, {363, 140, 1003, 620}},
        {{0, 0, 1366, 768}, none, {363, 144, 1003, 624}},
        {{0, 0, 1024, 574}, icewm, {192, 56, 832, 536}},
        {{0, 0, 800, 574}, icewm, {80, 56, 720, 536}},
        {{0, 0, 800, 600}, {100, 100, 100, 100}, {133, 100, 666, 500}},  // fitted to the height left
        {{0, 0, 1920, 1080}, {200, 300, 200, 100}, {640, 400, 1280, 880}},
        {{0, 0, 640, 454}, icewm, {37, 24, 603, 449}},  // IceWM on 640 x 480: fitted below the picture's size
        {{0, 0, 600, 400}, none, {33, 0, 566, 400}},
        {{0, 0, 640, 800}, none, {0, 160, 640, 640}},
    };
    for (const auto& c : cases) {
        const RECT r = TestWindowedInside(c.usable, c.frame);
        EXPECT_EQ(std::make_tuple(r.left, r.top, r.right, r.bottom),
                  std::make_tuple(c.inside.left, c.inside.top, c.inside.right, c.inside.bottom))
            << c.usable.right - c.usable.left << "x" << c.usable.bottom - c.usable.top << " frame " << c.frame.left
            << "," << c.frame.top << "," << c.frame.right << "," << c.frame.bottom;
    }
}

}  // namespace
