// DirectInput 7 on SDL: the keyboard and mouse kept from SDL's events, joysticks read through joystick.cpp.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

// A joystick's instance GUID carries its SDL instance id in Data1 and this fixed tail elsewhere.
constexpr WORD kJoystickGuidData2 = 0x4A4F;
constexpr WORD kJoystickGuidData3 = 0x5953;
constexpr BYTE kJoystickGuidData4[8] = {'d', 'i', 't', 'e', 's', 's', 'r', 'y'};

constexpr HRESULT kNoAggregation = (HRESULT)0x80040110;
constexpr LONG kWheelDelta = 120;
enum class Kind { Keyboard, Mouse, Joystick };

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
    SDL_JoystickGUID product = {};  // what a joystick plugged in later must be to take this one's place
    JoystickAxis axes[kJoystickAxes];
};

struct PropertyRefusal {
    TestInputObject object;
    GUID property;
    HRESULT result;
};

struct Input {
    BYTE keysDown[256] = {};  // by DirectInput code, whatever device reads them
    BYTE buttonsDown[4] = {};
    bool mouseCaptured = false;
    FaultSite faults[int(TestInputObject::Count)][int(TestInputOp::Count)];
    std::vector<PropertyRefusal> propertyRefusals;
    std::vector<std::pair<int, HRESULT>> uncreatableJoysticks;
    Uint64 searchedMs = 0;  // when the pump last had SDL look for sticks plugged in or pulled out
};
Input input;

// Often enough that a stick plugged back in is read again before anyone notices, rarely enough to cost nothing.
constexpr Uint64 kJoystickSearchMs = 100;

template <typename Visit>
void EachDevice(Visit visit) {
    ObjectsEach<Device>(ObjectKind::InputDevice, [&](Device* d) { visit(*d); });
}

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
    return input.faults[int(object)][int(op)].Strike(result);
}

LONG SaturatingAdd(LONG total, int64_t delta) {
    int64_t sum = int64_t(total) + delta;
    sum = std::clamp<int64_t>(sum, std::numeric_limits<LONG>::min(), std::numeric_limits<LONG>::max());
    return LONG(sum);
}

// --- foreground cooperation ---

bool WindowInFront(HWND window) {
    const HWND__* live = ObjectsFind<HWND__>(ObjectKind::Window, window);
    return live && live->focused;
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
    EachDevice([&](const Device& d) {
        if (d.kind == Kind::Mouse && d.acquired && Foreground(d) && WindowInFront(d.window)) want = true;
    });
    if (want == input.mouseCaptured) return;
    input.mouseCaptured = want;
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
    ObjectsNoteRelease("DirectInput");
    ULONG left = --di.refs;
    if (left == 0) {
        ObjectsRemove(ObjectKind::DirectInput, &di);
        delete &di;
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
    if (type == 0 || type == DIDEVTYPE_JOYSTICK) {
        for (const JoystickInfo& joystick : JoystickList()) {
            DIDEVICEINSTANCEA d =
                SystemInstance(JoystickInstanceGuid(joystick.instance), DIDEVTYPE_JOYSTICK, joystick.name);
            static_assert(sizeof joystick.product == sizeof d.guidProduct);
            std::memcpy(&d.guidProduct, &joystick.product, sizeof d.guidProduct);
            offered.push_back({d, TestInputObject::Joystick});
        }
    }
    for (const auto& [instance, object] : offered) {
        ++input.faults[int(object)][int(TestInputOp::EnumCallback)].calls;
        if (callback(&instance, context) == DIENUM_STOP) break;
    }
    return DI_OK;
}

Device* NewDevice(Kind kind) {
    Device* d = new Device;
    d->kind = kind;
    ObjectsAdd(ObjectKind::InputDevice, d);
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
    for (const auto& [refused, refusal] : input.uncreatableJoysticks) {
        if (refused == index) return refusal;
    }
    SDL_Joystick* joystick = JoystickOpen(instance);
    if (!joystick) return DIERR_GENERIC;
    Device* d = NewDevice(kind);
    d->instance = instance;
    d->joystick = joystick;
    d->product = SDL_JoystickGetGUID(joystick);
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

ULONG DeviceAddRef(Device& d) { return ++d.refs; }

ULONG DeviceRelease(Device& d) {
    HRESULT ignored;
    Injected(ObjectOf(d.kind), TestInputOp::Release, &ignored);
    const char* names[] = {"keyboard", "mouse", "joystick"};
    ObjectsNoteRelease(names[int(d.kind)]);
    ULONG left = --d.refs;
    if (left == 0) {
        ObjectsRemove(ObjectKind::InputDevice, &d);
        if (d.joystick) SDL_JoystickClose(d.joystick);
        delete &d;
        UpdateMouseCapture();
    }
    return left;
}

HRESULT DeviceSetDataFormat(Device& d, LPCDIDATAFORMAT format) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::SetDataFormat, &result)) return result;
    if (d.acquired) return DIERR_ACQUIRED;
    if (!FormatsFit(format, FormatFor(d.kind))) return DIERR_INVALIDPARAM;
    d.format = &FormatFor(d.kind);
    return DI_OK;
}

