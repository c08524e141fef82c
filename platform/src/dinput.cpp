// DirectInput 7 on SDL: the keyboard and mouse kept from SDL's events, joysticks read through SDL's joystick API.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

const GUID IID_IDirectInput7A = {0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const GUID IID_IDirectInputDevice7A = {0x57D7C6BC, 0x2356, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// Windows passes these as small integers cast to a GUID pointer; ours are real objects, told apart by value.
const GUID DIPROP_AXISMODE = {0x00000002, 0x4449, 0x5052, {'d', 'i', 't', 'e', 's', 's', 'r', 'y'}};
const GUID DIPROP_RANGE = {0x00000004, 0x4449, 0x5052, {'d', 'i', 't', 'e', 's', 's', 'r', 'y'}};
const GUID DIPROP_DEADZONE = {0x00000005, 0x4449, 0x5052, {'d', 'i', 't', 'e', 's', 's', 'r', 'y'}};

namespace {

const GUID kGuidXAxis = {0xA36D02E0, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidYAxis = {0xA36D02E1, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidZAxis = {0xA36D02E2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidRxAxis = {0xA36D02F4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidRyAxis = {0xA36D02F5, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidRzAxis = {0xA36D02E3, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidSlider = {0xA36D02E4, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidPov = {0xA36D02F2, 0xC9F3, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kGuidKey = {0x55728220, 0xD33C, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

// A joystick's instance GUID carries its SDL instance id in Data1 and this fixed tail elsewhere.
constexpr WORD kJoystickGuidData2 = 0x4A4F;
constexpr WORD kJoystickGuidData3 = 0x5953;
constexpr BYTE kJoystickGuidData4[8] = {'d', 'i', 't', 'e', 's', 's', 'r', 'y'};

constexpr DWORD kDidfAbsAxis = 0x1;
constexpr DWORD kDidfRelAxis = 0x2;
constexpr DWORD kDidftAxis = 0x3;
constexpr DWORD kDidftButton = 0xC;
constexpr DWORD kDidftPov = 0x10;
constexpr DWORD kDidftAnyInstance = 0x00FFFF00;
constexpr DWORD kDidftOptional = 0x80000000;
constexpr DWORD MakeInstance(DWORD n) { return n << 8; }

constexpr HRESULT kNoAggregation = (HRESULT)0x80040110;
constexpr LONG kWheelDelta = 120;
constexpr DWORD kPovCentred = 0xFFFFFFFF;
constexpr int kAxes = 8;  // lX, lY, lZ, lRx, lRy, lRz and the two sliders, four bytes apart from offset 0
constexpr int kPovs = 4;
constexpr int kButtons = 32;

struct Formats {
    DIOBJECTDATAFORMAT keyboard[256];
    DIOBJECTDATAFORMAT mouse[7];
    DIOBJECTDATAFORMAT joystick[44];
};

// The joystick's axes report positions, as the predefined format says of them.
constexpr DWORD kDidoiAspectPosition = 0x00000100;

Formats MakeFormats() {
    Formats f = {};
    for (DWORD i = 0; i < 256; ++i) {
        f.keyboard[i] = {&kGuidKey, i, kDidftOptional | kDidftButton | MakeInstance(i), 0};
    }
    f.mouse[0] = {&kGuidXAxis, offsetof(DIMOUSESTATE, lX), kDidftAxis | kDidftAnyInstance, 0};
    f.mouse[1] = {&kGuidYAxis, offsetof(DIMOUSESTATE, lY), kDidftAxis | kDidftAnyInstance, 0};
    f.mouse[2] = {&kGuidZAxis, offsetof(DIMOUSESTATE, lZ), kDidftOptional | kDidftAxis | kDidftAnyInstance, 0};
    for (DWORD i = 0; i < 4; ++i) {
        DWORD optional = i < 2 ? 0 : kDidftOptional;
        f.mouse[3 + i] = {nullptr, DWORD(offsetof(DIMOUSESTATE, rgbButtons) + i),
                          optional | kDidftButton | kDidftAnyInstance, 0};
    }
    const GUID* axes[kAxes] = {&kGuidXAxis,  &kGuidYAxis,  &kGuidZAxis,  &kGuidRxAxis,
                               &kGuidRyAxis, &kGuidRzAxis, &kGuidSlider, &kGuidSlider};
    for (DWORD i = 0; i < kAxes; ++i) {
        f.joystick[i] = {axes[i], 4 * i, kDidftOptional | kDidftAxis | kDidftAnyInstance, kDidoiAspectPosition};
    }
    for (DWORD i = 0; i < kPovs; ++i) {
        f.joystick[kAxes + i] = {&kGuidPov, DWORD(offsetof(DIJOYSTATE, rgdwPOV) + 4 * i),
                                 kDidftOptional | kDidftPov | kDidftAnyInstance, 0};
    }
    for (DWORD i = 0; i < kButtons; ++i) {
        f.joystick[kAxes + kPovs + i] = {nullptr, DWORD(offsetof(DIJOYSTATE, rgbButtons) + i),
                                         kDidftOptional | kDidftButton | kDidftAnyInstance, 0};
    }
    return f;
}
// Filled before main; the predefined formats below only take the addresses of its arrays.
const Formats kFormats = MakeFormats();

}  // namespace

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), kDidfRelAxis, 256, 256,
                                     kFormats.keyboard};
const DIDATAFORMAT c_dfDIMouse = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), kDidfRelAxis, sizeof(DIMOUSESTATE), 7, kFormats.mouse};
const DIDATAFORMAT c_dfDIJoystick = {
    sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), kDidfAbsAxis, sizeof(DIJOYSTATE), 44, kFormats.joystick};

namespace {

static_assert(sizeof(DIMOUSESTATE) == 16 && sizeof(DIJOYSTATE) == 80);
static_assert(kAxes * 4 == offsetof(DIJOYSTATE, rgdwPOV));

enum class Kind { Keyboard, Mouse, Joystick };

struct Axis {
    LONG min = 0;  // DirectInput's own default range
    LONG max = 65535;
    DWORD deadZone = 0;  // 0..10000 of the way from the centre to either end
};

struct DirectInput : IDirectInput7A {
    ULONG refs = 1;
};

struct Device : IDirectInputDevice7A {
    ULONG refs = 1;
    Kind kind = Kind::Keyboard;
    const DIDATAFORMAT* format = nullptr;
    HWND window = nullptr;
    DWORD level = DISCL_NONEXCLUSIVE | DISCL_BACKGROUND;  // DirectInput's level until one is set
    bool acquired = false;
    bool lost = false;  // input taken away while acquired; every read says so until acquired again
    BYTE keyLatch[256] = {};
    BYTE buttonLatch[4] = {};
    bool relativeAxes = true;
    LONG motion[3] = {};  // relative mode: counts since the last read; absolute mode: position since acquired
    SDL_JoystickID instance = -1;
    SDL_Joystick* joystick = nullptr;
    Axis axes[kAxes];
};

struct Fault {
    HRESULT result = S_OK;
    int remaining = 0;  // -1 forever
};
struct PropertyRefusal {
    TestInputObject object;
    GUID property;
    HRESULT result;
};

std::vector<Device*> devices;
BYTE keysDown[256];
BYTE buttonsDown[4];
bool mouseCaptured = false;

int calls[int(TestInputObject::Count)][int(TestInputOp::Count)];
Fault faults[int(TestInputObject::Count)][int(TestInputOp::Count)];
std::vector<PropertyRefusal> propertyRefusals;
std::vector<std::pair<int, HRESULT>> uncreatableJoysticks;
std::vector<SDL_Joystick*> testJoysticks;

TestInputObject ObjectOf(Kind kind) {
    switch (kind) {
        case Kind::Keyboard:
            return TestInputObject::Keyboard;
        case Kind::Mouse:
            return TestInputObject::Mouse;
        case Kind::Joystick:
            return TestInputObject::Joystick;
    }
    return TestInputObject::Keyboard;
}

// Every entry point counts itself here first, and returns the injected result when a test asked for one.
bool Injected(TestInputObject object, TestInputOp op, HRESULT* result) {
    ++calls[int(object)][int(op)];
    Fault& f = faults[int(object)][int(op)];
    if (f.remaining == 0) return false;
    if (f.remaining > 0) --f.remaining;
    *result = f.result;
    return true;
}

LONG SaturatingAdd(LONG total, int64_t delta) {
    int64_t sum = int64_t(total) + delta;
    sum = std::clamp<int64_t>(sum, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max());
    return LONG(sum);
}

// SDL scancode -> DirectInput key code (0: no such key there).
struct ScancodeTable {
    BYTE dik[SDL_NUM_SCANCODES] = {};
};

ScancodeTable MakeScancodeTable() {
    ScancodeTable t;
    const BYTE letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                              0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    for (int i = 0; i < 26; ++i) t.dik[SDL_SCANCODE_A + i] = letters[i];
    for (int i = 0; i < 10; ++i) t.dik[SDL_SCANCODE_1 + i] = BYTE(0x02 + i);  // 1..9, then 0 at 0x0B
    for (int i = 0; i < 10; ++i) t.dik[SDL_SCANCODE_F1 + i] = BYTE(0x3B + i);
    const BYTE keypad[10] = {0x4F, 0x50, 0x51, 0x4B, 0x4C, 0x4D, 0x47, 0x48, 0x49, 0x52};  // 1..9, 0
    for (int i = 0; i < 10; ++i) t.dik[SDL_SCANCODE_KP_1 + i] = keypad[i];
    const struct {
        SDL_Scancode scancode;
        BYTE dik;
    } others[] = {
        {SDL_SCANCODE_ESCAPE, 0x01},
        {SDL_SCANCODE_MINUS, 0x0C},
        {SDL_SCANCODE_EQUALS, 0x0D},
        {SDL_SCANCODE_BACKSPACE, 0x0E},
        {SDL_SCANCODE_TAB, 0x0F},
        {SDL_SCANCODE_LEFTBRACKET, 0x1A},
        {SDL_SCANCODE_RIGHTBRACKET, 0x1B},
        {SDL_SCANCODE_RETURN, 0x1C},
        {SDL_SCANCODE_LCTRL, 0x1D},
        {SDL_SCANCODE_SEMICOLON, 0x27},
        {SDL_SCANCODE_APOSTROPHE, 0x28},
        {SDL_SCANCODE_GRAVE, 0x29},
        {SDL_SCANCODE_LSHIFT, 0x2A},
        {SDL_SCANCODE_BACKSLASH, 0x2B},
        {SDL_SCANCODE_NONUSHASH, 0x2B},
        {SDL_SCANCODE_COMMA, 0x33},
        {SDL_SCANCODE_PERIOD, 0x34},
        {SDL_SCANCODE_SLASH, 0x35},
        {SDL_SCANCODE_RSHIFT, 0x36},
        {SDL_SCANCODE_KP_MULTIPLY, 0x37},
        {SDL_SCANCODE_LALT, 0x38},
        {SDL_SCANCODE_SPACE, 0x39},
        {SDL_SCANCODE_CAPSLOCK, 0x3A},
        {SDL_SCANCODE_NUMLOCKCLEAR, 0x45},
        {SDL_SCANCODE_SCROLLLOCK, 0x46},
        {SDL_SCANCODE_KP_MINUS, 0x4A},
        {SDL_SCANCODE_KP_PLUS, 0x4E},
        {SDL_SCANCODE_KP_PERIOD, 0x53},
        {SDL_SCANCODE_NONUSBACKSLASH, 0x56},
        {SDL_SCANCODE_F11, 0x57},
        {SDL_SCANCODE_F12, 0x58},
        {SDL_SCANCODE_F13, 0x64},
        {SDL_SCANCODE_F14, 0x65},
        {SDL_SCANCODE_F15, 0x66},
        {SDL_SCANCODE_INTERNATIONAL2, 0x70},  // kana
        {SDL_SCANCODE_INTERNATIONAL1, 0x73},  // ro / ABNT C1
        {SDL_SCANCODE_INTERNATIONAL4, 0x79},  // convert
        {SDL_SCANCODE_INTERNATIONAL5, 0x7B},  // no convert
        {SDL_SCANCODE_INTERNATIONAL3, 0x7D},  // yen
        {SDL_SCANCODE_KP_EQUALS, 0x8D},
        {SDL_SCANCODE_AUDIOPREV, 0x90},
        {SDL_SCANCODE_AUDIONEXT, 0x99},
        {SDL_SCANCODE_KP_ENTER, 0x9C},
        {SDL_SCANCODE_RCTRL, 0x9D},
        {SDL_SCANCODE_MUTE, 0xA0},
        {SDL_SCANCODE_CALCULATOR, 0xA1},
        {SDL_SCANCODE_AUDIOPLAY, 0xA2},
        {SDL_SCANCODE_AUDIOSTOP, 0xA4},
        {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
        {SDL_SCANCODE_VOLUMEUP, 0xB0},
        {SDL_SCANCODE_AC_HOME, 0xB2},
        {SDL_SCANCODE_KP_COMMA, 0xB3},
        {SDL_SCANCODE_KP_DIVIDE, 0xB5},
        {SDL_SCANCODE_PRINTSCREEN, 0xB7},
        {SDL_SCANCODE_SYSREQ, 0xB7},
        {SDL_SCANCODE_RALT, 0xB8},
        {SDL_SCANCODE_PAUSE, 0xC5},
        {SDL_SCANCODE_HOME, 0xC7},
        {SDL_SCANCODE_UP, 0xC8},
        {SDL_SCANCODE_PAGEUP, 0xC9},
        {SDL_SCANCODE_LEFT, 0xCB},
        {SDL_SCANCODE_RIGHT, 0xCD},
        {SDL_SCANCODE_END, 0xCF},
        {SDL_SCANCODE_DOWN, 0xD0},
        {SDL_SCANCODE_PAGEDOWN, 0xD1},
        {SDL_SCANCODE_INSERT, 0xD2},
        {SDL_SCANCODE_DELETE, 0xD3},
        {SDL_SCANCODE_LGUI, 0xDB},
        {SDL_SCANCODE_RGUI, 0xDC},
        {SDL_SCANCODE_APPLICATION, 0xDD},
        {SDL_SCANCODE_POWER, 0xDE},
        {SDL_SCANCODE_SLEEP, 0xDF},
        {SDL_SCANCODE_AC_SEARCH, 0xE5},
        {SDL_SCANCODE_AC_BOOKMARKS, 0xE6},
        {SDL_SCANCODE_AC_REFRESH, 0xE7},
        {SDL_SCANCODE_AC_STOP, 0xE8},
        {SDL_SCANCODE_AC_FORWARD, 0xE9},
        {SDL_SCANCODE_AC_BACK, 0xEA},
        {SDL_SCANCODE_COMPUTER, 0xEB},
        {SDL_SCANCODE_MAIL, 0xEC},
        {SDL_SCANCODE_MEDIASELECT, 0xED},
    };
    for (const auto& o : others) t.dik[o.scancode] = o.dik;
    return t;
}
const ScancodeTable kScancodes = MakeScancodeTable();

// --- foreground cooperation ---

bool WindowInFront(HWND window) {
    SDL_Window* sdlWindow = PlatformSdlWindow(window);
    return sdlWindow && sdlWindow == PlatformMainSdlWindow() && PlatformWindowInForeground();
}

bool Foreground(const Device& d) { return (d.level & DISCL_FOREGROUND) != 0; }

void ClearGathered(Device& d) {
    std::memset(d.keyLatch, 0, sizeof d.keyLatch);
    std::memset(d.buttonLatch, 0, sizeof d.buttonLatch);
    std::memset(d.motion, 0, sizeof d.motion);
}

// The pointer is captured exactly while an acquired foreground mouse has the window in front, so
// motion keeps coming however far the mouse travels, and the desktop gets its pointer back otherwise.
void UpdateMouseCapture() {
    bool want = false;
    for (const Device* d : devices) {
        if (d->kind == Kind::Mouse && d->acquired && Foreground(*d) && WindowInFront(d->window)) want = true;
    }
    if (want == mouseCaptured) return;
    mouseCaptured = want;
    // Drivers without relative mode (dummy, offscreen) refuse it; motion then still arrives as the
    // difference between pointer positions, which is all the device needs.
    SDL_SetRelativeMouseMode(want ? SDL_TRUE : SDL_FALSE);
}

void LoseInput(Device& d) {
    if (!d.acquired) return;
    d.acquired = false;
    d.lost = true;
    ClearGathered(d);
}

// Called by every read: a device loses its input when its window went to the background or its
// joystick went away, even if no event said so yet.
bool StillHasInput(Device& d) {
    if (!d.acquired) return false;
    if (Foreground(d) && !WindowInFront(d.window)) LoseInput(d);
    if (d.kind == Kind::Joystick && !(d.joystick && SDL_JoystickGetAttached(d.joystick))) LoseInput(d);
    if (!d.acquired) UpdateMouseCapture();
    return d.acquired;
}

HRESULT NotReadable(const Device& d) { return d.lost ? DIERR_INPUTLOST : DIERR_NOTACQUIRED; }

// --- joystick values ---

// Maps SDL's -32768..32767 onto the device's range; inside the dead zone the centre, beyond it scaled
// so that the end still reads the end. Rounded away from the centre so leaving the dead zone always shows.
LONG MapAxis(Sint16 raw, const Axis& a) {
    const int64_t full = raw < 0 ? 32768 : 32767;
    const int64_t magnitude = raw < 0 ? -int64_t(raw) : int64_t(raw);
    const int64_t centre = int64_t(a.min) + (int64_t(a.max) - a.min) / 2;
    const int64_t deadZone = a.deadZone;
    if (magnitude * 10000 <= deadZone * full) return LONG(centre);
    const int64_t half = raw < 0 ? centre - a.min : a.max - centre;
    const int64_t num = (magnitude * 10000 - deadZone * full) * half;
    const int64_t den = (10000 - deadZone) * full;
    const int64_t offset = (num + den - 1) / den;
    return LONG(raw < 0 ? centre - offset : centre + offset);
}

DWORD PovFromHat(Uint8 hat) {
    switch (hat) {
        case SDL_HAT_UP:
            return 0;
        case SDL_HAT_RIGHTUP:
            return 4500;
        case SDL_HAT_RIGHT:
            return 9000;
        case SDL_HAT_RIGHTDOWN:
            return 13500;
        case SDL_HAT_DOWN:
            return 18000;
        case SDL_HAT_LEFTDOWN:
            return 22500;
        case SDL_HAT_LEFT:
            return 27000;
        case SDL_HAT_LEFTUP:
            return 31500;
        default:
            return kPovCentred;
    }
}

void ReadJoystickState(const Device& d, DIJOYSTATE* state) {
    *state = {};
    LONG* axisFields[kAxes] = {&state->lX,  &state->lY,  &state->lZ,           &state->lRx,
                               &state->lRy, &state->lRz, &state->rglSlider[0], &state->rglSlider[1]};
    const int axes = std::min(SDL_JoystickNumAxes(d.joystick), kAxes);
    for (int i = 0; i < axes; ++i) *axisFields[i] = MapAxis(SDL_JoystickGetAxis(d.joystick, i), d.axes[i]);
    const int hats = std::max(0, SDL_JoystickNumHats(d.joystick));
    for (int i = 0; i < kPovs; ++i)
        state->rgdwPOV[i] = i < hats ? PovFromHat(SDL_JoystickGetHat(d.joystick, i)) : kPovCentred;
    const int buttons = std::min(SDL_JoystickNumButtons(d.joystick), kButtons);
    for (int i = 0; i < buttons; ++i) state->rgbButtons[i] = SDL_JoystickGetButton(d.joystick, i) ? 0x80 : 0;
}

int JoystickIndexOf(SDL_JoystickID instance) {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return -1;
    for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance) return i;
    }
    return -1;
}

GUID JoystickInstanceGuid(SDL_JoystickID instance) {
    GUID g = {DWORD(instance), kJoystickGuidData2, kJoystickGuidData3, {}};
    std::memcpy(g.Data4, kJoystickGuidData4, sizeof g.Data4);
    return g;
}

bool IsJoystickGuid(const GUID& g) {
    return g.Data2 == kJoystickGuidData2 && g.Data3 == kJoystickGuidData3 &&
           std::memcmp(g.Data4, kJoystickGuidData4, sizeof g.Data4) == 0 && LONG(g.Data1) >= 0;
}

void CopyName(CHAR (&to)[260], const char* from) {
    std::memset(to, 0, sizeof to);
    if (from) SDL_strlcpy(to, from, sizeof to);
}

// --- the DirectInput object ---

ULONG InputAddRef(DirectInput& di) { return ++di.refs; }

ULONG InputRelease(DirectInput& di) {
    HRESULT ignored;
    Injected(TestInputObject::DirectInput, TestInputOp::Release, &ignored);
    RecordRelease("DirectInput");
    ULONG left = --di.refs;
    if (left == 0) {
        delete &di;
        --liveObjects.directInputs;
    }
    return left;
}

DIDEVICEINSTANCEA SystemInstance(const GUID& guid, DWORD type, const char* name) {
    DIDEVICEINSTANCEA d = {};
    d.dwSize = sizeof d;
    d.guidInstance = guid;
    d.guidProduct = guid;
    d.dwDevType = type;
    CopyName(d.tszInstanceName, name);
    CopyName(d.tszProductName, name);
    return d;
}

HRESULT InputEnumDevices(DirectInput&, DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) {
    HRESULT result;
    if (Injected(TestInputObject::DirectInput, TestInputOp::EnumDevices, &result)) return result;
    if (!callback || (flags & ~DWORD(DIEDFL_ATTACHEDONLY)) != 0) return DIERR_INVALIDPARAM;
    if (type > DIDEVTYPE_JOYSTICK) return DIERR_INVALIDPARAM;

    // The list is taken before the first call, so a callback that creates devices cannot disturb it.
    std::vector<std::pair<DIDEVICEINSTANCEA, TestInputObject>> offered;
    if (type == 0 || type == DIDEVTYPE_MOUSE) {
        offered.push_back({SystemInstance(GUID_SysMouse, DIDEVTYPE_MOUSE, "Mouse"), TestInputObject::Mouse});
    }
    if (type == 0 || type == DIDEVTYPE_KEYBOARD) {
        offered.push_back(
            {SystemInstance(GUID_SysKeyboard, DIDEVTYPE_KEYBOARD, "Keyboard"), TestInputObject::Keyboard});
    }
    if ((type == 0 || type == DIDEVTYPE_JOYSTICK) && SDL_WasInit(SDL_INIT_JOYSTICK)) {
        for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
            SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(i);
            if (instance < 0) continue;
            DIDEVICEINSTANCEA d =
                SystemInstance(JoystickInstanceGuid(instance), DIDEVTYPE_JOYSTICK, SDL_JoystickNameForIndex(i));
            SDL_JoystickGUID product = SDL_JoystickGetDeviceGUID(i);
            static_assert(sizeof product == sizeof d.guidProduct);
            std::memcpy(&d.guidProduct, &product, sizeof d.guidProduct);
            offered.push_back({d, TestInputObject::Joystick});
        }
    }
    for (const auto& [instance, object] : offered) {
        ++calls[int(object)][int(TestInputOp::EnumCallback)];
        if (callback(&instance, context) == DIENUM_STOP) break;
    }
    return DI_OK;
}

Device* NewDevice(Kind kind) {
    Device* d = new Device;
    d->kind = kind;
    devices.push_back(d);
    ++liveObjects.inputDevices;
    return d;
}

HRESULT InputCreateDevice(DirectInput&, REFGUID guid, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    Kind kind;
    if (guid == GUID_SysKeyboard) {
        kind = Kind::Keyboard;
    } else if (guid == GUID_SysMouse) {
        kind = Kind::Mouse;
    } else if (IsJoystickGuid(guid)) {
        kind = Kind::Joystick;
    } else {
        if (out) *out = nullptr;
        return out ? DIERR_DEVICENOTREG : DIERR_INVALIDPARAM;
    }
    HRESULT result;
    if (out) *out = nullptr;
    if (Injected(ObjectOf(kind), TestInputOp::Create, &result)) return result;
    if (!out) return DIERR_INVALIDPARAM;
    if (outer) return kNoAggregation;
    if (iid != IID_IDirectInputDevice7A) return DIERR_NOINTERFACE;
    if (kind != Kind::Joystick) {
        *out = static_cast<IDirectInputDevice7A*>(NewDevice(kind));
        return DI_OK;
    }
    const SDL_JoystickID instance = SDL_JoystickID(guid.Data1);
    const int index = JoystickIndexOf(instance);
    if (index < 0) return DIERR_DEVICENOTREG;
    for (const auto& [refused, refusal] : uncreatableJoysticks) {
        if (refused == index) return refusal;
    }
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return DIERR_GENERIC;
    Device* d = NewDevice(kind);
    d->instance = instance;
    d->joystick = joystick;
    *out = static_cast<IDirectInputDevice7A*>(d);
    return DI_OK;
}

// --- devices ---

const DIDATAFORMAT& FormatFor(Kind kind) {
    switch (kind) {
        case Kind::Keyboard:
            return c_dfDIKeyboard;
        case Kind::Mouse:
            return c_dfDIMouse;
        case Kind::Joystick:
            return c_dfDIJoystick;
    }
    return c_dfDIKeyboard;
}

bool SameObject(const DIOBJECTDATAFORMAT& a, const DIOBJECTDATAFORMAT& b) {
    bool sameGuid = a.pguid == b.pguid || (a.pguid && b.pguid && *a.pguid == *b.pguid);
    return sameGuid && a.dwOfs == b.dwOfs && a.dwType == b.dwType && a.dwFlags == b.dwFlags;
}

// A format is taken when it describes the device's own record, object by object; the predefined ones do.
bool FitsDevice(const DIDATAFORMAT* format, Kind kind) {
    const DIDATAFORMAT& own = FormatFor(kind);
    if (format == &own) return true;
    if (!format || format->dwSize != own.dwSize || format->dwObjSize != own.dwObjSize ||
        format->dwFlags != own.dwFlags || format->dwDataSize != own.dwDataSize || format->dwNumObjs != own.dwNumObjs ||
        !format->rgodf) {
        return false;
    }
    for (DWORD i = 0; i < own.dwNumObjs; ++i) {
        if (!SameObject(format->rgodf[i], own.rgodf[i])) return false;
    }
    return true;
}

ULONG DeviceAddRef(Device& d) { return ++d.refs; }

ULONG DeviceRelease(Device& d) {
    HRESULT ignored;
    Injected(ObjectOf(d.kind), TestInputOp::Release, &ignored);
    const char* names[] = {"keyboard", "mouse", "joystick"};
    RecordRelease(names[int(d.kind)]);
    ULONG left = --d.refs;
    if (left == 0) {
        devices.erase(std::find(devices.begin(), devices.end(), &d));
        if (d.joystick) SDL_JoystickClose(d.joystick);
        delete &d;
        --liveObjects.inputDevices;
        UpdateMouseCapture();
    }
    return left;
}

HRESULT DeviceSetDataFormat(Device& d, LPCDIDATAFORMAT format) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::SetDataFormat, &result)) return result;
    if (d.acquired) return DIERR_ACQUIRED;
    if (!FitsDevice(format, d.kind)) return DIERR_INVALIDPARAM;
    d.format = &FormatFor(d.kind);
    return DI_OK;
}

HRESULT DeviceSetCooperativeLevel(Device& d, HWND window, DWORD flags) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::SetCooperativeLevel, &result)) return result;
    if (d.acquired) return DIERR_ACQUIRED;
    if (!PlatformSdlWindow(window)) return DIERR_INVALIDPARAM;
    const DWORD access = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    const DWORD when = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    if ((flags & ~(access | when)) != 0 || (access != DISCL_EXCLUSIVE && access != DISCL_NONEXCLUSIVE) ||
        (when != DISCL_FOREGROUND && when != DISCL_BACKGROUND)) {
        return DIERR_INVALIDPARAM;
    }
    if (d.kind == Kind::Keyboard && flags == (DISCL_EXCLUSIVE | DISCL_BACKGROUND)) return DIERR_UNSUPPORTED;
    // No other program shares our devices through this layer, so exclusive access behaves as non-exclusive.
    d.window = window;
    d.level = flags;
    return DI_OK;
}

