#!/bin/sh
# Test stage of the language server in a real editor: Neovim's own client (installed when
# missing) opens a story with planted faults, waits for its diagnostics, goes to a
# definition and renames a label; the buffer and the diagnostics must come out as
# tests/tools/lsp/editor/fox.expected says.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES=neovim ./scripts/install-deps.sh
command -v nvim > /dev/null || { echo "Neovim is still missing" >&2; exit 1; }
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev --target qsd
editor=tests/tools/lsp/editor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
cp "$editor/fox.txt" "$work/"
QSD="$PWD/build/dev/tools/qsd/qsd" STORY="$work/fox.txt" OUT="$work/session" \
  timeout 120 nvim --headless --clean -c "luafile $editor/nvim_session.lua" < /dev/null || {
  cat "$work/session" >&2 2> /dev/null || true
  echo "the Neovim session failed" >&2
  exit 1
}
if ! diff -u "$editor/fox.expected" "$work/session"; then
  echo "the Neovim session differs from $editor/fox.expected (- expected, + actual)" >&2
  exit 1
fi
echo "Neovim session: diagnostics, definition and rename as expected"
