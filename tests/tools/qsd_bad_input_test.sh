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

mkfifo "$dir/fifo.qsd"
printf '\000\001\377binary\000' > "$dir/binary.qsd"
printf '72 105 13 10 ' > "$dir/good.qsd"
failed='"message": "ファイルが開けません"'

expect 2 'usage: qsd' -- 
expect 2 "unknown command 'frobnicate'" -- frobnicate
expect 0 'usage: qsd' -- --help
expect 0 'qsd 2' -- --version
expect 0 'usage: qsd play' -- help play
expect 2 "no command 'nope'" -- help nope
expect 2 "unknown option '--fast'" -- play --fast --keys d "$dir/good.qsd"
expect 2 "unknown key 'x'" -- play --keys dx "$dir/good.qsd"
expect 2 'needs a string of keys' -- play "$dir/good.qsd" --keys
expect 2 'no story file named' -- play --keys d
expect 2 'stdin is not a terminal' -- play "$dir/good.qsd"
expect 2 '--trace needs --keys' -- play --trace "$dir/good.qsd"
expect 0 "$failed" -- play --trace --keys d "$dir/missing.qsd"
expect 0 'cannot be loaded' -- play --keys d "$dir/missing.qsd"
expect 0 "$failed" -- play --trace --keys "" "$dir"
expect 0 "$failed" -- play --trace --keys "" "$dir/fifo.qsd"
expect 0 "$failed" -- play --trace --keys "" /dev/zero
expect 0 "$failed" -- play --trace --keys "" "$dir/binary.qsd"
expect 0 '"caption": "Hi"' -- play --trace --keys "" -- "$dir/good.qsd"

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
echo "all bad-input cases passed"
