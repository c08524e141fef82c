# shellcheck shell=bash disable=SC2034  # the variables here are read by the scripts that source this file
# Sourced by the end-to-end runs: a private X server, optionally IceWM or Weston on it, the program, screenshots,
# colour checks in picture or screen pixels, keys, and a clean-up that ends what it started in order.
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

# Where the picture stands on the screen: its scale and the screen position of its top-left pixel.
PIC_SCALE=1
PIC_X=0
PIC_Y=0

# Colours the runs look for.
DARK_BLUE="7,4,48"
YELLOW="251,254,16"
PANEL_GREY="121,134,150"
BLACK="0,0,0"
# The desktop colour the runs give IceWM and Weston; the program never draws it, so any of it shows the desktop.
DESKTOP_GREEN="32,128,64"
# IceWM's taskbar face and the panel colour the Weston runs set.
TASKBAR_GREY="215,215,215"
WESTON_PANEL="192,64,128"

fail() {
    echo "FAIL ($E2E_TAG): $*" >&2
    exit 1
}

say() { echo "$E2E_TAG: $*"; }

# Fails with a screenshot of the moment beside the message.
fail_shot() {
    local name=$1
    shift
    xwd -root -silent 2> /dev/null | convert xwd:- "png:$(shot_path "$name")" 2> /dev/null || true
    fail "$* (the screen then: $(shot_path "$name"))"
}

# Usage: e2e_init <folder for screenshots and logs> <tag that names this run's files>
e2e_init() {
    E2E_SHOTS=$1
    E2E_TAG=$2
    mkdir -p "$E2E_SHOTS"
    E2E_SESSION=$(mktemp -d "${TMPDIR:-/tmp}/ditessary-e2e.XXXXXX")
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

# The program goes first: with its display gone it would spin on the dead connection. Then whatever ran on the
# X server, newest first, then the server itself.
e2e_cleanup() {
    local status=$?
    stop_pid "$PROGRAM_PID"
    PROGRAM_PID=""
    local i
    for ((i = ${#DESKTOP_PIDS[@]} - 1; i >= 0; i--)); do stop_pid "${DESKTOP_PIDS[i]}"; done
    DESKTOP_PIDS=()
    stop_pid "$XVFB_PID"
    XVFB_PID=""
    if ((status != 0)) && [[ -n "$PROGRAM_LOG" && -s "$PROGRAM_LOG" ]]; then
        echo "--- the program's output ($PROGRAM_LOG):" >&2
        tail -20 "$PROGRAM_LOG" >&2
    fi
    [[ -n "$E2E_SESSION" ]] && rm -rf "$E2E_SESSION"
    return "$status"
}

# Usage: start_xvfb <width> <height>. The server picks a free display number itself; exports DISPLAY.
start_xvfb() {
    local fd_file=$E2E_SESSION/displayfd
    : > "$fd_file"
    Xvfb -displayfd 3 -screen 0 "${1}x${2}x24" -nolisten tcp -noreset 3> "$fd_file" > "$E2E_SHOTS/xvfb-$E2E_TAG.log" 2>&1 &
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
    ICEWM_PRIVCFG=$config icewm > "$E2E_SHOTS/icewm-$E2E_TAG.log" 2>&1 &
    DESKTOP_PIDS+=($!)
    local deadline=$((SECONDS + 15))
    # IceWM announces itself on the root window once it manages the screen.
    until xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; do
        alive "${DESKTOP_PIDS[-1]}" || fail "IceWM ended: $(tail -3 "$E2E_SHOTS/icewm-$E2E_TAG.log")"
        ((SECONDS < deadline)) || fail "IceWM did not take the screen within 15 s"
        sleep 0.1
    done
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
# drawn by pixman; its output is a window at the screen's top-left. Exports WAYLAND_DISPLAY and XDG_RUNTIME_DIR.
# The panel gets a colour of its own and the clock is off, so a screenshot tells panel, desktop and program apart.
# Its debug protocol is on, so weston-debug can read what the compositor knows of each window.
start_weston() {
    local width=$1 height=$2
    export XDG_RUNTIME_DIR=$E2E_SESSION/xdg
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export WAYLAND_DISPLAY=ditessary-e2e
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
    weston --backend=x11-backend.so --use-pixman --width="$width" --height="$height" --socket="$WAYLAND_DISPLAY" \
        --debug --config="$E2E_SESSION/weston.ini" --log="$E2E_SHOTS/weston-$E2E_TAG.log" > /dev/null 2>&1 &
    DESKTOP_PIDS+=($!)
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

shot() {
    xwd -root -silent | convert xwd:- "png:$(shot_path "$1")" || fail "no screenshot of $DISPLAY"
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
count_image_colour() {
    convert "$1" -crop "${5}x${6}+${3}+${4}" +repage -alpha off \( +clone -fill "rgb($2)" -colorize 100 \) \
        -compose difference -composite -colorspace gray -threshold 0 -negate -precision 12 \
        -format "%[fx:int(mean*w*h+0.5)]" info:
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
    xwd -root -silent | convert xwd:- -format "%[fx:int(255*p{$1,$2}.r+0.5)],%[fx:int(255*p{$1,$2}.g+0.5)],%[fx:int(255*p{$1,$2}.b+0.5)]" info: 2> /dev/null
}

count_now() {
    xwd -root -silent | count_image_colour xwd:- "$@" 2> /dev/null || echo 0
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
        [[ "$seen" == "$colour" ]] && return 0
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
        if id=$(program_window); then
            geometry=$(window_inside "$id")
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

# Keys through XTEST: they reach whatever has the X keyboard focus.
key() { xdotool key "$@"; }
key_down() { xdotool keydown "$1"; }
key_up() { xdotool keyup "$1"; }

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
    [[ "$(pixel "$prefix-walk" 635 240)" == "$PANEL_GREY" ]] ||
        fail "$prefix-walk: the right panel is $(pixel "$prefix-walk" 635 240)"
    [[ "$(pixel "$prefix-walk" 320 240)" != "$PANEL_GREY" ]] || fail "$prefix-walk: the star field is grey"
    say "$prefix: walk scene, panels grey"
    key_down Right
    wait_for "$prefix-back" 639 479 "$DARK_BLUE" 30
    key_up Right
    say "$prefix: back on the input-test screen"
}