HRESULT SetAxisProperty(Device& d, const DIPROPHEADER& header, bool range, LONG min, LONG max, DWORD deadZone) {
    int first = 0;
    int last = kAxes - 1;
    if (header.dwHow == DIPH_BYOFFSET) {
        if (header.dwObj % 4 != 0 || header.dwObj / 4 >= DWORD(kAxes)) return DIERR_OBJECTNOTFOUND;
        first = last = int(header.dwObj / 4);
    } else if (header.dwHow != DIPH_DEVICE || header.dwObj != 0) {
        return DIERR_INVALIDPARAM;
    }
    for (int i = first; i <= last; ++i) {
        if (range) {
            d.axes[i].min = min;
            d.axes[i].max = max;
        } else {
            d.axes[i].deadZone = deadZone;
        }
    }
    return DI_OK;
}

HRESULT DeviceSetProperty(Device& d, REFGUID property, LPCDIPROPHEADER header) {
    HRESULT result;
    const TestInputObject object = ObjectOf(d.kind);
    if (Injected(object, TestInputOp::SetProperty, &result)) return result;
    for (const PropertyRefusal& r : propertyRefusals) {
        if (r.object == object && r.property == property) return r.result;
    }
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (property == DIPROP_RANGE) {
        if (d.kind != Kind::Joystick) return DIERR_UNSUPPORTED;
        if (header->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
        const auto* p = reinterpret_cast<const DIPROPRANGE*>(header);
        if (p->lMin >= p->lMax) return DIERR_INVALIDPARAM;
        return SetAxisProperty(d, *header, true, p->lMin, p->lMax, 0);
    }
    if (property == DIPROP_DEADZONE) {
        if (d.kind != Kind::Joystick) return DIERR_UNSUPPORTED;
        if (header->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        const auto* p = reinterpret_cast<const DIPROPDWORD*>(header);
        if (p->dwData > 10000) return DIERR_INVALIDPARAM;
        return SetAxisProperty(d, *header, false, 0, 0, p->dwData);
    }
    if (property == DIPROP_AXISMODE) {
        if (d.kind != Kind::Mouse) return DIERR_UNSUPPORTED;
        if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE || header->dwObj != 0) {
            return DIERR_INVALIDPARAM;
        }
        const DWORD mode = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        if (mode != DIPROPAXISMODE_ABS && mode != DIPROPAXISMODE_REL) return DIERR_INVALIDPARAM;
        if (d.acquired) return DIERR_ACQUIRED;
        d.relativeAxes = mode == DIPROPAXISMODE_REL;
        return DI_OK;
    }
    return DIERR_UNSUPPORTED;
}

HRESULT DeviceAcquire(Device& d) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::Acquire, &result)) return result;
    if (!d.format) return DIERR_INVALIDPARAM;
    if (d.kind == Kind::Joystick && !SDL_JoystickGetAttached(d.joystick)) return DIERR_OBJECTNOTFOUND;
    if (Foreground(d) && !WindowInFront(d.window)) return DIERR_OTHERAPPHASPRIO;
    if (d.acquired) return DI_NOEFFECT;
    ClearGathered(d);
    d.acquired = true;
    d.lost = false;
    UpdateMouseCapture();
    return DI_OK;
}

