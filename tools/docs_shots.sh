#!/usr/bin/env bash
# Takes the README's picture of the program in a window on a desktop: IceWM with its taskbar on a private
# 1920 x 1080 X screen, the program started with --window on its input-test screen.
# Usage: tools/docs_shots.sh <ditessary executable> <output PNG>
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/lib.sh"

program=$(realpath "$1")
output=$2
e2e_init "$(mktemp -d "${TMPDIR:-/tmp}/ditessary-docs.XXXXXX")" docs
require_tools Xvfb xdotool xwd convert xprop xwininfo icewm icewmbg

start_xvfb 1920 1080
start_icewm
start_program "$program" --window
wait_window_inside 1280 960 20
picture_at 2 "$WINDOW_X" "$WINDOW_Y"
check_input_test_screen window
# Away from the picture, so neither IceWM's pointer nor a hover highlight lands in it.
xdotool mousemove 1900 20
sleep 0.5
shot window
mkdir -p "$(dirname "$output")"
cp "$(shot_path window)" "$output"
say "wrote $output"
key Escape
wait_exit 10
rm -rf "$E2E_SHOTS"
