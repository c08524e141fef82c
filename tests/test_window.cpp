// The window and message services: class registration, activation, the queue, closing and destruction.
#include <gtest/gtest.h>

#include <SDL.h>

#include <windows.h>

#include "platform/testing.h"

#include <vector>

namespace {

struct Seen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int liveWindows;  // windows alive while the procedure ran
};
std::vector<Seen> seen;
LRESULT createResult = 0;
constexpr UINT WM_USER_TEST = 0x0401;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, wParam, lParam, TestGetLiveObjects().windows});
    if (message == WM_CREATE) return createResult;
    if (message == WM_DESTROY) PostQuitMessage(7);
    return DefWindowProcA(window, message, wParam, lParam);
}

WNDCLASSA RecordingClass(const char* name) {
    WNDCLASSA c{};
    c.style = CS_HREDRAW | CS_VREDRAW;
    c.lpfnWndProc = RecordingProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    c.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    c.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    c.lpszClassName = name;
    return c;
}

HWND MakeWindow() {
    WNDCLASSA c = RecordingClass("Recorder");
    EXPECT_NE(RegisterClassA(&c), 0);
    HWND window = CreateWindowExA(WS_EX_TOPMOST, "Recorder", "Title", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                                  nullptr, c.hInstance, nullptr);
    EXPECT_NE(window, nullptr);
    return window;
}

std::vector<UINT> Messages() {
    std::vector<UINT> m;
    for (const Seen& s : seen) m.push_back(s.message);
    return m;
}

// Takes every queued message with the program's own loop steps and dispatches it; returns what was taken.
std::vector<MSG> DrainQueue() {
    std::vector<MSG> taken;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE)) {
        MSG got;
        BOOL result = GetMessageA(&got, nullptr, 0, 0);
        taken.push_back(got);
        if (result == 0) break;
        TranslateMessage(&got);
        DispatchMessageA(&got);
    }
    return taken;
}

TEST(WindowClass, RefusesUnnamedProcedurelessAndDuplicateClasses) {
    WNDCLASSA c = RecordingClass("");
    EXPECT_EQ(RegisterClassA(&c), 0);
    c = RecordingClass("NoProc");
    c.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassA(&c), 0);
    c = RecordingClass("Twice");
    EXPECT_NE(RegisterClassA(&c), 0);
    EXPECT_EQ(RegisterClassA(&c), 0);
    EXPECT_EQ(CreateWindowExA(0, "Unregistered", "", 0, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
}

TEST(Window, CreatesHiddenDesktopSizedBorderlessAndSendsCreateFirst) {
    HWND window = MakeWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_CREATE});
    EXPECT_EQ(TestGetLiveObjects().windows, 1);
    SDL_Window* sdl = SDL_GetWindowFromID(1);
    ASSERT_NE(sdl, nullptr);
    Uint32 flags = SDL_GetWindowFlags(sdl);
    EXPECT_TRUE(flags & SDL_WINDOW_HIDDEN);
    EXPECT_TRUE(flags & SDL_WINDOW_BORDERLESS);
    SDL_Rect desktop;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &desktop), 0);
    int x, y, w, h;
    SDL_GetWindowPosition(sdl, &x, &y);
    SDL_GetWindowSize(sdl, &w, &h);
    EXPECT_EQ((std::vector<int>{x, y, w, h}), (std::vector<int>{desktop.x, desktop.y, desktop.w, desktop.h}));
    EXPECT_EQ(CreateWindowExA(0, "Recorder", "", 0, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr), nullptr)
        << "the program has one window";
}

TEST(Window, CreateRefusedByItsProcedureLeavesNoWindow) {
    createResult = -1;
    WNDCLASSA c = RecordingClass("Refuser");
    ASSERT_NE(RegisterClassA(&c), 0);
    EXPECT_EQ(CreateWindowExA(0, "Refuser", "", 0, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CREATE, WM_DESTROY}));
}

TEST(Window, ShowActivatesInsideTheCallAndHidesNothingButTheWindow) {
    HWND window = MakeWindow();
    seen.clear();
    EXPECT_EQ(ShowWindow(window, SW_SHOWNORMAL), FALSE);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, UINT(WM_ACTIVATE));
    EXPECT_EQ(seen[0].wParam, WPARAM(MAKELONG(WA_ACTIVE, 0)));
    EXPECT_EQ(seen[1].message, UINT(WM_SETCURSOR));
    EXPECT_EQ(seen[1].wParam, reinterpret_cast<WPARAM>(window));
    EXPECT_EQ(seen[1].lParam, LPARAM(MAKELONG(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_FALSE(SDL_GetWindowFlags(SDL_GetWindowFromID(1)) & SDL_WINDOW_HIDDEN);
    EXPECT_EQ(UpdateWindow(window), TRUE);
    SetFocus(window);
    EXPECT_EQ(SetFocus(window), window);

    seen.clear();
    EXPECT_EQ(ShowWindow(window, SW_SHOWMINIMIZED), TRUE);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].wParam, WPARAM(MAKELONG(WA_ACTIVE, 1)));
    EXPECT_TRUE(TestWindowMinimised());
}

