// A long headless run of the whole program: scripted input through both scenes, faults injected on a
// schedule, and at the end the layer's live objects and the resident memory held against their early values.
// Usage: ditessary_soak FRAMES [DENSITY]   (DENSITY: faults that many times as often, for short runs)
#include "tests/soak/soak_script.h"

#include <cstdio>

using namespace soak;

int main(int argc, char** argv) {
    const long frames = argc > 1 ? std::atol(argv[1]) : 0;
    const long density = argc > 2 ? std::atol(argv[2]) : 1;
    if (argc < 2 || argc > 3 || frames < 10 || density < 1 || density > 100) {
        std::fprintf(stderr, "usage: %s FRAMES [DENSITY]   (FRAMES 10 or more, DENSITY 1 to 100)\n", argv[0]);
        return 2;
    }
    // SDL's own variables: no display and no vsync unless the environment says otherwise.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("SDL_RENDER_VSYNC", "0", 0);

    Soak soak;
    soak.frames = frames;
    soak.Densify(density);
    soak.stick = TestAttachJoystick(2, 10, 0);
    if (soak.stick < 0) {
        std::fprintf(stderr, "soak: no virtual joystick: %s\n", SDL_GetError());
        return 1;
    }
    TestCaptureDebugOutput(true);
    TestSetSleepHook([&](DWORD) { soak.AfterFrame(); });
    TestSetPumpHook([&] { soak.OnPump(); });
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);
    TestSetSleepHook(nullptr);
    TestSetPumpHook(nullptr);
    const size_t debugLines = TestTakeDebugOutput().size();
    TestCaptureDebugOutput(false);
    TestDetachJoystick(soak.stick);
    const TestLiveObjects afterExit = TestGetLiveObjects();

    std::printf("frames %ld, presented %u, %.1f us per frame, exit status %d, debug lines %zu\n", soak.frame,
                soak.presents, soak.frame > 0 ? soak.seconds * 1e6 / double(soak.frame) : 0.0, status, debugLines);
    std::printf("walk cycles %ld: to the right edge %ld, to the left edge %ld; started by Space %ld, by button 8 %ld\n",
                soak.cycle, soak.walksRight, soak.walksLeft, soak.startsBySpace, soak.startsByButton);
    std::printf("faults:");
    for (const Due& due : soak.due) std::printf(" %s %ld", due.name, due.count);
    std::printf("\nlive after start-up: %s\n", Describe(soak.atStart).c_str());
    std::printf("resident at 10%%: %ld kB, at 100%%: %ld kB (growth %ld kB), peak %ld kB\n", soak.rssTenth, soak.rssEnd,
                soak.rssEnd - soak.rssTenth, ResidentKb("VmHWM:"));

    bool ok = true;
    auto check = [&](bool holds, const std::string& what) {
        if (!holds) std::printf("FAILED: %s\n", what.c_str());
        ok = ok && holds;
    };
    check(status == 0, "the program ended with status 0");
    check(soak.frame == frames, "every frame asked for was drawn");
    check(soak.stuck.empty(), "the script kept control: " + soak.stuck);
    check(soak.atTenth == soak.atStart && soak.atEnd == soak.atStart,
          "live objects stay at what start-up made; at 10%: " + Describe(soak.atTenth) +
              "; at 100%: " + Describe(soak.atEnd));
    check(afterExit == TestLiveObjects{}, "nothing is alive after exit: " + Describe(afterExit));
    if (frames >= kFramesToJudge) {
        check(kSanitized || soak.rssEnd - soak.rssTenth <= kRssSlackKb, "resident memory did not grow after warm-up");
        check(soak.walksRight > 0 && soak.walksLeft > 0, "the sprite reached both edges");
        check(soak.startsBySpace > 0 && soak.startsByButton > 0, "Space and button 8 both started the walk");
    }
    check(soak.presents > uint32_t(soak.frame / 2), "most frames reached the screen");
    std::printf("%s\n", ok ? "soak passed" : "soak FAILED");
    return ok ? 0 : 1;
}
