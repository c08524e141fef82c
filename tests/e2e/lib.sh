# shellcheck shell=bash disable=SC2034  # the variables here are read by the scripts that source this file
# Sourced by the end-to-end runs: a private X server, the desktops (X11 window managers on it, Wayland compositors
# nested on it or headless), the program, screenshots, colour checks in picture or screen pixels, keys, and a clean-up
# that ends what it started in order, then whatever the desktops started in turn.
# The sourcing script calls e2e_init first; every helper fails the run at once with a message on standard error.

E2E_SESSION=""
E2E_SHOTS=""
E2E_TAG=""
XVFB_PID=""
DESKTOP_PIDS=()
PROGRAM_PID=""
PROGRAM_LOG=""
EXIT_STATUS=""
EXIT_SECONDS=""
# Every desktop process carries this in its environment, and so does whatever it starts (Xwayland, D-Bus services,
# a compositor's helpers), so the clean-up finds them all, and nothing of another run.
E2E_MARK=""
# The X server an X11 desktop or a compositor's Xwayland offers the program, with its authority file where it wants
# one, and the lock files of the displays a compositor took.
XWAYLAND_DISPLAY=""
XWAYLAND_AUTHORITY=""
# How screenshots and keys reach the screen: xroot (the X server's root window), xwindow (the program's own X
# window, where the root of a rootless Xwayland shows nothing) or grim (a wlroots compositor's output); xdotool
# (XTEST on $DISPLAY) or wtype (a Wayland virtual keyboard).
CAPTURE=xroot
KEYS=xdotool

# Where the picture stands on the screen: its scale and the screen position of its top-left pixel.
PIC_SCALE=1
PIC_X=0
PIC_Y=0
# How far a channel may stray from the colour looked for: 0 but on visuals of fewer bits a channel.
COLOUR_TOLERANCE=0

# Colours the runs look for.
DARK_BLUE="7,4,48"
YELLOW="251,254,16"
PANEL_GREY="121,134,150"
BLACK="0,0,0"
# The desktop colour the runs give IceWM and Weston; the program never draws it, so any of it shows the desktop.
DESKTOP_GREEN="32,128,64"
# IceWM's taskbar face, the panel colour the Weston runs set, and the panel the runs give window managers without one.
TASKBAR_GREY="215,215,215"
WESTON_PANEL="192,64,128"
PANEL_ORANGE="224,128,32"
# A menu or notification over the picture's bars.
OVER_MAGENTA="255,0,255"
# The windows the runs make beside the program (python3-xlib; the Debian interpreter, whatever python3 is first on
# the PATH).
XWINDOWS=(/usr/bin/python3 "$(dirname "${BASH_SOURCE[0]}")/xwindows.py")

fail() {
    echo "FAIL ($E2E_TAG): $*" >&2
    exit 1
}

say() { echo "$E2E_TAG: $*"; }

# Fails with a screenshot of the moment beside the message.
fail_shot() {
    local name=$1
    shift
    capture "$(shot_path "$name")" 2> /dev/null || true
    fail "$* (the screen then: $(shot_path "$name"))"
}

# Usage: e2e_init <folder for screenshots and logs> <tag that names this run's files>
e2e_init() {
    E2E_SHOTS=$1
    E2E_TAG=$2
    mkdir -p "$E2E_SHOTS"
    E2E_SESSION=$(mktemp -d "${TMPDIR:-/tmp}/ditessary-e2e.XXXXXX")
    E2E_MARK="DITESSARY_E2E_RUN=$E2E_SESSION"
    trap e2e_cleanup EXIT
    trap 'exit 130' INT TERM HUP
}

# A missing tool skips the run (CTest's SKIP_RETURN_CODE) instead of failing it.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" > /dev/null || { echo "SKIP ($E2E_TAG): $tool is not installed"; exit 77; }
    done
}

# The desktops of the matrix are no option: a missing one fails the run, with what installs it.
need_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" > /dev/null || fail "$tool is not installed (tools/install-deps.sh installs it)"
    done
}

# A child that has ended stays a zombie until waited for, so kill -0 alone cannot tell.
alive() {
    local state
    state=$(cut -d ')' -f 2 "/proc/$1/stat" 2> /dev/null | cut -d ' ' -f 2) || return 1
    [[ -n "$state" && "$state" != "Z" ]]
}

# Ends one process this session started: SIGTERM, up to the given seconds for it to go, then SIGKILL.
stop_pid() {
    local pid=$1 seconds=${2:-3}
    [[ -n "$pid" ]] || return 0
    kill -TERM "$pid" 2> /dev/null || true
    local deadline=$((SECONDS + seconds))
    while alive "$pid" && ((SECONDS < deadline)); do sleep 0.1; done
    alive "$pid" && kill -KILL "$pid" 2> /dev/null
    wait "$pid" 2> /dev/null || true
}

