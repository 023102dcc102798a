#!/usr/bin/env bash
# The player's processor use against a GTK music player's, in the same run: Audacious
# with its GTK interface and its SDL output, both on SDL's dummy audio driver, take
# turns playing the same file on one virtual X display (Xvfb). Each round starts the
# player, lets it settle, and takes the share of one core it used over the next
# seconds, and the display server's share for the same time; at the end, the means
# and their ratio. The player's figure is meant to stay within twice Audacious's.
# Needs Debian's audacious and audacious-plugins (apt-get install audacious
# audacious-plugins); they are not among the packages scripts/install-deps.sh installs.
# Usage: bench/cpu_against_gtk_player.sh [PATH_TO_SPOOLORA] [ROUNDS] [SECONDS] [MINUTES_OF_MUSIC]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/release/src/app/spoolora}
rounds=${2:-4}
seconds=${3:-30}
minutes=${4:-45}
[ -x "$binary" ] || { echo "cpu_against_gtk_player: no player at $binary (build it first, or pass its path)" >&2; exit 2; }
name=cpu_against_gtk_player skip_status=2
source "$top/tests/support/virtual_desktop.sh"
require_tools Xvfb xdotool ffmpeg audacious
start_virtual_display
registry="$XDG_CONFIG_HOME/audacious/plugin-registry"

# A chord with noise, as MP3, as bench/cpu_usage.sh plays it.
chord_music $((minutes * 60)) "$work/music.mp3"

# Audacious writes its list of plugins at its first start; in it, only the SDL output
# is then left enabled (a plugin's "enabled" line ends its entry).
SDL_AUDIODRIVER=dummy timeout -s INT 5 audacious -G >/dev/null 2>&1 || true
[ -f "$registry" ] || fail "Audacious wrote no plugin list at $registry"
awk '/^[a-z]+ \// { kind = $1; path = $2 }
     /^enabled / && kind == "output" { $0 = "enabled " (path ~ /\/sdlout\.so$/ ? 1 : 0) }
     { print }' "$registry" >"$registry.new"
mv "$registry.new" "$registry"
grep -q 'sdlout' "$registry" || fail "Audacious has no SDL output (is audacious-plugins installed?)"

# run NAME COMMAND...: adds "NAME PLAYER_TICKS SERVER_TICKS" for one round to $work/rounds.
run() {
    local who=$1 before after server_before server_after
    shift
    SDL_AUDIODRIVER=dummy "$@" >"$work/$who.log" 2>&1 &
    app=$!
    sleep 8
    kill -0 "$app" 2>/dev/null || fail "$who ended early: $(tail -n 3 "$work/$who.log")"
    before=$(cpu_ticks "$app")
    server_before=$(cpu_ticks "$xvfb")
    sleep "$seconds"
    after=$(cpu_ticks "$app")
    server_after=$(cpu_ticks "$xvfb")
    kill -TERM "$app" 2>/dev/null || true
    wait "$app" 2>/dev/null || true
    app=""
    # Audacious says only what went wrong; all but the missing session bus would spoil the round.
    if grep -v 'D-Bus' "$work/$who.log" | grep -q 'ERROR'; then
        fail "$who reported: $(grep -v 'D-Bus' "$work/$who.log" | grep 'ERROR' | head -n 2)"
    fi
    echo "$who $((after - before)) $((server_after - server_before))" >>"$work/rounds"
}

for round in $(seq "$rounds"); do
    run audacious audacious -G "$work/music.mp3"
    rm -rf "$work/config" "$XDG_STATE_HOME/spoolora"
    run spoolora "$binary" --config-dir "$work/config" --scale 2 "$work/music.mp3"
done
awk -v hz="$ticks_per_second" -v s="$seconds" -v minutes="$minutes" '
    { share = 100 * $2 / hz / s; server = 100 * $3 / hz / s
      printf "%-10s %5.2f %% of one core, display server %5.2f %%\n", $1, share, server
      sum[$1] += share; serverSum[$1] += server; n[$1]++ }
    END {
      a = sum["audacious"] / n["audacious"]; p = sum["spoolora"] / n["spoolora"]
      sa = serverSum["audacious"] / n["audacious"]; sp = serverSum["spoolora"] / n["spoolora"]
      printf "means over %d rounds of %d s, a %d-minute file:\n", n["spoolora"], s, minutes
      printf "  Audacious (GTK) %5.2f %%   Spoolora %5.2f %%   ratio %.2f\n", a, p, p / a
      printf "  with the display server: %5.2f %% and %5.2f %%, ratio %.2f\n", a + sa, p + sp, (p + sp) / (a + sa) }' "$work/rounds"
