#!/usr/bin/env bash
# Runs the built program on screens of every kind and checks where its picture lands and that it arrives whole.
#   scale2:  Weston at scale 2 with one 1920 x 1080 output, the program on SDL's Wayland backend: the picture is
#            1280 x 960 device pixels in the middle, each of its pixels exactly 2 x 2 of one palette colour; the
#            mouse moves the program's cursor two picture pixels a count of the desktop's units.
#   outputs: Weston with two 800 x 600 outputs side by side: natively on Wayland and through XWayland's two RandR
#            monitors, the default puts the picture on the first, --display 2 on the second, --display 3 is refused;
#            through XWayland a window started on the second and moved to the first goes full screen on the first.
#   mutter:  GNOME's mutter, headless, with two virtual monitors (1920 x 1080, 1280 x 1024). Natively its pixels cannot be
#            read: the window's size and monitor as the program reports them once mutter answered its full-screen
#            request tell the monitor. Through its XWayland the X window's place and size tell it. --display 3 refused.
#   small <width> <height>: a bare X screen of that size: the picture fitted whole with its aspect, black bars.
# Usage: run_screens.sh <ditessary executable> <folder for screenshots> scale2|outputs|mutter|small [width height]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
case=$3
resources=$(realpath "$(dirname "${BASH_SOURCE[0]}")/../../resources")
e2e_init "$2" "$case${4:+-$4x$5}"

# Where the picture goes on a screen of that size: the layer's rule, whole multiples from two up, else fitted.
# Sets PIC_* for whole multiples and FIT_X FIT_Y FIT_W FIT_H in any case.
destination() {
    local width=$1 height=$2
    local factor=$((width / 640 < height / 480 ? width / 640 : height / 480))
    if ((factor >= 2)); then
        FIT_W=$((640 * factor)) FIT_H=$((480 * factor))
    elif ((width * 480 <= height * 640)); then
        FIT_W=$width FIT_H=$((width * 480 / 640))
    else
        FIT_W=$((height * 640 / 480)) FIT_H=$height
    fi
    FIT_X=$(((width - FIT_W) / 2)) FIT_Y=$(((height - FIT_H) / 2))
}

# The display palette as a one-row image: BACKIMG's colour table with entries 0 and 255 black and white, as the
# program's DirectDraw keeps them.
palette_image() {
    local bmp=$resources/BACKIMG.bmp header colours
    header=$(od -An -tu4 -j14 -N4 "$bmp" | tr -d ' ')
    local bytes
    read -r -a bytes <<< "$(od -An -tu1 -v -j$((14 + header)) -N1024 "$bmp" | tr '\n' ' ')"
    colours="0 0 0"
    local i
    for ((i = 1; i < 255; i++)); do colours+=" ${bytes[i * 4 + 2]} ${bytes[i * 4 + 1]} ${bytes[i * 4]}"; done
    colours+=" 255 255 255"
    printf 'P3\n256 1\n255\n%s\n' "$colours" > "$E2E_SESSION/palette.ppm"
}

# Pixels that differ between two images of the same size.
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

