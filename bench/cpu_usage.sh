#!/usr/bin/env bash
# The player's processor use on a virtual X display (Xvfb, no graphics chip, so
# SDL's software renderer draws) with the audio engine playing real music through
# SDL's dummy driver: 30 s playing with the reels turning, then 30 s paused with the
# toolbar hidden; then 30 s playing an album-length file. The wound tape follows the
# position in the queue, so a two-minute file redraws both tape rolls every second or
# two, and a 45-minute one (an album) every half minute or so. Prints the share of one
# core the whole process used in each, from /proc/PID/stat, the display server's
# (Xvfb's) share for the same time, which it spends showing what the player sent, the
# player's own statistics for the last second (frames, renderer, process time) and its
# resident memory.
# Usage: bench/cpu_usage.sh [PATH_TO_SPOOLORA] [SECONDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/release/src/app/spoolora}
seconds=${2:-30}
[ -x "$binary" ] || { echo "cpu_usage: no player at $binary (build it first, or pass its path)" >&2; exit 2; }
name=cpu_usage skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool ffmpeg
start_virtual_display

# Real audio to play: a chord with noise, as MP3, two minutes and 45 minutes long.
chord_music 120 "$work/music.mp3"
chord_music 2700 "$work/album.mp3"
play() { # play FILE: starts the player on the file, which plays at once
    SDL_AUDIODRIVER=dummy SPOOLORA_FRAME_STATS=1 \
        "$binary" --config-dir "$work/config" --scale 2 "$1" 2>"$work/stats" &
    app=$!
    window=$(timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' | head -n 1)
    xdotool windowfocus --sync "$window" 2>/dev/null || true
}
play "$work/music.mp3"

share() { # share LABEL TICKS
    awk -v label="$1" -v t="$2" -v hz="$ticks_per_second" -v s="$seconds" \
        'BEGIN { printf "%-26s %5.2f %% of one core over %d s\n", label, 100 * t / hz / s, s }'
}
measure() { # measure LABEL
    local before after server_before server_after
    before=$(cpu_ticks "$app")
    server_before=$(cpu_ticks "$xvfb")
    sleep "$seconds"
    after=$(cpu_ticks "$app")
    server_after=$(cpu_ticks "$xvfb")
    share "$1" $((after - before))
    share "    display server (Xvfb):" $((server_after - server_before))
    echo "    load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    grep 'frames/s' "$work/stats" | tail -n 1 | sed 's/^spoolora:/    last second:/'
    awk '/^VmRSS|^VmHWM/ { printf "    %s %.1f MiB\n", $1, $2 / 1024 }' "/proc/$app/status"
}

# The file given plays at once; the first seconds fill the kept turns of the reels
# and the toolbar hides.
sleep 8
measure "playing a 2-minute file:"

# Pause; the toolbar shows on the touch and hides itself again after five seconds.
xdotool key space
sleep 7
measure "paused, toolbar hidden:"

xdotool key q
wait "$app" || true
app=""

# An album: the tape rolls are seldom redrawn. A fresh start, so nothing saved from the
# run above is brought back.
rm -rf "$work/config" "$XDG_STATE_HOME/spoolora"
play "$work/album.mp3"
sleep 8
measure "playing a 45-minute file:"
xdotool key q
wait "$app" || true
app=""
