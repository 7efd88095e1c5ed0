#!/bin/sh
# End-to-end tests of quillshade.exe under Wine: start it in an X server, press real keys
# with xdotool and read back the caption (the X window name mirrors it), as a person would.
# Usage: run_e2e.sh [EXE]. Uses the X server and Wine prefix of the caller when
# QUILLSHADE_WINE_SESSION is set (scripts/test-windows.sh), else makes its own.
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
exe=$(cd "$(dirname "${1:-$root/build/windows/ui/win32/quillshade.exe}")" && pwd)/$(basename "${1:-quillshade.exe}")
probe=$(dirname "$exe")/../../tests/ui/win32/window_probe.exe
# The same build's qsd.exe writes the stories.
qsd_exe=$(dirname "$exe")/../../tools/qsd/qsd.exe
# Drops files on the window through X, where Wine hands them to it as the shell would.
xdnd_drop=$(dirname "$exe")/../../tests/ui/win32/xdnd_drop
cd "$root"
. scripts/windows-env.sh
. tests/lib/poll.sh
. tests/lib/story_codes.sh
[ -n "${QUILLSHADE_WINE_SESSION:-}" ] || quillshade_wine_session
# Wine draws the title bar itself, so the X window is the whole Windows window; openbox
# still minimises and restores it.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

