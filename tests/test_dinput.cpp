// The DirectInput layer on its own: keys by DirectInput code, taps, mouse sums, joystick ranges,
// dead zones and buttons, and what foreground cooperation does to every read.
#include "tests/input_fixture.h"

#include <array>
#include <climits>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>

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

// One key's press and release as both services report it: the DirectInput codes read down while it is held, and the
// key messages the window got (virtual key, and lParam's scan code and extended bit).
struct KeySeen {
    std::vector<int> codes;
    std::vector<std::tuple<UINT, WPARAM, int, bool>> messages;
};

KeySeen PressAndRelease(IDirectInputDevice7A* keyboard, int scancode, int layoutKey = 0) {
    KeySeen seen;
    for (bool down : {true, false}) {
        TestPushKey(scancode, down, false, layoutKey);
        MSG m;
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) {
            if (m.message >= WM_KEYDOWN && m.message <= WM_SYSKEYUP && m.message != WM_CHAR)
                seen.messages.push_back(
                    {m.message, m.wParam, int((m.lParam >> 16) & 0xFF), ((m.lParam >> 24) & 1) != 0});
        }
        const Keys keys = Read<Keys>(keyboard);
        for (int i = 0; down && i < 256; ++i)
            if (keys[i] & 0x80) seen.codes.push_back(i);
    }
    return seen;
}

// The one table of physical keys, walked whole: a key DirectInput reports also makes a key-down and a key-up
// message with a virtual key, and the other way round; DirectInput's code is the scan code with the extended bit as
// 0x80, but for the two keys that share scan code 0x45, where it is the other way round (Pause 0xC5, Num Lock 0x45).
TEST_F(DirectInputTest, EveryPhysicalKeyReachesTheWindowAndDirectInputAlike) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    int reported = 0;
    std::map<int, int> codeOf;
    for (int scancode = 1; scancode < SDL_NUM_SCANCODES; ++scancode) {
        const KeySeen seen = PressAndRelease(keyboard, scancode);
        const char* name = SDL_GetScancodeName(SDL_Scancode(scancode));
        if (seen.codes.empty()) {
            EXPECT_TRUE(seen.messages.empty()) << name << " makes messages DirectInput does not report";
            continue;
        }
        ++reported;
        ASSERT_EQ(seen.codes.size(), 1u) << name;
        ASSERT_EQ(seen.messages.size(), 2u) << name << " reaches DirectInput without its two messages";
        const auto& [downMessage, virtualKey, scan, extended] = seen.messages[0];
        EXPECT_TRUE(downMessage == WM_KEYDOWN || downMessage == WM_SYSKEYDOWN) << name;
        EXPECT_TRUE(std::get<0>(seen.messages[1]) == WM_KEYUP || std::get<0>(seen.messages[1]) == WM_SYSKEYUP);
        EXPECT_EQ(seen.messages[1], std::make_tuple(std::get<0>(seen.messages[1]), virtualKey, scan, extended));
        EXPECT_NE(virtualKey, 0u) << name;
        const int expected = (scan | (extended ? 0x80 : 0)) ^ (scan == 0x45 ? 0x80 : 0);
        EXPECT_EQ(seen.codes[0], expected) << name;
        codeOf[scancode] = seen.codes[0];
    }
    EXPECT_EQ(reported, 137) << "the rows of the key table";
    EXPECT_EQ(Read<Keys>(keyboard), Keys{}) << "every release reached DirectInput at the code of its press";
    const std::map<int, int> known = {
        {SDL_SCANCODE_ESCAPE, 0x01},   {SDL_SCANCODE_A, 0x1E},
        {SDL_SCANCODE_Q, 0x10},        {SDL_SCANCODE_M, 0x32},
        {SDL_SCANCODE_F11, 0x57},      {SDL_SCANCODE_F13, 0x64},
        {SDL_SCANCODE_RCTRL, 0x9D},    {SDL_SCANCODE_UP, 0xC8},
        {SDL_SCANCODE_PAUSE, 0xC5},    {SDL_SCANCODE_KP_0, 0x52},
        {SDL_SCANCODE_KP_ENTER, 0x9C}, {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
        {SDL_SCANCODE_MUTE, 0xA0},     {SDL_SCANCODE_INTERNATIONAL3, 0x7D},
    };
    for (const auto& [scancode, code] : known) EXPECT_EQ(codeOf[scancode], code) << scancode;
}

