# shellcheck shell=bash disable=SC2034  # the variables here are read by the scripts that source this file
# Sourced by the Windows check and the comparison scripts: a private X screen (640 x 480 unless SCREEN_SIZE says), the
# Wine prefix kept under build-win/, the screen probe, screenshots, and the clean-up that ends whatever these started.
# The sourcing script sets SCRIPT (its name for messages) and calls session_init first.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
FRAMEPROBE=$ROOT/build-cmp/frameprobe/frameprobe
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || echo wine64)
STRINGS_BMP=$ROOT/resources/STRINGS.bmp

# The screens the scripts wait for. The band below the logo is dark blue on the input-test screen except where the
# mouse cursor stands, and the prompt is yellow; the walk scene's side panels are grey from top to bottom (the frame-rate
# counter covers the top 16 rows of the left one).
TITLE_SCREEN=("7,4,48@0,220,640,340>=76000" "251,254,16@0,350,640,385>=100")
WALK_SCREEN=("121,134,150@0,20,150,480>=69000" "121,134,150@630,0,640,480>=4800")

SESSION_DIR=""
XVFB_PID=""
PROGRAM_PID=""
USES_WINE=0

die() {
    echo "$SCRIPT: FAILED: $*" >&2
    exit 1
}

say() { echo "$SCRIPT: $*" >&2; }

session_cleanup() {
    if [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; then
        kill "$PROGRAM_PID" 2>/dev/null || true
    fi
    if [ "$USES_WINE" = 1 ]; then
        timeout 30 wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "$SESSION_DIR" ]; then rm -rf "$SESSION_DIR"; fi
    PROGRAM_PID=""
    XVFB_PID=""
}

session_init() {
    SESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/ditessary-session.XXXXXX")
    trap session_cleanup EXIT
    trap 'exit 130' INT TERM
}

# The probe is a host tool, built on its own beside the cross-build.
build_frameprobe() {
    cmake -S "$ROOT/tools/frameprobe" -B "$ROOT/build-cmp/frameprobe" -DCMAKE_BUILD_TYPE=Release >/dev/null ||
        die "cannot configure the screen probe"
    cmake --build "$ROOT/build-cmp/frameprobe" -j2 >/dev/null || die "cannot build the screen probe"
}

