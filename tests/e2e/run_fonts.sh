#!/usr/bin/env bash
# The built program in a real X server with a fontconfig set-up of its own: one that holds no font at all, or one
# Latin face only. Either way the input-test screen shows and Escape ends the program with status 0; with no font,
# standard error says so in one line and the read-out lines are missing, with the Latin face they are drawn.
# Usage: run_fonts.sh <ditessary executable> <folder for screenshots> <none|latin>
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

program=$(realpath "$1")
fonts=$3
e2e_init "$2" "fonts-$fonts"
require_tools Xvfb xdotool xwd convert fc-match

# The folder fontconfig is given holds the system's own file of DejaVu Sans, or nothing; the cache is its own too.
mkdir -p "$E2E_SESSION/fonts"
case "$fonts" in
    none) ;;
    latin)
        face=$(fc-match -f '%{file}' 'DejaVu Sans')
        [[ -f "$face" ]] || fail "no DejaVu Sans here: tools/install-deps.sh installs fonts-dejavu-core"
        ln -s "$(realpath "$face")" "$E2E_SESSION/fonts/"
        ;;
    *) fail "unknown font set-up '$fonts'" ;;
esac
cat > "$E2E_SESSION/fonts.conf" << EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <dir>$E2E_SESSION/fonts</dir>
  <cachedir>$E2E_SESSION/cache</cachedir>
</fontconfig>
EOF

start_xvfb 640 480
picture_at 1 0 0
errors=$E2E_SHOTS/stderr-$E2E_TAG.log
# Standard error apart from standard output (the program's own debug lines go there too), by the inner shell.
# shellcheck disable=SC2016
start_program env FONTCONFIG_FILE="$E2E_SESSION/fonts.conf" bash -c 'exec "$0" 2> "$1"' "$program" "$errors"
check_input_test_screen screen

# The three read-out lines are white, in ten-pixel cells from (200, 50).
ink=$(count_colour screen "255,255,255" 200 50 240 30)
text_lines=$(grep -c '^text: ' "$errors" || true)
if [[ "$fonts" == none ]]; then
    ((ink == 0)) || fail "$ink white pixels where no read-out line can be drawn"
    ((text_lines == 1)) || fail "standard error has $text_lines lines from the text layer, not one"
    grep -qx 'text: fontconfig finds no font; text is not drawn' "$errors" ||
        fail "standard error does not say that no font was found: $(grep '^text: ' "$errors" || true)"
    say "no read-out lines; standard error: $(grep '^text: ' "$errors")"
else
    ((ink > 300)) || fail "the read-out lines show only $ink white pixels"
    ((text_lines == 0)) || fail "standard error has lines from the text layer: $(grep '^text: ' "$errors")"
    say "the read-out lines show $ink white pixels; nothing from the text layer on standard error"
fi

key Escape
wait_exit 10
((EXIT_STATUS == 0)) || fail "exit status $EXIT_STATUS"
echo "PASS ($E2E_TAG): exit status 0 ${EXIT_SECONDS} s after Escape"
