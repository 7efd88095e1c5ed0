#!/bin/sh
# qsd encode, decode, check and publish from the command line: exact output, exit statuses, and
# that a failed command writes nothing. Usage: qsd_toolkit_test.sh QSD
set -u
qsd=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run ARGS...: runs qsd with a time limit; stdout in $dir/out, stderr in $dir/err.
run() {
  timeout 20 "$qsd" "$@" > "$dir/out" 2> "$dir/err" < /dev/null
  status=$?
}

# expect STATUS PATTERN ARGS...: the exit status, and PATTERN somewhere in stdout+stderr.
expect() {
  want=$1 pattern=$2
  shift 2
  run "$@"
  if [ -z "$pattern" ]; then
    # Nothing to look for: then nothing may be said on stderr either.
    if [ "$status" != "$want" ] || [ -s "$dir/err" ]; then
      fail "qsd $*: exit $status (want $want), stderr:"
      sed 's/^/    /' "$dir/err" >&2
    fi
  elif [ "$status" != "$want" ] || ! cat "$dir/out" "$dir/err" | grep -q -- "$pattern"; then
    fail "qsd $*: exit $status (want $want), no '$pattern' in:"
    sed 's/^/    /' "$dir/out" "$dir/err" >&2
  fi
}

# same FILE TEXT: the file holds exactly TEXT (printf escapes allowed).
same() {
  printf "$2" > "$dir/want"
  cmp -s "$1" "$dir/want" || fail "$1 holds '$(od -c "$1" | head -3)', not '$2'"
}

# --- encode -------------------------------------------------------------------------
printf 'a\r\nb\rc\n' > "$dir/breaks.txt"
expect 0 '' encode "$dir/breaks.txt" -o "$dir/breaks.qsd"
same "$dir/breaks.qsd" '97 13 10 98 13 10 99 13 10 '

printf '\357\273\277\343\201\202\n' > "$dir/bom.txt"   # BOM, then あ
timeout 20 "$qsd" encode "$dir/bom.txt" > "$dir/bom.qsd" || fail "encode to stdout failed"
same "$dir/bom.qsd" '33440 13 10 '                       # stdout: the default output

printf '\202\240\n' > "$dir/sjis.txt"                    # あ in code page 932
expect 0 '' encode --from cp932 "$dir/sjis.txt" -o "$dir/sjis.qsd"
same "$dir/sjis.qsd" '33440 13 10 '

printf 'Hi\n' | timeout 20 "$qsd" encode - > "$dir/stdout.qsd" 2> "$dir/err" || fail "encode - - failed"
same "$dir/stdout.qsd" '72 105 13 10 '

printf 'ok\nA \360\237\230\200 smile\n' > "$dir/emoji.txt"
printf 'old' > "$dir/emoji.qsd"
expect 1 "emoji.txt:2:3: error: U+1F600" encode "$dir/emoji.txt" -o "$dir/emoji.qsd"
same "$dir/emoji.qsd" 'old'                              # untouched
expect 1 'nothing written' encode "$dir/emoji.txt" -o "$dir/never.qsd"
[ -e "$dir/never.qsd" ] && fail "a failed encode left never.qsd behind"
ls -a "$dir" | grep -q '^\.never' && fail "a failed encode left a temporary file behind"
expect 0 "2:3: warning: U+1F600 '.*' cannot be written in code page 932; wrote '?'" \
  encode --lossy "$dir/emoji.txt" -o "$dir/lossy.qsd"
same "$dir/lossy.qsd" '111 107 13 10 65 32 63 32 115 109 105 108 101 13 10 '

printf 'one\ntwo' > "$dir/unbroken.txt"
expect 0 'unbroken.txt:2:1: warning: the last line has no line break' encode "$dir/unbroken.txt" -o "$dir/unbroken.qsd"
same "$dir/unbroken.qsd" '111 110 101 13 10 116 119 111 '

