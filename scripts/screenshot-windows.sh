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

. tests/lib/poll.sh
# Wine draws the title bar itself (as in its virtual desktop), so the X window holds all
# of it; the X window's name mirrors the caption, so every step can be waited for.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine "$exe" >/dev/null 2>&1 &
# waited SECONDS COMMAND...: wait_for, or the script stops naming what did not come.
waited() { wait_for "$@" || { echo "timed out waiting for: $*" >&2; exit 1; }; }
waited 60 has_window '^Quillshade Ver\.2\.0$'
main=$(xdotool search --name '^Quillshade Ver\.2\.0$' | head -n 1)
waited 20 activated "$main"
xdotool key Down
waited 30 has_window '^ファイルを開く$'
waited 20 activated "$(xdotool search --name '^ファイルを開く$' | head -n 1)"
xdotool type --delay 15 'C:\stories\screenshot.qsd'
xdotool key Return
waited 30 has_window "^$line\$"
waited 20 activated "$main"
mkdir -p "$(dirname "$out")"
eval "$(xdotool getwindowgeometry --shell "$main")"
# The title bar is repainted some time after the caption changes: the picture is taken
# again until two in a row are the same (as pixels, which hold no time stamp).
shots=$(mktemp -d)
shot() { import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "ppm:$shots/$1"; }
settled() {
  mv "$shots/new" "$shots/old" 2>/dev/null || shot old
  shot new
  cmp -s "$shots/old" "$shots/new"
}
waited 20 settled
convert "ppm:$shots/new" "$out"
rm -rf "$shots"
echo "wrote $out"
