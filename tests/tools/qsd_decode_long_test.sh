#!/bin/sh
# qsd decode on a story far longer than one slice of its output: stdout, a file and the
# expected text agree byte for byte, in both output encodings.
set -eu
export LC_ALL=C
qsd=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
# 20000 lines of あ A あ CR LF: 100000 characters.
awk 'BEGIN { for (i = 0; i < 20000; i++) printf "33440 65 -32096 13 10 " }' > "$dir/long.qsd"
awk 'BEGIN { for (i = 0; i < 20000; i++) printf "\343\201\202A\343\201\202\r\n" }' > "$dir/expected.utf8"
awk 'BEGIN { for (i = 0; i < 20000; i++) printf "\202\240A\202\240\r\n" }' > "$dir/expected.cp932"
"$qsd" decode "$dir/long.qsd" > "$dir/stdout.utf8"
"$qsd" decode "$dir/long.qsd" -o "$dir/file.utf8"
"$qsd" decode --to cp932 "$dir/long.qsd" > "$dir/stdout.cp932"
status=0
for got in stdout.utf8 file.utf8; do
  cmp "$dir/$got" "$dir/expected.utf8" || { echo "FAIL: $got differs from the expected text" >&2; status=1; }
done
cmp "$dir/stdout.cp932" "$dir/expected.cp932" || { echo "FAIL: stdout.cp932 differs from the expected text" >&2; status=1; }
[ "$status" -eq 0 ] && echo "long story decoded whole"
exit "$status"
