#!/usr/bin/env bash
# Builds Spoolora and starts the player. Works on a fresh Debian 12 machine.
# Arguments are passed to the player (try --help).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$("$top/scripts/build.sh" release | tail -n 1)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ $# -eq 0 ]; then
    # No screen to open a window on: show what the player does, headless.
    echo "spoolora: no display found; running the scripted demo headless instead." >&2
    out="$dir/demo-screenshot.png"
    sed "s|@SCREENSHOT@|$out|" "$top/scripts/demo.script" |
        "$dir/src/app/spoolora" --script - >"$dir/demo-state.json"
    echo "spoolora: the demo's last screen is in $out, its state in $dir/demo-state.json" >&2
    exit 0
fi
exec "$dir/src/app/spoolora" "$@"
