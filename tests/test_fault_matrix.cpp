// Faults at every place a frame can meet them, in both scenes, each run held against a clean run of the same
// script: the program keeps going, leaks nothing, and its frames are whole again once the fault has cleared.
#include "tests/program_harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class Scene { Title, Walk };
// What walks the sprite: the Right key, or the stick pushed right.
enum class Walker { Key, Stick };

// Frame 1 draws the input-test scene with an empty counter; the clock then jumps a second, so from frame 2 on
// every frame carries "0002 FPS" and the counter's eight glyphs are blit sites. The walk script enters the walk
// scene in frame 3, so the fault frame lies well inside either scene.
constexpr int kFaultFrame = 8;
constexpr int kFrames = 18;
constexpr int kTitleBlits = 3;  // logo, prompt, cursor; the counter's glyphs follow
constexpr int kWalkBlits = 2;   // background, sprite
constexpr int kFlip = -1;
constexpr int kBusyTimes = 3;
constexpr TestInputObject kDevices[3] = {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick};

struct FrameRecord {
    int presented = 0;
    int bltFasts = 0;  // BltFast calls on the back buffer during the frame
    int flips = 0;     // Flip calls on the primary surface during the frame
    int reads[3] = {};
    int acquires[3] = {};
    std::vector<BYTE> picture;  // what the frame put on the screen, when it did
};
using Frames = std::vector<FrameRecord>;

// The input both runs get, given after each frame for the next one. Title: Left and Up held, the stick right
// and down, the mouse 3 right and 2 down before every frame. Walk: Space for one frame, then the walker.
void Script(Scene scene, Walker walker, int stick, int frame) {
    if (frame == 1) {
        TestAdvanceClock(1000);
        if (scene == Scene::Title) {
            PressKey(SDL_SCANCODE_LEFT);
            PressKey(SDL_SCANCODE_UP);
            TestSetJoystickAxis(stick, 0, 32767);
            TestSetJoystickAxis(stick, 1, 32767);
        } else {
            PressKey(SDL_SCANCODE_SPACE);
        }
    }
    if (scene == Scene::Walk && frame == 2) {
        ReleaseKey(SDL_SCANCODE_SPACE);
        if (walker == Walker::Key) PressKey(SDL_SCANCODE_RIGHT);
        if (walker == Walker::Stick) TestSetJoystickAxis(stick, 0, 32767);
    }
    if (scene == Scene::Title) TestPushMouseMotion(3, 2);
}

// Called after each frame with its number, to set up what the next frame meets.
using Arm = std::function<void(int frame)>;

Frames RunScript(Scene scene, Walker walker, const Arm& arm, int* status) {
    Frames frames;
    const int stick = TestAttachJoystick(2, 10, 0);
    int counts[8] = {};  // the running totals the records are differences of
    auto since = [&counts](int slot, int now) { return now - std::exchange(counts[slot], now); };
    *status = RunProgram([&](const ProgramFrame& frame) {
        FrameRecord r;
        r.presented = frame.presented;
        r.bltFasts = since(0, TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast));
        r.flips = since(1, TestSurfaceCallCount(app.primarySurface, TestSurfaceOp::Flip));
        for (int i = 0; i < 3; ++i) {
            r.reads[i] = since(2 + i, TestInputCalls(kDevices[i], TestInputOp::GetDeviceState));
            r.acquires[i] = since(5 + i, TestInputCalls(kDevices[i], TestInputOp::Acquire));
        }
        if (frame.presented) r.picture = frame.picture.indices;
        frames.push_back(std::move(r));
        Script(scene, walker, stick, frame.number);
        if (arm) arm(frame.number);
        return frame.number < kFrames;
    });
    TestDetachJoystick(stick);
    return frames;
}

