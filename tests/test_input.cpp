// The program's input set-up, teardown and per-frame reads, against the DirectInput layer on real SDL
// events and virtual joysticks.
#include "tests/input_fixture.h"

#include <cstring>

namespace {

class ProgramInputTest : public InputTest {
protected:
    // Start-up's input steps in start-up's order; the joystick's result is returned, the others must pass.
    bool StartInput() {
        EXPECT_TRUE(InitDirectInput(GetModuleHandleA(nullptr)));
        EXPECT_TRUE(InitKeyboard(window));
        bool joystick = InitJoystick(window);
        EXPECT_TRUE(InitMouse(window));
        return joystick;
    }

    static int JoystickCalls() {
        int total = 0;
        for (int op = 0; op < int(TestInputOp::Count); ++op) {
            total += TestInputCalls(TestInputObject::Joystick, TestInputOp(op));
        }
        return total;
    }

    static int Acquires(TestInputObject object) { return TestInputCalls(object, TestInputOp::Acquire); }

    static void PushMotion(int dx, int dy) {
        SDL_Event event = {};
        event.type = SDL_MOUSEMOTION;
        event.motion.xrel = dx;
        event.motion.yrel = dy;
        SDL_PushEvent(&event);
    }

    static void ReadAll() {
        ReadKeyboard();
        ReadMouse();
        if (app.joystickDevice) ReadJoystick();
    }
};

TEST_F(ProgramInputTest, WithoutJoystickStartUpGoesOnAndNoJoystickOperationIsMade) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    EXPECT_FALSE(StartInput());
    EXPECT_EQ(app.joystickDevice, nullptr);
    EXPECT_EQ(JoystickCalls(), 0);
    EXPECT_EQ(TestInputCalls(TestInputObject::DirectInput, TestInputOp::EnumDevices), 1);
    EXPECT_TRUE(TestMouseCaptured());

    Key(SDL_SCANCODE_SPACE, true);
    PushMotion(4, -3);
    Pump();
    ReadKeyboard();
    ReadMouse();
    EXPECT_EQ(app.keys[DIK_SPACE], 0x80);
    EXPECT_EQ(app.mouseState.lX, 4);
    EXPECT_EQ(app.mouseState.lY, -3);
    ReadMouse();
    EXPECT_EQ(app.mouseState.lX, 0);  // motion is counted once
}

TEST_F(ProgramInputTest, FirstJoystickThatCanBeCreatedIsUsed) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int first = AttachJoystick();
    int second = AttachJoystick();
    TestMakeJoystickUncreatable(0, DIERR_GENERIC);
    EXPECT_TRUE(StartInput());
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::EnumCallback), 2);
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::Create), 2);
    TestSetJoystickButton(first, 8, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0u);
    TestSetJoystickButton(second, 8, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, JOY_BUTTON8);
}

TEST_F(ProgramInputTest, OnlyTheFirstOfTwoCreatableJoysticksIsCreated) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int first = AttachJoystick();
    AttachJoystick();
    EXPECT_TRUE(StartInput());
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::EnumCallback), 1);
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::Create), 1);
    EXPECT_EQ(TestGetLiveObjects().inputDevices, 3);
    TestSetJoystickButton(first, 0, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, JOY_BUTTON0);
}

TEST_F(ProgramInputTest, JoystickBitsComeFromTheAxisSignsAndTenButtons) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    auto bitsAt = [&](Sint16 x, Sint16 y) {
        TestSetJoystickAxis(pad, 0, x);
        TestSetJoystickAxis(pad, 1, y);
        ReadJoystick();
        return app.joyBits;
    };
    EXPECT_EQ(bitsAt(0, 0), 0u);
    EXPECT_EQ(bitsAt(8191, -8192), 0u);  // the edges of the dead zone
    EXPECT_EQ(bitsAt(8192, -8193), JOY_RIGHT | JOY_UP);
    EXPECT_EQ(bitsAt(-32768, -32768), 0x0005u);
    EXPECT_EQ(bitsAt(32767, 32767), JOY_DOWN | JOY_RIGHT);
    bitsAt(0, 0);

    for (int b = 10; b < 15; ++b) TestSetJoystickButton(pad, b, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0u);
    TestSetJoystickButton(pad, 8, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0x1000u);
    for (int b = 0; b < 10; ++b) TestSetJoystickButton(pad, b, true);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0x3FF0u);
}

