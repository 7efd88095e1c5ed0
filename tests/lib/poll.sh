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
