#!/usr/bin/env bash
# One case of the desktop matrix: the built program on one desktop, through one SDL backend, on one presentation
# path, checked as a person would see it there.
#   desktops on X11 (Xvfb): bare (no window manager), icewm, openbox, xfwm4; stale-gone and stale-unnamed (a window
#     manager's record left on the root: naming a window that is gone, or one that does not name itself); bare-8bit
#     and bare-16bit (visuals of 1 and 2 bytes a pixel);
#   Wayland compositors: mutter and kwin (headless), sway (headless, as an unprivileged user), weston (nested on Xvfb);
#   backends: x11 on Xvfb; on a compositor wayland (SDL's Wayland backend, no DISPLAY) or xwayland (SDL's default
#     with the compositor's Xwayland);
#   paths: auto (the program's own choice), opengl and software (SDL_RENDER_DRIVER), framebuffer
#     (SDL_FRAMEBUFFER_ACCELERATION=0); fake-dri3, fake-nvidia, fake-dri, fake-none (the automatic choice on a
#     server the preloaded shim makes offer DRI3 with a render node, NVIDIA's GLX, DRI3 with no render node, or
#     neither).
# Every case: the standard error line names the path the case expects; the program is alive 3 s after its start;
# the picture fills the screen (centred at the largest whole scale, black around it) where the output can be read,
# else the compositor gave the window the output's size; Space walks and the way back works where keys can be sent;
# Escape, or SIGTERM where no key reaches the program, ends it with status 0. On X11 without a compositor a window
# mapped over the bars and removed leaves them black within a second; with a window manager, and with none, Alt+Enter
# gives a window that, frame included, lies centred inside the usable area at the largest whole scale that fits, is
# not kept above others, shows the desktop (the scenes work in it on the automatic path), and Alt+Enter gives full screen
# back.
# Usage: run_matrix.sh <ditessary executable> <folder for screenshots and logs> <desktop> <backend> <path> [shim]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
desktop=$3
backend=$4
path=$5
shim=${6:-}
e2e_init "$2" "$desktop-$backend-$path"
started_ns=$(date +%s%N)

# Each case leaves one line for the README's table in result-<tag>.txt: desktop, screen, backend, path, the path
# taken, the result, its seconds, and the checks the desktop allowed.
CHECKS=()
PATH_TAKEN=""
record() {
    local result=$1
    printf '%s|%s|%s|%s|%s|%s|%s|%s\n' "$desktop" "${screen_w}x${screen_h}" "$backend" "$path" "${PATH_TAKEN:--}" "$result" \
        "$((($(date +%s%N) - started_ns + 500000000) / 1000000000))" "$(checks_done)" \
        > "$E2E_SHOTS/result-$E2E_TAG.txt"
}
passed() { CHECKS+=("$1"); }
checks_done() {
    local joined
    joined=$(IFS=,; echo "${CHECKS[*]}")
    echo "${joined//,/, }"
}
fail() {
    echo "FAIL ($E2E_TAG): $*" >&2
    record "fails: $*"
    exit 1
}
need_tools Xvfb xdotool xwd convert xprop xwininfo xdpyinfo /usr/bin/python3

# What the program is started with: its environment for the path and the backend.
program_env=()
case "$path" in
    auto) ;;
    opengl | software) program_env+=(SDL_RENDER_DRIVER="$path") ;;
    framebuffer) program_env+=(SDL_FRAMEBUFFER_ACCELERATION=0) ;;
    fake-dri3 | fake-nvidia | fake-dri | fake-none)
        [[ -n "$shim" && -f "$shim" ]] || fail "the fake-GPU shim was not built ('$shim')"
        program_env+=(LD_PRELOAD="$shim" DITESSARY_FAKE_GPU="${path#fake-}")
        ;;
    *) fail "unknown path '$path'" ;;
esac

