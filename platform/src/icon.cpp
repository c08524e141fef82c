// The window's icon: the desktop icon's pixels, compiled into the executable, handed to SDL for the window lists.
#include "platform/src/platform.h"

#include <cstdio>

// CreateWindowExA calls this for the one window before it is shown, so that task bars and switchers show the menu
// entry's knight rather than a generic picture. SDL keeps its own copy, also across a window it re-creates. An icon
// that cannot be made leaves the desktop's default one, which costs the program nothing; a line says why.
void IconGive(SDL_Window* window) {
    if (kWindowIconSize == 0) return;
    SDL_Surface* icon =
        SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(kWindowIconPixels), kWindowIconSize, kWindowIconSize,
                                           32, kWindowIconSize * 4, SDL_PIXELFORMAT_ARGB8888);
    if (icon == nullptr) {
        std::fprintf(stderr, "window icon: %s\n", SDL_GetError());
        return;
    }
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
}