HRESULT DeviceUnacquire(Device& d) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::Unacquire, &result)) return result;
    d.lost = false;
    if (!d.acquired) return DI_NOEFFECT;
    d.acquired = false;
    ClearGathered(d);
    UpdateMouseCapture();
    return DI_OK;
}

HRESULT DevicePoll(Device& d) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::Poll, &result)) return result;
    if (!StillHasInput(d)) return NotReadable(d);
    if (d.kind != Kind::Joystick) return DI_NOEFFECT;
    SDL_JoystickUpdate();
    return StillHasInput(d) ? DI_OK : NotReadable(d);
}

void ReadKeyboardState(Device& d, BYTE* out) {
    for (int i = 0; i < 256; ++i) out[i] = (keysDown[i] | d.keyLatch[i]) ? 0x80 : 0;
    std::memset(d.keyLatch, 0, sizeof d.keyLatch);
}

void ReadMouseState(Device& d, DIMOUSESTATE* out) {
    out->lX = d.motion[0];
    out->lY = d.motion[1];
    out->lZ = d.motion[2];
    for (int i = 0; i < 4; ++i) out->rgbButtons[i] = (buttonsDown[i] | d.buttonLatch[i]) ? 0x80 : 0;
    std::memset(d.buttonLatch, 0, sizeof d.buttonLatch);
    if (d.relativeAxes) std::memset(d.motion, 0, sizeof d.motion);
}

