// The whole-program runner: WinMain driven frame by frame through the Sleep that follows every frame.
#include "tests/program_harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int framesDrawn = 0;
std::vector<std::string> debugLines;
std::vector<TestMessageBox> messageBoxes;
std::vector<ProgramMessage> messages;
HWND programWindow = nullptr;

// Frames the program may still draw after Escape before the run is declared stuck.
constexpr int kFramesToClose = 10;

}  // namespace

int RunProgram(const std::function<bool(const ProgramFrame&)>& script, DWORD clockStart) {
    TestSetClock(clockStart);
    TestCaptureDebugOutput(true);
    TestCaptureMessageBoxes(true);
    TestCaptureFrames(true);
    framesDrawn = 0;
    messages.clear();
    programWindow = nullptr;
    TestSetMessageObserver([](HWND window, UINT message, bool returned) {
        if (programWindow == nullptr) programWindow = window;
        messages.push_back({message, returned, TestGetLiveObjects()});
    });

    bool closing = false;
    int framesSinceEscape = 0;
    uint32_t presents = TestPresentCount();
    // One record serves every frame, so a frame's picture reuses the memory of the one before.
    ProgramFrame frame{};
    TestSetSleepHook([&](DWORD) {
        ++framesDrawn;
        frame.number = framesDrawn;
        frame.presented = TestPresentCount() != presents;
        frame.sceneAfter = app.scene;
        presents = TestPresentCount();
        TestLastFrame(&frame.picture);
        if (closing) {
            ++framesSinceEscape;
            if (framesSinceEscape == kFramesToClose) {
                ADD_FAILURE() << "Escape did not close the program";
                TestPushQuit();
            } else if (framesSinceEscape > 10 * kFramesToClose) {
                std::fprintf(stderr, "the program does not close\n");
                std::abort();
            }
            return;
        }
        if (!script(frame)) {
            closing = true;
            TapKey(SDL_SCANCODE_ESCAPE);
        }
    });

    int status = WinMain(GetModuleHandleA(nullptr), nullptr, const_cast<LPSTR>(""), SW_SHOWNORMAL);

    TestSetSleepHook(nullptr);
    TestSetMessageObserver(nullptr);
    debugLines = TestTakeDebugOutput();
    messageBoxes = TestTakeMessageBoxes();
    TestCaptureDebugOutput(false);
    TestCaptureMessageBoxes(false);
    return status;
}

int ProgramFrames() { return framesDrawn; }

std::vector<std::string> ProgramDebugLines() { return debugLines; }

std::vector<TestMessageBox> ProgramMessageBoxes() { return messageBoxes; }

std::vector<ProgramMessage> ProgramMessages() { return messages; }

void ProgramCleanUp() {
    if (programWindow != nullptr) DestroyWindow(programWindow);
    programWindow = nullptr;
    MSG quit;
    while (PeekMessageA(&quit, nullptr, 0, 0, PM_REMOVE)) {
    }
    TestClearDisplayHooks();
}

void PressKey(SDL_Scancode key) { TestPushKey(key, true); }

void ReleaseKey(SDL_Scancode key) { TestPushKey(key, false); }

void TapKey(SDL_Scancode key) {
    PressKey(key);
    ReleaseKey(key);
}

WalkPainter::WalkPainter()
    : background{640, 480, std::vector<BYTE>(640 * 480, 0)},
      chara(SurfaceImage(app.charaSurface)),
      charaKey(SourceKey(app.charaSurface)) {
    Paste(background, 0, 0, SurfaceImage(app.backgroundSurface), RECT{0, 0, 640, 480});
}

Image WalkPainter::At(LONG spriteX) const {
    Image picture = background;
    Paste(picture, spriteX, 400, chara, RECT{36, 96, 72, 144}, charaKey, charaKey);
    return picture;
}

Image WithCounter(Image picture, const char* text) {
    Image glyphs = SurfaceImage(app.glyphSurface);
    DWORD key = SourceKey(app.glyphSurface);
    for (int i = 0; text[i] != '\0'; ++i) {
        int left = (int(static_cast<signed char>(text[i])) - 32) * 8;
        Paste(picture, i * 8, 0, glyphs, RECT{left, 0, left + 8, 16}, key, key);
    }
    return picture;
}
