# The X server, window manager and programs an end-to-end test starts, and their ending
# (sourced, not run; needs poll.sh). Any of them may have ended by itself by the time a
# test ends it, so ending one is never a failure.

# started: the processes to end when the test ends, however it ends (stop_started).
started=${started:-}
# stop_started: ends them the last started first, so that no program outlives the X
# server or window manager it was started on.
stop_started() {
  stop_order=""
  for stop_next in $started; do stop_order="$stop_next $stop_order"; done
  for stop_next in $stop_order; do stop "$stop_next"; done
}

# stop PID...: ends each process that still runs and waits, a bounded time, until it is
# gone; one that ignores the request is killed outright. Each leaves the started list,
# so a number the system has since given to another process is never ended later.
stop() {
  for stop_pid in "$@"; do
    [ -z "$stop_pid" ] || kill "$stop_pid" 2> /dev/null || true
  done
  for stop_pid in "$@"; do
    [ -n "$stop_pid" ] || continue
    wait_for 10 stopped "$stop_pid" || kill -9 "$stop_pid" 2> /dev/null || true
    # Reaps it when it is this shell's child, so its number is not taken for a live one.
    wait "$stop_pid" 2> /dev/null || true
    stop_left=""
    for stop_other in $started; do
      [ "$stop_other" = "$stop_pid" ] || stop_left="$stop_left $stop_other"
    done
    started=$stop_left
  done
}
stopped() { ! kill -0 "$1" 2> /dev/null; }

# start_x_server DIR XVFB_OPTION...: a new Xvfb, which picks a free display itself and
# names it on fd 3 once it takes clients, so no two runs share a display. It never resets:
# by default an X server resets when its last client leaves, and a client that connects
# meanwhile (openbox, while a probe of xdotool has just left) is refused. Sets DISPLAY and
# x_pid, and adds it to the started list.
start_x_server() {
  x_dir=$1
  shift
  rm -f "$x_dir/display"
  Xvfb -displayfd 3 -nolisten tcp -noreset "$@" 3> "$x_dir/display" > "$x_dir/xvfb.log" 2>&1 &
  x_pid=$!
  started="$started $x_pid"
  if ! wait_for 30 grep -q '[0-9]' "$x_dir/display"; then
    echo "Xvfb did not start:" >&2
    cat "$x_dir/xvfb.log" >&2
    return 1
  fi
  DISPLAY=:$(cat "$x_dir/display")
  export DISPLAY
}

# start_window_manager DIR: openbox on $DISPLAY, waited for until it manages the screen.
# Sets wm_pid, and adds it to the started list.
start_window_manager() {
  openbox > "$1/openbox.log" 2>&1 &
  wm_pid=$!
  started="$started $wm_pid"
  if ! wait_for 30 managed; then
    echo "openbox did not start:" >&2
    cat "$1/openbox.log" >&2
    return 1
  fi
}
managed() { xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; }
