// What SDL does not say about an X server: whether a window manager runs, whether OpenGL would reach a GPU, and when
// the window or the whole connection has gone from under the program.
#include "platform/src/platform.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>

#include <cstdio>
#include <unistd.h>

namespace {

struct Watch {
    Display* display = nullptr;
    ::Window window = 0;        // the program's window, watched for another client destroying it
    ::Window destroyed = 0;     // the window as it was when another client destroyed it
    bool windowGone = false;    // told once to the window's pump
    bool recreated = false;     // SDL put a new X window under the program's window; told once to the pump
    Atom frameExtents = 0;      // _NET_FRAME_EXTENTS
    bool frameChanged = false;  // the window manager said the window's frame; told once to the pump
    XErrorHandler previousErrors = nullptr;
};
Watch watch;

// SDL's record of an X11 window; false for any other window.
bool X11Info(SDL_Window* window, SDL_SysWMinfo* info) {
    SDL_VERSION(&info->version);
    return window != nullptr && SDL_GetWindowWMInfo(window, info) && info->subsystem == SDL_SYSWM_X11;
}

Display* DisplayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    return X11Info(window, &info) ? info.info.x11.display : nullptr;
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

}  // namespace

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

// The presenter asks for the extensions that say where OpenGL would draw: DRI3 and DRI2 (Mesa's way to a GPU) and
// NV-GLX (NVIDIA's driver).
bool X11OffersExtension(SDL_Window* window, const char* name) {
    Display* display = DisplayOf(window);
    int opcode = 0, event = 0, error = 0;
    return display != nullptr && XQueryExtension(display, name, &opcode, &event, &error) != 0;
}

namespace {

// Xlib ends the process with exit() after this returns, and the SDL teardown registered with atexit would then wait on
// the dead connection for ever; so the process ends here, with a line that names the display.
int ConnectionLost(Display* display) {
    std::fprintf(stderr, "ditessary: the connection to the X server %s was lost\n", DisplayString(display));
    _exit(1);
}

// Requests on the program's window after another client destroyed it fail; they are the news of its end, not faults.
// Every other error goes to the handler that was there before.
void NoteDestroyed() {
    watch.destroyed = watch.window;
    watch.window = 0;
    watch.windowGone = true;
}

int OnXError(Display* display, XErrorEvent* error) {
    const bool aboutWindow =
        error->error_code == BadWindow || error->error_code == BadDrawable || error->error_code == BadMatch;
    if (aboutWindow && error->resourceid != 0 && error->resourceid == watch.window) NoteDestroyed();
    if (aboutWindow && error->resourceid != 0 && error->resourceid == watch.destroyed) return 0;
    return watch.previousErrors ? watch.previousErrors(display, error) : 0;
}

}  // namespace

// CreateWindowExA calls this for the program's window: from now on a lost connection ends the process at once, and
// the window's destruction by another client becomes news for the pump. SDL hands over the X events it does not
// handle itself (DestroyNotify among them) as system events.
void X11Watch(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return;
    watch.display = info.info.x11.display;
    watch.window = info.info.x11.window;
    watch.windowGone = false;
    watch.recreated = false;
    watch.frameExtents = XInternAtom(watch.display, "_NET_FRAME_EXTENTS", False);
    watch.frameChanged = false;
    XSetIOErrorHandler(ConnectionLost);
    XErrorHandler previous = XSetErrorHandler(OnXError);
    if (previous != OnXError) watch.previousErrors = previous;
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void X11OnEvent(const SDL_Event& event) {
    if (event.type != SDL_SYSWMEVENT || event.syswm.msg == nullptr || event.syswm.msg->subsystem != SDL_SYSWM_X11) {
        return;
    }
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type == DestroyNotify && x.xdestroywindow.window == watch.window && watch.window != 0) NoteDestroyed();
    if (x.type == PropertyNotify && x.xproperty.window == watch.window && watch.window != 0 &&
        x.xproperty.atom == watch.frameExtents) {
        watch.frameChanged = true;
    }
}

