#!/bin/sh
# Installs what is missing, builds, and starts the reader with a sample story.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset dev > /dev/null
cmake --build --preset dev --target qsd
echo "Down, Enter or j reads on; 1-5 answer a choice; q quits."
exec build/dev/tools/qsd/qsd play examples/lantern.qsd "$@"
