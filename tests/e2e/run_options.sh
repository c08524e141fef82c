#!/usr/bin/env bash
# The Linux entry point's command line on the real executable: --help and --version print and end with status 0
# (status 1 and one line on standard error when what they print cannot be written),
# --window and --fullscreen start the program (headless here, closed by SIGTERM as a desktop closes it), and anything
# else is one usage line on standard error and status 2. Options are read in order.
# Usage: run_options.sh <ditessary executable> <version>
set -euo pipefail

program=$1
version=$2
usage="usage: ditessary [--fullscreen | --window] [--help] [--version]"
out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

fail() {
    echo "FAIL (options): $*" >&2
    exit 1
}

# Runs the program with the given arguments; a start that gets past the options runs until SIGTERM two seconds on.
run() {
    STATUS=0
    SDL_VIDEODRIVER=dummy timeout --preserve-status -s TERM 2 "$program" "$@" > "$out" 2> "$err" || STATUS=$?
}

run --version
((STATUS == 0)) && [[ "$(cat "$out")" == "ditessary $version" ]] || fail "--version: status $STATUS, '$(cat "$out")'"

run --window --help
((STATUS == 0)) && [[ "$(head -1 "$out")" == "$usage" ]] || fail "--help: status $STATUS, first line '$(head -1 "$out")'"
for key in --fullscreen --window Alt+Enter "Escape, F12" Space; do
    grep -qF -- "$key" "$out" || fail "--help does not mention $key"
done

for option in --version --help; do
    STATUS=0
    "$program" "$option" > /dev/full 2> "$err" || STATUS=$?
    ((STATUS == 1)) && [[ "$(cat "$err")" == "ditessary: cannot write to standard output: No space left on device" ]] ||
        fail "$option > /dev/full: status $STATUS, said '$(cat "$err")'"
done

for shape in --window --fullscreen "--fullscreen --window"; do
    # shellcheck disable=SC2086  # the shapes are words
    run $shape
    ((STATUS == 0)) && grep -q "^DirectDrawCreateEx OK$" "$err" || fail "$shape: status $STATUS, $(head -3 "$err")"
done

for wrong in --windowed -w window --version=2; do
    run "$wrong"
    ((STATUS == 2)) && [[ ! -s "$out" ]] && [[ "$(cat "$err")" == "ditessary: unknown option '$wrong'; $usage" ]] ||
        fail "$wrong: status $STATUS, said '$(cat "$err")'"
done

run --help --bogus
((STATUS == 0)) || fail "--help --bogus: status $STATUS"
run --bogus --help
((STATUS == 2)) || fail "--bogus --help: status $STATUS"
echo "PASS (options)"
