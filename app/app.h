// The application core: entry point, window procedure, main loop and frame driver.
#pragma once

#include "state/app_state.h"

HWND InitWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int RunMessageLoop();
void FrameUpdate();
