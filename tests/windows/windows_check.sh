#!/usr/bin/env bash
# The Windows build checked as a person would see it under Wine: what the .exe links and carries, the input-test
# screen, Space to the walk scene, Escape to a clean exit; and our Windows headers checked against the real SDK.
# Usage: [LINUX_API_VALUES=build/api_values] tests/windows/windows_check.sh [EXE]
set -euo pipefail
SCRIPT=windows-check
# shellcheck source=tools/xsession.sh
source "$(dirname "$0")/../../tools/xsession.sh"

EXE=$(realpath "${1:-$ROOT/build-win/ditessary.exe}")
LINUX_API_VALUES=${LINUX_API_VALUES:-$ROOT/build/api_values}
KNOWN_API_DIFFERENCES=$ROOT/tests/windows/api_known_differences.txt
OBJDUMP=${OBJDUMP:-x86_64-w64-mingw32-objdump}
SHOTS=$ROOT/build-win/windows-check
[ -f "$EXE" ] || die "no executable at $EXE (run 'make windows')"

# Only DLLs every Windows has: the C and C++ runtimes are linked in.
check_imports() {
    local allowed=" ddraw.dll dinput.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll winmm.dll "
    local dll found=0
    while read -r dll; do
        found=1
        [[ "$allowed" == *" ${dll,,} "* ]] || die "$EXE needs $dll, which Windows does not ship"
    done < <("$OBJDUMP" -p "$EXE" | sed -n 's/^\s*DLL Name: //p')
    [ $found = 1 ] || die "objdump found no imports in $EXE"
}

# Exactly the four bitmaps, as RT_BITMAP resources in Japanese (language 0x411) with the sizes of the artwork.
check_resources() {
    local table
    table=$("$OBJDUMP" -p "$EXE" | sed -n '/The .rsrc Resource Directory section/,/Resources start/p')
    # objdump indents the directory's levels: type entries by 3 blanks, names by 5, languages by 7.
    local types names langs
    types=$(grep -E '^[0-9a-f]+ {3}Entry: ' <<<"$table" | sed 's/, Value.*//; s/.*Entry: //' | tr '\n' ' ')
    [ "$types" = "ID: 0x000002 " ] || die "resource types are '$types', not RT_BITMAP (ID: 0x000002) alone"
    names=$(grep -E '^[0-9a-f]+ {5}Entry: ' <<<"$table" | sed 's/, Value.*//; s/.*\]: //' | sort | tr '\n' ' ')
    [ "$names" = "BACKIMG CHARA STRINGS TITLE " ] || die "bitmap resources are '$names', not BACKIMG CHARA STRINGS TITLE"
    langs=$(grep -E '^[0-9a-f]+ {7}Entry: ' <<<"$table" | sed 's/, Value.*//; s/.*Entry: //' | sort | uniq -c |
        awk '{print $1 "x" $3}' | tr '\n' ' ')
    [ "$langs" = "4x0x000411 " ] || die "resource languages are '$langs', not 1041 (0x411) for each of the four"
    local bitmap size
    for bitmap in "$ROOT"/resources/{BACKIMG,CHARA,STRINGS,TITLE}.bmp; do
        # A resource is the bitmap file without its 14-byte file header.
        size=$(printf '0x%06x' $(($(stat -c %s "$bitmap") - 14)))
        grep -q "Size: $size," <<<"$table" || die "no resource of $(basename "$bitmap")'s size ($size bytes)"
    done
}

