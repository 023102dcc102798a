#!/usr/bin/env bash
# Resident memory of the whole player with a large library indexed: indexes the
# folders with `spoolora --scan`, starts the player on a virtual X display (it loads
# the index and rescans), opens the music picker, pages down its list, and
# prints the process's resident and peak resident memory from /proc/PID/status.
# Usage: bench/library_memory.sh SPOOLORA MUSIC_FOLDER...   (library_benchmark --keep makes 50,000 files)
set -euo pipefail
binary=${1:?usage: library_memory.sh SPOOLORA MUSIC_FOLDER...}
shift
[ -x "$binary" ] || { echo "library_memory: no player at $binary" >&2; exit 2; }
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "library_memory: $tool is not installed" >&2; exit 2; }
done
music=()
for folder in "$@"; do music+=(--music "$folder"); done

work=$(mktemp -d)
xvfb="" app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_CACHE_HOME="$work/cache" XDG_DATA_HOME="$work/data"

start=$(date +%s.%N)
"$binary" --scan "${music[@]}" 2>/dev/null
echo "indexed in $(echo "$(date +%s.%N) - $start" | bc) s"

Xvfb -displayfd 3 -screen 0 1024x1100x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

SDL_AUDIODRIVER=dummy "$binary" --config-dir "$work/config" --scale 1 "${music[@]}" 2>/dev/null &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Spoolora$' | head -n 1)
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 10   # the index loaded, the unchanged rescan done
xdotool key m   # the music picker
sleep 2
for _ in $(seq 20); do xdotool key Page_Down; sleep 0.05; done
sleep 2
grep -E 'VmRSS|VmHWM' "/proc/$app/status"
tracks=$(sqlite3 "$XDG_CACHE_HOME/spoolora/library.db" 'select count(*) from tracks' 2>/dev/null || echo "?")
echo "tracks indexed: $tracks"
kill "$app"; wait "$app" 2>/dev/null || true
app=""
