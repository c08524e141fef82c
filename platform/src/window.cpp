// The window, its class and the thread's message queue, fed by SDL's events.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <deque>
#include <string>
#include <strings.h>
#include <vector>

struct HWND__ {
    SDL_Window* sdlWindow;
    Uint32 sdlWindowId;
    WNDPROC procedure;
    HCURSOR classCursor;
    bool visible;
    bool minimised;
    bool destroying;
};

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA copy;
};

std::vector<WindowClass> classes;
std::vector<HWND> liveWindows;
HWND mainWindow = nullptr;
bool startInWindow = false;
bool foreground = false;
std::deque<MSG> queue;
POINT mousePosition = {0, 0};
std::function<void()> pumpHook;
std::function<void(HWND, UINT, bool)> messageObserver;

constexpr ATOM kFirstClassAtom = 0xC000;
constexpr WPARAM kMouseLeft = 0x0001;
constexpr WPARAM kMouseRight = 0x0002;
constexpr WPARAM kMouseMiddle = 0x0010;
constexpr UINT kVkF4 = 0x73;
constexpr UINT kVkF10 = 0x79;
constexpr LPARAM kContextAlt = LPARAM(1) << 29;

bool IsLive(HWND window) {
    if (window == nullptr) return false;
    for (HWND live : liveWindows) {
        if (live == window) return true;
    }
    return false;
}

const WindowClass* FindClass(LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
    for (const WindowClass& c : classes) {
        if (strcasecmp(c.name.c_str(), name) == 0) return &c;
    }
    return nullptr;
}

// Sent messages run the window procedure at once, as SendMessage does; the caller never waits on the queue.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLive(window)) return 0;
    if (messageObserver) messageObserver(window, message, false);
    LRESULT result = window->procedure(window, message, wParam, lParam);
    if (messageObserver) messageObserver(window, message, true);
    return result;
}

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = mousePosition;
    queue.push_back(m);
}

// Windows drops a destroyed window's posted messages; the thread's own (WM_QUIT among them) stay.
void PurgeMessagesFor(HWND window) {
    std::erase_if(queue, [window](const MSG& m) { return m.hwnd == window; });
}

bool Matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    // WM_QUIT is retrieved whatever the filters say, as on Windows.
    if (m.message == WM_QUIT) return true;
    if (window != nullptr && m.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return m.message >= filterMin && m.message <= filterMax;
}

bool TakeMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!Matches(*it, window, filterMin, filterMax)) continue;
        if (message != nullptr) *message = *it;
        if (remove) queue.erase(it);
        return true;
    }
    return false;
}

