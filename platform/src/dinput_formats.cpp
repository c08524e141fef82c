// The identifiers DirectInput programs name and the predefined data formats of the keyboard, the mouse and the
// joystick, which SetDataFormat holds a format against.
#include "platform/src/platform.h"

#include <cstddef>

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

constexpr DWORD kDidfAbsAxis = 0x1;
constexpr DWORD kDidfRelAxis = 0x2;
constexpr DWORD kDidftAxis = 0x3;
constexpr DWORD kDidftButton = 0xC;
constexpr DWORD kDidftPov = 0x10;
constexpr DWORD kDidftAnyInstance = 0x00FFFF00;
constexpr DWORD kDidftOptional = 0x80000000;
constexpr DWORD MakeInstance(DWORD n) { return n << 8; }

constexpr int kAxes = kJoystickAxes;  // four bytes apart from offset 0
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

static_assert(sizeof(DIMOUSESTATE) == 16 && sizeof(DIJOYSTATE) == 80);
static_assert(kJoystickAxes * 4 == offsetof(DIJOYSTATE, rgdwPOV));

namespace {

bool SameObject(const DIOBJECTDATAFORMAT& a, const DIOBJECTDATAFORMAT& b) {
    bool sameGuid = a.pguid == b.pguid || (a.pguid && b.pguid && *a.pguid == *b.pguid);
    return sameGuid && a.dwOfs == b.dwOfs && a.dwType == b.dwType && a.dwFlags == b.dwFlags;
}

}  // namespace

// SetDataFormat takes a format that describes the device's own record, object by object, as the predefined ones do.
bool FormatsFit(const DIDATAFORMAT* format, const DIDATAFORMAT& own) {
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
