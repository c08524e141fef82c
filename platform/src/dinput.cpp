// DirectInput 7 on SDL's keyboard, mouse and joystick events (the input engineer replaces this first cut).
#include "platform/src/platform.h"

void InputOnEvent(const SDL_Event&) {}