// Windows virtual-key codes and PC scan codes of SDL's physical keys. Letters take their virtual key from
// the keyboard layout instead (see VirtualKeyOf), as Windows does.
struct KeyCode {
    SDL_Scancode scancode;
    BYTE virtualKey;
    BYTE scan;
    bool extended;
};
constexpr KeyCode kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, false},
    {SDL_SCANCODE_B, 'B', 0x30, false},
    {SDL_SCANCODE_C, 'C', 0x2E, false},
    {SDL_SCANCODE_D, 'D', 0x20, false},
    {SDL_SCANCODE_E, 'E', 0x12, false},
    {SDL_SCANCODE_F, 'F', 0x21, false},
    {SDL_SCANCODE_G, 'G', 0x22, false},
    {SDL_SCANCODE_H, 'H', 0x23, false},
    {SDL_SCANCODE_I, 'I', 0x17, false},
    {SDL_SCANCODE_J, 'J', 0x24, false},
    {SDL_SCANCODE_K, 'K', 0x25, false},
    {SDL_SCANCODE_L, 'L', 0x26, false},
    {SDL_SCANCODE_M, 'M', 0x32, false},
    {SDL_SCANCODE_N, 'N', 0x31, false},
    {SDL_SCANCODE_O, 'O', 0x18, false},
    {SDL_SCANCODE_P, 'P', 0x19, false},
    {SDL_SCANCODE_Q, 'Q', 0x10, false},
    {SDL_SCANCODE_R, 'R', 0x13, false},
    {SDL_SCANCODE_S, 'S', 0x1F, false},
    {SDL_SCANCODE_T, 'T', 0x14, false},
    {SDL_SCANCODE_U, 'U', 0x16, false},
    {SDL_SCANCODE_V, 'V', 0x2F, false},
    {SDL_SCANCODE_W, 'W', 0x11, false},
    {SDL_SCANCODE_X, 'X', 0x2D, false},
    {SDL_SCANCODE_Y, 'Y', 0x15, false},
    {SDL_SCANCODE_Z, 'Z', 0x2C, false},
    {SDL_SCANCODE_1, '1', 0x02, false},
    {SDL_SCANCODE_2, '2', 0x03, false},
    {SDL_SCANCODE_3, '3', 0x04, false},
    {SDL_SCANCODE_4, '4', 0x05, false},
    {SDL_SCANCODE_5, '5', 0x06, false},
    {SDL_SCANCODE_6, '6', 0x07, false},
    {SDL_SCANCODE_7, '7', 0x08, false},
    {SDL_SCANCODE_8, '8', 0x09, false},
    {SDL_SCANCODE_9, '9', 0x0A, false},
    {SDL_SCANCODE_0, '0', 0x0B, false},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, false},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, false},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E, false},
    {SDL_SCANCODE_TAB, VK_TAB, 0x0F, false},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39, false},
    {SDL_SCANCODE_MINUS, 0xBD, 0x0C, false},
    {SDL_SCANCODE_EQUALS, 0xBB, 0x0D, false},
    {SDL_SCANCODE_LEFTBRACKET, 0xDB, 0x1A, false},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD, 0x1B, false},
    {SDL_SCANCODE_BACKSLASH, 0xDC, 0x2B, false},
    {SDL_SCANCODE_SEMICOLON, 0xBA, 0x27, false},
    {SDL_SCANCODE_APOSTROPHE, 0xDE, 0x28, false},
    {SDL_SCANCODE_GRAVE, 0xC0, 0x29, false},
    {SDL_SCANCODE_COMMA, 0xBC, 0x33, false},
    {SDL_SCANCODE_PERIOD, 0xBE, 0x34, false},
    {SDL_SCANCODE_SLASH, 0xBF, 0x35, false},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2, 0x56, false},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A, false},
    {SDL_SCANCODE_F1, VK_F1, 0x3B, false},
    {SDL_SCANCODE_F2, VK_F1 + 1, 0x3C, false},
    {SDL_SCANCODE_F3, VK_F1 + 2, 0x3D, false},
    {SDL_SCANCODE_F4, VK_F1 + 3, 0x3E, false},
    {SDL_SCANCODE_F5, VK_F1 + 4, 0x3F, false},
    {SDL_SCANCODE_F6, VK_F1 + 5, 0x40, false},
    {SDL_SCANCODE_F7, VK_F1 + 6, 0x41, false},
    {SDL_SCANCODE_F8, VK_F1 + 7, 0x42, false},
    {SDL_SCANCODE_F9, VK_F1 + 8, 0x43, false},
    {SDL_SCANCODE_F10, VK_F1 + 9, 0x44, false},
    {SDL_SCANCODE_F11, VK_F1 + 10, 0x57, false},
    {SDL_SCANCODE_F12, VK_F12, 0x58, false},
    {SDL_SCANCODE_PRINTSCREEN, 0x2C, 0x37, true},
    {SDL_SCANCODE_SCROLLLOCK, 0x91, 0x46, false},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, false},
    {SDL_SCANCODE_INSERT, VK_INSERT, 0x52, true},
    {SDL_SCANCODE_HOME, VK_HOME, 0x47, true},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49, true},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0x53, true},
    {SDL_SCANCODE_END, VK_END, 0x4F, true},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, true},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D, true},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, true},
    {SDL_SCANCODE_DOWN, VK_DOWN, 0x50, true},
    {SDL_SCANCODE_UP, VK_UP, 0x48, true},
    {SDL_SCANCODE_NUMLOCKCLEAR, 0x90, 0x45, true},
    {SDL_SCANCODE_KP_DIVIDE, 0x6F, 0x35, true},
    {SDL_SCANCODE_KP_MULTIPLY, 0x6A, 0x37, false},
    {SDL_SCANCODE_KP_MINUS, 0x6D, 0x4A, false},
    {SDL_SCANCODE_KP_PLUS, 0x6B, 0x4E, false},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, true},
    {SDL_SCANCODE_KP_1, 0x61, 0x4F, false},
    {SDL_SCANCODE_KP_2, 0x62, 0x50, false},
    {SDL_SCANCODE_KP_3, 0x63, 0x51, false},
    {SDL_SCANCODE_KP_4, 0x64, 0x4B, false},
    {SDL_SCANCODE_KP_5, 0x65, 0x4C, false},
    {SDL_SCANCODE_KP_6, 0x66, 0x4D, false},
    {SDL_SCANCODE_KP_7, 0x67, 0x47, false},
    {SDL_SCANCODE_KP_8, 0x68, 0x48, false},
    {SDL_SCANCODE_KP_9, 0x69, 0x49, false},
    {SDL_SCANCODE_KP_0, 0x60, 0x52, false},
    {SDL_SCANCODE_KP_PERIOD, 0x6E, 0x53, false},
    {SDL_SCANCODE_APPLICATION, 0x5D, 0x5D, true},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D, false},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, false},
    {SDL_SCANCODE_LALT, VK_MENU, 0x38, false},
    {SDL_SCANCODE_LGUI, 0x5B, 0x5B, true},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, 0x1D, true},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36, false},
    {SDL_SCANCODE_RALT, VK_MENU, 0x38, true},
    {SDL_SCANCODE_RGUI, 0x5C, 0x5C, true},
};

