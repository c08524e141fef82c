#!/usr/bin/env bash
# What showing the program costs a desktop, the display server included: builds side by side on a fresh X screen
# each (1920 x 1080 unless SCREEN_SIZE says), default settings, in three situations of MEASURE_S (10) seconds each:
#   rest     the input-test screen, nobody touching anything
#   pointer  the input-test screen with the pointer moving all the time (XTest motions every 8 ms)
#   walk     the walk scene with an arrow held, right and left by turns
# For each: the program's and the X server's CPU as percent of one core (utime + stime from /proc/PID/stat over the
# window), the frame-rate counter read once a second from the screen's corner, and the load average beside them.
# Usage: tools/desktop_cost.sh NAME=EXE [NAME=EXE...]   RUNS (1) and MEASURE_S (10) may be set in the environment.
set -euo pipefail
SCRIPT=desktop-cost
SCREEN_SIZE=${SCREEN_SIZE:-1920x1080}
# shellcheck source=tools/xsession.sh
source "$(dirname "$0")/xsession.sh"

[ $# -gt 0 ] || die "usage: tools/desktop_cost.sh NAME=EXE [NAME=EXE...]"
RUNS=${RUNS:-1}
SECONDS_MEASURED=${MEASURE_S:-10}
RESULTS=$ROOT/build-cmp/desktop-cost.tsv
HZ=$(getconf CLK_TCK)

cpu_ticks() { sed 's/.*) //' "/proc/$1/stat" | awk '{print $12 + $13}'; }

# Where the picture lies on this screen, by the program's own rule: the largest whole factor from 2 up, else fitted.
width=${SCREEN_SIZE%x*}
height=${SCREEN_SIZE#*x}
FACTOR=$((width / 640 < height / 480 ? width / 640 : height / 480))
[ "$FACTOR" -ge 1 ] || die "the screen is smaller than the picture"
[ "$FACTOR" -ge 2 ] || [ "$SCREEN_SIZE" = 640x480 ] || die "a fitted picture is not supported here"
ORIGIN_X=$(((width - 640 * FACTOR) / 2))
ORIGIN_Y=$(((height - 480 * FACTOR) / 2))

# A condition of the 640 x 480 picture, as it stands on this screen.
scaled() {
    local c=$1 colour rect op bound l t r b
    colour=${c%@*}
    rect=${c#*@}
    op=$(grep -o '[<>]=' <<<"$rect")
    bound=${rect##*=}
    rect=${rect%[<>]=*}
    IFS=, read -r l t r b <<<"$rect"
    echo "$colour@$((ORIGIN_X + l * FACTOR)),$((ORIGIN_Y + t * FACTOR)),$((ORIGIN_X + r * FACTOR)),$((ORIGIN_Y + b * FACTOR))$op$((bound * FACTOR * FACTOR))"
}
TITLE=()
for c in "${TITLE_SCREEN[@]}"; do TITLE+=("$(scaled "$c")"); done
WALK=()
for c in "${WALK_SCREEN[@]}"; do WALK+=("$(scaled "$c")"); done

HELPER_PID=""
stop_helper() {
    if [ -n "$HELPER_PID" ]; then
        kill "$HELPER_PID" 2>/dev/null || true
        wait "$HELPER_PID" 2>/dev/null || true
        HELPER_PID=""
    fi
    xdotool keyup Right keyup Left >/dev/null 2>&1 || true
}

# An arrow held all the time, right then left by turns, so the sprite walks without leaving the field.
walk_to_and_fro() {
    while true; do
        xdotool keydown Right
        sleep 2.5
        xdotool keyup Right keydown Left
        sleep 2.5
        xdotool keyup Left
    done
}

# One build in one situation; appends "name situation run program% server% counter_min counter_max load".
measure() {
    local name=$1 exe=$2 situation=$3 run=$4
    start_screen
    local server=$XVFB_PID
    "$exe" >"$SESSION_DIR/program.log" 2>&1 &
    PROGRAM_PID=$!
    wait_screen "input-test screen ($name)" 60 "${TITLE[@]}"
    case $situation in
        pointer)
            "$FRAMEPROBE" wiggle $((SECONDS_MEASURED + 4)) &
            HELPER_PID=$!
            ;;
        walk)
            hold_until space "walk scene ($name)" 60 "${WALK[@]}"
            walk_to_and_fro &
            HELPER_PID=$!
            ;;
    esac
    sleep 2
    local load p0 p1 x0 x1 t0 t1 i value counters=()
    load=$(cut -d' ' -f1 /proc/loadavg)
    p0=$(cpu_ticks "$PROGRAM_PID")
    x0=$(cpu_ticks "$server")
    t0=$(date +%s%N)
    for ((i = 0; i < SECONDS_MEASURED; i++)); do
        sleep 1
        if value=$("$FRAMEPROBE" screen-counter "$ORIGIN_X,$ORIGIN_Y,$FACTOR" "$STRINGS_BMP" 2>/dev/null); then
            counters+=("$value")
        else
            counters+=(-1)
        fi
    done
    p1=$(cpu_ticks "$PROGRAM_PID")
    x1=$(cpu_ticks "$server")
    t1=$(date +%s%N)
    stop_helper
    kill "$PROGRAM_PID" 2>/dev/null || true
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
    stop_screen
    printf '%s\n' "${counters[@]}" | sort -n | awk -v name="$name" -v situation="$situation" -v run="$run" \
        -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$HZ" -v ns=$((t1 - t0)) -v load="$load" '
        {v[NR] = $1} END {
            s = ns / 1e9
            printf "%s\t%s\t%d\t%.2f\t%.2f\t%d\t%d\t%s\n", name, situation, run, 100 * p / hz / s, 100 * x / hz / s,
                v[1], v[NR], load
        }' | tee -a "$RESULTS" >&2
}

session_init
trap 'stop_helper; session_cleanup' EXIT
build_frameprobe
mkdir -p "$(dirname "$RESULTS")"
: >"$RESULTS"
say "name, situation, run, program % of a core, X server %, counter min, counter max, load average"
for ((run = 1; run <= RUNS; run++)); do
    for situation in rest pointer walk; do
        for pair in "$@"; do measure "${pair%%=*}" "$(realpath "${pair#*=}")" "$situation" "$run"; done
    done
done

echo
echo "$SCREEN_SIZE, default settings, ${SECONDS_MEASURED} s each, median of $RUNS run(s); percent of one core:"
echo
echo "| situation | build | program | X server | counter | load average |"
echo "|---|---|---|---|---|---|"
for situation in rest pointer walk; do
    for pair in "$@"; do
        awk -F'\t' -v name="${pair%%=*}" -v situation="$situation" '
            $1 == name && $2 == situation { p[++n] = $4; x[n] = $5; lo = (n == 1 || $6 < lo) ? $6 : lo
                                            hi = (n == 1 || $7 > hi) ? $7 : hi; load = load (n > 1 ? ", " : "") $8 }
            function median(a, n,   i, j, t) {
                for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
                return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
            }
            END { if (n) printf "| %s | %s | %.2f %% | %.2f %% | %d-%d | %s |\n", situation, name, median(p, n), median(x, n), lo, hi, load }
        ' "$RESULTS"
    done
done
say "every run: ${RESULTS#"$ROOT"/}"
