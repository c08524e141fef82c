// The multimedia timer the frame driver reads, for systems without the Windows SDK.
#pragma once

#include <windows.h>

DWORD WINAPI timeGetTime(void);
