// The DirectInput layer on its own: creation rules, formats, keys by DirectInput code, mouse sums,
// joystick ranges and dead zones, and what foreground cooperation does to every read.
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
    void SkipIfRealJoysticks() {
        if (RealJoysticksPresent()) GTEST_SKIP() << "a real joystick is attached";
    }

    // The result of a creation that must fail, having nulled the caller's pointer.
    HRESULT CreateFails(const GUID& guid, const IID& iid) {
        LPVOID out = &out;
        HRESULT result = di->CreateDeviceEx(guid, iid, &out, nullptr);
        EXPECT_EQ(out, nullptr);
        return result;
    }

    // Created; with a format, also given the program's cooperative level and acquired.
    IDirectInputDevice7A* Device(const GUID& guid, const DIDATAFORMAT* format = nullptr) {
        LPVOID out = nullptr;
        EXPECT_EQ(di->CreateDeviceEx(guid, IID_IDirectInputDevice7A, &out, nullptr), DI_OK);
        auto* d = static_cast<IDirectInputDevice7A*>(out);
        if (!d) return nullptr;
        made.push_back(d);
        if (!format) return d;
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
constexpr LONG kUntouched = LONG(0xABABABAB);

DIJOYSTATE ReadStick(IDirectInputDevice7A* stick) {
    EXPECT_EQ(stick->Poll(), DI_OK);
    return Read<DIJOYSTATE>(stick);
}

void SetRange(IDirectInputDevice7A* stick, DWORD offset, LONG min, LONG max, HRESULT expected = DI_OK) {
    DIPROPRANGE range = {{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET}, min, max};
    EXPECT_EQ(stick->SetProperty(DIPROP_RANGE, &range.diph), expected);
}

void SetDeadZone(IDirectInputDevice7A* stick, DWORD offset, DWORD value, HRESULT expected = DI_OK) {
    DIPROPDWORD zone = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), offset, DIPH_BYOFFSET}, value};
    EXPECT_EQ(stick->SetProperty(DIPROP_DEADZONE, &zone.diph), expected);
}

TEST_F(DirectInputTest, CreationChecksVersionInterfaceAndDevice) {
    HINSTANCE self = GetModuleHandleA(nullptr);
    auto create = [&](DWORD version, const IID& iid) {
        LPVOID out = &out;
        HRESULT result = DirectInputCreateEx(self, version, iid, &out, nullptr);
        EXPECT_EQ(out, nullptr);
        return result;
    };
    EXPECT_EQ(create(0x0500, IID_IDirectInput7A), DIERR_INVALIDPARAM);
    EXPECT_EQ(create(0x0700, IID_IDirectInputDevice7A), DIERR_NOINTERFACE);
    EXPECT_EQ(DirectInputCreateEx(self, 0x0700, IID_IDirectInput7A, nullptr, nullptr), DIERR_INVALIDPARAM);
    EXPECT_EQ(TestGetLiveObjects().directInputs, 1);

    EXPECT_EQ(CreateFails(IID_IDirectInput7A, IID_IDirectInputDevice7A), DIERR_DEVICENOTREG);
    EXPECT_EQ(CreateFails(GUID_SysKeyboard, IID_IDirectInput7A), DIERR_NOINTERFACE);
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse);
    made.clear();
    EXPECT_EQ(TestGetLiveObjects().inputDevices, 1);
    EXPECT_EQ(mouse->AddRef(), 2u);
    EXPECT_EQ(mouse->Release(), 1u);
    EXPECT_EQ(mouse->Release(), 0u);
    EXPECT_EQ(TestGetLiveObjects().inputDevices, 0);
}