# The processes that carry this run's mark: the desktops and everything they started, whoever runs them.
marked_pids() {
    [[ -n "$E2E_MARK" ]] || return 0
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        grep -qzxF "$E2E_MARK" "$environ" 2> /dev/null && alive "$pid" && echo "$pid"
    done
    return 0
}

# What the desktops left: SIGTERM to every marked process, up to 3 s, then SIGKILL; then the lock files and sockets
# of the displays their Xwayland took, where its end left them behind.
sweep_marked() {
    local pids pid
    pids=$(marked_pids)
    [[ -n "$pids" ]] || return 0
    for pid in $pids; do kill -TERM "$pid" 2> /dev/null || true; done
    local deadline=$((SECONDS + 3))
    while [[ -n "$(marked_pids)" ]] && ((SECONDS < deadline)); do sleep 0.1; done
    for pid in $(marked_pids); do kill -KILL "$pid" 2> /dev/null || true; done
    local lock
    for lock in "${XWAYLAND_LOCKS[@]}"; do
        [[ -f "$lock" ]] && ! alive "$(tr -d ' ' < "$lock")" && rm -f "$lock" "/tmp/.X11-unix/X${lock//[^0-9]/}"
    done
    return 0
}
XWAYLAND_LOCKS=()

# The program goes first: with its display gone it would spin on the dead connection. Then whatever ran on the
# X server, newest first, then the server itself, then anything the desktops started that is still there.
e2e_cleanup() {
    local status=$?
    stop_pid "$KEY_HELD_PID" 1
    stop_pid "$PROGRAM_PID"
    PROGRAM_PID=""
    local i
    for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${DESKTOP_PIDS[i]}" 5; done
    DESKTOP_PIDS=()
    stop_pid "$XVFB_PID"
    XVFB_PID=""
    sweep_marked
    if ((status != 0)) && [[ -n "$PROGRAM_LOG" && -s "$PROGRAM_LOG" ]]; then
        echo "--- the program's output ($PROGRAM_LOG):" >&2
        tail -20 "$PROGRAM_LOG" >&2
    fi
    [[ -n "$E2E_SESSION" ]] && rm -rf "$E2E_SESSION"
    return "$status"
}

# Usage: start_xvfb <width> <height> [depth]. The server picks a free display number itself; exports DISPLAY.
start_xvfb() {
    local fd_file=$E2E_SESSION/displayfd
    : > "$fd_file"
    Xvfb -displayfd 3 -screen 0 "${1}x${2}x${3:-24}" -nolisten tcp -noreset 3> "$fd_file" \
        > "$E2E_SHOTS/xvfb-$E2E_TAG.log" 2>&1 &
    XVFB_PID=$!
    local deadline=$((SECONDS + 10))
    until [[ -s "$fd_file" ]]; do
        alive "$XVFB_PID" || fail "Xvfb did not start: $(tail -3 "$E2E_SHOTS/xvfb-$E2E_TAG.log")"
        ((SECONDS < deadline)) || fail "Xvfb gave no display number within 10 s"
        sleep 0.1
    done
    DISPLAY=":$(head -1 "$fd_file")"
    export DISPLAY
    until xdotool getdisplaygeometry > /dev/null 2>&1; do
        ((SECONDS < deadline)) || fail "the X screen $DISPLAY does not answer"
        sleep 0.1
    done
}

# IceWM with its taskbar, on the default theme, over a plain desktop colour.
start_icewm() {
    local config=$E2E_SESSION/icewm
    mkdir -p "$config"
    : > "$config/preferences"
    start_desktop icewm env ICEWM_PRIVCFG="$config" icewm
    wait_x11_wm icewm 15
    local deadline=$((SECONDS + 15))
    # icewmbg sets the colour and ends; the empty image list keeps the theme's picture off.
    ICEWM_PRIVCFG=$config icewmbg -p -k "#$(hex_colour "$DESKTOP_GREEN")" -i '' \
        >> "$E2E_SHOTS/icewm-$E2E_TAG.log" 2>&1 || fail "icewmbg could not set the desktop colour"
    local width height
    read -r width height <<< "$(xdotool getdisplaygeometry)"
    until [[ "$(screen_colour_now $((width / 2)) $((height / 2)))" == "$DESKTOP_GREEN" ]] &&
        (($(count_now "$TASKBAR_GREY" 0 $((height - 10)) "$width" 10) > width * 10 / 4)); do
        ((SECONDS < deadline)) || fail_shot icewm-not-ready "the IceWM desktop and taskbar did not show within 15 s"
        sleep 0.2
    done
}

