#!/bin/sh
# Runs one recorded exchange with the language server: NAME.in is sent, NAME.out is the
# expected transcript. With QSD_REGENERATE=1 the transcript is rewritten instead.
set -eu
driver=$1
qsd=$2
dir=$3
name=$4
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
"$driver" "$qsd" "$dir/$name.in" > "$actual"
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$actual" "$dir/$name.out"
  echo "regenerated $name.out"
  exit 0
fi
if ! diff -u "$dir/$name.out" "$actual"; then
  echo "lsp exchange $name: the transcript differs (- expected, + actual)" >&2
  exit 1
fi
