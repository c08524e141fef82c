// The DirectInput layer on its own: keys by DirectInput code, taps, mouse sums, joystick ranges,
// dead zones and buttons, and what foreground cooperation does to every read.
#include "tests/input_fixture.h"

#include <array>
#include <climits>
#include <cstring>

namespace {

constexpr DWORD kForeground = DISCL_NONEXCLUSIVE | DISCL_FOREGROUND;

class DirectInputTest : public InputTest {
protected:
    IDirectInput7A* di = nullptr;
    std::vector<IDirectInputDevice7A*> made;

    void SetUp() override {
        InputTest::SetUp();
        LPVOID out = nullptr;
        ASSERT_EQ(DirectInputCreateEx(GetModuleHandleA(nullptr), 0x0700, IID_IDirectInput7A, &out, nullptr), DI_OK);
        di = static_cast<IDirectInput7A*>(out);
    }
    void TearDown() override {
        for (IDirectInputDevice7A* d : made) d->Release();
        if (di) di->Release();
        InputTest::TearDown();
    }

    // Created with a format, the program's cooperative level and acquired.
    IDirectInputDevice7A* Device(const GUID& guid, const DIDATAFORMAT* format) {
        LPVOID out = nullptr;
        EXPECT_EQ(di->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &out, nullptr), DI_OK);
        auto* d = static_cast<IDirectInputDevice7A*>(out);
        if (!d) return nullptr;
        made.push_back(d);
        EXPECT_EQ(d->SetDataFormat(format), DI_OK);
        EXPECT_EQ(d->SetCooperativeLevel(window, kForeground), DI_OK);
        EXPECT_EQ(d->Acquire(), DI_OK);
        return d;
    }

    // The instance GUIDs the enumeration offers, in its order.
    std::vector<GUID> EnumJoysticks() {
        std::vector<GUID> found;
        auto record = [](LPCDIDEVICEINSTANCEA d, LPVOID context) -> BOOL {
            EXPECT_EQ(d->dwDevType & 0xFF, DWORD(DIDEVTYPE_JOYSTICK));
            static_cast<std::vector<GUID>*>(context)->push_back(d->guidInstance);
            return DIENUM_CONTINUE;
        };
        EXPECT_EQ(di->EnumDevices(DIDEVTYPE_JOYSTICK, record, &found, DIEDFL_ATTACHEDONLY), DI_OK);
        return found;
    }
};

// A device read into a record filled with 0xAB first, so that an untouched record shows.
template <typename State>
State Read(IDirectInputDevice7A* device, HRESULT expected = DI_OK) {
    State state;
    std::memset(&state, 0xAB, sizeof state);
    EXPECT_EQ(device->GetDeviceState(sizeof state, &state), expected);
    return state;
}
using Keys = std::array<BYTE, 256>;

DIJOYSTATE ReadStick(IDirectInputDevice7A* stick) {
    EXPECT_EQ(stick->Poll(), DI_OK);
    return Read<DIJOYSTATE>(stick);
}

TEST_F(DirectInputTest, KeyboardReportsEachKeyAtItsDirectInputCode) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    const std::pair<SDL_Scancode, int> table[] = {
        {SDL_SCANCODE_ESCAPE, 0x01}, {SDL_SCANCODE_1, 0x02},        {SDL_SCANCODE_0, 0x0B},
        {SDL_SCANCODE_RETURN, 0x1C}, {SDL_SCANCODE_A, 0x1E},        {SDL_SCANCODE_Q, 0x10},
        {SDL_SCANCODE_Z, 0x2C},      {SDL_SCANCODE_M, 0x32},        {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_F1, 0x3B},     {SDL_SCANCODE_F10, 0x44},      {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_F12, 0x58},    {SDL_SCANCODE_F13, 0x64},      {SDL_SCANCODE_F15, 0x66},
        {SDL_SCANCODE_LSHIFT, 0x2A}, {SDL_SCANCODE_RSHIFT, 0x36},   {SDL_SCANCODE_LCTRL, 0x1D},
        {SDL_SCANCODE_RCTRL, 0x9D},  {SDL_SCANCODE_LALT, 0x38},     {SDL_SCANCODE_RALT, 0xB8},
        {SDL_SCANCODE_UP, 0xC8},     {SDL_SCANCODE_DOWN, 0xD0},     {SDL_SCANCODE_LEFT, 0xCB},
        {SDL_SCANCODE_RIGHT, 0xCD},  {SDL_SCANCODE_HOME, 0xC7},     {SDL_SCANCODE_END, 0xCF},
        {SDL_SCANCODE_PAGEUP, 0xC9}, {SDL_SCANCODE_PAGEDOWN, 0xD1}, {SDL_SCANCODE_INSERT, 0xD2},
        {SDL_SCANCODE_DELETE, 0xD3}, {SDL_SCANCODE_KP_0, 0x52},     {SDL_SCANCODE_KP_5, 0x4C},
        {SDL_SCANCODE_KP_9, 0x49},   {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_KP_DIVIDE, 0xB5},
    };
    for (const auto& [scancode, code] : table) {
        Key(scancode, true);
        Pump();
        Keys keys = Read<Keys>(keyboard);
        for (int i = 0; i < 256; ++i) {
            ASSERT_EQ(keys[i], i == code ? 0x80 : 0) << SDL_GetScancodeName(scancode) << " at code " << i;
        }
        Key(scancode, false);  // a release at the wrong code would show as held in the next scan
        Pump();
    }
    EXPECT_EQ(Read<Keys>(keyboard), Keys{});
}

