// What SDL does not say about an X server: whether a window manager runs, and whether OpenGL would reach a GPU.
#include "platform/src/platform.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>

namespace {

Display* DisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

int IgnoreError(Display*, XErrorEvent*) { return 0; }

// The window a property names, or 0. Reading a property of a window that is gone is an X error, which Xlib's own
// handler would answer by ending the process; the check below may meet exactly that, so it is ignored here.
::Window WindowProperty(Display* display, ::Window window, Atom property) {
    XSync(display, False);
    XErrorHandler previous = XSetErrorHandler(IgnoreError);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    ::Window named = 0;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
            Success &&
        type == XA_WINDOW && format == 32 && count == 1) {
        named = *reinterpret_cast<::Window*>(data);
    }
    if (data != nullptr) XFree(data);
    XSync(display, False);
    XSetErrorHandler(previous);
    return named;
}

bool HasExtension(Display* display, const char* name) {
    int opcode = 0, event = 0, error = 0;
    return XQueryExtension(display, name, &opcode, &event, &error) != 0;
}

}  // namespace

bool X11IsX11(SDL_Window* window) { return DisplayOf(window) != nullptr; }

// A window manager that follows the desktop conventions names its own window on the root, and that window names
// itself; a name left behind by one that has gone points nowhere.
bool X11WindowManagerRuns(SDL_Window* window) {
    Display* display = DisplayOf(window);
    if (display == nullptr) return false;
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
    if (check == 0) return false;
    const ::Window named = WindowProperty(display, DefaultRootWindow(display), check);
    return named != 0 && WindowProperty(display, named, check) == named;
}

bool X11OffersNvidiaOpenGl(SDL_Window* window) {
    Display* display = DisplayOf(window);
    return display != nullptr && HasExtension(display, "NV-GLX");
}

// Mesa's OpenGL reaches a GPU through DRI; an X server without it (Xvfb, a VNC or RDP server) leaves OpenGL to a
// software rasteriser.
bool X11OffersDri(SDL_Window* window) {
    Display* display = DisplayOf(window);
    return display != nullptr && (HasExtension(display, "DRI3") || HasExtension(display, "DRI2"));
}
