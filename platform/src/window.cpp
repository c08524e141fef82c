// The window, its class, the pointer and the thread's message queue, fed by SDL's events through the pump.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <strings.h>
#include <vector>

namespace {

struct WindowClass {
    std::string name;
    WNDCLASSA copy;
};

// The window as last said on standard error.
struct Said {
    int width = 0, height = 0, pixelsWide = 0, pixelsHigh = 0, monitor = 0;
    bool operator==(const Said&) const = default;
};

struct Frame {
    int left = 0, right = 0, top = 0, bottom = 0;
};

struct Windows {
    std::vector<WindowClass> classes;
    HWND main = nullptr;  // the one window; a second is refused
    bool startInWindow = false;
    int startDisplay = 0;     // SDL's index of the monitor the window starts on: the first SDL lists unless told
    bool managed = false;     // a window manager or compositor places the window and keeps its full-screen state
    bool topMost = false;     // WS_EX_TOPMOST: kept above other windows while full screen
    bool fullScreen = false;  // else in a window, Alt+Enter's other shape
    SDL_Rect windowed = {};   // the window's inside in a window, as last asked for
    Said said;                // the size and monitor last said on standard error
    Frame frame;              // the window manager's frame around the window shape, once it has said it
    bool frameKnown = false;
    std::deque<MSG> queue;
    POINT mousePosition = {0, 0};
    HCURSOR cursor = nullptr;
    bool pointerShown = true;
    std::function<void()> pumpHook;
    std::function<void(HWND, UINT, bool)> messageObserver;
    POINT pushedPointer = {0, 0};  // where the motions the tests push have taken the pointer
};
Windows windows;

constexpr ATOM kFirstClassAtom = 0xC000;
constexpr WPARAM kMouseLeft = 0x0001;
constexpr WPARAM kMouseRight = 0x0002;
constexpr WPARAM kMouseMiddle = 0x0010;
constexpr UINT kVkF4 = 0x73;
constexpr UINT kVkF10 = 0x79;
constexpr LPARAM kContextAlt = LPARAM(1) << 29;

// Distinct addresses stand for the two stock pictures; nothing is behind them.
char applicationIconTag;
char arrowCursorTag;

bool IsLive(HWND window) { return ObjectsHas(ObjectKind::Window, window); }

const WindowClass* FindClass(LPCSTR name) {
    if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;
    for (const WindowClass& c : windows.classes) {
        if (strcasecmp(c.name.c_str(), name) == 0) return &c;
    }
    return nullptr;
}

// Sent messages run the window procedure at once, as SendMessage does; the caller never waits on the queue.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsLive(window)) return 0;
    if (windows.messageObserver) windows.messageObserver(window, message, false);
    LRESULT result = window->procedure(window, message, wParam, lParam);
    if (windows.messageObserver) windows.messageObserver(window, message, true);
    return result;
}

void Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = window;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    m.pt = windows.mousePosition;
    windows.queue.push_back(m);
}

// Windows drops a destroyed window's posted messages; the thread's own (WM_QUIT among them) stay.
void PurgeMessagesFor(HWND window) {
    std::erase_if(windows.queue, [window](const MSG& m) { return m.hwnd == window; });
}

bool Matches(const MSG& m, HWND window, UINT filterMin, UINT filterMax) {
    // WM_QUIT is retrieved whatever the filters say, as on Windows.
    if (m.message == WM_QUIT) return true;
    if (window != nullptr && m.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return m.message >= filterMin && m.message <= filterMax;
}

bool TakeMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    for (auto it = windows.queue.begin(); it != windows.queue.end(); ++it) {
        if (!Matches(*it, window, filterMin, filterMax)) continue;
        if (message != nullptr) *message = *it;
        if (remove) windows.queue.erase(it);
        return true;
    }
    return false;
}

// --- the window's two shapes: full screen, and a window Alt+Enter switches to and back ---

constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;

