#!/usr/bin/env bash
# Start-up time (process start to the first frame handed to the display) and peak resident memory (VmHWM) of
# the real executable, headless on SDL's dummy driver without vsync, over several runs; prints each run and the
# medians. Usage: bench/startup.sh EXECUTABLE [RUNS]   (RUNS: 11 unless given)
#
# How the first frame is seen: a probe library preloaded into the process passes SDL_RenderPresent on and notes
# the wall-clock time of its first call; the start is bash's $EPOCHREALTIME just before the process is started, so
# the fork and exec count against the program. After the first frame the program runs on for half a second, its
# VmHWM is read, and SIGTERM ends it the way a desktop's close does (SDL turns it into a quit event, the window
# closes, the program tears down); the run counts only if it then exits with status 0.
set -euo pipefail

executable=${1:?usage: bench/startup.sh EXECUTABLE [RUNS]}
runs=${2:-11}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

probe="$work/first_present_probe.so"
"${CC:-cc}" -shared -fPIC -O2 -o "$probe" "$here/first_present_probe.c" -ldl

median() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: > "$work/ms"
: > "$work/kb"
for run in $(seq 1 "$runs"); do
    log="$work/run$run.log"
    : > "$log"
    start=$EPOCHREALTIME
    SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy SDL_RENDER_VSYNC=0 LD_PRELOAD="$probe" "$executable" 2> "$log" &
    pid=$!
    for _ in $(seq 1 1000); do
        grep -q '^first-present ' "$log" && break
        kill -0 "$pid" 2> /dev/null || break
        sleep 0.01
    done
    if ! grep -q '^first-present ' "$log"; then
        kill -TERM "$pid" 2> /dev/null || true
        wait "$pid" || true
        echo "run $run: no frame was presented"; cat "$log"; exit 1
    fi
    sleep 0.5
    peak=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run $run: exit status $status"; cat "$log"; exit 1
    fi
    presented=$(awk '/^first-present / { print $2; exit }' "$log")
    ms=$(awk -v a="$start" -v b="$presented" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
    echo "run $run: first frame after $ms ms, peak resident $peak kB"
    echo "$ms" >> "$work/ms"
    echo "$peak" >> "$work/kb"
done
echo "median of $runs runs: first frame after $(median < "$work/ms") ms, peak resident $(median < "$work/kb") kB"