# Every constant, structure and identifier of our Linux headers against the real SDK's: the same program prints
# them from both, and the outputs must agree line for line.
check_api_values() {
    local values=$ROOT/tests/windows/api_values.cpp name missing="" printed structures
    # The names the program prints: every word inside its VALUE/VALUES lists, and the structures it lays out.
    printed=$(tr '\n' ' ' < "$values" | grep -oE 'VALUES?\([^;]*\);' | tr -c 'A-Za-z0-9_' '\n' | sort -u)
    structures=$(grep -oE 'STRUCT\([A-Za-z0-9_]+' "$values" | sed 's/STRUCT(//' | sort -u)
    # Calling conventions and aliases of other macros have no value of their own; interfaces have no layout.
    while read -r name; do
        case $name in WINAPI | WINAPIV | CALLBACK | APIENTRY | MAKEINTRESOURCE) continue ;; esac
        grep -qx "$name" <<<"$printed" || missing+=" $name"
    done < <(grep -h -E '^#define [A-Za-z_][A-Za-z0-9_]*( |$)' "$ROOT"/platform/include/*.h | awk '{print $2}')
    while read -r name; do
        [[ $name == I* ]] || grep -qx "$name" <<<"$structures" || missing+=" $name"
    done < <(grep -h -E '^struct [A-Za-z_0-9]+ \{' "$ROOT"/platform/include/*.h | awk '{print $2}')
    [ -z "$missing" ] || die "our Windows headers declare${missing}, which tests/windows/api_values.cpp does not print"
    [ -x "$LINUX_API_VALUES" ] || die "no Linux build of api_values at $LINUX_API_VALUES"
    "$LINUX_API_VALUES" >"$SESSION_DIR/api-linux.txt" || die "$LINUX_API_VALUES failed"
    timeout 120 "$WINE64" "$(dirname "$EXE")/api_values.exe" 2>/dev/null | tr -d '\r' >"$SESSION_DIR/api-windows.txt" ||
        die "api_values.exe failed under Wine"
    diff "$SESSION_DIR"/api-{linux,windows}.txt | sed -n 's/^< /ours: /p; s/^> /SDK:  /p' >"$SESSION_DIR/api.got" || true
    # grep selects nothing, and fails, once every known difference has been mended.
    grep -v -e '^#' -e '^$' "$KNOWN_API_DIFFERENCES" >"$SESSION_DIR/api.known" || true
    if ! diff "$SESSION_DIR/api.known" "$SESSION_DIR/api.got" >"$SESSION_DIR/api.diff"; then
        sed -n 's/^> /  new difference: /p; s/^< /  no longer differs: /p' "$SESSION_DIR/api.diff" >&2
        die "our Windows headers and layer against the real SDK: the differences are not those in ${KNOWN_API_DIFFERENCES#"$ROOT"/}"
    fi
    say "our headers and layer agree with the real SDK on $(wc -l <"$SESSION_DIR/api-linux.txt") values" \
        "(known differences: $(($(wc -l <"$SESSION_DIR/api.known") / 2)))"
}

session_init
mkdir -p "$SHOTS"
check_imports
check_resources
say "the executable imports only system DLLs and carries the four bitmaps in language 1041"
build_frameprobe
wine_prefix
start_screen
start_windows_program "$EXE"

wait_screen "input-test screen" 180 "${TITLE_SCREEN[@]}"
screenshot "$SHOTS/input-test" >/dev/null
"$FRAMEPROBE" check "$SHOTS/input-test.xwd" "${TITLE_SCREEN[@]}" >/dev/null ||
    die "the input-test screen changed under the screenshot"
say "input-test screen: dark blue (7,4,48) with the yellow (251,254,16) prompt"

hold_until space "walk scene after Space" 60 "${WALK_SCREEN[@]}"
screenshot "$SHOTS/walk" >/dev/null
"$FRAMEPROBE" check "$SHOTS/walk.xwd" "${WALK_SCREEN[@]}" >/dev/null ||
    die "the walk scene changed under the screenshot"
say "walk scene after Space: grey (121,134,150) side panels"

xdotool key Escape
wait_exit 60
[ "$EXIT_STATUS" != 124 ] || die "the program did not end within 60 s of Escape"
[ "$EXIT_STATUS" = 0 ] || die "the program ended with status $EXIT_STATUS after Escape, not 0"
say "Escape: exit status 0"

# Each display set-up step reports itself, the bitmaps come from the resources, and no joystick is attached here.
expected="DirectDrawCreateEx OK|SetCooperativeLevel OK|SetDisplayMode OK|CreateSurface OK|GetAttachedSurface OK|"
expected+="DDLoadPalette OK|SetPalette OK|DDLoadBitmap BackImage OK|DDLoadBitmap Strings OK|DDLoadBitmap Title OK|"
expected+="DDLoadBitmap Chara OK|Joypad Not Found"
lines=$(debug_lines "$SESSION_DIR/program.log" | paste -sd'|')
[ "$lines" = "$expected" ] || die "the debug output was '$lines', not '$expected'"
say "debug output: the eleven set-up lines and Joypad Not Found"

check_api_values
say "passed; screenshots in ${SHOTS#"$ROOT"/}/"