// The inside of the window shape, in the desktop's units: the largest whole multiple of the picture in the output's
// own pixels (scale of them to a unit) that the usable desktop holds with the window's frame around it; where not even
// the picture itself fits, the picture's shape fitted as full screen fits it. The window with its frame stands in the
// middle of the usable desktop. Where the multiple does not divide into whole units the window takes the unit above,
// and the presenter leaves the last pixels black.
SDL_Rect WindowedRect(const SDL_Rect& usable, const Frame& frame, int scale) {
    // A frame wider than the desktop leaves no room; the window still gets a few pixels rather than none.
    const int roomX = std::max(4, usable.w - frame.left - frame.right);
    const int roomY = std::max(3, usable.h - frame.top - frame.bottom);
    const int factor = std::min(roomX * scale / kPictureWidth, roomY * scale / kPictureHeight);
    int width = (kPictureWidth * factor + scale - 1) / scale;
    int height = (kPictureHeight * factor + scale - 1) / scale;
    if (factor < 1 && int64_t(roomX) * kPictureHeight <= int64_t(roomY) * kPictureWidth) {
        width = roomX;
        height = int(int64_t(roomX) * kPictureHeight / kPictureWidth);
    } else if (factor < 1) {
        height = roomY;
        width = int(int64_t(roomY) * kPictureWidth / kPictureHeight);
    }
    return {usable.x + frame.left + (roomX - width) / 2, usable.y + frame.top + (roomY - height) / 2, width, height};
}

int DisplayOf(SDL_Window* window) { return std::max(0, SDL_GetWindowDisplayIndex(window)); }

// Output pixels to a desktop unit: 2 on a HiDPI output at scale 2 under Wayland, 1 on X11, which has no units but
// pixels. SDL 2 asks Wayland for whole scales only.
int ScaleOf(SDL_Window* window) {
    int width = 0, height = 0, pixelsWide = 0, pixelsHigh = 0;
    SDL_GetWindowSize(window, &width, &height);
    SDL_GetWindowSizeInPixels(window, &pixelsWide, &pixelsHigh);
    return width > 0 ? std::max(1, (pixelsWide + width / 2) / width) : 1;
}

SDL_Rect UsableArea(int display) {
    SDL_Rect usable = {0, 0, kPictureWidth, kPictureHeight};
    if (SDL_GetDisplayUsableBounds(display, &usable) != 0) SDL_GetDisplayBounds(display, &usable);
    return usable;
}

// SDL waits for the window to move or change size before it returns; asking for what the window already is would
// cost that whole wait. A window SDL has just made anew is wherever SDL created it, whatever SDL's record says, so it
// is placed in any case.
void PlaceWindow(SDL_Window* window, const SDL_Rect& place, bool anew) {
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowSize(window, &width, &height);
    if (anew || width != place.w || height != place.h) SDL_SetWindowSize(window, place.w, place.h);
    SDL_GetWindowPosition(window, &x, &y);
    if (anew || x != place.x || y != place.y) SDL_SetWindowPosition(window, place.x, place.y);
}

// Under a window manager or compositor the window asks for the desktop's full-screen state, so panels and taskbars
// step aside. Without one nobody would grant it (SDL would wait a tenth of a second for an answer and the window
// would keep its size), and a borderless window over the whole display is full screen already.
void EnterFullScreen(SDL_Window* window, bool anew = false) {
    windows.fullScreen = true;
    // SDL changes the window's place in the stack only outside full screen. A window first shown kept above others
    // stays so for good under IceWM, whatever it asks later; a full-screen window stands above the panels anyway, so
    // a window not yet shown takes the top-most state only when it next goes full screen.
    if (windows.topMost && (SDL_GetWindowFlags(window) & SDL_WINDOW_HIDDEN) == 0) {
        SDL_SetWindowAlwaysOnTop(window, SDL_TRUE);
    }
    if (windows.managed) {
        SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
        return;
    }
    SDL_Rect desktop;
    if (SDL_GetDisplayBounds(DisplayOf(window), &desktop) != 0) return;
    SDL_SetWindowBordered(window, SDL_FALSE);
    PlaceWindow(window, desktop, anew);
}

