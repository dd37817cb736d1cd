#!/usr/bin/env bash
# The main job: builds everything, builds the demo install set (a single-file setup that
# kitmaker makes from the example manifest tools/kitmaker/example/sample.toml), runs it under
# Wine and saves PNG screenshots of the main window and dialogs.
# With $DISPLAY set the run is shown on that display (slowed down so it can be watched);
# otherwise it runs headless on the bench's private Xvfb. The driver answers every dialog.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh

tests/winebench/kind --describe
tree=$(tests/winebench/kind --tree)
. "$tree/demo-paths.sh"
out="$PWD/out/demo"
rm -rf "$out"
mkdir -p "$out"
mkdir -p "$out/sample/files"
build/native/tools/kitmaker/mksample "$out/sample/files"
cp tools/kitmaker/example/sample.toml "$out/sample/"
build/native/tools/kitmaker/kitmaker build "$out/sample/sample.toml" -o "$out/SAMPLE.EXE" \
  --setup "$setup_exe" --library "$kompak32_dll"

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
show=(); pause=0
if [ -n "${DISPLAY:-}" ]; then show=(--show); pause=1500; fi
echo "demo: running $out/SAMPLE.EXE under Wine${DISPLAY:+ on display $DISPLAY}"
status=0
tests/winebench/session "${show[@]}" tests/winebench/winerun "${show[@]}" --timeout 180 \
  "$demo_driver" "$(winpath "$out/SAMPLE.EXE")" "$(winpath "$out")" "$pause" || status=$?
echo "demo: screenshots in $out/"
ls "$out"/*.png 2>/dev/null | sed 's/^/  /' || true
exit $status