printf 'ok\nCaf\351\n' > "$dir/latin1.txt"
expect 1 'latin1.txt:2:4: error: byte 0xE9' encode "$dir/latin1.txt"
printf 'a\000b\n' > "$dir/nul.txt"
expect 1 'binary file' encode "$dir/nul.txt"
expect 1 'no such file' encode "$dir/missing.txt"
expect 1 'is a folder' encode "$dir"
mkfifo "$dir/fifo.txt"
expect 1 'not a regular file' encode "$dir/fifo.txt"
expect 1 'cannot be created' encode "$dir/breaks.txt" -o "$dir/no/such/folder.qsd"
expect 1 'breaks.qsd: error: this is already a story file' encode "$dir/breaks.qsd" -o "$dir/twice.qsd"
[ -e "$dir/twice.qsd" ] && fail "encode of a story file wrote one"
: > "$dir/empty.txt"
expect 1 'empty.txt: error: the text is empty' encode "$dir/empty.txt" -o "$dir/empty-out.qsd"
[ -e "$dir/empty-out.qsd" ] && fail "encode of an empty text wrote a story file"
expect 2 "unknown option '--fast'" encode --fast "$dir/breaks.txt"
expect 2 'no IN named' encode
expect 2 'name one IN' encode "$dir/breaks.txt" "$dir/bom.txt"
expect 2 '--from needs utf-8 or cp932' encode --from latin1 "$dir/breaks.txt"
expect 2 '-o needs a file name' encode "$dir/breaks.txt" -o

# Every character of code page 932 goes through encode and decode unchanged.
printf '\357\274\274\357\275\236\342\221\240\344\272\234\357\275\261\\~\n' > "$dir/marks.txt"   # ＼～①亜ｱ\~
expect 0 '' encode "$dir/marks.txt" -o "$dir/marks.qsd"
same "$dir/marks.qsd" '33119 33120 34624 34975 177 92 126 13 10 '
expect 0 '' decode "$dir/marks.qsd" -o "$dir/marks.back"
printf '\357\274\274\357\275\236\342\221\240\344\272\234\357\275\261\\~\r\n' > "$dir/marks.want"
cmp -s "$dir/marks.back" "$dir/marks.want" || fail "decode did not give back the marks"

