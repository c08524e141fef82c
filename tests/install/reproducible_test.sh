#!/usr/bin/env bash
# Builds the Debian package twice from the source tree's last commit, in two fresh copies at different depths and
# names, and checks that the two packages are the same bytes. Each copy builds only what the package holds (the
# executable with its embedding and icon tools, the manual page) rather than the whole tree and its tests as
# make package does; the rest of the build puts nothing in the package. Uncommitted changes are not in the copies.
# Usage: reproducible_test.sh <source folder>
set -euo pipefail

source=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

commit=$(git -C "$source" rev-parse HEAD)
packages=()
for copy in "$work/a/ditessary" "$work/second/copy/of/the/source"; do
    mkdir -p "$copy"
    git -C "$copy" init -q
    git -C "$copy" fetch -q "$source" HEAD
    git -C "$copy" checkout -q --detach FETCH_HEAD
    [[ "$(git -C "$copy" rev-parse HEAD)" == "$commit" ]] || fail "$copy did not get $commit"
    log=$copy.log
    # The time stamp comes from the copy's last commit, as in make package; nothing of the caller's may set it.
    (
        env -u SOURCE_DATE_EPOCH cmake -S "$copy" -B "$copy/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON &&
            cmake --build "$copy/build" -j2 --target ditessary desktop_files &&
            env -u SOURCE_DATE_EPOCH cpack --config "$copy/build/CPackConfig.cmake" -B "$copy/package"
    ) > "$log" 2>&1 || fail "the build in $copy failed: $(tail -20 "$log")"
    if strings -a "$copy/build/ditessary" | grep -F "$copy"; then
        fail "the executable built in $copy holds that folder's path"
    fi
    deb=("$copy"/package/ditessary_*_amd64.deb)
    [[ -f "${deb[0]}" ]] || fail "no package in $copy/package: $(ls "$copy/package")"
    packages+=("${deb[0]}")
done

cmp "${packages[0]}" "${packages[1]}" ||
    fail "the two packages differ: $(diff <(dpkg-deb -c "${packages[0]}") <(dpkg-deb -c "${packages[1]}") | head -20)"
echo "reproducible: $(basename "${packages[0]}") from $commit, $(stat -c %s "${packages[0]}") bytes, the same twice"
echo PASS
