# Shared by the Windows scripts (sourced, not run): the packages they need, and a
# private X server with a window manager and a fresh Wine prefix for one run.

QUILLSHADE_WINDOWS_PACKAGES="g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 xvfb xdotool openbox x11-utils imagemagick fonts-ipafont-gothic fonts-wine locales libxcb1-dev emscripten node-acorn"

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
# temporary folder; all of it goes away when the calling shell exits, however it exits.
quillshade_wine_session() {
  . tests/lib/poll.sh
  . tests/lib/processes.sh
  # Without it the tests fail in ways that look like faults of the reader (Down at the
  # start opened no dialog), so it is asked for by name.
  locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' ||
    { echo "Wine needs the ja_JP.UTF-8 locale: quillshade_windows_deps makes it" >&2; return 1; }
  session_dir=$(mktemp -d "${TMPDIR:-/tmp}/quillshade-wine.XXXXXX")
  trap 'quillshade_end_session' EXIT
  trap 'exit 1' INT TERM
  start_x_server "$session_dir" -screen 0 1280x800x24 || return 1
  xvfb_pid=$x_pid
  start_window_manager "$session_dir" || return 1
  openbox_pid=$wm_pid
  WINEPREFIX="$session_dir/prefix"
  WINEDEBUG=-all
  WINEARCH=win64
  LC_ALL=ja_JP.UTF-8
  export WINEPREFIX WINEDEBUG WINEARCH LC_ALL
  echo "Wine prefix $WINEPREFIX on display $DISPLAY"
  # No Mono or Gecko: the reader needs neither, and their installers would ask.
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i >"$session_dir/wineboot.log" 2>&1 ||
    { echo "wineboot failed:" >&2; cat "$session_dir/wineboot.log" >&2; return 1; }
  wineserver -w
  # A new prefix has no Marlett, and without it Wine draws the caption buttons as the
  # letters that stand for them; the font is in the prefix before any program starts.
  quillshade_marlett=$(dpkg -L fonts-wine 2>/dev/null | grep '/marlett\.ttf$' | head -n 1)
  [ -n "$quillshade_marlett" ] || { echo "no marlett.ttf: install fonts-wine" >&2; return 1; }
  cp "$quillshade_marlett" "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" || return 1
  # One server for the whole run, so each test program starts in a fraction of a second;
  # Wine's own services start now, so they hold no pipe of a test runner open later.
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}

quillshade_end_session() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
  stop_started
  [ -n "${session_dir:-}" ] && rm -rf "$session_dir"
  openbox_pid= xvfb_pid= session_dir=
}
