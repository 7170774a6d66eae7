#!/usr/bin/env bash
# Builds the benchmarks, runs every one of them and writes docs/BENCHMARKS.md:
# the machine, the command, each program's medians with their ratio to the
# program's first (baseline) benchmark, the targets of bench/targets.txt,
# FFmpeg beside dvlib (bench/ffmpeg_peer.sh) and beside ozmira-export
# (bench/export_peer.sh, and bench/archive_peer.sh: ffprobe on an hour of
# tape, 13 GB in the temporary folder while it runs), where the time of a decode goes
# (bench/profile_decode.sh, bench/callgrind_split.sh), batches of exports
# (bench/batch_export.sh) and bench/notes.md.
# Ratios come from medians of interleaved repetitions within one run, since
# these machines are noisy.
#   tools/run-benchmarks.sh [repetitions]
set -euo pipefail
cd "$(dirname "$0")/.."
reps=${1:-10}
build=build-release
out=docs/BENCHMARKS.md

tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOZMIRA_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
ctest --test-dir "$build" -R '^make_clips$' >/dev/null
export OZMIRA_CLIP_DIR=$PWD/$build/clips

medians=$(mktemp)
trap 'rm -f "$medians"' EXIT
programs=$(find "$build/bench" -maxdepth 1 -type f -name '*_bench' -perm -u+x | sort)

{
  echo "# Benchmarks"
  echo
  echo "Written by \`tools/run-benchmarks.sh $reps\` on $(date -u +%Y-%m-%d)."
  echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uname -sr)."
  echo "Each figure is the median of $reps interleaved repetitions, in milliseconds per frame (per cycle for the"
  echo "viewer): wall time for dvlib_bench and frame_decoder_bench, whose decoding calls use as many threads as cores"
  echo "unless their name ends in OneThread; processor time for the others. Ratios are taken between medians of the"
  echo "same run."
  for program in $programs; do
    name=$(basename "$program")
    echo
    echo "## $name"
    echo
    echo "| benchmark | ms | ratio to ${name} baseline |"
    echo "|---|---:|---:|"
    # Registration order: the first benchmark a program registers is its baseline.
    order=$("$program" --benchmark_list_tests=true | sed 's|/real_time$||' | tr '\n' ' ')
    "$program" --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
      --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
      awk -F, -v order="$order" -v table="$medians" '
        $1 ~ /_median"$/ {
          # Benchmarks that ask for wall time (UseRealTime) carry /real_time
          # in their names; the others are timed in processor time.
          name = $1; gsub(/"/, "", name); sub(/_median$/, "", name)
          ms = sub(/\/real_time$/, "", name) ? $3 : $4
          if ($5 == "us") ms /= 1000; else if ($5 == "ns") ms /= 1e6; else if ($5 == "s") ms *= 1000
          median[name] = ms
        }
        END {
          n = split(order, names, " ")
          base = median[names[1]]
          for (i = 1; i <= n; i++) {
            if (!(names[i] in median)) continue
            # Parts that cost microseconds keep two significant digits.
            ms = median[names[i]]
            printf "| %s | %s | %.2f |\n", names[i], (ms >= 0.1 ? sprintf("%.3f", ms) : sprintf("%.2g", ms)), ms / base
            printf "%s %.6f\n", names[i], median[names[i]] >> table
          }
        }'
  done
  echo
  echo "## Targets"
  echo
  echo "| benchmark | against | ratio | target | |"
  echo "|---|---|---:|---:|---|"
  grep -v '^#' bench/targets.txt | while read -r a b limit what; do
    [[ -n "$a" ]] || continue
    # The second column may be a sum of benchmarks, A+B+C: the cost of parts
    # measured alone.
    awk -v a="$a" -v b="$b" -v limit="$limit" -v what="$what" '
      BEGIN { n = split(b, parts, "+"); for (i = 1; i <= n; i++) part[parts[i]] = 1 }
      $1 == a { ta = $2 } ($1 in part) { tb += $2; found++ }
      END {
        if (ta == "" || found != n) { printf "| %s | %s | not run | %s | %s |\n", a, b, limit, what; exit }
        r = ta / tb
        if (limit == "-") printf "| %s | %s | %.2f | - | %s |\n", a, b, r, what
        else printf "| %s | %s | %.2f | %s | %s: %s |\n", a, b, r, limit, (r <= limit ? "met" : "missed"), what
      }' "$medians"
  done
  echo
  bench/ffmpeg_peer.sh "$medians"
  echo
  bench/export_peer.sh "$build/tools/export/ozmira-export" "$reps"
  echo
  bench/archive_peer.sh "$build/tools/export/ozmira-export" "$OZMIRA_CLIP_DIR/sound48000.dv" 90000 3
  echo
  bench/profile_decode.sh "$build/bench/dvlib_bench" "$OZMIRA_CLIP_DIR"
  echo
  echo "## A frame's instructions, part by part"
  echo
  echo "\`bench/callgrind_split.sh\`: callgrind's instruction counts on one thread (dvthreads(1)), mandelbrot"
  echo "clip; millions of instructions per frame and each part's share of them (set-up, C library and loader"
  echo "left out). Repeatable whatever else the machine runs."
  echo
  echo "| benchmark | per frame | parse | block work | inverse DCT | render | threads | frame walk | libdv |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
  bench/callgrind_split.sh "$build/bench/dvlib_bench" "$OZMIRA_CLIP_DIR" BM_DvreadblockRequest2OneThread \
    BM_DvreadarrayOneThread BM_DvreadblockRequest16OneThread
  bench/callgrind_split.sh "$build/bench/frame_decoder_bench" "$OZMIRA_CLIP_DIR" BM_OursFullRgb0OneThread \
    BM_OursHalfRgb0OneThread BM_OursThumbRgb0OneThread
  echo
  bench/batch_export.sh "$build/tools/export/ozmira-export" "$OZMIRA_CLIP_DIR/mandelbrot.dv" 8 3 "$build/bench/batch_decode"
  if [[ -f bench/notes.md ]]; then
    echo
    cat bench/notes.md
  fi
} > "$out"
echo "wrote $out"
