#!/bin/sh
# Renders docs/screenshot-web.png: Chromium's tab strip, headed under Xvfb and openbox,
# with a Japanese line of a published story as the tab's title.
# Usage: scripts/screenshot-web.sh [OUTPUT.png]; builds the web page and qsd first.
set -eu
cd "$(dirname "$0")/.."
out=$(pwd)/${1:-docs/screenshot-web.png}
QUILLSHADE_EXTRA_PACKAGES="emscripten node-acorn chromium xvfb openbox imagemagick fonts-ipafont-gothic" ./scripts/install-deps.sh
cmake --workflow --preset web > /dev/null
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev -j2 --target qsd
(cd tests/ui/web && npm ci --no-audit --no-fund --loglevel=error)

work=$(mktemp -d)
pids=""
trap 'for pid in $pids; do kill "$pid" 2> /dev/null || true; done; rm -rf "$work"' EXIT
Xvfb -displayfd 3 -screen 0 1024x400x24 -nolisten tcp 3> "$work/display" 2> /dev/null &
pids="$pids $!"
. tests/lib/poll.sh
wait_for 10 grep -q '[0-9]' "$work/display" || { echo "Xvfb did not start" >&2; exit 1; }
DISPLAY=:$(cat "$work/display")
export DISPLAY
openbox > /dev/null 2>&1 &
pids="$pids $!"
printf '%s\n' '行灯の火が揺れている。' '次の行' > "$work/story.txt"
build/dev/tools/qsd/qsd publish "$work/story.txt" -o "$work/story.html" --reader build/web/ui/web/quillshade.html
node tests/ui/web/screenshot.mjs "$work/story.html" "$out"
echo "wrote $out"