// The window shape is an ordinary window: the program's top-most style is for full screen, and a window kept above
// every other would cover whatever the person switches to. While full screen the window manager gives the window no
// frame, so the frame is the one it said for the window shape before; until it has said one, the window asks, takes
// none, and moves when the answer comes (WindowOnFrame).
void EnterWindow(SDL_Window* window, bool anew = false) {
    windows.fullScreen = false;
    const SDL_Rect inside = WindowedRect(UsableArea(DisplayOf(window)), windows.frame, ScaleOf(window));
    if (windows.managed) {
        if (!windows.frameKnown) X11RequestFrameExtents(window);
        SDL_SetWindowFullscreen(window, 0);
    } else {
        SDL_SetWindowBordered(window, SDL_TRUE);
    }
    if (windows.topMost) {
        // SDL forgets the window's top-most state once the window manager has held it full screen, and changes only
        // what its record says is not so; said again first, the change reaches the window manager either way.
        SDL_SetWindowAlwaysOnTop(window, SDL_TRUE);
        SDL_SetWindowAlwaysOnTop(window, SDL_FALSE);
    }
    PlaceWindow(window, inside, anew);
    windows.windowed = inside;
}

// The pump calls this when the window manager has said the window's frame. A frame of nothing is full screen's and
// says nothing of the window shape's. In the window shape the window takes the place the real frame gives it.
void WindowOnFrame(SDL_Window* window) {
    int extents[4] = {};
    if (!X11FrameExtents(window, extents) || extents[0] + extents[1] + extents[2] + extents[3] == 0) return;
    const Frame frame = {extents[0], extents[1], extents[2], extents[3]};
    windows.frame = frame;
    windows.frameKnown = true;
    if (windows.fullScreen) return;
    const SDL_Rect inside = WindowedRect(UsableArea(DisplayOf(window)), frame, ScaleOf(window));
    // The window manager may have framed the window around the place it had full screen; SDL checks where the
    // window is before it waits for a move, so asking again for the same place costs nothing.
    PlaceWindow(window, inside, true);
    windows.windowed = inside;
}

// Alt+Enter. Only the presentation changes: the surfaces keep their pixels, the window keeps the focus, and the
// devices stay acquired.
void SwitchShape(HWND window) {
    if (windows.fullScreen) {
        EnterWindow(window->sdlWindow);
    } else {
        EnterFullScreen(window->sdlWindow);
    }
}

bool IsAltEnter(const SDL_KeyboardEvent& event) {
    const SDL_Scancode key = event.keysym.scancode;
    return event.type == SDL_KEYDOWN && !event.repeat && (event.keysym.mod & KMOD_ALT) != 0 &&
           (key == SDL_SCANCODE_RETURN || key == SDL_SCANCODE_KP_ENTER);
}

void SetFocused(HWND window, bool focused) {
    if (window == windows.main) window->focused = focused;
}

// Keys pressed with Alt, Alt itself and F10 are system keys on Windows; everything else is a plain key.
void TranslateKey(const SDL_KeyboardEvent& event) {
    HWND window = windows.main;
    if (!IsLive(window)) return;
    const KeyRow* key = KeyFind(event.keysym.scancode);
    if (key == nullptr) return;
    bool down = event.type == SDL_KEYDOWN;
    BYTE virtualKey = KeyVirtualKey(*key, event.keysym.sym);
    bool alt = (event.keysym.mod & KMOD_ALT) != 0 || virtualKey == VK_MENU;
    bool system = alt || virtualKey == kVkF10;
    LPARAM lParam = 1 | (LPARAM(key->scan) << 16);
    if (key->extended) lParam |= LPARAM(1) << 24;
    if (alt) lParam |= kContextAlt;
    if (!down || event.repeat) lParam |= LPARAM(1) << 30;
    if (!down) lParam |= LPARAM(1) << 31;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Enqueue(window, message, virtualKey, lParam);
    if (IsAltEnter(event)) SwitchShape(window);
}

