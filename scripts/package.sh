#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks it the way a user would
# meet it: lists it, unpacks it into a scratch folder away from the build, validates
# its desktop entry and AppStream metadata, and runs the unpacked program there with
# --version and one scripted run whose screen needs the packaged pictures.
# Usage: scripts/package.sh [BUILD_FOLDER]   (default build/release; prints the .deb's path last)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/release}" && pwd)

fail() { echo "package: $*" >&2; exit 1; }

cd "$build"
rm -f spoolora_*.deb
cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; fail "cpack failed"; }
deb=$(ls "$build"/spoolora_*.deb)

dpkg-deb --info "$deb" | grep -E '^ (Package|Version|Depends):'
dpkg-deb --contents "$deb" >contents.txt
cat contents.txt
for wanted in ./usr/bin/spoolora ./usr/share/applications/example.spoolora.Spoolora.desktop \
              ./usr/share/metainfo/example.spoolora.Spoolora.metainfo.xml \
              ./usr/share/icons/hicolor/16x16/apps/spoolora.png ./usr/share/icons/hicolor/512x512/apps/spoolora.png \
              ./usr/share/icons/hicolor/scalable/apps/spoolora.svg ./usr/share/spoolora/resources/wheel.png; do
    grep -q " $wanted\$" contents.txt || fail "the package lacks $wanted"
done
dpkg-deb --field "$deb" Depends | grep -q 'libsdl2' || fail "the dependencies lack SDL (shlibdeps did not run?)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
desktop-file-validate "$scratch/root/usr/share/applications/example.spoolora.Spoolora.desktop"
appstreamcli validate --no-net "$scratch/root/usr/share/metainfo/example.spoolora.Spoolora.metainfo.xml" >/dev/null ||
    fail "the AppStream metadata does not validate"

program="$scratch/root/usr/bin/spoolora"
version=$(env -u SPOOLORA_RESOURCE_DIR "$program" --version)
[ "$version" = "spoolora $(sed -n 's/^project(Spoolora VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")" ] ||
    fail "unexpected version line: $version"

# The screenshot is composed from the packaged pictures, found beside the unpacked program.
sed "s|@SCREENSHOT@|$scratch/screen.png|" "$top/scripts/demo.script" |
    env -u SPOOLORA_RESOURCE_DIR HOME="$scratch/home" "$program" --script - >"$scratch/state.json" 2>"$scratch/stderr" ||
    { cat "$scratch/stderr" >&2; fail "the scripted run failed"; }
if grep -q "cannot load picture" "$scratch/stderr"; then
    cat "$scratch/stderr" >&2
    fail "the unpacked program did not find its pictures"
fi
python3 - "$scratch/state.json" <<'PY' || fail "the scripted run's state is not as expected"
import json, sys
state = json.load(open(sys.argv[1]))
text = json.dumps(state)
assert "Capstan" in text, "the skipped-to track is not on the label"
PY
[ -s "$scratch/screen.png" ] || fail "the scripted run wrote no screenshot"
echo "package: $deb checks out" >&2
echo "$deb"
