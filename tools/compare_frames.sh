#!/usr/bin/env bash
# Drives the Linux build and the Windows build under Wine through the same keys and mouse moves on identical
# 640 x 480 x 24 X screens, takes screenshots at the same points and compares them pixel for pixel. The text lines
# and the frame-rate counter are counted apart (other rasterisers, other frame rates); everything else must match.
# Writes docs/compare.png: per screen the Linux frame, the Windows frame and their difference. The two builds' debug
# output must match line for line too.
# Usage: tools/compare_frames.sh [LINUX_EXE] [WINDOWS_EXE]   (defaults: build/ditessary, build-win/ditessary.exe)
set -euo pipefail
SCRIPT=compare-frames
# shellcheck source=tools/xsession.sh
source "$(dirname "$0")/xsession.sh"

LINUX_EXE=$(realpath "${1:-$ROOT/build/ditessary}")
WINDOWS_EXE=$(realpath "${2:-$ROOT/build-win/ditessary.exe}")
SHOTS=$ROOT/build-cmp/compare
SHEET=$ROOT/docs/compare.png
[ -x "$LINUX_EXE" ] || die "no Linux build at $LINUX_EXE (run 'make build')"
[ -f "$WINDOWS_EXE" ] || die "no Windows build at $WINDOWS_EXE (run 'make windows')"

# The same script for both builds. Both put the pointer in the middle of the screen, and Wine's DirectInput counts
# that first jump as motion while ours does not, so the cursor is first pushed into the bottom-right corner, where
# both clamp it, and then moved back by a fixed amount. The sprite moves one pixel per frame, so the walk is shown
# at its first frames, after a short step with the sprite's row masked, and after it has left the field.
drive() {
    local side=$1 dir=$SHOTS/$1
    mkdir -p "$dir"
    start_screen
    if [ "$side" = linux ]; then
        start_linux_program "$LINUX_EXE"
    else
        start_windows_program "$WINDOWS_EXE"
    fi
    wait_screen "input-test screen ($side)" 180 "${TITLE_SCREEN[@]}"
    sleep 1
    xdotool mousemove_relative -- 320 240
    sleep 0.3
    xdotool mousemove_relative -- -100 -80
    sleep 0.5
    screenshot "$dir/input-test" >/dev/null

    hold_until space "walk scene ($side)" 60 "${WALK_SCREEN[@]}"
    sleep 0.5
    screenshot "$dir/walk" >/dev/null

    # A fifth of a second stays below the 208 frames that reach the edge even at 1000 frames a second.
    press Right 0.2
    sleep 0.3
    screenshot "$dir/walk-step" >/dev/null

    hold_until Right "input-test screen after the walk ($side)" 120 "${TITLE_SCREEN[@]}"
    sleep 0.5
    screenshot "$dir/input-test-again" >/dev/null

    xdotool key Escape
    wait_exit 60
    [ "$EXIT_STATUS" = 0 ] || die "the $side build ended with status $EXIT_STATUS after Escape"
    debug_lines "$SESSION_DIR/program.log" >"$dir/debug.txt"
    stop_screen
    if [ "$side" = windows ]; then timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
}

session_init
build_frameprobe
drive linux
wine_prefix
drive windows

say "differing pixels per screen (Linux build against the Windows build under Wine):"
status=0
"$FRAMEPROBE" compare "$SESSION_DIR/compare.ppm" \
    --screen input-test "$SHOTS"/{linux,windows}/input-test.xwd \
    --screen walk "$SHOTS"/{linux,windows}/walk.xwd \
    --screen walk-step "$SHOTS"/{linux,windows}/walk-step.xwd --mask 150,400,630,448 \
    --screen input-again "$SHOTS"/{linux,windows}/input-test-again.xwd || status=$?
[ $status -le 1 ] || die "the comparison itself failed"
if diff -u "$SHOTS"/{linux,windows}/debug.txt >"$SESSION_DIR/debug.diff"; then
    say "debug output: the same $(wc -l <"$SHOTS/linux/debug.txt") lines from both builds"
else
    say "debug output differs (- Linux, + Windows):"
    tail -n +3 "$SESSION_DIR/debug.diff" >&2
    status=1
fi
mkdir -p "$(dirname "$SHEET")"
convert "$SESSION_DIR/compare.ppm" "png:$SHEET" || die "cannot write $SHEET"
say "wrote ${SHEET#"$ROOT"/} (rows: the screens above; columns: Linux, Windows, difference); screenshots in ${SHOTS#"$ROOT"/}/"
exit $status
