// The input subsystem: DirectInput device set-up, teardown and per-frame reads.
#pragma once

#include "state/app_state.h"

bool InitDirectInput(HINSTANCE instance);
bool InitKeyboard(HWND window);
bool InitJoystick(HWND window);
BOOL CALLBACK JoystickEnumProc(LPCDIDEVICEINSTANCEA device, LPVOID context);
bool InitMouse(HWND window);
void ReleaseInput();

void ReadKeyboard();
void ReadMouse();
void ReadJoystick();
