#!/bin/sh
# Test stage of the story toolkit: installs Graphviz, help2man, groff and bash-completion
# when they are missing, then runs the graph and manual tests, which the plain test run
# skips on a machine without them.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="graphviz help2man groff-base bash-completion" ./scripts/install-deps.sh
command -v dot > /dev/null || { echo "Graphviz's dot is still missing" >&2; exit 1; }
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev --target qsd examples
QSD_REQUIRE_DOT=1 ctest --test-dir build/dev -R '^qsd\.(graph|docs)$' --output-on-failure
