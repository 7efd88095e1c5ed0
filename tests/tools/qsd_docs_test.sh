#!/bin/bash
# The manual: the story guide's Traps list and qsd(1) name every check, quillshade-story(5) renders the README's
# story guide without losing a trap, the guide's worked example plays as it says, and the
# bash completion offers story files, option values, and nothing after --keys.
# Usage: qsd_docs_test.sh QSD SOURCE_DIR (exit 77 when help2man or bash-completion is missing)
set -u
qsd=$1 source=$2
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Every check has its line in the story guide's Traps list, which ends the guide.
guide=$(sed -n '/^## Writing a story$/,/^## /p' "$source/README.md")
traps=$(echo "$guide" | sed -n '/^\*\*Traps\*\*/,$p')
for check in $("$qsd" check --list | awk '{ print $1 }'); do
  echo "$traps" | grep -qF -- "[$check]" || fail "the guide's Traps list has no line for the check $check"
done
[ "$failures" -eq 0 ] || exit 1

command -v help2man > /dev/null && command -v groff > /dev/null || exit 77
[ -f /usr/share/bash-completion/bash_completion ] || exit 77
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

sh "$source/packaging/linux/qsd-docs.sh" "$qsd" "$dir" || fail "qsd-docs.sh failed"
zcat "$dir/qsd.1.gz" | groff -man -Tutf8 -P-cbou 2> /dev/null > "$dir/qsd.txt"
for check in $("$qsd" check --list | awk '{ print $1 }'); do
  grep -q "^ *$check\$" "$dir/qsd.txt" || fail "qsd(1) does not list the check $check"
done
grep -q 'quillshade-story(5)' "$dir/qsd.txt" || fail "qsd(1) does not point to quillshade-story(5)"

sh "$source/packaging/linux/story-page.sh" "$source/README.md" "$dir/story.5" || fail "story-page.sh failed"
warnings=$(groff -k -man -Tutf8 -ww -P-cbou "$dir/story.5" 2>&1 > "$dir/story.txt")
[ -z "$warnings" ] || fail "quillshade-story(5) draws roff warnings: $warnings"
guide=$(sed -n '/^## Writing a story$/,/^## /p' "$source/README.md")
# The page as one line: a name broken after one of its hyphens is joined again.
sed -e :a -e '/-$/N; s/-\n */-/; ta' "$dir/story.txt" | tr '\n' ' ' | tr -s ' ' > "$dir/story.line"
for trap in $(echo "$guide" | grep -o '\[[a-z-]*[a-z]\]' | sort -u); do
  grep -qF -- "$trap" "$dir/story.line" || fail "quillshade-story(5) lost $trap"
done

# The worked example: clean, and the keys the guide gives end where it says.
echo "$guide" | sed -n '/A worked example/,/^```$/p' | sed -n '/^```text$/,/^```$/p' | sed '1d;$d' > "$dir/example.txt"
[ -s "$dir/example.txt" ] || fail "no worked example in the story guide"
"$qsd" check "$dir/example.txt" > "$dir/check.out" 2>&1 || fail "the worked example does not check clean"
[ -s "$dir/check.out" ] && fail "qsd check on the worked example: $(cat "$dir/check.out")"
keys=$(echo "$guide" | grep -o 'qsd play --keys [a-z0-9]*' | head -1 | awk '{ print $4 }')
last=$(echo "$guide" | sed -n '/A worked example/,$p' | grep -o 'shows "[^"]*" and the story ends' | sed 's/shows "\(.*\)" and.*/\1/')
shown=$("$qsd" play --keys "$keys" "$dir/example.txt" | tail -1)
[ -n "$last" ] && [ "$shown" = "$last" ] || fail "qsd play --keys '$keys' ends on '$shown', the guide says '$last'"

# complete WORDS...: what the completion offers for the last word, in the story folder.
mkdir "$dir/stories" "$dir/stories/more"
touch "$dir/stories/a.txt" "$dir/stories/b.qsd" "$dir/stories/c.png"
complete_line() {
  (cd "$dir/stories" && bash -c '. /usr/share/bash-completion/bash_completion; . "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _qsd qsd; printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' "$dir/qsd" "$@")
}
[ "$(complete_line qsd check '')" = "a.txt b.qsd more " ] || fail "qsd check offers: $(complete_line qsd check '')"
[ "$(complete_line qsd play --keys '')" = " " ] || fail "qsd play --keys offers: $(complete_line qsd play --keys '')"
[ "$(complete_line qsd check --format '')" = "json sarif text " ] ||
  fail "qsd check --format offers: $(complete_line qsd check --format '')"
[ "$(complete_line qsd lsp '')" = " " ] || fail "qsd lsp offers: $(complete_line qsd lsp '')"
exit $((failures > 0))
