#!/usr/bin/env bash
# Runs the built program on a real desktop and checks what a person would see there.
#   icewm:  IceWM with its taskbar on a 1920 x 1080 X screen. Full screen covers the taskbar, the picture at twice
#           its size in the middle with black bars; Alt+Enter gives a 1280 x 960 window inside the usable area with
#           the taskbar and desktop showing; Alt+Enter gives full screen back; the scenes work in both.
#   weston: Weston's desktop shell nested on a 1440 x 1080 X screen, the program on SDL's Wayland backend. Full
#           screen covers the panel, the picture at twice its size with black bars; the compositor knows the window
#           by the menu entry's app id; the scenes work.
# Both end with Escape and exit status 0.
# Usage: run_desktop.sh <ditessary executable> <folder for screenshots> icewm|weston
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
desktop=$3
e2e_init "$2" "$desktop"

# The full-screen picture: twice the size, centred, and nothing but black around it.
check_full_screen() {
    local name=$1 screen_w=$2 screen_h=$3
    picture_centred_in 0 0 "$screen_w" "$screen_h"
    check_input_test_screen "$name"
    wait_black_outside_picture "$name" "$screen_w" "$screen_h" 5
    say "$name: nothing but black around the picture"
}

finish() {
    key Escape
    wait_exit 10
    ((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS"
    echo "PASS ($E2E_TAG): exit status 0 ${EXIT_SECONDS} s after Escape"
}

run_icewm() {
    require_tools Xvfb xdotool xwd convert xprop xwininfo icewm icewmbg
    local screen_w=1920 screen_h=1080
    start_xvfb "$screen_w" "$screen_h"
    start_icewm
    local work_x work_y work_w work_h
    read -r work_x work_y work_w work_h <<< "$(xprop -root _NET_WORKAREA | sed 's/.*= //; s/,//g' | cut -d ' ' -f 1-4)"
    say "usable area ${work_w}x${work_h} at ($work_x, $work_y)"
    ((work_h < screen_h)) || fail "IceWM's taskbar takes no room: usable area ${work_w}x${work_h}"

    start_program "$program"
    wait_window_inside "$screen_w" "$screen_h" 20
    check_full_screen full "$screen_w" "$screen_h"
    say "window state: $(xprop -id "$(program_window)" _NET_WM_STATE | sed 's/.*= //')"
    walk_and_back full

    key alt+Return
    wait_window_inside 1280 960 10
    local x=$WINDOW_X y=$WINDOW_Y
    say "window: inside 1280x960 at ($x, $y)"
    ((x >= work_x && y >= work_y && x + 1280 <= work_x + work_w && y + 960 <= work_y + work_h)) ||
        fail "the window's inside at ($x, $y) leaves the usable area"
    picture_at 2 "$x" "$y"
    check_input_test_screen window 10
    local taskbar_h=$((screen_h - work_y - work_h)) taskbar desktop_shows
    taskbar=$(count_screen_colour window "$TASKBAR_GREY" 0 $((work_y + work_h)) "$screen_w" "$taskbar_h")
    # Its face colour fills half the bar beside the task buttons and the tray, and none of it shows in full screen.
    ((taskbar > screen_w * taskbar_h / 4)) || fail "window: the taskbar shows only $taskbar of its face pixels"
    desktop_shows=$(count_screen_colour window "$DESKTOP_GREEN" 0 0 "$screen_w" "$screen_h")
    ((desktop_shows > 0)) || fail "window: no desktop shows around the window"
    say "window: the taskbar and $desktop_shows desktop pixels show"
    walk_and_back window

    key alt+Return
    wait_window_inside "$screen_w" "$screen_h" 10
    check_full_screen full-again "$screen_w" "$screen_h"
    finish
}

run_weston() {
    require_tools Xvfb xdotool xwd convert weston weston-debug
    local screen_w=1440 screen_h=1080
    start_xvfb "$screen_w" "$screen_h"
    start_weston "$screen_w" "$screen_h"
    # DISPLAY goes, so the program cannot fall back to X; SDL's own app id variables go, so the program's shows.
    start_program env -u DISPLAY -u SDL_VIDEO_WAYLAND_WMCLASS -u SDL_VIDEO_X11_WMCLASS SDL_VIDEODRIVER=wayland \
        "$program"
    check_full_screen full "$screen_w" "$screen_h"
    # The shell's scene graph names each top-level window by its title and its app id.
    local graph app_id
    graph=$(timeout 10 weston-debug scene-graph 2>&1) || fail "weston-debug scene-graph: $graph"
    app_id=$(sed -n "s/.*role xdg_toplevel, PID $PROGRAM_PID, .* top-level window '.*' of \([^,]*\),.*/\1/p" \
        <<< "$graph")
    [[ "$app_id" == org.ditessary.ditessary ]] ||
        fail "Weston knows the program's window by the app id '$app_id': $(grep xdg_toplevel <<< "$graph")"
    say "Weston's scene graph: the window's app id is $app_id"
    walk_and_back full
    finish
}

case "$desktop" in
    icewm) run_icewm ;;
    weston) run_weston ;;
    *) fail "unknown desktop '$desktop': icewm or weston" ;;
esac