TEST(MessageQueue, DeliversPostedMessagesInOrderAndQuitLast) {
    HWND window = MakeWindow();
    seen.clear();
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_TRUE(PostMessageA(window, WM_USER_TEST, 1, 10));
    PostQuitMessage(42);
    EXPECT_TRUE(PostMessageA(window, WM_USER_TEST, 2, 20));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.wParam, WPARAM(1));
    EXPECT_EQ(TestQueuedMessageCount(), 3) << "PM_NOREMOVE leaves the message queued";

    std::vector<MSG> taken = DrainQueue();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, UINT(WM_USER_TEST));
    EXPECT_EQ(taken[0].hwnd, window);
    EXPECT_EQ(taken[1].message, UINT(WM_QUIT));
    EXPECT_EQ(taken[1].wParam, WPARAM(42));
    EXPECT_EQ(taken[1].hwnd, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].lParam, 10);

    ASSERT_TRUE(PeekMessageA(&m, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, WPARAM(2));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

TEST(MessageQueue, FiltersByRangeButAlwaysYieldsQuit) {
    HWND window = MakeWindow();
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    PostMessageA(window, WM_MOUSEMOVE, 0, 0);
    PostQuitMessage(3);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_MOUSEMOVE));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE));
    EXPECT_EQ(m.message, UINT(WM_QUIT));
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
    EXPECT_EQ(m.message, UINT(WM_KEYDOWN));
    EXPECT_TRUE(TranslateMessage(&m));
    EXPECT_EQ(GetMessageA(&m, reinterpret_cast<HWND>(&m), 0, 0), -1) << "not a window";
}

TEST(Window, CloseDestroysWithDestroyRunningInsideWhileTheWindowLives) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PostMessageA(window, WM_USER_TEST, 0, 0);
    seen.clear();
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message, UINT(WM_DESTROY));
    EXPECT_EQ(seen[0].liveWindows, 1);
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
    EXPECT_EQ(SDL_GetWindowFromID(1), nullptr);
    EXPECT_EQ(DestroyWindow(window), FALSE);
    EXPECT_EQ(PostMessageA(window, WM_USER_TEST, 0, 0), FALSE);

    std::vector<MSG> taken = DrainQueue();
    ASSERT_EQ(taken.size(), 1u) << "the dead window's message went with it";
    EXPECT_EQ(taken[0].message, UINT(WM_QUIT));
    EXPECT_EQ(taken[0].wParam, WPARAM(7));
}

}  // namespace

namespace {

// Pumps the pending SDL events and returns the messages they became, oldest first, leaving the queue empty.
std::vector<MSG> PumpedMessages() {
    std::vector<MSG> messages;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) messages.push_back(m);
    return messages;
}

TEST(EventTranslation, KeysBecomeVirtualKeysWithScanCodeRepeatAndTransitionBits) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    TestPushKey(SDL_SCANCODE_ESCAPE, true);
    TestPushKey(SDL_SCANCODE_RIGHT, true);
    TestPushKey(SDL_SCANCODE_RIGHT, true, true);
    TestPushKey(SDL_SCANCODE_RIGHT, false);
    TestPushKey(SDL_SCANCODE_F12, true);
    TestPushKey(SDL_SCANCODE_A, true);
    TestPushKey(SDL_SCANCODE_KP_8, true);
    std::vector<MSG> m = PumpedMessages();
    ASSERT_EQ(m.size(), 7u);
    const LPARAM repeatBit = LPARAM(1) << 30, upBit = LPARAM(1) << 31, extendedBit = LPARAM(1) << 24;
    EXPECT_EQ(m[0].message, UINT(WM_KEYDOWN));
    EXPECT_EQ(m[0].hwnd, window);
    EXPECT_EQ(m[0].wParam, WPARAM(VK_ESCAPE));
    EXPECT_EQ(m[0].lParam, LPARAM(0x00010001));
    EXPECT_EQ(m[1].wParam, WPARAM(VK_RIGHT));
    EXPECT_EQ(m[1].lParam, LPARAM(0x004D0001) | extendedBit);
    EXPECT_EQ(m[2].lParam, LPARAM(0x004D0001) | extendedBit | repeatBit);
    EXPECT_EQ(m[3].message, UINT(WM_KEYUP));
    EXPECT_EQ(m[3].lParam, LPARAM(0x004D0001) | extendedBit | repeatBit | upBit);
    EXPECT_EQ(m[4].wParam, WPARAM(VK_F12));
    EXPECT_EQ(m[4].lParam, LPARAM(0x00580001));
    EXPECT_EQ(m[5].wParam, WPARAM('A'));
    EXPECT_EQ(m[6].wParam, WPARAM(0x68)) << "keypad 8";
    for (const MSG& each : m) EXPECT_EQ(TranslateMessage(&each), TRUE);
}

