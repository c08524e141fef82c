#!/usr/bin/env bash
# Packs the build as make package does, into a scratch folder, and checks the Debian package: the files (those of
# make install, under /usr, the executable in /usr/games as Debian keeps games), their owner and time, the control
# fields, the dependencies, lintian's pedantic verdict, the packed executable's hardening, the names the packed files
# give one another, and that the packed executable runs.
# Usage: package_test.sh <build folder> <source folder> <version>
set -euo pipefail
shopt -s extglob

build=$(realpath "$1")
source=$(realpath "$2")
version=$3
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
# shellcheck source=tests/install/checks.sh
source "$here/checks.sh"

# As make package MAINTAINER=... does; the time comes from the last commit.
maintainer="ditessary package test <$(id -un)@$(hostname)>"
MAINTAINER=$maintainer env -u SOURCE_DATE_EPOCH cpack --config "$build/CPackConfig.cmake" -B "$work" \
    > "$work/cpack.log" 2>&1 || fail "cpack: $(cat "$work/cpack.log")"
deb=$work/ditessary_${version}_amd64.deb
[[ -f "$deb" ]] || fail "no $(basename "$deb"): $(ls "$work")"
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

packed=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | LC_ALL=C sort)
expected=$(sed -e 's|^bin/|games/|' -e 's|^|usr/|' "$here/installed_files.txt" | LC_ALL=C sort)
diff <(echo "$expected") <(echo "$packed") || fail "the package holds other files than the install"

# Every member belongs to root and carries the last commit's time, the archive's own members too, and the files
# come in one order whatever order the file system lists them in.
commit_time=$(TZ=UTC date -d "@$(git -C "$source" log -1 --format=%ct)" '+%Y-%m-%d %H:%M:%S')
members=$(dpkg-deb --fsys-tarfile "$deb" | TZ=UTC tar -tv --full-time | awk '{ print $2, $4, $5 }' | sort -u)
[[ "$members" == "root/root $commit_time" ]] || fail "the packed files' owners and times: $members"
ar_times=$(TZ=UTC ar tv "$deb" | awk '{ print $2, $4, $5, $6, $7 }' | sort -u)
[[ "$ar_times" == "0/0 $(TZ=UTC date -d "$commit_time" '+%b %-d %H:%M %Y')" ]] ||
    fail "the archive members' owners and times: $ar_times"
dpkg-deb --fsys-tarfile "$deb" | tar -t | LC_ALL=C sort -c || fail "the packed files are not in sorted order"
echo "owner root:root and time $commit_time on every member, the members in sorted order"

[[ "$(dpkg-deb --field "$deb" Section)" == games ]] || fail "the section is $(dpkg-deb --field "$deb" Section)"
[[ "$(dpkg-deb --field "$deb" Maintainer)" == "$maintainer" ]] ||
    fail "the maintainer is '$(dpkg-deb --field "$deb" Maintainer)', not MAINTAINER's '$maintainer'"
[[ -z "$(dpkg-deb --field "$deb" Homepage)" ]] || fail "the package names a homepage the project does not have"
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for needed in libsdl2-2.0-0 libfreetype6 libfontconfig1 fonts-ipafont-mincho; do
    tr ',' '\n' <<< "$depends" | grep -q "^ *$needed\( (.*)\)\? *$" || fail "Depends does not name $needed"
done

# Not a tag, down to the pedantic ones and those lintian shows only on request, but for those about the address the
# test gave as MAINTAINER: a user at this machine's name, which lintian rightly finds no place to send mail to when the
# host has no domain or the user is root (the README's Install section says so).
lintian --pedantic --display-info --display-experimental --fail-on none "$deb" > "$work/lintian.log" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.log")"
address="$(id -un)@$(hostname)"
tags=0
while read -r line; do
    case "$line" in
        [EWIPXO]": ditessary: "@(bogus-mail-host|bogus-mail-host-in-debian-changelog|root-in-contact)" "*"$address"*) ;;
        [EWIPXO]": "*) fail "lintian: $line" ;;
        *) continue ;;
    esac
    tags=$((tags + 1))
done < "$work/lintian.log"
echo "lintian --pedantic: no tag but $tags on the test's own address $address"

dpkg-deb -x "$deb" "$work/extracted"
check_hardening "$work/extracted/usr/games/ditessary"
check_references "$work/extracted/usr" games
trailer=$(zcat "$work/extracted/usr/share/doc/ditessary/changelog.gz" | grep -m1 '^ -- ')
[[ "$trailer" == " -- $maintainer  "* ]] || fail "the packed changelog is signed '$trailer', not by $maintainer"
[[ "$("$work/extracted/usr/games/ditessary" --version)" == "ditessary $version" ]] ||
    fail "the packed executable prints '$("$work/extracted/usr/games/ditessary" --version)'"
echo PASS
