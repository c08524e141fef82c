// Presentation of the flip chain in the program's SDL window (the display engineer replaces this first cut).
#include "platform/src/platform.h"

void DisplayOnEvent(const SDL_Event&) {}
void DisplayOnWindowDestroyed(SDL_Window*) {}