# Usage: start_weston <width> <height>. Weston's desktop shell nested in the X server through its X11 backend,
# drawn by pixman, with its Xwayland; its output is a window at the screen's top-left. Exports WAYLAND_DISPLAY and
# XDG_RUNTIME_DIR. The panel gets a colour of its own and the clock is off, so a screenshot tells panel, desktop and
# program apart.
# Its debug protocol is on, so weston-debug can read what the compositor knows of each window.
start_weston() {
    local width=$1 height=$2
    need_tools weston Xwayland
    wayland_runtime
    cat > "$E2E_SESSION/weston.ini" << EOF
[core]
idle-time=0

[shell]
background-color=0xff$(hex_colour "$DESKTOP_GREEN")
panel-color=0xff$(hex_colour "$WESTON_PANEL")
panel-position=top
clock-format=none
locking=false
animation=none
close-animation=none
startup-animation=none
focus-animation=none
EOF
    start_desktop weston-stdout weston --backend=x11-backend.so --use-pixman --width="$width" --height="$height" \
        --socket="$WAYLAND_DISPLAY" --xwayland --debug --config="$E2E_SESSION/weston.ini" --log="$E2E_SHOTS/weston-$E2E_TAG.log"
    # Weston draws its pointer into the output. With no window manager the X keyboard focus follows the pointer, so
    # it stays over Weston's window, in the bottom-right corner where its image falls outside the screen.
    xdotool mousemove $((width - 1)) $((height - 1))
    local deadline=$((SECONDS + 20))
    # Ready when the shell has drawn its desktop and its panel.
    until [[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]] &&
        [[ "$(screen_colour_now $((width / 2)) $((height / 2)))" == "$DESKTOP_GREEN" ]] &&
        [[ "$(screen_colour_now $((width / 2)) 8)" == "$WESTON_PANEL" ]]; do
        alive "${DESKTOP_PIDS[-1]}" || fail "Weston ended: $(tail -5 "$E2E_SHOTS/weston-$E2E_TAG.log")"
        ((SECONDS < deadline)) || fail_shot weston-not-ready "Weston's desktop and panel did not show within 20 s"
        sleep 0.2
    done
    # A motion inside the window now that it is there, so Weston's pointer is in the corner too.
    xdotool mousemove $((width - 2)) $((height - 2)) mousemove $((width - 1)) $((height - 1))
    wait_xwayland weston 20
}

# Usage: start_desktop <name> <command> [argument ...]: one desktop process, marked, in a session of its own (a
# signal meant for the run's own process group does not reach it), with a home of its own so that nothing of the
# machine's settings comes in and nothing is written out; its output goes to <name>-<tag>.log.
start_desktop() {
    local name=$1
    shift
    mkdir -p "$E2E_SESSION/home"
    setsid env "$E2E_MARK" HOME="$E2E_SESSION/home" "$@" > "$E2E_SHOTS/$name-$E2E_TAG.log" 2>&1 < /dev/null &
    DESKTOP_PIDS+=($!)
}

desktop_log() { tail -"${2:-5}" "$E2E_SHOTS/$1-$E2E_TAG.log" | tr '\n' ' '; }

# Usage: desktop_up <name> <deadline in SECONDS>: fails when the newest desktop process has ended or time is up.
desktop_up() {
    alive "${DESKTOP_PIDS[-1]}" || fail "$1 ended: $(desktop_log "$1")"
    ((SECONDS < $2)) || fail "$1 did not start within its time: $(desktop_log "$1")"
}

# The window a window manager names on the root for _NET_SUPPORTING_WM_CHECK, when that window names itself.
x11_wm_window() {
    local named
    named=$(xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | sed -n 's/.*window id # //p')
    [[ -n "$named" ]] &&
        [[ "$(xprop -id "$named" _NET_SUPPORTING_WM_CHECK 2> /dev/null | sed -n 's/.*window id # //p')" == "$named" ]] &&
        echo "$named"
}

# Usage: wait_x11_wm <name> <seconds>: until the window manager announces itself on the root window, as it does
# once it manages the screen.
wait_x11_wm() {
    local deadline=$((SECONDS + $2))
    until x11_wm_window > /dev/null; do
        desktop_up "$1" "$deadline"
        sleep 0.1
    done
}

# Usage: x11_desktop_colour <r,g,b>: the root window's colour, for window managers that draw no desktop.
x11_desktop_colour() {
    "${XWINDOWS[@]}" root "$1" > /dev/null || fail "could not colour the root window"
}

# "x y width height" of _NET_WORKAREA on the first desktop, or of the whole screen where nobody sets it.
work_area() {
    local area
    area=$(xprop -root _NET_WORKAREA 2> /dev/null | sed -n 's/.*= //p' | tr -d ',' | cut -d ' ' -f 1-4)
    [[ -n "$area" ]] || area="0 0 $(xdotool getdisplaygeometry)"
    echo "$area"
}

# Usage: start_x11_panel <height>: a dock along the bottom that reserves its height, for window managers that have
# no panel of their own, so that their usable area is smaller than the screen; waits until the manager has taken it
# off _NET_WORKAREA.
start_x11_panel() {
    local height=$1 width screen_h
    read -r width screen_h <<< "$(xdotool getdisplaygeometry)"
    start_desktop panel "${XWINDOWS[@]}" panel "$height" "$PANEL_ORANGE"
    local deadline=$((SECONDS + 10))
    until [[ "$(work_area | cut -d ' ' -f 4)" == "$((screen_h - height))" ]]; do
        desktop_up panel "$deadline"
        sleep 0.1
    done
}