void TranslateMouseMotion(const SDL_MouseMotionEvent& event) {
    HWND window = windows.main;
    if (!IsLive(window) || event.windowID != window->sdlWindowId) return;
    windows.mousePosition = {event.x, event.y};
    WPARAM buttons = 0;
    if (event.state & SDL_BUTTON_LMASK) buttons |= kMouseLeft;
    if (event.state & SDL_BUTTON_RMASK) buttons |= kMouseRight;
    if (event.state & SDL_BUTTON_MMASK) buttons |= kMouseMiddle;
    Enqueue(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELONG(HTCLIENT, WM_MOUSEMOVE));
    Enqueue(window, WM_MOUSEMOVE, buttons, MAKELONG(event.x, event.y));
}

// One line whenever the desktop gives the window another size or another monitor: what it got, in its units and in
// the output's pixels, as the desktop answered the shape asked for. A move within the monitor says nothing.
void SaySize(SDL_Window* window) {
    Said now;
    SDL_GetWindowSize(window, &now.width, &now.height);
    SDL_GetWindowSizeInPixels(window, &now.pixelsWide, &now.pixelsHigh);
    now.monitor = DisplayOf(window) + 1;
    if (now == windows.said) return;
    windows.said = now;
    std::fprintf(stderr, "window: %d x %d on monitor %d, %d x %d pixels\n", now.width, now.height, now.monitor,
                 now.pixelsWide, now.pixelsHigh);
}

void TranslateWindowEvent(const SDL_WindowEvent& event) {
    HWND window = windows.main;
    if (!IsLive(window) || event.windowID != window->sdlWindowId) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_MOVED:
        case SDL_WINDOWEVENT_DISPLAY_CHANGED:
            SaySize(window->sdlWindow);
            break;
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
            window->focused = true;
            Enqueue(window, WM_ACTIVATE, MAKELONG(WA_ACTIVE, window->minimised ? 1 : 0), 0);
            break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            window->focused = false;
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
            if (IsLive(windows.main)) Enqueue(windows.main, WM_CLOSE, 0, 0);
            break;
        default:
            break;
    }
}

// Every pending SDL event goes down to the DirectDraw objects and to DirectInput before it becomes messages here;
// PeekMessageA and GetMessageA pump, and so do the tests.
void PumpEvents() {
    if (windows.pumpHook) windows.pumpHook();
    if (!SDL_WasInit(SDL_INIT_EVENTS)) return;
    InputBeforePump();
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        X11OnEvent(event);
        DirectDrawOnEvent(event);
        InputOnEvent(event);
        Translate(event);
        // A drop hands its receiver a name to free; the program takes no drops, as a window without
        // WS_EX_ACCEPTFILES does not.
        if (event.type == SDL_DROPFILE || event.type == SDL_DROPTEXT) SDL_free(event.drop.file);
    }
    if (X11TakeFrameChanged() && IsLive(windows.main)) WindowOnFrame(windows.main->sdlWindow);
    // SDL made the window anew for a renderer: the new X window gets the shape the program's window has.
    if (X11TakeWindowRecreated() && IsLive(windows.main)) {
        if (windows.fullScreen) {
            EnterFullScreen(windows.main->sdlWindow, true);
        } else {
            EnterWindow(windows.main->sdlWindow, true);
        }
    }
    // A window destroyed by another client, or the terminal hanging up, closes the program as the desktop's close does.
    const bool destroyedElsewhere = X11TakeWindowGone();
    if ((destroyedElsewhere || SystemTakeHangUp()) && IsLive(windows.main)) Enqueue(windows.main, WM_CLOSE, 0, 0);
}

}  // namespace

void WindowStartInWindow(bool windowed) { windows.startInWindow = windowed; }

