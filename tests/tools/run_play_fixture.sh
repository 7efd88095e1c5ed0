#!/bin/sh
# Runs one play fixture: NAME.keys holds the keys (first line) and the stories (the rest,
# relative to the fixture folder); NAME.trace is the expected transcript. It is played
# twice: once with each .txt source made a story file by `qsd encode`, once with the
# sources played directly; both must give the transcript, and exit 1 exactly when a
# load failed. NAME.stops, if there is one, holds what play must say on stderr about why
# the story stopped (without the file's name). With QSD_REGENERATE=1 the transcript is rewritten instead of compared.
set -eu
qsd=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$2
name=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$dir"
keys=$(sed -n 1p "$name.keys")

# play HOW STORIES...: plays, and checks the exit status against the transcript.
play() {
  how=$1
  shift
  status=0
  "$qsd" play --trace --keys "$keys" "$@" > "$work/actual" 2> "$work/stderr" || status=$?
  want=0
  grep -q '"message": "ファイルが開けません"' "$work/actual" && want=1
  if [ "$status" != "$want" ]; then
    cat "$work/stderr" >&2
    echo "play fixture $name ($how): exit status $status, expected $want" >&2
    exit 1
  fi
}

set --
for story in $(sed -n '2,$p' "$name.keys"); do
  case "$story" in
    *.txt)
      built="$work/$(basename "$story" .txt).qsd"
      "$qsd" encode "$story" -o "$built"
      set -- "$@" "$built"
      ;;
    *) set -- "$@" "$story" ;;
  esac
done
# stops: the reasons play gave for stopping, against NAME.stops.
stops() {
  [ -f "$name.stops" ] || return 0
  grep 'the story stopped' "$work/stderr" | sed 's/^qsd play: .*: the story stopped/the story stopped/' > "$work/stops" || true
  if [ "${QSD_REGENERATE:-0}" = 1 ]; then
    cp "$work/stops" "$name.stops"
  elif ! diff -u "$name.stops" "$work/stops"; then
    echo "play fixture $name ($1): why the story stopped differs (- expected, + actual)" >&2
    exit 1
  fi
}

play "story files" "$@"
stops "story files"
if [ "${QSD_REGENERATE:-0}" = 1 ]; then
  cp "$work/actual" "$name.trace"
  echo "regenerated $name.trace"
  exit 0
fi
if ! diff -u "$name.trace" "$work/actual"; then
  echo "play fixture $name: the transcript differs (- expected, + actual)" >&2
  exit 1
fi

play "text sources" $(sed -n '2,$p' "$name.keys")
stops "text sources"
if ! diff -u "$name.trace" "$work/actual"; then
  echo "play fixture $name, text sources played directly: the transcript differs (- expected, + actual)" >&2
  exit 1
fi