# The screen's size, by desktop and path: the window managers take 1920 x 1080 and 1280 x 1024 in turn, so each
# meets both with both presentation paths.
screen_w=1920
screen_h=1080
case "$desktop-$path" in
    icewm-opengl | icewm-framebuffer | openbox-opengl | openbox-framebuffer | xfwm4-opengl | xfwm4-framebuffer | \
        bare-opengl | bare-framebuffer) screen_h=1024 screen_w=1280 ;;
esac

# --- the desktop ---

x11_server=true   # the program draws straight into an X server without a compositor
window_manager="" # an X11 window manager whose window mode is checked
readable=true     # what shows can be captured
keys=true         # keys reach the program
program_display=""
program_x_authority=""

case "$desktop" in
    bare | stale-gone | stale-unnamed | bare-8bit | bare-16bit)
        [[ "$backend" == x11 ]] || fail "$desktop is an X11 desktop"
        depth=24
        [[ "$desktop" == bare-8bit ]] && depth=8 readable=false
        [[ "$desktop" == bare-16bit ]] && depth=16 COLOUR_TOLERANCE=8
        start_xvfb "$screen_w" "$screen_h" "$depth"
        x11_desktop_colour "$DESKTOP_GREEN"
        [[ "$desktop" == bare ]] && window_manager=none
        if [[ "$desktop" == stale-* ]]; then
            "${XWINDOWS[@]}" stale-wm "${desktop#stale-}" > /dev/null || fail "could not leave a window manager's record"
            ! x11_wm_window > /dev/null || fail "the stale record reads as a window manager"
            say "the root names $(xprop -root _NET_SUPPORTING_WM_CHECK | sed 's/.*# //'), which is no window manager"
        fi
        ;;
    icewm | openbox | xfwm4)
        [[ "$backend" == x11 ]] || fail "$desktop is an X11 desktop"
        start_xvfb "$screen_w" "$screen_h"
        window_manager=$desktop
        if [[ "$desktop" == icewm ]]; then
            need_tools icewm icewmbg
            start_icewm
        else
            "start_$desktop"
            x11_desktop_colour "$DESKTOP_GREEN"
            start_x11_panel 32
        fi
        ;;
    weston)
        start_xvfb "$screen_w" "$screen_h"
        start_weston "$screen_w" "$screen_h"
        x11_server=false
        ;;
    mutter | kwin | sway)
        "start_$desktop" "$screen_w" "$screen_h"
        x11_server=false
        unset DISPLAY
        if [[ "$backend" == xwayland ]]; then
            # Keys through Xwayland's XTEST. The root of a rootless Xwayland shows nothing: the program's own window
            # holds its pixels, where the compositor offers no capture of its own.
            export DISPLAY=$XWAYLAND_DISPLAY XAUTHORITY=$XWAYLAND_AUTHORITY
            [[ "$desktop" == sway ]] || CAPTURE=xwindow
        elif [[ "$desktop" == sway ]]; then
            KEYS=wtype
        else
            # Neither compositor lets a client read its output or send keys without a session of its own.
            readable=false
            keys=false
        fi
        ;;
    *) fail "unknown desktop '$desktop'" ;;
esac
say "desktop up after $((($(date +%s%N) - started_ns) / 1000000)) ms"

case "$backend" in
    x11) ;;
    wayland)
        [[ -n "${WAYLAND_DISPLAY:-}" ]] || fail "no Wayland compositor for the wayland backend"
        # DISPLAY goes, so SDL cannot fall back to X; the compositor's messages show what it configured.
        program_env=(-u DISPLAY -u XAUTHORITY -u SDL_VIDEO_WAYLAND_WMCLASS SDL_VIDEODRIVER=wayland "${program_env[@]}")
        $readable || program_env+=(WAYLAND_DEBUG=client)
        ;;
    xwayland)
        [[ -n "$XWAYLAND_DISPLAY" ]] || fail "no Xwayland for the xwayland backend"
        # As a desktop session has it: both displays set, and SDL takes X11 by default.
        program_display=$XWAYLAND_DISPLAY
        program_x_authority=$XWAYLAND_AUTHORITY
        program_env=(DISPLAY="$program_display" XAUTHORITY="$program_x_authority" "${program_env[@]}")
        ;;
    *) fail "unknown backend '$backend'" ;;
