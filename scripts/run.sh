#!/bin/sh
# Installs what is missing, builds, and starts the reader with the sample stories at
# hand: the Qt window when there is a display, else qsd play in the terminal.
set -eu
cd "$(dirname "$0")/.."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  qt_packages="qt6-base-dev libxcb1-dev"
  [ -z "${DISPLAY:-}" ] && qt_packages="$qt_packages qt6-wayland"
  QUILLSHADE_EXTRA_PACKAGES="$qt_packages" ./scripts/install-deps.sh
  cmake --preset qt > /dev/null
  cmake --build --preset qt -j2 --target quillshade examples
  # The open dialog starts in the working directory: a folder holding just the samples.
  mkdir -p build/qt/stories
  cp build/qt/examples/*.qsd build/qt/stories/
  echo "Down opens a story (the samples are in the folder the dialog shows); Down reads on;"
  echo "1-5 answer a choice; Space minimises; File > Exit ends."
  cd build/qt/stories
  exec ../ui/qt/quillshade
fi
echo "No display (DISPLAY and WAYLAND_DISPLAY are unset), so the story plays in the terminal."
./scripts/install-deps.sh
cmake --preset dev > /dev/null
cmake --build --preset dev --target qsd
echo "Down, Enter or j reads on; 1-5 answer a choice; q quits."
exec build/dev/tools/qsd/qsd play examples/lantern.qsd "$@"
