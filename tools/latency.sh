#!/usr/bin/env bash
# Input to screen: how long a pointer motion takes to move the input-test screen's cursor, builds side by side on a
# fresh X screen each (1920 x 1080 unless SCREEN_SIZE says), default settings. frameprobe sends MOTIONS (100)
# relative motions through XTest after random pauses, so they land anywhere within a refresh, and polls the root
# window around the cursor every quarter millisecond; the table gives p50, p95 and the longest, in milliseconds.
# A Windows build (NAME=EXE.exe) runs under Wine in this repository's prefix.
# Usage: tools/latency.sh NAME=EXE [NAME=EXE...]
set -euo pipefail
SCRIPT=latency
SCREEN_SIZE=${SCREEN_SIZE:-1920x1080}
# shellcheck source=tools/xsession.sh
source "$(dirname "$0")/xsession.sh"

[ $# -gt 0 ] || die "usage: tools/latency.sh NAME=EXE [NAME=EXE...]"
MOTIONS=${MOTIONS:-100}
RESULTS=$ROOT/build-cmp/latency.tsv

session_init
build_frameprobe
mkdir -p "$(dirname "$RESULTS")"
: >"$RESULTS"
for pair in "$@"; do
    name=${pair%%=*}
    exe=$(realpath "${pair#*=}")
    start_screen
    if [[ "$exe" == *.exe ]]; then
        wine_prefix
        "$WINE64" "$exe" >"$SESSION_DIR/program.log" 2>&1 &
    else
        "$exe" >"$SESSION_DIR/program.log" 2>&1 &
    fi
    PROGRAM_PID=$!
    # The screen is ready when a cursor square shows; the probe finds it wherever the picture lies.
    sleep 3
    timeout 60 bash -c "until \"$FRAMEPROBE\" latency 1 >/dev/null 2>&1; do sleep 0.5; done" ||
        die "$name: no cursor square on the screen within 60 s"
    sleep 1
    load=$(cut -d' ' -f1 /proc/loadavg)
    "$FRAMEPROBE" latency "$MOTIONS" 7 >"$SESSION_DIR/latency.txt" || die "$name: $(tail -1 "$SESSION_DIR/latency.txt")"
    read -r _ p50 _ p95 _ max < <(tail -1 "$SESSION_DIR/latency.txt")
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$p50" "$p95" "$max" "$load" "$(cut -d' ' -f1 /proc/loadavg)" |
        tee -a "$RESULTS" >&2
    kill "$PROGRAM_PID" 2>/dev/null || true
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
    if [[ "$exe" == *.exe ]]; then timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
    stop_screen
done

echo
echo "$SCREEN_SIZE, default settings, $MOTIONS motions each; milliseconds from the motion to the cursor moved:"
echo
echo "| build | p50 | p95 | max | load average (start, end) |"
echo "|---|---|---|---|---|"
awk -F'\t' '{printf "| %s | %s | %s | %s | %s, %s |\n", $1, $2, $3, $4, $5, $6}' "$RESULTS"
say "every run: ${RESULTS#"$ROOT"/}"