HRESULT DeviceGetState(Device& d, DWORD size, LPVOID data) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::GetDeviceState, &result)) {
        if (result == DIERR_INPUTLOST) {
            LoseInput(d);
            UpdateMouseCapture();
        }
        return result;
    }
    if (!data || (d.format && size != d.format->dwDataSize)) return DIERR_INVALIDPARAM;
    if (!StillHasInput(d)) return NotReadable(d);
    // Each record is filled whole in a local first: the caller's buffer may be unaligned.
    switch (d.kind) {
        case Kind::Keyboard: {
            BYTE keys[256];
            ReadKeyboardState(d, keys);
            std::memcpy(data, keys, sizeof keys);
            break;
        }
        case Kind::Mouse: {
            DIMOUSESTATE state;
            ReadMouseState(d, &state);
            std::memcpy(data, &state, sizeof state);
            break;
        }
        case Kind::Joystick: {
            DIJOYSTATE state;
            ReadJoystickState(d, &state);
            std::memcpy(data, &state, sizeof state);
            break;
        }
    }
    return DI_OK;
}

// --- SDL events, handed over by the window's event pump ---

void OnKey(const SDL_KeyboardEvent& key) {
    const int scancode = key.keysym.scancode;
    if (scancode < 0 || scancode >= SDL_NUM_SCANCODES) return;
    const BYTE dik = kScancodes.dik[scancode];
    if (dik == 0) return;
    const bool down = key.type == SDL_KEYDOWN;
    keysDown[dik] = down ? 1 : 0;
    if (!down) return;
    for (Device* d : devices) {
        if (d->kind == Kind::Keyboard && d->acquired) d->keyLatch[dik] = 1;
    }
}

