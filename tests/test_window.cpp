// The window, its messages and the system services around them: closing and destruction, SDL events as
// messages, debug output and message boxes, the choice of SDL's backend and of the monitor.
#include <gtest/gtest.h>

#include <SDL.h>

#include <windows.h>

#include "platform/src/platform.h"
#include "platform/testing.h"

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct Seen {
    UINT message;
    int liveWindows;  // windows alive while the procedure ran
};
std::vector<Seen> seen;
constexpr UINT WM_USER_TEST = 0x0401;
using Msg = std::tuple<UINT, WPARAM, LPARAM>;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back({message, TestGetLiveObjects().windows});
    if (message == WM_DESTROY) PostQuitMessage(7);
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> Messages() {
    std::vector<UINT> m;
    for (const Seen& s : seen) m.push_back(s.message);
    return m;
}

std::vector<Msg> Triples(const std::vector<MSG>& messages) {
    std::vector<Msg> t;
    for (const MSG& m : messages) t.emplace_back(m.message, m.wParam, m.lParam);
    return t;
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

// Pumps the pending SDL events and returns the messages they became, oldest first, leaving the queue empty.
std::vector<MSG> PumpedMessages() {
    std::vector<MSG> messages;
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) messages.push_back(m);
    return messages;
}

// A window of a recording class, created (hidden), or also shown with its queue emptied and nothing recorded.
HWND MakeWindow(bool shown) {
    WNDCLASSA c{};
    c.lpfnWndProc = RecordingProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "Recorder";
    EXPECT_NE(RegisterClassA(&c), 0);
    HWND window = CreateWindowExA(0, "Recorder", "", 0, 0, 0, 640, 480, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    if (!shown) return window;
    ShowWindow(window, SW_SHOWNORMAL);
    PumpedMessages();
    seen.clear();
    return window;
}

TEST(Window, CloseDestroysWithDestroyRunningInsideWhileTheWindowLives) {
    HWND window = MakeWindow(true);
    PostMessageA(window, WM_USER_TEST, 0, 0);
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_DESTROY});
    EXPECT_EQ(seen.at(0).liveWindows, 1);
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
    EXPECT_EQ(SDL_GetWindowFromID(1), nullptr);
    EXPECT_EQ(DestroyWindow(window), FALSE);
    EXPECT_EQ(PostMessageA(window, WM_USER_TEST, 0, 0), FALSE);
    EXPECT_EQ(Triples(DrainQueue()), (std::vector<Msg>{{WM_QUIT, 7, 0}})) << "the dead window's message went with it";
    MSG dead{};
    dead.hwnd = window;
    dead.message = WM_USER_TEST;
    seen.clear();
    EXPECT_EQ(DispatchMessageA(&dead), 0);
    EXPECT_TRUE(seen.empty()) << "dispatch to a dead window calls nothing";
}

TEST(EventTranslation, AltMakesSystemKeysAndAltF4ClosesTheWindow) {
    MakeWindow(true);
    TestPushKey(SDL_SCANCODE_LALT, true);
    SDL_SetModState(KMOD_LALT);
    TestPushKey(SDL_SCANCODE_F4, true);
    SDL_SetModState(KMOD_NONE);
    std::vector<MSG> m = PumpedMessages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(std::make_pair(m[0].message, m[0].wParam), std::make_pair(UINT(WM_SYSKEYDOWN), WPARAM(VK_MENU)));
    EXPECT_EQ(std::make_pair(m[1].message, m[1].wParam), std::make_pair(UINT(WM_SYSKEYDOWN), WPARAM(VK_F1 + 3)));
    EXPECT_TRUE(m[1].lParam & (LPARAM(1) << 29)) << "the context bit";
    DispatchMessageA(&m[0]);
    EXPECT_EQ(TestGetLiveObjects().windows, 1);
    DispatchMessageA(&m[1]);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
}

TEST(EventTranslation, MinimiseRestoreAndFocusBecomeActivationsWithTheMinimisedFlag) {
    HWND window = MakeWindow(true);
    for (auto event :
         {SDL_WINDOWEVENT_SHOWN, SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_MINIMIZED, SDL_WINDOWEVENT_FOCUS_GAINED,
          SDL_WINDOWEVENT_RESTORED, SDL_WINDOWEVENT_RESTORED, SDL_WINDOWEVENT_MOVED})
        TestPushWindowEvent(event);
    std::vector<WPARAM> activations;
    for (const MSG& m : PumpedMessages()) {
        EXPECT_EQ(std::make_pair(m.message, m.hwnd), std::make_pair(UINT(WM_ACTIVATE), window));
        activations.push_back(m.wParam);
    }
    EXPECT_EQ(activations, (std::vector<WPARAM>{WPARAM(MAKELONG(WA_INACTIVE, 0)), WPARAM(MAKELONG(WA_INACTIVE, 1)),
                                                WPARAM(MAKELONG(WA_ACTIVE, 1)), WPARAM(MAKELONG(WA_ACTIVE, 0))}));
    EXPECT_FALSE(TestWindowMinimised());
}

