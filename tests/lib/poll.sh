# Bounded waits for the end-to-end tests (sourced, not run).

# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds; answers
# failure after SECONDS, so a test never hangs on a window that does not come.
wait_for() {
  limit=$(($1 * 10)); shift
  n=0
  until "$@" >/dev/null 2>&1; do
    n=$((n + 1))
    [ $n -lt $limit ] || return 1
    sleep 0.1
  done
}

# has_window NAME: whether a window with that name (the caption, under X) exists.
has_window() { [ -n "$(xdotool search --name "$1" 2>/dev/null)" ]; }

# activate WINDOW: gives the window the keyboard focus and waits until it has it, asking
# again while it has not (a window manager may drop a request that comes while it is
# busy). Answers failure after 20 s, where `xdotool windowactivate --sync` waits for ever.
activate() { wait_for 20 activated "$1"; }
activated() {
  xdotool windowactivate "$1" >/dev/null 2>&1 || true
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$1" ]
}
