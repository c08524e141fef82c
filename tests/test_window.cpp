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
