// The soak's script, which the long run and the suite's exactness test of the presenter share: scripted input through
// both scenes, faults, Alt+Enter, window sizes and palette changes injected on a schedule, and what the run saw.
#pragma once

#include "app/app.h"
#include "platform/testing.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>

namespace soak {

// Resident memory may move by a few pages as the allocator settles; growth beyond this is a leak.
constexpr long kRssSlackKb = 256;
// A scene phase longer than this means the script lost control of the program.
constexpr long kPhaseLimit = 3000;
// A run shorter than this holds too few walks to judge the script's progress, and too little time for the
// resident memory to mean anything (under valgrind it is mostly valgrind's own).
constexpr long kFramesToJudge = 2000;
// Under AddressSanitizer the resident memory is mostly its quarantine of freed blocks, which grows by design;
// its leak checker judges the run's memory instead.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif
constexpr int kPassesMinimised = 25;
constexpr int kFramesUnfocused = 3;

// The kinds of fault, each first in frame `first`, then every `every` frames. Each kind comes once early, inside
// the warm-up tenth of a 20,000-frame run, so what a fault does to the allocator (the refill's bitmaps are the
// largest blocks the program asks for) has happened before the resident memory is first sampled. The periods are
// primes, so the faults meet each other in ever different frames and scenes.
enum Kind {
    kLoss,
    kReadFault,
    kBusy,
    kBlitFailure,
    kRestoreFailure,
    kMinimise,
    kFocusLoss,
    kAltEnter,
    kResize,
    kPaletteChange,
    kKinds
};
struct Due {
    const char* name;
    long first, every, count;
    bool operator()(long frame) const { return frame >= first && (frame - first) % every == 0; }
};

inline long ResidentKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

inline bool operator==(const TestLiveObjects& a, const TestLiveObjects& b) {
    return std::memcmp(&a, &b, sizeof(a)) == 0;
}

inline std::string Describe(const TestLiveObjects& l) {
    char text[200];
    std::snprintf(text, sizeof(text),
                  "directDraws=%d surfaces=%d palettes=%d dcs=%d bitmaps=%d fonts=%d directInputs=%d "
                  "inputDevices=%d windows=%d",
                  l.directDraws, l.surfaces, l.palettes, l.dcs, l.bitmaps, l.fonts, l.directInputs, l.inputDevices,
                  l.windows);
    return text;
}

enum class Phase { Sweep, Start, Walk };

struct Soak {
    long frames = 0;  // frames asked for
    Due due[kKinds] = {
        {"surface losses", 101, 3001, 0},  {"device reads", 211, 4001, 0},     {"busy", 307, 5003, 0},
        {"failed blits", 401, 6007, 0},    {"failing restores", 503, 7001, 0}, {"minimised", 601, 7919, 0},
        {"focus lost", 701, 9973, 0},      {"Alt+Enter", 809, 4999, 0},        {"resizes", 907, 1999, 0},
        {"palette changes", 1009, 3989, 0}};
    long frame = 0;  // frames drawn so far
    int stick = -1;
    Phase phase = Phase::Sweep;
    long phaseFrame = 0, cycle = 0;
    std::set<SDL_Scancode> held;  // keys the script holds down
    int minimisedPasses = -1;     // passes of the loop while minimised, -1 when not
    long focusBackAt = -1;
    long walksRight = 0, walksLeft = 0, startsBySpace = 0, startsByButton = 0;
    std::string stuck;
    TestLiveObjects atStart{}, atTenth{}, atEnd{};
    long rssTenth = 0, rssEnd = 0;
    uint32_t presentsAtStart = 0, presents = 0;
    std::chrono::steady_clock::time_point started;
    double seconds = 0;

    // Faults that many times as often, for short runs.
    void Densify(long density) {
        for (Due& d : due) {
            d.first = std::max(1L, d.first / density);
            d.every = std::max(1L, d.every / density);
        }
    }

