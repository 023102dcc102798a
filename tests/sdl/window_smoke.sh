#!/usr/bin/env bash
# The real player on a virtual X display without a window manager: a window called
# "Spoolora" appears, a click on the cassette starts the reels, the T key hides the
# toolbar, any window size keeps it playing, and Q ends the process cleanly. Then
# --fullscreen fills a display of its own, and SIGTERM ends the player as Q does. Usage: window_smoke.sh PATH_TO_SPOOLORA
set -euo pipefail

binary=$1
name=window_smoke
source "$(dirname "$0")/../support/virtual_desktop.sh"
require_tools Xvfb xdotool import compare convert ffmpeg
start_virtual_display

# Something to play: a minute of a quiet tone, paused at once below.
ffmpeg -nostdin -v error -f lavfi -i "sine=frequency=440:duration=60" -metadata title="Low Tide Overture" \
    -metadata artist="The Harbour Reels" -c:a flac "$work/tone.flac"
SDL_AUDIODRIVER=dummy SPOOLORA_FRAME_STATS=1 \
    "$binary" --config-dir "$work/config" --scale 2 "$work/tone.flac" >"$work/app.log" 2>&1 &
app=$!

window=$(timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' | head -n 1) || true
[ -n "$window" ] || fail "no window named Spoolora appeared"
# The renderer was chosen by asking OpenGL in a child process: nothing of the OpenGL
# driver is left in the player (Xvfb offers only Mesa's software rasteriser, so SDL's
# own software renderer draws).
if grep -E 'libGLX|libGL\.|libEGL|libLLVM|swrast|gallium' "/proc/$app/maps" >"$work/gl-maps"; then
    fail "the OpenGL driver stayed in the player after the renderer was chosen: $(head -n 3 "$work/gl-maps")"
fi
xdotool windowfocus --sync "$window" 2>/dev/null || xdotool windowfocus "$window"
sleep 0.5
# The file given plays at once; Space pauses it so that the click below starts it again.
xdotool key space
sleep 0.5

shot() { import -window "$window" "$work/$1.png"; }
differs() { # prints how many pixels differ between two shots within a region WxH+X+Y
    compare -metric AE -extract "$3" "$work/$1.png" "$work/$2.png" null: 2>&1 || true
}

# A click on the middle of the cassette (point 148, 237 at scale 2) plays: the reels turn.
shot before-click
xdotool mousemove --window "$window" 296 474 click 1
sleep 1.5
shot playing-1
sleep 0.3
shot playing-2
turned=$(differs playing-1 playing-2 272x272+160+76)
[ "${turned%%.*}" -gt 500 ] 2>/dev/null || fail "the reels did not turn after the click ($turned pixels changed)"
# The statistics name the renderer and count the whole process's time.
grep -qE 'frames/s, .* process [0-9.]+ ms/s \(software renderer\)' "$work/app.log" ||
    fail "the frame statistics do not name the software renderer and the process's time"
# The title says what plays.
title=$(LC_ALL=C.UTF-8 xdotool getwindowname "$window")
[ "$title" = "Low Tide Overture — The Harbour Reels · Spoolora" ] || fail "the window's title is \"$title\" while playing"

# T hides the toolbar at the bottom of the screen (it shows for five seconds after a touch).
# A loaded machine may draw only a few frames a second: look again for up to 3 s.
xdotool key t
for _ in $(seq 6); do
    sleep 0.5
    shot after-t
    toolbar=$(differs playing-2 after-t 640x90+0+864)
    [ "${toolbar%%.*}" -gt 1000 ] 2>/dev/null && break
done
[ "${toolbar%%.*}" -gt 1000 ] 2>/dev/null || fail "the T key did not hide the toolbar ($toolbar pixels changed)"

# Without a window manager nothing stops a window from becoming tiny or a sliver:
# every size is drawn (or clipped) while the reels turn, and the player keeps going.
for size in "10 10" "1 1" "640 10" "2000 1" "1 960"; do
    xdotool windowsize "$window" $size
    sleep 0.4
    kill -0 "$app" 2>/dev/null || fail "the player ended when the window became $size pixels"
done
xdotool windowsize "$window" 640 960
sleep 0.6
shot resized-1
sleep 0.3
shot resized-2
turned=$(differs resized-1 resized-2 272x272+160+76)
[ "${turned%%.*}" -gt 500 ] 2>/dev/null || fail "the reels did not turn after the window sizes ($turned pixels changed)"

# Q quits through the application's termination, with status 0.
xdotool key q
expect_player_to_quit Q

# --fullscreen on a display of its own, still without a window manager: the window
# covers the display, and the screen at the largest whole scale (2× on 1280 × 1024)
# sits in the middle between black bars.
kill "$xvfb" 2>/dev/null || true
wait "$xvfb" 2>/dev/null || true
start_virtual_display 1280x1024x24
SDL_AUDIODRIVER=dummy \
    "$binary" --config-dir "$work/config" --fullscreen >"$work/app.log" 2>&1 &
app=$!
window=$(timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' | head -n 1) || true
[ -n "$window" ] || fail "no fullscreen window appeared"
sleep 1
geometry=$(xdotool getwindowgeometry --shell "$window" | tr '\n' ' ')
case "$geometry" in
    *"X=0 Y=0 WIDTH=1280 HEIGHT=1024"*) ;;
    *) fail "the fullscreen window does not cover the 1280 x 1024 display: $geometry" ;;
esac
import -window root "$work/fullscreen.png"
# What is not black: the 640 × 960 picture at (320, 32); its own dark rim may trim a little.
picture=$(convert "$work/fullscreen.png" -trim -format '%w %h %X %Y' info:)
read -r width height left top <<<"${picture//+/}"
[ "$width" -ge 620 ] && [ "$width" -le 640 ] && [ "$height" -ge 900 ] && [ "$height" -le 960 ] &&
    [ "$left" -ge 320 ] && [ "$left" -le 340 ] && [ "$top" -ge 32 ] && [ "$top" -le 92 ] ||
    fail "the fullscreen picture is not the centred 2x screen (non-black area ${width}x${height} at $left,$top)"
# SIGTERM, as a session's end sends it, ends the player through its termination too, at
# once, whether it sleeps with nothing moving on the screen or draws turning reels.
# (A background job of a script ignores SIGINT, so that one is not tried here.)
kill -TERM "$app"
expect_player_to_quit "SIGTERM while still" 3
SDL_AUDIODRIVER=dummy "$binary" --config-dir "$work/config" "$work/tone.flac" >"$work/app.log" 2>&1 &
app=$!
timeout 15 xdotool search --sync --onlyvisible --class '^spoolora$' >/dev/null || fail "no window appeared the third time"
sleep 1
kill -TERM "$app"
expect_player_to_quit "SIGTERM while playing" 3
echo "window_smoke: window shown, click and keys handled, any size survived, fullscreen fills the display, clean exit on Q and SIGTERM"
