#!/usr/bin/env bash
# Start-up time, CPU time per frame and peak memory of the Linux build beside the Windows build under Wine, each on
# its own fresh 640 x 480 x 24 X screen with vsync off (SDL_RENDER_VSYNC=0 for ours; Wine's flip never waits).
# Wine runs twice: with its default Direct3D renderer (OpenGL, here the software rasteriser) and with renderer=gdi.
#   start-up: from fork to the first input-test frame on screen, polled every millisecond by frameprobe
#   CPU per frame: utime + stime over WINDOW_S seconds of the walk scene, divided by the frames shown in them, read
#                  off the frame-rate counter once a second: the program's process and the X server (Xvfb), which
#                  takes every frame the program sends and copies it again (Wine: plus the wineserver); the X
#                  server's part is given on its own too
#   peak memory: VmHWM at the end of the run (Wine: the program's process plus the wineserver)
# Usage: tools/compare_speed.sh [LINUX_EXE] [WINDOWS_EXE]   RUNS (5) and WINDOW_S (8) may be set in the environment.
set -euo pipefail
SCRIPT=compare-speed
# shellcheck source=tools/xsession.sh
source "$(dirname "$0")/xsession.sh"

LINUX_EXE=$(realpath "${1:-$ROOT/build/ditessary}")
WINDOWS_EXE=$(realpath "${2:-$ROOT/build-win/ditessary.exe}")
RUNS=${RUNS:-5}
WINDOW_S=${WINDOW_S:-8}
RESULTS=$ROOT/build-cmp/speed.tsv
[ -x "$LINUX_EXE" ] || die "no Linux build at $LINUX_EXE (run 'make build')"
[ -f "$WINDOWS_EXE" ] || die "no Windows build at $WINDOWS_EXE (run 'make windows')"
TICK_MS=$((1000 / $(getconf CLK_TCK)))

# utime + stime of a process, all its threads, in clock ticks.
cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }
peak_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }

# The wineserver of our prefix: it works in a directory named after the prefix's device and inode (under
# /tmp/.wine-UID upstream, a private /tmp/wine-XXXXXX on Debian).
wineserver_pid() {
    local dir p
    dir=/server-$(stat -c '%d %i' "$WINEPREFIX" | awk '{printf "%x-%x", $1, $2}')
    for p in /proc/[0-9]*; do
        if [[ "$(readlink "$p/cwd" 2>/dev/null)" == *"$dir" && "$(readlink "$p/exe" 2>/dev/null)" == *wineserver* ]]; then
            echo "${p#/proc/}"
            return
        fi
    done
    die "cannot find the wineserver of $WINEPREFIX"
}

# One run of one side; appends "side run startup_ms cpu_ms_per_frame fps peak_kb x_server_ms_per_frame" to RESULTS.
measure() {
    local side=$1 run=$2 launched startup pid server="" cmd
    start_screen
    case $side in
        linux) cmd=(env SDL_RENDER_VSYNC=0 "$LINUX_EXE") ;;
        wine-gl) cmd=(env -u WINE_D3D_CONFIG "$WINE64" "$WINDOWS_EXE") ;;
        wine-gdi) cmd=(env WINE_D3D_CONFIG=renderer=gdi "$WINE64" "$WINDOWS_EXE") ;;
    esac
    launched=$("$FRAMEPROBE" launch 180000 "${TITLE_SCREEN[@]}" -- "${cmd[@]}" 2>"$SESSION_DIR/program.log") || true
    read -r startup pid <<<"$launched"
    PROGRAM_PID=$pid
    [[ "$startup" =~ ^[0-9.]+$ ]] || die "$side run $run: no input-test screen within 180 s ($launched)"
    [ "$side" = linux ] || server=$(wineserver_pid)

    hold_until space "walk scene ($side)" 60 "${WALK_SCREEN[@]}"
    sleep 2
    local t0 t1 c0 c1 x0 x1 fps_sum=0 readings=0 i value
    x0=$(cpu_ticks "$XVFB_PID")
    c0=$(($(cpu_ticks "$pid") + ${server:+$(cpu_ticks "$server")}+0 + x0))
    t0=$(date +%s%N)
    for ((i = 0; i < WINDOW_S; i++)); do
        sleep 1
        xwd -root -silent >"$SESSION_DIR/shot.xwd"
        if value=$("$FRAMEPROBE" counter "$SESSION_DIR/shot.xwd" "$STRINGS_BMP" 2>/dev/null); then
            fps_sum=$((fps_sum + value))
            readings=$((readings + 1))
        fi
    done
    x1=$(cpu_ticks "$XVFB_PID")
    c1=$(($(cpu_ticks "$pid") + ${server:+$(cpu_ticks "$server")}+0 + x1))
    t1=$(date +%s%N)
    local peak
    peak=$(($(peak_kb "$pid") + ${server:+$(peak_kb "$server")}+0))
    [ $readings -gt 0 ] || die "$side run $run: the frame-rate counter could not be read"

    xdotool key Escape
    wait_exit 30
    if [ "$side" != linux ]; then timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
    stop_screen
    awk -v side="$side" -v run="$run" -v startup="$startup" -v ticks=$((c1 - c0)) -v tick="$TICK_MS" \
        -v fps_sum=$fps_sum -v n=$readings -v ns=$((t1 - t0)) -v peak="$peak" -v xticks=$((x1 - x0)) 'BEGIN {
            fps = fps_sum / n; frames = fps * ns / 1e9
            printf "%s\t%d\t%.1f\t%.3f\t%.1f\t%d\t%.3f\n", side, run, startup, ticks * tick / frames, fps, peak,
                xticks * tick / frames
        }' | tee -a "$RESULTS" >&2
}

median() { sort -g | awk '{v[NR] = $1} END {print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
column_of() { awk -F'\t' -v side="$1" -v col="$2" '$1 == side {print $col}' "$RESULTS" | median; }

session_init
build_frameprobe
wine_prefix
mkdir -p "$(dirname "$RESULTS")"
: >"$RESULTS"
say "side, run, start-up ms, CPU ms per frame (X server included), frames per second, peak kB, X server ms per frame"
for ((run = 1; run <= RUNS; run++)); do
    for side in linux wine-gl wine-gdi; do measure "$side" "$run"; done
done

echo
echo "Medians of $RUNS runs (CPU over ${WINDOW_S} s of the walk scene):"
echo
echo "| | Linux build | Wine, OpenGL renderer | Wine, GDI renderer | Linux / Wine (OpenGL) | Linux / Wine (GDI) |"
echo "|---|---|---|---|---|---|"
for metric in "start-up to first frame, ms:3" "CPU per frame with the X server's, ms:4" "of which the X server's, ms:7" \
    "frames per second (walk scene):5" "peak resident memory, MiB:6"; do
    name=${metric%:*}
    col=${metric##*:}
    l=$(column_of linux "$col")
    g=$(column_of wine-gl "$col")
    d=$(column_of wine-gdi "$col")
    awk -v name="$name" -v col="$col" -v l="$l" -v g="$g" -v d="$d" 'BEGIN {
        scale = (col == 6) ? 1024 : 1
        fmt = (col == 4 || col == 7) ? "%.3f" : "%.1f"
        printf "| %s | " fmt " | " fmt " | " fmt " | %.2f | %.2f |\n", name, l / scale, g / scale, d / scale, l / g, l / d
    }'
done
say "every run: ${RESULTS#"$ROOT"/}"
