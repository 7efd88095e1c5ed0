#!/bin/sh
# CI stage: the whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the `dev-sanitize` preset, in build/dev-sanitize). Any report
# fails the run: the preset builds with -fno-sanitize-recover=all.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --preset dev-sanitize > /dev/null
cmake --build --preset dev-sanitize -j 2
ctest --preset dev-sanitize -j 2
