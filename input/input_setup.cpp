// Input device set-up at start-up and teardown at the window's destruction.
#include "input/input.h"

// Start-up calls this after the display is up; the three device functions below all need it.
bool InitDirectInput(HINSTANCE instance) {
    HRESULT result = DirectInputCreateEx(instance, DIRECTINPUT_VERSION, IID_IDirectInput7A,
                                         reinterpret_cast<LPVOID*>(&app.directInput), NULL);
    return result >= 0;
}

// Start-up's second input step; a false result ends start-up. What was made stays for ReleaseInput.
bool InitKeyboard(HWND window) {
    if (app.directInput->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A,
                                        reinterpret_cast<LPVOID*>(&app.keyboardDevice), NULL) < 0) {
        return false;
    }
    if (app.keyboardDevice->SetDataFormat(&c_dfDIKeyboard) < 0) return false;
    if (app.keyboardDevice->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND) < 0) return false;
    // A refused acquire is put right by the first read that reports the input lost.
    app.keyboardDevice->Acquire();
    return true;
}

// The joystick is optional: start-up only notes its absence. A device created here but refused a later
// step stays in joystickDevice, and the scenes read it (and get nothing) as for any present joystick.
bool InitJoystick(HWND window) {
    app.directInput->EnumDevices(DIDEVTYPE_JOYSTICK, JoystickEnumProc, NULL, DIEDFL_ATTACHEDONLY);
    if (app.joystickDevice == NULL) return false;
    if (app.joystickDevice->SetDataFormat(&c_dfDIJoystick) < 0) return false;
    if (app.joystickDevice->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND) < 0) return false;

    // A stick that keeps its own range or dead zone is still usable; only the sign of each axis matters.
    DIPROPRANGE range;
    ZeroMemory(&range, sizeof(range));
    range.diph.dwSize = sizeof(DIPROPRANGE);
    range.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    range.diph.dwHow = DIPH_BYOFFSET;
    range.lMin = -1000;
    range.lMax = 1000;
    range.diph.dwObj = DIJOFS_X;
    app.joystickDevice->SetProperty(DIPROP_RANGE, &range.diph);
    range.diph.dwObj = DIJOFS_Y;
    app.joystickDevice->SetProperty(DIPROP_RANGE, &range.diph);

    DIPROPDWORD deadZone;
    deadZone.diph.dwSize = sizeof(DIPROPDWORD);
    deadZone.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    deadZone.diph.dwHow = DIPH_BYOFFSET;
    deadZone.dwData = 2500;
    deadZone.diph.dwObj = DIJOFS_X;
    app.joystickDevice->SetProperty(DIPROP_DEADZONE, &deadZone.diph);
    deadZone.diph.dwObj = DIJOFS_Y;
    app.joystickDevice->SetProperty(DIPROP_DEADZONE, &deadZone.diph);

    app.joystickDevice->Acquire();
    return true;
}

// Called by the enumeration InitJoystick starts, once per attached joystick until one can be created.
BOOL CALLBACK JoystickEnumProc(LPCDIDEVICEINSTANCEA device, LPVOID) {
    if (app.directInput->CreateDeviceEx(device->guidInstance, IID_IDirectInputDevice7A,
                                        reinterpret_cast<LPVOID*>(&app.joystickDevice), NULL) < 0) {
        return DIENUM_CONTINUE;
    }
    return DIENUM_STOP;
}

// Start-up's last input step; the cursor needs motion counts, so a mouse that refuses them is a failure.
bool InitMouse(HWND window) {
    if (app.directInput->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A,
                                        reinterpret_cast<LPVOID*>(&app.mouseDevice), NULL) < 0) {
        return false;
    }
    if (app.mouseDevice->SetDataFormat(&c_dfDIMouse) < 0) return false;
    if (app.mouseDevice->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND) < 0) return false;

    DIPROPDWORD axisMode;
    axisMode.diph.dwSize = sizeof(DIPROPDWORD);
    axisMode.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    axisMode.diph.dwObj = 0;
    axisMode.diph.dwHow = DIPH_DEVICE;
    axisMode.dwData = DIPROPAXISMODE_REL;
    if (app.mouseDevice->SetProperty(DIPROP_AXISMODE, &axisMode.diph) < 0) return false;

    app.mouseDevice->Acquire();
    return true;
}

// The window procedure calls this on WM_DESTROY, before the display goes; safe at any time, and twice.
// Devices go first, without Unacquire, and the DirectInput object that made them last.
void ReleaseInput() {
    if (app.keyboardDevice != NULL) {
        app.keyboardDevice->Release();
        app.keyboardDevice = NULL;
    }
    if (app.mouseDevice != NULL) {
        app.mouseDevice->Release();
        app.mouseDevice = NULL;
    }
    if (app.joystickDevice != NULL) {
        app.joystickDevice->Release();
        app.joystickDevice = NULL;
    }
    if (app.directInput != NULL) {
        app.directInput->Release();
        app.directInput = NULL;
    }
}
