#!/usr/bin/env bash
# Packs the build as make package does, into a scratch folder, and checks the Debian package: the files (those of
# make install, under /usr, the executable in /usr/games as Debian keeps games), the dependencies, lintian's verdict,
# and that the packed executable runs.
# Usage: package_test.sh <build folder> <version>
set -euo pipefail

build=$(realpath "$1")
version=$2
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work" > "$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
deb=$work/ditessary_${version}_amd64.deb
[[ -f "$deb" ]] || fail "no $(basename "$deb"): $(ls "$work")"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

packed=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)
expected=$(sed -e 's|^bin/|games/|' -e 's|^|usr/|' "$here/installed_files.txt" | LC_ALL=C sort)
diff <(echo "$expected") <(echo "$packed") || fail "the package holds other files than the install"

[[ "$(dpkg-deb --field "$deb" Section)" == games ]] || fail "the section is $(dpkg-deb --field "$deb" Section)"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for needed in libsdl2-2.0-0 libfreetype6 libfontconfig1 fonts-ipafont-mincho; do
    tr ',' '\n' <<< "$depends" | grep -q "^ *$needed\( (.*)\)\? *$" || fail "Depends does not name $needed"
done

lintian --fail-on error,warning "$deb" > "$work/lintian.log" 2>&1 || fail "lintian: $(cat "$work/lintian.log")"
echo "lintian: no error, no warning"

dpkg-deb -x "$deb" "$work/extracted"
[[ "$("$work/extracted/usr/games/ditessary" --version)" == "ditessary $version" ]] ||
    fail "the packed executable prints '$("$work/extracted/usr/games/ditessary" --version)'"
echo PASS