esac

# --- the checks ---

present_line() { grep -a -m 1 '^present: ' "$PROGRAM_LOG" 2> /dev/null || true; }

# The path the automatic choice must take, from what the server offers, asked independently of the program.
expected_path() {
    case "$path" in
        opengl | software | fake-dri3 | fake-nvidia) echo renderer ;;
        framebuffer | fake-dri | fake-none) echo framebuffer ;;
        auto)
            if [[ "$backend" == wayland ]]; then
                echo renderer
                return
            fi
            local extensions render_node=false
            extensions=$(DISPLAY=${program_display:-$DISPLAY} XAUTHORITY=${program_x_authority:-${XAUTHORITY:-}} \
                xdpyinfo -queryExtensions | sed -n 's/^ *\([A-Za-z0-9-]*\)  *(opcode.*/\1/p')
            for node in /dev/dri/renderD*; do [[ -r "$node" && -w "$node" ]] && render_node=true; done
            if grep -qx NV-GLX <<< "$extensions"; then
                echo renderer
            elif grep -qxE 'DRI3|DRI2' <<< "$extensions" && $render_node; then
                echo renderer
            else
                echo framebuffer
            fi
            ;;
    esac
}

# Given both a Wayland compositor and its Xwayland, as a desktop session gives them, the program takes SDL's Wayland
# backend where a GPU render node opens (the fake GPU's dri3 makes one open) and XWayland otherwise; the line that
# says which must agree with what the machine offers, asked independently of the program.
check_backend_line() {
    local render_node=false wanted line
    [[ "$path" == fake-dri3 ]] && render_node=true
    for node in /dev/dri/renderD*; do [[ -r "$node" && -w "$node" ]] && render_node=true; done
    wanted="video: SDL's x11 backend"
    $render_node && wanted="video: SDL's wayland backend"
    line=$(grep -a -m 1 '^video: ' "$PROGRAM_LOG" 2> /dev/null || true)
    [[ "$line" == "$wanted"* ]] || fail "the backend: '$line', not '$wanted, ...'"
    say "$line"
    passed "backend line"
}

check_present_line() {
    local deadline=$((SECONDS + 15)) line
    until line=$(present_line) && [[ -n "$line" ]]; do
        alive "$PROGRAM_PID" || fail "the program ended before it chose a path"
        ((SECONDS < deadline)) || fail "no 'present:' line within 15 s"
        sleep 0.1
    done
    local expected wanted
    expected=$(expected_path)
    wanted="present: into the window's framebuffer"
    [[ "$expected" == renderer ]] && wanted="present: through an SDL renderer"
    [[ "$line" == "$wanted"* ]] || fail "the path: '$line', not '$wanted, ...'"
    say "$line"
    PATH_TAKEN=$expected
    passed "path line"
}

# The full-screen picture: centred at the largest whole scale, and nothing but black around it.
check_full_screen() {
    local name=$1
    picture_centred_in 0 0 "$screen_w" "$screen_h"
    check_input_test_screen "$name"
    wait_black_outside_picture "$name" "$screen_w" "$screen_h" 5
    say "$name: nothing but black around the picture"
    [[ "$name" != full ]] || passed "full screen ($CAPTURE)"
}

