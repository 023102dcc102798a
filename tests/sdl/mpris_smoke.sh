#!/usr/bin/env bash
# The real player on the session bus, in a window on a virtual X display: it takes
# its MPRIS name, answers busctl, plays a file handed over by OpenUri, moves to a
# position (SetPosition, Seek), takes its volume from the bus and keeps it, pauses
# on PlayPause, lets a second start raise it and exit at once, and quits on Quit.
# Run under dbus-run-session. Usage: mpris_smoke.sh PATH_TO_SPOOLORA
set -euo pipefail

binary=$1
name=mpris_smoke
source "$(dirname "$0")/../support/virtual_desktop.sh"
require_tools Xvfb busctl ffmpeg
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "mpris_smoke: needs dbus-run-session" >&2; exit 1; }
start_virtual_display
export SDL_AUDIODRIVER=dummy
# The player is real: what OpenUri opens below must be music.
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=30" "$work/Side A.flac" ||
    fail "ffmpeg could not make the test file"

"$binary" --config-dir "$work/config" --scale 1 >"$work/app.log" 2>&1 &
app=$!

name=org.mpris.MediaPlayer2.spoolora
path=/org/mpris/MediaPlayer2
player=org.mpris.MediaPlayer2.Player
get() { busctl --user get-property "$name" "$path" "$1" "$2"; }
for _ in $(seq 150); do
    get org.mpris.MediaPlayer2 Identity >/dev/null 2>&1 && break
    kill -0 "$app" 2>/dev/null || fail "the player ended before taking its name on the bus"
    sleep 0.1
done
[ "$(get org.mpris.MediaPlayer2 Identity)" = 's "Spoolora"' ] || fail "no Identity on the bus"
[ "$(get org.mpris.MediaPlayer2 DesktopEntry)" = 's "example.spoolora.Spoolora"' ] || fail "wrong DesktopEntry"

# The bus is answered from the run loop, with the tick.
busctl --user call "$name" "$path" "$player" OpenUri s "file://$work/Side%20A.flac"
status=$(get "$player" PlaybackStatus)
[ "$status" = 's "Playing"' ] || fail "OpenUri did not start playing (PlaybackStatus $status)"
get "$player" Metadata | grep -q '"xesam:url" s "file://'"$work"'/Side%20A.flac"' || fail "the metadata lacks the file"

# Jumps in the track: SetPosition to 20 s of the 30, then Seek 5 s on.
position() { get "$player" Position | cut -d' ' -f2; }
track=$(get "$player" Metadata | grep -o '"mpris:trackid" o "[^"]*"' | cut -d'"' -f4)
[ -n "$track" ] || fail "no track id in the metadata"
busctl --user call "$name" "$path" "$player" SetPosition ox "$track" 20000000
at=$(position)
[ "$at" -ge 20000000 ] && [ "$at" -lt 21500000 ] || fail "SetPosition to 20 s left the position at $at µs"
busctl --user call "$name" "$path" "$player" Seek x 5000000
at=$(position)
[ "$at" -ge 25000000 ] && [ "$at" -lt 26500000 ] || fail "Seek by 5 s from 20 s left the position at $at µs"

# The volume set from the bus is the engine's, and is kept in the preferences.
busctl --user set-property "$name" "$path" "$player" Volume d 0.4
volume=$(get "$player" Volume)
[ "$volume" = "d 0.4" ] || fail "Volume reads $volume after setting 0.4"
grep -qx 'outputVolumePerMille = 400' "$work/config/preferences.conf" ||
    fail "the volume was not kept: $(cat "$work/config/preferences.conf")"

busctl --user call "$name" "$path" "$player" PlayPause
status=$(get "$player" PlaybackStatus)
[ "$status" = 's "Paused"' ] || fail "PlayPause did not pause (PlaybackStatus $status)"

# A second start hands over to the running player and ends at once.
timeout 10 "$binary" --config-dir "$work/config" >"$work/second.log" 2>&1 || fail "the second start failed: $(cat "$work/second.log")"
kill -0 "$app" 2>/dev/null || fail "the first player ended when the second started"

busctl --user call "$name" "$path" org.mpris.MediaPlayer2 Quit
expect_player_to_quit Quit
echo "mpris_smoke: name taken, properties read, commands obeyed, position and volume set, second start handed over, clean quit"
