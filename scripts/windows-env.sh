# Shared by the Windows scripts (sourced, not run): the packages they need, and a
# private X server with a window manager and a fresh Wine prefix for one run.

QUILLSHADE_WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xdotool openbox x11-utils imagemagick fonts-ipafont-gothic locales libxcb1-dev emscripten node-acorn"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Installs what is missing, and the ja_JP.UTF-8 locale: Wine takes code page 932 from
# LC_ALL, and needs the locale itself to pass Japanese file names to Linux.
quillshade_windows_deps() {
  QUILLSHADE_EXTRA_PACKAGES="$QUILLSHADE_WINDOWS_PACKAGES" ./scripts/install-deps.sh
  if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
    echo "generating the ja_JP.UTF-8 locale"
    as_root localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
  fi
}

# Starts Xvfb on a free display and openbox on it, and makes a Wine prefix under a
# temporary folder; all of it goes away when the calling shell exits.
quillshade_wine_session() {
  session_dir=$(mktemp -d "${TMPDIR:-/tmp}/quillshade-wine.XXXXXX")
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$session_dir/display" >"$session_dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  trap 'quillshade_end_session' EXIT INT TERM
  i=0
  while [ ! -s "$session_dir/display" ]; do
    i=$((i + 1))
    [ $i -le 100 ] || { echo "Xvfb did not start:" >&2; cat "$session_dir/xvfb.log" >&2; return 1; }
    sleep 0.1
  done
  DISPLAY=":$(cat "$session_dir/display")"
  export DISPLAY
  openbox >"$session_dir/openbox.log" 2>&1 &
  openbox_pid=$!
  WINEPREFIX="$session_dir/prefix"
  WINEDEBUG=-all
  WINEARCH=win64
  LC_ALL=ja_JP.UTF-8
  export WINEPREFIX WINEDEBUG WINEARCH LC_ALL
  echo "Wine prefix $WINEPREFIX on display $DISPLAY"
  # No Mono or Gecko: the reader needs neither, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$session_dir/wineboot.log" 2>&1
  wineserver -w
  # One server for the whole run, so each test program starts in a fraction of a second;
  # Wine's own services start now, so they hold no pipe of a test runner open later.
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}

quillshade_end_session() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  [ -n "${openbox_pid:-}" ] && kill "$openbox_pid" 2>/dev/null || true
  [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "${session_dir:-}" ] && rm -rf "$session_dir"
  openbox_pid= xvfb_pid= session_dir=
}
