#!/bin/sh
# Test stage: the Qt reader for Linux desktops. Its widgets are driven on Qt's offscreen
# platform, then the whole program runs under Xvfb with openbox and real key presses,
# and under a headless Wayland compositor.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="qt6-base-dev qt6-base-private-dev libxcb1-dev libwayland-dev qt6-wayland weston xvfb openbox xdotool x11-utils imagemagick fonts-ipafont-gothic" \
  ./scripts/install-deps.sh
cmake --preset qt > /dev/null
cmake --build --preset qt -j2 --target quillshade quillshade_qt_tests
# Here the tools are installed, so a skipped end-to-end run would hide a fault.
QUILLSHADE_E2E_REQUIRED=1 ctest --preset qt