// The clean run happens in a child process: the program's window class and its one record exist once per
// process, as on Windows, so a second WinMain in this one could not start. The child writes its records to a
// file both processes share; none when its run did not end with status 0.
Frames CleanRun(Scene scene, Walker walker) {
    FILE* shared = std::tmpfile();
    std::fflush(nullptr);
    const pid_t child = shared ? fork() : -1;
    if (child == 0) {
        int status = -1;
        for (const FrameRecord& f : RunScript(scene, walker, nullptr, &status)) {
            const int head[3] = {f.presented, f.bltFasts, f.flips};
            std::fwrite(head, sizeof(int), 3, shared);
            std::fwrite(f.picture.data(), 1, f.picture.size(), shared);
        }
        std::fflush(shared);
        _exit(status == 0 ? 0 : 3);
    }
    int waitStatus = 0;
    Frames frames;
    if (child > 0 && waitpid(child, &waitStatus, 0) == child && WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) {
        std::rewind(shared);
        FrameRecord f;
        int head[3];
        while (std::fread(head, sizeof(int), 3, shared) == 3) {
            f.presented = head[0], f.bltFasts = head[1], f.flips = head[2];
            f.picture.resize(f.presented ? 640 * 480 : 0);
            if (std::fread(f.picture.data(), 1, f.picture.size(), shared) != f.picture.size()) break;
            frames.push_back(f);
        }
    }
    if (shared) std::fclose(shared);
    return frames;
}

// The lines written after start-up's own "... OK" lines.
std::vector<std::string> LinesAfterStartup() {
    std::vector<std::string> lines;
    for (const std::string& line : ProgramDebugLines())
        if (line.size() < 4 || line.compare(line.size() - 4, 4, " OK\n") != 0) lines.push_back(line);
    return lines;
}

// outcome, one letter per frame from the fault frame on: n the frame was not shown, d it was shown but is not
// the clean run's picture, = it is. Every later frame must be the clean run's picture `lag` frames earlier:
// the frames in which the fault cost the walk its step, or the cursor its motion.
void ExpectFramesAfter(const Frames& clean, const Frames& run, const std::string& outcome, int lag) {
    ASSERT_EQ(clean.size(), size_t(kFrames)) << "the clean run did not finish";
    ASSERT_EQ(run.size(), size_t(kFrames));
    for (int n = 1; n <= kFrames; ++n) ASSERT_TRUE(clean[n - 1].presented) << "clean frame " << n;
    for (int n = 1; n < kFaultFrame; ++n)
        ASSERT_TRUE(run[n - 1].presented && run[n - 1].picture == clean[n - 1].picture) << "frame " << n;
    for (int n = kFaultFrame; n <= kFrames; ++n) {
        const size_t i = size_t(n - kFaultFrame);
        const char expected = i < outcome.size() ? outcome[i] : '+';
        const FrameRecord& shown = run[n - 1];
        EXPECT_EQ(bool(shown.presented), expected != 'n') << "frame " << n;
        const std::vector<BYTE>& like = clean[n - 1 - (expected == '+' ? lag : 0)].picture;
        const bool alike = shown.picture == like;
        EXPECT_TRUE(expected == 'n' || alike == (expected != 'd'))
            << "frame " << n << ": " << expected << ", lag " << lag;
    }
}

