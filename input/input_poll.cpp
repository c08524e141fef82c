// The per-frame input snapshots the scenes take: keys, mouse motion and buttons, joystick bits.
#include "input/input.h"

// The input-test and walk scenes call this once per frame, while keyboardDevice exists.
void ReadKeyboard() {
    HRESULT result = app.keyboardDevice->GetDeviceState(sizeof(app.keys), app.keys);
    // A failed read leaves nothing held: the last snapshot would otherwise walk the sprite on its own.
    if (result < 0) ZeroMemory(app.keys, sizeof(app.keys));
    // Losing the foreground is the one failure worth acting on; the next call reads again.
    if (result == DIERR_INPUTLOST) app.keyboardDevice->Acquire();
}

// The input-test scene calls this once per frame, while mouseDevice exists.
void ReadMouse() {
    HRESULT result = app.mouseDevice->GetDeviceState(sizeof(app.mouseState), &app.mouseState);
    // A failed read is no motion and no button: the last motion would otherwise drift the cursor again.
    if (result < 0) ZeroMemory(&app.mouseState, sizeof(app.mouseState));
    if (result == DIERR_INPUTLOST) app.mouseDevice->Acquire();
}

// The scenes call this only when joystickDevice is not null; a failed read leaves the record zero,
// so no bit is set.
void ReadJoystick() {
    app.joyBits = 0;
    app.joystickDevice->Poll();

    DIJOYSTATE state;
    ZeroMemory(&state, sizeof(state));
    HRESULT result = app.joystickDevice->GetDeviceState(sizeof(state), &state);
    if (result == DIERR_INPUTLOST) app.joystickDevice->Acquire();

    if (state.lY < 0) app.joyBits |= JOY_UP;
    if (state.lY > 0) app.joyBits |= JOY_DOWN;
    if (state.lX < 0) app.joyBits |= JOY_LEFT;
    if (state.lX > 0) app.joyBits |= JOY_RIGHT;
    for (int n = 0; n < 10; ++n) {
        if (state.rgbButtons[n] & 0x80) app.joyBits |= JOY_BUTTON0 << n;
    }
}