int DeviceButton(Uint8 sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT:
            return 0;
        case SDL_BUTTON_RIGHT:
            return 1;
        case SDL_BUTTON_MIDDLE:
            return 2;
        case SDL_BUTTON_X1:
            return 3;
        default:
            return -1;
    }
}

void OnMouseButton(const SDL_MouseButtonEvent& button) {
    const int n = DeviceButton(button.button);
    if (n < 0) return;
    const bool down = button.type == SDL_MOUSEBUTTONDOWN;
    buttonsDown[n] = down ? 1 : 0;
    if (!down) return;
    for (Device* d : devices) {
        if (d->kind == Kind::Mouse && d->acquired) d->buttonLatch[n] = 1;
    }
}

void AddMotion(int axis, int64_t delta) {
    for (Device* d : devices) {
        if (d->kind == Kind::Mouse && d->acquired) d->motion[axis] = SaturatingAdd(d->motion[axis], delta);
    }
}

void OnMouseWheel(const SDL_MouseWheelEvent& wheel) {
    int64_t notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -int64_t(wheel.y) : int64_t(wheel.y);
    AddMotion(2, notches * kWheelDelta);
}

void OnFocusLost(Uint32 windowId) {
    std::memset(keysDown, 0, sizeof keysDown);
    std::memset(buttonsDown, 0, sizeof buttonsDown);
    for (Device* d : devices) {
        ClearGathered(*d);
        SDL_Window* window = PlatformSdlWindow(d->window);
        bool ownWindow = !window || SDL_GetWindowID(window) == windowId;
        if (Foreground(*d) && ownWindow) LoseInput(*d);
    }
    UpdateMouseCapture();
}

