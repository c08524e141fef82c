/* Preloaded into the real executable by bench/startup.sh: writes to standard error when the first frame has been
 * handed to the display, through an SDL renderer or into the window's framebuffer, and passes every call on unchanged,
 * so the program runs exactly as it would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

typedef struct SDL_Renderer SDL_Renderer;
typedef struct SDL_Window SDL_Window;
typedef struct SDL_Rect SDL_Rect;

static void Report(void) {
    static int reported = 0;
    if (reported) return;
    reported = 1;
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    fprintf(stderr, "first-present %lld.%06ld\n", (long long)now.tv_sec, now.tv_nsec / 1000);
    fflush(stderr);
}

void SDL_RenderPresent(SDL_Renderer* renderer) {
    static void (*real)(SDL_Renderer*) = NULL;
    if (real == NULL) real = (void (*)(SDL_Renderer*))dlsym(RTLD_NEXT, "SDL_RenderPresent");
    if (real != NULL) real(renderer);
    Report();
}

int SDL_UpdateWindowSurface(SDL_Window* window) {
    static int (*real)(SDL_Window*) = NULL;
    if (real == NULL) real = (int (*)(SDL_Window*))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurface");
    int result = real != NULL ? real(window) : -1;
    Report();
    return result;
}

int SDL_UpdateWindowSurfaceRects(SDL_Window* window, const SDL_Rect* rects, int count) {
    static int (*real)(SDL_Window*, const SDL_Rect*, int) = NULL;
    if (real == NULL) real = (int (*)(SDL_Window*, const SDL_Rect*, int))dlsym(RTLD_NEXT, "SDL_UpdateWindowSurfaceRects");
    int result = real != NULL ? real(window, rects, count) : -1;
    Report();
    return result;
}
