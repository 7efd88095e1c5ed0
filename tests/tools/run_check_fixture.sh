#!/bin/sh
# Runs one check fixture: the story NAME.* (one planted fault) against NAME.expected,
# the diagnostics `qsd check` must print, and NAME.notes, if there is one, the notes
# it must add on stderr, and NAME.json.expected, if there is one, what `--format json`
# prints. The exit status must be 1 exactly when an error is expected.
# With QSD_REGENERATE=1 the expectations are rewritten instead.
set -u
qsd=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
name=$3
cd "$dir" || exit 1
story=""
for candidate in "$name".*; do
  case "$candidate" in "$name.expected" | "$name.notes" | "$name.json.expected") continue ;; esac
  story=$candidate
done
[ -n "$story" ] || { echo "no story for fixture $name" >&2; exit 1; }
actual=$(mktemp)
notes=$(mktemp)
json=$(mktemp)
trap 'rm -f "$actual" "$notes" "$json"' EXIT
timeout 60 "$qsd" check "$story" > "$actual" 2> "$notes"
status=$?
[ -f "$name.json.expected" ] && timeout 60 "$qsd" check --format json "$story" > "$json"
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$actual" "$name.expected"
  [ -f "$name.notes" ] && grep ': note: ' "$notes" > "$name.notes"
  [ -f "$name.json.expected" ] && cp "$json" "$name.json.expected"
  echo "regenerated $name.expected"
  exit 0
fi
if ! diff -u "$name.expected" "$actual"; then
  echo "check fixture $name: the diagnostics differ (- expected, + actual)" >&2
  exit 1
fi
if [ -f "$name.notes" ] && ! grep ': note: ' "$notes" | diff -u "$name.notes" -; then
  echo "check fixture $name: the notes differ (- expected, + actual)" >&2
  exit 1
fi
if [ -f "$name.json.expected" ] && ! diff -u "$name.json.expected" "$json"; then
  echo "check fixture $name: the JSON differs (- expected, + actual)" >&2
  exit 1
fi
want=0
grep -q ': error: ' "$name.expected" && want=1
if [ "$status" != "$want" ]; then
  echo "check fixture $name: exit status $status, expected $want" >&2
  exit 1
fi
