/* Preloaded into the real executable by bench/startup.sh: writes to standard error when the first frame has been
 * handed to SDL_RenderPresent, and passes every call on unchanged, so the program runs exactly as it would. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <time.h>

typedef struct SDL_Renderer SDL_Renderer;

void SDL_RenderPresent(SDL_Renderer* renderer) {
    static void (*real)(SDL_Renderer*) = NULL;
    static int reported = 0;
    if (real == NULL) real = (void (*)(SDL_Renderer*))dlsym(RTLD_NEXT, "SDL_RenderPresent");
    if (real != NULL) real(renderer);
    if (!reported) {
        struct timespec now;
        reported = 1;
        clock_gettime(CLOCK_REALTIME, &now);
        fprintf(stderr, "first-present %lld.%06ld\n", (long long)now.tv_sec, now.tv_nsec / 1000);
        fflush(stderr);
    }
}