TEST_F(ProgramInputTest, JoystickRefusingRangeIsUsedWithItsOwnRange) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    AttachJoystick();
    TestRefuseInputProperty(TestInputObject::Joystick, DIPROP_RANGE, DIERR_UNSUPPORTED);
    EXPECT_TRUE(StartInput());
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::SetProperty), 4);
    ReadJoystick();
    // At rest the stick reads the centre of 0..65535, which the program takes as pushed down and right.
    EXPECT_EQ(app.joyBits, JOY_DOWN | JOY_RIGHT);
}

TEST_F(ProgramInputTest, JoystickRefusingDeadZoneIsUsedWithoutOne) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    TestRefuseInputProperty(TestInputObject::Joystick, DIPROP_DEADZONE, DIERR_UNSUPPORTED);
    EXPECT_TRUE(StartInput());
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0u);
    TestSetJoystickAxis(pad, 0, 100);
    ReadJoystick();
    EXPECT_EQ(app.joyBits, JOY_RIGHT);
}

TEST_F(ProgramInputTest, RefusedSetUpStepsFailAndKeepWhatWasMade) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    AttachJoystick();
    TestRefuseInputProperty(TestInputObject::Mouse, DIPROP_AXISMODE, DIERR_UNSUPPORTED);
    TestFailInputOp(TestInputObject::Keyboard, TestInputOp::SetCooperativeLevel, DIERR_INVALIDPARAM);
    TestFailInputOp(TestInputObject::Joystick, TestInputOp::SetDataFormat, DIERR_INVALIDPARAM);
    ASSERT_TRUE(InitDirectInput(GetModuleHandleA(nullptr)));
    EXPECT_FALSE(InitKeyboard(window));
    EXPECT_FALSE(InitJoystick(window));
    EXPECT_FALSE(InitMouse(window));
    EXPECT_NE(app.keyboardDevice, nullptr);
    EXPECT_NE(app.joystickDevice, nullptr);
    EXPECT_NE(app.mouseDevice, nullptr);
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::SetProperty), 0);
    for (auto object : {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick}) {
        EXPECT_EQ(Acquires(object), 0);
    }
    // The scenes still read the joystick that failed its set-up, and get nothing from it.
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0u);
}

TEST_F(ProgramInputTest, LostInputIsAcquiredInTheSameCallAndReadAfresh) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    Key(SDL_SCANCODE_LEFT, true);
    MouseButton(SDL_BUTTON_LEFT, true);
    TestSetJoystickButton(pad, 2, true);
    Pump();
    ReadAll();
    ASSERT_EQ(app.keys[DIK_LEFT], 0x80);
    ASSERT_EQ(app.joyBits, JOY_BUTTON2);
    TestResetInputCalls();

    for (auto object : {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick}) {
        TestFailInputOp(object, TestInputOp::GetDeviceState, DIERR_INPUTLOST);
    }
    ReadAll();
    for (auto object : {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick}) {
        EXPECT_EQ(Acquires(object), 1);
    }
    EXPECT_EQ(app.keys[DIK_LEFT], 0);
    EXPECT_EQ(app.mouseState.rgbButtons[0], 0);
    EXPECT_EQ(app.joyBits, 0u);
    ReadAll();
    EXPECT_EQ(app.keys[DIK_LEFT], 0x80);
    EXPECT_EQ(app.mouseState.rgbButtons[0], 0x80);
    EXPECT_EQ(app.joyBits, JOY_BUTTON2);
    EXPECT_EQ(Acquires(TestInputObject::Keyboard), 1);
}

TEST_F(ProgramInputTest, FocusLossReleasesHeldKeysUntilTheWindowIsBackAndReacquired) {
    StartInput();
    Key(SDL_SCANCODE_RIGHT, true);
    Pump();
    ReadKeyboard();
    ASSERT_EQ(app.keys[DIK_RIGHT], 0x80);

    LoseFocus();
    TestResetInputCalls();
    ReadKeyboard();
    ReadKeyboard();
    EXPECT_EQ(Acquires(TestInputObject::Keyboard), 2);  // tried on every lost read, refused in the background
    EXPECT_EQ(app.keys[DIK_RIGHT], 0);

    GainFocus();
    ReadKeyboard();
    EXPECT_EQ(Acquires(TestInputObject::Keyboard), 3);
    Key(SDL_SCANCODE_UP, true);
    Pump();
    ReadKeyboard();
    EXPECT_EQ(app.keys[DIK_RIGHT], 0);
    EXPECT_EQ(app.keys[DIK_UP], 0x80);
    EXPECT_EQ(Acquires(TestInputObject::Keyboard), 3);
}

