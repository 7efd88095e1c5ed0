#!/bin/sh
# Runs one play fixture: NAME.keys holds the keys (first line) and the story files
# (the rest, relative to the fixture folder); NAME.trace is the expected transcript.
# With QSD_REGENERATE=1 the transcript is rewritten instead of compared.
set -eu
qsd=$1
dir=$2
name=$3
keys=$(sed -n 1p "$dir/$name.keys")
files=$(sed -n '2,$p' "$dir/$name.keys")
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
cd "$dir"
# shellcheck disable=SC2086 # the file list is split on purpose
"$qsd" play --trace --keys "$keys" $files > "$actual"
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$actual" "$name.trace"
  echo "regenerated $name.trace"
  exit 0
fi
if ! diff -u "$name.trace" "$actual"; then
  echo "play fixture $name: the transcript differs (- expected, + actual)" >&2
  exit 1
fi
