#!/bin/sh
# CI stage: builds the libFuzzer targets (the `fuzz` preset: clang, AddressSanitizer and
# UBSan) in build/fuzz and runs each for a bounded time from its seed corpus in fuzz/corpus/.
# Fails when any target finds a crash, a leak, undefined behaviour or a hang; the input
# that did it is kept as build/fuzz/artifacts/TARGET-*.
# QUILLSHADE_FUZZ_SECONDS sets the time per target (default 20, so that CI stays short).
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="clang libclang-rt-14-dev ${QUILLSHADE_EXTRA_PACKAGES:-}" ./scripts/install-deps.sh
seconds=${QUILLSHADE_FUZZ_SECONDS:-20}
build=build/fuzz
mkdir -p "$build"

cmake --preset fuzz > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build --preset fuzz -j2

targets=""
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  [ -x "$build/fuzz/$name" ] && targets="$targets $name"
done
[ -n "$targets" ] || { echo "test-fuzz: no fuzz targets were built" >&2; exit 1; }

mkdir -p "$build/artifacts"
# fuzz NAME: runs one target; new inputs go to build/fuzz/corpus, never into the repo.
fuzz() {
  mkdir -p "$build/corpus/$1"
  ASAN_OPTIONS=detect_leaks=1 "$build/fuzz/$1" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/artifacts/$1-" -print_final_stats=1 "$build/corpus/$1" "fuzz/corpus/$1" \
    > "$build/$1.log" 2>&1
}

# Two at a time: the machine has two cores.
failed=""
set -- $targets
while [ $# -gt 0 ]; do
  first=$1 second=${2:-}
  shift
  [ -n "$second" ] && shift
  fuzz "$first" & pid=$!
  if [ -n "$second" ]; then fuzz "$second" || failed="$failed $second"; fi
  wait "$pid" || failed="$failed $first"
  for name in $first $second; do
    echo "== fuzz $name: $(grep -E '^stat::number_of_executed_units' "$build/$name.log" | awk '{print $2}') runs"
  done
done

if [ -n "$failed" ]; then
  for name in $failed; do
    echo "FAIL: fuzz target $name:" >&2
    tail -n 40 "$build/$name.log" >&2
  done
  exit 1
fi
echo "all fuzz targets ran clean for ${seconds}s each"
