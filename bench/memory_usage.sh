#!/usr/bin/env bash
# The player's memory on a virtual X display (Xvfb): drives the real window with
# keys and clicks (playing a file, two tours of the eight skins, holding a reel, the music
# picker and the share screen opened and closed) and prints the process's resident
# memory (VmRSS, of it anonymous RssAnon) and its high-water mark (VmHWM) after
# each step, from /proc/PID/status. The renderer is the player's own choice unless
# SPOOLORA_RENDERER is set (software / accelerated).
# Usage: bench/memory_usage.sh [PATH_TO_SPOOLORA]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/release/src/app/spoolora}
[ -x "$binary" ] || { echo "memory_usage: no player at $binary (build it first, or pass its path)" >&2; exit 2; }
name=memory_usage skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool ffmpeg
start_virtual_display

# Real music through the audio engine (SDL's dummy driver): three minutes of a chord.
ffmpeg -nostdin -v error -f lavfi -i "sine=f=220:d=180,volume=0.3[a];sine=f=277:d=180,volume=0.3[b];[a][b]amix=2,aformat=channel_layouts=stereo" \
    -b:a 192k "$work/music.mp3"
SDL_AUDIODRIVER=dummy SPOOLORA_FRAME_STATS=1 \
    "$binary" --config-dir "$work/config" --scale 2 "$work/music.mp3" 2>"$work/stats" &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 2
renderer=$(grep -o '([a-z]* renderer)' "$work/stats" | tail -n 1 || true)
echo "SPOOLORA_RENDERER=${SPOOLORA_RENDERER:-(unset)}: ${renderer:-renderer unknown}"

field() { awk -v f="$1:" '$1 == f { printf "%.1f", $2 / 1024 }' "/proc/$app/status"; }
# The frames drawn in the last second, from the player's own statistics.
rate() { grep -o '[0-9.]* frames/s' "$work/stats" | tail -n 1; }
report() { # report LABEL
    printf "%-34s VmRSS %6s MiB  RssAnon %6s MiB  VmHWM %6s MiB  (%s)\n" "$1" "$(field VmRSS)" "$(field RssAnon)" \
        "$(field VmHWM)" "$(rate)"
}
# A click at a point of the 320 × 480-point screen (the window is at 2×).
click() { xdotool mousemove --window "$window" $(($1 * 2)) $(($2 * 2)) click 1; }
tour() { # eight skin changes, each slide left to finish and the reels to turn a while
    for _ in 1 2 3 4 5 6 7 8; do
        xdotool key bracketright
        sleep 1.5
    done
    # Measured on a still skin: a slide under way holds both skins for its moment.
    sleep 3
}

sleep 1
report "after start (playing)"
sleep 10
report "playing 10 s"
tour
report "after the first tour of the skins"
tour
report "after the second tour of the skins"
# Hold the upper reel: seeks forward while held, the reels spinning fast.
xdotool mousemove --window "$window" 296 212 mousedown 1
sleep 3
xdotool mouseup 1
sleep 1
report "after holding the reel 3 s"
xdotool key m
sleep 1.5
report "music picker open"
click 40 22   # Cancel
sleep 1.5
report "music picker closed"
click 160 470   # the strip at the bottom brings the toolbar
sleep 1
click 264 455   # share
sleep 1.5
report "share screen open"
click 40 22     # Cancel
sleep 1.5
report "share screen closed"
sleep 10
report "playing 10 s more"

xdotool key q
wait "$app" || true
app=""
