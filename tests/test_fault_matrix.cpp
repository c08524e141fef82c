// Faults at every place a frame can meet them, in both scenes, each run held against a clean run of the same
// script: the program keeps going, leaks nothing, and its frames are whole again once the fault has cleared.
#include "tests/program_harness.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
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
constexpr int kGlyphs = 8;
constexpr int kFlip = -1;

struct FrameRecord {
    bool presented = false;
    int bltFasts = 0;  // BltFast calls on the back buffer during the frame
    int flips = 0;     // Flip calls on the primary surface during the frame
    int reads[3] = {};
    int acquires[3] = {};
    std::vector<BYTE> picture;  // what the frame put on the screen, when it did
};

constexpr TestInputObject kDevices[3] = {TestInputObject::Keyboard, TestInputObject::Mouse, TestInputObject::Joystick};

int DeviceSlot(TestInputObject device) {
    for (int i = 0; i < 3; ++i)
        if (kDevices[i] == device) return i;
    return 0;
}

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
        if (walker == Walker::Key) {
            PressKey(SDL_SCANCODE_RIGHT);
        } else {
            TestSetJoystickAxis(stick, 0, 32767);
        }
    }
    if (scene == Scene::Title) TestPushMouseMotion(3, 2);
}

// Called after each frame with its number, to set up what the next frame meets.
using Arm = std::function<void(int frame)>;

std::vector<FrameRecord> RunScript(Scene scene, Walker walker, const Arm& arm, int* status) {
    std::vector<FrameRecord> frames;
    const int stick = TestAttachJoystick(2, 10, 0);
    int blts = 0;
    int flips = 0;
    int reads[3] = {};
    int acquires[3] = {};
    *status = RunProgram([&](const ProgramFrame& frame) {
        FrameRecord record;
        record.presented = frame.presented;
        const int bltsNow = TestSurfaceCallCount(app.backBuffer, TestSurfaceOp::BltFast);
        const int flipsNow = TestSurfaceCallCount(app.primarySurface, TestSurfaceOp::Flip);
        record.bltFasts = bltsNow - std::exchange(blts, bltsNow);
        record.flips = flipsNow - std::exchange(flips, flipsNow);
        for (int i = 0; i < 3; ++i) {
            const int r = TestInputCalls(kDevices[i], TestInputOp::GetDeviceState);
            const int a = TestInputCalls(kDevices[i], TestInputOp::Acquire);
            record.reads[i] = r - std::exchange(reads[i], r);
            record.acquires[i] = a - std::exchange(acquires[i], a);
        }
        if (frame.presented) record.picture = frame.picture.indices;
        frames.push_back(std::move(record));
        Script(scene, walker, stick, frame.number);
        if (arm) arm(frame.number);
        return frame.number < kFrames;
    });
    TestDetachJoystick(stick);
    return frames;
}

bool WriteAll(int fd, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, at, size);
        if (n <= 0) return false;
        at += n;
        size -= size_t(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = read(fd, at, size);
        if (n <= 0) return false;
        at += n;
        size -= size_t(n);
    }
    return true;
}

struct RecordHead {
    int presented;
    int bltFasts;
    int flips;
    uint32_t pictureBytes;
};

// The clean run happens in a child process: the program's window class and its one record exist once per
// process, as on Windows, so a second WinMain in this one could not start.
std::vector<FrameRecord> CleanRun(Scene scene, Walker walker) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        int status = -1;
        const std::vector<FrameRecord> frames = RunScript(scene, walker, nullptr, &status);
        bool written = true;
        for (const FrameRecord& f : frames) {
            RecordHead head{f.presented, f.bltFasts, f.flips, uint32_t(f.picture.size())};
            written = written && WriteAll(fds[1], &head, sizeof(head)) &&
                      WriteAll(fds[1], f.picture.data(), f.picture.size());
        }
        close(fds[1]);
        _exit(written && status == 0 ? 0 : 3);
    }
    close(fds[1]);
    std::vector<FrameRecord> frames;
    RecordHead head;
    while (child > 0 && ReadAll(fds[0], &head, sizeof(head))) {
        FrameRecord f;
        f.presented = head.presented != 0;
        f.bltFasts = head.bltFasts;
        f.flips = head.flips;
        f.picture.resize(head.pictureBytes);
        if (!ReadAll(fds[0], f.picture.data(), f.picture.size())) break;
        frames.push_back(std::move(f));
    }
    close(fds[0]);
    int waitStatus = 0;
    if (child < 0 || waitpid(child, &waitStatus, 0) != child || !WIFEXITED(waitStatus) ||
        WEXITSTATUS(waitStatus) != 0) {
        return {};
    }
    return frames;
}