void OnJoystickRemoved(SDL_JoystickID instance) {
    for (Device* d : devices) {
        if (d->kind == Kind::Joystick && d->instance == instance) LoseInput(*d);
    }
}

}  // namespace

void InputOnEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            OnKey(event.key);
            break;
        case SDL_MOUSEMOTION:
            AddMotion(0, event.motion.xrel);
            AddMotion(1, event.motion.yrel);
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            OnMouseButton(event.button);
            break;
        case SDL_MOUSEWHEEL:
            OnMouseWheel(event.wheel);
            break;
        case SDL_WINDOWEVENT:
            if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) OnFocusLost(event.window.windowID);
            break;
        case SDL_JOYDEVICEREMOVED:
            OnJoystickRemoved(event.jdevice.which);
            break;
        default:
            break;
    }
}

HRESULT WINAPI DirectInputCreateEx(HINSTANCE, DWORD version, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    HRESULT result;
    if (out) *out = nullptr;
    if (Injected(TestInputObject::DirectInput, TestInputOp::Create, &result)) return result;
    if (!out || version != 0x0700) return DIERR_INVALIDPARAM;
    if (outer) return kNoAggregation;
    if (iid != IID_IDirectInput7A) return DIERR_NOINTERFACE;
    // Mouse counts are the device's, not the picture's: SDL would otherwise divide them by the
    // renderer's scale. Without SDL's joystick subsystem there are simply no joysticks to enumerate.
    SDL_SetHint(SDL_HINT_MOUSE_RELATIVE_SCALING, "0");
    PlatformInitJoystick();
    DirectInput* di = new DirectInput;
    ++liveObjects.directInputs;
    *out = static_cast<IDirectInput7A*>(di);
    return DI_OK;
}