const KeyCode* FindKey(SDL_Scancode scancode) {
    for (const KeyCode& k : kKeys) {
        if (k.scancode == scancode) return &k;
    }
    return nullptr;
}

BYTE VirtualKeyOf(const SDL_Keysym& key, const KeyCode& code) {
    if (key.sym >= 'a' && key.sym <= 'z') return BYTE(std::toupper(int(key.sym)));
    return code.virtualKey;
}

// Keys pressed with Alt, Alt itself and F10 are system keys on Windows; everything else is a plain key.
void TranslateKey(const SDL_KeyboardEvent& event) {
    if (!IsLive(mainWindow)) return;
    const KeyCode* code = FindKey(event.keysym.scancode);
    if (code == nullptr) return;
    bool down = event.type == SDL_KEYDOWN;
    BYTE virtualKey = VirtualKeyOf(event.keysym, *code);
    bool alt = (event.keysym.mod & KMOD_ALT) != 0 || virtualKey == VK_MENU;
    bool system = alt || virtualKey == kVkF10;
    LPARAM lParam = 1 | (LPARAM(code->scan) << 16);
    if (code->extended) lParam |= LPARAM(1) << 24;
    if (alt) lParam |= kContextAlt;
    if (!down || event.repeat) lParam |= LPARAM(1) << 30;
    if (!down) lParam |= LPARAM(1) << 31;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Enqueue(mainWindow, message, virtualKey, lParam);
}

