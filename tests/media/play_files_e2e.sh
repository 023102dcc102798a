#!/usr/bin/env bash
# The real program plays the files it is given: `spoolora a.flac b.mp3` on a virtual
# X display with SDL's disk driver as the sound card, Ctrl+Q to quit, then the recording
# must hold a.flac's 440 Hz followed by b.mp3's 660 Hz, joined without a gap, and
# the player must be saved.
# Usage: play_files_e2e.sh PATH_TO_SPOOLORA
set -euo pipefail

binary=$1
name=play_files_e2e
source "$(dirname "$0")/../support/virtual_desktop.sh"
require_tools Xvfb xdotool ffmpeg python3

ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=1" "$work/a.flac"
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=660:sample_rate=44100:duration=1" -c:a libmp3lame "$work/b.mp3"

start_virtual_display

SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/out.raw" \
    "$binary" --config-dir "$work/config" --scale 1 "$work/a.flac" "$work/b.mp3" >"$work/app.log" 2>&1 &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --name '^Spoolora$' | head -n 1) || true
[ -n "$window" ] || fail "no window named Spoolora appeared"
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 3
# Both files have ended and the music picker is up, its search field taking letters: Ctrl+Q.
xdotool key --window "$window" ctrl+q
expect_player_to_quit Ctrl+Q 5

# Quitting saved the player where the listener left it.
grep -q '"queue"' "$work/state/spoolora/player.json" 2>/dev/null || fail "no saved player in \$XDG_STATE_HOME/spoolora"
python3 - "$work/out.raw" <<'PY' || fail "the recording does not hold the two tones"
import struct, sys
data = open(sys.argv[1], 'rb').read()
left = struct.unpack('<%df' % (len(data) // 4), data)[0::2]
sound = [i for i, x in enumerate(left) if x != 0.0]
if not sound:
    sys.exit('silence only')
start, end = sound[0], sound[-1] + 1
def hertz(a, b):
    ups = [i for i in range(a + 1, b) if left[i - 1] < 0 <= left[i]]
    return (len(ups) - 1) * 44100 / (ups[-1] - ups[0])
first, second = hertz(start + 4410, start + 39690), hertz(start + 48510, start + 83790)
print('sound %.3f s, %.1f Hz then %.1f Hz' % ((end - start) / 44100, first, second))
if abs(first - 440) > 2 or abs(second - 660) > 2 or abs((end - start) - 88200) > 44:
    sys.exit(1)
PY