start_openbox() {
    need_tools openbox
    start_desktop openbox openbox --sm-disable
    wait_x11_wm openbox 15
}

# xfwm4 keeps its settings in xfconf, which it reaches over a D-Bus session; its compositor stays off, as a user
# would have it on an X server without a GPU.
start_xfwm4() {
    need_tools xfwm4 dbus-run-session
    start_desktop xfwm4 dbus-run-session -- xfwm4 --compositor=off
    wait_x11_wm xfwm4 20
}

# A private runtime folder and socket name for a Wayland compositor; exports both.
wayland_runtime() {
    export XDG_RUNTIME_DIR=$E2E_SESSION/xdg
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export WAYLAND_DISPLAY=ditessary-e2e
}

# Usage: wait_wayland_socket <name> <seconds>
wait_wayland_socket() {
    local deadline=$((SECONDS + $2))
    until [[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]]; do
        desktop_up "$1" "$deadline"
        sleep 0.1
    done
}

# Usage: wait_xwayland <name> <seconds>. The compositor's Xwayland, found by the lock files of its displays (the
# compositor or Xwayland writes its own process id there, and both carry the run's mark; the lowest is the one it
# gives its clients) and its authority file on Xwayland's command line. Sets XWAYLAND_DISPLAY and
# XWAYLAND_AUTHORITY, and waits until the server answers, which starts it where the compositor waits for a client.
XWAYLAND_OWNER=()
wait_xwayland() {
    local name=$1 deadline=$((SECONDS + $2)) lock pid number
    XWAYLAND_DISPLAY=""
    while :; do
        for lock in $(find /tmp -maxdepth 1 -name '.X*-lock' 2> /dev/null | sort -V); do
            pid=$(tr -d ' \n' < "$lock" 2> /dev/null) || continue
            [[ -n "$pid" ]] || continue
            grep -qzxF "$E2E_MARK" "/proc/$pid/environ" 2> /dev/null || continue
            XWAYLAND_LOCKS+=("$lock")
            number=${lock#/tmp/.X}
            [[ -n "$XWAYLAND_DISPLAY" ]] || XWAYLAND_DISPLAY=":${number%-lock}"
        done
        [[ -n "$XWAYLAND_DISPLAY" ]] && break
        desktop_up "$name" "$deadline"
        sleep 0.1
    done
    XWAYLAND_AUTHORITY=""
    until DISPLAY=$XWAYLAND_DISPLAY XAUTHORITY=$XWAYLAND_AUTHORITY xdpyinfo > /dev/null 2>&1; do
        # An Xwayland without an authority file lets in only the user it runs as, who may let this one in too.
        ((${#XWAYLAND_OWNER[@]} == 0)) || "${XWAYLAND_OWNER[@]}" env PATH=/usr/bin:/bin DISPLAY="$XWAYLAND_DISPLAY" \
            xhost "+si:localuser:$(id -un)" > /dev/null 2>&1 || true
        for pid in $(marked_pids); do
            [[ "$(tr '\0' '\n' < "/proc/$pid/cmdline" 2> /dev/null | head -1)" == *Xwayland ]] || continue
            XWAYLAND_AUTHORITY=$(tr '\0' '\n' < "/proc/$pid/cmdline" | sed -n '/^-auth$/{n;p}')
        done
        desktop_up "$name" "$deadline"
        sleep 0.2
    done
}

# Usage: start_mutter <width> <height>. GNOME's compositor, headless with one virtual monitor, with its Xwayland; it
# wants a D-Bus session.
start_mutter() {
    need_tools mutter dbus-run-session Xwayland xdpyinfo
    wayland_runtime
    start_desktop mutter dbus-run-session -- mutter --wayland --headless --virtual-monitor "${1}x${2}" \
        --wayland-display="$WAYLAND_DISPLAY"
    wait_wayland_socket mutter 20
    wait_xwayland mutter 30
}

# Usage: start_kwin <width> <height>. KDE's compositor on its virtual output, with its Xwayland, in a D-Bus session.
# Its executable carries a file capability (CAP_SYS_RESOURCE) that a root process in a container may not take, so
# starting it fails there; a copy without the capability runs.
start_kwin() {
    need_tools kwin_wayland dbus-run-session Xwayland xdpyinfo getcap setcap
    wayland_runtime
    local kwin=$E2E_SESSION/kwin_wayland
    cp "$(command -v kwin_wayland)" "$kwin"
    [[ -z "$(getcap "$kwin")" ]] || setcap -r "$kwin" || fail "could not take the file capability off a copy of kwin_wayland"
    start_desktop kwin dbus-run-session -- "$kwin" --virtual --xwayland --no-lockscreen --socket "$WAYLAND_DISPLAY" \
        --width "$1" --height "$2"
    wait_wayland_socket kwin 30
    wait_xwayland kwin 30
}

# Usage: start_sway <width> <height>. wlroots' sway, headless and drawn by pixman, with no input device of its own,
# with its Xwayland. Sway refuses to run as root, so as root it runs as an unprivileged user that this creates when
# missing. Screenshots come from grim and keys from wtype, both through the compositor's own protocols.
SWAY_USER=ditessary-e2e
start_sway() {
    local width=$1 height=$2
    need_tools sway swaymsg swaybg grim wtype Xwayland xdpyinfo xhost runuser
    local as_user=()
    export XDG_RUNTIME_DIR=$E2E_SESSION/sway-runtime
    mkdir -m 700 "$XDG_RUNTIME_DIR"
    if ((EUID == 0)); then
        id -u "$SWAY_USER" > /dev/null 2>&1 ||
            useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$SWAY_USER" ||
            fail "could not create the user $SWAY_USER that sway runs as"
        as_user=(runuser -u "$SWAY_USER" --)
        # The user reaches its runtime folder and its configuration through the run's folder.
        chmod 711 "$E2E_SESSION"
        chown "$SWAY_USER:" "$XDG_RUNTIME_DIR"
    fi
    printf 'output HEADLESS-1 mode %sx%s bg #%s solid_color\nxwayland enable\nfocus_follows_mouse no\n' \
        "$width" "$height" "$(hex_colour "$DESKTOP_GREEN")" > "$E2E_SESSION/sway.conf"
    chmod 644 "$E2E_SESSION/sway.conf"
    start_desktop sway "${as_user[@]}" env -u DISPLAY -u WAYLAND_DISPLAY HOME="$XDG_RUNTIME_DIR" \
        XDG_RUNTIME_DIR="$XDG_RUNTIME_DIR" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
        sway -c "$E2E_SESSION/sway.conf"
    local deadline=$((SECONDS + 20)) socket=""
    SWAYSOCK=""
    until [[ -n "$socket" && -n "$SWAYSOCK" ]] && swaymsg -s "$SWAYSOCK" -t get_outputs > /dev/null 2>&1; do
        desktop_up sway "$deadline"
        sleep 0.1
        socket=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -type s -name 'wayland-*' -printf '%f\n' | head -1)
        SWAYSOCK=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -type s -name 'sway-ipc.*.sock' | head -1)
    done
    export WAYLAND_DISPLAY=$socket SWAYSOCK
    # A virtual keyboard that stays: when the last keyboard goes, sway takes the focus off the window, and the
    # program's keyboard would lose the key it was just sent.
    start_desktop keyboard wtype -s 3600000
    XWAYLAND_OWNER=("${as_user[@]}")
    CAPTURE=grim
    until [[ "$(screen_colour_now $((width / 2)) $((height / 2)))" == "$DESKTOP_GREEN" ]]; do
        desktop_up sway "$deadline"
        sleep 0.2
    done
    wait_xwayland sway 20
}

# Usage: start_weston_outputs <width> <height> <scale> <outputs> [weston option ...]: Weston as start_weston does it,
# with <outputs> outputs of <width> x <height> pixels each at the whole <scale>, side by side on an X screen wide
# enough for them all. Exports WAYLAND_DISPLAY and XDG_RUNTIME_DIR; the pointer rests in the first output's corner.
start_weston_outputs() {
    local width=$1 height=$2 scale=$3 outputs=$4
    shift 4
    export XDG_RUNTIME_DIR=$E2E_SESSION/xdg
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export WAYLAND_DISPLAY=ditessary-e2e
    printf '[core]\nidle-time=0\n\n[shell]\nbackground-color=0xff%s\npanel-color=0xff%s\npanel-position=top\n%s\n' \
        "$(hex_colour "$DESKTOP_GREEN")" "$(hex_colour "$WESTON_PANEL")" \
        "clock-format=none\nlocking=false\nanimation=none\nstartup-animation=none" > "$E2E_SESSION/weston.ini"
    # Weston adds to its log; what this run reads there must be this run's.
    : > "$E2E_SHOTS/weston-$E2E_TAG.log"
    weston --backend=x11-backend.so --use-pixman --width=$((width / scale)) --height=$((height / scale)) \
        --scale="$scale" --output-count="$outputs" "$@" --socket="$WAYLAND_DISPLAY" --config="$E2E_SESSION/weston.ini" \
        --log="$E2E_SHOTS/weston-$E2E_TAG.log" > /dev/null 2>&1 &
    DESKTOP_PIDS+=($!)
    local deadline=$((SECONDS + 30)) k id ready
    # Weston opens every output's X window at the screen's top-left; each moves to its own place, where it repaints.
    for ((k = 0; k < outputs; k++)); do
        until id=$(xwininfo -root -children 2> /dev/null | grep -F "\"Weston Compositor - screen$k\":" |
            awk '{print $1}') && [[ -n "$id" ]]; do
            alive "${DESKTOP_PIDS[-1]}" || fail "Weston ended: $(tail -5 "$E2E_SHOTS/weston-$E2E_TAG.log")"
            ((SECONDS < deadline)) || fail "Weston opened no output window screen$k within 30 s"
            sleep 0.2
        done
        xdotool windowmove "$id" $((k * width)) 0
    done
    xdotool mousemove $((width - 1)) $((height - 1))
    until [[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]] && {
        ready=1
        for ((k = 0; k < outputs; k++)); do
            [[ "$(screen_colour_now $((k * width + width / 2)) $((height / 2)))" == "$DESKTOP_GREEN" ]] || ready=0
        done
        ((ready))
    }; do
        alive "${DESKTOP_PIDS[-1]}" || fail "Weston ended: $(tail -5 "$E2E_SHOTS/weston-$E2E_TAG.log")"
        ((SECONDS < deadline)) || fail_shot weston-not-ready "Weston's outputs did not show its desktop within 30 s"
        sleep 0.2
    done
    xdotool mousemove $((width - 2)) $((height - 2)) mousemove $((width - 1)) $((height - 1))
}

# "r,g,b" as six hex digits.
hex_colour() {
    local r g b
    IFS=, read -r r g b <<< "$1"
    printf '%02x%02x%02x' "$r" "$g" "$b"
}

# Usage: start_program <executable> [argument ...]; the environment passes through. Output in $PROGRAM_LOG.
start_program() {
    PROGRAM_LOG=$E2E_SHOTS/program-$E2E_TAG.log
    "$@" > "$PROGRAM_LOG" 2>&1 &
    PROGRAM_PID=$!
}

# Waits for the program to end: EXIT_STATUS and EXIT_SECONDS (whole seconds, rounded up); fails when it has not
# ended within the given seconds.
wait_exit() {
    local limit=$1 started
    started=$(date +%s%N)
    while alive "$PROGRAM_PID"; do
        (($(date +%s%N) - started < limit * 1000000000)) || fail "the program did not end within ${limit} s"
        sleep 0.05
    done
    EXIT_STATUS=0
    wait "$PROGRAM_PID" || EXIT_STATUS=$?
    EXIT_SECONDS=$((($(date +%s%N) - started + 999999999) / 1000000000))
    PROGRAM_PID=""
}

# Usage: picture_at <scale> <x> <y>: the picture's screen geometry for the picture-pixel helpers below.
picture_at() {
    PIC_SCALE=$1
    PIC_X=$2
    PIC_Y=$3
}

# The largest whole scale of 640 x 480 that fits <width> x <height>, centred inside the rectangle at <x>, <y>.
picture_centred_in() {
    local x=$1 y=$2 width=$3 height=$4
    local scale=$((width / 640 < height / 480 ? width / 640 : height / 480))
    ((scale >= 1)) || fail "a ${width}x${height} area is smaller than the picture"
    picture_at "$scale" $((x + (width - 640 * scale) / 2)) $((y + (height - 480 * scale) / 2))
}

shot_path() { echo "$E2E_SHOTS/$1-$E2E_TAG.png"; }

# Usage: capture <png file>: what shows, as CAPTURE says.
capture() {
    local id
    case "$CAPTURE" in
        xroot) xwd -root -silent | convert xwd:- "png:$1" ;;
        xwindow) id=$(program_window) && xwd -id "$id" -silent | convert xwd:- "png:$1" ;;
        grim) grim -t png "$1" ;;
        *) fail "no way to capture '$CAPTURE'" ;;
    esac
}

