#!/usr/bin/env bash
# Prints the desktop matrix's table for the README from the result lines the last run left (run_matrix.sh writes one
# per case), in the order of the desktops, backends and paths.
# Usage: matrix_table.sh <folder with the results, e.g. build/e2e>
set -euo pipefail

order() {
    case "$1" in
        bare) echo 10 ;; icewm) echo 11 ;; openbox) echo 12 ;; xfwm4) echo 13 ;;
        stale-gone) echo 14 ;; stale-unnamed) echo 15 ;; bare-8bit) echo 16 ;; bare-16bit) echo 17 ;;
        weston) echo 20 ;; mutter) echo 21 ;; kwin) echo 22 ;; sway) echo 23 ;;
        x11) echo 1 ;; wayland) echo 2 ;; xwayland) echo 3 ;;
        auto) echo 1 ;; opengl) echo 2 ;; software) echo 3 ;; framebuffer) echo 4 ;;
        fake-dri3) echo 5 ;; fake-nvidia) echo 6 ;; fake-dri) echo 7 ;; fake-none) echo 8 ;;
        *) echo 99 ;;
    esac
}

echo "| desktop | screen | backend | path asked | path taken | result | seconds | checks |"
echo "|---|---|---|---|---|---|---|---|"
for file in "$1"/result-*.txt; do
    IFS='|' read -r desktop screen backend path taken result seconds checks < "$file"
    echo "$(order "$desktop") $(order "$backend") $(order "$path")|$desktop|${screen/x/ × }|$backend|$path|$taken|$result|$seconds|$checks"
done | sort -n -k1,1 -k2,2 -k3,3 | cut -d '|' -f 2- | sed 's/|/ | /g; s/^/| /; s/$/ |/'