# A fresh X screen on a display number the server picks itself among the free ones; exports DISPLAY.
SCREEN_SIZE=${SCREEN_SIZE:-640x480}
start_screen() {
    stop_screen
    local fd_file=$SESSION_DIR/displayfd
    : >"$fd_file"
    Xvfb -displayfd 3 -screen 0 "${SCREEN_SIZE}x24" -nolisten tcp -noreset 3>"$fd_file" >"$SESSION_DIR/xvfb.log" 2>&1 &
    XVFB_PID=$!
    local waited=0
    until [ -s "$fd_file" ]; do
        kill -0 "$XVFB_PID" 2>/dev/null || die "Xvfb did not start: $(tail -3 "$SESSION_DIR/xvfb.log")"
        [ $waited -ge 100 ] && die "Xvfb gave no display number within 10 s"
        sleep 0.1
        waited=$((waited + 1))
    done
    DISPLAY=":$(head -1 "$fd_file")"
    export DISPLAY
    timeout 10 bash -c 'until xdotool getdisplaygeometry >/dev/null 2>&1; do sleep 0.1; done' ||
        die "the X screen $DISPLAY does not answer"
    # Both builds take the pointer to the middle of the screen; put it there first so neither sees a jump.
    xdotool mousemove $((${SCREEN_SIZE%x*} / 2)) $((${SCREEN_SIZE#*x} / 2))
}

stop_screen() {
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    fi
}

# The prefix lives in build-win/ and is reused; the first run creates it, which takes a while.
# WINE_D3D_CONFIG passes through, so a caller may pick Wine's renderer ("renderer=gdi").
wine_prefix() {
    USES_WINE=1
    export WINEPREFIX=$ROOT/build-win/wineprefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export HOME=${HOME:-$ROOT/build-win}
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.ditessary-settings-2" ]; then
        say "preparing the Wine prefix in build-win/wineprefix (first run: up to a few minutes)"
        mkdir -p "$WINEPREFIX"
        timeout 600 "$WINE64" wineboot -i >"$SESSION_DIR/wineboot.log" 2>&1 ||
            die "wineboot failed: $(tail -3 "$SESSION_DIR/wineboot.log")"
        # The text lines ask for a Mincho face by its Japanese name; give Wine the face our Linux build finds. Wine
        # takes the ANSI code page from the Unix locale, which here is not Japanese, so the program's Shift-JIS face
        # name reaches the font lookup decoded as code page 1252: map that spelling too.
        local reg=$SESSION_DIR/fonts.reg misread
        misread=$(printf '\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9' | iconv -f CP1252 -t UTF-8)
        {
            printf '\xff\xfe'
            printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"%s"="IPAMincho"\r\n"%s"="IPAMincho"\r\n' \
                "ＭＳ 明朝" "$misread" | iconv -f UTF-8 -t UTF-16LE
        } >"$reg"
        timeout 120 "$WINE64" regedit /S "$(winepath_of "$reg")" >/dev/null 2>&1 || die "cannot set the Wine font replacement"
        timeout 120 wineserver -w || true
        touch "$WINEPREFIX/.ditessary-settings-2"
    fi
}

# Wine maps the Unix root to drive Z:.
winepath_of() { echo "Z:${1//\//\\}"; }

# Starts the program in the background: PROGRAM_PID, output in $SESSION_DIR/program.log.
start_linux_program() {
    SDL_RENDER_VSYNC=0 "$1" >"$SESSION_DIR/program.log" 2>&1 &
    PROGRAM_PID=$!
}

# Wine's debugstr channel carries the program's OutputDebugStringA lines into the log, and nothing else.
start_windows_program() {
    WINEDEBUG=-all,+debugstr "$WINE64" "$1" >"$SESSION_DIR/program.log" 2>&1 &
    PROGRAM_PID=$!
}

# The program's debug lines from the log of either build, one per line: ours writes them to standard error as they
# are, beside the layer's own line on how it presents, and Wine quotes each with its channel's prefix.
debug_lines() {
    if grep -q 'OutputDebugStringA "' "$1"; then
        sed -n 's/.*OutputDebugStringA "\(.*\)\\n"$/\1/p' "$1"
    else
        grep -v '^present: ' "$1"
    fi
}

# Waits until the screen shows every condition, failing early when the program has ended.
wait_screen() {
    local what=$1 timeout_s=$2
    shift 2
    local deadline=$((SECONDS + timeout_s))
    while ! "$FRAMEPROBE" wait 2000 "$@" >/dev/null 2>&1; do
        if [ -n "$PROGRAM_PID" ] && ! kill -0 "$PROGRAM_PID" 2>/dev/null; then
            die "the program ended before the $what appeared; its output: $(tail -5 "$SESSION_DIR/program.log")"
        fi
        if [ $SECONDS -ge $deadline ]; then
            screenshot "$ROOT/build-cmp/timeout" >/dev/null
            die "no $what within ${timeout_s} s (the screen then: build-cmp/timeout.png)"
        fi
    done
    return 0
}

# Writes NAME.xwd and NAME.png of the whole screen; prints the PNG's path.
screenshot() {
    xwd -root -silent >"$1.xwd" || die "xwd failed on $DISPLAY"
    convert "xwd:$1.xwd" "png:$1.png" || die "convert failed on $1.xwd"
    echo "$1.png"
}

# Holds a key long enough for a polled keyboard to see it at any frame rate the builds reach.
press() {
    xdotool keydown "$1"
    sleep "${2:-0.3}"
    xdotool keyup "$1"
}

# Holds a key down until the screen shows the conditions, so a slow frame rate cannot miss the press.
hold_until() {
    local key=$1
    shift
    xdotool keydown "$key"
    wait_screen "$@"
    xdotool keyup "$key"
}

# Waits for the program to end and leaves its exit status in EXIT_STATUS (124 when it did not end in time).
wait_exit() {
    local deadline=$((SECONDS + $1))
    EXIT_STATUS=124
    while kill -0 "$PROGRAM_PID" 2>/dev/null; do
        [ $SECONDS -ge $deadline ] && return
        sleep 0.1
    done
    EXIT_STATUS=0
    wait "$PROGRAM_PID" 2>/dev/null || EXIT_STATUS=$?
    PROGRAM_PID=""
}