HRESULT DeviceSetCooperativeLevel(Device& d, HWND window, DWORD flags) {
    HRESULT result;
    if (Injected(ObjectOf(d.kind), TestInputOp::SetCooperativeLevel, &result)) return result;
    if (d.acquired) return DIERR_ACQUIRED;
    if (!ObjectsHas(ObjectKind::Window, window)) return DIERR_INVALIDPARAM;
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
    int last = kJoystickAxes - 1;
    if (header.dwHow == DIPH_BYOFFSET) {
        if (header.dwObj % 4 != 0 || header.dwObj / 4 >= DWORD(kJoystickAxes)) return DIERR_OBJECTNOTFOUND;
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
    for (const PropertyRefusal& r : input.propertyRefusals) {
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
    for (int i = 0; i < 256; ++i) out[i] = (input.keysDown[i] | d.keyLatch[i]) ? 0x80 : 0;
    std::memset(d.keyLatch, 0, sizeof d.keyLatch);
}

void ReadMouseState(Device& d, DIMOUSESTATE* out) {
    out->lX = d.motion[0];
    out->lY = d.motion[1];
    out->lZ = d.motion[2];
    for (int i = 0; i < 4; ++i) out->rgbButtons[i] = (input.buttonsDown[i] | d.buttonLatch[i]) ? 0x80 : 0;
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
            JoystickRead(d.joystick, d.axes, &state);
            std::memcpy(data, &state, sizeof state);
            break;
        }
    }
    return DI_OK;
}

// --- SDL events, handed over by the window's event pump ---

// DirectInput numbers the physical key, whatever the keyboard layout makes of it.
void OnKey(const SDL_KeyboardEvent& key) {
    const KeyRow* row = KeyFind(key.keysym.scancode);
    if (row == nullptr) return;
    const BYTE dik = row->dik;
    const bool down = key.type == SDL_KEYDOWN;
    input.keysDown[dik] = down ? 1 : 0;
    if (!down) return;
    EachDevice([&](Device& d) {
        if (d.kind == Kind::Keyboard && d.acquired) d.keyLatch[dik] = 1;
    });
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
    input.buttonsDown[n] = down ? 1 : 0;
    if (!down) return;
    EachDevice([&](Device& d) {
        if (d.kind == Kind::Mouse && d.acquired) d.buttonLatch[n] = 1;
    });
}

void AddMotion(int axis, int64_t delta) {
    EachDevice([&](Device& d) {
        if (d.kind == Kind::Mouse && d.acquired) d.motion[axis] = SaturatingAdd(d.motion[axis], delta);
    });
}

void OnMouseWheel(const SDL_MouseWheelEvent& wheel) {
    int64_t notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -int64_t(wheel.y) : int64_t(wheel.y);
    AddMotion(2, notches * kWheelDelta);
}

void OnFocusLost(Uint32 windowId) {
    std::memset(input.keysDown, 0, sizeof input.keysDown);
    std::memset(input.buttonsDown, 0, sizeof input.buttonsDown);
    EachDevice([&](Device& d) {
        ClearGathered(d);
        const HWND__* window = ObjectsFind<HWND__>(ObjectKind::Window, d.window);
        bool ownWindow = !window || window->sdlWindowId == windowId;
        if (Foreground(d) && ownWindow) LoseInput(d);
    });
    UpdateMouseCapture();
}

void OnJoystickRemoved(SDL_JoystickID instance) {
    EachDevice([&](Device& d) {
        if (d.kind == Kind::Joystick && d.instance == instance) LoseInput(d);
    });
}

bool ReadByADevice(SDL_JoystickID instance) {
    bool read = false;
    EachDevice([&](const Device& d) { read = read || (d.kind == Kind::Joystick && d.instance == instance); });
    return read;
}

// A joystick pulled out and plugged back in is a new SDL joystick; the device that read it takes the new one and
// keeps its range and dead zone, so the program's next Acquire finds it. Another make plugged in meanwhile is not
// taken, nor a joystick another device already reads.
void Reattach(Device& d, const std::vector<JoystickInfo>& attached) {
    for (const JoystickInfo& candidate : attached) {
        if (SDL_memcmp(&candidate.product, &d.product, sizeof d.product) != 0 || ReadByADevice(candidate.instance)) {
            continue;
        }
        SDL_Joystick* joystick = JoystickOpen(candidate.instance);
        if (!joystick) continue;
        SDL_JoystickClose(d.joystick);
        d.joystick = joystick;
        d.instance = candidate.instance;
        return;
    }
}

