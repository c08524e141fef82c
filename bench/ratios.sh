#!/usr/bin/env bash
# Runs the benchmarks and prints each figure beside its floor from the same run, with the ratio figure / floor.
# Usage: bench/ratios.sh BENCH_BINARY [benchmark options...]
# Figures are medians of repeated runs (CPU time, so other load on the machine counts less); a benchmark with no
# floor in the table below is still listed, without a ratio. The raw CSV and the layer's debug lines go to
# BENCH_BINARY.csv and BENCH_BINARY.log.
set -euo pipefail

binary=${1:?usage: bench/ratios.sh BENCH_BINARY [benchmark options...]}
shift
csv="$binary.csv"
log="$binary.log"

"$binary" --benchmark_repetitions="${BENCH_REPETITIONS:-5}" --benchmark_report_aggregates_only=true \
    --benchmark_format=csv "$@" > "$csv" 2> "$log"

# figure floor: one line per comparison; a figure may have more than one floor.
pairs='
BM_FrameUpdateInputTest BM_FloorInputTestFrame
BM_FrameUpdateWalk BM_FloorWalkFrame
BM_FrameUpdateInputTestDamage BM_FloorInputTestCompared
BM_FrameUpdateWalkDamage BM_FloorWalkCompared
BM_FrameUpdateInputTestRested BM_FloorInputTestRested
BM_FrameUpdateWalkRested BM_FloorWalkRested
BM_FrameWorkInputTest BM_FloorInputTestWork
BM_FrameWorkWalk BM_FloorWalkWork
BM_PresentToWindow BM_FloorPresentToWindow
BM_PresentUnchanged BM_FloorCompareFrame
BM_PresentUnchanged BM_PresentToWindow
BM_PresentCursorMoved BM_FloorCompareFrame
BM_PresentConvert BM_MemcpyArgbFrame
BM_BltFastFullScreen BM_MemcpyScreen
BM_BltFastKeyedLogo BM_MemcpyLogo
BM_DrawOverlayText BM_DrawOverlayTextFloor
BM_TitleFrame BM_TitleFrameFloor
BM_ReadBackgroundBitmap BM_MemcpyBackground
BM_CopyBackgroundBitmap BM_MemcpyBackground
BM_ReadKeyboard BM_MemcpyKeyboardRecord
BM_ReadMouse BM_MemcpyMouseRecord
BM_ReadJoystick BM_MemcpyJoystickRecord
BM_JoystickStateOnly BM_MemcpyJoystickRecord
'

awk -v pairs="$pairs" -F, '
function ns(value, unit) {
    if (unit == "us") return value * 1e3
    if (unit == "ms") return value * 1e6
    if (unit == "s") return value * 1e9
    return value
}
function show(t) {
    if (t >= 1e6) return sprintf("%.2f ms", t / 1e6)
    if (t >= 1e3) return sprintf("%.2f us", t / 1e3)
    return sprintf("%.1f ns", t)
}
BEGIN {
    n = split(pairs, lines, "\n")
    for (i = 1; i <= n; i++) {
        if (split(lines[i], p, " ") == 2) { figure[++count] = p[1]; floor[count] = p[2]; paired[p[1]] = 1; isFloor[p[2]] = 1 }
    }
}
NR > 1 {
    name = $1
    gsub(/"/, "", name)
    if (name !~ /_median$/) next
    sub(/_median$/, "", name)
    sub(/\/iterations:[0-9]+$/, "", name)
    order[++names] = name
    cpu[name] = ns($4, $5)
    if ($9 == "true") failed[name] = 1
}
END {
    printf "%-30s %12s   %-26s %12s %8s\n", "benchmark (median CPU time)", "figure", "floor", "floor", "ratio"
    for (i = 1; i <= count; i++) {
        f = figure[i]; g = floor[i]
        if (!(f in cpu) || !(g in cpu) || (f in failed) || (g in failed)) continue
        r = cpu[f] / cpu[g]
        printf "%-30s %12s   %-26s %12s " (r < 1 ? "%7.3fx" : "%7.1fx") "\n", f, show(cpu[f]), g, show(cpu[g]), r
    }
    for (i = 1; i <= names; i++) {
        f = order[i]
        if ((f in paired) || (f in isFloor)) continue
        printf "%-30s %12s   %-26s %12s %8s\n", f, (f in failed) ? "skipped" : show(cpu[f]), "-", "-", "-"
    }
}' "$csv"