// The keyboard layout names the letters: French and German keys as SDL reports them. The window message carries the
// letter the layout puts on the key, DirectInput the physical key's code.
TEST_F(DirectInputTest, LettersFollowTheLayoutAndDirectInputThePhysicalKey) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    const struct {
        SDL_Scancode key;
        SDL_Keycode layout;
        WPARAM virtualKey;
        int code;
    } keys[] = {
        {SDL_SCANCODE_Q, 'a', 'A', 0x10}, {SDL_SCANCODE_A, 'q', 'Q', 0x1E},         {SDL_SCANCODE_W, 'z', 'Z', 0x11},
        {SDL_SCANCODE_Z, 'w', 'W', 0x2C}, {SDL_SCANCODE_SEMICOLON, 'm', 'M', 0x27}, {SDL_SCANCODE_Y, 'z', 'Z', 0x15},
    };
    for (const auto& k : keys) {
        const KeySeen seen = PressAndRelease(keyboard, k.key, k.layout);
        EXPECT_EQ(seen.codes, std::vector<int>{k.code}) << SDL_GetScancodeName(k.key);
        ASSERT_EQ(seen.messages.size(), 2u);
        EXPECT_EQ(std::get<1>(seen.messages[0]), k.virtualKey) << SDL_GetScancodeName(k.key);
        EXPECT_EQ(std::get<2>(seen.messages[0]), k.code & 0x7F) << "the scan code is the physical key's";
    }
}

// A released DirectInput object or device answers every call with DIERR_NOTINITIALIZED (AddRef and Release with 0)
// and touches nothing: no record, no out-parameter, no callback.
TEST_F(DirectInputTest, ReleasedObjectsRefuseEveryCallAndTouchNothing) {
    IDirectInputDevice7A* keyboard = Device(GUID_SysKeyboard, &c_dfDIKeyboard);
    made.clear();
    ASSERT_EQ(keyboard->Release(), 0u);
    IDirectInput7A* released = std::exchange(di, nullptr);
    ASSERT_EQ(released->Release(), 0u);
    Key(SDL_SCANCODE_A, true);
    Pump();
    Keys untouched;
    untouched.fill(0xAB);
    EXPECT_EQ(Read<Keys>(keyboard, DIERR_NOTINITIALIZED), untouched);
    DIPROPDWORD zone = {{sizeof zone, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 2500};
    for (HRESULT result :
         {keyboard->Acquire(), keyboard->Unacquire(), keyboard->Poll(), keyboard->SetDataFormat(&c_dfDIKeyboard),
          keyboard->SetCooperativeLevel(window, kForeground), keyboard->SetProperty(DIPROP_DEADZONE, &zone.diph)})
        EXPECT_EQ(result, DIERR_NOTINITIALIZED);
    LPVOID out = reinterpret_cast<LPVOID>(1);
    EXPECT_EQ(released->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A, &out, nullptr), DIERR_NOTINITIALIZED);
    EXPECT_EQ(out, reinterpret_cast<LPVOID>(1));
    auto never = [](LPCDIDEVICEINSTANCEA, LPVOID) -> BOOL {
        ADD_FAILURE() << "a released DirectInput enumerated";
        return DIENUM_STOP;
    };
    EXPECT_EQ(released->EnumDevices(0, never, nullptr, 0), DIERR_NOTINITIALIZED);
    for (ULONG count : {keyboard->AddRef(), keyboard->Release(), released->AddRef(), released->Release()})
        EXPECT_EQ(count, 0u);
    EXPECT_EQ(TestGetLiveObjects().inputDevices + TestGetLiveObjects().directInputs, 0);
    Key(SDL_SCANCODE_A, false);
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
