#!/usr/bin/env bash
# The command line without a display: --help states the accepted scales, and a
# scale outside them is refused with one clear line and status 2 before anything
# starts. Usage: command_line.sh PATH_TO_SPOOLORA
set -uo pipefail
binary=$1
fail() { echo "command_line: $*" >&2; exit 1; }

# The help is read whole first: grep -q stops reading at its match, and the player
# writing the rest of a long help into a closed pipe would fail the pipeline.
help=$("$binary" --help) || fail "--help failed"
grep -q -- '--scale N .*0\.5 to 8' <<<"$help" || fail "--help does not state the accepted scales"
for scale in 16 0.1 -1 8.5 nan abc ""; do
    err=$("$binary" --scale "$scale" 2>&1 >/dev/null)
    status=$?
    [ "$status" -eq 2 ] || fail "--scale \"$scale\" ended with status $status, not 2"
    grep -q 'spoolora: --scale takes a number from 0.5 to 8' <<<"$err" ||
        fail "--scale \"$scale\" gave no clear message: $err"
done
for scale in 0.5 8 0 2; do
    "$binary" --scale "$scale" --version >/dev/null || fail "--scale $scale was refused"
done
echo "command_line: scales checked"