// The lines written after start-up's own "... OK" lines.
std::vector<std::string> LinesAfterStartup() {
    std::vector<std::string> lines;
    for (const std::string& line : ProgramDebugLines()) {
        if (line.size() < 4 || line.compare(line.size() - 4, 4, " OK\n") != 0) lines.push_back(line);
    }
    return lines;
}

// outcome, one letter per frame from the fault frame on: n the frame was not shown, d it was shown but is not
// the clean run's picture, = it is. Every later frame must be the clean run's picture `lag` frames earlier:
// the frames in which the fault cost the walk its step, or the cursor its motion.
void ExpectFramesAfter(const std::vector<FrameRecord>& clean, const std::vector<FrameRecord>& run,
                       const std::string& outcome, int lag) {
    ASSERT_EQ(clean.size(), size_t(kFrames)) << "the clean run did not finish";
    ASSERT_EQ(run.size(), size_t(kFrames));
    for (int n = 1; n <= kFrames; ++n) ASSERT_TRUE(clean[n - 1].presented) << "clean frame " << n;
    for (int n = 1; n < kFaultFrame; ++n) {
        ASSERT_TRUE(run[n - 1].presented && run[n - 1].picture == clean[n - 1].picture) << "frame " << n;
    }
    for (size_t i = 0; i < outcome.size(); ++i) {
        const int n = kFaultFrame + int(i);
        const FrameRecord& shown = run[n - 1];
        switch (outcome[i]) {
            case 'n':
                EXPECT_FALSE(shown.presented) << "frame " << n;
                break;
            case 'd':
                EXPECT_TRUE(shown.presented) << "frame " << n;
                EXPECT_NE(shown.picture, clean[n - 1].picture) << "frame " << n << " should lack what the fault took";
                break;
            default:
                EXPECT_TRUE(shown.presented && shown.picture == clean[n - 1].picture) << "frame " << n;
                break;
        }
    }
    for (int n = kFaultFrame + int(outcome.size()); n <= kFrames; ++n) {
        const FrameRecord& shown = run[n - 1];
        EXPECT_TRUE(shown.presented) << "frame " << n;
        EXPECT_TRUE(shown.picture == clean[n - 1 - lag].picture)
            << "frame " << n << " is not the clean frame " << n - lag;
    }
}

// --- faults at the blits and the flip ---

enum class Kind { Lost, Busy, Failed };
constexpr int kBusyTimes = 3;

struct SiteFault {
    std::string name;
    Scene scene;
    int blit;  // the frame's BltFast on the back buffer, from 0, or kFlip
    Kind kind;
    std::string outcome;
    int lag;
};

void PrintTo(const SiteFault& fault, std::ostream* out) { *out << fault.name; }

void ArmSite(const SiteFault& fault) {
    IDirectDrawSurface7* surface = fault.blit == kFlip ? app.primarySurface : app.backBuffer;
    const TestSurfaceOp op = fault.blit == kFlip ? TestSurfaceOp::Flip : TestSurfaceOp::BltFast;
    const int skip = fault.blit == kFlip ? 0 : fault.blit;
    switch (fault.kind) {
        case Kind::Lost:
            ASSERT_TRUE(TestLoseAllSurfacesAt(surface, op, skip));
            break;
        case Kind::Busy:
            ASSERT_TRUE(TestFailSurfaceOpAfter(surface, op, DDERR_WASSTILLDRAWING, kBusyTimes, skip));
            break;
        case Kind::Failed:
            ASSERT_TRUE(TestFailSurfaceOpAfter(surface, op, DDERR_GENERIC, 1, skip));
            break;
    }
}

