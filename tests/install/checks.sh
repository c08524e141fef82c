# shellcheck shell=bash
# Sourced by the install and package tests: the checks both trees get, each failing through the sourcing script's
# fail function.

# hardening-check's verdict on an executable: every line yes, but for two it cannot see in Debian 12 binaries. Its
# control-flow line wants the IBT and SHSTK marks on the linked file, which the linker leaves off as long as one
# object lacks them, and Debian 12's C start files (Scrt1.o, crti.o, crtn.o) all do; its stack-clash line looks
# for a probing loop, which only a function with a frame of several pages gets, and none of ours has one.
# check_compile_units checks those two flags on the unstripped executable instead.
check_hardening() {
    local executable=$1 report line
    report=$(hardening-check --nocfprotection "$executable") || fail "hardening-check: $report"
    while IFS= read -r line; do
        case "$line" in
            "$executable:") ;;
            " Stack clash protection: unknown, no -fstack-clash-protection instructions found") ;;
            " Control flow integrity: no, not found! (ignored)") ;;
            " "*": yes" | " "*": yes ("*) ;;
            *) fail "hardening-check: '$line'" ;;
        esac
    done <<< "$report"
    [[ $(grep -c ': yes' <<< "$report") -eq 5 ]] || fail "hardening-check answers yes on fewer than five lines: $report"
    echo "hardening-check: PIE, stack protector, fortified functions, read-only relocations, immediate binding"
}

# Each compile unit of the unstripped executable records the flags it was built with: every one of ours carries the
# stack-clash probes and control-flow protection, and names its file relative to the source tree, never by a path
# of the machine that built it.
check_compile_units() {
    local executable=$1 units
    units=$(readelf --debug-dump=info "$executable" 2> /dev/null |
        awk '/DW_AT_producer/ { sub(/.*\): /, ""); producer = $0 }
             /DW_AT_name/ && producer != "" { sub(/.*\): /, ""); print $0 "\t" producer; producer = "" }')
    [[ -n "$units" ]] || fail "no compile unit in $executable"
    local name producer count=0
    while IFS=$'\t' read -r name producer; do
        [[ "$name" == ./* || "$name" == build/* ]] || fail "a compile unit is named $name"
        [[ "$producer" == *" -fstack-clash-protection "* ]] || fail "$name was built without stack-clash probes"
        [[ "$producer" == *" -fcf-protection=full"* ]] || fail "$name was built without control-flow protection"
        count=$((count + 1))
    done <<< "$units"
    echo "compile units: $count, each with stack-clash probes and control-flow protection, none named by its path"
}

# Every name an installed file gives resolves in the same tree. Usage: check_references <prefix> <folder of the
# executable, relative to the prefix>.
check_references() {
    local prefix=$1 bin=$2 id=org.ditessary.ditessary
    local entry=$prefix/share/applications/$id.desktop
    local metainfo=$prefix/share/metainfo/$id.metainfo.xml

    # The desktop entry: the icon at every size the theme is given, each command an installed executable, and the
    # window class it expects the one the program gives its window (the X11 run checks the window itself).
    local icon size command
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [[ -n "$icon" ]] || fail "the desktop entry names no icon"
    for size in 16 24 32 48 64 128 256; do
        [[ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/$icon.png" ]] ||
            fail "the desktop entry's icon $icon is not installed at ${size}x${size}"
    done
    local execs
    execs=$(sed -n 's/^Exec=//p' "$entry")
    [[ $(wc -l <<< "$execs") -eq 2 ]] || fail "the desktop entry has not two Exec lines: $execs"
    while read -r command _; do
        [[ -x "$prefix/$bin/$command" ]] || fail "the desktop entry runs $command, which is not in $bin/"
    done <<< "$execs"
    [[ "$(sed -n 's/^StartupWMClass=//p' "$entry")" == "$id" ]] || fail "the desktop entry's StartupWMClass is not $id"

    # The AppStream data: its id and launchable the desktop entry, the binary it provides installed.
    [[ "$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")" == "$id" ]] || fail "the AppStream id is not $id"
    local launchable binary
    launchable=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$metainfo")
    [[ -f "$prefix/share/applications/$launchable" ]] || fail "the AppStream launchable '$launchable' is not installed"
    binary=$(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$metainfo")
    [[ -n "$binary" && -x "$prefix/$bin/$binary" ]] || fail "the AppStream binary '$binary' is not in $bin/"

    # A manual page for each command, titled with its name.
    local program page title
    for program in "$prefix/$bin"/*; do
        page=$prefix/share/man/man6/$(basename "$program").6.gz
        [[ -f "$page" ]] || fail "no manual page for $(basename "$program")"
        title=$(zcat "$page" | sed -n 's/^\.TH \([^ ]*\) .*/\1/p')
        [[ "$title" == "$(basename "$program" | tr '[:lower:]' '[:upper:]')" ]] ||
            fail "$(basename "$page") is titled $title, not after $(basename "$program")"
    done

    # The README's links: each one into the tree points at a file installed beside it.
    local doc=$prefix/share/doc/ditessary target links=0
    while read -r target; do
        [[ -f "$doc/$target" ]] || fail "the installed README links to $target, which is not installed"
        links=$((links + 1))
    done < <(grep -o '\]([^)]*)' "$doc/README.md" | sed 's/^](//; s/)$//' | grep -v '^[a-z]*:' | sort -u)
    ((links >= 5)) || fail "the installed README links to only $links files"
    echo "references: icon at 7 sizes, 2 commands, StartupWMClass, AppStream id, launchable and binary," \
        "manual page, $links README links: all installed"
}