// SDL's video starts here, before WinMain, so that a monitor that is not there is refused before anything shows.
WindowDisplayAnswer WindowStartOnDisplay(int number) {
    if (!SystemInitVideo()) return WindowDisplayAnswer::NoVideo;
    const int count = SDL_GetNumVideoDisplays();
    if (number >= 1 && number <= count) {
        windows.startDisplay = number - 1;
        return WindowDisplayAnswer::There;
    }
    std::string there;
    for (int i = 0; i < count; ++i) {
        SDL_Rect bounds = {};
        SDL_GetDisplayBounds(i, &bounds);
        const char* name = SDL_GetDisplayName(i);
        there += (i == 0 ? "" : ", ") + std::to_string(i + 1) + " '" + (name != nullptr ? name : "") + "' " +
                 std::to_string(bounds.w) + " x " + std::to_string(bounds.h);
    }
    std::fprintf(stderr, "ditessary: there is no monitor %d; %s: %s\n", number,
                 count == 1 ? "the one monitor is" : "the monitors are", there.c_str());
    return WindowDisplayAnswer::Missing;
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
    windows.classes.push_back(c);
    return ATOM(kFirstClassAtom + windows.classes.size() - 1);
}

// WinMain's InitWindow calls this once. The SDL window is made in its window shape, hidden, on the monitor the command
// line chose (the first SDL lists, else), and then takes the full screen there unless the command line asked for a
// window; the display draws the 640 x 480 picture into it scaled, whatever its size, in the output's own pixels.
HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int, int, int, int, HWND,
                            HMENU, HINSTANCE, LPVOID param) {
    const WindowClass* windowClass = FindClass(className);
    if (windowClass == nullptr) return nullptr;
    if (IsLive(windows.main)) return nullptr;
    if (!SystemInitVideo()) return nullptr;
    const int display = std::clamp(windows.startDisplay, 0, std::max(0, SDL_GetNumVideoDisplays() - 1));
    // Before the window is shown nobody knows its scale; whole multiples in units stay whole in pixels.
    const SDL_Rect inside = WindowedRect(UsableArea(display), Frame{}, 1);
    SDL_Window* sdlWindow =
        SDL_CreateWindow(windowName != nullptr ? windowName : "", inside.x, inside.y, inside.w, inside.h,
                         SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (sdlWindow == nullptr) {
        std::fprintf(stderr, "SDL window: %s\n", SDL_GetError());
        return nullptr;
    }
    IconGive(sdlWindow);
    const char* driver = SDL_GetCurrentVideoDriver();
    windows.managed = (driver != nullptr && std::strcmp(driver, "wayland") == 0) || X11WindowManagerRuns(sdlWindow);
    windows.windowed = inside;
    windows.fullScreen = false;
    windows.topMost = (exStyle & WS_EX_TOPMOST) != 0;
    windows.frame = {};
    windows.frameKnown = false;
    X11Watch(sdlWindow);
    if (windows.managed) X11RequestFrameExtents(sdlWindow);
    if (!windows.startInWindow) EnterFullScreen(sdlWindow);
    HWND window = new HWND__{sdlWindow,
                             SDL_GetWindowID(sdlWindow),
                             windowClass->copy.lpfnWndProc,
                             windowClass->copy.hCursor,
                             false,
                             false,
                             false,
                             false};
    ObjectsAdd(ObjectKind::Window, window);
    windows.main = window;
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
        SetFocused(window, activate);
        SendToWindow(window, WM_ACTIVATE, MAKELONG(activate ? WA_ACTIVE : WA_INACTIVE, 1), 0);
        return wasVisible;
    }
    if (window->minimised) SDL_RestoreWindow(window->sdlWindow);
    SDL_RaiseWindow(window->sdlWindow);
    window->minimised = false;
    SetFocused(window, true);
    SendToWindow(window, WM_ACTIVATE, MAKELONG(WA_ACTIVE, 0), 0);
    SendToWindow(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELONG(HTCLIENT, WM_MOUSEMOVE));
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) { return IsLive(window) ? TRUE : FALSE; }

// Without a window manager nobody else hands out the keyboard focus, so the window takes it itself.
HWND WINAPI SetFocus(HWND window) {
    HWND previous = IsLive(windows.main) && windows.main->focused ? windows.main : nullptr;
    if (!IsLive(window)) return nullptr;
    SDL_RaiseWindow(window->sdlWindow);
    if (window->visible && !window->minimised) SDL_SetWindowInputFocus(window->sdlWindow);
    SetFocused(window, true);
    return previous;
}

