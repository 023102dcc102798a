#!/usr/bin/env bash
# Resident memory of the whole player with a large library indexed, and of the
# library alone. Runs the player twice on a virtual X display, each time with its
# own index: once with only the demo tape, once with the folders given (indexed
# first with `spoolora --scan`). Each run loads the index and rescans, opens the
# music picker, pages down its songs, and prints the process's resident and peak
# resident memory from /proc/PID/status. The difference is what the library costs.
# Usage: bench/library_memory.sh SPOOLORA MUSIC_FOLDER...   (library_benchmark --keep makes 50,000 files)
set -euo pipefail
binary=${1:?usage: library_memory.sh SPOOLORA MUSIC_FOLDER...}
shift
[ -x "$binary" ] || { echo "library_memory: no player at $binary" >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
name=library_memory skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool bc
start_virtual_display

# Prints "RSS_KIB HWM_KIB TRACKS" for one run of the player with these --music folders.
measure() {
    local cache=$1
    shift
    local music=()
    for folder in "$@"; do music+=(--music "$folder"); done
    mkdir -p "$cache"
    XDG_CACHE_HOME=$cache "$binary" --scan "${music[@]}" >/dev/null 2>&1
    XDG_CACHE_HOME=$cache SDL_AUDIODRIVER=dummy "$binary" --config-dir "$work/config" --scale 1 "${music[@]}" \
        >"$work/app.log" 2>&1 &
    app=$!
    local window
    window=$(timeout 15 xdotool search --sync --onlyvisible --pid "$app" --name '^Spoolora$' | head -n 1)
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 10   # the index loaded, the unchanged rescan done
    xdotool key m   # the music picker
    sleep 2
    xdotool key End   # the end of the albums, then the songs from the top
    sleep 0.5
    for _ in $(seq 20); do xdotool key Page_Up; sleep 0.05; done
    sleep 2
    local rss hwm tracks
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$app/status")
    hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$app/status")
    tracks=$(sqlite3 "$cache/spoolora/library.db" 'select count(*) from tracks' 2>/dev/null || echo 0)
    kill "$app"; wait "$app" 2>/dev/null || true
    app=""
    echo "$rss $hwm $tracks"
}

mkdir -p "$work/nothing"
read -r demo_rss demo_hwm demo_tracks < <(measure "$work/cache-demo" "$work/nothing")
echo "demo tape only ($demo_tracks tracks):  VmRSS $((demo_rss / 1024)) MiB, VmHWM $((demo_hwm / 1024)) MiB"
start=$(date +%s.%N)
read -r big_rss big_hwm big_tracks < <(measure "$work/cache-big" "$@")
echo "with the library ($big_tracks tracks): VmRSS $((big_rss / 1024)) MiB, VmHWM $((big_hwm / 1024)) MiB" \
     "(indexed and measured in $(echo "$(date +%s.%N) - $start" | bc) s)"
extra=$((big_tracks - demo_tracks))
if [ "$extra" -gt 0 ]; then
    echo "the library's own cost: VmRSS +$(((big_rss - demo_rss) / 1024)) MiB," \
         "VmHWM +$(((big_hwm - demo_hwm) / 1024)) MiB;" \
         "$(echo "scale=1; ($big_rss - $demo_rss) * 10000 / $extra / 1024" | bc) MiB resident per 10,000 tracks"
fi