void TranslateMouseMotion(const SDL_MouseMotionEvent& event) {
    if (!IsLive(mainWindow) || event.windowID != mainWindow->sdlWindowId) return;
    mousePosition = {event.x, event.y};
    WPARAM buttons = 0;
    if (event.state & SDL_BUTTON_LMASK) buttons |= kMouseLeft;
    if (event.state & SDL_BUTTON_RMASK) buttons |= kMouseRight;
    if (event.state & SDL_BUTTON_MMASK) buttons |= kMouseMiddle;
    Enqueue(mainWindow, WM_SETCURSOR, reinterpret_cast<WPARAM>(mainWindow), MAKELONG(HTCLIENT, WM_MOUSEMOVE));
    Enqueue(mainWindow, WM_MOUSEMOVE, buttons, MAKELONG(event.x, event.y));
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    if (!IsLive(mainWindow) || event.windowID != mainWindow->sdlWindowId) return;
    HWND window = mainWindow;
    switch (event.event) {
        case SDL_WINDOWEVENT_MINIMIZED:
            window->minimised = true;
            Enqueue(window, WM_ACTIVATE, MAKELONG(WA_INACTIVE, 1), 0);
            break;
        case SDL_WINDOWEVENT_RESTORED:
        case SDL_WINDOWEVENT_SHOWN:
            if (window->minimised) {
                window->minimised = false;
                Enqueue(window, WM_ACTIVATE, MAKELONG(WA_ACTIVE, 0), 0);
            }
            break;
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            foreground = true;
            Enqueue(window, WM_ACTIVATE, MAKELONG(WA_ACTIVE, window->minimised ? 1 : 0), 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            foreground = false;
            Enqueue(window, WM_ACTIVATE, MAKELONG(WA_INACTIVE, window->minimised ? 1 : 0), 0);
            break;
        case SDL_WINDOWEVENT_CLOSE:
            Enqueue(window, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

void Translate(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            TranslateKey(event.key);
            break;
        case SDL_MOUSEMOTION:
            TranslateMouseMotion(event.motion);
            break;
        case SDL_WINDOWEVENT:
            TranslateWindowEvent(event.window);
            break;
        case SDL_QUIT:
            if (IsLive(mainWindow)) Enqueue(mainWindow, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

}  // namespace

SDL_Window* PlatformSdlWindow(HWND window) { return IsLive(window) ? window->sdlWindow : nullptr; }

SDL_Window* PlatformMainSdlWindow() { return PlatformSdlWindow(mainWindow); }

bool PlatformWindowInForeground() { return IsLive(mainWindow) && foreground; }

void WindowStartInWindow(bool windowed) { startInWindow = windowed; }

void PlatformPumpEvents() {
    if (pumpHook) pumpHook();
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        DisplayOnEvent(event);
        InputOnEvent(event);
        Translate(event);
    }
}

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr) return 0;
    LPCSTR name = windowClass->lpszClassName;
    if (name == nullptr || IS_INTRESOURCE(name) || name[0] == '\0') return 0;
    if (FindClass(name) != nullptr) return 0;
    WindowClass c{name, *windowClass};
    // The caller's strings may not outlive the call; the class keeps only what windows created from it read.
    c.copy.lpszClassName = nullptr;
    c.copy.lpszMenuName = nullptr;
    classes.push_back(c);
    return ATOM(kFirstClassAtom + classes.size() - 1);
}

// WinMain's InitWindow calls this once. The one SDL window covers the desktop without a frame, so it needs
// no window manager to be full screen; the display draws the 640 x 480 picture into it scaled.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int, int, int, int, HWND,
                            HMENU, HINSTANCE, LPVOID param) {
    const WindowClass* windowClass = FindClass(className);
    if (windowClass == nullptr) return nullptr;
    if (IsLive(mainWindow)) return nullptr;
    if (!PlatformInitVideo()) return nullptr;
    SDL_Rect desktop;
    if (SDL_GetDisplayBounds(0, &desktop) != 0) {
        std::fprintf(stderr, "SDL display bounds: %s\n", SDL_GetError());
        return nullptr;
    }
    Uint32 flags = SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN;
    if (exStyle & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    SDL_Window* sdlWindow =
        SDL_CreateWindow(windowName != nullptr ? windowName : "", desktop.x, desktop.y, desktop.w, desktop.h, flags);
    if (sdlWindow == nullptr) {
        std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
        return nullptr;
    }
    HWND window = new HWND__{
        sdlWindow, SDL_GetWindowID(sdlWindow), windowClass->copy.lpfnWndProc, windowClass->copy.hCursor, false, false,
        false};
    liveWindows.push_back(window);
    liveObjects.windows++;
    mainWindow = window;
    // Windows hands WM_CREATE the creation data; nothing the program reads is in it but lpCreateParams.
    struct {
        LPVOID lpCreateParams;
    } create = {param};
    if (SendToWindow(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
    return window;
}

// Showing activates the window, so the procedure hears WM_ACTIVATE before ShowWindow returns; a newly shown
// window under the pointer also gets WM_SETCURSOR, as Windows sends it for the mouse move it synthesises.
BOOL WINAPI ShowWindow(HWND window, int showCommand) {
    if (!IsLive(window)) return FALSE;
    BOOL wasVisible = window->visible ? TRUE : FALSE;
    if (showCommand == SW_HIDE) {
        SDL_HideWindow(window->sdlWindow);
        window->visible = false;
        return wasVisible;
    }
    SDL_ShowWindow(window->sdlWindow);
    window->visible = true;
    if (showCommand == SW_MINIMIZE || showCommand == SW_SHOWMINIMIZED) {
        SDL_MinimizeWindow(window->sdlWindow);
        window->minimised = true;
        bool activate = showCommand == SW_SHOWMINIMIZED;
        if (window == mainWindow) foreground = activate;
        SendToWindow(window, WM_ACTIVATE, MAKELONG(activate ? WA_ACTIVE : WA_INACTIVE, 1), 0);
        return wasVisible;
    }
    if (window->minimised) SDL_RestoreWindow(window->sdlWindow);
    SDL_RaiseWindow(window->sdlWindow);
    window->minimised = false;
    if (window == mainWindow) foreground = true;
    SendToWindow(window, WM_ACTIVATE, MAKELONG(WA_ACTIVE, 0), 0);
    SendToWindow(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELONG(HTCLIENT, WM_MOUSEMOVE));
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) { return IsLive(window) ? TRUE : FALSE; }

// Without a window manager nobody else hands out the keyboard focus, so the window takes it itself.
HWND WINAPI SetFocus(HWND window) {
    HWND previous = foreground && IsLive(mainWindow) ? mainWindow : nullptr;
    if (!IsLive(window)) return nullptr;
    SDL_RaiseWindow(window->sdlWindow);
    if (window->visible && !window->minimised) SDL_SetWindowInputFocus(window->sdlWindow);
    if (window == mainWindow) foreground = true;
    return previous;
}

// WM_DESTROY runs inside this call while the handle is still good, so the program's teardown can still
// name the window; the display lets go of its renderer before the SDL window goes.
BOOL WINAPI DestroyWindow(HWND window) {
    if (!IsLive(window) || window->destroying) return FALSE;
    window->destroying = true;
    SendToWindow(window, WM_DESTROY, 0, 0);
    DisplayOnWindowDestroyed(window->sdlWindow);
    SDL_DestroyWindow(window->sdlWindow);
    std::erase(liveWindows, window);
    PurgeMessagesFor(window);
    if (window == mainWindow) {
        mainWindow = nullptr;
        foreground = false;
    }
    delete window;
    liveObjects.windows--;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SETCURSOR:
            if (IsLive(window) && LOWORD(lParam) == HTCLIENT) SetCursor(window->classCursor);
            return FALSE;
        case WM_SYSKEYDOWN:
            // Alt+F4 asks the window to close, as the system menu's Close does.
            if (wParam == kVkF4 && (lParam & kContextAlt)) SendToWindow(window, WM_CLOSE, 0, 0);
            return 0;
        default:
            return 0;
    }
}

BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    PlatformPumpEvents();
    return TakeMessage(message, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

// Blocks like Windows: while nothing matches it keeps pumping, sleeping in SDL until an event arrives.
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr || (window != nullptr && !IsLive(window))) return -1;
    for (;;) {
        PlatformPumpEvents();
        if (TakeMessage(message, window, filterMin, filterMax, true)) return message->message == WM_QUIT ? 0 : 1;
        if (SDL_WasInit(SDL_INIT_EVENTS)) {
            SDL_WaitEventTimeout(nullptr, 10);
        } else {
            SDL_Delay(10);
        }
    }
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr) return FALSE;
    switch (message->message) {
        case WM_KEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
            return TRUE;
        default:
            return FALSE;
    }
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr || !IsLive(message->hwnd)) return 0;
    return SendToWindow(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && !IsLive(window)) return FALSE;
    Enqueue(window, message, wParam, lParam);
    return TRUE;
}

