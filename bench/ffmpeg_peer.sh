#!/usr/bin/env bash
# FFmpeg as the peer a user would pick: Debian's ffmpeg decoding the PAL 4:2:0
# clip with one thread, to rgb24 (and to yuv420p, its native form), beside
# dvlib's dvreadblock (request 2) and dvreadarray and libdv's own decode on
# the same frames. Prints a Markdown section on standard output.
#
# FFmpeg's start-up (probing, filter graph set-up) is taken out by timing the
# clip and the clip repeated kCopies times: the difference divided by the extra
# frames is its cost per frame. Both sides are timed in processor time of
# their one thread (ffmpeg's own -benchmark utime + stime; Google Benchmark's
# CPU time), which other work on a shared machine disturbs less than wall time.
# Rounds interleave ffmpeg and our benchmarks; each figure is a median of rounds.
#   bench/ffmpeg_peer.sh DVLIB_BENCH CLIP_DIR [ROUNDS]
set -euo pipefail
bench=$1
clip_dir=$2
rounds=${3:-7}
clip=$clip_dir/pal420.dv
readonly kCopies=10 kFrameBytes=144000

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
long=$work/long.dv
for ((i = 0; i < kCopies; i++)); do cat "$clip"; done >"$long"
frames=$(($(stat -c %s "$clip") / kFrameBytes))
extra_frames=$((frames * (kCopies - 1)))

# Processor seconds of one ffmpeg decode of $1 into pixel format $2.
ffmpeg_seconds() {
  ffmpeg -nostdin -hide_banner -loglevel info -benchmark -threads 1 -i "$1" -filter_threads 1 \
    -an -pix_fmt "$2" -f null - 2>&1 |
    sed -n 's/^bench: utime=\([0-9.]*\)s stime=\([0-9.]*\)s.*/\1 \2/p' | awk '{ print $1 + $2 }'
}

# Milliseconds per frame for one pixel format: (long - short) / extra frames.
ffmpeg_ms_per_frame() {
  local short long_
  short=$(ffmpeg_seconds "$clip" "$1")
  long_=$(ffmpeg_seconds "$long" "$1")
  awk -v s="$short" -v l="$long_" -v n="$extra_frames" 'BEGIN { printf "%.6f\n", (l - s) * 1000 / n }'
}

samples=$work/samples
for ((r = 0; r < rounds; r++)); do
  echo "ffmpeg_rgb24 $(ffmpeg_ms_per_frame rgb24)" >>"$samples"
  echo "ffmpeg_yuv420p $(ffmpeg_ms_per_frame yuv420p)" >>"$samples"
  # CSV columns: name, iterations, real_time, cpu_time, time_unit.
  OZMIRA_CLIP_DIR=$clip_dir "$bench" --benchmark_filter='^BM_(LibdvOwnDecode|DvreadblockRequest2|Dvreadarray)$' \
    --benchmark_format=csv 2>/dev/null |
    awk -F, '$1 ~ /^"BM_/ { name = $1; gsub(/"/, "", name); print name, $4 }' >>"$samples"
done

median() { grep "^$1 " "$samples" | awk '{ print $2 }' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rgb24=$(median ffmpeg_rgb24)

row() {  # name, what, median ms
  awk -v name="$1" -v what="$2" -v ms="$3" -v peer="$rgb24" \
    'BEGIN { printf "| %s | %s | %.3f | %.2f |\n", name, what, ms, ms / peer }'
}

echo "## FFmpeg as the peer"
echo
echo "The clip pal420.dv ($frames PAL 4:2:0 frames), $rounds interleaved rounds, medians in milliseconds of"
echo "processor time per frame. FFmpeg: \`ffmpeg -threads 1 -i CLIP -filter_threads 1 -an -pix_fmt FMT -f null -\`"
echo "($(ffmpeg -version | sed -n '1s/ Copyright.*//p')), timed on the clip and on $kCopies copies of it"
echo "so that its start-up cancels out."
echo
echo "| decoder | output | ms per frame | ratio to ffmpeg rgb24 |"
echo "|---|---|---:|---:|"
row "ffmpeg (dvvideo, one thread)" "rgb24" "$rgb24"
row "ffmpeg (dvvideo, one thread)" "yuv420p, no conversion" "$(median ffmpeg_yuv420p)"
row "libdv dv_decode_full_frame" "packed RGB" "$(median BM_LibdvOwnDecode)"
row "dvlib dvreadblock, request 2" "packed RGB" "$(median BM_DvreadblockRequest2)"
row "dvlib dvreadarray" "RGB0 rows" "$(median BM_Dvreadarray)"