    void Press(SDL_Scancode key) {
        held.insert(key);
        TestPushKey(key, true);
    }
    void ReleaseAll() {
        for (SDL_Scancode key : held) TestPushKey(key, false);
        held.clear();
        TestSetJoystickAxis(stick, 0, 0);
        TestSetJoystickAxis(stick, 1, 0);
        for (int b = 0; b < 10; ++b) TestSetJoystickButton(stick, b, false);
        for (int b = 1; b <= 3; ++b) TestPushMouseButton(b, false);
    }
    void Enter(Phase next) {
        phase = next;
        phaseFrame = 0;
    }

    void InjectFaults() {
        const long n = frame;
        for (Due& d : due) d.count += d(n);
        if (due[kLoss](n)) TestLoseAllSurfaces();
        if (due[kReadFault](n)) {
            const TestInputObject devices[] = {TestInputObject::Keyboard, TestInputObject::Mouse,
                                               TestInputObject::Joystick};
            const long k = (n - due[kReadFault].first) / due[kReadFault].every;
            TestFailInputOp(devices[(k / 2) % 3], TestInputOp::GetDeviceState,
                            k % 2 == 0 ? DIERR_INPUTLOST : DIERR_NOTACQUIRED, 1 + int(k % 3));
        }
        if (due[kBusy](n)) {
            TestFailSurfaceOp(app.backBuffer, TestSurfaceOp::BltFast, DDERR_WASSTILLDRAWING, 3);
            TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Flip, DDERR_WASSTILLDRAWING, 2);
        }
        if (due[kBlitFailure](n))
            TestFailSurfaceOpAfter(app.backBuffer, TestSurfaceOp::BltFast, DDERR_GENERIC, 1, int((n / 7) % 6));
        if (due[kRestoreFailure](n)) {
            TestLoseAllSurfaces();
            TestFailSurfaceOp(app.primarySurface, TestSurfaceOp::Restore, DDERR_GENERIC, 4);
        }
        if (due[kMinimise](n)) {
            TestPushWindowEvent(SDL_WINDOWEVENT_MINIMIZED);
            minimisedPasses = 0;
        }
        if (due[kFocusLoss](n)) {
            TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
            focusBackAt = n + kFramesUnfocused;
        }
        if (due[kAltEnter](n)) {
            SDL_SetModState(KMOD_LALT);
            TestPushKey(SDL_SCANCODE_RETURN, true);
            TestPushKey(SDL_SCANCODE_RETURN, false);
            SDL_SetModState(KMOD_NONE);
        }
        if (due[kResize](n)) {
            // Whole factors with bars and without, fitted pictures wider and taller than the picture's shape.
            // The largest first, inside the warm-up, so that later sizes reuse what it made.
            static const int sizes[][2] = {{1920, 1080}, {1000, 750}, {700, 900}, {1280, 960}, {1366, 768}, {640, 480}};
            const long k = (n - due[kResize].first) / due[kResize].every;
            TestResizeWindow(sizes[k % 6][0], sizes[k % 6][1]);
        }
        if (due[kPaletteChange](n) && app.palette) {
            // A band of entries the scenes draw with turned to other colours; the next change turns another band.
            const long k = (n - due[kPaletteChange].first) / due[kPaletteChange].every;
            PALETTEENTRY entries[32];
            for (int i = 0; i < 32; ++i) entries[i] = {BYTE(k * 40 + i * 8), BYTE(255 - i * 8), BYTE(k * 90), 0};
            app.palette->SetEntries(0, DWORD(1 + (k * 32) % 224), 32, entries);
        }
        if (n == focusBackAt) {
            TestPushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
            // The keys and buttons forgotten with the focus are pressed again, as a person still holding them.
            for (SDL_Scancode key : held) TestPushKey(key, true);
            focusBackAt = -1;
        }
    }

