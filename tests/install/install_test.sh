#!/usr/bin/env bash
# Installs the build into a scratch DESTDIR as make install does, checks the files it writes, the metadata a
# desktop reads from them and the names they give one another, and the executable's hardening; starts the installed
# program from its own bin/ on a private X screen, where its window must carry the menu entry's class and icon; and
# uninstalls.
# Usage: install_test.sh <build folder> <source folder> <version> <icongen executable>
set -euo pipefail

build=$(realpath "$1")
source=$(realpath "$2")
version=$3
icongen=$(realpath "$4")
here=$(dirname "$(realpath "$0")")
id=org.ditessary.ditessary
# shellcheck source=tests/install/checks.sh
source "$here/checks.sh"

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

# The same commands as make install and make uninstall, with the prefix make uses by default; no MAINTAINER, so the
# changelog names whoever builds.
install_into() { env -u MAINTAINER DESTDIR="$1" cmake --install "$build" --prefix /usr/local > "$work/install.log"; }
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

check_hardening "$prefix/bin/ditessary"
check_compile_units "$prefix/bin/ditessary"
if strings -a "$prefix/bin/ditessary" | grep -F -e "$source" -e "$build"; then
    fail "the executable holds the source or build folder's path"
fi
check_references "$prefix" bin

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

# The newest entry is signed by whoever built it: git's name and address for them, else the user at this host.
name=$(git -C "$source" config user.name || true)
email=$(git -C "$source" config user.email || true)
builder="$name <$email>"
[[ -n "$name" && -n "$email" ]] || builder="$(id -un) <$(id -un)@$(hostname)>"
trailer=$(zcat "$prefix/share/doc/ditessary/changelog.gz" | grep -m1 '^ -- ')
[[ "$trailer" == " -- $builder  "* ]] || fail "the changelog's newest entry is signed '$trailer', not by $builder"
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
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3> "$work/displayfd" > "$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display=""
for _ in $(seq 100); do
    [[ -s "$work/displayfd" ]] && DISPLAY=":$(head -1 "$work/displayfd")" xdotool getdisplaygeometry > /dev/null 2>&1 &&
        display=":$(head -1 "$work/displayfd")" && break
    alive "$xvfb_pid" || break
    sleep 0.1
done
[[ -n "$display" ]] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"

mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u SDL_VIDEO_X11_WMCLASS PATH="$prefix/bin" \
    DISPLAY="$display" ditessary > "$work/program.log" 2>&1) &
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

# Its window is the menu entry's: the class it names as StartupWMClass, and the installed 48 x 48 icon's pixels as
# _NET_WM_ICON (width, height, then one 0xAARRGGBB word a pixel, rows top to bottom).
window=$(DISPLAY=$display xdotool search --pid "$program_pid" | head -1)
[[ -n "$window" ]] || fail "no X window of the program"
wm_class=$(DISPLAY=$display xprop -id "$window" WM_CLASS)
[[ "$wm_class" == "WM_CLASS(STRING) = \"$id\", \"$id\"" ]] || fail "the window's class: $wm_class"
DISPLAY=$display xprop -id "$window" -notype 32c _NET_WM_ICON | sed 's/^_NET_WM_ICON = //; s/, /\n/g' \
    > "$work/window_icon.txt"
{
    echo 48
    echo 48
    convert "$prefix/share/icons/hicolor/48x48/apps/$id.png" -depth 8 RGBA:- | od -An -v -tu1 -w4 |
        awk '{ printf "%.0f\n", (($4 * 256 + $1) * 256 + $2) * 256 + $3 }'
} > "$work/installed_icon.txt"
[[ $(wc -l < "$work/installed_icon.txt") -eq $((2 + 48 * 48)) ]] || fail "the installed 48x48 icon did not decode"
cmp -s "$work/window_icon.txt" "$work/installed_icon.txt" ||
    fail "the window's icon is not the installed 48x48 icon: $(head -c 200 "$work/window_icon.txt")"
echo "the window: class $id, icon the installed 48x48 one"
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