# --- decode -------------------------------------------------------------------------
printf '72 65x 105 13 10 ' > "$dir/bad.qsd"
expect 0 "bad.qsd:1:4: warning: the token '65x' is not a number" decode "$dir/bad.qsd"
same "$dir/out" 'Hi\r\n'
printf '72 105\n13 1x0 10 99999999999 33344 ' > "$dir/lines.qsd"
expect 0 "lines.qsd:2:4: warning: the token '1x0'" decode "$dir/lines.qsd"
grep -q "lines.qsd:2:11: warning: the token '99999999999' is out of the range" "$dir/err" || fail "out of range not placed"
grep -q "lines.qsd:2:23: warning: the token '33344' is no character" "$dir/err" || fail "no character not placed"
grep -q "1:4: warning: the token '105\\\\n13'" "$dir/err" || fail "a token across a line break not named"
expect 1 "bad.qsd:1:4: error: the token '65x'" decode --strict "$dir/bad.qsd" -o "$dir/strict.txt"
[ -e "$dir/strict.txt" ] && fail "decode --strict wrote a file"
expect 0 '' decode --strict "$dir/breaks.qsd"
printf '33440 13 10 ' > "$dir/a.qsd"
expect 0 '' decode --to cp932 "$dir/a.qsd" -o "$dir/a.sjis"
same "$dir/a.sjis" '\202\240\r\n'
printf '72 13 10 ' | timeout 20 "$qsd" decode - > "$dir/stdin.txt" 2> "$dir/err" || fail "decode - failed"
same "$dir/stdin.txt" 'H\r\n'
: > "$dir/empty.qsd"
expect 1 'decodes to no character' decode "$dir/empty.qsd"
printf 'One of many words\nin a text source, named as a story file would be.\n' > "$dir/prose.qsd"
expect 1 'prose.qsd: warning: this is a text source' decode "$dir/prose.qsd"
[ "$(grep -c 'text source' "$dir/err")" = 1 ] || fail "decode of a text source said so more than once"
[ "$(grep -c "the token '" "$dir/err")" = 5 ] || fail "decode of a text source named more than five tokens"
grep -q 'prose.qsd: warning: 9 more tokens' "$dir/err" || fail "decode of a text source did not count the rest"
expect 1 'no such file' decode "$dir/missing.qsd"
expect 1 'is a folder, not a file' decode "$dir"
expect 1 'not a regular file' decode "$dir/fifo.txt"
expect 1 'not a regular file' decode /dev/zero
expect 2 "unknown option '-x'" decode -x "$dir/a.qsd"
expect 2 '--to needs utf-8 or cp932' decode --to "$dir/a.qsd"

# --- check --------------------------------------------------------------------------
expect 0 'endless-loop' check --list
expect 0 'flag-never-set' check --list
expect 2 '--list takes no FILE' check --list "$dir/a.qsd"
expect 0 '' check "$dir/breaks.qsd"
[ -s "$dir/out" ] && fail "check printed something for a clean story"
printf 'A short line.\nA somewhat longer line.\n' > "$dir/wide.txt"
expect 0 'wide.txt:2:1: warning: the line is 23 columns wide; the title bar shows about 20' check --width 20 "$dir/wide.txt"
expect 0 'walk-limit' check --max-states 1 "$dir/wide.txt"
expect 1 'no such file' check "$dir/breaks.qsd" "$dir/missing.qsd"
expect 1 'is a folder' check "$dir"
expect 1 'not a regular file' check "$dir/fifo.txt"
expect 1 'binary file' check "$dir/nul.txt"
expect 1 'sjis.txt:1:1: error: byte 0x82' check "$dir/sjis.txt"
expect 0 '' check --from cp932 "$dir/sjis.txt"
expect 2 'no FILE named' check
expect 2 '--width needs a number' check --width wide "$dir/a.qsd"
expect 2 '--max-states needs a number' check --max-states 0 "$dir/a.qsd"
expect 2 "unknown option '--all'" check --all "$dir/a.qsd"
# The formats keep the exit status; stdout is then the report alone.
expect 1 '"check": "encoding"' check --format json "$dir/sjis.txt"
expect 1 '"ruleId": "encoding"' check --format sarif "$dir/sjis.txt" "$dir/missing.qsd"
grep -q '"executionSuccessful": false' "$dir/out" || fail "an unreadable file left the SARIF run successful"
expect 0 '' check --format json "$dir/breaks.qsd"
[ "$(cat "$dir/out")" = "[]" ] || fail "check --format json printed '$(cat "$dir/out")' for a clean story"
expect 2 '--format needs text, json or sarif' check --format xml "$dir/a.qsd"

# --- graph and one wording for every command -----------------------------------------
expect 1 'latin1.txt:2:4: error: byte 0xE9' graph "$dir/latin1.txt"
for command in encode decode check graph; do
  expect 1 "qsd $command: $dir/missing.txt: no such file" "$command" "$dir/missing.txt"
  expect 1 "qsd $command: $dir: is a folder, not a file" "$command" "$dir"
done

# Wrong arguments: the error and where the help is, never the whole help.
expect 2 "see 'qsd help decode'" decode
grep -q 'usage:' "$dir/err" && fail "wrong arguments printed the whole help"

# --- ways in that need an earlier story replay as printed -------------------------
printf 'Start. >>D [d],[go]\n[go] Plain. >>E [e],[more]\n[more] More. >> [d]\n[d] Here. :: END\n[e] Only E. :: END\n' \
  > "$dir/arriving.txt"
run endings "$dir/arriving.txt"
cp "$dir/out" "$dir/endings"
replayed=0
while IFS= read -r ending; do
  line=$(echo "$ending" | cut -d: -f2)
  options=$(echo "$ending" | sed -n 's/.*(qsd play \(.*\))$/\1/p')
  [ -n "$options" ] || options="--keys $(echo "$ending" | sed 's/.*keys: //')"
  # shellcheck disable=SC2086 # the options as printed, split as a shell splits them
  run play $options "$dir/arriving.txt"
  grep -q "stopped at key [0-9]*: END on line $line\$" "$dir/err" || fail "qsd play $options does not end at line $line"
  replayed=$((replayed + 1))
done < "$dir/endings"
[ "$replayed" = 2 ] || fail "qsd endings listed $replayed endings of arriving.txt, not 2"
expect 2 "--flags takes D, E or DE" play --flags A --keys d "$dir/arriving.txt"
# A walk that meets its limit lists what it found, marked incomplete.
printf 'Go? ?? a,gone\na A.\nB.\nC.\nD. :: END\n' > "$dir/limited.txt"
expect 1 "max-states" endings --max-states 8 --format json "$dir/limited.txt"
tr -d ' \n' < "$dir/out" | grep -q '"complete":false,"endings":\[{[^]]*"kind":"missing-choice-label"' ||
  fail "qsd endings --max-states 8 lists nothing it found: $(cat "$dir/out")"

# --- publish: the page plays as the story does, or nothing is written ---------------
printf '<html><script type="text/plain" id="quillshade-story"></script></html>' > "$dir/reader.html"
printf 'Start\n\346\227\245 \360\237\230\200\360\237\230\200 on\n' > "$dir/twin.txt"   # 日 😀😀: '??' would ask
expect 1 "twin.txt:2:4: error: U+1F600" publish --reader "$dir/reader.html" "$dir/twin.txt" -o "$dir/twin.html"
expect 1 "twin.txt:2:4: error: writing '?' for U+1F600 .* would change what this line does" \
  publish --reader "$dir/reader.html" --replace-unencodable "$dir/twin.txt" -o "$dir/twin.html"
[ -e "$dir/twin.html" ] && fail "a refused publish wrote twin.html"
printf 'Start\nA \360\237\230\200 smile\n' > "$dir/smile.txt"
expect 0 "smile.txt:2:3: warning: U+1F600 .* wrote '?'" \
  publish --reader "$dir/reader.html" --replace-unencodable "$dir/smile.txt" -o "$dir/smile.html"

# --- play --to: the way in played as keys given first ----------------------------------
lantern=$(dirname "$0")/../../examples/lantern.txt
expect 0 'reached line 8 by the keys dd2dd, with B set' play --to 8 --trace --keys 1 "$lantern"
mv "$dir/out" "$dir/to.trace"
run play --trace --keys dd2dd1 "$lantern"
cmp -s "$dir/to.trace" "$dir/out" || fail "play --to 8 --trace differs from the trace of its keys"
printf 'Start. :: END\nNever.\n[x] Nor this.\n' > "$dir/ends.txt"
expect 1 'ends.txt: no state reaches line 2: line 1 ends with END' play --to 2 --keys '' "$dir/ends.txt"
expect 2 'ends.txt has 3 lines' play --to 4 --keys '' "$dir/ends.txt"
expect 2 'takes a line number' play --to 2x --keys '' "$dir/ends.txt"
expect 2 'give no --flags' play --to 1 --flags D --keys '' "$dir/ends.txt"

# --- play --record and qsd test --------------------------------------------------------
mkdir "$dir/plans"
printf 'Door. ?? in,out\nin Inside. :: END\nout Outside.\nRain. :: END\n' > "$dir/plans/door.txt"
expect 0 'stopped at key 2: END on line 4' play --record "$dir/plans/door.plan" --keys 2dd "$dir/plans/door.txt"
expect 0 '1 plan, 1 passed' test "$dir/plans/door.txt"
sed '$s/Rain\./Snow./' "$dir/plans/door.plan" > "$dir/plans/door.snow.plan"
expect 1 "door.snow.plan:5: step 3: expected 'Snow.' got 'Rain.' (.*door.txt:4)" test "$dir/plans"
printf 'load  Door.\nx     Inside.\n' > "$dir/plans/door.bad.plan"
expect 2 'door.bad.plan:2: malformed plan' test "$dir/plans/door.txt" "$dir/plans/door.bad.plan"
printf 'load  Door.\n' > "$dir/plans/gone.plan"
run test --format junit "$dir/plans"
[ "$status" = 2 ] || fail "qsd test --format junit: exit $status with a malformed plan"
python3 - "$dir/out" <<'PY' || fail "the JUnit report does not read as it should: $(cat "$dir/out")"
import sys, xml.etree.ElementTree as tree
root = tree.parse(sys.argv[1]).getroot()
cases = {case.get("name").rsplit("/", 1)[-1]: case for case in root.iter("testcase")}
assert root.tag == "testsuites" and root.get("tests") == "4", root.attrib
assert root.get("failures") == "2" and root.get("errors") == "1", root.attrib
assert list(cases["door.plan"]) == []
assert "expected 'Snow.'" in cases["door.snow.plan"].find("failure").get("message")
assert cases["door.bad.plan"].find("error") is not None
assert "no story beside it" in cases["gone.plan"].find("failure").text
PY
# Any keys on any example: what play records, the plan replay passes.
for story in lantern kitsune dawn; do
  keys=$(awk -v seed="$story" 'BEGIN { srand(length(seed)); for (i = 0; i < 40; i++) printf "%s", substr("dd123o", int(rand() * 6) + 1, 1) }')
  timeout 20 "$qsd" play --record "$dir/$story.plan" --keys "$keys" "$(dirname "$0")/../../examples/$story.txt" > /dev/null 2>&1
  expect 0 '1 plan, 1 passed' test "$(dirname "$0")/../../examples/$story.txt" "$dir/$story.plan"
done

# --- help ---------------------------------------------------------------------------
for command in encode decode check graph play test; do
  expect 0 "usage: qsd $command" help "$command"
  expect 0 "usage: qsd $command" "$command" --help
done
expect 0 'encode' --help

if [ "$failures" -ne 0 ]; then
  echo "$failures case(s) failed" >&2
  exit 1
fi
echo "all toolkit cases passed"