// One fault: the script it strikes, how it is armed after each frame, what the frames from the fault frame on
// show, the debug lines it writes, and what else the struck frame must show.
struct Fault {
    std::string name;
    Scene scene;
    Walker walker;
    Arm arm;
    std::string outcome;
    int lag;
    std::vector<std::string> lines;
    std::function<void(const FrameRecord& struck, const FrameRecord& calm, const FrameRecord& next)> check;
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

// What each fault does to the frame it strikes, site by site. A loss is repaired by the blit that met it and
// costs that frame its picture; a busy display is waited out, asked again every time; a failure abandons the
// scene (the cursor's is ignored) or, at a glyph, the flip. A lost flip shows nothing, and the next frame's first
// blit meets the loss of the bitmap surfaces. In the walk scene an abandoned scene reads no input: the sprite
// falls a step behind.
std::vector<Fault> SiteFaults() {
    std::vector<Fault> faults;
    auto add = [&](std::string name, Scene scene, int blit, const char* lost, const char* failed, int failedLag) {
        const bool flip = blit == kFlip;
        auto arm = [=](HRESULT result, int times) {
            return [=](int frame) {
                if (frame != kFaultFrame - 1) return;
                IDirectDrawSurface7* surface = flip ? app.primarySurface : app.backBuffer;
                const TestSurfaceOp op = flip ? TestSurfaceOp::Flip : TestSurfaceOp::BltFast;
                const int skip = flip ? 0 : blit;
                ASSERT_TRUE(result == DDERR_SURFACELOST ? TestLoseAllSurfacesAt(surface, op, skip)
                                                        : TestFailSurfaceOpAfter(surface, op, result, times, skip));
            };
        };
        auto retried = [flip](const FrameRecord& struck, const FrameRecord& calm, const FrameRecord&) {
            EXPECT_EQ(flip ? struck.flips : struck.bltFasts, (flip ? calm.flips : calm.bltFasts) + kBusyTimes);
        };
        faults.push_back({name + "Lost", scene, Walker::Key, arm(DDERR_SURFACELOST, 1), lost, 0, {}, nullptr});
        faults.push_back(
            {name + "Busy", scene, Walker::Key, arm(DDERR_WASSTILLDRAWING, kBusyTimes), "=", 0, {}, retried});
        faults.push_back({name + "Failed", scene, Walker::Key, arm(DDERR_GENERIC, 1), failed, failedLag, {}, nullptr});
    };
    add("TitleLogo", Scene::Title, 0, "d", "d", 0);
    add("TitlePrompt", Scene::Title, 1, "d", "d", 0);
    add("TitleCursor", Scene::Title, 2, "d", "d", 0);
    for (int g = 0; g < 8; ++g) add("TitleGlyph" + std::to_string(g), Scene::Title, kTitleBlits + g, "d", "n", 0);
    add("TitleFlip", Scene::Title, kFlip, "nd", "n", 0);
    add("WalkBackground", Scene::Walk, 0, "d", "d", 1);
    add("WalkSprite", Scene::Walk, 1, "d", "d", 1);
    for (int g = 0; g < 8; ++g) add("WalkGlyph" + std::to_string(g), Scene::Walk, kWalkBlits + g, "d", "n", 0);
    add("WalkFlip", Scene::Walk, kFlip, "nd", "n", 0);
    return faults;
}

// While the display is away nothing reaches the screen; the first frame back repairs at its first blit. A
// failed last Restore fails the repair, so the chara surface stays lost until the next blit that reads it. A
// failed first Restore does not count, and that surface stays lost until a blit reads it. A refill that fails
// leaves its surface blank until the next loss (the title's logo and prompt then show as black bands, the walk's
// background as black), which a clean loss two frames on brings; the background's blank refill cannot show in
// the input-test scene.
std::vector<Fault> RestoreFaults() {
    enum Trouble { DisplayAway, CharaRestoreFails, BackgroundRestoreFails, RefillGetDCFails, RefillMemoryDCFails };
    const std::vector<std::string> copyFailed = {"ddcopybitmap failed\n"};
    const std::vector<std::string> noMemoryDC = {"createcompatible dc failed\n", "ddcopybitmap failed\n"};
    std::vector<Fault> faults;
    auto add = [&](std::string name, Scene scene, Trouble trouble, const char* outcome, int lag, bool lossAgain,
                   std::vector<std::string> lines) {
        auto arm = [=](int frame) {
            if (lossAgain && frame == kFaultFrame + 2) TestLoseAllSurfaces();
            if (trouble == DisplayAway && (frame == kFaultFrame - 1 || frame == kFaultFrame + 2))
                TestSetDisplayMinimised(frame == kFaultFrame - 1);
            if (trouble == DisplayAway || frame != kFaultFrame - 1) return;
            ASSERT_TRUE(TestLoseAllSurfacesAt(app.backBuffer, TestSurfaceOp::BltFast, 0));
            if (trouble == CharaRestoreFails)
                TestFailSurfaceOp(app.charaSurface, TestSurfaceOp::Restore, DDERR_GENERIC);
            if (trouble == BackgroundRestoreFails)
                TestFailSurfaceOp(app.backgroundSurface, TestSurfaceOp::Restore, DDERR_GENERIC);
            if (trouble == RefillGetDCFails)  // the scene's first bitmap
                TestFailSurfaceOp(scene == Scene::Title ? app.titleSurface : app.backgroundSurface,
                                  TestSurfaceOp::GetDC, DDERR_GENERIC);
            if (trouble == RefillMemoryDCFails) TestFailNextCompatibleDCs(1);
        };
        faults.push_back({name, scene, Walker::Key, arm, outcome, lag, lines, nullptr});
    };
    add("TitleDisplayAway", Scene::Title, DisplayAway, "nnnd", 0, false, {});
    add("WalkDisplayAway", Scene::Walk, DisplayAway, "nnnd", 3, false, {});
    add("TitleCharaRestoreFails", Scene::Title, CharaRestoreFails, "dd", 0, false, {});
    add("WalkCharaRestoreFails", Scene::Walk, CharaRestoreFails, "dd", 1, false, {});
    add("TitleBackgroundRestoreFails", Scene::Title, BackgroundRestoreFails, "d", 0, false, {});
    add("WalkBackgroundRestoreFails", Scene::Walk, BackgroundRestoreFails, "dd", 0, false, {});
    add("TitleRefillGetDCFails", Scene::Title, RefillGetDCFails, "dddd", 0, true, copyFailed);
    add("WalkRefillGetDCFails", Scene::Walk, RefillGetDCFails, "dddd", 0, true, copyFailed);
    add("TitleRefillMemoryDCFails", Scene::Title, RefillMemoryDCFails, "d", 0, false, noMemoryDC);
    add("WalkRefillMemoryDCFails", Scene::Walk, RefillMemoryDCFails, "dddd", 0, true, noMemoryDC);
    return faults;
}

// A failed read is no input for that frame: the input-test scene shows an empty read-out line (or a cursor that
// did not move) and the walk scene takes no step. Motion the mouse gathered before a lost read goes with the
// loss, so the cursor stays one frame's motion behind; a read that merely failed leaves it for the next read.
// Only a lost read acquires the device again, at once. The walk scene never reads the mouse: there it keeps
// failing for three frames, then is let go.
std::vector<Fault> ReadFaults() {
    std::vector<Fault> faults;
    for (Scene scene : {Scene::Title, Scene::Walk}) {
        for (int slot = 0; slot < 3; ++slot) {
            for (HRESULT result : {DIERR_NOTACQUIRED, DIERR_INPUTLOST}) {
                const bool lost = result == DIERR_INPUTLOST, unread = scene == Scene::Walk && slot == 1;
                const TestInputObject device = kDevices[slot];
                auto arm = [=](int frame) {
                    if (frame == kFaultFrame - 1)
                        TestFailInputOp(device, TestInputOp::GetDeviceState, result, unread ? -1 : 1);
                    if (unread && frame == kFaultFrame + 2)
                        TestFailInputOp(device, TestInputOp::GetDeviceState, S_OK, 0);
                };
                auto check = [=](const FrameRecord& struck, const FrameRecord&, const FrameRecord& next) {
                    EXPECT_EQ(struck.reads[slot], unread ? 0 : 1);
                    EXPECT_EQ(struck.acquires[slot], lost && !unread ? 1 : 0);
                    EXPECT_EQ(next.acquires[slot], 0);
                };
                const char* names[3] = {"Keyboard", "Mouse", "Joystick"};
                const std::string name = std::string(scene == Scene::Title ? "Title" : "Walk") + names[slot];
                const bool title = scene == Scene::Title;
                faults.push_back({name + (lost ? "Lost" : "Fails"),
                                  scene,
                                  slot == 2 ? Walker::Stick : Walker::Key,
                                  arm,
                                  title    ? "d"
                                  : unread ? ""
                                           : "=",
                                  title    ? (slot == 1 && lost ? 1 : 0)
                                  : unread ? 0
                                           : 1,
                                  {},
                                  check});
            }
        }
    }
    return faults;
}

class FaultInFrame : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultInFrame, IsSurvivedWithoutLeaksAndTheFramesAfterItAreWhole) {
    const Fault& fault = GetParam();
    const Frames clean = CleanRun(fault.scene, fault.walker);
    int status = -1;
    const Frames run = RunScript(fault.scene, fault.walker, fault.arm, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(LinesAfterStartup(), fault.lines);
    ExpectFramesAfter(clean, run, fault.outcome, fault.lag);
    if (fault.check && clean.size() == size_t(kFrames) && run.size() == size_t(kFrames))
        fault.check(run[kFaultFrame - 1], clean[kFaultFrame - 1], run[kFaultFrame]);
}

auto Name = [](const auto& info) { return info.param.name; };
INSTANTIATE_TEST_SUITE_P(EveryBlitAndTheFlip, FaultInFrame, ::testing::ValuesIn(SiteFaults()), Name);
INSTANTIATE_TEST_SUITE_P(RestoreAndRefill, FaultInFrame, ::testing::ValuesIn(RestoreFaults()), Name);
INSTANTIATE_TEST_SUITE_P(EachDeviceInEachScene, FaultInFrame, ::testing::ValuesIn(ReadFaults()), Name);

}  // namespace
