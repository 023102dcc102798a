#!/usr/bin/env bash
# Installs what is missing, then configures and builds into build/<type>.
# Usage: scripts/build.sh [release|asan]   (prints the build folder on its last line)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"

kind=${1:-release}
case "$kind" in
    release) dir="$top/build/release"; extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
    asan)    dir="$top/build/asan"; extra=(-DCMAKE_BUILD_TYPE=Debug "-DSPOOLORA_SANITIZE=address,undefined" -DSPOOLORA_BUILD_BENCH=OFF) ;;
    *) echo "usage: scripts/build.sh [release|asan]" >&2; exit 2 ;;
esac
cmake -S "$top" -B "$dir" -G Ninja "${extra[@]}" ${SPOOLORA_CMAKE_FLAGS:-} >/dev/null
cmake --build "$dir" -j "$(nproc)"
echo "$dir"
