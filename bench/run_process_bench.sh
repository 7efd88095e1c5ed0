#!/bin/sh
# The whole-process benchmark: `qsd decode` and a bare load against `wc -w` on generated
# stories of 1, 10 and 100 MB, with time ratios and peak resident memory.
#
# usage: bench/run_process_bench.sh [BUILD_DIR]     (default: build/perf)
# Build first: cmake --preset release -B build/perf && cmake --build build/perf -j2
# Story files go to $QUILLSHADE_BENCH_DATA (default /tmp/quillshade-bench), made once.
# wc runs in the C.UTF-8 locale (its faster mode here); WC_LOCALE picks another.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/perf}
data=${QUILLSHADE_BENCH_DATA:-${TMPDIR:-/tmp}/quillshade-bench}
runs=${RUNS:-5}
wc_locale=${WC_LOCALE:-C.UTF-8}
qsd=$build/tools/qsd/qsd
load=$build/bench/quillshade_load_story
measure=$build/bench/quillshade_measure
generate=$build/bench/quillshade_generate_story
for tool in "$qsd" "$load" "$measure" "$generate"; do
  if [ ! -x "$tool" ]; then
    echo "run_process_bench: $tool is missing; build the release preset with benchmarks first" >&2
    exit 2
  fi
done
mkdir -p "$data"

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# Times are the best of $runs runs: wall clock, and CPU (user + system), which a machine
# busy with other work disturbs less.
printf '%-6s | %8s %8s %8s %8s %6s %6s | %8s %8s | %8s %8s %8s %8s | %6s\n' size \
  decode_s decode_c wc_s wc_c ratio ratioc decodeMiB wcMiB load_s loadMiB textMiB overMiB growth
previous=""
for mb in 1 10 100; do
  story=$data/story-${mb}mb.qsd
  [ -s "$story" ] || "$generate" "$mb" "$story"
  set -- $("$measure" --runs "$runs" -- "$qsd" decode "$story"); decode_s=$1 decode_kib=$2 decode_c=$3
  set -- $(LC_ALL=$wc_locale "$measure" --runs "$runs" -- wc -w "$story"); wc_s=$1 wc_kib=$2 wc_c=$3
  set -- $("$measure" --runs "$runs" -- "$load" "$story"); load_s=$1 load_kib=$2
  units=$("$load" "$story")
  text_kib=$((units * 2 / 1024))
  # What a load holds beyond the decoded text itself (two bytes a code unit).
  over_kib=$((load_kib - text_kib))
  growth=-
  [ -n "$previous" ] && growth=$(ratio "$decode_s" "$previous")
  printf '%-6s | %8s %8s %8s %8s %6s %6s | %8s %8s | %8s %8s %8s %8s | %6s\n' "${mb}MB" \
    "$decode_s" "$decode_c" "$wc_s" "$wc_c" "$(ratio "$decode_s" "$wc_s")" "$(ratio "$decode_c" "$wc_c")" \
    "$(mib "$decode_kib")" "$(mib "$wc_kib")" "$load_s" "$(mib "$load_kib")" "$(mib "$text_kib")" \
    "$(mib "$over_kib")" "$growth"
  previous=$decode_s
done
echo
echo "ratio, ratioc: qsd decode / wc -w, wall and CPU time (target <= 0.5 at 100MB)"
echo "overMiB: peak memory of a load (quillshade_load_story) minus its decoded text (target <= 32)"
echo "growth: qsd decode wall time over that of the size before (target <= 12 from 10 to 100MB)"
