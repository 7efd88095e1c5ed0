#!/bin/sh
# Test stage of the language server in real editors and of the editors' colours:
# Neovim's own client (set up by the README's snippet) and Emacs's eglot (installed when
# missing) each open a story with planted faults, wait for its diagnostics, go to a
# definition, rename a label and complete one; the buffer and the diagnostics must come
# out as tests/tools/lsp/editor/fox.expected says, and Emacs must see the server answer
# its shutdown and end on exit. Each one's play command starts a story at the cursor's
# line. Then Vim's syntax and the VS Code grammar colour stories as their listings say.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="neovim emacs-nox elpa-eglot nodejs" ./scripts/install-deps.sh
command -v npm > /dev/null || QUILLSHADE_EXTRA_PACKAGES=npm ./scripts/install-deps.sh
command -v nvim > /dev/null || { echo "Neovim is still missing" >&2; exit 1; }
command -v emacs > /dev/null || { echo "Emacs is still missing" >&2; exit 1; }
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev --target qsd
editor=tests/tools/lsp/editor
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM
# The README's Neovim snippet, as a writer copies it, on a story named as it asks.
sed -n '/^\*\*Neovim\*\* (0.7/,/^```$/p' README.md | sed '1,/^```lua$/d; $d' > "$work/init.lua"
mkdir "$work/nvim"
cp "$editor/fox.txt" "$work/nvim/fox.story.txt"
PATH="$PWD/build/dev/tools/qsd:$PATH" SNIPPET="$work/init.lua" STORY="$work/nvim/fox.story.txt" OUT="$work/session" \
  timeout 120 nvim --headless --clean -c "luafile $editor/nvim_session.lua" < /dev/null || {
  cat "$work/session" >&2 2> /dev/null || true
  echo "the Neovim session failed" >&2
  exit 1
}
if ! diff -u "$editor/fox.expected" "$work/session"; then
  echo "the Neovim session differs from $editor/fox.expected (- expected, + actual)" >&2
  exit 1
fi
echo "Neovim session: the README's snippet, diagnostics, lenses, definition, rename and omnifunc as expected"

# The story's name picks the mode from the README's Emacs configuration.
cp "$editor/fox.txt" "$work/fox.story.txt"
emacs_status=0
PATH="$PWD/build/dev/tools/qsd:$PATH" STORY="$work/fox.story.txt" OUT="$work/emacs-session" \
  MODE="$PWD/editors/emacs/quillshade-story.el" \
  timeout 120 emacs --batch -l tests/editors/emacs_session.el < /dev/null > "$work/emacs-log" 2>&1 || emacs_status=$?
if ! diff -u "$editor/fox.expected" "$work/emacs-session" || [ "$emacs_status" -ne 0 ]; then
  cat "$work/emacs-log" >&2
  echo "the Emacs session failed or differs from $editor/fox.expected (- expected, + actual)" >&2
  exit 1
fi
echo "Emacs session: diagnostics, definition, rename, plain hover, M-TAB, shutdown and exit as expected"

# Each editor's play command starts the story, as edited, at the line of the cursor.
cp "$editor/gate.txt" "$work/gate.story.txt"
STORY="$work/gate.story.txt" QSD="$PWD/build/dev/tools/qsd/qsd" timeout 60 nvim --headless --clean \
  --cmd "set runtimepath^=$PWD/editors/vim" -c "luafile tests/editors/vim_play.lua" < /dev/null ||
  { echo "Neovim's :QuillshadePlayHere failed" >&2; exit 1; }
PATH="$PWD/build/dev/tools/qsd:$PATH" STORY="$work/gate.story.txt" MODE="$PWD/editors/emacs/quillshade-story.el" \
  timeout 60 emacs --batch -l tests/editors/emacs_play.el < /dev/null > "$work/emacs-play" 2>&1 ||
  { cat "$work/emacs-play" >&2; echo "Emacs's quillshade-story-play-here failed" >&2; exit 1; }
echo "Play commands: Neovim and Emacs start the story at the cursor's line"

# Vim's syntax, from the same token rules, on stories named as the filetype detects them.
for listing in tests/fixtures/grammar/vim/*.syntax; do
  name=$(basename "$listing" .syntax)
  story=$(ls "$editor/$name.txt" "tests/fixtures/check/$name.txt" 2> /dev/null | head -n 1)
  cp "$story" "$work/$name.story.txt"
  STORY="$work/$name.story.txt" OUT="$work/$name.syntax" timeout 60 nvim --headless --clean \
    --cmd "set runtimepath^=$PWD/editors/vim" -c "luafile tests/editors/vim_syntax.lua" < /dev/null || true
  if ! diff -u "$listing" "$work/$name.syntax"; then
    echo "Vim's syntax differs from $listing (- expected, + actual)" >&2
    exit 1
  fi
done
echo "Vim syntax: stories coloured as their listings say"

(cd editors/vscode && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
grammar="node editors/vscode/test/grammar.js"
# Every example but the CMakeLists.txt beside them.
$grammar tests/fixtures/grammar/examples examples/[!C]*.txt
$grammar tests/fixtures/grammar/check tests/fixtures/check/*.txt

# All three grammars read each line as the engine splits it.
cmake --build build/dev --target quillshade_script_parts
QUILLSHADE_REQUIRE_EDITORS=1 sh tests/editors/compare_grammars.sh build/dev/tests/quillshade_script_parts \
  tests/fixtures/check/*.txt examples/[!C]*.txt "$editor/fox.txt"
