// The walk scene: a sprite that the arrow keys or the stick walk across the star field until it leaves it.
#include "scenes/scenes.h"
#include "display/display.h"
#include "input/input.h"

// Called by the frame driver in the frame that enters the scene, just before that frame's GameFrame; every
// entry starts the sprite again at the same place.
void GameInit() {
    SetRect(&app.playerRect, 36, 96, 72, 144);
    app.playerX = app.playField.left + 236;
    app.playerY = 400;
    app.playerSpeed = 1;
    app.scene = SCENE_GAME;
}

// Called by the frame driver in every frame of the scene. Drawing comes before input, so a step taken here
// shows in the next frame; a failed blit ends the frame's work with nothing read and nothing moved.
void GameFrame() {
    if (BltFastRetry(app.backBuffer, 0, 0, app.backgroundSurface, &app.backgroundRect, DDBLTFAST_NOCOLORKEY) != DD_OK)
        return;
    if (BltFastRetry(app.backBuffer, (DWORD)app.playerX, (DWORD)app.playerY, app.charaSurface, &app.playerRect,
                     DDBLTFAST_SRCCOLORKEY) != DD_OK)
        return;

    ReadKeyboard();
    if (app.joystickDevice != NULL) ReadJoystick();

    // Key and stick are alternatives for one direction; the two directions are tested apart, so both cancel.
    if ((app.keys[DIK_LEFT] & 0x80) || (app.joyBits & JOY_LEFT)) app.playerX -= app.playerSpeed;
    if ((app.keys[DIK_RIGHT] & 0x80) || (app.joyBits & JOY_RIGHT)) app.playerX += app.playerSpeed;

    // playerX keeps the value that failed the test until the next GameInit.
    LONG spriteWidth = app.playerRect.right - app.playerRect.left;
    if (!(app.playField.left < app.playerX && app.playerX < app.playField.right - spriteWidth))
        app.scene = SCENE_TITLE_INIT;
}
