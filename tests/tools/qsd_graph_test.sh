#!/bin/sh
# qsd graph: its dot text is accepted by Graphviz, svg is drawn by it, and a missing
# Graphviz is a clear error. Usage: qsd_graph_test.sh QSD STORY...
# Without Graphviz installed the test is skipped (exit 77) unless QSD_REQUIRE_DOT=1.
set -u
qsd=$1
shift
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

timeout 20 "$qsd" graph --format png "$1" > /dev/null 2>&1
[ $? = 2 ] || fail "--format png is not a usage error"
timeout 20 "$qsd" graph "$dir/missing.qsd" > /dev/null 2> "$dir/err"
[ $? = 1 ] && grep -q 'no such file' "$dir/err" || fail "a missing file is not reported"
timeout 20 "$qsd" graph "$1" "$1" > /dev/null 2>&1
[ $? = 2 ] || fail "two FILEs are not a usage error"
# Without dot on the PATH, svg is refused with a clear message and nothing is written.
timeout 20 env PATH=/nonexistent "$qsd" graph --format svg "$1" -o "$dir/none.svg" 2> "$dir/err"
[ $? = 1 ] && grep -q 'not installed' "$dir/err" || fail "svg without dot is not a clear error"
[ -e "$dir/none.svg" ] && fail "svg without dot wrote a file"

if ! command -v dot > /dev/null 2>&1; then
  if [ "$failures" -ne 0 ]; then exit 1; fi
  if [ "${QSD_REQUIRE_DOT:-0}" = 1 ]; then
    echo "Graphviz's dot is not installed, but QSD_REQUIRE_DOT=1" >&2
    exit 1
  fi
  echo "skipped: Graphviz's dot is not installed (apt-get install graphviz)"
  exit 77
fi

for story in "$@"; do
  name=$(basename "$story")
  if ! timeout 20 "$qsd" graph "$story" -o "$dir/$name.dot"; then
    fail "qsd graph $name failed"
    continue
  fi
  # dot rejects a malformed graph with a non-zero status and says why on stderr.
  if ! timeout 60 dot -Tsvg "$dir/$name.dot" -o "$dir/$name.check.svg" 2> "$dir/err" || [ -s "$dir/err" ]; then
    fail "Graphviz does not accept the graph of $name:"
    sed 's/^/    /' "$dir/err" >&2
  fi
  if ! timeout 60 "$qsd" graph --format svg "$story" -o "$dir/$name.svg" || ! grep -q '<svg' "$dir/$name.svg"; then
    fail "qsd graph --format svg $name drew no svg"
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
echo "all graph cases passed"
