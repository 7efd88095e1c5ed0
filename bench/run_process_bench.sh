#!/bin/sh
# The whole-process benchmark: `qsd decode` and a bare load against `wc -w` on generated
# stories of each shape (Japanese prose, English prose, a dense mix of short tokens) and
# of 1, 10 and 100 MB, with time ratios and peak resident memory.
#
# usage: bench/run_process_bench.sh [BUILD_DIR]     (default: build/release)
# Build first: cmake --preset release && cmake --build --preset release -j2
# Story files go to $QUILLSHADE_BENCH_DATA (default /tmp/quillshade-bench), made once.
# wc runs in the C.UTF-8 locale (its faster mode here); WC_LOCALE picks another.
# SHAPES and SIZES (in MB) pick the stories; RUNS how many times each command runs.
set -eu
cd "$(dirname "$0")/.."
build=${1:-build/release}
data=${QUILLSHADE_BENCH_DATA:-${TMPDIR:-/tmp}/quillshade-bench}
runs=${RUNS:-5}
shapes=${SHAPES:-japanese english dense}
sizes=${SIZES:-1 10 100}
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

# The three commands take turns run by run, so that other work on the machine slows
# each of them alike; times are medians: wall clock, and CPU (user + system), which a
# busy machine disturbs less.
printf '%-8s %-6s | %8s %8s %8s %8s | %8s %8s | %5s %5s %5s %5s | %8s %8s %8s %8s\n' shape size \
  decode_s decode_c wc_s wc_c load_s load_c \
  dec/wc decCPU load/wc ldCPU decodeMiB loadMiB textMiB overMiB
for shape in $shapes; do
  for mb in $sizes; do
    story=$data/story-$shape-${mb}mb.qsd
    [ -s "$story" ] || "$generate" "$mb" "$story" "$shape"
    set -- $("$measure" --runs "$runs" -- "$qsd" decode "$story" -- env LC_ALL="$wc_locale" wc -w "$story" -- "$load" "$story")
    decode_s=$1 decode_kib=$2 decode_c=$3 wc_s=$4 wc_c=$6 load_s=$7 load_kib=$8 load_c=$9
    units=$("$load" "$story")
    text_kib=$((units * 2 / 1024))
    # What a load holds beyond the decoded text itself (two bytes a code unit).
    over_kib=$((load_kib - text_kib))
    printf '%-8s %-6s | %8s %8s %8s %8s | %8s %8s | %5s %5s %5s %5s | %8s %8s %8s %8s\n' "$shape" "${mb}MB" \
      "$decode_s" "$decode_c" "$wc_s" "$wc_c" "$load_s" "$load_c" \
      "$(ratio "$decode_s" "$wc_s")" "$(ratio "$decode_c" "$wc_c")" "$(ratio "$load_s" "$wc_s")" "$(ratio "$load_c" "$wc_c")" \
      "$(mib "$decode_kib")" "$(mib "$load_kib")" "$(mib "$text_kib")" "$(mib "$over_kib")"
  done
done
echo
echo "dec/wc, load/wc: qsd decode and a load against wc -w, wall time; decCPU, ldCPU: the same in CPU time (target <= 0.5)"
echo "overMiB: peak memory of a load (quillshade_load_story) minus its decoded text (target: a few MiB)"