# On an 8-bit visual SDL 2 knows no pixel format for the window, so neither its framebuffer nor any of its renderers
# can draw there. The program says so on one line, not once a frame, and stays paced and closable: over 3 s no second
# line comes, and it uses a small part of a core, where an unpaced loop of failing presents would take all of one.
check_refused_once() {
    local refused="present: the picture does not reach the window" deadline=$((SECONDS + 10)) before after lines
    until grep -aq "^$refused" "$PROGRAM_LOG"; do
        alive "$PROGRAM_PID" || fail "the program ended before it said the picture does not reach the window"
        ((SECONDS < deadline)) || fail "no '$refused' line within 10 s"
        sleep 0.1
    done
    before=$(cut -d ' ' -f 14,15 "/proc/$PROGRAM_PID/stat" | tr ' ' '+')
    sleep 3
    after=$(cut -d ' ' -f 14,15 "/proc/$PROGRAM_PID/stat" | tr ' ' '+')
    lines=$(grep -ac "^present: the picture" "$PROGRAM_LOG")
    ((lines == 1)) || fail "the refusal said $lines times in 3 s: $(grep -a '^present: the picture' "$PROGRAM_LOG" | head -3)"
    local ticks=$(((after) - (before))) per_second
    per_second=$(getconf CLK_TCK)
    # Half a core over the 3 s; paced frames that fail cost about 1 % here.
    ((ticks * 2 < 3 * per_second)) || fail "the program took $ticks ticks of $((3 * per_second)) in 3 s: not paced"
    say "refused once ('$(grep -a "^$refused" "$PROGRAM_LOG")'), $ticks ticks of CPU in 3 s"
    passed "refused once and paced"
}

# Where the output cannot be read: the size the compositor configured the window with, full screen, and the buffers
# the program sent at that size, from the protocol messages the program logs.
check_configured() {
    local deadline=$((SECONDS + 15)) configure buffer
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for its window"
        configure=$(grep -a -o "xdg_toplevel@[0-9]*\.configure($screen_w, $screen_h, array\[[0-9]*\])" "$PROGRAM_LOG" |
            tail -1 || true)
        buffer=$(grep -a -c -E "create_buffer\(new id wl_buffer@[0-9]+, [0-9]+, $screen_w, $screen_h," "$PROGRAM_LOG" ||
            true)
        [[ -n "$configure" ]] && ((buffer > 0)) && break
        ((SECONDS < deadline)) ||
            fail "no ${screen_w}x${screen_h} configure and buffer within 15 s ($(grep -a -o 'xdg_toplevel@[0-9]*\.configure([^)]*)' "$PROGRAM_LOG" | tail -1))"
        sleep 0.2
    done
    grep -a -q 'xdg_toplevel@[0-9]*\.set_fullscreen' "$PROGRAM_LOG" || fail "the window never asked for full screen"
    say "the compositor configured ${screen_w}x${screen_h} ($configure), $buffer buffers of that size"
    passed "full-screen size configured"
}

# Through Xwayland where the root shows nothing: the program's window has the output's size.
check_window_is_output() {
    wait_window_inside "$screen_w" "$screen_h" 15
    say "the program's X window is ${screen_w}x${screen_h} at ($WINDOW_X, $WINDOW_Y)"
}

# A window over the bars, as a menu or a notification is, then gone: within a second the bars are black again.
check_over_bars() {
    local x=8 y=4 w=200 h=24
    ((PIC_Y >= y + h || PIC_X >= x + w)) || fail "no bar at ($x, $y) to cover"
    start_desktop over "${XWINDOWS[@]}" over "$x" "$y" "$w" "$h" "$OVER_MAGENTA"
    local over_pid=${DESKTOP_PIDS[-1]} deadline=$((SECONDS + 5))
    # Shown when none of the bar under it is black: xwd reads a window of another depth than the program's in
    # colours of its own, so its colour is not looked for.
    until [[ "$(count_now "$BLACK" "$x" "$y" "$w" "$h")" == 0 ]]; do
        desktop_up over "$deadline"
        sleep 0.1
    done
    stop_pid "$over_pid"
    local gone_ns black
    gone_ns=$(date +%s%N)
    while :; do
        shot over-gone
        black=$(count_screen_colour over-gone "$BLACK" "$x" "$y" "$w" "$h")
        ((black == w * h)) && break
        (($(date +%s%N) - gone_ns < 1000000000)) ||
            fail "over-gone: $((w * h - black)) of the ${w}x${h} bar pixels a window covered are not black 1 s after it went"
        sleep 0.05
    done
    say "over-gone: the bar under a removed window black again after $((($(date +%s%N) - gone_ns) / 1000000)) ms"
    passed "bars repainted"
}

