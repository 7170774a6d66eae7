#!/usr/bin/env bash
# Files a minute for a batch of DV files exported by ozmira-export, one file
# at a time (each export on every core: dvlib's decode threads and its PNG
# workers) against one job per core with GNU parallel; and, given
# bench/batch_decode, every frame decoded by a dvlib host, one file at a time
# on every core (dvthreads(0)) against one job per core on one thread each
# (dvthreads(1)). The batch is COPIES copies of CLIP, each CLIP REPEAT times
# over (default 1); $KINDS, if set, names the rows to run among full, thumb
# and decode. Rounds alternate the ways and each figure is the median of the
# rounds' wall times. Prints a Markdown section on standard output.
#   [KINDS=...] bench/batch_export.sh OZMIRA_EXPORT CLIP [COPIES] [ROUNDS] [BATCH_DECODE] [REPEAT]
set -euo pipefail
tool=$(realpath "$1")
clip=$(realpath "$2")
copies=${3:-8}
rounds=${4:-3}
host=${5:+$(realpath "$5")}
kinds=${KINDS:-full thumb${host:+ decode}}
repeat=${6:-1}
cores=$(nproc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/tapes"
for ((i = 0; i < repeat; i++)); do cat "$clip"; done >"$work/tape.dv"
for ((i = 0; i < copies; i++)); do cp "$work/tape.dv" "$work/tapes/tape$i.dv"; done
frames=$(($(stat -c %s "$work/tape.dv") / 144000))

# Runs "$@" into an empty folder $work/out; prints the wall seconds.
timed() {
  rm -rf "$work/out" && mkdir "$work/out"
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'
}
one_at_a_time() {  # picture kind, or decode
  for tape in "$work"/tapes/*.dv; do
    if [[ $1 == decode ]]; then
      "$host" 0 "$tape" 2>/dev/null
    else
      "$tool" -q -p "$1" -o "$work/out" -n "$(basename "$tape" .dv)" "$tape"
    fi
  done
}
one_job_per_core() {  # picture kind, or decode
  if [[ $1 == decode ]]; then
    parallel -j "$cores" "$host" 1 {} ::: "$work"/tapes/*.dv 2>/dev/null
  else
    parallel -j "$cores" "$tool" -q -p "$1" -o "$work/out" -n {/.} {} ::: "$work"/tapes/*.dv
  fi
}

samples=$work/samples
for ((r = 0; r < rounds; r++)); do
  for kind in $kinds; do
    echo "serial_$kind $(timed one_at_a_time "$kind")" >>"$samples"
    echo "parallel_$kind $(timed one_job_per_core "$kind")" >>"$samples"
  done
done
median() { grep "^$1 " "$samples" | awk '{ print $2 }' | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
per_minute() { awk -v s="$1" -v n="$copies" 'BEGIN { printf "%.1f", 60 * n / s }'; }

echo "## Batches of files"
echo
echo "\`bench/batch_export.sh\`: $copies files of $frames frames each ($(basename "$clip")), exported by"
echo "\`ozmira-export -q -p KIND\`, one file at a time (each export on every core) and $cores at once with GNU"
if [[ -n "$host" ]]; then
  echo "parallel (one job per core); \`decode\`: every frame decoded to packed RGB by a dvlib host"
  echo "(bench/batch_decode.c), one file at a time with dvthreads(0) against one job per core with"
  echo "dvthreads(1), no images written."
else
  echo "parallel (one job per core)."
fi
echo "$rounds alternated rounds, medians of the wall times. $cores cores."
echo
echo "| images | one at a time: s | files a minute | one job per core: s | files a minute | ratio of rates |"
echo "|---|---:|---:|---:|---:|---:|"
for kind in $kinds; do
  s=$(median "serial_$kind")
  p=$(median "parallel_$kind")
  echo "| $kind | $s | $(per_minute "$s") | $p | $(per_minute "$p") | $(awk -v s="$s" -v p="$p" 'BEGIN { printf "%.2f", s / p }') |"
done