TEST(EventTranslation, WindowCloseAndQuitEventsCloseTheWindowOnce) {
    MakeWindow(true);
    TestPushWindowEvent(SDL_WINDOWEVENT_CLOSE);
    TestPushQuit();
    EXPECT_EQ(Triples(DrainQueue()), (std::vector<Msg>{{WM_CLOSE, 0, 0}, {WM_QUIT, 7, 0}}))
        << "the second close went with the window";
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_CLOSE, WM_DESTROY}));
    EXPECT_EQ(TestGetLiveObjects().windows, 0);
}

// Text, drops and the clipboard are nothing to the program: no message, and the names SDL allocated for the drops
// are freed as they go by.
TEST(EventTranslation, TextDropsAndClipboardBecomeNoMessageAndTheDroppedNamesAreFreed) {
    MakeWindow(true);
    auto push = [](Uint32 type, const char* text) {
        SDL_Event event{};
        event.type = type;
        if (type == SDL_DROPFILE || type == SDL_DROPTEXT) event.drop.file = SDL_strdup(text);
        if (type == SDL_TEXTINPUT) SDL_strlcpy(event.text.text, text, sizeof event.text.text);
        SDL_PushEvent(&event);
    };
    // SDL keeps the queue's entries for reuse; these leave enough behind that the count below is the drops' alone.
    for (int i = 0; i < 8; ++i) push(SDL_TEXTINPUT, "a");
    EXPECT_TRUE(PumpedMessages().empty());
    const int allocations = SDL_GetNumAllocations();
    push(SDL_DROPBEGIN, nullptr);
    push(SDL_DROPFILE, "/home/someone/picture.bmp");
    push(SDL_DROPTEXT, "some text");
    push(SDL_DROPCOMPLETE, nullptr);
    push(SDL_CLIPBOARDUPDATE, nullptr);
    EXPECT_TRUE(PumpedMessages().empty());
    EXPECT_EQ(SDL_GetNumAllocations(), allocations);
}

// Debug lines and, with no display to show it on, a message box go to standard error as they are.
TEST(SystemServices, DebugOutputAndMessageBoxesWithoutADisplayGoToStandardError) {
    testing::internal::CaptureStderr();
    OutputDebugStringA("Joypad Not Found\n");
    OutputDebugStringA("a\tb");
    EXPECT_EQ(MessageBoxA(nullptr, "CreateSurface FAILED", "Plinth Tessary", MB_OK), IDOK);
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0);  // the dummy driver is no display either
    EXPECT_EQ(MessageBoxA(nullptr, "DDLoadPalette FAILED", "Plinth Tessary", MB_OK), IDOK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Joypad Not Found\na\tbPlinth Tessary: CreateSurface FAILED\nPlinth Tessary: DDLoadPalette FAILED\n");
}

