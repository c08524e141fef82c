// The input-test scene: the title picture, three live read-out lines and the mouse cursor.
#include "scenes/scenes.h"

#include "display/display.h"
#include "input/input.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

const char kLineFace[] = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";  // "ＭＳ 明朝"
constexpr COLORREF kLineColour = 0xFFFFFF;
constexpr int kLineHeight = 10;

// The cursor moves by mouse counts from outside; the sum is taken in 64 bits so no count can wrap it,
// and the clamps then bring it back inside the bounds.
LONG MovedAndClamped(LONG position, LONG counts, LONG speed, int64_t low, int64_t high) {
    int64_t moved = int64_t(position) + int64_t(counts) * int64_t(speed);
    if (moved < low) {
        moved = low;
    }
    if (moved > high) {
        moved = high;
    }
    return LONG(std::clamp<int64_t>(moved, INT32_MIN, INT32_MAX));
}

}  // namespace

// Called by FrameUpdate when the scene number is SCENE_TITLE_INIT, just before the scene's first frame.
void TitleInit() {
    SetRect(&app.titleLogoRect, 0, 0, 640, 100);
    SetRect(&app.promptRect, 0, 100, 640, 135);
    SetRect(&app.cursorBounds, 10, 10, 630, 470);
    app.cursorX = app.cursorBounds.left;
    app.cursorY = app.cursorBounds.top;
    app.mouseButtons[0] = 0;
    app.mouseButtons[1] = 0;
    app.mouseButtons[2] = 0;
    app.cursorSpeed = 2;
    SetRect(&app.cursorRect, 400, 0, 420, 20);
    app.cursorWidth = app.cursorRect.right - app.cursorRect.left;
    app.cursorHeight = app.cursorRect.bottom - app.cursorRect.top;
    app.scene = SCENE_TITLE;
}

// Called by FrameUpdate in every frame of the scene. A logo or prompt blit that fails ends the scene's
// part of the frame: no lines, no cursor, and the start keys are not looked at.
void TitleFrame() {
    DDBLTFX fill;
    std::memset(&fill, 0, sizeof(fill));
    fill.dwSize = sizeof(fill);
    fill.dwFillColor = kTitleClearIndex;
    app.backBuffer->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fill);

    if (BltFastRetry(app.backBuffer, 0, 100, app.titleSurface, &app.titleLogoRect, DDBLTFAST_SRCCOLORKEY) != 0) {
        return;
    }
    if (BltFastRetry(app.backBuffer, 0, 350, app.titleSurface, &app.promptRect, DDBLTFAST_SRCCOLORKEY) != 0) {
        return;
    }

    DrawKeyLine();
    DrawJoyLine();
    DrawMouseLine();

    // The snapshots the lines just took decide; the walk scene starts with the next frame.
    if ((app.keys[DIK_SPACE] & 0x80) != 0 || (app.joyBits & JOY_BUTTON8) != 0) {
        app.scene = SCENE_GAME_INIT;
    }
}

// Called by TitleFrame: reads the keyboard and reports the arrow keys held, always in the same order.
void DrawKeyLine() {
    char text[256];
    std::strcpy(text, "Input Key \x81\x46");
    ReadKeyboard();
    if ((app.keys[DIK_LEFT] & 0x80) != 0) {
        std::strcat(text, "Left ");
    }
    if ((app.keys[DIK_RIGHT] & 0x80) != 0) {
        std::strcat(text, "Right ");
    }
    if ((app.keys[DIK_UP] & 0x80) != 0) {
        std::strcat(text, "Up ");
    }
    if ((app.keys[DIK_DOWN] & 0x80) != 0) {
        std::strcat(text, "Down");
    }
    DrawOverlayText(200, 50, text, kLineColour, kLineHeight, kLineFace, 0);
}

// Called by TitleFrame: reports the joystick's directions, or that there is no joystick.
void DrawJoyLine() {
    char text[256];
    std::strcpy(text, "Joypad \x81\x46");
    if (app.joystickDevice == nullptr) {
        std::strcat(text, "\x96\xb3\x82\xb5");  // "無し"
    } else {
        ReadJoystick();
        if ((app.joyBits & JOY_LEFT) != 0) {
            std::strcat(text, "Left ");
        }
        if ((app.joyBits & JOY_RIGHT) != 0) {
            std::strcat(text, "Right ");
        }
        if ((app.joyBits & JOY_UP) != 0) {
            std::strcat(text, "Up ");
        }
        if ((app.joyBits & JOY_DOWN) != 0) {
            std::strcat(text, "Down");
        }
    }
    DrawOverlayText(200, 60, text, kLineColour, kLineHeight, kLineFace, 0);
}

// Called by TitleFrame last of the three lines: moves the cursor by the mouse, reports it and the
// buttons, then draws the cursor over everything the scene has drawn.
void DrawMouseLine() {
    char text[80];
    ReadMouse();
    app.cursorX = MovedAndClamped(app.cursorX, app.mouseState.lX, app.cursorSpeed, app.cursorBounds.left,
                                  int64_t(app.cursorBounds.right) - app.cursorWidth);
    app.cursorY = MovedAndClamped(app.cursorY, app.mouseState.lY, app.cursorSpeed, app.cursorBounds.top,
                                  int64_t(app.cursorBounds.bottom) - app.cursorHeight);
    for (int i = 0; i < 3; ++i) {
        app.mouseButtons[i] = (app.mouseState.rgbButtons[i] & 0x80) != 0 ? 1 : 0;
    }
    std::snprintf(text, sizeof(text), "MousePoint (%d, %d) %d %d %d", int(app.cursorX), int(app.cursorY),
                  int(app.mouseButtons[0]), int(app.mouseButtons[1]), int(app.mouseButtons[2]));
    DrawOverlayText(200, 70, text, kLineColour, kLineHeight, kLineFace, 0);
    BltFastRetry(app.backBuffer, DWORD(app.cursorX), DWORD(app.cursorY), app.charaSurface, &app.cursorRect,
                 DDBLTFAST_SRCCOLORKEY);
}
