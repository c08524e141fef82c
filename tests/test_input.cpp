// The program's input set-up, teardown and per-frame reads, against the DirectInput layer on real SDL
// events and virtual joysticks.
#include "tests/input_fixture.h"
#include "tests/program_harness.h"

#include <cstring>
#include <functional>
#include <string>

namespace {

using Obj = TestInputObject;
constexpr Obj kDevices[] = {Obj::Keyboard, Obj::Mouse, Obj::Joystick};

class ProgramInputTest : public InputTest {
protected:
    void SetUp() override {
        InputTest::SetUp();
        if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    }

    // Start-up's input steps in start-up's order; the joystick's result is returned, the others must pass.
    bool StartInput() {
        EXPECT_TRUE(InitDirectInput(GetModuleHandleA(nullptr)));
        EXPECT_TRUE(InitKeyboard(window));
        bool joystick = InitJoystick(window);
        EXPECT_TRUE(InitMouse(window));
        return joystick;
    }

    static int Acquires(Obj object) { return TestInputCalls(object, TestInputOp::Acquire); }
    static void FailReads(HRESULT error) {
        for (Obj object : kDevices) TestFailInputOp(object, TestInputOp::GetDeviceState, error);
    }
    static void ExpectAcquires(int count) {
        for (Obj object : kDevices) EXPECT_EQ(Acquires(object), count) << int(object);
    }
    static void ReadAll() {
        ReadKeyboard();
        ReadMouse();
        if (app.joystickDevice) ReadJoystick();
    }
    static DWORD JoyBits() {
        ReadJoystick();
        return app.joyBits;
    }
};

// With two attached, the first that can be created is the only one created, and the one read.
class JoystickChoiceTest : public ProgramInputTest, public ::testing::WithParamInterface<bool> {};

TEST_P(JoystickChoiceTest, FirstJoystickThatCanBeCreatedIsUsed) {
    const bool firstUncreatable = GetParam();
    const int pads[] = {AttachJoystick(), AttachJoystick()};
    if (firstUncreatable) TestMakeJoystickUncreatable(0, DIERR_GENERIC);
    EXPECT_TRUE(StartInput());
    const int tries = firstUncreatable ? 2 : 1;
    EXPECT_EQ(TestInputCalls(Obj::Joystick, TestInputOp::EnumCallback), tries);
    EXPECT_EQ(TestInputCalls(Obj::Joystick, TestInputOp::Create), tries);
    EXPECT_EQ(TestGetLiveObjects().inputDevices, 3);
    TestSetJoystickButton(pads[2 - tries], 8, true);
    EXPECT_EQ(JoyBits(), 0u);
    TestSetJoystickButton(pads[tries - 1], 8, true);
    EXPECT_EQ(JoyBits(), JOY_BUTTON8);
}
INSTANTIATE_TEST_SUITE_P(FirstUncreatable, JoystickChoiceTest, ::testing::Bool());

TEST_F(ProgramInputTest, JoystickBitsComeFromTheAxisSignsAndTenButtons) {
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    auto bitsAt = [&](Sint16 x, Sint16 y) {
        TestSetJoystickAxis(pad, 0, x);
        TestSetJoystickAxis(pad, 1, y);
        return JoyBits();
    };
    EXPECT_EQ(bitsAt(0, 0), 0u);
    EXPECT_EQ(bitsAt(8191, -8192), 0u);  // the edges of the dead zone
    EXPECT_EQ(bitsAt(8192, -8193), JOY_RIGHT | JOY_UP);
    EXPECT_EQ(bitsAt(-32768, -32768), 0x0005u);
    EXPECT_EQ(bitsAt(32767, 32767), JOY_DOWN | JOY_RIGHT);
    bitsAt(0, 0);

    for (int b = 10; b < 15; ++b) TestSetJoystickButton(pad, b, true);
    EXPECT_EQ(JoyBits(), 0u);
    TestSetJoystickButton(pad, 8, true);
    EXPECT_EQ(JoyBits(), 0x1000u);
    for (int b = 0; b < 10; ++b) TestSetJoystickButton(pad, b, true);
    EXPECT_EQ(JoyBits(), 0x3FF0u);
}

TEST_F(ProgramInputTest, JoystickRefusingRangeOrDeadZoneIsUsedAnyway) {
    int pad = AttachJoystick();
    TestRefuseInputProperty(Obj::Joystick, DIPROP_RANGE, DIERR_UNSUPPORTED);
    EXPECT_TRUE(StartInput());
    EXPECT_EQ(TestInputCalls(Obj::Joystick, TestInputOp::SetProperty), 4);
    // At rest the stick reads the centre of 0..65535, which the program takes as pushed down and right.
    EXPECT_EQ(JoyBits(), JOY_DOWN | JOY_RIGHT);

    ReleaseInput();
    TestRefuseInputProperty(Obj::Joystick, DIPROP_RANGE, DI_OK);
    TestRefuseInputProperty(Obj::Joystick, DIPROP_DEADZONE, DIERR_UNSUPPORTED);
    EXPECT_TRUE(StartInput());
    EXPECT_EQ(JoyBits(), 0u);
    TestSetJoystickAxis(pad, 0, 100);
    EXPECT_EQ(JoyBits(), JOY_RIGHT);
}

TEST_F(ProgramInputTest, RefusedSetUpStepsFailAndKeepWhatWasMade) {
    AttachJoystick();
    TestRefuseInputProperty(Obj::Mouse, DIPROP_AXISMODE, DIERR_UNSUPPORTED);
    TestFailInputOp(Obj::Keyboard, TestInputOp::SetCooperativeLevel, DIERR_INVALIDPARAM);
    TestFailInputOp(Obj::Joystick, TestInputOp::SetDataFormat, DIERR_INVALIDPARAM);
    ASSERT_TRUE(InitDirectInput(GetModuleHandleA(nullptr)));
    EXPECT_FALSE(InitKeyboard(window));
    EXPECT_FALSE(InitJoystick(window));
    EXPECT_FALSE(InitMouse(window));
    for (auto* device : {app.keyboardDevice, app.joystickDevice, app.mouseDevice}) EXPECT_NE(device, nullptr);
    EXPECT_EQ(TestInputCalls(Obj::Joystick, TestInputOp::SetProperty), 0);
    ExpectAcquires(0);
    // The scenes still read the joystick that failed its set-up, and get nothing from it.
    EXPECT_EQ(JoyBits(), 0u);
}

// A failed read leaves nothing held and no motion. A lost one is acquired again in the same call, fresh
// data following on the next read; any other failure is not, and the motion waits for a good read.
class FailedReadTest : public ProgramInputTest, public ::testing::WithParamInterface<HRESULT> {};

TEST_P(FailedReadTest, FailedReadsLeaveNothingHeldAndNoMotion) {
    const bool lost = GetParam() == DIERR_INPUTLOST;
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    Key(SDL_SCANCODE_LEFT, true);
    PushMotion(5, 7);
    MouseButton(SDL_BUTTON_RIGHT, true);
    TestSetJoystickAxis(pad, 0, -32768);
    TestSetJoystickButton(pad, 2, true);
    Pump();
    ReadAll();
    ASSERT_EQ(app.keys[DIK_LEFT], 0x80);
    ASSERT_EQ(app.mouseState.lX, 5);
    ASSERT_EQ(app.mouseState.lY, 7);
    ASSERT_EQ(app.joyBits, JOY_LEFT | JOY_BUTTON2);

    PushMotion(2, 2);
    Pump();
    TestResetInputCalls();
    FailReads(GetParam());
    ReadAll();
    BYTE noKeys[256] = {};
    EXPECT_EQ(std::memcmp(app.keys, noKeys, sizeof noKeys), 0);
    DIMOUSESTATE noMouse = {};
    EXPECT_EQ(std::memcmp(&app.mouseState, &noMouse, sizeof noMouse), 0);
    EXPECT_EQ(app.joyBits, 0u);
    ExpectAcquires(lost ? 1 : 0);

    ReadAll();
    EXPECT_EQ(app.keys[DIK_LEFT], 0x80);
    EXPECT_EQ(app.mouseState.rgbButtons[1], 0x80);
    EXPECT_EQ(app.joyBits, JOY_LEFT | JOY_BUTTON2);
    if (!lost) {
        EXPECT_EQ(app.mouseState.lX, 2);  // the motion waited for a good read
    }
    ExpectAcquires(lost ? 1 : 0);
}
INSTANTIATE_TEST_SUITE_P(Lost, FailedReadTest, ::testing::Values(DIERR_INPUTLOST));
INSTANTIATE_TEST_SUITE_P(Generic, FailedReadTest, ::testing::Values(DIERR_GENERIC));

TEST_F(ProgramInputTest, DetachedJoystickReadsNothingAndIsTriedAgainEachFrame) {
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    TestSetJoystickButton(pad, 8, true);
    DetachJoystick(pad);
    Pump();
    TestResetInputCalls();
    ReadJoystick();
    EXPECT_EQ(JoyBits(), 0u);
    EXPECT_EQ(Acquires(Obj::Joystick), 2);
    EXPECT_NE(app.joystickDevice, nullptr);
}

// The whole program while its stick is pulled out and plugged back in: the joystick line shows no direction while
// the stick is away and follows it again once it is back, with the program's range and dead zone; a pad of another
// make plugged in meanwhile, pushed right all along, is never read. Each row is one frame's line and what happens
// after that frame.
TEST(ReplugJoystick, TheLineIsBlankWhileTheStickIsAwayAndFollowsItAgainWhenItIsBack) {
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    int pad = TestAttachJoystick(2, 10, 0);
    int otherMake = -1;
    ASSERT_GE(pad, 0) << SDL_GetError();
    TestSetJoystickAxis(pad, 0, -32768);
    struct Row {
        const char* directions;
        std::function<void()> then;
    };
    const std::vector<Row> rows = {
        {"Left ", [&] { TestDetachJoystick(pad); }},
        {"",
         [&] {
             otherMake = TestAttachJoystickOfProduct(2, 10, 0, 0x4242);
             TestSetJoystickAxis(otherMake, 0, 32767);
         }},
        {"", [&] { pad = TestAttachJoystick(2, 10, 0); }},
        {"", [] {}},  // the frame that finds it back acquires it; a lost range would read "Right Down" from here on
        {"", [&] { TestSetJoystickAxis(pad, 1, -8193); }},
        {"Up ", [&] { TestSetJoystickAxis(pad, 1, -8191); }},  // back inside the dead zone
        {"", [] {}},
    };
    TestRecordTextOut(true);
    std::vector<std::string> lines;
    EXPECT_EQ(RunProgram([&](const ProgramFrame& frame) {
                  for (const TestTextCall& call : TestTakeTextOut()) {
                      if (call.y == 60) lines.push_back(call.text);
                  }
                  rows[size_t(frame.number) - 1].then();
                  return size_t(frame.number) < rows.size();
              }),
              0);
    TestRecordTextOut(false);
    ASSERT_GE(pad, 0);
    ASSERT_GE(otherMake, 0);
    ASSERT_EQ(lines.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(lines[i], std::string("Joypad \x81\x46") + rows[i].directions) << "frame " << i + 1;
    }
    TestDetachJoystick(pad);
    TestDetachJoystick(otherMake);
}

}  // namespace