TEST(EventTranslation, AltMakesSystemKeysAndAltF4ClosesTheWindow) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    seen.clear();
    TestPushKey(SDL_SCANCODE_LALT, true);
    SDL_SetModState(KMOD_LALT);
    TestPushKey(SDL_SCANCODE_F4, true);
    SDL_SetModState(KMOD_NONE);
    std::vector<MSG> m = PumpedMessages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].message, UINT(WM_SYSKEYDOWN));
    EXPECT_EQ(m[0].wParam, WPARAM(VK_MENU));
    EXPECT_EQ(m[1].message, UINT(WM_SYSKEYDOWN));
    EXPECT_EQ(m[1].wParam, WPARAM(VK_F1 + 3));
    EXPECT_TRUE(m[1].lParam & (LPARAM(1) << 29));
    DispatchMessageA(&m[0]);
    EXPECT_EQ(TestGetLiveObjects().windows, 1);
    DispatchMessageA(&m[1]);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
}

TEST(EventTranslation, MouseMotionAsksForTheCursorBeforeTheMove) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    TestPushMouseMotion(30, 40);
    TestPushMouseMotion(-10, 2);
    std::vector<MSG> m = PumpedMessages();
    ASSERT_EQ(m.size(), 4u);
    EXPECT_EQ(m[0].message, UINT(WM_SETCURSOR));
    EXPECT_EQ(m[0].wParam, reinterpret_cast<WPARAM>(window));
    EXPECT_EQ(m[0].lParam, LPARAM(MAKELONG(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(m[1].message, UINT(WM_MOUSEMOVE));
    EXPECT_EQ(m[1].lParam, LPARAM(MAKELONG(30, 40)));
    EXPECT_EQ(m[3].lParam, LPARAM(MAKELONG(20, 42)));
    EXPECT_EQ(m[3].pt.x, 20);
    EXPECT_EQ(m[3].pt.y, 42);
}

TEST(EventTranslation, MinimiseRestoreAndFocusBecomeActivationsWithTheMinimisedFlag) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    TestPushWindowEvent(SDL_WINDOWEVENT_SHOWN);
    TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    TestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
    TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
    TestPushWindowEvent(SDL_WINDOWEVENT_MOVED);
    std::vector<WPARAM> activations;
    for (const MSG& m : PumpedMessages()) {
        EXPECT_EQ(m.message, UINT(WM_ACTIVATE));
        EXPECT_EQ(m.hwnd, window);
        activations.push_back(m.wParam);
    }
    EXPECT_EQ(activations, (std::vector<WPARAM>{WPARAM(MAKELONG(WA_INACTIVE, 0)), WPARAM(MAKELONG(WA_INACTIVE, 1)),
                                                WPARAM(MAKELONG(WA_ACTIVE, 1)), WPARAM(MAKELONG(WA_ACTIVE, 0))}));
    EXPECT_FALSE(TestWindowMinimised());
}

TEST(EventTranslation, WindowCloseAndQuitEventsCloseTheWindowOnce) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    seen.clear();
    TestPushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    TestPushQuit();
    std::vector<MSG> taken = DrainQueue();
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[0].message, UINT(WM_CLOSE));
    EXPECT_EQ(taken[1].message, UINT(WM_QUIT)) << "the second close went with the window";
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
}

TEST(MessageQueue, GetMessageWaitsForAnEventFromAnotherThread) {
    HWND window = MakeWindow();
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    SDL_Thread* pusher = SDL_CreateThread(
        [](void*) -> int {
            SDL_Delay(50);
            SDL_Event key{};
            key.type = SDL_KEYDOWN;
            key.key.state = SDL_PRESSED;
            key.key.keysym.scancode = SDL_SCANCODE_SPACE;
            key.key.keysym.sym = SDLK_SPACE;
            SDL_PushEvent(&key);
            return 0;
        },
        "pusher", nullptr);
    MSG m;
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
    SDL_WaitThread(pusher, nullptr);
    EXPECT_EQ(m.message, UINT(WM_KEYDOWN));
    EXPECT_EQ(m.wParam, WPARAM(VK_SPACE));
}

TEST(MessageQueue, DispatchToADeadWindowCallsNothing) {
    HWND window = MakeWindow();
    MSG m{};
    m.hwnd = window;
    m.message = WM_USER_TEST;
    EXPECT_EQ(DestroyWindow(window), TRUE);
    seen.clear();
    EXPECT_EQ(DispatchMessageA(&m), 0);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(DispatchMessageA(nullptr), 0);
}

}  // namespace
