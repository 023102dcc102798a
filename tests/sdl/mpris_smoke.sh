#!/usr/bin/env bash
# The real player on the session bus, in a window on a virtual X display: it takes
# its MPRIS name, answers busctl, plays a file handed over by OpenUri, pauses on
# PlayPause, lets a second start raise it and exit at once, and quits on Quit.
# Run under dbus-run-session. Usage: mpris_smoke.sh PATH_TO_SPOOLORA
set -euo pipefail

binary=$1
for tool in Xvfb busctl ffmpeg; do
    if ! command -v "$tool" >/dev/null; then
        echo "mpris_smoke: $tool is not installed; skipping" >&2
        exit 77
    fi
done
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "mpris_smoke: needs dbus-run-session" >&2; exit 1; }

work=$(mktemp -d)
xvfb=""
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "mpris_smoke: $*" >&2
    [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" >&2
    exit 1
}

Xvfb -displayfd 3 -screen 0 1024x1100x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
export SDL_AUDIODRIVER=dummy XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
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

busctl --user call "$name" "$path" "$player" PlayPause
status=$(get "$player" PlaybackStatus)
[ "$status" = 's "Paused"' ] || fail "PlayPause did not pause (PlaybackStatus $status)"

# A second start hands over to the running player and ends at once.
timeout 10 "$binary" --config-dir "$work/config" >"$work/second.log" 2>&1 || fail "the second start failed: $(cat "$work/second.log")"
kill -0 "$app" 2>/dev/null || fail "the first player ended when the second started"

busctl --user call "$name" "$path" org.mpris.MediaPlayer2 Quit
status=""
for _ in $(seq 100); do
    if ! kill -0 "$app" 2>/dev/null; then
        wait "$app" && status=0 || status=$?
        break
    fi
    sleep 0.1
done
[ -n "$status" ] || fail "the player did not quit within 10 seconds of Quit"
app=""
[ "$status" -eq 0 ] || fail "the player ended with status $status"
echo "mpris_smoke: name taken, properties read, commands obeyed, second start handed over, clean quit"
