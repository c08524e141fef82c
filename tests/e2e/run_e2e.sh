#!/usr/bin/env bash
# Runs the built program in a real X server with no window manager and checks what a person would see:
# the input-test screen, the mouse cursor following the mouse, the walk scene, the way back, Escape.
# Usage: run_e2e.sh <ditessary executable> <folder for screenshots> <screen width> <screen height>
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
screen_w=$3
screen_h=$4
e2e_init "$2" "${screen_w}x${screen_h}"
require_tools Xvfb xdotool xwd convert compare

start_xvfb "$screen_w" "$screen_h"
# The picture is scaled by the largest whole factor that fits and centred.
picture_centred_in 0 0 "$screen_w" "$screen_h"

# Top-left corner of the white cursor square in picture pixels, found as the white pixels' bounding box outside
# the read-out lines and the frame-rate row; prints "x y".
cursor_corner() {
    local s=$PIC_SCALE box
    box=$(convert "$(shot_path "$1")" -fill black +opaque white -fill black \
        -draw "rectangle $((PIC_X + 190 * s)),$((PIC_Y + 40 * s)),$((PIC_X + 400 * s)),$((PIC_Y + 90 * s))" \
        -draw "rectangle 0,0,$((screen_w - 1)),$((PIC_Y + 16 * s - 1))" -trim -format "%w %h %X %Y" info:)
    read -r w h x y <<< "$box"
    # The box's bottom-right is the cursor's; the square is 20 x 20.
    echo "$(((x + w - PIC_X) / s - 20)) $(((y + h - PIC_Y) / s - 20))"
}

start_program "$program"
check_input_test_screen title

# Xvfb's OpenGL would be Mesa's software rasteriser, so the picture goes into the window's own framebuffer.
chosen=$(grep '^present: ' "$PROGRAM_LOG" || true)
[[ "$chosen" == "present: into the window's framebuffer, since the X server offers no DRI, so OpenGL would be a software rasteriser" ]] ||
    fail "the presentation path: '$chosen'"

# The mouse: the pointer goes into the window first, then moves relative; the cursor moves two pixels a count.
xdotool mousemove $((screen_w / 2)) $((screen_h / 2))
sleep 0.5
shot mouse-before
read -r before_x before_y <<< "$(cursor_corner mouse-before)"
xdotool mousemove_relative 30 40
sleep 0.5
shot mouse-after
read -r after_x after_y <<< "$(cursor_corner mouse-after)"
say "cursor moved from ($before_x, $before_y) to ($after_x, $after_y)"
((after_x - before_x == 60 && after_y - before_y == 80)) ||
    fail "the cursor moved by ($((after_x - before_x)), $((after_y - before_y))), not (60, 80)"

walk_and_back screen

if ((PIC_SCALE >= 2)); then
    # Every picture pixel is a square block of the scale's size.
    size="$((640 * PIC_SCALE))x$((480 * PIC_SCALE))"
    convert "$(shot_path screen-back)" -crop "$size+${PIC_X}+${PIC_Y}" +repage "$(shot_path blocks)"
    convert "$(shot_path blocks)" -sample "640x480!" -sample "$size!" "$(shot_path resampled)"
    differing=$(compare -metric AE "$(shot_path blocks)" "$(shot_path resampled)" null: 2>&1 || true)
    [[ "$differing" == "0" ]] || fail "$differing screen pixels break the ${PIC_SCALE}x${PIC_SCALE} blocks"
    say "every picture pixel is a ${PIC_SCALE}x${PIC_SCALE} block"
fi

key Escape
wait_exit 10
((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS"
echo "PASS ($E2E_TAG): exit status 0 ${EXIT_SECONDS} s after Escape"