TEST_F(ProgramInputTest, FailedReadsLeaveNothingHeldAndNoMotion) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    Key(SDL_SCANCODE_LEFT, true);
    PushMotion(5, 7);
    MouseButton(SDL_BUTTON_RIGHT, true);
    TestSetJoystickAxis(pad, 0, -32768);
    Pump();
    ReadAll();
    ASSERT_EQ(app.keys[DIK_LEFT], 0x80);
    ASSERT_EQ(app.mouseState.lX, 5);
    ASSERT_EQ(app.joyBits, JOY_LEFT);

    PushMotion(2, 2);
    Pump();
    TestResetInputCalls();
    for (auto object : {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick}) {
        TestFailInputOp(object, TestInputOp::GetDeviceState, DIERR_GENERIC);
    }
    ReadAll();
    BYTE noKeys[256] = {};
    EXPECT_EQ(std::memcmp(app.keys, noKeys, sizeof noKeys), 0);
    DIMOUSESTATE noMouse = {};
    EXPECT_EQ(std::memcmp(&app.mouseState, &noMouse, sizeof noMouse), 0);
    EXPECT_EQ(app.joyBits, 0u);
    for (auto object : {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick}) {
        EXPECT_EQ(Acquires(object), 0);
    }
    ReadMouse();
    EXPECT_EQ(app.mouseState.lX, 2);
    EXPECT_EQ(app.mouseState.rgbButtons[1], 0x80);
}

TEST_F(ProgramInputTest, TapsAndClicksBetweenFramesAreSeen) {
    StartInput();
    Key(SDL_SCANCODE_SPACE, true);
    Key(SDL_SCANCODE_SPACE, false);
    MouseButton(SDL_BUTTON_MIDDLE, true);
    MouseButton(SDL_BUTTON_MIDDLE, false);
    Pump();
    ReadKeyboard();
    ReadMouse();
    EXPECT_EQ(app.keys[DIK_SPACE], 0x80);
    EXPECT_EQ(app.mouseState.rgbButtons[2], 0x80);
    ReadKeyboard();
    ReadMouse();
    EXPECT_EQ(app.keys[DIK_SPACE], 0);
    EXPECT_EQ(app.mouseState.rgbButtons[2], 0);
}

TEST_F(ProgramInputTest, DetachedJoystickReadsNothingAndIsTriedAgainEachFrame) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    ASSERT_TRUE(StartInput());
    TestSetJoystickButton(pad, 8, true);
    TestDetachJoystick(pad);
    joysticks.clear();
    Pump();
    TestResetInputCalls();
    ReadJoystick();
    ReadJoystick();
    EXPECT_EQ(app.joyBits, 0u);
    EXPECT_EQ(Acquires(TestInputObject::Joystick), 2);
    EXPECT_NE(app.joystickDevice, nullptr);
}

TEST_F(ProgramInputTest, ReleaseGoesKeyboardMouseJoystickThenDirectInputAndOnlyOnce) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    ReleaseInput();
    EXPECT_TRUE(TestTakeReleaseLog().empty());

    AttachJoystick();
    ASSERT_TRUE(StartInput());
    ReleaseInput();
    EXPECT_EQ(TestTakeReleaseLog(), (std::vector<std::string>{"keyboard", "mouse", "joystick", "DirectInput"}));
    EXPECT_EQ(app.directInput, nullptr);
    EXPECT_EQ(app.keyboardDevice, nullptr);
    EXPECT_EQ(app.mouseDevice, nullptr);
    EXPECT_EQ(app.joystickDevice, nullptr);
    EXPECT_EQ(TestGetLiveObjects().inputDevices, 0);
    EXPECT_EQ(TestGetLiveObjects().directInputs, 0);
    EXPECT_FALSE(TestMouseCaptured());
    ReleaseInput();
    EXPECT_TRUE(TestTakeReleaseLog().empty());
}

}  // namespace
