#!/bin/sh
# Runs one check fixture: the story NAME.* (one planted fault) against NAME.expected,
# the diagnostics `qsd check` must print. The exit status must be 1 exactly when an
# error is expected. With QSD_REGENERATE=1 the expectation is rewritten instead.
set -u
qsd=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
name=$3
cd "$dir" || exit 1
story=""
for candidate in "$name".*; do
  [ "$candidate" = "$name.expected" ] && continue
  story=$candidate
done
[ -n "$story" ] || { echo "no story for fixture $name" >&2; exit 1; }
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
timeout 60 "$qsd" check "$story" > "$actual" 2> /dev/null
status=$?
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$actual" "$name.expected"
  echo "regenerated $name.expected"
  exit 0
fi
if ! diff -u "$name.expected" "$actual"; then
  echo "check fixture $name: the diagnostics differ (- expected, + actual)" >&2
  exit 1
fi
want=0
grep -q ': error: ' "$name.expected" && want=1
if [ "$status" != "$want" ]; then
  echo "check fixture $name: exit status $status, expected $want" >&2
  exit 1
fi