// What each fault does to the frame it strikes, site by site. A loss is repaired by the blit that met it and
// costs that frame its picture; a busy display is waited out; a failure abandons the scene (the cursor's is
// ignored) or, at a glyph, the flip. A lost flip shows nothing, and the next frame's first blit meets the loss
// of the bitmap surfaces. In the walk scene an abandoned scene reads no input: the sprite falls a step behind.
std::vector<SiteFault> SiteFaults() {
    std::vector<SiteFault> faults;
    auto add = [&](std::string name, Scene scene, int blit, const char* lost, const char* failed, int failedLag) {
        faults.push_back({name + "Lost", scene, blit, Kind::Lost, lost, 0});
        faults.push_back({name + "Busy", scene, blit, Kind::Busy, "=", 0});
        faults.push_back({name + "Failed", scene, blit, Kind::Failed, failed, failedLag});
    };
    add("TitleLogo", Scene::Title, 0, "d", "d", 0);
    add("TitlePrompt", Scene::Title, 1, "d", "d", 0);
    add("TitleCursor", Scene::Title, 2, "d", "d", 0);
    for (int g = 0; g < kGlyphs; ++g) add("TitleGlyph" + std::to_string(g), Scene::Title, kTitleBlits + g, "d", "n", 0);
    add("TitleFlip", Scene::Title, kFlip, "nd", "n", 0);
    add("WalkBackground", Scene::Walk, 0, "d", "d", 1);
    add("WalkSprite", Scene::Walk, 1, "d", "d", 1);
    for (int g = 0; g < kGlyphs; ++g) add("WalkGlyph" + std::to_string(g), Scene::Walk, kWalkBlits + g, "d", "n", 0);
    add("WalkFlip", Scene::Walk, kFlip, "nd", "n", 0);
    return faults;
}

class FaultAtSite : public ::testing::TestWithParam<SiteFault> {};