// Every combination of what the environment holds: SDL_VIDEODRIVER first, then SDL's Wayland backend only where a
// render node opens, XWayland without one, and whichever display alone is there.
TEST(VideoBackend, IsChosenFromTheDisplaysThereTheRenderNodeAndSdlVideoDriver) {
    const char* const kWayland = "wayland-0";
    const char* const kX = ":0";
    const std::string waylandWhy =
        "a Wayland compositor is there and a GPU render node opens, so HiDPI outputs get their own pixels";
    const std::string xwaylandWhy =
        "no GPU render node opens, so the X server (XWayland) takes the window and its "
        "framebuffer, where Wayland's EGL would be Mesa's software rasteriser";
    const std::string onlyWayland = "only a Wayland compositor is there (DISPLAY is not set)";
    const std::string onlyX = "only an X server is there (WAYLAND_DISPLAY is not set)";
    const struct {
        const char* wayland;
        const char* x;
        bool renderNode;
        const char* videoDriver;
        std::string drivers, why;
    } cases[] = {
        {kWayland, kX, true, nullptr, "wayland,x11", waylandWhy},
        {kWayland, kX, false, nullptr, "x11,wayland", xwaylandWhy},
        {kWayland, nullptr, true, nullptr, "wayland,x11", waylandWhy},
        {kWayland, nullptr, false, nullptr, "wayland", onlyWayland},
        {nullptr, kX, true, nullptr, "x11", onlyX},
        {nullptr, kX, false, nullptr, "x11", onlyX},
        {nullptr, nullptr, true, nullptr, "", ""},
        {nullptr, nullptr, false, nullptr, "", ""},
        {"", kX, true, nullptr, "x11", onlyX},  // set but empty is not set
        {kWayland, "", false, nullptr, "wayland", onlyWayland},
        {kWayland, kX, true, "x11", "", "SDL_VIDEODRIVER is x11"},
        {kWayland, kX, false, "wayland", "", "SDL_VIDEODRIVER is wayland"},
        {kWayland, nullptr, true, "x11", "", "SDL_VIDEODRIVER is x11"},
        {nullptr, kX, false, "wayland", "", "SDL_VIDEODRIVER is wayland"},
        {nullptr, nullptr, false, "dummy", "", "SDL_VIDEODRIVER is dummy"},
        {kWayland, kX, true, "", "wayland,x11", waylandWhy},
    };
    for (const auto& c : cases) {
        const SystemVideoBackend choice = SystemChooseVideoBackend(c.wayland, c.x, c.renderNode, c.videoDriver);
        EXPECT_EQ(std::tie(choice.drivers, choice.why), std::tie(c.drivers, c.why))
            << (c.wayland ? c.wayland : "-") << " " << (c.x ? c.x : "-") << " " << c.renderNode << " "
            << (c.videoDriver ? c.videoDriver : "-");
    }
}

// The choice reaches SDL as a default: with SDL_VIDEODRIVER set SDL takes that and the line says so; without it SDL
// is told to try Wayland and then X11, and with neither there its video does not start.
TEST(VideoBackend, TheEnvironmentsSdlVideoDriverWinsOverTheChoice) {
    ASSERT_EQ(setenv("WAYLAND_DISPLAY", "ditessary-nowhere", 1), 0);
    TestFakeRenderNode(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(WindowStartOnDisplay(1), WindowDisplayAnswer::There);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "video: SDL's dummy backend, since SDL_VIDEODRIVER is dummy\n");
    EXPECT_STREQ(SDL_GetCurrentVideoDriver(), "dummy");
    TestFakeRenderNode(-1);
}

TEST(VideoBackend, WithoutSdlVideoDriverSdlIsToldToTryWaylandThenX11) {
    const std::string asked = getenv("SDL_VIDEODRIVER") ? getenv("SDL_VIDEODRIVER") : "";
    ASSERT_EQ(unsetenv("SDL_VIDEODRIVER"), 0);
    ASSERT_EQ(unsetenv("DISPLAY"), 0);
    ASSERT_EQ(setenv("WAYLAND_DISPLAY", "ditessary-nowhere", 1), 0);
    TestFakeRenderNode(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(WindowStartOnDisplay(1), WindowDisplayAnswer::NoVideo);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_STREQ(SDL_GetHint(SDL_HINT_VIDEODRIVER), "wayland,x11");
    EXPECT_NE(said.find("SDL video: wayland,x11 not available\n"), std::string::npos) << said;
    TestFakeRenderNode(-1);
    setenv("SDL_VIDEODRIVER", asked.c_str(), 1);
}

// Monitors count from 1; one that is not there is refused with a line naming those there are (the dummy driver has
// one, 1024 x 768).
TEST(Monitor, IsTakenByItsNumberAndOneThatIsNotThereIsRefusedNamingThoseThere) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(WindowStartOnDisplay(2), WindowDisplayAnswer::Missing);
    EXPECT_EQ(WindowStartOnDisplay(0), WindowDisplayAnswer::Missing);
    EXPECT_EQ(WindowStartOnDisplay(1), WindowDisplayAnswer::There);
    const std::string said = testing::internal::GetCapturedStderr();
    auto refusal = [](int number) {
        return "ditessary: there is no monitor " + std::to_string(number) + "; the one monitor is: 1 '" +
               SDL_GetDisplayName(0) + "' 1024 x 768\n";
    };
    EXPECT_EQ(said, "video: SDL's dummy backend, since SDL_VIDEODRIVER is dummy\n" + refusal(2) + refusal(0));
}

}  // namespace
