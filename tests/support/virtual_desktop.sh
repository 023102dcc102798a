# Sourced by the scripts that drive the real player on a virtual X display.
#
#   name=window_smoke; source ".../virtual_desktop.sh"
#   require_tools Xvfb xdotool ffmpeg     # exits 77 (skipped) when one is missing
#   start_virtual_display [WxHxD]         # Xvfb on a free display, DISPLAY exported
#
# Sourcing makes a scratch folder $work that is removed on exit, with `app` and
# `xvfb` (process ids, killed on exit) and `fail MESSAGE` (prints the message and the
# player's log, $work/app.log, then exits 1). It also gives the player a home of its
# own: HOME and every XDG folder point into $work, so a run never reads or writes the
# listener's preferences, library index or saved queue, and two runs side by side
# never share a file.
# Set `skip_status` to 2 before require_tools in benchmarks, where a missing tool is
# an error rather than a skipped test.

: "${name:?set name before sourcing virtual_desktop.sh}"
skip_status=${skip_status:-77}

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
    echo "$name: $*" >&2
    [ -f "$work/app.log" ] && sed 's/^/  app: /' "$work/app.log" >&2
    exit 1
}

export HOME="$work/home"
export XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache"
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
mkdir -p "$HOME/Music" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME"

require_tools() {
    local tool
    for tool in "$@"; do
        if ! command -v "$tool" >/dev/null; then
            echo "$name: $tool is not installed; skipping" >&2
            exit "$skip_status"
        fi
    done
}

# Xvfb picks a free display itself and tells which.
start_virtual_display() {
    Xvfb -displayfd 3 -screen 0 "${1:-1024x1100x24}" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    local _
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || fail "Xvfb did not start"
    export DISPLAY=":$(cat "$work/display")"
    # On a busy machine the display can be named a moment before it takes clients.
    if command -v xdotool >/dev/null; then
        for _ in $(seq 100); do
            xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        fail "Xvfb on $DISPLAY takes no clients"
    fi
}

# For the benchmarks: chord_music SECONDS FILE writes real music to play, a chord with
# pink noise as a 256 kb/s MP3; cpu_ticks PID prints the processor time a process has
# used so far (user + system, all its threads) in clock ticks, of which there are
# $ticks_per_second in a second.
chord_music() {
    ffmpeg -nostdin -v error -f lavfi -i "sine=f=220:d=$1,volume=0.3[a];sine=f=277:d=$1,volume=0.3[b];anoisesrc=d=$1:c=pink:a=0.1[c];[a][b][c]amix=3,aformat=channel_layouts=stereo" \
        -b:a 256k "$2"
}
ticks_per_second=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# expect_player_to_quit WHAT [SECONDS]: the player ($app) must end within SECONDS
# (default 10) of WHAT (the key or call that asked it to), with status 0.
expect_player_to_quit() {
    local what=$1 tenths=$(( ${2:-10} * 10 )) status="" _
    for _ in $(seq "$tenths"); do
        if ! kill -0 "$app" 2>/dev/null; then
            wait "$app" && status=0 || status=$?
            break
        fi
        sleep 0.1
    done
    [ -n "$status" ] || fail "the player did not quit within ${2:-10} seconds of $what"
    app=""
    [ "$status" -eq 0 ] || fail "the player ended with status $status after $what"
}
