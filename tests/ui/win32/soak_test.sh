#!/bin/sh
# Soak test of quillshade.exe under Wine: 100,000 key presses through a story that cycles
# through choices and jumps, after which the reader's memory, handle and GDI/USER object
# counts must be flat, and the reader must still read on at one more key.
# Not part of the Windows stage: it takes about three minutes. Build first with
# `cmake --preset windows && cmake --build --preset windows -j2`.
# Usage: soak_test.sh [EXE]. PRESSES (default 100000) and EVERY (default 10000) set the
# number of presses and the sampling interval; the first sample after EVERY presses is the
# baseline. Uses the caller's X server and Wine prefix when QUILLSHADE_WINE_SESSION is set.
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
exe=$(cd "$(dirname "${1:-$root/build/windows/ui/win32/quillshade.exe}")" && pwd)/$(basename "${1:-quillshade.exe}")
driver=$(dirname "$exe")/../../tests/ui/win32/soak_driver.exe
# The same build's qsd.exe writes the story.
qsd_exe=$(dirname "$exe")/../../tools/qsd/qsd.exe
presses=${PRESSES:-100000}
every=${EVERY:-10000}
[ -f "$exe" ] && [ -f "$driver" ] && [ -f "$qsd_exe" ] ||
  { echo "soak_test.sh: build $exe, $driver and $qsd_exe first" >&2; exit 2; }
cd "$root"
. scripts/windows-env.sh
. tests/lib/poll.sh
. tests/lib/story_codes.sh
[ -n "${QUILLSHADE_WINE_SESSION:-}" ] || quillshade_wine_session
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

caption_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$1" ]; }
caption_is_not() { ! caption_is "$1"; }
die() { echo "FAIL: $*" >&2; [ -z "${reader:-}" ] || kill "$reader" 2>/dev/null || true; exit 1; }

# No END anywhere: every way through comes back to [round], so the keys never run out of
# story. Each answer sets or clears flags that the jumps after it test, so the rounds take
# different ways; no two captions in a row are the same, so every key shows a change.
first_line='行灯の灯りで物語がめぐる。'
choice_line='A fork in the road.'
stories="$WINEPREFIX/drive_c/stories"
mkdir -p "$stories"
write_story "$qsd_exe" "[soak] $first_line" \
  '[round] The round begins. :: AON' \
  "$choice_line ?? one,two,three,four,five" \
  'one The first path. >> [join] :: BON' \
  'two The second path. >> [join] :: BOFF DON' \
  'three 三つ目の道。 >> [join] :: AOFF' \
  'four The fourth path. >> [join] :: EON DOFF' \
  'five The fifth path. >> [join] :: EOFF' \
  '[join] The paths meet. >>B[east],[west]' \
  '[east] 東へ歩く。 >>D[round],[north]' \
  '[west] You walk west. >>E[round],[north]' \
  '[north] A detour north. >>A[round],[south]' \
  '[south] And back south. >> [round]' \
  > "$stories/soak.qsd"

echo "== open the story"
wine "$exe" >"$WINEPREFIX/soak-reader.log" 2>&1 &
reader=$!
wait_for 60 has_window '^Quillshade Ver\.2\.0$' || die "the reader's window never came up"
main=$(xdotool search --name '^Quillshade Ver\.2\.0$' | head -n 1)
# Down with no story opens the dialog; a window that has only just come up may not
# have the focus for the first key yet, so the key is pressed again if need be.
tries=0
until has_window '^ファイルを開く$'; do
  tries=$((tries + 1))
  [ $tries -le 3 ] || die "no open dialog"
  activate "$main" || true
  xdotool key Down
  wait_for 10 has_window '^ファイルを開く$' || true
done
activate "$(xdotool search --name '^ファイルを開く$' | head -n 1)" || true
xdotool type --delay 15 'C:\stories\soak.qsd'
xdotool key Return
wait_for 30 caption_is "$first_line" || die "the story did not open: caption is '$(xdotool getwindowname "$main")'"

echo "== $presses presses, sampled every $every"
start=$(date +%s.%N)
status=0
wine "$driver" "$first_line" "$choice_line" "$presses" "$every" >"$WINEPREFIX/soak-driver.log" 2>&1 || status=$?
end=$(date +%s.%N)
tr -d '\r' <"$WINEPREFIX/soak-driver.log"
echo "presses took $(awk "BEGIN { printf \"%.1f\", $end - $start }") s"
[ $status -eq 0 ] || die "the driver failed"

echo "== one more key"
# The reader must still be alive and reading: one key from X, as a person presses it.
before=$(xdotool getwindowname "$main")
activate "$main" || true
if [ "$before" = "$choice_line" ]; then xdotool key 1; else xdotool key Down; fi
wait_for 20 caption_is_not "$before" || die "the caption stayed '$before' after one more key"
echo "  ok: the caption went from '$before' to '$(xdotool getwindowname "$main")'"

kill "$reader" 2>/dev/null || true
echo "soak test passed"