# Alt+Enter's window: inside at the largest whole scale of 640 x 480 that fits the usable area with the window
# manager's frame (1x at the least), the frame inside the usable area, not kept above others, with the desktop beside
# it; the scenes work in it.
check_window_mode() {
    local work_x work_y work_w work_h
    read -r work_x work_y work_w work_h <<< "$(work_area)"
    say "usable area ${work_w}x${work_h} at ($work_x, $work_y)"
    key alt+Return
    local deadline=$((SECONDS + 10)) id geometry="none" x y w h left=0 right=0 top=0 bottom=0 scale fits=false
    # The window is taken once it fits and has kept its place for half a second: the program may still correct it
    # once the window manager has told the frame.
    local fitting=""
    while :; do
        alive "$PROGRAM_PID" || fail "the program ended while waiting for its window"
        if id=$(program_window); then
            read -r x y w h <<< "$(window_inside "$id")"
            geometry="${w}x${h} at ($x, $y)"
            if [[ "$window_manager" != none ]]; then
                read -r left right top bottom <<< "$(xprop -id "$id" _NET_FRAME_EXTENTS 2> /dev/null |
                    sed -n 's/.*= //p' | tr -d ',')"
                left=${left:-0} right=${right:-0} top=${top:-0} bottom=${bottom:-0}
                geometry+=", frame $left $right $top $bottom"
            fi
            scale=$((((work_w - left - right) / 640) < ((work_h - top - bottom) / 480) ?
                ((work_w - left - right) / 640) : ((work_h - top - bottom) / 480)))
            ((scale >= 1)) || scale=1
            if ((w == 640 * scale && h == 480 * scale && x - left >= work_x && y - top >= work_y &&
                x + w + right <= work_x + work_w && y + h + bottom <= work_y + work_h)); then
                if [[ "$fitting" == "$geometry" ]]; then
                    fits=true
                    break
                fi
                fitting=$geometry
                sleep 0.4
            else
                fitting=""
            fi
        fi
        ((SECONDS < deadline)) || break
        sleep 0.1
    done
    $fits || fail_shot window-misfit "Alt+Enter's window does not fit the usable area at ${scale:-?}x: $geometry"
    say "window: inside ${w}x${h} at ($x, $y), frame (left $left, right $right, top $top, bottom $bottom) inside the usable area"
    local centre_off_x=$(((x - left + (w + left + right) / 2) - (work_x + work_w / 2)))
    local centre_off_y=$(((y - top + (h + top + bottom) / 2) - (work_y + work_h / 2)))
    # Centred, but for the half pixel an odd difference leaves.
    ((centre_off_x >= -1 && centre_off_x <= 1 && centre_off_y >= -1 && centre_off_y <= 1)) ||
        fail "window: the frame's centre is ($centre_off_x, $centre_off_y) from the usable area's"
    say "window: the frame's centre is ($centre_off_x, $centre_off_y) from the usable area's"
    if [[ "$window_manager" != none ]]; then
        local state
        state=$(xprop -id "$id" _NET_WM_STATE | sed 's/.*= //')
        [[ "$state" != *_NET_WM_STATE_ABOVE* ]] || fail "window: kept above others ($state)"
        say "window: state '$state', not kept above"
        passed "not above"
    fi
    picture_at "$scale" "$x" "$y"
    check_input_test_screen window 10
    local desktop_shows
    desktop_shows=$(count_screen_colour window "$DESKTOP_GREEN" 0 0 "$screen_w" "$screen_h")
    ((desktop_shows > 0)) || fail "window: no desktop shows around the window"
    if [[ "$window_manager" != none && "$work_h" -lt "$screen_h" ]]; then
        local bar_colour=$PANEL_ORANGE bar_h=$((screen_h - work_y - work_h)) bar
        [[ "$window_manager" == icewm ]] && bar_colour=$TASKBAR_GREY
        bar=$(count_screen_colour window "$bar_colour" 0 $((work_y + work_h)) "$screen_w" "$bar_h")
        # IceWM's face colour fills half its bar beside the task buttons and the tray; the runs' own panel is whole.
        ((bar > screen_w * bar_h / 4)) || fail "window: the panel shows only $bar of its pixels"
        say "window: the panel and $desktop_shows desktop pixels show"
    fi
    passed "window centred in the work area (${w}x${h})"
    # The scenes in the window once for each window manager, on its automatic path.
    [[ "$path" != auto ]] || walk_and_back window
    key alt+Return
    wait_window_inside "$screen_w" "$screen_h" 10
    check_full_screen full-again
    passed "full screen again"
}

