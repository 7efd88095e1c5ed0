#!/bin/sh
# qsd.exe under Wine against the Linux qsd: every command but interactive play gives
# the same bytes on stdout and stderr and the same exit status on the sample stories,
# and Japanese file names with spaces go in and out through the wide command line.
# Usage: qsd_windows_test.sh QSD_EXE LINUX_QSD EXAMPLES_DIR. Runs in the caller's Wine
# prefix (LC_ALL=ja_JP.UTF-8).
set -u
absolute() { (cd "$(dirname "$1")" && echo "$(pwd)/$(basename "$1")"); }
exe=$(absolute "$1") linux=$(absolute "$2") examples=$(cd "$3" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0 cases=0

# same ARGS...: runs both with the same arguments in this folder, compares everything.
same() {
  cases=$((cases + 1))
  "$linux" "$@" > linux.out 2> linux.err
  linux_status=$?
  wine "$exe" "$@" > windows.out 2> windows.err
  windows_status=$?
  if [ "$linux_status" != "$windows_status" ] || ! cmp -s linux.out windows.out || ! cmp -s linux.err windows.err; then
    failures=$((failures + 1))
    echo "FAIL: qsd $* (exit $linux_status on Linux, $windows_status on Windows)" >&2
    diff linux.out windows.out | head -n 5 >&2
    diff linux.err windows.err | head -n 5 >&2
  fi
}

stories=""
for text in "$examples"/*.txt; do
  name=$(basename "$text" .txt)
  [ "$name" != CMakeLists ] || continue
  cp "$text" "$name.txt"
  "$linux" encode "$name.txt" -o "$name.qsd" || { echo "FAIL: the Linux qsd cannot encode $name.txt" >&2; exit 1; }
  stories="$stories $name"
done

for name in $stories; do
  same encode "$name.txt"
  same decode "$name.qsd"
  same decode --to cp932 "$name.qsd"
  same graph "$name.txt"
  same graph "$name.qsd"
  same play --trace --keys dddd1dddd2ddddd3dddo "$name.qsd"
done
# shellcheck disable=SC2086 # the story names are split on purpose
same check $(for name in $stories; do printf '%s.txt %s.qsd ' "$name" "$name"; done)
same --version
same --help
same check missing.qsd
same play --keys d

# Japanese names with a space, written by qsd.exe and read back by both.
cp lantern.txt "灯籠 の 物語.txt"
cases=$((cases + 1))
if ! wine "$exe" encode "灯籠 の 物語.txt" -o "灯籠 の 物語.qsd" || ! cmp -s "灯籠 の 物語.qsd" lantern.qsd; then
  failures=$((failures + 1))
  echo "FAIL: qsd.exe does not write the story under a Japanese file name" >&2
fi
same decode "灯籠 の 物語.qsd"
same play --trace --keys dd1d "灯籠 の 物語.qsd"
same graph "灯籠 の 物語.txt"

# On a console (Wine's, on a pseudo-terminal here) the text goes out through the wide
# console output, which Wine shows in UTF-8; the bytes themselves would show as mojibake.
cases=$((cases + 1))
first_line=$("$linux" decode kitsune.qsd | head -n 1 | tr -d '\r')
if ! script -qec "wine '$exe' decode kitsune.qsd" /dev/null < /dev/null | tr -d '\r' | grep -qF "$first_line"; then
  failures=$((failures + 1))
  echo "FAIL: qsd.exe on a console does not show \"$first_line\"" >&2
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures of $cases cases differ between qsd.exe and qsd" >&2
  exit 1
fi
echo "qsd.exe matches qsd in all $cases cases"
