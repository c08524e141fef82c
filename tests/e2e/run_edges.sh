#!/usr/bin/env bash
# The real executable at the edges of its desktop, each with its exit status, the time it took to end and what it
# said on standard error:
#   no display at all (no DISPLAY, no WAYLAND_DISPLAY, no SDL_VIDEODRIVER): status 1 at once, one line that says so;
#   the X server killed while frames are drawn: status 1 within a second, one line that names the display;
#   the window destroyed by another client: closed as a close does, status 0, no X error; on the automatic path and
#   on OpenGL's renderer, for which SDL first makes the window anew on an X window of its own;
#   SIGHUP, SIGTERM and SIGINT (not inherited as ignored): closed, status 0.
# Usage: run_edges.sh <ditessary executable> <folder for logs>
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
e2e_init "$2" edges
require_tools Xvfb xdotool xwd convert

# Milliseconds since the given date +%s%N.
elapsed_ms() { echo $((($(date +%s%N) - $1) / 1000000)); }

# Waits up to the given seconds for the program to end: EXIT_STATUS, and ENDED_MS since the given start.
wait_end() {
    local start=$1 seconds=$2
    while alive "$PROGRAM_PID"; do
        (($(elapsed_ms "$start") < seconds * 1000)) || fail "the program was still running ${seconds} s later"
        sleep 0.01
    done
    ENDED_MS=$(elapsed_ms "$start")
    EXIT_STATUS=0
    wait "$PROGRAM_PID" || EXIT_STATUS=$?
    PROGRAM_PID=""
}

# The program's standard error without its own set-up lines: what the layer said.
layer_lines() { grep -v -e ' OK$' -e '^Joypad Not Found$' -e '^present: ' "$PROGRAM_LOG" || true; }

expect() {
    local what=$1 status=$2 said=$3
    ((EXIT_STATUS == status)) || fail "$what: exit status $EXIT_STATUS, not $status"
    [[ "$(layer_lines)" == "$said" ]] || fail "$what: standard error said '$(layer_lines)', not '$said'"
    say "$what: status $EXIT_STATUS after $ENDED_MS ms${said:+, said '$said'}"
}

# No display: a private runtime folder, as a login gives, so nothing but the program speaks.
runtime=$E2E_SESSION/runtime
mkdir -m 700 "$runtime"
start=$(date +%s%N)
PROGRAM_LOG=$E2E_SHOTS/program-edges-nodisplay.log
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER XDG_RUNTIME_DIR="$runtime" "$program" > "$PROGRAM_LOG" 2>&1 &
PROGRAM_PID=$!
wait_end "$start" 5
expect "no display" 1 "ditessary: no display to show on: DISPLAY is not set and WAYLAND_DISPLAY is not set"

# Starts the program on a fresh X server, with any variables given, and waits for its first frame.
start_drawing() {
    local name=$1
    shift
    PROGRAM_LOG=$E2E_SHOTS/program-edges-$name.log
    start_xvfb 640 480
    picture_centred_in 0 0 640 480
    # Background jobs of a script start with SIGINT ignored, which SDL would rightly leave so; a desktop's
    # launcher starts programs with it in place.
    env --default-signal=SIGINT "$@" "$program" > "$PROGRAM_LOG" 2>&1 &
    PROGRAM_PID=$!
    check_input_test_screen "$name" > /dev/null
}

stop_xvfb() {
    stop_pid "$XVFB_PID"
    XVFB_PID=""
}

start_drawing killed
display=$DISPLAY
kill -KILL "$XVFB_PID"
start=$(date +%s%N)
wait "$XVFB_PID" 2> /dev/null || true
XVFB_PID=""
wait_end "$start" 5
((ENDED_MS < 1000)) || fail "display lost: the program took $ENDED_MS ms to end"
expect "X server killed" 1 "ditessary: the connection to the X server $display was lost"

for renderer in "" opengl; do
    start_drawing "destroyed${renderer:+-$renderer}" ${renderer:+SDL_RENDER_DRIVER=$renderer}
    # A while of frames first, so the destruction meets the program in its stride rather than at its first frame.
    sleep 1
    window=$(xdotool search --name "DirectInput Tessary" | head -1)
    [[ -n "$window" ]] || fail "the program's window was not found"
    start=$(date +%s%N)
    xdotool windowclose "$window"
    wait_end "$start" 5
    expect "window destroyed by another client${renderer:+ on the $renderer renderer}" 0 ""
    stop_xvfb
done

for signal in HUP TERM INT; do
    start_drawing "sig$signal"
    start=$(date +%s%N)
    kill -s "$signal" "$PROGRAM_PID"
    wait_end "$start" 5
    expect "SIG$signal" 0 ""
    stop_xvfb
done
echo "PASS ($E2E_TAG)"