TEST_F(DirectInputTest, TapsBetweenReadsAreLatchedOnce) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse, &c_dfDIMouse);
    Key(SDL_SCANCODE_SPACE, true);
    Key(SDL_SCANCODE_SPACE, false);
    Key(SDL_SCANCODE_LEFT, true);
    MouseButton(SDL_BUTTON_RIGHT, true);
    MouseButton(SDL_BUTTON_RIGHT, false);
    Pump();
    for (BYTE tapped : {0x80, 0x00}) {
        Keys keys = Read<Keys>(keyboard);
        EXPECT_EQ(keys[DIK_SPACE], tapped);
        EXPECT_EQ(keys[DIK_LEFT], 0x80);  // held throughout
        EXPECT_EQ(Read<DIMOUSESTATE>(mouse).rgbButtons[1], tapped);
    }
}

TEST_F(DirectInputTest, FocusLossReleasesHeldInputAndReadsReportItLostUntilAcquiredAgain) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse, &c_dfDIMouse);
    Key(SDL_SCANCODE_LEFT, true);
    MouseButton(SDL_BUTTON_LEFT, true);
    Pump();
    EXPECT_EQ(Read<Keys>(keyboard)[DIK_LEFT], 0x80);
    EXPECT_TRUE(TestMouseCaptured());

    Focus(false);
    EXPECT_FALSE(TestMouseCaptured());
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);  // the caller's record untouched
    EXPECT_EQ(Read<DIMOUSESTATE>(mouse, DIERR_INPUTLOST).rgbButtons[0], 0xAB);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);

    Focus(true);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_TRUE(TestMouseCaptured());
    EXPECT_EQ(Read<Keys>(keyboard)[DIK_LEFT], 0);
    EXPECT_EQ(Read<DIMOUSESTATE>(mouse).rgbButtons[0], 0);

    // Leaving the foreground counts even before any event says so.
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
}

TEST_F(DirectInputTest, MouseSumsMotionBetweenReadsWithoutOverflow) {
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse, &c_dfDIMouse);
    auto readSums = [&](std::vector<LONG> expected) {
        Pump();
        DIMOUSESTATE state = Read<DIMOUSESTATE>(mouse);
        EXPECT_EQ(std::vector<LONG>({state.lX, state.lY, state.lZ}), expected);
        return state;
    };
    for (auto [dx, dy] : {std::pair{3, 4}, {10, -20}, {-1, 0}}) PushMotion(dx, dy);
    for (Uint8 button : {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1}) MouseButton(button, true);
    DIMOUSESTATE state = readSums({12, -16, 0});
    EXPECT_EQ(std::vector<BYTE>(state.rgbButtons, state.rgbButtons + 4), (std::vector<BYTE>{0x80, 0, 0x80, 0x80}));
    readSums({0, 0, 0});

    for (int i = 0; i < 3; ++i) PushMotion(INT_MAX, INT_MIN);
    readSums({INT_MAX, INT_MIN, 0});
    PushMotion(INT_MIN, 1);
    PushMotion(-5, 1);
    readSums({INT_MIN, 2, 0});
}

TEST_F(DirectInputTest, JoystickAxesFollowTheRangeAndDeadZoneAndButtonsArriveWithThePoll) {
    if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    int pad = AttachJoystick();
    IDirectInputDevice7A* stick = Device(EnumJoysticks().at(0), &c_dfDIJoystick);
    auto axisReads = [&](int axis, Sint16 raw) {
        TestSetJoystickAxis(pad, axis, raw);
        DIJOYSTATE state = ReadStick(stick);
        return axis == 0 ? state.lX : axis == 1 ? state.lY : state.lZ;
    };
    // DirectInput's own range until one is set: 0..65535 with the centre at 32767.
    EXPECT_EQ(axisReads(0, 0), 32767);
    EXPECT_EQ(axisReads(0, 32767), 65535);
    EXPECT_EQ(axisReads(0, -32768), 0);

    for (DWORD axis : {DIJOFS_X, DIJOFS_Y}) {
        DIPROPRANGE range = {{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), axis, DIPH_BYOFFSET}, -1000, 1000};
        DIPROPDWORD zone = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), axis, DIPH_BYOFFSET}, 2500};
        EXPECT_EQ(stick->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
        EXPECT_EQ(stick->SetProperty(DIPROP_DEADZONE, &zone.diph), DI_OK);
    }
    const std::pair<Sint16, LONG> expected[] = {{32767, 1000}, {-32768, -1000}, {0, 0},      {8191, 0},
                                                {8192, 1},     {-8192, 0},      {-8193, -1}, {16384, 334}};
    for (const auto& [raw, value] : expected) {
        EXPECT_EQ(axisReads(0, raw), value) << "X at " << raw;
        EXPECT_EQ(axisReads(1, raw), value) << "Y at " << raw;
    }
    EXPECT_EQ(axisReads(2, 16384), 49152);  // Z keeps the default range and no dead zone

    for (int b : {0, 8, 14}) TestSetJoystickButton(pad, b, true);
    EXPECT_EQ(Read<DIJOYSTATE>(stick).rgbButtons[0], 0);  // not polled yet
    DIJOYSTATE state = ReadStick(stick);
    for (int b = 0; b < 32; ++b) EXPECT_EQ(state.rgbButtons[b], (b == 0 || b == 8 || b == 14) ? 0x80 : 0) << b;
}

}  // namespace