# xwd walks the window tree for the visuals, and a window that goes meanwhile (SDL re-creating the program's for a
# renderer) fails it; the next try meets the tree as it stands.
shot() {
    local try
    for try in 1 2 3 4 5; do
        capture "$(shot_path "$1")" 2> "$E2E_SESSION/capture.err" && return 0
        sleep 0.1
    done
    fail "no screenshot ($CAPTURE): $(tail -3 "$E2E_SESSION/capture.err" | tr '\n' ' ')"
}

# The colour of screen pixel (x, y) of a screenshot as "r,g,b".
screen_pixel() {
    convert "$(shot_path "$1")" -format "%[fx:int(255*p{$2,$3}.r+0.5)],%[fx:int(255*p{$2,$3}.g+0.5)],%[fx:int(255*p{$2,$3}.b+0.5)]" info:
}

# The colour of picture pixel (x, y) of a screenshot.
pixel() {
    screen_pixel "$1" $((PIC_X + $2 * PIC_SCALE)) $((PIC_Y + $3 * PIC_SCALE))
}

# Usage: count_image_colour <image> <colour> <x> <y> <w> <h>: pixels of exactly that colour in the rectangle. The
# difference from a plain image of the colour is zero exactly there, whatever the colour is, black and white too.
# Within COLOUR_TOLERANCE a channel, where the server keeps fewer bits of each than the picture has.
count_image_colour() {
    convert "$1" -crop "${5}x${6}+${3}+${4}" +repage -alpha off \( +clone -fill "rgb($2)" -colorize 100 \) \
        -compose difference -composite -separate -evaluate-sequence max \
        -threshold "$(awk "BEGIN {print $COLOUR_TOLERANCE * 100 / 255}")%" -negate -precision 12 \
        -format "%[fx:int(mean*w*h+0.5)]" info:
}

