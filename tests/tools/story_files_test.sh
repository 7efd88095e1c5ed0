#!/bin/sh
# The committed story files are what `qsd encode` makes of the text source beside each,
# so that no test reads codes written by hand. Usage: story_files_test.sh QSD FILE.qsd...
set -eu
qsd=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for file in "$@"; do
  "$qsd" encode "${file%.qsd}.txt" -o "$work/encoded.qsd"
  if ! cmp -s "$file" "$work/encoded.qsd"; then
    echo "FAIL: $file is not what qsd encode makes of ${file%.qsd}.txt: encode it again" >&2
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] || exit 1
echo "every committed story file is its source, encoded"
