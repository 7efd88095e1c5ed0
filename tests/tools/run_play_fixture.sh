#!/bin/sh
# Runs one play fixture: NAME.keys holds the keys (first line) and the stories (the rest,
# relative to the fixture folder; a .txt source is first made a story file with
# `qsd encode`, other names are passed as they are); NAME.trace is the expected
# transcript. With QSD_REGENERATE=1 the transcript is rewritten instead of compared.
set -eu
qsd=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
name=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$dir"
keys=$(sed -n 1p "$name.keys")
set --
for story in $(sed -n '2,$p' "$name.keys"); do
  case "$story" in
    *.txt)
      built="$work/$(basename "$story" .txt).qsd"
      "$qsd" encode "$story" -o "$built"
      set -- "$@" "$built"
      ;;
    *) set -- "$@" "$story" ;;
  esac
done
"$qsd" play --trace --keys "$keys" "$@" > "$work/actual" 2> "$work/stderr" || {
  cat "$work/stderr" >&2
  exit 1
}
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$work/actual" "$name.trace"
  echo "regenerated $name.trace"
  exit 0
fi
if ! diff -u "$name.trace" "$work/actual"; then
  echo "play fixture $name: the transcript differs (- expected, + actual)" >&2
  exit 1
fi