TEST_F(DirectInputTest, FormatsFitOnlyTheirOwnDeviceAndReadsNeedTheirSize) {
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse);
    EXPECT_EQ(mouse->Acquire(), DIERR_INVALIDPARAM);  // no format yet
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIKeyboard), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetDataFormat(nullptr), DIERR_INVALIDPARAM);
    DIDATAFORMAT copy = c_dfDIMouse;
    copy.dwDataSize = 20;
    EXPECT_EQ(mouse->SetDataFormat(&copy), DIERR_INVALIDPARAM);
    copy.dwDataSize = 16;
    EXPECT_EQ(mouse->SetDataFormat(&copy), DI_OK);
    EXPECT_EQ(mouse->SetCooperativeLevel(window, kForeground | DISCL_EXCLUSIVE), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetCooperativeLevel(nullptr, kForeground), DIERR_INVALIDPARAM);
    EXPECT_EQ(mouse->SetCooperativeLevel(window, kForeground), DI_OK);

    EXPECT_EQ(Read<DIMOUSESTATE>(mouse, DIERR_NOTACQUIRED).lX, kUntouched);
    EXPECT_EQ(mouse->Unacquire(), DI_NOEFFECT);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_NOEFFECT);
    EXPECT_EQ(mouse->Poll(), DI_NOEFFECT);
    EXPECT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DIERR_ACQUIRED);
    using TooBig = std::array<BYTE, 20>;
    EXPECT_EQ(Read<TooBig>(mouse, DIERR_INVALIDPARAM)[0], 0xAB);
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

    // A tap while the keyboard was not acquired belongs to nobody.
    EXPECT_EQ(keyboard->Unacquire(), DI_OK);
    Key(SDL_SCANCODE_A, true);
    Key(SDL_SCANCODE_A, false);
    Pump();
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(Read<Keys>(keyboard)[0x1E], 0);
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
    EXPECT_EQ(keyboard->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);

    Focus(true);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
    EXPECT_FALSE(TestMouseCaptured());
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_TRUE(TestMouseCaptured());
    EXPECT_EQ(Read<Keys>(keyboard)[DIK_LEFT], 0);
    EXPECT_EQ(Read<DIMOUSESTATE>(mouse).rgbButtons[0], 0);

    // Leaving the foreground counts even before any event says so.
    ShowWindow(window, SW_MINIMIZE);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
    EXPECT_EQ(mouse->Unacquire(), DI_OK);
    EXPECT_FALSE(TestMouseCaptured());
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
    MouseWheel(2);
    MouseWheel(1, true);
    for (Uint8 button : {SDL_BUTTON_LEFT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1}) MouseButton(button, true);
    DIMOUSESTATE state = readSums({12, -16, 120});
    EXPECT_EQ(std::vector<BYTE>(state.rgbButtons, state.rgbButtons + 4), (std::vector<BYTE>{0x80, 0, 0x80, 0x80}));
    readSums({0, 0, 0});

    for (int i = 0; i < 3; ++i) PushMotion(INT_MAX, INT_MIN);
    readSums({INT_MAX, INT_MIN, 0});
    PushMotion(INT_MIN, 1);
    PushMotion(-5, 1);
    readSums({INT_MIN, 2, 0});
}

TEST_F(DirectInputTest, AxisModeHeaderIsCheckedAndAbsoluteModeKeepsThePosition) {
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse);
    ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse), DI_OK);
    ASSERT_EQ(mouse->SetCooperativeLevel(window, kForeground), DI_OK);
    DIPROPDWORD mode = {{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_BYOFFSET}, DIPROPAXISMODE_ABS};
    EXPECT_EQ(mouse->SetProperty(DIPROP_AXISMODE, &mode.diph), DIERR_INVALIDPARAM);
    mode.diph.dwHow = DIPH_DEVICE;
    EXPECT_EQ(mouse->SetProperty(DIPROP_RANGE, &mode.diph), DIERR_UNSUPPORTED);
    EXPECT_EQ(mouse->SetProperty(DIPROP_AXISMODE, &mode.diph), DI_OK);
    ASSERT_EQ(mouse->Acquire(), DI_OK);
    EXPECT_EQ(mouse->SetProperty(DIPROP_AXISMODE, &mode.diph), DIERR_ACQUIRED);

    for (auto [dx, x] : {std::pair{5, 5}, std::pair{3, 8}}) {
        PushMotion(dx, -2);
        Pump();
        EXPECT_EQ(Read<DIMOUSESTATE>(mouse).lX, x);
    }
}

TEST_F(DirectInputTest, EnumerationOffersJoysticksInSdlOrderWithGuidsStableForTheirLife) {
    SkipIfRealJoysticks();
    int first = AttachJoystick();
    int second = AttachJoystick();
    std::vector<GUID> guids = EnumJoysticks();
    ASSERT_EQ(guids.size(), 2u);
    EXPECT_NE(guids[0], guids[1]);
    EXPECT_EQ(TestInputCalls(TestInputObject::Joystick, TestInputOp::EnumCallback), 2);

    int calls = 0;
    auto stop = [](LPCDIDEVICEINSTANCEA, LPVOID context) -> BOOL {
        ++*static_cast<int*>(context);
        return DIENUM_STOP;
    };
    EXPECT_EQ(di->EnumDevices(DIDEVTYPE_JOYSTICK, stop, &calls, DIEDFL_ATTACHEDONLY), DI_OK);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(di->EnumDevices(DIDEVTYPE_JOYSTICK, nullptr, nullptr, DIEDFL_ATTACHEDONLY), DIERR_INVALIDPARAM);

    // Each GUID opens its own stick: button 3 is held on the second only.
    TestSetJoystickButton(second, 3, true);
    EXPECT_EQ(ReadStick(Device(guids[1], &c_dfDIJoystick)).rgbButtons[3], 0x80);
    IDirectInputDevice7A* detached = Device(guids[0], &c_dfDIJoystick);
    EXPECT_EQ(ReadStick(detached).rgbButtons[3], 0);

    // A detached stick leaves the enumeration and fails every read without touching the record.
    DetachJoystick(first);
    EXPECT_EQ(EnumJoysticks(), std::vector<GUID>{guids[1]});
    EXPECT_EQ(CreateFails(guids[0], IID_IDirectInputDevice7A), DIERR_DEVICENOTREG);
    EXPECT_EQ(detached->Poll(), DIERR_INPUTLOST);
    EXPECT_EQ(Read<DIJOYSTATE>(detached, DIERR_INPUTLOST).lX, kUntouched);
    EXPECT_LT(detached->Acquire(), 0);
    Pump();
    Read<DIJOYSTATE>(detached, DIERR_INPUTLOST);
}