void WINAPI PostQuitMessage(int exitCode) { Enqueue(nullptr, WM_QUIT, WPARAM(exitCode), 0); }

namespace {

Uint32 MainWindowId() { return IsLive(mainWindow) ? mainWindow->sdlWindowId : 0; }

POINT pushedPointer = {0, 0};

void Push(SDL_Event& event) {
    if (!PlatformInitVideo()) return;
    SDL_PushEvent(&event);
}

}  // namespace

void TestPushKey(int sdlScancode, bool down, bool repeat) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.timestamp = SDL_GetTicks();
    event.key.windowID = MainWindowId();
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = SDL_Scancode(sdlScancode);
    event.key.keysym.sym = SDL_GetKeyFromScancode(SDL_Scancode(sdlScancode));
    event.key.keysym.mod = Uint16(SDL_GetModState());
    Push(event);
}

void TestPushWindowEvent(int sdlWindowEventId) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.timestamp = SDL_GetTicks();
    event.window.windowID = MainWindowId();
    event.window.event = Uint8(sdlWindowEventId);
    Push(event);
}

void TestPushMouseMotion(int dx, int dy) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.timestamp = SDL_GetTicks();
    event.motion.windowID = MainWindowId();
    // Tests push motions far past the screen's edge; the pointer they imply saturates instead of wrapping.
    auto step = [](LONG from, int by) { return LONG(std::clamp<int64_t>(int64_t(from) + by, INT32_MIN, INT32_MAX)); };
    pushedPointer = {step(pushedPointer.x, dx), step(pushedPointer.y, dy)};
    event.motion.x = pushedPointer.x;
    event.motion.y = pushedPointer.y;
    event.motion.xrel = dx;
    event.motion.yrel = dy;
    Push(event);
}

void TestPushMouseButton(int sdlButton, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.timestamp = SDL_GetTicks();
    event.button.windowID = MainWindowId();
    event.button.button = Uint8(sdlButton);
    event.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.button.clicks = 1;
    Push(event);
}

void TestPushQuit() {
    SDL_Event event{};
    event.type = SDL_QUIT;
    event.quit.timestamp = SDL_GetTicks();
    Push(event);
}

bool TestWindowMinimised() { return IsLive(mainWindow) && mainWindow->minimised; }

int TestQueuedMessageCount() { return int(queue.size()); }

void TestSetPumpHook(std::function<void()> hook) { pumpHook = std::move(hook); }

void TestSetMessageObserver(std::function<void(HWND, UINT, bool)> observer) { messageObserver = std::move(observer); }
