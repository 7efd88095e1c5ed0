#!/bin/sh
# Runs `qsd COMMAND [--format FORMAT] NAME.txt` in DIR against its expected stdout:
# NAME.expected for text, NAME.FORMAT.expected for another format.
# Usage: run_output_fixture.sh QSD DIR COMMAND NAME [FORMAT]
# With QSD_REGENERATE=1 the expectation is rewritten instead.
set -u
qsd=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
command=$3
name=$4
format=${5:-}
cd "$dir" || exit 1
expected=$name.expected
[ -n "$format" ] && expected=$name.$format.expected
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
if [ -n "$format" ]; then
  timeout 60 "$qsd" "$command" --format "$format" "$name.txt" > "$actual"
else
  timeout 60 "$qsd" "$command" "$name.txt" > "$actual"
fi
status=$?
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$actual" "$expected"
  echo "regenerated $expected"
  exit 0
fi
if ! diff -u "$expected" "$actual"; then
  echo "$command fixture $name: the output differs (- expected, + actual)" >&2
  exit 1
fi
[ "$status" = 0 ] || { echo "$command fixture $name: exit status $status" >&2; exit 1; }
