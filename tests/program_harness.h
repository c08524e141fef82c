// The whole program run headless: WinMain's own start-up and message loop on SDL's dummy driver, a script
// between frames that presses keys and moves the stick with real SDL events, and pictures composed from the
// program's own surfaces to hold each presented frame against.
#pragma once

#include "app/app.h"
#include "tests/harness.h"

#include <SDL.h>

#include <functional>
#include <string>
#include <vector>

// The clock stands still here for the whole run unless the script moves it, so the frame-rate text stays
// empty and every picture is the scene alone.
constexpr DWORD kProgramClockStart = 500000;

struct ProgramFrame {
    int number;         // 1 for the first frame of the run
    bool presented;     // the frame reached the screen (its flip was made)
    BYTE sceneAfter;    // app.scene when the frame had finished
    TestFrame picture;  // the last presented picture (this frame's when presented)
};

// Runs WinMain until it returns and gives its exit status. After every frame the script sees that frame; when it
// returns false, Escape is pressed and released as a person would, and the program closes. Debug output and
// message boxes are captured, frames are captured, the clock is frozen at clockStart.
int RunProgram(const std::function<bool(const ProgramFrame&)>& script, DWORD clockStart = kProgramClockStart);
// Frames the last RunProgram drew, and the debug lines and message boxes it produced.
int ProgramFrames();
std::vector<std::string> ProgramDebugLines();
std::vector<TestMessageBox> ProgramMessageBoxes();
// Every window-procedure call of the run, entered and returned, with the objects alive at that moment.
struct ProgramMessage {
    UINT message;
    bool returned;
    TestLiveObjects live;
};
std::vector<ProgramMessage> ProgramMessages();
// What WinMain leaves behind when start-up stops after the display exists: the window destroyed here, as the
// process end would, its procedure releasing input and display, so the leak checks see what the program lost.
void ProgramCleanUp();

void PressKey(SDL_Scancode key);
void ReleaseKey(SDL_Scancode key);
void TapKey(SDL_Scancode key);

// The walk scene's picture built from the bitmap surfaces as they are now: the background with the sprite at
// (x, 400). Reading the surfaces once serves any number of positions.
struct WalkPainter {
    WalkPainter();
    Image At(LONG spriteX) const;
    Image background;
    Image chara;
    DWORD charaKey;
};
// The picture with the frame-rate text drawn over it at (0, 0) glyph by glyph from the glyph surface.
Image WithCounter(Image picture, const char* text);