# Whether two "r,g,b" colours are the same within COLOUR_TOLERANCE a channel.
same_colour() {
    local r1 g1 b1 r2 g2 b2
    IFS=, read -r r1 g1 b1 <<< "$1"
    IFS=, read -r r2 g2 b2 <<< "$2"
    [[ -n "$r1" && -n "$r2" ]] || return 1
    ((r1 - r2 <= COLOUR_TOLERANCE && r2 - r1 <= COLOUR_TOLERANCE && g1 - g2 <= COLOUR_TOLERANCE &&
        g2 - g1 <= COLOUR_TOLERANCE && b1 - b2 <= COLOUR_TOLERANCE && b2 - b1 <= COLOUR_TOLERANCE))
}

# Pixels of one colour in the screen rectangle x, y, w, h of a screenshot.
count_screen_colour() {
    local name=$1
    shift
    count_image_colour "$(shot_path "$name")" "$@"
}

# Pixels of one colour in the picture rectangle x, y, w, h of a screenshot.
count_colour() {
    count_screen_colour "$1" "$2" $((PIC_X + $3 * PIC_SCALE)) $((PIC_Y + $4 * PIC_SCALE)) \
        $(($5 * PIC_SCALE)) $(($6 * PIC_SCALE))
}

# The same two reads straight from the screen, for waits before there is anything worth keeping.
screen_colour_now() {
    capture "$E2E_SESSION/now.png" 2> /dev/null &&
        convert "$E2E_SESSION/now.png" -format "%[fx:int(255*p{$1,$2}.r+0.5)],%[fx:int(255*p{$1,$2}.g+0.5)],%[fx:int(255*p{$1,$2}.b+0.5)]" info: 2> /dev/null
}

