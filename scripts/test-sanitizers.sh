#!/bin/sh
# CI stage: the whole test suite again, built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the `dev-sanitize` preset, in build/dev-sanitize). Any report
# fails the run: the preset builds with -fno-sanitize-recover=all.
# Then the tests that drive more than one thread (the label index, check's walk, graph's
# edges, the language server and its worker) built by clang with ThreadSanitizer (the
# `dev-tsan` preset, in build/dev-tsan), which also checks the lock annotations at
# build time. Any report fails the run: halt_on_error=1.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="clang libclang-rt-14-dev ${QUILLSHADE_EXTRA_PACKAGES:-}" ./scripts/install-deps.sh
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake --preset dev-sanitize > /dev/null
cmake --build --preset dev-sanitize -j 2
ctest --preset dev-sanitize -j 2

export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
cmake --preset dev-tsan > /dev/null
cmake --build --preset dev-tsan -j 2
ctest --preset dev-tsan -j 2
