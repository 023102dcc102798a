#!/usr/bin/env bash
# What playing costs in memory: runs the real window on a virtual X display (Xvfb)
# three times (idle with nothing to play; playing two minutes of MP3 through the
# audio engine on SDL's dummy driver; the same MP3 with a cover picture) and prints
# for each the process's resident memory from /proc/PID/status (VmRSS = RssAnon +
# RssFile, and VmHWM) and a breakdown from /proc/PID/smaps (malloc arenas of the
# threads, thread stacks, the libraries' resident pages, …). Extra environment
# (MALLOC_ARENA_MAX=…, SPOOLORA_RENDERER=…) passes through to the player, for comparisons.
# Usage: bench/playing_memory.sh [PATH_TO_SPOOLORA] [SECONDS]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/release/src/app/spoolora}
seconds=${2:-20}
[ -x "$binary" ] || { echo "playing_memory: no player at $binary (build it first, or pass its path)" >&2; exit 2; }
name=playing_memory skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool ffmpeg python3
start_virtual_display

# The same music as bench/cpu_usage.sh: two minutes of a chord with noise, as MP3; and
# the same with a 1400 × 1400 cover picture of 4.3 MiB in its tags, as albums bought
# online often have.
chord_music 120 "$work/music.mp3"
ffmpeg -nostdin -v error -i "$work/music.mp3" -f lavfi -i "testsrc2=s=1400x1400:d=1,noise=alls=100:allf=t" \
    -frames:v 1 -map 0 -map 1 -c:a copy -c:v png -id3v2_version 3 "$work/covered.mp3"

# The libraries that only FFmpeg brings into the process: FFmpeg's libraries and what
# they need, less what the player's other libraries need anyway.
resolve() { ldd "$@" | awk '/=>/ && $3 ~ /^\// { print $3 }' | xargs -r readlink -f | sort -u; }
ffmpeg_libraries=$(ldd "$binary" | awk '/=>/ && $1 ~ /^lib(av|sw)/ { print $3 }')
other_libraries=$(for library in $(readelf -d "$binary" | sed -n 's/.*NEEDED.*\[\(.*\)\]/\1/p' | grep -v -E '^lib(av|sw)'); do
    ldd "$binary" | awk -v n="$library" '$1 == n { print $3 }'
done)
closure() { { resolve "$@"; printf '%s\n' "$@" | xargs -r readlink -f; } | sort -u; }
# shellcheck disable=SC2086 # lists of paths
comm -23 <(closure $ffmpeg_libraries) <(closure $other_libraries) >"$work/ffmpeg-only"

field() { awk -v f="$1:" '$1 == f { printf "%.1f", $2 / 1024 }' "/proc/$app/status"; }
run() { # run LABEL [FILE…]
    local label=$1
    shift
    rm -rf "$work/config" "$work/state"
    SDL_AUDIODRIVER=dummy SPOOLORA_FRAME_STATS=1 "$binary" --config-dir "$work/config" --scale 2 "$@" \
        2>"$work/stats" &
    app=$!
    timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' >/dev/null
    sleep "$seconds"
    local renderer
    renderer=$(grep -o '([a-z]* renderer)' "$work/stats" | tail -n 1 || true)
    printf "%-8s VmRSS %6s MiB = RssAnon %6s + RssFile %6s (+ RssShmem %s)  VmHWM %6s MiB  %s\n" "$label" \
        "$(field VmRSS)" "$(field RssAnon)" "$(field RssFile)" "$(field RssShmem)" "$(field VmHWM)" "${renderer:-}"
    python3 "$top/bench/memory_breakdown.py" "$app" "$work/ffmpeg-only"
    kill "$app"
    wait "$app" || true
    app=""
}

echo "after ${seconds} s, load average $(cut -d' ' -f1-3 /proc/loadavg)"
run idle
run playing "$work/music.mp3"
run covered "$work/covered.mp3"
echo "load average $(cut -d' ' -f1-3 /proc/loadavg)"
