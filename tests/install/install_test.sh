#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR as make install does, checks the files it writes and the metadata a
# desktop reads from them, starts the installed program from its own bin/ on a private X screen, and uninstalls.
# Usage: install_test.sh <build folder> <source folder> <version> <icongen executable>
set -euo pipefail

build=$(realpath "$1")
source=$(realpath "$2")
version=$3
icongen=$(realpath "$4")
here=$(dirname "$(realpath "$0")")
id=org.ditessary.ditessary

work=$(mktemp -d)
root=$work/root
xvfb_pid=""
program_pid=""

# A child that has ended stays a zombie until waited for, so kill -0 alone cannot tell.
alive() {
    [[ -r /proc/$1/stat ]] && [[ "$(cut -d ')' -f 2 "/proc/$1/stat" | cut -d ' ' -f 2)" != "Z" ]]
}

# The program goes before its X server: once the server is gone, its exit can hang in SDL's clean-up.
cleanup() {
    if [[ -n "$program_pid" ]]; then
        kill "$program_pid" 2> /dev/null || true
        for _ in $(seq 30); do alive "$program_pid" || break; sleep 0.1; done
        kill -KILL "$program_pid" 2> /dev/null || true
    fi
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2> /dev/null || true
    wait 2> /dev/null || true
    [[ -d "$root" ]] && uninstall_from "$root" 2> /dev/null || true  # drops the install's note of its directories
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# The same commands as make install and make uninstall, with the prefix make uses by default.
install_into() { DESTDIR=$1 cmake --install "$build" --prefix /usr/local > "$work/install.log"; }
uninstall_from() { DESTDIR=$1 cmake -DCMAKE_INSTALL_PREFIX=/usr/local -P "$build/dist/uninstall.cmake" > /dev/null; }
files_under() { (cd "$1" && find . -mindepth 1 \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort); }

# The icons in the source are what the icon tool draws today.
mkdir "$work/icons"
"$icongen" "$source/resources/CHARA.bmp" "$work/icons" > /dev/null
diff -r "$work/icons" "$source/dist/icons" > /dev/null || fail "dist/icons is not what icongen draws: run make icons"

mkdir "$root"
install_into "$root" || fail "the install failed: $(cat "$work/install.log")"
prefix=$root/usr/local
diff <(sed 's|^|usr/local/|' "$here/installed_files.txt") <(files_under "$root") ||
    fail "the install wrote other files than those in installed_files.txt"
[[ -x "$prefix/bin/ditessary" ]] || fail "bin/ditessary is not executable"
for icon in "$prefix"/share/icons/hicolor/*/apps/$id.png; do
    size=$(basename "$(dirname "$(dirname "$icon")")")
    [[ "$(identify -format '%wx%h %A' "$icon")" == "$size True" ]] || fail "$icon is not a $size picture with alpha"
done
echo "install: the $(wc -l < "$here/installed_files.txt") files of installed_files.txt"

# The validators' verdicts; any warning fails (appstreamcli's --strict fails on anything above a pedantic hint).
out=$(desktop-file-validate "$prefix/share/applications/$id.desktop" 2>&1) || fail "desktop-file-validate: $out"
[[ -z "$out" ]] || fail "desktop-file-validate: $out"
grep -qx 'Categories=Game;' "$prefix/share/applications/$id.desktop" || fail "the desktop entry is not under Games"
grep -qx 'Exec=ditessary --window' "$prefix/share/applications/$id.desktop" || fail "no action starts it in a window"
appstreamcli validate --no-net --strict "$prefix/share/metainfo/$id.metainfo.xml" > "$work/as.log" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/as.log")"
appstreamcli validate-tree --no-net --strict "$prefix" > "$work/as.log" 2>&1 ||
    fail "appstreamcli validate-tree: $(cat "$work/as.log")"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$prefix/share/man/man6/ditessary.6.gz" 2>&1 > "$work/man.txt")
[[ -z "$warnings" ]] || fail "man --warnings: $warnings"
echo "desktop entry, AppStream data and manual page: no warning"

# The version everywhere it is written down.
program=$prefix/bin/ditessary
[[ "$("$program" --version)" == "ditessary $version" ]] || fail "--version prints '$("$program" --version)'"
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$prefix/share/metainfo/$id.metainfo.xml" ||
    fail "the AppStream data's newest release is not $version"
[[ "$(zcat "$prefix/share/doc/ditessary/changelog.gz" | head -1)" == "ditessary ($version) "* ]] ||
    fail "the changelog's newest entry is not $version"
[[ "$(tail -1 "$work/man.txt")" == "ditessary $version "* ]] || fail "the manual page is not of version $version"

# --help names every option the manual page describes, and the other way round.
help=$("$program" --help) || fail "--help exits with status $?"
[[ "$(head -1 <<< "$help")" == "usage: ditessary [--fullscreen | --window] [--display N] [--help] [--version]" ]] ||
    fail "--help starts with '$(head -1 <<< "$help")'"
help_options=$(grep -o '^  --[a-z]*' <<< "$help" | tr -d ' ' | sort)
man_options=$(sed -n '/^OPTIONS/,/^[A-Z]/p' "$work/man.txt" | grep -o '^       --[a-z]*' | tr -d ' ' | sort)
[[ "$help_options" == "$(printf -- '--display\n--fullscreen\n--help\n--version\n--window')" ]] ||
    fail "--help lists the options: $help_options"
[[ "$man_options" == "$help_options" ]] || fail "the manual page lists the options: $man_options"
echo "--version and --help: as they should"

# The installed program, found through a PATH of the install's bin/ alone and started from another folder, shows the
# input-test screen (dark blue 7,4,48 in the corner) and closes with status 0 on SIGTERM.
for n in 90 91 92 93 94 95 96 97 98 99; do
    [[ -e /tmp/.X$n-lock ]] && continue
    Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        if DISPLAY=":$n" xdotool getdisplaygeometry > /dev/null 2>&1; then display=":$n"; break; fi
        kill -0 "$xvfb_pid" 2> /dev/null || break
        sleep 0.1
    done
    [[ -n "${display:-}" ]] && break
    kill "$xvfb_pid" 2> /dev/null || true
    xvfb_pid=""
done
[[ -n "${display:-}" ]] || fail "no free X display among :90 to :99"

mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER PATH="$prefix/bin" DISPLAY="$display" \
    ditessary > "$work/program.log" 2>&1) &
program_pid=$!
corner=""
p='p{639,479}'
for _ in $(seq 100); do
    alive "$program_pid" || break
    corner=$(DISPLAY=$display xwd -root -silent |
        convert xwd:- -format "%[fx:int(255*$p.r)],%[fx:int(255*$p.g)],%[fx:int(255*$p.b)]" info:)
    [[ "$corner" == "7,4,48" ]] && break
    sleep 0.2
done
[[ "$corner" == "7,4,48" ]] || fail "no input-test screen (corner $corner): $(cat "$work/program.log")"
kill -TERM "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=""
[[ $status -eq 0 ]] || fail "SIGTERM ended the installed program with status $status"
echo "the installed program showed its first frame and closed with status 0 on SIGTERM"

uninstall_from "$root"
left=$(find "$root" -mindepth 1)
[[ -z "$left" ]] || fail "the uninstall left $left"

# Over a tree that already holds something: the install and the uninstall leave it as it was.
mkdir -p "$root/usr/local/bin" "$root/usr/local/share/man/man6"
touch "$root/usr/local/bin/another-program"
before=$(find "$root" | LC_ALL=C sort)
install_into "$root" || fail "the second install failed: $(cat "$work/install.log")"
uninstall_from "$root"
[[ "$(find "$root" | LC_ALL=C sort)" == "$before" ]] || fail "the uninstall did not restore the tree: $(find "$root")"
echo "uninstall: removed exactly what the install wrote"
echo PASS