// True once, after the window manager set or changed the frame it says the window has.
bool X11TakeFrameChanged() {
    if (!watch.frameChanged) return false;
    watch.frameChanged = false;
    return true;
}

// The frame the window manager puts around the window, as it says on the window: left, right, top, bottom. False
// where it says nothing (no window manager, another display).
bool X11FrameExtents(SDL_Window* window, int extents[4]) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return false;
    Display* display = info.info.x11.display;
    const Atom property = XInternAtom(display, "_NET_FRAME_EXTENTS", True);
    if (property == 0) return false;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool read = XGetWindowProperty(display, info.info.x11.window, property, 0, 4, False, XA_CARDINAL, &type,
                                         &format, &count, &after, &data) == Success &&
                      type == XA_CARDINAL && format == 32 && count == 4;
    if (read) {
        // Xlib hands 32-bit items over as longs.
        const long* values = reinterpret_cast<const long*>(data);
        for (int i = 0; i < 4; ++i) extents[i] = int(values[i]);
    }
    if (data != nullptr) XFree(data);
    return read;
}

// The window calls this before it shows itself framed (made, or leaving full screen) while it does not know its
// frame yet: a window manager that follows the desktop conventions answers by setting _NET_FRAME_EXTENTS, which
// reaches the pump as X11TakeFrameChanged.
void X11RequestFrameExtents(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return;
    Display* display = info.info.x11.display;
    XEvent request = {};
    request.xclient.type = ClientMessage;
    request.xclient.window = info.info.x11.window;
    request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask, &request);
    XFlush(display);
}

// True once, after another client destroyed the watched window. Requests on it, the program's own last ones among
// them, keep failing quietly.
bool X11TakeWindowGone() {
    if (!watch.windowGone) return false;
    watch.windowGone = false;
    return true;
}

// The presenter calls this whenever SDL may have made the X window anew: after it makes a renderer (attached, or after
// a device loss) and when the window hands it a new framebuffer. SDL's OpenGL renderers, and a framebuffer SDL backs
// with one, destroy the X window and create another with a visual of their own when the window was not made for
// OpenGL (OpenGL ES always); the program's window is the same, so the watch follows it, and the old window's end is
// the program's own doing rather than a close. The new X window starts wherever SDL puts it, so the pump is told to
// give the window its shape again.
void X11Follow(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info) || watch.window == 0 || info.info.x11.window == watch.window) return;
    watch.window = info.info.x11.window;
    watch.recreated = true;
}

// True once, after the watch followed the window onto a new X window.
bool X11TakeWindowRecreated() {
    if (!watch.recreated) return false;
    watch.recreated = false;
    return true;
}

// DestroyWindow calls this just before SDL destroys the window. The program's own destruction ends the watch, so its
// DestroyNotify is no news. A window another client destroyed needs one more thing: SDL hides a window before it
// destroys it and then waits for the X server to say it was unmapped, which for a window already gone it never
// would; the news is put in front of SDL so the wait ends at once.
void X11Forget(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Info(window, &info)) return;
    const ::Window xwindow = info.info.x11.window;
    if (xwindow == watch.window) watch.window = 0;
    if (xwindow != watch.destroyed) return;
    XEvent unmapped = {};
    unmapped.xunmap.type = UnmapNotify;
    unmapped.xunmap.display = info.info.x11.display;
    unmapped.xunmap.event = xwindow;
    unmapped.xunmap.window = xwindow;
    XPutBackEvent(info.info.x11.display, &unmapped);
}

// DestroyWindow calls this once SDL has destroyed the window: the X server answers every request made so far while
// the watch's error handler still stands. SDL puts back Xlib's own handler when it shuts down, and an answer still
// on its way about a window another client destroyed would then end the process with an error dump.
void X11Settle() {
    if (watch.display != nullptr && watch.destroyed != 0) XSync(watch.display, False);
}