count_now() {
    { capture "$E2E_SESSION/now.png" && count_image_colour "$E2E_SESSION/now.png" "$@"; } 2> /dev/null || echo 0
}

# Usage: wait_for <shot name> <picture x> <picture y> <colour> <seconds>. Screenshots until the picture pixel has
# the colour; the last screenshot stays under the name. Fails at once when the program has ended.
wait_for() {
    local name=$1 x=$2 y=$3 colour=$4 seconds=$5
    local deadline=$((SECONDS + seconds)) seen
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for $name"
        shot "$name"
        seen=$(pixel "$name" "$x" "$y")
        same_colour "$seen" "$colour" && return 0
        ((SECONDS < deadline)) || fail "$name: picture pixel ($x, $y) is $seen, not $colour, after ${seconds} s"
        sleep 0.1
    done
}

# Whether every screen pixel outside the picture in a screenshot is black: no desktop, panel or taskbar shows.
# When not, OUTSIDE_PICTURE says where.
OUTSIDE_PICTURE=""
black_outside_picture() {
    local name=$1 screen_w=$2 screen_h=$3
    local pic_w=$((640 * PIC_SCALE)) pic_h=$((480 * PIC_SCALE))
    local right=$((PIC_X + pic_w)) bottom=$((PIC_Y + pic_h))
    local rects=()
    ((PIC_Y > 0)) && rects+=("0 0 $screen_w $PIC_Y")
    ((bottom < screen_h)) && rects+=("0 $bottom $screen_w $((screen_h - bottom))")
    ((PIC_X > 0)) && rects+=("0 $PIC_Y $PIC_X $pic_h")
    ((right < screen_w)) && rects+=("$right $PIC_Y $((screen_w - right)) $pic_h")
    local rect x y w h black
    for rect in "${rects[@]}"; do
        read -r x y w h <<< "$rect"
        black=$(count_screen_colour "$name" "$BLACK" "$x" "$y" "$w" "$h")
        if ((black != w * h)); then
            OUTSIDE_PICTURE="$((w * h - black)) of the ${w}x${h} pixels at ($x, $y) outside the picture are not black"
            return 1
        fi
    done
}

# Usage: wait_black_outside_picture <shot name> <screen width> <screen height> <seconds>. A desktop may take a
# moment to lower its panel under a new full-screen window; a panel still showing after that fails the run.
wait_black_outside_picture() {
    local name=$1 screen_w=$2 screen_h=$3 seconds=$4
    local deadline=$((SECONDS + seconds))
    until black_outside_picture "$name" "$screen_w" "$screen_h"; do
        ((SECONDS < deadline)) || fail "$name: $OUTSIDE_PICTURE after ${seconds} s"
        alive "$PROGRAM_PID" || fail "the program ended while waiting for black around the picture"
        sleep 0.2
        shot "$name"
    done
}

