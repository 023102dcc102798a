#!/usr/bin/env bash
# Builds Spoolora and runs every test. Works on a fresh Debian 12 machine.
# Usage: scripts/test.sh [release|asan]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$("$top/scripts/build.sh" "${1:-release}" | tail -n 1)
cd "$dir"
if [ "${1:-release}" = asan ]; then
    export LSAN_OPTIONS="suppressions=$top/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
fi
ctest --output-on-failure -j "$(nproc)" ${SPOOLORA_CTEST_FLAGS:-}