void OnJoystickAdded() {
    const std::vector<JoystickInfo> attached = JoystickList();
    EachDevice([&](Device& d) {
        if (d.kind == Kind::Joystick && !SDL_JoystickGetAttached(d.joystick)) Reattach(d, attached);
    });
}

// Every method first finds its object among the live ones: a released interface answers without touching anything.
DirectInput* FindInput(IDirectInput7A* di) { return ObjectsFind<DirectInput>(ObjectKind::DirectInput, di); }
Device* FindDevice(IDirectInputDevice7A* d) { return ObjectsFind<Device>(ObjectKind::InputDevice, d); }

}  // namespace

void InputBeforePump() {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return;
    const Uint64 now = SDL_GetTicks64();
    if (input.searchedMs != 0 && now - input.searchedMs < kJoystickSearchMs) return;
    input.searchedMs = now;
    SDL_JoystickUpdate();
}

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
        case SDL_JOYDEVICEADDED:
            OnJoystickAdded();
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
    SystemInitJoystick();
    DirectInput* di = new DirectInput;
    ObjectsAdd(ObjectKind::DirectInput, di);
    *out = static_cast<IDirectInput7A*>(di);
    return DI_OK;
}

ULONG IDirectInput7A::AddRef() {
    DirectInput* di = FindInput(this);
    return di ? InputAddRef(*di) : 0;
}
ULONG IDirectInput7A::Release() {
    DirectInput* di = FindInput(this);
    return di ? InputRelease(*di) : 0;
}
HRESULT IDirectInput7A::CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer) {
    DirectInput* di = FindInput(this);
    return di ? InputCreateDevice(*di, device, iid, out, outer) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInput7A::EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID context, DWORD flags) {
    DirectInput* di = FindInput(this);
    return di ? InputEnumDevices(*di, type, callback, context, flags) : DIERR_NOTINITIALIZED;
}

ULONG IDirectInputDevice7A::AddRef() {
    Device* d = FindDevice(this);
    return d ? DeviceAddRef(*d) : 0;
}
ULONG IDirectInputDevice7A::Release() {
    Device* d = FindDevice(this);
    return d ? DeviceRelease(*d) : 0;
}
HRESULT IDirectInputDevice7A::SetDataFormat(LPCDIDATAFORMAT format) {
    Device* d = FindDevice(this);
    return d ? DeviceSetDataFormat(*d, format) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::SetCooperativeLevel(HWND window, DWORD flags) {
    Device* d = FindDevice(this);
    return d ? DeviceSetCooperativeLevel(*d, window, flags) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::SetProperty(REFGUID property, LPCDIPROPHEADER header) {
    Device* d = FindDevice(this);
    return d ? DeviceSetProperty(*d, property, header) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::Acquire() {
    Device* d = FindDevice(this);
    return d ? DeviceAcquire(*d) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::Unacquire() {
    Device* d = FindDevice(this);
    return d ? DeviceUnacquire(*d) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::Poll() {
    Device* d = FindDevice(this);
    return d ? DevicePoll(*d) : DIERR_NOTINITIALIZED;
}
HRESULT IDirectInputDevice7A::GetDeviceState(DWORD size, LPVOID data) {
    Device* d = FindDevice(this);
    return d ? DeviceGetState(*d, size, data) : DIERR_NOTINITIALIZED;
}

// --- test hooks ---

int TestInputCalls(TestInputObject object, TestInputOp op) {
    if (object >= TestInputObject::Count || op >= TestInputOp::Count) return 0;
    return input.faults[int(object)][int(op)].calls;
}

void TestResetInputCalls() {
    for (auto& sites : input.faults) {
        for (FaultSite& site : sites) site.calls = 0;
    }
}

void TestFailInputOp(TestInputObject object, TestInputOp op, HRESULT result, int count) {
    if (object >= TestInputObject::Count || op >= TestInputOp::Count) return;
    input.faults[int(object)][int(op)].Arm(result, count < 0 ? -1 : count);
}

void TestRefuseInputProperty(TestInputObject object, const GUID& property, HRESULT result) {
    std::erase_if(input.propertyRefusals,
                  [&](const PropertyRefusal& r) { return r.object == object && r.property == property; });
    if (result != S_OK) input.propertyRefusals.push_back({object, property, result});
}

void TestMakeJoystickUncreatable(int sdlIndex, HRESULT result) {
    std::erase_if(input.uncreatableJoysticks, [&](const auto& entry) { return entry.first == sdlIndex; });
    if (result != S_OK) input.uncreatableJoysticks.push_back({sdlIndex, result});
}

bool TestMouseCaptured() { return input.mouseCaptured; }

void TestClearInputHooks() {
    for (auto& sites : input.faults) {
        for (FaultSite& site : sites) site = {};
    }
    input.propertyRefusals.clear();
    input.uncreatableJoysticks.clear();
    std::memset(input.keysDown, 0, sizeof input.keysDown);
    std::memset(input.buttonsDown, 0, sizeof input.buttonsDown);
}
