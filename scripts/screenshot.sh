#!/usr/bin/env bash
# Regenerates docs/screenshot.png, the README's picture, through the player's own
# headless screenshot (the same compositor the window uses).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=$("$top/scripts/build.sh" release | tail -n 1)
mkdir -p "$top/docs"
sed "s|@SCREENSHOT@|$top/docs/screenshot.png|" "$top/scripts/demo.script" |
    "$dir/src/app/spoolora" --script - >/dev/null
echo "wrote $top/docs/screenshot.png"
