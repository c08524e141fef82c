// A GPU for the end-to-end runs on Xvfb, which has none, preloaded into the program (LD_PRELOAD): the X server's
// extension query and the render node's open answer as on a machine with a GPU, so that the program's automatic
// choice of presentation path is taken on each kind of server. DITESSARY_FAKE_GPU, read by this library alone, says
// which:
//   dri3    the X server offers DRI3, and /dev/dri/renderD128 opens: a Mesa desktop, the renderer path;
//   nvidia  the X server offers NV-GLX, and no render node opens: NVIDIA's driver, the renderer path;
//   dri     the X server offers DRI3, and no render node opens: the framebuffer path;
//   none    neither, nor DRI2, and no render node opens: the framebuffer path.
// Unset or anything else, every answer is the real one; other extensions and files always are. The render node that
// opens is /dev/null, which the program only closes again. OpenGL still draws through Mesa on Xvfb's own GLX: SDL
// finds Xlib's functions with dlsym on Xlib's own handle, and Mesa asks for DRI3 through XCB, so neither meets this
// library. DRI2 is never offered, since Mesa asks for it through Xlib and would send its requests to the X server.
#define _GNU_SOURCE
#include <X11/Xlib.h>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

enum Kind { REAL, DRI3, NVIDIA, DRI, NONE };

static enum Kind FakeKind(void) {
    const char* kind = getenv("DITESSARY_FAKE_GPU");
    if (kind == NULL) return REAL;
    if (strcmp(kind, "dri3") == 0) return DRI3;
    if (strcmp(kind, "nvidia") == 0) return NVIDIA;
    if (strcmp(kind, "dri") == 0) return DRI;
    if (strcmp(kind, "none") == 0) return NONE;
    return REAL;
}

typedef Bool (*QueryExtension)(Display*, const char*, int*, int*, int*);

// An extension offered here has no requests behind it: its opcode and first event and error are 0, which the
// program never uses.
Bool XQueryExtension(Display* display, const char* name, int* opcode, int* event, int* error) {
    const enum Kind kind = FakeKind();
    const int dri = strcmp(name, "DRI3") == 0 || strcmp(name, "DRI2") == 0;
    const int nvidia = strcmp(name, "NV-GLX") == 0;
    if (kind == REAL || (!dri && !nvidia)) {
        const QueryExtension real = (QueryExtension)dlsym(RTLD_NEXT, "XQueryExtension");
        return real != NULL && real(display, name, opcode, event, error);
    }
    *opcode = *event = *error = 0;
    return (strcmp(name, "DRI3") == 0 && (kind == DRI3 || kind == DRI)) || (nvidia && kind == NVIDIA);
}

// -1 with errno set for a render node that must not open; else 0, with the path to open instead in *path.
static int RenderNode(const char** path) {
    const enum Kind kind = FakeKind();
    if (kind == REAL || strncmp(*path, "/dev/dri/renderD", 16) != 0) return 0;
    if (kind == DRI3 && strcmp(*path, "/dev/dri/renderD128") == 0) {
        *path = "/dev/null";
        return 0;
    }
    errno = ENOENT;
    return -1;
}

static mode_t ModeOf(int flags, va_list arguments) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(arguments, mode_t) : 0;
}

typedef int (*Open)(const char*, int, ...);
typedef int (*OpenAt)(int, const char*, int, ...);

#define OPEN(name)                                                            \
    int name(const char* path, int flags, ...) {                              \
        va_list arguments;                                                    \
        va_start(arguments, flags);                                           \
        const mode_t mode = ModeOf(flags, arguments);                         \
        va_end(arguments);                                                    \
        if (RenderNode(&path) != 0) return -1;                                \
        const Open real = (Open)dlsym(RTLD_NEXT, #name);                      \
        return real != NULL ? real(path, flags, mode) : (errno = ENOSYS, -1); \
    }

#define OPENAT(name)                                                                     \
    int name(int directory, const char* path, int flags, ...) {                          \
        va_list arguments;                                                               \
        va_start(arguments, flags);                                                      \
        const mode_t mode = ModeOf(flags, arguments);                                    \
        va_end(arguments);                                                               \
        if (RenderNode(&path) != 0) return -1;                                           \
        const OpenAt real = (OpenAt)dlsym(RTLD_NEXT, #name);                             \
        return real != NULL ? real(directory, path, flags, mode) : (errno = ENOSYS, -1); \
    }

OPEN(open)
OPEN(open64)
OPENAT(openat)
OPENAT(openat64)
