// SDL's joysticks as DirectInput's joystick devices read them: the attached ones in index order, their axes mapped
// to a device's range and dead zone, their hats as POV directions; and SDL's virtual joysticks for the tests.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <vector>

namespace {

constexpr DWORD kPovCentred = 0xFFFFFFFF;
constexpr int kPovs = 4;
constexpr int kButtons = 32;

// Maps SDL's -32768..32767 onto the axis's range; inside the dead zone the centre, beyond it scaled so that the
// end still reads the end. Rounded away from the centre so leaving the dead zone always shows.
LONG MapAxis(Sint16 raw, const JoystickAxis& a) {
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

int IndexOf(SDL_JoystickID instance) {
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return -1;
    for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
        if (SDL_JoystickGetDeviceInstanceID(i) == instance) return i;
    }
    return -1;
}

// The virtual joysticks the tests attached, held open so their values can be set.
std::vector<SDL_Joystick*> testJoysticks;

SDL_Joystick* TestJoystick(int instance) {
    for (SDL_Joystick* j : testJoysticks) {
        if (SDL_JoystickInstanceID(j) == instance) return j;
    }
    return nullptr;
}

}  // namespace

std::vector<JoystickInfo> JoystickList() {
    std::vector<JoystickInfo> list;
    if (!SDL_WasInit(SDL_INIT_JOYSTICK)) return list;
    for (int i = 0, n = SDL_NumJoysticks(); i < n; ++i) {
        const SDL_JoystickID instance = SDL_JoystickGetDeviceInstanceID(i);
        if (instance < 0) continue;
        list.push_back({instance, i, SDL_JoystickGetDeviceGUID(i), SDL_JoystickNameForIndex(i)});
    }
    return list;
}

int JoystickIndexOf(SDL_JoystickID instance) { return IndexOf(instance); }

SDL_Joystick* JoystickOpen(SDL_JoystickID instance) {
    const int index = IndexOf(instance);
    return index < 0 ? nullptr : SDL_JoystickOpen(index);
}

void JoystickRead(SDL_Joystick* joystick, const JoystickAxis* axes, DIJOYSTATE* state) {
    *state = {};
    LONG* axisFields[kJoystickAxes] = {&state->lX,  &state->lY,  &state->lZ,           &state->lRx,
                                       &state->lRy, &state->lRz, &state->rglSlider[0], &state->rglSlider[1]};
    const int axisCount = std::min(SDL_JoystickNumAxes(joystick), kJoystickAxes);
    for (int i = 0; i < axisCount; ++i) *axisFields[i] = MapAxis(SDL_JoystickGetAxis(joystick, i), axes[i]);
    const int hats = std::max(0, SDL_JoystickNumHats(joystick));
    for (int i = 0; i < kPovs; ++i) {
        state->rgdwPOV[i] = i < hats ? PovFromHat(SDL_JoystickGetHat(joystick, i)) : kPovCentred;
    }
    const int buttons = std::min(SDL_JoystickNumButtons(joystick), kButtons);
    for (int i = 0; i < buttons; ++i) state->rgbButtons[i] = SDL_JoystickGetButton(joystick, i) ? 0x80 : 0;
}

// SDL names a virtual joystick's product by its vendor and product ids when both are given, else by its name alone.
int TestAttachJoystickOfProduct(int axes, int buttons, int hats, uint16_t product) {
    if (!SystemInitJoystick()) return -1;
    SDL_VirtualJoystickDesc pad = {};
    pad.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    pad.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    pad.naxes = Uint16(axes);
    pad.nbuttons = Uint16(buttons);
    pad.nhats = Uint16(hats);
    pad.vendor_id = product;
    pad.product_id = product;
    const int index = SDL_JoystickAttachVirtualEx(&pad);
    if (index < 0) return -1;
    SDL_Joystick* joystick = SDL_JoystickOpen(index);
    if (!joystick) return -1;
    testJoysticks.push_back(joystick);
    return SDL_JoystickInstanceID(joystick);
}

int TestAttachJoystick(int axes, int buttons, int hats) { return TestAttachJoystickOfProduct(axes, buttons, hats, 0); }

void TestDetachJoystick(int joystick) {
    SDL_Joystick* j = TestJoystick(joystick);
    if (!j) return;
    const int index = IndexOf(joystick);
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
