// Kernel and user services that need no window of their own: SDL's start-up, debug output, clocks, sleeping,
// formatting and message boxes.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <mmsystem.h>

#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

enum class ClockMode { Real, Frozen };

struct System {
    bool videoReady = false;
    bool joystickReady = false;
    bool quitRegistered = false;

    bool debugCapturing = false;
    std::string debugPartial;
    std::vector<std::string> debugLines;

    ClockMode clockMode = ClockMode::Real;
    DWORD frozenMs = 0;
    DWORD realOffsetMs = 0;
    DWORD multimediaSkewMs = 0;

    bool capturingMessageBoxes = false;
    std::vector<TestMessageBox> messageBoxes;

    std::function<void(DWORD)> sleepHook;

    // The nanosecond clock that paces flips and that Sleep rests on, and the refresh the last paced flip still waits
    // for (0: none).
    uint64_t restOwedNs = 0;
    bool testClock = false;
    uint64_t testNowNs = 0;
    std::vector<uint64_t> testWaits;

    int fakeRenderNode = -1;   // the tests' answer to whether a render node opens; -1 asks the devices
    std::string backendWhy;    // said once SDL's video has started
    std::string backendFirst;  // the backend preferred, "" for SDL's own order
};
System sys;

// The program's module handle: a distinct address with nothing behind it.
char moduleTag;

// The installed desktop entry's name, without .desktop.
constexpr char kDesktopEntryId[] = "org.ditessary.ditessary";

// Set by the hang-up signal, read by the window's pump.
volatile sig_atomic_t hungUp = 0;

void OnHangUp(int) { hungUp = 1; }

// SDL turns SIGINT and SIGTERM into a quit; a closed terminal's SIGHUP should close the program the same way. As SDL
// does with its two, a signal that arrived ignored (nohup) or handled by someone else is left as it is.
void WatchHangUp() {
    struct sigaction current = {};
    if (sigaction(SIGHUP, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) return;
    struct sigaction action = {};
    action.sa_handler = OnHangUp;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGHUP, &action, nullptr);
}

bool NamedInVideoDriver(const char* driver) {
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    if (asked == nullptr) return false;
    const std::string list = asked;
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(',', at), list.size());
        if (SDL_strcasecmp(list.substr(at, end - at).c_str(), driver) == 0) return true;
        at = end + 1;
    }
    return false;
}

std::string WhereNoDisplayWas() {
    const char* x = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    std::string where = x ? std::string("the X server ") + x + " cannot be reached" : "DISPLAY is not set";
    where += wayland ? std::string(" and the Wayland compositor ") + wayland + " cannot be reached"
                     : " and WAYLAND_DISPLAY is not set";
    return where;
}

// SDL keeps process-wide state (the X connection, joystick threads); shutting it down at exit keeps
// leak checkers quiet and gives the X server a clean disconnect.
void RegisterQuitAtExit() {
    if (!sys.quitRegistered) {
        std::atexit(SDL_Quit);
        sys.quitRegistered = true;
    }
}

DWORD RealMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
    return DWORD(ms);
}

DWORD ClockNow() {
    if (sys.clockMode == ClockMode::Frozen) return sys.frozenMs;
    return DWORD(RealMilliseconds() + sys.realOffsetMs);
}

// The backend SDL should try first, as SDL_VIDEODRIVER's default, and why; the environment's own SDL_VIDEODRIVER
// still wins, since SDL reads a default-priority hint only where the variable is not set.
void PreferVideoBackend() {
    const SystemVideoBackend choice = SystemChooseVideoBackend(SDL_getenv("WAYLAND_DISPLAY"), SDL_getenv("DISPLAY"),
                                                               SystemRenderNodeOpens(), SDL_getenv("SDL_VIDEODRIVER"));
    if (!choice.drivers.empty())
        SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, choice.drivers.c_str(), SDL_HINT_DEFAULT);
    sys.backendWhy = choice.why;
    sys.backendFirst = choice.drivers.substr(0, choice.drivers.find(','));
}

bool HasRealDisplay() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) return false;
    return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

}  // namespace

// A GPU that Mesa (or another driver) can draw with shows as a DRM render node.
bool SystemRenderNodeOpens() {
    if (sys.fakeRenderNode >= 0) return sys.fakeRenderNode == 1;
    for (int minor = 128; minor < 192; ++minor) {
        const std::string node = "/dev/dri/renderD" + std::to_string(minor);
        const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            close(fd);
            return true;
        }
    }
    return false;
}