# On Weston natively: the shell's scene graph names each top-level window by its title and its app id, which must be
# the menu entry's, so docks and switchers tie the window to it.
check_app_id() {
    need_tools weston-debug
    local graph app_id
    graph=$(timeout 10 weston-debug scene-graph 2>&1) || fail "weston-debug scene-graph: $graph"
    app_id=$(sed -n "s/.*role xdg_toplevel, PID $PROGRAM_PID, .* top-level window '.*' of \([^,]*\),.*/\1/p" \
        <<< "$graph")
    [[ "$app_id" == org.ditessary.ditessary ]] ||
        fail "Weston knows the program's window by the app id '$app_id': $(grep xdg_toplevel <<< "$graph")"
    say "Weston's scene graph: the window's app id is $app_id"
    passed "app id"
}

finish() {
    if $keys; then
        key Escape
    else
        kill -TERM "$PROGRAM_PID"
    fi
    wait_exit 10
    ((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS"
    local how=Escape
    $keys || how=SIGTERM
    passed "$how → 0"
    record passes
    echo "PASS ($E2E_TAG): $PATH_TAKEN path, exit status 0 ${EXIT_SECONDS} s after $how," \
        "$((($(date +%s%N) - started_ns + 500000000) / 1000000000)) s in all"
}

# --- the run ---

program_started_ns=$(date +%s%N)
# Background jobs of a script start with SIGINT ignored; a desktop's launcher starts programs with it in place. The
# mark lets the clean-up find what the program starts in turn (a D-Bus session that libdbus launches for it).
start_program env --default-signal=SIGINT "${program_env[@]}" "$E2E_MARK" "$program"
check_present_line
[[ "$backend" != xwayland ]] || check_backend_line
if [[ "$desktop" == bare-8bit ]]; then
    check_refused_once
elif ! $readable; then
    check_configured
elif [[ "$CAPTURE" == xwindow ]]; then
    check_window_is_output
    check_full_screen full
else
    check_full_screen full
fi
remaining_ms=$((3000 - ($(date +%s%N) - program_started_ns) / 1000000))
((remaining_ms <= 0)) || sleep "$((remaining_ms / 1000)).$(printf '%03d' $((remaining_ms % 1000)))"
alive "$PROGRAM_PID" || fail "the program ended within 3 s of its start"
say "alive 3 s after its start"
passed "alive 3 s"
[[ "$desktop-$backend" != weston-wayland ]] || check_app_id
if $keys && $readable; then
    walk_and_back full
    passed "walk and back"
fi
if [[ -n "$window_manager" ]]; then
    check_window_mode
fi
if $x11_server && $readable; then
    check_over_bars
fi
finish
