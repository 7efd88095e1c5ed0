#!/bin/sh
# Test stage of the story toolkit: installs Graphviz when it is missing, then runs the
# graph test, which the plain test run skips on a machine without `dot`.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES=graphviz ./scripts/install-deps.sh
command -v dot > /dev/null || { echo "Graphviz's dot is still missing" >&2; exit 1; }
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev --target qsd examples
QSD_REQUIRE_DOT=1 ctest --test-dir build/dev -R '^qsd\.graph$' --output-on-failure
