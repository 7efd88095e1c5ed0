#!/bin/sh
# Installs what is missing, builds everything and runs every test: the Linux build
# first, then each further stage that the project has (scripts/test-*.sh).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset dev
cmake --build --preset dev
ctest --preset dev
for stage in scripts/test-*.sh; do
  [ -e "$stage" ] || continue
  echo "== $stage"
  sh "$stage"
done
echo "all tests passed"