finish_with_escape() {
    key Escape
    wait_exit 20
    ((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS after Escape"
}

# Waits until the program's standard error has a line matching the pattern (grep -E); fails after the seconds.
wait_said() {
    local pattern=$1 seconds=$2
    local deadline=$((SECONDS + seconds))
    until grep -qE "$pattern" "$PROGRAM_LOG"; do
        alive "$PROGRAM_PID" || fail "the program ended before saying '$pattern'"
        ((SECONDS < deadline)) || fail "no line '$pattern' within $seconds s: $(grep -E '^(video|present|window):' "$PROGRAM_LOG" | tr '\n' '|')"
        sleep 0.2
    done
}

# A monitor that is not there: status 2 and one line naming the two there are.
check_refused() {
    local expected=$1
    shift
    start_program "$@"
    wait_exit 30
    ((EXIT_STATUS == 2)) || fail "--display 3: exit status $EXIT_STATUS"
    grep -qE "$expected" "$PROGRAM_LOG" || fail "--display 3 said: $(tail -2 "$PROGRAM_LOG")"
    say "--display 3: status 2, $(grep 'no monitor' "$PROGRAM_LOG")"
}

# Top-left corner of the program's white 20 x 20 cursor square in picture pixels, as "x y": the white pixels' box
# outside the read-out lines and the frame-rate row, at the picture geometry set.
cursor_corner() {
    local s=$PIC_SCALE w h x y
    read -r w h x y <<< "$(convert "$(shot_path "$1")" -fill black +opaque white -fill black \
        -draw "rectangle $((PIC_X + 190 * s)),$((PIC_Y + 40 * s)),$((PIC_X + 400 * s)),$((PIC_Y + 90 * s))" \
        -draw "rectangle 0,0,1919,$((PIC_Y + 16 * s - 1))" -trim -format "%w %h %X %Y" info:)"
    echo "$(((x + w - PIC_X) / s - 20)) $(((y + h - PIC_Y) / s - 20))"
}

run_scale2() {
    require_tools Xvfb xdotool xwd convert compare weston
    start_xvfb 1920 1080
    start_weston_outputs 1920 1080 2 1
    start_program env -u DISPLAY SDL_VIDEODRIVER=wayland "$program"
    picture_at 2 320 60
    check_input_test_screen full 30
    wait_black_outside_picture full 1920 1080 10
    grep -q "^window: 960 x 540 on monitor 1, 1920 x 1080 pixels$" "$PROGRAM_LOG" ||
        fail "the window was not 960 x 540 units in 1920 x 1080 pixels: $(grep '^window:' "$PROGRAM_LOG" | tr '\n' '|')"
    local picture=$E2E_SESSION/picture.png blocks=$E2E_SESSION/blocks.png mapped=$E2E_SESSION/mapped.png
    convert "$(shot_path full)" -crop 1280x960+320+60 +repage "$picture"
    # Every 2 x 2 block is one colour: sampling one pixel of each and doubling it back gives the picture again.
    convert "$picture" -sample 50% -sample 200% "$blocks"
    local uneven colours unlisted
    uneven=$(differing "$picture" "$blocks")
    ((uneven == 0)) || fail "full: $uneven device pixels differ from their 2 x 2 block"
    # Every colour is one of the palette's: mapping to the palette's nearest colours changes nothing.
    palette_image
    convert "$picture" +dither -remap "$E2E_SESSION/palette.ppm" "$mapped"
    unlisted=$(differing "$picture" "$mapped")
    colours=$(convert "$picture" -format '%k' info:)
    ((unlisted == 0)) || fail "full: $unlisted device pixels have colours outside the palette ($colours colours)"
    say "full: 1280 x 960 device pixels at (320, 60) in exact 2 x 2 blocks of $colours palette colours"
    # The mouse is DirectInput's relative motion, two picture pixels a count; Wayland counts in the desktop's units,
    # so 30 x 40 of the monitor's pixels (15 x 20 units) move the cursor 30 x 40 picture pixels, 60 x 80 device pixels.
    local before after
    xdotool mousemove 960 540 sleep 0.5 mousemove 959 539
    sleep 0.5
    shot mouse-before
    before=$(cursor_corner mouse-before)
    xdotool mousemove_relative 30 40
    sleep 0.5
    shot mouse-after
    after=$(cursor_corner mouse-after)
    say "mouse: the cursor from ($before) to ($after) in picture pixels"
    read -r bx by ax ay <<< "$before $after"
    ((ax - bx == 30 && ay - by == 40)) || fail "mouse: the cursor moved by ($((ax - bx)), $((ay - by))), not (30, 40)"
    xdotool mousemove 1919 1079
    finish_with_escape
    echo "PASS ($E2E_TAG): exit status 0"
}

# The picture fills the output it is on (800 x 600, fitted) and the other output shows Weston's desktop.
check_on_output() {
    local name=$1 on=$2 off=$3
    local deadline=$((SECONDS + 30)) seen
    until shot "$name" && [[ "$(screen_pixel "$name" $((on * 800 + 799)) 599)" == "$DARK_BLUE" ]] &&
        [[ "$(screen_pixel "$name" $((on * 800)) 0)" == "$DARK_BLUE" ]] &&
        [[ "$(screen_pixel "$name" $((off * 800 + 400)) 300)" == "$DESKTOP_GREEN" ]]; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for the picture on output $((on + 1))"
        seen="$(screen_pixel "$name" $((on * 800 + 799)) 599) and $(screen_pixel "$name" $((off * 800 + 400)) 300)"
        ((SECONDS < deadline)) || fail_shot "$name" "$name: no picture on output $((on + 1)) alone after 30 s ($seen)"
        sleep 0.3
    done
    say "$name: the picture on output $((on + 1)), the desktop on output $((off + 1))"
}

# Usage: wait_colours <shot name> "<x> <y> <colour>" ...: screenshots until every screen pixel has its colour.
wait_colours() {
    local name=$1
    shift
    local deadline=$((SECONDS + 30)) spot x y colour ready seen
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for $name"
        shot "$name"
        ready=1 seen=""
        for spot in "$@"; do
            read -r x y colour <<< "$spot"
            seen+=" ($x, $y) $(screen_pixel "$name" "$x" "$y")"
            [[ "$(screen_pixel "$name" "$x" "$y")" == "$colour" ]] || ready=0
        done
        ((ready)) && return 0
        ((SECONDS < deadline)) || fail "$name: not the colours expected after 30 s:$seen"
        sleep 0.3
    done
}

# Drags the window under the pointer with Weston's Super+button binding, along row 300 of the screen. The program holds
# the pointer for its own mouse, so its title bar cannot be dragged; and Weston's pointer does not cross from one
# output's X window into the other's, so a drag stays within one output.
super_drag() {
    xdotool mousemove "$1" 300 sleep 0.3 keydown super sleep 0.2 mousedown 1 sleep 0.3 \
        mousemove $((($1 + $2) / 2)) 300 sleep 0.3 mousemove "$2" 300 sleep 0.3 mouseup 1 sleep 0.2 keyup super \
        sleep 0.3 mousemove 799 599
}

run_outputs() {
    require_tools Xvfb xdotool xwd convert weston Xwayland xrandr
    start_xvfb 1600 600
    start_weston_outputs 800 600 1 2 --xwayland
    local xwayland="" deadline=$((SECONDS + 30))
    until xwayland=$(grep -o 'xserver listening on display :[0-9]*' "$E2E_SHOTS/weston-$E2E_TAG.log" |
        grep -o ':[0-9]*$'); do
        ((SECONDS < deadline)) || fail "Weston offered no XWayland display within 30 s"
        sleep 0.2
    done
    say "XWayland on $xwayland: $(DISPLAY=$xwayland xrandr --listmonitors | tail -n +2 | tr -s ' ' | tr '\n' ';')"
    local run=(env -u DISPLAY SDL_VIDEODRIVER=wayland "$program")
    start_program "${run[@]}"
    check_on_output wayland-default 0 1
    finish_with_escape
    start_program "${run[@]}" --display 2
    check_on_output wayland-display2 1 0
    finish_with_escape
    check_refused "^ditessary: there is no monitor 3; the monitors are: 1 .* 800 x 600, 2 .* 800 x 600$" \
        "${run[@]}" --display 3
    # XWayland lists Weston's outputs as RandR monitors; where an X window goes full screen is Weston's own choice
    # there (in these runs not always the window's output), so only the refusal is the program's to check.
    check_refused "^ditessary: there is no monitor 3; the monitors are: 1 'XWAYLAND0.*' 800 x 600, 2 'XWAYLAND1.*' 800 x 600$" \
        env -u WAYLAND_DISPLAY DISPLAY="$xwayland" SDL_VIDEODRIVER=x11 "$program" --display 3
    # Natively: a window Weston opened on the first output and moved to the second goes full screen on the second.
    start_program env -u DISPLAY SDL_VIDEODRIVER=wayland "$program" --window
    wait_colours window "400 300 $DARK_BLUE" "1200 300 $DESKTOP_GREEN"
    super_drag 400 799
    super_drag 900 1300
    wait_colours window-moved "1200 300 $DARK_BLUE" "100 300 $DESKTOP_GREEN"
    say "window-moved: the window moved to output 2"
    key alt+Return
    check_on_output wayland-moved-full 1 0
    finish_with_escape
    echo "PASS ($E2E_TAG): on the output asked for, on both backends; Alt+Enter on the output the window is on"
}

# mutter as GNOME runs it, headless, with its own session bus; its process id comes from inside the bus's session.
start_mutter_monitors() {
    export XDG_RUNTIME_DIR=$E2E_SESSION/xdg
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    export WAYLAND_DISPLAY=ditessary-e2e
    unset DISPLAY
    local pid_file=$E2E_SESSION/mutter.pid
    # shellcheck disable=SC2016  # the inner shell expands them
    dbus-run-session -- sh -c 'echo $$ > "$0"; exec mutter --wayland --headless --wayland-display="$1" \
        --virtual-monitor 1920x1080 --virtual-monitor 1280x1024' "$pid_file" "$WAYLAND_DISPLAY" \
        > "$E2E_SHOTS/mutter-$E2E_TAG.log" 2>&1 &
    DESKTOP_PIDS+=($!)
    local deadline=$((SECONDS + 30))
    until [[ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" && -s "$pid_file" ]]; do
        alive "${DESKTOP_PIDS[-1]}" || fail "mutter ended: $(tail -5 "$E2E_SHOTS/mutter-$E2E_TAG.log")"
        ((SECONDS < deadline)) || fail "mutter did not open its Wayland socket within 30 s"
        sleep 0.2
    done
    DESKTOP_PIDS+=("$(cat "$pid_file")")
    # Its XWayland, for X clients: the display it names, with the key it leaves beside its socket.
    until MUTTER_X=$(grep -o 'Using public X11 display :[0-9]*' "$E2E_SHOTS/mutter-$E2E_TAG.log" | grep -o ':[0-9]*$'); do
        ((SECONDS < deadline)) || fail "mutter offered no X11 display within 30 s"
        sleep 0.2
    done
    MUTTER_XAUTHORITY=$(find "$XDG_RUNTIME_DIR" -maxdepth 1 -name '.mutter-Xwaylandauth.*' | head -1)
}

# "x y width height" of the program's X window on mutter's XWayland, once it is that; fails after the seconds.
wait_x_window() {
    local expected=$1 seconds=$2 deadline=$((SECONDS + $2)) id geometry="none"
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for its X window at $expected"
        if id=$(DISPLAY=$MUTTER_X XAUTHORITY=$MUTTER_XAUTHORITY xdotool search --onlyvisible --pid "$PROGRAM_PID" |
            head -1) && [[ -n "$id" ]]; then
            geometry=$(DISPLAY=$MUTTER_X XAUTHORITY=$MUTTER_XAUTHORITY window_inside "$id")
            [[ "$geometry" == "$expected" ]] && return 0
        fi
        ((SECONDS < deadline)) || fail "the program's X window is at $geometry, not $expected, after $seconds s"
        sleep 0.3
    done
}

close_with_sigterm() {
    kill -TERM "$PROGRAM_PID"
    wait_exit 20
    ((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS after SIGTERM"
}

run_mutter() {
    require_tools mutter dbus-run-session
    start_mutter_monitors
    # Natively, as the automatic choice takes it where DISPLAY is not set.
    start_program "$program"
    wait_said "^window: 1920 x 1080 on monitor 1, 1920 x 1080 pixels$" 60
    say "default: $(grep -E '^(video|window):' "$PROGRAM_LOG" | tr '\n' '|')"
    close_with_sigterm
    start_program "$program" --display 2
    wait_said "^window: 1280 x 1024 on monitor 2, 1280 x 1024 pixels$" 60
    say "--display 2: $(grep '^window:' "$PROGRAM_LOG" | tail -1)"
    close_with_sigterm
    check_refused "^ditessary: there is no monitor 3; the monitors are: 1 .* 1920 x 1080, 2 .* 1280 x 1024$" \
        "$program" --display 3
    # Through mutter's XWayland, whose RandR monitors are mutter's: the X window's own place and size.
    local x11=(env -u WAYLAND_DISPLAY DISPLAY="$MUTTER_X" XAUTHORITY="$MUTTER_XAUTHORITY" SDL_VIDEODRIVER=x11 "$program")
    start_program "${x11[@]}"
    wait_x_window "0 0 1920 1080" 60
    say "X11 default: the window at 0 0 1920 1080"
    close_with_sigterm
    start_program "${x11[@]}" --display 2
    wait_x_window "1920 0 1280 1024" 60
    say "X11 --display 2: the window at 1920 0 1280 1024"
    close_with_sigterm
    check_refused "^ditessary: there is no monitor 3; the monitors are: 1 'XWAYLAND0.*' 1920 x 1080, 2 'XWAYLAND1.*' 1280 x 1024$" \
        "${x11[@]}" --display 3
    echo "PASS ($E2E_TAG): full screen on the monitor asked for, natively and through XWayland"
}

run_small() {
    require_tools Xvfb xdotool xwd convert
    local width=$1 height=$2
    start_xvfb "$width" "$height"
    start_program "$program"
    destination "$width" "$height"
    say "picture expected at ${FIT_W}x${FIT_H}+${FIT_X}+${FIT_Y}"
    local right=$((FIT_X + FIT_W - 1)) bottom=$((FIT_Y + FIT_H - 1)) deadline=$((SECONDS + 60))
    # The picture's four corners are the input-test screen's dark blue: nothing of it is cut.
    until shot full && [[ "$(screen_pixel full "$right" "$bottom")" == "$DARK_BLUE" ]] &&
        [[ "$(screen_pixel full "$FIT_X" "$FIT_Y")" == "$DARK_BLUE" ]] &&
        [[ "$(screen_pixel full "$right" "$FIT_Y")" == "$DARK_BLUE" ]] &&
        [[ "$(screen_pixel full "$FIT_X" "$bottom")" == "$DARK_BLUE" ]]; do
        alive "$PROGRAM_PID" || fail "the program ended before its picture showed"
        ((SECONDS < deadline)) || fail "full: the picture's corners are not all dark blue after 60 s"
        sleep 0.3
    done
    # Bars: every pixel outside the picture black, and the picture's own edge rows and columns not.
    local rects=() rect x y w h black
    ((FIT_Y > 0)) && rects+=("0 0 $width $FIT_Y" "0 $((bottom + 1)) $width $((height - bottom - 1))")
    ((FIT_X > 0)) && rects+=("0 0 $FIT_X $height" "$((right + 1)) 0 $((width - right - 1)) $height")
    for rect in "${rects[@]}"; do
        read -r x y w h <<< "$rect"
        black=$(count_screen_colour full "$BLACK" "$x" "$y" "$w" "$h")
        ((black == w * h)) || fail "full: $((w * h - black)) pixels of the bar ${w}x${h}+$x+$y are not black"
    done
    for rect in "$FIT_X $FIT_Y $FIT_W 1" "$FIT_X $bottom $FIT_W 1" "$FIT_X $FIT_Y 1 $FIT_H" "$right $FIT_Y 1 $FIT_H"; do
        read -r x y w h <<< "$rect"
        black=$(count_screen_colour full "$BLACK" "$x" "$y" "$w" "$h")
        ((black < w * h / 2)) || fail "full: the picture's edge ${w}x${h}+$x+$y is mostly black"
    done
    say "full: the picture whole at ${FIT_W}x${FIT_H}+${FIT_X}+${FIT_Y}, bars black"
    finish_with_escape
    echo "PASS ($E2E_TAG): exit status 0"
}

case "$case" in
    scale2) run_scale2 ;;
    outputs) run_outputs ;;
    mutter) run_mutter ;;
    small) run_small "$4" "$5" ;;
    *) fail "unknown case '$case': scale2, outputs, mutter or small" ;;
esac
