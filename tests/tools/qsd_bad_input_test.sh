#!/bin/sh
# Every bad input to qsd gets a clear message and a fixed exit status, never a hang.
set -u
qsd=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

# expect STATUS PATTERN -- ARGS...: runs qsd with stdin from /dev/null and a time limit,
# checks the exit status and that stdout+stderr match PATTERN.
expect() {
  want=$1 pattern=$2
  shift 3
  timeout 10 "$qsd" "$@" < /dev/null > "$dir/out" 2>&1
  got=$?
  if [ "$got" != "$want" ] || ! grep -q -- "$pattern" "$dir/out"; then
    echo "FAIL: qsd $*: exit $got (want $want), output:" >&2
    sed 's/^/    /' "$dir/out" >&2
    failures=$((failures + 1))
  fi
}

fail_now() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

mkfifo "$dir/fifo.qsd"
printf '\000\001\377binary\000' > "$dir/binary.qsd"
printf '72 105 13 10 ' > "$dir/good.qsd"
failed='"message": "ファイルが開けません"'

expect 2 'usage: qsd' -- 
expect 2 "unknown command 'frobnicate'" -- frobnicate
grep -q 'did you mean' "$dir/out" && fail_now "a command far from every other got a suggestion"
expect 2 "did you mean 'check'?" -- chek
expect 2 "did you mean 'graph'?" -- Graph
expect 0 'usage: qsd' -- --help
expect 0 'qsd 2' -- --version
expect 0 'usage: qsd play' -- help play
expect 2 "no command 'nope'" -- help nope
expect 2 "did you mean 'check'?" -- help chek
expect 2 "did you mean '--keys'?" -- play --key d "$dir/good.qsd"
expect 2 "did you mean '--format'?" -- check --fromat=json "$dir/good.qsd"
expect 2 "unknown option '--fast'" -- play --fast --keys d "$dir/good.qsd"
grep -q 'usage:' "$dir/out" && fail_now "wrong arguments printed the whole help"
expect 2 "unknown key 'x'" -- play --keys dx "$dir/good.qsd"
expect 2 'needs a string of keys' -- play "$dir/good.qsd" --keys
expect 2 'no story file named' -- play --keys d
expect 2 'stdin is not a terminal' -- play "$dir/good.qsd"
expect 2 '--trace needs --keys' -- play --trace "$dir/good.qsd"
# The language server's arguments go through the same reader as every command's: --stdio
# is taken (a wrong argument before --help would win), files are not.
expect 0 'usage: qsd lsp' -- lsp --stdio --help
expect 2 "qsd lsp: unknown option '--port'" -- lsp --port 4000
expect 2 'qsd lsp: takes no FILE' -- lsp "$dir/good.qsd"
# A story that cannot be loaded: the reader's message in the trace, the reason on
# stderr, every key still played, and exit 1.
expect 1 "$failed" -- play --trace --keys d "$dir/missing.qsd"
expect 1 'missing.qsd: cannot be loaded as a story: no such file' -- play --keys d "$dir/missing.qsd"
expect 1 'cannot be loaded as a story: is a folder, not a file' -- play --trace --keys "" "$dir"
expect 1 'cannot be loaded as a story: not a regular file' -- play --trace --keys "" "$dir/fifo.qsd"
expect 1 "$failed" -- play --trace --keys "" /dev/zero
expect 1 'cannot be loaded as a story: holds no character codes' -- play --trace --keys "" "$dir/binary.qsd"
: > "$dir/empty.qsd"
expect 1 'cannot be loaded as a story: is empty' -- play --keys d "$dir/empty.qsd"
printf 'Hi\n' > "$dir/source.qsd"
expect 1 'a text source? name it .txt to play it' -- play --keys d "$dir/source.qsd"
expect 1 '"key": "d", "caption": "Hi"' -- play --trace --keys od "$dir/missing.qsd" "$dir/good.qsd"
expect 0 '"caption": "Hi"' -- play --trace --keys "" -- "$dir/good.qsd"

# A text source (.txt) plays directly; a fault in it stops the run before any key.
printf 'Hi\n' > "$dir/source.txt"
expect 0 '"caption": "Hi"' -- play --trace --keys "" "$dir/source.txt"
printf 'Caf\351\n' > "$dir/latin1.txt"
expect 1 'latin1.txt:1:4: error: byte 0xE9 begins no UTF-8 character (a text source plays as UTF-8' -- play --trace --keys d "$dir/good.qsd" "$dir/latin1.txt"
grep -q '"key"' "$dir/out" && fail_now "a fault in a text source did not stop the run before any key"

# On a terminal, a failed load names its reason too, and fails the run once the reader quits.
if command -v script > /dev/null; then
  # q is pressed again and again: a press before the reader has its terminal may be lost.
  (for _ in 1 2 3 4 5 6 7 8 9 10; do sleep 0.5; printf q; done) 2> /dev/null |
    timeout 10 script -qec "'$qsd' play '$dir/missing.qsd'" /dev/null > "$dir/out" 2>&1
  got=$?
  [ "$got" = 1 ] || fail_now "interactive play of a missing story exited $got (want 1)"
  grep -q 'missing.qsd: cannot be loaded as a story: no such file' "$dir/out" ||
    fail_now "interactive play did not name why the story could not be loaded"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
echo "all bad-input cases passed"