TEST_P(FaultAtSite, IsSurvivedWithoutLeaksAndTheFramesAfterItAreWhole) {
    const SiteFault& fault = GetParam();
    const std::vector<FrameRecord> clean = CleanRun(fault.scene, Walker::Key);
    int status = -1;
    const std::vector<FrameRecord> run = RunScript(
        fault.scene, Walker::Key,
        [&](int frame) {
            if (frame == kFaultFrame - 1) ArmSite(fault);
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(LinesAfterStartup(), std::vector<std::string>{});
    ExpectFramesAfter(clean, run, fault.outcome, fault.lag);
    if (fault.kind == Kind::Busy && clean.size() == run.size()) {
        const FrameRecord& struck = run[kFaultFrame - 1];
        const FrameRecord& calm = clean[kFaultFrame - 1];
        if (fault.blit == kFlip) {
            EXPECT_EQ(struck.flips, calm.flips + kBusyTimes) << "every busy flip is asked again";
        } else {
            EXPECT_EQ(struck.bltFasts, calm.bltFasts + kBusyTimes) << "every busy blit is asked again";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryBlitAndTheFlip, FaultAtSite, ::testing::ValuesIn(SiteFaults()),
                         [](const auto& info) { return info.param.name; });

// --- faults while the surfaces are restored and refilled ---

enum class RestoreTrouble {
    DisplayAway,             // the display cannot be restored for three frames
    CharaRestoreFails,       // the last surface's Restore fails once: the repair fails
    BackgroundRestoreFails,  // the first bitmap surface's Restore fails once: the repair succeeds regardless
    RefillGetDCFails,        // the refill of the scene's first bitmap cannot get its surface's DC
    RefillMemoryDCFails,     // the first refill cannot make its memory DC
};

struct RestoreFault {
    std::string name;
    Scene scene;
    RestoreTrouble trouble;
    std::string outcome;
    int lag;
    bool lossAgain;  // a clean loss after frame kFaultFrame + 2 repairs what the fault left unfilled
    std::vector<std::string> lines;
};

void PrintTo(const RestoreFault& fault, std::ostream* out) { *out << fault.name; }

void ArmRestore(const RestoreFault& fault, int frame) {
    if (fault.lossAgain && frame == kFaultFrame + 2) TestLoseAllSurfaces();
    if (fault.trouble == RestoreTrouble::DisplayAway) {
        if (frame == kFaultFrame - 1) TestSetDisplayMinimised(true);
        if (frame == kFaultFrame + 2) TestSetDisplayMinimised(false);
        return;
    }
    if (frame != kFaultFrame - 1) return;
    ASSERT_TRUE(TestLoseAllSurfacesAt(app.backBuffer, TestSurfaceOp::BltFast, 0));
    IDirectDrawSurface7* firstShown = fault.scene == Scene::Title ? app.titleSurface : app.backgroundSurface;
    switch (fault.trouble) {
        case RestoreTrouble::CharaRestoreFails:
            TestFailSurfaceOp(app.charaSurface, TestSurfaceOp::Restore, DDERR_GENERIC, 1);
            break;
        case RestoreTrouble::BackgroundRestoreFails:
            TestFailSurfaceOp(app.backgroundSurface, TestSurfaceOp::Restore, DDERR_GENERIC, 1);
            break;
        case RestoreTrouble::RefillGetDCFails:
            TestFailSurfaceOp(firstShown, TestSurfaceOp::GetDC, DDERR_GENERIC, 1);
            break;
        case RestoreTrouble::RefillMemoryDCFails:
            TestFailNextCompatibleDCs(1);
            break;
        case RestoreTrouble::DisplayAway:
            break;
    }
}

const std::vector<std::string> kNoLines;
const std::vector<std::string> kCopyFailed = {"ddcopybitmap failed\n"};
const std::vector<std::string> kNoMemoryDC = {"createcompatible dc failed\n", "ddcopybitmap failed\n"};

// While the display is away nothing reaches the screen; the first frame back repairs at its first blit. A
// failed last Restore fails the repair, so the chara surface stays lost until the next blit that reads it. A
// failed first Restore does not count, and that surface stays lost until a blit reads it. A refill that fails
// leaves its surface blank until the next loss (the title's logo and prompt then show as black bands, the walk's
// background as black); the background's blank refill cannot show in the input-test scene.
const RestoreFault kRestoreFaults[] = {
    {"TitleDisplayAway", Scene::Title, RestoreTrouble::DisplayAway, "nnnd", 0, false, kNoLines},
    {"WalkDisplayAway", Scene::Walk, RestoreTrouble::DisplayAway, "nnnd", 3, false, kNoLines},
    {"TitleCharaRestoreFails", Scene::Title, RestoreTrouble::CharaRestoreFails, "dd", 0, false, kNoLines},
    {"WalkCharaRestoreFails", Scene::Walk, RestoreTrouble::CharaRestoreFails, "dd", 1, false, kNoLines},
    {"TitleBackgroundRestoreFails", Scene::Title, RestoreTrouble::BackgroundRestoreFails, "d", 0, false, kNoLines},
    {"WalkBackgroundRestoreFails", Scene::Walk, RestoreTrouble::BackgroundRestoreFails, "dd", 0, false, kNoLines},
    {"TitleRefillGetDCFails", Scene::Title, RestoreTrouble::RefillGetDCFails, "dddd", 0, true, kCopyFailed},
    {"WalkRefillGetDCFails", Scene::Walk, RestoreTrouble::RefillGetDCFails, "dddd", 0, true, kCopyFailed},
    {"TitleRefillMemoryDCFails", Scene::Title, RestoreTrouble::RefillMemoryDCFails, "d", 0, false, kNoMemoryDC},
    {"WalkRefillMemoryDCFails", Scene::Walk, RestoreTrouble::RefillMemoryDCFails, "dddd", 0, true, kNoMemoryDC},
};

class FaultInRecovery : public ::testing::TestWithParam<RestoreFault> {};

TEST_P(FaultInRecovery, IsSurvivedWithoutLeaksAndTheFramesAfterItAreWhole) {
    const RestoreFault& fault = GetParam();
    const std::vector<FrameRecord> clean = CleanRun(fault.scene, Walker::Key);
    int status = -1;
    const std::vector<FrameRecord> run = RunScript(
        fault.scene, Walker::Key, [&](int frame) { ArmRestore(fault, frame); }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(LinesAfterStartup(), fault.lines);
    ExpectFramesAfter(clean, run, fault.outcome, fault.lag);
}

INSTANTIATE_TEST_SUITE_P(RestoreAndRefill, FaultInRecovery, ::testing::ValuesIn(kRestoreFaults),
                         [](const auto& info) { return info.param.name; });

// --- failed and lost device reads ---

struct ReadFault {
    std::string name;
    Scene scene;
    Walker walker;
    TestInputObject device;
    HRESULT result;
    std::string outcome;
    int lag;
};

void PrintTo(const ReadFault& fault, std::ostream* out) { *out << fault.name; }

// A failed read is no input for that frame: the input-test scene shows an empty read-out line (or a cursor that
// did not move) and the walk scene takes no step. Motion the mouse gathered before a lost read goes with the
// loss, so the cursor stays one frame's motion behind; a read that merely failed leaves it for the next read.
// The walk scene never reads the mouse.
const ReadFault kReadFaults[] = {
    {"TitleKeyboardFails", Scene::Title, Walker::Key, TestInputObject::Keyboard, DIERR_NOTACQUIRED, "d", 0},
    {"TitleKeyboardLost", Scene::Title, Walker::Key, TestInputObject::Keyboard, DIERR_INPUTLOST, "d", 0},
    {"TitleMouseFails", Scene::Title, Walker::Key, TestInputObject::Mouse, DIERR_NOTACQUIRED, "d", 0},
    {"TitleMouseLost", Scene::Title, Walker::Key, TestInputObject::Mouse, DIERR_INPUTLOST, "d", 1},
    {"TitleJoystickFails", Scene::Title, Walker::Key, TestInputObject::Joystick, DIERR_NOTACQUIRED, "d", 0},
    {"TitleJoystickLost", Scene::Title, Walker::Key, TestInputObject::Joystick, DIERR_INPUTLOST, "d", 0},
    {"WalkKeyboardFails", Scene::Walk, Walker::Key, TestInputObject::Keyboard, DIERR_NOTACQUIRED, "=", 1},
    {"WalkKeyboardLost", Scene::Walk, Walker::Key, TestInputObject::Keyboard, DIERR_INPUTLOST, "=", 1},
    {"WalkMouseFails", Scene::Walk, Walker::Key, TestInputObject::Mouse, DIERR_NOTACQUIRED, "", 0},
    {"WalkMouseLost", Scene::Walk, Walker::Key, TestInputObject::Mouse, DIERR_INPUTLOST, "", 0},
    {"WalkJoystickFails", Scene::Walk, Walker::Stick, TestInputObject::Joystick, DIERR_NOTACQUIRED, "=", 1},
    {"WalkJoystickLost", Scene::Walk, Walker::Stick, TestInputObject::Joystick, DIERR_INPUTLOST, "=", 1},
};

class FaultInRead : public ::testing::TestWithParam<ReadFault> {};

TEST_P(FaultInRead, IsSurvivedWithoutLeaksAndTheFramesAfterItAreWhole) {
    const ReadFault& fault = GetParam();
    const bool unread = fault.scene == Scene::Walk && fault.device == TestInputObject::Mouse;
    const std::vector<FrameRecord> clean = CleanRun(fault.scene, fault.walker);
    int status = -1;
    const std::vector<FrameRecord> run = RunScript(
        fault.scene, fault.walker,
        [&](int frame) {
            // A device the scene never reads keeps failing for three frames, then is let go.
            if (frame == kFaultFrame - 1)
                TestFailInputOp(fault.device, TestInputOp::GetDeviceState, fault.result, unread ? -1 : 1);
            if (unread && frame == kFaultFrame + 2) TestFailInputOp(fault.device, TestInputOp::GetDeviceState, S_OK, 0);
        },
        &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(HarnessLeaks(), "");
    EXPECT_EQ(LinesAfterStartup(), std::vector<std::string>{});
    ExpectFramesAfter(clean, run, fault.outcome, fault.lag);
    if (run.size() != size_t(kFrames)) return;
    const FrameRecord& struck = run[kFaultFrame - 1];
    const int slot = DeviceSlot(fault.device);
    EXPECT_EQ(struck.reads[slot], unread ? 0 : 1);
    EXPECT_EQ(struck.acquires[slot], fault.result == DIERR_INPUTLOST && !unread ? 1 : 0)
        << "only a lost read acquires the device again, at once";
    EXPECT_EQ(run[kFaultFrame].acquires[slot], 0);
}

INSTANTIATE_TEST_SUITE_P(EachDeviceInEachScene, FaultInRead, ::testing::ValuesIn(kReadFaults),
                         [](const auto& info) { return info.param.name; });

}  // namespace
