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
top=$(cd "$(dirname "$0")/.." && pwd)
name=library_memory skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool
music=()
for folder in "$@"; do music+=(--music "$folder"); done

start=$(date +%s.%N)
"$binary" --scan "${music[@]}" 2>/dev/null
echo "indexed in $(echo "$(date +%s.%N) - $start" | bc) s"

start_virtual_display

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
