// The one record that holds every object, snapshot, scene variable and timer of the program.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <ddraw.h>
#define DIRECTINPUT_VERSION 0x0700
#include <dinput.h>

// The multimedia joystick API of <mmsystem.h> claims some JOY_ names as macros; ours are the program's bitmask.
#undef JOY_BUTTON1
#undef JOY_BUTTON2
#undef JOY_BUTTON3
#undef JOY_BUTTON4
#undef JOY_BUTTON5
#undef JOY_BUTTON6
#undef JOY_BUTTON7
#undef JOY_BUTTON8
#undef JOY_BUTTON9

// Scene numbers: the set-up numbers run a scene's set-up and its first frame in the same frame.
constexpr BYTE SCENE_TITLE_INIT = 10;
constexpr BYTE SCENE_TITLE = 11;
constexpr BYTE SCENE_GAME_INIT = 30;
constexpr BYTE SCENE_GAME = 31;

// Joystick bitmask, rebuilt from zero by every joystick read.
constexpr DWORD JOY_UP = 0x0001;
constexpr DWORD JOY_DOWN = 0x0002;
constexpr DWORD JOY_LEFT = 0x0004;
constexpr DWORD JOY_RIGHT = 0x0008;
constexpr DWORD JOY_BUTTON0 = 0x0010;
constexpr DWORD JOY_BUTTON1 = 0x0020;
constexpr DWORD JOY_BUTTON2 = 0x0040;
constexpr DWORD JOY_BUTTON3 = 0x0080;
constexpr DWORD JOY_BUTTON4 = 0x0100;
constexpr DWORD JOY_BUTTON5 = 0x0200;
constexpr DWORD JOY_BUTTON6 = 0x0400;
constexpr DWORD JOY_BUTTON7 = 0x0800;
constexpr DWORD JOY_BUTTON8 = 0x1000;
constexpr DWORD JOY_BUTTON9 = 0x2000;

// Key colour of the title and glyph bitmaps, RGB(21, 141, 91), and the input-test scene's clear colour.
constexpr COLORREF kColorKeyGreen = 0x005B8D15;
constexpr BYTE kTitleClearIndex = 128;

struct AppState {
    // Display objects: created by InitDirectDraw, released by ReleaseDisplay.
    LPDIRECTDRAW7 directDraw = nullptr;
    LPDIRECTDRAWSURFACE7 primarySurface = nullptr;
    LPDIRECTDRAWSURFACE7 backBuffer = nullptr;  // belongs to the flip chain, never released on its own
    LPDIRECTDRAWSURFACE7 backgroundSurface = nullptr;
    LPDIRECTDRAWSURFACE7 glyphSurface = nullptr;
    LPDIRECTDRAWSURFACE7 titleSurface = nullptr;
    LPDIRECTDRAWSURFACE7 charaSurface = nullptr;
    LPDIRECTDRAWPALETTE palette = nullptr;

    // Input objects and snapshots: created by the input set-up, refreshed by the reads.
    LPDIRECTINPUT7A directInput = nullptr;
    LPDIRECTINPUTDEVICE7A keyboardDevice = nullptr;
    LPDIRECTINPUTDEVICE7A joystickDevice = nullptr;  // null when no joystick is attached
    LPDIRECTINPUTDEVICE7A mouseDevice = nullptr;
    BYTE keys[256] = {};
    DIMOUSESTATE mouseState = {};
    DWORD joyBits = 0;

    // Frame driver and window.
    BOOL active = 0;
    BYTE scene = SCENE_TITLE_INIT;
    DWORD nowMs = 0;
    DWORD lastFpsMs = 0;
    LONG frameCount = 0;
    char fpsText[128] = {};
    RECT glyphRect = {264, 0, 472, 16};

    // Walk scene.
    RECT backgroundRect = {0, 0, 640, 480};
    RECT playField = {150, 0, 630, 480};
    LONG playerX = 0;
    LONG playerY = 0;
    LONG playerSpeed = 0;
    RECT playerRect = {};

    // Input-test scene: zero until TitleInit assigns them.
    RECT titleLogoRect = {};
    RECT promptRect = {};
    RECT cursorBounds = {};
    LONG cursorX = 0;
    LONG cursorY = 0;
    BYTE mouseButtons[3] = {};
    LONG cursorSpeed = 0;
    RECT cursorRect = {};
    LONG cursorWidth = 0;
    LONG cursorHeight = 0;
};

extern AppState app;
