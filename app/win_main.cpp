// The program's entry point, its one window and the window procedure that turns messages into state.
#include "app/app.h"
#include "display/display.h"
#include "input/input.h"

namespace {

// A start-up that stops ends the program with this status, so whoever started it can tell it failed.
constexpr int kStartupFailed = 1;

}  // namespace

// Called once by the platform. Start-up runs in a fixed order and stops at the first failure; the joystick
// alone is optional.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    HWND window = InitWindow(instance, showCommand);
    if (window == NULL) return kStartupFailed;
    // A failed display step has already shown its message box and destroyed the window.
    if (InitDirectDraw(window) != DD_OK) return kStartupFailed;
    if (!InitDirectInput(instance)) return kStartupFailed;
    if (!InitKeyboard(window)) return kStartupFailed;
    if (!InitJoystick(window)) OutputDebugStringA("Joypad Not Found\n");
    if (!InitMouse(window)) return kStartupFailed;
    return RunMessageLoop();
}

// Called by WinMain first. Showing the window activates it, which sets active before the display exists.
HWND InitWindow(HINSTANCE instance, int showCommand) {
    WNDCLASSA windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(NULL, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    // The program carries no menu resource of this name, so the window has no menu.
    windowClass.lpszMenuName = "DITessary";
    windowClass.lpszClassName = "DITessary";
    if (!RegisterClassA(&windowClass)) return NULL;

    HWND window = CreateWindowExA(WS_EX_TOPMOST, "DITessary", "DirectInput Tessary", WS_OVERLAPPEDWINDOW, 0, 0, 640,
                                  480, NULL, NULL, instance, NULL);
    if (window == NULL) return NULL;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    SetFocus(window);
    return window;
}

// Runs inside DispatchMessageA of the main loop, or inside the window calls made during start-up.
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            // Input goes first: its devices were acquired for this window and the display outlives them.
            ReleaseInput();
            ReleaseDisplay();
            PostQuitMessage(0);
            return 0;
        case WM_ACTIVATE:
            // Only the minimised flag counts; a window that merely loses the focus keeps drawing.
            app.active = HIWORD(wParam) == 0 ? 1 : 0;
            return 0;
        case WM_SETCURSOR:
            SetCursor(NULL);
            return TRUE;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE || wParam == VK_F12) PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}