ULONG IDirectInput7A::AddRef() { return InputAddRef(*static_cast<DirectInput*>(this)); }
ULONG IDirectInput7A::Release() { return InputRelease(*static_cast<DirectInput*>(this)); }
HRESULT IDirectInput7A::CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    return InputCreateDevice(*static_cast<DirectInput*>(this), device, iid, out, outer);
}
HRESULT IDirectInput7A::EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) {
    return InputEnumDevices(*static_cast<DirectInput*>(this), type, callback, context, flags);
}

ULONG IDirectInputDevice7A::AddRef() { return DeviceAddRef(*static_cast<Device*>(this)); }
ULONG IDirectInputDevice7A::Release() { return DeviceRelease(*static_cast<Device*>(this)); }
HRESULT IDirectInputDevice7A::SetDataFormat(LPCDIDATAFORMAT format) {
    return DeviceSetDataFormat(*static_cast<Device*>(this), format);
}
HRESULT IDirectInputDevice7A::SetCooperativeLevel(HWND window, DWORD flags) {
    return DeviceSetCooperativeLevel(*static_cast<Device*>(this), window, flags);
}
HRESULT IDirectInputDevice7A::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    return DeviceSetProperty(*static_cast<Device*>(this), property, header);
}
HRESULT IDirectInputDevice7A::Acquire() { return DeviceAcquire(*static_cast<Device*>(this)); }
HRESULT IDirectInputDevice7A::Unacquire() { return DeviceUnacquire(*static_cast<Device*>(this)); }
HRESULT IDirectInputDevice7A::Poll() { return DevicePoll(*static_cast<Device*>(this)); }
HRESULT IDirectInputDevice7A::GetDeviceState(DWORD size, LPVOID data) {
    return DeviceGetState(*static_cast<Device*>(this), size, data);
}