// SDL 2 takes an X server before a Wayland compositor, and on a Wayland session XWayland draws every window at scale
// 1 for the compositor to stretch. SDL's own Wayland backend draws HiDPI outputs in their own pixels, but only through
// EGL: without a GPU that would be Mesa's software rasteriser, so there XWayland and the window's framebuffer stay.
SystemVideoBackend SystemChooseVideoBackend(const char* waylandDisplay, const char* xDisplay, bool renderNode,
                                            const char* videoDriver) {
    auto set = [](const char* variable) { return variable != nullptr && *variable != '\0'; };
    if (set(videoDriver)) return {"", std::string("SDL_VIDEODRIVER is ") + videoDriver};
    const bool wayland = set(waylandDisplay);
    const bool x = set(xDisplay);
    if (wayland && renderNode) {
        return {"wayland,x11",
                "a Wayland compositor is there and a GPU render node opens, so HiDPI outputs get "
                "their own pixels"};
    }
    if (wayland && x) {
        return {"x11,wayland",
                "no GPU render node opens, so the X server (XWayland) takes the window and its "
                "framebuffer, where Wayland's EGL would be Mesa's software rasteriser"};
    }
    if (wayland) return {"wayland", "only a Wayland compositor is there (DISPLAY is not set)"};
    if (x) return {"x11", "only an X server is there (WAYLAND_DISPLAY is not set)"};
    return {"", ""};
}

bool SystemInitVideo() {
    if (sys.videoReady) return true;
    // Docks and task switchers tie a window to its menu entry by X11's WM_CLASS and Wayland's app id, so both carry
    // the desktop entry's name. SDL 2.26 reads them from these two variables of its own as its video starts (no hint
    // reaches them); a value someone set for SDL stays theirs.
    SDL_setenv("SDL_VIDEO_X11_WMCLASS", kDesktopEntryId, 0);
    SDL_setenv("SDL_VIDEO_WAYLAND_WMCLASS", kDesktopEntryId, 0);
    PreferVideoBackend();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
        return false;
    }
    // Where no X server and no Wayland compositor answers, SDL falls back to a driver that shows nothing, and the
    // program would run unseen at full speed; only the tests and benchmarks ask for those drivers by name.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !NamedInVideoDriver(driver)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        std::fprintf(stderr, "ditessary: no display to show on: %s\n", WhereNoDisplayWas().c_str());
        return false;
    }
    if (driver != nullptr && !sys.backendWhy.empty()) {
        const bool asFirst = sys.backendFirst.empty() || sys.backendFirst == driver;
        std::fprintf(
            stderr, "video: SDL's %s backend, since %s\n", driver,
            asFirst ? sys.backendWhy.c_str() : ("SDL's " + sys.backendFirst + " backend did not start").c_str());
    }
    RegisterQuitAtExit();
    WatchHangUp();
    sys.videoReady = true;
    return true;
}

bool SystemInitJoystick() {
    if (sys.joystickReady) return true;
    // A full-screen program keeps reading its stick even when SDL thinks another window has the focus;
    // DirectInput's own foreground rule is applied by the input service, not by SDL.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    // SDL's pump would search for sticks coming and going every frame (a poll of each udev monitor and every
    // driver's look round); DirectInput reads a stick at its Poll, which updates it, and the window's pump runs the
    // search a few times a second.
    SDL_SetHintWithPriority(SDL_HINT_AUTO_UPDATE_JOYSTICKS, "0", SDL_HINT_DEFAULT);
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        std::fprintf(stderr, "SDL joystick: %s\n", SDL_GetError());
        return false;
    }
    RegisterQuitAtExit();
    sys.joystickReady = true;
    return true;
}

bool SystemTakeHangUp() {
    if (!hungUp) return false;
    hungUp = 0;
    return true;
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    std::fputs(text, stderr);
    if (!sys.debugCapturing) return;
    std::string& partial = sys.debugPartial;
    partial += text;
    size_t start = 0;
    for (size_t end = partial.find('\n'); end != std::string::npos; end = partial.find('\n', start)) {
        sys.debugLines.push_back(partial.substr(start, end + 1 - start));
        start = end + 1;
    }
    partial.erase(0, start);
}

DWORD WINAPI GetTickCount(void) { return ClockNow(); }

DWORD WINAPI timeGetTime(void) { return DWORD(ClockNow() + sys.multimediaSkewMs); }