// WM_DESTROY runs inside this call while the handle is still good, so the program's teardown can still
// name the window; the display lets go of its presenter before the SDL window goes.
BOOL WINAPI DestroyWindow(HWND window) {
    if (!IsLive(window) || window->destroying) return FALSE;
    window->destroying = true;
    SendToWindow(window, WM_DESTROY, 0, 0);
    DirectDrawOnWindowDestroyed(window);
    X11Forget(window->sdlWindow);
    SDL_DestroyWindow(window->sdlWindow);
    X11Settle();
    ObjectsRemove(ObjectKind::Window, window);
    PurgeMessagesFor(window);
    if (window == windows.main) windows.main = nullptr;
    delete window;
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
    PumpEvents();
    return TakeMessage(message, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

// Blocks like Windows: while nothing matches it keeps pumping, sleeping in SDL until an event arrives.
BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr || (window != nullptr && !IsLive(window))) return -1;
    for (;;) {
        PumpEvents();
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

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name != IDI_APPLICATION) return nullptr;
    return reinterpret_cast<HICON>(&applicationIconTag);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name != IDC_ARROW) return nullptr;
    return reinterpret_cast<HCURSOR>(&arrowCursorTag);
}

// The window procedure calls this on WM_SETCURSOR; a null cursor hides the pointer over the whole screen.
HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = windows.cursor;
    windows.cursor = cursor;
    windows.pointerShown = cursor != nullptr;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(windows.pointerShown ? SDL_ENABLE : SDL_DISABLE);
    return previous;
}

// Test hooks

namespace {

Uint32 MainWindowId() { return IsLive(windows.main) ? windows.main->sdlWindowId : 0; }

void Push(SDL_Event& event) {
    if (!SystemInitVideo()) return;
    SDL_PushEvent(&event);
}

}  // namespace

void TestPumpEvents() { PumpEvents(); }

void TestPushKey(int sdlScancode, bool down, bool repeat, int sdlLayoutKey) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.timestamp = SDL_GetTicks();
    event.key.windowID = MainWindowId();
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.scancode = SDL_Scancode(sdlScancode);
    event.key.keysym.sym =
        sdlLayoutKey != 0 ? SDL_Keycode(sdlLayoutKey) : SDL_GetKeyFromScancode(SDL_Scancode(sdlScancode));
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
    POINT& pointer = windows.pushedPointer;
    pointer = {step(pointer.x, dx), step(pointer.y, dy)};
    event.motion.x = pointer.x;
    event.motion.y = pointer.y;
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

RECT TestWindowedInside(const RECT& usable, const RECT& frame, int scale) {
    const SDL_Rect r = WindowedRect({usable.left, usable.top, usable.right - usable.left, usable.bottom - usable.top},
                                    {frame.left, frame.right, frame.top, frame.bottom}, scale);
    return {r.x, r.y, r.x + r.w, r.y + r.h};
}

bool TestWindowFullScreen() { return windows.fullScreen; }

void TestResizeWindow(int width, int height) {
    if (IsLive(windows.main)) SDL_SetWindowSize(windows.main->sdlWindow, width, height);
}

bool TestWindowMinimised() { return IsLive(windows.main) && windows.main->minimised; }

int TestQueuedMessageCount() { return int(windows.queue.size()); }

void TestSetWindowSize(int width, int height) {
    if (IsLive(windows.main)) SDL_SetWindowSize(windows.main->sdlWindow, width, height);
}

void TestForgetWindowClasses() { windows.classes.clear(); }

void TestSetPumpHook(std::function<void()> hook) { windows.pumpHook = std::move(hook); }

void TestSetMessageObserver(std::function<void(HWND, UINT, bool)> observer) {
    windows.messageObserver = std::move(observer);
}

bool TestPointerShown() { return windows.pointerShown; }

HCURSOR TestCurrentCursor() { return windows.cursor; }