// --- test hooks ---

int TestInputCalls(TestInputObject object, TestInputOp op) {
    if (object >= TestInputObject::Count || op >= TestInputOp::Count) return 0;
    return calls[int(object)][int(op)];
}

void TestResetInputCalls() { std::memset(calls, 0, sizeof calls); }

void TestFailInputOp(TestInputObject object, TestInputOp op, HRESULT result, int count) {
    if (object >= TestInputObject::Count || op >= TestInputOp::Count) return;
    faults[int(object)][int(op)] = {result, count < 0 ? -1 : count};
}

void TestRefuseInputProperty(TestInputObject object, const GUID& property, HRESULT result) {
    std::erase_if(propertyRefusals,
                  [&](const PropertyRefusal& r) { return r.object == object && r.property == property; });
    if (result != S_OK) propertyRefusals.push_back({object, property, result});
}

void TestMakeJoystickUncreatable(int sdlIndex, HRESULT result) {
    std::erase_if(uncreatableJoysticks, [&](const auto& entry) { return entry.first == sdlIndex; });
    if (result != S_OK) uncreatableJoysticks.push_back({sdlIndex, result});
}

int TestAttachJoystick(int axes, int buttons, int hats) {
    if (!PlatformInitJoystick()) return -1;
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, axes, buttons, hats);
    if (index < 0) return -1;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return -1;
    testJoysticks.push_back(joystick);
    return SDL_JoystickInstanceID(joystick);
}

namespace {
SDL_Joystick* TestJoystick(int instance) {
    for (SDL_Joystick* j : testJoysticks) {
        if (SDL_JoystickInstanceID(j) == instance) return j;
    }
    return nullptr;
}
}  // namespace

void TestDetachJoystick(int joystick) {
    SDL_Joystick* j = TestJoystick(joystick);
    if (!j) return;
    const int index = JoystickIndexOf(joystick);
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    std::erase(testJoysticks, j);
    SDL_JoystickClose(j);
}

void TestSetJoystickAxis(int joystick, int axis, int16_t value) {
    if (SDL_Joystick* j = TestJoystick(joystick)) SDL_JoystickSetVirtualAxis(j, axis, value);
}

void TestSetJoystickButton(int joystick, int button, bool down) {
    if (SDL_Joystick* j = TestJoystick(joystick)) SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0);
}

void TestSetJoystickHat(int joystick, int hat, uint8_t value) {
    if (SDL_Joystick* j = TestJoystick(joystick)) SDL_JoystickSetVirtualHat(j, hat, value);
}

bool TestMouseCaptured() { return mouseCaptured; }