uint64_t SystemNowNs() {
    if (sys.testClock) return sys.testNowNs;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

void SystemSleepUntilNs(uint64_t deadline) {
    if (deadline <= SystemNowNs()) return;
    if (sys.testClock) {
        sys.testWaits.push_back(deadline - sys.testNowNs);
        sys.testNowNs = deadline;
        return;
    }
    const timespec until = {time_t(deadline / 1000000000u), long(deadline % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

void SystemOweRest(uint64_t untilNs) { sys.restOwedNs = untilNs; }

uint64_t SystemTakeOwedRest() { return std::exchange(sys.restOwedNs, 0); }

// Windows promises a sleep at least as long as asked, and with its default timer often gives a whole 15.6 ms tick.
// Resting through the refresh a flip waits for is within that promise, and spares the process a second wake-up a frame.
void WINAPI Sleep(DWORD milliseconds) {
    if (sys.sleepHook) {
        sys.sleepHook(milliseconds);
        return;
    }
    if (milliseconds == 0) return;
    const uint64_t asked = SystemNowNs() + uint64_t(milliseconds) * 1000000u;
    SystemSleepUntilNs(std::max(asked, SystemTakeOwedRest()));
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName != nullptr) return nullptr;
    return reinterpret_cast<HMODULE>(&moduleTag);
}

BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom) {
    if (rect == nullptr) return FALSE;
    *rect = {left, top, right, bottom};
    return TRUE;
}

// Windows caps wsprintfA's output at 1024 bytes including the terminator; the conversions it knows are a
// subset of C's, with the same meaning, so the C library formats and the cap is applied here.
int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    if (buffer == nullptr || format == nullptr) return 0;
    char staging[1024];
    va_list args;
    va_start(args, format);
    int wanted = std::vsnprintf(staging, sizeof staging, format, args);
    va_end(args);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    size_t length = std::strlen(staging);
    std::memcpy(buffer, staging, length + 1);
    return int(length);
}

int WINAPI MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type) {
    const char* shownText = text != nullptr ? text : "";
    const char* shownCaption = caption != nullptr ? caption : "Error";
    if (sys.capturingMessageBoxes) {
        sys.messageBoxes.push_back({window, shownText, shownCaption, type, TestGetLiveObjects()});
        return IDOK;
    }
    if (HasRealDisplay()) {
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        const HWND__* parent = ObjectsFind<HWND__>(ObjectKind::Window, window);
        if (SDL_ShowSimpleMessageBox(flags, shownCaption, shownText, parent ? parent->sdlWindow : nullptr) == 0) {
            return IDOK;
        }
    }
    std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    return IDOK;
}

void TestCaptureDebugOutput(bool capture) {
    sys.debugCapturing = capture;
    if (!capture) sys.debugPartial.clear();
}

std::vector<std::string> TestTakeDebugOutput() {
    std::vector<std::string> lines;
    lines.swap(sys.debugLines);
    if (!sys.debugPartial.empty()) {
        lines.push_back(sys.debugPartial);
        sys.debugPartial.clear();
    }
    return lines;
}

void TestSetClock(DWORD milliseconds) {
    sys.clockMode = ClockMode::Frozen;
    sys.frozenMs = milliseconds;
}

void TestAdvanceClock(DWORD milliseconds) {
    if (sys.clockMode == ClockMode::Frozen) {
        sys.frozenMs += milliseconds;
    } else {
        sys.realOffsetMs += milliseconds;
    }
}

void TestRunClock() {
    if (sys.clockMode == ClockMode::Frozen) sys.realOffsetMs = sys.frozenMs - RealMilliseconds();
    sys.clockMode = ClockMode::Real;
}

void TestSetMultimediaClockSkew(DWORD milliseconds) { sys.multimediaSkewMs = milliseconds; }

void TestCaptureMessageBoxes(bool capture) { sys.capturingMessageBoxes = capture; }

std::vector<TestMessageBox> TestTakeMessageBoxes() {
    std::vector<TestMessageBox> taken;
    taken.swap(sys.messageBoxes);
    return taken;
}

void TestSetSleepHook(std::function<void(DWORD)> hook) { sys.sleepHook = std::move(hook); }

void TestUseNanosecondClock(bool use) {
    sys.testClock = use;
    sys.testNowNs = 1000000000u;
    sys.testWaits.clear();
    sys.restOwedNs = 0;
}

void TestAdvancePacingClock(uint64_t nanoseconds) { sys.testNowNs += nanoseconds; }

std::vector<uint64_t> TestTakePacingWaits() { return std::exchange(sys.testWaits, {}); }

void TestFakeRenderNode(int opens) { sys.fakeRenderNode = opens; }
