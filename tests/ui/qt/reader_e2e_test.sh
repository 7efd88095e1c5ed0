#!/bin/sh
# The Qt reader end to end: started in Xvfb under openbox, driven with real key presses
# through xdotool, its caption read back from the X window's name. Saves a picture of
# the window showing a Japanese story line.
# Usage: reader_e2e_test.sh QUILLSHADE FIXTURES SCREENSHOT.png XDND_DROP
# Exit 77 (skipped) when a tool is missing, unless QUILLSHADE_E2E_REQUIRED=1.
set -eu
reader=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
fixtures=$2
shot=$3
xdnd_drop=$4

for tool in Xvfb openbox xdotool xprop xwininfo import weston; do
  command -v "$tool" > /dev/null && continue
  [ "${QUILLSHADE_E2E_REQUIRED:-0}" = 1 ] && { echo "FAIL: $tool is not installed" >&2; exit 1; }
  echo "skipped: $tool is not installed"
  exit 77
done

work=$(mktemp -d)
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

fail() {
  echo "FAIL: $*" >&2
  [ -s "$work/reader.log" ] && sed 's/^/  reader: /' "$work/reader.log" >&2
  exit 1
}

. "$(dirname "$0")/../../lib/poll.sh"
. "$(dirname "$0")/../../lib/processes.sh"

# A new X server on a display of its own.
new_display() {
  start_x_server "$work" -screen 0 1024x768x24 -dpi 96 || fail "Xvfb did not start"
  xvfb_pid=$x_pid
}
new_display
export LC_ALL=C.UTF-8

start_window_manager "$work" || fail "openbox did not start"
openbox_pid=$wm_pid

mkdir "$work/stories"
cp "$fixtures/moon.qsd" "$work/stories/"
# Started in the stories' folder, which is where the open dialog opens.
(cd "$work/stories" && QT_QPA_PLATFORM=xcb exec "$reader") > "$work/reader.log" 2>&1 &
reader_pid=$!
started="$started $reader_pid"

visible_window() { xdotool search --onlyvisible --name "$1" 2> /dev/null | head -n 1; }
has_window() { [ -n "$(visible_window "$1")" ]; }
caption_is() { [ "$(xdotool getwindowname "$win")" = "$1" ]; }

wait_for 30 has_window '^Quillshade Ver\.2\.0$' || fail "no window with the starting caption"
win=$(visible_window '^Quillshade Ver\.2\.0$')

# Keys go to the window that has the focus, so each press waits until the window has it.
focus() { activate "$win" || true; }
press() {
  focus
  xdotool key --clearmodifiers "$@"
}
expect_caption() {
  wait_for 20 caption_is "$1" || fail "$2: caption is '$(xdotool getwindowname "$win")', expected '$1'"
}
# A key that must change nothing: the caption is still the same a moment later.
expect_still() {
  sleep 0.3
  caption_is "$1" || fail "$2: caption changed to '$(xdotool getwindowname "$win")'"
}
open_dialog() {
  wait_for 20 has_window '^ファイルを開く$' || fail "$1: no open dialog"
  activate "$(visible_window '^ファイルを開く$')" || true
}
dialog_closed() { ! has_window "$1"; }
minimized() { xprop -id "$win" WM_STATE | grep -q 'window state: Iconic'; }
normal() { xprop -id "$win" WM_STATE | grep -q 'window state: Normal'; }
ended() { ! kill -0 "$reader_pid" 2> /dev/null; }

# Size: 6750 twips are 450 pixels at 96 DPI, frame included; the client area is as
# flat as X allows, so the title bar is what shows.
framed() { xprop -id "$win" _NET_FRAME_EXTENTS | grep -q '='; }
wait_for 20 framed || fail "openbox gave the window no frame"
set -- $(xprop -id "$win" _NET_FRAME_EXTENTS | tr -dc '0-9 ')
frame_left=$1 frame_right=$2 frame_top=$3 frame_bottom=$4
client_width=$(xwininfo -id "$win" | sed -n 's/^ *Width: //p')
client_height=$(xwininfo -id "$win" | sed -n 's/^ *Height: //p')
[ $((client_width + frame_left + frame_right)) -eq 450 ] || fail "outer width $((client_width + frame_left + frame_right)), expected 450"
[ "$client_height" -le 1 ] || fail "client height $client_height, expected the least X allows"

line1='月の光が窓辺に差し込む。'
press Down
open_dialog "Down at start"
xdotool type --delay 20 moon.qsd
xdotool key Return
expect_caption "$line1" "the story's first line after opening it"

# The picture for the README: the active window with a Japanese line in its title bar.
focus
x=$(xwininfo -id "$win" | sed -n 's/^ *Absolute upper-left X: *//p')
y=$(xwininfo -id "$win" | sed -n 's/^ *Absolute upper-left Y: *//p')
mkdir -p "$(dirname "$shot")"
import -window root \
  -crop "$((client_width + frame_left + frame_right))x$((client_height + frame_top + frame_bottom))+$((x - frame_left))+$((y - frame_top))" \
  +repage "$shot" || fail "no screenshot"

press Down
expect_caption '遠くで鐘が鳴っている。' "Down"
press Down
expect_caption '扉を開けますか？' "Down to a choice"
press Down
expect_still '扉を開けますか？' "Down while a choice is pending"

