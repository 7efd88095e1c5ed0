#!/bin/sh
# The editors' grammars read every line as the engine splits it: the TextMate grammar
# (VS Code), Vim's syntax and Emacs's mode colour the prefix, the jump, a jump on a flag
# and its labels, the commands, END and the choices exactly where the engine's
# SplitScriptLine puts them, on every story named and on generated lines that put the
# markers in every order. Lines are read alone by each grammar, so all of them go to
# each editor as one file.
# Usage: compare_grammars.sh SCRIPT_PARTS STORY...
# Without Neovim, Emacs or editors/vscode's modules (npm ci) the test is skipped (exit
# 77) unless QUILLSHADE_REQUIRE_EDITORS=1.
set -u
parts=$1
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
missing=""
command -v nvim > /dev/null || missing="$missing nvim"
command -v emacs > /dev/null || missing="$missing emacs"
command -v node > /dev/null && [ -d "$root/editors/vscode/node_modules/vscode-textmate" ] ||
  missing="$missing node+vscode-textmate"
if [ -n "$missing" ]; then
  echo "missing:$missing" >&2
  [ "${QUILLSHADE_REQUIRE_EDITORS:-0}" = 1 ] && exit 1
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every story's lines, each story ending in a line break, then the generated lines;
# where.txt names the story and line of each.
: > "$work/all.txt"
: > "$work/where.txt"
for story in "$@" generated; do
  if [ "$story" = generated ]; then
    "$parts" --generate 5000 24 > "$work/generated.txt" || exit 1
    story="$work/generated.txt"
  fi
  [ -s "$story" ] || continue
  cat "$story" >> "$work/all.txt"
  [ "$(tail -c 1 "$story" | od -An -c | tr -d ' ')" = '\n' ] || echo >> "$work/all.txt"
  lines=$(awk 'END { print NR }' "$story")
  awk -v name="$(basename "$story")" -v n="$lines" 'BEGIN { for (i = 1; i <= n; i++) print name ":" i }' >> "$work/where.txt"
done

"$parts" "$work/all.txt" > "$work/engine" || exit 1
node "$root/editors/vscode/test/parts.js" "$work/all.txt" > "$work/vscode" || exit 1
STORY="$work/all.txt" OUT="$work/vim" timeout 120 nvim --headless --clean \
  --cmd "set runtimepath^=$root/editors/vim" -c "luafile $root/tests/editors/vim_parts.lua" < /dev/null > /dev/null 2>&1 ||
  { cat "$work/vim" >&2 2> /dev/null; echo "Neovim failed" >&2; exit 1; }
STORY="$work/all.txt" OUT="$work/emacs" MODE="$root/editors/emacs/quillshade-story.el" \
  timeout 120 emacs --batch -l "$root/tests/editors/emacs_parts.el" < /dev/null > "$work/emacs-log" 2>&1 ||
  { cat "$work/emacs-log" >&2; echo "Emacs failed" >&2; exit 1; }

# One letter per character: p prefix, j jump, f flag, t target, l labels, c commands,
# k flag keyword, e END, q choices, . shown text, _ a space or tab; "!" a line that is
# not UTF-8, which each editor shows its own way.
failed=0
for editor in vscode vim emacs; do
  paste -d '|' "$work/engine" "$work/$editor" "$work/where.txt" |
    awk -F '|' '$1 != "!" && $1 != $2 { print NR "|" $3 "|" $1 "|" $2 }' > "$work/$editor.differ"
  count=$(awk 'END { print NR }' "$work/$editor.differ")
  lines=$(awk 'END { print NR }' "$work/engine")
  if [ "$count" -eq 0 ]; then
    echo "$editor: $lines lines read as the engine splits them"
    continue
  fi
  failed=1
  echo "$editor: $count of $lines lines read otherwise than the engine splits them (p prefix, j jump," \
    "f flag, t target, l labels, c commands, k keyword, e END, q choices, _ blank); the first:" >&2
  head -n 5 "$work/$editor.differ" | while IFS='|' read -r row where engine other; do
    echo "  $where: $(sed -n "${row}p" "$work/all.txt")" >&2
    echo "    engine: $engine" >&2
    echo "    $editor: $other" >&2
  done
done
exit $failed
