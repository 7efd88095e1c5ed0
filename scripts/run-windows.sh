#!/bin/sh
# One command for Linux: installs what is missing, cross-builds quillshade.exe and starts it
# under Wine with a Japanese locale (so stories decode in code page 932), in the current
# X session. Example stories are copied to C:\stories in the Wine prefix.
set -eu
cd "$(dirname "$0")/.."
. scripts/windows-env.sh
./scripts/install-deps.sh
quillshade_windows_deps
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target quillshade
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "no display: run this inside a desktop session" >&2
  exit 1
fi
prefix=${WINEPREFIX:-$HOME/.wine}
[ -f "$prefix/system.reg" ] || LC_ALL=ja_JP.UTF-8 WINEDEBUG=-all wineboot -i
mkdir -p "$prefix/drive_c/stories"
cp examples/*.qsd "$prefix/drive_c/stories/" 2>/dev/null || true
echo "Down opens a story (C:\\stories\\lantern.qsd); 1-5 answer a choice; Space hides the window."
LC_ALL=ja_JP.UTF-8 WINEDEBUG=${WINEDEBUG:--all} exec wine build/windows/ui/win32/quillshade.exe