press space
wait_for 20 minimized || fail "Space did not minimise the window"
focus
wait_for 20 normal || fail "the window did not come back"
press shift+1  # Shift is ignored: the key 1 types "!" then, and still answers 1
expect_caption '扉の向こうに細い階段が続いていた。' "Shift+1 after minimising"
press Down
expect_caption '階段を上ると、道が二つに分かれる。' "Down to the second choice"
press KP_2
expect_caption '右の部屋は空っぽだった。' "keypad 2"
press Down
expect_caption '' "the blank line before the jump's target"

# Cancel changes nothing and shows no message.
press alt+f o
open_dialog "File > Open"
xdotool key Escape
wait_for 20 dialog_closed '^ファイルを開く$' || fail "Escape did not close the dialog"
expect_still '' "Cancel"
has_window '^エラー$' && fail "Cancel showed a message"

# A missing file: the failure box, then the story goes on where it was.
press alt+f o
open_dialog "File > Open"
xdotool type --delay 20 missing.qsd
xdotool key Return
wait_for 20 has_window '^エラー$' || fail "no failure box for a missing file"
activate "$(visible_window '^エラー$')" || true
xdotool key Return
wait_for 20 dialog_closed '^エラー$' || fail "OK did not close the failure box"
expect_caption '' "the caption after the failure box"
press Down
expect_caption '窓の外で夜が明けはじめる。' "Down after a failed load"

press alt+h v
wait_for 20 has_window '^Quillshade$' || fail "Help > Version showed no box"
activate "$(visible_window '^Quillshade$')" || true
xdotool key Return
wait_for 20 dialog_closed '^Quillshade$' || fail "OK did not close the version box"

press alt+f x
wait_for 20 ended || fail "File > Exit did not end the program"
stop $reader_pid

# A story named on the command line, its path with Japanese and spaces: the window
# starts as always, then shows the story's first line.
mkdir "$work/stories/月の 棚"
cp "$fixtures/moon.qsd" "$work/stories/月の 棚/夜の 物語.qsd"
start_with() {
  (cd "$work/stories" && QT_QPA_PLATFORM=xcb exec "$reader" "$@") > "$work/reader.log" 2>&1 &
  reader_pid=$!
  started="$started $reader_pid"
}
start_with "月の 棚/夜の 物語.qsd"
wait_for 30 has_window "^$line1\$" || fail "quillshade STORY.qsd did not show the story's first line"
win=$(visible_window "^$line1\$")
press Down
expect_caption '遠くで鐘が鳴っている。' "Down after opening from the command line"
# A file dropped on the window loads the same way.
"$xdnd_drop" "$win" "$work/stories/月の 棚/夜の 物語.qsd" || fail "the window did not take a dropped file"
expect_caption "$line1" "a dropped file's first line"
press alt+f x
wait_for 20 ended || fail "File > Exit did not end the program"
stop $reader_pid

# A story that cannot be opened: the failure box, over the window as it started.
start_with missing.qsd
wait_for 30 has_window '^エラー$' || fail "no failure box for a missing story on the command line"
has_window '^Quillshade Ver\.2\.0$' || fail "the window did not start as always behind the failure box"
activate "$(visible_window '^エラー$')" || true
xdotool key Return
win=$(visible_window '^Quillshade Ver\.2\.0$')
press alt+f x
wait_for 20 ended || fail "File > Exit did not end the program"
stop $reader_pid

# Started together with the window manager, as a session's autostart does: the window
# manager may lose the first map request, and the window must appear all the same.
# The race goes either way, so it is run a few times, each on a new X server.
stop $reader_pid $openbox_pid $xvfb_pid
for attempt in 1 2 3; do
  new_display
  openbox > "$work/openbox-$attempt.log" 2>&1 &
  openbox_pid=$!
  started="$started $openbox_pid"
  start_with
  wait_for 30 has_window '^Quillshade Ver\.2\.0$' ||
    fail "started with the window manager (attempt $attempt), the window never appeared"
  # The window manager may end by itself in this race; the window is what is tested.
  stopped "$openbox_pid" && echo "note: openbox had ended by itself (attempt $attempt): $(cat "$work/openbox-$attempt.log")"
  stop $reader_pid $openbox_pid $xvfb_pid
done
# On Wayland, under a headless compositor: an empty story line is an empty title there
# too. What the reader tells the compositor is read from the client's protocol log.
XDG_RUNTIME_DIR="$work/runtime"
export XDG_RUNTIME_DIR
mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --backend=headless-backend.so --socket=quillshade-test --idle-time=0 > "$work/weston.log" 2>&1 &
started="$started $!"
wait_for 30 test -S "$XDG_RUNTIME_DIR/quillshade-test" || fail "weston did not start"
printf '13 10 72 105 13 10 ' > "$work/stories/blank_first.qsd"
(cd "$work/stories" && WAYLAND_DISPLAY=quillshade-test QT_QPA_PLATFORM=wayland WAYLAND_DEBUG=client \
  exec "$reader" blank_first.qsd) > "$work/wayland.log" 2>&1 &
reader_pid=$!
started="$started $reader_pid"
titles() { sed -n 's/.*xdg_toplevel@[0-9]*\.set_title("\(.*\)")$/\1/p' "$work/wayland.log"; }
blank_after_loading() { titles | grep -qx 'Now Loading\.\.\.' && [ -z "$(titles | tail -n 1)" ]; }
wait_for 30 blank_after_loading ||
  fail "on Wayland, an empty first line gave the titles: $(titles | tr '\n' '|')"
stop $reader_pid
echo "end-to-end run passed; screenshot in $shot"
