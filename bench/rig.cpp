// The benchmarks' program: its own start-up steps, the window and display once, the input per benchmark.
#include "bench/rig.h"

#include "app/app.h"
#include "display/display.h"
#include "input/input.h"
#include "platform/testing.h"

namespace {

HWND window = nullptr;
bool displayTried = false;

bool DisplayUp() {
    if (!displayTried) {
        displayTried = true;
        window = InitWindow(GetModuleHandleA(NULL), SW_SHOWNORMAL);
        // A failed display set-up has already destroyed the window.
        if (window && InitDirectDraw(window) != DD_OK) window = nullptr;
    }
    return window != nullptr;
}

}  // namespace

BenchRig::BenchRig(bool withPad) {
    if (!DisplayUp()) return;
    if (withPad) pad_ = TestAttachJoystick(6, 15, 1);
    const HINSTANCE instance = GetModuleHandleA(NULL);
    if (!InitDirectInput(instance) || !InitKeyboard(window) || (withPad && !InitJoystick(window)) || !InitMouse(window))
        return;
    up_ = true;
}

BenchRig::~BenchRig() {
    ReleaseInput();
    if (pad_ >= 0) TestDetachJoystick(pad_);
}

void BenchRigClose() {
    if (window) DestroyWindow(window);
    window = nullptr;
}