# The program's own top-level X window: the mapped window carrying its process id.
program_window() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$PROGRAM_PID" 2> /dev/null); do
        echo "$id"
        return 0
    done
    return 1
}

# "x y width height" of a window's inside in screen pixels.
window_inside() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^  Width:/ {w = $NF} /^  Height:/ {h = $NF} END {print x, y, w, h}'
}

# Usage: wait_window_inside <width> <height> <seconds>: waits until the program's window has that inside and leaves
# its screen position in WINDOW_X and WINDOW_Y.
WINDOW_X=""
WINDOW_Y=""
wait_window_inside() {
    local width=$1 height=$2 seconds=$3
    local deadline=$((SECONDS + seconds)) id geometry="none" x y w h
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for a ${width}x${height} window"
        # A window that goes between the search and the query (SDL re-creating the program's for a renderer) is
        # looked for again.
        if id=$(program_window) && geometry=$(window_inside "$id" 2> /dev/null); then
            read -r x y w h <<< "$geometry"
            if [[ "$w" == "$width" && "$h" == "$height" ]]; then
                WINDOW_X=$x
                WINDOW_Y=$y
                return 0
            fi
        fi
        ((SECONDS < deadline)) ||
            fail_shot no-window "no ${width}x${height} program window after ${seconds} s (last: $geometry)"
        sleep 0.1
    done
}

# Keys through XTEST, where they reach whatever has the X keyboard focus, or through a Wayland virtual keyboard,
# which the compositor gives the focused window. Key names are X keysyms; a chord is "modifier+key".
KEY_HELD_PID=""
key() {
    local chord
    for chord in "$@"; do
        if [[ "$KEYS" == wtype ]]; then
            wtype_fillers "${chord#*+}"
            if [[ "$chord" == *+* ]]; then
                wtype "${WTYPE_FILLERS[@]}" -M "${chord%%+*}" -k "${chord#*+}" -m "${chord%%+*}"
            else
                wtype "${WTYPE_FILLERS[@]}" -k "$chord"
            fi
        else
            xdotool key "$chord"
        fi
    done
}

# SDL 2's Wayland keyboard takes a key's scancode from its Linux key code, while wtype numbers the codes of its own
# keymap in the order its keys first appear. So releases of keys that were never pressed, which SDL drops, take the
# codes before the wanted one and it lands on its own. The new keymap takes the focus off the window and gives it
# back, so the keys wait until the program has its keyboard again. Usage: wtype_fillers <keysym>; the arguments that
# go before the key's own are in WTYPE_FILLERS.
declare -A LINUX_KEY_CODE=([Escape]=1 [Return]=28 [space]=57 [Right]=106)
WTYPE_FILLERS=()
wtype_fillers() {
    local code=${LINUX_KEY_CODE[$1]:-} i
    [[ -n "$code" ]] || fail "no Linux key code for $1"
    WTYPE_FILLERS=()
    for ((i = 1; i < code; i++)); do WTYPE_FILLERS+=(-p "$(printf 'U%X' $((0x4E00 + i)))"); done
    WTYPE_FILLERS+=(-s 300)
}

# A virtual keyboard holds its keys only while it exists, so the held key is a wtype that waits.
key_down() {
    if [[ "$KEYS" == wtype ]]; then
        wtype_fillers "$1"
        env "$E2E_MARK" wtype "${WTYPE_FILLERS[@]}" -P "$1" -s 600000 &
        KEY_HELD_PID=$!
    else
        xdotool keydown "$1"
    fi
}
key_up() {
    if [[ "$KEYS" == wtype ]]; then
        stop_pid "$KEY_HELD_PID" 1
        KEY_HELD_PID=""
    else
        xdotool keyup "$1"
    fi
}

# The scenes every desktop run walks: the input-test screen with its prompt, Space to the walk scene, Right held
# until the sprite has left the field and the input-test screen is back. The picture geometry must be set.
check_input_test_screen() {
    local name=$1
    wait_for "$name" 639 479 "$DARK_BLUE" "${2:-20}"
    local prompt
    prompt=$(count_colour "$name" "$YELLOW" 0 350 640 35)
    ((prompt > 500 * PIC_SCALE * PIC_SCALE)) || fail "$name: the start prompt shows only $prompt yellow pixels"
    say "$name: input-test screen, the prompt has $prompt yellow pixels"
}

walk_and_back() {
    local prefix=$1
    key space
    wait_for "$prefix-walk" 5 240 "$PANEL_GREY" 10
    same_colour "$(pixel "$prefix-walk" 635 240)" "$PANEL_GREY" ||
        fail "$prefix-walk: the right panel is $(pixel "$prefix-walk" 635 240)"
    ! same_colour "$(pixel "$prefix-walk" 320 240)" "$PANEL_GREY" || fail "$prefix-walk: the star field is grey"
    say "$prefix: walk scene, panels grey"
    key_down Right
    wait_for "$prefix-back" 639 479 "$DARK_BLUE" 30
    key_up Right
    say "$prefix: back on the input-test screen"
}
