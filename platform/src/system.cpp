// Kernel and user services that need no window: SDL start-up, debug output, clocks, formatting, message boxes,
// stock handles and the pointer.
#include "platform/src/platform.h"
#include "platform/testing.h"

#include <mmsystem.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

bool videoReady = false;
bool joystickReady = false;
bool quitRegistered = false;

// SDL keeps process-wide state (the X connection, joystick threads); shutting it down at exit keeps
// leak checkers quiet and gives the X server a clean disconnect.
void RegisterQuitAtExit() {
    if (!quitRegistered) {
        std::atexit(SDL_Quit);
        quitRegistered = true;
    }
}

bool debugCapturing = false;
std::string debugPartial;
std::vector<std::string> debugLines;

enum class ClockMode { Real, Frozen };
ClockMode clockMode = ClockMode::Real;
DWORD frozenMs = 0;
DWORD realOffsetMs = 0;
DWORD multimediaSkewMs = 0;

bool capturingMessageBoxes = false;
std::vector<TestMessageBox> messageBoxes;

// Stock objects begin with a GdiObject header like every GDI object, but are never registered or freed.
struct StockBrush {
    GdiObject header;
    COLORREF colour;
};
StockBrush stockBrushes[] = {
    {{GdiType::Brush}, RGB(255, 255, 255)}, {{GdiType::Brush}, RGB(192, 192, 192)},
    {{GdiType::Brush}, RGB(128, 128, 128)}, {{GdiType::Brush}, RGB(64, 64, 64)},
    {{GdiType::Brush}, RGB(0, 0, 0)},       {{GdiType::Brush}, CLR_INVALID},
};

// Distinct addresses stand for the program's module and the two stock pictures; nothing is behind them.
char moduleTag;
char applicationIconTag;
char arrowCursorTag;

std::function<void(DWORD)> sleepHook;

HCURSOR currentCursor = nullptr;
bool pointerShown = true;

DWORD RealMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = uint64_t(now.tv_sec) * 1000u + uint64_t(now.tv_nsec) / 1000000u;
    return DWORD(ms);
}

DWORD ClockNow() {
    if (clockMode == ClockMode::Frozen) return frozenMs;
    return DWORD(RealMilliseconds() + realOffsetMs);
}

bool HasRealDisplay() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) return false;
    return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
}

}  // namespace

bool PlatformInitVideo() {
    if (videoReady) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video: %s\n", SDL_GetError());
        return false;
    }
    RegisterQuitAtExit();
    videoReady = true;
    return true;
}

bool PlatformInitJoystick() {
    if (joystickReady) return true;
    // A full-screen program keeps reading its stick even when SDL thinks another window has the focus;
    // DirectInput's own foreground rule is applied by the input service, not by SDL.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        std::fprintf(stderr, "SDL joystick: %s\n", SDL_GetError());
        return false;
    }
    RegisterQuitAtExit();
    joystickReady = true;
    return true;
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) return;
    std::fputs(text, stderr);
    if (!debugCapturing) return;
    debugPartial += text;
    size_t start = 0;
    for (size_t end = debugPartial.find('\n'); end != std::string::npos; end = debugPartial.find('\n', start)) {
        debugLines.push_back(debugPartial.substr(start, end + 1 - start));
        start = end + 1;
    }
    debugPartial.erase(0, start);
}

DWORD WINAPI GetTickCount(void) { return ClockNow(); }

DWORD WINAPI timeGetTime(void) { return DWORD(ClockNow() + multimediaSkewMs); }

void WINAPI Sleep(DWORD milliseconds) {
    if (sleepHook) {
        sleepHook(milliseconds);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
    if (capturingMessageBoxes) {
        messageBoxes.push_back({window, shownText, shownCaption, type, TestGetLiveObjects()});
        return IDOK;
    }
    if (HasRealDisplay()) {
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, shownCaption, shownText, PlatformSdlWindow(window)) == 0) return IDOK;
    }
    std::fprintf(stderr, "%s: %s\n", shownCaption, shownText);
    return IDOK;
}

HICON WINAPI LoadIconA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name != IDI_APPLICATION) return nullptr;
    return reinterpret_cast<HICON>(&applicationIconTag);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || name != IDC_ARROW) return nullptr;
    return reinterpret_cast<HCURSOR>(&arrowCursorTag);
}

HGDIOBJ WINAPI GetStockObject(int object) {
    if (object < 0 || object >= int(sizeof stockBrushes / sizeof stockBrushes[0])) return nullptr;
    return &stockBrushes[object];
}

// The window procedure calls this on WM_SETCURSOR; a null cursor hides the pointer over the whole screen.
HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = currentCursor;
    currentCursor = cursor;
    pointerShown = cursor != nullptr;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(pointerShown ? SDL_ENABLE : SDL_DISABLE);
    return previous;
}

void TestCaptureDebugOutput(bool capture) {
    debugCapturing = capture;
    if (!capture) debugPartial.clear();
}

std::vector<std::string> TestTakeDebugOutput() {
    std::vector<std::string> lines;
    lines.swap(debugLines);
    if (!debugPartial.empty()) {
        lines.push_back(debugPartial);
        debugPartial.clear();
    }
    return lines;
}

void TestSetClock(DWORD milliseconds) {
    clockMode = ClockMode::Frozen;
    frozenMs = milliseconds;
}

void TestAdvanceClock(DWORD milliseconds) {
    if (clockMode == ClockMode::Frozen) {
        frozenMs += milliseconds;
    } else {
        realOffsetMs += milliseconds;
    }
}

void TestRunClock() {
    if (clockMode == ClockMode::Frozen) realOffsetMs = frozenMs - RealMilliseconds();
    clockMode = ClockMode::Real;
}

void TestSetMultimediaClockSkew(DWORD milliseconds) { multimediaSkewMs = milliseconds; }

void TestCaptureMessageBoxes(bool capture) { capturingMessageBoxes = capture; }

std::vector<TestMessageBox> TestTakeMessageBoxes() {
    std::vector<TestMessageBox> taken;
    taken.swap(messageBoxes);
    return taken;
}

bool TestPointerShown() { return pointerShown; }

HCURSOR TestCurrentCursor() { return currentCursor; }

void TestSetSleepHook(std::function<void(DWORD)> hook) { sleepHook = std::move(hook); }