TEST_F(DirectInputTest, JoystickAxesFollowTheRangeAndDeadZone) {
    SkipIfRealJoysticks();
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
        SetRange(stick, axis, -1000, 1000);
        SetDeadZone(stick, axis, 2500);
    }
    const std::pair<Sint16, LONG> expected[] = {{32767, 1000}, {-32768, -1000}, {0, 0},      {8191, 0},
                                                {8192, 1},     {-8192, 0},      {-8193, -1}, {16384, 334}};
    for (const auto& [raw, value] : expected) {
        EXPECT_EQ(axisReads(0, raw), value) << "X at " << raw;
        EXPECT_EQ(axisReads(1, raw), value) << "Y at " << raw;
    }
    EXPECT_EQ(axisReads(2, 16384), 49152);  // Z keeps the default range and no dead zone

    SetRange(stick, DIJOFS_X, 5, 5, DIERR_INVALIDPARAM);
    SetRange(stick, 2, -1, 1, DIERR_OBJECTNOTFOUND);
    SetDeadZone(stick, DIJOFS_X, 10001, DIERR_INVALIDPARAM);
    DIPROPRANGE shortRecord = {{20, sizeof(DIPROPHEADER), DIJOFS_X, DIPH_BYOFFSET}, 0, 10};
    EXPECT_EQ(stick->SetProperty(DIPROP_RANGE, &shortRecord.diph), DIERR_INVALIDPARAM);
    EXPECT_EQ(axisReads(0, 32767), 1000);
    SetDeadZone(stick, DIJOFS_X, 10000);
    EXPECT_EQ(axisReads(0, 32767), 0);

    TestRefuseInputProperty(TestInputObject::Joystick, DIPROP_RANGE, DIERR_UNSUPPORTED);
    SetRange(stick, DIJOFS_Y, 0, 10, DIERR_UNSUPPORTED);
    EXPECT_EQ(axisReads(1, 32767), 1000);
}

TEST_F(DirectInputTest, JoystickButtonsHatsAndPollRefresh) {
    SkipIfRealJoysticks();
    int pad = AttachJoystick(2, 40, 1);
    IDirectInputDevice7A* stick = Device(EnumJoysticks().at(0), &c_dfDIJoystick);
    for (int b : {0, 8, 31, 32, 39}) TestSetJoystickButton(pad, b, true);
    TestSetJoystickHat(pad, 0, SDL_HAT_LEFTUP);
    EXPECT_EQ(Read<DIJOYSTATE>(stick).rgbButtons[0], 0);  // not polled yet
    DIJOYSTATE state = ReadStick(stick);
    for (int b = 0; b < 32; ++b) EXPECT_EQ(state.rgbButtons[b], (b == 0 || b == 8 || b == 31) ? 0x80 : 0) << b;
    EXPECT_EQ(state.rgdwPOV[0], 31500u);
    EXPECT_EQ(state.rgdwPOV[1], 0xFFFFFFFFu);
    EXPECT_EQ(state.rgdwPOV[3], 0xFFFFFFFFu);
    TestSetJoystickHat(pad, 0, SDL_HAT_CENTERED);
    EXPECT_EQ(ReadStick(stick).rgdwPOV[0], 0xFFFFFFFFu);
}

TEST_F(DirectInputTest, InjectedReadFailuresLeaveTheRecordAndLostOnesTakeTheAcquisition) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    IDirectInputDevice7A* mouse = Device(GUID_SysMouse, &c_dfDIMouse);
    TestFailInputOp(TestInputObject::Keyboard, TestInputOp::GetDeviceState, DIERR_INPUTLOST);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_INPUTLOST)[0], 0xAB);
    EXPECT_EQ(keyboard->Acquire(), DI_OK);
    EXPECT_EQ(Read<Keys>(keyboard)[0], 0);
    EXPECT_EQ(TestInputCalls(TestInputObject::Keyboard, TestInputOp::GetDeviceState), 3);

    PushMotion(7, 9);
    Pump();
    TestFailInputOp(TestInputObject::Mouse, TestInputOp::GetDeviceState, DIERR_GENERIC);
    EXPECT_EQ(Read<DIMOUSESTATE>(mouse, DIERR_GENERIC).lX, kUntouched);
    EXPECT_EQ(Read<DIMOUSESTATE>(mouse).lX, 7);  // the motion waited for a read that succeeded
}

}  // namespace