failures=0
fail() { echo "  FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "  ok: $*"; }

window_named() { xdotool search --name "$1" | head -n 1; }
caption_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$1" ]; }
expect_caption() {
  if wait_for 20 caption_is "$1"; then pass "$2"; else fail "$2: caption is '$(xdotool getwindowname "$main")', expected '$1'"; fi
}
# X gives the window the focus before Windows gives it the keyboard, and a key that comes
# in between is lost (seen with the first key to a window just come up), so each press
# waits for both.
has_keyboard() { wine "$probe" --foreground "$(xdotool getwindowname "$main")" 2>/dev/null; }
press() {
  activate "$main" || true
  wait_for 30 has_keyboard || true
  xdotool key --delay 60 "$@"
}
is_mapped() { xwininfo -id "$main" | grep -q 'IsViewable'; }
is_unmapped() { xwininfo -id "$main" | grep -q 'IsUnMapped'; }
running() { kill -0 "$reader" 2>/dev/null; }

c++ -std=c++20 -O1 tests/lib/xdnd_drop.cpp -lxcb -o "$xdnd_drop"

stories="$WINEPREFIX/drive_c/stories"
mkdir -p "$stories"
write_story "$qsd_exe" '[start] 行灯が揺れている。' 'Second line' 'Which door? ?? red,blue' 'red The red door.' \
  'Which key? ?? one,two,three' 'blue The blue door.' 'one One.' 'two Two.' 'three Three: the end. :: END' \
  > "$stories/e2e.qsd"

# start_reader [CAPTION [ARGUMENT]]: starts the reader, with the argument if given, and
# waits for its window to show the caption (the starting one by default).
start_reader() {
  caption=${1:-'^Quillshade Ver\.2\.0$'}
  if [ $# -ge 2 ]; then wine "$exe" "$2" >"$WINEPREFIX/reader.log" 2>&1 &
  else wine "$exe" >"$WINEPREFIX/reader.log" 2>&1 &
  fi
  reader=$!
  wait_for 60 has_window "$caption" || { fail "the reader's window never showed '$caption'"; return 1; }
  main=$(window_named "$caption")
}
end_reader() {
  press alt+f x
  wait_for 30 sh -c "! kill -0 $reader" || { fail "the reader still runs after File > Exit"; kill "$reader" 2>/dev/null || true; }
}
# Opens a file through the open dialog, which has the name box focused.
open_file() {
  wait_for 30 has_window '^ファイルを開く$' || { fail "no open dialog"; return; }
  activate "$(window_named '^ファイルを開く$')" || true
  xdotool type --delay 15 "$1"
  xdotool key Return
}
probe_dialog() { wine "$probe" "$1" 2>/dev/null | tr -d '\r'; }

echo "== start"
start_reader || exit 1
pass "caption at start"
geometry=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: //p')
width=${geometry%x*}; height=${geometry#*x}
# 6750 twips at the display's 96 DPI, and only the title bar high.
if [ "$width" -eq 450 ] && [ "$height" -ge 15 ] && [ "$height" -le 40 ]; then pass "size ${geometry} (wide, title-bar high)"
else fail "size is $geometry, expected 450 wide and 15..40 high"; fi

echo "== open and read"
press Down
open_file 'C:\stories\e2e.qsd'
expect_caption '行灯が揺れている。' "Down at start opens the dialog; the story's first line shows"
press Down
expect_caption 'Second line' "Down steps"
press Down
expect_caption 'Which door?' "a choice line"
press Down
expect_caption 'Which door?' "Down waits while a choice is pending"
press 1
expect_caption 'The red door.' "choice answered with 1"
press Down
expect_caption 'Which key?' "the next choice"

echo "== cancel and a missing file"
press alt+f o
wait_for 30 has_window '^ファイルを開く$' && { activate "$(window_named '^ファイルを開く$')" || true; xdotool key Escape; }
if wait_for 20 sh -c "! xdotool search --name '^ファイルを開く\$' >/dev/null"; then pass "Cancel closes the dialog"; else fail "the dialog stayed"; fi
expect_caption 'Which key?' "Cancel changes nothing"
press alt+f o
open_file 'C:\stories\missing.qsd'
if wait_for 30 has_window '^エラー$'; then
  box=$(probe_dialog 'エラー')
  if printf "%s\n" "$box" | grep -qx 'text=ファイルが開けません' && printf "%s\n" "$box" | grep -qx 'buttons=1' && printf "%s\n" "$box" | grep -qx 'icon=0'; then
    pass "missing file: the failure box, titled エラー, OK only"
  else fail "failure box shows: $box"; fi
  activate "$(window_named '^エラー$')" || true
  xdotool key Return
  wait_for 20 sh -c "! xdotool search --name '^エラー\$' >/dev/null" && pass "OK dismisses it" || fail "the box stayed"
else fail "no failure box for a missing file"; fi
expect_caption 'Which key?' "the story read before is still there"

echo "== minimise and restore"
press space
if wait_for 20 is_unmapped; then pass "Space minimises"; else fail "Space did not minimise"; fi
xdotool windowactivate "$main" >/dev/null 2>&1 || true
if wait_for 20 is_mapped; then pass "restored"; else fail "the window did not come back"; fi
expect_caption 'Which key?' "the caption survived minimising"
# Restored by the window manager: keys reach the reader once Windows, too, has given it
# the keyboard again.
activate "$main" || true
wait_for 30 wine "$probe" --foreground 'Which key?' || fail "the restored window never got the keyboard back"
press KP_2
expect_caption 'Two.' "choice answered with keypad 2 after restoring"

echo "== version box"
press alt+h v
if wait_for 30 has_window '^Quillshade$'; then
  box=$(probe_dialog 'Quillshade')
  if printf "%s\n" "$box" | grep -q '^text=Quillshade Ver\.2\.01\\r\\n\\r\\n.' && printf "%s\n" "$box" | grep -qx 'buttons=1'; then
    pass "Help > Version shows its box"
  else fail "version box shows: $box"; fi
  activate "$(window_named '^Quillshade$')" || true
  xdotool key Return
else fail "no version box"; fi
expect_caption 'Two.' "the version box changes nothing"

echo "== exit"
press alt+f x
if wait_for 30 sh -c "! kill -0 $reader"; then pass "File > Exit ends the process"; else fail "the reader still runs after File > Exit"; kill "$reader" 2>/dev/null || true; fi

start_reader || exit 1
press alt+F4
if wait_for 30 sh -c "! kill -0 $reader"; then pass "closing the window ends the program"; else fail "the reader still runs after its window was closed"; kill "$reader" 2>/dev/null || true; fi

echo "== a story named on the command line"
mkdir -p "$stories/物語 の 棚"
cp "$stories/e2e.qsd" "$stories/物語 の 棚/夜の 物語.qsd"
if start_reader '^行灯が揺れている。$' 'C:\stories\物語 の 棚\夜の 物語.qsd'; then
  pass "quillshade.exe STORY.qsd starts on the story's first line (Japanese and spaces in the path)"
  press Down
  expect_caption 'Second line' "and reads on"
  "$xdnd_drop" "$main" "$stories/物語 の 棚/夜の 物語.qsd" || fail "the window did not take a dropped file"
  expect_caption '行灯が揺れている。' "a file dropped on the window loads"
  end_reader
fi
wine "$exe" 'C:\stories\missing.qsd' >"$WINEPREFIX/reader.log" 2>&1 &
reader=$!
if wait_for 60 has_window '^エラー$'; then
  main=$(window_named '^Quillshade Ver\.2\.0$')
  if [ -n "$main" ]; then pass "a missing story: the failure box over the window as it started"
  else fail "no starting window behind the failure box"; fi
  activate "$(window_named '^エラー$')" || true
  xdotool key Return
  if [ -n "$main" ]; then end_reader; else kill "$reader" 2>/dev/null || true; fi
else fail "no failure box for a missing story on the command line"; kill "$reader" 2>/dev/null || true; fi

if [ $failures -ne 0 ]; then
  echo "$failures end-to-end check(s) failed" >&2
  exit 1
fi
echo "all end-to-end checks passed"
