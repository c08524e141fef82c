#!/usr/bin/python3
"""X windows the end-to-end runs put beside the program, as other programs on a desktop would make them.

  root <r,g,b>                       the desktop's colour, for window managers that draw none
  panel <height> <r,g,b>             a dock along the bottom that reserves its height (_NET_WM_STRUT_PARTIAL), as a
                                     taskbar does; stays until killed
  over <x> <y> <w> <h> <r,g,b>       an override-redirect window, as a menu, tooltip or notification is; stays until
                                     killed
  stale-wm gone|unnamed              leaves _NET_SUPPORTING_WM_CHECK on the root as a window manager that has gone
                                     would: naming a window that no longer exists, or one that does not name itself
Each prints "ready" once the server has done what it asked.
"""
import sys
import time

from Xlib import X, Xatom, Xutil, display


def colour(dpy, rgb):
    red, green, blue = (int(part) for part in rgb.split(","))
    colormap = dpy.screen().default_colormap
    return colormap.alloc_color(red * 257, green * 257, blue * 257).pixel


def ready_then_stay(dpy):
    dpy.sync()
    print("ready", flush=True)
    while True:
        time.sleep(3600)


def root(dpy, rgb):
    window = dpy.screen().root
    window.change_attributes(background_pixel=colour(dpy, rgb))
    window.clear_area()
    dpy.set_close_down_mode(X.RetainPermanent)
    dpy.sync()
    print("ready", flush=True)


def panel(dpy, height, rgb):
    screen = dpy.screen()
    width, top = screen.width_in_pixels, screen.height_in_pixels - height
    window = screen.root.create_window(0, top, width, height, 0, screen.root_depth, X.InputOutput,
                                       X.CopyFromParent, background_pixel=colour(dpy, rgb))
    atom = dpy.intern_atom
    window.change_property(atom("_NET_WM_WINDOW_TYPE"), Xatom.ATOM, 32, [atom("_NET_WM_WINDOW_TYPE_DOCK")])
    window.change_property(atom("_NET_WM_STRUT"), Xatom.CARDINAL, 32, [0, 0, 0, height])
    window.change_property(atom("_NET_WM_STRUT_PARTIAL"), Xatom.CARDINAL, 32,
                           [0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1])
    window.set_wm_name("ditessary-e2e-panel")
    # Its place is its own, as a panel's is: without this a window manager places it as it places any window.
    window.set_wm_normal_hints(flags=Xutil.USPosition | Xutil.USSize | Xutil.PPosition | Xutil.PSize,
                               x=0, y=top, width=width, height=height)
    window.map()
    ready_then_stay(dpy)


def over(dpy, x, y, width, height, rgb):
    screen = dpy.screen()
    window = screen.root.create_window(x, y, width, height, 0, screen.root_depth, X.InputOutput, X.CopyFromParent,
                                       background_pixel=colour(dpy, rgb), override_redirect=True,
                                       event_mask=X.ExposureMask)
    window.map()
    while dpy.next_event().type != X.Expose:
        pass
    ready_then_stay(dpy)


def stale_wm(dpy, kind):
    root = dpy.screen().root
    check = dpy.intern_atom("_NET_SUPPORTING_WM_CHECK")
    window = root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)
    if kind == "gone":
        window.change_property(check, Xatom.WINDOW, 32, [window.id])
        root.change_property(check, Xatom.WINDOW, 32, [window.id])
        window.destroy()
    elif kind == "unnamed":
        # A window that names nothing, and that this client keeps alive while the program starts.
        root.change_property(check, Xatom.WINDOW, 32, [window.id])
        dpy.set_close_down_mode(X.RetainPermanent)
    else:
        sys.exit("stale-wm: gone or unnamed, not " + kind)
    dpy.sync()
    print("ready", flush=True)


def main(argv):
    dpy = display.Display()
    if argv[0] == "root":
        root(dpy, argv[1])
    elif argv[0] == "panel":
        panel(dpy, int(argv[1]), argv[2])
    elif argv[0] == "over":
        over(dpy, *(int(value) for value in argv[1:5]), argv[5])
    elif argv[0] == "stale-wm":
        stale_wm(dpy, argv[1])
    else:
        sys.exit("unknown request " + argv[0])


if __name__ == "__main__":
    main(sys.argv[1:])
