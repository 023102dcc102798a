#!/usr/bin/env bash
# The real player where no display answers (no DISPLAY, no WAYLAND_DISPLAY, and no
# XDG_RUNTIME_DIR, as over ssh or in a service): it ends with status 1 and says so in
# one line of its own, with no other library's complaint before it.
# Usage: no_display.sh PATH_TO_SPOOLORA
set -euo pipefail
binary=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u SDL_VIDEODRIVER -u SPOOLORA_RENDERER \
    HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state" XDG_DATA_HOME="$work/data" \
    XDG_CACHE_HOME="$work/cache" SDL_AUDIODRIVER=dummy \
    timeout 30 "$binary" --config-dir "$work/config" </dev/null >"$work/out" 2>"$work/err" || status=$?
if [ "$status" -ne 1 ]; then
    echo "no_display: exit status $status, expected 1" >&2
    cat "$work/err" >&2
    exit 1
fi
if [ "$(wc -l <"$work/err")" -ne 1 ] || ! grep -q '^spoolora: no display' "$work/err"; then
    echo "no_display: standard error is not our one line about the display:" >&2
    cat "$work/err" >&2
    exit 1
fi
echo "no_display: one line: $(cat "$work/err")"
