// The main loop that interleaves window messages with frames, and the frame driver with its frame-rate counter.
#include "app/app.h"
#include "display/display.h"
#include "scenes/scenes.h"

#include <cstring>

// Called by WinMain once start-up has succeeded; returns the quit message's code. While the window is
// minimised the loop spins on PeekMessageA without drawing or sleeping.
int RunMessageLoop() {
    MSG message;
    app.nowMs = GetTickCount();
    app.lastFpsMs = app.nowMs;
    for (;;) {
        if (PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&message, NULL, 0, 0) == 0) return (int)message.wParam;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else if (app.active) {
            FrameUpdate();
            Sleep(1);
        }
    }
}

// One frame: the scene draws the back buffer, the counter goes on top, then the page flips. A scene that
// changes scene finishes its frame; the new number is acted on in the next one.
void FrameUpdate() {
    app.nowMs = timeGetTime();
    switch (app.scene) {
        case SCENE_TITLE_INIT:
            TitleInit();
            TitleFrame();
            break;
        case SCENE_TITLE:
            TitleFrame();
            break;
        case SCENE_GAME_INIT:
            GameInit();
            GameFrame();
            break;
        case SCENE_GAME:
            GameFrame();
            break;
        default:
            break;
    }

    app.frameCount++;
    // The start time comes from GetTickCount and frame times from timeGetTime; both count from system
    // start, and the unsigned difference survives the clock wrapping.
    if ((DWORD)(app.nowMs - app.lastFpsMs) >= 1000) {
        app.lastFpsMs = app.nowMs;
        wsprintfA(app.fpsText, "%04d FPS", (int)app.frameCount);
        app.frameCount = 0;
    }

    for (int i = 0; i < (int)std::strlen(app.fpsText); i++) {
        signed char c = (signed char)app.fpsText[i];
        app.glyphRect.left = (c - 32) * 8;
        app.glyphRect.right = app.glyphRect.left + 8;
        if (BltFastRetry(app.backBuffer, i * 8, 0, app.glyphSurface, &app.glyphRect, DDBLTFAST_SRCCOLORKEY) != DD_OK)
            return;
    }
    FlipPage();
}
