#!/bin/sh
# Regenerates story/cp932_table.inc from glibc's CP932 converter.
set -eu
cd "$(dirname "$0")/.."
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
g++ -std=c++20 -O1 -o "$tmp/gen" scripts/gen_cp932_table.cpp
"$tmp/gen" > story/cp932_table.inc
echo "wrote story/cp932_table.inc"
