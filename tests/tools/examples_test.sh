#!/bin/sh
# The sample stories: the build's story files decode back to their text sources, both
# are clean under qsd check (checked together, as flags D and E carry from story to
# story), and the committed story files (which the Windows packages carry, as a cross
# build cannot run qsd) are the ones the build makes.
# Usage: examples_test.sh QSD SOURCE_DIR BUILT_DIR NAME...
set -u
qsd=$1 sources=$2 built=$3
shift 3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

texts="" stories=""
for name in "$@"; do
  texts="$texts $sources/$name.txt"
  stories="$stories $built/$name.qsd"
  if ! timeout 20 "$qsd" decode --strict "$built/$name.qsd" -o "$dir/$name.txt"; then
    fail "$name.qsd does not decode"
    continue
  fi
  # The story holds CR LF where the source has LF.
  tr -d '\r' < "$dir/$name.txt" > "$dir/$name.lf"
  cmp -s "$dir/$name.lf" "$sources/$name.txt" || fail "$name.qsd does not decode to $name.txt"
done

for files in "$texts" "$stories"; do
  # shellcheck disable=SC2086 # the file lists are split on purpose
  timeout 60 "$qsd" check $files > "$dir/check.out" 2>&1
  status=$?
  if [ "$status" != 0 ] || [ -s "$dir/check.out" ]; then
    fail "qsd check is not silent on the samples (exit $status):"
    sed 's/^/    /' "$dir/check.out" >&2
  fi
done

for name in "$@"; do
  cmp -s "$sources/$name.qsd" "$built/$name.qsd" ||
    fail "examples/$name.qsd differs from the built one: copy $built/$name.qsd over it"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
echo "all sample stories are clean and round-trip"
