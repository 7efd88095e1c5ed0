#!/bin/sh
# Renders docs/screenshot-windows.png: the Windows reader under Wine, its title bar drawn
# by Wine itself, showing a Japanese line of a story.
# Usage: scripts/screenshot-windows.sh [OUTPUT.png]; builds the windows preset first.
set -eu
cd "$(dirname "$0")/.."
out=$(pwd)/${1:-docs/screenshot-windows.png}
. scripts/windows-env.sh
quillshade_windows_deps
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target quillshade
exe=$(pwd)/build/windows/ui/win32/quillshade.exe

quillshade_wine_session
line='行灯の火が揺れて、階段の上から誰かが呼んでいる。'
mkdir -p "$WINEPREFIX/drive_c/stories"
printf '%s\r\n' "$line" '次の行' | iconv -f UTF-8 -t CP932 | od -An -tu1 -v | tr -s ' ' '\n' | awk '
  NF { b = $1 + 0
       if (lead) { printf "%d ", lead * 256 + b; lead = 0 }
       else if ((b >= 129 && b <= 159) || (b >= 224 && b <= 252)) lead = b
       else printf "%d ", b }' > "$WINEPREFIX/drive_c/stories/screenshot.qsd"

# wait_for SECONDS COMMAND...: polls until the command succeeds.
wait_for() {
  limit=$(($1 * 10)); shift
  n=0
  until "$@" >/dev/null 2>&1; do
    n=$((n + 1))
    [ $n -lt $limit ] || { echo "timed out waiting for: $*" >&2; exit 1; }
    sleep 0.1
  done
}
has_window() { [ -n "$(xdotool search --name "$1" 2>/dev/null)" ]; }

# Wine draws the title bar itself (as in its virtual desktop), so the X window holds all
# of it; the X window's name mirrors the caption, so every step can be waited for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine "$exe" >/dev/null 2>&1 &
wait_for 60 has_window '^Quillshade Ver\.2\.0$'
main=$(xdotool search --name '^Quillshade Ver\.2\.0$' | head -n 1)
xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
xdotool key Down
wait_for 15 has_window '^ファイルを開く$'
xdotool type --delay 15 'C:\stories\screenshot.qsd'
xdotool key Return
wait_for 15 has_window "^$line\$"
xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
sleep 0.5  # the title bar is repainted after the caption changes
mkdir -p "$(dirname "$out")"
eval "$(xdotool getwindowgeometry --shell "$main")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out"