    // The input-test scene: the cursor swept into all four clamps, the three buttons, the arrows and the
    // stick in turn, the stick's buttons other than the start button; then Space or button 8 by turns.
    void Sweep() {
        const long f = phaseFrame;
        static const int dx[4] = {40, 0, -40, 0}, dy[4] = {0, 40, 0, -40};
        TestPushMouseMotion(dx[(f / 40) % 4], dy[(f / 40) % 4]);
        if (f % 20 == 0 || f % 20 == 10) TestPushMouseButton(1 + int((f / 20) % 3), f % 20 == 0);
        if (f == 0 || f == 80) {
            Press(f == 0 ? SDL_SCANCODE_LEFT : SDL_SCANCODE_RIGHT);
            Press(f == 0 ? SDL_SCANCODE_UP : SDL_SCANCODE_DOWN);
        }
        if (f == 40 || f == 120) ReleaseAll();
        if (f == 20 || f == 60 || f == 100) {
            const int16_t axis = f == 20 ? -32767 : f == 60 ? 32767 : 0;
            TestSetJoystickAxis(stick, 0, axis);
            TestSetJoystickAxis(stick, 1, axis);
        }
        if (f >= 30 && f < 40) TestSetJoystickButton(stick, f - 30 == 8 ? 9 : int(f - 30), true);
        if (f == 160) {
            ReleaseAll();
            if (cycle % 2 == 0) {
                Press(SDL_SCANCODE_SPACE);
                ++startsBySpace;
            } else {
                TestSetJoystickButton(stick, 8, true);
                ++startsByButton;
            }
            Enter(Phase::Start);
        }
    }

    // Once the walk scene is up: right or left by turns, by key or by stick by turns; back to the sweep when the
    // sprite has left the field.
    void Script() {
        if (phaseFrame > kPhaseLimit && stuck.empty()) {
            stuck = "phase " + std::to_string(int(phase)) + " ran " + std::to_string(phaseFrame) + " frames at frame " +
                    std::to_string(frame);
            ReleaseAll();
            Enter(Phase::Sweep);
        }
        if (phase == Phase::Sweep) {
            Sweep();
        } else if (phase == Phase::Start && app.scene == SCENE_GAME) {
            ReleaseAll();
            const bool right = cycle % 4 < 2;
            if (cycle % 2 == 1)
                TestSetJoystickAxis(stick, 0, right ? 32767 : -32767);
            else
                Press(right ? SDL_SCANCODE_RIGHT : SDL_SCANCODE_LEFT);
            Enter(Phase::Walk);
        } else if (phase == Phase::Walk && app.scene != SCENE_GAME) {
            walksRight += app.playerX >= 594;
            walksLeft += app.playerX <= 150;
            ReleaseAll();
            ++cycle;
            Enter(Phase::Sweep);
        }
        ++phaseFrame;
    }

    // Runs after every frame, in place of the loop's 1 ms sleep.
    void AfterFrame() {
        ++frame;
        if (frame == 1) {
            atStart = TestGetLiveObjects();
            presentsAtStart = TestPresentCount();
            started = std::chrono::steady_clock::now();
        }
        if (frame == frames / 10) {
            atTenth = TestGetLiveObjects();
            rssTenth = ResidentKb("VmRSS:");
        }
        if (frame < frames) {
            InjectFaults();
            Script();
        } else if (frame == frames) {
            atEnd = TestGetLiveObjects();
            rssEnd = ResidentKb("VmRSS:");
            presents = TestPresentCount() - presentsAtStart;
            seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            ReleaseAll();
            TestPushKey(SDL_SCANCODE_ESCAPE, true);
            TestPushKey(SDL_SCANCODE_ESCAPE, false);
        }
    }

    // Runs at every pump of the loop, also while minimised, when no frame is drawn.
    void OnPump() {
        if (minimisedPasses >= 0 && ++minimisedPasses == kPassesMinimised) {
            TestPushWindowEvent(SDL_WINDOWEVENT_RESTORED);
            minimisedPasses = -1;
        }
    }
};

}  // namespace soak
